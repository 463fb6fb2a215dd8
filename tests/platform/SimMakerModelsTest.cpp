// The KIVO and LIRA extension-unit models, driven at the seam the way the
// library drives them: node property transfers on the unit's node.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/SimTestUtil.h"
#include "platform/backend/MfIds.h"
#include "platform/sim/SimBackend.h"

namespace {

using namespace sv::platform;
using sv::sim::SimBackend;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kVersion = 0x01, kProgram = 0x02, kReset = 0x03, kUid = 0x04, kIsp = 0x05, kI2c = 0x06,
                  kOsp = 0x07, kStamp = 0x08, kIspControl = 0x09, kBsl = 0x0C;

// One opened maker camera's extension unit.
class Xu {
public:
    Xu(SimBackend& backend, size_t index) : dev_(svtest::Open(backend, index)) {
        std::shared_ptr<KsTopologyInfo> topology;
        if (dev_.source && dev_.source->QueryTopologyInfo(topology) == HR_S_OK) topology->CreateNodeInstance(2, node_);
    }
    bool Ok() const { return node_ != nullptr; }

    HResult Transfer(uint8_t selector, bool get, Bytes& data) {
        ks::PropertyNodeRequest r;
        r.set = ks::kExtensionUnitSet;
        r.id = selector;
        r.flags = (get ? ks::KSPROPERTY_TYPE_GET : ks::KSPROPERTY_TYPE_SET) | ks::KSPROPERTY_TYPE_TOPOLOGY;
        r.nodeId = 2;
        uint32_t returned = 0;
        return node_->KsProperty(r, data.data(), static_cast<uint32_t>(data.size()), returned);
    }
    HResult Set(uint8_t selector, Bytes data) { return Transfer(selector, false, data); }
    HResult Get(uint8_t selector, size_t length, Bytes& out) {
        out.assign(length, 0xEE);
        return Transfer(selector, true, out);
    }

    // Generic I2C packet: header, register address, length, data.
    static Bytes Packet(size_t size, uint8_t device, bool read, uint8_t a, uint32_t reg, uint16_t n,
                        const Bytes& data = {}) {
        Bytes p(size, 0);
        p[0] = static_cast<uint8_t>(device << 1 | (read ? 1 : 0));
        p[1] = a;
        for (uint8_t i = 0; i < a; ++i) p[2u + i] = static_cast<uint8_t>(reg >> (8 * (a - 1 - i)));
        p[2u + a] = static_cast<uint8_t>(n >> 8);
        p[3u + a] = static_cast<uint8_t>(n);
        std::copy(data.begin(), data.end(), p.begin() + 4 + a);
        return p;
    }
    // A read pair; `packet` is the whole fetched packet.
    HResult I2cRead(size_t size, uint8_t device, uint8_t a, uint32_t reg, uint16_t n, Bytes& packet) {
        const HResult hr = Set(kI2c, Packet(size, device, true, a, reg, n));
        if (hr != HR_S_OK) return hr;
        return Get(kI2c, size, packet);
    }
    HResult I2cWrite(size_t size, uint8_t device, uint8_t a, uint32_t reg, const Bytes& data) {
        return Set(kI2c, Packet(size, device, false, a, reg, static_cast<uint16_t>(data.size()), data));
    }

    // The KIVO ISP register packet.
    uint16_t KivoIsp(uint16_t reg) {
        EXPECT_EQ(Set(kIsp, {0x01, static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg), 0, 0}), HR_S_OK);
        Bytes got;
        EXPECT_EQ(Get(kIsp, 5, got), HR_S_OK);
        return static_cast<uint16_t>(got[3] << 8 | got[4]);
    }
    void KivoIsp(uint16_t reg, uint16_t value) {
        EXPECT_EQ(Set(kIsp, {0x00, static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg),
                             static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)}),
                  HR_S_OK);
    }

private:
    svtest::OpenDevice dev_;
    std::shared_ptr<KsControl> node_;
};

std::shared_ptr<SimBackend> MakerWorld(const std::string& xu) {
    auto backend = SimBackend::FromJson(
        svtest::OneDeviceWorld(R"([{"subtype": "UYVY", "width": 64, "height": 48}])", R"("xu": )" + xu));
    EXPECT_TRUE(backend->LoadError().empty()) << backend->LoadError();
    return backend;
}

std::vector<nlohmann::json> Capture(SimBackend& backend, const std::function<void()>& work) {
    svtest::TraceCapture trace(backend);
    work();
    trace.Stop();
    return trace.Json();
}

uint16_t Sum(const Bytes& b, size_t from, size_t to) {
    uint32_t s = 0;
    for (size_t i = from; i < to; ++i) s = (s + b[i]) % 65535u;
    return static_cast<uint16_t>(s);
}

