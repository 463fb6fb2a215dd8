#include "PluginHost.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <flutter/method_call.h>
#include <flutter/standard_message_codec.h>
#include <flutter/standard_method_codec.h>

#include <iomanip>
#include <sstream>
#include <stdexcept>

namespace sorvansdk_host {

namespace {

using flutter::EncodableValue;

constexpr const char* kRegistrarName = "SorvansdkPluginCApi";

// Copies whichever answer the codec decodes into a Reply.
class Capture : public flutter::MethodResult<EncodableValue> {
public:
    explicit Capture(Reply& reply) : reply_(reply) {}

protected:
    void SuccessInternal(const EncodableValue* value) override {
        reply_.kind = Reply::Kind::kSuccess;
        reply_.value = value != nullptr ? *value : EncodableValue();
    }
    void ErrorInternal(const std::string& code, const std::string& message, const EncodableValue* details) override {
        reply_.kind = Reply::Kind::kError;
        reply_.code = code;
        reply_.message = message;
        reply_.details = details != nullptr ? *details : EncodableValue();
    }
    void NotImplementedInternal() override { reply_.kind = Reply::Kind::kNotImplemented; }

private:
    Reply& reply_;
};

void* LoadPlugin(const std::string& path) {
#if defined(_WIN32)
    void* library = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
    if (library == nullptr) throw std::runtime_error("cannot load the plug-in: error " + std::to_string(GetLastError()));
#else
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) throw std::runtime_error(std::string("cannot load the plug-in: ") + dlerror());
#endif
    return library;
}

template <typename F>
F Symbol(void* library, const char* name) {
#if defined(_WIN32)
    void* address = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
    void* address = dlsym(library, name);
#endif
    if (address == nullptr) throw std::runtime_error(std::string("plug-in lacks the symbol ") + name);
    return reinterpret_cast<F>(address);
}

}  // namespace

std::vector<uint8_t> EncodeCall(const std::string& method, const EncodableValue& arguments) {
    flutter::MethodCall<EncodableValue> call(method, std::make_unique<EncodableValue>(arguments));
    return *flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(call);
}

Reply PendingCall::Wait(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait_for(lock, limit, [this] { return answers_ > 0; });
    return reply_;
}

bool PendingCall::Answered() {
    std::lock_guard<std::mutex> lock(mutex_);
    return answers_ > 0;
}

PluginHost::PluginHost(const std::string& pluginPath, const std::string& channel) : channel_(channel) {
    library_ = LoadPlugin(pluginPath);
    using Register = void (*)(FlutterDesktopPluginRegistrarRef);
    const auto registerPlugin = Symbol<Register>(library_, "SorvansdkPluginCApiRegisterWithRegistrar");
    allocateImageBuffer = Symbol<decltype(allocateImageBuffer)>(library_, "allocateImageBuffer");
    freeImageBuffer = Symbol<decltype(freeImageBuffer)>(library_, "freeImageBuffer");
    getImageFromCamera = Symbol<decltype(getImageFromCamera)>(library_, "getImageFromCamera");

    engine_ = std::make_unique<flutter_standin::Engine>();
    engine_->SetAppHandler(channel_, [this](const std::vector<uint8_t>& bytes, bool onPlatformThread) {
        AppMessage message;
        message.channel = channel_;
        message.onPlatformThread = onPlatformThread;
        auto call = flutter::StandardMethodCodec::GetInstance().DecodeMethodCall(bytes);
        if (call) {
            message.method = call->method_name();
            if (call->arguments() != nullptr) message.arguments = *call->arguments();
        } else {
            message.method = "<undecodable>";
        }
        std::lock_guard<std::mutex> lock(mutex_);
        message.sequence = ++sequence_;
        messages_.push_back(std::move(message));
        return std::vector<uint8_t>();
    });
    FlutterDesktopPluginRegistrarRef registrar = engine_->GetRegistrar(kRegistrarName);
    engine_->RunOnPlatformThread([&] { registerPlugin(registrar); });
}

PluginHost::~PluginHost() {
    engine_->Shutdown();
    // The library stays loaded: a detached upgrade thread may still be
    // returning through its code.
}

void PluginHost::ShutdownEngine() { engine_->Shutdown(); }

void PluginHost::DestroyPlugin() { engine_->DestroyRegistrar(kRegistrarName); }

uint64_t PluginHost::NextSequence() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ++sequence_;
}

