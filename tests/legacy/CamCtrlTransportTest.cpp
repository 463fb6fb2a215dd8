// The legacy control objects' transport, generic I2C, firmware versions,
// AP1302 access, headers and unique ID, against the simulated cameras.

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>


#include <gtest/gtest.h>

#include "legacy/LegacyFixture.h"

namespace svtest {
namespace {

using sv::platform::HR_E_FAIL;

TEST_F(LegacyTest, TransferWithoutMediaSourceFailsWithThePlatformCodeAndSaysSoOnStandardOutput) {
    KanoCamCtrl ctrl;
    uint8_t byte = 0;
    testing::internal::CaptureStdout();
    const int rc = ctrl.GenI2CWrite(0x54, 2, 0x0000, 1, &byte);
    std::fflush(stdout);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, HR_E_FAIL);
    EXPECT_EQ(out, "info: Function: CamCtrl::SetGetExtensionUnit, IMFMediaSource::QueryInterface(IKsTopologyInfo) "
                   "failed, Error code: 0x80004005 \n");
}

TEST_F(LegacyTest, FirmwareVersionChoosesThePacketSize) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoXu, "", false);
    EXPECT_FALSE(kano.XuPacket256());
    // A 512-byte packet to a firmware that speaks 256-byte packets stalls.
    uint8_t byte = 0;
    EXPECT_LT(kano.GenI2CRead(0x54, 2, 0x0000, 1, &byte), 0);
    uint8_t version[4] = {};
    ASSERT_EQ(kano.GetUSBFirmwareVersion(version), 0);
    EXPECT_EQ(std::vector<int>(version, version + 4), (std::vector<int>{24, 7, 3, 1}));
    EXPECT_TRUE(kano.XuPacket256());
    EXPECT_EQ(kano.GenI2CRead(0x54, 2, 0x0000, 1, &byte), 0);
    EXPECT_EQ(byte, 2);  // the version 2 header's first byte

    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, kLiraXu);
    EXPECT_FALSE(lumo.XuPacket256());
}

TEST_F(LegacyTest, GenericReadSizeRuleFollowsThePacket) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoXu);
    std::vector<uint8_t> data(251);
    const auto sent = I2cOf([&] { EXPECT_EQ(kano.GenI2CRead(0x54, 2, 0x0000, 251, data.data()), -1); });
    EXPECT_TRUE(sent.empty());

    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, kLiraXu);
    const auto large = I2cOf([&] { EXPECT_EQ(lumo.GenI2CRead(0x48, 2, 0x4000, 251, data.data()), 0); });
    ASSERT_EQ(large.size(), 1u);
    EXPECT_EQ(large[0].device, 0x48);
    EXPECT_FALSE(large[0].write);
    EXPECT_EQ(large[0].addressLength, 2);
    EXPECT_EQ(large[0].reg, 0x4000);
    EXPECT_EQ(large[0].length, 251);
    EXPECT_EQ(data[0], 3);  // the LIRA's version 3 header
}

TEST_F(LegacyTest, GenericWriteTakesFourByteAddressesAndRefusesThree) {
    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, kLiraXu);
    const uint8_t bytes[2] = {0xAB, 0xCD};
    TraceCapture trace(*backend_);
    lumo.GenI2CWrite(0x48, 4, 0x12345678, 2, bytes);
    EXPECT_EQ(lumo.GenI2CWrite(0x48, 3, 0x123456, 2, bytes), -1);
    trace.Stop();
    const auto sent = I2cTransfersOf(trace);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].addressLength, 4);
    EXPECT_EQ(sent[0].reg, 0x12345678);
    EXPECT_EQ(sent[0].length, 2);
    EXPECT_EQ(sent[0].data, (std::vector<uint8_t>{0xAB, 0xCD}));
    ASSERT_FALSE(trace.Json().empty());
    EXPECT_EQ(trace.Json()[0].value("payload", "").substr(0, 20), "900412345678" "0002abcd");
}

