#pragma once

// The legacy interface's camera-control objects. CamCtrl carries the
// extension-unit transport and the generic I2C packet; KanoCamCtrl serves KIVO
// cameras (AP1302 at 0x3D, header store at 0x54), LumoCamCtrl LIRA cameras
// (microcontroller at 0x48 in front of the AP1302). Values travel as raw
// register codes, ranges are fixed, and diagnostics are printf-style lines on
// the legacy log channel. One caller at a time per object; across objects (and
// across the current interface's cameras) the device's transaction lock keeps
// a transfer, a request/answer pair and a sensor access whole.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <sorvansdk/SvTypes.h>

#include "platform/DeviceLock.h"
#include "platform/SensorBridge.h"
#include "platform/backend/Guid.h"
#include "platform/backend/HResult.h"
#include "platform/backend/VideoDevice.h"

// The control pairs in slot order, X(Name, value type): slots 15 to 28, then
// (after the two current-exposure getters, slots 29 and 30) 31 to 36, the
// white-balance gains 37 to 40 (KANO only) and 41 to 70.
#define SZ_CAMCTRL_PAIRS_A(X)  \
    X(ThroughPut, uint16_t)    \
    X(MaxFPS, uint8_t)         \
    X(AutoExposureMode, int)   \
    X(ExposureTime, uint32_t)  \
    X(ExposureGain, uint8_t)   \
    X(ExposureMinimum, int32_t) \
    X(ExposureMaximum, int32_t)
#define SZ_CAMCTRL_PAIRS_B(X)          \
    X(BacklightCompensation, double)   \
    X(AutoWhiteBalanceMode, int)       \
    X(Temperature, uint16_t)
#define SZ_CAMCTRL_PAIRS_WB(X) \
    X(WhiteBalanceQx, double)  \
    X(WhiteBalanceQy, double)
#define SZ_CAMCTRL_PAIRS_C(X)      \
    X(Brightness, double)          \
    X(Gamma, double)               \
    X(Saturation, double)          \
    X(Contrast, double)            \
    X(Sharpening, double)          \
    X(Denoise, double)             \
    X(FlipMode, int)               \
    X(EffectMode, int)             \
    X(DigitalZoomType, int)        \
    X(DigitalZoomTarget, double)   \
    X(DigitalZoom_CT_X, double)    \
    X(DigitalZoom_CT_Y, double)    \
    X(FlickMode, int)              \
    X(JpegQual, uint8_t)           \
    X(ISPTestPattern, uint32_t)

class CamCtrl {
public:
    static constexpr uint8_t kSetCur = 0x01;
    static constexpr uint8_t kGetCur = 0x81;
    static constexpr uint32_t kSetFlags = 0x10000002;
    static constexpr uint32_t kGetFlags = 0x10000001;
    static constexpr uint32_t kNode = 2;
    static constexpr uint8_t kSelectorFirmwareVersion = 0x01;
    static constexpr uint8_t kSelectorIspRegister = 0x05;
    static constexpr uint8_t kSelectorGenericI2C = 0x06;
    static constexpr uint8_t kSelectorBslMode = 0x0C;

    // Which way a family reaches a register: through slots 11 and 12, or as a
    // 2-byte generic I2C transfer at `ispAddress` ("direct").
    enum class Path { Isp, Direct };
    // Limits of a setter; `message` (may be null) gets both limits, as whole
    // numbers when `wholeNumbers`.
    struct Limits {
        double low;
        double high;
        const char* message;
        bool wholeNumbers;
    };

    // The device's media source, once the camera has initialised it (not owned
    // in the sense that the camera decides its life; shared here).
    void SetMediaSource(std::shared_ptr<sv::platform::MediaSource> source) { mediaSource_ = std::move(source); }
    const std::shared_ptr<sv::platform::MediaSource>& GetMediaSource() const { return mediaSource_; }
    // The device this control talks to, by its platform path (the symbolic
    // link of its enumeration entry): its transaction lock becomes the one
    // every other object on that device takes. Until then the lock is the
    // control's own.
    void BindDevice(const std::string& devicePath) { deviceMutex_ = sv::platform::DeviceTransactionMutex(devicePath); }
    // Held across each transfer, each request/answer pair, each sensor access,
    // and by the C functions across a whole operation. Recursive.
    std::unique_lock<sv::platform::DeviceMutex> HoldDevice() {
        return std::unique_lock<sv::platform::DeviceMutex>(*deviceMutex_);
    }
    // After every successful firmware-version read the camera sets the packet size.
    void SetXuPacket256(bool small) { xuPacket256_ = small; }
    bool XuPacket256() const { return xuPacket256_; }
    uint8_t IspAddress() const { return ispAddress_; }
    uint8_t HeaderDeviceAddress() const { return headerDeviceAddress_; }

    // Transport: one node property on the extension unit; the platform's code.
    sv::platform::HResult SetGetExtensionUnit(const sv::platform::Guid& propertySet, uint32_t node, uint32_t selector,
                                              uint32_t flags, uint8_t* data, uint32_t length,
                                              uint32_t& bytesReturned);
    // The four USB firmware-version bytes (selector 0x01); 0 or the platform's code.
    int GetUSBFirmwareVersion(uint8_t (&version)[4]);

