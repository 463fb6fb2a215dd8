#pragma once

// The library logger "Sorvan": one process-wide logger over a shared sink list,
// replaced as a whole by SvSetLogFile. Writers take their own reference to the
// current logger, so a replacement on another thread never pulls it away from
// under a record being written.

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include <spdlog/spdlog.h>

namespace sv::log {

// The current library logger; created on first use (and at library load).
std::shared_ptr<spdlog::logger> Get();

// Drops the file sink (if any) and goes back to the console only.
void ResetToConsole();

// Adds the rotating "szlog.log" in `folder` and rebuilds the logger. Throws on
// failure with the text that SvSetLogFile reports.
void AttachLogFolder(const std::string& folder);

// Receives a copy of each record the console gets, formatted the same way,
// while set (null stops it). For tests and tools that must see the log where
// the console's output cannot be redirected (the console sinks of Windows
// write to the handle they found when they were made).
using Observer = std::function<void(const std::string& text)>;
void SetObserver(std::shared_ptr<const Observer> observer);

// The stored level (an SV_LOG_LEVEL value, possibly out of range).
int StoredLevel();
void SetStoredLevel(int level);

template <typename... Args>
void Write(spdlog::level::level_enum level, fmt::format_string<Args...> format, Args&&... args) {
    auto logger = Get();
    if (logger && logger->should_log(level)) {
        logger->log(level, format, std::forward<Args>(args)...);
    }
}

// A record whose text begins "[where][line] ": the convention of messages
// written inside the library.
template <typename... Args>
void WriteAt(spdlog::level::level_enum level, const char* where, int line,
             fmt::format_string<Args...> format, Args&&... args) {
    auto logger = Get();
    if (logger && logger->should_log(level)) {
        logger->log(level, "[{}][{}] {}", where, line,
                    fmt::format(format, std::forward<Args>(args)...));
    }
}

// As WriteAt, for the few messages whose text follows the prefix without a
// blank ("[where][line]text").
template <typename... Args>
void WriteAtJoined(spdlog::level::level_enum level, const char* where, int line,
                   fmt::format_string<Args...> format, Args&&... args) {
    auto logger = Get();
    if (logger && logger->should_log(level)) {
        logger->log(level, "[{}][{}]{}", where, line,
                    fmt::format(format, std::forward<Args>(args)...));
    }
}

}  // namespace sv::log

// Records inside the library: SV_LOGE("UVCCameraStreamerWin::GetImage", "Timeout {} ms", t).
#define SV_LOG_AT(level, where, ...) ::sv::log::WriteAt(level, where, __LINE__, __VA_ARGS__)
#define SV_LOGT(where, ...) SV_LOG_AT(spdlog::level::trace, where, __VA_ARGS__)
#define SV_LOGD(where, ...) SV_LOG_AT(spdlog::level::debug, where, __VA_ARGS__)
#define SV_LOGI(where, ...) SV_LOG_AT(spdlog::level::info, where, __VA_ARGS__)
#define SV_LOGW(where, ...) SV_LOG_AT(spdlog::level::warn, where, __VA_ARGS__)
#define SV_LOGE(where, ...) SV_LOG_AT(spdlog::level::err, where, __VA_ARGS__)
#define SV_LOGE_JOINED(where, ...) ::sv::log::WriteAtJoined(spdlog::level::err, where, __LINE__, __VA_ARGS__)
