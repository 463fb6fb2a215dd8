// The library through the kernel's own UVC driver: each camera of a world
// file presented over gadgetfs and dummy_hcd by the software camera, answered
// by the simulator's device models. The same world run through the simulated
// back-end in another svcam is the oracle for what the camera must report.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <ostream>
#include <thread>

#include "guest/GuestSupport.h"
#include "platform/FrameDecode.h"

namespace sv::guest {
namespace {

using json = nlohmann::json;
using std::chrono::milliseconds;

const std::string kWorld = std::string(SV_SOURCE_DIR) + "/tests/guest/worlds/gadget-cameras.json";

struct Device {
    const char* id;    // in the world file
    int simIndex;      // its place in the simulated back-end's list
    const char* name;  // the product string the driver names the camera by
    SV_CAMERA_PRODUCT_TYPE type;
};
void PrintTo(const Device& device, std::ostream* out) { *out << device.id; }

const Device kDevices[] = {{"webcam", 0, "USB2.0 HD UVC WebCam", SV_PRODUCT_TYPE_UVC},
                           {"kivo", 1, "KIVO-AR0234 Camera", SV_PRODUCT_TYPE_KIVO},
                           {"lira", 2, "LIRA-OX05B Camera", SV_PRODUCT_TYPE_LIRA}};

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The entries of two lists that differ, one per line ("" when none).
std::string Differences(const json& mine, const json& expected) {
    std::string text;
    if (!mine.is_array() || !expected.is_array()) return "not lists: " + mine.dump() + " / " + expected.dump();
    for (std::size_t i = 0; i < std::max(mine.size(), expected.size()); ++i) {
        const json a = i < mine.size() ? mine[i] : json();
        const json b = i < expected.size() ? expected[i] : json();
        if (a != b) text += "  got " + a.dump() + "\n  not " + b.dump() + "\n";
    }
    return text;
}

json Svcam(const std::string& arguments, int* status = nullptr) {
    const Shell run = Sh(Built("tools/svcam/svcam") + " --json " + arguments + " 2>/dev/null");
    if (status) *status = run.status;
    return json::parse(run.output, nullptr, false);
}
json SimSvcam(const std::string& arguments) { return Svcam("--backend sim --world " + kWorld + " " + arguments); }

// The frame the test pattern has for `bytes` (its counter read back), or
// an empty vector when the bytes do not decode.
std::vector<uint8_t> PatternFor(const std::string& pixel, const std::vector<uint8_t>& bytes, uint32_t width,
                                uint32_t height, std::string& why, uint64_t* number = nullptr) {
    svtest::RgbImage image;
    if (!svtest::DecodeFrame(pixel, bytes.data(), bytes.size(), width, height, image, why)) return {};
    const uint64_t frame = svtest::ReadCounter(image);
    if (number) *number = frame;
    const std::string file = "/tmp/pattern.raw";
    const Shell made = Sh(Built("tests/guest/sv_guest_pattern") + " " + pixel + " " + std::to_string(frame) + " " +
                          std::to_string(width) + " " + std::to_string(height) + " " + file);
    if (made.status != 0) {
        why = made.output;
        return {};
    }
    return ReadFile(file);
}

class Gadget : public ::testing::TestWithParam<Device> {
protected:
    static void SetUpTestSuite() {
        const Shell ready = Sh(
            "modprobe dummy_hcd && modprobe gadgetfs && modprobe uvcvideo && mkdir -p /dev/gadget && "
            "(grep -q ' /dev/gadget ' /proc/mounts || mount -t gadgetfs gadgetfs /dev/gadget)");
        ASSERT_EQ(ready.status, 0) << ready.output;
    }
    void SetUp() override { Start({}); }
    // The software camera for this test's device, with `faults` (options of
    // the program), listed by the library.
    void Start(const std::vector<std::string>& faults) {
        const Device& device = GetParam();
        log_ = std::string("/tmp/gadget-") + device.id + ".log";
        std::vector<std::string> args = {Built("tests/kernel/sv_uvc_gadget"), "--world", kWorld, "--device", device.id};
        args.insert(args.end(), faults.begin(), faults.end());
        gadget_ = fork();
        if (gadget_ == 0) {
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            freopen(log_.c_str(), "w", stdout);
            dup2(fileno(stdout), 2);
            execv(argv[0], argv.data());
            _exit(127);
        }
        ASSERT_GT(gadget_, 0);
        listed_ = WaitForCamera(
            [&](const std::string& name) { return name.rfind(device.name, 0) == 0; }, milliseconds(30000));
        ASSERT_TRUE(listed_.camera) << device.name << " did not appear\n" << ReadLog();
        node_ = NodeOf(listed_.camera);
        ASSERT_FALSE(node_.empty());
    }
    // The same device again, with `faults`.
    void Restart(const std::vector<std::string>& faults) {
        if (listed_.camera) (void)SvClose(listed_.camera);
        listed_ = {};
        ASSERT_TRUE(Unplug());
        Start(faults);
    }
    void TearDown() override {
        if (listed_.camera) (void)SvClose(listed_.camera);
        listed_ = {};
        if (gadget_ > 0) {
            kill(gadget_, SIGTERM);
            int status = 0;
            waitpid(gadget_, &status, 0);
        }
        // The driver lets the device go before the next camera comes.
        for (int i = 0; i < 100 && !node_.empty() && access(node_.c_str(), F_OK) == 0; ++i) {
            std::this_thread::sleep_for(milliseconds(100));
        }
    }
    // The device leaves the bus: the program ends and the driver lets go of
    // the node. False when the node did not go within 10 s.
    bool Unplug() {
        if (gadget_ <= 0) return true;
        kill(gadget_, SIGTERM);
        int status = 0;
        waitpid(gadget_, &status, 0);
        gadget_ = -1;
        for (int i = 0; i < 100; ++i) {
            if (access(node_.c_str(), F_OK) != 0) return true;
            std::this_thread::sleep_for(milliseconds(100));
        }
        return false;
    }
    // One frame of `format` from the library: the test pattern's frame for
    // the counter it shows, byte for byte. `number` is that counter.
    void TakePatternFrame(const SvFormat& format, uint64_t& number) {
        const std::string pixel = SvPixelFormatName(format.format);
        std::vector<uint8_t> frame(std::size_t{format.width} * format.height * 2);
        int size = static_cast<int>(frame.size());
        ASSERT_EQ(SvGetImage(listed_.camera, frame.data(), &size, 10000), SV_CAPTURE_SUCCESS);
        const std::vector<uint8_t> got(frame.begin(), frame.begin() + size);
        std::string why;
        const std::vector<uint8_t> expected = PatternFor(pixel, got, format.width, format.height, why, &number);
        ASSERT_FALSE(expected.empty()) << why;
        EXPECT_TRUE(got == expected) << "frame " << number << ": " << got.size() << " bytes, pattern "
                                     << expected.size();
    }
    std::string ReadLog() const {
        const auto bytes = ReadFile(log_);
        return std::string(bytes.begin(), bytes.end());
    }
    // svcam on this camera: native back-end, the camera by its index.
    json Native(const std::string& command, const std::string& rest = "", int* status = nullptr) {
        return Svcam("--backend native " + command + " " + std::to_string(listed_.index) + " " + rest, status);
    }
    json Sim(const std::string& command, const std::string& rest = "") {
        return SimSvcam(command + " " + std::to_string(GetParam().simIndex) + " " + rest);
    }

