// The simulated USB bridge at the seam: world keys, the bootloader appearing
// after the camera's program-mode request, what each personality answers.

#include <gtest/gtest.h>

#include <vector>

#include "platform/backend/Backend.h"
#include "platform/sim/SimBackend.h"

namespace platform = sv::platform;
using sv::sim::SimBackend;

namespace {

platform::HResult Vendor(platform::VendorUsbDevice& d, uint8_t type, uint8_t request, uint16_t value, uint16_t index,
                         std::vector<uint8_t>& data, platform::UsbTransferStatus& status) {
    platform::UsbSetupPacket s;
    s.bmRequestType = type;
    s.bRequest = request;
    s.wValue = value;
    s.wIndex = index;
    s.wLength = static_cast<uint16_t>(data.size());
    return d.ControlTransfer(s, data.data(), 1000, status);
}

std::shared_ptr<platform::VendorUsbDevice> OpenFirst(SimBackend& sim) {
    std::shared_ptr<platform::VendorUsbDevice> d;
    EXPECT_EQ(sim.OpenVendorUsbDevice(0, d), 0);
    return d;
}

}  // namespace

TEST(SimFx3, WorldKeysAreChecked) {
    const char* bad[] = {
        R"({"devices": [], "fx3": [{"id": "b", "mode": "sleeping"}]})",
        R"({"devices": [], "fx3": [{"id": "b", "camera": "nobody"}]})",
        R"({"devices": [], "fx3": [{"id": "b", "eeprom": {"size": 3000}}]})",
        R"({"devices": [], "fx3": [{"id": "b", "spiFlash": {"size": 1000}}]})",
        R"({"devices": [], "fx3": [{"id": "b", "bootSource": "tape"}]})",
        R"({"devices": [], "fx3": [{"id": "b", "colour": 1}]})",
        R"({"devices": [], "fx3": [{"id": "b"}, {"id": "b"}]})",
    };
    for (const char* world : bad) EXPECT_FALSE(SimBackend::FromJson(world)->LoadError().empty()) << world;
    EXPECT_TRUE(SimBackend::FromJson(R"({"devices": [], "fx3": [{"id": "b", "spiFlash": {"eraseBusyReads": "stuck"}}]})")
                    ->LoadError()
                    .empty());
}

TEST(SimFx3, TheBuiltInBridgesWaitForProgramMode) {
    auto sim = SimBackend::Default();
    uint32_t count = 9;
    ASSERT_EQ(sim->CountVendorUsbDevices(count), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(sim->Fx3Mode("kivo-fx3"), "absent");
    EXPECT_EQ(sim->Fx3Mode("nobody"), "");
    std::shared_ptr<platform::VendorUsbDevice> d;
    EXPECT_EQ(sim->OpenVendorUsbDevice(0, d), platform::HR_ERROR_NO_MORE_ITEMS);
}

TEST(SimFx3, BootloaderRamAndJump) {
    auto sim = SimBackend::FromJson(R"({"devices": [], "fx3": [{"id": "b"}]})");
    auto d = OpenFirst(*sim);
    ASSERT_TRUE(d);
    platform::UsbTransferStatus st;
    std::vector<uint8_t> data{1, 2, 3, 4};
    EXPECT_EQ(Vendor(*d, 0x40, 0xA0, 0x0010, 0x4000, data, st), 0);
    std::vector<uint8_t> back(4);
    EXPECT_EQ(Vendor(*d, 0xC0, 0xA0, 0x0010, 0x4000, back, st), 0);
    EXPECT_EQ(back, data);
    EXPECT_EQ(st.transferred, 4u);
    // Outside RAM: a stall.
    EXPECT_EQ(Vendor(*d, 0x40, 0xA0, 0x0000, 0x2000, data, st), platform::HR_ERROR_GEN_FAILURE);
    EXPECT_NE(st.usbdStatus, 0u);
    // Programmer requests are not the bootloader's.
    EXPECT_EQ(Vendor(*d, 0x40, 0xBA, 0, 0, data, st), platform::HR_ERROR_GEN_FAILURE);
    std::vector<uint8_t> none;
    EXPECT_EQ(Vendor(*d, 0x40, 0xA0, 0x0010, 0x4000, none, st), 0) << "the jump";
    EXPECT_EQ(sim->Fx3Mode("b"), "absent");
    EXPECT_EQ(Vendor(*d, 0xC0, 0xA0, 0, 0, back, st), platform::HR_ERROR_DEVICE_NOT_CONNECTED);
}

TEST(SimFx3, ProgrammerEepromAndSpi) {
    auto sim = SimBackend::FromJson(
        R"({"devices": [], "fx3": [{"id": "p", "mode": "programmer", "eeprom": {"size": 4096, "devices": 1},
            "spiFlash": {"size": 131072, "eraseBusyReads": 1}}]})");
    auto d = OpenFirst(*sim);
    ASSERT_TRUE(d);
    platform::UsbTransferStatus st;
    std::vector<uint8_t> data{9, 8, 7, 6};
    EXPECT_EQ(Vendor(*d, 0x40, 0xBA, 0, 100, data, st), 0);
    EXPECT_EQ(Vendor(*d, 0x40, 0xBA, 1, 0, data, st), platform::HR_ERROR_GEN_FAILURE) << "no device 1";
    EXPECT_EQ(Vendor(*d, 0x40, 0xBA, 0, 4094, data, st), platform::HR_ERROR_GEN_FAILURE) << "beyond the device";
    std::vector<uint8_t> chip;
    ASSERT_TRUE(sim->Fx3Eeprom("p", 0, chip));
    EXPECT_EQ(std::vector<uint8_t>(chip.begin() + 100, chip.begin() + 104), data);

    // Program a page, erase its sector: busy once, then idle and erased.
    EXPECT_EQ(Vendor(*d, 0x40, 0xC2, 0, 1, data, st), 0);
    std::vector<uint8_t> none, status(1);
    EXPECT_EQ(Vendor(*d, 0x40, 0xC4, 1, 0, none, st), 0);
    EXPECT_EQ(Vendor(*d, 0x40, 0xC2, 0, 1, data, st), platform::HR_ERROR_GEN_FAILURE) << "busy";
    EXPECT_EQ(Vendor(*d, 0xC0, 0xC4, 0, 0, status, st), 0);
    EXPECT_EQ(status[0], 1);
    EXPECT_EQ(Vendor(*d, 0xC0, 0xC4, 0, 0, status, st), 0);
    EXPECT_EQ(status[0], 0);
    std::vector<uint8_t> flash;
    ASSERT_TRUE(sim->Fx3SpiFlash("p", flash));
    EXPECT_EQ(flash[256], 0xFF);
    EXPECT_EQ(Vendor(*d, 0x40, 0xC4, 1, 2, none, st), platform::HR_ERROR_GEN_FAILURE) << "no sector 2";
}
