#pragma once

// The seam's processing-unit and camera-terminal controls over the V4L2
// control interface (VIDIOC_QUERYCTRL, G_CTRL, S_CTRL). Each platform
// property maps to one V4L2 control, an automatic mode to the V4L2 control
// that switches it, and where the two platforms count in different units the
// values are converted:
//   exposure: platform log2 seconds (-5 is 1/32 s), V4L2 100 us units;
//   pan, tilt: platform degrees, V4L2 arc seconds.

#include <cstdint>
#include <memory>

#include "platform/backend/VideoDevice.h"
#include "platform/linux/StreamBuffers.h"

namespace sv::platform::v4l2 {

enum class ControlScale {
    Same,             // the same number on both sides
    Log2Seconds,      // platform log2 s <-> V4L2 100 us
    DegreesArcSecond  // platform degrees <-> V4L2 arc seconds
};

struct ControlMapping {
    uint32_t id = 0;      // V4L2 control id; 0 when the platform property has none
    uint32_t autoId = 0;  // the control that switches its automatic mode, or 0
    ControlScale scale = ControlScale::Same;
};

// The mapping of a platform property of the processing unit (`cameraTerminal`
// false) or of the camera terminal.
ControlMapping MapControl(bool cameraTerminal, int32_t property);

// Unit conversions. Values beyond the 32-bit platform range are clamped.
int32_t ToPlatformValue(ControlScale scale, int64_t driverValue);
int64_t ToDriverValue(ControlScale scale, int32_t platformValue);

// The controls of one unit over the node opened as `file`. Null with
// E_NOINTERFACE when the device offers none of the unit's controls.
HResult CreateUvcControls(std::shared_ptr<NodeFile> file, bool cameraTerminal,
                          std::shared_ptr<UvcControlInterface>& controls);

}  // namespace sv::platform::v4l2