    pid_t gadget_ = -1;
    std::string log_;
    Listed listed_;
    std::string node_;
};

TEST_P(Gadget, IsListedWithItsIdsSerialAndSpeed) {
    SV_CAMERA_PRODUCT_TYPE type{};
    ASSERT_EQ(SvGetDeviceProductType(listed_.camera, type), 0);
    EXPECT_EQ(type, GetParam().type);
    SV_USB_DEVICE_SPEED speed{};
    ASSERT_EQ(SvGetUSBDeviceSpeed(listed_.camera, speed), 0);
    EXPECT_EQ(speed, SV_USB_HIGH_SPEED);
    // svcam lists it as the simulated back-end lists the same device.
    const json native = Svcam("--backend native list");
    const json sim = SimSvcam("list");
    ASSERT_TRUE(native.is_object() && sim.is_object());
    json mine = native["cameras"][listed_.index];
    json expected = sim["cameras"][GetParam().simIndex];
    mine.erase("index");
    expected.erase("index");
    EXPECT_EQ(mine, expected);
}

TEST_P(Gadget, FormatsAreTheDevicesAndEveryPeerFormatIsListed) {
    const json native = Native("formats");
    const json sim = Sim("formats");
    ASSERT_TRUE(native.is_object() && sim.is_object());
    EXPECT_EQ(Differences(native["formats"], sim["formats"]), "");
    const std::vector<PeerFormat> peer = PeerFormats(node_);
    ASSERT_FALSE(peer.empty());
    for (const PeerFormat& p : peer) {
        const std::string pixel = p.fourcc == "YUYV" ? "YUY2" : p.fourcc;
        const auto& list = native["formats"];
        const bool listed = std::any_of(list.begin(), list.end(), [&](const json& f) {
            return f["pixel"] == pixel && f["width"] == p.width && f["height"] == p.height;
        });
        EXPECT_TRUE(listed) << p.fourcc << " " << p.width << "x" << p.height;
    }
}

// Every format streams, and each frame is the test pattern's frame for the
// counter it shows, byte for byte.
TEST_P(Gadget, EveryFormatCapturesTheTestPattern) {
    ASSERT_EQ(SvOpen(listed_.camera), 0);
    std::vector<SvFormat> formats;
    ASSERT_EQ(SvGetFormatList(listed_.camera, formats), 0);
    ASSERT_FALSE(formats.empty());
    for (const SvFormat& format : formats) {
        const std::string pixel = SvPixelFormatName(format.format);
        SCOPED_TRACE(pixel + " " + std::to_string(format.width) + "x" + std::to_string(format.height));
        ASSERT_EQ(SvSetFormat(listed_.camera, format), 0);
        ASSERT_EQ(SvStartStreaming(listed_.camera), 0);
        for (int n = 0; n < 2; ++n) {
            uint64_t number = 0;
            TakePatternFrame(format, number);
            if (HasFatalFailure()) return;
        }
        ASSERT_EQ(SvStopStreaming(listed_.camera), 0);
    }
}

// v4l2-ctl, a peer we did not write, takes the same bytes from the driver.
TEST_P(Gadget, APeerCapturesTheSameBytes) {
    const json formats = Native("formats");
    ASSERT_TRUE(formats.is_object());
    const json& first = formats["formats"][0];
    const std::string pixel = first["pixel"];
    const uint32_t width = first["width"], height = first["height"];
    const std::string fourcc = pixel == "YUY2" ? "YUYV" : pixel;
    const Shell taken = Sh("v4l2-ctl -d " + node_ + " --set-fmt-video=width=" + std::to_string(width) +
                           ",height=" + std::to_string(height) + ",pixelformat=" + fourcc +
                           " --stream-mmap --stream-count=1 --stream-to=/tmp/peer.raw");
    ASSERT_EQ(taken.status, 0) << taken.output;
    const std::vector<uint8_t> peer = ReadFile("/tmp/peer.raw");
    std::string why;
    const std::vector<uint8_t> expected = PatternFor(pixel, peer, width, height, why);
    ASSERT_FALSE(expected.empty()) << why;
    EXPECT_TRUE(peer == expected);
    // And the library's frame of that format is the pattern's too.
    const Shell ours = Sh(Built("tools/svcam/svcam") + " --backend native capture " + std::to_string(listed_.index) +
                          " --format 0 --frames 1 --out /tmp/ours");
    ASSERT_EQ(ours.status, 0) << ours.output;
    const Shell file = Sh("ls /tmp/ours | head -1");
    const std::vector<uint8_t> mine = ReadFile("/tmp/ours/" + file.output.substr(0, file.output.find('\n')));
    const std::vector<uint8_t> mineExpected = PatternFor(pixel, mine, width, height, why);
    ASSERT_FALSE(mineExpected.empty()) << why;
    EXPECT_TRUE(mine == mineExpected);
    Sh("rm -rf /tmp/ours");
}

// Every control the camera offers, UVC and (on a maker camera) ISP, reads
// as the simulated back-end reads the same device; each is set to another
// value and reads that back.
TEST_P(Gadget, EveryControlReadsAsTheDeviceAndKeepsWhatIsSet) {
    const json native = Native("controls");
    const json sim = Sim("controls");
    ASSERT_TRUE(native.is_object() && sim.is_object());
    EXPECT_EQ(Differences(native["controls"], sim["controls"]), "");
    int changed = 0;
    for (const json& control : native["controls"]) {
        if (!control.value("offered", false) || !control.contains("min") || control.value("auto", false)) continue;
        const std::string name = (control["unit"] == "isp" ? "isp." : "") + control["name"].get<std::string>();
        const long minimum = control["min"], maximum = control["max"], given = control["step"];
        const long step = given > 0 ? given : 1;
        if (maximum <= minimum) continue;
        const long current = control["value"];
        long wanted = minimum + ((maximum - minimum) / step / 2) * step;
        if (wanted == current) wanted = minimum;
        SCOPED_TRACE(name + " = " + std::to_string(wanted));
        int status = -1;
        (void)Native("set", name + " " + std::to_string(wanted), &status);
        ASSERT_EQ(status, 0);
        const json read = Native("get", name);
        ASSERT_TRUE(read.is_object());
        EXPECT_EQ(read.value("value", json()), wanted) << read.dump();
        ++changed;
    }
    EXPECT_GT(changed, 3);
}

// Every control v4l2-ctl lists is one svcam lists, offered, and the ones
// in the same unit on both sides have the same range.
TEST_P(Gadget, EveryControlAPeerListsIsOffered) {
    const json native = Native("controls");
    ASSERT_TRUE(native.is_object());
    const auto find = [&](const std::string& name) -> const json* {
        for (const json& c : native["controls"]) {
            if (c["unit"] == "uvc" && c["name"] == name) return &c;
        }
        return nullptr;
    };
    // uvcvideo's names for the controls a UVC camera's units have.
    const std::map<std::string, std::string> kNames = {
        {"brightness", "brightness"}, {"contrast", "contrast"}, {"saturation", "saturation"}, {"hue", "hue"},
        {"sharpness", "sharpness"}, {"gamma", "gamma"}, {"gain", "gain"},
        {"backlight_compensation", "backlight-compensation"}, {"white_balance_automatic", "white-balance"},
        {"white_balance_temperature", "white-balance"}, {"auto_exposure", "exposure"},
        {"exposure_time_absolute", "exposure"}, {"pan_absolute", "pan"}, {"tilt_absolute", "tilt"},
        {"zoom_absolute", "zoom"}, {"focus_absolute", "focus"}, {"focus_automatic_continuous", "focus"},
        {"iris_absolute", "iris"}};
    const std::set<std::string> kSameUnits = {"brightness", "contrast", "saturation", "hue", "sharpness",
                                              "gamma", "gain", "backlight_compensation", "zoom_absolute"};
    const std::vector<PeerControl> peer = PeerControls(node_);
    ASSERT_FALSE(peer.empty());
    for (const PeerControl& p : peer) {
        SCOPED_TRACE(p.name);
        const auto name = kNames.find(p.name);
        ASSERT_NE(name, kNames.end()) << "a control svcam has no name for";
        const json* mine = find(name->second);
        ASSERT_NE(mine, nullptr);
        EXPECT_TRUE(mine->value("offered", false));
        if (kSameUnits.count(p.name) == 0) continue;
        EXPECT_EQ(mine->value("min", 0L), p.minimum);
        EXPECT_EQ(mine->value("max", 0L), p.maximum);
        EXPECT_EQ(mine->value("step", 0L), p.step);
        EXPECT_EQ(mine->value("default", 0L), p.defaultValue);
    }
}

using GadgetFaults = Gadget;

// The device leaves the bus while frames flow: the next frames answer the
// unplug result within a second, and stopping and closing do not hang.
TEST_P(GadgetFaults, LeavingTheBusMidStreamGivesTheUnplugResult) {
    ASSERT_EQ(SvOpen(listed_.camera), 0);
    std::vector<SvFormat> formats;
    ASSERT_EQ(SvGetFormatList(listed_.camera, formats), 0);
    ASSERT_EQ(SvSetFormat(listed_.camera, formats.at(0)), 0);
    ASSERT_EQ(SvStartStreaming(listed_.camera), 0);
    std::vector<uint8_t> frame(std::size_t{formats[0].width} * formats[0].height * 2);
    int size = static_cast<int>(frame.size());
    ASSERT_EQ(SvGetImage(listed_.camera, frame.data(), &size, 10000), SV_CAPTURE_SUCCESS);
    kill(gadget_, SIGTERM);
    SV_CAPTURE_RESULT result = SV_CAPTURE_SUCCESS;
    for (int n = 0; n < 20 && result == SV_CAPTURE_SUCCESS; ++n) {
        size = static_cast<int>(frame.size());
        result = SvGetImage(listed_.camera, frame.data(), &size, 5000);
    }
    EXPECT_EQ(result, SV_CAPTURE_FAILED);
    const auto start = std::chrono::steady_clock::now();
    size = static_cast<int>(frame.size());
    EXPECT_NE(SvGetImage(listed_.camera, frame.data(), &size, 500), SV_CAPTURE_SUCCESS);
    (void)SvStopStreaming(listed_.camera);
    EXPECT_EQ(SvClose(listed_.camera), 0);
    EXPECT_LT(std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start).count(), 3000);
    listed_ = {};
    // No descriptor and no mapped buffer of the vanished node is left.
    const Held held = HeldVideoFiles();
    EXPECT_EQ(held.descriptors, 0);
    EXPECT_EQ(held.mappings, 0);
    EXPECT_TRUE(Unplug());
}

// Listed, then gone before it is opened: the open fails at once.
TEST_P(GadgetFaults, ANodeThatVanishesBetweenListAndOpenFailsTheOpen) {
    ASSERT_TRUE(Unplug());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NE(SvOpen(listed_.camera), 0);
    EXPECT_LT(std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start).count(), 2000);
    listed_ = {};
}

