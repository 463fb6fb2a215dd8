// The stand-in engine: the FlutterDesktop C functions a plug-in imports,
// over one platform thread and its task queue.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <future>
#include <iostream>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "flutter_messenger.h"
#include "flutter_plugin_registrar.h"
#include "flutter_standin_engine.h"
#include "flutter_standin_tasks.h"
#include "flutter_texture_registrar.h"
#include "flutter_windows.h"

using flutter_standin::Engine;

struct FlutterDesktopMessenger {
    std::atomic<int> refs{1};
    // Held by Lock/Unlock and by every call into the engine, so the engine
    // cannot go while a late answer is being sent.
    std::recursive_mutex mutex;
    Engine::Impl* engine = nullptr;  // null once the engine is gone
};

struct FlutterDesktopPluginRegistrar {
    FlutterDesktopMessengerRef messenger = nullptr;
    FlutterDesktopOnPluginRegistrarDestroyed on_destroyed = nullptr;
};

struct _FlutterPlatformMessageResponseHandle {
    Engine::ReplyHandler reply;
};

struct Engine::Impl {
    struct PluginCallback {
        FlutterDesktopMessageCallback callback = nullptr;
        void* user_data = nullptr;
    };

    std::mutex queue_mutex;
    std::condition_variable queue_ready;
    std::deque<std::function<void(bool run)>> queue;
    bool accepting = true;
    bool stopping = false;
    std::thread platform;
    std::thread::id platform_id;

    FlutterDesktopMessengerRef messenger = nullptr;

    // Touched on the platform thread, and by the host while setting up.
    std::mutex state_mutex;
    std::map<std::string, std::unique_ptr<FlutterDesktopPluginRegistrar>> registrars;
    std::map<std::string, PluginCallback> plugin_callbacks;
    std::map<std::string, AppHandler> app_handlers;
    std::set<std::unique_ptr<_FlutterPlatformMessageResponseHandle>> pending_responses;
    bool shut_down = false;

    bool OnPlatformThread() const { return std::this_thread::get_id() == platform_id; }

    bool Post(std::function<void(bool run)> task) {
        {
            std::lock_guard<std::mutex> lock(queue_mutex);
            if (accepting) {
                queue.push_back(std::move(task));
                queue_ready.notify_one();
                return true;
            }
        }
        task(false);
        return false;
    }

    void Loop() {
        for (;;) {
            std::function<void(bool)> task;
            {
                std::unique_lock<std::mutex> lock(queue_mutex);
                queue_ready.wait(lock, [this] { return stopping || !queue.empty(); });
                if (queue.empty()) return;
                task = std::move(queue.front());
                queue.pop_front();
                if (stopping) {
                    lock.unlock();
                    task(false);
                    continue;
                }
            }
            task(true);
        }
    }

    // Hands an application message to the plug-in's callback (platform thread).
    void Deliver(const std::string& channel, const std::vector<uint8_t>& message, ReplyHandler reply) {
        PluginCallback target;
        {
            std::lock_guard<std::mutex> lock(state_mutex);
            auto it = plugin_callbacks.find(channel);
            if (it != plugin_callbacks.end()) target = it->second;
        }
        if (target.callback == nullptr) {
            if (reply) reply({}, true);
            return;
        }
        auto handle = std::make_unique<_FlutterPlatformMessageResponseHandle>();
        handle->reply = std::move(reply);
        FlutterDesktopMessage delivered{};
        delivered.struct_size = sizeof delivered;
        delivered.channel = channel.c_str();
        delivered.message = message.data();
        delivered.message_size = message.size();
        delivered.response_handle = handle.get();
        {
            std::lock_guard<std::mutex> lock(state_mutex);
            pending_responses.insert(std::move(handle));
        }
        target.callback(messenger, &delivered, target.user_data);
    }

    std::vector<uint8_t> DeliverToApp(const std::string& channel, const uint8_t* data, size_t size) {
        AppHandler handler;
        {
            std::lock_guard<std::mutex> lock(state_mutex);
            auto it = app_handlers.find(channel);
            if (it != app_handlers.end()) handler = it->second;
        }
        if (!handler) return {};
        return handler(std::vector<uint8_t>(data, data + size), OnPlatformThread());
    }
};

