#include <algorithm>
#include <cstdio>
#include <fstream>
#include <cstring>
#include <iterator>
#include <vector>

#include "base/FixedPoint.h"
#include "legacy/CamCtrl.h"
#include "legacy/CamCtrlLimits.h"
#include "legacy/SzLine.h"
#include "platform/BslPacket.h"
#include "platform/backend/Backend.h"

namespace fp = sv::fixedpoint;

namespace {

// The register file keeps signed values with an offset added.
template <int Offset>
uint16_t EncodeOffset(double value) { return fp::EncodeOffset4_12(value, Offset); }
template <int Offset>
double DecodeOffset(uint16_t raw) { return fp::DecodeOffset4_12(raw, Offset); }
double DecodeContrast(uint16_t raw) { return fp::DecodeUnsignedOffset4_12(raw, 5); }
uint16_t Encode8_8(double value) { return fp::Encode(value, 8); }

constexpr uint8_t kMcu = 0x48;
constexpr uint16_t kLumoVersion = 0x3000;
constexpr int kAutoGain = 0x9;

bool Below(const uint8_t (&version)[4], const uint8_t (&minimum)[4]) {
    return std::memcmp(version, minimum, 4) < 0;
}

// The microcontroller's window onto the AP1302: F0 00 and the register.
uint32_t McuIspAddress(uint16_t reg) { return 0xF0000000u | reg; }

}  // namespace

#define LUMO(Name) "LumoCamCtrl::" #Name

// ---- AP1302 through the microcontroller ----

int LumoCamCtrl::UVC_AP1302_I2C_Read(uint16_t reg, uint16_t& value) {
    uint8_t bytes[2] = {};
    const int rc = I2CRead(LUMO(UVC_AP1302_I2C_Read), kMcu, 4, McuIspAddress(reg), 2, bytes);
    if (rc == 0) value = static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
    return rc;
}

int LumoCamCtrl::UVC_AP1302_I2C_Write(uint16_t reg, uint16_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)};
    return GenI2CWrite(kMcu, 4, McuIspAddress(reg), 2, bytes);
}

// ---- Versions, header and unique ID ----

int LumoCamCtrl::GetLUMOFirmwareVersion(char* text) {
    if (text == nullptr) return -1;
    uint8_t bytes[4] = {};
    // A version that was not read is not version 00.00.00.00.
    if (GenI2CRead(kMcu, 2, kLumoVersion, sizeof(bytes), bytes) != 0) {
        SZ_LINE0(Error, LUMO(GetLUMOFirmwareVersion), "Get LUMO Version Fail!");
        return -1;
    }
    std::snprintf(text, 16, "%02d.%02d.%02d.%02d", int{bytes[0]}, int{bytes[1]}, int{bytes[2]}, int{bytes[3]});
    SZ_LINE(Trace, LUMO(GetLUMOFirmwareVersion), "Get LUMO Version SUCCESS! version=%s", text);
    return 0;
}

int LumoCamCtrl::GetBootdataHeaderV3(SvHeaderV3* header) {
    return ReadHeader(LUMO(GetBootdataHeaderV3), header, sizeof(SvHeaderV3));
}

int LumoCamCtrl::GetUniqueSensorID(char* text) {
    if (text == nullptr) return -1;
    const int version = CheckHeaderVer();
    if (version != 3) {
        // Only a version 3 header carries the ID here; anything else is no answer.
        SZ_LINE(Error, LUMO(GetUniqueSensorID), "No Fuse ID in a header of version %d", version);
        return -1;
    }
    SZ_LINE0(Debug, LUMO(GetUniqueSensorID), "Check Header V3 SUCCESS!");
    return FuseIdFromHeaderV3(LUMO(GetUniqueSensorID), text);
}

// ---- The module's loader ----

