// The Linux back-end over a fake kernel: enumeration from sysfs and
// VIDIOC_QUERYCAP, the links the platform classes parse, and native types
// read through the streamer's format list.

#include <linux/videodev2.h>

#include <gtest/gtest.h>
#include <sorvansdk/SorvanCam.h>
#include <sorvansdk/SorvanSDK.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <typeinfo>

#include "base/Config.h"
#include "camera/SvCameraManager.h"
#include "common/LegacyLines.h"
#include "common/LogCapture.h"
#include "linux/FakeKernel.h"
#include "platform/CameraStreamer.h"
#include "platform/MediaTypeText.h"
#include "platform/PlatformCameraList.h"
#include "platform/backend/Backend.h"
#include "platform/backend/MfIds.h"
#include "platform/linux/LinuxBackend.h"
#include "platform/linux/VideoNodes.h"

namespace {

using namespace sv::platform;
using sv::test::FakeFormat;
using sv::test::FakeKernel;
using sv::test::FakeNode;

constexpr uint32_t kCapture = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
constexpr uint32_t kMetadata = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
constexpr uint32_t kOutput = V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_STREAMING;

FakeNode KivoCamera() {
    FakeNode n;
    n.name = "video0";
    n.card = "See KIVO 4K camera";
    n.deviceCaps = kCapture;
    n.vendorId = 0x2c5c;
    n.productId = 0x0103;
    n.interfaceNumber = 0;
    n.serial = "KV000123";
    n.busnum = 1;
    n.devpath = "2.1";
    n.formats = {
        {V4L2_PIX_FMT_YUYV, false, {{640, 480, {{1, 30}, {1, 15}}}, {1280, 720, {{1, 30}}}}},
        {V4L2_PIX_FMT_MJPEG, true, {{1920, 1080, {{1, 60}, {1001, 30000}}}}},
    };
    return n;
}

FakeNode KivoMetadata() {
    FakeNode n = KivoCamera();
    n.name = "video1";
    n.deviceCaps = kMetadata;
    n.formats.clear();
    return n;
}

FakeNode PlainWebcam() {
    FakeNode n;
    n.name = "video10";
    n.card = "Plain Webcam";
    n.deviceCaps = kCapture;
    n.vendorId = 0x046d;
    n.productId = 0x0825;
    n.interfaceNumber = 2;
    n.serial = "WEB42";
    n.busnum = 3;
    n.devpath = "4";
    n.formats = {{V4L2_PIX_FMT_NV12, false, {{320, 240, {{1, 25}}}}}};
    return n;
}

FakeNode PlatformCamera() {
    FakeNode n;
    n.name = "video2";
    n.card = "Board camera";
    n.driver = "board-cam";
    n.deviceCaps = kCapture;
    n.usb = false;
    n.platformDevice = "board-cam.0";
    return n;
}

// A node of the virtual driver's instance `instance` (vivid.N, bus
// "platform:vivid-00N").
FakeNode VividNode(const std::string& name, uint32_t caps, int instance = 0) {
    FakeNode n;
    n.name = name;
    n.card = "vivid";
    n.driver = "vivid";
    n.deviceCaps = caps;
    n.usb = false;
    n.platformDevice = "vivid." + std::to_string(instance);
    n.busInfo = "platform:vivid-00" + std::to_string(instance);
    if (caps & V4L2_CAP_VIDEO_CAPTURE) n.formats = {{V4L2_PIX_FMT_YUYV, false, {{320, 180, {{1, 25}}}}}};
    return n;
}

sv::ConfigMap Families() {
    sv::ConfigMap config;
    sv::ParseConfigText("[KIVO]\nproducts = KIVO\n[LIRA]\nproducts = LIRA\n", config);
    return config;
}

std::vector<std::string> Names(const std::vector<std::shared_ptr<DeviceActivation>>& devices) {
    std::vector<std::string> names;
    for (const auto& d : devices) {
        std::string name;
        EXPECT_EQ(d->GetAllocatedString(DeviceString::FriendlyName, name), HR_S_OK);
        names.push_back(name);
    }
    return names;
}

bool SameFormat(const SvFormat& a, const SvFormat& b) {
    return a.mediatypeIdx == b.mediatypeIdx && a.width == b.width && a.height == b.height &&
           a.framerate == b.framerate && a.format == b.format;
}

SvFormat Format(uint8_t index, uint16_t w, uint16_t h, uint16_t rate, SV_IMAGE_FORMAT format) {
    SvFormat f;
    f.mediatypeIdx = index;
    f.width = w;
    f.height = h;
    f.framerate = rate;
    f.format = format;
    return f;
}

class LinuxBackendTest : public ::testing::Test {
protected:
    void Install(std::vector<FakeNode> nodes) {
        kernel_ = std::make_shared<FakeKernel>(std::move(nodes));
        backend_ = v4l2::CreateLinuxBackend(kernel_);
        SetBackendForTesting(backend_);
    }
    void TearDown() override { ResetBackend(); }
    // `nodes` installed; the format list of the first camera the camera
    // list finds among them.
    void FirstCameraFormats(std::vector<FakeNode> nodes, std::vector<SvFormat>& formats) {
        Install(std::move(nodes));
        PlatformCameraListWin list(Families());
        std::vector<CameraDeviceInfo> records;
        ASSERT_EQ(list.GetDeviceList(records), 0);
        ASSERT_FALSE(records.empty());
        UVCCameraStreamerWin streamer(records[0], list.GetActivation(0));
        ASSERT_TRUE(streamer.Initialised());
        ASSERT_EQ(streamer.GetFormatList(formats), 0);
    }
    static void ExpectFormats(const std::vector<SvFormat>& formats, const std::vector<SvFormat>& expected) {
        ASSERT_EQ(formats.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_TRUE(SameFormat(formats[i], expected[i])) << i;
    }

    std::shared_ptr<FakeKernel> kernel_;
    std::shared_ptr<Backend> backend_;
};

TEST_F(LinuxBackendTest, ListsCaptureNodesInNodeNumberOrder) {
    // Written out of order: the directory order of sysfs is no order at all.
    Install({PlainWebcam(), KivoMetadata(), PlatformCamera(), KivoCamera()});
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    ASSERT_EQ(backend_->EnumDeviceSources(devices), HR_S_OK);
    EXPECT_EQ(Names(devices), (std::vector<std::string>{"See KIVO 4K camera", "Board camera", "Plain Webcam"}));
    std::string link;
    ASSERT_EQ(devices[0]->GetAllocatedString(DeviceString::SymbolicLink, link), HR_S_OK);
    EXPECT_EQ(link, "\\\\?\\usb#vid_2c5c&pid_0103&mi_00#BUS1&PORT2.1&MI_00#video0\\global");
    // A camera that is not on USB is named by its driver and bus, not as a USB device.
    ASSERT_EQ(devices[1]->GetAllocatedString(DeviceString::SymbolicLink, link), HR_S_OK);
    EXPECT_EQ(link, "\\\\?\\v4l2#BOARD-CAM#PLATFORM:BOARD-CAM.0#video2\\global");
    EXPECT_EQ(kernel_->OpenCount(), 0u);
}

TEST_F(LinuxBackendTest, MetadataOutputAndMemoryToMemoryNodesAreLeftOut) {
    Install({KivoMetadata(), VividNode("video3", kOutput), VividNode("video4", V4L2_CAP_VIDEO_M2M | V4L2_CAP_STREAMING),
             VividNode("video5", V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_STREAMING),
             VividNode("video6", V4L2_CAP_VIDEO_CAPTURE_MPLANE | V4L2_CAP_VIDEO_OUTPUT_MPLANE | V4L2_CAP_VIDEO_M2M_MPLANE |
                                     V4L2_CAP_STREAMING),
             VividNode("video7", kMetadata)});
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    ASSERT_EQ(backend_->EnumDeviceSources(devices), HR_S_OK);
    EXPECT_TRUE(devices.empty());
    EXPECT_TRUE(backend_->UnlistedDevices().empty());
    // Each node is asked once, on USB or not, and closed again.
    const std::string dev = kernel_->DevRoot();
    EXPECT_EQ(kernel_->Opened(), (std::vector<std::string>{dev + "/video1", dev + "/video3", dev + "/video4",
                                                           dev + "/video5", dev + "/video6", dev + "/video7"}));
    EXPECT_EQ(kernel_->OpenCount(), 0u);
}

TEST(LinuxVideoNodes, OnlyNodesThatCaptureVideoAndNothingElseAreCameras) {
    EXPECT_TRUE(v4l2::IsCaptureNode(V4L2_CAP_VIDEO_CAPTURE));
    EXPECT_TRUE(v4l2::IsCaptureNode(V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING));
    EXPECT_FALSE(v4l2::IsCaptureNode(V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING));
    EXPECT_FALSE(v4l2::IsCaptureNode(V4L2_CAP_VIDEO_CAPTURE_MPLANE | V4L2_CAP_STREAMING));
    EXPECT_FALSE(v4l2::IsCaptureNode(V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_OUTPUT));
    EXPECT_FALSE(v4l2::IsCaptureNode(V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_OUTPUT_MPLANE));
    EXPECT_FALSE(v4l2::IsCaptureNode(V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_M2M));
    EXPECT_FALSE(v4l2::IsCaptureNode(V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_M2M_MPLANE));
}

TEST_F(LinuxBackendTest, AVirtualDriversCameraIsAGenericCameraWithoutUsbFacts) {
    // vivid as it loads with two instances: per instance a capture, an output
    // and a metadata node; and a USB camera with its metadata node beside them.
    Install({VividNode("video0", kCapture, 0), VividNode("video1", kOutput, 0), VividNode("video2", kMetadata, 0),
             VividNode("video3", kCapture, 1), VividNode("video4", kOutput, 1),
             [] { FakeNode c = KivoCamera(); c.name = "video5"; return c; }(),
             [] { FakeNode m = KivoMetadata(); m.name = "video6"; return m; }()});
    // The family lists name the virtual camera too: its name decides, its bus does not.
    sv::ConfigMap families;
    sv::ParseConfigText("[KIVO]\nproducts = KIVO\n[LIRA]\nproducts = vivid\n", families);
    PlatformCameraListWin list(families);
    std::vector<CameraDeviceInfo> records;
    ASSERT_EQ(list.GetDeviceList(records), 0);
    ASSERT_EQ(records.size(), 3u);

    for (std::size_t i : {0u, 1u}) {
        SCOPED_TRACE(i);
        EXPECT_EQ(records[i].deviceName, "vivid");
        EXPECT_EQ(records[i].interfaceType, SV_CAMERA_INTERFACE_USB);
        EXPECT_EQ(records[i].productType, 2);
        EXPECT_EQ(records[i].hardwareId, "");
        EXPECT_EQ(records[i].vendorId, 0);
        EXPECT_EQ(records[i].productId, 0);
        EXPECT_EQ(records[i].serialNumber, "");
        EXPECT_EQ(records[i].devicePath.find("usb"), std::string::npos) << records[i].devicePath;
    }
    // Each instance has a link of its own (the device lock is keyed by it).
    EXPECT_EQ(records[0].devicePath, "\\\\?\\v4l2#VIVID#PLATFORM:VIVID-000#video0\\global");
    EXPECT_EQ(records[1].devicePath, "\\\\?\\v4l2#VIVID#PLATFORM:VIVID-001#video3\\global");
    EXPECT_EQ(records[2].hardwareId, "vid_2c5c&pid_0103");
    EXPECT_EQ(records[2].serialNumber, "KV000123");

    // It streams like any camera.
    UVCCameraStreamerWin streamer(records[1], list.GetActivation(1));
    ASSERT_TRUE(streamer.Initialised());
    std::vector<SvFormat> formats;
    ASSERT_EQ(streamer.GetFormatList(formats), 0);
    ASSERT_EQ(formats.size(), 1u);
    EXPECT_TRUE(SameFormat(formats[0], Format(0, 320, 180, 25, SV_IMAGE_FORMAT_YUY2)));
    // No USB descriptors: no units to reach, as for a USB camera without any.
    std::shared_ptr<MediaSource> source;
    ASSERT_EQ(list.GetActivation(1)->ActivateObject(source), HR_S_OK);
    std::shared_ptr<KsTopologyInfo> topology;
    EXPECT_EQ(source->QueryTopologyInfo(topology), HR_E_NOINTERFACE);
    EXPECT_FALSE(topology);
    source.reset();
    EXPECT_EQ(list.GetActivation(1)->ShutdownObject(), HR_S_OK);
}

// The library as an application sees it, with the families of the shipped
// configuration, over the Linux back-end.
class LinuxPublicInterfaceTest : public LinuxBackendTest {
protected:
    void SetUp() override {
        sv::test::SetEnv("SORVANSDK_CONFIG_PATH", SORVANSDK_SOURCE_DIR "/config");
        sv::ResetCameraManagerForTesting();
    }
    void TearDown() override {
        sv::ResetCameraManagerForTesting();
        sv::test::UnsetEnv("SORVANSDK_CONFIG_PATH");
        LinuxBackendTest::TearDown();
    }
};

TEST_F(LinuxPublicInterfaceTest, AVirtualCameraIsListedOpenedAndStreamedWithoutUsbFacts) {
    FakeNode kivo = KivoCamera();
    kivo.name = "video4";
    Install({VividNode("video0", kCapture), VividNode("video1", kOutput), VividNode("video2", kMetadata), kivo});

    std::vector<std::string> names;
    ASSERT_EQ(SvDiscoverCameraDevices(names), 2);
    EXPECT_EQ(names, (std::vector<std::string>{"vivid", "See KIVO 4K camera-00123"}));

    auto camera = SvInitialCameraDevice(0);
    ASSERT_TRUE(camera);
    std::string text = "x";
    EXPECT_EQ(SvGetHardwareID(camera, text), -1) << "no hardware id to report";
    EXPECT_EQ(text, "");
    EXPECT_EQ(SvGetDevicePath(camera, text), 0);
    EXPECT_EQ(text, "\\\\?\\v4l2#VIVID#PLATFORM:VIVID-000#video0\\global");
    SV_CAMERA_PRODUCT_TYPE product = SV_PRODUCT_TYPE_NONE;
    EXPECT_EQ(SvGetDeviceProductType(camera, product), 0);
    EXPECT_EQ(product, SV_PRODUCT_TYPE_UVC);
    // No USB device to walk to: no speed.
    SV_USB_DEVICE_SPEED speed = SV_USB_SUPER_SPEED;
    EXPECT_EQ(SvGetUSBDeviceSpeed(camera, speed), -1);

    ASSERT_EQ(SvOpen(camera), 0);
    std::vector<SvFormat> formats;
    ASSERT_EQ(SvGetFormatList(camera, formats), 0);
    ASSERT_EQ(formats.size(), 1u);
    EXPECT_TRUE(SameFormat(formats[0], Format(0, 320, 180, 25, SV_IMAGE_FORMAT_YUY2)));
    ASSERT_EQ(SvSetFormat(camera, formats[0]), 0);
    ASSERT_EQ(SvStartStreaming(camera), 0);
    std::vector<uint8_t> frame(320 * 180 * 2);
    int size = 0;
    EXPECT_EQ(SvGetImage(camera, frame.data(), &size, 1000), SV_CAPTURE_SUCCESS);
    EXPECT_EQ(size, 320 * 180 * 2);
    EXPECT_EQ(SvStopStreaming(camera), 0);
    EXPECT_EQ(SvClose(camera), 0);
    camera.reset();

    // The earlier interface lists it as a device that is not on USB, and opens it.
    SorvanCam legacy;
    std::vector<DeviceListData> list;
    ASSERT_EQ(legacy.GetVideoDeviceListWithLocation(list), 0);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].deviceName, L"vivid");
    EXPECT_EQ(list[0].devicePath, L"");
    EXPECT_EQ(list[0].serialNumber, "");
    EXPECT_EQ(list[1].serialNumber, "KV000123");
    ASSERT_EQ(legacy.Open(0), 0);
    std::vector<SzFormat> legacyFormats;
    EXPECT_EQ(legacy.GetCaptureFormatList(legacyFormats), 0);
    EXPECT_EQ(legacyFormats.size(), 1u);
    EXPECT_EQ(legacy.Close(), 0);
}

