// Frame path cost: SvGetImage on the simulated machine running without a
// frame-rate limit and, on Linux builds, through the V4L2 back-end over the
// fake kernel, side by side with a plain memcpy of the same frame size.
// Prints frames per second and CPU time per frame, and the ratio of the
// paths measured in the same run. The memcpy copies from as many source
// buffers as the V4L2 reader maps, taken in turn, and on x86-64 each source
// is flushed out of the caches (untimed) after its copy: the fake kernel
// flushes each frame the same way before handing it over, as DMA into memory
// leaves it, so both copies start from equally cold memory over as many
// pages. The earlier baseline, sources spread over twice the last-level
// cache, is printed beside it: its extra pages made the copy dearer than the
// frame path's own copy.
// Every benchmark runs nine times, interleaved at random, and the ratios are
// of the medians (and of the least values, the runs least disturbed), so a
// drift of the machine's memory speed during the run does not land on one
// path only. Five runs let a median move by a tenth from run to run.

#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include <sorvansdk/SorvanSDK.h>

#include "camera/SvCameraManager.h"
#include "platform/backend/Backend.h"
#include "platform/sim/SimBackend.h"
#ifdef SORVANSDK_BENCH_V4L2
#include <linux/videodev2.h>

#include "linux/FakeKernel.h"
#include "platform/linux/LinuxBackend.h"
#endif

namespace {

const char* kWorld = R"({"frameRateLimit": false, "devices": [{"id": "cam", "name": "Bench Cam",
  "vendorId": "1234", "productId": "5678", "serial": "BENCH00001",
  "formats": [{"subtype": "YUY2", "width": 1920, "height": 1080, "fps": 30},
              {"subtype": "YUY2", "width": 3840, "height": 2160, "fps": 30}]}]})";

std::shared_ptr<SvCamera> g_camera;
std::string g_backend;  // "sim" or "v4l2": what g_camera streams through
int g_format = -1;

#if defined(__x86_64__) || defined(_M_X64)
constexpr bool kCanEvict = true;
// Evicts a frame from every cache level, as a device's DMA into memory
// leaves it for the reader.
void Evict(const uint8_t* data, std::size_t length) {
    for (std::size_t i = 0; i < length; i += 64) __builtin_ia32_clflush(data + i);
    __builtin_ia32_mfence();
}
#else
constexpr bool kCanEvict = false;
void Evict(const uint8_t*, std::size_t) {}
#endif

#ifdef SORVANSDK_BENCH_V4L2

std::shared_ptr<sv::platform::Backend> FakeKernelBackend() {
    sv::test::FakeNode n;
    n.name = "video0";
    n.card = "Bench Cam";
    n.deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    n.vendorId = 0x1234;
    n.productId = 0x5678;
    n.serial = "BENCH00001";
    n.formats = {{V4L2_PIX_FMT_YUYV, false, {{1920, 1080, {{1, 30}}}, {3840, 2160, {{1, 30}}}}}};
    n.frames = [](uint32_t sequence, uint32_t, uint32_t, uint32_t, uint8_t* data, uint32_t capacity) {
        std::memcpy(data, &sequence, sizeof(sequence));
        Evict(data, capacity);
        return static_cast<int64_t>(capacity);
    };
    static std::shared_ptr<sv::test::FakeKernel> kernel;
    kernel = std::make_shared<sv::test::FakeKernel>(std::vector<sv::test::FakeNode>{n});
    return sv::platform::v4l2::CreateLinuxBackend(kernel);
}
#endif

std::shared_ptr<SvCamera> StreamingCamera(const std::string& backend, int formatIndex) {
    if (g_backend != backend) {
        if (g_camera) SvClose(g_camera);
        g_camera.reset();
        sv::ResetCameraManagerForTesting();
        g_format = -1;
        g_backend = backend;
#ifdef SORVANSDK_BENCH_V4L2
        if (backend == "v4l2") sv::platform::SetBackendForTesting(FakeKernelBackend());
#endif
        if (backend == "sim") sv::platform::SetBackendForTesting(sv::sim::SimBackend::FromJson(kWorld));
        SvSetLogLevel(SV_LOG_LEVEL_OFF);
        std::vector<std::string> names;
        SvDiscoverCameraDevices(names);
        g_camera = SvInitialCameraDevice(0);
        if (!g_camera || SvOpen(g_camera) != 0) return nullptr;
    }
    if (g_format != formatIndex) {
        std::vector<SvFormat> formats;
        SvStopStreaming(g_camera);
        if (SvGetFormatList(g_camera, formats) != 0 || formats.size() < 2) return nullptr;
        if (SvSetFormat(g_camera, formats[static_cast<std::size_t>(formatIndex)]) != 0) return nullptr;
        if (SvStartStreaming(g_camera) != 0) return nullptr;
        g_format = formatIndex;
    }
    return g_camera;
}

