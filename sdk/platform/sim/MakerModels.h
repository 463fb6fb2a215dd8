#pragma once

// Models of the maker's cameras behind the vendor extension unit: the USB
// bridge firmware (version, reset, program mode, generic I2C engine, ISP
// register packet) and the I2C devices on the sensor board (header store,
// AP1302, the LIRA microcontroller). docs/simulator.md lists what each
// answers and the world-file keys that change it.

#include <array>
#include <memory>
#include <vector>

#include "platform/sim/LumoLoader.h"
#include "platform/sim/MakerDevices.h"
#include "platform/sim/XuModel.h"

namespace sv::sim {

class MakerXuModel : public XuDeviceModel {
public:
    enum class Family { Kivo, Lira };

    // Throws std::invalid_argument naming the key for a bad configuration.
    MakerXuModel(Family family, const nlohmann::json& config);

    std::string Name() const override { return family_ == Family::Kivo ? "kivo" : "lira"; }
    platform::HResult Transfer(XuTransfer& transfer, XuHost& host, std::string& note) override;
    // The ISP's output registers follow the format the host selected.
    void OutputFormatChanged(uint32_t width, uint32_t height, const std::string& subtype) override;
    // New bridge firmware reports its own version (and so its I2C packet size).
    void UsbFirmwareStarted(const std::array<uint8_t, 4>& version) override { firmware_ = version; }

    // Generic I2C packet size the firmware expects, from its version bytes.
    size_t PacketSize() const;

private:
    platform::HResult GenericI2c(XuTransfer& t, XuHost& host, std::string& note);
    platform::HResult IspPacket(XuTransfer& t, XuHost& host, std::string& note);
    // One I2C transaction on the sensor board; false when no device acknowledges.
    bool I2cRead(uint8_t device, uint8_t addressLength, uint32_t reg, uint8_t* out, size_t count, int64_t now);
    bool I2cWrite(uint8_t device, uint8_t addressLength, uint32_t reg, const uint8_t* data, size_t count,
                  int64_t now);
    // A byte of the LIRA microcontroller's space, live registers included.
    uint8_t McuByte(uint32_t at, int64_t now) const;
    // Where the profile block lives, and its factory (or configured) bytes.
    void PlaceProfile(bool blank, const std::vector<uint8_t>& given);
    uint8_t& ProfileByte(size_t i);
    // LIRA: a 16-bit register of the microcontroller, most significant byte first.
    void PutMcuWord(uint32_t reg, uint16_t value);
    // The loader-mode line from the host, and the module running its flash.
    void SetLoaderLine(bool on);
    void Boot();

    const Family family_;
    std::array<uint8_t, 4> firmware_{};
    std::unique_ptr<maker::Ap1302> isp_;
    std::vector<uint8_t> store_;  // KIVO: bootdata store at 0x54 and 0x55; LIRA: microcontroller space at 0x48
    bool hasProfile_ = false;     // the block's place: store_[profileBase_ + profileReg_ ...]
    size_t profileBase_ = 0;
    uint16_t profileReg_ = 0;
    std::array<uint8_t, 512> packet_{};  // the bridge's one buffer for I2C and ISP answers
    std::array<uint8_t, 16> uid_{};
    uint8_t ospFlag_ = 0;
    uint8_t ispControl_ = 1;
    bool storeWriteProtect_ = false;  // KIVO: the store's write-protect line is held
    bool bslMode_ = false;   // the loader answers (0xBB reads 0x51)
    bool bslLine_ = false;   // the host asked for loader mode
    bool bslSync_ = false;   // entry needs a sync packet
    bool bslSynced_ = false;
    int sidPolls_ = 1;
    int sidLeft_ = -1;       // -1: no sensor check running
    std::unique_ptr<maker::LumoLoader> loader_;
    std::string loaderNote_;
    int64_t mcuTimestampBaseUs_ = 0;  // LIRA counters restart from these device times
    int64_t mcuFrameBaseUs_ = 0;
};

class KivoXuModel : public MakerXuModel {
public:
    explicit KivoXuModel(const nlohmann::json& config) : MakerXuModel(Family::Kivo, config) {}
};

class LiraXuModel : public MakerXuModel {
public:
    explicit LiraXuModel(const nlohmann::json& config) : MakerXuModel(Family::Lira, config) {}
};

}  // namespace sv::sim
