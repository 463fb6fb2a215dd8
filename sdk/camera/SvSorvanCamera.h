#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include <sorvansdk/SvTypes.h>

#include "camera/SvAP1302Sensor.h"
#include "camera/SvGenericCamera.h"
#include "platform/DeviceLock.h"

class SvProfileConfig;

// The ISP control pairs of the maker cameras, getter then setter, in slot
// order: X(Name, ValueType). Modes cross as an index, fixed-point controls as
// doubles, everything else as a plain integer.
#define SV_MAKER_CONTROL_PAIRS(X)            \
    X(ExposureMode, uint32_t)                \
    X(Exposure, int32_t)                     \
    X(ExposureMinimum, int32_t)              \
    X(ExposureMaximum, int32_t)              \
    X(Gain, int32_t)                         \
    X(BacklightCompensation, double)         \
    X(WhiteBalanceMode, uint32_t)            \
    X(WhiteBalanceTemperature, int32_t)      \
    X(Brightness, double)                    \
    X(Gamma, double)                         \
    X(Saturation, double)                    \
    X(Contrast, double)                      \
    X(Sharpness, double)                     \
    X(Denoise, double)                       \
    X(DigitalZoom, double)                   \
    X(Pan, double)                           \
    X(Tilt, double)                          \
    X(SpecialEffects, uint32_t)              \
    X(Flip, int32_t)                         \
    X(JPEGQuality, int32_t)                  \
    X(FlickMode, uint32_t)

#define SV_MAKER_EHDR_PAIRS(X)  \
    X(eHDRMode, uint32_t)       \
    X(eHDRMinimum, int32_t)     \
    X(eHDRMaximum, int32_t)     \
    X(eHDRRatioMin, int32_t)    \
    X(eHDRRatioMax, int32_t)    \
    X(eHDRAtmWeight, double)    \
    X(eHDRAtmMax, double)

// The maker's cameras. Declares every maker operation; almost all answer -1
// here and are implemented by the UVC transport class and the two families.
class SvSorvanCamera : public SvGenericCamera {
public:
    SvSorvanCamera(const CameraDeviceInfo& info, uint8_t ispAddress, uint8_t headerDeviceAddress);
    ~SvSorvanCamera() override;

    virtual int GetUSBFirmwareVersion(std::string& version);
    virtual int GetLUMOFirmwareVersion(std::string& version);
    virtual int GenericI2CRead(uint8_t device, uint8_t addressLength, uint16_t reg,
                               uint16_t length, uint8_t* data);
    virtual int GenericI2CWrite(uint8_t device, uint8_t addressLength, uint16_t reg,
                                uint8_t length, const uint8_t* data);
    virtual int GetHeaderVersion(uint8_t& version);
    virtual int GetBootdataHeaderV2(std::unique_ptr<SvHeaderV2>& header);
    virtual int GetBootdataHeaderV3(std::unique_ptr<SvHeaderV3>& header);
    virtual int CleanSensorFW();
    virtual int UpgradeSensorFW(std::string imagePath, std::function<void(int)> progress);
    // 0 when UpgradeSensorFW would take the image file (no device traffic), else -1.
    virtual int CheckSensorFWImage(std::string imagePath);
    virtual int CheckProduct(std::string& productName, std::string& colorType);
    virtual int SetBSLMode(uint8_t mode);
    virtual int AP1302I2CRead(uint16_t reg, uint16_t& value);
    virtual int AP1302I2CWrite(uint16_t reg, uint16_t value);
    virtual int GetSensorUniqueID(std::string& uid);
    // The unique ID from the sensor's fuses only (no header shortcut).
    int GetSensorFuseID(std::string& uid) { return sensor_.GetSensorFuseID(uid); }
    virtual int AP1302SensorRegisterRead(uint16_t sensorId, uint16_t reg, uint16_t& value);
    virtual int AP1302SensorRegisterWrite(uint16_t sensorId, uint16_t reg, uint16_t value);
    virtual int GetOSPProfileConfig(std::string& json);
    virtual int GetOSPProfileFlag(SV_OSP_PROFILE_FLAG& flag);
    virtual int SetOSPProfileFlag(SV_OSP_PROFILE_FLAG flag);
    virtual int GetCurrentGain(uint8_t& gain);
    virtual uint8_t GetISPAddress() = 0;
    virtual uint16_t GetFormatWidthRegister() = 0;
    virtual uint16_t GetFormatHeightRegister() = 0;
    virtual uint16_t GetFormatCodeRegister() = 0;
    virtual int GetCurrentExposure(uint32_t& microseconds);
    virtual int GetMaxFPS(uint8_t& fps);
    virtual int SetMaxFPS(uint8_t fps);
    virtual int GetThroughPut(uint16_t& value);
    virtual int SetThroughPut(uint16_t value);

#define SV_DECLARE_PAIR(Name, Type)                  \
    virtual int Get##Name(Type& value, int& flag);   \
    virtual int Set##Name(Type value);
    SV_MAKER_CONTROL_PAIRS(SV_DECLARE_PAIR)

