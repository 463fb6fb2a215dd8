// The downloads against the simulated bridge: the exact requests of small
// cases, the memories afterwards, bad images refused before any transfer, and
// a fault at every transfer position ending in a failure.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "firmware/CyUSBDevice.h"
#include "firmware/Fx3Images.h"
#include "platform/SimTestUtil.h"
#include "platform/sim/SimBackend.h"

using sv::firmware::CCyUSBDevice;
using sv::firmware::FX3DownloadResult;
using svtest::Fx3Image;
using svtest::Fx3World;
using svtest::Pattern;

namespace {

struct Request {
    int type, request, value, index, length;
    bool operator==(const Request& o) const {
        return type == o.type && request == o.request && value == o.value && index == o.index && length == o.length;
    }
};

std::ostream& operator<<(std::ostream& os, const Request& r) {
    return os << "{0x" << std::hex << r.type << ", 0x" << r.request << ", 0x" << r.value << ", 0x" << r.index
              << std::dec << ", " << r.length << "}";
}

// The vendor requests of a trace (descriptor reads left out).
std::vector<Request> VendorRequests(const svtest::TraceCapture& trace) {
    std::vector<Request> out;
    for (const auto& j : trace.Json()) {
        if (j["op"] != "usb.control") continue;
        const int type = j["requestType"].get<int>();
        if ((type & 0x60) != 0x40) continue;
        out.push_back({type, j["request"].get<int>(), j["value"].get<int>(), j["index"].get<int>(),
                       j["length"].get<int>()});
    }
    return out;
}

int UsbLines(const svtest::TraceCapture& trace) {
    int n = 0;
    for (const auto& j : trace.Json()) n += j["op"].get<std::string>().rfind("usb.", 0) == 0 ? 1 : 0;
    return n;
}

class Fx3DownloadTest : public testing::Test {
protected:
    void TearDown() override { sv::platform::ResetBackend(); }

    std::shared_ptr<sv::sim::SimBackend> World(const std::string& fx3) {
        sim_ = sv::sim::InstallWorldForTesting(Fx3World(fx3));
        EXPECT_EQ(sim_->LoadError(), "");
        return sim_;
    }

    // Opens device 0 and downloads, recording progress.
    FX3DownloadResult Download(const std::vector<uint8_t>& image, int target, std::vector<int>* progress = nullptr) {
        CCyUSBDevice device;
        EXPECT_TRUE(device.IsOpen());
        return device.DownloadImage(image, target, [&](int p) {
            if (progress) progress->push_back(p);
        });
    }

    std::shared_ptr<sv::sim::SimBackend> sim_;
};

void ExpectMonotonicTo100(const std::vector<int>& progress) {
    ASSERT_FALSE(progress.empty());
    for (size_t i = 1; i < progress.size(); ++i) EXPECT_LE(progress[i - 1], progress[i]) << "at " << i;
    EXPECT_GE(progress.front(), 0);
    EXPECT_EQ(progress.back(), 100);
}

}  // namespace

TEST_F(Fx3DownloadTest, OpenReadsTheBootloaderDescriptors) {
    World(R"("mode": "bootloader")");
    CCyUSBDevice device;
    ASSERT_TRUE(device.IsOpen());
    EXPECT_EQ(device.DeviceCount(), 1);
    EXPECT_EQ(device.VendorID, 0x04B4);
    EXPECT_EQ(device.ProductID, 0x00F3);
    EXPECT_EQ(device.BcdUSB, 0x0200);
    EXPECT_EQ(device.Ep0PacketSize, 64u);
    EXPECT_EQ(device.LanguageID, 0x0409);
    EXPECT_EQ(device.FriendlyName, "FX3 USB BootLoader Device");
    EXPECT_EQ(device.Product, "FX3 USB BootLoader Device");
    ASSERT_TRUE(device.ControlEndPt);
    EXPECT_EQ(device.ControlEndPt->MaxPktSize, 64u);
    EXPECT_EQ(device.ControlEndPt->TimeOut, 10000u);
    EXPECT_TRUE(device.ProbeBootloader());
    EXPECT_FALSE(device.Open(1)) << "one device only";
    EXPECT_FALSE(device.IsOpen());
}

TEST_F(Fx3DownloadTest, OpenReadsASuperSpeedProgrammer) {
    World(R"("mode": "programmer", "superSpeed": true)");
    CCyUSBDevice device;
    ASSERT_TRUE(device.IsOpen());
    EXPECT_EQ(device.ProductID, 0x4720);
    EXPECT_EQ(device.BcdUSB, 0x0300);
    EXPECT_EQ(device.Ep0PacketSize, 512u);
    EXPECT_TRUE(device.bSuperSpeed);
    EXPECT_EQ(device.SuperSpeedCapability.size(), 10u);
    EXPECT_EQ(device.ContainerId.size(), 20u);
    ASSERT_NE(device.BulkInEndPt, nullptr);
    ASSERT_NE(device.BulkOutEndPt, nullptr);
    EXPECT_EQ(device.BulkInEndPt->Address, 0x81);
    EXPECT_EQ(device.BulkInEndPt->MaxPktSize, 1024u);
    EXPECT_FALSE(device.ProbeBootloader()) << "only the bootloader answers 0xA0";
}

