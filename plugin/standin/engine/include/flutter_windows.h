#pragma once

// The desktop embedding's view access (stand-in engine: there is no window).

#include "flutter_export.h"
#include "flutter_messenger.h"
#include "flutter_plugin_registrar.h"

#if defined(__cplusplus)
extern "C" {
#endif

typedef struct FlutterDesktopView* FlutterDesktopViewRef;

// Null: the stand-in engine runs headless.
FLUTTER_EXPORT FlutterDesktopViewRef FlutterDesktopPluginRegistrarGetView(FlutterDesktopPluginRegistrarRef registrar);

#if defined(__cplusplus)
}
#endif
