// Maker cameras against the simulated KIVO and LIRA firmware: versions,
// headers, ISP and sensor registers, and the unique sensor ID by both paths.

#include <chrono>

#include "camera/MakerWorld.h"
#include "common/LogCapture.h"
#include "platform/SimTestUtil.h"

using sv::test::LogCapture;

namespace {

class MakerSensorTest : public svtest::MakerCameraTest {};

TEST_F(MakerSensorTest, DefaultWorldVersionsAndHeaders) {
    InstallDefault();
    auto kivo = Camera("KIVO");
    auto lira = Camera("LIRA");
    ASSERT_EQ(SvOpen(kivo), 0);
    ASSERT_EQ(SvOpen(lira), 0);
    std::string text;
    ASSERT_EQ(SvGetUSBFirmwareVersion(kivo, text), 0);
    EXPECT_EQ(text, "24.07.03.01");
    ASSERT_EQ(SvGetUSBFirmwareVersion(lira, text), 0);
    EXPECT_EQ(text, "23.11.05.00");

    EXPECT_EQ(SvGetHeaderVersion(kivo), 2);
    EXPECT_EQ(SvGetHeaderVersion(lira), 3);
    ASSERT_EQ(SvGetSensorFirmwareVersion(kivo, text), 0);
    EXPECT_EQ(text, "01.02.10");
    ASSERT_EQ(SvGetSensorFirmwareVersion(lira, text), 0);
    EXPECT_EQ(text, "01.05.300.07");

    auto v2 = std::make_unique<SvHeaderV2>();
    ASSERT_EQ(SvGetBootdataHeaderV2(kivo, v2), 0);
    EXPECT_EQ(std::string(v2->productName), "KIVO-AR0234");
    auto v3 = std::make_unique<SvHeaderV3>();
    ASSERT_EQ(SvGetBootdataHeaderV3(lira, v3), 0);
    EXPECT_EQ(std::string(v3->productName), "LIRA-OX05B");
    const uint16_t fix = v3->fixChecksum;  // a copy: the record is packed
    EXPECT_NE(fix, 0xFFFF);
}

TEST_F(MakerSensorTest, IspRegistersRoundTripOnBothFamilies) {
    InstallDefault();
    for (const char* part : {"KIVO", "LIRA"}) {
        auto camera = Camera(part);
        ASSERT_EQ(SvOpen(camera), 0);
        uint16_t value = 0;
        ASSERT_EQ(SvAP1302I2CRead(camera, 0x0000, value), 0) << part;
        EXPECT_EQ(value, 0x0265) << part;
        ASSERT_EQ(SvAP1302I2CWrite(camera, 0x7000, 0x0123), 0);
        ASSERT_EQ(SvAP1302I2CRead(camera, 0x7000, value), 0);
        EXPECT_EQ(value, 0x0123) << part;
    }
}

TEST_F(MakerSensorTest, GenericI2CReachesTheHeaderStore) {
    InstallDefault();
    auto kivo = Camera("KIVO");
    ASSERT_EQ(SvOpen(kivo), 0);
    uint8_t bytes[4] = {};
    ASSERT_EQ(SvGenericI2CRead(kivo, 0x54, 2, 0x0000, 4, bytes), 0);
    EXPECT_EQ(bytes[0], 2) << "version byte of the header";
    // An address nobody answers fails with the read message.
    LogCapture capture;
    EXPECT_EQ(SvGenericI2CRead(kivo, 0x11, 2, 0x0000, 4, bytes), -1);
    EXPECT_TRUE(capture.Contains("UVC: Generic I2C Read Fail"));
}

TEST_F(MakerSensorTest, SensorRegistersThroughTheBridge) {
    InstallDefault();
    auto kivo = Camera("KIVO");
    ASSERT_EQ(SvOpen(kivo), 0);
    uint16_t value = 0;
    ASSERT_EQ(SvAP1302SensorRegisterRead(kivo, 0x20, 0x3000, value), 0);
    EXPECT_EQ(value, 0x0A56) << "chip id";
    ASSERT_EQ(SvAP1302SensorRegisterWrite(kivo, 0x20, 0x3012, 0x0100), 0);
    uint16_t reg = 0;
    ASSERT_EQ(SvAP1302I2CRead(kivo, 0x60A4, reg), 0);
    EXPECT_EQ(reg, 0xF320);
    ASSERT_EQ(SvAP1302I2CRead(kivo, 0x60A6, reg), 0);
    EXPECT_EQ(reg, 0x3012);
    ASSERT_EQ(SvAP1302SensorRegisterRead(kivo, 0x20, 0x3012, value), 0);
    EXPECT_EQ(value, 0x0100);
}

TEST_F(MakerSensorTest, StuckBridgeFailsAfterItsPolls) {
    auto camera = OpenMaker("KIVO-AR0234 Camera", "0234", R"({"model": "kivo", "bridgePolls": "stuck"})");
    svtest::TraceCapture trace(*backend_);
    // A status read is the ISP packet 01 60 AC.
    auto statusReads = [&] { return trace.Count({"\"op\":\"xu.set\"", "0160ac"}); };
    uint16_t value = 0x7777;
    {
        LogCapture capture;
        EXPECT_EQ(SvAP1302SensorRegisterRead(camera, 0x20, 0x3000, value), -1);
        EXPECT_TRUE(capture.Contains("AP1302SensorRegisterRead I2C BUS 1 Check Fail!"));
    }
    EXPECT_EQ(statusReads(), 21);
    EXPECT_EQ(value, 0x7777);
    trace.Clear();
    EXPECT_EQ(SvAP1302SensorRegisterWrite(camera, 0x20, 0x3000, 1), -1);
    EXPECT_EQ(statusReads(), 20);
}

TEST_F(MakerSensorTest, AbsentSensorGivesNoValueAndNoUid) {
    auto camera = OpenMaker("KIVO-AR0234 Camera", "0234", R"({"model": "kivo", "sensor": {"absent": true}})");
    std::string uid = "before";
    LogCapture capture;
    EXPECT_EQ(SvGetSensorUniqueID(camera, uid), -1);
    EXPECT_EQ(uid, "before");
    EXPECT_TRUE(capture.Contains("GetSensorUniqueID Check Sensor SID Fail!"));
}

TEST_F(MakerSensorTest, UniqueIdFromTheSensorRunsOnDeviceTime) {
    InstallDefault();
    auto kivo = Camera("KIVO");
    ASSERT_EQ(SvOpen(kivo), 0);
    const int64_t deviceBefore = backend_->DeviceTimeUs();
    const auto wallBefore = std::chrono::steady_clock::now();
    std::string uid;
    ASSERT_EQ(SvGetSensorUniqueID(kivo, uid), 0);
    EXPECT_EQ(uid, "3A7F0A5612C4E89B05D21F6E7C3B4A90");
    EXPECT_GE(backend_->DeviceTimeUs() - deviceBefore, 1000000) << "two 500 ms waits of device time";
    EXPECT_LT(std::chrono::steady_clock::now() - wallBefore, std::chrono::milliseconds(900)) << "no real sleep";
}

TEST_F(MakerSensorTest, UniqueIdFromTheHeaderNeverTouchesTheSensor) {
    InstallDefault();
    auto lira = Camera("LIRA");
    ASSERT_EQ(SvOpen(lira), 0);
    svtest::TraceCapture trace(*backend_);
    std::string uid;
    ASSERT_EQ(SvGetSensorUniqueID(lira, uid), 0);
    EXPECT_EQ(uid, "5B05E2D4C6A8193F7D0B4E6A21C3F859");
    EXPECT_EQ(trace.Count({"f00060ac"}), 0);
}

TEST_F(MakerSensorTest, UnwrittenHeaderFuseFallsBackToTheSensorAtTheSecondId) {
    auto camera = OpenMaker("LIRA-OX05B Camera", "0234",
                            R"({"model": "lira", "header": {"version": 3, "fixChecksum": "0xFFFF"},
                                "sensor": {"id": 108, "chipId": 3926, "fuseId": "88887777666655554444333322221111"}})");
    SvSetLogLevel(SV_LOG_LEVEL_DEBUG);
    LogCapture capture;
    std::string uid;
    const int result = SvGetSensorUniqueID(camera, uid);
    SvSetLogLevel(SV_LOG_LEVEL_INFO);
    ASSERT_EQ(result, 0) << capture.Text();
    EXPECT_EQ(uid, "88887777666655554444333322221111");
    EXPECT_TRUE(capture.Contains("Check Header V3 Fix Checksum Fail: 0xffff"));
    EXPECT_TRUE(capture.Contains("Sen_SID:0x6c, Sen_AddrReg:0x3000"));
    EXPECT_TRUE(capture.Contains("Sen_AddrReg:0x34c0")) << "chip 0x0F56 keeps its fuses at 0x34C0";
}

