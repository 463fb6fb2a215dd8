// The upgrade methods: work on a thread of its own, progress messages and
// one final answer in order on the platform thread, one job per device.

#include <chrono>
#include <thread>

#include "PluginTestSupport.h"

using namespace plugintest;
using sorvansdk_host::AppMessage;
using sorvansdk_host::Describe;

namespace {

class UpgradeTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        ASSERT_TRUE(MakeImages("make-sensor-images", images_.path()));
        ASSERT_TRUE(MakeImages("make-fx3-images", images_.path()));
    }

    // The progress values of one type, checked to have come on the platform
    // thread before `answer`.
    std::vector<int> Progress(const std::string& type, const Reply& answer) {
        std::vector<int> values;
        for (const AppMessage& m : host_->Messages()) {
            EXPECT_EQ(m.method, "onProgressUpdate");
            EXPECT_TRUE(m.onPlatformThread) << "progress sent off the platform thread";
            const auto& map = std::get<EncodableMap>(m.arguments);
            EXPECT_EQ(map.size(), 2u);
            if (map.at(S("type")) != S(type)) continue;
            EXPECT_LT(m.sequence, answer.sequence) << "progress after the final answer";
            values.push_back(std::get<int32_t>(map.at(S("progress"))));
        }
        return values;
    }

    ScratchDir images_;
};

}  // namespace

TEST_F(UpgradeTest, SensorUpgradeSendsOrderedProgressThenOneAnswer) {
    const int kivo = OpenHandle(kKivo);
    ::testing::internal::CaptureStderr();
    auto pending = host_->Start("upgradeSensorFW", L({I(kivo), S(images_.File("kano-bootdata.img"))}));
    const Reply answer = pending->Wait();
    const std::string debug = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(answer.onPlatformThread);
    EXPECT_EQ(AsInt(answer), 0) << Describe(answer);
    const std::vector<int> progress = Progress("sensor_upgrade_progress", answer);
    ASSERT_FALSE(progress.empty());
    for (size_t i = 1; i < progress.size(); ++i) EXPECT_LE(progress[i - 1], progress[i]);
    EXPECT_EQ(progress.back(), 100);
#if !defined(_WIN32)
    // The debugger's output: standard error here (on Windows the system's
    // debug output, which a test cannot read back).
    for (int value : progress)
        EXPECT_NE(debug.find("[SORVANSDK] Sensor upgrade progress: " + std::to_string(value) + "%\n"), std::string::npos)
            << debug;
#endif
    EXPECT_EQ(Call("getSensorFirmwareVersion", I(kivo)).value, S("02.01.400.09"));
}

TEST_F(UpgradeTest, Fx3UpgradeAnswersWhenTheDownloadEnds) {
    const int kivo = OpenHandle(kKivo);
    ASSERT_EQ(AsInt(Call("gotoFX3ProgramMode", I(kivo))), 0);
    const Reply answer = Call("upgradeFX3FW", L({I(1), S(images_.File("fx3-programmer.img"))}));
    EXPECT_EQ(AsInt(answer), 0) << Describe(answer);
    const std::vector<int> progress = Progress("fx3_upgrade_progress", answer);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(Progress("sensor_upgrade_progress", answer).empty());
}

TEST_F(UpgradeTest, AFailingUpgradeIsANegativeIntInASuccess) {
    const int kivo = OpenHandle(kKivo);
    const Reply answer = Call("upgradeSensorFW", L({I(kivo), S(images_.File("missing.img"))}));
    EXPECT_LT(AsInt(answer), 0) << Describe(answer);
    EXPECT_GT(AsInt(answer), -1000) << Describe(answer);
}

