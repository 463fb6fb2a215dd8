#pragma once

#include "camera/SvSorvanCamera.h"

// Maker cameras reached through UVC and the FX3 USB bridge: the operations both
// families share over the vendor extension unit.
class SvSorvanUVCCamera : public SvSorvanCamera {
public:
    SvSorvanUVCCamera(const CameraDeviceInfo& info, uint8_t ispAddress, uint8_t headerDeviceAddress,
                      uint16_t headerRegister);
    ~SvSorvanUVCCamera() override;

    uint8_t GetISPAddress() override { return ispAddress_; }

    bool UsesPacket256() const { return xuPacket256_; }
    uint16_t HeaderRegister() const { return headerRegister_; }

protected:
    bool xuPacket256_ = false;  // 512-byte generic I2C packets until a version read says otherwise
    uint16_t headerRegister_;
};