namespace flutter_standin {

Engine::Engine() : impl_(std::make_unique<Impl>()) {
    impl_->messenger = new FlutterDesktopMessenger();
    impl_->messenger->engine = impl_.get();
    std::promise<void> started;
    impl_->platform = std::thread([this, &started] {
        impl_->platform_id = std::this_thread::get_id();
        started.set_value();
        impl_->Loop();
    });
    started.get_future().wait();
}

Engine::~Engine() {
    Shutdown();
    FlutterDesktopMessengerRelease(impl_->messenger);
}

FlutterDesktopPluginRegistrarRef Engine::GetRegistrar(const std::string& plugin_name) {
    std::lock_guard<std::mutex> lock(impl_->state_mutex);
    auto& registrar = impl_->registrars[plugin_name];
    if (!registrar) {
        registrar = std::make_unique<FlutterDesktopPluginRegistrar>();
        registrar->messenger = impl_->messenger;
    }
    return registrar.get();
}

void Engine::RunOnPlatformThread(const std::function<void()>& task) {
    if (impl_->OnPlatformThread()) {
        task();
        return;
    }
    std::promise<bool> done;
    impl_->Post([&task, &done](bool run) {
        if (run) task();
        done.set_value(run);
    });
    if (!done.get_future().get()) std::cerr << "stand-in engine: task dropped, the engine is shut down\n";
}

bool Engine::PostTask(std::function<void()> task) {
    return impl_->Post([task = std::move(task)](bool run) {
        if (run) task();
    });
}

void Engine::SendToPlugin(const std::string& channel, std::vector<uint8_t> message, ReplyHandler reply) {
    Impl* impl = impl_.get();
    impl->Post([impl, channel, message = std::move(message), reply = std::move(reply)](bool run) mutable {
        if (run) impl->Deliver(channel, message, std::move(reply));
    });
}

void Engine::DeliverNow(const std::string& channel, const std::vector<uint8_t>& message, ReplyHandler reply) {
    if (!impl_->OnPlatformThread()) {
        std::cerr << "stand-in engine: DeliverNow off the platform thread; message dropped\n";
        return;
    }
    impl_->Deliver(channel, message, std::move(reply));
}

void Engine::SetAppHandler(const std::string& channel, AppHandler handler) {
    std::lock_guard<std::mutex> lock(impl_->state_mutex);
    if (handler) impl_->app_handlers[channel] = std::move(handler);
    else impl_->app_handlers.erase(channel);
}

void Engine::DestroyRegistrar(const std::string& plugin_name) {
    RunOnPlatformThread([this, &plugin_name] {
        std::unique_ptr<FlutterDesktopPluginRegistrar> registrar;
        {
            std::lock_guard<std::mutex> lock(impl_->state_mutex);
            auto it = impl_->registrars.find(plugin_name);
            if (it == impl_->registrars.end()) return;
            registrar = std::move(it->second);
            impl_->registrars.erase(it);
        }
        if (registrar->on_destroyed != nullptr) registrar->on_destroyed(registrar.get());
    });
}

void Engine::Shutdown() {
    {
        std::lock_guard<std::mutex> lock(impl_->state_mutex);
        if (impl_->shut_down) return;
        impl_->shut_down = true;
    }
    // Registrars go on the platform thread, as with the real engine; their
    // destruction handlers free the plug-ins.
    RunOnPlatformThread([this] {
        std::map<std::string, std::unique_ptr<FlutterDesktopPluginRegistrar>> registrars;
        {
            std::lock_guard<std::mutex> lock(impl_->state_mutex);
            registrars.swap(impl_->registrars);
        }
        for (auto& entry : registrars)
            if (entry.second->on_destroyed != nullptr) entry.second->on_destroyed(entry.second.get());
    });
    {
        std::lock_guard<std::recursive_mutex> lock(impl_->messenger->mutex);
        impl_->messenger->engine = nullptr;
    }
    {
        std::lock_guard<std::mutex> lock(impl_->queue_mutex);
        impl_->accepting = false;
        impl_->stopping = true;
        impl_->queue_ready.notify_one();
    }
    impl_->platform.join();
    std::lock_guard<std::mutex> lock(impl_->state_mutex);
    impl_->pending_responses.clear();
    impl_->plugin_callbacks.clear();
    impl_->app_handlers.clear();
}

bool Engine::IsPlatformThread() const { return impl_->OnPlatformThread(); }

int Engine::MessengerReferences() const { return impl_->messenger->refs.load(); }

}  // namespace flutter_standin

namespace {

// The engine behind a messenger, with the messenger's lock held; null when gone.
class EngineAccess {
public:
    explicit EngineAccess(FlutterDesktopMessengerRef messenger) : lock_(messenger->mutex), engine_(messenger->engine) {}
    Engine::Impl* get() const { return engine_; }

private:
    std::lock_guard<std::recursive_mutex> lock_;
    Engine::Impl* engine_;
};

}  // namespace

extern "C" {

bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger, const char* channel, const uint8_t* message,
                                 const size_t message_size) {
    if (messenger == nullptr || channel == nullptr) return false;
    EngineAccess access(messenger);
    if (access.get() == nullptr) return false;
    access.get()->DeliverToApp(channel, message, message_size);
    return true;
}

bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef messenger, const char* channel,
                                          const uint8_t* message, const size_t message_size,
                                          const FlutterDesktopBinaryReply reply, void* user_data) {
    if (messenger == nullptr || channel == nullptr) return false;
    EngineAccess access(messenger);
    if (access.get() == nullptr) return false;
    const std::vector<uint8_t> answer = access.get()->DeliverToApp(channel, message, message_size);
    if (reply != nullptr) reply(answer.empty() ? nullptr : answer.data(), answer.size(), user_data);
    return true;
}

void FlutterDesktopMessengerSendResponse(FlutterDesktopMessengerRef messenger,
                                         const FlutterDesktopMessageResponseHandle* handle, const uint8_t* data,
                                         size_t data_length) {
    if (messenger == nullptr || handle == nullptr) return;
    EngineAccess access(messenger);
    Engine::Impl* engine = access.get();
    if (engine == nullptr) return;
    std::unique_ptr<_FlutterPlatformMessageResponseHandle> owned;
    {
        std::lock_guard<std::mutex> lock(engine->state_mutex);
        for (auto it = engine->pending_responses.begin(); it != engine->pending_responses.end(); ++it) {
            if (it->get() == handle) {
                owned = std::move(const_cast<std::unique_ptr<_FlutterPlatformMessageResponseHandle>&>(*it));
                engine->pending_responses.erase(it);
                break;
            }
        }
    }
    if (!owned) {
        std::cerr << "stand-in engine: response to an unknown or already answered message\n";
        return;
    }
    if (owned->reply)
        owned->reply(std::vector<uint8_t>(data, data + (data != nullptr ? data_length : 0)), engine->OnPlatformThread());
}

void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger, const char* channel,
                                        FlutterDesktopMessageCallback callback, void* user_data) {
    if (messenger == nullptr || channel == nullptr) return;
    EngineAccess access(messenger);
    if (access.get() == nullptr) return;
    std::lock_guard<std::mutex> lock(access.get()->state_mutex);
    if (callback == nullptr) access.get()->plugin_callbacks.erase(channel);
    else access.get()->plugin_callbacks[channel] = {callback, user_data};
}

FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger) {
    messenger->refs.fetch_add(1);
    return messenger;
}

void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger) {
    if (messenger->refs.fetch_sub(1) == 1) delete messenger;
}

bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger) {
    std::lock_guard<std::recursive_mutex> lock(messenger->mutex);
    return messenger->engine != nullptr;
}

FlutterDesktopMessengerRef FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger) {
    messenger->mutex.lock();
    return messenger;
}

void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger) { messenger->mutex.unlock(); }

FlutterDesktopMessengerRef FlutterDesktopPluginRegistrarGetMessenger(FlutterDesktopPluginRegistrarRef registrar) {
    return registrar->messenger;
}

void FlutterDesktopPluginRegistrarSetDestructionHandler(FlutterDesktopPluginRegistrarRef registrar,
                                                        FlutterDesktopOnPluginRegistrarDestroyed callback) {
    registrar->on_destroyed = callback;
}

FlutterDesktopViewRef FlutterDesktopPluginRegistrarGetView(FlutterDesktopPluginRegistrarRef) { return nullptr; }

FlutterDesktopTextureRegistrarRef FlutterDesktopRegistrarGetTextureRegistrar(FlutterDesktopPluginRegistrarRef) {
    return nullptr;
}

int64_t FlutterDesktopTextureRegistrarRegisterExternalTexture(FlutterDesktopTextureRegistrarRef,
                                                              const FlutterDesktopTextureInfo*) {
    std::cerr << "stand-in engine: external textures are not available in this build\n";
    return -1;
}

void FlutterDesktopTextureRegistrarUnregisterExternalTexture(FlutterDesktopTextureRegistrarRef, int64_t,
                                                             void (*callback)(void*), void* user_data) {
    if (callback != nullptr) callback(user_data);
}

bool FlutterDesktopTextureRegistrarMarkExternalTextureFrameAvailable(FlutterDesktopTextureRegistrarRef, int64_t) {
    return false;
}

bool FlutterStandInPostPlatformTask(FlutterDesktopMessengerRef messenger, FlutterStandInTask task, void* data) {
    if (messenger == nullptr || task == nullptr) return false;
    Engine::Impl* engine = nullptr;
    {
        EngineAccess access(messenger);
        engine = access.get();
        if (engine != nullptr) return engine->Post([task, data](bool run) { task(data, run); });
    }
    task(data, false);
    return false;
}

}  // extern "C"
