#pragma once

// Boot images for the bridge tests, built from known contents: "CY", the
// EEPROM size code in bits 1-3 of byte 2, records (length in words, address)
// with their data, an end record with the entry address. An identity block
// ("SVID", kind, version) in a record's data tells the simulated bridge what
// it runs.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace svtest {

struct Fx3Record {
    uint32_t address;
    std::vector<uint8_t> data;  // a multiple of 4 bytes
};

inline void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline std::vector<uint8_t> Fx3Image(const std::vector<Fx3Record>& records, uint32_t entry, uint8_t sizeCode = 6) {
    std::vector<uint8_t> out{'C', 'Y', static_cast<uint8_t>(sizeCode << 1), 0xB0};
    for (const auto& r : records) {
        PutLe32(out, static_cast<uint32_t>(r.data.size() / 4));
        PutLe32(out, r.address);
        out.insert(out.end(), r.data.begin(), r.data.end());
    }
    PutLe32(out, 0);
    PutLe32(out, entry);
    return out;
}

// `n` bytes of a counting pattern starting at `seed`.
inline std::vector<uint8_t> Pattern(size_t n, uint8_t seed = 1) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return v;
}

// Data of `n` bytes whose start is the identity block: 'C' with a version or 'P'.
inline std::vector<uint8_t> Identity(char kind, std::vector<uint8_t> version, size_t n) {
    std::vector<uint8_t> v = Pattern(n, 0x30);
    const std::vector<uint8_t> head{'S', 'V', 'I', 'D', static_cast<uint8_t>(kind)};
    std::copy(head.begin(), head.end(), v.begin());
    for (size_t i = 0; i < version.size() && i < 4; ++i) v[5 + i] = version[i];
    return v;
}

// An image of exactly `total` bytes (at least 20, total - 20 a multiple of 4):
// one record at system RAM and the end record.
inline std::vector<uint8_t> Fx3ImageOfSize(size_t total, uint8_t sizeCode = 6) {
    return Fx3Image({{0x40000000, Pattern(total - 20)}}, 0x40000000, sizeCode);
}

// A world with one bridge and no camera; `fx3` is the bridge's JSON body.
inline std::string Fx3World(const std::string& fx3) {
    return R"({"devices": [], "fx3": [{"id": "fx3", )" + fx3 + "}]}";
}

}  // namespace svtest
