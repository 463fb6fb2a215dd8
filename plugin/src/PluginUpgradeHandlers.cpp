// The three methods whose work runs on a thread of its own.

#include <cstdint>
#include <string>

#include <sorvansdk/SorvanSDK.h>

#include "CameraHandleManager.h"
#include "PluginArguments.h"
#include "SorvanSDKPlugin.h"
#include "UpgradeHub.h"

namespace sorvansdk {

namespace {

using flutter::EncodableValue;

constexpr const char* kFx3Key = "fx3";

// One job per device at a time; two handles may name the same device.
std::string CameraKey(const SvCameraPtr& camera) {
    std::string path;
    if (SvGetDevicePath(camera, path) == 0 && !path.empty()) return "camera:" + path;
    return "camera@" + std::to_string(reinterpret_cast<std::uintptr_t>(camera.get()));
}

}  // namespace

void SorvanSDKPluginImpl::handleUpgradeFX3FW(const MethodCall& call, MethodResultPtr result) {
    bool claimed = false;
    try {
        const auto& list =
            ListArgument(call.arguments(), 2, "Arguments must be a list of 2 elements: [target, imgPath]");
        const auto target = static_cast<SV_FX3_FW_TARGET>(ValueAs<int32_t>(list[0]));
        const std::string path = ValueAs<std::string>(list[1]);
        if (!upgrades->TryClaim(kFx3Key)) {
            result->Error("SORVANSDK_ERROR", "An FX3 upgrade is already running");
            return;
        }
        claimed = true;
        UpgradeHub::Job job;
        job.key = kFx3Key;
        job.function = "SvUpgradeFX3FW";
        job.progressType = "fx3_upgrade_progress";
        job.debugPrefix = "[SORVANSDK] FX3 upgrade progress: ";
        job.work = [target, path](std::function<void(int)> progress) {
            return SvUpgradeFX3FW(target, path, std::move(progress));
        };
        claimed = false;  // Start releases the claim itself when it fails
        upgrades->Start(std::move(job), result);
    } catch (const std::exception& e) {
        if (claimed) upgrades->Release(kFx3Key);
        result->Error("SORVANSDK_ERROR", std::string("Exception in SvUpgradeFX3FW: ") + e.what());
    } catch (...) {
        if (claimed) upgrades->Release(kFx3Key);
        result->Error("SORVANSDK_ERROR", "Unknown exception in SvUpgradeFX3FW");
    }
}

void SorvanSDKPluginImpl::handleUpgradeSensorFW(const MethodCall& call, MethodResultPtr result) {
    std::string claimed;
    try {
        const auto& list =
            ListArgument(call.arguments(), 2, "Arguments must be a list of 2 elements: [handleId, imgPath]");
        const int handle = ValueAs<int32_t>(list[0]);
        const std::string path = ValueAs<std::string>(list[1]);
        SvCameraPtr camera = CameraHandleManager::getInstance().getCamera(handle);
        if (!camera) {
            result->Error("INVALID_HANDLE", "Camera handle not found");
            return;
        }
        const std::string key = CameraKey(camera);
        if (!upgrades->TryClaim(key)) {
            result->Error("SORVANSDK_ERROR", "An upgrade is already running on this camera");
            return;
        }
        claimed = key;
        UpgradeHub::Job job;
        job.key = key;
        job.function = "SvUpgradeSensorFW";
        job.progressType = "sensor_upgrade_progress";
        job.debugPrefix = "[SORVANSDK] Sensor upgrade progress: ";
        job.work = [camera, path](std::function<void(int)> progress) {
            return SvUpgradeSensorFW(camera, path, std::move(progress));
        };
        claimed.clear();
        upgrades->Start(std::move(job), result);
    } catch (const std::exception& e) {
        if (!claimed.empty()) upgrades->Release(claimed);
        result->Error("SORVANSDK_ERROR", std::string("Exception in SvUpgradeSensorFW: ") + e.what());
    } catch (...) {
        if (!claimed.empty()) upgrades->Release(claimed);
        result->Error("SORVANSDK_ERROR", "Unknown exception in SvUpgradeSensorFW");
    }
}

void SorvanSDKPluginImpl::handleCleanSensorFW(const MethodCall& call, MethodResultPtr result) {
    const char* failure = "Failed to clean sensor firmware";
    std::string claimed;
    try {
        const int handle = extractArgument<int>(call.arguments(), "Handle ID must be an integer");
        SvCameraPtr camera = CameraHandleManager::getInstance().getCamera(handle);
        if (!camera) {
            result->Error("INVALID_HANDLE", "Camera handle not found");
            return;
        }
        const std::string key = CameraKey(camera);
        if (!upgrades->TryClaim(key)) {
            result->Error("SORVANSDK_ERROR", "An upgrade is already running on this camera");
            return;
        }
        claimed = key;
        UpgradeHub::Job job;
        job.key = key;
        job.function = "SvCleanSensorFW";
        job.work = [camera](const std::function<void(int)>&) { return SvCleanSensorFW(camera); };
        claimed.clear();
        upgrades->Start(std::move(job), result);
    } catch (const std::exception& e) {
        if (!claimed.empty()) upgrades->Release(claimed);
        result->Error("SORVANSDK_ERROR", failure, EncodableValue(std::string(e.what())));
    }
}

}  // namespace sorvansdk
