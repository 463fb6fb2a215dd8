// The register words the KIVO and LIRA controls put on the wire, their
// firmware gates, and the family functions (frame rate, throughput, counters,
// work mode, module facts), checked against the simulator's trace.

#include <cmath>

#include "camera/MakerWorld.h"
#include "camera/SvSorvanCamera.h"
#include "common/LogCapture.h"

using sv::test::LogCapture;
using svtest::HasLineEnding;
using svtest::MakerCameraTest;
using svtest::RegisterWrite;

namespace {

using Writes = std::vector<RegisterWrite>;

class MakerControlsTest : public MakerCameraTest {
protected:
    std::shared_ptr<SvCamera> Kivo(const std::string& xu = R"({"model": "kivo"})", const std::string& extra = "") {
        return OpenMaker("KIVO-AR0234 Camera", "0234", xu, extra);
    }
    std::shared_ptr<SvCamera> Lira(const std::string& xu = R"({"model": "lira"})", const std::string& extra = "") {
        return OpenMaker("LIRA-OX05B Camera", "5b05", xu, extra);
    }
};

TEST_F(MakerControlsTest, KivoFixedPointAndCodedWords) {
    auto cam = Kivo();
    EXPECT_EQ(Set(cam, SV_ISP_GAMMA, 22), (Writes{{0x700A, 0x2333}}));
    EXPECT_EQ(Get(cam, SV_ISP_GAMMA), 22) << "0x2333 reads as 2.199951171875";
    EXPECT_EQ(Set(cam, SV_ISP_BRIGHTNESS, -5), (Writes{{0x7000, 0xF800}}));
    EXPECT_EQ(Set(cam, SV_ISP_BRIGHTNESS, 10), (Writes{{0x7000, 0x1000}}));
    EXPECT_EQ(Set(cam, SV_ISP_ZOOM, 15), (Writes{{0x1010, 0x0180}}));
    EXPECT_EQ(Set(cam, SV_ISP_PAN, 10), (Writes{{0x118C, 0x0100}}));
    EXPECT_EQ(Set(cam, SV_ISP_BACKLIGHT_COMPENSATION, -5), (Writes{{0x501A, 0xFF80}}));
    EXPECT_EQ(Get(cam, SV_ISP_BACKLIGHT_COMPENSATION), -5);
    EXPECT_EQ(Set(cam, SV_ISP_WHITE_BALANCE_MODE, 1), (Writes{{0x5100, 0x115F}}));
    EXPECT_EQ(Set(cam, SV_ISP_JPEG_QUALITY, 90), (Writes{{0x1018, 0x445A}}));
    EXPECT_EQ(Set(cam, SV_ISP_FLICK_MODE, 1), (Writes{{0x5440, 0x3201}}));
    EXPECT_EQ(Set(cam, SV_ISP_SPECIAL_EFFECT, 2), (Writes{{0x1016, 0x0006}}));
    EXPECT_EQ(Set(cam, SV_ISP_EXPOSURE_GAIN, 200), (Writes{{0x5006, 0xC800}}));
    EXPECT_EQ(Set(cam, SV_ISP_EXPOSURE_TIME, 100000), (Writes{{0x500C, 0x0001}, {0x500E, 0x86A0}}));
    EXPECT_EQ(Set(cam, SV_ISP_EXPOSURE_MAX_TIME, 70000), (Writes{{0x2028, 0x0001}, {0x202A, 0x1170}}))
        << "the limits go straight to the ISP at 0x3D";

    // A backlight register with a high byte above 0x0F counts as negative.
    ASSERT_EQ(SvAP1302I2CWrite(cam, 0x501A, 0x1000), 0);
    EXPECT_EQ(Get(cam, SV_ISP_BACKLIGHT_COMPENSATION), -2400);
    // Mode codes not in the table leave the caller's value alone.
    ASSERT_EQ(SvAP1302I2CWrite(cam, 0x5100, 0x1151), 0);
    int value = 7, flag = 0;
    ASSERT_EQ(SvGetISPImageProcessing(cam, SV_ISP_WHITE_BALANCE_MODE, value, flag), 0);
    EXPECT_EQ(value, 7);
}

TEST_F(MakerControlsTest, KivoBacklightRefusesSilently) {
    auto cam = Kivo();
    LogCapture log;
    EXPECT_TRUE(Set(cam, SV_ISP_BACKLIGHT_COMPENSATION, 160, -1).empty());
    EXPECT_EQ(log.Text().find("Backlight"), std::string::npos);
}

TEST_F(MakerControlsTest, KivoAutomaticGainNeedsFirmwareAndSetsOneFramePeriod) {
    {
        auto cam = Kivo(R"({"model": "kivo", "firmwareVersion": "24.07.03.00"})");
        LogCapture log;
        EXPECT_TRUE(Set(cam, SV_ISP_EXPOSURE_MODE, 2, -1).empty());
        EXPECT_TRUE(HasLineEnding(log.Text(), "] UVC version not support AE mode AUTO_GAIN"));
    }
    {
        auto cam = Kivo();  // 24.07.03.01, 30 fps
        EXPECT_EQ(Set(cam, SV_ISP_EXPOSURE_MODE, 2), (Writes{{0x500C, 0x0000}, {0x500E, 0x8235}, {0x5002, 0x0299}}));
    }
    {
        auto cam = Kivo(R"({"model": "kivo", "ispRegisters": {"0x2020": 0}})");
        EXPECT_EQ(Set(cam, SV_ISP_EXPOSURE_MODE, 2), (Writes{{0x5002, 0x0299}})) << "no frame period at 0 fps";
    }
}

TEST_F(MakerControlsTest, KivoMaxFpsRewritesTheExposureOnlyInAutomaticGain) {
    auto cam = Kivo(R"({"model": "kivo", "ispRegisters": {"0x5002": "0x0299"}})");
    EXPECT_EQ(WritesOf([&] { EXPECT_EQ(SvSetMaxFPS(cam, 25), 0); }),
              (Writes{{0x500C, 0x0000}, {0x500E, 0x9C40}, {0x2020, 0x1900}}));
    uint8_t fps = 0;
    ASSERT_EQ(SvGetMaxFPS(cam, fps), 0);
    EXPECT_EQ(fps, 25);
    // 0 fps has no frame period: refused, nothing written.
    LogCapture log;
    EXPECT_TRUE(WritesOf([&] { EXPECT_EQ(SvSetMaxFPS(cam, 0), -1); }).empty());
    EXPECT_TRUE(log.Contains("AUTO_GAIN"));

    ASSERT_EQ(SvAP1302I2CWrite(cam, 0x5002, 0x029C), 0);
    EXPECT_EQ(WritesOf([&] { EXPECT_EQ(SvSetMaxFPS(cam, 25), 0); }), (Writes{{0x2020, 0x1900}}));
    EXPECT_EQ(WritesOf([&] { EXPECT_EQ(SvSetMaxFPS(cam, 0), 0); }), (Writes{{0x2020, 0x0000}}));
}

TEST_F(MakerControlsTest, KivoThroughputIsScaledAndMustFit) {
    auto cam = Kivo();
    EXPECT_EQ(WritesOf([&] { EXPECT_EQ(SvSetThroughPut(cam, 1023), 0); }), (Writes{{0x6132, 0xFFC0}}));
    uint16_t value = 0;
    ASSERT_EQ(SvGetThroughPut(cam, value), 0);
    EXPECT_EQ(value, 1023);
    LogCapture log;
    EXPECT_TRUE(WritesOf([&] { EXPECT_EQ(SvSetThroughPut(cam, 1024), -1); }).empty()) << "would wrap to 0";
    EXPECT_TRUE(log.Contains("Throughput Range: 0 ~ 1023"));
}

TEST_F(MakerControlsTest, AFailedExposureWordFailsTheSetter) {
    // KIVO: the ISP register packets after open (flip read) are sets 2 and 3;
    // the low word (set 3) is lost.
    auto kivo = Kivo(R"({"model": "kivo"})", R"("faults": [{"op": "xu.set", "selector": 5, "on": 3}])");
    EXPECT_EQ(SvSetISPImageProcessing(kivo, SV_ISP_EXPOSURE_TIME, 5000), -1);
    // LIRA: the flip read at open is generic I2C set 1; the limit's high word is set 2.
    auto lira = Lira(R"({"model": "lira"})", R"("faults": [{"op": "xu.set", "selector": 6, "on": 2}])");
    EXPECT_EQ(SvSetISPImageProcessing(lira, SV_ISP_EXPOSURE_MIN_TIME, 5000), -1);
    EXPECT_EQ(SvSetISPImageProcessing(lira, SV_ISP_EXPOSURE_MIN_TIME, 5000), 0) << "the fault was one transfer";
    EXPECT_EQ(Get(lira, SV_ISP_EXPOSURE_MIN_TIME), 5000);
}

TEST_F(MakerControlsTest, KivoCountersAndWorkMode) {
    auto cam = Kivo();
    SV_SENSOR_MODE mode = SV_SENSOR_MODE_STANDBY;
    ASSERT_EQ(SvGetSensorWorkMode(cam, mode), 0);
    EXPECT_EQ(mode, SV_SENSOR_MODE_ACTIVE);
    EXPECT_EQ(WritesOf([&] { EXPECT_EQ(SvResetTimestamp(cam), 0); }), (Writes{{0x6126, 0x0100}}));
    EXPECT_EQ(WritesOf([&] { EXPECT_EQ(SvResetFrameCount(cam), 0); }), (Writes{{0x6126, 0x0200}}));
    float seconds = -1;
    ASSERT_EQ(SvGetTimestamp(cam, seconds), 0);
    EXPECT_GE(seconds, 0.0f);
    EXPECT_LT(seconds, 1.0f) << "just restarted";

    auto standby = Kivo(R"({"model": "kivo", "standby": true})");
    ASSERT_EQ(SvGetSensorWorkMode(standby, mode), 0);
    EXPECT_EQ(mode, SV_SENSOR_MODE_STANDBY);
    LogCapture log;
    EXPECT_TRUE(WritesOf([&] { EXPECT_EQ(SvResetTimestamp(standby), -1); }).empty());
    EXPECT_TRUE(WritesOf([&] { EXPECT_EQ(SvResetFrameCount(standby), -1); }).empty());
    const std::string text = log.Text();
    EXPECT_TRUE(HasLineEnding(text, "] Fail to reset the Timestamp. Camera is in standby mode."));
    EXPECT_TRUE(HasLineEnding(text, "] Fail to reset the Frame Count. Camera is in standby mode."));
}

TEST_F(MakerControlsTest, CurrentExposureAndGainOfBothFamilies) {
    for (bool kivo : {true, false}) {
        auto cam = kivo ? Kivo(R"({"model": "kivo", "ispRegisters": {"0x00E8": 1, "0x00EA": "0x0002", "0x0192": "0x0700"}})")
                        : Lira(R"({"model": "lira", "mcuRegisters": {"0x312A": 1, "0x312C": 2, "0x312E": "0x0007"}})");
        uint32_t exposure = 0;
        uint8_t gain = 0;
        ASSERT_EQ(SvGetCurrentExposure(cam, exposure), 0);
        EXPECT_EQ(exposure, 0x00010002u) << (kivo ? "KIVO" : "LIRA");
        ASSERT_EQ(SvGetCurrentGain(cam, gain), 0);
        EXPECT_EQ(gain, 7);
    }
}

TEST_F(MakerControlsTest, LiraOffsetWordsAndTheirReadings) {
    auto cam = Lira();
    EXPECT_EQ(Set(cam, SV_ISP_BRIGHTNESS, 0), (Writes{{0x313E, 0x1000}}));
    EXPECT_EQ(Set(cam, SV_ISP_CONTRAST, 50), (Writes{{0x3144, 0xA000}}));
    EXPECT_EQ(Get(cam, SV_ISP_CONTRAST), 50);
    EXPECT_EQ(Set(cam, SV_ISP_CONTRAST, -50), (Writes{{0x3144, 0x0000}}));
    EXPECT_EQ(Get(cam, SV_ISP_CONTRAST), -50);
    EXPECT_EQ(Set(cam, SV_ISP_BACKLIGHT_COMPENSATION, 0), (Writes{{0x3130, 0x0F00}}));
    EXPECT_EQ(Set(cam, SV_ISP_BACKLIGHT_COMPENSATION, -150), (Writes{{0x3130, 0x0000}}));
    ASSERT_EQ(SvGenericI2CWrite(cam, 0x48, 2, 0x3130, 2, std::array<uint8_t, 2>{0x0F, 0x80}.data()), 0);
    EXPECT_EQ(Get(cam, SV_ISP_BACKLIGHT_COMPENSATION), 5);
    EXPECT_EQ(Set(cam, SV_ISP_SHARPNESS, -20), (Writes{{0x315C, 0x0000}}));
    EXPECT_EQ(Set(cam, SV_ISP_DENOISE, 20), (Writes{{0x3156, 0x4000}}));
    EXPECT_EQ(Set(cam, SV_ISP_GAMMA, 22), (Writes{{0x3150, 0x2333}}));
    EXPECT_EQ(Set(cam, SV_ISP_EXPOSURE_GAIN, 200), (Writes{{0x3124, 0x00C8}}));
    EXPECT_EQ(Get(cam, SV_ISP_EXPOSURE_GAIN), 200);
    EXPECT_EQ(Set(cam, SV_ISP_WHITE_BALANCE_MODE, 1), (Writes{{0x3136, 0x000F}}));
    EXPECT_EQ(Set(cam, SV_ISP_FLICK_MODE, 2), (Writes{{0x317C, 0x3C01}}));
    EXPECT_EQ(Set(cam, SV_ISP_JPEG_QUALITY, 90), (Writes{{0x3180, 0x005A}}));
    EXPECT_EQ(Set(cam, SV_ISP_EXPOSURE_TIME, 100000), (Writes{{0x3118, 0x0001}, {0x311A, 0x86A0}}));

    // A whole-register code that is not in the table (a KIVO-style word).
    ASSERT_EQ(SvGenericI2CWrite(cam, 0x48, 2, 0x3136, 2, std::array<uint8_t, 2>{0x11, 0x5F}.data()), 0);
    int value = 7, flag = 0;
    ASSERT_EQ(SvGetISPImageProcessing(cam, SV_ISP_WHITE_BALANCE_MODE, value, flag), 0);
    EXPECT_EQ(value, 7);
}

TEST_F(MakerControlsTest, LiraAutomaticGainNeedsBothFirmwares) {
    {
        auto cam = Lira();  // USB firmware 23.11.05.00
        LogCapture log;
        EXPECT_TRUE(Set(cam, SV_ISP_EXPOSURE_MODE, 2, -1).empty());
        EXPECT_TRUE(HasLineEnding(log.Text(), "] UVC version not support AE mode AUTO_GAIN"));
    }
    {
        auto cam = Lira(R"({"model": "lira", "firmwareVersion": "24.07.03.01",
                           "mcuRegisters": {"0x3000": "0x1807", "0x3002": "0x0100"}})");
        std::string lumo;
        ASSERT_EQ(SvGetLUMOFirmwareVersion(cam, lumo), 0);
        EXPECT_EQ(lumo, "24.07.01.00");
        LogCapture log;
        EXPECT_TRUE(Set(cam, SV_ISP_EXPOSURE_MODE, 2, -1).empty());
        EXPECT_TRUE(HasLineEnding(log.Text(), "] LUMO version not support AE mode AUTO_GAIN"));
    }
    {
        auto cam = Lira(R"({"model": "lira", "firmwareVersion": "24.07.03.01",
                           "mcuRegisters": {"0x3000": "0x1807", "0x3002": "0x0101"}})");
        EXPECT_EQ(Set(cam, SV_ISP_EXPOSURE_MODE, 2), (Writes{{0x3116, 0x0009}})) << "the exposure time is left alone";
    }
}

