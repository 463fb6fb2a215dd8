#pragma once

// The platform's list of video capture devices: one record per device, with
// its activation object kept until the next enumeration.

#include <memory>
#include <string>
#include <vector>

#include "platform/CameraDeviceInfo.h"
#include "base/Config.h"
#include "platform/backend/VideoDevice.h"

class PlatformCameraList {
public:
    virtual ~PlatformCameraList() = default;
    // Empties `records`, enumerates, appends one record per readable device.
    virtual int GetDeviceList(std::vector<CameraDeviceInfo>& records) = 0;
};

class PlatformCameraListWin : public PlatformCameraList {
public:
    explicit PlatformCameraListWin(sv::ConfigMap config);
    ~PlatformCameraListWin() override;

    int GetDeviceList(std::vector<CameraDeviceInfo>& records) override;

    // The activation object at platform position `index` of the last
    // enumeration, or null.
    std::shared_ptr<sv::platform::DeviceActivation> GetActivation(int index) const;

private:
    std::vector<std::shared_ptr<sv::platform::DeviceActivation>> activations_;
    sv::ConfigMap config_;
};

namespace sv::platform {
// "vid_XXXX&pid_XXXX" cut from a symbolic link: the 17 characters that start
// 4 after the first "usb". Empty when the link has no "usb" or is too short.
std::string HardwareIdFromDevicePath(const std::string& devicePath);
// Vendor and product id from a hardware id (characters 4-7 and 13-16, hex);
// both 0 when the text does not hold them.
void IdsFromHardwareId(const std::string& hardwareId, uint16_t& vendorId, uint16_t& productId);
}  // namespace sv::platform
