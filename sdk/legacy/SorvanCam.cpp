// The legacy camera class: construction, opening and closing, UVC controls,
// the extension-unit requests it makes itself, and the default settings.

#include <sorvansdk/SorvanCam.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "legacy/SorvanCamInternal.h"
#include "legacy/SzText.h"
#include "platform/USBView.h"
#include "platform/backend/Backend.h"
#include "platform/backend/MfIds.h"

using namespace sv::platform;
using sv::legacy::Guarded;

namespace {

constexpr uint16_t kLumoProductIds[] = {0x3144, 0x3145, 0x3234, 0x3521, 0x3522, 0x3821, 0x3822, 0x4144,
                                        0x4145, 0x4234, 0x4335, 0x4521, 0x4522, 0x4821, 0x4822, 0x5335};

constexpr uint8_t kSelectorProgramMode = 0x02;
constexpr uint8_t kSelectorResetUvc = 0x03;
constexpr uint8_t kSelectorSensorUid = 0x04;
constexpr uint8_t kSelectorSaveOspProfile = 0x07;
constexpr uint8_t kSelectorTimeStamp = 0x08;

bool IsLumoProduct(uint16_t productId) {
    return std::find(std::begin(kLumoProductIds), std::end(kLumoProductIds), productId) != std::end(kLumoProductIds);
}

uint16_t HexField(const std::wstring& hardwareId, std::size_t pos) {
    // substr throws out_of_range for a text too short, stoul invalid_argument
    // for one that is not hexadecimal.
    return static_cast<uint16_t>(std::stoul(sv::legacy::Utf8FromWide(hardwareId.substr(pos, 4)), nullptr, 16));
}

// The platform property behind a CAPTURE_PROPETIES value.
bool IsCameraTerminal(int property) { return property > 9; }
int32_t PlatformProperty(int property) {
    if (property > 16 || property < 0) return 0;
    return property > 9 ? property - 10 : property;
}

HResult QueryControls(CamCtrl* control, int property, std::shared_ptr<UvcControlInterface>& controls) {
    if (!control) return HR_E_POINTER;
    auto source = control->GetMediaSource();
    if (!source) return HR_E_POINTER;
    const HResult hr = IsCameraTerminal(property) ? source->QueryCameraControl(controls)
                                                  : source->QueryVideoProcAmp(controls);
    if (Succeeded(hr) && !controls) return HR_E_NOINTERFACE;
    return hr;
}

void WriteWide(wchar_t* text, const std::wstring& value) {
    std::copy(value.begin(), value.end(), text);
    text[value.size()] = L'\0';
}

}  // namespace

SorvanCam::SorvanCam() : SorvanCam(255) {}

SorvanCam::SorvanCam(uint8_t index)
    : cameraControl(nullptr),
      deviceIndex(index),
      currentFormat{},
      pending(false),
      frameSize(0),
      cachedFlip(0),
      vendorId(0),
      productId(0),
      usbSpeed(::UsbSpeedUnknown),
      attributes(nullptr),
      activations(nullptr),
      activationCount(0) {
    (void)Guarded("SorvanCam::SorvanCam", -1L, [&] { return GetVideoDevices(); });
}

SorvanCam::~SorvanCam() {
    try {
        readerCallback.reset();
        delete attributes;
        attributes = nullptr;
        sourceReader.reset();
        if (cameraControl) {
            cameraControl->SetMediaSource(nullptr);
            delete cameraControl;
            cameraControl = nullptr;
        }
        delete[] activations;
        activations = nullptr;
        activationCount = 0;
        deviceNames.clear();
        hardwareIds.clear();
        devicePaths.clear();
    } catch (...) {
        // Nothing may leave a destructor; what is left is freed with the object.
    }
}

