#include "camera/SvGenericCamera.h"

#include "core/Logger.h"

SvGenericCamera::SvGenericCamera(const CameraDeviceInfo& info) : SvCamera(info) {
    // The USB topology walk that finds the connection speed is not part of
    // this build yet: the speed stays unknown.
}

SvGenericCamera::~SvGenericCamera() = default;

// Without a platform streamer (never opened, or not available in this build)
// none of these reach a device.
int SvGenericCamera::GetFormatList(std::vector<SvFormat>&) { return -1; }
SV_CAPTURE_RESULT SvGenericCamera::GetImage(uint8_t*, int*, uint16_t) { return SV_CAPTURE_FAILED; }
SV_CAPTURE_RESULT SvGenericCamera::GetImageFd(int*, uint16_t) { return SV_CAPTURE_FAILED; }
int SvGenericCamera::ReleaseImageFd(int) { return -1; }
int SvGenericCamera::SetFormat(SvFormat) { return -1; }
int SvGenericCamera::StartStreaming() { return -1; }
int SvGenericCamera::StopStreaming() { return -1; }

int SvGenericCamera::GetUVCImageProcessing(SV_UVC_IMAGE_PROPERTIES property, long& value, int& flag) {
    value = 0;
    flag = -1;
    SV_LOGD("SvGenericCamera::GetUVCImageProcessing",
            "GetUVCImageProcessing failed: PropID: {}, Value: {}, Flag: {}",
            static_cast<int>(property), value, flag);
    return -1;
}

int SvGenericCamera::GetUVCImageProcessingRange(SV_UVC_IMAGE_PROPERTIES property, long& minimum,
                                                long& maximum, long& step, long& defaultValue) {
    SV_LOGD("SvGenericCamera::GetUVCImageProcessingRange",
            "GetUVCImageProcessingRange failed: PropID: {}, Min: {}, Max: {}, Step: {}, Def: {}",
            static_cast<int>(property), minimum, maximum, step, defaultValue);
    return -1;
}

int SvGenericCamera::SetUVCImageProcessing(SV_UVC_IMAGE_PROPERTIES property, long value, int flag) {
    SV_LOGD("SvGenericCamera::SetUVCImageProcessing",
            "SetUVCImageProcessing failed: PropID: {}, Value: {}, Flag: {}",
            static_cast<int>(property), value, flag);
    return -1;
}

int SvGenericCamera::GetUSBDeviceSpeed(SV_USB_DEVICE_SPEED& speed) const {
    if (info_.interfaceType != SV_CAMERA_INTERFACE_USB || usbSpeed_ == kSpeedUnknown) return -1;
    speed = static_cast<SV_USB_DEVICE_SPEED>(usbSpeed_);
    return 0;
}
