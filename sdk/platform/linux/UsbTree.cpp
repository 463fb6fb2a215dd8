#include "platform/linux/UsbTree.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include <fmt/format.h>

namespace sv::platform::v4l2 {
namespace {

namespace fs = std::filesystem;

std::string Attribute(const fs::path& folder, const char* name) {
    std::ifstream in(folder / name);
    std::string line;
    if (!in || !std::getline(in, line)) return "";
    const auto notSpace = [](unsigned char c) { return std::isspace(c) == 0; };
    line.erase(line.begin(), std::find_if(line.begin(), line.end(), notSpace));
    line.erase(std::find_if(line.rbegin(), line.rend(), notSpace).base(), line.end());
    return line;
}

unsigned long Number(const fs::path& folder, const char* name, int base) {
    const std::string text = Attribute(folder, name);
    if (text.empty()) return 0;
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str(), &end, base);
    return end == text.c_str() ? 0 : v;
}

// "2.10" -> 0x0210.
uint16_t BcdOf(const std::string& version) {
    const auto dot = version.find('.');
    if (dot == std::string::npos) return 0;
    const unsigned long major = std::strtoul(version.substr(0, dot).c_str(), nullptr, 10);
    const std::string minor = version.substr(dot + 1);
    const unsigned long tens = minor.size() > 0 ? static_cast<unsigned long>(minor[0] - '0') : 0;
    const unsigned long units = minor.size() > 1 ? static_cast<unsigned long>(minor[1] - '0') : 0;
    return static_cast<uint16_t>(((major / 10 % 10) << 12) | ((major % 10) << 8) | ((tens & 0xF) << 4) | (units & 0xF));
}

std::vector<uint8_t> ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return {};
    std::vector<uint8_t> bytes(65536);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

fs::path DevicesFolder(SysCalls& calls) { return fs::path(calls.SysfsRoot()) / "bus" / "usb" / "devices"; }

// A sysfs device name, without interfaces ("1-2:1.0") or anything odd.
bool IsDeviceName(const std::string& name) {
    return !name.empty() && name.find(':') == std::string::npos && name.find('/') == std::string::npos &&
           name != "." && name != "..";
}

// The name of the device on `port` of hub `hub` ("usb1" -> "1-2", "1-2" -> "1-2.4").
std::string ChildName(const std::string& hub, uint32_t port) {
    if (hub.rfind("usb", 0) == 0) return fmt::format("{}-{}", hub.substr(3), port);
    return fmt::format("{}.{}", hub, port);
}

class SysfsHostController final : public UsbHostController {
public:
    SysfsHostController(std::string rootHub, std::string controller)
        : rootHub_(std::move(rootHub)), controller_(std::move(controller)) {}
    HResult GetDriverKeyName(std::string& name) override {
        name = controller_;
        return HR_S_OK;
    }
    HResult GetRootHubName(std::string& name) override {
        name = rootHub_;
        return HR_S_OK;
    }

private:
    std::string rootHub_;
    std::string controller_;
};

class SysfsHub final : public UsbHub {
public:
    SysfsHub(fs::path devices, std::string name) : devices_(std::move(devices)), name_(std::move(name)) {}

    HResult GetNodeInformation(UsbHubInformation& info) override {
        const fs::path folder = devices_ / name_;
        info.portCount = static_cast<uint8_t>(std::min<unsigned long>(Number(folder, "maxchild", 10), 255));
        info.busPowered = (Number(folder, "bmAttributes", 16) & 0x40) == 0;
        return HR_S_OK;
    }

    HResult GetNodeConnectionInformation(uint32_t port, UsbConnectionInfo& info) override {
        const HResult hr = Connection(port, info);
        // The plain record cannot tell SuperSpeed.
        if (Succeeded(hr) && info.speed > UsbHighSpeed) info.speed = UsbHighSpeed;
        return hr;
    }
    HResult GetNodeConnectionInformationEx(uint32_t port, UsbConnectionInfo& info) override {
        return Connection(port, info);
    }

    HResult GetNodeConnectionInformationExV2(uint32_t port, uint32_t requestedProtocols,
                                             UsbConnectionInfoV2& info) override {
        info = UsbConnectionInfoV2{};
        if (!ValidPort(port)) return HR_E_INVALIDARG;
        info.port = port;
        fs::path folder;
        if (!Child(port, folder)) return HR_S_OK;
        const bool usb3 = BcdOf(Attribute(folder, "version")) >= 0x0300;
        const double mbps = std::strtod(Attribute(folder, "speed").c_str(), nullptr);
        info.supportedProtocols = requestedProtocols & (kUsbProtocol110 | kUsbProtocol200 | (usb3 ? kUsbProtocol300 : 0));
        if (usb3) info.flags |= kUsbSuperSpeedCapableOrHigher;
        if (mbps >= 5000) info.flags |= kUsbOperatingAtSuperSpeedOrHigher;
        if (mbps >= 10000) info.flags |= kUsbOperatingAtSuperSpeedPlusOrHigher | kUsbSuperSpeedPlusCapableOrHigher;
        return HR_S_OK;
    }

    HResult GetNodeConnectionName(uint32_t port, std::string& hubName) override {
        fs::path folder;
        if (!ValidPort(port) || !Child(port, folder) || Number(folder, "bDeviceClass", 16) != 0x09) {
            return HR_E_INVALIDARG;
        }
        hubName = ChildName(name_, port);
        return HR_S_OK;
    }

