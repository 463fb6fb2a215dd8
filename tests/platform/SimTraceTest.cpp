// The trace file: one JSON line per device-level operation, written as it
// happens.

#include <gtest/gtest.h>

#include <fstream>

#include <nlohmann/json.hpp>

#include "common/LogCapture.h"
#include "platform/SimTestUtil.h"
#include "platform/backend/MfIds.h"
#include "platform/sim/SimBackend.h"
#include "platform/sim/SimTrace.h"
#include "platform/sim/XuModel.h"

namespace {

using namespace sv::platform;
using sv::sim::SimBackend;
using nlohmann::json;

std::vector<json> ReadLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<json> lines;
    for (std::string line; std::getline(in, line);) {
        EXPECT_FALSE(line.empty());
        lines.push_back(json::parse(line));  // every line is a JSON object of its own
    }
    return lines;
}

std::vector<json> Ops(const std::vector<json>& lines, const std::string& op) {
    std::vector<json> out;
    for (const auto& l : lines) {
        if (l.value("op", "") == op) out.push_back(l);
    }
    return out;
}

// Answers GETs with four bytes 0x11 0x22 0x00 0x00 and accepts every SET.
class FixedModel : public sv::sim::XuDeviceModel {
public:
    std::string Name() const override { return "fixed"; }
    HResult Transfer(sv::sim::XuTransfer& t, sv::sim::XuHost&, std::string&) override {
        if (t.request == ks::kGetCur) {
            for (uint16_t i = 0; i < t.length; ++i) t.data[i] = i == 0 ? 0x11 : (i == 1 ? 0x22 : 0);
        }
        return HR_S_OK;
    }
};

class SimTraceFile : public ::testing::Test {
protected:
    void SetUp() override {
        sv::sim::RegisterXuModel("fixed", [](const nlohmann::json&) { return std::make_unique<FixedModel>(); });
    }
    void TearDown() override { sv::sim::UnregisterXuModel("fixed"); }
    sv::test::TempDir dir_;
    std::string path_ = dir_.File("trace.jsonl");
};

TEST_F(SimTraceFile, RecordsEveryKindOfOperationAsItHappens) {
    sv::sim::SimOptions options;
    options.traceFile = path_;
    auto backend = SimBackend::FromJson(svtest::OneDeviceWorld(R"([{"subtype": "YUY2", "width": 64, "height": 48}])",
                                                               R"("xu": {"model": "fixed"},
                                                                  "controls": {"gain": {"min": 0, "max": 10}})"),
                                        "<string>", options);
    ASSERT_TRUE(backend->LoadError().empty()) << backend->LoadError();
    auto dev = svtest::Open(*backend, 0);

    std::shared_ptr<KsTopologyInfo> topology;
    ASSERT_EQ(dev.source->QueryTopologyInfo(topology), HR_S_OK);
    std::shared_ptr<KsControl> node;
    ASSERT_EQ(topology->CreateNodeInstance(2, node), HR_S_OK);
    ks::PropertyNodeRequest r;
    r.set = ks::kExtensionUnitSet;
    r.id = 5;
    r.flags = ks::KSPROPERTY_TYPE_SET | ks::KSPROPERTY_TYPE_TOPOLOGY;
    r.nodeId = 2;
    uint8_t payload[5] = {0x01, 0x30, 0x0A, 0x00, 0x00};
    uint32_t returned = 0;
    ASSERT_EQ(node->KsProperty(r, payload, 5, returned), HR_S_OK);
    // Written and flushed already, while the machine still runs.
    auto lines = ReadLines(path_);
    auto sets = Ops(lines, "xu.set");
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0]["dev"], "cam");
    EXPECT_EQ(sets[0]["unit"], 2);
    EXPECT_EQ(sets[0]["selector"], 5);
    EXPECT_EQ(sets[0]["request"], 1);
    EXPECT_EQ(sets[0]["length"], 5);
    EXPECT_EQ(sets[0]["payload"], "01300a") << "trailing zero bytes are left out";
    EXPECT_EQ(sets[0]["result"], 0);

    r.id = 1;
    r.flags = ks::KSPROPERTY_TYPE_GET | ks::KSPROPERTY_TYPE_TOPOLOGY;
    uint8_t got[4] = {};
    ASSERT_EQ(node->KsProperty(r, got, 4, returned), HR_S_OK);

    std::shared_ptr<UvcControlInterface> pu;
    ASSERT_EQ(dev.source->QueryVideoProcAmp(pu), HR_S_OK);
    pu->Set(uvc::ProcAmp_Gain, 7, uvc::kFlagsManual);
    int32_t v, f;
    pu->Get(uvc::ProcAmp_Brightness, v, f);  // not offered

    ASSERT_EQ(dev.reader->ReadSample(0, 0), HR_S_OK);
    ASSERT_TRUE(dev.callback->WaitOne());
    backend->Sleep(250);

    lines = ReadLines(path_);
    auto gets = Ops(lines, "xu.get");
    ASSERT_EQ(gets.size(), 1u);
    EXPECT_EQ(gets[0]["request"], 0x81);
    EXPECT_EQ(gets[0]["payload"], "1122");

    auto controlSets = Ops(lines, "procAmp.set");
    ASSERT_EQ(controlSets.size(), 1u);
    EXPECT_EQ(controlSets[0]["name"], "gain");
    EXPECT_EQ(controlSets[0]["value"], 7);
    EXPECT_EQ(controlSets[0]["flags"], 2);
    EXPECT_EQ(controlSets[0]["result"], 0);
    auto controlGets = Ops(lines, "procAmp.get");
    ASSERT_EQ(controlGets.size(), 1u);
    EXPECT_EQ(controlGets[0]["result"], static_cast<int32_t>(HR_E_PROP_ID_UNSUPPORTED));

    auto requests = Ops(lines, "sample.request");
    auto deliveries = Ops(lines, "sample.deliver");
    ASSERT_EQ(requests.size(), 1u);
    ASSERT_EQ(deliveries.size(), 1u);
    EXPECT_EQ(deliveries[0]["frame"], 0);
    EXPECT_EQ(deliveries[0]["format"], "YUY2");
    EXPECT_EQ(deliveries[0]["length"], 64 * 48 * 2);

    auto sleeps = Ops(lines, "sleep");
    ASSERT_EQ(sleeps.size(), 1u);
    EXPECT_EQ(sleeps[0]["ms"], 250);
    EXPECT_FALSE(sleeps[0].contains("dev"));

    // Device time never runs backwards through the file.
    int64_t last = 0;
    for (const auto& l : lines) {
        ASSERT_TRUE(l.contains("t"));
        EXPECT_GE(l["t"].get<int64_t>(), last);
        last = l["t"].get<int64_t>();
    }
}

TEST_F(SimTraceFile, PayloadHexDropsOnlyTrailingZeros) {
    const uint8_t a[] = {0x00, 0x10, 0x00, 0x00};
    EXPECT_EQ(sv::sim::SimTrace::PayloadHex(a, sizeof a), "0010");
    const uint8_t zeros[] = {0, 0, 0};
    EXPECT_EQ(sv::sim::SimTrace::PayloadHex(zeros, sizeof zeros), "");
    const uint8_t full[] = {0xAB, 0xCD};
    EXPECT_EQ(sv::sim::SimTrace::PayloadHex(full, sizeof full), "abcd");
}

TEST_F(SimTraceFile, NoFileNoLines) {
    auto backend = SimBackend::Default();
    backend->Sleep(5);
    std::ifstream in(path_);
    EXPECT_FALSE(in.good());
}

}  // namespace
