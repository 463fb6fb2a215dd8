// Streaming through the Linux back-end over the fake kernel: format choice,
// buffers, one callback per request, samples that are views of the mapped
// buffers, flush, and the faults of a real camera. Every test ends with
// nothing mapped, no driver buffer held and no descriptor open.

#include <linux/videodev2.h>
#include <poll.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/Config.h"
#include "common/LogCapture.h"
#include "linux/FakeKernel.h"
#include "linux/LinuxFixture.h"
#include "platform/CameraStreamer.h"
#include "platform/PlatformCameraList.h"
#include "platform/backend/Backend.h"
#include "platform/backend/MfIds.h"
#include "platform/linux/LinuxBackend.h"
#include "platform/linux/LinuxReader.h"

namespace {

using namespace sv::platform;
using sv::test::FakeKernel;
using sv::test::FakeNode;

constexpr uint32_t kFrameBytes = 640 * 480 * 2;

FakeNode Camera() {
    FakeNode n;
    n.name = "video0";
    n.card = "Stream Cam";
    n.deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    n.vendorId = 0x2c5c;
    n.productId = 0x0103;
    n.serial = "ST0001";
    n.devpath = "3";
    n.formats = {
        {V4L2_PIX_FMT_YUYV, false, {{640, 480, {{1, 30}}}, {320, 240, {{1, 30}}}}},
        {V4L2_PIX_FMT_MJPEG, true, {{1280, 720, {{1, 30}}}}},
    };
    return n;
}

// Records every delivery, keeping the samples until the test lets them go.
class Recorder final : public SampleCallback {
public:
    struct Delivery {
        HResult status = 0;
        uint32_t flags = 0;
        std::shared_ptr<Sample> sample;
        std::thread::id thread;
    };

    void OnReadSample(HResult status, uint32_t, uint32_t flags, int64_t,
                      const std::shared_ptr<Sample>& sample) override {
        std::lock_guard<std::mutex> lock(mutex_);
        deliveries_.push_back({status, flags, sample, std::this_thread::get_id()});
        cv_.notify_all();
    }
    void OnFlush(uint32_t) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++flushes_;
        cv_.notify_all();
    }
    bool WaitForDeliveries(std::size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, std::chrono::seconds(5), [&] { return deliveries_.size() >= count; });
    }
    bool WaitForFlushes(int count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, std::chrono::seconds(5), [&] { return flushes_ >= count; });
    }
    Delivery At(std::size_t i) {
        std::lock_guard<std::mutex> lock(mutex_);
        return deliveries_.at(i);
    }
    std::size_t Count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return deliveries_.size();
    }
    // Lets every held sample go (their buffers go back to the driver).
    void Release() {
        std::vector<std::shared_ptr<Sample>> taken;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (auto& d : deliveries_) taken.push_back(std::move(d.sample));
        }
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Delivery> deliveries_;
    int flushes_ = 0;
};

uint32_t SequenceOf(const Sample& sample) {
    const uint8_t* data = nullptr;
    uint32_t length = 0;
    EXPECT_EQ(sample.Lock(data, length), HR_S_OK);
    uint32_t sequence = 0;
    if (data != nullptr && length >= 4) std::memcpy(&sequence, data, 4);
    sample.Unlock();
    return sequence;
}

class LinuxStreamTest : public sv::test::LinuxFixture {
protected:
    void Install(std::vector<FakeNode> nodes) {
        InstallNodes(std::move(nodes), true);
        if (HasFatalFailure()) return;
        recorder_ = std::make_shared<Recorder>();
        ASSERT_EQ(source_->CreateSourceReader(recorder_, reader_), HR_S_OK);
    }
    // Type `index` made current, on `reader` (the fixture's by default).
    // Installs `node`, chooses its 15 frames per second type and returns
    // what the library logged meanwhile.
    std::string ChooseFifteenPerSecond(const FakeNode& node);
    HResult Choose(uint32_t index, SourceReader* reader = nullptr) {
        if (reader == nullptr) reader = reader_.get();
        std::shared_ptr<MediaType> type;
        EXPECT_EQ(reader->GetNativeMediaType(0, index, type), HR_S_OK);
        return type ? reader->SetCurrentMediaType(0, *type) : HR_E_FAIL;
    }
    void ExpectNothingLeft() {
        recorder_->Release();
        reader_.reset();
        EXPECT_EQ(kernel_->MappedCount(), 0u);
        EXPECT_EQ(kernel_->BufferCount("video0"), 0u);
        EXPECT_EQ(kernel_->OpenCount(), 0u);
        EXPECT_FALSE(kernel_->Streaming("video0"));
    }
    void TearDown() override {
        reader_.reset();
        recorder_.reset();
        LinuxFixture::TearDown();
    }

