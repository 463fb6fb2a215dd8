// svcam run as a process against the simulated machine.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <png.h>

#include "common/LogCapture.h"

using json = nlohmann::json;
using sv::test::TempDir;

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

ToolRun Svcam(const std::string& args, const std::string& env = "SORVANSDK_BACKEND=sim") {
    TempDir scratch;
    const std::string errFile = scratch.File("stderr");
#if defined(_WIN32)
    // The child inherits this process's environment; cmd has no "env".
    std::vector<std::string> names;
    std::istringstream assignments(env);
    for (std::string item; assignments >> item;) {
        const auto eq = item.find('=');
        names.push_back(item.substr(0, eq));
        sv::test::SetEnv(names.back().c_str(), item.substr(eq + 1));
    }
    // cmd takes forward slashes in a program path for switches.
    std::string program = SVCAM_PATH;
    for (char& c : program) {
        if (c == '/') c = '\\';
    }
    const auto result = sv::test::RunCommand(program + " " + args + " 2>" + errFile);
    for (const auto& name : names) sv::test::UnsetEnv(name.c_str());
#else
    const auto result = sv::test::RunCommand("env " + env + " " SVCAM_PATH " " + args + " 2>" + errFile);
#endif
    ToolRun run;
    run.status = result.status;
    run.out = result.out;
    run.err = sv::test::ReadFile(errFile);
    return run;
}

// The sample firmware images the tree's scripts build (made by the build, so
// that the tests need no interpreter where they run).
bool CopySampleImages(const TempDir& dir) {
    std::error_code ec;
    std::filesystem::copy(SVCAM_TEST_IMAGES, dir.Path(), std::filesystem::copy_options::overwrite_existing | std::filesystem::copy_options::recursive, ec);
    if (ec) ADD_FAILURE() << "cannot copy the sample images: " << ec.message();
    return !ec;
}

json ParseOut(const ToolRun& run) {
    try {
        return json::parse(run.out);
    } catch (const std::exception& e) {
        ADD_FAILURE() << "not JSON: " << e.what() << "\n" << run.out;
        return json();
    }
}

bool ReadPng(const std::string& path, int& width, int& height, std::vector<uint8_t>& rgb) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return false;
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    return true;
}

TEST(SvcamTest, ListAsTableAndAsJson) {
    ToolRun table = Svcam("list");
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_NE(table.out.find("KIVO-AR0234 Camera-9P4R8  KIVO  3f41  0234  K7Q2M9P4R8    SuperSpeed"), std::string::npos)
        << table.out;

    ToolRun run = Svcam("--json list");
    ASSERT_EQ(run.status, 0) << run.err;
    const json doc = ParseOut(run);
    ASSERT_EQ(doc["cameras"].size(), 3u);
    EXPECT_EQ(doc["cameras"][0]["kind"], "UVC");
    EXPECT_EQ(doc["cameras"][0]["speed"], "HighSpeed");
    EXPECT_EQ(doc["cameras"][2]["name"], "LIRA-OX05B Camera-5N1W6");
    EXPECT_EQ(doc["cameras"][2]["kind"], "LIRA");
    EXPECT_EQ(doc["cameras"][2]["vendorId"], "3f41");
    // The whole USB serial, also of a camera whose display name carries none.
    EXPECT_EQ(doc["cameras"][2]["serial"], "L3X8B5N1W6");
    EXPECT_EQ(doc["cameras"][0]["name"], "USB2.0 HD UVC WebCam");
    EXPECT_EQ(doc["cameras"][0]["serial"], "200901010001");
}

TEST(SvcamTest, FormatsByNameSubstring) {
    ToolRun run = Svcam("--json formats KIVO");
    ASSERT_EQ(run.status, 0) << run.err;
    const json doc = ParseOut(run);
    ASSERT_EQ(doc["formats"].size(), 9u);
    EXPECT_EQ(doc["formats"][0]["pixel"], "UYVY");
    EXPECT_EQ(doc["formats"][0]["width"], 1920);
    EXPECT_EQ(doc["formats"][0]["height"], 1200);
    EXPECT_EQ(doc["formats"][8]["pixel"], "NONE");

    ToolRun table = Svcam("formats 0");
    ASSERT_EQ(table.status, 0);
    EXPECT_NE(table.out.find("INDEX  PIXEL  WIDTH  HEIGHT  FPS"), std::string::npos);
}

