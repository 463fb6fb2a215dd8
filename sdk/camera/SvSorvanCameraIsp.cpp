// The ISP property interface of the maker cameras: property ids mapped onto the
// typed control operations, with the scaling of the double controls, the
// range table, the default reset and the exposure-range lookup.

#include <algorithm>
#include <iterator>
#include <vector>

#include "camera/ExposureRangeTable.h"
#include "camera/IspProperties.h"
#include "camera/SvSorvanCamera.h"
#include "base/Config.h"
#include "base/Logger.h"

namespace {

using Cam = SvSorvanCamera;

// The typed operations behind one property; exactly one getter/setter pair is set.
struct PropertyAccess {
    int (Cam::*getInt)(int32_t&, int&) = nullptr;
    int (Cam::*setInt)(int32_t) = nullptr;
    int (Cam::*getIndex)(uint32_t&, int&) = nullptr;
    int (Cam::*setIndex)(uint32_t) = nullptr;
    int (Cam::*getDouble)(double&, int&) = nullptr;
    int (Cam::*setDouble)(double) = nullptr;
};

PropertyAccess AccessOf(int id) {
    PropertyAccess a;
#define SV_INT(Id, Name) case Id: a.getInt = &Cam::Get##Name; a.setInt = &Cam::Set##Name; break;
#define SV_INDEX(Id, Name) case Id: a.getIndex = &Cam::Get##Name; a.setIndex = &Cam::Set##Name; break;
#define SV_DOUBLE(Id, Name) case Id: a.getDouble = &Cam::Get##Name; a.setDouble = &Cam::Set##Name; break;
    switch (id) {
        SV_DOUBLE(SV_ISP_BRIGHTNESS, Brightness)
        SV_DOUBLE(SV_ISP_CONTRAST, Contrast)
        SV_DOUBLE(SV_ISP_SATURATION, Saturation)
        SV_INDEX(SV_ISP_WHITE_BALANCE_MODE, WhiteBalanceMode)
        SV_INT(SV_ISP_WHITE_BALANCE_TEMPERATURE, WhiteBalanceTemperature)
        SV_INDEX(SV_ISP_EXPOSURE_MODE, ExposureMode)
        SV_INT(SV_ISP_EXPOSURE_TIME, Exposure)
        SV_INT(SV_ISP_EXPOSURE_MIN_TIME, ExposureMinimum)
        SV_INT(SV_ISP_EXPOSURE_MAX_TIME, ExposureMaximum)
        SV_INT(SV_ISP_EXPOSURE_GAIN, Gain)
        SV_DOUBLE(SV_ISP_GAMMA, Gamma)
        SV_DOUBLE(SV_ISP_SHARPNESS, Sharpness)
        SV_DOUBLE(SV_ISP_BACKLIGHT_COMPENSATION, BacklightCompensation)
        SV_INDEX(SV_ISP_SPECIAL_EFFECT, SpecialEffects)
        SV_DOUBLE(SV_ISP_DENOISE, Denoise)
        SV_INT(SV_ISP_FLIP_MODE, Flip)
        SV_DOUBLE(SV_ISP_PAN, Pan)
        SV_DOUBLE(SV_ISP_TILT, Tilt)
        SV_DOUBLE(SV_ISP_ZOOM, DigitalZoom)
        SV_INDEX(SV_ISP_FLICK_MODE, FlickMode)
        SV_INT(SV_ISP_JPEG_QUALITY, JPEGQuality)
        SV_INT(SV_ISP_RESERVED_21, ReservedControl)
        SV_INDEX(SV_ISP_EHDR_MODE, eHDRMode)
        SV_INT(SV_ISP_EHDR_EXPOSURE_MIN_NUMBER, eHDRMinimum)
        SV_INT(SV_ISP_EHDR_EXPOSURE_MAX_NUMBER, eHDRMaximum)
        SV_INT(SV_ISP_EHDR_RATIO_MIN, eHDRRatioMin)
        SV_INT(SV_ISP_EHDR_RATIO_MAX, eHDRRatioMax)
        SV_DOUBLE(SV_ISP_EHDR_ATM_WEIGHT, eHDRAtmWeight)
        SV_DOUBLE(SV_ISP_EHDR_ATM_MAX, eHDRAtmMax)
        default:
            break;
    }
#undef SV_INT
#undef SV_INDEX
#undef SV_DOUBLE
    return a;
}

bool IsEHDRProperty(int id) { return id >= SV_ISP_EHDR_MODE && id <= SV_ISP_EHDR_ATM_MAX; }

}  // namespace

int SvSorvanCamera::GetISPImageProcessing(SV_ISP_IMAGE_PROPERTIES id, int& value, int& flag) {
    const sv::IspPropertyInfo* info = sv::FindIspProperty(id);
    if (info == nullptr) {
        SV_LOGE("SvSorvanCamera::GetISPImageProcessing", "GetISPImageProcessing failed: PropID: {}", static_cast<int>(id));
        return -1;
    }
    const PropertyAccess access = AccessOf(id);
    flag = 0;
    int result = -1;
    if (info->isDouble) {
        double cameraValue = 0.0;
        result = (this->*access.getDouble)(cameraValue, flag);
        value = sv::IspInterfaceValue(cameraValue, info->scale);
    } else if (access.getIndex != nullptr) {
        // The same object seen unsigned: a getter that meets an unknown code
        // leaves the caller's value as it was.
        result = (this->*access.getIndex)(reinterpret_cast<uint32_t&>(value), flag);
    } else {
        result = (this->*access.getInt)(value, flag);
    }
    SV_LOGT("SvSorvanCamera::GetISPImageProcessing", "GetISPImageProcessing: ret: {}, PropID: {}, Value: {}", result,
            static_cast<int>(id), value);
    return result;
}

