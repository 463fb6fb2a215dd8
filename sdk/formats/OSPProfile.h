#pragma once

// The profile accessors of the maker cameras: read the on-camera profile block
// and its flag, send a new flag through the camera firmware, and turn the block
// into a profile-configuration document. A KIVO camera owns a KANOOSPProfile
// (the block follows the bootdata content in the header store), a LIRA camera
// a LUMOOSPProfile (the block sits at 0x48:0x4100).

#include <memory>
#include <string>

#include <sorvansdk/SvTypes.h>

#include "formats/OspProfileBlock.h"

class SvSorvanUVCCamera;

class OSPProfile {
public:
    // The camera owns the accessor and outlives it.
    explicit OSPProfile(SvSorvanUVCCamera& camera);
    virtual ~OSPProfile();

    OSPProfile(const OSPProfile&) = delete;
    OSPProfile& operator=(const OSPProfile&) = delete;

    // The holder gets a new block read from the camera; 0 or -1 (logged). A
    // checksum that does not match is logged as a warning and the block is
    // still handed over.
    virtual int GetOSPProfilePrivate(std::unique_ptr<sv::formats::OspProfileBlock>& block) = 0;
    // The block as compact JSON.
    virtual int GetOSPProfileConfig(std::string& json) = 0;
    // Byte 0 of the block, read alone.
    virtual int GetOSPProfileFlag(SV_OSP_PROFILE_FLAG& flag) = 0;

    // Sends the flag to the camera firmware (extension unit), then waits 100 ms.
    int SetOSPProfileFlag(SV_OSP_PROFILE_FLAG flag);

    bool Yuy2Available() const { return yuy2Available_; }
    bool FormatListScanned() const { return formatListScanned_; }

protected:
    // The header version must be 3 or higher; logs under `where` when not.
    bool HasHeaderV3(const char* where);
    // The conversion both families share: the YUY2 check of a MIPI camera,
    // the block read, the document.
    int ConvertProfile(sv::formats::OspFamily family, std::string& json);
    // Sum check of a block read; logs the family's warning.
    virtual void WarnChecksum(uint16_t computed, uint16_t stored, int line) = 0;
    bool ChecksumMatches(const sv::formats::OspProfileBlock& block, int line);
    static void Wait(uint32_t ms);

    SvSorvanUVCCamera& camera_;
    bool yuy2Available_ = false;
    bool formatListScanned_ = false;
};

class KANOOSPProfile : public OSPProfile {
public:
    using OSPProfile::OSPProfile;
    int GetOSPProfilePrivate(std::unique_ptr<sv::formats::OspProfileBlock>& block) override;
    int GetOSPProfileConfig(std::string& json) override;
    int GetOSPProfileFlag(SV_OSP_PROFILE_FLAG& flag) override;

private:
    void WarnChecksum(uint16_t computed, uint16_t stored, int line) override;
    // Device and register of the block from the version 3 header; logs under `where`.
    bool Place(const char* where, sv::formats::OspProfilePlace& place);
};

class LUMOOSPProfile : public OSPProfile {
public:
    static constexpr uint8_t kDevice = 0x48;
    static constexpr uint16_t kRegister = 0x4100;

    using OSPProfile::OSPProfile;
    int GetOSPProfilePrivate(std::unique_ptr<sv::formats::OspProfileBlock>& block) override;
    int GetOSPProfileConfig(std::string& json) override;
    int GetOSPProfileFlag(SV_OSP_PROFILE_FLAG& flag) override;

private:
    void WarnChecksum(uint16_t computed, uint16_t stored, int line) override;
};