TEST(SvcamTest, CaptureWritesRawAndAPngOfThePattern) {
    TempDir dir;
    ToolRun run = Svcam("--json capture WebCam --pixel YUY2 --size 640x480 --frames 3 --out " + dir.Path());
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    const json doc = ParseOut(run);
    EXPECT_EQ(doc["received"], 3);
    EXPECT_EQ(doc["timeouts"], 0);
    ASSERT_EQ(doc["files"].size(), 6u);
    const std::string raw = doc["files"][0];
    EXPECT_EQ(std::filesystem::file_size(raw), 640u * 480 * 2);

    int w = 0, h = 0;
    std::vector<uint8_t> rgb;
    ASSERT_TRUE(ReadPng(doc["files"][1], w, h, rgb));
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    // Below the counter band: eight saturated bars, among them yellow and blue.
    bool yellow = false, blue = false;
    const int row = h - 10;
    for (int x = 0; x < w; ++x) {
        const uint8_t* p = &rgb[(static_cast<std::size_t>(row) * w + x) * 3];
        yellow = yellow || (p[0] > 200 && p[1] > 200 && p[2] < 40);
        blue = blue || (p[0] < 40 && p[1] < 40 && p[2] > 200);
    }
    EXPECT_TRUE(yellow);
    EXPECT_TRUE(blue);
}

TEST(SvcamTest, CaptureOfMjpgWritesTheJpegAsItIs) {
    TempDir dir;
    ToolRun run = Svcam("--json capture KIVO --pixel MJPG --frames 2 --out " + dir.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    const json doc = ParseOut(run);
    ASSERT_EQ(doc["files"].size(), 2u);
    const std::string jpeg = sv::test::ReadFile(doc["files"][0]);
    ASSERT_GT(jpeg.size(), 4u);
    EXPECT_EQ(static_cast<uint8_t>(jpeg[0]), 0xFF);
    EXPECT_EQ(static_cast<uint8_t>(jpeg[1]), 0xD8);
}

TEST(SvcamTest, SetReadsTheValueBack) {
    ToolRun run = Svcam("--json set WebCam brightness 20");
    ASSERT_EQ(run.status, 0) << run.err;
    const json doc = ParseOut(run);
    EXPECT_EQ(doc["value"], 20);
    EXPECT_EQ(doc["auto"], false);

    ToolRun get = Svcam("--json get KIVO zoom");
    ASSERT_EQ(get.status, 0) << get.err;
    EXPECT_EQ(ParseOut(get)["value"], 100);
}

TEST(SvcamTest, ErrorPathsHaveClearMessagesAndStatus) {
    ToolRun unknown = Svcam("formats Nikon");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("no camera matches 'Nikon'"), std::string::npos) << unknown.err;
    EXPECT_NE(unknown.err.find("1: KIVO-AR0234 Camera-9P4R8"), std::string::npos) << unknown.err;

    ToolRun ambiguous = Svcam("formats Camera");
    EXPECT_EQ(ambiguous.status, 2);
    EXPECT_NE(ambiguous.err.find("more than one camera"), std::string::npos);

    ToolRun control = Svcam("get WebCam loudness");
    EXPECT_EQ(control.status, 2);
    EXPECT_NE(control.err.find("unknown control 'loudness'"), std::string::npos);

    ToolRun range = Svcam("set WebCam brightness 500");
    EXPECT_EQ(range.status, 2);
    EXPECT_NE(range.err.find("brightness: 500 is out of range [-64, 64]"), std::string::npos) << range.err;

    ToolRun notNumber = Svcam("set WebCam brightness bright");
    EXPECT_EQ(notNumber.status, 2);

    ToolRun refused = Svcam("get WebCam gain");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("does not offer uvc.gain"), std::string::npos);
    EXPECT_EQ(refused.err.find("terminate"), std::string::npos);
}

