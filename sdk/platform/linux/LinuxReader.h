#pragma once

// The asynchronous source reader over V4L2 memory-mapped streaming: format
// selection with VIDIOC_S_FMT and S_PARM, buffers and STREAMON on the first
// request, a worker thread that polls and dequeues frames and answers one
// request per frame with a sample that is a view of the mapped buffer.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/backend/VideoDevice.h"
#include "platform/linux/SysCalls.h"

namespace sv::platform::v4l2 {

// How long the worker waits in one poll before it looks at its requests
// again (stop, flush); a bound on how late a stop is noticed.
constexpr int kPollSliceMs = 50;
// How long a new format or stream waits for the worker to let go of the
// stream it stopped (a few poll slices).
constexpr int kWorkerLetGoMs = 1000;
// Buffers requested from the driver.
constexpr uint32_t kStreamBuffers = 4;

// A reader of the node at `devicePath` over `types` (its native types)
// delivering to `callback`. The node is opened when a format is chosen or
// the first sample requested.
HResult CreateLinuxReader(std::shared_ptr<SysCalls> calls, const std::string& devicePath,
                          std::vector<std::shared_ptr<const MediaType>> types,
                          std::shared_ptr<SampleCallback> callback, std::shared_ptr<SourceReader>& reader);

}  // namespace sv::platform::v4l2