    virtual int GetTimestamp(float& seconds);
    virtual int ResetTimestamp();
    virtual int GetFrameCount(uint8_t& count);
    virtual int ResetFrameCount();
    virtual int GetReservedControl(int& value, int& flag);
    virtual int SetReservedControl(int value);

    SV_MAKER_EHDR_PAIRS(SV_DECLARE_PAIR)
#undef SV_DECLARE_PAIR

    virtual int ExportSensorConfig(std::string path);
    virtual int GetMCUType(SV_MCU_TYPE& type);
    virtual int GetSensorWorkMode(SV_SENSOR_MODE& mode);

    // The uniform ISP property interface over the typed operations above.
    // Property values are integers; double controls are scaled by the
    // property's factor (see IspProperties.h).
    int GetISPImageProcessing(SV_ISP_IMAGE_PROPERTIES id, int& value, int& flag);
    int GetISPImageProcessingRange(SV_ISP_IMAGE_PROPERTIES id, int& min, int& max, int& step, int& def);
    int SetISPImageProcessing(SV_ISP_IMAGE_PROPERTIES id, int value);
    // Every supported property back to its default; always 0 (failures are logged).
    int SetISPImageProcessingDefault();
    // Automatic-exposure limits for this device's current format from the
    // exposure-range table; -1 when the table has none.
    int GetISPExposureRange(const std::string& deviceName, int& max, int& min);
    // The ISP's current output: width, height and "UYVY", "MJPG" or "Unknown".
    int GetSensorFormat(int& width, int& height, std::string& format);
    // Whether this device has the eHDR controls (product id list, or a sensor
    // name with 0821/0822).
    bool IsEHDRSupported() const;

    // Profile-configuration documents (formats/ProfileConfig.h): load one,
    // select its capture format, write its control values.
    int LoadProfileConfig(const std::string& text);
    int ActivateProfileStreaming();
    int ActivateProfileImageProcessing();

    // The device's transaction lock (platform/DeviceLock.h), shared with every
    // other object of either interface on the same device. Held across each
    // transfer, each request/answer pair, each sensor access and by the
    // exported maker functions across their whole operation, so that no other
    // thread's transfers land in between. Recursive.
    std::unique_lock<sv::platform::DeviceMutex> HoldDevice() {
        return std::unique_lock<sv::platform::DeviceMutex>(*deviceMutex_);
    }

    uint8_t IspAddress() const { return ispAddress_; }
    uint8_t HeaderDeviceAddress() const { return headerDeviceAddress_; }
    int32_t CachedFlip() const { return cachedFlip_; }

protected:
    // One 16-bit register of the device at the ISP address (two-byte register
    // address, most significant byte first) through generic I2C.
    int ReadIspRegister16(uint16_t reg, uint16_t& value);
    int WriteIspRegister16(uint16_t reg, uint16_t value);

    std::shared_ptr<sv::platform::DeviceMutex> deviceMutex_;
    SvAP1302Sensor sensor_;
    uint8_t ispAddress_;
    uint8_t headerDeviceAddress_;
    std::atomic<int32_t> cachedFlip_{0};
    std::unique_ptr<SvProfileConfig> profileConfig_;
};
