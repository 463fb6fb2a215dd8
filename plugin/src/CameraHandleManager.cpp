#include "CameraHandleManager.h"

namespace sorvansdk {

// Never destroyed: cameras the application left open must not be closed
// while the plug-in library is unloaded at process exit. Windows has ended
// every other thread by then, so closing a streaming camera there would wait
// for ever for its reader's worker. The operating system reclaims them.
CameraHandleManager& CameraHandleManager::getInstance() {
    static CameraHandleManager* instance = new CameraHandleManager();
    return *instance;
}

int CameraHandleManager::addCamera(std::shared_ptr<SvCamera> camera) {
    std::lock_guard<std::mutex> lock(mutex);
    const int handle = nextHandle.fetch_add(1);
    cameras[handle] = std::move(camera);
    return handle;
}

std::shared_ptr<SvCamera> CameraHandleManager::getCamera(int handle) {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = cameras.find(handle);
    return it == cameras.end() ? nullptr : it->second;
}

bool CameraHandleManager::removeCamera(int handle) {
    std::lock_guard<std::mutex> lock(mutex);
    return cameras.erase(handle) > 0;
}

}  // namespace sorvansdk
