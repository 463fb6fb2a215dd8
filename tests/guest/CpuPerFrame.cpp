// Prints the CPU time this process spends per frame taking frames with
// SvGetImage from the first camera whose name holds the given text, at the
// given size in YUY2: the library's side of the leg's comparison with other
// V4L2 programs on the same node. Usage: sv_guest_cpu_per_frame NAME W H N
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "guest/GuestSupport.h"

int main(int argc, char** argv) {
    using namespace sv::guest;
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s NAME WIDTH HEIGHT FRAMES\n", argv[0]);
        return 2;
    }
    const std::string name = argv[1];
    const auto width = static_cast<uint16_t>(std::atoi(argv[2]));
    const auto height = static_cast<uint16_t>(std::atoi(argv[3]));
    const int frames = std::atoi(argv[4]);
    SvSetLogLevel(SV_LOG_LEVEL_OFF);  // standard output carries only the figure
    const Listed listed = WaitForCamera([&](const std::string& n) { return n.find(name) != std::string::npos; },
                                        std::chrono::milliseconds(10000));
    if (!listed.camera || SvOpen(listed.camera) != 0) {
        std::fprintf(stderr, "no camera named %s\n", name.c_str());
        return 1;
    }
    std::vector<SvFormat> formats;
    (void)SvGetFormatList(listed.camera, formats);
    const SvFormat* chosen = nullptr;
    for (const SvFormat& f : formats) {
        if (f.format == SV_IMAGE_FORMAT_YUY2 && f.width == width && f.height == height &&
            (chosen == nullptr || f.framerate > chosen->framerate)) {
            chosen = &f;
        }
    }
    if (chosen == nullptr || SvSetFormat(listed.camera, *chosen) != 0 || SvStartStreaming(listed.camera) != 0) {
        std::fprintf(stderr, "YUY2 %ux%u does not stream\n", width, height);
        return 1;
    }
    std::vector<uint8_t> frame(std::size_t{width} * height * 2);
    int size = static_cast<int>(frame.size());
    // The first frame pays for the stream's start; it is not counted.
    if (SvGetImage(listed.camera, frame.data(), &size, 10000) != SV_CAPTURE_SUCCESS) return 1;
    const double before = ProcessCpuSeconds();
    for (int n = 0; n < frames; ++n) {
        size = static_cast<int>(frame.size());
        if (SvGetImage(listed.camera, frame.data(), &size, 10000) != SV_CAPTURE_SUCCESS) {
            std::fprintf(stderr, "frame %d failed\n", n);
            return 1;
        }
    }
    const double spent = ProcessCpuSeconds() - before;
    (void)SvStopStreaming(listed.camera);
    (void)SvClose(listed.camera);
    std::printf("%.1f\n", spent / frames * 1e6);
    return 0;
}
