// The on-camera profile through the public interface on both simulated
// families: the block read and the flag write on the wire, the document made
// from the block, the flag, the reset, and the gates that refuse.

#include <algorithm>

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include "camera/MakerWorld.h"
#include "common/LogCapture.h"

using sv::test::LogCapture;
using svtest::kKivoName;
using svtest::kLiraName;
using svtest::MakerCameraTest;

namespace {

// A KIVO with a version 3 header (the block follows its 64 content bytes, at
// 125 + 64 = 0x00BD) and a LIRA whose module firmware is 24.07.01.01.
const char* const kKivoV3 = R"({"model": "kivo", "header": {"version": 3}})";
const char* const kLiraNew =
    R"({"model": "lira", "firmwareVersion": "24.07.03.01", "mcuRegisters": {"0x3000": "0x1807", "0x3002": "0x0101"}})";

// The generic I2C read requests of a piece of work (SET_CUR payloads on
// selector 6 with the read bit) and the SET_CURs on the flag selector.
struct Wire {
    std::vector<std::string> reads;
    std::vector<std::string> answers;  // GET_CUR payloads on selector 6
    std::vector<std::string> flags;
    std::vector<int> flagLengths;
};

Wire WireOf(sv::sim::SimBackend& backend, const std::function<void()>& work) {
    svtest::TraceCapture trace(backend);
    work();
    trace.Stop();
    Wire w;
    for (const auto& j : trace.Json()) {
        const std::string payload = j.value("payload", "");
        if (j.value("op", "") == "xu.get" && j.value("selector", 0) == 6) w.answers.push_back(payload);
        if (j.value("op", "") != "xu.set") continue;
        if (j.value("selector", 0) == 6 && payload.size() >= 2 && (std::stoul(payload.substr(0, 2), nullptr, 16) & 1)) {
            w.reads.push_back(payload);
        }
        if (j.value("selector", 0) == 7) {
            w.flags.push_back(payload);
            w.flagLengths.push_back(j.value("length", 0));
        }
    }
    return w;
}

bool Has(const std::vector<std::string>& v, const std::string& s) { return std::find(v.begin(), v.end(), s) != v.end(); }

class OspProfileTest : public MakerCameraTest {
protected:
    std::shared_ptr<SvCamera> Kivo(const std::string& xu = kKivoV3) { return OpenMaker(kKivoName, "0821", xu); }
    std::shared_ptr<SvCamera> Lira(const std::string& xu = kLiraNew) { return OpenMaker(kLiraName, "576e", xu); }

    rapidjson::Document Profile(const std::shared_ptr<SvCamera>& camera) {
        std::string text;
        EXPECT_EQ(SvGetOSPProfileConfig(camera, text), 0);
        rapidjson::Document d;
        d.Parse(text.c_str());
        EXPECT_FALSE(d.HasParseError()) << text;
        return d;
    }
};

}  // namespace

