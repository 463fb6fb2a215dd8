// The simulated machine seen through the fake kernel and the V4L2 back-end
// lists the same cameras, with the same ids, serials, speeds and formats, as
// the simulator's own back-end.

#include <gtest/gtest.h>

#include <vector>

#include "base/Config.h"
#include "linux/SimKernel.h"
#include "platform/CameraStreamer.h"
#include "platform/PlatformCameraList.h"
#include "platform/backend/Backend.h"
#include "platform/sim/SimBackend.h"

namespace {

using namespace sv::platform;

struct Listed {
    std::vector<CameraDeviceInfo> records;
    std::vector<std::vector<SvFormat>> formats;
};

Listed ListThrough(std::shared_ptr<Backend> backend) {
    SetBackendForTesting(backend);
    sv::ConfigMap config;
    sv::ParseConfigText("[KIVO]\nproducts = KIVO\n[LIRA]\nproducts = LIRA\n", config);
    PlatformCameraListWin list(config);
    Listed listed;
    EXPECT_EQ(list.GetDeviceList(listed.records), 0);
    for (std::size_t i = 0; i < listed.records.size(); ++i) {
        UVCCameraStreamerWin streamer(listed.records[i], list.GetActivation(static_cast<int>(i)));
        std::vector<SvFormat> formats;
        EXPECT_EQ(streamer.GetFormatList(formats), 0);
        listed.formats.push_back(formats);
    }
    ResetBackend();
    return listed;
}

TEST(SimKernel, TheDefaultWorldListsTheSameCamerasAsTheSimulator) {
    const Listed direct = ListThrough(sv::sim::SimBackend::Default());
    const Listed viaKernel = ListThrough(sv::test::LinuxBackendOverSim(sv::sim::SimBackend::Default()));
    ASSERT_EQ(direct.records.size(), 3u);
    ASSERT_EQ(viaKernel.records.size(), direct.records.size());
    for (std::size_t i = 0; i < direct.records.size(); ++i) {
        const CameraDeviceInfo& a = direct.records[i];
        const CameraDeviceInfo& b = viaKernel.records[i];
        EXPECT_EQ(b.friendlyName, a.friendlyName);
        EXPECT_EQ(b.vendorId, a.vendorId);
        EXPECT_EQ(b.productId, a.productId);
        EXPECT_EQ(b.productType, a.productType);
        EXPECT_EQ(b.serialNumber, a.serialNumber) << a.friendlyName;
        ASSERT_EQ(viaKernel.formats[i].size(), direct.formats[i].size()) << a.friendlyName;
    }
}

}  // namespace
