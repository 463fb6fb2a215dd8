#pragma once

// A media type as the platform describes one: an ordered list of attributes,
// each a GUID key with a typed value. The order is the one the device reports
// and is kept, because the library writes attribute lists out in that order.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/backend/Guid.h"
#include "platform/backend/HResult.h"

namespace sv::platform {

// The platform's attribute type numbers (variant types).
enum class AttributeType : uint16_t {
    UInt32 = 19,
    UInt64 = 21,
    Double = 5,
    Guid = 72,
    String = 31,     // UTF-8 here; the platform's UTF-16 is converted by its back-end
    Blob = 0x1011,
    Unknown = 13,    // an interface pointer
};

class AttributeValue {
public:
    using Storage = std::variant<uint32_t, uint64_t, double, Guid, std::string,
                                 std::vector<uint8_t>, std::shared_ptr<void>>;

    AttributeValue() : value_(uint32_t{0}) {}
    static AttributeValue UInt32(uint32_t v) { return AttributeValue(Storage(v)); }
    static AttributeValue UInt64(uint64_t v) { return AttributeValue(Storage(v)); }
    static AttributeValue Double(double v) { return AttributeValue(Storage(v)); }
    static AttributeValue FromGuid(const Guid& v) { return AttributeValue(Storage(v)); }
    static AttributeValue String(std::string v) { return AttributeValue(Storage(std::move(v))); }
    static AttributeValue Blob(std::vector<uint8_t> v) { return AttributeValue(Storage(std::move(v))); }
    static AttributeValue Unknown(std::shared_ptr<void> v) { return AttributeValue(Storage(std::move(v))); }

    AttributeType Type() const;
    const Storage& Value() const { return value_; }

    uint32_t AsUInt32() const { return std::get<uint32_t>(value_); }
    uint64_t AsUInt64() const { return std::get<uint64_t>(value_); }
    double AsDouble() const { return std::get<double>(value_); }
    const Guid& AsGuid() const { return std::get<Guid>(value_); }
    const std::string& AsString() const { return std::get<std::string>(value_); }
    const std::vector<uint8_t>& AsBlob() const { return std::get<std::vector<uint8_t>>(value_); }
    const std::shared_ptr<void>& AsUnknown() const { return std::get<std::shared_ptr<void>>(value_); }

    friend bool operator==(const AttributeValue& a, const AttributeValue& b) { return a.value_ == b.value_; }

private:
    explicit AttributeValue(Storage v) : value_(std::move(v)) {}
    Storage value_;
};

// Packing of the 64-bit pair attributes (frame size, frame rate, aspect ratio):
// first value in the high 32 bits, second in the low.
constexpr uint64_t PackPair(uint32_t high, uint32_t low) {
    return (static_cast<uint64_t>(high) << 32) | low;
}
constexpr uint32_t PairHigh(uint64_t v) { return static_cast<uint32_t>(v >> 32); }
constexpr uint32_t PairLow(uint64_t v) { return static_cast<uint32_t>(v & 0xFFFFFFFFu); }

class MediaType {
public:
    struct Item {
        Guid key;
        AttributeValue value;
    };

    uint32_t GetCount() const { return static_cast<uint32_t>(items_.size()); }

    // Item by position; E_INVALIDARG past the end.
    HResult GetItemByIndex(uint32_t index, Guid& key, AttributeValue& value) const;
    // MF_E_ATTRIBUTENOTFOUND when the key is absent.
    HResult GetItemType(const Guid& key, AttributeType& type) const;
    HResult GetItem(const Guid& key, AttributeValue& value) const;

    // Typed getters: MF_E_ATTRIBUTENOTFOUND when absent, MF_E_INVALIDTYPE when
    // the stored value has another type.
    HResult GetUINT32(const Guid& key, uint32_t& value) const;
    HResult GetUINT64(const Guid& key, uint64_t& value) const;
    HResult GetDouble(const Guid& key, double& value) const;
    HResult GetGUID(const Guid& key, Guid& value) const;
    HResult GetString(const Guid& key, std::string& value) const;
    HResult GetBlob(const Guid& key, std::vector<uint8_t>& value) const;

    // Setting an existing key replaces its value in place; a new key is appended.
    void SetItem(const Guid& key, AttributeValue value);
    void SetUINT32(const Guid& key, uint32_t v) { SetItem(key, AttributeValue::UInt32(v)); }
    void SetUINT64(const Guid& key, uint64_t v) { SetItem(key, AttributeValue::UInt64(v)); }
    void SetDouble(const Guid& key, double v) { SetItem(key, AttributeValue::Double(v)); }
    void SetGUID(const Guid& key, const Guid& v) { SetItem(key, AttributeValue::FromGuid(v)); }
    void SetString(const Guid& key, std::string v) { SetItem(key, AttributeValue::String(std::move(v))); }
    void SetBlob(const Guid& key, std::vector<uint8_t> v) { SetItem(key, AttributeValue::Blob(std::move(v))); }

    const std::vector<Item>& Items() const { return items_; }

private:
    const Item* Find(const Guid& key) const;
    template <typename T>
    HResult GetTyped(const Guid& key, T& value) const;

    std::vector<Item> items_;
};

}  // namespace sv::platform
