#include "camera/SvLIRACamera.h"

#include <cstdio>
#include <cstring>

#include "camera/FixedPoint.h"
#include "core/Logger.h"

namespace {

// Microcontroller registers of the LIRA controls.
constexpr uint16_t kLumoVersion = 0x3000;  // 4 bytes
constexpr uint16_t kMcuType = 0x300C;
constexpr uint16_t kThroughput = 0x3108;
constexpr uint16_t kMaxFps = 0x310A;
constexpr uint16_t kAeMinimum = 0x310C;  // and 0x310E
constexpr uint16_t kAeMaximum = 0x3110;  // and 0x3112
constexpr uint16_t kExposureMode = 0x3116;
constexpr uint16_t kExposure = 0x3118;  // and 0x311A
constexpr uint16_t kGain = 0x3124;
constexpr uint16_t kCurrentExposure = 0x312A;  // and 0x312C
constexpr uint16_t kCurrentGain = 0x312E;
constexpr uint16_t kBacklight = 0x3130;
constexpr uint16_t kWbMode = 0x3136;
constexpr uint16_t kWbTemperature = 0x3138;
constexpr uint16_t kBrightness = 0x313E;
constexpr uint16_t kContrast = 0x3144;
constexpr uint16_t kSaturation = 0x314A;
constexpr uint16_t kGamma = 0x3150;
constexpr uint16_t kDenoise = 0x3156;
constexpr uint16_t kSharpness = 0x315C;
constexpr uint16_t kFlip = 0x3162;
constexpr uint16_t kSpecialEffect = 0x3164;
constexpr uint16_t kZoom = 0x3168;
constexpr uint16_t kPan = 0x316E;
constexpr uint16_t kTilt = 0x3170;
constexpr uint16_t kWorkMode = 0x3176;
constexpr uint16_t kFlicker = 0x317C;
constexpr uint16_t kJpegQuality = 0x3180;
constexpr uint16_t kCounterControl = 0x3184;
constexpr uint16_t kTimestamp = 0x3186;  // 8 bytes
constexpr uint16_t kFrameCounter = 0x318E;

// Index -> register code; here the code fills the whole register.
constexpr uint16_t kExposureModes[] = {0x0000, 0x000C, 0x0009};
constexpr uint16_t kWhiteBalanceModes[] = {0x0007, 0x000F};
constexpr uint16_t kSpecialEffects[] = {0x0000, 0x0003, 0x0006, 0x0007, 0x000F};
constexpr uint16_t kFlickerModes[] = {0x0000, 0x3201, 0x3C01, 0x000E};

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

SvLIRACamera::SvLIRACamera(const CameraDeviceInfo& info)
    : SvSorvanUVCCamera(info, kIspAddress, kHeaderDeviceAddress, kHeaderRegister,
                        SvEHDRControl::NumbersTest::EHDRSupported) {}

SvLIRACamera::~SvLIRACamera() = default;

// ISP registers are reached through the module's microcontroller, which maps
// them at 0xF000 followed by the register number (a 4-byte I2C address).
int SvLIRACamera::AP1302I2CRead(uint16_t reg, uint16_t& value) {
    uint8_t packet[kXuPacketLarge] = {};
    const uint8_t request[] = {static_cast<uint8_t>((kIspAddress << 1) | 1), 4, 0xF0, 0x00,
                               static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg & 0xFF), 0x00, 0x02};
    std::memcpy(packet, request, sizeof(request));
    const uint16_t size = PacketSize();
    std::lock_guard<std::mutex> pair(xuPairMutex_);
    if (XuSet(XU_CS_GENERIC_I2C, packet, size) != 0) return -1;
    if (XuGet(XU_CS_GENERIC_I2C, packet, size) != 0) return -1;
    // The value follows the echoed address: offset 4 + A, 8 for A = 4.
    const std::size_t at = 4u + packet[1];
    if (at + 2 > size) return -1;
    value = static_cast<uint16_t>((packet[at] << 8) | packet[at + 1]);
    return 0;
}

