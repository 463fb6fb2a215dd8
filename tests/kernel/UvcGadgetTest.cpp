// The software camera's pure parts on the host: its descriptors, its bulk
// payloads, and its answers on endpoint 0 over the simulator's devices.

#include <linux/usb/ch9.h>
#include <linux/usb/video.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <numeric>

#include "kernel/GadgetOptions.h"
#include "kernel/SimCamera.h"
#include "kernel/UvcFunction.h"
#include "kernel/UvcLayout.h"
#include "kernel/UvcPayload.h"
#include "platform/backend/MfIds.h"
#include "platform/sim/TestPattern.h"

namespace sv::gadget {
namespace {

namespace uvc = platform::uvc;

uint32_t Le(const std::vector<uint8_t>& d, size_t at, size_t size) {
    uint32_t v = 0;
    for (size_t i = 0; i < size; ++i) v |= uint32_t{d.at(at + i)} << (8 * i);
    return v;
}
int32_t SignedLe(const std::vector<uint8_t>& d, size_t size) {
    const uint32_t v = Le(d, 0, size);
    const uint32_t sign = 1u << (8 * size - 1);
    return size == 4 ? static_cast<int32_t>(v) : static_cast<int32_t>((v ^ sign)) - static_cast<int32_t>(sign);
}
std::vector<uint8_t> Bytes(int64_t v, size_t size) {
    std::vector<uint8_t> d;
    for (size_t i = 0; i < size; ++i) d.push_back(static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i)));
    return d;
}

