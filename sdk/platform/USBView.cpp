#include "platform/USBView.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "base/LegacyLog.h"
#include "base/Logger.h"

namespace sv::platform {
namespace {

constexpr uint32_t kMaxHostControllers = 10;
constexpr std::size_t kMaxHubName = 255;
constexpr std::size_t kMaxSerial = 32;
constexpr uint16_t kConfigHeaderLength = 9;
constexpr uint16_t kStringDescriptorLength = 255;

void ReadStringDescriptor(UsbHub& hub, uint32_t port, uint8_t index, uint16_t language) {
    if (index == 0) return;
    std::vector<uint8_t> descriptor;
    // The text plays no part in the walk; the request is made as the device
    // would see it from any USB viewer.
    (void)hub.GetStringDescriptor(port, index, language, kStringDescriptorLength, descriptor);
}

constexpr const char* kSerialWhere = "USBView::GetUSBDeviceSerialNumber";

// A failure of the serial lookup, on the library logger or, for the legacy
// interface, as a printf-style line on the legacy channel.
void SerialLookupError(bool legacy, int line, const char* text) {
    if (legacy) {
        sv::SzLogChannel::Instance()->Error("[%s][%d] %s", kSerialWhere, line, text);
    } else {
        SV_LOGE(kSerialWhere, "{}", text);
    }
}

void SerialLookupTrace(bool legacy, int line, uint32_t position, const char* what, const std::string& text) {
    if (legacy) {
        sv::SzLogChannel::Instance()->Trace("[%s][%d] [%d]: %s%s", kSerialWhere, line, static_cast<int>(position), what,
                                            text.c_str());
    }
}

}  // namespace

const char* UsbSpeedName(uint8_t code) {
    switch (code) {
    case 0: return "LowSpeed";
    case 1: return "FullSpeed";
    case 2: return "HighSpeed";
    case 3: return "SuperSpeed";
    default: return "NA";
    }
}

USBView::USBView(std::shared_ptr<Backend> backend) : backend_(std::move(backend)) {}

bool USBView::EnumerateHostControllers(UsbPortInfo& info) {
    for (uint32_t i = 0; i < kMaxHostControllers; ++i) {
        std::shared_ptr<UsbHostController> controller;
        if (Failed(backend_->OpenHostController(i, controller)) || !controller) return false;
        std::string driverKey;
        // A name that would not fill the size probe (shorter than 7 bytes with
        // its header) ends the walk, as an empty one does.
        if (Failed(controller->GetDriverKeyName(driverKey)) || driverKey.empty()) return false;
        std::string rootHub;
        if (Failed(controller->GetRootHubName(rootHub)) || rootHub.empty()) return false;
        EnumerateHub(rootHub, "Root Hub", info);
    }
    return true;
}

void USBView::EnumerateHub(const std::string& hubName, const char* label, UsbPortInfo& info) {
    const std::string path = "\\\\.\\" + hubName.substr(0, kMaxHubName);
    auto legacy = SzLogChannel::Instance();
    legacy->Debug("[%s][%d] %s: %s", "USBView::EnumerateHub", __LINE__, label, path.c_str());

    std::shared_ptr<UsbHub> hub;
    if (Failed(backend_->OpenHub(path, hub)) || !hub) {
        legacy->Debug("[%s][%d] CreateFile Fail", "USBView::EnumerateHub", __LINE__);
        return;
    }
    UsbHubInformation hubInfo;
    if (Failed(hub->GetNodeInformation(hubInfo))) {
        legacy->Debug("[%s][%d] nDeviceIoControl Fail", "USBView::EnumerateHub", __LINE__);
        return;
    }
    EnumerateHubPorts(*hub, hubInfo.portCount, info);
}

void USBView::EnumerateHubPorts(UsbHub& hub, uint8_t portCount, UsbPortInfo& info) {
    const uint16_t language = backend_->GetSystemDefaultLangId();
    for (uint32_t port = 1; port <= portCount; ++port) {
        UsbConnectionInfo connection;
        if (Failed(hub.GetNodeConnectionInformation(port, connection)) || !connection.connected) continue;

        std::vector<uint8_t> config;
        if (Succeeded(hub.GetConfigurationDescriptor(port, kConfigHeaderLength, config)) &&
            config.size() >= 4) {
            const uint16_t total = static_cast<uint16_t>(config[2] | (config[3] << 8));
            if (total > 8) (void)hub.GetConfigurationDescriptor(port, total, config);
        }

        if (connection.isHub) {
            std::string childHub;
            if (Succeeded(hub.GetNodeConnectionName(port, childHub)) && !childHub.empty()) {
                EnumerateHub(childHub, " - External Hub", info);
            }
        }

        ReadStringDescriptor(hub, port, connection.productIndex, language);
        ReadStringDescriptor(hub, port, connection.manufacturerIndex, language);

        if (connection.vendorId != info.vendorId || connection.productId != info.productId) continue;

        UsbConnectionInfoV2 v2;
        const bool haveV2 = Succeeded(hub.GetNodeConnectionInformationExV2(port, kUsbProtocol300, v2)) &&
                            v2.length >= 16;
        UsbConnectionInfo extended;
        if (Failed(hub.GetNodeConnectionInformationEx(port, extended))) continue;

        uint8_t speed = extended.speed;
        if (speed == UsbHighSpeed && haveV2 &&
            (v2.flags & (kUsbOperatingAtSuperSpeedOrHigher | kUsbOperatingAtSuperSpeedPlusOrHigher))) {
            speed = UsbSuperSpeed;
        }
        info.speed = speed;
        info.speedName = UsbSpeedName(speed);
        SzLogChannel::Instance()->Debug("[%s][%d] [PORT%d]: connectionInfoEx: Speed=0x%02X %s",
                                        "USBView::EnumerateHubPorts", __LINE__, static_cast<int>(port),
                                        static_cast<unsigned>(speed), info.speedName.c_str());
    }
}

// Visits the instance id of every device of a set; -1 (logged) when the set or
// an instance id cannot be read, or when `visit` answers -1.
int USBView::ForEachInstanceId(DeviceSetKind kind, bool legacyLines,
                               const std::function<int(DeviceInfoSet&, uint32_t, const std::string&)>& visit) {
    std::shared_ptr<DeviceInfoSet> set;
    if (Failed(backend_->GetClassDevs(kind, set)) || !set) {
        SerialLookupError(legacyLines, __LINE__, "Get class devices fail");
        return -1;
    }
    for (uint32_t i = 0; i < set->GetDeviceCount(); ++i) {
        std::string instanceId;
        if (Failed(set->GetDeviceInstanceId(i, instanceId))) {
            SerialLookupError(legacyLines, __LINE__, "Get device instance ID fail");
            return -1;
        }
        if (visit(*set, i, instanceId) != 0) return -1;
    }
    return 0;
}

int USBView::GetUSBDeviceSerialNumber(UsbPortInfo& info, uint16_t vendorId, uint16_t productId,
                                      const std::string& devicePath) {
    return GetUSBDeviceSerialNumberForKey(info, vendorId, productId,
                                          identity::InstanceKeyFromDevicePath(devicePath), false);
}

int USBView::GetUSBDeviceSerialNumberForKey(UsbPortInfo& info, uint16_t vendorId, uint16_t productId,
                                            const std::string& instanceKey, bool legacyLines) {
    auto readContainer = [&](DeviceInfoSet& set, uint32_t i, std::string& container) {
        if (Succeeded(set.GetContainerId(i, container))) {
            SerialLookupTrace(legacyLines, __LINE__, i, "BASE_CONTAINERID: ", container);
            return 0;
        }
        SerialLookupError(legacyLines, __LINE__, "Get Device Registry Property Fail");
        return -1;
    };

    // Pass 1: the video interface's instance key to the container id of its device.
    std::string containerId;
    int result = ForEachInstanceId(DeviceSetKind::UsbEnumerator, legacyLines, [&](DeviceInfoSet& set, uint32_t i,
                                                                                  const std::string& instanceId) {
        uint16_t vid = 0;
        uint16_t pid = 0;
        std::string tail;
        if (!identity::ParseInterfaceInstanceId(instanceId, vid, pid, tail)) return 0;
        SerialLookupTrace(legacyLines, __LINE__, i, "", instanceId);
        if (vid != vendorId || pid != productId || tail != instanceKey) return 0;
        SerialLookupTrace(legacyLines, __LINE__, i, "", instanceId);
        return readContainer(set, i, containerId);  // a later match replaces it
    });
    if (result != 0) return -1;

    // Pass 2: the physical device with that container id carries the serial.
    return ForEachInstanceId(DeviceSetKind::UsbDeviceInterface, legacyLines, [&](DeviceInfoSet& set, uint32_t i,
                                                                                 const std::string& instanceId) {
        uint16_t vid = 0;
        uint16_t pid = 0;
        std::string serial;
        if (!identity::ParseDeviceInstanceId(instanceId, vid, pid, serial)) return 0;
        SerialLookupTrace(legacyLines, __LINE__, i, "", instanceId);
        if (vid != vendorId || pid != productId) return 0;
        std::string deviceContainer;
        if (readContainer(set, i, deviceContainer) != 0) return -1;
        if (!containerId.empty() && deviceContainer == containerId) {
            std::memset(info.serialNumber, 0, sizeof(info.serialNumber));
            std::memcpy(info.serialNumber, serial.data(), std::min(serial.size(), kMaxSerial));
        }
        return 0;
    });
}

namespace identity {

bool ParseHex4(const std::string& text, std::size_t pos, uint16_t& value) {
    if (pos + 4 > text.size()) return false;
    uint16_t v = 0;
    for (std::size_t i = pos; i < pos + 4; ++i) {
        const char c = text[i];
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        const int digit = std::isdigit(static_cast<unsigned char>(c))
                              ? c - '0'
                              : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        v = static_cast<uint16_t>((v << 4) | digit);
    }
    value = v;
    return true;
}

std::string InstanceKeyFromDevicePath(const std::string& devicePath) {
    const auto first = devicePath.find('#');
    if (first == std::string::npos) return "";
    const auto second = devicePath.find('#', first + 1);
    if (second == std::string::npos) return "";
    const auto third = devicePath.find('#', second + 1);
    std::string key = devicePath.substr(second + 1, third == std::string::npos ? std::string::npos
                                                                               : third - second - 1);
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return key;
}

bool ParseInterfaceInstanceId(const std::string& instanceId, uint16_t& vid, uint16_t& pid,
                              std::string& tail) {
    const auto v = instanceId.find("VID");
    const auto p = instanceId.find("PID");
    if (v == std::string::npos || p == std::string::npos) return false;
    if (!ParseHex4(instanceId, v + 4, vid) || !ParseHex4(instanceId, p + 4, pid)) return false;
    const auto slash = instanceId.find('\\', p);
    if (slash == std::string::npos) return false;
    tail = instanceId.substr(slash + 1);
    return true;
}

bool ParseDeviceInstanceId(const std::string& instanceId, uint16_t& vid, uint16_t& pid,
                           std::string& serial) {
    // "USB\VID_vvvv&PID_pppp\serial": ids at 8 and 17, the serial from 22.
    if (instanceId.size() < 22) return false;
    if (!ParseHex4(instanceId, 8, vid) || !ParseHex4(instanceId, 17, pid)) return false;
    serial = instanceId.substr(22, kMaxSerial);
    return true;
}

}  // namespace identity
}  // namespace sv::platform
