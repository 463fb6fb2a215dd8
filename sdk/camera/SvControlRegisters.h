#pragma once

// Typed access to the 16-bit control registers of a maker camera: the
// read-decode and check-encode-write patterns that every ISP control of both
// families follows, over whichever path the family reaches its registers by.

#include <cstddef>
#include <cstdint>
#include <functional>

class SvControlRegisters {
public:
    using Read = std::function<int(uint16_t reg, uint16_t& value)>;
    using Write = std::function<int(uint16_t reg, uint16_t value)>;
    using Decode = std::function<double(uint16_t raw)>;
    using Encode = std::function<uint16_t(double value)>;

    SvControlRegisters(Read read, Write write);

    int Get(uint16_t reg, uint16_t& raw) { return read_(reg, raw); }
    int Set(uint16_t reg, uint16_t raw) { return write_(reg, raw); }

    // A mode register: the code (raw AND mask) is looked up in `codes` and its
    // position becomes `index`; a code not in the table leaves `index` alone.
    template <std::size_t N>
    int GetCode(uint16_t reg, uint16_t mask, const uint16_t (&codes)[N], uint32_t& index, int& flag) {
        return GetCode(reg, mask, codes, N, index, flag);
    }
    // Writes the code of `index` together with `fixedBits`; an index past the
    // table logs `message` with 0 and the last index.
    template <std::size_t N>
    int SetCode(const char* where, uint16_t reg, const uint16_t (&codes)[N], uint16_t fixedBits, uint32_t index,
                const char* message) {
        return SetCode(where, reg, codes, N, fixedBits, index, message);
    }

    // An integer field: (raw >> shift) AND mask.
    int GetInt(uint16_t reg, int shift, uint16_t mask, int32_t& value, int& flag);
    // Writes (value << shift) OR fixedBits when lo <= value <= hi; else logs
    // `message` with lo and hi.
    int SetInt(const char* where, uint16_t reg, int32_t value, int32_t lo, int32_t hi, const char* message,
               int shift = 0, uint16_t fixedBits = 0);

    int GetFixed(uint16_t reg, const Decode& decode, double& value, int& flag);
    // Writes encode(value) when lo <= value <= hi; else logs `message` with lo
    // and hi (no message: refused silently).
    int SetFixed(const char* where, uint16_t reg, double value, double lo, double hi, const char* message,
                 const Encode& encode);

    // Two registers as one 32-bit value, high word first.
    int Get32(uint16_t highReg, uint16_t lowReg, uint32_t& value);
    // Writes both words; -1 when either write fails.
    int Set32(uint16_t highReg, uint16_t lowReg, uint32_t value);

private:
    int GetCode(uint16_t reg, uint16_t mask, const uint16_t* codes, std::size_t count, uint32_t& index, int& flag);
    int SetCode(const char* where, uint16_t reg, const uint16_t* codes, std::size_t count, uint16_t fixedBits,
                uint32_t index, const char* message);

    Read read_;
    Write write_;
};

// Seconds from the 8-byte timestamp: whole seconds then 2^-32 fractions, both
// 32 bits, most significant byte first; single precision as the device gives it.
float TimestampSeconds(const uint8_t (&bytes)[8]);