// The descriptors of a configuration, split.
std::vector<std::vector<uint8_t>> Split(const std::vector<uint8_t>& config) {
    std::vector<std::vector<uint8_t>> out;
    for (size_t at = 0; at < config.size();) {
        const uint8_t length = config[at];
        EXPECT_GE(length, 2u);
        EXPECT_LE(at + length, config.size());
        if (length < 2 || at + length > config.size()) break;
        out.emplace_back(config.begin() + static_cast<std::ptrdiff_t>(at),
                         config.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    }
    return out;
}

class World {
public:
    explicit World(const std::string& device, const std::string& json = sim::DefaultWorldJson()) {
        std::string error;
        ok = camera.Open(json, "<test>", device, std::nullopt, error);
        EXPECT_TRUE(ok) << error;
        if (ok) function = std::make_unique<UvcFunction>(camera.Description(), camera.Units());
    }

    Answer In(uint8_t request, uint8_t selector, uint8_t entity, uint8_t interface, uint16_t length) {
        return function->Handle({0xA1, request, static_cast<uint16_t>(selector << 8),
                                 static_cast<uint16_t>(entity << 8 | interface), length},
                                {});
    }
    Answer Out(uint8_t request, uint8_t selector, uint8_t entity, uint8_t interface, const std::vector<uint8_t>& data) {
        return function->Handle({0x21, request, static_cast<uint16_t>(selector << 8),
                                 static_cast<uint16_t>(entity << 8 | interface), static_cast<uint16_t>(data.size())},
                                data);
    }
    // The error code control, as the host reads it after a refusal.
    uint8_t ErrorCode() {
        const Answer a = In(UVC_GET_CUR, UVC_VC_REQUEST_ERROR_CODE_CONTROL, 0, kControlInterface, 1);
        EXPECT_EQ(a.kind, Answer::Kind::Data);
        return a.data.empty() ? 0xEE : a.data[0];
    }

    SimCamera camera;
    std::unique_ptr<UvcFunction> function;
    bool ok = false;
};

// ---- descriptors ----

TEST(UvcGadgetDescriptors, ConfigurationIsConsistentAndCarriesTheWorldsFormats) {
    World w("kivo");
    ASSERT_TRUE(w.ok);
    const sim::DeviceDescription& desc = w.camera.Description();
    // The whole layout, before it is fitted to a control transfer.
    const UvcLayout& fitted = w.function->Layout();
    const UvcLayout l = LayoutOf(desc, fitted.cameraControls, fitted.processingControls, fitted.extensionControls);
    const auto config = ConfigurationDescriptor(l, kHighSpeedBulkPacket);
    ASSERT_EQ(Le(config, 2, 2), config.size());
    const auto parts = Split(config);

    // The class-specific totals cover exactly their descriptors.
    size_t vcTotal = 0, vsTotal = 0, vcDeclared = 0, vsDeclared = 0;
    int interface = -1;
    std::vector<std::vector<uint8_t>> formats, frames, units;
    std::vector<uint8_t> endpoint, xu;
    for (const auto& d : parts) {
        if (d[1] == USB_DT_INTERFACE) interface = d[2];
        if (d[1] == USB_DT_ENDPOINT) endpoint = d;
        if (d[1] != USB_DT_CS_INTERFACE) continue;
        (interface == kControlInterface ? vcTotal : vsTotal) += d.size();
        if (interface == kControlInterface && d[2] == UVC_VC_HEADER) vcDeclared = Le(d, 5, 2);
        if (interface == kStreamingInterface && d[2] == UVC_VS_INPUT_HEADER) {
            vsDeclared = Le(d, 4, 2);
            EXPECT_EQ(d[6], kStreamEndpoint);
            EXPECT_EQ(d[8], kOutputTerminalId);
        }
        if (interface == kControlInterface && d[2] != UVC_VC_HEADER) units.push_back(d);
        if (d[2] == UVC_VC_EXTENSION_UNIT && interface == kControlInterface) xu = d;
        if (interface == kStreamingInterface && (d[2] == UVC_VS_FORMAT_UNCOMPRESSED || d[2] == UVC_VS_FORMAT_MJPEG)) {
            formats.push_back(d);
        }
        if (interface == kStreamingInterface && (d[2] == UVC_VS_FRAME_UNCOMPRESSED || d[2] == UVC_VS_FRAME_MJPEG)) {
            frames.push_back(d);
        }
    }
    EXPECT_EQ(vcTotal, vcDeclared);
    EXPECT_EQ(vsTotal, vsDeclared);

    // Chain: camera terminal 1 <- processing unit 2 <- extension unit 3 <- output terminal 4.
    ASSERT_EQ(units.size(), 4u);
    EXPECT_EQ(units[0][2], UVC_VC_INPUT_TERMINAL);
    EXPECT_EQ(units[1][2], UVC_VC_PROCESSING_UNIT);
    EXPECT_EQ(units[1][4], kCameraTerminalId);
    EXPECT_EQ(units[2][2], UVC_VC_EXTENSION_UNIT);
    EXPECT_EQ(units[2][22], kProcessingUnitId);
    EXPECT_EQ(units[3][2], UVC_VC_OUTPUT_TERMINAL);
    EXPECT_EQ(units[3][7], kExtensionUnitId);

    // The maker's GUID as the bus carries it.
    ASSERT_EQ(xu.size(), 27u);
    const std::vector<uint8_t> guid(xu.begin() + 4, xu.begin() + 20);
    EXPECT_EQ(guid, (std::vector<uint8_t>{0x97, 0x3D, 0xF3, 0x6F, 0x1F, 0x7A, 0x0D, 0x4C, 0xB2, 0xD2, 0x59, 0xFB,
                                          0x17, 0x89, 0x64, 0xC5}));

    ASSERT_EQ(endpoint.size(), 7u);
    EXPECT_EQ(endpoint[2], kStreamEndpoint);
    EXPECT_EQ(endpoint[3], USB_ENDPOINT_XFER_BULK);
    EXPECT_EQ(Le(endpoint, 4, 2), kHighSpeedBulkPacket);
    const auto fullSpeed = Split(ConfigurationDescriptor(l, kFullSpeedBulkPacket));
    EXPECT_EQ(Le(fullSpeed.back(), 4, 2), kFullSpeedBulkPacket);

    // Every format of the world a class driver can take, every size with
    // every rate; the world's first rate of a size is its default. RGB24
    // is left out.
    std::map<std::string, size_t> formatIndexOf;
    for (size_t i = 0; i < formats.size(); ++i) {
        const auto& f = formats[i];
        EXPECT_EQ(f[3], i + 1);
        std::string name = f[2] == UVC_VS_FORMAT_MJPEG ? "MJPG" : std::string(f.begin() + 5, f.begin() + 9);
        formatIndexOf[name] = i + 1;
    }
    EXPECT_EQ(formatIndexOf.size(), 4u);
    EXPECT_EQ(formatIndexOf.count("RGB24"), 0u);
    size_t frameCursor = 0;
    std::map<std::pair<size_t, std::pair<uint32_t, uint32_t>>, std::vector<uint8_t>> frameOf;
    for (size_t fi = 0; fi < formats.size(); ++fi) {
        for (size_t k = 0; k < formats[fi][4]; ++k) {
            const auto& fr = frames.at(frameCursor++);
            EXPECT_EQ(fr[3], k + 1);
            frameOf[{fi + 1, {Le(fr, 5, 2), Le(fr, 7, 2)}}] = fr;
        }
    }
    EXPECT_EQ(frameCursor, frames.size());
    std::map<std::pair<size_t, std::pair<uint32_t, uint32_t>>, bool> defaultSeen;
    for (const sim::FormatDescription& f : desc.formats) {
        const std::string name = sim::PixelFormatName(f.format);
        if (f.format == sim::PixelFormat::RGB24) continue;
        ASSERT_EQ(formatIndexOf.count(name), 1u) << name;
        const auto key = std::make_pair(formatIndexOf[name], std::make_pair(f.width, f.height));
        ASSERT_EQ(frameOf.count(key), 1u) << name << " " << f.width << "x" << f.height;
        const auto& fr = frameOf[key];
        const uint32_t interval = IntervalOf(f.rateNumerator, f.rateDenominator);
        bool listed = false;
        for (size_t i = 0; i < fr[25]; ++i) listed = listed || Le(fr, 26 + 4 * i, 4) == interval;
        EXPECT_TRUE(listed) << name << " " << f.width << "x" << f.height << " at " << interval;
        if (!defaultSeen[key]) {
            EXPECT_EQ(Le(fr, 21, 4), interval);
        }
        defaultSeen[key] = true;
        EXPECT_EQ(Le(fr, 17, 4), MaxFrameBytes(f.format, f.width, f.height));
    }
    EXPECT_EQ(frameOf.size(), frames.size());
}

TEST(UvcGadgetDescriptors, ConfigurationFitsOneControlTransfer) {
    World w("kivo");
    ASSERT_TRUE(w.ok);
    const sim::DeviceDescription& desc = w.camera.Description();
    const UvcLayout& fitted = w.function->Layout();
    EXPECT_LE(ConfigurationDescriptor(fitted, kHighSpeedBulkPacket).size(), kMaxControlTransfer);
    const UvcLayout whole = LayoutOf(desc, fitted.cameraControls, fitted.processingControls, fitted.extensionControls);
    ASSERT_GT(ConfigurationDescriptor(whole, kHighSpeedBulkPacket).size(), kMaxControlTransfer);
    // YUY2 first (the default), then MJPEG, each with the world's first size.
    ASSERT_GE(fitted.formats.size(), 2u);
    EXPECT_EQ(fitted.formats[0].format, sim::PixelFormat::YUY2);
    EXPECT_EQ(fitted.formats[1].format, sim::PixelFormat::MJPG);
    EXPECT_EQ(fitted.formats[0].frames[0].width, 1920);
    EXPECT_EQ(fitted.formats[0].frames[0].height, 1080);
    // Every size of the world is either shown or named as left out.
    size_t shown = 0, whole_sizes = 0;
    for (const auto& f : fitted.formats) shown += f.frames.size();
    for (const auto& f : whole.formats) whole_sizes += f.frames.size();
    EXPECT_EQ(shown + fitted.leftOut.size(), whole_sizes);
    EXPECT_NE(std::find(fitted.leftOut.begin(), fitted.leftOut.end(), "UYVY 1920x1200"), fitted.leftOut.end());

    // A layout that fits stays as the world has it.
    UvcLayout small = whole;
    small.formats = {whole.formats[1], whole.formats[0]};  // YUY2 after UYVY, as in the world
    small.formats[0].frames.resize(1);
    small.formats[1].frames.resize(1);
    const UvcLayout before = small;
    FitConfiguration(small, kMaxControlTransfer);
    EXPECT_TRUE(small.leftOut.empty());
    ASSERT_EQ(small.formats.size(), 2u);
    EXPECT_EQ(small.formats[0].format, before.formats[0].format);
    // Nothing fits in too little room.
    UvcLayout none = whole;
    FitConfiguration(none, 100);
    EXPECT_TRUE(none.formats.empty());
    EXPECT_EQ(none.leftOut.size(), whole_sizes);
}

TEST(UvcGadgetDescriptors, IntervalsAndFrameSizes) {
    EXPECT_EQ(IntervalOf(30, 1), 333333u);
    EXPECT_EQ(IntervalOf(30000, 1001), 333667u);
    EXPECT_EQ(IntervalOf(60, 1), 166667u);
    EXPECT_EQ(IntervalOf(15, 1), 666667u);
    EXPECT_EQ(MaxFrameBytes(sim::PixelFormat::YUY2, 640, 480), 640u * 480 * 2);
    EXPECT_EQ(MaxFrameBytes(sim::PixelFormat::NV12, 640, 480), 640u * 480 * 3 / 2);
    // The device's own frames fit what it announces.
    for (auto f : {sim::PixelFormat::YUY2, sim::PixelFormat::UYVY, sim::PixelFormat::NV12, sim::PixelFormat::MJPG}) {
        for (auto [wd, ht] : {std::pair<uint32_t, uint32_t>{16, 16}, {640, 480}}) {
            const auto frame = sim::pattern::EncodeFrame(f, 3, wd, ht);
            if (f == sim::PixelFormat::MJPG) {
                EXPECT_LE(frame.size(), MaxFrameBytes(f, wd, ht));
            } else {
                EXPECT_EQ(frame.size(), MaxFrameBytes(f, wd, ht));
            }
        }
    }
}

TEST(UvcGadgetDescriptors, IdentityStringsAndSerial) {
    World kivo("kivo");
    ASSERT_TRUE(kivo.ok);
    const UvcLayout& l = kivo.function->Layout();
    const auto dev = DeviceDescriptor(l);
    ASSERT_EQ(dev.size(), 18u);
    EXPECT_EQ(Le(dev, 8, 2), 0x3f41u);
    EXPECT_EQ(Le(dev, 10, 2), 0x0234u);
    EXPECT_EQ(dev[16], kSerialString);
    auto text = [](const std::vector<uint8_t>& d) {
        std::string s;
        for (size_t i = 2; i + 1 < d.size(); i += 2) s += static_cast<char>(d[i]);
        return s;
    };
    EXPECT_EQ(text(StringDescriptor(l, kSerialString)), "K7Q2M9P4R8");
    EXPECT_EQ(text(StringDescriptor(l, kProductString)), "KIVO-AR0234 Camera");
    EXPECT_EQ(text(StringDescriptor(l, kManufacturerString)), "Sorvan");
    EXPECT_EQ(StringDescriptor(l, 0), (std::vector<uint8_t>{4, USB_DT_STRING, 0x09, 0x04}));
    EXPECT_TRUE(StringDescriptor(l, 7).empty());

    // Through the function: GET_DESCRIPTOR(string), cut to wLength; an
    // unknown string stalls.
    Answer a = kivo.function->Handle({0x80, USB_REQ_GET_DESCRIPTOR, USB_DT_STRING << 8 | kSerialString, 0x0409, 255}, {});
    ASSERT_EQ(a.kind, Answer::Kind::Data);
    EXPECT_EQ(a.data, StringDescriptor(l, kSerialString));
    a = kivo.function->Handle({0x80, USB_REQ_GET_DESCRIPTOR, USB_DT_STRING << 8 | kSerialString, 0x0409, 2}, {});
    EXPECT_EQ(a.data.size(), 2u);
    a = kivo.function->Handle({0x80, USB_REQ_GET_DESCRIPTOR, USB_DT_STRING << 8 | 9, 0x0409, 255}, {});
    EXPECT_EQ(a.kind, Answer::Kind::Stall);

    // A device without a serial number names none.
    const char* json = R"({"devices": [{"id": "cam", "name": "Cam", "vendorId": "1234", "productId": "5678", "serial": null,
        "formats": [{"subtype": "YUY2", "width": 64, "height": 48, "fps": 30}]}]})";
    World bare("cam", json);
    ASSERT_TRUE(bare.ok);
    EXPECT_EQ(DeviceDescriptor(bare.function->Layout())[16], 0);
    EXPECT_TRUE(StringDescriptor(bare.function->Layout(), kSerialString).empty());
    EXPECT_FALSE(bare.function->Layout().extensionUnit);
}

