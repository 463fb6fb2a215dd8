#include "platform/DeviceLock.h"

#include <map>

namespace sv::platform {

std::shared_ptr<DeviceMutex> DeviceTransactionMutex(const std::string& devicePath) {
    if (devicePath.empty()) return std::make_shared<DeviceMutex>();
    // Left to the process's end on purpose: objects destroyed during exit
    // may still ask for their lock.
    static auto* registryMutex = new std::mutex;
    static auto* registry = new std::map<std::string, std::weak_ptr<DeviceMutex>>;
    std::lock_guard<std::mutex> lock(*registryMutex);
    // Devices nobody holds any more are forgotten.
    for (auto it = registry->begin(); it != registry->end();) {
        it = it->second.expired() ? registry->erase(it) : std::next(it);
    }
    std::weak_ptr<DeviceMutex>& slot = (*registry)[devicePath];
    std::shared_ptr<DeviceMutex> mutex = slot.lock();
    if (!mutex) {
        mutex = std::make_shared<DeviceMutex>();
        slot = mutex;
    }
    return mutex;
}

}  // namespace sv::platform