TEST_F(LegacyTest, GenericWriteSizeRuleFollowsThePacketForEveryAddressWidth) {
    // The packet carries four bytes of its own (device, address length, byte
    // count); the address bytes and the data share the rest. Exactly full is
    // sent, one byte more is refused before anything goes out.
    const auto check = [&](CamCtrl& ctrl, uint8_t device, std::size_t packet) {
        for (const uint8_t addressLength : {uint8_t{1}, uint8_t{2}, uint8_t{4}}) {
            SCOPED_TRACE("packet " + std::to_string(packet) + ", address bytes " + std::to_string(addressLength));
            const std::size_t room = packet - 4 - addressLength;
            std::vector<uint8_t> data(room + 1);
            for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0x80 | (i & 0x7F));

            const auto full = I2cOf([&] {
                (void)ctrl.GenI2CWrite(device, addressLength, 0x10, static_cast<uint16_t>(room), data.data());
            });
            ASSERT_EQ(full.size(), 1u) << "a packet filled to its last byte is sent";
            EXPECT_TRUE(full[0].write);
            EXPECT_EQ(full[0].addressLength, addressLength);
            EXPECT_EQ(static_cast<std::size_t>(full[0].length), room);
            EXPECT_EQ(full[0].data, std::vector<uint8_t>(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(room)));

            const auto over = I2cOf([&] {
                EXPECT_EQ(ctrl.GenI2CWrite(device, addressLength, 0x10, static_cast<uint16_t>(room + 1), data.data()),
                          -1);
            });
            EXPECT_TRUE(over.empty()) << "one byte past the packet goes nowhere";
        }
    };
    {
        KanoCamCtrl kano;  // its firmware speaks 256-byte packets
        Attach(kano, kKivoName, kKivoXu);
        ASSERT_TRUE(kano.XuPacket256());
        check(kano, 0x54, 256);
    }
    {
        LumoCamCtrl lumo;  // 512-byte packets
        Attach(lumo, kLiraName, kLiraXu);
        ASSERT_FALSE(lumo.XuPacket256());
        check(lumo, 0x48, 512);
    }
}

TEST_F(LegacyTest, GenericReadWhoseAddressFailsIsLoggedAndAFailure) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoXu);
    uint8_t data[2] = {};
    // Nothing answers at 0x20 on the camera's bus.
    EXPECT_EQ(kano.GenI2CRead(0x20, 2, 0x1234, 2, data), -1);
    EXPECT_TRUE(Logged("CamCtrl::GenI2CRead", "I2C Set Address Fail! AddrReg=1234"));
}

TEST_F(LegacyTest, LumoFirmwareVersionIsReadFromTheModule) {
    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, R"({"model": "lira", "mcuRegisters": {"0x3000": "0x1807", "0x3002": "0x0101"}})");
    char text[16] = {};
    std::vector<I2cTransfer> sent;
    sent = I2cOf([&] { EXPECT_EQ(lumo.GetLUMOFirmwareVersion(text), 0); });
    EXPECT_STREQ(text, "24.07.01.01");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].device, 0x48);
    EXPECT_EQ(sent[0].reg, 0x3000);
    EXPECT_EQ(sent[0].length, 4);
    EXPECT_TRUE(Logged("LumoCamCtrl::GetLUMOFirmwareVersion", "Get LUMO Version SUCCESS! version=24.07.01.01"));

    KanoCamCtrl kano;
    EXPECT_EQ(kano.GetLUMOFirmwareVersion(text), -1);
}

TEST_F(LegacyTest, LumoFirmwareVersionThatWasNotReadIsAFailureNotZeros) {
    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, kLiraXu,
           R"("faults": [{"op": "xu.get", "selector": 6, "on": 1, "code": "ERROR_GEN_FAILURE"}])");
    char text[16] = "unchanged";
    EXPECT_LT(lumo.GetLUMOFirmwareVersion(text), 0);
    EXPECT_STREQ(text, "unchanged");
    EXPECT_TRUE(Logged("LumoCamCtrl::GetLUMOFirmwareVersion", "Get LUMO Version Fail!"));
}

TEST_F(LegacyTest, KanoRegisterAccessUsesTheIspPacket) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoXu);
    uint16_t id = 0;
    TransferLog read(*backend_, [&] { EXPECT_EQ(kano.UVC_AP1302_I2C_Read(0x0000, id), 0); });
    EXPECT_EQ(id, 0x0265);
    EXPECT_EQ(read.SetPayloads(5), (std::vector<std::string>{"01"}));
    EXPECT_EQ(read.Transfers(), 2u);
    EXPECT_TRUE(Logged("KanoCamCtrl::UVC_AP1302_I2C_Read", "I2C Read: Addr=0x0000, Data=0265"));

    const auto writes = WritesOf([&] { EXPECT_EQ(kano.UVC_AP1302_I2C_Write(0x7000, 0x1234), 0); });
    EXPECT_EQ(writes, (std::vector<RegisterWrite>{{0x7000, 0x1234}}));
    EXPECT_TRUE(Logged("KanoCamCtrl::UVC_AP1302_I2C_Write", "I2C Write SUCCESS! AddrReg=7000, Data=1234"));
}

TEST_F(LegacyTest, KanoRegisterFailuresAreLoggedAndMinusOne) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoXu,
           R"("faults": [{"op": "xu.get", "selector": 5, "on": 1, "code": "ERROR_GEN_FAILURE"},
                         {"op": "xu.set", "selector": 5, "on": 2, "code": "ERROR_GEN_FAILURE"}])");
    uint16_t value = 0x5555;
    EXPECT_EQ(kano.UVC_AP1302_I2C_Read(0x5002, value), -1);
    EXPECT_EQ(value, 0x5555);
    EXPECT_TRUE(Logged("KanoCamCtrl::UVC_AP1302_I2C_Read", "I2C Set Address Fail! AddrReg=5002"));
    EXPECT_EQ(kano.UVC_AP1302_I2C_Write(0x7000, 0x0001), -1);
    EXPECT_TRUE(Logged("KanoCamCtrl::UVC_AP1302_I2C_Write", "I2C Write Fail! AddrReg=7000, Data=0001"));
}

