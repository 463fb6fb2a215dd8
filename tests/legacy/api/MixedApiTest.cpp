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

// The shipped configuration, which names the maker's cameras, set before the
// library first reads it (before main, like the simulated machine).
const bool kConfiguration = [] {
    SetEnv("SORVANSDK_CONFIG_PATH", SORVANSDK_CONFIG_DIR);
    return true;
}();

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

// One KIVO opened through both interfaces at once, a register read from each
// on its own thread. A read is a SET_CUR of the request and a GET_CUR of the
// answer through the device's single packet buffer; the two interfaces keep
// separate objects for the camera, so only a lock per device keeps one
// thread's answer from reaching the other.
TEST(MixedApi, RegisterReadsOfBothInterfacesOnOneCameraGetTheirOwnAnswers) {
    ASSERT_TRUE(kEnvironment);
    ASSERT_TRUE(kConfiguration);
    std::vector<std::string> names;
    ASSERT_GT(SvDiscoverCameraDevices(names), kKivo);
    auto camera = SvInitialCameraDevice(kKivo);
    ASSERT_TRUE(camera);
    ASSERT_EQ(SvOpen(camera), 0);
    SorvanCam* cam = ScCreateSorvanCamDevice();
    ASSERT_NE(cam, nullptr);
    ASSERT_EQ(ScOpen(cam, kKivo), 0);

    // Two registers of the ISP with distinct values, written through each
    // interface and read back once before the race.
    constexpr uint16_t kCurrentRegister = 0x313E;
    constexpr uint16_t kEarlierRegister = 0x3150;
    constexpr uint16_t kCurrentValue = 0x1234;
    constexpr uint16_t kEarlierValue = 0x4321;
    ASSERT_EQ(SvAP1302I2CWrite(camera, kCurrentRegister, kCurrentValue), 0);
    ASSERT_EQ(ScUVC_AP1302_I2C_Write(cam, kEarlierRegister, kEarlierValue), 0);
    uint16_t value = 0;
    ASSERT_EQ(SvAP1302I2CRead(camera, kCurrentRegister, value), 0);
    ASSERT_EQ(value, kCurrentValue);
    ASSERT_EQ(ScUVC_AP1302_I2C_Read(cam, kEarlierRegister, &value), 0);
    ASSERT_EQ(value, kEarlierValue);

    constexpr int kReads = 5000;
    // Both threads start their reads together, so the two runs overlap.
    std::atomic<int> ready{0};
    auto startTogether = [&ready] {
        ++ready;
        while (ready.load() < 2) std::this_thread::yield();
    };
    std::atomic<int> currentWrong{0};
    std::atomic<int> currentRead{0};
    std::atomic<int> earlierWrong{0};
    std::atomic<int> earlierRead{0};
    std::thread current([&] {
        startTogether();
        for (int i = 0; i < kReads; ++i) {
            uint16_t v = 0;
            if (SvAP1302I2CRead(camera, kCurrentRegister, v) != 0) continue;
            ++currentRead;
            if (v != kCurrentValue) ++currentWrong;
        }
    });
    std::thread earlier([&] {
        startTogether();
        for (int i = 0; i < kReads; ++i) {
            uint16_t v = 0;
            if (ScUVC_AP1302_I2C_Read(cam, kEarlierRegister, &v) != 0) continue;
            ++earlierRead;
            if (v != kEarlierValue) ++earlierWrong;
        }
    });
    current.join();
    earlier.join();
    EXPECT_EQ(currentWrong.load(), 0) << "of " << currentRead.load() << " reads through the current interface";
    EXPECT_EQ(earlierWrong.load(), 0) << "of " << earlierRead.load() << " reads through the earlier interface";
    // Every read goes through: nothing here fails a transfer.
    EXPECT_EQ(currentRead.load(), kReads);
    EXPECT_EQ(earlierRead.load(), kReads);

    ScClose(cam);
    ScReleaseSorvanCamDevice(cam);
    SvClose(camera);
}
