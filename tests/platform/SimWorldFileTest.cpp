// World files that cannot describe a machine: one clear error naming the file
// and the problem, then a machine without devices.

#include <gtest/gtest.h>

#include <sstream>

#include <spdlog/sinks/ostream_sink.h>

#include "common/LogCapture.h"
#include "base/Logger.h"
#include "platform/SimTestUtil.h"
#include "platform/sim/SimBackend.h"

namespace {

using namespace sv::platform;
using sv::sim::SimBackend;

std::string Device(const std::string& id, const std::string& formats, const std::string& serial = "ABCDE12345") {
    return R"({"id": ")" + id + R"(", "name": "Cam", "vendorId": "1234", "productId": "5678", "serial": ")" + serial +
           R"(", "formats": )" + formats + "}";
}

// `levels` arrays inside each other.
std::string Nested(int levels) { return std::string(static_cast<size_t>(levels), '[') + std::string(static_cast<size_t>(levels), ']'); }

struct BadWorld {
    const char* label;
    std::string json;
    std::string problem;  // expected in the message
};

void PrintTo(const BadWorld& b, std::ostream* os) { *os << b.label; }

class SimBadWorld : public ::testing::TestWithParam<BadWorld> {};

TEST_P(SimBadWorld, OneClearErrorAndNoDevices) {
    const BadWorld& bad = GetParam();
    std::ostringstream log;
    auto logger = sv::log::Get();
    auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(log);
    logger->sinks().push_back(sink);
    auto backend = SimBackend::FromJson(bad.json, "worlds/bad.json");
    logger->flush();
    logger->sinks().pop_back();

    const std::string& error = backend->LoadError();
    EXPECT_EQ(error.rfind("World file 'worlds/bad.json': ", 0), 0u) << error;
    EXPECT_NE(error.find(bad.problem), std::string::npos) << error;
    // Logged once, with the same text.
    const std::string text = log.str();
    const size_t first = text.find(error);
    ASSERT_NE(first, std::string::npos) << text;
    EXPECT_EQ(text.find(error, first + 1), std::string::npos) << text;

    std::vector<std::shared_ptr<DeviceActivation>> devices;
    EXPECT_EQ(backend->EnumDeviceSources(devices), HR_S_OK);
    EXPECT_TRUE(devices.empty());
    std::shared_ptr<DeviceInfoSet> set;
    ASSERT_EQ(backend->GetClassDevs(DeviceSetKind::UsbDeviceInterface, set), HR_S_OK);
    EXPECT_EQ(set->GetDeviceCount(), 0u);
    backend->Sleep(1);  // still a working machine
}

const std::string kYuy2 = R"([{"subtype": "YUY2", "width": 64, "height": 48}])";

INSTANTIATE_TEST_SUITE_P(
    Inputs, SimBadWorld,
    ::testing::Values(
        BadWorld{"NotJson", R"({"devices": [)", "not valid JSON"},
        BadWorld{"PlainText", "cameras: 3", "not valid JSON"},
        BadWorld{"TopLevelArray", "[]", "expected an object, found an array"},
        BadWorld{"DevicesNotArray", R"({"devices": {}})", "devices: expected an array, found an object"},
        BadWorld{"WidthAsString", "{\"devices\": [" + Device("a", R"([{"subtype": "YUY2", "width": "640", "height": 480}])") + "]}",
                 "devices[0].formats[0].width: expected an integer, found a string"},
        BadWorld{"NameAsNumber", R"({"devices": [{"id": "a", "name": 7}]})", "devices[0].name: expected a string, found a number"},
        BadWorld{"UnknownPixelFormat", "{\"devices\": [" + Device("a", R"([{"subtype": "H265", "width": 64, "height": 48}])") + "]}",
                 "unknown pixel format \"H265\""},
        BadWorld{"WidthZero", "{\"devices\": [" + Device("a", R"([{"subtype": "NV12", "width": 0, "height": 48}])") + "]}",
                 "formats[0].width: 0 is outside 1..16384"},
        BadWorld{"HeightTooLarge", "{\"devices\": [" + Device("a", R"([{"subtype": "MJPG", "width": 64, "height": 16385}])") + "]}",
                 "formats[0].height: 16385 is outside 1..16384"},
        BadWorld{"OddWidthYuv", "{\"devices\": [" + Device("a", R"([{"subtype": "UYVY", "width": 63, "height": 48}])") + "]}",
                 "63 must be even for UYVY"},
        BadWorld{"DuplicateId", "{\"devices\": [" + Device("a", kYuy2) + "," + Device("a", kYuy2, "OTHER123") + "]}",
                 "duplicate device id \"a\""},
        BadWorld{"DuplicateSerial", "{\"devices\": [" + Device("a", kYuy2) + "," + Device("b", kYuy2) + "]}",
                 "duplicate device"},
        BadWorld{"MisspelledKey", R"({"devices": [], "devcies": []})", "devcies: unknown key"},
        BadWorld{"UnknownControl", "{\"devices\": [" + Device("a", kYuy2).replace(1, 0, R"("controls": {"brightnes": {"min": 0, "max": 1}}, )") + "]}",
                 "controls.brightnes: unknown control"},
        BadWorld{"UnknownFaultOp", "{\"devices\": [" + Device("a", kYuy2).replace(1, 0, R"("faults": [{"op": "explode"}], )") + "]}",
                 "unknown operation \"explode\""},
        BadWorld{"BadCode", "{\"devices\": [" + Device("a", kYuy2).replace(1, 0, R"("busyCode": "E_NOPE", )") + "]}",
                 "\"E_NOPE\" is not a known result code"},
        BadWorld{"PortTakenTwice",
                 "{\"devices\": [" + Device("a", kYuy2).replace(1, 0, R"("usb": {"port": 1}, )") + "," +
                     Device("b", kYuy2, "OTHER123").replace(1, 0, R"("usb": {"port": 1}, "instanceKey": "6&1&0&0000", )") + "]}",
                 "port 1 of root0 is taken twice"},
        BadWorld{"NoFormats", "{\"devices\": [" + Device("a", "[]") + "]}", "a video device needs at least one format"},
        // Register words are 16 bits: a fifth hexadecimal digit is not cut off.
        BadWorld{"RegisterValueOfFiveHexDigits",
                 "{\"devices\": [" + Device("a", kYuy2).replace(1, 0, R"("xu": {"model": "kivo", "ispRegisters": {"0x5002": "0x12345"}}, )") + "]}",
                 "xu.ispRegisters.0x5002: \"0x12345\" is not a 16-bit hexadecimal number"},
        BadWorld{"RegisterAddressOfFiveHexDigits",
                 "{\"devices\": [" + Device("a", kYuy2).replace(1, 0, R"("xu": {"model": "lira", "mcuRegisters": {"0x13104": 1}}, )") + "]}",
                 "xu.mcuRegisters.0x13104: \"0x13104\" is not a 16-bit hexadecimal number"},
        // A number beyond a double is a bad world, not an exception out of the parse.
        BadWorld{"NumberBeyondADouble", R"({"devices": [], "clock": 1e400})", "not valid JSON: number overflow"},
        BadWorld{"OnlyANumberBeyondADouble", "1e400", "not valid JSON: number overflow"},
        BadWorld{"NegativeNumberBeyondADouble", "{\"devices\": [" + Device("a", kYuy2).replace(1, 0, R"("interface": -1e999, )") + "]}",
                 "not valid JSON: number overflow"},
        // Deep nesting is refused while parsing, before anything copies the "xu" object.
        BadWorld{"DeepNestingInsideXu",
                 "{\"devices\": [" + Device("a", kYuy2).replace(1, 0, "\"xu\": {\"model\": \"kivo\", \"deep\": " + Nested(10000) + "}, ") + "]}",
                 "nested deeper than 64 levels"},
        // Four levels up to the "xu" object, then 61 more: one past the limit.
        BadWorld{"NestingOneLevelTooDeep",
                 "{\"devices\": [" + Device("a", kYuy2).replace(1, 0, "\"xu\": {\"model\": \"kivo\", \"deep\": " + Nested(61) + "}, ") + "]}",
                 "nested deeper than 64 levels"},
        // 64 levels are read, and the model then names the key it does not know.
        BadWorld{"NestingAtTheLimitIsRead",
                 "{\"devices\": [" + Device("a", kYuy2).replace(1, 0, "\"xu\": {\"model\": \"kivo\", \"deep\": " + Nested(60) + "}, ") + "]}",
                 "xu.deep: unknown key"}),
    [](const ::testing::TestParamInfo<BadWorld>& p) { return p.param.label; });