int SorvanCam::Open(int index) {
    constexpr const char* kWhere = "SorvanCam::Open";
    return Guarded(kWhere, -1, [&]() -> int {
        if (index < 0 || static_cast<std::size_t>(index) >= deviceNames.size()) return -1;
        deviceIndex = static_cast<uint8_t>(index);
        deviceName = deviceNames[index];
        hardwareId = hardwareIds[index];
        if (hardwareId.empty()) {
            vendorId = 0;
            productId = 0;
        } else {
            try {
                vendorId = HexField(hardwareId, 4);
                productId = HexField(hardwareId, 13);
            } catch (const std::exception& e) {
                SZ_LINE(Error, kWhere, "%s", e.what());
                return -1;
            }
        }

        // A new control for this opening; the old one (an earlier Open) goes.
        if (cameraControl) {
            cameraControl->SetMediaSource(nullptr);
            delete cameraControl;
            cameraControl = nullptr;
        }
        if (IsLumoProduct(productId)) {
            cameraControl = new LumoCamCtrl();
            SZ_LINE0(Debug, kWhere, "Camera is LUMO series");
        } else {
            cameraControl = new KanoCamCtrl();
            SZ_LINE0(Debug, kWhere, "Camera is KANO series");
        }

        if (InitVideoDevice() < 0) return -1;

        if (vendorId != 0 && productId != 0) {
            UsbPortInfo port;
            port.vendorId = vendorId;
            port.productId = productId;
            USBView usb(GetBackend());
            (void)usb.EnumerateHostControllers(port);
            if (!port.speedName.empty()) usbSpeed = port.speed;
        }
        // The firmware version chooses the generic I2C packet size; without
        // this read a camera whose firmware takes 256-byte packets would
        // refuse every I2C operation until the host asked for the version.
        uint8_t version[4] = {};
        (void)cameraControl->GetUSBFirmwareVersion(version);
        int flip = 0;
        if (cameraControl->GetFlipMode(flip) == 0) cachedFlip = flip;

        pending = false;
        SZ_LINE(Debug, kWhere, "Open Camera %d", index);
        return 0;
    });
}

int SorvanCam::Close() {
    return Guarded("SorvanCam::Close", 0, [&] {
        readerCallback.reset();
        if (attributes) attributes->asyncCallback.reset();
        if (cameraControl) cameraControl->SetMediaSource(nullptr);
        sourceReader.reset();
        pending = false;
        return 0;
    });
}

// ---- UVC controls ----------------------------------------------------------

long SorvanCam::GetPropertyRange(CAPTURE_PROPETIES property, long* minimum, long* maximum, long* step,
                                 long* defaultValue, long* capability) {
    return Guarded("SorvanCam::GetPropertyRange", -1L, [&]() -> long {
        if (!minimum || !maximum || !step || !defaultValue || !capability) return -1;
        std::shared_ptr<UvcControlInterface> controls;
        if (Failed(QueryControls(cameraControl, property, controls))) return -1;
        int32_t lo = 0, hi = 0, st = 0, def = 0, caps = 0;
        const HResult hr = controls->GetRange(PlatformProperty(property), lo, hi, st, def, caps);
        if (Succeeded(hr)) {
            *minimum = lo;
            *maximum = hi;
            *step = st;
            *defaultValue = def;
            *capability = caps & 1;
        }
        return hr;
    });
}

long SorvanCam::GetPropertyValue(CAPTURE_PROPETIES property, long* value, int* flag) {
    return Guarded("SorvanCam::GetPropertyValue", -1L, [&]() -> long {
        if (!value || !flag) return -1;
        *value = 0;
        *flag = -1;
        std::shared_ptr<UvcControlInterface> controls;
        if (Failed(QueryControls(cameraControl, property, controls))) return -1;
        int32_t v = 0, flags = 0;
        const HResult hr = controls->Get(PlatformProperty(property), v, flags);
        if (Succeeded(hr)) {
            *value = v;
            *flag = flags & 1;
        }
        return hr;
    });
}

