// Profile-configuration documents: the schema, loading through the public
// interface, the format selection, and the control values a document leaves
// on both simulated families.

#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "camera/MakerWorld.h"
#include "common/LogCapture.h"
#include "formats/ProfileConfig.h"

using sv::test::LogCapture;
using svtest::kKivoName;
using svtest::kLiraName;
using svtest::MakerCameraTest;

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A document whose ISP values differ from the simulated cameras' start values
// and lie in every property's range, in an order whose cross-checks accept them.
const char* const kIspMembers = R"(
    "Brightness": -3, "Contrast": 23, "Saturation": 37, "WhiteBalanceMode": 0, "WhiteBalanceTemperature": 6500,
    "ExposureMode": 0, "ExposureTime": 20000, "ExposureMinTime": 120, "ExposureMaxTime": 30000,
    "ExposureGain": 200, "Gamma": 45, "Sharpness": -7, "BacklightCompensation": -47, "SpecialEffectMode": 3,
    "Denoise": 13, "FlipMode": 2, "Pan": 3, "Tilt": 8, "Zoom": 35, "FlickMode": 2, "JpegQual": 77,
    "eHDRMode": 1, "eHDRExposureMinNumber": 2, "eHDRExposureMaxNumber": 3, "eHDRRatioMin": 20,
    "eHDRRatioMax": 30, "eHDRAtmWeight": 29, "eHDRAtmMax": 57, "MaxFPS": 25)";

const std::pair<SV_ISP_IMAGE_PROPERTIES, int> kIspExpected[] = {
    {SV_ISP_BRIGHTNESS, -3}, {SV_ISP_CONTRAST, 23}, {SV_ISP_SATURATION, 37}, {SV_ISP_WHITE_BALANCE_MODE, 0},
    {SV_ISP_WHITE_BALANCE_TEMPERATURE, 6500}, {SV_ISP_EXPOSURE_MODE, 0}, {SV_ISP_EXPOSURE_TIME, 20000},
    {SV_ISP_EXPOSURE_MIN_TIME, 120}, {SV_ISP_EXPOSURE_MAX_TIME, 30000}, {SV_ISP_EXPOSURE_GAIN, 200},
    {SV_ISP_GAMMA, 45}, {SV_ISP_SHARPNESS, -7}, {SV_ISP_BACKLIGHT_COMPENSATION, -47}, {SV_ISP_SPECIAL_EFFECT, 3},
    {SV_ISP_DENOISE, 13}, {SV_ISP_FLIP_MODE, 2}, {SV_ISP_PAN, 3}, {SV_ISP_TILT, 8}, {SV_ISP_ZOOM, 35},
    {SV_ISP_FLICK_MODE, 2}, {SV_ISP_JPEG_QUALITY, 77}, {SV_ISP_EHDR_MODE, 1}, {SV_ISP_EHDR_EXPOSURE_MIN_NUMBER, 2},
    {SV_ISP_EHDR_EXPOSURE_MAX_NUMBER, 3}, {SV_ISP_EHDR_RATIO_MIN, 20}, {SV_ISP_EHDR_RATIO_MAX, 30},
    {SV_ISP_EHDR_ATM_WEIGHT, 29}, {SV_ISP_EHDR_ATM_MAX, 57},
};

const char* const kUvcMembers = R"(
    "WhiteBalanceMode": 0, "WhiteBalanceTemperature": 4000, "Brightness": 5, "Contrast": 7, "Hue": 3,
    "ExposureMode": 0, "ExposureTime": -5, "ExposureGain": 4, "Gamma": 150, "Saturation": 9, "Sharpness": 2,
    "Pan": 10, "Tilt": -10, "Zoom": 200, "BacklightCompensation": 2)";

const std::pair<SV_UVC_IMAGE_PROPERTIES, long> kUvcExpected[] = {
    {SV_UVC_WHITE_BALANCE, 4000}, {SV_UVC_BRIGHTNESS, 5}, {SV_UVC_CONTRAST, 7}, {SV_UVC_HUE, 3},
    {SV_UVC_EXPOSURE, -5}, {SV_UVC_GAIN, 4}, {SV_UVC_GAMMA, 150}, {SV_UVC_SATURATION, 9},
    {SV_UVC_SHARPNESS, 2}, {SV_UVC_PAN, 10}, {SV_UVC_TILT, -10}, {SV_UVC_ZOOM, 200},
    {SV_UVC_BACKLIGHT_COMPENSATION, 2},
};