namespace {
constexpr uint8_t kCmdPassword = 0x21;
constexpr uint8_t kCmdMassErase = 0x15;
constexpr uint8_t kAnswerMessage = 0x3B;
constexpr std::size_t kMessageAnswerBytes = 9;
constexpr uint8_t kCmdProgram = 0x20;
constexpr uint8_t kCmdCrc = 0x26;
constexpr uint8_t kAnswerCrc = 0x32;
constexpr std::size_t kCrcAnswerBytes = 12;
constexpr std::size_t kBinInfoBytes = 20;
constexpr uint32_t kMaxPayload = 128;
constexpr uint32_t kVerifyWindow = 0x10000;

void PutLe32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
}  // namespace

int LumoCamCtrl::BslCommand(uint8_t command, const std::vector<uint8_t>& payload, uint8_t& ack,
                            uint8_t (&answer)[1 + kMessageAnswerBytes]) {
    return BslExchange(command, payload, ack, answer, kMessageAnswerBytes);
}

int LumoCamCtrl::BslExchange(uint8_t command, const std::vector<uint8_t>& payload, uint8_t& ack, uint8_t* answer,
                             std::size_t count) {
    const std::vector<uint8_t> packet = sv::firmware::BslPacket(command, payload);
    const auto reg = static_cast<uint16_t>(packet[0] << 8 | packet[1]);
    // The command, its acknowledgement and its answer are one exchange.
    auto hold = HoldDevice();
    ack = 0xFF;  // nothing stale reads as an acknowledgement
    if (GenI2CWrite(kMcu, 2, reg, static_cast<uint16_t>(packet.size() - 2), packet.data() + 2) != 0 ||
        GenI2CRead(kMcu, 2, reg, 1, &ack) != 0) {
        return -1;
    }
    if (ack != 0) return 0;
    std::memset(answer, 0, count + 1);
    const auto answerReg = static_cast<uint16_t>(0x80 << 8 | (payload.size() + 1));
    if (GenI2CRead(kMcu, 2, answerReg, static_cast<uint16_t>(count), answer + 1) != 0) return -1;
    answer[0] = ack;
    return 0;
}

int LumoCamCtrl::ClearISPBootdata() {
    constexpr const char* kWhere = LUMO(ClearISPBootdata);
    SetBSLMode(1);
    sv::platform::GetBackend()->Sleep(1000);

    const std::vector<uint8_t> password(std::begin(sv::firmware::kBslPassword), std::end(sv::firmware::kBslPassword));
    uint8_t ack = 0xFF;
    uint8_t r[1 + kMessageAnswerBytes] = {};
    // Only a status message with status 0 is the loader agreeing.
    if (BslCommand(kCmdPassword, password, ack, r) != 0 || ack != 0) {
        SZ_LINE(Error, kWhere, "Unlock Flash Fail: status = 0x%02x!", unsigned{ack});
        return -1;
    }
    if (r[4] != kAnswerMessage || r[5] != 0) {
        SZ_LINE0(Error, kWhere, "Unlock Error");
        return -1;
    }
    SZ_LINE0(Debug, kWhere, "Unlocked Flash");
    if (BslCommand(kCmdMassErase, {}, ack, r) != 0 || ack != 0) {
        SZ_LINE(Error, kWhere, "Mass Erase Flash Fail: status = 0x%02x!", unsigned{ack});
        return -1;
    }
    if (r[4] != kAnswerMessage || r[5] != 0) {
        SZ_LINE0(Error, kWhere, "Mass Erase Error");
        return -1;
    }
    SZ_LINE0(Debug, kWhere, "Mass Erased Flash");
    return 0;
}

