// The earlier interface through the shared library only (SorvanCam.h), on the
// simulated machine: enumeration, opening, formats and frames, UVC controls,
// the camera's own requests, profile documents, header files and the bridge
// download, and the guards every exported function keeps.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "firmware/Fx3Images.h"
#include "legacy/api/LegacyTestSupport.h"

using namespace legacytest;

extern "C" int sc_c_smoke(char* failure, size_t size);

namespace {

// Hex of the trace (trailing zero bytes left out) back to `n` bytes.
std::vector<uint8_t> Bytes(const std::string& hex, std::size_t n) {
    std::vector<uint8_t> out(n, 0);
    for (std::size_t i = 0; i + 1 < hex.size() && i / 2 < n; i += 2) {
        out[i / 2] = static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16));
    }
    return out;
}

struct CamDeleter {
    void operator()(SorvanCam* cam) const { ScReleaseSorvanCamDevice(cam); }
};
using CamPtr = std::unique_ptr<SorvanCam, CamDeleter>;

class LegacyApi : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(kEnvironment); }

    CamPtr OpenCam(int index) {
        CamPtr cam(ScCreateSorvanCamDevice());
        EXPECT_NE(cam, nullptr);
        EXPECT_EQ(ScOpen(cam.get(), index), 0);
        return cam;
    }

    // The format of `cam` with this subtype and size.
    static SzFormat Find(SorvanCam* cam, int format, int width, int height) {
        std::vector<SzFormat> formats;
        EXPECT_EQ(ScGetCaptureFormatList(cam, formats), 0);
        for (const auto& f : formats) {
            if (f.format == format && f.width == width && f.height == height) return f;
        }
        ADD_FAILURE() << "no format " << format << " " << width << "x" << height;
        return SzFormat{};
    }

    static std::vector<uint8_t> Capture(SorvanCam* cam, std::size_t capacity, int& result) {
        std::vector<uint8_t> frame(capacity);
        int size = static_cast<int>(capacity);
        result = ScGetRawImageCapture(cam, frame.data(), &size, 2000);
        frame.resize(result == 0 ? static_cast<std::size_t>(size) : 0);
        return frame;
    }

    std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = std::string(LEGACY_TEST_TRACE_DIR) + "/" + std::to_string(legacytest::ProcessId()) + "-" + name;
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        files_.push_back(path);
        return path;
    }
    std::string WriteText(const std::string& name, const std::string& text) {
        return WriteFile(name, std::vector<uint8_t>(text.begin(), text.end()));
    }
    void TearDown() override {
        for (const auto& f : files_) std::remove(f.c_str());
    }

    std::vector<std::string> files_;
};

// ---- Enumeration and opening -------------------------------------------------

TEST_F(LegacyApi, ListsTheCamerasWithAndWithoutLocation) {
    CamPtr cam(ScCreateSorvanCamDevice());
    ASSERT_NE(cam, nullptr);
    std::vector<std::wstring> names{L"stale"};
    ASSERT_EQ(ScGetVideoDeviceList(cam.get(), names), 0);
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[kWebcam], L"USB2.0 HD UVC WebCam");
    EXPECT_EQ(names[kKivo], L"KIVO-AR0234 Camera");
    EXPECT_EQ(names[kLira], L"LIRA-OX05B Camera");

    std::vector<DeviceListData> list;
    ASSERT_EQ(ScGetVideoDeviceListWithLocation(cam.get(), list), 0);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[kKivo].deviceName, L"KIVO-AR0234 Camera");
    EXPECT_EQ(Narrow(list[kKivo].devicePath).rfind("\\\\?\\usb#vid_3f41&pid_0234&mi_00#7&1f2e3d4c&0&0000#", 0), 0u);
    EXPECT_EQ(list[kKivo].serialNumber, "K7Q2M9P4R8");
    EXPECT_EQ(list[kLira].serialNumber, "L3X8B5N1W6");
    // Without a USB serial number the parent's generated key is listed (the
    // installation database keeps instance ids in upper case).
    EXPECT_EQ(list[kWebcam].serialNumber, "5&3A7C1E2&0&1");
}

TEST_F(LegacyApi, OpensEachCameraWithItsIdentity) {
    const wchar_t* ids[] = {L"vid_0c45&pid_636b", L"vid_3f41&pid_0234", L"vid_3f41&pid_4335"};
    const USB_DEVICE_SPEED speeds[] = {UsbHighSpeed, UsbSuperSpeed, UsbSuperSpeed};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        CamPtr cam = OpenCam(i);
        wchar_t text[64];
        ASSERT_EQ(ScGetDeviceHardwareID(cam.get(), text), 0);
        EXPECT_STREQ(text, ids[i]);
        ASSERT_EQ(ScGetSorvanCamDeviceName(cam.get(), text), 0);
        USB_DEVICE_SPEED speed = UsbSpeedUnknown;
        EXPECT_EQ(ScGetDeviceSpeed(cam.get(), &speed), speeds[i]);
        EXPECT_EQ(speed, speeds[i]);
        EXPECT_EQ(ScClose(cam.get()), 0);
        // Opening again after a close works.
        EXPECT_EQ(ScOpen(cam.get(), i), 0);
    }
}

