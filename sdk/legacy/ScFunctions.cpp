// The C functions of the earlier interface that work on a camera: each checks
// its camera pointer, runs the class operation or the camera control's
// operation, and keeps every exception inside.

#include <sorvansdk/SorvanCam.h>

#include <new>

#include "legacy/SorvanCamInternal.h"

using sv::legacy::Guarded;

namespace {

// A null camera is -1.
template <typename R, typename Work>
R OnCamera(const char* where, SorvanCam* cam, R failure, Work&& work) {
    if (!cam) return failure;
    return Guarded(where, failure, [&]() -> R { return work(*cam); });
}

// The camera control's operation, whole under the device's transaction lock
// (no other thread's or interface's transfers in between); -1 without a
// camera or before Open.
template <typename Work>
int OnControl(const char* where, SorvanCam* cam, Work&& work) {
    CamCtrl* control = SzCamAccess::Control(cam);
    if (!control) return -1;
    return Guarded(where, -1, [&]() -> int {
        auto hold = control->HoldDevice();
        return work(*control);
    });
}

constexpr uint16_t kSensorTestPatternRegister = 0x3070;

}  // namespace

extern "C" {

SorvanCam* ScCreateSorvanCamDevice(void) {
    try {
        return new (std::nothrow) SorvanCam();
    } catch (...) {
        return nullptr;
    }
}

int ScReleaseSorvanCamDevice(SorvanCam* cam) {
    delete cam;  // the destructor keeps its exceptions
    return 0;
}

int ScOpen(SorvanCam* cam, int index) {
    return OnCamera("ScOpen", cam, -1, [&](SorvanCam& c) { return c.Open(index); });
}

int ScClose(SorvanCam* cam) {
    return OnCamera("ScClose", cam, -1, [&](SorvanCam& c) { return c.Close(); });
}

int ScGetVideoDeviceList(SorvanCam* cam, std::vector<std::wstring>& names) {
    return OnCamera("ScGetVideoDeviceList", cam, -1, [&](SorvanCam& c) { return c.GetVideoDeviceList(names); });
}

int ScGetVideoDeviceListWithLocation(SorvanCam* cam, std::vector<DeviceListData>& list) {
    return OnCamera("ScGetVideoDeviceListWithLocation", cam, -1,
                    [&](SorvanCam& c) { return c.GetVideoDeviceListWithLocation(list); });
}

int ScGetCaptureFormatList(SorvanCam* cam, std::vector<SzFormat>& formats) {
    return OnCamera("ScGetCaptureFormatList", cam, -1, [&](SorvanCam& c) { return c.GetCaptureFormatList(formats); });
}

int ScSetCaptureFormat(SorvanCam* cam, SzFormat format) {
    return OnCamera("ScSetCaptureFormat", cam, -1, [&](SorvanCam& c) { return c.SetCaptureFormat(format); });
}

int ScGetRawImageCapture(SorvanCam* cam, uint8_t* buffer, int* size, uint16_t timeoutMs) {
    return OnCamera("ScGetRawImageCapture", cam, -1,
                    [&](SorvanCam& c) { return c.GetRawImageCapture(buffer, size, timeoutMs); });
}

long ScGetPropertyRange(SorvanCam* cam, int property, long* minimum, long* maximum, long* step, long* defaultValue,
                        long* capability) {
    return OnCamera("ScGetPropertyRange", cam, -1L, [&](SorvanCam& c) {
        return c.GetPropertyRange(static_cast<CAPTURE_PROPETIES>(property), minimum, maximum, step, defaultValue,
                                  capability);
    });
}

long ScGetPropertyValue(SorvanCam* cam, int property, long* value, int* flag) {
    return OnCamera("ScGetPropertyValue", cam, -1L, [&](SorvanCam& c) {
        return c.GetPropertyValue(static_cast<CAPTURE_PROPETIES>(property), value, flag);
    });
}

long ScSetPropertyValue(SorvanCam* cam, int property, long value, int flag) {
    return OnCamera("ScSetPropertyValue", cam, -1L, [&](SorvanCam& c) {
        return c.SetPropertyValue(static_cast<CAPTURE_PROPETIES>(property), value, flag);
    });
}

int ScGetUSBFirmwareVersion(SorvanCam* cam, char* text) {
    return OnCamera("ScGetUSBFirmwareVersion", cam, -1, [&](SorvanCam& c) { return c.GetUSBFirmwareVersion(text); });
}

int ScGetSensorUID(SorvanCam* cam, uint8_t* uid) {
    return OnCamera("ScGetSensorUID", cam, -1, [&](SorvanCam& c) { return c.GetSensorUID(uid); });
}

int ScReadTimeStamp(SorvanCam* cam, uint32_t* frameCount, uint32_t* timeStamp) {
    return OnCamera("ScReadTimeStamp", cam, -1, [&](SorvanCam& c) { return c.ReadTimeStamp(frameCount, timeStamp); });
}

int ScGotoProgramMode(SorvanCam* cam) {
    return OnCamera("ScGotoProgramMode", cam, -1, [&](SorvanCam& c) { return c.GotoProgramMode(); });
}

int ScGotoSaveOSPProfile(SorvanCam* cam, uint8_t flag) {
    return OnCamera("ScGotoSaveOSPProfile", cam, -1, [&](SorvanCam& c) { return c.GotoSaveOSPProfile(flag); });
}

int ScResetUVC(SorvanCam* cam) {
    return OnCamera("ScResetUVC", cam, -1, [&](SorvanCam& c) { return c.ResetUVC(); });
}

int ScRecoverDefaultSetting(SorvanCam* cam) {
    return OnCamera("ScRecoverDefaultSetting", cam, -1, [&](SorvanCam& c) { return c.RecoverDefaultSetting(); });
}

int ScGetDeviceHardwareID(SorvanCam* cam, wchar_t* text) {
    return OnCamera("ScGetDeviceHardwareID", cam, -1, [&](SorvanCam& c) { return c.GetDeviceHardwareID(text); });
}

int ScGetDeviceSpeed(SorvanCam* cam, USB_DEVICE_SPEED* speed) {
    return OnCamera("ScGetDeviceSpeed", cam, -1, [&](SorvanCam& c) { return c.GetDeviceSpeed(speed); });
}

int ScGetSorvanCamDeviceName(SorvanCam* cam, wchar_t* text) {
    return OnCamera("ScGetSorvanCamDeviceName", cam, -1, [&](SorvanCam& c) { return c.GetSorvanCamDeviceName(text); });
}

int ScLoadProfileSetting(SorvanCam* cam, const char* text) {
    return OnCamera("ScLoadProfileSetting", cam, -1, [&](SorvanCam& c) { return c.LoadProfileSetting(text); });
}

int ScLoadProfileSettingFromPath(SorvanCam* cam, const char* path) {
    return OnCamera("ScLoadProfileSettingFromPath", cam, -1,
                    [&](SorvanCam& c) { return c.LoadProfileSettingFromPath(path); });
}

int ScSetProfileControlConfig(SorvanCam* cam) {
    return OnCamera("ScSetProfileControlConfig", cam, -1, [&](SorvanCam& c) { return c.SetProfileControlConfig(); });
}

int ScSetProfileStreamingConfig(SorvanCam* cam) {
    return OnCamera("ScSetProfileStreamingConfig", cam, -1,
                    [&](SorvanCam& c) { return c.SetProfileStreamingConfig(); });
}

int ScGenI2CRead(SorvanCam* cam, uint8_t device, uint8_t addressLength, uint32_t reg, uint16_t length,
                 uint8_t* data) {
    return OnControl("ScGenI2CRead", cam,
                     [&](CamCtrl& c) { return c.GenI2CRead(device, addressLength, reg, length, data); });
}

int ScGenI2CWrite(SorvanCam* cam, uint8_t device, uint8_t addressLength, uint32_t reg, uint16_t length,
                  const uint8_t* data) {
    return OnControl("ScGenI2CWrite", cam,
                     [&](CamCtrl& c) { return c.GenI2CWrite(device, addressLength, reg, length, data); });
}

int ScGetSensorReg(SorvanCam* cam, uint16_t sensorId, uint16_t reg, uint16_t* value) {
    return OnControl("ScGetSensorReg", cam,
                     [&](CamCtrl& c) { return value ? c.AdvReadSensorRegister(sensorId, reg, *value) : -1; });
}

int ScSetSensorReg(SorvanCam* cam, uint16_t sensorId, uint16_t reg, uint16_t value) {
    return OnControl("ScSetSensorReg", cam, [&](CamCtrl& c) { return c.AdvWriteSensorRegister(sensorId, reg, value); });
}

int ScSetSensorTestPattern(SorvanCam* cam, uint16_t sensorId, uint16_t pattern) {
    return OnControl("ScSetSensorTestPattern", cam, [&](CamCtrl& c) {
        return c.AdvWriteSensorRegister(sensorId, kSensorTestPatternRegister, pattern);
    });
}

int ScSetOSPProfile(SorvanCam* cam, SzOSPProfileBlock block) {
    return OnControl("ScSetOSPProfile", cam, [&](CamCtrl& c) { return c.SetOSPProfile(block.bytes); });
}

// ---- Forwarders to the camera control ---------------------------------------

int ScGetLUMOFirmwareVersion(SorvanCam* cam, char* text) {
    return OnControl("ScGetLUMOFirmwareVersion", cam,
                     [&](CamCtrl& c) { return text ? c.GetLUMOFirmwareVersion(text) : -1; });
}

int ScGetBootdataHeader(SorvanCam* cam, struct SvHeaderV2* header) {
    return OnControl("ScGetBootdataHeader", cam, [&](CamCtrl& c) { return header ? c.GetBootdataHeader(header) : -1; });
}

int ScGetBootdataHeaderV3(SorvanCam* cam, struct SvHeaderV3* header) {
    return OnControl("ScGetBootdataHeaderV3", cam,
                     [&](CamCtrl& c) { return header ? c.GetBootdataHeaderV3(header) : -1; });
}

int ScCheckHeaderVer(SorvanCam* cam) {
    return OnControl("ScCheckHeaderVer", cam, [&](CamCtrl& c) { return c.CheckHeaderVer(); });
}

int ScGetUniqueSensorID(SorvanCam* cam, char* text) {
    return OnControl("ScGetUniqueSensorID", cam, [&](CamCtrl& c) { return text ? c.GetUniqueSensorID(text) : -1; });
}

int ScClearISPBootdata(SorvanCam* cam) {
    return OnControl("ScClearISPBootdata", cam, [&](CamCtrl& c) { return c.ClearISPBootdata(); });
}

int ScDownloadBootdata(SorvanCam* cam, const char* path) {
    return OnControl("ScDownloadBootdata", cam, [&](CamCtrl& c) { return path ? c.DownloadBootdata(path) : -1; });
}

int ScDumpBootdata(SorvanCam* cam) {
    return OnControl("ScDumpBootdata", cam, [&](CamCtrl& c) { return c.DumpBootdata(); });
}

int ScGetOSPProfile(SorvanCam* cam, uint8_t* block) {
    return OnControl("ScGetOSPProfile", cam, [&](CamCtrl& c) { return block ? c.GetOSPProfile(block) : -1; });
}

int ScCheckOSPProfile(SorvanCam* cam) {
    return OnControl("ScCheckOSPProfile", cam, [&](CamCtrl& c) { return c.CheckOSPProfile(); });
}

int ScUVC_AP1302_I2C_Read(SorvanCam* cam, uint16_t reg, uint16_t* value) {
    return OnControl("ScUVC_AP1302_I2C_Read", cam,
                     [&](CamCtrl& c) { return value ? c.UVC_AP1302_I2C_Read(reg, *value) : -1; });
}

int ScUVC_AP1302_I2C_Write(SorvanCam* cam, uint16_t reg, uint16_t value) {
    return OnControl("ScUVC_AP1302_I2C_Write", cam, [&](CamCtrl& c) { return c.UVC_AP1302_I2C_Write(reg, value); });
}

int ScGetOSPProfileConfig(SorvanCam* cam, std::string& text) {
    return OnControl("ScGetOSPProfileConfig", cam, [&](CamCtrl& c) { return c.GetOSPProfileConfig(text); });
}

int ScSetOSPProfileConfig(SorvanCam* cam, int flag, const char* text) {
    return OnControl("ScSetOSPProfileConfig", cam,
                     [&](CamCtrl& c) { return text ? c.SetOSPProfileConfig(flag, text) : -1; });
}

#define SC_FORWARD_PAIR(Name, Type)                                                                    \
    int ScGet##Name(SorvanCam* cam, Type* value) {                                                     \
        return OnControl("ScGet" #Name, cam, [&](CamCtrl& c) { return value ? c.Get##Name(*value) : -1; }); \
    }                                                                                                  \
    int ScSet##Name(SorvanCam* cam, Type value) {                                                      \
        return OnControl("ScSet" #Name, cam, [&](CamCtrl& c) { return c.Set##Name(value); });          \
    }
SZ_CAMCTRL_PAIRS_A(SC_FORWARD_PAIR)
SZ_CAMCTRL_PAIRS_B(SC_FORWARD_PAIR)
SZ_CAMCTRL_PAIRS_C(SC_FORWARD_PAIR)
#undef SC_FORWARD_PAIR

int ScGetCurrentExposureTime(SorvanCam* cam, int32_t* value) {
    return OnControl("ScGetCurrentExposureTime", cam,
                     [&](CamCtrl& c) { return value ? c.GetCurrentExposureTime(*value) : -1; });
}

int ScGetCurrentExposureGain(SorvanCam* cam, uint8_t* value) {
    return OnControl("ScGetCurrentExposureGain", cam,
                     [&](CamCtrl& c) { return value ? c.GetCurrentExposureGain(*value) : -1; });
}

}  // extern "C"
