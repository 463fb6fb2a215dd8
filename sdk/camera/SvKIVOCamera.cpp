#include "camera/SvKIVOCamera.h"

#include <cstdint>

#include "base/Logger.h"
#include "camera/ControlLimits.h"
#include "base/FixedPoint.h"
#include "camera/SvControlRegisters.h"
#include "formats/OSPProfile.h"
#include "formats/SensorConfig.h"
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
// Index -> register code of the mode controls.
constexpr uint16_t kExposureModes[] = {0x0, 0xC, 0x9};
constexpr uint16_t kWhiteBalanceModes[] = {0x7, 0xF};
constexpr uint16_t kSpecialEffects[] = {0x0, 0x3, 0x6, 0x7, 0xF};
constexpr uint16_t kFlickerModes[] = {0x0000, 0x3201, 0x3C01, 0x000E};

namespace L = sv::limits;
static_assert(L::Indexes(L::kExposureMode, kExposureModes));
static_assert(L::Indexes(L::kWhiteBalanceMode, kWhiteBalanceModes));
static_assert(L::Indexes(L::kSpecialEffect, kSpecialEffects));
static_assert(L::Indexes(L::kFlickMode, kFlickerModes));

double DecodeSigned(uint16_t raw) { return sv::fixedpoint::DecodeSigned4_12(raw); }
uint16_t EncodeSigned(double value) { return sv::fixedpoint::Encode(value, 12); }
uint16_t Encode8_8(double value) { return sv::fixedpoint::Encode(value, 8); }

}  // namespace

SvKIVOCamera::SvKIVOCamera(const CameraDeviceInfo& info)
    : SvSorvanUVCCamera(info, kIspAddress, kHeaderDeviceAddress, kHeaderRegister,
                        SvEHDRControl::NumbersTest::ProductId),
      isp_([this](uint16_t reg, uint16_t& value) { return AP1302I2CRead(reg, value); },
           [this](uint16_t reg, uint16_t value) { return AP1302I2CWrite(reg, value); }),
      direct_(IspI2CRegisters()),
      kano_(*this, kHeaderDeviceAddress) {
    ospProfile_ = std::make_unique<KANOOSPProfile>(*this);
}

bool SvKIVOCamera::ProfileFirmwareAllows(const char* where) {
    std::string version;
    if (GetUSBFirmwareVersion(version) != 0) {
        SV_LOGE(where, "Get USB firmware version failed.");
        return false;
    }
    if (CompareFirmwareVersion(version, "24.07.03.00") == -1) {
        SV_LOGE(where, "OSP profile only support USB firmware version higher than 24.07.03.00.");
        return false;
    }
    return true;
}

SvKIVOCamera::~SvKIVOCamera() = default;

// ISP registers travel in the 5-byte ISP register packet: 01/00 (read/write),
// register, value, each most significant byte first.
int SvKIVOCamera::AP1302I2CRead(uint16_t reg, uint16_t& value) {
    uint8_t packet[5] = {0x01, static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg & 0xFF), 0, 0};
    auto pair = HoldDevice();
    if (XuSet(XU_CS_ISP_REGISTER, packet, sizeof(packet)) != 0) return -1;
    if (XuGet(XU_CS_ISP_REGISTER, packet, sizeof(packet)) != 0) return -1;
    value = static_cast<uint16_t>((packet[3] << 8) | packet[4]);
    return 0;
}

int SvKIVOCamera::AP1302I2CWrite(uint16_t reg, uint16_t value) {
    uint8_t packet[5] = {0x00, static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg & 0xFF),
                         static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)};
    auto pair = HoldDevice();
    return XuSet(XU_CS_ISP_REGISTER, packet, sizeof(packet)) == 0 ? 0 : -1;
}

// ---------------------------------------------------------------- exposure

int SvKIVOCamera::GetExposureMode(uint32_t& index, int& flag) {
    return isp_.GetCode(kAeControl, 0xF, kExposureModes, index, flag);
}

