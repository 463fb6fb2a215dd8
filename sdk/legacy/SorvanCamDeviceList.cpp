// The legacy device list with location: name, symbolic link and the USB
// serial number found through the device-installation database.

#include <sorvansdk/SorvanCam.h>

#include <cstdio>
#include <cwctype>
#include <stdexcept>

#include "legacy/SorvanCamInternal.h"
#include "legacy/SzText.h"
#include "platform/USBView.h"
#include "platform/backend/Backend.h"

using namespace sv::platform;
using sv::legacy::Utf8FromWide;

namespace {

uint16_t HexPiece(const std::wstring& text, std::size_t pos) {
    // Throws out_of_range for a hardware id too short, as the list reports it.
    const std::string piece = Utf8FromWide(text.substr(pos, 4));
    return static_cast<uint16_t>(std::strtoul(piece.c_str(), nullptr, 16));
}

// The text between the second and the third "#" (to the end without a
// third), upper-cased.
std::wstring InstanceKey(const std::wstring& path) {
    const auto first = path.find(L'#');
    const auto second = first == std::wstring::npos ? std::wstring::npos : path.find(L'#', first + 1);
    if (second == std::wstring::npos) return L"";
    const auto third = path.find(L'#', second + 1);
    std::wstring key = path.substr(second + 1, third == std::wstring::npos ? std::wstring::npos : third - second - 1);
    for (auto& c : key) c = static_cast<wchar_t>(std::towupper(static_cast<std::wint_t>(c)));
    return key;
}

}  // namespace

int SorvanCam::GetVideoDeviceListWithLocation(std::vector<DeviceListData>& list) {
    constexpr const char* kWhere = "SorvanCam::GetVideoDeviceListWithLocation";
    return sv::legacy::Guarded(kWhere, -1, [&] {
        list.clear();
        (void)GetVideoDevices();
        try {
            USBView usb(GetBackend());
            for (std::size_t n = 0; n < deviceNames.size(); ++n) {
                const int i = static_cast<int>(n);
                const std::wstring name = deviceNames[i];
                const std::wstring path = devicePaths[i];
                if (path.empty()) {
                    list.push_back({name, L"", ""});
                    continue;
                }
                const std::wstring& hwid = hardwareIds[i];
                const uint16_t vid = HexPiece(hwid, 4);
                const uint16_t pid = HexPiece(hwid, 13);
                UsbPortInfo record;
                (void)usb.GetUSBDeviceSerialNumberForKey(record, vid, pid, Utf8FromWide(InstanceKey(path)), true);
                const std::string serial(record.serialNumber);
                SZ_LINE(Trace, kWhere, "Device: %s - %s - %s", Utf8FromWide(name).c_str(), Utf8FromWide(path).c_str(),
                        serial.c_str());
                list.push_back({name, path, serial});
            }
        } catch (const std::exception& e) {
            std::printf("%s\n", e.what());
            std::fflush(stdout);
            SZ_LINE(Error, kWhere, "Exception: %s", e.what());
            return -1;
        }
        return 0;
    });
}
