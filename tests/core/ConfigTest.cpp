// Configuration search, "SvConfig.conf" parsing and the product-family lookup.

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "common/LogCapture.h"
#include "base/Config.h"

namespace fs = std::filesystem;
using sv::ConfigMap;
using sv::test::LogCapture;
using sv::test::TempDir;

namespace {

// Runs a test body with the current directory and SORVANSDK_CONFIG_PATH set.
class ConfigSearchTest : public testing::Test {
protected:
    void SetUp() override {
        oldCwd_ = fs::current_path();
        fs::current_path(cwd_.Path());
        sv::test::UnsetEnv("SORVANSDK_CONFIG_PATH");
    }
    void TearDown() override {
        fs::current_path(oldCwd_);
        sv::test::UnsetEnv("SORVANSDK_CONFIG_PATH");
    }
    TempDir cwd_;
    fs::path oldCwd_;
};

ConfigMap Parse(const std::string& content) {
    TempDir dir;
    dir.Write("SvConfig.conf", content);
    ConfigMap map;
    EXPECT_EQ(sv::LoadConfigMap(dir.File("SvConfig.conf"), map), 0);
    return map;
}

using Items = std::vector<std::string>;

// The platform's own separator joins folder and file name.
#if defined(_WIN32)
const std::string kSep = "\\";
#else
const std::string kSep = "/";
#endif

TEST_F(ConfigSearchTest, CandidatesInSearchOrder) {
    auto plain = sv::GetConfigCandidatePaths("SvConfig");
#if defined(_WIN32)
    ASSERT_EQ(plain.size(), 4u);
    EXPECT_EQ(plain[3], "C:\\Program Files\\sorvansdk\\bin\\SvConfig.conf");
#else
    ASSERT_EQ(plain.size(), 5u);
    EXPECT_EQ(plain[3], sv::ConfigFolderBesideLibrary() + "/SvConfig.conf");
    EXPECT_EQ(plain[4].substr(plain[4].size() - 24), "/sorvansdk/SvConfig.conf");
    EXPECT_NE(plain[3], plain[4]);
#endif
    EXPECT_EQ(plain[0], "config" + kSep + "SvConfig.conf");
    EXPECT_EQ(plain[1], sv::ExecutableFolder() + kSep + "SvConfig.conf");
    EXPECT_EQ(plain[2], "SvConfig.conf");

    sv::test::SetEnv("SORVANSDK_CONFIG_PATH", "/opt/cfg");
    auto withEnv = sv::GetConfigCandidatePaths("SvExposure");
    ASSERT_EQ(withEnv.size(), plain.size() + 1);
    EXPECT_EQ(withEnv[0], "/opt/cfg" + kSep + "SvExposure.yaml");
    EXPECT_EQ(withEnv[1], "config" + kSep + "SvExposure.yaml");

    EXPECT_EQ(sv::GetConfigCandidatePaths("Other")[0], "/opt/cfg" + kSep);  // unknown name: empty file name
}

#if !defined(_WIN32)
// A relocatable installation: only POSIX builds look beside the library.
TEST_F(ConfigSearchTest, InstalledFolderIsFoundFromTheLibrarysOwnPlace) {
    // Linked statically here, the library's code sits in this test program.
    ASSERT_FALSE(sv::LibraryFolder().empty());
    EXPECT_TRUE(fs::equivalent(sv::LibraryFolder(), sv::ExecutableFolder())) << sv::LibraryFolder();
    const std::string folder = sv::ConfigFolderBesideLibrary();
    ASSERT_EQ(folder.rfind(sv::LibraryFolder() + "/", 0), 0u) << folder;
    EXPECT_EQ(folder.substr(folder.size() - 14), "/etc/sorvansdk") << folder;
}
#endif

TEST_F(ConfigSearchTest, EnvironmentFolderWinsOverConfigFolder) {
    fs::create_directory("config");
    cwd_.Write("config/SvConfig.conf", "[KIVO]\n");
    TempDir envDir;
    envDir.Write("SvConfig.conf", "[LIRA]\n");
    EXPECT_EQ(sv::FindFirstExistingPath(sv::GetConfigCandidatePaths("SvConfig")), "config" + kSep + "SvConfig.conf");
    sv::test::SetEnv("SORVANSDK_CONFIG_PATH", envDir.Path().c_str());
    EXPECT_EQ(sv::FindFirstExistingPath(sv::GetConfigCandidatePaths("SvConfig")),
              envDir.Path() + kSep + "SvConfig.conf");
}

TEST_F(ConfigSearchTest, NothingFoundLogsEveryCandidate) {
    LogCapture capture;
    EXPECT_EQ(sv::FindFirstExistingPath({"nope/a.conf", "nope/b.conf"}), "");
    EXPECT_TRUE(capture.Contains("Config file not found at: nope/a.conf, nope/b.conf"));
}

TEST_F(ConfigSearchTest, AFolderCountsAsExisting) {
    fs::create_directory("SvConfig.conf");
    EXPECT_EQ(sv::FindFirstExistingPath({"missing", "SvConfig.conf"}), "SvConfig.conf");
}

TEST(ConfigParseTest, SectionsCommentsAndItems) {
    auto map = Parse(
        "// comment line\n"
        "/also a comment = x\n"
        "top = before sections\n"
        "[KIVO]\n"
        "products = KIVO-A,KIVO-B\n"
        "products = KIVO-C\n"
        "[LIRA]\n"
        "products = L1,,L2,\n"
        "products=ignored\n"
        "[broken\n"
        "key = after broken header\n");
    EXPECT_EQ(map[""]["top"], Items{"before sections"});
    EXPECT_EQ(map["KIVO"]["products"], (Items{"KIVO-A", "KIVO-B", "KIVO-C"}));
    EXPECT_EQ(map["LIRA"]["products"], (Items{"L1", "", "L2"}));
    EXPECT_EQ(map["LIRA"]["key"], Items{"after broken header"});
    EXPECT_EQ(map.count("broken"), 0u);
    EXPECT_EQ(map["LIRA"].count("products=ignored"), 0u);
}

TEST(ConfigParseTest, KeysAndValuesAreNotTrimmed) {
    auto map = Parse("[S]\n key  =  v1 , v2\n");
    EXPECT_EQ(map["S"][" key "], (Items{" v1 ", " v2"}));
}

TEST(ConfigParseTest, WindowsLineEndsAndMissingFinalLineEnd) {
    auto map = Parse("[KIVO]\r\nproducts = KIVO-A,KIVO-B\r\n[LIRA]\r\nproducts = LIRA-X");
    EXPECT_EQ(map["KIVO"]["products"], (Items{"KIVO-A", "KIVO-B"}));
    EXPECT_EQ(map["LIRA"]["products"], Items{"LIRA-X"});
}

TEST(ConfigParseTest, TextParseMatchesTheFileParseAndAppends) {
    const std::string text = "top = t\n[KIVO]\r\nproducts = KIVO-A,KIVO-B\n[LIRA]\nproducts = LIRA-X";
    ConfigMap fromText;
    fromText["KIVO"]["products"] = {"KEPT"};
    sv::ParseConfigText(text, fromText);
    EXPECT_EQ(fromText["KIVO"]["products"], (Items{"KEPT", "KIVO-A", "KIVO-B"}));
    ConfigMap fromFile = Parse(text);
    fromFile["KIVO"]["products"].insert(fromFile["KIVO"]["products"].begin(), "KEPT");
    EXPECT_EQ(fromText, fromFile);
}

TEST(ConfigParseTest, GarbageAndLongLinesDoNotBreakParsing) {
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 131) % 256));
    std::string longValue(200000, 'Z');
    auto map = Parse(garbage + "\n[KIVO]\nproducts = " + longValue + ",KIVO\n" + std::string(3, '\0') + "\n");
    ASSERT_EQ(map["KIVO"]["products"].size(), 2u);
    EXPECT_EQ(map["KIVO"]["products"][0].size(), longValue.size());
}