int SvKIVOCamera::SetExposureMode(uint32_t index) {
    constexpr const char* kWhere = "SvKIVOCamera::SetExposureMode";
    if (!L::kExposureMode.Contains(static_cast<int32_t>(index))) {
        SV_LOGE(kWhere, "Exposure Mode Range: {} ~ {}", L::kExposureMode.minimum, L::kExposureMode.maximum);
        return -1;
    }
    SV_LOGD(kWhere, "Set Auto Exposure Mode: {}", index);
    if (index == 2) {
        // Automatic gain needs bridge firmware that knows it, and a manual
        // exposure time of one frame period.
        if (!UsbFirmwareHasAutoGain(kWhere)) return -1;
        uint8_t fps = 0;
        if (GetMaxFPS(fps) != 0) return -1;
        SV_LOGD(kWhere, "Max FPS: {}", fps);
        if (fps >= 1 && isp_.Set32(kExposureHigh, kExposureLow, 1000000u / fps) != 0) return -1;
    }
    return isp_.Set(kAeControl, static_cast<uint16_t>(kExposureModes[index] | kAeControlFixed));
}

int SvKIVOCamera::GetExposure(int32_t& microseconds, int& flag) {
    return GetExposureValue(isp_, kExposureHigh, kExposureLow, true, microseconds, flag);
}

int SvKIVOCamera::SetExposure(int32_t microseconds) {
    return SetExposureTime("SvKIVOCamera::SetExposure", isp_, kExposureHigh, kExposureLow, microseconds);
}

int SvKIVOCamera::GetExposureMinimum(int32_t& microseconds, int& flag) {
    return GetExposureValue(direct_, kAeMinimumHigh, kAeMinimumLow, false, microseconds, flag);
}

int SvKIVOCamera::GetExposureMaximum(int32_t& microseconds, int& flag) {
    return GetExposureValue(direct_, kAeMaximumHigh, kAeMaximumLow, false, microseconds, flag);
}

int SvKIVOCamera::SetExposureMinimum(int32_t microseconds) {
    if (!L::kExposureTime.Contains(microseconds)) {
        SV_LOGE("SvKIVOCamera::SetExposureMinimum", "Exposure Time Range: {} ~ {}", L::kExposureTime.minimum,
                L::kExposureTime.maximum);
        return -1;
    }
    return direct_.Set32(kAeMinimumHigh, kAeMinimumLow, static_cast<uint32_t>(microseconds));
}

int SvKIVOCamera::SetExposureMaximum(int32_t microseconds) {
    if (!L::kExposureTime.Contains(microseconds)) {
        SV_LOGE("SvKIVOCamera::SetExposureMaximum", "Exposure Time Range: {} ~ {}", L::kExposureTime.minimum,
                L::kExposureTime.maximum);
        return -1;
    }
    return direct_.Set32(kAeMaximumHigh, kAeMaximumLow, static_cast<uint32_t>(microseconds));
}

int SvKIVOCamera::GetGain(int32_t& gain, int& flag) {
    int32_t value = 0;
    uint32_t mode = 0;
    if (isp_.GetInt(kGain, 8, 0xFF, value, flag) != 0 || ExposureModeIndex(mode) != 0) return -1;
    gain = value;
    flag = mode != 0 ? 1 : 0;
    return 0;
}

int SvKIVOCamera::SetGain(int32_t gain) {
    return isp_.SetInt("SvKIVOCamera::SetGain", kGain, gain, L::kGain.minimum, L::kGain.maximum,
                       "Gain Range: {} ~ {}", 8);
}

int SvKIVOCamera::GetCurrentGain(uint8_t& gain) {
    int32_t value = 0;
    int flag = 0;
    if (isp_.GetInt(kCurrentGain, 8, 0xFF, value, flag) != 0) return -1;
    gain = static_cast<uint8_t>(value);
    return 0;
}

int SvKIVOCamera::GetCurrentExposure(uint32_t& microseconds) {
    return isp_.Get32(kCurrentExposureHigh, kCurrentExposureLow, microseconds);
}

// ---------------------------------------------------------------- fixed-point controls

