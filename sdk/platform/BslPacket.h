#pragma once

// Packets of the LUMO microcontroller's bootstrap loader (BSL), shared by the
// sensor firmware upgrade and the legacy control objects.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sv::firmware {

// CRC-32 with the reflected polynomial 0xEDB88320, initial value 0xFFFFFFFF
// and no final inversion: what the loader checks packets and memory with.
uint32_t BslCrc(const uint8_t* data, std::size_t length, uint32_t crc = 0xFFFFFFFFu);

// A loader packet: 0x80, n, 0x00, command, payload, CRC of command and
// payload (low byte first); n is the command and payload length.
std::vector<uint8_t> BslPacket(uint8_t command, const std::vector<uint8_t>& payload);

// The password the library unlocks the loader with before a mass erase.
extern const uint8_t kBslPassword[32];

}  // namespace sv::firmware
