#include "platform/CameraControl.h"

#include <limits>

#include "base/Logger.h"
#include "platform/backend/MfIds.h"

using namespace sv::platform;

namespace {

constexpr uint32_t kGetFlags = ks::KSPROPERTY_TYPE_GET | ks::KSPROPERTY_TYPE_TOPOLOGY;  // 0x10000001
constexpr uint32_t kSetFlags = ks::KSPROPERTY_TYPE_SET | ks::KSPROPERTY_TYPE_TOPOLOGY;  // 0x10000002
constexpr uint32_t kExtensionUnitNode = 2;

// The platform's quantities are 32 bits wide; a wider value is refused rather
// than cut into another one.
bool FitsPlatform(long v) {
    return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
}

}  // namespace

UVCCameraControlWin::UVCCameraControlWin(const CameraDeviceInfo& info) : info_(info) {}

UVCCameraControlWin::~UVCCameraControlWin() = default;

void UVCCameraControlWin::SetMediaSourceLocked(std::shared_ptr<MediaSource> source) {
    source_ = std::move(source);
}

HResult UVCCameraControlWin::Query(Unit unit, std::shared_ptr<UvcControlInterface>& out) {
    return unit == Unit::ProcAmp ? source_->QueryVideoProcAmp(out) : source_->QueryCameraControl(out);
}

long UVCCameraControlWin::Get(Unit unit, const char* where, long property, long& value, long& flags) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!source_) {
        SV_LOGE(where, "VideoSource is NULL");
        return HR_E_FAIL;
    }
    if (!FitsPlatform(property)) return HR_E_INVALIDARG;
    std::shared_ptr<UvcControlInterface> controls;
    HResult hr = Query(unit, controls);
    if (Failed(hr)) return hr;
    int32_t v = 0;
    int32_t f = 0;
    hr = controls->Get(static_cast<int32_t>(property), v, f);
    if (Succeeded(hr)) {
        value = v;
        flags = f;
    }
    return hr;
}

long UVCCameraControlWin::Set(Unit unit, const char* where, long property, long value, long flags) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!source_) {
        SV_LOGE(where, "VideoSource is NULL");
        return HR_E_FAIL;
    }
    if (!FitsPlatform(property) || !FitsPlatform(value) || !FitsPlatform(flags)) return HR_E_INVALIDARG;
    std::shared_ptr<UvcControlInterface> controls;
    HResult hr = Query(unit, controls);
    if (Failed(hr)) return hr;
    return controls->Set(static_cast<int32_t>(property), static_cast<int32_t>(value),
                         static_cast<int32_t>(flags));
}

long UVCCameraControlWin::Range(Unit unit, const char* where, long property, long& minimum,
                                long& maximum, long& step, long& defaultValue, long& capsFlags) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!source_) {
        SV_LOGE(where, "VideoSource is NULL");
        return HR_E_FAIL;
    }
    if (!FitsPlatform(property)) return HR_E_INVALIDARG;
    std::shared_ptr<UvcControlInterface> controls;
    HResult hr = Query(unit, controls);
    if (Failed(hr)) return hr;
    int32_t mn = 0, mx = 0, st = 0, df = 0, caps = 0;
    hr = controls->GetRange(static_cast<int32_t>(property), mn, mx, st, df, caps);
    if (Succeeded(hr)) {
        minimum = mn;
        maximum = mx;
        step = st;
        defaultValue = df;
        capsFlags = caps;
    }
    return hr;
}

long UVCCameraControlWin::GetProcAmpProperty(long property, long& value, long& flags) {
    return Get(Unit::ProcAmp, "UVCCameraControlWin::GetProcAmpProperty", property, value, flags);
}

long UVCCameraControlWin::GetCameraControlProperty(long property, long& value, long& flags) {
    return Get(Unit::CameraTerminal, "UVCCameraControlWin::GetCameraControlProperty", property, value, flags);
}

long UVCCameraControlWin::SetCameraControlProperty(long property, long value, long flags) {
    return Set(Unit::CameraTerminal, "UVCCameraControlWin::SetCameraControlProperty", property, value, flags);
}

long UVCCameraControlWin::SetProcAmpProperty(long property, long value, long flags) {
    return Set(Unit::ProcAmp, "UVCCameraControlWin::SetProcAmpProperty", property, value, flags);
}

long UVCCameraControlWin::GetCameraControlRange(long property, long& minimum, long& maximum, long& step,
                                                long& defaultValue, long& capsFlags) {
    return Range(Unit::CameraTerminal, "UVCCameraControlWin::GetCameraControlRange", property, minimum,
                 maximum, step, defaultValue, capsFlags);
}

long UVCCameraControlWin::GetProcAmpRange(long property, long& minimum, long& maximum, long& step,
                                          long& defaultValue, long& capsFlags) {
    return Range(Unit::ProcAmp, "UVCCameraControlWin::GetProcAmpRange", property, minimum, maximum, step,
                 defaultValue, capsFlags);
}

int UVCCameraControlWin::SetExtensionUnit(const XuRequest& request) {
    if (request.request != ks::kSetCur) return -1;
    uint32_t returned = 0;
    HResult hr = SetGetExtensionUnit(ks::kExtensionUnitSet, kExtensionUnitNode, request.selector, kSetFlags,
                                     request.data, request.length, returned);
    return hr == 0 ? 0 : -1;
}

int UVCCameraControlWin::GetExtensionUnit(XuRequest& request) {
    if (request.request != ks::kGetCur) return -1;
    uint32_t returned = 0;
    HResult hr = SetGetExtensionUnit(ks::kExtensionUnitSet, request.unit, request.selector, kGetFlags,
                                     request.data, request.length, returned);
    return hr == 0 ? 0 : -1;
}

HResult UVCCameraControlWin::SetGetExtensionUnit(const Guid& propertySet, uint32_t node, uint32_t selector,
                                                 uint32_t flags, uint8_t* data, uint32_t length,
                                                 uint32_t& bytesReturned) {
    // The source is checked under the lock: the streamer replaces it while holding it.
    std::lock_guard<std::mutex> lock(mutex_);
    if (!source_) {
        SV_LOGE("UVCCameraControlWin::SetGetExtensionUnit", "VideoSource is NULL");
        return HR_E_FAIL;
    }
    std::shared_ptr<KsTopologyInfo> topology;
    HResult hr = source_->QueryTopologyInfo(topology);
    if (Failed(hr)) return hr;
    std::shared_ptr<KsControl> control;
    hr = topology->CreateNodeInstance(node, control);
    if (Failed(hr)) return hr;

    ks::PropertyNodeRequest request;
    request.set = propertySet;
    request.id = selector;
    request.flags = flags;
    request.nodeId = node;
    request.reserved = 0;
    return control->KsProperty(request, data, length, bytesReturned);
}
