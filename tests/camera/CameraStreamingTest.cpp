// Discovery, formats and frames of every simulated camera through the public interface.

#include <algorithm>
#include <filesystem>

#include "camera/CameraFixture.h"
#include "common/LogCapture.h"
#include "platform/FrameDecode.h"

using svtest::CameraTest;
using sv::test::LogCapture;

namespace {

const char* PixelName(SV_IMAGE_FORMAT f) {
    switch (f) {
    case SV_IMAGE_FORMAT_YUY2: return "YUY2";
    case SV_IMAGE_FORMAT_UYVY: return "UYVY";
    case SV_IMAGE_FORMAT_NV12: return "NV12";
    case SV_IMAGE_FORMAT_MJPG: return "MJPG";
    default: return "";
    }
}

std::size_t FrameBytes(const SvFormat& f) {
    const std::size_t pixels = std::size_t{f.width} * f.height;
    return f.format == SV_IMAGE_FORMAT_NV12 ? pixels * 3 / 2 : pixels * 2;
}

TEST_F(CameraTest, DiscoveryListsTheDefaultWorldWithSerialSuffixes) {
    InstallDefault();
    std::vector<std::string> names{"old"};
    ASSERT_EQ(SvDiscoverCameraDevices(names), 3);
    EXPECT_EQ(names, (std::vector<std::string>{"USB2.0 HD UVC WebCam", "KIVO-AR0234 Camera-9P4R8",
                                               "LIRA-OX05B Camera-5N1W6"}));

    SV_CAMERA_PRODUCT_TYPE type = SV_PRODUCT_TYPE_NONE;
    ASSERT_EQ(SvGetDeviceProductType(SvInitialCameraDevice(0), type), 0);
    EXPECT_EQ(type, SV_PRODUCT_TYPE_UVC);
    ASSERT_EQ(SvGetDeviceProductType(SvInitialCameraDevice(1), type), 0);
    EXPECT_EQ(type, SV_PRODUCT_TYPE_KIVO);
    ASSERT_EQ(SvGetDeviceProductType(SvInitialCameraDevice(2), type), 0);
    EXPECT_EQ(type, SV_PRODUCT_TYPE_LIRA);
    EXPECT_EQ(SvIsSorvanCamera(SvInitialCameraDevice(1)), 0);
}

TEST_F(CameraTest, RecordCarriesHardwareIdSpeedAndPath) {
    InstallDefault();
    struct Expect {
        const char* part;
        const char* hardwareId;
        SV_USB_DEVICE_SPEED speed;
    } cases[] = {{"WebCam", "vid_0c45&pid_636b", SV_USB_HIGH_SPEED},
                 {"KIVO", "vid_3f41&pid_0234", SV_USB_SUPER_SPEED},
                 // High speed in the extended record, SuperSpeed by the V2 flag.
                 {"LIRA", "vid_3f41&pid_5b05", SV_USB_SUPER_SPEED}};
    for (const auto& c : cases) {
        auto camera = Camera(c.part);
        ASSERT_TRUE(camera);
        std::string id;
        EXPECT_EQ(SvGetHardwareID(camera, id), 0);
        EXPECT_EQ(id, c.hardwareId);
        SV_USB_DEVICE_SPEED speed = SV_USB_LOW_SPEED;
        EXPECT_EQ(SvGetUSBDeviceSpeed(camera, speed), 0) << c.part;
        EXPECT_EQ(speed, c.speed) << c.part;
        std::string path;
        EXPECT_EQ(SvGetDevicePath(camera, path), 0);
        EXPECT_EQ(path.rfind("\\\\?\\usb#" + std::string(c.hardwareId) + "&mi_00#", 0), 0u) << path;
    }
}

TEST_F(CameraTest, CameraOnTheLastPortOfAHubReportsItsSpeed) {
    InstallWorld(R"({"devices": [
      {"id": "cam", "name": "Last Port Cam", "vendorId": "1234", "productId": "5678", "serial": "SN0042XYZ",
       "usb": {"hub": "hub", "port": 4, "speed": "SuperSpeed"},
       "formats": [{"subtype": "YUY2", "width": 64, "height": 48}]}],
      "usb": {"hubs": [{"id": "hub", "vendorId": "2109", "productId": "0817", "ports": 4,
                        "usb": {"hub": "root", "port": 3, "speed": "HighSpeed"}}]}})");
    auto camera = Camera("Last Port Cam");
    ASSERT_TRUE(camera);
    SV_USB_DEVICE_SPEED speed = SV_USB_LOW_SPEED;
    EXPECT_EQ(SvGetUSBDeviceSpeed(camera, speed), 0);
    EXPECT_EQ(speed, SV_USB_SUPER_SPEED) << "port 4 of the 4-port hub";
}

