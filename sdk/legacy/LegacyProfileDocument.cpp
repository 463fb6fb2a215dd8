#include "legacy/LegacyProfileDocument.h"

#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

namespace sv::legacy {

namespace {

using nlohmann::json;
namespace at = sv::profileblock::at;
using sv::profileblock::Get16;
using sv::profileblock::Get32;
using sv::profileblock::Put16;
using sv::profileblock::Put32;

constexpr const char* kCamera = profilekey::kCameraProfile;
constexpr const char* kIsp = profilekey::kIspProfiles;

// The LUMO offsets of the fields that carry one.
constexpr uint16_t kBacklightOffset = 0x0F00;
constexpr uint16_t kBrightnessOffset = 0x1000;
constexpr uint16_t kContrastOffset = 0x5000;
constexpr uint16_t kDenoiseOffset = 0x2000;
constexpr uint16_t kSharpnessOffset = 0x2000;

uint16_t Form(float x, int fractionBits, int mask) {
    const float unit = static_cast<float>(1 << fractionBits);
    const float t = std::trunc(x);
    const int whole = (static_cast<int>(t) * (1 << fractionBits)) & mask;
    const float raw = static_cast<float>(whole) + (x - t) * unit;
    return static_cast<uint16_t>(static_cast<unsigned>(static_cast<int>(raw)) & 0xFFFFu);
}

// The real value of a fixed-point field in the family's form.
double Real(const ProfileBlock& b, std::size_t field, int fractionBits, uint16_t lumoOffset, ProfileFamily family) {
    if (family == ProfileFamily::Lumo && lumoOffset != 0) {
        return sv::profileblock::OffsetFixed(b, field, lumoOffset, fractionBits);
    }
    return sv::profileblock::SignedFixed(b, field, fractionBits);
}

// The LUMO zoom fields are unsigned 8.8.
double Zoom(const ProfileBlock& b, std::size_t field, ProfileFamily family) {
    if (family == ProfileFamily::Lumo) {
        const uint16_t v = Get16(b, field);
        return (v & 0xFF) / 256.0 + (v >> 8);
    }
    return sv::profileblock::SignedFixed(b, field, 8);
}

// Reads the members of a document, stopping at the first that cannot be used.
class Members {
public:
    Members(const json& doc, std::string& error) : doc_(doc), error_(error) {}

    // A whole number within [low, high]; reals are cut toward zero.
    bool Whole(const char* object, const char* key, double low, double high, int64_t& out) {
        double x = 0;
        if (!Number(object, key, x)) return false;
        x = std::trunc(x);
        if (!(x >= low && x <= high)) return OutOfRange(object, key, low, high);
        out = static_cast<int64_t>(x);
        return true;
    }
    bool U8(const char* object, const char* key, ProfileBlock& b, std::size_t field) {
        int64_t v = 0;
        if (!Whole(object, key, 0, 0xFF, v)) return false;
        b[field] = static_cast<uint8_t>(v);
        return true;
    }
    bool U16(const char* object, const char* key, ProfileBlock& b, std::size_t field) {
        int64_t v = 0;
        if (!Whole(object, key, 0, 0xFFFF, v)) return false;
        Put16(b, field, static_cast<uint16_t>(v));
        return true;
    }
    // A 32-bit integer, signed or not, kept as its 32 bits.
    bool Word32(const char* object, const char* key, ProfileBlock& b, std::size_t field) {
        int64_t v = 0;
        if (!Whole(object, key, -2147483648.0, 4294967295.0, v)) return false;
        Put32(b, field, static_cast<uint32_t>(static_cast<uint64_t>(v) & 0xFFFFFFFFu));
        return true;
    }
    // A fixed-point field: x within [low, high), stored in the 4.12 or 8.8
    // form plus the family's offset.
    bool Fixed(const char* object, const char* key, int fractionBits, double low, double high, uint16_t offset,
               ProfileBlock& b, std::size_t field) {
        double x = 0;
        if (!Number(object, key, x)) return false;
        if (!(x >= low && x < high)) return OutOfRange(object, key, low, high);
        const uint16_t form = fractionBits == 12 ? ProfileForm4_12(static_cast<float>(x))
                                                 : ProfileForm8_8(static_cast<float>(x));
        Put16(b, field, static_cast<uint16_t>(form + offset));
        return true;
    }
    // Compared with `value`: a missing member or another type is not equal.
    template <typename T>
    bool Equals(const char* object, const char* key, const T& value) const {
        const json* m = Find(object, key);
        return m != nullptr && *m == value;
    }

private:
    const json* Find(const char* object, const char* key) const {
        if (!doc_.is_object()) return nullptr;
        const auto o = doc_.find(object);
        if (o == doc_.end() || !o->is_object()) return nullptr;
        const auto m = o->find(key);
        return m == o->end() ? nullptr : &*m;
    }
    // A number or a boolean (1, 0).
    bool Number(const char* object, const char* key, double& x) {
        const json* m = Find(object, key);
        if (m == nullptr) {
            error_ = Name(object, key) + " is missing";
            return false;
        }
        if (m->is_boolean()) {
            x = m->get<bool>() ? 1.0 : 0.0;
        } else if (m->is_number_unsigned()) {
            x = static_cast<double>(m->get<uint64_t>());
        } else if (m->is_number_integer()) {
            x = static_cast<double>(m->get<int64_t>());
        } else if (m->is_number_float()) {
            x = m->get<double>();
        } else {
            error_ = Name(object, key) + " must be a number, found " + m->type_name();
            return false;
        }
        return true;
    }
    bool OutOfRange(const char* object, const char* key, double low, double high) {
        char range[64];
        std::snprintf(range, sizeof(range), " is out of range (%g ~ %g)", low, high);
        error_ = Name(object, key) + range;
        return false;
    }
    static std::string Name(const char* object, const char* key) {
        return std::string("\"") + object + "\".\"" + key + "\"";
    }

