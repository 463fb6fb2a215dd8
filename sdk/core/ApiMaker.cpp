// Exported functions of the maker's cameras: each applies the maker (or maker
// UVC) guard and forwards to the camera operation of the same name, holding
// the device's transaction lock across it, so that the operation's transfers
// do not interleave with those of another thread or interface on the device.

#include <cstdio>

#include <sorvansdk/SorvanSDK.h>

#include "core/ApiGuards.h"
#include "formats/BootdataHeader.h"

using sv::api::RequireMaker;
using sv::api::RequireMakerUVC;

// Guard, then call `expr` on `cam` under the device's lock; -1 when the
// guard refuses.
#define SV_FORWARD_MAKER(function, expr)               \
    do {                                               \
        auto cam = RequireMaker(camera, function);     \
        if (!cam) return -1;                           \
        auto hold = cam->HoldDevice();                 \
        return cam->expr;                              \
    } while (0)

int SvGetUSBFirmwareVersion(std::shared_ptr<SvCamera> camera, std::string& version) {
    auto cam = RequireMakerUVC(camera, "SvGetUSBFirmwareVersion");
    if (!cam) return -1;
    auto hold = cam->HoldDevice();
    return cam->GetUSBFirmwareVersion(version);
}

int SvGotoFX3ProgramMode(std::shared_ptr<SvCamera> camera) {
    auto cam = RequireMakerUVC(camera, "SvGotoFX3ProgramMode");
    if (!cam) return -1;
    auto hold = cam->HoldDevice();
    return cam->GotoFX3ProgramMode();
}

int SvResetUVC(std::shared_ptr<SvCamera> camera) {
    auto cam = RequireMakerUVC(camera, "SvResetUVC");
    if (!cam) return -1;
    auto hold = cam->HoldDevice();
    return cam->ResetUVC();
}

int SvGenericI2CRead(std::shared_ptr<SvCamera> camera, uint8_t deviceAddress,
                     uint8_t registerAddressLength, uint16_t registerAddress, uint16_t dataLength,
                     uint8_t* data) {
    SV_FORWARD_MAKER("SvGenericI2CRead", GenericI2CRead(deviceAddress, registerAddressLength,
                                                        registerAddress, dataLength, data));
}

int SvGenericI2CWrite(std::shared_ptr<SvCamera> camera, uint8_t deviceAddress,
                      uint8_t registerAddressLength, uint16_t registerAddress, uint16_t dataLength,
                      uint8_t* data) {
    auto cam = RequireMaker(camera, "SvGenericI2CWrite");
    if (!cam) return -1;
    auto hold = cam->HoldDevice();
    // The packet carries an 8-bit length: a longer write is refused whole
    // rather than cut to its low byte.
    if (dataLength > 0xFF) {
        SV_LOGE("SvGenericI2CWrite", "Data length {} is above 255, nothing written", dataLength);
        return -1;
    }
    return cam->GenericI2CWrite(deviceAddress, registerAddressLength, registerAddress,
                                static_cast<uint8_t>(dataLength), data);
}

int SvAP1302I2CRead(std::shared_ptr<SvCamera> camera, uint16_t reg, uint16_t& value) {
    SV_FORWARD_MAKER("SvAP1302I2CRead", AP1302I2CRead(reg, value));
}

int SvAP1302I2CWrite(std::shared_ptr<SvCamera> camera, uint16_t reg, uint16_t value) {
    SV_FORWARD_MAKER("SvAP1302I2CWrite", AP1302I2CWrite(reg, value));
}

int SvAP1302SensorRegisterRead(std::shared_ptr<SvCamera> camera, uint16_t sensorId, uint16_t reg,
                               uint16_t& value) {
    SV_FORWARD_MAKER("SvAP1302SensorRegisterRead", AP1302SensorRegisterRead(sensorId, reg, value));
}

int SvAP1302SensorRegisterWrite(std::shared_ptr<SvCamera> camera, uint16_t sensorId, uint16_t reg,
                                uint16_t value) {
    SV_FORWARD_MAKER("SvAP1302SensorRegisterWrite", AP1302SensorRegisterWrite(sensorId, reg, value));
}

int SvGetSensorUniqueID(std::shared_ptr<SvCamera> camera, std::string& uid) {
    SV_FORWARD_MAKER("SvGetSensorUniqueID", GetSensorUniqueID(uid));
}

