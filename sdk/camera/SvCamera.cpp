#include "camera/SvCamera.h"

#include "base/Logger.h"
#include "platform/CameraStreamer.h"

SvCamera::SvCamera(const CameraDeviceInfo& info) : info_(info) {}

SvCamera::~SvCamera() = default;

void SvCamera::SetActivation(std::shared_ptr<sv::platform::DeviceActivation> activation) {
    activation_ = std::move(activation);
}

int SvCamera::Open() {
    auto streamer = std::make_unique<UVCCameraStreamerWin>(info_, activation_);
    if (!streamer->Initialised()) streamer.reset();

    // The new streamer (or none) replaces the old one, and the control always
    // belongs to the streamer the camera holds: a failed reopen leaves the
    // camera closed, never with a control whose streamer is gone.
    streamer_ = std::move(streamer);
    control_ = streamer_ ? streamer_->GetCameraControl() : nullptr;

    if (!streamer_) {
        SV_LOGE("SvCamera::Open", "Failed to create streamer");
        return -1;
    }
    if (!control_) {
        SV_LOGE("SvCamera::Open", "Failed to create control");
        streamer_.reset();
        return -1;
    }
    return 0;
}

int SvCamera::GetFormatList(std::vector<SvFormat>&) { return -1; }
SV_CAPTURE_RESULT SvCamera::GetImage(uint8_t*, int*, uint16_t) { return SV_CAPTURE_FAILED; }
SV_CAPTURE_RESULT SvCamera::GetImageFd(int*, uint16_t) { return SV_CAPTURE_FAILED; }
int SvCamera::ReleaseImageFd(int) { return -1; }
int SvCamera::SetFormat(SvFormat) { return -1; }
int SvCamera::StartStreaming() { return -1; }
int SvCamera::StopStreaming() { return -1; }

int SvCamera::Close() {
    streamer_.reset();
    control_.reset();
    return 0;
}
