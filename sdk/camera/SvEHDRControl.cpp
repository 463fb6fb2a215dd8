#include "camera/SvEHDRControl.h"

#include "camera/ControlLimits.h"
#include "base/FixedPoint.h"
#include "camera/SvSorvanCamera.h"
#include "base/Logger.h"

namespace {

namespace L = sv::limits;

constexpr uint16_t kModeOff = 0x0001;
constexpr uint16_t kModeOn = 0x7FFF;

// The shared inclusive range tests of the eHDR setters.
bool InRange(const char* where, int line, const char* label, int value, int lo, int hi) {
    if (value >= lo && value <= hi) return true;
    sv::log::WriteAt(spdlog::level::err, where, line, "{} out of range: {} (valid range: {} ~ {})", label, value, lo, hi);
    return false;
}

bool InRange(const char* where, int line, const char* label, double value, double lo, double hi) {
    if (value >= lo && value <= hi) return true;
    sv::log::WriteAt(spdlog::level::err, where, line, "{} out of range: {} (valid range: {} ~ {})", label, value, lo, hi);
    return false;
}

}  // namespace

SvEHDRControl::SvEHDRControl(SvSorvanCamera& camera, NumbersTest numbersTest)
    : camera_(camera),
      isp_([&camera](uint16_t reg, uint16_t& value) { return camera.AP1302I2CRead(reg, value); },
           [&camera](uint16_t reg, uint16_t value) { return camera.AP1302I2CWrite(reg, value); }),
      numbersTest_(numbersTest) {}

bool SvEHDRControl::Supported(const char* where, int line, const char* control) const {
    if (camera_.IsEHDRSupported()) return true;
    sv::log::WriteAt(spdlog::level::err, where, line, "eHDR {} is not supported on this device.", control);
    return false;
}

bool SvEHDRControl::NumbersAvailable(const char* where, int line, const char* control) const {
    if (numbersTest_ == NumbersTest::EHDRSupported) return Supported(where, line, control);
    const uint16_t pid = camera_.DeviceInfo().productId;
    if (pid == 0x0821 || pid == 0x0822) return true;
    sv::log::WriteAt(spdlog::level::err, where, line, "eHDR {} is not supported on this device.", control);
    return false;
}

int SvEHDRControl::GeteHDRMode(uint32_t& index, int& flag) {
    constexpr const char* kWhere = "SvEHDRControl::GeteHDRMode";
    if (!NumbersAvailable(kWhere, __LINE__, "Mode")) return -1;
    flag = 0;
    uint16_t raw = 0;
    if (isp_.Get(kModeRegister, raw) != 0) return -1;
    if (raw == kModeOff) {
        index = 0;
    } else if (raw == kModeOn) {
        index = 1;
    } else {
        SV_LOGE(kWhere, "Invalid eHDR mode value: 0x{:04X}", raw);
        return -1;
    }
    return 0;
}

int SvEHDRControl::SeteHDRMode(uint32_t index) {
    constexpr const char* kWhere = "SvEHDRControl::SeteHDRMode";
    if (!NumbersAvailable(kWhere, __LINE__, "Mode")) return -1;
    if (!L::kEHDRMode.Contains(static_cast<int32_t>(index))) {
        SV_LOGE(kWhere, "eHDR Mode Range: {} ~ {}", L::kEHDRMode.minimum, L::kEHDRMode.maximum);
        return -1;
    }
    return isp_.Set(kModeRegister, index == 0 ? kModeOff : kModeOn);
}

int SvEHDRControl::GeteHDRMinimum(int32_t& number, int& flag) {
    if (!NumbersAvailable("SvEHDRControl::GeteHDRMinimum", __LINE__, "Min Number")) return -1;
    return isp_.GetInt(kNumbersRegister, 0, 0x07, number, flag);
}

int SvEHDRControl::GeteHDRMaximum(int32_t& number, int& flag) {
    if (!NumbersAvailable("SvEHDRControl::GeteHDRMaximum", __LINE__, "Max Number")) return -1;
    return isp_.GetInt(kNumbersRegister, 3, 0x07, number, flag);
}

int SvEHDRControl::SeteHDRMaximum(int32_t number) {
    constexpr const char* kWhere = "SvEHDRControl::SeteHDRMaximum";
    if (!NumbersAvailable(kWhere, __LINE__, "Max Number")) return -1;
    uint16_t raw = 0;
    if (isp_.Get(kNumbersRegister, raw) != 0) return -1;
    if (!L::kEHDRExposureNumber.Contains(number)) {
        SV_LOGE(kWhere, "eHDR Exposure Max Number Range: {} ~ {}", L::kEHDRExposureNumber.minimum,
                L::kEHDRExposureNumber.maximum);
        return -1;
    }
    const int minimum = raw & 0x07;
    if (number < minimum) {
        SV_LOGE(kWhere, "eHDR Exposure Max Number can't set value {} lower than eHDR Exposure Min Number value {}",
                number, minimum);
        return -1;
    }
    return isp_.Set(kNumbersRegister, static_cast<uint16_t>((raw & 0xFFC7) | (number * 8)));
}

int SvEHDRControl::SeteHDRMinimum(int32_t number) {
    constexpr const char* kWhere = "SvEHDRControl::SeteHDRMinimum";
    if (!NumbersAvailable(kWhere, __LINE__, "Min Number")) return -1;
    uint16_t raw = 0;
    if (isp_.Get(kNumbersRegister, raw) != 0) return -1;
    if (!L::kEHDRExposureNumber.Contains(number)) {
        SV_LOGE(kWhere, "eHDR Exposure Min Number Range: {} ~ {}", L::kEHDRExposureNumber.minimum,
                L::kEHDRExposureNumber.maximum);
        return -1;
    }
    const int maximum = (raw >> 3) & 0x07;
    if (number > maximum) {
        SV_LOGE(kWhere, "eHDR Exposure Min Number can't set value {} upper than eHDR Exposure Max Number value {}",
                number, maximum);
        return -1;
    }
    return isp_.Set(kNumbersRegister, static_cast<uint16_t>((raw & 0xFFF8) | number));
}

