// The profile block on its own: checksum, where a KANO module keeps it, and
// its conversion into a profile-configuration document.

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include "formats/OspProfileBlock.h"

using sv::formats::OspFamily;
using sv::formats::OspProfileBlock;
namespace osp = sv::formats::osp;

namespace {

void Put16(OspProfileBlock& b, std::size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

OspProfileBlock Zeroed() {
    OspProfileBlock b{};
    b.fill(0);
    return b;
}

rapidjson::Document Parse(const std::string& text) {
    rapidjson::Document d;
    d.Parse(text.c_str());
    EXPECT_FALSE(d.HasParseError()) << text;
    return d;
}

int Uvc(const OspProfileBlock& b, const char* key, OspFamily family = OspFamily::Kano) {
    auto d = Parse(sv::formats::OspProfileToJson(b, family, false));
    return d["UVCProfiles"][key].GetInt();
}

int Isp(const OspProfileBlock& b, const char* key, OspFamily family = OspFamily::Kano) {
    auto d = Parse(sv::formats::OspProfileToJson(b, family, false));
    return d["ISPProfiles"][key].GetInt();
}

std::vector<std::string> Keys(const rapidjson::Value& object) {
    std::vector<std::string> keys;
    for (auto m = object.MemberBegin(); m != object.MemberEnd(); ++m) keys.emplace_back(m->name.GetString());
    return keys;
}

}  // namespace

TEST(OspProfileBlock, ChecksumIsTheSumOfTheFirst78Bytes) {
    OspProfileBlock b = Zeroed();
    for (std::size_t i = 0; i < 78; ++i) b[i] = 0xFF;
    EXPECT_EQ(sv::formats::OspProfileChecksum(b), 19890) << "never wraps";
    b = Zeroed();
    b[0] = 0x34;
    b[10] = 0x12;
    b[77] = 0xFF;
    b[78] = 0xAA;  // the stored checksum is not part of the sum
    Put16(b, osp::kChecksum, 0x0145);
    EXPECT_EQ(sv::formats::OspProfileChecksum(b), 0x0145);
    EXPECT_EQ(sv::formats::OspProfileStoredChecksum(b), 0x0145);
}

TEST(OspProfileBlock, KanoPlaceFollowsTheContentAndMovesToTheNextDeviceFrom0xFFFF) {
    SvHeaderV3 h{};
    h.contentOffset = 125;
    h.contentLen = 64;
    auto p = sv::formats::KanoProfilePlace(h, 0x54);
    EXPECT_EQ(p.device, 0x54);
    EXPECT_EQ(p.reg, 189);
    h.contentOffset = 0x0100;
    h.contentLen = 0xFF00;
    p = sv::formats::KanoProfilePlace(h, 0x54);
    EXPECT_EQ(p.device, 0x55);
    EXPECT_EQ(p.reg, 0x0000);
    h.contentLen = 0xFEFF;
    p = sv::formats::KanoProfilePlace(h, 0x54);
    EXPECT_EQ(p.device, 0x55) << "0xFFFF already counts as the next device";
    EXPECT_EQ(p.reg, 0xFFFF);
    h.contentLen = 0xFEFE;
    p = sv::formats::KanoProfilePlace(h, 0x54);
    EXPECT_EQ(p.device, 0x54);
    EXPECT_EQ(p.reg, 0xFFFE);
}

TEST(OspProfileBlock, DocumentIsCompactWithMembersInOrder) {
    OspProfileBlock b = Zeroed();
    Put16(b, osp::kWidth, 1920);
    Put16(b, osp::kHeight, 1080);
    b[osp::kPixelFormat] = 0x50;
    b[osp::kFrameRate] = 30;
    Put16(b, osp::kThroughput, 1000);
    const std::string text = sv::formats::OspProfileToJson(b, OspFamily::Kano, false);
    EXPECT_EQ(text.find(' '), std::string::npos);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(text.rfind(R"({"ProfileName":"OSPProfile","ProductName":"","GenerateDate":"","ControlMode":"ISP",)"
                         R"("ProfileVersion":"2","CameraProfile":{"Width":1920,"Height":1080,"Framerate":30,)"
                         R"("PixelFormat":"UYVY","Throughput":1000},"UVCProfiles":{"ExposureTime":)", 0),
              0u)
        << text;
    auto d = Parse(text);
    EXPECT_EQ(Keys(d["UVCProfiles"]),
              (std::vector<std::string>{"ExposureTime", "ExposureGain", "ExposureMode", "WhiteBalanceMode",
                                        "WhiteBalanceTemperature", "BacklightCompensation", "Brightness", "Contrast",
                                        "Saturation", "Gamma", "Sharpness", "Zoom", "Pan", "Tilt"}));
    EXPECT_EQ(Keys(d["ISPProfiles"]),
              (std::vector<std::string>{"ExposureTime", "ExposureMinTime", "ExposureMaxTime", "ExposureGain",
                                        "ExposureMode", "WhiteBalanceMode", "WhiteBalanceTemperature",
                                        "BacklightCompensation", "Brightness", "Contrast", "Saturation", "Gamma",
                                        "Denoise", "Sharpness", "FlipMode", "SpecialEffectMode", "Zoom", "Pan", "Tilt",
                                        "FlickMode", "JpegQual"}));
    auto lumo = Parse(sv::formats::OspProfileToJson(b, OspFamily::Lumo, false));
    EXPECT_EQ(Keys(lumo["ISPProfiles"]),
              (std::vector<std::string>{"ExposureTime", "ExposureMinTime", "ExposureMaxTime", "ExposureGain",
                                        "ExposureMode", "WhiteBalanceMode", "WhiteBalanceTemperature", "Saturation",
                                        "Gamma", "FlipMode", "SpecialEffectMode", "Zoom", "Pan", "Tilt", "FlickMode",
                                        "JpegQual", "BacklightCompensation", "Brightness", "Contrast", "Denoise",
                                        "Sharpness"}));
}

TEST(OspProfileBlock, PixelFormatNames) {
    OspProfileBlock b = Zeroed();
    auto format = [&](bool yuy2) {
        auto d = Parse(sv::formats::OspProfileToJson(b, OspFamily::Kano, yuy2));
        return std::string(d["CameraProfile"]["PixelFormat"].GetString());
    };
    b[osp::kPixelFormat] = 0x50;
    EXPECT_EQ(format(false), "UYVY");
    EXPECT_EQ(format(true), "YUY2");
    b[osp::kPixelFormat] = 1;
    EXPECT_EQ(format(false), "MJPG");
    b[osp::kPixelFormat] = 2;
    EXPECT_EQ(format(false), "NONE");
}

TEST(OspProfileBlock, UvcForms) {
    OspProfileBlock b = Zeroed();
    Put16(b, osp::kPan, 0x0080);
    Put16(b, osp::kTilt, 0x0000);
    EXPECT_EQ(Uvc(b, "Pan"), 0);
    EXPECT_EQ(Uvc(b, "Tilt"), -647999);
    Put16(b, osp::kPan, 0x0100);
    EXPECT_EQ(Uvc(b, "Pan"), 648000);
    Put16(b, osp::kBrightness, 0xF000);
    EXPECT_EQ(Uvc(b, "Brightness"), 0);
    Put16(b, osp::kBrightness, 0x1000);
    EXPECT_EQ(Uvc(b, "Brightness"), 32);
    Put16(b, osp::kGamma, 0x2333);
    EXPECT_EQ(Uvc(b, "Gamma"), 18);
    Put16(b, osp::kContrast, 0x5000);
    EXPECT_EQ(Uvc(b, "Contrast"), 10);
    Put16(b, osp::kContrast, 0xB000);
    EXPECT_EQ(Uvc(b, "Contrast"), 0);
    Put16(b, osp::kBacklight, 0x0F00);
    EXPECT_EQ(Uvc(b, "BacklightCompensation"), 480);
    Put16(b, osp::kBacklight, 0xF100);
    EXPECT_EQ(Uvc(b, "BacklightCompensation"), 0);
    Put16(b, osp::kSharpness, 0x2000);
    EXPECT_EQ(Uvc(b, "Sharpness"), 64);
    Put16(b, osp::kZoom, 0x0180);
    EXPECT_EQ(Uvc(b, "Zoom"), 150);
    Put16(b, osp::kSaturation, 0x3412);
    EXPECT_EQ(Uvc(b, "Saturation"), 0x34) << "the high byte";
    b[osp::kExposureMode] = 12;
    b[osp::kWhiteBalanceMode] = 7;
    EXPECT_EQ(Uvc(b, "ExposureMode"), 1);
    EXPECT_EQ(Uvc(b, "WhiteBalanceMode"), 0);
    b[osp::kExposure] = 0xFF;
    b[osp::kExposure + 1] = 0xFF;
    b[osp::kExposure + 2] = 0xFF;
    b[osp::kExposure + 3] = 0xFF;
    auto d = Parse(sv::formats::OspProfileToJson(b, OspFamily::Kano, false));
    EXPECT_EQ(d["UVCProfiles"]["ExposureTime"].GetUint(), 0xFFFFFFFFu) << "unsigned 32 bits";
}

TEST(OspProfileBlock, IspFixedPointValuesReadAsTheIspPropertyShowsThem) {
    OspProfileBlock b = Zeroed();
    Put16(b, osp::kGamma, 0x2333);  // 2.19995: gamma 2.2
    EXPECT_EQ(Isp(b, "Gamma"), 22);
    // Every contrast step the property can set: the 4.12 word it writes (the
    // fraction cut toward zero, a little below the step) reads back as the
    // same step, on both families.
    for (int step = -50; step <= 50; ++step) {
        const double value = step / 10.0;
        const auto word = static_cast<uint16_t>(static_cast<int16_t>(value * 4096.0));
        Put16(b, osp::kContrast, word);
        EXPECT_EQ(Isp(b, "Contrast"), step) << "KANO word " << word;
        Put16(b, osp::kContrast, static_cast<uint16_t>(word + 0x5000));
        EXPECT_EQ(Isp(b, "Contrast", OspFamily::Lumo), step) << "LUMO";
    }
    Put16(b, osp::kBrightness, 0x1000);
    EXPECT_EQ(Isp(b, "Brightness"), 10);
    EXPECT_EQ(Isp(b, "Brightness", OspFamily::Lumo), 0);
    Put16(b, osp::kBacklight, 0xFF80);  // -0.5
    EXPECT_EQ(Isp(b, "BacklightCompensation"), -5);
    Put16(b, osp::kBacklight, 0x0F00);
    EXPECT_EQ(Isp(b, "BacklightCompensation", OspFamily::Lumo), 0);
    Put16(b, osp::kDenoise, 0x2000);
    Put16(b, osp::kSharpness, 0x1800);  // LUMO: -0.5
    EXPECT_EQ(Isp(b, "Denoise", OspFamily::Lumo), 0);
    EXPECT_EQ(Isp(b, "Sharpness", OspFamily::Lumo), -5);
    EXPECT_EQ(Isp(b, "Denoise"), 20);
    Put16(b, osp::kZoom, 0x0180);
    Put16(b, osp::kPan, 0x0080);
    EXPECT_EQ(Isp(b, "Zoom"), 15);
    EXPECT_EQ(Isp(b, "Pan"), 5);
}

TEST(OspProfileBlock, IspCodeLookups) {
    OspProfileBlock b = Zeroed();
    Put16(b, osp::kFlicker, 0x3C01);
    EXPECT_EQ(Isp(b, "FlickMode"), 2);
    Put16(b, osp::kFlicker, 14);
    EXPECT_EQ(Isp(b, "FlickMode"), 3);
    Put16(b, osp::kFlicker, 0x1234);
    EXPECT_EQ(Isp(b, "FlickMode"), 0) << "unknown code reads as the first";
    b[osp::kExposureMode] = 9;
    EXPECT_EQ(Isp(b, "ExposureMode"), 2);
    b[osp::kWhiteBalanceMode] = 15;
    EXPECT_EQ(Isp(b, "WhiteBalanceMode"), 1);
    b[osp::kEffect] = 0xF7;  // low four bits: 7
    EXPECT_EQ(Isp(b, "SpecialEffectMode"), 3);
    b[osp::kFlip] = 0xFE;
    EXPECT_EQ(Isp(b, "FlipMode"), 2);
    b[osp::kJpegQuality] = 77;
    EXPECT_EQ(Isp(b, "JpegQual"), 77);
}