std::string Document(const std::string& mode, const std::string& camera, const std::string& uvc,
                     const std::string& isp) {
    return R"({"ProfileName": "test", "ProductName": "", "GenerateDate": "", "ProfileVersion": "2",
               "ControlMode": ")" + mode + R"(", "CameraProfile": {)" + camera + R"(},
               "UVCProfiles": {)" + uvc + R"(}, "ISPProfiles": {)" + isp + "}}";
}

const char* const kCamera640 = R"("Width": 640, "Height": 480, "PixelFormat": "UYVY", "Framerate": 30)";

// One camera with several formats and every UVC control the documents use.
std::string World(const std::string& name, const std::string& productId, const std::string& xu,
                  const std::string& extra = "") {
    return R"({"devices": [{"id": "cam", "name": ")" + name + R"(", "vendorId": "3f41", "productId": ")" + productId +
           R"(", "serial": "K7Q2M9P4R8",
      "formats": [{"subtype": "YUY2", "width": 640, "height": 480, "fps": 30},
                  {"subtype": "UYVY", "width": 640, "height": 480, "fps": 60},
                  {"subtype": "UYVY", "width": 640, "height": 480, "fps": 30},
                  {"subtype": "MJPG", "width": 1280, "height": 720, "fps": 30}],
      "controls": {"brightness": {"min": -64, "max": 64}, "contrast": {"min": 0, "max": 64, "default": 32},
                   "hue": {"min": -40, "max": 40}, "saturation": {"min": 0, "max": 128, "default": 64},
                   "sharpness": {"min": 0, "max": 6, "default": 3}, "gamma": {"min": 72, "max": 500, "default": 100},
                   "whiteBalance": {"min": 2800, "max": 6500, "default": 4600, "auto": true, "mode": "auto"},
                   "backlightCompensation": {"min": 0, "max": 2, "default": 1}, "gain": {"min": 0, "max": 100},
                   "pan": {"min": -180, "max": 180}, "tilt": {"min": -180, "max": 180},
                   "zoom": {"min": 100, "max": 800, "default": 100},
                   "exposure": {"min": -13, "max": -1, "default": -6, "auto": true, "mode": "auto"}},
      "xu": )" + xu + (extra.empty() ? "" : ", " + extra) + "}]}";
}

const char* const kKivoXu = R"({"model": "kivo"})";
const char* const kLiraXu =
    R"({"model": "lira", "firmwareVersion": "24.07.03.01", "mcuRegisters": {"0x3000": "0x1807", "0x3002": "0x0101"}})";

class ProfileConfigTest : public MakerCameraTest {
protected:
    std::shared_ptr<SvCamera> Open(bool kivo, const std::string& extra = "") {
        InstallWorld(kivo ? World(kKivoName, "0821", kKivoXu, extra) : World(kLiraName, "576e", kLiraXu, extra));
        auto camera = Camera(kivo ? kKivoName : kLiraName);
        EXPECT_EQ(SvOpen(camera), 0);
        return camera;
    }

    // Every transfer and the selected type of a piece of work.
    std::size_t TransfersOf(const std::function<void()>& work) { return svtest::TransferLog(*backend_, work).Transfers(); }

    std::vector<int> TypeSets(const std::function<void()>& work) {
        svtest::TraceCapture trace(*backend_);
        work();
        trace.Stop();
        std::vector<int> indexes;
        for (const auto& j : trace.Json()) {
            if (j.value("op", "") == "type.set") indexes.push_back(j.value("index", -1));
        }
        return indexes;
    }
};

}  // namespace

TEST(ProfileSchema, ShippedExamplesAreValid) {
    for (const char* file : {"kivo-daylight.json", "lira-uvc.json"}) {
        const std::string text = ReadText(std::string(SORVANSDK_SOURCE_DIR "/config/profiles/") + file);
        ASSERT_FALSE(text.empty()) << file;
        std::string why;
        EXPECT_TRUE(sv::formats::ValidateProfileText(text, why)) << file << ": " << why;
    }
}

