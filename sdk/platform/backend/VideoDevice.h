#pragma once

// The video-capture half of the seam: device activation, the media source and
// its control interfaces, and the asynchronous source reader. Shaped after the
// platform's capture interfaces; every call answers a platform result code.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/backend/HResult.h"
#include "platform/backend/MediaType.h"
#include "platform/backend/MfIds.h"

namespace sv::platform {

// One delivered frame: its bytes in the device's native format, contiguous.
// Either the sample owns its bytes, or it is a view of a buffer owned by the
// back-end (a mapped kernel buffer): the view stays valid while the sample
// lives, and dropping the last reference to the sample drops its lease, which
// hands the buffer back to the device. Holders should copy the frame out once
// and let go of the sample soon, or the device runs out of buffers.
class Sample {
public:
    Sample(std::vector<uint8_t> bytes, int64_t sampleTime, HResult lockResult = HR_S_OK)
        : bytes_(std::move(bytes)), data_(bytes_.data()), length_(static_cast<uint32_t>(bytes_.size())),
          time_(sampleTime), lockResult_(lockResult) {}
    Sample(const uint8_t* data, uint32_t length, std::shared_ptr<void> lease, int64_t sampleTime)
        : data_(data), length_(length), lease_(std::move(lease)), time_(sampleTime), lockResult_(HR_S_OK) {}
    Sample(const Sample&) = delete;
    Sample& operator=(const Sample&) = delete;

    uint32_t GetCurrentLength() const { return length_; }
    // Gives the bytes until Unlock; a failing lock leaves `data` null.
    HResult Lock(const uint8_t*& data, uint32_t& length) const;
    void Unlock() const {}
    // Presentation time in 100-ns units.
    int64_t GetSampleTime() const { return time_; }

private:
    std::vector<uint8_t> bytes_;
    const uint8_t* data_;
    uint32_t length_;
    std::shared_ptr<void> lease_;
    int64_t time_;
    HResult lockResult_;
};

// The reader's asynchronous callback. Every ReadSample request that is not
// dropped by Flush or by the reader's end ends in exactly one OnReadSample, on
// a worker thread of the reader, never on the requesting thread.
class SampleCallback {
public:
    virtual ~SampleCallback() = default;
    // `sample` is null when the status is a failure or no frame came with the
    // flags (end of stream, stream tick).
    virtual void OnReadSample(HResult status, uint32_t streamIndex, uint32_t streamFlags,
                              int64_t timestamp, const std::shared_ptr<Sample>& sample) = 0;
    // After Flush has dropped the pending requests of a stream.
    virtual void OnFlush(uint32_t streamIndex) = 0;
};

class SourceReader {
public:
    virtual ~SourceReader() = default;
    // Native type `index` of `stream` (0 or MF_SOURCE_READER_FIRST_VIDEO_STREAM);
    // MF_E_NO_MORE_TYPES after the last. The caller gets its own copy.
    virtual HResult GetNativeMediaType(uint32_t stream, uint32_t index,
                                       std::shared_ptr<MediaType>& type) = 0;
    // Makes `type` current; it must match a native type (major type, subtype,
    // frame size, and frame rate when given), else MF_E_INVALIDMEDIATYPE.
    virtual HResult SetCurrentMediaType(uint32_t stream, const MediaType& type) = 0;
    virtual HResult GetCurrentMediaType(uint32_t stream, std::shared_ptr<MediaType>& type) = 0;
    // Queues a request for one sample; the answer arrives in the callback. A
    // failing result means no request was queued and no callback follows.
    virtual HResult ReadSample(uint32_t stream, uint32_t controlFlags) = 0;
    // Drops the pending requests (no OnReadSample for them), then OnFlush.
    virtual HResult Flush(uint32_t stream) = 0;
};

// The processing-unit (VideoProcAmp) or camera-terminal (CameraControl) controls.
// Property numbers, values and flags words are the platform's (uvc:: in MfIds.h).
class UvcControlInterface {
public:
    virtual ~UvcControlInterface() = default;
    virtual HResult Get(int32_t property, int32_t& value, int32_t& flags) = 0;
    virtual HResult Set(int32_t property, int32_t value, int32_t flags) = 0;
    virtual HResult GetRange(int32_t property, int32_t& minimum, int32_t& maximum, int32_t& step,
                             int32_t& defaultValue, int32_t& capsFlags) = 0;
};

// Kernel-streaming property access on one topology node.
class KsControl {
public:
    virtual ~KsControl() = default;
    // Sends the 32-byte node property request with `data` (sent for a SET,
    // filled for a GET). 0 on success.
    virtual HResult KsProperty(const ks::PropertyNodeRequest& request, uint8_t* data,
                               uint32_t dataLength, uint32_t& bytesReturned) = 0;
};

class KsTopologyInfo {
public:
    virtual ~KsTopologyInfo() = default;
    virtual HResult GetNumNodes(uint32_t& count) = 0;
    virtual HResult CreateNodeInstance(uint32_t nodeId, std::shared_ptr<KsControl>& control) = 0;
};

// A device's media source, valid until its activation shuts it down.
class MediaSource {
public:
    virtual ~MediaSource() = default;
    // An asynchronous reader delivering to `callback` (required).
    virtual HResult CreateSourceReader(std::shared_ptr<SampleCallback> callback,
                                       std::shared_ptr<SourceReader>& reader) = 0;
    virtual HResult QueryVideoProcAmp(std::shared_ptr<UvcControlInterface>& controls) = 0;
    virtual HResult QueryCameraControl(std::shared_ptr<UvcControlInterface>& controls) = 0;
    virtual HResult QueryTopologyInfo(std::shared_ptr<KsTopologyInfo>& topology) = 0;
};

enum class DeviceString {
    FriendlyName,  // MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME
    SymbolicLink,  // MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_SYMBOLIC_LINK
};

// One entry of the device enumeration. Holding it keeps the device reachable
// across later enumerations.
class DeviceActivation {
public:
    virtual ~DeviceActivation() = default;
    // The text in UTF-8.
    virtual HResult GetAllocatedString(DeviceString key, std::string& text) = 0;
    // The device's media source; the same object until ShutdownObject.
    virtual HResult ActivateObject(std::shared_ptr<MediaSource>& source) = 0;
    virtual HResult ShutdownObject() = 0;
};

}  // namespace sv::platform
