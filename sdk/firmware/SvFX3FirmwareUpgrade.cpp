#include "firmware/SvFX3FirmwareUpgrade.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <vector>

#include "base/Logger.h"
#include "firmware/CyUSBDevice.h"
#include "firmware/Fx3BootImage.h"
#include "platform/backend/Backend.h"

namespace sv::firmware {

namespace {

constexpr const char* kOp = "SvFX3FirmwareUpgradeWindows::StartFX3FWUpgrade";
constexpr int kSearchPasses = 10;
constexpr uint32_t kPassWaitMs = 1000;
constexpr uint16_t kVendor = 0x04B4;
constexpr uint16_t kBootloaderIds[] = {0x00F3, 0x0053};
constexpr uint16_t kProgrammerId = 0x4720;
constexpr uint8_t kReqRestart = 0xB1;

void Wait(uint32_t ms) { platform::GetBackend()->Sleep(ms); }

void LogDownloadFailure(int target, int code) {
    const std::string text =
        std::string("\nError: Firmware download failed unexpectedly with error code: ") + FX3DownloadResultName(code);
    SV_LOGE(kOp, "{}", text);
    if (target == SV_FX3_FW_TARGET_SPI_FLASH) {
        SV_LOGE(kOp, "Please verify the connection to external SPI device");
        SV_LOGE(kOp, "CYUSB3KIT-003 EZ-USB FX3 SuperSpeed Explorer Kit does not have onboard SPI FLASH");
    }
}

}  // namespace

const char* Fx3TargetName(int target) {
    switch (target) {
        case SV_FX3_FW_TARGET_RAM: return "RAM";
        case SV_FX3_FW_TARGET_I2C_EEPROM: return "I2C";
        case SV_FX3_FW_TARGET_SPI_FLASH: return "SPI";
        default: return "NoTarget";
    }
}

int SvFX3FirmwareUpgradeWindows::StartFX3FWUpgrade(SV_FX3_FW_TARGET target, std::string path,
                                                   std::function<void(int)> progress) {
    try {
        return Run(target, path, progress);
    } catch (const std::exception& e) {
        // A device that could not be closed, or a progress function that threw.
        SV_LOGE(kOp, "{}", e.what());
        return -1;
    }
}

int SvFX3FirmwareUpgradeWindows::Run(SV_FX3_FW_TARGET target, const std::string& path,
                                     const std::function<void(int)>& progress) {
    if (path.empty()) {
        SV_LOGE(kOp, "Firmware binary or target not specified");
        return -1;
    }
    std::vector<uint8_t> image;
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            const int error = errno;  // before the log call can change it
            SV_LOGE(kOp, "Cannot open firmware file: {}", path);
            SV_LOGE(kOp, "{}: {}", path, std::strerror(error));
            return -1;
        }
        image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // A bad image is refused before the bridge is touched.
    const int t = static_cast<int>(target);
    if (t >= 1 && t <= 3) {
        const FX3DownloadResult checked =
            image.empty() ? FX3DownloadResult::InvalidFile : CheckFx3Image(t, image.data(), image.size());
        if (checked != FX3DownloadResult::Success) {
            LogDownloadFailure(t, static_cast<int>(checked));
            return static_cast<int>(checked);
        }
    }

    const bool flashTarget = t == SV_FX3_FW_TARGET_I2C_EEPROM || t == SV_FX3_FW_TARGET_SPI_FLASH;
    std::unique_ptr<CCyUSBDevice> usbDevice;
    bool found = false;
    bool suitable = false;
    for (int pass = 0; pass < kSearchPasses && !found; ++pass) {
        usbDevice.reset();
        try {
            usbDevice = std::make_unique<CCyUSBDevice>();
        } catch (const std::bad_alloc&) {
            SV_LOGE(kOp, "Failed to create USB Device");
            return -1;
        }
        const int count = usbDevice->DeviceCount();
        std::cout << "usbDevice->DeviceCount(): " << count << std::endl;
        if (count == 0) {
            Wait(kPassWaitMs);
            continue;
        }
        for (int i = 0; i < count && !found; ++i) {
            if (!usbDevice->Open(static_cast<uint8_t>(i))) {
                std::cout << "usbDevice->Open(" << i << "): " << std::endl;
                continue;
            }
            if (usbDevice->VendorID != kVendor) {
                SV_LOGD(kOp, "VendorID mismatch: {} != {}", usbDevice->VendorID, kVendor);
                usbDevice->CloseDevice();
                continue;
            }
            const uint16_t pid = usbDevice->ProductID;
            const bool bootloaderId = pid == kBootloaderIds[0] || pid == kBootloaderIds[1];
            if (bootloaderId && usbDevice->ProbeBootloader()) {
                found = true;
                if (flashTarget) {
                    SV_LOGI(kOp, "Found FX3 USB BootLoader instead of Flash Programmer");
                } else {
                    SV_LOGI(kOp, "Found FX3 USB BootLoader");
                    suitable = true;
                }
            } else if (pid == kProgrammerId && flashTarget) {
                SV_LOGI(kOp, "Found {}", usbDevice->FriendlyName);
                found = true;
                suitable = true;
            } else {
                usbDevice->CloseDevice();
            }
        }
        if (!found) Wait(kPassWaitMs);
    }

    const char* name = Fx3TargetName(t);
    if (!suitable) {
        if (t == SV_FX3_FW_TARGET_RAM) {
            SV_LOGE(kOp, "FX3 USB BootLoader Device not found");
        } else {
            SV_LOGE(kOp, "For downloading firmware image to {}, first download Flash Programmer image into RAM", name);
            SV_LOGE(kOp, "Flash Programmer device is required for downloading image to {}", name);
            SV_LOGE(kOp, "Flash Programmer image is available in <SuiteUSB Install Path>\\bin directory");
        }
        usbDevice.reset();
        return -1;
    }
    if (t == SV_FX3_FW_TARGET_RAM) {
        SV_LOGI(kOp, "Downloading firmware image into internal RAM");
    } else if (flashTarget) {
        SV_LOGI(kOp, "FX3 firmware programming to {} started. Please wait...", name);
    } else {
        SV_LOGE(kOp, "Invalid Media type");
        usbDevice->CloseDevice();
        return 1;
    }

    const int r = static_cast<int>(usbDevice->DownloadImage(path, t, progress));
    if (r != 0) {
        LogDownloadFailure(t, r);
        usbDevice->CloseDevice();
        return r;
    }
    SV_LOGI(kOp, "Downloaded");
    // Restart request of the bridge; the bootloader has left the bus after a
    // RAM download, so its answer is not used.
    CCyControlEndPoint* ep = usbDevice->ControlEndPt.get();
    Wait(100);
    if (ep != nullptr) {
        ep->Target = 0;
        ep->ReqType = 2;
        ep->Direction = 1;
        ep->ReqCode = kReqRestart;
    }
    Wait(100);
    if (ep != nullptr) ep->Value = 0;
    Wait(100);
    if (ep != nullptr) ep->Index = 0;
    Wait(100);
    if (ep != nullptr) {
        uint8_t byte = 0;
        int length = 1;
        ep->Transfer(&byte, length);
    }
    SV_LOGI(kOp, "Programming to {} completed", name);
    Wait(10);
    usbDevice->CloseDevice();
    return 0;
}

}  // namespace sv::firmware
