// What the simulated machine shows of its devices: the enumeration, the native
// type lists, the USB tree and the installation database.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>

#include "platform/SimTestUtil.h"
#include "platform/backend/MfIds.h"
#include "platform/sim/SimBackend.h"

namespace {

using namespace sv::platform;
using sv::sim::SimBackend;

std::string String(DeviceActivation& a, DeviceString key) {
    std::string s;
    EXPECT_EQ(a.GetAllocatedString(key, s), HR_S_OK);
    return s;
}

std::string Upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

TEST(SimEnumeration, DefaultWorldListsThreeCamerasInOrder) {
    auto backend = SimBackend::Default();
    ASSERT_TRUE(backend->LoadError().empty());
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    ASSERT_EQ(backend->EnumDeviceSources(devices), HR_S_OK);
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(String(*devices[0], DeviceString::FriendlyName), "USB2.0 HD UVC WebCam");
    EXPECT_EQ(String(*devices[1], DeviceString::FriendlyName), "KIVO-AR0234 Camera");
    EXPECT_EQ(String(*devices[2], DeviceString::FriendlyName), "LIRA-OX05B Camera");
    EXPECT_EQ(String(*devices[1], DeviceString::SymbolicLink),
              "\\\\?\\usb#vid_3f41&pid_0234&mi_00#7&1f2e3d4c&0&0000#{e5323777-f976-4f5b-9b55-b94699c46e44}\\global");

    // The library cuts the hardware id 4 characters after "usb"; it must land
    // on vid_xxxx&pid_xxxx for every device.
    const char* ids[] = {"vid_0c45&pid_636b", "vid_3f41&pid_0234", "vid_3f41&pid_5b05"};
    for (size_t i = 0; i < devices.size(); ++i) {
        const std::string link = String(*devices[i], DeviceString::SymbolicLink);
        const size_t usb = link.find("usb");
        ASSERT_NE(usb, std::string::npos);
        EXPECT_EQ(link.substr(usb + 4, 17), ids[i]);
    }

    // A second enumeration lists the same devices in the same order.
    std::vector<std::shared_ptr<DeviceActivation>> again;
    ASSERT_EQ(backend->EnumDeviceSources(again), HR_S_OK);
    ASSERT_EQ(again.size(), devices.size());
    for (size_t i = 0; i < again.size(); ++i) {
        EXPECT_EQ(String(*again[i], DeviceString::SymbolicLink), String(*devices[i], DeviceString::SymbolicLink));
    }
}

TEST(SimEnumeration, BusOnlyAndUnpluggedDevicesAreNotListed) {
    auto backend = SimBackend::FromJson(R"({"devices": [
        {"id": "a", "name": "Cam A", "vendorId": "1111", "productId": "2222", "serial": "AAAA1111",
         "formats": [{"subtype": "YUY2", "width": 64, "height": 48}]},
        {"id": "dongle", "name": "Dongle", "vendorId": "1111", "productId": "2222", "serial": "BBBB2222", "video": false},
        {"id": "b", "name": "Cam B", "vendorId": "3333", "productId": "4444", "serial": "CCCC3333",
         "formats": [{"subtype": "MJPG", "width": 64, "height": 48}]}]})");
    ASSERT_TRUE(backend->LoadError().empty()) << backend->LoadError();
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    backend->EnumDeviceSources(devices);
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(String(*devices[1], DeviceString::FriendlyName), "Cam B");

    ASSERT_TRUE(backend->UnplugDevice("a"));
    backend->EnumDeviceSources(devices);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(String(*devices[0], DeviceString::FriendlyName), "Cam B");
    ASSERT_TRUE(backend->PlugDevice("a"));
    backend->EnumDeviceSources(devices);
    EXPECT_EQ(devices.size(), 2u);
}

struct ExpectedType {
    Guid subtype;
    uint32_t width, height, num, den;
};