TEST(SvcamTest, BusyDeviceFromAWorldFile) {
    TempDir dir;
    dir.Write("busy.json", R"({"devices": [{"id": "cam", "name": "Busy Cam", "vendorId": "1234",
        "productId": "5678", "serial": "ABCDE12345", "busy": true,
        "formats": [{"subtype": "YUY2", "width": 64, "height": 48}]}]})");
    ToolRun run = Svcam("--world " + dir.File("busy.json") + " capture 0 --out " + dir.Path());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("SvStartStreaming failed (result -2): the camera is in use by another application"),
              std::string::npos)
        << run.err;
}

TEST(SvcamTest, DemoLeavesPicturesOfEachCamera) {
    TempDir dir;
    ToolRun run = Svcam("demo --out " + dir.File("out"), "");
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    int png = 0, jpg = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.File("out"))) {
        png += entry.path().extension() == ".png";
        jpg += entry.path().extension() == ".jpg";
    }
    EXPECT_GE(png, 3);
    EXPECT_GE(jpg, 3);
    EXPECT_NE(run.out.find("CONTROL"), std::string::npos) << "the controls of a maker camera";
}

TEST(SvcamTest, InfoShowsFirmwareHeaderAndUniqueId) {
    ToolRun lira = Svcam("--json info LIRA");
    ASSERT_EQ(lira.status, 0) << lira.err;
    const json doc = ParseOut(lira);
    EXPECT_EQ(doc["usbFirmwareVersion"], "23.11.05.00");
    EXPECT_EQ(doc["sensorFirmwareVersion"], "01.05.300.07");
    EXPECT_EQ(doc["headerVersion"], 3);
    EXPECT_EQ(doc["header"]["vendorFwVersion"], 300);
    EXPECT_EQ(doc["header"]["productName"], "LIRA-OX05B");
    EXPECT_EQ(doc["sensorUniqueId"].get<std::string>().size(), 32u);
    EXPECT_EQ(doc["sensorFormat"], "1920x1080 UYVY");
    EXPECT_EQ(doc["lumoFirmwareVersion"], "01.03.00.02");
    EXPECT_EQ(doc["maxFps"], 30);
    EXPECT_EQ(doc["sensorMode"], "active");

    ToolRun kivo = Svcam("--json info KIVO");
    ASSERT_EQ(kivo.status, 0) << kivo.err;
    const json k = ParseOut(kivo);
    EXPECT_EQ(k["header"]["contentVersion"], 10);
    EXPECT_EQ(k["sensorFormat"], "1920x1200 UYVY");
    EXPECT_EQ(k["throughput"], 1000);
    EXPECT_EQ(k["currentExposureUs"], 33333);
    EXPECT_FALSE(k.contains("lumoFirmwareVersion"));
}

TEST(SvcamTest, ExportAndDecodeASensorConfiguration) {
    TempDir dir;
    const std::string bin = dir.File("lira.bin");
    const std::string out = dir.File("lira.json");
    ToolRun exported = Svcam("--json export LIRA " + bin);
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(ParseOut(exported)["bytes"], 1275);

    ToolRun decoded = Svcam("decode " + bin + " " + out);
    ASSERT_EQ(decoded.status, 0) << decoded.err;
    const json doc = json::parse(sv::test::ReadFile(out));
    EXPECT_EQ(doc["ISPHeader"]["ProductName"], "LIRA-OX05B");
    EXPECT_EQ(doc["ISPProfiles"]["Gamma"], 22);
    EXPECT_EQ(doc["ControlMode"], "ISP");

    ToolRun webcam = Svcam("export WebCam " + dir.File("web.bin"));
    EXPECT_EQ(webcam.status, 2);
    EXPECT_NE(webcam.err.find("not a maker camera"), std::string::npos) << webcam.err;
    ToolRun missing = Svcam("decode " + dir.File("none.bin") + " " + out);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("SvDecodeSensorConfig"), std::string::npos) << missing.err;
}

