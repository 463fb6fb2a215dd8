#pragma once

#include "encodable_value.h"
#include "method_codec.h"

namespace flutter {

// Method calls as the encoded name followed by the encoded argument; answers
// as 0 and the value, 1 and code, message and details, or no bytes at all
// for "not implemented".
class StandardMethodCodec : public MethodCodec<EncodableValue> {
public:
    static const StandardMethodCodec& GetInstance();

    StandardMethodCodec(const StandardMethodCodec&) = delete;
    StandardMethodCodec& operator=(const StandardMethodCodec&) = delete;

protected:
    std::unique_ptr<MethodCall<EncodableValue>> DecodeMethodCallInternal(const uint8_t* message,
                                                                         size_t message_size) const override;
    std::unique_ptr<std::vector<uint8_t>> EncodeMethodCallInternal(
        const MethodCall<EncodableValue>& method_call) const override;
    std::unique_ptr<std::vector<uint8_t>> EncodeSuccessEnvelopeInternal(const EncodableValue* result) const override;
    std::unique_ptr<std::vector<uint8_t>> EncodeErrorEnvelopeInternal(const std::string& error_code,
                                                                      const std::string& error_message,
                                                                      const EncodableValue* error_details) const override;
    bool DecodeAndProcessResponseEnvelopeInternal(const uint8_t* response, size_t response_size,
                                                  MethodResult<EncodableValue>* result) const override;

private:
    StandardMethodCodec() = default;
};

}  // namespace flutter
