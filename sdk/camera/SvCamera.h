#pragma once

#include <memory>
#include <vector>

#include <sorvansdk/SvTypes.h>

#include "platform/CameraDeviceInfo.h"

class UVCCameraStreamerWin;
class UVCCameraControlWin;
namespace sv::platform {
class DeviceActivation;
}

// Base of every camera object: the device record and the eight operations that
// every camera answers. The base answers "not offered" to all but Open.
class SvCamera {
public:
    explicit SvCamera(const CameraDeviceInfo& info);
    virtual ~SvCamera();

    SvCamera(const SvCamera&) = delete;
    SvCamera& operator=(const SvCamera&) = delete;

    // Slot order matters to nobody outside, but it is kept as documented.
    virtual int Open();
    virtual int GetFormatList(std::vector<SvFormat>& formats);
    virtual SV_CAPTURE_RESULT GetImage(uint8_t* buffer, int* size, uint16_t timeoutMs);
    virtual SV_CAPTURE_RESULT GetImageFd(int* fd, uint16_t timeoutMs);
    virtual int ReleaseImageFd(int fd);
    virtual int SetFormat(SvFormat format);
    virtual int StartStreaming();
    virtual int StopStreaming();

    int Close();

    const CameraDeviceInfo& DeviceInfo() const { return info_; }
    const std::string& DeviceName() const { return info_.deviceName; }

    // The platform's activation object of the device, handed over by the manager.
    void SetActivation(std::shared_ptr<sv::platform::DeviceActivation> activation);
    bool HasActivation() const { return activation_ != nullptr; }

    // The platform control, shared with the streamer; null unless open.
    std::shared_ptr<UVCCameraControlWin> Control() const { return control_; }

protected:
    CameraDeviceInfo info_;
    std::shared_ptr<sv::platform::DeviceActivation> activation_;
    std::unique_ptr<UVCCameraStreamerWin> streamer_;
    std::shared_ptr<UVCCameraControlWin> control_;
};
