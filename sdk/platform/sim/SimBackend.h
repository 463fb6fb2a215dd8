#pragma once

// The simulated machine as a platform back-end. Selected with
// SORVANSDK_BACKEND=sim; its world comes from SORVANSDK_SIM_WORLD (a JSON file)
// or is the built-in one. Tests create it directly and install it with
// platform::SetBackendForTesting, or with InstallWorldForTesting.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/backend/Backend.h"
#include "platform/sim/SimWorld.h"

namespace sv::sim {

class SimMachine;

struct SimOptions {
    std::string traceFile;               // empty: no trace file
    std::optional<bool> simulatedClock;  // overrides the world's "clock"
};

class SimBackend final : public platform::Backend {
public:
    // A machine from a world text; `source` names it in messages (a path or
    // "<string>"). A bad world logs one error, LoadError() tells it, and the
    // machine has no devices.
    static std::shared_ptr<SimBackend> FromJson(const std::string& json, const std::string& source = "<string>",
                                                const SimOptions& options = {});
    static std::shared_ptr<SimBackend> FromFile(const std::string& path, const SimOptions& options = {});
    static std::shared_ptr<SimBackend> Default(const SimOptions& options = {});

    explicit SimBackend(std::shared_ptr<SimMachine> machine, std::string loadError);
    ~SimBackend() override;

    // platform::Backend
    std::string Name() const override { return "sim"; }
    platform::HResult EnumDeviceSources(std::vector<std::shared_ptr<platform::DeviceActivation>>& devices) override;
    platform::HResult OpenHostController(uint32_t number, std::shared_ptr<platform::UsbHostController>& hc) override;
    platform::HResult OpenHub(const std::string& path, std::shared_ptr<platform::UsbHub>& hub) override;
    platform::HResult GetClassDevs(platform::DeviceSetKind kind, std::shared_ptr<platform::DeviceInfoSet>& set) override;
    uint16_t GetSystemDefaultLangId() override { return 0x0409; }
    platform::HResult CountVendorUsbDevices(uint32_t& count) override;
    platform::HResult OpenVendorUsbDevice(uint32_t index, std::shared_ptr<platform::VendorUsbDevice>& device) override;
    void Sleep(uint32_t ms) override;
    uint64_t NowMs() override;
    std::shared_ptr<platform::Event> NewEvent() override;

    // Empty when the world loaded.
    const std::string& LoadError() const { return loadError_; }
    bool SimulatedClock() const;
    int64_t DeviceTimeUs() const;

    // Live changes of the world, by device id. False for an unknown id.
    bool SetDeviceBusy(const std::string& id, bool busy);
    bool UnplugDevice(const std::string& id);
    bool PlugDevice(const std::string& id);
    bool AddFault(const std::string& id, const FaultRule& fault);
    // The cameras' USB bridges, by id: "bootloader", "programmer", "absent",
    // or empty for an unknown id; and their memories (false for an unknown id
    // or a range outside the memory).
    std::string Fx3Mode(const std::string& id) const;
    bool Fx3Ram(const std::string& id, uint32_t address, size_t length, std::vector<uint8_t>& out) const;
    bool Fx3Eeprom(const std::string& id, uint32_t device, std::vector<uint8_t>& out) const;
    bool Fx3SpiFlash(const std::string& id, std::vector<uint8_t>& out) const;
    // Frames the device has delivered so far; -1 for an unknown id.
    int64_t FramesDelivered(const std::string& id) const;

    // Trace lines also go to `sink` (called under the trace's lock; it must not
    // call back into the simulator).
    void SetTraceSink(std::function<void(const std::string&)> sink);
    bool OpenTraceFile(const std::string& path, std::string& error);

private:
    std::shared_ptr<SimMachine> machine_;
    std::string loadError_;
};

// The back-end SORVANSDK_BACKEND=sim selects.
std::shared_ptr<platform::Backend> CreateSimBackendFromEnvironment();

// True once the simulator has registered itself with the seam as "sim".
bool SimBackendRegistered();

// FromJson, then installed as the process's back-end.
std::shared_ptr<SimBackend> InstallWorldForTesting(const std::string& json, const SimOptions& options = {});

}  // namespace sv::sim
