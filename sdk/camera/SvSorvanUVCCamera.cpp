#include "camera/SvSorvanUVCCamera.h"

SvSorvanUVCCamera::SvSorvanUVCCamera(const CameraDeviceInfo& info, uint8_t ispAddress,
                                     uint8_t headerDeviceAddress, uint16_t headerRegister)
    : SvSorvanCamera(info, ispAddress, headerDeviceAddress), headerRegister_(headerRegister) {}

SvSorvanUVCCamera::~SvSorvanUVCCamera() = default;