    std::shared_ptr<Recorder> recorder_;
    std::shared_ptr<SourceReader> reader_;
};

TEST_F(LinuxStreamTest, EachRequestGetsOneFrameOnTheWorkerThread) {
    Install({Camera()});
    ASSERT_EQ(Choose(0), HR_S_OK);
    EXPECT_EQ(kernel_->CurrentWidth("video0"), 640u);
    // Choosing a format maps nothing yet.
    EXPECT_EQ(kernel_->MappedCount(), 0u);
    uint32_t last = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        ASSERT_EQ(reader_->ReadSample(0, 0), HR_S_OK);
        ASSERT_TRUE(recorder_->WaitForDeliveries(i + 1));
        const auto d = recorder_->At(i);
        EXPECT_EQ(d.status, HR_S_OK);
        EXPECT_EQ(d.flags, 0u);
        EXPECT_NE(d.thread, std::this_thread::get_id());
        ASSERT_TRUE(d.sample);
        EXPECT_EQ(d.sample->GetCurrentLength(), kFrameBytes);
        const uint32_t sequence = SequenceOf(*d.sample);
        if (i > 0) {
            EXPECT_GT(sequence, last);
        }
        last = sequence;
        recorder_->Release();
    }
    EXPECT_EQ(kernel_->MappedCount(), v4l2::kStreamBuffers);
    EXPECT_TRUE(kernel_->Streaming("video0"));
    // No request, no frame taken from the driver: the worker goes round
    // its loop (the flush notice) without dequeuing.
    const uint32_t dequeued = kernel_->IoctlCount(VIDIOC_DQBUF);
    ASSERT_EQ(reader_->Flush(0), HR_S_OK);
    ASSERT_TRUE(recorder_->WaitForFlushes(1));
    EXPECT_EQ(kernel_->IoctlCount(VIDIOC_DQBUF), dequeued);
    EXPECT_EQ(recorder_->Count(), 3u);
    ExpectNothingLeft();
}

TEST_F(LinuxStreamTest, ASampleIsAViewOfItsBufferWhichReturnsWhenTheSampleGoes) {
    Install({Camera()});
    ASSERT_EQ(Choose(0), HR_S_OK);
    // Every buffer lent out: the next request waits for one to come back.
    for (std::size_t i = 0; i < v4l2::kStreamBuffers; ++i) {
        ASSERT_EQ(reader_->ReadSample(0, 0), HR_S_OK);
        ASSERT_TRUE(recorder_->WaitForDeliveries(i + 1));
    }
    std::vector<const uint8_t*> views;
    for (std::size_t i = 0; i < v4l2::kStreamBuffers; ++i) {
        const uint8_t* data = nullptr;
        uint32_t length = 0;
        ASSERT_EQ(recorder_->At(i).sample->Lock(data, length), HR_S_OK);
        views.push_back(data);
    }
    // Four distinct buffers, no copies.
    std::sort(views.begin(), views.end());
    EXPECT_EQ(std::unique(views.begin(), views.end()), views.end());
    ASSERT_EQ(reader_->ReadSample(0, 0), HR_S_OK);
    EXPECT_EQ(recorder_->Count(), v4l2::kStreamBuffers);
    recorder_->Release();
    ASSERT_TRUE(recorder_->WaitForDeliveries(v4l2::kStreamBuffers + 1));
    EXPECT_EQ(recorder_->At(v4l2::kStreamBuffers).status, HR_S_OK);
    ExpectNothingLeft();
}

TEST_F(LinuxStreamTest, ASampleHeldPastTheReaderKeepsItsBufferMappedUntilReleased) {
    Install({Camera()});
    ASSERT_EQ(Choose(0), HR_S_OK);
    ASSERT_EQ(reader_->ReadSample(0, 0), HR_S_OK);
    ASSERT_TRUE(recorder_->WaitForDeliveries(1));
    auto held = recorder_->At(0).sample;
    recorder_->Release();
    reader_.reset();
    EXPECT_FALSE(kernel_->Streaming("video0"));
    // The frame is still readable; the node stays open for it.
    EXPECT_EQ(held->GetCurrentLength(), kFrameBytes);
    EXPECT_EQ(SequenceOf(*held), SequenceOf(*held));
    EXPECT_GT(kernel_->MappedCount(), 0u);
    EXPECT_EQ(kernel_->OpenCount(), 1u);
    held.reset();
    EXPECT_EQ(kernel_->MappedCount(), 0u);
    EXPECT_EQ(kernel_->BufferCount("video0"), 0u);
    EXPECT_EQ(kernel_->OpenCount(), 0u);
}