TEST_F(MakerControlsTest, LiraModuleFacts) {
    auto cam = Lira(R"({"model": "lira", "mcuRegisters": {"0x300C": "0x0105", "0x3108": 1500}})");
    SV_MCU_TYPE type = SV_MCU_TYPE_0;
    ASSERT_EQ(SvGetMCUType(cam, type), 0);
    EXPECT_EQ(type, SV_MCU_TYPE_OTHER) << "low byte 5";
    std::string lumo;
    ASSERT_EQ(SvGetLUMOFirmwareVersion(cam, lumo), 0);
    EXPECT_EQ(lumo, "01.03.00.02");
    uint16_t throughput = 0;
    ASSERT_EQ(SvGetThroughPut(cam, throughput), 0);
    EXPECT_EQ(throughput, 1500) << "unscaled";
    EXPECT_EQ(WritesOf([&] { EXPECT_EQ(SvSetThroughPut(cam, 4000), 0); }), (Writes{{0x3108, 4000}}));
    EXPECT_EQ(WritesOf([&] { EXPECT_EQ(SvSetMaxFPS(cam, 15), 0); }), (Writes{{0x310A, 0x000F}}));
    uint8_t fps = 0;
    ASSERT_EQ(SvGetMaxFPS(cam, fps), 0);
    EXPECT_EQ(fps, 15);

    // A module that does not answer: the version still comes back, as zeros.
    auto silent = Lira(R"({"model": "lira"})", R"("faults": [{"op": "xu.get", "selector": 6, "on": 1, "times": 0}])");
    lumo.clear();
    EXPECT_EQ(SvGetLUMOFirmwareVersion(silent, lumo), 0);
    EXPECT_EQ(lumo, "00.00.00.00");
    EXPECT_EQ(SvGetMCUType(silent, type), -1);
}

