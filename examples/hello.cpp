// The smallest host application: greet, log to a folder, list the cameras.
#include <cstdio>
#include <string>
#include <vector>

#include <sorvansdk/SorvanSDK.h>

int main(int argc, char** argv) {
    HelloSorvanSDK();
    if (argc > 1 && SvSetLogFile(argv[1]) != 0) {
        std::fprintf(stderr, "cannot log to %s\n", argv[1]);
        return 1;
    }
    std::vector<std::string> names;
    int count = SvDiscoverCameraDevices(names);
    std::printf("%d camera(s)\n", count);
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::printf("  %zu: %s\n", i, names[i].c_str());
    }
    return 0;
}
