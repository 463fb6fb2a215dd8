#include "PluginTestSupport.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#if defined(_WIN32)
#include <process.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>

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

namespace {

// How long a gate waits for its reader to come before giving up.
constexpr auto kReaderLimit = std::chrono::seconds(60);

}  // namespace

#if defined(_WIN32)

GatedFile::GatedFile(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const std::string name = "\\\\.\\pipe\\svplugin-" + std::to_string(ProcessId()) + "-" +
                             std::to_string(counter++) + "-" + std::filesystem::path(path).filename().string();
    // One instance, written by this end only; the reader's open connects to
    // it at once and its first read waits for data.
    HANDLE pipe = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 1 << 20, 0, 0,
                                   nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return;
    pipe_ = pipe;
    path_ = name;
}

GatedFile::~GatedFile() {
    if (pipe_ != nullptr) CloseHandle(static_cast<HANDLE>(pipe_));
}

bool GatedFile::Ready() const { return pipe_ != nullptr; }

bool GatedFile::Open(const std::vector<uint8_t>& bytes) {
    if (pipe_ == nullptr) return false;
    HANDLE pipe = static_cast<HANDLE>(pipe_);
    pipe_ = nullptr;
    // Bytes written before the reader has connected would be refused: wait
    // for it (at once when it is there already), and if it never comes,
    // connect in its place so that the wait ends.
    auto connected = std::async(std::launch::async, [pipe] {
        return ConnectNamedPipe(pipe, nullptr) != FALSE || GetLastError() == ERROR_PIPE_CONNECTED;
    });
    if (connected.wait_for(kReaderLimit) != std::future_status::ready) {
        HANDLE stand_in = CreateFileA(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        (void)connected.get();
        if (stand_in != INVALID_HANDLE_VALUE) CloseHandle(stand_in);
        CloseHandle(pipe);
        return false;
    }
    if (!connected.get()) {
        CloseHandle(pipe);
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD wrote = 0;
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 16));
        if (!WriteFile(pipe, bytes.data() + done, piece, &wrote, nullptr)) break;
        done += wrote;
    }
    // Everything is read before this end goes: closing on unread data could drop it.
    FlushFileBuffers(pipe);
    CloseHandle(pipe);
    return done == bytes.size();
}

#else

GatedFile::GatedFile(const std::string& path) {
    // The reader's open waits until a writer opens the FIFO: that is the gate.
    if (mkfifo(path.c_str(), 0600) == 0) path_ = path;
}

GatedFile::~GatedFile() = default;

bool GatedFile::Ready() const { return !path_.empty(); }

bool GatedFile::Open(const std::vector<uint8_t>& bytes) {
    if (path_.empty() || opened_) return false;
    opened_ = true;
    const std::string path = path_;
    // This open returns once the reader has opened its end (at once when it
    // is waiting already). If it never comes, a reader of our own ends the
    // wait.
    auto opening = std::async(std::launch::async, [path] { return open(path.c_str(), O_WRONLY); });
    if (opening.wait_for(kReaderLimit) != std::future_status::ready) {
        const int stand_in = open(path.c_str(), O_RDONLY | O_NONBLOCK);
        const int fd = opening.get();
        if (fd >= 0) close(fd);
        if (stand_in >= 0) close(stand_in);
        return false;
    }
    const int fd = opening.get();
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) break;
        done += static_cast<std::size_t>(wrote);
    }
    // The only writer's close is the reader's end of file.
    close(fd);
    return done == bytes.size();
}

#endif

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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