TEST_F(MakerControlsTest, LiraCountersAndWorkMode) {
    auto cam = Lira();
    EXPECT_EQ(WritesOf([&] { EXPECT_EQ(SvResetFrameCount(cam), 0); }), (Writes{{0x3184, 0x0200}}));
    EXPECT_EQ(WritesOf([&] { EXPECT_EQ(SvResetTimestamp(cam), 0); }), (Writes{{0x3184, 0x0100}}))
        << "the model clears the bits it acted on";
    float seconds = -1;
    ASSERT_EQ(SvGetTimestamp(cam, seconds), 0);
    EXPECT_GE(seconds, 0.0f);
    EXPECT_LT(seconds, 1.0f);
    uint8_t frames = 99;
    ASSERT_EQ(SvGetFrameCount(cam, frames), 0);
    EXPECT_LT(frames, 30);

    auto standby = Lira(R"({"model": "lira", "mcuRegisters": {"0x3176": "0x0001"}})");
    SV_SENSOR_MODE mode = SV_SENSOR_MODE_ACTIVE;
    ASSERT_EQ(SvGetSensorWorkMode(standby, mode), 0);
    EXPECT_EQ(mode, SV_SENSOR_MODE_STANDBY) << "only the high byte counts";
    LogCapture log;
    EXPECT_TRUE(WritesOf([&] { EXPECT_EQ(SvResetFrameCount(standby), -1); }).empty());
    EXPECT_TRUE(HasLineEnding(log.Text(), "] Fail to reset the Frame Count. Camera is in standby mode."));
}

