#pragma once

// The capture half of the seam over the platform's capture interfaces:
// device enumeration and activation, the media source with its UVC and
// kernel-streaming control interfaces, and the asynchronous source reader.

// The seam's headers come first: the platform's kernel-streaming header
// defines some of the seam's constant names as macros.
#include "platform/backend/VideoDevice.h"

#include "platform/windows/WinCommon.h"

#include <mfidl.h>
#include <mfreadwrite.h>

#include <memory>
#include <vector>

namespace sv::platform::win {

// Starts the capture platform for this process (once) and lists the video
// capture devices in the platform's order.
HResult EnumerateCaptureDevices(std::vector<std::shared_ptr<DeviceActivation>>& devices);

// The conversions between the platform's objects and the seam's, and the
// reader callback that hands samples to the seam (its own reference counted,
// one reference held by the caller).
HResult ToSeamType(IMFAttributes* source, MediaType& type);
HResult FromSeamType(const MediaType& type, ComPtr<IMFMediaType>& out);
std::shared_ptr<Sample> ToSeamSample(IMFSample* sample, int64_t timestamp);
ComPtr<IMFSourceReaderCallback> MakeReaderCallback(std::shared_ptr<SampleCallback> target);

}  // namespace sv::platform::win
