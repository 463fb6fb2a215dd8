#include "camera/SvKIVOCamera.h"

SvKIVOCamera::SvKIVOCamera(const CameraDeviceInfo& info)
    : SvSorvanUVCCamera(info, kIspAddress, kHeaderDeviceAddress, kHeaderRegister) {}

SvKIVOCamera::~SvKIVOCamera() = default;

// ISP registers travel in the 5-byte ISP register packet: 01/00 (read/write),
// register, value, each most significant byte first.
int SvKIVOCamera::AP1302I2CRead(uint16_t reg, uint16_t& value) {
    uint8_t packet[5] = {0x01, static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg & 0xFF), 0, 0};
    std::lock_guard<std::mutex> pair(xuPairMutex_);
    if (XuSet(XU_CS_ISP_REGISTER, packet, sizeof(packet)) != 0) return -1;
    if (XuGet(XU_CS_ISP_REGISTER, packet, sizeof(packet)) != 0) return -1;
    value = static_cast<uint16_t>((packet[3] << 8) | packet[4]);
    return 0;
}

int SvKIVOCamera::AP1302I2CWrite(uint16_t reg, uint16_t value) {
    uint8_t packet[5] = {0x00, static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg & 0xFF),
                         static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)};
    std::lock_guard<std::mutex> pair(xuPairMutex_);
    return XuSet(XU_CS_ISP_REGISTER, packet, sizeof(packet)) == 0 ? 0 : -1;
}
