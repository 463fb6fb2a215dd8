// The frame functions Dart calls by symbol, outside the channel.

#include <limits>
#include <new>

#include <sorvansdk/SorvanSDK.h>
#include <sorvansdk_plugin/sorvansdk_plugin_c_api.h>

#include "CameraHandleManager.h"

extern "C" {

FLUTTER_PLUGIN_EXPORT uint8_t* allocateImageBuffer(int size) {
    if (size < 0) return nullptr;
    return new (std::nothrow) uint8_t[static_cast<std::size_t>(size)];
}

FLUTTER_PLUGIN_EXPORT void freeImageBuffer(uint8_t* buffer) { delete[] buffer; }

FLUTTER_PLUGIN_EXPORT uint8_t* getImageFromCamera(int handle, int* outSize, int timeoutMs, int /*reserved*/,
                                                  int width, int height) {
    // Nowhere to report anything: nothing is done.
    if (outSize == nullptr) return nullptr;
    uint8_t* buffer = nullptr;
    try {
        SvCameraPtr camera = sorvansdk::CameraHandleManager::getInstance().getCamera(handle);
        if (!camera) {
            *outSize = SV_CAPTURE_FAILED;
            return nullptr;
        }
        // Three bytes per pixel, computed wide: a product that is not a
        // positive int names no buffer the library could fill.
        const long long wanted = static_cast<long long>(width) * height * 3;
        if (width <= 0 || height <= 0 || wanted > std::numeric_limits<int>::max()) {
            *outSize = SV_CAPTURE_FAILED;
            return nullptr;
        }
        int size = static_cast<int>(wanted);
        buffer = new (std::nothrow) uint8_t[static_cast<std::size_t>(size)];
        if (buffer == nullptr) {
            *outSize = SV_CAPTURE_FAILED;
            return nullptr;
        }
        // The size in is the buffer's capacity: the library refuses a larger frame.
        const SV_CAPTURE_RESULT status =
            SvGetImage(camera, buffer, &size, static_cast<uint16_t>(static_cast<unsigned>(timeoutMs) & 0xFFFFu));
        if (status == SV_CAPTURE_SUCCESS && size > 0) {
            *outSize = size;
            return buffer;
        }
        delete[] buffer;
        *outSize = status;
        return nullptr;
    } catch (...) {
        delete[] buffer;
        *outSize = SV_CAPTURE_FAILED;
        return nullptr;
    }
}

}  // extern "C"