TEST_F(UpgradeTest, ArgumentErrorsAnswerAtOnceAndStartNothing) {
    EXPECT_TRUE(IsError(Call("upgradeFX3FW", L({I(2)})), "SORVANSDK_ERROR",
                        "Exception in SvUpgradeFX3FW: Arguments must be a list of 2 elements: [target, imgPath]",
                        EncodableValue()));
    EXPECT_TRUE(IsError(Call("upgradeFX3FW", L({S("2"), S("x")})), "SORVANSDK_ERROR",
                        "Exception in SvUpgradeFX3FW: bad variant access", EncodableValue()));
    EXPECT_TRUE(IsError(Call("upgradeSensorFW", I(1)), "SORVANSDK_ERROR",
                        "Exception in SvUpgradeSensorFW: Arguments must be a list of 2 elements: [handleId, imgPath]",
                        EncodableValue()));
    const int kivo = NewHandle(kKivo);
    ASSERT_EQ(AsInt(Call("releaseCameraHandle", I(kivo))), 0);
    EXPECT_TRUE(IsError(Call("upgradeSensorFW", L({I(kivo), S(images_.File("kano-bootdata.img"))})), "INVALID_HANDLE",
                        "Camera handle not found", EncodableValue()));
    EXPECT_TRUE(IsError(Call("cleanSensorFW", S("1")), "SORVANSDK_ERROR", "Failed to clean sensor firmware",
                        S("Handle ID must be an integer")));
    EXPECT_TRUE(host_->Messages().empty());
}

TEST_F(UpgradeTest, ASecondJobOnTheSameDeviceIsRefusedWhileTheFirstRuns) {
    const int first = OpenHandle(kKivo);
    const int second = NewHandle(kKivo);  // another object for the same device
    const std::string image = images_.File("kano-bootdata.img");
    auto calls = host_->StartTogether({{"upgradeSensorFW", L({I(first), S(image)})},
                                       {"upgradeSensorFW", L({I(second), S(image)})},
                                       {"cleanSensorFW", I(first)}});
    const EncodableValue none;
    EXPECT_TRUE(IsError(calls[1]->Wait(), "SORVANSDK_ERROR", "An upgrade is already running on this camera", none));
    EXPECT_TRUE(IsError(calls[2]->Wait(), "SORVANSDK_ERROR", "An upgrade is already running on this camera", none));
    EXPECT_EQ(AsInt(calls[0]->Wait()), 0);
    // Once answered, the device is free again.
    EXPECT_EQ(AsInt(Call("upgradeSensorFW", L({I(first), S(image)}))), 0);
}

TEST_F(UpgradeTest, ASecondFx3UpgradeIsRefusedWhileOneRuns) {
    const int kivo = OpenHandle(kKivo);
    ASSERT_EQ(AsInt(Call("gotoFX3ProgramMode", I(kivo))), 0);
    const std::string image = images_.File("fx3-programmer.img");
    auto calls = host_->StartTogether({{"upgradeFX3FW", L({I(1), S(image)})}, {"upgradeFX3FW", L({I(1), S(image)})}});
    EXPECT_TRUE(IsError(calls[1]->Wait(), "SORVANSDK_ERROR", "An FX3 upgrade is already running", EncodableValue()));
    EXPECT_EQ(AsInt(calls[0]->Wait()), 0);
}

TEST_F(UpgradeTest, ReleasingTheHandleDuringAJobKeepsItsCamera) {
    const int kivo = OpenHandle(kKivo);
    auto calls = host_->StartTogether({{"upgradeSensorFW", L({I(kivo), S(images_.File("kano-bootdata.img"))})},
                                       {"releaseCameraHandle", I(kivo)}});
    EXPECT_EQ(AsInt(calls[1]->Wait()), 0);
    EXPECT_EQ(AsInt(calls[0]->Wait()), 0);
    EXPECT_TRUE(IsError(Call("getDeviceName", I(kivo)), "INVALID_HANDLE", "Camera handle not found", EncodableValue()));
}

TEST_F(UpgradeTest, DestroyingThePluginDuringAJobStopsProgressButTheAnswerStillComes) {
    const int kivo = OpenHandle(kKivo);
    auto pending = host_->Start("upgradeSensorFW", L({I(kivo), S(images_.File("kano-bootdata.img"))}));
    host_->DestroyPlugin();
    const size_t sentBefore = host_->Messages().size();
    const Reply answer = pending->Wait();
    EXPECT_EQ(AsInt(answer), 0) << Describe(answer);
    EXPECT_TRUE(answer.onPlatformThread);
    EXPECT_EQ(host_->Messages().size(), sentBefore) << "no progress through the channel of a plug-in that is gone";
}

