// Register encodings of the ISP controls and the interface scaling: the values
// the device protocol fixes, and that every interface value survives a write
// and a read in every encoding.

#include <functional>

#include <gtest/gtest.h>

#include "base/FixedPoint.h"
#include "camera/IspProperties.h"

namespace fp = sv::fixedpoint;

TEST(FixedPoint, KivoEncodingsGiveTheDeviceWords) {
    EXPECT_EQ(fp::Encode(-0.5, 12), 0xF800);
    EXPECT_EQ(fp::Encode(1.0, 12), 0x1000);
    EXPECT_EQ(fp::Encode(2.2, 12), 0x2333);
    EXPECT_EQ(fp::DecodeSigned4_12(0x2333), 2.199951171875);
    EXPECT_EQ(fp::DecodeSigned4_12(0xF800), -0.5);
    EXPECT_EQ(fp::DecodeSigned4_12(0xB000), -5.0);

    EXPECT_EQ(fp::Encode(1.5, 8), 0x0180);  // zoom
    EXPECT_EQ(fp::Encode(1.0, 8), 0x0100);  // pan
    EXPECT_EQ(fp::DecodeUnsigned8_8(0x0180), 1.5);

    EXPECT_EQ(fp::Encode(-0.5, 8), 0xFF80);  // backlight
    EXPECT_EQ(fp::DecodeKivoBacklight(0xFF80), -0.5);
    EXPECT_EQ(fp::DecodeKivoBacklight(0x1000), -240.0) << "a high byte above 0x0F counts as negative";
    EXPECT_EQ(fp::DecodeKivoBacklight(0x0F00), 15.0);
    EXPECT_EQ(fp::DecodeKivoBacklight(0xF100), -15.0);
}

TEST(FixedPoint, LiraOffsetFormsGiveTheRegisterWords) {
    EXPECT_EQ(fp::EncodeOffset4_12(0.0, 1.0), 0x1000);  // brightness
    EXPECT_EQ(fp::DecodeOffset4_12(0x1000, 1.0), 0.0);
    EXPECT_EQ(fp::EncodeOffset4_12(5.0, 5.0), 0xA000);  // contrast
    EXPECT_EQ(fp::DecodeUnsignedOffset4_12(0xA000, 5.0), 5.0) << "contrast reads its top nibble unsigned";
    EXPECT_EQ(fp::EncodeOffset4_12(-5.0, 5.0), 0x0000);
    EXPECT_EQ(fp::DecodeUnsignedOffset4_12(0x0000, 5.0), -5.0);
    EXPECT_EQ(fp::DecodeOffset4_12(0xA000, 5.0), -11.0) << "the signed form would misread it";
    EXPECT_EQ(fp::EncodeOffset4_12(-2.0, 2.0), 0x0000);  // sharpness
    EXPECT_EQ(fp::EncodeOffset4_12(2.0, 2.0), 0x4000);   // denoise

    EXPECT_EQ(fp::EncodeLiraBacklight(0.0), 0x0F00);
    EXPECT_EQ(fp::EncodeLiraBacklight(-15.0), 0x0000);
    EXPECT_EQ(fp::EncodeLiraBacklight(15.0), 0x1E00);
    EXPECT_EQ(fp::DecodeLiraBacklight(0x0F80), 0.5);
    EXPECT_EQ(fp::DecodeLiraBacklight(0x1E00), 15.0);
}

TEST(FixedPoint, EHDREncodingsAndTheirCeiling) {
    EXPECT_EQ(fp::EncodeRatio(128), 0x7FFF);
    EXPECT_EQ(fp::DecodeRatio(0x7FFF), 128);
    EXPECT_EQ(fp::EncodeRatio(12), 0x0C00);
    EXPECT_EQ(fp::DecodeRatio(0x0C80), 13) << "12.5 rounds away from zero";
    EXPECT_EQ(fp::DecodeRatio(0x0C7F), 12);

    EXPECT_EQ(fp::EncodeAtm(8.0), 0x7FFF);
    EXPECT_EQ(fp::EncodeAtm(5.5), 0x5800);
    EXPECT_EQ(fp::EncodeAtm(1.0), 0x1000);
    EXPECT_EQ(fp::EncodeAtm(0.0), 0x0000);
    EXPECT_NEAR(fp::DecodeAtm(0x7FFF), 7.99976, 1e-5);
    EXPECT_EQ(fp::DecodeAtm(0x5800), 5.5);
}