TEST_F(LinuxStreamTest, AFormatTheDriverChangesIsRefused) {
    FakeNode node = Camera();
    node.changesFormat = true;
    Install({node});
    sv::test::LogCapture log;
    // The driver answers 640x480 YUYV for 320x240.
    EXPECT_EQ(Choose(1), HR_MF_E_INVALIDMEDIATYPE);
    EXPECT_TRUE(log.Contains("the driver changed 320x240 YUYV to 640x480 YUYV")) << log.Text();
    // What the driver does take is still taken.
    EXPECT_EQ(Choose(0), HR_S_OK);
    std::shared_ptr<MediaType> current;
    ASSERT_EQ(reader_->GetCurrentMediaType(0, current), HR_S_OK);
    uint64_t size = 0;
    ASSERT_EQ(current->GetUINT64(mf::MF_MT_FRAME_SIZE, size), HR_S_OK);
    EXPECT_EQ(size, PackPair(640, 480));
    ExpectNothingLeft();
}

TEST_F(LinuxStreamTest, ATypeThatIsNotNativeIsRefusedWithoutAskingTheDriver) {
    Install({Camera()});
    MediaType odd;
    odd.SetGUID(mf::MF_MT_MAJOR_TYPE, mf::MFMediaType_Video);
    odd.SetGUID(mf::MF_MT_SUBTYPE, mf::MFVideoFormat_YUY2);
    odd.SetUINT64(mf::MF_MT_FRAME_SIZE, PackPair(800, 600));
    EXPECT_EQ(reader_->SetCurrentMediaType(0, odd), HR_MF_E_INVALIDMEDIATYPE);
    EXPECT_EQ(kernel_->IoctlCount(VIDIOC_S_FMT), 0u);
    std::shared_ptr<MediaType> type;
    ASSERT_EQ(reader_->GetNativeMediaType(0, 0, type), HR_S_OK);
    EXPECT_EQ(reader_->SetCurrentMediaType(1, *type), HR_MF_E_INVALIDSTREAMNUMBER);
    EXPECT_EQ(reader_->ReadSample(7, 0), HR_MF_E_INVALIDSTREAMNUMBER);
    ExpectNothingLeft();
}

TEST_F(LinuxStreamTest, ABusyCameraIsAccessDeniedWithNothingMapped) {
    FakeNode node = Camera();
    node.busy = true;
    Install({node});
    EXPECT_EQ(Choose(0), HR_E_ACCESSDENIED);
    EXPECT_EQ(reader_->ReadSample(0, 0), HR_E_ACCESSDENIED);
    EXPECT_EQ(kernel_->MappedCount(), 0u);
    EXPECT_EQ(recorder_->Count(), 0u);
    ExpectNothingLeft();
}

TEST_F(LinuxStreamTest, AnotherReaderStreamingMakesTheSecondBusy) {
    Install({Camera()});
    ASSERT_EQ(Choose(0), HR_S_OK);
    ASSERT_EQ(reader_->ReadSample(0, 0), HR_S_OK);
    ASSERT_TRUE(recorder_->WaitForDeliveries(1));
    auto second = std::make_shared<Recorder>();
    std::shared_ptr<SourceReader> other;
    ASSERT_EQ(source_->CreateSourceReader(second, other), HR_S_OK);
    EXPECT_EQ(Choose(0, other.get()), HR_E_ACCESSDENIED);
    EXPECT_EQ(other->ReadSample(0, 0), HR_E_ACCESSDENIED);
    other.reset();
    ExpectNothingLeft();
}

TEST_F(LinuxStreamTest, AnUnplugMidStreamFailsTheRequestAndEveryLaterOne) {
    FakeNode node = Camera();
    node.unplugAfterFrames = 1;
    Install({node});
    ASSERT_EQ(Choose(0), HR_S_OK);
    ASSERT_EQ(reader_->ReadSample(0, 0), HR_S_OK);
    ASSERT_TRUE(recorder_->WaitForDeliveries(1));
    EXPECT_EQ(recorder_->At(0).status, HR_S_OK);
    ASSERT_EQ(reader_->ReadSample(0, 0), HR_S_OK);
    ASSERT_TRUE(recorder_->WaitForDeliveries(2));
    const auto failed = recorder_->At(1);
    EXPECT_EQ(failed.status, HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED);
    EXPECT_EQ(failed.flags, mf::MF_SOURCE_READERF_ERROR);
    EXPECT_FALSE(failed.sample);
    EXPECT_EQ(reader_->ReadSample(0, 0), HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED);
    std::shared_ptr<MediaType> type;
    EXPECT_EQ(reader_->GetCurrentMediaType(0, type), HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED);
    // The frame delivered before the unplug is still whole.
    EXPECT_EQ(recorder_->At(0).sample->GetCurrentLength(), kFrameBytes);
    ExpectNothingLeft();
}

