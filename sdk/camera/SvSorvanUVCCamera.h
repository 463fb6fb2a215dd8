#pragma once

#include <atomic>

#include "camera/SvControlRegisters.h"
#include "camera/SvEHDRControl.h"
#include "camera/SvSorvanCamera.h"
#include "camera/XuProtocol.h"

class OSPProfile;

// Maker cameras reached through UVC and the FX3 USB bridge: the operations both
// families share over the vendor extension unit.
class SvSorvanUVCCamera : public SvSorvanCamera {
public:
    SvSorvanUVCCamera(const CameraDeviceInfo& info, uint8_t ispAddress, uint8_t headerDeviceAddress,
                      uint16_t headerRegister, SvEHDRControl::NumbersTest eHDRNumbersTest);
    ~SvSorvanUVCCamera() override;

    // Opens the UVC side, then reads the firmware version (which chooses the
    // generic I2C packet size) and caches the flip setting.
    int Open() override;

    int GetUSBFirmwareVersion(std::string& version) override;
    int GenericI2CRead(uint8_t device, uint8_t addressLength, uint16_t reg, uint16_t length,
                       uint8_t* data) override;
    int GenericI2CWrite(uint8_t device, uint8_t addressLength, uint16_t reg, uint8_t length,
                        const uint8_t* data) override;
    int GetHeaderVersion(uint8_t& version) override;
    int GetBootdataHeaderV2(std::unique_ptr<SvHeaderV2>& header) override;
    int GetBootdataHeaderV3(std::unique_ptr<SvHeaderV3>& header) override;
    uint8_t GetISPAddress() override { return ispAddress_; }
    // Where the ISP reports its current output; the KIVO has its own.
    uint16_t GetFormatWidthRegister() override { return 0x3100; }
    uint16_t GetFormatHeightRegister() override { return 0x3102; }
    uint16_t GetFormatCodeRegister() override { return 0x3104; }

#define SV_OVERRIDE_PAIR(Name, Type)                 \
    int Get##Name(Type& value, int& flag) override;  \
    int Set##Name(Type value) override;
    SV_MAKER_EHDR_PAIRS(SV_OVERRIDE_PAIR)
#undef SV_OVERRIDE_PAIR

    int ResetUVC();
    int GotoFX3ProgramMode();

    // The on-camera profile through the family's accessor, each behind the
    // family's firmware gate; -1 without an accessor.
    int GetOSPProfileConfig(std::string& json) override;
    int GetOSPProfileFlag(SV_OSP_PROFILE_FLAG& flag) override;
    int SetOSPProfileFlag(SV_OSP_PROFILE_FLAG flag) override;
    // One SET_CUR of the profile flag byte on its selector.
    int SendProfileFlag(uint8_t flag);

    bool UsesPacket256() const { return xuPacket256_; }
    uint16_t HeaderRegister() const { return headerRegister_; }

protected:
    // The device at the ISP address as 16-bit registers over generic I2C.
    SvControlRegisters IspI2CRegisters();

    // Pieces both families' control sets share; `regs` is the family's path
    // to the register, `where` names the caller in log lines.
    // The exposure-mode index, 0 when the register holds an unknown code.
    int ExposureModeIndex(uint32_t& index);
    // A 32-bit exposure value and its flag: 1 when the automatic exposure is on
    // (`flagWhenAuto`) or off (otherwise). The mode read must succeed too.
    int GetExposureValue(SvControlRegisters& regs, uint16_t highReg, uint16_t lowReg, bool flagWhenAuto,
                         int32_t& microseconds, int& flag);
    // The manual exposure time, in the range of the exposure-time property.
    int SetExposureTime(const char* where, SvControlRegisters& regs, uint16_t highReg, uint16_t lowReg,
                        int32_t microseconds);
    // The white-balance temperature; the flag follows the white-balance mode,
    // and a failed mode read only leaves it 0.
    int GetWhiteBalanceKelvin(SvControlRegisters& regs, uint16_t reg, int32_t& kelvin, int& flag);
    // Whether the bridge firmware knows the automatic-gain exposure mode; logs when not.
    bool UsbFirmwareHasAutoGain(const char* where);
    // 8 bytes at the ISP address: whole seconds and 2^-32 fractions.
    int ReadTimestamp(uint16_t reg, float& seconds);
    // Sets `resetBit` in the counter control unless the sensor is in standby.
    int ResetCounter(const char* where, SvControlRegisters& regs, uint16_t reg, uint16_t resetBit, const char* what);

    uint16_t PacketSize() const { return xuPacket256_ ? kXuPacketSmall : kXuPacketLarge; }

    // The family's class name for log lines, and its firmware gate of the
    // profile operations: true when the firmware is recent enough (logs under
    // `where` when not).
    virtual const char* FamilyClassName() const = 0;
    virtual bool ProfileFirmwareAllows(const char* where) = 0;

    // One transfer, under the device's lock; -1 without an open control.
    int XuTransfer(uint8_t selector, uint8_t request, uint8_t* data, uint16_t length);
    int XuSet(uint8_t selector, uint8_t* data, uint16_t length) { return XuTransfer(selector, SET_CUR, data, length); }
    int XuGet(uint8_t selector, uint8_t* data, uint16_t length) { return XuTransfer(selector, GET_CUR, data, length); }

    SvEHDRControl ehdr_;
    std::atomic<bool> xuPacket256_{false};  // 512-byte generic I2C packets until a version read says otherwise
    uint16_t headerRegister_;
    std::unique_ptr<OSPProfile> ospProfile_;  // made by the family
};