TEST_F(MakerControlsTest, CounterResetsKeepTheOtherBitsOfTheCounterControl) {
    // Bits 8 and 9 (KIVO) or bits 0 and 1 of the first byte (LIRA) restart the
    // counters; every other bit is the camera's own and must survive a reset.
    constexpr uint16_t kOtherBits = 0x84A5;
    {
        auto cam = Kivo();
        ASSERT_EQ(SvAP1302I2CWrite(cam, 0x6126, kOtherBits), 0);
        EXPECT_EQ(WritesOf([&] { EXPECT_EQ(SvResetTimestamp(cam), 0); }), (Writes{{0x6126, 0x85A5}}));
        uint16_t control = 0;
        ASSERT_EQ(SvAP1302I2CRead(cam, 0x6126, control), 0);
        EXPECT_EQ(control, kOtherBits) << "KIVO, after the timestamp reset";
        EXPECT_EQ(WritesOf([&] { EXPECT_EQ(SvResetFrameCount(cam), 0); }), (Writes{{0x6126, 0x86A5}}));
        ASSERT_EQ(SvAP1302I2CRead(cam, 0x6126, control), 0);
        EXPECT_EQ(control, kOtherBits) << "KIVO, after the frame counter reset";
    }
    {
        auto cam = Lira();
        std::array<uint8_t, 2> preset{kOtherBits >> 8, kOtherBits & 0xFF};
        ASSERT_EQ(SvGenericI2CWrite(cam, 0x48, 2, 0x3184, 2, preset.data()), 0);
        auto control = [&] {
            std::array<uint8_t, 2> bytes{};
            EXPECT_EQ(SvGenericI2CRead(cam, 0x48, 2, 0x3184, 2, bytes.data()), 0);
            return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
        };
        EXPECT_EQ(WritesOf([&] { EXPECT_EQ(SvResetTimestamp(cam), 0); }), (Writes{{0x3184, 0x85A5}}));
        EXPECT_EQ(control(), kOtherBits) << "LIRA, after the timestamp reset";
        EXPECT_EQ(WritesOf([&] { EXPECT_EQ(SvResetFrameCount(cam), 0); }), (Writes{{0x3184, 0x86A5}}));
        EXPECT_EQ(control(), kOtherBits) << "LIRA, after the frame counter reset";
    }
}