TEST_F(LegacyApi, FamilyFollowsTheProductId) {
    // 0x4335 is a LUMO product: its control reads the module firmware.
    CamPtr lira = OpenCam(kLira);
    char text[64] = {};
    EXPECT_EQ(ScGetLUMOFirmwareVersion(lira.get(), text), 0);
    EXPECT_STRNE(text, "");
    // The KIVO gets a KANO control, which has no module firmware. Its header
    // reads at once: opening chose the 256-byte packets of its firmware.
    CamPtr kivo = OpenCam(kKivo);
    EXPECT_EQ(ScGetLUMOFirmwareVersion(kivo.get(), text), -1);
    SvHeaderV2 header{};
    EXPECT_EQ(ScGetBootdataHeader(kivo.get(), &header), 0);
    EXPECT_EQ(header.headerVersion, 2);
    EXPECT_STREQ(header.productName, "KIVO-AR0234");
}

TEST_F(LegacyApi, OpenRefusesIndicesOutsideTheEnumeration) {
    CamPtr cam(ScCreateSorvanCamDevice());
    EXPECT_EQ(ScOpen(cam.get(), 3), -1);
    EXPECT_EQ(ScOpen(cam.get(), -1), -1);
    EXPECT_EQ(ScOpen(cam.get(), 255), -1);
}

// ---- Guards -------------------------------------------------------------------

TEST_F(LegacyApi, NullCameraIsRefusedEverywhere) {
    std::vector<SzFormat> formats;
    std::vector<std::wstring> names;
    uint8_t buffer[16];
    int size = 16;
    long v = 0;
    int flag = 0;
    char text[32];
    double d = 0;
    EXPECT_EQ(ScOpen(nullptr, 0), -1);
    EXPECT_EQ(ScClose(nullptr), -1);
    EXPECT_EQ(ScGetVideoDeviceList(nullptr, names), -1);
    EXPECT_EQ(ScGetCaptureFormatList(nullptr, formats), -1);
    EXPECT_EQ(ScSetCaptureFormat(nullptr, SzFormat{}), -1);
    EXPECT_EQ(ScGetRawImageCapture(nullptr, buffer, &size, 10), -1);
    EXPECT_EQ(ScGetPropertyValue(nullptr, 0, &v, &flag), -1);
    EXPECT_EQ(ScGetUSBFirmwareVersion(nullptr, text), -1);
    EXPECT_EQ(ScGotoProgramMode(nullptr), -1);
    EXPECT_EQ(ScLoadProfileSetting(nullptr, "{}"), -1);
    EXPECT_EQ(ScGetBrightness(nullptr, &d), -1);
    EXPECT_EQ(ScSetJpegQual(nullptr, 90), -1);
    EXPECT_EQ(ScCheckHeaderVer(nullptr), -1);
    EXPECT_EQ(ScReleaseSorvanCamDevice(nullptr), 0);
}

TEST_F(LegacyApi, CallsBeforeOpenAnswerMinusOne) {
    CamPtr cam(ScCreateSorvanCamDevice());
    std::vector<SzFormat> formats;
    std::vector<uint8_t> buffer(1024);
    int size = 1024;
    long v = 0;
    int flag = 0;
    char text[32];
    uint8_t uid[16];
    uint32_t a = 0, b = 0;
    double d = 0;
    EXPECT_EQ(ScGetCaptureFormatList(cam.get(), formats), -1);
    EXPECT_EQ(ScSetCaptureFormat(cam.get(), SzFormat{0, 640, 480, 30, 1}), -1);
    EXPECT_EQ(ScGetRawImageCapture(cam.get(), buffer.data(), &size, 10), -1);
    EXPECT_EQ(ScGetPropertyValue(cam.get(), 0, &v, &flag), -1);
    EXPECT_EQ(ScSetPropertyValue(cam.get(), 0, 1, 0), -1);
    EXPECT_EQ(ScGetUSBFirmwareVersion(cam.get(), text), -1);
    EXPECT_EQ(ScGetSensorUID(cam.get(), uid), -1);
    EXPECT_EQ(ScReadTimeStamp(cam.get(), &a, &b), -1);
    EXPECT_EQ(ScGotoProgramMode(cam.get()), -1);
    EXPECT_EQ(ScRecoverDefaultSetting(cam.get()), -1);
    EXPECT_EQ(ScSetProfileControlConfig(cam.get()), -1);
    EXPECT_EQ(ScSetProfileStreamingConfig(cam.get()), -1);
    EXPECT_EQ(ScGetBrightness(cam.get(), &d), -1);
    EXPECT_EQ(ScGetSorvanCamDeviceName(cam.get(), nullptr), -1);
    wchar_t id[32] = L"untouched";
    EXPECT_EQ(ScGetDeviceHardwareID(cam.get(), id), -1);
    EXPECT_STREQ(id, L"untouched");
    USB_DEVICE_SPEED speed = UsbSuperSpeed;
    EXPECT_EQ(ScGetDeviceSpeed(cam.get(), &speed), UsbSpeedUnknown);
    EXPECT_EQ(speed, UsbSpeedUnknown);
}

TEST_F(LegacyApi, CFunctionsWorkFromC) {
    char failure[256] = {};
    EXPECT_EQ(sc_c_smoke(failure, sizeof(failure)), 0) << failure;
}

// ---- Formats and frames ---------------------------------------------------------

