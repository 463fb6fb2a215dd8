// Bootdata header files: plain version 2 and 3 headers and LUMO images.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "formats/BootdataHeader.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    svfuzz::QuietLogs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static svfuzz::ScratchFile file("bootdata.bin");
    const std::string& path = file.Write(data, size);

    std::unique_ptr<SvHeaderV2> v2;
    if (sv::formats::ReadHeaderV2FromFile(path, v2) == 0) {
        if (!v2 || v2->headerVersion != 2) svfuzz::Broken("a version 2 header accepted with another version");
        (void)sv::formats::SensorFirmwareVersion(*v2);
        const auto* bytes = reinterpret_cast<const uint8_t*>(v2.get());
        (void)sv::formats::FixChecksum(bytes);
        (void)sv::formats::TotalChecksum(bytes);
    }
    std::unique_ptr<SvHeaderV3> v3;
    if (sv::formats::ReadHeaderV3FromFile(path, v3) == 0) {
        if (!v3 || v3->headerVersion != 3) svfuzz::Broken("a version 3 header accepted with another version");
        (void)sv::formats::SensorFirmwareVersion(*v3);
        const auto* bytes = reinterpret_cast<const uint8_t*>(v3.get());
        (void)sv::formats::FixChecksum(bytes);
        (void)sv::formats::TotalChecksum(bytes);
    }
    return 0;
}
