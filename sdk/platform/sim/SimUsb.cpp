#include "platform/sim/SimUsb.h"

#include <fmt/format.h>

namespace sv::sim {

using platform::HResult;

namespace {

// UTF-16LE string descriptor of ASCII text.
std::vector<uint8_t> StringDescriptor(const std::string& text) {
    const size_t chars = std::min<size_t>(text.size(), 126);
    std::vector<uint8_t> d;
    d.push_back(static_cast<uint8_t>(2 + chars * 2));
    d.push_back(3);
    for (size_t i = 0; i < chars; ++i) {
        d.push_back(static_cast<uint8_t>(text[i]));
        d.push_back(0);
    }
    return d;
}

// A video function's configuration: header, interface association, control and
// streaming interfaces.
std::vector<uint8_t> VideoConfiguration() {
    return {9, 2, 35, 0, 2, 1, 0, 0x80, 250,   // configuration, 35 bytes, 2 interfaces, 500 mA
            8, 11, 0, 2, 0x0E, 3, 0, 2,        // interface association: video
            9, 4, 0, 0, 1, 0x0E, 1, 0, 2,      // video control
            9, 4, 1, 0, 1, 0x0E, 2, 0, 0};     // video streaming
}

std::vector<uint8_t> HubConfiguration() {
    return {9, 2, 25, 0, 1, 1, 0, 0xE0, 0,   // self-powered
            9, 4, 0, 0, 1, 9, 0, 0, 0,       // hub interface
            7, 5, 0x81, 3, 2, 0, 12};        // status change endpoint
}

class SimHostController final : public platform::UsbHostController {
public:
    SimHostController(std::shared_ptr<SimMachine> m, uint32_t number) : m_(std::move(m)), number_(number) {}

    HResult GetDriverKeyName(std::string& name) override {
        name = fmt::format("{{36fc9e60-c465-11cf-8056-444553540000}}\\{:04}", number_);
        return platform::HR_S_OK;
    }
    HResult GetRootHubName(std::string& name) override {
        const SimHub* hub = m_->RootHub(number_);
        if (hub == nullptr) return platform::HR_ERROR_GEN_FAILURE;
        name = hub->name;
        return platform::HR_S_OK;
    }

private:
    std::shared_ptr<SimMachine> m_;
    uint32_t number_;
};

class SimUsbHub final : public platform::UsbHub {
public:
    SimUsbHub(std::shared_ptr<SimMachine> m, const SimHub& hub) : m_(std::move(m)), hub_(hub) {}

    HResult GetNodeInformation(platform::UsbHubInformation& info) override {
        info.portCount = hub_.ports;
        info.busPowered = false;
        return platform::HR_S_OK;
    }

    HResult GetNodeConnectionInformation(uint32_t port, platform::UsbConnectionInfo& info) override {
        const HResult hr = Connection(port, "usb.connection", info);
        // The plain record cannot tell SuperSpeed.
        if (hr == platform::HR_S_OK && info.speed > platform::UsbHighSpeed) info.speed = platform::UsbHighSpeed;
        return hr;
    }

    HResult GetNodeConnectionInformationEx(uint32_t port, platform::UsbConnectionInfo& info) override {
        return Connection(port, "usb.connectionEx", info);
    }

    HResult GetNodeConnectionInformationExV2(uint32_t port, uint32_t requestedProtocols,
                                             platform::UsbConnectionInfoV2& info) override {
        if (port == 0 || port > hub_.ports) return platform::HR_E_INVALIDARG;
        info = platform::UsbConnectionInfoV2{};
        info.port = port;
        Occupant o = Find(port);
        if (o.device) {
            const HResult hr = m_->CheckFault(*o.device, "usb.connectionExV2");
            if (hr != platform::HR_S_OK) return hr;
        }
        const UsbPlacement* p = o.device ? &o.device->desc.usb : (o.hub ? &o.hub->usb : nullptr);
        if (p == nullptr) return platform::HR_S_OK;
        const bool usb3 = p->speed >= platform::UsbSuperSpeed || p->superSpeedFlags != 0;
        info.supportedProtocols =
            requestedProtocols & (platform::kUsbProtocol110 | platform::kUsbProtocol200 | (usb3 ? platform::kUsbProtocol300 : 0));
        info.flags = p->superSpeedFlags;
        if (p->speed >= platform::UsbSuperSpeed) {
            info.flags |= platform::kUsbOperatingAtSuperSpeedOrHigher | platform::kUsbSuperSpeedCapableOrHigher;
        }
        return platform::HR_S_OK;
    }

