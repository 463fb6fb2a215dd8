#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "base/HeaderChecksums.h"

#include "base/FixedPoint.h"
#include "legacy/CamCtrl.h"
#include "legacy/CamCtrlLimits.h"
#include "legacy/SzLine.h"
#include "platform/SensorBridge.h"
#include "platform/backend/Backend.h"

namespace fp = sv::fixedpoint;

namespace {

uint16_t Encode4_12(double value) { return fp::Encode(value, 12); }
uint16_t Encode8_8(double value) { return fp::Encode(value, 8); }

constexpr uint16_t kAeMode = 0x5002;
constexpr uint16_t kMaxFps = 0x2020;
constexpr uint16_t kExposureHigh = 0x500C;
constexpr uint16_t kExposureLow = 0x500E;
constexpr int kAutoGain = 0x9;

// The firmware bytes compared as numbers, first to last, against `minimum`.
bool Below(const uint8_t (&version)[4], const uint8_t (&minimum)[4]) {
    return std::memcmp(version, minimum, 4) < 0;
}

}  // namespace

#define KANO(Name) "KanoCamCtrl::" #Name

// ---- ISP register packet on selector 0x05 ----

int KanoCamCtrl::UVC_AP1302_I2C_Read(uint16_t reg, uint16_t& value) {
    uint8_t packet[5] = {0x01, static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg & 0xFF), 0x00, 0x00};
    // The answer must be this request's: no other transfer in between.
    auto pair = HoldDevice();
    if (XuSet(kSelectorIspRegister, packet, sizeof(packet)) != 0 ||
        XuGet(kSelectorIspRegister, packet, sizeof(packet)) != 0) {
        SZ_LINE(Error, KANO(UVC_AP1302_I2C_Read), "I2C Set Address Fail! AddrReg=%04x", unsigned{reg});
        return -1;
    }
    value = static_cast<uint16_t>(packet[3] << 8 | packet[4]);
    SZ_LINE(Trace, KANO(UVC_AP1302_I2C_Read), "I2C Read: Addr=0x%04x, Data=%04x", unsigned{reg}, unsigned{value});
    return 0;
}

int KanoCamCtrl::UVC_AP1302_I2C_Write(uint16_t reg, uint16_t value) {
    uint8_t packet[5] = {0x00, static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg & 0xFF),
                         static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)};
    if (XuSet(kSelectorIspRegister, packet, sizeof(packet)) != 0) {
        SZ_LINE(Error, KANO(UVC_AP1302_I2C_Write), "I2C Write Fail! AddrReg=%04x, Data=%04x", unsigned{reg},
                unsigned{value});
        return -1;
    }
    SZ_LINE(Trace, KANO(UVC_AP1302_I2C_Write), "I2C Write SUCCESS! AddrReg=%04x, Data=%04x", unsigned{reg},
            unsigned{value});
    return 0;
}

// ---- Header and unique ID ----

int KanoCamCtrl::GetBootdataHeader(SvHeaderV2* header) {
    return ReadHeader(KANO(GetBootdataHeader), header, sizeof(SvHeaderV2));
}

int KanoCamCtrl::GetBootdataHeaderV3(SvHeaderV3* header) {
    return ReadHeader(KANO(GetBootdataHeaderV3), header, sizeof(SvHeaderV3));
}

int KanoCamCtrl::GetUniqueSensorID(char* text) {
    if (text == nullptr) return -1;
    if (CheckHeaderVer() == 3) {
        SZ_LINE0(Debug, KANO(GetUniqueSensorID), "Check Header V3 SUCCESS!");
        if (FuseIdFromHeaderV3(KANO(GetUniqueSensorID), text) == 0) return 0;
    }
    return UniqueIdFromSensor(text);
}