long SorvanCam::SetPropertyValue(CAPTURE_PROPETIES property, long value, int flag) {
    return Guarded("SorvanCam::SetPropertyValue", -1L, [&]() -> long {
        std::shared_ptr<UvcControlInterface> controls;
        if (Failed(QueryControls(cameraControl, property, controls))) return -1;
        return controls->Set(PlatformProperty(property), static_cast<int32_t>(value),
                             flag != 0 ? uvc::kFlagsAuto : uvc::kFlagsManual);
    });
}

// ---- The class's own extension-unit requests --------------------------------

namespace {

int XuTransfer(CamCtrl* control, uint8_t selector, uint32_t flags, uint8_t* data, uint32_t length) {
    if (!control) return -1;
    uint32_t returned = 0;
    return control->SetGetExtensionUnit(ks::kExtensionUnitSet, CamCtrl::kNode, selector, flags, data, length,
                                        returned);
}

}  // namespace

int SorvanCam::GotoProgramMode() {
    return Guarded("SorvanCam::GotoProgramMode", -1, [&] {
        if (activationCount == 0) return 0;
        uint8_t one = 1;
        return XuTransfer(cameraControl, kSelectorProgramMode, CamCtrl::kSetFlags, &one, 1);
    });
}

int SorvanCam::ResetUVC() {
    return Guarded("SorvanCam::ResetUVC", -1, [&] {
        if (activationCount == 0) return 0;
        uint8_t one = 1;
        return XuTransfer(cameraControl, kSelectorResetUvc, CamCtrl::kSetFlags, &one, 1);
    });
}

int SorvanCam::GotoSaveOSPProfile(uint8_t flag) {
    return Guarded("SorvanCam::GotoSaveOSPProfile", -1, [&] {
        if (activationCount == 0) return 0;
        return XuTransfer(cameraControl, kSelectorSaveOspProfile, CamCtrl::kSetFlags, &flag, 1);
    });
}

namespace {

constexpr const char* kVersionWhere = "SorvanCam::GetUSBFirmwareVersion";

// The four version bytes; the control chooses its packet size from them.
bool ReadUsbVersion(CamCtrl* control, uint8_t (&v)[4]) {
    if (control->GetUSBFirmwareVersion(v) == 0) return true;
    SZ_LINE0(Error, kVersionWhere, "Get USB Version Fail!");
    return false;
}

}  // namespace

int SorvanCam::GetUSBFirmwareVersion(char* text) {
    constexpr const char* kWhere = kVersionWhere;
    return Guarded(kWhere, -1, [&] {
        if (!text || !cameraControl) return -1;
        uint8_t v[4] = {};
        if (!ReadUsbVersion(cameraControl, v)) return -1;
        std::snprintf(text, 16, "%02d.%02d.%02d.%02d", v[0], v[1], v[2], v[3]);
        SZ_LINE(Trace, kWhere, "Get USB Version SUCCESS! version=%s", text);
        return 0;
    });
}

int SorvanCam::GetUSBFirmwareVersion(uint8_t* version) {
    constexpr const char* kWhere = kVersionWhere;
    return Guarded(kWhere, -1, [&] {
        if (!version || !cameraControl) return -1;
        uint8_t v[4] = {};
        if (!ReadUsbVersion(cameraControl, v)) return -1;
        std::memcpy(version, v, 4);
        SZ_LINE(Trace, kWhere, "Get USB Version SUCCESS! version=%02d.%02d.%02d.%02d", v[0], v[1], v[2], v[3]);
        return 0;
    });
}

int SorvanCam::GetSensorUID(uint8_t* uid) {
    constexpr const char* kWhere = "SorvanCam::GetSensorUID";
    return Guarded(kWhere, -1, [&] {
        if (!uid || !cameraControl) return -1;
        uint8_t d[16] = {};
        if (XuTransfer(cameraControl, kSelectorSensorUid, CamCtrl::kGetFlags, d, sizeof(d)) != 0) {
            SZ_LINE0(Error, kWhere, "Get Sensor UID Fail!");
            return -1;
        }
        std::memcpy(uid, d, sizeof(d));
        SZ_LINE(Debug, kWhere,
                "Get Sensor UID SUCCESS! ID=%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X", d[0],
                d[1], d[2], d[3], d[4], d[5], d[6], d[7], d[8], d[9], d[10], d[11], d[12], d[13], d[14], d[15]);
        return 0;
    });
}