TEST_F(LegacyApi, ListsTheNativeFormats) {
    CamPtr cam = OpenCam(kKivo);
    std::vector<SzFormat> formats;
    ASSERT_EQ(ScGetCaptureFormatList(cam.get(), formats), 0);
    ASSERT_EQ(formats.size(), 9u);
    const int expected[9][4] = {{1920, 1200, 30, 2}, {1280, 720, 60, 2}, {1920, 1080, 30, 1}, {640, 480, 60, 1},
                                {1920, 1080, 30, 3}, {640, 480, 60, 3},  {1920, 1200, 60, 4}, {640, 480, 120, 4},
                                {640, 480, 30, 0}};
    for (int i = 0; i < 9; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(formats[i].mediatypeIdx, i);
        EXPECT_EQ(formats[i].width, expected[i][0]);
        EXPECT_EQ(formats[i].height, expected[i][1]);
        EXPECT_EQ(formats[i].framerate, expected[i][2]);
        EXPECT_EQ(formats[i].format, expected[i][3]);
    }
    // The unknown subtype and a size the native type does not have are refused.
    EXPECT_EQ(ScSetCaptureFormat(cam.get(), formats[8]), -1);
    SzFormat wrong = formats[3];
    wrong.width = 800;
    EXPECT_EQ(ScSetCaptureFormat(cam.get(), wrong), -1);
}

TEST_F(LegacyApi, CapturesEveryRawFormatWithAnAdvancingPattern) {
    CamPtr cam = OpenCam(kKivo);
    const int sizes[3][3] = {{1, 640, 480}, {2, 1280, 720}, {3, 640, 480}};
    for (const auto& s : sizes) {
        SCOPED_TRACE(s[0]);
        ASSERT_EQ(ScSetCaptureFormat(cam.get(), Find(cam.get(), s[0], s[1], s[2])), 0);
        const std::size_t bytes = FrameBytes(s[1], s[2], s[0]);
        int r1 = 0, r2 = 0;
        const auto first = Capture(cam.get(), bytes, r1);
        const auto second = Capture(cam.get(), bytes, r2);
        ASSERT_EQ(r1, 0);
        ASSERT_EQ(r2, 0);
        ASSERT_EQ(first.size(), bytes);
        ASSERT_EQ(second.size(), bytes);
        EXPECT_GT(FrameCounter(second, s[1], s[0]), FrameCounter(first, s[1], s[0]));
    }
}

TEST_F(LegacyApi, CapturesJpegFrames) {
    CamPtr cam = OpenCam(kKivo);
    ASSERT_EQ(ScSetCaptureFormat(cam.get(), Find(cam.get(), 4, 640, 480)), 0);
    int r = 0;
    const auto a = Capture(cam.get(), 640 * 480 * 2, r);
    ASSERT_EQ(r, 0);
    const auto b = Capture(cam.get(), 640 * 480 * 2, r);
    ASSERT_EQ(r, 0);
    ASSERT_GT(a.size(), 4u);
    EXPECT_EQ(a[0], 0xFF);
    EXPECT_EQ(a[1], 0xD8);
    EXPECT_EQ(a[a.size() - 2], 0xFF);
    EXPECT_EQ(a[a.size() - 1], 0xD9);
    EXPECT_NE(a, b);  // the pattern moved
}

TEST_F(LegacyApi, ListingAgainWhileOpenKeepsTheStream) {
    CamPtr cam = OpenCam(kKivo);
    ASSERT_EQ(ScSetCaptureFormat(cam.get(), Find(cam.get(), 1, 640, 480)), 0);
    int r = 0;
    const auto first = Capture(cam.get(), FrameBytes(640, 480, 1), r);
    ASSERT_EQ(r, 0);
    std::vector<std::wstring> names;
    std::vector<DeviceListData> list;
    ASSERT_EQ(ScGetVideoDeviceList(cam.get(), names), 0);
    ASSERT_EQ(ScGetVideoDeviceListWithLocation(cam.get(), list), 0);
    const auto second = Capture(cam.get(), FrameBytes(640, 480, 1), r);
    ASSERT_EQ(r, 0);
    EXPECT_GT(FrameCounter(second, 640, 1), FrameCounter(first, 640, 1));
    long value = 0;
    int flag = 0;
    EXPECT_EQ(ScGetPropertyValue(cam.get(), SZ_CAPTURE_BRIGHTNESS, &value, &flag), 0);
}

TEST_F(LegacyApi, AFrameLargerThanTheBufferIsKeptForARetry) {
    CamPtr cam = OpenCam(kKivo);
    ASSERT_EQ(ScSetCaptureFormat(cam.get(), Find(cam.get(), 1, 640, 480)), 0);
    const std::size_t bytes = FrameBytes(640, 480, 1);
    std::vector<uint8_t> small(1000, 0xAB);
    std::vector<uint8_t> canary(small);
    int size = static_cast<int>(small.size());
    Trace trace;
    EXPECT_EQ(ScGetRawImageCapture(cam.get(), small.data(), &size, 2000), -1);
    EXPECT_EQ(size, static_cast<int>(bytes));
    EXPECT_EQ(small, canary);  // nothing written
    std::vector<uint8_t> frame(bytes);
    size = static_cast<int>(bytes);
    ASSERT_EQ(ScGetRawImageCapture(cam.get(), frame.data(), &size, 2000), 0);
    EXPECT_EQ(size, static_cast<int>(bytes));
    // The retry took the kept frame: one request for both calls.
    EXPECT_EQ(trace.Ops("sample.request").size(), 1u);
}

// A frame kept in the callback (refused for a small buffer, or not taken by a
// capture without a buffer) belongs to the reader and format it came from:
// after a format change, a close and open, or a second open, the next capture
// is a frame of the format chosen afterwards (YUY2), never the kept MJPG one.
enum class KeptBy { SmallBuffer, NullBuffer };
enum class LegacyStep { FormatChange, CloseThenOpen, OpenAgain };

