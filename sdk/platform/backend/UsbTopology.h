#pragma once

// The USB half of the seam: host controllers, hubs and their ports, and the
// device-installation database (instance ids and container ids). Records hold
// the facts the library's walk and serial lookup decide on; the platform's
// binary layouts stay inside its back-end.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/backend/HResult.h"

namespace sv::platform {

// Speed codes of a connection record.
enum UsbSpeedCode : uint8_t {
    UsbLowSpeed = 0,
    UsbFullSpeed = 1,
    UsbHighSpeed = 2,
    UsbSuperSpeed = 3,
};

struct UsbHubInformation {
    uint8_t portCount = 0;  // the hub descriptor's port count
    bool busPowered = false;
};

// Node connection information of one port (plain and extended forms).
struct UsbConnectionInfo {
    uint32_t port = 0;
    bool connected = false;  // connection status 1
    bool isHub = false;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t bcdUsb = 0;
    uint8_t manufacturerIndex = 0;  // string descriptor indices
    uint8_t productIndex = 0;
    uint8_t serialIndex = 0;
    uint8_t speed = 0;  // UsbSpeedCode; the plain form never reports SuperSpeed
};

// Bits of the extended V2 record.
constexpr uint32_t kUsbProtocol110 = 0x1;
constexpr uint32_t kUsbProtocol200 = 0x2;
constexpr uint32_t kUsbProtocol300 = 0x4;
constexpr uint32_t kUsbOperatingAtSuperSpeedOrHigher = 0x1;
constexpr uint32_t kUsbSuperSpeedCapableOrHigher = 0x2;
constexpr uint32_t kUsbOperatingAtSuperSpeedPlusOrHigher = 0x4;
constexpr uint32_t kUsbSuperSpeedPlusCapableOrHigher = 0x8;

struct UsbConnectionInfoV2 {
    uint32_t port = 0;
    uint32_t length = 16;
    uint32_t supportedProtocols = 0;
    uint32_t flags = 0;
};

class UsbHub {
public:
    virtual ~UsbHub() = default;
    virtual HResult GetNodeInformation(UsbHubInformation& info) = 0;
    virtual HResult GetNodeConnectionInformation(uint32_t port, UsbConnectionInfo& info) = 0;
    virtual HResult GetNodeConnectionInformationEx(uint32_t port, UsbConnectionInfo& info) = 0;
    // `requestedProtocols`: kUsbProtocol* bits the caller asks about.
    virtual HResult GetNodeConnectionInformationExV2(uint32_t port, uint32_t requestedProtocols,
                                                     UsbConnectionInfoV2& info) = 0;
    // Name of the hub connected to `port` (without the "\\.\" prefix).
    virtual HResult GetNodeConnectionName(uint32_t port, std::string& hubName) = 0;
    // At most `length` bytes of the device's configuration descriptor.
    virtual HResult GetConfigurationDescriptor(uint32_t port, uint16_t length,
                                               std::vector<uint8_t>& descriptor) = 0;
    // The raw string descriptor (bLength, type 3, UTF-16LE text), at most `length` bytes.
    virtual HResult GetStringDescriptor(uint32_t port, uint8_t index, uint16_t languageId,
                                        uint16_t length, std::vector<uint8_t>& descriptor) = 0;
};

class UsbHostController {
public:
    virtual ~UsbHostController() = default;
    virtual HResult GetDriverKeyName(std::string& name) = 0;
    virtual HResult GetRootHubName(std::string& name) = 0;
};

enum class DeviceSetKind {
    UsbEnumerator,       // present devices of all classes with the enumerator "USB"
    UsbDeviceInterface,  // present devices exposing {A5DCBF10-6530-11D2-901F-00C04FB951ED}
};

// A snapshot of present devices in the installation database.
class DeviceInfoSet {
public:
    virtual ~DeviceInfoSet() = default;
    virtual uint32_t GetDeviceCount() const = 0;
    // The instance id ("USB\VID_1234&PID_5678\SERIAL").
    virtual HResult GetDeviceInstanceId(uint32_t index, std::string& instanceId) = 0;
    // The base container id as the registry holds it ("{...}").
    virtual HResult GetContainerId(uint32_t index, std::string& containerId) = 0;
};

// A snapshot taken once, as the native back-ends make them: the entries in
// the order they were found; an entry without a container id answers
// ERROR_NOT_FOUND for it.
class DeviceInfoSnapshot final : public DeviceInfoSet {
public:
    struct Entry {
        std::string instanceId;
        std::string containerId;
    };
    explicit DeviceInfoSnapshot(std::vector<Entry> entries) : entries_(std::move(entries)) {}

    uint32_t GetDeviceCount() const override { return static_cast<uint32_t>(entries_.size()); }
    HResult GetDeviceInstanceId(uint32_t index, std::string& instanceId) override {
        if (index >= entries_.size()) return HR_ERROR_NO_MORE_ITEMS;
        instanceId = entries_[index].instanceId;
        return HR_S_OK;
    }
    HResult GetContainerId(uint32_t index, std::string& containerId) override {
        if (index >= entries_.size()) return HR_ERROR_NO_MORE_ITEMS;
        if (entries_[index].containerId.empty()) return HR_ERROR_NOT_FOUND;
        containerId = entries_[index].containerId;
        return HR_S_OK;
    }

private:
    std::vector<Entry> entries_;
};

}  // namespace sv::platform
