#pragma once

#include <cstdint>
#include <string>

#include <sorvansdk/SvTypes.h>

// The fixed record that discovery builds for one attached device; every camera
// object keeps its own copy.
struct CameraDeviceInfo {
    int32_t index = 0;                 // position in the platform's list at enumeration
    int32_t interfaceType = SV_CAMERA_INTERFACE_USB;
    int32_t productType = SV_PRODUCT_TYPE_UVC;
    std::string friendlyName;
    std::string devicePath;            // the platform's symbolic link
    std::string deviceName;            // shown, matched against product lists, printed
    std::string hardwareId;            // "vid_XXXX&pid_XXXX" cut from devicePath
    std::string serialNumber;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
};