TEST_F(OspProfileTest, BlockReadOnTheWireAndTheFactoryProfileAsDocument) {
    for (bool kivo : {true, false}) {
        SCOPED_TRACE(kivo ? "KIVO" : "LIRA");
        auto camera = kivo ? Kivo() : Lira();
        std::string text;
        Wire wire = WireOf(*backend_, [&] { ASSERT_EQ(SvGetOSPProfileConfig(camera, text), 0); });
        // 80 bytes with a two-byte register address: KIVO from the header
        // store 0x54 right after the content, LIRA from 0x48:0x4100.
        EXPECT_TRUE(Has(wire.reads, kivo ? "a90200bd0050" : "910241000050")) << testing::PrintToString(wire.reads);
        EXPECT_TRUE(wire.flags.empty());
        // The answer: the request, then the block (flag 0, 0x50, a carried
        // byte, width and height little-endian, format code 0x50, ...).
        const std::string head = kivo ? "a90200bd0050" "00" "50" "00" "8007" "b004" "50"
                                      : "910241000050" "00" "50" "00" "8007" "3804" "50";
        EXPECT_TRUE(std::any_of(wire.answers.begin(), wire.answers.end(),
                                [&](const std::string& a) { return a.rfind(head, 0) == 0; }))
            << testing::PrintToString(wire.answers);

        rapidjson::Document d;
        d.Parse(text.c_str());
        ASSERT_FALSE(d.HasParseError());
        EXPECT_EQ(d["CameraProfile"]["Width"].GetInt(), 1920);
        EXPECT_EQ(d["CameraProfile"]["Height"].GetInt(), kivo ? 1200 : 1080);
        EXPECT_STREQ(d["CameraProfile"]["PixelFormat"].GetString(), "UYVY") << "a USB camera never says YUY2";
        EXPECT_EQ(d["CameraProfile"]["Framerate"].GetInt(), 30);
        const auto& isp = d["ISPProfiles"];
        EXPECT_EQ(isp["Gamma"].GetInt(), 22);
        EXPECT_EQ(isp["Saturation"].GetInt(), 10);
        EXPECT_EQ(isp["BacklightCompensation"].GetInt(), 10);
        EXPECT_EQ(isp["Brightness"].GetInt(), 0);
        EXPECT_EQ(isp["Contrast"].GetInt(), 0);
        EXPECT_EQ(isp["Zoom"].GetInt(), 10);
        EXPECT_EQ(isp["Pan"].GetInt(), 5);
        EXPECT_EQ(isp["ExposureMode"].GetInt(), 1);
        EXPECT_EQ(isp["ExposureTime"].GetInt(), 33333);
        EXPECT_EQ(isp["WhiteBalanceMode"].GetInt(), 1);
        EXPECT_EQ(isp["JpegQual"].GetInt(), 90);
        EXPECT_EQ(d["UVCProfiles"]["Pan"].GetInt(), 0);
    }
}

TEST_F(OspProfileTest, FlagWriteOnTheWireReadBackAndReset) {
    for (bool kivo : {true, false}) {
        SCOPED_TRACE(kivo ? "KIVO" : "LIRA");
        auto camera = kivo ? Kivo() : Lira();
        SV_OSP_PROFILE_FLAG flag = SV_OSP_PROFILE_FLAG_RESET;
        ASSERT_EQ(SvGetOSPProfileFlag(camera, flag), 0);
        EXPECT_EQ(flag, SV_OSP_PROFILE_FLAG_NONE);

        const int64_t before = backend_->DeviceTimeUs();
        Wire wire = WireOf(*backend_, [&] { ASSERT_EQ(SvSetOSPProfileFlag(camera, SV_OSP_PROFILE_FLAG_ACTIVE), 0); });
        EXPECT_EQ(wire.flags, (std::vector<std::string>{"01"}));
        EXPECT_EQ(wire.flagLengths, (std::vector<int>{1}));
        EXPECT_GE(backend_->DeviceTimeUs() - before, 100000) << "100 ms of device time after the request";

        wire = WireOf(*backend_, [&] { ASSERT_EQ(SvGetOSPProfileFlag(camera, flag), 0); });
        EXPECT_EQ(flag, SV_OSP_PROFILE_FLAG_ACTIVE);
        EXPECT_TRUE(Has(wire.reads, kivo ? "a90200bd0001" : "910241000001")) << "one byte at the block";

        // The firmware keeps the block whole: no checksum warning afterwards.
        LogCapture log;
        std::string text;
        ASSERT_EQ(SvGetOSPProfileConfig(camera, text), 0);
        EXPECT_FALSE(log.Contains("checksum mismatch")) << log.Text();

        // Reset: every ISP default, then flag 2.
        ASSERT_EQ(SvSetISPImageProcessing(camera, SV_ISP_GAMMA, 45), 0);
        wire = WireOf(*backend_, [&] { ASSERT_EQ(SvResetOSPProfileConfig(camera), 0); });
        EXPECT_EQ(wire.flags, (std::vector<std::string>{"02"}));
        int gamma = 0, auto_ = 0;
        ASSERT_EQ(SvGetISPImageProcessing(camera, SV_ISP_GAMMA, gamma, auto_), 0);
        EXPECT_EQ(gamma, 22);
        ASSERT_EQ(SvGetOSPProfileFlag(camera, flag), 0);
        EXPECT_EQ(flag, SV_OSP_PROFILE_FLAG_RESET);
    }
}

