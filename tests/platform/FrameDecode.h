#pragma once

// Test helper: turns the frames of the simulated cameras back into RGB so that
// tests can look at pixels, and reads the test pattern's frame counter.

#include <cstdint>
#include <string>
#include <vector>

namespace svtest {

struct RgbPixel {
    int r = 0, g = 0, b = 0;
};

struct RgbImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgb;  // 3 bytes per pixel, top row first

    RgbPixel At(uint32_t x, uint32_t y) const {
        const size_t i = (static_cast<size_t>(y) * width + x) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

// `format`: "YUY2", "UYVY", "NV12" (BT.601 studio range), "RGB24" (B, G, R) or
// "MJPG" (any baseline JPEG; its own size must match). False with `error`
// when the bytes do not fit the format and size.
bool DecodeFrame(const std::string& format, const uint8_t* data, size_t length, uint32_t width, uint32_t height,
                 RgbImage& image, std::string& error);

// The frame number shown in the counter band: 32 cells across the top row,
// most significant bit left, a bright cell a 1.
uint64_t ReadCounter(const RgbImage& image);

// Whether two colours are within `tolerance` per channel.
bool Near(const RgbPixel& a, const RgbPixel& b, int tolerance);

}  // namespace svtest
