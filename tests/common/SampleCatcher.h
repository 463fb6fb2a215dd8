#pragma once

// Test helper: a reader callback that keeps the last delivery and whether a
// flush came back, for code that drives a simulated camera's reader from
// outside (the fake kernel over the simulator, the software USB camera).

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/backend/VideoDevice.h"

namespace sv::test {

class SampleCatcher final : public platform::SampleCallback {
public:
    void OnReadSample(platform::HResult status, uint32_t, uint32_t, int64_t,
                      const std::shared_ptr<platform::Sample>& sample) override {
        std::lock_guard<std::mutex> lock(mutex_);
        status_ = status;
        sample_ = sample;
        delivered_ = true;
        cv_.notify_all();
    }
    void OnFlush(uint32_t) override {
        std::lock_guard<std::mutex> lock(mutex_);
        flushed_ = true;
        cv_.notify_all();
    }
    // True with the delivery when one came within `ms` real milliseconds.
    bool Take(int ms, platform::HResult& status, std::shared_ptr<platform::Sample>& sample) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return delivered_; })) return false;
        delivered_ = false;
        status = status_;
        sample = std::move(sample_);
        return true;
    }
    void ArmFlush() {
        std::lock_guard<std::mutex> lock(mutex_);
        flushed_ = false;
    }
    // Waits for the flush notice, which comes after every delivery begun
    // before it; then forgets what was delivered.
    bool AwaitFlush(int ms) {
        std::unique_lock<std::mutex> lock(mutex_);
        const bool done = cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return flushed_; });
        delivered_ = false;
        sample_.reset();
        return done;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool delivered_ = false;
    bool flushed_ = false;
    platform::HResult status_ = platform::HR_S_OK;
    std::shared_ptr<platform::Sample> sample_;
};

}  // namespace sv::test
