// The guards of the exported camera functions and the functions that need no device.

#include <gtest/gtest.h>

#include <sorvansdk/SorvanSDK.h>

#include "camera/SvCameraManager.h"
#include "camera/SvGenericCamera.h"
#include "camera/SvKIVOCamera.h"
#include "camera/SvLIRACamera.h"
#include "common/LogCapture.h"
#include "core/ApiGuards.h"
#include "formats/BootdataHeader.h"

using sv::test::LogCapture;
using sv::test::TempDir;

namespace {

CameraDeviceInfo Record(const std::string& name, int productType, int interfaceType = 0) {
    CameraDeviceInfo info;
    info.deviceName = name;
    info.friendlyName = name;
    info.productType = productType;
    info.interfaceType = interfaceType;
    info.devicePath = "\\\\?\\usb#vid_1d6b&pid_0102&mi_00#6&1&0&0000#{e5323777-f976-4f5b-9b55-b94699c46e44}\\global";
    info.hardwareId = "vid_1d6b&pid_0102";
    return info;
}

std::shared_ptr<SvCamera> Generic(const std::string& name = "Webcam") {
    return std::make_shared<SvGenericCamera>(Record(name, SV_PRODUCT_TYPE_UVC));
}
std::shared_ptr<SvCamera> Kivo() { return std::make_shared<SvKIVOCamera>(Record("KIVO cam", SV_PRODUCT_TYPE_KIVO)); }
std::shared_ptr<SvCamera> Lira() { return std::make_shared<SvLIRACamera>(Record("LIRA cam", SV_PRODUCT_TYPE_LIRA)); }

// Guard "any": empty pointer logged with the function's name.
TEST(GuardTest, AnyGuardRefusesEmptyPointerWithMessage) {
    std::shared_ptr<SvCamera> none;
    std::vector<SvFormat> formats;
    uint8_t buffer[4];
    int size = 4;
    int fd = 0;
    struct Case {
        const char* name;
        std::function<int()> call;
        int expected;
    } cases[] = {
        {"SvOpen", [&] { return SvOpen(none); }, -1},
        {"SvClose", [&] { return SvClose(none); }, -1},
        {"SvGetFormatList", [&] { return SvGetFormatList(none, formats); }, -1},
        {"SvSetFormat", [&] { return SvSetFormat(none, SvFormat{}); }, -1},
        {"SvStartStreaming", [&] { return SvStartStreaming(none); }, -1},
        {"SvStopStreaming", [&] { return SvStopStreaming(none); }, -1},
        {"SvGetImage", [&] { return static_cast<int>(SvGetImage(none, buffer, &size, 10)); }, -3},
        {"SvGetImageFd", [&] { return static_cast<int>(SvGetImageFd(none, &fd, 10)); }, -3},
        {"SvReleaseImageFd", [&] { return SvReleaseImageFd(none, 3); }, -1},
    };
    for (auto& c : cases) {
        LogCapture capture;
        EXPECT_EQ(c.call(), c.expected) << c.name;
        EXPECT_TRUE(capture.Contains(std::string(c.name) + ": Invalid Camera Pointer")) << c.name;
    }
}

// Guard "quiet": empty pointer answers -1 silently; otherwise the record's field.
TEST(GuardTest, QuietGettersReadTheRecord) {
    std::shared_ptr<SvCamera> none;
    std::string text = "unchanged";
    SV_CAMERA_INTERFACE_TYPE itype = SV_CAMERA_INTERFACE_ETHERNET;
    SV_CAMERA_PRODUCT_TYPE ptype = SV_PRODUCT_TYPE_NONE;
    {
        LogCapture capture;
        EXPECT_EQ(SvGetDeviceName(none, text), -1);
        EXPECT_EQ(SvGetDevicePath(none, text), -1);
        EXPECT_EQ(SvGetDeviceInterfaceType(none, itype), -1);
        EXPECT_EQ(SvGetDeviceProductType(none, ptype), -1);
        EXPECT_EQ(SvIsSorvanCamera(none), -1);
        EXPECT_EQ(capture.Text(), "");
    }
    EXPECT_EQ(text, "unchanged");

    auto kivo = Kivo();
    EXPECT_EQ(SvGetDeviceName(kivo, text), 0);
    EXPECT_EQ(text, "KIVO cam");
    EXPECT_EQ(SvGetDevicePath(kivo, text), 0);
    EXPECT_EQ(text.substr(0, 8), "\\\\?\\usb#");
    EXPECT_EQ(SvGetDeviceInterfaceType(kivo, itype), 0);
    EXPECT_EQ(itype, SV_CAMERA_INTERFACE_USB);
    EXPECT_EQ(SvGetDeviceProductType(kivo, ptype), 0);
    EXPECT_EQ(ptype, SV_PRODUCT_TYPE_KIVO);
}

TEST(GuardTest, IsSorvanCameraFollowsTheProductType) {
    EXPECT_EQ(SvIsSorvanCamera(Kivo()), 0);
    EXPECT_EQ(SvIsSorvanCamera(Lira()), 0);
    EXPECT_EQ(SvIsSorvanCamera(Generic()), -1);
    // The product type decides, not the class.
    EXPECT_EQ(SvIsSorvanCamera(std::make_shared<SvGenericCamera>(Record("x", SV_PRODUCT_TYPE_NONE))), -1);
}

// Guards "maker" and "maker UVC": wrong class logged with device and function names.
TEST(GuardTest, MakerGuardsRefuseGenericCameras) {
    auto cam = Generic("Plain Webcam");
    std::string text = "kept";
    uint16_t value = 0;
    uint8_t byte = 0;
    struct Case {
        const char* name;
        std::function<int()> call;
    } cases[] = {
        {"SvGetUSBFirmwareVersion", [&] { return SvGetUSBFirmwareVersion(cam, text); }},
        {"SvGotoFX3ProgramMode", [&] { return SvGotoFX3ProgramMode(cam); }},
        {"SvResetUVC", [&] { return SvResetUVC(cam); }},
        {"SvGenericI2CRead", [&] { return SvGenericI2CRead(cam, 0x3D, 2, 0, 1, &byte); }},
        {"SvAP1302I2CRead", [&] { return SvAP1302I2CRead(cam, 0, value); }},
        {"SvGetSensorUniqueID", [&] { return SvGetSensorUniqueID(cam, text); }},
        {"SvGetMaxFPS", [&] { return SvGetMaxFPS(cam, byte); }},
        {"SvGetHeaderVersion", [&] { return SvGetHeaderVersion(cam); }},
        {"SvCheckProduct", [&] { return SvCheckProduct(cam, text, text); }},
        {"SvExportSensorConfig", [&] { return SvExportSensorConfig(cam, "x"); }},
    };
    for (auto& c : cases) {
        LogCapture capture;
        EXPECT_EQ(c.call(), -1) << c.name;
        EXPECT_TRUE(capture.Contains(std::string("Plain Webcam: Cannot Support this Function: ") + c.name))
            << c.name << ": " << capture.Text();
    }
    EXPECT_EQ(text, "kept");
}

TEST(GuardTest, MakerGuardsRefuseEmptyPointers) {
    std::shared_ptr<SvCamera> none;
    std::string text;
    LogCapture capture;
    EXPECT_EQ(SvGetUSBFirmwareVersion(none, text), -1);
    EXPECT_EQ(SvGetLUMOFirmwareVersion(none, text), -1);
    EXPECT_TRUE(capture.Contains("SvGetUSBFirmwareVersion: Invalid Camera Pointer"));
    EXPECT_TRUE(capture.Contains("SvGetLUMOFirmwareVersion: Invalid Camera Pointer"));
}

TEST(GuardTest, FamilyOperationsAFamilyLacksAnswerSilently) {
    auto kivo = Kivo();
    std::string text = "kept";
    SV_MCU_TYPE mcu = SV_MCU_TYPE_1;
    LogCapture capture;
    EXPECT_EQ(SvGetLUMOFirmwareVersion(kivo, text), -1);
    EXPECT_EQ(SvGetMCUType(kivo, mcu), -1);
    EXPECT_EQ(capture.Text(), "");
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(mcu, SV_MCU_TYPE_1);
}

// Guard "UVC": generic class (or derived) on USB.
TEST(GuardTest, UvcGuardChecksClassAndInterface) {
    long value = 7;
    int flag = 7;
    SV_USB_DEVICE_SPEED speed = SV_USB_HIGH_SPEED;
    std::string id;

    auto mipi = std::make_shared<SvGenericCamera>(Record("Mipi cam", SV_PRODUCT_TYPE_UVC, SV_CAMERA_INTERFACE_MIPI_CSI2));
    {
        LogCapture capture;
        EXPECT_EQ(SvGetUVCImageProcessing(mipi, SV_UVC_BRIGHTNESS, value, flag), -1);
        EXPECT_TRUE(capture.Contains("Mipi cam: Cannot Support this Function: SvGetUVCImageProcessing"));
    }
    {
        LogCapture capture;
        EXPECT_EQ(SvGetHardwareID(std::shared_ptr<SvCamera>(), id), -1);
        EXPECT_TRUE(capture.Contains("SvGetHardwareID: Invalid Camera Pointer"));
    }
    // Maker cameras are generic cameras on USB too.
    EXPECT_EQ(SvGetHardwareID(Kivo(), id), 0);
    EXPECT_EQ(id, "vid_1d6b&pid_0102");
    // An unknown speed leaves the output alone.
    EXPECT_EQ(SvGetUSBDeviceSpeed(Lira(), speed), -1);
    EXPECT_EQ(speed, SV_USB_HIGH_SPEED);

    auto noId = Record("No id", SV_PRODUCT_TYPE_UVC);
    noId.hardwareId.clear();
    EXPECT_EQ(SvGetHardwareID(std::make_shared<SvGenericCamera>(noId), id), -1);
}

TEST(GuardTest, FrameDescriptorsAreNotOffered) {
    auto cam = Generic();
    int fd = 5;
    EXPECT_EQ(SvGetImageFd(cam, &fd, 100), SV_CAPTURE_FAILED);
    EXPECT_EQ(SvReleaseImageFd(cam, fd), -1);
    EXPECT_EQ(SvClose(cam), 0);  // never opened
}

TEST(SensorFirmwareVersionTest, TextFromBothHeaderLayouts) {
    SvHeaderV2 v2{};
    v2.productVersion = 1;
    v2.lensVersion = 2;
    v2.contentVersion = 10;
    EXPECT_EQ(sv::formats::SensorFirmwareVersion(v2), "01.02.10");

    SvHeaderV3 v3{};
    v3.znFwVersion[0] = 1;
    v3.znFwVersion[1] = 5;
    v3.vendorFwVersion = 300;
    v3.customNumber = 7;
    EXPECT_EQ(sv::formats::SensorFirmwareVersion(v3), "01.05.300.07");
}

TEST(SensorFirmwareVersionTest, GenericCameraLeavesTextAndAnswersZero) {
    std::string text = "before";
    LogCapture capture;
    EXPECT_EQ(SvGetSensorFirmwareVersion(Generic("Cam X"), text), 0);
    EXPECT_EQ(text, "before");
    EXPECT_TRUE(capture.Contains("Cam X: Cannot Support this Function: SvGetHeaderVersion"));
    EXPECT_EQ(SvGetSensorFirmwareVersion(std::shared_ptr<SvCamera>(), text), -1);
}

TEST(HeaderLayoutTest, FieldOffsetsMatchTheStoredRecord) {
    EXPECT_EQ(offsetof(SvHeaderV2, productVersion), 67u);
    EXPECT_EQ(offsetof(SvHeaderV2, lensVersion), 132u);
    EXPECT_EQ(offsetof(SvHeaderV2, contentChecksum), 134u);
    EXPECT_EQ(offsetof(SvHeaderV2, pllBootdataLen), 142u);
    EXPECT_EQ(offsetof(SvHeaderV3, sensorFuseId), 5u);
    EXPECT_EQ(offsetof(SvHeaderV3, fixChecksum), 101u);
    EXPECT_EQ(offsetof(SvHeaderV3, znFwVersion), 103u);
    EXPECT_EQ(offsetof(SvHeaderV3, mipiDatarate), 115u);
    EXPECT_EQ(offsetof(SvHeaderV3, totalChecksum), 123u);
    EXPECT_EQ(offsetof(SvFormat, format), 8u);
}

class ManagerApiTest : public testing::Test {
protected:
    void SetUp() override { sv::ResetCameraManagerForTesting(); }
    void TearDown() override { sv::ResetCameraManagerForTesting(); }
};

TEST_F(ManagerApiTest, RoutesAreRefusedOnThisPlatform) {
    {
        LogCapture capture;
        EXPECT_EQ(SvLoadRouteYaml("/nonexistent/routes.yaml"), nullptr);
        EXPECT_TRUE(capture.Contains(
            "[SvLoadRouteYaml]["));
        EXPECT_TRUE(capture.Contains("] Fail to read the YAML file. Please ensure the YAML file path is correct."));
        EXPECT_EQ(sv::ExistingCameraManager(), nullptr);  // a missing file creates no manager
    }
    {
        TempDir dir;
        dir.Write("routes.yaml", "routes: []\n");
        LogCapture capture;
        EXPECT_EQ(SvLoadRouteYaml(dir.File("routes.yaml")), nullptr);
        EXPECT_TRUE(capture.Contains("Cannot Support this Function on Windows: LoadRouteYamlConfig"));
    }
    {
        LogCapture capture;
        EXPECT_EQ(SvActivateYamlRoutes(nullptr), -1);
        EXPECT_TRUE(capture.Contains("Cannot Support this Function on Windows: ActivateYamlRouteConfig"));
        EXPECT_TRUE(capture.Contains("] Fail to activate the routes from YAML file."));
    }
    {
        LogCapture capture;
        EXPECT_EQ(SvResetActiveRoutes(), -1);
        EXPECT_TRUE(capture.Contains("Cannot Support this Function on Windows: ResetActiveRoute"));
    }
}

TEST_F(ManagerApiTest, DiscoveryReplacesTheCallersNames) {
    std::vector<std::string> names{"stale", "entries"};
    const int count = SvDiscoverCameraDevices(names);
    EXPECT_EQ(count, static_cast<int>(names.size()));
    for (const auto& n : names) EXPECT_NE(n, "stale");
}

TEST_F(ManagerApiTest, IndexOutOfRangeGivesEmptyPointer) {
    std::vector<std::string> names;
    const int count = SvDiscoverCameraDevices(names);
    LogCapture capture;
    EXPECT_EQ(SvInitialCameraDevice(-1), nullptr);
    EXPECT_EQ(SvInitialCameraDevice(count), nullptr);
    EXPECT_TRUE(capture.Contains("Device index out of range: -1, size: " + std::to_string(count)));
    EXPECT_TRUE(capture.Contains("Device index out of range: " + std::to_string(count) + ", size: "));
}

}  // namespace
