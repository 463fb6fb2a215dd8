#include "kernel/UvcFunction.h"

#include <linux/usb/ch9.h>
#include <linux/usb/video.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/backend/MfIds.h"

namespace sv::gadget {

using platform::HResult;
namespace uvc = platform::uvc;

namespace {

// ---- the camera terminal's and processing unit's controls ----

enum class Kind {
    Value,     // a number of the platform property
    AutoMode,  // the property's automatic mode, on or off
    AeMode,    // the exposure's mode bitmap: 1 manual, 8 aperture priority
    PanTilt,   // pan and tilt together
};

// Where the bus and the platform count in different units.
enum class Scale {
    Same,
    Exposure,    // bus: 100 us units; platform: log2 seconds
    ArcSeconds,  // bus: arc seconds; platform: degrees
};

struct ControlEntry {
    bool camera;       // camera terminal, else processing unit
    uint8_t selector;
    uint8_t bit;       // in the unit's bmControls
    uint8_t size;      // bytes on the bus
    Kind kind;
    int32_t property;  // the platform's property number
    Scale scale;
    bool isSigned;
};

constexpr ControlEntry kControls[] = {
    {false, UVC_PU_BACKLIGHT_COMPENSATION_CONTROL, 8, 2, Kind::Value, uvc::ProcAmp_BacklightCompensation, Scale::Same, false},
    {false, UVC_PU_BRIGHTNESS_CONTROL, 0, 2, Kind::Value, uvc::ProcAmp_Brightness, Scale::Same, true},
    {false, UVC_PU_CONTRAST_CONTROL, 1, 2, Kind::Value, uvc::ProcAmp_Contrast, Scale::Same, false},
    {false, UVC_PU_GAIN_CONTROL, 9, 2, Kind::Value, uvc::ProcAmp_Gain, Scale::Same, false},
    {false, UVC_PU_HUE_CONTROL, 2, 2, Kind::Value, uvc::ProcAmp_Hue, Scale::Same, true},
    {false, UVC_PU_SATURATION_CONTROL, 3, 2, Kind::Value, uvc::ProcAmp_Saturation, Scale::Same, false},
    {false, UVC_PU_SHARPNESS_CONTROL, 4, 2, Kind::Value, uvc::ProcAmp_Sharpness, Scale::Same, false},
    {false, UVC_PU_GAMMA_CONTROL, 5, 2, Kind::Value, uvc::ProcAmp_Gamma, Scale::Same, false},
    {false, UVC_PU_WHITE_BALANCE_TEMPERATURE_CONTROL, 6, 2, Kind::Value, uvc::ProcAmp_WhiteBalance, Scale::Same, false},
    {false, UVC_PU_WHITE_BALANCE_TEMPERATURE_AUTO_CONTROL, 12, 1, Kind::AutoMode, uvc::ProcAmp_WhiteBalance, Scale::Same, false},
    {false, UVC_PU_HUE_AUTO_CONTROL, 11, 1, Kind::AutoMode, uvc::ProcAmp_Hue, Scale::Same, false},
    {true, UVC_CT_AE_MODE_CONTROL, 1, 1, Kind::AeMode, uvc::CameraControl_Exposure, Scale::Same, false},
    {true, UVC_CT_EXPOSURE_TIME_ABSOLUTE_CONTROL, 3, 4, Kind::Value, uvc::CameraControl_Exposure, Scale::Exposure, false},
    {true, UVC_CT_FOCUS_ABSOLUTE_CONTROL, 5, 2, Kind::Value, uvc::CameraControl_Focus, Scale::Same, false},
    {true, UVC_CT_FOCUS_AUTO_CONTROL, 17, 1, Kind::AutoMode, uvc::CameraControl_Focus, Scale::Same, false},
    {true, UVC_CT_IRIS_ABSOLUTE_CONTROL, 7, 2, Kind::Value, uvc::CameraControl_Iris, Scale::Same, false},
    {true, UVC_CT_ZOOM_ABSOLUTE_CONTROL, 9, 2, Kind::Value, uvc::CameraControl_Zoom, Scale::Same, false},
    {true, UVC_CT_PANTILT_ABSOLUTE_CONTROL, 11, 8, Kind::PanTilt, uvc::CameraControl_Pan, Scale::ArcSeconds, true},
    {true, UVC_CT_ROLL_ABSOLUTE_CONTROL, 13, 2, Kind::Value, uvc::CameraControl_Roll, Scale::Same, true},
};

constexpr uint8_t kAeManual = 0x01;
constexpr uint8_t kAeAperturePriority = 0x08;

struct Range {
    int32_t minimum = 0, maximum = 0, step = 1, def = 0, caps = 0;
};

bool RangeOf(platform::UvcControlInterface* unit, int32_t property, Range& r) {
    return unit != nullptr && unit->GetRange(property, r.minimum, r.maximum, r.step, r.def, r.caps) == platform::HR_S_OK;
}

bool Offered(platform::UvcControlInterface* unit, const ControlEntry& c) {
    Range r;
    switch (c.kind) {
        case Kind::Value: return RangeOf(unit, c.property, r);
        case Kind::AeMode: return RangeOf(unit, c.property, r);
        case Kind::AutoMode: return RangeOf(unit, c.property, r) && (r.caps & uvc::kFlagsAuto) != 0;
        case Kind::PanTilt: return RangeOf(unit, uvc::CameraControl_Pan, r) || RangeOf(unit, uvc::CameraControl_Tilt, r);
    }
    return false;
}

// Platform value to bus value, and back (rounded to the nearest).
int64_t ToBus(Scale s, int32_t v) {
    switch (s) {
        case Scale::Exposure: return std::max<int64_t>(1, std::llround(10000.0 * std::ldexp(1.0, v)));
        case Scale::ArcSeconds: return int64_t{v} * 3600;
        case Scale::Same: break;
    }
    return v;
}
bool FromBus(Scale s, int64_t v, int32_t& out) {
    switch (s) {
        case Scale::Exposure:
            if (v <= 0) return false;
            out = static_cast<int32_t>(std::lround(std::log2(static_cast<double>(v) / 10000.0)));
            return true;
        case Scale::ArcSeconds:
            out = static_cast<int32_t>(std::llround(static_cast<double>(v) / 3600.0));
            return true;
        case Scale::Same: break;
    }
    if (v < INT32_MIN || v > INT32_MAX) return false;
    out = static_cast<int32_t>(v);
    return true;
}
// A resolution: the step in bus units (exposure: any 100 us unit).
int64_t StepToBus(Scale s, int32_t step) { return s == Scale::Exposure ? 1 : ToBus(s, step); }

void PutLe(std::vector<uint8_t>& d, int64_t v, size_t size) {
    for (size_t i = 0; i < size; ++i) d.push_back(static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i)));
}
int64_t GetLe(const uint8_t* p, size_t size, bool isSigned) {
    uint64_t v = 0;
    for (size_t i = 0; i < size; ++i) v |= uint64_t{p[i]} << (8 * i);
    if (isSigned && size < 8 && (v >> (8 * size - 1)) != 0) v |= ~uint64_t{0} << (8 * size);
    return static_cast<int64_t>(v);
}

}  // namespace