TEST_F(LegacyTest, LumoRegisterAccessGoesThroughTheMicrocontrollerWindow) {
    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, kLiraXu);
    uint16_t id = 0;
    auto sent = I2cOf([&] { EXPECT_EQ(lumo.UVC_AP1302_I2C_Read(0x0000, id), 0); });
    EXPECT_EQ(id, 0x0265);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].device, 0x48);
    EXPECT_FALSE(sent[0].write);
    EXPECT_EQ(sent[0].addressLength, 4);
    EXPECT_EQ(sent[0].reg, static_cast<int>(0xF0000000u));
    EXPECT_EQ(sent[0].length, 2);

    sent = I2cOf([&] { EXPECT_EQ(lumo.UVC_AP1302_I2C_Write(0x600C, 0x0003), 0); });
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].reg, static_cast<int>(0xF000600Cu));
    EXPECT_EQ(sent[0].data, (std::vector<uint8_t>{0x00, 0x03}));
    uint16_t back = 0;
    EXPECT_EQ(lumo.UVC_AP1302_I2C_Read(0x600C, back), 0);
    EXPECT_EQ(back, 0x0003);
}

TEST_F(LegacyTest, HeaderVersionOfEachFamily) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoXu);
    const auto sent = I2cOf([&] { EXPECT_EQ(kano.CheckHeaderVer(), 2); });
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].device, 0x54);
    EXPECT_EQ(sent[0].reg, 0x0000);
    EXPECT_EQ(sent[0].length, 1);
    EXPECT_TRUE(Logged("CamCtrl::CheckHeaderVer", "Get Header Version: 2"));

    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, kLiraXu);
    const auto lira = I2cOf([&] { EXPECT_EQ(lumo.CheckHeaderVer(), 3); });
    ASSERT_EQ(lira.size(), 1u);
    EXPECT_EQ(lira[0].device, 0x48);
    EXPECT_EQ(lira[0].reg, 0x4000);
}

TEST_F(LegacyTest, BlankHeaderStoreAnswers255AfterElevenReads) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, R"({"model": "kivo", "header": {"version": "blank"}})");
    const auto sent = I2cOf([&] { EXPECT_EQ(kano.CheckHeaderVer(), 255); });
    EXPECT_EQ(sent.size(), 11u);
}

TEST_F(LegacyTest, HeaderVersionUnreadableIsAFailure) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoXu,
           R"("faults": [{"op": "xu.get", "selector": 6, "on": 1, "code": "ERROR_GEN_FAILURE"}])");
    EXPECT_EQ(kano.CheckHeaderVer(), -1);
    EXPECT_TRUE(Logged("CamCtrl::CheckHeaderVer", "Check Header Version Fail!"));
}

TEST_F(LegacyTest, HeadersAreReadFromTheFamilysStore) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoXu);
    SvHeaderV2 v2{};
    const auto sent = I2cOf([&] { EXPECT_EQ(kano.GetBootdataHeader(&v2), 0); });
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].device, 0x54);
    EXPECT_EQ(sent[0].length, 144);
    EXPECT_EQ(v2.headerVersion, 2);
    EXPECT_EQ(kano.GetBootdataHeader(nullptr), -1);

    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, kLiraXu);
    SvHeaderV3 v3{};
    const auto lira = I2cOf([&] { EXPECT_EQ(lumo.GetBootdataHeaderV3(&v3), 0); });
    ASSERT_EQ(lira.size(), 1u);
    EXPECT_EQ(lira[0].reg, 0x4000);
    EXPECT_EQ(lira[0].length, 125);
    EXPECT_EQ(v3.headerVersion, 3);
    EXPECT_EQ(std::string(v3.productName, strnlen(v3.productName, sizeof(v3.productName))), "LIRA-OX05B");
    SvHeaderV2 none{};
    EXPECT_EQ(lumo.GetBootdataHeader(&none), -1);
}

TEST_F(LegacyTest, FailedHeaderReadIsAFailureNotAHeaderOfZeros) {
    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, kLiraXu,
           R"("faults": [{"op": "xu.get", "selector": 6, "on": 1, "code": "ERROR_GEN_FAILURE"}])");
    SvHeaderV3 v3{};
    std::memset(&v3, 0x77, sizeof(v3));
    EXPECT_LT(lumo.GetBootdataHeaderV3(&v3), 0);
    EXPECT_EQ(v3.headerVersion, 0x77);
    EXPECT_TRUE(Logged("LumoCamCtrl::GetBootdataHeaderV3", "Read Bootdata Header Fail!"));
}

