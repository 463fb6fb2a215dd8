// Flutter's standard message and method encoding.

#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

#include "flutter/standard_message_codec.h"
#include "flutter/standard_method_codec.h"

namespace flutter {

namespace {

enum TypeByte : uint8_t {
    kNull = 0,
    kTrue = 1,
    kFalse = 2,
    kInt32 = 3,
    kInt64 = 4,
    kLargeInt = 5,
    kFloat64 = 6,
    kString = 7,
    kUInt8List = 8,
    kInt32List = 9,
    kInt64List = 10,
    kFloat64List = 11,
    kList = 12,
    kMap = 13,
    kFloat32List = 14,
};

// Deeper nesting than this is refused rather than risking the stack.
constexpr int kMaxDepth = 256;

struct Malformed {};

class Writer {
public:
    explicit Writer(std::vector<uint8_t>& out) : out_(out) {}

    void Byte(uint8_t value) { out_.push_back(value); }

    template <typename U>
    void Little(U bits) {
        for (size_t i = 0; i < sizeof(U); ++i) out_.push_back(static_cast<uint8_t>(bits >> (8 * i)));
    }
    void Int32(int32_t v) { Little(static_cast<uint32_t>(v)); }
    void Int64(int64_t v) { Little(static_cast<uint64_t>(v)); }
    void Float64(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        Little(bits);
    }
    void Float32(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        Little(bits);
    }

    void Size(size_t size) {
        if (size < 254) {
            Byte(static_cast<uint8_t>(size));
        } else if (size <= 0xFFFF) {
            Byte(254);
            Little(static_cast<uint16_t>(size));
        } else if (size <= 0xFFFFFFFFu) {
            Byte(255);
            Little(static_cast<uint32_t>(size));
        } else {
            throw std::invalid_argument("value too large for the standard codec");
        }
    }

    // Pads with zeros to a multiple of `alignment` from the message start.
    void Align(size_t alignment) {
        while (out_.size() % alignment != 0) out_.push_back(0);
    }

    void Raw(const void* data, size_t size) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        out_.insert(out_.end(), bytes, bytes + size);
    }

    void Value(const EncodableValue& value, int depth = 0) {
        if (depth > kMaxDepth) throw std::invalid_argument("value nested too deeply for the standard codec");
        switch (value.index()) {
        case 0:
            Byte(kNull);
            break;
        case 1:
            Byte(std::get<bool>(value) ? kTrue : kFalse);
            break;
        case 2:
            Byte(kInt32);
            Int32(std::get<int32_t>(value));
            break;
        case 3:
            Byte(kInt64);
            Int64(std::get<int64_t>(value));
            break;
        case 4:
            Byte(kFloat64);
            Align(8);
            Float64(std::get<double>(value));
            break;
        case 5: {
            const auto& text = std::get<std::string>(value);
            Byte(kString);
            Size(text.size());
            Raw(text.data(), text.size());
            break;
        }
        case 6: {
            const auto& bytes = std::get<std::vector<uint8_t>>(value);
            Byte(kUInt8List);
            Size(bytes.size());
            Raw(bytes.data(), bytes.size());
            break;
        }
        case 7: {
            const auto& list = std::get<std::vector<int32_t>>(value);
            Byte(kInt32List);
            Size(list.size());
            Align(4);
            for (int32_t v : list) Int32(v);
            break;
        }
        case 8: {
            const auto& list = std::get<std::vector<int64_t>>(value);
            Byte(kInt64List);
            Size(list.size());
            Align(8);
            for (int64_t v : list) Int64(v);
            break;
        }
        case 9: {
            const auto& list = std::get<std::vector<double>>(value);
            Byte(kFloat64List);
            Size(list.size());
            Align(8);
            for (double v : list) Float64(v);
            break;
        }
        case 10: {
            const auto& list = std::get<EncodableList>(value);
            Byte(kList);
            Size(list.size());
            for (const auto& element : list) Value(element, depth + 1);
            break;
        }
        case 11: {
            const auto& map = std::get<EncodableMap>(value);
            Byte(kMap);
            Size(map.size());
            for (const auto& entry : map) {
                Value(entry.first, depth + 1);
                Value(entry.second, depth + 1);
            }
            break;
        }
        case 13: {
            const auto& list = std::get<std::vector<float>>(value);
            Byte(kFloat32List);
            Size(list.size());
            Align(4);
            for (float v : list) Float32(v);
            break;
        }
        default:
            throw std::invalid_argument("custom values need a codec extension");
        }
    }

private:
    std::vector<uint8_t>& out_;
};

// Every read checks the bytes left; a short or inconsistent message throws
// Malformed instead of reading past its end.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool AtEnd() const { return pos_ == size_; }
    size_t Left() const { return size_ - pos_; }

