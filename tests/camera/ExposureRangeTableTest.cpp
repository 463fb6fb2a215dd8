// The exposure-range table file: which entry a device name and format select,
// and what a table that cannot answer does.

#include <gtest/gtest.h>

#include "camera/ExposureRangeTable.h"
#include "common/LogCapture.h"

using sv::test::LogCapture;
using sv::test::TempDir;

namespace {

struct Lookup {
    int result = 0;
    int min = -7;
    int max = -7;
    int formatReads = 0;
};

Lookup LookUp(const std::string& yaml, const std::string& name, int width = 1920, int height = 1080,
           const std::string& format = "UYVY", int formatResult = 0) {
    TempDir dir;
    dir.Write("SvExposure.yaml", yaml);
    Lookup l;
    l.result = sv::LookupExposureRange(
        dir.File("SvExposure.yaml"), name,
        [&](int& w, int& h, std::string& f) {
            ++l.formatReads;
            w = width;
            h = height;
            f = format;
            return formatResult;
        },
        l.max, l.min);
    return l;
}

std::string Table(const std::string& product, int min, int max) {
    return product + ": {sensors: {AR0234: {formats: {UYVY: {ranges: [{width: 1920, height: 1080, min: " +
           std::to_string(min) + ", max: " + std::to_string(max) + "}]}}}}}\n";
}

TEST(ExposureRangeTable, TheFirstProductKeyInTheNameWinsNotTheLongest) {
    const Lookup xyzFirst = LookUp(Table("XYZ", 1, 100) + Table("X", 2, 200), "XYZ-AR0234-ABC");
    EXPECT_EQ(xyzFirst.result, 0);
    EXPECT_EQ(xyzFirst.max, 100);
    const Lookup xFirst = LookUp(Table("X", 2, 200) + Table("XYZ", 1, 100), "XYZ-AR0234-ABC");
    EXPECT_EQ(xFirst.max, 200);
    EXPECT_EQ(xFirst.min, 2);
}

TEST(ExposureRangeTable, TheFirstEntryOfTheResolutionWins) {
    const std::string yaml = "K: {sensors: {S1: {formats: {MJPG: {ranges: ["
                             "{width: 1280, height: 720, min: 1, max: 1},"
                             "{width: 1920}, "
                             "{width: 1920, height: 1080, min: 3, max: 30},"
                             "{width: 1920, height: 1080, min: 4, max: 40}]}}}}}";
    const Lookup l = LookUp(yaml, "K-S1", 1920, 1080, "MJPG");
    EXPECT_EQ(l.result, 0);
    EXPECT_EQ(l.min, 3);
    EXPECT_EQ(l.max, 30);
}

TEST(ExposureRangeTable, AnEntryOfTheSameWidthButAnotherHeightDoesNotMatch) {
    // The table has 1920x1080 only: a 1920x1200 output finds nothing.
    const Lookup alone = LookUp(Table("KIVO", 5, 50), "KIVO-AR0234", 1920, 1200);
    EXPECT_EQ(alone.result, -1);
    EXPECT_EQ(alone.min, -7);
    EXPECT_EQ(alone.max, -7);

    // Passed over for a later entry that has both.
    const std::string yaml = "K: {sensors: {S1: {formats: {UYVY: {ranges: ["
                             "{width: 1920, height: 1080, min: 1, max: 10},"
                             "{width: 1920, height: 1200, min: 2, max: 20}]}}}}}";
    const Lookup later = LookUp(yaml, "K-S1", 1920, 1200);
    EXPECT_EQ(later.result, 0);
    EXPECT_EQ(later.min, 2);
    EXPECT_EQ(later.max, 20);
}

TEST(ExposureRangeTable, NoMatchLeavesTheLimitsAndLogsNothing) {
    const std::string yaml = Table("KIVO", 5, 50) + "BARE: {}\nNOSENSORS: {other: 1}\n" +
                             "NORANGES: {sensors: {AR0234: {formats: {UYVY: {other: 1}}}}}\n" +
                             "SCALAR: {sensors: {AR0234: {formats: {UYVY: {ranges: 7}}}}}\n";
    LogCapture log;
    for (const char* name : {"LIRA-OX05B", "KIVO-AR0821", "BARE-AR0234", "NOSENSORS-AR0234", "NORANGES-AR0234",
                             "SCALAR-AR0234"}) {
        const Lookup l = LookUp(yaml, name);
        EXPECT_EQ(l.result, -1) << name;
        EXPECT_EQ(l.min, -7) << name;
        EXPECT_EQ(l.max, -7) << name;
    }
    EXPECT_EQ(LookUp(yaml, "KIVO-AR0234", 1280, 720).result, -1) << "no entry of that size";
    EXPECT_EQ(LookUp(yaml, "KIVO-AR0234", 1920, 1080, "MJPG").result, -1) << "no entry of that format";
    EXPECT_EQ(log.Text().find("[error]"), std::string::npos) << log.Text();
}

TEST(ExposureRangeTable, TheFormatIsReadOnlyForAMatchingSensor) {
    const std::string yaml = Table("KIVO", 5, 50);
    EXPECT_EQ(LookUp(yaml, "LIRA-AR0234").formatReads, 0);
    EXPECT_EQ(LookUp(yaml, "KIVO-OX05B").formatReads, 0);
    const Lookup failed = LookUp(yaml, "KIVO-AR0234", 1920, 1080, "UYVY", -1);
    EXPECT_EQ(failed.formatReads, 1);
    EXPECT_EQ(failed.result, -1);
    EXPECT_EQ(failed.max, -7);
}

TEST(ExposureRangeTable, MalformedTablesAreReportedNotThrown) {
    for (const std::string& yaml : {std::string("KIVO: {sensors: [unclosed\n"),
                                   Table("KIVO", 5, 50).replace(Table("KIVO", 5, 50).find("max: 50"), 7, "max: 5.5"),
                                   std::string("KIVO: {sensors: {AR0234: {formats: {UYVY: {ranges: "
                                               "[{width: 1920, height: 1080}]}}}}}")}) {
        LogCapture log;
        Lookup l;
        EXPECT_NO_THROW(l = LookUp(yaml, "KIVO-AR0234"));
        EXPECT_EQ(l.result, -1) << yaml;
        EXPECT_EQ(l.max, -7);
        EXPECT_TRUE(log.Contains("Cannot use exposure ranges from")) << yaml;
    }
}

TEST(ExposureRangeTable, TheTextOfATableAnswersLikeItsFile) {
    auto reader = [](int& w, int& h, std::string& f) {
        w = 1920;
        h = 1080;
        f = "UYVY";
        return 0;
    };
    int min = -7;
    int max = -7;
    EXPECT_EQ(sv::LookupExposureRangeInText(Table("KIVO", 5, 50), "<text>", "KIVO-AR0234", reader, max, min), 0);
    EXPECT_EQ(min, 5);
    EXPECT_EQ(max, 50);
    const Lookup fromFile = LookUp(Table("KIVO", 5, 50), "KIVO-AR0234");
    EXPECT_EQ(fromFile.min, min);
    EXPECT_EQ(fromFile.max, max);

    LogCapture log;
    EXPECT_EQ(sv::LookupExposureRangeInText("KIVO: [unclosed", "<text>", "KIVO-AR0234", reader, max, min), -1);
    EXPECT_EQ(max, 50);
    EXPECT_TRUE(log.Contains("Cannot use exposure ranges from <text>")) << log.Text();
}

}  // namespace
