#pragma once

// A stand-in for the kernel behind the Linux back-end: a small table of video
// nodes, a sysfs tree for them written into a temporary folder, and answers to
// the V4L2 calls the back-end makes, streaming included: S_FMT, buffers that
// are mapped for real, a queue per node as the kernel keeps it, frames made on
// DQBUF, and the faults a camera shows (busy, unplugged, corrupt or short
// frames, a format the driver changes, a stalled stream).

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/LogCapture.h"
#include "platform/backend/Guid.h"
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

// A V4L2 control of a node.
struct FakeControl {
    uint32_t id = 0;
    uint32_t type = 1;  // V4L2_CTRL_TYPE_INTEGER; 2 boolean, 3 menu
    int32_t minimum = 0;
    int32_t maximum = 0;
    int32_t step = 1;
    int32_t defaultValue = 0;
    int32_t value = 0;
    std::set<uint32_t> menu;  // the menu indices offered
    int refuseErrno = 0;      // S_CTRL fails with this errno
    // The camera stalls every request on the control: QUERYCTRL, G_CTRL and
    // S_CTRL fail with EPIPE, as uvcvideo answers such a control.
    bool stalled = false;
};

struct FakeNode {
    std::string name;                 // "video0"
    std::string card;                 // VIDIOC_QUERYCAP card
    std::string product;              // the USB device's product string; "" for `card`
    uint32_t deviceCaps = 0;          // V4L2_CAP_* of the node
    std::string driver = "uvcvideo";  // VIDIOC_QUERYCAP driver
    // VIDIOC_QUERYCAP bus_info; when empty, what the driver would say:
    // "usb-0000:00:14.0-<devpath>" on USB, "platform:<platformDevice>" else.
    std::string busInfo;
    bool noBusInfo = false;           // bus_info left empty, as drivers of older kernels may
    bool usb = true;                  // false: a node of a platform device
    std::string platformDevice = "vivid.0";  // its sysfs device below devices/platform
    bool openFails = false;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint8_t interfaceNumber = 0;
    std::string serial;
    uint32_t busnum = 1;
    std::string devpath = "1";      // hubs for "2.1" and the like are made on the way
    std::string speed = "480";      // sysfs `speed`, Mbit/s
    std::string version = " 2.00";  // sysfs `version` (bcdUSB)
    std::vector<FakeFormat> formats;
    std::vector<FakeControl> controls;
    // The device's raw USB descriptors (sysfs `descriptors`); none when empty.
    std::vector<uint8_t> descriptors;
    // Answers UVCIOC_CTRL_QUERY (unit, selector, query, data, size): 0 or a
    // negative errno. Without it the query answers ENOENT.
    std::function<int(uint8_t unit, uint8_t selector, uint8_t query, uint8_t* data, uint16_t size)> extensionUnit;

    // Streaming faults.
    bool busy = false;                  // S_FMT, REQBUFS and STREAMON answer EBUSY
    bool changesFormat = false;         // S_FMT answers the first size of the first format
    int refuseParmErrno = 0;            // S_PARM fails with this errno (a driver without rate control)
    bool fixedRate = false;             // S_PARM takes any interval and keeps (writes back) the first
    bool stalls = false;                // no frame ever becomes ready
    int64_t unplugAfterFrames = -1;     // gone after this many frames (-1: never)
    // Frames the device sends damaged (corrupt, or with half their bytes).
    // uvcvideo counts a frame of an uncompressed format that is not whole as
    // damaged too; by default it queues a damaged frame's buffer again, so
    // the frame is never dequeued (a gap in the sequence numbers); with its
    // `nodrop` parameter the frame is dequeued with V4L2_BUF_FLAG_ERROR.
    // Another driver hands a short frame over as it came, unflagged.
    std::set<uint32_t> corruptFrames;
    std::set<uint32_t> shortFrames;
    bool noDrop = false;                // uvcvideo's `nodrop`
    // Fills frame `sequence` and answers its length, or a negative errno
    // (ENODEV: the device is gone; EIO: the frame is marked corrupt); by
    // default the sequence number goes into the first four bytes and the
    // frame is full length.
    std::function<int64_t(uint32_t sequence, uint32_t width, uint32_t height, uint32_t pixelFormat, uint8_t* data,
                          uint32_t capacity)>
        frames;
    // Whether the device is plugged in, asked at every open when given: a
    // device gone away fails the open, one back again after it went away is
    // a new device behind the same node (its earlier descriptors stay dead)
    // and `replugged` is told first.
    std::function<bool()> present;
    std::function<void()> replugged;
    // Told of every format S_FMT takes (with the interval as 0/0), and of the
    // interval S_PARM settles on; a negative errno refuses it.
    std::function<int(uint32_t width, uint32_t height, uint32_t pixelFormat, uint32_t numerator, uint32_t denominator)>
        setFormat;
    // Answers QUERYCTRL, G_CTRL, S_CTRL and QUERYMENU instead of `controls`.
    std::function<int(unsigned long request, void* arg)> controlIoctl;
};