TEST(SimMakerModels, FirmwareVersionChoosesThePacketSize) {
    auto backend = SimBackend::Default();
    Xu kivo(*backend, 1), lira(*backend, 2);
    ASSERT_TRUE(kivo.Ok() && lira.Ok());
    Bytes v;
    ASSERT_EQ(kivo.Get(kVersion, 4, v), HR_S_OK);
    EXPECT_EQ(v, (Bytes{24, 7, 3, 1}));
    ASSERT_EQ(lira.Get(kVersion, 4, v), HR_S_OK);
    EXPECT_EQ(v, (Bytes{23, 11, 5, 0}));
    EXPECT_EQ(kivo.Get(kVersion, 8, v), HR_ERROR_GEN_FAILURE) << "fixed length";

    // KIVO 24.x takes 256-byte packets, LIRA 23.11 512-byte ones; the other size stalls.
    Bytes p;
    EXPECT_EQ(kivo.I2cRead(256, 0x54, 2, 0, 1, p), HR_S_OK);
    EXPECT_EQ(kivo.Set(kI2c, Xu::Packet(512, 0x54, true, 2, 0, 1)), HR_ERROR_GEN_FAILURE);
    EXPECT_EQ(kivo.Get(kI2c, 512, p), HR_ERROR_GEN_FAILURE);
    EXPECT_EQ(lira.I2cRead(512, 0x48, 2, 0x4000, 1, p), HR_S_OK);
    EXPECT_EQ(lira.Set(kI2c, Xu::Packet(256, 0x48, true, 2, 0x4000, 1)), HR_ERROR_GEN_FAILURE);

    // 22.12 has a minor above 11: 256 bytes.
    auto other = MakerWorld(R"({"model": "lira", "firmwareVersion": "22.12.1.0"})");
    Xu cam(*other, 0);
    ASSERT_EQ(cam.Get(kVersion, 4, v), HR_S_OK);
    EXPECT_EQ(v, (Bytes{22, 12, 1, 0}));
    EXPECT_EQ(cam.I2cRead(256, 0x48, 2, 0x4000, 1, p), HR_S_OK);
    EXPECT_EQ(cam.I2cRead(512, 0x48, 2, 0x4000, 1, p), HR_ERROR_GEN_FAILURE);
}

TEST(SimMakerModels, GenericI2cWriteAndReadBackAtBothSizes) {
    auto backend = SimBackend::Default();
    Xu kivo(*backend, 1), lira(*backend, 2);
    const Bytes data{0xDE, 0xAD, 0xBE, 0xEF, 0x01};
    ASSERT_EQ(kivo.I2cWrite(256, 0x54, 2, 0x1230, data), HR_S_OK);
    ASSERT_EQ(lira.I2cWrite(512, 0x48, 2, 0x5230, data), HR_S_OK);
    Bytes p;
    ASSERT_EQ(kivo.I2cRead(256, 0x54, 2, 0x1230, 5, p), HR_S_OK);
    ASSERT_EQ(p.size(), 256u);
    EXPECT_EQ(Bytes(p.begin(), p.begin() + 6), (Bytes{0xA9, 2, 0x12, 0x30, 0, 5})) << "the header comes back";
    EXPECT_EQ(Bytes(p.begin() + 6, p.begin() + 11), data);
    EXPECT_TRUE(std::all_of(p.begin() + 11, p.end(), [](uint8_t b) { return b == 0; }));
    ASSERT_EQ(lira.I2cRead(512, 0x48, 2, 0x5230, 5, p), HR_S_OK);
    ASSERT_EQ(p.size(), 512u);
    EXPECT_EQ(Bytes(p.begin() + 6, p.begin() + 11), data);

    // A one-byte register address puts the data at offset 5.
    ASSERT_EQ(kivo.I2cWrite(256, 0x54, 1, 0xF0, data), HR_S_OK);
    ASSERT_EQ(kivo.I2cRead(256, 0x54, 1, 0xF1, 2, p), HR_S_OK);
    EXPECT_EQ(p[5], 0xAD);
    EXPECT_EQ(p[6], 0xBE);

    // Longest read that fits a 256-byte packet with A = 2, and one more.
    EXPECT_EQ(kivo.I2cRead(256, 0x54, 2, 0, 250, p), HR_S_OK);
    EXPECT_EQ(kivo.Set(kI2c, Xu::Packet(256, 0x54, true, 2, 0, 251)), HR_ERROR_GEN_FAILURE);
    EXPECT_EQ(kivo.Set(kI2c, Xu::Packet(256, 0x54, true, 3, 0, 1)), HR_ERROR_GEN_FAILURE) << "A = 3";
}