uint32_t CameraTerminalControls(platform::UvcControlInterface* camera) {
    uint32_t bits = 0;
    for (const ControlEntry& c : kControls) {
        if (c.camera && Offered(camera, c)) bits |= 1u << c.bit;
    }
    return bits;
}

uint16_t ProcessingUnitControls(platform::UvcControlInterface* processing) {
    uint32_t bits = 0;
    for (const ControlEntry& c : kControls) {
        if (!c.camera && Offered(processing, c)) bits |= 1u << c.bit;
    }
    return static_cast<uint16_t>(bits);
}

std::vector<XuSelector> XuSelectorsOf(const std::string& model) {
    constexpr uint8_t get = 0x01, set = 0x02;
    const bool kivo = model != "lira";
    const bool lira = model != "kivo";
    std::vector<XuSelector> s = {
        {0x01, 4, get},        // firmware version
        {0x02, 1, set},        // program mode
        {0x03, 1, set},        // reset
        {0x04, 16, get},       // sensor unique id
    };
    if (kivo) s.push_back({0x05, 5, get | set});  // ISP register packet
    s.push_back({0x06, 0, get | set});             // generic I2C packet
    s.push_back({0x07, 1, set});                   // profile flag
    s.push_back({0x08, 8, get});                   // timestamp
    s.push_back({0x09, 1, set});                   // ISP control line
    if (lira) s.push_back({0x0C, 1, set});         // bootstrap loader mode
    return s;
}

