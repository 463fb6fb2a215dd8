#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include <sorvansdk/SorvanSDK.h>

namespace sorvansdk {

// Process-wide registry of the cameras Dart names by int handle. Handles
// count up from 1 and are never given out twice while the plug-in is loaded.
class CameraHandleManager {
public:
    static CameraHandleManager& getInstance();

    CameraHandleManager(const CameraHandleManager&) = delete;
    CameraHandleManager& operator=(const CameraHandleManager&) = delete;

    int addCamera(std::shared_ptr<SvCamera> camera);
    // Empty when the handle is not registered.
    std::shared_ptr<SvCamera> getCamera(int handle);
    bool removeCamera(int handle);

private:
    CameraHandleManager() = default;

    std::mutex mutex;
    std::map<int, std::shared_ptr<SvCamera>> cameras;
    std::atomic<int> nextHandle{1};
};

}  // namespace sorvansdk
