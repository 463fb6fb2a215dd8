#pragma once

#include "camera/SvSorvanUVCCamera.h"

// KIVO cameras: a KANO module with an AP1302 ISP reached over the extension
// unit's ISP register selector.
class SvKIVOCamera : public SvSorvanUVCCamera {
public:
    static constexpr uint8_t kIspAddress = 0x3D;
    static constexpr uint8_t kHeaderDeviceAddress = 0x54;
    static constexpr uint16_t kHeaderRegister = 0x0000;

    explicit SvKIVOCamera(const CameraDeviceInfo& info);
    ~SvKIVOCamera() override;

    int AP1302I2CRead(uint16_t reg, uint16_t& value) override;
    int AP1302I2CWrite(uint16_t reg, uint16_t value) override;

    uint16_t GetFormatWidthRegister() override { return 0x3100; }
    uint16_t GetFormatHeightRegister() override { return 0x3102; }
    uint16_t GetFormatCodeRegister() override { return 0x3104; }
};
