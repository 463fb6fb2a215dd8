// The LUMO module of a LIRA camera on the simulated machine: product check,
// loader mode and erase, programming with verification, the packets on the
// wire, bad images, refused answers and failed transfers.

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "camera/MakerWorld.h"
#include "common/LogCapture.h"
#include "firmware/SensorImages.h"

using sv::test::LogCapture;
using sv::test::TempDir;

namespace {

// The loader's CRC, written out here from its definition.
uint32_t Crc(const std::vector<uint8_t>& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc & 1u) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return crc;
}

using Transfer = svtest::I2cTransfer;

// The generic I2C transfers to the module's microcontroller.
std::vector<Transfer> TransfersOf(const svtest::TraceCapture& trace) {
    std::vector<Transfer> out;
    for (auto& t : svtest::I2cTransfersOf(trace)) {
        if (t.device == 0x48) out.push_back(std::move(t));
    }
    return out;
}

// What a packet's write carries after its two register bytes.
std::vector<uint8_t> PacketData(uint8_t command, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> body = {command};
    body.insert(body.end(), payload.begin(), payload.end());
    const uint32_t crc = Crc(body);
    std::vector<uint8_t> data = {0x00};
    data.insert(data.end(), body.begin(), body.end());
    for (int i = 0; i < 4; ++i) data.push_back(static_cast<uint8_t>(crc >> (8 * i)));
    return data;
}