std::size_t Count(const std::string& text, const std::string& needle) {
    std::size_t n = 0;
    for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}

// A driver with 300 native types (one format in 300 sizes): more than a
// format index can name.
FakeNode ManyTypesCamera() {
    FakeNode n = PlainWebcam();
    FakeFormat yuyv{V4L2_PIX_FMT_YUYV, false, {}};
    for (uint32_t k = 0; k < 300; ++k) yuyv.sizes.push_back({16 * (k + 1), 16, {{1, 30}}});
    n.formats = {yuyv};
    return n;
}

TEST_F(LinuxBackendTest, MoreNativeTypesThanAnIndexNamesListTheFirstOnesWithOneWarning) {
    Install({ManyTypesCamera()});
    PlatformCameraListWin list(Families());
    std::vector<CameraDeviceInfo> records;
    ASSERT_EQ(list.GetDeviceList(records), 0);
    ASSERT_EQ(records.size(), 1u);
    UVCCameraStreamerWin streamer(records[0], list.GetActivation(0));
    ASSERT_TRUE(streamer.Initialised());

    sv::test::LogCapture log;
    std::vector<SvFormat> formats;
    ASSERT_EQ(streamer.GetFormatList(formats), 0);
    ASSERT_EQ(formats.size(), 256u);
    for (uint32_t k = 0; k < 256; ++k) {
        ASSERT_TRUE(SameFormat(formats[k], Format(static_cast<uint8_t>(k), static_cast<uint16_t>(16 * (k + 1)), 16, 30,
                                                  SV_IMAGE_FORMAT_YUY2)))
            << k;
    }
    const std::string text = log.Text();
    EXPECT_EQ(Count(text, "left out of the format list"), 1u) << text;
    EXPECT_NE(text.find("[warning] [UVCCameraStreamerWin::GetFormatList]["), std::string::npos) << text;
    EXPECT_NE(text.find("The device offers 300 native types; a format index names the first 256, the other 44 are "
                        "left out of the format list"),
              std::string::npos)
        << text;
    // The last one named is a format like any other.
    EXPECT_EQ(streamer.SetFormat(formats[255]), 0);
}

