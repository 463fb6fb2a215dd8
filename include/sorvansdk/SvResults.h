#pragma once

// Words for the library's numeric results, for messages: one table per kind
// of result, each code with its name (where the interface names it) and what
// it means. Header-only, so that a program, the Python module and the
// library itself read the same tables.
//
//   SvDescribeResult(SV_RESULT_FX3_DOWNLOAD, 3)
//       -> "the image has no CY signature (INVALID_FWSIGNATURE)"

#include <cstdint>
#include <string>

// The kinds of results.
enum SV_RESULT_KIND : int32_t {
    // 0 or negative: SvOpen, SvSetFormat, SvStartStreaming, the control and
    // maker functions, SvUpgradeSensorFW, ...
    SV_RESULT_CALL = 0,
    // SV_CAPTURE_RESULT of SvGetImage and SvGetImageFd.
    SV_RESULT_CAPTURE = 1,
    // SvUpgradeFX3FW: -1, or the download's result 1 to 9.
    SV_RESULT_FX3_DOWNLOAD = 2,
};

struct SvResultEntry {
    int code;
    const char* name;     // nullptr where the interface gives the code no name
    const char* meaning;  // lower case, no full stop
};

namespace sv_results_detail {

inline constexpr SvResultEntry kCall[] = {
    {0, nullptr, "success"},
    {-1, nullptr, "the call failed (the library log names the reason)"},
    {-2, nullptr, "the camera is in use by another application"},
};

inline constexpr SvResultEntry kCapture[] = {
    {0, "SV_CAPTURE_SUCCESS", "a frame was copied"},
    {-1, "SV_CAPTURE_TIMEOUT", "no frame within the time-out, or the stream is not running"},
    {-2, "SV_CAPTURE_DEVICE_ERROR", "the device refused or lost the frame request"},
    {-3, "SV_CAPTURE_FAILED", "no stream to read from (the camera is closed, gone or does not stream)"},
};

// The download's results keep the names the upgrade logs.
inline constexpr SvResultEntry kFx3Download[] = {
    {-1, nullptr, "no suitable bridge was found, or the image file cannot be read"},
    {0, "SUCCESS", "success"},
    {1, "FAILED", "the bridge did not take or verify a write, or did not start the program"},
    {2, "INVALID_MEDIA_TYPE", "the target is not RAM, I2C EEPROM or SPI flash"},
    {3, "INVALID_FWSIGNATURE", "the image has no CY signature"},
    {4, "DEVICE_CREATE_FAILED", "the bridge could not be opened"},
    {5, "INCORRECT_IMAGE_LENGTH", "the image is cut short, or too large for the target"},
    {6, "INVALID_FILE", "the image file cannot be read"},
    {7, "SPI_FLASH_ERASE_FAILED", "erasing the SPI flash failed"},
    {8, "CORRUPT_FIRMWARE_IMAGE_FILE", "a record of the image has an impossible length or address"},
    {9, "I2C_EEPROM_UNKNOWN_SIZE", "the image names no known I2C EEPROM size"},
};

template <std::size_t N>
inline const SvResultEntry* Find(const SvResultEntry (&table)[N], int code) {
    for (const auto& entry : table) {
        if (entry.code == code) return &entry;
    }
    return nullptr;
}

}  // namespace sv_results_detail

// The table entry of `code`, or nullptr for a code the table does not hold
// (for example a platform error passed through).
inline const SvResultEntry* SvFindResult(SV_RESULT_KIND kind, int code) {
    switch (kind) {
    case SV_RESULT_CALL: return sv_results_detail::Find(sv_results_detail::kCall, code);
    case SV_RESULT_CAPTURE: return sv_results_detail::Find(sv_results_detail::kCapture, code);
    case SV_RESULT_FX3_DOWNLOAD: return sv_results_detail::Find(sv_results_detail::kFx3Download, code);
    }
    return nullptr;
}

// "meaning (NAME)", "meaning (result -1)" for a code without a name, and
// "result N" for a code the table does not hold.
inline std::string SvDescribeResult(SV_RESULT_KIND kind, int code) {
    const SvResultEntry* entry = SvFindResult(kind, code);
    if (!entry) return "result " + std::to_string(code);
    return std::string(entry->meaning) + " (" +
           (entry->name ? std::string(entry->name) : "result " + std::to_string(code)) + ")";
}
