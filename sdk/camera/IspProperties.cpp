#include "camera/IspProperties.h"

#include <cmath>

#include "camera/ControlLimits.h"

namespace sv {

const std::unordered_map<int, IspPropertyInfo>& IspPropertyTable() {
    // Limits from the one list the typed operations check; step, default and
    // scale are the interface's own.
    namespace L = sv::limits;
    auto real = [](const L::RealRange& r, double step, double def, int scale) {
        return IspPropertyInfo{true, r.minimum, r.maximum, step, def, scale};
    };
    auto whole = [](const L::IntRange& r, double def) {
        return IspPropertyInfo{false, static_cast<double>(r.minimum), static_cast<double>(r.maximum), 1, def, 1};
    };
    static const std::unordered_map<int, IspPropertyInfo> table = {
        {SV_ISP_BRIGHTNESS, real(L::kBrightness, 0.1, 0.0, 10)},
        {SV_ISP_CONTRAST, real(L::kContrast, 0.1, 0.0, 10)},
        {SV_ISP_SATURATION, real(L::kSaturation, 0.1, 1.0, 10)},
        {SV_ISP_WHITE_BALANCE_MODE, whole(L::kWhiteBalanceMode, 1)},
        {SV_ISP_WHITE_BALANCE_TEMPERATURE, whole(L::kWhiteBalanceTemperature, 5000)},
        {SV_ISP_EXPOSURE_MODE, whole(L::kExposureMode, 1)},
        {SV_ISP_EXPOSURE_TIME, whole(L::kExposureTime, 33333)},
        {SV_ISP_EXPOSURE_MIN_TIME, whole(L::kExposureTime, 16666)},
        {SV_ISP_EXPOSURE_MAX_TIME, whole(L::kExposureTime, 66666)},
        {SV_ISP_EXPOSURE_GAIN, whole(L::kGain, 1)},
        {SV_ISP_GAMMA, real(L::kGamma, 0.1, 2.2, 10)},
        {SV_ISP_SHARPNESS, real(L::kSharpness, 0.1, 0.0, 10)},
        {SV_ISP_BACKLIGHT_COMPENSATION, real(L::kBacklightCompensation, 0.1, 1.0, 10)},
        {SV_ISP_SPECIAL_EFFECT, whole(L::kSpecialEffect, 0)},
        {SV_ISP_DENOISE, real(L::kDenoise, 0.1, 0.0, 10)},
        {SV_ISP_FLIP_MODE, whole(L::kFlip, 0)},
        {SV_ISP_PAN, real(L::kPan, 0.1, 0.5, 10)},
        {SV_ISP_TILT, real(L::kTilt, 0.1, 0.5, 10)},
        {SV_ISP_ZOOM, real(L::kZoom, 0.1, 1.0, 10)},
        {SV_ISP_FLICK_MODE, whole(L::kFlickMode, 0)},
        {SV_ISP_JPEG_QUALITY, whole(L::kJpegQuality, 233)},
        {SV_ISP_RESERVED_21, whole(L::IntRange{0, 3}, 0)},
        {SV_ISP_EHDR_MODE, whole(L::kEHDRMode, 0)},
        {SV_ISP_EHDR_EXPOSURE_MIN_NUMBER, whole(L::kEHDRExposureNumber, 1)},
        {SV_ISP_EHDR_EXPOSURE_MAX_NUMBER, whole(L::kEHDRExposureNumber, 4)},
        {SV_ISP_EHDR_RATIO_MIN, whole(L::kEHDRRatio, 12)},
        {SV_ISP_EHDR_RATIO_MAX, whole(L::kEHDRRatio, 24)},
        {SV_ISP_EHDR_ATM_WEIGHT, real(L::kEHDRAtmWeight, 0.01, 1.0, 25)},
        {SV_ISP_EHDR_ATM_MAX, real(L::kEHDRAtmMax, 0.1, 5.0, 10)},
    };
    return table;
}

const IspPropertyInfo* FindIspProperty(int id) {
    const auto& table = IspPropertyTable();
    const auto it = table.find(id);
    return it == table.end() ? nullptr : &it->second;
}

int IspInterfaceValue(double cameraValue, int scale) {
    // Register encodings sit a fraction of a step below the value that was set
    // (2.2 reads back as 2.19995...); hundredths absorb that, and the scaling in
    // integers keeps 1.16 x 25 at 29 where doubles would give 28.999...
    if (!(std::fabs(cameraValue) < 1e7)) return 0;
    const long long hundredths = std::llround(cameraValue * 100.0);
    return static_cast<int>(hundredths * scale / 100);
}

}  // namespace sv