class LegacyKeptFrame : public LegacyApi, public ::testing::WithParamInterface<std::tuple<KeptBy, LegacyStep>> {};

TEST_P(LegacyKeptFrame, AKeptFrameIsNeverHandedOutAfterTheStep) {
    const KeptBy keptBy = std::get<0>(GetParam());
    const LegacyStep step = std::get<1>(GetParam());
    CamPtr cam = OpenCam(kWebcam);
    ASSERT_EQ(ScSetCaptureFormat(cam.get(), Find(cam.get(), 4, 640, 480)), 0);
    if (keptBy == KeptBy::SmallBuffer) {
        std::vector<uint8_t> small(16);
        int size = static_cast<int>(small.size());
        ASSERT_EQ(ScGetRawImageCapture(cam.get(), small.data(), &size, 2000), -1);
        ASSERT_GT(size, 16) << "an MJPG frame is kept for the retry";
    } else {
        ASSERT_EQ(ScGetRawImageCapture(cam.get(), nullptr, nullptr, 2000), -1);
    }

    switch (step) {
    case LegacyStep::FormatChange:
        break;
    case LegacyStep::CloseThenOpen:
        ASSERT_EQ(ScClose(cam.get()), 0);
        ASSERT_EQ(ScOpen(cam.get(), kWebcam), 0);
        break;
    case LegacyStep::OpenAgain:
        ASSERT_EQ(ScOpen(cam.get(), kWebcam), 0);
        break;
    }
    ASSERT_EQ(ScSetCaptureFormat(cam.get(), Find(cam.get(), 1, 640, 480)), 0);

    const std::size_t bytes = FrameBytes(640, 480, 1);
    std::vector<uint8_t> frame(bytes, 0);
    int size = static_cast<int>(bytes);
    ASSERT_EQ(ScGetRawImageCapture(cam.get(), frame.data(), &size, 2000), 0);
    EXPECT_FALSE(frame[0] == 0xFF && frame[1] == 0xD8) << "the kept JPEG frame came out";
    EXPECT_EQ(size, static_cast<int>(bytes));
}

std::string KeptFrameCase(const ::testing::TestParamInfo<std::tuple<KeptBy, LegacyStep>>& param) {
    const char* kept = std::get<0>(param.param) == KeptBy::SmallBuffer ? "SmallBuffer" : "NullBuffer";
    const LegacyStep step = std::get<1>(param.param);
    const char* name = step == LegacyStep::FormatChange    ? "FormatChange"
                       : step == LegacyStep::CloseThenOpen ? "CloseThenOpen"
                                                           : "OpenAgain";
    return std::string(kept) + "_" + name;
}

INSTANTIATE_TEST_SUITE_P(
    Steps, LegacyKeptFrame,
    ::testing::Combine(::testing::Values(KeptBy::SmallBuffer, KeptBy::NullBuffer),
                       ::testing::Values(LegacyStep::FormatChange, LegacyStep::CloseThenOpen, LegacyStep::OpenAgain)),
    KeptFrameCase);

TEST_F(LegacyApi, NullSizeCopiesAndNullBufferKeepsTheFrame) {
    CamPtr cam = OpenCam(kKivo);
    const SzFormat f = Find(cam.get(), 1, 640, 480);
    ASSERT_EQ(ScSetCaptureFormat(cam.get(), f), 0);
    std::vector<uint8_t> frame(FrameBytes(640, 480, 1));
    EXPECT_EQ(ScGetRawImageCapture(cam.get(), frame.data(), nullptr, 2000), 0);
    const uint32_t before = FrameCounter(frame, 640, 1);
    EXPECT_EQ(ScGetRawImageCapture(cam.get(), nullptr, nullptr, 2000), -1);
    int size = static_cast<int>(frame.size());
    ASSERT_EQ(ScGetRawImageCapture(cam.get(), frame.data(), &size, 2000), 0);
    EXPECT_GT(FrameCounter(frame, 640, 1), before);
}

// ---- Controls and the camera's own requests ----------------------------------------

TEST_F(LegacyApi, ReadsAndSetsUvcControls) {
    CamPtr cam = OpenCam(kKivo);
    long lo = 0, hi = 0, step = 0, def = 0, caps = 0;
    ASSERT_EQ(ScGetPropertyRange(cam.get(), SZ_CAPTURE_BRIGHTNESS, &lo, &hi, &step, &def, &caps), 0);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 255);
    EXPECT_EQ(step, 1);
    EXPECT_EQ(def, 128);
    EXPECT_EQ(caps, 0);
    ASSERT_EQ(ScSetPropertyValue(cam.get(), SZ_CAPTURE_BRIGHTNESS, 77, 0), 0);
    long value = 0;
    int flag = 5;
    ASSERT_EQ(ScGetPropertyValue(cam.get(), SZ_CAPTURE_BRIGHTNESS, &value, &flag), 0);
    EXPECT_EQ(value, 77);
    EXPECT_EQ(flag, 0);
    // Camera terminal: zoom is 13 (property 3 of the terminal).
    ASSERT_EQ(ScSetPropertyValue(cam.get(), SZ_CAPTURE_ZOOM, 250, 0), 0);
    ASSERT_EQ(ScGetPropertyValue(cam.get(), SZ_CAPTURE_ZOOM, &value, &flag), 0);
    EXPECT_EQ(value, 250);
    // White balance can run automatically: the capability's lowest bit.
    ASSERT_EQ(ScGetPropertyRange(cam.get(), SZ_CAPTURE_WHITE_BALANCE, &lo, &hi, &step, &def, &caps), 0);
    EXPECT_EQ(lo, 2500);
    EXPECT_EQ(hi, 10000);
    EXPECT_EQ(caps, 1);
    // Any non-zero flag asks for automatic mode.
    ASSERT_EQ(ScSetPropertyValue(cam.get(), SZ_CAPTURE_WHITE_BALANCE, 5000, 7), 0);
    ASSERT_EQ(ScGetPropertyValue(cam.get(), SZ_CAPTURE_WHITE_BALANCE, &value, &flag), 0);
    EXPECT_EQ(flag, 1);
    // A control the device lacks: the platform's failure, value 0 and flag -1.
    EXPECT_LT(ScGetPropertyValue(cam.get(), SZ_CAPTURE_HUE, &value, &flag), 0);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(flag, -1);
}