bool LumoCamCtrl::ProgramSection(uint32_t address, uint32_t length, const uint8_t* data) {
    constexpr const char* kWhere = LUMO(DownloadBootdata);
    for (uint32_t e = 0; e < length;) {
        const uint32_t len = std::min(length - e, kMaxPayload);
        std::vector<uint8_t> payload;
        PutLe32(payload, address + e);
        payload.insert(payload.end(), data + e, data + e + len);
        uint8_t ack = 0xFF;
        uint8_t r[1 + kMessageAnswerBytes] = {};
        if (BslCommand(kCmdProgram, payload, ack, r) != 0 || ack != 0) {
            SZ_LINE(Error, kWhere, "Program Flash Fail: status = 0x%02x!", unsigned{ack});
            return false;
        }
        if (r[4] != kAnswerMessage || r[5] != 0) {
            SZ_LINE(Error, kWhere, "Program Error: address = 0x%08x", address + e + len);
            return false;
        }
        e += len;
    }
    return true;
}

bool LumoCamCtrl::VerifySection(uint32_t address, uint32_t length, const uint8_t* data, bool compare) {
    constexpr const char* kWhere = LUMO(DownloadBootdata);
    std::vector<uint8_t> payload;
    PutLe32(payload, address);
    PutLe32(payload, length);
    uint8_t ack = 0xFF;
    uint8_t r[1 + kCrcAnswerBytes] = {};
    if (BslExchange(kCmdCrc, payload, ack, r, kCrcAnswerBytes) != 0 || ack != 0) {
        SZ_LINE(Error, kWhere, "Verification Flash Fail: status = 0x%02x!", unsigned{ack});
        return false;
    }
    if (r[4] != kAnswerCrc) {
        SZ_LINE0(Error, kWhere, "Verification Error");
        return false;
    }
    if (!compare) return true;
    const uint32_t crc = sv::firmware::BslCrc(data, length);
    const uint8_t expected[4] = {static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8),
                                 static_cast<uint8_t>(crc >> 16), static_cast<uint8_t>(crc >> 24)};
    if (std::memcmp(expected, r + 5, 4) != 0) {
        SZ_LINE0(Error, kWhere, "Verification Fail");
        SZ_LINE(Error, kWhere, "bin CRC: 0x%02X,0x%02X,0x%02X,0x%02X", unsigned{expected[0]}, unsigned{expected[1]},
                unsigned{expected[2]}, unsigned{expected[3]});
        SZ_LINE(Error, kWhere, "memory CRC: 0x%02X,0x%02X,0x%02X,0x%02X", unsigned{r[5]}, unsigned{r[6]},
                unsigned{r[7]}, unsigned{r[8]});
        return false;
    }
    return true;
}

