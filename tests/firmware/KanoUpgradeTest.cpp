// The KANO module of a KIVO camera on the simulated machine: product check,
// store erase, image write and seal, bad images, failed transfers, and an
// upgrade holding the camera against other threads.

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "camera/MakerWorld.h"
#include "common/LogCapture.h"
#include "firmware/SensorImages.h"

using sv::test::LogCapture;
using sv::test::TempDir;

namespace {

constexpr const char* kUid = "0123456789ABCDEF0123456789ABCDEF";

// The generic I2C writes with 2-byte register addresses.
std::vector<svtest::I2cTransfer> I2cWritesOf(const svtest::TraceCapture& trace) {
    std::vector<svtest::I2cTransfer> writes;
    for (auto& t : svtest::I2cTransfersOf(trace)) {
        if (t.write && t.addressLength == 2) writes.push_back(std::move(t));
    }
    return writes;
}

class KanoUpgradeTest : public svtest::MakerCameraTest {
protected:
    std::string KivoWorld() {
        return svtest::MakerWorldJson(svtest::kKivoName, "0821",
                                      std::string(R"({"model": "kivo", "sensor": {"fuseId": ")") + kUid + R"("}})");
    }
    std::shared_ptr<SvCamera> OpenKivo() {
        InstallWorld(KivoWorld());
        auto camera = Camera(svtest::kKivoName);
        EXPECT_EQ(SvOpen(camera), 0);
        return camera;
    }
    std::string File(const std::vector<uint8_t>& bytes, const std::string& name = "image.bin") {
        std::ofstream out(dir_.File(name), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return dir_.File(name);
    }
    // `count` bytes of the store from `offset`, through the public interface.
    std::vector<uint8_t> Store(const std::shared_ptr<SvCamera>& camera, uint32_t offset, std::size_t count) {
        std::vector<uint8_t> bytes(count);
        for (std::size_t at = 0; at < count;) {
            const std::size_t n = std::min<std::size_t>(count - at, 200);
            const uint32_t x = offset + static_cast<uint32_t>(at);
            const uint8_t device = x < 0x10000 ? 0x54 : 0x55;
            EXPECT_EQ(SvGenericI2CRead(camera, device, 2, static_cast<uint16_t>(x & 0xFFFF), static_cast<uint16_t>(n),
                                       bytes.data() + at),
                      0);
            at += n;
        }
        return bytes;
    }
    TempDir dir_;
};

TEST_F(KanoUpgradeTest, AVersion3ImageIsWrittenInChunksAndSealedWithThisCamerasId) {
    auto camera = OpenKivo();
    const auto image = svtest::KanoImageV3(300);
    std::vector<int> progress;
    svtest::TraceCapture trace(*backend_);
    LogCapture log;
    ASSERT_EQ(SvUpgradeSensorFW(camera, File(image), [&](int p) { progress.push_back(p); }), 0);
    EXPECT_EQ(progress, (std::vector<int>{33, 66, 100}));
    EXPECT_TRUE(log.Contains("] DownloadBootdata Completed."));

    const auto writes = I2cWritesOf(trace);
    ASSERT_EQ(writes.size(), 3u + 8u + 2u);
    // The chunks: 128 at 0, 128 at 128, 44 at 256, all at 0x54. The first
    // carries this camera's id and "not computed" checksums, never the image's.
    std::vector<uint8_t> first(image.begin(), image.begin() + 128);
    const uint8_t uid[16] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF,
                             0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    std::copy(uid, uid + 16, first.begin() + 5);
    first[101] = first[102] = first[123] = first[124] = 0xFF;
    EXPECT_EQ(writes[0].device, 0x54);
    EXPECT_EQ(writes[0].reg, 0x0000);
    EXPECT_EQ(writes[0].data, first);
    EXPECT_EQ(writes[1].reg, 0x0080);
    EXPECT_EQ(writes[1].data, std::vector<uint8_t>(image.begin() + 128, image.begin() + 256));
    EXPECT_EQ(writes[2].reg, 0x0100);
    EXPECT_EQ(writes[2].data, std::vector<uint8_t>(image.begin() + 256, image.end()));
    // The id as eight big-endian words at registers 5 to 19.
    for (int i = 0; i < 8; ++i) {
        const auto& w = writes[static_cast<std::size_t>(3 + i)];
        EXPECT_EQ(w.device, 0x54);
        EXPECT_EQ(w.reg, 5 + 2 * i);
        EXPECT_EQ(w.data, (std::vector<uint8_t>{uid[(2 * i) % 8], uid[(2 * i) % 8 + 1]}));
    }
    // The checksums over the sealed header, low byte first, at 101 and 123.
    std::vector<uint8_t> sealed = first;
    sealed.resize(125);
    svtest::PutLe(sealed, 101, svtest::SumMod65535(sealed, 0, 101), 2);
    EXPECT_EQ(writes[11].reg, 101);
    EXPECT_EQ(writes[11].data, (std::vector<uint8_t>{sealed[101], sealed[102]}));
    svtest::PutLe(sealed, 123, svtest::SumMod65535(sealed, 0, 122), 2);
    EXPECT_EQ(writes[12].reg, 123);
    EXPECT_EQ(writes[12].data, (std::vector<uint8_t>{sealed[123], sealed[124]}));

    // The camera now boots the image: its header, firmware text and id.
    const auto header = Store(camera, 0, 125);
    EXPECT_TRUE(svtest::HeaderChecksumsHold(header));
    EXPECT_EQ(Store(camera, 125, 175), std::vector<uint8_t>(image.begin() + 125, image.end()));
    std::string text;
    ASSERT_EQ(SvGetSensorFirmwareVersion(camera, text), 0);
    EXPECT_EQ(text, "02.01.400.09");
    ASSERT_EQ(SvGetSensorUniqueID(camera, text), 0);
    EXPECT_EQ(text, kUid);
}

TEST_F(KanoUpgradeTest, Version2ImagesAreWrittenAsTheyAreWithTheirProgress) {
    auto camera = OpenKivo();
    struct Case {
        std::size_t size;
        std::vector<int> progress;
        std::vector<int> regs;
    };
    for (const Case& c : {Case{300, {33, 66, 100}, {0x0000, 0x0080, 0x0100}}, Case{256, {49, 99, 100}, {0x0000, 0x0080}}}) {
        SCOPED_TRACE(c.size);
        const auto image = svtest::KanoImageV2(c.size);
        std::vector<int> progress;
        svtest::TraceCapture trace(*backend_);
        ASSERT_EQ(SvUpgradeSensorFW(camera, File(image), [&](int p) { progress.push_back(p); }), 0);
        EXPECT_EQ(progress, c.progress);
        std::vector<int> regs;
        for (const auto& w : I2cWritesOf(trace)) regs.push_back(w.reg);
        EXPECT_EQ(regs, c.regs) << "no id and no checksums for a version 2 image";
        EXPECT_EQ(Store(camera, 0, c.size), image);
    }
    std::string text;
    ASSERT_EQ(SvGetSensorFirmwareVersion(camera, text), 0);
    EXPECT_EQ(text, "03.04.05");
}

TEST_F(KanoUpgradeTest, AnEmptyProgressCallbackIsNoProgress) {
    auto camera = OpenKivo();
    EXPECT_EQ(SvUpgradeSensorFW(camera, File(svtest::KanoImageV2(300)), nullptr), 0);
}

namespace {

// Images a KIVO's upgrade refuses, each with what is wrong with it.
std::vector<std::pair<const char*, std::vector<uint8_t>>> ImagesToRefuse() {
    auto truncated = svtest::KanoImageV3(400);
    truncated.resize(300);  // the header still announces 275 content bytes
    return {
        {"empty", {}},
        {"larger than the store", svtest::KanoImageV2(0x20001)},
        {"truncated", truncated},
        {"shorter than its header", std::vector<uint8_t>(100, 3)},
        {"a LUMO image", svtest::LumoImage(0, 300, 0x10000, 200)},
    };
}

}  // namespace

TEST_F(KanoUpgradeTest, BadImagesAreRefusedBeforeAnyTransfer) {
    auto camera = OpenKivo();
    for (const auto& [what, bytes] : ImagesToRefuse()) {
        SCOPED_TRACE(what);
        const svtest::TransferLog log(*backend_, [&] {
            EXPECT_EQ(SvUpgradeSensorFW(camera, File(bytes), [](int) {}), -1);
        });
        EXPECT_EQ(log.Transfers(), 0u);
    }
    LogCapture messages;
    EXPECT_EQ(SvUpgradeSensorFW(camera, dir_.File("missing.bin"), [](int) {}), -1);
    EXPECT_TRUE(messages.Contains("[SvKANOFirmwareUpgrade::UpgradeSensorFW]"));
    EXPECT_TRUE(messages.Contains("] Failed to open firmware file"));
    // The next line names the file and the system's reason.
    EXPECT_TRUE(messages.Contains("] " + dir_.File("missing.bin") + ": " + std::strerror(ENOENT))) << messages.Text();
}

TEST_F(KanoUpgradeTest, EveryFailedTransferFailsTheUpgradeAndNoPartialImageIsSealed) {
    const auto image = svtest::KanoImageV3(300);
    // The transfers of a clean upgrade, from its first store write on: the
    // sensor-ID read before it polls and retries as the sensor protocol does,
    // so a single lost read there is made good and is no failure.
    std::vector<std::pair<std::string, int>> positions;  // operation, its occurrence in the upgrade
    {
        auto camera = OpenKivo();
        svtest::TraceCapture trace(*backend_);
        ASSERT_EQ(SvUpgradeSensorFW(camera, File(image), [](int) {}), 0);
        int sets = 0, gets = 0;
        bool writing = false;
        for (const auto& j : trace.Json()) {
            const std::string op = j.value("op", "");
            if (op != "xu.set" && op != "xu.get") continue;
            const int n = op == "xu.set" ? ++sets : ++gets;
            writing = writing || (op == "xu.set" && j.value("payload", "").rfind("a8020000", 0) == 0);
            if (writing) positions.emplace_back(op, n);
        }
    }
    ASSERT_GT(positions.size(), 13u);
    int runs = 0;
    for (const auto& [op, n] : positions) {
        for (bool unplugged : {false, true}) {
            SCOPED_TRACE(testing::Message() << op << " " << n << (unplugged ? " unplugged" : ""));
            InstallWorld(KivoWorld());
            svtest::TraceCapture before(*backend_);
            auto camera = Camera(svtest::kKivoName);
            ASSERT_EQ(SvOpen(camera), 0);
            int done = 0;
            for (const auto& j : before.Json()) done += j.value("op", "") == op;
            before.Stop();
            sv::sim::FaultRule fault;
            fault.op = op;
            fault.on = static_cast<uint32_t>(done + n);
            fault.times = unplugged ? 0 : 1;  // a device that is gone answers nothing from then on
            fault.code = unplugged ? static_cast<sv::platform::HResult>(0x8007048F) : sv::platform::HR_E_FAIL;
            ASSERT_TRUE(backend_->AddFault("cam", fault));
            std::vector<int> progress;
            EXPECT_EQ(SvUpgradeSensorFW(camera, File(image), [&](int p) { progress.push_back(p); }), -1);
            // 100 means done: a failed upgrade never says it, the last write's failure included.
            EXPECT_EQ(std::count(progress.begin(), progress.end(), 100), 0);
            ++runs;
            if (unplugged) continue;  // nothing can be read back from a device that is gone
            EXPECT_FALSE(svtest::HeaderChecksumsHold(Store(camera, 0, 125)))
                << "a failed upgrade left a header that reads as sealed";
        }
    }
    RecordProperty("runs", runs);
    std::printf("fault positions covered: %zu (each failed once and as an unplugged device)\n", positions.size());
}

TEST_F(KanoUpgradeTest, AnUpgradeHoldsTheCameraAgainstOtherThreads) {
    auto camera = OpenKivo();
    std::atomic<bool> otherStarted{false};
    std::atomic<bool> otherDone{false};
    std::thread other;
    bool interleaved = false;
    auto progress = [&](int) {
        if (!other.joinable()) {
            other = std::thread([&] {
                otherStarted = true;
                int value = 0, flag = 0;
                EXPECT_EQ(SvGetISPImageProcessing(camera, SV_ISP_GAMMA, value, flag), 0);
                otherDone = true;
            });
            while (!otherStarted) std::this_thread::yield();
        }
        interleaved = interleaved || otherDone;
    };
    ASSERT_EQ(SvUpgradeSensorFW(camera, File(svtest::KanoImageV2(600)), progress), 0);
    other.join();
    EXPECT_FALSE(interleaved) << "another thread's call ran inside the upgrade";
    EXPECT_TRUE(otherDone);
}

// A version 3 KANO image whose content starts after padding: the header says
// the content begins at `contentOffset` and runs `contentLen` bytes.
std::vector<uint8_t> PaddedKanoImage(uint16_t contentOffset, uint32_t contentLen) {
    std::vector<uint8_t> image = svtest::HeaderV3("KIVO-AR0234", 2, 1, 400, 9, contentLen);
    svtest::PutLe(image, 1, contentOffset, 2);
    image.resize(contentOffset, 0x00);
    const auto content = svtest::Content(contentLen, 0x5A);
    image.insert(image.end(), content.begin(), content.end());
    return image;
}

TEST_F(KanoUpgradeTest, ContentAfterPaddingMustBeWhollyInTheFile) {
    auto camera = OpenKivo();
    // 300 content bytes from offset 256: the file must hold 556 bytes. Cut
    // short by 20 it still holds header + 300 bytes, which is not enough.
    auto cut = PaddedKanoImage(256, 300);
    ASSERT_EQ(cut.size(), 556u);
    cut.resize(536);
    LogCapture log;
    const svtest::TransferLog refused(*backend_, [&] {
        EXPECT_EQ(SvCheckSensorFWImage(camera, File(cut)), -1);
        EXPECT_EQ(SvUpgradeSensorFW(camera, File(cut), [](int) {}), -1);
    });
    EXPECT_EQ(refused.Transfers(), 0u);
    EXPECT_TRUE(log.Contains("300 content bytes from offset 256"));
    // An offset near the 16-bit limit with the largest length does not wrap.
    auto huge = PaddedKanoImage(0xFFF0, 16);
    svtest::PutLe(huge, 117, 0xFFFFFFFFu, 4);
    EXPECT_EQ(SvCheckSensorFWImage(camera, File(huge)), -1);
    // The whole padded image is taken and written as it is.
    const auto whole = PaddedKanoImage(256, 300);
    EXPECT_EQ(SvCheckSensorFWImage(camera, File(whole)), 0);
    ASSERT_EQ(SvUpgradeSensorFW(camera, File(whole), [](int) {}), 0);
    EXPECT_EQ(Store(camera, 125, whole.size() - 125), std::vector<uint8_t>(whole.begin() + 125, whole.end()));
}

TEST_F(KanoUpgradeTest, TheImageCheckRefusesWhatTheUpgradeRefusesAndTouchesNoDevice) {
    auto camera = OpenKivo();
    const svtest::TransferLog log(*backend_, [&] {
        for (const auto& [what, bytes] : ImagesToRefuse()) {
            SCOPED_TRACE(what);
            EXPECT_EQ(SvCheckSensorFWImage(camera, File(bytes)), -1);
        }
        EXPECT_EQ(SvCheckSensorFWImage(camera, dir_.File("missing.bin")), -1);
        EXPECT_EQ(SvCheckSensorFWImage(camera, File(svtest::KanoImageV3(300))), 0);
        EXPECT_EQ(SvCheckSensorFWImage(camera, File(svtest::KanoImageV2(300))), 0);
        // One byte over the store is refused above; the store's size is not.
        EXPECT_EQ(SvCheckSensorFWImage(camera, File(svtest::KanoImageV2(0x20000))), 0);
    });
    EXPECT_EQ(log.Transfers(), 0u);
    EXPECT_EQ(SvCheckSensorFWImage(nullptr, File(svtest::KanoImageV3(300))), -1);
}

TEST_F(KanoUpgradeTest, TheSealCarriesTheSensorsOwnIdNotTheOneAnEarlierUpgradeSealedIn) {
    // The store is sealed (checksums computed) with another unit's ID.
    InstallWorld(svtest::MakerWorldJson(
        svtest::kKivoName, "0821",
        R"({"model": "kivo", "header": {"version": 3, "fuseId": "11111111111111111111111111111111"},
            "sensor": {"fuseId": "22222222222222222222222222222222"}})"));
    auto camera = Camera(svtest::kKivoName);
    ASSERT_EQ(SvOpen(camera), 0);
    ASSERT_TRUE(svtest::HeaderChecksumsHold(Store(camera, 0, 125)));
    ASSERT_EQ(SvUpgradeSensorFW(camera, File(svtest::KanoImageV3(300)), [](int) {}), 0);
    const auto header = Store(camera, 0, 125);
    EXPECT_TRUE(svtest::HeaderChecksumsHold(header));
    EXPECT_EQ(std::vector<uint8_t>(header.begin() + 5, header.begin() + 21), std::vector<uint8_t>(16, 0x22));
    std::string uid;
    ASSERT_EQ(SvGetSensorUniqueID(camera, uid), 0);
    EXPECT_EQ(uid, "22222222222222222222222222222222");
}

TEST_F(KanoUpgradeTest, AStoreThatDidNotTakeTheImageFailsTheUpgrade) {
    // The store acknowledges every write and keeps its old bytes: it still
    // reads its version 2 header (or 0xFF when blank) after the write.
    struct Case {
        const char* header;
        std::vector<uint8_t> image;
        const char* logged;
    };
    const std::vector<Case> cases = {
        {R"({"version": 2})", svtest::KanoImageV3(300), "reads header version 2 after a version 3 image"},
        {R"({"version": "blank"})", svtest::KanoImageV2(300), "reads header version 255 after a version 2 image"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        InstallWorld(svtest::MakerWorldJson(svtest::kKivoName, "0821",
                                            std::string(R"({"model": "kivo", "storeWriteProtect": true, "header": )") +
                                                c.header + "}"));
        auto camera = Camera(svtest::kKivoName);
        ASSERT_EQ(SvOpen(camera), 0);
        LogCapture log;
        std::vector<int> progress;
        EXPECT_EQ(SvUpgradeSensorFW(camera, File(c.image), [&](int p) { progress.push_back(p); }), -1);
        EXPECT_TRUE(log.Contains(c.logged)) << c.logged;
        EXPECT_FALSE(log.Contains("DownloadBootdata Completed."));
        EXPECT_EQ(std::count(progress.begin(), progress.end(), 100), 0);
    }
}

TEST_F(KanoUpgradeTest, ProductCheckThroughTheStoppedIspsSensorPort) {
    auto camera = OpenMaker(svtest::kKivoName, "0821",
                            R"({"model": "kivo", "sensor": {"id": 108, "chipId": "0x0A56", "customerId": "0x00A2"}})");
    std::string product, color;
    LogCapture log;
    ASSERT_EQ(SvCheckProduct(camera, product, color), 0);
    EXPECT_EQ(product, "KANO-AR0234");
    EXPECT_EQ(color, "M");
    EXPECT_TRUE(log.Contains("] Found the ISP!"));
    EXPECT_TRUE(log.Contains("] Check ISP ADV_SIPM_GO fail, error = ")) << "no sensor at 0x20";
}

}  // namespace