TEST(ProfileSchema, RefusesWhatTheLibraryCannotReadAsThirtyTwoBitIntegers) {
    std::string why;
    const std::string isp = R"("ExposureGain": 1, "ExposureMode": 1, "ExposureTime": 1, "ExposureMinTime": 1,
        "ExposureMaxTime": 1, "WhiteBalanceMode": 1, "WhiteBalanceTemperature": 5000, "BacklightCompensation": 0,
        "Brightness": 0, "JpegQual": 90, "Contrast": 0, "Denoise": 0, "SpecialEffectMode": 0, "FlipMode": 0,
        "FlickMode": 0, "Gamma": 22, "Saturation": 10, "Sharpness": 0, "Zoom": 10, "Pan": 5, "Tilt": 5)";
    const std::string uvc = R"("WhiteBalanceMode": 0, "WhiteBalanceTemperature": 4000, "Brightness": 5, "Contrast": 7,
        "ExposureMode": 0, "ExposureTime": -5, "ExposureGain": 4, "Gamma": 150, "Saturation": 9, "Sharpness": 2,
        "Pan": 0, "Tilt": 0, "Zoom": 100, "BacklightCompensation": 0)";
    EXPECT_TRUE(sv::formats::ValidateProfileText(Document("ISP", kCamera640, uvc, isp), why)) << why;
    EXPECT_TRUE(sv::formats::ValidateProfileText(Document("ISP", kCamera640, uvc, isp + R"(, "Other": "text")"), why))
        << "members not listed pass";
    EXPECT_TRUE(sv::formats::ValidateProfileText(Document("ISP", kCamera640, uvc, isp + R"(, "MaxFPS": 2147483647)"), why));
    EXPECT_FALSE(sv::formats::ValidateProfileText(Document("ISP", kCamera640, uvc, isp + R"(, "MaxFPS": 2147483648)"), why));
    EXPECT_NE(why.find("keyword maximum, document #/ISPProfiles/MaxFPS"), std::string::npos) << why;
    EXPECT_FALSE(sv::formats::ValidateProfileText(Document("ISP", kCamera640, uvc, isp + R"(, "eHDRAtmMax": 1.5)"), why));
    EXPECT_NE(why.find("keyword type, document #/ISPProfiles/eHDRAtmMax"), std::string::npos) << why;
    EXPECT_FALSE(sv::formats::ValidateProfileText(Document("ISP", kCamera640, uvc + R"(, "Hue": "3")", isp), why));
    EXPECT_NE(why.find("document #/UVCProfiles/Hue"), std::string::npos) << why;
    EXPECT_FALSE(sv::formats::ValidateProfileText(
        Document("ISP", R"("Width": -2147483649, "Height": 480, "PixelFormat": "UYVY", "Framerate": 30)", uvc, isp), why));
    EXPECT_NE(why.find("keyword minimum, document #/CameraProfile/Width"), std::string::npos) << why;
    EXPECT_FALSE(sv::formats::ValidateProfileText(
        Document("ISP", R"("Width": 640, "Height": 480, "PixelFormat": "UYVY", "Framerate": 18446744073709551615)", uvc, isp), why));
    EXPECT_NE(why.find("keyword maximum"), std::string::npos) << why;
    // An integer member is a JSON integer: a whole number written as a real
    // is not one (unlike the earlier interface's documents).
    EXPECT_FALSE(sv::formats::ValidateProfileText(
        Document("ISP", R"("Width": 640.0, "Height": 480, "PixelFormat": "UYVY", "Framerate": 30)", uvc, isp), why));
    EXPECT_NE(why.find("keyword type, document #/CameraProfile/Width"), std::string::npos) << why;
}