class LumoUpgradeTest : public svtest::MakerCameraTest {
protected:
    std::shared_ptr<SvCamera> OpenLira(const std::string& extraXu = "") {
        return OpenMaker(svtest::kLiraName, "0822",
                         R"({"model": "lira", "sensor": {"chipId": "0x0F56", "customerId": "0x00A1"})" + extraXu + "}");
    }
    std::string File(const std::vector<uint8_t>& bytes, const std::string& name = "image.bin") {
        std::ofstream out(dir_.File(name), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return dir_.File(name);
    }
    TempDir dir_;
};

TEST_F(LumoUpgradeTest, ProductCheckWaitsForTheSensorCheck) {
    auto camera = OpenLira(R"(, "sidPolls": 3)");
    std::string product, color;
    ASSERT_EQ(SvCheckProduct(camera, product, color), 0);
    EXPECT_EQ(product, "LUMO-AR0822");
    EXPECT_EQ(color, "M");

    auto stuck = OpenLira(R"(, "sidPolls": 25)");
    LogCapture failed;
    EXPECT_EQ(SvCheckProduct(stuck, product, color), -1);
    EXPECT_TRUE(failed.Contains("] Check SID status fail, error = 0x0001"));
}

TEST_F(LumoUpgradeTest, CleanUnlocksAndErasesWithTheLoadersPackets) {
    auto camera = OpenLira();
    svtest::TraceCapture trace(*backend_);
    ASSERT_EQ(SvCleanSensorFW(camera), 0);
    const auto transfers = TransfersOf(trace);
    const std::vector<uint8_t> password(32, 0xFF);
    // Marker read, then each packet: its write, the acknowledgement and the answer.
    ASSERT_EQ(transfers.size(), 7u);
    EXPECT_FALSE(transfers[0].write);
    EXPECT_EQ(transfers[0].addressLength, 1);
    EXPECT_EQ(transfers[0].reg, 0xBB);
    EXPECT_TRUE(transfers[1].write);
    EXPECT_EQ(transfers[1].reg, 0x8021);
    EXPECT_EQ(transfers[1].data, PacketData(0x21, password));
    EXPECT_EQ(transfers[2].reg, 0x8021);
    EXPECT_EQ(transfers[2].length, 1);
    EXPECT_EQ(transfers[3].length, 9);
    EXPECT_EQ(transfers[4].reg, 0x8001);
    EXPECT_EQ(transfers[4].data, PacketData(0x15, {}));
}

TEST_F(LumoUpgradeTest, AnImageIsProgrammedVerifiedAndBooted) {
    auto camera = OpenLira();
    ASSERT_EQ(SvCleanSensorFW(camera), 0);
    const auto image = svtest::LumoImage(0x0000, 300, 0x10000, 200);
    std::vector<int> progress;
    svtest::TraceCapture trace(*backend_);
    LogCapture log;
    ASSERT_EQ(SvUpgradeSensorFW(camera, File(image), [&](int p) { progress.push_back(p); }), 0);
    EXPECT_EQ(progress, (std::vector<int>{0, 21, 42, 50, 81, 100}));
    EXPECT_TRUE(log.Contains("] Bin Version: 1.2.3.4"));
    EXPECT_TRUE(log.Contains("] Control Addr: 0x00000000, Len: 0x0000012c"));
    EXPECT_TRUE(log.Contains("] Verification bootdata done"));

    std::vector<Transfer> programs;
    for (const auto& t : TransfersOf(trace)) {
        if (t.write && t.data.size() > 1 && t.data[1] == 0x20) programs.push_back(t);
    }
    ASSERT_EQ(programs.size(), 5u);
    // 128, 128 and 44 control bytes: n is 133, 133, 49; the writes carry n + 5.
    const std::vector<std::pair<int, std::size_t>> shape = {{0x8085, 138}, {0x8085, 138}, {0x8031, 54}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(programs[i].reg, shape[i].first);
        EXPECT_EQ(programs[i].data.size(), shape[i].second);
    }
    std::vector<uint8_t> first = {0x00, 0x00, 0x00, 0x00};
    first.insert(first.end(), image.begin() + 20, image.begin() + 148);
    EXPECT_EQ(programs[0].data, PacketData(0x20, first));
    // The bootdata goes to its own address.
    EXPECT_EQ(std::vector<uint8_t>(programs[3].data.begin() + 2, programs[3].data.begin() + 6),
              (std::vector<uint8_t>{0x00, 0x00, 0x01, 0x00}));
    // Entered directly: no start command at the end.
    for (const auto& t : TransfersOf(trace)) EXPECT_FALSE(t.write && t.data.size() > 1 && t.data[1] == 0x40);

    // The module now runs the new bootdata, also for a camera found afresh.
    std::string version;
    ASSERT_EQ(SvGetSensorFirmwareVersion(camera, version), 0);
    EXPECT_EQ(version, "02.03.500.11");
    auto again = Camera(svtest::kLiraName);
    ASSERT_EQ(SvOpen(again), 0);
    ASSERT_EQ(SvGetSensorFirmwareVersion(again, version), 0);
    EXPECT_EQ(version, "02.03.500.11");
}

TEST_F(LumoUpgradeTest, AModuleThatNeedsTheSyncPacketGetsTheStartCommandAtTheEnd) {
    auto camera = OpenLira(R"(, "bslSync": true)");
    svtest::TraceCapture trace(*backend_);
    ASSERT_EQ(SvCleanSensorFW(camera), 0);
    ASSERT_EQ(SvUpgradeSensorFW(camera, File(svtest::LumoImage(0, 64, 0x10000, 130)), nullptr), 0);
    bool sync = false, start = false;
    for (const auto& t : TransfersOf(trace)) {
        sync = sync || (t.write && t.data == PacketData(0x12, {}));
        start = start || (t.write && t.data == PacketData(0x40, {}));
    }
    EXPECT_TRUE(sync);
    EXPECT_TRUE(start);
}

TEST_F(LumoUpgradeTest, RefusedAnswersFailAndLockedOrUnlockedMattersNot) {
    // A loader that refuses the password answers a 0x3B message with a
    // non-zero status: that is a failure, whatever the message byte says.
    auto wrong = OpenLira(R"(, "bslPassword": ")" + std::string(64, '0') + "\"");
    EXPECT_EQ(SvCleanSensorFW(wrong), -1);
    // Without an erase the loader is still locked (or not in loader mode at
    // all, where nothing answers as a loader): programming fails.
    auto camera = OpenLira();
    EXPECT_EQ(SvUpgradeSensorFW(camera, File(svtest::LumoImage(0, 64, 0x10000, 130)), nullptr), -1);
    std::string version;
    ASSERT_EQ(SvGetSensorFirmwareVersion(camera, version), 0);
    EXPECT_EQ(version, "01.05.300.07") << "the old image still runs";
}

