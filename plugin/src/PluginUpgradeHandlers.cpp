// The three methods whose work runs on a thread of its own.

#include <cstdint>
#include <optional>
#include <string>

#include <sorvansdk/SorvanSDK.h>

#include "CameraHandleManager.h"
#include "PluginArguments.h"
#include "SorvanSDKPlugin.h"
#include "UpgradeHub.h"

namespace sorvansdk {

namespace {

using flutter::EncodableValue;
using CameraWork = std::function<int(SvCameraPtr, std::function<void(int)>)>;

// One job per device at a time; two handles may name the same device.
std::string CameraKey(const SvCameraPtr& camera) {
    std::string path;
    if (SvGetDevicePath(camera, path) == 0 && !path.empty()) return "camera:" + path;
    return "camera@" + std::to_string(reinterpret_cast<std::uintptr_t>(camera.get()));
}

// Starts a job on a registered camera, or answers why not. The job holds
// its own reference of the camera, so releasing the handle does not end it.
void StartCameraJob(UpgradeHub& hub, int handle, UpgradeHub::Job job, const CameraWork& work,
                    MethodResultPtr& result) {
    SvCameraPtr camera = CameraHandleManager::getInstance().getCamera(handle);
    if (!camera) {
        result->Error("INVALID_HANDLE", "Camera handle not found");
        return;
    }
    job.key = CameraKey(camera);
    job.work = [camera, work](std::function<void(int)> progress) { return work(camera, std::move(progress)); };
    if (!hub.Start(std::move(job), result))
        result->Error("SORVANSDK_ERROR", "An upgrade is already running on this camera");
}

}  // namespace

void SorvanSDKPluginImpl::handleUpgradeFX3FW(const MethodCall& call, MethodResultPtr result) {
    try {
        const auto& list =
            ListArgument(call.arguments(), 2, "Arguments must be a list of 2 elements: [target, imgPath]");
        const auto target = static_cast<SV_FX3_FW_TARGET>(ValueAs<int32_t>(list[0]));
        const std::string path = ValueAs<std::string>(list[1]);
        UpgradeHub::Job job;
        job.key = "fx3";  // the bridge search takes whichever bridge it finds first
        job.function = "SvUpgradeFX3FW";
        job.progressType = "fx3_upgrade_progress";
        job.debugPrefix = "[SORVANSDK] FX3 upgrade progress: ";
        job.work = [target, path](std::function<void(int)> progress) {
            return SvUpgradeFX3FW(target, path, std::move(progress));
        };
        if (!upgrades->Start(std::move(job), result))
            result->Error("SORVANSDK_ERROR", "An FX3 upgrade is already running");
    } catch (const std::exception& e) {
        result->Error("SORVANSDK_ERROR", std::string("Exception in SvUpgradeFX3FW: ") + e.what());
    } catch (...) {
        result->Error("SORVANSDK_ERROR", "Unknown exception in SvUpgradeFX3FW");
    }
}

void SorvanSDKPluginImpl::handleUpgradeSensorFW(const MethodCall& call, MethodResultPtr result) {
    try {
        const auto& list =
            ListArgument(call.arguments(), 2, "Arguments must be a list of 2 elements: [handleId, imgPath]");
        const int handle = ValueAs<int32_t>(list[0]);
        const std::string path = ValueAs<std::string>(list[1]);
        UpgradeHub::Job job;
        job.function = "SvUpgradeSensorFW";
        job.progressType = "sensor_upgrade_progress";
        job.debugPrefix = "[SORVANSDK] Sensor upgrade progress: ";
        StartCameraJob(*upgrades, handle, std::move(job),
                       [path](SvCameraPtr camera, std::function<void(int)> progress) {
                           return SvUpgradeSensorFW(camera, path, std::move(progress));
                       },
                       result);
    } catch (const std::exception& e) {
        result->Error("SORVANSDK_ERROR", std::string("Exception in SvUpgradeSensorFW: ") + e.what());
    } catch (...) {
        result->Error("SORVANSDK_ERROR", "Unknown exception in SvUpgradeSensorFW");
    }
}

void SorvanSDKPluginImpl::handleCleanSensorFW(const MethodCall& call, MethodResultPtr result) {
    try {
        // A bare handle erases; [handle, imgPath] erases only when the upgrade
        // would take that image, so a refused image leaves the module as it was.
        int handle = 0;
        std::optional<std::string> path;
        const auto* list = call.arguments() != nullptr ? std::get_if<flutter::EncodableList>(call.arguments()) : nullptr;
        if (list != nullptr && list->size() == 2) {
            handle = ValueAs<int32_t>((*list)[0]);
            path = ValueAs<std::string>((*list)[1]);
        } else {
            handle = extractArgument<int>(call.arguments(), "Handle ID must be an integer");
        }
        UpgradeHub::Job job;
        job.function = "SvCleanSensorFW";
        StartCameraJob(*upgrades, handle, std::move(job),
                       [path](SvCameraPtr camera, const std::function<void(int)>&) {
                           if (path) {
                               const int checked = SvCheckSensorFWImage(camera, *path);
                               if (checked != 0) return checked;
                           }
                           return SvCleanSensorFW(camera);
                       },
                       result);
    } catch (const std::exception& e) {
        result->Error("SORVANSDK_ERROR", "Failed to clean sensor firmware", EncodableValue(std::string(e.what())));
    }
}

}  // namespace sorvansdk
