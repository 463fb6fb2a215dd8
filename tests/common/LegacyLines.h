#pragma once

// The legacy channel's lines as a test reads them.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <spdlog/sinks/base_sink.h>

#include "base/LegacyLog.h"

namespace sv::test {

// Collects the legacy channel's messages (without the pattern's decoration).
class LegacyLines final : public spdlog::sinks::base_sink<std::mutex> {
public:
    // One sink for the whole process, added to the channel once and never
    // taken away: the channel's worker thread may still be inside it after a
    // test has seen its last line, so it must outlive every test.
    static std::shared_ptr<LegacyLines> Shared() {
        static const std::shared_ptr<LegacyLines> shared = [] {
            auto lines = std::make_shared<LegacyLines>();
            sv::SzLogChannel::Instance()->Logger()->sinks().push_back(lines);
            return lines;
        }();
        return shared;
    }

    // Waits (bounded) until the channel's worker has delivered `marker`, which
    // this writes last, so that every earlier line is here.
    std::vector<std::string> Settle() {
        const std::string marker = "--settle " + std::to_string(++settles_);
        sv::SzLogChannel::Instance()->Error("%s", marker.c_str());
        std::unique_lock<std::mutex> lock(seenMutex_);
        seen_.wait_for(lock, std::chrono::seconds(10), [&] { return !lines_.empty() && lines_.back() == marker; });
        std::vector<std::string> out;
        for (const auto& l : lines_) {
            if (l.rfind("--settle ", 0) != 0) out.push_back(l);
        }
        lines_.clear();
        return out;
    }

protected:
    void sink_it_(const spdlog::details::log_msg& msg) override {
        std::lock_guard<std::mutex> lock(seenMutex_);
        lines_.emplace_back(msg.payload.data(), msg.payload.size());
        seen_.notify_all();
    }
    void flush_() override {}

private:
    std::mutex seenMutex_;
    std::condition_variable seen_;
    std::vector<std::string> lines_;
    int settles_ = 0;
};

}  // namespace sv::test
