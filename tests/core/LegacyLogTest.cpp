// The legacy log channel "SzLog" and its INI reader.

#include <filesystem>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/LogCapture.h"
#include "base/LegacyLog.h"

namespace fs = std::filesystem;
using sv::SzLogChannel;
using sv::test::TempDir;

namespace {

TEST(IniReaderTest, ReadsKeyOfSectionOnly) {
    TempDir dir;
    dir.Write("szcfg.ini",
              "; settings\n"
              "[Other]\n"
              "LogPath = wrong/\n"
              "[SzLog]\r\n"
              "  LogPath =  /var/log/app/  \r\n");
    EXPECT_EQ(sv::ReadIniString(dir.File("szcfg.ini"), "SzLog", "LogPath", 256), "/var/log/app/");
    EXPECT_EQ(sv::ReadIniString(dir.File("szcfg.ini"), "SzLog", "Missing", 256), "");
    EXPECT_EQ(sv::ReadIniString(dir.File("absent.ini"), "SzLog", "LogPath", 256), "");
}

TEST(IniReaderTest, ValueIsCutToTheBuffer) {
    TempDir dir;
    dir.Write("a.ini", "[SzLog]\nLogPath=" + std::string(400, 'p') + "\n");
    EXPECT_EQ(sv::ReadIniString(dir.File("a.ini"), "SzLog", "LogPath", 256).size(), 255u);
}

// The channel reads "logs/szcfg.ini" relative to the current directory.
class LegacyChannelTest : public testing::Test {
protected:
    void SetUp() override {
        oldCwd_ = fs::current_path();
        fs::current_path(cwd_.Path());
    }
    void TearDown() override {
        fs::current_path(oldCwd_);
        SzLogChannel::Recreate();  // back to a channel without a file
    }
    TempDir cwd_;
    fs::path oldCwd_;
};

std::string WaitForFile(const std::string& path, const std::string& needle) {
    // The channel is asynchronous: give its worker time to write.
    for (int i = 0; i < 200; ++i) {
        sv::SzLogChannel::Instance()->Logger()->flush();
        std::string text = sv::test::ReadFile(path);
        if (text.find(needle) != std::string::npos) return text;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return sv::test::ReadFile(path);
}

TEST_F(LegacyChannelTest, WithoutIniThereIsNoFile) {
    SzLogChannel::Recreate();
    EXPECT_FALSE(SzLogChannel::Instance()->HasFileSink());
    EXPECT_EQ(SzLogChannel::Instance()->Logger()->name(), "SzLog");
    EXPECT_EQ(spdlog::get("SzLog"), SzLogChannel::Instance()->Logger());
}

TEST_F(LegacyChannelTest, IniLogPathIsJoinedWithoutSeparator) {
    fs::create_directory("logs");
    fs::create_directory("out");
    cwd_.Write("logs/szcfg.ini", "[SzLog]\nLogPath=out/pre_\n");
    SzLogChannel::Recreate();
    auto channel = SzLogChannel::Instance();
    ASSERT_TRUE(channel->HasFileSink());
    channel->Info("[%s][%d] legacy %s", "Fn", 7, "record");
    const std::string text = WaitForFile(cwd_.File("out/pre_szlog.txt"), "legacy record");
    EXPECT_NE(text.find("[SzLog] [info] [Fn][7] legacy record"), std::string::npos) << text;
}

TEST_F(LegacyChannelTest, LongMessagesAreTruncatedAndConcurrentWritersKeepTheirText) {
    fs::create_directory("logs");
    cwd_.Write("logs/szcfg.ini", "[SzLog]\nLogPath=\n");
    SzLogChannel::Recreate();
    auto channel = SzLogChannel::Instance();
    ASSERT_TRUE(channel->HasFileSink());

    const std::string huge(10000, 'h');
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([channel, t] {
            for (int i = 0; i < 50; ++i) channel->Warn("thread-%d-record-%d", t, i);
        });
    }
    channel->Error("%s", huge.c_str());
    for (auto& th : threads) th.join();
    channel->Warn("last-record");

    const std::string text = WaitForFile(cwd_.File("szlog.txt"), "last-record");
    EXPECT_NE(text.find(std::string(4095, 'h')), std::string::npos);
    EXPECT_EQ(text.find(std::string(4096, 'h')), std::string::npos);
    for (int t = 0; t < 4; ++t) {
        EXPECT_NE(text.find("thread-" + std::to_string(t) + "-record-49"), std::string::npos);
    }
}

TEST_F(LegacyChannelTest, LevelOutsideZeroToFiveTurnsTheChannelOff) {
    auto channel = SzLogChannel::Instance();
    channel->SetLevel(3);
    EXPECT_EQ(channel->Logger()->level(), spdlog::level::warn);
    channel->SetLevel(6);
    EXPECT_EQ(channel->Logger()->level(), spdlog::level::off);
    channel->SetLevel(-1);
    EXPECT_EQ(channel->Logger()->level(), spdlog::level::off);
    channel->SetLevel(0);
    EXPECT_EQ(channel->Logger()->level(), spdlog::level::trace);
}

}  // namespace
