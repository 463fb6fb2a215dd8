#include "camera/SvLIRACamera.h"

#include <cstring>

#include "base/Logger.h"
#include "camera/ControlLimits.h"
#include "base/FixedPoint.h"
#include "camera/SvControlRegisters.h"
#include "formats/OSPProfile.h"
#include "formats/SensorConfig.h"

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

namespace L = sv::limits;
static_assert(L::Indexes(L::kExposureMode, kExposureModes));
static_assert(L::Indexes(L::kWhiteBalanceMode, kWhiteBalanceModes));
static_assert(L::Indexes(L::kSpecialEffect, kSpecialEffects));
static_assert(L::Indexes(L::kFlickMode, kFlickerModes));

// The offset forms of the register file: the value plus an offset in 4.12.
SvControlRegisters::Encode Offset(double d) {
    return [d](double value) { return sv::fixedpoint::EncodeOffset4_12(value, d); };
}
SvControlRegisters::Decode SignedOffset(double d) {
    return [d](uint16_t raw) { return sv::fixedpoint::DecodeOffset4_12(raw, d); };
}
uint16_t Encode8_8(double value) { return sv::fixedpoint::Encode(value, 8); }

}  // namespace

SvLIRACamera::SvLIRACamera(const CameraDeviceInfo& info)
    : SvSorvanUVCCamera(info, kIspAddress, kHeaderDeviceAddress, kHeaderRegister,
                        SvEHDRControl::NumbersTest::EHDRSupported),
      mcu_(IspI2CRegisters()),
      lumo_(*this, kIspAddress) {
    ospProfile_ = std::make_unique<LUMOOSPProfile>(*this);
}

bool SvLIRACamera::ProfileFirmwareAllows(const char* where) {
    std::string version;
    if (GetLUMOFirmwareVersion(version) != 0) {
        SV_LOGE(where, "Get LUMO firmware version failed.");
        return false;
    }
    if (CompareFirmwareVersion(version, "24.07.01.00") == -1) {
        SV_LOGE(where, "OSP profile only support LUMO firmware version higher than 24.07.01.00.");
        return false;
    }
    return true;
}

SvLIRACamera::~SvLIRACamera() = default;

// ISP registers are reached through the module's microcontroller, which maps
// them at 0xF000 followed by the register number (a 4-byte I2C address).
int SvLIRACamera::AP1302I2CRead(uint16_t reg, uint16_t& value) {
    uint8_t packet[kXuPacketLarge] = {};
    const uint8_t request[] = {static_cast<uint8_t>((kIspAddress << 1) | 1), 4, 0xF0, 0x00,
                               static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg & 0xFF), 0x00, 0x02};
    std::memcpy(packet, request, sizeof(request));
    const uint16_t size = PacketSize();
    auto pair = HoldDevice();
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
    auto pair = HoldDevice();
    return XuSet(XU_CS_GENERIC_I2C, packet, PacketSize()) == 0 ? 0 : -1;
}

// ---------------------------------------------------------------- exposure

int SvLIRACamera::GetExposureMode(uint32_t& index, int& flag) {
    return mcu_.GetCode(kExposureMode, 0xFFFF, kExposureModes, index, flag);
}

int SvLIRACamera::SetExposureMode(uint32_t index) {
    constexpr const char* kWhere = "SvLIRACamera::SetExposureMode";
    if (!L::kExposureMode.Contains(static_cast<int32_t>(index))) {
        SV_LOGE(kWhere, "Exposure Mode Range: {} ~ {}", L::kExposureMode.minimum, L::kExposureMode.maximum);
        return -1;
    }
    if (index == 2) {
        // Automatic gain needs both the bridge and the module firmware to know it.
        if (!UsbFirmwareHasAutoGain(kWhere)) return -1;
        std::string lumo;
        (void)GetLUMOFirmwareVersion(lumo);
        if (CompareFirmwareVersion(lumo, "24.07.01.01") == -1) {
            SV_LOGE(kWhere, "LUMO version not support AE mode AUTO_GAIN");
            return -1;
        }
    }
    return mcu_.Set(kExposureMode, kExposureModes[index]);
}

int SvLIRACamera::GetExposure(int32_t& microseconds, int& flag) {
    return GetExposureValue(mcu_, kExposure, kExposure + 2, true, microseconds, flag);
}

int SvLIRACamera::SetExposure(int32_t microseconds) {
    return SetExposureTime("SvLIRACamera::SetExposure", mcu_, kExposure, kExposure + 2, microseconds);
}

int SvLIRACamera::GetExposureMinimum(int32_t& microseconds, int& flag) {
    return GetExposureValue(mcu_, kAeMinimum, kAeMinimum + 2, false, microseconds, flag);
}

