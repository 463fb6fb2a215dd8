// The media type description: its parse back into a format, and the same
// bytes as a text attribute of a type whose format is known.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "FuzzSupport.h"
#include "platform/MediaTypeText.h"
#include "platform/backend/MediaType.h"
#include "platform/backend/MfIds.h"

namespace mf = sv::platform::mf;
using sv::platform::Guid;
using sv::platform::MediaType;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    svfuzz::QuietLogs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        (void)sv::platform::ParseSzFormatInfo(text);
    } catch (const std::exception&) {
        // Refusing a description is the parse's documented answer.
    }

    // A text value listed before the standard attributes must not change what
    // is read, as long as it holds no ", " (the writer's separator, which no
    // reader could tell from its own). Long values are written as "<Too Long>".
    if (text.size() >= 200 || text.find(", ") != std::string::npos) return 0;
    MediaType type;
    type.SetString(Guid(0x5F7A11E5, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10), text);
    type.SetGUID(mf::MF_MT_MAJOR_TYPE, mf::MFMediaType_Video);
    type.SetGUID(mf::MF_MT_SUBTYPE, mf::MFVideoFormat_NV12);
    type.SetUINT64(mf::MF_MT_FRAME_SIZE, sv::platform::PackPair(1280, 720));
    type.SetUINT64(mf::MF_MT_FRAME_RATE_RANGE_MAX, sv::platform::PackPair(60, 1));
    type.SetUINT64(mf::MF_MT_FRAME_RATE, sv::platform::PackPair(30000, 1001));
    SvFormat format;
    try {
        format = sv::platform::ParseSzFormatInfo(sv::platform::GetMediaTypeDescriptions(&type));
    } catch (const std::exception&) {
        svfuzz::Broken("a text attribute made the standard attributes unreadable");
    }
    if (format.width != 1280 || format.height != 720 || format.framerate != 29 ||
        format.format != SV_IMAGE_FORMAT_NV12) {
        svfuzz::Broken("a text attribute changed the format read from the description");
    }
    return 0;
}