// A control the device answers with a stall: that control fails at once,
// the others work.
TEST_P(GadgetFaults, AStalledControlFailsAloneAndAtOnce) {
    Restart({"--stall-control", "2:2"});  // the processing unit's brightness
    if (HasFatalFailure()) return;
    ASSERT_EQ(SvOpen(listed_.camera), 0);
    const auto start = std::chrono::steady_clock::now();
    long minimum = 0, maximum = 0, step = 0, defaultValue = 0, value = 0;
    int flag = 0;
    EXPECT_NE(SvGetUVCImageProcessingRange(listed_.camera, SV_UVC_BRIGHTNESS, minimum, maximum, step, defaultValue), 0);
    EXPECT_NE(SvGetUVCImageProcessing(listed_.camera, SV_UVC_BRIGHTNESS, value, flag), 0);
    EXPECT_NE(SvSetUVCImageProcessing(listed_.camera, SV_UVC_BRIGHTNESS, 1, 0), 0);
    EXPECT_LT(std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start).count(), 3000);
    ASSERT_EQ(SvGetUVCImageProcessingRange(listed_.camera, SV_UVC_CONTRAST, minimum, maximum, step, defaultValue), 0);
    ASSERT_EQ(SvSetUVCImageProcessing(listed_.camera, SV_UVC_CONTRAST, minimum, 0), 0);
    ASSERT_EQ(SvGetUVCImageProcessing(listed_.camera, SV_UVC_CONTRAST, value, flag), 0);
    EXPECT_EQ(value, minimum);
}