int KanoCamCtrl::UniqueIdFromSensor(char* text) {
    constexpr const char* kWhere = KANO(GetUniqueSensorID);
    auto* backend = sv::platform::GetBackend().get();
    SZ_LINE0(Debug, kWhere, "Continue to read UID from sensor...");
    for (int read = 0; read < 49; ++read) {
        uint16_t ispId = 0;
        if (UVC_AP1302_I2C_Read(sv::bridge::kIspIdRegister, ispId) == 0) {
            SZ_LINE(Debug, kWhere, "Check ISP ID Success! ISP ID: 0x%04X", unsigned{ispId});
            break;
        }
        backend->Sleep(10);
    }
    uint16_t control = 0;
    (void)UVC_AP1302_I2C_Read(sv::bridge::kSystemControl, control);
    if ((control & sv::bridge::kStandbyBit) != 0) {
        (void)UVC_AP1302_I2C_Write(sv::bridge::kSystemControl, sv::bridge::kWakeValue);
        int reads = 0;
        bool awake = false;
        while (reads < 9 && !awake) {
            ++reads;
            awake = UVC_AP1302_I2C_Read(sv::bridge::kSystemControl, control) == 0 &&
                    (control & sv::bridge::kStandbyBit) == 0;
            if (!awake) backend->Sleep(5);
        }
        if (awake) {
            SZ_LINE(Debug, kWhere, "Wake Sensor Up Success! retry count = %d, Status=0x%04X", reads, unsigned{control});
        } else {
            SZ_LINE(Error, kWhere, "Wake Sensor Up Fail! retry count = %d, Status=0x%04X", 10, unsigned{control});
        }
    } else {
        SZ_LINE0(Debug, kWhere, "Sensor is working");
    }
    backend->Sleep(500);

    for (uint16_t sensorId : sv::bridge::kSensorIds) {
        uint16_t chipId = 0;
        if (AdvReadSensorRegister(sensorId, sv::bridge::kChipIdRegister, chipId) != 0 || chipId == 0) continue;
        SZ_LINE(Debug, kWhere, "AdvReadSensorRegister Success. Sensor ID=0x%04x", unsigned{chipId});
        const uint16_t fuseBase = sv::bridge::FuseBase(chipId);
        // Fuse words read without the read-out enabled are not the ID.
        if (AdvWriteSensorRegister(sensorId, 0x304C, 0x0100) != 0 ||
            AdvWriteSensorRegister(sensorId, 0x304A, 0x0210) != 0) {
            SZ_LINE0(Error, kWhere, "Enable Sensor OTP Read Fail!");
            return -1;
        }
        backend->Sleep(500);
        for (int j = 0; j < 8; ++j) {
            uint16_t word = 0;
            if (AdvReadSensorRegister(sensorId, static_cast<uint16_t>(fuseBase + 2 * j), word) != 0) {
                SZ_LINE(Error, kWhere, "AdvReadSensorRegister Fail! Read FuseID[%d] Fail", j);
                return -1;
            }
            fuseWords_[7 - j] = word;
            SZ_LINE(Debug, kWhere, "AdvReadSensorRegister Success. FuseID[%d]=0x%04x", j, unsigned{word});
        }
        char id[33] = {};
        for (int i = 0; i < 8; ++i) std::snprintf(id + 4 * i, 5, "%04X", unsigned{fuseWords_[i]});
        std::memcpy(text, id, sizeof(id));
        SZ_LINE(Debug, kWhere, "GetUniqueSensorID Success! Sensor UID = %s", id);
        return 0;
    }
    SZ_LINE0(Error, kWhere, "Check Sensor SID Fail!");
    return -1;
}

// ---- The bootdata store: 128 KiB over two device addresses ----

namespace {

constexpr uint32_t kStoreSize = 0x20000;
constexpr uint16_t kStorePiece = 128;

// Offsets below 0xFFFF answer at 0x54, the rest at 0x55 (register modulo 0x10000).
uint8_t StoreDevice(uint32_t offset) { return offset < 0xFFFF ? 0x54 : 0x55; }

}  // namespace

int KanoCamCtrl::ClearISPBootdata() {
    uint8_t erased[kStorePiece];
    std::memset(erased, 0xFF, sizeof(erased));
    for (uint32_t offset = 0; offset < kStoreSize; offset += kStorePiece) {
        // A store left half erased is not erased: the first failed write ends it.
        const int rc = GenI2CWrite(StoreDevice(offset), 2, offset & 0xFFFF, kStorePiece, erased);
        if (rc != 0) {
            SZ_LINE(Error, KANO(ClearISPBootdata), "Erase Bootdata Fail at 0x%05x", unsigned{offset});
            return rc < 0 ? rc : -1;
        }
    }
    return 0;
}

