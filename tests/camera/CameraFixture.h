#pragma once

// Cameras through the public interface on a simulated machine installed for
// the test, with the shipped configuration.

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <sorvansdk/SorvanSDK.h>

#include "camera/SvCameraManager.h"
#include "common/LogCapture.h"
#include "platform/backend/Backend.h"
#include "platform/sim/SimBackend.h"
#ifdef SORVANSDK_TEST_V4L2
#include "linux/SimKernel.h"
#endif

namespace svtest {

class CameraTest : public testing::Test {
protected:
    void SetUp() override {
        sv::test::SetEnv("SORVANSDK_CONFIG_PATH", SORVANSDK_SOURCE_DIR "/config");
        sv::ResetCameraManagerForTesting();
    }
    void TearDown() override {
        sv::ResetCameraManagerForTesting();
        sv::platform::ResetBackend();
        sv::test::UnsetEnv("SORVANSDK_CONFIG_PATH");
    }

    std::shared_ptr<sv::sim::SimBackend> Install(std::shared_ptr<sv::sim::SimBackend> backend) {
        EXPECT_TRUE(backend->LoadError().empty()) << backend->LoadError();
        backend_ = backend;
#ifdef SORVANSDK_TEST_V4L2
        // SORVANSDK_TEST_KERNEL=fake: the same world through the fake kernel
        // and the V4L2 back-end.
        const char* kernel = std::getenv("SORVANSDK_TEST_KERNEL");
        if (kernel != nullptr && std::string(kernel) == "fake") {
            sv::platform::SetBackendForTesting(sv::test::LinuxBackendOverSim(backend));
            return backend;
        }
#endif
        sv::platform::SetBackendForTesting(backend);
        return backend;
    }
    std::shared_ptr<sv::sim::SimBackend> InstallDefault() { return Install(sv::sim::SimBackend::Default()); }
    std::shared_ptr<sv::sim::SimBackend> InstallWorld(const std::string& json) {
        return Install(sv::sim::SimBackend::FromJson(json));
    }

    // Discovers and creates the camera whose display name contains `part`.
    std::shared_ptr<SvCamera> Camera(const std::string& part) {
        std::vector<std::string> names;
        SvDiscoverCameraDevices(names);
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i].find(part) != std::string::npos) return SvInitialCameraDevice(static_cast<int>(i));
        }
        ADD_FAILURE() << "no camera named like " << part;
        return nullptr;
    }

    // Index in the format list of the first format with this pixel format and size.
    static int FindFormat(const std::vector<SvFormat>& formats, SV_IMAGE_FORMAT pixel, int width = 0) {
        for (std::size_t i = 0; i < formats.size(); ++i) {
            if (formats[i].format == pixel && (width == 0 || formats[i].width == width)) return static_cast<int>(i);
        }
        return -1;
    }

    // Reads the format list, sets its first format with this pixel format (and
    // width) and starts streaming; `format` is the one set, `formats` (when
    // given) the list. A missing format fails fatally: call this through
    // ASSERT_NO_FATAL_FAILURE.
    static void StartWithFormat(const std::shared_ptr<SvCamera>& camera, SV_IMAGE_FORMAT pixel, int width,
                                SvFormat& format, std::vector<SvFormat>* formats = nullptr) {
        std::vector<SvFormat> list;
        ASSERT_EQ(SvGetFormatList(camera, list), 0);
        if (formats != nullptr) *formats = list;
        const int index = FindFormat(list, pixel, width);
        ASSERT_GE(index, 0) << "no format " << pixel << " of width " << width;
        format = list[static_cast<std::size_t>(index)];
        ASSERT_EQ(SvSetFormat(camera, format), 0);
        ASSERT_EQ(SvStartStreaming(camera), 0);
    }

    std::shared_ptr<sv::sim::SimBackend> backend_;
};

}  // namespace svtest
