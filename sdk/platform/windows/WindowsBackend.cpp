// The native back-end of Windows builds: the platform's capture interfaces,
// its USB hub I/O controls and installation database, its clock and events.
// It registers itself as "native" while the library loads.

#include "platform/backend/Backend.h"
#include "platform/windows/WinCapture.h"
#include "platform/windows/WinCommon.h"
#include "platform/windows/WinUsb.h"

#include "base/Logger.h"

namespace sv::platform::win {
namespace {

// An auto-reset event of the platform.
class WinEvent final : public Event {
public:
    WinEvent() : handle_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    ~WinEvent() override {
        if (handle_) CloseHandle(handle_);
    }
    WinEvent(const WinEvent&) = delete;
    WinEvent& operator=(const WinEvent&) = delete;

    void Set() override { SetEvent(handle_); }
    void Reset() override { ResetEvent(handle_); }
    WaitResult Wait(uint32_t timeoutMs) override {
        return WaitForSingleObject(handle_, timeoutMs) == WAIT_OBJECT_0 ? WaitResult::Signaled : WaitResult::TimedOut;
    }

private:
    HANDLE handle_;
};

class WindowsBackend final : public Backend {
public:
    std::string Name() const override { return "native"; }

    HResult EnumDeviceSources(std::vector<std::shared_ptr<DeviceActivation>>& devices) override {
        return EnumerateCaptureDevices(devices);
    }
    HResult OpenHostController(uint32_t number, std::shared_ptr<UsbHostController>& hc) override {
        return OpenUsbHostController(number, hc);
    }
    HResult OpenHub(const std::string& path, std::shared_ptr<UsbHub>& hub) override { return OpenUsbHub(path, hub); }
    HResult GetClassDevs(DeviceSetKind kind, std::shared_ptr<DeviceInfoSet>& set) override {
        return ReadDeviceInfoSet(kind, set);
    }
    uint16_t GetSystemDefaultLangId() override { return GetSystemDefaultLangID(); }

    // The bridge maker's vendor driver has its own programming interface,
    // which this build does not carry: no bridge devices are served.
    HResult CountVendorUsbDevices(uint32_t& count) override {
        count = 0;
        SV_LOGD("WindowsBackend::CountVendorUsbDevices", "The USB bridge vendor driver is not available in this build");
        return HR_S_OK;
    }
    HResult OpenVendorUsbDevice(uint32_t, std::shared_ptr<VendorUsbDevice>& device) override {
        device.reset();
        return HR_ERROR_NO_MORE_ITEMS;
    }

    void Sleep(uint32_t ms) override { ::Sleep(ms); }
    uint64_t NowMs() override { return GetTickCount64(); }
    std::shared_ptr<Event> NewEvent() override { return std::make_shared<WinEvent>(); }
};

[[maybe_unused]] const bool kRegistered =
    RegisterBackend("native", [] { return std::make_shared<WindowsBackend>(); });

}  // namespace

}  // namespace sv::platform::win
