#ifndef SORVANSDK_SORVANCAM_H
#define SORVANSDK_SORVANCAM_H

/* SorvanSDK: the earlier programming interface.
 *
 * Kept for applications written against it. A SorvanCam stands for one camera
 * at a time: it enumerates the video devices itself, is opened by device index
 * and carries the maker's device controls. The Sc functions give C callers the
 * same operations; they take the SorvanCam pointer first. This interface does
 * not use the camera manager of SorvanSDK.h; both may be used in one process,
 * on different cameras.
 *
 * Results: 0 success, negative (mostly -1) failure, or the platform's own
 * result where stated. A null SorvanCam pointer, and any camera operation
 * before a successful Open, answers -1 (null where a pointer is returned).
 *
 * Wide text: Windows builds use the platform's UTF-16 wchar_t. POSIX builds
 * use the native wchar_t (UTF-32 on Linux): every wide text of this interface
 * holds one character per wchar_t there. A wide output buffer must hold the
 * text, its terminator and one spare character.
 *
 * Threads: one SorvanCam is used from one thread at a time. Different
 * SorvanCam objects, and cameras of the current interface, may be used on
 * different threads at the same time; on one device the camera-control
 * functions (Sc...I2C..., sensor, ISP and profile calls) and the current
 * interface's maker functions each run whole, never interleaved with another
 * thread's transfers. ScSetLogLevel, ScGetSorvanSDKVersion and
 * the three header-from-file functions may be called from any thread.
 *
 * C callers: the functions whose arguments are C++ containers (the two device
 * lists, the format list, the profile document text) are declared for C++ only.
 */

#include "SvExport.h"

#ifdef __cplusplus
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "SvTypes.h"
#else
#include <stddef.h>
#include <stdint.h>
#include <wchar.h>
#endif

/* One capture format, 12 bytes, passed by value (the layout of SvFormat).
 * format: 0 none, 1 YUY2, 2 UYVY, 3 NV12, 4 MJPG. */
typedef struct SzFormat {
    uint8_t mediatypeIdx;
    uint16_t width;
    uint16_t height;
    uint16_t framerate;
    int32_t format;
} SzFormat;

/* UVC standard controls: 0-9 processing unit, 10-16 camera terminal (the
 * values of SV_UVC_IMAGE_PROPERTIES). Above 16 selects pan, below 0 brightness. */
typedef enum CAPTURE_PROPETIES {
    SZ_CAPTURE_BRIGHTNESS = 0,
    SZ_CAPTURE_CONTRAST = 1,
    SZ_CAPTURE_HUE = 2,
    SZ_CAPTURE_SATURATION = 3,
    SZ_CAPTURE_SHARPNESS = 4,
    SZ_CAPTURE_GAMMA = 5,
    SZ_CAPTURE_COLOR_ENABLE = 6,
    SZ_CAPTURE_WHITE_BALANCE = 7,
    SZ_CAPTURE_BACKLIGHT_COMPENSATION = 8,
    SZ_CAPTURE_GAIN = 9,
    SZ_CAPTURE_PAN = 10,
    SZ_CAPTURE_TILT = 11,
    SZ_CAPTURE_ROLL = 12,
    SZ_CAPTURE_ZOOM = 13,
    SZ_CAPTURE_EXPOSURE = 14,
    SZ_CAPTURE_IRIS = 15,
    SZ_CAPTURE_FOCUS = 16
} CAPTURE_PROPETIES;

/* USB speed as the USB topology walk reports it. UsbSpeedUnknown until an Open
 * has found the device on the bus. */
typedef enum USB_DEVICE_SPEED {
    UsbSpeedUnknown = -1,
    UsbLowSpeed = 0,
    UsbFullSpeed = 1,
    UsbHighSpeed = 2,
    UsbSuperSpeed = 3
} USB_DEVICE_SPEED;

/* The 80-byte on-camera profile block, passed by value. */
typedef struct SzOSPProfileBlock {
    uint8_t bytes[80];
} SzOSPProfileBlock;

#ifdef __cplusplus

class CamCtrl;
class SourceReaderCB;
namespace sv::platform {
class DeviceActivation;
class MediaType;
class SourceReader;
}  // namespace sv::platform
struct SzAttributeStore;
struct SzCamAccess;