// Sensor-board upgrades with the sample images.
TEST(SvcamUpgrade, SensorFirmwareOfBothFamiliesAndTheEraseThatNeedsYes) {
    TempDir dir;
    ASSERT_TRUE(CopySampleImages(dir));

    const ToolRun kivo = Svcam("upgrade sensor KIVO " + dir.File("kano-bootdata.img"));
    EXPECT_EQ(kivo.status, 0) << kivo.out << kivo.err;
    EXPECT_NE(kivo.out.find("sensor firmware 100%"), std::string::npos) << "plain progress lines off a terminal";
    EXPECT_NE(kivo.out.find("done, now 02.01.400.09"), std::string::npos) << kivo.out;

    // JSON events, then the summary; a LIRA module is erased first.
    const ToolRun lira = Svcam("--json upgrade sensor LIRA --erase-first " + dir.File("lumo-firmware.img"));
    ASSERT_EQ(lira.status, 0) << lira.err;
    std::vector<json> lines;
    std::istringstream in(lira.out);
    for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
    ASSERT_GE(lines.size(), 3u);
    int last = -1;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        EXPECT_EQ(lines[i]["event"], "progress");
        EXPECT_GT(lines[i]["value"].get<int>(), last) << "progress only grows";
        last = lines[i]["value"].get<int>();
    }
    EXPECT_EQ(last, 100);
    EXPECT_EQ(lines.back()["sensorFirmwareVersion"], "02.03.500.11");

    // Not erased: the loader refuses, and the status says so.
    const ToolRun locked = Svcam("upgrade sensor LIRA " + dir.File("lumo-firmware.img"));
    EXPECT_EQ(locked.status, 1);
    EXPECT_NE(locked.err.find("SvUpgradeSensorFW"), std::string::npos) << locked.err;

    EXPECT_EQ(Svcam("clean-sensor KIVO").status, 2) << "refused without --yes";
    EXPECT_EQ(Svcam("clean-sensor KIVO --yes").status, 0);
    EXPECT_EQ(Svcam("upgrade sensor WebCam " + dir.File("kano-bootdata.img")).status, 2);
}

// --erase-first with an image the upgrade would refuse: refused before the
// erase, so the store and the module stay as they were.
TEST(SvcamUpgrade, EraseFirstChecksTheImageBeforeErasing) {
    TempDir dir;
    ASSERT_TRUE(CopySampleImages(dir));
    { std::ofstream(dir.File("empty.img"), std::ios::binary); }
    struct Case {
        const char* camera;
        std::string image;
    };
    const std::vector<Case> cases = {
        {"KIVO", dir.File("missing.img")},
        {"KIVO", dir.File("empty.img")},
        {"KIVO", dir.File("lumo-firmware.img")},
        {"LIRA", dir.File("missing.img")},
        {"LIRA", dir.File("empty.img")},
        {"LIRA", dir.File("kano-bootdata.img")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.camera) + " " + c.image);
        const std::string trace = dir.File("trace.jsonl");
        std::filesystem::remove(trace);
        const ToolRun run = Svcam(std::string("upgrade sensor ") + c.camera + " --erase-first " + c.image,
                                  "SORVANSDK_BACKEND=sim SORVANSDK_SIM_TRACE=" + trace);
        EXPECT_EQ(run.status, 1) << run.out << run.err;
        EXPECT_NE(run.err.find("SvCheckSensorFWImage"), std::string::npos) << run.err;
        const std::string lines = sv::test::ReadFile(trace);
        ASSERT_FALSE(lines.empty()) << "no trace written";
        // Not one store write, loader-mode request or loader packet.
        EXPECT_EQ(lines.find("I2C write 0x54"), std::string::npos);
        EXPECT_EQ(lines.find("I2C write 0x55"), std::string::npos);
        EXPECT_EQ(lines.find("BSL mode"), std::string::npos);
        EXPECT_EQ(lines.find("loader:"), std::string::npos);
    }
}

}  // namespace

