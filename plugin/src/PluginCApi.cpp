#include <flutter/plugin_registrar_windows.h>

#include <sorvansdk_plugin/sorvansdk_plugin_c_api.h>

#include "SorvanSDKPlugin.h"

extern "C" FLUTTER_PLUGIN_EXPORT void SorvansdkPluginCApiRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar) {
    sorvansdk::SorvanSDKPlugin::RegisterWithRegistrar(
        flutter::PluginRegistrarManager::GetInstance()->GetRegistrar<flutter::PluginRegistrarWindows>(registrar));
}
