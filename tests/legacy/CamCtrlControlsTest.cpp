// The legacy control pairs: raw register codes, fixed ranges and the exact
// register writes on the wire.

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "legacy/LegacyFixture.h"

namespace svtest {
namespace {

// The generic I2C writes to the LUMO register file, as register and bytes.
std::vector<RegisterWrite> McuWrites(const std::vector<I2cTransfer>& sent) {
    std::vector<RegisterWrite> out;
    for (const auto& t : sent) {
        if (!t.write) continue;
        EXPECT_EQ(t.device, 0x48);
        EXPECT_EQ(t.length, 2);
        out.push_back({static_cast<uint16_t>(t.reg), static_cast<uint16_t>(t.data[0] << 8 | t.data[1])});
    }
    return out;
}

TEST_F(LegacyTest, GainOutsideItsRangeIsRefusedBeforeAnyTransfer) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoXu);
    TransferLog refused(*backend_, [&] {
        EXPECT_EQ(kano.SetExposureGain(0), -1);
        EXPECT_EQ(kano.SetExposureGain(65), -1);
    });
    EXPECT_EQ(refused.Transfers(), 0u);
    const auto lines = Lines();
    int rangeLines = 0;
    for (const auto& l : lines) {
        if (l.rfind("[KanoCamCtrl::SetExposureGain][", 0) == 0 && l.find("] Exosure Gain Range: 1 ~ 64x.") != std::string::npos)
            ++rangeLines;
    }
    EXPECT_EQ(rangeLines, 2);

    EXPECT_EQ(WritesOf([&] { EXPECT_EQ(kano.SetExposureGain(64), 0); }),
              (std::vector<RegisterWrite>{{0x5006, 0x4000}}));
    EXPECT_TRUE(Logged("KanoCamCtrl::SetExposureGain", "Set Exposure Gain : 64x."));
    uint8_t gain = 0;
    EXPECT_EQ(kano.GetExposureGain(gain), 0);
    EXPECT_EQ(gain, 64);

    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, kLiraXu);
    EXPECT_EQ(McuWrites(I2cOf([&] { EXPECT_EQ(lumo.SetExposureGain(64), 0); })),
              (std::vector<RegisterWrite>{{0x3124, 0x0040}}));
}

TEST_F(LegacyTest, KanoAutoGainNeedsRecentFirmware) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, R"({"model": "kivo", "firmwareVersion": "24.7.3.0"})");
    EXPECT_TRUE(WritesOf([&] { EXPECT_EQ(kano.SetAutoExposureMode(0x9), -1); }).empty());
    EXPECT_TRUE(Logged("KanoCamCtrl::SetAutoExposureMode", "UVC version not support AE mode AUTO_GAIN"));
}

TEST_F(LegacyTest, KanoAutoGainSetsTheFrameExposureFirst) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, R"({"model": "kivo", "ispRegisters": {"0x2020": "0x1E00"}})");
    EXPECT_EQ(WritesOf([&] { EXPECT_EQ(kano.SetAutoExposureMode(0x9), 0); }),
              (std::vector<RegisterWrite>{{0x500C, 0x0000}, {0x500E, 0x8235}, {0x5002, 0x0299}}));
    EXPECT_TRUE(Logged("KanoCamCtrl::SetAutoExposureMode", "Get USB FW Ver: 24.07.03.01"));
}

TEST_F(LegacyTest, KanoOtherExposureModesNeedNoFirmwareCheck) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoXu);
    TransferLog log(*backend_, [&] { EXPECT_EQ(kano.SetAutoExposureMode(12), 0); });
    EXPECT_EQ(log.Writes(), (std::vector<RegisterWrite>{{0x5002, 0x029C}}));
    EXPECT_EQ(log.Transfers(), 1u);
    int mode = 0;
    EXPECT_EQ(kano.GetAutoExposureMode(mode), 0);
    EXPECT_EQ(mode, 12);
}

