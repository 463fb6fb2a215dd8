#include "platform/linux/VideoNodes.h"

#include <fcntl.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>

#include <fmt/format.h>
#include <sorvansdk/SvTypes.h>

#include "base/Logger.h"
#include "platform/backend/MfIds.h"

namespace sv::platform::v4l2 {
namespace {

namespace fs = std::filesystem;

// The first line of a sysfs attribute file, or "" when it cannot be read.
std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) return "";
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    return line;
}

bool ParseNumber(const std::string& text, int base, unsigned long maximum, unsigned long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long v = std::strtoul(text.c_str(), &end, base);
    if (errno != 0 || end == text.c_str() || *end != '\0' || v > maximum) return false;
    value = v;
    return true;
}

// "video12" -> 12; false for other names ("v4l-subdev0", "videoX").
bool NodeNumber(const std::string& name, uint32_t& number) {
    constexpr const char* kPrefix = "video";
    if (name.rfind(kPrefix, 0) != 0) return false;
    const std::string digits = name.substr(std::strlen(kPrefix));
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(),
                                       [](unsigned char c) { return std::isdigit(c) != 0; })) {
        return false;
    }
    unsigned long v = 0;
    if (!ParseNumber(digits, 10, 0xFFFFFFFFul, v)) return false;
    number = static_cast<uint32_t>(v);
    return true;
}

// Fills the USB half of `node` from the USB device folder above the
// interface folder the node's "device" link points at.
bool ReadUsbIdentity(const fs::path& interfaceFolder, VideoNode& node) {
    const fs::path usbFolder = interfaceFolder.parent_path();
    unsigned long vendor = 0;
    unsigned long product = 0;
    unsigned long interfaceNumber = 0;
    unsigned long busnum = 0;
    if (!ParseNumber(ReadAttribute(usbFolder / "idVendor"), 16, 0xFFFF, vendor) ||
        !ParseNumber(ReadAttribute(usbFolder / "idProduct"), 16, 0xFFFF, product) ||
        !ParseNumber(ReadAttribute(interfaceFolder / "bInterfaceNumber"), 16, 0xFF, interfaceNumber) ||
        !ParseNumber(ReadAttribute(usbFolder / "busnum"), 10, 0xFFFF, busnum)) {
        return false;
    }
    const std::string devpath = ReadAttribute(usbFolder / "devpath");
    if (devpath.empty()) return false;
    node.usb = true;
    node.vendorId = static_cast<uint16_t>(vendor);
    node.productId = static_cast<uint16_t>(product);
    node.interfaceNumber = static_cast<uint8_t>(interfaceNumber);
    node.busnum = static_cast<uint32_t>(busnum);
    node.devpath = devpath;
    node.serial = ReadAttribute(usbFolder / "serial");  // present only when the device has one
    node.product = ReadAttribute(usbFolder / "product");
    node.usbDevice = usbFolder.filename().string();
    node.usbFolder = usbFolder.string();
    return true;
}

// A node as sysfs shows it: the device it belongs to and, when that is a USB
// interface, the USB facts.
VideoNode ReadNode(SysCalls& calls, const fs::directory_entry& entry) {
    VideoNode node;
    node.name = entry.path().filename().string();
    node.devicePath = (fs::path(calls.DevRoot()) / node.name).string();
    std::error_code ec;
    const fs::path parent = fs::canonical(entry.path() / "device", ec);
    if (ec) return node;  // no device link: neither parent nor USB facts
    node.parent = parent.filename().string();
    if (!ReadUsbIdentity(parent, node)) SV_LOGD("v4l2::ListVideoNodes", "{}: not a USB device ({})", node.name, node.parent);
    return node;
}

// Every videoN entry of the video4linux class, in node-number order.
std::vector<VideoNode> ListVideoNodes(SysCalls& calls) {
    std::vector<VideoNode> nodes;
    const fs::path classFolder = fs::path(calls.SysfsRoot()) / "class" / "video4linux";
    std::error_code ec;
    fs::directory_iterator it(classFolder, ec);
    if (ec) return nodes;  // no video4linux class: no capture nodes
    for (const fs::directory_entry& entry : it) {
        uint32_t number = 0;
        if (!NodeNumber(entry.path().filename().string(), number)) continue;
        VideoNode node = ReadNode(calls, entry);
        node.number = number;
        nodes.push_back(std::move(node));
    }
    std::sort(nodes.begin(), nodes.end(),
              [](const VideoNode& a, const VideoNode& b) { return a.number < b.number; });
    return nodes;
}

