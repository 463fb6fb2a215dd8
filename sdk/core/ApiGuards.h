#pragma once

// The guards that every exported camera function applies before it acts.

#include <memory>

#include <sorvansdk/SorvanSDK.h>

#include "camera/SvGenericCamera.h"
#include "camera/SvSorvanCamera.h"
#include "camera/SvSorvanUVCCamera.h"
#include "base/Logger.h"

namespace sv::api {

// "any": an empty pointer is logged and refused.
inline bool CheckCamera(const std::shared_ptr<SvCamera>& camera, const char* function) {
    if (camera) return true;
    log::Write(spdlog::level::err, "{}: Invalid Camera Pointer", function);
    return false;
}

inline void LogUnsupported(const SvCamera& camera, const char* function) {
    log::Write(spdlog::level::err, "{}: Cannot Support this Function: {}", camera.DeviceName(), function);
}

// "maker" and "maker UVC": a run-time type test. The result shares ownership
// with the caller's pointer for the duration of the call; null when refused.
template <typename T>
std::shared_ptr<T> RequireClass(const std::shared_ptr<SvCamera>& camera, const char* function) {
    if (!CheckCamera(camera, function)) return nullptr;
    auto typed = std::dynamic_pointer_cast<T>(camera);
    if (!typed) LogUnsupported(*camera, function);
    return typed;
}

inline std::shared_ptr<SvSorvanCamera> RequireMaker(const std::shared_ptr<SvCamera>& camera,
                                                    const char* function) {
    return RequireClass<SvSorvanCamera>(camera, function);
}

inline std::shared_ptr<SvSorvanUVCCamera> RequireMakerUVC(const std::shared_ptr<SvCamera>& camera,
                                                          const char* function) {
    return RequireClass<SvSorvanUVCCamera>(camera, function);
}

// "UVC": a generic camera (or derived) attached by USB.
inline std::shared_ptr<SvGenericCamera> RequireUVC(const std::shared_ptr<SvCamera>& camera,
                                                   const char* function) {
    if (!CheckCamera(camera, function)) return nullptr;
    auto typed = std::dynamic_pointer_cast<SvGenericCamera>(camera);
    if (!typed || typed->DeviceInfo().interfaceType != SV_CAMERA_INTERFACE_USB) {
        LogUnsupported(*camera, function);
        return nullptr;
    }
    return typed;
}

// For the functions whose work is not part of this build yet.
inline int NotAvailable(const char* function) {
    log::Write(spdlog::level::err, "{}: not available in this build", function);
    return -1;
}

}  // namespace sv::api
