// The legacy enumeration against a scripted platform: a capture device whose
// symbolic link has no "usb", one whose texts cannot be read, and a hardware
// id too short for the ids.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <sorvansdk/SorvanCam.h>

#include "platform/backend/Backend.h"

namespace platform = sv::platform;

namespace {

struct Entry {
    std::string name;
    std::string link;
    bool readable = true;
};

class ScriptedActivation final : public platform::DeviceActivation {
public:
    explicit ScriptedActivation(Entry e) : e_(std::move(e)) {}
    platform::HResult GetAllocatedString(platform::DeviceString key, std::string& text) override {
        if (!e_.readable) return platform::HR_E_FAIL;
        text = key == platform::DeviceString::FriendlyName ? e_.name : e_.link;
        return 0;
    }
    platform::HResult ActivateObject(std::shared_ptr<platform::MediaSource>&) override { return platform::HR_E_FAIL; }
    platform::HResult ShutdownObject() override { return 0; }

private:
    Entry e_;
};

class ScriptedBackend final : public platform::Backend {
public:
    explicit ScriptedBackend(std::vector<Entry> entries) : entries_(std::move(entries)) {}
    std::string Name() const override { return "scripted"; }
    platform::HResult EnumDeviceSources(std::vector<std::shared_ptr<platform::DeviceActivation>>& d) override {
        d.clear();
        for (const auto& e : entries_) d.push_back(std::make_shared<ScriptedActivation>(e));
        return 0;
    }
    platform::HResult OpenHostController(uint32_t, std::shared_ptr<platform::UsbHostController>&) override {
        return platform::HR_ERROR_FILE_NOT_FOUND;
    }
    platform::HResult OpenHub(const std::string&, std::shared_ptr<platform::UsbHub>&) override {
        return platform::HR_ERROR_FILE_NOT_FOUND;
    }
    platform::HResult GetClassDevs(platform::DeviceSetKind, std::shared_ptr<platform::DeviceInfoSet>&) override {
        ++classDevs;
        return platform::HR_E_FAIL;
    }
    uint16_t GetSystemDefaultLangId() override { return 0x0409; }
    platform::HResult CountVendorUsbDevices(uint32_t& count) override {
        count = 0;
        return 0;
    }
    platform::HResult OpenVendorUsbDevice(uint32_t, std::shared_ptr<platform::VendorUsbDevice>&) override {
        return platform::HR_ERROR_NO_MORE_ITEMS;
    }
    void Sleep(uint32_t) override {}
    uint64_t NowMs() override { return 0; }
    std::shared_ptr<platform::Event> NewEvent() override { return nullptr; }
    int classDevs = 0;

private:
    std::vector<Entry> entries_;
};

class SorvanCamEnumerationTest : public testing::Test {
protected:
    std::shared_ptr<ScriptedBackend> Install(std::vector<Entry> entries) {
        auto backend = std::make_shared<ScriptedBackend>(std::move(entries));
        platform::SetBackendForTesting(backend);
        return backend;
    }
    void TearDown() override { platform::ResetBackend(); }
};

TEST_F(SorvanCamEnumerationTest, DeviceWithoutUsbLinkIsListedWithoutLocation) {
    auto backend = Install({{"Virtual Camera", "\\\\?\\root#image#0000#{e5323777}", true},
                            {"Unreadable", "", false}});
    SorvanCam cam;
    std::vector<std::wstring> names;
    ASSERT_EQ(cam.GetVideoDeviceList(names), 0);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], L"Virtual Camera");
    EXPECT_EQ(names[1], L"");  // a text that cannot be read is stored empty

    std::vector<DeviceListData> list;
    ASSERT_EQ(cam.GetVideoDeviceListWithLocation(list), 0);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].deviceName, L"Virtual Camera");
    EXPECT_EQ(list[0].devicePath, L"");
    EXPECT_EQ(list[0].serialNumber, "");
    EXPECT_EQ(backend->classDevs, 0);  // no serial lookup for them

    // Opening it gets no ids (a KANO control); the scripted device cannot be started.
    EXPECT_EQ(cam.Open(0), -1);
    wchar_t text[32];
    EXPECT_EQ(cam.GetDeviceHardwareID(text), 0);
    EXPECT_STREQ(text, L"");
}

TEST_F(SorvanCamEnumerationTest, HardwareIdTooShortEndsTheLocationListAndTheOpen) {
    Install({{"Good", "\\\\?\\usb#vid_1234&pid_5678&mi_00#6&abc&0&0000#{x}", true},
             {"Short", "\\\\?\\usb#vid_12", true}});
    SorvanCam cam;
    std::vector<DeviceListData> list;
    EXPECT_EQ(cam.GetVideoDeviceListWithLocation(list), -1);
    ASSERT_EQ(list.size(), 1u);  // the entry before stays
    EXPECT_EQ(list[0].deviceName, L"Good");
    EXPECT_EQ(cam.Open(1), -1);
}

TEST_F(SorvanCamEnumerationTest, NoDevicesListsNothing) {
    Install({});
    SorvanCam cam;
    std::vector<std::wstring> names{L"x"};
    std::vector<DeviceListData> list(2);
    EXPECT_EQ(cam.GetVideoDeviceList(names), 0);
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(cam.GetVideoDeviceListWithLocation(list), 0);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(cam.Open(0), -1);
    // Nothing enumerated: the requests do nothing and succeed.
    EXPECT_EQ(cam.GotoProgramMode(), 0);
    EXPECT_EQ(cam.ResetUVC(), 0);
}

}  // namespace