// A text of the driver's as one part of a symbolic link: upper case, and
// nothing that separates parts or could be read as "usb".
std::string LinkPart(const std::string& text) {
    std::string part;
    for (unsigned char c : text) {
        const bool keep = std::isalnum(c) != 0 || c == '.' || c == ':' || c == '-' || c == '_' || c == '&';
        part.push_back(keep ? static_cast<char>(std::toupper(c)) : '_');
    }
    return part.empty() ? "_" : part;
}

// Asks the node what it is; true for a video capture node, with its card
// name. A node that cannot be opened or queried is added to `unlisted`.
bool QueryCaptureNode(SysCalls& calls, VideoNode& node, std::vector<UnlistedDevice>& unlisted) {
    constexpr const char* kWhere = "v4l2::EnumerateVideoNodes";
    const int fd = calls.Open(node.devicePath, O_RDWR | O_NONBLOCK);
    if (fd < 0) {
        const bool denied = fd == -EACCES || fd == -EPERM;
        SV_LOGW(kWhere, "{} is not listed: it cannot be opened ({}){}", node.devicePath, std::strerror(-fd),
                denied ? "; the video group or the udev rule gives access" : "");
        unlisted.push_back({node.devicePath, std::strerror(-fd), denied});
        return false;
    }
    v4l2_capability caps{};
    const int result = calls.Ioctl(fd, VIDIOC_QUERYCAP, &caps);
    (void)calls.Close(fd);
    if (result < 0) {
        SV_LOGW(kWhere, "{} is not listed: VIDIOC_QUERYCAP failed ({})", node.devicePath, std::strerror(-result));
        unlisted.push_back({node.devicePath, std::string("VIDIOC_QUERYCAP: ") + std::strerror(-result), false});
        return false;
    }
    const uint32_t nodeCaps = (caps.capabilities & V4L2_CAP_DEVICE_CAPS) ? caps.device_caps : caps.capabilities;
    if (!IsCaptureNode(nodeCaps)) return false;  // metadata, output, memory-to-memory, ...
    // The kernel fills these fields to their end without a terminator when
    // the text is that long.
    const auto text = [](const uint8_t* field, std::size_t size) {
        const auto* chars = reinterpret_cast<const char*>(field);
        return std::string(chars, strnlen(chars, size));
    };
    node.card = text(caps.card, sizeof(caps.card));
    node.driver = text(caps.driver, sizeof(caps.driver));
    node.busInfo = text(caps.bus_info, sizeof(caps.bus_info));
    return true;
}

}  // namespace

std::vector<VideoNode> ListUsbVideoNodes(SysCalls& calls) {
    std::vector<VideoNode> nodes = ListVideoNodes(calls);
    nodes.erase(std::remove_if(nodes.begin(), nodes.end(), [](const VideoNode& node) { return !node.usb; }),
                nodes.end());
    return nodes;
}

std::vector<VideoNode> EnumerateVideoNodes(SysCalls& calls, std::vector<UnlistedDevice>* unlisted) {
    std::vector<UnlistedDevice> left;
    std::vector<VideoNode> nodes = ListVideoNodes(calls);
    nodes.erase(std::remove_if(nodes.begin(), nodes.end(),
                               [&](VideoNode& node) { return !QueryCaptureNode(calls, node, left); }),
                nodes.end());
    if (unlisted) *unlisted = std::move(left);
    return nodes;
}

bool IsCaptureNode(uint32_t nodeCaps) {
    constexpr uint32_t kNotACamera =
        V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_VIDEO_OUTPUT_MPLANE | V4L2_CAP_VIDEO_M2M | V4L2_CAP_VIDEO_M2M_MPLANE;
    // A node that both captures and outputs is a memory-to-memory device of
    // an older driver.
    return (nodeCaps & V4L2_CAP_VIDEO_CAPTURE) != 0 && (nodeCaps & kNotACamera) == 0;
}

