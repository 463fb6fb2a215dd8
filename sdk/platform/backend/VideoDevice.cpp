#include "platform/backend/VideoDevice.h"

namespace sv::platform {

HResult Sample::Lock(const uint8_t*& data, uint32_t& length) const {
    if (Failed(lockResult_)) {
        data = nullptr;
        length = 0;
        return lockResult_;
    }
    data = data_;
    length = length_;
    return HR_S_OK;
}

}  // namespace sv::platform
