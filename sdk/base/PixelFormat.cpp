#include "base/PixelFormat.h"

namespace sv {

SV_IMAGE_FORMAT PixelFormatFromName(const std::string& name) {
    for (int f = SV_IMAGE_FORMAT_YUY2; f <= SV_IMAGE_FORMAT_RGB; ++f) {
        if (name == SvPixelFormatName(f)) return static_cast<SV_IMAGE_FORMAT>(f);
    }
    return SV_IMAGE_FORMAT_NONE;
}

}  // namespace sv
