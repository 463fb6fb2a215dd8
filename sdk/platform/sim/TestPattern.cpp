#include "platform/sim/TestPattern.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace sv::sim::pattern {

const Rgb kBarColors[8] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                           {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
const Rgb kCounterOne = {255, 255, 255};
const Rgb kCounterZero = {0, 0, 0};
const Rgb kCounterPad = {128, 128, 128};

uint32_t BandHeight(uint32_t height) {
    uint32_t band = (height / 8) & ~1u;
    if (band < 2) band = height >= 4 ? 2 : 0;
    return band;
}

uint32_t CellWidth(uint32_t width) { return width / kCounterCells; }

uint32_t BarWidth(uint32_t width) { return width >= 8 ? width / 8 : 1; }

uint32_t BarStep(uint32_t width) {
    const uint32_t half = BarWidth(width) / 16;
    return 2 * (half > 0 ? half : 1);
}

uint32_t BarIndexAt(uint64_t frame, uint32_t x, uint32_t width) {
    const uint64_t cycle = static_cast<uint64_t>(BarWidth(width)) * 8;
    const uint64_t shifted = (x + (frame % cycle) * BarStep(width)) % cycle;
    return static_cast<uint32_t>(shifted / BarWidth(width));
}

namespace {

Rgb CounterPixel(uint64_t frame, uint32_t x, uint32_t width) {
    const uint32_t cell = CellWidth(width);
    if (cell == 0 || x >= cell * kCounterCells) return kCounterPad;
    const uint32_t bit = kCounterCells - 1 - x / cell;
    return ((frame >> bit) & 1u) != 0 ? kCounterOne : kCounterZero;
}

// One row of the band and one row of the bars: every row of a region is equal.
void RenderRows(uint64_t frame, uint32_t width, std::vector<Rgb>& band, std::vector<Rgb>& bars) {
    band.resize(width);
    bars.resize(width);
    for (uint32_t x = 0; x < width; ++x) {
        band[x] = CounterPixel(frame, x, width);
        bars[x] = kBarColors[BarIndexAt(frame, x, width)];
    }
}

uint8_t Clamp(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

struct Yuv {
    uint8_t y, u, v;
};

Yuv ToYuv(const Rgb& c) {
    Yuv out{};
    RgbToYuv(c, out.y, out.u, out.v);
    return out;
}

// A packed 4:2:2 row; `uyvy` selects the byte order U Y V Y instead of Y U Y V.
void PackRow(const std::vector<Rgb>& row, bool uyvy, uint8_t* out) {
    for (size_t x = 0; x + 1 < row.size(); x += 2) {
        const Yuv a = ToYuv(row[x]), b = ToYuv(row[x + 1]);
        const auto u = static_cast<uint8_t>((a.u + b.u + 1) / 2);
        const auto v = static_cast<uint8_t>((a.v + b.v + 1) / 2);
        uint8_t* p = out + x * 2;
        if (uyvy) {
            p[0] = u; p[1] = a.y; p[2] = v; p[3] = b.y;
        } else {
            p[0] = a.y; p[1] = u; p[2] = b.y; p[3] = v;
        }
    }
}

void Fill(std::vector<uint8_t>& frame, const uint8_t* row, size_t rowBytes, size_t firstRow, size_t rows) {
    for (size_t r = firstRow; r < firstRow + rows; ++r) std::memcpy(frame.data() + r * rowBytes, row, rowBytes);
}

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void OnJpegError(j_common_ptr info) {
    auto* err = reinterpret_cast<JpegError*>(info->err);
    std::longjmp(err->jump, 1);
}

// Plain C data only between setjmp and longjmp.
bool CompressJpeg(const uint8_t* rgb, uint32_t width, uint32_t height, int quality, unsigned char** out,
                  unsigned long* outSize) {
    jpeg_compress_struct info;
    JpegError err;
    info.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = OnJpegError;
    if (setjmp(err.jump) != 0) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, out, outSize);
    info.image_width = width;
    info.image_height = height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + static_cast<size_t>(info.next_scanline) * width * 3);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

}  // namespace

Rgb PixelAt(uint64_t frame, uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
    if (y < BandHeight(height)) return CounterPixel(frame, x, width);
    return kBarColors[BarIndexAt(frame, x, width)];
}

void RgbToYuv(const Rgb& c, uint8_t& y, uint8_t& u, uint8_t& v) {
    const int r = c.r, g = c.g, b = c.b;
    y = Clamp(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
    u = Clamp(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
    v = Clamp(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
}

std::vector<uint8_t> EncodeFrame(PixelFormat format, uint64_t frame, uint32_t width, uint32_t height,
                                 int jpegQuality) {
    std::vector<Rgb> band, bars;
    RenderRows(frame, width, band, bars);
    const size_t bandRows = BandHeight(height);
    const size_t barRows = height - bandRows;
    std::vector<uint8_t> out;

    switch (format) {
        case PixelFormat::YUY2:
        case PixelFormat::UYVY: {
            const bool uyvy = format == PixelFormat::UYVY;
            const size_t rowBytes = static_cast<size_t>(width) * 2;
            out.resize(rowBytes * height);
            std::vector<uint8_t> row(rowBytes);
            PackRow(band, uyvy, row.data());
            Fill(out, row.data(), rowBytes, 0, bandRows);
            PackRow(bars, uyvy, row.data());
            Fill(out, row.data(), rowBytes, bandRows, barRows);
            return out;
        }
        case PixelFormat::NV12: {
            const size_t w = width;
            out.resize(w * height * 3 / 2);
            std::vector<uint8_t> yRow(w), uvRow(w);
            auto planeRows = [&](const std::vector<Rgb>& src) {
                for (size_t x = 0; x + 1 < w; x += 2) {
                    const Yuv a = ToYuv(src[x]), b = ToYuv(src[x + 1]);
                    yRow[x] = a.y;
                    yRow[x + 1] = b.y;
                    uvRow[x] = static_cast<uint8_t>((a.u + b.u + 1) / 2);
                    uvRow[x + 1] = static_cast<uint8_t>((a.v + b.v + 1) / 2);
                }
            };
            planeRows(band);
            Fill(out, yRow.data(), w, 0, bandRows);
            // The chroma plane follows the luma plane; a chroma row covers two rows.
            for (size_t r = 0; r < bandRows / 2; ++r) std::memcpy(out.data() + w * height + r * w, uvRow.data(), w);
            planeRows(bars);
            Fill(out, yRow.data(), w, bandRows, barRows);
            for (size_t r = bandRows / 2; r < height / 2; ++r) {
                std::memcpy(out.data() + w * height + r * w, uvRow.data(), w);
            }
            return out;
        }
        case PixelFormat::RGB24: {
            // Blue, green, red per pixel, top row first.
            const size_t rowBytes = static_cast<size_t>(width) * 3;
            out.resize(rowBytes * height);
            std::vector<uint8_t> row(rowBytes);
            auto bgr = [&](const std::vector<Rgb>& src) {
                for (size_t x = 0; x < width; ++x) {
                    row[x * 3] = src[x].b;
                    row[x * 3 + 1] = src[x].g;
                    row[x * 3 + 2] = src[x].r;
                }
            };
            bgr(band);
            Fill(out, row.data(), rowBytes, 0, bandRows);
            bgr(bars);
            Fill(out, row.data(), rowBytes, bandRows, barRows);
            return out;
        }
        case PixelFormat::MJPG: {
            const size_t rowBytes = static_cast<size_t>(width) * 3;
            std::vector<uint8_t> rgb(rowBytes * height);
            std::vector<uint8_t> row(rowBytes);
            auto pack = [&](const std::vector<Rgb>& src) {
                for (size_t x = 0; x < width; ++x) {
                    row[x * 3] = src[x].r;
                    row[x * 3 + 1] = src[x].g;
                    row[x * 3 + 2] = src[x].b;
                }
            };
            pack(band);
            Fill(rgb, row.data(), rowBytes, 0, bandRows);
            pack(bars);
            Fill(rgb, row.data(), rowBytes, bandRows, barRows);
            unsigned char* jpeg = nullptr;
            unsigned long jpegSize = 0;
            if (CompressJpeg(rgb.data(), width, height, jpegQuality, &jpeg, &jpegSize)) {
                out.assign(jpeg, jpeg + jpegSize);
            }
            std::free(jpeg);
            return out;
        }
    }
    return out;
}

}  // namespace sv::sim::pattern
