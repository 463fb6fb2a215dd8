#pragma once

// The text description of a native media type and the parse that turns it
// back into an SvFormat. Formats are listed this way so that the description
// logged for a type is exactly what the format was read from.

#include <string>

#include <sorvansdk/SvTypes.h>

#include "platform/backend/MediaType.h"

namespace sv::platform {

// "<NULL>" for no type; else "<major>: " and "KEY=value, " per attribute in
// the type's own order (MF_MT_FRAME_SIZE=W:640 H: 480, MF_MT_FRAME_RATE=30/1, ...).
std::string GetMediaTypeDescriptions(const MediaType* type);

// Width, height, frame rate and pixel format from a description; throws a
// standard exception when a piece is missing or a number does not convert.
// Only whole attributes are read: a name inside another attribute's value is
// not one. The frame rate is the quotient rounded toward zero.
SvFormat ParseSzFormatInfo(const std::string& description);

// Platform message text of a result code, for "errMsg = {}" log lines.
std::string ErrorMessage(HResult hr);

}  // namespace sv::platform
