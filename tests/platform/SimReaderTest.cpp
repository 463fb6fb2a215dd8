// The asynchronous reader of the simulator: one callback per request on a
// worker thread, frames with the test pattern in every pixel format, pacing by
// device time, flush and the reader's end.

#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "platform/FrameDecode.h"
#include "platform/SimTestUtil.h"
#include "platform/backend/MfIds.h"
#include "platform/sim/SimBackend.h"

namespace {

using namespace sv::platform;
using sv::sim::SimBackend;

TEST(SimReader, EveryRequestEndsInOneCallbackOnAWorkerThread) {
    auto backend = SimBackend::Default();
    auto dev = svtest::Open(*backend, 0);
    ASSERT_TRUE(dev.reader);
    ASSERT_EQ(svtest::SelectType(*dev.reader, 2), HR_S_OK);  // YUY2 640x480 30 fps
    for (int i = 0; i < 5; ++i) ASSERT_EQ(dev.reader->ReadSample(mf::MF_SOURCE_READER_FIRST_VIDEO_STREAM, 0), HR_S_OK);
    ASSERT_TRUE(dev.callback->WaitFor(5));
    // Nothing else is pending: a further wait brings no other callback.
    dev.callback->WaitOne(100);
    const auto deliveries = dev.callback->Deliveries();
    ASSERT_EQ(deliveries.size(), 5u);
    std::set<std::thread::id> threads;
    for (size_t i = 0; i < deliveries.size(); ++i) {
        const auto& d = deliveries[i];
        EXPECT_EQ(d.status, HR_S_OK);
        EXPECT_EQ(d.flags, 0u);
        EXPECT_EQ(d.stream, 0u);
        EXPECT_TRUE(d.hadSample);
        EXPECT_EQ(d.bytes.size(), 640u * 480 * 2);
        EXPECT_NE(d.thread, std::this_thread::get_id());
        threads.insert(d.thread);
        if (i > 0) {
            // 30 frames per second in 100-ns units.
            EXPECT_NEAR(static_cast<double>(d.timestamp - deliveries[i - 1].timestamp), 333333.0, 1.0);
        }
    }
    EXPECT_EQ(threads.size(), 1u);
}

TEST(SimReader, RequestsFromInsideTheCallbackAreServed) {
    // A callback that asks for the next frame itself, three times.
    struct Chain : svtest::Collector {
        using Collector::Collector;
        std::shared_ptr<SourceReader> reader;
        std::atomic<int> left{3};
        void OnReadSample(HResult status, uint32_t stream, uint32_t flags, int64_t ts,
                          const std::shared_ptr<Sample>& sample) override {
            if (--left > 0) reader->ReadSample(0, 0);
            Collector::OnReadSample(status, stream, flags, ts, sample);
        }
    };
    auto backend = SimBackend::Default();
    svtest::OpenDevice dev;
    ASSERT_EQ(svtest::ActivateSource(*backend, 0, dev), HR_S_OK);
    auto chain = std::make_shared<Chain>(backend->NewEvent());
    std::shared_ptr<SourceReader> reader;
    ASSERT_EQ(dev.source->CreateSourceReader(chain, reader), HR_S_OK);
    chain->reader = reader;
    ASSERT_EQ(reader->ReadSample(0, 0), HR_S_OK);
    ASSERT_TRUE(chain->WaitFor(3));
    EXPECT_EQ(chain->Count(), 3u);
    chain->reader.reset();
}

struct FormatCase {
    size_t device;
    uint32_t type;
    const char* format;
    uint32_t width, height;
    int tolerance;
};

void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << c.format << " " << c.width << "x" << c.height << " (device " << c.device << ", type " << c.type << ")";
}

class SimFrames : public ::testing::TestWithParam<FormatCase> {};

// Bars as documented: eight bars of width/8, moving left by 2*max(1, bar/16) per frame.
int ExpectedBar(uint64_t frame, uint32_t x, uint32_t width, bool& nearEdge) {
    const uint32_t bar = width / 8;
    const uint32_t step = 2 * std::max(1u, bar / 16);
    const uint64_t pos = (x + frame * step) % (8ull * bar);
    nearEdge = pos % bar < 3 || pos % bar > bar - 4;
    return static_cast<int>(pos / bar);
}

