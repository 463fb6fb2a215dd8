#include "linux/FakeKernel.h"

#include <linux/uvcvideo.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <fmt/format.h>

namespace sv::test {
namespace {

namespace fs = std::filesystem;

void WriteLine(const fs::path& file, const std::string& text) {
    std::ofstream out(file);
    out << text << "\n";
}

}  // namespace

std::vector<uint8_t> UvcDescriptors(uint8_t interfaceNumber, uint8_t xuId, const sv::platform::Guid& xuGuid) {
    std::vector<uint8_t> d = {18, 0x01, 0x00, 0x02, 0xEF, 0x02, 0x01, 64, 0, 0, 0, 0, 0, 0, 1, 2, 3, 1};
    const std::size_t config = d.size();
    d.insert(d.end(), {9, 0x02, 0, 0, 2, 1, 0, 0x80, 250});
    d.insert(d.end(), {8, 0x0B, interfaceNumber, 2, 0x0E, 0x03, 0x00, 0});  // interface association
    d.insert(d.end(), {9, 0x04, interfaceNumber, 0, 1, 0x0E, 0x01, 0x00, 0});  // VideoControl
    d.insert(d.end(), {13, 0x24, 0x01, 0x00, 0x01, 0, 0, 0x80, 0x8D, 0x5B, 0x00, 1, static_cast<uint8_t>(interfaceNumber + 1)});
    d.insert(d.end(), {18, 0x24, 0x02, 1, 0x01, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0x0A, 0x00, 0x00});  // camera terminal
    d.insert(d.end(), {11, 0x24, 0x05, 5, 1, 0, 0, 2, 0x7F, 0x15, 0});  // processing unit 5
    if (xuId != 0) {
        std::vector<uint8_t> xu = {27, 0x24, 0x06, xuId};
        const uint32_t d1 = xuGuid.data1;
        xu.insert(xu.end(), {static_cast<uint8_t>(d1), static_cast<uint8_t>(d1 >> 8), static_cast<uint8_t>(d1 >> 16),
                             static_cast<uint8_t>(d1 >> 24), static_cast<uint8_t>(xuGuid.data2),
                             static_cast<uint8_t>(xuGuid.data2 >> 8), static_cast<uint8_t>(xuGuid.data3),
                             static_cast<uint8_t>(xuGuid.data3 >> 8)});
        xu.insert(xu.end(), std::begin(xuGuid.data4), std::end(xuGuid.data4));
        xu.insert(xu.end(), {16, 1, 5, 2, 0xFF, 0xFF, 0});
        d.insert(d.end(), xu.begin(), xu.end());
    }
    d.insert(d.end(), {9, 0x24, 0x03, 4, 0x01, 0x01, 0, static_cast<uint8_t>(xuId != 0 ? xuId : 5), 0});  // output terminal
    d.insert(d.end(), {7, 0x05, 0x83, 0x03, 16, 0, 8});
    d.insert(d.end(), {9, 0x04, static_cast<uint8_t>(interfaceNumber + 1), 0, 0, 0x0E, 0x02, 0x00, 0});  // VideoStreaming
    d.insert(d.end(), {14, 0x24, 0x01, 1, 0, 0, 0x81, 0, 4, 0, 0, 0, 1, 0});
    const std::size_t total = d.size() - config;
    d[config + 2] = static_cast<uint8_t>(total);
    d[config + 3] = static_cast<uint8_t>(total >> 8);
    return d;
}

FakeKernel::FakeKernel(std::vector<FakeNode> nodes) : nodes_(std::move(nodes)), streams_(nodes_.size()) {
    fs::create_directories(fs::path(root_.File("sys")) / "class" / "video4linux");
    fs::create_directories(root_.File("dev"));
    for (const FakeNode& node : nodes_) WriteSysfs(node);
}

// The layout of a running system: the USB device folder ("1-2.1") with its
// identity, the interface folder below it ("1-2.1:1.0"), and the node's own
// folder below that ("1-2.1:1.0/video4linux/video0") with its "device" link
// back up to the interface. The class entry is a link to the node's folder,
// bus/usb/devices holds a link to every USB device and interface. A node of
// a platform device sits below devices/platform/<device> the same way.
void FakeKernel::WriteSysfs(const FakeNode& node) const {
    const fs::path sys = root_.File("sys");
    fs::path interfaceFolder;
    if (node.usb) {
        // The root hub and every hub on the device's path, each also listed
        // under bus/usb/devices as the kernel does.
        const fs::path devices = sys / "bus" / "usb" / "devices";
        fs::create_directories(devices);
        const auto writeHub = [&devices](const fs::path& folder, const std::string& speed) {
            fs::create_directories(folder);
            WriteLine(folder / "idVendor", "1d6b");
            WriteLine(folder / "idProduct", "0002");
            WriteLine(folder / "bDeviceClass", "09");
            WriteLine(folder / "maxchild", "8");
            WriteLine(folder / "bmAttributes", "e0");
            WriteLine(folder / "speed", speed);
            WriteLine(folder / "version", " 2.00");
            std::error_code ec;
            fs::create_directory_symlink(fs::relative(folder, devices), devices / folder.filename(), ec);
        };
        fs::path hubFolder = sys / "devices" / "pci0000:00" / "0000:00:14.0" / fmt::format("usb{}", node.busnum);
        writeHub(hubFolder, "480");
        for (std::size_t at = 0; (at = node.devpath.find('.', at)) != std::string::npos; ++at) {
            hubFolder /= fmt::format("{}-{}", node.busnum, node.devpath.substr(0, at));
            writeHub(hubFolder, "480");
        }
        const fs::path usbFolder = hubFolder / fmt::format("{}-{}", node.busnum, node.devpath);
        interfaceFolder = usbFolder / fmt::format("{}-{}:1.{}", node.busnum, node.devpath, node.interfaceNumber);
        fs::create_directories(interfaceFolder);
        WriteLine(usbFolder / "idVendor", fmt::format("{:04x}", node.vendorId));
        WriteLine(usbFolder / "idProduct", fmt::format("{:04x}", node.productId));
        WriteLine(usbFolder / "busnum", std::to_string(node.busnum));
        WriteLine(usbFolder / "devpath", node.devpath);
        if (!node.serial.empty()) WriteLine(usbFolder / "serial", node.serial);
        WriteLine(usbFolder / "bDeviceClass", "ef");
        WriteLine(usbFolder / "maxchild", "0");
        WriteLine(usbFolder / "speed", node.speed);
        WriteLine(usbFolder / "version", node.version);
        WriteLine(usbFolder / "manufacturer", "Fake Maker");
        WriteLine(usbFolder / "product", node.product.empty() ? node.card : node.product);
        {
            // Without descriptors of its own, a device descriptor naming
            // strings 1 to 3 and an empty configuration.
            const std::vector<uint8_t> bare = {18, 1, 0, 2, 0xEF, 2, 1, 64, 0, 0, 0, 0, 0, 0, 1, 2, 3, 1,
                                               9, 2, 9, 0, 0, 1, 0, 0x80, 250};
            const std::vector<uint8_t>& bytes = node.descriptors.empty() ? bare : node.descriptors;
            std::ofstream out(usbFolder / "descriptors", std::ios::binary);
            out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        }
        std::error_code linkError;
        fs::create_directory_symlink(fs::relative(usbFolder, devices), devices / usbFolder.filename(), linkError);
        WriteLine(interfaceFolder / "bInterfaceNumber", fmt::format("{:02x}", node.interfaceNumber));
        WriteLine(interfaceFolder / "bInterfaceClass", "0e");
        WriteLine(interfaceFolder / "bInterfaceSubClass", "01");
        WriteLine(interfaceFolder / "bAlternateSetting", " 0");
        fs::create_directory_symlink(fs::relative(interfaceFolder, devices), devices / interfaceFolder.filename(),
                                     linkError);
    } else {
        interfaceFolder = sys / "devices" / "platform" / node.platformDevice;
        fs::create_directories(interfaceFolder);
        WriteLine(interfaceFolder / "modalias", "platform:" + node.platformDevice);
    }
    const fs::path nodeFolder = interfaceFolder / "video4linux" / node.name;
    fs::create_directories(nodeFolder);
    WriteLine(nodeFolder / "name", node.card);
    // Relative links, as the kernel makes them.
    std::error_code ec;
    fs::create_directory_symlink(fs::path("..") / ".." / ".." / interfaceFolder.filename(), nodeFolder / "device", ec);
    fs::create_directory_symlink(fs::relative(nodeFolder, sys / "class" / "video4linux"),
                                 sys / "class" / "video4linux" / node.name, ec);
}

int FakeKernel::Open(const std::string& path, int) {
    std::lock_guard<std::mutex> lock(mutex_);
    opened_.push_back(path);
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
        if ((fs::path(root_.File("dev")) / nodes_[i].name).string() != path) continue;
        if (nodes_[i].openFails) return -EACCES;
        if (nodes_[i].present) {
            const bool here = nodes_[i].present();
            if (!here) UnplugLocked(i);
            else if (streams_[i].gone) ReplugLocked(i);
        }
        if (streams_[i].gone) return -ENOENT;
        const int fd = nextFd_++;
        open_[fd] = i;
        return fd;
    }
    return -ENOENT;
}

