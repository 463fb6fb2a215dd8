#pragma once

// Frames to files: the raw native bytes, an RGB PNG preview of the
// uncompressed formats, the JPEG of an MJPG frame as it is.

#include <cstdint>
#include <string>
#include <vector>

#include <sorvansdk/SvTypes.h>

namespace svcam {

// Packed RGB (3 bytes per pixel) from a YUY2, UYVY or NV12 frame (BT.601,
// limited range). false when the format is not one of these or the frame is
// shorter than the geometry needs.
bool ToRgb(SV_IMAGE_FORMAT format, const uint8_t* frame, std::size_t size, int width, int height,
           std::vector<uint8_t>& rgb);

// Writes 8-bit RGB as PNG; false with `error` set on failure.
bool WritePng(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height,
              std::string& error);

bool WriteFile(const std::string& path, const uint8_t* data, std::size_t size, std::string& error);

// "YUY2" -> SV_IMAGE_FORMAT_YUY2 (any letter case); NONE for an unknown text.
SV_IMAGE_FORMAT ParseFormatName(const std::string& name);

}  // namespace svcam