    const json& doc_;
    std::string& error_;
};

}  // namespace

uint16_t ProfileForm4_12(float x) { return Form(x, 12, 0xF000); }
uint16_t ProfileForm8_8(float x) { return Form(x, 8, 0xFF00); }

std::string ProfileDocumentFromBlock(const ProfileBlock& b, ProfileFamily family) {
    json camera = json::object();
    camera["Framerate"] = b[at::kFrameRate];
    camera["Height"] = Get16(b, at::kHeight);
    const uint8_t code = b[at::kPixelFormat];
    camera["PixelFormat"] = code == sv::profileblock::kPixelFormatYuv    ? "UYVY"
                            : code == sv::profileblock::kPixelFormatMjpg ? "MJPG"
                                                                         : "NONE";
    camera["Width"] = Get16(b, at::kWidth);

    const sv::profileblock::UvcValues u = sv::profileblock::ToUvc(b);
    json uvc = json::object();
    uvc["Backlight_Compensation"] = u.backlight;
    uvc["Brightness"] = u.brightness;
    uvc["Contrast"] = u.contrast;
    uvc["Exp_Auto"] = u.autoExposure;
    uvc["Exposure"] = u.exposure;
    uvc["Gain"] = u.gain;
    uvc["Gamma"] = u.gamma;
    uvc["Pan"] = u.pan;
    uvc["Saturation"] = u.saturation;
    uvc["Sharpness"] = u.sharpness;
    uvc["Temperature"] = u.temperature;
    uvc["Tilt"] = u.tilt;
    uvc["WB_Auto"] = u.autoWhiteBalance;
    uvc["Zoom"] = u.zoom;

    json isp = json::object();
    isp["AE_EXP_GAIN"] = b[at::kGain];
    isp["AE_EXP_MODE"] = b[at::kExposureMode];
    isp["AE_EXP_TIME"] = Get32(b, at::kExposure);
    isp["AWB_MODE"] = b[at::kWhiteBalanceMode] == sv::profileblock::kWhiteBalanceAuto;
    isp["AWB_TEMP"] = Get16(b, at::kWhiteBalance);
    isp["Backlight_Compensation"] = Real(b, at::kBacklight, 8, kBacklightOffset, family);
    isp["Brightness"] = Real(b, at::kBrightness, 12, kBrightnessOffset, family);
    isp["Contrast"] = Real(b, at::kContrast, 12, kContrastOffset, family);
    isp["Denoise"] = Real(b, at::kDenoise, 12, kDenoiseOffset, family);
    isp["Effect_Mode"] = b[at::kEffect] & 0x0F;
    isp["Fixed_FPS"] = b[at::kFixedFps] == 1;
    isp["Flick_Mode"] = Get16(b, at::kFlicker);
    isp["Flip_Mode"] = b[at::kFlip] & 0x03;
    isp["Gamma"] = Real(b, at::kGamma, 12, 0, family);
    isp["Jpeg_Qual"] = b[at::kJpegQuality];
    isp["Saturation"] = Real(b, at::kSaturation, 12, 0, family);
    isp["Sharpness"] = Real(b, at::kSharpness, 12, kSharpnessOffset, family);
    isp["ZoomTarget"] = Zoom(b, at::kZoom, family);
    isp["Zoom_CTX"] = Zoom(b, at::kPan, family);
    isp["Zoom_CTY"] = Zoom(b, at::kTilt, family);

    json doc = json::object();
    doc[kCamera] = std::move(camera);
    doc["ControlMode"] = "ISP";
    doc["GenerateDate"] = "";
    doc[kIsp] = std::move(isp);
    doc["ProductName"] = "";
    doc["ProfileName"] = "OTPProfile";
    doc[profilekey::kUvcProfiles] = std::move(uvc);
    return doc.dump(2);
}

int ProfileBlockFromDocument(const char* text, ProfileFamily family, uint8_t flag, ProfileBlock& block,
                             std::string& error) {
    if (text == nullptr) {
        error = "no document given";
        return -1;
    }
    json doc;
    try {
        doc = json::parse(text);
    } catch (const json::exception& e) {
        error = e.what();
        return -1;
    }
    const bool lumo = family == ProfileFamily::Lumo;
    const auto offset = [&](uint16_t lumoOffset) { return lumo ? lumoOffset : uint16_t{0}; };
    // The ranges the fields hold, so that a value never wraps into another.
    const double zoomLow = lumo ? 0.0 : -128.0;
    const double zoomHigh = lumo ? 256.0 : 128.0;

    ProfileBlock b{};
    b[at::kFlag] = flag;
    b[at::kMarker] = 0x50;
    Members m(doc, error);
    // The rows in the order of the block, each checked before it is converted.
    bool ok = m.U16(kCamera, "Width", b, at::kWidth) && m.U16(kCamera, "Height", b, at::kHeight);
    if (ok) {
        b[at::kPixelFormat] = m.Equals(kCamera, "PixelFormat", "UYVY")   ? sv::profileblock::kPixelFormatYuv
                              : m.Equals(kCamera, "PixelFormat", "MJPG") ? sv::profileblock::kPixelFormatMjpg
                                                                         : 0;
    }
    ok = ok && m.U8(kCamera, "Framerate", b, at::kFrameRate) && m.U8(kIsp, "AE_EXP_MODE", b, at::kExposureMode) &&
         m.Word32(kIsp, "AE_EXP_TIME", b, at::kExposure) && m.U8(kIsp, "AE_EXP_GAIN", b, at::kGain) &&
         m.Fixed(kIsp, "Backlight_Compensation", 8, -128.0, 128.0, offset(kBacklightOffset), b, at::kBacklight);
    if (ok) {
        b[at::kWhiteBalanceMode] = m.Equals(kIsp, "AWB_MODE", true) ? sv::profileblock::kWhiteBalanceAuto
                                                                     : sv::profileblock::kWhiteBalanceManual;
    }
    ok = ok && m.U16(kIsp, "AWB_TEMP", b, at::kWhiteBalance) &&
         m.Fixed(kIsp, "Brightness", 12, -8.0, 8.0, offset(kBrightnessOffset), b, at::kBrightness) &&
         m.Fixed(kIsp, "Contrast", 12, -8.0, 8.0, offset(kContrastOffset), b, at::kContrast) &&
         m.Fixed(kIsp, "Saturation", 12, -8.0, 8.0, 0, b, at::kSaturation) &&
         m.Fixed(kIsp, "Gamma", 12, -8.0, 8.0, 0, b, at::kGamma) &&
         m.Fixed(kIsp, "Denoise", 12, -8.0, 8.0, offset(kDenoiseOffset), b, at::kDenoise) &&
         m.Fixed(kIsp, "Sharpness", 12, -8.0, 8.0, offset(kSharpnessOffset), b, at::kSharpness) &&
         m.U8(kIsp, "Flip_Mode", b, at::kFlip) && m.U8(kIsp, "Effect_Mode", b, at::kEffect) &&
         m.Fixed(kIsp, "ZoomTarget", 8, zoomLow, zoomHigh, 0, b, at::kZoom) &&
         m.Fixed(kIsp, "Zoom_CTX", 8, zoomLow, zoomHigh, 0, b, at::kPan) &&
         m.Fixed(kIsp, "Zoom_CTY", 8, zoomLow, zoomHigh, 0, b, at::kTilt) &&
         m.U16(kIsp, "Flick_Mode", b, at::kFlicker) && m.U8(kIsp, "Jpeg_Qual", b, at::kJpegQuality);
    if (!ok) return -1;
    b[at::kFixedFps] = m.Equals(kIsp, "Fixed_FPS", true) ? 1 : 0;
    block = b;
    return 0;
}

void PutProfileRegisters(ProfileBlock& b, const ProfileRegisterValues& r) {
    b[at::kIspMode] = static_cast<uint8_t>(r[0] & 0x0F);
    Put16(b, at::kThroughput, static_cast<uint16_t>(r[1] >> 6));
    Put32(b, at::kExposureMin, uint32_t{r[2]} << 16 | r[3]);
    Put32(b, at::kExposureMax, uint32_t{r[4]} << 16 | r[5]);
    Put16(b, at::kAeSetting, r[6]);
    Put16(b, at::kZoomType, r[7]);
    Put16(b, at::kZoomSetting, r[8]);
}

}  // namespace sv::legacy
