#include "formats/ProfileConfig.h"

#include <cstring>
#include <initializer_list>

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/schema.h>
#include <rapidjson/stringbuffer.h>

#include "base/Logger.h"
#include "base/PixelFormat.h"
#include "camera/SvSorvanCamera.h"

namespace sv::formats {

namespace {

// Every integer member the library reads is an integer of 32 bits; the schema
// says so, so that a document with a wider number is refused at load.
constexpr const char* kInt32 = R"({"type": "integer", "minimum": -2147483648, "maximum": 2147483647})";

std::string Names(std::initializer_list<const char*> names) {
    std::string out;
    for (const char* n : names) {
        if (!out.empty()) out += ", ";
        out += "\"";
        out += n;
        out += "\"";
    }
    return out;
}

std::string IntProperties(std::initializer_list<const char*> names) {
    std::string out;
    for (const char* n : names) {
        if (!out.empty()) out += ",\n        ";
        out += "\"";
        out += n;
        out += "\": ";
        out += kInt32;
    }
    return out;
}

std::string BuildSchema() {
    const auto uvcRequired = {"WhiteBalanceMode", "WhiteBalanceTemperature", "Brightness", "Contrast", "ExposureMode",
                              "ExposureTime", "ExposureGain", "Gamma", "Saturation", "Sharpness", "Pan", "Tilt",
                              "Zoom", "BacklightCompensation"};
    const auto ispRequired = {"ExposureGain", "ExposureMode", "ExposureTime", "ExposureMinTime", "ExposureMaxTime",
                              "WhiteBalanceMode", "WhiteBalanceTemperature", "BacklightCompensation", "Brightness",
                              "JpegQual", "Contrast", "Denoise", "SpecialEffectMode", "FlipMode", "FlickMode",
                              "Gamma", "Saturation", "Sharpness", "Zoom", "Pan", "Tilt"};
    // Optional members, and the ones applied although documents need not carry them.
    const auto uvcOptional = {"Hue"};
    const auto ispOptional = {"MaxFPS", "eHDRMode", "eHDRExposureMinNumber", "eHDRExposureMaxNumber", "eHDRRatioMin",
                              "eHDRRatioMax", "eHDRAtmWeight", "eHDRAtmMax"};
    std::string s;
    s += R"({
  "$schema": "http://json-schema.org/draft-04/schema#",
  "title": "SorvanSDK profile configuration",
  "type": "object",
  "required": [)" + Names({"ProfileName", "ProductName", "GenerateDate", "ProfileVersion", "ControlMode",
                           "CameraProfile", "UVCProfiles", "ISPProfiles"}) + R"(],
  "properties": {
    "ProfileName": {"type": "string"},
    "ProductName": {"type": "string"},
    "GenerateDate": {"type": "string"},
    "ProfileVersion": {"type": "string"},
    "ControlMode": {"type": "string"},
    "SerialNumber": {"type": "string"},
    "UID": {"type": "string"},
    "CameraProfile": {
      "type": "object",
      "required": [)" + Names({"Width", "Height", "PixelFormat", "Framerate"}) + R"(],
      "properties": {
        "PixelFormat": {"type": "string"},
        )" + IntProperties({"Width", "Height", "Framerate", "Throughput"}) + R"(
      }
    },
    "UVCProfiles": {
      "type": "object",
      "required": [)" + Names(uvcRequired) + R"(],
      "properties": {
        )" + IntProperties(uvcRequired) + ",\n        " + IntProperties(uvcOptional) + R"(
      }
    },
    "ISPProfiles": {
      "type": "object",
      "required": [)" + Names(ispRequired) + R"(],
      "properties": {
        )" + IntProperties(ispRequired) + ",\n        " + IntProperties(ispOptional) + R"(
      }
    }
  }
})";
    return s;
}

std::string UriFragment(const rapidjson::Pointer& pointer) {
    rapidjson::StringBuffer sb;
    pointer.StringifyUriFragment(sb);
    return std::string(sb.GetString(), sb.GetSize());
}

// 0 valid, 1 invalid (the three places filled), -1 the schema itself does not parse.
int Validate(const rapidjson::Document& doc, std::string& schemaAt, std::string& keyword, std::string& docAt) {
    rapidjson::Document schemaJson;
    if (schemaJson.Parse(ProfileSchemaText()).HasParseError()) {
        sv::log::Write(spdlog::level::err, "Schema parsing failed: {}", static_cast<int>(schemaJson.GetParseError()));
        return -1;
    }
    rapidjson::SchemaDocument schema(schemaJson);
    rapidjson::SchemaValidator validator(schema);
    if (doc.Accept(validator)) return 0;
    schemaAt = UriFragment(validator.GetInvalidSchemaPointer());
    keyword = validator.GetInvalidSchemaKeyword();
    docAt = UriFragment(validator.GetInvalidDocumentPointer());
    return 1;
}

}  // namespace

