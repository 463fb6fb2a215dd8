#pragma once

#include <cstdint>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "binary_messenger.h"
#include "method_codec.h"
#include "method_result.h"

namespace flutter {

// The answer to a call that came from the engine: encodes it with the
// channel's codec and sends it back through the messenger's reply. Only the
// first answer is sent; a reply never answered sends an empty one when it
// goes, so the caller is not left waiting.
template <typename T>
class EngineMethodResult : public MethodResult<T> {
public:
    EngineMethodResult(BinaryReply reply, const MethodCodec<T>* codec)
        : reply_(std::move(reply)), codec_(codec) {}

    ~EngineMethodResult() override {
        if (reply_) {
            std::cerr << "Warning: a method call was never answered; sending an empty answer.\n";
            Send(nullptr);
        }
    }

protected:
    void SuccessInternal(const T* result) override {
        if (Duplicate()) return;
        Send(codec_->EncodeSuccessEnvelope(result));
    }
    void ErrorInternal(const std::string& error_code, const std::string& error_message,
                       const T* error_details) override {
        if (Duplicate()) return;
        Send(codec_->EncodeErrorEnvelope(error_code, error_message, error_details));
    }
    void NotImplementedInternal() override {
        if (Duplicate()) return;
        Send(nullptr);
    }

private:
    bool Duplicate() const {
        if (reply_) return false;
        std::cerr << "Error: a method call may be answered once only; ignoring a further answer.\n";
        return true;
    }
    void Send(std::unique_ptr<std::vector<uint8_t>> data) {
        BinaryReply reply = std::move(reply_);
        reply_ = nullptr;
        if (data) reply(data->data(), data->size());
        else reply(nullptr, 0);
    }

    BinaryReply reply_;
    const MethodCodec<T>* codec_;
};

}  // namespace flutter