TEST(SimWorldFile, MissingAndBadFilesNameThePath) {
    sv::test::TempDir dir;
    const std::string missing = dir.File("no_such_world.json");
    auto a = SimBackend::FromFile(missing);
    EXPECT_EQ(a->LoadError(), "World file '" + missing + "': cannot be read");
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    a->EnumDeviceSources(devices);
    EXPECT_TRUE(devices.empty());

    dir.Write("bad_world.json", "{\n  \"devices\": [\n    {\"id\": \"x\",, }\n  ]\n}\n");
    const std::string path = dir.File("bad_world.json");
    auto b = SimBackend::FromFile(path);
    EXPECT_EQ(b->LoadError().rfind("World file '" + path + "': not valid JSON", 0), 0u) << b->LoadError();
    EXPECT_NE(b->LoadError().find("line 3"), std::string::npos) << b->LoadError();
}

TEST(SimWorldFile, TheBuiltInWorldAndTheExampleWorldLoad) {
    auto backend = SimBackend::Default();
    EXPECT_TRUE(backend->LoadError().empty()) << backend->LoadError();
    EXPECT_TRUE(backend->SimulatedClock());
    // Worlds shipped for users are kept loadable.
    auto example = SimBackend::FromFile(std::string(SORVANSDK_SOURCE_DIR) + "/config/worlds/two-cameras.json");
    EXPECT_TRUE(example->LoadError().empty()) << example->LoadError();
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    example->EnumDeviceSources(devices);
    EXPECT_EQ(devices.size(), 2u);
}

TEST(SimWorldFile, CommentsAndDefaultsAreAccepted) {
    auto backend = SimBackend::FromJson(R"({
        // a comment
        "devices": [{"id": "c", "name": "Minimal", "vendorId": "0x1a2b", "productId": 4660, "serial": "MIN12345",
                     "formats": [{"subtype": "MJPG", "width": 33, "height": 17, "fps": "15/2"}]}]})");
    ASSERT_TRUE(backend->LoadError().empty()) << backend->LoadError();
    auto dev = svtest::Open(*backend, 0);
    std::string link;
    dev.activation->GetAllocatedString(DeviceString::SymbolicLink, link);
    EXPECT_NE(link.find("vid_1a2b&pid_1234&mi_00#"), std::string::npos) << link;
    std::shared_ptr<MediaType> t;
    ASSERT_EQ(dev.reader->GetNativeMediaType(0, 0, t), HR_S_OK);
    uint64_t rate = 0;
    t->GetUINT64(mf::MF_MT_FRAME_RATE, rate);
    EXPECT_EQ(PairHigh(rate), 15u);
    EXPECT_EQ(PairLow(rate), 2u);
}

}  // namespace
