#include "platform/CameraStreamer.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "base/LegacyLog.h"
#include "base/Logger.h"
#include "base/PixelFormat.h"
#include "platform/MediaTypeText.h"
#include "platform/backend/MfIds.h"

using namespace sv::platform;

namespace {

bool IsBusyCode(HResult hr) {
    return hr == HR_E_ACCESSDENIED || hr == HR_MF_E_INVALIDREQUEST ||
           hr == HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED;
}

}  // namespace

// ---- SourceReaderCB ------------------------------------------------------

SourceReaderCB::SourceReaderCB(std::shared_ptr<Event> event) : event_(std::move(event)) {}

void SourceReaderCB::OnReadSample(HResult status, uint32_t, uint32_t streamFlags, int64_t,
                                  const std::shared_ptr<Sample>& sample) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (Failed(status)) {
            std::printf("Source Reader error: 0x%X\n", static_cast<unsigned>(status));
            std::fflush(stdout);
            status_ = status;
        } else if (sample) {
            const uint32_t length = sample->GetCurrentLength();
            const uint64_t expected = uint64_t{width_} * height_ * 2;
            auto legacy = sv::SzLogChannel::Instance();
            if (length != expected) {
                legacy->Trace("[%s][%d] Buffer size is not correct! Buffer Size: %d, Expected Size: %d",
                              "SourceReaderCB::OnReadSample", __LINE__, static_cast<int>(length),
                              static_cast<int>(expected));
            }
            const uint8_t* data = nullptr;
            uint32_t locked = 0;
            HResult hr = sample->Lock(data, locked);
            if (Failed(hr) || !data) {
                legacy->Error("[%s][%d] Buffer Lock FAIL!", "SourceReaderCB::OnReadSample", __LINE__);
            } else {
                sample->Unlock();
                // Held, not copied: the one copy of the frame goes straight
                // into the caller's buffer.
                frame_ = sample;
            }
            status_ = Failed(hr) ? hr : 0;
        } else {
            status_ = 1;
        }
        if (streamFlags & mf::MF_SOURCE_READERF_ENDOFSTREAM) endOfStream_ = true;
    }
    event_->Set();
}

void SourceReaderCB::OnFlush(uint32_t) { DropFrame(); }

void SourceReaderCB::DropFrame() {
    std::shared_ptr<Sample> frame;
    std::lock_guard<std::mutex> lock(mutex_);
    frame = std::move(frame_);
}

HResult SourceReaderCB::Wait(uint32_t timeoutMs, bool& endOfStream) {
    if (event_->Wait(timeoutMs) == WaitResult::TimedOut) return HR_E_PENDING;
    std::lock_guard<std::mutex> lock(mutex_);
    endOfStream = endOfStream_;
    return status_;
}

SV_CAPTURE_RESULT SourceReaderCB::GetResultStatus() {
    HResult status;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        status = status_;
    }
    auto legacy = sv::SzLogChannel::Instance();
    if (status == HR_MF_E_HW_MFT_FAILED_START_STREAMING) {
        legacy->Error("[%s][%d] MF_E_HW_MFT_FAILED_START_STREAMING: SZ_ERROR=%d", "SourceReaderCB::GetResultStatus",
                      __LINE__, -2);
        return SV_CAPTURE_DEVICE_ERROR;
    }
    if (status == HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED) {
        legacy->Error("[%s][%d] MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED: SZ_ERROR=%d",
                      "SourceReaderCB::GetResultStatus", __LINE__, -3);
        return SV_CAPTURE_FAILED;
    }
    legacy->Error("[%s][%d] m_hrStatus=0x%x, SZ_ERROR=%d", "SourceReaderCB::GetResultStatus", __LINE__,
                  static_cast<unsigned>(status), 0);
    return SV_CAPTURE_TIMEOUT;
}

