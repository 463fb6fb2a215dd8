#include "base/OspProfileLayout.h"

namespace sv::profileblock {

namespace {

// UVC pan and tilt in arc-seconds, from an 8.8 fraction of a full turn,
// computed in single precision as the camera firmware does.
int UvcAngle(uint16_t v) {
    const float degrees = static_cast<float>(v) * 360.0f / 256.0f - 180.0f;
    return static_cast<int>(degrees * 3600.0f + 0.5f);
}

}  // namespace

uint16_t Checksum(const Block& block) {
    uint32_t sum = 0;
    for (std::size_t i = 0; i < at::kChecksum; ++i) sum += block[i];
    return static_cast<uint16_t>(sum);
}

void Seal(Block& block) { Put16(block, at::kChecksum, Checksum(block)); }

Place KanoPlace(uint32_t contentOffset, uint32_t contentLen, uint8_t storeDevice) {
    const uint64_t address = uint64_t{contentOffset} + contentLen;
    Place place;
    place.device = address >= 0xFFFF ? static_cast<uint8_t>(storeDevice + 1) : storeDevice;
    place.reg = static_cast<uint16_t>(address & 0xFFFF);
    return place;
}

UvcValues ToUvc(const Block& b) {
    UvcValues u;
    u.exposure = Get32(b, at::kExposure);
    u.gain = b[at::kGain];
    u.autoExposure = b[at::kExposureMode] == kExposureModeAuto;
    u.autoWhiteBalance = b[at::kWhiteBalanceMode] == kWhiteBalanceAuto;
    u.temperature = Get16(b, at::kWhiteBalance);
    const int backlight = Get16(b, at::kBacklight) >> 4;
    u.backlight = backlight <= 0xF0 ? backlight + 240 : backlight - 3856;
    const int brightness = Get16(b, at::kBrightness) >> 8;
    u.brightness = brightness <= 0x10 ? brightness + 16 : brightness - 240;
    const int contrast = Get16(b, at::kContrast) >> 12;
    u.contrast = contrast <= 5 ? contrast + 5 : contrast - 11;
    u.saturation = b[at::kSaturation + 1];
    const int gamma = Get16(b, at::kGamma);
    u.gamma = ((gamma >> 12) * 1000 + (((gamma & 0xFFF) * 1000) >> 12) - 399) / 100;
    const int sharpness = Get16(b, at::kSharpness) >> 8;
    u.sharpness = sharpness <= 0x20 ? sharpness + 32 : sharpness - 224;
    const int zoom = Get16(b, at::kZoom);
    u.zoom = (zoom >> 8) * 100 + (((zoom & 0xFF) * 100) >> 8);
    u.pan = UvcAngle(Get16(b, at::kPan));
    u.tilt = UvcAngle(Get16(b, at::kTilt));
    return u;
}

double SignedFixed(const Block& block, std::size_t at, int fractionBits) {
    return static_cast<double>(static_cast<int16_t>(Get16(block, at))) / static_cast<double>(1 << fractionBits);
}

double OffsetFixed(const Block& block, std::size_t at, uint16_t offset, int fractionBits) {
    const auto s = static_cast<int16_t>(static_cast<uint16_t>(Get16(block, at) - offset));
    return static_cast<double>(s) / static_cast<double>(1 << fractionBits);
}

}  // namespace sv::profileblock