int SorvanCam::ReadTimeStamp(uint32_t* frameCount, uint32_t* timeStamp) {
    constexpr const char* kWhere = "SorvanCam::ReadTimeStamp";
    return Guarded(kWhere, -1, [&] {
        if (!frameCount || !timeStamp || !cameraControl) return -1;
        uint8_t d[8] = {};
        if (XuTransfer(cameraControl, kSelectorTimeStamp, CamCtrl::kGetFlags, d, sizeof(d)) != 0) {
            SZ_LINE0(Error, kWhere, "Get Time Stamp Fail!");
            return -1;
        }
        *frameCount = uint32_t{d[0]} << 24 | uint32_t{d[1]} << 16 | uint32_t{d[2]} << 8 | d[3];
        *timeStamp = uint32_t{d[4]} << 24 | uint32_t{d[5]} << 16 | uint32_t{d[6]} << 8 | d[7];
        SZ_LINE(Trace, kWhere, "Get Time Stamp SUCCESS! frame count=%d, time stamp=%d", static_cast<int>(*frameCount),
                static_cast<int>(*timeStamp));
        return 0;
    });
}

int SorvanCam::RecoverDefaultSetting() {
    return Guarded("SorvanCam::RecoverDefaultSetting", -1, [&] {
        CamCtrl* c = cameraControl;
        if (!c) return -1;
        const bool ok = c->SetExposureTime(33333) == 0 && c->SetExposureGain(1) == 0 &&
                        c->SetAutoExposureMode(0xC) == 0 && c->SetAutoWhiteBalanceMode(0xF) == 0 &&
                        c->SetTemperature(5000) == 0 && c->SetBrightness(0.0) == 0 &&
                        c->SetBacklightCompensation(1.0) == 0 && c->SetGamma(2.2) == 0 &&
                        c->SetSaturation(1.0) == 0 && c->SetContrast(0.0) == 0 && c->SetDenoise(0.0) == 0 &&
                        c->SetSharpening(0.0) == 0 && c->SetFlipMode(cachedFlip) == 0 && c->SetEffectMode(0) == 0 &&
                        c->SetDigitalZoomType(0x8000) == 0 && c->SetDigitalZoomTarget(1.0) == 0 &&
                        c->SetDigitalZoom_CT_X(0.5) == 0 && c->SetDigitalZoom_CT_Y(0.5) == 0 &&
                        c->SetFlickMode(0) == 0 && c->SetJpegQual(usbSpeed == ::UsbSuperSpeed ? 233 : 100) == 0;
        return ok ? 0 : -1;
    });
}

// ---- Identity ---------------------------------------------------------------

int SorvanCam::GetDeviceHardwareID(wchar_t* text) {
    return Guarded("SorvanCam::GetDeviceHardwareID", -1, [&] {
        // Before the first Open no device has been chosen: the default
        // index names none.
        if (!text || !cameraControl) return -1;
        const auto it = hardwareIds.find(deviceIndex);
        WriteWide(text, it == hardwareIds.end() ? std::wstring() : it->second);
        return 0;
    });
}

int SorvanCam::GetSorvanCamDeviceName(wchar_t* text) {
    return Guarded("SorvanCam::GetSorvanCamDeviceName", -1, [&] {
        if (!text || deviceName.empty()) return -1;
        WriteWide(text, deviceName);
        return 0;
    });
}

int SorvanCam::GetDeviceSpeed(USB_DEVICE_SPEED* speed) {
    if (speed) *speed = static_cast<USB_DEVICE_SPEED>(usbSpeed);
    return usbSpeed;
}
