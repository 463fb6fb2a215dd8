#pragma once

// One device of a simulated world as the software camera's insides: its
// description, its controls and extension unit through the platform
// objects the simulator back-end hands out, and its frames through a
// source reader of that back-end.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "common/SampleCatcher.h"
#include "kernel/UvcFunction.h"
#include "platform/sim/SimBackend.h"
#include "platform/sim/SimMachine.h"

namespace sv::gadget {

class SimCamera {
public:
    SimCamera();
    ~SimCamera();

    // Loads the world (`worldJson` from `source`) and opens its device
    // `device`: a number (the world's order, from 0) or an id. The world's
    // clock is used unless `simulatedClock` says otherwise. False with
    // `error` set when the world or the device cannot be used.
    bool Open(const std::string& worldJson, const std::string& source, const std::string& device,
              std::optional<bool> simulatedClock, std::string& error);

    const sim::DeviceDescription& Description() const { return device_->desc; }
    std::shared_ptr<sim::SimBackend> Backend() const { return backend_; }
    UvcUnits Units() const;

    // Makes `s` the device's current type; pending frames of the previous
    // one are dropped first.
    bool Select(const StreamSettings& s, std::string& error);

    enum class FrameResult { Frame, Failed, Timeout };
    // The next frame, waiting at most `timeoutMs` of real time; a request
    // that times out stays pending for the next call.
    FrameResult NextFrame(std::shared_ptr<platform::Sample>& sample, int timeoutMs);

private:

    std::shared_ptr<sim::SimMachine> machine_;
    std::shared_ptr<sim::SimBackend> backend_;
    std::shared_ptr<sim::SimDevice> device_;
    std::shared_ptr<platform::DeviceActivation> activation_;
    std::shared_ptr<platform::MediaSource> source_;
    std::shared_ptr<test::SampleCatcher> catcher_;
    std::shared_ptr<platform::SourceReader> reader_;
    bool requested_ = false;
};

}  // namespace sv::gadget
