#pragma once

// Lines of the legacy control objects on the legacy channel: every format
// begins "[%s][%d] " with the qualified operation name and the source line.

#include "base/LegacyLog.h"

#define SZ_LINE(Level, where, format, ...) \
    sv::SzLogChannel::Instance()->Level("[%s][%d] " format, where, __LINE__, __VA_ARGS__)
#define SZ_LINE0(Level, where, format) sv::SzLogChannel::Instance()->Level("[%s][%d] " format, where, __LINE__)
