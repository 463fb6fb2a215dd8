#pragma once

// The running simulated machine: the world's devices with their live state
// (presence, controls, fault counters, frame counters), its clock and its trace.
// Platform objects handed out by the simulator hold the machine, so it lives as
// long as any of them.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/backend/MediaType.h"
#include "platform/sim/Fx3Devices.h"
#include "platform/sim/SimClock.h"
#include "platform/sim/SimTrace.h"
#include "platform/sim/SimWorld.h"
#include "platform/sim/XuModel.h"

namespace sv::sim {

class SimReaderCore;

struct SimDevice {
    DeviceDescription desc;
    // Identity as the platform reports it.
    std::string symbolicLink;         // \\?\usb#vid_...&mi_00#<key>#{e5323777-...}\global
    std::string interfaceInstanceId;  // USB\VID_...&PID_...&MI_00\<KEY>
    std::string parentInstanceId;     // USB\VID_...&PID_...\<serial or key>
    std::vector<std::shared_ptr<const platform::MediaType>> nativeTypes;

    std::unique_ptr<XuDeviceModel> model;
    std::mutex modelMutex;  // one transfer at a time, as on the wire

    // Guarded by the machine's mutex.
    bool present = true;
    uint64_t generation = 1;  // a new plug-in starts a new one; older sources stay dead
    bool busy = false;
    std::array<ControlDescription, platform::uvc::kProcAmpPropertyCount> procAmp{};
    std::array<ControlDescription, platform::uvc::kCameraControlPropertyCount> cameraControl{};
    std::vector<FaultRule> faults;
    std::map<std::string, uint32_t> occurrences;
    uint64_t framesAccepted = 0;   // requests that will get a frame or an error
    uint64_t framesDelivered = 0;
    std::vector<std::weak_ptr<SimReaderCore>> readers;
};

struct SimHub {
    std::string id;        // "root0".. for root hubs, else the world's id
    std::string name;      // the symbolic name (without "\\.\")
    std::string instanceId;
    std::string containerId;
    uint8_t ports = 0;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    bool root = false;
    UsbPlacement usb;      // where an external hub is connected
};

class SimMachine : public std::enable_shared_from_this<SimMachine> {
public:
    SimMachine(WorldDescription world, bool simulatedClock);

    // Creates the devices' models; false with `error` naming the device.
    bool Build(std::string& error);

    SimClock& Clock() { return *clock_; }
    SimTrace& Trace() { return trace_; }
    bool FrameRateLimit() const { return world_.frameRateLimit; }
    size_t ControllerCount() const { return world_.controllers.size(); }

    const std::vector<std::shared_ptr<SimDevice>>& Devices() const { return devices_; }
    const std::vector<SimHub>& Hubs() const { return hubs_; }
    std::shared_ptr<SimDevice> FindDevice(const std::string& id) const;
    const SimHub* FindHubByName(const std::string& name) const;
    const SimHub* RootHub(uint32_t controller) const;

    std::mutex& Mutex() { return mutex_; }

    // Counts one occurrence of `op` on `device` and answers the code of a fault
    // that fires on it, or S_OK. Takes the machine's mutex.
    platform::HResult CheckFault(SimDevice& device, const std::string& op, int selector = -1);
    // Same, with the machine's mutex already held.
    platform::HResult CheckFaultLocked(SimDevice& device, const std::string& op, int selector);

    // Whether a source made in `generation` still reaches the device.
    bool AliveLocked(const SimDevice& device, uint64_t generation) const {
        return device.present && device.generation == generation;
    }

    void Unplug(SimDevice& device);
    void Plug(SimDevice& device);

    // The cameras' USB bridges in their service personalities, in world order.
    const std::vector<std::shared_ptr<SimFx3Board>>& Fx3Boards() const { return fx3_; }
    std::shared_ptr<SimFx3Board> FindFx3(const std::string& id) const;
    // The camera's program-mode request: it leaves the bus and, when the world
    // gives it a bridge, the bridge's bootloader appears.
    void EnterFx3ProgramMode(SimDevice& camera);
    // A program the bridge started (after the board's lock is released):
    // camera firmware brings the camera back reporting its version.
    void Fx3Started(SimFx3Board& board, const SimFx3Board::Started& started);
    // Fault check of a bridge operation, the board's lock held.
    platform::HResult CheckFx3Fault(SimFx3Board& board, const std::string& op, int selector);

    // One trace line stamped with the device time, filled by `fill`; nothing is
    // built while tracing is off.
    template <typename Fill>
    void TraceEvent(const SimDevice* device, const char* op, Fill&& fill) {
        if (!trace_.Enabled()) return;
        SimTrace::Line line = TraceLine(device, op);
        fill(line);
        trace_.Write(line);
    }
    void TraceEvent(const SimDevice* device, const char* op) {
        TraceEvent(device, op, [](SimTrace::Line&) {});
    }
    // The same for a device known by its id only.
    template <typename Fill>
    void TraceNamed(const std::string& id, const char* op, Fill&& fill) {
        if (!trace_.Enabled()) return;
        SimTrace::Line line = SimTrace::Begin(clock_->NowUs(), id, op);
        fill(line);
        trace_.Write(line);
    }

private:
    SimTrace::Line TraceLine(const SimDevice* device, const char* op);
    void BuildIdentity(SimDevice& device) const;
    void BuildHubs();

    WorldDescription world_;
    std::shared_ptr<SimClock> clock_;
    SimTrace trace_;
    std::vector<std::shared_ptr<SimDevice>> devices_;
    std::vector<SimHub> hubs_;
    std::vector<std::shared_ptr<SimFx3Board>> fx3_;
    std::mutex mutex_;
};

// The native types of a format list, in the attribute order the device reports.
std::vector<std::shared_ptr<const platform::MediaType>> BuildNativeTypes(const std::vector<FormatDescription>& formats);

}  // namespace sv::sim
