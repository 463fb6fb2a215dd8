#include "camera/SvSorvanCamera.h"

#include "base/Logger.h"
#include "formats/ProfileConfig.h"

SvSorvanCamera::SvSorvanCamera(const CameraDeviceInfo& info, uint8_t ispAddress,
                               uint8_t headerDeviceAddress)
    : SvGenericCamera(info),
      deviceMutex_(sv::platform::DeviceTransactionMutex(info.devicePath)),
      sensor_(*this),
      ispAddress_(ispAddress),
      headerDeviceAddress_(headerDeviceAddress),
      profileConfig_(std::make_unique<SvProfileConfig>(*this)) {}

SvSorvanCamera::~SvSorvanCamera() = default;

// A maker operation that a family does not implement answers -1 silently.
int SvSorvanCamera::GetUSBFirmwareVersion(std::string&) { return -1; }
int SvSorvanCamera::GetLUMOFirmwareVersion(std::string&) { return -1; }
int SvSorvanCamera::GenericI2CRead(uint8_t, uint8_t, uint16_t, uint16_t, uint8_t*) { return -1; }
int SvSorvanCamera::GenericI2CWrite(uint8_t, uint8_t, uint16_t, uint8_t, const uint8_t*) { return -1; }
int SvSorvanCamera::GetHeaderVersion(uint8_t&) { return -1; }
int SvSorvanCamera::GetBootdataHeaderV2(std::unique_ptr<SvHeaderV2>&) { return -1; }
int SvSorvanCamera::GetBootdataHeaderV3(std::unique_ptr<SvHeaderV3>&) { return -1; }
int SvSorvanCamera::CleanSensorFW() { return -1; }
int SvSorvanCamera::UpgradeSensorFW(std::string, std::function<void(int)>) { return -1; }
int SvSorvanCamera::CheckSensorFWImage(std::string) { return -1; }
int SvSorvanCamera::CheckProduct(std::string&, std::string&) { return -1; }
int SvSorvanCamera::SetBSLMode(uint8_t) { return -1; }
int SvSorvanCamera::AP1302I2CRead(uint16_t, uint16_t&) { return -1; }
int SvSorvanCamera::AP1302I2CWrite(uint16_t, uint16_t) { return -1; }

// The sensor behind the ISP is reached through the embedded bridge driver.
// Each access is one transaction on the bridge registers.
int SvSorvanCamera::GetSensorUniqueID(std::string& uid) {
    auto hold = HoldDevice();
    return sensor_.GetSensorUniqueID(uid);
}
int SvSorvanCamera::AP1302SensorRegisterRead(uint16_t sensorId, uint16_t reg, uint16_t& value) {
    auto hold = HoldDevice();
    return sensor_.AP1302SensorRegisterRead(sensorId, reg, value);
}
int SvSorvanCamera::AP1302SensorRegisterWrite(uint16_t sensorId, uint16_t reg, uint16_t value) {
    auto hold = HoldDevice();
    return sensor_.AP1302SensorRegisterWrite(sensorId, reg, value);
}

int SvSorvanCamera::LoadProfileConfig(const std::string& text) { return profileConfig_->LoadProfileConfig(text); }
int SvSorvanCamera::ActivateProfileStreaming() { return profileConfig_->ActivateProfileStreaming(); }
int SvSorvanCamera::ActivateProfileImageProcessing() { return profileConfig_->ActivateProfileImageProcessing(); }

int SvSorvanCamera::GetOSPProfileConfig(std::string&) { return -1; }
int SvSorvanCamera::GetOSPProfileFlag(SV_OSP_PROFILE_FLAG&) { return -1; }
int SvSorvanCamera::SetOSPProfileFlag(SV_OSP_PROFILE_FLAG) { return -1; }
int SvSorvanCamera::GetCurrentGain(uint8_t&) { return -1; }
int SvSorvanCamera::GetCurrentExposure(uint32_t&) { return -1; }
int SvSorvanCamera::GetMaxFPS(uint8_t&) { return -1; }
int SvSorvanCamera::SetMaxFPS(uint8_t) { return -1; }
int SvSorvanCamera::GetThroughPut(uint16_t&) { return -1; }
int SvSorvanCamera::SetThroughPut(uint16_t) { return -1; }

#define SV_DEFINE_PAIR(Name, Type)                                   \
    int SvSorvanCamera::Get##Name(Type&, int&) { return -1; }        \
    int SvSorvanCamera::Set##Name(Type) { return -1; }
SV_MAKER_CONTROL_PAIRS(SV_DEFINE_PAIR)
SV_MAKER_EHDR_PAIRS(SV_DEFINE_PAIR)
#undef SV_DEFINE_PAIR

int SvSorvanCamera::GetTimestamp(float&) { return -1; }
int SvSorvanCamera::ResetTimestamp() { return -1; }
int SvSorvanCamera::GetFrameCount(uint8_t&) { return -1; }
int SvSorvanCamera::ResetFrameCount() { return -1; }
int SvSorvanCamera::GetReservedControl(int&, int&) { return -1; }
int SvSorvanCamera::SetReservedControl(int) { return -1; }

int SvSorvanCamera::ExportSensorConfig(std::string path) {
    path.clear();  // the argument is a copy; emptied as the base contract says
    return -1;
}
int SvSorvanCamera::GetMCUType(SV_MCU_TYPE&) { return -1; }

int SvSorvanCamera::ReadIspRegister16(uint16_t reg, uint16_t& value) {
    uint8_t bytes[2] = {};
    if (GenericI2CRead(GetISPAddress(), 2, reg, 2, bytes) != 0) return -1;
    value = static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
    return 0;
}

int SvSorvanCamera::WriteIspRegister16(uint16_t reg, uint16_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)};
    return GenericI2CWrite(GetISPAddress(), 2, reg, 2, bytes);
}
int SvSorvanCamera::GetSensorWorkMode(SV_SENSOR_MODE&) { return -1; }