    HResult GetConfigurationDescriptor(uint32_t port, uint16_t length, std::vector<uint8_t>& descriptor) override {
        descriptor.clear();
        fs::path folder;
        if (!ValidPort(port) || !Child(port, folder)) return HR_ERROR_GEN_FAILURE;
        const std::vector<uint8_t> bytes = ReadBytes(folder / "descriptors");
        if (bytes.size() < 18 + 4) return HR_ERROR_GEN_FAILURE;
        const std::size_t total = std::min<std::size_t>(bytes[18 + 2] | (bytes[18 + 3] << 8), bytes.size() - 18);
        descriptor.assign(bytes.begin() + 18, bytes.begin() + static_cast<std::ptrdiff_t>(18 + std::min<std::size_t>(total, length)));
        return HR_S_OK;
    }

    HResult GetStringDescriptor(uint32_t port, uint8_t index, uint16_t, uint16_t length,
                                std::vector<uint8_t>& descriptor) override {
        descriptor.clear();
        fs::path folder;
        if (!ValidPort(port) || !Child(port, folder)) return HR_ERROR_GEN_FAILURE;
        const std::vector<uint8_t> device = ReadBytes(folder / "descriptors");
        std::u16string text;
        if (index == 0) {
            text = u"\u0409";  // the language list: US English
        } else if (device.size() >= 18 && index == device[14]) {
            text = Utf16(Attribute(folder, "manufacturer"));
        } else if (device.size() >= 18 && index == device[15]) {
            text = Utf16(Attribute(folder, "product"));
        } else if (device.size() >= 18 && index == device[16]) {
            text = Utf16(Attribute(folder, "serial"));
        } else {
            return HR_ERROR_GEN_FAILURE;
        }
        std::vector<uint8_t> bytes = {static_cast<uint8_t>(std::min<std::size_t>(2 + 2 * text.size(), 254)), 3};
        for (char16_t c : text) {
            if (bytes.size() + 2 > 254) break;
            bytes.push_back(static_cast<uint8_t>(c & 0xFF));
            bytes.push_back(static_cast<uint8_t>(c >> 8));
        }
        bytes.resize(std::min<std::size_t>(bytes.size(), length));
        descriptor = std::move(bytes);
        return HR_S_OK;
    }

private:
    // Only ASCII reaches this far in device strings worth showing; other
    // bytes are kept as they are.
    static std::u16string Utf16(const std::string& text) { return std::u16string(text.begin(), text.end()); }

    bool ValidPort(uint32_t port) {
        UsbHubInformation info;
        (void)GetNodeInformation(info);
        return port >= 1 && port <= info.portCount;
    }

    bool Child(uint32_t port, fs::path& folder) {
        folder = devices_ / ChildName(name_, port);
        std::error_code ec;
        return fs::exists(folder / "idVendor", ec);
    }

    HResult Connection(uint32_t port, UsbConnectionInfo& info) {
        info = UsbConnectionInfo{};
        if (!ValidPort(port)) return HR_E_INVALIDARG;
        info.port = port;
        fs::path folder;
        if (!Child(port, folder)) return HR_S_OK;  // nothing connected
        info.connected = true;
        info.isHub = Number(folder, "bDeviceClass", 16) == 0x09;
        info.vendorId = static_cast<uint16_t>(Number(folder, "idVendor", 16));
        info.productId = static_cast<uint16_t>(Number(folder, "idProduct", 16));
        info.bcdUsb = BcdOf(Attribute(folder, "version"));
        const std::vector<uint8_t> device = ReadBytes(folder / "descriptors");
        if (device.size() >= 18) {
            info.manufacturerIndex = device[14];
            info.productIndex = device[15];
            info.serialIndex = device[16];
        }
        info.speed = SpeedCodeOf(Attribute(folder, "speed"));
        return HR_S_OK;
    }

    fs::path devices_;
    std::string name_;
};

}  // namespace

uint8_t SpeedCodeOf(const std::string& mbps) {
    const double v = std::strtod(mbps.c_str(), nullptr);
    if (v >= 5000) return UsbSuperSpeed;
    if (v >= 480) return UsbHighSpeed;
    if (v >= 12) return UsbFullSpeed;
    return UsbLowSpeed;
}

HResult OpenUsbHostController(SysCalls& calls, uint32_t number, std::shared_ptr<UsbHostController>& hc) {
    hc.reset();
    std::vector<std::pair<unsigned long, std::string>> roots;
    std::error_code ec;
    const fs::path devices = DevicesFolder(calls);
    for (fs::directory_iterator it(devices, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("usb", 0) != 0 || name.size() == 3) continue;
        char* endp = nullptr;
        const unsigned long bus = std::strtoul(name.c_str() + 3, &endp, 10);
        if (*endp != '\0') continue;
        roots.emplace_back(bus, name);
    }
    std::sort(roots.begin(), roots.end());
    if (number >= roots.size()) return HR_ERROR_FILE_NOT_FOUND;
    const std::string& root = roots[number].second;
    // The controller is the PCI (or platform) device above the root hub.
    const fs::path real = fs::canonical(devices / root, ec);
    const std::string controller = ec ? root : real.parent_path().filename().string();
    hc = std::make_shared<SysfsHostController>(root, controller);
    return HR_S_OK;
}

HResult OpenUsbHub(SysCalls& calls, const std::string& path, std::shared_ptr<UsbHub>& hub) {
    hub.reset();
    const std::string prefix = "\\\\.\\";
    const std::string name = path.rfind(prefix, 0) == 0 ? path.substr(prefix.size()) : path;
    const fs::path devices = DevicesFolder(calls);
    std::error_code ec;
    if (!IsDeviceName(name) || !fs::exists(devices / name / "maxchild", ec) ||
        Number(devices / name, "bDeviceClass", 16) != 0x09) {
        return HR_ERROR_FILE_NOT_FOUND;
    }
    hub = std::make_shared<SysfsHub>(devices, name);
    return HR_S_OK;
}

}  // namespace sv::platform::v4l2
