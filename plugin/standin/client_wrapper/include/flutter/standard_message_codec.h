#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "encodable_value.h"

namespace flutter {

// Flutter's standard binary encoding of EncodableValue (little-endian, the
// type byte first, sizes with the 254/255 escapes, typed lists and doubles
// aligned to their element size from the start of the message).
class StandardMessageCodec {
public:
    static const StandardMessageCodec& GetInstance();

    StandardMessageCodec(const StandardMessageCodec&) = delete;
    StandardMessageCodec& operator=(const StandardMessageCodec&) = delete;

    // Null when the bytes are not exactly one well-formed value.
    std::unique_ptr<EncodableValue> DecodeMessage(const uint8_t* binary_message, size_t message_size) const;
    std::unique_ptr<EncodableValue> DecodeMessage(const std::vector<uint8_t>& binary_message) const {
        return DecodeMessage(binary_message.data(), binary_message.size());
    }
    // Throws std::invalid_argument for a value the codec cannot carry.
    std::unique_ptr<std::vector<uint8_t>> EncodeMessage(const EncodableValue& message) const;

private:
    StandardMessageCodec() = default;
};

}  // namespace flutter