int KanoCamCtrl::DumpBootdata() {
    constexpr const char* kWhere = KANO(DumpBootdata);
    std::FILE* file = std::fopen("bootdata.bin", "wb");
    if (file == nullptr) {
        SZ_LINE0(Error, kWhere, "Cannot open bootdata.bin");
        return -1;
    }
    uint8_t piece[kStorePiece] = {};
    int result = 0;
    for (uint32_t offset = 0; offset < kStoreSize && result == 0; offset += kStorePiece) {
        // A piece that was not read is not written as if it had been.
        if (GenI2CRead(StoreDevice(offset), 2, offset & 0xFFFF, kStorePiece, piece) != 0) {
            SZ_LINE(Error, kWhere, "Read Bootdata Fail at 0x%05x", unsigned{offset});
            result = -1;
        } else if (std::fwrite(piece, 1, sizeof(piece), file) != sizeof(piece)) {
            SZ_LINE0(Error, kWhere, "Write bootdata.bin Fail");
            result = -1;
        }
    }
    if (std::fclose(file) != 0) result = -1;
    return result;
}

int KanoCamCtrl::DownloadBootdata(const char* path) {
    constexpr const char* kWhere = KANO(DownloadBootdata);
    std::vector<uint8_t> image;
    if (path != nullptr) {
        std::ifstream in(path, std::ios::binary);
        image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::printf("Bootdata size: %zd\n", static_cast<std::ptrdiff_t>(image.size()));
    // An image that is not there, or does not fit the store, is not written at all.
    if (image.empty() || image.size() > kStoreSize) {
        SZ_LINE(Error, kWhere, "Bootdata image cannot be used: %zu bytes", image.size());
        return -1;
    }
    // A version 3 header is written with its checksums marked as not
    // computed; they are computed from the store once the whole image is in.
    std::vector<uint8_t> first(image.begin(), image.begin() + std::min<std::size_t>(kStorePiece, image.size()));
    const bool version3 = first[0] == 3 && first.size() >= sizeof(SvHeaderV3);
    if (version3) sv::header::MarkChecksumsNotComputed(first.data());
    for (std::size_t offset = 0; offset < image.size(); offset += kStorePiece) {
        const auto piece = static_cast<uint16_t>(std::min<std::size_t>(kStorePiece, image.size() - offset));
        const auto at = static_cast<uint32_t>(offset);
        const uint8_t* data = offset == 0 ? first.data() : image.data() + offset;
        const int rc = GenI2CWrite(StoreDevice(at), 2, at & 0xFFFF, piece, data);
        if (rc != 0) {
            SZ_LINE(Error, kWhere, "Write Bootdata Fail at 0x%05x", unsigned{at});
            return rc < 0 ? rc : -1;
        }
    }
    const int version = CheckHeaderVer();
    // A header that cannot be read back is no finished download.
    if (version < 0) return -1;
    if (version != 3) {
        SZ_LINE0(Debug, kWhere, "DownloadBootdata Completed.");
        return 0;
    }

    char uid[64] = {};
    if (GetUniqueSensorID(uid) != 0) {
        SZ_LINE0(Error, kWhere, "Get Unique Sensor ID Fail!");
        return -1;
    }
    SZ_LINE(Debug, kWhere, "Get Unique Sensor ID: %s", uid);
    for (uint32_t group = 0; group < 8; ++group) {
        uint8_t bytes[2] = {};
        for (int k = 0; k < 2; ++k) {
            const char digits[3] = {uid[4 * group + 2 * k], uid[4 * group + 2 * k + 1], '\0'};
            bytes[k] = static_cast<uint8_t>(std::strtoul(digits, nullptr, 16));
        }
        if (GenI2CWrite(0x54, 2, sv::header::kFuseIdAt + 2 * group, 2, bytes) != 0) {
            SZ_LINE0(Error, kWhere, "Write Fuse ID Fail!");
            return -1;
        }
    }
    sv::platform::GetBackend()->Sleep(10);

    SvHeaderV3 header{};
    if (GetBootdataHeaderV3(&header) != 0) return -1;
    const uint8_t* f = header.sensorFuseId;
    SZ_LINE(Debug, kWhere,
            "Get Header Fuse ID: %02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X", f[0], f[1],
            f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9], f[10], f[11], f[12], f[13], f[14], f[15]);

    SZ_LINE0(Debug, kWhere, "Calculate CheckSum of Fixed Section...");
    uint8_t fixed[sv::header::kSummedBytes] = {};
    if (GenI2CRead(0x54, 2, 0, sv::header::kSummedBytes, fixed) != 0) return -1;
    const sv::header::StoreChecksums sums = sv::header::ComputeStoreChecksums(fixed);
    const uint8_t fixBytes[2] = {static_cast<uint8_t>(sums.fix & 0xFF), static_cast<uint8_t>(sums.fix >> 8)};
    if (GenI2CWrite(0x54, 2, sv::header::kFixChecksumAt, 2, fixBytes) != 0) return -1;
    SZ_LINE(Debug, kWhere, "Fixed Checksum: 0x%04X", unsigned{sums.fix});
    const uint8_t totalBytes[2] = {static_cast<uint8_t>(sums.total & 0xFF), static_cast<uint8_t>(sums.total >> 8)};
    if (GenI2CWrite(0x54, 2, sv::header::kTotalChecksumAt, 2, totalBytes) != 0) return -1;
    SZ_LINE(Debug, kWhere, "Total Checksum: 0x%04X", unsigned{sums.total});
    SZ_LINE0(Debug, kWhere, "DownloadBootdata Completed.");
    return 0;
}