// Frames cut short: uvcvideo hands them over marked as errors when told not
// to drop them (nodrop=1), or drops them itself; the library delivers only
// whole frames either way.
TEST_P(GadgetFaults, FramesCutShortAreNeverDelivered) {
    for (const char* nodrop : {"1", "0"}) {
        SCOPED_TRACE(std::string("nodrop=") + nodrop);
        ASSERT_EQ(Sh(std::string("echo ") + nodrop + " > /sys/module/uvcvideo/parameters/nodrop").status, 0);
        Restart({"--short-frame", "2,3,5"});
        if (HasFatalFailure()) return;
        ASSERT_EQ(SvOpen(listed_.camera), 0);
        std::vector<SvFormat> formats;
        ASSERT_EQ(SvGetFormatList(listed_.camera, formats), 0);
        const SvFormat format = formats.at(0);
        ASSERT_EQ(SvSetFormat(listed_.camera, format), 0);
        ASSERT_EQ(SvStartStreaming(listed_.camera), 0);
        std::set<uint64_t> seen;
        for (int n = 0; n < 5; ++n) {
            uint64_t number = 0;
            TakePatternFrame(format, number);
            if (HasFatalFailure()) return;
            seen.insert(number);
        }
        for (uint64_t cut : {2u, 3u, 5u}) EXPECT_EQ(seen.count(cut), 0u) << "frame " << cut << " was cut short";
        (void)SvStopStreaming(listed_.camera);
    }
    Sh("echo 0 > /sys/module/uvcvideo/parameters/nodrop");
}

