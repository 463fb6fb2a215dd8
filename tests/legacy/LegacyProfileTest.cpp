// The on-camera profile through the legacy control objects, against the
// simulated KIVO and LIRA: the block's place and transfers, the header
// requirement, the checksum rules, the document written into the store, and
// failed transfers that must never leave a block over the bootdata header.

#include <cstring>
#include <map>
#include <utility>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "base/OspProfileLayout.h"
#include "legacy/LegacyFixture.h"

namespace svtest {
namespace {

namespace pb = sv::profileblock;

// A KIVO whose version 3 header puts the block right after its 64 content
// bytes, at 125 + 64 = 0x00BD.
const char* const kKivoV3 = R"({"model": "kivo", "header": {"version": 3}})";
constexpr int kKivoBlockAt = 0x00BD;

// A block whose bytes 0-77 add up to 5000 (0x1388), with `stored` as its checksum.
pb::Block Sum5000(uint16_t stored) {
    pb::Block b{};
    b[0] = 1;
    b[1] = 0x50;
    uint32_t left = 5000 - 0x51;
    for (std::size_t i = 2; i < 78 && left > 0; ++i) {
        b[i] = static_cast<uint8_t>(left > 200 ? 200 : left);
        left -= b[i];
    }
    pb::Put16(b, pb::at::kChecksum, stored);
    return b;
}

// Whether one of `lines` is "[where][<line>] " followed by `text` and, unless
// `whole`, anything after it.
bool Has(const std::vector<std::string>& lines, const std::string& where, const std::string& text, bool whole = true) {
    const std::string head = "[" + where + "][";
    for (const auto& l : lines) {
        const auto close = l.find("] ");
        if (l.rfind(head, 0) != 0 || close == std::string::npos) continue;
        const std::string rest = l.substr(close + 2);
        if (whole ? rest == text : rest.rfind(text, 0) == 0) return true;
    }
    return false;
}

class LegacyProfileTest : public LegacyTest {
protected:
    pb::Block StoreBytes(CamCtrl& ctrl, uint8_t device, uint16_t reg) {
        pb::Block b{};
        EXPECT_EQ(ctrl.GenI2CRead(device, 2, reg, static_cast<uint16_t>(b.size()), b.data()), 0);
        return b;
    }
    std::vector<uint8_t> Header(CamCtrl& ctrl) {
        std::vector<uint8_t> h(125);
        EXPECT_EQ(ctrl.GenI2CRead(ctrl.HeaderDeviceAddress(), 2, ctrl.HeaderDeviceAddress() == 0x48 ? 0x4000 : 0,
                                  static_cast<uint16_t>(h.size()), h.data()),
                  0);
        return h;
    }
};

TEST_F(LegacyProfileTest, BlockIsReadFromItsPlaceInEachFamily) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoV3);
    uint8_t block[80] = {};
    const auto sent = I2cOf([&] { EXPECT_EQ(kano.GetOSPProfile(block), 0); });
    // Header version, version 3 header, then the 80 bytes after the content.
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[1].length, 125);
    EXPECT_EQ(sent[2].device, 0x54);
    EXPECT_EQ(sent[2].addressLength, 2);
    EXPECT_EQ(sent[2].reg, kKivoBlockAt);
    EXPECT_EQ(sent[2].length, 80);
    EXPECT_EQ(block[1], 0x50);
    EXPECT_EQ(block[3] | block[4] << 8, 1920);
    EXPECT_EQ(block[5] | block[6] << 8, 1200);
    EXPECT_EQ(kano.CheckOSPProfile(), 0);

    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, kLiraXu);
    const auto lira = I2cOf([&] { EXPECT_EQ(lumo.GetOSPProfile(block), 0); });
    ASSERT_EQ(lira.size(), 2u) << "no header read: the block's place is fixed";
    EXPECT_EQ(lira[1].device, 0x48);
    EXPECT_EQ(lira[1].reg, 0x4100);
    EXPECT_EQ(lira[1].length, 80);
    EXPECT_EQ(block[5] | block[6] << 8, 1080);
    const auto flag = I2cOf([&] { EXPECT_EQ(lumo.CheckOSPProfile(), 0); });
    ASSERT_EQ(flag.size(), 2u);
    EXPECT_EQ(flag[1].length, 1);
    EXPECT_EQ(flag[1].reg, 0x4100);
}

