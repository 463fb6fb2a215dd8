#pragma once

// The two checksums a KANO bootdata store keeps in its version 3 header after
// the sensor's fuse ID has been written into it: the fixed-section checksum
// (bytes 0-100) at byte 101 and the total (bytes 0-121, the fixed checksum in
// place) at byte 123, both sums modulo 65535 stored low byte first.

#include <cstddef>
#include <cstdint>

namespace sv::header {

constexpr uint32_t kFuseIdAt = 5;
constexpr uint32_t kFixChecksumAt = 101;
constexpr uint32_t kTotalChecksumAt = 123;
constexpr std::size_t kSummedBytes = 122;

inline uint16_t SumModulo65535(const uint8_t* bytes, std::size_t count) {
    uint32_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += bytes[i];
    return static_cast<uint16_t>(sum % 65535u);
}

// Marks both checksums of a version 3 header (at least 125 bytes) as not
// computed (0xFFFF): the header goes to the store that way, so an image that
// stops part-way, or carries another unit's sums, never reads as sealed.
inline void MarkChecksumsNotComputed(uint8_t* header) {
    for (uint32_t at : {kFixChecksumAt, kTotalChecksumAt}) header[at] = header[at + 1] = 0xFF;
}

struct StoreChecksums {
    uint16_t fix = 0;
    uint16_t total = 0;
};

// From header bytes 0-121 as the store holds them.
inline StoreChecksums ComputeStoreChecksums(const uint8_t (&bytes)[kSummedBytes]) {
    uint8_t summed[kSummedBytes];
    for (std::size_t i = 0; i < kSummedBytes; ++i) summed[i] = bytes[i];
    StoreChecksums out;
    out.fix = SumModulo65535(summed, kFixChecksumAt);
    summed[kFixChecksumAt] = static_cast<uint8_t>(out.fix & 0xFF);
    summed[kFixChecksumAt + 1] = static_cast<uint8_t>(out.fix >> 8);
    out.total = SumModulo65535(summed, kSummedBytes);
    return out;
}

}  // namespace sv::header
