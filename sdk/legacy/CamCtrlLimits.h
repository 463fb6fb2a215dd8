#pragma once

// The fixed limits of the legacy setters and their range lines, shared by
// both families.

#include "legacy/CamCtrl.h"

namespace sz {

using Limits = CamCtrl::Limits;

inline constexpr Limits kExposureTime{1, 1000000, "[%s][%d] Exposure Time range: %d ~ %d ms.", true};
inline constexpr Limits kExposureGain{1, 64, "[%s][%d] Exosure Gain Range: %d ~ %dx.", true};
inline constexpr Limits kBacklight{-15.0, 15.0, nullptr, false};
inline constexpr Limits kTemperature{2300, 15000, "[%s][%d] Temperature Range: %d ~ %d K.", true};
inline constexpr Limits kWhiteBalanceQx{-4.0, 4.0, "[%s][%d] WhiteBalanceQx range: %01f ~ %01fx.", false};
inline constexpr Limits kWhiteBalanceQy{-4.0, 4.0, "[%s][%d] WhiteBalanceQy range: %01f ~ %01fx.", false};
inline constexpr Limits kBrightness{-1.0, 1.0, "[%s][%d] Brightness range: %01f ~ %01f.", false};
inline constexpr Limits kGamma{0.4, 7.9, "[%s][%d] Gamma range: %01f ~ %01fx.", false};
inline constexpr Limits kSaturation{0.0, 5.0, "[%s][%d] Saturation range: %01f ~ %01f.", false};
inline constexpr Limits kContrast{-5.0, 5.0, "[%s][%d] Contrast range: %01f ~ %01f.", false};
inline constexpr Limits kSharpening{-2.0, 2.0, "[%s][%d] Sharpening range: %01f ~ %01f.", false};
inline constexpr Limits kDenoise{-2.0, 2.0, "[%s][%d] Denoise range: %01f ~ %01f.", false};
inline constexpr Limits kZoomTarget{1.0, 8.0, "[%s][%d] Digital Zoom Range: %d ~ %dx.", true};
inline constexpr Limits kZoomCtX{0.0, 1.0, "[%s][%d] Digital Zoom CT X: %.1f ~ %.1f.", false};
inline constexpr Limits kZoomCtY{0.0, 1.0, "[%s][%d] Digital Zoom CT Y: %.1f ~ %.1f.", false};

inline constexpr const char* kGetExposureTimeLine = "[%s][%d] Get Exposure Time : %d us.";
inline constexpr const char* kSetExposureTimeLine = "[%s][%d] Set Exposure Time : %d us.";
inline constexpr const char* kSetExposureMinimumLine = "[%s][%d] Set Exposure Minimum : %d us.";
inline constexpr const char* kSetExposureMaximumLine = "[%s][%d] Set Exposure Maximum : %d us.";
inline constexpr const char* kCurrentExposureTimeLine = "[%s][%d] Current Exposure Time (0x00E8): %d us.";
inline constexpr const char* kGetExposureGainLine = "[%s][%d] Get Exposure Gain : %dx.";
inline constexpr const char* kCurrentExposureGainLine = "[%s][%d] Current Exposure Gain: %dx.";

}  // namespace sz
