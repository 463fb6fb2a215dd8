// The legacy profile document on its own: made from a block, written back
// into one, its fixed-point forms, its printing and the members it refuses.

#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "legacy/LegacyProfileDocument.h"
#include "platform/sim/MakerDevices.h"

namespace {

using sv::legacy::ProfileBlock;
using sv::legacy::ProfileFamily;
namespace pb = sv::profileblock;

ProfileBlock Factory(bool lumo) {
    const auto bytes = sv::sim::maker::FactoryProfileBlock(lumo, 1920, lumo ? 1080 : 1200);
    ProfileBlock b{};
    std::copy(bytes.begin(), bytes.end(), b.begin());
    return b;
}

// The register values a block's register rows came from.
sv::legacy::ProfileRegisterValues RegistersOf(const ProfileBlock& b) {
    const uint32_t min = pb::Get32(b, pb::at::kExposureMin);
    const uint32_t max = pb::Get32(b, pb::at::kExposureMax);
    return {b[pb::at::kIspMode], static_cast<uint16_t>(pb::Get16(b, pb::at::kThroughput) << 6),
            static_cast<uint16_t>(min >> 16), static_cast<uint16_t>(min & 0xFFFF), static_cast<uint16_t>(max >> 16),
            static_cast<uint16_t>(max & 0xFFFF), pb::Get16(b, pb::at::kAeSetting), pb::Get16(b, pb::at::kZoomType),
            pb::Get16(b, pb::at::kZoomSetting)};
}

ProfileBlock RoundTrip(const ProfileBlock& original, ProfileFamily family) {
    const std::string text = sv::legacy::ProfileDocumentFromBlock(original, family);
    ProfileBlock back{};
    std::string error;
    EXPECT_EQ(sv::legacy::ProfileBlockFromDocument(text.c_str(), family, original[0], back, error), 0) << error;
    sv::legacy::PutProfileRegisters(back, RegistersOf(original));
    pb::Seal(back);
    return back;
}

// A block with every field away from its default: negative fixed-point
// values, the largest exposure, MJPG, manual modes, a fixed frame rate.
ProfileBlock Busy(bool lumo) {
    ProfileBlock b{};
    b[0] = 3;
    b[1] = 0x50;
    pb::Put16(b, pb::at::kWidth, 640);
    pb::Put16(b, pb::at::kHeight, 480);
    b[pb::at::kPixelFormat] = 1;
    b[pb::at::kIspMode] = 0x0A;
    pb::Put16(b, pb::at::kThroughput, 1023);
    b[pb::at::kFrameRate] = 60;
    pb::Put32(b, pb::at::kExposureMin, 0x00010002);
    pb::Put32(b, pb::at::kExposureMax, 0xABCD1234);
    pb::Put16(b, pb::at::kAeSetting, 0xBEEF);
    b[pb::at::kExposureMode] = 9;
    pb::Put32(b, pb::at::kExposure, 0xFFFFFFFF);
    b[pb::at::kGain] = 64;
    pb::Put16(b, pb::at::kBacklight, lumo ? 0x0E80 : 0xFF80);  // -0.5
    b[pb::at::kWhiteBalanceMode] = 7;
    pb::Put16(b, pb::at::kWhiteBalance, 6500);
    pb::Put16(b, pb::at::kBrightness, lumo ? 0x0800 : 0xF800);   // -0.5
    pb::Put16(b, pb::at::kContrast, lumo ? 0x2001 : 0x8001);     // near -3 / -8
    pb::Put16(b, pb::at::kSaturation, 0x7FFF);
    pb::Put16(b, pb::at::kGamma, 0x1800);
    pb::Put16(b, pb::at::kDenoise, lumo ? 0x0000 : 0xE800);
    pb::Put16(b, pb::at::kSharpness, lumo ? 0x3000 : 0x1000);
    b[pb::at::kFlip] = 3;
    b[pb::at::kEffect] = 15;
    pb::Put16(b, pb::at::kZoomType, 0x0102);
    pb::Put16(b, pb::at::kZoom, lumo ? 0xFF80 : 0x0180);
    pb::Put16(b, pb::at::kPan, lumo ? 0x00C0 : 0xFF40);
    pb::Put16(b, pb::at::kTilt, 0x0001);
    pb::Put16(b, pb::at::kZoomSetting, 0x0304);
    pb::Put16(b, pb::at::kFlicker, 0x3C01);
    b[pb::at::kJpegQuality] = 100;
    b[pb::at::kFixedFps] = 1;
    pb::Seal(b);
    return b;
}

nlohmann::json Parsed(const ProfileBlock& b, ProfileFamily family) {
    return nlohmann::json::parse(sv::legacy::ProfileDocumentFromBlock(b, family));
}

// A document in the form the reader gives, with one "ISPProfiles" member changed.
std::string WithIsp(const std::string& key, const nlohmann::json& value) {
    auto d = Parsed(Factory(false), ProfileFamily::Kano);
    d["ISPProfiles"][key] = value;
    return d.dump();
}

int Write(const std::string& text, ProfileBlock& b, std::string& error) {
    return sv::legacy::ProfileBlockFromDocument(text.c_str(), ProfileFamily::Kano, 0, b, error);
}

}  // namespace

