// The stand-in client wrapper's value type and standard codec, checked
// against bytes written by hand from the documented wire format, and its
// method channel, answers and registrar over the stand-in engine.

#include <gtest/gtest.h>

#include <flutter/encodable_value.h>
#include <flutter/engine_method_result.h>
#include <flutter/method_channel.h>
#include <flutter/plugin_registrar_windows.h>
#include <flutter/standard_message_codec.h>
#include <flutter/standard_method_codec.h>

#include <flutter_standin_engine.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <future>
#include <limits>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using Bytes = std::vector<uint8_t>;

namespace {

const flutter::StandardMessageCodec& Codec() { return flutter::StandardMessageCodec::GetInstance(); }
const flutter::StandardMethodCodec& MethodCodec() { return flutter::StandardMethodCodec::GetInstance(); }

Bytes Encode(const EncodableValue& value) { return *Codec().EncodeMessage(value); }

void AppendLe(Bytes& out, uint64_t bits, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}
Bytes DoubleBytes(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    Bytes out;
    AppendLe(out, bits, 8);
    return out;
}
Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Records what a method result receives.
struct Recorded : flutter::MethodResult<EncodableValue> {
    std::string kind;
    EncodableValue value;
    std::string code, message;
    EncodableValue details;
    int answers = 0;

protected:
    void SuccessInternal(const EncodableValue* v) override {
        ++answers;
        kind = "success";
        value = v ? *v : EncodableValue();
    }
    void ErrorInternal(const std::string& c, const std::string& m, const EncodableValue* d) override {
        ++answers;
        kind = "error";
        code = c;
        message = m;
        details = d ? *d : EncodableValue();
    }
    void NotImplementedInternal() override {
        ++answers;
        kind = "notImplemented";
    }
};

}  // namespace

// ---- The value type --------------------------------------------------------

TEST(EncodableValueTest, AlternativesAreTheSdksInTheSdksOrder) {
    using V = flutter::EncodableValueVariant;
    static_assert(std::is_same_v<std::variant_alternative_t<0, V>, std::monostate>);
    static_assert(std::is_same_v<std::variant_alternative_t<1, V>, bool>);
    static_assert(std::is_same_v<std::variant_alternative_t<2, V>, int32_t>);
    static_assert(std::is_same_v<std::variant_alternative_t<3, V>, int64_t>);
    static_assert(std::is_same_v<std::variant_alternative_t<4, V>, double>);
    static_assert(std::is_same_v<std::variant_alternative_t<5, V>, std::string>);
    static_assert(std::is_same_v<std::variant_alternative_t<6, V>, std::vector<uint8_t>>);
    static_assert(std::is_same_v<std::variant_alternative_t<7, V>, std::vector<int32_t>>);
    static_assert(std::is_same_v<std::variant_alternative_t<8, V>, std::vector<int64_t>>);
    static_assert(std::is_same_v<std::variant_alternative_t<9, V>, std::vector<double>>);
    static_assert(std::is_same_v<std::variant_alternative_t<10, V>, EncodableList>);
    static_assert(std::is_same_v<std::variant_alternative_t<11, V>, EncodableMap>);
    static_assert(std::is_same_v<std::variant_alternative_t<12, V>, flutter::CustomEncodableValue>);
    static_assert(std::is_same_v<std::variant_alternative_t<13, V>, std::vector<float>>);
    static_assert(std::variant_size_v<V> == 14);
    EXPECT_TRUE(std::holds_alternative<std::string>(EncodableValue("text")));
    EXPECT_TRUE(EncodableValue().IsNull());
    EXPECT_EQ(EncodableValue(int64_t{1} << 40).LongValue(), int64_t{1} << 40);
    EXPECT_EQ(EncodableValue(-7).LongValue(), -7);
    EncodableMap map{{EncodableValue("b"), EncodableValue(2)}, {EncodableValue("a"), EncodableValue(1)}};
    EXPECT_EQ(map.at(EncodableValue("a")), EncodableValue(1));
}

// ---- Bytes written by hand from the wire format -----------------------------

