// The library logger: pattern, levels, and the log file.

#include <filesystem>
#include <regex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <sorvansdk/SorvanSDK.h>

#include "common/LogCapture.h"
#include "base/Logger.h"

namespace fs = std::filesystem;
using sv::test::LogCapture;
using sv::test::TempDir;

namespace {

class LoggerTest : public testing::Test {
protected:
    void TearDown() override {
        SvSetLogLevel(SV_LOG_LEVEL_INFO);
        sv::log::ResetToConsole();
    }
};

// Colour codes may wrap the level name when the console is a terminal.
const char* kLinePattern =
    R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\] \[(\x1b\[[0-9;]*m)?info(\x1b\[m)?\] Hello SorvanSDK!\r\n)";

TEST_F(LoggerTest, GreetingUsesPatternAndCrLfAndInfoLevelByDefault) {
    LogCapture capture;
    HelloSorvanSDK();
    SV_LOGD("LoggerTest", "debug record must not appear");
    const std::string text = capture.Text();
    EXPECT_TRUE(std::regex_search(text, std::regex(kLinePattern))) << text;
    EXPECT_NE(text.find("] Version: 25.12.1\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("debug record"), std::string::npos);
}

TEST_F(LoggerTest, PrefixedRecordsCarryOperationAndLine) {
    LogCapture capture;
    const int line = __LINE__ + 1;
    SV_LOGE("Some::Operation", "value {}", 42);
    EXPECT_TRUE(capture.Contains("[Some::Operation][" + std::to_string(line) + "] value 42"));
}

TEST_F(LoggerTest, LevelFiltersRecordsBelowIt) {
    SvSetLogLevel(SV_LOG_LEVEL_ERROR);
    LogCapture capture;
    sv::log::Write(spdlog::level::info, "an info record");
    sv::log::Write(spdlog::level::err, "an error record");
    EXPECT_FALSE(capture.Contains("an info record"));
    EXPECT_TRUE(capture.Contains("an error record"));
    EXPECT_EQ(sv::log::StoredLevel(), 4);
}

TEST_F(LoggerTest, OutOfRangeLevelIsStoredButNotApplied) {
    SvSetLogLevel(SV_LOG_LEVEL_WARN);
    SvSetLogLevel(static_cast<SV_LOG_LEVEL>(9));
    EXPECT_EQ(sv::log::StoredLevel(), 9);
    EXPECT_EQ(sv::log::Get()->level(), spdlog::level::warn);

    // A rebuilt logger cannot take 9 and keeps the logging library's default.
    TempDir dir;
    ASSERT_EQ(SvSetLogFile(dir.Path()), 0);
    EXPECT_EQ(sv::log::Get()->level(), spdlog::level::info);
}

TEST_F(LoggerTest, OffLevelHoldsAcrossANewLogFile) {
    SvSetLogLevel(SV_LOG_LEVEL_OFF);
    TempDir dir;
    ASSERT_EQ(SvSetLogFile(dir.Path()), 0);
    EXPECT_EQ(sv::log::Get()->level(), spdlog::level::off);

    LogCapture capture;
    sv::log::Write(spdlog::level::critical, "critical record after the new file");
    SV_LOGE("LoggerTest", "error record after the new file");
    EXPECT_FALSE(capture.Contains("record after the new file")) << capture.Text();
    sv::log::Get()->flush();
    const std::string file = sv::test::ReadFile(dir.File("szlog.log"));
    EXPECT_EQ(file.find("record after the new file"), std::string::npos) << file;

    // The same file takes records again once a level lets them through.
    SvSetLogLevel(SV_LOG_LEVEL_ERROR);
    LogCapture later;
    sv::log::Write(spdlog::level::critical, "critical record once the level allows it");
    EXPECT_TRUE(later.Contains("critical record once the level allows it"));
    EXPECT_NE(sv::test::ReadFile(dir.File("szlog.log")).find("critical record once the level allows it"),
              std::string::npos);
}

TEST_F(LoggerTest, LogFileInNewNestedFolderReceivesRecords) {
    TempDir dir;
    const std::string folder = dir.Path() + "/a/b/logs";
    ASSERT_EQ(SvSetLogFile(folder), 0);
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_FALSE(fs::exists(folder + "/test.tmp"));

    LogCapture capture;
    sv::log::Write(spdlog::level::warn, "to file and console");
    EXPECT_TRUE(capture.Contains("to file and console"));
    const std::string file = sv::test::ReadFile(folder + "/szlog.log");
    EXPECT_NE(file.find("] to file and console\r\n"), std::string::npos) << file;
}

TEST_F(LoggerTest, ANewLogFileOpensWithItsLevelAndHoldsEachRecordAtOnce) {
    SvSetLogLevel(SV_LOG_LEVEL_DEBUG);
    TempDir dir;
    ASSERT_EQ(SvSetLogFile(dir.Path()), 0);
    // Read without a flush: what the file holds while the process runs.
    EXPECT_NE(sv::test::ReadFile(dir.File("szlog.log")).find("] [info] Log file opened; records at debug and above follow\r\n"),
              std::string::npos);
    SV_LOGD("LoggerTest", "debug record below the console's flush level");
    EXPECT_NE(sv::test::ReadFile(dir.File("szlog.log")).find("] [debug] [LoggerTest]["), std::string::npos);
    EXPECT_NE(sv::test::ReadFile(dir.File("szlog.log")).find("debug record below the console's flush level\r\n"),
              std::string::npos);

    // With the level off the file still says that it is there, and why it
    // stays short; the console does not get that line.
    SvSetLogLevel(SV_LOG_LEVEL_OFF);
    TempDir quiet;
    LogCapture console;
    ASSERT_EQ(SvSetLogFile(quiet.Path()), 0);
    EXPECT_FALSE(console.Contains("Log file opened")) << console.Text();
    EXPECT_NE(sv::test::ReadFile(quiet.File("szlog.log")).find("] [info] Log file opened; records at off (none) follow\r\n"),
              std::string::npos);
}

TEST_F(LoggerTest, SecondLogFileReplacesTheFirst) {
    TempDir first;
    TempDir second;
    ASSERT_EQ(SvSetLogFile(first.Path()), 0);
    sv::log::Write(spdlog::level::info, "first record");
    ASSERT_EQ(SvSetLogFile(second.Path()), 0);
    sv::log::Write(spdlog::level::info, "second record");

    const std::string a = sv::test::ReadFile(first.File("szlog.log"));
    const std::string b = sv::test::ReadFile(second.File("szlog.log"));
    EXPECT_NE(a.find("first record"), std::string::npos);
    EXPECT_EQ(a.find("second record"), std::string::npos);
    EXPECT_NE(b.find("second record"), std::string::npos);
}

TEST_F(LoggerTest, ExistingLogFileIsAppendedTo) {
    TempDir dir;
    dir.Write("szlog.log", "earlier line\r\n");
    ASSERT_EQ(SvSetLogFile(dir.Path()), 0);
    sv::log::Write(spdlog::level::info, "later line");
    const std::string text = sv::test::ReadFile(dir.File("szlog.log"));
    EXPECT_EQ(text.rfind("earlier line\r\n", 0), 0u);
    EXPECT_NE(text.find("later line"), std::string::npos);
}

TEST_F(LoggerTest, RegularFileIsNotAWritableFolder) {
    TempDir dir;
    dir.Write("plain", "x");
    LogCapture capture;
    EXPECT_EQ(SvSetLogFile(dir.File("plain")), -1);
    EXPECT_TRUE(capture.Contains("Failed to set log file: Log folder is not writable: " + dir.File("plain")));
    // The console keeps working.
    LogCapture after;
    sv::log::Write(spdlog::level::info, "still logging");
    EXPECT_TRUE(after.Contains("still logging"));
}

TEST_F(LoggerTest, FolderBelowARegularFileCannotBeCreated) {
    TempDir dir;
    dir.Write("plain", "x");
    const std::string folder = dir.File("plain") + "/sub";
    LogCapture capture;
    EXPECT_EQ(SvSetLogFile(folder), -1);
    EXPECT_TRUE(capture.Contains("Failed to set log file: Failed to create log folder: " + folder));
}

TEST_F(LoggerTest, FailedLogFileKeepsThePreviousLogger) {
    TempDir good;
    ASSERT_EQ(SvSetLogFile(good.Path()), 0);
    auto before = sv::log::Get();
    TempDir bad;
    bad.Write("plain", "x");
    EXPECT_EQ(SvSetLogFile(bad.File("plain")), -1);
    EXPECT_EQ(sv::log::Get(), before);
}

TEST_F(LoggerTest, ReplacingTheLoggerWhileOtherThreadsWriteIsSafe) {
    TempDir dir;
    std::atomic<bool> stop{false};
    std::vector<std::thread> writers;
    for (int t = 0; t < 3; ++t) {
        writers.emplace_back([&stop, t] {
            while (!stop.load()) sv::log::Write(spdlog::level::debug, "writer {}", t);
        });
    }
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(SvSetLogFile(dir.Path() + "/r" + std::to_string(i % 3)), 0);
    }
    stop = true;
    for (auto& w : writers) w.join();
}

}  // namespace
