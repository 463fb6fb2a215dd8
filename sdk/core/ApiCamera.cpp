// Exported functions: camera life cycle, formats, frames, UVC controls.

#include <sorvansdk/SorvanSDK.h>

#include "core/ApiGuards.h"

using sv::api::CheckCamera;
using sv::api::RequireUVC;

namespace {

// Open, close, format list and selection, start and stop run one at a time
// on a camera; frames and controls go on beside them.
template <typename Operation>
int Serialised(const std::shared_ptr<SvCamera>& camera, const char* function, Operation operation) {
    if (!CheckCamera(camera, function)) return -1;
    auto lock = camera->LockLifecycle();
    return operation(*camera);
}

}  // namespace

int SvOpen(std::shared_ptr<SvCamera> camera) {
    return Serialised(camera, "SvOpen", [](SvCamera& c) { return c.Open(); });
}

int SvClose(std::shared_ptr<SvCamera> camera) {
    return Serialised(camera, "SvClose", [](SvCamera& c) { return c.Close(); });
}

int SvGetFormatList(std::shared_ptr<SvCamera> camera, std::vector<SvFormat>& formats) {
    return Serialised(camera, "SvGetFormatList", [&](SvCamera& c) { return c.GetFormatList(formats); });
}

int SvSetFormat(std::shared_ptr<SvCamera> camera, SvFormat format) {
    return Serialised(camera, "SvSetFormat", [&](SvCamera& c) { return c.SetFormat(format); });
}

int SvStartStreaming(std::shared_ptr<SvCamera> camera) {
    return Serialised(camera, "SvStartStreaming", [](SvCamera& c) { return c.StartStreaming(); });
}

int SvStopStreaming(std::shared_ptr<SvCamera> camera) {
    return Serialised(camera, "SvStopStreaming", [](SvCamera& c) { return c.StopStreaming(); });
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
