#pragma once

// Symbol visibility of the public interface. The library is built with hidden
// visibility by default; only what carries SORVANSDK_API is exported.
#if defined(_WIN32)
#  if defined(SORVANSDK_STATIC)
#    define SORVANSDK_API
#  elif defined(SORVANSDK_BUILDING)
#    define SORVANSDK_API __declspec(dllexport)
#  else
#    define SORVANSDK_API __declspec(dllimport)
#  endif
#else
#  define SORVANSDK_API __attribute__((visibility("default")))
#endif
