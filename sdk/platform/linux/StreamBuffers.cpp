#include "platform/linux/StreamBuffers.h"

#include <linux/videodev2.h>
#include <sys/mman.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "base/Logger.h"

namespace sv::platform::v4l2 {

NodeFile::~NodeFile() { (void)calls_->Close(fd_); }

struct BufferRing::Lease {
    Lease(std::shared_ptr<BufferRing> r, uint32_t i) : ring(std::move(r)), index(i) {}
    ~Lease() { ring->Return(index); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    std::shared_ptr<BufferRing> ring;
    uint32_t index;
};

int BufferRing::Create(std::shared_ptr<NodeFile> file, uint32_t count, std::shared_ptr<BufferRing>& ring) {
    constexpr const char* kWhere = "v4l2::BufferRing::Create";
    ring.reset();
    v4l2_requestbuffers request{};
    request.count = count;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    int rc = file->Ioctl(VIDIOC_REQBUFS, &request);
    if (rc < 0) return rc;
    // From here on the destructor gives back whatever was obtained.
    std::shared_ptr<BufferRing> created(new BufferRing(file));
    if (request.count == 0) return -ENOMEM;
    created->buffers_.resize(request.count);
    for (uint32_t i = 0; i < request.count; ++i) {
        v4l2_buffer buffer{};
        buffer.index = i;
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        rc = file->Ioctl(VIDIOC_QUERYBUF, &buffer);
        if (rc < 0) return rc;
        int error = 0;
        void* address = file->Calls().Mmap(buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, file->Fd(),
                                           static_cast<off_t>(buffer.m.offset), error);
        if (address == nullptr) {
            SV_LOGE(kWhere, "mmap of buffer {} ({} bytes) failed ({})", i, buffer.length, std::strerror(error));
            return error != 0 ? -error : -ENOMEM;
        }
        created->buffers_[i].address = address;
        created->buffers_[i].length = buffer.length;
    }
    ring = std::move(created);
    return 0;
}

BufferRing::~BufferRing() {
    for (Buffer& b : buffers_) {
        if (b.address != nullptr) (void)file_->Calls().Munmap(b.address, b.length);
    }
    // The driver frees its buffers only once none is mapped.
    v4l2_requestbuffers release{};
    release.count = 0;
    release.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    release.memory = V4L2_MEMORY_MMAP;
    (void)file_->Ioctl(VIDIOC_REQBUFS, &release);
}

int BufferRing::QueueLocked(uint32_t index) {
    v4l2_buffer buffer{};
    buffer.index = index;
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    const int rc = file_->Ioctl(VIDIOC_QBUF, &buffer);
    if (rc >= 0) buffers_[index].queued = true;
    // A device that left the bus takes no buffer back. Without this mark a
    // ring whose buffers all came back as errors would wait for ever for
    // one to be queued, and never poll to see the hang-up.
    if (rc == -ENODEV || rc == -ENXIO) lost_ = true;
    return rc;
}

int BufferRing::QueueAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (uint32_t i = 0; i < buffers_.size(); ++i) {
        if (buffers_[i].queued || buffers_[i].lent) continue;
        const int rc = QueueLocked(i);
        if (rc < 0) return rc;
    }
    return 0;
}

int BufferRing::Requeue(uint32_t index) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_ || index >= buffers_.size()) return 0;
    return QueueLocked(index);
}

void BufferRing::MarkDequeued(uint32_t index) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < buffers_.size()) buffers_[index].queued = false;
}

std::shared_ptr<void> BufferRing::Lend(uint32_t index) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        buffers_[index].lent = true;
    }
    return std::make_shared<Lease>(shared_from_this(), index);
}

void BufferRing::Return(uint32_t index) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        buffers_[index].lent = false;
        if (!stopped_ && QueueLocked(index) < 0) {
            SV_LOGD("v4l2::BufferRing::Return", "buffer {} could not be queued again", index);
        }
    }
    returned_.notify_all();
}

void BufferRing::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
        // STREAMOFF takes every queued buffer back.
        for (Buffer& b : buffers_) b.queued = false;
    }
    returned_.notify_all();
}

bool BufferRing::WaitForQueued(int timeoutMs) {
    const auto anyQueued = [this] {
        for (const Buffer& b : buffers_) {
            if (b.queued) return true;
        }
        return false;
    };
    std::unique_lock<std::mutex> lock(mutex_);
    return returned_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return stopped_ || lost_ || anyQueued(); }) &&
           !stopped_;
}

}  // namespace sv::platform::v4l2