TEST_F(LegacyProfileTest, LumoDocumentUsesTheModulesOffsetFormsAndReadFailuresAreReported) {
    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, kLiraXu);
    std::string text;
    ASSERT_EQ(lumo.GetOSPProfileConfig(text), 0);
    const auto doc = nlohmann::json::parse(text);
    EXPECT_EQ(doc["CameraProfile"]["Height"], 1080);
    // Stored as 0x1000, 0x5000 and 0x1000 with the module's offsets.
    EXPECT_EQ(doc["ISPProfiles"]["Brightness"].get<double>(), 0.0);
    EXPECT_EQ(doc["ISPProfiles"]["Contrast"].get<double>(), 0.0);
    EXPECT_EQ(doc["ISPProfiles"]["Backlight_Compensation"].get<double>(), 1.0);
    EXPECT_EQ(doc["ISPProfiles"]["ZoomTarget"].get<double>(), 1.0);
    EXPECT_EQ(doc["ProfileName"], "OTPProfile");

    // The block's fetch (the second on the generic I2C selector) fails.
    LumoCamCtrl failing;
    Attach(failing, kLiraName, kLiraXu, R"("faults": [{"op": "xu.get", "selector": 6, "on": 2, "code": "ERROR_GEN_FAILURE"}])");
    std::string none = "unchanged";
    EXPECT_EQ(failing.GetOSPProfileConfig(none), -1);
    EXPECT_EQ(none, "unchanged");
    const auto lines = Lines();
    EXPECT_TRUE(Has(lines, "LumoCamCtrl::GetOSPProfile", "Get profile from EEPROM fail"));
    EXPECT_TRUE(Has(lines, "LumoCamCtrl::GetOSPProfileConfig", "Get OSP fail"));
    // And the flag byte's.
    LumoCamCtrl flagless;
    Attach(flagless, kLiraName, kLiraXu, R"("faults": [{"op": "xu.get", "selector": 6, "on": 2, "code": "ERROR_GEN_FAILURE"}])");
    EXPECT_EQ(flagless.CheckOSPProfile(), -1);
    EXPECT_TRUE(Logged("LumoCamCtrl::CheckOSPProfile", "Check Profile Fail!"));
}

TEST_F(LegacyProfileTest, BlockAt0xFFFFIsInTheStoresSecondDevice) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, R"({"model": "kivo", "header": {"version": 3, "contentOffset": 125, "contentLen": 65410}})");
    uint8_t block[80] = {};
    const auto sent = I2cOf([&] { EXPECT_EQ(kano.GetOSPProfile(block), 0); });
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[2].device, 0x55);
    EXPECT_EQ(sent[2].reg, 0xFFFF);
}

TEST_F(LegacyProfileTest, WithoutAVersion3HeaderNothingIsTransferredAfterTheVersion) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoXu);  // a version 2 header
    uint8_t block[80];
    std::memset(block, 0x77, sizeof(block));
    const pb::Block valid = Sum5000(0x1388);
    std::string text = "unchanged";
    const auto sent = I2cOf([&] {
        EXPECT_EQ(kano.GetOSPProfile(block), 0);
        EXPECT_EQ(kano.SetOSPProfile(valid.data()), 0);
        EXPECT_EQ(kano.CheckOSPProfile(), 0);
    });
    EXPECT_EQ(sent.size(), 3u) << "one header-version read each";
    for (const auto& t : sent) EXPECT_FALSE(t.write);
    EXPECT_EQ(block[0], 0x77) << "the block is left as it was";
    EXPECT_TRUE(Logged("KanoCamCtrl::GetOSPProfile", "ISP profile only support header v3 or higher."));

    // No block to describe, and a document that was not saved, are failures.
    EXPECT_EQ(kano.GetOSPProfileConfig(text), -1);
    EXPECT_EQ(text, "unchanged");
    EXPECT_TRUE(Logged("KanoCamCtrl::GetOSPProfileConfig", "Get OSP fail"));
    std::string document;
    {
        KanoCamCtrl v3;
        Attach(v3, kKivoName, kKivoV3);
        ASSERT_EQ(v3.GetOSPProfileConfig(document), 0);
    }
    Attach(kano, kKivoName, kKivoXu);
    const auto none = I2cOf([&] { EXPECT_EQ(kano.SetOSPProfileConfig(1, document.c_str()), -1); });
    for (const auto& t : none) EXPECT_FALSE(t.write);
    EXPECT_TRUE(Logged("KanoCamCtrl::SetOSPProfileConfig", "Save ProfileSetting Fail!."));
}

