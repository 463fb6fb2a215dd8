# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers (the POSIX
# thread model, so std::thread and std::mutex work).
#
# SORVANSDK_WINDOWS_DEPS names the prefix that scripts/windows-deps fills with
# the cross-built dependencies and the header-only ones; it defaults to
# build-windows/deps of this checkout.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_AR ${triple}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${triple}-gcc-ranlib-posix CACHE FILEPATH "")

if(NOT SORVANSDK_WINDOWS_DEPS)
  get_filename_component(SORVANSDK_WINDOWS_DEPS "${CMAKE_CURRENT_LIST_DIR}/../../build-windows/deps" ABSOLUTE)
endif()
set(SORVANSDK_WINDOWS_DEPS "${SORVANSDK_WINDOWS_DEPS}" CACHE PATH "Prefix of the cross-built dependencies")

set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${SORVANSDK_WINDOWS_DEPS})
# Static libraries only: nothing but the library itself is shipped as a DLL.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs carry the GCC and thread runtimes, so nothing must be shipped
# beside them; tests and tools run under Wine from the build folder.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

find_program(SORVANSDK_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(SORVANSDK_WINE)
  # Through a launcher that starts a program again when Wine failed to start
  # it at all (scripts/wine-run).
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine-run)
endif()
