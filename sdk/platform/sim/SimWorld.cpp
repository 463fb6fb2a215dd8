#include "platform/sim/SimWorld.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <set>
#include <stdexcept>

#include <fmt/format.h>

#include "platform/sim/JsonRead.h"

namespace sv::sim {

using nlohmann::json;
using platform::AttributeValue;
using platform::Guid;
namespace uvc = platform::uvc;

const char* PixelFormatName(PixelFormat f) {
    switch (f) {
        case PixelFormat::YUY2: return "YUY2";
        case PixelFormat::UYVY: return "UYVY";
        case PixelFormat::NV12: return "NV12";
        case PixelFormat::MJPG: return "MJPG";
        case PixelFormat::RGB24: return "RGB24";
    }
    return "?";
}

Guid PixelFormatSubtype(PixelFormat f) {
    namespace mf = platform::mf;
    switch (f) {
        case PixelFormat::YUY2: return mf::MFVideoFormat_YUY2;
        case PixelFormat::UYVY: return mf::MFVideoFormat_UYVY;
        case PixelFormat::NV12: return mf::MFVideoFormat_NV12;
        case PixelFormat::MJPG: return mf::MFVideoFormat_MJPG;
        case PixelFormat::RGB24: return mf::MFVideoFormat_RGB24;
    }
    return Guid();
}

namespace {

constexpr const char* kFaultOps[] = {
    "friendlyName",    "symbolicLink",       "activate",          "createReader",
    "nativeType",      "setType",            "readSample",        "sample",
    "flush",           "procAmp.get",        "procAmp.set",       "procAmp.range",
    "cameraControl.get", "cameraControl.set", "cameraControl.range", "topology",
    "node",            "xu.set",             "xu.get",            "usb.connection",
    "usb.connectionEx", "usb.connectionExV2", "instanceId",        "containerId",
    "usb.open",        "usb.control",        "usb.close",
};

constexpr uint32_t kMaxDimension = 16384;
// Objects and arrays inside each other; a world needs a handful, the
// configuration of an extension-unit model a few more.
constexpr int kMaxNesting = 64;

struct Problem : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& path, const std::string& what) {
    throw Problem(path.empty() ? what : path + ": " + what);
}

using jsonread::Join;
using jsonread::TypeName;

std::string Index(const std::string& path, size_t i) { return fmt::format("{}[{}]", path, i); }

void ExpectObject(const json& v, const std::string& path) {
    if (!v.is_object()) Fail(path, fmt::format("expected an object, found {}", TypeName(v)));
}

void CheckKeys(const json& obj, const std::string& path, std::initializer_list<const char*> allowed) {
    jsonread::CheckKeys(obj, path, allowed, Fail);
}

const json* Find(const json& obj, const char* key) {
    auto it = obj.find(key);
    return it == obj.end() ? nullptr : &*it;
}

int64_t GetInt(const json& obj, const char* key, const std::string& path, int64_t def, int64_t lo,
               int64_t hi) {
    const json* v = Find(obj, key);
    if (v == nullptr) return def;
    return jsonread::Int(*v, Join(path, key), lo, hi, Fail);
}

bool GetBool(const json& obj, const char* key, const std::string& path, bool def) {
    const json* v = Find(obj, key);
    if (v == nullptr) return def;
    if (!v->is_boolean()) Fail(Join(path, key), fmt::format("expected a boolean, found {}", TypeName(*v)));
    return v->get<bool>();
}

std::string GetString(const json& obj, const char* key, const std::string& path, const std::string& def,
                      bool required = false) {
    const json* v = Find(obj, key);
    if (v == nullptr) {
        if (required) Fail(Join(path, key), "missing");
        return def;
    }
    if (!v->is_string()) Fail(Join(path, key), fmt::format("expected a string, found {}", TypeName(*v)));
    return v->get<std::string>();
}

// A USB id: a number, or four hexadecimal digits with or without "0x".
uint16_t GetUsbId(const json& obj, const char* key, const std::string& path) {
    const json* v = Find(obj, key);
    const std::string where = Join(path, key);
    if (v == nullptr) Fail(where, "missing");
    if (v->is_number_integer()) {
        const int64_t n = v->get<int64_t>();
        if (n < 0 || n > 0xFFFF) Fail(where, fmt::format("{} is outside 0..0xFFFF", n));
        return static_cast<uint16_t>(n);
    }
    if (!v->is_string()) Fail(where, fmt::format("expected a hexadecimal string, found {}", TypeName(*v)));
    std::string s = v->get<std::string>();
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s = s.substr(2);
    if (s.empty() || s.size() > 4 ||
        !std::all_of(s.begin(), s.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; })) {
        Fail(where, fmt::format("\"{}\" is not a 16-bit hexadecimal id", v->get<std::string>()));
    }
    return static_cast<uint16_t>(std::stoul(s, nullptr, 16));
}