TEST(UvcGadgetDescriptors, DeviceWithoutPresentableFormatsHasNone) {
    const char* json = R"({"devices": [{"id": "cam", "name": "Cam", "vendorId": "1234", "productId": "5678", "serial": "X1",
        "formats": [{"subtype": "RGB24", "width": 64, "height": 48, "fps": 30}]}]})";
    World w("cam", json);
    ASSERT_TRUE(w.ok);
    EXPECT_TRUE(w.function->Layout().formats.empty());
    // No stream to negotiate: probe requests stall.
    EXPECT_EQ(w.In(UVC_GET_CUR, UVC_VS_PROBE_CONTROL, 0, kStreamingInterface, 26).kind, Answer::Kind::Stall);
}

// ---- payloads ----

TEST(UvcGadgetPayload, FramesSplitIntoPayloadsTheHostEndsWhereTheyEnd) {
    constexpr size_t kMax = 16384, kPacket = 512, kRoom = kMax - kPayloadHeaderLength;
    for (size_t length : {size_t{0}, size_t{1}, size_t{509}, size_t{510}, size_t{511}, size_t{1022}, kRoom - 1, kRoom,
                          kRoom + 1, kRoom + 510, 2 * kRoom, 2 * kRoom + 510, 3 * kRoom + 1022, size_t{614400}}) {
        for (bool fid : {false, true}) {
            SCOPED_TRACE(length);
            const auto payloads = PackFrame(length, fid, kMax, kPacket);
            ASSERT_FALSE(payloads.empty());
            size_t next = 0;
            for (size_t i = 0; i < payloads.size(); ++i) {
                const Payload& p = payloads[i];
                EXPECT_EQ(p.header[0], kPayloadHeaderLength);
                EXPECT_EQ((p.header[1] & kHeaderFrameId) != 0, fid);
                EXPECT_EQ((p.header[1] & kHeaderEndOfFrame) != 0, i + 1 == payloads.size());
                EXPECT_NE(p.header[1] & kHeaderEnd, 0);
                EXPECT_EQ(p.offset, next);
                next += p.length;
                EXPECT_LE(p.Size(), kMax);
                // A short payload must end in a short packet.
                if (p.Size() < kMax) {
                    EXPECT_NE(p.Size() % kPacket, 0u) << "payload " << i << " of " << p.Size();
                }
                // Only the payloads around the frame's end may be short.
                if (i + 2 < payloads.size()) {
                    EXPECT_EQ(p.Size(), kMax);
                }
            }
            EXPECT_EQ(next, length);
        }
    }
}

// ---- probe and commit ----

// A camera whose formats all fit: YUY2 in two sizes (one at two rates), NV12.
const char* const kSmallWorld = R"({"devices": [{"id": "cam", "name": "Cam", "vendorId": "1234", "productId": "5678",
    "serial": "S1", "formats": [
      {"subtype": "YUY2", "width": 320, "height": 240, "fps": 30},
      {"subtype": "YUY2", "width": 320, "height": 240, "fps": 15},
      {"subtype": "YUY2", "width": 160, "height": 120, "fps": 30},
      {"subtype": "NV12", "width": 320, "height": 240, "fps": 60}]}]})";

