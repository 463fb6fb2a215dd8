#include "platform/backend/NativeBackend.h"

#include "base/Logger.h"

namespace sv::platform {

NativeBackend::NativeBackend(std::shared_ptr<Clock> clock) : clock_(clock ? std::move(clock) : SystemClock()) {}

std::string NativeBackend::Name() const { return "native"; }

HResult NativeBackend::CountVendorUsbDevices(uint32_t& count) {
    SV_LOGD("NativeBackend::CountVendorUsbDevices", "The USB bridge vendor driver is not available in this build");
    count = 0;
    return HR_S_OK;
}

HResult NativeBackend::OpenVendorUsbDevice(uint32_t, std::shared_ptr<VendorUsbDevice>& device) {
    device.reset();
    return HR_ERROR_NO_MORE_ITEMS;
}

void NativeBackend::Sleep(uint32_t ms) { clock_->Sleep(ms); }
uint64_t NativeBackend::NowMs() { return clock_->NowMs(); }
std::shared_ptr<Event> NativeBackend::NewEvent() { return clock_->NewEvent(); }

namespace {

// The native back-end of builds without a native capture stack (a Linux build
// registers its V4L2 back-end as "native" instead): an honest machine with no
// cameras and no USB host controllers it can query.
class NullNativeBackend final : public NativeBackend {
public:
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
};

}  // namespace

std::shared_ptr<Backend> CreateEmptyNativeBackend() { return std::make_shared<NullNativeBackend>(); }

}  // namespace sv::platform
