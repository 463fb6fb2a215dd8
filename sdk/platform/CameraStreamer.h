#pragma once

// Frames from a video capture device: the media source, an asynchronous
// source reader with its sample callback, the native format list, format
// selection, and one frame per request into the caller's buffer.

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include <sorvansdk/SvTypes.h>

#include "platform/CameraDeviceInfo.h"
#include "platform/CameraControl.h"
#include "platform/backend/Backend.h"

// The reader's callback: keeps the last delivered frame until it is taken and
// signals an auto-reset event per delivery.
class SourceReaderCB : public sv::platform::SampleCallback {
public:
    explicit SourceReaderCB(std::shared_ptr<sv::platform::Event> event);

    void OnReadSample(sv::platform::HResult status, uint32_t streamIndex, uint32_t streamFlags,
                      int64_t timestamp, const std::shared_ptr<sv::platform::Sample>& sample) override;
    void OnFlush(uint32_t streamIndex) override;

    // E_PENDING on time-out; otherwise the delivery's status, with the
    // end-of-stream flag in `endOfStream`.
    sv::platform::HResult Wait(uint32_t timeoutMs, bool& endOfStream);
    // -2, -3 or -1 for the last status (logged on the legacy channel).
    SV_CAPTURE_RESULT GetResultStatus();
    // Copies the held frame into `destination` and releases it; `size` is the
    // frame's size. -1 without a frame. A frame larger than a known `capacity`
    // (>= 0) is kept, its size put in `size`, and -3 answered.
    int CopyBuffer(uint8_t* destination, int64_t capacity, uint32_t& size);
    void UpdateFormat(const SvFormat& format);

    // Wakes a waiter for good: the streamer is stopping or closing. The held
    // frame is let go.
    void Cancel();
    // Lets the held frame go (one delivered and not taken, or refused for a
    // small buffer): after a format change it is a frame of the old format.
    void DropFrame();

private:

    std::shared_ptr<sv::platform::Event> event_;
    std::mutex mutex_;
    bool endOfStream_ = false;
    sv::platform::HResult status_ = 0;
    // The delivered frame, held until it is copied out (it may be a view of
    // a device buffer that goes back to the device when released).
    std::shared_ptr<sv::platform::Sample> frame_;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
};

namespace sv::platform {
// The decoder rule: the native type at `format.mediatypeIdx` with the subtype
// of `format.format` (UYVY for anything but YUY2, NV12 and MJPG), its own
// frame rate, made the reader's current type. A native size other than the
// format's sets `sizeMismatch` and answers -1 without touching the reader.
HResult ApplyDecoderFormat(SourceReader& reader, uint32_t stream, const SvFormat& format, bool& sizeMismatch);

// A format index (one byte) names the native types 0 to 255: the format lists
// keep those of a device that offers more and leave the rest out.
constexpr uint32_t kNameableNativeTypes = 256;
// How many native types `stream` offers from `first` on (read until the
// reader has no more).
uint32_t CountNativeTypesFrom(SourceReader& reader, uint32_t stream, uint32_t first);
}  // namespace sv::platform

class CameraStreamer {
public:
    virtual ~CameraStreamer() = default;
    virtual std::shared_ptr<UVCCameraControlWin> GetCameraControl() = 0;
    virtual SV_CAPTURE_RESULT GetImage(uint8_t* buffer, int* size, uint16_t timeoutMs) = 0;
    virtual SV_CAPTURE_RESULT GetImageFd(int* fd, uint16_t timeoutMs) = 0;
    virtual int ReleaseImageFd(int fd) = 0;
    virtual int GetFormatList(std::vector<SvFormat>& formats) = 0;
    virtual int SetFormat(SvFormat format) = 0;
    virtual int StartStreaming() = 0;
    virtual int StopStreaming() = 0;
};

class UVCCameraStreamerWin : public CameraStreamer {
public:
    static constexpr uint32_t kFirstFrameTimeoutMs = 2500;

    UVCCameraStreamerWin(const CameraDeviceInfo& info,
                         std::shared_ptr<sv::platform::DeviceActivation> activation);
    ~UVCCameraStreamerWin() override;

    bool Initialised() const { return initialised_; }

    // The camera closes: a GetImage or StartStreaming waiting on another thread
    // wakes and fails, and so does every later call. The object itself lives on
    // until its last holder lets go.
    void Shutdown();

    std::shared_ptr<UVCCameraControlWin> GetCameraControl() override { return control_; }
    SV_CAPTURE_RESULT GetImage(uint8_t* buffer, int* size, uint16_t timeoutMs) override;
    SV_CAPTURE_RESULT GetImageFd(int*, uint16_t) override { return SV_CAPTURE_FAILED; }
    int ReleaseImageFd(int) override { return -1; }
    // Throws a standard exception when a type's description does not parse.
    int GetFormatList(std::vector<SvFormat>& formats) override;
    int SetFormat(SvFormat format) override;
    int StartStreaming() override;
    int StopStreaming() override;

private:
    // Callers of these hold stateMutex_ (and the control's lock where the
    // media source changes).
    sv::platform::HResult InitVideoDevice();
    void ReleaseVideoDevice();
    sv::platform::HResult ConfigureDecoder(uint32_t stream);
    int TakeFrame(uint8_t* buffer, int64_t capacity, uint32_t& size);

    int ProcessSamplesGuarded(uint8_t* buffer, int64_t capacity, uint16_t timeoutMs, uint32_t& size);

    CameraDeviceInfo info_;
    std::shared_ptr<sv::platform::Backend> backend_;
    std::shared_ptr<UVCCameraControlWin> control_;
    std::shared_ptr<sv::platform::DeviceActivation> activation_;

    // One GetImage or StartStreaming waits for frames at a time, so the
    // callback's event has one waiter and at most one request is outstanding.
    std::mutex captureMutex_;
    // Everything below. Held briefly, never across a wait for a frame, so that
    // StopStreaming and Shutdown can wake a waiter. It is always the last
    // lock taken (after captureMutex_ or the control's lock).
    std::mutex stateMutex_;
    std::shared_ptr<sv::platform::MediaSource> source_;
    std::shared_ptr<sv::platform::SourceReader> reader_;
    std::shared_ptr<SourceReaderCB> callback_;
    SvFormat format_{};
    bool pending_ = false;
    bool streaming_ = false;
    bool initialised_ = false;
    bool shutDown_ = false;
    bool heldForRetry_ = false;  // a frame refused for a small buffer waits for the next call
    uint64_t generation_ = 0;    // bumped by StopStreaming and Shutdown: an older wait is void
};