int SvLIRACamera::SetExposureMinimum(int32_t microseconds) {
    if (!L::kExposureTime.Contains(microseconds)) {
        SV_LOGE_JOINED("SvLIRACamera::SetExposureMinimum", "Exposure Minimum Time range: {} ~ {} ms.",
                       L::kExposureTime.minimum,
                       L::kExposureTime.maximum);
        return -1;
    }
    return mcu_.Set32(kAeMinimum, kAeMinimum + 2, static_cast<uint32_t>(microseconds));
}

int SvLIRACamera::GetExposureMaximum(int32_t& microseconds, int& flag) {
    return GetExposureValue(mcu_, kAeMaximum, kAeMaximum + 2, false, microseconds, flag);
}

int SvLIRACamera::SetExposureMaximum(int32_t microseconds) {
    if (!L::kExposureTime.Contains(microseconds)) {
        SV_LOGE_JOINED("SvLIRACamera::SetExposureMaximum", "Exposure Upper Time range: {} ~ {} ms.",
                       L::kExposureTime.minimum,
                       L::kExposureTime.maximum);
        return -1;
    }
    return mcu_.Set32(kAeMaximum, kAeMaximum + 2, static_cast<uint32_t>(microseconds));
}

int SvLIRACamera::GetGain(int32_t& gain, int& flag) {
    int32_t value = 0;
    uint32_t mode = 0;
    if (mcu_.GetInt(kGain, 0, 0xFF, value, flag) != 0 || ExposureModeIndex(mode) != 0) return -1;
    gain = value;
    flag = mode != 0 ? 1 : 0;
    return 0;
}

int SvLIRACamera::SetGain(int32_t gain) {
    // Written as 00 followed by the gain byte.
    return mcu_.SetInt("SvLIRACamera::SetGain", kGain, gain, L::kGain.minimum, L::kGain.maximum,
                       "Exosure Gain Range: {} ~ {}x.");
}

int SvLIRACamera::GetCurrentGain(uint8_t& gain) {
    int32_t value = 0;
    int flag = 0;
    if (mcu_.GetInt(kCurrentGain, 0, 0xFF, value, flag) != 0) return -1;
    gain = static_cast<uint8_t>(value);
    return 0;
}

int SvLIRACamera::GetCurrentExposure(uint32_t& microseconds) {
    return mcu_.Get32(kCurrentExposure, kCurrentExposure + 2, microseconds);
}

// ---------------------------------------------------------------- fixed-point controls

int SvLIRACamera::GetBrightness(double& v, int& flag) { return mcu_.GetFixed(kBrightness, SignedOffset(1.0), v, flag); }
int SvLIRACamera::SetBrightness(double v) {
    return mcu_.SetFixed("SvLIRACamera::SetBrightness", kBrightness, v, L::kBrightness.minimum,
                         L::kBrightness.maximum, "Brightness Range: {} ~ {}.",
                         Offset(1.0));
}
int SvLIRACamera::GetContrast(double& v, int& flag) {
    // Contrast reads its top nibble unsigned.
    return mcu_.GetFixed(kContrast, [](uint16_t raw) { return sv::fixedpoint::DecodeUnsignedOffset4_12(raw, 5.0); },
                         v, flag);
}
int SvLIRACamera::SetContrast(double v) {
    return mcu_.SetFixed("SvLIRACamera::SetContrast", kContrast, v, L::kContrast.minimum, L::kContrast.maximum,
                         "Contrast Range: {} ~ {}.", Offset(5.0));
}
int SvLIRACamera::GetSaturation(double& v, int& flag) { return mcu_.GetFixed(kSaturation, SignedOffset(0.0), v, flag); }
int SvLIRACamera::SetSaturation(double v) {
    return mcu_.SetFixed("SvLIRACamera::SetSaturation", kSaturation, v, L::kSaturation.minimum,
                         L::kSaturation.maximum, "Saturation Range: {} ~ {}.",
                         Offset(0.0));
}
int SvLIRACamera::GetGamma(double& v, int& flag) { return mcu_.GetFixed(kGamma, SignedOffset(0.0), v, flag); }
int SvLIRACamera::SetGamma(double v) {
    return mcu_.SetFixed("SvLIRACamera::SetGamma", kGamma, v, L::kGamma.minimum, L::kGamma.maximum,
                         "Gamma Range: {} ~ {}.", Offset(0.0));
}
int SvLIRACamera::GetDenoise(double& v, int& flag) { return mcu_.GetFixed(kDenoise, SignedOffset(2.0), v, flag); }
int SvLIRACamera::SetDenoise(double v) {
    return mcu_.SetFixed("SvLIRACamera::SetDenoise", kDenoise, v, L::kDenoise.minimum, L::kDenoise.maximum,
                         "Denoise Range: {} ~ {}.", Offset(2.0));
}
int SvLIRACamera::GetSharpness(double& v, int& flag) { return mcu_.GetFixed(kSharpness, SignedOffset(2.0), v, flag); }
int SvLIRACamera::SetSharpness(double v) {
    return mcu_.SetFixed("SvLIRACamera::SetSharpness", kSharpness, v, L::kSharpness.minimum, L::kSharpness.maximum,
                         "Sharpness Range: {} ~ {}.",
                         Offset(2.0));
}

