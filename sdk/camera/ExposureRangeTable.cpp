#include "camera/ExposureRangeTable.h"

#include <yaml-cpp/yaml.h>

#include "base/Logger.h"

namespace sv {

namespace {

// The value of the first key of `map`, in document order, that occurs in
// `name`; an undefined node when none does.
YAML::Node FirstKeyIn(const YAML::Node& map, const std::string& name) {
    if (!map.IsDefined() || !map.IsMap()) return YAML::Node(YAML::NodeType::Undefined);
    for (const auto& entry : map) {
        if (!entry.first.IsScalar()) continue;
        const std::string key = entry.first.Scalar();
        if (name.find(key) != std::string::npos) return entry.second;
    }
    return YAML::Node(YAML::NodeType::Undefined);
}

// A missing key gives a node that throws on most questions; this one is safe.
bool Present(const YAML::Node& node) { return node.IsDefined() && !node.IsNull(); }

// The lookup over the document `load` gives; `source` names it in messages.
template <typename Load>
int Lookup(const Load& load, const std::string& source, const std::string& deviceName,
           const SensorFormatReader& readFormat, int& max, int& min) {
    try {
        const YAML::Node root = load();
        const YAML::Node product = FirstKeyIn(root, deviceName);
        if (!Present(product) || !product.IsMap()) return -1;
        const YAML::Node sensor = FirstKeyIn(product["sensors"], deviceName);
        if (!Present(sensor) || !sensor.IsMap()) return -1;

        int width = 0;
        int height = 0;
        std::string format;
        if (readFormat(width, height, format) != 0) return -1;

        const YAML::Node formats = sensor["formats"];
        if (!Present(formats) || !formats.IsMap()) return -1;
        const YAML::Node entry = formats[format];
        if (!Present(entry) || !entry.IsMap()) return -1;
        const YAML::Node ranges = entry["ranges"];
        if (!ranges.IsDefined() || !ranges.IsSequence()) return -1;
        for (const auto& range : ranges) {
            if (!range.IsMap() || !range["width"] || !range["height"]) continue;
            if (range["width"].as<int>() != width || range["height"].as<int>() != height) continue;
            const int foundMin = range["min"].as<int>();
            const int foundMax = range["max"].as<int>();
            min = foundMin;
            max = foundMax;
            return 0;
        }
        return -1;
    } catch (const YAML::Exception& e) {
        // A broken table must not take the caller down: the defaults stand.
        SV_LOGE("LookupExposureRange", "Cannot use exposure ranges from {}: {}", source, e.what());
        return -1;
    }
}

}  // namespace

int LookupExposureRange(const std::string& path, const std::string& deviceName,
                        const SensorFormatReader& readFormat, int& max, int& min) {
    return Lookup([&] { return YAML::LoadFile(path); }, path, deviceName, readFormat, max, min);
}

int LookupExposureRangeInText(const std::string& text, const std::string& source, const std::string& deviceName,
                              const SensorFormatReader& readFormat, int& max, int& min) {
    return Lookup([&] { return YAML::Load(text); }, source, deviceName, readFormat, max, min);
}

}  // namespace sv