TEST_F(LinuxBackendTest, TheEarlierInterfaceListsTheFirstNameableTypesWithOneWarningToo) {
    Install({ManyTypesCamera()});
    auto lines = sv::test::LegacyLines::Shared();
    (void)lines->Settle();
    SorvanCam legacy;
    ASSERT_EQ(legacy.Open(0), 0);
    std::vector<SzFormat> formats;
    ASSERT_EQ(legacy.GetCaptureFormatList(formats), 0);
    ASSERT_EQ(formats.size(), 256u);
    EXPECT_EQ(formats[0].mediatypeIdx, 0);
    EXPECT_EQ(formats[0].width, 16);
    EXPECT_EQ(formats[255].mediatypeIdx, 255);
    EXPECT_EQ(formats[255].width, 16 * 256);
    EXPECT_EQ(formats[255].format, SV_IMAGE_FORMAT_YUY2);

    std::vector<std::string> warnings;
    for (const std::string& line : lines->Settle()) {
        if (line.find("left out of the format list") != std::string::npos) warnings.push_back(line);
    }
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].rfind("[SorvanCam::EnumerateTypesForStream][", 0), 0u) << warnings[0];
    EXPECT_NE(warnings[0].find("] The device offers 300 native types; a format index names the first 256, the other 44 "
                               "are left out of the format list"),
              std::string::npos)
        << warnings[0];
    EXPECT_EQ(legacy.Close(), 0);
}

