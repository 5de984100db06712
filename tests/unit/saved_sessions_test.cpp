#include "storage/saved_sessions.h"

#include "platform/number_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>

using namespace sylvane::storage;
using sylvane::platform::resistanceOfAdc;

TEST(CommonScale, HoldsTheRangeWithAFivePercentMargin) {
    const struct {
        std::int32_t minADC, maxADC;
        double bottomAdc, topAdc; // ADC values at the edges
    } rows[] = {
        {1000, 2000, 950, 2050},
        {1500, 1600, 1495, 1605},
        {200, 400, 190, 410},
    };
    for (const auto& r : rows) {
        const CommonScale s = commonScale(r.minADC, r.maxADC, 4, 480, 300);
        EXPECT_FLOAT_EQ(s.bottomOhms, resistanceOfAdc(r.bottomAdc)) << r.minADC;
        EXPECT_FLOAT_EQ(s.topOhms, resistanceOfAdc(r.topAdc)) << r.minADC;
        EXPECT_FLOAT_EQ(s.yScale, static_cast<float>(300.0 / (double(s.bottomOhms) - s.topOhms)));
    }
}

TEST(CommonScale, EqualMinAndMaxGetAFourPercentSpan) {
    const struct { std::int32_t adc; } rows[] = {{1500}, {1}, {2048}, {4000}};
    for (const auto& r : rows) {
        const float ohms = resistanceOfAdc(r.adc);
        const CommonScale s = commonScale(r.adc, r.adc, 400, 480, 240);
        EXPECT_FLOAT_EQ(s.bottomOhms, ohms * 1.02f) << r.adc;
        EXPECT_FLOAT_EQ(s.topOhms, ohms * 0.98f) << r.adc;
        EXPECT_GT(s.yScale, 0) << r.adc;
    }
}

TEST(CommonScale, SmallSpanIsWidenedButAWideOneIsKept) {
    // 1500..1510 spans well under 2 % of its resistance; 1000..2000 well over.
    const CommonScale narrow = commonScale(1500, 1510, 4, 480, 240);
    const float top = resistanceOfAdc(1510 + 0.5);
    EXPECT_FLOAT_EQ(narrow.topOhms, top * 0.98f);
    EXPECT_FLOAT_EQ(narrow.bottomOhms, top * 1.02f);
    const CommonScale wide = commonScale(1000, 2000, 4, 480, 240);
    EXPECT_FLOAT_EQ(wide.bottomOhms, resistanceOfAdc(950));
}

// A range reaching the top of the ADC scale puts the top edge below 0 Ohm; the flat-set rule
// used to flip such a scale upside down and push every trace off the picture.
TEST(CommonScale, RegressionTopBelowZeroOhmKeepsTheScaleUpright) {
    const struct {
        std::int32_t minADC, maxADC;
    } rows[] = {{2000, 4095}, {4095, 4095}, {4000, 4095}, {3900, 4095}};
    for (const auto& r : rows) {
        const CommonScale s = commonScale(r.minADC, r.maxADC, 4, 480, 240);
        EXPECT_GT(s.bottomOhms, s.topOhms) << r.minADC << ".." << r.maxADC;
        EXPECT_GT(s.yScale, 0) << r.minADC << ".." << r.maxADC;
        EXPECT_TRUE(std::isfinite(s.yScale)) << r.minADC << ".." << r.maxADC;
        // Every recorded reading lands on the picture.
        for (const std::int32_t adc : {r.minADC, r.maxADC}) {
            const double y = 240 - (double(s.bottomOhms) - resistanceOfAdc(adc)) * s.yScale;
            EXPECT_GE(y, 0) << adc;
            EXPECT_LE(y, 240) << adc;
        }
    }
}

TEST(CommonScale, BottomMustStayAboveZeroAdc) {
    const struct {
        std::int32_t minADC, maxADC;
        bool defined;
    } rows[] = {
        {1500, 1500, true}, {1, 1, true},      {0, 0, false},     {0, 2000, false},
        {-5, 100, false},   {10, 4000, false}, {200, 4095, true}, {195, 4095, false},
        {196, 4095, true},  {4095, 0, true},   {1, 21, false},    {1, 20, true},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(commonScaleDefined(r.minADC, r.maxADC), r.defined)
            << r.minADC << ".." << r.maxADC;
    }
}

TEST(CommonScale, LongestSessionJustFitsTheWidth) {
    const struct {
        std::int64_t longestBytes;
        float width;
        std::int32_t perStep;
    } rows[] = {
        {4000, 480, 3}, // 1000 records on a 480-wide picture
        {1000, 480, 1},
        {0, 480, 1},
        {7676, 480, 4},
        {7680, 480, 5},
        {4000, 0, 1},
        {4'000'000, 480, 2084},
        {4'000'000'000'000, 1, 2147483647},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(commonScale(1000, 2000, r.longestBytes, r.width, 240).readingsPerStep, r.perStep)
            << r.longestBytes << " / " << r.width;
    }
}

