// One camera driven from several threads at once: frames beside stop, close
// and release; and a bounded stress run over two cameras and rediscovery that
// the ThreadSanitizer build runs too.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "camera/CameraFixture.h"
#include "platform/SimTestUtil.h"

using svtest::CameraTest;

namespace {

const char* const kSampleRequest = "\"op\":\"sample.request\"";

// A one-camera world on the wall clock whose device answers the first request
// and then never again: a frame request waits for real until something wakes it.
std::string SilentAfterOneFrame() {
    return svtest::OneDeviceWorld(R"([{"subtype": "YUY2", "width": 64, "height": 48, "fps": 30}])",
                                  R"("stallAfterFrames": 1)");
}

// Calls `onRequest` once the simulator has seen `count` frame requests.
class RequestWatch {
public:
    RequestWatch(sv::sim::SimBackend& backend, int count) : backend_(backend), wanted_(count) {
        backend_.SetTraceSink([this](const std::string& line) {
            if (line.find(kSampleRequest) == std::string::npos) return;
            std::lock_guard<std::mutex> lock(mutex_);
            ++seen_;
            cv_.notify_all();
        });
    }
    ~RequestWatch() { backend_.SetTraceSink(nullptr); }
    // Blocks until the wanted number of requests went out (bounded, in case
    // the library never sends them).
    bool Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, std::chrono::seconds(20), [this] { return seen_ >= wanted_; });
    }

private:
    sv::sim::SimBackend& backend_;
    const int wanted_;
    std::mutex mutex_;
    std::condition_variable cv_;
    int seen_ = 0;
};

class ConcurrentCamera : public CameraTest {
protected:
    // The silent camera, open and streaming (its one frame went to the start).
    std::shared_ptr<SvCamera> StreamingSilentCamera() {
        sv::sim::SimOptions options;
        options.simulatedClock = false;
        Install(sv::sim::SimBackend::FromJson(SilentAfterOneFrame(), "<string>", options));
        auto camera = Camera("Test Cam");
        std::vector<SvFormat> formats;
        EXPECT_EQ(SvOpen(camera), 0);
        EXPECT_EQ(SvGetFormatList(camera, formats), 0);
        if (!formats.empty()) {
            EXPECT_EQ(SvSetFormat(camera, formats[0]), 0);
            EXPECT_EQ(SvStartStreaming(camera), 0);
        }
        return camera;
    }

    // Runs a long frame request on another thread, waits until its request is
    // out, runs `interrupt`, and returns what the request answered and how
    // long it took on the wall clock.
    SV_CAPTURE_RESULT InterruptedGrab(std::shared_ptr<SvCamera> camera, const std::function<void()>& interrupt,
                                      std::chrono::milliseconds& took) {
        constexpr uint16_t kLongTimeoutMs = 30000;
        RequestWatch watch(*backend_, 1);
        SV_CAPTURE_RESULT result = SV_CAPTURE_SUCCESS;
        const auto start = std::chrono::steady_clock::now();
        std::thread grabber([&result, camera] {
            std::vector<uint8_t> buffer(64 * 48 * 2);
            int size = static_cast<int>(buffer.size());
            result = SvGetImage(camera, buffer.data(), &size, kLongTimeoutMs);
        });
        camera.reset();  // the grabber's copy is the one that counts now
        EXPECT_TRUE(watch.Wait()) << "the frame request never went out";
        interrupt();
        grabber.join();
        took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        EXPECT_LT(took.count(), kLongTimeoutMs) << "the waiting request was not woken";
        return result;
    }
};

TEST_F(ConcurrentCamera, StopOnAnotherThreadWakesAWaitingFrameRequestWhichFails) {
    auto camera = StreamingSilentCamera();
    std::chrono::milliseconds took{};
    EXPECT_EQ(InterruptedGrab(camera, [&] { EXPECT_EQ(SvStopStreaming(camera), 0); }, took), SV_CAPTURE_FAILED);
    // The stop re-made the reader: the format list is read from the new one.
    std::vector<SvFormat> formats;
    EXPECT_EQ(SvGetFormatList(camera, formats), 0);
    EXPECT_EQ(formats.size(), 1u);
}

TEST_F(ConcurrentCamera, CloseOnAnotherThreadWakesAWaitingFrameRequestWhichFails) {
    auto camera = StreamingSilentCamera();
    std::chrono::milliseconds took{};
    EXPECT_EQ(InterruptedGrab(camera, [&] { EXPECT_EQ(SvClose(camera), 0); }, took), SV_CAPTURE_FAILED);
    std::vector<uint8_t> buffer(64 * 48 * 2);
    int size = static_cast<int>(buffer.size());
    EXPECT_EQ(SvGetImage(camera, buffer.data(), &size, 10), SV_CAPTURE_FAILED) << "closed: no reader";
    // Open again: a new streamer that reads the device's formats.
    EXPECT_EQ(SvOpen(camera), 0);
    std::vector<SvFormat> formats;
    EXPECT_EQ(SvGetFormatList(camera, formats), 0);
    EXPECT_EQ(formats.size(), 1u);
}

