// The built-in world: what SORVANSDK_BACKEND=sim shows without a world file.

#include "platform/sim/SimWorld.h"

namespace sv::sim {

const char* DefaultWorldJson() {
    return R"JSON({
  "clock": "simulated",
  "frameRateLimit": true,
  "usb": {
    "controllers": [ { "rootHubPorts": 4 } ],
    "hubs": [
      { "id": "hub", "vendorId": "2109", "productId": "0817", "ports": 4,
        "instanceKey": "5&1f3a2b4c&0&3", "containerId": "{9c1e0a52-3d44-4b8e-a1f7-6b2d90c4e713}",
        "usb": { "hub": "root", "port": 3, "speed": "SuperSpeed" } }
    ]
  },
  "devices": [
    {
      "id": "webcam",
      "name": "USB2.0 HD UVC WebCam",
      "vendorId": "0c45", "productId": "636b",
      "serial": "200901010001",
      "instanceKey": "6&2c0ae8b1&0&0000",
      "containerId": "{5a8e3c71-0b2f-4d6a-9e14-c3f7a2b8d051}",
      "manufacturer": "Generic", "product": "USB2.0 HD UVC WebCam",
      "usb": { "hub": "root", "port": 1, "speed": "HighSpeed" },
      "formats": [
        { "subtype": "MJPG", "width": 1280, "height": 720, "fps": 30 },
        { "subtype": "MJPG", "width": 640, "height": 480, "fps": 30 },
        { "subtype": "YUY2", "width": 640, "height": 480, "fps": 30 },
        { "subtype": "YUY2", "width": 1280, "height": 720, "fps": 10 },
        { "subtype": "YUY2", "width": 320, "height": 240, "fps": "30000/1001" },
        { "subtype": "UYVY", "width": 640, "height": 480, "fps": 30 },
        { "subtype": "NV12", "width": 640, "height": 480, "fps": 30 },
        { "subtype": "RGB24", "width": 640, "height": 480, "fps": 30,
          "attributes": [
            { "key": "MF_MT_USER_DATA", "type": "blob", "value": "0102030405" },
            { "key": "{8f7c2a1e-5d3b-4e6f-9a0c-1b2d3e4f5a6b}", "type": "double", "value": 1.5 },
            { "key": "{2e4c6a8b-1d3f-4a5b-8c7d-9e0f1a2b3c4d}", "type": "string", "value": "sensor-a" },
            { "key": "{6d5c4b3a-2918-4f7e-8d6c-5b4a39281706}", "type": "unknown" }
          ] }
      ],
      "controls": {
        "brightness": { "min": -64, "max": 64, "step": 1, "default": 0 },
        "contrast": { "min": 0, "max": 64, "step": 1, "default": 32 },
        "hue": { "min": -40, "max": 40, "step": 1, "default": 0 },
        "saturation": { "min": 0, "max": 128, "step": 1, "default": 64 },
        "sharpness": { "min": 0, "max": 6, "step": 1, "default": 3 },
        "gamma": { "min": 72, "max": 500, "step": 1, "default": 100 },
        "whiteBalance": { "min": 2800, "max": 6500, "step": 1, "default": 4600, "auto": true, "mode": "auto" },
        "backlightCompensation": { "min": 0, "max": 2, "step": 1, "default": 1 },
        "exposure": { "min": -13, "max": -1, "step": 1, "default": -6, "auto": true, "mode": "auto" }
      },
      "xu": null
    },
    {
      "id": "kivo",
      "name": "KIVO-AR0234 Camera",
      "vendorId": "3f41", "productId": "0234",
      "serial": "K7Q2M9P4R8",
      "instanceKey": "7&1f2e3d4c&0&0000",
      "containerId": "{c2d4e6f8-1a3b-4c5d-8e9f-0a1b2c3d4e5f}",
      "manufacturer": "Sorvan", "product": "KIVO-AR0234 Camera",
      "usb": { "hub": "hub", "port": 1, "speed": "SuperSpeed" },
      "formats": [
        { "subtype": "UYVY", "width": 1920, "height": 1200, "fps": 30 },
        { "subtype": "UYVY", "width": 1280, "height": 720, "fps": 60 },
        { "subtype": "YUY2", "width": 1920, "height": 1080, "fps": 30 },
        { "subtype": "YUY2", "width": 640, "height": 480, "fps": 60 },
        { "subtype": "NV12", "width": 1920, "height": 1080, "fps": 30 },
        { "subtype": "NV12", "width": 640, "height": 480, "fps": 60 },
        { "subtype": "MJPG", "width": 1920, "height": 1200, "fps": 60 },
        { "subtype": "MJPG", "width": 640, "height": 480, "fps": 120 },
        { "subtype": "RGB24", "width": 640, "height": 480, "fps": 30 }
      ],
      "controls": {
        "brightness": { "min": 0, "max": 255, "step": 1, "default": 128 },
        "contrast": { "min": 0, "max": 255, "step": 1, "default": 128 },
        "saturation": { "min": 0, "max": 255, "step": 1, "default": 128 },
        "sharpness": { "min": 0, "max": 255, "step": 1, "default": 16 },
        "gamma": { "min": 100, "max": 300, "step": 1, "default": 220 },
        "whiteBalance": { "min": 2500, "max": 10000, "step": 10, "default": 5000, "auto": true, "mode": "auto" },
        "gain": { "min": 0, "max": 100, "step": 1, "default": 0 },
        "pan": { "min": -180, "max": 180, "step": 1, "default": 0 },
        "tilt": { "min": -180, "max": 180, "step": 1, "default": 0 },
        "zoom": { "min": 100, "max": 800, "step": 1, "default": 100 },
        "exposure": { "min": -14, "max": -2, "step": 1, "default": -8, "auto": true, "mode": "auto" }
      },
      "xu": { "model": "kivo", "node": 2, "firmwareVersion": "24.7.3.1",
              "header": { "version": 2, "productName": "KIVO-AR0234" } }
    },
    {
      "id": "lira",
      "name": "LIRA-OX05B Camera",
      "vendorId": "3f41", "productId": "5b05",
      "serial": "L3X8B5N1W6",
      "instanceKey": "7&3a4b5c6d&0&0000",
      "containerId": "{e8f0a2b4-c6d8-4e1a-9b3c-5d7e9f1a3b5c}",
      "manufacturer": "Sorvan", "product": "LIRA-OX05B Camera",
      "usb": { "hub": "hub", "port": 2, "speed": "HighSpeed", "superSpeedFlags": 3 },
      "formats": [
        { "subtype": "YUY2", "width": 2592, "height": 1944, "fps": 15 },
        { "subtype": "YUY2", "width": 1920, "height": 1080, "fps": 30 },
        { "subtype": "UYVY", "width": 1920, "height": 1080, "fps": 30 },
        { "subtype": "UYVY", "width": 640, "height": 480, "fps": 60 },
        { "subtype": "NV12", "width": 2592, "height": 1944, "fps": 15 },
        { "subtype": "NV12", "width": 1280, "height": 720, "fps": 60 },
        { "subtype": "MJPG", "width": 2592, "height": 1944, "fps": 30 },
        { "subtype": "MJPG", "width": 1280, "height": 720, "fps": 60 },
        { "subtype": "RGB24", "width": 1280, "height": 720, "fps": 30 }
      ],
      "controls": {
        "brightness": { "min": -15, "max": 15, "step": 1, "default": 0 },
        "contrast": { "min": 0, "max": 30, "step": 1, "default": 10 },
        "saturation": { "min": 0, "max": 60, "step": 1, "default": 30 },
        "sharpness": { "min": 0, "max": 10, "step": 1, "default": 5 },
        "gain": { "min": 1, "max": 16, "step": 1, "default": 1 },
        "whiteBalance": { "min": 2800, "max": 6500, "step": 100, "default": 5000, "auto": true, "mode": "auto" },
        "exposure": { "min": -11, "max": -1, "step": 1, "default": -5, "auto": true, "mode": "auto" }
      },
      "xu": { "model": "lira", "node": 2, "firmwareVersion": "23.11.5.0",
              "header": { "version": 3, "productName": "LIRA-OX05B" } }
    }
  ],
  "fx3": [
    { "id": "kivo-fx3", "camera": "kivo", "eeprom": { "size": 65536, "devices": 2 },
      "spiFlash": { "size": 1048576 } },
    { "id": "lira-fx3", "camera": "lira", "eeprom": { "size": 32768, "devices": 4 },
      "spiFlash": { "size": 524288 } }
  ]
})JSON";
}

}  // namespace sv::sim