std::vector<uint8_t> EncodeStreamControl(const StreamControl& c, size_t length) {
    std::vector<uint8_t> d;
    PutLe(d, c.hint, 2);
    d.push_back(c.formatIndex);
    d.push_back(c.frameIndex);
    PutLe(d, c.frameInterval, 4);
    PutLe(d, c.keyFrameRate, 2);
    PutLe(d, c.pFrameRate, 2);
    PutLe(d, c.compQuality, 2);
    PutLe(d, c.compWindowSize, 2);
    PutLe(d, c.delay, 2);
    PutLe(d, c.maxVideoFrameSize, 4);
    PutLe(d, c.maxPayloadTransferSize, 4);
    d.resize(length, 0);  // later versions' fields: none of them used
    return d;
}

void DecodeStreamControl(const uint8_t* data, size_t length, StreamControl& c) {
    auto field = [&](size_t at, size_t size, auto& out) {
        if (at + size <= length) out = static_cast<std::remove_reference_t<decltype(out)>>(GetLe(data + at, size, false));
    };
    field(0, 2, c.hint);
    field(2, 1, c.formatIndex);
    field(3, 1, c.frameIndex);
    field(4, 4, c.frameInterval);
    field(8, 2, c.keyFrameRate);
    field(10, 2, c.pFrameRate);
    field(12, 2, c.compQuality);
    field(14, 2, c.compWindowSize);
    field(16, 2, c.delay);
    field(18, 4, c.maxVideoFrameSize);
    field(22, 4, c.maxPayloadTransferSize);
}

UvcFunction::UvcFunction(const sim::DeviceDescription& device, UvcUnits units) : units_(std::move(units)) {
    uint16_t xu = 0;
    if (units_.extension) {
        for (const XuSelector& s : units_.extensionSelectors) {
            if (s.selector >= 1 && s.selector <= 16) xu = static_cast<uint16_t>(xu | (1u << (s.selector - 1)));
        }
    }
    layout_ = LayoutOf(device, CameraTerminalControls(units_.camera.get()),
                       ProcessingUnitControls(units_.processing.get()), xu);
    FitConfiguration(layout_, kMaxControlTransfer);
    probe_ = Negotiate(StreamControl{});
    commit_ = probe_;
}

StreamSettings UvcFunction::Committed() const {
    StreamSettings s;
    if (commit_.formatIndex == 0) return s;
    const FormatLayout& f = layout_.formats[commit_.formatIndex - 1];
    const FrameLayout& fr = f.frames[commit_.frameIndex - 1];
    s.format = f.format;
    s.width = fr.width;
    s.height = fr.height;
    for (const FrameRate& r : fr.rates) {
        if (r.interval == commit_.frameInterval) s.rate = r;
    }
    s.maxFrameBytes = fr.maxFrameBytes;
    s.maxPayload = commit_.maxPayloadTransferSize;
    return s;
}

Answer UvcFunction::Refuse(RequestError e) {
    error_ = e;
    return Answer{};
}

Answer UvcFunction::Reply(std::vector<uint8_t> bytes, uint16_t length) {
    error_ = RequestError::None;
    if (bytes.size() > length) bytes.resize(length);
    Answer a;
    a.kind = Answer::Kind::Data;
    a.data = std::move(bytes);
    return a;
}

Answer UvcFunction::Accept() {
    error_ = RequestError::None;
    Answer a;
    a.kind = Answer::Kind::Ack;
    return a;
}

