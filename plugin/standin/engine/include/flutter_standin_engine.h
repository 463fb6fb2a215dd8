#pragma once

// The stand-in engine's host side: what a Flutter application's engine
// would do, for tests and examples without Flutter. It owns a platform
// thread with a task queue, one registrar per plug-in name, and the
// application end of every channel ("Dart").

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "flutter_export.h"
#include "flutter_plugin_registrar.h"

namespace flutter_standin {

class FLUTTER_EXPORT Engine {
public:
    Engine();
    ~Engine();

    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // The registrar for a plug-in, made on first request.
    FlutterDesktopPluginRegistrarRef GetRegistrar(const std::string& plugin_name);

    // Runs `task` on the platform thread and waits for it. Runs it in place
    // when called on the platform thread.
    void RunOnPlatformThread(const std::function<void()>& task);
    // Queues `task` behind everything already queued; false when shut down.
    bool PostTask(std::function<void()> task);

    // Answer to a message from the application: the bytes (none for "not
    // implemented" or an unhandled channel) and whether it came on the
    // platform thread.
    using ReplyHandler = std::function<void(std::vector<uint8_t> reply, bool on_platform_thread)>;
    // Sends a message as the application does: delivered to the channel's
    // handler on the platform thread. `reply` is called once, or never when
    // the plug-in answers after the engine went.
    void SendToPlugin(const std::string& channel, std::vector<uint8_t> message, ReplyHandler reply);

    // The same, delivered at once; only on the platform thread (inside a
    // task), so that several messages arrive with nothing between them.
    void DeliverNow(const std::string& channel, const std::vector<uint8_t>& message, ReplyHandler reply);

    // The application's handler of messages a plug-in sends on `channel`;
    // its result is the answer (empty: none).
    using AppHandler = std::function<std::vector<uint8_t>(const std::vector<uint8_t>& message, bool on_platform_thread)>;
    void SetAppHandler(const std::string& channel, AppHandler handler);

    // Destroys one registrar (and the plug-ins on it) on the platform thread
    // while the engine keeps running, as if the plug-in were unloaded.
    void DestroyRegistrar(const std::string& plugin_name);

    // Destroys the registrars (their plug-ins go with them) on the platform
    // thread, then makes the messenger unavailable and stops the thread;
    // queued tasks are dropped. Called by the destructor too.
    void Shutdown();

    bool IsPlatformThread() const;

    // References held on the engine's messenger, its own included: work
    // that may still answer late (replies, task runners) holds one each.
    int MessengerReferences() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace flutter_standin