std::size_t FrameBytes(int formatIndex) { return formatIndex == 0 ? 1920u * 1080 * 2 : 3840u * 2160 * 2; }

// The last-level cache, from the C library or sysfs; 32 MiB when neither knows.
std::size_t LastLevelCacheBytes() {
    long bytes = sysconf(_SC_LEVEL3_CACHE_SIZE);
    if (bytes <= 0) bytes = sysconf(_SC_LEVEL2_CACHE_SIZE);
    return bytes > 0 ? static_cast<std::size_t>(bytes) : (32u << 20);
}

void GetImages(benchmark::State& state, const std::string& backend) {
    const int index = static_cast<int>(state.range(0));
    auto camera = StreamingCamera(backend, index);
    if (!camera) {
        state.SkipWithError("camera did not stream");
        return;
    }
    std::vector<uint8_t> buffer(FrameBytes(index));
    for (auto _ : state) {
        int size = static_cast<int>(buffer.size());
        if (SvGetImage(camera, buffer.data(), &size, 1000) != SV_CAPTURE_SUCCESS) {
            state.SkipWithError("SvGetImage failed");
            break;
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * buffer.size()));
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_GetImage(benchmark::State& state) { GetImages(state, "sim"); }

#ifdef SORVANSDK_BENCH_V4L2
void BM_GetImageV4l2(benchmark::State& state) { GetImages(state, "v4l2"); }
#endif

// A memcpy of one frame per iteration from `count` sources taken in turn.
void CopyFrames(benchmark::State& state, std::size_t count) {
    const std::size_t bytes = FrameBytes(static_cast<int>(state.range(0)));
    std::vector<std::vector<uint8_t>> sources(count, std::vector<uint8_t>(bytes, 0x42));
    std::vector<uint8_t> target(bytes);
    for (const auto& source : sources) Evict(source.data(), bytes);
    std::size_t next = 0;
    for (auto _ : state) {
        std::memcpy(target.data(), sources[next].data(), bytes);
        benchmark::ClobberMemory();
        if (kCanEvict) {
            // Flushed right after its copy rather than before the next one,
            // so that the flush leaves no address translations behind: the
            // reader of a frame a device wrote has none either.
            state.PauseTiming();
            Evict(sources[next].data(), bytes);
            state.ResumeTiming();
        }
        next = (next + 1) % count;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["sources"] = static_cast<double>(count);
}

// The baseline: as many sources as the V4L2 reader maps buffers, each
// flushed after its copy, so the copy meets memory as cold as a frame's and
// as many pages (the same page-table footprint) as the reader's ring. Where
// nothing can be flushed, sources twice the last-level cache together make
// each copy start from memory no cache holds.
constexpr std::size_t kRingBuffers = 4;  // v4l2::kStreamBuffers
void BM_Memcpy(benchmark::State& state) {
    const std::size_t bytes = FrameBytes(static_cast<int>(state.range(0)));
    CopyFrames(state, kCanEvict ? kRingBuffers : 2 * LastLevelCacheBytes() / bytes + 2);
}

// The baseline beside a device: while each copy runs, another thread writes
// and flushes the source to be copied next, as the fake kernel's device
// prepares the next frame while the caller copies this one. Both then copy
// from equally cold memory with the same traffic beside them, and the ratio
// to this one is what the frame path itself adds (the hand-over between
// threads). The device's turn is waited for untimed.
void BM_MemcpyBesideDevice(benchmark::State& state) {
    const std::size_t bytes = FrameBytes(static_cast<int>(state.range(0)));
    std::vector<std::vector<uint8_t>> sources(kRingBuffers, std::vector<uint8_t>(bytes, 0x42));
    std::vector<uint8_t> target(bytes);
    for (const auto& source : sources) Evict(source.data(), bytes);
    std::mutex mutex;
    std::condition_variable changed;
    uint64_t asked = 0, done = 0;
    std::size_t nextSource = 0;
    bool stop = false;
    std::thread device([&] {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return stop || asked != done; });
            if (stop) return;
            const uint64_t turn = asked;
            uint8_t* frame = sources[nextSource].data();
            lock.unlock();
            std::memcpy(frame, &turn, sizeof(turn));
            Evict(frame, bytes);
            lock.lock();
            done = turn;
            changed.notify_all();
        }
    });
    std::size_t next = 0;
    uint64_t turn = 0;
    for (auto _ : state) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            nextSource = (next + 1) % kRingBuffers;
            asked = ++turn;
        }
        changed.notify_all();
        std::memcpy(target.data(), sources[next].data(), bytes);
        benchmark::ClobberMemory();
        state.PauseTiming();
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return done == turn; });
        }
        state.ResumeTiming();
        next = (next + 1) % kRingBuffers;
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        stop = true;
    }
    changed.notify_all();
    device.join();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// The earlier baseline, for comparison: flushed sources spread over twice
