#pragma once

// Shared types and enumerations of the current interface.

#include <cstdint>
#include <functional>
#include <string>

#include "SvExport.h"

// Pixel formats. The platform streamer produces 0 to 4; 5 to 9 appear in
// profile documents only.
enum SV_IMAGE_FORMAT : int32_t {
    SV_IMAGE_FORMAT_NONE = 0,
    SV_IMAGE_FORMAT_YUY2 = 1,
    SV_IMAGE_FORMAT_UYVY = 2,
    SV_IMAGE_FORMAT_NV12 = 3,
    SV_IMAGE_FORMAT_MJPG = 4,
    SV_IMAGE_FORMAT_BGRA = 5,
    SV_IMAGE_FORMAT_BGRx = 6,
    SV_IMAGE_FORMAT_BGR = 7,
    SV_IMAGE_FORMAT_RGB16 = 8,
    SV_IMAGE_FORMAT_RGB = 9,
};

// The name of a pixel format as format lists, log lines and profile documents
// write it: "YUY2", "UYVY", "NV12", "MJPG", "BGRA", "BGRx", "BGR", "RGB16",
// "RGB"; "NONE" for SV_IMAGE_FORMAT_NONE and for any value the type does not
// have. Header-only, so the library, its tools and the Python module read
// the same table.
inline const char* SvPixelFormatName(int32_t format) {
    switch (format) {
    case SV_IMAGE_FORMAT_YUY2: return "YUY2";
    case SV_IMAGE_FORMAT_UYVY: return "UYVY";
    case SV_IMAGE_FORMAT_NV12: return "NV12";
    case SV_IMAGE_FORMAT_MJPG: return "MJPG";
    case SV_IMAGE_FORMAT_BGRA: return "BGRA";
    case SV_IMAGE_FORMAT_BGRx: return "BGRx";
    case SV_IMAGE_FORMAT_BGR: return "BGR";
    case SV_IMAGE_FORMAT_RGB16: return "RGB16";
    case SV_IMAGE_FORMAT_RGB: return "RGB";
    default: return "NONE";
    }
}

// One capture format: 12 bytes in memory, passed by value.
struct SvFormat {
    uint8_t mediatypeIdx = 0;   // position in the device's native type list
    uint16_t width = 0;
    uint16_t height = 0;
    uint16_t framerate = 0;     // integer quotient of numerator / denominator
    SV_IMAGE_FORMAT format = SV_IMAGE_FORMAT_NONE;
};
static_assert(sizeof(SvFormat) == 12, "SvFormat must stay 12 bytes");

// Result of the frame functions. Every value other than 0 means "no frame";
// a platform error that has no mapping is passed through as its own code.
enum SV_CAPTURE_RESULT : int32_t {
    SV_CAPTURE_SUCCESS = 0,
    SV_CAPTURE_TIMEOUT = -1,
    SV_CAPTURE_DEVICE_ERROR = -2,
    SV_CAPTURE_FAILED = -3,
};

enum SV_CAMERA_INTERFACE_TYPE : int32_t {
    SV_CAMERA_INTERFACE_USB = 0,
    SV_CAMERA_INTERFACE_MIPI_CSI2 = 1,
    SV_CAMERA_INTERFACE_ETHERNET = 2,
};

enum SV_CAMERA_PRODUCT_TYPE : int32_t {
    SV_PRODUCT_TYPE_NONE = 0,
    SV_PRODUCT_TYPE_UVC = 1,
    SV_PRODUCT_TYPE_LIRA = 2,
    SV_PRODUCT_TYPE_KIVO = 3,
};

enum SV_USB_DEVICE_SPEED : int32_t {
    SV_USB_LOW_SPEED = 0,
    SV_USB_FULL_SPEED = 1,
    SV_USB_HIGH_SPEED = 2,
    SV_USB_SUPER_SPEED = 3,
};

// UVC standard controls: 0-9 processing unit, 10-16 camera terminal.
enum SV_UVC_IMAGE_PROPERTIES : int32_t {
    SV_UVC_BRIGHTNESS = 0,
    SV_UVC_CONTRAST = 1,
    SV_UVC_HUE = 2,
    SV_UVC_SATURATION = 3,
    SV_UVC_SHARPNESS = 4,
    SV_UVC_GAMMA = 5,
    SV_UVC_COLOR_ENABLE = 6,
    SV_UVC_WHITE_BALANCE = 7,
    SV_UVC_BACKLIGHT_COMPENSATION = 8,
    SV_UVC_GAIN = 9,
    SV_UVC_PAN = 10,
    SV_UVC_TILT = 11,
    SV_UVC_ROLL = 12,
    SV_UVC_ZOOM = 13,
    SV_UVC_EXPOSURE = 14,
    SV_UVC_IRIS = 15,
    SV_UVC_FOCUS = 16,
};

