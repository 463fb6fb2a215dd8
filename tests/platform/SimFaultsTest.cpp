// Faults described in the world or added while it runs: the Nth occurrence of
// an operation, a busy camera, a camera that disappears, samples that never
// arrive.

#include <gtest/gtest.h>

#include "platform/SimTestUtil.h"
#include "platform/backend/MfIds.h"
#include "platform/sim/SimBackend.h"

namespace {

using namespace sv::platform;
using sv::sim::SimBackend;

const char* kSmallFormats = R"([{"subtype": "YUY2", "width": 64, "height": 48},
                                {"subtype": "MJPG", "width": 64, "height": 48}])";

TEST(SimFaults, OperationFailsOnItsNthOccurrence) {
    auto backend = SimBackend::FromJson(svtest::OneDeviceWorld(
        kSmallFormats, R"("faults": [{"op": "readSample", "on": 2, "code": "MF_E_NOTACCEPTING"},
                                     {"op": "nativeType", "on": 3, "times": 0, "code": "0x80004005"}])"));
    ASSERT_TRUE(backend->LoadError().empty()) << backend->LoadError();
    auto dev = svtest::Open(*backend, 0);
    EXPECT_EQ(dev.reader->ReadSample(0, 0), HR_S_OK);
    EXPECT_EQ(dev.reader->ReadSample(0, 0), HR_MF_E_NOTACCEPTING);
    EXPECT_EQ(dev.reader->ReadSample(0, 0), HR_S_OK) << "times defaults to one";
    ASSERT_TRUE(dev.callback->WaitFor(2));
    dev.callback->WaitOne(100);
    EXPECT_EQ(dev.callback->Count(), 2u) << "a refused request has no callback";

    std::shared_ptr<MediaType> t;
    EXPECT_EQ(dev.reader->GetNativeMediaType(0, 0, t), HR_S_OK);
    EXPECT_EQ(dev.reader->GetNativeMediaType(0, 1, t), HR_S_OK);
    EXPECT_EQ(dev.reader->GetNativeMediaType(0, 0, t), HR_E_FAIL);
    EXPECT_EQ(dev.reader->GetNativeMediaType(0, 0, t), HR_E_FAIL) << "times 0: from then on";
}

TEST(SimFaults, TransferFaultsCanNameASelector) {
    auto backend = SimBackend::Default();
    sv::sim::FaultRule fault;
    fault.op = "xu.get";
    fault.selector = 0x08;
    fault.on = 2;
    fault.code = HR_ERROR_DEVICE_NOT_CONNECTED;
    EXPECT_FALSE(backend->AddFault("nosuchdevice", fault));
    sv::sim::FaultRule unknown = fault;
    unknown.op = "noSuchOperation";
    EXPECT_FALSE(backend->AddFault("kivo", unknown));

    ASSERT_TRUE(backend->AddFault("kivo", fault));
    auto dev = svtest::Open(*backend, 1);
    std::shared_ptr<KsTopologyInfo> topology;
    ASSERT_EQ(dev.source->QueryTopologyInfo(topology), HR_S_OK);
    std::shared_ptr<KsControl> node;
    ASSERT_EQ(topology->CreateNodeInstance(2, node), HR_S_OK);
    ks::PropertyNodeRequest r;
    r.set = ks::kExtensionUnitSet;
    r.flags = ks::KSPROPERTY_TYPE_GET | ks::KSPROPERTY_TYPE_TOPOLOGY;
    r.nodeId = 2;
    uint8_t data[8] = {};
    uint32_t returned = 0;
    // The model answers the 8-byte timestamp and stalls the firmware version
    // asked with 8 bytes; the fault answers instead on the second transfer of
    // selector 8 only.
    const uint32_t selectors[] = {0x08, 0x01, 0x08, 0x08};
    const HResult expected[] = {HR_S_OK, HR_ERROR_GEN_FAILURE, HR_ERROR_DEVICE_NOT_CONNECTED, HR_S_OK};
    for (size_t i = 0; i < std::size(selectors); ++i) {
        r.id = selectors[i];
        EXPECT_EQ(node->KsProperty(r, data, 8, returned), expected[i]) << i;
    }
}