TEST_F(UpgradeTest, CleaningALumoModuleRunsAsAJob) {
    const int lira = OpenHandle(kLira);
    const Reply answer = Call("cleanSensorFW", I(lira));
    ASSERT_TRUE(IsSuccess(answer)) << Describe(answer);
    EXPECT_TRUE(host_->Messages().empty()) << "cleaning reports no progress";
}

TEST_F(UpgradeTest, CleaningWithTheImageToComeChecksItBeforeErasing) {
    const int lira = OpenHandle(kLira);
    const int kivo = OpenHandle(kKivo);
    const std::string lumoImage = images_.File("lumo-firmware.img");
    const std::string kanoImage = images_.File("kano-bootdata.img");
    const EncodableValue kivoVersion = Call("getSensorFirmwareVersion", I(kivo)).value;
    // Images the upgrade would refuse: nothing is erased, the result is the check's.
    EXPECT_EQ(AsInt(Call("cleanSensorFW", L({I(kivo), S(images_.File("missing.img"))}))), -1);
    EXPECT_EQ(AsInt(Call("cleanSensorFW", L({I(kivo), S(lumoImage)}))), -1);
    EXPECT_EQ(Call("getSensorFirmwareVersion", I(kivo)).value, kivoVersion) << "the store was erased";
    EXPECT_EQ(AsInt(Call("cleanSensorFW", L({I(lira), S(kanoImage)}))), -1);
    EXPECT_LT(AsInt(Call("upgradeSensorFW", L({I(lira), S(lumoImage)}))), 0) << "the module was erased";
    // The image the upgrade takes: erased, then upgraded.
    EXPECT_EQ(AsInt(Call("cleanSensorFW", L({I(lira), S(lumoImage)}))), 0);
    EXPECT_EQ(AsInt(Call("upgradeSensorFW", L({I(lira), S(lumoImage)}))), 0);
    EXPECT_TRUE(IsError(Call("cleanSensorFW", L({I(lira), I(2)})), "SORVANSDK_ERROR", "Failed to clean sensor firmware",
                        S("bad variant access")));
}

TEST_F(UpgradeTest, ShuttingTheEngineDownDuringAJobDropsTheAnswerSafely) {
    const int kivo = OpenHandle(kKivo);
    // The job's first step is reading its image, and it reads it through a
    // gate: whatever the threads do, it cannot answer before the gate opens,
    // and the gate opens only once the engine is gone.
    GatedFile image(images_.File("gated-bootdata.img"));
    ASSERT_TRUE(image.Ready());
    const std::vector<uint8_t> bytes = ReadBytes(images_.File("kano-bootdata.img"));
    ASSERT_FALSE(bytes.empty());
    auto pending = host_->Start("upgradeSensorFW", L({I(kivo), S(image.Path())}));
    ::testing::internal::CaptureStderr();
    host_->ShutdownEngine();  // the call above is handled first: it was queued first
    EXPECT_FALSE(pending->Answered()) << "the job is still at its gate";
    EXPECT_GT(host_->engine().MessengerReferences(), 1) << "the job holds the messenger while it runs";
    EXPECT_TRUE(image.Open(bytes));
    // The job holds references of the messenger (its answer, its road to the
    // platform thread) until it is done with them.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (host_->engine().MessengerReferences() > 1 && std::chrono::steady_clock::now() < limit)
        std::this_thread::yield();
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(host_->engine().MessengerReferences(), 1) << "the job let go of the engine";
    EXPECT_FALSE(pending->Answered()) << "no answer through an engine that is gone";

    // The upgrade itself ran to its end; the registry serves the next engine.
    host_ = std::make_unique<sorvansdk_host::PluginHost>(SORVANSDK_PLUGIN_PATH);
    EXPECT_EQ(Call("getSensorFirmwareVersion", I(kivo)).value, S("02.01.400.09"));
}
