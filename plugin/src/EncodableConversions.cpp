#include "EncodableConversions.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace sorvansdk {

namespace {

using flutter::EncodableValue;

// A fixed text field up to its first zero byte, or whole when it has none.
std::string FieldText(const char* field, std::size_t size) {
    const void* end = std::memchr(field, 0, size);
    return std::string(field, end != nullptr ? static_cast<const char*>(end) - field : size);
}

std::string Hex(const uint8_t* bytes, std::size_t size) {
    std::string text;
    char digits[3];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(digits, sizeof digits, "%02x", bytes[i]);
        text += digits;
    }
    return text;
}

EncodableValue Int(int value) { return EncodableValue(static_cast<int32_t>(value)); }
// Unsigned 32-bit fields travel as the int of the same bits.
EncodableValue Bits32(uint32_t value) { return EncodableValue(static_cast<int32_t>(value)); }

}  // namespace

flutter::EncodableMap SvHeaderV2ToEncodableMap(const SvHeaderV2& header) {
    flutter::EncodableMap map;
    map[EncodableValue("headerVersion")] = Int(header.headerVersion);
    map[EncodableValue("contentOffset")] = Int(header.contentOffset);
    map[EncodableValue("productName")] = EncodableValue(FieldText(header.productName, sizeof header.productName));
    map[EncodableValue("productVersion")] = Int(header.productVersion);
    map[EncodableValue("headInfo")] = EncodableValue(FieldText(header.headInfo, sizeof header.headInfo));
    map[EncodableValue("lensVersion")] = Int(header.lensVersion);
    map[EncodableValue("contentVersion")] = Int(header.contentVersion);
    map[EncodableValue("contentChecksum")] = Bits32(header.contentChecksum);
    map[EncodableValue("contentLen")] = Bits32(header.contentLen);
    map[EncodableValue("pllBootdataLen")] = Int(header.pllBootdataLen);
    return map;
}

flutter::EncodableMap SvHeaderV3ToEncodableMap(const SvHeaderV3& header) {
    flutter::EncodableMap map;
    map[EncodableValue("headerVersion")] = Int(header.headerVersion);
    map[EncodableValue("contentOffset")] = Int(header.contentOffset);
    map[EncodableValue("sensorType")] = Int(header.sensorType);
    map[EncodableValue("sensorFuseId")] = EncodableValue(Hex(header.sensorFuseId, sizeof header.sensorFuseId));
    map[EncodableValue("productName")] = EncodableValue(FieldText(header.productName, sizeof header.productName));
    map[EncodableValue("lensId")] = EncodableValue(Hex(header.lensId, sizeof header.lensId));
    map[EncodableValue("fixChecksum")] = Int(header.fixChecksum);
    map[EncodableValue("znFwVersion")] =
        EncodableValue(flutter::EncodableList{Int(header.znFwVersion[0]), Int(header.znFwVersion[1])});
    map[EncodableValue("vendorFwVersion")] = Int(header.vendorFwVersion);
    map[EncodableValue("customNumber")] = Int(header.customNumber);
    map[EncodableValue("recordYear")] = Int(header.recordYear);
    map[EncodableValue("recordMonth")] = Int(header.recordMonth);
    map[EncodableValue("recordDay")] = Int(header.recordDay);
    map[EncodableValue("recordHour")] = Int(header.recordHour);
    map[EncodableValue("recordMinute")] = Int(header.recordMinute);
    map[EncodableValue("recordSecond")] = Int(header.recordSecond);
    map[EncodableValue("mipiDatarate")] = Int(header.mipiDatarate);
    map[EncodableValue("contentLen")] = Bits32(header.contentLen);
    map[EncodableValue("contentChecksum")] = Int(header.contentChecksum);
    map[EncodableValue("totalChecksum")] = Int(header.totalChecksum);
    return map;
}

flutter::EncodableList FormatListToEncodable(const std::vector<SvFormat>& formats) {
    flutter::EncodableList list;
    for (std::size_t i = 0; i < formats.size(); ++i) {
        const SvFormat& f = formats[i];
        flutter::EncodableMap map;
        map[EncodableValue("index")] = Int(static_cast<int>(i));
        map[EncodableValue("mediatypeIdx")] = Int(f.mediatypeIdx);
        map[EncodableValue("width")] = Int(f.width);
        map[EncodableValue("height")] = Int(f.height);
        map[EncodableValue("framerate")] = Int(f.framerate);
        map[EncodableValue("format")] = Int(static_cast<int>(f.format));
        list.emplace_back(std::move(map));
    }
    return list;
}

const char* InterfaceTypeName(int type) {
    switch (type) {
    case 0:
        return "USB";
    case 1:
        return "MIPI_CSI2";
    case 2:
        return "ETHERNET";
    default:
        return "UNKNOWN";
    }
}

}  // namespace sorvansdk
