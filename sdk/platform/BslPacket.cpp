#include "platform/BslPacket.h"

namespace sv::firmware {

uint32_t BslCrc(const uint8_t* data, std::size_t length, uint32_t crc) {
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) != 0 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return crc;
}

std::vector<uint8_t> BslPacket(uint8_t command, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> packet;
    packet.reserve(payload.size() + 8);
    packet.push_back(0x80);
    packet.push_back(static_cast<uint8_t>(payload.size() + 1));
    packet.push_back(0x00);
    packet.push_back(command);
    for (uint8_t byte : payload) packet.push_back(byte);
    const uint32_t crc = BslCrc(packet.data() + 3, payload.size() + 1);
    for (int i = 0; i < 4; ++i) packet.push_back(static_cast<uint8_t>(crc >> (8 * i)));
    return packet;
}

// An erased loader's password: every byte set.
const uint8_t kBslPassword[32] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                  0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                  0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

}  // namespace sv::firmware
