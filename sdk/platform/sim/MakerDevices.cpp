#include "platform/sim/MakerDevices.h"

#include <algorithm>
#include <cstring>

#include <fmt/format.h>

namespace sv::sim::maker {

namespace {

// AP1302 registers at power-up. Registers not listed read 0 and keep what is
// written to them.
//
//   reg     value   meaning
//   0x0000  0x0265  chip id (read as the "ISP is alive" probe)
//   0x0002  live    frame counter in the high byte, 30 per second of device time
//   0x00E8  0x0000  current exposure, high word   } 33333 us
//   0x00EA  0x8235  current exposure, low word    }
//   0x0192  0x0100  current gain (high byte) 1
//   0x100C  0x0000  flip
//   0x1010  0x0100  digital zoom 1.0 (8.8)
//   0x1016  0x0000  special effect none
//   0x1018  0x445A  JPEG quality 90
//   0x118C  0x0080  pan 0.5 (8.8)
//   0x118E  0x0080  tilt 0.5 (8.8)
//   0x2000  0x0780  output width 1920
//   0x2002  0x04B0  output height 1200
//   0x2012  0x0050  output format UYVY
//   0x2020  0x1E00  maximum frame rate 30 (high byte)
//   0x2024  0x0000  } auto-exposure minimum 1 us
//   0x2026  0x0001  }
//   0x2028  0x0000  } auto-exposure maximum 33333 us
//   0x202A  0x8235  }
//   0x5002  0x029C  exposure control: automatic exposure
//   0x5006  0x0100  exposure gain 1 (high byte)
//   0x500C  0x0000  } manual exposure 33333 us
//   0x500E  0x8235  }
//   0x501A  0x0000  backlight compensation 0
//   0x5100  0x115F  white balance: automatic
//   0x510A  0x1388  white-balance temperature 5000 K
//   0x52DE  0x0001  eHDR mode off (0x7FFF: on)
//   0x532E  0x1000  eHDR tone-mapping weight 1.0 (4.12)
//   0x5342  0x5000  eHDR tone-mapping maximum 5.0 (4.12)
//   0x5440  0x0000  flicker mode off
//   0x6002  0x0001  non-zero: the ISP runs (product check)
//   0x601A  0x0000  system control; bit 9 (0x0200) while the sensor is in standby
//   0x60A0..0x60AA  bridge address/data/count registers, 0
//   0x60AC  0x0000  bridge command/status; low three bits non-zero while busy
//   0x6126  0x0000  counter control; bits 8 and 9 restart timestamp / frame counter and read back 0
//   0x6128..0x612E  live: seconds (32 bits) and fraction (32 bits, 2^-32 s) of device time
//   0x6132  0xFA00  USB throughput 1000 (x 64)
//   0x7000  0x0000  brightness 0.0 (4.12)
//   0x7002  0x1000  contrast 1.0
//   0x7006  0x1000  saturation 1.0
//   0x700A  0x2333  gamma 2.2
//   0x700C  0x0000  denoise 0.0
//   0x7010  0x0000  sharpness 0.0
//   0x71EA  0x0021  eHDR exposures merged: minimum 1 (bits 0-2), maximum 4 (bits 3-5)
//   0x71EC  0x0C00  eHDR exposure ratio minimum 12 (8.8)
//   0x71EE  0x1800  eHDR exposure ratio maximum 24 (8.8)
constexpr std::pair<uint16_t, uint16_t> kAp1302Defaults[] = {
    {0x0000, 0x0265}, {0x00E8, 0x0000}, {0x00EA, 0x8235}, {0x0192, 0x0100}, {0x100C, 0x0000},
    {0x1010, 0x0100}, {0x1016, 0x0000}, {0x1018, 0x445A}, {0x118C, 0x0080}, {0x118E, 0x0080},
    {0x2000, 0x0780}, {0x2002, 0x04B0}, {0x2012, 0x0050}, {0x2020, 0x1E00}, {0x2024, 0x0000},
    {0x2026, 0x0001}, {0x2028, 0x0000}, {0x202A, 0x8235}, {0x5002, 0x029C}, {0x5006, 0x0100},
    {0x500C, 0x0000}, {0x500E, 0x8235}, {0x501A, 0x0000}, {0x5100, 0x115F}, {0x510A, 0x1388},
    {0x5440, 0x0000}, {0x6002, 0x0001}, {0x601A, 0x0000}, {0x6126, 0x0000}, {0x6132, 0xFA00},
    {0x7000, 0x0000}, {0x7002, 0x1000}, {0x7006, 0x1000}, {0x700A, 0x2333}, {0x700C, 0x0000},
    {0x7010, 0x0000}, {0x52DE, 0x0001}, {0x532E, 0x1000}, {0x5342, 0x5000}, {0x71EA, 0x0021},
    {0x71EC, 0x0C00}, {0x71EE, 0x1800},
};

constexpr uint16_t kFrameCounter = 0x0002;
constexpr uint16_t kCounterControl = 0x6126;
constexpr uint16_t kTimestamp = 0x6128;  // four registers

// Sensor registers the unique-id read-out uses.
constexpr uint16_t kSensorChipId = 0x3000;
constexpr uint16_t kSensorCustomerId = 0x31FE;
constexpr uint16_t kOtpControl = 0x304A;
constexpr uint16_t kOtpMode = 0x304C;

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void PutText(std::vector<uint8_t>& b, size_t at, const std::string& text, size_t room) {
    std::memcpy(b.data() + at, text.data(), std::min(text.size(), room));
}

}  // namespace

// ---------------------------------------------------------------- sensor

Sensor::Sensor(const SensorConfig& config) : config_(config) {
    regs_[kSensorChipId] = config.chipId;
    regs_[kSensorCustomerId] = config.customerId;
    // Fuse word j (at base + 2j) holds id bytes 14-2j and 15-2j, so that reading
    // the words from the top down gives the id in reading order.
    const uint16_t base = FuseBase(config.chipId);
    for (uint16_t j = 0; j < 8; ++j) {
        const size_t hi = 14 - 2u * j;
        regs_[static_cast<uint16_t>(base + 2 * j)] =
            static_cast<uint16_t>(config.fuseId[hi] << 8 | config.fuseId[hi + 1]);
    }
}

uint16_t Sensor::FuseBase(uint16_t chipId) { return chipId == 0x2557 || chipId == 0x0F56 ? 0x34C0 : 0x3800; }

uint16_t Sensor::Read(uint16_t reg) const {
    const uint16_t base = FuseBase(config_.chipId);
    // The fuse words show only after the memory has been read out.
    if (reg >= base && reg < base + 16 && !otpReady_) return 0;
    const auto it = regs_.find(reg);
    return it == regs_.end() ? 0 : it->second;
}

void Sensor::Write(uint16_t reg, uint16_t value) {
    const uint16_t base = FuseBase(config_.chipId);
    if (reg >= base && reg < base + 16) return;  // fuses are read-only
    if (reg == kSensorChipId || reg == kSensorCustomerId) return;  // read-only
    regs_[reg] = value;
    if (reg == kOtpControl && value == 0x0210 && Read(kOtpMode) == 0x0100) otpReady_ = true;
}

// ---------------------------------------------------------------- AP1302

Ap1302::Ap1302(const Ap1302Config& config, const SensorConfig& sensor) : config_(config), sensor_(sensor) {
    for (const auto& [reg, value] : kAp1302Defaults) regs_[reg] = value;
    if (config.standby) regs_[kSystemControl] = kStandbyBit;
    for (const auto& [reg, value] : config.overrides) regs_[reg] = value;
    // A stuck bridge shows busy from the start.
    if (config.bridgePolls < 0) regs_[kBridgeStatus] = static_cast<uint16_t>(Stored(kBridgeStatus) | 0x0001);
}

uint16_t Ap1302::Stored(uint16_t reg) const {
    const auto it = regs_.find(reg);
    return it == regs_.end() ? 0 : it->second;
}

uint16_t Ap1302::Read(uint16_t reg, int64_t nowUs) {
    if (reg == kBridgeStatus) {
        if (bridgePending_ && config_.bridgePolls >= 0) {
            if (bridgeLeft_ > 0) {
                --bridgeLeft_;
            } else {
                CompleteBridge();
            }
        }
        return Stored(kBridgeStatus);
    }
    if (reg == kSystemControl && wakeLeft_ != -2) {
        if (wakeLeft_ > 0) {
            --wakeLeft_;
        } else if (wakeLeft_ == 0) {
            regs_[kSystemControl] = static_cast<uint16_t>(Stored(kSystemControl) & ~kStandbyBit);
            wakeLeft_ = -2;
            note_ = "sensor awake";
        }
        return Stored(kSystemControl);
    }
    if (reg == kFrameCounter) return static_cast<uint16_t>(FrameCount(nowUs, frameBaseUs_) << 8);
    if (reg >= kTimestamp && reg < kTimestamp + 8 && reg % 2 == 0) {
        const uint64_t fixed = FixedPointTime(nowUs, timestampBaseUs_);
        const unsigned shift = 48u - 8u * static_cast<unsigned>(reg - kTimestamp);
        return static_cast<uint16_t>(fixed >> shift);
    }
    return Stored(reg);
}

void Ap1302::Write(uint16_t reg, uint16_t value, int64_t nowUs) {
    if (reg == kBridgeStatus) {
        if (config_.bridgePolls < 0) {
            regs_[reg] = static_cast<uint16_t>(value | 0x0001);
            note_ = fmt::format("bridge command 0x{:04x} on a stuck bridge", value);
            return;
        }
        if (bridgePending_) {
            note_ = fmt::format("bridge busy, command 0x{:04x} dropped", value);
            return;
        }
        regs_[reg] = value;
        if ((value & kBridgeBusyMask) == 0) return;  // nothing to run
        bridgePending_ = true;
        bridgeLeft_ = config_.bridgePolls;
        return;
    }
    if (reg == kSystemControl) {
        if (value == kWakeCommand) {
            // Bit 9 of the command is not a standby request; the sensor leaves
            // standby once it has come up.
            regs_[reg] = static_cast<uint16_t>(value | (Stored(reg) & kStandbyBit));
            if ((Stored(reg) & kStandbyBit) != 0) {
                wakeLeft_ = config_.wakeReads < 0 ? -1 : config_.wakeReads;
            } else {
                regs_[reg] = static_cast<uint16_t>(value & ~kStandbyBit);
            }
            return;
        }
        wakeLeft_ = -2;
        regs_[reg] = value;
        return;
    }
    if (reg == kCounterControl) {
        if ((value & 0x0100) != 0) timestampBaseUs_ = nowUs;
        if ((value & 0x0200) != 0) frameBaseUs_ = nowUs;
        regs_[reg] = static_cast<uint16_t>(value & ~0x0300);
        return;
    }
    if (reg == kChipIdReg) return;  // read-only
    regs_[reg] = value;
    if (reg == kHostControl && value == kHostStop) {
        regs_[kBootStage] = 0;  // the bootdata run is halted: its stage reads idle
        note_ = "ISP halted for the host";
    }
    if (reg == kSensorPortGo + 2 && (value & 1) != 0 && Stored(kPageSelect) == kSensorPortPage) RunSensorPort();
}

void Ap1302::RunSensorPort() {
    // 32-bit port registers, most significant word first.
    const uint16_t control = Stored(kSensorPortControl + 2);
    const uint8_t id = static_cast<uint8_t>(Stored(kSensorPortAddress + 2));
    if (!sensor_.Answers(id)) {
        note_ = fmt::format("sensor port: sensor 0x{:02x} does not answer; GO stays set", id);
        return;  // the go bit never clears
    }
    if (control == 0x0008) {
        portRegister_ = Stored(kSensorPortRegister + 2);
        regs_[kSensorPortControl] = 0;
        regs_[kSensorPortControl + 2] = 0;
        note_ = fmt::format("sensor port: sensor 0x{:02x} register 0x{:04x} addressed", id, portRegister_);
    } else if (control == 0x0001) {
        const uint16_t value = sensor_.Read(portRegister_);
        regs_[kSensorPortData] = 0;
        regs_[kSensorPortData + 2] = value;
        note_ = fmt::format("sensor port: sensor 0x{:02x} register 0x{:04x} read 0x{:04x}", id, portRegister_, value);
    } else {
        note_ = fmt::format("sensor port: control 0x{:04x} does nothing", control);
    }
    regs_[kSensorPortGo] = 0;
    regs_[kSensorPortGo + 2] = 0;
}

void Ap1302::CompleteBridge() {
    bridgePending_ = false;
    const uint16_t command = Stored(kBridgeStatus);
    bool ok = false;
    if (command == kBridgeReadCommand) {
        const uint8_t id = static_cast<uint8_t>(Stored(0x60A0));
        const uint16_t reg = Stored(0x60A2);
        const uint16_t dest = Stored(0x60A6);
        if ((Stored(0x60A0) & 0xFF00) == 0x0300 && sensor_.Answers(id)) {
            const uint16_t value = sensor_.Read(reg);
            regs_[dest] = value;
            ok = true;
            note_ = fmt::format("bridge: sensor 0x{:02x} reg 0x{:04x} read 0x{:04x} into 0x{:04x}", id, reg, value, dest);
        } else {
            note_ = fmt::format("bridge: sensor 0x{:02x} does not answer", id);
        }
    } else if (command == kBridgeWriteCommand) {
        const uint8_t id = static_cast<uint8_t>(Stored(0x60A4));
        const uint16_t reg = Stored(0x60A6);
        const uint16_t value = Stored(0x60A2);
        if ((Stored(0x60A4) & 0xFF00) == 0xF300 && sensor_.Answers(id)) {
            sensor_.Write(reg, value);
            ok = true;
            note_ = fmt::format("bridge: sensor 0x{:02x} reg 0x{:04x} <- 0x{:04x}", id, reg, value);
        } else {
            note_ = fmt::format("bridge: sensor 0x{:02x} does not answer", id);
        }
    } else {
        note_ = fmt::format("bridge: unknown command 0x{:04x}", command);
    }
    regs_[kBridgeStatus] = static_cast<uint16_t>((command & ~kBridgeBusyMask) | (ok ? 0 : kBridgeErrorBit));
}

void Ap1302::ReadBytes(uint16_t address, uint8_t* out, size_t count, int64_t nowUs) {
    size_t i = 0;
    uint32_t at = address;
    while (i < count) {
        const uint16_t reg = static_cast<uint16_t>(at & 0xFFFE);
        const uint16_t value = Read(reg, nowUs);  // once per register, so a poll counts once
        if ((at & 1) == 0) {
            out[i++] = static_cast<uint8_t>(value >> 8);
            ++at;
        }
        if (i < count) {
            out[i++] = static_cast<uint8_t>(value);
            ++at;
        }
        at &= 0xFFFF;
    }
}

void Ap1302::WriteBytes(uint16_t address, const uint8_t* data, size_t count, int64_t nowUs) {
    size_t i = 0;
    uint32_t at = address;
    while (i < count) {
        const uint16_t reg = static_cast<uint16_t>(at & 0xFFFE);
        uint16_t value = Stored(reg);
        if ((at & 1) == 0) {
            value = static_cast<uint16_t>((value & 0x00FF) | data[i++] << 8);
            ++at;
        }
        if (i < count) {
            value = static_cast<uint16_t>((value & 0xFF00) | data[i++]);
            ++at;
        }
        Write(reg, value, nowUs);
        at &= 0xFFFF;
    }
}

std::string Ap1302::TakeNote() {
    std::string note;
    note.swap(note_);
    return note;
}

void Ap1302::ResetTransient() {
    if (config_.bridgePolls >= 0) {
        bridgePending_ = false;
        regs_[kBridgeStatus] = 0;
    }
}

uint64_t FixedPointTime(int64_t nowUs, int64_t baseUs) {
    const uint64_t us = static_cast<uint64_t>(std::max<int64_t>(0, nowUs - baseUs));
    return (us / 1000000) << 32 | ((us % 1000000) << 32) / 1000000;
}

uint8_t FrameCount(int64_t nowUs, int64_t baseUs) {
    const int64_t frames = std::max<int64_t>(0, nowUs - baseUs) * 30 / 1000000;
    return static_cast<uint8_t>(frames & 0xFF);
}

// ---------------------------------------------------------------- headers

uint16_t ByteSum(const uint8_t* data, size_t count) {
    uint32_t sum = 0;
    for (size_t i = 0; i < count; ++i) sum = (sum + data[i]) % 65535u;
    return static_cast<uint16_t>(sum);
}

std::vector<uint8_t> BuildBootdata(const HeaderFields& f) {
    const size_t headerSize = f.version == 3 ? kHeaderV3Size : kHeaderV2Size;
    const size_t offset = f.contentOffset == 0 ? headerSize : std::max<size_t>(f.contentOffset, headerSize);
    std::vector<uint8_t> b(offset + f.contentLen, 0);
    for (size_t i = 0; i < f.contentLen; ++i) b[offset + i] = static_cast<uint8_t>(i * 7 + 3);
    const uint16_t contentSum =
        static_cast<uint16_t>(ByteSum(b.data() + offset, f.contentLen) + (f.badChecksum ? 1 : 0));
    b[0] = static_cast<uint8_t>(f.version);
    Put16(b, 1, static_cast<uint16_t>(offset));
    if (f.version == 3) {
        Put16(b, 3, f.sensorType);
        std::copy(f.fuseId.begin(), f.fuseId.end(), b.begin() + 5);
        PutText(b, 21, f.productName, 64);
        std::copy(f.lensId.begin(), f.lensId.end(), b.begin() + 85);
        b[103] = f.znFwVersion[0];
        b[104] = f.znFwVersion[1];
        Put16(b, 105, f.vendorFwVersion);
        Put16(b, 107, f.customNumber);
        std::copy(f.recordDate.begin(), f.recordDate.end(), b.begin() + 109);
        Put16(b, 115, f.mipiDatarate);
        Put32(b, 117, f.contentLen);
        Put16(b, 121, contentSum);
        // As the module's programming tool computes them: the fixed section
        // 0-100, then bytes 0-121 with the new fixChecksum and byte 122 as 0.
        uint16_t fix = f.fixChecksum >= 0 ? static_cast<uint16_t>(f.fixChecksum) : ByteSum(b.data(), 101);
        if (f.badChecksum && f.fixChecksum < 0) fix = static_cast<uint16_t>(fix + 1);
        Put16(b, 101, fix);
        std::vector<uint8_t> sumOver(b.begin(), b.begin() + 123);
        sumOver[122] = 0;
        const uint16_t total = static_cast<uint16_t>(ByteSum(sumOver.data(), 123) + (f.badChecksum ? 1 : 0));
        Put16(b, 123, total);
    } else {
        PutText(b, 3, f.productName, 64);
        b[67] = f.productVersion;
        PutText(b, 68, f.headInfo, 64);
        b[132] = f.lensVersion;
        b[133] = f.contentVersion;
        Put32(b, 134, contentSum);
        Put32(b, 138, f.contentLen);
        Put16(b, 142, f.pllBootdataLen);
    }
    return b;
}

std::vector<uint8_t> FactoryProfileBlock(bool lumoOffsets, uint16_t width, uint16_t height) {
    std::vector<uint8_t> b(80, 0);
    const uint16_t lumo = lumoOffsets ? 1 : 0;
    b[0] = 0;
    b[1] = 0x50;
    Put16(b, 3, width);
    Put16(b, 5, height);
    b[7] = 0x50;
    Put16(b, 9, 1000);
    b[11] = 30;
    Put32(b, 12, 16666);
    Put32(b, 16, 66666);
    b[22] = 12;
    Put32(b, 23, 33333);
    b[27] = 1;
    Put16(b, 28, static_cast<uint16_t>(0x0100 + lumo * 0x0F00));  // backlight 1.0 (8.8)
    b[30] = 15;
    Put16(b, 31, 5000);
    Put16(b, 33, static_cast<uint16_t>(lumo * 0x1000));  // brightness 0 (4.12)
    Put16(b, 35, static_cast<uint16_t>(lumo * 0x5000));  // contrast 0
    Put16(b, 37, 0x1000);                                 // saturation 1.0
    Put16(b, 39, 0x2333);                                 // gamma 2.2
    Put16(b, 41, static_cast<uint16_t>(lumo * 0x2000));  // denoise 0
    Put16(b, 43, static_cast<uint16_t>(lumo * 0x2000));  // sharpness 0
    Put16(b, 49, 0x0100);                                 // zoom 1.0 (8.8)
    Put16(b, 51, 0x0080);                                 // pan 0.5
    Put16(b, 53, 0x0080);                                 // tilt 0.5
    b[59] = 90;
    uint32_t sum = 0;
    for (size_t i = 0; i < 78; ++i) sum += b[i];
    Put16(b, 78, static_cast<uint16_t>(sum));
    return b;
}

}  // namespace sv::sim::maker