// A UVC camera as the kernel shows it: the node's device link is the
// VideoControl interface, which has no serial; the USB device above it has.
TEST_F(LinuxPublicInterfaceTest, TheUsbSerialComesFromTheDeviceAboveTheNodesInterface) {
    FakeNode webcam = PlainWebcam();
    webcam.name = "video0";
    webcam.serial = "SIMGFS01";
    FakeNode webcamMeta = webcam;
    webcamMeta.name = "video1";
    webcamMeta.deviceCaps = kMetadata;
    FakeNode kivo = KivoCamera();
    kivo.name = "video2";
    kivo.serial = "SIMGFS01";
    kivo.devpath = "3";
    FakeNode bare = PlainWebcam();  // no serial string: no `serial` attribute
    bare.name = "video4";
    bare.serial.clear();
    bare.devpath = "5";
    bare.productId = 0x0826;
    Install({webcam, webcamMeta, kivo, bare});

    namespace fs = std::filesystem;
    const fs::path entry = fs::path(kernel_->SysfsRoot()) / "class" / "video4linux" / "video0";
    ASSERT_TRUE(fs::is_symlink(entry));
    const fs::path interfaceFolder = fs::canonical(entry / "device");
    EXPECT_EQ(interfaceFolder.filename(), "3-4:1.2");
    EXPECT_FALSE(fs::exists(interfaceFolder / "serial"));
    EXPECT_EQ(sv::test::ReadFile((interfaceFolder.parent_path() / "serial").string()), "SIMGFS01\n");
    EXPECT_EQ(sv::test::ReadFile((interfaceFolder.parent_path() / "speed").string()), "480\n");

    PlatformCameraListWin list(Families());
    std::vector<CameraDeviceInfo> records;
    ASSERT_EQ(list.GetDeviceList(records), 0);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].serialNumber, "SIMGFS01");
    EXPECT_EQ(records[1].serialNumber, "SIMGFS01");
    EXPECT_EQ(records[2].serialNumber, "");

    // The display name carries the serial's end for the maker's cameras only.
    std::vector<std::string> names;
    ASSERT_EQ(SvDiscoverCameraDevices(names), 3);
    EXPECT_EQ(names, (std::vector<std::string>{"Plain Webcam", "See KIVO 4K camera-GFS01", "Plain Webcam"}));
    // The device list with location carries every serial whole.
    SorvanCam legacy;
    std::vector<DeviceListData> located;
    ASSERT_EQ(legacy.GetVideoDeviceListWithLocation(located), 0);
    ASSERT_EQ(located.size(), 3u);
    EXPECT_EQ(located[0].serialNumber, "SIMGFS01");
    EXPECT_EQ(located[1].serialNumber, "SIMGFS01");
    EXPECT_EQ(located[2].serialNumber, "");
    EXPECT_EQ(located[0].devicePath, L"\\\\?\\usb#vid_046d&pid_0825&mi_02#BUS3&PORT4&MI_02#video0\\global");
}

