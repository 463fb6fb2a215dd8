#pragma once

// The legacy profile document: the JSON text the earlier interface exchanges
// for the on-camera profile block. One object whose members are always all
// present, printed with two spaces of indent and every object's members in
// ascending byte order of their keys. Whole numbers are JSON integers, the
// fixed-point controls real numbers.
//
//   "CameraProfile"  {"Framerate", "Height", "PixelFormat", "Width"}
//   "ControlMode"    "ISP"
//   "GenerateDate"   ""
//   "ISPProfiles"    {"AE_EXP_GAIN", "AE_EXP_MODE", "AE_EXP_TIME", "AWB_MODE",
//                     "AWB_TEMP", "Backlight_Compensation", "Brightness",
//                     "Contrast", "Denoise", "Effect_Mode", "Fixed_FPS",
//                     "Flick_Mode", "Flip_Mode", "Gamma", "Jpeg_Qual",
//                     "Saturation", "Sharpness", "ZoomTarget", "Zoom_CTX",
//                     "Zoom_CTY"}
//   "ProductName"    ""
//   "ProfileName"    "OTPProfile"
//   "UVCProfiles"    {"Backlight_Compensation", "Brightness", "Contrast",
//                     "Exp_Auto", "Exposure", "Gain", "Gamma", "Pan",
//                     "Saturation", "Sharpness", "Temperature", "Tilt",
//                     "WB_Auto", "Zoom"}

#include <array>
#include <cstdint>
#include <string>

#include "base/OspProfileLayout.h"

namespace sv::legacy {

using ProfileBlock = sv::profileblock::Block;

// The LUMO module keeps brightness, contrast, backlight, denoise and
// sharpness with an offset added, and its zoom fields unsigned.
enum class ProfileFamily { Kano, Lumo };

// Key names of the document.
namespace profilekey {
inline constexpr const char* kCameraProfile = "CameraProfile";
inline constexpr const char* kIspProfiles = "ISPProfiles";
inline constexpr const char* kUvcProfiles = "UVCProfiles";
inline constexpr const char* kWidth = "Width";
inline constexpr const char* kHeight = "Height";
inline constexpr const char* kPixelFormat = "PixelFormat";
inline constexpr const char* kFramerate = "Framerate";
}  // namespace profilekey

// The AP1302 registers whose values the writer copies into the block, in the
// order they are read: 0x2014, 0x6132, 0x2024, 0x2026, 0x2028, 0x202A, 0x2030,
// 0x1012, 0x1186.
inline constexpr std::array<uint16_t, 9> kProfileRegisters = {0x2014, 0x6132, 0x2024, 0x2026, 0x2028,
                                                              0x202A, 0x2030, 0x1012, 0x1186};
using ProfileRegisterValues = std::array<uint16_t, 9>;

// The document of a block, as text.
std::string ProfileDocumentFromBlock(const ProfileBlock& block, ProfileFamily family);

// Starts `block` afresh (all zero, byte 0 = `flag`, byte 1 = 0x50) and fills
// the rows the document gives, in the family's forms. Number members must be
// numbers or booleans within their field's range (reals are truncated);
// "PixelFormat", "AWB_MODE" and "Fixed_FPS" count as not equal when missing.
// 0, or -1 with `error` saying why (the JSON parser's text, or which member is
// missing, of the wrong type or out of range); `block` is untouched then.
int ProfileBlockFromDocument(const char* text, ProfileFamily family, uint8_t flag, ProfileBlock& block,
                             std::string& error);

// The register rows of the block from the values of `kProfileRegisters`.
void PutProfileRegisters(ProfileBlock& block, const ProfileRegisterValues& values);

// The fixed-point forms of document values: for x taken as a single-precision
// number and t = x cut toward zero, ((t * 2^n) AND mask) + (x - t) * 2^n, cut
// to an integer and kept to 16 bits (4.12: n = 12, mask 0xF000; 8.8: n = 8,
// mask 0xFF00). -0.5 gives 0xF800 and 0xFF80, 1.5 gives 0x1800 and 0x0180.
// Callers keep x within the field (-8 to 8, or -128 to 256).
uint16_t ProfileForm4_12(float x);
uint16_t ProfileForm8_8(float x);

}  // namespace sv::legacy
