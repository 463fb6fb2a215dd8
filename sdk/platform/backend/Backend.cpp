#include "platform/backend/Backend.h"

#include <cstdlib>
#include <mutex>
#include <string>

#include "core/Logger.h"
#include "platform/sim/SimBackend.h"

namespace sv::platform {

namespace {

std::mutex& BackendMutex() {
    static std::mutex m;
    return m;
}

std::shared_ptr<Backend>& CurrentSlot() {
    static std::shared_ptr<Backend> slot;
    return slot;
}

}  // namespace

std::shared_ptr<Backend> CreateBackendFromEnvironment() {
    const char* selected = std::getenv("SORVANSDK_BACKEND");
    if (selected != nullptr && std::string(selected) == "sim") {
        return sim::CreateSimBackendFromEnvironment();
    }
    return CreateNativeBackend();
}

std::shared_ptr<Backend> GetBackend() {
    std::lock_guard<std::mutex> lock(BackendMutex());
    auto& slot = CurrentSlot();
    if (!slot) {
        slot = CreateBackendFromEnvironment();
        SV_LOGD("Backend::GetBackend", "Platform back-end: {}", slot->Name());
    }
    return slot;
}

void SetBackendForTesting(std::shared_ptr<Backend> backend) {
    std::lock_guard<std::mutex> lock(BackendMutex());
    CurrentSlot() = std::move(backend);
}

void ResetBackend() {
    std::shared_ptr<Backend> old;
    {
        std::lock_guard<std::mutex> lock(BackendMutex());
        old.swap(CurrentSlot());
    }
    // `old` ends here, outside the lock: a simulator joins its threads.
}

}  // namespace sv::platform
