#pragma once

// The simulator's USB tree and installation database.

#include <memory>

#include "platform/backend/UsbTopology.h"
#include "platform/sim/SimMachine.h"

namespace sv::sim {

platform::HResult OpenSimHostController(const std::shared_ptr<SimMachine>& machine, uint32_t number,
                                        std::shared_ptr<platform::UsbHostController>& hc);
platform::HResult OpenSimHub(const std::shared_ptr<SimMachine>& machine, const std::string& path,
                             std::shared_ptr<platform::UsbHub>& hub);
platform::HResult GetSimClassDevs(const std::shared_ptr<SimMachine>& machine, platform::DeviceSetKind kind,
                                  std::shared_ptr<platform::DeviceInfoSet>& set);

}  // namespace sv::sim
