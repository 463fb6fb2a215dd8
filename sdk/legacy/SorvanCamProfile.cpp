// The legacy profile document: loading it into the object and applying it to
// the camera's controls and streaming format.

#include <sorvansdk/SorvanCam.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include "base/PixelFormat.h"
#include "legacy/SorvanCamInternal.h"
#include "platform/backend/MfIds.h"

using namespace sv::platform;

namespace {

// The first missing key, wrong kind or number out of range ends a load; the
// values read before it stay.
class ProfileError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

const rapidjson::Value& Member(const rapidjson::Value& object, const char* key) {
    if (!object.IsObject()) throw ProfileError("Document is not an object where a member is expected");
    const auto it = object.FindMember(key);
    if (it == object.MemberEnd()) throw ProfileError(std::string("Missing member '") + key + "'");
    return it->value;
}

std::string String(const rapidjson::Value& object, const char* key) {
    const auto& v = Member(object, key);
    if (!v.IsString()) throw ProfileError(std::string("Member '") + key + "' is not a string");
    return std::string(v.GetString(), v.GetStringLength());
}

// A whole number written as a real (5000.0, as other tools write documents)
// counts as that whole number; a fraction, or a value outside int, does not.
int Int(const rapidjson::Value& object, const char* key) {
    const auto& v = Member(object, key);
    if (!v.IsNumber()) throw ProfileError(std::string("Member '") + key + "' is not a number");
    if (v.IsInt()) return v.GetInt();
    if (v.IsDouble()) {
        const double d = v.GetDouble();
        if (d >= -2147483648.0 && d <= 2147483647.0 && std::trunc(d) == d) return static_cast<int>(d);
    }
    throw ProfileError(std::string("Member '") + key + "' is not a whole number between -2147483648 and 2147483647");
}

double Double(const rapidjson::Value& object, const char* key) {
    const auto& v = Member(object, key);
    if (!v.IsNumber()) throw ProfileError(std::string("Member '") + key + "' is not a number");
    return v.GetDouble();
}

bool Bool(const rapidjson::Value& object, const char* key) {
    const auto& v = Member(object, key);
    if (!v.IsBool()) throw ProfileError(std::string("Member '") + key + "' is not a boolean");
    return v.GetBool();
}

// The earlier interface knows the captured formats only; any other text is 0.
int FormatCode(const std::string& text) {
    const SV_IMAGE_FORMAT format = sv::PixelFormatFromName(text);
    return sv::IsCaptureFormat(format) ? format : 0;
}

void Load(const std::string& text, SzLoadedProfile& p) {
    rapidjson::Document doc;
    doc.Parse(text.c_str(), text.size());
    if (doc.HasParseError()) {
        throw ProfileError(std::string(rapidjson::GetParseError_En(doc.GetParseError())) + " (offset " +
                           std::to_string(doc.GetErrorOffset()) + ")");
    }
    if (!doc.IsObject()) throw ProfileError("Document is not a JSON object");
    p.ProfileName = String(doc, "ProfileName");
    p.ProductName = String(doc, "ProductName");
    p.GenerateDate = String(doc, "GenerateDate");
    if (doc.HasMember("SerialNumber")) p.SerialNumber = String(doc, "SerialNumber");
    if (doc.HasMember("UID")) p.UID = String(doc, "UID");
    p.ControlMode = String(doc, "ControlMode");

    const auto& camera = Member(doc, "CameraProfile");
    p.CameraProfile.Width = Int(camera, "Width");
    p.CameraProfile.Height = Int(camera, "Height");
    p.CameraProfile.Framerate = Int(camera, "Framerate");
    p.CameraProfile.PixelFormat = String(camera, "PixelFormat");
    p.CameraProfile.formatCode = FormatCode(p.CameraProfile.PixelFormat);

    const auto& uvcs = Member(doc, "UVCProfiles");
    auto& u = p.UVCProfiles;
    u.Exposure = Int(uvcs, "Exposure");
    u.Gain = Int(uvcs, "Gain");
    u.Exp_Auto = Bool(uvcs, "Exp_Auto");
    u.WB_Auto = Bool(uvcs, "WB_Auto");
    u.Temperature = Int(uvcs, "Temperature");
    u.Brightness = Int(uvcs, "Brightness");
    u.Backlight_Compensation = Int(uvcs, "Backlight_Compensation");
    u.Contrast = Int(uvcs, "Contrast");
    u.Saturation = Int(uvcs, "Saturation");
    u.Gamma = Int(uvcs, "Gamma");
    u.Sharpness = Int(uvcs, "Sharpness");
    u.Zoom = Int(uvcs, "Zoom");
    u.Pan = Int(uvcs, "Pan");
    u.Tilt = Int(uvcs, "Tilt");

    const auto& isps = Member(doc, "ISPProfiles");
    auto& s = p.ISPProfiles;
    s.AE_EXP_TIME = Int(isps, "AE_EXP_TIME");
    s.AE_EXP_GAIN = Int(isps, "AE_EXP_GAIN");
    s.AE_EXP_MODE = Int(isps, "AE_EXP_MODE");
    s.AWB_MODE = Bool(isps, "AWB_MODE");
    s.AWB_TEMP = Int(isps, "AWB_TEMP");
    s.Brightness = Double(isps, "Brightness");
    s.Backlight_Compensation = Double(isps, "Backlight_Compensation");
    s.Contrast = Double(isps, "Contrast");
    s.Saturation = Double(isps, "Saturation");
    s.Gamma = Double(isps, "Gamma");
    s.Denoise = Double(isps, "Denoise");
    s.Sharpness = Double(isps, "Sharpness");
    s.Flip_Mode = Int(isps, "Flip_Mode");
    s.Effect_Mode = Int(isps, "Effect_Mode");
    s.ZoomTarget = Double(isps, "ZoomTarget");
    s.Zoom_CTX = Double(isps, "Zoom_CTX");
    s.Zoom_CTY = Double(isps, "Zoom_CTY");
    s.Flick_Mode = Int(isps, "Flick_Mode");
    s.Jpeg_Qual = Int(isps, "Jpeg_Qual");
    s.Fixed_FPS = Bool(isps, "Fixed_FPS");
}

void CheckRange(const char* key, long long value, long long low, long long high) {
    if (value < low || value > high) {
        throw ProfileError(std::string("Member '") + key + "' = " + std::to_string(value) + " is outside " +
                           std::to_string(low) + " to " + std::to_string(high));
    }
}

}  // namespace

