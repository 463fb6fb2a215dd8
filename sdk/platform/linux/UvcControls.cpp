#include "platform/linux/UvcControls.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/Logger.h"
#include "platform/backend/MfIds.h"
#include "platform/linux/VideoNodes.h"

namespace sv::platform::v4l2 {

ControlMapping MapControl(bool cameraTerminal, int32_t property) {
    if (cameraTerminal) {
        switch (property) {
        case uvc::CameraControl_Pan: return {V4L2_CID_PAN_ABSOLUTE, 0, ControlScale::DegreesArcSecond};
        case uvc::CameraControl_Tilt: return {V4L2_CID_TILT_ABSOLUTE, 0, ControlScale::DegreesArcSecond};
        case uvc::CameraControl_Zoom: return {V4L2_CID_ZOOM_ABSOLUTE, 0, ControlScale::Same};
        case uvc::CameraControl_Exposure:
            return {V4L2_CID_EXPOSURE_ABSOLUTE, V4L2_CID_EXPOSURE_AUTO, ControlScale::Log2Seconds};
        case uvc::CameraControl_Iris: return {V4L2_CID_IRIS_ABSOLUTE, 0, ControlScale::Same};
        case uvc::CameraControl_Focus: return {V4L2_CID_FOCUS_ABSOLUTE, V4L2_CID_FOCUS_AUTO, ControlScale::Same};
        default: return {};  // roll has no V4L2 control
        }
    }
    switch (property) {
    case uvc::ProcAmp_Brightness: return {V4L2_CID_BRIGHTNESS, 0, ControlScale::Same};
    case uvc::ProcAmp_Contrast: return {V4L2_CID_CONTRAST, 0, ControlScale::Same};
    case uvc::ProcAmp_Hue: return {V4L2_CID_HUE, V4L2_CID_HUE_AUTO, ControlScale::Same};
    case uvc::ProcAmp_Saturation: return {V4L2_CID_SATURATION, 0, ControlScale::Same};
    case uvc::ProcAmp_Sharpness: return {V4L2_CID_SHARPNESS, 0, ControlScale::Same};
    case uvc::ProcAmp_Gamma: return {V4L2_CID_GAMMA, 0, ControlScale::Same};
    case uvc::ProcAmp_WhiteBalance:
        return {V4L2_CID_WHITE_BALANCE_TEMPERATURE, V4L2_CID_AUTO_WHITE_BALANCE, ControlScale::Same};
    case uvc::ProcAmp_BacklightCompensation: return {V4L2_CID_BACKLIGHT_COMPENSATION, 0, ControlScale::Same};
    case uvc::ProcAmp_Gain: return {V4L2_CID_GAIN, 0, ControlScale::Same};
    default: return {};  // colour enable has no V4L2 control
    }
}

namespace {

int32_t Clamp32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

constexpr double kUnitsPerSecond = 10000.0;  // 100 us units
constexpr double kArcSecondsPerDegree = 3600.0;

// The platform value of a range end: what a Get at that end reads, stepped
// inwards when it converts back past the end. A range is then what the
// values of the driver's range read as (2^-11 s sits inside a driver's
// minimum of 5 units, as 5 units reads as 2^-11 s), and each of its values
// converts to a driver value inside the driver's range.
int32_t ToPlatformBound(ControlScale scale, int64_t driverValue, bool up) {
    if (scale == ControlScale::Same) return Clamp32(driverValue);
    int32_t value = ToPlatformValue(scale, driverValue);
    const int64_t back = ToDriverValue(scale, value);
    if (up && back < driverValue && value < std::numeric_limits<int32_t>::max()) ++value;
    if (!up && back > driverValue && value > std::numeric_limits<int32_t>::min()) --value;
    return value;
}

}  // namespace

int32_t ToPlatformValue(ControlScale scale, int64_t driverValue) {
    switch (scale) {
    case ControlScale::Same: return Clamp32(driverValue);
    case ControlScale::Log2Seconds:
        return Clamp32(std::llround(
            std::log2(static_cast<double>(std::max<int64_t>(driverValue, 1)) / kUnitsPerSecond)));
    case ControlScale::DegreesArcSecond:
        return Clamp32(std::llround(static_cast<double>(driverValue) / kArcSecondsPerDegree));
    }
    return Clamp32(driverValue);
}

int64_t ToDriverValue(ControlScale scale, int32_t platformValue) {
    switch (scale) {
    case ControlScale::Same: return platformValue;
    case ControlScale::Log2Seconds: {
        const double units = std::ldexp(kUnitsPerSecond, std::clamp(platformValue, -64, 64));
        return std::max<int64_t>(1, std::llround(std::min(units, 1e15)));
    }
    case ControlScale::DegreesArcSecond: return static_cast<int64_t>(platformValue) * 3600;
    }
    return platformValue;
}

namespace {

// A control's driver failure as the seam reports it on the control path.
HResult ControlResult(int negativeErrno) {
    if (negativeErrno == -ERANGE) return HR_E_INVALIDARG;
    return HResultFromErrno(negativeErrno);
}

class LinuxUvcControls final : public UvcControlInterface {
public:
    LinuxUvcControls(std::shared_ptr<NodeFile> file, bool cameraTerminal)
        : file_(std::move(file)), cameraTerminal_(cameraTerminal) {}