int SvKIVOCamera::GetBrightness(double& v, int& flag) { return isp_.GetFixed(kBrightness, DecodeSigned, v, flag); }
int SvKIVOCamera::SetBrightness(double v) {
    return isp_.SetFixed("SvKIVOCamera::SetBrightness", kBrightness, v, L::kBrightness.minimum,
                         L::kBrightness.maximum, "Brightness Range: {} ~ {}",
                         EncodeSigned);
}
int SvKIVOCamera::GetGamma(double& v, int& flag) { return isp_.GetFixed(kGamma, DecodeSigned, v, flag); }
int SvKIVOCamera::SetGamma(double v) {
    return isp_.SetFixed("SvKIVOCamera::SetGamma", kGamma, v, L::kGamma.minimum, L::kGamma.maximum,
                         "Gamma Range: {} ~ {}", EncodeSigned);
}
int SvKIVOCamera::GetSaturation(double& v, int& flag) { return isp_.GetFixed(kSaturation, DecodeSigned, v, flag); }
int SvKIVOCamera::SetSaturation(double v) {
    return isp_.SetFixed("SvKIVOCamera::SetSaturation", kSaturation, v, L::kSaturation.minimum,
                         L::kSaturation.maximum, "Saturation Range: {} ~ {}",
                         EncodeSigned);
}
int SvKIVOCamera::GetContrast(double& v, int& flag) { return isp_.GetFixed(kContrast, DecodeSigned, v, flag); }
int SvKIVOCamera::SetContrast(double v) {
    return isp_.SetFixed("SvKIVOCamera::SetContrast", kContrast, v, L::kContrast.minimum, L::kContrast.maximum,
                         "Contrast Range: {} ~ {}",
                         EncodeSigned);
}
int SvKIVOCamera::GetSharpness(double& v, int& flag) { return isp_.GetFixed(kSharpness, DecodeSigned, v, flag); }
int SvKIVOCamera::SetSharpness(double v) {
    return isp_.SetFixed("SvKIVOCamera::SetSharpness", kSharpness, v, L::kSharpness.minimum, L::kSharpness.maximum,
                         "Sharpness Range: {} ~ {}",
                         EncodeSigned);
}
int SvKIVOCamera::GetDenoise(double& v, int& flag) { return isp_.GetFixed(kDenoise, DecodeSigned, v, flag); }
int SvKIVOCamera::SetDenoise(double v) {
    return isp_.SetFixed("SvKIVOCamera::SetDenoise", kDenoise, v, L::kDenoise.minimum, L::kDenoise.maximum,
                         "Denoise Range: {} ~ {}", EncodeSigned);
}

int SvKIVOCamera::GetDigitalZoom(double& v, int& flag) {
    return isp_.GetFixed(kZoom, sv::fixedpoint::DecodeUnsigned8_8, v, flag);
}
int SvKIVOCamera::SetDigitalZoom(double v) {
    return isp_.SetFixed("SvKIVOCamera::SetDigitalZoom", kZoom, v, L::kZoom.minimum, L::kZoom.maximum,
                         "Digital Zoom Range: {} ~ {}", Encode8_8);
}
int SvKIVOCamera::GetPan(double& v, int& flag) { return isp_.GetFixed(kPan, sv::fixedpoint::DecodeUnsigned8_8, v, flag); }
int SvKIVOCamera::SetPan(double v) {
    return isp_.SetFixed("SvKIVOCamera::SetPan", kPan, v, L::kPan.minimum, L::kPan.maximum, "Pan Range: {} ~ {}",
                         Encode8_8);
}
int SvKIVOCamera::GetTilt(double& v, int& flag) {
    return isp_.GetFixed(kTilt, sv::fixedpoint::DecodeUnsigned8_8, v, flag);
}
int SvKIVOCamera::SetTilt(double v) {
    return isp_.SetFixed("SvKIVOCamera::SetTilt", kTilt, v, L::kTilt.minimum, L::kTilt.maximum,
                         "Tilt Range: {} ~ {}", Encode8_8);
}

