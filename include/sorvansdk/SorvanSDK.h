#pragma once

// SorvanSDK: the current programming interface.
//
// A host discovers cameras, creates a camera object by index, and passes that
// object (a shared pointer) to every further call. Results are 0 (or a count or
// value) on success and negative on failure; the frame functions return
// SV_CAPTURE_RESULT. Failures are logged on the library logger.
//
// Threads. Every function may be called from any thread.
// - Different cameras are independent: calls on one never wait for another.
// - Discovery (SvDiscoverCameraDevices) and camera creation
//   (SvInitialCameraDevice) may run on several threads at once, also while
//   other cameras stream.
// - On one camera, SvOpen, SvClose, SvGetFormatList, SvSetFormat,
//   SvStartStreaming and SvStopStreaming run one at a time: a second caller
//   waits for the first.
// - SvGetImage runs beside all of them and beside the control functions (UVC,
//   ISP and the maker's extension-unit calls), which the library serialises per
//   transfer. When SvStopStreaming or SvClose runs while SvGetImage waits for a
//   frame, the wait ends at once with SV_CAPTURE_FAILED. One SvGetImage waits
//   at a time per camera; a second one waits for its turn.
// - A camera object lives as long as any shared pointer to it: releasing the
//   last pointer of the application while a call on another thread still uses
//   the camera is safe, that call holds its own.
// - Each maker function (extension-unit, I2C, ISP, sensor, eHDR, profile and
//   upgrade calls) runs whole against every other one on the same device,
//   also when it comes through another camera object of that device or
//   through the earlier interface (SorvanCam.h): a read's request and answer,
//   a read-modify-write or a value spread over two registers never interleave
//   with another thread's transfers. Two threads setting the same control
//   leave the value of the call that ran last.
// - SvSetLogFile and SvSetLogLevel may be called at any time.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "SvTypes.h"

using SvCameraPtr = std::shared_ptr<SvCamera>;

// ---- Library, discovery and routes --------------------------------------
SORVANSDK_API void HelloSorvanSDK();
SORVANSDK_API void SvSetLogLevel(SV_LOG_LEVEL level);
SORVANSDK_API int SvSetLogFile(const std::string& folder);
SORVANSDK_API int SvDiscoverCameraDevices(std::vector<std::string>& names);
// The devices the last discovery saw but left out, and why (on Linux a video
// node this process may not open); their number.
SORVANSDK_API int SvGetUnlistedCameraDevices(std::vector<SvUnlistedDevice>& devices);
SORVANSDK_API std::shared_ptr<SvCamera> SvInitialCameraDevice(int index);
SORVANSDK_API int SvIsSorvanCamera(std::shared_ptr<SvCamera> camera);
SORVANSDK_API std::shared_ptr<SvRoute> SvLoadRouteYaml(const std::string& path);
SORVANSDK_API int SvActivateYamlRoutes(std::shared_ptr<SvRoute> route);
SORVANSDK_API int SvResetActiveRoutes();
SORVANSDK_API int SvUpgradeFX3FW(SV_FX3_FW_TARGET target, std::string imagePath,
                                 std::function<void(int)> progress);
SORVANSDK_API int SvDecodeSensorConfig(std::string configPath, std::string jsonPath);
SORVANSDK_API int SvGetBootdataHeaderV2FromFile(const std::string& path,
                                                std::unique_ptr<SvHeaderV2>& header);
SORVANSDK_API int SvGetBootdataHeaderV3FromFile(const std::string& path,
                                                std::unique_ptr<SvHeaderV3>& header);

// ---- Device record getters ----------------------------------------------
SORVANSDK_API int SvGetDeviceName(std::shared_ptr<SvCamera> camera, std::string& name);
SORVANSDK_API int SvGetDevicePath(std::shared_ptr<SvCamera> camera, std::string& path);
SORVANSDK_API int SvGetDeviceInterfaceType(std::shared_ptr<SvCamera> camera,
                                           SV_CAMERA_INTERFACE_TYPE& type);
SORVANSDK_API int SvGetDeviceProductType(std::shared_ptr<SvCamera> camera,
                                         SV_CAMERA_PRODUCT_TYPE& type);
SORVANSDK_API int SvGetHardwareID(std::shared_ptr<SvCamera> camera, std::string& id);

