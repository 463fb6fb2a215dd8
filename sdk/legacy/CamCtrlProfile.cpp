// The on-camera profile through the legacy control objects: the 80-byte block
// read and written at its place in the header store, its flag byte, and the
// legacy profile document made from it and written into it.

#include <cstring>
#include <string>

#include "base/OspProfileLayout.h"
#include "legacy/CamCtrl.h"
#include "legacy/LegacyProfileDocument.h"
#include "legacy/SzLine.h"

namespace pb = sv::profileblock;
using sv::legacy::ProfileBlock;
using sv::legacy::ProfileFamily;

namespace {

constexpr uint8_t kLumoProfileDevice = 0x48;
constexpr uint16_t kLumoProfileRegister = 0x4100;
// The KANO store: 128 KiB that begin with the version 3 header.
constexpr uint64_t kKanoStoreSize = 0x20000;
constexpr uint64_t kKanoHeaderSize = sizeof(SvHeaderV3);

// Where the block is, once the header says version 3. 1 with `place` (and the
// store address) set, 0 when the header is not version 3, -1 on failure. A
// header version or header that could not be read is a failure, never "no
// profile" and never a header of zeros whose block would sit at address 0.
int Locate(CamCtrl& ctrl, const char* where, bool warn, ProfileFamily family, pb::Place& place,
           uint64_t& address) {
    const int version = ctrl.CheckHeaderVer();
    if (version < 0) return -1;  // said by CheckHeaderVer
    if (version != 3) {
        if (warn) SZ_LINE0(Warn, where, "ISP profile only support header v3 or higher.");
        return 0;
    }
    if (family == ProfileFamily::Lumo) {
        place = {kLumoProfileDevice, kLumoProfileRegister};
        address = kLumoProfileRegister;
        return 1;
    }
    SvHeaderV3 header{};
    if (ctrl.GetBootdataHeaderV3(&header) != 0) {
        SZ_LINE0(Error, where, "Get bootdata header fail");
        return -1;
    }
    const uint32_t offset = header.contentOffset;
    const uint32_t length = header.contentLen;
    place = pb::KanoPlace(offset, length, ctrl.HeaderDeviceAddress());
    address = uint64_t{offset} + length;
    return 1;
}

// The block from the camera: 1 when read, 0 when the header is not version 3, -1.
int ReadBlock(CamCtrl& ctrl, const char* where, ProfileFamily family, ProfileBlock& block) {
    pb::Place place;
    uint64_t address = 0;
    const int located = Locate(ctrl, where, true, family, place, address);
    if (located <= 0) return located;
    ProfileBlock read{};
    if (ctrl.GenI2CRead(place.device, 2, place.reg, static_cast<uint16_t>(pb::kSize), read.data()) != 0) {
        SZ_LINE0(Error, where, "Get profile from EEPROM fail");
        return -1;
    }
    const unsigned computed = pb::Checksum(read);
    const unsigned stored = pb::StoredChecksum(read);
    if (computed != stored) {
        SZ_LINE(Warn, where, "Profile checksum mismatch, [0x%04X] <-> [0x%04X]", computed, stored);
    }
    block = read;
    return 1;
}

// The block into a KANO store: 1 when written, 0 when the header is not
// version 3, -1 (nothing written).
int WriteBlock(CamCtrl& ctrl, const char* where, const ProfileBlock& block) {
    pb::Place place;
    uint64_t address = 0;
    const int located = Locate(ctrl, where, true, ProfileFamily::Kano, place, address);
    if (located <= 0) return located;
    const unsigned computed = pb::Checksum(block);
    const unsigned stored = pb::StoredChecksum(block);
    if (computed != stored) {
        SZ_LINE(Error, where, "profile checksum mismatch, [0x%04X] <-> [0x%04X]", stored, computed);
        return -1;
    }
    // A header whose content ends inside the header itself, or a block past
    // the store's end, would put the block over the bootdata header.
    if (address < kKanoHeaderSize || address + pb::kSize > kKanoStoreSize) {
        SZ_LINE(Error, where, "Profile block address 0x%05llX is outside the store's profile area",
                static_cast<unsigned long long>(address));
        return -1;
    }
    if (ctrl.GenI2CWrite(place.device, 2, place.reg, static_cast<uint16_t>(pb::kSize), block.data()) != 0) {
        SZ_LINE0(Error, where, "Write profile to EEPROM fail");
        return -1;
    }
    return 1;
}

int GetBlock(CamCtrl& ctrl, const char* where, ProfileFamily family, uint8_t* out) {
    if (out == nullptr) return -1;
    ProfileBlock block{};
    const int read = ReadBlock(ctrl, where, family, block);
    if (read < 0) return -1;
    if (read == 1) std::memcpy(out, block.data(), block.size());
    return 0;
}

int FlagByte(CamCtrl& ctrl, const char* where, ProfileFamily family) {
    pb::Place place;
    uint64_t address = 0;
    const int located = Locate(ctrl, where, false, family, place, address);
    if (located <= 0) return located;
    uint8_t flag = 0;
    // Any code but 0 leaves the byte unread: a failure, not flag 0.
    if (ctrl.GenI2CRead(place.device, 2, place.reg, 1, &flag) != 0) {
        SZ_LINE0(Error, where, "Check Profile Fail!");
        return -1;
    }
    return flag;
}

// The document of the block. Without a version 3 header there is no block to
// describe, which is a failure rather than a document of zeros.
int DocumentOf(CamCtrl& ctrl, const char* getWhere, const char* where, ProfileFamily family, std::string& text) {
    ProfileBlock block{};
    if (ReadBlock(ctrl, getWhere, family, block) != 1) {
        SZ_LINE0(Error, where, "Get OSP fail");
        return -1;
    }
    text = sv::legacy::ProfileDocumentFromBlock(block, family);
    return 0;
}

}  // namespace

