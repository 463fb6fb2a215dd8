#include "firmware/Fx3BootImage.h"

#include <sorvansdk/SvResults.h>

namespace sv::firmware {

namespace {

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

const char* FX3DownloadResultName(int code) {
    // The names live in the public table of results, beside their meanings.
    const SvResultEntry* entry = SvFindResult(SV_RESULT_FX3_DOWNLOAD, code);
    return entry && entry->name ? entry->name : "UNKNOWN";
}

FX3DownloadResult ParseFx3BootImage(const uint8_t* data, size_t size, Fx3BootImage& image) {
    image = Fx3BootImage{};
    if (data == nullptr || size < 2) return FX3DownloadResult::IncorrectImageLength;
    if (data[0] != 'C' || data[1] != 'Y') return FX3DownloadResult::InvalidFwSignature;
    if (size < 4) return FX3DownloadResult::IncorrectImageLength;
    image.eepromSizeCode = static_cast<uint8_t>((data[2] >> 1) & 7);
    size_t p = 4;
    for (;;) {
        if (size - p < 8) return FX3DownloadResult::IncorrectImageLength;  // the head runs past the end
        const uint64_t bytes = static_cast<uint64_t>(Le32(data + p)) * 4;
        const uint32_t address = Le32(data + p + 4);
        p += 8;
        if (bytes == 0) {
            image.entry = address;
            image.end = p;
            return FX3DownloadResult::Success;
        }
        if (bytes > size) return FX3DownloadResult::CorruptFirmwareImageFile;
        if (static_cast<uint64_t>(address) + bytes > (uint64_t{1} << 32)) {
            return FX3DownloadResult::CorruptFirmwareImageFile;
        }
        if (bytes > size - p) return FX3DownloadResult::IncorrectImageLength;
        image.records.push_back(Fx3BootRecord{address, p, static_cast<uint32_t>(bytes)});
        p += static_cast<size_t>(bytes);
    }
}

uint32_t Fx3EepromDeviceSize(uint8_t code) {
    switch (code) {
        case 2: return 4096;
        case 3: return 8192;
        case 4: return 16384;
        case 5: return 32768;
        case 6:
        case 7: return 65536;
        default: return 0;
    }
}

uint64_t Fx3EepromCapacity(uint8_t code) {
    // Without large-device addressing the device select counts 0..7 and then
    // starts over; with it the devices are 0, 4, 1, 5 and then 5 again.
    if (code == 7) return 4ull * 65536;
    return 8ull * Fx3EepromDeviceSize(code);
}

FX3DownloadResult CheckFx3Image(int target, const uint8_t* data, size_t size) {
    if (target < 1 || target > 3) return FX3DownloadResult::InvalidMediaType;
    Fx3BootImage image;
    const FX3DownloadResult parsed = ParseFx3BootImage(data, size, image);
    if (parsed != FX3DownloadResult::Success) return parsed;
    if (target == 2) {
        if (Fx3EepromDeviceSize(image.eepromSizeCode) == 0) return FX3DownloadResult::I2cEepromUnknownSize;
        if (size > Fx3EepromCapacity(image.eepromSizeCode)) return FX3DownloadResult::IncorrectImageLength;
    }
    if (target == 3 && size > kFx3SpiMaxImage) return FX3DownloadResult::IncorrectImageLength;
    return FX3DownloadResult::Success;
}

}  // namespace sv::firmware
