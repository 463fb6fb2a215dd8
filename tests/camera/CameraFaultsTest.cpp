// Busy, unplugged and silent devices; one outstanding request across time-outs.

#include "camera/CameraFixture.h"
#include "common/LogCapture.h"
#include "platform/CameraStreamer.h"
#include "platform/SimTestUtil.h"

using svtest::CameraTest;
using sv::test::LogCapture;

namespace {

std::string World(const std::string& extra) {
    return svtest::OneDeviceWorld(R"([{"subtype": "YUY2", "width": 64, "height": 48, "fps": 30}])", extra);
}

// A trace line of a frame request sent to the device.
const char* const kSampleRequest = "\"op\":\"sample.request\"";

class StreamingCamera : public CameraTest {
protected:
    std::shared_ptr<SvCamera> OpenStreaming(const std::string& extra, int expectStart = 0) {
        InstallWorld(World(extra));
        auto camera = Camera("Test Cam");
        EXPECT_EQ(SvOpen(camera), 0);
        std::vector<SvFormat> formats;
        EXPECT_EQ(SvGetFormatList(camera, formats), 0);
        if (formats.empty()) return camera;
        EXPECT_EQ(SvSetFormat(camera, formats[0]), 0);
        EXPECT_EQ(SvStartStreaming(camera), expectStart);
        return camera;
    }
    // Opened with its first format selected, not started; null on a failure.
    std::shared_ptr<SvCamera> OpenWithFormat(const std::string& extra) {
        InstallWorld(World(extra));
        auto camera = Camera("Test Cam");
        std::vector<SvFormat> formats;
        if (SvOpen(camera) != 0 || SvGetFormatList(camera, formats) != 0 || formats.empty() ||
            SvSetFormat(camera, formats[0]) != 0) {
            return nullptr;
        }
        return camera;
    }
    SV_CAPTURE_RESULT Grab(const std::shared_ptr<SvCamera>& camera, uint16_t timeout = 100) {
        int size = static_cast<int>(buffer_.size());
        return SvGetImage(camera, buffer_.data(), &size, timeout);
    }
    std::vector<uint8_t> buffer_ = std::vector<uint8_t>(64 * 48 * 2);
};

TEST_F(StreamingCamera, BusyDeviceRefusesTheStartWithTwo) {
    InstallWorld(World(R"("busy": true)"));
    auto camera = Camera("Test Cam");
    ASSERT_EQ(SvOpen(camera), 0);
    LogCapture capture;
    EXPECT_EQ(SvStartStreaming(camera), -2);
    EXPECT_TRUE(capture.Contains("] Camera may be in use by another application, errMsg = E_ACCESSDENIED"));
    EXPECT_TRUE(capture.Contains("] Camera is being used by another application"));
}

TEST_F(StreamingCamera, BusyThenReleasedRecoversWithStopAndStart) {
    auto backend = InstallWorld(World(""));
    auto camera = Camera("Test Cam");
    ASSERT_EQ(SvOpen(camera), 0);
    std::vector<SvFormat> formats;
    ASSERT_EQ(SvGetFormatList(camera, formats), 0);
    ASSERT_EQ(SvSetFormat(camera, formats[0]), 0);
    ASSERT_TRUE(backend->SetDeviceBusy("cam", true));
    EXPECT_EQ(SvStartStreaming(camera), -2);
    ASSERT_TRUE(backend->SetDeviceBusy("cam", false));
    ASSERT_EQ(SvStopStreaming(camera), 0);
    ASSERT_EQ(SvSetFormat(camera, formats[0]), 0);
    ASSERT_EQ(SvStartStreaming(camera), 0);
    EXPECT_EQ(Grab(camera), SV_CAPTURE_SUCCESS);
}

TEST_F(StreamingCamera, DeviceThatDisappearsAfterFramesStopsDelivering) {
    auto camera = OpenStreaming(R"("disappearAfterFrames": 3)");
    SV_CAPTURE_RESULT result = SV_CAPTURE_SUCCESS;
    int frames = 0;
    for (int i = 0; i < 10 && result == SV_CAPTURE_SUCCESS; ++i) {
        result = Grab(camera);
        if (result == SV_CAPTURE_SUCCESS) ++frames;
    }
    // Start took the first frame; two more arrive before the device goes.
    EXPECT_EQ(frames, 2);
    EXPECT_TRUE(result == SV_CAPTURE_FAILED || result == SV_CAPTURE_DEVICE_ERROR) << result;
    EXPECT_NE(Grab(camera), SV_CAPTURE_SUCCESS);
}

TEST_F(StreamingCamera, UnpluggedDeviceFailsWithoutHangingAndIsFoundAgainWhenBack) {
    auto camera = OpenStreaming("");
    ASSERT_EQ(Grab(camera), SV_CAPTURE_SUCCESS);
    ASSERT_TRUE(backend_->UnplugDevice("cam"));
    const SV_CAPTURE_RESULT result = Grab(camera);
    EXPECT_TRUE(result == SV_CAPTURE_FAILED || result == SV_CAPTURE_DEVICE_ERROR) << result;
    EXPECT_NE(Grab(camera), SV_CAPTURE_SUCCESS);

    // The old activation belongs to the unplugged device: stopping cannot
    // rebuild the reader, and the camera answers as broken, without hanging.
    EXPECT_EQ(SvStopStreaming(camera), -1);
    EXPECT_EQ(SvStartStreaming(camera), -1);
    EXPECT_EQ(Grab(camera), SV_CAPTURE_FAILED);

    // Plugged back in, the device is found again and streams.
    ASSERT_TRUE(backend_->PlugDevice("cam"));
    auto again = Camera("Test Cam");
    ASSERT_EQ(SvOpen(again), 0);
    SvFormat format;  // the world's only format
    ASSERT_NO_FATAL_FAILURE(StartWithFormat(again, SV_IMAGE_FORMAT_YUY2, 0, format));
    EXPECT_EQ(Grab(again), SV_CAPTURE_SUCCESS);
}

TEST_F(StreamingCamera, SilentDeviceTimesOutWithOneOutstandingRequest) {
    auto camera = OpenStreaming(R"("stallAfterFrames": 1)");
    svtest::TraceCapture trace(*backend_);
    const int64_t before = backend_->DeviceTimeUs();
    EXPECT_EQ(Grab(camera, 100), SV_CAPTURE_TIMEOUT);
    EXPECT_EQ(Grab(camera, 100), SV_CAPTURE_TIMEOUT);
    EXPECT_EQ(Grab(camera, 100), SV_CAPTURE_TIMEOUT);
    EXPECT_EQ(trace.Count({kSampleRequest}), 1) << "time-outs wait for the same request";
    EXPECT_GE(backend_->DeviceTimeUs() - before, 300000) << "each wait ran its time-out in device time";
}

TEST_F(StreamingCamera, NoRequestWhileNotStreamingAndStartStillWorksAfterwards) {
    InstallWorld(World(""));
    auto camera = Camera("Test Cam");
    ASSERT_EQ(SvOpen(camera), 0);
    std::vector<SvFormat> formats;
    ASSERT_EQ(SvGetFormatList(camera, formats), 0);
    ASSERT_EQ(SvSetFormat(camera, formats[0]), 0);
    svtest::TraceCapture trace(*backend_);
    EXPECT_EQ(Grab(camera, 100), SV_CAPTURE_TIMEOUT);
    EXPECT_EQ(trace.Count({kSampleRequest}), 0);
    // The time-out above had no request behind it, so the start asks for one.
    EXPECT_EQ(SvStartStreaming(camera), 0);
    EXPECT_EQ(Grab(camera), SV_CAPTURE_SUCCESS);
}

TEST_F(StreamingCamera, RefusedRequestAnswersTwo) {
    auto camera = OpenStreaming(R"("faults": [{"op": "readSample", "on": 2, "code": "E_ACCESSDENIED"}])");
    LogCapture capture;
    EXPECT_EQ(Grab(camera), SV_CAPTURE_DEVICE_ERROR);
    EXPECT_TRUE(capture.Contains("Camera access denied or invalid request - camera may be in use"));
}

TEST_F(StreamingCamera, FailedFirstFrameFailsTheStart) {
    auto camera = OpenStreaming(R"("stallAfterFrames": 0)", static_cast<int>(sv::platform::HR_E_PENDING));
    // The first request is still out: the retry waits for it instead of asking again.
    EXPECT_EQ(Grab(camera), SV_CAPTURE_TIMEOUT);
}

TEST_F(StreamingCamera, StartAgainAfterAFirstFrameTimeOutWaitsForTheRequestStillOut) {
    auto camera = OpenWithFormat(R"("stallAfterFrames": 0)");
    ASSERT_TRUE(camera);
    svtest::TraceCapture trace(*backend_);
    const int pending = static_cast<int>(sv::platform::HR_E_PENDING);
    ASSERT_EQ(SvStartStreaming(camera), pending);
    ASSERT_EQ(trace.Count({kSampleRequest}), 1);
    // The device never answers; the second start waits for the first request.
    EXPECT_EQ(SvStartStreaming(camera), pending);
    EXPECT_EQ(trace.Count({kSampleRequest}), 1) << "a start must not ask again while a request is out";
}

TEST_F(StreamingCamera, StartOnASilentDeviceFailsOnlyAfterTheFirstFrameTimeOut) {
    auto camera = OpenWithFormat(R"("stallAfterFrames": 0)");
    ASSERT_TRUE(camera);
    const int64_t before = backend_->DeviceTimeUs();
    EXPECT_EQ(SvStartStreaming(camera), static_cast<int>(sv::platform::HR_E_PENDING));
    const int64_t waited = backend_->DeviceTimeUs() - before;
    const int64_t timeoutUs = int64_t{UVCCameraStreamerWin::kFirstFrameTimeoutMs} * 1000;
    EXPECT_GE(waited, timeoutUs) << "the start gave up before its time-out";
    // A start waits once. The only other thing that moves device time here is
    // the request itself, which at most reaches the next frame's due time: one
    // frame interval of the world's 30 frames per second.
    const int64_t frameIntervalUs = 1000000 / 30 + 1;
    EXPECT_LT(waited, timeoutUs + frameIntervalUs) << "the start waited longer than its time-out";
}

TEST_F(StreamingCamera, FormatListStopsAtThePlatformErrorKeepsWhatWasReadAndAnswersZero) {
    InstallWorld(World(R"("faults": [{"op": "nativeType", "on": 1, "code": "E_FAIL"}])"));
    auto camera = Camera("Test Cam");
    ASSERT_EQ(SvOpen(camera), 0);
    std::vector<SvFormat> formats{SvFormat{}};
    // The list stops at the platform error; what was read stays, and the result is 0.
    EXPECT_EQ(SvGetFormatList(camera, formats), 0);
    EXPECT_TRUE(formats.empty());
}

TEST_F(StreamingCamera, FormatListKeepsTheFormatsReadBeforeThePlatformError) {
    InstallWorld(svtest::OneDeviceWorld(R"([{"subtype": "YUY2", "width": 64, "height": 48, "fps": 30},
                                            {"subtype": "MJPG", "width": 320, "height": 240, "fps": 30},
                                            {"subtype": "NV12", "width": 640, "height": 480, "fps": 30}])",
                                        R"("faults": [{"op": "nativeType", "on": 2, "code": "E_FAIL"}])"));
    auto camera = Camera("Test Cam");
    ASSERT_EQ(SvOpen(camera), 0);
    std::vector<SvFormat> formats;
    EXPECT_EQ(SvGetFormatList(camera, formats), 0);
    ASSERT_EQ(formats.size(), 1u) << "the list ends at the failed second type";
    EXPECT_EQ(formats[0].format, SV_IMAGE_FORMAT_YUY2);
    EXPECT_EQ(formats[0].width, 64);
    EXPECT_EQ(formats[0].height, 48);
}

}  // namespace