INSTANTIATE_TEST_SUITE_P(Cameras, GadgetFaults, ::testing::Values(kDevices[0], kDevices[1]),
                         [](const ::testing::TestParamInfo<Device>& p) { return std::string(p.param.id); });

// The maker's cameras: what they report over the extension unit, through
// the real driver's extension-unit interface.
using MakerGadget = Gadget;

// svcam's upgrade arguments for the camera's family: its image, and for a
// LIRA the erase its module needs first.
std::string UpgradeArgumentsFor(const Device& device) {
    const bool lira = device.type == SV_PRODUCT_TYPE_LIRA;
    return Built(lira ? "tests/sample-images/lumo-firmware.img" : "tests/sample-images/kano-bootdata.img") +
           (lira ? " --erase-first" : "");
}

TEST_P(MakerGadget, FirmwareIdsAndHeadersAreTheDevices) {
    const json native = Native("info");
    const json sim = Sim("info");
    ASSERT_TRUE(native.is_object() && sim.is_object());
    for (const char* key : {"name", "kind", "hardwareId", "usbFirmwareVersion", "sensorFirmwareVersion", "headerVersion",
                            "header", "sensorUniqueId", "sensorFormat", "maxFps", "throughput", "sensorMode"}) {
        EXPECT_EQ(native.value(key, json()), sim.value(key, json())) << key;
    }
    EXPECT_EQ(native["sensorUniqueId"].get<std::string>().size(), 32u);
}