// One entry of the device list with location.
struct DeviceListData {
    std::wstring deviceName;
    std::wstring devicePath;    // empty for a device that is not on USB
    std::string serialNumber;   // UTF-8, at most 32 characters; empty when unknown
};

// The values read from a legacy profile document, under its key names.
struct SzLoadedProfile {
    std::string ProfileName, GenerateDate, ProductName, SerialNumber, UID, ControlMode;
    struct {
        int Width = 0, Height = 0, Framerate = 0;
        std::string PixelFormat;
        int formatCode = 0;  // 1 YUY2, 2 UYVY, 3 NV12, 4 MJPG, else 0
    } CameraProfile;
    struct {
        int Exposure = 0, Gain = 0;
        bool Exp_Auto = false, WB_Auto = false;
        int Temperature = 0, Brightness = 0, Backlight_Compensation = 0, Contrast = 0, Saturation = 0, Gamma = 0,
            Sharpness = 0, Zoom = 0, Pan = 0, Tilt = 0;
    } UVCProfiles;
    struct {
        int AE_EXP_TIME = 0, AE_EXP_GAIN = 0, AE_EXP_MODE = 0;
        bool AWB_MODE = false;
        int AWB_TEMP = 0;
        double Brightness = 0, Backlight_Compensation = 0, Contrast = 0, Saturation = 0, Gamma = 0, Denoise = 0,
               Sharpness = 0;
        int Flip_Mode = 0, Effect_Mode = 0;
        double ZoomTarget = 0, Zoom_CTX = 0, Zoom_CTY = 0;
        int Flick_Mode = 0, Jpeg_Qual = 0;
        bool Fixed_FPS = false;
    } ISPProfiles;
};

class SORVANSDK_API SorvanCam {
public:
    SorvanCam();
    explicit SorvanCam(uint8_t deviceIndex);
    ~SorvanCam();
    SorvanCam(const SorvanCam&) = delete;
    SorvanCam& operator=(const SorvanCam&) = delete;

    int Open(int index);
    int Close();

    int GetVideoDeviceList(std::vector<std::wstring>& names);
    int GetVideoDeviceListWithLocation(std::vector<DeviceListData>& list);
    int GetCaptureFormatList(std::vector<SzFormat>& formats);
    int SetCaptureFormat(SzFormat format);
    // `size` (may be null): in, the buffer's capacity when positive (a larger
    // frame is refused with -1 and kept for a retry, its size put in `size`);
    // out, the frame's size.
    int GetRawImageCapture(uint8_t* buffer, int* size, uint16_t timeoutMs);

    long GetPropertyRange(CAPTURE_PROPETIES property, long* minimum, long* maximum, long* step, long* defaultValue,
                          long* capability);
    long GetPropertyValue(CAPTURE_PROPETIES property, long* value, int* flag);
    long SetPropertyValue(CAPTURE_PROPETIES property, long value, int flag);

    int GetUSBFirmwareVersion(char* text);  // at least 16 bytes
    int GetUSBFirmwareVersion(uint8_t* version);  // 4 bytes
    int GetSensorUID(uint8_t* uid);  // 16 bytes
    int ReadTimeStamp(uint32_t* frameCount, uint32_t* timeStamp);
    int GotoProgramMode();
    int GotoSaveOSPProfile(uint8_t flag);
    int ResetUVC();
    int RecoverDefaultSetting();
    int GetDeviceHardwareID(wchar_t* text);
    int GetDeviceSpeed(USB_DEVICE_SPEED* speed);
    int GetSorvanCamDeviceName(wchar_t* text);

    int LoadProfileSetting(const char* text);
    int LoadProfileSettingFromPath(const char* path);
    int SetProfileControlConfig();
    int SetProfileStreamingConfig();

private:
    friend struct SzCamAccess;  // the Sc functions reach the camera control through it

    long GetVideoDevices();
    long InitVideoDevice();
    long EnumerateTypesForStream(uint32_t stream, std::vector<SzFormat>& formats);
    std::wstring GetMediaTypeDescriptions(const sv::platform::MediaType* type);
    long ConfigureDecoder(sv::platform::SourceReader* reader, uint32_t stream);
    int ProcessSamples(sv::platform::SourceReader* reader, uint8_t* buffer, int* size, uint16_t timeoutMs);

