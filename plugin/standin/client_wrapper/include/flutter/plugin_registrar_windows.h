#pragma once

#include <flutter_standin_tasks.h>
#include <flutter_windows.h>

#include <functional>
#include <memory>

#include "plugin_registrar.h"

namespace flutter {

// The engine's view as a plug-in sees it; the stand-in engine has none.
class FlutterView {
public:
    explicit FlutterView(FlutterDesktopViewRef view) : view_(view) {}
    FlutterDesktopViewRef view() const { return view_; }

private:
    FlutterDesktopViewRef view_;
};

// The registrar of the Windows embedding.
class PluginRegistrarWindows : public PluginRegistrar {
public:
    explicit PluginRegistrarWindows(FlutterDesktopPluginRegistrarRef core_registrar)
        : PluginRegistrar(core_registrar),
          view_(std::make_unique<FlutterView>(FlutterDesktopPluginRegistrarGetView(core_registrar))) {}

    ~PluginRegistrarWindows() override {
        // Plug-ins go first: they may still use the view.
        ClearPlugins();
    }

    // Null view inside: the stand-in engine is headless.
    FlutterView* GetView() { return view_.get(); }

    // Stand-in only (the SDK has no such call): posts work to the engine's
    // platform thread, in order. The runner keeps its own reference of the
    // messenger, so it may outlive this registrar; once the engine is gone
    // it runs nothing and answers false.
    using PlatformTaskRunner = std::function<bool(std::function<void()>)>;
    PlatformTaskRunner GetPlatformTaskRunner() {
        std::shared_ptr<FlutterDesktopMessenger> messenger(
            FlutterDesktopMessengerAddRef(FlutterDesktopPluginRegistrarGetMessenger(registrar())),
            &FlutterDesktopMessengerRelease);
        return [messenger](std::function<void()> task) {
            auto* owned = new std::function<void()>(std::move(task));
            return FlutterStandInPostPlatformTask(messenger.get(), &RunTask, owned);
        };
    }

private:
    static void RunTask(void* data, bool run) {
        std::unique_ptr<std::function<void()>> task(static_cast<std::function<void()>*>(data));
        if (run) (*task)();
    }

    std::unique_ptr<FlutterView> view_;
};

}  // namespace flutter