TEST_F(OspProfileTest, FlagOutsideOneByteIsRefusedAndNothingIsSent) {
    auto camera = Kivo();
    LogCapture log;
    Wire wire = WireOf(*backend_, [&] {
        EXPECT_EQ(SvSetOSPProfileFlag(camera, static_cast<SV_OSP_PROFILE_FLAG>(258)), -1);
        EXPECT_EQ(SvSetOSPProfileFlag(camera, static_cast<SV_OSP_PROFILE_FLAG>(-1)), -1);
    });
    EXPECT_TRUE(wire.flags.empty());
    EXPECT_TRUE(log.Contains("Profile flag 258 is out of range (0 ~ 255)."));
}

TEST_F(OspProfileTest, BlockBeyond0xFFFFIsReadFromTheNextStoreDevice) {
    auto camera = Kivo(R"({"model": "kivo", "header": {"version": 3, "contentOffset": "0x0100", "contentLen": 65280}})");
    std::string text;
    Wire wire = WireOf(*backend_, [&] { ASSERT_EQ(SvGetOSPProfileConfig(camera, text), 0); });
    EXPECT_TRUE(Has(wire.reads, "ab0200000050")) << testing::PrintToString(wire.reads);  // 0x55, register 0
    EXPECT_NE(text.find(R"("Height":1200)"), std::string::npos) << text;

    auto edge = Kivo(R"({"model": "kivo", "header": {"version": 3, "contentOffset": "0x0100", "contentLen": 65279}})");
    SV_OSP_PROFILE_FLAG flag = SV_OSP_PROFILE_FLAG_RESET;
    wire = WireOf(*backend_, [&] {
        ASSERT_EQ(SvSetOSPProfileFlag(edge, SV_OSP_PROFILE_FLAG_ACTIVE), 0);
        ASSERT_EQ(SvGetOSPProfileFlag(edge, flag), 0);
    });
    EXPECT_TRUE(Has(wire.reads, "ab02ffff0001")) << "0x55, register 0xFFFF";
    EXPECT_EQ(flag, SV_OSP_PROFILE_FLAG_ACTIVE);
}

TEST_F(OspProfileTest, ChecksumMismatchWarnsAndStillConverts) {
    // Factory bytes with one value changed and the checksum left alone.
    std::string hex(160, '0');
    auto put = [&](std::size_t at, uint8_t v) {
        static const char* digits = "0123456789abcdef";
        hex[2 * at] = digits[v >> 4];
        hex[2 * at + 1] = digits[v & 15];
    };
    put(3, 0x80);  // width 640
    put(4, 0x02);
    put(78, 0x34);
    put(79, 0x12);
    for (bool kivo : {true, false}) {
        SCOPED_TRACE(kivo ? "KIVO" : "LIRA");
        const std::string xu = kivo ? R"({"model": "kivo", "header": {"version": 3}, "profile": {"hex": ")" + hex + "\"}}"
                                    : R"({"model": "lira", "mcuRegisters": {"0x3000": "0x1807", "0x3002": "0x0100"},
                                         "profile": {"hex": ")" + hex + "\"}}";
        auto camera = kivo ? Kivo(xu) : Lira(xu);
        LogCapture log;
        std::string text;
        ASSERT_EQ(SvGetOSPProfileConfig(camera, text), 0);
        const std::string logged = log.Text();
        EXPECT_NE(logged.find(kivo ? "profile checksum mismatch, [0x0082 <-> 0x1234" : "Profile checksum mismatch, [0x0082] <-> [0x1234]"),
                  std::string::npos)
            << logged;
        EXPECT_NE(text.find(R"("Width":640)"), std::string::npos);
    }
}

