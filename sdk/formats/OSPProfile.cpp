#include "formats/OSPProfile.h"

#include <vector>

#include "base/Logger.h"
#include "camera/SvSorvanUVCCamera.h"
#include "platform/backend/Backend.h"

using sv::formats::OspProfileBlock;
using sv::formats::OspProfilePlace;

namespace {
constexpr uint32_t kFlagWaitMs = 100;
}  // namespace

OSPProfile::OSPProfile(SvSorvanUVCCamera& camera) : camera_(camera) {}

OSPProfile::~OSPProfile() = default;

void OSPProfile::Wait(uint32_t ms) { sv::platform::GetBackend()->Sleep(ms); }

bool OSPProfile::HasHeaderV3(const char* where) {
    uint8_t version = 0;  // a failed read leaves 0
    (void)camera_.GetHeaderVersion(version);
    if (version < 3) {
        SV_LOGE(where, "OSP profile only support header v3 or higher.");
        return false;
    }
    return true;
}

bool OSPProfile::ChecksumMatches(const OspProfileBlock& block, int line) {
    const uint16_t computed = sv::formats::OspProfileChecksum(block);
    const uint16_t stored = sv::formats::OspProfileStoredChecksum(block);
    if (computed == stored) return true;
    WarnChecksum(computed, stored, line);
    return false;
}

int OSPProfile::ConvertProfile(sv::formats::OspFamily family, std::string& json) {
    // Only a MIPI camera may deliver YUY2 for code 0x50; asked once per accessor.
    if (!formatListScanned_ && camera_.DeviceInfo().interfaceType == SV_CAMERA_INTERFACE_MIPI_CSI2) {
        formatListScanned_ = true;
        std::vector<SvFormat> formats;
        if (camera_.GetFormatList(formats) == 0) {
            for (const SvFormat& f : formats) {
                if (f.format == SV_IMAGE_FORMAT_YUY2) yuy2Available_ = true;
            }
        }
    }
    std::unique_ptr<OspProfileBlock> block;
    if (GetOSPProfilePrivate(block) != 0) return -1;
    json = sv::formats::OspProfileToJson(*block, family, yuy2Available_);
    return 0;
}

int OSPProfile::SetOSPProfileFlag(SV_OSP_PROFILE_FLAG flag) {
    if (!HasHeaderV3("OSPProfile::SetOSPProfileFlag")) return -1;
    if (camera_.DeviceInfo().interfaceType != SV_CAMERA_INTERFACE_USB) {
        SV_LOGE("OSPProfile::SetOSPProfileFlagMIPI", "MIPI interface is not supported on this platform.");
        return -1;
    }
    // The flag travels as one byte; a value that does not fit is refused
    // rather than cut to another flag.
    if (flag < 0 || flag > 0xFF) {
        SV_LOGE("OSPProfile::SetOSPProfileFlagUVC", "Profile flag {} is out of range (0 ~ 255).", static_cast<int>(flag));
        return -1;
    }
    if (camera_.SendProfileFlag(static_cast<uint8_t>(flag)) != 0) {
        SV_LOGE("OSPProfile::SetOSPProfileFlagUVC", "Set OSP profile flag failed.");
        return -1;
    }
    Wait(kFlagWaitMs);
    return 0;
}

// ------------------------------------------------------------------ KANO

void KANOOSPProfile::WarnChecksum(uint16_t computed, uint16_t stored, int line) {
    sv::log::Write(spdlog::level::warn, "[{}] [{}] profile checksum mismatch, [0x{:04X} <-> 0x{:04X}",
                   "KANOOSPProfile::GetOSPProfilePrivate", line, computed, stored);
}

bool KANOOSPProfile::Place(const char* where, OspProfilePlace& place) {
    auto header = std::make_unique<SvHeaderV3>();
    *header = SvHeaderV3{};
    if (camera_.GetBootdataHeaderV3(header) != 0) {
        SV_LOGE(where, "Get bootdata header fail");
        return false;
    }
    place = sv::formats::KanoProfilePlace(*header, camera_.HeaderDeviceAddress());
    return true;
}

int KANOOSPProfile::GetOSPProfilePrivate(std::unique_ptr<OspProfileBlock>& block) {
    const char* where = "KANOOSPProfile::GetOSPProfilePrivate";
    if (!HasHeaderV3(where)) return -1;
    OspProfilePlace place;
    if (!Place(where, place)) return -1;
    auto read = std::make_unique<OspProfileBlock>();
    read->fill(0);
    if (camera_.GenericI2CRead(place.device, 2, place.reg, static_cast<uint16_t>(read->size()), read->data()) != 0) {
        SV_LOGE(where, "Get profile check Failed");
        return -1;
    }
    (void)ChecksumMatches(*read, __LINE__);
    block = std::move(read);
    return 0;
}

int KANOOSPProfile::GetOSPProfileConfig(std::string& json) {
    return ConvertProfile(sv::formats::OspFamily::Kano, json);
}

int KANOOSPProfile::GetOSPProfileFlag(SV_OSP_PROFILE_FLAG& flag) {
    const char* where = "KANOOSPProfile::GetOSPProfileFlag";
    if (!HasHeaderV3(where)) return -1;
    OspProfilePlace place;
    if (!Place(where, place)) return -1;
    uint8_t byte = 0;
    if (camera_.GenericI2CRead(place.device, 2, place.reg, 1, &byte) != 0) {
        SV_LOGE(where, "Check Profile Fail!");
        return -1;
    }
    flag = static_cast<SV_OSP_PROFILE_FLAG>(byte);
    return 0;
}

// ------------------------------------------------------------------ LUMO

void LUMOOSPProfile::WarnChecksum(uint16_t computed, uint16_t stored, int line) {
    sv::log::WriteAt(spdlog::level::warn, "LUMOOSPProfile::GetOSPProfilePrivate", line,
                     "Profile checksum mismatch, [0x{:04X}] <-> [0x{:04X}]", computed, stored);
}

int LUMOOSPProfile::GetOSPProfilePrivate(std::unique_ptr<OspProfileBlock>& block) {
    const char* where = "LUMOOSPProfile::GetOSPProfilePrivate";
    if (!HasHeaderV3(where)) return -1;
    auto read = std::make_unique<OspProfileBlock>();
    read->fill(0);
    if (camera_.GenericI2CRead(kDevice, 2, kRegister, static_cast<uint16_t>(read->size()), read->data()) != 0) {
        SV_LOGE(where, "Get profile from EEPROM fail");
        return -1;
    }
    (void)ChecksumMatches(*read, __LINE__);
    block = std::move(read);
    return 0;
}

int LUMOOSPProfile::GetOSPProfileConfig(std::string& json) {
    return ConvertProfile(sv::formats::OspFamily::Lumo, json);
}

int LUMOOSPProfile::GetOSPProfileFlag(SV_OSP_PROFILE_FLAG& flag) {
    const char* where = "LUMOOSPProfile::GetOSPProfileFlag";
    if (!HasHeaderV3(where)) return -1;
    uint8_t byte = 0;
    if (camera_.GenericI2CRead(kDevice, 2, kRegister, 1, &byte) != 0) {
        SV_LOGE(where, "Check Profile Fail!");
        return -1;
    }
    flag = static_cast<SV_OSP_PROFILE_FLAG>(byte);
    Wait(kFlagWaitMs);
    return 0;
}
