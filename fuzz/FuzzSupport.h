#pragma once

// Pieces every fuzz target shares.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "base/Logger.h"

namespace svfuzz {

// The parsers log every input they refuse; a fuzzer feeds them millions.
inline void QuietLogs() { sv::log::SetStoredLevel(static_cast<int>(spdlog::level::off)); }

// Stops the run with a crash the fuzzer reports, for a broken promise that is
// not a memory or undefined-behaviour fault.
[[noreturn]] inline void Broken(const char* what) {
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::abort();
}

// One file of this process that holds the current input, for readers that
// take a path. Removed when the process ends normally.
class ScratchFile {
public:
    explicit ScratchFile(const std::string& name) {
        const char* dir = std::getenv("TMPDIR");
        path_ = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/sv-fuzz-" +
                std::to_string(static_cast<long>(getpid())) + "-" + name;
    }
    ~ScratchFile() { std::remove(path_.c_str()); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Replaces the content; the path.
    const std::string& Write(const uint8_t* data, size_t size) {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        out.close();
        if (!out) Broken("cannot write the scratch file");
        return path_;
    }

private:
    std::string path_;
};

}  // namespace svfuzz