int SvGetISPImageProcessing(std::shared_ptr<SvCamera> camera, SV_ISP_IMAGE_PROPERTIES property, int& value,
                            int& flag) {
    SV_FORWARD_MAKER("SvGetISPImageProcessing", GetISPImageProcessing(property, value, flag));
}

int SvGetISPImageProcessingRange(std::shared_ptr<SvCamera> camera, SV_ISP_IMAGE_PROPERTIES property, int& minimum,
                                 int& maximum, int& step, int& def) {
    SV_FORWARD_MAKER("SvGetISPImageProcessingRange", GetISPImageProcessingRange(property, minimum, maximum, step, def));
}

int SvSetISPImageProcessing(std::shared_ptr<SvCamera> camera, SV_ISP_IMAGE_PROPERTIES property, int value) {
    SV_FORWARD_MAKER("SvSetISPImageProcessing", SetISPImageProcessing(property, value));
}

int SvSetISPImageProcessingDefault(std::shared_ptr<SvCamera> camera) {
    SV_FORWARD_MAKER("SvSetISPImageProcessingDefault", SetISPImageProcessingDefault());
}

int SvGetSensorFormat(std::shared_ptr<SvCamera> camera, int& width, int& height, std::string& format) {
    SV_FORWARD_MAKER("SvGetSensorFormat", GetSensorFormat(width, height, format));
}

int SvGetCurrentExposure(std::shared_ptr<SvCamera> camera, uint32_t& value) {
    SV_FORWARD_MAKER("SvGetCurrentExposure", GetCurrentExposure(value));
}

int SvGetCurrentGain(std::shared_ptr<SvCamera> camera, uint8_t& value) {
    SV_FORWARD_MAKER("SvGetCurrentGain", GetCurrentGain(value));
}

int SvGetMaxFPS(std::shared_ptr<SvCamera> camera, uint8_t& fps) {
    SV_FORWARD_MAKER("SvGetMaxFPS", GetMaxFPS(fps));
}

int SvSetMaxFPS(std::shared_ptr<SvCamera> camera, uint8_t fps) {
    SV_FORWARD_MAKER("SvSetMaxFPS", SetMaxFPS(fps));
}

int SvGetThroughPut(std::shared_ptr<SvCamera> camera, uint16_t& value) {
    SV_FORWARD_MAKER("SvGetThroughPut", GetThroughPut(value));
}

int SvSetThroughPut(std::shared_ptr<SvCamera> camera, uint16_t value) {
    SV_FORWARD_MAKER("SvSetThroughPut", SetThroughPut(value));
}

int SvGetTimestamp(std::shared_ptr<SvCamera> camera, float& seconds) {
    SV_FORWARD_MAKER("SvGetTimestamp", GetTimestamp(seconds));
}

int SvResetTimestamp(std::shared_ptr<SvCamera> camera) {
    SV_FORWARD_MAKER("SvResetTimestamp", ResetTimestamp());
}

int SvGetFrameCount(std::shared_ptr<SvCamera> camera, uint8_t& count) {
    SV_FORWARD_MAKER("SvGetFrameCount", GetFrameCount(count));
}

int SvResetFrameCount(std::shared_ptr<SvCamera> camera) {
    SV_FORWARD_MAKER("SvResetFrameCount", ResetFrameCount());
}

int SvGetSensorWorkMode(std::shared_ptr<SvCamera> camera, SV_SENSOR_MODE& mode) {
    SV_FORWARD_MAKER("SvGetSensorWorkMode", GetSensorWorkMode(mode));
}

int SvGetMCUType(std::shared_ptr<SvCamera> camera, SV_MCU_TYPE& type) {
    SV_FORWARD_MAKER("SvGetMCUType", GetMCUType(type));
}

int SvGetLUMOFirmwareVersion(std::shared_ptr<SvCamera> camera, std::string& version) {
    SV_FORWARD_MAKER("SvGetLUMOFirmwareVersion", GetLUMOFirmwareVersion(version));
}

int SvGetHeaderVersion(std::shared_ptr<SvCamera> camera) {
    auto cam = RequireMaker(camera, "SvGetHeaderVersion");
    if (!cam) return -1;
    auto hold = cam->HoldDevice();
    uint8_t version = 0;
    return cam->GetHeaderVersion(version) == 0 ? static_cast<int>(version) : -1;
}