    // Generic I2C: -1 for arguments out of range (nothing sent), otherwise the
    // platform's code of the last transfer.
    int GenI2CRead(uint8_t device, uint8_t addressLength, uint32_t reg, uint16_t length, uint8_t* data);
    int GenI2CWrite(uint8_t device, uint8_t addressLength, uint32_t reg, uint16_t length, const uint8_t* data);
    int AdvReadSensorRegister(uint16_t sensorId, uint16_t reg, uint16_t& value);
    int AdvWriteSensorRegister(uint16_t sensorId, uint16_t reg, uint16_t data);
    int SetBSLMode(uint8_t mode);

    // Slots 0 to 14.
    virtual int GetLUMOFirmwareVersion(char* text);
    virtual int GetBootdataHeader(SvHeaderV2* header);
    virtual int GetBootdataHeaderV3(SvHeaderV3* header);
    virtual int CheckHeaderVer();
    virtual int GetUniqueSensorID(char* text);
    virtual int ClearISPBootdata();
    virtual int DownloadBootdata(const char* path);
    virtual int DumpBootdata();
    virtual int GetOSPProfile(uint8_t* block);
    virtual int SetOSPProfile(const uint8_t* block);
    virtual int CheckOSPProfile();
    virtual int UVC_AP1302_I2C_Read(uint16_t reg, uint16_t& value);
    virtual int UVC_AP1302_I2C_Write(uint16_t reg, uint16_t value);
    virtual int GetOSPProfileConfig(std::string& text);
    virtual int SetOSPProfileConfig(int flag, const char* text);

    // Slots 15 to 70: the control pairs, getter first.
#define SZ_DECLARE_PAIR(Name, Type)           \
    virtual int Get##Name(Type& value);       \
    virtual int Set##Name(Type value);
    SZ_CAMCTRL_PAIRS_A(SZ_DECLARE_PAIR)
    virtual int GetCurrentExposureTime(int32_t& value);
    virtual int GetCurrentExposureGain(uint8_t& value);
    SZ_CAMCTRL_PAIRS_B(SZ_DECLARE_PAIR)
    SZ_CAMCTRL_PAIRS_WB(SZ_DECLARE_PAIR)
    SZ_CAMCTRL_PAIRS_C(SZ_DECLARE_PAIR)
#undef SZ_DECLARE_PAIR

    virtual ~CamCtrl() = default;

protected:
    CamCtrl(uint8_t ispAddress, uint8_t headerDeviceAddress, uint16_t headerRegister)
        : ispAddress_(ispAddress), headerDeviceAddress_(headerDeviceAddress), headerRegister_(headerRegister) {}

    int ReadReg(Path path, uint16_t reg, uint16_t& value);
    int WriteReg(Path path, uint16_t reg, uint16_t value);
    // The shared accessors of the control pairs. A getter answers -1 when a
    // read fails, else 0; a setter the result of its write.
    template <typename T>
    int GetBits(Path path, uint16_t reg, uint16_t mask, int shift, T& value);
    int SetWord(Path path, uint16_t reg, uint32_t raw);
    int GetTwoWords(Path path, uint16_t highReg, uint16_t lowReg, uint32_t& value);
    int SetTwoWords(Path path, uint16_t highReg, uint16_t lowReg, uint32_t value);
    int GetReal(Path path, uint16_t reg, double (*decode)(uint16_t), double& value);
    int SetReal(const char* where, Path path, uint16_t reg, uint16_t (*encode)(double), const Limits& limits,
                double value);
    bool InLimits(const char* where, double value, const Limits& limits);
    // Bits 0-11 of the AP1302 test-pattern register, over slots 11 and 12.
    int GetTestPattern(uint32_t& value);
    int SetTestPattern(uint32_t value);
    // Exposure time for `fps` frames a second into the two exposure registers.
    int WriteFrameExposure(const char* where, uint8_t fps);
    int NotAvailable(const char* operation);
    // Polls the bridge status at most 19 times until idle; `pollLine` (may be
    // null) logs each poll with the status register and its value.
    bool WaitBridgeIdle(const char* where, const char* pollLine);
    bool RunBridgeProgram(const sv::bridge::Program& program);
    // The pairs that log their values: `format` gets the name, the line and the value.
    int GetLoggedTwoWords(const char* where, Path path, uint16_t highReg, uint16_t lowReg, uint32_t& value,
                          const char* format);
    int SetLoggedTwoWords(const char* where, Path path, uint16_t highReg, uint16_t lowReg, uint32_t value,
                          const Limits* limits, const char* format);
    int GetGain(const char* where, Path path, uint16_t reg, uint16_t mask, int shift, uint8_t& value,
                const char* format);
    int SetGain(const char* where, Path path, uint16_t reg, int shift, uint8_t value);
    // A whole-register setter with limits on the value.
    int SetWordIn(const char* where, Path path, uint16_t reg, uint32_t raw, const Limits& limits, double value);
    // A generic I2C read without the address-length rule (the microcontroller
    // path uses 4-byte addresses); a failed address transfer is logged under `where`.
    int I2CRead(const char* where, uint8_t device, uint8_t addressLength, uint32_t reg, uint16_t length,
                uint8_t* data);