// ---- Exposure ----

int CamCtrl::WriteFrameExposure(const char* where, uint8_t fps) {
    // No frame rate, no frame time: nothing sensible to write.
    if (fps == 0) {
        SZ_LINE0(Error, where, "Frame rate 0 gives no exposure time");
        return -1;
    }
    return SetTwoWords(Path::Isp, kExposureHigh, kExposureLow, 1000000u / fps) == 0 ? 0 : -1;
}

int KanoCamCtrl::GetMaxFPS(uint8_t& fps) { return GetBits(Path::Isp, kMaxFps, 0xFF00, 8, fps); }

int KanoCamCtrl::SetMaxFPS(uint8_t fps) {
    uint16_t mode = 0;
    if (UVC_AP1302_I2C_Read(kAeMode, mode) != 0) return -1;
    if ((mode & 0x000F) == kAutoGain && WriteFrameExposure(KANO(SetMaxFPS), fps) != 0) return -1;
    return SetWord(Path::Isp, kMaxFps, uint32_t{fps} << 8);
}

int KanoCamCtrl::GetAutoExposureMode(int& code) { return GetBits(Path::Isp, kAeMode, 0x000F, 0, code); }

int KanoCamCtrl::SetAutoExposureMode(int code) {
    constexpr const char* kWhere = KANO(SetAutoExposureMode);
    SZ_LINE(Debug, kWhere, "Set Auto Exposure Mode: %d", code);
    if (code == kAutoGain) {
        SZ_LINE0(Debug, kWhere, "Check UVC Version");
        uint8_t version[4] = {};
        if (GetUSBFirmwareVersion(version) != 0) {
            SZ_LINE0(Error, kWhere, "Get USB FW Ver Fail!");
            return -1;
        }
        SZ_LINE(Debug, kWhere, "Get USB FW Ver: %02d.%02d.%02d.%02d", int{version[0]}, int{version[1]},
                int{version[2]}, int{version[3]});
        const uint8_t minimum[4] = {24, 7, 3, 1};
        if (Below(version, minimum)) {
            SZ_LINE0(Debug, kWhere, "UVC version not support AE mode AUTO_GAIN");
            return -1;
        }
        uint16_t rate = 0;
        if (UVC_AP1302_I2C_Read(kMaxFps, rate) != 0) return -1;
        const uint8_t fps = static_cast<uint8_t>(rate >> 8);
        if (fps >= 1 && WriteFrameExposure(kWhere, fps) != 0) return -1;
    }
    return SetWord(Path::Isp, kAeMode, static_cast<uint32_t>(code) | 0x0290u);
}

int KanoCamCtrl::GetExposureTime(uint32_t& us) {
    return GetLoggedTwoWords(KANO(GetExposureTime), Path::Isp, kExposureHigh, kExposureLow, us,
                             sz::kGetExposureTimeLine);
}
int KanoCamCtrl::SetExposureTime(uint32_t us) {
    return SetLoggedTwoWords(KANO(SetExposureTime), Path::Isp, kExposureHigh, kExposureLow, us, &sz::kExposureTime,
                             sz::kSetExposureTimeLine);
}
int KanoCamCtrl::GetExposureGain(uint8_t& gain) {
    return GetGain(KANO(GetExposureGain), Path::Isp, 0x5006, 0xFF00, 8, gain, sz::kGetExposureGainLine);
}
int KanoCamCtrl::SetExposureGain(uint8_t gain) { return SetGain(KANO(SetExposureGain), Path::Isp, 0x5006, 8, gain); }

