#pragma once

// External textures (stand-in engine): present for link compatibility; the
// stand-in draws nothing and refuses every texture.

#include <stdbool.h>
#include <stdint.h>

#include "flutter_export.h"

#if defined(__cplusplus)
extern "C" {
#endif

typedef struct FlutterDesktopTextureRegistrar* FlutterDesktopTextureRegistrarRef;
typedef struct FlutterDesktopTextureInfo FlutterDesktopTextureInfo;

// -1: no texture registered.
FLUTTER_EXPORT int64_t FlutterDesktopTextureRegistrarRegisterExternalTexture(
    FlutterDesktopTextureRegistrarRef texture_registrar, const FlutterDesktopTextureInfo* info);

FLUTTER_EXPORT void FlutterDesktopTextureRegistrarUnregisterExternalTexture(
    FlutterDesktopTextureRegistrarRef texture_registrar, int64_t texture_id, void (*callback)(void* user_data),
    void* user_data);

FLUTTER_EXPORT bool FlutterDesktopTextureRegistrarMarkExternalTextureFrameAvailable(
    FlutterDesktopTextureRegistrarRef texture_registrar, int64_t texture_id);

#if defined(__cplusplus)
}
#endif