TEST_F(LegacyApi, GenericCameraHasUvcControlsButNoExtensionUnit) {
    CamPtr cam = OpenCam(kWebcam);
    long value = 0;
    int flag = 0;
    EXPECT_EQ(ScGetPropertyValue(cam.get(), SZ_CAPTURE_CONTRAST, &value, &flag), 0);
    EXPECT_EQ(value, 32);
    char text[32];
    EXPECT_EQ(ScGetUSBFirmwareVersion(cam.get(), text), -1);
    double d = 0;
    EXPECT_LT(ScGetBrightness(cam.get(), &d), 0);
}

TEST_F(LegacyApi, ReadsFirmwareVersionUniqueIdAndTimeStamp) {
    CamPtr kivo = OpenCam(kKivo);
    char text[16];
    ASSERT_EQ(ScGetUSBFirmwareVersion(kivo.get(), text), 0);
    EXPECT_STREQ(text, "24.07.03.01");
    CamPtr lira = OpenCam(kLira);
    ASSERT_EQ(ScGetUSBFirmwareVersion(lira.get(), text), 0);
    EXPECT_STREQ(text, "23.11.05.00");

    Trace trace;
    uint8_t uid[16] = {};
    ASSERT_EQ(ScGetSensorUID(kivo.get(), uid), 0);
    uint32_t count1 = 0, stamp1 = 0, count2 = 0, stamp2 = 0;
    ASSERT_EQ(ScReadTimeStamp(kivo.get(), &count1, &stamp1), 0);
    std::vector<uint8_t> frame(FrameBytes(640, 480, 1));
    ASSERT_EQ(ScSetCaptureFormat(kivo.get(), Find(kivo.get(), 1, 640, 480)), 0);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(ScGetRawImageCapture(kivo.get(), frame.data(), nullptr, 2000), 0);
    ASSERT_EQ(ScReadTimeStamp(kivo.get(), &count2, &stamp2), 0);
    EXPECT_GT(stamp2, stamp1);
    EXPECT_GE(count2, count1);

    std::vector<nlohmann::json> gets = trace.Ops("xu.get");
    ASSERT_GE(gets.size(), 3u);
    EXPECT_EQ(gets[0].value("selector", 0), 4);
    EXPECT_EQ(gets[0].value("length", 0), 16);
    EXPECT_EQ(gets[1].value("selector", 0), 8);
    EXPECT_EQ(gets[1].value("length", 0), 8);
    // The values are the wire bytes: the id as sent, the two counts most
    // significant byte first.
    const auto idBytes = Bytes(gets[0].value("payload", ""), 16);
    EXPECT_EQ(std::vector<uint8_t>(uid, uid + 16), idBytes);
    const auto stamp = Bytes(gets[1].value("payload", ""), 8);
    EXPECT_EQ(count1, uint32_t{stamp[0]} << 24 | uint32_t{stamp[1]} << 16 | uint32_t{stamp[2]} << 8 | stamp[3]);
    EXPECT_EQ(stamp1, uint32_t{stamp[4]} << 24 | uint32_t{stamp[5]} << 16 | uint32_t{stamp[6]} << 8 | stamp[7]);
    bool nonZero = false;
    for (uint8_t b : uid) nonZero = nonZero || b != 0;
    EXPECT_TRUE(nonZero);
}

TEST_F(LegacyApi, ReadsHeadersAndSensorRegistersThroughTheControl) {
    CamPtr lira = OpenCam(kLira);
    SvHeaderV3 header{};
    ASSERT_EQ(ScGetBootdataHeaderV3(lira.get(), &header), 0);
    EXPECT_EQ(header.headerVersion, 3);
    EXPECT_STREQ(header.productName, "LIRA-OX05B");
    EXPECT_EQ(ScCheckHeaderVer(lira.get()), 3);

    CamPtr kivo = OpenCam(kKivo);
    ASSERT_EQ(ScSetSensorTestPattern(kivo.get(), 0x20, 2), 0);
    uint16_t value = 0;
    ASSERT_EQ(ScGetSensorReg(kivo.get(), 0x20, 0x3070, &value), 0);
    EXPECT_EQ(value, 2);
    EXPECT_EQ(ScGetSensorReg(kivo.get(), 0x20, 0x3070, nullptr), -1);
}

