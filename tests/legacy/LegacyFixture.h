#pragma once

// Legacy control objects on a one-camera simulated machine: the object gets
// the device's media source as the legacy camera class gives it, and the
// lines it writes on the legacy channel are collected.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <spdlog/sinks/base_sink.h>

#include "base/LegacyLog.h"
#include "camera/MakerWorld.h"
#include "legacy/CamCtrl.h"

namespace svtest {

// Collects the legacy channel's messages (without the pattern's decoration).
class LegacyLines final : public spdlog::sinks::base_sink<std::mutex> {
public:
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

class LegacyTest : public MakerCameraTest {
protected:
    void SetUp() override {
        MakerCameraTest::SetUp();
        // One sink for the whole process, added once and never taken away:
        // the channel's worker thread may still be inside it after a test has
        // seen its last line, so it must outlive every test.
        static const std::shared_ptr<LegacyLines> shared = [] {
            auto lines = std::make_shared<LegacyLines>();
            sv::SzLogChannel::Instance()->Logger()->sinks().push_back(lines);
            return lines;
        }();
        lines_ = shared;
        sv::SzLogChannel::Instance()->SetLevel(0);
        (void)lines_->Settle();  // nothing of an earlier test is read as this one's
    }
    void TearDown() override {
        (void)lines_->Settle();
        sv::SzLogChannel::Instance()->SetLevel(2);
        source_.reset();
        MakerCameraTest::TearDown();
    }

    // Installs a world with one camera and gives `ctrl` its media source.
    // `readVersion` reads the firmware version first, as the camera class does
    // on opening, which chooses the packet size.
    void Attach(CamCtrl& ctrl, const std::string& name, const std::string& xu, const std::string& extra = "",
                bool readVersion = true) {
        InstallWorld(MakerWorldJson(name, name.rfind("KIVO", 0) == 0 ? "c001" : "c002", xu, extra));
        std::vector<std::shared_ptr<sv::platform::DeviceActivation>> devices;
        ASSERT_EQ(backend_->EnumDeviceSources(devices), 0);
        ASSERT_EQ(devices.size(), 1u);
        ASSERT_EQ(devices[0]->ActivateObject(source_), 0);
        ctrl.SetMediaSource(source_);
        if (readVersion) {
            uint8_t version[4] = {};
            ASSERT_EQ(ctrl.GetUSBFirmwareVersion(version), 0);
        }
        lines_->Settle();
    }

    // The extension-unit transfers of `work`, and the generic I2C ones among them.
    std::vector<I2cTransfer> I2cOf(const std::function<void()>& work) {
        TraceCapture trace(*backend_);
        work();
        trace.Stop();
        return I2cTransfersOf(trace);
    }

    std::vector<std::string> Lines() { return lines_->Settle(); }
    // Whether a line "[where][<line>] text" was written since the last look.
    bool Logged(const std::string& where, const std::string& text) {
        const std::string head = "[" + where + "][";
        const std::string tail = "] " + text;
        for (const auto& l : Lines()) {
            if (l.rfind(head, 0) == 0 && l.size() >= head.size() + tail.size() &&
                l.compare(l.size() - tail.size(), tail.size(), tail) == 0) {
                return true;
            }
        }
        return false;
    }

    std::shared_ptr<LegacyLines> lines_;
    std::shared_ptr<sv::platform::MediaSource> source_;
};

inline const char* const kKivoXu = R"({"model": "kivo"})";
inline const char* const kLiraXu = R"({"model": "lira"})";

}  // namespace svtest
