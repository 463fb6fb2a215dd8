#include "camera/SvKIVOCamera.h"

#include <cstdint>

#include "camera/FixedPoint.h"
#include "core/Logger.h"
#include "platform/backend/Backend.h"

namespace {

// AP1302 registers of the KIVO controls.
constexpr uint16_t kFrameCounter = 0x0002;
constexpr uint16_t kCurrentExposureHigh = 0x00E8;
constexpr uint16_t kCurrentExposureLow = 0x00EA;
constexpr uint16_t kCurrentGain = 0x0192;
constexpr uint16_t kFlip = 0x100C;
constexpr uint16_t kZoom = 0x1010;
constexpr uint16_t kSpecialEffect = 0x1016;
constexpr uint16_t kJpegQuality = 0x1018;
constexpr uint16_t kPan = 0x118C;
constexpr uint16_t kTilt = 0x118E;
constexpr uint16_t kMaxFps = 0x2020;
constexpr uint16_t kAeMinimumHigh = 0x2024;  // direct
constexpr uint16_t kAeMinimumLow = 0x2026;
constexpr uint16_t kAeMaximumHigh = 0x2028;
constexpr uint16_t kAeMaximumLow = 0x202A;
constexpr uint16_t kAeControl = 0x5002;
constexpr uint16_t kGain = 0x5006;
constexpr uint16_t kExposureHigh = 0x500C;
constexpr uint16_t kExposureLow = 0x500E;
constexpr uint16_t kBacklight = 0x501A;
constexpr uint16_t kWbControl = 0x5100;
constexpr uint16_t kWbTemperature = 0x510A;
constexpr uint16_t kFlicker = 0x5440;
constexpr uint16_t kIspStatus = 0x6002;
constexpr uint16_t kSystemControl = 0x601A;
constexpr uint16_t kCounterControl = 0x6126;
constexpr uint16_t kTimestamp = 0x6128;  // direct, 8 bytes
constexpr uint16_t kThroughput = 0x6132;
constexpr uint16_t kBrightness = 0x7000;
constexpr uint16_t kContrast = 0x7002;
constexpr uint16_t kSaturation = 0x7006;
constexpr uint16_t kGamma = 0x700A;
constexpr uint16_t kDenoise = 0x700C;
constexpr uint16_t kSharpness = 0x7010;

constexpr uint16_t kAeControlFixed = 0x0290;
constexpr uint16_t kWbControlFixed = 0x1150;
constexpr uint16_t kJpegFixed = 0x4400;
constexpr uint16_t kStandbyBit = 0x0200;
constexpr uint16_t kAutoGainCode = 0x9;

// Index -> register code of the mode controls.
constexpr uint16_t kExposureModes[] = {0x0, 0xC, 0x9};
constexpr uint16_t kWhiteBalanceModes[] = {0x7, 0xF};
constexpr uint16_t kSpecialEffects[] = {0x0, 0x3, 0x6, 0x7, 0xF};
constexpr uint16_t kFlickerModes[] = {0x0000, 0x3201, 0x3C01, 0x000E};

// Sets `index` to the position of `code` in `codes`; leaves it when absent.
template <std::size_t N>
void IndexOf(const uint16_t (&codes)[N], uint16_t code, uint32_t& index) {
    for (std::size_t i = 0; i < N; ++i) {
        if (codes[i] == code) {
            index = static_cast<uint32_t>(i);
            return;
        }
    }
}

bool InRange(double value, double lo, double hi) { return value >= lo && value <= hi; }

}  // namespace

SvKIVOCamera::SvKIVOCamera(const CameraDeviceInfo& info)
    : SvSorvanUVCCamera(info, kIspAddress, kHeaderDeviceAddress, kHeaderRegister,
                        SvEHDRControl::NumbersTest::ProductId) {}

SvKIVOCamera::~SvKIVOCamera() = default;

