#include "PluginTestSupport.h"

#include <cstdlib>
#include <filesystem>

namespace plugintest {

EncodableValue I(int value) { return EncodableValue(static_cast<int32_t>(value)); }
EncodableValue S(const std::string& text) { return EncodableValue(text); }
EncodableValue L(std::initializer_list<EncodableValue> values) { return EncodableValue(EncodableList(values)); }
EncodableValue M(std::initializer_list<std::pair<const char*, EncodableValue>> entries) {
    EncodableMap map;
    for (const auto& entry : entries) map[EncodableValue(entry.first)] = entry.second;
    return EncodableValue(std::move(map));
}

void PluginTest::SetUp() {
    // Before the library first looks: the simulated machine and the tree's
    // configuration, unless the caller chose others.
    setenv("SORVANSDK_BACKEND", "sim", 0);
    setenv("SORVANSDK_CONFIG_PATH", SORVANSDK_SOURCE_DIR "/config", 0);
    host_ = std::make_unique<sorvansdk_host::PluginHost>(SORVANSDK_PLUGIN_PATH);
}

void PluginTest::TearDown() {
    if (!host_) return;
    EXPECT_EQ(host_->ExtraAnswers(), 0) << "a call was answered more than once";
    host_.reset();
}

Reply PluginTest::Call(const std::string& method, const EncodableValue& arguments) {
    Reply reply = host_->Invoke(method, arguments);
    EXPECT_NE(reply.kind, Reply::Kind::kPending) << method << " was not answered";
    EXPECT_TRUE(reply.onPlatformThread) << method << " was answered off the platform thread";
    return reply;
}

int PluginTest::NewHandle(int index) {
    const Reply reply = Call("initializeCameraDevice", I(index));
    EXPECT_TRUE(IsSuccess(reply)) << sorvansdk_host::Describe(reply);
    return AsInt(reply);
}

int PluginTest::OpenHandle(int index) {
    const int handle = NewHandle(index);
    const Reply opened = Call("openCamera", I(handle));
    EXPECT_EQ(AsInt(opened), 0) << sorvansdk_host::Describe(opened);
    return handle;
}

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "svplugin-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

bool MakeImages(const std::string& script, const std::string& dir) {
    const std::string command = "python3 " SORVANSDK_SOURCE_DIR "/scripts/" + script + " " + dir + " >/dev/null";
    return std::system(command.c_str()) == 0;
}

::testing::AssertionResult IsSuccess(const Reply& reply) {
    if (reply.kind == Reply::Kind::kSuccess) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "answer: " << sorvansdk_host::Describe(reply);
}

::testing::AssertionResult IsError(const Reply& reply, const std::string& code, const std::string& message,
                                   const EncodableValue& details) {
    if (reply.kind == Reply::Kind::kError && reply.code == code && reply.message == message && reply.details == details)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "answer: " << sorvansdk_host::Describe(reply) << "\nwanted: PlatformException("
                                         << code << ", " << message << ", " << sorvansdk_host::Describe(details) << ")";
}

int AsInt(const Reply& reply) {
    if (reply.kind != Reply::Kind::kSuccess) return -1000;
    if (const auto* value = std::get_if<int32_t>(&reply.value)) return *value;
    return -1001;
}

}  // namespace plugintest
