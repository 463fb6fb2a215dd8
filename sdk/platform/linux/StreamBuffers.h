#pragma once

// What a V4L2 stream holds in the kernel: the open node and its memory-mapped
// buffers. Both are reference counted, so a frame handed out as a view of a
// buffer keeps the buffer mapped (and the node open) until the frame is let
// go, whatever happened to the stream meanwhile.

#include <cstddef>
#include <cstdint>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/backend/HResult.h"
#include "platform/linux/SysCalls.h"

namespace sv::platform::v4l2 {

// An open device node, closed with its last holder.
class NodeFile {
public:
    NodeFile(std::shared_ptr<SysCalls> calls, int fd) : calls_(std::move(calls)), fd_(fd) {}
    ~NodeFile();
    NodeFile(const NodeFile&) = delete;
    NodeFile& operator=(const NodeFile&) = delete;

    int Fd() const { return fd_; }
    SysCalls& Calls() const { return *calls_; }
    int Ioctl(unsigned long request, void* arg) const { return calls_->Ioctl(fd_, request, arg); }

private:
    std::shared_ptr<SysCalls> calls_;
    int fd_;
};

// The driver's buffers of one stream (VIDIOC_REQBUFS, QUERYBUF, mmap). A
// buffer is queued to the driver, dequeued by the reader's worker, or lent
// out in a sample; a lent buffer is queued again when its lease ends, unless
// the stream has stopped. The last holder unmaps every buffer and frees the
// driver's buffers (REQBUFS 0).
class BufferRing : public std::enable_shared_from_this<BufferRing> {
public:
    // Requests `count` buffers and maps them. A negative errno on failure,
    // with nothing left mapped or requested.
    static int Create(std::shared_ptr<NodeFile> file, uint32_t count, std::shared_ptr<BufferRing>& ring);
    ~BufferRing();
    BufferRing(const BufferRing&) = delete;
    BufferRing& operator=(const BufferRing&) = delete;

    uint32_t Count() const { return static_cast<uint32_t>(buffers_.size()); }
    const uint8_t* Data(uint32_t index) const { return static_cast<const uint8_t*>(buffers_[index].address); }
    std::size_t Length(uint32_t index) const { return buffers_[index].length; }

    // Queues every buffer that is neither queued nor lent. 0 or a negative errno.
    int QueueAll();
    // Queues buffer `index` again (after the worker dequeued it), unless stopped.
    int Requeue(uint32_t index);
    // The worker dequeued `index`.
    void MarkDequeued(uint32_t index);
    // Lends buffer `index` out: the returned lease queues it again when it ends.
    std::shared_ptr<void> Lend(uint32_t index);
    // No buffer is queued again from now on (before STREAMOFF).
    void Stop();
    // True when the driver holds at least one buffer, or when the device
    // refused a buffer because it is gone (a poll then sees the hang-up);
    // else waits up to `timeoutMs` for a lent buffer to come back.
    bool WaitForQueued(int timeoutMs);

private:
    struct Buffer {
        void* address = nullptr;
        std::size_t length = 0;
        bool queued = false;
        bool lent = false;
    };
    struct Lease;

    explicit BufferRing(std::shared_ptr<NodeFile> file) : file_(std::move(file)) {}
    int QueueLocked(uint32_t index);
    void Return(uint32_t index);

    std::shared_ptr<NodeFile> file_;
    std::vector<Buffer> buffers_;
    std::mutex mutex_;
    std::condition_variable returned_;
    bool stopped_ = false;
    bool lost_ = false;  // a buffer was refused with ENODEV or ENXIO: the device left the bus
};

}  // namespace sv::platform::v4l2
