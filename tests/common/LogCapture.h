#pragma once

// Captures what the library logger writes to the console during a scope.

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include <gtest/gtest.h>

#include "base/Logger.h"

namespace sv::test {

class LogCapture {
public:
    LogCapture() {
        testing::internal::CaptureStdout();
#if defined(_WIN32)
        // The console sinks there keep the handle they were made with, so the
        // library's records are taken from its observer instead.
        observed_ = std::make_shared<Observed>();
        auto observed = observed_;
        sv::log::SetObserver(std::make_shared<const sv::log::Observer>([observed](const std::string& text) {
            std::lock_guard<std::mutex> lock(observed->mutex);
            observed->text += text;
        }));
#endif
    }
    ~LogCapture() {
        if (!taken_) (void)Text();
    }
    // Everything written so far; ends the capture.
    std::string Text() {
        if (taken_) return text_;
        if (auto logger = sv::log::Get()) logger->flush();
        std::fflush(stdout);
        text_ = testing::internal::GetCapturedStdout();
#if defined(_WIN32)
        sv::log::SetObserver(nullptr);
        std::lock_guard<std::mutex> lock(observed_->mutex);
        text_ += observed_->text;
#endif
        taken_ = true;
        return text_;
    }
    bool Contains(const std::string& needle) { return Text().find(needle) != std::string::npos; }

private:
    struct Observed {
        std::mutex mutex;
        std::string text;
    };
    bool taken_ = false;
    std::string text_;
    std::shared_ptr<Observed> observed_;
};

// A fresh temporary folder, removed at the end of the scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    void Write(const std::string& name, const std::string& content) const;

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);

// The few process services the tests need, on POSIX and on Windows alike.
void SetEnv(const char* name, const std::string& value);
void UnsetEnv(const char* name);
int ProcessId();

// Runs a command line through the system's shell and collects its standard
// output; status is the exit code, or -1 when the command did not end normally.
struct CommandRun {
    int status = -1;
    std::string out;
};
CommandRun RunCommand(const std::string& command);

}  // namespace sv::test