int SvKIVOCamera::GetBacklightCompensation(double& v, int& flag) {
    return isp_.GetFixed(kBacklight, sv::fixedpoint::DecodeKivoBacklight, v, flag);
}
int SvKIVOCamera::SetBacklightCompensation(double v) {
    // This family refuses an out-of-range backlight without a message.
    return isp_.SetFixed("SvKIVOCamera::SetBacklightCompensation", kBacklight, v,
                         L::kBacklightCompensation.minimum, L::kBacklightCompensation.maximum, nullptr, Encode8_8);
}

// ---------------------------------------------------------------- white balance and modes

int SvKIVOCamera::GetWhiteBalanceMode(uint32_t& index, int& flag) {
    return isp_.GetCode(kWbControl, 0xF, kWhiteBalanceModes, index, flag);
}
int SvKIVOCamera::SetWhiteBalanceMode(uint32_t index) {
    return isp_.SetCode("SvKIVOCamera::SetWhiteBalanceMode", kWbControl, kWhiteBalanceModes, kWbControlFixed, index,
                        "White Balance Mode Range: {} ~ {}");
}

int SvKIVOCamera::GetWhiteBalanceTemperature(int32_t& kelvin, int& flag) {
    return GetWhiteBalanceKelvin(isp_, kWbTemperature, kelvin, flag);
}
int SvKIVOCamera::SetWhiteBalanceTemperature(int32_t kelvin) {
    return isp_.SetInt("SvKIVOCamera::SetWhiteBalanceTemperature", kWbTemperature, kelvin,
                       L::kWhiteBalanceTemperature.minimum,
                       L::kWhiteBalanceTemperature.maximum,
                       "White Balance Temperature Range: {} ~ {}");
}

int SvKIVOCamera::GetSpecialEffects(uint32_t& index, int& flag) {
    return isp_.GetCode(kSpecialEffect, 0xF, kSpecialEffects, index, flag);
}
int SvKIVOCamera::SetSpecialEffects(uint32_t index) {
    return isp_.SetCode("SvKIVOCamera::SetSpecialEffects", kSpecialEffect, kSpecialEffects, 0, index,
                        "Special Effects Range: {} ~ {}");
}

int SvKIVOCamera::GetFlip(int32_t& flip, int& flag) { return isp_.GetInt(kFlip, 0, 0x3, flip, flag); }
int SvKIVOCamera::SetFlip(int32_t flip) {
    return isp_.SetInt("SvKIVOCamera::SetFlip", kFlip, flip, L::kFlip.minimum, L::kFlip.maximum,
                       "Flip Range: {} ~ {}");
}

int SvKIVOCamera::GetJPEGQuality(int32_t& quality, int& flag) {
    return isp_.GetInt(kJpegQuality, 0, 0xFF, quality, flag);
}
int SvKIVOCamera::SetJPEGQuality(int32_t quality) {
    return isp_.SetInt("SvKIVOCamera::SetJPEGQuality", kJpegQuality, quality, L::kJpegQuality.minimum,
                       L::kJpegQuality.maximum, "JPEG Quality Range: {} ~ {}", 0,
                       kJpegFixed);
}

int SvKIVOCamera::GetFlickMode(uint32_t& index, int& flag) {
    return isp_.GetCode(kFlicker, 0xFFFF, kFlickerModes, index, flag);
}
int SvKIVOCamera::SetFlickMode(uint32_t index) {
    return isp_.SetCode("SvKIVOCamera::SetFlickMode", kFlicker, kFlickerModes, 0, index, "Flick Mode Range: {} ~ {}");
}

// ---------------------------------------------------------------- stream figures

int SvKIVOCamera::GetMaxFPS(uint8_t& fps) {
    uint16_t raw = 0;
    if (isp_.Get(kMaxFps, raw) != 0) return -1;
    fps = static_cast<uint8_t>(raw >> 8);
    return 0;
}