// The queued buffers come back flagged as errors before the node goes; they
// cannot be queued again, and the waiting request ends with the unplug.
TEST_F(LinuxStreamTest, AnUnplugWhileARequestWaitsEndsThatRequest) {
    FakeNode node = Camera();
    node.stalls = true;
    Install({node});
    ASSERT_EQ(Choose(0), HR_S_OK);
    ASSERT_EQ(reader_->ReadSample(0, 0), HR_S_OK);
    kernel_->Unplug("video0");
    ASSERT_TRUE(recorder_->WaitForDeliveries(1));
    EXPECT_EQ(recorder_->At(0).status, HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED);
    ExpectNothingLeft();
}

// Damaged frames reach the reader only where the driver hands them over:
// uvcvideo with `nodrop` flags them as errors, another driver may hand a
// short frame over unflagged. Neither is ever delivered.
class DamagedFrames : public LinuxStreamTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DamagedFrames, AreNeverDelivered) {
    const bool flaggedByUvcvideo = GetParam();
    FakeNode node = Camera();
    if (flaggedByUvcvideo) {
        node.noDrop = true;
        for (uint32_t i = 0; i < 8; ++i) node.corruptFrames.insert(i);
    } else {
        node.driver = "sv-test";
        for (uint32_t i = 0; i < 8; ++i) node.shortFrames.insert(i);
    }
    for (uint32_t i = 8; i < 12; ++i) node.shortFrames.insert(i);
    Install({node});
    ASSERT_EQ(Choose(0), HR_S_OK);
    ASSERT_EQ(reader_->ReadSample(0, 0), HR_S_OK);
    ASSERT_TRUE(recorder_->WaitForDeliveries(1));
    {
        const auto d = recorder_->At(0);
        ASSERT_EQ(d.status, HR_S_OK);
        ASSERT_TRUE(d.sample);
        EXPECT_EQ(d.sample->GetCurrentLength(), kFrameBytes);
        EXPECT_GE(SequenceOf(*d.sample), 12u);
    }
    EXPECT_EQ(recorder_->Count(), 1u);
    ExpectNothingLeft();
}

INSTANTIATE_TEST_SUITE_P(LinuxStreamTest, DamagedFrames, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? "FlaggedByUvcvideo" : "UnflaggedShortFrames";
                         });

// A camera that leaves the bus while the caller holds every buffer: the
// buffers it gets back cannot be queued again, and the request waiting for
// one still ends with the unplug result instead of waiting for ever.
TEST_F(LinuxStreamTest, AnUnplugWhileEveryBufferIsLentEndsTheWaitingRequestOnceTheyComeBack) {
    Install({Camera()});
    ASSERT_EQ(Choose(0), HR_S_OK);
    for (std::size_t i = 0; i < v4l2::kStreamBuffers; ++i) {
        ASSERT_EQ(reader_->ReadSample(0, 0), HR_S_OK);
        ASSERT_TRUE(recorder_->WaitForDeliveries(i + 1));
    }
    kernel_->Unplug("video0");
    ASSERT_EQ(reader_->ReadSample(0, 0), HR_S_OK);
    recorder_->Release();
    ASSERT_TRUE(recorder_->WaitForDeliveries(v4l2::kStreamBuffers + 1));
    const auto last = recorder_->At(v4l2::kStreamBuffers);
    EXPECT_EQ(last.status, HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED);
    EXPECT_FALSE(last.sample);
    EXPECT_EQ(reader_->ReadSample(0, 0), HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED);
    ExpectNothingLeft();
}

TEST_F(LinuxStreamTest, FlushDropsWaitingRequestsThenNotifies) {
    FakeNode node = Camera();
    node.stalls = true;
    Install({node});
    ASSERT_EQ(Choose(0), HR_S_OK);
    ASSERT_EQ(reader_->ReadSample(0, 0), HR_S_OK);
    ASSERT_EQ(reader_->ReadSample(0, 0), HR_S_OK);
    ASSERT_EQ(reader_->Flush(0), HR_S_OK);
    ASSERT_TRUE(recorder_->WaitForFlushes(1));
    EXPECT_EQ(recorder_->Count(), 0u);
    // A stalled stream does not hold up the reader's end.
    const auto start = std::chrono::steady_clock::now();
    ExpectNothingLeft();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(recorder_->Count(), 0u);
}

