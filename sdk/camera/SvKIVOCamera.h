#pragma once

#include "camera/SvControlRegisters.h"
#include "camera/SvSorvanUVCCamera.h"
#include "firmware/SvKANOFirmwareUpgrade.h"

// KIVO cameras: a KANO module with an AP1302 ISP reached over the extension
// unit's ISP register selector. Every control is an AP1302 register; a few
// (exposure limits, timestamp) are read and written as raw I2C at 0x3D.
class SvKIVOCamera : public SvSorvanUVCCamera {
public:
    static constexpr uint8_t kIspAddress = 0x3D;
    static constexpr uint8_t kHeaderDeviceAddress = 0x54;
    static constexpr uint16_t kHeaderRegister = 0x0000;

    explicit SvKIVOCamera(const CameraDeviceInfo& info);
    ~SvKIVOCamera() override;

    int AP1302I2CRead(uint16_t reg, uint16_t& value) override;
    int AP1302I2CWrite(uint16_t reg, uint16_t value) override;

    uint16_t GetFormatWidthRegister() override { return 0x2000; }
    uint16_t GetFormatHeightRegister() override { return 0x2002; }
    uint16_t GetFormatCodeRegister() override { return 0x2012; }

#define SV_OVERRIDE_PAIR(Name, Type)                 \
    int Get##Name(Type& value, int& flag) override;  \
    int Set##Name(Type value) override;
    SV_MAKER_CONTROL_PAIRS(SV_OVERRIDE_PAIR)
#undef SV_OVERRIDE_PAIR

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
    int CheckProduct(std::string& productName, std::string& colorType) override;
    int CleanSensorFW() override;
    int UpgradeSensorFW(std::string imagePath, std::function<void(int)> progress) override;
    int CheckSensorFWImage(std::string imagePath) override;
    int ExportSensorConfig(std::string path) override;

protected:
    const char* FamilyClassName() const override { return "SvKIVOCamera"; }
    // USB firmware 24.07.03.00 or newer.
    bool ProfileFirmwareAllows(const char* where) override;

private:
    SvControlRegisters isp_;     // AP1302 registers through the ISP register packet
    SvControlRegisters direct_;  // the same registers as raw I2C at 0x3D
    SvKANOFirmwareUpgrade kano_;  // the sensor board's bootdata store
};