// Image-signal-processor controls of the maker's cameras.
enum SV_ISP_IMAGE_PROPERTIES : int32_t {
    SV_ISP_BRIGHTNESS = 0,
    SV_ISP_CONTRAST = 1,
    SV_ISP_SATURATION = 2,
    SV_ISP_WHITE_BALANCE_MODE = 3,
    SV_ISP_WHITE_BALANCE_TEMPERATURE = 4,
    SV_ISP_EXPOSURE_MODE = 5,
    SV_ISP_EXPOSURE_TIME = 6,
    SV_ISP_EXPOSURE_MIN_TIME = 7,
    SV_ISP_EXPOSURE_MAX_TIME = 8,
    SV_ISP_EXPOSURE_GAIN = 9,
    SV_ISP_GAMMA = 10,
    SV_ISP_SHARPNESS = 11,
    SV_ISP_BACKLIGHT_COMPENSATION = 12,
    SV_ISP_SPECIAL_EFFECT = 13,
    SV_ISP_DENOISE = 14,
    SV_ISP_FLIP_MODE = 15,
    SV_ISP_PAN = 16,
    SV_ISP_TILT = 17,
    SV_ISP_ZOOM = 18,
    SV_ISP_FLICK_MODE = 19,
    SV_ISP_JPEG_QUALITY = 20,
    SV_ISP_RESERVED_21 = 21,
    SV_ISP_EHDR_MODE = 22,
    SV_ISP_EHDR_EXPOSURE_MIN_NUMBER = 23,
    SV_ISP_EHDR_EXPOSURE_MAX_NUMBER = 24,
    SV_ISP_EHDR_RATIO_MIN = 25,
    SV_ISP_EHDR_RATIO_MAX = 26,
    SV_ISP_EHDR_ATM_WEIGHT = 27,
    SV_ISP_EHDR_ATM_MAX = 28,
};

enum SV_SENSOR_MODE : int32_t {
    SV_SENSOR_MODE_STANDBY = 0,
    SV_SENSOR_MODE_ACTIVE = 1,
};

// Microcontroller of a LUMO module, from its type register (low byte 0, 1, other).
enum SV_MCU_TYPE : int32_t {
    SV_MCU_TYPE_0 = 0,
    SV_MCU_TYPE_1 = 1,
    SV_MCU_TYPE_OTHER = 2,
};

// Flag byte of the on-camera profile; the library itself gives meaning only to
// the reset value 2. Other values travel to and from the camera unchanged.
enum SV_OSP_PROFILE_FLAG : int32_t {
    SV_OSP_PROFILE_FLAG_NONE = 0,
    SV_OSP_PROFILE_FLAG_ACTIVE = 1,
    SV_OSP_PROFILE_FLAG_RESET = 2,
};

enum SV_FX3_FW_TARGET : int32_t {
    SV_FX3_FW_TARGET_RAM = 1,
    SV_FX3_FW_TARGET_I2C_EEPROM = 2,
    SV_FX3_FW_TARGET_SPI_FLASH = 3,
};

// Values equal the logging library's level numbers.
enum SV_LOG_LEVEL : int32_t {
    SV_LOG_LEVEL_TRACE = 0,
    SV_LOG_LEVEL_DEBUG = 1,
    SV_LOG_LEVEL_INFO = 2,
    SV_LOG_LEVEL_WARN = 3,
    SV_LOG_LEVEL_ERROR = 4,
    SV_LOG_LEVEL_CRITICAL = 5,
    SV_LOG_LEVEL_OFF = 6,
};

#pragma pack(push, 1)

// Bootdata header, version 2 (144 bytes, little-endian, packed). Text fields
// are NUL padded; a text that fills its field has no terminator.
struct SvHeaderV2 {
    uint8_t headerVersion;
    uint16_t contentOffset;
    char productName[64];
    uint8_t productVersion;
    char headInfo[64];
    uint8_t lensVersion;
    uint8_t contentVersion;
    uint32_t contentChecksum;
    uint32_t contentLen;
    uint16_t pllBootdataLen;
};

// Bootdata header, version 3 (125 bytes, little-endian, packed).
struct SvHeaderV3 {
    uint8_t headerVersion;
    uint16_t contentOffset;
    uint16_t sensorType;
    uint8_t sensorFuseId[16];
    char productName[64];
    uint8_t lensId[16];
    uint16_t fixChecksum;
    uint8_t znFwVersion[2];
    uint16_t vendorFwVersion;
    uint16_t customNumber;
    uint8_t recordYear;
    uint8_t recordMonth;
    uint8_t recordDay;
    uint8_t recordHour;
    uint8_t recordMinute;
    uint8_t recordSecond;
    uint16_t mipiDatarate;
    uint32_t contentLen;
    uint16_t contentChecksum;
    uint16_t totalChecksum;
};

#pragma pack(pop)

static_assert(sizeof(SvHeaderV2) == 144, "SvHeaderV2 must stay 144 bytes");
static_assert(sizeof(SvHeaderV3) == 125, "SvHeaderV3 must stay 125 bytes");

// Progress of an upgrade, 0 to 100, called on the upgrading thread.
using SvProgressCallback = std::function<void(int)>;

// Opaque types of the interface. Cameras are created by the library and shared
// with the host through std::shared_ptr<SvCamera>.
// A video device that the last discovery saw but could not list
// (SvGetUnlistedCameraDevices).
struct SvUnlistedDevice {
    std::string device;         // "/dev/video0"
    std::string reason;         // the system's words: "Permission denied"
    bool accessDenied = false;  // this process lacks the rights to open it
};

class SvCamera;
class SvRoute;
