#include "camera/SvGenericCamera.h"

#include "base/Logger.h"
#include "platform/CameraStreamer.h"
#include "platform/USBView.h"

namespace {

constexpr int kLastProcAmp = 9;
constexpr int kLastCameraTerminal = 16;
constexpr long kFlagsAuto = 1;
constexpr long kFlagsManual = 2;

// Ids 0-16 map onto the two UVC units; anything else is refused with a log line.
bool InTable(SV_UVC_IMAGE_PROPERTIES property, const char* where) {
    if (property >= 0 && property <= kLastCameraTerminal) return true;
    SV_LOGE(where, "Unknown UVC property id: {}", static_cast<int>(property));
    return false;
}

}  // namespace

SvGenericCamera::SvGenericCamera(const CameraDeviceInfo& info) : SvCamera(info) {
    if (info_.interfaceType != SV_CAMERA_INTERFACE_USB || info_.vendorId == 0 || info_.productId == 0) return;
    sv::platform::UsbPortInfo port;
    port.vendorId = info_.vendorId;
    port.productId = info_.productId;
    sv::platform::USBView(sv::platform::GetBackend()).EnumerateHostControllers(port);
    if (!port.speedName.empty() && port.speed <= SV_USB_SUPER_SPEED) usbSpeed_ = port.speed;
}

SvGenericCamera::~SvGenericCamera() = default;

// Without a streamer (never opened, a failed open, or closed) nothing reaches a device.
int SvGenericCamera::GetFormatList(std::vector<SvFormat>& formats) {
    auto streamer = Streamer();
    if (!streamer) return -1;
    try {
        streamer->GetFormatList(formats);
        return 0;
    } catch (const std::exception& e) {
        SV_LOGE("SvGenericCamera::GetFormatList", "Native format list could not be read: {}", e.what());
        return -1;
    }
}

SV_CAPTURE_RESULT SvGenericCamera::GetImage(uint8_t* buffer, int* size, uint16_t timeoutMs) {
    // Our own reference: a Close on another thread cannot free it under us.
    auto streamer = Streamer();
    return streamer ? streamer->GetImage(buffer, size, timeoutMs) : SV_CAPTURE_FAILED;
}

SV_CAPTURE_RESULT SvGenericCamera::GetImageFd(int*, uint16_t) { return SV_CAPTURE_FAILED; }
int SvGenericCamera::ReleaseImageFd(int) { return -1; }

int SvGenericCamera::SetFormat(SvFormat format) {
    auto streamer = Streamer();
    return streamer ? streamer->SetFormat(format) : -1;
}

int SvGenericCamera::StartStreaming() {
    auto streamer = Streamer();
    return streamer ? streamer->StartStreaming() : -1;
}

int SvGenericCamera::StopStreaming() {
    auto streamer = Streamer();
    return streamer ? streamer->StopStreaming() : -1;
}

int SvGenericCamera::GetUVCImageProcessing(SV_UVC_IMAGE_PROPERTIES property, long& value, int& flag) {
    constexpr const char* kWhere = "SvGenericCamera::GetUVCImageProcessing";
    value = 0;
    flag = -1;
    if (!InTable(property, kWhere)) return -1;
    long v = 0;
    long flags = 0;
    long hr = -1;
    if (auto control = Control()) {
        hr = property <= kLastProcAmp ? control->GetProcAmpProperty(property, v, flags)
                                      : control->GetCameraControlProperty(property - 10, v, flags);
    }
    if (hr < 0) {
        SV_LOGD(kWhere, "GetUVCImageProcessing failed: PropID: {}, Value: {}, Flag: {}",
                static_cast<int>(property), value, flag);
        return -1;
    }
    value = v;
    flag = static_cast<int>(flags & 1);
    return 0;
}

int SvGenericCamera::GetUVCImageProcessingRange(SV_UVC_IMAGE_PROPERTIES property, long& minimum,
                                                long& maximum, long& step, long& defaultValue) {
    constexpr const char* kWhere = "SvGenericCamera::GetUVCImageProcessingRange";
    if (!InTable(property, kWhere)) return -1;
    long caps = 0;
    long hr = -1;
    if (auto control = Control()) {
        hr = property <= kLastProcAmp
                 ? control->GetProcAmpRange(property, minimum, maximum, step, defaultValue, caps)
                 : control->GetCameraControlRange(property - 10, minimum, maximum, step, defaultValue, caps);
    }
    if (hr < 0) {
        SV_LOGD(kWhere, "GetUVCImageProcessingRange failed: PropID: {}, Min: {}, Max: {}, Step: {}, Def: {}",
                static_cast<int>(property), minimum, maximum, step, defaultValue);
        return -1;
    }
    return 0;
}

int SvGenericCamera::SetUVCImageProcessing(SV_UVC_IMAGE_PROPERTIES property, long value, int flag) {
    constexpr const char* kWhere = "SvGenericCamera::SetUVCImageProcessing";
    if (!InTable(property, kWhere)) return -1;
    const long flags = flag != 0 ? kFlagsAuto : kFlagsManual;
    long hr = -1;
    if (auto control = Control()) {
        hr = property <= kLastProcAmp ? control->SetProcAmpProperty(property, value, flags)
                                      : control->SetCameraControlProperty(property - 10, value, flags);
    }
    if (hr < 0) {
        SV_LOGD(kWhere, "SetUVCImageProcessing failed: PropID: {}, Value: {}, Flag: {}",
                static_cast<int>(property), value, flag);
        return -1;
    }
    return 0;
}

int SvGenericCamera::GetUSBDeviceSpeed(SV_USB_DEVICE_SPEED& speed) const {
    if (info_.interfaceType != SV_CAMERA_INTERFACE_USB || usbSpeed_ == kSpeedUnknown) return -1;
    speed = static_cast<SV_USB_DEVICE_SPEED>(usbSpeed_);
    return 0;
}
