#pragma once

// Symbol visibility of the engine's C functions.
#if defined(_WIN32)
#if defined(FLUTTER_DESKTOP_LIBRARY)
#define FLUTTER_EXPORT __declspec(dllexport)
#else
#define FLUTTER_EXPORT __declspec(dllimport)
#endif
#else
#define FLUTTER_EXPORT __attribute__((visibility("default")))
#endif
