#pragma once

// The stand-in engine's platform-thread task queue, for plug-ins that must
// answer from other threads. Not a Flutter function: a plug-in uses it only
// when built against the stand-in host.

#include <stdbool.h>

#include "flutter_export.h"
#include "flutter_messenger.h"

#if defined(__cplusplus)
extern "C" {
#endif

// `task` is called exactly once: with run true on the engine's platform
// thread, or with run false (only to free `data`) when the engine is gone or
// goes before the task's turn. Tasks run in the order they were posted.
typedef void (*FlutterStandInTask)(void* data, bool run);

// False when the engine no longer takes tasks; `task` was then called with
// run false before the return.
FLUTTER_EXPORT bool FlutterStandInPostPlatformTask(FlutterDesktopMessengerRef messenger, FlutterStandInTask task,
                                                   void* data);

#if defined(__cplusplus)
}
#endif