TEST(SimMakerModels, AbsentI2cDevicesDoNotAcknowledge) {
    auto backend = SimBackend::Default();
    Xu kivo(*backend, 1), lira(*backend, 2);
    Bytes p;
    std::vector<nlohmann::json> lines = Capture(*backend, [&] {
        EXPECT_EQ(kivo.I2cRead(256, 0x50, 2, 0, 2, p), HR_ERROR_GEN_FAILURE);
        EXPECT_EQ(kivo.I2cWrite(256, 0x48, 2, 0x3000, {1, 2}), HR_ERROR_GEN_FAILURE) << "no microcontroller on KIVO";
        EXPECT_EQ(lira.I2cRead(512, 0x3D, 2, 0, 2, p), HR_ERROR_GEN_FAILURE) << "AP1302 only behind the microcontroller";
        EXPECT_EQ(lira.I2cRead(512, 0x48, 4, 0x12340000, 2, p), HR_ERROR_GEN_FAILURE) << "outside the ISP window";
    });
    ASSERT_EQ(lines.size(), 4u);
    for (const auto& l : lines) EXPECT_NE(l["note"].get<std::string>().find("no acknowledge"), std::string::npos) << l;
}

TEST(SimMakerModels, HeadersOfTheDefaultWorld) {
    auto backend = SimBackend::Default();
    Xu kivo(*backend, 1), lira(*backend, 2);
    Bytes p;
    ASSERT_EQ(kivo.I2cRead(256, 0x54, 2, 0x0000, 144, p), HR_S_OK);
    const Bytes v2(p.begin() + 6, p.begin() + 6 + 144);
    EXPECT_EQ(v2[0], 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&v2[3])), "KIVO-AR0234");
    EXPECT_EQ(v2[67], 1);
    EXPECT_EQ(v2[132], 2);
    EXPECT_EQ(v2[133], 10);
    const uint16_t offset = static_cast<uint16_t>(v2[1] | v2[2] << 8);
    EXPECT_EQ(offset, 144);
    const uint32_t contentLen = v2[138] | v2[139] << 8 | v2[140] << 16 | static_cast<uint32_t>(v2[141]) << 24;
    ASSERT_EQ(kivo.I2cRead(256, 0x54, 2, offset, static_cast<uint16_t>(contentLen), p), HR_S_OK);
    EXPECT_EQ(v2[134] | v2[135] << 8, Sum(p, 6, 6 + contentLen)) << "content checksum";

    ASSERT_EQ(lira.I2cRead(512, 0x48, 2, 0x4000, 125, p), HR_S_OK);
    const Bytes v3(p.begin() + 6, p.begin() + 6 + 125);
    EXPECT_EQ(v3[0], 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&v3[21])), "LIRA-OX05B");
    EXPECT_EQ(v3[103], 1);
    EXPECT_EQ(v3[104], 5);
    EXPECT_EQ(v3[105] | v3[106] << 8, 300);
    EXPECT_EQ(v3[107] | v3[108] << 8, 7);
    const uint16_t fix = static_cast<uint16_t>(v3[101] | v3[102] << 8);
    EXPECT_EQ(fix, Sum(v3, 0, 101));
    Bytes summed(v3.begin(), v3.begin() + 123);
    summed[122] = 0;
    EXPECT_EQ(v3[123] | v3[124] << 8, Sum(summed, 0, 123)) << "total checksum leaves byte 122 out";
    // The fuse bytes in the header are the sensor's unique id.
    Bytes uid;
    ASSERT_EQ(lira.Get(kUid, 16, uid), HR_S_OK);
    EXPECT_EQ(Bytes(v3.begin() + 5, v3.begin() + 21), uid);
}

TEST(SimMakerModels, HeaderKeysOfTheWorldFile) {
    auto bad = MakerWorld(R"({"model": "lira", "header": {"badChecksum": true, "vendorFwVersion": 301}})");
    Xu cam(*bad, 0);
    Bytes p;
    ASSERT_EQ(cam.I2cRead(512, 0x48, 2, 0x4000, 125, p), HR_S_OK);
    const Bytes v3(p.begin() + 6, p.begin() + 6 + 125);
    EXPECT_EQ(v3[105] | v3[106] << 8, 301);
    EXPECT_NE(v3[101] | v3[102] << 8, Sum(v3, 0, 101));

    auto unwritten = MakerWorld(R"({"model": "lira", "header": {"fixChecksum": "0xFFFF"}})");
    Xu cam2(*unwritten, 0);
    ASSERT_EQ(cam2.I2cRead(512, 0x48, 2, 0x4000 + 101, 2, p), HR_S_OK) << "fixChecksum at header byte 101";
    EXPECT_EQ(p[6], 0xFF);
    EXPECT_EQ(p[7], 0xFF);

    auto raw = MakerWorld(R"({"model": "kivo", "header": {"hex": "03 0102"}})");
    Xu cam3(*raw, 0);
    ASSERT_EQ(cam3.I2cRead(256, 0x54, 2, 0, 4, p), HR_S_OK);
    EXPECT_EQ(Bytes(p.begin() + 6, p.begin() + 10), (Bytes{3, 1, 2, 0xFF})) << "an erased store reads FF";

    auto kivoV3 = MakerWorld(R"({"model": "kivo", "header": {"version": 3}})");
    Xu cam4(*kivoV3, 0);
    ASSERT_EQ(cam4.I2cRead(256, 0x54, 2, 0, 1, p), HR_S_OK);
    EXPECT_EQ(p[6], 3);
}

