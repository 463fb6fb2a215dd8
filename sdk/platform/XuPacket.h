#pragma once

// The generic I2C packet of the maker's extension unit (selector 0x06) and the
// firmware-version rule that chooses its size. Shared by the current cameras
// and the legacy control objects.

#include <cstddef>
#include <cstdint>

namespace sv::xu {

constexpr uint16_t kI2CPacketLarge = 512;
constexpr uint16_t kI2CPacketSmall = 256;

// Firmware versions with a first byte above 23 or a second above 11 speak
// 256-byte generic I2C packets; older ones 512-byte packets.
inline bool SelectsSmallI2CPacket(const uint8_t (&version)[4]) { return version[0] > 23 || version[1] > 11; }

// Writes the packet's head: the device byte (7-bit address shifted left, bit 0
// set for a read), the address length, the register address most significant
// byte first (1, 2 or 4 bytes) and the byte count, high byte first. Returns
// the offset of the data. The caller has checked `addressLength`.
inline std::size_t PutI2CPacketHead(uint8_t* packet, uint8_t device, bool read, uint8_t addressLength,
                                    uint32_t reg, uint16_t length) {
    packet[0] = static_cast<uint8_t>((device << 1) | (read ? 1 : 0));
    packet[1] = addressLength;
    std::size_t at = 2;
    for (int i = addressLength - 1; i >= 0; --i) packet[at++] = static_cast<uint8_t>((reg >> (8 * i)) & 0xFF);
    packet[at++] = static_cast<uint8_t>(length >> 8);
    packet[at++] = static_cast<uint8_t>(length & 0xFF);
    return at;
}

}  // namespace sv::xu