TEST(SimNativeTypes, ListFollowsTheWorldAndEndsWithNoMoreTypes) {
    auto backend = SimBackend::Default();
    auto dev = svtest::Open(*backend, 0);
    ASSERT_TRUE(dev.reader);
    const ExpectedType expected[] = {
        {mf::MFVideoFormat_MJPG, 1280, 720, 30, 1}, {mf::MFVideoFormat_MJPG, 640, 480, 30, 1},
        {mf::MFVideoFormat_YUY2, 640, 480, 30, 1},  {mf::MFVideoFormat_YUY2, 1280, 720, 10, 1},
        {mf::MFVideoFormat_YUY2, 320, 240, 30000, 1001}, {mf::MFVideoFormat_UYVY, 640, 480, 30, 1},
        {mf::MFVideoFormat_NV12, 640, 480, 30, 1},  {mf::MFVideoFormat_RGB24, 640, 480, 30, 1},
    };
    for (uint32_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        std::shared_ptr<MediaType> t;
        ASSERT_EQ(dev.reader->GetNativeMediaType(0, i, t), HR_S_OK);
        Guid major, subtype;
        uint64_t size = 0, rate = 0;
        ASSERT_EQ(t->GetGUID(mf::MF_MT_MAJOR_TYPE, major), HR_S_OK);
        ASSERT_EQ(t->GetGUID(mf::MF_MT_SUBTYPE, subtype), HR_S_OK);
        ASSERT_EQ(t->GetUINT64(mf::MF_MT_FRAME_SIZE, size), HR_S_OK);
        ASSERT_EQ(t->GetUINT64(mf::MF_MT_FRAME_RATE, rate), HR_S_OK);
        EXPECT_EQ(major, mf::MFMediaType_Video);
        EXPECT_EQ(subtype, expected[i].subtype);
        EXPECT_EQ(PairHigh(size), expected[i].width);
        EXPECT_EQ(PairLow(size), expected[i].height);
        EXPECT_EQ(PairHigh(rate), expected[i].num);
        EXPECT_EQ(PairLow(rate), expected[i].den);
    }
    std::shared_ptr<MediaType> none;
    EXPECT_EQ(dev.reader->GetNativeMediaType(0, static_cast<uint32_t>(std::size(expected)), none),
              HR_MF_E_NO_MORE_TYPES);
    EXPECT_EQ(none, nullptr);
    std::shared_ptr<MediaType> viaFirstVideo;
    EXPECT_EQ(dev.reader->GetNativeMediaType(mf::MF_SOURCE_READER_FIRST_VIDEO_STREAM, 2, viaFirstVideo), HR_S_OK);
    EXPECT_EQ(dev.reader->GetNativeMediaType(1, 0, viaFirstVideo), HR_MF_E_INVALIDSTREAMNUMBER);
}

