#include "platform/backend/VideoDevice.h"

namespace sv::platform {

HResult Sample::Lock(const uint8_t*& data, uint32_t& length) const {
    if (Failed(lockResult_)) {
        data = nullptr;
        length = 0;
        return lockResult_;
    }
    data = bytes_.data();
    length = static_cast<uint32_t>(bytes_.size());
    return HR_S_OK;
}

}  // namespace sv::platform
