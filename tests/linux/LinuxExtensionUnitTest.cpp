// The extension unit of the Linux back-end over the fake kernel: nodes from
// the USB descriptors in sysfs, the unit id from the extension unit's
// descriptor, and UVCIOC_CTRL_QUERY with the selector and GET_CUR/SET_CUR.

#include <linux/usb/video.h>
#include <linux/videodev2.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

#include "linux/FakeKernel.h"
#include "linux/LinuxFixture.h"
#include "platform/backend/Backend.h"
#include "platform/backend/MfIds.h"
#include "platform/linux/ExtensionUnit.h"
#include "platform/linux/LinuxBackend.h"

namespace {

using namespace sv::platform;
using sv::test::FakeKernel;
using sv::test::FakeNode;

constexpr uint8_t kXuId = 4;
constexpr uint32_t kXuNode = 2;  // input terminal, processing unit, extension unit
constexpr uint32_t kGet = ks::KSPROPERTY_TYPE_GET | ks::KSPROPERTY_TYPE_TOPOLOGY;
constexpr uint32_t kSet = ks::KSPROPERTY_TYPE_SET | ks::KSPROPERTY_TYPE_TOPOLOGY;

struct Transfer {
    uint8_t unit, selector, query;
    std::vector<uint8_t> data;
};

class LinuxExtensionUnitTest : public sv::test::LinuxFixture {
protected:
    void Install(std::vector<uint8_t> descriptors) {
        FakeNode n;
        n.name = "video0";
        n.card = "XU Cam";
        n.deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
        n.vendorId = 0x2c5c;
        n.productId = 0x0105;
        n.descriptors = std::move(descriptors);
        // A register file behind selector 3; selector 9 stalls.
        n.extensionUnit = [this](uint8_t unit, uint8_t selector, uint8_t query, uint8_t* data, uint16_t size) {
            if (selector == 9) return -EPIPE;
            if (selector != 3) return -ENOENT;
            if (size != 4) return -ENOBUFS;
            transfers_.push_back({unit, selector, query, std::vector<uint8_t>(data, data + size)});
            if (query == UVC_SET_CUR) std::copy(data, data + size, store_);
            else std::copy(store_, store_ + size, data);
            return 0;
        };
        InstallNodes({n});
    }
    HResult Send(KsControl& node, uint32_t flags, uint32_t selector, uint8_t* data, uint32_t length,
                 uint32_t& returned, uint32_t nodeId = kXuNode, const Guid& set = ks::kExtensionUnitSet) {
        ks::PropertyNodeRequest r;
        r.set = set;
        r.id = selector;
        r.flags = flags;
        r.nodeId = nodeId;
        return node.KsProperty(r, data, length, returned);
    }

    std::vector<Transfer> transfers_;
    uint8_t store_[4] = {0, 0, 0, 0};
};

TEST(LinuxDescriptors, EntitiesOfTheVideoControlInterfaceInOrder) {
    const auto bytes = sv::test::UvcDescriptors(0, kXuId, ks::kExtensionUnitSet);
    const auto entities = v4l2::ParseVideoControlEntities(bytes, 0);
    ASSERT_EQ(entities.size(), 3u);
    EXPECT_EQ(entities[0].subtype, UVC_VC_INPUT_TERMINAL);
    EXPECT_EQ(entities[1].subtype, UVC_VC_PROCESSING_UNIT);
    EXPECT_EQ(entities[2].subtype, UVC_VC_EXTENSION_UNIT);
    EXPECT_EQ(entities[2].id, kXuId);
    EXPECT_EQ(entities[2].guid, ks::kExtensionUnitSet);
    // Another interface number has no VideoControl entities.
    EXPECT_TRUE(v4l2::ParseVideoControlEntities(bytes, 1).empty());
}

TEST(LinuxDescriptors, TruncatedOrZeroLengthDescriptorsEndTheWalk) {
    auto bytes = sv::test::UvcDescriptors(0, kXuId, ks::kExtensionUnitSet);
    // Cut inside the extension unit: the entities before it stay.
    const std::size_t xuAt = 18 + 9 + 8 + 9 + 13 + 18 + 11;
    ASSERT_EQ(bytes[xuAt + 2], UVC_VC_EXTENSION_UNIT);
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(xuAt + 10));
    EXPECT_EQ(v4l2::ParseVideoControlEntities(cut, 0).size(), 2u);
    bytes[xuAt] = 0;
    EXPECT_EQ(v4l2::ParseVideoControlEntities(bytes, 0).size(), 2u);
    EXPECT_TRUE(v4l2::ParseVideoControlEntities({}, 0).empty());
    EXPECT_TRUE(v4l2::ParseVideoControlEntities({1}, 0).empty());
}

