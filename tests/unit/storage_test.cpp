#include "platform/free_format.h"
#include "platform/number_rules.h"
#include "storage/marker_file.h"
#include "storage/reading_times.h"
#include "storage/saved_markers.h"
#include "storage/saved_sessions.h"
#include "storage/saved_set_writer.h"
#include "storage/session_header.h"
#include "storage/session_recovery.h"
#include "storage/tst_reader.h"
#include "storage/working_files.h"
#include "tests/unit/unit_support.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace sylvane::storage;
using namespace sylvane::unittest;

namespace {
std::string hdr(const std::string& minText, const std::string& maxText, const std::string& c) {
    return "\"MinADC\"\r\n\"" + minText + "\"\r\n\"MaxADC\"\r\n\"" + maxText + "\"\r\n\"" + c +
           "\"\r\n";
}
} // namespace

TEST(WorkingFiles, ADiskFullAtAnyByteLeavesWholeRecordsAndLinesAndNoPartOfAHeader) {
    const std::string header = hdr(" 1500", " 1502", " ");
    // Room for every byte of the second reading's time (1000 ms), record and line, then header.
    for (std::size_t room = 0; room < 4 + 4 + 6 + header.size(); ++room) {
        auto* store = new MemoryFileStore;
        WorkingFiles files{std::unique_ptr<FileStore>(store)};
        ASSERT_TRUE(files.open());
        ASSERT_TRUE(files.record(1, 1500, 500));
        store->setBudget(static_cast<std::int64_t>(room));
        std::string error;
        const bool recorded = files.record(2, 1502, 1000, &error);
        EXPECT_EQ(recorded, room >= 14) << room;
        const std::size_t kept = recorded ? 2 : 1; // readings in each file
        EXPECT_EQ(store->bytes(WorkingFile::Tst), records({1500, 1502}).substr(0, 4 * kept));
        EXPECT_EQ(store->bytes(WorkingFile::Txt), std::string("1500\r\n1502\r\n", 6 * kept));
        EXPECT_EQ(store->bytes(WorkingFile::Tms),
                  std::string("\xF4\x01\0\0\xE8\x03\0\0", 4 * kept));
        const char* refused = room < 4   ? "tempdata.tms"
                              : room < 8 ? "tempdata.tst"
                                         : "tempdata.txt";
        EXPECT_TRUE(recorded || error.find(refused + std::string(": No space left on device")) !=
                                    std::string::npos)
            << room << ": " << error;
        EXPECT_FALSE(files.writeHeaderAndClose(1500, 1502, " ", &error)) << room;
        EXPECT_EQ(store->bytes(WorkingFile::Hdr), "") << room;
        ASSERT_TRUE(files.unwrittenHeader()) << room;
        EXPECT_EQ(headerBytes(*files.unwrittenHeader()), header);
        ASSERT_TRUE(files.open());
        EXPECT_FALSE(files.unwrittenHeader()) << "a new session has a header of its own";
    }
}

