#pragma once

// The bridge's boot image as the downloads read it: "CY", a byte whose bits
// 1-3 give the I2C EEPROM size, then records of an 8-byte head (length in
// 32-bit words, load address; little-endian) and their data, up to a record
// of length 0 whose address is the entry point. What follows is not read.
//
// The parser takes bytes, not a path, so fuzzers and tools can feed it. Lengths
// are computed in 64 bits and checked against the image, so a word count
// whose byte length would wrap never reads as the end record.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "firmware/FX3DownloadResult.h"

namespace sv::firmware {

struct Fx3BootRecord {
    uint32_t address = 0;
    size_t offset = 0;   // of the data in the image
    uint32_t length = 0; // bytes
};

struct Fx3BootImage {
    std::vector<Fx3BootRecord> records;
    uint32_t entry = 0;
    size_t end = 0;          // bytes read, up to and including the end record
    uint8_t eepromSizeCode = 0;  // bits 1-3 of byte 2
};

// Parses `size` bytes at `data`: Success, IncorrectImageLength (too small for
// a signature and an end record, a record running past the end, no end
// record), InvalidFwSignature (no "CY"), CorruptFirmwareImageFile (a record
// longer than the whole image, or one that runs past the end of the address
// space).
FX3DownloadResult ParseFx3BootImage(const uint8_t* data, size_t size, Fx3BootImage& image);

// I2C EEPROM size (bytes per device) of a size code, 0 for an unknown code;
// the capacity is what the device addressing reaches before it would write
// over the image's own beginning.
uint32_t Fx3EepromDeviceSize(uint8_t code);
uint64_t Fx3EepromCapacity(uint8_t code);

// Largest image the SPI programming addresses (16-bit page numbers).
constexpr uint64_t kFx3SpiMaxImage = 65536ull * 256;

// Whether an image can go to `target` (1 RAM, 2 I2C EEPROM, 3 SPI flash):
// the parse above, then for the EEPROM a known size code
// (I2cEepromUnknownSize) and an image within the capacity
// (IncorrectImageLength), for the SPI flash an image within the addressable
// pages (IncorrectImageLength). Any other target: InvalidMediaType.
FX3DownloadResult CheckFx3Image(int target, const uint8_t* data, size_t size);

}  // namespace sv::firmware