TEST(SimFaults, ControlAndEnumerationFaults) {
    auto backend = SimBackend::FromJson(svtest::OneDeviceWorld(
        kSmallFormats, R"("controls": {"contrast": {"min": 0, "max": 10}},
                          "faults": [{"op": "procAmp.get", "code": "ERROR_GEN_FAILURE"},
                                     {"op": "friendlyName", "on": 2, "code": "E_OUTOFMEMORY"}])"));
    ASSERT_TRUE(backend->LoadError().empty()) << backend->LoadError();
    auto dev = svtest::Open(*backend, 0);
    std::shared_ptr<UvcControlInterface> pu;
    ASSERT_EQ(dev.source->QueryVideoProcAmp(pu), HR_S_OK);
    int32_t v, f;
    EXPECT_EQ(pu->Get(uvc::ProcAmp_Contrast, v, f), HR_ERROR_GEN_FAILURE);
    EXPECT_EQ(pu->Get(uvc::ProcAmp_Contrast, v, f), HR_S_OK);
    std::string name;
    EXPECT_EQ(dev.activation->GetAllocatedString(DeviceString::FriendlyName, name), HR_S_OK);
    EXPECT_EQ(dev.activation->GetAllocatedString(DeviceString::FriendlyName, name), HR_E_OUTOFMEMORY);
}

TEST(SimFaults, BusyCameraRefusesTheStartProbeAndRequests) {
    auto backend = SimBackend::FromJson(svtest::OneDeviceWorld(kSmallFormats, R"("busy": true)"));
    ASSERT_TRUE(backend->LoadError().empty()) << backend->LoadError();
    auto dev = svtest::Open(*backend, 0);
    ASSERT_TRUE(dev.reader) << "another application holds it, but it can be opened";
    std::shared_ptr<MediaType> t;
    EXPECT_EQ(dev.reader->GetNativeMediaType(0, 0, t), HR_E_ACCESSDENIED);
    EXPECT_EQ(dev.reader->ReadSample(0, 0), HR_E_ACCESSDENIED);
    // The other application lets go.
    ASSERT_TRUE(backend->SetDeviceBusy("cam", false));
    EXPECT_EQ(dev.reader->GetNativeMediaType(0, 0, t), HR_S_OK);
    EXPECT_EQ(dev.reader->ReadSample(0, 0), HR_S_OK);
    EXPECT_TRUE(dev.callback->WaitOne());
    // And takes it again, with a code of the world's choice.
    auto other = SimBackend::FromJson(
        svtest::OneDeviceWorld(kSmallFormats, R"("busy": true, "busyCode": "MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED")"));
    auto dev2 = svtest::Open(*other, 0);
    EXPECT_EQ(dev2.reader->GetNativeMediaType(0, 0, t), HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED);
}

TEST(SimFaults, CameraDisappearsAfterNFrames) {
    auto backend = SimBackend::FromJson(svtest::OneDeviceWorld(kSmallFormats, R"("disappearAfterFrames": 2)"));
    auto dev = svtest::Open(*backend, 0);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(dev.reader->ReadSample(0, 0), HR_S_OK);
    ASSERT_TRUE(dev.callback->WaitFor(3));
    const auto d = dev.callback->Deliveries();
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d[0].status, HR_S_OK);
    EXPECT_EQ(d[1].status, HR_S_OK);
    EXPECT_EQ(d[2].status, HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED);
    EXPECT_FALSE(d[2].hadSample);
    EXPECT_NE(d[2].flags & mf::MF_SOURCE_READERF_ERROR, 0u);
    EXPECT_EQ(backend->FramesDelivered("cam"), 2);

    // Gone: requests, the probe and controls fail; the list no longer has it.
    EXPECT_EQ(dev.reader->ReadSample(0, 0), HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED);
    std::shared_ptr<MediaType> t;
    EXPECT_EQ(dev.reader->GetNativeMediaType(0, 0, t), HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED);
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    backend->EnumDeviceSources(devices);
    EXPECT_TRUE(devices.empty());
    std::shared_ptr<MediaSource> source;
    EXPECT_EQ(dev.activation->ShutdownObject(), HR_S_OK);
    EXPECT_EQ(dev.activation->ActivateObject(source), HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED);
}

TEST(SimFaults, SamplesThatNeverArrive) {
    auto backend = SimBackend::FromJson(svtest::OneDeviceWorld(kSmallFormats, R"("stallAfterFrames": 1)"));
    auto dev = svtest::Open(*backend, 0);
    ASSERT_EQ(dev.reader->ReadSample(0, 0), HR_S_OK);
    ASSERT_TRUE(dev.callback->WaitOne());
    ASSERT_EQ(dev.reader->ReadSample(0, 0), HR_S_OK) << "accepted, never answered";
    const int64_t before = backend->DeviceTimeUs();
    EXPECT_FALSE(dev.callback->WaitOne(2500));
    EXPECT_EQ(backend->DeviceTimeUs() - before, 2'500'000) << "the time-out passed in device time";
    EXPECT_EQ(dev.callback->Count(), 1u);

    // Unplugging ends the stalled request with the device's failure.
    backend->UnplugDevice("cam");
    ASSERT_TRUE(dev.callback->WaitOne());
    const auto d = dev.callback->Deliveries();
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[1].status, HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED);
}

TEST(SimFaults, SampleDeliveryFailsWithTheWorldsCode) {
    auto backend = SimBackend::FromJson(svtest::OneDeviceWorld(
        kSmallFormats, R"("faults": [{"op": "sample", "on": 1, "code": "MF_E_HW_MFT_FAILED_START_STREAMING"}])"));
    auto dev = svtest::Open(*backend, 0);
    ASSERT_EQ(dev.reader->ReadSample(0, 0), HR_S_OK);
    ASSERT_EQ(dev.reader->ReadSample(0, 0), HR_S_OK);
    ASSERT_TRUE(dev.callback->WaitFor(2));
    const auto d = dev.callback->Deliveries();
    EXPECT_EQ(d[0].status, HR_MF_E_HW_MFT_FAILED_START_STREAMING);
    EXPECT_FALSE(d[0].hadSample);
    EXPECT_EQ(d[1].status, HR_S_OK);
    EXPECT_TRUE(d[1].hadSample);
}

TEST(SimFaults, ReplugMakesANewDeviceOldSourcesStayDead) {
    auto backend = SimBackend::Default();
    auto dev = svtest::Open(*backend, 1);
    ASSERT_TRUE(backend->UnplugDevice("kivo"));
    ASSERT_TRUE(backend->PlugDevice("kivo"));
    std::shared_ptr<UvcControlInterface> pu;
    ASSERT_EQ(dev.source->QueryVideoProcAmp(pu), HR_S_OK);
    int32_t v, f;
    EXPECT_EQ(pu->Get(uvc::ProcAmp_Brightness, v, f), HR_ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(dev.reader->ReadSample(0, 0), HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED);
    auto fresh = svtest::Open(*backend, 1);
    ASSERT_TRUE(fresh.reader);
    EXPECT_EQ(fresh.reader->ReadSample(0, 0), HR_S_OK);
    EXPECT_TRUE(fresh.callback->WaitOne());
}

}  // namespace