TEST_F(OspProfileTest, GatesRefuseOldFirmwareAndOldHeadersWithoutTouchingTheBlock) {
    struct Case {
        bool kivo;
        const char* xu;
        const char* message;
    };
    const Case cases[] = {
        {true, R"({"model": "kivo", "header": {"version": 3}, "firmwareVersion": "24.7.2.99"})",
         "SvKIVOCamera::GetOSPProfileConfig][", },
        {true, R"({"model": "kivo"})", "OSP profile only support header v3 or higher."},
        {false, R"({"model": "lira", "firmwareVersion": "24.07.03.01"})",
         "OSP profile only support LUMO firmware version higher than 24.07.01.00."},
        {false, R"({"model": "lira", "header": {"version": 2}, "mcuRegisters": {"0x3000": "0x1807", "0x3002": "0x0100"}})",
         "OSP profile only support header v3 or higher."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xu);
        auto camera = c.kivo ? Kivo(c.xu) : Lira(c.xu);
        LogCapture log;
        std::string text = "untouched";
        SV_OSP_PROFILE_FLAG flag = SV_OSP_PROFILE_FLAG_ACTIVE;
        Wire wire = WireOf(*backend_, [&] {
            EXPECT_EQ(SvGetOSPProfileConfig(camera, text), -1);
            EXPECT_EQ(SvGetOSPProfileFlag(camera, flag), -1);
            EXPECT_EQ(SvSetOSPProfileFlag(camera, SV_OSP_PROFILE_FLAG_RESET), -1);
        });
        EXPECT_EQ(text, "untouched");
        EXPECT_EQ(flag, SV_OSP_PROFILE_FLAG_ACTIVE);
        EXPECT_TRUE(wire.flags.empty());
        for (const auto& r : wire.reads) EXPECT_EQ(r.find("a90200bd"), std::string::npos) << "block read";
        EXPECT_TRUE(log.Contains(c.message)) << log.Text();
    }
    // The KIVO message in full.
    auto old = Kivo(R"({"model": "kivo", "header": {"version": 3}, "firmwareVersion": "24.7.2.99"})");
    LogCapture log;
    SV_OSP_PROFILE_FLAG flag{};
    EXPECT_EQ(SvGetOSPProfileFlag(old, flag), -1);
    EXPECT_TRUE(svtest::HasLineEnding(log.Text(), "] OSP profile only support USB firmware version higher than 24.07.03.00."));

    // The minimum itself passes both gates.
    auto kivo = Kivo(R"({"model": "kivo", "header": {"version": 3}, "firmwareVersion": "24.7.3.0"})");
    EXPECT_EQ(SvGetOSPProfileFlag(kivo, flag), 0);
    auto lira = Lira(R"({"model": "lira", "mcuRegisters": {"0x3000": "0x1807", "0x3002": "0x0100"}})");
    EXPECT_EQ(SvGetOSPProfileFlag(lira, flag), 0);
}

TEST_F(OspProfileTest, ResetDoesNotSendTheFlagWhenTheDefaultsFailAndGenericCamerasAreRefused) {
    InstallDefault();
    auto webcam = Camera("WebCam");
    ASSERT_EQ(SvOpen(webcam), 0);
    LogCapture log;
    std::string text;
    SV_OSP_PROFILE_FLAG flag{};
    EXPECT_EQ(SvGetOSPProfileConfig(webcam, text), -1);
    EXPECT_EQ(SvGetOSPProfileFlag(webcam, flag), -1);
    EXPECT_EQ(SvResetOSPProfileConfig(webcam), -1);
    EXPECT_EQ(SvResetOSPProfileConfig(nullptr), -1);
    const std::string logged = log.Text();
    EXPECT_NE(logged.find("USB2.0 HD UVC WebCam: Cannot Support this Function: SvGetOSPProfileConfig"), std::string::npos);
    EXPECT_NE(logged.find("SvResetOSPProfileConfig: Invalid Camera Pointer"), std::string::npos);
}

