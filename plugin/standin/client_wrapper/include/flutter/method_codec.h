#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "method_call.h"
#include "method_result.h"

namespace flutter {

// Turns method calls and their answers into bytes and back.
template <typename T>
class MethodCodec {
public:
    MethodCodec() = default;
    virtual ~MethodCodec() = default;

    MethodCodec(const MethodCodec&) = delete;
    MethodCodec& operator=(const MethodCodec&) = delete;

    // Null when the bytes are not a well-formed call.
    std::unique_ptr<MethodCall<T>> DecodeMethodCall(const uint8_t* message, size_t message_size) const {
        return DecodeMethodCallInternal(message, message_size);
    }
    std::unique_ptr<MethodCall<T>> DecodeMethodCall(const std::vector<uint8_t>& message) const {
        return DecodeMethodCallInternal(message.data(), message.size());
    }
    std::unique_ptr<std::vector<uint8_t>> EncodeMethodCall(const MethodCall<T>& method_call) const {
        return EncodeMethodCallInternal(method_call);
    }
    std::unique_ptr<std::vector<uint8_t>> EncodeSuccessEnvelope(const T* result = nullptr) const {
        return EncodeSuccessEnvelopeInternal(result);
    }
    std::unique_ptr<std::vector<uint8_t>> EncodeErrorEnvelope(const std::string& error_code,
                                                              const std::string& error_message = "",
                                                              const T* error_details = nullptr) const {
        return EncodeErrorEnvelopeInternal(error_code, error_message, error_details);
    }
    // Answers `result` from an encoded envelope; false when the bytes are not one.
    bool DecodeAndProcessResponseEnvelope(const uint8_t* response, size_t response_size,
                                          MethodResult<T>* result) const {
        return DecodeAndProcessResponseEnvelopeInternal(response, response_size, result);
    }

protected:
    virtual std::unique_ptr<MethodCall<T>> DecodeMethodCallInternal(const uint8_t* message,
                                                                    size_t message_size) const = 0;
    virtual std::unique_ptr<std::vector<uint8_t>> EncodeMethodCallInternal(
        const MethodCall<T>& method_call) const = 0;
    virtual std::unique_ptr<std::vector<uint8_t>> EncodeSuccessEnvelopeInternal(const T* result) const = 0;
    virtual std::unique_ptr<std::vector<uint8_t>> EncodeErrorEnvelopeInternal(
        const std::string& error_code, const std::string& error_message, const T* error_details) const = 0;
    virtual bool DecodeAndProcessResponseEnvelopeInternal(const uint8_t* response, size_t response_size,
                                                          MethodResult<T>* result) const = 0;
};

}  // namespace flutter
