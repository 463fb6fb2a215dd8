#pragma once

// The native back-end of Linux builds: video capture nodes through V4L2,
// registered as "native": the USB cameras and their USB topology, native
// types, streaming, UVC controls and the extension unit.

#include <memory>

#include "platform/backend/Clock.h"
#include "platform/backend/NativeBackend.h"
#include "platform/linux/SysCalls.h"

namespace sv::platform::v4l2 {

// A back-end over `calls` (the kernel's, or a stand-in in tests). Waits,
// the clock and events are the system's, or those of `clock` when given (a
// stand-in kernel over the simulator keeps the simulator's device time).
std::shared_ptr<Backend> CreateLinuxBackend(std::shared_ptr<SysCalls> calls, std::shared_ptr<Clock> clock = nullptr);

// True once the back-end has registered itself as "native".
bool LinuxBackendRegistered();

}  // namespace sv::platform::v4l2
