#pragma once

// Results of the bridge firmware downloads. The codes are part of the public
// result of SvUpgradeFX3FW; the names are what the upgrade logs.

namespace sv::firmware {

enum class FX3DownloadResult : int {
    Success = 0,
    Failed = 1,
    InvalidMediaType = 2,
    InvalidFwSignature = 3,
    DeviceCreateFailed = 4,
    IncorrectImageLength = 5,
    InvalidFile = 6,
    SpiFlashEraseFailed = 7,
    CorruptFirmwareImageFile = 8,
    I2cEepromUnknownSize = 9,
};

// "SUCCESS", "FAILED", ... for codes 0 to 9; "UNKNOWN" for any other.
const char* FX3DownloadResultName(int code);
inline const char* FX3DownloadResultName(FX3DownloadResult r) { return FX3DownloadResultName(static_cast<int>(r)); }

}  // namespace sv::firmware
