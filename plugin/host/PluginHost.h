#pragma once

// A Dart-free host for the plug-in: loads it as a shared library, registers
// it with a stand-in engine through its C registration function, sends
// encoded method calls as a Flutter application would, collects the encoded
// answers and the messages the plug-in sends, and finds the frame functions
// by symbol name.

#include <flutter/encodable_value.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <flutter_standin_engine.h>

namespace sorvansdk_host {

struct Reply {
    enum class Kind { kPending, kSuccess, kError, kNotImplemented, kUndecodable };
    Kind kind = Kind::kPending;
    flutter::EncodableValue value;    // kSuccess
    std::string code;                 // kError
    std::string message;
    flutter::EncodableValue details;
    bool onPlatformThread = false;
    uint64_t sequence = 0;            // order among answers and messages
    std::vector<uint8_t> bytes;       // as the engine received them
};

struct AppMessage {
    std::string channel;
    std::string method;
    flutter::EncodableValue arguments;
    bool onPlatformThread = false;
    uint64_t sequence = 0;
};

// A call sent and not yet necessarily answered.
class PendingCall {
public:
    // The answer; kPending when none came within `limit`.
    Reply Wait(std::chrono::milliseconds limit = std::chrono::seconds(60));
    bool Answered();

private:
    friend class PluginHost;
    std::mutex mutex_;
    std::condition_variable done_;
    int answers_ = 0;
    Reply reply_;
};

class PluginHost {
public:
    using Call = std::pair<std::string, flutter::EncodableValue>;

    // Throws std::runtime_error when the library or one of its symbols is missing.
    explicit PluginHost(const std::string& pluginPath, const std::string& channel = "sorvansdk");
    ~PluginHost();

    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // Sends a call and waits for its answer.
    Reply Invoke(const std::string& method, const flutter::EncodableValue& arguments = flutter::EncodableValue());
    // Sends a call; the answer comes later.
    std::shared_ptr<PendingCall> Start(const std::string& method,
                                       const flutter::EncodableValue& arguments = flutter::EncodableValue());
    // Sends raw bytes on the channel.
    std::shared_ptr<PendingCall> StartRaw(std::vector<uint8_t> message);
    // Delivers several calls within one turn of the platform thread, so that
    // nothing else runs there between them.
    std::vector<std::shared_ptr<PendingCall>> StartTogether(const std::vector<Call>& calls);

    // Messages the plug-in sent to the application so far.
    std::vector<AppMessage> Messages();
    void ClearMessages();
    // How many answers arrived for calls already answered once (must stay 0).
    int ExtraAnswers();

    // Destroys the engine's registrars and with them the plug-in object.
    void ShutdownEngine();
    // Destroys the plug-in object while the engine keeps running.
    void DestroyPlugin();
    flutter_standin::Engine& engine() { return *engine_; }

    // The frame functions, found by symbol name.
    uint8_t* (*allocateImageBuffer)(int size) = nullptr;
    void (*freeImageBuffer)(uint8_t* buffer) = nullptr;
    uint8_t* (*getImageFromCamera)(int handle, int* outSize, int timeoutMs, int reserved, int width,
                                   int height) = nullptr;

private:
    std::shared_ptr<PendingCall> Prepare(flutter_standin::Engine::ReplyHandler& handler);
    uint64_t NextSequence();

    std::string channel_;
    void* library_ = nullptr;
    std::unique_ptr<flutter_standin::Engine> engine_;
    std::mutex mutex_;
    uint64_t sequence_ = 0;
    int extraAnswers_ = 0;
    std::vector<AppMessage> messages_;
};

// Encodes a call as the application's codec does.
std::vector<uint8_t> EncodeCall(const std::string& method, const flutter::EncodableValue& arguments);

// Readable text of a value, in the style of Dart's toString.
std::string Describe(const flutter::EncodableValue& value);
std::string Describe(const Reply& reply);

}  // namespace sorvansdk_host
