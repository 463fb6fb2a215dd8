#pragma once

// Legacy control objects on a one-camera simulated machine: the object gets
// the device's media source as the legacy camera class gives it, and the
// lines it writes on the legacy channel are collected.

#include <memory>
#include <string>
#include <vector>

#include "base/LegacyLog.h"
#include "common/LegacyLines.h"
#include "camera/MakerWorld.h"
#include "legacy/CamCtrl.h"

namespace svtest {

using sv::test::LegacyLines;

class LegacyTest : public MakerCameraTest {
protected:
    void SetUp() override {
        MakerCameraTest::SetUp();
        lines_ = LegacyLines::Shared();
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