TEST(FixedPoint, FarOutOfRangeValuesDoNotReachTheConversion) {
    // The setters test their ranges first; these must still be defined.
    EXPECT_EQ(fp::Encode(1e300, 12), 0);
    EXPECT_EQ(fp::Encode(-1e300, 8), 0);
    EXPECT_EQ(fp::EncodeAtm(1e40), 0);
}

TEST(IspInterfaceValue, RegisterValuesJustBelowAStepReadAsTheStep) {
    EXPECT_EQ(sv::IspInterfaceValue(2.199951171875, 10), 22);
    EXPECT_EQ(sv::IspInterfaceValue(fp::DecodeAtm(fp::EncodeAtm(29.0 / 25)), 25), 29)
        << "double arithmetic would give 28";
    EXPECT_EQ(sv::IspInterfaceValue(-0.2998046875, 10), -3);
    EXPECT_EQ(sv::IspInterfaceValue(0.0, 25), 0);
}

namespace {

struct Encoding {
    const char* name;
    std::function<uint16_t(double)> encode;
    std::function<double(uint16_t)> decode;
};

// Every interface value from minimum to maximum, set as value / scale, comes
// back as the same value.
void ExpectRoundTrips(const Encoding& e, int property) {
    const sv::IspPropertyInfo* info = sv::FindIspProperty(property);
    ASSERT_NE(info, nullptr);
    const int lo = static_cast<int>(info->minimum * info->scale);
    const int hi = static_cast<int>(info->maximum * info->scale);
    for (int v = lo; v <= hi; ++v) {
        const uint16_t raw = e.encode(static_cast<double>(v) / info->scale);
        ASSERT_EQ(sv::IspInterfaceValue(e.decode(raw), info->scale), v) << e.name << " value " << v;
    }
}

}  // namespace

TEST(IspInterfaceValue, EveryInterfaceValueRoundTripsInEveryEncoding) {
    const Encoding signed412{"4.12", [](double x) { return fp::Encode(x, 12); }, fp::DecodeSigned4_12};
    const Encoding unsigned88{"8.8", [](double x) { return fp::Encode(x, 8); }, fp::DecodeUnsigned8_8};
    const Encoding kivoBacklight{"KIVO backlight", [](double x) { return fp::Encode(x, 8); }, fp::DecodeKivoBacklight};
    auto offset = [](const char* name, double d) {
        return Encoding{name, [d](double x) { return fp::EncodeOffset4_12(x, d); },
                        [d](uint16_t r) { return fp::DecodeOffset4_12(r, d); }};
    };
    const Encoding liraContrast{"LIRA contrast", [](double x) { return fp::EncodeOffset4_12(x, 5.0); },
                                [](uint16_t r) { return fp::DecodeUnsignedOffset4_12(r, 5.0); }};
    const Encoding liraBacklight{"LIRA backlight", fp::EncodeLiraBacklight, fp::DecodeLiraBacklight};
    const Encoding atm{"ATM", fp::EncodeAtm, fp::DecodeAtm};

    for (int p : {SV_ISP_BRIGHTNESS, SV_ISP_CONTRAST, SV_ISP_SATURATION, SV_ISP_GAMMA, SV_ISP_SHARPNESS, SV_ISP_DENOISE}) {
        ExpectRoundTrips(signed412, p);
    }
    for (int p : {SV_ISP_PAN, SV_ISP_TILT, SV_ISP_ZOOM}) ExpectRoundTrips(unsigned88, p);
    ExpectRoundTrips(kivoBacklight, SV_ISP_BACKLIGHT_COMPENSATION);
    ExpectRoundTrips(offset("LIRA brightness", 1.0), SV_ISP_BRIGHTNESS);
    ExpectRoundTrips(offset("LIRA saturation", 0.0), SV_ISP_SATURATION);
    ExpectRoundTrips(offset("LIRA gamma", 0.0), SV_ISP_GAMMA);
    ExpectRoundTrips(offset("LIRA sharpness", 2.0), SV_ISP_SHARPNESS);
    ExpectRoundTrips(offset("LIRA denoise", 2.0), SV_ISP_DENOISE);
    ExpectRoundTrips(liraContrast, SV_ISP_CONTRAST);
    ExpectRoundTrips(liraBacklight, SV_ISP_BACKLIGHT_COMPENSATION);
    ExpectRoundTrips(atm, SV_ISP_EHDR_ATM_WEIGHT);
    ExpectRoundTrips(atm, SV_ISP_EHDR_ATM_MAX);
}
