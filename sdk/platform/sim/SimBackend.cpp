#include "platform/sim/SimBackend.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "base/Logger.h"
#include "platform/sim/Fx3Devices.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimUsb.h"
#include "platform/sim/SimVideo.h"

namespace sv::sim {

using platform::HResult;

namespace {

// A machine without devices: what a world that cannot be used leaves.
std::shared_ptr<SimMachine> EmptyMachine(bool simulatedClock) {
    auto machine = std::make_shared<SimMachine>(WorldDescription{}, simulatedClock);
    std::string unused;
    machine->Build(unused);
    return machine;
}

std::shared_ptr<SimBackend> Build(const std::string& text, const std::string& source, const SimOptions& options) {
    WorldDescription world;
    std::string error;
    bool ok = ParseWorld(text, source, world, error);
    const bool simulated = options.simulatedClock.value_or(ok ? world.simulatedClock : true);
    std::shared_ptr<SimMachine> machine;
    if (ok) {
        machine = std::make_shared<SimMachine>(std::move(world), simulated);
        std::string buildError;
        if (!machine->Build(buildError)) {
            error = "World file '" + source + "': " + buildError;
            ok = false;
        }
    }
    if (!ok) machine = EmptyMachine(simulated);
    if (!ok) SV_LOGE("SimBackend::LoadWorld", "{}", error);
    auto backend = std::make_shared<SimBackend>(machine, ok ? std::string() : error);
    if (!options.traceFile.empty()) {
        std::string traceError;
        if (!backend->OpenTraceFile(options.traceFile, traceError)) {
            SV_LOGE("SimBackend::LoadWorld", "{}", traceError);
        }
    }
    return backend;
}

}  // namespace

std::shared_ptr<SimBackend> SimBackend::FromJson(const std::string& json, const std::string& source,
                                                 const SimOptions& options) {
    return Build(json, source, options);
}

std::shared_ptr<SimBackend> SimBackend::FromFile(const std::string& path, const SimOptions& options) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const std::string error = "World file '" + path + "': cannot be read";
        SV_LOGE("SimBackend::LoadWorld", "{}", error);
        auto backend = std::make_shared<SimBackend>(EmptyMachine(options.simulatedClock.value_or(true)), error);
        std::string unused;
        if (!options.traceFile.empty()) backend->OpenTraceFile(options.traceFile, unused);
        return backend;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return Build(text.str(), path, options);
}

std::shared_ptr<SimBackend> SimBackend::Default(const SimOptions& options) {
    return Build(DefaultWorldJson(), "<built-in>", options);
}

SimBackend::SimBackend(std::shared_ptr<SimMachine> machine, std::string loadError)
    : machine_(std::move(machine)), loadError_(std::move(loadError)) {}

SimBackend::~SimBackend() = default;

HResult SimBackend::EnumDeviceSources(std::vector<std::shared_ptr<platform::DeviceActivation>>& devices) {
    devices.clear();
    std::vector<std::pair<std::shared_ptr<SimDevice>, uint64_t>> present;
    {
        std::lock_guard<std::mutex> lock(machine_->Mutex());
        for (const auto& d : machine_->Devices()) {
            if (d->present && d->desc.video) present.emplace_back(d, d->generation);
        }
    }
    for (auto& [device, generation] : present) {
        devices.push_back(std::make_shared<SimActivation>(machine_, device, generation));
    }
    return platform::HR_S_OK;
}

HResult SimBackend::OpenHostController(uint32_t number, std::shared_ptr<platform::UsbHostController>& hc) {
    return OpenSimHostController(machine_, number, hc);
}

HResult SimBackend::OpenHub(const std::string& path, std::shared_ptr<platform::UsbHub>& hub) {
    return OpenSimHub(machine_, path, hub);
}

HResult SimBackend::GetClassDevs(platform::DeviceSetKind kind, std::shared_ptr<platform::DeviceInfoSet>& set) {
    return GetSimClassDevs(machine_, kind, set);
}

HResult SimBackend::CountVendorUsbDevices(uint32_t& count) { return CountSimVendorDevices(machine_, count); }

HResult SimBackend::OpenVendorUsbDevice(uint32_t index, std::shared_ptr<platform::VendorUsbDevice>& device) {
    return OpenSimVendorDevice(machine_, index, device);
}

std::string SimBackend::Fx3Mode(const std::string& id) const {
    auto b = machine_->FindFx3(id);
    if (!b) return "";
    std::lock_guard<std::mutex> lock(b->Mutex());
    return Fx3ModeName(b->mode);
}