TEST(SessionHeader, ExactBytesAndCommentsThatRoundTripAsFiveItems) {
    EXPECT_EQ(headerBytes(sessionHeader(-5, 12, "back\\slash")), hdr("-5", " 12", "back\\slash"));
    EXPECT_EQ(headerBytes(sessionHeader(1, 2, "He said \"relax\"\r\nthen left")),
              hdr(" 1", " 2", "\\=He said \\qrelax\\q\\r\\nthen left"));
    for (const std::string c :
         {"", "plain, with a comma", "\"", "unix\nline", "lone\rreturn",
          "\\= looks like the marker", "\\=", "ends in \\", "UTF-8 \xc3\xa9"}) {
        const std::string bytes = headerBytes(sessionHeader(1200, 1300, c));
        const SessionHeader h = readSessionHeader(bytes);
        EXPECT_EQ(std::tuple(h.complete(), h.comments, h.minADC(), h.maxADC()),
                  std::tuple(true, c, 1200, 1300));
        sylvane::platform::FreeFormatReader reader(bytes);
        int items = 0;
        while (reader.nextField()) ++items;
        EXPECT_EQ(items, 5) << c;
    }
    const std::tuple<std::string, int, std::int32_t, std::int32_t, std::string> rows[] = {
        {"\"MinADC\",\" 900\",\"MaxADC\",\" 1000\",\"hello\"\r\n", 5, 900, 1000, "hello"},
        {"\"MinADC\"\r\n\" 900\"\r\n\"MaxADC\"\r\n\" 1000\"\r\n", 4, 900, 1000, ""},
        {"MinADC\r\n900\r\nMaxADC\r\n1000\r\n\" \"\r\n", 5, 900, 1000, " "},
        {hdr("1", "2", "\\=x\\yz\\"), 5, 1, 2, "x\\yz\\"}}; // an unknown escape
    for (const auto& [bytes, items, minADC, maxADC, comments] : rows) {
        const SessionHeader h = readSessionHeader(bytes);
        EXPECT_EQ(std::tuple(h.itemCount, h.minADC(), h.maxADC(), h.comments),
                  std::tuple(items, minADC, maxADC, comments))
            << bytes;
    }
}

TEST(TstReader, RecordsInBlocksWhileAnotherHandleAppends) {
    TempFolder folder;
    const fs::path path = folder / "tempdata.tst";
    writeFile(path, records({1500, 1502, 1499, -1, 65536}) + "\x12\x34");
    TstReader reader;
    ASSERT_TRUE(reader.open(path));
    EXPECT_EQ(reader.recordCount(), 5) << "a trailing partial record is not a record yet";
    const auto readAll = [&](std::int64_t first, std::int64_t last) {
        std::vector<std::int32_t> values;
        std::vector<std::size_t> blocks;
        reader.read(first, last, [&](std::int64_t, std::span<const std::int32_t> block) {
            blocks.push_back(block.size());
            values.insert(values.end(), block.begin(), block.end());
        });
        return std::pair{values, blocks};
    };
    const std::tuple<std::int64_t, std::int64_t, std::vector<std::int32_t>> rows[] = {
        {2, 3, {1502, 1499}}, {4, 100, {-1, 65536}}, {0, 1, {1500}}, {6, 9, {}}, {3, 2, {}}};
    for (const auto& [first, last, values] : rows)
        EXPECT_EQ(readAll(first, last).first, values) << first << ".." << last;

    // Two more whole blocks and five records, appended by the writer's own handle.
    const std::size_t more = 2 * TstReader::kBlockRecords;
    std::vector<std::int32_t> values(more);
    std::iota(values.begin(), values.end(), 6);
    std::ofstream(path, std::ios::binary | std::ios::app) << "\x56\x78" + records(values);
    const auto [all, blocks] = readAll(1, 1 << 30);
    ASSERT_EQ(all.size(), more + 6);
    EXPECT_EQ(all[5], 0x78563412);
    for (std::size_t i = 6; i < all.size(); ++i) ASSERT_EQ(all[i], static_cast<std::int32_t>(i));
    EXPECT_EQ(blocks,
              (std::vector<std::size_t>{TstReader::kBlockRecords, TstReader::kBlockRecords, 6}));
}

