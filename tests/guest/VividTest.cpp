// The library against vivid, the kernel's virtual video driver: a camera
// with no USB parent, more formats than a format index can name, controls
// of every kind and a button that pulls the device away mid-stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>

#include "guest/GuestSupport.h"

namespace sv::guest {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class Vivid : public ::testing::Test {
protected:
    void SetUp() override {
        Sh("rmmod vivid");
        // One instance with one webcam input and only its capture node.
        const Shell loaded = Sh("modprobe vivid n_devs=1 node_types=0x1 num_inputs=1 input_types=0x0");
        ASSERT_EQ(loaded.status, 0) << loaded.output;
        listed_ = WaitForCamera([](const std::string& name) { return name.find("vivid") != std::string::npos; },
                                milliseconds(10000));
        ASSERT_TRUE(listed_.camera) << "vivid is not listed";
        node_ = NodeOf(listed_.camera);
        ASSERT_FALSE(node_.empty());
    }
    void TearDown() override {
        if (listed_.camera) (void)SvClose(listed_.camera);
        listed_ = {};
        Sh("rmmod vivid");
    }
    // The list's entry for `fourcc`-like `format` at `width` x `height`
    // with the highest rate up to 30 frames per second.
    bool Pick(SV_IMAGE_FORMAT format, uint16_t width, uint16_t height, SvFormat& chosen) {
        std::vector<SvFormat> formats;
        if (SvGetFormatList(listed_.camera, formats) != 0) return false;
        bool found = false;
        for (const SvFormat& f : formats) {
            if (f.format != format || f.width != width || f.height != height || f.framerate > 30) continue;
            if (!found || f.framerate > chosen.framerate) chosen = f;
            found = true;
        }
        return found;
    }
    void StartYuyv(uint16_t width, uint16_t height) {
        ASSERT_EQ(SvOpen(listed_.camera), 0);
        SvFormat format;
        ASSERT_TRUE(Pick(SV_IMAGE_FORMAT_YUY2, width, height, format));
        ASSERT_EQ(SvSetFormat(listed_.camera, format), 0);
        ASSERT_EQ(SvStartStreaming(listed_.camera), 0);
    }

