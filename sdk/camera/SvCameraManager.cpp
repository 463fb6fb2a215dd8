#include "camera/SvCameraManager.h"

#include <cctype>
#include <mutex>

#include "camera/SvGenericCamera.h"
#include "camera/SvKIVOCamera.h"
#include "camera/SvLIRACamera.h"
#include "base/Logger.h"
#include "platform/PlatformCameraList.h"
#include "platform/backend/VideoDevice.h"

namespace {

constexpr const char* kUnsupportedOnPlatform = "Cannot Support this Function on Windows: {}";

// The manager is shared: callers on any thread hold it while they use it,
// so a reset (tests) never frees it under a running discovery.
std::shared_ptr<SvCameraManager>& managerSlot() {
    static std::shared_ptr<SvCameraManager> manager;
    return manager;
}

std::mutex& managerSlotMutex() {
    static std::mutex m;
    return m;
}

}  // namespace

SvCameraManagerWin::SvCameraManagerWin() {
    const std::string path = sv::FindFirstExistingPath(sv::GetConfigCandidatePaths("SvConfig"));
    if (!path.empty() && sv::LoadConfigMap(path, config_) != 0) {
        config_.clear();
    }
    platformList_ = std::make_shared<PlatformCameraListWin>(config_);
}

SvCameraManagerWin::~SvCameraManagerWin() = default;

void SvCameraManagerWin::Enumerate() {
    records_.clear();
    platformList_->GetDeviceList(records_);
}

std::vector<std::string> SvCameraManagerWin::DiscoverCameraDevices() {
    std::lock_guard<std::mutex> lock(mutex_);
    Enumerate();
    std::vector<std::string> names;
    names.reserve(records_.size());
    for (const auto& record : records_) names.push_back(sv::DisplayName(record));
    return names;
}

std::shared_ptr<SvCamera> SvCameraManagerWin::InitialCameraDevice(int index) {
    std::lock_guard<std::mutex> lock(mutex_);
    Enumerate();
    if (index < 0 || static_cast<std::size_t>(index) >= records_.size()) {
        SV_LOGE("SvCameraManagerWin::InitialCameraDevice", "Device index out of range: {}, size: {}",
                index, records_.size());
        return nullptr;
    }
    const CameraDeviceInfo& record = records_[static_cast<std::size_t>(index)];
    std::shared_ptr<SvCamera> camera;
    switch (record.productType) {
    case SV_PRODUCT_TYPE_LIRA:
        camera = std::make_shared<SvLIRACamera>(record);
        break;
    case SV_PRODUCT_TYPE_KIVO:
        camera = std::make_shared<SvKIVOCamera>(record);
        break;
    default:
        camera = std::make_shared<SvGenericCamera>(record);
        break;
    }
    // The activation of the record's own platform position: record and device
    // stay together even when an unreadable device was left out of the list.
    camera->SetActivation(platformList_->GetActivation(record.index));
    return camera;
}

int SvCameraManagerWin::ResetActiveRoute() {
    sv::log::Write(spdlog::level::err, kUnsupportedOnPlatform, "ResetActiveRoute");
    return -1;
}

std::shared_ptr<SvRoute> SvCameraManagerWin::LoadRouteYamlConfig(const std::string&) {
    sv::log::Write(spdlog::level::err, kUnsupportedOnPlatform, "LoadRouteYamlConfig");
    return nullptr;
}

int SvCameraManagerWin::ActivateYamlRouteConfig(std::shared_ptr<SvRoute>) {
    sv::log::Write(spdlog::level::err, kUnsupportedOnPlatform, "ActivateYamlRouteConfig");
    return -1;
}

namespace sv {

std::string DisplayName(const CameraDeviceInfo& record) {
    const std::string& serial = record.serialNumber;
    bool usable = record.productType != SV_PRODUCT_TYPE_UVC && serial.size() > 4;
    for (char c : serial) {
        if (!std::isalnum(static_cast<unsigned char>(c))) usable = false;
    }
    if (!usable) return record.deviceName;
    return record.deviceName + "-" + serial.substr(serial.size() - 5);
}

std::shared_ptr<SvCameraManager> CameraManager() {
    std::lock_guard<std::mutex> lock(managerSlotMutex());
    auto& slot = managerSlot();
    if (!slot) slot = std::make_shared<SvCameraManagerWin>();
    return slot;
}

std::shared_ptr<SvCameraManager> ExistingCameraManager() {
    std::lock_guard<std::mutex> lock(managerSlotMutex());
    return managerSlot();
}

void ResetCameraManagerForTesting() {
    std::shared_ptr<SvCameraManager> old;
    {
        std::lock_guard<std::mutex> lock(managerSlotMutex());
        old.swap(managerSlot());
    }
}

}  // namespace sv