TEST(ConfigParseTest, MissingFileIsReportedAndMapUnchanged) {
    ConfigMap map;
    map["keep"]["k"] = {"v"};
    LogCapture capture;
    EXPECT_EQ(sv::LoadConfigMap("/nonexistent/SvConfig.conf", map), -1);
    EXPECT_TRUE(capture.Contains("Failed to get Config file"));
    EXPECT_EQ(map.size(), 1u);
}

TEST(ProductFamilyTest, SubstringMatchAndFirstAcceptedSectionWins) {
    ConfigMap map;
    map["KIVO"]["products"] = {"KIVO-AR0234"};
    map["OTHER"]["products"] = {"Cam"};
    map["LIRA"]["products"] = {"LIRA"};
    EXPECT_EQ(sv::FindProductFamily(map, "My KIVO-AR0234 Cam", [](const std::string& s) { return s != "OTHER"; }),
              "KIVO");
    EXPECT_EQ(sv::FindProductFamily(map, "LIRA Cam", [](const std::string& s) { return s != "OTHER"; }), "LIRA");
    EXPECT_EQ(sv::FindProductFamily(map, "kivo-ar0234"), "");  // case-sensitive
    EXPECT_EQ(sv::FindProductFamily(map, "USB Webcam"), "");
}

TEST(ProductFamilyTest, EmptyItemMatchesEveryName) {
    auto map = Parse("[LIRA]\nproducts = A,,B\n");
    EXPECT_EQ(sv::FindProductFamily(map, "Any webcam at all"), "LIRA");
}

TEST(ProductFamilyTest, SectionsWithoutProductsAreSkipped) {
    ConfigMap map;
    map["KIVO"]["models"] = {""};
    EXPECT_EQ(sv::FindProductFamily(map, "KIVO"), "");
}

}  // namespace