TEST(UvcGadgetStream, ProbeNegotiatesTheNearestOfferAndCommitStartsIt) {
    World w("cam", kSmallWorld);
    ASSERT_TRUE(w.ok);
    const UvcLayout& l = w.function->Layout();

    Answer a = w.In(UVC_GET_LEN, UVC_VS_PROBE_CONTROL, 0, kStreamingInterface, 2);
    EXPECT_EQ(a.data, (std::vector<uint8_t>{26, 0}));
    a = w.In(UVC_GET_INFO, UVC_VS_PROBE_CONTROL, 0, kStreamingInterface, 1);
    EXPECT_EQ(a.data, std::vector<uint8_t>{0x03});

    // The default: first format, first frame, its default interval.
    a = w.In(UVC_GET_DEF, UVC_VS_PROBE_CONTROL, 0, kStreamingInterface, 26);
    ASSERT_EQ(a.data.size(), 26u);
    StreamControl c;
    DecodeStreamControl(a.data.data(), a.data.size(), c);
    EXPECT_EQ(c.formatIndex, 1);
    EXPECT_EQ(c.frameIndex, 1);
    EXPECT_EQ(c.frameInterval, l.formats[0].frames[0].defaultInterval);
    EXPECT_EQ(c.maxVideoFrameSize, l.formats[0].frames[0].maxFrameBytes);

    // The NV12 320x240 frame at an interval near 60 fps.
    size_t nv12 = 0;
    for (size_t i = 0; i < l.formats.size(); ++i) {
        if (l.formats[i].format == sim::PixelFormat::NV12) nv12 = i + 1;
    }
    ASSERT_NE(nv12, 0u);
    size_t vga = 0;
    for (size_t k = 0; k < l.formats[nv12 - 1].frames.size(); ++k) {
        if (l.formats[nv12 - 1].frames[k].width == 320) vga = k + 1;
    }
    ASSERT_NE(vga, 0u);
    StreamControl asked;
    asked.formatIndex = static_cast<uint8_t>(nv12);
    asked.frameIndex = static_cast<uint8_t>(vga);
    asked.frameInterval = 170000;  // near 60 fps, the only rate
    a = w.Out(UVC_SET_CUR, UVC_VS_PROBE_CONTROL, 0, kStreamingInterface, EncodeStreamControl(asked, 26));
    EXPECT_EQ(a.kind, Answer::Kind::Ack);
    EXPECT_EQ(a.effect, Answer::Effect::None);
    a = w.In(UVC_GET_CUR, UVC_VS_PROBE_CONTROL, 0, kStreamingInterface, 34);  // a longer read: zeros after
    ASSERT_EQ(a.data.size(), 34u);
    EXPECT_EQ(std::accumulate(a.data.begin() + 26, a.data.end(), 0), 0);
    DecodeStreamControl(a.data.data(), 26, c);
    EXPECT_EQ(c.formatIndex, nv12);
    EXPECT_EQ(c.frameIndex, vga);
    EXPECT_EQ(c.frameInterval, IntervalOf(60, 1));
    EXPECT_EQ(c.maxVideoFrameSize, 320u * 240 * 3 / 2);
    EXPECT_EQ(c.maxPayloadTransferSize, kMaxPayload);

    // Bounds of the probed frame's intervals: YUY2 320x240 at 30 and 15.
    asked.formatIndex = 1;
    asked.frameIndex = 1;
    asked.frameInterval = 0;
    w.Out(UVC_SET_CUR, UVC_VS_PROBE_CONTROL, 0, kStreamingInterface, EncodeStreamControl(asked, 26));
    EXPECT_EQ(w.function->Probe().frameInterval, IntervalOf(30, 1));
    a = w.In(UVC_GET_MIN, UVC_VS_PROBE_CONTROL, 0, kStreamingInterface, 26);
    DecodeStreamControl(a.data.data(), a.data.size(), c);
    EXPECT_EQ(c.frameInterval, IntervalOf(30, 1));
    a = w.In(UVC_GET_MAX, UVC_VS_PROBE_CONTROL, 0, kStreamingInterface, 26);
    DecodeStreamControl(a.data.data(), a.data.size(), c);
    EXPECT_EQ(c.frameInterval, IntervalOf(15, 1));
    asked.frameInterval = 600000;  // nearer 15 than 30
    w.Out(UVC_SET_CUR, UVC_VS_PROBE_CONTROL, 0, kStreamingInterface, EncodeStreamControl(asked, 26));
    EXPECT_EQ(w.function->Probe().frameInterval, IntervalOf(15, 1));

    // Indexes out of range fall back to the first.
    asked.formatIndex = 99;
    asked.frameIndex = 99;
    w.Out(UVC_SET_CUR, UVC_VS_PROBE_CONTROL, 0, kStreamingInterface, EncodeStreamControl(asked, 26));
    EXPECT_EQ(w.function->Probe().formatIndex, 1);
    EXPECT_EQ(w.function->Probe().frameIndex, 1);

    // Commit: the stream to start.
    asked.formatIndex = static_cast<uint8_t>(nv12);
    asked.frameIndex = static_cast<uint8_t>(vga);
    asked.frameInterval = 0;
    a = w.Out(UVC_SET_CUR, UVC_VS_COMMIT_CONTROL, 0, kStreamingInterface, EncodeStreamControl(asked, 26));
    EXPECT_EQ(a.kind, Answer::Kind::Ack);
    EXPECT_EQ(a.effect, Answer::Effect::StreamStart);
    const StreamSettings s = w.function->Committed();
    EXPECT_EQ(s.format, sim::PixelFormat::NV12);
    EXPECT_EQ(s.width, 320);
    EXPECT_EQ(s.height, 240);
    EXPECT_EQ(s.rate.numerator, 60u);
    EXPECT_EQ(s.rate.denominator, 1u);
    EXPECT_EQ(s.maxFrameBytes, 320u * 240 * 3 / 2);
    a = w.In(UVC_GET_CUR, UVC_VS_COMMIT_CONTROL, 0, kStreamingInterface, 26);
    DecodeStreamControl(a.data.data(), a.data.size(), c);
    EXPECT_EQ(c.formatIndex, nv12);

    // What the stream control does not have.
    EXPECT_EQ(w.In(UVC_GET_MIN, UVC_VS_COMMIT_CONTROL, 0, kStreamingInterface, 26).kind, Answer::Kind::Stall);
    EXPECT_EQ(w.In(UVC_GET_CUR, UVC_VS_STILL_PROBE_CONTROL, 0, kStreamingInterface, 26).kind, Answer::Kind::Stall);
    EXPECT_EQ(w.ErrorCode(), static_cast<uint8_t>(RequestError::InvalidControl));
}

// ---- processing unit and camera terminal ----

TEST(UvcGadgetControls, BitmapsFollowWhatTheDeviceOffers) {
    World kivo("kivo");
    World lira("lira");
    ASSERT_TRUE(kivo.ok && lira.ok);
    const UvcLayout& k = kivo.function->Layout();
    // KIVO: brightness, contrast, saturation, sharpness, gamma, white balance
    // (with auto), gain; exposure with its mode, zoom, pan-tilt.
    EXPECT_EQ(k.processingControls, (1u << 0) | (1u << 1) | (1u << 3) | (1u << 4) | (1u << 5) | (1u << 6) |
                                        (1u << 9) | (1u << 12));
    EXPECT_EQ(k.cameraControls, (1u << 1) | (1u << 3) | (1u << 9) | (1u << 11));
    const UvcLayout& l = lira.function->Layout();
    EXPECT_EQ(l.processingControls, (1u << 0) | (1u << 1) | (1u << 3) | (1u << 4) | (1u << 6) | (1u << 9) | (1u << 12));
    EXPECT_EQ(l.cameraControls, (1u << 1) | (1u << 3));
    // Hue is not on the KIVO: its requests stall as an unknown control.
    EXPECT_EQ(kivo.In(UVC_GET_CUR, UVC_PU_HUE_CONTROL, kProcessingUnitId, 0, 2).kind, Answer::Kind::Stall);
    EXPECT_EQ(kivo.ErrorCode(), static_cast<uint8_t>(RequestError::InvalidControl));
    EXPECT_EQ(kivo.In(UVC_GET_CUR, UVC_PU_BRIGHTNESS_CONTROL, 9, 0, 2).kind, Answer::Kind::Stall);
    EXPECT_EQ(kivo.ErrorCode(), static_cast<uint8_t>(RequestError::InvalidUnit));
    // A request that succeeds clears the code.
    EXPECT_EQ(kivo.In(UVC_GET_CUR, UVC_PU_BRIGHTNESS_CONTROL, kProcessingUnitId, 0, 2).kind, Answer::Kind::Data);
    EXPECT_EQ(kivo.ErrorCode(), 0);
}