std::shared_ptr<PendingCall> PluginHost::Prepare(flutter_standin::Engine::ReplyHandler& handler) {
    auto pending = std::make_shared<PendingCall>();
    handler = [this, pending](std::vector<uint8_t> bytes, bool onPlatformThread) {
        Reply reply;
        reply.onPlatformThread = onPlatformThread;
        reply.sequence = NextSequence();
        if (bytes.empty()) {
            reply.kind = Reply::Kind::kNotImplemented;
        } else {
            Capture capture(reply);
            if (!flutter::StandardMethodCodec::GetInstance().DecodeAndProcessResponseEnvelope(bytes.data(), bytes.size(),
                                                                                              &capture))
                reply.kind = Reply::Kind::kUndecodable;
        }
        reply.bytes = std::move(bytes);
        std::lock_guard<std::mutex> lock(pending->mutex_);
        if (++pending->answers_ > 1) {
            std::lock_guard<std::mutex> hostLock(mutex_);
            ++extraAnswers_;
            return;
        }
        pending->reply_ = std::move(reply);
        pending->done_.notify_all();
    };
    return pending;
}

std::shared_ptr<PendingCall> PluginHost::StartRaw(std::vector<uint8_t> message) {
    flutter_standin::Engine::ReplyHandler handler;
    auto pending = Prepare(handler);
    engine_->SendToPlugin(channel_, std::move(message), std::move(handler));
    return pending;
}

std::shared_ptr<PendingCall> PluginHost::Start(const std::string& method, const EncodableValue& arguments) {
    return StartRaw(EncodeCall(method, arguments));
}

std::vector<std::shared_ptr<PendingCall>> PluginHost::StartTogether(const std::vector<Call>& calls) {
    std::vector<std::shared_ptr<PendingCall>> pending;
    // Queued from the platform thread itself, the calls would wait behind
    // whatever is queued; delivered inside one task they run back to back.
    engine_->RunOnPlatformThread([&] {
        for (const auto& call : calls) {
            flutter_standin::Engine::ReplyHandler handler;
            pending.push_back(Prepare(handler));
            engine_->DeliverNow(channel_, EncodeCall(call.first, call.second), std::move(handler));
        }
    });
    return pending;
}

Reply PluginHost::Invoke(const std::string& method, const EncodableValue& arguments) {
    return Start(method, arguments)->Wait();
}

std::vector<AppMessage> PluginHost::Messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

void PluginHost::ClearMessages() {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.clear();
}

int PluginHost::ExtraAnswers() {
    std::lock_guard<std::mutex> lock(mutex_);
    return extraAnswers_;
}

std::string Describe(const EncodableValue& value) {
    std::ostringstream out;
    if (value.IsNull()) {
        out << "null";
    } else if (const auto* b = std::get_if<bool>(&value)) {
        out << (*b ? "true" : "false");
    } else if (const auto* i = std::get_if<int32_t>(&value)) {
        out << *i;
    } else if (const auto* l = std::get_if<int64_t>(&value)) {
        out << *l;
    } else if (const auto* d = std::get_if<double>(&value)) {
        out << *d;
    } else if (const auto* s = std::get_if<std::string>(&value)) {
        out << std::quoted(*s);
    } else if (const auto* list = std::get_if<flutter::EncodableList>(&value)) {
        out << "[";
        for (std::size_t n = 0; n < list->size(); ++n) out << (n ? ", " : "") << Describe((*list)[n]);
        out << "]";
    } else if (const auto* map = std::get_if<flutter::EncodableMap>(&value)) {
        out << "{";
        bool first = true;
        for (const auto& entry : *map) {
            out << (first ? "" : ", ") << Describe(entry.first) << ": " << Describe(entry.second);
            first = false;
        }
        out << "}";
    } else {
        out << "<typed data>";
    }
    return out.str();
}

std::string Describe(const Reply& reply) {
    switch (reply.kind) {
    case Reply::Kind::kSuccess:
        return Describe(reply.value);
    case Reply::Kind::kError:
        return "PlatformException(" + reply.code + ", " + reply.message + ", " + Describe(reply.details) + ")";
    case Reply::Kind::kNotImplemented:
        return "MissingPluginException";
    case Reply::Kind::kUndecodable:
        return "<undecodable answer>";
    default:
        return "<no answer>";
    }
}

}  // namespace sorvansdk_host