int SvLIRACamera::AP1302I2CWrite(uint16_t reg, uint16_t value) {
    uint8_t packet[kXuPacketLarge] = {};
    const uint8_t request[] = {static_cast<uint8_t>(kIspAddress << 1), 4, 0xF0, 0x00,
                               static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg & 0xFF), 0x00, 0x02,
                               static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)};
    std::memcpy(packet, request, sizeof(request));
    std::lock_guard<std::mutex> pair(xuPairMutex_);
    return XuSet(XU_CS_GENERIC_I2C, packet, PacketSize()) == 0 ? 0 : -1;
}

int SvLIRACamera::McuRead(uint16_t reg, uint16_t& value) {
    uint8_t bytes[2] = {};
    if (GenericI2CRead(kIspAddress, 2, reg, 2, bytes) != 0) return -1;
    value = static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
    return 0;
}

int SvLIRACamera::McuWrite(uint16_t reg, uint16_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)};
    return GenericI2CWrite(kIspAddress, 2, reg, 2, bytes);
}

int SvLIRACamera::McuRead32(uint16_t highReg, uint32_t& value) {
    uint16_t high = 0;
    uint16_t low = 0;
    if (McuRead(highReg, high) != 0 || McuRead(static_cast<uint16_t>(highReg + 2), low) != 0) return -1;
    value = static_cast<uint32_t>(high) << 16 | low;
    return 0;
}

int SvLIRACamera::McuWrite32(uint16_t highReg, uint32_t value) {
    const int high = McuWrite(highReg, static_cast<uint16_t>(value >> 16));
    const int low = McuWrite(static_cast<uint16_t>(highReg + 2), static_cast<uint16_t>(value & 0xFFFF));
    return high == 0 && low == 0 ? 0 : -1;
}

int SvLIRACamera::ReadExposureModeIndex(uint32_t& index) {
    index = 0;
    uint16_t raw = 0;
    if (McuRead(kExposureMode, raw) != 0) return -1;
    IndexOf(kExposureModes, raw, index);
    return 0;
}

// ---------------------------------------------------------------- exposure

int SvLIRACamera::GetExposureMode(uint32_t& index, int& flag) {
    flag = 0;
    uint16_t raw = 0;
    if (McuRead(kExposureMode, raw) != 0) return -1;
    IndexOf(kExposureModes, raw, index);
    return 0;
}

int SvLIRACamera::SetExposureMode(uint32_t index) {
    constexpr const char* kWhere = "SvLIRACamera::SetExposureMode";
    if (index > 2) {
        SV_LOGE(kWhere, "Exposure Mode Range: {} ~ {}", 0, 2);
        return -1;
    }
    if (index == 2) {
        // Automatic gain needs both the bridge and the module firmware to know it.
        std::string usb;
        (void)GetUSBFirmwareVersion(usb);
        if (CompareFirmwareVersion(usb, "24.07.03.01") == -1) {
            SV_LOGE(kWhere, "UVC version not support AE mode AUTO_GAIN");
            return -1;
        }
        std::string lumo;
        (void)GetLUMOFirmwareVersion(lumo);
        if (CompareFirmwareVersion(lumo, "24.07.01.01") == -1) {
            SV_LOGE(kWhere, "LUMO version not support AE mode AUTO_GAIN");
            return -1;
        }
    }
    return McuWrite(kExposureMode, kExposureModes[index]);
}

int SvLIRACamera::GetExposure(int32_t& microseconds, int& flag) {
    uint32_t value = 0;
    uint32_t mode = 0;
    if (McuRead32(kExposure, value) != 0 || ReadExposureModeIndex(mode) != 0) return -1;
    microseconds = static_cast<int32_t>(value);
    flag = mode == 1 ? 1 : 0;
    return 0;
}

int SvLIRACamera::SetExposure(int32_t microseconds) {
    constexpr const char* kWhere = "SvLIRACamera::SetExposure";
    int min = 0, max = 0, step = 0, def = 0;
    if (GetISPImageProcessingRange(SV_ISP_EXPOSURE_TIME, min, max, step, def) != 0) {
        SV_LOGE_JOINED(kWhere, "Failed to get exposure time range.");
        return -1;
    }
    if (microseconds < min || microseconds > max) {
        SV_LOGE_JOINED(kWhere, "Exposure Time range: {} ~ {} ms.", min, max);
        return -1;
    }
    return McuWrite32(kExposure, static_cast<uint32_t>(microseconds));
}

