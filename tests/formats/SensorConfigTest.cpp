// Sensor configuration files: what an export reads from each family on the
// wire and writes, how a file decodes, and how bad files and paths fail.

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "camera/MakerWorld.h"
#include "common/LogCapture.h"

using sv::test::LogCapture;
using sv::test::ReadFile;
using sv::test::TempDir;
using nlohmann::json;

namespace {

// One generic I2C read seen on the wire.
struct WireRead {
    int device;
    int reg;
    int length;
    bool operator==(const WireRead& o) const { return device == o.device && reg == o.reg && length == o.length; }
};

std::ostream& operator<<(std::ostream& os, const WireRead& r) {
    return os << "{dev 0x" << std::hex << r.device << " reg 0x" << r.reg << std::dec << " len " << r.length << "}";
}

std::vector<WireRead> ReadsOf(const svtest::TraceCapture& trace) {
    std::vector<WireRead> reads;
    for (const auto& t : svtest::I2cTransfersOf(trace)) {
        if (!t.write && t.addressLength == 2) reads.push_back({t.device, t.reg, t.length});
    }
    return reads;
}

// A file as the export lays it out: name, version, then the records.
std::string FileWith(const std::string& name, const std::vector<std::pair<uint16_t, uint16_t>>& records) {
    std::string bytes(35, '\0');
    bytes.replace(0, name.size(), name);
    bytes.replace(20, 7, "25.12.1");
    for (const auto& [reg, value] : records) {
        bytes += static_cast<char>(reg & 0xFF);
        bytes += static_cast<char>(reg >> 8);
        bytes += static_cast<char>(value >> 8);
        bytes += static_cast<char>(value & 0xFF);
    }
    return bytes;
}

class SensorConfigTest : public svtest::MakerCameraTest {
protected:
    json Decode(const std::string& file) {
        dir_.Write("in.bin", file);
        EXPECT_EQ(SvDecodeSensorConfig(dir_.File("in.bin"), dir_.File("out.json")), 0);
        return json::parse(ReadFile(dir_.File("out.json")));
    }
    TempDir dir_;
};

// ---------------------------------------------------------------- export

TEST_F(SensorConfigTest, KivoExportReadsEachFieldsBlockFromItsDeviceAndWritesEveryRead) {
    InstallDefault();
    auto camera = Camera("KIVO");
    ASSERT_EQ(SvOpen(camera), 0);
    svtest::TraceCapture trace(*backend_);
    ASSERT_EQ(SvExportSensorConfig(camera, dir_.File("kivo.bin")), 0);
    const auto reads = ReadsOf(trace);

    // Capture format 10 registers, ISP controls 47 (three 32-bit exposure
    // times of 3, nineteen others of 2), header 77 (fuse id 9, product name 33,
    // lens id 9, build date and content length 3 each, ten others of 2).
    ASSERT_EQ(reads.size(), 134u);
    for (const auto& r : reads) EXPECT_EQ(r.length, 2) << r;
    // The header store first (its registers are the lowest): each field's
    // block and the register after it. "HeaderVersion" and "ContentOffset"
    // share 0x00-0x02; blocks overlap ("ProductName" ends at 0x54, where
    // "LensID" starts) and every read is made.
    std::vector<WireRead> header;
    auto block = [&](int first, int count) {
        for (int k = 0; k < count; ++k) header.push_back({0x54, first + 2 * k, 2});
    };
    block(0x00, 2);   // content offset
    block(0x02, 2);   // sensor type
    block(0x04, 9);   // fuse id, 16 bytes
    block(0x14, 33);  // product name, 64 bytes
    block(0x54, 9);   // lens id
    for (int reg : {0x64, 0x66, 0x68, 0x6A}) block(reg, 2);
    block(0x6C, 3);   // build date, 6 bytes
    block(0x72, 2);
    block(0x74, 3);   // content length, 4 bytes
    for (int reg : {0x78, 0x7A, 0x7C}) block(reg, 2);
    ASSERT_EQ(header.size(), 77u);
    EXPECT_EQ(std::vector<WireRead>(reads.begin(), reads.begin() + 77), header);
    for (std::size_t i = 77; i < reads.size(); ++i) EXPECT_EQ(reads[i].device, 0x3D) << reads[i];
    auto indexOf = [&](WireRead r) {
        for (std::size_t i = 0; i < reads.size(); ++i) {
            if (reads[i] == r) return static_cast<long>(i);
        }
        return -1L;
    };
    // "Width" from the ISP: 0x2000 and 0x2002; "ExposureTime": 0x500C to 0x5010.
    const long width = indexOf({0x3D, 0x2000, 2});
    ASSERT_GE(width, 0);
    EXPECT_EQ(reads[static_cast<std::size_t>(width + 1)], (WireRead{0x3D, 0x2002, 2}));
    const long exposure = indexOf({0x3D, 0x500C, 2});
    ASSERT_GE(exposure, 0);
    EXPECT_EQ(reads[static_cast<std::size_t>(exposure + 1)], (WireRead{0x3D, 0x500E, 2}));
    EXPECT_EQ(reads[static_cast<std::size_t>(exposure + 2)], (WireRead{0x3D, 0x5010, 2}));

    // The file: the head, then one record per read, in the order read.
    const std::string file = ReadFile(dir_.File("kivo.bin"));
    ASSERT_EQ(file.size(), 35u + 4u * reads.size());
    EXPECT_EQ(std::string(file.c_str()), "KIVO-AR0234 Camera");
    EXPECT_EQ(std::string(file.c_str() + 20), "25.12.1");
    for (std::size_t i = 0; i < reads.size(); ++i) {
        const auto* rec = reinterpret_cast<const uint8_t*>(file.data() + 35 + 4 * i);
        ASSERT_EQ(rec[0] | rec[1] << 8, reads[i].reg) << i;
    }
    // Width 1920 (0x0780) as the device sends it, most significant first.
    const auto* rec = reinterpret_cast<const uint8_t*>(file.data() + 35 + 4 * width);
    EXPECT_EQ(rec[2], 0x07);
    EXPECT_EQ(rec[3], 0x80);
}

TEST_F(SensorConfigTest, LiraExportReadsItsFiveRangesInOrder) {
    InstallDefault();
    auto camera = Camera("LIRA");
    ASSERT_EQ(SvOpen(camera), 0);
    svtest::TraceCapture trace(*backend_);
    ASSERT_EQ(SvExportSensorConfig(camera, dir_.File("lira.bin")), 0);
    const auto reads = ReadsOf(trace);
    std::vector<WireRead> expected;
    for (auto [first, last] : {std::pair{0x3000, 0x300A}, {0x3100, 0x318E}, {0x5000, 0x503E}, {0x4000, 0x414E},
                               {0x5100, 0x513E}}) {
        for (int reg = first; reg <= last; reg += 2) expected.push_back({0x48, reg, 2});
    }
    EXPECT_EQ(reads, expected);
    EXPECT_EQ(ReadFile(dir_.File("lira.bin")).size(), 1275u);
}

TEST_F(SensorConfigTest, ExportFailuresKeepWhatWasWrittenAndSayWhy) {
    // A read that fails part way: -1 without a message; the records before it stay.
    auto camera = OpenMaker(svtest::kKivoName, "0821", R"({"model": "kivo"})",
                            R"("faults": [{"op": "xu.get", "selector": 6, "on": 40, "code": "ERROR_GEN_FAILURE"}])");
    EXPECT_EQ(SvExportSensorConfig(camera, dir_.File("cut.bin")), -1);
    const std::string cut = ReadFile(dir_.File("cut.bin"));
    EXPECT_GE(cut.size(), 35u);
    EXPECT_LT(cut.size(), 35u + 4u * 134u);
    EXPECT_EQ((cut.size() - 35) % 4, 0u);

    LogCapture log;
    EXPECT_EQ(SvExportSensorConfig(camera, dir_.File("no/such/folder/x.bin")), -1);
    EXPECT_TRUE(log.Contains("[SvKIVOCamera::ExportSensorConfig]"));
    EXPECT_TRUE(log.Contains(
        "] Fail to write the sensor binary config file. Please ensure the config path is correct."));

    // Not a maker camera: refused by the type test.
    InstallDefault();
    auto webcam = Camera("WebCam");
    EXPECT_EQ(SvExportSensorConfig(webcam, dir_.File("web.bin")), -1);
}

// ---------------------------------------------------------------- decode

TEST_F(SensorConfigTest, ExportedThenDecodedValuesAreWhatTheCameraReports) {
    const std::map<std::string, SV_ISP_IMAGE_PROPERTIES> fields = {
        {"ExposureGain", SV_ISP_EXPOSURE_GAIN},
        {"ExposureMode", SV_ISP_EXPOSURE_MODE},
        {"ExposureTime", SV_ISP_EXPOSURE_TIME},
        {"ExposureMinTime", SV_ISP_EXPOSURE_MIN_TIME},
        {"ExposureMaxTime", SV_ISP_EXPOSURE_MAX_TIME},
        {"WhiteBalanceMode", SV_ISP_WHITE_BALANCE_MODE},
        {"WhiteBalanceTemperature", SV_ISP_WHITE_BALANCE_TEMPERATURE},
        {"BacklightCompensation", SV_ISP_BACKLIGHT_COMPENSATION},
        {"Brightness", SV_ISP_BRIGHTNESS},
        {"JpegQual", SV_ISP_JPEG_QUALITY},
        {"Contrast", SV_ISP_CONTRAST},
        {"Denoise", SV_ISP_DENOISE},
        {"SpecialEffectMode", SV_ISP_SPECIAL_EFFECT},
        {"FlipMode", SV_ISP_FLIP_MODE},
        {"FlickMode", SV_ISP_FLICK_MODE},
        {"Gamma", SV_ISP_GAMMA},
        {"Saturation", SV_ISP_SATURATION},
        {"Sharpness", SV_ISP_SHARPNESS},
        {"Zoom", SV_ISP_ZOOM},
        {"Pan", SV_ISP_PAN},
        {"Tilt", SV_ISP_TILT},
    };
    // Values away from the defaults, with contrast high enough to need the
    // LIRA register's top bit and a flicker code of more than seven bits.
    const std::vector<std::pair<SV_ISP_IMAGE_PROPERTIES, int>> settings = {
        {SV_ISP_EXPOSURE_MODE, 0},        {SV_ISP_EXPOSURE_TIME, 12345}, {SV_ISP_EXPOSURE_GAIN, 7},
        {SV_ISP_WHITE_BALANCE_MODE, 0},   {SV_ISP_WHITE_BALANCE_TEMPERATURE, 6500},
        {SV_ISP_BACKLIGHT_COMPENSATION, -37}, {SV_ISP_BRIGHTNESS, -3}, {SV_ISP_CONTRAST, 43},
        {SV_ISP_SATURATION, 23},          {SV_ISP_GAMMA, 25},            {SV_ISP_SHARPNESS, -7},
        {SV_ISP_DENOISE, 11},             {SV_ISP_ZOOM, 27},             {SV_ISP_PAN, 3},
        {SV_ISP_TILT, 9},                 {SV_ISP_SPECIAL_EFFECT, 3},    {SV_ISP_FLIP_MODE, 2},
        {SV_ISP_FLICK_MODE, 2},           {SV_ISP_JPEG_QUALITY, 77},     {SV_ISP_EXPOSURE_MIN_TIME, 222},
        {SV_ISP_EXPOSURE_MAX_TIME, 44444},
    };
    sv::test::SetEnv("SORVANSDK_CONFIG_PATH", SORVANSDK_SOURCE_DIR "/config");
    for (const char* family : {"KIVO", "LIRA"}) {
        SCOPED_TRACE(family);
        InstallDefault();
        auto camera = Camera(family);
        ASSERT_EQ(SvOpen(camera), 0);
        for (const auto& [id, value] : settings) ASSERT_EQ(SvSetISPImageProcessing(camera, id, value), 0) << id;

        const std::string bin = dir_.File(std::string(family) + ".bin");
        const std::string out = dir_.File(std::string(family) + ".json");
        ASSERT_EQ(SvExportSensorConfig(camera, bin), 0);
        ASSERT_EQ(SvDecodeSensorConfig(bin, out), 0);
        const json doc = json::parse(ReadFile(out));

        ASSERT_TRUE(doc.contains("ISPProfiles"));
        for (const auto& [name, id] : fields) {
            ASSERT_TRUE(doc["ISPProfiles"].contains(name)) << name;
            EXPECT_EQ(doc["ISPProfiles"][name].get<long long>(), Get(camera, id)) << name;
        }
        EXPECT_TRUE(doc.contains("MIPIFreq"));
        EXPECT_EQ(doc["CameraProfile"]["PixelFormat"], "UYVY");
        EXPECT_EQ(doc["CameraProfile"]["Width"], 1920);
        EXPECT_EQ(doc["ControlMode"], "ISP");
        EXPECT_EQ(doc["ProfileName"], "SensorConfig");
        std::string name;
        ASSERT_EQ(SvGetDeviceName(camera, name), 0);
        EXPECT_EQ(doc["ProductName"], name);
        EXPECT_EQ(doc["UVCProfiles"].size(), 15u);
    }
    // The LIRA's version 3 header, and its module information.
    const json lira = json::parse(ReadFile(dir_.File("LIRA.json")));
    EXPECT_EQ(lira["ISPHeader"]["HeaderVersion"], 3);
    EXPECT_EQ(lira["ISPHeader"]["ProductName"], "LIRA-OX05B");
    EXPECT_EQ(lira["ISPHeader"]["ZNFWVersion"], "1.5");
    EXPECT_EQ(lira["ISPHeader"]["VendorFWVersion"], 300);
    EXPECT_EQ(lira["ISPHeader"]["CustomNumber"], 7);
    EXPECT_EQ(lira["CameraInfo"]["Year"], 1);
    EXPECT_EQ(lira["CameraInfo"]["Month"], 3);
    EXPECT_EQ(lira["CameraInfo"]["Build"], 2);
}

TEST_F(SensorConfigTest, KivoRegisterValuesDecodeByTheirFields) {
    sv::test::SetEnv("SORVANSDK_CONFIG_PATH", SORVANSDK_SOURCE_DIR "/config");
    std::vector<std::pair<uint16_t, uint16_t>> records = {
        {0x2012, 0x0050},                    // pixel format
        {0x5002, 0x029C},                    // exposure mode: low nibble 12
        {0x5100, 0x1155},                    // white balance mode: 5 is in no list
        {0x5440, 0x3C01},                    // flicker
        {0x7000, 0xF800},                    // brightness -0.5
        {0x7000, 0x1000},                    // ... the later record counts: 1.0
        {0x7002, 0x5000},                    // contrast 5.0
        {0x1010, 0x0040},                    // zoom 0.25: 25 hundredths, cut to 2
        {0x118C, 0x0180},                    // pan 1.5
        {0x501A, 0xFF80},                    // backlight -0.5
        {0x500C, 0x0001}, {0x500E, 0x86A0},  // exposure 100000
        {0x6132, 0x3E80},                    // throughput: bits 15-6
        {0x6C, 0x0018}, {0x6E, 0x0703}, {0x70, 0x0905}, {0x72, 0x0000},  // build date: bytes 109-114
        {0x64, 0x0034}, {0x66, 0x1201}, {0x68, 0x0200},  // fix checksum 0x1234, version 1.2
        {0x7C, 0xAB00},                                  // byte 124
    };
    const json doc = Decode(FileWith("KIVO-X Camera", records));
    const json& isp = doc["ISPProfiles"];
    EXPECT_EQ(doc["CameraProfile"]["PixelFormat"], "UYVY");
    EXPECT_EQ(doc["CameraProfile"]["Throughput"], 0x3E80 >> 6);
    EXPECT_EQ(isp["ExposureMode"], 1);
    EXPECT_EQ(isp["WhiteBalanceMode"], 5);
    EXPECT_EQ(isp["FlickMode"], 2);
    EXPECT_EQ(isp["Brightness"], 10);
    EXPECT_EQ(isp["Contrast"], 50);
    EXPECT_EQ(isp["Zoom"], 2);
    EXPECT_EQ(isp["Pan"], 15);
    EXPECT_EQ(isp["BacklightCompensation"], -5);
    EXPECT_EQ(isp["ExposureTime"], 100000);
    EXPECT_EQ(doc["ISPHeader"]["BuildDate"], "24-07-03 09:05:00");
    EXPECT_EQ(doc["ISPHeader"]["FixChecksum"], "0x1234");
    EXPECT_EQ(doc["ISPHeader"]["ZNFWVersion"], "1.2");
    EXPECT_EQ(doc["ISPHeader"]["ProfileCheck"], "0xab");
    EXPECT_FALSE(doc.contains("CameraInfo")) << "module information is a LIRA group";

    // A register the file does not hold reads 0; the other pixel format codes.
    EXPECT_EQ(Decode(FileWith("KIVO-X", {{0x2012, 0x0001}}))["CameraProfile"]["PixelFormat"], "MJPG");
    EXPECT_EQ(Decode(FileWith("KIVO-X", {}))["CameraProfile"]["PixelFormat"], "NONE");
}

TEST_F(SensorConfigTest, LiraRegisterValuesDecodeAsTheLiraControlsWriteThem) {
    sv::test::SetEnv("SORVANSDK_CONFIG_PATH", SORVANSDK_SOURCE_DIR "/config");
    auto decode = [&](uint16_t reg, uint16_t value) {
        return Decode(FileWith("LIRA-X", {{reg, value}}))["ISPProfiles"];
    };
    EXPECT_EQ(decode(0x313E, 0x1000)["Brightness"], 0);
    EXPECT_EQ(decode(0x3144, 0x5000)["Contrast"], 0);
    // Contrast 5 is kept as 10 (0xA000): unsigned, not -6 + 5.
    EXPECT_EQ(decode(0x3144, 0xA000)["Contrast"], 50);
    EXPECT_EQ(decode(0x3130, 0x0F00)["BacklightCompensation"], 0);
    EXPECT_EQ(decode(0x3130, 0x0F80)["BacklightCompensation"], 5);
    EXPECT_EQ(decode(0x3130, 0x0000)["BacklightCompensation"], -150);
    // The whole 16-bit flicker code, as the LIRA control writes it.
    EXPECT_EQ(decode(0x317C, 0x3201)["FlickMode"], 1);
    EXPECT_EQ(decode(0x3116, 0x000C)["ExposureMode"], 1);
}

TEST_F(SensorConfigTest, ANameOfNoFamilyDecodesToTheFixedMembersOnly) {
    sv::test::SetEnv("SORVANSDK_CONFIG_PATH", SORVANSDK_SOURCE_DIR "/config");
    Decode(FileWith("Other Camera", {{0x2000, 0x0780}}));
    const auto doc = nlohmann::ordered_json::parse(ReadFile(dir_.File("out.json")));
    std::vector<std::string> members;
    for (const auto& item : doc.items()) members.push_back(item.key());
    EXPECT_EQ(members, (std::vector<std::string>{"UVCProfiles", "ProfileName", "ProductName", "GenerateDate",
                                                 "ControlMode", "ProfileVersion"}));
    EXPECT_EQ(doc["ProductName"], "Other Camera");
}

TEST_F(SensorConfigTest, BadFilesAndPathsFailWithoutTouchingTheOutput) {
    sv::test::SetEnv("SORVANSDK_CONFIG_PATH", SORVANSDK_SOURCE_DIR "/config");
    const std::string out = dir_.File("out.json");
    const std::string keep = "{\"kept\": true}";
    dir_.Write("out.json", keep);
    struct Case {
        const char* what;
        std::string bytes;
        const char* message;
    };
    const std::string whole = FileWith("KIVO-X", {{0x2000, 0x0780}});
    const std::vector<Case> cases = {
        {"shorter than the head", whole.substr(0, 30), "is too short"},
        {"a partial record", whole.substr(0, whole.size() - 1), "ends in a partial register record"},
        {"a name field without its end", std::string(20, 'N') + whole.substr(20), "has no device name"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dir_.Write("bad.bin", c.bytes);
        LogCapture log;
        EXPECT_EQ(SvDecodeSensorConfig(dir_.File("bad.bin"), out), -1);
        EXPECT_TRUE(log.Contains(c.message)) << log.Text();
        EXPECT_EQ(ReadFile(out), keep);
    }
    {
        LogCapture log;
        EXPECT_EQ(SvDecodeSensorConfig(dir_.File("missing.bin"), out), -1);
        EXPECT_TRUE(log.Contains(
            "[SvDecodeSensorConfig]"));
        EXPECT_TRUE(log.Contains(
            "] Fail to read the sensor binary config file. Please ensure the config path is correct."));
        EXPECT_EQ(ReadFile(out), keep);
    }
    {
        dir_.Write("good.bin", whole);
        LogCapture log;
        EXPECT_EQ(SvDecodeSensorConfig(dir_.File("good.bin"), dir_.File("no/such/folder/out.json")), -1);
        EXPECT_TRUE(log.Contains("] Fail to write the json file. Please ensure the json file path is correct."));
    }
}

}  // namespace
