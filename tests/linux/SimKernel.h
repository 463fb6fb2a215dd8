#pragma once

// The fake kernel over a simulated machine: one video node per simulated
// camera, its native types as V4L2 formats, its UVC controls as V4L2
// controls (in the driver's units), its extension unit behind the
// descriptors and UVCIOC_CTRL_QUERY, and its frames delivered into the
// mapped buffers. The Linux back-end over it runs the camera suites once
// more ("simulated world, fake kernel,
// V4L2 back-end").

#include <memory>

#include "linux/FakeKernel.h"
#include "platform/backend/Backend.h"
#include "platform/sim/SimBackend.h"

namespace sv::test {

// The kernel answering from `sim`'s devices.
std::shared_ptr<FakeKernel> FakeKernelOverSim(std::shared_ptr<sv::platform::Backend> sim);

// The Linux back-end over FakeKernelOverSim(sim). Its fixed waits and clock
// are the simulator's device time; its frame waits run on the wall clock and
// move the device time on by their time-out when they time out.
std::shared_ptr<sv::platform::Backend> LinuxBackendOverSim(std::shared_ptr<sv::sim::SimBackend> sim);

}  // namespace sv::test