int SourceReaderCB::CopyBuffer(uint8_t* destination, int64_t capacity, uint32_t& size) {
    std::shared_ptr<Sample> frame;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!destination || !frame_ || frame_->GetCurrentLength() == 0) return -1;
        size = frame_->GetCurrentLength();
        if (capacity >= 0 && static_cast<int64_t>(size) > capacity) return SV_CAPTURE_FAILED;
        const uint8_t* data = nullptr;
        uint32_t length = 0;
        if (Failed(frame_->Lock(data, length)) || !data) return -1;
        std::memcpy(destination, data, length);
        frame_->Unlock();
        size = length;
        frame = std::move(frame_);
    }
    // Released outside the lock: the back-end may hand its buffer back now.
    frame.reset();
    return 0;
}

void SourceReaderCB::UpdateFormat(const SvFormat& format) {
    std::lock_guard<std::mutex> lock(mutex_);
    width_ = format.width;
    height_ = format.height;
}

void SourceReaderCB::Cancel() {
    DropFrame();
    event_->Set();
}

// ---- UVCCameraStreamerWin --------------------------------------------------

UVCCameraStreamerWin::UVCCameraStreamerWin(const CameraDeviceInfo& info,
                                           std::shared_ptr<DeviceActivation> activation)
    : info_(info),
      backend_(GetBackend()),
      control_(std::make_shared<UVCCameraControlWin>(info)),
      activation_(std::move(activation)) {
    std::lock_guard<std::mutex> lock(control_->Mutex());
    if (Failed(InitVideoDevice())) {
        SV_LOGE("UVCCameraStreamerWin::UVCCameraStreamerWin", "Failed to initialize video device");
        initialised_ = false;
    } else {
        initialised_ = true;
    }
}

UVCCameraStreamerWin::~UVCCameraStreamerWin() {
    // Pending requests are dropped so no delivery outlives the reader's user.
    if (reader_) (void)reader_->Flush(mf::MF_SOURCE_READER_FIRST_VIDEO_STREAM);
}

void UVCCameraStreamerWin::Shutdown() {
    std::lock_guard<std::mutex> controlLock(control_->Mutex());
    std::lock_guard<std::mutex> lock(stateMutex_);
    shutDown_ = true;
    streaming_ = false;
    ++generation_;
    if (callback_) callback_->Cancel();
    // A control that a caller still holds answers failures from now on.
    control_->SetMediaSourceLocked(nullptr);
}

// Caller holds the control's lock.
HResult UVCCameraStreamerWin::InitVideoDevice() {
    constexpr const char* kWhere = "UVCCameraStreamerWin::InitVideoDevice";
    if (!activation_) {
        SV_LOGE(kWhere, "ActivateObject FAILED, errMsg = {}", ErrorMessage(HR_E_POINTER));
        return HR_E_POINTER;
    }
    auto callback = std::make_shared<SourceReaderCB>(backend_->NewEvent());

    std::shared_ptr<MediaSource> source;
    HResult hr = activation_->ActivateObject(source);
    if (Failed(hr) || !source) {
        if (Succeeded(hr)) hr = HR_E_POINTER;
        SV_LOGE(kWhere, "ActivateObject FAILED, errMsg = {}", ErrorMessage(hr));
        return hr;
    }
    std::shared_ptr<SourceReader> reader;
    hr = source->CreateSourceReader(callback, reader);
    if (Failed(hr) || !reader) {
        if (Succeeded(hr)) hr = HR_E_POINTER;
        SV_LOGE(kWhere, "CreateSourceReaderFromMediaSource FAILED, errMsg = {}", ErrorMessage(hr));
        return hr;
    }
    source_ = source;
    reader_ = reader;
    callback_ = callback;
    control_->SetMediaSourceLocked(source);
    return hr;
}

// Caller holds the control's lock.
void UVCCameraStreamerWin::ReleaseVideoDevice() {
    control_->SetMediaSourceLocked(nullptr);
    source_.reset();
    reader_.reset();
    callback_.reset();
    if (activation_) (void)activation_->ShutdownObject();
}

