// The ISP property interface on both simulated families: ranges, a round trip
// of every property, refusals that leave the device alone, the default reset,
// the sensor format and the exposure-range defaults.

#include <array>

#include "camera/MakerWorld.h"
#include "common/LogCapture.h"

using sv::test::LogCapture;
using svtest::kKivoName;
using svtest::kLiraName;
using svtest::MakerCameraTest;
using svtest::RegisterWrite;

namespace {

struct PropertyCase {
    SV_ISP_IMAGE_PROPERTIES id;
    int good;             // a value other than the simulated device's start value
    int bad;              // outside the range
    const char* kivoText; // how the refusal's log line ends ("" where the family refuses silently)
    const char* liraText;
};

// In id order; the eHDR pairs are set in an order their cross-checks accept.
const PropertyCase kCases[] = {
    {SV_ISP_BRIGHTNESS, -3, 11, "] Brightness Range: -1 ~ 1", "] Brightness Range: -1 ~ 1."},
    {SV_ISP_CONTRAST, 23, -51, "] Contrast Range: -5 ~ 5", "] Contrast Range: -5 ~ 5."},
    {SV_ISP_SATURATION, 37, 51, "] Saturation Range: 0 ~ 5", "] Saturation Range: 0 ~ 5."},
    {SV_ISP_WHITE_BALANCE_MODE, 0, 2, "] White Balance Mode Range: 0 ~ 1", "] White Balance Mode Range: 0 ~ 1."},
    {SV_ISP_WHITE_BALANCE_TEMPERATURE, 6500, 2299, "] White Balance Temperature Range: 2300 ~ 15000",
     "] White Balance Temperature Range: 2300 ~ 15000."},
    {SV_ISP_EXPOSURE_MODE, 0, 3, "] Exposure Mode Range: 0 ~ 2", "] Exposure Mode Range: 0 ~ 2"},
    {SV_ISP_EXPOSURE_TIME, 20000, 1000001, "]Exposure Time range: 1 ~ 1000000 ms.",
     "]Exposure Time range: 1 ~ 1000000 ms."},
    {SV_ISP_EXPOSURE_MIN_TIME, 120, 0, "] Exposure Time Range: 1 ~ 1000000",
     "]Exposure Minimum Time range: 1 ~ 1000000 ms."},
    {SV_ISP_EXPOSURE_MAX_TIME, 30000, 1000001, "] Exposure Time Range: 1 ~ 1000000",
     "]Exposure Upper Time range: 1 ~ 1000000 ms."},
    {SV_ISP_EXPOSURE_GAIN, 200, 256, "] Gain Range: 0 ~ 255", "] Exosure Gain Range: 0 ~ 255x."},
    {SV_ISP_GAMMA, 45, 3, "] Gamma Range: 0.4 ~ 7.9", "] Gamma Range: 0.4 ~ 7.9."},
    {SV_ISP_SHARPNESS, -7, 21, "] Sharpness Range: -2 ~ 2", "] Sharpness Range: -2 ~ 2."},
    {SV_ISP_BACKLIGHT_COMPENSATION, -47, 151, "", "] Backlight Compensation Range: -15 ~ 15."},
    {SV_ISP_SPECIAL_EFFECT, 3, 5, "] Special Effects Range: 0 ~ 4", "] Special Effects Range: 0 ~ 4."},
    {SV_ISP_DENOISE, 13, -21, "] Denoise Range: -2 ~ 2", "] Denoise Range: -2 ~ 2."},
    {SV_ISP_FLIP_MODE, 2, 4, "] Flip Range: 0 ~ 3", "] Flip Range: 0 ~ 3."},
    {SV_ISP_PAN, 3, 11, "] Pan Range: 0 ~ 1", "] Pan Range: 0 ~ 1"},
    {SV_ISP_TILT, 8, -1, "] Tilt Range: 0 ~ 1", "] Tilt Range: 0 ~ 1"},
    {SV_ISP_ZOOM, 35, 9, "] Digital Zoom Range: 1 ~ 8", "] Digital Zoom Range: 1 ~ 8."},
    {SV_ISP_FLICK_MODE, 2, 4, "] Flick Mode Range: 0 ~ 3", "] Flick Mode Range: 0 ~ 3."},
    {SV_ISP_JPEG_QUALITY, 77, 256, "] JPEG Quality Range: 0 ~ 255", "] JPEG Quality Range: 0 ~ 255"},
    {SV_ISP_EHDR_MODE, 1, 2, "] eHDR Mode Range: 0 ~ 1", "] eHDR Mode Range: 0 ~ 1"},
    {SV_ISP_EHDR_EXPOSURE_MIN_NUMBER, 2, 5, "] eHDR Exposure Min Number Range: 1 ~ 4",
     "] eHDR Exposure Min Number Range: 1 ~ 4"},
    {SV_ISP_EHDR_EXPOSURE_MAX_NUMBER, 3, 0, "] eHDR Exposure Max Number Range: 1 ~ 4",
     "] eHDR Exposure Max Number Range: 1 ~ 4"},
    {SV_ISP_EHDR_RATIO_MIN, 20, 129, "] eHDR Ratio Min out of range: 129 (valid range: 1 ~ 128)",
     "] eHDR Ratio Min out of range: 129 (valid range: 1 ~ 128)"},
    {SV_ISP_EHDR_RATIO_MAX, 30, 0, "] eHDR Ratio Max out of range: 0 (valid range: 1 ~ 128)",
     "] eHDR Ratio Max out of range: 0 (valid range: 1 ~ 128)"},
    {SV_ISP_EHDR_ATM_WEIGHT, 29, 101, "] eHDR ATM Weight out of range: 4.04 (valid range: 0 ~ 4)",
     "] eHDR ATM Weight out of range: 4.04 (valid range: 0 ~ 4)"},
    {SV_ISP_EHDR_ATM_MAX, 57, 81, "] eHDR ATM Max out of range: 8.1 (valid range: 1 ~ 8)",
     "] eHDR ATM Max out of range: 8.1 (valid range: 1 ~ 8)"},
};

// Interface range (min, max, step, default) of ids 0-28 on a camera opened
// with flip 0 and no exposure-range table.
const std::array<std::array<int, 4>, 29> kRanges = {{
    {-10, 10, 1, 0},       {-50, 50, 1, 0},        {0, 50, 1, 10},        {0, 1, 1, 1},
    {2300, 15000, 1, 5000}, {0, 2, 1, 1},          {1, 1000000, 1, 33333}, {1, 1000000, 1, 16666},
    {1, 1000000, 1, 66666}, {0, 255, 1, 1},        {4, 79, 1, 22},        {-20, 20, 1, 0},
    {-150, 150, 1, 10},    {0, 4, 1, 0},           {-20, 20, 1, 0},       {0, 3, 1, 0},
    {0, 10, 1, 5},         {0, 10, 1, 5},          {10, 80, 1, 10},       {0, 3, 1, 0},
    {0, 255, 1, 233},      {0, 3, 1, 0},           {0, 1, 1, 0},          {1, 4, 1, 1},
    {1, 4, 1, 4},          {1, 128, 1, 12},        {1, 128, 1, 24},       {0, 100, 0, 25},
    {10, 80, 1, 50},
}};

const char* const kKivoXu = R"({"model": "kivo"})";
// Firmware new enough for every exposure mode.
const char* const kLiraXu =
    R"({"model": "lira", "firmwareVersion": "24.07.03.01", "mcuRegisters": {"0x3000": "0x1807", "0x3002": "0x0101"}})";

class IspPropertiesTest : public MakerCameraTest {
protected:
    void SetUp() override {
        MakerCameraTest::SetUp();
        // The shipped families, and no exposure-range table unless a test
        // provides one.
        configDir_.Write("SvConfig.conf", sv::test::ReadFile(SORVANSDK_SOURCE_DIR "/config/SvConfig.conf"));
        sv::test::SetEnv("SORVANSDK_CONFIG_PATH", configDir_.Path().c_str());
    }

