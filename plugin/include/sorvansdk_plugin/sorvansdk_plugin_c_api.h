#pragma once

// The plug-in's exported C functions: registration with the engine, and the
// frame functions that Dart calls through its foreign-function interface.

#include <flutter_plugin_registrar.h>

#include <stdint.h>

#if defined(_WIN32)
#if defined(FLUTTER_PLUGIN_IMPL)
#define FLUTTER_PLUGIN_EXPORT __declspec(dllexport)
#else
#define FLUTTER_PLUGIN_EXPORT __declspec(dllimport)
#endif
#else
#define FLUTTER_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

#if defined(__cplusplus)
extern "C" {
#endif

FLUTTER_PLUGIN_EXPORT void SorvansdkPluginCApiRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);

// A new byte array of `size` bytes (contents undefined), to be released with
// freeImageBuffer; null for a negative size or when memory runs out.
FLUTTER_PLUGIN_EXPORT uint8_t* allocateImageBuffer(int size);

// Releases a buffer of allocateImageBuffer or getImageFromCamera; null is ignored.
FLUTTER_PLUGIN_EXPORT void freeImageBuffer(uint8_t* buffer);

// Captures one frame of the camera registered under `handle` into a new
// buffer of width x height x 3 bytes. On success returns the buffer and sets
// *outSize to the frame's size; otherwise returns null with *outSize -3
// (unknown handle, bad size, no memory, exception) or the capture result.
// The low 16 bits of `timeoutMs` are used; `reserved` is not.
FLUTTER_PLUGIN_EXPORT uint8_t* getImageFromCamera(int handle, int* outSize, int timeoutMs, int reserved, int width,
                                                  int height);

#if defined(__cplusplus)
}
#endif