TEST(UvcGadgetControls, RangesAndValuesComeFromTheSimulatedDevice) {
    World w("lira");
    ASSERT_TRUE(w.ok);
    auto pu = w.camera.Units().processing;
    int32_t mn = 0, mx = 0, step = 0, def = 0, caps = 0;
    ASSERT_EQ(pu->GetRange(uvc::ProcAmp_Brightness, mn, mx, step, def, caps), platform::HR_S_OK);
    auto get = [&](uint8_t q) {
        const Answer a = w.In(q, UVC_PU_BRIGHTNESS_CONTROL, kProcessingUnitId, 0, 2);
        EXPECT_EQ(a.kind, Answer::Kind::Data);
        EXPECT_EQ(a.data.size(), 2u);
        return SignedLe(a.data, 2);
    };
    EXPECT_EQ(get(UVC_GET_MIN), mn);  // negative: two's complement on the bus
    EXPECT_EQ(get(UVC_GET_MAX), mx);
    EXPECT_EQ(get(UVC_GET_RES), step);
    EXPECT_EQ(get(UVC_GET_DEF), def);
    EXPECT_EQ(w.In(UVC_GET_INFO, UVC_PU_BRIGHTNESS_CONTROL, kProcessingUnitId, 0, 1).data, std::vector<uint8_t>{0x03});
    EXPECT_EQ(w.In(UVC_GET_LEN, UVC_PU_BRIGHTNESS_CONTROL, kProcessingUnitId, 0, 2).data,
              (std::vector<uint8_t>{2, 0}));

    // A value set on the bus is the device's value.
    EXPECT_EQ(w.Out(UVC_SET_CUR, UVC_PU_BRIGHTNESS_CONTROL, kProcessingUnitId, 0, Bytes(-3, 2)).kind,
              Answer::Kind::Ack);
    int32_t value = 0, flags = 0;
    ASSERT_EQ(pu->Get(uvc::ProcAmp_Brightness, value, flags), platform::HR_S_OK);
    EXPECT_EQ(value, -3);
    EXPECT_EQ(get(UVC_GET_CUR), -3);

    // Out of range: refused with its code, the value stays.
    w.Out(UVC_SET_CUR, UVC_PU_BRIGHTNESS_CONTROL, kProcessingUnitId, 0, Bytes(mx + 1, 2));
    EXPECT_EQ(w.ErrorCode(), static_cast<uint8_t>(RequestError::OutOfRange));
    EXPECT_EQ(get(UVC_GET_CUR), -3);
    // Off the device's step (white balance moves in 100s on the LIRA).
    ASSERT_EQ(pu->GetRange(uvc::ProcAmp_WhiteBalance, mn, mx, step, def, caps), platform::HR_S_OK);
    ASSERT_GT(step, 1);
    EXPECT_EQ(w.Out(UVC_SET_CUR, UVC_PU_WHITE_BALANCE_TEMPERATURE_AUTO_CONTROL, kProcessingUnitId, 0, {0}).kind,
              Answer::Kind::Ack);
    w.Out(UVC_SET_CUR, UVC_PU_WHITE_BALANCE_TEMPERATURE_CONTROL, kProcessingUnitId, 0, Bytes(mn + 1, 2));
    EXPECT_EQ(w.ErrorCode(), static_cast<uint8_t>(RequestError::InvalidValue));
    // A short payload is no value.
    w.Out(UVC_SET_CUR, UVC_PU_BRIGHTNESS_CONTROL, kProcessingUnitId, 0, {1});
    EXPECT_EQ(w.ErrorCode(), static_cast<uint8_t>(RequestError::InvalidValue));
}

TEST(UvcGadgetControls, AutomaticModesAndExposureUnits) {
    World w("kivo");
    ASSERT_TRUE(w.ok);
    auto ct = w.camera.Units().camera;
    auto pu = w.camera.Units().processing;
    int32_t value = 0, flags = 0;

    // Exposure starts in automatic mode (aperture priority); both modes offered.
    EXPECT_EQ(w.In(UVC_GET_CUR, UVC_CT_AE_MODE_CONTROL, kCameraTerminalId, 0, 1).data, std::vector<uint8_t>{0x08});
    EXPECT_EQ(w.In(UVC_GET_RES, UVC_CT_AE_MODE_CONTROL, kCameraTerminalId, 0, 1).data, std::vector<uint8_t>{0x09});
    EXPECT_EQ(w.In(UVC_GET_DEF, UVC_CT_AE_MODE_CONTROL, kCameraTerminalId, 0, 1).data, std::vector<uint8_t>{0x08});
    EXPECT_EQ(w.In(UVC_GET_MIN, UVC_CT_AE_MODE_CONTROL, kCameraTerminalId, 0, 1).kind, Answer::Kind::Stall);
    // In automatic mode the time cannot be set.
    w.Out(UVC_SET_CUR, UVC_CT_EXPOSURE_TIME_ABSOLUTE_CONTROL, kCameraTerminalId, 0, Bytes(313, 4));
    EXPECT_EQ(w.ErrorCode(), static_cast<uint8_t>(RequestError::WrongState));
    // Shutter priority is no mode of this device.
    w.Out(UVC_SET_CUR, UVC_CT_AE_MODE_CONTROL, kCameraTerminalId, 0, {0x04});
    EXPECT_EQ(w.ErrorCode(), static_cast<uint8_t>(RequestError::OutOfRange));
    ASSERT_EQ(ct->Get(uvc::CameraControl_Exposure, value, flags), platform::HR_S_OK);
    EXPECT_EQ(flags, uvc::kFlagsAuto);

    // Manual, then 1/32 s: 312.5 units of 100 us, log2 -5 on the device.
    EXPECT_EQ(w.Out(UVC_SET_CUR, UVC_CT_AE_MODE_CONTROL, kCameraTerminalId, 0, {0x01}).kind, Answer::Kind::Ack);
    ASSERT_EQ(ct->Get(uvc::CameraControl_Exposure, value, flags), platform::HR_S_OK);
    EXPECT_EQ(flags, uvc::kFlagsManual);
    EXPECT_EQ(w.Out(UVC_SET_CUR, UVC_CT_EXPOSURE_TIME_ABSOLUTE_CONTROL, kCameraTerminalId, 0, Bytes(313, 4)).kind,
              Answer::Kind::Ack);
    ASSERT_EQ(ct->Get(uvc::CameraControl_Exposure, value, flags), platform::HR_S_OK);
    EXPECT_EQ(value, -5);
    Answer a = w.In(UVC_GET_CUR, UVC_CT_EXPOSURE_TIME_ABSOLUTE_CONTROL, kCameraTerminalId, 0, 4);
    EXPECT_EQ(Le(a.data, 0, 4), 313u);
    // The range: 2^-2 s is 2500 units.
    a = w.In(UVC_GET_MAX, UVC_CT_EXPOSURE_TIME_ABSOLUTE_CONTROL, kCameraTerminalId, 0, 4);
    EXPECT_EQ(Le(a.data, 0, 4), 2500u);
    w.Out(UVC_SET_CUR, UVC_CT_EXPOSURE_TIME_ABSOLUTE_CONTROL, kCameraTerminalId, 0, Bytes(0, 4));
    EXPECT_EQ(w.ErrorCode(), static_cast<uint8_t>(RequestError::OutOfRange));

    // White balance: the automatic switch is its own control.
    EXPECT_EQ(w.In(UVC_GET_CUR, UVC_PU_WHITE_BALANCE_TEMPERATURE_AUTO_CONTROL, kProcessingUnitId, 0, 1).data,
              std::vector<uint8_t>{1});
    EXPECT_EQ(w.Out(UVC_SET_CUR, UVC_PU_WHITE_BALANCE_TEMPERATURE_AUTO_CONTROL, kProcessingUnitId, 0, {0}).kind,
              Answer::Kind::Ack);
    ASSERT_EQ(pu->Get(uvc::ProcAmp_WhiteBalance, value, flags), platform::HR_S_OK);
    EXPECT_EQ(flags, uvc::kFlagsManual);
    w.Out(UVC_SET_CUR, UVC_PU_WHITE_BALANCE_TEMPERATURE_AUTO_CONTROL, kProcessingUnitId, 0, {2});
    EXPECT_EQ(w.ErrorCode(), static_cast<uint8_t>(RequestError::OutOfRange));

    // Pan and tilt in arc seconds, both in one control.
    a = w.In(UVC_GET_MAX, UVC_CT_PANTILT_ABSOLUTE_CONTROL, kCameraTerminalId, 0, 8);
    ASSERT_EQ(a.data.size(), 8u);
    EXPECT_EQ(Le(a.data, 0, 4), 180u * 3600);
    EXPECT_EQ(Le(a.data, 4, 4), 180u * 3600);
    std::vector<uint8_t> panTilt = Bytes(-30 * 3600, 4);
    const auto tilt = Bytes(45 * 3600, 4);
    panTilt.insert(panTilt.end(), tilt.begin(), tilt.end());
    EXPECT_EQ(w.Out(UVC_SET_CUR, UVC_CT_PANTILT_ABSOLUTE_CONTROL, kCameraTerminalId, 0, panTilt).kind,
              Answer::Kind::Ack);
    ASSERT_EQ(ct->Get(uvc::CameraControl_Pan, value, flags), platform::HR_S_OK);
    EXPECT_EQ(value, -30);
    ASSERT_EQ(ct->Get(uvc::CameraControl_Tilt, value, flags), platform::HR_S_OK);
    EXPECT_EQ(value, 45);
    a = w.In(UVC_GET_CUR, UVC_CT_PANTILT_ABSOLUTE_CONTROL, kCameraTerminalId, 0, 8);
    EXPECT_EQ(a.data, panTilt);
}