// ---- Life cycle, formats and frames -------------------------------------
SORVANSDK_API int SvOpen(std::shared_ptr<SvCamera> camera);
SORVANSDK_API int SvClose(std::shared_ptr<SvCamera> camera);
SORVANSDK_API int SvGetFormatList(std::shared_ptr<SvCamera> camera, std::vector<SvFormat>& formats);
SORVANSDK_API int SvSetFormat(std::shared_ptr<SvCamera> camera, SvFormat format);
SORVANSDK_API int SvStartStreaming(std::shared_ptr<SvCamera> camera);
SORVANSDK_API int SvStopStreaming(std::shared_ptr<SvCamera> camera);
// `size` may be null. When it is not null and holds a positive value on entry,
// that value is taken as the capacity of `buffer`: a larger frame is refused
// with SV_CAPTURE_FAILED, `*size` receives the capacity the frame needs, and
// the frame is kept: the next call with a buffer at least that large gets it.
// On success `*size` receives the frame size (so a caller that reuses one
// variable passes the last frame's size as the next capacity, and learns the
// larger size when a frame outgrows it).
SORVANSDK_API SV_CAPTURE_RESULT SvGetImage(std::shared_ptr<SvCamera> camera, uint8_t* buffer,
                                           int* size, uint16_t timeoutMs);
SORVANSDK_API SV_CAPTURE_RESULT SvGetImageFd(std::shared_ptr<SvCamera> camera, int* fd,
                                             uint16_t timeoutMs);
SORVANSDK_API int SvReleaseImageFd(std::shared_ptr<SvCamera> camera, int fd);

// ---- UVC standard controls and USB facts --------------------------------
SORVANSDK_API int SvGetUVCImageProcessing(std::shared_ptr<SvCamera> camera,
                                          SV_UVC_IMAGE_PROPERTIES property, long& value, int& flag);
SORVANSDK_API int SvGetUVCImageProcessingRange(std::shared_ptr<SvCamera> camera,
                                               SV_UVC_IMAGE_PROPERTIES property, long& minimum,
                                               long& maximum, long& step, long& defaultValue);
SORVANSDK_API int SvSetUVCImageProcessing(std::shared_ptr<SvCamera> camera,
                                          SV_UVC_IMAGE_PROPERTIES property, long value, int flag);
SORVANSDK_API int SvGetUSBDeviceSpeed(std::shared_ptr<SvCamera> camera, SV_USB_DEVICE_SPEED& speed);

// ---- Maker cameras (KIVO, LIRA) -----------------------------------------
SORVANSDK_API int SvGetUSBFirmwareVersion(std::shared_ptr<SvCamera> camera, std::string& version);
SORVANSDK_API int SvGotoFX3ProgramMode(std::shared_ptr<SvCamera> camera);
SORVANSDK_API int SvResetUVC(std::shared_ptr<SvCamera> camera);
SORVANSDK_API int SvGenericI2CRead(std::shared_ptr<SvCamera> camera, uint8_t deviceAddress,
                                   uint8_t registerAddressLength, uint16_t registerAddress,
                                   uint16_t dataLength, uint8_t* data);
SORVANSDK_API int SvGenericI2CWrite(std::shared_ptr<SvCamera> camera, uint8_t deviceAddress,
                                    uint8_t registerAddressLength, uint16_t registerAddress,
                                    uint16_t dataLength, uint8_t* data);
SORVANSDK_API int SvAP1302I2CRead(std::shared_ptr<SvCamera> camera, uint16_t reg, uint16_t& value);
SORVANSDK_API int SvAP1302I2CWrite(std::shared_ptr<SvCamera> camera, uint16_t reg, uint16_t value);
SORVANSDK_API int SvAP1302SensorRegisterRead(std::shared_ptr<SvCamera> camera, uint16_t sensorId,
                                             uint16_t reg, uint16_t& value);
SORVANSDK_API int SvAP1302SensorRegisterWrite(std::shared_ptr<SvCamera> camera, uint16_t sensorId,
                                              uint16_t reg, uint16_t value);
SORVANSDK_API int SvGetSensorUniqueID(std::shared_ptr<SvCamera> camera, std::string& uid);
SORVANSDK_API int SvGetISPImageProcessing(std::shared_ptr<SvCamera> camera,
                                          SV_ISP_IMAGE_PROPERTIES property, int& value, int& flag);
SORVANSDK_API int SvGetISPImageProcessingRange(std::shared_ptr<SvCamera> camera,
                                               SV_ISP_IMAGE_PROPERTIES property, int& minimum,
                                               int& maximum, int& step, int& defaultValue);
