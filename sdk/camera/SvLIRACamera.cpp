#include "camera/SvLIRACamera.h"

SvLIRACamera::SvLIRACamera(const CameraDeviceInfo& info)
    : SvSorvanUVCCamera(info, kIspAddress, kHeaderDeviceAddress, kHeaderRegister) {}

SvLIRACamera::~SvLIRACamera() = default;
