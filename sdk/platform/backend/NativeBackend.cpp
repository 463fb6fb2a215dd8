// The native back-end of builds without a native capture stack (a Linux build
// registers its V4L2 back-end as "native" instead): an honest machine with no
// cameras and no USB host controllers it can query; the bridge maker's vendor
// driver is not there either, so it serves no devices.

#include "platform/backend/Backend.h"
#include "platform/backend/Clock.h"

namespace sv::platform {

namespace {

class NullNativeBackend final : public Backend {
public:
    std::string Name() const override { return "native"; }

    HResult EnumDeviceSources(std::vector<std::shared_ptr<DeviceActivation>>& devices) override {
        devices.clear();
        return HR_S_OK;
    }
    HResult OpenHostController(uint32_t, std::shared_ptr<UsbHostController>& hc) override {
        hc.reset();
        return HR_ERROR_FILE_NOT_FOUND;
    }
    HResult OpenHub(const std::string&, std::shared_ptr<UsbHub>& hub) override {
        hub.reset();
        return HR_ERROR_FILE_NOT_FOUND;
    }
    HResult GetClassDevs(DeviceSetKind, std::shared_ptr<DeviceInfoSet>& set) override {
        set = std::make_shared<DeviceInfoSnapshot>(std::vector<DeviceInfoSnapshot::Entry>{});
        return HR_S_OK;
    }
    uint16_t GetSystemDefaultLangId() override { return 0x0409; }

    HResult CountVendorUsbDevices(uint32_t& count) override {
        count = 0;
        return HR_S_OK;
    }
    HResult OpenVendorUsbDevice(uint32_t, std::shared_ptr<VendorUsbDevice>& device) override {
        device.reset();
        return HR_ERROR_NO_MORE_ITEMS;
    }

    void Sleep(uint32_t ms) override { SystemClock()->Sleep(ms); }
    uint64_t NowMs() override { return SystemClock()->NowMs(); }
    std::shared_ptr<Event> NewEvent() override { return SystemClock()->NewEvent(); }
};

}  // namespace

std::shared_ptr<Backend> CreateEmptyNativeBackend() { return std::make_shared<NullNativeBackend>(); }

}  // namespace sv::platform
