#pragma once

// The wall-clock auto-reset event, used by native back-ends and by the
// simulator when it runs in real time.

#include <condition_variable>
#include <mutex>

#include "platform/backend/Event.h"

namespace sv::platform {

class SystemEvent final : public Event {
public:
    void Set() override;
    void Reset() override;
    WaitResult Wait(uint32_t timeoutMs) override;

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signaled_ = false;
};

}  // namespace sv::platform
