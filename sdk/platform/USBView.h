#pragma once

// USB topology and device identity: the speed walk over host controllers and
// hubs, and the serial-number lookup through the device-installation database.
// Both are stateless; every call opens and closes what it uses.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/backend/Backend.h"

namespace sv::platform {

// Query and result of both lookups: the caller fills the identifiers.
struct UsbPortInfo {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::string speedName;       // empty when no port matched
    uint8_t speed = 0;           // speed code of the matching port
    char serialNumber[64] = {};  // zero-terminated, at most 32 characters
};

// "LowSpeed", "FullSpeed", "HighSpeed", "SuperSpeed", or "NA".
const char* UsbSpeedName(uint8_t code);

class USBView {
public:
    explicit USBView(std::shared_ptr<Backend> backend);

    // Visits every controller, hub and port; the last connected device with the
    // given ids decides. false when a controller could not be walked.
    bool EnumerateHostControllers(UsbPortInfo& info);

    // 0 after a complete search (serialNumber filled when found), -1 when the
    // installation database could not be read.
    int GetUSBDeviceSerialNumber(UsbPortInfo& info, uint16_t vendorId, uint16_t productId,
                                 const std::string& devicePath);
    // The same search for the instance key already cut from the path and
    // upper-cased (the third "#" part of the symbolic link). With
    // `legacyLines` its lines go to the legacy channel, printf-style, with a
    // trace line for every device looked at.
    int GetUSBDeviceSerialNumberForKey(UsbPortInfo& info, uint16_t vendorId, uint16_t productId,
                                       const std::string& instanceKey, bool legacyLines);

private:
    void EnumerateHub(const std::string& hubName, const char* label, UsbPortInfo& info);
    void EnumerateHubPorts(UsbHub& hub, uint8_t portCount, UsbPortInfo& info);
    int ForEachInstanceId(DeviceSetKind kind, bool legacyLines,
                          const std::function<int(DeviceInfoSet&, uint32_t, const std::string&)>& visit);

    std::shared_ptr<Backend> backend_;
};

// Pieces of the identity texts, exposed for their tests.
namespace identity {
// Four hexadecimal digits at `pos` of `text`; false when they are not there.
bool ParseHex4(const std::string& text, std::size_t pos, uint16_t& value);
// The instance key of a video interface: the third "#" part of its symbolic
// link, upper-cased ("" when the link has fewer parts).
std::string InstanceKeyFromDevicePath(const std::string& devicePath);
// Vendor id, product id and tail ("6&ABC&0&0000") of an instance id such as
// "USB\VID_1234&PID_5678&MI_00\6&ABC&0&0000"; false when it lacks a piece.
bool ParseInterfaceInstanceId(const std::string& instanceId, uint16_t& vid, uint16_t& pid,
                              std::string& tail);
// Ids and serial of a device instance id of the fixed form "USB\VID_vvvv&PID_pppp\serial";
// false when it is too short or not hexadecimal where the ids stand.
bool ParseDeviceInstanceId(const std::string& instanceId, uint16_t& vid, uint16_t& pid,
                           std::string& serial);
}  // namespace identity

}  // namespace sv::platform
