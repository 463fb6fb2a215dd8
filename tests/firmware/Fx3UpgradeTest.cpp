// The bridge upgrade through the public interface on the simulated machine:
// program mode, the search for the bridge, the messages, the result codes and
// the camera coming back with the new firmware.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <sorvansdk/SorvanSDK.h>

#include "camera/CameraFixture.h"
#include "common/LogCapture.h"
#include "firmware/Fx3Images.h"
#include "platform/SimTestUtil.h"

using svtest::Fx3Image;
using svtest::Identity;
using svtest::Pattern;

namespace {

class Fx3UpgradeTest : public svtest::CameraTest {
protected:
    std::string WriteImage(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = dir_.File(name);
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    static std::vector<uint8_t> ProgrammerImage() {
        return Fx3Image({{0x40000000, Identity('P', {}, 4096)}, {0x00000100, Pattern(256)}}, 0x40000000);
    }
    static std::vector<uint8_t> CameraImage(std::vector<uint8_t> version, uint8_t sizeCode = 6) {
        return Fx3Image({{0x40000000, Identity('C', version, 9000)}}, 0x40000000, sizeCode);
    }

    std::string UsbVersion(const std::string& camera) {
        auto cam = Camera(camera);
        if (!cam || SvOpen(cam) != 0) return "";
        std::string version;
        SvGetUSBFirmwareVersion(cam, version);
        SvClose(cam);
        return version;
    }

    sv::test::TempDir dir_;
};


}  // namespace

TEST_F(Fx3UpgradeTest, ProgramModeThenRamThenSpiBringsTheCameraBackWithTheImage) {
    auto sim = InstallDefault();
    const std::string before = UsbVersion("KIVO");
    ASSERT_FALSE(before.empty());
    {
        auto camera = Camera("KIVO");
        ASSERT_EQ(SvOpen(camera), 0);
        ASSERT_EQ(SvGotoFX3ProgramMode(camera), 0);
    }
    EXPECT_EQ(sim->Fx3Mode("kivo-fx3"), "bootloader");

    std::vector<int> progress;
    auto record = [&](int p) { progress.push_back(p); };
    sv::test::LogCapture log;
    ASSERT_EQ(SvUpgradeFX3FW(SV_FX3_FW_TARGET_RAM, WriteImage("prog.img", ProgrammerImage()), record), 0);
    EXPECT_EQ(sim->Fx3Mode("kivo-fx3"), "programmer");
    EXPECT_EQ(progress.back(), 100);

    progress.clear();
    const auto image = CameraImage({25, 1, 2, 3});
    ASSERT_EQ(SvUpgradeFX3FW(SV_FX3_FW_TARGET_SPI_FLASH, WriteImage("cam.img", image), record), 0);
    const std::string text = log.Text();
    EXPECT_NE(text.find("Found FX3 USB BootLoader"), std::string::npos);
    EXPECT_NE(text.find("Downloading firmware image into internal RAM"), std::string::npos);
    EXPECT_NE(text.find("Programming to RAM completed"), std::string::npos);
    EXPECT_NE(text.find("Found FX3 Flash Programmer"), std::string::npos);
    EXPECT_NE(text.find("FX3 firmware programming to SPI started. Please wait..."), std::string::npos);
    EXPECT_NE(text.find("Programming to SPI completed"), std::string::npos);
    for (size_t i = 1; i < progress.size(); ++i) EXPECT_LE(progress[i - 1], progress[i]);
    EXPECT_EQ(progress.back(), 100);

    std::vector<uint8_t> flash;
    ASSERT_TRUE(sim->Fx3SpiFlash("kivo-fx3", flash));
    EXPECT_EQ(std::vector<uint8_t>(flash.begin(), flash.begin() + static_cast<std::ptrdiff_t>(image.size())), image);
    EXPECT_EQ(sim->Fx3Mode("kivo-fx3"), "absent");
    sv::ResetCameraManagerForTesting();
    EXPECT_EQ(UsbVersion("KIVO"), "25.01.02.03") << "was " << before;
}

TEST_F(Fx3UpgradeTest, I2cImageOnTheLiraBridge) {
    auto sim = InstallDefault();
    {
        auto camera = Camera("LIRA");
        ASSERT_EQ(SvOpen(camera), 0);
        ASSERT_EQ(SvGotoFX3ProgramMode(camera), 0);
    }
    ASSERT_EQ(SvUpgradeFX3FW(SV_FX3_FW_TARGET_RAM, WriteImage("prog.img", ProgrammerImage()), nullptr), 0);
    // The LIRA bridge has four 32 KiB EEPROMs: size code 5.
    const auto image = CameraImage({24, 12, 9, 1}, 5);
    ASSERT_EQ(SvUpgradeFX3FW(SV_FX3_FW_TARGET_I2C_EEPROM, WriteImage("cam.img", image), nullptr), 0);
    std::vector<uint8_t> chip;
    ASSERT_TRUE(sim->Fx3Eeprom("lira-fx3", 0, chip));
    EXPECT_EQ(std::vector<uint8_t>(chip.begin(), chip.begin() + static_cast<std::ptrdiff_t>(image.size())), image);
    sv::ResetCameraManagerForTesting();
    EXPECT_EQ(UsbVersion("LIRA"), "24.12.09.01");
}

TEST_F(Fx3UpgradeTest, EmptyPathAndMissingFile) {
    auto sim = InstallDefault();
    svtest::TraceCapture trace(*sim);
    sv::test::LogCapture log;
    EXPECT_EQ(SvUpgradeFX3FW(SV_FX3_FW_TARGET_RAM, "", nullptr), -1);
    EXPECT_EQ(SvUpgradeFX3FW(SV_FX3_FW_TARGET_RAM, dir_.File("none.img"), nullptr), -1);
    const std::string text = log.Text();
    EXPECT_NE(text.find("Firmware binary or target not specified"), std::string::npos);
    EXPECT_NE(text.find("Cannot open firmware file: " + dir_.File("none.img")), std::string::npos);
    EXPECT_NE(text.find("] " + dir_.File("none.img") + ": " + std::strerror(ENOENT)), std::string::npos) << text;
    EXPECT_EQ(trace.Count({"usb."}), 0);
}

TEST_F(Fx3UpgradeTest, NoBridgeSearchesTenPassesInDeviceTime) {
    auto sim = InstallDefault();
    const int64_t before = sim->DeviceTimeUs();
    sv::test::LogCapture log;
    EXPECT_EQ(SvUpgradeFX3FW(SV_FX3_FW_TARGET_RAM, WriteImage("prog.img", ProgrammerImage()), nullptr), -1);
    const std::string text = log.Text();
    EXPECT_NE(text.find("FX3 USB BootLoader Device not found"), std::string::npos);
    EXPECT_EQ(sim->DeviceTimeUs() - before, 10 * 1000000);
}

TEST_F(Fx3UpgradeTest, FlashTargetWithOnlyABootloaderStopsAfterOnePass) {
    auto sim = InstallWorld(svtest::Fx3World(R"("mode": "bootloader")"));
    const int64_t before = sim->DeviceTimeUs();
    sv::test::LogCapture log;
    EXPECT_EQ(SvUpgradeFX3FW(SV_FX3_FW_TARGET_I2C_EEPROM, WriteImage("cam.img", CameraImage({1, 2, 3, 4})), nullptr), -1);
    const std::string text = log.Text();
    const size_t found = text.find("Found FX3 USB BootLoader instead of Flash Programmer");
    ASSERT_NE(found, std::string::npos);
    const size_t a = text.find("For downloading firmware image to I2C, first download Flash Programmer image into RAM");
    const size_t b = text.find("Flash Programmer device is required for downloading image to I2C");
    const size_t c = text.find("Flash Programmer image is available in <SuiteUSB Install Path>\\bin directory");
    EXPECT_TRUE(found < a && a < b && b < c && c != std::string::npos) << text;
    EXPECT_EQ(sim->DeviceTimeUs(), before) << "no wait: the bootloader ended the search";
}

TEST_F(Fx3UpgradeTest, RamTargetIgnoresAProgrammerAndAnotherVendor) {
    auto sim = InstallWorld(R"({"devices": [], "fx3": [
        {"id": "other", "mode": "bootloader", "vendorId": "1234"},
        {"id": "prog", "mode": "programmer"}]})");
    sv::test::LogCapture log;
    EXPECT_EQ(SvUpgradeFX3FW(SV_FX3_FW_TARGET_RAM, WriteImage("prog.img", ProgrammerImage()), nullptr), -1);
    EXPECT_NE(log.Text().find("FX3 USB BootLoader Device not found"), std::string::npos);
    EXPECT_EQ(sim->Fx3Mode("prog"), "programmer");
}

