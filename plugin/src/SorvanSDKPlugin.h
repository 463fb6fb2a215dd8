#pragma once

#include <flutter/encodable_value.h>
#include <flutter/method_channel.h>
#include <flutter/plugin_registrar_windows.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "PluginArguments.h"
#include "PluginMethods.h"

namespace sorvansdk {

class UpgradeHub;

using MethodCall = flutter::MethodCall<flutter::EncodableValue>;
using MethodResultPtr = std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>>;

// The plug-in object the registrar owns: the channel "sorvansdk" and the
// handlers of its methods.
class SorvanSDKPluginImpl : public flutter::Plugin {
public:
    static void RegisterWithRegistrar(flutter::PluginRegistrarWindows* registrar);

    SorvanSDKPluginImpl();
    ~SorvanSDKPluginImpl() override;

    SorvanSDKPluginImpl(const SorvanSDKPluginImpl&) = delete;
    SorvanSDKPluginImpl& operator=(const SorvanSDKPluginImpl&) = delete;

private:
    void HandleMethodCall(const MethodCall& call, MethodResultPtr result);

    // The argument itself as an int or a string; std::invalid_argument with
    // `message` when it is missing or of another type.
    template <typename T>
    static T extractArgument(const flutter::EncodableValue* value, const std::string& message) {
        return ArgumentAs<T>(value, message);
    }

#define SORVANSDK_DECLARE_HANDLER(name, handler) void handler(const MethodCall& call, MethodResultPtr result);
    SORVANSDK_PLUGIN_METHODS(SORVANSDK_DECLARE_HANDLER)
#undef SORVANSDK_DECLARE_HANDLER

    std::unique_ptr<flutter::MethodChannel<flutter::EncodableValue>> channel;
    // Shared with running upgrade jobs, which may outlive this object.
    std::shared_ptr<UpgradeHub> upgrades;
};

class SorvanSDKPlugin {
public:
    static void RegisterWithRegistrar(flutter::PluginRegistrarWindows* registrar) {
        SorvanSDKPluginImpl::RegisterWithRegistrar(registrar);
    }
};

}  // namespace sorvansdk