TEST(LegacyProfileDocument, BlockToDocumentToBlockGivesTheSame80BytesForBothFamilies) {
    for (bool lumo : {false, true}) {
        SCOPED_TRACE(lumo ? "LUMO" : "KANO");
        const ProfileFamily family = lumo ? ProfileFamily::Lumo : ProfileFamily::Kano;
        for (const ProfileBlock& sample : {Factory(lumo), Busy(lumo)}) {
            EXPECT_EQ(RoundTrip(sample, family), sample);
        }
    }
}

TEST(LegacyProfileDocument, FixedPointFormsCutTowardZeroWithinTheirWholePart) {
    EXPECT_EQ(sv::legacy::ProfileForm4_12(-0.5f), 0xF800);
    EXPECT_EQ(sv::legacy::ProfileForm8_8(-0.5f), 0xFF80);
    EXPECT_EQ(sv::legacy::ProfileForm4_12(1.5f), 0x1800);
    EXPECT_EQ(sv::legacy::ProfileForm8_8(1.5f), 0x0180);
    EXPECT_EQ(sv::legacy::ProfileForm4_12(-1.5f), 0xE800);
    EXPECT_EQ(sv::legacy::ProfileForm4_12(-8.0f), 0x8000);
    EXPECT_EQ(sv::legacy::ProfileForm8_8(255.5f), 0xFF80);

    auto d = Parsed(Factory(false), ProfileFamily::Kano);
    d["ISPProfiles"]["Brightness"] = -0.5;
    d["ISPProfiles"]["ZoomTarget"] = 1.5;
    ProfileBlock b{};
    std::string error;
    ASSERT_EQ(Write(d.dump(), b, error), 0) << error;
    EXPECT_EQ(b[33], 0x00);
    EXPECT_EQ(b[34], 0xF8);
    EXPECT_EQ(b[49], 0x80);
    EXPECT_EQ(b[50], 0x01);
}

TEST(LegacyProfileDocument, PrintedSortedWithTwoSpacesAndRealsAsReals) {
    const std::string text = sv::legacy::ProfileDocumentFromBlock(Factory(false), ProfileFamily::Kano);
    EXPECT_EQ(text.rfind("{\n  \"CameraProfile\": {\n    \"Framerate\": 30,\n", 0), 0u) << text;
    const auto isp = text.find("\"ISPProfiles\": {\n    \"AE_EXP_GAIN\": 1,");
    ASSERT_NE(isp, std::string::npos) << text;
    const auto end = text.find('}', isp);
    const auto last = text.rfind("\"Zoom_CTY\": 0.5\n", end);
    EXPECT_NE(last, std::string::npos);
    EXPECT_GT(last, isp);
    EXPECT_NE(text.find("\"Brightness\": 0.0,"), std::string::npos) << "whole reals keep their .0";
    EXPECT_NE(text.find("\"ProfileName\": \"OTPProfile\""), std::string::npos);
    // The top level, in byte order of the keys.
    const char* order[] = {"\"CameraProfile\"", "\"ControlMode\"", "\"GenerateDate\"", "\"ISPProfiles\"",
                           "\"ProductName\"",   "\"ProfileName\"", "\"UVCProfiles\""};
    std::size_t at = 0;
    for (const char* key : order) {
        const auto found = text.find(std::string("\n  ") + key, at);
        ASSERT_NE(found, std::string::npos) << key;
        at = found;
    }
}

TEST(LegacyProfileDocument, ValuesOfEachFamily) {
    ProfileBlock b = Factory(false);
    b[pb::at::kPixelFormat] = 0x50;
    b[pb::at::kExposureMode] = 12;
    b[pb::at::kWhiteBalanceMode] = 15;
    pb::Put16(b, pb::at::kBrightness, 0x0800);
    pb::Put16(b, pb::at::kPan, 0x0000);
    const auto kano = Parsed(b, ProfileFamily::Kano);
    EXPECT_EQ(kano["CameraProfile"]["PixelFormat"], "UYVY");
    EXPECT_EQ(kano["UVCProfiles"]["Exp_Auto"], true);
    EXPECT_EQ(kano["UVCProfiles"]["WB_Auto"], true);
    EXPECT_EQ(kano["ISPProfiles"]["AE_EXP_MODE"], 12);
    EXPECT_EQ(kano["ISPProfiles"]["AWB_MODE"], true);
    EXPECT_EQ(kano["ISPProfiles"]["Brightness"].get<double>(), 0.5);
    EXPECT_EQ(kano["UVCProfiles"]["Pan"], -647999);
    EXPECT_EQ(kano["UVCProfiles"]["Gamma"], 18);  // 0x2333
    const auto lumo = Parsed(b, ProfileFamily::Lumo);
    EXPECT_EQ(lumo["ISPProfiles"]["Brightness"].get<double>(), -0.5);
    b[pb::at::kPixelFormat] = 2;
    b[pb::at::kFixedFps] = 2;
    EXPECT_EQ(Parsed(b, ProfileFamily::Kano)["CameraProfile"]["PixelFormat"], "NONE");
    EXPECT_EQ(Parsed(b, ProfileFamily::Kano)["ISPProfiles"]["Fixed_FPS"], false);
}