TEST_F(LegacyTest, LumoAutoGainFallsBackToTheModuleVersion) {
    const std::string fault = R"("faults": [{"op": "xu.get", "selector": 1, "on": 1, "code": "ERROR_GEN_FAILURE"}])";
    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, R"({"model": "lira", "mcuRegisters": {"0x3000": "0x1807", "0x3002": "0x0101"}})", fault,
           false);
    EXPECT_EQ(McuWrites(I2cOf([&] { EXPECT_EQ(lumo.SetAutoExposureMode(0x9), 0); })),
              (std::vector<RegisterWrite>{{0x3116, 0x0009}}));

    LumoCamCtrl old;
    Attach(old, kLiraName, R"({"model": "lira", "mcuRegisters": {"0x3000": "0x1807", "0x3002": "0x0100"}})", fault,
           false);
    EXPECT_TRUE(McuWrites(I2cOf([&] { EXPECT_EQ(old.SetAutoExposureMode(0x9), -1); })).empty());
    EXPECT_TRUE(Logged("LumoCamCtrl::SetAutoExposureMode", "LUMO version not support AE mode AUTO_GAIN"));
}

TEST_F(LegacyTest, KanoMaxFpsRewritesTheExposureOnlyInAutoGain) {
    KanoCamCtrl autoGain;
    Attach(autoGain, kKivoName, R"({"model": "kivo", "ispRegisters": {"0x5002": "0x0299"}})");
    EXPECT_EQ(WritesOf([&] { EXPECT_EQ(autoGain.SetMaxFPS(25), 0); }),
              (std::vector<RegisterWrite>{{0x500C, 0x0000}, {0x500E, 0x9C40}, {0x2020, 0x1900}}));
    // No frame time for a frame rate of 0: refused, nothing written.
    EXPECT_TRUE(WritesOf([&] { EXPECT_EQ(autoGain.SetMaxFPS(0), -1); }).empty());

    KanoCamCtrl other;
    Attach(other, kKivoName, R"({"model": "kivo", "ispRegisters": {"0x5002": "0x029C"}})");
    EXPECT_EQ(WritesOf([&] { EXPECT_EQ(other.SetMaxFPS(25), 0); }), (std::vector<RegisterWrite>{{0x2020, 0x1900}}));
    uint8_t fps = 0;
    EXPECT_EQ(other.GetMaxFPS(fps), 0);
    EXPECT_EQ(fps, 25);
}

TEST_F(LegacyTest, LumoContrastUsesItsOffsetForm) {
    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, kLiraXu);
    EXPECT_EQ(McuWrites(I2cOf([&] { EXPECT_EQ(lumo.SetContrast(4.5), 0); })),
              (std::vector<RegisterWrite>{{0x3144, 0x9800}}));
    double contrast = 0;
    EXPECT_EQ(lumo.GetContrast(contrast), 0);
    EXPECT_DOUBLE_EQ(contrast, 4.5);
}

TEST_F(LegacyTest, TestPatternKeepsTheRegistersTopBits) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, R"({"model": "kivo", "ispRegisters": {"0x600C": "0x2003"}})");
    uint32_t pattern = 0;
    EXPECT_EQ(kano.GetISPTestPattern(pattern), 3);
    EXPECT_EQ(pattern, 3u);

    KanoCamCtrl other;
    Attach(other, kKivoName, R"({"model": "kivo", "ispRegisters": {"0x600C": "0xA000"}})");
    EXPECT_EQ(WritesOf([&] { EXPECT_EQ(other.SetISPTestPattern(0x1234), 0); }),
              (std::vector<RegisterWrite>{{0x600C, 0xA234}}));

    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, R"({"model": "lira", "ispRegisters": {"0x600C": "0xA000"}})");
    const auto sent = I2cOf([&] { EXPECT_EQ(lumo.SetISPTestPattern(0x0005), 0); });
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].reg, static_cast<int>(0xF000600Cu));
    EXPECT_EQ(sent[1].data, (std::vector<uint8_t>{0xA0, 0x05}));
}

