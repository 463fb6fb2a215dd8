#include "platform/MediaTypeText.h"

#include <cinttypes>
#include <climits>
#include <cstdio>
#include <stdexcept>

#include "base/Logger.h"
#include "platform/backend/MfIds.h"

namespace sv::platform {
namespace {

constexpr std::size_t kMaxStringValue = 200;

std::string GuidText(const Guid& guid) {
    const char* name = mf::GuidName(guid);
    return name ? std::string(name) : guid.ToString();
}

std::string ValueText(const Guid& key, const AttributeValue& value) {
    char buffer[64];
    switch (value.Type()) {
    case AttributeType::Double:
        std::snprintf(buffer, sizeof(buffer), "%f", value.AsDouble());
        return buffer;
    case AttributeType::UInt32:
        return std::to_string(value.AsUInt32());
    case AttributeType::String:
        return value.AsString().size() < kMaxStringValue ? value.AsString() : "<Too Long>";
    case AttributeType::Guid:
        return GuidText(value.AsGuid());
    case AttributeType::Blob:
        return "<BLOB>";
    case AttributeType::Unknown:
        return "<UNK>";
    case AttributeType::UInt64: {
        const uint64_t v = value.AsUInt64();
        if (key == mf::MF_MT_FRAME_SIZE) {
            return "W:" + std::to_string(PairHigh(v)) + " H: " + std::to_string(PairLow(v));
        }
        if (key == mf::MF_MT_FRAME_RATE) return std::to_string(PairHigh(v)) + "/" + std::to_string(PairLow(v));
        if (key == mf::MF_MT_PIXEL_ASPECT_RATIO) {
            return std::to_string(PairHigh(v)) + ":" + std::to_string(PairLow(v));
        }
        return std::to_string(v);
    }
    }
    return "";
}

// Where the attribute that starts with `key` begins: only a whole attribute
// counts, one that starts the list (right after the major type's ": ", or at
// the start of a text without one) or follows the ", " ending the one before.
// So a text value that holds "NAME=" is not taken for that attribute.
std::size_t FindAttribute(const std::string& description, const std::string& key) {
    std::size_t first = 0;
    const auto colon = description.find(": ");
    if (colon != std::string::npos && colon < description.find('=')) first = colon + 2;
    if (description.compare(first, key.size(), key) == 0) return first;
    for (auto at = description.find(", ", first); at != std::string::npos; at = description.find(", ", at + 1)) {
        if (description.compare(at + 2, key.size(), key) == 0) return at + 2;
    }
    return std::string::npos;
}

// The text after "NAME=" up to the next ",". The "=" is part of the search so
// that MF_MT_FRAME_RATE is not taken for MF_MT_FRAME_RATE_RANGE_MAX.
std::string Piece(const std::string& description, const std::string& name) {
    const std::string key = name + "=";
    const auto at = FindAttribute(description, key);
    if (at == std::string::npos) throw std::invalid_argument(name + " missing from the media type description");
    const auto start = at + key.size();
    const auto comma = description.find(',', start);
    return description.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
}

std::string After(const std::string& text, const std::string& marker, const std::string& end) {
    const auto at = text.find(marker);
    if (at == std::string::npos) throw std::invalid_argument("'" + marker + "' missing in '" + text + "'");
    const auto start = at + marker.size();
    if (end.empty()) return text.substr(start);
    const auto stop = text.find(end, start);
    return text.substr(start, stop == std::string::npos ? std::string::npos : stop - start);
}

uint16_t ToField(long long value, const char* what) {
    if (value < 0 || value > 0xFFFF) throw std::out_of_range(std::string(what) + " out of range");
    return static_cast<uint16_t>(value);
}

}  // namespace

std::string GetMediaTypeDescriptions(const MediaType* type) {
    if (!type) return "<NULL>";
    std::string text;
    Guid major;
    const char* majorName = Succeeded(type->GetGUID(mf::MF_MT_MAJOR_TYPE, major)) ? mf::GuidName(major) : nullptr;
    text += majorName ? majorName : "Other";
    text += ": ";
    for (const auto& item : type->Items()) {
        text += GuidText(item.key);
        text += "=";
        text += ValueText(item.key, item.value);
        text += ", ";
    }
    return text;
}

SvFormat ParseSzFormatInfo(const std::string& description) {
    const std::string size = Piece(description, "MF_MT_FRAME_SIZE");
    SV_LOGT("ParseSzFormatInfo", "MF_MT_FRAME_SIZE: {}", size);
    const std::string widthText = After(size, "W:", " H");
    const std::string heightText = After(size, "H:", "");

    const std::string rate = Piece(description, "MF_MT_FRAME_RATE");
    SV_LOGT("ParseSzFormatInfo", "MF_MT_FRAME_RATE: {}", rate);
    const auto slash = rate.find('/');
    if (slash == std::string::npos) throw std::invalid_argument("frame rate without '/': " + rate);

    const std::string subtype = Piece(description, "MF_MT_SUBTYPE");
    SV_LOGT("ParseSzFormatInfo", "MF_MT_SUBTYPE: {}", subtype);

    SvFormat format;
    format.width = ToField(std::stoi(widthText), "width");
    format.height = ToField(std::stoi(heightText), "height");
    // The writer prints both halves unsigned, so each may be beyond an int;
    // in long long no quotient of two such numbers overflows.
    const long long numerator = std::stoll(rate.substr(0, slash));
    const long long denominator = std::stoll(rate.substr(slash + 1));
    if (denominator == 0) throw std::invalid_argument("frame rate with denominator 0");
    if (numerator == LLONG_MIN && denominator == -1) throw std::out_of_range("frame rate out of range");
    format.framerate = ToField(numerator / denominator, "frame rate");

    format.format = SV_IMAGE_FORMAT_NONE;
    if (subtype == "MFVideoFormat_UYVY") format.format = SV_IMAGE_FORMAT_UYVY;
    else if (subtype == "MFVideoFormat_YUY2") format.format = SV_IMAGE_FORMAT_YUY2;
    else if (subtype == "MFVideoFormat_NV12") format.format = SV_IMAGE_FORMAT_NV12;
    else if (subtype == "MFVideoFormat_MJPG") format.format = SV_IMAGE_FORMAT_MJPG;
    return format;
}

std::string ErrorMessage(HResult hr) {
    if (const char* name = HResultName(hr)) return name;
    char buffer[40];
    std::snprintf(buffer, sizeof(buffer), "Unknown error 0x%0" PRIX32, static_cast<uint32_t>(hr));
    return buffer;
}

}  // namespace sv::platform