TEST_F(LinuxBackendTest, ALinkOffUsbKeepsToItsOwnCharactersAndNeverReadsAsUsb) {
    // Texts of a driver that hold separators, blanks and "usb".
    FakeNode odd = VividNode("video0", kCapture);
    odd.driver = "usbcam bridge";
    odd.busInfo = "platform:usb#phy\\0";
    // A driver that names no bus: the device sysfs shows stands in.
    FakeNode quiet = VividNode("video1", kCapture);
    quiet.platformDevice = "csi-cam.2";
    quiet.noBusInfo = true;
    quiet.driver = "csi";
    Install({odd, quiet});
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    ASSERT_EQ(backend_->EnumDeviceSources(devices), HR_S_OK);
    ASSERT_EQ(devices.size(), 2u);
    std::string link;
    ASSERT_EQ(devices[0]->GetAllocatedString(DeviceString::SymbolicLink, link), HR_S_OK);
    EXPECT_EQ(link, "\\\\?\\v4l2#USBCAM_BRIDGE#PLATFORM:USB_PHY_0#video0\\global");
    EXPECT_EQ(HardwareIdFromDevicePath(link), "");
    ASSERT_EQ(devices[1]->GetAllocatedString(DeviceString::SymbolicLink, link), HR_S_OK);
    EXPECT_EQ(link, "\\\\?\\v4l2#CSI#CSI-CAM.2#video1\\global");
}

TEST_F(LinuxBackendTest, ANodeThatCannotBeOpenedIsLeftOut) {
    FakeNode locked = PlainWebcam();
    locked.openFails = true;
    Install({KivoCamera(), locked});
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    ASSERT_EQ(backend_->EnumDeviceSources(devices), HR_S_OK);
    EXPECT_EQ(Names(devices), (std::vector<std::string>{"See KIVO 4K camera"}));
}