std::string InstanceKey(const VideoNode& node) {
    std::string devpath = node.devpath;
    std::transform(devpath.begin(), devpath.end(), devpath.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return fmt::format("BUS{}&PORT{}&MI_{:02X}", node.busnum, devpath, node.interfaceNumber);
}

std::string SymbolicLink(const VideoNode& node) {
    if (!node.usb) {
        // The bus the driver names, else the device sysfs shows, else the node.
        const std::string& where = !node.busInfo.empty() ? node.busInfo : !node.parent.empty() ? node.parent : node.name;
        return fmt::format("\\\\?\\v4l2#{}#{}#{}\\global", LinkPart(node.driver), LinkPart(where), node.name);
    }
    return fmt::format("\\\\?\\usb#vid_{:04x}&pid_{:04x}&mi_{:02x}#{}#{}\\global", node.vendorId,
                       node.productId, node.interfaceNumber, InstanceKey(node), node.name);
}

std::string InterfaceInstanceId(const VideoNode& node) {
    return fmt::format("USB\\VID_{:04X}&PID_{:04X}&MI_{:02X}\\{}", node.vendorId, node.productId,
                       node.interfaceNumber, InstanceKey(node));
}

std::string DeviceInstanceId(const VideoNode& node) {
    return fmt::format("USB\\VID_{:04X}&PID_{:04X}\\{}", node.vendorId, node.productId, node.serial);
}

std::vector<uint8_t> ReadUsbDescriptors(const VideoNode& node) {
    if (!node.usb || node.usbFolder.empty()) return {};
    std::ifstream in(fs::path(node.usbFolder) / "descriptors", std::ios::binary);
    if (!in) return {};
    // A device's descriptors are a few kilobytes; anything past 64 KiB is not read.
    std::vector<uint8_t> bytes(65536);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

Guid SubtypeForPixelFormat(uint32_t pixelFormat) {
    if (pixelFormat == V4L2_PIX_FMT_YUYV) return mf::MFVideoFormat_YUY2;
    return mf::FourCcSubtype(pixelFormat);
}

HResult HResultFromErrno(int negativeErrno) {
    switch (-negativeErrno) {
    case 0: return HR_S_OK;
    case ENOENT:
    case ENODEV:
    case ENXIO: return HR_ERROR_DEVICE_NOT_CONNECTED;
    case EACCES:
    case EPERM:
    case EBUSY: return HR_E_ACCESSDENIED;
    case ENOMEM: return HR_E_OUTOFMEMORY;
    case EINVAL: return HR_E_INVALIDARG;
    case ENOTTY: return HR_ERROR_NOT_SUPPORTED;
    default: return HR_E_FAIL;
    }
}

HResult VideoResultFromErrno(int negativeErrno, HResult otherwise) {
    switch (-negativeErrno) {
    case 0: return HR_S_OK;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case EIO: return HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED;
    case EBUSY:
    case EACCES:
    case EPERM: return HR_E_ACCESSDENIED;
    default: return otherwise;
    }
}

namespace {

struct PixelLayout {
    bool known = false;
    uint32_t bitsPerPixel = 0;
    uint32_t bytesPerPixelInFirstPlane = 0;
};

PixelLayout LayoutOf(uint32_t pixelFormat) {
    switch (pixelFormat) {
    case V4L2_PIX_FMT_YUYV:
    case V4L2_PIX_FMT_UYVY: return {true, 16, 2};
    case V4L2_PIX_FMT_NV12: return {true, 12, 1};
    case V4L2_PIX_FMT_RGB24:
    case V4L2_PIX_FMT_BGR24: return {true, 24, 3};
    default: return {};
    }
}

uint32_t Clamp32(uint64_t v) { return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(v); }

std::shared_ptr<const MediaType> MakeType(const v4l2_fmtdesc& format, uint32_t width, uint32_t height,
                                          const v4l2_fract& interval) {
    auto t = std::make_shared<MediaType>();
    const bool compressed = (format.flags & V4L2_FMT_FLAG_COMPRESSED) != 0;
    const PixelLayout layout = compressed ? PixelLayout{} : LayoutOf(format.pixelformat);
    // A frame interval of n/d seconds is a rate of d/n frames per second.
    const uint64_t rate = PackPair(interval.denominator, interval.numerator);
    t->SetUINT64(mf::MF_MT_FRAME_SIZE, PackPair(width, height));
    t->SetGUID(mf::MF_MT_MAJOR_TYPE, mf::MFMediaType_Video);
    if (layout.known) t->SetUINT32(mf::MF_MT_DEFAULT_STRIDE, width * layout.bytesPerPixelInFirstPlane);
    t->SetUINT32(mf::MF_MT_ALL_SAMPLES_INDEPENDENT, 1);
    t->SetUINT64(mf::MF_MT_FRAME_RATE_RANGE_MIN, rate);
    t->SetUINT32(mf::MF_MT_FIXED_SIZE_SAMPLES, compressed ? 0 : 1);
    t->SetUINT32(mf::MF_MT_INTERLACE_MODE, mf::MFVideoInterlace_Progressive);
    t->SetUINT64(mf::MF_MT_FRAME_RATE, rate);
    t->SetUINT64(mf::MF_MT_PIXEL_ASPECT_RATIO, PackPair(1, 1));
    if (layout.known) {
        t->SetUINT32(mf::MF_MT_SAMPLE_SIZE,
                     Clamp32(static_cast<uint64_t>(width) * height * layout.bitsPerPixel / 8));
    }
    t->SetUINT64(mf::MF_MT_FRAME_RATE_RANGE_MAX, rate);
    t->SetGUID(mf::MF_MT_SUBTYPE, SubtypeForPixelFormat(format.pixelformat));
    return t;
}

bool Usable(const v4l2_fract& interval) { return interval.numerator != 0 && interval.denominator != 0; }

// Whether a format record can carry the size and the rate of a type: a range
// of a driver may reach beyond them (sizes or rates above 65535), and such an
// end is not listed.
bool Nameable(uint32_t width, uint32_t height, const v4l2_fract& interval) {
    constexpr uint32_t kMaxSide = std::numeric_limits<decltype(SvFormat::width)>::max();
    constexpr uint32_t kMaxRate = std::numeric_limits<decltype(SvFormat::framerate)>::max();
    return width <= kMaxSide && height <= kMaxSide && interval.denominator / interval.numerator <= kMaxRate;
}

void AddType(const v4l2_fmtdesc& format, uint32_t width, uint32_t height, const v4l2_fract& interval,
             std::vector<std::shared_ptr<const MediaType>>& types) {
    if (!Usable(interval)) return;
    if (!Nameable(width, height, interval)) {
        SV_LOGD("v4l2::ReadNativeTypes", "{}x{} at {}/{} s per frame is beyond a format record; not listed", width,
                height, interval.numerator, interval.denominator);
        return;
    }
    types.push_back(MakeType(format, width, height, interval));
}

void AddSize(SysCalls& calls, int fd, const v4l2_fmtdesc& format, uint32_t width, uint32_t height,
             std::vector<std::shared_ptr<const MediaType>>& types) {
    for (uint32_t i = 0;; ++i) {
        v4l2_frmivalenum interval{};
        interval.index = i;
        interval.pixel_format = format.pixelformat;
        interval.width = width;
        interval.height = height;
        if (calls.Ioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval) < 0) return;
        if (interval.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
            AddType(format, width, height, interval.discrete, types);
            continue;
        }
        // A range (stepwise or continuous) is the only answer: its two ends,
        // the fastest rate first, stand for it.
        const v4l2_fract& fastest = interval.stepwise.min;
        const v4l2_fract& slowest = interval.stepwise.max;
        AddType(format, width, height, fastest, types);
        if (slowest.numerator != fastest.numerator || slowest.denominator != fastest.denominator) {
            AddType(format, width, height, slowest, types);
        }
        return;
    }
}

}  // namespace

HResult ReadNativeTypes(SysCalls& calls, const std::string& devicePath,
                        std::vector<std::shared_ptr<const MediaType>>& types) {
    constexpr const char* kWhere = "v4l2::ReadNativeTypes";
    types.clear();
    const int fd = calls.Open(devicePath, O_RDWR | O_NONBLOCK);
    if (fd < 0) {
        SV_LOGE(kWhere, "{}: open failed ({})", devicePath, std::strerror(-fd));
        return VideoResultFromErrno(fd, HR_E_FAIL);
    }
    for (uint32_t f = 0;; ++f) {
        v4l2_fmtdesc format{};
        format.index = f;
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (calls.Ioctl(fd, VIDIOC_ENUM_FMT, &format) < 0) break;  // EINVAL after the last
        for (uint32_t s = 0;; ++s) {
            v4l2_frmsizeenum size{};
            size.index = s;
            size.pixel_format = format.pixelformat;
            if (calls.Ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) < 0) break;
            if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                AddSize(calls, fd, format, size.discrete.width, size.discrete.height, types);
                continue;
            }
            // A range of sizes: its smallest and its largest size stand for it.
            SV_LOGD(kWhere, "{}: format {} lists a range of sizes; its ends are taken", devicePath, f);
            const v4l2_frmsize_stepwise& range = size.stepwise;
            AddSize(calls, fd, format, range.min_width, range.min_height, types);
            if (range.max_width != range.min_width || range.max_height != range.min_height) {
                AddSize(calls, fd, format, range.max_width, range.max_height, types);
            }
            break;
        }
    }
    (void)calls.Close(fd);
    return HR_S_OK;
}

}  // namespace sv::platform::v4l2
