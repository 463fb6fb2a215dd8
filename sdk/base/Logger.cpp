#include "base/Logger.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <vector>

#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/sinks/stdout_color_sinks.h>

namespace sv::log {
namespace {

constexpr const char* kLoggerName = "Sorvan";
constexpr const char* kPattern = "[%Y-%m-%d %H:%M:%S.%e] [%^%l%$] %v";
constexpr const char* kLineEnd = "\r\n";
constexpr std::size_t kLogFileSize = 5242880;  // 5 MiB per file
constexpr std::size_t kLogFileCount = 3;

struct State {
    std::mutex mutex;                        // guards sinks and replacement
    std::vector<spdlog::sink_ptr> sinks;     // shared sink list, reused on rebuild
    std::shared_ptr<spdlog::logger> logger;  // read through atomic_load
    std::atomic<int> storedLevel{2};
    std::shared_ptr<const Observer> observer;  // read through atomic_load
};

// Never destroyed: records may still be written from other static destructors.
State& state() {
    static State* s = new State();
    return *s;
}

// Hands each record to the observer, if one is set.
class ObserverSink final : public spdlog::sinks::base_sink<std::mutex> {
protected:
    void sink_it_(const spdlog::details::log_msg& msg) override {
        auto observer = std::atomic_load(&state().observer);
        if (!observer || !*observer) return;
        spdlog::memory_buf_t formatted;
        formatter_->format(msg, formatted);
        (*observer)(std::string(formatted.data(), formatted.size()));
    }
    void flush_() override {}
};

// Builds a logger over the shared list after appending a fresh console sink.
// With a log file in the list every record is flushed as it is written, so
// that the file holds the debug and trace records too when the process ends
// without an orderly exit. Caller holds the state mutex.
void rebuildLocked(State& s, bool withFile = false) {
    auto console = std::make_shared<spdlog::sinks::stdout_color_sink_mt>(spdlog::color_mode::automatic);
    s.sinks.push_back(console);
    s.sinks.push_back(std::make_shared<ObserverSink>());
    auto logger = std::make_shared<spdlog::logger>(kLoggerName, s.sinks.begin(), s.sinks.end());
    logger->flush_on(withFile ? spdlog::level::trace : spdlog::level::info);
    int level = s.storedLevel.load();
    if (level >= 0 && level <= 6) {
        logger->set_level(static_cast<spdlog::level::level_enum>(level));
    }
    for (auto& sink : s.sinks) {
        sink->set_formatter(std::make_unique<spdlog::pattern_formatter>(
            kPattern, spdlog::pattern_time_type::local, kLineEnd));
    }
    std::atomic_store(&s.logger, std::move(logger));
}

// The logger exists from library load on.
[[maybe_unused]] const bool kCreatedAtLoad = (Get(), true);

}  // namespace

std::shared_ptr<spdlog::logger> Get() {
    State& s = state();
    auto logger = std::atomic_load(&s.logger);
    if (logger) return logger;
    std::lock_guard<std::mutex> lock(s.mutex);
    logger = std::atomic_load(&s.logger);
    if (!logger) {
        rebuildLocked(s);
        logger = std::atomic_load(&s.logger);
    }
    return logger;
}

void ResetToConsole() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.sinks.clear();
    rebuildLocked(s);
}

void AttachLogFolder(const std::string& folder) {
    namespace fs = std::filesystem;
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.sinks.clear();

    std::error_code ec;
    fs::file_status status = fs::status(folder, ec);
    if (ec || !fs::exists(status)) {
        std::error_code createError;
        fs::create_directories(folder, createError);
        if (createError) {
            throw std::runtime_error("Failed to create log folder: " + folder);
        }
    }

    const std::string probe = folder + "/test.tmp";
    {
        std::ofstream out(probe, std::ios::out | std::ios::trunc);
        if (!out.is_open()) {
            throw std::runtime_error("Log folder is not writable: " + folder);
        }
    }
    fs::remove(probe);  // throws filesystem_error ("remove") on failure

    auto file = std::make_shared<spdlog::sinks::rotating_file_sink_mt>(folder + "/szlog.log", kLogFileSize,
                                                                         kLogFileCount, false);
    s.sinks.push_back(file);
    rebuildLocked(s, true);

    // The file's opening line, whatever the level: it shows that the file
    // works and at which level the records that follow were let through.
    const auto level = std::atomic_load(&s.logger)->level();
    const auto levelName = spdlog::level::to_string_view(level);
    const std::string text = "Log file opened; records at " + std::string(levelName.data(), levelName.size()) +
                             (level == spdlog::level::off ? " (none)" : " and above") + " follow";
    file->log(spdlog::details::log_msg(kLoggerName, spdlog::level::info, text));
    file->flush();
}

void SetObserver(std::shared_ptr<const Observer> observer) {
    std::atomic_store(&state().observer, std::move(observer));
}

int StoredLevel() { return state().storedLevel.load(); }

void SetStoredLevel(int level) {
    state().storedLevel.store(level);
    if (level >= 0 && level <= 6) {
        auto logger = Get();
        logger->set_level(static_cast<spdlog::level::level_enum>(level));
    }
}

}  // namespace sv::log
