#pragma once

// The names of the pixel formats (SV_IMAGE_FORMAT), as format lists, log
// lines and profile documents write them.

#include <string>

#include <sorvansdk/SvTypes.h>

namespace sv {

// The format of a name exactly as SvPixelFormatName writes it (letter case
// included); SV_IMAGE_FORMAT_NONE for "NONE" and any other text.
SV_IMAGE_FORMAT PixelFormatFromName(const std::string& name);

// The formats the platform streamer delivers: YUY2, UYVY, NV12 and MJPG.
inline bool IsCaptureFormat(int format) { return format >= SV_IMAGE_FORMAT_YUY2 && format <= SV_IMAGE_FORMAT_MJPG; }

}  // namespace sv