TEST(SimNativeTypes, AttributesCarryEveryValueType) {
    // The webcam's RGB24 type carries one attribute of each remaining kind.
    auto backend = SimBackend::Default();
    auto dev = svtest::Open(*backend, 0);
    std::shared_ptr<MediaType> t;
    ASSERT_EQ(dev.reader->GetNativeMediaType(0, 7, t), HR_S_OK);
    bool seen[8] = {};
    for (uint32_t i = 0; i < t->GetCount(); ++i) {
        Guid key;
        AttributeValue value;
        ASSERT_EQ(t->GetItemByIndex(i, key, value), HR_S_OK);
        switch (value.Type()) {
            case AttributeType::UInt32: seen[0] = true; break;
            case AttributeType::UInt64: seen[1] = true; break;
            case AttributeType::Double: seen[2] = true; EXPECT_DOUBLE_EQ(value.AsDouble(), 1.5); break;
            case AttributeType::Guid: seen[3] = true; break;
            case AttributeType::String: seen[4] = true; EXPECT_EQ(value.AsString(), "sensor-a"); break;
            case AttributeType::Blob:
                seen[5] = true;
                EXPECT_EQ(value.AsBlob(), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
                break;
            case AttributeType::Unknown: seen[6] = true; break;
        }
    }
    for (int k = 0; k < 7; ++k) EXPECT_TRUE(seen[k]) << "value type " << k;
    // The unknown subtype has no name the library knows.
    Guid subtype;
    t->GetGUID(mf::MF_MT_SUBTYPE, subtype);
    EXPECT_EQ(subtype.ToString(), "{00000014-0000-0010-8000-00AA00389B71}");
}

TEST(SimNativeTypes, SetCurrentTypeMustMatchANativeType) {
    auto backend = SimBackend::Default();
    auto dev = svtest::Open(*backend, 1);
    std::shared_ptr<MediaType> native;
    ASSERT_EQ(dev.reader->GetNativeMediaType(0, 3, native), HR_S_OK);  // YUY2 640x480 60

    MediaType wanted;  // the way the library builds it: major, subtype, size, native rate
    wanted.SetGUID(mf::MF_MT_MAJOR_TYPE, mf::MFMediaType_Video);
    wanted.SetGUID(mf::MF_MT_SUBTYPE, mf::MFVideoFormat_YUY2);
    wanted.SetUINT64(mf::MF_MT_FRAME_SIZE, PackPair(640, 480));
    uint64_t rate = 0;
    native->GetUINT64(mf::MF_MT_FRAME_RATE, rate);
    wanted.SetUINT64(mf::MF_MT_FRAME_RATE, rate);
    ASSERT_EQ(dev.reader->SetCurrentMediaType(0, wanted), HR_S_OK);
    std::shared_ptr<MediaType> current;
    ASSERT_EQ(dev.reader->GetCurrentMediaType(0, current), HR_S_OK);
    uint64_t size = 0;
    current->GetUINT64(mf::MF_MT_FRAME_SIZE, size);
    EXPECT_EQ(size, PackPair(640, 480));

    MediaType wrongSize = wanted;
    wrongSize.SetUINT64(mf::MF_MT_FRAME_SIZE, PackPair(641, 480));
    EXPECT_EQ(dev.reader->SetCurrentMediaType(0, wrongSize), HR_MF_E_INVALIDMEDIATYPE);
    MediaType wrongSubtype = wanted;  // UYVY exists on this camera, but not at 640x480
    wrongSubtype.SetGUID(mf::MF_MT_SUBTYPE, mf::MFVideoFormat_UYVY);
    EXPECT_EQ(dev.reader->SetCurrentMediaType(0, wrongSubtype), HR_MF_E_INVALIDMEDIATYPE);
    MediaType noMajor;
    noMajor.SetGUID(mf::MF_MT_SUBTYPE, mf::MFVideoFormat_YUY2);
    EXPECT_EQ(dev.reader->SetCurrentMediaType(0, noMajor), HR_MF_E_INVALIDMEDIATYPE);
}

// The speed walk as the library does it: controllers by number, hubs
// recursively, the extended record and the V2 SuperSpeed flags.
struct Found {
    uint8_t speed = 0xFF;
    uint8_t exSpeed = 0xFF;
    uint32_t v2Flags = 0;
    uint32_t v2Protocols = 0;
    int matches = 0;
};

void Walk(Backend& backend, uint16_t vid, uint16_t pid, Found& found) {
    std::function<void(const std::string&)> hub = [&](const std::string& name) {
        std::shared_ptr<UsbHub> h;
        ASSERT_EQ(backend.OpenHub("\\\\.\\" + name, h), HR_S_OK) << name;
        UsbHubInformation info;
        ASSERT_EQ(h->GetNodeInformation(info), HR_S_OK);
        for (uint32_t port = 1; port <= info.portCount; ++port) {
            UsbConnectionInfo c;
            ASSERT_EQ(h->GetNodeConnectionInformation(port, c), HR_S_OK);
            if (!c.connected) continue;
            EXPECT_LE(c.speed, UsbHighSpeed) << "the plain record has no SuperSpeed";
            if (c.isHub) {
                std::string child;
                ASSERT_EQ(h->GetNodeConnectionName(port, child), HR_S_OK);
                hub(child);
                continue;
            }
            if (c.vendorId != vid || c.productId != pid) continue;
            UsbConnectionInfoV2 v2;
            ASSERT_EQ(h->GetNodeConnectionInformationExV2(port, kUsbProtocol110 | kUsbProtocol200 | kUsbProtocol300, v2),
                      HR_S_OK);
            UsbConnectionInfo ex;
            ASSERT_EQ(h->GetNodeConnectionInformationEx(port, ex), HR_S_OK);
            found.exSpeed = ex.speed;
            found.v2Flags = v2.flags;
            found.v2Protocols = v2.supportedProtocols;
            found.speed = ex.speed == UsbHighSpeed && (v2.flags & 0x5) != 0 ? static_cast<uint8_t>(UsbSuperSpeed) : ex.speed;
            ++found.matches;
        }
    };
    for (uint32_t i = 0; i < 10; ++i) {
        std::shared_ptr<UsbHostController> hc;
        if (backend.OpenHostController(i, hc) != HR_S_OK) break;
        std::string key, root;
        ASSERT_EQ(hc->GetDriverKeyName(key), HR_S_OK);
        EXPECT_GE(key.size(), 7u);
        ASSERT_EQ(hc->GetRootHubName(root), HR_S_OK);
        hub(root);
    }
}

TEST(SimUsbTree, SpeedsOfTheDefaultWorld) {
    auto backend = SimBackend::Default();
    Found webcam, kivo, lira;
    Walk(*backend, 0x0c45, 0x636b, webcam);
    Walk(*backend, 0x3f41, 0x0234, kivo);
    Walk(*backend, 0x3f41, 0x5b05, lira);
    EXPECT_EQ(webcam.matches, 1);
    EXPECT_EQ(webcam.speed, UsbHighSpeed);
    EXPECT_EQ(webcam.v2Protocols & kUsbProtocol300, 0u);
    EXPECT_EQ(kivo.exSpeed, UsbSuperSpeed);
    EXPECT_EQ(kivo.speed, UsbSuperSpeed);
    // Reported as high speed, told apart by the V2 record.
    EXPECT_EQ(lira.exSpeed, UsbHighSpeed);
    EXPECT_NE(lira.v2Flags & kUsbOperatingAtSuperSpeedOrHigher, 0u);
    EXPECT_EQ(lira.speed, UsbSuperSpeed);

    std::shared_ptr<UsbHostController> hc;
    EXPECT_EQ(backend->OpenHostController(1, hc), HR_ERROR_FILE_NOT_FOUND);
    std::shared_ptr<UsbHub> hub;
    EXPECT_EQ(backend->OpenHub("\\\\.\\USB#NOSUCHHUB", hub), HR_ERROR_FILE_NOT_FOUND);
}

TEST(SimUsbTree, DescriptorsOfAConnectedDevice) {
    auto backend = SimBackend::Default();
    std::shared_ptr<UsbHostController> hc;
    ASSERT_EQ(backend->OpenHostController(0, hc), HR_S_OK);
    std::string root;
    hc->GetRootHubName(root);
    std::shared_ptr<UsbHub> hub;
    ASSERT_EQ(backend->OpenHub("\\\\.\\" + root, hub), HR_S_OK);
    // The webcam sits on root port 1.
    std::vector<uint8_t> header, full;
    ASSERT_EQ(hub->GetConfigurationDescriptor(1, 9, header), HR_S_OK);
    ASSERT_EQ(header.size(), 9u);
    EXPECT_EQ(header[1], 2);  // configuration descriptor
    const uint16_t total = static_cast<uint16_t>(header[2] | header[3] << 8);
    ASSERT_EQ(hub->GetConfigurationDescriptor(1, total, full), HR_S_OK);
    EXPECT_EQ(full.size(), total);

    UsbConnectionInfo c;
    ASSERT_EQ(hub->GetNodeConnectionInformation(1, c), HR_S_OK);
    std::vector<uint8_t> product;
    ASSERT_EQ(hub->GetStringDescriptor(1, c.productIndex, backend->GetSystemDefaultLangId(), 255, product), HR_S_OK);
    ASSERT_GE(product.size(), 2u);
    EXPECT_EQ(product[0], product.size());
    EXPECT_EQ(product[1], 3);
    EXPECT_EQ(product[0] % 2, 0);
    std::string text;
    for (size_t i = 2; i + 1 < product.size(); i += 2) text.push_back(static_cast<char>(product[i]));
    EXPECT_EQ(text, "USB2.0 HD UVC WebCam");
    EXPECT_NE(hub->GetStringDescriptor(1, 9, 0x0409, 255, product), HR_S_OK) << "no such string: the device stalls";

    UsbConnectionInfo empty;
    ASSERT_EQ(hub->GetNodeConnectionInformation(2, empty), HR_S_OK);
    EXPECT_FALSE(empty.connected);
    EXPECT_EQ(hub->GetNodeConnectionInformation(0, empty), HR_E_INVALIDARG);
}

// The serial lookup as the library does it: interface instance -> container
// id -> the USB device with the same container -> serial from its instance id.
std::string LookUpSerial(Backend& backend, uint16_t vid, uint16_t pid, const std::string& devicePath) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t hash; (hash = devicePath.find('#', start)) != std::string::npos; start = hash + 1) {
        parts.push_back(devicePath.substr(start, hash - start));
    }
    if (parts.size() < 3) return "<bad path>";
    const std::string key = Upper(parts[2]);
    std::shared_ptr<DeviceInfoSet> set;
    if (backend.GetClassDevs(DeviceSetKind::UsbEnumerator, set) != HR_S_OK) return "<no set>";
    std::string container;
    for (uint32_t i = 0; i < set->GetDeviceCount(); ++i) {
        std::string id;
        if (set->GetDeviceInstanceId(i, id) != HR_S_OK) return "<instance id failed>";
        const size_t v = id.find("VID"), p = id.find("PID");
        if (v == std::string::npos || p == std::string::npos) continue;
        const size_t slash = id.find('\\', p);
        if (slash == std::string::npos) continue;
        if (std::stoul(id.substr(v + 4, 4), nullptr, 16) == vid && std::stoul(id.substr(p + 4, 4), nullptr, 16) == pid &&
            id.substr(slash + 1) == key) {
            if (set->GetContainerId(i, container) != HR_S_OK) return "<container failed>";
        }
    }
    if (backend.GetClassDevs(DeviceSetKind::UsbDeviceInterface, set) != HR_S_OK) return "<no set>";
    std::string serial;
    for (uint32_t i = 0; i < set->GetDeviceCount(); ++i) {
        std::string id, other;
        if (set->GetDeviceInstanceId(i, id) != HR_S_OK) return "<instance id failed>";
        if (id.size() < 22) continue;
        if (std::stoul(id.substr(8, 4), nullptr, 16) != vid || std::stoul(id.substr(17, 4), nullptr, 16) != pid) continue;
        if (set->GetContainerId(i, other) != HR_S_OK) return "<container failed>";
        if (other == container) serial = id.substr(22, 32);
    }
    return serial;
}