TEST_F(CameraTest, EveryCameraStreamsEveryPixelFormatWithAMovingPattern) {
    InstallDefault();
    for (const char* part : {"WebCam", "KIVO", "LIRA"}) {
        auto camera = Camera(part);
        ASSERT_TRUE(camera);
        ASSERT_EQ(SvOpen(camera), 0) << part;
        std::vector<SvFormat> formats;
        ASSERT_EQ(SvGetFormatList(camera, formats), 0) << part;
        // The subtype the library does not know is listed as format 0.
        ASSERT_GE(FindFormat(formats, SV_IMAGE_FORMAT_NONE), 0) << part;
        const SvFormat unknown = formats[static_cast<std::size_t>(FindFormat(formats, SV_IMAGE_FORMAT_NONE))];
        EXPECT_EQ(SvSetFormat(camera, unknown), -1);

        for (SV_IMAGE_FORMAT pixel : {SV_IMAGE_FORMAT_YUY2, SV_IMAGE_FORMAT_UYVY, SV_IMAGE_FORMAT_NV12,
                                      SV_IMAGE_FORMAT_MJPG}) {
            const int index = FindFormat(formats, pixel);
            ASSERT_GE(index, 0) << part << " " << PixelName(pixel);
            const SvFormat format = formats[static_cast<std::size_t>(index)];
            EXPECT_EQ(format.mediatypeIdx, index);
            ASSERT_EQ(SvSetFormat(camera, format), 0) << part << " " << PixelName(pixel);
            ASSERT_EQ(SvStartStreaming(camera), 0) << part << " " << PixelName(pixel);

            std::vector<uint8_t> buffer(FrameBytes(format) + 1024);
            uint64_t lastCounter = 0;
            for (int n = 0; n < 3; ++n) {
                int size = 0;
                ASSERT_EQ(SvGetImage(camera, buffer.data(), &size, 1000), SV_CAPTURE_SUCCESS)
                    << part << " " << PixelName(pixel) << " frame " << n;
                if (pixel != SV_IMAGE_FORMAT_MJPG) {
                    EXPECT_EQ(static_cast<std::size_t>(size), FrameBytes(format));
                }
                svtest::RgbImage image;
                std::string error;
                ASSERT_TRUE(svtest::DecodeFrame(PixelName(pixel), buffer.data(), static_cast<std::size_t>(size),
                                                format.width, format.height, image, error))
                    << error;
                const uint64_t counter = svtest::ReadCounter(image);
                if (n > 0) {
                    EXPECT_GT(counter, lastCounter) << part << " " << PixelName(pixel);
                }
                lastCounter = counter;
                // Below the counter band the first bar starts white at some column.
                const auto bottom = image.At(image.width / 2, image.height - 2);
                EXPECT_TRUE(bottom.r > 200 || bottom.g > 200 || bottom.b > 200 || (bottom.r < 40 && bottom.g < 40))
                    << "a bar colour is saturated";
            }
            EXPECT_EQ(SvStopStreaming(camera), 0);
        }
        EXPECT_EQ(SvClose(camera), 0);
    }
}

TEST_F(CameraTest, FrameDescriptorsAreNotOfferedOnAnOpenCamera) {
    InstallDefault();
    auto camera = Camera("WebCam");
    ASSERT_EQ(SvOpen(camera), 0);
    int fd = 0;
    EXPECT_EQ(SvGetImageFd(camera, &fd, 100), SV_CAPTURE_FAILED);
    EXPECT_EQ(SvReleaseImageFd(camera, fd), -1);
}

TEST_F(CameraTest, GetImageWithNullSizeStillCopiesTheFrame) {
    InstallDefault();
    auto camera = Camera("WebCam");
    ASSERT_EQ(SvOpen(camera), 0);
    SvFormat f;
    ASSERT_NO_FATAL_FAILURE(StartWithFormat(camera, SV_IMAGE_FORMAT_YUY2, 640, f));
    std::vector<uint8_t> buffer(FrameBytes(f), 0xEE);
    EXPECT_EQ(SvGetImage(camera, buffer.data(), nullptr, 1000), SV_CAPTURE_SUCCESS);
    EXPECT_NE(std::count(buffer.begin(), buffer.end(), 0xEE), static_cast<long>(buffer.size()));
}