namespace {

// The ISP property of each member of an "ISPProfiles" object.
const std::pair<const char*, SV_ISP_IMAGE_PROPERTIES> kIspNames[] = {
    {"ExposureTime", SV_ISP_EXPOSURE_TIME}, {"ExposureMinTime", SV_ISP_EXPOSURE_MIN_TIME},
    {"ExposureMaxTime", SV_ISP_EXPOSURE_MAX_TIME}, {"ExposureGain", SV_ISP_EXPOSURE_GAIN},
    {"ExposureMode", SV_ISP_EXPOSURE_MODE}, {"WhiteBalanceMode", SV_ISP_WHITE_BALANCE_MODE},
    {"WhiteBalanceTemperature", SV_ISP_WHITE_BALANCE_TEMPERATURE}, {"BacklightCompensation", SV_ISP_BACKLIGHT_COMPENSATION},
    {"Brightness", SV_ISP_BRIGHTNESS}, {"Contrast", SV_ISP_CONTRAST}, {"Saturation", SV_ISP_SATURATION},
    {"Gamma", SV_ISP_GAMMA}, {"Denoise", SV_ISP_DENOISE}, {"Sharpness", SV_ISP_SHARPNESS},
    {"FlipMode", SV_ISP_FLIP_MODE}, {"SpecialEffectMode", SV_ISP_SPECIAL_EFFECT}, {"Zoom", SV_ISP_ZOOM},
    {"Pan", SV_ISP_PAN}, {"Tilt", SV_ISP_TILT}, {"FlickMode", SV_ISP_FLICK_MODE}, {"JpegQual", SV_ISP_JPEG_QUALITY},
};

void Put16(std::vector<uint8_t>& b, std::size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

}  // namespace

// A block written as the ISP registers hold the values (fractions cut toward
// zero), shown as a document, loaded and applied: every property then reads
// what the document says, and the document says what was stored.
TEST_F(OspProfileTest, StoredProfileAppliedReadsBackAsShown) {
    for (bool kivo : {true, false}) {
        SCOPED_TRACE(kivo ? "KIVO" : "LIRA");
        auto camera = kivo ? Kivo() : Lira();
        const uint8_t device = kivo ? 0x54 : 0x48;
        const uint16_t at = kivo ? 0x00BD : 0x4100;
        std::vector<uint8_t> block(80, 0);
        ASSERT_EQ(SvGenericI2CRead(camera, device, 2, at, 80, block.data()), 0);
        const uint16_t lumo = kivo ? 0 : 1;
        block[22] = 0;                                                   // manual exposure
        block[30] = 7;                                                   // manual white balance
        Put16(block, 33, static_cast<uint16_t>(0x04CC + lumo * 0x1000));  // brightness 0.3
        Put16(block, 35, static_cast<uint16_t>(0x1333 + lumo * 0x5000));  // contrast 1.2
        Put16(block, 37, 0x1CCC);                                        // saturation 1.8
        Put16(block, 39, 0x2333);                                        // gamma 2.2
        Put16(block, 41, static_cast<uint16_t>(0xF99A + lumo * 0x2000));  // denoise -0.4
        Put16(block, 43, static_cast<uint16_t>(0x0B33 + lumo * 0x2000));  // sharpness 0.7
        Put16(block, 49, 0x0233);                                        // zoom 2.2
        Put16(block, 51, 0x0019);                                        // pan 0.1
        Put16(block, 53, 0x00E6);                                        // tilt 0.9
        block[45] = 1;
        block[46] = 6;
        Put16(block, 57, 0x3201);
        uint32_t sum = 0;
        for (std::size_t i = 0; i < 78; ++i) sum += block[i];
        Put16(block, 78, static_cast<uint16_t>(sum));
        ASSERT_EQ(SvGenericI2CWrite(camera, device, 2, at, 80, block.data()), 0);

        std::string text;
        ASSERT_EQ(SvGetOSPProfileConfig(camera, text), 0);
        rapidjson::Document d;
        d.Parse(text.c_str());
        const auto& isp = d["ISPProfiles"];
        EXPECT_EQ(isp["Brightness"].GetInt(), 3);
        EXPECT_EQ(isp["Contrast"].GetInt(), 12);
        EXPECT_EQ(isp["Saturation"].GetInt(), 18);
        EXPECT_EQ(isp["Gamma"].GetInt(), 22);
        EXPECT_EQ(isp["Denoise"].GetInt(), -4);
        EXPECT_EQ(isp["Sharpness"].GetInt(), 7);
        EXPECT_EQ(isp["Zoom"].GetInt(), 22);
        EXPECT_EQ(isp["Pan"].GetInt(), 1);
        EXPECT_EQ(isp["Tilt"].GetInt(), 9);

        LogCapture log;
        ASSERT_EQ(SvLoadProfileConfig(camera, text), 0);
        ASSERT_EQ(SvActivateProfileImageProcessing(camera), 0);
        ASSERT_EQ(SvActivateProfileStreaming(camera), -1) << "1920 wide: the world's camera has no such format";
        for (const auto& [name, id] : kIspNames) {
            EXPECT_EQ(Get(camera, id), isp[name].GetInt()) << name;
        }
        EXPECT_EQ(log.Text().find("Range"), std::string::npos) << "every stored value is in range";
    }
}

TEST_F(OspProfileTest, LumoWaitsAfterTheFlagReadAndFailuresAreReported) {
    auto lira = Lira();
    SV_OSP_PROFILE_FLAG flag{};
    int64_t before = backend_->DeviceTimeUs();
    ASSERT_EQ(SvGetOSPProfileFlag(lira, flag), 0);
    EXPECT_GE(backend_->DeviceTimeUs() - before, 100000);
    auto kivo = Kivo();
    before = backend_->DeviceTimeUs();
    ASSERT_EQ(SvGetOSPProfileFlag(kivo, flag), 0);
    EXPECT_LT(backend_->DeviceTimeUs() - before, 100000) << "the KANO read has no wait";

    // The camera refuses the flag transfer.
    sv::sim::FaultRule refuse;
    refuse.op = "xu.set";
    refuse.selector = 7;
    refuse.times = 0;
    ASSERT_TRUE(backend_->AddFault("cam", refuse));
    LogCapture log;
    EXPECT_EQ(SvSetOSPProfileFlag(kivo, SV_OSP_PROFILE_FLAG_ACTIVE), -1);
    EXPECT_TRUE(svtest::HasLineEnding(log.Text(), "] Set OSP profile flag failed.")) << log.Text();

    // The firmware version cannot be read: the gate refuses.
    sv::sim::FaultRule version;
    version.op = "xu.get";
    version.selector = 1;
    version.times = 0;
    ASSERT_TRUE(backend_->AddFault("cam", version));
    LogCapture gate;
    EXPECT_EQ(SvGetOSPProfileFlag(kivo, flag), -1);
    EXPECT_TRUE(svtest::HasLineEnding(gate.Text(), "] Get USB firmware version failed.")) << gate.Text();
}

TEST_F(OspProfileTest, BlockAndFlagReadFailuresAreReported) {
    for (bool kivo : {true, false}) {
        SCOPED_TRACE(kivo ? "KIVO" : "LIRA");
        InstallWorld(svtest::MakerWorldJson(kivo ? kKivoName : kLiraName, kivo ? "0821" : "576e", kivo ? kKivoV3 : kLiraNew));
        svtest::TraceCapture trace(*backend_);
        auto camera = Camera(kivo ? kKivoName : kLiraName);
        ASSERT_EQ(SvOpen(camera), 0);
        auto i2cSets = [&] { return trace.Count({"\"op\":\"xu.set\"", "\"selector\":6"}); };
        const int afterOpen = i2cSets();
        std::string text;
        ASSERT_EQ(SvGetOSPProfileConfig(camera, text), 0);
        const int perCall = i2cSets() - afterOpen;
        // The block read is the last I2C request of the next call.
        sv::sim::FaultRule fault;
        fault.op = "xu.set";
        fault.selector = 6;
        fault.on = static_cast<uint32_t>(afterOpen + 2 * perCall);
        fault.code = sv::platform::HR_ERROR_GEN_FAILURE;
        ASSERT_TRUE(backend_->AddFault("cam", fault));
        LogCapture log;
        text = "untouched";
        EXPECT_EQ(SvGetOSPProfileConfig(camera, text), -1);
        EXPECT_EQ(text, "untouched");
        EXPECT_TRUE(svtest::HasLineEnding(log.Text(), kivo ? "] Get profile check Failed" : "] Get profile from EEPROM fail"))
            << log.Text();
    }
}