TEST_F(LegacyTest, CurrentGainIsTheLowByte) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, R"({"model": "kivo", "ispRegisters": {"0x00F4": "0x1234"}})");
    uint8_t gain = 0;
    EXPECT_EQ(kano.GetCurrentExposureGain(gain), 0);
    EXPECT_EQ(gain, 0x34);
    EXPECT_TRUE(Logged("KanoCamCtrl::GetCurrentExposureGain", "Current Exposure Gain: 52x."));
}

TEST_F(LegacyTest, LumoHasNoWhiteBalanceGains) {
    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, kLiraXu);
    double v = 0;
    TransferLog none(*backend_, [&] {
        EXPECT_EQ(lumo.GetWhiteBalanceQx(v), -1);
        EXPECT_EQ(lumo.SetWhiteBalanceQy(1.0), -1);
    });
    EXPECT_EQ(none.Transfers(), 0u);
}

TEST_F(LegacyTest, ValueThatIsNotANumberIsOutsideEveryRange) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoXu);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    TransferLog none(*backend_, [&] {
        EXPECT_EQ(kano.SetBrightness(nan), -1);
        EXPECT_EQ(kano.SetBacklightCompensation(nan), -1);
    });
    EXPECT_EQ(none.Transfers(), 0u);
    EXPECT_TRUE(Logged("KanoCamCtrl::SetBrightness", "Brightness range: -1.000000 ~ 1.000000."));
}

TEST_F(LegacyTest, ExposureTimeTravelsAsTwoWords) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoXu);
    EXPECT_EQ(WritesOf([&] { EXPECT_EQ(kano.SetExposureTime(100000), 0); }),
              (std::vector<RegisterWrite>{{0x500C, 0x0001}, {0x500E, 0x86A0}}));
    EXPECT_TRUE(Logged("KanoCamCtrl::SetExposureTime", "Set Exposure Time : 100000 us."));
    uint32_t us = 0;
    EXPECT_EQ(kano.GetExposureTime(us), 0);
    EXPECT_EQ(us, 100000u);
    EXPECT_TRUE(WritesOf([&] { EXPECT_EQ(kano.SetExposureTime(0), -1); }).empty());
    EXPECT_TRUE(Logged("KanoCamCtrl::SetExposureTime", "Exposure Time range: 1 ~ 1000000 ms."));

    // Minimum and maximum go straight to the ISP over generic I2C.
    const auto sent = I2cOf([&] { EXPECT_EQ(kano.SetExposureMinimum(70000), 0); });
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].device, 0x3D);
    EXPECT_EQ(sent[0].reg, 0x2024);
    EXPECT_EQ(sent[0].data, (std::vector<uint8_t>{0x00, 0x01}));
    EXPECT_EQ(sent[1].reg, 0x2026);
    EXPECT_EQ(sent[1].data, (std::vector<uint8_t>{0x11, 0x70}));
    int32_t minimum = 0;
    EXPECT_EQ(kano.GetExposureMinimum(minimum), 0);
    EXPECT_EQ(minimum, 70000);
}

TEST_F(LegacyTest, TwoWordWriteThatFailsIsAFailure) {
    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, kLiraXu,
           R"("faults": [{"op": "xu.set", "selector": 6, "on": 2, "code": "ERROR_GEN_FAILURE"}])");
    EXPECT_LT(lumo.SetExposureTime(5000), 0);
}