TEST_F(CameraTest, AFrameLargerThanTheToldBufferIsRefusedAndKeptForTheRetry) {
    InstallDefault();
    auto camera = Camera("WebCam");
    ASSERT_EQ(SvOpen(camera), 0);
    SvFormat f;
    ASSERT_NO_FATAL_FAILURE(StartWithFormat(camera, SV_IMAGE_FORMAT_YUY2, 640, f));

    // A guard byte after the small buffer shows nothing is written past it.
    std::vector<uint8_t> small(1001, 0x5A);
    int size = 1000;
    {
        LogCapture capture;
        EXPECT_EQ(SvGetImage(camera, small.data(), &size, 1000), SV_CAPTURE_FAILED);
        EXPECT_TRUE(capture.Contains("does not fit the buffer of 1000 bytes"));
    }
    EXPECT_EQ(small[1000], 0x5A);
    EXPECT_EQ(static_cast<std::size_t>(size), FrameBytes(f)) << "the refusal tells the size the frame needs";
    const int64_t deliveredBefore = backend_->FramesDelivered("webcam");

    std::vector<uint8_t> big(FrameBytes(f));
    size = static_cast<int>(big.size());
    ASSERT_EQ(SvGetImage(camera, big.data(), &size, 1000), SV_CAPTURE_SUCCESS);
    EXPECT_EQ(static_cast<std::size_t>(size), FrameBytes(f));
    EXPECT_EQ(backend_->FramesDelivered("webcam"), deliveredBefore) << "the kept frame, not a new one";
}

// A frame refused for a small buffer is held for the caller's retry, but only
// for the stream it came from: after any of these steps the next frame is one
// of the format chosen afterwards (YUY2), never the held MJPG frame.
enum class HeldFrameStep { FormatChangeWhileStreaming, Stop, Close, Reopen };

std::string StepName(const testing::TestParamInfo<HeldFrameStep>& info) {
    switch (info.param) {
    case HeldFrameStep::FormatChangeWhileStreaming: return "FormatChangeWhileStreaming";
    case HeldFrameStep::Stop: return "Stop";
    case HeldFrameStep::Close: return "Close";
    case HeldFrameStep::Reopen: return "Reopen";
    }
    return "";
}

class HeldFrameTest : public CameraTest, public testing::WithParamInterface<HeldFrameStep> {};

TEST_P(HeldFrameTest, AFrameHeldForARetryIsNeverHandedOutAfterTheStep) {
    InstallDefault();
    auto camera = Camera("WebCam");
    ASSERT_EQ(SvOpen(camera), 0);
    SvFormat mjpg;
    std::vector<SvFormat> formats;
    ASSERT_NO_FATAL_FAILURE(StartWithFormat(camera, SV_IMAGE_FORMAT_MJPG, 640, mjpg, &formats));
    const int yuy2Index = FindFormat(formats, SV_IMAGE_FORMAT_YUY2, 640);
    ASSERT_GE(yuy2Index, 0);
    const SvFormat yuy2 = formats[static_cast<std::size_t>(yuy2Index)];

    std::vector<uint8_t> small(16);
    int size = static_cast<int>(small.size());
    ASSERT_EQ(SvGetImage(camera, small.data(), &size, 1000), SV_CAPTURE_FAILED);
    ASSERT_GT(size, 16) << "an MJPG frame is held for the retry";

    SvFormat chosen;
    switch (GetParam()) {
    case HeldFrameStep::FormatChangeWhileStreaming:
        ASSERT_EQ(SvSetFormat(camera, yuy2), 0);
        break;
    case HeldFrameStep::Stop:
        ASSERT_EQ(SvStopStreaming(camera), 0);
        ASSERT_NO_FATAL_FAILURE(StartWithFormat(camera, SV_IMAGE_FORMAT_YUY2, 640, chosen));
        break;
    case HeldFrameStep::Close:
        ASSERT_EQ(SvClose(camera), 0);
        ASSERT_EQ(SvOpen(camera), 0);
        ASSERT_NO_FATAL_FAILURE(StartWithFormat(camera, SV_IMAGE_FORMAT_YUY2, 640, chosen));
        break;
    case HeldFrameStep::Reopen:
        ASSERT_EQ(SvOpen(camera), 0);
        ASSERT_NO_FATAL_FAILURE(StartWithFormat(camera, SV_IMAGE_FORMAT_YUY2, 640, chosen));
        break;
    }

    std::vector<uint8_t> frame(FrameBytes(yuy2));
    size = static_cast<int>(frame.size());
    ASSERT_EQ(SvGetImage(camera, frame.data(), &size, 1000), SV_CAPTURE_SUCCESS);
    EXPECT_FALSE(frame[0] == 0xFF && frame[1] == 0xD8) << "the held JPEG frame came out";
    ASSERT_EQ(static_cast<std::size_t>(size), FrameBytes(yuy2));
    svtest::RgbImage image;
    std::string error;
    EXPECT_TRUE(svtest::DecodeFrame("YUY2", frame.data(), frame.size(), yuy2.width, yuy2.height, image, error))
        << error;
    EXPECT_EQ(SvStopStreaming(camera), 0);
}

