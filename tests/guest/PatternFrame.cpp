// Writes the simulated cameras' test pattern frame N in a pixel format and
// size to a file: the bytes a software camera of the guest sends for that
// frame, for the checks to compare captured frames with.
// Usage: sv_guest_pattern FORMAT FRAME WIDTH HEIGHT FILE
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/sim/TestPattern.h"

int main(int argc, char** argv) {
    using sv::sim::PixelFormat;
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s YUY2|UYVY|NV12|MJPG FRAME WIDTH HEIGHT FILE\n", argv[0]);
        return 2;
    }
    const std::string name = argv[1];
    PixelFormat format = PixelFormat::YUY2;
    if (name == "UYVY") format = PixelFormat::UYVY;
    else if (name == "NV12") format = PixelFormat::NV12;
    else if (name == "MJPG") format = PixelFormat::MJPG;
    else if (name != "YUY2") return 2;
    const auto bytes = sv::sim::pattern::EncodeFrame(format, std::strtoull(argv[2], nullptr, 10),
                                                     static_cast<uint32_t>(std::atoi(argv[3])),
                                                     static_cast<uint32_t>(std::atoi(argv[4])));
    std::ofstream out(argv[5], std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return out ? 0 : 1;
}
