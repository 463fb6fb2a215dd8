#pragma once

// What the tests of the earlier interface share: the simulated machine chosen
// through the environment before the library makes its back-end, a trace file
// of this process, and the frame counter read back from a frame's top band.
// Only the public legacy header of the library is used.

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include <sorvansdk/SorvanCam.h>

namespace legacytest {

// This header stays free of the library's internals, so the two process
// services it needs are written out here for both platforms.
inline int ProcessId() {
#if defined(_WIN32)
    return _getpid();
#else
    return static_cast<int>(::getpid());
#endif
}
inline void SetEnv(const char* name, const std::string& value) {
#if defined(_WIN32)
    _putenv_s(name, value.c_str());
#else
    ::setenv(name, value.c_str(), 1);
#endif
}

// One trace file per process, so that parallel test processes do not mix.
inline const std::string& TracePath() {
    static const std::string path = [] {
        std::string p = std::string(LEGACY_TEST_TRACE_DIR) + "/legacy-trace-" + std::to_string(ProcessId()) + ".jsonl";
        std::remove(p.c_str());
        return p;
    }();
    return path;
}

// Selects the simulator with the test world; runs before main, so before the
// library's first use creates its back-end.
inline const bool kEnvironment = [] {
    SetEnv("SORVANSDK_BACKEND", "sim");
    SetEnv("SORVANSDK_SIM_WORLD", LEGACY_TEST_WORLD);
    SetEnv("SORVANSDK_SIM_TRACE", TracePath());
    return true;
}();

// The trace lines written since `mark` (a byte offset of the file).
class Trace {
public:
    Trace() : mark_(Size()) {}
    std::vector<nlohmann::json> Lines() const {
        std::ifstream in(TracePath());
        in.seekg(static_cast<std::streamoff>(mark_));
        std::vector<nlohmann::json> out;
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty()) out.push_back(nlohmann::json::parse(line));
        }
        return out;
    }
    std::vector<nlohmann::json> Ops(const std::string& op) const {
        std::vector<nlohmann::json> out;
        for (auto& j : Lines()) {
            if (j.value("op", "") == op) out.push_back(j);
        }
        return out;
    }

private:
    static std::size_t Size() {
        std::ifstream in(TracePath(), std::ios::ate | std::ios::binary);
        return in ? static_cast<std::size_t>(in.tellg()) : 0;
    }
    std::size_t mark_;
};

// World positions of the cameras (tests/legacy/api/legacy-world.json).
constexpr int kWebcam = 0;
constexpr int kKivo = 1;
constexpr int kLira = 2;

// The frame number of the test pattern: 32 cells across the top band, most
// significant bit left, white 1. Luma of the top row for the three raw formats.
inline uint32_t FrameCounter(const std::vector<uint8_t>& frame, int width, int format) {
    const int cell = width / 32;
    uint32_t value = 0;
    for (int bit = 0; bit < 32; ++bit) {
        const int x = bit * cell + cell / 2;
        std::size_t at = 0;
        if (format == 1) at = static_cast<std::size_t>(2 * x);          // YUY2: Y U Y V
        else if (format == 2) at = static_cast<std::size_t>(2 * x + 1);  // UYVY: U Y V Y
        else at = static_cast<std::size_t>(x);                           // NV12: luma plane first
        value = value << 1 | (frame.at(at) > 128 ? 1u : 0u);
    }
    return value;
}

inline std::size_t FrameBytes(int width, int height, int format) {
    const auto pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    return format == 3 ? pixels * 3 / 2 : pixels * 2;
}

inline std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

}  // namespace legacytest