// ---- extension unit ----

TEST(UvcGadgetExtensionUnit, AnsweredByTheMakersModel) {
    World kivo("kivo");
    World lira("lira");
    World webcam("webcam");
    ASSERT_TRUE(kivo.ok && lira.ok && webcam.ok);

    // Selectors: bit n for selector n+1; the ISP packet on the KIVO only,
    // the loader mode on the LIRA only.
    EXPECT_EQ(kivo.function->Layout().extensionControls, 0x01FF);
    EXPECT_EQ(lira.function->Layout().extensionControls, 0x09EF);
    EXPECT_FALSE(webcam.function->Layout().extensionUnit);
    EXPECT_EQ(webcam.In(UVC_GET_INFO, 1, kExtensionUnitId, 0, 1).kind, Answer::Kind::Stall);
    EXPECT_EQ(webcam.ErrorCode(), static_cast<uint8_t>(RequestError::InvalidUnit));

    // The firmware version of the world.
    Answer a = kivo.In(UVC_GET_CUR, 0x01, kExtensionUnitId, 0, 4);
    ASSERT_EQ(a.kind, Answer::Kind::Data);
    EXPECT_EQ(a.data, (std::vector<uint8_t>{24, 7, 3, 1}));
    a = lira.In(UVC_GET_CUR, 0x01, kExtensionUnitId, 0, 4);
    EXPECT_EQ(a.data, (std::vector<uint8_t>{23, 11, 5, 0}));

    // GET_INFO and GET_LEN; the I2C packet's length follows the firmware.
    EXPECT_EQ(kivo.In(UVC_GET_INFO, 0x01, kExtensionUnitId, 0, 1).data, std::vector<uint8_t>{0x01});
    EXPECT_EQ(kivo.In(UVC_GET_INFO, 0x02, kExtensionUnitId, 0, 1).data, std::vector<uint8_t>{0x02});
    EXPECT_EQ(kivo.In(UVC_GET_INFO, 0x06, kExtensionUnitId, 0, 1).data, std::vector<uint8_t>{0x03});
    EXPECT_EQ(kivo.In(UVC_GET_LEN, 0x04, kExtensionUnitId, 0, 2).data, (std::vector<uint8_t>{16, 0}));
    EXPECT_EQ(kivo.In(UVC_GET_LEN, 0x06, kExtensionUnitId, 0, 2).data, (std::vector<uint8_t>{0x00, 0x01}));  // 256
    EXPECT_EQ(lira.In(UVC_GET_LEN, 0x06, kExtensionUnitId, 0, 2).data, (std::vector<uint8_t>{0x00, 0x02}));  // 512

    // A generic I2C read of the KIVO's header store through the packet:
    // the answer is the model's, as the simulator back-end gives it.
    std::vector<uint8_t> packet(256, 0);
    packet[0] = 0x54 << 1 | 1;
    packet[1] = 2;
    packet[5] = 8;  // eight bytes from register 0
    EXPECT_EQ(kivo.Out(UVC_SET_CUR, 0x06, kExtensionUnitId, 0, packet).kind, Answer::Kind::Ack);
    a = kivo.In(UVC_GET_CUR, 0x06, kExtensionUnitId, 0, 256);
    ASSERT_EQ(a.kind, Answer::Kind::Data);
    ASSERT_EQ(a.data.size(), 256u);
    auto node = kivo.camera.Units().extension;
    platform::ks::PropertyNodeRequest r;
    r.set = platform::ks::kExtensionUnitSet;
    r.id = 0x06;
    r.flags = platform::ks::KSPROPERTY_TYPE_GET | platform::ks::KSPROPERTY_TYPE_TOPOLOGY;
    r.nodeId = 2;
    std::vector<uint8_t> direct(256);
    uint32_t returned = 0;
    ASSERT_EQ(node->KsProperty(r, direct.data(), 256, returned), platform::HR_S_OK);
    EXPECT_EQ(a.data, direct);
    EXPECT_NE(std::accumulate(a.data.begin() + 6, a.data.begin() + 14, 0), 0);  // the store is not blank

    // Refusals: a selector the camera lacks, a length the firmware does not
    // take, a payload it refuses.
    EXPECT_EQ(lira.In(UVC_GET_INFO, 0x05, kExtensionUnitId, 0, 1).kind, Answer::Kind::Stall);
    EXPECT_EQ(lira.ErrorCode(), static_cast<uint8_t>(RequestError::InvalidControl));
    EXPECT_EQ(kivo.In(UVC_GET_CUR, 0x01, kExtensionUnitId, 0, 3).kind, Answer::Kind::Stall);
    EXPECT_EQ(kivo.ErrorCode(), static_cast<uint8_t>(RequestError::InvalidRequest));
    kivo.Out(UVC_SET_CUR, 0x02, kExtensionUnitId, 0, {0x00});
    EXPECT_EQ(kivo.ErrorCode(), static_cast<uint8_t>(RequestError::InvalidRequest));
    EXPECT_EQ(kivo.In(UVC_GET_MIN, 0x01, kExtensionUnitId, 0, 4).kind, Answer::Kind::Stall);
}