int LumoCamCtrl::DownloadBootdata(const char* path) {
    constexpr const char* kWhere = LUMO(DownloadBootdata);
    std::vector<uint8_t> image;
    if (path != nullptr) {
        std::ifstream in(path, std::ios::binary);
        image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Nothing is read past the image's end: a short image is refused before any transfer.
    if (image.size() < kBinInfoBytes) {
        SZ_LINE(Error, kWhere, "LUMO image too short: %zu bytes", image.size());
        return -1;
    }
    const uint8_t* info = image.data();
    const uint32_t controlAddr = Le32(info + 4);
    const uint32_t controlLen = Le32(info + 8);
    const uint32_t bootdataAddr = Le32(info + 12);
    const uint32_t bootdataLen = Le32(info + 16);
    SZ_LINE(Debug, kWhere, "Bin Version: %02d.%02d.%02d.%02d", int{info[0]}, int{info[1]}, int{info[2]}, int{info[3]});
    SZ_LINE(Debug, kWhere, "Control Addr: 0x%08x, Len: 0x%08x", controlAddr, controlLen);
    SZ_LINE(Debug, kWhere, "Bootdata Addr: 0x%08x, Len: 0x%08x", bootdataAddr, bootdataLen);
    if (uint64_t{kBinInfoBytes} + controlLen + bootdataLen > image.size()) {
        SZ_LINE(Error, kWhere, "LUMO image too short: %zu bytes", image.size());
        return -1;
    }
    const uint8_t* control = image.data() + kBinInfoBytes;
    const uint8_t* bootdata = control + controlLen;

    if (!ProgramSection(controlAddr, controlLen, control)) return -1;
    SZ_LINE0(Debug, kWhere, "Flashed Control Part");
    SZ_LINE0(Info, kWhere, "start verification control");
    // The first request wakes the loader's checker; the second decides.
    if (!VerifySection(controlAddr, controlLen, control, false) ||
        !VerifySection(controlAddr, controlLen, control, true)) {
        return -1;
    }
    SZ_LINE0(Debug, kWhere, "Verification Flash");

    if (!ProgramSection(bootdataAddr, bootdataLen, bootdata)) return -1;
    SZ_LINE0(Debug, kWhere, "Flashed Bootdata Part");
    SZ_LINE0(Info, kWhere, "start verification bootdata");
    for (uint32_t e = 0; e < bootdataLen; e += kVerifyWindow) {
        const uint32_t len = std::min(bootdataLen - e, kVerifyWindow);
        if (!VerifySection(bootdataAddr + e, len, bootdata + e, true)) return -1;
        SZ_LINE0(Debug, kWhere, "Verification Flash");
    }
    SZ_LINE0(Debug, kWhere, "Verification Flashed Bootdata Part");
    SetBSLMode(0);
    sv::platform::GetBackend()->Sleep(300);
    return 0;
}

// ---- Exposure ----

int LumoCamCtrl::GetMaxFPS(uint8_t& fps) { return GetBits(Path::Direct, 0x310A, 0x00FF, 0, fps); }
int LumoCamCtrl::SetMaxFPS(uint8_t fps) { return SetWord(Path::Direct, 0x310A, fps); }
int LumoCamCtrl::GetAutoExposureMode(int& code) { return GetBits(Path::Direct, 0x3116, 0xFFFF, 0, code); }

int LumoCamCtrl::SetAutoExposureMode(int code) {
    constexpr const char* kWhere = LUMO(SetAutoExposureMode);
    if (code == kAutoGain) {
        uint8_t usb[4] = {};
        const uint8_t usbMinimum[4] = {24, 7, 3, 1};
        // Without a USB firmware version only the module's own version decides.
        if (GetUSBFirmwareVersion(usb) == 0 && Below(usb, usbMinimum)) {
            SZ_LINE0(Error, kWhere, "UVC version not support AE mode AUTO_GAIN");
            return -1;
        }
        uint8_t lumo[4] = {};
        const uint8_t lumoMinimum[4] = {24, 7, 1, 1};
        if (GenI2CRead(kMcu, 2, kLumoVersion, sizeof(lumo), lumo) != 0) {
            SZ_LINE0(Error, kWhere, "Get LUMO Version Fail!");
            return -1;
        }
        if (Below(lumo, lumoMinimum)) {
            SZ_LINE0(Error, kWhere, "LUMO version not support AE mode AUTO_GAIN");
            return -1;
        }
    }
    return SetWord(Path::Direct, 0x3116, static_cast<uint32_t>(code));
}

int LumoCamCtrl::GetExposureTime(uint32_t& us) {
    return GetLoggedTwoWords(LUMO(GetExposureTime), Path::Direct, 0x3118, 0x311A, us, sz::kGetExposureTimeLine);
}
int LumoCamCtrl::SetExposureTime(uint32_t us) {
    return SetLoggedTwoWords(LUMO(SetExposureTime), Path::Direct, 0x3118, 0x311A, us, &sz::kExposureTime,
                             sz::kSetExposureTimeLine);
}
int LumoCamCtrl::GetExposureGain(uint8_t& gain) {
    return GetGain(LUMO(GetExposureGain), Path::Direct, 0x3124, 0x00FF, 0, gain, sz::kGetExposureGainLine);
}
int LumoCamCtrl::SetExposureGain(uint8_t gain) { return SetGain(LUMO(SetExposureGain), Path::Direct, 0x3124, 0, gain); }

int LumoCamCtrl::GetExposureMinimum(int32_t& us) {
    uint32_t v = 0;
    if (GetTwoWords(Path::Direct, 0x310C, 0x310E, v) != 0) return -1;
    us = static_cast<int32_t>(v);
    return 0;
}
int LumoCamCtrl::SetExposureMinimum(int32_t us) {
    return SetLoggedTwoWords(LUMO(SetExposureMinimum), Path::Direct, 0x310C, 0x310E, static_cast<uint32_t>(us),
                             nullptr, sz::kSetExposureMinimumLine);
}
int LumoCamCtrl::GetExposureMaximum(int32_t& us) {
    uint32_t v = 0;
    if (GetTwoWords(Path::Direct, 0x3110, 0x3112, v) != 0) return -1;
    us = static_cast<int32_t>(v);
    return 0;
}
int LumoCamCtrl::SetExposureMaximum(int32_t us) {
    return SetLoggedTwoWords(LUMO(SetExposureMaximum), Path::Direct, 0x3110, 0x3112, static_cast<uint32_t>(us),
                             nullptr, sz::kSetExposureMaximumLine);
}
int LumoCamCtrl::GetCurrentExposureTime(int32_t& us) {
    uint32_t v = 0;
    if (GetLoggedTwoWords(LUMO(GetCurrentExposureTime), Path::Direct, 0x312A, 0x312C, v, sz::kCurrentExposureTimeLine) != 0)
        return -1;
    us = static_cast<int32_t>(v);
    return 0;
}
int LumoCamCtrl::GetCurrentExposureGain(uint8_t& gain) {
    return GetGain(LUMO(GetCurrentExposureGain), Path::Direct, 0x312E, 0x00FF, 0, gain, sz::kCurrentExposureGainLine);
}

// ---- The other pairs, one line each ----

int LumoCamCtrl::GetThroughPut(uint16_t& v) { return GetBits(Path::Direct, 0x3108, 0xFFFF, 0, v); }
int LumoCamCtrl::SetThroughPut(uint16_t v) { return SetWord(Path::Direct, 0x3108, v); }
int LumoCamCtrl::GetBacklightCompensation(double& v) { return GetReal(Path::Direct, 0x3130, fp::DecodeLiraBacklight, v); }
int LumoCamCtrl::SetBacklightCompensation(double v) { return SetReal(LUMO(SetBacklightCompensation), Path::Direct, 0x3130, fp::EncodeLiraBacklight, sz::kBacklight, v); }
int LumoCamCtrl::GetAutoWhiteBalanceMode(int& v) { return GetBits(Path::Direct, 0x3136, 0xFFFF, 0, v); }
int LumoCamCtrl::SetAutoWhiteBalanceMode(int v) { return SetWord(Path::Direct, 0x3136, static_cast<uint32_t>(v)); }
int LumoCamCtrl::GetTemperature(uint16_t& v) { return GetBits(Path::Direct, 0x3138, 0xFFFF, 0, v); }
int LumoCamCtrl::SetTemperature(uint16_t v) { return SetWordIn(LUMO(SetTemperature), Path::Direct, 0x3138, v, sz::kTemperature, v); }
int LumoCamCtrl::GetBrightness(double& v) { return GetReal(Path::Direct, 0x313E, DecodeOffset<1>, v); }
int LumoCamCtrl::SetBrightness(double v) { return SetReal(LUMO(SetBrightness), Path::Direct, 0x313E, EncodeOffset<1>, sz::kBrightness, v); }
int LumoCamCtrl::GetGamma(double& v) { return GetReal(Path::Direct, 0x3150, DecodeOffset<0>, v); }
int LumoCamCtrl::SetGamma(double v) { return SetReal(LUMO(SetGamma), Path::Direct, 0x3150, EncodeOffset<0>, sz::kGamma, v); }
int LumoCamCtrl::GetSaturation(double& v) { return GetReal(Path::Direct, 0x314A, DecodeOffset<0>, v); }
int LumoCamCtrl::SetSaturation(double v) { return SetReal(LUMO(SetSaturation), Path::Direct, 0x314A, EncodeOffset<0>, sz::kSaturation, v); }
int LumoCamCtrl::GetContrast(double& v) { return GetReal(Path::Direct, 0x3144, DecodeContrast, v); }
int LumoCamCtrl::SetContrast(double v) { return SetReal(LUMO(SetContrast), Path::Direct, 0x3144, EncodeOffset<5>, sz::kContrast, v); }
int LumoCamCtrl::GetSharpening(double& v) { return GetReal(Path::Direct, 0x315C, DecodeOffset<2>, v); }
int LumoCamCtrl::SetSharpening(double v) { return SetReal(LUMO(SetSharpening), Path::Direct, 0x315C, EncodeOffset<2>, sz::kSharpening, v); }
int LumoCamCtrl::GetDenoise(double& v) { return GetReal(Path::Direct, 0x3156, DecodeOffset<2>, v); }
int LumoCamCtrl::SetDenoise(double v) { return SetReal(LUMO(SetDenoise), Path::Direct, 0x3156, EncodeOffset<2>, sz::kDenoise, v); }
int LumoCamCtrl::GetFlipMode(int& v) { return GetBits(Path::Direct, 0x3162, 0xFFFF, 0, v); }
int LumoCamCtrl::SetFlipMode(int v) { return SetWord(Path::Direct, 0x3162, static_cast<uint32_t>(v)); }
int LumoCamCtrl::GetEffectMode(int& v) { return GetBits(Path::Direct, 0x3164, 0xFFFF, 0, v); }
int LumoCamCtrl::SetEffectMode(int v) { return SetWord(Path::Direct, 0x3164, static_cast<uint32_t>(v)); }
int LumoCamCtrl::GetDigitalZoomType(int& v) { return GetBits(Path::Direct, 0x3166, 0xFFFF, 0, v); }
int LumoCamCtrl::SetDigitalZoomType(int v) { return SetWord(Path::Direct, 0x3166, static_cast<uint32_t>(v)); }
int LumoCamCtrl::GetDigitalZoomTarget(double& v) { return GetReal(Path::Direct, 0x3168, fp::DecodeUnsigned8_8, v); }
int LumoCamCtrl::SetDigitalZoomTarget(double v) { return SetReal(LUMO(SetDigitalZoomTarget), Path::Direct, 0x3168, Encode8_8, sz::kZoomTarget, v); }
int LumoCamCtrl::GetDigitalZoom_CT_X(double& v) { return GetReal(Path::Direct, 0x316E, fp::DecodeUnsigned8_8, v); }
int LumoCamCtrl::SetDigitalZoom_CT_X(double v) { return SetReal(LUMO(SetDigitalZoom_CT_X), Path::Direct, 0x316E, Encode8_8, sz::kZoomCtX, v); }
int LumoCamCtrl::GetDigitalZoom_CT_Y(double& v) { return GetReal(Path::Direct, 0x3170, fp::DecodeUnsigned8_8, v); }
int LumoCamCtrl::SetDigitalZoom_CT_Y(double v) { return SetReal(LUMO(SetDigitalZoom_CT_Y), Path::Direct, 0x3170, Encode8_8, sz::kZoomCtY, v); }
int LumoCamCtrl::GetFlickMode(int& v) { return GetBits(Path::Direct, 0x317C, 0xFFFF, 0, v); }
int LumoCamCtrl::SetFlickMode(int v) { return SetWord(Path::Direct, 0x317C, static_cast<uint32_t>(v)); }
int LumoCamCtrl::GetJpegQual(uint8_t& v) { return GetBits(Path::Direct, 0x3180, 0x00FF, 0, v); }
int LumoCamCtrl::SetJpegQual(uint8_t v) { return SetWord(Path::Direct, 0x3180, v); }
int LumoCamCtrl::GetISPTestPattern(uint32_t& v) { return GetTestPattern(v); }
int LumoCamCtrl::SetISPTestPattern(uint32_t v) { return SetTestPattern(v); }