    HResult Get(int32_t property, int32_t& value, int32_t& flags) override {
        v4l2_queryctrl query{};
        HResult hr = Query(property, query);
        if (Failed(hr)) return hr;
        const ControlMapping map = MapControl(cameraTerminal_, property);
        v4l2_control control{};
        control.id = map.id;
        const int rc = file_->Ioctl(VIDIOC_G_CTRL, &control);
        if (rc < 0) return Refused("G_CTRL", property, rc);
        bool automatic = false;
        hr = AutoState(map, automatic);
        if (Failed(hr)) return hr;
        value = ToPlatformValue(map.scale, control.value);
        flags = automatic ? uvc::kFlagsAuto : uvc::kFlagsManual;
        return HR_S_OK;
    }

    HResult Set(int32_t property, int32_t value, int32_t flags) override {
        int32_t minimum = 0, maximum = 0, step = 0, defaultValue = 0, caps = 0;
        HResult hr = GetRange(property, minimum, maximum, step, defaultValue, caps);
        if (Failed(hr)) return hr;
        if ((flags != uvc::kFlagsAuto && flags != uvc::kFlagsManual) || (flags & caps) == 0) return HR_E_INVALIDARG;
        const ControlMapping map = MapControl(cameraTerminal_, property);
        if (flags == uvc::kFlagsAuto) {
            // In automatic mode the device keeps its own value.
            return SetControl(property, map.autoId, AutoOnValue(map.autoId));
        }
        if (value < minimum || value > maximum || (static_cast<int64_t>(value) - minimum) % step != 0) {
            return HR_E_INVALIDARG;
        }
        // Only a control with an automatic mode has its switch turned off; a
        // driver answers an automatic control the device lacks with EINVAL.
        if (map.autoId != 0 && HasControl(map.autoId)) {
            hr = SetControl(property, map.autoId, map.autoId == V4L2_CID_EXPOSURE_AUTO ? V4L2_EXPOSURE_MANUAL : 0);
            if (Failed(hr)) return hr;
        }
        const int64_t driverValue = ToDriverValue(map.scale, value);
        if (driverValue < std::numeric_limits<int32_t>::min() || driverValue > std::numeric_limits<int32_t>::max()) {
            return HR_E_INVALIDARG;
        }
        return SetControl(property, map.id, static_cast<int32_t>(driverValue));
    }

    HResult GetRange(int32_t property, int32_t& minimum, int32_t& maximum, int32_t& step, int32_t& defaultValue,
                     int32_t& capsFlags) override {
        v4l2_queryctrl query{};
        const HResult hr = Query(property, query);
        if (Failed(hr)) return hr;
        const ControlMapping map = MapControl(cameraTerminal_, property);
        const int32_t lo = ToPlatformBound(map.scale, query.minimum, true);
        const int32_t hi = ToPlatformBound(map.scale, query.maximum, false);
        if (lo > hi) return HR_E_PROP_ID_UNSUPPORTED;  // no whole platform value inside the driver's range
        minimum = lo;
        maximum = hi;
        step = map.scale == ControlScale::Same ? std::max(1, query.step)
                                               : std::max<int32_t>(1, ToPlatformValue(map.scale, query.step));
        if (map.scale == ControlScale::Log2Seconds) step = 1;
        defaultValue = std::clamp(ToPlatformValue(map.scale, query.default_value), lo, hi);
        capsFlags = uvc::kFlagsManual | (HasControl(map.autoId) ? uvc::kFlagsAuto : 0);
        return HR_S_OK;
    }

private:
    // The V4L2 control behind `property`, or E_PROP_ID_UNSUPPORTED.
    HResult Query(int32_t property, v4l2_queryctrl& query) {
        const ControlMapping map = MapControl(cameraTerminal_, property);
        if (map.id == 0) return HR_E_PROP_ID_UNSUPPORTED;
        query = {};
        query.id = map.id;
        const int rc = file_->Ioctl(VIDIOC_QUERYCTRL, &query);
        if (rc == -EINVAL) return HR_E_PROP_ID_UNSUPPORTED;
        if (rc < 0) return ControlResult(rc);
        if ((query.flags & V4L2_CTRL_FLAG_DISABLED) != 0) return HR_E_PROP_ID_UNSUPPORTED;
        return HR_S_OK;
    }