TEST_F(LegacyTest, UniqueIdComesFromAVersion3Header) {
    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, R"({"model": "lira", "header": {"version": 3, "fuseId": "00112233445566778899AABBCCDDEEFF"}})");
    char text[64] = {};
    EXPECT_EQ(lumo.GetUniqueSensorID(text), 0);
    EXPECT_STREQ(text, "00112233445566778899AABBCCDDEEFF");
    EXPECT_TRUE(Logged("LumoCamCtrl::GetUniqueSensorID", "Get Header V3 Fuse ID: 00112233445566778899AABBCCDDEEFF"));

    KanoCamCtrl kano;
    Attach(kano, kKivoName, R"({"model": "kivo", "header": {"version": 3, "fuseId": "0F0E0D0C0B0A09080706050403020100"}})");
    char kivo[64] = {};
    EXPECT_EQ(kano.GetUniqueSensorID(kivo), 0);
    EXPECT_STREQ(kivo, "0F0E0D0C0B0A09080706050403020100");
}

TEST_F(LegacyTest, UnwrittenFixedSectionGivesNoUniqueId) {
    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, R"({"model": "lira", "header": {"version": 3, "fixChecksum": "0xFFFF"}})");
    char text[64] = "unchanged";
    EXPECT_EQ(lumo.GetUniqueSensorID(text), -1);
    EXPECT_STREQ(text, "unchanged");
    EXPECT_TRUE(Logged("LumoCamCtrl::GetUniqueSensorID", "Check Header V3 Fix Checksum Fail: fix_checksum = 0xffff!"));
}

TEST_F(LegacyTest, LumoWithoutVersion3HeaderReportsNoUniqueId) {
    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, R"({"model": "lira", "header": {"version": 2}})");
    char text[64] = "unchanged";
    EXPECT_EQ(lumo.GetUniqueSensorID(text), -1);
    EXPECT_STREQ(text, "unchanged");
}

TEST_F(LegacyTest, KanoUniqueIdFromTheSensorWhenTheHeaderIsVersion2) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, R"({"model": "kivo", "sensor": {"fuseId": "1112131415161718191A1B1C1D1E1F20"}})");
    char text[64] = {};
    const uint64_t before = backend_->NowMs();
    EXPECT_EQ(kano.GetUniqueSensorID(text), 0);
    EXPECT_STREQ(text, "1112131415161718191A1B1C1D1E1F20");
    // The two settling waits of the sequence, on the machine's clock.
    EXPECT_GE(backend_->NowMs() - before, 1000u);
    EXPECT_TRUE(Logged("KanoCamCtrl::GetUniqueSensorID", "GetUniqueSensorID Success! Sensor UID = 1112131415161718191A1B1C1D1E1F20"));
}

TEST_F(LegacyTest, KanoUniqueIdWakesASensorInStandby) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, R"({"model": "kivo", "standby": true})");
    char text[64] = {};
    EXPECT_EQ(kano.GetUniqueSensorID(text), 0);
    EXPECT_TRUE(Logged("KanoCamCtrl::GetUniqueSensorID", "Wake Sensor Up Success! retry count = 2, Status=0x0180"));
}

TEST_F(LegacyTest, StuckBridgeIsPolled19TimesPerCandidateAndGivesNoId) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, R"({"model": "kivo", "bridgePolls": "stuck"})");
    char text[64] = "unchanged";
    TransferLog log(*backend_, [&] { EXPECT_EQ(kano.GetUniqueSensorID(text), -1); });
    EXPECT_STREQ(text, "unchanged");
    int statusReads = 0;
    for (const auto& p : log.SetPayloads(5)) statusReads += p == "0160ac";
    EXPECT_EQ(statusReads, 3 * 19);
    const auto lines = Lines();
    auto has = [&](const std::string& where, const std::string& end) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.rfind("[" + where + "][", 0) == 0 && l.size() > end.size() &&
                   l.compare(l.size() - end.size(), end.size(), end) == 0;
        });
    };
    EXPECT_TRUE(has("CamCtrl::AdvReadSensorRegister", "] I2C BUS 1 Check Fail!"));
    EXPECT_TRUE(has("KanoCamCtrl::GetUniqueSensorID", "] Check Sensor SID Fail!"));
}