INSTANTIATE_TEST_SUITE_P(Steps, HeldFrameTest,
                         testing::Values(HeldFrameStep::FormatChangeWhileStreaming, HeldFrameStep::Stop,
                                         HeldFrameStep::Close, HeldFrameStep::Reopen),
                         StepName);

TEST_F(CameraTest, ACallerThatReusesItsSizeVariableGetsEveryCompressedFrameInOrder) {
    // A caller that keeps one `size` variable across calls passes the last
    // frame's size as the next capacity. On a compressed stream the next frame
    // is often larger: it is refused with the size it needs, and the retry
    // with a buffer that large gets that same frame.
    InstallDefault();
    auto camera = Camera("WebCam");
    ASSERT_EQ(SvOpen(camera), 0);
    SvFormat f;
    ASSERT_NO_FATAL_FAILURE(StartWithFormat(camera, SV_IMAGE_FORMAT_MJPG, 640, f));
    const int64_t deliveredAtStart = backend_->FramesDelivered("webcam");

    constexpr std::size_t kGuard = 64;
    constexpr uint8_t kGuardByte = 0xA5;
    std::vector<uint8_t> buffer(1000 + kGuard, kGuardByte);
    int size = 1000;
    int received = 0;
    int refusals = 0;
    uint64_t lastCounter = 0;
    while (received < 40) {
        ASSERT_LT(refusals, 40) << "refused again and again";
        const std::size_t capacity = static_cast<std::size_t>(size);
        buffer.assign(capacity + kGuard, kGuardByte);
        const SV_CAPTURE_RESULT r = SvGetImage(camera, buffer.data(), &size, 1000);
        for (std::size_t i = capacity; i < buffer.size(); ++i) {
            ASSERT_EQ(buffer[i], kGuardByte) << "written past the buffer";
        }
        if (r == SV_CAPTURE_FAILED) {
            ++refusals;
            ASSERT_GT(static_cast<std::size_t>(size), capacity) << "a refusal names a larger size";
            continue;
        }
        ASSERT_EQ(r, SV_CAPTURE_SUCCESS);
        ASSERT_LE(static_cast<std::size_t>(size), capacity);
        svtest::RgbImage image;
        std::string error;
        ASSERT_TRUE(svtest::DecodeFrame("MJPG", buffer.data(), static_cast<std::size_t>(size), f.width, f.height,
                                        image, error))
            << error;
        const uint64_t counter = svtest::ReadCounter(image);
        if (received > 0) {
            EXPECT_GT(counter, lastCounter) << "frames arrive in order";
        }
        lastCounter = counter;
        ++received;
    }
    EXPECT_GT(refusals, 0) << "the stream never outgrew the reused size; the test proves nothing";
    EXPECT_EQ(backend_->FramesDelivered("webcam") - deliveredAtStart, received) << "no delivered frame is lost";
}

TEST_F(CameraTest, SetFormatWithASizeTheTypeDoesNotHaveFails) {
    InstallDefault();
    auto camera = Camera("KIVO");
    ASSERT_EQ(SvOpen(camera), 0);
    std::vector<SvFormat> formats;
    ASSERT_EQ(SvGetFormatList(camera, formats), 0);
    SvFormat wrong = formats[0];
    wrong.width = 800;
    LogCapture capture;
    EXPECT_EQ(SvSetFormat(camera, wrong), -1);
    EXPECT_TRUE(capture.Contains("] SetFrameSize Fail!"));
}

