#include "platform/linux/LinuxReader.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include <fmt/format.h>

#include "base/Logger.h"
#include "platform/backend/MfIds.h"
#include "platform/linux/StreamBuffers.h"
#include "platform/linux/VideoNodes.h"

namespace sv::platform::v4l2 {

namespace {

bool IsVideoStream(uint32_t stream) { return stream == 0 || stream == mf::MF_SOURCE_READER_FIRST_VIDEO_STREAM; }

std::string FourCcText(uint32_t code) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((code >> (8 * i)) & 0xFF);
        text.push_back(c >= 0x20 && c < 0x7F ? c : '?');
    }
    return text;
}

// The V4L2 pixel format of a media-type subtype (the inverse of
// SubtypeForPixelFormat): YUY2 is YUYV, other subtypes carry their fourcc.
uint32_t PixelFormatOf(const Guid& subtype) {
    if (subtype == mf::MFVideoFormat_YUY2) return V4L2_PIX_FMT_YUYV;
    return subtype.data1;
}

struct TypeKey {
    Guid major;
    Guid subtype;
    uint64_t size = 0;
    uint64_t rate = 0;
    bool hasRate = false;
};

bool ReadKey(const MediaType& type, TypeKey& key) {
    key.hasRate = type.GetUINT64(mf::MF_MT_FRAME_RATE, key.rate) == HR_S_OK;
    return type.GetGUID(mf::MF_MT_MAJOR_TYPE, key.major) == HR_S_OK &&
           type.GetGUID(mf::MF_MT_SUBTYPE, key.subtype) == HR_S_OK &&
           type.GetUINT64(mf::MF_MT_FRAME_SIZE, key.size) == HR_S_OK;
}

class LinuxReaderCore : public std::enable_shared_from_this<LinuxReaderCore> {
public:
    LinuxReaderCore(std::shared_ptr<SysCalls> calls, std::string devicePath,
                    std::vector<std::shared_ptr<const MediaType>> types, std::shared_ptr<SampleCallback> callback)
        : calls_(std::move(calls)), devicePath_(std::move(devicePath)), types_(std::move(types)),
          callback_(std::move(callback)) {}

    ~LinuxReaderCore() {
        if (worker_.joinable()) worker_.detach();
    }

    void Start() {
        auto self = shared_from_this();
        worker_ = std::thread([self] { self->Run(); });
    }

    // Ends the worker and the stream; pending requests are dropped without a
    // callback. Buffers lent out in samples stay mapped until those go.
    void Stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return;
            stopping_ = true;
            pending_ = 0;
            flushes_.clear();
            StopStreamLocked();
        }
        cv_.notify_all();
        if (worker_.joinable()) {
            // Released from inside its own callback: the worker ends by itself.
            if (worker_.get_id() == std::this_thread::get_id()) worker_.detach();
            else worker_.join();
        }
    }

    HResult GetNativeMediaType(uint32_t stream, uint32_t index, std::shared_ptr<MediaType>& type) {
        type.reset();
        if (!IsVideoStream(stream)) return HR_MF_E_INVALIDSTREAMNUMBER;
        if (index >= types_.size()) return HR_MF_E_NO_MORE_TYPES;
        type = std::make_shared<MediaType>(*types_[index]);
        return HR_S_OK;
    }

    HResult SetCurrentMediaType(uint32_t stream, const MediaType& type) {
        constexpr const char* kWhere = "LinuxSourceReader::SetCurrentMediaType";
        if (!IsVideoStream(stream)) return HR_MF_E_INVALIDSTREAMNUMBER;
        TypeKey wanted;
        if (!ReadKey(type, wanted)) return HR_MF_E_INVALIDMEDIATYPE;
        std::size_t match = types_.size();
        for (std::size_t i = 0; i < types_.size() && match == types_.size(); ++i) {
            TypeKey native;
            if (!ReadKey(*types_[i], native)) continue;
            if (native.major == wanted.major && native.subtype == wanted.subtype && native.size == wanted.size &&
                (!wanted.hasRate || native.rate == wanted.rate)) {
                match = i;
            }
        }
        if (match == types_.size()) return HR_MF_E_INVALIDMEDIATYPE;

        std::unique_lock<std::mutex> lock(mutex_);
        if (stopping_) return HR_MF_E_SHUTDOWN;
        if (gone_) return HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED;
        if (streaming_) StopStreamLocked();
        // The driver takes no new format while buffers of the old stream
        // are mapped.
        WaitForWorkerToLetGo(lock);
        const HResult hr = ApplyFormatLocked(*types_[match]);
        if (Failed(hr)) {
            SV_LOGE(kWhere, "{}: format {} not taken, errMsg = 0x{:08X}", devicePath_, match,
                    static_cast<uint32_t>(hr));
            return hr;
        }
        current_ = match;
        return HR_S_OK;
    }

    HResult GetCurrentMediaType(uint32_t stream, std::shared_ptr<MediaType>& type) {
        type.reset();
        if (!IsVideoStream(stream)) return HR_MF_E_INVALIDSTREAMNUMBER;
        std::lock_guard<std::mutex> lock(mutex_);
        if (gone_) return HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED;
        if (types_.empty()) return HR_MF_E_INVALIDREQUEST;
        type = std::make_shared<MediaType>(*types_[current_]);
        return HR_S_OK;
    }

    HResult ReadSample(uint32_t stream, uint32_t) {
        if (!IsVideoStream(stream) && stream != mf::MF_SOURCE_READER_ANY_STREAM) return HR_MF_E_INVALIDSTREAMNUMBER;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (stopping_) return HR_MF_E_SHUTDOWN;
            if (gone_) return HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED;
            if (!streaming_) {
                const HResult hr = StartStreamLocked(lock);
                if (Failed(hr)) return hr;
            }
            ++pending_;
        }
        cv_.notify_all();
        return HR_S_OK;
    }

    HResult Flush(uint32_t stream) {
        if (!IsVideoStream(stream) && stream != mf::MF_SOURCE_READER_ALL_STREAMS) return HR_MF_E_INVALIDSTREAMNUMBER;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return HR_MF_E_SHUTDOWN;
            pending_ = 0;
            flushes_.push_back(stream);
        }
        cv_.notify_all();
        return HR_S_OK;
    }