TEST_F(LinuxStreamTest, ANewFormatWhileStreamingRestartsTheStream) {
    Install({Camera()});
    ASSERT_EQ(Choose(0), HR_S_OK);
    ASSERT_EQ(reader_->ReadSample(0, 0), HR_S_OK);
    ASSERT_TRUE(recorder_->WaitForDeliveries(1));
    recorder_->Release();
    ASSERT_EQ(Choose(1), HR_S_OK);
    EXPECT_FALSE(kernel_->Streaming("video0"));
    EXPECT_EQ(kernel_->MappedCount(), 0u);
    ASSERT_EQ(reader_->ReadSample(0, 0), HR_S_OK);
    ASSERT_TRUE(recorder_->WaitForDeliveries(2));
    ASSERT_TRUE(recorder_->At(1).sample);
    EXPECT_EQ(recorder_->At(1).sample->GetCurrentLength(), 320u * 240 * 2);
    ExpectNothingLeft();
}

// Forwards to the fake kernel. Once armed, the next poll is held until the
// stream has been turned off: the worker then still has the stopped stream's
// buffers in hand when the caller goes on to the driver.
class HeldPoll final : public v4l2::SysCalls {
public:
    explicit HeldPoll(std::shared_ptr<FakeKernel> kernel) : kernel_(std::move(kernel)) {}

    void Arm() {
        std::lock_guard<std::mutex> lock(mutex_);
        armed_ = true;
        streamOff_ = false;
        holding_ = false;
    }
    bool WaitUntilHolding() {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, std::chrono::seconds(5), [&] { return holding_; });
    }

    int Open(const std::string& path, int flags) override { return kernel_->Open(path, flags); }
    int Close(int fd) override { return kernel_->Close(fd); }
    int Ioctl(int fd, unsigned long request, void* arg) override {
        const int rc = kernel_->Ioctl(fd, request, arg);
        if (request == VIDIOC_STREAMOFF) {
            std::lock_guard<std::mutex> lock(mutex_);
            streamOff_ = true;
            cv_.notify_all();
        }
        return rc;
    }
    void* Mmap(std::size_t length, int prot, int flags, int fd, off_t offset, int& error) override {
        return kernel_->Mmap(length, prot, flags, fd, offset, error);
    }
    int Munmap(void* address, std::size_t length) override { return kernel_->Munmap(address, length); }
    int Poll(struct pollfd* fds, nfds_t count, int timeoutMs) override {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (armed_) {
                armed_ = false;
                holding_ = true;
                cv_.notify_all();
                // Bounded so a broken reader fails the test instead of hanging it.
                cv_.wait_for(lock, std::chrono::seconds(5), [&] { return streamOff_; });
            }
        }
        return kernel_->Poll(fds, count, timeoutMs);
    }
    std::string SysfsRoot() const override { return kernel_->SysfsRoot(); }
    std::string DevRoot() const override { return kernel_->DevRoot(); }

private:
    std::shared_ptr<FakeKernel> kernel_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool armed_ = false;
    bool holding_ = false;
    bool streamOff_ = false;
};

TEST_F(LinuxStreamTest, ANewFormatWaitsForTheWorkerToLetGoOfTheStoppedStream) {
    std::shared_ptr<HeldPoll> gate;
    InstallNodes({Camera()}, true, [&](std::shared_ptr<FakeKernel> kernel) {
        gate = std::make_shared<HeldPoll>(std::move(kernel));
        return gate;
    });
    recorder_ = std::make_shared<Recorder>();
    ASSERT_EQ(source_->CreateSourceReader(recorder_, reader_), HR_S_OK);
    ASSERT_EQ(Choose(0), HR_S_OK);
    ASSERT_EQ(reader_->ReadSample(0, 0), HR_S_OK);
    ASSERT_TRUE(recorder_->WaitForDeliveries(1));
    recorder_->Release();

    // A request in flight: the worker is inside its poll with the stream's
    // buffers when the new format stops that stream.
    gate->Arm();
    ASSERT_EQ(reader_->ReadSample(0, 0), HR_S_OK);
    ASSERT_TRUE(gate->WaitUntilHolding());
    EXPECT_EQ(Choose(1), HR_S_OK) << "the driver was asked for a format while old buffers were mapped";
    EXPECT_EQ(kernel_->MappedCount(), 0u);
    EXPECT_EQ(kernel_->CurrentWidth("video0"), 320u);

    // The request that was in flight is still owed: it and the new one are
    // both answered with frames of the new format once the stream restarts.
    ASSERT_EQ(reader_->ReadSample(0, 0), HR_S_OK);
    ASSERT_TRUE(recorder_->WaitForDeliveries(3));
    for (std::size_t i = 1; i < 3; ++i) {
        ASSERT_TRUE(recorder_->At(i).sample);
        EXPECT_EQ(recorder_->At(i).sample->GetCurrentLength(), 320u * 240 * 2);
    }
    ExpectNothingLeft();
}