TEST_F(CameraTest, StopThenStartWithoutSetFormatStreamsTheReadersFirstType) {
    InstallDefault();
    auto camera = Camera("KIVO");
    ASSERT_EQ(SvOpen(camera), 0);
    std::vector<SvFormat> formats;
    SvFormat small;
    ASSERT_NO_FATAL_FAILURE(StartWithFormat(camera, SV_IMAGE_FORMAT_YUY2, 640, small, &formats));
    std::vector<uint8_t> buffer(FrameBytes(formats[0]) + 16);
    int size = 0;
    ASSERT_EQ(SvGetImage(camera, buffer.data(), &size, 1000), SV_CAPTURE_SUCCESS);
    EXPECT_EQ(static_cast<std::size_t>(size), FrameBytes(small));

    ASSERT_EQ(SvStopStreaming(camera), 0);
    ASSERT_EQ(SvStartStreaming(camera), 0);
    size = 0;
    ASSERT_EQ(SvGetImage(camera, buffer.data(), &size, 1000), SV_CAPTURE_SUCCESS);
    EXPECT_EQ(static_cast<std::size_t>(size), FrameBytes(formats[0])) << "the new reader starts at native type 0";
}

TEST_F(CameraTest, OpenTwiceCloseThenOpenAndCloseUnopened) {
    InstallDefault();
    auto camera = Camera("WebCam");
    EXPECT_EQ(SvClose(camera), 0);
    std::vector<SvFormat> formats;
    EXPECT_EQ(SvGetFormatList(camera, formats), -1) << "no streamer before Open";
    ASSERT_EQ(SvOpen(camera), 0);
    ASSERT_EQ(SvOpen(camera), 0);
    ASSERT_EQ(SvGetFormatList(camera, formats), 0);
    EXPECT_EQ(formats.size(), 8u);
    EXPECT_EQ(SvClose(camera), 0);
    EXPECT_EQ(SvStartStreaming(camera), -1);
    ASSERT_EQ(SvOpen(camera), 0);
    ASSERT_EQ(SvSetFormat(camera, formats[2]), 0);
    ASSERT_EQ(SvStartStreaming(camera), 0);
    std::vector<uint8_t> buffer(FrameBytes(formats[2]));
    int size = 0;
    EXPECT_EQ(SvGetImage(camera, buffer.data(), &size, 1000), SV_CAPTURE_SUCCESS);
}

TEST_F(CameraTest, AFailedReopenLeavesTheCameraClosedAndConsistent) {
    auto backend = InstallDefault();
    auto camera = Camera("WebCam");
    ASSERT_EQ(SvOpen(camera), 0);
    long value = 0;
    int flag = 0;
    ASSERT_EQ(SvGetUVCImageProcessing(camera, SV_UVC_BRIGHTNESS, value, flag), 0);

    sv::sim::FaultRule fault;
    fault.op = "createReader";
    fault.on = 2;  // occurrences count from the world's start: the reopen's
    fault.code = sv::platform::HR_E_FAIL;
    ASSERT_TRUE(backend->AddFault("webcam", fault));
    {
        LogCapture capture;
        EXPECT_EQ(SvOpen(camera), -1);
        EXPECT_TRUE(capture.Contains("] Failed to create streamer"));
    }
    // No control without its streamer: controls and frames answer as closed.
    EXPECT_EQ(SvGetUVCImageProcessing(camera, SV_UVC_BRIGHTNESS, value, flag), -1);
    EXPECT_EQ(flag, -1);
    std::vector<uint8_t> buffer(16);
    EXPECT_EQ(SvGetImage(camera, buffer.data(), nullptr, 10), SV_CAPTURE_FAILED);
    // The fault was one-off: opening again works.
    EXPECT_EQ(SvOpen(camera), 0);
    EXPECT_EQ(SvGetUVCImageProcessing(camera, SV_UVC_BRIGHTNESS, value, flag), 0);
}

TEST_F(CameraTest, IndexOutOfRangeAfterDiscovery) {
    InstallDefault();
    LogCapture capture;
    EXPECT_EQ(SvInitialCameraDevice(3), nullptr);
    EXPECT_TRUE(capture.Contains("Device index out of range: 3, size: 3"));
}

TEST_F(CameraTest, WithoutConfigurationEveryCameraIsGeneric) {
    InstallDefault();
    sv::test::SetEnv("SORVANSDK_CONFIG_PATH", "/nonexistent");
    sv::ResetCameraManagerForTesting();
    // No other candidate may hold a configuration for this to hold; skip otherwise.
    for (const auto& p : sv::GetConfigCandidatePaths("SvConfig")) {
        std::error_code ec;
        if (std::filesystem::exists(p, ec)) GTEST_SKIP() << p << " exists";
    }
    std::vector<std::string> names;
    ASSERT_EQ(SvDiscoverCameraDevices(names), 3);
    EXPECT_EQ(names[1], "KIVO-AR0234 Camera") << "generic cameras get no serial suffix";
    EXPECT_EQ(SvIsSorvanCamera(SvInitialCameraDevice(1)), -1);
}

}  // namespace