TEST_P(SimFrames, ShowTheMovingPatternWithTheFrameNumber) {
    const FormatCase c = GetParam();
    const svtest::RgbPixel bars[8] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                      {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
    auto backend = SimBackend::Default();
    auto dev = svtest::Open(*backend, c.device);
    ASSERT_TRUE(dev.reader);
    ASSERT_EQ(svtest::SelectType(*dev.reader, c.type), HR_S_OK);
    for (uint64_t frame = 0; frame < 3; ++frame) {
        SCOPED_TRACE(frame);
        ASSERT_EQ(dev.reader->ReadSample(0, 0), HR_S_OK);
        ASSERT_TRUE(dev.callback->WaitOne());
        const auto d = dev.callback->Deliveries().back();
        ASSERT_EQ(d.status, HR_S_OK);
        svtest::RgbImage image;
        std::string error;
        ASSERT_TRUE(svtest::DecodeFrame(c.format, d.bytes.data(), d.bytes.size(), c.width, c.height, image, error))
            << error;
        EXPECT_EQ(svtest::ReadCounter(image), frame);
        int checked = 0;
        for (uint32_t x = 1; x < c.width; x += 7) {
            bool nearEdge = false;
            const int bar = ExpectedBar(frame, x, c.width, nearEdge);
            if (nearEdge) continue;
            for (uint32_t y : {c.height / 2, c.height - 1}) {
                const auto got = image.At(x, y);
                EXPECT_TRUE(svtest::Near(got, bars[bar], c.tolerance))
                    << "x " << x << " y " << y << ": got " << got.r << "," << got.g << "," << got.b << " expected bar "
                    << bar;
                ++checked;
            }
        }
        EXPECT_GT(checked, 50);
    }
}

INSTANTIATE_TEST_SUITE_P(
    DefaultWorld, SimFrames,
    ::testing::Values(FormatCase{0, 1, "MJPG", 640, 480, 40}, FormatCase{0, 2, "YUY2", 640, 480, 6},
                      FormatCase{0, 5, "UYVY", 640, 480, 6}, FormatCase{0, 6, "NV12", 640, 480, 6},
                      FormatCase{0, 7, "RGB24", 640, 480, 0}, FormatCase{1, 5, "NV12", 640, 480, 6},
                      FormatCase{1, 1, "UYVY", 1280, 720, 6}, FormatCase{2, 7, "MJPG", 1280, 720, 40}),
    [](const ::testing::TestParamInfo<FormatCase>& p) {
        return std::string(p.param.format) + "_dev" + std::to_string(p.param.device) + "_type" +
               std::to_string(p.param.type);
    });

TEST(SimReader, FramesFollowDeviceTime) {
    auto backend = SimBackend::Default();
    auto dev = svtest::Open(*backend, 0);
    ASSERT_EQ(svtest::SelectType(*dev.reader, 2), HR_S_OK);  // 30 fps
    auto grab = [&]() {
        EXPECT_EQ(dev.reader->ReadSample(0, 0), HR_S_OK);
        EXPECT_TRUE(dev.callback->WaitOne());
        const auto d = dev.callback->Deliveries().back();
        svtest::RgbImage image;
        std::string error;
        EXPECT_TRUE(svtest::DecodeFrame("YUY2", d.bytes.data(), d.bytes.size(), 640, 480, image, error)) << error;
        return std::make_pair(svtest::ReadCounter(image), d.timestamp);
    };
    const auto first = grab();
    const int64_t start = backend->DeviceTimeUs();
    for (int i = 0; i < 29; ++i) grab();
    // 29 frame periods of device time passed, none of wall time was waited.
    EXPECT_NEAR(static_cast<double>(backend->DeviceTimeUs() - start), 29 * 1e6 / 30, 2.0);
    // A pause of one second: the camera went on, the frames in between are gone.
    backend->Sleep(1000);
    const auto later = grab();
    EXPECT_EQ(first.first, 0u);
    EXPECT_GE(later.first, 59u);
    EXPECT_LE(later.first, 60u);
    EXPECT_NEAR(static_cast<double>(later.second - first.second), static_cast<double>(later.first) * 1e7 / 30, 10.0);
}

TEST(SimReader, WithoutFrameRateLimitTimeStandsStill) {
    auto backend = SimBackend::FromJson(
        svtest::OneDeviceWorld(R"([{"subtype": "NV12", "width": 64, "height": 48, "fps": 5}])").replace(0, 1, R"({"frameRateLimit": false,)"));
    ASSERT_TRUE(backend->LoadError().empty()) << backend->LoadError();
    auto dev = svtest::Open(*backend, 0);
    const int64_t start = backend->DeviceTimeUs();
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(dev.reader->ReadSample(0, 0), HR_S_OK);
        ASSERT_TRUE(dev.callback->WaitOne());
    }
    EXPECT_EQ(backend->DeviceTimeUs(), start);
    svtest::RgbImage image;
    std::string error;
    const auto d = dev.callback->Deliveries().back();
    ASSERT_TRUE(svtest::DecodeFrame("NV12", d.bytes.data(), d.bytes.size(), 64, 48, image, error)) << error;
    EXPECT_EQ(svtest::ReadCounter(image), 9u);
}

TEST(SimReader, RealClockWorldDeliversToo) {
    auto backend = SimBackend::FromJson(
        svtest::OneDeviceWorld(R"([{"subtype": "UYVY", "width": 64, "height": 48}])").replace(0, 1, R"({"clock": "real", "frameRateLimit": false,)"));
    ASSERT_TRUE(backend->LoadError().empty()) << backend->LoadError();
    EXPECT_FALSE(backend->SimulatedClock());
    auto dev = svtest::Open(*backend, 0);
    ASSERT_EQ(dev.reader->ReadSample(0, 0), HR_S_OK);
    ASSERT_TRUE(dev.callback->WaitOne(10000));
    EXPECT_EQ(dev.callback->Deliveries().front().bytes.size(), 64u * 48 * 2);
}

