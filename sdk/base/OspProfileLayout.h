#pragma once

// The on-camera profile block (an OSP profile) as both interfaces see it: 80
// bytes with little-endian fields, a flag byte the camera firmware acts on and
// a checksum; where a KANO module keeps it; and the UVC forms of its controls,
// which the current and the earlier profile documents share under other keys.

#include <array>
#include <cstddef>
#include <cstdint>

namespace sv::profileblock {

constexpr std::size_t kSize = 80;
using Block = std::array<uint8_t, kSize>;

// Field offsets.
namespace at {
constexpr std::size_t kFlag = 0;
constexpr std::size_t kMarker = 1;  // 0x50 in blocks the legacy writer makes
constexpr std::size_t kWidth = 3;
constexpr std::size_t kHeight = 5;
constexpr std::size_t kPixelFormat = 7;
constexpr std::size_t kIspMode = 8;  // carried: AP1302 register 0x2014, bits 0-3
constexpr std::size_t kThroughput = 9;
constexpr std::size_t kFrameRate = 11;
constexpr std::size_t kExposureMin = 12;
constexpr std::size_t kExposureMax = 16;
constexpr std::size_t kAeSetting = 20;  // carried: AP1302 register 0x2030
constexpr std::size_t kExposureMode = 22;
constexpr std::size_t kExposure = 23;
constexpr std::size_t kGain = 27;
constexpr std::size_t kBacklight = 28;
constexpr std::size_t kWhiteBalanceMode = 30;
constexpr std::size_t kWhiteBalance = 31;
constexpr std::size_t kBrightness = 33;
constexpr std::size_t kContrast = 35;
constexpr std::size_t kSaturation = 37;
constexpr std::size_t kGamma = 39;
constexpr std::size_t kDenoise = 41;
constexpr std::size_t kSharpness = 43;
constexpr std::size_t kFlip = 45;
constexpr std::size_t kEffect = 46;
constexpr std::size_t kZoomType = 47;  // carried: AP1302 register 0x1012
constexpr std::size_t kZoom = 49;
constexpr std::size_t kPan = 51;
constexpr std::size_t kTilt = 53;
constexpr std::size_t kZoomSetting = 55;  // carried: AP1302 register 0x1186
constexpr std::size_t kFlicker = 57;
constexpr std::size_t kJpegQuality = 59;
constexpr std::size_t kFixedFps = 60;
constexpr std::size_t kChecksum = 78;
}  // namespace at

// Control codes as the block stores them.
constexpr uint8_t kPixelFormatYuv = 0x50;
constexpr uint8_t kPixelFormatMjpg = 0x01;
constexpr uint8_t kExposureModeAuto = 12;
constexpr uint8_t kWhiteBalanceAuto = 15;
constexpr uint8_t kWhiteBalanceManual = 7;

inline uint16_t Get16(const Block& b, std::size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }
inline uint32_t Get32(const Block& b, std::size_t at) {
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
inline void Put16(Block& b, std::size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v & 0xFF);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(Block& b, std::size_t at, uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Sum of bytes 0-77 (at most 19890, so it never wraps) and the stored value.
uint16_t Checksum(const Block& block);
inline uint16_t StoredChecksum(const Block& block) { return Get16(block, at::kChecksum); }
// Stores the sum of bytes 0-77 in bytes 78-79.
void Seal(Block& block);

// Where a KANO module keeps the block: right after the bootdata content, at
// content offset + content length of the version 3 header. Addresses from
// 0xFFFF on are in the store's next device (`storeDevice` + 1); the register
// is the address modulo 0x10000.
struct Place {
    uint8_t device = 0;
    uint16_t reg = 0;
};
Place KanoPlace(uint32_t contentOffset, uint32_t contentLen, uint8_t storeDevice);

// The UVC forms of the block's controls: each mapped onto the range its UVC
// control has (v is the stored 16-bit field; divisions truncate toward zero).
struct UvcValues {
    uint32_t exposure = 0;
    int gain = 0;
    bool autoExposure = false;      // code 12
    bool autoWhiteBalance = false;  // code 15
    int temperature = 0;
    int backlight = 0;   // 0-480
    int brightness = 0;  // 0-32
    int contrast = 0;    // 0-10
    int saturation = 0;  // the high byte of the field
    int gamma = 0;
    int sharpness = 0;  // 0-64
    int zoom = 0;
    int pan = 0;   // arc-seconds
    int tilt = 0;  // arc-seconds
};
UvcValues ToUvc(const Block& block);

// The signed fixed-point value of a field (s / 2^fractionBits), and the LUMO
// offset form: the field minus `offset`, taken as signed, over 2^fractionBits.
double SignedFixed(const Block& block, std::size_t at, int fractionBits);
double OffsetFixed(const Block& block, std::size_t at, uint16_t offset, int fractionBits);

}  // namespace sv::profileblock
