// The native back-end of Windows builds: the platform's capture interfaces,
// its USB hub I/O controls and installation database; time and events are
// those every native back-end shares. It registers itself as "native" while
// the library loads.

#include "platform/backend/NativeBackend.h"
#include "platform/windows/WinCapture.h"
#include "platform/windows/WinCommon.h"
#include "platform/windows/WinUsb.h"

namespace sv::platform::win {
namespace {

class WindowsBackend final : public NativeBackend {
public:
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
};

[[maybe_unused]] const bool kRegistered =
    RegisterBackend("native", [] { return std::make_shared<WindowsBackend>(); });

}  // namespace

}  // namespace sv::platform::win
