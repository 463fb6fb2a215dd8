#pragma once

// Profile-configuration documents: JSON text that describes one camera set-up
// (a capture format and a full set of UVC or ISP control values). A maker
// camera keeps the last valid document it was given; the activations select
// its format and write its control values.

#include <memory>
#include <mutex>
#include <string>

class SvSorvanCamera;

namespace sv::formats {

// The embedded JSON Schema (draft 4) every document is checked against.
const char* ProfileSchemaText();

// Checks `text` against the schema; on failure `why` holds the lines the
// loader logs (schema place, keyword, document place). Used by the loader
// and by tools that check example documents.
bool ValidateProfileText(const std::string& text, std::string& why);

}  // namespace sv::formats

class SvProfileConfig {
public:
    // The camera owns this object and outlives it.
    explicit SvProfileConfig(SvSorvanCamera& camera);
    ~SvProfileConfig();

    SvProfileConfig(const SvProfileConfig&) = delete;
    SvProfileConfig& operator=(const SvProfileConfig&) = delete;

    // 0 when `text` is a valid document, which then replaces the loaded one;
    // -1 otherwise (logged), the loaded document kept.
    int LoadProfileConfig(const std::string& text);
    // Selects the first format of the camera's list with the document's
    // width, height and pixel format; the selection's own result.
    int ActivateProfileStreaming();
    // Writes the document's control values: "UVCProfiles" when the control
    // mode contains "UVC", else "ISPProfiles" when it contains "ISP".
    // Failures of single controls are logged and do not change the result.
    int ActivateProfileImageProcessing();

    bool Loaded() const;

private:
    struct Document;
    // The loaded document; an activation keeps its own reference, so a load on
    // another thread never frees the document under it.
    std::shared_ptr<const Document> Current() const;
    int ApplyUvc(const void* members);
    int ApplyIsp(const void* members);

    SvSorvanCamera& camera_;
    mutable std::mutex documentMutex_;
    std::shared_ptr<const Document> document_;
};