    int XuSet(uint8_t selector, uint8_t* data, uint32_t length);
    int XuGet(uint8_t selector, uint8_t* data, uint32_t length);
    // One 16-bit register at `ispAddress` with a 2-byte address, high byte first.
    int ReadDirect(uint16_t reg, uint16_t& value);
    int WriteDirect(uint16_t reg, uint16_t value);
    // The header of `size` bytes from the family's header store.
    int ReadHeader(const char* where, void* header, uint16_t size);
    // The text of the header's sensor fuse ID, or a failure when its fixed
    // section was never written.
    int FuseIdFromHeaderV3(const char* where, char* text);

    std::shared_ptr<sv::platform::MediaSource> mediaSource_;
    std::shared_ptr<sv::platform::DeviceMutex> deviceMutex_ = std::make_shared<sv::platform::DeviceMutex>();
    uint8_t ispAddress_;
    uint8_t headerDeviceAddress_;
    uint16_t headerRegister_;
    uint8_t lastHeaderVersion_ = 0;
    uint16_t fuseWords_[8] = {};
    bool xuPacket256_ = false;
};

class KanoCamCtrl : public CamCtrl {
public:
    KanoCamCtrl() : CamCtrl(0x3D, 0x54, 0x0000) {}

    int GetBootdataHeader(SvHeaderV2* header) override;
    int GetBootdataHeaderV3(SvHeaderV3* header) override;
    int GetUniqueSensorID(char* text) override;
    int ClearISPBootdata() override;
    int DownloadBootdata(const char* path) override;
    int DumpBootdata() override;
    int GetOSPProfile(uint8_t* block) override;
    int SetOSPProfile(const uint8_t* block) override;
    int CheckOSPProfile() override;
    int UVC_AP1302_I2C_Read(uint16_t reg, uint16_t& value) override;
    int UVC_AP1302_I2C_Write(uint16_t reg, uint16_t value) override;
    int GetOSPProfileConfig(std::string& text) override;
    int SetOSPProfileConfig(int flag, const char* text) override;
#define SZ_OVERRIDE_PAIR(Name, Type)          \
    int Get##Name(Type& value) override;      \
    int Set##Name(Type value) override;
    SZ_CAMCTRL_PAIRS_A(SZ_OVERRIDE_PAIR)
    int GetCurrentExposureTime(int32_t& value) override;
    int GetCurrentExposureGain(uint8_t& value) override;
    SZ_CAMCTRL_PAIRS_B(SZ_OVERRIDE_PAIR)
    SZ_CAMCTRL_PAIRS_WB(SZ_OVERRIDE_PAIR)
    SZ_CAMCTRL_PAIRS_C(SZ_OVERRIDE_PAIR)

private:
    int UniqueIdFromSensor(char* text);
};

class LumoCamCtrl : public CamCtrl {
public:
    LumoCamCtrl() : CamCtrl(0x48, 0x48, 0x4000) {}

    int GetLUMOFirmwareVersion(char* text) override;
    int GetBootdataHeaderV3(SvHeaderV3* header) override;
    int GetUniqueSensorID(char* text) override;
    int ClearISPBootdata() override;
    int DownloadBootdata(const char* path) override;
    int GetOSPProfile(uint8_t* block) override;
    int CheckOSPProfile() override;
    int UVC_AP1302_I2C_Read(uint16_t reg, uint16_t& value) override;
    int UVC_AP1302_I2C_Write(uint16_t reg, uint16_t value) override;
    int GetOSPProfileConfig(std::string& text) override;
    SZ_CAMCTRL_PAIRS_A(SZ_OVERRIDE_PAIR)
    int GetCurrentExposureTime(int32_t& value) override;
    int GetCurrentExposureGain(uint8_t& value) override;
    SZ_CAMCTRL_PAIRS_B(SZ_OVERRIDE_PAIR)
    SZ_CAMCTRL_PAIRS_C(SZ_OVERRIDE_PAIR)
#undef SZ_OVERRIDE_PAIR

private:
    // One loader command: the packet, its acknowledgement byte and, when that
    // is 0, the 9 answer bytes in answer[1..9] (answer[0] the acknowledgement).
    // 0 when every transfer went through.
    int BslCommand(uint8_t command, const std::vector<uint8_t>& payload, uint8_t& ack, uint8_t (&answer)[10]);
    int BslExchange(uint8_t command, const std::vector<uint8_t>& payload, uint8_t& ack, uint8_t* answer,
                    std::size_t count);
    // One section in loader packets of at most 128 bytes; false after the line of the failure.
    bool ProgramSection(uint32_t address, uint32_t length, const uint8_t* data);
    // One CRC request over the section; with `compare`, the CRC must be that of `data`.
    bool VerifySection(uint32_t address, uint32_t length, const uint8_t* data, bool compare);
};