TEST_F(LinuxStreamTest, ANodeThatVanishedAfterEnumerationIsInvalidated) {
    Install({Camera()});
    kernel_->Unplug("video0");
    EXPECT_EQ(Choose(0), HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED);
    EXPECT_EQ(reader_->ReadSample(0, 0), HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED);
    std::shared_ptr<SourceReader> another;
    EXPECT_EQ(source_->CreateSourceReader(std::make_shared<Recorder>(), another),
              HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED);
    ExpectNothingLeft();
}

TEST_F(LinuxStreamTest, ACameraPluggedBackIsANewDeviceAndTheOldReaderStaysDead) {
    Install({Camera()});
    ASSERT_EQ(Choose(0), HR_S_OK);
    ASSERT_EQ(reader_->ReadSample(0, 0), HR_S_OK);
    ASSERT_TRUE(recorder_->WaitForDeliveries(1));
    recorder_->Release();
    kernel_->Unplug("video0");
    kernel_->Replug("video0");
    // The reader of the device's earlier life answers as unplugged.
    ASSERT_EQ(reader_->ReadSample(0, 0), HR_S_OK);
    ASSERT_TRUE(recorder_->WaitForDeliveries(2));
    EXPECT_EQ(recorder_->At(1).status, HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED);
    EXPECT_EQ(reader_->ReadSample(0, 0), HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED);

    // Enumerated again, the camera streams as a new device.
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    ASSERT_EQ(backend_->EnumDeviceSources(devices), HR_S_OK);
    ASSERT_EQ(devices.size(), 1u);
    std::shared_ptr<MediaSource> source;
    ASSERT_EQ(devices[0]->ActivateObject(source), HR_S_OK);
    auto recorder = std::make_shared<Recorder>();
    std::shared_ptr<SourceReader> reader;
    ASSERT_EQ(source->CreateSourceReader(recorder, reader), HR_S_OK);
    ASSERT_EQ(Choose(0, reader.get()), HR_S_OK);
    ASSERT_EQ(reader->ReadSample(0, 0), HR_S_OK);
    ASSERT_TRUE(recorder->WaitForDeliveries(1));
    EXPECT_EQ(recorder->At(0).status, HR_S_OK);
    EXPECT_EQ(SequenceOf(*recorder->At(0).sample), 0u) << "the new device's first frame";
    recorder->Release();
    reader.reset();
    source.reset();
    EXPECT_EQ(devices[0]->ShutdownObject(), HR_S_OK);
    ExpectNothingLeft();
}

// A camera whose 640x480 YUYV runs at 30, 15 or 29.97 frames a second.
FakeNode CameraWithRates() {
    FakeNode n = Camera();
    n.formats = {{V4L2_PIX_FMT_YUYV, false, {{640, 480, {{1, 30}, {1, 15}, {1001, 30000}}}}}};
    return n;
}

// The index of the native type whose frame rate is `numerator`/`denominator`
// frames a second; -1 when there is none.
int TypeWithRate(SourceReader& reader, uint32_t numerator, uint32_t denominator) {
    for (uint32_t i = 0;; ++i) {
        std::shared_ptr<MediaType> type;
        if (reader.GetNativeMediaType(0, i, type) != HR_S_OK) return -1;
        uint64_t rate = 0;
        if (type->GetUINT64(mf::MF_MT_FRAME_RATE, rate) == HR_S_OK && rate == PackPair(numerator, denominator)) {
            return static_cast<int>(i);
        }
    }
}

