#pragma once

// A fake kernel with the Linux back-end over it, the first camera's
// activation and its media source. At the end the source is shut down and
// every node the back-end opened must be closed.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "linux/FakeKernel.h"
#include "platform/backend/Backend.h"
#include "platform/linux/LinuxBackend.h"

namespace sv::test {

class LinuxFixture : public ::testing::Test {
protected:
    // Installs `nodes` (the back-end also becomes the process's when
    // `processWide`) and activates the first camera.
    // `through`, when given, is what the back-end calls instead of the
    // kernel itself (a wrapper that forwards to it).
    using CallsOver = std::function<std::shared_ptr<sv::platform::v4l2::SysCalls>(std::shared_ptr<FakeKernel>)>;
    void InstallNodes(std::vector<FakeNode> nodes, bool processWide = false, const CallsOver& through = nullptr) {
        kernel_ = std::make_shared<FakeKernel>(std::move(nodes));
        backend_ = sv::platform::v4l2::CreateLinuxBackend(through ? through(kernel_) : kernel_);
        if (processWide) sv::platform::SetBackendForTesting(backend_);
        std::vector<std::shared_ptr<sv::platform::DeviceActivation>> devices;
        ASSERT_EQ(backend_->EnumDeviceSources(devices), sv::platform::HR_S_OK);
        ASSERT_FALSE(devices.empty());
        activation_ = devices[0];
        ASSERT_EQ(activation_->ActivateObject(source_), sv::platform::HR_S_OK);
    }
    void TearDown() override {
        source_.reset();
        if (activation_) {
            EXPECT_EQ(activation_->ShutdownObject(), sv::platform::HR_S_OK);
            EXPECT_EQ(kernel_->OpenCount(), 0u);
        }
        activation_.reset();
        sv::platform::ResetBackend();
    }

    std::shared_ptr<FakeKernel> kernel_;
    std::shared_ptr<sv::platform::Backend> backend_;
    std::shared_ptr<sv::platform::DeviceActivation> activation_;
    std::shared_ptr<sv::platform::MediaSource> source_;
};

}  // namespace sv::test