TEST(SimMakerModels, KivoIspRegisterPacket) {
    auto backend = SimBackend::Default();
    Xu kivo(*backend, 1);
    auto lines = Capture(*backend, [&] { kivo.KivoIsp(0x5002, 0x1234); });
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["op"], "xu.set");
    EXPECT_EQ(lines[0]["selector"], 5);
    EXPECT_EQ(lines[0]["payload"], "0050021234");
    EXPECT_EQ(kivo.KivoIsp(0x5002), 0x1234);
    EXPECT_EQ(kivo.KivoIsp(0x0000), 0x0265) << "chip id";
    EXPECT_EQ(kivo.KivoIsp(0x2000), 1920);
    // The same register file, directly at 0x3D with 16-bit registers high byte first.
    Bytes p;
    ASSERT_EQ(kivo.I2cRead(256, 0x3D, 2, 0x5002, 6, p), HR_S_OK);
    EXPECT_EQ(Bytes(p.begin() + 6, p.begin() + 12), (Bytes{0x12, 0x34, 0x00, 0x00, 0x01, 0x00})) << "0x5006 gain 1";
    ASSERT_EQ(kivo.I2cRead(256, 0x3D, 2, 0x5003, 2, p), HR_S_OK);
    EXPECT_EQ(Bytes(p.begin() + 6, p.begin() + 8), (Bytes{0x34, 0x00})) << "odd start: low byte first";
    ASSERT_EQ(kivo.I2cWrite(256, 0x3D, 2, 0x7000, {0xF8, 0x00}), HR_S_OK);
    EXPECT_EQ(kivo.KivoIsp(0x7000), 0xF800);
    EXPECT_EQ(kivo.Set(kIsp, {0x02, 0x50, 0x02, 0, 0}), HR_ERROR_GEN_FAILURE);
    EXPECT_EQ(kivo.Set(kIsp, {0x01, 0x50, 0x02, 0}), HR_ERROR_GEN_FAILURE) << "5 bytes only";
}

TEST(SimMakerModels, LiraIspPathThroughTheMicrocontroller) {
    auto backend = SimBackend::Default();
    Xu lira(*backend, 2);
    Bytes p;
    auto lines = Capture(*backend, [&] { ASSERT_EQ(lira.I2cRead(512, 0x48, 4, 0xF0000000, 2, p), HR_S_OK); });
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["payload"], "9104f00000000002");
    EXPECT_EQ(Bytes(p.begin(), p.begin() + 8), (Bytes{0x91, 0x04, 0xF0, 0x00, 0x00, 0x00, 0x00, 0x02}));
    EXPECT_EQ(p[8], 0x02);
    EXPECT_EQ(p[9], 0x65);
    ASSERT_EQ(lira.I2cWrite(512, 0x48, 4, 0xF0005002, {0x12, 0x34}), HR_S_OK);
    ASSERT_EQ(lira.I2cRead(512, 0x48, 4, 0xF0005002, 2, p), HR_S_OK);
    EXPECT_EQ(p[8], 0x12);
    EXPECT_EQ(p[9], 0x34);
    EXPECT_EQ(lira.Set(kIsp, {0x01, 0x50, 0x02, 0, 0}), HR_ERROR_GEN_FAILURE) << "no ISP packet on LIRA";
    // The microcontroller's own register file sits beside it.
    ASSERT_EQ(lira.I2cRead(512, 0x48, 2, 0x3100, 6, p), HR_S_OK);
    EXPECT_EQ(Bytes(p.begin() + 6, p.begin() + 12), (Bytes{0x07, 0x80, 0x04, 0x38, 0x00, 0x50}));
}

TEST(SimMakerModels, OneBufferServesEveryReadOfTheDevice) {
    auto backend = SimBackend::Default();
    Xu kivo(*backend, 1);
    // Two read requests before one fetch: the fetch answers the later one, as
    // on the device; the library keeps its pairs together.
    ASSERT_EQ(kivo.Set(kIsp, {0x01, 0x20, 0x00, 0, 0}), HR_S_OK);
    ASSERT_EQ(kivo.Set(kIsp, {0x01, 0x20, 0x02, 0, 0}), HR_S_OK);
    Bytes got;
    ASSERT_EQ(kivo.Get(kIsp, 5, got), HR_S_OK);
    EXPECT_EQ(got, (Bytes{0x01, 0x20, 0x02, 0x04, 0xB0}));
    // A write lands in the same buffer.
    kivo.KivoIsp(0x5006, 0x0200);
    ASSERT_EQ(kivo.Get(kIsp, 5, got), HR_S_OK);
    EXPECT_EQ(got, (Bytes{0x00, 0x50, 0x06, 0x02, 0x00}));
}