Answer UvcFunction::Handle(const Setup& s, const std::vector<uint8_t>& data) {
    const uint8_t type = s.requestType & USB_TYPE_MASK;
    if (type == USB_TYPE_STANDARD) return Standard(s);
    if (type == USB_TYPE_CLASS && (s.requestType & USB_RECIP_MASK) == USB_RECIP_INTERFACE) {
        const auto interface = static_cast<uint8_t>(s.index);
        if (interface == kStreamingInterface) return Streaming(s, data);
        if (interface == kControlInterface) return Control(s, data);
    }
    return Refuse(RequestError::InvalidRequest);
}

Answer UvcFunction::Standard(const Setup& s) {
    Answer a;
    a.kind = s.In() ? Answer::Kind::Data : Answer::Kind::Ack;
    switch (s.request) {
        case USB_REQ_GET_DESCRIPTOR:
            if (s.In() && (s.value >> 8) == USB_DT_STRING) {
                a.data = StringDescriptor(layout_, static_cast<uint8_t>(s.value));
                if (a.data.empty()) return Answer{};
                if (a.data.size() > s.length) a.data.resize(s.length);
                return a;
            }
            return Answer{};
        case USB_REQ_SET_CONFIGURATION:
            if (s.In() || s.value > 1) return Answer{};
            a.effect = s.value == 1 ? Answer::Effect::Configure : Answer::Effect::Unconfigure;
            return a;
        case USB_REQ_SET_INTERFACE:
            if (s.In() || s.value != 0 || s.index > kStreamingInterface) return Answer{};
            if (s.index == kStreamingInterface) a.effect = Answer::Effect::StreamStop;
            return a;
        case USB_REQ_GET_INTERFACE:
            if (!s.In() || s.index > kStreamingInterface) return Answer{};
            a.data = {0};
            return a;
        case USB_REQ_GET_STATUS:
            if (!s.In()) return Answer{};
            a.data = {0, 0};
            if (a.data.size() > s.length) a.data.resize(s.length);
            return a;
        case USB_REQ_CLEAR_FEATURE:
        case USB_REQ_SET_FEATURE:
            if (s.In()) return Answer{};
            // A halt cleared on the streaming endpoint ends the stream.
            if (s.request == USB_REQ_CLEAR_FEATURE && (s.requestType & USB_RECIP_MASK) == USB_RECIP_ENDPOINT &&
                s.value == USB_ENDPOINT_HALT && s.index == kStreamEndpoint) {
                a.effect = Answer::Effect::StreamStop;
            }
            return a;
        default: return Answer{};
    }
}

StreamControl UvcFunction::Negotiate(const StreamControl& asked) const {
    StreamControl c;
    if (layout_.formats.empty()) return c;
    c.hint = asked.hint;
    c.formatIndex = asked.formatIndex >= 1 && asked.formatIndex <= layout_.formats.size() ? asked.formatIndex : 1;
    const FormatLayout& f = layout_.formats[c.formatIndex - 1];
    c.frameIndex = asked.frameIndex >= 1 && asked.frameIndex <= f.frames.size() ? asked.frameIndex : 1;
    const FrameLayout& fr = f.frames[c.frameIndex - 1];
    c.frameInterval = fr.defaultInterval;
    if (asked.frameInterval != 0) {
        // The nearest interval the frame offers; the shorter one on a tie.
        uint32_t best = fr.rates.front().interval;
        for (const FrameRate& r : fr.rates) {
            const auto distance = [&](uint32_t i) { return std::llabs(int64_t{i} - int64_t{asked.frameInterval}); };
            if (distance(r.interval) < distance(best)) best = r.interval;
        }
        c.frameInterval = best;
    }
    c.compQuality = asked.compQuality;
    c.maxVideoFrameSize = fr.maxFrameBytes;
    c.maxPayloadTransferSize = kMaxPayload;
    return c;
}

StreamControl UvcFunction::Bound(bool maximum) const {
    StreamControl c = probe_;
    if (c.formatIndex == 0) return c;
    const FrameLayout& fr = layout_.formats[c.formatIndex - 1].frames[c.frameIndex - 1];
    c.frameInterval = maximum ? fr.rates.back().interval : fr.rates.front().interval;
    c.compQuality = maximum ? 10000 : 0;
    return c;
}

