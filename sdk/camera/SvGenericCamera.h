#pragma once

#include <sorvansdk/SvTypes.h>

#include "camera/SvCamera.h"

// Any UVC camera: format and frame work goes to the platform streamer, the UVC
// standard controls to the platform control.
class SvGenericCamera : public SvCamera {
public:
    // Speed value while the USB connection speed is unknown.
    static constexpr int kSpeedUnknown = 5;

    explicit SvGenericCamera(const CameraDeviceInfo& info);
    ~SvGenericCamera() override;

    int GetFormatList(std::vector<SvFormat>& formats) override;
    SV_CAPTURE_RESULT GetImage(uint8_t* buffer, int* size, uint16_t timeoutMs) override;
    SV_CAPTURE_RESULT GetImageFd(int* fd, uint16_t timeoutMs) override;
    int ReleaseImageFd(int fd) override;
    int SetFormat(SvFormat format) override;
    int StartStreaming() override;
    int StopStreaming() override;

    int GetUVCImageProcessing(SV_UVC_IMAGE_PROPERTIES property, long& value, int& flag);
    int GetUVCImageProcessingRange(SV_UVC_IMAGE_PROPERTIES property, long& minimum, long& maximum,
                                   long& step, long& defaultValue);
    int SetUVCImageProcessing(SV_UVC_IMAGE_PROPERTIES property, long value, int flag);

    // -1 when the camera is not on USB or its speed is unknown.
    int GetUSBDeviceSpeed(SV_USB_DEVICE_SPEED& speed) const;
    std::string GetHardwareID() const { return info_.hardwareId; }

protected:
    int usbSpeed_ = kSpeedUnknown;
};
