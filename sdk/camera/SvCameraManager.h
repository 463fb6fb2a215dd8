#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/CameraDeviceInfo.h"
#include "base/Config.h"

class SvCamera;
class SvRoute;
class PlatformCameraListWin;

// The process-wide registry of attached video devices.
class SvCameraManager {
public:
    virtual ~SvCameraManager() = default;
    virtual std::shared_ptr<SvCamera> InitialCameraDevice(int index) = 0;
    virtual std::vector<std::string> DiscoverCameraDevices() = 0;
    virtual int ResetActiveRoute() = 0;
    virtual std::shared_ptr<SvRoute> LoadRouteYamlConfig(const std::string& path) = 0;
    virtual int ActivateYamlRouteConfig(std::shared_ptr<SvRoute> route) = 0;
};

class SvCameraManagerWin : public SvCameraManager {
public:
    // Reads "SvConfig.conf" through the configuration search, once.
    SvCameraManagerWin();
    ~SvCameraManagerWin() override;

    std::shared_ptr<SvCamera> InitialCameraDevice(int index) override;
    std::vector<std::string> DiscoverCameraDevices() override;
    int ResetActiveRoute() override;
    std::shared_ptr<SvRoute> LoadRouteYamlConfig(const std::string& path) override;
    int ActivateYamlRouteConfig(std::shared_ptr<SvRoute> route) override;

    const sv::ConfigMap& Config() const { return config_; }

private:
    // Re-enumerates the attached devices into records_.
    void Enumerate();

    // Discovery and camera creation may come from several threads: one
    // enumeration at a time, and each creation reads the records it made.
    std::mutex mutex_;
    std::vector<CameraDeviceInfo> records_;
    sv::ConfigMap config_;
    std::shared_ptr<PlatformCameraListWin> platformList_;
};

namespace sv {

// The name shown for a device: maker cameras with a usable serial number get
// "-" and its last five characters appended.
std::string DisplayName(const CameraDeviceInfo& record);

// The process-wide manager, created on first call (from any thread).
std::shared_ptr<SvCameraManager> CameraManager();
// The manager if it exists, else null.
std::shared_ptr<SvCameraManager> ExistingCameraManager();
// Drops the manager so the next call creates a fresh one (tests only).
void ResetCameraManagerForTesting();

}  // namespace sv