TEST(SvcamTest, ProfilesShowLoadApplyFlagAndReset) {
    const std::string world = "--world " SORVANSDK_SOURCE_DIR "/config/worlds/profiles.json ";
    ToolRun show = Svcam(world + "profile show LIRA");
    ASSERT_EQ(show.status, 0) << show.err;
    EXPECT_NE(show.out.find("\n  \"ControlMode\": \"ISP\",\n"), std::string::npos) << "pretty JSON:\n" << show.out;
    const json profile = ParseOut(show);
    EXPECT_EQ(profile["CameraProfile"]["Height"], 1080);
    EXPECT_EQ(profile["ISPProfiles"]["Gamma"], 22);

    ToolRun flag = Svcam(world + "--json profile flag KIVO 1");
    ASSERT_EQ(flag.status, 0) << flag.err;
    EXPECT_EQ(ParseOut(flag)["flag"], 1);
    EXPECT_EQ(Svcam(world + "profile flag KIVO 256").status, 2);
    EXPECT_EQ(Svcam(world + "profile flag KIVO one").status, 2);

    ToolRun reset = Svcam(world + "--json profile reset LIRA");
    ASSERT_EQ(reset.status, 0) << reset.err;
    EXPECT_EQ(ParseOut(reset)["flag"], 2);

    for (const char* doc : {"kivo-daylight.json", "lira-uvc.json"}) {
        // A copy in the test's own folder: a path the tool checks exists on every platform.
        TempDir docs;
        std::filesystem::copy_file(std::string(SORVANSDK_SOURCE_DIR "/config/profiles/") + doc, docs.File(doc));
        ToolRun load = Svcam(world + "profile load " + (doc[0] == 'k' ? "KIVO " : "LIRA ") + docs.File(doc));
        EXPECT_EQ(load.status, 0) << doc << ": " << load.err;
        EXPECT_NE(load.out.find("streaming: format selected"), std::string::npos) << load.out;
    }
    ToolRun apply = Svcam(world + "profile apply KIVO");
    EXPECT_EQ(apply.status, 0) << apply.err;

    TempDir dir;
    dir.Write("bad.json", R"({"ProfileName": "x"})");
    ToolRun bad = Svcam(world + "profile load KIVO " + dir.File("bad.json"));
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("SvLoadProfileConfig failed (result -1)"), std::string::npos) << bad.err;
    EXPECT_EQ(Svcam(world + "profile load KIVO " + dir.File("missing.json")).status, 2);

    // The built-in KIVO has a version 2 header: no profile there.
    ToolRun old = Svcam("profile show KIVO");
    EXPECT_EQ(old.status, 1);
    EXPECT_NE(old.err.find("SvGetOSPProfileConfig failed (result -1)"), std::string::npos) << old.err;
    EXPECT_EQ(Svcam("profile show WebCam").status, 1);
}