Answer UvcFunction::Streaming(const Setup& s, const std::vector<uint8_t>& data) {
    const auto selector = static_cast<uint8_t>(s.value >> 8);
    if ((s.index >> 8) != 0) return Refuse(RequestError::InvalidUnit);
    if (selector != UVC_VS_PROBE_CONTROL && selector != UVC_VS_COMMIT_CONTROL) {
        return Refuse(RequestError::InvalidControl);
    }
    if (layout_.formats.empty()) return Refuse(RequestError::NotReady);
    const bool commit = selector == UVC_VS_COMMIT_CONTROL;
    switch (s.request) {
        case UVC_SET_CUR: {
            if (s.In() || data.empty()) return Refuse(RequestError::InvalidRequest);
            StreamControl asked = commit ? commit_ : probe_;
            DecodeStreamControl(data.data(), data.size(), asked);
            const StreamControl agreed = Negotiate(asked);
            Answer a = Accept();
            if (commit) {
                commit_ = agreed;
                a.effect = Answer::Effect::StreamStart;
            } else {
                probe_ = agreed;
            }
            return a;
        }
        case UVC_GET_CUR: return Reply(EncodeStreamControl(commit ? commit_ : probe_, s.length), s.length);
        case UVC_GET_MIN:
        case UVC_GET_MAX:
        case UVC_GET_DEF:
            if (commit) return Refuse(RequestError::InvalidRequest);
            return Reply(EncodeStreamControl(s.request == UVC_GET_DEF ? Negotiate(StreamControl{})
                                                                      : Bound(s.request == UVC_GET_MAX),
                                             s.length),
                         s.length);
        case UVC_GET_LEN: return Reply({kStreamControlLength, 0}, s.length);
        case UVC_GET_INFO: return Reply({0x03}, s.length);
        default: return Refuse(RequestError::InvalidRequest);
    }
}

bool UvcFunction::Stalls(uint8_t unit, uint8_t selector) const {
    return std::find(stalled_.begin(), stalled_.end(), ControlId{unit, selector}) != stalled_.end();
}

Answer UvcFunction::Control(const Setup& s, const std::vector<uint8_t>& data) {
    const auto entity = static_cast<uint8_t>(s.index >> 8);
    const auto selector = static_cast<uint8_t>(s.value >> 8);
    if (entity != 0 && Stalls(entity, selector)) return Refuse(RequestError::Unknown);
    switch (entity) {
        case 0:
            // The interface's own controls: only the last request's error code.
            if (selector != UVC_VC_REQUEST_ERROR_CODE_CONTROL) return Refuse(RequestError::InvalidControl);
            if (s.request == UVC_GET_CUR) {
                Answer a;
                a.kind = Answer::Kind::Data;
                a.data = {static_cast<uint8_t>(error_)};
                return a;  // reading the code leaves it
            }
            if (s.request == UVC_GET_INFO) return Reply({0x01}, s.length);
            return Refuse(RequestError::InvalidRequest);
        case kCameraTerminalId: return UnitControl(true, s, data);
        case kProcessingUnitId: return UnitControl(false, s, data);
        case kExtensionUnitId:
            if (layout_.extensionUnit) return Extension(s, data);
            return Refuse(RequestError::InvalidUnit);
        default: return Refuse(RequestError::InvalidUnit);
    }
}