    std::shared_ptr<SvCamera> OpenFamily(bool kivo) {
        return kivo ? OpenMaker(kKivoName, "0821", kKivoXu) : OpenMaker(kLiraName, "576e", kLiraXu);
    }

    sv::test::TempDir configDir_;
};

TEST_F(IspPropertiesTest, RangesOfEveryPropertyAndUnknownIds) {
    auto camera = OpenFamily(true);
    for (int id = 0; id < 29; ++id) {
        std::array<int, 4> r{};
        ASSERT_EQ(SvGetISPImageProcessingRange(camera, static_cast<SV_ISP_IMAGE_PROPERTIES>(id), r[0], r[1], r[2], r[3]), 0);
        EXPECT_EQ(r, kRanges[static_cast<std::size_t>(id)]) << "property " << id;
    }
    for (int id : {29, -1}) {
        const auto prop = static_cast<SV_ISP_IMAGE_PROPERTIES>(id);
        int a = 7, b = 7, c = 7, d = 7;
        LogCapture log;
        EXPECT_EQ(SvGetISPImageProcessingRange(camera, prop, a, b, c, d), -1);
        EXPECT_EQ(SvGetISPImageProcessing(camera, prop, a, b), -1);
        EXPECT_EQ(SvSetISPImageProcessing(camera, prop, 1), -1);
        const std::string text = log.Text();
        EXPECT_NE(text.find("] GetISPImageProcessingRange failed: PropID: " + std::to_string(id)), std::string::npos);
        EXPECT_NE(text.find("] GetISPImageProcessing failed: PropID: " + std::to_string(id)), std::string::npos);
        EXPECT_NE(text.find("] SetISPImageProcessing failed: PropID: " + std::to_string(id)), std::string::npos);
        EXPECT_EQ(a, 7) << "outputs untouched";
    }
}

TEST_F(IspPropertiesTest, EveryPropertyRoundTripsAndRefusesOutOfRangeOnBothFamilies) {
    for (bool kivo : {true, false}) {
        SCOPED_TRACE(kivo ? "KIVO" : "LIRA");
        auto camera = OpenFamily(kivo);
        for (const PropertyCase& c : kCases) {
            SCOPED_TRACE(testing::Message() << "property " << c.id);
            int min = 0, max = 0, step = 0, def = 0;
            ASSERT_EQ(SvGetISPImageProcessingRange(camera, c.id, min, max, step, def), 0);
            ASSERT_TRUE(c.good >= min && c.good <= max && (c.bad < min || c.bad > max));
            ASSERT_NE(Get(camera, c.id), c.good) << "the value must change";

            ASSERT_EQ(SvSetISPImageProcessing(camera, c.id, c.good), 0);
            EXPECT_EQ(Get(camera, c.id), c.good);

            // Refused: the message, and nothing written (the eHDR exposure
            // numbers read their partner before the range test).
            LogCapture log;
            svtest::TransferLog transfers(*backend_, [&] { EXPECT_EQ(SvSetISPImageProcessing(camera, c.id, c.bad), -1); });
            const std::string text = log.Text();
            const std::string expected = kivo ? c.kivoText : c.liraText;
            if (expected.empty()) {
                EXPECT_EQ(text.find("Backlight"), std::string::npos) << text;
            } else {
                EXPECT_TRUE(svtest::HasLineEnding(text, expected)) << text;
            }
            EXPECT_TRUE(transfers.Writes().empty());
            if (c.id != SV_ISP_EHDR_EXPOSURE_MIN_NUMBER && c.id != SV_ISP_EHDR_EXPOSURE_MAX_NUMBER) {
                EXPECT_EQ(transfers.Transfers(), 0u);
            }
            EXPECT_EQ(Get(camera, c.id), c.good);
        }
        // No camera implements the reserved property.
        int value = 0, flag = 0, min = 0, max = 0, step = 0, def = 0;
        EXPECT_EQ(SvGetISPImageProcessingRange(camera, SV_ISP_RESERVED_21, min, max, step, def), 0);
        EXPECT_EQ(SvGetISPImageProcessing(camera, SV_ISP_RESERVED_21, value, flag), -1);
        EXPECT_EQ(SvSetISPImageProcessing(camera, SV_ISP_RESERVED_21, 1), -1);
    }
}

TEST_F(IspPropertiesTest, TheReportedRangeIsExactlyWhatTheSettersTake) {
    // The range a caller reads and the range the family's own operation checks
    // come from one list; a limit changed in one place only shows here.
    for (bool kivo : {true, false}) {
        SCOPED_TRACE(kivo ? "KIVO" : "LIRA");
        auto camera = OpenFamily(kivo);
        for (const PropertyCase& c : kCases) {
            // The eHDR limits also check their partners; their bounds are in
            // the eHDR tests.
            if (c.id >= SV_ISP_EHDR_MODE) continue;
            SCOPED_TRACE(testing::Message() << "property " << c.id);
            int min = 0, max = 0, step = 0, def = 0;
            ASSERT_EQ(SvGetISPImageProcessingRange(camera, c.id, min, max, step, def), 0);
            LogCapture quiet;
            EXPECT_EQ(SvSetISPImageProcessing(camera, c.id, min), 0);
            EXPECT_EQ(SvSetISPImageProcessing(camera, c.id, max), 0);
            EXPECT_EQ(SvSetISPImageProcessing(camera, c.id, min - step), -1);
            EXPECT_EQ(SvSetISPImageProcessing(camera, c.id, max + step), -1);
        }
    }
}

TEST_F(IspPropertiesTest, AutomaticFlagsFollowTheModes) {
    for (bool kivo : {true, false}) {
        SCOPED_TRACE(kivo ? "KIVO" : "LIRA");
        auto camera = OpenFamily(kivo);
        ASSERT_EQ(SvSetISPImageProcessing(camera, SV_ISP_EXPOSURE_MODE, 1), 0);
        EXPECT_EQ(Flag(camera, SV_ISP_EXPOSURE_TIME), 1);
        EXPECT_EQ(Flag(camera, SV_ISP_EXPOSURE_GAIN), 1);
        EXPECT_EQ(Flag(camera, SV_ISP_EXPOSURE_MIN_TIME), 0);
        EXPECT_EQ(Flag(camera, SV_ISP_EXPOSURE_MAX_TIME), 0);
        ASSERT_EQ(SvSetISPImageProcessing(camera, SV_ISP_EXPOSURE_MODE, 0), 0);
        EXPECT_EQ(Flag(camera, SV_ISP_EXPOSURE_TIME), 0);
        EXPECT_EQ(Flag(camera, SV_ISP_EXPOSURE_GAIN), 0);
        EXPECT_EQ(Flag(camera, SV_ISP_EXPOSURE_MIN_TIME), 1);
        ASSERT_EQ(SvSetISPImageProcessing(camera, SV_ISP_EXPOSURE_MODE, 2), 0);
        EXPECT_EQ(Get(camera, SV_ISP_EXPOSURE_MODE), 2);
        EXPECT_EQ(Flag(camera, SV_ISP_EXPOSURE_GAIN), 1);
        EXPECT_EQ(Flag(camera, SV_ISP_EXPOSURE_TIME), 0);

        ASSERT_EQ(SvSetISPImageProcessing(camera, SV_ISP_WHITE_BALANCE_MODE, 1), 0);
        EXPECT_EQ(Flag(camera, SV_ISP_WHITE_BALANCE_TEMPERATURE), 1);
        ASSERT_EQ(SvSetISPImageProcessing(camera, SV_ISP_WHITE_BALANCE_MODE, 0), 0);
        EXPECT_EQ(Flag(camera, SV_ISP_WHITE_BALANCE_TEMPERATURE), 0);
        EXPECT_EQ(Flag(camera, SV_ISP_GAMMA), 0);
    }
}

TEST_F(IspPropertiesTest, DefaultResetLeavesEverySupportedControlAtItsDefault) {
    for (bool kivo : {true, false}) {
        SCOPED_TRACE(kivo ? "KIVO" : "LIRA");
        auto camera = OpenFamily(kivo);
        // Ratio limits far from their defaults, once above and once below
        // them: whatever order the reset takes, in one of the two rounds the
        // first of the pair can only move after the other has.
        for (const auto& [ratioMin, ratioMax] : {std::pair<int, int>{90, 100}, std::pair<int, int>{5, 8}}) {
            SCOPED_TRACE(testing::Message() << "ratios " << ratioMin << " and " << ratioMax);
            for (const PropertyCase& c : kCases) ASSERT_EQ(SvSetISPImageProcessing(camera, c.id, c.good), 0) << c.id;
            if (ratioMin > 24) {
                ASSERT_EQ(SvSetISPImageProcessing(camera, SV_ISP_EHDR_RATIO_MAX, ratioMax), 0);
                ASSERT_EQ(SvSetISPImageProcessing(camera, SV_ISP_EHDR_RATIO_MIN, ratioMin), 0);
            } else {
                ASSERT_EQ(SvSetISPImageProcessing(camera, SV_ISP_EHDR_RATIO_MIN, ratioMin), 0);
                ASSERT_EQ(SvSetISPImageProcessing(camera, SV_ISP_EHDR_RATIO_MAX, ratioMax), 0);
            }

            LogCapture log;
            svtest::TransferLog transfers(*backend_, [&] { EXPECT_EQ(SvSetISPImageProcessingDefault(camera), 0); });
            EXPECT_EQ(log.Text().find("SetISPImageProcessingDefault failed"), std::string::npos) << log.Text();
            EXPECT_FALSE(transfers.Writes().empty());
            for (int id = 0; id < 29; ++id) {
                if (id == SV_ISP_RESERVED_21) continue;
                EXPECT_EQ(Get(camera, static_cast<SV_ISP_IMAGE_PROPERTIES>(id)), kRanges[static_cast<std::size_t>(id)][3])
                    << "property " << id;
            }
        }
    }
}

TEST_F(IspPropertiesTest, DefaultResetSkipsEHDROnCamerasWithoutIt) {
    auto camera = OpenMaker("KIVO-AR0234 Camera", "0234", kKivoXu);
    uint16_t before = 0;
    ASSERT_EQ(SvAP1302I2CWrite(camera, 0x71EC, 0x6400), 0);  // ratio minimum 100
    LogCapture log;
    const auto writes = WritesOf([&] { EXPECT_EQ(SvSetISPImageProcessingDefault(camera), 0); });
    EXPECT_EQ(log.Text().find("failed"), std::string::npos) << log.Text();
    ASSERT_EQ(SvAP1302I2CRead(camera, 0x71EC, before), 0);
    EXPECT_EQ(before, 0x6400);
    for (const RegisterWrite& w : writes) {
        for (int reg : {0x52DE, 0x532E, 0x5342, 0x71EA, 0x71EC, 0x71EE}) EXPECT_NE(w.reg, reg) << w;
    }
    EXPECT_EQ(Get(camera, SV_ISP_JPEG_QUALITY), 233);
}

TEST_F(IspPropertiesTest, TheFlipSeenAtOpenIsTheFlipDefault) {
    for (bool kivo : {true, false}) {
        SCOPED_TRACE(kivo ? "KIVO" : "LIRA");
        auto camera = kivo ? OpenMaker(kKivoName, "0821", R"({"model": "kivo", "ispRegisters": {"0x100C": 2}})")
                           : OpenMaker(kLiraName, "576e", R"({"model": "lira", "mcuRegisters": {"0x3162": 3}})");
        const int opened = kivo ? 2 : 3;
        int min = 0, max = 0, step = 0, def = 0;
        ASSERT_EQ(SvGetISPImageProcessingRange(camera, SV_ISP_FLIP_MODE, min, max, step, def), 0);
        EXPECT_EQ(def, opened);
        ASSERT_EQ(SvSetISPImageProcessing(camera, SV_ISP_FLIP_MODE, 1), 0);
        ASSERT_EQ(SvSetISPImageProcessingDefault(camera), 0);
        EXPECT_EQ(Get(camera, SV_ISP_FLIP_MODE), opened);
    }
}

TEST_F(IspPropertiesTest, SensorFormatOfBothFamilies) {
    auto kivo = OpenMaker(kKivoName, "0821", R"({"model": "kivo", "ispRegisters": {"0x2012": "0x0001"}})");
    int width = 0, height = 0;
    std::string format;
    ASSERT_EQ(SvGetSensorFormat(kivo, width, height, format), 0);
    EXPECT_EQ(width, 1920);
    EXPECT_EQ(height, 1200);
    EXPECT_EQ(format, "MJPG");

    auto lira = OpenMaker(kLiraName, "576e", R"({"model": "lira", "mcuRegisters": {"0x3100": 1280, "0x3102": 720, "0x3104": "0x0031"}})");
    ASSERT_EQ(SvGetSensorFormat(lira, width, height, format), 0);
    EXPECT_EQ(width, 1280);
    EXPECT_EQ(height, 720);
    EXPECT_EQ(format, "Unknown");
}

TEST_F(IspPropertiesTest, ExposureLimitDefaultsComeFromTheTableForTheCurrentFormat) {
    configDir_.Write("SvExposure.yaml", R"(
KIVO:
  sensors:
    AR0821:
      formats:
        UYVY:
          ranges:
            - {width: 1280, height: 720, min: 7, max: 7777}
            - {width: 1920, height: 1200, min: 42, max: 24000}
            - {width: 1920, height: 1200, min: 1, max: 2}
        Unknown:
          ranges:
            - {width: 1920, height: 1200, min: 9, max: 9999}
)");
    auto camera = OpenMaker(kKivoName, "0821", kKivoXu);
    int min = 0, max = 0, step = 0, def = 0;
    ASSERT_EQ(SvGetISPImageProcessingRange(camera, SV_ISP_EXPOSURE_MIN_TIME, min, max, step, def), 0);
    EXPECT_EQ(def, 42) << "the first entry of the resolution";
    ASSERT_EQ(SvGetISPImageProcessingRange(camera, SV_ISP_EXPOSURE_MAX_TIME, min, max, step, def), 0);
    EXPECT_EQ(def, 24000);
    EXPECT_EQ(min, 1);
    EXPECT_EQ(max, 1000000);

    ASSERT_EQ(SvSetISPImageProcessingDefault(camera), 0);
    EXPECT_EQ(Get(camera, SV_ISP_EXPOSURE_MIN_TIME), 42);
    EXPECT_EQ(Get(camera, SV_ISP_EXPOSURE_MAX_TIME), 24000);

    // A format code the table calls "Unknown" picks that entry.
    ASSERT_EQ(SvAP1302I2CWrite(camera, 0x2012, 0x0031), 0);
    ASSERT_EQ(SvGetISPImageProcessingRange(camera, SV_ISP_EXPOSURE_MAX_TIME, min, max, step, def), 0);
    EXPECT_EQ(def, 9999);
}

TEST_F(IspPropertiesTest, ExposureLimitDefaultsStandWhenTheTableCannotAnswer) {
    auto camera = OpenMaker(kKivoName, "0821", kKivoXu);
    int min = 0, max = 0, step = 0, def = 0;
    ASSERT_EQ(SvGetISPImageProcessingRange(camera, SV_ISP_EXPOSURE_MAX_TIME, min, max, step, def), 0);
    EXPECT_EQ(def, 66666) << "no table anywhere";
    ASSERT_EQ(SvGetISPImageProcessingRange(camera, SV_ISP_EXPOSURE_MIN_TIME, min, max, step, def), 0);
    EXPECT_EQ(def, 16666);

    configDir_.Write("SvExposure.yaml", "KIVO: {sensors: {AR0821: {formats: {UYVY: {ranges: [{width: 1920, "
                                        "height: 1200, min: fast, max: 10}]}}}}}");
    {
        LogCapture log;
        ASSERT_EQ(SvGetISPImageProcessingRange(camera, SV_ISP_EXPOSURE_MIN_TIME, min, max, step, def), 0);
        EXPECT_EQ(def, 16666);
        EXPECT_TRUE(log.Contains("Cannot use exposure ranges from")) << "a bad number is reported, not thrown";
    }
    configDir_.Write("SvExposure.yaml", "KIVO: [unclosed");
    {
        LogCapture log;
        ASSERT_EQ(SvGetISPImageProcessingRange(camera, SV_ISP_EXPOSURE_MAX_TIME, min, max, step, def), 0);
        EXPECT_EQ(def, 66666);
        EXPECT_TRUE(log.Contains("Cannot use exposure ranges from"));
    }
}

TEST_F(IspPropertiesTest, AnUnreadableFormatKeepsTheDefault) {
    configDir_.Write("SvExposure.yaml", "LIRA: {sensors: {AR0822: {formats: {UYVY: {ranges: [{width: 1920, "
                                        "height: 1080, min: 5, max: 50}]}}}}}");
    // Generic I2C answers: the flip read at open (1), the three format reads
    // of the first lookup (2-4); from the fifth on the device refuses.
    auto camera = OpenMaker(kLiraName, "576e", kLiraXu, R"("faults": [{"op": "xu.get", "selector": 6, "on": 5, "times": 0}])");
    int min = 0, max = 0, step = 0, def = 0;
    ASSERT_EQ(SvGetISPImageProcessingRange(camera, SV_ISP_EXPOSURE_MAX_TIME, min, max, step, def), 0);
    ASSERT_EQ(def, 50);
    LogCapture log;
    ASSERT_EQ(SvGetISPImageProcessingRange(camera, SV_ISP_EXPOSURE_MAX_TIME, min, max, step, def), 0);
    EXPECT_EQ(def, 66666);
    EXPECT_TRUE(log.Contains("] GetCurrentSensorFormat failed"));
}

}  // namespace