platform::HResult GetCode(const json& obj, const char* key, const std::string& path,
                          platform::HResult def) {
    const json* v = Find(obj, key);
    if (v == nullptr) return def;
    const std::string where = Join(path, key);
    platform::HResult hr = 0;
    if (v->is_number_integer()) {
        const int64_t n = v->get<int64_t>();
        if (n < INT32_MIN || n > 0xFFFFFFFFll) Fail(where, "not a 32-bit result code");
        return static_cast<platform::HResult>(static_cast<uint32_t>(n & 0xFFFFFFFF));
    }
    if (!v->is_string()) Fail(where, fmt::format("expected a result code, found {}", TypeName(*v)));
    if (!platform::ParseHResult(v->get<std::string>().c_str(), hr)) {
        Fail(where, fmt::format("\"{}\" is not a known result code or number", v->get<std::string>()));
    }
    return hr;
}

uint8_t ParseSpeed(const json& obj, const char* key, const std::string& path, uint8_t def) {
    const json* v = Find(obj, key);
    if (v == nullptr) return def;
    const std::string where = Join(path, key);
    if (v->is_number_integer()) {
        const int64_t n = v->get<int64_t>();
        if (n < 0 || n > 255) Fail(where, fmt::format("{} is outside 0..255", n));
        return static_cast<uint8_t>(n);
    }
    if (!v->is_string()) Fail(where, fmt::format("expected a speed name, found {}", TypeName(*v)));
    const std::string s = v->get<std::string>();
    if (s == "LowSpeed") return 0;
    if (s == "FullSpeed") return 1;
    if (s == "HighSpeed") return 2;
    if (s == "SuperSpeed") return 3;
    Fail(where, fmt::format("unknown speed \"{}\" (LowSpeed, FullSpeed, HighSpeed, SuperSpeed)", s));
}

void ParseRate(const json& f, const std::string& path, FormatDescription& desc) {
    const json* v = Find(f, "fps");
    if (v == nullptr) return;
    const std::string where = Join(path, "fps");
    if (v->is_number_integer()) {
        const int64_t n = v->get<int64_t>();
        if (n < 1 || n > 1000) Fail(where, fmt::format("{} is outside 1..1000", n));
        desc.rateNumerator = static_cast<uint32_t>(n);
        desc.rateDenominator = 1;
        return;
    }
    if (!v->is_string()) Fail(where, fmt::format("expected an integer or \"num/den\", found {}", TypeName(*v)));
    const std::string s = v->get<std::string>();
    const size_t slash = s.find('/');
    try {
        size_t used = 0;
        if (slash == std::string::npos) throw std::invalid_argument("no slash");
        const unsigned long num = std::stoul(s.substr(0, slash), &used);
        if (used != slash) throw std::invalid_argument("num");
        const std::string den_text = s.substr(slash + 1);
        const unsigned long den = std::stoul(den_text, &used);
        if (used != den_text.size()) throw std::invalid_argument("den");
        if (num == 0 || den == 0 || num > 1000000 || den > 1000000 || num / den > 1000) {
            throw std::invalid_argument("range");
        }
        desc.rateNumerator = static_cast<uint32_t>(num);
        desc.rateDenominator = static_cast<uint32_t>(den);
    } catch (const std::logic_error&) {
        Fail(where, fmt::format("\"{}\" is not a frame rate \"num/den\" of at most 1000", s));
    }
}

Guid ParseKey(const std::string& text, const std::string& where) {
    Guid g;
    if (Guid::Parse(text, g)) return g;
    // A known constant name.
    static const Guid kKnown[] = {
        platform::mf::MF_MT_USER_DATA, platform::mf::MF_MT_AVG_BITRATE,
        platform::mf::MF_MT_VIDEO_NOMINAL_RANGE, platform::mf::MF_MT_YUV_MATRIX,
        platform::mf::MF_MT_COMPRESSED, platform::mf::MF_MT_PIXEL_ASPECT_RATIO,
    };
    for (const Guid& k : kKnown) {
        if (text == platform::mf::GuidName(k)) return k;
    }
    Fail(where, fmt::format("\"{}\" is neither a GUID nor a known attribute name", text));
}

