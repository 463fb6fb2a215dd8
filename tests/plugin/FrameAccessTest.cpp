// The frame functions, called by symbol as Dart's foreign-function
// interface does, on cameras set up through the channel.

#include <limits>

#include "PluginTestSupport.h"

using namespace plugintest;

namespace {

class FrameAccessTest : public PluginTest {
protected:
    // A webcam streaming YUY2 640 x 480 (its format 2).
    int StreamingWebcam() {
        const int handle = OpenHandle(kWebcam);
        EXPECT_EQ(AsInt(Call("setFormat", L({I(handle), I(2)}))), 0);
        EXPECT_EQ(AsInt(Call("startStreaming", L({I(handle), I(0), I(0), I(0)}))), 0);
        return handle;
    }
};

}  // namespace

TEST_F(FrameAccessTest, FramesOfAStreamingCameraReportTheirNativeSize) {
    const int handle = StreamingWebcam();
    for (int n = 0; n < 3; ++n) {
        int size = 0;
        uint8_t* frame = host_->getImageFromCamera(handle, &size, 2000, 0, 640, 480);
        ASSERT_NE(frame, nullptr) << "result " << size;
        EXPECT_EQ(size, 640 * 480 * 2);
        host_->freeImageBuffer(frame);
    }
    EXPECT_EQ(AsInt(Call("stopStreaming", I(handle))), 0);
}

TEST_F(FrameAccessTest, UnknownHandlesAndStoppedStreamsGiveNoFrame) {
    int size = 12345;
    EXPECT_EQ(host_->getImageFromCamera(999, &size, 100, 0, 640, 480), nullptr);
    EXPECT_EQ(size, -3);

    const int handle = OpenHandle(kWebcam);
    ASSERT_EQ(AsInt(Call("setFormat", L({I(handle), I(2)}))), 0);
    size = 12345;
    EXPECT_EQ(host_->getImageFromCamera(handle, &size, 50, 0, 640, 480), nullptr);
    EXPECT_EQ(size, -1) << "not streaming: the time-out";

    const int streaming = StreamingWebcam();
    ASSERT_EQ(AsInt(Call("releaseCameraHandle", I(streaming))), 0);
    size = 0;
    EXPECT_EQ(host_->getImageFromCamera(streaming, &size, 100, 0, 640, 480), nullptr);
    EXPECT_EQ(size, -3) << "a released handle is unknown";
}

TEST_F(FrameAccessTest, BadSizesAndPointersAreRefusedWithoutTouchingTheCamera) {
    const int handle = StreamingWebcam();
    EXPECT_EQ(host_->getImageFromCamera(handle, nullptr, 100, 0, 640, 480), nullptr) << "no outSize: nothing done";
    struct Case {
        int width, height;
    };
    for (const Case c : {Case{0, 480}, Case{640, 0}, Case{-640, -480}, Case{100000, 100000}, Case{46341, 46341}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        int size = 7;
        EXPECT_EQ(host_->getImageFromCamera(handle, &size, 100, 0, c.width, c.height), nullptr);
        EXPECT_EQ(size, -3);
    }
    // A buffer too small for the stream's frame: the library refuses the
    // copy instead of writing past the plug-in's buffer.
    int size = 0;
    EXPECT_EQ(host_->getImageFromCamera(handle, &size, 2000, 0, 320, 240), nullptr);
    EXPECT_EQ(size, -3);
    // The frame was kept: the right size gets it.
    uint8_t* frame = host_->getImageFromCamera(handle, &size, 2000, 0, 640, 480);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(size, 614400);
    host_->freeImageBuffer(frame);
}

TEST_F(FrameAccessTest, SizesWhoseThreeBytesPerPixelOverflowAnIntAreRefused) {
    const int handle = StreamingWebcam();
    struct Case {
        int width, height;
        const char* why;
    };
    // Products that wrap in 32 bits to zero or to a positive int: a size
    // computed in int would name a buffer, and the last one would even hold
    // the stream's 614400-byte frame.
    for (const Case c : {Case{65536, 65536, "wraps to 0"}, Case{65536, 21846, "wraps to 131072"},
                         Case{1431962966, 1, "wraps to 921602"}, Case{2, 715981483, "wraps to 921602"}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " " + c.why);
        int size = 7;
        uint8_t* frame = host_->getImageFromCamera(handle, &size, 2000, 0, c.width, c.height);
        EXPECT_EQ(frame, nullptr);
        EXPECT_EQ(size, -3);
        host_->freeImageBuffer(frame);
    }
    // Nothing was taken from the stream: the right size gets the next frame.
    int size = 0;
    uint8_t* frame = host_->getImageFromCamera(handle, &size, 2000, 0, 640, 480);
    ASSERT_NE(frame, nullptr) << "result " << size;
    EXPECT_EQ(size, 614400);
    host_->freeImageBuffer(frame);
}

TEST_F(FrameAccessTest, BuffersAreAllocatedAndFreedByThePlugin) {
    uint8_t* buffer = host_->allocateImageBuffer(921600);
    ASSERT_NE(buffer, nullptr);
    buffer[0] = 1;
    buffer[921599] = 2;
    host_->freeImageBuffer(buffer);
    host_->freeImageBuffer(nullptr);
    EXPECT_EQ(host_->allocateImageBuffer(-1), nullptr);
    EXPECT_EQ(host_->allocateImageBuffer(std::numeric_limits<int>::min()), nullptr);
}
