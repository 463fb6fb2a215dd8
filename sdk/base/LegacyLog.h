#pragma once

// The legacy log channel "SzLog": an asynchronous logger on the logging
// library's global worker pool, optionally writing to a file named by
// "logs/szcfg.ini" (section SzLog, key LogPath). Created when the library is
// loaded; the legacy interface writes printf-style records through it.

#include <memory>
#include <string>

#include <spdlog/spdlog.h>

#if defined(__MINGW32__)
// MinGW's C++ runtime formats with its own C99 printf, not the system one.
#define SV_PRINTF_FORMAT(fmtIndex, argIndex) __attribute__((format(gnu_printf, fmtIndex, argIndex)))
#elif defined(__GNUC__)
#define SV_PRINTF_FORMAT(fmtIndex, argIndex) __attribute__((format(printf, fmtIndex, argIndex)))
#else
#define SV_PRINTF_FORMAT(fmtIndex, argIndex)
#endif

namespace sv {

class SzLogChannel {
public:
    static constexpr const char* kFolder = "logs/";
    static constexpr const char* kIniName = "szcfg.ini";
    static constexpr const char* kLogName = "szlog.txt";
    static constexpr std::size_t kLogPathSize = 256;
    static constexpr std::size_t kMessageSize = 4096;

    // The process's channel, created on first use (library load creates it).
    static std::shared_ptr<SzLogChannel> Instance();

    // Re-creates the channel, as a second attach notification would.
    static void Recreate();

    void Trace(const char* format, ...) SV_PRINTF_FORMAT(2, 3);
    void Debug(const char* format, ...) SV_PRINTF_FORMAT(2, 3);
    void Info(const char* format, ...) SV_PRINTF_FORMAT(2, 3);
    void Warn(const char* format, ...) SV_PRINTF_FORMAT(2, 3);
    void Error(const char* format, ...) SV_PRINTF_FORMAT(2, 3);

    // 0..5 select trace..critical; anything else turns the channel off.
    void SetLevel(int level);

    std::shared_ptr<spdlog::logger> Logger() const { return std::atomic_load(&logger_); }

    // Folder part of the file sink's path ("" when the INI was missing or empty).
    const std::string& LogPath() const { return logPath_; }
    bool HasFileSink() const { return hasFileSink_; }

private:
    SzLogChannel();
    void Write(spdlog::level::level_enum level, const char* format, va_list args);

    std::shared_ptr<spdlog::logger> logger_;
    std::string logPath_;
    bool hasFileSink_ = false;
};

// Reads `key` of `section` from an INI file: "" when the file, section or key
// is missing; at most `maxBytes - 1` bytes of the value are kept.
std::string ReadIniString(const std::string& path, const std::string& section,
                          const std::string& key, std::size_t maxBytes);

}  // namespace sv
