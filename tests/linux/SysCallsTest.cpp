// The kernel's own calls behind SysCalls, on files every Linux system has.

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/linux/SysCalls.h"

namespace {

using sv::platform::v4l2::RealSysCalls;

TEST(RealSysCalls, ErrorsComeBackAsNegativeErrnos) {
    auto calls = RealSysCalls();
    EXPECT_EQ(calls->Open("/nonexistent/video0", O_RDWR), -ENOENT);
    const int fd = calls->Open("/dev/null", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    v4l2_capability caps{};
    EXPECT_EQ(calls->Ioctl(fd, VIDIOC_QUERYCAP, &caps), -ENOTTY);  // not a video node
    EXPECT_EQ(calls->Close(fd), 0);
    EXPECT_EQ(calls->Close(fd), -EBADF);
    EXPECT_EQ(calls->SysfsRoot(), "/sys");
    EXPECT_EQ(calls->DevRoot(), "/dev");
}

TEST(RealSysCalls, PollAnswersReadinessWithoutWaiting) {
    auto calls = RealSysCalls();
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    pollfd readable{pipeEnds[0], POLLIN, 0};
    EXPECT_EQ(calls->Poll(&readable, 1, 0), 0);
    ASSERT_EQ(write(pipeEnds[1], "x", 1), 1);
    EXPECT_EQ(calls->Poll(&readable, 1, 0), 1);
    EXPECT_NE(readable.revents & POLLIN, 0);
    EXPECT_EQ(calls->Close(pipeEnds[0]), 0);
    EXPECT_EQ(calls->Close(pipeEnds[1]), 0);
}

TEST(RealSysCalls, MappingAFileThatCannotBeMappedReportsTheErrno) {
    auto calls = RealSysCalls();
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    int error = 0;
    EXPECT_EQ(calls->Mmap(4096, PROT_READ, MAP_SHARED, pipeEnds[0], 0, error), nullptr);
    EXPECT_EQ(error, ENODEV);
    EXPECT_EQ(calls->Close(pipeEnds[0]), 0);
    EXPECT_EQ(calls->Close(pipeEnds[1]), 0);
}

}  // namespace
