#include "ControlNames.h"

namespace svcam {

const std::vector<ControlName>& UvcControls() {
    using K = ControlName::Kind;
    static const std::vector<ControlName> table = {
        {K::Uvc, SV_UVC_BRIGHTNESS, "brightness"},
        {K::Uvc, SV_UVC_CONTRAST, "contrast"},
        {K::Uvc, SV_UVC_HUE, "hue"},
        {K::Uvc, SV_UVC_SATURATION, "saturation"},
        {K::Uvc, SV_UVC_SHARPNESS, "sharpness"},
        {K::Uvc, SV_UVC_GAMMA, "gamma"},
        {K::Uvc, SV_UVC_COLOR_ENABLE, "color-enable"},
        {K::Uvc, SV_UVC_WHITE_BALANCE, "white-balance"},
        {K::Uvc, SV_UVC_BACKLIGHT_COMPENSATION, "backlight-compensation"},
        {K::Uvc, SV_UVC_GAIN, "gain"},
        {K::Uvc, SV_UVC_PAN, "pan"},
        {K::Uvc, SV_UVC_TILT, "tilt"},
        {K::Uvc, SV_UVC_ROLL, "roll"},
        {K::Uvc, SV_UVC_ZOOM, "zoom"},
        {K::Uvc, SV_UVC_EXPOSURE, "exposure"},
        {K::Uvc, SV_UVC_IRIS, "iris"},
        {K::Uvc, SV_UVC_FOCUS, "focus"},
    };
    return table;
}

const std::vector<ControlName>& IspControls() {
    using K = ControlName::Kind;
    static const std::vector<ControlName> table = {
        {K::Isp, SV_ISP_BRIGHTNESS, "brightness"},
        {K::Isp, SV_ISP_CONTRAST, "contrast"},
        {K::Isp, SV_ISP_SATURATION, "saturation"},
        {K::Isp, SV_ISP_WHITE_BALANCE_MODE, "white-balance-mode"},
        {K::Isp, SV_ISP_WHITE_BALANCE_TEMPERATURE, "white-balance-temperature"},
        {K::Isp, SV_ISP_EXPOSURE_MODE, "exposure-mode"},
        {K::Isp, SV_ISP_EXPOSURE_TIME, "exposure"},
        {K::Isp, SV_ISP_EXPOSURE_MIN_TIME, "exposure-min"},
        {K::Isp, SV_ISP_EXPOSURE_MAX_TIME, "exposure-max"},
        {K::Isp, SV_ISP_EXPOSURE_GAIN, "gain"},
        {K::Isp, SV_ISP_GAMMA, "gamma"},
        {K::Isp, SV_ISP_SHARPNESS, "sharpness"},
        {K::Isp, SV_ISP_BACKLIGHT_COMPENSATION, "backlight-compensation"},
        {K::Isp, SV_ISP_SPECIAL_EFFECT, "special-effect"},
        {K::Isp, SV_ISP_DENOISE, "denoise"},
        {K::Isp, SV_ISP_FLIP_MODE, "flip"},
        {K::Isp, SV_ISP_PAN, "pan"},
        {K::Isp, SV_ISP_TILT, "tilt"},
        {K::Isp, SV_ISP_ZOOM, "zoom"},
        {K::Isp, SV_ISP_FLICK_MODE, "flicker-mode"},
        {K::Isp, SV_ISP_JPEG_QUALITY, "jpeg-quality"},
        {K::Isp, SV_ISP_EHDR_MODE, "ehdr-mode"},
        {K::Isp, SV_ISP_EHDR_EXPOSURE_MIN_NUMBER, "ehdr-exposure-min"},
        {K::Isp, SV_ISP_EHDR_EXPOSURE_MAX_NUMBER, "ehdr-exposure-max"},
        {K::Isp, SV_ISP_EHDR_RATIO_MIN, "ehdr-ratio-min"},
        {K::Isp, SV_ISP_EHDR_RATIO_MAX, "ehdr-ratio-max"},
        {K::Isp, SV_ISP_EHDR_ATM_WEIGHT, "ehdr-atm-weight"},
        {K::Isp, SV_ISP_EHDR_ATM_MAX, "ehdr-atm-max"},
    };
    return table;
}

namespace {
std::optional<ControlName> FindIn(const std::vector<ControlName>& table, const std::string& name) {
    for (const auto& c : table) {
        if (name == c.name) return c;
    }
    return std::nullopt;
}
}  // namespace

std::optional<ControlName> FindControl(const std::string& name) {
    if (name.rfind("uvc.", 0) == 0) return FindIn(UvcControls(), name.substr(4));
    if (name.rfind("isp.", 0) == 0) return FindIn(IspControls(), name.substr(4));
    if (auto uvc = FindIn(UvcControls(), name)) return uvc;
    return FindIn(IspControls(), name);
}

std::string AllControlNames() {
    std::string text;
    for (const auto& c : UvcControls()) text += std::string(text.empty() ? "" : ", ") + c.name;
    for (const auto& c : IspControls()) {
        if (!FindIn(UvcControls(), c.name)) text += std::string(", ") + c.name;
    }
    return text + " (prefix uvc. or isp. to choose)";
}

}  // namespace svcam