TEST(LegacyProfileDocument, ComparedMembersCountOnlyTheirOwnValue) {
    ProfileBlock b{};
    std::string error;
    ASSERT_EQ(Write(WithIsp("AWB_MODE", 1), b, error), 0) << error;
    EXPECT_EQ(b[pb::at::kWhiteBalanceMode], 7) << "1 is not true";
    ASSERT_EQ(Write(WithIsp("AWB_MODE", true), b, error), 0) << error;
    EXPECT_EQ(b[pb::at::kWhiteBalanceMode], 15);
    auto d = Parsed(Factory(false), ProfileFamily::Kano);
    d["ISPProfiles"].erase("Fixed_FPS");
    d["CameraProfile"]["PixelFormat"] = "YUY2";
    ASSERT_EQ(Write(d.dump(), b, error), 0) << error;
    EXPECT_EQ(b[pb::at::kFixedFps], 0);
    EXPECT_EQ(b[pb::at::kPixelFormat], 0);
    EXPECT_EQ(b[0], 0);
    EXPECT_EQ(b[1], 0x50);
}

TEST(LegacyProfileDocument, NumbersAreCheckedForTypeAndRangeBeforeConversion) {
    ProfileBlock b{};
    b.fill(0xEE);
    const ProfileBlock untouched = b;
    std::string error;
    auto d = Parsed(Factory(false), ProfileFamily::Kano);
    d["ISPProfiles"].erase("Jpeg_Qual");
    EXPECT_EQ(Write(d.dump(), b, error), -1);
    EXPECT_EQ(error, "\"ISPProfiles\".\"Jpeg_Qual\" is missing");

    EXPECT_EQ(Write(WithIsp("AE_EXP_GAIN", 1e30), b, error), -1);
    EXPECT_EQ(error, "\"ISPProfiles\".\"AE_EXP_GAIN\" is out of range (0 ~ 255)");
    EXPECT_EQ(Write(WithIsp("Brightness", 8.0), b, error), -1) << "8.0 has no 4.12 form";
    EXPECT_NE(error.find("\"Brightness\" is out of range"), std::string::npos) << error;
    EXPECT_EQ(Write(WithIsp("ZoomTarget", -1e30), b, error), -1);
    EXPECT_EQ(Write(WithIsp("Flick_Mode", 65536), b, error), -1);
    EXPECT_EQ(Write(WithIsp("AWB_TEMP", "5000"), b, error), -1);
    EXPECT_EQ(error, "\"ISPProfiles\".\"AWB_TEMP\" must be a number, found string");
    EXPECT_EQ(Write(WithIsp("Gamma", nullptr), b, error), -1);
    EXPECT_EQ(Write("{\"CameraProfile\": ", b, error), -1);
    EXPECT_NE(error.find("parse error"), std::string::npos) << error;
    EXPECT_EQ(Write("[1, 2]", b, error), -1);
    EXPECT_EQ(error, "\"CameraProfile\".\"Width\" is missing");
    EXPECT_EQ(sv::legacy::ProfileBlockFromDocument(nullptr, ProfileFamily::Kano, 0, b, error), -1);
    EXPECT_EQ(b, untouched) << "a refused document leaves the block as it was";

    // Booleans count as 1 and 0, reals are cut toward zero, a negative
    // exposure keeps its 32 bits.
    ASSERT_EQ(Write(WithIsp("AE_EXP_GAIN", 7.9), b, error), 0) << error;
    EXPECT_EQ(b[pb::at::kGain], 7);
    ASSERT_EQ(Write(WithIsp("Flip_Mode", true), b, error), 0) << error;
    EXPECT_EQ(b[pb::at::kFlip], 1);
    ASSERT_EQ(Write(WithIsp("AE_EXP_TIME", -1), b, error), 0) << error;
    EXPECT_EQ(pb::Get32(b, pb::at::kExposure), 0xFFFFFFFFu);
}

TEST(LegacyProfileDocument, RegisterRowsComeFromTheRegisterValues) {
    ProfileBlock b{};
    sv::legacy::PutProfileRegisters(b, {0x00F7, 0xFA00, 0x0001, 0x0002, 0x0003, 0x0004, 0x1234, 0x0005, 0xABCD});
    EXPECT_EQ(b[8], 0x07) << "bits 0-3 of 0x2014";
    EXPECT_EQ(pb::Get16(b, 9), 1000);
    EXPECT_EQ(pb::Get32(b, 12), 0x00010002u);
    EXPECT_EQ(pb::Get32(b, 16), 0x00030004u);
    EXPECT_EQ(pb::Get16(b, 20), 0x1234);
    EXPECT_EQ(pb::Get16(b, 47), 0x0005);
    EXPECT_EQ(pb::Get16(b, 55), 0xABCD);
}