TEST_F(LinuxBackendTest, ANodeThatCannotBeOpenedIsNamedWithItsReason) {
    FakeNode locked = PlainWebcam();
    locked.openFails = true;  // EACCES: not in the video group, no udev rule
    Install({KivoCamera(), KivoMetadata(), locked});
    sv::test::LogCapture log;
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    ASSERT_EQ(backend_->EnumDeviceSources(devices), HR_S_OK);
    EXPECT_EQ(Names(devices), (std::vector<std::string>{"See KIVO 4K camera"}));

    // The metadata node is no camera and is not among the unlisted ones.
    const std::string path = kernel_->DevRoot() + "/video10";
    const auto unlisted = backend_->UnlistedDevices();
    ASSERT_EQ(unlisted.size(), 1u);
    EXPECT_EQ(unlisted[0].device, path);
    EXPECT_EQ(unlisted[0].reason, std::strerror(EACCES));
    EXPECT_TRUE(unlisted[0].accessDenied);
    const std::string text = log.Text();
    EXPECT_NE(text.find("[warning] [v4l2::EnumerateVideoNodes]["), std::string::npos) << text;
    EXPECT_NE(text.find(path + " is not listed: it cannot be opened (" + std::strerror(EACCES) +
                        "); the video group or the udev rule gives access"),
              std::string::npos)
        << text;

    // The same through the public interface, which a tool asks.
    std::vector<SvUnlistedDevice> reported;
    ASSERT_EQ(SvGetUnlistedCameraDevices(reported), 1);
    EXPECT_EQ(reported[0].device, path);
    EXPECT_EQ(reported[0].reason, std::strerror(EACCES));
    EXPECT_TRUE(reported[0].accessDenied);

    // Readable again: listed, and nothing is left out any more.
    Install({KivoCamera(), KivoMetadata(), PlainWebcam()});
    ASSERT_EQ(backend_->EnumDeviceSources(devices), HR_S_OK);
    EXPECT_EQ(devices.size(), 2u);
    EXPECT_TRUE(backend_->UnlistedDevices().empty());
    EXPECT_EQ(SvGetUnlistedCameraDevices(reported), 0);
    EXPECT_TRUE(reported.empty());
}

TEST_F(LinuxBackendTest, NoVideoClassMeansNoDevices) {
    Install({});
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    EXPECT_EQ(backend_->EnumDeviceSources(devices), HR_S_OK);
    EXPECT_TRUE(devices.empty());
}

TEST_F(LinuxBackendTest, ACardFillingItsFieldIsReadToTheFieldEnd) {
    FakeNode n = VividNode("video0", V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING);
    n.card = std::string(40, 'K');
    Install({n});
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    ASSERT_EQ(backend_->EnumDeviceSources(devices), HR_S_OK);
    EXPECT_EQ(Names(devices), (std::vector<std::string>{std::string(32, 'K')}));
}

// uvcvideo's card adds the video function's interface string to the
// product and cuts the whole at 31 characters; the camera keeps the name
// the device gives itself.
TEST_F(LinuxBackendTest, AUsbCameraIsNamedByItsProductStringNotByTheDriversCard) {
    FakeNode kivo = KivoCamera();
    kivo.product = "KIVO-AR0234 Camera";
    kivo.card = "KIVO-AR0234 Camera: KIVO-AR0234";
    FakeNode plain = PlainWebcam();
    plain.product = "";
    plain.card = "Plain Webcam";
    Install({kivo, plain});
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    ASSERT_EQ(backend_->EnumDeviceSources(devices), HR_S_OK);
    EXPECT_EQ(Names(devices), (std::vector<std::string>{"KIVO-AR0234 Camera", "Plain Webcam"}));
}

TEST_F(LinuxBackendTest, PlatformCameraListReadsIdsFamilyAndSerial) {
    Install({KivoCamera(), KivoMetadata(), PlainWebcam()});
    PlatformCameraListWin list(Families());
    std::vector<CameraDeviceInfo> records;
    ASSERT_EQ(list.GetDeviceList(records), 0);
    ASSERT_EQ(records.size(), 2u);

    EXPECT_EQ(records[0].index, 0);
    EXPECT_EQ(records[0].hardwareId, "vid_2c5c&pid_0103");
    EXPECT_EQ(records[0].vendorId, 0x2c5c);
    EXPECT_EQ(records[0].productId, 0x0103);
    EXPECT_EQ(records[0].productType, 3);  // KIVO
    EXPECT_EQ(records[0].serialNumber, "KV000123");

    EXPECT_EQ(records[1].index, 1);
    EXPECT_EQ(records[1].hardwareId, "vid_046d&pid_0825");
    EXPECT_EQ(records[1].vendorId, 0x046d);
    EXPECT_EQ(records[1].productId, 0x0825);
    EXPECT_EQ(records[1].productType, 1);  // generic
    EXPECT_EQ(records[1].serialNumber, "WEB42");
    EXPECT_NE(list.GetActivation(1), nullptr);
}

TEST_F(LinuxBackendTest, DeviceSetsComeFromSysfsWithoutOpeningNodes) {
    Install({KivoCamera(), KivoMetadata()});
    std::shared_ptr<DeviceInfoSet> devices;
    ASSERT_EQ(backend_->GetClassDevs(DeviceSetKind::UsbDeviceInterface, devices), HR_S_OK);
    ASSERT_EQ(devices->GetDeviceCount(), 2u);
    std::string id;
    std::string container;
    ASSERT_EQ(devices->GetDeviceInstanceId(0, id), HR_S_OK);
    EXPECT_EQ(id, "USB\\VID_2C5C&PID_0103\\KV000123");
    ASSERT_EQ(devices->GetContainerId(0, container), HR_S_OK);
    EXPECT_EQ(container, "1-2.1");
    EXPECT_EQ(devices->GetDeviceInstanceId(2, id), HR_ERROR_NO_MORE_ITEMS);

    std::shared_ptr<DeviceInfoSet> all;
    ASSERT_EQ(backend_->GetClassDevs(DeviceSetKind::UsbEnumerator, all), HR_S_OK);
    ASSERT_EQ(all->GetDeviceCount(), 4u);
    ASSERT_EQ(all->GetDeviceInstanceId(1, id), HR_S_OK);
    EXPECT_EQ(id, "USB\\VID_2C5C&PID_0103&MI_00\\BUS1&PORT2.1&MI_00");
    EXPECT_TRUE(kernel_->Opened().empty());
}