TEST_F(ConcurrentCamera, TheLastReleaseOfTheCameraWhileAFrameIsRequestedIsTheRequestsOwn) {
    InstallDefault();
    for (int round = 0; round < 20; ++round) {
        auto camera = Camera("WebCam");
        ASSERT_EQ(SvOpen(camera), 0);
        SvFormat format;
        ASSERT_NO_FATAL_FAILURE(StartWithFormat(camera, SV_IMAGE_FORMAT_YUY2, 640, format));
        std::weak_ptr<SvCamera> watch = camera;
        std::thread grabber([camera]() mutable {
            std::vector<uint8_t> buffer(640 * 480 * 2);
            for (int i = 0; i < 3; ++i) {
                int size = static_cast<int>(buffer.size());
                EXPECT_EQ(SvGetImage(camera, buffer.data(), &size, 1000), SV_CAPTURE_SUCCESS);
            }
            camera.reset();
        });
        camera.reset();
        grabber.join();
        EXPECT_TRUE(watch.expired()) << "the camera dies with its last reference";
    }
}

// ---------------------------------------------------------------- stress

// Results each call may answer; anything else is a fault.
const std::set<int> kFrameResults = {SV_CAPTURE_SUCCESS, SV_CAPTURE_TIMEOUT, SV_CAPTURE_DEVICE_ERROR,
                                     SV_CAPTURE_FAILED};

bool ControlResult(int r) { return r == 0 || r == -1; }

// Close and open on one thread, frame and control calls on two others: each
// call takes its own reference to the camera's streamer and control under the
// camera's handle lock, which Close and Open take too when they swap them.
// Bounded, and run by the ThreadSanitizer build, which reports a swap made
// outside that lock as a data race on the handles.
TEST_F(CameraTest, CloseAndOpenBesideFrameAndControlCallsKeepTheHandlesConsistent) {
    InstallDefault();
    auto camera = Camera("WebCam");
    ASSERT_TRUE(camera);
    ASSERT_EQ(SvOpen(camera), 0);
    SvFormat format;
    ASSERT_NO_FATAL_FAILURE(StartWithFormat(camera, SV_IMAGE_FORMAT_YUY2, 640, format));

    constexpr int kCycles = 40;
    std::atomic<bool> done{false};
    std::atomic<int> undefined{0};
    std::atomic<int> frameCalls{0};
    std::atomic<int> controlCalls{0};
    std::thread frames([&] {
        std::vector<uint8_t> buffer(static_cast<std::size_t>(format.width) * format.height * 2);
        while (!done.load()) {
            int size = static_cast<int>(buffer.size());
            const int r = SvGetImage(camera, buffer.data(), &size, 5);
            if (kFrameResults.count(r) != 1) ++undefined;
            ++frameCalls;
        }
    });
    std::thread controls([&] {
        while (!done.load()) {
            long value = 0;
            int flag = 0;
            const int r = SvGetUVCImageProcessing(camera, SV_UVC_BRIGHTNESS, value, flag);
            if (!ControlResult(r)) ++undefined;
            ++controlCalls;
        }
    });
    for (int i = 0; i < kCycles; ++i) {
        const int framesBefore = frameCalls.load();
        const int controlsBefore = controlCalls.load();
        EXPECT_EQ(SvClose(camera), 0);
        EXPECT_EQ(SvOpen(camera), 0);
        // Let each of the other two threads make a call against each new handle pair.
        while (frameCalls.load() <= framesBefore + 1 || controlCalls.load() <= controlsBefore + 1) {
            std::this_thread::yield();
        }
    }
    done = true;
    frames.join();
    controls.join();
    EXPECT_EQ(undefined.load(), 0);

    // The camera still streams after the last reopen.
    SvFormat again;
    ASSERT_NO_FATAL_FAILURE(StartWithFormat(camera, SV_IMAGE_FORMAT_YUY2, 640, again));
    std::vector<uint8_t> buffer(static_cast<std::size_t>(again.width) * again.height * 2);
    int size = static_cast<int>(buffer.size());
    EXPECT_EQ(SvGetImage(camera, buffer.data(), &size, 1000), SV_CAPTURE_SUCCESS);
}


