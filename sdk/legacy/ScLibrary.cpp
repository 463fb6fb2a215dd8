// The C functions of the earlier interface that need no camera: the version,
// the legacy channel's level, bootdata headers from files and the USB bridge
// firmware download.

#include <sorvansdk/SorvanCam.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "firmware/CyUSBDevice.h"
#include "firmware/FX3DownloadResult.h"
#include "firmware/SvFX3FirmwareUpgrade.h"
#include "formats/BootdataHeader.h"
#include "legacy/SorvanCamInternal.h"
#include "platform/backend/Backend.h"

using sv::legacy::Guarded;

namespace {

constexpr std::size_t kHeaderV2Size = sizeof(SvHeaderV2);
constexpr std::size_t kHeaderV3Size = sizeof(SvHeaderV3);

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File OpenBootdata(const char* where, const char* path) {
    File file(path ? std::fopen(path, "rb") : nullptr);
    if (!file) SZ_LINE(Error, where, "Open Bootdata File Fail! binfile path=%s", path ? path : "(null)");
    return file;
}

// The whole piece or nothing: the caller's buffer is written only after a
// complete read.
bool ReadWhole(const char* where, std::FILE* file, uint8_t* buffer, std::size_t size) {
    uint8_t piece[256];
    if (size > sizeof(piece) || std::fread(piece, 1, size, file) != size) {
        SZ_LINE(Error, where, "Bootdata file too short: %u bytes expected", static_cast<unsigned>(size));
        return false;
    }
    std::memcpy(buffer, piece, size);
    return true;
}

int HeaderFromFile(const char* where, uint8_t* buffer, const char* path, std::size_t size) {
    if (!buffer) return -1;
    File file = OpenBootdata(where, path);
    if (!file) return -1;
    return ReadWhole(where, file.get(), buffer, size) ? 0 : -1;
}

// ---- USB bridge firmware download ---------------------------------------------

constexpr const char* kFw = "ScStartFWDownload";
constexpr int kSearchAttempts = 10;
constexpr uint32_t kAttemptWaitMs = 1000;
constexpr uint16_t kBridgeVendor = 0x04B4;
constexpr uint16_t kProgrammerId = 0x4720;
constexpr uint8_t kReqRestart = 0xB1;

void Wait(uint32_t ms) { sv::platform::GetBackend()->Sleep(ms); }

void Out(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

void Err(const std::string& text) {
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
}

// Closes the device; a failure to close is logged and becomes -1.
int CloseBridge(sv::firmware::CCyUSBDevice& device, int result) {
    try {
        device.CloseDevice();
    } catch (const std::exception& e) {
        SZ_LINE(Error, kFw, "%s", e.what());
        return -1;
    }
    return result;
}

int StartFWDownload(uint32_t target, const char* path) {
    using sv::firmware::CCyUSBDevice;
    const bool flashTarget = target == 2 || target == 3;
    std::unique_ptr<CCyUSBDevice> device;
    bool found = false;
    bool suitable = false;
    for (int attempt = 0; attempt < kSearchAttempts && !found; ++attempt) {
        if (attempt > 0) Wait(kAttemptWaitMs);
        device.reset();
        try {
            device = std::make_unique<CCyUSBDevice>();
        } catch (const std::bad_alloc&) {
            Err("Error: Failed to create USB Device\n");
            SZ_LINE0(Error, kFw, "Failed to create USB Device");
            return -1;
        }
        const int count = device->DeviceCount();
        for (int i = 0; i < count && !found; ++i) {
            if (!device->Open(static_cast<uint8_t>(i))) continue;
            const uint16_t pid = device->ProductID;
            const bool bootloaderId = device->VendorID == kBridgeVendor && (pid == 0x00F3 || pid == 0x0053);
            if (bootloaderId && device->ProbeBootloader()) {
                found = true;
                if (flashTarget) {
                    Out("Info : Found FX3 USB BootLoader instead of Flash Programmer\n");
                    SZ_LINE0(Info, kFw, "Found FX3 USB BootLoader instead of Flash Programmer");
                } else {
                    Out("Info : Found FX3 USB BootLoader\n");
                    SZ_LINE0(Info, kFw, "Found FX3 USB BootLoader");
                    suitable = true;
                }
            } else if (device->VendorID == kBridgeVendor && pid == kProgrammerId && flashTarget) {
                Out("Info : Found " + device->FriendlyName + "\n");
                SZ_LINE(Info, kFw, "Found %s", device->FriendlyName.c_str());
                found = true;
                suitable = true;
            } else if (CloseBridge(*device, 0) != 0) {
                return -1;
            }
        }
    }

    const char* name = sv::firmware::Fx3TargetName(static_cast<int>(target));
    if (!suitable) {
        if (target == 1) {
            Err("Error: FX3 USB BootLoader Device not found \n");
            SZ_LINE0(Error, kFw, "FX3 USB BootLoader Device not found");
        } else {
            Err(std::string("Error: For downloading firmware image to ") + name +
                " ,first download Flash Programmer image into RAM\n");
            Err(std::string("Info : Flash Programmer device is required for downloading image to ") + name + " \n");
            Err("Note : Flash Programmer image is available in <SuiteUSB Install Path>\\bin directory \n");
            SZ_LINE(Error, kFw, "For downloading firmware image to %s ,first download Flash Programmer image into RAM",
                    name);
        }
        return device && found ? CloseBridge(*device, -1) : -1;
    }
    if (target == 1) {
        Out("Info : Downloading firmware image into internal RAM \n");
        SZ_LINE0(Info, kFw, "Downloading firmware image into internal RAM");
    } else if (flashTarget) {
        Out(std::string("Info : FX3 firmware programming to ") + name + " started. Please wait...\n");
        SZ_LINE(Info, kFw, "FX3 firmware programming to %s started. Please wait...", name);
    } else {
        Err("Error: Invalid Media type\n");
        SZ_LINE0(Error, kFw, "Invalid Media type");
        return CloseBridge(*device, 1);
    }

    const int result = static_cast<int>(device->DownloadImage(path ? path : "", static_cast<int>(target), nullptr));
    if (result != 0) {
        const char* error = sv::firmware::FX3DownloadResultName(result);
        Out(std::string("\nError: Firmware download failed unexpectedly with error code: ") + error);
        SZ_LINE(Error, kFw, "Firmware download failed unexpectedly with error code:  %s", error);
        if (target == 3) {
            Out("Info : Please verify the connection to external SPI device\n");
            Out("Note : CYUSB3KIT-003 EZ-USB FX3 SuperSpeed Explorer Kit does not have onboard SPI FLASH\n");
            SZ_LINE0(Info, kFw, "Please verify the connection to external SPI device");
        }
        return CloseBridge(*device, result);
    }

    // The restart request (one byte in, as the bridge answers it); after a RAM
    // download the bootloader has left the bus, so its result is not used.
    Wait(100);
    sv::firmware::CCyControlEndPoint* ep = device->ControlEndPt.get();
    if (ep) {
        ep->Target = 0;
        ep->ReqType = 2;
        ep->Direction = 1;
        Wait(100);
        ep->ReqCode = kReqRestart;
        Wait(100);
        ep->Value = 0;
        Wait(100);
        ep->Index = 0;
        uint8_t byte = 0;
        int length = 1;
        (void)ep->Transfer(&byte, length);
    }
    Out(std::string("Info : Programming to ") + name + " completed\n");
    SZ_LINE(Info, kFw, "Programming to %s completed", name);
    Wait(10);
    return CloseBridge(*device, 0);
}

}  // namespace

extern "C" {

int ScGetSorvanSDKVersion(char* text) {
    if (!text) return -1;
    try {
        std::snprintf(text, 9, "%d.%d.%d.%d", 25, 3, 0, 1);
    } catch (const std::exception& e) {
        std::printf("%s\n", e.what());
        SZ_LINE(Error, "ScGetSorvanSDKVersion", "GetSorvanSDKVersion... FAIL\n%s", e.what());
    }
    return 0;
}

void ScSetLogLevel(int level) {
    try {
        sv::SzLogChannel::Instance()->SetLevel(level);
    } catch (...) {
    }
}

int ScGetBootdataHeaderFromFile(uint8_t* buffer, const char* path) {
    constexpr const char* kWhere = "ScGetBootdataHeaderFromFile";
    return Guarded(kWhere, -1, [&] { return HeaderFromFile(kWhere, buffer, path, kHeaderV2Size); });
}

int ScGetBootdataHeaderV3FromFile(uint8_t* buffer, const char* path) {
    constexpr const char* kWhere = "ScGetBootdataHeaderV3FromFile";
    return Guarded(kWhere, -1, [&] { return HeaderFromFile(kWhere, buffer, path, kHeaderV3Size); });
}

int ScGetLUMOBootdataHeaderV3FromFile(uint8_t* buffer, const char* path) {
    constexpr const char* kWhere = "ScGetLUMOBootdataHeaderV3FromFile";
    return Guarded(kWhere, -1, [&]() -> int {
        if (!buffer) return -1;
        File file = OpenBootdata(kWhere, path);
        if (!file) return -1;
        sv::formats::BinInfo info{};
        if (!ReadWhole(kWhere, file.get(), reinterpret_cast<uint8_t*>(&info), sizeof(info))) return -1;
        SZ_LINE(Debug, kWhere, "Bin file verison: %d.%d.%d.%d", info.binVersion[0], info.binVersion[1],
                info.binVersion[2], info.binVersion[3]);
        // The control section must lie inside the file, with a header after it.
        if (std::fseek(file.get(), 0, SEEK_END) != 0) return -1;
        const long fileSize = std::ftell(file.get());
        const uint64_t needed = uint64_t{sizeof(info)} + info.controlLen + kHeaderV3Size;
        if (fileSize < 0 || needed > static_cast<uint64_t>(fileSize)) {
            SZ_LINE(Error, kWhere, "Control section of %u bytes leaves no header in a file of %ld bytes",
                    static_cast<unsigned>(info.controlLen), fileSize);
            return -1;
        }
        if (std::fseek(file.get(), static_cast<long>(sizeof(info) + info.controlLen), SEEK_SET) != 0) return -1;
        return ReadWhole(kWhere, file.get(), buffer, kHeaderV3Size) ? 0 : -1;
    });
}

int ScStartFWDownload(uint32_t target, const char* path) {
    return Guarded(kFw, -1, [&] { return StartFWDownload(target, path); });
}

}  // extern "C"