// ISP registers travel in the 5-byte ISP register packet: 01/00 (read/write),
// register, value, each most significant byte first.
int SvKIVOCamera::AP1302I2CRead(uint16_t reg, uint16_t& value) {
    uint8_t packet[5] = {0x01, static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg & 0xFF), 0, 0};
    std::lock_guard<std::mutex> pair(xuPairMutex_);
    if (XuSet(XU_CS_ISP_REGISTER, packet, sizeof(packet)) != 0) return -1;
    if (XuGet(XU_CS_ISP_REGISTER, packet, sizeof(packet)) != 0) return -1;
    value = static_cast<uint16_t>((packet[3] << 8) | packet[4]);
    return 0;
}

int SvKIVOCamera::AP1302I2CWrite(uint16_t reg, uint16_t value) {
    uint8_t packet[5] = {0x00, static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg & 0xFF),
                         static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)};
    std::lock_guard<std::mutex> pair(xuPairMutex_);
    return XuSet(XU_CS_ISP_REGISTER, packet, sizeof(packet)) == 0 ? 0 : -1;
}

int SvKIVOCamera::DirectRead(uint16_t reg, uint16_t& value) {
    uint8_t bytes[2] = {};
    if (GenericI2CRead(kIspAddress, 2, reg, 2, bytes) != 0) return -1;
    value = static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
    return 0;
}

int SvKIVOCamera::DirectWrite(uint16_t reg, uint16_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)};
    return GenericI2CWrite(kIspAddress, 2, reg, 2, bytes);
}

int SvKIVOCamera::ReadExposureModeIndex(uint32_t& index) {
    index = 0;
    uint16_t raw = 0;
    if (AP1302I2CRead(kAeControl, raw) != 0) return -1;
    IndexOf(kExposureModes, static_cast<uint16_t>(raw & 0xF), index);
    return 0;
}

int SvKIVOCamera::WriteExposureTime(uint32_t microseconds) {
    const int high = AP1302I2CWrite(kExposureHigh, static_cast<uint16_t>(microseconds >> 16));
    const int low = AP1302I2CWrite(kExposureLow, static_cast<uint16_t>(microseconds & 0xFFFF));
    return high == 0 && low == 0 ? 0 : -1;
}

// ---------------------------------------------------------------- exposure

int SvKIVOCamera::GetExposureMode(uint32_t& index, int& flag) {
    flag = 0;
    uint16_t raw = 0;
    if (AP1302I2CRead(kAeControl, raw) != 0) return -1;
    IndexOf(kExposureModes, static_cast<uint16_t>(raw & 0xF), index);
    return 0;
}

int SvKIVOCamera::SetExposureMode(uint32_t index) {
    constexpr const char* kWhere = "SvKIVOCamera::SetExposureMode";
    if (index > 2) {
        SV_LOGE(kWhere, "Exposure Mode Range: {} ~ {}", 0, 2);
        return -1;
    }
    SV_LOGD(kWhere, "Set Auto Exposure Mode: {}", index);
    if (index == 2) {
        // Automatic gain needs bridge firmware that knows it, and a manual
        // exposure time of one frame period.
        std::string version;
        (void)GetUSBFirmwareVersion(version);
        if (CompareFirmwareVersion(version, "24.07.03.01") == -1) {
            SV_LOGE(kWhere, "UVC version not support AE mode AUTO_GAIN");
            return -1;
        }
        uint16_t raw = 0;
        if (AP1302I2CRead(kMaxFps, raw) != 0) return -1;
        const uint8_t fps = static_cast<uint8_t>(raw >> 8);
        SV_LOGD(kWhere, "Max FPS: {}", fps);
        if (fps >= 1 && WriteExposureTime(1000000u / fps) != 0) return -1;
    }
    return AP1302I2CWrite(kAeControl, static_cast<uint16_t>(kExposureModes[index] | kAeControlFixed));
}

