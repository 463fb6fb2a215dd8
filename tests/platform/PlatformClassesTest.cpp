// The platform classes above the seam: media-type text and its parse, the
// hardware id cut, the USB speed walk, the serial lookup and the devices'
// transaction locks.

#include <gtest/gtest.h>

#include "platform/DeviceLock.h"
#include "platform/MediaTypeText.h"
#include "platform/PlatformCameraList.h"
#include "platform/USBView.h"
#include "platform/backend/MfIds.h"
#include "platform/sim/SimBackend.h"

using namespace sv::platform;

namespace {

MediaType YuyvType(uint32_t w, uint32_t h, uint32_t num, uint32_t den) {
    MediaType t;
    t.SetUINT64(mf::MF_MT_FRAME_SIZE, PackPair(w, h));
    t.SetGUID(mf::MF_MT_MAJOR_TYPE, mf::MFMediaType_Video);
    t.SetUINT64(mf::MF_MT_FRAME_RATE_RANGE_MAX, PackPair(60, 1));
    t.SetUINT64(mf::MF_MT_FRAME_RATE, PackPair(num, den));
    t.SetUINT64(mf::MF_MT_PIXEL_ASPECT_RATIO, PackPair(1, 1));
    t.SetGUID(mf::MF_MT_SUBTYPE, mf::MFVideoFormat_YUY2);
    t.SetUINT32(mf::MF_MT_INTERLACE_MODE, 2);
    t.SetDouble(Guid(0x11111111, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10), 1.5);
    t.SetString(Guid(0x22222222, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10), std::string(200, 'x'));
    t.SetBlob(mf::MF_MT_USER_DATA, {1, 2});
    return t;
}

TEST(MediaTypeTextTest, DescriptionListsEveryAttributeInOrder) {
    const MediaType t = YuyvType(640, 480, 30, 1);
    const std::string text = GetMediaTypeDescriptions(&t);
    EXPECT_EQ(text,
              "MFMediaType_Video: MF_MT_FRAME_SIZE=W:640 H: 480, MF_MT_MAJOR_TYPE=MFMediaType_Video, "
              "MF_MT_FRAME_RATE_RANGE_MAX=257698037761, MF_MT_FRAME_RATE=30/1, MF_MT_PIXEL_ASPECT_RATIO=1:1, "
              "MF_MT_SUBTYPE=MFVideoFormat_YUY2, MF_MT_INTERLACE_MODE=2, "
              "{11111111-0001-0002-0304-05060708090A}=1.500000, {22222222-0001-0002-0304-05060708090A}=<Too Long>, "
              "MF_MT_USER_DATA=<BLOB>, ");
    EXPECT_EQ(GetMediaTypeDescriptions(nullptr), "<NULL>");
}

TEST(MediaTypeTextTest, ParseReadsSizeRateAndSubtype) {
    const MediaType t = YuyvType(1280, 720, 30000, 1001);
    const SvFormat f = ParseSzFormatInfo(GetMediaTypeDescriptions(&t));
    EXPECT_EQ(f.width, 1280);
    EXPECT_EQ(f.height, 720);
    EXPECT_EQ(f.framerate, 29) << "rounded toward zero; the range attribute before it is not taken for it";
    EXPECT_EQ(f.format, SV_IMAGE_FORMAT_YUY2);

    MediaType other = YuyvType(64, 48, 30, 1);
    other.SetGUID(mf::MF_MT_SUBTYPE, mf::MFVideoFormat_RGB24);
    EXPECT_EQ(ParseSzFormatInfo(GetMediaTypeDescriptions(&other)).format, SV_IMAGE_FORMAT_NONE);
}

TEST(MediaTypeTextTest, BrokenDescriptionsThrow) {
    const char* broken[] = {
        "Video: MF_MT_FRAME_RATE=30/1, MF_MT_SUBTYPE=MFVideoFormat_YUY2, ",                       // no size
        "Video: MF_MT_FRAME_SIZE=W:64 H: 48, MF_MT_SUBTYPE=MFVideoFormat_YUY2, ",                 // no rate
        "Video: MF_MT_FRAME_SIZE=W:64 H: 48, MF_MT_FRAME_RATE=30/1, ",                            // no subtype
        "Video: MF_MT_FRAME_SIZE=W:abc H: 48, MF_MT_FRAME_RATE=30/1, MF_MT_SUBTYPE=x, ",          // not a number
        "Video: MF_MT_FRAME_SIZE=W:64 H: 48, MF_MT_FRAME_RATE=30, MF_MT_SUBTYPE=x, ",             // no "/"
        "Video: MF_MT_FRAME_SIZE=W:64 H: 48, MF_MT_FRAME_RATE=30/0, MF_MT_SUBTYPE=x, ",           // zero denominator
        "Video: MF_MT_FRAME_SIZE=W:99999 H: 48, MF_MT_FRAME_RATE=30/1, MF_MT_SUBTYPE=x, ",        // too wide
        "",
    };
    for (const char* text : broken) EXPECT_ANY_THROW(ParseSzFormatInfo(text)) << text;
}

TEST(MediaTypeTextTest, FrameRateQuotientHasNoOverflow) {
    auto rate = [](const std::string& r) {
        return ParseSzFormatInfo("Video: MF_MT_FRAME_SIZE=W:64 H: 48, MF_MT_FRAME_RATE=" + r +
                                 ", MF_MT_SUBTYPE=MFVideoFormat_YUY2, ")
            .framerate;
    };
    // Its quotient does not fit an int: refused as out of range, not a divide fault.
    EXPECT_THROW(rate("-2147483648/-1"), std::out_of_range);
    EXPECT_THROW(rate("-9223372036854775808/-1"), std::out_of_range);
    EXPECT_THROW(rate("-30/1"), std::out_of_range);
    // The writer prints each half as an unsigned 32-bit number; both are read whole.
    EXPECT_EQ(rate("4294967295/65537"), 65535);
    EXPECT_EQ(rate("60/1"), 60);
    EXPECT_EQ(rate("30000/1001"), 29);
    EXPECT_EQ(rate("-30/-1"), 30);
}

TEST(MediaTypeTextTest, OnlyWholeAttributesAreRead) {
    // Text attributes listed before the standard ones, holding their names.
    MediaType t;
    t.SetString(Guid(0x33333333, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10), "xMF_MT_FRAME_SIZE=W:1 H: 1");
    t.SetString(Guid(0x44444444, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10), "MF_MT_FRAME_RATE=1/1");
    t.SetString(Guid(0x55555555, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10), "a: MF_MT_SUBTYPE=MFVideoFormat_MJPG");
    const MediaType standard = YuyvType(640, 480, 30, 1);
    for (const auto& item : standard.Items()) t.SetItem(item.key, item.value);
    const std::string text = GetMediaTypeDescriptions(&t);
    ASSERT_NE(text.find("=xMF_MT_FRAME_SIZE=W:1 H: 1, "), std::string::npos) << text;
    const SvFormat f = ParseSzFormatInfo(text);
    EXPECT_EQ(f.width, 640);
    EXPECT_EQ(f.height, 480);
    EXPECT_EQ(f.framerate, 30);
    EXPECT_EQ(f.format, SV_IMAGE_FORMAT_YUY2);

    // A name inside a value is no attribute even when the real one is missing.
    EXPECT_ANY_THROW(ParseSzFormatInfo("Video: {33333333-0001-0002-0304-05060708090A}=xMF_MT_FRAME_SIZE=W:1 H: 1, "
                                       "MF_MT_FRAME_RATE=30/1, MF_MT_SUBTYPE=MFVideoFormat_YUY2, "));
    EXPECT_ANY_THROW(ParseSzFormatInfo("Video: MF_MT_FRAME_SIZE=W:64 H: 48, MF_MT_FRAME_RATE=30/1, "
                                       "{44444444-0001-0002-0304-05060708090A}=a: MF_MT_SUBTYPE=MFVideoFormat_NV12, "));
    // Without the major type, the text starts with an attribute.
    const SvFormat bare = ParseSzFormatInfo("MF_MT_FRAME_SIZE=W:64 H: 48, MF_MT_FRAME_RATE=30/1, MF_MT_SUBTYPE=MFVideoFormat_NV12, ");
    EXPECT_EQ(bare.width, 64);
    EXPECT_EQ(bare.format, SV_IMAGE_FORMAT_NV12);
}

TEST(HardwareIdTest, CutFromTheLinkOrEmpty) {
    EXPECT_EQ(HardwareIdFromDevicePath("\\\\?\\usb#vid_3f41&pid_0234&mi_00#7&1f2e#{e5323777}\\global"),
              "vid_3f41&pid_0234");
    EXPECT_EQ(HardwareIdFromDevicePath("\\\\?\\hid#vid_3f41&pid_0234&mi_00#7&1f2e"), "") << "no usb";
    EXPECT_EQ(HardwareIdFromDevicePath("\\\\?\\usb#vid_3f"), "") << "too short";
    EXPECT_EQ(HardwareIdFromDevicePath("usb"), "");
    uint16_t vid = 1, pid = 1;
    IdsFromHardwareId("vid_3f41&pid_0234", vid, pid);
    EXPECT_EQ(vid, 0x3f41);
    EXPECT_EQ(pid, 0x0234);
    IdsFromHardwareId("vid_zz41&pid_0234", vid, pid);
    EXPECT_EQ(vid, 0);
    EXPECT_EQ(pid, 0);
    IdsFromHardwareId("", vid, pid);
    EXPECT_EQ(vid, 0);
}

TEST(IdentityTest, InstanceIdPieces) {
    using namespace identity;
    EXPECT_EQ(InstanceKeyFromDevicePath("\\\\?\\usb#vid_1234&pid_5678&mi_00#6&abc&0&0000#{x}"), "6&ABC&0&0000");
    EXPECT_EQ(InstanceKeyFromDevicePath("no hashes"), "");
    uint16_t vid = 0, pid = 0;
    std::string tail;
    ASSERT_TRUE(ParseInterfaceInstanceId("USB\\VID_1234&PID_5678&MI_00\\6&ABC&0&0000", vid, pid, tail));
    EXPECT_EQ(vid, 0x1234);
    EXPECT_EQ(pid, 0x5678);
    EXPECT_EQ(tail, "6&ABC&0&0000");
    EXPECT_FALSE(ParseInterfaceInstanceId("USB\\VID_12", vid, pid, tail));
    std::string serial;
    ASSERT_TRUE(ParseDeviceInstanceId("USB\\VID_1234&PID_5678\\SERIAL01", vid, pid, serial));
    EXPECT_EQ(serial, "SERIAL01");
    EXPECT_FALSE(ParseDeviceInstanceId("USB\\VID_1234&PID_5678", vid, pid, serial)) << "shorter than 22";
}

const char* kCompositeWorld = R"({"devices": [
  {"id": "cam", "name": "Composite Cam", "vendorId": "1234", "productId": "5678", "serial": "SN0042XYZ",
   "instanceKey": "6&abc&0&0000", "usb": {"port": 1, "speed": "HighSpeed"},
   "formats": [{"subtype": "YUY2", "width": 64, "height": 48}]},
  {"id": "twin", "name": "Twin", "vendorId": "1234", "productId": "5678", "serial": "OTHER0001",
   "instanceKey": "6&def&0&0000", "video": false, "usb": {"hub": "hub", "port": 2, "speed": "FullSpeed"}}],
  "usb": {"hubs": [{"id": "hub", "vendorId": "2109", "productId": "0817", "ports": 4,
                    "usb": {"hub": "root", "port": 3, "speed": "HighSpeed"}}]}})";