TEST_F(LinuxBackendTest, TwoCamerasOfOneModelKeepTheirOwnSerials) {
    FakeNode second = KivoCamera();
    second.name = "video4";
    second.serial = "KV000999";
    second.devpath = "3";
    Install({KivoCamera(), second});
    PlatformCameraListWin list(Families());
    std::vector<CameraDeviceInfo> records;
    ASSERT_EQ(list.GetDeviceList(records), 0);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].serialNumber, "KV000123");
    EXPECT_EQ(records[1].serialNumber, "KV000999");
}

TEST_F(LinuxBackendTest, StreamerFormatListIsWhatTheDeviceDeclares) {
    Install({KivoCamera(), PlainWebcam()});
    PlatformCameraListWin list(Families());
    std::vector<CameraDeviceInfo> records;
    ASSERT_EQ(list.GetDeviceList(records), 0);
    ASSERT_EQ(records.size(), 2u);

    UVCCameraStreamerWin streamer(records[0], list.GetActivation(0));
    ASSERT_TRUE(streamer.Initialised());
    std::vector<SvFormat> formats;
    ASSERT_EQ(streamer.GetFormatList(formats), 0);
    ExpectFormats(formats, {
        Format(0, 640, 480, 30, SV_IMAGE_FORMAT_YUY2),   Format(1, 640, 480, 15, SV_IMAGE_FORMAT_YUY2),
        Format(2, 1280, 720, 30, SV_IMAGE_FORMAT_YUY2),  Format(3, 1920, 1080, 60, SV_IMAGE_FORMAT_MJPG),
        Format(4, 1920, 1080, 29, SV_IMAGE_FORMAT_MJPG),
    });

    UVCCameraStreamerWin webcam(records[1], list.GetActivation(1));
    ASSERT_EQ(webcam.GetFormatList(formats), 0);
    ASSERT_EQ(formats.size(), 1u);
    EXPECT_TRUE(SameFormat(formats[0], Format(0, 320, 240, 25, SV_IMAGE_FORMAT_NV12)));
}

TEST_F(LinuxBackendTest, RangesAreListedByTheirEnds) {
    FakeNode n = PlainWebcam();
    n.formats = {{V4L2_PIX_FMT_UYVY, false, {{160, 120, {{1, 30}, {1, 5}}, true}, {640, 480, {{1, 15}}}}, true}};
    std::vector<SvFormat> formats;
    FirstCameraFormats({n}, formats);
    if (HasFatalFailure()) return;
    ExpectFormats(formats, {
        Format(0, 160, 120, 30, SV_IMAGE_FORMAT_UYVY),
        Format(1, 160, 120, 5, SV_IMAGE_FORMAT_UYVY),
        Format(2, 640, 480, 15, SV_IMAGE_FORMAT_UYVY),
    });
}

TEST_F(LinuxBackendTest, RangeEndsBeyondAFormatRecordAreLeftOutAndTheRestListed) {
    FakeNode n = PlainWebcam();
    n.formats = {
        // A continuous rate range from 1/100000 s (a rate no record carries) to 1 s.
        {V4L2_PIX_FMT_YUYV, false, {{640, 480, {{1, 100000}, {1, 1}}, true}}},
        // A size range up to 70000 x 70000.
        {V4L2_PIX_FMT_UYVY, false, {{16, 16, {{1, 30}}}, {70000, 70000, {{1, 30}}}}, true},
    };
    std::vector<SvFormat> formats;
    FirstCameraFormats({n}, formats);
    if (HasFatalFailure()) return;
    ExpectFormats(formats, {
        Format(0, 640, 480, 1, SV_IMAGE_FORMAT_YUY2),
        Format(1, 16, 16, 30, SV_IMAGE_FORMAT_UYVY),
    });
}

std::shared_ptr<SourceReader> ReaderOf(DeviceActivation& activation) {
    class NoCallback final : public SampleCallback {
    public:
        void OnReadSample(HResult, uint32_t, uint32_t, int64_t, const std::shared_ptr<Sample>&) override {}
        void OnFlush(uint32_t) override {}
    };
    std::shared_ptr<MediaSource> source;
    EXPECT_EQ(activation.ActivateObject(source), HR_S_OK);
    std::shared_ptr<SourceReader> reader;
    EXPECT_EQ(source->CreateSourceReader(std::make_shared<NoCallback>(), reader), HR_S_OK);
    return reader;
}