int SvKIVOCamera::GetExposure(int32_t& microseconds, int& flag) {
    uint16_t high = 0;
    uint16_t low = 0;
    uint32_t mode = 0;
    if (AP1302I2CRead(kExposureHigh, high) != 0 || AP1302I2CRead(kExposureLow, low) != 0) return -1;
    if (ReadExposureModeIndex(mode) != 0) return -1;
    microseconds = static_cast<int32_t>(static_cast<uint32_t>(high) << 16 | low);
    flag = mode == 1 ? 1 : 0;
    return 0;
}

int SvKIVOCamera::SetExposure(int32_t microseconds) {
    constexpr const char* kWhere = "SvKIVOCamera::SetExposure";
    int min = 0, max = 0, step = 0, def = 0;
    if (GetISPImageProcessingRange(SV_ISP_EXPOSURE_TIME, min, max, step, def) != 0) {
        SV_LOGE_JOINED(kWhere, "Failed to get exposure time range.");
        return -1;
    }
    if (microseconds < min || microseconds > max) {
        SV_LOGE_JOINED(kWhere, "Exposure Time range: {} ~ {} ms.", min, max);
        return -1;
    }
    return WriteExposureTime(static_cast<uint32_t>(microseconds));
}

int SvKIVOCamera::GetExposureMinimum(int32_t& microseconds, int& flag) {
    uint16_t high = 0;
    uint16_t low = 0;
    uint32_t mode = 0;
    if (DirectRead(kAeMinimumHigh, high) != 0 || DirectRead(kAeMinimumLow, low) != 0) return -1;
    if (ReadExposureModeIndex(mode) != 0) return -1;
    microseconds = static_cast<int32_t>(static_cast<uint32_t>(high) << 16 | low);
    flag = mode != 1 ? 1 : 0;
    return 0;
}

int SvKIVOCamera::GetExposureMaximum(int32_t& microseconds, int& flag) {
    uint16_t high = 0;
    uint16_t low = 0;
    uint32_t mode = 0;
    if (DirectRead(kAeMaximumHigh, high) != 0 || DirectRead(kAeMaximumLow, low) != 0) return -1;
    if (ReadExposureModeIndex(mode) != 0) return -1;
    microseconds = static_cast<int32_t>(static_cast<uint32_t>(high) << 16 | low);
    flag = mode != 1 ? 1 : 0;
    return 0;
}

int SvKIVOCamera::SetExposureMinimum(int32_t microseconds) {
    if (microseconds < 1 || microseconds > 1000000) {
        SV_LOGE("SvKIVOCamera::SetExposureMinimum", "Exposure Time Range: {} ~ {}", 1, 1000000);
        return -1;
    }
    const uint32_t us = static_cast<uint32_t>(microseconds);
    const int high = DirectWrite(kAeMinimumHigh, static_cast<uint16_t>(us >> 16));
    const int low = DirectWrite(kAeMinimumLow, static_cast<uint16_t>(us & 0xFFFF));
    return high == 0 && low == 0 ? 0 : -1;
}

int SvKIVOCamera::SetExposureMaximum(int32_t microseconds) {
    if (microseconds < 1 || microseconds > 1000000) {
        SV_LOGE("SvKIVOCamera::SetExposureMaximum", "Exposure Time Range: {} ~ {}", 1, 1000000);
        return -1;
    }
    const uint32_t us = static_cast<uint32_t>(microseconds);
    const int high = DirectWrite(kAeMaximumHigh, static_cast<uint16_t>(us >> 16));
    const int low = DirectWrite(kAeMaximumLow, static_cast<uint16_t>(us & 0xFFFF));
    return high == 0 && low == 0 ? 0 : -1;
}

int SvKIVOCamera::GetGain(int32_t& gain, int& flag) {
    uint16_t raw = 0;
    uint32_t mode = 0;
    if (AP1302I2CRead(kGain, raw) != 0) return -1;
    if (ReadExposureModeIndex(mode) != 0) return -1;
    gain = raw >> 8;
    flag = mode != 0 ? 1 : 0;
    return 0;
}

