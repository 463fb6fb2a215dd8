#pragma once

// The bridge firmware upgrade: finds the bridge in the personality the target
// needs (its bootloader for RAM, the flash programmer for the I2C EEPROM and
// the SPI flash), downloads the image and restarts the bridge. The camera is
// sent into the bridge's program mode beforehand by its own request
// (SvGotoFX3ProgramMode).

#include <functional>
#include <string>

#include <sorvansdk/SvTypes.h>

namespace sv::firmware {

class SvFX3FirmwareUpgrade {
public:
    virtual ~SvFX3FirmwareUpgrade() = default;
    // 0 success; -1 no path, an unreadable file, no device object or no
    // suitable device; 1 a target other than 1-3 with a bootloader found;
    // otherwise the download's nonzero result (1-9).
    virtual int StartFX3FWUpgrade(SV_FX3_FW_TARGET target, std::string path, std::function<void(int)> progress) = 0;
};

class SvFX3FirmwareUpgradeWindows : public SvFX3FirmwareUpgrade {
public:
    // Never throws: a failure to close a device is logged and answers -1.
    int StartFX3FWUpgrade(SV_FX3_FW_TARGET target, std::string path, std::function<void(int)> progress) override;

private:
    int Run(SV_FX3_FW_TARGET target, const std::string& path, const std::function<void(int)>& progress);
};

// "RAM", "I2C", "SPI" or "NoTarget".
const char* Fx3TargetName(int target);

}  // namespace sv::firmware