TEST_P(MakerGadget, TheProfileAndTheExportedConfigurationAreTheDevices) {
    const json profile = Native("profile show");
    ASSERT_TRUE(profile.is_object());
    EXPECT_EQ(profile, Sim("profile show"));
    int status = -1;
    (void)Native("export", "/tmp/native.cfg", &status);
    ASSERT_EQ(status, 0);
    (void)Sim("export", "/tmp/sim.cfg");
    const std::vector<uint8_t> exported = ReadFile("/tmp/native.cfg");
    EXPECT_FALSE(exported.empty());
    EXPECT_TRUE(exported == ReadFile("/tmp/sim.cfg"));
}

TEST_P(MakerGadget, ASensorFirmwareUpgradeRunsToTheEnd) {
    const Shell native = Sh(Built("tools/svcam/svcam") + " --backend native upgrade sensor " +
                            std::to_string(listed_.index) + " " + UpgradeArgumentsFor(GetParam()));
    EXPECT_EQ(native.status, 0) << native.output;
    EXPECT_NE(native.output.find("100%"), std::string::npos) << native.output;
    // The version it reports afterwards is the one the simulated device
    // reports after the same upgrade.
    const Shell sim = Sh(Built("tools/svcam/svcam") + " --backend sim --world " + kWorld + " upgrade sensor " +
                         std::to_string(GetParam().simIndex) + " " + UpgradeArgumentsFor(GetParam()));
    ASSERT_EQ(sim.status, 0) << sim.output;
    const auto now = [](const std::string& text) {
        const auto at = text.find("done, now ");
        return at == std::string::npos ? std::string("(none)") : text.substr(at, text.find('\n', at) - at);
    };
    EXPECT_EQ(now(native.output), now(sim.output));
}

// The device leaves the bus in the middle of a sensor firmware upgrade: the
// upgrade fails and svcam ends.
TEST_P(MakerGadget, LeavingTheBusMidUpgradeFailsTheUpgrade) {
    // Line-buffered, so the progress comes as it is made.
    const std::string command = "stdbuf -oL " + Built("tools/svcam/svcam") + " --backend native upgrade sensor " +
                                std::to_string(listed_.index) + " " + UpgradeArgumentsFor(GetParam()) + " 2>&1";
    FILE* upgrade = popen(command.c_str(), "r");
    ASSERT_NE(upgrade, nullptr);
    std::string output;
    char line[512];
    bool pulled = false;
    while (fgets(line, sizeof(line), upgrade) != nullptr) {
        output += line;
        // Pulled as soon as the writes have begun.
        if (!pulled && output.find('%') != std::string::npos) {
            kill(gadget_, SIGTERM);
            pulled = true;
        }
    }
    const int status = pclose(upgrade);
    EXPECT_TRUE(pulled) << output;
    EXPECT_NE(WEXITSTATUS(status), 0) << output;
    EXPECT_EQ(output.find("100%"), std::string::npos) << output;
    EXPECT_TRUE(Unplug());
}

INSTANTIATE_TEST_SUITE_P(Cameras, MakerGadget, ::testing::Values(kDevices[1], kDevices[2]),
                         [](const ::testing::TestParamInfo<Device>& p) { return std::string(p.param.id); });

INSTANTIATE_TEST_SUITE_P(Cameras, Gadget, ::testing::ValuesIn(kDevices),
                         [](const ::testing::TestParamInfo<Device>& p) { return std::string(p.param.id); });

}  // namespace
}  // namespace sv::guest
