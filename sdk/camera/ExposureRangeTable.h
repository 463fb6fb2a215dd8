#pragma once

// The exposure-range table ("SvExposure.yaml"): limits of the automatic
// exposure per product, sensor, output format and resolution, which replace the
// table defaults of the exposure-limit properties.

#include <functional>
#include <string>

namespace sv {

// Reads the current output format (width, height, "UYVY"/"MJPG"/"Unknown");
// 0 on success.
using SensorFormatReader = std::function<int(int& width, int& height, std::string& format)>;

// Looks `deviceName` up in the table at `path`: the first product key, then
// the first sensor key, that occurs in the name; then the current format (read
// only once product and sensor have matched) and the first range entry of that
// resolution. 0 with `min`/`max` set when an entry matches; -1 otherwise,
// leaving both untouched. A file that is not valid YAML, or an entry whose
// numbers are not integers, is logged and gives -1: the caller keeps its default.
int LookupExposureRange(const std::string& path, const std::string& deviceName,
                        const SensorFormatReader& readFormat, int& max, int& min);

// The same lookup over the text of a table; `source` names it in messages.
int LookupExposureRangeInText(const std::string& text, const std::string& source, const std::string& deviceName,
                              const SensorFormatReader& readFormat, int& max, int& min);

}  // namespace sv