Answer UvcFunction::UnitControl(bool cameraTerminal, const Setup& s, const std::vector<uint8_t>& data) {
    const auto selector = static_cast<uint8_t>(s.value >> 8);
    const ControlEntry* c = nullptr;
    for (const ControlEntry& e : kControls) {
        if (e.camera == cameraTerminal && e.selector == selector) c = &e;
    }
    const uint32_t bits = cameraTerminal ? layout_.cameraControls : layout_.processingControls;
    if (c == nullptr || (bits & (1u << c->bit)) == 0) return Refuse(RequestError::InvalidControl);
    platform::UvcControlInterface* unit = cameraTerminal ? units_.camera.get() : units_.processing.get();

    // The property (pan for pan-tilt) and, for pan-tilt, the second one.
    const int32_t second = uvc::CameraControl_Tilt;
    Range range, range2;
    const bool has1 = RangeOf(unit, c->property, range);
    const bool has2 = c->kind == Kind::PanTilt && RangeOf(unit, second, range2);
    if (!has1 && !has2) return Refuse(RequestError::NotReady);
    auto value = [&](bool first, int32_t& v, int32_t& flags) {
        const bool has = first ? has1 : has2;
        v = 0;
        flags = uvc::kFlagsManual;
        return !has || unit->Get(first ? c->property : second, v, flags) == platform::HR_S_OK;
    };
    std::vector<uint8_t> out;
    const bool isAuto = (range.caps & uvc::kFlagsAuto) != 0;

    switch (s.request) {
        case UVC_GET_INFO: return Reply({0x03}, s.length);
        case UVC_GET_LEN: return Reply({c->size, 0}, s.length);
        case UVC_GET_MIN:
        case UVC_GET_MAX:
        case UVC_GET_RES:
        case UVC_GET_DEF: {
            const uint8_t q = s.request;
            if (c->kind == Kind::AutoMode) {
                PutLe(out, q == UVC_GET_MIN ? 0 : 1, 1);
            } else if (c->kind == Kind::AeMode) {
                if (q == UVC_GET_RES) PutLe(out, kAeManual | (isAuto ? kAeAperturePriority : 0), 1);
                else if (q == UVC_GET_DEF) PutLe(out, isAuto ? kAeAperturePriority : kAeManual, 1);
                else return Refuse(RequestError::InvalidRequest);
            } else {
                auto pick = [&](const Range& r, bool has) -> int64_t {
                    if (!has) return 0;
                    switch (q) {
                        case UVC_GET_MIN: return ToBus(c->scale, r.minimum);
                        case UVC_GET_MAX: return ToBus(c->scale, r.maximum);
                        case UVC_GET_RES: return StepToBus(c->scale, r.step);
                        default: return ToBus(c->scale, r.def);
                    }
                };
                if (c->kind == Kind::PanTilt) {
                    PutLe(out, pick(range, has1), 4);
                    PutLe(out, pick(range2, has2), 4);
                } else {
                    PutLe(out, pick(range, has1), c->size);
                }
            }
            return Reply(std::move(out), s.length);
        }
        case UVC_GET_CUR: {
            int32_t v = 0, flags = 0, v2 = 0, flags2 = 0;
            if (!value(true, v, flags) || !value(false, v2, flags2)) return Refuse(RequestError::NotReady);
            switch (c->kind) {
                case Kind::AutoMode: PutLe(out, flags == uvc::kFlagsAuto ? 1 : 0, 1); break;
                case Kind::AeMode: PutLe(out, flags == uvc::kFlagsAuto ? kAeAperturePriority : kAeManual, 1); break;
                case Kind::PanTilt:
                    PutLe(out, has1 ? ToBus(c->scale, v) : 0, 4);
                    PutLe(out, has2 ? ToBus(c->scale, v2) : 0, 4);
                    break;
                case Kind::Value: PutLe(out, ToBus(c->scale, v), c->size); break;
            }
            return Reply(std::move(out), s.length);
        }
        case UVC_SET_CUR: {
            if (s.In()) return Refuse(RequestError::InvalidRequest);
            if (data.size() < c->size) return Refuse(RequestError::InvalidValue);
            auto set = [&](int32_t property, int32_t v, int32_t flags) {
                return unit->Set(property, v, flags) == platform::HR_S_OK;
            };
            int32_t cur = 0, flags = 0;
            if (!value(true, cur, flags)) return Refuse(RequestError::NotReady);
            switch (c->kind) {
                case Kind::AutoMode:
                case Kind::AeMode: {
                    const uint8_t asked = data[0];
                    bool automatic = false;
                    if (c->kind == Kind::AutoMode && asked <= 1) automatic = asked == 1;
                    else if (c->kind == Kind::AeMode && asked == kAeManual) automatic = false;
                    else if (c->kind == Kind::AeMode && asked == kAeAperturePriority && isAuto) automatic = true;
                    else return Refuse(RequestError::OutOfRange);
                    // The value stays where it is; only the mode changes.
                    if (!set(c->property, cur, automatic ? uvc::kFlagsAuto : uvc::kFlagsManual)) {
                        return Refuse(RequestError::InvalidValue);
                    }
                    return Accept();
                }
                case Kind::Value: {
                    // The device sets its value in manual mode only.
                    if (flags == uvc::kFlagsAuto) return Refuse(RequestError::WrongState);
                    int32_t v = 0;
                    if (!FromBus(c->scale, GetLe(data.data(), c->size, c->isSigned), v)) {
                        return Refuse(RequestError::OutOfRange);
                    }
                    if (v < range.minimum || v > range.maximum) return Refuse(RequestError::OutOfRange);
                    if (!set(c->property, v, uvc::kFlagsManual)) return Refuse(RequestError::InvalidValue);
                    return Accept();
                }
                case Kind::PanTilt: {
                    int32_t v2 = 0, flags2 = 0;
                    if (!value(false, v2, flags2)) return Refuse(RequestError::NotReady);
                    if ((has1 && flags == uvc::kFlagsAuto) || (has2 && flags2 == uvc::kFlagsAuto)) {
                        return Refuse(RequestError::WrongState);
                    }
                    int32_t pan = 0, tilt = 0;
                    FromBus(c->scale, GetLe(data.data(), 4, true), pan);
                    FromBus(c->scale, GetLe(data.data() + 4, 4, true), tilt);
                    if ((has1 && (pan < range.minimum || pan > range.maximum)) ||
                        (has2 && (tilt < range2.minimum || tilt > range2.maximum)) || (!has1 && pan != 0) ||
                        (!has2 && tilt != 0)) {
                        return Refuse(RequestError::OutOfRange);
                    }
                    if ((has1 && !set(c->property, pan, uvc::kFlagsManual)) ||
                        (has2 && !set(second, tilt, uvc::kFlagsManual))) {
                        return Refuse(RequestError::InvalidValue);
                    }
                    return Accept();
                }
            }
            return Refuse(RequestError::InvalidRequest);
        }
        default: return Refuse(RequestError::InvalidRequest);
    }
}

