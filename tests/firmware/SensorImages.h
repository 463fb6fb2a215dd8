#pragma once

// Sensor-board firmware images made from known contents, for tests: KANO
// bootdata (a version 2 or 3 header and its content) and LUMO images (the
// information block, a control section, and bootdata beginning with a
// version 3 header).

#include <cstdint>
#include <string>
#include <vector>

namespace svtest {

inline void PutLe(std::vector<uint8_t>& b, std::size_t at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

inline uint16_t SumMod65535(const std::vector<uint8_t>& b, std::size_t first, std::size_t count) {
    uint32_t sum = 0;
    for (std::size_t i = first; i < first + count; ++i) sum += b[i];
    return static_cast<uint16_t>(sum % 65535u);
}

// Whether a version 3 header's two checksums hold: fix over bytes 0-100,
// total over bytes 0-121 (byte 122 counted as 0).
inline bool HeaderChecksumsHold(const std::vector<uint8_t>& header) {
    if (header.size() < 125) return false;
    const uint16_t fix = static_cast<uint16_t>(header[101] | header[102] << 8);
    const uint16_t total = static_cast<uint16_t>(header[123] | header[124] << 8);
    return fix == SumMod65535(header, 0, 101) && total == SumMod65535(header, 0, 122);
}

// A version 3 header: product `product`, firmware major.minor, vendor
// version and customer number as the sensor firmware text shows them, this
// fuse id, content of `contentLen` bytes; its checksums computed.
inline std::vector<uint8_t> HeaderV3(const std::string& product, uint8_t major, uint8_t minor, uint16_t vendor,
                                     uint16_t custom, uint32_t contentLen, uint8_t fuseByte = 0xAA) {
    std::vector<uint8_t> h(125, 0);
    h[0] = 3;
    for (std::size_t i = 0; i < 16; ++i) h[5 + i] = static_cast<uint8_t>(fuseByte + i);
    for (std::size_t i = 0; i < product.size() && i < 64; ++i) h[21 + i] = static_cast<uint8_t>(product[i]);
    h[103] = major;
    h[104] = minor;
    PutLe(h, 105, vendor, 2);
    PutLe(h, 107, custom, 2);
    PutLe(h, 117, contentLen, 4);
    PutLe(h, 101, SumMod65535(h, 0, 101), 2);
    PutLe(h, 123, SumMod65535(h, 0, 122), 2);
    return h;
}

inline std::vector<uint8_t> Content(std::size_t bytes, uint8_t seed) {
    std::vector<uint8_t> c(bytes);
    for (std::size_t i = 0; i < bytes; ++i) c[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return c;
}

// KANO bootdata of `total` bytes: a version 3 header, then content.
inline std::vector<uint8_t> KanoImageV3(std::size_t total, uint8_t major = 2, uint8_t minor = 1) {
    std::vector<uint8_t> image = HeaderV3("KIVO-AR0234", major, minor, 400, 9, static_cast<uint32_t>(total - 125));
    const auto content = Content(total - 125, 0x11);
    image.insert(image.end(), content.begin(), content.end());
    return image;
}

// KANO bootdata of `total` bytes with a version 2 header (144 bytes).
inline std::vector<uint8_t> KanoImageV2(std::size_t total) {
    std::vector<uint8_t> image(144, 0);
    image[0] = 2;
    const std::string product = "KIVO-AR0234";
    for (std::size_t i = 0; i < product.size(); ++i) image[3 + i] = static_cast<uint8_t>(product[i]);
    image[67] = 3;   // product version
    image[132] = 4;  // lens version
    image[133] = 5;  // content version
    PutLe(image, 138, static_cast<uint32_t>(total - 144), 4);
    const auto content = Content(total - 144, 0x22);
    image.insert(image.end(), content.begin(), content.end());
    return image;
}

// A LUMO image: the 20-byte information block, a control section of
// `controlLen` bytes for `controlAddr`, and bootdata of `bootdataLen` bytes
// (a version 3 header first) for `bootdataAddr`.
inline std::vector<uint8_t> LumoImage(uint32_t controlAddr, uint32_t controlLen, uint32_t bootdataAddr,
                                      uint32_t bootdataLen, uint8_t major = 2, uint8_t minor = 3) {
    std::vector<uint8_t> image(20, 0);
    image[0] = 1;
    image[1] = 2;
    image[2] = 3;
    image[3] = 4;
    PutLe(image, 4, controlAddr, 4);
    PutLe(image, 8, controlLen, 4);
    PutLe(image, 12, bootdataAddr, 4);
    PutLe(image, 16, bootdataLen, 4);
    const auto control = Content(controlLen, 0x33);
    image.insert(image.end(), control.begin(), control.end());
    std::vector<uint8_t> bootdata = HeaderV3("LIRA-AR0822", major, minor, 500, 11, bootdataLen - 125, 0x10);
    const auto content = Content(bootdataLen - 125, 0x44);
    bootdata.insert(bootdata.end(), content.begin(), content.end());
    image.insert(image.end(), bootdata.begin(), bootdata.end());
    return image;
}

}  // namespace svtest