TEST(SimInstallationDatabase, SerialNumbersFollowFromTheLinks) {
    auto backend = SimBackend::Default();
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    backend->EnumDeviceSources(devices);
    ASSERT_EQ(devices.size(), 3u);
    const uint16_t pids[] = {0x636b, 0x0234, 0x5b05};
    const uint16_t vids[] = {0x0c45, 0x3f41, 0x3f41};
    const char* serials[] = {"200901010001", "K7Q2M9P4R8", "L3X8B5N1W6"};
    for (size_t i = 0; i < devices.size(); ++i) {
        EXPECT_EQ(LookUpSerial(*backend, vids[i], pids[i], String(*devices[i], DeviceString::SymbolicLink)), serials[i]);
    }
}

TEST(SimInstallationDatabase, DeviceWithoutSerialHasAGeneratedKey) {
    auto withSerial = SimBackend::FromJson(svtest::OneDeviceWorld(R"([{"subtype": "YUY2", "width": 64, "height": 48}])"));
    auto noSerial = SimBackend::FromJson(R"({"devices": [{"id": "n", "name": "No Serial", "vendorId": "1234",
        "productId": "5678", "serial": null, "parentKey": "5&1a2b3c&0&2", "instanceKey": "6&abc&0&0000",
        "formats": [{"subtype": "YUY2", "width": 64, "height": 48}]}]})");
    ASSERT_TRUE(noSerial->LoadError().empty()) << noSerial->LoadError();
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    noSerial->EnumDeviceSources(devices);
    ASSERT_EQ(devices.size(), 1u);
    const std::string link = String(*devices[0], DeviceString::SymbolicLink);
    EXPECT_EQ(link, "\\\\?\\usb#vid_1234&pid_5678&mi_00#6&abc&0&0000#{e5323777-f976-4f5b-9b55-b94699c46e44}\\global");
    const std::string serial = LookUpSerial(*noSerial, 0x1234, 0x5678, link);
    EXPECT_EQ(serial, "5&1A2B3C&0&2");
    // The same link on a device that has a serial number finds that number.
    EXPECT_EQ(LookUpSerial(*withSerial, 0x1234, 0x5678, link), "ABCDE12345");
}

TEST(SimInstallationDatabase, UnpluggedDevicesLeaveTheDatabaseAndTheirPort) {
    auto backend = SimBackend::Default();
    Found before, after;
    Walk(*backend, 0x3f41, 0x0234, before);
    EXPECT_EQ(before.matches, 1);
    backend->UnplugDevice("kivo");
    Walk(*backend, 0x3f41, 0x0234, after);
    EXPECT_EQ(after.matches, 0);
    std::shared_ptr<DeviceInfoSet> set;
    backend->GetClassDevs(DeviceSetKind::UsbDeviceInterface, set);
    for (uint32_t i = 0; i < set->GetDeviceCount(); ++i) {
        std::string id;
        set->GetDeviceInstanceId(i, id);
        EXPECT_EQ(id.find("PID_0234"), std::string::npos) << id;
    }
}

}  // namespace