int FakeKernel::Close(int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = open_.find(fd);
    if (it == open_.end()) return -EBADF;
    // Closing the owner ends its stream and frees buffers nobody maps.
    Stream& st = streams_[it->second];
    if (st.owner == fd) {
        st.streaming = false;
        st.queued.clear();
        st.cancelled.clear();
        st.buffers.clear();
        st.owner = -1;
    }
    open_.erase(it);
    stale_.erase(fd);
    changed_.notify_all();
    return 0;
}

std::size_t FakeKernel::NodeIndexLocked(const std::string& name) const {
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
        if (nodes_[i].name == name) return i;
    }
    return nodes_.size();
}

int FakeKernel::Ioctl(int fd, unsigned long request, void* arg) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++ioctls_[request];
    const auto open = open_.find(fd);
    if (open == open_.end()) return -EBADF;
    const std::size_t index = open->second;
    if (stale_.count(fd) != 0) return -ENODEV;
    if (streams_[index].gone) return request == VIDIOC_DQBUF ? DequeueCancelledLocked(fd, index, arg) : -ENODEV;
    const FakeNode* node = &nodes_[index];
    const auto findFormat = [node](uint32_t pixelFormat) -> const FakeFormat* {
        for (const FakeFormat& f : node->formats) {
            if (f.pixelFormat == pixelFormat) return &f;
        }
        return nullptr;
    };
    switch (request) {
    case VIDIOC_QUERYCAP: {
        auto* caps = static_cast<v4l2_capability*>(arg);
        std::memset(caps, 0, sizeof(*caps));
        // The texts are copied without room for a terminator when they fill their field.
        const auto copy = [](uint8_t* field, std::size_t size, const std::string& text) {
            std::memcpy(field, text.data(), std::min(text.size(), size));
        };
        const std::string busInfo = node->noBusInfo          ? ""
                                    : !node->busInfo.empty() ? node->busInfo
                                    : node->usb           ? "usb-0000:00:14.0-" + node->devpath
                                                          : "platform:" + node->platformDevice;
        copy(caps->driver, sizeof(caps->driver), node->driver);
        copy(caps->card, sizeof(caps->card), node->card);
        copy(caps->bus_info, sizeof(caps->bus_info), busInfo);
        caps->device_caps = node->deviceCaps;
        // The capabilities of the whole device: every node of it together.
        caps->capabilities = V4L2_CAP_DEVICE_CAPS;
        for (const FakeNode& other : nodes_) {
            const bool sameDevice = other.usb == node->usb &&
                                    (node->usb ? other.busnum == node->busnum && other.devpath == node->devpath
                                               : other.platformDevice == node->platformDevice);
            if (sameDevice) caps->capabilities |= other.deviceCaps;
        }
        return 0;
    }
    case VIDIOC_ENUM_FMT: {
        auto* desc = static_cast<v4l2_fmtdesc*>(arg);
        if (desc->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || !(node->deviceCaps & V4L2_CAP_VIDEO_CAPTURE)) return -EINVAL;
        if (desc->index >= node->formats.size()) return -EINVAL;
        const FakeFormat& f = node->formats[desc->index];
        desc->pixelformat = f.pixelFormat;
        desc->flags = f.compressed ? V4L2_FMT_FLAG_COMPRESSED : 0;
        return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
        auto* size = static_cast<v4l2_frmsizeenum*>(arg);
        const FakeFormat* f = findFormat(size->pixel_format);
        if (f && f->sizeRange) {
            if (size->index != 0 || f->sizes.size() != 2) return -EINVAL;
            size->type = V4L2_FRMSIZE_TYPE_STEPWISE;
            size->stepwise = {f->sizes[0].width, f->sizes[1].width, 16, f->sizes[0].height, f->sizes[1].height, 16};
            return 0;
        }
        if (!f || size->index >= f->sizes.size()) return -EINVAL;
        size->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        size->discrete.width = f->sizes[size->index].width;
        size->discrete.height = f->sizes[size->index].height;
        return 0;
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {
        auto* interval = static_cast<v4l2_frmivalenum*>(arg);
        const FakeFormat* f = findFormat(interval->pixel_format);
        if (!f) return -EINVAL;
        for (const FakeFrameSize& s : f->sizes) {
            if (s.width != interval->width || s.height != interval->height) continue;
            if (s.intervalRange) {
                if (interval->index != 0 || s.intervals.size() != 2) return -EINVAL;
                interval->type = V4L2_FRMIVAL_TYPE_CONTINUOUS;
                interval->stepwise.min = {s.intervals[0].first, s.intervals[0].second};
                interval->stepwise.max = {s.intervals[1].first, s.intervals[1].second};
                interval->stepwise.step = {1, 1};
                return 0;
            }
            if (interval->index >= s.intervals.size()) return -EINVAL;
            interval->type = V4L2_FRMIVAL_TYPE_DISCRETE;
            interval->discrete.numerator = s.intervals[interval->index].first;
            interval->discrete.denominator = s.intervals[interval->index].second;
            return 0;
        }
        return -EINVAL;
    }
    default:
        return StreamIoctlLocked(fd, index, request, arg);
    }
}

