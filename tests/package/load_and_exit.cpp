// Loads the shared library at run time, has it write on both log channels,
// unloads it and ends. The test around it fails when this hangs or crashes:
// the library's background writers must not keep a process from ending, nor
// run on after the library is gone.

#include <cstdio>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: load_and_exit <library>\n");
        return 2;
    }
    for (int round = 0; round < 2; ++round) {
#if defined(_WIN32)
        HMODULE library = LoadLibraryA(argv[1]);
        if (!library) {
            std::fprintf(stderr, "cannot load %s\n", argv[1]);
            return 1;
        }
        auto hello = reinterpret_cast<void (*)()>(reinterpret_cast<void*>(GetProcAddress(library, "_Z14HelloSorvanSDKv")));
#else
        void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            std::fprintf(stderr, "cannot load %s: %s\n", argv[1], dlerror());
            return 1;
        }
        auto hello = reinterpret_cast<void (*)()>(dlsym(library, "_Z14HelloSorvanSDKv"));
#endif
        if (!hello) {
            std::fprintf(stderr, "HelloSorvanSDK is not exported\n");
            return 1;
        }
        hello();
#if defined(_WIN32)
        FreeLibrary(library);
#else
        dlclose(library);
#endif
    }
    std::printf("loaded, used and unloaded twice\n");
    return 0;
}