const char* ProfileSchemaText() {
    static const std::string text = BuildSchema();
    return text.c_str();
}

bool ValidateProfileText(const std::string& text, std::string& why) {
    rapidjson::Document doc;
    if (doc.Parse(text.data(), text.size()).HasParseError()) {
        const std::string parse = rapidjson::GetParseError_En(doc.GetParseError());
        why = "not JSON: " + parse + " at offset " + std::to_string(doc.GetErrorOffset());
        doc.SetNull();
    }
    std::string schemaAt, keyword, docAt;
    const int result = Validate(doc, schemaAt, keyword, docAt);
    if (result == 0) return true;
    if (result < 0) {
        why = "the embedded schema does not parse";
        return false;
    }
    if (!why.empty()) why += "; ";
    why += "schema " + schemaAt + ", keyword " + keyword + ", document " + docAt;
    return false;
}

}  // namespace sv::formats

// ------------------------------------------------------------------ the camera's document

struct SvProfileConfig::Document {
    rapidjson::Document json;
};

namespace {

struct UvcMember {
    const char* name;
    SV_UVC_IMAGE_PROPERTIES property;
    const char* flagFrom;  // the member whose value is the automatic flag, or null
};

const UvcMember kUvcMembers[] = {
    {"Brightness", SV_UVC_BRIGHTNESS, nullptr},
    {"Contrast", SV_UVC_CONTRAST, nullptr},
    {"Hue", SV_UVC_HUE, nullptr},
    {"Saturation", SV_UVC_SATURATION, nullptr},
    {"Sharpness", SV_UVC_SHARPNESS, nullptr},
    {"Gamma", SV_UVC_GAMMA, nullptr},
    {"WhiteBalanceTemperature", SV_UVC_WHITE_BALANCE, "WhiteBalanceMode"},
    {"BacklightCompensation", SV_UVC_BACKLIGHT_COMPENSATION, nullptr},
    {"ExposureGain", SV_UVC_GAIN, nullptr},
    {"Pan", SV_UVC_PAN, nullptr},
    {"Tilt", SV_UVC_TILT, nullptr},
    {"Zoom", SV_UVC_ZOOM, nullptr},
    {"ExposureTime", SV_UVC_EXPOSURE, "ExposureMode"},
};

struct IspMember {
    const char* name;
    SV_ISP_IMAGE_PROPERTIES property;
};

const IspMember kIspMembers[] = {
    {"Brightness", SV_ISP_BRIGHTNESS},
    {"Contrast", SV_ISP_CONTRAST},
    {"Saturation", SV_ISP_SATURATION},
    {"WhiteBalanceMode", SV_ISP_WHITE_BALANCE_MODE},
    {"WhiteBalanceTemperature", SV_ISP_WHITE_BALANCE_TEMPERATURE},
    {"ExposureMode", SV_ISP_EXPOSURE_MODE},
    {"ExposureTime", SV_ISP_EXPOSURE_TIME},
    {"ExposureMinTime", SV_ISP_EXPOSURE_MIN_TIME},
    {"ExposureMaxTime", SV_ISP_EXPOSURE_MAX_TIME},
    {"ExposureGain", SV_ISP_EXPOSURE_GAIN},
    {"Gamma", SV_ISP_GAMMA},
    {"Sharpness", SV_ISP_SHARPNESS},
    {"BacklightCompensation", SV_ISP_BACKLIGHT_COMPENSATION},
    {"SpecialEffectMode", SV_ISP_SPECIAL_EFFECT},
    {"Denoise", SV_ISP_DENOISE},
    {"FlipMode", SV_ISP_FLIP_MODE},
    {"Pan", SV_ISP_PAN},
    {"Tilt", SV_ISP_TILT},
    {"Zoom", SV_ISP_ZOOM},
    {"FlickMode", SV_ISP_FLICK_MODE},
    {"JpegQual", SV_ISP_JPEG_QUALITY},
    {"eHDRMode", SV_ISP_EHDR_MODE},
    {"eHDRExposureMinNumber", SV_ISP_EHDR_EXPOSURE_MIN_NUMBER},
    {"eHDRExposureMaxNumber", SV_ISP_EHDR_EXPOSURE_MAX_NUMBER},
    {"eHDRRatioMin", SV_ISP_EHDR_RATIO_MIN},
    {"eHDRRatioMax", SV_ISP_EHDR_RATIO_MAX},
    {"eHDRAtmWeight", SV_ISP_EHDR_ATM_WEIGHT},
    {"eHDRAtmMax", SV_ISP_EHDR_ATM_MAX},
};

bool SameName(const rapidjson::Value& key, const char* name) {
    return key.GetStringLength() == std::strlen(name) && std::memcmp(key.GetString(), name, key.GetStringLength()) == 0;
}

// A member value as a 32-bit integer; anything else is logged and skipped.
bool Int32Member(const char* section, const rapidjson::Value& key, const rapidjson::Value& value, int& out) {
    if (!value.IsInt()) {
        sv::log::Write(spdlog::level::err, "{} member {} is not a 32-bit integer, skipping", section,
                       std::string(key.GetString(), key.GetStringLength()));
        return false;
    }
    out = value.GetInt();
    return true;
}

}  // namespace