int UVCCameraStreamerWin::GetFormatList(std::vector<SvFormat>& formats) {
    formats.clear();
    std::shared_ptr<SourceReader> reader;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (!shutDown_) reader = reader_;
    }
    if (!reader) return -1;  // broken or closed streamer: nothing to ask
    for (uint32_t i = 0;; ++i) {
        if (i == sv::platform::kNameableNativeTypes) {
            const uint32_t rest = sv::platform::CountNativeTypesFrom(*reader, 0, i);
            if (rest > 0) {
                SV_LOGW("UVCCameraStreamerWin::GetFormatList",
                        "The device offers {} native types; a format index names the first {}, the other {} are "
                        "left out of the format list",
                        i + rest, i, rest);
            }
            return 0;
        }
        std::shared_ptr<MediaType> type;
        HResult hr = reader->GetNativeMediaType(0, i, type);
        if (hr == HR_MF_E_NO_MORE_TYPES) return 0;
        if (Failed(hr)) return hr;
        const std::string description = GetMediaTypeDescriptions(type.get());
        SvFormat format = ParseSzFormatInfo(description);
        format.mediatypeIdx = static_cast<uint8_t>(i);
        formats.push_back(format);
        SV_LOGT("UVCCameraStreamerWin::GetFormatList", "Descrpition: {}", description);
    }
}

int UVCCameraStreamerWin::SetFormat(SvFormat format) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    // A frame held for a retry, or left from the start, is of the format
    // chosen before: it is never handed out after this one.
    heldForRetry_ = false;
    if (callback_) callback_->DropFrame();
    format_ = format;
    if (!sv::IsCaptureFormat(format.format)) return -1;
    SV_LOGD("UVCCameraStreamerWin::SetFormat", "ConfigureDecoder: format: {}", SvPixelFormatName(format.format));
    if (!reader_ || shutDown_) return -1;
    return ConfigureDecoder(0) == 0 ? 0 : -1;
}

HResult UVCCameraStreamerWin::ConfigureDecoder(uint32_t stream) {
    constexpr const char* kWhere = "UVCCameraStreamerWin::ConfigureDecoder";
    SV_LOGT(kWhere, "GetNativeMediaType MediaType: {}", format_.mediatypeIdx);
    bool sizeMismatch = false;
    const HResult hr = sv::platform::ApplyDecoderFormat(*reader_, stream, format_, sizeMismatch);
    if (sizeMismatch) {
        SV_LOGE(kWhere, "SetFrameSize Fail!");
        return -1;
    }
    return hr;
}

namespace sv::platform {

uint32_t CountNativeTypesFrom(SourceReader& reader, uint32_t stream, uint32_t first) {
    uint32_t count = 0;
    for (uint32_t i = first; i != UINT32_MAX; ++i, ++count) {
        std::shared_ptr<MediaType> type;
        if (Failed(reader.GetNativeMediaType(stream, i, type))) break;
    }
    return count;
}

HResult ApplyDecoderFormat(SourceReader& reader, uint32_t stream, const SvFormat& format, bool& sizeMismatch) {
    sizeMismatch = false;
    std::shared_ptr<MediaType> native;
    HResult hr = reader.GetNativeMediaType(stream, format.mediatypeIdx, native);
    if (Failed(hr)) return hr;

    Guid major;
    hr = native->GetGUID(mf::MF_MT_MAJOR_TYPE, major);
    if (Failed(hr)) return hr;
    MediaType requested;
    requested.SetGUID(mf::MF_MT_MAJOR_TYPE, major);

    if (major == mf::MFMediaType_Video) {
        Guid subtype;
        switch (format.format) {
        case SV_IMAGE_FORMAT_YUY2: subtype = mf::MFVideoFormat_YUY2; break;
        case SV_IMAGE_FORMAT_NV12: subtype = mf::MFVideoFormat_NV12; break;
        case SV_IMAGE_FORMAT_MJPG: subtype = mf::MFVideoFormat_MJPG; break;
        default: subtype = mf::MFVideoFormat_UYVY; break;
        }
        requested.SetGUID(mf::MF_MT_SUBTYPE, subtype);
    } else if (major == mf::MFMediaType_Audio) {
        requested.SetGUID(mf::MF_MT_SUBTYPE, mf::MFAudioFormat_PCM);
    } else {
        return 0;
    }

    requested.SetUINT64(mf::MF_MT_FRAME_SIZE, PackPair(format.width, format.height));
    uint64_t nativeSize = 0;
    hr = native->GetUINT64(mf::MF_MT_FRAME_SIZE, nativeSize);
    if (Failed(hr) || PairHigh(nativeSize) != format.width || PairLow(nativeSize) != format.height) {
        sizeMismatch = true;
        return -1;
    }
    uint64_t rate = 0;
    if (Succeeded(native->GetUINT64(mf::MF_MT_FRAME_RATE, rate))) {
        requested.SetUINT64(mf::MF_MT_FRAME_RATE, rate);
    }
    return reader.SetCurrentMediaType(stream, requested);
}

}  // namespace sv::platform