bool SimBackend::Fx3Ram(const std::string& id, uint32_t address, size_t length, std::vector<uint8_t>& out) const {
    auto b = machine_->FindFx3(id);
    if (!b) return false;
    std::lock_guard<std::mutex> lock(b->Mutex());
    return b->ReadRam(address, length, out);
}

bool SimBackend::Fx3Eeprom(const std::string& id, uint32_t device, std::vector<uint8_t>& out) const {
    auto b = machine_->FindFx3(id);
    if (!b) return false;
    std::lock_guard<std::mutex> lock(b->Mutex());
    if (device >= b->Eeproms().size()) return false;
    out = b->Eeproms()[device];
    return true;
}

bool SimBackend::Fx3SpiFlash(const std::string& id, std::vector<uint8_t>& out) const {
    auto b = machine_->FindFx3(id);
    if (!b) return false;
    std::lock_guard<std::mutex> lock(b->Mutex());
    out = b->SpiFlash();
    return true;
}

void SimBackend::Sleep(uint32_t ms) {
    machine_->TraceEvent(nullptr, "sleep", [&](SimTrace::Line& line) { line["ms"] = ms; });
    machine_->Clock().Sleep(ms);
}

uint64_t SimBackend::NowMs() { return static_cast<uint64_t>(machine_->Clock().NowUs() / 1000); }

std::shared_ptr<platform::Event> SimBackend::NewEvent() { return machine_->Clock().NewEvent(); }

bool SimBackend::SimulatedClock() const { return machine_->Clock().Simulated(); }

int64_t SimBackend::DeviceTimeUs() const { return machine_->Clock().NowUs(); }

bool SimBackend::SetDeviceBusy(const std::string& id, bool busy) {
    auto d = machine_->FindDevice(id);
    if (!d) return false;
    std::lock_guard<std::mutex> lock(machine_->Mutex());
    d->busy = busy;
    return true;
}

bool SimBackend::UnplugDevice(const std::string& id) {
    auto d = machine_->FindDevice(id);
    if (!d) return false;
    machine_->Unplug(*d);
    return true;
}

bool SimBackend::PlugDevice(const std::string& id) {
    auto d = machine_->FindDevice(id);
    if (!d) return false;
    machine_->Plug(*d);
    return true;
}

bool SimBackend::AddFault(const std::string& id, const FaultRule& fault) {
    if (auto b = machine_->FindFx3(id); b && IsFaultOperation(fault.op)) {
        std::lock_guard<std::mutex> lock(b->Mutex());
        b->faults.push_back(fault);
        return true;
    }
    auto d = machine_->FindDevice(id);
    if (!d || !IsFaultOperation(fault.op)) return false;
    std::lock_guard<std::mutex> lock(machine_->Mutex());
    d->faults.push_back(fault);
    return true;
}

int64_t SimBackend::FramesDelivered(const std::string& id) const {
    auto d = machine_->FindDevice(id);
    if (!d) return -1;
    std::lock_guard<std::mutex> lock(machine_->Mutex());
    return static_cast<int64_t>(d->framesDelivered);
}

void SimBackend::SetTraceSink(std::function<void(const std::string&)> sink) {
    machine_->Trace().SetSink(std::move(sink));
}

bool SimBackend::OpenTraceFile(const std::string& path, std::string& error) {
    return machine_->Trace().OpenFile(path, error);
}

std::shared_ptr<platform::Backend> CreateSimBackendFromEnvironment() {
    SimOptions options;
    if (const char* trace = std::getenv("SORVANSDK_SIM_TRACE"); trace != nullptr && *trace != '\0') {
        options.traceFile = trace;
    }
    if (const char* clock = std::getenv("SORVANSDK_SIM_CLOCK"); clock != nullptr && *clock != '\0') {
        const std::string c = clock;
        if (c == "real") options.simulatedClock = false;
        else if (c == "simulated") options.simulatedClock = true;
        else SV_LOGW("SimBackend::FromEnvironment", "SORVANSDK_SIM_CLOCK=\"{}\" is neither \"simulated\" nor \"real\"", c);
    }
    const char* world = std::getenv("SORVANSDK_SIM_WORLD");
    if (world != nullptr && *world != '\0') return SimBackend::FromFile(world, options);
    return SimBackend::Default(options);
}

std::shared_ptr<SimBackend> InstallWorldForTesting(const std::string& json, const SimOptions& options) {
    auto backend = SimBackend::FromJson(json, "<string>", options);
    platform::SetBackendForTesting(backend);
    return backend;
}

namespace {
// The seam does not know the simulator; it offers itself while the library loads.
const bool kRegistered = platform::RegisterBackend("sim", CreateSimBackendFromEnvironment);
}  // namespace

bool SimBackendRegistered() { return kRegistered; }

}  // namespace sv::sim
