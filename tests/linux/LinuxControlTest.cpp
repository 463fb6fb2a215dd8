// UVC controls of the Linux back-end over the fake kernel: which V4L2
// control stands for each platform property, automatic modes, the unit
// conversions (exposure log2 seconds against 100 us, pan and tilt degrees
// against arc seconds) and the answers to a control the driver refuses.

#include <linux/videodev2.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "linux/FakeKernel.h"
#include "linux/LinuxFixture.h"
#include "platform/backend/Backend.h"
#include "platform/backend/MfIds.h"
#include "platform/linux/LinuxBackend.h"
#include "platform/linux/UvcControls.h"

namespace {

using namespace sv::platform;
using sv::test::FakeControl;
using sv::test::FakeKernel;
using sv::test::FakeNode;

FakeControl Integer(uint32_t id, int32_t minimum, int32_t maximum, int32_t step, int32_t def, int32_t value) {
    FakeControl c;
    c.id = id;
    c.type = V4L2_CTRL_TYPE_INTEGER;
    c.minimum = minimum;
    c.maximum = maximum;
    c.step = step;
    c.defaultValue = def;
    c.value = value;
    return c;
}

FakeNode ControlCamera() {
    FakeNode n;
    n.name = "video0";
    n.card = "Control Cam";
    n.deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    n.vendorId = 0x2c5c;
    n.productId = 0x0104;
    n.formats = {{V4L2_PIX_FMT_YUYV, false, {{640, 480, {{1, 30}}}}}};
    FakeControl autoWb = Integer(V4L2_CID_AUTO_WHITE_BALANCE, 0, 1, 1, 1, 1);
    autoWb.type = V4L2_CTRL_TYPE_BOOLEAN;
    FakeControl autoExposure = Integer(V4L2_CID_EXPOSURE_AUTO, 0, 3, 1, 3, 3);
    autoExposure.type = V4L2_CTRL_TYPE_MENU;
    autoExposure.menu = {V4L2_EXPOSURE_MANUAL, V4L2_EXPOSURE_APERTURE_PRIORITY};
    FakeControl gain = Integer(V4L2_CID_GAIN, 0, 255, 1, 32, 32);
    gain.refuseErrno = EACCES;
    FakeControl sharpness = Integer(V4L2_CID_SHARPNESS, 0, 7, 1, 3, 3);
    sharpness.refuseErrno = EIO;
    n.controls = {
        Integer(V4L2_CID_BRIGHTNESS, -64, 64, 1, 0, 10),
        Integer(V4L2_CID_WHITE_BALANCE_TEMPERATURE, 2800, 6500, 10, 4600, 5000),
        autoWb,
        Integer(V4L2_CID_EXPOSURE_ABSOLUTE, 3, 2047, 1, 156, 156),
        autoExposure,
        Integer(V4L2_CID_PAN_ABSOLUTE, -36000, 36000, 3600, 0, 7200),
        gain,
        sharpness,
    };
    return n;
}

class LinuxControlTest : public sv::test::LinuxFixture {
protected:
    void Install(std::vector<FakeNode> nodes) {
        InstallNodes(std::move(nodes));
        if (HasFatalFailure()) return;
        ASSERT_EQ(source_->QueryVideoProcAmp(procAmp_), HR_S_OK);
        ASSERT_EQ(source_->QueryCameraControl(camera_), HR_S_OK);
    }
    void TearDown() override {
        procAmp_.reset();
        camera_.reset();
        LinuxFixture::TearDown();
    }