// ---- standard requests ----

TEST(UvcGadgetStandard, ConfigurationInterfaceAndHalt) {
    World w("webcam");
    ASSERT_TRUE(w.ok);
    Answer a = w.function->Handle({0x00, USB_REQ_SET_CONFIGURATION, 1, 0, 0}, {});
    EXPECT_EQ(a.kind, Answer::Kind::Ack);
    EXPECT_EQ(a.effect, Answer::Effect::Configure);
    a = w.function->Handle({0x00, USB_REQ_SET_CONFIGURATION, 0, 0, 0}, {});
    EXPECT_EQ(a.effect, Answer::Effect::Unconfigure);
    EXPECT_EQ(w.function->Handle({0x00, USB_REQ_SET_CONFIGURATION, 2, 0, 0}, {}).kind, Answer::Kind::Stall);

    a = w.function->Handle({0x01, USB_REQ_SET_INTERFACE, 0, kStreamingInterface, 0}, {});
    EXPECT_EQ(a.kind, Answer::Kind::Ack);
    EXPECT_EQ(a.effect, Answer::Effect::StreamStop);
    a = w.function->Handle({0x01, USB_REQ_SET_INTERFACE, 0, kControlInterface, 0}, {});
    EXPECT_EQ(a.effect, Answer::Effect::None);
    EXPECT_EQ(w.function->Handle({0x01, USB_REQ_SET_INTERFACE, 1, kStreamingInterface, 0}, {}).kind,
              Answer::Kind::Stall);
    a = w.function->Handle({0x81, USB_REQ_GET_INTERFACE, 0, kStreamingInterface, 1}, {});
    EXPECT_EQ(a.data, std::vector<uint8_t>{0});

    a = w.function->Handle({0x02, USB_REQ_CLEAR_FEATURE, USB_ENDPOINT_HALT, kStreamEndpoint, 0}, {});
    EXPECT_EQ(a.kind, Answer::Kind::Ack);
    EXPECT_EQ(a.effect, Answer::Effect::StreamStop);
    // Vendor requests are not this camera's.
    EXPECT_EQ(w.function->Handle({0xC0, 0x01, 0, 0, 4}, {}).kind, Answer::Kind::Stall);
}

// ---- frames ----

TEST(UvcGadgetFrames, TheCommittedStreamCarriesTheTestPattern) {
    World w("kivo");
    ASSERT_TRUE(w.ok);
    StreamSettings s;
    s.format = sim::PixelFormat::YUY2;
    s.width = 640;
    s.height = 480;
    s.rate = {IntervalOf(60, 1), 60, 1};
    std::string error;
    ASSERT_TRUE(w.camera.Select(s, error)) << error;
    for (uint64_t n = 0; n < 2; ++n) {
        std::shared_ptr<platform::Sample> sample;
        ASSERT_EQ(w.camera.NextFrame(sample, 5000), SimCamera::FrameResult::Frame);
        const uint8_t* bytes = nullptr;
        uint32_t length = 0;
        ASSERT_EQ(sample->Lock(bytes, length), platform::HR_S_OK);
        EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + length), sim::pattern::EncodeFrame(s.format, n, 640, 480));
    }
    // A request left pending across a new selection: the next frame is the
    // new stream's first.
    std::shared_ptr<platform::Sample> sample;
    (void)w.camera.NextFrame(sample, 0);
    s.format = sim::PixelFormat::NV12;
    s.rate = {IntervalOf(60, 1), 60, 1};
    ASSERT_TRUE(w.camera.Select(s, error)) << error;
    ASSERT_EQ(w.camera.NextFrame(sample, 5000), SimCamera::FrameResult::Frame);
    const uint8_t* bytes = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(sample->Lock(bytes, length), platform::HR_S_OK);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + length), sim::pattern::EncodeFrame(s.format, 0, 640, 480));

    // A size the device does not have is refused.
    s.width = 641;
    EXPECT_FALSE(w.camera.Select(s, error));
    EXPECT_NE(error.find("641x480"), std::string::npos) << error;
}

TEST(UvcGadgetFrames, DevicesAreFoundByNumberOrIdOnly) {
    SimCamera byNumber;
    std::string error;
    ASSERT_TRUE(byNumber.Open(sim::DefaultWorldJson(), "<test>", "2", std::nullopt, error)) << error;
    EXPECT_EQ(byNumber.Description().id, "lira");
    SimCamera missing;
    EXPECT_FALSE(missing.Open(sim::DefaultWorldJson(), "<test>", "3", std::nullopt, error));
    EXPECT_NE(error.find("no device 3"), std::string::npos) << error;
    SimCamera unknown;
    EXPECT_FALSE(unknown.Open(sim::DefaultWorldJson(), "<test>", "nosuch", std::nullopt, error));
    EXPECT_NE(error.find("nosuch"), std::string::npos) << error;
    SimCamera broken;
    EXPECT_FALSE(broken.Open("{\"devices\": 5}", "bad.json", "0", std::nullopt, error));
    EXPECT_NE(error.find("bad.json"), std::string::npos) << error;
    const char* json = R"({"devices": [{"id": "bus-only", "name": "Hub thing", "vendorId": "1234", "productId": "5678", "serial": "X2", "video": false}]})";
    SimCamera busOnly;
    EXPECT_FALSE(busOnly.Open(json, "<test>", "bus-only", std::nullopt, error));
    EXPECT_NE(error.find("no camera"), std::string::npos) << error;
}

// ---- faults ----

bool Parse(std::vector<const char*> args, Options& o, std::string& error) {
    args.insert(args.begin(), "sv_uvc_gadget");
    return ParseOptions(static_cast<int>(args.size()), args.data(), o, error);
}

TEST(UvcGadgetFaults, OptionsNameTheFaults) {
    Options o;
    std::string error;
    ASSERT_TRUE(Parse({"--device", "kivo", "--stall-control", "2:2", "--stall-control", "0x3:0x0a", "--short-frame",
                       "3", "--short-frame", "7,0,12", "--leave-after-frames", "20", "--clock", "real", "--verbose"},
                      o, error))
        << error;
    EXPECT_EQ(o.device, "kivo");
    EXPECT_EQ(o.simulatedClock, std::optional<bool>(false));
    EXPECT_TRUE(o.verbose);
    ASSERT_EQ(o.faults.stalledControls.size(), 2u);
    EXPECT_EQ(o.faults.stalledControls[0], (ControlId{2, 2}));
    EXPECT_EQ(o.faults.stalledControls[1], (ControlId{3, 10}));
    for (uint64_t f : {0, 3, 7, 12}) EXPECT_TRUE(o.faults.ShortFrame(f)) << f;
    for (uint64_t f : {1, 2, 4, 11, 13}) EXPECT_FALSE(o.faults.ShortFrame(f)) << f;
    EXPECT_FALSE(o.faults.LeaveAfter(19));
    EXPECT_TRUE(o.faults.LeaveAfter(20));

    // Without the options: no faults.
    Options plain;
    ASSERT_TRUE(Parse({"--world", "w.json"}, plain, error)) << error;
    EXPECT_EQ(plain.world, "w.json");
    EXPECT_TRUE(plain.faults.stalledControls.empty());
    EXPECT_FALSE(plain.faults.ShortFrame(0));
    EXPECT_FALSE(plain.faults.LeaveAfter(1000000));
}