int SorvanCam::LoadProfileSetting(const char* text) {
    constexpr const char* kWhere = "SorvanCam::LoadProfileSetting";
    return sv::legacy::Guarded(kWhere, -1, [&] {
        try {
            if (!text) throw ProfileError("No document text");
            Load(text, loadedProfile);
            return 0;
        } catch (const std::exception& e) {
            SZ_LINE(Error, kWhere, "LoadProfileSetting Fail!. %s", e.what());
            return -1;
        }
    });
}

int SorvanCam::LoadProfileSettingFromPath(const char* path) {
    constexpr const char* kWhere = "SorvanCam::LoadProfileSettingFromPath";
    return sv::legacy::Guarded(kWhere, -1, [&] {
        try {
            if (!path) throw ProfileError("No file path");
            std::ifstream in(path, std::ios::binary);
            if (!in) throw ProfileError(std::string("Cannot open '") + path + "'");
            std::ostringstream whole;
            whole << in.rdbuf();
            if (in.bad()) throw ProfileError(std::string("Cannot read '") + path + "'");
            Load(whole.str(), loadedProfile);
            return 0;
        } catch (const std::exception& e) {
            SZ_LINE(Error, kWhere, "LoadProfileSettingFromPath Fail!. %s", e.what());
            return -1;
        }
    });
}

