#include "platform/backend/Clock.h"

#include <chrono>
#include <thread>

#include "platform/backend/SystemEvent.h"

namespace sv::platform {

namespace {

class SteadyClock final : public Clock {
public:
    void Sleep(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
    uint64_t NowMs() override {
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count());
    }
    std::shared_ptr<Event> NewEvent() override { return std::make_shared<SystemEvent>(); }
};

}  // namespace

std::shared_ptr<Clock> SystemClock() {
    static const std::shared_ptr<Clock> clock = std::make_shared<SteadyClock>();
    return clock;
}

}  // namespace sv::platform