int KanoCamCtrl::GetExposureMinimum(int32_t& us) {
    uint32_t v = 0;
    if (GetTwoWords(Path::Direct, 0x2024, 0x2026, v) != 0) return -1;
    us = static_cast<int32_t>(v);
    return 0;
}
int KanoCamCtrl::SetExposureMinimum(int32_t us) {
    return SetLoggedTwoWords(KANO(SetExposureMinimum), Path::Direct, 0x2024, 0x2026, static_cast<uint32_t>(us),
                             nullptr, sz::kSetExposureMinimumLine);
}
int KanoCamCtrl::GetExposureMaximum(int32_t& us) {
    uint32_t v = 0;
    if (GetTwoWords(Path::Direct, 0x2028, 0x202A, v) != 0) return -1;
    us = static_cast<int32_t>(v);
    return 0;
}
int KanoCamCtrl::SetExposureMaximum(int32_t us) {
    return SetLoggedTwoWords(KANO(SetExposureMaximum), Path::Direct, 0x2028, 0x202A, static_cast<uint32_t>(us),
                             nullptr, sz::kSetExposureMaximumLine);
}
int KanoCamCtrl::GetCurrentExposureTime(int32_t& us) {
    uint32_t v = 0;
    if (GetLoggedTwoWords(KANO(GetCurrentExposureTime), Path::Isp, 0x00E8, 0x00EA, v, sz::kCurrentExposureTimeLine) != 0)
        return -1;
    us = static_cast<int32_t>(v);
    return 0;
}
int KanoCamCtrl::GetCurrentExposureGain(uint8_t& gain) {
    return GetGain(KANO(GetCurrentExposureGain), Path::Isp, 0x00F4, 0x00FF, 0, gain, sz::kCurrentExposureGainLine);
}

// ---- The other pairs, one line each ----