TEST_F(MakerControlsTest, TimestampsFollowDeviceTime) {
    for (bool kivo : {true, false}) {
        auto cam = kivo ? Kivo() : Lira();
        ASSERT_EQ(SvResetTimestamp(cam), 0);
        sv::platform::GetBackend()->Sleep(5500);  // device time: no real wait
        float seconds = 0;
        ASSERT_EQ(SvGetTimestamp(cam, seconds), 0);
        EXPECT_NEAR(seconds, 5.5f, 0.05f) << (kivo ? "KIVO" : "LIRA");
        uint8_t frames = 0;
        ASSERT_EQ(SvGetFrameCount(cam, frames), 0);
        EXPECT_GE(frames, 160) << "30 per second since open";
    }
}

TEST_F(MakerControlsTest, TheShippedExposureTableCoversTheDefaultCameras) {
    InstallDefault();
    for (const auto& [part, limits] : {std::pair<const char*, std::pair<int, int>>{"KIVO", {50, 33333}},
                                       std::pair<const char*, std::pair<int, int>>{"LIRA", {100, 40000}}}) {
        auto cam = Camera(part);
        ASSERT_EQ(SvOpen(cam), 0);
        int min = 0, max = 0, step = 0, low = 0, high = 0;
        ASSERT_EQ(SvGetISPImageProcessingRange(cam, SV_ISP_EXPOSURE_MIN_TIME, min, max, step, low), 0);
        ASSERT_EQ(SvGetISPImageProcessingRange(cam, SV_ISP_EXPOSURE_MAX_TIME, min, max, step, high), 0);
        EXPECT_EQ(low, limits.first) << part;
        EXPECT_EQ(high, limits.second) << part;
    }
}

