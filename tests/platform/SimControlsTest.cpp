// UVC standard controls and the extension-unit path of the simulated cameras.

#include <gtest/gtest.h>

#include <mutex>

#include "platform/SimTestUtil.h"
#include "platform/backend/MfIds.h"
#include "platform/sim/SimBackend.h"
#include "platform/sim/XuModel.h"

namespace {

using namespace sv::platform;
using sv::sim::SimBackend;

std::shared_ptr<UvcControlInterface> ProcAmp(const svtest::OpenDevice& d) {
    std::shared_ptr<UvcControlInterface> c;
    EXPECT_EQ(d.source->QueryVideoProcAmp(c), HR_S_OK);
    return c;
}
std::shared_ptr<UvcControlInterface> CameraControl(const svtest::OpenDevice& d) {
    std::shared_ptr<UvcControlInterface> c;
    EXPECT_EQ(d.source->QueryCameraControl(c), HR_S_OK);
    return c;
}

TEST(SimUvcControls, RangesAndValuesArePerDevice) {
    auto backend = SimBackend::Default();
    auto webcam = svtest::Open(*backend, 0);
    auto kivo = svtest::Open(*backend, 1);
    int32_t mn = 0, mx = 0, step = 0, def = 0, caps = 0;
    ASSERT_EQ(ProcAmp(webcam)->GetRange(uvc::ProcAmp_Brightness, mn, mx, step, def, caps), HR_S_OK);
    EXPECT_EQ(mn, -64);
    EXPECT_EQ(mx, 64);
    EXPECT_EQ(step, 1);
    EXPECT_EQ(def, 0);
    EXPECT_EQ(caps, uvc::kFlagsManual);
    ASSERT_EQ(ProcAmp(kivo)->GetRange(uvc::ProcAmp_Brightness, mn, mx, step, def, caps), HR_S_OK);
    EXPECT_EQ(mn, 0);
    EXPECT_EQ(mx, 255);
    EXPECT_EQ(def, 128);

    // A value set on one camera stays there, and only there.
    ASSERT_EQ(ProcAmp(webcam)->Set(uvc::ProcAmp_Brightness, 17, uvc::kFlagsManual), HR_S_OK);
    int32_t value = 0, flags = 0;
    ASSERT_EQ(ProcAmp(webcam)->Get(uvc::ProcAmp_Brightness, value, flags), HR_S_OK);
    EXPECT_EQ(value, 17);
    EXPECT_EQ(flags, uvc::kFlagsManual);
    ASSERT_EQ(ProcAmp(kivo)->Get(uvc::ProcAmp_Brightness, value, flags), HR_S_OK);
    EXPECT_EQ(value, 128);

    // Camera-terminal exposure starts automatic and can go manual.
    auto exposure = CameraControl(webcam);
    ASSERT_EQ(exposure->GetRange(uvc::CameraControl_Exposure, mn, mx, step, def, caps), HR_S_OK);
    EXPECT_EQ(caps, uvc::kFlagsAuto | uvc::kFlagsManual);
    ASSERT_EQ(exposure->Get(uvc::CameraControl_Exposure, value, flags), HR_S_OK);
    EXPECT_EQ(flags, uvc::kFlagsAuto);
    EXPECT_EQ(value, -6);
    ASSERT_EQ(exposure->Set(uvc::CameraControl_Exposure, -9, uvc::kFlagsManual), HR_S_OK);
    ASSERT_EQ(exposure->Get(uvc::CameraControl_Exposure, value, flags), HR_S_OK);
    EXPECT_EQ(value, -9);
    EXPECT_EQ(flags, uvc::kFlagsManual);
    // Back to automatic: the device keeps its value and reports the mode.
    ASSERT_EQ(exposure->Set(uvc::CameraControl_Exposure, 1000, uvc::kFlagsAuto), HR_S_OK);
    ASSERT_EQ(exposure->Get(uvc::CameraControl_Exposure, value, flags), HR_S_OK);
    EXPECT_EQ(value, -9);
    EXPECT_EQ(flags, uvc::kFlagsAuto);
}

TEST(SimUvcControls, RefusalsUseThePlatformCodes) {
    auto backend = SimBackend::Default();
    auto webcam = svtest::Open(*backend, 0);
    auto pu = ProcAmp(webcam);
    int32_t value = 0, flags = 0, mn, mx, step, def, caps;
    // Not offered by this camera, or not a property at all.
    EXPECT_EQ(pu->Get(uvc::ProcAmp_Gain, value, flags), HR_E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(pu->GetRange(uvc::ProcAmp_Gain, mn, mx, step, def, caps), HR_E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(pu->Set(uvc::ProcAmp_Gain, 1, uvc::kFlagsManual), HR_E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(pu->Get(42, value, flags), HR_E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(pu->Get(-1, value, flags), HR_E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(CameraControl(webcam)->Get(uvc::CameraControl_Pan, value, flags), HR_E_PROP_ID_UNSUPPORTED);
    // Out of range, off the step grid, a mode the control lacks, no mode.
    EXPECT_EQ(pu->Set(uvc::ProcAmp_Brightness, 65, uvc::kFlagsManual), HR_E_INVALIDARG);
    EXPECT_EQ(pu->Set(uvc::ProcAmp_Brightness, -65, uvc::kFlagsManual), HR_E_INVALIDARG);
    EXPECT_EQ(pu->Set(uvc::ProcAmp_Brightness, 0, uvc::kFlagsAuto), HR_E_INVALIDARG);
    EXPECT_EQ(pu->Set(uvc::ProcAmp_Brightness, 0, 0), HR_E_INVALIDARG);
    auto lira = svtest::Open(*backend, 2);
    EXPECT_EQ(ProcAmp(lira)->Set(uvc::ProcAmp_WhiteBalance, 5050, uvc::kFlagsManual), HR_E_INVALIDARG);
    EXPECT_EQ(ProcAmp(lira)->Set(uvc::ProcAmp_WhiteBalance, 5100, uvc::kFlagsManual), HR_S_OK);
    // A refused set changes nothing.
    ASSERT_EQ(pu->Get(uvc::ProcAmp_Brightness, value, flags), HR_S_OK);
    EXPECT_EQ(value, 0);
}

TEST(SimUvcControls, ACameraWithoutTerminalControlsHasNoInterface) {
    auto backend = SimBackend::FromJson(svtest::OneDeviceWorld(R"([{"subtype": "YUY2", "width": 64, "height": 48}])",
                                                               R"("controls": {"contrast": {"min": 0, "max": 10}})"));
    ASSERT_TRUE(backend->LoadError().empty()) << backend->LoadError();
    auto dev = svtest::Open(*backend, 0);
    std::shared_ptr<UvcControlInterface> c;
    EXPECT_EQ(dev.source->QueryCameraControl(c), HR_E_NOINTERFACE);
    EXPECT_EQ(c, nullptr);
    ASSERT_EQ(dev.source->QueryVideoProcAmp(c), HR_S_OK);
    int32_t value = -1, flags = -1;
    ASSERT_EQ(c->Get(uvc::ProcAmp_Contrast, value, flags), HR_S_OK);
    EXPECT_EQ(value, 0) << "default is the minimum when the world gives none";
}

// A small model that records what reaches the device and answers GETs with
// bytes derived from the selector; selector 0x7F stalls.
struct Seen {
    uint8_t unit, selector, request;
    uint16_t length;
    std::vector<uint8_t> payload;
};

class ProbeModel : public sv::sim::XuDeviceModel {
public:
    static std::mutex mutex;
    static std::vector<Seen> seen;

    std::string Name() const override { return "probe"; }
    HResult Transfer(sv::sim::XuTransfer& t, sv::sim::XuHost& host, std::string& note) override {
        std::lock_guard<std::mutex> lock(mutex);
        Seen s{t.unit, t.selector, t.request, t.length, {}};
        if (t.request == ks::kSetCur) s.payload.assign(t.data, t.data + t.length);
        seen.push_back(s);
        if (t.selector == 0x7F) {
            note = "stall";
            return HR_ERROR_GEN_FAILURE;
        }
        if (t.request == ks::kGetCur) {
            for (uint16_t i = 0; i < t.length; ++i) t.data[i] = static_cast<uint8_t>(t.selector + i);
        }
        EXPECT_EQ(host.DeviceId(), "cam");
        return HR_S_OK;
    }
};
std::mutex ProbeModel::mutex;
std::vector<Seen> ProbeModel::seen;

class SimExtensionUnit : public ::testing::Test {
protected:
    void SetUp() override {
        sv::sim::RegisterXuModel("probe", [](const nlohmann::json&) { return std::make_unique<ProbeModel>(); });
        std::lock_guard<std::mutex> lock(ProbeModel::mutex);
        ProbeModel::seen.clear();
    }
    void TearDown() override { sv::sim::UnregisterXuModel("probe"); }

    static ks::PropertyNodeRequest Request(uint32_t selector, bool get, uint32_t node = 2) {
        ks::PropertyNodeRequest r;
        r.set = ks::kExtensionUnitSet;
        r.id = selector;
        r.flags = (get ? ks::KSPROPERTY_TYPE_GET : ks::KSPROPERTY_TYPE_SET) | ks::KSPROPERTY_TYPE_TOPOLOGY;
        r.nodeId = node;
        return r;
    }

    static std::shared_ptr<KsControl> Node(const svtest::OpenDevice& d, uint32_t node) {
        std::shared_ptr<KsTopologyInfo> topology;
        EXPECT_EQ(d.source->QueryTopologyInfo(topology), HR_S_OK);
        std::shared_ptr<KsControl> control;
        if (topology) {
            EXPECT_EQ(topology->CreateNodeInstance(node, control), HR_S_OK);
        }
        return control;
    }
};

TEST_F(SimExtensionUnit, TransfersReachTheDeviceModel) {
    auto backend = SimBackend::FromJson(svtest::OneDeviceWorld(R"([{"subtype": "YUY2", "width": 64, "height": 48}])",
                                                               R"("xu": {"model": "probe"})"));
    ASSERT_TRUE(backend->LoadError().empty()) << backend->LoadError();
    auto dev = svtest::Open(*backend, 0);
    auto node = Node(dev, 2);
    ASSERT_TRUE(node);

    uint8_t set[5] = {0x01, 0x30, 0x0A, 0x00, 0x00};
    uint32_t returned = 99;
    ASSERT_EQ(node->KsProperty(Request(0x05, false), set, sizeof set, returned), HR_S_OK);
    EXPECT_EQ(returned, 0u);
    uint8_t got[4] = {};
    ASSERT_EQ(node->KsProperty(Request(0x01, true), got, sizeof got, returned), HR_S_OK);
    EXPECT_EQ(returned, 4u);
    EXPECT_EQ(got[0], 0x01);
    EXPECT_EQ(got[3], 0x04);
    EXPECT_EQ(node->KsProperty(Request(0x7F, true), got, sizeof got, returned), HR_ERROR_GEN_FAILURE);

    std::lock_guard<std::mutex> lock(ProbeModel::mutex);
    ASSERT_EQ(ProbeModel::seen.size(), 3u);
    const Seen& s = ProbeModel::seen[0];
    EXPECT_EQ(s.unit, 2);
    EXPECT_EQ(s.selector, 0x05);
    EXPECT_EQ(s.request, ks::kSetCur);
    EXPECT_EQ(s.length, 5);
    EXPECT_EQ(s.payload, (std::vector<uint8_t>{0x01, 0x30, 0x0A, 0x00, 0x00}));
    EXPECT_EQ(ProbeModel::seen[1].request, ks::kGetCur);
    EXPECT_EQ(ProbeModel::seen[1].selector, 0x01);
}

TEST_F(SimExtensionUnit, RequestsTheUnitDoesNotCarryFailBeforeTheModel) {
    auto backend = SimBackend::FromJson(svtest::OneDeviceWorld(R"([{"subtype": "YUY2", "width": 64, "height": 48}])",
                                                               R"("xu": {"model": "probe"})"));
    auto dev = svtest::Open(*backend, 0);
    auto node = Node(dev, 2);
    ASSERT_TRUE(node);
    uint8_t data[4] = {};
    uint32_t returned = 0;
    auto otherSet = Request(1, true);
    otherSet.set = mf::MF_MT_SUBTYPE;
    EXPECT_EQ(node->KsProperty(otherSet, data, 4, returned), HR_ERROR_SET_NOT_FOUND);
    auto basicSupport = Request(1, true);
    basicSupport.flags = 0x200 | ks::KSPROPERTY_TYPE_TOPOLOGY;
    EXPECT_EQ(node->KsProperty(basicSupport, data, 4, returned), HR_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(node->KsProperty(Request(1, true), nullptr, 4, returned), HR_E_POINTER);
    // Node 1 exists but is not the extension unit.
    auto other = Node(dev, 1);
    ASSERT_TRUE(other);
    EXPECT_EQ(other->KsProperty(Request(1, true, 1), data, 4, returned), HR_ERROR_SET_NOT_FOUND);
    std::shared_ptr<KsTopologyInfo> topology;
    ASSERT_EQ(dev.source->QueryTopologyInfo(topology), HR_S_OK);
    uint32_t nodes = 0;
    topology->GetNumNodes(nodes);
    std::shared_ptr<KsControl> none;
    EXPECT_EQ(topology->CreateNodeInstance(nodes, none), HR_E_INVALIDARG);
    std::lock_guard<std::mutex> lock(ProbeModel::mutex);
    EXPECT_TRUE(ProbeModel::seen.empty());
}

TEST_F(SimExtensionUnit, GenericWebcamHasNoUnitAndMakerModelsAnswer) {
    auto backend = SimBackend::Default();
    auto webcam = svtest::Open(*backend, 0);
    auto node = Node(webcam, 2);
    ASSERT_TRUE(node);
    uint8_t data[4] = {};
    uint32_t returned = 0;
    EXPECT_EQ(node->KsProperty(Request(1, true), data, 4, returned), HR_ERROR_SET_NOT_FOUND);

    svtest::TraceCapture trace(*backend);
    for (size_t device : {1u, 2u}) {
        auto maker = svtest::Open(*backend, device);
        auto xu = Node(maker, 2);
        ASSERT_TRUE(xu);
        EXPECT_EQ(xu->KsProperty(Request(1, true), data, 4, returned), HR_S_OK);
        EXPECT_EQ(returned, 4u);
        EXPECT_NE(data[0], 0) << "a firmware major version of 0 would mean a failed read";
        EXPECT_EQ(xu->KsProperty(Request(0x7F, true), data, 4, returned), HR_ERROR_GEN_FAILURE);
    }
    trace.Stop();
    EXPECT_EQ(trace.Count({"\"note\":\"unknown selector 0x7f\""}), 2);
}

TEST_F(SimExtensionUnit, UnknownModelIsABadWorld) {
    auto backend = SimBackend::FromJson(svtest::OneDeviceWorld(R"([{"subtype": "YUY2", "width": 64, "height": 48}])",
                                                               R"("xu": {"model": "nosuchmodel"})"));
    EXPECT_NE(backend->LoadError().find("unknown extension-unit model \"nosuchmodel\""), std::string::npos)
        << backend->LoadError();
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    backend->EnumDeviceSources(devices);
    EXPECT_TRUE(devices.empty());
}

}  // namespace
