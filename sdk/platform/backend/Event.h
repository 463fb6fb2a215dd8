#pragma once

// An auto-reset event: the hand-over between a sample callback and the thread
// that waits for a frame. Created by the back-end so that waits follow its
// clock: on the simulator with device time, a wait that nothing pending can end
// times out at once and advances the device clock by its time-out.

#include <cstdint>

namespace sv::platform {

enum class WaitResult {
    Signaled,  // the event was set; it is reset again by this wait
    TimedOut,
};

class Event {
public:
    virtual ~Event() = default;
    virtual void Set() = 0;
    virtual void Reset() = 0;
    virtual WaitResult Wait(uint32_t timeoutMs) = 0;
};

}  // namespace sv::platform
