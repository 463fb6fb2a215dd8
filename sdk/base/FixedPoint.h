#pragma once

// Fixed-point register encodings of the ISP controls. Every function works on
// the 16-bit register value as the device holds it; the rounding of each
// direction is the device protocol's and must not be "improved".

#include <cstdint>

namespace sv::fixedpoint {

// Signed fixed point with `fractionBits` fraction bits (12: the 4.12 colour
// controls; 8: the KIVO backlight and the unsigned 8.8 zoom, pan and tilt).
// The integer part and the fraction are each cut toward zero and keep the sign.
uint16_t Encode(double value, int fractionBits);

// Two's-complement 4.12: low twelve bits as the fraction plus the register
// shifted right arithmetically by twelve.
double DecodeSigned4_12(uint16_t raw);

// High byte plus low byte / 256.
double DecodeUnsigned8_8(uint16_t raw);

// KIVO backlight: 8.8 whose high byte counts as negative above 0x0F.
double DecodeKivoBacklight(uint16_t raw);

// LIRA register-file forms: the value is stored with an offset added, so that
// the register holds a non-negative number.
uint16_t EncodeOffset4_12(double value, double offset);
double DecodeOffset4_12(uint16_t raw, double offset);          // top nibble signed
double DecodeUnsignedOffset4_12(uint16_t raw, double offset);  // top nibble unsigned (contrast)
uint16_t EncodeLiraBacklight(double value);
double DecodeLiraBacklight(uint16_t raw);

// eHDR exposure ratios: unsigned 8.8 rounded to a whole ratio; values that
// would set bit 15 are stored as 0x7FFF.
int DecodeRatio(uint16_t raw);
uint16_t EncodeRatio(int value);

// eHDR tone-mapping parameters: 4.12 computed in single precision, with the
// same 0x7FFF ceiling.
double DecodeAtm(uint16_t raw);
uint16_t EncodeAtm(double value);

}  // namespace sv::fixedpoint