TEST_F(Fx3DownloadTest, RamRecordsAreWrittenAndReadBackThreeTimesThenStarted) {
    auto sim = World(R"("mode": "bootloader")");
    const auto first = Pattern(3000);
    const auto second = Pattern(8, 0x80);
    const auto image = Fx3Image({{0x40000000, first}, {0x00001000, second}}, 0x40000010);
    svtest::TraceCapture trace(*sim);
    std::vector<int> progress;
    ASSERT_EQ(Download(image, 1, &progress), FX3DownloadResult::Success);

    std::vector<Request> want;
    auto chunk = [&](int value, int index, int length) {
        for (int pass = 0; pass < 3; ++pass) {
            want.push_back({0x40, 0xA0, value, index, length});
            want.push_back({0xC0, 0xA0, value, index, length});
        }
    };
    chunk(0x0000, 0x4000, 2048);
    chunk(0x0800, 0x4000, 952);
    chunk(0x1000, 0x0000, 8);
    want.push_back({0x40, 0xA0, 0x0010, 0x4000, 0});
    EXPECT_EQ(VendorRequests(trace), want);

    std::vector<uint8_t> ram;
    ASSERT_TRUE(sim->Fx3Ram("fx3", 0x40000000, first.size(), ram));
    EXPECT_EQ(ram, first);
    ASSERT_TRUE(sim->Fx3Ram("fx3", 0x1000, second.size(), ram));
    EXPECT_EQ(ram, second);
    ExpectMonotonicTo100(progress);
    EXPECT_EQ(progress.size(), 4u);
    EXPECT_EQ(sim->Fx3Mode("fx3"), "absent") << "a program without identity runs off the bus";
}

TEST_F(Fx3DownloadTest, I2cChunksGoToTheirDeviceAndAddressAndAreReadBack) {
    auto sim = World(R"("mode": "programmer", "eeprom": {"size": 4096, "devices": 2})");
    // 5000 bytes, size code 2 (4 KiB devices).
    const auto image = svtest::Fx3ImageOfSize(5000, 2);
    ASSERT_EQ(image.size(), 5000u);
    svtest::TraceCapture trace(*sim);
    std::vector<int> progress;
    ASSERT_EQ(Download(image, 2, &progress), FX3DownloadResult::Success);
    const std::vector<Request> want{
        {0x40, 0xBA, 0, 0, 2048},    {0xC0, 0xBB, 0, 0, 2048},    {0x40, 0xBA, 0, 2048, 2048},
        {0xC0, 0xBB, 0, 2048, 2048}, {0x40, 0xBA, 1, 0, 960},     {0xC0, 0xBB, 1, 0, 960},
    };
    EXPECT_EQ(VendorRequests(trace), want);

    std::vector<uint8_t> chip0, chip1;
    ASSERT_TRUE(sim->Fx3Eeprom("fx3", 0, chip0));
    ASSERT_TRUE(sim->Fx3Eeprom("fx3", 1, chip1));
    EXPECT_EQ(chip0, std::vector<uint8_t>(image.begin(), image.begin() + 4096));
    EXPECT_EQ(std::vector<uint8_t>(chip1.begin(), chip1.begin() + 904),
              std::vector<uint8_t>(image.begin() + 4096, image.end()));
    EXPECT_EQ(std::vector<uint8_t>(chip1.begin() + 904, chip1.begin() + 960), std::vector<uint8_t>(56, 0))
        << "padded with zeros to whole 64-byte packets";
    EXPECT_EQ(chip1[960], 0xFF) << "nothing written beyond the padding";
    EXPECT_EQ(progress, (std::vector<int>{0, 40, 81, 100}));
}

TEST_F(Fx3DownloadTest, I2cLargeDevicesAreAddressedZeroFourOneFive) {
    auto sim = World(R"("mode": "programmer", "eeprom": {"size": 65536, "devices": 8})");
    const auto image = svtest::Fx3ImageOfSize(3 * 65536 + 2048, 7);
    svtest::TraceCapture trace(*sim);
    ASSERT_EQ(Download(image, 2), FX3DownloadResult::Success);
    std::vector<int> devices;
    for (const auto& r : VendorRequests(trace)) {
        if (r.request == 0xBA && (devices.empty() || devices.back() != r.value)) devices.push_back(r.value);
    }
    EXPECT_EQ(devices, (std::vector<int>{0, 4, 1, 5}));
    std::vector<uint8_t> chip;
    ASSERT_TRUE(sim->Fx3Eeprom("fx3", 1, chip));
    EXPECT_EQ(chip, std::vector<uint8_t>(image.begin() + 2 * 65536, image.begin() + 3 * 65536));
}