int SvKIVOCamera::SetGain(int32_t gain) {
    if (gain < 0 || gain > 255) {
        SV_LOGE("SvKIVOCamera::SetGain", "Gain Range: {} ~ {}", 0, 255);
        return -1;
    }
    return AP1302I2CWrite(kGain, static_cast<uint16_t>(gain << 8));
}

int SvKIVOCamera::GetCurrentGain(uint8_t& gain) {
    uint16_t raw = 0;
    if (AP1302I2CRead(kCurrentGain, raw) != 0) return -1;
    gain = static_cast<uint8_t>(raw >> 8);
    return 0;
}

int SvKIVOCamera::GetCurrentExposure(uint32_t& microseconds) {
    uint16_t high = 0;
    uint16_t low = 0;
    if (AP1302I2CRead(kCurrentExposureHigh, high) != 0 || AP1302I2CRead(kCurrentExposureLow, low) != 0) return -1;
    microseconds = static_cast<uint32_t>(high) << 16 | low;
    return 0;
}

// ---------------------------------------------------------------- fixed-point controls

int SvKIVOCamera::GetSigned(uint16_t reg, double& value, int& flag) {
    flag = 0;
    uint16_t raw = 0;
    if (AP1302I2CRead(reg, raw) != 0) return -1;
    value = sv::fixedpoint::DecodeSigned4_12(raw);
    return 0;
}

int SvKIVOCamera::SetSigned(const char* where, uint16_t reg, double value, double lo, double hi, const char* label) {
    if (!InRange(value, lo, hi)) {
        SV_LOGE(where, "{} Range: {} ~ {}", label, lo, hi);
        return -1;
    }
    return AP1302I2CWrite(reg, sv::fixedpoint::Encode(value, 12));
}

int SvKIVOCamera::GetUnsigned8_8(uint16_t reg, double& value, int& flag) {
    flag = 0;
    uint16_t raw = 0;
    if (AP1302I2CRead(reg, raw) != 0) return -1;
    value = sv::fixedpoint::DecodeUnsigned8_8(raw);
    return 0;
}

int SvKIVOCamera::SetUnsigned8_8(const char* where, uint16_t reg, double value, double lo, double hi,
                                 const char* label) {
    if (!InRange(value, lo, hi)) {
        SV_LOGE(where, "{} Range: {} ~ {}", label, lo, hi);
        return -1;
    }
    return AP1302I2CWrite(reg, sv::fixedpoint::Encode(value, 8));
}

int SvKIVOCamera::GetBrightness(double& v, int& flag) { return GetSigned(kBrightness, v, flag); }
int SvKIVOCamera::SetBrightness(double v) {
    return SetSigned("SvKIVOCamera::SetBrightness", kBrightness, v, -1.0, 1.0, "Brightness");
}
int SvKIVOCamera::GetGamma(double& v, int& flag) { return GetSigned(kGamma, v, flag); }
int SvKIVOCamera::SetGamma(double v) { return SetSigned("SvKIVOCamera::SetGamma", kGamma, v, 0.4, 7.9, "Gamma"); }
int SvKIVOCamera::GetSaturation(double& v, int& flag) { return GetSigned(kSaturation, v, flag); }
int SvKIVOCamera::SetSaturation(double v) {
    return SetSigned("SvKIVOCamera::SetSaturation", kSaturation, v, 0.0, 5.0, "Saturation");
}
int SvKIVOCamera::GetContrast(double& v, int& flag) { return GetSigned(kContrast, v, flag); }
int SvKIVOCamera::SetContrast(double v) {
    return SetSigned("SvKIVOCamera::SetContrast", kContrast, v, -5.0, 5.0, "Contrast");
}
int SvKIVOCamera::GetSharpness(double& v, int& flag) { return GetSigned(kSharpness, v, flag); }
int SvKIVOCamera::SetSharpness(double v) {
    return SetSigned("SvKIVOCamera::SetSharpness", kSharpness, v, -2.0, 2.0, "Sharpness");
}
int SvKIVOCamera::GetDenoise(double& v, int& flag) { return GetSigned(kDenoise, v, flag); }
int SvKIVOCamera::SetDenoise(double v) { return SetSigned("SvKIVOCamera::SetDenoise", kDenoise, v, -2.0, 2.0, "Denoise"); }

