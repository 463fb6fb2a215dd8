#pragma once

// Stand-in for the Flutter client wrapper's value type, used when the Flutter
// SDK is absent. The variant alternatives and their order are those of the
// SDK, so code written against one builds against the other.

#include <any>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace flutter {

class EncodableValue;

using EncodableList = std::vector<EncodableValue>;
using EncodableMap = std::map<EncodableValue, EncodableValue>;

// A value of an application-defined type, carried through codec extensions.
// The standard codec itself cannot encode it.
class CustomEncodableValue {
public:
    explicit CustomEncodableValue(const std::any& value) : value_(value) {}
    ~CustomEncodableValue() = default;

    operator std::any&() { return value_; }
    operator const std::any&() const { return value_; }
    const std::type_info& type() const noexcept { return value_.type(); }

    // Custom values have no natural order; identity keeps map keys usable.
    bool operator<(const CustomEncodableValue& other) const { return this < &other; }
    bool operator==(const CustomEncodableValue& other) const { return this == &other; }
    bool operator!=(const CustomEncodableValue& other) const { return this != &other; }
    bool operator>(const CustomEncodableValue& other) const { return this > &other; }
    bool operator<=(const CustomEncodableValue& other) const { return this <= &other; }
    bool operator>=(const CustomEncodableValue& other) const { return this >= &other; }

private:
    std::any value_;
};

using EncodableValueVariant =
    std::variant<std::monostate, bool, int32_t, int64_t, double, std::string, std::vector<uint8_t>,
                 std::vector<int32_t>, std::vector<int64_t>, std::vector<double>, EncodableList,
                 EncodableMap, CustomEncodableValue, std::vector<float>>;

class EncodableValue : public EncodableValueVariant {
public:
    using super = EncodableValueVariant;
    using super::super;
    using super::operator=;

    EncodableValue() = default;
    EncodableValue(const EncodableValue&) = default;
    EncodableValue(EncodableValue&&) = default;
    EncodableValue& operator=(const EncodableValue&) = default;
    EncodableValue& operator=(EncodableValue&&) = default;
    ~EncodableValue() = default;

    // A string literal is a string, never a bool.
    explicit EncodableValue(const char* text) : super(std::string(text)) {}
    EncodableValue& operator=(const char* text) {
        super::operator=(std::string(text));
        return *this;
    }

    explicit EncodableValue(const CustomEncodableValue& value) : super(value) {}

    bool IsNull() const { return std::holds_alternative<std::monostate>(*this); }

    // The value of an int32 or int64 alternative, widened.
    int64_t LongValue() const {
        if (const auto* small = std::get_if<int32_t>(this)) return *small;
        return std::get<int64_t>(*this);
    }

    friend bool operator<(const EncodableValue& lhs, const EncodableValue& rhs) {
        return static_cast<const super&>(lhs) < static_cast<const super&>(rhs);
    }
};

}  // namespace flutter
