#pragma once

// The AP1302's bridge to the sensor behind it (registers 0x60A0-0x60AC): the
// register writes of one read or write transaction, the idle test, and the
// sensor facts the unique-ID read needs. Shared by the current cameras and
// the legacy control objects; the caller carries the writes and the polls.

#include <array>
#include <cstdint>
#include <utility>

namespace sv::bridge {

constexpr uint16_t kIspIdRegister = 0x0000;
constexpr uint16_t kSystemControl = 0x601A;
constexpr uint16_t kStandbyBit = 0x0200;
constexpr uint16_t kWakeValue = 0x0380;
constexpr uint16_t kA0 = 0x60A0;
constexpr uint16_t kA2 = 0x60A2;
constexpr uint16_t kA4 = 0x60A4;
constexpr uint16_t kA6 = 0x60A6;
constexpr uint16_t kA8 = 0x60A8;
constexpr uint16_t kAA = 0x60AA;
constexpr uint16_t kStatus = 0x60AC;
constexpr uint16_t kReadCommand = 0x6032;
constexpr uint16_t kWriteCommand = 0x0301;

// Where a read transaction leaves the sensor's value.
constexpr uint16_t kReadData = kA4;

// Sensor ids tried in this order, and the chip-id register each answers on.
constexpr uint16_t kSensorIds[] = {0x20, 0x6C, 0x6E};
constexpr uint16_t kChipIdRegister = 0x3000;

using Program = std::array<std::pair<uint16_t, uint16_t>, 7>;

// Register, value pairs in the order they are written; the last starts it.
inline Program ReadProgram(uint16_t sensorId, uint16_t reg) {
    return {{{kA8, 0}, {kAA, 2}, {kA0, static_cast<uint16_t>(sensorId | 0x0300)}, {kA2, reg}, {kA4, 0},
             {kA6, kA4}, {kStatus, kReadCommand}}};
}

inline Program WriteProgram(uint16_t sensorId, uint16_t reg, uint16_t data) {
    return {{{kA8, 0}, {kAA, 2}, {kA0, 0}, {kA2, data}, {kA4, static_cast<uint16_t>(sensorId | 0xF300)}, {kA6, reg},
             {kStatus, kWriteCommand}}};
}

inline bool Idle(uint16_t status) { return (status & 0x7) == 0; }

// The first of the eight fuse words of a sensor with this chip id.
inline uint16_t FuseBase(uint16_t chipId) { return (chipId == 0x2557 || chipId == 0x0F56) ? 0x34C0 : 0x3800; }

}  // namespace sv::bridge