// Descriptors of a UVC camera: device, configuration, the VideoControl
// interface `interfaceNumber` with an input terminal (id 1), a processing
// unit (id 5), an extension unit `xuId` with `xuGuid` (when xuId is not 0)
// and an output terminal, then a VideoStreaming interface.
std::vector<uint8_t> UvcDescriptors(uint8_t interfaceNumber, uint8_t xuId, const sv::platform::Guid& xuGuid);

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
    // Buffer mappings not yet undone.
    std::size_t MappedCount() const;
    // Buffers the driver holds for node `name` (REQBUFS not yet undone).
    std::size_t BufferCount(const std::string& name) const;
    // Frames dequeued from node `name`, and whether it streams now.
    uint32_t FramesDequeued(const std::string& name) const;
    bool Streaming(const std::string& name) const;
    // The node's current format as S_FMT left it.
    uint32_t CurrentWidth(const std::string& name) const;
    // The timeperframe (numerator, denominator) of every S_PARM node `name`
    // received, in order, refused ones included; and the interval the node
    // runs at now (S_FMT resets it to the size's first interval, S_PARM sets
    // the supported one nearest to the one asked).
    std::vector<std::pair<uint32_t, uint32_t>> IntervalsAsked(const std::string& name) const;
    std::pair<uint32_t, uint32_t> CurrentInterval(const std::string& name) const;
    // Pulls node `name` out: its entry leaves sysfs. As uvcvideo does, the
    // buffers queued for a stream come back first, flagged as errors with no
    // bytes used (polls see them ready); after them every call on the node
    // fails with ENODEV and polls answer POLLERR | POLLHUP.
    void Unplug(const std::string& name);
    // Plugs node `name` back in after Unplug: its sysfs entry returns, and
    // it is a new device (descriptors opened before stay dead).
    void Replug(const std::string& name);
    // The value of control `id` of node `name` (0 when absent).
    int32_t ControlValue(const std::string& name, uint32_t id) const;
    // Counts of ioctl requests made, by request code.
    uint32_t IoctlCount(unsigned long request) const;

private:
    struct Stream {
        int owner = -1;                  // fd that holds the buffers
        uint32_t width = 0;
        uint32_t height = 0;
        uint32_t pixelFormat = 0;
        uint32_t sizeImage = 0;
        uint32_t intervalNumerator = 0;  // seconds per frame, numerator/denominator
        uint32_t intervalDenominator = 0;
        std::vector<std::pair<uint32_t, uint32_t>> intervalsAsked;
        std::vector<std::shared_ptr<std::vector<uint8_t>>> buffers;
        std::deque<uint32_t> queued;
        std::deque<uint32_t> cancelled;  // given back by an unplug, still to be dequeued as errors
        bool streaming = false;
        bool gone = false;
        uint32_t sequence = 0;
        // Frames the device has delivered and not yet been dequeued: a poll
        // that waits makes one ready, as a camera sends one frame at a time.
        uint32_t ready = 0;
    };

    void WriteSysfs(const FakeNode& node) const;
    std::size_t NodeIndexLocked(const std::string& name) const;
    int StreamIoctlLocked(int fd, std::size_t node, unsigned long request, void* arg);
    int SetFormatLocked(std::size_t node, void* arg);
    int SetParmLocked(std::size_t node, void* arg);
    // The frame size entry of the node's current format, or null.
    const FakeFrameSize* CurrentSizeLocked(std::size_t node) const;
    // The node's current format, or null.
    const FakeFormat* CurrentFormatLocked(std::size_t node) const;
    // Unplugs a streaming node whose `unplugAfterFrames` have been sent;
    // true when the node is gone.
    bool UnplugWhenDueLocked(std::size_t node);
    int ControlIoctlLocked(std::size_t node, unsigned long request, void* arg);
    void UnplugLocked(std::size_t node);
    // DQBUF on an unplugged node: the next buffer its leaving gave back, as
    // an error with no bytes used, or ENODEV once there is none.
    int DequeueCancelledLocked(int fd, std::size_t node, void* arg);
    void ReplugLocked(std::size_t node);

    TempDir root_;
    std::vector<FakeNode> nodes_;
    std::vector<Stream> streams_;  // one per node, as the driver keeps one queue per device
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<int, std::size_t> open_;  // fd -> node position
    std::set<int> stale_;              // fds of a device since unplugged and plugged back
    std::vector<std::string> opened_;
    std::map<void*, std::shared_ptr<std::vector<uint8_t>>> mappings_;
    std::map<unsigned long, uint32_t> ioctls_;
    int nextFd_ = 100;
};

}  // namespace sv::test