int SvKIVOCamera::GetDigitalZoom(double& v, int& flag) { return GetUnsigned8_8(kZoom, v, flag); }
int SvKIVOCamera::SetDigitalZoom(double v) {
    return SetUnsigned8_8("SvKIVOCamera::SetDigitalZoom", kZoom, v, 1.0, 8.0, "Digital Zoom");
}
int SvKIVOCamera::GetPan(double& v, int& flag) { return GetUnsigned8_8(kPan, v, flag); }
int SvKIVOCamera::SetPan(double v) { return SetUnsigned8_8("SvKIVOCamera::SetPan", kPan, v, 0.0, 1.0, "Pan"); }
int SvKIVOCamera::GetTilt(double& v, int& flag) { return GetUnsigned8_8(kTilt, v, flag); }
int SvKIVOCamera::SetTilt(double v) { return SetUnsigned8_8("SvKIVOCamera::SetTilt", kTilt, v, 0.0, 1.0, "Tilt"); }

int SvKIVOCamera::GetBacklightCompensation(double& value, int& flag) {
    flag = 0;
    uint16_t raw = 0;
    if (AP1302I2CRead(kBacklight, raw) != 0) return -1;
    value = sv::fixedpoint::DecodeKivoBacklight(raw);
    return 0;
}

int SvKIVOCamera::SetBacklightCompensation(double value) {
    if (!InRange(value, -15.0, 15.0)) return -1;  // this family refuses without a message
    return AP1302I2CWrite(kBacklight, sv::fixedpoint::Encode(value, 8));
}

// ---------------------------------------------------------------- white balance

int SvKIVOCamera::GetWhiteBalanceMode(uint32_t& index, int& flag) {
    flag = 0;
    uint16_t raw = 0;
    if (AP1302I2CRead(kWbControl, raw) != 0) return -1;
    IndexOf(kWhiteBalanceModes, static_cast<uint16_t>(raw & 0xF), index);
    return 0;
}

int SvKIVOCamera::SetWhiteBalanceMode(uint32_t index) {
    if (index > 1) {
        SV_LOGE("SvKIVOCamera::SetWhiteBalanceMode", "White Balance Mode Range: {} ~ {}", 0, 1);
        return -1;
    }
    return AP1302I2CWrite(kWbControl, static_cast<uint16_t>(kWhiteBalanceModes[index] | kWbControlFixed));
}

int SvKIVOCamera::GetWhiteBalanceTemperature(int32_t& kelvin, int& flag) {
    uint16_t raw = 0;
    if (AP1302I2CRead(kWbTemperature, raw) != 0) return -1;
    kelvin = raw;
    // The automatic flag is a courtesy: a failed mode read leaves it 0.
    uint32_t mode = 0;
    int modeFlag = 0;
    flag = GetWhiteBalanceMode(mode, modeFlag) == 0 && mode == 1 ? 1 : 0;
    return 0;
}

int SvKIVOCamera::SetWhiteBalanceTemperature(int32_t kelvin) {
    if (kelvin < 2300 || kelvin > 15000) {
        SV_LOGE("SvKIVOCamera::SetWhiteBalanceTemperature", "White Balance Temperature Range: {} ~ {}", 2300, 15000);
        return -1;
    }
    return AP1302I2CWrite(kWbTemperature, static_cast<uint16_t>(kelvin));
}

