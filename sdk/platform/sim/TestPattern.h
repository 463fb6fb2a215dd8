#pragma once

// The picture every simulated camera shows, and its encoding into the native
// pixel formats. Top: a counter band of 32 cells, the frame number in binary,
// most significant bit on the left (white 1, black 0, grey past the last cell).
// Below: eight colour bars (white, yellow, cyan, green, magenta, red, blue,
// black) that move left by BarStep pixels per frame. YUV formats use BT.601
// studio range; MJPG frames are baseline JPEG images of the same picture.

#include <cstdint>
#include <vector>

#include "platform/sim/SimWorld.h"

namespace sv::sim::pattern {

struct Rgb {
    uint8_t r, g, b;
};

constexpr uint32_t kCounterCells = 32;
extern const Rgb kBarColors[8];
extern const Rgb kCounterOne;
extern const Rgb kCounterZero;
extern const Rgb kCounterPad;

uint32_t BandHeight(uint32_t height);  // rows of the counter band (even)
uint32_t CellWidth(uint32_t width);    // width of one counter cell; 0 when too narrow
uint32_t BarWidth(uint32_t width);
uint32_t BarStep(uint32_t width);      // even, so bar edges keep chroma pairs intact

// Index into kBarColors of column x in frame `frame`.
uint32_t BarIndexAt(uint64_t frame, uint32_t x, uint32_t width);
Rgb PixelAt(uint64_t frame, uint32_t x, uint32_t y, uint32_t width, uint32_t height);

// BT.601 studio-range conversion.
void RgbToYuv(const Rgb& c, uint8_t& y, uint8_t& u, uint8_t& v);

// The frame's bytes as the device sends them; MJPG at `jpegQuality`.
std::vector<uint8_t> EncodeFrame(PixelFormat format, uint64_t frame, uint32_t width, uint32_t height,
                                 int jpegQuality = 90);


}  // namespace sv::sim::pattern
