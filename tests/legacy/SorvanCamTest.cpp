// The legacy camera class against worlds the public tests cannot make: a
// camera that leaves between enumeration and opening, the family lines, and
// the legacy channel's lines of opening and capturing.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <sorvansdk/SorvanCam.h>

#include "common/LogCapture.h"
#include "firmware/Fx3Images.h"
#include "legacy/LegacyFixture.h"
#include "platform/SimTestUtil.h"

namespace {

class SorvanCamTest : public svtest::LegacyTest {};

TEST_F(SorvanCamTest, OpenOfACameraGoneSinceTheEnumerationFails) {
    auto sim = InstallDefault();
    SorvanCam cam;  // enumerates three cameras
    ASSERT_TRUE(sim->UnplugDevice("lira"));
    // Index 2 is valid in the old enumeration but past the fresh one.
    EXPECT_EQ(cam.Open(2), -1);
    EXPECT_EQ(cam.Open(1), 0);
}

TEST_F(SorvanCamTest, OpenPastTheListLogsNothing) {
    InstallDefault();
    SorvanCam cam;
    (void)Lines();
    EXPECT_EQ(cam.Open(3), -1);
    EXPECT_TRUE(Lines().empty());
}

TEST_F(SorvanCamTest, FamilyLinesFollowTheProductId) {
    InstallWorld(R"({"devices": [
        {"id": "a", "name": "LIRA-X", "vendorId": "3f41", "productId": "4335", "serial": "S1",
         "formats": [{"subtype": "YUY2", "width": 64, "height": 48}], "xu": {"model": "lira"}},
        {"id": "b", "name": "Other", "vendorId": "1234", "productId": "5678", "serial": "S2",
         "formats": [{"subtype": "YUY2", "width": 64, "height": 48}]}]})");
    SorvanCam cam;
    ASSERT_EQ(cam.Open(0), 0);
    EXPECT_TRUE(Logged("SorvanCam::Open", "Camera is LUMO series"));
    ASSERT_EQ(cam.Open(1), 0);
    EXPECT_TRUE(Logged("SorvanCam::Open", "Camera is KANO series"));
}

TEST_F(SorvanCamTest, TimeOutsLogTheWaitAndWaitOutOneRequest) {
    InstallWorld(R"({"devices": [
        {"id": "a", "name": "Cam", "vendorId": "1234", "productId": "5678", "serial": "S1",
         "formats": [{"subtype": "YUY2", "width": 64, "height": 48}], "stallAfterFrames": 0}]})");
    SorvanCam cam;
    ASSERT_EQ(cam.Open(0), 0);
    std::vector<SzFormat> formats;
    ASSERT_EQ(cam.GetCaptureFormatList(formats), 0);
    ASSERT_EQ(formats.size(), 1u);
    ASSERT_EQ(cam.SetCaptureFormat(formats[0]), 0);
    std::vector<uint8_t> frame(64 * 48 * 2);
    (void)Lines();
    svtest::TraceCapture trace(*backend_);
    EXPECT_EQ(cam.GetRawImageCapture(frame.data(), nullptr, 50), -1);
    // The second capture waits for the request still outstanding.
    EXPECT_EQ(cam.GetRawImageCapture(frame.data(), nullptr, 50), -1);
    trace.Stop();
    int requests = 0;
    for (const auto& j : trace.Json()) requests += j.value("op", "") == "sample.request" ? 1 : 0;
    EXPECT_EQ(requests, 1);
    const auto lines = Lines();
    bool wait = false;
    bool status = false;
    for (const auto& l : lines) {
        wait = wait || l.find("Wait Sample Image Timeout 50 ms") != std::string::npos;
        status = status || l.find("m_hrStatus=0x0, SZ_ERROR=0") != std::string::npos;
    }
    EXPECT_TRUE(wait);
    EXPECT_TRUE(status);
}

