// Simulator world files: the world parse, the machine built from it, and the
// media type descriptions of every format it declares.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "platform/MediaTypeText.h"
#include "platform/sim/SimBackend.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimWorld.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    svfuzz::QuietLogs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    // A bad world is one error and a machine without devices.
    auto backend = sv::sim::SimBackend::FromJson(text, "<fuzz>");
    std::vector<std::shared_ptr<sv::platform::DeviceActivation>> devices;
    if (backend->EnumDeviceSources(devices) != sv::platform::HR_S_OK) svfuzz::Broken("enumeration failed");
    if (!backend->LoadError().empty() && !devices.empty()) svfuzz::Broken("a world with a load error has devices");

    // The native types of a good world, through the text the format list is read from.
    sv::sim::WorldDescription world;
    std::string error;
    if (!sv::sim::ParseWorld(text, "<fuzz>", world, error)) {
        if (error.empty()) svfuzz::Broken("a refused world without an error");
        return 0;
    }
    for (const auto& device : world.devices) {
        for (const auto& type : sv::sim::BuildNativeTypes(device.formats)) {
            try {
                (void)sv::platform::ParseSzFormatInfo(sv::platform::GetMediaTypeDescriptions(type.get()));
            } catch (const std::exception&) {
                // Refusing a description is the parse's documented answer.
            }
        }
    }
    return 0;
}
