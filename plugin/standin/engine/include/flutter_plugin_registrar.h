#pragma once

// A plug-in's handle on the engine (stand-in engine).

#include <stdint.h>

#include "flutter_export.h"
#include "flutter_messenger.h"
#include "flutter_texture_registrar.h"

#if defined(__cplusplus)
extern "C" {
#endif

typedef struct FlutterDesktopPluginRegistrar* FlutterDesktopPluginRegistrarRef;

// Called when the engine destroys the registrar; the handler frees what the
// plug-in built on it.
typedef void (*FlutterDesktopOnPluginRegistrarDestroyed)(FlutterDesktopPluginRegistrarRef);

FLUTTER_EXPORT FlutterDesktopMessengerRef FlutterDesktopPluginRegistrarGetMessenger(
    FlutterDesktopPluginRegistrarRef registrar);

FLUTTER_EXPORT FlutterDesktopTextureRegistrarRef FlutterDesktopRegistrarGetTextureRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);

FLUTTER_EXPORT void FlutterDesktopPluginRegistrarSetDestructionHandler(
    FlutterDesktopPluginRegistrarRef registrar, FlutterDesktopOnPluginRegistrarDestroyed callback);

#if defined(__cplusplus)
}
#endif