TEST(CommonScale, MarginFourPercentMinimumAndAnUprightScale) {
    // the range; the ADC values at the bottom and the top edges
    const std::array<std::int32_t, 4> rows[] = {
        {1000, 2000, 950, 2050}, {1500, 1600, 1495, 1605}, {200, 400, 190, 410}};
    for (const auto& [minADC, maxADC, bottomAdc, topAdc] : rows) {
        const CommonScale s = commonScale(minADC, maxADC, 4, 480, 300);
        EXPECT_FLOAT_EQ(s.bottomOhms, ohmsOf(bottomAdc)) << minADC;
        EXPECT_FLOAT_EQ(s.topOhms, ohmsOf(topAdc)) << minADC;
        EXPECT_FLOAT_EQ(s.yScale, static_cast<float>(300.0 / (double(s.bottomOhms) - s.topOhms)));
    }
    // Equal minimum and maximum, or a span under 4 %: 2 % either side of the top.
    for (const auto& [lo, hi] : {std::pair{1500, 1500}, {1, 1}, {4000, 4000}, {1500, 1510}}) {
        const float top = ohmsOf(hi == lo ? hi : hi + 0.5);
        const CommonScale s = commonScale(lo, hi, 400, 480, 240);
        EXPECT_FLOAT_EQ(s.bottomOhms, top * 1.02f) << lo;
        EXPECT_FLOAT_EQ(s.topOhms, top * 0.98f) << lo;
    }
    // A range reaching the top of the ADC scale used to flip the scale upside down.
    for (const std::int32_t lo : {2000, 3900, 4095}) {
        const CommonScale s = commonScale(lo, 4095, 4, 480, 240);
        EXPECT_GT(s.yScale, 0) << lo;
        EXPECT_TRUE(std::isfinite(s.yScale)) << lo;
        for (const std::int32_t adc : {lo, 4095}) {
            const double y = 240 - (double(s.bottomOhms) - ohmsOf(adc)) * s.yScale;
            EXPECT_TRUE(y >= 0 && y <= 240) << lo << ": " << adc << " at " << y;
        }
    }
    const std::tuple<std::int32_t, std::int32_t, bool> limits[] = {
        {1, 1, true},      {0, 0, false},      {-5, 100, false}, {10, 4000, false},
        {196, 4095, true}, {195, 4095, false}, {1, 20, true},    {1, 21, false}};
    for (const auto& [lo, hi, defined] : limits)
        EXPECT_EQ(commonScaleDefined(lo, hi), defined) << lo << ".." << hi;
    // the longest session's bytes, the picture's width; readings a step
    const std::tuple<std::int64_t, float, std::int32_t> steps[] = {
        {4000, 480, 3}, {1000, 480, 1}, {7676, 480, 4},
        {7680, 480, 5}, {4000, 0, 1},   {4'000'000'000'000, 1, 2147483647}};
    for (const auto& [longest, width, perStep] : steps)
        EXPECT_EQ(commonScale(1000, 2000, longest, width, 240).readingsPerStep, perStep)
            << longest << " / " << width;
}

TEST(SavedSetWriter, ProbesTargetsAndRecognisesTheWorkingFilesUnderAnyName) {
    TempFolder t;
    writeFile(t / "tempdata.tst", records({1500, 1502}));
    writeFile(t / "tempdata.txt", "1500\r\n1502\r\n");
    writeFile(t / "tempdata.hdr", hdr(" 1500", " 1502", " "));
    writeFile(t / "run1.Tst", "abcd");
    fs::create_directories(t / "folder.Tst");
    const std::tuple<fs::path, TargetState, const char*> probes[] = {
        {t / "run1.Tst", TargetState::Exists, ""},
        {t / "nowhere" / "run1.Tst", TargetState::Missing, "File not found: "},
        {t / "folder.Tst", TargetState::Unusable, "Is a directory: "},
        {t / "run1.Tst" / "x.Tst", TargetState::Unusable, "Not a directory: "}};
    for (const auto& [path, state, description] : probes) {
        const TargetProbe p = probeFile(path);
        EXPECT_EQ(p.state, state) << path;
        EXPECT_EQ(p.description, *description ? description + path.string() : "");
    }
    const fs::path o = t / "elsewhere";
    fs::create_directories(o);
    fs::create_symlink(t / "tempdata.tst", o / "linked.Tst");
    fs::create_hard_link(t / "tempdata.hdr", o / "hard.Hdr");
    const std::pair<SaveTargets, bool> rows[] = {
        {{o / "a.Tst", o / "a.Txt", o / "a.Hdr"}, false},
        {{t / "tempdata.tst", o / "a.Txt", o / "a.Hdr"}, true},
        {{o / "a.Tst", t / "tempdata.txt", o / "a.Hdr"}, true},
        {{o / "linked.Tst", o / "a.Txt", o / "a.Hdr"}, true},
        {{o / "a.Tst", o / "a.Txt", o / "hard.Hdr"}, true},
        {{t.path / "." / "tempdata.tst", o / "a.Txt", o / "a.Hdr"}, true},
        // A case-sensitive file system keeps these apart from the working files.
        {{t / "tempdata.Tst", t / "tempdata.Txt", t / "tempdata.Hdr"}, false}};
    for (const auto& [targets, working] : rows)
        EXPECT_EQ(targetsWorkingSet(targets, t.path), working) << targets.tst;
}