int SvLIRACamera::GetExposureMinimum(int32_t& microseconds, int& flag) {
    uint32_t value = 0;
    uint32_t mode = 0;
    if (McuRead32(kAeMinimum, value) != 0 || ReadExposureModeIndex(mode) != 0) return -1;
    microseconds = static_cast<int32_t>(value);
    flag = mode != 1 ? 1 : 0;
    return 0;
}

int SvLIRACamera::SetExposureMinimum(int32_t microseconds) {
    if (microseconds < 1 || microseconds > 1000000) {
        SV_LOGE_JOINED("SvLIRACamera::SetExposureMinimum", "Exposure Minimum Time range: {} ~ {} ms.", 1, 1000000);
        return -1;
    }
    return McuWrite32(kAeMinimum, static_cast<uint32_t>(microseconds));
}

int SvLIRACamera::GetExposureMaximum(int32_t& microseconds, int& flag) {
    uint32_t value = 0;
    uint32_t mode = 0;
    if (McuRead32(kAeMaximum, value) != 0 || ReadExposureModeIndex(mode) != 0) return -1;
    microseconds = static_cast<int32_t>(value);
    flag = mode != 1 ? 1 : 0;
    return 0;
}

int SvLIRACamera::SetExposureMaximum(int32_t microseconds) {
    if (microseconds < 1 || microseconds > 1000000) {
        SV_LOGE_JOINED("SvLIRACamera::SetExposureMaximum", "Exposure Upper Time range: {} ~ {} ms.", 1, 1000000);
        return -1;
    }
    return McuWrite32(kAeMaximum, static_cast<uint32_t>(microseconds));
}

int SvLIRACamera::GetGain(int32_t& gain, int& flag) {
    uint16_t raw = 0;
    uint32_t mode = 0;
    if (McuRead(kGain, raw) != 0 || ReadExposureModeIndex(mode) != 0) return -1;
    gain = raw & 0xFF;
    flag = mode != 0 ? 1 : 0;
    return 0;
}

int SvLIRACamera::SetGain(int32_t gain) {
    if (gain < 0 || gain > 255) {
        SV_LOGE("SvLIRACamera::SetGain", "Exosure Gain Range: {} ~ {}x.", 0, 255);
        return -1;
    }
    return McuWrite(kGain, static_cast<uint16_t>(gain));  // bytes 00, gain
}

int SvLIRACamera::GetCurrentGain(uint8_t& gain) {
    uint16_t raw = 0;
    if (McuRead(kCurrentGain, raw) != 0) return -1;
    gain = static_cast<uint8_t>(raw & 0xFF);
    return 0;
}

int SvLIRACamera::GetCurrentExposure(uint32_t& microseconds) { return McuRead32(kCurrentExposure, microseconds); }

// ---------------------------------------------------------------- fixed-point controls

int SvLIRACamera::GetOffset(uint16_t reg, double offset, double& value, int& flag) {
    flag = 0;
    uint16_t raw = 0;
    if (McuRead(reg, raw) != 0) return -1;
    value = reg == kContrast ? sv::fixedpoint::DecodeUnsignedOffset4_12(raw, offset)
                             : sv::fixedpoint::DecodeOffset4_12(raw, offset);
    return 0;
}

int SvLIRACamera::SetOffset(const char* where, uint16_t reg, double offset, double value, double lo, double hi,
                            const char* label) {
    if (!InRange(value, lo, hi)) {
        SV_LOGE(where, "{} Range: {} ~ {}.", label, lo, hi);
        return -1;
    }
    return McuWrite(reg, sv::fixedpoint::EncodeOffset4_12(value, offset));
}

