#include "camera/SvCamera.h"

#include "base/Logger.h"
#include "platform/CameraStreamer.h"

SvCamera::SvCamera(const CameraDeviceInfo& info) : info_(info) {}

SvCamera::~SvCamera() = default;

void SvCamera::SetActivation(std::shared_ptr<sv::platform::DeviceActivation> activation) {
    activation_ = std::move(activation);
}

std::shared_ptr<UVCCameraControlWin> SvCamera::Control() const {
    std::lock_guard<std::mutex> lock(handlesMutex_);
    return control_;
}

std::shared_ptr<UVCCameraStreamerWin> SvCamera::Streamer() const {
    std::lock_guard<std::mutex> lock(handlesMutex_);
    return streamer_;
}

int SvCamera::Open() {
    // The old streamer goes first: a device may serve one reader at a time.
    (void)Close();

    auto streamer = std::make_shared<UVCCameraStreamerWin>(info_, activation_);
    if (!streamer->Initialised()) {
        SV_LOGE("SvCamera::Open", "Failed to create streamer");
        return -1;
    }
    auto control = streamer->GetCameraControl();
    if (!control) {
        SV_LOGE("SvCamera::Open", "Failed to create control");
        return -1;
    }
    // The control always belongs to the streamer the camera holds: a failed
    // reopen leaves the camera closed, never with a control whose streamer is gone.
    std::lock_guard<std::mutex> lock(handlesMutex_);
    streamer_ = std::move(streamer);
    control_ = std::move(control);
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
    std::shared_ptr<UVCCameraStreamerWin> streamer;
    {
        std::lock_guard<std::mutex> lock(handlesMutex_);
        streamer = std::move(streamer_);
        control_.reset();
    }
    // Wakes a frame request waiting on another thread; the streamer itself
    // goes with the last reference, which may be that request's.
    if (streamer) streamer->Shutdown();
    return 0;
}