ExtraAttribute ParseAttribute(const json& a, const std::string& path) {
    ExtraAttribute out;
    ExpectObject(a, path);
    CheckKeys(a, path, {"key", "type", "value"});
    out.key = ParseKey(GetString(a, "key", path, "", true), Join(path, "key"));
    const std::string type = GetString(a, "type", path, "", true);
    const json* v = Find(a, "value");
    const std::string where = Join(path, "value");
    if (type == "unknown") {
        // An interface pointer has no value of its own.
        out.value = AttributeValue::Unknown(std::make_shared<int>(0));
        return out;
    }
    if (v == nullptr) Fail(where, "missing");
    if (type == "uint32" || type == "uint64") {
        if (!v->is_number_unsigned() && !(v->is_number_integer() && v->get<int64_t>() >= 0)) {
            Fail(where, fmt::format("expected an unsigned integer, found {}", TypeName(*v)));
        }
        const uint64_t n = v->get<uint64_t>();
        if (type == "uint32") {
            if (n > 0xFFFFFFFFull) Fail(where, "does not fit 32 bits");
            out.value = AttributeValue::UInt32(static_cast<uint32_t>(n));
        } else {
            out.value = AttributeValue::UInt64(n);
        }
    } else if (type == "double") {
        if (!v->is_number()) Fail(where, fmt::format("expected a number, found {}", TypeName(*v)));
        out.value = AttributeValue::Double(v->get<double>());
    } else if (type == "guid") {
        if (!v->is_string()) Fail(where, fmt::format("expected a GUID string, found {}", TypeName(*v)));
        Guid g;
        if (!Guid::Parse(v->get<std::string>(), g)) Fail(where, "not a GUID");
        out.value = AttributeValue::FromGuid(g);
    } else if (type == "string") {
        if (!v->is_string()) Fail(where, fmt::format("expected a string, found {}", TypeName(*v)));
        out.value = AttributeValue::String(v->get<std::string>());
    } else if (type == "blob") {
        if (!v->is_string()) Fail(where, fmt::format("expected a hexadecimal string, found {}", TypeName(*v)));
        const std::string hex = v->get<std::string>();
        if (hex.size() % 2 != 0) Fail(where, "odd number of hexadecimal digits");
        std::vector<uint8_t> bytes;
        for (size_t i = 0; i < hex.size(); i += 2) {
            if (!std::isxdigit(static_cast<unsigned char>(hex[i])) ||
                !std::isxdigit(static_cast<unsigned char>(hex[i + 1]))) {
                Fail(where, "not hexadecimal");
            }
            bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
        }
        out.value = AttributeValue::Blob(std::move(bytes));
    } else {
        Fail(Join(path, "type"),
             fmt::format("unknown attribute type \"{}\" (uint32, uint64, double, guid, string, blob, unknown)", type));
    }
    return out;
}

FormatDescription ParseFormat(const json& f, const std::string& path) {
    ExpectObject(f, path);
    CheckKeys(f, path, {"subtype", "width", "height", "fps", "attributes"});
    FormatDescription desc;
    const std::string subtype = GetString(f, "subtype", path, "", true);
    if (subtype == "YUY2") desc.format = PixelFormat::YUY2;
    else if (subtype == "UYVY") desc.format = PixelFormat::UYVY;
    else if (subtype == "NV12") desc.format = PixelFormat::NV12;
    else if (subtype == "MJPG") desc.format = PixelFormat::MJPG;
    else if (subtype == "RGB24") desc.format = PixelFormat::RGB24;
    else Fail(Join(path, "subtype"), fmt::format("unknown pixel format \"{}\" (YUY2, UYVY, NV12, MJPG, RGB24)", subtype));
    if (Find(f, "width") == nullptr) Fail(Join(path, "width"), "missing");
    if (Find(f, "height") == nullptr) Fail(Join(path, "height"), "missing");
    desc.width = static_cast<uint32_t>(GetInt(f, "width", path, 0, 1, kMaxDimension));
    desc.height = static_cast<uint32_t>(GetInt(f, "height", path, 0, 1, kMaxDimension));
    // Packed and planar YUV share chroma between pixel pairs (and rows for NV12).
    const bool evenWidth = desc.format != PixelFormat::MJPG && desc.format != PixelFormat::RGB24;
    if (evenWidth && desc.width % 2 != 0) Fail(Join(path, "width"), fmt::format("{} must be even for {}", desc.width, subtype));
    if (desc.format == PixelFormat::NV12 && desc.height % 2 != 0) {
        Fail(Join(path, "height"), fmt::format("{} must be even for NV12", desc.height));
    }
    ParseRate(f, path, desc);
    if (const json* attrs = Find(f, "attributes")) {
        if (!attrs->is_array()) Fail(Join(path, "attributes"), fmt::format("expected an array, found {}", TypeName(*attrs)));
        for (size_t i = 0; i < attrs->size(); ++i) {
            desc.extraAttributes.push_back(ParseAttribute((*attrs)[i], Index(Join(path, "attributes"), i)));
        }
    }
    return desc;
}

