#include "platform/windows/WinUsb.h"

#include "platform/windows/WinCommon.h"

#include <cfgmgr32.h>
#include <initguid.h>
#include <setupapi.h>
#include <usbioctl.h>
#include <usbiodef.h>

#include <cstring>
#include <vector>

// Older tool chains' SetupAPI headers lack the base container id's number.
#ifndef SPDRP_BASE_CONTAINERID
#define SPDRP_BASE_CONTAINERID 0x00000024
#endif

namespace sv::platform::win {
namespace {

// An open device handle, closed with its owner.
class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (Valid()) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE Get() const { return h_; }

private:
    HANDLE h_;
};

HResult Ioctl(HANDLE device, DWORD code, void* buffer, DWORD length, DWORD* returned = nullptr) {
    DWORD bytes = 0;
    if (!DeviceIoControl(device, code, buffer, length, buffer, length, &bytes, nullptr)) return LastErrorResult();
    if (returned) *returned = bytes;
    return HR_S_OK;
}

// The name answers of the hub I/O controls: a fixed head that tells the full
// length, then the name; asked twice, first for the length.
template <typename Record>
HResult ReadName(HANDLE device, DWORD code, Record head, std::string& name,
                 std::size_t nameOffset) {
    HResult hr = Ioctl(device, code, &head, sizeof(head));
    if (Failed(hr)) return hr;
    const DWORD length = head.ActualLength;
    if (length < sizeof(head)) return HR_E_FAIL;
    std::vector<uint8_t> buffer(length, 0);
    std::memcpy(buffer.data(), &head, sizeof(head));
    hr = Ioctl(device, code, buffer.data(), length);
    if (Failed(hr)) return hr;
    const auto* text = reinterpret_cast<const wchar_t*>(buffer.data() + nameOffset);
    const std::size_t chars = (length - nameOffset) / sizeof(wchar_t);
    std::size_t used = 0;
    while (used < chars && text[used] != L'\0') ++used;
    name = Utf8(text, static_cast<int>(used));
    return HR_S_OK;
}

class WinHostController final : public UsbHostController {
public:
    explicit WinHostController(HANDLE h) : handle_(h) {}

    HResult GetDriverKeyName(std::string& name) override {
        USB_HCD_DRIVERKEY_NAME head{};
        return ReadName(handle_.Get(), IOCTL_GET_HCD_DRIVERKEY_NAME, head, name, offsetof(USB_HCD_DRIVERKEY_NAME, DriverKeyName));
    }
    HResult GetRootHubName(std::string& name) override {
        USB_ROOT_HUB_NAME head{};
        return ReadName(handle_.Get(), IOCTL_USB_GET_ROOT_HUB_NAME, head, name,
                        offsetof(USB_ROOT_HUB_NAME, RootHubName));
    }

private:
    Handle handle_;
};

class WinHub final : public UsbHub {
public:
    explicit WinHub(HANDLE h) : handle_(h) {}

    HResult GetNodeInformation(UsbHubInformation& info) override {
        USB_NODE_INFORMATION node{};
        const HResult hr = Ioctl(handle_.Get(), IOCTL_USB_GET_NODE_INFORMATION, &node, sizeof(node));
        if (Failed(hr)) return hr;
        info.portCount = node.u.HubInformation.HubDescriptor.bNumberOfPorts;
        info.busPowered = node.u.HubInformation.HubIsBusPowered != FALSE;
        return HR_S_OK;
    }
    HResult GetNodeConnectionInformation(uint32_t port, UsbConnectionInfo& info) override {
        USB_NODE_CONNECTION_INFORMATION record{};
        record.ConnectionIndex = port;
        const HResult hr = Ioctl(handle_.Get(), IOCTL_USB_GET_NODE_CONNECTION_INFORMATION, &record, sizeof(record));
        if (Failed(hr)) return hr;
        Fill(info, port, record.ConnectionStatus, record.DeviceIsHub, record.DeviceDescriptor);
        // The plain record only tells low speed apart.
        info.speed = record.LowSpeed ? UsbLowSpeed : UsbFullSpeed;
        return HR_S_OK;
    }
    HResult GetNodeConnectionInformationEx(uint32_t port, UsbConnectionInfo& info) override {
        USB_NODE_CONNECTION_INFORMATION_EX record{};
        record.ConnectionIndex = port;
        const HResult hr =
            Ioctl(handle_.Get(), IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, &record, sizeof(record));
        if (Failed(hr)) return hr;
        Fill(info, port, record.ConnectionStatus, record.DeviceIsHub, record.DeviceDescriptor);
        info.speed = record.Speed;
        return HR_S_OK;
    }
    HResult GetNodeConnectionInformationExV2(uint32_t port, uint32_t requestedProtocols,
                                             UsbConnectionInfoV2& info) override {
        USB_NODE_CONNECTION_INFORMATION_EX_V2 record{};
        record.ConnectionIndex = port;
        record.Length = sizeof(record);
        record.SupportedUsbProtocols.ul = requestedProtocols;
        const HResult hr =
            Ioctl(handle_.Get(), IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX_V2, &record, sizeof(record));
        if (Failed(hr)) return hr;
        info.port = record.ConnectionIndex;
        info.length = record.Length;
        info.supportedProtocols = record.SupportedUsbProtocols.ul;
        info.flags = record.Flags.ul;
        return HR_S_OK;
    }
    HResult GetNodeConnectionName(uint32_t port, std::string& hubName) override {
        USB_NODE_CONNECTION_NAME head{};
        head.ConnectionIndex = port;
        return ReadName(handle_.Get(), IOCTL_USB_GET_NODE_CONNECTION_NAME, head, hubName, offsetof(USB_NODE_CONNECTION_NAME, NodeName));
    }
    HResult GetConfigurationDescriptor(uint32_t port, uint16_t length, std::vector<uint8_t>& descriptor) override {
        return Descriptor(port, static_cast<uint16_t>(USB_CONFIGURATION_DESCRIPTOR_TYPE << 8), 0, length, descriptor);
    }
    HResult GetStringDescriptor(uint32_t port, uint8_t index, uint16_t languageId, uint16_t length,
                                std::vector<uint8_t>& descriptor) override {
        return Descriptor(port, static_cast<uint16_t>((USB_STRING_DESCRIPTOR_TYPE << 8) | index), languageId, length,
                          descriptor);
    }

private:
    static void Fill(UsbConnectionInfo& info, uint32_t port, USB_CONNECTION_STATUS status, BOOLEAN isHub,
                     const USB_DEVICE_DESCRIPTOR& device) {
        info.port = port;
        info.connected = status == DeviceConnected;
        info.isHub = isHub != FALSE;
        info.vendorId = device.idVendor;
        info.productId = device.idProduct;
        info.bcdUsb = device.bcdUSB;
        info.manufacturerIndex = device.iManufacturer;
        info.productIndex = device.iProduct;
        info.serialIndex = device.iSerialNumber;
    }

