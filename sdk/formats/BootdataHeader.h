#pragma once

// Bootdata headers: reading them from image files, their checksums, the LUMO
// image's information block, and the sensor firmware version text.

#include <cstdint>
#include <memory>
#include <string>

#include <sorvansdk/SvTypes.h>

namespace sv::formats {

#pragma pack(push, 1)
// Information block at the start of a LUMO firmware image (20 bytes, little-endian).
struct BinInfo {
    uint8_t binVersion[4];
    uint32_t controlAddr;
    uint32_t controlLen;
    uint32_t bootdataAddr;
    uint32_t bootdataLen;
};
#pragma pack(pop)
static_assert(sizeof(BinInfo) == 20, "BinInfo is 20 bytes");

// The holder gets a new zero-filled header before the read; 0 with a header of
// the right version, -1 otherwise (logged).
int ReadHeaderV2FromFile(const std::string& path, std::unique_ptr<SvHeaderV2>& header);
// Accepts a plain header file and a LUMO image (BinInfo, control section, bootdata).
int ReadHeaderV3FromFile(const std::string& path, std::unique_ptr<SvHeaderV3>& header);

// 16-bit sums of bytes modulo 65535, as the store keeps them.
uint16_t FixChecksum(const uint8_t* headerBytes);    // bytes 0-100
uint16_t TotalChecksum(const uint8_t* headerBytes);  // bytes 0-122

// "01.02.10" from a version 2 header, "01.05.300.07" from a version 3 header.
std::string SensorFirmwareVersion(const SvHeaderV2& header);
std::string SensorFirmwareVersion(const SvHeaderV3& header);

}  // namespace sv::formats
