#pragma once

// The on-camera profile block (an OSP profile): 80 bytes with little-endian
// fields that hold a streaming format and a full set of control values, the
// flag byte the camera firmware acts on, and a checksum. Where it lives, its
// checksum and its conversion into a profile-configuration document.

#include <array>
#include <cstdint>
#include <string>

#include <sorvansdk/SvTypes.h>

namespace sv::formats {

constexpr std::size_t kOspProfileSize = 80;
using OspProfileBlock = std::array<uint8_t, kOspProfileSize>;

// Field offsets of the block.
namespace osp {
constexpr std::size_t kFlag = 0;
constexpr std::size_t kWidth = 3;
constexpr std::size_t kHeight = 5;
constexpr std::size_t kPixelFormat = 7;
constexpr std::size_t kThroughput = 9;
constexpr std::size_t kFrameRate = 11;
constexpr std::size_t kExposureMin = 12;
constexpr std::size_t kExposureMax = 16;
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
constexpr std::size_t kZoom = 49;
constexpr std::size_t kPan = 51;
constexpr std::size_t kTilt = 53;
constexpr std::size_t kFlicker = 57;
constexpr std::size_t kJpegQuality = 59;
constexpr std::size_t kChecksum = 78;
}  // namespace osp

// The two module families keep some controls differently: the LUMO module
// stores brightness, contrast, backlight, denoise and sharpness with an offset.
enum class OspFamily { Kano, Lumo };

// Sum of bytes 0-77 (at most 19890, so it never wraps) and the stored value.
uint16_t OspProfileChecksum(const OspProfileBlock& block);
uint16_t OspProfileStoredChecksum(const OspProfileBlock& block);

// Where a KANO module keeps the block: right after the bootdata content, at
// content offset + content length of the version 3 header. Addresses from
// 0xFFFF on are in the store's next device (`storeDevice` + 1); the register
// is the address modulo 0x10000.
struct OspProfilePlace {
    uint8_t device = 0;
    uint16_t reg = 0;
};
OspProfilePlace KanoProfilePlace(const SvHeaderV3& header, uint8_t storeDevice);

// The block as a compact profile-configuration document: "ProfileName",
// "ProductName", "GenerateDate", "ControlMode", "ProfileVersion",
// "CameraProfile", "UVCProfiles", "ISPProfiles", in this order. Fixed-point ISP
// values are rounded as the ISP property interface shows them, so a value
// stored reads as the same property value. `yuy2` names code 0x50 "YUY2"
// instead of "UYVY".
std::string OspProfileToJson(const OspProfileBlock& block, OspFamily family, bool yuy2);

}  // namespace sv::formats