TEST_F(LegacyApi, ResetAndProfileFlagRequestsOnTheWire) {
    CamPtr cam = OpenCam(kKivo);
    Trace trace;
    EXPECT_EQ(ScGotoSaveOSPProfile(cam.get(), 0x5A), 0);
    EXPECT_EQ(ScResetUVC(cam.get()), 0);
    const auto sets = trace.Ops("xu.set");
    ASSERT_EQ(sets.size(), 2u);
    const int selectors[] = {7, 3};
    const char* payloads[] = {"5a", "01"};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(sets[i].value("selector", 0), selectors[i]);
        EXPECT_EQ(sets[i].value("request", 0), 1);
        EXPECT_EQ(sets[i].value("length", 0), 1);
        EXPECT_EQ(sets[i].value("payload", ""), payloads[i]);
    }
}

TEST_F(LegacyApi, ForwardsMakerControlsAndRecoversDefaults) {
    CamPtr cam = OpenCam(kKivo);
    ASSERT_EQ(ScSetBrightness(cam.get(), 0.5), 0);
    double d = 0;
    ASSERT_EQ(ScGetBrightness(cam.get(), &d), 0);
    EXPECT_DOUBLE_EQ(d, 0.5);
    ASSERT_EQ(ScSetJpegQual(cam.get(), 80), 0);
    uint8_t q = 0;
    ASSERT_EQ(ScGetJpegQual(cam.get(), &q), 0);
    EXPECT_EQ(q, 80);
    EXPECT_EQ(ScGetBrightness(cam.get(), nullptr), -1);

    ASSERT_EQ(ScRecoverDefaultSetting(cam.get()), 0);
    ASSERT_EQ(ScGetBrightness(cam.get(), &d), 0);
    EXPECT_DOUBLE_EQ(d, 0.0);
    ASSERT_EQ(ScGetJpegQual(cam.get(), &q), 0);
    EXPECT_EQ(q, 233);  // the KIVO runs at SuperSpeed
    uint32_t exposure = 0;
    ASSERT_EQ(ScGetExposureTime(cam.get(), &exposure), 0);
    EXPECT_EQ(exposure, 33333u);
}

// ---- Profile documents -------------------------------------------------------------

std::string ProfileDocument(const std::string& mode, const std::string& tail = R"(, "Fixed_FPS": false)",
                            int awbTemp = 4600, const std::string& exposure = "5000") {
    return R"({"ProfileName": "bench", "GenerateDate": "2026-01-02", "ProductName": "KIVO-AR0234",
      "SerialNumber": "K7Q2M9P4R8", "ControlMode": ")" + mode + R"(",
      "CameraProfile": {"Width": 640, "Height": 480, "Framerate": 60, "PixelFormat": "NV12"},
      "UVCProfiles": {"Exposure": -5, "Gain": 12, "Exp_Auto": false, "WB_Auto": false, "Temperature": 4200,
        "Brightness": 90, "Backlight_Compensation": 0, "Contrast": 140, "Saturation": 100, "Gamma": 180,
        "Sharpness": 20, "Zoom": 200, "Pan": 10, "Tilt": -10},
      "ISPProfiles": {"AE_EXP_TIME": )" + exposure + R"(, "AE_EXP_GAIN": 3, "AE_EXP_MODE": 12, "AWB_MODE": false,
        "AWB_TEMP": )" + std::to_string(awbTemp) + R"(, "Brightness": 0.25, "Backlight_Compensation": 1.5,
        "Contrast": 0.5, "Saturation": 1.25, "Gamma": 2.0, "Denoise": 0.5, "Sharpness": 0.75,
        "Flip_Mode": 1, "Effect_Mode": 0, "ZoomTarget": 1.0, "Zoom_CTX": 0.5, "Zoom_CTY": 0.5,
        "Flick_Mode": 0, "Jpeg_Qual": 90)" + tail + "}}";
}

TEST_F(LegacyApi, ProfileDocumentAppliesToIspControlsAndStreaming) {
    CamPtr cam = OpenCam(kKivo);
    ASSERT_EQ(ScLoadProfileSettingFromPath(cam.get(), WriteText("isp.json", ProfileDocument("ISP")).c_str()), 0);
    ASSERT_EQ(ScSetProfileControlConfig(cam.get()), 0);
    double d = 0;
    ASSERT_EQ(ScGetBrightness(cam.get(), &d), 0);
    EXPECT_DOUBLE_EQ(d, 0.25);
    ASSERT_EQ(ScGetSaturation(cam.get(), &d), 0);
    EXPECT_DOUBLE_EQ(d, 1.25);
    uint16_t temperature = 0;
    ASSERT_EQ(ScGetTemperature(cam.get(), &temperature), 0);
    EXPECT_EQ(temperature, 4600);
    uint8_t quality = 0;
    ASSERT_EQ(ScGetJpegQual(cam.get(), &quality), 0);
    EXPECT_EQ(quality, 90);

    ASSERT_EQ(ScSetProfileStreamingConfig(cam.get()), 0);
    std::vector<uint8_t> frame(FrameBytes(640, 480, 3) + 100);
    int size = static_cast<int>(frame.size());
    ASSERT_EQ(ScGetRawImageCapture(cam.get(), frame.data(), &size, 2000), 0);
    EXPECT_EQ(size, static_cast<int>(FrameBytes(640, 480, 3)));
}