int SvLIRACamera::GetDigitalZoom(double& v, int& flag) {
    return mcu_.GetFixed(kZoom, sv::fixedpoint::DecodeUnsigned8_8, v, flag);
}
int SvLIRACamera::SetDigitalZoom(double v) {
    return mcu_.SetFixed("SvLIRACamera::SetDigitalZoom", kZoom, v, L::kZoom.minimum, L::kZoom.maximum,
                         "Digital Zoom Range: {} ~ {}.", Encode8_8);
}
int SvLIRACamera::GetPan(double& v, int& flag) { return mcu_.GetFixed(kPan, sv::fixedpoint::DecodeUnsigned8_8, v, flag); }
int SvLIRACamera::SetPan(double v) {
    return mcu_.SetFixed("SvLIRACamera::SetPan", kPan, v, L::kPan.minimum, L::kPan.maximum, "Pan Range: {} ~ {}",
                         Encode8_8);
}
int SvLIRACamera::GetTilt(double& v, int& flag) {
    return mcu_.GetFixed(kTilt, sv::fixedpoint::DecodeUnsigned8_8, v, flag);
}
int SvLIRACamera::SetTilt(double v) {
    return mcu_.SetFixed("SvLIRACamera::SetTilt", kTilt, v, L::kTilt.minimum, L::kTilt.maximum,
                         "Tilt Range: {} ~ {}", Encode8_8);
}

int SvLIRACamera::GetBacklightCompensation(double& v, int& flag) {
    return mcu_.GetFixed(kBacklight, sv::fixedpoint::DecodeLiraBacklight, v, flag);
}
int SvLIRACamera::SetBacklightCompensation(double v) {
    return mcu_.SetFixed("SvLIRACamera::SetBacklightCompensation", kBacklight, v,
                         L::kBacklightCompensation.minimum, L::kBacklightCompensation.maximum,
                         "Backlight Compensation Range: {} ~ {}.", sv::fixedpoint::EncodeLiraBacklight);
}

// ---------------------------------------------------------------- white balance and modes

int SvLIRACamera::GetWhiteBalanceMode(uint32_t& index, int& flag) {
    return mcu_.GetCode(kWbMode, 0xFFFF, kWhiteBalanceModes, index, flag);
}
int SvLIRACamera::SetWhiteBalanceMode(uint32_t index) {
    return mcu_.SetCode("SvLIRACamera::SetWhiteBalanceMode", kWbMode, kWhiteBalanceModes, 0, index,
                        "White Balance Mode Range: {} ~ {}.");
}

int SvLIRACamera::GetWhiteBalanceTemperature(int32_t& kelvin, int& flag) {
    return GetWhiteBalanceKelvin(mcu_, kWbTemperature, kelvin, flag);
}
int SvLIRACamera::SetWhiteBalanceTemperature(int32_t kelvin) {
    return mcu_.SetInt("SvLIRACamera::SetWhiteBalanceTemperature", kWbTemperature, kelvin,
                       L::kWhiteBalanceTemperature.minimum,
                       L::kWhiteBalanceTemperature.maximum,
                       "White Balance Temperature Range: {} ~ {}.");
}

int SvLIRACamera::GetSpecialEffects(uint32_t& index, int& flag) {
    return mcu_.GetCode(kSpecialEffect, 0xFFFF, kSpecialEffects, index, flag);
}
int SvLIRACamera::SetSpecialEffects(uint32_t index) {
    return mcu_.SetCode("SvLIRACamera::SetSpecialEffects", kSpecialEffect, kSpecialEffects, 0, index,
                        "Special Effects Range: {} ~ {}.");
}

int SvLIRACamera::GetFlip(int32_t& flip, int& flag) { return mcu_.GetInt(kFlip, 0, 0xFFFF, flip, flag); }
int SvLIRACamera::SetFlip(int32_t flip) {
    return mcu_.SetInt("SvLIRACamera::SetFlip", kFlip, flip, L::kFlip.minimum, L::kFlip.maximum,
                       "Flip Range: {} ~ {}.");
}

int SvLIRACamera::GetJPEGQuality(int32_t& quality, int& flag) {
    return mcu_.GetInt(kJpegQuality, 0, 0xFFFF, quality, flag);
}
int SvLIRACamera::SetJPEGQuality(int32_t quality) {
    return mcu_.SetInt("SvLIRACamera::SetJPEGQuality", kJpegQuality, quality, L::kJpegQuality.minimum,
                       L::kJpegQuality.maximum, "JPEG Quality Range: {} ~ {}");
}