int SvGetBootdataHeaderV2(std::shared_ptr<SvCamera> camera, std::unique_ptr<SvHeaderV2>& header) {
    SV_FORWARD_MAKER("SvGetBootdataHeaderV2", GetBootdataHeaderV2(header));
}

int SvGetBootdataHeaderV3(std::shared_ptr<SvCamera> camera, std::unique_ptr<SvHeaderV3>& header) {
    SV_FORWARD_MAKER("SvGetBootdataHeaderV3", GetBootdataHeaderV3(header));
}


int SvGetSensorFirmwareVersion(std::shared_ptr<SvCamera> camera, std::string& version) {
    if (!sv::api::CheckCamera(camera, "SvGetSensorFirmwareVersion")) return -1;
    const int headerVersion = SvGetHeaderVersion(camera);
    if (headerVersion == 2) {
        auto header = std::make_unique<SvHeaderV2>();
        if (SvGetBootdataHeaderV2(camera, header) != 0) return -1;
        version = sv::formats::SensorFirmwareVersion(*header);
    } else if (headerVersion == 3) {
        auto header = std::make_unique<SvHeaderV3>();
        if (SvGetBootdataHeaderV3(camera, header) != 0) return -1;
        version = sv::formats::SensorFirmwareVersion(*header);
    }
    return 0;
}

int SvGetOSPProfileConfig(std::shared_ptr<SvCamera> camera, std::string& profile) {
    SV_FORWARD_MAKER("SvGetOSPProfileConfig", GetOSPProfileConfig(profile));
}

int SvGetOSPProfileFlag(std::shared_ptr<SvCamera> camera, SV_OSP_PROFILE_FLAG& flag) {
    SV_FORWARD_MAKER("SvGetOSPProfileFlag", GetOSPProfileFlag(flag));
}

int SvSetOSPProfileFlag(std::shared_ptr<SvCamera> camera, SV_OSP_PROFILE_FLAG flag) {
    SV_FORWARD_MAKER("SvSetOSPProfileFlag", SetOSPProfileFlag(flag));
}

int SvResetOSPProfileConfig(std::shared_ptr<SvCamera> camera) {
    if (!sv::api::CheckCamera(camera, "SvResetOSPProfileConfig")) return -1;
    const int result = SvSetISPImageProcessingDefault(camera);
    if (result < 0) return result;
    return SvSetOSPProfileFlag(camera, SV_OSP_PROFILE_FLAG_RESET);
}

int SvLoadProfileConfig(std::shared_ptr<SvCamera> camera, std::string profile) {
    SV_FORWARD_MAKER("SvLoadProfileConfig", LoadProfileConfig(profile));
}

int SvActivateProfileImageProcessing(std::shared_ptr<SvCamera> camera) {
    SV_FORWARD_MAKER("SvActivateProfileImageProcessing", ActivateProfileImageProcessing());
}

int SvActivateProfileStreaming(std::shared_ptr<SvCamera> camera) {
    auto cam = RequireMaker(camera, "SvActivateProfileStreaming");
    if (!cam) return -1;
    // Format list and selection run one at a time with the other life-cycle calls.
    auto lock = cam->LockLifecycle();
    return cam->ActivateProfileStreaming();
}

int SvExportSensorConfig(std::shared_ptr<SvCamera> camera, std::string path) {
    SV_FORWARD_MAKER("SvExportSensorConfig", ExportSensorConfig(std::move(path)));
}

int SvCheckProduct(std::shared_ptr<SvCamera> camera, std::string& productName, std::string& colorType) {
    auto cam = RequireMaker(camera, "SvCheckProduct");
    if (!cam) return -1;
    auto hold = cam->HoldDevice();
    SV_LOGI("SvCheckProduct", "Start check produce name and color type");
    return cam->CheckProduct(productName, colorType);
}

int SvCleanSensorFW(std::shared_ptr<SvCamera> camera) {
    SV_FORWARD_MAKER("SvCleanSensorFW", CleanSensorFW());
}

int SvUpgradeSensorFW(std::shared_ptr<SvCamera> camera, std::string imagePath,
                      std::function<void(int)> progress) {
    SV_FORWARD_MAKER("SvUpgradeSensorFW", UpgradeSensorFW(std::move(imagePath), std::move(progress)));
}

int SvCheckSensorFWImage(std::shared_ptr<SvCamera> camera, std::string imagePath) {
    SV_FORWARD_MAKER("SvCheckSensorFWImage", CheckSensorFWImage(std::move(imagePath)));
}
