// The seam's own pieces: result codes, GUIDs, attribute lists, and choosing
// the back-end at run time.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include <sorvansdk/SorvanSDK.h>

#include "common/LogCapture.h"
#include "platform/backend/Backend.h"
#include "platform/backend/MediaType.h"
#include "platform/backend/MfIds.h"
#include "platform/backend/NativeBackend.h"
#include "platform/backend/SystemEvent.h"
#include "platform/sim/SimBackend.h"

namespace {

using namespace sv::platform;

TEST(ResultCodes, KeepThePlatformValues) {
    EXPECT_EQ(static_cast<uint32_t>(HR_MF_E_NO_MORE_TYPES), 0xC00D36B9u);
    EXPECT_EQ(static_cast<uint32_t>(HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED), 0xC00D3EA2u);
    EXPECT_EQ(static_cast<uint32_t>(HR_E_ACCESSDENIED), 0x80070005u);
    EXPECT_LT(HR_E_FAIL, 0);
    EXPECT_EQ(HResultFromWin32(5), HR_E_ACCESSDENIED);
    EXPECT_EQ(HResultFromWin32(0), HR_S_OK);
    EXPECT_EQ(static_cast<uint32_t>(HResultFromWin32(1170)), 0x80070492u);
}

TEST(ResultCodes, NamesAndNumbersParse) {
    HResult hr = 0;
    ASSERT_TRUE(ParseHResult("MF_E_INVALIDREQUEST", hr));
    EXPECT_EQ(hr, HR_MF_E_INVALIDREQUEST);
    ASSERT_TRUE(ParseHResult("0x80004005", hr));
    EXPECT_EQ(hr, HR_E_FAIL);
    ASSERT_TRUE(ParseHResult("-2147467259", hr));
    EXPECT_EQ(hr, HR_E_FAIL);
    EXPECT_FALSE(ParseHResult("E_NOT_A_CODE", hr));
    EXPECT_FALSE(ParseHResult("0x1FFFFFFFF", hr));
    EXPECT_STREQ(HResultName(HR_MF_E_HW_MFT_FAILED_START_STREAMING), "MF_E_HW_MFT_FAILED_START_STREAMING");
    EXPECT_EQ(HResultName(0x12345), nullptr);
}

TEST(GuidText, RoundTripsAndKeepsMemoryOrder) {
    EXPECT_EQ(ks::kExtensionUnitSet.ToString(), "{6FF33D97-7A1F-4C0D-B2D2-59FB178964C5}");
    Guid g;
    ASSERT_TRUE(Guid::Parse("6ff33d97-7a1f-4c0d-b2d2-59fb178964c5", g));
    EXPECT_EQ(g, ks::kExtensionUnitSet);
    EXPECT_FALSE(Guid::Parse("{6FF33D97-7A1F-4C0D-B2D2-59FB178964C}", g));
    EXPECT_FALSE(Guid::Parse("{6FF33D97x7A1F-4C0D-B2D2-59FB178964C5}", g));

    // The node property request carries the set in the platform's byte order.
    ks::PropertyNodeRequest request;
    request.set = ks::kExtensionUnitSet;
    request.id = 5;
    const uint8_t expected[16] = {0x97, 0x3D, 0xF3, 0x6F, 0x1F, 0x7A, 0x0D, 0x4C,
                                  0xB2, 0xD2, 0x59, 0xFB, 0x17, 0x89, 0x64, 0xC5};
    const auto* bytes = reinterpret_cast<const uint8_t*>(&request);
    EXPECT_EQ(0, std::memcmp(bytes, expected, 16));
    EXPECT_EQ(bytes[16], 5);
}

TEST(GuidText, SubtypesFollowTheFourCcRule) {
    EXPECT_EQ(mf::MFVideoFormat_YUY2.ToString(), "{32595559-0000-0010-8000-00AA00389B71}");
    EXPECT_STREQ(mf::GuidName(mf::MFVideoFormat_MJPG), "MFVideoFormat_MJPG");
    EXPECT_STREQ(mf::GuidName(mf::MF_MT_FRAME_SIZE), "MF_MT_FRAME_SIZE");
    EXPECT_EQ(mf::GuidName(Guid(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11)), nullptr);
}

TEST(MediaTypeAttributes, KeepOrderAndTypes) {
    MediaType t;
    t.SetUINT64(mf::MF_MT_FRAME_SIZE, PackPair(640, 480));
    t.SetGUID(mf::MF_MT_SUBTYPE, mf::MFVideoFormat_NV12);
    t.SetDouble(mf::MF_MT_USER_DATA, 2.5);
    t.SetUINT64(mf::MF_MT_FRAME_SIZE, PackPair(320, 240));  // replaced in place
    ASSERT_EQ(t.GetCount(), 3u);
    Guid key;
    AttributeValue value;
    ASSERT_EQ(t.GetItemByIndex(0, key, value), HR_S_OK);
    EXPECT_EQ(key, mf::MF_MT_FRAME_SIZE);
    EXPECT_EQ(value.Type(), AttributeType::UInt64);
    EXPECT_EQ(PairHigh(value.AsUInt64()), 320u);
    EXPECT_EQ(PairLow(value.AsUInt64()), 240u);
    EXPECT_EQ(t.GetItemByIndex(3, key, value), HR_E_INVALIDARG);

    uint32_t u32 = 0;
    EXPECT_EQ(t.GetUINT32(mf::MF_MT_SUBTYPE, u32), HR_MF_E_INVALIDTYPE);
    EXPECT_EQ(t.GetUINT32(mf::MF_MT_SAMPLE_SIZE, u32), HR_MF_E_ATTRIBUTENOTFOUND);
    double d = 0;
    EXPECT_EQ(t.GetDouble(mf::MF_MT_USER_DATA, d), HR_S_OK);
    EXPECT_DOUBLE_EQ(d, 2.5);
}

class BackendSelection : public ::testing::Test {
protected:
    void SetUp() override { Save(); }
    void TearDown() override {
        Restore("SORVANSDK_BACKEND", backend_);
        Restore("SORVANSDK_SIM_WORLD", world_);
        ResetBackend();
    }

private:
    void Save() {
        if (const char* v = std::getenv("SORVANSDK_BACKEND")) backend_ = v;
        if (const char* v = std::getenv("SORVANSDK_SIM_WORLD")) world_ = v;
    }
    static void Restore(const char* name, const std::string& value) {
        if (value.empty()) sv::test::UnsetEnv(name);
        else sv::test::SetEnv(name, value.c_str());
    }
    std::string backend_, world_;
};

// What the native back-end lists depends on the machine (on Linux the V4L2
// back-end reads this machine's cameras); its tests run over a fake kernel.
TEST_F(BackendSelection, NativeIsTheDefault) {
    sv::test::UnsetEnv("SORVANSDK_BACKEND");
    ResetBackend();
    auto backend = GetBackend();
    EXPECT_EQ(backend->Name(), "native");
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    EXPECT_EQ(backend->EnumDeviceSources(devices), HR_S_OK);
    std::shared_ptr<UsbHostController> hc;
    EXPECT_EQ(backend->OpenHostController(0, hc), HR_ERROR_FILE_NOT_FOUND);
}

TEST(EmptyNativeBackend, ListsNothing) {
    auto backend = CreateEmptyNativeBackend();
    EXPECT_EQ(backend->Name(), "native");
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    EXPECT_EQ(backend->EnumDeviceSources(devices), HR_S_OK);
    EXPECT_TRUE(devices.empty());
    std::shared_ptr<UsbHostController> hc;
    EXPECT_EQ(backend->OpenHostController(0, hc), HR_ERROR_FILE_NOT_FOUND);
    std::shared_ptr<DeviceInfoSet> set;
    ASSERT_EQ(backend->GetClassDevs(DeviceSetKind::UsbEnumerator, set), HR_S_OK);
    EXPECT_EQ(set->GetDeviceCount(), 0u);
}

// A clock that keeps its own time and hands out one known event.
class CountingClock final : public Clock {
public:
    void Sleep(uint32_t ms) override { slept.push_back(ms); }
    uint64_t NowMs() override { return 424242; }
    std::shared_ptr<Event> NewEvent() override { return event; }
    std::vector<uint32_t> slept;
    std::shared_ptr<Event> event = std::make_shared<SystemEvent>();
};

// The device half of a native back-end; the rest is the shared base's.
class DevicelessNative final : public NativeBackend {
public:
    using NativeBackend::NativeBackend;
    HResult EnumDeviceSources(std::vector<std::shared_ptr<DeviceActivation>>& devices) override {
        devices.clear();
        return HR_S_OK;
    }
    HResult OpenHostController(uint32_t, std::shared_ptr<UsbHostController>&) override { return HR_E_FAIL; }
    HResult OpenHub(const std::string&, std::shared_ptr<UsbHub>&) override { return HR_E_FAIL; }
    HResult GetClassDevs(DeviceSetKind, std::shared_ptr<DeviceInfoSet>&) override { return HR_E_FAIL; }
    uint16_t GetSystemDefaultLangId() override { return 0x0409; }
};

TEST(NativeBackendBase, TimeComesFromItsClockAndNoBridgeIsServed) {
    auto clock = std::make_shared<CountingClock>();
    DevicelessNative backend(clock);
    EXPECT_EQ(backend.Name(), "native");
    backend.Sleep(100);
    backend.Sleep(7);
    EXPECT_EQ(clock->slept, (std::vector<uint32_t>{100, 7})) << "waits go to the clock, not to the wall";
    EXPECT_EQ(backend.NowMs(), 424242u);
    EXPECT_EQ(backend.NewEvent(), clock->event);

    SvSetLogLevel(SV_LOG_LEVEL_DEBUG);
    sv::test::LogCapture log;
    uint32_t count = 5;
    EXPECT_EQ(backend.CountVendorUsbDevices(count), HR_S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(log.Contains("The USB bridge vendor driver is not available in this build")) << "said where it is asked";
    SvSetLogLevel(SV_LOG_LEVEL_INFO);
    std::shared_ptr<VendorUsbDevice> device;
    EXPECT_EQ(backend.OpenVendorUsbDevice(0, device), HR_ERROR_NO_MORE_ITEMS);
    EXPECT_FALSE(device);
}

TEST(NativeBackendBase, WithoutAClockTheSystemsIsUsed) {
    DevicelessNative backend;
    const uint64_t before = SystemClock()->NowMs();
    const uint64_t now = backend.NowMs();
    EXPECT_GE(now, before);
    EXPECT_LE(now, SystemClock()->NowMs());
    backend.Sleep(0);
    auto event = backend.NewEvent();
    ASSERT_TRUE(event);
    EXPECT_NE(dynamic_cast<SystemEvent*>(event.get()), nullptr);
    EXPECT_EQ(event->Wait(0), WaitResult::TimedOut);
    event->Set();
    EXPECT_EQ(event->Wait(0), WaitResult::Signaled);
    EXPECT_EQ(event->Wait(0), WaitResult::TimedOut) << "auto-reset";

    // The empty native back-end and the Linux one stand on the same base.
    EXPECT_NE(dynamic_cast<NativeBackend*>(CreateEmptyNativeBackend().get()), nullptr);
    EXPECT_NE(dynamic_cast<NativeBackend*>(CreateNativeBackend().get()), nullptr);
}

TEST_F(BackendSelection, SimWithoutWorldFileListsTheBuiltInWorld) {
    sv::test::SetEnv("SORVANSDK_BACKEND", "sim");
    sv::test::UnsetEnv("SORVANSDK_SIM_WORLD");
    ResetBackend();
    auto backend = GetBackend();
    EXPECT_EQ(backend->Name(), "sim");
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    ASSERT_EQ(backend->EnumDeviceSources(devices), HR_S_OK);
    ASSERT_EQ(devices.size(), 3u);
    std::string name;
    ASSERT_EQ(devices[1]->GetAllocatedString(DeviceString::FriendlyName, name), HR_S_OK);
    EXPECT_EQ(name, "KIVO-AR0234 Camera");
    EXPECT_EQ(GetBackend(), backend) << "one back-end per process until reset";
}

TEST_F(BackendSelection, WorldFileChangesWhatIsListed) {
    sv::test::TempDir dir;
    dir.Write("seam_world.json",
              R"({"devices": [{"id": "a", "name": "Bench Cam", "vendorId": "0a0b", "productId": "0c0d",
                  "serial": "XYZ123456", "formats": [{"subtype": "YUY2", "width": 64, "height": 48}]}]})");
    const std::string path = dir.File("seam_world.json");
    sv::test::SetEnv("SORVANSDK_BACKEND", "sim");
    sv::test::SetEnv("SORVANSDK_SIM_WORLD", path.c_str());
    ResetBackend();
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    ASSERT_EQ(GetBackend()->EnumDeviceSources(devices), HR_S_OK);
    ASSERT_EQ(devices.size(), 1u);
    std::string name, link;
    devices[0]->GetAllocatedString(DeviceString::FriendlyName, name);
    devices[0]->GetAllocatedString(DeviceString::SymbolicLink, link);
    EXPECT_EQ(name, "Bench Cam");
    EXPECT_NE(link.find("vid_0a0b&pid_0c0d"), std::string::npos) << link;
}

TEST_F(BackendSelection, TestsInstallAndResetTheBackend) {
    auto installed = sv::sim::InstallWorldForTesting(
        R"({"devices": [{"id": "x", "name": "Only", "vendorId": 1, "productId": 2, "serial": "S1234567",
            "formats": [{"subtype": "NV12", "width": 32, "height": 32}]}]})");
    ASSERT_TRUE(installed->LoadError().empty()) << installed->LoadError();
    EXPECT_EQ(GetBackend(), installed);
    sv::test::UnsetEnv("SORVANSDK_BACKEND");
    ResetBackend();
    EXPECT_NE(GetBackend(), installed);
    EXPECT_EQ(GetBackend()->Name(), "native");
}

}  // namespace