ControlDescription ParseControl(const json& c, const std::string& path) {
    ExpectObject(c, path);
    CheckKeys(c, path, {"min", "max", "step", "default", "value", "auto", "manual", "mode"});
    ControlDescription s;
    s.offered = true;
    if (Find(c, "min") == nullptr) Fail(Join(path, "min"), "missing");
    if (Find(c, "max") == nullptr) Fail(Join(path, "max"), "missing");
    s.minimum = static_cast<int32_t>(GetInt(c, "min", path, 0, INT32_MIN, INT32_MAX));
    s.maximum = static_cast<int32_t>(GetInt(c, "max", path, 0, INT32_MIN, INT32_MAX));
    if (s.maximum < s.minimum) Fail(Join(path, "max"), fmt::format("{} is below min {}", s.maximum, s.minimum));
    s.step = static_cast<int32_t>(GetInt(c, "step", path, 1, 1, INT32_MAX));
    s.defaultValue = static_cast<int32_t>(GetInt(c, "default", path, s.minimum, s.minimum, s.maximum));
    s.value = static_cast<int32_t>(GetInt(c, "value", path, s.defaultValue, s.minimum, s.maximum));
    const bool autoCapable = GetBool(c, "auto", path, false);
    const bool manualCapable = GetBool(c, "manual", path, true);
    if (!autoCapable && !manualCapable) Fail(path, "a control must allow auto or manual mode");
    s.caps = (autoCapable ? uvc::kFlagsAuto : 0) | (manualCapable ? uvc::kFlagsManual : 0);
    const std::string mode = GetString(c, "mode", path, manualCapable ? "manual" : "auto");
    if (mode == "auto" && autoCapable) s.flags = uvc::kFlagsAuto;
    else if (mode == "manual" && manualCapable) s.flags = uvc::kFlagsManual;
    else Fail(Join(path, "mode"), fmt::format("\"{}\" is not a mode this control allows", mode));
    return s;
}

FaultRule ParseFault(const json& f, const std::string& path) {
    ExpectObject(f, path);
    CheckKeys(f, path, {"op", "selector", "on", "times", "code"});
    FaultRule s;
    s.op = GetString(f, "op", path, "", true);
    if (!IsFaultOperation(s.op)) Fail(Join(path, "op"), fmt::format("unknown operation \"{}\"", s.op));
    s.selector = static_cast<int>(GetInt(f, "selector", path, -1, 0, 255));
    s.on = static_cast<uint32_t>(GetInt(f, "on", path, 1, 1, UINT32_MAX));
    s.times = static_cast<uint32_t>(GetInt(f, "times", path, 1, 0, UINT32_MAX));
    s.code = GetCode(f, "code", path, platform::HR_E_FAIL);
    return s;
}

UsbPlacement ParsePlacement(const json& obj, const std::string& path, uint8_t defaultSpeed) {
    UsbPlacement p;
    p.speed = defaultSpeed;
    const json* u = Find(obj, "usb");
    if (u == nullptr) return p;
    const std::string where = Join(path, "usb");
    ExpectObject(*u, where);
    CheckKeys(*u, where, {"hub", "controller", "port", "speed", "superSpeedFlags"});
    p.hub = GetString(*u, "hub", where, "root");
    p.controller = static_cast<uint32_t>(GetInt(*u, "controller", where, 0, 0, 9));
    p.port = static_cast<uint32_t>(GetInt(*u, "port", where, 0, 1, 255));
    p.speed = ParseSpeed(*u, "speed", where, defaultSpeed);
    p.superSpeedFlags = static_cast<uint32_t>(GetInt(*u, "superSpeedFlags", where, 0, 0, 0xF));
    return p;
}

// Instance keys and serial numbers end up in instance ids and paths.
void CheckIdText(const std::string& s, const std::string& where, bool allowAmpersand) {
    if (s.empty()) Fail(where, "must not be empty");
    if (s.size() > 32) Fail(where, "longer than 32 characters");
    for (char c : s) {
        const bool ok = std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '-' ||
                        (allowAmpersand && c == '&');
        if (!ok) Fail(where, fmt::format("\"{}\" holds a character not allowed here", s));
    }
}

uint32_t Hash(const std::string& s) {
    uint32_t h = 2166136261u;
    for (char c : s) {
        h ^= static_cast<uint8_t>(c);
        h *= 16777619u;
    }
    return h;
}

std::string DerivedContainerId(const std::string& seed) {
    const uint32_t a = Hash(seed), b = Hash(seed + "#1"), c = Hash(seed + "#2");
    return fmt::format("{{{:08x}-{:04x}-{:04x}-{:04x}-{:08x}{:04x}}}", a, b >> 16, (b & 0x0FFF) | 0x4000,
                       (c >> 16 & 0x3FFF) | 0x8000, c, a >> 16);
}

