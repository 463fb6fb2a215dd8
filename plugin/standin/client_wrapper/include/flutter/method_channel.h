#pragma once

#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <utility>

#include "binary_messenger.h"
#include "engine_method_result.h"
#include "method_call.h"
#include "method_codec.h"
#include "method_result.h"

namespace flutter {

class EncodableValue;

template <typename T = EncodableValue>
using MethodCallHandler = std::function<void(const MethodCall<T>& call, std::unique_ptr<MethodResult<T>> result)>;

// A named channel of method calls in both directions over a messenger.
template <typename T = EncodableValue>
class MethodChannel {
public:
    // The messenger and codec must outlive the channel.
    MethodChannel(BinaryMessenger* messenger, const std::string& name, const MethodCodec<T>* codec)
        : messenger_(messenger), name_(name), codec_(codec) {}
    ~MethodChannel() = default;

    MethodChannel(const MethodChannel&) = delete;
    MethodChannel& operator=(const MethodChannel&) = delete;

    // Sends a call to the application; the answer, if any, goes to `result`.
    void InvokeMethod(const std::string& method, std::unique_ptr<T> arguments,
                      std::unique_ptr<MethodResult<T>> result = nullptr) {
        MethodCall<T> call(method, std::move(arguments));
        std::unique_ptr<std::vector<uint8_t>> message = codec_->EncodeMethodCall(call);
        if (!result) {
            messenger_->Send(name_, message->data(), message->size(), nullptr);
            return;
        }
        std::shared_ptr<MethodResult<T>> shared(std::move(result));
        const MethodCodec<T>* codec = codec_;
        BinaryReply on_reply = [shared, codec](const uint8_t* reply, size_t reply_size) {
            if (reply_size == 0) {
                shared->NotImplemented();
                return;
            }
            if (!codec->DecodeAndProcessResponseEnvelope(reply, reply_size, shared.get()))
                std::cerr << "Error: the answer to a method call could not be decoded.\n";
        };
        messenger_->Send(name_, message->data(), message->size(), std::move(on_reply));
    }

    // Installs the handler of calls from the application; null removes it.
    void SetMethodCallHandler(MethodCallHandler<T> handler) const {
        if (!handler) {
            messenger_->SetMessageHandler(name_, nullptr);
            return;
        }
        const MethodCodec<T>* codec = codec_;
        const std::string name = name_;
        BinaryMessageHandler binary_handler = [handler, codec, name](const uint8_t* message, size_t message_size,
                                                                     BinaryReply reply) {
            auto result = std::make_unique<EngineMethodResult<T>>(std::move(reply), codec);
            std::unique_ptr<MethodCall<T>> call = codec->DecodeMethodCall(message, message_size);
            if (!call) {
                std::cerr << "Error: a message on channel " << name << " is not a method call.\n";
                result->NotImplemented();
                return;
            }
            handler(*call, std::move(result));
        };
        messenger_->SetMessageHandler(name_, std::move(binary_handler));
    }

private:
    BinaryMessenger* messenger_;
    std::string name_;
    const MethodCodec<T>* codec_;
};

}  // namespace flutter