TEST_F(MakerControlsTest, KivoProductCheckPulsesARunningIsp) {
    auto running = Kivo();
    std::string product, color;
    const svtest::TransferLog pulse(*backend_, [&] { EXPECT_EQ(SvCheckProduct(running, product, color), 0); });
    EXPECT_EQ(pulse.SetPayloads(9), (std::vector<std::string>{"", "01"})) << "line down (00), then up";
    EXPECT_EQ(product, "KANO-AR0234") << "the sensor model's chip id 0x0A56";
    EXPECT_EQ(color, "C");

    auto halted = Kivo(R"({"model": "kivo", "ispRegisters": {"0x6002": "0xFFFF"}})");
    product.clear();
    const svtest::TransferLog none(*backend_, [&] { EXPECT_EQ(SvCheckProduct(halted, product, color), 0); });
    EXPECT_TRUE(none.SetPayloads(9).empty());
    EXPECT_EQ(product, "KANO-AR0234") << "the sensor model's chip id 0x0A56";
}

TEST_F(MakerControlsTest, TheSensorFormatFollowsTheSelectedFormat) {
    InstallDefault();
    auto cam = Camera("KIVO");
    ASSERT_EQ(SvOpen(cam), 0);
    std::vector<SvFormat> formats;
    ASSERT_EQ(SvGetFormatList(cam, formats), 0);
    const int mjpg = FindFormat(formats, SV_IMAGE_FORMAT_MJPG, 1920);
    const int nv12 = FindFormat(formats, SV_IMAGE_FORMAT_NV12, 640);
    ASSERT_GE(mjpg, 0);
    ASSERT_GE(nv12, 0);

    ASSERT_EQ(SvSetFormat(cam, formats[static_cast<std::size_t>(mjpg)]), 0);
    int width = 0, height = 0;
    std::string format;
    ASSERT_EQ(SvGetSensorFormat(cam, width, height, format), 0);
    EXPECT_EQ(std::to_string(width) + "x" + std::to_string(height) + " " + format, "1920x1200 MJPG");
    int min = 0, max = 0, step = 0, def = 0;
    ASSERT_EQ(SvGetISPImageProcessingRange(cam, SV_ISP_EXPOSURE_MAX_TIME, min, max, step, def), 0);
    EXPECT_EQ(def, 16666) << "the shipped table's MJPG entry";

    ASSERT_EQ(SvSetFormat(cam, formats[static_cast<std::size_t>(nv12)]), 0);
    ASSERT_EQ(SvGetSensorFormat(cam, width, height, format), 0);
    EXPECT_EQ(std::to_string(width) + "x" + std::to_string(height) + " " + format, "640x480 Unknown");
    ASSERT_EQ(SvGetISPImageProcessingRange(cam, SV_ISP_EXPOSURE_MAX_TIME, min, max, step, def), 0);
    EXPECT_EQ(def, 66666) << "no entry: the table default";
}

TEST_F(MakerControlsTest, BootstrapLoaderModeOnlyOnLira) {
    // Not exported: the firmware upgrade of the module drives it.
    auto lira = std::dynamic_pointer_cast<SvSorvanCamera>(Lira());
    ASSERT_NE(lira, nullptr);
    EXPECT_EQ(lira->SetBSLMode(1), 0);
    EXPECT_EQ(lira->SetBSLMode(0), 0);
    auto kivo = std::dynamic_pointer_cast<SvSorvanCamera>(Kivo());
    ASSERT_NE(kivo, nullptr);
    EXPECT_EQ(kivo->SetBSLMode(1), -1) << "the KIVO has no bootstrap loader";
}

}  // namespace
