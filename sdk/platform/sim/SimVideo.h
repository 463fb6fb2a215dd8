#pragma once

// The simulator's video-capture objects: activation, media source, the UVC
// control interfaces, the extension-unit node and the asynchronous reader.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/backend/VideoDevice.h"
#include "platform/sim/SimMachine.h"

namespace sv::sim {

// Shared by a media source and everything made from it.
struct SourceState {
    uint64_t generation = 0;
    std::atomic<bool> shutdown{false};
};

class SimActivation final : public platform::DeviceActivation {
public:
    SimActivation(std::shared_ptr<SimMachine> machine, std::shared_ptr<SimDevice> device, uint64_t generation);

    platform::HResult GetAllocatedString(platform::DeviceString key, std::string& text) override;
    platform::HResult ActivateObject(std::shared_ptr<platform::MediaSource>& source) override;
    platform::HResult ShutdownObject() override;

private:
    std::shared_ptr<SimMachine> machine_;
    std::shared_ptr<SimDevice> device_;
    const uint64_t generation_;
    std::mutex mutex_;
    std::shared_ptr<platform::MediaSource> source_;
    std::shared_ptr<SourceState> state_;
};

// The reader's state and worker thread. The worker holds the core, so a reader
// released from inside its own callback never pulls the core away.
class SimReaderCore : public std::enable_shared_from_this<SimReaderCore> {
public:
    SimReaderCore(std::shared_ptr<SimMachine> machine, std::shared_ptr<SimDevice> device,
                  std::shared_ptr<SourceState> source, std::shared_ptr<platform::SampleCallback> callback);
    ~SimReaderCore();

    void Start();
    // Ends the worker; pending requests are dropped without a callback.
    void Stop();
    void OnDeviceGone();

    platform::HResult GetNativeMediaType(uint32_t stream, uint32_t index, std::shared_ptr<platform::MediaType>& type);
    platform::HResult SetCurrentMediaType(uint32_t stream, const platform::MediaType& type);
    platform::HResult GetCurrentMediaType(uint32_t stream, std::shared_ptr<platform::MediaType>& type);
    platform::HResult ReadSample(uint32_t stream, uint32_t controlFlags);
    platform::HResult Flush(uint32_t stream);

private:
    struct Item {
        bool flushNotice = false;
        uint32_t stream = 0;
        uint64_t seq = 0;
        bool deliverable = false;  // false: stalled, no answer until flush, unplug or stop
    };

    void Run();
    void DropRequestsLocked(std::unique_lock<std::mutex>& lock);

    std::shared_ptr<SimMachine> machine_;
    std::shared_ptr<SimDevice> device_;
    std::shared_ptr<SourceState> source_;
    std::shared_ptr<platform::SampleCallback> callback_;

    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Item> queue_;
    uint64_t nextSeq_ = 1;
    bool stopping_ = false;
    bool gone_ = false;
    size_t currentType_ = 0;
    bool started_ = false;
    int64_t startUs_ = 0;
    uint64_t nextFrame_ = 0;
    std::thread worker_;
};

}  // namespace sv::sim