TEST(USBViewTest, SerialComesFromTheParentWithTheSameContainer) {
    auto backend = sv::sim::SimBackend::FromJson(kCompositeWorld);
    ASSERT_TRUE(backend->LoadError().empty()) << backend->LoadError();
    USBView view(backend);
    UsbPortInfo info;
    EXPECT_EQ(view.GetUSBDeviceSerialNumber(
                  info, 0x1234, 0x5678,
                  "\\\\?\\usb#vid_1234&pid_5678&mi_00#6&abc&0&0000#{e5323777-f976-4f5b-9b55-b94699c46e44}\\global"),
              0);
    EXPECT_STREQ(info.serialNumber, "SN0042XYZ");

    UsbPortInfo none;
    EXPECT_EQ(view.GetUSBDeviceSerialNumber(none, 0x9999, 0x5678, "\\\\?\\usb#vid_9999&pid_5678#1&2#{x}"), 0);
    EXPECT_STREQ(none.serialNumber, "");
}

TEST(USBViewTest, TheLastVisitedMatchDecidesTheSpeed) {
    auto backend = sv::sim::SimBackend::FromJson(kCompositeWorld);
    ASSERT_TRUE(backend->LoadError().empty()) << backend->LoadError();
    USBView view(backend);
    UsbPortInfo info;
    info.vendorId = 0x1234;
    info.productId = 0x5678;
    // One controller: the walk ends at the missing second one (false), after
    // it has visited every port of the first.
    EXPECT_FALSE(view.EnumerateHostControllers(info));
    // The camera on root port 1 is met first; the twin behind the hub on port 3 last.
    EXPECT_EQ(info.speedName, "FullSpeed");
    EXPECT_EQ(info.speed, 1);
}