TEST(SimMakerModels, WakeCommandClearsStandby) {
    auto backend = MakerWorld(R"({"model": "kivo", "standby": true, "wakeReads": 2})");
    Xu cam(*backend, 0);
    EXPECT_EQ(cam.KivoIsp(0x601A) & 0x0200, 0x0200);
    cam.KivoIsp(0x601A, 0x0380);
    EXPECT_EQ(cam.KivoIsp(0x601A) & 0x0200, 0x0200) << "still coming up";
    EXPECT_EQ(cam.KivoIsp(0x601A) & 0x0200, 0x0200);
    EXPECT_EQ(cam.KivoIsp(0x601A) & 0x0200, 0);
    EXPECT_EQ(cam.KivoIsp(0x601A) & 0x0200, 0);

    auto never = MakerWorld(R"({"model": "kivo", "standby": true, "wakeReads": "never"})");
    Xu cam2(*never, 0);
    cam2.KivoIsp(0x601A, 0x0380);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(cam2.KivoIsp(0x601A) & 0x0200, 0x0200) << i;
}

// Runs the bridge's read command on a KIVO and counts the busy polls.
int BridgeRead(Xu& cam, uint16_t sensor, uint16_t reg, uint16_t& value, int maxPolls = 30) {
    cam.KivoIsp(0x60A8, 0);
    cam.KivoIsp(0x60AA, 2);
    cam.KivoIsp(0x60A0, static_cast<uint16_t>(sensor | 0x0300));
    cam.KivoIsp(0x60A2, reg);
    cam.KivoIsp(0x60A4, 0);
    cam.KivoIsp(0x60A6, 0x60A4);
    cam.KivoIsp(0x60AC, 0x6032);
    for (int polls = 0; polls < maxPolls; ++polls) {
        if ((cam.KivoIsp(0x60AC) & 7) == 0) {
            value = cam.KivoIsp(0x60A4);
            return polls;
        }
        EXPECT_EQ(cam.KivoIsp(0x60A4), 0) << "the data lands when the transaction ends";
    }
    return -1;
}

void BridgeWrite(Xu& cam, uint16_t sensor, uint16_t reg, uint16_t data) {
    cam.KivoIsp(0x60A8, 0);
    cam.KivoIsp(0x60AA, 2);
    cam.KivoIsp(0x60A0, 0);
    cam.KivoIsp(0x60A2, data);
    cam.KivoIsp(0x60A4, static_cast<uint16_t>(sensor | 0xF300));
    cam.KivoIsp(0x60A6, reg);
    cam.KivoIsp(0x60AC, 0x0301);
    for (int polls = 0; polls < 30; ++polls) {
        if ((cam.KivoIsp(0x60AC) & 7) == 0) return;
    }
    ADD_FAILURE() << "bridge write never finished";
}

TEST(SimMakerModels, BridgeBusyForTheConfiguredPolls) {
    auto backend = MakerWorld(R"({"model": "kivo", "bridgePolls": 3})");
    Xu cam(*backend, 0);
    EXPECT_EQ(cam.KivoIsp(0x60AC) & 7, 0) << "idle before a command";
    uint16_t value = 0;
    EXPECT_EQ(BridgeRead(cam, 0x20, 0x3000, value), 3);
    EXPECT_EQ(value, 0x0A56) << "the sensor's chip id";
    EXPECT_EQ(cam.KivoIsp(0x60AC) & 0x0008, 0) << "no error flag";

    BridgeWrite(cam, 0x20, 0x3012, 0x0100);
    EXPECT_EQ(BridgeRead(cam, 0x20, 0x3012, value), 3);
    EXPECT_EQ(value, 0x0100);

    auto instant = MakerWorld(R"({"model": "kivo", "bridgePolls": 0})");
    Xu cam2(*instant, 0);
    EXPECT_EQ(BridgeRead(cam2, 0x20, 0x3000, value), 0);
}

TEST(SimMakerModels, StuckBridgeNeverGetsIdle) {
    auto backend = MakerWorld(R"({"model": "kivo", "bridgePolls": "stuck"})");
    Xu cam(*backend, 0);
    for (int i = 0; i < 21; ++i) EXPECT_NE(cam.KivoIsp(0x60AC) & 7, 0) << i;
    uint16_t value = 0x7777;
    EXPECT_EQ(BridgeRead(cam, 0x20, 0x3000, value), -1);
    EXPECT_EQ(value, 0x7777);
}