    bool HasControl(uint32_t id) {
        if (id == 0) return false;
        v4l2_queryctrl query{};
        query.id = id;
        return file_->Ioctl(VIDIOC_QUERYCTRL, &query) >= 0 && (query.flags & V4L2_CTRL_FLAG_DISABLED) == 0;
    }

    HResult AutoState(const ControlMapping& map, bool& automatic) {
        automatic = false;
        if (!HasControl(map.autoId)) return HR_S_OK;
        v4l2_control control{};
        control.id = map.autoId;
        const int rc = file_->Ioctl(VIDIOC_G_CTRL, &control);
        if (rc < 0) return ControlResult(rc);
        automatic = map.autoId == V4L2_CID_EXPOSURE_AUTO ? control.value != V4L2_EXPOSURE_MANUAL : control.value != 0;
        return HR_S_OK;
    }

    // The value that turns the automatic mode on: for exposure the aperture
    // priority mode UVC cameras offer, or full automatic when that is missing.
    int32_t AutoOnValue(uint32_t autoId) {
        if (autoId != V4L2_CID_EXPOSURE_AUTO) return 1;
        v4l2_querymenu item{};
        item.id = autoId;
        item.index = V4L2_EXPOSURE_APERTURE_PRIORITY;
        return file_->Ioctl(VIDIOC_QUERYMENU, &item) >= 0 ? V4L2_EXPOSURE_APERTURE_PRIORITY : V4L2_EXPOSURE_AUTO;
    }

    HResult SetControl(int32_t property, uint32_t id, int32_t value) {
        v4l2_control control{};
        control.id = id;
        control.value = value;
        const int rc = file_->Ioctl(VIDIOC_S_CTRL, &control);
        return rc < 0 ? Refused("S_CTRL", property, rc) : HR_S_OK;
    }

    HResult Refused(const char* what, int32_t property, int rc) {
        const char* name = cameraTerminal_ ? uvc::CameraControlName(property) : uvc::ProcAmpName(property);
        SV_LOGD("LinuxUvcControls", "VIDIOC_{} of {} refused ({})", what, name != nullptr ? name : "?",
                std::strerror(-rc));
        return ControlResult(rc);
    }

    std::shared_ptr<NodeFile> file_;
    const bool cameraTerminal_;
};

}  // namespace

HResult CreateUvcControls(std::shared_ptr<NodeFile> file, bool cameraTerminal,
                          std::shared_ptr<UvcControlInterface>& controls) {
    controls.reset();
    const int32_t count = cameraTerminal ? uvc::kCameraControlPropertyCount : uvc::kProcAmpPropertyCount;
    bool any = false;
    for (int32_t p = 0; p < count && !any; ++p) {
        const ControlMapping map = MapControl(cameraTerminal, p);
        if (map.id == 0) continue;
        v4l2_queryctrl query{};
        query.id = map.id;
        const int rc = file->Ioctl(VIDIOC_QUERYCTRL, &query);
        if (rc == -ENODEV || rc == -ENXIO) return HR_ERROR_DEVICE_NOT_CONNECTED;
        any = rc >= 0 && (query.flags & V4L2_CTRL_FLAG_DISABLED) == 0;
    }
    if (!any) return HR_E_NOINTERFACE;
    controls = std::make_shared<LinuxUvcControls>(std::move(file), cameraTerminal);
    return HR_S_OK;
}

}  // namespace sv::platform::v4l2