TEST(USBViewTest, DevicesOnTheLastPortOfAHubAreFound) {
    // Port numbers run from 1 to the hub's port count: a hub of 7 ports with
    // the camera on port 7, and a second device on the root hub's last port.
    auto backend = sv::sim::SimBackend::FromJson(R"({"devices": [
      {"id": "cam", "name": "Last Port Cam", "vendorId": "1234", "productId": "5678", "serial": "SN0042XYZ",
       "instanceKey": "6&abc&0&0000", "usb": {"hub": "hub", "port": 7, "speed": "SuperSpeed"},
       "formats": [{"subtype": "YUY2", "width": 64, "height": 48}]},
      {"id": "other", "name": "Other", "vendorId": "4321", "productId": "8765", "serial": "OTHER0001",
       "video": false, "usb": {"hub": "root", "port": 2, "speed": "HighSpeed"}}],
      "usb": {"controllers": [{"rootHubPorts": 2}],
              "hubs": [{"id": "hub", "vendorId": "2109", "productId": "0817", "ports": 7,
                        "usb": {"hub": "root", "port": 1, "speed": "HighSpeed"}}]}})");
    ASSERT_TRUE(backend->LoadError().empty()) << backend->LoadError();
    USBView view(backend);

    UsbPortInfo cam;
    cam.vendorId = 0x1234;
    cam.productId = 0x5678;
    view.EnumerateHostControllers(cam);
    EXPECT_EQ(cam.speedName, "SuperSpeed") << "port 7 of the 7-port hub";
    EXPECT_EQ(cam.speed, 3);

    UsbPortInfo other;
    other.vendorId = 0x4321;
    other.productId = 0x8765;
    view.EnumerateHostControllers(other);
    EXPECT_EQ(other.speedName, "HighSpeed") << "port 2 of the 2-port root hub";
    EXPECT_EQ(other.speed, 2);
}