    HResult GetNodeConnectionName(uint32_t port, std::string& hubName) override {
        if (port == 0 || port > hub_.ports) return platform::HR_E_INVALIDARG;
        Occupant o = Find(port);
        if (o.hub == nullptr) return platform::HR_E_INVALIDARG;
        hubName = o.hub->name;
        return platform::HR_S_OK;
    }

    HResult GetConfigurationDescriptor(uint32_t port, uint16_t length, std::vector<uint8_t>& descriptor) override {
        if (port == 0 || port > hub_.ports) return platform::HR_E_INVALIDARG;
        Occupant o = Find(port);
        if (!o.device && !o.hub) return platform::HR_ERROR_GEN_FAILURE;
        descriptor = o.device ? VideoConfiguration() : HubConfiguration();
        if (descriptor.size() > length) descriptor.resize(length);
        return platform::HR_S_OK;
    }

    HResult GetStringDescriptor(uint32_t port, uint8_t index, uint16_t languageId, uint16_t length,
                                std::vector<uint8_t>& descriptor) override {
        if (port == 0 || port > hub_.ports) return platform::HR_E_INVALIDARG;
        Occupant o = Find(port);
        if (!o.device) return platform::HR_ERROR_GEN_FAILURE;  // hubs here carry no strings
        const DeviceDescription& s = o.device->desc;
        if (index == 0) {
            descriptor = {4, 3, 0x09, 0x04};
        } else if (languageId != 0x0409) {
            return platform::HR_ERROR_GEN_FAILURE;
        } else if (index == 1) {
            descriptor = StringDescriptor(s.manufacturer);
        } else if (index == 2) {
            descriptor = StringDescriptor(s.product);
        } else if (index == 3 && s.hasSerial) {
            descriptor = StringDescriptor(s.serial);
        } else {
            return platform::HR_ERROR_GEN_FAILURE;  // the device stalls
        }
        if (descriptor.size() > length) descriptor.resize(length);
        return platform::HR_S_OK;
    }

private:
    struct Occupant {
        std::shared_ptr<SimDevice> device;
        const SimHub* hub = nullptr;
    };

    Occupant Find(uint32_t port) {
        Occupant o;
        std::lock_guard<std::mutex> lock(m_->Mutex());
        for (const auto& d : m_->Devices()) {
            if (d->present && d->desc.usb.HubKey() == hub_.id && d->desc.usb.port == port) o.device = d;
        }
        for (const auto& h : m_->Hubs()) {
            if (!h.root && h.usb.HubKey() == hub_.id && h.usb.port == port) o.hub = &h;
        }
        return o;
    }

    HResult Connection(uint32_t port, const char* op, platform::UsbConnectionInfo& info) {
        if (port == 0 || port > hub_.ports) return platform::HR_E_INVALIDARG;
        info = platform::UsbConnectionInfo{};
        info.port = port;
        Occupant o = Find(port);
        if (o.device) {
            const HResult hr = m_->CheckFault(*o.device, op);
            if (hr != platform::HR_S_OK) return hr;
            const DeviceDescription& s = o.device->desc;
            info.connected = true;
            info.vendorId = s.vendorId;
            info.productId = s.productId;
            info.bcdUsb = s.usb.speed >= platform::UsbSuperSpeed || s.usb.superSpeedFlags != 0 ? 0x0320 : 0x0200;
            info.manufacturerIndex = 1;
            info.productIndex = 2;
            info.serialIndex = s.hasSerial ? 3 : 0;
            info.speed = s.usb.speed;
        } else if (o.hub) {
            info.connected = true;
            info.isHub = true;
            info.vendorId = o.hub->vendorId;
            info.productId = o.hub->productId;
            info.bcdUsb = o.hub->usb.speed >= platform::UsbSuperSpeed ? 0x0320 : 0x0200;
            info.speed = o.hub->usb.speed;
        }
        return platform::HR_S_OK;
    }

