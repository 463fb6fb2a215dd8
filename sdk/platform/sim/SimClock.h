#pragma once

// Device time of the simulated machine. In real mode it follows the wall clock
// and Sleep sleeps. In simulated mode time moves only when the machine moves it:
// Sleep advances it, a frame that falls due moves it to its due time, and an
// event wait that nothing pending can end moves it by the wait's time-out and
// returns at once. Pending device work (sample requests that will be answered)
// is counted here so that waits can tell the two cases apart.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/backend/Event.h"

namespace sv::sim {

class SimClock : public std::enable_shared_from_this<SimClock> {
public:
    explicit SimClock(bool simulated);

    bool Simulated() const { return simulated_; }
    int64_t NowUs();
    void Sleep(uint32_t ms);

    // Simulated mode: moves time forward to `us` (never back).
    void AdvanceTo(int64_t us);

    // The wall-clock instant of device time `us` (real mode).
    std::chrono::steady_clock::time_point WallTimeOf(int64_t us) const;

    // Pending work that will end in a signal.
    void BeginWork();
    void EndWork();

    std::shared_ptr<platform::Event> NewEvent();

private:
    friend class SimEvent;

    const bool simulated_;
    const std::chrono::steady_clock::time_point start_;
    std::mutex mutex_;
    std::condition_variable cv_;
    int64_t nowUs_ = 0;  // simulated mode
    int work_ = 0;
};

}  // namespace sv::sim