TEST(SavedSetWriter, HeaderRefreshKeepsTheRangeAndTakesTheCurrentComments) {
    const std::string stopped = hdr(" 1500", " 1502", "at stop");
    const std::string readings = records({1500, 0, 1499, 1504});
    // what, the header and readings there ("<none>": no such file), the comments, the header
    // kept by the program; whether it is written, and as what.
    const std::tuple<const char*, std::string, std::string, const char*, bool, bool, std::string>
        rows[] = {
            {"complete", stopped, readings, "later", false, true, hdr(" 1500", " 1502", "later")},
            {"items kept as they stand", "\"Lo\"\r\n\"1500.5\"\r\n\"Hi\"\r\n\"abc\"\r\n\"x\"\r\n",
             readings, " ", false, true, "\"Lo\"\r\n\"1500.5\"\r\n\"Hi\"\r\n\"abc\"\r\n\" \"\r\n"},
            // Without a header the range comes from the readings; records below 1 are none.
            {"four items", stopped.substr(0, 38), readings, "c", false, true,
             hdr(" 1500", " 1502", "c")},
            {"empty header", "", readings, "c", false, true, hdr(" 1499", " 1504", "c")},
            {"nothing at all", "<none>", "<none>", "c", false, false, ""},
            // The range the program kept when the disk refused the header at Stop.
            {"refused at stop", "", readings, "c", true, true, hdr(" 1400", " 1600", "c")},
            {"written since", stopped, readings, "c", true, true, hdr(" 1500", " 1502", "c")}};
    const SessionHeader unwritten = sessionHeader(1400, 1600, "at stop");
    for (const auto& [what, header, tst, comments, kept, ok, expected] : rows) {
        TempFolder t;
        if (header != "<none>") writeFile(t / "tempdata.hdr", header);
        if (tst != "<none>") writeFile(t / "tempdata.tst", tst);
        std::string error;
        EXPECT_EQ(refreshWorkingHeader(t.path, comments, &error, kept ? &unwritten : nullptr), ok)
            << what << error;
        EXPECT_EQ(readFile(t / "tempdata.hdr"), expected) << what;
        EXPECT_EQ(ok, error.find("tempdata.hdr") == std::string::npos) << error;
        EXPECT_FALSE(fs::exists(t / "tempdata.hdr.new")) << what;
    }
}

TEST(ReadingTimes, TheCadenceAndTheGapsOfASessionsTimes) {
    // times written (then a cut record), records, times read ({}: as written); period, longest
    // run (s); records after a gap
    const std::tuple<std::vector<std::int32_t>, std::size_t, std::vector<std::uint32_t>, double,
                     double, std::vector<std::int64_t>>
        rows[] = {{{0, 500, 1000, 1500}, 4, {}, 0.5, 1.5, {}},
                  // Jitter averages out; a gap of 6 s neither counts in the rate nor in a stretch.
                  {{100, 190, 310, 400, 6400, 6500, 6590}, 7, {}, 0.098, 0.3, {5}},
                  // One reading missing: 200 ms is over one and a half periods of 100 ms.
                  {{0, 100, 200, 300, 400, 600, 700}, 7, {}, 0.1, 0.4, {6}},
                  {{0, 500, 400, 1000}, 9, {0, 500, 500, 1000}, 0.5, 1.0, {}}, // a time goes back
                  {{0, 500, 9000}, 2, {0, 500}, 0.5, 0.5, {}}, // fewer records than times
                  {{42}, 1, {}, 0.5, 0, {}}};
    for (const auto& [written, count, read, period, longestRun, afterGaps] : rows) {
        const auto times = readTimes(records(written) + "\x01\x02", count);
        EXPECT_EQ(times,
                  read.empty() ? std::vector<std::uint32_t>(written.begin(), written.end()) : read);
        const Cadence c = cadenceOf(times);
        EXPECT_NEAR(c.period, period, 1e-9) << count;
        EXPECT_NEAR(c.longestRun, longestRun, 1e-9) << count;
        EXPECT_EQ(recordsAfterGaps(times), afterGaps) << count;
    }
}