TEST_F(LegacyTest, SensorRegisterWriteRunsTheBridgeProgram) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoXu);
    EXPECT_EQ(WritesOf([&] { EXPECT_EQ(kano.AdvWriteSensorRegister(0x20, 0x304C, 0x0100), 0); }),
              (std::vector<RegisterWrite>{{0x60A8, 0x0000}, {0x60AA, 0x0002}, {0x60A0, 0x0000}, {0x60A2, 0x0100},
                                          {0x60A4, 0xF320}, {0x60A6, 0x304C}, {0x60AC, 0x0301}}));
    EXPECT_TRUE(Logged("CamCtrl::AdvWriteSensorRegister", "AdvWriteSensorRegister Success. Sensor Reg=0x304c, Data=0x0100"));
    uint16_t chip = 0;
    EXPECT_EQ(kano.AdvReadSensorRegister(0x20, 0x3000, chip), 0);
    EXPECT_EQ(chip, 0x0A56);
}

TEST_F(LegacyTest, BslModeSendsTheModeByteAndRefusesOthers) {
    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, kLiraXu);
    TransferLog enter(*backend_, [&] { EXPECT_EQ(lumo.SetBSLMode(1), 0); });
    EXPECT_EQ(enter.SetPayloads(0x0C), (std::vector<std::string>{"01"}));
    EXPECT_TRUE(Logged("LumoCamCtrl::SetBSLMode", "LUMO go to BSL Mode"));
    TransferLog leave(*backend_, [&] { EXPECT_EQ(lumo.SetBSLMode(0), 0); });
    EXPECT_EQ(leave.Transfers(), 1u);
    EXPECT_TRUE(Logged("LumoCamCtrl::SetBSLMode", "LUMO go to Application Mode"));
    TransferLog other(*backend_, [&] { EXPECT_EQ(lumo.SetBSLMode(2), 0); });
    EXPECT_EQ(other.Transfers(), 0u);
    EXPECT_TRUE(Logged("LumoCamCtrl::SetBSLMode", "Do not support this mode: 2"));
}

}  // namespace
}  // namespace svtest

namespace svtest {
namespace {

// Runs a test in a fresh working folder, since the dump writes "bootdata.bin" there.
class LegacyStoreTest : public LegacyTest {
protected:
    void SetUp() override {
        LegacyTest::SetUp();
        previous_ = std::filesystem::current_path();
        folder_ = std::filesystem::temp_directory_path() /
                  ("sv_legacy_store_" + std::to_string(sv::test::ProcessId()) + "_" +
                   testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder_);
        std::filesystem::current_path(folder_);
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(folder_);
        LegacyTest::TearDown();
    }
    std::filesystem::path previous_;
    std::filesystem::path folder_;
};

TEST_F(LegacyStoreTest, EraseFillsBothHalvesOfTheStoreIn128BytePieces) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoXu);
    const auto sent = I2cOf([&] { EXPECT_EQ(kano.ClearISPBootdata(), 0); });
    ASSERT_EQ(sent.size(), 1024u);
    EXPECT_EQ(sent[0].device, 0x54);
    EXPECT_EQ(sent[0].reg, 0x0000);
    EXPECT_EQ(sent[511].device, 0x54);
    EXPECT_EQ(sent[511].reg, 0xFF80);
    EXPECT_EQ(sent[512].device, 0x55);
    EXPECT_EQ(sent[512].reg, 0x0000);
    EXPECT_EQ(sent[1023].device, 0x55);
    EXPECT_EQ(sent[1023].reg, 0xFF80);
    for (const auto& t : sent) {
        ASSERT_EQ(t.length, 128);
        ASSERT_EQ(t.data, std::vector<uint8_t>(128, 0xFF));
    }
    EXPECT_EQ(kano.CheckHeaderVer(), 255);
}

TEST_F(LegacyStoreTest, EraseStopsAtTheFirstFailedWrite) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoXu, R"("faults": [{"op": "xu.set", "selector": 6, "on": 3, "code": "ERROR_GEN_FAILURE"}])");
    const auto sent = I2cOf([&] { EXPECT_LT(kano.ClearISPBootdata(), 0); });
    EXPECT_EQ(sent.size(), 3u);
    EXPECT_TRUE(Logged("KanoCamCtrl::ClearISPBootdata", "Erase Bootdata Fail at 0x00100"));
}

TEST_F(LegacyStoreTest, DumpWritesTheWholeStore) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoXu);
    const auto sent = I2cOf([&] { EXPECT_EQ(kano.DumpBootdata(), 0); });
    EXPECT_EQ(sent.size(), 1024u);
    std::ifstream in("bootdata.bin", std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 131072u);
    EXPECT_EQ(bytes[0], 2);  // the version 2 header
    EXPECT_EQ(static_cast<uint8_t>(bytes[131071]), 0xFF);  // the erased second half
}

TEST_F(LegacyStoreTest, DumpWithAFailedReadIsAFailure) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoXu, R"("faults": [{"op": "xu.get", "selector": 6, "on": 2, "code": "ERROR_GEN_FAILURE"}])");
    EXPECT_EQ(kano.DumpBootdata(), -1);
    EXPECT_TRUE(Logged("KanoCamCtrl::DumpBootdata", "Read Bootdata Fail at 0x00080"));
}

void WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream out(name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST_F(LegacyStoreTest, DownloadWritesTheImageIn128BytePiecesAndALastShorterOne) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoXu);
    std::vector<uint8_t> image(300);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7);
    image[0] = 2;  // a version 2 header: no fuse ID to write
    WriteFile("image.bin", image);
    testing::internal::CaptureStdout();
    const auto sent = I2cOf([&] { EXPECT_EQ(kano.DownloadBootdata("image.bin"), 0); });
    std::fflush(stdout);
    // The legacy channel's console lines share standard output.
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Bootdata size: 300\n"), std::string::npos);
    ASSERT_EQ(sent.size(), 4u);  // three pieces, then the header version
    EXPECT_EQ(sent[0].reg, 0);
    EXPECT_EQ(sent[1].reg, 128);
    EXPECT_EQ(sent[2].reg, 256);
    EXPECT_EQ(sent[2].length, 44);
    EXPECT_EQ(sent[2].data, std::vector<uint8_t>(image.begin() + 256, image.end()));
    EXPECT_FALSE(sent[3].write);
    EXPECT_TRUE(Logged("KanoCamCtrl::DownloadBootdata", "DownloadBootdata Completed."));
}

TEST_F(LegacyStoreTest, DownloadCrossesIntoTheSecondStoreAddress) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoXu);
    std::vector<uint8_t> image(0x10080, 0x5A);
    image[0] = 2;
    WriteFile("image.bin", image);
    const auto sent = I2cOf([&] { EXPECT_EQ(kano.DownloadBootdata("image.bin"), 0); });
    ASSERT_EQ(sent.size(), 0x10080u / 128 + 1);
    EXPECT_EQ(sent[0x1FF].device, 0x54);
    EXPECT_EQ(sent[0x1FF].reg, 0xFF80);
    EXPECT_EQ(sent[0x200].device, 0x55);
    EXPECT_EQ(sent[0x200].reg, 0x0000);
}

// The first 256 bytes of the KIVO's store, read in two pieces; empty when a
// read fails.
std::vector<uint8_t> StoreStart(KanoCamCtrl& kano) {
    std::vector<uint8_t> bytes(256);
    if (kano.GenI2CRead(0x54, 2, 0, 128, bytes.data()) != 0 ||
        kano.GenI2CRead(0x54, 2, 128, 128, bytes.data() + 128) != 0) {
        bytes.clear();
    }
    return bytes;
}

TEST_F(LegacyStoreTest, DownloadOfAVersion3HeaderWritesTheFuseIdAndChecksums) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName,
           R"({"model": "kivo", "header": {"version": 3, "fuseId": "00000000000000000000000000000001"},
               "sensor": {"fuseId": "A0A1A2A3A4A5A6A7A8A9AAABACADAEAF"}})");
    std::vector<uint8_t> image = StoreStart(kano);
    ASSERT_EQ(image.size(), 256u);
    // An image fresh from the maker: no fuse ID, checksums unwritten, so the
    // ID comes from the sensor and the download puts it in.
    for (int i = 5; i < 21; ++i) image[static_cast<std::size_t>(i)] = 0;
    image[101] = image[102] = image[123] = image[124] = 0xFF;
    WriteFile("image.bin", image);
    TransferLog log(*backend_, [&] { EXPECT_EQ(kano.DownloadBootdata("image.bin"), 0); });
    (void)log;
    SvHeaderV3 header{};
    ASSERT_EQ(kano.GetBootdataHeaderV3(&header), 0);
    char id[33] = {};
    for (int i = 0; i < 16; ++i) std::snprintf(id + 2 * i, 3, "%02X", unsigned{header.sensorFuseId[i]});
    EXPECT_STREQ(id, "A0A1A2A3A4A5A6A7A8A9AAABACADAEAF");
    std::vector<uint8_t> stored(128);
    ASSERT_EQ(kano.GenI2CRead(0x54, 2, 0, 128, stored.data()), 0);
    uint32_t fixed = 0;
    for (int i = 0; i < 101; ++i) fixed += stored[static_cast<std::size_t>(i)];
    const uint16_t fixChecksum = header.fixChecksum;  // packed: copied before it is compared
    EXPECT_EQ(fixChecksum, fixed % 65535u);
    uint32_t total = 0;
    for (int i = 0; i < 122; ++i) total += stored[static_cast<std::size_t>(i)];
    const uint16_t totalChecksum = header.totalChecksum;
    EXPECT_EQ(totalChecksum, total % 65535u);
    EXPECT_TRUE(Logged("KanoCamCtrl::DownloadBootdata", "DownloadBootdata Completed."));
}

