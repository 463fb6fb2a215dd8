#pragma once

// A stand-in for the kernel behind the Linux back-end: a small table of video
// nodes, a sysfs tree for them written into a temporary folder, and answers to
// the V4L2 queries the back-end makes. Streaming calls (mmap, poll) fail.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "common/LogCapture.h"
#include "platform/linux/SysCalls.h"

namespace sv::test {

struct FakeFrameSize {
    uint32_t width = 0;
    uint32_t height = 0;
    // Frame intervals as numerator/denominator seconds, in the driver's order.
    std::vector<std::pair<uint32_t, uint32_t>> intervals;
    // The intervals are a continuous range from intervals[0] to intervals[1].
    bool intervalRange = false;
};

struct FakeFormat {
    uint32_t pixelFormat = 0;
    bool compressed = false;
    std::vector<FakeFrameSize> sizes;
    // The sizes are a stepwise range from sizes[0] to sizes[1] (steps of 16).
    bool sizeRange = false;
};

struct FakeNode {
    std::string name;                 // "video0"
    std::string card;
    uint32_t deviceCaps = 0;          // V4L2_CAP_* of the node
    bool usb = true;                  // false: a node of a platform device
    bool openFails = false;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint8_t interfaceNumber = 0;
    std::string serial;
    uint32_t busnum = 1;
    std::string devpath = "1";
    std::vector<FakeFormat> formats;
};

class FakeKernel final : public sv::platform::v4l2::SysCalls {
public:
    explicit FakeKernel(std::vector<FakeNode> nodes);

    int Open(const std::string& path, int flags) override;
    int Close(int fd) override;
    int Ioctl(int fd, unsigned long request, void* arg) override;
    void* Mmap(std::size_t length, int prot, int flags, int fd, off_t offset, int& error) override;
    int Munmap(void* address, std::size_t length) override;
    int Poll(struct pollfd* fds, nfds_t count, int timeoutMs) override;
    std::string SysfsRoot() const override { return root_.File("sys"); }
    std::string DevRoot() const override { return root_.File("dev"); }

    // Descriptors opened and not yet closed.
    std::size_t OpenCount() const;
    // Every path opened, in order.
    std::vector<std::string> Opened() const;

private:
    void WriteSysfs(const FakeNode& node) const;
    const FakeNode* NodeOf(int fd) const;

    TempDir root_;
    std::vector<FakeNode> nodes_;
    mutable std::mutex mutex_;
    std::map<int, std::size_t> open_;  // fd -> node position
    std::vector<std::string> opened_;
    int nextFd_ = 100;
};

}  // namespace sv::test
