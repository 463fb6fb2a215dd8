#include "SorvanSDKPlugin.h"

#include <flutter/standard_method_codec.h>

#include <cstring>
#include <mutex>
#include <utility>

#include "UpgradeHub.h"

namespace sorvansdk {

namespace {

using flutter::EncodableValue;

// Passes answers through and remembers whether one was given, so that the
// dispatcher can answer an escaping exception only for a call still open,
// even when the handler handed its reply on to a job.
class TrackedResult : public flutter::MethodResult<EncodableValue> {
public:
    struct State {
        std::mutex mutex;
        bool answered = false;
        MethodResultPtr inner;

        // True for the first answer only.
        bool Claim() {
            std::lock_guard<std::mutex> lock(mutex);
            const bool first = !answered;
            answered = true;
            return first;
        }
    };

    explicit TrackedResult(std::shared_ptr<State> state) : state_(std::move(state)) {}

protected:
    void SuccessInternal(const EncodableValue* value) override {
        state_->Claim();
        if (value != nullptr) state_->inner->Success(*value);
        else state_->inner->Success();
    }
    void ErrorInternal(const std::string& code, const std::string& message, const EncodableValue* details) override {
        state_->Claim();
        if (details != nullptr) state_->inner->Error(code, message, *details);
        else state_->inner->Error(code, message);
    }
    void NotImplementedInternal() override {
        state_->Claim();
        state_->inner->NotImplemented();
    }

private:
    std::shared_ptr<State> state_;
};

using Handler = void (SorvanSDKPluginImpl::*)(const MethodCall&, MethodResultPtr);

}  // namespace

void SorvanSDKPluginImpl::RegisterWithRegistrar(flutter::PluginRegistrarWindows* registrar) {
    auto channel = std::make_unique<flutter::MethodChannel<EncodableValue>>(
        registrar->messenger(), "sorvansdk", &flutter::StandardMethodCodec::GetInstance());
    auto plugin = std::make_unique<SorvanSDKPluginImpl>();
    UpgradeHub::TaskRunner runner;
#if defined(SORVANSDK_FLUTTER_STANDIN)
    runner = registrar->GetPlatformTaskRunner();
#endif
    plugin->upgrades = std::make_shared<UpgradeHub>(channel.get(), std::move(runner));
    plugin->channel = std::move(channel);
    SorvanSDKPluginImpl* self = plugin.get();
    self->channel->SetMethodCallHandler(
        [self](const MethodCall& call, MethodResultPtr result) { self->HandleMethodCall(call, std::move(result)); });
    registrar->AddPlugin(std::move(plugin));
}

SorvanSDKPluginImpl::SorvanSDKPluginImpl() = default;

SorvanSDKPluginImpl::~SorvanSDKPluginImpl() {
    // Jobs still running keep the hub; they must not reach the channel that
    // goes with this object.
    if (upgrades) upgrades->Detach();
    if (channel) channel->SetMethodCallHandler(nullptr);
}

void SorvanSDKPluginImpl::HandleMethodCall(const MethodCall& call, MethodResultPtr result) {
    struct Entry {
        const char* name;
        Handler handler;
    };
#define SORVANSDK_TABLE_ENTRY(name, handler) {name, &SorvanSDKPluginImpl::handler},
    static const Entry kMethods[] = {SORVANSDK_PLUGIN_METHODS(SORVANSDK_TABLE_ENTRY)};
#undef SORVANSDK_TABLE_ENTRY

    const std::string& method = call.method_name();
    Handler handler = nullptr;
    for (const Entry& entry : kMethods) {
        if (method == entry.name) {
            handler = entry.handler;
            break;
        }
    }
    if (handler == nullptr) {
        result->NotImplemented();
        return;
    }

    auto state = std::make_shared<TrackedResult::State>();
    state->inner = std::move(result);
    try {
        (this->*handler)(call, std::make_unique<TrackedResult>(state));
    } catch (const std::exception& e) {
        if (state->Claim())
            state->inner->Error("SORVANSDK_ERROR", "Unexpected error in method call", EncodableValue(std::string(e.what())));
    }
}

}  // namespace sorvansdk
