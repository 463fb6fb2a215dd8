#pragma once

// The USB half of the seam from sysfs: host controllers are the root hubs
// (`usbN` under /sys/bus/usb/devices) in bus-number order, a hub is opened
// by its sysfs name ("usb1", "1-2"), and its ports are the devices named
// after it ("1-2" on port 2 of usb1, "1-2.4" on port 4 of hub 1-2). The
// records are filled from the device folders: ids, `version` (bcdUSB),
// `speed` (Mbit/s), `maxchild`, `bDeviceClass`, `bmAttributes`, the string
// attributes and the raw `descriptors`.

#include <memory>
#include <string>

#include "platform/backend/UsbTopology.h"
#include "platform/linux/SysCalls.h"

namespace sv::platform::v4l2 {

// Host controller `number` (0, 1, ... in bus-number order), or
// ERROR_FILE_NOT_FOUND after the last.
HResult OpenUsbHostController(SysCalls& calls, uint32_t number, std::shared_ptr<UsbHostController>& hc);
// A hub by its device path ("\\.\" and its sysfs name), or ERROR_FILE_NOT_FOUND.
HResult OpenUsbHub(SysCalls& calls, const std::string& path, std::shared_ptr<UsbHub>& hub);

// The seam's speed code of a sysfs `speed` text ("480" is HighSpeed).
uint8_t SpeedCodeOf(const std::string& mbps);

}  // namespace sv::platform::v4l2