TEST(MarkerFile, ReadsWhatIsSoundAndNamesTheOtherLines) {
    EXPECT_EQ(markerLine({12, 6.0, "stimulus"}), "12,6.000,\"stimulus\"\r\n");
    EXPECT_EQ(markerLine({3, 0.25, "say \"hi\"\r\nagain"}),
              "3,0.250,\"\\=say \\qhi\\q\\r\\nagain\"\r\n");
    const std::string good = markerLine({3, 1.5, ""}) + markerLine({7, 2.0, "a, \"b\"\nc"});
    const std::string absurd =
        "0,1,\"\"\r\n-2,1,\"\"\r\n8,1,\"\"\r\n99999999999,1,\"\"\r\n7,1,\"\"\r\n";
    const std::string bad =
        "x,1,\"\"\r\n1,-1,\"\"\r\n1,nan,\"\"\r\n1,1,x\r\n1,1,\"a\"b\"\r\n1;1;\"\"\r\n1,1\r\n";
    // what, the file, its session's last record (-1: unknown); the markers read, the bad lines
    const std::tuple<const char*, std::string, std::int64_t, std::vector<Marker>, std::vector<int>>
        rows[] = {
            {"escaped texts read back", good, 7, {{3, 1.5, ""}, {7, 2.0, "a, \"b\"\nc"}}, {}},
            {"cut in the last line", good.substr(0, good.size() - 1), 7, {{3, 1.5, ""}}, {2}},
            {"cut before its quote", "3,1.500,\"x", -1, {}, {1}},
            {"bare LF, blank lines", "\n4,1,\"x\"\n\r\n", -1, {{4, 1, "x"}}, {}},
            {"absurd record numbers", absurd, 7, {{7, 1, ""}}, {1, 2, 3, 4}},
            {"bad lines", bad, -1, {}, {1, 2, 3, 4, 5, 6, 7}},
            {"binary", std::string("\0\xff,\x01\r\n", 6), -1, {}, {1}},
        };
    for (const auto& [what, bytes, lastRecord, markers, badLines] : rows) {
        const MarkerFile file = readMarkers(bytes, lastRecord);
        EXPECT_EQ(std::pair(file.markers, file.badLines), std::pair(markers, badLines)) << what;
    }

    // A saved session's markers beside its .Hdr, the extension in any letter case.
    TempFolder t;
    EXPECT_TRUE(readSavedMarkers(t / "run1.Hdr", 7).problem.empty());
    writeFile(t / "run1.mRK", good);
    EXPECT_EQ(readSavedMarkers(t / "run1.Hdr", 7).markers.size(), 2u);
    writeFile(t / "run1.Mrk", good);
    EXPECT_EQ(savedMarkerFile(t / "run1.Hdr"), t / "run1.Mrk");
}

