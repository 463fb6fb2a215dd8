// Exported functions: library, discovery, routes and the device record getters.

#include <filesystem>

#include <sorvansdk/SorvanSDK.h>

#include "base/Version.h"
#include "camera/SvCameraManager.h"
#include "core/ApiGuards.h"
#include "base/Logger.h"
#include "formats/BootdataHeader.h"
#include "firmware/SvFX3FirmwareUpgrade.h"
#include "formats/SensorConfig.h"
#include "platform/backend/Backend.h"

void HelloSorvanSDK() {
    sv::log::Write(spdlog::level::info, "Hello SorvanSDK!");
    sv::log::Write(spdlog::level::info, "Version: {}", SORVANSDK_VERSION);
}

void SvSetLogLevel(SV_LOG_LEVEL level) { sv::log::SetStoredLevel(static_cast<int>(level)); }

int SvSetLogFile(const std::string& folder) {
    try {
        sv::log::AttachLogFolder(folder);
        return 0;
    } catch (const std::exception& e) {
        sv::log::Write(spdlog::level::err, "Failed to set log file: {}", e.what());
        return -1;
    }
}

int SvDiscoverCameraDevices(std::vector<std::string>& names) {
    names = sv::CameraManager()->DiscoverCameraDevices();
    return static_cast<int>(names.size());
}

int SvGetUnlistedCameraDevices(std::vector<SvUnlistedDevice>& devices) {
    devices.clear();
    for (const auto& d : sv::platform::GetBackend()->UnlistedDevices()) {
        devices.push_back(SvUnlistedDevice{d.device, d.reason, d.accessDenied});
    }
    return static_cast<int>(devices.size());
}

std::shared_ptr<SvCamera> SvInitialCameraDevice(int index) {
    // Created on demand, as discovery would: a host may know its index already.
    return sv::CameraManager()->InitialCameraDevice(index);
}

int SvIsSorvanCamera(std::shared_ptr<SvCamera> camera) {
    if (!camera) return -1;
    const int type = camera->DeviceInfo().productType;
    return (type != SV_PRODUCT_TYPE_NONE && type != SV_PRODUCT_TYPE_UVC) ? 0 : -1;
}

std::shared_ptr<SvRoute> SvLoadRouteYaml(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        SV_LOGE("SvLoadRouteYaml", "Fail to read the YAML file. Please ensure the YAML file path is correct.");
        return nullptr;
    }
    return sv::CameraManager()->LoadRouteYamlConfig(path);
}

int SvActivateYamlRoutes(std::shared_ptr<SvRoute> route) {
    int result = sv::CameraManager()->ActivateYamlRouteConfig(std::move(route));
    if (result != 0) {
        SV_LOGE("SvActivateYamlRoutes", "Fail to activate the routes from YAML file.");
        return -1;
    }
    return 0;
}

int SvResetActiveRoutes() { return sv::CameraManager()->ResetActiveRoute(); }

int SvUpgradeFX3FW(SV_FX3_FW_TARGET target, std::string imagePath, std::function<void(int)> progress) {
    try {
        sv::firmware::SvFX3FirmwareUpgradeWindows upgrader;
        return upgrader.StartFX3FWUpgrade(target, imagePath, progress);
    } catch (const std::exception& e) {
        sv::log::Write(spdlog::level::err, "SvUpgradeFX3FW: {}", e.what());
        return -1;
    }
}

int SvDecodeSensorConfig(std::string configPath, std::string jsonPath) {
    return sv::formats::DecodeSensorConfig(configPath, jsonPath);
}

int SvGetBootdataHeaderV2FromFile(const std::string& path, std::unique_ptr<SvHeaderV2>& header) {
    return sv::formats::ReadHeaderV2FromFile(path, header);
}

int SvGetBootdataHeaderV3FromFile(const std::string& path, std::unique_ptr<SvHeaderV3>& header) {
    return sv::formats::ReadHeaderV3FromFile(path, header);
}

// ---- Device record getters: empty pointers answer -1 without a message ----

int SvGetDeviceName(std::shared_ptr<SvCamera> camera, std::string& name) {
    if (!camera) return -1;
    name = camera->DeviceInfo().deviceName;
    return 0;
}

int SvGetDevicePath(std::shared_ptr<SvCamera> camera, std::string& path) {
    if (!camera) return -1;
    path = camera->DeviceInfo().devicePath;
    return 0;
}

int SvGetDeviceInterfaceType(std::shared_ptr<SvCamera> camera, SV_CAMERA_INTERFACE_TYPE& type) {
    if (!camera) return -1;
    type = static_cast<SV_CAMERA_INTERFACE_TYPE>(camera->DeviceInfo().interfaceType);
    return 0;
}

int SvGetDeviceProductType(std::shared_ptr<SvCamera> camera, SV_CAMERA_PRODUCT_TYPE& type) {
    if (!camera) return -1;
    type = static_cast<SV_CAMERA_PRODUCT_TYPE>(camera->DeviceInfo().productType);
    return 0;
}

int SvGetHardwareID(std::shared_ptr<SvCamera> camera, std::string& id) {
    auto uvc = sv::api::RequireUVC(camera, "SvGetHardwareID");
    if (!uvc) return -1;
    id = uvc->GetHardwareID();
    return id.empty() ? -1 : 0;
}
