#include "camera/SvSorvanUVCCamera.h"

#include <cstdio>
#include <cstring>

#include "base/Logger.h"
#include "formats/OSPProfile.h"
#include "platform/CameraControl.h"
#include "platform/XuPacket.h"

SvSorvanUVCCamera::SvSorvanUVCCamera(const CameraDeviceInfo& info, uint8_t ispAddress,
                                     uint8_t headerDeviceAddress, uint16_t headerRegister,
                                     SvEHDRControl::NumbersTest eHDRNumbersTest)
    : SvSorvanCamera(info, ispAddress, headerDeviceAddress),
      ehdr_(*this, eHDRNumbersTest),
      headerRegister_(headerRegister) {}

SvSorvanUVCCamera::~SvSorvanUVCCamera() = default;

int SvSorvanUVCCamera::XuTransfer(uint8_t selector, uint8_t request, uint8_t* data, uint16_t length) {
    auto hold = HoldDevice();
    auto control = Control();
    if (!control) return -1;
    XuRequest xu;
    xu.unit = XU_UNIT_ID;
    xu.selector = selector;
    xu.request = request;
    xu.length = length;
    xu.data = data;
    return request == SET_CUR ? control->SetExtensionUnit(xu) : control->GetExtensionUnit(xu);
}

int SvSorvanUVCCamera::Open() {
    if (SvCamera::Open() != 0) return -1;
    std::string scratch;
    (void)GetUSBFirmwareVersion(scratch);
    // The flip setting at open time is what the default reset goes back to.
    int flip = 0;
    int flag = 0;
    if (GetISPImageProcessing(SV_ISP_FLIP_MODE, flip, flag) == 0) cachedFlip_ = flip;
    return 0;
}

#define SV_FORWARD_PAIR(Name, Type)                                                                   \
    int SvSorvanUVCCamera::Get##Name(Type& value, int& flag) { return ehdr_.Get##Name(value, flag); } \
    int SvSorvanUVCCamera::Set##Name(Type value) { return ehdr_.Set##Name(value); }
SV_MAKER_EHDR_PAIRS(SV_FORWARD_PAIR)
#undef SV_FORWARD_PAIR

int SvSorvanUVCCamera::GetUSBFirmwareVersion(std::string& version) {
    uint8_t bytes[4] = {};
    if (XuGet(XU_CS_FIRMWARE_VERSION, bytes, sizeof(bytes)) != 0 || bytes[0] == 0) {
        sv::log::Write(spdlog::level::err, "UVC: Get Firmware Version Fail");
        return -1;
    }
    version = FormatFirmwareVersion(bytes);
    xuPacket256_ = sv::xu::SelectsSmallI2CPacket(bytes);
    return 0;
}

namespace {

// The checks of both generic I2C directions, in their order; nothing is sent
// when they fail.
bool GenericI2CArgumentsFit(const void* data, uint8_t addressLength, uint32_t length, uint16_t packet) {
    if (data == nullptr || addressLength > 2) return false;
    if (uint32_t{addressLength} + length > uint32_t{packet} - 4u) return false;
    return addressLength == 1 || addressLength == 2;
}

}  // namespace

int SvSorvanUVCCamera::GenericI2CRead(uint8_t device, uint8_t addressLength, uint16_t reg, uint16_t length,
                                      uint8_t* data) {
    const uint16_t packetSize = PacketSize();
    if (!GenericI2CArgumentsFit(data, addressLength, length, packetSize)) return -1;
    uint8_t packet[kXuPacketLarge] = {};
    sv::xu::PutI2CPacketHead(packet, device, true, addressLength, reg, length);

    auto pair = HoldDevice();
    if (XuSet(XU_CS_GENERIC_I2C, packet, packetSize) != 0 || XuGet(XU_CS_GENERIC_I2C, packet, packetSize) != 0) {
        sv::log::Write(spdlog::level::err, "UVC: Generic I2C Read Fail");
        return -1;
    }
    std::memcpy(data, packet + 4 + addressLength, length);
    return 0;
}

