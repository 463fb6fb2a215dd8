// The eHDR controls: which cameras have them, the register words, the
// cross-checks between paired limits and the messages of every refusal.

#include "camera/MakerWorld.h"
#include "camera/SvKIVOCamera.h"
#include "camera/SvLIRACamera.h"
#include "common/LogCapture.h"

using sv::test::LogCapture;
using svtest::HasLineEnding;
using svtest::kKivoName;
using svtest::MakerCameraTest;
using svtest::RegisterWrite;

namespace {

using Writes = std::vector<RegisterWrite>;

class EHDRControlTest : public MakerCameraTest {
protected:
    std::shared_ptr<SvCamera> Kivo(const std::string& regs = "{}") {
        return OpenMaker(kKivoName, "0821", R"({"model": "kivo", "ispRegisters": )" + regs + "}");
    }
};

TEST_F(EHDRControlTest, WhichCamerasHaveWhichControls) {
    {
        // A KIVO with an eHDR product id other than the sensor's own: ratios and
        // tone mapping, but not the mode and exposure numbers.
        auto cam = OpenMaker("KIVO-AR0234 Camera", "576e", R"({"model": "kivo"})");
        EXPECT_EQ(Set(cam, SV_ISP_EHDR_RATIO_MAX, 30), (Writes{{0x71EE, 0x1E00}}));
        LogCapture log;
        EXPECT_TRUE(Set(cam, SV_ISP_EHDR_MODE, 1, -1).empty());
        EXPECT_EQ(Get(cam, SV_ISP_EHDR_EXPOSURE_MAX_NUMBER), -1000000);
        const std::string text = log.Text();
        EXPECT_TRUE(HasLineEnding(text, "] eHDR Mode is not supported on this device."));
        EXPECT_TRUE(HasLineEnding(text, "] eHDR Max Number is not supported on this device."));
    }
    {
        auto cam = Kivo();
        EXPECT_EQ(Set(cam, SV_ISP_EHDR_MODE, 1), (Writes{{0x52DE, 0x7FFF}}));
        EXPECT_EQ(Get(cam, SV_ISP_EHDR_MODE), 1);
        EXPECT_EQ(Set(cam, SV_ISP_EHDR_RATIO_MAX, 30), (Writes{{0x71EE, 0x1E00}}));
    }
    {
        // On the LIRA the one test guards everything.
        auto cam = OpenMaker("LIRA-OX05B Camera", "576e", R"({"model": "lira"})");
        EXPECT_EQ(Set(cam, SV_ISP_EHDR_MODE, 1), (Writes{{0x52DE, 0x7FFF}}));
        EXPECT_EQ(Set(cam, SV_ISP_EHDR_EXPOSURE_MIN_NUMBER, 2), (Writes{{0x71EA, 0x0022}}));
    }
    {
        auto cam = OpenMaker("LIRA-OX05B Camera", "5b05", R"({"model": "lira"})");
        LogCapture log;
        EXPECT_EQ(Get(cam, SV_ISP_EHDR_ATM_WEIGHT), -1000000);
        EXPECT_TRUE(Set(cam, SV_ISP_EHDR_RATIO_MIN, 3, -1).empty());
        const std::string text = log.Text();
        EXPECT_TRUE(HasLineEnding(text, "] eHDR ATM Weight is not supported on this device."));
        EXPECT_TRUE(HasLineEnding(text, "] eHDR Ratio Min is not supported on this device."));
    }
}

TEST_F(EHDRControlTest, ProductListAndSensorNames) {
    CameraDeviceInfo info;
    info.deviceName = "LIRA-AR0822 Camera";
    info.productId = 0x1234;
    info.interfaceType = SV_CAMERA_INTERFACE_USB;
    EXPECT_FALSE(SvLIRACamera(info).IsEHDRSupported()) << "a USB camera goes by its product id only";
    info.interfaceType = SV_CAMERA_INTERFACE_MIPI_CSI2;
    EXPECT_TRUE(SvLIRACamera(info).IsEHDRSupported()) << "other interfaces go by the sensor name";
    info.deviceName = "KIVO-AR0234 Camera";
    EXPECT_FALSE(SvKIVOCamera(info).IsEHDRSupported());
    info.interfaceType = SV_CAMERA_INTERFACE_USB;
    for (int pid : {0x576E, 0x3B55, 0x553B, 0xD36E, 0x3BD1, 0xD13B, 0x0F6E, 0x3B0D, 0x0D3B, 0x0821, 0x0822}) {
        info.productId = static_cast<uint16_t>(pid);
        EXPECT_TRUE(SvKIVOCamera(info).IsEHDRSupported()) << std::hex << pid;
    }
    info.productId = 0x0823;
    EXPECT_FALSE(SvKIVOCamera(info).IsEHDRSupported());
}

TEST_F(EHDRControlTest, ExposureNumbersKeepTheOtherBitsAndTheirOrder) {
    {
        auto cam = Kivo(R"({"0x71EA": "0xFF21"})");
        EXPECT_EQ(Set(cam, SV_ISP_EHDR_EXPOSURE_MAX_NUMBER, 1), (Writes{{0x71EA, 0xFF09}}));
    }
    {
        auto cam = Kivo(R"({"0x71EA": "0x0021"})");
        EXPECT_EQ(Set(cam, SV_ISP_EHDR_EXPOSURE_MIN_NUMBER, 4), (Writes{{0x71EA, 0x0024}}));
        LogCapture log;
        EXPECT_TRUE(Set(cam, SV_ISP_EHDR_EXPOSURE_MIN_NUMBER, 0, -1).empty());
        EXPECT_TRUE(HasLineEnding(log.Text(), "] eHDR Exposure Min Number Range: 1 ~ 4"));
    }
    {
        auto cam = Kivo(R"({"0x71EA": "0x001A"})");  // minimum 2, maximum 3
        EXPECT_EQ(Get(cam, SV_ISP_EHDR_EXPOSURE_MIN_NUMBER), 2);
        EXPECT_EQ(Get(cam, SV_ISP_EHDR_EXPOSURE_MAX_NUMBER), 3);
        LogCapture log;
        EXPECT_TRUE(Set(cam, SV_ISP_EHDR_EXPOSURE_MAX_NUMBER, 1, -1).empty());
        EXPECT_TRUE(Set(cam, SV_ISP_EHDR_EXPOSURE_MIN_NUMBER, 4, -1).empty());
        const std::string text = log.Text();
        EXPECT_TRUE(HasLineEnding(
            text, "] eHDR Exposure Max Number can't set value 1 lower than eHDR Exposure Min Number value 2"));
        EXPECT_TRUE(HasLineEnding(
            text, "] eHDR Exposure Min Number can't set value 4 upper than eHDR Exposure Max Number value 3"));
    }
}

TEST_F(EHDRControlTest, RatiosAndToneMappingWords) {
    auto cam = Kivo();
    EXPECT_EQ(Set(cam, SV_ISP_EHDR_RATIO_MAX, 128), (Writes{{0x71EE, 0x7FFF}}));
    EXPECT_EQ(Get(cam, SV_ISP_EHDR_RATIO_MAX), 128);
    EXPECT_EQ(Set(cam, SV_ISP_EHDR_ATM_MAX, 80), (Writes{{0x5342, 0x7FFF}}));
    EXPECT_EQ(Get(cam, SV_ISP_EHDR_ATM_MAX), 80);
    EXPECT_EQ(Set(cam, SV_ISP_EHDR_ATM_MAX, 55), (Writes{{0x5342, 0x5800}}));
    EXPECT_EQ(Set(cam, SV_ISP_EHDR_ATM_WEIGHT, 25), (Writes{{0x532E, 0x1000}})) << "25 / 25 = 1.0";
    EXPECT_EQ(Set(cam, SV_ISP_EHDR_ATM_WEIGHT, 0), (Writes{{0x532E, 0x0000}}));
    for (int weight : {29, 57, 58}) {
        ASSERT_EQ(SvSetISPImageProcessing(cam, SV_ISP_EHDR_ATM_WEIGHT, weight), 0);
        EXPECT_EQ(Get(cam, SV_ISP_EHDR_ATM_WEIGHT), weight) << "no step lost in the scaling";
    }
    int min = 0, max = 0, step = -1, def = 0;
    ASSERT_EQ(SvGetISPImageProcessingRange(cam, SV_ISP_EHDR_ATM_WEIGHT, min, max, step, def), 0);
    EXPECT_EQ(step, 0);
}

TEST_F(EHDRControlTest, PairedLimitsCannotCross) {
    auto cam = Kivo();  // ratios 12 and 24, weight 1.0, maximum 5.0
    LogCapture log;
    EXPECT_TRUE(Set(cam, SV_ISP_EHDR_RATIO_MAX, 11, -1).empty());
    EXPECT_TRUE(Set(cam, SV_ISP_EHDR_RATIO_MIN, 25, -1).empty());
    EXPECT_EQ(Set(cam, SV_ISP_EHDR_RATIO_MIN, 24), (Writes{{0x71EC, 0x1800}})) << "equal is allowed";
    EXPECT_TRUE(Set(cam, SV_ISP_EHDR_ATM_MAX, 10).size() == 1);  // 1.0, at the weight
    EXPECT_TRUE(Set(cam, SV_ISP_EHDR_ATM_WEIGHT, 50, -1).empty());   // 2.0 above 1.0
    EXPECT_TRUE(Set(cam, SV_ISP_EHDR_ATM_WEIGHT, 101, -1).empty());  // 4.04
    const std::string text = log.Text();
    EXPECT_TRUE(HasLineEnding(text, "] eHDR Ratio Max (11) cannot be less than eHDR Ratio Min (12)"));
    EXPECT_TRUE(HasLineEnding(text, "] eHDR Ratio Min (25) cannot exceed eHDR Ratio Max (24)"));
    EXPECT_TRUE(HasLineEnding(text, "]eHDR ATM Weight (2) cannot exceed eHDR ATM Max (1)"));
    EXPECT_TRUE(HasLineEnding(text, "] eHDR ATM Weight out of range: 4.04 (valid range: 0 ~ 4)"));
}

TEST_F(EHDRControlTest, AnUnknownModeWordIsAnError) {
    auto cam = Kivo(R"({"0x52DE": "0x0000"})");
    LogCapture log;
    int value = 5, flag = 0;
    EXPECT_EQ(SvGetISPImageProcessing(cam, SV_ISP_EHDR_MODE, value, flag), -1);
    EXPECT_TRUE(HasLineEnding(log.Text(), "] Invalid eHDR mode value: 0x0000"));
}

}  // namespace