int KanoCamCtrl::GetOSPProfile(uint8_t* block) {
    return GetBlock(*this, "KanoCamCtrl::GetOSPProfile", ProfileFamily::Kano, block);
}

int KanoCamCtrl::SetOSPProfile(const uint8_t* block) {
    if (block == nullptr) return -1;
    ProfileBlock given{};
    std::memcpy(given.data(), block, given.size());
    return WriteBlock(*this, "KanoCamCtrl::SetOSPProfile", given) < 0 ? -1 : 0;
}

int KanoCamCtrl::CheckOSPProfile() { return FlagByte(*this, "KanoCamCtrl::CheckOSPProfile", ProfileFamily::Kano); }

int KanoCamCtrl::GetOSPProfileConfig(std::string& text) {
    return DocumentOf(*this, "KanoCamCtrl::GetOSPProfile", "KanoCamCtrl::GetOSPProfileConfig", ProfileFamily::Kano,
                      text);
}

int KanoCamCtrl::SetOSPProfileConfig(int flag, const char* text) {
    constexpr const char* kWhere = "KanoCamCtrl::SetOSPProfileConfig";
    // The flag is one byte on the camera: another value is refused, not cut.
    if (flag < 0 || flag > 0xFF) {
        SZ_LINE(Error, kWhere, "Profile flag %d is out of range (0 ~ 255)", flag);
        return -1;
    }
    ProfileBlock block{};
    std::string error;
    if (sv::legacy::ProfileBlockFromDocument(text, ProfileFamily::Kano, static_cast<uint8_t>(flag), block, error) !=
        0) {
        SZ_LINE(Error, kWhere, "Set ProfileSetting Fail!. %s", error.c_str());
        return -1;
    }
    sv::legacy::ProfileRegisterValues values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (UVC_AP1302_I2C_Read(sv::legacy::kProfileRegisters[i], values[i]) != 0) return -1;
    }
    sv::legacy::PutProfileRegisters(block, values);
    pb::Seal(block);
    // A block that was not written (no version 3 header included) was not saved.
    if (WriteBlock(*this, "KanoCamCtrl::SetOSPProfile", block) != 1) {
        SZ_LINE0(Error, kWhere, "Save ProfileSetting Fail!.");
        return -1;
    }
    return 0;
}

int LumoCamCtrl::GetOSPProfile(uint8_t* block) {
    return GetBlock(*this, "LumoCamCtrl::GetOSPProfile", ProfileFamily::Lumo, block);
}

int LumoCamCtrl::CheckOSPProfile() { return FlagByte(*this, "LumoCamCtrl::CheckOSPProfile", ProfileFamily::Lumo); }

int LumoCamCtrl::GetOSPProfileConfig(std::string& text) {
    return DocumentOf(*this, "LumoCamCtrl::GetOSPProfile", "LumoCamCtrl::GetOSPProfileConfig", ProfileFamily::Lumo,
                      text);
}