// A killed session with a torn record and line is recovered on the real program (UnsavedSessions).
TEST(SessionRecovery, OnlyASavedSessionIsClearedAnUnfinishedOneIsMadeWholeNoneIsLost) {
    using Found = WorkingSessionRecovery::Found;
    const std::string _ = "<none>", dir = "<dir>";
    const std::string three = records({1500, 1502, 1499}), lines = "1500\r\n1502\r\n1499\r\n";
    const std::string recovered = hdr(" 1499", " 1502", " "), one = records({1500});
    const std::string mark1 = markerLine({1, 0.5, "one"}), mark3 = markerLine({3, 1.5, "three"});
    const std::string started = startLine({2026, 12, 7, 10, 15, 2, 0, 60});
    const std::string saved = started + savedLine({2026, 12, 7, 11, 0, 0, 0, 60});
    const std::string two = records({1500, 1502}), twoLines = "1500\r\n1502\r\n";
    const std::string below1 = records({0, 1500, -3, 1400});
    const char* names[] = {"tempdata.tst", "tempdata.txt", "tempdata.hdr",
                           "tempdata.mrk", "tempdata.tms", "tempdata.tim"};
    // A header cut short, then:
    const struct {
        std::array<std::string, 6> before; // as the last run left them, in the order of names
        Found found;
        std::array<std::string, 5> after; // tempdata.tim stays as it was
    } rows[] = {{{three, lines, hdr(" 1", " 2", " ").substr(0, 20), _, _, _},
                 Found::Kept,
                 {three, lines, recovered, _, _}},
                // A torn record, line and time
                {{three + "\x05\x06", "1500\r\n1502\r\n14", "", _, records({500, 1000, 1500, 2000}),
                  started},
                 Found::Kept,
                 {three, lines, recovered, _, records({500, 1000, 1500})}},
                // The text longer, differing, a folder
                {{one, lines, "", _, _, _},
                 Found::Kept,
                 {one, "1500\r\n", hdr(" 1500", " 1500", " "), _, _}},
                {{three, "1500\r\n9999\r\n1499\r\n", "", _, _, _},
                 Found::Kept,
                 {three, lines, recovered, _, _}},
                {{three, dir, "", _, _, _}, Found::Kept, {three, dir, recovered, _, _}},
                // Values below 1
                {{below1, _, "", _, _, _},
                 Found::Kept,
                 {below1, "0\r\n1500\r\n-3\r\n1400\r\n", hdr(" 1400", " 1500", " "), _, _}},
                // Markers past the records
                {{two + "\x01", twoLines, "", mark1 + mark3 + "2,1.0", _, _},
                 Found::Kept,
                 {two, twoLines, hdr(" 1500", " 1502", " "), mark1, _}},
                // A saved session is cleared as always: stopped, or killed after it was saved.
                {{three, lines, recovered, mark1, _, saved}, Found::Saved, {_, lines, _, mark1, _}},
                {{three, lines, "", _, _, saved}, Found::Saved, {_, lines, _, _, _}},
                // Empty readings, less than a record.
                {{"", lines, "", _, _, _}, Found::Nothing, {_, lines, _, _, _}},
                {{"\x05\x06\x07", _, "", _, _, _}, Found::Nothing, {_, _, _, _, _}}};
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << "row " << &r - rows);
        TempFolder t;
        for (int i = 0; i < 6; ++i) {
            if (r.before[i] == dir) fs::create_directory(t / names[i]);
            if (r.before[i] != _ && r.before[i] != dir) writeFile(t / names[i], r.before[i]);
        }
        const WorkingSessionRecovery got = clearOrRecoverWorkingSession(t.path);
        const bool kept = r.found == Found::Kept;
        EXPECT_EQ(std::tuple(got.found, got.recovered, got.headerWritten, got.start.has_value()),
                  std::tuple(r.found, kept, kept, r.before[5] != _));
        EXPECT_EQ(got.readings, kept ? std::ssize(r.after[0]) / 4 : 0);
        // What cannot be mended is named; the rest of the session is recovered all the same.
        EXPECT_EQ(got.problems.size(), r.before[1] == dir ? 1u : 0u);
        for (const auto& p : got.problems)
            EXPECT_NE(p.find("tempdata.txt: Is a directory"), std::string::npos) << p;
        int left = 0; // no file left behind
        for (int i = 0; i < 6; ++i) {
            const std::string& after = i < 5 ? r.after[i] : r.before[5];
            EXPECT_EQ(fs::exists(t / names[i]), after != _) << names[i];
            left += after != _;
            if (after == _ || after == dir) continue;
            EXPECT_EQ(readFile(t / names[i]), after) << names[i];
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(t.path), fs::directory_iterator()), left);
    }
}