DeviceDescription ParseDevice(const json& d, const std::string& path) {
    ExpectObject(d, path);
    CheckKeys(d, path,
              {"id", "name", "vendorId", "productId", "serial", "interface", "instanceKey", "parentKey",
               "containerId", "manufacturer", "product", "video", "usb", "formats", "controls", "xu",
               "topologyNodes", "busy", "busyCode", "disappearAfterFrames", "stallAfterFrames", "faults"});
    DeviceDescription s;
    s.id = GetString(d, "id", path, "", true);
    CheckIdText(s.id, Join(path, "id"), false);
    s.name = GetString(d, "name", path, "", true);
    if (s.name.empty()) Fail(Join(path, "name"), "must not be empty");
    s.vendorId = GetUsbId(d, "vendorId", path);
    s.productId = GetUsbId(d, "productId", path);
    const json* serial = Find(d, "serial");
    if (serial != nullptr && serial->is_null()) {
        s.hasSerial = false;
    } else {
        s.serial = GetString(d, "serial", path, "", true);
        CheckIdText(s.serial, Join(path, "serial"), false);
    }
    s.interfaceNumber = static_cast<uint8_t>(GetInt(d, "interface", path, 0, 0, 255));
    const uint32_t h = Hash(s.id + s.name);
    s.instanceKey = GetString(d, "instanceKey", path, fmt::format("6&{:08x}&0&{:02X}00", h, s.interfaceNumber));
    CheckIdText(s.instanceKey, Join(path, "instanceKey"), true);
    s.parentKey = GetString(d, "parentKey", path, fmt::format("5&{:08x}&0&1", Hash(s.id)));
    CheckIdText(s.parentKey, Join(path, "parentKey"), true);
    s.containerId = GetString(d, "containerId", path, DerivedContainerId(s.id + s.serial));
    {
        Guid g;
        if (!Guid::Parse(s.containerId, g)) Fail(Join(path, "containerId"), "not a GUID");
        if (s.containerId.front() != '{') s.containerId = "{" + s.containerId + "}";
    }
    s.manufacturer = GetString(d, "manufacturer", path, "Generic");
    s.product = GetString(d, "product", path, s.name);
    s.video = GetBool(d, "video", path, true);
    s.usb = ParsePlacement(d, path, 2);

    const json* formats = Find(d, "formats");
    if (s.video && formats == nullptr) Fail(Join(path, "formats"), "missing");
    if (formats != nullptr) {
        if (!formats->is_array()) Fail(Join(path, "formats"), fmt::format("expected an array, found {}", TypeName(*formats)));
        if (s.video && formats->empty()) Fail(Join(path, "formats"), "a video device needs at least one format");
        if (formats->size() > 255) Fail(Join(path, "formats"), "more than 255 formats");
        for (size_t i = 0; i < formats->size(); ++i) {
            s.formats.push_back(ParseFormat((*formats)[i], Index(Join(path, "formats"), i)));
        }
    }

    if (const json* controls = Find(d, "controls")) {
        const std::string where = Join(path, "controls");
        ExpectObject(*controls, where);
        for (auto it = controls->begin(); it != controls->end(); ++it) {
            bool found = false;
            for (int32_t p = 0; p < uvc::kProcAmpPropertyCount && !found; ++p) {
                if (it.key() == uvc::ProcAmpName(p)) {
                    s.procAmp[static_cast<size_t>(p)] = ParseControl(*it, Join(where, it.key()));
                    found = true;
                }
            }
            for (int32_t p = 0; p < uvc::kCameraControlPropertyCount && !found; ++p) {
                if (it.key() == uvc::CameraControlName(p)) {
                    s.cameraControl[static_cast<size_t>(p)] = ParseControl(*it, Join(where, it.key()));
                    found = true;
                }
            }
            if (!found) Fail(Join(where, it.key()), "unknown control");
        }
    }

    if (const json* xu = Find(d, "xu"); xu != nullptr && !xu->is_null()) {
        const std::string where = Join(path, "xu");
        ExpectObject(*xu, where);
        s.xuModel = GetString(*xu, "model", where, "", true);
        if (s.xuModel.empty()) Fail(Join(where, "model"), "must not be empty");
        s.xuNode = static_cast<uint32_t>(GetInt(*xu, "node", where, 2, 0, 255));
        s.xuConfig = *xu;
        s.xuConfig.erase("model");
        s.xuConfig.erase("node");
    }
    s.topologyNodes = static_cast<uint32_t>(GetInt(d, "topologyNodes", path, s.xuModel.empty() ? 3 : 4, 0, 256));
    if (!s.xuModel.empty() && s.xuNode >= s.topologyNodes) {
        Fail(Join(path, "topologyNodes"), fmt::format("{} nodes leave no room for the extension unit at node {}", s.topologyNodes, s.xuNode));
    }
    s.busy = GetBool(d, "busy", path, false);
    s.busyCode = GetCode(d, "busyCode", path, platform::HR_E_ACCESSDENIED);
    s.disappearAfterFrames = GetInt(d, "disappearAfterFrames", path, -1, 0, INT64_MAX);
    s.stallAfterFrames = GetInt(d, "stallAfterFrames", path, -1, 0, INT64_MAX);
    if (const json* faults = Find(d, "faults")) {
        if (!faults->is_array()) Fail(Join(path, "faults"), fmt::format("expected an array, found {}", TypeName(*faults)));
        for (size_t i = 0; i < faults->size(); ++i) {
            s.faults.push_back(ParseFault((*faults)[i], Index(Join(path, "faults"), i)));
        }
    }
    return s;
}