Answer UvcFunction::Extension(const Setup& s, const std::vector<uint8_t>& data) {
    const auto selector = static_cast<uint8_t>(s.value >> 8);
    const XuSelector* x = nullptr;
    for (const XuSelector& e : units_.extensionSelectors) {
        if (e.selector == selector) x = &e;
    }
    if (x == nullptr) return Refuse(RequestError::InvalidControl);
    switch (s.request) {
        case UVC_GET_INFO: return Reply({x->info}, s.length);
        case UVC_GET_LEN: {
            const uint16_t length =
                x->length != 0 ? x->length : (units_.genericPacketLength ? units_.genericPacketLength() : 0);
            return Reply({static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8)}, s.length);
        }
        case UVC_GET_CUR:
        case UVC_SET_CUR: {
            const bool get = s.request == UVC_GET_CUR;
            if (get != s.In()) return Refuse(RequestError::InvalidRequest);
            platform::ks::PropertyNodeRequest request;
            request.set = platform::ks::kExtensionUnitSet;
            request.id = selector;
            request.flags = (get ? platform::ks::KSPROPERTY_TYPE_GET : platform::ks::KSPROPERTY_TYPE_SET) |
                            platform::ks::KSPROPERTY_TYPE_TOPOLOGY;
            request.nodeId = units_.extensionNode;
            std::vector<uint8_t> buffer = get ? std::vector<uint8_t>(s.length) : data;
            uint32_t returned = 0;
            const HResult hr = units_.extension->KsProperty(request, buffer.data(),
                                                            static_cast<uint32_t>(buffer.size()), returned);
            if (hr == platform::HR_ERROR_GEN_FAILURE) return Refuse(RequestError::InvalidRequest);  // the firmware refused
            if (hr != platform::HR_S_OK) return Refuse(RequestError::NotReady);
            return get ? Reply(std::move(buffer), s.length) : Accept();
        }
        default: return Refuse(RequestError::InvalidRequest);
    }
}

}  // namespace sv::gadget