    CamCtrl* cameraControl;
    std::wstring deviceName;
    std::wstring hardwareId;
    uint8_t deviceIndex;
    SzFormat currentFormat;
    SzLoadedProfile loadedProfile;
    bool pending;
    int frameSize;
    int cachedFlip;
    uint16_t vendorId;
    uint16_t productId;
    int usbSpeed;
    std::map<int, std::wstring> deviceNames;
    std::map<int, std::wstring> hardwareIds;
    std::map<int, std::wstring> devicePaths;
    SzAttributeStore* attributes;
    std::shared_ptr<sv::platform::DeviceActivation>* activations;
    uint32_t activationCount;
    std::shared_ptr<sv::platform::SourceReader> sourceReader;
    std::shared_ptr<SourceReaderCB> readerCallback;
};

#else
typedef struct SorvanCam SorvanCam;
struct SvHeaderV2; /* 144 bytes, packed */
struct SvHeaderV3; /* 125 bytes, packed */
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Objects and opening ------------------------------------------------ */
SORVANSDK_API SorvanCam* ScCreateSorvanCamDevice(void);
SORVANSDK_API int ScReleaseSorvanCamDevice(SorvanCam* cam);
SORVANSDK_API int ScOpen(SorvanCam* cam, int index);
SORVANSDK_API int ScClose(SorvanCam* cam);

/* ---- Formats and frames ------------------------------------------------- */
SORVANSDK_API int ScSetCaptureFormat(SorvanCam* cam, SzFormat format);
SORVANSDK_API int ScGetRawImageCapture(SorvanCam* cam, uint8_t* buffer, int* size, uint16_t timeoutMs);

/* ---- UVC controls and the camera's own requests ------------------------- */
SORVANSDK_API long ScGetPropertyRange(SorvanCam* cam, int property, long* minimum, long* maximum, long* step,
                                      long* defaultValue, long* capability);
SORVANSDK_API long ScGetPropertyValue(SorvanCam* cam, int property, long* value, int* flag);
SORVANSDK_API long ScSetPropertyValue(SorvanCam* cam, int property, long value, int flag);
SORVANSDK_API int ScGetUSBFirmwareVersion(SorvanCam* cam, char* text);
SORVANSDK_API int ScGetSensorUID(SorvanCam* cam, uint8_t* uid);
SORVANSDK_API int ScReadTimeStamp(SorvanCam* cam, uint32_t* frameCount, uint32_t* timeStamp);
SORVANSDK_API int ScGotoProgramMode(SorvanCam* cam);
SORVANSDK_API int ScGotoSaveOSPProfile(SorvanCam* cam, uint8_t flag);
SORVANSDK_API int ScResetUVC(SorvanCam* cam);
SORVANSDK_API int ScRecoverDefaultSetting(SorvanCam* cam);
SORVANSDK_API int ScGetDeviceHardwareID(SorvanCam* cam, wchar_t* text);
SORVANSDK_API int ScGetDeviceSpeed(SorvanCam* cam, USB_DEVICE_SPEED* speed);
SORVANSDK_API int ScGetSorvanCamDeviceName(SorvanCam* cam, wchar_t* text);

/* ---- Legacy profile documents ------------------------------------------- */
SORVANSDK_API int ScLoadProfileSetting(SorvanCam* cam, const char* text);
SORVANSDK_API int ScLoadProfileSettingFromPath(SorvanCam* cam, const char* path);
SORVANSDK_API int ScSetProfileControlConfig(SorvanCam* cam);
SORVANSDK_API int ScSetProfileStreamingConfig(SorvanCam* cam);

/* ---- Sensor access ------------------------------------------------------ */
SORVANSDK_API int ScGenI2CRead(SorvanCam* cam, uint8_t device, uint8_t addressLength, uint32_t reg, uint16_t length,
                               uint8_t* data);
SORVANSDK_API int ScGenI2CWrite(SorvanCam* cam, uint8_t device, uint8_t addressLength, uint32_t reg,
                                uint16_t length, const uint8_t* data);
