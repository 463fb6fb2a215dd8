#include "platform/PlatformCameraList.h"

#include "base/Config.h"
#include "base/Logger.h"
#include "platform/USBView.h"
#include "platform/backend/Backend.h"

using namespace sv::platform;

namespace {

constexpr std::size_t kHardwareIdLength = 17;

}  // namespace

namespace sv::platform {

std::string HardwareIdFromDevicePath(const std::string& devicePath) {
    const auto usb = devicePath.find("usb");
    if (usb == std::string::npos) return "";
    const auto start = usb + 4;
    if (start + kHardwareIdLength > devicePath.size()) return "";
    return devicePath.substr(start, kHardwareIdLength);
}

void IdsFromHardwareId(const std::string& hardwareId, uint16_t& vendorId, uint16_t& productId) {
    uint16_t vid = 0;
    uint16_t pid = 0;
    if (identity::ParseHex4(hardwareId, 4, vid) && identity::ParseHex4(hardwareId, 13, pid)) {
        vendorId = vid;
        productId = pid;
    } else {
        vendorId = 0;
        productId = 0;
    }
}

}  // namespace sv::platform

PlatformCameraListWin::PlatformCameraListWin(sv::ConfigMap config) : config_(std::move(config)) {}

PlatformCameraListWin::~PlatformCameraListWin() = default;

int PlatformCameraListWin::GetDeviceList(std::vector<CameraDeviceInfo>& records) {
    records.clear();
    activations_.clear();
    auto backend = GetBackend();
    if (Failed(backend->EnumDeviceSources(activations_))) {
        activations_.clear();
        return 0;
    }
    USBView usb(backend);
    for (std::size_t i = 0; i < activations_.size(); ++i) {
        auto& activation = activations_[i];
        std::string name;
        std::string link;
        if (!activation || Failed(activation->GetAllocatedString(DeviceString::FriendlyName, name)) ||
            Failed(activation->GetAllocatedString(DeviceString::SymbolicLink, link))) {
            continue;  // left out; later devices keep their platform position
        }
        CameraDeviceInfo record;
        record.index = static_cast<int32_t>(i);
        record.interfaceType = SV_CAMERA_INTERFACE_USB;
        record.friendlyName = name;
        record.deviceName = name;
        record.devicePath = link;
        record.hardwareId = HardwareIdFromDevicePath(link);
        IdsFromHardwareId(record.hardwareId, record.vendorId, record.productId);
        record.productType = sv::ProductTypeForName(config_, record.deviceName);

        UsbPortInfo port;
        port.vendorId = record.vendorId;
        port.productId = record.productId;
        if (usb.GetUSBDeviceSerialNumber(port, record.vendorId, record.productId, link) == 0) {
            record.serialNumber = port.serialNumber;
        }
        records.push_back(std::move(record));
    }
    return 0;
}

std::shared_ptr<DeviceActivation> PlatformCameraListWin::GetActivation(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= activations_.size()) return nullptr;
    return activations_[static_cast<std::size_t>(index)];
}