TEST_F(LegacyStoreTest, DownloadOfAnImageSealedOnAnotherUnitSealsThisSensorsId) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName,
           R"({"model": "kivo", "header": {"version": 3, "fuseId": "11111111111111111111111111111111"},
               "sensor": {"fuseId": "22222222222222222222222222222222"}})");
    // The store as another unit left it: sealed, its checksums holding for
    // that unit's ID. Downloaded as an image, it must not bring the ID along.
    std::vector<uint8_t> image = StoreStart(kano);
    ASSERT_EQ(image.size(), 256u);
    ASSERT_EQ(image[5], 0x11);
    WriteFile("image.bin", image);
    EXPECT_EQ(kano.DownloadBootdata("image.bin"), 0);
    SvHeaderV3 header{};
    ASSERT_EQ(kano.GetBootdataHeaderV3(&header), 0);
    EXPECT_EQ(std::vector<uint8_t>(header.sensorFuseId, header.sensorFuseId + 16), std::vector<uint8_t>(16, 0x22));
    char id[64] = {};
    ASSERT_EQ(kano.GetUniqueSensorID(id), 0);
    EXPECT_STREQ(id, "22222222222222222222222222222222");
}

TEST_F(LegacyStoreTest, DownloadOfAMissingImageWritesNothing) {
    KanoCamCtrl kano;
    Attach(kano, kKivoName, kKivoXu);
    testing::internal::CaptureStdout();
    const auto sent = I2cOf([&] { EXPECT_EQ(kano.DownloadBootdata("missing.bin"), -1); });
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(sent.empty());
}

TEST_F(LegacyTest, LumoEraseEntersTheLoaderUnlocksAndErases) {
    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, kLiraXu);
    const uint64_t before = backend_->NowMs();
    TraceCapture trace(*backend_);
    EXPECT_EQ(lumo.ClearISPBootdata(), 0);
    trace.Stop();
    EXPECT_GE(backend_->NowMs() - before, 1010u);
    std::vector<I2cTransfer> commands;
    for (auto& t : I2cTransfersOf(trace)) {
        if (t.write) commands.push_back(t);
    }
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].reg, 0x8021);  // 0x80, then 33 bytes of command and password
    // After the two address bytes: 00, the command, the password and a 4-byte CRC.
    ASSERT_EQ(commands[0].data.size(), 2u + 32u + 4u);
    EXPECT_EQ(commands[0].data[0], 0x00);
    EXPECT_EQ(commands[0].data[1], 0x21);
    EXPECT_EQ(std::vector<uint8_t>(commands[0].data.begin() + 2, commands[0].data.begin() + 34),
              std::vector<uint8_t>(32, 0xFF));
    EXPECT_EQ(commands[1].reg, 0x8001);
    EXPECT_EQ(commands[1].data[1], 0x15);
    EXPECT_TRUE(Logged("LumoCamCtrl::ClearISPBootdata", "Mass Erased Flash"));
}

TEST_F(LegacyTest, LumoEraseWithAWrongPasswordStopsBeforeErasing) {
    LumoCamCtrl lumo;
    Attach(lumo, kLiraName,
           R"({"model": "lira", "bslPassword": "0000000000000000000000000000000000000000000000000000000000000000"})");
    std::vector<I2cTransfer> sent;
    sent = I2cOf([&] { EXPECT_EQ(lumo.ClearISPBootdata(), -1); });
    for (const auto& t : sent) EXPECT_FALSE(t.write && t.reg == 0x8001) << "mass erase sent";
}

// A LUMO image: the information block, a control section and a bootdata
// section that starts with a version 3 header byte.
std::vector<uint8_t> LumoImage(uint32_t controlLen, uint32_t bootdataLen) {
    std::vector<uint8_t> image = {1, 2, 3, 4};
    auto le32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) image.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    le32(0x8000);
    le32(controlLen);
    le32(0x10000);
    le32(bootdataLen);
    for (uint32_t i = 0; i < controlLen; ++i) image.push_back(static_cast<uint8_t>(i * 3 + 1));
    for (uint32_t i = 0; i < bootdataLen; ++i) image.push_back(static_cast<uint8_t>(i == 0 ? 3 : i * 5));
    return image;
}