namespace {

constexpr off_t kOffsetStep = 1 << 20;

uint32_t FrameBytes(uint32_t width, uint32_t height, uint32_t pixelFormat) {
    switch (pixelFormat) {
    case V4L2_PIX_FMT_NV12: return width * height * 3 / 2;
    case V4L2_PIX_FMT_RGB24:
    case V4L2_PIX_FMT_BGR24: return width * height * 3;
    default: return width * height * 2;  // YUYV, UYVY; a compressed frame's upper bound
    }
}

}  // namespace

int FakeKernel::SetFormatLocked(std::size_t index, void* arg) {
    const FakeNode& node = nodes_[index];
    Stream& st = streams_[index];
    auto* format = static_cast<v4l2_format*>(arg);
    if (format->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return -EINVAL;
    if (node.busy || !st.buffers.empty()) return -EBUSY;
    v4l2_pix_format& pix = format->fmt.pix;
    bool found = false;
    for (const FakeFormat& f : node.formats) {
        if (f.pixelFormat != pix.pixelformat) continue;
        for (const FakeFrameSize& size : f.sizes) found = found || (size.width == pix.width && size.height == pix.height);
    }
    if ((!found || node.changesFormat) && !node.formats.empty() && !node.formats[0].sizes.empty()) {
        // The driver picks what it can do and says so in the answer.
        pix.pixelformat = node.formats[0].pixelFormat;
        pix.width = node.formats[0].sizes[0].width;
        pix.height = node.formats[0].sizes[0].height;
    }
    if (node.setFormat) {
        const int rc = node.setFormat(pix.width, pix.height, pix.pixelformat, 0, 0);
        if (rc < 0) return rc;
    }
    pix.field = V4L2_FIELD_NONE;
    pix.sizeimage = FrameBytes(pix.width, pix.height, pix.pixelformat);
    pix.bytesperline = pix.pixelformat == V4L2_PIX_FMT_MJPEG ? 0 : pix.width * 2;
    st.width = pix.width;
    st.height = pix.height;
    st.pixelFormat = pix.pixelformat;
    st.sizeImage = pix.sizeimage;
    // A new format runs at its size's default (first) interval until S_PARM.
    const FakeFrameSize* size = CurrentSizeLocked(index);
    st.intervalNumerator = size && !size->intervals.empty() ? size->intervals[0].first : 0;
    st.intervalDenominator = size && !size->intervals.empty() ? size->intervals[0].second : 0;
    return 0;
}

const FakeFormat* FakeKernel::CurrentFormatLocked(std::size_t index) const {
    for (const FakeFormat& f : nodes_[index].formats) {
        if (f.pixelFormat == streams_[index].pixelFormat) return &f;
    }
    return nullptr;
}

const FakeFrameSize* FakeKernel::CurrentSizeLocked(std::size_t index) const {
    const Stream& st = streams_[index];
    for (const FakeFormat& f : nodes_[index].formats) {
        if (f.pixelFormat != st.pixelFormat) continue;
        for (const FakeFrameSize& size : f.sizes) {
            if (size.width == st.width && size.height == st.height) return &size;
        }
    }
    return nullptr;
}

// As a driver does: the asked interval is a wish; the driver sets the
// supported one nearest to it (clamped into a continuous range) and writes
// back what it set, with V4L2_CAP_TIMEPERFRAME.
int FakeKernel::SetParmLocked(std::size_t index, void* arg) {
    const FakeNode& node = nodes_[index];
    Stream& st = streams_[index];
    auto* parm = static_cast<v4l2_streamparm*>(arg);
    if (parm->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return -EINVAL;
    v4l2_fract& asked = parm->parm.capture.timeperframe;
    st.intervalsAsked.emplace_back(asked.numerator, asked.denominator);
    if (node.refuseParmErrno != 0) return -node.refuseParmErrno;
    const FakeFrameSize* size = CurrentSizeLocked(index);
    if (size == nullptr || size->intervals.empty()) return -EINVAL;
    auto seconds = [](uint32_t n, uint32_t d) { return d == 0 ? 0.0 : static_cast<double>(n) / d; };
    std::pair<uint32_t, uint32_t> chosen = size->intervals[0];
    if (asked.numerator != 0 && asked.denominator != 0 && !node.fixedRate) {
        const double wanted = seconds(asked.numerator, asked.denominator);
        if (size->intervalRange && size->intervals.size() == 2) {
            const auto& fastest = size->intervals[0];
            const auto& slowest = size->intervals[1];
            if (wanted < seconds(fastest.first, fastest.second)) chosen = fastest;
            else if (wanted > seconds(slowest.first, slowest.second)) chosen = slowest;
            else chosen = {asked.numerator, asked.denominator};
        } else {
            for (const auto& interval : size->intervals) {
                if (std::abs(seconds(interval.first, interval.second) - wanted) <
                    std::abs(seconds(chosen.first, chosen.second) - wanted)) {
                    chosen = interval;
                }
            }
        }
    }
    if (node.setFormat) {
        const int rc = node.setFormat(st.width, st.height, st.pixelFormat, chosen.first, chosen.second);
        if (rc < 0) return rc;
    }
    st.intervalNumerator = chosen.first;
    st.intervalDenominator = chosen.second;
    parm->parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
    asked.numerator = chosen.first;
    asked.denominator = chosen.second;
    return 0;
}

int FakeKernel::StreamIoctlLocked(int fd, std::size_t index, unsigned long request, void* arg) {
    const FakeNode& node = nodes_[index];
    Stream& st = streams_[index];
    const bool otherOwner = st.owner >= 0 && st.owner != fd;
    switch (request) {
    case VIDIOC_S_FMT:
        if (otherOwner) return -EBUSY;
        return SetFormatLocked(index, arg);
    case VIDIOC_G_FMT: {
        auto* format = static_cast<v4l2_format*>(arg);
        format->fmt.pix.width = st.width;
        format->fmt.pix.height = st.height;
        format->fmt.pix.pixelformat = st.pixelFormat;
        format->fmt.pix.sizeimage = st.sizeImage;
        return 0;
    }
    case VIDIOC_S_PARM:
        if (otherOwner || node.busy) return -EBUSY;
        return SetParmLocked(index, arg);
    case VIDIOC_G_PARM: {
        auto* parm = static_cast<v4l2_streamparm*>(arg);
        if (parm->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return -EINVAL;
        if (node.refuseParmErrno != 0) return -node.refuseParmErrno;
        parm->parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
        parm->parm.capture.timeperframe.numerator = st.intervalNumerator;
        parm->parm.capture.timeperframe.denominator = st.intervalDenominator;
        return 0;
    }
    case VIDIOC_REQBUFS: {
        auto* buffers = static_cast<v4l2_requestbuffers*>(arg);
        if (buffers->memory != V4L2_MEMORY_MMAP || buffers->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return -EINVAL;
        if (otherOwner || node.busy) return -EBUSY;
        if (st.streaming) return -EBUSY;
        for (const auto& b : st.buffers) {
            // Buffers still mapped cannot be freed.
            if (b.use_count() > 1) return -EBUSY;
        }
        st.buffers.clear();
        st.queued.clear();
        st.owner = -1;
        if (buffers->count == 0) return 0;
        if (st.sizeImage == 0) return -EINVAL;
        buffers->count = std::min<uint32_t>(buffers->count, 8);
        for (uint32_t i = 0; i < buffers->count; ++i) {
            st.buffers.push_back(std::make_shared<std::vector<uint8_t>>(st.sizeImage));
        }
        st.owner = fd;
        return 0;
    }
    case VIDIOC_QUERYBUF: {
        auto* buffer = static_cast<v4l2_buffer*>(arg);
        if (otherOwner || buffer->index >= st.buffers.size()) return -EINVAL;
        buffer->length = static_cast<uint32_t>(st.buffers[buffer->index]->size());
        buffer->m.offset = static_cast<uint32_t>(buffer->index * kOffsetStep);
        return 0;
    }
    case VIDIOC_QBUF: {
        auto* buffer = static_cast<v4l2_buffer*>(arg);
        if (otherOwner || buffer->index >= st.buffers.size()) return -EINVAL;
        if (std::find(st.queued.begin(), st.queued.end(), buffer->index) != st.queued.end()) return -EINVAL;
        st.queued.push_back(buffer->index);
        changed_.notify_all();
        return 0;
    }
    case VIDIOC_DQBUF: {
        auto* buffer = static_cast<v4l2_buffer*>(arg);
        if (otherOwner || !st.streaming) return -EINVAL;
        if (UnplugWhenDueLocked(index)) return DequeueCancelledLocked(fd, index, arg);
        if (st.queued.empty() || node.stalls || st.ready == 0) return -EAGAIN;
        --st.ready;
        const uint32_t i = st.queued.front();
        st.queued.pop_front();
        std::vector<uint8_t>& data = *st.buffers[i];
        const uint32_t sequence = st.sequence++;
        uint32_t length = static_cast<uint32_t>(data.size());
        bool failed = false;
        if (node.frames) {
            const int64_t made = node.frames(sequence, st.width, st.height, st.pixelFormat, data.data(), length);
            if (made == -ENODEV || made == -EAGAIN) {
                // No frame: the buffer stays queued.
                st.queued.push_front(i);
                --st.sequence;
                if (made == -EAGAIN) return -EAGAIN;
                UnplugLocked(index);
                return DequeueCancelledLocked(fd, index, arg);
            }
            failed = made < 0;
            length = made < 0 ? 0 : static_cast<uint32_t>(std::min<int64_t>(made, length));
        } else if (data.size() >= 4) {
            std::memcpy(data.data(), &sequence, 4);
        }
        if (node.shortFrames.count(sequence) != 0) length /= 2;
        if (node.corruptFrames.count(sequence) != 0) failed = true;
        // uvcvideo takes a frame of an uncompressed format that is not whole
        // for a damaged one; it gives a damaged frame's buffer to the device
        // again unless asked not to drop frames.
        const bool uvcvideo = node.driver == "uvcvideo";
        const FakeFormat* format = CurrentFormatLocked(index);
        if (uvcvideo && !(format && format->compressed) && length != st.sizeImage) failed = true;
        if (failed && uvcvideo && !node.noDrop) {
            st.queued.push_back(i);
            return -EAGAIN;
        }
        buffer->index = i;
        buffer->bytesused = length;
        buffer->sequence = sequence;
        buffer->flags = V4L2_BUF_FLAG_MAPPED | V4L2_BUF_FLAG_DONE;
        if (failed) buffer->flags |= V4L2_BUF_FLAG_ERROR;
        buffer->timestamp.tv_sec = 100 + sequence / 30;
        buffer->timestamp.tv_usec = (sequence % 30) * 33333;
        return 0;
    }
    case VIDIOC_STREAMON:
        if (otherOwner || node.busy) return -EBUSY;
        if (st.buffers.empty() || st.owner != fd) return -EINVAL;
        st.streaming = true;
        changed_.notify_all();
        return 0;
    case VIDIOC_QUERYCTRL:
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL:
    case VIDIOC_QUERYMENU:
        return ControlIoctlLocked(index, request, arg);
    case UVCIOC_CTRL_QUERY: {
        auto* query = static_cast<uvc_xu_control_query*>(arg);
        if (!node.extensionUnit) return -ENOENT;
        return node.extensionUnit(query->unit, query->selector, query->query, query->data, query->size);
    }
    case VIDIOC_STREAMOFF:
        if (otherOwner) return -EBUSY;
        st.streaming = false;
        st.queued.clear();
        st.ready = 0;
        changed_.notify_all();
        return 0;
    default:
        return -ENOTTY;
    }
}

int FakeKernel::ControlIoctlLocked(std::size_t index, unsigned long request, void* arg) {
    if (nodes_[index].controlIoctl) return nodes_[index].controlIoctl(request, arg);
    auto& controls = nodes_[index].controls;
    const auto find = [&controls](uint32_t id) -> FakeControl* {
        for (FakeControl& c : controls) {
            if (c.id == id) return &c;
        }
        return nullptr;
    };
    switch (request) {
    case VIDIOC_QUERYCTRL: {
        auto* query = static_cast<v4l2_queryctrl*>(arg);
        const FakeControl* c = find(query->id);
        if (c == nullptr) return -EINVAL;
        if (c->stalled) return -EPIPE;
        query->type = c->type;
        query->minimum = c->minimum;
        query->maximum = c->maximum;
        query->step = c->step;
        query->default_value = c->defaultValue;
        query->flags = 0;
        return 0;
    }
    case VIDIOC_QUERYMENU: {
        auto* item = static_cast<v4l2_querymenu*>(arg);
        const FakeControl* c = find(item->id);
        if (c == nullptr || c->menu.count(item->index) == 0) return -EINVAL;
        return 0;
    }
    case VIDIOC_G_CTRL: {
        auto* control = static_cast<v4l2_control*>(arg);
        const FakeControl* c = find(control->id);
        if (c == nullptr) return -EINVAL;
        if (c->stalled) return -EPIPE;
        control->value = c->value;
        return 0;
    }
    case VIDIOC_S_CTRL: {
        auto* control = static_cast<v4l2_control*>(arg);
        FakeControl* c = find(control->id);
        if (c == nullptr) return -EINVAL;
        if (c->stalled) return -EPIPE;
        if (c->refuseErrno != 0) return -c->refuseErrno;
        if (control->value < c->minimum || control->value > c->maximum) return -ERANGE;
        if (c->type == V4L2_CTRL_TYPE_MENU && c->menu.count(static_cast<uint32_t>(control->value)) == 0) return -EINVAL;
        c->value = control->value;
        return 0;
    }
    default:
        return -ENOTTY;
    }
}

int32_t FakeKernel::ControlValue(const std::string& name, uint32_t id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t i = NodeIndexLocked(name);
    if (i == nodes_.size()) return 0;
    for (const FakeControl& c : nodes_[i].controls) {
        if (c.id == id) return c.value;
    }
    return 0;
}

void* FakeKernel::Mmap(std::size_t length, int, int, int fd, off_t offset, int& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto open = open_.find(fd);
    error = EINVAL;
    if (open == open_.end()) return nullptr;
    Stream& st = streams_[open->second];
    if (st.gone || stale_.count(fd) != 0) {
        error = ENODEV;
        return nullptr;
    }
    const auto i = static_cast<std::size_t>(offset / kOffsetStep);
    if (offset % kOffsetStep != 0 || i >= st.buffers.size() || length != st.buffers[i]->size()) return nullptr;
    void* address = st.buffers[i]->data();
    if (mappings_.count(address) != 0) return nullptr;  // one mapping per buffer here
    mappings_[address] = st.buffers[i];
    error = 0;
    return address;
}

int FakeKernel::Munmap(void* address, std::size_t length) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = mappings_.find(address);
    if (it == mappings_.end() || it->second->size() != length) return -EINVAL;
    mappings_.erase(it);
    return 0;
}

int FakeKernel::Poll(struct pollfd* fds, nfds_t count, int timeoutMs) {
    if (count != 1) return -EINVAL;
    std::unique_lock<std::mutex> lock(mutex_);
    const auto ready = [&] {
        fds->revents = 0;
        const auto open = open_.find(fds->fd);
        if (open == open_.end()) {
            fds->revents = POLLNVAL;
            return true;
        }
        const FakeNode& node = nodes_[open->second];
        UnplugWhenDueLocked(open->second);
        const Stream& st = streams_[open->second];
        if (stale_.count(fds->fd) != 0) fds->revents = POLLERR | POLLHUP;
        else if (st.gone) fds->revents = st.cancelled.empty() ? POLLERR | POLLHUP : POLLIN | POLLRDNORM;
        else if (!st.streaming) fds->revents = POLLERR;
        else if (!st.queued.empty() && !node.stalls && (st.ready > 0 || timeoutMs > 0)) fds->revents = POLLIN | POLLRDNORM;
        return fds->revents != 0;
    };
    if (!ready()) changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    if ((fds->revents & POLLIN) == 0) return fds->revents != 0 ? 1 : 0;
    // A poll that may wait sees the next frame arrive; one that may not sees
    // only frames that already came.
    const auto open = open_.find(fds->fd);
    Stream& st = streams_[open->second];
    if (st.gone) return 1;
    if (timeoutMs > 0 && st.ready == 0) st.ready = 1;
    return 1;
}

std::size_t FakeKernel::MappedCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return mappings_.size();
}

std::size_t FakeKernel::BufferCount(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t i = NodeIndexLocked(name);
    return i < nodes_.size() ? streams_[i].buffers.size() : 0;
}

uint32_t FakeKernel::FramesDequeued(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t i = NodeIndexLocked(name);
    return i < nodes_.size() ? streams_[i].sequence : 0;
}

bool FakeKernel::Streaming(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t i = NodeIndexLocked(name);
    return i < nodes_.size() && streams_[i].streaming;
}

uint32_t FakeKernel::CurrentWidth(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t i = NodeIndexLocked(name);
    return i < nodes_.size() ? streams_[i].width : 0;
}

std::vector<std::pair<uint32_t, uint32_t>> FakeKernel::IntervalsAsked(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t i = NodeIndexLocked(name);
    return i < nodes_.size() ? streams_[i].intervalsAsked : std::vector<std::pair<uint32_t, uint32_t>>{};
}

std::pair<uint32_t, uint32_t> FakeKernel::CurrentInterval(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t i = NodeIndexLocked(name);
    if (i >= nodes_.size()) return {0, 0};
    return {streams_[i].intervalNumerator, streams_[i].intervalDenominator};
}

uint32_t FakeKernel::IoctlCount(unsigned long request) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = ioctls_.find(request);
    return it == ioctls_.end() ? 0 : it->second;
}

void FakeKernel::ReplugLocked(std::size_t i) {
    // The descriptors of the device's earlier life stay dead; its stream
    // state starts afresh, as a new device's does.
    for (const auto& [fd, index] : open_) {
        if (index == i) stale_.insert(fd);
    }
    streams_[i] = Stream{};
    if (nodes_[i].replugged) nodes_[i].replugged();
    changed_.notify_all();
}

void FakeKernel::Replug(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t i = NodeIndexLocked(name);
    if (i == nodes_.size() || !streams_[i].gone) return;
    ReplugLocked(i);
    const fs::path entry = fs::path(root_.File("sys")) / "class" / "video4linux" / name;
    if (!fs::exists(entry)) WriteSysfs(nodes_[i]);
}

void FakeKernel::UnplugLocked(std::size_t i) {
    Stream& st = streams_[i];
    if (st.gone) return;
    st.gone = true;
    // The buffers queued for the stream come back flagged as errors.
    if (st.streaming) st.cancelled.insert(st.cancelled.end(), st.queued.begin(), st.queued.end());
    st.queued.clear();
    st.streaming = false;
    changed_.notify_all();
}

bool FakeKernel::UnplugWhenDueLocked(std::size_t i) {
    const Stream& st = streams_[i];
    const int64_t after = nodes_[i].unplugAfterFrames;
    if (!st.gone && st.streaming && after >= 0 && st.sequence >= after) UnplugLocked(i);
    return st.gone;
}

int FakeKernel::DequeueCancelledLocked(int fd, std::size_t i, void* arg) {
    Stream& st = streams_[i];
    if (st.cancelled.empty() || st.owner != fd) return -ENODEV;
    auto* buffer = static_cast<v4l2_buffer*>(arg);
    buffer->index = st.cancelled.front();
    st.cancelled.pop_front();
    buffer->bytesused = 0;
    buffer->sequence = st.sequence;
    buffer->flags = V4L2_BUF_FLAG_MAPPED | V4L2_BUF_FLAG_DONE | V4L2_BUF_FLAG_ERROR;
    return 0;
}

void FakeKernel::Unplug(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t i = NodeIndexLocked(name);
    if (i == nodes_.size()) return;
    UnplugLocked(i);
    // The node's folder and its class entry go.
    std::error_code ec;
    const fs::path entry = fs::path(root_.File("sys")) / "class" / "video4linux" / name;
    const fs::path folder = fs::canonical(entry, ec);
    if (!ec) fs::remove_all(folder, ec);
    fs::remove(entry, ec);
}

std::size_t FakeKernel::OpenCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_.size();
}

std::vector<std::string> FakeKernel::Opened() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return opened_;
}

}  // namespace sv::test