int SvEHDRControl::GeteHDRRatioMin(int32_t& ratio, int& flag) {
    if (!Supported("SvEHDRControl::GeteHDRRatioMin", __LINE__, "Ratio Min")) return -1;
    flag = 0;
    uint16_t raw = 0;
    if (isp_.Get(kRatioMinRegister, raw) != 0) return -1;
    ratio = sv::fixedpoint::DecodeRatio(raw);
    return 0;
}

int SvEHDRControl::GeteHDRRatioMax(int32_t& ratio, int& flag) {
    if (!Supported("SvEHDRControl::GeteHDRRatioMax", __LINE__, "Ratio Max")) return -1;
    flag = 0;
    uint16_t raw = 0;
    if (isp_.Get(kRatioMaxRegister, raw) != 0) return -1;
    ratio = sv::fixedpoint::DecodeRatio(raw);
    return 0;
}

int SvEHDRControl::SeteHDRRatioMax(int32_t ratio) {
    constexpr const char* kWhere = "SvEHDRControl::SeteHDRRatioMax";
    if (!Supported(kWhere, __LINE__, "Ratio Max")) return -1;
    if (!InRange(kWhere, __LINE__, "eHDR Ratio Max", ratio, L::kEHDRRatio.minimum, L::kEHDRRatio.maximum)) return -1;
    uint16_t raw = 0;
    if (isp_.Get(kRatioMinRegister, raw) != 0) return -1;
    const int minimum = sv::fixedpoint::DecodeRatio(raw);
    if (ratio < minimum) {
        SV_LOGE(kWhere, "eHDR Ratio Max ({}) cannot be less than eHDR Ratio Min ({})", ratio, minimum);
        return -1;
    }
    return isp_.Set(kRatioMaxRegister, sv::fixedpoint::EncodeRatio(ratio));
}

int SvEHDRControl::SeteHDRRatioMin(int32_t ratio) {
    constexpr const char* kWhere = "SvEHDRControl::SeteHDRRatioMin";
    if (!Supported(kWhere, __LINE__, "Ratio Min")) return -1;
    if (!InRange(kWhere, __LINE__, "eHDR Ratio Min", ratio, L::kEHDRRatio.minimum, L::kEHDRRatio.maximum)) return -1;
    uint16_t raw = 0;
    if (isp_.Get(kRatioMaxRegister, raw) != 0) return -1;
    const int maximum = sv::fixedpoint::DecodeRatio(raw);
    if (maximum < ratio) {
        SV_LOGE(kWhere, "eHDR Ratio Min ({}) cannot exceed eHDR Ratio Max ({})", ratio, maximum);
        return -1;
    }
    return isp_.Set(kRatioMinRegister, sv::fixedpoint::EncodeRatio(ratio));
}

int SvEHDRControl::GeteHDRAtmWeight(double& weight, int& flag) {
    if (!Supported("SvEHDRControl::GeteHDRAtmWeight", __LINE__, "ATM Weight")) return -1;
    return isp_.GetFixed(kAtmWeightRegister, sv::fixedpoint::DecodeAtm, weight, flag);
}

int SvEHDRControl::GeteHDRAtmMax(double& maximum, int& flag) {
    if (!Supported("SvEHDRControl::GeteHDRAtmMax", __LINE__, "ATM Max")) return -1;
    return isp_.GetFixed(kAtmMaxRegister, sv::fixedpoint::DecodeAtm, maximum, flag);
}

int SvEHDRControl::SeteHDRAtmMax(double maximum) {
    constexpr const char* kWhere = "SvEHDRControl::SeteHDRAtmMax";
    if (!Supported(kWhere, __LINE__, "ATM Max")) return -1;
    if (!InRange(kWhere, __LINE__, "eHDR ATM Max", maximum, L::kEHDRAtmMax.minimum,
        L::kEHDRAtmMax.maximum)) return -1;
    uint16_t raw = 0;
    if (isp_.Get(kAtmWeightRegister, raw) != 0) return -1;
    const double weight = sv::fixedpoint::DecodeAtm(raw);
    if (maximum < weight) {
        SV_LOGE(kWhere, "eHDR ATM Max ({}) cannot be less than eHDR ATM Weight ({})", maximum, weight);
        return -1;
    }
    return isp_.Set(kAtmMaxRegister, sv::fixedpoint::EncodeAtm(maximum));
}

int SvEHDRControl::SeteHDRAtmWeight(double weight) {
    constexpr const char* kWhere = "SvEHDRControl::SeteHDRAtmWeight";
    if (!Supported(kWhere, __LINE__, "ATM Weight")) return -1;
    if (!InRange(kWhere, __LINE__, "eHDR ATM Weight", weight, L::kEHDRAtmWeight.minimum,
                 L::kEHDRAtmWeight.maximum)) return -1;
    uint16_t raw = 0;
    if (isp_.Get(kAtmMaxRegister, raw) != 0) return -1;
    const double maximum = sv::fixedpoint::DecodeAtm(raw);
    if (weight > maximum) {
        SV_LOGE_JOINED(kWhere, "eHDR ATM Weight ({}) cannot exceed eHDR ATM Max ({})", weight, maximum);
        return -1;
    }
    return isp_.Set(kAtmWeightRegister, sv::fixedpoint::EncodeAtm(weight));
}