TEST_F(LumoUpgradeTest, BadImagesAreRefusedBeforeAnyTransfer) {
    auto camera = OpenLira();
    auto corrupt = svtest::LumoImage(0, 64, 0x10000, 130);
    svtest::PutLe(corrupt, 8, 0xFFFFFFF0u, 4);  // a control length far past the file
    auto wrapping = svtest::LumoImage(0xFFFFFF00u, 300, 0x10000, 130);
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
        {"empty", {}},
        {"shorter than its information block", std::vector<uint8_t>(19, 0)},
        {"truncated", std::vector<uint8_t>(corrupt.begin(), corrupt.begin() + 100)},
        {"corrupted lengths", corrupt},
        {"a section past the address space", wrapping},
        {"no sections", std::vector<uint8_t>(20, 0)},
        {"a KANO image", svtest::KanoImageV3(300)},
    };
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        const svtest::TransferLog transfers(*backend_, [&] {
            EXPECT_EQ(SvUpgradeSensorFW(camera, File(bytes), [](int) {}), -1);
        });
        EXPECT_EQ(transfers.Transfers(), 0u);
    }
}

TEST_F(LumoUpgradeTest, TheImageCheckRefusesWhatTheUpgradeRefusesAndTouchesNoDevice) {
    auto camera = OpenLira();
    auto corrupt = svtest::LumoImage(0, 64, 0x10000, 130);
    svtest::PutLe(corrupt, 8, 0xFFFFFFF0u, 4);
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> refused = {
        {"empty", {}},
        {"shorter than its information block", std::vector<uint8_t>(19, 0)},
        {"corrupted lengths", corrupt},
        {"a section past the address space", svtest::LumoImage(0xFFFFFF00u, 300, 0x10000, 130)},
        {"no sections", std::vector<uint8_t>(20, 0)},
        {"a KANO image", svtest::KanoImageV3(300)},
    };
    const svtest::TransferLog log(*backend_, [&] {
        for (const auto& [what, bytes] : refused) {
            SCOPED_TRACE(what);
            EXPECT_EQ(SvCheckSensorFWImage(camera, File(bytes)), -1);
        }
        EXPECT_EQ(SvCheckSensorFWImage(camera, dir_.File("missing.bin")), -1);
        EXPECT_EQ(SvCheckSensorFWImage(camera, File(svtest::LumoImage(0, 64, 0x10000, 130))), 0);
    });
    EXPECT_EQ(log.Transfers(), 0u);
}

TEST_F(LumoUpgradeTest, AModuleOutsideLoaderModeIsRefusedBeforeAnyPacket) {
    auto camera = OpenLira();
    svtest::TraceCapture trace(*backend_);
    LogCapture log;
    EXPECT_EQ(SvUpgradeSensorFW(camera, File(svtest::LumoImage(0, 64, 0x10000, 130)), nullptr), -1);
    trace.Stop();
    EXPECT_TRUE(log.Contains("is not in loader mode"));
    const auto transfers = TransfersOf(trace);
    ASSERT_FALSE(transfers.empty());
    for (const auto& t : transfers) {
        EXPECT_FALSE(t.write) << "a write to 0x" << std::hex << t.reg << " outside loader mode";
        EXPECT_NE(t.reg >> 8, 0x80) << "a loader register read outside loader mode";
    }
}

TEST_F(LumoUpgradeTest, TheModuleReportsItsOwnSensorIdAfterAnUpgrade) {
    const std::string own = "A1B2C3D4E5F60718293A4B5C6D7E8F90";
    auto camera = OpenMaker(svtest::kLiraName, "0822",
                            R"({"model": "lira", "sensor": {"chipId": "0x0F56", "fuseId": ")" + own + "\"}}");
    std::string uid;
    ASSERT_EQ(SvGetSensorUniqueID(camera, uid), 0);
    ASSERT_EQ(uid, own);
    ASSERT_EQ(SvCleanSensorFW(camera), 0);
    // The image's header carries the builder's unit's ID (10 11 ... 1F) and
    // checksums that hold for it.
    const auto image = svtest::LumoImage(0, 300, 0x10000, 200);
    ASSERT_TRUE(svtest::HeaderChecksumsHold(std::vector<uint8_t>(image.begin() + 320, image.begin() + 445)));
    ASSERT_EQ(SvUpgradeSensorFW(camera, File(image), nullptr), 0);
    ASSERT_EQ(SvGetSensorUniqueID(camera, uid), 0);
    EXPECT_EQ(uid, own);
    // The module boots a header whose ID is not taken as written; the rest is the image's.
    auto header = std::make_unique<SvHeaderV3>();
    ASSERT_EQ(SvGetBootdataHeaderV3(camera, header), 0);
    const auto* h = reinterpret_cast<const uint8_t*>(header.get());
    const uint16_t fixChecksum = header->fixChecksum;  // a packed field: read by value
    EXPECT_EQ(fixChecksum, 0xFFFF);
    EXPECT_EQ(std::vector<uint8_t>(h + 5, h + 21), std::vector<uint8_t>(16, 0xFF));
    EXPECT_EQ(std::vector<uint8_t>(h + 21, h + 101), std::vector<uint8_t>(image.begin() + 341, image.begin() + 421));
    std::string version;
    ASSERT_EQ(SvGetSensorFirmwareVersion(camera, version), 0);
    EXPECT_EQ(version, "02.03.500.11");
}