TEST_F(Fx3DownloadTest, SpiErasesSectorsThenWritesPagesPaddedWithTheErasedValue) {
    auto sim = World(R"("mode": "programmer", "spiFlash": {"size": 262144, "eraseBusyReads": 2})");
    auto image = svtest::Fx3ImageOfSize(65536);
    image.push_back(0x5A);  // 65537 bytes; the byte after the end record is carried along
    svtest::TraceCapture trace(*sim);
    std::vector<int> progress;
    ASSERT_EQ(Download(image, 3, &progress), FX3DownloadResult::Success);

    std::vector<Request> want;
    for (int sector = 0; sector < 2; ++sector) {
        want.push_back({0x40, 0xC4, 1, sector, 0});
        for (int poll = 0; poll < 3; ++poll) want.push_back({0xC0, 0xC4, 0, sector, 1});
    }
    for (int chunk = 0; chunk < 33; ++chunk) want.push_back({0x40, 0xC2, 0, chunk * 8, chunk < 32 ? 2048 : 256});
    EXPECT_EQ(VendorRequests(trace), want);

    std::vector<uint8_t> flash;
    ASSERT_TRUE(sim->Fx3SpiFlash("fx3", flash));
    EXPECT_EQ(std::vector<uint8_t>(flash.begin(), flash.begin() + 65537), image);
    EXPECT_EQ(std::vector<uint8_t>(flash.begin() + 65537, flash.begin() + 65792), std::vector<uint8_t>(255, 0xFF));
    ASSERT_GE(progress.size(), 3u);
    EXPECT_EQ(progress[0], 0);
    EXPECT_EQ(progress[1], 15);
    EXPECT_EQ(progress[2], 32);
    ExpectMonotonicTo100(progress);
}

TEST_F(Fx3DownloadTest, AStuckEraseEndsInAFailureAfterBoundedPolls) {
    auto sim = World(R"("mode": "programmer", "spiFlash": {"size": 131072, "eraseBusyReads": "stuck"})");
    const int64_t before = sim->DeviceTimeUs();
    EXPECT_EQ(Download(svtest::Fx3ImageOfSize(1024), 3), FX3DownloadResult::SpiFlashEraseFailed);
    EXPECT_GE(sim->DeviceTimeUs() - before, 4000000) << "the polls wait in device time";
}

TEST_F(Fx3DownloadTest, BadImagesAreRefusedBeforeAnyTransfer) {
    auto sim = World(R"("mode": "programmer", "eeprom": {"size": 4096, "devices": 8})");
    CCyUSBDevice device;
    ASSERT_TRUE(device.IsOpen());
    svtest::TraceCapture trace(*sim);

    auto noSig = svtest::Fx3ImageOfSize(64);
    noSig[0] = 'X';
    auto truncated = svtest::Fx3ImageOfSize(64);
    truncated.resize(60);
    auto wrapping = svtest::Fx3ImageOfSize(64);
    wrapping[4] = 0; wrapping[5] = 0; wrapping[6] = 0; wrapping[7] = 0x40;
    const std::vector<uint8_t> tooSmall{'C', 'Y', 0x04, 0xB0};
    const auto oversized = svtest::Fx3ImageOfSize(8 * 4096 + 4, 2);
    const auto unknownSize = svtest::Fx3ImageOfSize(64, 0);
    struct Case {
        const char* name;
        std::vector<uint8_t> image;
        int target;
        FX3DownloadResult want;
    } cases[] = {
        {"no signature", noSig, 1, FX3DownloadResult::InvalidFwSignature},
        {"no signature, SPI", noSig, 3, FX3DownloadResult::InvalidFwSignature},
        {"truncated", truncated, 1, FX3DownloadResult::IncorrectImageLength},
        {"truncated, I2C", truncated, 2, FX3DownloadResult::IncorrectImageLength},
        {"wrapping length", wrapping, 1, FX3DownloadResult::CorruptFirmwareImageFile},
        {"wrapping length, SPI", wrapping, 3, FX3DownloadResult::CorruptFirmwareImageFile},
        {"too small", tooSmall, 1, FX3DownloadResult::IncorrectImageLength},
        {"oversized for the EEPROM", oversized, 2, FX3DownloadResult::IncorrectImageLength},
        {"unknown EEPROM size", unknownSize, 2, FX3DownloadResult::I2cEepromUnknownSize},
        {"empty", {}, 1, FX3DownloadResult::InvalidFile},
        {"target 0", svtest::Fx3ImageOfSize(64), 0, FX3DownloadResult::InvalidMediaType},
        {"target 4", svtest::Fx3ImageOfSize(64), 4, FX3DownloadResult::InvalidMediaType},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(device.DownloadImage(c.image, c.target, nullptr), c.want) << c.name;
    }
    EXPECT_EQ(UsbLines(trace), 0) << "not one transfer";
}