int SvKIVOCamera::SetMaxFPS(uint8_t fps) {
    uint16_t control = 0;
    if (isp_.Get(kAeControl, control) != 0) return -1;
    if ((control & 0xF) == kExposureModes[2]) {
        // Automatic gain runs at a fixed exposure of one frame period, which a
        // frame rate of 0 does not have.
        if (fps == 0) {
            SV_LOGE("SvKIVOCamera::SetMaxFPS", "Max FPS must be at least 1 in AE mode AUTO_GAIN");
            return -1;
        }
        if (isp_.Set32(kExposureHigh, kExposureLow, 1000000u / fps) != 0) return -1;
    }
    return isp_.Set(kMaxFps, static_cast<uint16_t>(fps << 8));
}

int SvKIVOCamera::GetThroughPut(uint16_t& value) {
    uint16_t raw = 0;
    if (isp_.Get(kThroughput, raw) != 0) return -1;
    value = static_cast<uint16_t>(raw >> 6);
    return 0;
}

int SvKIVOCamera::SetThroughPut(uint16_t value) {
    // The register holds the value times 64: above 1023 it would wrap.
    return isp_.SetInt("SvKIVOCamera::SetThroughPut", kThroughput, value, L::kThroughput.minimum,
                       L::kThroughput.maximum, "Throughput Range: {} ~ {}", 6);
}

int SvKIVOCamera::GetTimestamp(float& seconds) { return ReadTimestamp(kTimestamp, seconds); }

int SvKIVOCamera::GetFrameCount(uint8_t& count) {
    uint16_t raw = 0;
    if (isp_.Get(kFrameCounter, raw) != 0) return -1;
    count = static_cast<uint8_t>(raw >> 8);
    return 0;
}

int SvKIVOCamera::GetSensorWorkMode(SV_SENSOR_MODE& mode) {
    uint16_t raw = 0;
    if (isp_.Get(kSystemControl, raw) != 0) return -1;
    mode = (raw & kStandbyBit) != 0 ? SV_SENSOR_MODE_STANDBY : SV_SENSOR_MODE_ACTIVE;
    return 0;
}

int SvKIVOCamera::ResetTimestamp() {
    return ResetCounter("SvKIVOCamera::ResetTimestamp", isp_, kCounterControl, 0x0100, "Timestamp");
}
int SvKIVOCamera::ResetFrameCount() {
    return ResetCounter("SvKIVOCamera::ResetFrameCount", isp_, kCounterControl, 0x0200, "Frame Count");
}

int SvKIVOCamera::CheckProduct(std::string& productName, std::string& colorType) {
    auto hold = HoldDevice();
    uint16_t status = 0;
    if (isp_.Get(kIspStatus, status) != 0) return -1;
    if (status != 0x0000 && status != 0xFFFF) {
        // The ISP is running: pulse its control line so the module answers the check.
        for (uint8_t level : {uint8_t{0x00}, uint8_t{0x01}}) {
            uint8_t byte = level;
            if (XuSet(XU_CS_ISP_CONTROL, &byte, 1) != 0) sv::log::Write(spdlog::level::err, "UVC: Reset UVC Fail");
            sv::platform::GetBackend()->Sleep(50);
        }
    }
    return kano_.CheckProduct(productName, colorType);
}

int SvKIVOCamera::CleanSensorFW() {
    auto hold = HoldDevice();
    return kano_.CleanSensorFW();
}

int SvKIVOCamera::UpgradeSensorFW(std::string imagePath, std::function<void(int)> progress) {
    auto hold = HoldDevice();
    return kano_.UpgradeSensorFW(imagePath, progress);
}

int SvKIVOCamera::CheckSensorFWImage(std::string imagePath) {
    // The file alone: the device is not touched.
    return SvKANOFirmwareUpgrade::CheckImageFile(imagePath);
}

// ---------------------------------------------------------------- sensor configuration

int SvKIVOCamera::ExportSensorConfig(std::string path) {
    auto read = [this](uint8_t device, uint16_t reg, uint8_t bytes[2]) {
        return GenericI2CRead(device, 2, reg, 2, bytes) < 0 ? -1 : 0;
    };
    return sv::formats::ExportSensorConfig("SvKIVOCamera::ExportSensorConfig", path, DeviceName(),
                                           sv::formats::KivoExportReads(IspAddress(), HeaderDeviceAddress()), read);
}
