#pragma once

#include <flutter_plugin_registrar.h>

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "binary_messenger.h"

namespace flutter {

// Base of every plug-in object the registrar owns.
class Plugin {
public:
    virtual ~Plugin() = default;
};

// The plug-in side of an engine registrar: its messenger, and ownership of
// the plug-in objects registered on it.
class PluginRegistrar {
public:
    explicit PluginRegistrar(FlutterDesktopPluginRegistrarRef core_registrar);
    virtual ~PluginRegistrar();

    PluginRegistrar(const PluginRegistrar&) = delete;
    PluginRegistrar& operator=(const PluginRegistrar&) = delete;

    BinaryMessenger* messenger() { return messenger_.get(); }

    // The registrar owns the plug-in until the engine destroys the registrar.
    void AddPlugin(std::unique_ptr<Plugin> plugin);

protected:
    FlutterDesktopPluginRegistrarRef registrar() const { return registrar_; }

    // Destroys the plug-ins while the messenger they use still exists.
    void ClearPlugins();

private:
    FlutterDesktopPluginRegistrarRef registrar_;
    std::unique_ptr<BinaryMessenger> messenger_;
    std::set<std::unique_ptr<Plugin>> plugins_;
};

// One wrapper object per engine registrar, made on first request and
// destroyed when the engine destroys its registrar.
class PluginRegistrarManager {
public:
    static PluginRegistrarManager* GetInstance();

    PluginRegistrarManager(const PluginRegistrarManager&) = delete;
    PluginRegistrarManager& operator=(const PluginRegistrarManager&) = delete;

    template <class T>
    T* GetRegistrar(FlutterDesktopPluginRegistrarRef registrar_ref) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = registrars_.find(registrar_ref);
        if (it == registrars_.end()) {
            auto wrapper = std::make_unique<T>(registrar_ref);
            FlutterDesktopPluginRegistrarSetDestructionHandler(registrar_ref, OnRegistrarDestroyed);
            it = registrars_.emplace(registrar_ref, std::move(wrapper)).first;
        }
        return static_cast<T*>(it->second.get());
    }

    // Drops every wrapper (for tests that reuse one process).
    void Reset();

private:
    PluginRegistrarManager() = default;
    static void OnRegistrarDestroyed(FlutterDesktopPluginRegistrarRef registrar);

    std::mutex mutex_;
    std::map<FlutterDesktopPluginRegistrarRef, std::unique_ptr<PluginRegistrar>> registrars_;
};

}  // namespace flutter
