#include "PluginTestSupport.h"

#include <atomic>
#include <cstdlib>
#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif
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

namespace {

int ProcessId() {
#if defined(_WIN32)
    return _getpid();
#else
    return static_cast<int>(getpid());
#endif
}

void SetEnvUnlessSet(const char* name, const char* value) {
    if (std::getenv(name) != nullptr) return;
#if defined(_WIN32)
    _putenv_s(name, value);
#else
    setenv(name, value, 0);
#endif
}

}  // namespace

void PluginTest::SetUp() {
    // Before the library first looks: the simulated machine and the tree's
    // configuration, unless the caller chose others.
    SetEnvUnlessSet("SORVANSDK_BACKEND", "sim");
    SetEnvUnlessSet("SORVANSDK_CONFIG_PATH", SORVANSDK_SOURCE_DIR "/config");
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
    // A fresh folder: the process id and a counter, created only if absent.
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        const auto candidate = std::filesystem::temp_directory_path() /
                               ("svplugin-" + std::to_string(ProcessId()) + "-" + std::to_string(counter++));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) path_ = candidate.generic_string();
    }
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

// The sample images the build made with the tree's scripts, copied into `dir`.
bool MakeImages(const std::string& script, const std::string& dir) {
    (void)script;  // one folder holds the images of both scripts
    std::error_code ec;
    std::filesystem::copy(SORVANSDK_SAMPLE_IMAGES, dir,
                          std::filesystem::copy_options::overwrite_existing | std::filesystem::copy_options::recursive, ec);
    return !ec;
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