int SorvanCam::SetProfileControlConfig() {
    constexpr const char* kWhere = "SorvanCam::SetProfileControlConfig";
    return sv::legacy::Guarded(kWhere, -1, [&] {
        if (!cameraControl) return -1;
        const std::string& mode = loadedProfile.ControlMode;
        try {
            if (mode == "ISP") {
                const auto& s = loadedProfile.ISPProfiles;
                // Values cut to a register's width are checked first, so that
                // nothing is applied from a document that does not fit.
                CheckRange("AWB_TEMP", s.AWB_TEMP, 0, 0xFFFF);
                CheckRange("Jpeg_Qual", s.Jpeg_Qual, 0, 0xFF);
                CheckRange("AE_EXP_GAIN", s.AE_EXP_GAIN, 0, 0xFF);
                CheckRange("AE_EXP_TIME", s.AE_EXP_TIME, 0, INT32_MAX);
                CamCtrl* c = cameraControl;
                (void)c->SetAutoExposureMode(s.AE_EXP_MODE);
                (void)c->SetAutoWhiteBalanceMode(s.AWB_MODE ? 15 : 7);
                (void)c->SetTemperature(static_cast<uint16_t>(s.AWB_TEMP));
                (void)c->SetBacklightCompensation(s.Backlight_Compensation);
                (void)c->SetBrightness(s.Brightness);
                (void)c->SetContrast(s.Contrast);
                (void)c->SetSaturation(s.Saturation);
                (void)c->SetGamma(s.Gamma);
                (void)c->SetDenoise(s.Denoise);
                (void)c->SetSharpening(s.Sharpness);
                (void)c->SetFlipMode(s.Flip_Mode);
                (void)c->SetEffectMode(s.Effect_Mode);
                (void)c->SetDigitalZoomTarget(s.ZoomTarget);
                (void)c->SetDigitalZoom_CT_X(s.Zoom_CTX);
                (void)c->SetDigitalZoom_CT_Y(s.Zoom_CTY);
                (void)c->SetFlickMode(s.Flick_Mode);
                (void)c->SetJpegQual(static_cast<uint8_t>(s.Jpeg_Qual));
                (void)c->SetExposureTime(static_cast<uint32_t>(s.AE_EXP_TIME));
                (void)c->SetExposureGain(static_cast<uint8_t>(s.AE_EXP_GAIN));
                return 0;
            }
            if (mode == "UVC") {
                const auto& u = loadedProfile.UVCProfiles;
                auto source = cameraControl->GetMediaSource();
                auto set = [&](bool cameraTerminal, int32_t property, int32_t value, int32_t flags) {
                    if (!source) return;
                    std::shared_ptr<UvcControlInterface> controls;
                    const HResult hr = cameraTerminal ? source->QueryCameraControl(controls)
                                                      : source->QueryVideoProcAmp(controls);
                    if (Failed(hr) || !controls) return;  // not available: skipped
                    (void)controls->Set(property, value, flags);
                };
                const int32_t manual = uvc::kFlagsManual;
                set(false, 0, u.Brightness, manual);
                set(false, 1, u.Contrast, manual);
                set(false, 3, u.Saturation, manual);
                set(false, 4, u.Sharpness, manual);
                set(false, 5, u.Gamma, manual);
                set(false, 7, u.Temperature, u.WB_Auto ? uvc::kFlagsAuto : manual);
                set(false, 8, u.Backlight_Compensation, manual);
                set(false, 9, u.Gain, manual);
                set(true, 0, u.Pan, manual);
                set(true, 1, u.Tilt, manual);
                set(true, 3, u.Zoom, manual);
                set(true, 4, u.Exposure, u.Exp_Auto ? uvc::kFlagsAuto : manual);
                return 0;
            }
        } catch (const std::exception& e) {
            SZ_LINE(Error, kWhere, "LoadProfileSettingFromPath Fail!. %s", e.what());
            return -1;
        }
        SZ_LINE(Error, kWhere, "SetProfileControlConfig Fail! Control Mode Fail. Mode:%s", mode.c_str());
        return -1;
    });
}

int SorvanCam::SetProfileStreamingConfig() {
    constexpr const char* kWhere = "SorvanCam::SetProfileStreamingConfig";
    return sv::legacy::Guarded(kWhere, -1, [&] {
        std::vector<SzFormat> formats;
        const int listed = GetCaptureFormatList(formats);
        if (listed < 0) return listed;
        if (formats.empty()) return -1;
        const auto& c = loadedProfile.CameraProfile;
        for (std::size_t i = 0; i < formats.size(); ++i) {
            const SzFormat& f = formats[i];
            if (f.width == c.Width && f.height == c.Height && f.framerate == c.Framerate && f.format == c.formatCode) {
                SZ_LINE(Trace, kWhere, "Match the Streaming Profile Setting. [%d]W:%d H:%d FPS:%d Format:%s",
                        static_cast<int>(i), f.width, f.height, f.framerate, c.PixelFormat.c_str());
                (void)SetCaptureFormat(f);
                return 0;
            }
        }
        SZ_LINE(Error, kWhere,
                "SetProfileStreamingConfig Fail! Cannot Match the Streaming Profile Setting. W:%d H:%d FPS:%d Format:%s",
                c.Width, c.Height, c.Framerate, c.PixelFormat.c_str());
        return -1;
    });
}