TEST_F(MakerSensorTest, SensorThatNeverWakesStillAnswers) {
    auto camera =
        OpenMaker("KIVO-AR0234 Camera", "0234", R"({"model": "kivo", "standby": true, "wakeReads": "never"})");
    LogCapture capture;
    std::string uid;
    EXPECT_EQ(SvGetSensorUniqueID(camera, uid), 0);
    EXPECT_TRUE(capture.Contains("GetSensorUniqueID Wake Sensor Up Fail!"));
    EXPECT_EQ(uid.size(), 32u);
}

TEST_F(MakerSensorTest, ALostBridgeWriteFailsTheRead) {
    // Open reads the flip setting (set 1); then the transfers of the read: ISP
    // id (set 2), status poll (set 3), and the bridge programming starts with
    // set 4, which the device refuses.
    InstallWorld(svtest::MakerWorldJson("KIVO-AR0234 Camera", "0234", R"({"model": "kivo"})",
                                        R"("faults": [{"op": "xu.set", "selector": 5, "on": 4}])"));
    auto camera = Camera("KIVO-AR0234 Camera");
    ASSERT_EQ(SvOpen(camera), 0);
    uint16_t value = 0x4242;
    LogCapture capture;
    EXPECT_EQ(SvAP1302SensorRegisterRead(camera, 0x20, 0x3000, value), -1);
    EXPECT_EQ(value, 0x4242) << "no stale value reported";
    EXPECT_TRUE(capture.Contains("Bridge register 0x60a8 write Fail!"));
}

}  // namespace
