#pragma once

// What the legacy camera class's source files share: the attribute store that
// carries the reader's callback, the access of the Sc functions to the camera
// control, and the guard that keeps exceptions inside exported functions.

#include <exception>
#include <memory>

#include <sorvansdk/SorvanCam.h>

#include "legacy/CamCtrl.h"
#include "legacy/SzLine.h"
#include "platform/backend/VideoDevice.h"

// The enumeration and reader attributes: here only the asynchronous callback.
struct SzAttributeStore {
    std::shared_ptr<sv::platform::SampleCallback> asyncCallback;
};

struct SzCamAccess {
    static CamCtrl* Control(const SorvanCam* cam) { return cam ? cam->cameraControl : nullptr; }
};

namespace sv::legacy {

// Runs `work`; an exception becomes `failure`, logged under `where`.
template <typename R, typename Work>
R Guarded(const char* where, R failure, Work&& work) noexcept {
    try {
        return work();
    } catch (const std::exception& e) {
        try {
            SZ_LINE(Error, where, "%s", e.what());
        } catch (...) {
        }
    } catch (...) {
        try {
            SZ_LINE0(Error, where, "Unknown exception");
        } catch (...) {
        }
    }
    return failure;
}

}  // namespace sv::legacy