    std::shared_ptr<UvcControlInterface> procAmp_;
    std::shared_ptr<UvcControlInterface> camera_;
};

struct Range {
    int32_t minimum = 0, maximum = 0, step = 0, defaultValue = 0, caps = 0;
};

Range RangeOf(UvcControlInterface& controls, int32_t property) {
    Range r;
    EXPECT_EQ(controls.GetRange(property, r.minimum, r.maximum, r.step, r.defaultValue, r.caps), HR_S_OK);
    return r;
}

TEST(LinuxControlUnits, ExposureIsLog2SecondsAgainst100MicrosecondUnits) {
    using v4l2::ControlScale;
    // 1/32 s is 312.5 units; 1 s is 10000; 2 s is 20000.
    EXPECT_EQ(v4l2::ToDriverValue(ControlScale::Log2Seconds, -5), 313);
    EXPECT_EQ(v4l2::ToDriverValue(ControlScale::Log2Seconds, 0), 10000);
    EXPECT_EQ(v4l2::ToDriverValue(ControlScale::Log2Seconds, 1), 20000);
    EXPECT_EQ(v4l2::ToDriverValue(ControlScale::Log2Seconds, -20), 1);  // never below one unit
    EXPECT_EQ(v4l2::ToPlatformValue(ControlScale::Log2Seconds, 313), -5);
    EXPECT_EQ(v4l2::ToPlatformValue(ControlScale::Log2Seconds, 10000), 0);
    EXPECT_EQ(v4l2::ToPlatformValue(ControlScale::Log2Seconds, 156), -6);
    EXPECT_EQ(v4l2::ToPlatformValue(ControlScale::Log2Seconds, 0), v4l2::ToPlatformValue(ControlScale::Log2Seconds, 1));
}

TEST(LinuxControlUnits, PanAndTiltAreDegreesAgainstArcSeconds) {
    using v4l2::ControlScale;
    EXPECT_EQ(v4l2::ToDriverValue(ControlScale::DegreesArcSecond, -3), -10800);
    EXPECT_EQ(v4l2::ToPlatformValue(ControlScale::DegreesArcSecond, 7200), 2);
    EXPECT_EQ(v4l2::ToPlatformValue(ControlScale::DegreesArcSecond, -5400), -2);  // half a degree rounds away
    EXPECT_EQ(v4l2::MapControl(true, uvc::CameraControl_Tilt).id, static_cast<uint32_t>(V4L2_CID_TILT_ABSOLUTE));
    EXPECT_EQ(v4l2::MapControl(true, uvc::CameraControl_Tilt).scale, ControlScale::DegreesArcSecond);
    EXPECT_EQ(v4l2::MapControl(true, uvc::CameraControl_Roll).id, 0u);
    EXPECT_EQ(v4l2::MapControl(false, uvc::ProcAmp_ColorEnable).id, 0u);
}

TEST_F(LinuxControlTest, RangesAreConvertedInsideTheDriversRange) {
    Install({ControlCamera()});
    const Range exposure = RangeOf(*camera_, uvc::CameraControl_Exposure);
    // 3 units is 2^-11.7 s and 2047 units 2^-2.29 s: the whole steps inside.
    EXPECT_EQ(exposure.minimum, -11);
    EXPECT_EQ(exposure.maximum, -3);
    EXPECT_EQ(exposure.step, 1);
    EXPECT_EQ(exposure.defaultValue, -6);
    EXPECT_EQ(exposure.caps, uvc::kFlagsAuto | uvc::kFlagsManual);
    const Range pan = RangeOf(*camera_, uvc::CameraControl_Pan);
    EXPECT_EQ(pan.minimum, -10);
    EXPECT_EQ(pan.maximum, 10);
    EXPECT_EQ(pan.step, 1);
    EXPECT_EQ(pan.caps, uvc::kFlagsManual);
    const Range brightness = RangeOf(*procAmp_, uvc::ProcAmp_Brightness);
    EXPECT_EQ(brightness.minimum, -64);
    EXPECT_EQ(brightness.maximum, 64);
    EXPECT_EQ(brightness.caps, uvc::kFlagsManual);
    const Range wb = RangeOf(*procAmp_, uvc::ProcAmp_WhiteBalance);
    EXPECT_EQ(wb.step, 10);
    EXPECT_EQ(wb.defaultValue, 4600);
    EXPECT_EQ(wb.caps, uvc::kFlagsAuto | uvc::kFlagsManual);
}

// A camera whose shortest exposure is 5 units (0.5 ms): that reads as
// 2^-11 s, so -11 is inside the range, and setting it gives the 5 units.
TEST_F(LinuxControlTest, ARangeEndIsWhatAGetAtThatEndReads) {
    FakeNode node = ControlCamera();
    for (FakeControl& c : node.controls) {
        if (c.id == V4L2_CID_EXPOSURE_ABSOLUTE) c.minimum = 5;
    }
    Install({node});
    const Range exposure = RangeOf(*camera_, uvc::CameraControl_Exposure);
    EXPECT_EQ(exposure.minimum, -11);
    ASSERT_EQ(camera_->Set(uvc::CameraControl_Exposure, -11, uvc::kFlagsManual), HR_S_OK);
    EXPECT_EQ(kernel_->ControlValue("video0", V4L2_CID_EXPOSURE_ABSOLUTE), 5);
    int32_t value = 0, flags = 0;
    ASSERT_EQ(camera_->Get(uvc::CameraControl_Exposure, value, flags), HR_S_OK);
    EXPECT_EQ(value, exposure.minimum);
    EXPECT_EQ(camera_->Set(uvc::CameraControl_Exposure, -12, uvc::kFlagsManual), HR_E_INVALIDARG);
}

TEST_F(LinuxControlTest, ManualExposureSwitchesTheAutomaticModeOffAndConverts) {
    Install({ControlCamera()});
    int32_t value = 0, flags = 0;
    ASSERT_EQ(camera_->Get(uvc::CameraControl_Exposure, value, flags), HR_S_OK);
    EXPECT_EQ(value, -6);
    EXPECT_EQ(flags, uvc::kFlagsAuto);
    ASSERT_EQ(camera_->Set(uvc::CameraControl_Exposure, -5, uvc::kFlagsManual), HR_S_OK);
    EXPECT_EQ(kernel_->ControlValue("video0", V4L2_CID_EXPOSURE_AUTO), V4L2_EXPOSURE_MANUAL);
    EXPECT_EQ(kernel_->ControlValue("video0", V4L2_CID_EXPOSURE_ABSOLUTE), 313);
    ASSERT_EQ(camera_->Get(uvc::CameraControl_Exposure, value, flags), HR_S_OK);
    EXPECT_EQ(value, -5);
    EXPECT_EQ(flags, uvc::kFlagsManual);
    // Back to automatic: the camera's aperture priority mode, its value kept.
    ASSERT_EQ(camera_->Set(uvc::CameraControl_Exposure, 0, uvc::kFlagsAuto), HR_S_OK);
    EXPECT_EQ(kernel_->ControlValue("video0", V4L2_CID_EXPOSURE_AUTO), V4L2_EXPOSURE_APERTURE_PRIORITY);
    EXPECT_EQ(kernel_->ControlValue("video0", V4L2_CID_EXPOSURE_ABSOLUTE), 313);
}

TEST_F(LinuxControlTest, WhiteBalanceAndPanGoThroughTheirOwnControls) {
    Install({ControlCamera()});
    ASSERT_EQ(procAmp_->Set(uvc::ProcAmp_WhiteBalance, 3200, uvc::kFlagsManual), HR_S_OK);
    EXPECT_EQ(kernel_->ControlValue("video0", V4L2_CID_AUTO_WHITE_BALANCE), 0);
    EXPECT_EQ(kernel_->ControlValue("video0", V4L2_CID_WHITE_BALANCE_TEMPERATURE), 3200);
    ASSERT_EQ(camera_->Set(uvc::CameraControl_Pan, -3, uvc::kFlagsManual), HR_S_OK);
    EXPECT_EQ(kernel_->ControlValue("video0", V4L2_CID_PAN_ABSOLUTE), -10800);
    int32_t value = 0, flags = 0;
    ASSERT_EQ(camera_->Get(uvc::CameraControl_Pan, value, flags), HR_S_OK);
    EXPECT_EQ(value, -3);
    ASSERT_EQ(procAmp_->Get(uvc::ProcAmp_Brightness, value, flags), HR_S_OK);
    EXPECT_EQ(value, 10);
    EXPECT_EQ(flags, uvc::kFlagsManual);
}

// uvcvideo offers hue, white balance and focus without their automatic
// controls when the camera has no automatic mode for them.
TEST_F(LinuxControlTest, AControlWithoutAnAutomaticModeIsSetWithoutTouchingOne) {
    FakeNode node = ControlCamera();
    node.controls.push_back(Integer(V4L2_CID_HUE, -40, 40, 1, 0, 0));
    Install({node});
    const uint32_t before = kernel_->IoctlCount(VIDIOC_S_CTRL);
    ASSERT_EQ(procAmp_->Set(uvc::ProcAmp_Hue, -40, uvc::kFlagsManual), HR_S_OK);
    EXPECT_EQ(kernel_->ControlValue("video0", V4L2_CID_HUE), -40);
    EXPECT_EQ(kernel_->IoctlCount(VIDIOC_S_CTRL), before + 1);
    EXPECT_EQ(RangeOf(*procAmp_, uvc::ProcAmp_Hue).caps, uvc::kFlagsManual);
    EXPECT_EQ(procAmp_->Set(uvc::ProcAmp_Hue, 0, uvc::kFlagsAuto), HR_E_INVALIDARG);
}

TEST_F(LinuxControlTest, BadValuesAndModesAreRefusedBeforeTheDriverSeesThem) {
    Install({ControlCamera()});
    const uint32_t before = kernel_->IoctlCount(VIDIOC_S_CTRL);
    EXPECT_EQ(procAmp_->Set(uvc::ProcAmp_Brightness, 65, uvc::kFlagsManual), HR_E_INVALIDARG);
    EXPECT_EQ(procAmp_->Set(uvc::ProcAmp_WhiteBalance, 3205, uvc::kFlagsManual), HR_E_INVALIDARG);  // off step
    EXPECT_EQ(procAmp_->Set(uvc::ProcAmp_Brightness, 0, uvc::kFlagsAuto), HR_E_INVALIDARG);        // no auto mode
    EXPECT_EQ(procAmp_->Set(uvc::ProcAmp_Brightness, 0, 3), HR_E_INVALIDARG);
    EXPECT_EQ(camera_->Set(uvc::CameraControl_Exposure, -2, uvc::kFlagsManual), HR_E_INVALIDARG);
    EXPECT_EQ(kernel_->IoctlCount(VIDIOC_S_CTRL), before);
    int32_t value = 0, flags = 0;
    EXPECT_EQ(camera_->Get(uvc::CameraControl_Roll, value, flags), HR_E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(procAmp_->Get(uvc::ProcAmp_Hue, value, flags), HR_E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(procAmp_->Get(99, value, flags), HR_E_PROP_ID_UNSUPPORTED);
}

TEST_F(LinuxControlTest, AControlTheDriverRefusesAnswersItsFailure) {
    Install({ControlCamera()});
    EXPECT_EQ(procAmp_->Set(uvc::ProcAmp_Gain, 40, uvc::kFlagsManual), HR_E_ACCESSDENIED);
    EXPECT_EQ(procAmp_->Set(uvc::ProcAmp_Sharpness, 4, uvc::kFlagsManual), HR_E_FAIL);
    EXPECT_EQ(kernel_->ControlValue("video0", V4L2_CID_GAIN), 32);
    int32_t value = 0, flags = 0;
    ASSERT_EQ(procAmp_->Get(uvc::ProcAmp_Gain, value, flags), HR_S_OK);
    EXPECT_EQ(value, 32);
}

// uvcvideo answers every ioctl on a control the camera stalls with EPIPE;
// the control fails on its own and the others go on working.
TEST_F(LinuxControlTest, AControlTheCameraStallsFailsAloneAndTheOthersStillWork) {
    FakeNode node = ControlCamera();
    node.controls[0].stalled = true;  // brightness
    Install({node});
    if (HasFatalFailure()) return;
    int32_t value = -1, flags = -1;
    EXPECT_EQ(procAmp_->Get(uvc::ProcAmp_Brightness, value, flags), HR_E_FAIL);
    Range r;
    EXPECT_EQ(procAmp_->GetRange(uvc::ProcAmp_Brightness, r.minimum, r.maximum, r.step, r.defaultValue, r.caps),
              HR_E_FAIL);
    EXPECT_EQ(procAmp_->Set(uvc::ProcAmp_Brightness, 20, uvc::kFlagsManual), HR_E_FAIL);
    EXPECT_EQ(kernel_->ControlValue("video0", V4L2_CID_BRIGHTNESS), 10);
    ASSERT_EQ(procAmp_->Set(uvc::ProcAmp_WhiteBalance, 5500, uvc::kFlagsManual), HR_S_OK);
    ASSERT_EQ(procAmp_->Get(uvc::ProcAmp_WhiteBalance, value, flags), HR_S_OK);
    EXPECT_EQ(value, 5500);
}

TEST_F(LinuxControlTest, AnUnpluggedCameraIsNotConnected) {
    Install({ControlCamera()});
    kernel_->Unplug("video0");
    int32_t value = 0, flags = 0;
    EXPECT_EQ(procAmp_->Get(uvc::ProcAmp_Brightness, value, flags), HR_ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(camera_->Set(uvc::CameraControl_Pan, 1, uvc::kFlagsManual), HR_ERROR_DEVICE_NOT_CONNECTED);
}

TEST_F(LinuxControlTest, ANodeThatVanishedBeforeTheFirstQueryIsNotConnected) {
    InstallNodes({ControlCamera()});
    kernel_->Unplug("video0");
    std::shared_ptr<UvcControlInterface> controls;
    EXPECT_EQ(source_->QueryVideoProcAmp(controls), HR_ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_FALSE(controls);
    std::shared_ptr<KsTopologyInfo> topology;
    EXPECT_EQ(source_->QueryTopologyInfo(topology), HR_ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_FALSE(topology);
}

}  // namespace