int SvLIRACamera::GetBrightness(double& v, int& flag) { return GetOffset(kBrightness, 1.0, v, flag); }
int SvLIRACamera::SetBrightness(double v) {
    return SetOffset("SvLIRACamera::SetBrightness", kBrightness, 1.0, v, -1.0, 1.0, "Brightness");
}
int SvLIRACamera::GetContrast(double& v, int& flag) { return GetOffset(kContrast, 5.0, v, flag); }
int SvLIRACamera::SetContrast(double v) {
    return SetOffset("SvLIRACamera::SetContrast", kContrast, 5.0, v, -5.0, 5.0, "Contrast");
}
int SvLIRACamera::GetSaturation(double& v, int& flag) { return GetOffset(kSaturation, 0.0, v, flag); }
int SvLIRACamera::SetSaturation(double v) {
    return SetOffset("SvLIRACamera::SetSaturation", kSaturation, 0.0, v, 0.0, 5.0, "Saturation");
}
int SvLIRACamera::GetGamma(double& v, int& flag) { return GetOffset(kGamma, 0.0, v, flag); }
int SvLIRACamera::SetGamma(double v) { return SetOffset("SvLIRACamera::SetGamma", kGamma, 0.0, v, 0.4, 7.9, "Gamma"); }
int SvLIRACamera::GetDenoise(double& v, int& flag) { return GetOffset(kDenoise, 2.0, v, flag); }
int SvLIRACamera::SetDenoise(double v) {
    return SetOffset("SvLIRACamera::SetDenoise", kDenoise, 2.0, v, -2.0, 2.0, "Denoise");
}
int SvLIRACamera::GetSharpness(double& v, int& flag) { return GetOffset(kSharpness, 2.0, v, flag); }
int SvLIRACamera::SetSharpness(double v) {
    return SetOffset("SvLIRACamera::SetSharpness", kSharpness, 2.0, v, -2.0, 2.0, "Sharpness");
}

int SvLIRACamera::GetUnsigned8_8(uint16_t reg, double& value, int& flag) {
    flag = 0;
    uint16_t raw = 0;
    if (McuRead(reg, raw) != 0) return -1;
    value = sv::fixedpoint::DecodeUnsigned8_8(raw);
    return 0;
}

// `message` is the whole range text: this family ends some with a full stop and some not.
int SvLIRACamera::SetUnsigned8_8(const char* where, uint16_t reg, double value, double lo, double hi,
                                 const char* message) {
    if (!InRange(value, lo, hi)) {
        sv::log::WriteAt(spdlog::level::err, where, __LINE__, "{}", fmt::format(fmt::runtime(message), lo, hi));
        return -1;
    }
    return McuWrite(reg, sv::fixedpoint::Encode(value, 8));
}

int SvLIRACamera::GetDigitalZoom(double& v, int& flag) { return GetUnsigned8_8(kZoom, v, flag); }
int SvLIRACamera::SetDigitalZoom(double v) {
    return SetUnsigned8_8("SvLIRACamera::SetDigitalZoom", kZoom, v, 1.0, 8.0, "Digital Zoom Range: {} ~ {}.");
}
int SvLIRACamera::GetPan(double& v, int& flag) { return GetUnsigned8_8(kPan, v, flag); }
int SvLIRACamera::SetPan(double v) { return SetUnsigned8_8("SvLIRACamera::SetPan", kPan, v, 0.0, 1.0, "Pan Range: {} ~ {}"); }
int SvLIRACamera::GetTilt(double& v, int& flag) { return GetUnsigned8_8(kTilt, v, flag); }
int SvLIRACamera::SetTilt(double v) {
    return SetUnsigned8_8("SvLIRACamera::SetTilt", kTilt, v, 0.0, 1.0, "Tilt Range: {} ~ {}");
}

int SvLIRACamera::GetBacklightCompensation(double& value, int& flag) {
    flag = 0;
    uint16_t raw = 0;
    if (McuRead(kBacklight, raw) != 0) return -1;
    value = sv::fixedpoint::DecodeLiraBacklight(raw);
    return 0;
}

int SvLIRACamera::SetBacklightCompensation(double value) {
    if (!InRange(value, -15.0, 15.0)) {
        SV_LOGE("SvLIRACamera::SetBacklightCompensation", "Backlight Compensation Range: {} ~ {}.", -15, 15);
        return -1;
    }
    return McuWrite(kBacklight, sv::fixedpoint::EncodeLiraBacklight(value));
}

// ---------------------------------------------------------------- white balance

int SvLIRACamera::GetWhiteBalanceMode(uint32_t& index, int& flag) {
    flag = 0;
    uint16_t raw = 0;
    if (McuRead(kWbMode, raw) != 0) return -1;
    IndexOf(kWhiteBalanceModes, raw, index);
    return 0;
}

