#include "linux/FakeKernel.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
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

FakeKernel::FakeKernel(std::vector<FakeNode> nodes) : nodes_(std::move(nodes)) {
    fs::create_directories(fs::path(root_.File("sys")) / "class" / "video4linux");
    fs::create_directories(root_.File("dev"));
    for (const FakeNode& node : nodes_) WriteSysfs(node);
}

// The layout of a running system: the USB device folder ("1-2.1") with its
// identity, the interface folder below it ("1-2.1:1.0") and the node's
// class entry with its "device" link to the interface.
void FakeKernel::WriteSysfs(const FakeNode& node) const {
    const fs::path sys = root_.File("sys");
    fs::path interfaceFolder;
    if (node.usb) {
        const fs::path usbFolder = sys / "devices" / "pci0000:00" / "0000:00:14.0" /
                                   fmt::format("usb{}", node.busnum) /
                                   fmt::format("{}-{}", node.busnum, node.devpath);
        interfaceFolder = usbFolder / fmt::format("{}-{}:1.{}", node.busnum, node.devpath, node.interfaceNumber);
        fs::create_directories(interfaceFolder);
        WriteLine(usbFolder / "idVendor", fmt::format("{:04x}", node.vendorId));
        WriteLine(usbFolder / "idProduct", fmt::format("{:04x}", node.productId));
        WriteLine(usbFolder / "busnum", std::to_string(node.busnum));
        WriteLine(usbFolder / "devpath", node.devpath);
        if (!node.serial.empty()) WriteLine(usbFolder / "serial", node.serial);
        WriteLine(interfaceFolder / "bInterfaceNumber", fmt::format("{:02x}", node.interfaceNumber));
    } else {
        interfaceFolder = sys / "devices" / "platform" / (node.name + "-host");
        fs::create_directories(interfaceFolder);
    }
    const fs::path classEntry = sys / "class" / "video4linux" / node.name;
    fs::create_directories(classEntry);
    WriteLine(classEntry / "name", node.card);
    fs::create_directory_symlink(interfaceFolder, classEntry / "device");
}

int FakeKernel::Open(const std::string& path, int) {
    std::lock_guard<std::mutex> lock(mutex_);
    opened_.push_back(path);
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
        if ((fs::path(root_.File("dev")) / nodes_[i].name).string() != path) continue;
        if (nodes_[i].openFails) return -EACCES;
        const int fd = nextFd_++;
        open_[fd] = i;
        return fd;
    }
    return -ENOENT;
}

int FakeKernel::Close(int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_.erase(fd) == 1 ? 0 : -EBADF;
}

const FakeNode* FakeKernel::NodeOf(int fd) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = open_.find(fd);
    return it == open_.end() ? nullptr : &nodes_[it->second];
}

int FakeKernel::Ioctl(int fd, unsigned long request, void* arg) {
    const FakeNode* node = NodeOf(fd);
    if (!node) return -EBADF;
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
        std::strncpy(reinterpret_cast<char*>(caps->driver), "uvcvideo", sizeof(caps->driver));
        // The card is copied without room for a terminator when it fills the field.
        std::memcpy(caps->card, node->card.data(), std::min(node->card.size(), sizeof(caps->card)));
        caps->device_caps = node->deviceCaps;
        caps->capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING |
                             V4L2_CAP_DEVICE_CAPS;
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
        return -ENOTTY;
    }
}

void* FakeKernel::Mmap(std::size_t, int, int, int, off_t, int& error) {
    error = ENODEV;
    return nullptr;
}

int FakeKernel::Munmap(void*, std::size_t) { return -EINVAL; }

int FakeKernel::Poll(struct pollfd*, nfds_t, int) { return -ENOSYS; }

std::size_t FakeKernel::OpenCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_.size();
}

std::vector<std::string> FakeKernel::Opened() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return opened_;
}

}  // namespace sv::test
