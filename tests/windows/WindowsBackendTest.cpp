// The Windows back-end against the platform's own objects: media types,
// samples and the reader callback made by the capture platform, reference
// counts, and the back-end's answers on a machine without cameras.

#include "platform/backend/Backend.h"
#include "platform/backend/MfIds.h"
#include "platform/windows/WinCapture.h"

#include <gtest/gtest.h>

#include <mfapi.h>
#include <mferror.h>

#include <stdexcept>

namespace {

using namespace sv::platform;
using sv::platform::win::ComPtr;

// The reference count an object is left with: AddRef answers the new count.
ULONG References(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

class WindowsPlatformTest : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_NOSOCKET))); }
    static void TearDownTestSuite() { MFShutdown(); }
};

TEST_F(WindowsPlatformTest, MediaTypesCrossInBothDirectionsWithEveryValueKindInOrder) {
    MediaType seam;
    seam.SetGUID(mf::MF_MT_MAJOR_TYPE, mf::MFMediaType_Video);
    seam.SetGUID(mf::MF_MT_SUBTYPE, mf::MFVideoFormat_YUY2);
    seam.SetUINT64(mf::MF_MT_FRAME_SIZE, PackPair(1920, 1080));
    seam.SetUINT32(mf::MF_MT_INTERLACE_MODE, mf::MFVideoInterlace_Progressive);
    seam.SetDouble(mf::MF_MT_AVG_BITRATE, 2.5);  // any key carries any kind
    seam.SetString(mf::MF_MT_USER_DATA, "Kamera \xC3\xA4");
    seam.SetBlob(mf::MF_MT_AM_FORMAT_TYPE, {1, 2, 3, 0, 255});

    ComPtr<IMFMediaType> platform;
    ASSERT_EQ(win::FromSeamType(seam, platform), HR_S_OK);
    UINT32 count = 0;
    ASSERT_TRUE(SUCCEEDED(platform->GetCount(&count)));
    EXPECT_EQ(count, 7u);
    UINT64 size = 0;
    ASSERT_TRUE(SUCCEEDED(platform->GetUINT64(win::ToGUID(mf::MF_MT_FRAME_SIZE), &size)));
    EXPECT_EQ(size, PackPair(1920, 1080));
    WCHAR text[32] = {};
    ASSERT_TRUE(SUCCEEDED(platform->GetString(win::ToGUID(mf::MF_MT_USER_DATA), text, 32, nullptr)));
    EXPECT_EQ(std::wstring(text), L"Kamera \u00e4");
    EXPECT_EQ(References(platform.Get()), 1u) << "the conversion keeps no reference of its own";

    MediaType back;
    ASSERT_EQ(win::ToSeamType(platform.Get(), back), HR_S_OK);
    ASSERT_EQ(back.GetCount(), seam.GetCount());
    for (uint32_t i = 0; i < seam.GetCount(); ++i) {
        EXPECT_EQ(back.Items()[i].key, seam.Items()[i].key) << "item " << i;
        EXPECT_TRUE(back.Items()[i].value == seam.Items()[i].value) << "item " << i;
    }
}

TEST_F(WindowsPlatformTest, ASampleOfSeveralBuffersArrivesAsOneViewWithItsTime) {
    ComPtr<IMFSample> sample;
    ASSERT_TRUE(SUCCEEDED(MFCreateSample(sample.ReleaseAndGetAddressOf())));
    for (BYTE first : {BYTE{10}, BYTE{20}}) {
        ComPtr<IMFMediaBuffer> buffer;
        ASSERT_TRUE(SUCCEEDED(MFCreateMemoryBuffer(3, buffer.ReleaseAndGetAddressOf())));
        BYTE* data = nullptr;
        ASSERT_TRUE(SUCCEEDED(buffer->Lock(&data, nullptr, nullptr)));
        for (BYTE i = 0; i < 3; ++i) data[i] = static_cast<BYTE>(first + i);
        buffer->Unlock();
        buffer->SetCurrentLength(3);
        ASSERT_TRUE(SUCCEEDED(sample->AddBuffer(buffer.Get())));
    }
    sample->SetSampleTime(333333);

    auto seam = win::ToSeamSample(sample.Get(), 0);
    ASSERT_TRUE(seam);
    EXPECT_EQ(References(sample.Get()), 1u) << "the view holds the buffer, not the sample";
    sample.Reset();  // the view keeps its buffer on its own
    EXPECT_EQ(seam->GetSampleTime(), 333333);
    const uint8_t* bytes = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(seam->Lock(bytes, length), HR_S_OK);
    ASSERT_EQ(length, 6u);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + length), (std::vector<uint8_t>{10, 11, 12, 20, 21, 22}));
    seam->Unlock();
}