TEST_F(LegacyTest, ControlsKeepTheirValuesOnBothFamilies) {
    KanoCamCtrl kano;
    LumoCamCtrl lumo;
    for (CamCtrl* ctrl : {static_cast<CamCtrl*>(&kano), static_cast<CamCtrl*>(&lumo)}) {
        const bool isKano = ctrl == &kano;
        Attach(*ctrl, isKano ? kKivoName : kLiraName, isKano ? kKivoXu : kLiraXu);
        struct Real {
            int (CamCtrl::*set)(double);
            int (CamCtrl::*get)(double&);
            double value;
        };
        const Real reals[] = {
            {&CamCtrl::SetBrightness, &CamCtrl::GetBrightness, -0.5},
            {&CamCtrl::SetGamma, &CamCtrl::GetGamma, 2.25},
            {&CamCtrl::SetSaturation, &CamCtrl::GetSaturation, 1.5},
            {&CamCtrl::SetContrast, &CamCtrl::GetContrast, -1.25},
            {&CamCtrl::SetSharpening, &CamCtrl::GetSharpening, 0.75},
            {&CamCtrl::SetDenoise, &CamCtrl::GetDenoise, -1.5},
            {&CamCtrl::SetBacklightCompensation, &CamCtrl::GetBacklightCompensation, 3.5},
            {&CamCtrl::SetDigitalZoomTarget, &CamCtrl::GetDigitalZoomTarget, 2.5},
            {&CamCtrl::SetDigitalZoom_CT_X, &CamCtrl::GetDigitalZoom_CT_X, 0.25},
            {&CamCtrl::SetDigitalZoom_CT_Y, &CamCtrl::GetDigitalZoom_CT_Y, 0.75},
        };
        for (const auto& r : reals) {
            EXPECT_EQ((ctrl->*r.set)(r.value), 0) << r.value;
            double back = -100;
            EXPECT_EQ((ctrl->*r.get)(back), 0);
            EXPECT_DOUBLE_EQ(back, r.value);
        }
        struct Whole {
            int (CamCtrl::*set)(int);
            int (CamCtrl::*get)(int&);
            int value;
        };
        const Whole wholes[] = {
            {&CamCtrl::SetFlipMode, &CamCtrl::GetFlipMode, 3},
            {&CamCtrl::SetEffectMode, &CamCtrl::GetEffectMode, 0x6},
            {&CamCtrl::SetDigitalZoomType, &CamCtrl::GetDigitalZoomType, 1},
            {&CamCtrl::SetFlickMode, &CamCtrl::GetFlickMode, 0x3C01},
            {&CamCtrl::SetAutoWhiteBalanceMode, &CamCtrl::GetAutoWhiteBalanceMode, 0xF},
        };
        for (const auto& w : wholes) {
            EXPECT_EQ((ctrl->*w.set)(w.value), 0) << w.value;
            int back = -1;
            EXPECT_EQ((ctrl->*w.get)(back), 0);
            EXPECT_EQ(back, w.value);
        }
        uint16_t temperature = 0;
        EXPECT_EQ(ctrl->SetTemperature(6500), 0);
        EXPECT_EQ(ctrl->GetTemperature(temperature), 0);
        EXPECT_EQ(temperature, 6500);
        EXPECT_EQ(ctrl->SetTemperature(2299), -1);
        uint8_t quality = 0;
        EXPECT_EQ(ctrl->SetJpegQual(85), 0);
        EXPECT_EQ(ctrl->GetJpegQual(quality), 0);
        EXPECT_EQ(quality, 85);
        uint16_t throughput = 0;
        EXPECT_EQ(ctrl->SetThroughPut(300), 0);
        EXPECT_EQ(ctrl->GetThroughPut(throughput), 0);
        EXPECT_EQ(throughput, 300);
    }
}

TEST_F(LegacyTest, KanoRegisterCodesCarryTheirFixedBits) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoXu);
    EXPECT_EQ(WritesOf([&] {
                  kano.SetAutoWhiteBalanceMode(0x7);
                  kano.SetJpegQual(90);
                  kano.SetThroughPut(0x0500);
              }),
              (std::vector<RegisterWrite>{{0x5100, 0x1157}, {0x1018, 0x445A}, {0x6132, 0x4000}}));
}

TEST_F(LegacyTest, OperationsAFamilyDoesNotHaveFailSilentlyWithoutATransfer) {
    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, kLiraXu);
    uint8_t block[80] = {};
    TransferLog none(*backend_, [&] {
        EXPECT_EQ(lumo.DumpBootdata(), -1);
        EXPECT_EQ(lumo.SetOSPProfileConfig(0, "{}"), -1);
        EXPECT_EQ(lumo.SetOSPProfile(block), -1);
    });
    EXPECT_EQ(none.Transfers(), 0u);
    EXPECT_TRUE(Lines().empty());
}

}  // namespace
}  // namespace svtest