// ---------------------------------------------------------------- modes

int SvKIVOCamera::GetSpecialEffects(uint32_t& index, int& flag) {
    flag = 0;
    uint16_t raw = 0;
    if (AP1302I2CRead(kSpecialEffect, raw) != 0) return -1;
    IndexOf(kSpecialEffects, static_cast<uint16_t>(raw & 0xF), index);
    return 0;
}

int SvKIVOCamera::SetSpecialEffects(uint32_t index) {
    if (index > 4) {
        SV_LOGE("SvKIVOCamera::SetSpecialEffects", "Special Effects Range: {} ~ {}", 0, 4);
        return -1;
    }
    return AP1302I2CWrite(kSpecialEffect, kSpecialEffects[index]);
}

int SvKIVOCamera::GetFlip(int32_t& flip, int& flag) {
    flag = 0;
    uint16_t raw = 0;
    if (AP1302I2CRead(kFlip, raw) != 0) return -1;
    flip = raw & 0x3;
    return 0;
}

int SvKIVOCamera::SetFlip(int32_t flip) {
    if (flip < 0 || flip > 3) {
        SV_LOGE("SvKIVOCamera::SetFlip", "Flip Range: {} ~ {}", 0, 3);
        return -1;
    }
    return AP1302I2CWrite(kFlip, static_cast<uint16_t>(flip));
}

int SvKIVOCamera::GetJPEGQuality(int32_t& quality, int& flag) {
    flag = 0;
    uint16_t raw = 0;
    if (AP1302I2CRead(kJpegQuality, raw) != 0) return -1;
    quality = raw & 0xFF;
    return 0;
}

int SvKIVOCamera::SetJPEGQuality(int32_t quality) {
    if (quality < 0 || quality > 255) {
        SV_LOGE("SvKIVOCamera::SetJPEGQuality", "JPEG Quality Range: {} ~ {}", 0, 255);
        return -1;
    }
    return AP1302I2CWrite(kJpegQuality, static_cast<uint16_t>(kJpegFixed | quality));
}

int SvKIVOCamera::GetFlickMode(uint32_t& index, int& flag) {
    flag = 0;
    uint16_t raw = 0;
    if (AP1302I2CRead(kFlicker, raw) != 0) return -1;
    IndexOf(kFlickerModes, raw, index);
    return 0;
}

int SvKIVOCamera::SetFlickMode(uint32_t index) {
    if (index > 3) {
        SV_LOGE("SvKIVOCamera::SetFlickMode", "Flick Mode Range: {} ~ {}", 0, 3);
        return -1;
    }
    return AP1302I2CWrite(kFlicker, kFlickerModes[index]);
}

// ---------------------------------------------------------------- stream figures

int SvKIVOCamera::GetMaxFPS(uint8_t& fps) {
    uint16_t raw = 0;
    if (AP1302I2CRead(kMaxFps, raw) != 0) return -1;
    fps = static_cast<uint8_t>(raw >> 8);
    return 0;
}

int SvKIVOCamera::SetMaxFPS(uint8_t fps) {
    uint16_t control = 0;
    if (AP1302I2CRead(kAeControl, control) != 0) return -1;
    if ((control & 0xF) == kAutoGainCode) {
        // Automatic gain runs at a fixed exposure of one frame period, which a
        // frame rate of 0 does not have.
        if (fps == 0) {
            SV_LOGE("SvKIVOCamera::SetMaxFPS", "Max FPS must be at least 1 in AE mode AUTO_GAIN");
            return -1;
        }
        if (WriteExposureTime(1000000u / fps) != 0) return -1;
    }
    return AP1302I2CWrite(kMaxFps, static_cast<uint16_t>(fps << 8));
}

int SvKIVOCamera::GetThroughPut(uint16_t& value) {
    uint16_t raw = 0;
    if (AP1302I2CRead(kThroughput, raw) != 0) return -1;
    value = static_cast<uint16_t>(raw >> 6);
    return 0;
}

