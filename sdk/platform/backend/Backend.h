#pragma once

// The platform seam: everything the library asks of the operating system and
// the cameras goes through one Backend. The back-end is chosen at run time by
// SORVANSDK_BACKEND: "sim" for the simulated machine (when the build carries
// it), "native" or unset for the native one (V4L2 on Linux; on builds without
// a native capture stack it lists no devices). A name this build does not know is logged
// and the native back-end used.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/backend/Event.h"
#include "platform/backend/HResult.h"
#include "platform/backend/UsbTopology.h"
#include "platform/backend/VendorUsb.h"
#include "platform/backend/VideoDevice.h"

namespace sv::platform {

// A video device the last enumeration saw but left out, and why.
struct UnlistedDevice {
    std::string device;         // "/dev/video0"
    std::string reason;         // the system's words ("Permission denied")
    bool accessDenied = false;  // the process lacks the rights to open it
};

class Backend {
public:
    virtual ~Backend() = default;

    // "sim" or "native".
    virtual std::string Name() const = 0;

    // Video capture devices in the platform's stable order.
    virtual HResult EnumDeviceSources(std::vector<std::shared_ptr<DeviceActivation>>& devices) = 0;
    // The devices the last EnumDeviceSources saw but could not list (a node
    // that cannot be opened or queried); empty where a platform hides none.
    virtual std::vector<UnlistedDevice> UnlistedDevices() { return {}; }

    // Host controller `number` (0, 1, ...); ERROR_FILE_NOT_FOUND when absent.
    virtual HResult OpenHostController(uint32_t number, std::shared_ptr<UsbHostController>& hc) = 0;
    // A hub by its device path ("\\.\" followed by the hub name).
    virtual HResult OpenHub(const std::string& path, std::shared_ptr<UsbHub>& hub) = 0;
    virtual HResult GetClassDevs(DeviceSetKind kind, std::shared_ptr<DeviceInfoSet>& set) = 0;
    virtual uint16_t GetSystemDefaultLangId() = 0;

    // The devices present under the USB bridge maker's vendor driver, counted
    // in the driver's order (0 to 255), and one of them opened by position:
    // ERROR_NO_MORE_ITEMS for a position beyond the last.
    virtual HResult CountVendorUsbDevices(uint32_t& count) = 0;
    virtual HResult OpenVendorUsbDevice(uint32_t index, std::shared_ptr<VendorUsbDevice>& device) = 0;

    // Every fixed wait and poll of the device protocols. The simulator with
    // device time advances its clock instead of sleeping.
    virtual void Sleep(uint32_t ms) = 0;
    // A monotonic millisecond clock of the same time base as Sleep.
    virtual uint64_t NowMs() = 0;
    // A new auto-reset event, unsignalled.
    virtual std::shared_ptr<Event> NewEvent() = 0;
};

// The process's back-end, created on first use from the environment. Objects
// handed out by a back-end keep it alive, so a replacement never pulls a device
// away from under a camera that still holds it.
std::shared_ptr<Backend> GetBackend();

// Installs `backend` as the process's back-end (tests, tools).
void SetBackendForTesting(std::shared_ptr<Backend> backend);

// Drops the current back-end; the next GetBackend() reads the environment again.
void ResetBackend();

using BackendFactory = std::function<std::shared_ptr<Backend>()>;

// Makes a back-end selectable as SORVANSDK_BACKEND=`name`. Back-ends built as
// targets of their own (the simulator) register themselves while the library
// loads, so the seam never names them. False when the name is taken.
bool RegisterBackend(const std::string& name, BackendFactory factory);
// "native" always; any other name once its back-end has registered.
bool IsBackendAvailable(const std::string& name);

// A back-end as the environment selects it (SORVANSDK_BACKEND, and for "sim"
// SORVANSDK_SIM_WORLD, SORVANSDK_SIM_TRACE and SORVANSDK_SIM_CLOCK).
std::shared_ptr<Backend> CreateBackendFromEnvironment();

// The native back-end of this build: the one registered as "native" (the
// Linux back-end), else one that lists no devices.
std::shared_ptr<Backend> CreateNativeBackend();
// The back-end of builds without a native capture stack: no devices.
std::shared_ptr<Backend> CreateEmptyNativeBackend();

}  // namespace sv::platform
