// The pixel-format names: one table for format lists, log lines and profile
// documents, and what a code or a text outside it answers.

#include <gtest/gtest.h>

#include <string>

#include "base/PixelFormat.h"

namespace {

TEST(PixelFormatNames, EveryFormatOfTheTypeHasItsNameAndReadsBack) {
    const char* const names[] = {"YUY2", "UYVY", "NV12", "MJPG", "BGRA", "BGRx", "BGR", "RGB16", "RGB"};
    int format = SV_IMAGE_FORMAT_YUY2;
    for (const char* name : names) {
        SCOPED_TRACE(name);
        EXPECT_STREQ(SvPixelFormatName(format), name);
        EXPECT_EQ(sv::PixelFormatFromName(name), format);
        ++format;
    }
    EXPECT_EQ(format, SV_IMAGE_FORMAT_RGB + 1);
}

TEST(PixelFormatNames, AnUnknownCodeIsNoneAndNoneNamesNoFormat) {
    for (const int code : {int{SV_IMAGE_FORMAT_NONE}, 10, 42, -1, 0x32595559 /* a FourCC, not a code */}) {
        SCOPED_TRACE(code);
        EXPECT_STREQ(SvPixelFormatName(code), "NONE");
    }
    // Texts are compared exactly: letter case and the platform's subtype
    // names are not format names.
    for (const char* text : {"NONE", "", "uyvy", "Yuy2", "MFVideoFormat_NV12", "MJPG ", "RGB24"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(sv::PixelFormatFromName(text), SV_IMAGE_FORMAT_NONE);
    }
}

TEST(PixelFormatNames, TheCapturedFormatsAreYuy2ToMjpg) {
    for (int code = -1; code <= 10; ++code) {
        SCOPED_TRACE(code);
        EXPECT_EQ(sv::IsCaptureFormat(code), code >= SV_IMAGE_FORMAT_YUY2 && code <= SV_IMAGE_FORMAT_MJPG);
    }
}

}  // namespace
