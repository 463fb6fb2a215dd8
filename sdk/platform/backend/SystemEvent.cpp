#include "platform/backend/SystemEvent.h"

#include <chrono>

namespace sv::platform {

void SystemEvent::Set() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        signaled_ = true;
    }
    cv_.notify_one();
}

void SystemEvent::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    signaled_ = false;
}

WaitResult SystemEvent::Wait(uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return signaled_; })) {
        return WaitResult::TimedOut;
    }
    signaled_ = false;
    return WaitResult::Signaled;
}

}  // namespace sv::platform