int SvLIRACamera::GetFlickMode(uint32_t& index, int& flag) {
    return mcu_.GetCode(kFlicker, 0xFFFF, kFlickerModes, index, flag);
}
int SvLIRACamera::SetFlickMode(uint32_t index) {
    return mcu_.SetCode("SvLIRACamera::SetFlickMode", kFlicker, kFlickerModes, 0, index, "Flick Mode Range: {} ~ {}.");
}

// ---------------------------------------------------------------- module figures

int SvLIRACamera::GetLUMOFirmwareVersion(std::string& version) {
    // A module that does not answer reads as 00.00.00.00; this never fails.
    uint8_t bytes[4] = {};
    (void)GenericI2CRead(kIspAddress, 2, kLumoVersion, sizeof(bytes), bytes);
    version = FormatFirmwareVersion(bytes);
    return 0;
}

int SvLIRACamera::GetMCUType(SV_MCU_TYPE& type) {
    uint16_t raw = 0;
    if (mcu_.Get(kMcuType, raw) != 0) return -1;
    const uint8_t low = static_cast<uint8_t>(raw & 0xFF);
    type = low == 0 ? SV_MCU_TYPE_0 : low == 1 ? SV_MCU_TYPE_1 : SV_MCU_TYPE_OTHER;
    return 0;
}

int SvLIRACamera::GetMaxFPS(uint8_t& fps) {
    uint16_t raw = 0;
    if (mcu_.Get(kMaxFps, raw) != 0) return -1;
    fps = static_cast<uint8_t>(raw & 0xFF);
    return 0;
}

int SvLIRACamera::SetMaxFPS(uint8_t fps) { return mcu_.Set(kMaxFps, fps); }

int SvLIRACamera::GetThroughPut(uint16_t& value) { return mcu_.Get(kThroughput, value); }
int SvLIRACamera::SetThroughPut(uint16_t value) { return mcu_.Set(kThroughput, value); }

int SvLIRACamera::GetTimestamp(float& seconds) { return ReadTimestamp(kTimestamp, seconds); }

int SvLIRACamera::GetFrameCount(uint8_t& count) {
    uint16_t raw = 0;
    if (mcu_.Get(kFrameCounter, raw) != 0) return -1;
    count = static_cast<uint8_t>(raw >> 8);
    return 0;
}

int SvLIRACamera::GetSensorWorkMode(SV_SENSOR_MODE& mode) {
    uint16_t raw = 0;
    if (mcu_.Get(kWorkMode, raw) != 0) return -1;
    mode = (raw >> 8) != 0 ? SV_SENSOR_MODE_ACTIVE : SV_SENSOR_MODE_STANDBY;
    return 0;
}

// The reset bits sit in the register's first byte.
int SvLIRACamera::ResetTimestamp() {
    return ResetCounter("SvLIRACamera::ResetTimestamp", mcu_, kCounterControl, 0x0100, "Timestamp");
}
int SvLIRACamera::ResetFrameCount() {
    return ResetCounter("SvLIRACamera::ResetFrameCount", mcu_, kCounterControl, 0x0200, "Frame Count");
}

int SvLIRACamera::SetBSLMode(uint8_t mode) {
    uint8_t byte = mode;
    return XuSet(XU_CS_BSL_MODE, &byte, 1) == 0 ? 0 : -1;
}

int SvLIRACamera::CheckProduct(std::string& productName, std::string& colorType) {
    auto hold = HoldDevice();
    return lumo_.CheckProduct(productName, colorType);
}

int SvLIRACamera::CleanSensorFW() {
    auto hold = HoldDevice();
    return lumo_.CleanSensorFW();
}

int SvLIRACamera::UpgradeSensorFW(std::string imagePath, std::function<void(int)> progress) {
    auto hold = HoldDevice();
    return lumo_.UpgradeSensorFW(imagePath, progress);
}

int SvLIRACamera::CheckSensorFWImage(std::string imagePath) {
    // The file alone: the device is not touched.
    return SvLUMOFirmwareUpgrade::CheckImageFile(imagePath);
}

// ---------------------------------------------------------------- sensor configuration

int SvLIRACamera::ExportSensorConfig(std::string path) {
    auto read = [this](uint8_t device, uint16_t reg, uint8_t bytes[2]) {
        return GenericI2CRead(device, 2, reg, 2, bytes) < 0 ? -1 : 0;
    };
    return sv::formats::ExportSensorConfig("SvLIRACamera::ExportSensorConfig", path, DeviceName(),
                                           sv::formats::LiraExportReads(IspAddress()), read);
}