TEST_F(LegacyProfileTest, ReaderWarnsAboutAWrongChecksumAndTheWriterRefusesIt) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoV3);
    const pb::Block good = Sum5000(0x1388);
    const auto write = I2cOf([&] { EXPECT_EQ(kano.SetOSPProfile(good.data()), 0); });
    ASSERT_EQ(write.size(), 3u);
    EXPECT_TRUE(write[2].write);
    EXPECT_EQ(write[2].device, 0x54);
    EXPECT_EQ(write[2].reg, kKivoBlockAt);
    EXPECT_EQ(write[2].data, std::vector<uint8_t>(good.begin(), good.end()));
    EXPECT_EQ(write[2].data[78], 0x88);
    EXPECT_EQ(write[2].data[79], 0x13);
    uint8_t back[80] = {};
    EXPECT_EQ(kano.GetOSPProfile(back), 0);
    EXPECT_EQ(std::memcmp(back, good.data(), 80), 0);
    EXPECT_FALSE(Logged("KanoCamCtrl::GetOSPProfile", "Profile checksum mismatch, [0x1388] <-> [0x1388]"));
    EXPECT_EQ(kano.CheckOSPProfile(), 1);

    const pb::Block bad = Sum5000(0x1389);
    const auto refused = I2cOf([&] { EXPECT_EQ(kano.SetOSPProfile(bad.data()), -1); });
    for (const auto& t : refused) EXPECT_FALSE(t.write);
    EXPECT_TRUE(Logged("KanoCamCtrl::SetOSPProfile", "profile checksum mismatch, [0x1389] <-> [0x1388]"));

    // Put the bad block there behind the control's back: it is read with a warning.
    ASSERT_EQ(kano.GenI2CWrite(0x54, 2, kKivoBlockAt, 80, bad.data()), 0);
    EXPECT_EQ(kano.GetOSPProfile(back), 0);
    EXPECT_EQ(std::memcmp(back, bad.data(), 80), 0);
    EXPECT_TRUE(Logged("KanoCamCtrl::GetOSPProfile", "Profile checksum mismatch, [0x1388] <-> [0x1389]"));
}

TEST_F(LegacyProfileTest, DocumentIsWrittenWithTheRegistersAndReadsBack) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoV3);
    const std::map<uint16_t, uint16_t> registers = {{0x2014, 0x00A5}, {0x6132, 0xFA00}, {0x2024, 0x0000},
                                                    {0x2026, 0x0064}, {0x2028, 0x0001}, {0x202A, 0x0002},
                                                    {0x2030, 0x0BCD}, {0x1012, 0x0002}, {0x1186, 0x4321}};
    for (const auto& [reg, value] : registers) ASSERT_EQ(kano.UVC_AP1302_I2C_Write(reg, value), 0);
    std::string text;
    ASSERT_EQ(kano.GetOSPProfileConfig(text), 0);
    auto doc = nlohmann::json::parse(text);
    doc["ISPProfiles"]["Brightness"] = -0.5;
    doc["ISPProfiles"]["ZoomTarget"] = 1.5;
    doc["ISPProfiles"]["Fixed_FPS"] = true;
    doc["CameraProfile"]["PixelFormat"] = "MJPG";

    TransferLog log(*backend_, [&] { EXPECT_EQ(kano.SetOSPProfileConfig(2, doc.dump().c_str()), 0); });
    // The register rows are read in the block's order through the ISP packet.
    std::vector<std::string> expected;
    for (const auto& reg : {0x2014, 0x6132, 0x2024, 0x2026, 0x2028, 0x202A, 0x2030, 0x1012, 0x1186}) {
        char p[16];
        std::snprintf(p, sizeof(p), "01%04x", reg);
        expected.push_back(p);
    }
    EXPECT_EQ(log.SetPayloads(5), expected);

    const pb::Block stored = StoreBytes(kano, 0x54, kKivoBlockAt);
    EXPECT_EQ(stored[0], 2);
    EXPECT_EQ(stored[1], 0x50);
    EXPECT_EQ(stored[7], 1);
    EXPECT_EQ(stored[8], 0x05);
    EXPECT_EQ(pb::Get16(stored, 9), 1000);
    EXPECT_EQ(pb::Get32(stored, 12), 100u);
    EXPECT_EQ(pb::Get32(stored, 16), 0x00010002u);
    EXPECT_EQ(pb::Get16(stored, 20), 0x0BCD);
    EXPECT_EQ(pb::Get16(stored, 33), 0xF800);
    EXPECT_EQ(pb::Get16(stored, 47), 0x0002);
    EXPECT_EQ(pb::Get16(stored, 49), 0x0180);
    EXPECT_EQ(pb::Get16(stored, 55), 0x4321);
    EXPECT_EQ(stored[60], 1);
    EXPECT_EQ(pb::StoredChecksum(stored), pb::Checksum(stored));
    EXPECT_EQ(kano.CheckOSPProfile(), 2);

    std::string again;
    ASSERT_EQ(kano.GetOSPProfileConfig(again), 0);
    const auto reread = nlohmann::json::parse(again);
    EXPECT_EQ(reread["ISPProfiles"]["Brightness"].get<double>(), -0.5);
    EXPECT_EQ(reread["ISPProfiles"]["ZoomTarget"].get<double>(), 1.5);
    EXPECT_EQ(reread["CameraProfile"]["PixelFormat"], "MJPG");
    EXPECT_EQ(reread["ISPProfiles"]["Fixed_FPS"], true);
}

