// A whole camera run through the Flutter plug-in, without Flutter: the
// plug-in is loaded as a shared library, registered with the stand-in
// engine, and driven with encoded method calls and its frame functions,
// printing what a Dart application would receive.
//
// Usage: sv_plugin_camera_run [CAMERA_INDEX]
// With SORVANSDK_BACKEND=sim it runs on the simulated machine.

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "PluginHost.h"

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using sorvansdk_host::Describe;
using sorvansdk_host::PluginHost;
using sorvansdk_host::Reply;

namespace {

EncodableValue Int(int v) { return EncodableValue(static_cast<int32_t>(v)); }

Reply Step(PluginHost& host, const std::string& method, const EncodableValue& arguments = EncodableValue()) {
    const Reply reply = host.Invoke(method, arguments);
    std::printf("%s(%s) -> %s\n", method.c_str(), Describe(arguments).c_str(), Describe(reply).c_str());
    return reply;
}

int IntOf(const Reply& reply) {
    const auto* value = reply.kind == Reply::Kind::kSuccess ? std::get_if<int32_t>(&reply.value) : nullptr;
    return value != nullptr ? *value : -1;
}

int Field(const EncodableMap& map, const char* key) { return std::get<int32_t>(map.at(EncodableValue(key))); }

}  // namespace

int main(int argc, char** argv) {
    const int index = argc > 1 ? std::atoi(argv[1]) : 0;
    try {
        PluginHost host(SORVANSDK_PLUGIN_PATH);
        Step(host, "getSorvanSDKVersion");
        const Reply names = Step(host, "discoverCameraDevices");
        if (names.kind != Reply::Kind::kSuccess || std::get<EncodableList>(names.value).empty()) {
            std::printf("no cameras\n");
            return 1;
        }
        const int handle = IntOf(Step(host, "initializeCameraDevice", Int(index)));
        if (handle < 0 || IntOf(Step(host, "openCamera", Int(handle))) != 0) return 1;

        // The first uncompressed format, else the first one.
        const Reply formats = Step(host, "getFormatList", Int(handle));
        if (formats.kind != Reply::Kind::kSuccess) return 1;
        const auto& list = std::get<EncodableList>(formats.value);
        if (list.empty()) return 1;
        const EncodableMap* chosen = &std::get<EncodableMap>(list[0]);
        for (const auto& entry : list) {
            const auto& format = std::get<EncodableMap>(entry);
            if (Field(format, "format") == 1 || Field(format, "format") == 2) {
                chosen = &format;
                break;
            }
        }
        const int width = Field(*chosen, "width"), height = Field(*chosen, "height");
        if (IntOf(Step(host, "setFormat", EncodableValue(EncodableList{Int(handle), Int(Field(*chosen, "index"))}))) != 0)
            return 1;
        if (IntOf(Step(host, "startStreaming", EncodableValue(EncodableList{Int(handle), Int(Field(*chosen, "format")),
                                                                             Int(width), Int(height)}))) != 0)
            return 1;

        int frames = 0;
        for (int n = 0; n < 10; ++n) {
            int size = 0;
            uint8_t* frame = host.getImageFromCamera(handle, &size, 2000, 0, width, height);
            std::printf("getImageFromCamera(%d, %dx%d) -> %s, outSize %d\n", handle, width, height,
                        frame != nullptr ? "frame" : "null", size);
            if (frame != nullptr) ++frames;
            host.freeImageBuffer(frame);
        }

        Step(host, "getUVCImageProcessing", EncodableValue(EncodableList{Int(handle), Int(0)}));
        Step(host, "stopStreaming", Int(handle));
        Step(host, "closeCamera", Int(handle));
        Step(host, "releaseCameraHandle", Int(handle));
        std::printf("%d of 10 frames\n", frames);
        return frames == 10 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
