#include "camera/IspProperties.h"

#include <cmath>

namespace sv {

const std::unordered_map<int, IspPropertyInfo>& IspPropertyTable() {
    // {isDouble, minimum, maximum, step, default, scale}
    static const std::unordered_map<int, IspPropertyInfo> table = {
        {SV_ISP_BRIGHTNESS, {true, -1.0, 1.0, 0.1, 0.0, 10}},
        {SV_ISP_CONTRAST, {true, -5.0, 5.0, 0.1, 0.0, 10}},
        {SV_ISP_SATURATION, {true, 0.0, 5.0, 0.1, 1.0, 10}},
        {SV_ISP_WHITE_BALANCE_MODE, {false, 0, 1, 1, 1, 1}},
        {SV_ISP_WHITE_BALANCE_TEMPERATURE, {false, 2300, 15000, 1, 5000, 1}},
        {SV_ISP_EXPOSURE_MODE, {false, 0, 2, 1, 1, 1}},
        {SV_ISP_EXPOSURE_TIME, {false, 1, 1000000, 1, 33333, 1}},
        {SV_ISP_EXPOSURE_MIN_TIME, {false, 1, 1000000, 1, 16666, 1}},
        {SV_ISP_EXPOSURE_MAX_TIME, {false, 1, 1000000, 1, 66666, 1}},
        {SV_ISP_EXPOSURE_GAIN, {false, 0, 255, 1, 1, 1}},
        {SV_ISP_GAMMA, {true, 0.4, 7.9, 0.1, 2.2, 10}},
        {SV_ISP_SHARPNESS, {true, -2.0, 2.0, 0.1, 0.0, 10}},
        {SV_ISP_BACKLIGHT_COMPENSATION, {true, -15.0, 15.0, 0.1, 1.0, 10}},
        {SV_ISP_SPECIAL_EFFECT, {false, 0, 4, 1, 0, 1}},
        {SV_ISP_DENOISE, {true, -2.0, 2.0, 0.1, 0.0, 10}},
        {SV_ISP_FLIP_MODE, {false, 0, 3, 1, 0, 1}},
        {SV_ISP_PAN, {true, 0.0, 1.0, 0.1, 0.5, 10}},
        {SV_ISP_TILT, {true, 0.0, 1.0, 0.1, 0.5, 10}},
        {SV_ISP_ZOOM, {true, 1.0, 8.0, 0.1, 1.0, 10}},
        {SV_ISP_FLICK_MODE, {false, 0, 3, 1, 0, 1}},
        {SV_ISP_JPEG_QUALITY, {false, 0, 255, 1, 233, 1}},
        {SV_ISP_RESERVED_21, {false, 0, 3, 1, 0, 1}},
        {SV_ISP_EHDR_MODE, {false, 0, 1, 1, 0, 1}},
        {SV_ISP_EHDR_EXPOSURE_MIN_NUMBER, {false, 1, 4, 1, 1, 1}},
        {SV_ISP_EHDR_EXPOSURE_MAX_NUMBER, {false, 1, 4, 1, 4, 1}},
        {SV_ISP_EHDR_RATIO_MIN, {false, 1, 128, 1, 12, 1}},
        {SV_ISP_EHDR_RATIO_MAX, {false, 1, 128, 1, 24, 1}},
        {SV_ISP_EHDR_ATM_WEIGHT, {true, 0.0, 4.0, 0.01, 1.0, 25}},
        {SV_ISP_EHDR_ATM_MAX, {true, 1.0, 8.0, 0.1, 5.0, 10}},
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
