#pragma once

// The chips behind the maker's extension unit, as the host sees them through
// the generic I2C engine and the ISP register path: the AP1302 register file
// with its sensor bridge and standby control, the image sensor on the AP1302's
// own bus, and the bootdata header records. None of them locks: the device hands
// its extension-unit model one access at a time.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sv::sim::maker {

// The image sensor behind the AP1302's bridge.
struct SensorConfig {
    bool present = true;
    uint8_t id = 0x20;          // bus id the bridge addresses it by (low byte of the bridge's id word)
    uint16_t chipId = 0x0A56;   // register 0x3000
    uint16_t customerId = 0;    // register 0x31FE
    std::array<uint8_t, 16> fuseId{};  // the unique id in reading order
};

class Sensor {
public:
    explicit Sensor(const SensorConfig& config);

    bool Present() const { return config_.present; }
    bool Answers(uint8_t id) const { return config_.present && id == config_.id; }
    uint16_t ChipId() const { return config_.chipId; }
    uint16_t CustomerId() const { return config_.customerId; }
    uint16_t Read(uint16_t reg) const;
    void Write(uint16_t reg, uint16_t value);
    // Where the fuse words live for a chip id.
    static uint16_t FuseBase(uint16_t chipId);

private:
    SensorConfig config_;
    std::map<uint16_t, uint16_t> regs_;
    bool otpReady_ = false;  // the one-time-programmable memory has been read out
};

struct Ap1302Config {
    std::map<uint16_t, uint16_t> overrides;  // register defaults replaced by the world
    int bridgePolls = 2;   // status reads that still show busy after a command; -1: stuck
    bool standby = false;  // sensor starts in standby (0x601A bit 9)
    int wakeReads = 1;     // reads of 0x601A that still show standby after the wake command; -1: never wakes
};

class Ap1302 {
public:
    Ap1302(const Ap1302Config& config, const SensorConfig& sensor);

    uint16_t Read(uint16_t reg, int64_t nowUs);
    void Write(uint16_t reg, uint16_t value, int64_t nowUs);
    // Byte-wise access as on the AP1302's own I2C port: 16-bit registers, most
    // significant byte first, the address counting up byte by byte.
    void ReadBytes(uint16_t address, uint8_t* out, size_t count, int64_t nowUs);
    void WriteBytes(uint16_t address, const uint8_t* data, size_t count, int64_t nowUs);

    // A bridge transaction or wake-up that happened since the last call, for the trace.
    std::string TakeNote();
    // A bridge reset drops a transaction in flight.
    void ResetTransient();

    const Sensor& SensorChip() const { return sensor_; }

    static constexpr uint16_t kChipIdReg = 0x0000;
    static constexpr uint16_t kSystemControl = 0x601A;
    static constexpr uint16_t kStandbyBit = 0x0200;
    static constexpr uint16_t kWakeCommand = 0x0380;
    static constexpr uint16_t kBridgeStatus = 0x60AC;
    static constexpr uint16_t kBridgeReadCommand = 0x6032;
    static constexpr uint16_t kBridgeWriteCommand = 0x0301;
    static constexpr uint16_t kBridgeBusyMask = 0x0007;
    static constexpr uint16_t kBridgeErrorBit = 0x0008;

    // The host's stop request, and the sensor port the host reaches the
    // sensor bus through while the ISP is stopped (page 0x29 of 0xF038): a
    // go bit, a control word (8 addresses a sensor register, 1 reads it), the
    // sensor's bus id, the register and the data read, each 32 bits.
    static constexpr uint16_t kHostControl = 0xF05A;
    static constexpr uint16_t kHostStop = 0x0014;
    static constexpr uint16_t kBootStage = 0x6002;
    static constexpr uint16_t kPageSelect = 0xF038;
    static constexpr uint16_t kSensorPortPage = 0x0029;
    static constexpr uint16_t kSensorPortGo = 0xE000;
    static constexpr uint16_t kSensorPortControl = 0xE004;
    static constexpr uint16_t kSensorPortAddress = 0xE008;
    static constexpr uint16_t kSensorPortRegister = 0xE00C;
    static constexpr uint16_t kSensorPortData = 0xE010;

private:
    uint16_t Stored(uint16_t reg) const;
    void CompleteBridge();
    void RunSensorPort();

    Ap1302Config config_;
    Sensor sensor_;
    std::map<uint16_t, uint16_t> regs_;
    bool bridgePending_ = false;
    int bridgeLeft_ = 0;
    int wakeLeft_ = -2;  // -2: no wake-up in progress
    int64_t timestampBaseUs_ = 0;
    int64_t frameBaseUs_ = 0;
    uint16_t portRegister_ = 0;  // the sensor register the port last addressed
    std::string note_;
};

// The counters the sensor boards keep in device time since their last restart:
// seconds and 2^-32 fractions as one 64-bit number, and frames at 30 per second.
uint64_t FixedPointTime(int64_t nowUs, int64_t baseUs);
uint8_t FrameCount(int64_t nowUs, int64_t baseUs);

// Bootdata header records, laid out byte for byte.
struct HeaderFields {
    int version = 2;                 // 2 or 3
    uint16_t contentOffset = 0;      // 0: right after the header
    std::string productName;
    std::string headInfo;            // v2
    uint8_t productVersion = 1;      // v2
    uint8_t lensVersion = 2;         // v2
    uint8_t contentVersion = 10;     // v2
    uint16_t pllBootdataLen = 16;    // v2
    uint16_t sensorType = 0;         // v3
    std::array<uint8_t, 16> fuseId{};     // v3
    std::array<uint8_t, 16> lensId{};     // v3
    std::array<uint8_t, 2> znFwVersion{{1, 5}};  // v3
    uint16_t vendorFwVersion = 300;  // v3
    uint16_t customNumber = 7;       // v3
    std::array<uint8_t, 6> recordDate{{24, 3, 15, 10, 30, 0}};  // v3
    uint16_t mipiDatarate = 1500;    // v3
    uint32_t contentLen = 64;
    int fixChecksum = -1;            // v3; -1: computed
    bool badChecksum = false;        // stored checksums off by one
};

constexpr size_t kHeaderV2Size = 144;
constexpr size_t kHeaderV3Size = 125;

// Sum of bytes modulo 65535, the checksum of the header records.
uint16_t ByteSum(const uint8_t* data, size_t count);

// The header followed by its content (a fixed byte pattern of contentLen bytes)
// at contentOffset.
std::vector<uint8_t> BuildBootdata(const HeaderFields& fields);

// The profile block a module leaves the factory with (80 bytes, little-endian
// fields): flag 0, 0x50 in byte 1, the given output size, packed 4:2:2 (code
// 0x50), throughput 1000, 30 frames per second, automatic exposure (code 12)
// with limits 16666 and 66666 us and exposure 33333 us, gain 1, backlight
// compensation 1.0, automatic white balance (code 15) at 5000 K, brightness,
// contrast, denoise and sharpness 0, saturation 1.0, gamma 2.2 (0x2333), no
// flip or effect, zoom 1.0, pan and tilt 0.5, flicker off, JPEG quality 90;
// the checksum (sum of bytes 0-77) in bytes 78-79. `lumoOffsets`: the
// LUMO module keeps backlight (+0x0F00), brightness (+0x1000), contrast
// (+0x5000), denoise and sharpness (+0x2000) in its offset forms.
std::vector<uint8_t> FactoryProfileBlock(bool lumoOffsets, uint16_t width, uint16_t height);

}  // namespace sv::sim::maker