int UVCCameraStreamerWin::StartStreaming() {
    constexpr const char* kWhere = "UVCCameraStreamerWin::StartStreaming";
    std::lock_guard<std::mutex> capture(captureMutex_);
    std::shared_ptr<SourceReaderCB> callback;
    uint64_t generation = 0;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (!reader_ || shutDown_) {
            SV_LOGE(kWhere, "VideoReader is NULL, cannot start streaming");
            return -1;
        }
        std::shared_ptr<MediaType> probe;
        HResult hr = reader_->GetNativeMediaType(0, 0, probe);
        if (Failed(hr)) {
            SV_LOGE(kWhere, "Camera may be in use by another application, errMsg = {}", ErrorMessage(hr));
            if (IsBusyCode(hr)) {
                SV_LOGE(kWhere, "Camera is being used by another application");
                return -2;
            }
            return -1;
        }

        streaming_ = true;
        callback_->UpdateFormat(format_);
        if (!pending_) {
            hr = reader_->ReadSample(mf::MF_SOURCE_READER_FIRST_VIDEO_STREAM, 0);
            if (Failed(hr)) {
                SV_LOGE(kWhere, "ReadSample failed, errMsg = {}", ErrorMessage(hr));
                streaming_ = false;
                if (IsBusyCode(hr)) {
                    SV_LOGE(kWhere, "Camera is being used by another application during ReadSample");
                    return -2;
                }
                return hr;
            }
        }
        callback = callback_;
        generation = generation_;
    }

    bool endOfStream = false;
    const HResult hr = callback->Wait(kFirstFrameTimeoutMs, endOfStream);

    std::lock_guard<std::mutex> lock(stateMutex_);
    if (generation != generation_) {
        SV_LOGE(kWhere, "Streaming was stopped while waiting for the first frame");
        return -1;
    }
    if (Succeeded(hr) && !endOfStream) {
        pending_ = false;
        return 0;
    }
    SV_LOGE(kWhere, "Wait for sample failed or EOS reached");
    streaming_ = false;
    // A request that timed out is still outstanding; do not issue another.
    pending_ = (hr == HR_E_PENDING);
    // An ended stream is a failure even when its last delivery succeeded.
    return Failed(hr) ? hr : -1;
}

SV_CAPTURE_RESULT UVCCameraStreamerWin::GetImage(uint8_t* buffer, int* size, uint16_t timeoutMs) {
    const int64_t capacity = (size && *size > 0) ? *size : -1;
    uint32_t frameSize = 0;
    const int result = ProcessSamplesGuarded(buffer, capacity, timeoutMs, frameSize);
    if (result != 0) {
        SV_LOGD("UVCCameraStreamerWin::GetImage", "GetImage FAILED, ret = {}", result);
        // A frame too large for the buffer: the caller learns the size it
        // needs, as platform calls report a needed buffer size, and gets the
        // same frame when it asks again with a buffer that large.
        if (frameSize > 0 && size) *size = static_cast<int>(frameSize);
        return static_cast<SV_CAPTURE_RESULT>(result);
    }
    SV_LOGT("UVCCameraStreamerWin::GetImage", "Raw data size: {}", frameSize);
    if (size) *size = static_cast<int>(frameSize);
    return SV_CAPTURE_SUCCESS;
}

// Caller holds stateMutex_. `size` is the frame's size, also when it is refused.
int UVCCameraStreamerWin::TakeFrame(uint8_t* buffer, int64_t capacity, uint32_t& size) {
    size = 0;
    const int r = callback_->CopyBuffer(buffer, capacity, size);
    if (r == SV_CAPTURE_FAILED) {
        heldForRetry_ = true;
        SV_LOGE("UVCCameraStreamerWin::ProcessSamples",
                "Frame of {} bytes does not fit the buffer of {} bytes; kept for the next call", size, capacity);
        return SV_CAPTURE_FAILED;
    }
    heldForRetry_ = false;
    if (r != 0) size = 0;
    return r;
}