TEST(SimClockEvents, AWaitWithNothingPendingTimesOutAtOnceInDeviceTime) {
    auto backend = SimBackend::Default();
    auto event = backend->NewEvent();
    const int64_t before = backend->DeviceTimeUs();
    EXPECT_EQ(event->Wait(2500), WaitResult::TimedOut);
    EXPECT_EQ(backend->DeviceTimeUs() - before, 2'500'000);
    event->Set();
    EXPECT_EQ(event->Wait(10), WaitResult::Signaled);
    EXPECT_EQ(event->Wait(10), WaitResult::TimedOut) << "auto-reset";
    backend->Sleep(40);
    EXPECT_EQ(backend->NowMs(), static_cast<uint64_t>((before + 2'500'000 + 10'000 + 40'000) / 1000));
}

// A world whose camera accepts requests but never answers them.
std::string StalledWorld() {
    return svtest::OneDeviceWorld(R"([{"subtype": "YUY2", "width": 64, "height": 48}])", R"("stallAfterFrames": 0)");
}

TEST(SimReader, FlushDropsPendingRequestsAndReportsOnce) {
    auto backend = SimBackend::FromJson(StalledWorld());
    auto dev = svtest::Open(*backend, 0);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(dev.reader->ReadSample(0, 0), HR_S_OK);
    ASSERT_EQ(dev.reader->Flush(mf::MF_SOURCE_READER_ALL_STREAMS), HR_S_OK);
    ASSERT_TRUE(dev.callback->WaitOne());  // the flush notice
    EXPECT_FALSE(dev.callback->WaitOne(500));
    EXPECT_EQ(dev.callback->Flushes(), 1);
    EXPECT_EQ(dev.callback->Count(), 0u);
    EXPECT_EQ(dev.reader->Flush(7), HR_MF_E_INVALIDSTREAMNUMBER);
}

TEST(SimReader, ReleasingAReaderDropsItsRequests) {
    auto backend = SimBackend::FromJson(StalledWorld());
    auto dev = svtest::Open(*backend, 0);
    ASSERT_EQ(dev.reader->ReadSample(0, 0), HR_S_OK);
    dev.reader.reset();  // joins the worker; no callback follows
    EXPECT_FALSE(dev.callback->WaitOne(100));
    EXPECT_EQ(dev.callback->Count(), 0u);
}

TEST(SimReader, AReaderMayBeReleasedFromItsOwnCallback) {
    struct SelfRelease : svtest::Collector {
        using Collector::Collector;
        std::shared_ptr<SourceReader> reader;
        void OnReadSample(HResult status, uint32_t stream, uint32_t flags, int64_t ts,
                          const std::shared_ptr<Sample>& sample) override {
            reader.reset();  // the last reference
            Collector::OnReadSample(status, stream, flags, ts, sample);
        }
    };
    auto backend = SimBackend::Default();
    svtest::OpenDevice dev;
    ASSERT_EQ(svtest::ActivateSource(*backend, 0, dev), HR_S_OK);
    auto cb = std::make_shared<SelfRelease>(backend->NewEvent());
    {
        std::shared_ptr<SourceReader> reader;
        ASSERT_EQ(dev.source->CreateSourceReader(cb, reader), HR_S_OK);
        cb->reader = reader;
        ASSERT_EQ(reader->ReadSample(0, 0), HR_S_OK);
    }
    ASSERT_TRUE(cb->WaitOne());
    EXPECT_EQ(cb->Count(), 1u);
}

TEST(SimMediaSource, ShutdownEndsTheSourceAndActivationMakesANewOne) {
    auto backend = SimBackend::Default();
    auto dev = svtest::Open(*backend, 1);
    std::shared_ptr<MediaSource> same;
    ASSERT_EQ(dev.activation->ActivateObject(same), HR_S_OK);
    EXPECT_EQ(same, dev.source) << "one source until shut down";
    ASSERT_EQ(dev.activation->ShutdownObject(), HR_S_OK);
    std::shared_ptr<MediaType> t;
    EXPECT_EQ(dev.reader->GetNativeMediaType(0, 0, t), HR_MF_E_SHUTDOWN);
    EXPECT_EQ(dev.reader->ReadSample(0, 0), HR_MF_E_SHUTDOWN);
    std::shared_ptr<UvcControlInterface> controls;
    EXPECT_EQ(dev.source->QueryVideoProcAmp(controls), HR_MF_E_SHUTDOWN);
    std::shared_ptr<MediaSource> fresh;
    ASSERT_EQ(dev.activation->ActivateObject(fresh), HR_S_OK);
    EXPECT_NE(fresh, dev.source);
    auto cb = std::make_shared<svtest::Collector>(backend->NewEvent());
    std::shared_ptr<SourceReader> reader;
    ASSERT_EQ(fresh->CreateSourceReader(cb, reader), HR_S_OK);
    EXPECT_EQ(reader->GetNativeMediaType(0, 0, t), HR_S_OK);
    EXPECT_EQ(fresh->CreateSourceReader(nullptr, reader), HR_E_INVALIDARG);
}

}  // namespace