SORVANSDK_API int ScGetSensorReg(SorvanCam* cam, uint16_t sensorId, uint16_t reg, uint16_t* value);
SORVANSDK_API int ScSetSensorReg(SorvanCam* cam, uint16_t sensorId, uint16_t reg, uint16_t value);
SORVANSDK_API int ScSetSensorTestPattern(SorvanCam* cam, uint16_t sensorId, uint16_t pattern);
SORVANSDK_API int ScSetOSPProfile(SorvanCam* cam, SzOSPProfileBlock block);

/* ---- Library, files and the USB bridge (no camera) ---------------------- */
SORVANSDK_API int ScGetSorvanSDKVersion(char* text); /* at least 9 bytes */
SORVANSDK_API void ScSetLogLevel(int level);          /* 0-5 trace..critical, else off */
SORVANSDK_API int ScGetBootdataHeaderFromFile(uint8_t* buffer, const char* path);   /* 144 bytes */
SORVANSDK_API int ScGetBootdataHeaderV3FromFile(uint8_t* buffer, const char* path); /* 125 bytes */
SORVANSDK_API int ScGetLUMOBootdataHeaderV3FromFile(uint8_t* buffer, const char* path);
/* target 1 RAM, 2 I2C EEPROM, 3 SPI flash; 0 success. */
SORVANSDK_API int ScStartFWDownload(uint32_t target, const char* path);