TEST_F(CameraTest, ManyThreadsOnTwoCamerasAndDiscoveryAnswerDefinedResults) {
    InstallDefault();
    auto kivo = Camera("KIVO");
    auto webcam = Camera("WebCam");
    ASSERT_TRUE(kivo && webcam);
    ASSERT_EQ(SvOpen(kivo), 0);
    ASSERT_EQ(SvOpen(webcam), 0);
    SvFormat kivoFormat;
    SvFormat webcamFormat;
    ASSERT_NO_FATAL_FAILURE(StartWithFormat(kivo, SV_IMAGE_FORMAT_UYVY, 0, kivoFormat));
    ASSERT_NO_FATAL_FAILURE(StartWithFormat(webcam, SV_IMAGE_FORMAT_YUY2, 640, webcamFormat));

    constexpr int kRounds = 60;
    std::atomic<int> undefined{0};
    std::mutex failuresMutex;
    std::vector<std::string> failures;
    auto note = [&](bool ok, const std::string& what, int result) {
        if (ok) return;
        ++undefined;
        std::lock_guard<std::mutex> lock(failuresMutex);
        failures.push_back(what + " answered " + std::to_string(result));
    };

    auto capture = [&](std::shared_ptr<SvCamera> camera, const SvFormat& format) {
        std::vector<uint8_t> buffer(static_cast<std::size_t>(format.width) * format.height * 2);
        for (int i = 0; i < kRounds * 2; ++i) {
            int size = static_cast<int>(buffer.size());
            const int r = SvGetImage(camera, buffer.data(), &size, 50);
            note(kFrameResults.count(r) == 1, "SvGetImage", r);
            if (r == SV_CAPTURE_SUCCESS) {
                note(size > 0 && static_cast<std::size_t>(size) <= buffer.size(), "frame size", size);
            }
        }
    };
    auto controls = [&](std::shared_ptr<SvCamera> camera) {
        for (int i = 0; i < kRounds; ++i) {
            int value = 0, flag = 0;
            note(ControlResult(SvSetISPImageProcessing(camera, SV_ISP_GAMMA, 20 + i % 10)), "set gamma", 0);
            note(ControlResult(SvGetISPImageProcessing(camera, SV_ISP_SATURATION, value, flag)), "get saturation", 0);
            std::string version;
            note(ControlResult(SvGetUSBFirmwareVersion(camera, version)), "firmware version", 0);
            long uvc = 0;
            note(ControlResult(SvGetUVCImageProcessing(camera, SV_UVC_BRIGHTNESS, uvc, flag)), "UVC brightness", 0);
        }
    };
    auto stopStart = [&](std::shared_ptr<SvCamera> camera) {
        for (int i = 0; i < kRounds; ++i) {
            const int stop = SvStopStreaming(camera);
            note(stop == 0 || stop == -1, "SvStopStreaming", stop);
            const int start = SvStartStreaming(camera);
            note(start <= 0, "SvStartStreaming", start);
        }
    };
    auto closeReopen = [&](std::shared_ptr<SvCamera> camera, SvFormat format) {
        for (int i = 0; i < kRounds / 4; ++i) {
            note(SvClose(camera) == 0, "SvClose", -1);
            const int open = SvOpen(camera);
            note(open == 0, "SvOpen", open);
            std::vector<SvFormat> formats;
            const int list = SvGetFormatList(camera, formats);
            note(list == 0 || list == -1, "SvGetFormatList", list);
            const int set = SvSetFormat(camera, format);
            note(set == 0 || set == -1, "SvSetFormat", set);
            const int start = SvStartStreaming(camera);
            note(start <= 0, "SvStartStreaming", start);
        }
    };
    auto rediscover = [&] {
        for (int i = 0; i < kRounds / 2; ++i) {
            std::vector<std::string> names;
            const int count = SvDiscoverCameraDevices(names);
            note(count == 3 && names.size() == 3u, "SvDiscoverCameraDevices", count);
            auto other = SvInitialCameraDevice(i % 3);
            note(other != nullptr, "SvInitialCameraDevice", i % 3);
        }
    };

    std::vector<std::thread> threads;
    threads.emplace_back(capture, kivo, kivoFormat);
    threads.emplace_back(capture, kivo, kivoFormat);
    threads.emplace_back(controls, kivo);
    threads.emplace_back(stopStart, kivo);
    threads.emplace_back(closeReopen, kivo, kivoFormat);
    threads.emplace_back(capture, webcam, webcamFormat);
    threads.emplace_back(stopStart, webcam);
    threads.emplace_back(rediscover);
    threads.emplace_back(rediscover);
    for (auto& t : threads) t.join();

    for (const auto& f : failures) ADD_FAILURE() << f;
    EXPECT_EQ(undefined.load(), 0);

    // Both cameras still work once the storm is over.
    for (auto& [camera, format] : {std::pair{kivo, kivoFormat}, std::pair{webcam, webcamFormat}}) {
        ASSERT_EQ(SvStopStreaming(camera), 0);
        ASSERT_EQ(SvSetFormat(camera, format), 0);
        ASSERT_EQ(SvStartStreaming(camera), 0);
        std::vector<uint8_t> buffer(static_cast<std::size_t>(format.width) * format.height * 2);
        int size = static_cast<int>(buffer.size());
        EXPECT_EQ(SvGetImage(camera, buffer.data(), &size, 1000), SV_CAPTURE_SUCCESS);
    }
}

}  // namespace