TEST_F(Fx3UpgradeTest, AnotherTargetWithABootloaderIsAnInvalidMediaType) {
    InstallWorld(svtest::Fx3World(R"("mode": "bootloader")"));
    sv::test::LogCapture log;
    EXPECT_EQ(SvUpgradeFX3FW(static_cast<SV_FX3_FW_TARGET>(5), WriteImage("x.img", ProgrammerImage()), nullptr), 1);
    const std::string text = log.Text();
    EXPECT_NE(text.find("Found FX3 USB BootLoader"), std::string::npos);
    EXPECT_NE(text.find("Invalid Media type"), std::string::npos);
}

TEST_F(Fx3UpgradeTest, BadImagesAreRefusedBeforeTheBridgeIsTouched) {
    auto sim = InstallWorld(svtest::Fx3World(R"("mode": "bootloader")"));
    svtest::TraceCapture trace(*sim);
    auto noSig = ProgrammerImage();
    noSig[0] = 'c';
    sv::test::LogCapture log;
    EXPECT_EQ(SvUpgradeFX3FW(SV_FX3_FW_TARGET_RAM, WriteImage("bad.img", noSig), nullptr), 3);
    EXPECT_EQ(SvUpgradeFX3FW(SV_FX3_FW_TARGET_SPI_FLASH, WriteImage("empty.img", {}), nullptr), 6);
    const std::string text = log.Text();
    EXPECT_NE(text.find("Error: Firmware download failed unexpectedly with error code: INVALID_FWSIGNATURE"),
              std::string::npos);
    EXPECT_NE(text.find("Please verify the connection to external SPI device"), std::string::npos);
    EXPECT_EQ(trace.Count({"usb."}), 0);
}