int SvSorvanUVCCamera::GenericI2CWrite(uint8_t device, uint8_t addressLength, uint16_t reg, uint8_t length,
                                       const uint8_t* data) {
    const uint16_t packetSize = PacketSize();
    if (!GenericI2CArgumentsFit(data, addressLength, length, packetSize)) return -1;
    uint8_t packet[kXuPacketLarge] = {};
    const std::size_t at = sv::xu::PutI2CPacketHead(packet, device, false, addressLength, reg, length);
    std::memcpy(packet + at, data, length);

    auto pair = HoldDevice();
    if (XuSet(XU_CS_GENERIC_I2C, packet, packetSize) != 0) {
        sv::log::Write(spdlog::level::err, "UVC: Generic I2C Read Fail");
        return -1;
    }
    return 0;
}

int SvSorvanUVCCamera::GetHeaderVersion(uint8_t& version) {
    return GenericI2CRead(headerDeviceAddress_, 2, headerRegister_, 1, &version);
}

int SvSorvanUVCCamera::GetBootdataHeaderV2(std::unique_ptr<SvHeaderV2>& header) {
    return GenericI2CRead(headerDeviceAddress_, 2, headerRegister_, sizeof(SvHeaderV2),
                          reinterpret_cast<uint8_t*>(header.get()));
}

int SvSorvanUVCCamera::GetBootdataHeaderV3(std::unique_ptr<SvHeaderV3>& header) {
    return GenericI2CRead(headerDeviceAddress_, 2, headerRegister_, sizeof(SvHeaderV3),
                          reinterpret_cast<uint8_t*>(header.get()));
}

int SvSorvanUVCCamera::SendProfileFlag(uint8_t flag) { return XuSet(XU_CS_OSP_PROFILE_FLAG, &flag, 1); }

int SvSorvanUVCCamera::GetOSPProfileConfig(std::string& json) {
    const std::string where = std::string(FamilyClassName()) + "::GetOSPProfileConfig";
    if (!ProfileFirmwareAllows(where.c_str()) || !ospProfile_) return -1;
    return ospProfile_->GetOSPProfileConfig(json);
}

int SvSorvanUVCCamera::GetOSPProfileFlag(SV_OSP_PROFILE_FLAG& flag) {
    const std::string where = std::string(FamilyClassName()) + "::GetOSPProfileFlag";
    if (!ProfileFirmwareAllows(where.c_str()) || !ospProfile_) return -1;
    return ospProfile_->GetOSPProfileFlag(flag);
}

int SvSorvanUVCCamera::SetOSPProfileFlag(SV_OSP_PROFILE_FLAG flag) {
    const std::string where = std::string(FamilyClassName()) + "::SetOSPProfileFlag";
    if (!ProfileFirmwareAllows(where.c_str()) || !ospProfile_) return -1;
    return ospProfile_->SetOSPProfileFlag(flag);
}

int SvSorvanUVCCamera::ResetUVC() {
    uint8_t one = 0x01;
    if (XuSet(XU_CS_RESET, &one, 1) != 0) {
        sv::log::Write(spdlog::level::err, "UVC: Reset UVC Fail");
        return -1;
    }
    return 0;
}

int SvSorvanUVCCamera::GotoFX3ProgramMode() {
    uint8_t one = 0x01;
    return XuSet(XU_CS_FX3_PROGRAM_MODE, &one, 1) == 0 ? 0 : -1;
}

SvControlRegisters SvSorvanUVCCamera::IspI2CRegisters() {
    return SvControlRegisters([this](uint16_t reg, uint16_t& value) { return ReadIspRegister16(reg, value); },
                              [this](uint16_t reg, uint16_t value) { return WriteIspRegister16(reg, value); });
}

int SvSorvanUVCCamera::ExposureModeIndex(uint32_t& index) {
    index = 0;
    int flag = 0;
    return GetExposureMode(index, flag);
}

int SvSorvanUVCCamera::GetExposureValue(SvControlRegisters& regs, uint16_t highReg, uint16_t lowReg,
                                        bool flagWhenAuto, int32_t& microseconds, int& flag) {
    uint32_t value = 0;
    uint32_t mode = 0;
    if (regs.Get32(highReg, lowReg, value) != 0 || ExposureModeIndex(mode) != 0) return -1;
    microseconds = static_cast<int32_t>(value);
    flag = (mode == 1) == flagWhenAuto ? 1 : 0;
    return 0;
}