SORVANSDK_API int SvSetISPImageProcessing(std::shared_ptr<SvCamera> camera,
                                          SV_ISP_IMAGE_PROPERTIES property, int value);
SORVANSDK_API int SvSetISPImageProcessingDefault(std::shared_ptr<SvCamera> camera);
SORVANSDK_API int SvGetSensorFormat(std::shared_ptr<SvCamera> camera, int& width, int& height,
                                    std::string& format);
SORVANSDK_API int SvGetCurrentExposure(std::shared_ptr<SvCamera> camera, uint32_t& value);
SORVANSDK_API int SvGetCurrentGain(std::shared_ptr<SvCamera> camera, uint8_t& value);
SORVANSDK_API int SvGetMaxFPS(std::shared_ptr<SvCamera> camera, uint8_t& fps);
SORVANSDK_API int SvSetMaxFPS(std::shared_ptr<SvCamera> camera, uint8_t fps);
SORVANSDK_API int SvGetThroughPut(std::shared_ptr<SvCamera> camera, uint16_t& value);
SORVANSDK_API int SvSetThroughPut(std::shared_ptr<SvCamera> camera, uint16_t value);
SORVANSDK_API int SvGetTimestamp(std::shared_ptr<SvCamera> camera, float& seconds);
SORVANSDK_API int SvResetTimestamp(std::shared_ptr<SvCamera> camera);
SORVANSDK_API int SvGetFrameCount(std::shared_ptr<SvCamera> camera, uint8_t& count);
SORVANSDK_API int SvResetFrameCount(std::shared_ptr<SvCamera> camera);
SORVANSDK_API int SvGetSensorWorkMode(std::shared_ptr<SvCamera> camera, SV_SENSOR_MODE& mode);
SORVANSDK_API int SvGetMCUType(std::shared_ptr<SvCamera> camera, SV_MCU_TYPE& type);
SORVANSDK_API int SvGetLUMOFirmwareVersion(std::shared_ptr<SvCamera> camera, std::string& version);
SORVANSDK_API int SvGetHeaderVersion(std::shared_ptr<SvCamera> camera);
SORVANSDK_API int SvGetBootdataHeaderV2(std::shared_ptr<SvCamera> camera,
                                        std::unique_ptr<SvHeaderV2>& header);
SORVANSDK_API int SvGetBootdataHeaderV3(std::shared_ptr<SvCamera> camera,
                                        std::unique_ptr<SvHeaderV3>& header);
SORVANSDK_API int SvGetSensorFirmwareVersion(std::shared_ptr<SvCamera> camera, std::string& version);
SORVANSDK_API int SvGetOSPProfileConfig(std::shared_ptr<SvCamera> camera, std::string& profile);
SORVANSDK_API int SvGetOSPProfileFlag(std::shared_ptr<SvCamera> camera, SV_OSP_PROFILE_FLAG& flag);
SORVANSDK_API int SvSetOSPProfileFlag(std::shared_ptr<SvCamera> camera, SV_OSP_PROFILE_FLAG flag);
SORVANSDK_API int SvResetOSPProfileConfig(std::shared_ptr<SvCamera> camera);
SORVANSDK_API int SvLoadProfileConfig(std::shared_ptr<SvCamera> camera, std::string profile);
SORVANSDK_API int SvActivateProfileImageProcessing(std::shared_ptr<SvCamera> camera);
SORVANSDK_API int SvActivateProfileStreaming(std::shared_ptr<SvCamera> camera);
SORVANSDK_API int SvExportSensorConfig(std::shared_ptr<SvCamera> camera, std::string path);
SORVANSDK_API int SvCheckProduct(std::shared_ptr<SvCamera> camera, std::string& productName,
                                 std::string& colorType);
SORVANSDK_API int SvCleanSensorFW(std::shared_ptr<SvCamera> camera);
SORVANSDK_API int SvUpgradeSensorFW(std::shared_ptr<SvCamera> camera, std::string imagePath,
                                    std::function<void(int)> progress);
// 0 when SvUpgradeSensorFW on this camera would take the image file, -1 when
// it would refuse it (missing, empty, truncated, another family's). Touches
// no device: ask it before SvCleanSensorFW, so a refused image erases nothing.
SORVANSDK_API int SvCheckSensorFWImage(std::shared_ptr<SvCamera> camera, std::string imagePath);
