#pragma once

// Argument checks shared by the handlers. The texts of the exceptions are
// what Dart receives as error details, so they are fixed here rather than
// left to the standard library, whose texts differ between toolchains.

#include <flutter/encodable_value.h>

#include <cstddef>
#include <stdexcept>
#include <string>
#include <variant>

namespace sorvansdk {

// An element or map value of the wrong type.
class WrongValueType : public std::bad_variant_access {
public:
    const char* what() const noexcept override { return "bad variant access"; }
};

template <typename T>
const T& ValueAs(const flutter::EncodableValue& value) {
    if (const T* typed = std::get_if<T>(&value)) return *typed;
    throw WrongValueType();
}

// The argument itself as a T; std::invalid_argument with `message` when it
// is missing or of another type.
template <typename T>
T ArgumentAs(const flutter::EncodableValue* arguments, const std::string& message) {
    if (arguments != nullptr) {
        if (const T* typed = std::get_if<T>(arguments)) return *typed;
    }
    throw std::invalid_argument(message);
}

// The argument as a list of exactly `count` elements; std::invalid_argument
// with `message` otherwise.
const flutter::EncodableList& ListArgument(const flutter::EncodableValue* arguments, std::size_t count,
                                           const std::string& message);

// The argument as a map; std::invalid_argument("Arguments must be a map") otherwise.
const flutter::EncodableMap& MapArgument(const flutter::EncodableValue* arguments);

// The int under a string key; std::out_of_range("invalid map<K, T> key")
// when the key is missing, WrongValueType when the value is not an int.
int MapInt(const flutter::EncodableMap& map, const char* key);
const flutter::EncodableValue& MapValue(const flutter::EncodableMap& map, const char* key);

}  // namespace sorvansdk