TEST_F(LinuxBackendTest, NativeTypesCarryTheAttributesTheTextParserReads) {
    Install({KivoCamera()});
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    ASSERT_EQ(backend_->EnumDeviceSources(devices), HR_S_OK);
    auto reader = ReaderOf(*devices[0]);
    ASSERT_TRUE(reader);

    std::shared_ptr<MediaType> yuyv;
    ASSERT_EQ(reader->GetNativeMediaType(mf::MF_SOURCE_READER_FIRST_VIDEO_STREAM, 0, yuyv), HR_S_OK);
    Guid subtype;
    ASSERT_EQ(yuyv->GetGUID(mf::MF_MT_SUBTYPE, subtype), HR_S_OK);
    EXPECT_EQ(subtype, mf::MFVideoFormat_YUY2);
    uint64_t size = 0;
    ASSERT_EQ(yuyv->GetUINT64(mf::MF_MT_FRAME_SIZE, size), HR_S_OK);
    EXPECT_EQ(size, PackPair(640, 480));
    uint32_t stride = 0;
    ASSERT_EQ(yuyv->GetUINT32(mf::MF_MT_DEFAULT_STRIDE, stride), HR_S_OK);
    EXPECT_EQ(stride, 1280u);

    // An interval of 1001/30000 s is a rate of 30000/1001.
    std::shared_ptr<MediaType> ntsc;
    ASSERT_EQ(reader->GetNativeMediaType(0, 4, ntsc), HR_S_OK);
    const std::string text = GetMediaTypeDescriptions(ntsc.get());
    EXPECT_NE(text.find("MF_MT_FRAME_RATE=30000/1001"), std::string::npos) << text;
    EXPECT_NE(text.find("MF_MT_SUBTYPE=MFVideoFormat_MJPG"), std::string::npos) << text;
    EXPECT_EQ(text.find("MF_MT_DEFAULT_STRIDE"), std::string::npos) << text;

    std::shared_ptr<MediaType> none;
    EXPECT_EQ(reader->GetNativeMediaType(0, 5, none), HR_MF_E_NO_MORE_TYPES);
    EXPECT_EQ(reader->GetNativeMediaType(1, 0, none), HR_MF_E_INVALIDSTREAMNUMBER);
    EXPECT_EQ(kernel_->OpenCount(), 0u);
}

TEST(LinuxVideoNodes, PixelFormatsKeepTheirFourCharactersButYuyvIsYuy2) {
    EXPECT_EQ(v4l2::SubtypeForPixelFormat(V4L2_PIX_FMT_YUYV), mf::MFVideoFormat_YUY2);
    EXPECT_EQ(v4l2::SubtypeForPixelFormat(V4L2_PIX_FMT_UYVY), mf::MFVideoFormat_UYVY);
    EXPECT_EQ(v4l2::SubtypeForPixelFormat(V4L2_PIX_FMT_NV12), mf::MFVideoFormat_NV12);
    EXPECT_EQ(v4l2::SubtypeForPixelFormat(V4L2_PIX_FMT_MJPEG), mf::MFVideoFormat_MJPG);
    EXPECT_EQ(v4l2::SubtypeForPixelFormat(V4L2_PIX_FMT_GREY), mf::FourCcSubtype(mf::FourCc('G', 'R', 'E', 'Y')));
}

TEST_F(LinuxBackendTest, NoControlsAndNoDescriptorsAreNoInterface) {
    Install({KivoCamera()});
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    ASSERT_EQ(backend_->EnumDeviceSources(devices), HR_S_OK);
    std::shared_ptr<MediaSource> source;
    ASSERT_EQ(devices[0]->ActivateObject(source), HR_S_OK);

    std::shared_ptr<UvcControlInterface> controls;
    EXPECT_EQ(source->QueryVideoProcAmp(controls), HR_E_NOINTERFACE);
    EXPECT_EQ(source->QueryCameraControl(controls), HR_E_NOINTERFACE);
    EXPECT_FALSE(controls);
    std::shared_ptr<KsTopologyInfo> topology;
    EXPECT_EQ(source->QueryTopologyInfo(topology), HR_E_NOINTERFACE);
    EXPECT_FALSE(topology);
}

TEST_F(LinuxBackendTest, AnActivationKeepsItsSourceUntilShutdown) {
    Install({KivoCamera()});
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    ASSERT_EQ(backend_->EnumDeviceSources(devices), HR_S_OK);
    std::shared_ptr<MediaSource> first;
    std::shared_ptr<MediaSource> again;
    ASSERT_EQ(devices[0]->ActivateObject(first), HR_S_OK);
    ASSERT_EQ(devices[0]->ActivateObject(again), HR_S_OK);
    EXPECT_EQ(first, again);
    ASSERT_EQ(devices[0]->ShutdownObject(), HR_S_OK);
    ASSERT_EQ(devices[0]->ActivateObject(again), HR_S_OK);
    EXPECT_NE(first, again);
}

TEST(LinuxBackendSelection, TheNativeBackEndIsTheLinuxOne) {
    EXPECT_TRUE(v4l2::LinuxBackendRegistered());
    const auto native = CreateNativeBackend();
    const auto linuxBackend = v4l2::CreateLinuxBackend(v4l2::RealSysCalls());
    const auto empty = CreateEmptyNativeBackend();
    const Backend& n = *native;
    const Backend& l = *linuxBackend;
    const Backend& e = *empty;
    EXPECT_EQ(typeid(n), typeid(l));
    EXPECT_NE(typeid(n), typeid(e));
    EXPECT_EQ(n.Name(), "native");
}

}  // namespace
