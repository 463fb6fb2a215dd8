#pragma once

// Captures what the library logger writes to the console during a scope.

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "base/Logger.h"

namespace sv::test {

class LogCapture {
public:
    LogCapture() { testing::internal::CaptureStdout(); }
    ~LogCapture() {
        if (!taken_) (void)Text();
    }
    // Everything written so far; ends the capture.
    std::string Text() {
        if (taken_) return text_;
        if (auto logger = sv::log::Get()) logger->flush();
        std::fflush(stdout);
        text_ = testing::internal::GetCapturedStdout();
        taken_ = true;
        return text_;
    }
    bool Contains(const std::string& needle) { return Text().find(needle) != std::string::npos; }

private:
    bool taken_ = false;
    std::string text_;
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

}  // namespace sv::test