TEST(SavedSessionName, IsTheHeaderFileNameLessItsExtension) {
    const struct {
        const char* path;
        const char* name;
    } rows[] = {
        {"/data/run1.Hdr", "run1"}, {"/run 2.Hdr", "run 2"}, {"x.Hdr", "x"}, {"/a/.Hdr", ""}};
    for (const auto& r : rows) EXPECT_EQ(savedSessionName(r.path), r.name) << r.path;
}

namespace {

namespace fs = std::filesystem;

struct SessionFolder {
    fs::path path;
    SessionFolder() {
        std::random_device rd;
        path = fs::temp_directory_path() / ("sylvane-display-" + std::to_string(rd()));
        fs::create_directories(path);
    }
    ~SessionFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    SessionChoice write(const std::string& name, const std::string& hdr, int records = 3) const {
        const SessionChoice c{path / (name + ".Tst"), path / (name + ".Hdr")};
        std::ofstream(c.tst, std::ios::binary)
            << std::string(static_cast<std::size_t>(records) * 4, '\x05');
        if (hdr != "<none>") std::ofstream(c.hdr, std::ios::binary) << hdr;
        return c;
    }
};

std::string header(const char* minText, const char* maxText, const char* comments) {
    return std::string("\"MinADC\"\r\n\"") + minText + "\"\r\n\"MaxADC\"\r\n\"" + maxText +
           "\"\r\n\"" + comments + "\"\r\n";
}

} // namespace

TEST(SavedDisplayPlan, LeavesOutWhatCannotBeDrawnAndKeepsTheRest) {
    const struct {
        const char* what;
        std::string hdr;
        bool tstMissing;
        const char* problemStart; // nullptr: drawn
    } rows[] = {
        {"good", header(" 1400", " 1600", "fine"), false, nullptr},
        {"no header", "<none>", false, "File not found: "},
        {"empty header", "", false, "The header holds 0 of its 5 items: "},
        {"short header", header(" 1400", " 1600", "x").substr(0, 29), false,
         "The header holds 3 of its 5 items: "},
        {"header is a folder", "<dir>", false, "Is a directory: "},
        {"readings missing", header(" 1400", " 1600", "x"), true, "File not found: "},
        {"minimum of 0", header(" 0", " 1600", "x"), false, "The header "},
        {"no numbers", header("MinADC", "abc", "x"), false, "The header "},
        {"range to 0 ADC", header(" 10", " 4000", "x"), false, "The header "},
    };
    for (const auto& r : rows) {
        SessionFolder folder;
        const SessionChoice first = folder.write("first", header(" 1500", " 1510", "one"));
        SessionChoice odd;
        if (r.hdr == "<dir>") {
            odd = folder.write("odd", "<none>");
            fs::create_directories(odd.hdr);
        } else {
            odd = folder.write("odd", r.hdr, 10);
        }
        if (r.tstMissing) fs::remove(odd.tst);
        const SessionChoice last = folder.write("last", header(" 1450", " 1550", "three"), 5);
        const SessionChoice chosen[] = {first, odd, last};
        const DisplayPlan plan = planSavedDisplay(chosen);

        const bool drawn = r.problemStart == nullptr;
        ASSERT_EQ(plan.sessions.size(), drawn ? 3u : 2u) << r.what;
        EXPECT_EQ(plan.sessions.front().info.name, "first") << r.what;
        EXPECT_EQ(plan.sessions.back().info.name, "last") << r.what;
        EXPECT_EQ(plan.sessions.back().position, 2u) << "the colour stays the list position";
        if (drawn) {
            EXPECT_TRUE(plan.problems.empty()) << r.what;
            EXPECT_EQ(plan.minADC, 1400) << r.what;
            EXPECT_EQ(plan.maxADC, 1600) << r.what;
            EXPECT_EQ(plan.longestBytes, 40) << r.what;
        } else {
            ASSERT_EQ(plan.problems.size(), 1u) << r.what;
            EXPECT_EQ(plan.problems[0].rfind(r.problemStart, 0), 0u) << plan.problems[0];
            EXPECT_NE(plan.problems[0].find("odd."), std::string::npos) << plan.problems[0];
            EXPECT_NE(plan.problems[0].find("The session odd is not displayed."), std::string::npos)
                << plan.problems[0];
            EXPECT_EQ(plan.minADC, 1450) << r.what;
            EXPECT_EQ(plan.maxADC, 1550) << r.what;
            EXPECT_EQ(plan.longestBytes, 20) << r.what;
        }
    }
}

TEST(SavedDisplayPlan, CommentsListEachNameThenItsText) {
    SessionFolder folder;
    const SessionChoice chosen[] = {
        folder.write("run1", header(" 1500", " 1502", "first comments")),
        folder.write("run 2", header(" 1400", " 1450", "\\=two\\nlines")),
    };
    const DisplayPlan plan = planSavedDisplay(chosen);
    EXPECT_EQ(displayedComments(plan),
              "run1  Comments ...\nfirst comments\nrun 2  Comments ...\ntwo\nlines\n");
    EXPECT_EQ(plan.minADC, 1400);
    EXPECT_EQ(plan.maxADC, 1502);
}
