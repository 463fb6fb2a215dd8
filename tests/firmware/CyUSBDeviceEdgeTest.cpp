// Device answers the simulator's bridge never gives: zero descriptor lengths,
// transfers that move nothing, a request that times out. A scripted device
// behind a minimal back-end.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "firmware/CyUSBDevice.h"
#include "platform/backend/Backend.h"

using sv::firmware::CCyUSBDevice;
namespace platform = sv::platform;

namespace {

struct Script {
    std::vector<uint8_t> device{18, 1, 0x00, 0x02, 0, 0, 0, 64, 0xB4, 0x04, 0xF3, 0x00, 0, 1, 0, 0, 0, 1};
    std::vector<uint8_t> config{9, 2, 18, 0, 1, 1, 0, 0x80, 50, 9, 4, 0, 0, 0, 0xFF, 0, 0, 0};
    std::vector<uint8_t> languages{4, 3, 0x09, 0x04};
    // Vendor requests: answers transferred bytes (-1: all) and a driver result.
    std::function<platform::HResult(const platform::UsbSetupPacket&, platform::UsbTransferStatus&)> vendor;
    int aborts = 0;
    int vendorCalls = 0;
};

class ScriptedDevice final : public platform::VendorUsbDevice {
public:
    explicit ScriptedDevice(Script& s) : s_(s) {}
    platform::HResult ControlTransfer(const platform::UsbSetupPacket& setup, uint8_t* data, uint32_t,
                                      platform::UsbTransferStatus& status) override {
        status = {};
        if ((setup.bmRequestType & 0x60) == 0x40) {
            ++s_.vendorCalls;
            if (s_.vendor) return s_.vendor(setup, status);
            status.transferred = setup.wLength;
            return platform::HR_S_OK;
        }
        const std::vector<uint8_t>* d = nullptr;
        switch (setup.wValue >> 8) {
            case 1: d = &s_.device; break;
            case 2: d = &s_.config; break;
            case 3: d = (setup.wValue & 0xFF) == 0 ? &s_.languages : nullptr; break;
            default: break;
        }
        if (d == nullptr) return platform::HR_ERROR_GEN_FAILURE;
        const size_t n = std::min<size_t>(d->size(), setup.wLength);
        std::memcpy(data, d->data(), n);
        status.transferred = static_cast<uint32_t>(n);
        return platform::HR_S_OK;
    }
    platform::HResult AbortEndpoint(uint8_t) override {
        ++s_.aborts;
        return platform::HR_S_OK;
    }
    platform::HResult GetAlternateSetting(uint8_t& setting) override {
        setting = 0;
        return platform::HR_S_OK;
    }
    platform::HResult GetDriverInfo(platform::VendorDriverInfo&) override { return platform::HR_E_FAIL; }
    platform::HResult Close() override { return platform::HR_S_OK; }

private:
    Script& s_;
};

class OneDeviceBackend final : public platform::Backend {
public:
    explicit OneDeviceBackend(Script& s) : s_(s) {}
    std::string Name() const override { return "scripted"; }
    platform::HResult EnumDeviceSources(std::vector<std::shared_ptr<platform::DeviceActivation>>& d) override {
        d.clear();
        return 0;
    }
    platform::HResult OpenHostController(uint32_t, std::shared_ptr<platform::UsbHostController>&) override {
        return platform::HR_ERROR_FILE_NOT_FOUND;
    }
    platform::HResult OpenHub(const std::string&, std::shared_ptr<platform::UsbHub>&) override {
        return platform::HR_ERROR_FILE_NOT_FOUND;
    }
    platform::HResult GetClassDevs(platform::DeviceSetKind, std::shared_ptr<platform::DeviceInfoSet>&) override {
        return platform::HR_E_FAIL;
    }
    uint16_t GetSystemDefaultLangId() override { return 0x0409; }
    platform::HResult CountVendorUsbDevices(uint32_t& count) override {
        count = 1;
        return 0;
    }
    platform::HResult OpenVendorUsbDevice(uint32_t index, std::shared_ptr<platform::VendorUsbDevice>& d) override {
        if (index != 0) return platform::HR_ERROR_NO_MORE_ITEMS;
        d = std::make_shared<ScriptedDevice>(s_);
        return 0;
    }
    void Sleep(uint32_t ms) override { slept += ms; }
    uint64_t NowMs() override { return slept; }
    std::shared_ptr<platform::Event> NewEvent() override { return nullptr; }
    uint64_t slept = 0;

private:
    Script& s_;
};

class CyUSBDeviceEdgeTest : public testing::Test {
protected:
    void SetUp() override { platform::SetBackendForTesting(std::make_shared<OneDeviceBackend>(script_)); }
    void TearDown() override { platform::ResetBackend(); }
    Script script_;
};

}  // namespace

