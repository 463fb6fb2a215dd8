// "SvExposure.yaml": the exposure-range lookup over the text of a table.

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "camera/ExposureRangeTable.h"

namespace {

struct Query {
    const char* name;
    int width;
    int height;
    const char* format;
};

// Cameras of the simulated machine in the formats their ISP reports.
constexpr Query kQueries[] = {
    {"KIVO-AR0234 Camera", 1920, 1080, "UYVY"},
    {"LIRA-OX05B Camera", 1920, 1080, "Unknown"},
    {"KIVO-AR0821 Camera", 3840, 2160, "MJPG"},
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    svfuzz::QuietLogs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const Query& q : kQueries) {
        int min = -1;
        int max = -1;
        const int result = sv::LookupExposureRangeInText(
            text, "<fuzz>", q.name,
            [&](int& w, int& h, std::string& f) {
                w = q.width;
                h = q.height;
                f = q.format;
                return 0;
            },
            max, min);
        if (result != 0 && result != -1) svfuzz::Broken("a lookup result other than 0 or -1");
        if (result != 0 && (min != -1 || max != -1)) svfuzz::Broken("a failed lookup changed the limits");
    }
    return 0;
}
