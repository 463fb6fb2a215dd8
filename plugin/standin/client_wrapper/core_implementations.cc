// The client wrapper's bridge to the engine's C functions: the messenger,
// the registrar and its manager.

#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "flutter/binary_messenger.h"
#include "flutter/plugin_registrar.h"

namespace flutter {

namespace {

// Passes a message from the engine to the handler installed for its channel.
// The reply keeps its own reference of the messenger, so work that answers
// late (on another thread, after the engine went) finds out whether the
// engine is still there instead of touching a dead one.
void ForwardToHandler(FlutterDesktopMessengerRef messenger, const FlutterDesktopMessage* message,
                      void* user_data) {
    auto* handler = static_cast<BinaryMessageHandler*>(user_data);
    std::shared_ptr<FlutterDesktopMessenger> keep(FlutterDesktopMessengerAddRef(messenger),
                                                  &FlutterDesktopMessengerRelease);
    const FlutterDesktopMessageResponseHandle* response_handle = message->response_handle;
    BinaryReply reply = [keep, response_handle](const uint8_t* data, size_t size) {
        if (response_handle == nullptr) {
            std::cerr << "Error: answer to a message that expects none; dropped.\n";
            return;
        }
        FlutterDesktopMessengerRef locked = FlutterDesktopMessengerLock(keep.get());
        if (FlutterDesktopMessengerIsAvailable(locked))
            FlutterDesktopMessengerSendResponse(locked, response_handle, data, size);
        FlutterDesktopMessengerUnlock(locked);
    };
    (*handler)(message->message, message->message_size, std::move(reply));
}

void ForwardReply(const uint8_t* data, size_t data_size, void* user_data) {
    std::unique_ptr<BinaryReply> reply(static_cast<BinaryReply*>(user_data));
    (*reply)(data, data_size);
}

class BinaryMessengerImpl : public BinaryMessenger {
public:
    explicit BinaryMessengerImpl(FlutterDesktopMessengerRef messenger) : messenger_(messenger) {}

    ~BinaryMessengerImpl() override {
        for (const auto& entry : handlers_)
            FlutterDesktopMessengerSetCallback(messenger_, entry.first.c_str(), nullptr, nullptr);
    }

    void Send(const std::string& channel, const uint8_t* message, size_t message_size,
              BinaryReply reply) const override {
        if (!reply) {
            FlutterDesktopMessengerSend(messenger_, channel.c_str(), message, message_size);
            return;
        }
        auto* captured = new BinaryReply(std::move(reply));
        if (!FlutterDesktopMessengerSendWithReply(messenger_, channel.c_str(), message, message_size,
                                                  &ForwardReply, captured))
            delete captured;
    }

    void SetMessageHandler(const std::string& channel, BinaryMessageHandler handler) override {
        if (!handler) {
            FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(), nullptr, nullptr);
            handlers_.erase(channel);
            return;
        }
        // Map nodes stay put, so the engine may keep the handler's address.
        BinaryMessageHandler& stored = handlers_[channel];
        stored = std::move(handler);
        FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(), &ForwardToHandler, &stored);
    }

private:
    FlutterDesktopMessengerRef messenger_;
    std::map<std::string, BinaryMessageHandler> handlers_;
};

}  // namespace

PluginRegistrar::PluginRegistrar(FlutterDesktopPluginRegistrarRef core_registrar)
    : registrar_(core_registrar),
      messenger_(std::make_unique<BinaryMessengerImpl>(FlutterDesktopPluginRegistrarGetMessenger(core_registrar))) {}

PluginRegistrar::~PluginRegistrar() { ClearPlugins(); }

void PluginRegistrar::AddPlugin(std::unique_ptr<Plugin> plugin) { plugins_.insert(std::move(plugin)); }

void PluginRegistrar::ClearPlugins() { plugins_.clear(); }

PluginRegistrarManager* PluginRegistrarManager::GetInstance() {
    static PluginRegistrarManager* instance = new PluginRegistrarManager();
    return instance;
}

void PluginRegistrarManager::Reset() {
    std::map<FlutterDesktopPluginRegistrarRef, std::unique_ptr<PluginRegistrar>> gone;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        gone.swap(registrars_);
    }
}

void PluginRegistrarManager::OnRegistrarDestroyed(FlutterDesktopPluginRegistrarRef registrar) {
    PluginRegistrarManager* manager = GetInstance();
    std::unique_ptr<PluginRegistrar> gone;
    {
        std::lock_guard<std::mutex> lock(manager->mutex_);
        auto it = manager->registrars_.find(registrar);
        if (it == manager->registrars_.end()) return;
        gone = std::move(it->second);
        manager->registrars_.erase(it);
    }
    // Destroyed outside the lock: plug-in destructors may ask for registrars.
}

}  // namespace flutter