TEST_F(CyUSBDeviceEdgeTest, ScriptedDeviceOpens) {
    CCyUSBDevice device;
    EXPECT_TRUE(device.IsOpen());
    EXPECT_EQ(device.ProductID, 0x00F3);
    ASSERT_EQ(device.Configs.size(), 1u);
    EXPECT_EQ(device.Configs[0].Interfaces.size(), 1u);
}

TEST_F(CyUSBDeviceEdgeTest, AZeroDescriptorLengthInTheConfigurationFailsTheOpen) {
    script_.config = {9, 2, 18, 0, 1, 1, 0, 0x80, 50, 0, 4, 0, 0, 0, 0xFF, 0, 0, 0};
    CCyUSBDevice device;
    EXPECT_FALSE(device.Open(0));
}

TEST_F(CyUSBDeviceEdgeTest, AZeroLengthLanguageListLeavesNoLanguage) {
    script_.languages = {0, 3};
    CCyUSBDevice device;
    EXPECT_EQ(device.LanguageID, 0);
    EXPECT_TRUE(device.IsOpen());
}

TEST_F(CyUSBDeviceEdgeTest, AZeroPacketSizeFailsTheOpen) {
    script_.device[7] = 0;
    CCyUSBDevice device;
    EXPECT_FALSE(device.Open(0));
}

TEST_F(CyUSBDeviceEdgeTest, ATransferThatMovesNothingEndsTheRequest) {
    script_.vendor = [](const platform::UsbSetupPacket&, platform::UsbTransferStatus& status) {
        status.transferred = 0;
        return platform::HR_S_OK;
    };
    CCyUSBDevice device;
    std::vector<uint8_t> buffer(100);
    EXPECT_FALSE(device.VendorRequest(0xA0, 1, 0, 0, buffer.data(), buffer.size()));
    EXPECT_EQ(script_.vendorCalls, 1);
    EXPECT_FALSE(device.ProbeBootloader());
}

TEST_F(CyUSBDeviceEdgeTest, LongRequestsGoInPiecesOfAtMost65535) {
    std::vector<int> lengths;
    script_.vendor = [&](const platform::UsbSetupPacket& setup, platform::UsbTransferStatus& status) {
        lengths.push_back(setup.wLength);
        status.transferred = setup.wLength;
        return platform::HR_S_OK;
    };
    CCyUSBDevice device;
    std::vector<uint8_t> buffer(70000, 0x11);
    EXPECT_TRUE(device.VendorRequest(0xC2, 0, 0, 0, buffer.data(), buffer.size()));
    EXPECT_EQ(lengths, (std::vector<int>{65535, 4465}));
}

TEST_F(CyUSBDeviceEdgeTest, ATimedOutRequestIsAbortedAndFails) {
    script_.vendor = [](const platform::UsbSetupPacket&, platform::UsbTransferStatus&) {
        return platform::HR_ERROR_SEM_TIMEOUT;
    };
    CCyUSBDevice device;
    EXPECT_FALSE(device.ProbeBootloader());
    EXPECT_EQ(script_.aborts, 1);
}

TEST_F(CyUSBDeviceEdgeTest, AStatusOtherThanZeroIsAFailure) {
    script_.vendor = [](const platform::UsbSetupPacket& setup, platform::UsbTransferStatus& status) {
        status.transferred = setup.wLength;
        status.usbdStatus = 0xC0000004u;
        return platform::HR_S_OK;
    };
    CCyUSBDevice device;
    EXPECT_FALSE(device.ProbeBootloader());
    EXPECT_EQ(device.ControlEndPt->UsbdStatus, 0xC0000004u);
}
