// "SvConfig.conf": the section/key/items parse and the family lookup over it.

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "base/Config.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    svfuzz::QuietLogs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    sv::ConfigMap map;
    sv::ParseConfigText(text, map);

    // What discovery asks of the map: the family of a device name.
    for (const char* name : {"KIVO-AR0234 Camera", "LIRA-OX05B Camera", "USB2.0 HD UVC WebCam", ""}) {
        const int type = sv::ProductTypeForName(map, name);
        if (type < 1 || type > 3) svfuzz::Broken("a product type outside 1..3");
        (void)sv::FindProductFamily(map, name);
    }

    // The parse appends: the same text again gives every list twice.
    sv::ConfigMap twice = map;
    sv::ParseConfigText(text, twice);
    for (const auto& [section, keys] : map) {
        for (const auto& [key, items] : keys) {
            if (twice[section][key].size() != 2 * items.size()) svfuzz::Broken("a second parse did not append");
        }
    }
    return 0;
}
