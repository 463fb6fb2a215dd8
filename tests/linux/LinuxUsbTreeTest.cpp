// The USB half of the Linux back-end from the fake kernel's sysfs: root hubs
// as host controllers, hubs on the way, port records with speeds, and the
// library's own walk finding the speed of cameras behind hubs.

#include <linux/videodev2.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "linux/FakeKernel.h"
#include "platform/USBView.h"
#include "platform/backend/Backend.h"
#include "platform/linux/LinuxBackend.h"
#include "platform/linux/UsbTree.h"

namespace {

using namespace sv::platform;
using sv::test::FakeKernel;
using sv::test::FakeNode;

FakeNode Node(const char* name, uint16_t product, uint32_t bus, const char* devpath, const char* speed,
              const char* version) {
    FakeNode n;
    n.name = name;
    n.card = std::string("Cam ") + name;
    n.deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    n.vendorId = 0x2c5c;
    n.productId = product;
    n.serial = std::string("SN-") + name;
    n.busnum = bus;
    n.devpath = devpath;
    n.speed = speed;
    n.version = version;
    n.formats = {{V4L2_PIX_FMT_YUYV, false, {{640, 480, {{1, 30}}}}}};
    return n;
}

class LinuxUsbTreeTest : public ::testing::Test {
protected:
    void Install(std::vector<FakeNode> nodes) {
        kernel_ = std::make_shared<FakeKernel>(std::move(nodes));
        backend_ = v4l2::CreateLinuxBackend(kernel_);
    }
    std::shared_ptr<FakeKernel> kernel_;
    std::shared_ptr<Backend> backend_;
};

TEST(LinuxUsbSpeed, SysfsSpeedsMapToSpeedCodes) {
    EXPECT_EQ(v4l2::SpeedCodeOf("1.5"), UsbLowSpeed);
    EXPECT_EQ(v4l2::SpeedCodeOf("12"), UsbFullSpeed);
    EXPECT_EQ(v4l2::SpeedCodeOf("480"), UsbHighSpeed);
    EXPECT_EQ(v4l2::SpeedCodeOf("5000"), UsbSuperSpeed);
    EXPECT_EQ(v4l2::SpeedCodeOf("10000"), UsbSuperSpeed);
    EXPECT_EQ(v4l2::SpeedCodeOf(""), UsbLowSpeed);
}

TEST_F(LinuxUsbTreeTest, RootHubsAreHostControllersInBusOrder) {
    Install({Node("video0", 0x0103, 3, "1", "480", " 2.00"), Node("video2", 0x0104, 1, "2", "480", " 2.00")});
    std::shared_ptr<UsbHostController> hc;
    ASSERT_EQ(backend_->OpenHostController(0, hc), HR_S_OK);
    std::string name;
    ASSERT_EQ(hc->GetRootHubName(name), HR_S_OK);
    EXPECT_EQ(name, "usb1");
    ASSERT_EQ(hc->GetDriverKeyName(name), HR_S_OK);
    EXPECT_EQ(name, "0000:00:14.0");
    ASSERT_EQ(backend_->OpenHostController(1, hc), HR_S_OK);
    ASSERT_EQ(hc->GetRootHubName(name), HR_S_OK);
    EXPECT_EQ(name, "usb3");
    EXPECT_EQ(backend_->OpenHostController(2, hc), HR_ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(hc);
}

TEST_F(LinuxUsbTreeTest, HubPortsDescribeTheirDevices) {
    Install({Node("video0", 0x0103, 1, "2.3", "5000", " 3.20")});
    std::shared_ptr<UsbHub> root;
    ASSERT_EQ(backend_->OpenHub("\\\\.\\usb1", root), HR_S_OK);
    UsbConnectionInfo info;
    ASSERT_EQ(root->GetNodeConnectionInformation(2, info), HR_S_OK);
    EXPECT_TRUE(info.connected);
    EXPECT_TRUE(info.isHub);
    ASSERT_EQ(root->GetNodeConnectionInformation(1, info), HR_S_OK);
    EXPECT_FALSE(info.connected);
    EXPECT_EQ(root->GetNodeConnectionInformation(0, info), HR_E_INVALIDARG);
    EXPECT_EQ(root->GetNodeConnectionInformation(9, info), HR_E_INVALIDARG);
    std::string child;
    ASSERT_EQ(root->GetNodeConnectionName(2, child), HR_S_OK);
    EXPECT_EQ(child, "1-2");
    EXPECT_EQ(root->GetNodeConnectionName(1, child), HR_E_INVALIDARG);

    std::shared_ptr<UsbHub> hub;
    ASSERT_EQ(backend_->OpenHub("\\\\.\\" + child, hub), HR_S_OK);
    ASSERT_EQ(hub->GetNodeConnectionInformation(3, info), HR_S_OK);
    EXPECT_TRUE(info.connected);
    EXPECT_FALSE(info.isHub);
    EXPECT_EQ(info.vendorId, 0x2c5c);
    EXPECT_EQ(info.productId, 0x0103);
    EXPECT_EQ(info.bcdUsb, 0x0320);
    EXPECT_EQ(info.speed, UsbHighSpeed);  // the plain record cannot tell SuperSpeed
    ASSERT_EQ(hub->GetNodeConnectionInformationEx(3, info), HR_S_OK);
    EXPECT_EQ(info.speed, UsbSuperSpeed);
    UsbConnectionInfoV2 v2;
    ASSERT_EQ(hub->GetNodeConnectionInformationExV2(3, kUsbProtocol300, v2), HR_S_OK);
    EXPECT_EQ(v2.supportedProtocols, kUsbProtocol300);
    EXPECT_NE(v2.flags & kUsbOperatingAtSuperSpeedOrHigher, 0u);
    EXPECT_EQ(v2.flags & kUsbOperatingAtSuperSpeedPlusOrHigher, 0u);

    // The serial string as the device gives it.
    std::vector<uint8_t> text;
    ASSERT_EQ(hub->GetStringDescriptor(3, info.serialIndex, 0x0409, 255, text), HR_S_OK);
    std::vector<uint8_t> expected = {2 + 2 * 9, 3};
    for (char c : std::string("SN-video0")) expected.insert(expected.end(), {static_cast<uint8_t>(c), 0});
    EXPECT_EQ(text, expected);
    ASSERT_EQ(hub->GetStringDescriptor(3, info.serialIndex, 0x0409, 4, text), HR_S_OK);
    EXPECT_EQ(text.size(), 4u);  // cut to the length asked for
    std::vector<uint8_t> config;
    ASSERT_EQ(hub->GetConfigurationDescriptor(3, 9, config), HR_S_OK);
    ASSERT_EQ(config.size(), 9u);
    EXPECT_EQ(config[1], 0x02);
    EXPECT_EQ(backend_->OpenHub("\\\\.\\1-2.3", hub), HR_ERROR_FILE_NOT_FOUND);  // a camera is no hub
    EXPECT_EQ(backend_->OpenHub("\\\\.\\..", hub), HR_ERROR_FILE_NOT_FOUND);
}

TEST_F(LinuxUsbTreeTest, TheWalkFindsEachCamerasSpeedBehindHubs) {
    Install({Node("video0", 0x0103, 1, "2.1.4", "5000", " 3.20"), Node("video2", 0x0104, 2, "3", "480", " 2.00"),
             Node("video4", 0x0105, 1, "1", "12", " 1.10")});
    const auto speedOf = [this](uint16_t product) {
        UsbPortInfo info;
        info.vendorId = 0x2c5c;
        info.productId = product;
        EXPECT_FALSE(USBView(backend_).EnumerateHostControllers(info));  // ends after the last controller
        return info.speedName;
    };
    EXPECT_EQ(speedOf(0x0103), "SuperSpeed");
    EXPECT_EQ(speedOf(0x0104), "HighSpeed");
    EXPECT_EQ(speedOf(0x0105), "FullSpeed");
    EXPECT_EQ(speedOf(0x0999), "");
    EXPECT_EQ(kernel_->OpenCount(), 0u);
}

}  // namespace