HubDescription ParseHub(const json& h, const std::string& path) {
    ExpectObject(h, path);
    CheckKeys(h, path, {"id", "vendorId", "productId", "ports", "instanceKey", "containerId", "usb"});
    HubDescription s;
    s.id = GetString(h, "id", path, "", true);
    CheckIdText(s.id, Join(path, "id"), false);
    if (s.id == "root") Fail(Join(path, "id"), "\"root\" names the root hubs");
    s.vendorId = GetUsbId(h, "vendorId", path);
    s.productId = GetUsbId(h, "productId", path);
    s.ports = static_cast<uint8_t>(GetInt(h, "ports", path, 4, 1, 127));
    s.instanceKey = GetString(h, "instanceKey", path, fmt::format("5&{:08x}&0&1", Hash(s.id)));
    CheckIdText(s.instanceKey, Join(path, "instanceKey"), true);
    s.containerId = GetString(h, "containerId", path, DerivedContainerId("hub:" + s.id));
    Guid g;
    if (!Guid::Parse(s.containerId, g)) Fail(Join(path, "containerId"), "not a GUID");
    if (s.containerId.front() != '{') s.containerId = "{" + s.containerId + "}";
    s.usb = ParsePlacement(h, path, 3);
    return s;
}

// Places every device and hub on a port; checks the tree.
void PlaceOnPorts(WorldDescription& w) {
    std::set<std::pair<std::string, uint32_t>> used;  // (hub key, port)
    auto portCount = [&](const UsbPlacement& p, const std::string& where) -> uint32_t {
        if (p.hub == "root") {
            if (p.controller >= w.controllers.size()) {
                Fail(Join(where, "usb.controller"), fmt::format("there is no host controller {}", p.controller));
            }
            return w.controllers[p.controller].rootHubPorts;
        }
        for (const auto& h : w.hubs) {
            if (h.id == p.hub) return h.ports;
        }
        Fail(Join(where, "usb.hub"), fmt::format("unknown hub \"{}\"", p.hub));
    };
    auto claim = [&](UsbPlacement& p, const std::string& where) {
        const uint32_t ports = portCount(p, where);
        if (p.port == 0) {
            for (uint32_t port = 1; port <= ports; ++port) {
                if (!used.count({p.HubKey(), port})) {
                    p.port = port;
                    break;
                }
            }
            if (p.port == 0) Fail(Join(where, "usb"), fmt::format("no free port left on {}", p.HubKey()));
        }
        if (p.port > ports) Fail(Join(where, "usb.port"), fmt::format("{} has only {} ports", p.HubKey(), ports));
        if (!used.insert({p.HubKey(), p.port}).second) {
            Fail(Join(where, "usb.port"), fmt::format("port {} of {} is taken twice", p.port, p.HubKey()));
        }
    };
    // Explicit ports first, so that automatic placement fills the gaps.
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < w.hubs.size(); ++i) {
            if ((w.hubs[i].usb.port == 0) == (pass == 1)) claim(w.hubs[i].usb, Index("usb.hubs", i));
        }
        for (size_t i = 0; i < w.devices.size(); ++i) {
            if ((w.devices[i].usb.port == 0) == (pass == 1)) claim(w.devices[i].usb, Index("devices", i));
        }
    }
    // Hubs must hang from the root, not from themselves.
    for (size_t i = 0; i < w.hubs.size(); ++i) {
        std::string at = w.hubs[i].usb.hub;
        for (size_t depth = 0; at != "root"; ++depth) {
            if (depth > w.hubs.size()) Fail(Index("usb.hubs", i), "hubs form a loop");
            const auto it = std::find_if(w.hubs.begin(), w.hubs.end(), [&](const HubDescription& h) { return h.id == at; });
            at = it->usb.hub;
        }
    }
}

