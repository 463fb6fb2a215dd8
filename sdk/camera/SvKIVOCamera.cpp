#include "camera/SvKIVOCamera.h"

SvKIVOCamera::SvKIVOCamera(const CameraDeviceInfo& info)
    : SvSorvanUVCCamera(info, kIspAddress, kHeaderDeviceAddress, kHeaderRegister) {}

SvKIVOCamera::~SvKIVOCamera() = default;