private:
    // S_FMT (and S_PARM for the rate) of `type`. A format the driver changes
    // is refused: frames of another size or layout than the caller chose
    // would be misread above. The rate is the driver's to keep: a driver may
    // have no rate control (S_PARM refused) or run at the supported interval
    // nearest to the one asked; either is logged as a warning and the format
    // stands, since the frames are the ones chosen. Only a busy or vanished
    // device fails here.
    HResult ApplyFormatLocked(const MediaType& type) {
        constexpr const char* kWhere = "LinuxSourceReader::SetCurrentMediaType";
        TypeKey key;
        if (!ReadKey(type, key)) return HR_MF_E_INVALIDMEDIATYPE;
        const HResult opened = OpenLocked();
        if (Failed(opened)) return opened;
        v4l2_format format{};
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        format.fmt.pix.width = PairHigh(key.size);
        format.fmt.pix.height = PairLow(key.size);
        format.fmt.pix.pixelformat = PixelFormatOf(key.subtype);
        format.fmt.pix.field = V4L2_FIELD_ANY;
        const v4l2_pix_format wanted = format.fmt.pix;
        int rc = file_->Ioctl(VIDIOC_S_FMT, &format);
        if (rc < 0) {
            SV_LOGE(kWhere, "{}: VIDIOC_S_FMT failed ({})", devicePath_, std::strerror(-rc));
            if (rc == -ENODEV || rc == -ENXIO) gone_ = true;
            return VideoResultFromErrno(rc, HR_MF_E_INVALIDMEDIATYPE);
        }
        if (format.fmt.pix.width != wanted.width || format.fmt.pix.height != wanted.height ||
            format.fmt.pix.pixelformat != wanted.pixelformat) {
            SV_LOGE(kWhere, "{}: the driver changed {}x{} {} to {}x{} {}", devicePath_, wanted.width, wanted.height,
                    FourCcText(wanted.pixelformat), format.fmt.pix.width, format.fmt.pix.height,
                    FourCcText(format.fmt.pix.pixelformat));
            return HR_MF_E_INVALIDMEDIATYPE;
        }
        uint32_t sampleSize = 0;
        minimumBytes_ = type.GetUINT32(mf::MF_MT_SAMPLE_SIZE, sampleSize) == HR_S_OK ? sampleSize : 1;
        if (key.hasRate && PairHigh(key.rate) != 0 && PairLow(key.rate) != 0) {
            v4l2_streamparm parm{};
            parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            // A rate of n/d frames per second is an interval of d/n seconds.
            parm.parm.capture.timeperframe.numerator = PairLow(key.rate);
            parm.parm.capture.timeperframe.denominator = PairHigh(key.rate);
            const v4l2_fract asked = parm.parm.capture.timeperframe;
            rc = file_->Ioctl(VIDIOC_S_PARM, &parm);
            if (rc == -EBUSY || rc == -ENODEV || rc == -ENXIO) return VideoResultFromErrno(rc, HR_E_FAIL);
            const v4l2_fract& set = parm.parm.capture.timeperframe;
            if (rc < 0) {
                SV_LOGW(kWhere, "{}: VIDIOC_S_PARM of {}/{} s per frame not taken ({}); the driver keeps its rate",
                        devicePath_, asked.numerator, asked.denominator, std::strerror(-rc));
            } else if (set.numerator != 0 && set.denominator != 0 &&
                       uint64_t{set.numerator} * asked.denominator != uint64_t{asked.numerator} * set.denominator) {
                SV_LOGW(kWhere, "{}: the driver runs at {}/{} s per frame, not the {}/{} asked", devicePath_,
                        set.numerator, set.denominator, asked.numerator, asked.denominator);
            }
        }
        return HR_S_OK;
    }

    // The node stays open from the first format or request on: a reader made
    // only to list the formats does not hold the device.
    HResult OpenLocked() {
        if (file_) return HR_S_OK;
        const int fd = calls_->Open(devicePath_, O_RDWR | O_NONBLOCK);
        if (fd < 0) {
            SV_LOGE("LinuxSourceReader", "{}: open failed ({})", devicePath_, std::strerror(-fd));
            if (fd == -ENOENT || fd == -ENODEV || fd == -ENXIO) gone_ = true;
            return VideoResultFromErrno(fd, HR_E_FAIL);
        }
        file_ = std::make_shared<NodeFile>(calls_, fd);
        return HR_S_OK;
    }

    // A stream just stopped may still be in the worker's hands for the rest
    // of its poll slice; its buffers are unmapped when the worker lets go.
    // Bounded: a worker held up in the caller's callback must not hang the
    // caller, which then meets the driver's busy answer.
    void WaitForWorkerToLetGo(std::unique_lock<std::mutex>& lock) {
        if (worker_.get_id() == std::this_thread::get_id()) return;
        cv_.wait_for(lock, std::chrono::milliseconds(kWorkerLetGoMs), [this] { return !workerHoldsRing_; });
    }

    HResult StartStreamLocked(std::unique_lock<std::mutex>& lock) {
        constexpr const char* kWhere = "LinuxSourceReader::ReadSample";
        if (types_.empty()) return HR_MF_E_INVALIDREQUEST;
        WaitForWorkerToLetGo(lock);
        if (!lastRing_.expired()) {
            // The driver cannot give out new buffers while old ones are mapped.
            SV_LOGE(kWhere, "{}: a frame of the previous stream is still held", devicePath_);
            return HR_MF_E_INVALIDREQUEST;
        }
        HResult hr = ApplyFormatLocked(*types_[current_]);
        if (Failed(hr)) return hr;
        std::shared_ptr<BufferRing> ring;
        int rc = BufferRing::Create(file_, kStreamBuffers, ring);
        const char* step = "VIDIOC_REQBUFS";
        if (rc >= 0) {
            rc = ring->QueueAll();
            step = "VIDIOC_QBUF";
        }
        if (rc >= 0) {
            int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            rc = file_->Ioctl(VIDIOC_STREAMON, &type);
            step = "VIDIOC_STREAMON";
        }
        if (rc < 0) {
            SV_LOGE(kWhere, "{}: {} failed ({})", devicePath_, step, std::strerror(-rc));
            if (ring) ring->Stop();
            if (rc == -ENODEV || rc == -ENXIO) gone_ = true;
            return VideoResultFromErrno(rc, HR_MF_E_HW_MFT_FAILED_START_STREAMING);
        }
        ring_ = std::move(ring);
        lastRing_ = ring_;
        streaming_ = true;
        return HR_S_OK;
    }

    void StopStreamLocked() {
        if (!streaming_) return;
        streaming_ = false;
        ring_->Stop();
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        (void)file_->Ioctl(VIDIOC_STREAMOFF, &type);
        ring_.reset();  // unmapped once the last lent buffer comes back
    }

    // The device went away: the stream ends, every request answers with the
    // device's failure.
    void LoseDeviceLocked(const char* why) {
        if (!gone_) SV_LOGE("LinuxSourceReader", "{}: the device went away ({})", devicePath_, why);
        gone_ = true;
        StopStreamLocked();
    }

    void Deliver(HResult status, const std::shared_ptr<Sample>& sample, int64_t timestamp) {
        const uint32_t flags = Failed(status) ? mf::MF_SOURCE_READERF_ERROR : 0;
        callback_->OnReadSample(status, 0, flags, timestamp, sample);
    }

    // A dequeued buffer that holds no usable frame: marked corrupt by the
    // driver, empty, or shorter than an uncompressed frame of the format.
    bool Unusable(const BufferRing& ring, const v4l2_buffer& buffer, uint32_t minimumBytes) const {
        const bool corrupt = (buffer.flags & V4L2_BUF_FLAG_ERROR) != 0;
        const bool shortFrame = buffer.bytesused == 0 || buffer.bytesused < minimumBytes ||
                                buffer.bytesused > ring.Length(buffer.index);
        if (corrupt || shortFrame) {
            SV_LOGD("LinuxSourceReader::Worker", "{}: frame {} dropped ({} bytes{})", devicePath_, buffer.sequence,
                    buffer.bytesused, corrupt ? ", marked corrupt" : ", short");
        }
        return corrupt || shortFrame;
    }

    // Answers one request with `buffer`, or queues it again when nobody asks
    // for it any more. Called and returns with the lock held.
    void Answer(const std::shared_ptr<BufferRing>& ring, const v4l2_buffer& buffer,
                std::unique_lock<std::mutex>& lock) {
        if (pending_ == 0 || ring_ != ring) {
            lock.unlock();
            (void)ring->Requeue(buffer.index);
            lock.lock();
            return;
        }
        --pending_;
        lock.unlock();
        const int64_t timestamp = static_cast<int64_t>(buffer.timestamp.tv_sec) * 10000000 +
                                  static_cast<int64_t>(buffer.timestamp.tv_usec) * 10;
        auto sample = std::make_shared<Sample>(ring->Data(buffer.index), buffer.bytesused, ring->Lend(buffer.index),
                                               timestamp);
        Deliver(HR_S_OK, sample, timestamp);
        sample.reset();  // back to the driver unless the callback kept it
        lock.lock();
    }

    void Run() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stopping_) {
            if (!flushes_.empty()) {
                const uint32_t stream = flushes_.front();
                flushes_.pop_front();
                lock.unlock();
                callback_->OnFlush(stream);
                lock.lock();
                continue;
            }
            if (gone_ && pending_ > 0) {
                --pending_;
                lock.unlock();
                Deliver(HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED, nullptr, 0);
                lock.lock();
                continue;
            }
            if (!streaming_ || pending_ == 0) {
                // Nothing asked: the buffers stay with the driver.
                cv_.wait(lock, [this] {
                    return stopping_ || !flushes_.empty() || (pending_ > 0 && (streaming_ || gone_));
                });
                continue;
            }
            // What the poll needs, taken under the lock: a new format may
            // change them meanwhile.
            {
                const Streamed streamed{ring_, file_, minimumBytes_};
                workerHoldsRing_ = true;
                lock.unlock();
                PollOnce(streamed, lock);
            }
            workerHoldsRing_ = false;
            cv_.notify_all();
        }
    }

    // Waits one slice for frames; takes every frame that is ready and keeps
    // the newest usable one, so a request after a pause gets a fresh frame
    // and not one the driver filled long ago. Returns with the lock held.
    struct Streamed {
        std::shared_ptr<BufferRing> ring;
        std::shared_ptr<NodeFile> file;
        uint32_t minimumBytes;
    };

    void PollOnce(const Streamed& streamed, std::unique_lock<std::mutex>& lock) {
        const std::shared_ptr<BufferRing>& ring = streamed.ring;
        const NodeFile& file = *streamed.file;
        if (!ring->WaitForQueued(kPollSliceMs)) {
            // Every buffer is lent out (or the stream stopped).
            lock.lock();
            return;
        }
        SysCalls& calls = file.Calls();
        pollfd p{};
        p.fd = file.Fd();
        p.events = POLLIN;
        const int ready = calls.Poll(&p, 1, kPollSliceMs);
        if (ready == 0 || ready == -EINTR) {
            lock.lock();
            return;
        }
        int rc = ready < 0 ? ready : 0;
        bool have = false;
        v4l2_buffer best{};
        for (uint32_t taken = 0; rc >= 0 && taken < ring->Count(); ++taken) {
            v4l2_buffer buffer{};
            buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buffer.memory = V4L2_MEMORY_MMAP;
            rc = file.Ioctl(VIDIOC_DQBUF, &buffer);
            if (rc < 0) break;
            if (buffer.index >= ring->Count()) {
                rc = -EINVAL;
                break;
            }
            ring->MarkDequeued(buffer.index);
            if (Unusable(*ring, buffer, streamed.minimumBytes)) {
                (void)ring->Requeue(buffer.index);
            } else {
                if (have) (void)ring->Requeue(best.index);
                best = buffer;
                have = true;
            }
            pollfd more{};
            more.fd = p.fd;
            more.events = POLLIN;
            if (calls.Poll(&more, 1, 0) <= 0 || (more.revents & POLLIN) == 0) break;
        }
        lock.lock();
        if (have) {
            Answer(ring, best, lock);
            return;
        }
        if (ring_ != ring || rc >= 0) return;  // stopped meanwhile, or only unusable frames
        const bool pollError = (p.revents & (POLLERR | POLLHUP)) != 0;
        if (rc == -EAGAIN && !pollError) return;  // woken without a frame
        if (rc == -ENODEV || rc == -ENXIO || rc == -EIO || (p.revents & POLLHUP) != 0) {
            LoseDeviceLocked(rc == -EAGAIN ? "hang-up" : std::strerror(-rc));
            return;
        }
        // Any other failure ends this stream; the next request starts another.
        SV_LOGE("LinuxSourceReader::Worker", "{}: the stream failed ({})", devicePath_, std::strerror(-rc));
        StopStreamLocked();
        const uint32_t failed = pending_;
        pending_ = 0;
        lock.unlock();
        for (uint32_t i = 0; i < failed; ++i) Deliver(HR_MF_E_HW_MFT_FAILED_START_STREAMING, nullptr, 0);
        lock.lock();
    }

    const std::shared_ptr<SysCalls> calls_;
    const std::string devicePath_;
    const std::vector<std::shared_ptr<const MediaType>> types_;
    const std::shared_ptr<SampleCallback> callback_;

    std::mutex mutex_;
    std::condition_variable cv_;
    std::shared_ptr<NodeFile> file_;  // opened on first need, kept while a lent buffer needs it
    std::size_t current_ = 0;
    uint32_t minimumBytes_ = 1;
    bool streaming_ = false;
    bool gone_ = false;
    bool stopping_ = false;
    uint32_t pending_ = 0;
    bool workerHoldsRing_ = false;  // a poll slice holds a ring outside the lock
    std::deque<uint32_t> flushes_;
    std::shared_ptr<BufferRing> ring_;
    std::weak_ptr<BufferRing> lastRing_;
    std::thread worker_;
};