int SvSorvanUVCCamera::SetExposureTime(const char* where, SvControlRegisters& regs, uint16_t highReg,
                                       uint16_t lowReg, int32_t microseconds) {
    int min = 0, max = 0, step = 0, def = 0;
    if (GetISPImageProcessingRange(SV_ISP_EXPOSURE_TIME, min, max, step, def) != 0) {
        SV_LOGE_JOINED(where, "Failed to get exposure time range.");
        return -1;
    }
    if (microseconds < min || microseconds > max) {
        SV_LOGE_JOINED(where, "Exposure Time range: {} ~ {} ms.", min, max);
        return -1;
    }
    return regs.Set32(highReg, lowReg, static_cast<uint32_t>(microseconds));
}

int SvSorvanUVCCamera::GetWhiteBalanceKelvin(SvControlRegisters& regs, uint16_t reg, int32_t& kelvin, int& flag) {
    if (regs.GetInt(reg, 0, 0xFFFF, kelvin, flag) != 0) return -1;
    uint32_t mode = 0;
    int modeFlag = 0;
    flag = GetWhiteBalanceMode(mode, modeFlag) == 0 && mode == 1 ? 1 : 0;
    return 0;
}

bool SvSorvanUVCCamera::UsbFirmwareHasAutoGain(const char* where) {
    std::string version;
    (void)GetUSBFirmwareVersion(version);
    if (CompareFirmwareVersion(version, "24.07.03.01") != -1) return true;
    SV_LOGE(where, "UVC version not support AE mode AUTO_GAIN");
    return false;
}

int SvSorvanUVCCamera::ReadTimestamp(uint16_t reg, float& seconds) {
    uint8_t bytes[8] = {};
    if (GenericI2CRead(ispAddress_, 2, reg, sizeof(bytes), bytes) != 0) return -1;
    seconds = TimestampSeconds(bytes);
    return 0;
}

int SvSorvanUVCCamera::ResetCounter(const char* where, SvControlRegisters& regs, uint16_t reg, uint16_t resetBit,
                                    const char* what) {
    SV_SENSOR_MODE mode = SV_SENSOR_MODE_ACTIVE;
    if (GetSensorWorkMode(mode) != 0) return -1;
    if (mode == SV_SENSOR_MODE_STANDBY) {
        SV_LOGE(where, "Fail to reset the {}. Camera is in standby mode.", what);
        return -1;
    }
    uint16_t control = 0;
    if (regs.Get(reg, control) != 0) return -1;
    return regs.Set(reg, static_cast<uint16_t>(control | resetBit));
}

std::string FormatFirmwareVersion(const uint8_t (&bytes)[4]) {
    char text[24];
    std::snprintf(text, sizeof(text), "%02u.%02u.%02u.%02u", unsigned{bytes[0]}, unsigned{bytes[1]},
                  unsigned{bytes[2]}, unsigned{bytes[3]});
    return text;
}

int CompareFirmwareVersion(const std::string& actual, const std::string& required) {
    auto parts = [](const std::string& text, uint8_t out[4]) {
        int count = 0;
        std::size_t start = 0;
        while (start <= text.size()) {
            const auto dot = text.find('.', start);
            const std::string piece = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
            int value = 0;
            try {
                value = std::stoi(piece);
            } catch (const std::exception&) {
                return -1;  // not a number: the text cannot pass a gate
            }
            if (count < 4) out[count] = static_cast<uint8_t>(value & 0xFF);
            ++count;
            if (dot == std::string::npos) break;
            start = dot + 1;
        }
        return count;
    };
    uint8_t a[4] = {};
    uint8_t r[4] = {};
    if (parts(actual, a) < 4) return -1;
    if (parts(required, r) < 4) return 1;
    for (int i = 0; i < 4; ++i) {
        if (a[i] != r[i]) return a[i] < r[i] ? -1 : 1;
    }
    return 0;
}