Fx3Description ParseFx3(const json& f, const std::string& path) {
    ExpectObject(f, path);
    CheckKeys(f, path,
              {"id", "camera", "mode", "vendorId", "bootloaderProductId", "programmerProductId", "probe",
               "superSpeed", "eeprom", "spiFlash", "bootSource", "faults"});
    Fx3Description d;
    d.id = GetString(f, "id", path, "", true);
    if (d.id.empty()) Fail(Join(path, "id"), "must not be empty");
    d.camera = GetString(f, "camera", path, "");
    d.mode = GetString(f, "mode", path, d.camera.empty() ? "bootloader" : "absent");
    if (d.mode != "bootloader" && d.mode != "programmer" && d.mode != "absent") {
        Fail(Join(path, "mode"), fmt::format("\"{}\" is not \"bootloader\", \"programmer\" or \"absent\"", d.mode));
    }
    if (Find(f, "vendorId") != nullptr) d.vendorId = GetUsbId(f, "vendorId", path);
    if (Find(f, "bootloaderProductId") != nullptr) d.bootloaderProductId = GetUsbId(f, "bootloaderProductId", path);
    if (Find(f, "programmerProductId") != nullptr) d.programmerProductId = GetUsbId(f, "programmerProductId", path);
    d.probe = GetBool(f, "probe", path, true);
    d.superSpeed = GetBool(f, "superSpeed", path, false);
    if (const json* e = Find(f, "eeprom")) {
        const std::string where = Join(path, "eeprom");
        ExpectObject(*e, where);
        CheckKeys(*e, where, {"size", "devices"});
        d.eepromSize = static_cast<uint32_t>(GetInt(*e, "size", where, 65536, 256, 65536));
        if ((d.eepromSize & (d.eepromSize - 1)) != 0) Fail(Join(where, "size"), "must be a power of two");
        d.eepromDevices = static_cast<uint32_t>(GetInt(*e, "devices", where, 8, 0, 8));
    }
    if (const json* sp = Find(f, "spiFlash")) {
        const std::string where = Join(path, "spiFlash");
        ExpectObject(*sp, where);
        CheckKeys(*sp, where, {"size", "eraseBusyReads"});
        d.spiSize = static_cast<uint32_t>(GetInt(*sp, "size", where, 1 << 20, 0, 16 << 20));
        if (d.spiSize % 65536 != 0) Fail(Join(where, "size"), "must be whole 64 KiB sectors");
        if (const json* b = Find(*sp, "eraseBusyReads")) {
            if (b->is_string() && b->get<std::string>() == "stuck") {
                d.eraseBusyReads = -1;
            } else {
                d.eraseBusyReads = jsonread::Int(*b, Join(where, "eraseBusyReads"), 0, 100000, Fail);
            }
        }
    }
    d.bootSource = GetString(f, "bootSource", path, "auto");
    if (d.bootSource != "auto" && d.bootSource != "i2c" && d.bootSource != "spi" && d.bootSource != "usb") {
        Fail(Join(path, "bootSource"), fmt::format("\"{}\" is not \"auto\", \"i2c\", \"spi\" or \"usb\"", d.bootSource));
    }
    if (const json* fs = Find(f, "faults")) {
        if (!fs->is_array()) Fail(Join(path, "faults"), fmt::format("expected an array, found {}", TypeName(*fs)));
        for (size_t i = 0; i < fs->size(); ++i) d.faults.push_back(ParseFault((*fs)[i], Index(Join(path, "faults"), i)));
    }
    return d;
}