int KanoCamCtrl::GetThroughPut(uint16_t& v) { return GetBits(Path::Isp, 0x6132, 0xFFFF, 6, v); }
int KanoCamCtrl::SetThroughPut(uint16_t v) { return SetWord(Path::Isp, 0x6132, uint32_t{v} << 6); }
int KanoCamCtrl::GetBacklightCompensation(double& v) { return GetReal(Path::Isp, 0x501A, fp::DecodeKivoBacklight, v); }
int KanoCamCtrl::SetBacklightCompensation(double v) { return SetReal(KANO(SetBacklightCompensation), Path::Isp, 0x501A, Encode8_8, sz::kBacklight, v); }
int KanoCamCtrl::GetAutoWhiteBalanceMode(int& v) { return GetBits(Path::Isp, 0x5100, 0x000F, 0, v); }
int KanoCamCtrl::SetAutoWhiteBalanceMode(int v) { return SetWord(Path::Isp, 0x5100, static_cast<uint32_t>(v) | 0x1150u); }
int KanoCamCtrl::GetTemperature(uint16_t& v) { return GetBits(Path::Isp, 0x510A, 0xFFFF, 0, v); }
int KanoCamCtrl::SetTemperature(uint16_t v) { return SetWordIn(KANO(SetTemperature), Path::Isp, 0x510A, v, sz::kTemperature, v); }
int KanoCamCtrl::GetWhiteBalanceQx(double& v) { return GetReal(Path::Isp, 0x5102, fp::DecodeSigned4_12, v); }
int KanoCamCtrl::SetWhiteBalanceQx(double v) { return SetReal(KANO(SetWhiteBalanceQx), Path::Isp, 0x5102, Encode4_12, sz::kWhiteBalanceQx, v); }
int KanoCamCtrl::GetWhiteBalanceQy(double& v) { return GetReal(Path::Isp, 0x5104, fp::DecodeSigned4_12, v); }
int KanoCamCtrl::SetWhiteBalanceQy(double v) { return SetReal(KANO(SetWhiteBalanceQy), Path::Isp, 0x5104, Encode4_12, sz::kWhiteBalanceQy, v); }
int KanoCamCtrl::GetBrightness(double& v) { return GetReal(Path::Isp, 0x7000, fp::DecodeSigned4_12, v); }
int KanoCamCtrl::SetBrightness(double v) { return SetReal(KANO(SetBrightness), Path::Isp, 0x7000, Encode4_12, sz::kBrightness, v); }
int KanoCamCtrl::GetGamma(double& v) { return GetReal(Path::Isp, 0x700A, fp::DecodeSigned4_12, v); }
int KanoCamCtrl::SetGamma(double v) { return SetReal(KANO(SetGamma), Path::Isp, 0x700A, Encode4_12, sz::kGamma, v); }
int KanoCamCtrl::GetSaturation(double& v) { return GetReal(Path::Isp, 0x7006, fp::DecodeSigned4_12, v); }
int KanoCamCtrl::SetSaturation(double v) { return SetReal(KANO(SetSaturation), Path::Isp, 0x7006, Encode4_12, sz::kSaturation, v); }
int KanoCamCtrl::GetContrast(double& v) { return GetReal(Path::Isp, 0x7002, fp::DecodeSigned4_12, v); }
int KanoCamCtrl::SetContrast(double v) { return SetReal(KANO(SetContrast), Path::Isp, 0x7002, Encode4_12, sz::kContrast, v); }
int KanoCamCtrl::GetSharpening(double& v) { return GetReal(Path::Isp, 0x7010, fp::DecodeSigned4_12, v); }
int KanoCamCtrl::SetSharpening(double v) { return SetReal(KANO(SetSharpening), Path::Isp, 0x7010, Encode4_12, sz::kSharpening, v); }
int KanoCamCtrl::GetDenoise(double& v) { return GetReal(Path::Isp, 0x700C, fp::DecodeSigned4_12, v); }
int KanoCamCtrl::SetDenoise(double v) { return SetReal(KANO(SetDenoise), Path::Isp, 0x700C, Encode4_12, sz::kDenoise, v); }
int KanoCamCtrl::GetFlipMode(int& v) { return GetBits(Path::Isp, 0x100C, 0x0003, 0, v); }
int KanoCamCtrl::SetFlipMode(int v) { return SetWord(Path::Isp, 0x100C, static_cast<uint32_t>(v)); }
int KanoCamCtrl::GetEffectMode(int& v) { return GetBits(Path::Isp, 0x1016, 0x000F, 0, v); }
int KanoCamCtrl::SetEffectMode(int v) { return SetWord(Path::Isp, 0x1016, static_cast<uint32_t>(v)); }
int KanoCamCtrl::GetDigitalZoomType(int& v) { return GetBits(Path::Isp, 0x1012, 0xFFFF, 0, v); }
int KanoCamCtrl::SetDigitalZoomType(int v) { return SetWord(Path::Isp, 0x1012, static_cast<uint32_t>(v)); }
int KanoCamCtrl::GetDigitalZoomTarget(double& v) { return GetReal(Path::Isp, 0x1010, fp::DecodeUnsigned8_8, v); }
int KanoCamCtrl::SetDigitalZoomTarget(double v) { return SetReal(KANO(SetDigitalZoomTarget), Path::Isp, 0x1010, Encode8_8, sz::kZoomTarget, v); }
int KanoCamCtrl::GetDigitalZoom_CT_X(double& v) { return GetReal(Path::Isp, 0x118C, fp::DecodeUnsigned8_8, v); }
int KanoCamCtrl::SetDigitalZoom_CT_X(double v) { return SetReal(KANO(SetDigitalZoom_CT_X), Path::Isp, 0x118C, Encode8_8, sz::kZoomCtX, v); }
int KanoCamCtrl::GetDigitalZoom_CT_Y(double& v) { return GetReal(Path::Isp, 0x118E, fp::DecodeUnsigned8_8, v); }
int KanoCamCtrl::SetDigitalZoom_CT_Y(double v) { return SetReal(KANO(SetDigitalZoom_CT_Y), Path::Isp, 0x118E, Encode8_8, sz::kZoomCtY, v); }
int KanoCamCtrl::GetFlickMode(int& v) { return GetBits(Path::Isp, 0x5440, 0xFFFF, 0, v); }
int KanoCamCtrl::SetFlickMode(int v) { return SetWord(Path::Isp, 0x5440, static_cast<uint32_t>(v)); }
int KanoCamCtrl::GetJpegQual(uint8_t& v) { return GetBits(Path::Isp, 0x1018, 0x00FF, 0, v); }
int KanoCamCtrl::SetJpegQual(uint8_t v) { return SetWord(Path::Isp, 0x1018, 0x4400u | v); }
int KanoCamCtrl::GetISPTestPattern(uint32_t& v) { return GetTestPattern(v); }
int KanoCamCtrl::SetISPTestPattern(uint32_t v) { return SetTestPattern(v); }
