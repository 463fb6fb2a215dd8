#include "FrameWriter.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <png.h>

namespace svcam {
namespace {

uint8_t Clamp(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

void YuvToRgb(int y, int u, int v, uint8_t* out) {
    const int c = y - 16;
    const int d = u - 128;
    const int e = v - 128;
    out[0] = Clamp((298 * c + 409 * e + 128) >> 8);
    out[1] = Clamp((298 * c - 100 * d - 208 * e + 128) >> 8);
    out[2] = Clamp((298 * c + 516 * d + 128) >> 8);
}

}  // namespace

bool ToRgb(SV_IMAGE_FORMAT format, const uint8_t* frame, std::size_t size, int width, int height,
           std::vector<uint8_t>& rgb) {
    if (width <= 0 || height <= 0 || !frame) return false;
    const std::size_t w = static_cast<std::size_t>(width);
    const std::size_t h = static_cast<std::size_t>(height);
    rgb.assign(w * h * 3, 0);
    switch (format) {
    case SV_IMAGE_FORMAT_YUY2:
    case SV_IMAGE_FORMAT_UYVY: {
        if (size < w * h * 2 || w % 2) return false;
        const bool yuy2 = format == SV_IMAGE_FORMAT_YUY2;
        for (std::size_t row = 0; row < h; ++row) {
            const uint8_t* in = frame + row * w * 2;
            uint8_t* out = rgb.data() + row * w * 3;
            for (std::size_t x = 0; x < w; x += 2, in += 4, out += 6) {
                const int y0 = yuy2 ? in[0] : in[1];
                const int u = yuy2 ? in[1] : in[0];
                const int y1 = yuy2 ? in[2] : in[3];
                const int v = yuy2 ? in[3] : in[2];
                YuvToRgb(y0, u, v, out);
                YuvToRgb(y1, u, v, out + 3);
            }
        }
        return true;
    }
    case SV_IMAGE_FORMAT_NV12: {
        if (size < w * h + w * ((h + 1) / 2) || w % 2) return false;
        const uint8_t* luma = frame;
        const uint8_t* chroma = frame + w * h;
        for (std::size_t row = 0; row < h; ++row) {
            for (std::size_t x = 0; x < w; ++x) {
                const uint8_t* uv = chroma + (row / 2) * w + (x & ~std::size_t{1});
                YuvToRgb(luma[row * w + x], uv[0], uv[1], rgb.data() + (row * w + x) * 3);
            }
        }
        return true;
    }
    default:
        return false;
    }
}

bool WritePng(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height,
              std::string& error) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        error = "cannot start the PNG encoder";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        error = path + ": PNG encoding failed";
        return false;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int row = 0; row < height; ++row) {
        png_write_row(png, rgb.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(width) * 3);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool WriteFile(const std::string& path, const uint8_t* data, std::size_t size, std::string& error) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file || std::fwrite(data, 1, size, file.get()) != size) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}


SV_IMAGE_FORMAT ParseFormatName(const std::string& name) {
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    for (int f = SV_IMAGE_FORMAT_YUY2; f <= SV_IMAGE_FORMAT_MJPG; ++f) {
        if (upper == SvPixelFormatName(static_cast<SV_IMAGE_FORMAT>(f))) return static_cast<SV_IMAGE_FORMAT>(f);
    }
    return SV_IMAGE_FORMAT_NONE;
}

}  // namespace svcam