SvProfileConfig::SvProfileConfig(SvSorvanCamera& camera) : camera_(camera) {}

SvProfileConfig::~SvProfileConfig() = default;

std::shared_ptr<const SvProfileConfig::Document> SvProfileConfig::Current() const {
    std::lock_guard<std::mutex> lock(documentMutex_);
    return document_;
}

bool SvProfileConfig::Loaded() const { return Current() != nullptr; }

int SvProfileConfig::LoadProfileConfig(const std::string& text) {
    auto loaded = std::make_shared<Document>();
    rapidjson::Document& doc = loaded->json;
    if (doc.Parse(text.data(), text.size()).HasParseError()) {
        sv::log::Write(spdlog::level::err, "Profile text is not JSON: {} (offset {})",
                       rapidjson::GetParseError_En(doc.GetParseError()), doc.GetErrorOffset());
        doc.SetNull();  // fails the schema at the root
    }
    std::string schemaAt, keyword, docAt;
    const int result = sv::formats::Validate(doc, schemaAt, keyword, docAt);
    if (result < 0) return -1;
    if (result > 0) {
        sv::log::Write(spdlog::level::err, "Validation of schema failed, here is why: ");
        sv::log::Write(spdlog::level::err, "Invalid schema: {}", schemaAt);
        sv::log::Write(spdlog::level::err, "Invalid keyword: {}", keyword);
        sv::log::Write(spdlog::level::err, "Invalid document: {}", docAt);
        sv::log::Write(spdlog::level::err, "Error at: {}", docAt);
        return -1;
    }
    std::lock_guard<std::mutex> lock(documentMutex_);
    document_ = std::move(loaded);
    return 0;
}

int SvProfileConfig::ActivateProfileStreaming() {
    const auto document = Current();
    if (!document) {
        sv::log::Write(spdlog::level::err, "Document holder is not initialized");
        return -1;
    }
    std::vector<SvFormat> formats;
    if (camera_.GetFormatList(formats) != 0) {
        sv::log::Write(spdlog::level::err, "Get format list failed");
        return -1;
    }
    const rapidjson::Value& root = document->json;
    const auto profile = root.FindMember("CameraProfile");
    if (profile == root.MemberEnd() || !profile->value.IsObject()) {
        sv::log::Write(spdlog::level::err, "Camera profile is not found");
        return -1;
    }
    const rapidjson::Value& p = profile->value;
    const auto pixel = p.FindMember("PixelFormat");
    const auto height = p.FindMember("Height");
    const auto width = p.FindMember("Width");
    if (pixel == p.MemberEnd() || !pixel->value.IsString() || height == p.MemberEnd() || !height->value.IsInt() ||
        width == p.MemberEnd() || !width->value.IsInt()) {
        sv::log::Write(spdlog::level::err, "Camera profile has no usable Width, Height and PixelFormat");
        return -1;
    }
    const std::string wanted(pixel->value.GetString(), pixel->value.GetStringLength());
    const int w = width->value.GetInt();
    const int h = height->value.GetInt();
    sv::log::Write(spdlog::level::trace, "osp profile width: {}, height: {}, format: {}", w, h, wanted);
    // Formats are matched by code: "NONE" (what a profile block of another
    // kind reads as) names no format, and a format the library cannot name
    // is never taken for one it can.
    const SV_IMAGE_FORMAT wantedFormat = sv::PixelFormatFromName(wanted);
    for (const SvFormat& f : formats) {
        sv::log::Write(spdlog::level::trace, "format width: {}, height: {}, format: {}", f.width, f.height,
                       SvPixelFormatName(f.format));
        if (f.width == w && f.height == h && wantedFormat != SV_IMAGE_FORMAT_NONE && f.format == wantedFormat) {
            // The selection's own result: a format that the device refuses is
            // a failure, not a success.
            return camera_.SetFormat(f) == 0 ? 0 : -1;
        }
    }
    sv::log::Write(spdlog::level::err, "Format is not found");
    return -1;
}