    HResult Descriptor(uint32_t port, uint16_t value, uint16_t index, uint16_t length,
                       std::vector<uint8_t>& descriptor) {
        std::vector<uint8_t> buffer(sizeof(USB_DESCRIPTOR_REQUEST) + length, 0);
        auto* request = reinterpret_cast<USB_DESCRIPTOR_REQUEST*>(buffer.data());
        request->ConnectionIndex = port;
        request->SetupPacket.bmRequest = 0x80;  // device to host, standard, device
        request->SetupPacket.bRequest = USB_REQUEST_GET_DESCRIPTOR;
        request->SetupPacket.wValue = value;
        request->SetupPacket.wIndex = index;
        request->SetupPacket.wLength = length;
        DWORD returned = 0;
        const HResult hr = Ioctl(handle_.Get(), IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, buffer.data(),
                                 static_cast<DWORD>(buffer.size()), &returned);
        if (Failed(hr)) return hr;
        const std::size_t head = offsetof(USB_DESCRIPTOR_REQUEST, Data);
        const std::size_t got = returned > head ? returned - head : 0;
        descriptor.assign(buffer.begin() + static_cast<std::ptrdiff_t>(head),
                          buffer.begin() + static_cast<std::ptrdiff_t>(head + std::min<std::size_t>(got, length)));
        return HR_S_OK;
    }

    Handle handle_;
};

HANDLE OpenDevice(const std::string& path) {
    return CreateFileW(Utf16(path).c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

}  // namespace

HResult OpenUsbHostController(uint32_t number, std::shared_ptr<UsbHostController>& hc) {
    hc.reset();
    HANDLE h = OpenDevice("\\\\.\\HCD" + std::to_string(number));
    if (h == INVALID_HANDLE_VALUE) return LastErrorResult();
    hc = std::make_shared<WinHostController>(h);
    return HR_S_OK;
}

HResult OpenUsbHub(const std::string& path, std::shared_ptr<UsbHub>& hub) {
    hub.reset();
    HANDLE h = OpenDevice(path);
    if (h == INVALID_HANDLE_VALUE) return LastErrorResult();
    hub = std::make_shared<WinHub>(h);
    return HR_S_OK;
}

HResult ReadDeviceInfoSet(DeviceSetKind kind, std::shared_ptr<DeviceInfoSet>& set) {
    set.reset();
    HDEVINFO devices = kind == DeviceSetKind::UsbEnumerator
                           ? SetupDiGetClassDevsW(nullptr, L"USB", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES)
                           : SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USB_DEVICE, nullptr, nullptr,
                                                  DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (devices == INVALID_HANDLE_VALUE) return LastErrorResult();
    std::vector<DeviceInfoSnapshot::Entry> entries;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof(info);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(devices, i, &info); ++i) {
        DeviceInfoSnapshot::Entry entry;
        WCHAR id[MAX_DEVICE_ID_LEN + 1] = {};
        if (SetupDiGetDeviceInstanceIdW(devices, &info, id, MAX_DEVICE_ID_LEN, nullptr)) entry.instanceId = Utf8(id);
        WCHAR container[64] = {};
        if (SetupDiGetDeviceRegistryPropertyW(devices, &info, SPDRP_BASE_CONTAINERID, nullptr,
                                              reinterpret_cast<PBYTE>(container), sizeof(container) - sizeof(WCHAR),
                                              nullptr)) {
            entry.containerId = Utf8(container);
        }
        entries.push_back(std::move(entry));
    }
    SetupDiDestroyDeviceInfoList(devices);
    set = std::make_shared<DeviceInfoSnapshot>(std::move(entries));
    return HR_S_OK;
}

}  // namespace sv::platform::win