TEST_F(LumoUpgradeTest, AVerificationAnswerWrongOnlyInItsTopByteIsRefused) {
    auto camera = OpenLira(R"(, "bslCrcError": 4278190080)");  // 0xFF000000
    ASSERT_EQ(SvCleanSensorFW(camera), 0);
    LogCapture log;
    std::vector<int> progress;
    EXPECT_EQ(SvUpgradeSensorFW(camera, File(svtest::LumoImage(0, 300, 0x10000, 200)),
                                [&](int p) { progress.push_back(p); }),
              -1);
    EXPECT_TRUE(log.Contains("] verificationResponse: 0x"));
    EXPECT_FALSE(log.Contains("Verification mcu control done"));
    EXPECT_EQ(std::count(progress.begin(), progress.end(), 100), 0);
}

TEST_F(LumoUpgradeTest, EveryFailedTransferFailsTheUpgrade) {
    const auto image = svtest::LumoImage(0, 200, 0x10000, 140);
    // A fresh camera, opened and erased; `counts` gets its transfers so far.
    auto prepare = [&](std::map<std::string, int>& counts) {
        InstallWorld(svtest::MakerWorldJson(svtest::kLiraName, "0822",
                                            R"({"model": "lira", "sensor": {"chipId": "0x0F56"}})"));
        svtest::TraceCapture before(*backend_);
        auto camera = Camera(svtest::kLiraName);
        EXPECT_EQ(SvOpen(camera), 0);
        EXPECT_EQ(SvCleanSensorFW(camera), 0);
        before.Stop();
        for (const auto& j : before.Json()) ++counts[j.value("op", "")];
        return camera;
    };
    std::vector<std::pair<std::string, int>> positions;  // operation, its occurrence in the upgrade
    {
        std::map<std::string, int> counts;
        auto camera = prepare(counts);
        svtest::TraceCapture during(*backend_);
        ASSERT_EQ(SvUpgradeSensorFW(camera, File(image), nullptr), 0);
        during.Stop();
        std::map<std::string, int> seen;
        for (const auto& j : during.Json()) {
            const std::string op = j.value("op", "");
            if (op == "xu.set" || op == "xu.get") positions.emplace_back(op, ++seen[op]);
        }
    }
    ASSERT_GT(positions.size(), 10u);
    for (const auto& [op, n] : positions) {
        for (bool unplugged : {false, true}) {
            SCOPED_TRACE(testing::Message() << op << " " << n << (unplugged ? " unplugged" : ""));
            std::map<std::string, int> counts;
            auto camera = prepare(counts);
            sv::sim::FaultRule fault;
            fault.op = op;
            fault.on = static_cast<uint32_t>(counts[op] + n);
            fault.times = unplugged ? 0 : 1;  // a device that is gone answers nothing from then on
            fault.code = unplugged ? static_cast<sv::platform::HResult>(0x8007048F) : sv::platform::HR_E_FAIL;
            ASSERT_TRUE(backend_->AddFault("cam", fault));
            std::vector<int> progress;
            EXPECT_EQ(SvUpgradeSensorFW(camera, File(image), [&](int p) { progress.push_back(p); }), -1);
            EXPECT_EQ(std::count(progress.begin(), progress.end(), 100), 0) << "100 from a failed upgrade";
        }
    }
    std::printf("fault positions covered: %zu (each failed once and as an unplugged device)\n", positions.size());
}

}  // namespace
