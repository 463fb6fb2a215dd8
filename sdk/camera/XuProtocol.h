#pragma once

// The maker's extension-unit protocol: unit, request codes and control selectors.

#include <cstdint>
#include <string>

constexpr uint8_t XU_UNIT_ID = 2;
constexpr uint8_t SET_CUR = 0x01;
constexpr uint8_t GET_CUR = 0x81;

constexpr uint8_t XU_CS_FIRMWARE_VERSION = 0x01;
constexpr uint8_t XU_CS_FX3_PROGRAM_MODE = 0x02;
constexpr uint8_t XU_CS_RESET = 0x03;
constexpr uint8_t XU_CS_SENSOR_UID = 0x04;
constexpr uint8_t XU_CS_ISP_REGISTER = 0x05;
constexpr uint8_t XU_CS_GENERIC_I2C = 0x06;
constexpr uint8_t XU_CS_OSP_PROFILE_FLAG = 0x07;
constexpr uint8_t XU_CS_TIMESTAMP = 0x08;
constexpr uint8_t XU_CS_ISP_CONTROL = 0x09;
constexpr uint8_t XU_CS_BSL_MODE = 0x0C;

// Generic I2C packet sizes and the room left for register address and data.
constexpr uint16_t kXuPacketLarge = 512;
constexpr uint16_t kXuPacketSmall = 256;

// Dotted version texts compared part by part over the first four parts as
// unsigned bytes: -1 below, 0 equal, 1 above. A text with fewer than four
// parts, or a part that is not a number, counts as below.
int CompareFirmwareVersion(const std::string& actual, const std::string& required);

// Four version bytes as text: each in decimal with at least two digits, joined
// by "." ("24.07.03.01").
std::string FormatFirmwareVersion(const uint8_t (&bytes)[4]);
