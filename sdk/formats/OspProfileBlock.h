#pragma once

// The on-camera profile block (an OSP profile): 80 bytes with little-endian
// fields that hold a streaming format and a full set of control values, the
// flag byte the camera firmware acts on, and a checksum. Where it lives, its
// checksum and its conversion into a profile-configuration document.

#include <cstdint>
#include <string>

#include <sorvansdk/SvTypes.h>

#include "base/OspProfileLayout.h"

namespace sv::formats {

constexpr std::size_t kOspProfileSize = sv::profileblock::kSize;
using OspProfileBlock = sv::profileblock::Block;

// Field offsets of the block.
namespace osp = sv::profileblock::at;

// The two module families keep some controls differently: the LUMO module
// stores brightness, contrast, backlight, denoise and sharpness with an offset.
enum class OspFamily { Kano, Lumo };

inline uint16_t OspProfileChecksum(const OspProfileBlock& block) { return sv::profileblock::Checksum(block); }
inline uint16_t OspProfileStoredChecksum(const OspProfileBlock& block) {
    return sv::profileblock::StoredChecksum(block);
}

using OspProfilePlace = sv::profileblock::Place;
OspProfilePlace KanoProfilePlace(const SvHeaderV3& header, uint8_t storeDevice);

// The block as a compact profile-configuration document: "ProfileName",
// "ProductName", "GenerateDate", "ControlMode", "ProfileVersion",
// "CameraProfile", "UVCProfiles", "ISPProfiles", in this order. Fixed-point ISP
// values are rounded as the ISP property interface shows them, so a value
// stored reads as the same property value. `yuy2` names code 0x50 "YUY2"
// instead of "UYVY".
std::string OspProfileToJson(const OspProfileBlock& block, OspFamily family, bool yuy2);

}  // namespace sv::formats