TEST_F(LegacyProfileTest, RefusedDocumentsAndFlagsWriteNothing) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoV3);
    std::string text;
    ASSERT_EQ(kano.GetOSPProfileConfig(text), 0);
    auto doc = nlohmann::json::parse(text);
    doc["ISPProfiles"].erase("Jpeg_Qual");
    auto tooBig = nlohmann::json::parse(text);
    tooBig["CameraProfile"]["Width"] = 1e30;
    const auto sent = I2cOf([&] {
        EXPECT_EQ(kano.SetOSPProfileConfig(1, doc.dump().c_str()), -1);
        EXPECT_EQ(kano.SetOSPProfileConfig(1, tooBig.dump().c_str()), -1);
        EXPECT_EQ(kano.SetOSPProfileConfig(1, "not json"), -1);
        EXPECT_EQ(kano.SetOSPProfileConfig(256, text.c_str()), -1);
        EXPECT_EQ(kano.SetOSPProfileConfig(1, nullptr), -1);
    });
    EXPECT_TRUE(sent.empty());
    const auto lines = Lines();
    const char* where = "KanoCamCtrl::SetOSPProfileConfig";
    EXPECT_TRUE(Has(lines, where, "Set ProfileSetting Fail!. \"ISPProfiles\".\"Jpeg_Qual\" is missing"));
    EXPECT_TRUE(Has(lines, where, "Set ProfileSetting Fail!. \"CameraProfile\".\"Width\" is out of range (0 ~ 65535)"));
    EXPECT_TRUE(Has(lines, where, "Set ProfileSetting Fail!. [json.exception.parse_error", false));
    EXPECT_TRUE(Has(lines, where, "Profile flag 256 is out of range (0 ~ 255)"));
}

TEST_F(LegacyProfileTest, ARegisterThatCannotBeReadStopsTheWrite) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoV3, R"("faults": [{"op": "xu.get", "selector": 5, "on": 4, "code": "ERROR_GEN_FAILURE"}])");
    std::string text;
    ASSERT_EQ(kano.GetOSPProfileConfig(text), 0);
    const auto sent = I2cOf([&] { EXPECT_EQ(kano.SetOSPProfileConfig(1, text.c_str()), -1); });
    EXPECT_TRUE(sent.empty());
}

TEST_F(LegacyProfileTest, ContentEndingInsideTheHeaderNeverGetsABlockWritten) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoV3);
    // A header whose content would end at 100, inside the header itself.
    const uint8_t offset[2] = {100, 0};
    const uint8_t length[4] = {0, 0, 0, 0};
    ASSERT_EQ(kano.GenI2CWrite(0x54, 2, 1, 2, offset), 0);
    ASSERT_EQ(kano.GenI2CWrite(0x54, 2, 117, 4, length), 0);
    const auto header = Header(kano);
    const pb::Block good = Sum5000(0x1388);
    const auto sent = I2cOf([&] { EXPECT_EQ(kano.SetOSPProfile(good.data()), -1); });
    for (const auto& t : sent) EXPECT_FALSE(t.write);
    EXPECT_TRUE(Logged("KanoCamCtrl::SetOSPProfile", "Profile block address 0x00064 is outside the store's profile area"));
    EXPECT_EQ(Header(kano), header);
}