class LinuxSourceReader final : public SourceReader {
public:
    explicit LinuxSourceReader(std::shared_ptr<LinuxReaderCore> core) : core_(std::move(core)) {}
    ~LinuxSourceReader() override { core_->Stop(); }

    HResult GetNativeMediaType(uint32_t stream, uint32_t index, std::shared_ptr<MediaType>& type) override {
        return core_->GetNativeMediaType(stream, index, type);
    }
    HResult SetCurrentMediaType(uint32_t stream, const MediaType& type) override {
        return core_->SetCurrentMediaType(stream, type);
    }
    HResult GetCurrentMediaType(uint32_t stream, std::shared_ptr<MediaType>& type) override {
        return core_->GetCurrentMediaType(stream, type);
    }
    HResult ReadSample(uint32_t stream, uint32_t controlFlags) override {
        return core_->ReadSample(stream, controlFlags);
    }
    HResult Flush(uint32_t stream) override { return core_->Flush(stream); }

private:
    std::shared_ptr<LinuxReaderCore> core_;
};

}  // namespace

HResult CreateLinuxReader(std::shared_ptr<SysCalls> calls, const std::string& devicePath,
                          std::vector<std::shared_ptr<const MediaType>> types,
                          std::shared_ptr<SampleCallback> callback, std::shared_ptr<SourceReader>& reader) {
    reader.reset();
    if (!callback) return HR_E_POINTER;
    auto core = std::make_shared<LinuxReaderCore>(std::move(calls), devicePath, std::move(types), std::move(callback));
    core->Start();
    reader = std::make_shared<LinuxSourceReader>(std::move(core));
    return HR_S_OK;
}

}  // namespace sv::platform::v4l2
