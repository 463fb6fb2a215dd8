// The maker cameras' extension-unit transport, byte for byte, against a
// scripted device model; header files; firmware version comparison.

#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "camera/MakerWorld.h"
#include "camera/XuProtocol.h"
#include "common/LogCapture.h"
#include "formats/BootdataHeader.h"
#include "platform/SimTestUtil.h"
#include "platform/sim/XuModel.h"

using svtest::CameraTest;
using sv::test::LogCapture;
using sv::test::TempDir;

namespace {

struct Seen {
    uint8_t selector;
    uint8_t request;
    std::vector<uint8_t> payload;
};

// Records every transfer. GET_CUR answers from one packet buffer, as the
// device has: the firmware version, or the last SET_CUR payload with a
// register read answered (value = register XOR 0x5A5A).
struct Script {
    std::mutex mutex;
    std::vector<Seen> seen;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(512);
    uint8_t version[4] = {24, 7, 3, 1};
    bool failAll = false;
};
Script* g_script = nullptr;

class ScriptedModel : public sv::sim::XuDeviceModel {
public:
    std::string Name() const override { return "scripted"; }
    sv::platform::HResult Transfer(sv::sim::XuTransfer& t, sv::sim::XuHost&, std::string&) override {
        std::lock_guard<std::mutex> lock(g_script->mutex);
        if (t.request == 0x01) g_script->seen.push_back({t.selector, t.request, {t.data, t.data + t.length}});
        else g_script->seen.push_back({t.selector, t.request, {}});
        if (g_script->failAll) return sv::platform::HR_ERROR_GEN_FAILURE;
        auto& buf = g_script->buffer;
        if (t.request == 0x01) {
            std::memcpy(buf.data(), t.data, std::min<std::size_t>(t.length, buf.size()));
            if (t.selector == XU_CS_ISP_REGISTER && buf[0] == 0x01) {
                const uint16_t v = static_cast<uint16_t>(((buf[1] << 8) | buf[2]) ^ 0x5A5A);
                buf[3] = static_cast<uint8_t>(v >> 8);
                buf[4] = static_cast<uint8_t>(v & 0xFF);
            }
            if (t.selector == XU_CS_GENERIC_I2C && (buf[0] & 1)) {
                const std::size_t a = buf[1];
                const std::size_t n = static_cast<std::size_t>((buf[2 + a] << 8) | buf[3 + a]);
                for (std::size_t i = 0; i < n && 4 + a + i < buf.size(); ++i) buf[4 + a + i] = static_cast<uint8_t>(0xA0 + i);
            }
            return 0;
        }
        if (t.selector == XU_CS_FIRMWARE_VERSION) {
            std::memcpy(t.data, g_script->version, 4);
            return 0;
        }
        std::memcpy(t.data, buf.data(), std::min<std::size_t>(t.length, buf.size()));
        return 0;
    }
};

class MakerTransportTest : public CameraTest {
protected:
    void SetUp() override {
        CameraTest::SetUp();
        g_script = &script_;
        sv::sim::RegisterXuModel("scripted", [](const nlohmann::json&) { return std::make_unique<ScriptedModel>(); });
    }
    void TearDown() override {
        CameraTest::TearDown();
        sv::sim::UnregisterXuModel("scripted");
        g_script = nullptr;
    }
    std::shared_ptr<SvCamera> OpenMaker(const std::string& name) {
        InstallWorld(svtest::MakerWorldJson(name, "0234", R"({"model": "scripted"})"));
        auto camera = Camera(name);
        EXPECT_EQ(SvOpen(camera), 0);
        std::lock_guard<std::mutex> lock(script_.mutex);
        script_.seen.clear();
        return camera;
    }
    std::vector<Seen> Seen_() {
        std::lock_guard<std::mutex> lock(script_.mutex);
        return script_.seen;
    }
    Script script_;
};

std::vector<uint8_t> Head(const std::vector<uint8_t>& v, std::size_t n) { return {v.begin(), v.begin() + static_cast<long>(n)}; }

TEST_F(MakerTransportTest, FirmwareVersionTextAndPacketSize) {
    struct Case {
        uint8_t bytes[4];
        const char* text;
        std::size_t packet;
    } cases[] = {{{0x18, 0x0C, 0x01, 0x00}, "24.12.01.00", 256},
                 {{0x17, 0x0B, 0x05, 0x00}, "23.11.05.00", 512},
                 {{0x16, 0x0C, 0x01, 0x00}, "22.12.01.00", 256}};
    auto camera = OpenMaker("KIVO-AR0234 Camera");
    for (const auto& c : cases) {
        std::memcpy(script_.version, c.bytes, 4);
        std::string text;
        ASSERT_EQ(SvGetUSBFirmwareVersion(camera, text), 0);
        EXPECT_EQ(text, c.text);
        uint8_t byte = 0;
        ASSERT_EQ(SvGenericI2CRead(camera, 0x54, 2, 0, 1, &byte), 0);
        EXPECT_EQ(Seen_().back().selector, XU_CS_GENERIC_I2C);
        EXPECT_EQ(Seen_()[Seen_().size() - 2].payload.size(), c.packet) << c.text;
    }
    // A first byte of 0 fails and keeps text and packet size.
    script_.version[0] = 0;
    std::string text = "kept";
    LogCapture capture;
    EXPECT_EQ(SvGetUSBFirmwareVersion(camera, text), -1);
    EXPECT_EQ(text, "kept");
    EXPECT_TRUE(capture.Contains("UVC: Get Firmware Version Fail"));
}

TEST_F(MakerTransportTest, GenericI2CReadPacketAndLimits) {
    auto camera = OpenMaker("KIVO-AR0234 Camera");  // opened with 24.07.03.01: 256-byte packets
    std::vector<uint8_t> data(512);
    ASSERT_EQ(SvGenericI2CRead(camera, 0x54, 1, 0x12, 3, data.data()), 0);
    auto seen = Seen_();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(Head(seen[0].payload, 6), (std::vector<uint8_t>{0xA9, 0x01, 0x12, 0x00, 0x03, 0x00}));
    EXPECT_EQ(seen[1].request, GET_CUR);
    // The data start at 4 + A: offset 5 for a one-byte address.
    EXPECT_EQ(Head(data, 3), (std::vector<uint8_t>{0xA0, 0xA1, 0xA2}));

    const std::size_t before = Seen_().size();
    EXPECT_EQ(SvGenericI2CRead(camera, 0x54, 0, 0, 1, data.data()), -1);
    EXPECT_EQ(SvGenericI2CRead(camera, 0x54, 3, 0, 1, data.data()), -1);
    EXPECT_EQ(SvGenericI2CRead(camera, 0x54, 2, 0, 1, nullptr), -1);
    EXPECT_EQ(SvGenericI2CRead(camera, 0x54, 2, 0, 251, data.data()), -1);
    EXPECT_EQ(Seen_().size(), before) << "refused calls send nothing";
    EXPECT_EQ(SvGenericI2CRead(camera, 0x54, 2, 0, 250, data.data()), 0);
}

TEST_F(MakerTransportTest, GenericI2CWriteLengthsByPacketSize) {
    auto camera = OpenMaker("LIRA-OX05B Camera");
    std::memcpy(script_.version, "\x17\x0B\x05\x00", 4);
    std::string text;
    ASSERT_EQ(SvGetUSBFirmwareVersion(camera, text), 0);  // 512-byte packets
    std::vector<uint8_t> data(300, 0x77);
    ASSERT_EQ(SvGenericI2CWrite(camera, 0x48, 2, 0x4000, 255, data.data()), 0);
    auto last = Seen_().back();
    ASSERT_EQ(last.payload.size(), 512u);
    EXPECT_EQ(Head(last.payload, 6), (std::vector<uint8_t>{0x90, 0x02, 0x40, 0x00, 0x00, 0xFF}));
    EXPECT_EQ(last.payload[6 + 254], 0x77);
    EXPECT_EQ(last.payload[6 + 255], 0x00);

    std::memcpy(script_.version, "\x18\x01\x00\x00", 4);
    ASSERT_EQ(SvGetUSBFirmwareVersion(camera, text), 0);  // 256-byte packets
    EXPECT_EQ(SvGenericI2CWrite(camera, 0x48, 2, 0, 250, data.data()), 0);
    EXPECT_EQ(SvGenericI2CWrite(camera, 0x48, 2, 0, 251, data.data()), -1);
}

TEST_F(MakerTransportTest, GenericI2CWriteAboveAByteIsRefusedAndSendsNothing) {
    auto camera = OpenMaker("LIRA-OX05B Camera");
    std::memcpy(script_.version, "\x17\x0B\x05\x00", 4);
    std::string text;
    ASSERT_EQ(SvGetUSBFirmwareVersion(camera, text), 0);  // 512-byte packets: room beyond 255 bytes
    std::vector<uint8_t> data(512, 0x77);
    svtest::TraceCapture trace(*backend_);
    // The length byte of the packet cannot carry these: nothing of them is written.
    for (const uint16_t length : {uint16_t{256}, uint16_t{258}, uint16_t{511}, uint16_t{0xFFFF}}) {
        LogCapture log;
        EXPECT_EQ(SvGenericI2CWrite(camera, 0x48, 2, 0x4000, length, data.data()), -1) << length;
        EXPECT_TRUE(log.Contains("[error]")) << log.Text();
        EXPECT_TRUE(log.Contains("Data length " + std::to_string(length) + " is above 255")) << log.Text();
    }
    EXPECT_EQ(trace.Count({"\"op\":\"xu."}), 0) << "no extension-unit transfer";
    // The largest length that fits still goes out, whole.
    ASSERT_EQ(SvGenericI2CWrite(camera, 0x48, 2, 0x4000, 255, data.data()), 0);
    EXPECT_EQ(trace.Count({"\"op\":\"xu.set\""}), 1);
    EXPECT_EQ(Seen_().back().payload[5], 255);
}

TEST_F(MakerTransportTest, IspRegisterPathsOfBothFamilies) {
    {
        auto kivo = OpenMaker("KIVO-AR0234 Camera");
        ASSERT_EQ(SvAP1302I2CWrite(kivo, 0x5002, 0x1234), 0);
        EXPECT_EQ(Seen_().back().payload, (std::vector<uint8_t>{0x00, 0x50, 0x02, 0x12, 0x34}));
        uint16_t value = 0;
        ASSERT_EQ(SvAP1302I2CRead(kivo, 0x1234, value), 0);
        EXPECT_EQ(value, 0x1234 ^ 0x5A5A);
        EXPECT_EQ(Seen_()[Seen_().size() - 2].payload, (std::vector<uint8_t>{0x01, 0x12, 0x34, 0x00, 0x00}));
    }
    {
        auto lira = OpenMaker("LIRA-OX05B Camera");
        uint16_t value = 0;
        ASSERT_EQ(SvAP1302I2CRead(lira, 0x0000, value), 0);
        const auto set = Seen_()[Seen_().size() - 2];
        EXPECT_EQ(Head(set.payload, 9), (std::vector<uint8_t>{0x91, 0x04, 0xF0, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00}));
        EXPECT_EQ(value, 0xA0A1) << "taken from offsets 8 and 9";
        ASSERT_EQ(SvAP1302I2CWrite(lira, 0x1010, 0x0180), 0);
        EXPECT_EQ(Head(Seen_().back().payload, 10),
                  (std::vector<uint8_t>{0x90, 0x04, 0xF0, 0x00, 0x10, 0x10, 0x00, 0x02, 0x01, 0x80}));
    }
}

TEST_F(MakerTransportTest, ResetAndProgramModeAndFailures) {
    auto camera = OpenMaker("KIVO-AR0234 Camera");
    ASSERT_EQ(SvResetUVC(camera), 0);
    EXPECT_EQ(Seen_().back().selector, XU_CS_RESET);
    EXPECT_EQ(Seen_().back().payload, std::vector<uint8_t>{0x01});
    ASSERT_EQ(SvGotoFX3ProgramMode(camera), 0);
    EXPECT_EQ(Seen_().back().selector, XU_CS_FX3_PROGRAM_MODE);

    script_.failAll = true;
    LogCapture capture;
    uint8_t byte = 0;
    uint16_t value = 0;
    EXPECT_EQ(SvResetUVC(camera), -1);
    EXPECT_EQ(SvGenericI2CRead(camera, 0x54, 2, 0, 1, &byte), -1);
    EXPECT_EQ(SvAP1302I2CRead(camera, 0, value), -1);
    EXPECT_EQ(SvGetHeaderVersion(camera), -1);
    EXPECT_TRUE(capture.Contains("UVC: Reset UVC Fail"));
    EXPECT_TRUE(capture.Contains("UVC: Generic I2C Read Fail"));
}

TEST_F(MakerTransportTest, HeaderReadsUseTheFamilyStore) {
    auto kivo = OpenMaker("KIVO-AR0234 Camera");
    SvGetHeaderVersion(kivo);
    EXPECT_EQ(Head(Seen_()[0].payload, 6), (std::vector<uint8_t>{0xA9, 0x02, 0x00, 0x00, 0x00, 0x01}));
    auto lira = OpenMaker("LIRA-OX05B Camera");
    auto header = std::make_unique<SvHeaderV3>();
    EXPECT_EQ(SvGetBootdataHeaderV3(lira, header), 0);
    EXPECT_EQ(Head(Seen_()[0].payload, 6), (std::vector<uint8_t>{0x91, 0x02, 0x40, 0x00, 0x00, 125}));
    std::unique_ptr<SvHeaderV3> empty;
    const std::size_t before = Seen_().size();
    LogCapture capture;
    EXPECT_EQ(SvGetBootdataHeaderV3(lira, empty), -1);
    EXPECT_EQ(capture.Text(), "");
    EXPECT_EQ(Seen_().size(), before);
}

TEST_F(MakerTransportTest, ConcurrentRegisterReadsGetTheirOwnValues) {
    auto camera = OpenMaker("KIVO-AR0234 Camera");
    std::atomic<int> wrong{0};
    auto reader = [&](uint16_t base) {
        for (int i = 0; i < 200; ++i) {
            const uint16_t reg = static_cast<uint16_t>(base + i);
            uint16_t value = 0;
            if (SvAP1302I2CRead(camera, reg, value) != 0 || value != (reg ^ 0x5A5A)) ++wrong;
        }
    };
    std::thread a(reader, 0x1000);
    std::thread b(reader, 0x2000);
    a.join();
    b.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(FirmwareVersionTest, CompareAgainstARequiredVersion) {
    EXPECT_EQ(CompareFirmwareVersion("24.07.03.01", "24.07.03.01"), 0);
    EXPECT_EQ(CompareFirmwareVersion("24.7.3.1", "24.07.03.01"), 0);
    EXPECT_EQ(CompareFirmwareVersion("24.07.03", "24.07.03.01"), -1);
    EXPECT_EQ(CompareFirmwareVersion("", "24.07.03.01"), -1);
    EXPECT_EQ(CompareFirmwareVersion("25.01.01.01", "24.07.03.01"), 1);
    EXPECT_EQ(CompareFirmwareVersion("24.07.02.99", "24.07.03.01"), -1);
    EXPECT_EQ(CompareFirmwareVersion("24.07.03.01.9", "24.07.03.01"), 0);
    EXPECT_EQ(CompareFirmwareVersion("24.x.03.01", "24.07.03.01"), -1) << "not a number: below, no throw";
    EXPECT_EQ(CompareFirmwareVersion("280.07.03.01", "24.07.03.01"), 0) << "low 8 bits: 280 is 24";
}

std::string Bytes(std::size_t n, uint8_t fill) { return std::string(n, static_cast<char>(fill)); }

TEST(HeaderFileTest, PlainHeadersAndLumoImages) {
    TempDir dir;
    std::string v2 = Bytes(144, 0);
    v2[0] = 2;
    v2[67] = 1;
    v2[132] = 2;
    v2[133] = 10;
    dir.Write("v2.bin", v2);
    std::unique_ptr<SvHeaderV2> h2;
    ASSERT_EQ(SvGetBootdataHeaderV2FromFile(dir.File("v2.bin"), h2), 0);
    EXPECT_EQ(sv::formats::SensorFirmwareVersion(*h2), "01.02.10");
    {
        LogCapture capture;
        std::unique_ptr<SvHeaderV3> h3;
        EXPECT_EQ(SvGetBootdataHeaderV3FromFile(dir.File("v2.bin"), h3), -1);
        EXPECT_TRUE(capture.Contains("] Failed to read header"));
    }

    dir.Write("short.bin", Bytes(124, 3));
    for (int pass = 0; pass < 2; ++pass) {
        LogCapture capture;
        std::unique_ptr<SvHeaderV2> a;
        std::unique_ptr<SvHeaderV3> b;
        EXPECT_EQ(pass == 0 ? SvGetBootdataHeaderV2FromFile(dir.File("short.bin"), a)
                            : SvGetBootdataHeaderV3FromFile(dir.File("short.bin"), b),
                  -1);
        EXPECT_TRUE(capture.Contains("] Failed to read header from file"));
        EXPECT_FALSE(capture.Contains("trying LUMO"));
    }

    // LUMO image: BinInfo, a control section of 0x1000 bytes, then the header.
    std::string image = Bytes(20, 0);
    image[0] = 1, image[1] = 2, image[2] = 3, image[3] = 4;
    image[8] = 0x00, image[9] = 0x10;  // controlLen 0x1000, little-endian
    image += Bytes(0x1000, 0xEE);
    std::string v3 = Bytes(125, 0);
    v3[0] = 3;
    v3[103] = 1;
    v3[104] = 5;
    v3[105] = static_cast<char>(300 & 0xFF);
    v3[106] = static_cast<char>(300 >> 8);
    v3[107] = 7;
    image += v3;
    dir.Write("lumo.bin", image);
    SvSetLogLevel(SV_LOG_LEVEL_DEBUG);
    LogCapture capture;
    std::unique_ptr<SvHeaderV3> h3;
    ASSERT_EQ(SvGetBootdataHeaderV3FromFile(dir.File("lumo.bin"), h3), 0);
    SvSetLogLevel(SV_LOG_LEVEL_INFO);
    EXPECT_EQ(sv::formats::SensorFirmwareVersion(*h3), "01.05.300.07");
    EXPECT_TRUE(capture.Contains("Bin file version: 1.2.3.4"));

    // A control section that points past the end: the header read fails.
    image[10] = 0x7F;
    dir.Write("past.bin", image);
    LogCapture past;
    EXPECT_EQ(SvGetBootdataHeaderV3FromFile(dir.File("past.bin"), h3), -1);
    EXPECT_TRUE(past.Contains("] Failed to read header"));
    EXPECT_FALSE(past.Contains("seek"));

    LogCapture missing;
    EXPECT_EQ(SvGetBootdataHeaderV2FromFile(dir.File("none.bin"), h2), -1);
    EXPECT_TRUE(missing.Contains("Open Bootdata File Fail! binfile path=" + dir.File("none.bin")));
}

TEST(HeaderFileTest, ChecksumsAreSumsModulo65535) {
    uint8_t bytes[125];
    std::memset(bytes, 0xFF, sizeof(bytes));
    EXPECT_EQ(sv::formats::FixChecksum(bytes), 25755);
    EXPECT_EQ(sv::formats::TotalChecksum(bytes), (123 * 255) % 65535);
}

}  // namespace