TEST_F(SorvanCamTest, LocationListWritesTheSerialLookupOnTheLegacyChannel) {
    InstallDefault();
    SorvanCam cam;
    (void)Lines();
    std::vector<DeviceListData> list;
    ASSERT_EQ(cam.GetVideoDeviceListWithLocation(list), 0);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1].serialNumber, "K7Q2M9P4R8");
    const auto lines = Lines();
    auto has = [&](const std::string& text) {
        for (const auto& l : lines) {
            if (l.rfind("[USBView::GetUSBDeviceSerialNumber][", 0) == 0 && l.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(has("]: USB\\VID_3F41&PID_0234&MI_00\\7&1F2E3D4C&0&0000"));
    EXPECT_TRUE(has("]: BASE_CONTAINERID: {c2d4e6f8-1a3b-4c5d-8e9f-0a1b2c3d4e5f}"));
    EXPECT_TRUE(has("]: USB\\VID_3F41&PID_0234\\K7Q2M9P4R8"));
    bool device = false;
    for (const auto& l : lines) {
        device = device || (l.rfind("[SorvanCam::GetVideoDeviceListWithLocation][", 0) == 0 &&
                            l.find("] Device: KIVO-AR0234 Camera - \\\\?\\usb#vid_3f41&pid_0234") != std::string::npos &&
                            l.find(" - K7Q2M9P4R8") != std::string::npos);
    }
    EXPECT_TRUE(device);
}

TEST_F(SorvanCamTest, BridgeCloseFailureIsLoggedAndReported) {
    InstallWorld(svtest::Fx3World(R"("mode": "bootloader", "faults": [{"op": "usb.close", "on": 1, "times": 0}])"));
    sv::test::TempDir dir;
    const std::string path = dir.File("prog.img");
    {
        const auto image = svtest::Fx3Image({{0x40000000, svtest::Identity('P', {}, 4096)}}, 0x40000000);
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    }
    int r = 0;
    EXPECT_NO_THROW(r = ScStartFWDownload(1, path.c_str()));
    EXPECT_EQ(r, -1);
    EXPECT_TRUE(Logged("ScStartFWDownload", "Failed to close handle to driver."));
}

TEST_F(SorvanCamTest, BridgeSearchWaitsTenTimesOneSecondOfDeviceTime) {
    InstallWorld(R"({"devices": []})");
    svtest::TraceCapture trace(*backend_);
    EXPECT_EQ(ScStartFWDownload(1, "/nonexistent.img"), -1);
    trace.Stop();
    std::vector<int> sleeps;
    for (const auto& j : trace.Json()) {
        if (j.value("op", "") == "sleep") sleeps.push_back(j.value("ms", 0));
    }
    EXPECT_EQ(sleeps, std::vector<int>(9, 1000));
    EXPECT_TRUE(Logged("ScStartFWDownload", "FX3 USB BootLoader Device not found"));
}

TEST_F(SorvanCamTest, ProfileDocumentFractionForAWholeNumberIsRefusedWithTheRangeLine) {
    InstallDefault();
    SorvanCam cam;
    const auto document = [](const std::string& awbTemp) {
        return R"({"ProfileName": "p", "GenerateDate": "", "ProductName": "", "ControlMode": "ISP",
          "CameraProfile": {"Width": 640.0, "Height": 480, "Framerate": 30, "PixelFormat": "YUY2"},
          "UVCProfiles": {"Exposure": -6, "Gain": 0, "Exp_Auto": true, "WB_Auto": true, "Temperature": 4600.0,
            "Brightness": 0, "Backlight_Compensation": 1, "Contrast": 32, "Saturation": 64, "Gamma": 100,
            "Sharpness": 3, "Zoom": 100, "Pan": 0, "Tilt": 0},
          "ISPProfiles": {"AE_EXP_TIME": 33333.0, "AE_EXP_GAIN": 1, "AE_EXP_MODE": 12, "AWB_MODE": true,
            "AWB_TEMP": )" + awbTemp + R"(, "Brightness": 0, "Backlight_Compensation": 1, "Contrast": 0,
            "Saturation": 1, "Gamma": 2.2, "Denoise": 0, "Sharpness": 0, "Flip_Mode": 0, "Effect_Mode": 0,
            "ZoomTarget": 1, "Zoom_CTX": 0.5, "Zoom_CTY": 0.5, "Flick_Mode": 0, "Jpeg_Qual": 100.0,
            "Fixed_FPS": false}})";
    };
    (void)Lines();
    EXPECT_EQ(cam.LoadProfileSetting(document("5000.0").c_str()), 0);
    EXPECT_TRUE(Lines().empty()) << "a whole number written as a real loads without a word";
    EXPECT_EQ(cam.LoadProfileSetting(document("5000.5").c_str()), -1);
    EXPECT_TRUE(Logged("SorvanCam::LoadProfileSetting",
                       "LoadProfileSetting Fail!. Member 'AWB_TEMP' is not a whole number between -2147483648 and "
                       "2147483647"));
}

}  // namespace
