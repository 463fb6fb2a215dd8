#include "camera/SvCamera.h"

#include "core/Logger.h"

SvCamera::SvCamera(const CameraDeviceInfo& info) : info_(info) {}

SvCamera::~SvCamera() = default;

int SvCamera::Open() {
    // The platform streamer and control are not part of this build yet, so no
    // camera can be opened.
    SV_LOGE("SvCamera::Open", "Platform streamer is not available in this build");
    SV_LOGE("SvCamera::Open", "Failed to create streamer");
    return -1;
}

int SvCamera::GetFormatList(std::vector<SvFormat>&) { return -1; }
SV_CAPTURE_RESULT SvCamera::GetImage(uint8_t*, int*, uint16_t) { return SV_CAPTURE_FAILED; }
SV_CAPTURE_RESULT SvCamera::GetImageFd(int*, uint16_t) { return SV_CAPTURE_FAILED; }
int SvCamera::ReleaseImageFd(int) { return -1; }
int SvCamera::SetFormat(SvFormat) { return -1; }
int SvCamera::StartStreaming() { return -1; }
int SvCamera::StopStreaming() { return -1; }

int SvCamera::Close() { return 0; }