// the last-level cache. Its copies cost more than the ring's although both
// are flushed: more pages, so more of their translations and page-table
// entries miss.
void BM_MemcpySpread(benchmark::State& state) {
    const std::size_t bytes = FrameBytes(static_cast<int>(state.range(0)));
    CopyFrames(state, 2 * LastLevelCacheBytes() / bytes + 2);
}

constexpr int kRepetitions = 9;
double Least(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }
BENCHMARK(BM_GetImage)->Arg(0)->Arg(1)->ArgName("4k")->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Repetitions(kRepetitions)->ComputeStatistics("min", Least)->ReportAggregatesOnly(true);
#ifdef SORVANSDK_BENCH_V4L2
BENCHMARK(BM_GetImageV4l2)->Arg(0)->Arg(1)->ArgName("4k")->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Repetitions(kRepetitions)->ComputeStatistics("min", Least)->ReportAggregatesOnly(true);
#endif
BENCHMARK(BM_Memcpy)->Arg(0)->Arg(1)->ArgName("4k")->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Repetitions(kRepetitions)->ComputeStatistics("min", Least)->ReportAggregatesOnly(true);
BENCHMARK(BM_MemcpyBesideDevice)->Arg(0)->Arg(1)->ArgName("4k")->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Repetitions(kRepetitions)->ComputeStatistics("min", Least)->ReportAggregatesOnly(true);
BENCHMARK(BM_MemcpySpread)->Arg(0)->Arg(1)->ArgName("4k")->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Repetitions(kRepetitions)->ComputeStatistics("min", Least)->ReportAggregatesOnly(true);

// Keeps CPU time per iteration of every run, to print the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            const bool aggregate = run.run_type == Run::RT_Aggregate && !run.error_occurred;
            const std::string key = run.run_name.function_name + "/" + run.run_name.args;
            if (aggregate && run.aggregate_name == "median") {
                cpu_[key] = run.GetAdjustedCPUTime();
                wall_[key] = run.GetAdjustedRealTime();
            }
            if (aggregate && run.aggregate_name == "min") least_[key] = run.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatios() const {
        for (const char* size : {"4k:0", "4k:1"}) {
            const std::string base = std::string("BM_Memcpy/") + size;
            const auto copy = cpu_.find(base);
            if (copy == cpu_.end() || copy->second <= 0) continue;
            for (const char* path : {"BM_GetImage", "BM_GetImageV4l2", "BM_MemcpyBesideDevice", "BM_MemcpySpread"}) {
                const std::string name = std::string(path) + "/" + size;
                const auto get = cpu_.find(name);
                if (get == cpu_.end()) continue;
                // Caller's CPU per frame, and wall time per frame, which includes
                // the device side (drawing or evicting each frame) on its own thread.
                std::printf("%s per frame, %s / memcpy, medians: caller CPU %.2f, wall %.2f;"
                            " least caller CPU %.2f\n",
                            std::string(size) == "4k:0" ? "1920x1080" : "3840x2160",
                            std::string(path) == "BM_GetImage"       ? "SvGetImage (simulator)"
                            : std::string(path) == "BM_GetImageV4l2" ? "SvGetImage (V4L2, fake kernel)"
                            : std::string(path) == "BM_MemcpyBesideDevice" ? "memcpy beside the device"
                                                                     : "memcpy (sources over 2 x LLC)",
                            get->second / copy->second, wall_.at(name) / wall_.at(base),
                            least_.at(name) / least_.at(base));
            }
            // What the V4L2 path adds to a copy that meets the same device traffic.
            const std::string path = std::string("BM_GetImageV4l2/") + size;
            const std::string beside = std::string("BM_MemcpyBesideDevice/") + size;
            if (cpu_.count(path) != 0 && cpu_.count(beside) != 0 && cpu_.at(beside) > 0) {
                std::printf("%s per frame, SvGetImage (V4L2, fake kernel) / memcpy beside the device, medians:"
                            " caller CPU %.2f; least caller CPU %.2f\n",
                            std::string(size) == "4k:0" ? "1920x1080" : "3840x2160", cpu_.at(path) / cpu_.at(beside),
                            least_.at(path) / least_.at(beside));
            }
        }
    }

private:
    std::map<std::string, double> cpu_;
    std::map<std::string, double> wall_;
    std::map<std::string, double> least_;
};

}  // namespace

int main(int argc, char** argv) {
    // Repetitions interleaved at random unless the command line says otherwise.
    std::vector<char*> args(argv, argv + argc);
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    bool given = false;
    for (int i = 1; i < argc; ++i) given = given || std::strstr(argv[i], "random_interleaving") != nullptr;
    if (!given) args.insert(args.begin() + 1, interleave.data());
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    if (g_camera) SvClose(g_camera);
    g_camera.reset();
    sv::ResetCameraManagerForTesting();
    sv::platform::ResetBackend();
    benchmark::Shutdown();
    return 0;
}