    std::shared_ptr<SimMachine> m_;
    const SimHub hub_;
};

class SimDeviceInfoSet final : public platform::DeviceInfoSet {
public:
    struct Entry {
        std::string instanceId;
        std::string containerId;
        std::shared_ptr<SimDevice> device;  // for faults; null for hubs
    };

    SimDeviceInfoSet(std::shared_ptr<SimMachine> m, std::vector<Entry> entries)
        : m_(std::move(m)), entries_(std::move(entries)) {}

    uint32_t GetDeviceCount() const override { return static_cast<uint32_t>(entries_.size()); }

    HResult GetDeviceInstanceId(uint32_t index, std::string& instanceId) override {
        if (index >= entries_.size()) return platform::HR_ERROR_NO_MORE_ITEMS;
        const Entry& e = entries_[index];
        if (e.device) {
            const HResult hr = m_->CheckFault(*e.device, "instanceId");
            if (hr != platform::HR_S_OK) return hr;
        }
        instanceId = e.instanceId;
        return platform::HR_S_OK;
    }

    HResult GetContainerId(uint32_t index, std::string& containerId) override {
        if (index >= entries_.size()) return platform::HR_ERROR_NO_MORE_ITEMS;
        const Entry& e = entries_[index];
        if (e.device) {
            const HResult hr = m_->CheckFault(*e.device, "containerId");
            if (hr != platform::HR_S_OK) return hr;
        }
        containerId = e.containerId;
        return platform::HR_S_OK;
    }

private:
    std::shared_ptr<SimMachine> m_;
    std::vector<Entry> entries_;
};

}  // namespace

HResult OpenSimHostController(const std::shared_ptr<SimMachine>& machine, uint32_t number,
                              std::shared_ptr<platform::UsbHostController>& hc) {
    hc.reset();
    if (number >= machine->ControllerCount()) return platform::HR_ERROR_FILE_NOT_FOUND;
    hc = std::make_shared<SimHostController>(machine, number);
    return platform::HR_S_OK;
}

HResult OpenSimHub(const std::shared_ptr<SimMachine>& machine, const std::string& path,
                   std::shared_ptr<platform::UsbHub>& hub) {
    hub.reset();
    std::string name = path;
    if (name.rfind("\\\\.\\", 0) == 0) name = name.substr(4);
    const SimHub* h = machine->FindHubByName(name);
    if (h == nullptr) return platform::HR_ERROR_FILE_NOT_FOUND;
    hub = std::make_shared<SimUsbHub>(machine, *h);
    return platform::HR_S_OK;
}

HResult GetSimClassDevs(const std::shared_ptr<SimMachine>& machine, platform::DeviceSetKind kind,
                        std::shared_ptr<platform::DeviceInfoSet>& set) {
    std::vector<SimDeviceInfoSet::Entry> entries;
    const bool all = kind == platform::DeviceSetKind::UsbEnumerator;
    for (const auto& h : machine->Hubs()) {
        if (h.root && !all) continue;  // root hubs expose the hub class only
        entries.push_back({h.instanceId, h.containerId, nullptr});
    }
    std::lock_guard<std::mutex> lock(machine->Mutex());
    for (const auto& d : machine->Devices()) {
        if (!d->present) continue;
        entries.push_back({d->parentInstanceId, d->desc.containerId, d});
        if (all) entries.push_back({d->interfaceInstanceId, d->desc.containerId, d});
    }
    set = std::make_shared<SimDeviceInfoSet>(machine, std::move(entries));
    return platform::HR_S_OK;
}

}  // namespace sv::sim
