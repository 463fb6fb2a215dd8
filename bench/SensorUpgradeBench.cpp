// Sensor-board upgrades on the simulated machine: for a 64 KiB KANO image and
// a 112 KiB LUMO image, the extension-unit transfers and the simulated device
// time an upgrade takes, next to the least the protocol allows (the image's
// bytes over the largest payload one transfer may carry, 128 bytes on both).

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <sorvansdk/SorvanSDK.h>

#include "camera/MakerWorld.h"  // world builders of the tests
#include "firmware/SensorImages.h"
#include "platform/backend/Backend.h"
#include "platform/sim/SimBackend.h"

namespace {

struct Result {
    long transfers = 0;
    double deviceSeconds = 0;
    int status = -1;
};

Result Upgrade(const std::string& world, const std::string& name, const std::vector<uint8_t>& image, bool erase) {
    auto backend = sv::sim::SimBackend::FromJson(world);
    sv::platform::SetBackendForTesting(backend);
    std::vector<std::string> names;
    SvDiscoverCameraDevices(names);
    std::shared_ptr<SvCamera> camera;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].find(name) != std::string::npos) camera = SvInitialCameraDevice(static_cast<int>(i));
    }
    Result r;
    if (!camera || SvOpen(camera) != 0) return r;
    if (erase && SvCleanSensorFW(camera) != 0) return r;
    const std::string path = "/tmp/sorvansdk-bench-image.bin";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                                static_cast<std::streamsize>(image.size()));
    long transfers = 0;
    backend->SetTraceSink([&](const std::string& line) {
        if (line.find("\"op\":\"xu.") != std::string::npos) ++transfers;
    });
    const int64_t start = backend->DeviceTimeUs();
    r.status = SvUpgradeSensorFW(camera, path, nullptr);
    r.deviceSeconds = static_cast<double>(backend->DeviceTimeUs() - start) / 1e6;
    backend->SetTraceSink(nullptr);
    r.transfers = transfers;
    std::remove(path.c_str());
    return r;
}

void Report(const char* what, std::size_t bytes, const Result& r) {
    const long least = static_cast<long>((bytes + 127) / 128);
    std::printf("%-22s %8zu bytes  result %2d  transfers %6ld  least %5ld  ratio %5.2f  device time %7.2f s\n",
                what, bytes, r.status, r.transfers, least, static_cast<double>(r.transfers) / static_cast<double>(least),
                r.deviceSeconds);
}

}  // namespace

int main() {
    SvSetLogLevel(SV_LOG_LEVEL_OFF);
    setenv("SORVANSDK_CONFIG_PATH", SORVANSDK_SOURCE_DIR "/config", 0);
    const auto kano = svtest::KanoImageV3(64 * 1024);
    Report("KANO (KIVO) v3 image", kano.size(),
           Upgrade(svtest::MakerWorldJson(svtest::kKivoName, "0821", R"({"model": "kivo"})"), svtest::kKivoName, kano,
                   false));
    const auto lumo = svtest::LumoImage(0x0000, 16 * 1024, 0x10000, 96 * 1024);
    Report("LUMO (LIRA) image", lumo.size() - 20,
           Upgrade(svtest::MakerWorldJson(svtest::kLiraName, "0822", R"({"model": "lira", "sensor": {"chipId": "0x0F56"}})"),
                   svtest::kLiraName, lumo, true));
    return 0;
}