TEST(SimMakerModels, SensorsThatDoNotAnswer) {
    auto backend = SimBackend::Default();
    Xu kivo(*backend, 1);
    uint16_t value = 0x7777;
    // Wrong bus id: the transaction ends with the error flag and no data.
    EXPECT_EQ(BridgeRead(kivo, 0x6C, 0x3000, value), 2);
    EXPECT_EQ(value, 0);
    EXPECT_NE(kivo.KivoIsp(0x60AC) & 0x0008, 0);

    auto absent = MakerWorld(R"({"model": "kivo", "sensor": {"absent": true}})");
    Xu cam(*absent, 0);
    value = 0x7777;
    EXPECT_EQ(BridgeRead(cam, 0x20, 0x3000, value), 2);
    EXPECT_EQ(value, 0);
    Bytes uid;
    EXPECT_EQ(cam.Get(kUid, 16, uid), HR_ERROR_GEN_FAILURE);
}

TEST(SimMakerModels, FuseWordsAfterTheMemoryReadOut) {
    auto backend = MakerWorld(
        R"({"model": "kivo", "bridgePolls": 0, "sensor": {"chipId": "0x0F56", "fuseId": "88887777666655554444333322221111"}})");
    Xu cam(*backend, 0);
    uint16_t value = 0;
    ASSERT_EQ(BridgeRead(cam, 0x20, 0x34C0, value), 0);
    EXPECT_EQ(value, 0) << "fuses read 0 until the memory has been read out";
    BridgeWrite(cam, 0x20, 0x304C, 0x0100);
    BridgeWrite(cam, 0x20, 0x304A, 0x0210);
    std::string text;
    for (int j = 7; j >= 0; --j) {
        ASSERT_EQ(BridgeRead(cam, 0x20, static_cast<uint16_t>(0x34C0 + 2 * j), value), 0);
        char word[5];
        std::snprintf(word, sizeof word, "%04X", value);
        text += word;
    }
    EXPECT_EQ(text, "88887777666655554444333322221111");
    Bytes uid;
    ASSERT_EQ(cam.Get(kUid, 16, uid), HR_S_OK);
    EXPECT_EQ(uid[0], 0x88);
    EXPECT_EQ(uid[15], 0x11);
}

TEST(SimMakerModels, OtherSelectors) {
    auto backend = SimBackend::Default();
    Xu kivo(*backend, 1), lira(*backend, 2);
    Bytes t0, t1;
    ASSERT_EQ(kivo.Get(kStamp, 8, t0), HR_S_OK);
    backend->Sleep(1000);  // device time
    ASSERT_EQ(kivo.Get(kStamp, 8, t1), HR_S_OK);
    const auto be32 = [](const Bytes& b, size_t at) {
        return static_cast<uint32_t>(b[at]) << 24 | b[at + 1u] << 16 | b[at + 2u] << 8 | b[at + 3u];
    };
    EXPECT_EQ(be32(t1, 0) - be32(t0, 0), 30u) << "frames";
    EXPECT_EQ(be32(t1, 4) - be32(t0, 4), 1000u) << "milliseconds";

    EXPECT_EQ(kivo.Set(kOsp, {2}), HR_S_OK);
    EXPECT_EQ(kivo.Set(kIspControl, {0}), HR_S_OK);
    EXPECT_EQ(kivo.Set(kIspControl, {2}), HR_ERROR_GEN_FAILURE);
    EXPECT_EQ(kivo.Set(kBsl, {1}), HR_ERROR_GEN_FAILURE) << "no loader on KIVO";
    EXPECT_EQ(kivo.Set(kReset, {1}), HR_S_OK);
    EXPECT_EQ(kivo.Set(kReset, {0}), HR_ERROR_GEN_FAILURE);
    Bytes v;
    EXPECT_EQ(kivo.Get(kReset, 1, v), HR_ERROR_GEN_FAILURE) << "set only";

    Bytes p;
    ASSERT_EQ(lira.I2cRead(512, 0x48, 1, 0xBB, 1, p), HR_S_OK);
    EXPECT_EQ(p[5], 0x00);
    EXPECT_EQ(lira.Set(kBsl, {1}), HR_S_OK);
    ASSERT_EQ(lira.I2cRead(512, 0x48, 1, 0xBB, 1, p), HR_S_OK);
    EXPECT_EQ(p[5], 0x51) << "the loader's mark";
    EXPECT_EQ(lira.Set(kBsl, {0}), HR_S_OK);

    // Program mode: the camera leaves the bus.
    EXPECT_EQ(kivo.Set(kProgram, {1}), HR_S_OK);
    EXPECT_EQ(kivo.Get(kVersion, 4, v), HR_ERROR_DEVICE_NOT_CONNECTED);
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    backend->EnumDeviceSources(devices);
    EXPECT_EQ(devices.size(), 2u);
}

