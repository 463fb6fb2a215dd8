// UVC standard controls through the public interface.

#include "camera/CameraFixture.h"
#include "common/LogCapture.h"

using svtest::CameraTest;
using sv::test::LogCapture;

namespace {

TEST_F(CameraTest, WebcamControlsReadSetAndRangeAsTheWorldDefines) {
    InstallDefault();
    auto camera = Camera("WebCam");
    ASSERT_EQ(SvOpen(camera), 0);

    long mn = 0, mx = 0, st = 0, df = 0;
    ASSERT_EQ(SvGetUVCImageProcessingRange(camera, SV_UVC_BRIGHTNESS, mn, mx, st, df), 0);
    EXPECT_EQ(mn, -64);
    EXPECT_EQ(mx, 64);
    EXPECT_EQ(st, 1);
    EXPECT_EQ(df, 0);

    long value = 99;
    int flag = 99;
    ASSERT_EQ(SvSetUVCImageProcessing(camera, SV_UVC_BRIGHTNESS, 17, 0), 0);
    ASSERT_EQ(SvGetUVCImageProcessing(camera, SV_UVC_BRIGHTNESS, value, flag), 0);
    EXPECT_EQ(value, 17);
    EXPECT_EQ(flag, 0);

    // Camera-terminal exposure (property 14), automatic then manual.
    ASSERT_EQ(SvGetUVCImageProcessingRange(camera, SV_UVC_EXPOSURE, mn, mx, st, df), 0);
    EXPECT_EQ(mn, -13);
    EXPECT_EQ(mx, -1);
    ASSERT_EQ(SvGetUVCImageProcessing(camera, SV_UVC_EXPOSURE, value, flag), 0);
    EXPECT_EQ(flag, 1) << "exposure starts automatic";
    ASSERT_EQ(SvSetUVCImageProcessing(camera, SV_UVC_EXPOSURE, -9, 0), 0);
    ASSERT_EQ(SvGetUVCImageProcessing(camera, SV_UVC_EXPOSURE, value, flag), 0);
    EXPECT_EQ(value, -9);
    EXPECT_EQ(flag, 0);
    ASSERT_EQ(SvSetUVCImageProcessing(camera, SV_UVC_EXPOSURE, -9, 1), 0);
    ASSERT_EQ(SvGetUVCImageProcessing(camera, SV_UVC_EXPOSURE, value, flag), 0);
    EXPECT_EQ(flag, 1);
}

TEST_F(CameraTest, ControlsTheDeviceDoesNotOfferOrRefusesFail) {
    InstallDefault();
    auto camera = Camera("WebCam");
    ASSERT_EQ(SvOpen(camera), 0);
    long value = 5;
    int flag = 5;
    EXPECT_EQ(SvGetUVCImageProcessing(camera, SV_UVC_GAIN, value, flag), -1);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(flag, -1);
    EXPECT_EQ(SvSetUVCImageProcessing(camera, SV_UVC_PAN, 0, 0), -1);
    // Outside the range: the device refuses and the value stays.
    EXPECT_EQ(SvSetUVCImageProcessing(camera, SV_UVC_BRIGHTNESS, 65, 0), -1);
    ASSERT_EQ(SvGetUVCImageProcessing(camera, SV_UVC_BRIGHTNESS, value, flag), 0);
    EXPECT_EQ(value, 0);
}

TEST_F(CameraTest, PropertyIdsOutsideTheTableReachNoControl) {
    InstallDefault();
    auto camera = Camera("KIVO");
    ASSERT_EQ(SvOpen(camera), 0);
    ASSERT_EQ(SvSetUVCImageProcessing(camera, SV_UVC_PAN, 10, 0), 0);
    ASSERT_EQ(SvSetUVCImageProcessing(camera, SV_UVC_BRIGHTNESS, 100, 0), 0);
    for (int id : {17, -1, 1000}) {
        LogCapture capture;
        EXPECT_EQ(SvSetUVCImageProcessing(camera, static_cast<SV_UVC_IMAGE_PROPERTIES>(id), 20, 0), -1);
        EXPECT_TRUE(capture.Contains("Unknown UVC property id: " + std::to_string(id)));
        long value = 0;
        int flag = 0;
        EXPECT_EQ(SvGetUVCImageProcessing(camera, static_cast<SV_UVC_IMAGE_PROPERTIES>(id), value, flag), -1);
    }
    long value = 0;
    int flag = 0;
    ASSERT_EQ(SvGetUVCImageProcessing(camera, SV_UVC_PAN, value, flag), 0);
    EXPECT_EQ(value, 10) << "pan untouched";
    ASSERT_EQ(SvGetUVCImageProcessing(camera, SV_UVC_BRIGHTNESS, value, flag), 0);
    EXPECT_EQ(value, 100) << "brightness untouched";
}

TEST_F(CameraTest, ControlsBeforeOpenLogNoSourceAndFail) {
    InstallDefault();
    auto camera = Camera("LIRA");
    long value = 0;
    int flag = 0;
    EXPECT_EQ(SvGetUVCImageProcessing(camera, SV_UVC_GAIN, value, flag), -1);
    ASSERT_EQ(SvOpen(camera), 0);
    EXPECT_EQ(SvGetUVCImageProcessing(camera, SV_UVC_GAIN, value, flag), 0);
    EXPECT_EQ(value, 1);
}

TEST_F(CameraTest, ControlsKeepWorkingAcrossStopStreaming) {
    InstallDefault();
    auto camera = Camera("KIVO");
    ASSERT_EQ(SvOpen(camera), 0);
    std::vector<SvFormat> formats;
    ASSERT_EQ(SvGetFormatList(camera, formats), 0);
    ASSERT_EQ(SvSetFormat(camera, formats[3]), 0);
    ASSERT_EQ(SvStartStreaming(camera), 0);
    ASSERT_EQ(SvStopStreaming(camera), 0);
    long value = 0;
    int flag = 0;
    EXPECT_EQ(SvGetUVCImageProcessing(camera, SV_UVC_ZOOM, value, flag), 0);
    EXPECT_EQ(value, 100);
}

}  // namespace
