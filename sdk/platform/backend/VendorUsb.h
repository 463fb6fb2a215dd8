#pragma once

// Devices served by the USB bridge maker's vendor driver (the bridge's
// bootloader and its flash programmer), as the library's algorithms see them:
// the driver's list of present device interfaces, a device opened by its
// position in that list, control transfers on endpoint 0 with the driver's
// request semantics (time-out, status, data after the setup packet), an abort
// of an endpoint's pending transfers and a few driver values. Descriptors are
// read with ordinary GET_DESCRIPTOR control transfers. How a platform talks to
// its driver (handles, I/O control codes, request block layout) stays inside
// its back-end.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/backend/HResult.h"

namespace sv::platform {

// The eight bytes of a USB setup packet.
struct UsbSetupPacket {
    uint8_t bmRequestType = 0;  // bit 7: device to host; bits 5-6: type; bits 0-4: recipient
    uint8_t bRequest = 0;
    uint16_t wValue = 0;
    uint16_t wIndex = 0;
    uint16_t wLength = 0;

    bool DeviceToHost() const { return (bmRequestType & 0x80) != 0; }
};

// What the driver reports for a finished request: the bus-level status (0:
// the device completed the request), the system status of the request (0:
// success) and the number of data bytes moved.
struct UsbTransferStatus {
    uint32_t usbdStatus = 0;
    uint32_t ntStatus = 0;
    uint32_t transferred = 0;
};

// Values the driver keeps about a device it serves.
struct VendorDriverInfo {
    uint8_t usbAddress = 0;
    uint32_t driverVersion = 0;
    uint32_t interfaceVersion = 0;
    std::string driverText;
    std::string friendlyName;
    bool highSpeed = false;
    bool superSpeed = false;
};

class VendorUsbDevice {
public:
    virtual ~VendorUsbDevice() = default;

    // One control transfer on endpoint 0. `data` holds wLength bytes: sent for
    // a host-to-device request, filled for a device-to-host one. The call
    // returns when the request has finished or `timeoutMs` has passed (0: no
    // limit); a request still pending then answers HR_ERROR_SEM_TIMEOUT and
    // stays pending until AbortEndpoint. The result is the driver call's
    // (ERROR_DEVICE_NOT_CONNECTED once the device left the bus); the request's
    // own outcome is in `status`.
    virtual HResult ControlTransfer(const UsbSetupPacket& setup, uint8_t* data, uint32_t timeoutMs,
                                    UsbTransferStatus& status) = 0;
    // Ends the pending transfers of endpoint `address` (0 for endpoint 0).
    virtual HResult AbortEndpoint(uint8_t address) = 0;
    // The current alternate setting of the device's first interface.
    virtual HResult GetAlternateSetting(uint8_t& setting) = 0;
    virtual HResult GetDriverInfo(VendorDriverInfo& info) = 0;
    // Releases the device; a failure is reported, and the device is released
    // all the same.
    virtual HResult Close() = 0;
};

constexpr uint32_t WIN32_ERROR_SEM_TIMEOUT = 121;
constexpr HResult HR_ERROR_SEM_TIMEOUT = HResultFromWin32(WIN32_ERROR_SEM_TIMEOUT);

}  // namespace sv::platform