TEST_F(ProfileConfigTest, BadDocumentsAnswerTheSchemaMessageAndChangeNothing) {
    auto camera = Open(true);
    struct Bad {
        std::string text;
        const char* schemaAt;
        const char* keyword;
        const char* documentAt;
    };
    const std::string good = Document("ISP", kCamera640, kUvcMembers, kIspMembers);
    std::string noVersion = good;
    noVersion.replace(noVersion.find(R"("ProfileVersion": "2",)"), 22, "");
    std::string wide = good;
    wide.replace(wide.find(R"("Gamma": 45)"), 11, R"("Gamma": 4294967341)");
    std::string typed = good;
    typed.replace(typed.find(R"("Gamma": 45)"), 11, R"("Gamma": "45")");
    const Bad bads[] = {
        {"this is not JSON {", "#", "type", "#"},
        {"", "#", "type", "#"},
        {noVersion, "#", "required", "#"},
        {wide, "#/properties/ISPProfiles/properties/Gamma", "maximum", "#/ISPProfiles/Gamma"},
        {typed, "#/properties/ISPProfiles/properties/Gamma", "type", "#/ISPProfiles/Gamma"},
    };
    for (const Bad& bad : bads) {
        SCOPED_TRACE(bad.text.substr(0, 40));
        LogCapture log;
        const std::size_t transfers = TransfersOf([&] {
            EXPECT_EQ(SvLoadProfileConfig(camera, bad.text), -1);
            EXPECT_EQ(SvActivateProfileImageProcessing(camera), -1);
            EXPECT_EQ(SvActivateProfileStreaming(camera), -1);
        });
        EXPECT_EQ(transfers, 0u) << "nothing reaches the device";
        const std::string text = log.Text();
        const std::string lines[] = {"Validation of schema failed, here is why: ",
                                     std::string("Invalid schema: ") + bad.schemaAt,
                                     std::string("Invalid keyword: ") + bad.keyword,
                                     std::string("Invalid document: ") + bad.documentAt,
                                     std::string("Error at: ") + bad.documentAt};
        std::size_t at = 0;
        for (const auto& line : lines) {
            at = text.find(line, at);
            ASSERT_NE(at, std::string::npos) << "missing or out of order: " << line << "\n" << text;
            EXPECT_TRUE(svtest::HasLineEnding(text.substr(at), line)) << line;
        }
        EXPECT_NE(text.find("Document holder is not initialized"), std::string::npos);
    }
}

TEST_F(ProfileConfigTest, IspDocumentLeavesEveryControlAtItsValueOnBothFamilies) {
    for (bool kivo : {true, false}) {
        SCOPED_TRACE(kivo ? "KIVO" : "LIRA");
        auto camera = Open(kivo);
        long before = 0, brightness = 0;
        int flag = 0;
        ASSERT_EQ(SvGetUVCImageProcessing(camera, SV_UVC_BRIGHTNESS, before, flag), 0);
        ASSERT_EQ(SvLoadProfileConfig(camera, Document("ISP", kCamera640, kUvcMembers, kIspMembers)), 0);
        LogCapture log;
        ASSERT_EQ(SvActivateProfileImageProcessing(camera), 0);
        EXPECT_FALSE(log.Contains("[error]")) << log.Text();
        for (const auto& [id, expected] : kIspExpected) {
            EXPECT_EQ(Get(camera, id), expected) << "property " << id;
        }
        uint8_t fps = 0;
        ASSERT_EQ(SvGetMaxFPS(camera, fps), 0);
        EXPECT_EQ(fps, 25);
        ASSERT_EQ(SvGetUVCImageProcessing(camera, SV_UVC_BRIGHTNESS, brightness, flag), 0);
        EXPECT_EQ(brightness, before) << "an ISP document leaves the UVC controls alone";
    }
}

TEST_F(ProfileConfigTest, UvcDocumentLeavesEveryUvcControlAtItsValueAndTheIspAlone) {
    for (const auto& [mode, kivo] : {std::pair<const char*, bool>{"UVC", true}, {"UVC_ISP", true}, {"UVC", false}}) {
        SCOPED_TRACE(testing::Message() << mode << (kivo ? " KIVO" : " LIRA"));
        auto camera = Open(kivo);
        ASSERT_EQ(SvLoadProfileConfig(camera, Document(mode, kCamera640, kUvcMembers, kIspMembers)), 0);
        ASSERT_EQ(SvActivateProfileImageProcessing(camera), 0);
        for (const auto& [id, expected] : kUvcExpected) {
            long value = 0;
            int flag = -1;
            ASSERT_EQ(SvGetUVCImageProcessing(camera, id, value, flag), 0) << id;
            EXPECT_EQ(value, expected) << "property " << id;
        }
        EXPECT_EQ(Get(camera, SV_ISP_GAMMA), 22) << "the ISP section is not applied";
    }
    // The automatic flags come from the mode members.
    auto camera = Open(true);
    std::string automatic = kUvcMembers;
    automatic.replace(automatic.find(R"("ExposureMode": 0)"), 17, R"("ExposureMode": 1)");
    automatic.replace(automatic.find(R"("WhiteBalanceMode": 0)"), 21, R"("WhiteBalanceMode": 1)");
    ASSERT_EQ(SvLoadProfileConfig(camera, Document("UVC", kCamera640, automatic, kIspMembers)), 0);
    ASSERT_EQ(SvActivateProfileImageProcessing(camera), 0);
    long value = 0;
    int flag = 0;
    ASSERT_EQ(SvGetUVCImageProcessing(camera, SV_UVC_EXPOSURE, value, flag), 0);
    EXPECT_EQ(flag, 1);
    ASSERT_EQ(SvGetUVCImageProcessing(camera, SV_UVC_WHITE_BALANCE, value, flag), 0);
    EXPECT_EQ(flag, 1);
}

