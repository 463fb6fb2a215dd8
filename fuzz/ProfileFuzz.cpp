// Profile documents (the schema check every document passes before it is
// kept) and on-camera profile blocks turned into documents.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include <rapidjson/document.h>

#include "FuzzSupport.h"
#include "formats/OspProfileBlock.h"
#include "formats/ProfileConfig.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    svfuzz::QuietLogs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string why;
    if (!sv::formats::ValidateProfileText(text, why) && why.empty()) svfuzz::Broken("a refusal without a reason");

    // The first bytes as a block: whatever it holds, the document made from it
    // is JSON that parses.
    sv::formats::OspProfileBlock block{};
    std::copy(data, data + std::min(size, block.size()), block.begin());
    for (auto family : {sv::formats::OspFamily::Kano, sv::formats::OspFamily::Lumo}) {
        for (bool yuy2 : {false, true}) {
            const std::string json = sv::formats::OspProfileToJson(block, family, yuy2);
            rapidjson::Document doc;
            doc.Parse(json.c_str());
            if (doc.HasParseError()) svfuzz::Broken("a profile block made text that is not JSON");
        }
    }
    return 0;
}