int SvProfileConfig::ActivateProfileImageProcessing() {
    const auto document = Current();
    if (!document) {
        sv::log::Write(spdlog::level::err, "Document holder is not initialized");
        return -1;
    }
    const rapidjson::Value& root = document->json;
    const auto mode = root.FindMember("ControlMode");
    const auto uvc = root.FindMember("UVCProfiles");
    const auto isp = root.FindMember("ISPProfiles");
    if (mode == root.MemberEnd() || uvc == root.MemberEnd() || isp == root.MemberEnd() || !mode->value.IsString() ||
        !uvc->value.IsObject() || !isp->value.IsObject()) {
        sv::log::Write(spdlog::level::err, "Control mode, UVC profiles or ISP profiles is not found");
        return -1;
    }
    const std::string text(mode->value.GetString(), mode->value.GetStringLength());
    sv::log::Write(spdlog::level::trace, "contorlMode: {}", text);
    if (text.find("UVC") != std::string::npos) return ApplyUvc(&uvc->value);
    if (text.find("ISP") != std::string::npos) return ApplyIsp(&isp->value);
    return 0;
}

int SvProfileConfig::ApplyUvc(const void* section) {
    const auto& members = *static_cast<const rapidjson::Value*>(section);
    for (auto m = members.MemberBegin(); m != members.MemberEnd(); ++m) {
        const rapidjson::Value& key = m->name;
        if (SameName(key, "WhiteBalanceMode") || SameName(key, "ExposureMode")) continue;
        const UvcMember* found = nullptr;
        for (const UvcMember& u : kUvcMembers) {
            if (SameName(key, u.name)) found = &u;
        }
        const std::string name(key.GetString(), key.GetStringLength());
        if (found == nullptr) {
            sv::log::Write(spdlog::level::err, "UVC profile name is not found {}", name);
            continue;
        }
        int value = 0;
        if (!Int32Member("UVC profile", key, m->value, value)) continue;
        int flag = 0;
        if (found->flagFrom != nullptr) {
            const auto from = members.FindMember(found->flagFrom);
            if (from != members.MemberEnd() && !Int32Member("UVC profile", from->name, from->value, flag)) continue;
        }
        (void)camera_.SetUVCImageProcessing(found->property, value, flag);
        sv::log::Write(spdlog::level::trace, "uvc_profile name: {}, value: {}", name, value);
    }
    return 0;
}

int SvProfileConfig::ApplyIsp(const void* section) {
    const auto& members = *static_cast<const rapidjson::Value*>(section);
    for (auto m = members.MemberBegin(); m != members.MemberEnd(); ++m) {
        const rapidjson::Value& key = m->name;
        const std::string name(key.GetString(), key.GetStringLength());
        if (SameName(key, "MaxFPS")) {
            int fps = 0;
            if (!Int32Member("ISP profile", key, m->value, fps) || fps <= 0) continue;
            if (fps > 255) {
                sv::log::Write(spdlog::level::err, "MaxFPS value {} is out of valid range (1-255), skipping", fps);
                continue;
            }
            (void)camera_.SetMaxFPS(static_cast<uint8_t>(fps));
            sv::log::Write(spdlog::level::trace, "Setting MaxFPS to: {}", fps);
            continue;
        }
        const IspMember* found = nullptr;
        for (const IspMember& i : kIspMembers) {
            if (SameName(key, i.name)) found = &i;
        }
        if (found == nullptr) {
            sv::log::Write(spdlog::level::err, "ISP profile name is not found {}", name);
            continue;
        }
        if (found->property >= SV_ISP_EHDR_MODE && found->property <= SV_ISP_EHDR_ATM_MAX && !camera_.IsEHDRSupported()) {
            sv::log::Write(spdlog::level::trace, "Skipping EHDR profile {}: EHDR not supported on this device", name);
            continue;
        }
        int value = 0;
        if (!Int32Member("ISP profile", key, m->value, value)) continue;
        (void)camera_.SetISPImageProcessing(found->property, value);
        sv::log::Write(spdlog::level::trace, "isp_profile name: {}, value: {}", name, value);
    }
    return 0;
}