TEST_F(ProfileConfigTest, ControlModesAndSkippedMembers) {
    auto camera = Open(true);
    // Lower case names neither mode: nothing is written, and that is success.
    ASSERT_EQ(SvLoadProfileConfig(camera, Document("isp", kCamera640, kUvcMembers, kIspMembers)), 0);
    EXPECT_EQ(TransfersOf([&] { EXPECT_EQ(SvActivateProfileImageProcessing(camera), 0); }), 0u);

    const std::string isp = std::string(kIspMembers) + R"(, "Hue": 3, "MaxFPS": 256)";
    ASSERT_EQ(SvLoadProfileConfig(camera, Document("ISP", kCamera640, std::string(kUvcMembers) + R"(, "Roll": 1)", isp)), 0);
    LogCapture log;
    ASSERT_EQ(SvActivateProfileImageProcessing(camera), 0);
    std::string text = log.Text();
    EXPECT_NE(text.find("ISP profile name is not found Hue"), std::string::npos) << text;
    EXPECT_NE(text.find("MaxFPS value 256 is out of valid range (1-255), skipping"), std::string::npos) << text;

    ASSERT_EQ(SvLoadProfileConfig(camera, Document("UVC", kCamera640, std::string(kUvcMembers) + R"(, "Roll": 1)", isp)), 0);
    LogCapture uvcLog;
    ASSERT_EQ(SvActivateProfileImageProcessing(camera), 0);
    EXPECT_NE(uvcLog.Text().find("UVC profile name is not found Roll"), std::string::npos);

    // eHDR members on a camera without eHDR are skipped; the rest applies.
    InstallWorld(World("KIVO-AR0234 Camera", "0234", kKivoXu));
    auto plain = Camera("KIVO-AR0234");
    ASSERT_EQ(SvOpen(plain), 0);
    ASSERT_EQ(SvLoadProfileConfig(plain, Document("ISP", kCamera640, kUvcMembers, kIspMembers)), 0);
    ASSERT_EQ(SvActivateProfileImageProcessing(plain), 0);
    EXPECT_EQ(Get(plain, SV_ISP_GAMMA), 45);
    EXPECT_EQ(Get(plain, SV_ISP_EHDR_MODE), -1000000);
}

TEST_F(ProfileConfigTest, StreamingSelectsTheFirstMatchingFormatAndReportsItsFailure) {
    auto camera = Open(false);
    ASSERT_EQ(SvLoadProfileConfig(camera, Document("ISP", kCamera640, kUvcMembers, kIspMembers)), 0);
    EXPECT_EQ(TypeSets([&] { EXPECT_EQ(SvActivateProfileStreaming(camera), 0); }), (std::vector<int>{1}))
        << "UYVY 640x480 at 60 comes first; the frame rate takes no part";

    // A second, invalid load keeps the first document.
    EXPECT_EQ(SvLoadProfileConfig(camera, "{}"), -1);
    EXPECT_EQ(TypeSets([&] { EXPECT_EQ(SvActivateProfileStreaming(camera), 0); }), (std::vector<int>{1}));

    for (const char* format : {"NONE", "uyvy", "NV12"}) {
        const std::string profile = std::string(R"("Width": 640, "Height": 480, "PixelFormat": ")") + format +
                                    R"(", "Framerate": 30)";
        ASSERT_EQ(SvLoadProfileConfig(camera, Document("ISP", profile, kUvcMembers, kIspMembers)), 0);
        LogCapture log;
        EXPECT_TRUE(TypeSets([&] { EXPECT_EQ(SvActivateProfileStreaming(camera), -1); }).empty()) << format;
        EXPECT_TRUE(log.Contains("Format is not found"));
    }
    ASSERT_EQ(SvLoadProfileConfig(camera, Document("ISP", R"("Width": 1280, "Height": 720, "PixelFormat": "MJPG", "Framerate": 5)",
                                                   kUvcMembers, kIspMembers)), 0);
    EXPECT_EQ(TypeSets([&] { EXPECT_EQ(SvActivateProfileStreaming(camera), 0); }), (std::vector<int>{3}));

    // The device refuses the type: the activation fails instead of reporting success.
    auto refusing = Open(true, R"("faults": [{"op": "setType", "times": 0, "code": "E_FAIL"}])");
    ASSERT_EQ(SvLoadProfileConfig(refusing, Document("ISP", kCamera640, kUvcMembers, kIspMembers)), 0);
    EXPECT_EQ(SvActivateProfileStreaming(refusing), -1);
}

