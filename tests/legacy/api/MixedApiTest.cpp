// The current and the earlier interface in one process, on different cameras
// and threads: the KIVO streams through the Sv functions while a SorvanCam
// captures from the webcam and reads its controls. Run under ThreadSanitizer
// in CI.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <sorvansdk/SorvanCam.h>
#include <sorvansdk/SorvanSDK.h>

#include "legacy/api/LegacyTestSupport.h"

using namespace legacytest;

namespace {

constexpr int kRounds = 40;

TEST(MixedApi, CurrentAndEarlierInterfaceOnDifferentCamerasSideBySide) {
    ASSERT_TRUE(kEnvironment);
    std::atomic<int> currentFrames{0};
    std::atomic<int> legacyFrames{0};
    std::atomic<int> failures{0};

    std::thread current([&] {
        std::vector<std::string> names;
        if (SvDiscoverCameraDevices(names) < 0) {
            ++failures;
            return;
        }
        auto camera = SvInitialCameraDevice(kKivo);
        if (!camera || SvOpen(camera) != 0) {
            ++failures;
            return;
        }
        std::vector<SvFormat> formats;
        if (SvGetFormatList(camera, formats) != 0) ++failures;
        for (const auto& f : formats) {
            if (f.format == SV_IMAGE_FORMAT_YUY2 && f.width == 640) {
                if (SvSetFormat(camera, f) != 0) ++failures;
            }
        }
        if (SvStartStreaming(camera) != 0) ++failures;
        std::vector<uint8_t> frame(640 * 480 * 2);
        for (int i = 0; i < kRounds; ++i) {
            int size = static_cast<int>(frame.size());
            if (SvGetImage(camera, frame.data(), &size, 2000) == SV_CAPTURE_SUCCESS) ++currentFrames;
        }
        SvStopStreaming(camera);
        SvClose(camera);
    });

    std::thread earlier([&] {
        SorvanCam* cam = ScCreateSorvanCamDevice();
        if (!cam || ScOpen(cam, kWebcam) != 0) {
            ++failures;
            ScReleaseSorvanCamDevice(cam);
            return;
        }
        std::vector<SzFormat> formats;
        ScGetCaptureFormatList(cam, formats);
        for (const auto& f : formats) {
            if (f.format == 1 && f.width == 640 && ScSetCaptureFormat(cam, f) != 0) ++failures;
        }
        std::vector<uint8_t> frame(640 * 480 * 2);
        uint32_t last = 0;
        for (int i = 0; i < kRounds; ++i) {
            int size = static_cast<int>(frame.size());
            if (ScGetRawImageCapture(cam, frame.data(), &size, 2000) == 0) {
                const uint32_t counter = FrameCounter(frame, 640, 1);
                if (i > 0 && counter <= last) ++failures;
                last = counter;
                ++legacyFrames;
            }
            long value = 0;
            int flag = 0;
            if (ScGetPropertyValue(cam, SZ_CAPTURE_BRIGHTNESS, &value, &flag) != 0) ++failures;
        }
        ScClose(cam);
        ScReleaseSorvanCamDevice(cam);
    });

    current.join();
    earlier.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(currentFrames.load(), kRounds);
    EXPECT_EQ(legacyFrames.load(), kRounds);
}

}  // namespace