void ParseTop(const json& root, WorldDescription& w) {
    ExpectObject(root, "");
    CheckKeys(root, "", {"clock", "frameRateLimit", "usb", "devices", "fx3"});
    const std::string clock = GetString(root, "clock", "", "simulated");
    if (clock != "simulated" && clock != "real") Fail("clock", fmt::format("\"{}\" is neither \"simulated\" nor \"real\"", clock));
    w.simulatedClock = clock == "simulated";
    w.frameRateLimit = GetBool(root, "frameRateLimit", "", true);

    if (const json* usb = Find(root, "usb")) {
        ExpectObject(*usb, "usb");
        CheckKeys(*usb, "usb", {"controllers", "hubs"});
        if (const json* cs = Find(*usb, "controllers")) {
            if (!cs->is_array()) Fail("usb.controllers", fmt::format("expected an array, found {}", TypeName(*cs)));
            if (cs->size() > 10) Fail("usb.controllers", "at most 10 host controllers");
            for (size_t i = 0; i < cs->size(); ++i) {
                const std::string where = Index("usb.controllers", i);
                ExpectObject((*cs)[i], where);
                CheckKeys((*cs)[i], where, {"rootHubPorts"});
                ControllerDescription c;
                c.rootHubPorts = static_cast<uint8_t>(GetInt((*cs)[i], "rootHubPorts", where, 4, 1, 127));
                w.controllers.push_back(c);
            }
        }
        if (const json* hs = Find(*usb, "hubs")) {
            if (!hs->is_array()) Fail("usb.hubs", fmt::format("expected an array, found {}", TypeName(*hs)));
            for (size_t i = 0; i < hs->size(); ++i) w.hubs.push_back(ParseHub((*hs)[i], Index("usb.hubs", i)));
        }
    }
    if (w.controllers.empty()) w.controllers.push_back(ControllerDescription{});

    const json* devices = Find(root, "devices");
    if (devices == nullptr) Fail("devices", "missing");
    if (!devices->is_array()) Fail("devices", fmt::format("expected an array, found {}", TypeName(*devices)));
    for (size_t i = 0; i < devices->size(); ++i) {
        w.devices.push_back(ParseDevice((*devices)[i], Index("devices", i)));
    }

    // Duplicates: ids, and two devices that the platform could not tell apart.
    std::set<std::string> ids;
    for (const auto& h : w.hubs) {
        if (!ids.insert(h.id).second) Fail("usb.hubs", fmt::format("duplicate id \"{}\"", h.id));
    }
    std::set<std::string> links, serials;
    for (size_t i = 0; i < w.devices.size(); ++i) {
        const DeviceDescription& d = w.devices[i];
        const std::string where = Index("devices", i);
        if (!ids.insert(d.id).second) Fail(where, fmt::format("duplicate device id \"{}\"", d.id));
        std::string key = d.instanceKey;
        std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        if (!links.insert(fmt::format("{:04x}:{:04x}:{}:{}", d.vendorId, d.productId, d.interfaceNumber, key)).second) {
            Fail(where, fmt::format("duplicate device: \"{}\" has the same vendor id, product id and instance key as an earlier device", d.id));
        }
        if (d.hasSerial && !serials.insert(fmt::format("{:04x}:{:04x}:{}", d.vendorId, d.productId, d.serial)).second) {
            Fail(where, fmt::format("duplicate device: \"{}\" has the same vendor id, product id and serial number as an earlier device", d.id));
        }
    }
    if (const json* fx3 = Find(root, "fx3")) {
        if (!fx3->is_array()) Fail("fx3", fmt::format("expected an array, found {}", TypeName(*fx3)));
        for (size_t i = 0; i < fx3->size(); ++i) {
            const std::string where = Index("fx3", i);
            Fx3Description d = ParseFx3((*fx3)[i], where);
            if (!ids.insert(d.id).second) Fail(where, fmt::format("duplicate id \"{}\"", d.id));
            if (!d.camera.empty()) {
                const bool known = std::any_of(w.devices.begin(), w.devices.end(),
                                               [&](const DeviceDescription& dev) { return dev.id == d.camera; });
                if (!known) Fail(Join(where, "camera"), fmt::format("no device \"{}\"", d.camera));
                for (const auto& other : w.fx3) {
                    if (other.camera == d.camera) Fail(Join(where, "camera"), fmt::format("\"{}\" has a bridge already", d.camera));
                }
            }
            w.fx3.push_back(std::move(d));
        }
    }
    PlaceOnPorts(w);
}

}  // namespace

bool IsFaultOperation(const std::string& op) {
    return std::any_of(std::begin(kFaultOps), std::end(kFaultOps), [&](const char* o) { return op == o; });
}

bool ParseWorld(const std::string& text, const std::string& source, WorldDescription& world, std::string& error) {
    world = WorldDescription{};
    json root;
    // Containers below the limit are not built, so nothing later walks them
    // recursively (a copy of a device's "xu" object would).
    bool tooDeep = false;
    const json::parser_callback_t depthLimit = [&tooDeep](int depth, json::parse_event_t event, json&) {
        if (event != json::parse_event_t::object_start && event != json::parse_event_t::array_start) return true;
        if (depth < kMaxNesting) return true;
        tooDeep = true;
        return false;
    };
    try {
        root = json::parse(text, depthLimit, true, true);
    } catch (const json::exception& e) {
        // Syntax errors, and numbers the parser cannot hold (1e400).
        std::string what = e.what();
        const size_t cut = what.find("] ");
        if (cut != std::string::npos) what = what.substr(cut + 2);
        error = fmt::format("World file '{}': not valid JSON: {}", source, what);
        return false;
    }
    if (tooDeep) {
        error = fmt::format("World file '{}': nested deeper than {} levels", source, kMaxNesting);
        return false;
    }
    try {
        WorldDescription parsed;
        ParseTop(root, parsed);
        world = std::move(parsed);
        error.clear();
        return true;
    } catch (const Problem& p) {
        error = fmt::format("World file '{}': {}", source, p.what());
    } catch (const std::exception& e) {
        error = fmt::format("World file '{}': {}", source, e.what());
    }
    return false;
}

}  // namespace sv::sim
