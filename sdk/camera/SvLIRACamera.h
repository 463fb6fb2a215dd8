#pragma once

#include "camera/SvControlRegisters.h"
#include "camera/SvSorvanUVCCamera.h"
#include "firmware/SvLUMOFirmwareUpgrade.h"

// LIRA cameras: a LUMO module whose microcontroller holds a register file in
// front of the ISP; everything travels as generic I2C through address 0x48.
// Controls live in 16-bit registers of that file, fixed-point values with an
// offset that keeps them non-negative.
class SvLIRACamera : public SvSorvanUVCCamera {
public:
    static constexpr uint8_t kIspAddress = 0x48;
    static constexpr uint8_t kHeaderDeviceAddress = 0x48;
    static constexpr uint16_t kHeaderRegister = 0x4000;

    explicit SvLIRACamera(const CameraDeviceInfo& info);
    ~SvLIRACamera() override;

    int AP1302I2CRead(uint16_t reg, uint16_t& value) override;
    int AP1302I2CWrite(uint16_t reg, uint16_t value) override;

#define SV_OVERRIDE_PAIR(Name, Type)                 \
    int Get##Name(Type& value, int& flag) override;  \
    int Set##Name(Type value) override;
    SV_MAKER_CONTROL_PAIRS(SV_OVERRIDE_PAIR)
#undef SV_OVERRIDE_PAIR

    int GetLUMOFirmwareVersion(std::string& version) override;
    int GetCurrentGain(uint8_t& gain) override;
    int GetCurrentExposure(uint32_t& microseconds) override;
    int GetMaxFPS(uint8_t& fps) override;
    int SetMaxFPS(uint8_t fps) override;
    int GetThroughPut(uint16_t& value) override;
    int SetThroughPut(uint16_t value) override;
    int GetTimestamp(float& seconds) override;
    int ResetTimestamp() override;
    int GetFrameCount(uint8_t& count) override;
    int ResetFrameCount() override;
    int GetSensorWorkMode(SV_SENSOR_MODE& mode) override;
    int GetMCUType(SV_MCU_TYPE& type) override;
    int SetBSLMode(uint8_t mode) override;
    int CheckProduct(std::string& productName, std::string& colorType) override;
    int CleanSensorFW() override;
    int UpgradeSensorFW(std::string imagePath, std::function<void(int)> progress) override;
    int CheckSensorFWImage(std::string imagePath) override;
    int ExportSensorConfig(std::string path) override;

protected:
    const char* FamilyClassName() const override { return "SvLIRACamera"; }
    // LUMO module firmware 24.07.01.00 or newer.
    bool ProfileFirmwareAllows(const char* where) override;

private:
    SvControlRegisters mcu_;  // the microcontroller's register file at 0x48
    SvLUMOFirmwareUpgrade lumo_;  // the microcontroller's bootstrap loader
};