TEST(StandardCodecTest, ScalarsHaveTheirTypeBytesAndLittleEndianBodies) {
    EXPECT_EQ(Encode(EncodableValue()), (Bytes{0}));
    EXPECT_EQ(Encode(EncodableValue(true)), (Bytes{1}));
    EXPECT_EQ(Encode(EncodableValue(false)), (Bytes{2}));
    EXPECT_EQ(Encode(EncodableValue(int32_t{0x01020304})), (Bytes{3, 4, 3, 2, 1}));
    EXPECT_EQ(Encode(EncodableValue(int32_t{-2})), (Bytes{3, 0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Encode(EncodableValue(int64_t{0x0102030405060708})), (Bytes{4, 8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(Encode(EncodableValue("hi")), (Bytes{7, 2, 'h', 'i'}));
    EXPECT_EQ(Encode(EncodableValue(std::vector<uint8_t>{9, 8, 7})), (Bytes{8, 3, 9, 8, 7}));
}

TEST(StandardCodecTest, DoublesAndTypedListsAreAlignedFromTheMessageStart) {
    // A double at the top: type byte, seven pad bytes, then the value.
    EXPECT_EQ(Encode(EncodableValue(1.5)), Cat({{6, 0, 0, 0, 0, 0, 0, 0}, DoubleBytes(1.5)}));
    // In a list after an int32 the double already starts at offset 8.
    EXPECT_EQ(Encode(EncodableValue(EncodableList{EncodableValue(1), EncodableValue(1.5)})),
              Cat({{12, 2, 3, 1, 0, 0, 0, 6}, DoubleBytes(1.5)}));
    // After a bool it is padded from offset 4 to 8.
    EXPECT_EQ(Encode(EncodableValue(EncodableList{EncodableValue(true), EncodableValue(-2.0)})),
              Cat({{12, 2, 1, 6, 0, 0, 0, 0}, DoubleBytes(-2.0)}));
    // Typed lists: type, count, padding to the element size, elements.
    EXPECT_EQ(Encode(EncodableValue(std::vector<int32_t>{1, -1})),
              (Bytes{9, 2, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Encode(EncodableValue(std::vector<int64_t>{2})), (Bytes{10, 1, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Encode(EncodableValue(std::vector<double>{0.25})), Cat({{11, 1, 0, 0, 0, 0, 0, 0}, DoubleBytes(0.25)}));
    float f = 0.5f;
    uint32_t fbits;
    std::memcpy(&fbits, &f, 4);
    Bytes floatList{14, 1, 0, 0};
    AppendLe(floatList, fbits, 4);
    EXPECT_EQ(Encode(EncodableValue(std::vector<float>{0.5f})), floatList);
    // An empty typed list still pads.
    EXPECT_EQ(Encode(EncodableValue(std::vector<double>{})), (Bytes{11, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(StandardCodecTest, SizesUseTheEscapes254And255) {
    struct Case {
        size_t size;
        Bytes prefix;
    };
    for (const Case& c : {Case{253, {7, 253}}, Case{254, {7, 254, 254, 0}}, Case{255, {7, 254, 255, 0}},
                          Case{0xFFFF, {7, 254, 0xFF, 0xFF}}, Case{0x10000, {7, 255, 0, 0, 1, 0}}}) {
        SCOPED_TRACE(c.size);
        const std::string text(c.size, 'x');
        const Bytes bytes = Encode(EncodableValue(text));
        ASSERT_EQ(bytes.size(), c.prefix.size() + c.size);
        EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + static_cast<long>(c.prefix.size())), c.prefix);
        auto back = Codec().DecodeMessage(bytes);
        ASSERT_TRUE(back);
        EXPECT_EQ(std::get<std::string>(*back), text);
    }
    // Counts of lists and maps use the same escapes.
    EncodableList many(300, EncodableValue());
    const Bytes list = Encode(EncodableValue(many));
    EXPECT_EQ(Bytes(list.begin(), list.begin() + 4), (Bytes{12, 254, 0x2C, 0x01}));
}

TEST(StandardCodecTest, DecodesMessagesWrittenByHand) {
    // {"handleId": 3, "data": [1, 255], "big": 2^33, "x": 0.5}
    Bytes message{13, 4};
    for (const char* k : {"handleId"}) {
        message.push_back(7);
        message.push_back(static_cast<uint8_t>(std::strlen(k)));
        message.insert(message.end(), k, k + std::strlen(k));
    }
    message.insert(message.end(), {3, 3, 0, 0, 0});
    message.insert(message.end(), {7, 4, 'd', 'a', 't', 'a', 12, 2, 3, 1, 0, 0, 0, 3, 255, 0, 0, 0});
    message.insert(message.end(), {7, 3, 'b', 'i', 'g', 4, 0, 0, 0, 0, 2, 0, 0, 0});
    message.insert(message.end(), {7, 1, 'x', 6});
    while (message.size() % 8 != 0) message.push_back(0);
    const Bytes half = DoubleBytes(0.5);
    message.insert(message.end(), half.begin(), half.end());

    auto value = Codec().DecodeMessage(message);
    ASSERT_TRUE(value);
    const auto& map = std::get<EncodableMap>(*value);
    EXPECT_EQ(map.at(EncodableValue("handleId")), EncodableValue(3));
    EXPECT_EQ(map.at(EncodableValue("data")), EncodableValue(EncodableList{EncodableValue(1), EncodableValue(255)}));
    EXPECT_EQ(map.at(EncodableValue("big")), EncodableValue(int64_t{1} << 33));
    EXPECT_EQ(map.at(EncodableValue("x")), EncodableValue(0.5));
    // And the same bytes come back out: map keys are written in key order here,
    // so only the value is compared after a second round.
    EXPECT_EQ(*Codec().DecodeMessage(Encode(*value)), *value);
}

TEST(StandardCodecTest, EveryAlternativeRoundTrips) {
    const std::vector<EncodableValue> values = {
        EncodableValue(),
        EncodableValue(true),
        EncodableValue(false),
        EncodableValue(std::numeric_limits<int32_t>::min()),
        EncodableValue(std::numeric_limits<int64_t>::max()),
        EncodableValue(-0.0),
        EncodableValue(std::numeric_limits<double>::infinity()),
        EncodableValue(std::string("\xE2\x82\xAC uni")),
        EncodableValue(std::string()),
        EncodableValue(std::vector<uint8_t>(300, 0xAB)),
        EncodableValue(std::vector<int32_t>{std::numeric_limits<int32_t>::min(), 0, 7}),
        EncodableValue(std::vector<int64_t>{-1, std::numeric_limits<int64_t>::min()}),
        EncodableValue(std::vector<double>{1e300, -1e-300}),
        EncodableValue(std::vector<float>{1.25f, -3.5f, 0.0f}),
        EncodableValue(EncodableList{EncodableValue(1), EncodableValue("a"),
                                     EncodableValue(EncodableList{EncodableValue(2.5)})}),
        EncodableValue(EncodableMap{{EncodableValue(1), EncodableValue("one")},
                                    {EncodableValue("k"), EncodableValue(std::vector<int32_t>{1})},
                                    {EncodableValue(), EncodableValue(EncodableMap{})}}),
    };
    for (const auto& value : values) {
        // Behind a byte, so that every alignment offset differs from the top-level case.
        for (const auto& wrapped : {value, EncodableValue(EncodableList{EncodableValue(true), value})}) {
            const Bytes bytes = Encode(wrapped);
            auto back = Codec().DecodeMessage(bytes);
            ASSERT_TRUE(back) << "index " << value.index();
            EXPECT_EQ(*back, wrapped) << "index " << value.index();
        }
    }
    auto nan = Codec().DecodeMessage(Encode(EncodableValue(std::nan(""))));
    ASSERT_TRUE(nan);
    EXPECT_TRUE(std::isnan(std::get<double>(*nan)));
}

TEST(StandardCodecTest, MalformedMessagesDecodeToNothingWithoutReadingPastTheEnd) {
    const std::vector<Bytes> bad = {
        {},                                  // no value
        {3, 1, 2},                           // int32 cut short
        {7, 5, 'a', 'b'},                    // string shorter than its size
        {7, 254, 0xFF},                      // size escape cut short
        {7, 255, 0xFF, 0xFF, 0xFF, 0xFF},    // 4 GiB string in 6 bytes
        {12, 255, 0xFF, 0xFF, 0xFF, 0x7F},   // list count beyond the bytes
        {13, 2, 0, 0},                       // map with one entry of two
        {9, 2, 0, 0, 1, 0, 0, 0},            // int32 list short of its second element
        {6, 0, 0},                           // double cut inside its padding
        {15},                                // no such type
        {0, 0},                              // trailing bytes
    };
    for (const auto& bytes : bad) {
        SCOPED_TRACE(::testing::PrintToString(bytes));
        EXPECT_FALSE(Codec().DecodeMessage(bytes));
    }
    Bytes deep(100000, 12);
    for (size_t i = 1; i < deep.size(); i += 2) deep[i] = 1;
    EXPECT_FALSE(Codec().DecodeMessage(deep)) << "nesting too deep is refused, not recursed into";
}

TEST(StandardCodecTest, CustomValuesNeedAnExtension) {
    EXPECT_THROW(Encode(EncodableValue(flutter::CustomEncodableValue(42))), std::invalid_argument);
}

// ---- Method calls and answers --------------------------------------------------

TEST(StandardMethodCodecTest, CallIsTheEncodedNameThenTheEncodedArgument) {
    flutter::MethodCall<EncodableValue> call("open", std::make_unique<EncodableValue>(7));
    EXPECT_EQ(*MethodCodec().EncodeMethodCall(call), (Bytes{7, 4, 'o', 'p', 'e', 'n', 3, 7, 0, 0, 0}));
    flutter::MethodCall<EncodableValue> bare("x", nullptr);
    EXPECT_EQ(*MethodCodec().EncodeMethodCall(bare), (Bytes{7, 1, 'x', 0}));

    auto decoded = MethodCodec().DecodeMethodCall(Bytes{7, 3, 'g', 'e', 't', 12, 1, 7, 1, 'a'});
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->method_name(), "get");
    ASSERT_NE(decoded->arguments(), nullptr);
    EXPECT_EQ(*decoded->arguments(), EncodableValue(EncodableList{EncodableValue("a")}));

    auto noArgument = MethodCodec().DecodeMethodCall(Bytes{7, 1, 'x'});
    ASSERT_TRUE(noArgument);
    EXPECT_EQ(noArgument->arguments(), nullptr);

    EXPECT_FALSE(MethodCodec().DecodeMethodCall(Bytes{3, 1, 0, 0, 0})) << "the name must be a string";
    EXPECT_FALSE(MethodCodec().DecodeMethodCall(Bytes{7, 1, 'x', 0, 0})) << "nothing after the argument";
}

TEST(StandardMethodCodecTest, EnvelopesAreZeroAndValueOrOneAndCodeMessageDetails) {
    const EncodableValue five(5);
    EXPECT_EQ(*MethodCodec().EncodeSuccessEnvelope(&five), (Bytes{0, 3, 5, 0, 0, 0}));
    EXPECT_EQ(*MethodCodec().EncodeSuccessEnvelope(), (Bytes{0, 0}));
    const EncodableValue detail("d");
    EXPECT_EQ(*MethodCodec().EncodeErrorEnvelope("E", "m", &detail), (Bytes{1, 7, 1, 'E', 7, 1, 'm', 7, 1, 'd'}));
    EXPECT_EQ(*MethodCodec().EncodeErrorEnvelope("E"), (Bytes{1, 7, 1, 'E', 0, 0})) << "empty message travels as null";

    Recorded ok;
    EXPECT_TRUE(MethodCodec().DecodeAndProcessResponseEnvelope(Bytes{0, 3, 5, 0, 0, 0}.data(), 6, &ok));
    EXPECT_EQ(ok.kind, "success");
    EXPECT_EQ(ok.value, EncodableValue(5));
    Recorded error;
    const Bytes errorBytes{1, 7, 1, 'E', 0, 3, 9, 0, 0, 0};
    EXPECT_TRUE(MethodCodec().DecodeAndProcessResponseEnvelope(errorBytes.data(), errorBytes.size(), &error));
    EXPECT_EQ(error.kind, "error");
    EXPECT_EQ(error.code, "E");
    EXPECT_EQ(error.message, "");
    EXPECT_EQ(error.details, EncodableValue(9));
    Recorded none;
    EXPECT_TRUE(MethodCodec().DecodeAndProcessResponseEnvelope(nullptr, 0, &none));
    EXPECT_EQ(none.kind, "notImplemented");
    Recorded bad;
    const Bytes badBytes{2, 0};
    EXPECT_FALSE(MethodCodec().DecodeAndProcessResponseEnvelope(badBytes.data(), badBytes.size(), &bad));
    EXPECT_EQ(bad.answers, 0);
}

TEST(EngineMethodResultTest, OnlyTheFirstAnswerIsSentAndAForgottenOneSendsAnEmptyAnswer) {
    std::vector<Bytes> sent;
    auto reply = [&](const uint8_t* data, size_t size) { sent.emplace_back(data, data + size); };
    {
        flutter::EngineMethodResult<EncodableValue> result(reply, &MethodCodec());
        result.Success(EncodableValue(1));
        ::testing::internal::CaptureStderr();
        result.Error("LATE", "second");
        result.NotImplemented();
        const std::string warning = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(warning.find("ignoring a further answer"), std::string::npos) << warning;
    }
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], (Bytes{0, 3, 1, 0, 0, 0}));

    sent.clear();
    ::testing::internal::CaptureStderr();
    { flutter::EngineMethodResult<EncodableValue> forgotten(reply, &MethodCodec()); }
    ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(sent[0].empty());
}

// ---- Channel, registrar and engine ----------------------------------------------

namespace {

struct Probe : flutter::Plugin {
    explicit Probe(std::atomic<int>& gone, flutter_standin::Engine& engine, std::atomic<bool>& onPlatform)
        : gone_(gone), engine_(engine), onPlatform_(onPlatform) {}
    ~Probe() override {
        onPlatform_ = engine_.IsPlatformThread();
        ++gone_;
    }
    std::atomic<int>& gone_;
    flutter_standin::Engine& engine_;
    std::atomic<bool>& onPlatform_;
};

}  // namespace

TEST(StandInHostTest, ChannelCallsRunOnThePlatformThreadAndAnswersComeBackEncoded) {
    flutter_standin::Engine engine;
    FlutterDesktopPluginRegistrarRef ref = engine.GetRegistrar("probe");
    std::unique_ptr<flutter::MethodChannel<EncodableValue>> channel;
    std::atomic<bool> handledOnPlatform{false};
    engine.RunOnPlatformThread([&] {
        auto* registrar = flutter::PluginRegistrarManager::GetInstance()->GetRegistrar<flutter::PluginRegistrarWindows>(ref);
        EXPECT_EQ(registrar,
                  flutter::PluginRegistrarManager::GetInstance()->GetRegistrar<flutter::PluginRegistrarWindows>(ref))
            << "one wrapper per engine registrar";
        channel = std::make_unique<flutter::MethodChannel<EncodableValue>>(registrar->messenger(), "probe",
                                                                          &MethodCodec());
        channel->SetMethodCallHandler([&](const flutter::MethodCall<EncodableValue>& call,
                                          std::unique_ptr<flutter::MethodResult<EncodableValue>> result) {
            handledOnPlatform = engine.IsPlatformThread();
            if (call.method_name() == "echo") result->Success(*call.arguments());
            else result->NotImplemented();
        });
    });

    std::promise<Bytes> echoed, missing, garbage, unknownChannel;
    flutter::MethodCall<EncodableValue> echo("echo", std::make_unique<EncodableValue>("hello"));
    engine.SendToPlugin("probe", *MethodCodec().EncodeMethodCall(echo),
                        [&](Bytes reply, bool) { echoed.set_value(std::move(reply)); });
    flutter::MethodCall<EncodableValue> other("other", nullptr);
    engine.SendToPlugin("probe", *MethodCodec().EncodeMethodCall(other),
                        [&](Bytes reply, bool) { missing.set_value(std::move(reply)); });
    ::testing::internal::CaptureStderr();
    engine.SendToPlugin("probe", Bytes{9, 9}, [&](Bytes reply, bool) { garbage.set_value(std::move(reply)); });
    engine.SendToPlugin("nobody", Bytes{0}, [&](Bytes reply, bool) { unknownChannel.set_value(std::move(reply)); });
    EXPECT_EQ(echoed.get_future().get(), (Bytes{0, 7, 5, 'h', 'e', 'l', 'l', 'o'}));
    EXPECT_TRUE(missing.get_future().get().empty());
    EXPECT_TRUE(garbage.get_future().get().empty()) << "an undecodable call is answered as not implemented";
    EXPECT_TRUE(unknownChannel.get_future().get().empty());
    ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(handledOnPlatform);

    // A call the plug-in sends reaches the application's handler.
    std::promise<Bytes> received;
    engine.SetAppHandler("probe", [&](const Bytes& message, bool) {
        received.set_value(message);
        return Bytes{0, 1};
    });
    std::promise<bool> answered;
    struct Answer : flutter::MethodResult<EncodableValue> {
        explicit Answer(std::promise<bool>& p) : p_(p) {}
        void SuccessInternal(const EncodableValue* v) override { p_.set_value(v && std::get<bool>(*v)); }
        void ErrorInternal(const std::string&, const std::string&, const EncodableValue*) override { p_.set_value(false); }
        void NotImplementedInternal() override { p_.set_value(false); }
        std::promise<bool>& p_;
    };
    engine.RunOnPlatformThread([&] {
        channel->InvokeMethod("ping", std::make_unique<EncodableValue>(1), std::make_unique<Answer>(answered));
    });
    EXPECT_EQ(received.get_future().get(), (Bytes{7, 4, 'p', 'i', 'n', 'g', 3, 1, 0, 0, 0}));
    EXPECT_TRUE(answered.get_future().get());
    engine.RunOnPlatformThread([&] { channel.reset(); });
}

TEST(StandInHostTest, ShuttingTheEngineDownDestroysRegisteredPluginsOnThePlatformThread) {
    std::atomic<int> gone{0};
    std::atomic<bool> onPlatform{false};
    auto engine = std::make_unique<flutter_standin::Engine>();
    FlutterDesktopPluginRegistrarRef ref = engine->GetRegistrar("probe");
    engine->RunOnPlatformThread([&] {
        auto* registrar = flutter::PluginRegistrarManager::GetInstance()->GetRegistrar<flutter::PluginRegistrarWindows>(ref);
        registrar->AddPlugin(std::make_unique<Probe>(gone, *engine, onPlatform));
    });
    EXPECT_EQ(gone, 0);
    engine->Shutdown();
    EXPECT_EQ(gone, 1);
    EXPECT_TRUE(onPlatform);
    // Tasks posted after the engine went are refused and dropped, never run.
    bool ran = false;
    EXPECT_FALSE(engine->PostTask([&] { ran = true; }));
    EXPECT_FALSE(ran);
}

TEST(StandInHostTest, ALateAnswerAfterShutdownIsDroppedSafely) {
    auto engine = std::make_unique<flutter_standin::Engine>();
    FlutterDesktopPluginRegistrarRef ref = engine->GetRegistrar("late");
    std::unique_ptr<flutter::MethodResult<EncodableValue>> kept;
    std::unique_ptr<flutter::MethodChannel<EncodableValue>> channel;
    std::promise<void> handled;
    engine->RunOnPlatformThread([&] {
        auto* registrar = flutter::PluginRegistrarManager::GetInstance()->GetRegistrar<flutter::PluginRegistrarWindows>(ref);
        channel = std::make_unique<flutter::MethodChannel<EncodableValue>>(registrar->messenger(), "late", &MethodCodec());
        channel->SetMethodCallHandler(
            [&](const flutter::MethodCall<EncodableValue>&, std::unique_ptr<flutter::MethodResult<EncodableValue>> r) {
                kept = std::move(r);
                handled.set_value();
            });
    });
    bool replied = false;
    flutter::MethodCall<EncodableValue> call("wait", nullptr);
    engine->SendToPlugin("late", *MethodCodec().EncodeMethodCall(call), [&](Bytes, bool) { replied = true; });
    handled.get_future().wait();
    engine->RunOnPlatformThread([&] { channel.reset(); });
    engine->Shutdown();
    kept->Success(EncodableValue(1));  // the messenger reference says the engine is gone
    EXPECT_FALSE(replied);
    engine.reset();
}