int UVCCameraStreamerWin::ProcessSamplesGuarded(uint8_t* buffer, int64_t capacity, uint16_t timeoutMs,
                                                uint32_t& size) {
    constexpr const char* kWhere = "UVCCameraStreamerWin::ProcessSamples";
    std::lock_guard<std::mutex> capture(captureMutex_);
    std::shared_ptr<SourceReaderCB> callback;
    uint64_t generation = 0;
    bool issued = false;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (!reader_ || shutDown_) {
            SV_LOGE(kWhere, "VideoReader is NULL in ProcessSamples");
            pending_ = true;
            return SV_CAPTURE_FAILED;
        }
        callback_->UpdateFormat(format_);

        // A frame refused for a small buffer is handed out before anything new.
        if (heldForRetry_) {
            const int r = TakeFrame(buffer, capacity, size);
            if (r == 0 || r == SV_CAPTURE_FAILED) return r;
        }

        if (!pending_ && streaming_) {
            HResult hr = reader_->ReadSample(mf::MF_SOURCE_READER_FIRST_VIDEO_STREAM, 0);
            if (Failed(hr)) {
                SV_LOGE(kWhere, "ReadSample failed in ProcessSamples, errMsg = {}", ErrorMessage(hr));
                pending_ = true;
                if (hr == HR_E_ACCESSDENIED || hr == HR_MF_E_INVALIDREQUEST) {
                    SV_LOGE(kWhere, "Camera access denied or invalid request - camera may be in use");
                    return SV_CAPTURE_DEVICE_ERROR;
                }
                if (hr == HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED) {
                    SV_LOGE(kWhere, "Video recording device invalidated - camera may be disconnected or taken by another app");
                    return SV_CAPTURE_DEVICE_ERROR;
                }
                return hr;
            }
            issued = true;
        }
        callback = callback_;
        generation = generation_;
    }

    try {
        bool endOfStream = false;
        const HResult hr = callback->Wait(timeoutMs, endOfStream);
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (generation != generation_) {
            // Stopped or closed on another thread while this call waited.
            SV_LOGD(kWhere, "Streaming stopped while waiting for a frame");
            return SV_CAPTURE_FAILED;
        }
        if (Succeeded(hr) && !endOfStream) {
            pending_ = false;
            return TakeFrame(buffer, capacity, size);
        }
        SV_LOGT(kWhere, "Wait Sample Image Timeout {} ms", timeoutMs);
        // Only a request that is really outstanding is waited out next time.
        pending_ = pending_ || issued;
        return callback->GetResultStatus();
    } catch (const std::exception& e) {
        SV_LOGE(kWhere, "Get Buffer... FAIL.\n{}", e.what());
        std::lock_guard<std::mutex> lock(stateMutex_);
        pending_ = true;
        return SV_CAPTURE_FAILED;
    }
}

int UVCCameraStreamerWin::StopStreaming() {
    constexpr const char* kWhere = "UVCCameraStreamerWin::StopStreaming";
    std::lock_guard<std::mutex> controlLock(control_->Mutex());
    std::lock_guard<std::mutex> lock(stateMutex_);
    streaming_ = false;
    pending_ = false;
    heldForRetry_ = false;
    ++generation_;
    if (shutDown_) return -1;
    if (callback_ && reader_) {
        callback_->OnFlush(mf::MF_SOURCE_READER_FIRST_VIDEO_STREAM);
        HResult hr = reader_->Flush(mf::MF_SOURCE_READER_FIRST_VIDEO_STREAM);
        if (Failed(hr)) SV_LOGE(kWhere, "Flush VideoReader failed, errMsg = {}", ErrorMessage(hr));
    }
    // A GetImage waiting on the old reader wakes and fails.
    if (callback_) callback_->Cancel();
    ReleaseVideoDevice();
    if (Failed(InitVideoDevice())) {
        SV_LOGE(kWhere, "Failed to reinitialize VideoDevice");
        initialised_ = false;
        return -1;
    }
    return 0;
}