TEST_F(LegacyApi, ProfileDocumentAppliesToUvcControls) {
    CamPtr cam = OpenCam(kKivo);
    ASSERT_EQ(ScLoadProfileSetting(cam.get(), ProfileDocument("UVC").c_str()), 0);
    ASSERT_EQ(ScSetProfileControlConfig(cam.get()), 0);
    long value = 0;
    int flag = 0;
    ASSERT_EQ(ScGetPropertyValue(cam.get(), SZ_CAPTURE_BRIGHTNESS, &value, &flag), 0);
    EXPECT_EQ(value, 90);
    ASSERT_EQ(ScGetPropertyValue(cam.get(), SZ_CAPTURE_CONTRAST, &value, &flag), 0);
    EXPECT_EQ(value, 140);
    ASSERT_EQ(ScGetPropertyValue(cam.get(), SZ_CAPTURE_WHITE_BALANCE, &value, &flag), 0);
    EXPECT_EQ(value, 4200);
    EXPECT_EQ(flag, 0);
    ASSERT_EQ(ScGetPropertyValue(cam.get(), SZ_CAPTURE_ZOOM, &value, &flag), 0);
    EXPECT_EQ(value, 200);
    ASSERT_EQ(ScGetPropertyValue(cam.get(), SZ_CAPTURE_EXPOSURE, &value, &flag), 0);
    EXPECT_EQ(value, -5);
    EXPECT_EQ(flag, 0);
}

TEST_F(LegacyApi, ProfileDocumentFailuresKeepWhatWasRead) {
    CamPtr cam = OpenCam(kKivo);
    // Without the last key the load fails, but the streaming values before it stay.
    EXPECT_EQ(ScLoadProfileSetting(cam.get(), ProfileDocument("ISP", "").c_str()), -1);
    EXPECT_EQ(ScSetProfileStreamingConfig(cam.get()), 0);
    EXPECT_EQ(ScLoadProfileSetting(cam.get(), "not json"), -1);
    EXPECT_EQ(ScLoadProfileSetting(cam.get(), nullptr), -1);
    EXPECT_EQ(ScLoadProfileSettingFromPath(cam.get(), "/nonexistent/profile.json"), -1);
    // A number that does not fit an int is refused at load.
    EXPECT_EQ(ScLoadProfileSetting(cam.get(), ProfileDocument("ISP", R"(, "Fixed_FPS": true)", 4600, "3000000000").c_str()),
              -1);
    // A value wider than its register is refused before anything is applied.
    ASSERT_EQ(ScSetBrightness(cam.get(), 0.0), 0);
    ASSERT_EQ(ScLoadProfileSetting(cam.get(), ProfileDocument("ISP", R"(, "Fixed_FPS": true)", 70000).c_str()), 0);
    EXPECT_EQ(ScSetProfileControlConfig(cam.get()), -1);
    double d = 1;
    ASSERT_EQ(ScGetBrightness(cam.get(), &d), 0);
    EXPECT_DOUBLE_EQ(d, 0.0);
    // The mode is compared exactly.
    ASSERT_EQ(ScLoadProfileSetting(cam.get(), ProfileDocument("isp").c_str()), 0);
    EXPECT_EQ(ScSetProfileControlConfig(cam.get()), -1);
}

TEST_F(LegacyApi, ProfileDocumentTakesWholeNumbersWrittenAsReals) {
    CamPtr cam = OpenCam(kKivo);
    // Other tools write whole numbers as reals: 5000.0 is the whole number 5000.
    std::string doc = ProfileDocument("ISP", R"(, "Fixed_FPS": false)", 4600, "5000.0");
    doc.replace(doc.find("\"AWB_TEMP\": 4600"), 16, "\"AWB_TEMP\": 5200.0");
    doc.replace(doc.find("\"Width\": 640"), 12, "\"Width\": 640.0");
    ASSERT_EQ(ScLoadProfileSetting(cam.get(), doc.c_str()), 0);
    ASSERT_EQ(ScSetProfileControlConfig(cam.get()), 0);
    uint16_t temperature = 0;
    ASSERT_EQ(ScGetTemperature(cam.get(), &temperature), 0);
    EXPECT_EQ(temperature, 5200);
    uint32_t exposure = 0;
    ASSERT_EQ(ScGetExposureTime(cam.get(), &exposure), 0);
    EXPECT_EQ(exposure, 5000u);
    ASSERT_EQ(ScSetProfileStreamingConfig(cam.get()), 0) << "640.0 x 480 NV12 is a format of the camera";

    // A fraction is no whole number, however close; nor is a whole real past int.
    for (const char* awb : {"5000.5", "4999.999", "2147483648.0", "-2147483649.0"}) {
        SCOPED_TRACE(awb);
        std::string bad = ProfileDocument("ISP");
        bad.replace(bad.find("\"AWB_TEMP\": 4600"), 16, std::string("\"AWB_TEMP\": ") + awb);
        EXPECT_EQ(ScLoadProfileSetting(cam.get(), bad.c_str()), -1);
    }
    // The edges of int, written as reals, are whole numbers.
    EXPECT_EQ(ScLoadProfileSetting(cam.get(), ProfileDocument("ISP", R"(, "Fixed_FPS": true)", 4600, "2147483647.0").c_str()), 0);
    EXPECT_EQ(ScLoadProfileSetting(cam.get(), ProfileDocument("ISP", R"(, "Fixed_FPS": true)", 4600, "-2147483648.0").c_str()), 0);
}

