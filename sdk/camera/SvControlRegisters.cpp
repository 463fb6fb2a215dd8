#include "camera/SvControlRegisters.h"

#include <utility>

#include "base/Logger.h"

namespace {

// Range messages carry the two limits; the text itself is the control's own.
template <typename T>
void LogRange(const char* where, int line, const char* message, T lo, T hi) {
    sv::log::WriteAt(spdlog::level::err, where, line, "{}", fmt::format(fmt::runtime(message), lo, hi));
}

}  // namespace

SvControlRegisters::SvControlRegisters(Read read, Write write) : read_(std::move(read)), write_(std::move(write)) {}

int SvControlRegisters::GetCode(uint16_t reg, uint16_t mask, const uint16_t* codes, std::size_t count,
                                uint32_t& index, int& flag) {
    flag = 0;
    uint16_t raw = 0;
    if (read_(reg, raw) != 0) return -1;
    const uint16_t code = static_cast<uint16_t>(raw & mask);
    for (std::size_t i = 0; i < count; ++i) {
        if (codes[i] == code) {
            index = static_cast<uint32_t>(i);
            break;
        }
    }
    return 0;
}

int SvControlRegisters::SetCode(const char* where, uint16_t reg, const uint16_t* codes, std::size_t count,
                                uint16_t fixedBits, uint32_t index, const char* message) {
    if (index >= count) {
        LogRange(where, __LINE__, message, 0, static_cast<int>(count) - 1);
        return -1;
    }
    return write_(reg, static_cast<uint16_t>(codes[index] | fixedBits));
}

int SvControlRegisters::GetInt(uint16_t reg, int shift, uint16_t mask, int32_t& value, int& flag) {
    flag = 0;
    uint16_t raw = 0;
    if (read_(reg, raw) != 0) return -1;
    value = (raw >> shift) & mask;
    return 0;
}

int SvControlRegisters::SetInt(const char* where, uint16_t reg, int32_t value, int32_t lo, int32_t hi,
                               const char* message, int shift, uint16_t fixedBits) {
    if (value < lo || value > hi) {
        LogRange(where, __LINE__, message, lo, hi);
        return -1;
    }
    return write_(reg, static_cast<uint16_t>((static_cast<uint32_t>(value) << shift) | fixedBits));
}

int SvControlRegisters::GetFixed(uint16_t reg, const Decode& decode, double& value, int& flag) {
    flag = 0;
    uint16_t raw = 0;
    if (read_(reg, raw) != 0) return -1;
    value = decode(raw);
    return 0;
}

int SvControlRegisters::SetFixed(const char* where, uint16_t reg, double value, double lo, double hi,
                                 const char* message, const Encode& encode) {
    if (!(value >= lo && value <= hi)) {
        if (message != nullptr) LogRange(where, __LINE__, message, lo, hi);
        return -1;
    }
    return write_(reg, encode(value));
}

int SvControlRegisters::Get32(uint16_t highReg, uint16_t lowReg, uint32_t& value) {
    uint16_t high = 0;
    uint16_t low = 0;
    if (read_(highReg, high) != 0 || read_(lowReg, low) != 0) return -1;
    value = static_cast<uint32_t>(high) << 16 | low;
    return 0;
}

int SvControlRegisters::Set32(uint16_t highReg, uint16_t lowReg, uint32_t value) {
    const int high = write_(highReg, static_cast<uint16_t>(value >> 16));
    const int low = write_(lowReg, static_cast<uint16_t>(value & 0xFFFF));
    return high == 0 && low == 0 ? 0 : -1;
}

float TimestampSeconds(const uint8_t (&bytes)[8]) {
    const uint32_t whole = static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
                           static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
    const uint32_t fraction = static_cast<uint32_t>(bytes[4]) << 24 | static_cast<uint32_t>(bytes[5]) << 16 |
                              static_cast<uint32_t>(bytes[6]) << 8 | bytes[7];
    return static_cast<float>(whole) + static_cast<float>(fraction) * (1.0f / 4294967296.0f);
}
