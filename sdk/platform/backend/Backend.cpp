#include "platform/backend/Backend.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

#include "base/Logger.h"

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

// Back-ends built as targets of their own, by name. Filled while the library
// loads, so it is a function-local static: no order of static initialisers
// between translation units can find it unbuilt.
std::map<std::string, BackendFactory>& Registry() {
    static std::map<std::string, BackendFactory> registry;
    return registry;
}

std::mutex& RegistryMutex() {
    static std::mutex m;
    return m;
}

}  // namespace

bool RegisterBackend(const std::string& name, BackendFactory factory) {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    return Registry().emplace(name, std::move(factory)).second;
}

std::shared_ptr<Backend> CreateNativeBackend() {
    BackendFactory factory;
    {
        std::lock_guard<std::mutex> lock(RegistryMutex());
        auto it = Registry().find("native");
        if (it != Registry().end()) factory = it->second;
    }
    return factory ? factory() : CreateEmptyNativeBackend();
}

bool IsBackendAvailable(const std::string& name) {
    if (name == "native") return true;
    std::lock_guard<std::mutex> lock(RegistryMutex());
    return Registry().count(name) != 0;
}

std::shared_ptr<Backend> CreateBackendFromEnvironment() {
    const char* selected = std::getenv("SORVANSDK_BACKEND");
    if (selected == nullptr || std::string(selected).empty() || std::string(selected) == "native") {
        return CreateNativeBackend();
    }
    BackendFactory factory;
    {
        std::lock_guard<std::mutex> lock(RegistryMutex());
        auto it = Registry().find(selected);
        if (it != Registry().end()) factory = it->second;
    }
    if (!factory) {
        SV_LOGE("Backend::CreateBackendFromEnvironment",
                "Back-end \"{}\" is not part of this build; using the native back-end", selected);
        return CreateNativeBackend();
    }
    return factory();
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