TEST_F(LegacyApi, StreamingProfileWithoutAMatchingFormatFails) {
    CamPtr cam = OpenCam(kKivo);
    std::string doc = ProfileDocument("ISP");
    doc.replace(doc.find("\"Framerate\": 60"), 15, "\"Framerate\": 25");
    ASSERT_EQ(ScLoadProfileSetting(cam.get(), doc.c_str()), 0);
    EXPECT_EQ(ScSetProfileStreamingConfig(cam.get()), -1);
}

// ---- Library functions ---------------------------------------------------------------

TEST_F(LegacyApi, VersionText) {
    char text[16];
    std::memset(text, 'x', sizeof(text));
    EXPECT_EQ(ScGetSorvanSDKVersion(text), 0);
    EXPECT_STREQ(text, "25.3.0.1");
    EXPECT_EQ(ScGetSorvanSDKVersion(nullptr), -1);
    ScSetLogLevel(9);  // off; no result
    ScSetLogLevel(2);
}

TEST_F(LegacyApi, HeadersFromFiles) {
    std::vector<uint8_t> v2(144);
    for (std::size_t i = 0; i < v2.size(); ++i) v2[i] = static_cast<uint8_t>(i * 3 + 1);
    uint8_t buffer[200];
    std::memset(buffer, 0xEE, sizeof(buffer));
    ASSERT_EQ(ScGetBootdataHeaderFromFile(buffer, WriteFile("v2.bin", v2).c_str()), 0);
    EXPECT_EQ(std::memcmp(buffer, v2.data(), 144), 0);
    EXPECT_EQ(buffer[144], 0xEE);

    // A short file is a failure and leaves the buffer as it was.
    std::memset(buffer, 0xEE, sizeof(buffer));
    EXPECT_EQ(ScGetBootdataHeaderV3FromFile(buffer, WriteFile("short.bin", std::vector<uint8_t>(100, 7)).c_str()), -1);
    EXPECT_EQ(buffer[0], 0xEE);
    EXPECT_EQ(ScGetBootdataHeaderFromFile(buffer, "/nonexistent/header.bin"), -1);
    EXPECT_EQ(ScGetBootdataHeaderFromFile(nullptr, WriteFile("v2b.bin", v2).c_str()), -1);

    // LUMO image: information block, control section, then the header.
    std::vector<uint8_t> image = {1, 2, 3, 4, 0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    image.insert(image.end(), 8, 0xCC);
    for (int i = 0; i < 125; ++i) image.push_back(static_cast<uint8_t>(200 - i));
    ASSERT_EQ(ScGetLUMOBootdataHeaderV3FromFile(buffer, WriteFile("lumo.bin", image).c_str()), 0);
    EXPECT_EQ(buffer[0], 200);
    EXPECT_EQ(buffer[124], 76);
    // A control length past the end of the file is refused before the seek.
    image[8] = 0xFF;
    image[9] = 0xFF;
    std::memset(buffer, 0xEE, sizeof(buffer));
    EXPECT_EQ(ScGetLUMOBootdataHeaderV3FromFile(buffer, WriteFile("lumo-bad.bin", image).c_str()), -1);
    EXPECT_EQ(buffer[0], 0xEE);
}

TEST_F(LegacyApi, DownloadsBridgeFirmwareToRam) {
    {
        CamPtr cam = OpenCam(kKivo);
        Trace request;
        ASSERT_EQ(ScGotoProgramMode(cam.get()), 0);
        const auto sets = request.Ops("xu.set");
        ASSERT_EQ(sets.size(), 1u);
        EXPECT_EQ(sets[0].value("selector", 0), 2);
        EXPECT_EQ(sets[0].value("length", 0), 1);
        EXPECT_EQ(sets[0].value("payload", ""), "01");
    }
    using svtest::Fx3Image;
    using svtest::Identity;
    using svtest::Pattern;
    const auto programmer = Fx3Image({{0x40000000, Identity('P', {}, 4096)}, {0x00000100, Pattern(256)}}, 0x40000000);
    Trace trace;
    ASSERT_EQ(ScStartFWDownload(1, WriteFile("prog.img", programmer).c_str()), 0);
    // RAM writes of the programmer went out with request 0xA0.
    int ramWrites = 0;
    for (const auto& j : trace.Ops("usb.control")) {
        if (j.value("request", 0) == 0xA0) ++ramWrites;
    }
    EXPECT_GT(ramWrites, 0);
    // The flash programmer now answers: a SPI download finds it.
    const auto camera = Fx3Image({{0x40000000, Identity('C', {25, 1, 2, 3}, 9000)}}, 0x40000000);
    EXPECT_EQ(ScStartFWDownload(3, WriteFile("cam.img", camera).c_str()), 0);
}

TEST_F(LegacyApi, DownloadWithoutABootloaderFails) {
    const auto image = svtest::Fx3ImageOfSize(1024);
    // The bridges are off the bus until program mode: ten attempts, then -1.
    EXPECT_EQ(ScStartFWDownload(1, WriteFile("ram.img", image).c_str()), -1);
    EXPECT_EQ(ScStartFWDownload(2, WriteFile("ram2.img", image).c_str()), -1);
}

TEST_F(LegacyApi, DownloadToAnUnknownTargetIsAnInvalidMedium) {
    {
        CamPtr cam = OpenCam(kKivo);
        ASSERT_EQ(ScGotoProgramMode(cam.get()), 0);
    }
    EXPECT_EQ(ScStartFWDownload(7, WriteFile("x.img", svtest::Fx3ImageOfSize(1024)).c_str()), 1);
}

}  // namespace