/* ---- Camera-control operations (negative on failure) -------------------- */
SORVANSDK_API int ScGetLUMOFirmwareVersion(SorvanCam* cam, char* text);
SORVANSDK_API int ScGetBootdataHeader(SorvanCam* cam, struct SvHeaderV2* header);
SORVANSDK_API int ScGetBootdataHeaderV3(SorvanCam* cam, struct SvHeaderV3* header);
SORVANSDK_API int ScCheckHeaderVer(SorvanCam* cam);
SORVANSDK_API int ScGetUniqueSensorID(SorvanCam* cam, char* text);
SORVANSDK_API int ScClearISPBootdata(SorvanCam* cam);
SORVANSDK_API int ScDownloadBootdata(SorvanCam* cam, const char* path);
SORVANSDK_API int ScDumpBootdata(SorvanCam* cam);
SORVANSDK_API int ScGetOSPProfile(SorvanCam* cam, uint8_t* block);
SORVANSDK_API int ScCheckOSPProfile(SorvanCam* cam);
SORVANSDK_API int ScUVC_AP1302_I2C_Read(SorvanCam* cam, uint16_t reg, uint16_t* value);
SORVANSDK_API int ScUVC_AP1302_I2C_Write(SorvanCam* cam, uint16_t reg, uint16_t value);
SORVANSDK_API int ScSetOSPProfileConfig(SorvanCam* cam, int flag, const char* text);
SORVANSDK_API int ScGetThroughPut(SorvanCam* cam, uint16_t* value);
SORVANSDK_API int ScSetThroughPut(SorvanCam* cam, uint16_t value);
SORVANSDK_API int ScGetMaxFPS(SorvanCam* cam, uint8_t* value);
SORVANSDK_API int ScSetMaxFPS(SorvanCam* cam, uint8_t value);
SORVANSDK_API int ScGetAutoExposureMode(SorvanCam* cam, int* value);
SORVANSDK_API int ScSetAutoExposureMode(SorvanCam* cam, int value);
SORVANSDK_API int ScGetExposureTime(SorvanCam* cam, uint32_t* value);
SORVANSDK_API int ScSetExposureTime(SorvanCam* cam, uint32_t value);
SORVANSDK_API int ScGetExposureGain(SorvanCam* cam, uint8_t* value);
SORVANSDK_API int ScSetExposureGain(SorvanCam* cam, uint8_t value);
SORVANSDK_API int ScGetExposureMinimum(SorvanCam* cam, int32_t* value);
SORVANSDK_API int ScSetExposureMinimum(SorvanCam* cam, int32_t value);
SORVANSDK_API int ScGetExposureMaximum(SorvanCam* cam, int32_t* value);
SORVANSDK_API int ScSetExposureMaximum(SorvanCam* cam, int32_t value);
SORVANSDK_API int ScGetCurrentExposureTime(SorvanCam* cam, int32_t* value);
SORVANSDK_API int ScGetCurrentExposureGain(SorvanCam* cam, uint8_t* value);
SORVANSDK_API int ScGetBacklightCompensation(SorvanCam* cam, double* value);
SORVANSDK_API int ScSetBacklightCompensation(SorvanCam* cam, double value);
SORVANSDK_API int ScGetAutoWhiteBalanceMode(SorvanCam* cam, int* value);
SORVANSDK_API int ScSetAutoWhiteBalanceMode(SorvanCam* cam, int value);
SORVANSDK_API int ScGetTemperature(SorvanCam* cam, uint16_t* value);
SORVANSDK_API int ScSetTemperature(SorvanCam* cam, uint16_t value);
SORVANSDK_API int ScGetBrightness(SorvanCam* cam, double* value);
SORVANSDK_API int ScSetBrightness(SorvanCam* cam, double value);
SORVANSDK_API int ScGetGamma(SorvanCam* cam, double* value);
SORVANSDK_API int ScSetGamma(SorvanCam* cam, double value);
SORVANSDK_API int ScGetSaturation(SorvanCam* cam, double* value);
SORVANSDK_API int ScSetSaturation(SorvanCam* cam, double value);
SORVANSDK_API int ScGetContrast(SorvanCam* cam, double* value);
SORVANSDK_API int ScSetContrast(SorvanCam* cam, double value);
SORVANSDK_API int ScGetSharpening(SorvanCam* cam, double* value);
SORVANSDK_API int ScSetSharpening(SorvanCam* cam, double value);
SORVANSDK_API int ScGetDenoise(SorvanCam* cam, double* value);
SORVANSDK_API int ScSetDenoise(SorvanCam* cam, double value);
SORVANSDK_API int ScGetFlipMode(SorvanCam* cam, int* value);
SORVANSDK_API int ScSetFlipMode(SorvanCam* cam, int value);
SORVANSDK_API int ScGetEffectMode(SorvanCam* cam, int* value);
SORVANSDK_API int ScSetEffectMode(SorvanCam* cam, int value);
SORVANSDK_API int ScGetDigitalZoomType(SorvanCam* cam, int* value);
SORVANSDK_API int ScSetDigitalZoomType(SorvanCam* cam, int value);
SORVANSDK_API int ScGetDigitalZoomTarget(SorvanCam* cam, double* value);
SORVANSDK_API int ScSetDigitalZoomTarget(SorvanCam* cam, double value);
SORVANSDK_API int ScGetDigitalZoom_CT_X(SorvanCam* cam, double* value);
SORVANSDK_API int ScSetDigitalZoom_CT_X(SorvanCam* cam, double value);
SORVANSDK_API int ScGetDigitalZoom_CT_Y(SorvanCam* cam, double* value);
SORVANSDK_API int ScSetDigitalZoom_CT_Y(SorvanCam* cam, double value);
SORVANSDK_API int ScGetFlickMode(SorvanCam* cam, int* value);
SORVANSDK_API int ScSetFlickMode(SorvanCam* cam, int value);
SORVANSDK_API int ScGetJpegQual(SorvanCam* cam, uint8_t* value);
SORVANSDK_API int ScSetJpegQual(SorvanCam* cam, uint8_t value);
SORVANSDK_API int ScGetISPTestPattern(SorvanCam* cam, uint32_t* value);
SORVANSDK_API int ScSetISPTestPattern(SorvanCam* cam, uint32_t value);

#ifdef __cplusplus
}  // extern "C"

// C linkage with C++ arguments: for C++ callers only.
extern "C" {
SORVANSDK_API int ScGetVideoDeviceList(SorvanCam* cam, std::vector<std::wstring>& names);
SORVANSDK_API int ScGetVideoDeviceListWithLocation(SorvanCam* cam, std::vector<DeviceListData>& list);
SORVANSDK_API int ScGetCaptureFormatList(SorvanCam* cam, std::vector<SzFormat>& formats);
SORVANSDK_API int ScGetOSPProfileConfig(SorvanCam* cam, std::string& text);
}
#endif

#endif /* SORVANSDK_SORVANCAM_H */