TEST_F(LegacyStoreTest, LumoDownloadProgramsAndVerifiesBothSections) {
    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, kLiraXu);
    ASSERT_EQ(lumo.ClearISPBootdata(), 0);
    WriteFile("lumo.bin", LumoImage(200, 256));
    TraceCapture trace(*backend_);
    EXPECT_EQ(lumo.DownloadBootdata("lumo.bin"), 0);
    trace.Stop();
    std::vector<I2cTransfer> commands;
    for (auto& t : I2cTransfersOf(trace)) {
        if (t.write) commands.push_back(t);
    }
    // Control: 128 + 72 bytes, two CRC requests; bootdata: 128 + 128, one CRC request.
    ASSERT_EQ(commands.size(), 7u);
    EXPECT_EQ(commands[0].reg, 0x8085);  // 1 + 4 + 128 bytes of command, address and data
    EXPECT_EQ(std::vector<uint8_t>(commands[0].data.begin(), commands[0].data.begin() + 6),
              (std::vector<uint8_t>{0x00, 0x20, 0x00, 0x80, 0x00, 0x00}));
    EXPECT_EQ(commands[1].reg, 0x804D);
    EXPECT_EQ(commands[2].data[1], 0x26);
    EXPECT_EQ(commands[3].data[1], 0x26);
    EXPECT_EQ(std::vector<uint8_t>(commands[4].data.begin() + 2, commands[4].data.begin() + 6),
              (std::vector<uint8_t>{0x00, 0x00, 0x01, 0x00}));
    EXPECT_EQ(commands[6].data[1], 0x26);
    EXPECT_TRUE(Logged("LumoCamCtrl::DownloadBootdata", "Verification Flashed Bootdata Part"));
}

TEST_F(LegacyStoreTest, LumoDownloadOutsideLoaderModeFailsAndSaysWhere) {
    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, kLiraXu);
    WriteFile("lumo.bin", LumoImage(200, 256));
    // Not in loader mode: no status message answers the first piece.
    EXPECT_EQ(lumo.DownloadBootdata("lumo.bin"), -1);
    EXPECT_TRUE(Logged("LumoCamCtrl::DownloadBootdata", "Program Error: address = 0x00008080"));
}

TEST_F(LegacyStoreTest, LumoDownloadRefusesAProgramAnswerThatIsAStatusOtherThanDone) {
    // A loader that answers a status message whose status is not 0: locked
    // (loader mode without the unlock) and an address outside its flash.
    struct Case {
        const char* what;
        bool unlock;
        uint32_t controlAddr;
        const char* logged;
    };
    for (const Case& c : {Case{"locked", false, 0x8000, "Program Error: address = 0x00008080"},
                          Case{"outside the flash", true, 0x3FFC0, "Program Error: address = 0x00040040"}}) {
        SCOPED_TRACE(c.what);
        LumoCamCtrl lumo;
        Attach(lumo, kLiraName, kLiraXu);
        if (c.unlock) {
            ASSERT_EQ(lumo.ClearISPBootdata(), 0);
        } else {
            ASSERT_EQ(lumo.SetBSLMode(1), 0);
        }
        auto image = LumoImage(200, 256);
        for (int i = 0; i < 4; ++i) image[4 + static_cast<std::size_t>(i)] = static_cast<uint8_t>(c.controlAddr >> (8 * i));
        WriteFile("lumo.bin", image);
        TraceCapture trace(*backend_);
        EXPECT_EQ(lumo.DownloadBootdata("lumo.bin"), -1);
        trace.Stop();
        EXPECT_TRUE(Logged("LumoCamCtrl::DownloadBootdata", c.logged));
        // Refused at the first piece: nothing more is programmed or checked.
        int packets = 0;
        for (const auto& t : I2cTransfersOf(trace)) packets += t.write ? 1 : 0;
        EXPECT_EQ(packets, 1);
    }
}

TEST_F(LegacyStoreTest, LumoDownloadRefusesAVerificationAnswerWrongOnlyInItsTopByte) {
    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, R"({"model": "lira", "bslCrcError": 4278190080})");  // 0xFF000000
    ASSERT_EQ(lumo.ClearISPBootdata(), 0);
    WriteFile("lumo.bin", LumoImage(200, 256));
    EXPECT_EQ(lumo.DownloadBootdata("lumo.bin"), -1);
    const auto lines = Lines();
    auto has = [&](const std::string& text) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.rfind("[LumoCamCtrl::DownloadBootdata][", 0) == 0 && l.find("] " + text) != std::string::npos;
        });
    };
    EXPECT_TRUE(has("Verification Fail"));
    EXPECT_TRUE(has("memory CRC: 0x"));
    EXPECT_FALSE(has("Verification Flash")) << "the control section was taken as verified";
}

TEST_F(LegacyStoreTest, LumoImageShorterThanItsSectionsIsRefusedBeforeAnyTransfer) {
    LumoCamCtrl lumo;
    Attach(lumo, kLiraName, kLiraXu);
    auto image = LumoImage(200, 256);
    image.resize(image.size() - 1);
    WriteFile("lumo.bin", image);
    WriteFile("tiny.bin", {1, 2, 3});
    TransferLog none(*backend_, [&] {
        EXPECT_EQ(lumo.DownloadBootdata("lumo.bin"), -1);
        EXPECT_EQ(lumo.DownloadBootdata("tiny.bin"), -1);
        EXPECT_EQ(lumo.DownloadBootdata("missing.bin"), -1);
    });
    EXPECT_EQ(none.Transfers(), 0u);
}

}  // namespace
}  // namespace svtest