int SvKIVOCamera::SetThroughPut(uint16_t value) {
    // The register holds the value times 64: above 1023 it would wrap.
    if (value > 0x3FF) {
        SV_LOGE("SvKIVOCamera::SetThroughPut", "Throughput Range: {} ~ {}", 0, 0x3FF);
        return -1;
    }
    return AP1302I2CWrite(kThroughput, static_cast<uint16_t>(value << 6));
}

int SvKIVOCamera::GetTimestamp(float& seconds) {
    uint8_t bytes[8] = {};
    if (GenericI2CRead(kIspAddress, 2, kTimestamp, sizeof(bytes), bytes) != 0) return -1;
    const uint32_t whole = static_cast<uint32_t>(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];
    const uint32_t fraction = static_cast<uint32_t>(bytes[4]) << 24 | bytes[5] << 16 | bytes[6] << 8 | bytes[7];
    seconds = static_cast<float>(whole) + static_cast<float>(fraction) * (1.0f / 4294967296.0f);
    return 0;
}

int SvKIVOCamera::GetFrameCount(uint8_t& count) {
    uint16_t raw = 0;
    if (AP1302I2CRead(kFrameCounter, raw) != 0) return -1;
    count = static_cast<uint8_t>(raw >> 8);
    return 0;
}

int SvKIVOCamera::GetSensorWorkMode(SV_SENSOR_MODE& mode) {
    uint16_t raw = 0;
    if (AP1302I2CRead(kSystemControl, raw) != 0) return -1;
    mode = (raw & kStandbyBit) != 0 ? SV_SENSOR_MODE_STANDBY : SV_SENSOR_MODE_ACTIVE;
    return 0;
}

int SvKIVOCamera::ResetCounter(const char* where, uint16_t resetBit, const char* what) {
    SV_SENSOR_MODE mode = SV_SENSOR_MODE_ACTIVE;
    if (GetSensorWorkMode(mode) != 0) return -1;
    if (mode == SV_SENSOR_MODE_STANDBY) {
        SV_LOGE(where, "Fail to reset the {}. Camera is in standby mode.", what);
        return -1;
    }
    uint16_t control = 0;
    if (AP1302I2CRead(kCounterControl, control) != 0) return -1;
    return AP1302I2CWrite(kCounterControl, static_cast<uint16_t>(control | resetBit));
}

int SvKIVOCamera::ResetTimestamp() { return ResetCounter("SvKIVOCamera::ResetTimestamp", 0x0100, "Timestamp"); }
int SvKIVOCamera::ResetFrameCount() { return ResetCounter("SvKIVOCamera::ResetFrameCount", 0x0200, "Frame Count"); }

int SvKIVOCamera::CheckProduct(std::string&, std::string&) {
    uint16_t status = 0;
    if (AP1302I2CRead(kIspStatus, status) != 0) return -1;
    if (status != 0x0000 && status != 0xFFFF) {
        // The ISP is running: pulse its control line so the module answers the check.
        for (uint8_t level : {uint8_t{0x00}, uint8_t{0x01}}) {
            uint8_t byte = level;
            if (XuSet(XU_CS_ISP_CONTROL, &byte, 1) != 0) sv::log::Write(spdlog::level::err, "UVC: Reset UVC Fail");
            sv::platform::GetBackend()->Sleep(50);
        }
    }
    sv::log::Write(spdlog::level::err, "KANO product check: not available in this build");
    return -1;
}

int SvKIVOCamera::CleanSensorFW() {
    sv::log::Write(spdlog::level::err, "KANO sensor firmware clean: not available in this build");
    return -1;
}

int SvKIVOCamera::UpgradeSensorFW(std::string, std::function<void(int)>) {
    sv::log::Write(spdlog::level::err, "KANO sensor firmware upgrade: not available in this build");
    return -1;
}
