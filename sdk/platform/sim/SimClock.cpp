#include "platform/sim/SimClock.h"

#include <algorithm>
#include <thread>

#include "platform/backend/SystemEvent.h"

namespace sv::sim {

// Events of the simulated clock share its lock, so a wait sees time, pending
// work and its own signal consistently.
class SimEvent final : public platform::Event {
public:
    explicit SimEvent(std::shared_ptr<SimClock> clock) : clock_(std::move(clock)) {}

    void Set() override {
        {
            std::lock_guard<std::mutex> lock(clock_->mutex_);
            signaled_ = true;
        }
        clock_->cv_.notify_all();
    }

    void Reset() override {
        std::lock_guard<std::mutex> lock(clock_->mutex_);
        signaled_ = false;
    }

    platform::WaitResult Wait(uint32_t timeoutMs) override {
        std::unique_lock<std::mutex> lock(clock_->mutex_);
        const int64_t deadline = clock_->nowUs_ + static_cast<int64_t>(timeoutMs) * 1000;
        for (;;) {
            if (signaled_) {
                signaled_ = false;
                return platform::WaitResult::Signaled;
            }
            if (clock_->nowUs_ >= deadline) return platform::WaitResult::TimedOut;
            if (clock_->work_ == 0) {
                // Nothing pending can set this event: the time-out passes at once.
                clock_->nowUs_ = deadline;
                lock.unlock();
                clock_->cv_.notify_all();
                return platform::WaitResult::TimedOut;
            }
            clock_->cv_.wait(lock);
        }
    }

private:
    std::shared_ptr<SimClock> clock_;
    bool signaled_ = false;  // guarded by the clock's lock
};

SimClock::SimClock(bool simulated) : simulated_(simulated), start_(std::chrono::steady_clock::now()) {}

int64_t SimClock::NowUs() {
    if (!simulated_) {
        return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start_)
            .count();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    return nowUs_;
}

void SimClock::Sleep(uint32_t ms) {
    if (!simulated_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        nowUs_ += static_cast<int64_t>(ms) * 1000;
    }
    cv_.notify_all();
}

void SimClock::AdvanceTo(int64_t us) {
    if (!simulated_) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        nowUs_ = std::max(nowUs_, us);
    }
    cv_.notify_all();
}

std::chrono::steady_clock::time_point SimClock::WallTimeOf(int64_t us) const {
    return start_ + std::chrono::microseconds(us);
}

void SimClock::BeginWork() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++work_;
}

void SimClock::EndWork() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        --work_;
    }
    cv_.notify_all();
}

std::shared_ptr<platform::Event> SimClock::NewEvent() {
    if (!simulated_) return std::make_shared<platform::SystemEvent>();
    return std::make_shared<SimEvent>(shared_from_this());
}

}  // namespace sv::sim
