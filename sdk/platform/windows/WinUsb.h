#pragma once

// The USB half of the seam over the platform: host controllers and hubs
// through the USB hub I/O controls, and the device-installation database.

#include <memory>
#include <string>

#include "platform/backend/UsbTopology.h"

namespace sv::platform::win {

HResult OpenUsbHostController(uint32_t number, std::shared_ptr<UsbHostController>& hc);
HResult OpenUsbHub(const std::string& path, std::shared_ptr<UsbHub>& hub);
HResult ReadDeviceInfoSet(DeviceSetKind kind, std::shared_ptr<DeviceInfoSet>& set);

}  // namespace sv::platform::win
