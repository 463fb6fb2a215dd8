#pragma once

// The machine's trace: one JSON object per line for every device-level
// operation, written to the file named by SORVANSDK_SIM_TRACE (flushed per line)
// and to an optional in-process sink.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

namespace sv::sim {

class SimTrace {
public:
    using Line = nlohmann::ordered_json;
    using Sink = std::function<void(const std::string&)>;

    SimTrace() = default;
    ~SimTrace();
    SimTrace(const SimTrace&) = delete;
    SimTrace& operator=(const SimTrace&) = delete;

    // Appends to `path`; false (with `error`) when it cannot be opened.
    bool OpenFile(const std::string& path, std::string& error);
    void SetSink(Sink sink);
    bool Enabled() const { return enabled_.load(std::memory_order_acquire); }

    // A line starting with the device time, the device id and the operation.
    static Line Begin(int64_t timeUs, const std::string& device, const char* op);
    void Write(const Line& line);

    // Lower-case hexadecimal with trailing zero bytes left out.
    static std::string PayloadHex(const uint8_t* data, size_t length);

private:
    void UpdateEnabled();

    std::mutex mutex_;
    std::FILE* file_ = nullptr;
    Sink sink_;
    std::atomic<bool> enabled_{false};
};

}  // namespace sv::sim
