// USB bridge boot images: the parser and the per-target checks that run
// before any transfer.

#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "firmware/Fx3BootImage.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    svfuzz::QuietLogs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sv::firmware::Fx3BootImage image;
    const auto parsed = sv::firmware::ParseFx3BootImage(data, size, image);
    for (int target = 0; target <= 4; ++target) {
        const auto checked = sv::firmware::CheckFx3Image(target, data, size);
        // A target check never passes an image the parser refuses.
        if (parsed != sv::firmware::FX3DownloadResult::Success && checked == sv::firmware::FX3DownloadResult::Success) {
            svfuzz::Broken("a target accepted an image the parser refused");
        }
    }
    return 0;
}
