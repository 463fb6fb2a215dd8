#pragma once

// What both sensor-board upgrades share: the image sensors the maker's
// modules carry, by the chip ID in sensor register 0x3000, and their colour
// type by the customer ID in 0x31FE; the image file read; the progress call.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sv::firmware {

// The sensor's name ("AR0234"), or null for a chip not in the table.
const char* SensorName(uint16_t chipId);

// "C" (colour) or "M" (mono); a customer ID not in the table is colour.
const char* ColourType(uint16_t customerId);

// The whole image file at `path`; false (logged under `where` as the
// upgrades word it) when it cannot be opened or read.
bool ReadImageFile(const char* where, const std::string& path, std::vector<uint8_t>& image);

// A progress callback as the upgrades call it: an empty one reports nothing.
inline void Report(const std::function<void(int)>& progress, int percent) {
    if (progress) progress(percent);
}

}  // namespace sv::firmware
