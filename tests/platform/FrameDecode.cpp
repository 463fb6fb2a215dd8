#include "platform/FrameDecode.h"

#include <algorithm>
#include <csetjmp>
#include <cstdlib>

#include <jpeglib.h>

namespace svtest {

namespace {

uint8_t Clamp(double v) { return static_cast<uint8_t>(std::clamp(v + 0.5, 0.0, 255.0)); }

// BT.601 studio range to full-range RGB.
void YuvToRgb(int y, int u, int v, uint8_t* out) {
    const double c = 1.164383 * (y - 16);
    const double d = u - 128, e = v - 128;
    out[0] = Clamp(c + 1.596027 * e);
    out[1] = Clamp(c - 0.391762 * d - 0.812968 * e);
    out[2] = Clamp(c + 2.017232 * d);
}

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void OnError(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }

// Plain C data only between setjmp and longjmp.
bool DecodeJpeg(const uint8_t* data, size_t length, uint8_t* out, uint32_t width, uint32_t height, int* gotWidth,
                int* gotHeight) {
    jpeg_decompress_struct info;
    JpegError err;
    info.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = OnError;
    if (setjmp(err.jump) != 0) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(length));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    *gotWidth = static_cast<int>(info.output_width);
    *gotHeight = static_cast<int>(info.output_height);
    if (info.output_width != width || info.output_height != height || info.output_components != 3) {
        jpeg_abort_decompress(&info);
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out + static_cast<size_t>(info.output_scanline) * width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

}  // namespace

bool DecodeFrame(const std::string& format, const uint8_t* data, size_t length, uint32_t width, uint32_t height,
                 RgbImage& image, std::string& error) {
    const size_t pixels = static_cast<size_t>(width) * height;
    image.width = width;
    image.height = height;
    image.rgb.assign(pixels * 3, 0);
    auto expect = [&](size_t bytes) {
        if (length == bytes) return true;
        error = format + ": " + std::to_string(length) + " bytes, expected " + std::to_string(bytes);
        return false;
    };
    if (format == "YUY2" || format == "UYVY") {
        if (!expect(pixels * 2)) return false;
        const bool uyvy = format == "UYVY";
        for (size_t i = 0; i + 1 < pixels; i += 2) {
            const uint8_t* p = data + i * 2;
            const int y0 = uyvy ? p[1] : p[0], y1 = uyvy ? p[3] : p[2];
            const int u = uyvy ? p[0] : p[1], v = uyvy ? p[2] : p[3];
            YuvToRgb(y0, u, v, &image.rgb[i * 3]);
            YuvToRgb(y1, u, v, &image.rgb[(i + 1) * 3]);
        }
        return true;
    }
    if (format == "NV12") {
        if (!expect(pixels * 3 / 2)) return false;
        const uint8_t* uv = data + pixels;
        for (size_t y = 0; y < height; ++y) {
            for (size_t x = 0; x < width; ++x) {
                const uint8_t* c = uv + (y / 2) * width + (x / 2) * 2;
                YuvToRgb(data[y * width + x], c[0], c[1], &image.rgb[(y * width + x) * 3]);
            }
        }
        return true;
    }
    if (format == "RGB24") {
        if (!expect(pixels * 3)) return false;
        for (size_t i = 0; i < pixels; ++i) {
            image.rgb[i * 3] = data[i * 3 + 2];
            image.rgb[i * 3 + 1] = data[i * 3 + 1];
            image.rgb[i * 3 + 2] = data[i * 3];
        }
        return true;
    }
    if (format == "MJPG") {
        int w = 0, h = 0;
        if (length < 4 || data[0] != 0xFF || data[1] != 0xD8) {
            error = "MJPG: no JPEG start-of-image marker";
            return false;
        }
        if (!DecodeJpeg(data, length, image.rgb.data(), width, height, &w, &h)) {
            error = "MJPG: not decodable as a " + std::to_string(width) + "x" + std::to_string(height) +
                    " JPEG (got " + std::to_string(w) + "x" + std::to_string(h) + ")";
            return false;
        }
        return true;
    }
    error = "unknown format " + format;
    return false;
}

uint64_t ReadCounter(const RgbImage& image) {
    const uint32_t cell = image.width / 32;
    uint64_t value = 0;
    for (uint32_t i = 0; i < 32; ++i) {
        const RgbPixel p = image.At(i * cell + cell / 2, 0);
        value = (value << 1) | ((p.r + p.g + p.b) / 3 > 128 ? 1u : 0u);
    }
    return value;
}

bool Near(const RgbPixel& a, const RgbPixel& b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

}  // namespace svtest