TEST_F(LinuxExtensionUnitTest, SetAndGetReachTheUnitOfTheDescriptorWithTheSelector) {
    Install(sv::test::UvcDescriptors(0, kXuId, ks::kExtensionUnitSet));
    std::shared_ptr<KsTopologyInfo> topology;
    ASSERT_EQ(source_->QueryTopologyInfo(topology), HR_S_OK);
    uint32_t count = 0;
    ASSERT_EQ(topology->GetNumNodes(count), HR_S_OK);
    EXPECT_EQ(count, 3u);
    std::shared_ptr<KsControl> node;
    ASSERT_EQ(topology->CreateNodeInstance(kXuNode, node), HR_S_OK);
    uint8_t out[4] = {0x11, 0x22, 0x33, 0x44};
    uint32_t returned = 99;
    ASSERT_EQ(Send(*node, kSet, 3, out, 4, returned), HR_S_OK);
    EXPECT_EQ(returned, 0u);
    uint8_t in[4] = {};
    ASSERT_EQ(Send(*node, kGet, 3, in, 4, returned), HR_S_OK);
    EXPECT_EQ(returned, 4u);
    EXPECT_EQ(std::vector<uint8_t>(in, in + 4), (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44}));
    ASSERT_EQ(transfers_.size(), 2u);
    EXPECT_EQ(transfers_[0].unit, kXuId);
    EXPECT_EQ(transfers_[0].selector, 3);
    EXPECT_EQ(transfers_[0].query, UVC_SET_CUR);
    EXPECT_EQ(transfers_[0].data, (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(transfers_[1].query, UVC_GET_CUR);
}

TEST_F(LinuxExtensionUnitTest, RequestsTheUnitCannotCarryAreRefusedBeforeTheDriver) {
    Install(sv::test::UvcDescriptors(0, kXuId, ks::kExtensionUnitSet));
    std::shared_ptr<KsTopologyInfo> topology;
    ASSERT_EQ(source_->QueryTopologyInfo(topology), HR_S_OK);
    std::shared_ptr<KsControl> xu;
    std::shared_ptr<KsControl> pu;
    ASSERT_EQ(topology->CreateNodeInstance(kXuNode, xu), HR_S_OK);
    ASSERT_EQ(topology->CreateNodeInstance(1, pu), HR_S_OK);
    EXPECT_EQ(topology->CreateNodeInstance(3, pu), HR_E_INVALIDARG);
    ASSERT_EQ(topology->CreateNodeInstance(1, pu), HR_S_OK);
    uint8_t data[4] = {};
    uint32_t returned = 0;
    EXPECT_EQ(Send(*pu, kGet, 3, data, 4, returned, 1), HR_ERROR_SET_NOT_FOUND);  // not an extension unit
    EXPECT_EQ(Send(*xu, kGet, 3, data, 4, returned, 1), HR_ERROR_SET_NOT_FOUND);  // node mismatch
    EXPECT_EQ(Send(*xu, kGet, 3, data, 4, returned, kXuNode, mf::MFVideoFormat_YUY2), HR_ERROR_SET_NOT_FOUND);
    EXPECT_EQ(Send(*xu, ks::KSPROPERTY_TYPE_GET, 3, data, 4, returned), HR_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(Send(*xu, kGet, 3, nullptr, 4, returned), HR_E_POINTER);
    EXPECT_EQ(Send(*xu, kGet, 0x100, data, 4, returned), HR_E_INVALIDARG);
    EXPECT_TRUE(transfers_.empty());
    // The driver's own refusals.
    EXPECT_EQ(Send(*xu, kGet, 5, data, 4, returned), HR_E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(Send(*xu, kGet, 3, data, 2, returned), HR_ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(Send(*xu, kSet, 9, data, 4, returned), HR_E_FAIL);
    EXPECT_EQ(returned, 0u);
    kernel_->Unplug("video0");
    EXPECT_EQ(Send(*xu, kGet, 3, data, 4, returned), HR_ERROR_DEVICE_NOT_CONNECTED);
}

TEST_F(LinuxExtensionUnitTest, ACameraWithoutAnExtensionUnitHasNoSuchSet) {
    Install(sv::test::UvcDescriptors(0, 0, Guid()));
    std::shared_ptr<KsTopologyInfo> topology;
    ASSERT_EQ(source_->QueryTopologyInfo(topology), HR_S_OK);
    uint32_t count = 0;
    ASSERT_EQ(topology->GetNumNodes(count), HR_S_OK);
    EXPECT_EQ(count, 2u);
    std::shared_ptr<KsControl> node;
    ASSERT_EQ(topology->CreateNodeInstance(1, node), HR_S_OK);
    uint8_t data[4] = {};
    uint32_t returned = 0;
    EXPECT_EQ(Send(*node, kGet, 3, data, 4, returned, 1), HR_ERROR_SET_NOT_FOUND);
}

}  // namespace