    uint8_t Byte() {
        Need(1);
        return data_[pos_++];
    }

    template <typename U>
    U Little() {
        Need(sizeof(U));
        U bits = 0;
        for (size_t i = 0; i < sizeof(U); ++i) bits = static_cast<U>(bits | (static_cast<U>(data_[pos_ + i]) << (8 * i)));
        pos_ += sizeof(U);
        return bits;
    }
    int32_t Int32() { return static_cast<int32_t>(Little<uint32_t>()); }
    int64_t Int64() { return static_cast<int64_t>(Little<uint64_t>()); }
    double Float64() {
        const uint64_t bits = Little<uint64_t>();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    float Float32() {
        const uint32_t bits = Little<uint32_t>();
        float v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }

    size_t Size() {
        const uint8_t first = Byte();
        if (first < 254) return first;
        if (first == 254) return Little<uint16_t>();
        return Little<uint32_t>();
    }

    void Align(size_t alignment) {
        const size_t pad = (alignment - pos_ % alignment) % alignment;
        Need(pad);
        pos_ += pad;
    }

    std::string Text() {
        const size_t size = Size();
        Need(size);
        std::string text(reinterpret_cast<const char*>(data_ + pos_), size);
        pos_ += size;
        return text;
    }

    // Checks that `count` elements of `width` bytes fit before reading them.
    void NeedElements(size_t count, size_t width) {
        if (count > Left() / width) throw Malformed{};
    }

    EncodableValue Value(int depth = 0) {
        if (depth > kMaxDepth) throw Malformed{};
        const uint8_t type = Byte();
        switch (type) {
        case kNull:
            return EncodableValue();
        case kTrue:
            return EncodableValue(true);
        case kFalse:
            return EncodableValue(false);
        case kInt32:
            return EncodableValue(Int32());
        case kInt64:
            return EncodableValue(Int64());
        case kLargeInt:  // hexadecimal text of a big integer; kept as text
        case kString:
            return EncodableValue(Text());
        case kFloat64:
            Align(8);
            return EncodableValue(Float64());
        case kUInt8List: {
            const size_t count = Size();
            Need(count);
            std::vector<uint8_t> bytes(data_ + pos_, data_ + pos_ + count);
            pos_ += count;
            return EncodableValue(std::move(bytes));
        }
        case kInt32List: {
            const size_t count = Size();
            Align(4);
            NeedElements(count, 4);
            std::vector<int32_t> list(count);
            for (auto& v : list) v = Int32();
            return EncodableValue(std::move(list));
        }
        case kInt64List: {
            const size_t count = Size();
            Align(8);
            NeedElements(count, 8);
            std::vector<int64_t> list(count);
            for (auto& v : list) v = Int64();
            return EncodableValue(std::move(list));
        }
        case kFloat64List: {
            const size_t count = Size();
            Align(8);
            NeedElements(count, 8);
            std::vector<double> list(count);
            for (auto& v : list) v = Float64();
            return EncodableValue(std::move(list));
        }
        case kFloat32List: {
            const size_t count = Size();
            Align(4);
            NeedElements(count, 4);
            std::vector<float> list(count);
            for (auto& v : list) v = Float32();
            return EncodableValue(std::move(list));
        }
        case kList: {
            const size_t count = Size();
            NeedElements(count, 1);
            EncodableList list;
            list.reserve(count);
            for (size_t i = 0; i < count; ++i) list.push_back(Value(depth + 1));
            return EncodableValue(std::move(list));
        }
        case kMap: {
            const size_t count = Size();
            NeedElements(count, 2);
            EncodableMap map;
            for (size_t i = 0; i < count; ++i) {
                EncodableValue key = Value(depth + 1);
                EncodableValue value = Value(depth + 1);
                map.emplace(std::move(key), std::move(value));
            }
            return EncodableValue(std::move(map));
        }
        default:
            throw Malformed{};
        }
    }

private:
    void Need(size_t count) const {
        if (count > Left()) throw Malformed{};
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

}  // namespace

const StandardMessageCodec& StandardMessageCodec::GetInstance() {
    static const StandardMessageCodec instance;
    return instance;
}

std::unique_ptr<EncodableValue> StandardMessageCodec::DecodeMessage(const uint8_t* binary_message,
                                                                    size_t message_size) const {
    if (binary_message == nullptr && message_size != 0) return nullptr;
    try {
        Reader reader(binary_message, message_size);
        auto value = std::make_unique<EncodableValue>(reader.Value());
        if (!reader.AtEnd()) return nullptr;
        return value;
    } catch (const Malformed&) {
        return nullptr;
    }
}

std::unique_ptr<std::vector<uint8_t>> StandardMessageCodec::EncodeMessage(const EncodableValue& message) const {
    auto out = std::make_unique<std::vector<uint8_t>>();
    Writer(*out).Value(message);
    return out;
}

const StandardMethodCodec& StandardMethodCodec::GetInstance() {
    static const StandardMethodCodec instance;
    return instance;
}

std::unique_ptr<MethodCall<EncodableValue>> StandardMethodCodec::DecodeMethodCallInternal(
    const uint8_t* message, size_t message_size) const {
    if (message == nullptr && message_size != 0) return nullptr;
    try {
        Reader reader(message, message_size);
        EncodableValue name = reader.Value();
        const auto* method = std::get_if<std::string>(&name);
        if (method == nullptr) return nullptr;
        std::unique_ptr<EncodableValue> arguments;
        if (!reader.AtEnd()) arguments = std::make_unique<EncodableValue>(reader.Value());
        if (!reader.AtEnd()) return nullptr;
        return std::make_unique<MethodCall<EncodableValue>>(*method, std::move(arguments));
    } catch (const Malformed&) {
        return nullptr;
    }
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeMethodCallInternal(
    const MethodCall<EncodableValue>& method_call) const {
    auto out = std::make_unique<std::vector<uint8_t>>();
    Writer writer(*out);
    writer.Value(EncodableValue(method_call.method_name()));
    if (method_call.arguments() != nullptr) writer.Value(*method_call.arguments());
    else writer.Value(EncodableValue());
    return out;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeSuccessEnvelopeInternal(
    const EncodableValue* result) const {
    auto out = std::make_unique<std::vector<uint8_t>>();
    Writer writer(*out);
    writer.Byte(0);
    writer.Value(result != nullptr ? *result : EncodableValue());
    return out;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeErrorEnvelopeInternal(
    const std::string& error_code, const std::string& error_message, const EncodableValue* error_details) const {
    auto out = std::make_unique<std::vector<uint8_t>>();
    Writer writer(*out);
    writer.Byte(1);
    writer.Value(EncodableValue(error_code));
    // An empty message travels as null.
    writer.Value(error_message.empty() ? EncodableValue() : EncodableValue(error_message));
    writer.Value(error_details != nullptr ? *error_details : EncodableValue());
    return out;
}

bool StandardMethodCodec::DecodeAndProcessResponseEnvelopeInternal(const uint8_t* response, size_t response_size,
                                                                   MethodResult<EncodableValue>* result) const {
    if (response_size == 0) {
        result->NotImplemented();
        return true;
    }
    if (response == nullptr) return false;
    try {
        Reader reader(response, response_size);
        const uint8_t kind = reader.Byte();
        if (kind == 0) {
            EncodableValue value = reader.Value();
            if (!reader.AtEnd()) return false;
            if (value.IsNull()) result->Success();
            else result->Success(value);
            return true;
        }
        if (kind != 1) return false;
        EncodableValue code = reader.Value();
        EncodableValue message = reader.Value();
        EncodableValue details = reader.Value();
        // Some platforms append a stack trace; it is not part of the answer here.
        if (!reader.AtEnd()) reader.Value();
        if (!reader.AtEnd()) return false;
        const auto* code_text = std::get_if<std::string>(&code);
        const auto* message_text = std::get_if<std::string>(&message);
        if (code_text == nullptr || (message_text == nullptr && !message.IsNull())) return false;
        const std::string text = message_text != nullptr ? *message_text : std::string();
        if (details.IsNull()) result->Error(*code_text, text);
        else result->Error(*code_text, text, details);
        return true;
    } catch (const Malformed&) {
        return false;
    }
}

}  // namespace flutter
