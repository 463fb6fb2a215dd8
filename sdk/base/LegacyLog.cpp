#include "base/LegacyLog.h"

#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <vector>

#include <spdlog/async.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/sinks/stdout_color_sinks.h>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace sv {
namespace {

constexpr const char* kChannelName = "SzLog";
[[maybe_unused]] constexpr std::size_t kQueueSize = 8192;
constexpr std::size_t kFileSize = 10485760;  // 10 MiB per file
constexpr std::size_t kFileCount = 3;

bool DebuggerAttached() {
#if defined(_WIN32)
    return IsDebuggerPresent() != 0;
#else
    // A tracer (a debugger) shows as a non-zero TracerPid.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("TracerPid:", 0) == 0) {
            return std::strtol(line.c_str() + 10, nullptr, 10) != 0;
        }
    }
    return false;
#endif
}

// Writes to the debugger's output only while a debugger is attached (on POSIX
// builds the debugger sees standard error).
class DebuggerSink final : public spdlog::sinks::base_sink<std::mutex> {
protected:
    void sink_it_(const spdlog::details::log_msg& msg) override {
        if (!DebuggerAttached()) return;
        spdlog::memory_buf_t formatted;
        formatter_->format(msg, formatted);
        std::string text(formatted.data(), formatted.size());
#if defined(_WIN32)
        OutputDebugStringA(text.c_str());
#else
        std::fwrite(text.data(), 1, text.size(), stderr);
#endif
    }
    void flush_() override {}
};

std::mutex& channelMutex() {
    static std::mutex* m = new std::mutex();
    return *m;
}

// Never destroyed: legacy records may be written during static destruction.
std::shared_ptr<SzLogChannel>& channelSlot() {
    static auto* channel = new std::shared_ptr<SzLogChannel>();
    return *channel;
}

#if !defined(_WIN32)
std::string Trim(const std::string& text) {
    const char* blanks = " \t\r\n";
    auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return "";
    auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}
#endif

// The channel exists from library load on.
[[maybe_unused]] const bool kCreatedAtLoad = (SzLogChannel::Instance(), true);

}  // namespace

std::string ReadIniString(const std::string& path, const std::string& section,
                          const std::string& key, std::size_t maxBytes) {
#if defined(_WIN32)
    std::vector<char> buffer(maxBytes, '\0');
    GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(),
                             static_cast<DWORD>(maxBytes), path.c_str());
    return std::string(buffer.data());
#else
    std::ifstream in(path);
    if (!in.is_open() || maxBytes == 0) return "";
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        std::string t = Trim(line);
        if (t.empty() || t[0] == ';' || t[0] == '#') continue;
        if (t.front() == '[' && t.back() == ']') {
            inSection = Trim(t.substr(1, t.size() - 2)) == section;
            continue;
        }
        if (!inSection) continue;
        auto eq = t.find('=');
        if (eq == std::string::npos || Trim(t.substr(0, eq)) != key) continue;
        std::string value = Trim(t.substr(eq + 1));
        // Quotes around the whole value are not part of it.
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        if (value.size() > maxBytes - 1) value.resize(maxBytes - 1);
        return value;
    }
    return "";
#endif
}

SzLogChannel::SzLogChannel() {
#if !defined(_WIN32)
    spdlog::init_thread_pool(kQueueSize, 1);
#endif
    auto console = std::make_shared<spdlog::sinks::stdout_color_sink_mt>(spdlog::color_mode::automatic);
    auto debugger = std::make_shared<DebuggerSink>();

    std::vector<spdlog::sink_ptr> sinks{console};
    const std::string iniPath = std::string(kFolder) + kIniName;
    bool iniOpened = false;
    {
        std::ifstream probe(iniPath);
        iniOpened = probe.is_open();
    }
    if (iniOpened) {
        logPath_ = ReadIniString(iniPath, kChannelName, "LogPath", kLogPathSize);
        try {
            sinks.push_back(std::make_shared<spdlog::sinks::rotating_file_sink_mt>(
                logPath_ + kLogName, kFileSize, kFileCount, false));
            hasFileSink_ = true;
        } catch (const std::exception& e) {
            // The legacy channel keeps its console and debugger outputs.
            std::fprintf(stderr, "SzLog: cannot open %s%s: %s\n", logPath_.c_str(), kLogName, e.what());
        }
    }
    sinks.push_back(debugger);

#if defined(_WIN32)
    // Windows ends every other thread of a process before a DLL's static
    // objects are destroyed, so a background writer's pool would wait at exit
    // for a thread that is gone, and one left running would outlive an
    // unloaded library. Records are written on the caller's thread instead.
    logger_ = std::make_shared<spdlog::logger>(kChannelName, sinks.begin(), sinks.end());
#else
    logger_ = std::make_shared<spdlog::async_logger>(kChannelName, sinks.begin(), sinks.end(),
                                                     spdlog::thread_pool(),
                                                     spdlog::async_overflow_policy::block);
#endif
    spdlog::drop(kChannelName);
    spdlog::register_logger(logger_);
}

std::shared_ptr<SzLogChannel> SzLogChannel::Instance() {
    std::lock_guard<std::mutex> lock(channelMutex());
    auto& slot = channelSlot();
    if (!slot) slot.reset(new SzLogChannel());
    return slot;
}

void SzLogChannel::Recreate() {
    std::lock_guard<std::mutex> lock(channelMutex());
    // Writers that still hold the old channel finish with it; it goes when they let go.
    channelSlot().reset(new SzLogChannel());
}

void SzLogChannel::SetLevel(int level) {
    auto logger = Logger();
    if (level >= 0 && level <= 5) {
        logger->set_level(static_cast<spdlog::level::level_enum>(level));
    } else {
        logger->set_level(spdlog::level::off);
    }
}

void SzLogChannel::Write(spdlog::level::level_enum level, const char* format, va_list args) {
    // A per-call buffer keeps concurrent writers apart; longer texts are cut.
    char message[kMessageSize];
    int n = std::vsnprintf(message, sizeof(message), format, args);
    if (n < 0) return;
    auto logger = Logger();
    logger->log(level, "{}", message);
    logger->flush();
}

#define SV_SZLOG_WRITER(Name, Level)                  \
    void SzLogChannel::Name(const char* format, ...) { \
        va_list args;                                 \
        va_start(args, format);                       \
        Write(Level, format, args);                   \
        va_end(args);                                 \
    }

SV_SZLOG_WRITER(Trace, spdlog::level::trace)
SV_SZLOG_WRITER(Debug, spdlog::level::debug)
SV_SZLOG_WRITER(Info, spdlog::level::info)
SV_SZLOG_WRITER(Warn, spdlog::level::warn)
SV_SZLOG_WRITER(Error, spdlog::level::err)

#undef SV_SZLOG_WRITER

}  // namespace sv