int SvLIRACamera::SetWhiteBalanceMode(uint32_t index) {
    if (index > 1) {
        SV_LOGE("SvLIRACamera::SetWhiteBalanceMode", "White Balance Mode Range: {} ~ {}.", 0, 1);
        return -1;
    }
    return McuWrite(kWbMode, kWhiteBalanceModes[index]);
}

int SvLIRACamera::GetWhiteBalanceTemperature(int32_t& kelvin, int& flag) {
    uint16_t raw = 0;
    if (McuRead(kWbTemperature, raw) != 0) return -1;
    kelvin = raw;
    uint32_t mode = 0;
    int modeFlag = 0;
    flag = GetWhiteBalanceMode(mode, modeFlag) == 0 && mode == 1 ? 1 : 0;
    return 0;
}

int SvLIRACamera::SetWhiteBalanceTemperature(int32_t kelvin) {
    if (kelvin < 2300 || kelvin > 15000) {
        SV_LOGE("SvLIRACamera::SetWhiteBalanceTemperature", "White Balance Temperature Range: {} ~ {}.", 2300, 15000);
        return -1;
    }
    return McuWrite(kWbTemperature, static_cast<uint16_t>(kelvin));
}

// ---------------------------------------------------------------- modes

int SvLIRACamera::GetSpecialEffects(uint32_t& index, int& flag) {
    flag = 0;
    uint16_t raw = 0;
    if (McuRead(kSpecialEffect, raw) != 0) return -1;
    IndexOf(kSpecialEffects, raw, index);
    return 0;
}

int SvLIRACamera::SetSpecialEffects(uint32_t index) {
    if (index > 4) {
        SV_LOGE("SvLIRACamera::SetSpecialEffects", "Special Effects Range: {} ~ {}.", 0, 4);
        return -1;
    }
    return McuWrite(kSpecialEffect, kSpecialEffects[index]);
}

int SvLIRACamera::GetFlip(int32_t& flip, int& flag) {
    flag = 0;
    uint16_t raw = 0;
    if (McuRead(kFlip, raw) != 0) return -1;
    flip = raw;
    return 0;
}

int SvLIRACamera::SetFlip(int32_t flip) {
    if (flip < 0 || flip > 3) {
        SV_LOGE("SvLIRACamera::SetFlip", "Flip Range: {} ~ {}.", 0, 3);
        return -1;
    }
    return McuWrite(kFlip, static_cast<uint16_t>(flip));
}

int SvLIRACamera::GetJPEGQuality(int32_t& quality, int& flag) {
    flag = 0;
    uint16_t raw = 0;
    if (McuRead(kJpegQuality, raw) != 0) return -1;
    quality = raw;
    return 0;
}

int SvLIRACamera::SetJPEGQuality(int32_t quality) {
    if (quality < 0 || quality > 255) {
        SV_LOGE("SvLIRACamera::SetJPEGQuality", "JPEG Quality Range: {} ~ {}", 0, 255);
        return -1;
    }
    return McuWrite(kJpegQuality, static_cast<uint16_t>(quality));  // bytes 00, quality
}

int SvLIRACamera::GetFlickMode(uint32_t& index, int& flag) {
    flag = 0;
    uint16_t raw = 0;
    if (McuRead(kFlicker, raw) != 0) return -1;
    IndexOf(kFlickerModes, raw, index);
    return 0;
}

int SvLIRACamera::SetFlickMode(uint32_t index) {
    if (index > 3) {
        SV_LOGE("SvLIRACamera::SetFlickMode", "Flick Mode Range: {} ~ {}.", 0, 3);
        return -1;
    }
    return McuWrite(kFlicker, kFlickerModes[index]);
}

// ---------------------------------------------------------------- module figures

int SvLIRACamera::GetLUMOFirmwareVersion(std::string& version) {
    // A module that does not answer reads as 00.00.00.00; this never fails.
    uint8_t bytes[4] = {};
    (void)GenericI2CRead(kIspAddress, 2, kLumoVersion, sizeof(bytes), bytes);
    char text[24];
    std::snprintf(text, sizeof(text), "%02u.%02u.%02u.%02u", unsigned{bytes[0]}, unsigned{bytes[1]},
                  unsigned{bytes[2]}, unsigned{bytes[3]});
    version = text;
    return 0;
}

