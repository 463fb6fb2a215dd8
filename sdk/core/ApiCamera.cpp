// Exported functions: camera life cycle, formats, frames, UVC controls.

#include <sorvansdk/SorvanSDK.h>

#include "core/ApiGuards.h"

using sv::api::CheckCamera;
using sv::api::RequireUVC;

int SvOpen(std::shared_ptr<SvCamera> camera) {
    return CheckCamera(camera, "SvOpen") ? camera->Open() : -1;
}

int SvClose(std::shared_ptr<SvCamera> camera) {
    return CheckCamera(camera, "SvClose") ? camera->Close() : -1;
}

int SvGetFormatList(std::shared_ptr<SvCamera> camera, std::vector<SvFormat>& formats) {
    return CheckCamera(camera, "SvGetFormatList") ? camera->GetFormatList(formats) : -1;
}

int SvSetFormat(std::shared_ptr<SvCamera> camera, SvFormat format) {
    return CheckCamera(camera, "SvSetFormat") ? camera->SetFormat(format) : -1;
}

int SvStartStreaming(std::shared_ptr<SvCamera> camera) {
    return CheckCamera(camera, "SvStartStreaming") ? camera->StartStreaming() : -1;
}

int SvStopStreaming(std::shared_ptr<SvCamera> camera) {
    return CheckCamera(camera, "SvStopStreaming") ? camera->StopStreaming() : -1;
}

SV_CAPTURE_RESULT SvGetImage(std::shared_ptr<SvCamera> camera, uint8_t* buffer, int* size,
                             uint16_t timeoutMs) {
    if (!CheckCamera(camera, "SvGetImage")) return SV_CAPTURE_FAILED;
    return camera->GetImage(buffer, size, timeoutMs);
}

SV_CAPTURE_RESULT SvGetImageFd(std::shared_ptr<SvCamera> camera, int* fd, uint16_t timeoutMs) {
    if (!CheckCamera(camera, "SvGetImageFd")) return SV_CAPTURE_FAILED;
    return camera->GetImageFd(fd, timeoutMs);
}

int SvReleaseImageFd(std::shared_ptr<SvCamera> camera, int fd) {
    return CheckCamera(camera, "SvReleaseImageFd") ? camera->ReleaseImageFd(fd) : -1;
}

int SvGetUVCImageProcessing(std::shared_ptr<SvCamera> camera, SV_UVC_IMAGE_PROPERTIES property,
                            long& value, int& flag) {
    auto uvc = RequireUVC(camera, "SvGetUVCImageProcessing");
    return uvc ? uvc->GetUVCImageProcessing(property, value, flag) : -1;
}

int SvGetUVCImageProcessingRange(std::shared_ptr<SvCamera> camera, SV_UVC_IMAGE_PROPERTIES property,
                                 long& minimum, long& maximum, long& step, long& defaultValue) {
    auto uvc = RequireUVC(camera, "SvGetUVCImageProcessingRange");
    return uvc ? uvc->GetUVCImageProcessingRange(property, minimum, maximum, step, defaultValue) : -1;
}

int SvSetUVCImageProcessing(std::shared_ptr<SvCamera> camera, SV_UVC_IMAGE_PROPERTIES property,
                            long value, int flag) {
    auto uvc = RequireUVC(camera, "SvSetUVCImageProcessing");
    return uvc ? uvc->SetUVCImageProcessing(property, value, flag) : -1;
}

int SvGetUSBDeviceSpeed(std::shared_ptr<SvCamera> camera, SV_USB_DEVICE_SPEED& speed) {
    auto uvc = RequireUVC(camera, "SvGetUSBDeviceSpeed");
    return uvc ? uvc->GetUSBDeviceSpeed(speed) : -1;
}
