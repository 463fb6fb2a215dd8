#include "common/LogCapture.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#if defined(_WIN32)
#include <process.h>
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace sv::test {

TempDir::TempDir() {
#if defined(_WIN32)
    // A name from the process id and a counter, created atomically by
    // create_directory (it fails when the folder already exists).
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = std::filesystem::temp_directory_path() /
                         ("sorvansdk-test-" + std::to_string(ProcessId()) + "-" + std::to_string(counter++));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            // Forward slashes, as the tests join names with "/".
            path_ = candidate.generic_string();
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "sorvansdk-test-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    if (!made) throw std::runtime_error("mkdtemp failed");
    path_ = made;
#endif
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void TempDir::Write(const std::string& name, const std::string& content) const {
    std::ofstream out(File(name), std::ios::binary);
    out << content;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void SetEnv(const char* name, const std::string& value) {
#if defined(_WIN32)
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

void UnsetEnv(const char* name) {
#if defined(_WIN32)
    _putenv_s(name, "");  // an empty value removes the variable there
#else
    unsetenv(name);
#endif
}

int ProcessId() {
#if defined(_WIN32)
    return _getpid();
#else
    return static_cast<int>(getpid());
#endif
}

CommandRun RunCommand(const std::string& command) {
    CommandRun run;
#if defined(_WIN32)
    FILE* pipe = _popen(command.c_str(), "rb");
#else
    FILE* pipe = popen(command.c_str(), "r");
#endif
    if (!pipe) return run;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) run.out.append(buffer, n);
#if defined(_WIN32)
    run.status = _pclose(pipe);
    // Programs write text mode there: line ends come as CR LF.
    std::string text;
    text.reserve(run.out.size());
    for (std::size_t i = 0; i < run.out.size(); ++i) {
        if (run.out[i] == '\r' && i + 1 < run.out.size() && run.out[i + 1] == '\n') continue;
        text += run.out[i];
    }
    run.out = std::move(text);
#else
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    return run;
}

}  // namespace sv::test
