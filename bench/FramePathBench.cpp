// Frame path cost: SvGetImage on the simulated machine running without a
// frame-rate limit, side by side with a plain memcpy of the same frame size.
// Prints frames per second and CPU time per frame, and the ratio of the two
// paths measured in the same run.

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <sorvansdk/SorvanSDK.h>

#include "camera/SvCameraManager.h"
#include "platform/backend/Backend.h"
#include "platform/sim/SimBackend.h"

namespace {

const char* kWorld = R"({"frameRateLimit": false, "devices": [{"id": "cam", "name": "Bench Cam",
  "vendorId": "1234", "productId": "5678", "serial": "BENCH00001",
  "formats": [{"subtype": "YUY2", "width": 1920, "height": 1080, "fps": 30},
              {"subtype": "YUY2", "width": 3840, "height": 2160, "fps": 30}]}]})";

std::shared_ptr<SvCamera> g_camera;

std::shared_ptr<SvCamera> StreamingCamera(int formatIndex) {
    static int current = -1;
    if (!g_camera) {
        sv::platform::SetBackendForTesting(sv::sim::SimBackend::FromJson(kWorld));
        SvSetLogLevel(SV_LOG_LEVEL_OFF);
        std::vector<std::string> names;
        SvDiscoverCameraDevices(names);
        g_camera = SvInitialCameraDevice(0);
        if (!g_camera || SvOpen(g_camera) != 0) return nullptr;
    }
    if (current != formatIndex) {
        std::vector<SvFormat> formats;
        SvStopStreaming(g_camera);
        if (SvGetFormatList(g_camera, formats) != 0 || formats.size() < 2) return nullptr;
        if (SvSetFormat(g_camera, formats[static_cast<std::size_t>(formatIndex)]) != 0) return nullptr;
        if (SvStartStreaming(g_camera) != 0) return nullptr;
        current = formatIndex;
    }
    return g_camera;
}

std::size_t FrameBytes(int formatIndex) { return formatIndex == 0 ? 1920u * 1080 * 2 : 3840u * 2160 * 2; }

void BM_GetImage(benchmark::State& state) {
    const int index = static_cast<int>(state.range(0));
    auto camera = StreamingCamera(index);
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

void BM_Memcpy(benchmark::State& state) {
    const std::size_t bytes = FrameBytes(static_cast<int>(state.range(0)));
    std::vector<uint8_t> source(bytes, 0x42);
    std::vector<uint8_t> target(bytes);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_GetImage)->Arg(0)->Arg(1)->ArgName("4k")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Memcpy)->Arg(0)->Arg(1)->ArgName("4k")->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps CPU time per iteration of every run, to print the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            if (!run.error_occurred) {
                cpu_[run.benchmark_name()] = run.GetAdjustedCPUTime();
                wall_[run.benchmark_name()] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatios() const {
        for (const char* size : {"4k:0", "4k:1"}) {
            const auto get = cpu_.find(std::string("BM_GetImage/") + size + "/real_time");
            const auto copy = cpu_.find(std::string("BM_Memcpy/") + size + "/real_time");
            if (get == cpu_.end() || copy == cpu_.end() || copy->second <= 0) continue;
            const std::string name = std::string("BM_GetImage/") + size + "/real_time";
            const std::string base = std::string("BM_Memcpy/") + size + "/real_time";
            // Caller's CPU per frame, and wall time per frame, which includes the
            // simulator drawing each frame on its worker thread.
            std::printf("%s per frame, SvGetImage / memcpy: caller CPU %.2f, wall %.2f\n",
                        std::string(size) == "4k:0" ? "1920x1080" : "3840x2160", get->second / copy->second,
                        wall_.at(name) / wall_.at(base));
        }
    }

private:
    std::map<std::string, double> cpu_;
    std::map<std::string, double> wall_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    g_camera.reset();
    sv::ResetCameraManagerForTesting();
    sv::platform::ResetBackend();
    benchmark::Shutdown();
    return 0;
}