class RecordingCallback : public SampleCallback {
public:
    void OnReadSample(HResult status, uint32_t stream, uint32_t flags, int64_t, const std::shared_ptr<Sample>& sample) override {
        ++reads;
        lastStatus = status;
        lastStream = stream;
        lastFlags = flags;
        lastHadSample = sample != nullptr;
        if (throwOnRead) throw std::runtime_error("host callback failed");
    }
    void OnFlush(uint32_t) override {
        ++flushes;
        if (throwOnRead) throw 42;
    }
    int reads = 0;
    int flushes = 0;
    HResult lastStatus = 0;
    uint32_t lastStream = 0;
    uint32_t lastFlags = 0;
    bool lastHadSample = true;
    bool throwOnRead = false;
};

TEST_F(WindowsPlatformTest, TheReaderCallbackForwardsKeepsExceptionsInAndReleasesItsTarget) {
    auto target = std::make_shared<RecordingCallback>();
    ComPtr<IMFSourceReaderCallback> callback = win::MakeReaderCallback(target);
    EXPECT_EQ(References(callback.Get()), 1u);
    EXPECT_EQ(target.use_count(), 2);

    ComPtr<IUnknown> unknown;
    EXPECT_TRUE(SUCCEEDED(callback.As(unknown)));
    EXPECT_EQ(References(callback.Get()), 2u);
    unknown.Reset();
    ComPtr<IMFMediaBuffer> wrong;
    EXPECT_EQ(callback.As(wrong), E_NOINTERFACE);

    // A failed read reaches the seam with its code and no sample.
    EXPECT_EQ(callback->OnReadSample(MF_E_HW_MFT_FAILED_START_STREAMING, 0, MF_SOURCE_READERF_ERROR, 0, nullptr), S_OK);
    EXPECT_EQ(target->reads, 1);
    EXPECT_EQ(static_cast<uint32_t>(target->lastStatus), 0xC00D3704u);
    EXPECT_EQ(target->lastFlags, mf::MF_SOURCE_READERF_ERROR);
    EXPECT_FALSE(target->lastHadSample);

    // The host's exceptions stay on this side of the platform's thread.
    target->throwOnRead = true;
    EXPECT_EQ(callback->OnReadSample(S_OK, 0, mf::MF_SOURCE_READERF_STREAMTICK, 0, nullptr), S_OK);
    EXPECT_EQ(callback->OnFlush(0), S_OK);
    EXPECT_EQ(target->reads, 2);
    EXPECT_EQ(target->flushes, 1);

    callback.Reset();
    EXPECT_EQ(target.use_count(), 1) << "the last release deletes the callback and lets its target go";
}

TEST(WindowsBackendTest, TheNativeBackEndAnswersAMachineWithoutTheDevicesItLooksFor) {
    auto backend = CreateNativeBackend();
    ASSERT_TRUE(backend);
    EXPECT_EQ(backend->Name(), "native");

    std::vector<std::shared_ptr<DeviceActivation>> devices;
    ASSERT_EQ(backend->EnumDeviceSources(devices), HR_S_OK);
    for (const auto& device : devices) {  // a real machine may have cameras
        std::string name;
        EXPECT_EQ(device->GetAllocatedString(DeviceString::FriendlyName, name), HR_S_OK);
        EXPECT_FALSE(name.empty());
    }

    std::shared_ptr<UsbHostController> controller;
    EXPECT_TRUE(Failed(backend->OpenHostController(9999, controller)));
    EXPECT_FALSE(controller);
    std::shared_ptr<UsbHub> hub;
    EXPECT_TRUE(Failed(backend->OpenHub("\\\\.\\NoSuchHub", hub)));
    EXPECT_FALSE(hub);
    std::shared_ptr<DeviceInfoSet> set;
    ASSERT_EQ(backend->GetClassDevs(DeviceSetKind::UsbEnumerator, set), HR_S_OK);
    ASSERT_TRUE(set);
    std::string id;
    EXPECT_EQ(set->GetDeviceInstanceId(set->GetDeviceCount(), id), HR_ERROR_NO_MORE_ITEMS);

    uint32_t bridges = 1;
    EXPECT_EQ(backend->CountVendorUsbDevices(bridges), HR_S_OK);
    EXPECT_EQ(bridges, 0u);
}

TEST(WindowsBackendTest, EventsResetThemselvesWhenAWaitTakesThem) {
    auto backend = CreateNativeBackend();
    auto event = backend->NewEvent();
    EXPECT_EQ(event->Wait(0), WaitResult::TimedOut);
    event->Set();
    EXPECT_EQ(event->Wait(0), WaitResult::Signaled);
    EXPECT_EQ(event->Wait(0), WaitResult::TimedOut) << "auto-reset";
    event->Set();
    event->Reset();
    EXPECT_EQ(event->Wait(0), WaitResult::TimedOut);
    const uint64_t before = backend->NowMs();
    EXPECT_GE(backend->NowMs(), before);
}

}  // namespace