    Listed listed_;
    std::string node_;
};

TEST_F(Vivid, IsListedAsAGenericCameraWithoutUsbFacts) {
    EXPECT_EQ(SvIsSorvanCamera(listed_.camera), -1);
    // No USB facts: no hardware id and no USB speed.
    std::string id = "kept";
    EXPECT_EQ(SvGetHardwareID(listed_.camera, id), -1);
    SV_USB_DEVICE_SPEED speed{};
    EXPECT_EQ(SvGetUSBDeviceSpeed(listed_.camera, speed), -1);
    SV_CAMERA_PRODUCT_TYPE type{};
    ASSERT_EQ(SvGetDeviceProductType(listed_.camera, type), 0);
    EXPECT_EQ(type, SV_PRODUCT_TYPE_UVC);
    // svcam lists it too, under the same name.
    const Shell list = Sh(Built("tools/svcam/svcam") + " --backend native list");
    EXPECT_EQ(list.status, 0) << list.output;
    EXPECT_NE(list.output.find(listed_.name), std::string::npos) << list.output;
}

TEST_F(Vivid, TheFormatListKeepsTheTypesAnIndexCanName) {
    ASSERT_EQ(SvOpen(listed_.camera), 0);
    std::vector<SvFormat> formats;
    ASSERT_EQ(SvGetFormatList(listed_.camera, formats), 0);
    ASSERT_FALSE(formats.empty());
    EXPECT_LE(formats.size(), 256u);
    for (std::size_t i = 0; i < formats.size(); ++i) EXPECT_EQ(formats[i].mediatypeIdx, i);
    // The driver's first format is YUYV: every size it gives for it is listed.
    const std::vector<PeerFormat> peer = PeerFormats(node_);
    ASSERT_FALSE(peer.empty());
    ASSERT_EQ(peer.front().fourcc, "YUYV");
    for (const PeerFormat& p : peer) {
        if (p.fourcc != "YUYV") continue;
        const bool listed = std::any_of(formats.begin(), formats.end(), [&](const SvFormat& f) {
            return f.format == SV_IMAGE_FORMAT_YUY2 && f.width == p.width && f.height == p.height;
        });
        EXPECT_TRUE(listed) << p.width << "x" << p.height;
    }
}

// vivid's default pattern is eight 75 % colour bars, from white to black:
// their luma falls from bar to bar.
TEST_F(Vivid, CapturedFramesCarryTheColourBars) {
    constexpr uint16_t kWidth = 640, kHeight = 360;
    StartYuyv(kWidth, kHeight);
    std::vector<uint8_t> frame(std::size_t{kWidth} * kHeight * 2);
    for (int n = 0; n < 3; ++n) {
        int size = static_cast<int>(frame.size());
        ASSERT_EQ(SvGetImage(listed_.camera, frame.data(), &size, 5000), SV_CAPTURE_SUCCESS) << "frame " << n;
        ASSERT_EQ(static_cast<std::size_t>(size), frame.size());
        const std::size_t row = std::size_t{kHeight} * 3 / 4 * kWidth * 2;
        int previous = 256;
        for (int bar = 0; bar < 8; ++bar) {
            const std::size_t x = static_cast<std::size_t>(kWidth / 8 * bar + kWidth / 16);
            const int luma = frame[row + x * 2];
            EXPECT_LT(luma, previous) << "bar " << bar << " of frame " << n;
            previous = luma;
        }
    }
    EXPECT_EQ(SvStopStreaming(listed_.camera), 0);
}

TEST_F(Vivid, ControlsHaveTheDriversRangesAndKeepWhatIsSet) {
    ASSERT_EQ(SvOpen(listed_.camera), 0);
    const struct {
        SV_UVC_IMAGE_PROPERTIES property;
        const char* name;
    } kControls[] = {{SV_UVC_BRIGHTNESS, "brightness"},
                     {SV_UVC_CONTRAST, "contrast"},
                     {SV_UVC_SATURATION, "saturation"},
                     {SV_UVC_HUE, "hue"}};
    const std::vector<PeerControl> peer = PeerControls(node_);
    for (const auto& control : kControls) {
        SCOPED_TRACE(control.name);
        const auto it = std::find_if(peer.begin(), peer.end(),
                                     [&](const PeerControl& p) { return p.name == control.name; });
        ASSERT_NE(it, peer.end());
        long minimum = 0, maximum = 0, step = 0, defaultValue = 0;
        ASSERT_EQ(SvGetUVCImageProcessingRange(listed_.camera, control.property, minimum, maximum, step, defaultValue),
                  0);
        EXPECT_EQ(minimum, it->minimum);
        EXPECT_EQ(maximum, it->maximum);
        EXPECT_EQ(step, it->step);
        EXPECT_EQ(defaultValue, it->defaultValue);
        const long wanted = minimum + (maximum - minimum) / 3;
        ASSERT_EQ(SvSetUVCImageProcessing(listed_.camera, control.property, wanted, 0), 0);
        long value = 0;
        int flag = 0;
        ASSERT_EQ(SvGetUVCImageProcessing(listed_.camera, control.property, value, flag), 0);
        EXPECT_EQ(value, wanted);
        // The driver holds it: a peer reads the same value.
        const Shell read = Sh("v4l2-ctl -d " + node_ + " -C " + control.name);
        EXPECT_NE(read.output.find(std::string(control.name) + ": " + std::to_string(wanted)), std::string::npos)
            << read.output;
    }
}

// vivid's "disconnect" button unregisters the device as an unplug does.
TEST_F(Vivid, ADisconnectMidStreamGivesTheUnplugResultAtOnce) {
    StartYuyv(640, 360);
    std::vector<uint8_t> frame(640 * 360 * 2);
    int size = static_cast<int>(frame.size());
    ASSERT_EQ(SvGetImage(listed_.camera, frame.data(), &size, 5000), SV_CAPTURE_SUCCESS);
    const Shell pressed = Sh("v4l2-ctl -d " + node_ + " -c disconnect=1");
    ASSERT_EQ(pressed.status, 0) << pressed.output;
    // Frames already on their way may still come; the unplug follows within a second.
    SV_CAPTURE_RESULT result = SV_CAPTURE_SUCCESS;
    const auto start = Clock::now();
    for (int n = 0; n < 10 && result == SV_CAPTURE_SUCCESS; ++n) {
        size = static_cast<int>(frame.size());
        result = SvGetImage(listed_.camera, frame.data(), &size, 5000);
    }
    const auto waited = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    // The unplug result: the reader's "device invalidated" answer.
    EXPECT_EQ(result, SV_CAPTURE_FAILED);
    EXPECT_LT(waited.count(), 1000);
    // No frame comes after it, and stopping and closing do not hang.
    const auto again = Clock::now();
    size = static_cast<int>(frame.size());
    EXPECT_NE(SvGetImage(listed_.camera, frame.data(), &size, 500), SV_CAPTURE_SUCCESS);
    (void)SvStopStreaming(listed_.camera);
    EXPECT_EQ(SvClose(listed_.camera), 0);
    EXPECT_LT(std::chrono::duration_cast<milliseconds>(Clock::now() - again).count(), 2000);
    listed_ = {};
    const Held held = HeldVideoFiles();
    EXPECT_EQ(held.descriptors, 0);
    EXPECT_EQ(held.mappings, 0);
    // The driver module can go: the library holds nothing of it.
    EXPECT_EQ(Sh("rmmod vivid").status, 0);
}

}  // namespace
}  // namespace sv::guest