TEST_F(LegacyProfileTest, UnreadableHeaderVersionIsAFailureNotANonVersion3Header) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoV3, R"("faults": [{"op": "xu.get", "selector": 6, "on": 1, "times": 3, "code": "ERROR_GEN_FAILURE"}])");
    uint8_t block[80] = {};
    const pb::Block good = Sum5000(0x1388);
    const auto sent = I2cOf([&] {
        EXPECT_EQ(kano.GetOSPProfile(block), -1);
        EXPECT_EQ(kano.SetOSPProfile(good.data()), -1);
        EXPECT_EQ(kano.CheckOSPProfile(), -1);
    });
    EXPECT_EQ(sent.size(), 3u) << "nothing after each failed version read";
    EXPECT_TRUE(Logged("CamCtrl::CheckHeaderVer", "Check Header Version Fail!"));
}

TEST_F(LegacyProfileTest, FailedHeaderReadIsNeverBlockAddressZero) {
    KanoCamCtrl kano;
    // The second fetch on the generic I2C selector is the header's.
    Attach(kano, kKivoName, kKivoV3, R"("faults": [{"op": "xu.get", "selector": 6, "on": 2, "code": "ERROR_GEN_FAILURE"}])");
    const pb::Block good = Sum5000(0x1388);
    const auto sent = I2cOf([&] { EXPECT_EQ(kano.SetOSPProfile(good.data()), -1); });
    for (const auto& t : sent) EXPECT_FALSE(t.write);
    EXPECT_TRUE(Logged("KanoCamCtrl::SetOSPProfile", "Get bootdata header fail"));
    EXPECT_EQ(Header(kano)[0], 3);
}

// Every transfer of the profile-block write fails once, in a fresh world each
// time: each run reports a failure, the header is as it was, and nothing is
// written anywhere but at the block's own place.
TEST_F(LegacyProfileTest, EachFailedTransferOfTheBlockWriteIsAFailureAndLeavesTheHeader) {
    std::string document;
    std::vector<uint8_t> header;
    pb::Block before{};
    std::map<std::pair<std::string, int>, int> transfers;
    {
        KanoCamCtrl kano;
        Attach(kano, kKivoName, kKivoV3);
        header = Header(kano);
        before = StoreBytes(kano, 0x54, kKivoBlockAt);
        ASSERT_EQ(kano.GetOSPProfileConfig(document), 0);
        TraceCapture trace(*backend_);
        ASSERT_EQ(kano.SetOSPProfileConfig(1, document.c_str()), 0);
        trace.Stop();
        for (const auto& j : trace.Json()) {
            const std::string op = j.value("op", "");
            if (op == "xu.set" || op == "xu.get") ++transfers[{op, j.value("selector", 0)}];
        }
        ASSERT_NE(StoreBytes(kano, 0x54, kKivoBlockAt), before) << "the clean write changes the block";
    }
    ASSERT_EQ((transfers[{"xu.set", 5}]), 9);
    ASSERT_EQ((transfers[{"xu.set", 6}]), 3);
    int runs = 0;
    for (const auto& [kind, count] : transfers) {
        for (int on = 1; on <= count; ++on) {
            SCOPED_TRACE(kind.first + " selector " + std::to_string(kind.second) + " #" + std::to_string(on));
            KanoCamCtrl kano;
            // Opening reads the firmware version only (selector 1), so the
            // fault counts the run's own transfers.
            Attach(kano, kKivoName, kKivoV3,
                   R"("faults": [{"op": ")" + kind.first + R"(", "selector": )" + std::to_string(kind.second) +
                       R"(, "on": )" + std::to_string(on) + R"(, "code": "ERROR_GEN_FAILURE"}])");
            const auto sent = I2cOf([&] { EXPECT_EQ(kano.SetOSPProfileConfig(1, document.c_str()), -1); });
            for (const auto& t : sent) {
                if (t.write) {
                    EXPECT_EQ(t.reg, kKivoBlockAt) << "written outside the block's place";
                }
            }
            EXPECT_EQ(Header(kano), header);
            EXPECT_EQ(StoreBytes(kano, 0x54, kKivoBlockAt), before) << "the block is as it was";
            ++runs;
        }
    }
    EXPECT_GE(runs, 9 + 9 + 3 + 2);
}

}  // namespace
}  // namespace svtest