TEST_F(LinuxStreamTest, TheDriverIsAskedForTheFrameIntervalOfTheChosenRate) {
    Install({CameraWithRates()});
    struct Case {
        uint32_t rateNumerator, rateDenominator;  // frames per second
        std::pair<uint32_t, uint32_t> interval;   // seconds per frame
    } cases[] = {{15, 1, {1, 15}}, {30000, 1001, {1001, 30000}}, {30, 1, {1, 30}}};
    for (const Case& c : cases) {
        const int index = TypeWithRate(*reader_, c.rateNumerator, c.rateDenominator);
        ASSERT_GE(index, 0) << c.rateNumerator << "/" << c.rateDenominator;
        ASSERT_EQ(Choose(static_cast<uint32_t>(index)), HR_S_OK);
        const auto asked = kernel_->IntervalsAsked("video0");
        ASSERT_FALSE(asked.empty());
        EXPECT_EQ(asked.back(), c.interval) << "the interval is 1 / rate";
        EXPECT_EQ(kernel_->CurrentInterval("video0"), c.interval);
    }
    EXPECT_EQ(kernel_->IntervalsAsked("video0").size(), 3u) << "one S_PARM per format";
    // The stream runs at what was chosen last.
    ASSERT_EQ(reader_->ReadSample(0, 0), HR_S_OK);
    ASSERT_TRUE(recorder_->WaitForDeliveries(1));
    EXPECT_EQ(recorder_->At(0).status, HR_S_OK);
    ExpectNothingLeft();
}

std::string LinuxStreamTest::ChooseFifteenPerSecond(const FakeNode& node) {
    Install({node});
    if (HasFatalFailure()) return {};
    const int index = TypeWithRate(*reader_, 15, 1);
    EXPECT_GE(index, 0);
    if (index < 0) return {};
    sv::test::LogCapture log;
    EXPECT_EQ(Choose(static_cast<uint32_t>(index)), HR_S_OK);
    return log.Text();
}

TEST_F(LinuxStreamTest, ARateTheDriverRefusesIsAWarningAndTheFormatStillStreams) {
    // A driver without frame-rate control refuses S_PARM; the format it took
    // with S_FMT is what the frames are, so the stream starts at the driver's
    // own rate and the caller learns of it from the log.
    FakeNode node = CameraWithRates();
    node.refuseParmErrno = ENOTTY;
    const std::string text = ChooseFifteenPerSecond(node);
    ASSERT_FALSE(HasFatalFailure());
    const auto line = text.find("VIDIOC_S_PARM of 1/15 s per frame not taken");
    ASSERT_NE(line, std::string::npos) << text;
    const auto lineStart = text.rfind('\n', line);
    EXPECT_NE(text.substr(lineStart == std::string::npos ? 0 : lineStart, line - lineStart).find("warn"),
              std::string::npos)
        << "logged as a warning: " << text;
    EXPECT_EQ(kernel_->IntervalsAsked("video0"), (std::vector<std::pair<uint32_t, uint32_t>>{{1, 15}}));
    EXPECT_EQ(kernel_->CurrentInterval("video0"), (std::pair<uint32_t, uint32_t>{1, 30})) << "the driver's default";
    ASSERT_EQ(reader_->ReadSample(0, 0), HR_S_OK);
    ASSERT_TRUE(recorder_->WaitForDeliveries(1));
    EXPECT_EQ(recorder_->At(0).status, HR_S_OK);
    ASSERT_TRUE(recorder_->At(0).sample);
    EXPECT_EQ(recorder_->At(0).sample->GetCurrentLength(), kFrameBytes);
    ExpectNothingLeft();
}

TEST_F(LinuxStreamTest, ARateTheDriverAdjustsIsAWarningAndTheFormatStillStreams) {
    // A driver with one fixed rate takes S_PARM and writes back its own interval.
    FakeNode node = CameraWithRates();
    node.fixedRate = true;
    const std::string text = ChooseFifteenPerSecond(node);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_NE(text.find("[warning]"), std::string::npos) << text;
    EXPECT_NE(text.find("the driver runs at 1/30 s per frame, not the 1/15 asked"), std::string::npos) << text;
    EXPECT_EQ(kernel_->CurrentInterval("video0"), (std::pair<uint32_t, uint32_t>{1, 30}));
    ASSERT_EQ(reader_->ReadSample(0, 0), HR_S_OK);
    ASSERT_TRUE(recorder_->WaitForDeliveries(1));
    EXPECT_EQ(recorder_->At(0).status, HR_S_OK);
    ExpectNothingLeft();
}