TEST(SimMakerModels, TimestampRegistersFollowDeviceTime) {
    auto backend = SimBackend::Default();
    Xu kivo(*backend, 1);
    kivo.KivoIsp(0x6126, 0x0100);
    backend->Sleep(2500);
    Bytes p;
    ASSERT_EQ(kivo.I2cRead(256, 0x3D, 2, 0x6128, 8, p), HR_S_OK);
    EXPECT_EQ(Bytes(p.begin() + 6, p.begin() + 11), (Bytes{0, 0, 0, 2, 0x80})) << "2.5 s in 32.32";
    EXPECT_EQ(kivo.KivoIsp(0x6126), 0) << "the restart bits clear themselves";
}

TEST(SimMakerModels, ConcurrentCallersEachGetWholeTransfers) {
    auto backend = SimBackend::Default();
    Xu kivo(*backend, 1);
    auto writer = [&](uint16_t reg) {
        for (uint16_t i = 0; i < 200; ++i) kivo.KivoIsp(reg, i);
    };
    std::thread a(writer, 0x7000), b(writer, 0x7002);
    a.join();
    b.join();
    EXPECT_EQ(kivo.KivoIsp(0x7000), 199);
    EXPECT_EQ(kivo.KivoIsp(0x7002), 199);
}

TEST(SimMakerModels, BadModelKeysAreWorldErrors) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"model": "kivo", "firmwareVersion": "24.7.3"})", "xu.firmwareVersion: \"24.7.3\" is not four numbers"},
        {R"({"model": "kivo", "bridgePolls": "jammed"})", "xu.bridgePolls: \"jammed\" is neither a count nor \"stuck\""},
        {R"({"model": "kivo", "sensor": {"fuseId": "0102"}})", "xu.sensor.fuseId: expected 16 bytes"},
        {R"({"model": "kivo", "mcuRegisters": {"0x3000": 1}})", "xu.mcuRegisters: only the lira model"},
        {R"({"model": "lira", "header": {"version": 4}})", "xu.header.version: expected 2, 3 or \"blank\""},
        {R"({"model": "lira", "ispRegisters": {"0x5003": 1}})", "xu.ispRegisters.0x5003: registers sit at even"},
        {R"({"model": "lira", "colour": "red"})", "xu.colour: unknown key"},
        {R"({"model": "kivo", "bslCrcError": 1})", "xu.bslCrcError: only the lira model"},
        {R"({"model": "lira", "storeWriteProtect": true})", "xu.storeWriteProtect: only the kivo model"},
        {R"({"model": "lira", "bslCrcError": -1})", "xu.bslCrcError: -1 is outside"},
    };
    for (const auto& [xu, message] : cases) {
        auto backend = SimBackend::FromJson(
            svtest::OneDeviceWorld(R"([{"subtype": "UYVY", "width": 64, "height": 48}])", std::string(R"("xu": )") + xu));
        EXPECT_NE(backend->LoadError().find(message), std::string::npos) << backend->LoadError();
        std::vector<std::shared_ptr<DeviceActivation>> devices;
        backend->EnumDeviceSources(devices);
        EXPECT_TRUE(devices.empty());
    }
    auto ok = MakerWorld(R"({"model": "lira", "ispRegisters": {"0x5002": "0x0290"}, "mcuRegisters": {"0x3104": 1}})");
    Xu cam(*ok, 0);
    Bytes p;
    ASSERT_EQ(cam.I2cRead(512, 0x48, 4, 0xF0005002, 2, p), HR_S_OK);
    EXPECT_EQ(p[8] << 8 | p[9], 0x0290);
    ASSERT_EQ(cam.I2cRead(512, 0x48, 2, 0x3104, 2, p), HR_S_OK);
    EXPECT_EQ(p[6] << 8 | p[7], 1);
}

// A store with its write-protect line held acknowledges writes and keeps its bytes.
TEST(SimMakerModels, AWriteProtectedKivoStoreKeepsItsBytes) {
    for (bool protect : {false, true}) {
        SCOPED_TRACE(protect);
        auto backend = MakerWorld(std::string(R"({"model": "kivo", "storeWriteProtect": )") +
                                  (protect ? "true" : "false") + "}");
        Xu cam(*backend, 0);
        Bytes p;
        ASSERT_EQ(cam.I2cRead(256, 0x54, 2, 0x0000, 1, p), HR_S_OK);
        const uint8_t before = p[6];
        ASSERT_EQ(cam.I2cWrite(256, 0x54, 2, 0x0000, {0x07}), HR_S_OK);
        ASSERT_EQ(cam.I2cRead(256, 0x54, 2, 0x0000, 1, p), HR_S_OK);
        EXPECT_EQ(p[6], protect ? before : 0x07);
    }
}

}  // namespace

