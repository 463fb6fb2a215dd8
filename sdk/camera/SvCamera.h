#pragma once

#include <memory>
#include <mutex>
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

    // Drops the platform objects. A frame request running on another thread is
    // woken and answers a failure; it never touches a freed streamer.
    int Close();

    // Open, Close, GetFormatList, SetFormat, StartStreaming and StopStreaming
    // run one at a time on a camera: the exported functions hold this lock
    // across them. GetImage and the control calls do not take it.
    std::unique_lock<std::mutex> LockLifecycle() { return std::unique_lock<std::mutex>(lifecycleMutex_); }

    const CameraDeviceInfo& DeviceInfo() const { return info_; }
    const std::string& DeviceName() const { return info_.deviceName; }

    // The platform's activation object of the device, handed over by the manager.
    void SetActivation(std::shared_ptr<sv::platform::DeviceActivation> activation);
    bool HasActivation() const { return activation_ != nullptr; }

    // The platform control, shared with the streamer; null unless open. The
    // caller's reference keeps it alive across a concurrent Close.
    std::shared_ptr<UVCCameraControlWin> Control() const;

protected:
    // The streamer, null unless open; the same rule as Control().
    std::shared_ptr<UVCCameraStreamerWin> Streamer() const;

    CameraDeviceInfo info_;
    std::shared_ptr<sv::platform::DeviceActivation> activation_;

private:
    std::mutex lifecycleMutex_;
    // Guards only the two pointers below: Open and Close swap them while frame
    // and control calls on other threads take their own references.
    mutable std::mutex handlesMutex_;
    std::shared_ptr<UVCCameraStreamerWin> streamer_;
    std::shared_ptr<UVCCameraControlWin> control_;
};