// The fake driver itself, as the kernel documents S_PARM: the asked interval
// is a wish, the driver sets the nearest one it supports and writes it back
// with V4L2_CAP_TIMEPERFRAME; G_PARM reads it.
TEST(FakeKernelParm, SParmWritesBackTheIntervalTheDriverSet) {
    FakeKernel kernel({CameraWithRates()});
    const int fd = kernel.Open(kernel.DevRoot() + "/video0", 0);
    ASSERT_GE(fd, 0);
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    format.fmt.pix.width = 640;
    format.fmt.pix.height = 480;
    format.fmt.pix.pixelformat = V4L2_PIX_FMT_YUYV;
    ASSERT_EQ(kernel.Ioctl(fd, VIDIOC_S_FMT, &format), 0);
    EXPECT_EQ(kernel.CurrentInterval("video0"), (std::pair<uint32_t, uint32_t>{1, 30})) << "the size's first";

    struct Case {
        v4l2_fract asked;
        v4l2_fract set;
    } cases[] = {{{1, 15}, {1, 15}}, {{1, 25}, {1001, 30000}}, {{1, 10}, {1, 15}}, {{1, 60}, {1, 30}}, {{0, 0}, {1, 30}}};
    for (const Case& c : cases) {
        v4l2_streamparm parm{};
        parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        parm.parm.capture.timeperframe = c.asked;
        ASSERT_EQ(kernel.Ioctl(fd, VIDIOC_S_PARM, &parm), 0);
        EXPECT_EQ(parm.parm.capture.capability, static_cast<uint32_t>(V4L2_CAP_TIMEPERFRAME));
        EXPECT_EQ(parm.parm.capture.timeperframe.numerator, c.set.numerator) << c.asked.numerator << "/" << c.asked.denominator;
        EXPECT_EQ(parm.parm.capture.timeperframe.denominator, c.set.denominator)
            << c.asked.numerator << "/" << c.asked.denominator;
        v4l2_streamparm now{};
        now.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        ASSERT_EQ(kernel.Ioctl(fd, VIDIOC_G_PARM, &now), 0);
        EXPECT_EQ(now.parm.capture.timeperframe.numerator, c.set.numerator);
        EXPECT_EQ(now.parm.capture.timeperframe.denominator, c.set.denominator);
    }
    v4l2_streamparm output{};
    output.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    EXPECT_EQ(kernel.Ioctl(fd, VIDIOC_S_PARM, &output), -EINVAL);
    EXPECT_EQ(kernel.Close(fd), 0);
}

// The camera layer's frame path: the frame goes straight from the driver's
// buffer into the caller's, and the buffer goes back to the driver.
TEST(LinuxStreamer, GetImageCopiesTheFrameAndGivesTheBufferBack) {
    auto kernel = std::make_shared<FakeKernel>(std::vector<FakeNode>{Camera()});
    SetBackendForTesting(v4l2::CreateLinuxBackend(kernel));
    {
        sv::ConfigMap config;
        PlatformCameraListWin list(config);
        std::vector<CameraDeviceInfo> records;
        ASSERT_EQ(list.GetDeviceList(records), 0);
        ASSERT_EQ(records.size(), 1u);
        UVCCameraStreamerWin streamer(records[0], list.GetActivation(0));
        ASSERT_TRUE(streamer.Initialised());
        std::vector<SvFormat> formats;
        ASSERT_EQ(streamer.GetFormatList(formats), 0);
        ASSERT_EQ(streamer.SetFormat(formats[0]), 0);
        ASSERT_EQ(streamer.StartStreaming(), 0);
        std::vector<uint8_t> buffer(kFrameBytes);
        uint32_t last = 0;
        for (int i = 0; i < 3; ++i) {
            int size = static_cast<int>(buffer.size());
            ASSERT_EQ(streamer.GetImage(buffer.data(), &size, 1000), SV_CAPTURE_SUCCESS);
            EXPECT_EQ(size, static_cast<int>(kFrameBytes));
            uint32_t sequence = 0;
            std::memcpy(&sequence, buffer.data(), 4);
            if (i > 0) {
            EXPECT_GT(sequence, last);
        }
            last = sequence;
        }
        // A buffer too small: the frame waits for the next call, its buffer lent.
        int small = 16;
        EXPECT_EQ(streamer.GetImage(buffer.data(), &small, 1000), SV_CAPTURE_FAILED);
        EXPECT_EQ(small, static_cast<int>(kFrameBytes));
        EXPECT_EQ(streamer.StopStreaming(), 0);
        EXPECT_FALSE(kernel->Streaming("video0"));
        EXPECT_EQ(kernel->MappedCount(), 0u);
    }
    EXPECT_EQ(kernel->OpenCount(), 0u);
    ResetBackend();
}

}  // namespace