TEST_F(ProfileConfigTest, StreamingNeverTakesAFormatTheLibraryCannotName) {
    // An RGB24 type first: the library lists it with format code 0, which
    // is neither "UYVY" nor "NONE".
    std::string world = World(kLiraName, "576e", kLiraXu);
    const std::string head = R"("formats": [)";
    world.replace(world.find(head), head.size(), head + R"({"subtype": "RGB24", "width": 640, "height": 480, "fps": 30}, )");
    InstallWorld(world);
    auto camera = Camera(kLiraName);
    ASSERT_EQ(SvOpen(camera), 0);
    std::vector<SvFormat> formats;
    ASSERT_EQ(SvGetFormatList(camera, formats), 0);
    ASSERT_GE(formats.size(), 3u);
    ASSERT_EQ(formats[0].format, SV_IMAGE_FORMAT_NONE);
    ASSERT_EQ(formats[2].format, SV_IMAGE_FORMAT_UYVY);

    ASSERT_EQ(SvLoadProfileConfig(camera, Document("ISP", kCamera640, kUvcMembers, kIspMembers)), 0);
    EXPECT_EQ(TypeSets([&] { EXPECT_EQ(SvActivateProfileStreaming(camera), 0); }), (std::vector<int>{2}))
        << "the UYVY type, not the unnamed one before it";

    const std::string none = R"("Width": 640, "Height": 480, "PixelFormat": "NONE", "Framerate": 30)";
    ASSERT_EQ(SvLoadProfileConfig(camera, Document("ISP", none, kUvcMembers, kIspMembers)), 0);
    EXPECT_TRUE(TypeSets([&] { EXPECT_EQ(SvActivateProfileStreaming(camera), -1); }).empty())
        << "NONE names no format, not even one the library cannot name";
}

TEST_F(ProfileConfigTest, GenericCamerasAreRefused) {
    InstallDefault();
    auto webcam = Camera("WebCam");
    LogCapture log;
    EXPECT_EQ(SvLoadProfileConfig(webcam, "{}"), -1);
    EXPECT_EQ(SvActivateProfileStreaming(webcam), -1);
    EXPECT_EQ(SvActivateProfileImageProcessing(webcam), -1);
    EXPECT_EQ(SvLoadProfileConfig(nullptr, "{}"), -1);
    const std::string text = log.Text();
    EXPECT_NE(text.find("Cannot Support this Function: SvLoadProfileConfig"), std::string::npos);
    EXPECT_NE(text.find("Cannot Support this Function: SvActivateProfileStreaming"), std::string::npos);
    EXPECT_NE(text.find("Cannot Support this Function: SvActivateProfileImageProcessing"), std::string::npos);
    EXPECT_EQ(text.find("not available in this build"), std::string::npos);
}

TEST_F(ProfileConfigTest, LoadingOnOneThreadWhileAnotherActivates) {
    auto camera = Open(true);
    const std::string first = Document("ISP", kCamera640, kUvcMembers, kIspMembers);
    std::string second = first;
    second.replace(second.find(R"("Gamma": 45)"), 11, R"("Gamma": 30)");
    ASSERT_EQ(SvLoadProfileConfig(camera, first), 0);
    std::thread loader([&] {
        for (int i = 0; i < 20; ++i) EXPECT_EQ(SvLoadProfileConfig(camera, i % 2 ? first : second), 0);
    });
    for (int i = 0; i < 20; ++i) EXPECT_EQ(SvActivateProfileImageProcessing(camera), 0);
    loader.join();
    ASSERT_EQ(SvActivateProfileImageProcessing(camera), 0);
    EXPECT_EQ(Get(camera, SV_ISP_GAMMA), 45) << "the last document loaded";
}