TEST_F(Fx3UpgradeTest, AFailedEraseReturnsSevenWithTheSpiHints) {
    InstallWorld(svtest::Fx3World(
        R"("mode": "programmer", "faults": [{"op": "usb.control", "selector": 196, "on": 1, "times": 0}])"));
    sv::test::LogCapture log;
    EXPECT_EQ(SvUpgradeFX3FW(SV_FX3_FW_TARGET_SPI_FLASH, WriteImage("cam.img", CameraImage({1, 2, 3, 4})), nullptr), 7);
    const std::string text = log.Text();
    const size_t error = text.find("SPI_FLASH_ERASE_FAILED");
    const size_t hint = text.find("CYUSB3KIT-003 EZ-USB FX3 SuperSpeed Explorer Kit does not have onboard SPI FLASH");
    EXPECT_TRUE(error != std::string::npos && hint != std::string::npos && error < hint) << text;
}

TEST_F(Fx3UpgradeTest, ACloseFailureIsLoggedAndReported) {
    InstallWorld(svtest::Fx3World(R"("mode": "bootloader", "faults": [{"op": "usb.close", "on": 1, "times": 0}])"));
    sv::test::LogCapture log;
    int r = 0;
    EXPECT_NO_THROW(r = SvUpgradeFX3FW(SV_FX3_FW_TARGET_RAM, WriteImage("prog.img", ProgrammerImage()), nullptr));
    EXPECT_EQ(r, -1);
    EXPECT_NE(log.Text().find("Failed to close handle to driver."), std::string::npos);
}

TEST_F(Fx3UpgradeTest, AThrowingProgressFunctionIsAFailureNotAnException) {
    InstallWorld(svtest::Fx3World(R"("mode": "bootloader")"));
    int r = 0;
    EXPECT_NO_THROW(r = SvUpgradeFX3FW(SV_FX3_FW_TARGET_RAM, WriteImage("prog.img", ProgrammerImage()),
                                       [](int) { throw std::runtime_error("host gave up"); }));
    EXPECT_EQ(r, -1);
}

TEST_F(Fx3UpgradeTest, TheNativeBackEndServesNoBridge) {
    sv::platform::SetBackendForTesting(sv::platform::CreateNativeBackend());
    uint32_t count = 99;
    EXPECT_EQ(sv::platform::GetBackend()->CountVendorUsbDevices(count), 0);
    EXPECT_EQ(count, 0u);
    std::shared_ptr<sv::platform::VendorUsbDevice> device;
    EXPECT_NE(sv::platform::GetBackend()->OpenVendorUsbDevice(0, device), 0);
    EXPECT_FALSE(device);
}
