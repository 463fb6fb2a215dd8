#include "formats/OspProfileBlock.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "camera/IspProperties.h"

namespace sv::formats {

namespace {

using sv::profileblock::Get16;
using sv::profileblock::Get32;

// Position of `code` in `codes`; 0 when it is not there.
template <typename T, std::size_t N>
int Position(T code, const T (&codes)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
        if (codes[i] == code) return static_cast<int>(i);
    }
    return 0;
}

// A fixed-point value as the ISP property shows it: rounded to hundredths,
// then scaled by 10.
int Fixed(double value) { return IspInterfaceValue(value, 10); }

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

OspProfilePlace KanoProfilePlace(const SvHeaderV3& header, uint8_t storeDevice) {
    return sv::profileblock::KanoPlace(header.contentOffset, header.contentLen, storeDevice);
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
    Member(w, "Width", Get16(b, osp::kWidth));
    Member(w, "Height", Get16(b, osp::kHeight));
    Member(w, "Framerate", b[osp::kFrameRate]);
    const uint8_t code = b[osp::kPixelFormat];
    MemberS(w, "PixelFormat", code == 0x50 ? (yuy2 ? "YUY2" : "UYVY") : code == 1 ? "MJPG" : "NONE");
    Member(w, "Throughput", Get16(b, osp::kThroughput));
    w.EndObject();

    const sv::profileblock::UvcValues uvc = sv::profileblock::ToUvc(b);
    const uint8_t exposureCode = b[osp::kExposureMode];
    const uint8_t whiteBalanceCode = b[osp::kWhiteBalanceMode];

    // The UVC forms: each control mapped onto the range its UVC control has.
    w.Key("UVCProfiles");
    w.StartObject();
    MemberU(w, "ExposureTime", uvc.exposure);
    Member(w, "ExposureGain", uvc.gain);
    Member(w, "ExposureMode", uvc.autoExposure ? 1 : 0);
    Member(w, "WhiteBalanceMode", uvc.autoWhiteBalance ? 1 : 0);
    Member(w, "WhiteBalanceTemperature", uvc.temperature);
    Member(w, "BacklightCompensation", uvc.backlight);
    Member(w, "Brightness", uvc.brightness);
    Member(w, "Contrast", uvc.contrast);
    Member(w, "Saturation", uvc.saturation);
    Member(w, "Gamma", uvc.gamma);
    Member(w, "Sharpness", uvc.sharpness);
    Member(w, "Zoom", uvc.zoom);
    Member(w, "Pan", uvc.pan);
    Member(w, "Tilt", uvc.tilt);
    w.EndObject();

    // The ISP forms: property values as the ISP property interface takes them.
    static const uint8_t kExposureModes[] = {0, 12, 9};
    static const uint8_t kWhiteBalanceModes[] = {7, 15};
    static const uint8_t kEffects[] = {0, 3, 6, 7, 15};
    static const int16_t kFlickers[] = {0, 0x3201, 0x3C01, 14};
    using sv::profileblock::OffsetFixed;
    using sv::profileblock::SignedFixed;
    const int backlight = Fixed(lumo ? OffsetFixed(b, osp::kBacklight, 0x0F00, 8) : SignedFixed(b, osp::kBacklight, 8));
    const int brightness =
        Fixed(lumo ? OffsetFixed(b, osp::kBrightness, 0x1000, 12) : SignedFixed(b, osp::kBrightness, 12));
    const int contrast = Fixed(lumo ? OffsetFixed(b, osp::kContrast, 0x5000, 12) : SignedFixed(b, osp::kContrast, 12));
    const int saturation = Fixed(SignedFixed(b, osp::kSaturation, 12));
    const int gamma = Fixed(SignedFixed(b, osp::kGamma, 12));
    const int denoise = Fixed(lumo ? OffsetFixed(b, osp::kDenoise, 0x2000, 12) : SignedFixed(b, osp::kDenoise, 12));
    const int sharpness =
        Fixed(lumo ? OffsetFixed(b, osp::kSharpness, 0x2000, 12) : SignedFixed(b, osp::kSharpness, 12));

    w.Key("ISPProfiles");
    w.StartObject();
    MemberU(w, "ExposureTime", uvc.exposure);
    MemberU(w, "ExposureMinTime", Get32(b, osp::kExposureMin));
    MemberU(w, "ExposureMaxTime", Get32(b, osp::kExposureMax));
    Member(w, "ExposureGain", uvc.gain);
    Member(w, "ExposureMode", Position(exposureCode, kExposureModes));
    Member(w, "WhiteBalanceMode", Position(whiteBalanceCode, kWhiteBalanceModes));
    Member(w, "WhiteBalanceTemperature", uvc.temperature);
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
    Member(w, "Zoom", Fixed(SignedFixed(b, osp::kZoom, 8)));
    Member(w, "Pan", Fixed(SignedFixed(b, osp::kPan, 8)));
    Member(w, "Tilt", Fixed(SignedFixed(b, osp::kTilt, 8)));
    Member(w, "FlickMode", Position(static_cast<int16_t>(Get16(b, osp::kFlicker)), kFlickers));
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
