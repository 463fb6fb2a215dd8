#include "camera/SvLIRACamera.h"

#include <cstring>

SvLIRACamera::SvLIRACamera(const CameraDeviceInfo& info)
    : SvSorvanUVCCamera(info, kIspAddress, kHeaderDeviceAddress, kHeaderRegister) {}

SvLIRACamera::~SvLIRACamera() = default;

// ISP registers are reached through the module's microcontroller, which maps
// them at 0xF000 followed by the register number (a 4-byte I2C address).
int SvLIRACamera::AP1302I2CRead(uint16_t reg, uint16_t& value) {
    uint8_t packet[kXuPacketLarge] = {};
    const uint8_t request[] = {static_cast<uint8_t>((kIspAddress << 1) | 1), 4, 0xF0, 0x00,
                               static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg & 0xFF), 0x00, 0x02};
    std::memcpy(packet, request, sizeof(request));
    const uint16_t size = PacketSize();
    std::lock_guard<std::mutex> pair(xuPairMutex_);
    if (XuSet(XU_CS_GENERIC_I2C, packet, size) != 0) return -1;
    if (XuGet(XU_CS_GENERIC_I2C, packet, size) != 0) return -1;
    // The value follows the echoed address: offset 4 + A, 8 for A = 4.
    const std::size_t at = 4u + packet[1];
    if (at + 2 > size) return -1;
    value = static_cast<uint16_t>((packet[at] << 8) | packet[at + 1]);
    return 0;
}

int SvLIRACamera::AP1302I2CWrite(uint16_t reg, uint16_t value) {
    uint8_t packet[kXuPacketLarge] = {};
    const uint8_t request[] = {static_cast<uint8_t>(kIspAddress << 1), 4, 0xF0, 0x00,
                               static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg & 0xFF), 0x00, 0x02,
                               static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)};
    std::memcpy(packet, request, sizeof(request));
    std::lock_guard<std::mutex> pair(xuPairMutex_);
    return XuSet(XU_CS_GENERIC_I2C, packet, PacketSize()) == 0 ? 0 : -1;
}