int SvLIRACamera::GetMCUType(SV_MCU_TYPE& type) {
    uint16_t raw = 0;
    if (McuRead(kMcuType, raw) != 0) return -1;
    const uint8_t low = static_cast<uint8_t>(raw & 0xFF);
    type = low == 0 ? SV_MCU_TYPE_0 : low == 1 ? SV_MCU_TYPE_1 : SV_MCU_TYPE_OTHER;
    return 0;
}

int SvLIRACamera::GetMaxFPS(uint8_t& fps) {
    uint16_t raw = 0;
    if (McuRead(kMaxFps, raw) != 0) return -1;
    fps = static_cast<uint8_t>(raw & 0xFF);
    return 0;
}

int SvLIRACamera::SetMaxFPS(uint8_t fps) { return McuWrite(kMaxFps, fps); }

int SvLIRACamera::GetThroughPut(uint16_t& value) { return McuRead(kThroughput, value); }
int SvLIRACamera::SetThroughPut(uint16_t value) { return McuWrite(kThroughput, value); }

int SvLIRACamera::GetTimestamp(float& seconds) {
    uint8_t bytes[8] = {};
    if (GenericI2CRead(kIspAddress, 2, kTimestamp, sizeof(bytes), bytes) != 0) return -1;
    const uint32_t whole = static_cast<uint32_t>(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];
    const uint32_t fraction = static_cast<uint32_t>(bytes[4]) << 24 | bytes[5] << 16 | bytes[6] << 8 | bytes[7];
    seconds = static_cast<float>(whole) + static_cast<float>(fraction) * (1.0f / 4294967296.0f);
    return 0;
}

int SvLIRACamera::GetFrameCount(uint8_t& count) {
    uint16_t raw = 0;
    if (McuRead(kFrameCounter, raw) != 0) return -1;
    count = static_cast<uint8_t>(raw >> 8);
    return 0;
}

int SvLIRACamera::GetSensorWorkMode(SV_SENSOR_MODE& mode) {
    uint16_t raw = 0;
    if (McuRead(kWorkMode, raw) != 0) return -1;
    mode = (raw >> 8) != 0 ? SV_SENSOR_MODE_ACTIVE : SV_SENSOR_MODE_STANDBY;
    return 0;
}

int SvLIRACamera::ResetCounter(const char* where, uint8_t resetBit, const char* what) {
    SV_SENSOR_MODE mode = SV_SENSOR_MODE_ACTIVE;
    if (GetSensorWorkMode(mode) != 0) return -1;
    if (mode == SV_SENSOR_MODE_STANDBY) {
        SV_LOGE(where, "Fail to reset the {}. Camera is in standby mode.", what);
        return -1;
    }
    uint8_t bytes[2] = {};
    if (GenericI2CRead(kIspAddress, 2, kCounterControl, 2, bytes) != 0) return -1;
    bytes[0] = static_cast<uint8_t>(bytes[0] | resetBit);
    return GenericI2CWrite(kIspAddress, 2, kCounterControl, 2, bytes);
}

int SvLIRACamera::ResetTimestamp() { return ResetCounter("SvLIRACamera::ResetTimestamp", 0x01, "Timestamp"); }
int SvLIRACamera::ResetFrameCount() { return ResetCounter("SvLIRACamera::ResetFrameCount", 0x02, "Frame Count"); }

int SvLIRACamera::SetBSLMode(uint8_t mode) {
    uint8_t byte = mode;
    return XuSet(XU_CS_BSL_MODE, &byte, 1) == 0 ? 0 : -1;
}

// The LUMO product check and firmware upgrade are not part of this build.
int SvLIRACamera::CheckProduct(std::string&, std::string&) {
    sv::log::Write(spdlog::level::err, "LUMO product check: not available in this build");
    return -1;
}

int SvLIRACamera::CleanSensorFW() {
    sv::log::Write(spdlog::level::err, "LUMO sensor firmware clean: not available in this build");
    return -1;
}

int SvLIRACamera::UpgradeSensorFW(std::string, std::function<void(int)>) {
    sv::log::Write(spdlog::level::err, "LUMO sensor firmware upgrade: not available in this build");
    return -1;
}
