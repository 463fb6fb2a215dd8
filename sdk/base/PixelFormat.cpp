#include "base/PixelFormat.h"

namespace sv {

const char* PixelFormatName(int format) {
    switch (format) {
    case SV_IMAGE_FORMAT_YUY2: return "YUY2";
    case SV_IMAGE_FORMAT_UYVY: return "UYVY";
    case SV_IMAGE_FORMAT_NV12: return "NV12";
    case SV_IMAGE_FORMAT_MJPG: return "MJPG";
    case SV_IMAGE_FORMAT_BGRA: return "BGRA";
    case SV_IMAGE_FORMAT_BGRx: return "BGRx";
    case SV_IMAGE_FORMAT_BGR: return "BGR";
    case SV_IMAGE_FORMAT_RGB16: return "RGB16";
    case SV_IMAGE_FORMAT_RGB: return "RGB";
    default: return "NONE";
    }
}

SV_IMAGE_FORMAT PixelFormatFromName(const std::string& name) {
    for (int f = SV_IMAGE_FORMAT_YUY2; f <= SV_IMAGE_FORMAT_RGB; ++f) {
        if (name == PixelFormatName(f)) return static_cast<SV_IMAGE_FORMAT>(f);
    }
    return SV_IMAGE_FORMAT_NONE;
}

}  // namespace sv
