#pragma once

// How time passes for a back-end: its fixed waits, its monotonic clock and
// the events a frame request waits on. Native back-ends use the system's; a
// back-end over a stand-in kernel in tests takes a clock that keeps the
// simulated machine's device time.

#include <cstdint>
#include <memory>

#include "platform/backend/Event.h"

namespace sv::platform {

class Clock {
public:
    virtual ~Clock() = default;
    virtual void Sleep(uint32_t ms) = 0;
    // Monotonic milliseconds, of the same time base as Sleep.
    virtual uint64_t NowMs() = 0;
    // A new auto-reset event, unsignalled.
    virtual std::shared_ptr<Event> NewEvent() = 0;
};

// The system's: sleeps for real, the steady clock, SystemEvent.
std::shared_ptr<Clock> SystemClock();

}  // namespace sv::platform