TEST(USBViewTest, DatabaseFailureIsReported) {
    auto backend = sv::sim::SimBackend::FromJson(
        std::string(kCompositeWorld).replace(std::string(kCompositeWorld).find("\"video\": false"), 14,
                                             "\"video\": false, \"faults\": [{\"op\": \"containerId\"}]"));
    ASSERT_TRUE(backend->LoadError().empty()) << backend->LoadError();
    USBView view(backend);
    UsbPortInfo info;
    // Pass 2 reads the twin's container id (same ids) and fails there.
    EXPECT_EQ(view.GetUSBDeviceSerialNumber(
                  info, 0x1234, 0x5678, "\\\\?\\usb#vid_1234&pid_5678&mi_00#6&abc&0&0000#{x}\\global"),
              -1);
}

}  // namespace

namespace {

TEST(DeviceLock, OneDevicePathHasOneLockWhileAnyoneHoldsIt) {
    const std::string kivo = "\\\\?\\usb#vid_3f41&pid_0234&mi_00#7&1a2b3c4d&0&0000#{e5323777}\\global";
    auto first = DeviceTransactionMutex(kivo);
    auto second = DeviceTransactionMutex(kivo);
    ASSERT_TRUE(first);
    EXPECT_EQ(first.get(), second.get()) << "two objects of one device share its lock";
    auto other = DeviceTransactionMutex(kivo + "2");
    EXPECT_NE(other.get(), first.get()) << "another device has its own";
    // No path names no shared device: each asker gets a lock of its own.
    auto unnamed = DeviceTransactionMutex("");
    EXPECT_NE(unnamed.get(), DeviceTransactionMutex("").get());
    EXPECT_NE(unnamed.get(), first.get());

    // Recursive: a sequence takes it again inside its own transaction.
    {
        std::lock_guard<DeviceMutex> outer(*first);
        EXPECT_TRUE(second->try_lock());
        second->unlock();
    }
}

}  // namespace
