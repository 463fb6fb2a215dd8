#pragma once

#include "camera/SvSorvanUVCCamera.h"

// LIRA cameras: a LUMO module whose microcontroller holds a register file in
// front of the ISP; everything travels as generic I2C through address 0x48.
class SvLIRACamera : public SvSorvanUVCCamera {
public:
    static constexpr uint8_t kIspAddress = 0x48;
    static constexpr uint8_t kHeaderDeviceAddress = 0x48;
    static constexpr uint16_t kHeaderRegister = 0x4000;

    explicit SvLIRACamera(const CameraDeviceInfo& info);
    ~SvLIRACamera() override;

    int AP1302I2CRead(uint16_t reg, uint16_t& value) override;
    int AP1302I2CWrite(uint16_t reg, uint16_t value) override;

    uint16_t GetFormatWidthRegister() override { return 0x2000; }
    uint16_t GetFormatHeightRegister() override { return 0x2002; }
    uint16_t GetFormatCodeRegister() override { return 0x2012; }
};
