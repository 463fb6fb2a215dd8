#include "base/FixedPoint.h"

#include <cmath>

namespace sv::fixedpoint {

uint16_t Encode(double value, int fractionBits) {
    // Callers test their range first; anything this far out (or NaN) has no
    // register form at all and must not reach the integer conversion.
    if (!(std::fabs(value) < 65536.0)) return 0;
    const double unit = static_cast<double>(1 << fractionBits);
    const double whole = std::trunc(value);
    const double fraction = value - whole;
    const long raw = static_cast<long>(whole) * static_cast<long>(unit) + static_cast<long>(std::trunc(fraction * unit));
    return static_cast<uint16_t>(static_cast<unsigned long>(raw) & 0xFFFFu);
}

double DecodeSigned4_12(uint16_t raw) {
    const int whole = static_cast<int16_t>(raw) >> 12;  // arithmetic shift of a negative int16 value
    return (raw & 0x0FFF) / 4096.0 + whole;
}

double DecodeUnsigned8_8(uint16_t raw) { return (raw >> 8) + (raw & 0xFF) / 256.0; }

double DecodeKivoBacklight(uint16_t raw) {
    int whole = raw >> 8;
    if (whole > 0x0F) whole -= 256;
    return whole + (raw & 0xFF) / 256.0;
}

uint16_t EncodeOffset4_12(double value, double offset) { return Encode(value + offset, 12); }

double DecodeOffset4_12(uint16_t raw, double offset) { return DecodeSigned4_12(raw) - offset; }

double DecodeUnsignedOffset4_12(uint16_t raw, double offset) {
    return (raw & 0x0FFF) / 4096.0 + (raw >> 12) - offset;
}

uint16_t EncodeLiraBacklight(double value) { return Encode(value + 15.0, 8); }

double DecodeLiraBacklight(uint16_t raw) {
    int whole = raw >> 8;
    if (whole > 128) whole -= 256;
    return (raw & 0xFF) / 256.0 + whole - 15.0;
}

int DecodeRatio(uint16_t raw) {
    return static_cast<int>(std::lround(DecodeUnsigned8_8(raw)));  // halves away from zero
}

uint16_t EncodeRatio(int value) {
    const unsigned raw = (static_cast<unsigned>(value) & 0xFFu) * 256u;
    return (raw & 0x8000u) != 0 ? 0x7FFF : static_cast<uint16_t>(raw);
}

// The sum has at most 16 significant bits, so single precision gives the same value.
double DecodeAtm(uint16_t raw) { return DecodeSigned4_12(raw); }

uint16_t EncodeAtm(double value) {
    if (!(std::fabs(value) < 65536.0)) return 0;  // as Encode
    const float x = static_cast<float>(value);
    const int whole = static_cast<int>(x);  // cut toward zero
    const float high = static_cast<float>((whole & 0xF) * 4096);
    const float raw = x > 0.0f ? high + (x - static_cast<float>(whole)) * 4096.0f
                               : high - (static_cast<float>(whole) - x) * 4096.0f;
    const int cut = static_cast<int>(raw);
    const unsigned bits = static_cast<unsigned>(cut) & 0xFFFFu;
    return (bits & 0x8000u) != 0 ? 0x7FFF : static_cast<uint16_t>(bits);
}

}  // namespace sv::fixedpoint