int SvSorvanCamera::SetISPImageProcessing(SV_ISP_IMAGE_PROPERTIES id, int value) {
    const sv::IspPropertyInfo* info = sv::FindIspProperty(id);
    if (info == nullptr) {
        SV_LOGE("SvSorvanCamera::SetISPImageProcessing", "SetISPImageProcessing failed: PropID: {}", static_cast<int>(id));
        return -1;
    }
    // The table's limits are not applied here: each camera operation tests its own.
    const PropertyAccess access = AccessOf(id);
    if (info->isDouble) return (this->*access.setDouble)(static_cast<double>(value) / info->scale);
    if (access.setIndex != nullptr) return (this->*access.setIndex)(static_cast<uint32_t>(value));
    return (this->*access.setInt)(value);
}

int SvSorvanCamera::GetISPImageProcessingRange(SV_ISP_IMAGE_PROPERTIES id, int& min, int& max, int& step, int& def) {
    const sv::IspPropertyInfo* info = sv::FindIspProperty(id);
    if (info == nullptr) {
        SV_LOGE("SvSorvanCamera::GetISPImageProcessingRange", "GetISPImageProcessingRange failed: PropID: {}",
                static_cast<int>(id));
        return -1;
    }
    min = static_cast<int>(info->minimum * info->scale);
    max = static_cast<int>(info->maximum * info->scale);
    step = static_cast<int>(info->step * info->scale);
    def = static_cast<int>(info->def * info->scale);
    if (id == SV_ISP_FLIP_MODE) {
        def = cachedFlip_;
    } else if (id == SV_ISP_EXPOSURE_MIN_TIME || id == SV_ISP_EXPOSURE_MAX_TIME) {
        int tableMax = 0;
        int tableMin = 0;
        if (GetISPExposureRange(DeviceName(), tableMax, tableMin) == 0) {
            def = id == SV_ISP_EXPOSURE_MIN_TIME ? tableMin : tableMax;
        }
    }
    return 0;
}

int SvSorvanCamera::SetISPImageProcessingDefault() {
    SV_LOGT("SvSorvanCamera::SetISPImageProcessingDefault", "SetISPImageProcessingDefault");
    const bool usb = info_.interfaceType == SV_CAMERA_INTERFACE_USB;
    const bool eHDR = IsEHDRSupported();
    // Every default, the flip's included (the range gives the cached flip).
    auto resetOne = [this](SV_ISP_IMAGE_PROPERTIES id) {
        int min = 0, max = 0, step = 0, def = 0;
        GetISPImageProcessingRange(id, min, max, step, def);
        return SetISPImageProcessing(id, def);
    };
    std::vector<SV_ISP_IMAGE_PROPERTIES> failed;
    for (const auto& entry : sv::IspPropertyTable()) {
        const auto id = static_cast<SV_ISP_IMAGE_PROPERTIES>(entry.first);
        if (id == SV_ISP_JPEG_QUALITY && !usb) continue;
        if (id == SV_ISP_RESERVED_21 && usb) continue;
        if (IsEHDRProperty(id) && !eHDR) continue;
        if (resetOne(id) != 0) failed.push_back(id);
    }
    // Paired limits (eHDR exposure numbers and ratios) refuse to cross each
    // other, so one of a pair can fail only because its partner had not moved
    // yet; a second attempt after the first pass settles them.
    for (const auto id : failed) {
        if (resetOne(id) != 0) {
            sv::log::Write(spdlog::level::err, "SetISPImageProcessingDefault failed: PropID: {}", static_cast<int>(id));
        }
    }
    return 0;
}

int SvSorvanCamera::GetISPExposureRange(const std::string& deviceName, int& max, int& min) {
    const std::string path = sv::FindFirstExistingPath(sv::GetConfigCandidatePaths("SvExposure"));
    if (path.empty()) return -1;
    return sv::LookupExposureRange(path, deviceName,
                                   [this](int& width, int& height, std::string& format) {
                                       if (GetSensorFormat(width, height, format) == 0) return 0;
                                       SV_LOGE("SvSorvanCamera::GetISPExposureRange", "GetCurrentSensorFormat failed");
                                       return -1;
                                   },
                                   max, min);
}

int SvSorvanCamera::GetSensorFormat(int& width, int& height, std::string& format) {
    uint16_t w = 0;
    uint16_t h = 0;
    uint16_t code = 0;
    if (ReadIspRegister16(GetFormatWidthRegister(), w) != 0) return -1;
    if (ReadIspRegister16(GetFormatHeightRegister(), h) != 0) return -1;
    if (ReadIspRegister16(GetFormatCodeRegister(), code) != 0) return -1;
    width = w;
    height = h;
    const uint8_t kind = static_cast<uint8_t>(code & 0xFF);  // the code's second byte
    format = kind == 0x50 ? "UYVY" : kind == 0x01 ? "MJPG" : "Unknown";
    return 0;
}

bool SvSorvanCamera::IsEHDRSupported() const {
    if (info_.interfaceType == SV_CAMERA_INTERFACE_USB) {
        static constexpr uint16_t kEHDRProducts[] = {0x576E, 0x3B55, 0x553B, 0xD36E, 0x3BD1, 0xD13B,
                                                     0x0F6E, 0x3B0D, 0x0D3B, 0x0821, 0x0822};
        return std::find(std::begin(kEHDRProducts), std::end(kEHDRProducts), info_.productId) != std::end(kEHDRProducts);
    }
    return info_.deviceName.find("0821") != std::string::npos || info_.deviceName.find("0822") != std::string::npos;
}
