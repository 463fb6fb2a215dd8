// The KANO bootdata download with each of its transfers failed once: a run
// that fails says so, and no run leaves a header that reads as sealed over an
// image that is only partly in the store.

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <utility>


#include <gtest/gtest.h>

#include "base/HeaderChecksums.h"
#include "common/LogCapture.h"
#include "legacy/LegacyFixture.h"

namespace svtest {
namespace {

// The store's header carries another unit's fuse ID and sealed checksums, as
// an image dumped from that unit would.
const char* const kKivoForeign =
    R"({"model": "kivo", "header": {"version": 3, "fuseId": "00000000000000000000000000000001"},
        "sensor": {"fuseId": "A0A1A2A3A4A5A6A7A8A9AAABACADAEAF"}})";
// The camera the image is downloaded to: its own sealed bootdata, of another length.
const char* const kKivoTarget =
    R"({"model": "kivo", "header": {"version": 3, "contentLen": 200, "fuseId": "A0A1A2A3A4A5A6A7A8A9AAABACADAEAF"},
        "sensor": {"fuseId": "A0A1A2A3A4A5A6A7A8A9AAABACADAEAF"}})";
constexpr uint16_t kImageSize = 384;

std::vector<uint8_t> StoreOf(CamCtrl& ctrl, uint16_t size) {
    std::vector<uint8_t> bytes(size);
    for (uint16_t at = 0; at < size; at += 128) {
        EXPECT_EQ(ctrl.GenI2CRead(0x54, 2, at, 128, bytes.data() + at), 0);
    }
    return bytes;
}

uint16_t Word(const std::vector<uint8_t>& b, std::size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

// A header a module would take as finished: both sums present and right.
bool Sealed(const std::vector<uint8_t>& store) {
    uint8_t head[sv::header::kSummedBytes];
    std::copy(store.begin(), store.begin() + sv::header::kSummedBytes, head);
    const auto sums = sv::header::ComputeStoreChecksums(head);
    return store[0] == 3 && Word(store, sv::header::kFixChecksumAt) == sums.fix &&
           Word(store, sv::header::kTotalChecksumAt) == sums.total;
}

std::string FuseId(const std::vector<uint8_t>& store) {
    char id[33] = {};
    for (int i = 0; i < 16; ++i) std::snprintf(id + 2 * i, 3, "%02X", unsigned{store[5 + static_cast<std::size_t>(i)]});
    return id;
}

class LegacyDownloadFaultTest : public LegacyTest {
protected:
    void SetUp() override {
        LegacyTest::SetUp();
        path_ = std::filesystem::temp_directory_path() / ("sv_legacy_download_" + std::to_string(sv::test::ProcessId()) + ".bin");
    }
    void TearDown() override {
        std::filesystem::remove(path_);
        LegacyTest::TearDown();
    }
    std::filesystem::path path_;
};

TEST_F(LegacyDownloadFaultTest, AnotherUnitsSealedImageIsSealedWithThisSensorsId) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoForeign);
    const auto image = StoreOf(kano, kImageSize);
    ASSERT_TRUE(Sealed(image));
    std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());
    const auto sent = I2cOf([&] { EXPECT_EQ(kano.DownloadBootdata(path_.string().c_str()), 0); });
    ASSERT_FALSE(sent.empty());
    // The header goes out with its sums marked as not computed, the rest as in the file.
    std::vector<uint8_t> first(image.begin(), image.begin() + 128);
    for (std::size_t at : {101, 102, 123, 124}) first[at] = 0xFF;
    EXPECT_EQ(sent[0].data, first);
    EXPECT_EQ(sent[1].data, std::vector<uint8_t>(image.begin() + 128, image.begin() + 256));
    const auto store = StoreOf(kano, kImageSize);
    EXPECT_TRUE(Sealed(store));
    EXPECT_EQ(FuseId(store), "A0A1A2A3A4A5A6A7A8A9AAABACADAEAF");
    EXPECT_TRUE(std::equal(store.begin() + 125, store.end(), image.begin() + 125));
}

TEST_F(LegacyDownloadFaultTest, EachFailedTransferIsAFailureOrAFinishedSealAndNeverASealOverAPartialImage) {
    std::vector<uint8_t> image;
    std::vector<uint8_t> before;  // the target's store before a run
    std::map<std::pair<std::string, int>, int> transfers;
    std::set<int> storeWrites;  // which SET_CURs on the generic I2C selector write the store
    {
        KanoCamCtrl source;
        Attach(source, kKivoName, kKivoForeign);
        image = StoreOf(source, kImageSize);
        std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());
        KanoCamCtrl kano;
        Attach(kano, kKivoName, kKivoTarget);
        before = StoreOf(kano, kImageSize);
        ASSERT_TRUE(Sealed(before));
        ASSERT_FALSE(std::equal(before.begin() + 125, before.end(), image.begin() + 125));
        TraceCapture trace(*backend_);
        ASSERT_EQ(kano.DownloadBootdata(path_.string().c_str()), 0);
        trace.Stop();
        for (const auto& j : trace.Json()) {
            const std::string op = j.value("op", "");
            if (op != "xu.set" && op != "xu.get") continue;
            const int n = ++transfers[{op, j.value("selector", 0)}];
            // Generic I2C writes have bit 0 of the device byte clear.
            const std::string payload = j.value("payload", "");
            if (op == "xu.set" && j.value("selector", 0) == 6 && payload.size() >= 2 &&
                (std::stoul(payload.substr(0, 2), nullptr, 16) & 1) == 0) {
                storeWrites.insert(n);
            }
        }
    }
    ASSERT_EQ(storeWrites.size(), 3u + 8 + 2) << "three pieces, the fuse ID, two checksums";
    int runs = 0;
    for (const auto& [kind, count] : transfers) {
        for (int on = 1; on <= count; ++on) {
            SCOPED_TRACE(kind.first + " selector " + std::to_string(kind.second) + " #" + std::to_string(on));
            KanoCamCtrl kano;
            // Opening reads the firmware version (selector 1) before the run.
            const int nth = on + (kind.second == 1 && kind.first == "xu.get" ? 1 : 0);
            Attach(kano, kKivoName, kKivoTarget,
                   R"("faults": [{"op": ")" + kind.first + R"(", "selector": )" + std::to_string(kind.second) +
                       R"(, "on": )" + std::to_string(nth) + R"(, "code": "ERROR_GEN_FAILURE"}])");
            testing::internal::CaptureStdout();
            const int result = kano.DownloadBootdata(path_.string().c_str());
            testing::internal::GetCapturedStdout();
            const auto store = StoreOf(kano, kImageSize);
            const bool whole = std::equal(store.begin() + 125, store.end(), image.begin() + 125);
            // A store write is never retried: its failure is the download's.
            if (kind == std::make_pair(std::string("xu.set"), 6) && storeWrites.count(on) != 0) {
                EXPECT_NE(result, 0);
            }
            if (result == 0) {
                EXPECT_TRUE(Sealed(store));
                EXPECT_EQ(FuseId(store), "A0A1A2A3A4A5A6A7A8A9AAABACADAEAF");
            }
            // Sealed is either the store as it was or the whole image.
            if (Sealed(store) && store != before) {
                EXPECT_TRUE(whole) << "a sealed header over a partial image";
            }
            ++runs;
        }
    }
    EXPECT_GT(runs, 13);
}

}  // namespace
}  // namespace svtest
