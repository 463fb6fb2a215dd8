// An application on the earlier interface: list the cameras, open one by
// index, list its formats, select the first YUY2 format, capture a few frames
// and read the brightness control.
//
// Usage: sv_legacy_capture [INDEX] [FRAMES]
// Try it without hardware: SORVANSDK_BACKEND=sim sv_legacy_capture 1 5
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sorvansdk/SorvanCam.h>

int main(int argc, char** argv) {
    const int index = argc > 1 ? std::atoi(argv[1]) : 0;
    const int frames = argc > 2 ? std::atoi(argv[2]) : 3;

    SorvanCam* cam = ScCreateSorvanCamDevice();
    if (cam == nullptr) return 1;
    std::vector<std::wstring> names;
    ScGetVideoDeviceList(cam, names);
    std::printf("%zu camera(s)\n", names.size());
    for (std::size_t i = 0; i < names.size(); ++i) std::printf("  %zu: %ls\n", i, names[i].c_str());

    if (ScOpen(cam, index) != 0) {
        std::fprintf(stderr, "cannot open camera %d\n", index);
        ScReleaseSorvanCamDevice(cam);
        return 1;
    }
    std::vector<SzFormat> formats;
    ScGetCaptureFormatList(cam, formats);
    const char* kinds[] = {"none", "YUY2", "UYVY", "NV12", "MJPG"};
    const SzFormat* chosen = nullptr;
    for (const auto& f : formats) {
        std::printf("  format %d: %s %dx%d @ %d\n", f.mediatypeIdx, kinds[f.format >= 0 && f.format <= 4 ? f.format : 0],
                    f.width, f.height, f.framerate);
        if (chosen == nullptr && f.format == 1) chosen = &f;
    }
    int status = 0;
    if (chosen == nullptr || ScSetCaptureFormat(cam, *chosen) != 0) {
        std::fprintf(stderr, "no YUY2 format to select\n");
        status = 1;
    } else {
        std::vector<uint8_t> frame(static_cast<std::size_t>(chosen->width) * chosen->height * 2);
        for (int i = 0; i < frames; ++i) {
            int size = static_cast<int>(frame.size());
            const int r = ScGetRawImageCapture(cam, frame.data(), &size, 2000);
            if (r != 0) {
                std::fprintf(stderr, "capture %d failed: %d\n", i, r);
                status = 1;
                break;
            }
            std::printf("frame %d: %d bytes\n", i, size);
        }
    }
    long value = 0;
    int automatic = 0;
    if (ScGetPropertyValue(cam, SZ_CAPTURE_BRIGHTNESS, &value, &automatic) == 0) {
        std::printf("brightness %ld%s\n", value, automatic ? " (auto)" : "");
    }
    char version[16];
    if (ScGetUSBFirmwareVersion(cam, version) == 0) std::printf("USB firmware %s\n", version);
    ScClose(cam);
    ScReleaseSorvanCamDevice(cam);
    return status;
}