// The profile block as the module keeps it: 80 bytes after the bootdata
// content (KIVO) or at 0x4100 (LIRA), the sum of bytes 0-77 in bytes 78-79,
// and the flag the firmware stores in byte 0 when the host sends it.
TEST(SimMakerModels, ProfileBlockAndFlag) {
    auto backend = MakerWorld(R"({"model": "kivo", "header": {"version": 3}})");
    Xu kivo(*backend, 0);
    Bytes p;
    ASSERT_EQ(kivo.I2cRead(256, 0x54, 2, 125 + 64, 80, p), HR_S_OK);
    Bytes block(p.begin() + 6, p.begin() + 86);
    EXPECT_EQ(block[1], 0x50);
    EXPECT_EQ(block[3] | block[4] << 8, 1920);
    EXPECT_EQ(block[5] | block[6] << 8, 1200);
    EXPECT_EQ(block[7], 0x50);
    EXPECT_EQ(block[11], 30);
    EXPECT_EQ(block[39] | block[40] << 8, 0x2333) << "gamma 2.2";
    EXPECT_EQ(block[35] | block[36] << 8, 0x0000) << "contrast 0 in the KANO form";
    uint32_t sum = 0;
    for (size_t i = 0; i < 78; ++i) sum += block[i];
    EXPECT_EQ(block[78] | block[79] << 8, static_cast<int>(sum));

    EXPECT_EQ(kivo.Set(kOsp, {5}), HR_S_OK);
    ASSERT_EQ(kivo.I2cRead(256, 0x54, 2, 125 + 64, 80, p), HR_S_OK);
    EXPECT_EQ(p[6], 5);
    EXPECT_EQ(p[6 + 78] | p[6 + 79] << 8, static_cast<int>(sum + 5)) << "checksum kept in step";
    EXPECT_EQ(kivo.Set(kOsp, {1, 2}), HR_ERROR_GEN_FAILURE) << "one byte only";

    auto lira = MakerWorld(R"({"model": "lira"})");
    Xu cam(*lira, 0);
    ASSERT_EQ(cam.I2cRead(512, 0x48, 2, 0x4100, 80, p), HR_S_OK);
    EXPECT_EQ(p[6 + 5] | p[6 + 6] << 8, 1080);
    EXPECT_EQ(p[6 + 35] | p[6 + 36] << 8, 0x5000) << "contrast 0 in the LUMO offset form";
    EXPECT_EQ(cam.Set(kOsp, {2}), HR_S_OK);
    ASSERT_EQ(cam.I2cRead(512, 0x48, 2, 0x4100, 1, p), HR_S_OK);
    EXPECT_EQ(p[6], 2);

    // Past 0xFFFF the block is in the store's second half, at address 0x55.
    auto far = MakerWorld(R"({"model": "kivo", "header": {"version": 3, "contentOffset": 256, "contentLen": 65280}})");
    Xu k2(*far, 0);
    ASSERT_EQ(k2.I2cRead(256, 0x55, 2, 0x0000, 8, p), HR_S_OK);
    EXPECT_EQ(p[6 + 1], 0x50);
    EXPECT_EQ(p[6 + 3] | p[6 + 4] << 8, 1920);
    ASSERT_EQ(k2.I2cWrite(256, 0x55, 2, 0x0010, {0xAB}), HR_S_OK);
    ASSERT_EQ(k2.I2cRead(256, 0x55, 2, 0x0010, 1, p), HR_S_OK);
    EXPECT_EQ(p[6], 0xAB);
    ASSERT_EQ(k2.I2cRead(256, 0x54, 2, 0x0010, 1, p), HR_S_OK);
    EXPECT_NE(p[6], 0xAB) << "two devices, two halves";

    // A preset block, and a blank one.
    std::string hex;
    for (int i = 0; i < 80; ++i) hex += i == 0 ? "07" : "00";
    auto preset = MakerWorld(R"({"model": "lira", "profile": {"hex": ")" + hex + R"("}})");
    Xu c3(*preset, 0);
    ASSERT_EQ(c3.I2cRead(512, 0x48, 2, 0x4100, 2, p), HR_S_OK);
    EXPECT_EQ(p[6], 7);
    EXPECT_EQ(p[7], 0);
    auto blank = MakerWorld(R"({"model": "kivo", "header": {"version": 3}, "profile": "blank"})");
    Xu c4(*blank, 0);
    ASSERT_EQ(c4.I2cRead(256, 0x54, 2, 125 + 64, 2, p), HR_S_OK);
    EXPECT_EQ(p[6], 0xFF);
    EXPECT_EQ(p[7], 0xFF);

    for (const auto& [xu, message] : {std::pair<const char*, const char*>{R"({"model": "kivo", "profile": {"hex": "00"}})",
                                                                           "xu.profile.hex: expected 80 bytes, found 1"},
                                       {R"({"model": "kivo", "profile": 3})", "xu.profile: expected \"blank\" or an object"}}) {
        auto bad = SimBackend::FromJson(
            svtest::OneDeviceWorld(R"([{"subtype": "UYVY", "width": 64, "height": 48}])", std::string(R"("xu": )") + xu));
        EXPECT_NE(bad->LoadError().find(message), std::string::npos) << bad->LoadError();
    }
}