// A fault at transfer k of a download, lasting (the device stops answering)
// or once: the download fails every time.
class Fx3FaultMatrix : public Fx3DownloadTest {
protected:
    struct Setup {
        std::string fx3;
        std::vector<uint8_t> image;
        int target;
    };

    // Transfers of a clean download (after Open).
    int CleanTransfers(const Setup& s) {
        auto sim = World(s.fx3);
        CCyUSBDevice device;
        svtest::TraceCapture trace(*sim);
        EXPECT_EQ(device.DownloadImage(s.image, s.target, nullptr), FX3DownloadResult::Success);
        return trace.Count({"\"op\":\"usb.control\""});
    }

    // Runs every position; answers how many were covered.
    int RunAll(const Setup& s, bool lasting) {
        const int n = CleanTransfers(s);
        EXPECT_GT(n, 0);
        for (int k = 1; k <= n; ++k) {
            auto sim = World(s.fx3);
            svtest::TraceCapture trace(*sim);
            CCyUSBDevice device;
            if (!device.IsOpen()) {
                ADD_FAILURE() << "no device";
                return 0;
            }
            // Occurrences so far are Open's; the fault counts from there.
            const int opened = trace.Count({"\"op\":\"usb.control\""});
            sv::sim::FaultRule fault;
            fault.op = "usb.control";
            fault.on = static_cast<uint32_t>(opened + k);
            fault.times = lasting ? 0 : 1;
            fault.code = sv::platform::HR_ERROR_GEN_FAILURE;
            EXPECT_TRUE(sim->AddFault("fx3", fault));
            const auto r = device.DownloadImage(s.image, s.target, nullptr);
            EXPECT_NE(r, FX3DownloadResult::Success) << "fault at transfer " << k << " of " << n
                                                     << (lasting ? " (lasting)" : " (once)");
        }
        return n;
    }

};

TEST_F(Fx3FaultMatrix, RamEveryPositionFails) {
    const Setup s{R"("mode": "bootloader")", Fx3Image({{0x40000000, Pattern(2100)}}, 0x40000000), 1};
    const int n = RunAll(s, true);
    EXPECT_EQ(n, 13) << "two chunks of three write/read passes and the jump";
    RecordProperty("positions", n);
}

TEST_F(Fx3FaultMatrix, I2cEveryPositionFailsLastingOrOnce) {
    const Setup s{R"("mode": "programmer", "eeprom": {"size": 4096, "devices": 2})", svtest::Fx3ImageOfSize(5000, 2), 2};
    EXPECT_EQ(RunAll(s, true), 6);
    EXPECT_EQ(RunAll(s, false), 6);
}

TEST_F(Fx3FaultMatrix, SpiEveryPositionFailsLastingOrOnce) {
    const Setup s{R"("mode": "programmer", "spiFlash": {"size": 131072, "eraseBusyReads": 1})",
                  svtest::Fx3ImageOfSize(4100), 3};
    // One sector: erase, two status reads; three chunks.
    EXPECT_EQ(RunAll(s, true), 6);
    EXPECT_EQ(RunAll(s, false), 6);
}

TEST_F(Fx3FaultMatrix, RamFaultsInTheFirstTwoPassesAreRecoveredAndVerified) {
    // The third pass decides: a single failed write or read before it is
    // repaired, and the RAM holds the image.
    const auto data = Pattern(64);
    const auto image = Fx3Image({{0x40000000, data}}, 0x40000000);
    for (int k = 1; k <= 4; ++k) {
        auto sim = World(R"("mode": "bootloader")");
        CCyUSBDevice device;
        sv::sim::FaultRule fault;
        fault.op = "usb.control";
        fault.selector = 0xA0;
        fault.on = static_cast<uint32_t>(k);  // Open makes no 0xA0 request
        ASSERT_TRUE(sim->AddFault("fx3", fault));
        EXPECT_EQ(device.DownloadImage(image, 1, nullptr), FX3DownloadResult::Success) << k;
        std::vector<uint8_t> ram;
        ASSERT_TRUE(sim->Fx3Ram("fx3", 0x40000000, data.size(), ram));
        EXPECT_EQ(ram, data);
    }
}