TEST(UvcGadgetFaults, OptionsOutOfRangeAreRefused) {
    const std::vector<std::vector<const char*>> refused = {
        {"--stall-control", "2"},           {"--stall-control", "0:2"},     {"--stall-control", "4:2"},
        {"--stall-control", "2:0"},         {"--stall-control", "2:256"},   {"--stall-control", "2:x"},
        {"--stall-control", "-1:2"},        {"--stall-control", ":2"},      {"--stall-control"},
        {"--short-frame", ""},              {"--short-frame", "1,,2"},      {"--short-frame", "1,"},
        {"--short-frame", "-1"},            {"--short-frame", "two"},       {"--short-frame"},
        {"--leave-after-frames", "0"},      {"--leave-after-frames", "5x"}, {"--leave-after-frames", "-3"},
        {"--leave-after-frames"},           {"--clock", "sometimes"},       {"--frobnicate"},
        {"--leave-after-frames", "4294967296"}};
    for (const auto& args : refused) {
        Options o;
        std::string error;
        EXPECT_FALSE(Parse(args, o, error)) << args[0] << " " << (args.size() > 1 ? args[1] : "");
        EXPECT_NE(error.find(args[0]), std::string::npos) << error;
    }
    // The edges that are in range.
    Options o;
    std::string error;
    EXPECT_TRUE(Parse({"--stall-control", "1:255", "--stall-control", "3:1", "--leave-after-frames", "1",
                       "--short-frame", "4294967295"},
                      o, error))
        << error;
    EXPECT_TRUE(o.faults.LeaveAfter(1));
    EXPECT_FALSE(o.faults.LeaveAfter(0));
}

TEST(UvcGadgetFaults, ShortFrameCarriesTheFirstHalfAndEndsTheFrame) {
    constexpr size_t kMax = 16384, kPacket = 512;
    for (size_t length : {size_t{0}, size_t{1}, size_t{1024}, size_t{2 * 16382}, size_t{153600}, size_t{614400}}) {
        for (bool fid : {false, true}) {
            SCOPED_TRACE(length);
            const auto whole = PackFrame(length, fid, kMax, kPacket);
            const auto cut = PackShortFrame(length, fid, kMax, kPacket);
            ASSERT_FALSE(cut.empty());
            size_t next = 0;
            for (size_t i = 0; i < cut.size(); ++i) {
                const Payload& p = cut[i];
                EXPECT_EQ((p.header[1] & kHeaderFrameId) != 0, fid);
                EXPECT_EQ((p.header[1] & kHeaderEndOfFrame) != 0, i + 1 == cut.size());
                EXPECT_EQ(p.header[1] & kHeaderError, 0);
                EXPECT_EQ(p.offset, next);
                next += p.length;
                if (p.Size() < kMax) {
                EXPECT_NE(p.Size() % kPacket, 0u);
            }
            }
            EXPECT_EQ(next, length / 2);  // the frame's first half, nothing more
            if (length >= 2 * 16382) {
                EXPECT_LT(cut.size(), whole.size());
            }
        }
    }
}

TEST(UvcGadgetFaults, StalledControlsAreRefusedOnEveryRequest) {
    World w("kivo");
    ASSERT_TRUE(w.ok);
    w.function->StallControls({{kProcessingUnitId, UVC_PU_BRIGHTNESS_CONTROL}});
    EXPECT_TRUE(w.function->Stalls(kProcessingUnitId, UVC_PU_BRIGHTNESS_CONTROL));
    for (int q : {UVC_GET_CUR, UVC_GET_MIN, UVC_GET_MAX, UVC_GET_RES, UVC_GET_DEF, UVC_GET_LEN, UVC_GET_INFO}) {
        SCOPED_TRACE(q);
        EXPECT_EQ(w.In(static_cast<uint8_t>(q), UVC_PU_BRIGHTNESS_CONTROL, kProcessingUnitId, 0, 2).kind, Answer::Kind::Stall);
        EXPECT_EQ(w.ErrorCode(), static_cast<uint8_t>(RequestError::Unknown));
    }
    // A SET_CUR is refused and leaves the device's value.
    auto pu = w.camera.Units().processing;
    int32_t before = 0, flags = 0, after = 0;
    ASSERT_EQ(pu->Get(uvc::ProcAmp_Brightness, before, flags), platform::HR_S_OK);
    EXPECT_EQ(w.Out(UVC_SET_CUR, UVC_PU_BRIGHTNESS_CONTROL, kProcessingUnitId, 0, Bytes(before + 1, 2)).kind,
              Answer::Kind::Stall);
    EXPECT_EQ(w.ErrorCode(), static_cast<uint8_t>(RequestError::Unknown));
    ASSERT_EQ(pu->Get(uvc::ProcAmp_Brightness, after, flags), platform::HR_S_OK);
    EXPECT_EQ(after, before);

    // The same selector on another unit, and the unit's other controls, answer.
    EXPECT_EQ(w.In(UVC_GET_CUR, UVC_PU_CONTRAST_CONTROL, kProcessingUnitId, 0, 2).kind, Answer::Kind::Data);
    EXPECT_EQ(w.ErrorCode(), 0);
    EXPECT_FALSE(w.function->Stalls(kCameraTerminalId, UVC_PU_BRIGHTNESS_CONTROL));
    EXPECT_EQ(w.In(UVC_GET_INFO, UVC_CT_AE_MODE_CONTROL, kCameraTerminalId, 0, 1).kind, Answer::Kind::Data);

    // An extension unit's selector, and the interface's error code control stays readable.
    EXPECT_EQ(w.In(UVC_GET_INFO, 1, kExtensionUnitId, 0, 1).kind, Answer::Kind::Data);
    w.function->StallControls({{kExtensionUnitId, 1}});
    EXPECT_EQ(w.In(UVC_GET_INFO, 1, kExtensionUnitId, 0, 1).kind, Answer::Kind::Stall);
    EXPECT_EQ(w.ErrorCode(), static_cast<uint8_t>(RequestError::Unknown));
    EXPECT_EQ(w.In(UVC_GET_CUR, UVC_PU_BRIGHTNESS_CONTROL, kProcessingUnitId, 0, 2).kind, Answer::Kind::Data);
    EXPECT_EQ(w.In(UVC_GET_INFO, UVC_VC_REQUEST_ERROR_CODE_CONTROL, 0, kControlInterface, 1).kind,
              Answer::Kind::Data);
}

}  // namespace
}  // namespace sv::gadget