// The bridge upgrade with the sample images.
TEST(SvcamUpgrade, ProgramModeProgrammerAndSpiImageThenAFailure) {
    TempDir dir;
    ASSERT_TRUE(CopySampleImages(dir));
    const std::string prog = dir.File("fx3-programmer.img");
    const std::string cam = dir.File("fx3-camera.img");

    const ToolRun ok = Svcam("upgrade fx3 --camera KIVO --programmer " + prog + " --target spi " + cam);
    EXPECT_EQ(ok.status, 0) << ok.out << ok.err;
    EXPECT_NE(ok.out.find("SPI flash 100%"), std::string::npos) << "plain progress lines off a terminal";
    EXPECT_NE(ok.out.find("upgrade SPI flash: " + cam + ": done"), std::string::npos) << ok.out;

    const ToolRun jsonRun = Svcam("--json upgrade fx3 --camera KIVO --target ram " + dir.File("fx3-camera-ram.img"));
    EXPECT_EQ(jsonRun.status, 0) << jsonRun.err;
    // One JSON document on standard output; the download's own device-count
    // lines go to standard error.
    const json doc = json::parse(jsonRun.out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << jsonRun.out;
    EXPECT_EQ(doc.value("result", -99), 0) << jsonRun.out;
    EXPECT_NE(jsonRun.err.find("usbDevice->DeviceCount(): "), std::string::npos) << jsonRun.err;

    // A flash target with only the bootloader there: a failure, status 1.
    const ToolRun noProgrammer = Svcam("upgrade fx3 --camera KIVO --target i2c " + cam);
    EXPECT_EQ(noProgrammer.status, 1);
    EXPECT_NE(noProgrammer.err.find("failed (result -1)"), std::string::npos) << noProgrammer.err;

    const ToolRun badTarget = Svcam("upgrade fx3 --target usb " + cam);
    EXPECT_EQ(badTarget.status, 2);
}

// Every numeric failure comes with its meaning and, where the interface has
// one, the result's name.
TEST(SvcamUpgrade, FailuresNameTheResultInWords) {
    TempDir dir;
    dir.Write("unsigned.img", std::string("XY") + std::string(30, '\0'));
    const ToolRun unsignedImage = Svcam("upgrade fx3 --target ram " + dir.File("unsigned.img"));
    EXPECT_EQ(unsignedImage.status, 1);
    EXPECT_NE(unsignedImage.out.find("upgrade RAM: " + dir.File("unsigned.img") +
                                     ": failed (result 3): the image has no CY signature (INVALID_FWSIGNATURE)"),
              std::string::npos)
        << unsignedImage.out;
    EXPECT_NE(unsignedImage.err.find("failed (result 3): the image has no CY signature (INVALID_FWSIGNATURE)"),
              std::string::npos)
        << unsignedImage.err;
    const ToolRun asJson = Svcam("--json upgrade fx3 --target ram " + dir.File("unsigned.img"));
    const json doc = json::parse(asJson.out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << asJson.out;
    EXPECT_EQ(doc["steps"][0]["error"], "failed (result 3): the image has no CY signature (INVALID_FWSIGNATURE)");

    // A result without a name: what it means, and where the reason is.
    ASSERT_TRUE(CopySampleImages(dir));
    const ToolRun locked = Svcam("upgrade sensor LIRA " + dir.File("lumo-firmware.img"));
    EXPECT_EQ(locked.status, 1);
    EXPECT_NE(locked.err.find("failed (result -1): the call failed (the library log names the reason); "
                              "--log-level error shows the library's reason"),
              std::string::npos)
        << locked.err;
    EXPECT_EQ(locked.out.find("failed, result"), std::string::npos) << locked.out;
}

// A file that cannot be opened is named with the system's reason.
TEST(SvcamUpgrade, AnUnopenableImageIsNamedWithTheReason) {
    TempDir dir;
    const std::string missing = dir.File("missing.img");
    const std::string reason = std::string("cannot open ") + missing + ": " + std::strerror(ENOENT);
    const ToolRun sensor = Svcam("upgrade sensor KIVO " + missing);
    EXPECT_EQ(sensor.status, 1);
    EXPECT_NE(sensor.out.find(missing + ": failed (result -1): " + reason), std::string::npos) << sensor.out;
    EXPECT_NE(sensor.err.find(reason), std::string::npos) << sensor.err;

    const ToolRun bridge = Svcam("upgrade fx3 --target ram " + missing);
    EXPECT_EQ(bridge.status, 1);
    EXPECT_NE(bridge.err.find("SvUpgradeFX3FW(RAM, " + missing + ") failed (result -1): " + reason),
              std::string::npos)
        << bridge.err;

    const ToolRun decode = Svcam("decode " + missing + " " + dir.File("out.json"));
    EXPECT_EQ(decode.status, 1);
    EXPECT_NE(decode.err.find(reason), std::string::npos) << decode.err;
}

TEST(SvcamTest, AMistypedWordIsNamedWithTheNearestCommandOrOption) {
    const ToolRun command = Svcam("lsit");
    EXPECT_EQ(command.status, 2);
    EXPECT_NE(command.err.find("svcam: unknown command 'lsit'; did you mean 'list'?"), std::string::npos)
        << command.err;

    const ToolRun option = Svcam("capture 0 --frams 3");
    EXPECT_EQ(option.status, 2);
    EXPECT_NE(option.err.find("svcam capture: unknown option '--frams'; did you mean '--frames'?"), std::string::npos)
        << option.err;

    const ToolRun global = Svcam("--jsno list");
    EXPECT_EQ(global.status, 2);
    EXPECT_NE(global.err.find("unknown option '--jsno'; did you mean '--json'?"), std::string::npos) << global.err;

    const ToolRun nested = Svcam("upgrade fx image.img");
    EXPECT_EQ(nested.status, 2);
    EXPECT_NE(nested.err.find("svcam upgrade: unknown command 'fx'; did you mean 'fx3'?"), std::string::npos)
        << nested.err;

    // Nothing near: the commands there are.
    const ToolRun unrelated = Svcam("photograph");
    EXPECT_EQ(unrelated.status, 2);
    EXPECT_NE(unrelated.err.find("svcam: unknown command 'photograph'; commands: list, formats, capture"),
              std::string::npos)
        << unrelated.err;

    // Help is no failure.
    EXPECT_EQ(Svcam("--help").status, 0);
}

TEST(SvcamTest, AnEmptyListSaysSo) {
    TempDir dir;
    dir.Write("empty.json", R"({"devices": []})");
    const ToolRun sim = Svcam("--world " + dir.File("empty.json") + " list");
    EXPECT_EQ(sim.status, 0);
    EXPECT_NE(sim.err.find("svcam: no camera found"), std::string::npos) << sim.err;
    const ToolRun asJson = Svcam("--world " + dir.File("empty.json") + " --json list");
    EXPECT_EQ(ParseOut(asJson), json::parse(R"({"cameras": []})")) << "standard output stays one document";

    // The native back-end of a machine without video nodes (the build
    // machines have none) also points at the simulated cameras.
    std::error_code ec;
    if (std::filesystem::exists("/sys/class/video4linux", ec) &&
        !std::filesystem::is_empty("/sys/class/video4linux", ec)) {
        GTEST_SKIP() << "this machine has video nodes";
    }
    const ToolRun native = Svcam("--backend native list", "");
    EXPECT_EQ(native.status, 0);
    EXPECT_NE(native.err.find("svcam: no camera found; --backend sim lists the simulated cameras"), std::string::npos)
        << native.err;
}

// The rows of the demo that are not plain values are explained.
TEST(SvcamTest, UnavailableControlsAndUnnamedFormatsAreExplained) {
    const ToolRun controls = Svcam("controls KIVO");
    ASSERT_EQ(controls.status, 0) << controls.err;
    EXPECT_NE(controls.out.find("isp.ehdr-mode"), std::string::npos) << controls.out;
    EXPECT_NE(controls.out.find("isp.ehdr-*: unavailable: the eHDR controls exist only on cameras with an AR0821 "
                                "or AR0822\nsensor (product id 0821 or 0822)."),
              std::string::npos)
        << controls.out;

    const ToolRun formats = Svcam("formats KIVO");
    ASSERT_EQ(formats.status, 0) << formats.err;
    EXPECT_NE(formats.out.find("NONE: the camera offers this format in a pixel format the library does not name"),
              std::string::npos)
        << formats.out;
    // A camera whose formats all have names gets no such note.
    TempDir dir;
    dir.Write("named.json", R"({"devices": [{"id": "cam", "name": "Named Cam", "vendorId": "1234",
        "productId": "5678", "serial": "ABCDE12345",
        "formats": [{"subtype": "YUY2", "width": 64, "height": 48}]}]})");
    const ToolRun named = Svcam("--world " + dir.File("named.json") + " formats 0");
    ASSERT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(named.out.find("NONE"), std::string::npos) << named.out;
}
