#pragma once

// Shared pieces of the simulator tests: a sample callback that records every
// delivery, opening a device down to its reader, and the simulator's trace
// lines of a scope.

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/backend/Backend.h"
#include "platform/sim/SimBackend.h"

namespace svtest {

struct Delivery {
    sv::platform::HResult status = 0;
    uint32_t stream = 0;
    uint32_t flags = 0;
    int64_t timestamp = 0;
    std::vector<uint8_t> bytes;
    bool hadSample = false;
    std::thread::id thread;
};

class Collector : public sv::platform::SampleCallback {
public:
    explicit Collector(std::shared_ptr<sv::platform::Event> event) : event_(std::move(event)) {}

    void OnReadSample(sv::platform::HResult status, uint32_t stream, uint32_t flags, int64_t timestamp,
                      const std::shared_ptr<sv::platform::Sample>& sample) override {
        Delivery d;
        d.status = status;
        d.stream = stream;
        d.flags = flags;
        d.timestamp = timestamp;
        d.thread = std::this_thread::get_id();
        if (sample) {
            const uint8_t* data = nullptr;
            uint32_t length = 0;
            if (sample->Lock(data, length) == 0) d.bytes.assign(data, data + length);
            sample->Unlock();
            d.hadSample = true;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            deliveries_.push_back(std::move(d));
        }
        event_->Set();
    }

    void OnFlush(uint32_t) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++flushes_;
        }
        event_->Set();
    }

    // Waits (device time) for the next callback.
    bool WaitOne(uint32_t timeoutMs = 5000) {
        return event_->Wait(timeoutMs) == sv::platform::WaitResult::Signaled;
    }

    // Waits until `n` sample callbacks have come; the event is auto-reset, so
    // several callbacks may have set it once.
    bool WaitFor(size_t n, uint32_t timeoutMs = 5000) {
        while (Count() < n) {
            if (!WaitOne(timeoutMs)) return Count() >= n;
        }
        return true;
    }

    std::vector<Delivery> Deliveries() {
        std::lock_guard<std::mutex> lock(mutex_);
        return deliveries_;
    }
    size_t Count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return deliveries_.size();
    }
    int Flushes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return flushes_;
    }

private:
    std::shared_ptr<sv::platform::Event> event_;
    std::mutex mutex_;
    std::vector<Delivery> deliveries_;
    int flushes_ = 0;
};

struct OpenDevice {
    std::shared_ptr<sv::platform::DeviceActivation> activation;
    std::shared_ptr<sv::platform::MediaSource> source;
    std::shared_ptr<Collector> callback;
    std::shared_ptr<sv::platform::SourceReader> reader;
};

// Enumerates `backend` and activates device `index`: `d` gets its activation
// and media source. Answers the activation's result; a missing device is a
// failure of its own and leaves `d.activation` empty.
inline sv::platform::HResult ActivateSource(sv::platform::Backend& backend, size_t index, OpenDevice& d) {
    std::vector<std::shared_ptr<sv::platform::DeviceActivation>> devices;
    EXPECT_EQ(backend.EnumDeviceSources(devices), 0);
    if (index >= devices.size()) {
        ADD_FAILURE() << "no device " << index;
        return sv::platform::HR_E_FAIL;
    }
    d.activation = devices[index];
    return d.activation->ActivateObject(d.source);
}

// Enumerates `backend` and opens device `index` down to an asynchronous reader.
inline OpenDevice Open(sv::platform::Backend& backend, size_t index) {
    OpenDevice d;
    const sv::platform::HResult activated = ActivateSource(backend, index, d);
    if (!d.activation) return d;
    EXPECT_EQ(activated, 0);
    if (!d.source) return d;
    d.callback = std::make_shared<Collector>(backend.NewEvent());
    EXPECT_EQ(d.source->CreateSourceReader(d.callback, d.reader), 0);
    return d;
}

// Selects native type `index` as the current type.
inline sv::platform::HResult SelectType(sv::platform::SourceReader& reader, uint32_t index) {
    std::shared_ptr<sv::platform::MediaType> type;
    const sv::platform::HResult hr = reader.GetNativeMediaType(0, index, type);
    if (hr != 0) return hr;
    return reader.SetCurrentMediaType(0, *type);
}

// A one-device world: `formats` and `extra` are JSON fragments.
inline std::string OneDeviceWorld(const std::string& formats, const std::string& extra = "") {
    return R"({"devices": [{"id": "cam", "name": "Test Cam", "vendorId": "1234", "productId": "5678",
               "serial": "ABCDE12345", "instanceKey": "6&abc&0&0000", "formats": )" +
           formats + (extra.empty() ? "" : ", " + extra) + "}]}";
}

// The trace lines `backend` writes while this lives. The sink is cleared when
// it ends, so a test that returns early leaves no sink behind; the backend must
// outlive it.
class TraceCapture {
public:
    explicit TraceCapture(sv::sim::SimBackend& backend) : backend_(&backend) {
        backend_->SetTraceSink([this](const std::string& line) {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.push_back(line);
        });
    }
    ~TraceCapture() { Stop(); }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    // Ends the capture early; the lines so far stay.
    void Stop() {
        if (backend_ == nullptr) return;
        backend_->SetTraceSink(nullptr);
        backend_ = nullptr;
    }
    // Forgets the lines so far.
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.clear();
    }

    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }
    // Every line parsed: each is one JSON object.
    std::vector<nlohmann::json> Json() const {
        std::vector<nlohmann::json> parsed;
        for (const auto& line : Lines()) parsed.push_back(nlohmann::json::parse(line));
        return parsed;
    }
    // Lines that contain every one of `parts`.
    int Count(std::initializer_list<std::string> parts) const {
        int n = 0;
        for (const auto& line : Lines()) {
            bool all = true;
            for (const auto& part : parts) all = all && line.find(part) != std::string::npos;
            if (all) ++n;
        }
        return n;
    }

private:
    sv::sim::SimBackend* backend_;
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace svtest
