#pragma once

// The native back-end of Linux builds: video capture nodes through V4L2,
// registered as "native": the USB cameras and their USB topology, native
// types, streaming, UVC controls and the extension unit.

#include <memory>

#include "platform/backend/Backend.h"
#include "platform/linux/SysCalls.h"

namespace sv::platform::v4l2 {

// A back-end over `calls` (the kernel's, or a stand-in in tests).
std::shared_ptr<Backend> CreateLinuxBackend(std::shared_ptr<SysCalls> calls);

// True once the back-end has registered itself as "native".
bool LinuxBackendRegistered();

}  // namespace sv::platform::v4l2
