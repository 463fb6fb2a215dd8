#include "formats/OspProfileBlock.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "camera/IspProperties.h"

namespace sv::formats {

namespace {

uint16_t U16(const OspProfileBlock& b, std::size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

uint32_t U32(const OspProfileBlock& b, std::size_t at) {
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

int16_t S16(uint16_t v) { return static_cast<int16_t>(v); }

// Position of `code` in `codes`; 0 when it is not there.
template <typename T, std::size_t N>
int Position(T code, const T (&codes)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
        if (codes[i] == code) return static_cast<int>(i);
    }
    return 0;
}

// A fixed-point register as the ISP property shows it: the value rounded to
// hundredths, then scaled by 10.
int Fixed(int16_t raw, int fractionBits) {
    return IspInterfaceValue(static_cast<double>(raw) / static_cast<double>(1 << fractionBits), 10);
}

// The LUMO offset forms: the stored word minus the offset, read as signed.
int16_t Offset(uint16_t v, uint16_t offset) { return static_cast<int16_t>(static_cast<uint16_t>(v - offset)); }

// UVC pan and tilt in arc-seconds, from an 8.8 fraction of a full turn.
int UvcAngle(uint16_t v) {
    const float degrees = static_cast<float>(v) * 360.0f / 256.0f - 180.0f;
    return static_cast<int>(degrees * 3600.0f + 0.5f);
}

using Writer = rapidjson::Writer<rapidjson::StringBuffer>;

void Member(Writer& w, const char* key, int value) {
    w.Key(key);
    w.Int(value);
}

void MemberU(Writer& w, const char* key, uint32_t value) {
    w.Key(key);
    w.Uint(value);
}

void MemberS(Writer& w, const char* key, const char* value) {
    w.Key(key);
    w.String(value);
}

}  // namespace

uint16_t OspProfileChecksum(const OspProfileBlock& block) {
    uint32_t sum = 0;
    for (std::size_t i = 0; i < osp::kChecksum; ++i) sum += block[i];
    return static_cast<uint16_t>(sum);
}

uint16_t OspProfileStoredChecksum(const OspProfileBlock& block) { return U16(block, osp::kChecksum); }

OspProfilePlace KanoProfilePlace(const SvHeaderV3& header, uint8_t storeDevice) {
    const uint64_t address = uint64_t{header.contentOffset} + header.contentLen;
    OspProfilePlace place;
    place.device = address >= 0xFFFF ? static_cast<uint8_t>(storeDevice + 1) : storeDevice;
    place.reg = static_cast<uint16_t>(address & 0xFFFF);
    return place;
}

std::string OspProfileToJson(const OspProfileBlock& b, OspFamily family, bool yuy2) {
    const bool lumo = family == OspFamily::Lumo;
    rapidjson::StringBuffer text;
    Writer w(text);
    w.StartObject();
    MemberS(w, "ProfileName", "OSPProfile");
    MemberS(w, "ProductName", "");
    MemberS(w, "GenerateDate", "");
    MemberS(w, "ControlMode", "ISP");
    MemberS(w, "ProfileVersion", "2");

    w.Key("CameraProfile");
    w.StartObject();
    Member(w, "Width", U16(b, osp::kWidth));
    Member(w, "Height", U16(b, osp::kHeight));
    Member(w, "Framerate", b[osp::kFrameRate]);
    const uint8_t code = b[osp::kPixelFormat];
    MemberS(w, "PixelFormat", code == 0x50 ? (yuy2 ? "YUY2" : "UYVY") : code == 1 ? "MJPG" : "NONE");
    Member(w, "Throughput", U16(b, osp::kThroughput));
    w.EndObject();

    const uint32_t exposure = U32(b, osp::kExposure);
    const uint8_t gain = b[osp::kGain];
    const uint8_t exposureCode = b[osp::kExposureMode];
    const uint8_t whiteBalanceCode = b[osp::kWhiteBalanceMode];
    const uint16_t whiteBalance = U16(b, osp::kWhiteBalance);

    // The UVC forms: each control mapped onto the range its UVC control has.
    w.Key("UVCProfiles");
    w.StartObject();
    {
        MemberU(w, "ExposureTime", exposure);
        Member(w, "ExposureGain", gain);
        Member(w, "ExposureMode", exposureCode == 12 ? 1 : 0);
        Member(w, "WhiteBalanceMode", whiteBalanceCode == 15 ? 1 : 0);
        Member(w, "WhiteBalanceTemperature", whiteBalance);
        const int backlight = U16(b, osp::kBacklight) >> 4;
        Member(w, "BacklightCompensation", backlight <= 0xF0 ? backlight + 240 : backlight - 3856);
        const int brightness = U16(b, osp::kBrightness) >> 8;
        Member(w, "Brightness", brightness <= 0x10 ? brightness + 16 : brightness - 240);
        const int contrast = U16(b, osp::kContrast) >> 12;
        Member(w, "Contrast", contrast <= 5 ? contrast + 5 : contrast - 11);
        Member(w, "Saturation", b[osp::kSaturation + 1]);
        const int gamma = U16(b, osp::kGamma);
        Member(w, "Gamma", ((gamma >> 12) * 1000 + (((gamma & 0xFFF) * 1000) >> 12) - 399) / 100);
        const int sharpness = U16(b, osp::kSharpness) >> 8;
        Member(w, "Sharpness", sharpness <= 0x20 ? sharpness + 32 : sharpness - 224);
        const int zoom = U16(b, osp::kZoom);
        Member(w, "Zoom", (zoom >> 8) * 100 + (((zoom & 0xFF) * 100) >> 8));
        Member(w, "Pan", UvcAngle(U16(b, osp::kPan)));
        Member(w, "Tilt", UvcAngle(U16(b, osp::kTilt)));
    }
    w.EndObject();

    // The ISP forms: property values as the ISP property interface takes them.
    static const uint8_t kExposureModes[] = {0, 12, 9};
    static const uint8_t kWhiteBalanceModes[] = {7, 15};
    static const uint8_t kEffects[] = {0, 3, 6, 7, 15};
    static const int16_t kFlickers[] = {0, 0x3201, 0x3C01, 14};
    const uint16_t backlightRaw = U16(b, osp::kBacklight);
    const uint16_t brightnessRaw = U16(b, osp::kBrightness);
    const uint16_t contrastRaw = U16(b, osp::kContrast);
    const uint16_t denoiseRaw = U16(b, osp::kDenoise);
    const uint16_t sharpnessRaw = U16(b, osp::kSharpness);
    const int backlight = Fixed(lumo ? Offset(backlightRaw, 0x0F00) : S16(backlightRaw), 8);
    const int brightness = Fixed(lumo ? Offset(brightnessRaw, 0x1000) : S16(brightnessRaw), 12);
    const int contrast = Fixed(lumo ? Offset(contrastRaw, 0x5000) : S16(contrastRaw), 12);
    const int saturation = Fixed(S16(U16(b, osp::kSaturation)), 12);
    const int gamma = Fixed(S16(U16(b, osp::kGamma)), 12);
    const int denoise = Fixed(lumo ? Offset(denoiseRaw, 0x2000) : S16(denoiseRaw), 12);
    const int sharpness = Fixed(lumo ? Offset(sharpnessRaw, 0x2000) : S16(sharpnessRaw), 12);

    w.Key("ISPProfiles");
    w.StartObject();
    MemberU(w, "ExposureTime", exposure);
    MemberU(w, "ExposureMinTime", U32(b, osp::kExposureMin));
    MemberU(w, "ExposureMaxTime", U32(b, osp::kExposureMax));
    Member(w, "ExposureGain", gain);
    Member(w, "ExposureMode", Position(exposureCode, kExposureModes));
    Member(w, "WhiteBalanceMode", Position(whiteBalanceCode, kWhiteBalanceModes));
    Member(w, "WhiteBalanceTemperature", whiteBalance);
    if (!lumo) {
        Member(w, "BacklightCompensation", backlight);
        Member(w, "Brightness", brightness);
        Member(w, "Contrast", contrast);
    }
    Member(w, "Saturation", saturation);
    Member(w, "Gamma", gamma);
    if (!lumo) {
        Member(w, "Denoise", denoise);
        Member(w, "Sharpness", sharpness);
    }
    Member(w, "FlipMode", b[osp::kFlip] & 0x03);
    Member(w, "SpecialEffectMode", Position(static_cast<uint8_t>(b[osp::kEffect] & 0x0F), kEffects));
    Member(w, "Zoom", Fixed(S16(U16(b, osp::kZoom)), 8));
    Member(w, "Pan", Fixed(S16(U16(b, osp::kPan)), 8));
    Member(w, "Tilt", Fixed(S16(U16(b, osp::kTilt)), 8));
    Member(w, "FlickMode", Position(S16(U16(b, osp::kFlicker)), kFlickers));
    Member(w, "JpegQual", b[osp::kJpegQuality]);
    if (lumo) {
        Member(w, "BacklightCompensation", backlight);
        Member(w, "Brightness", brightness);
        Member(w, "Contrast", contrast);
        Member(w, "Denoise", denoise);
        Member(w, "Sharpness", sharpness);
    }
    w.EndObject();

    w.EndObject();
    return std::string(text.GetString(), text.GetSize());
}

}  // namespace sv::formats
