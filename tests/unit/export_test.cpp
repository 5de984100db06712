// The exports: CSV, and EDF+ read back with EDFlib's own reader.

#include "platform/number_rules.h"
#include "storage/csv_export.h"
#include "storage/edf_export.h"
#include "storage/session_header.h"
#include "tests/support/edf_reading.h"
#include "tests/unit/unit_support.h"

#include <gtest/gtest.h>

#include <locale>
#include <numeric>

using namespace sylvane;
using namespace sylvane::storage;
using namespace sylvane::unittest;

namespace {

// A session's times file: Start on a leap day just before midnight, 5.5 hours behind UTC.
std::string tim(double firstSeconds, std::int64_t readings, double lastSeconds) {
    return startLine({2024, 2, 29, 23, 59, 59, 875, -330}) +
           readingsLine(readings, firstSeconds, lastSeconds);
}

// Decimal commas, as a user's locale may have them.
struct CommaNumbers : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};
} // namespace

TEST(CsvExport, OneRowAReadingInPlainDecimalsWithQuotedTexts) {
    for (const auto& [text, field] :
         {std::pair{"plain", "plain"}, {"a, b", "\"a, b\""}, {"two\r\nlines", "\"two\r\nlines\""}})
        EXPECT_EQ(csvField(text), field);

    const std::locale before = std::locale::global(std::locale(std::locale(), new CommaNumbers));
    TempFolder folder;
    // Readings, a record of no reading, a value beyond the probe's range, a cut record; the rise
    // from 2000 to 2100 is a skin response, so the tonic level stays at the onset's, 2.0311785 uS.
    // Markers at records without a reading go with the next one.
    writeFile(folder / "s.Tst", records({2048, 0, 2000, 99999, 2100}) + "\x01");
    writeFile(folder / "s.Hdr", headerBytes(sessionHeader(2000, 2100, "c")));
    writeFile(folder / "s.Mrk", markerLine({1, 0.1, "left, \"hand\""}) + markerLine({2, 1, "gap"}) +
                                    markerLine({3, 1, ""}) + "9,1.000,\"after the end\"\r\n");
    writeFile(folder / "s.Tim", tim(1.0, 5, 3.0));
    ExportedSession s;
    std::string error, out, responses;
    ASSERT_TRUE(
        loadSession(ExportSource::saved(folder / "s.Tst", folder / "s.Hdr"), {}, &s, &error));
    CsvFormat csv([&](std::string_view bytes, std::string*) { return out.append(bytes), true; });
    ASSERT_TRUE(exportSession(s, csv, &error)) << error;
    ASSERT_TRUE(writeResponsesCsv(
        s, {1, 4}, [&](std::string_view b, std::string*) { return responses.append(b), true; },
        &error));
    std::locale::global(before);
    EXPECT_EQ(out,
              "time_s,adc,resistance_ohm,conductance_us,marker,scr_onset,tonic_us,phasic_us\r\n"
              "1.000,2048,469770.5,2.128699,\"left, \"\"hand\"\"\",0,2.0311785,0.09752059\r\n"
              "2.000,2000,492325,2.0311785,gap; marker 3,1,2.0311785,0\r\n"
              "3.000,2100,446500,2.2396417,,0,2.0311785,0.20846319\r\n");
    // The markers by their records' times; the response is still rising at the end.
    EXPECT_EQ(responses,
              "marker_s,marker,responses,latency_s,amplitude_us,rise_s,half_recovery_s,tonic_us\r\n"
              "1.000,\"left, \"\"hand\"\"\",1,1.000,0.2085,1.000,,2.0311785\r\n"
              "1.500,gap,0,,,,,2.0311785\r\n"
              "2.000,marker 3,0,,,,,2.0311785\r\n");
}

// A session with markers, a response, comments and records of no reading is exported from the
// real program (export_e2e); here the grid, the records' length, the start and the annotations.
TEST(EdfExport, ReadsBackThroughEdflibWithinOneStep) {
    ASSERT_EQ(tim(0, 0, 0).substr(0, 37), "start,2024-02-29T23:59:59.875-05:30\r\n");
    // The readings, .Tim, .Mrk and the comments; the samples in a record and its length (s); the
    // first reading's time ("": estimated), the annotations, a note; the recorded times (.Tms),
    // the samples when they are not the readings, the first annotations' times.
    const auto row = [](std::vector<std::int32_t> values, std::string tims, std::string mrk,
                        std::string comments, int perRecord, double recordSeconds,
                        std::string start, std::string annotations, std::string note,
                        std::vector<std::int32_t> ms = {}, std::vector<std::int32_t> samples = {},
                        std::vector<double> annotationSeconds = {}) {
        SCOPED_TRACE(::testing::Message() << values.size() << " readings");
        TempFolder folder;
        writeFile(folder / "s.Tst", records(values));
        std::vector<std::int32_t> sound;
        std::ranges::copy_if(values, std::back_inserter(sound), soundReading);
        const auto [lo, hi] = std::ranges::minmax(sound);
        writeFile(folder / "s.Hdr", headerBytes(sessionHeader(lo, hi, comments)));
        writeFile(folder / "s.Mrk", mrk);
        writeFile(folder / "s.Tim", tims);
        if (!ms.empty()) writeFile(folder / "s.Tms", records(ms));
        ExportedSession s;
        std::string error, notes;
        ASSERT_TRUE(
            loadSession(ExportSource::saved(folder / "s.Tst", folder / "s.Hdr"), {}, &s, &error));
        for (const auto& n : s.notes) notes += n + "\n";
        EXPECT_NE(notes.find(note), std::string::npos) << notes;
        EdfFormat edf(folder / "s.edf");
        ASSERT_TRUE(exportSession(s, edf, &error)) << error;
        EXPECT_FALSE(fs::exists(folder / "s.edf.exporting"));

        const sylvane::testing::EdfRead f = sylvane::testing::readEdf(folder / "s.edf");
        sylvane::testing::expectSamples(f, samples.empty() ? values : samples);
        const edf_hdr_struct& h = f.h;
        EXPECT_EQ(h.signalparam[0].smp_in_datarecord, perRecord);
        EXPECT_NEAR(static_cast<double>(h.datarecord_duration) / 1e7, recordSeconds, 1e-5);
        // The session's range widened, in steps far below 0.01 uS.
        EXPECT_LT(h.signalparam[2].phys_min, lo);
        EXPECT_GT(h.signalparam[2].phys_max, hi);
        EXPECT_LT((h.signalparam[0].phys_max - h.signalparam[0].phys_min) / 65535, 0.001);
        char begun[80];
        std::snprintf(begun, sizeof begun, "%04d-%02d-%02d %02d:%02d:%02d.%03lld", h.startdate_year,
                      h.startdate_month, h.startdate_day, h.starttime_hour, h.starttime_minute,
                      h.starttime_second, h.starttime_subsecond / 10000);
        EXPECT_EQ(start.empty() ? "" : begun, start);
        EXPECT_EQ(std::string(h.recording_additional).starts_with("start time estimated"),
                  start.empty());
        // In time order: the comments, cut to annotations, at 0 s; markers, gaps, the padding.
        std::string texts;
        for (const auto& a : f.annotations) texts += (texts.empty() ? "" : "|") + a.second;
        EXPECT_EQ(texts, annotations);
        for (std::size_t i = 0; i < annotationSeconds.size() && i < f.annotations.size(); ++i)
            EXPECT_NEAR(f.annotations[i].first, annotationSeconds[i], 1e-6) << i;
        EXPECT_TRUE(
            std::ranges::is_sorted(f.annotations, {}, &std::pair<double, std::string>::first));
    };
    const auto ramp = [](std::int32_t from, int n) {
        std::vector<std::int32_t> out(static_cast<std::size_t>(n));
        std::iota(out.begin(), out.end(), from);
        return out;
    };
    const std::string padded = "end of readings, record padded";
    // 10 readings a second, each up to 10 ms late, a gap of 6 s (the probe unplugged), 20 more:
    // samples 0-29 and 90-109 hold the readings, 30-89 the last one before the gap.
    std::vector<std::int32_t> unplugged, ms, onGrid;
    for (int i = 0; i < 50; ++i) {
        unplugged.push_back(1800 + i);
        ms.push_back((i < 30 ? 500 : 6500) + 100 * i + (i * 7919) % 11);
    }
    for (int k = 0; k < 110; ++k) onGrid.push_back(k < 30 ? 1800 + k : k < 90 ? 1829 : 1740 + k);
    row(unplugged, tim(0.5, 50, 11.449), markerLine({30, 3.4, "probe reconnected"}), "", 10, 1,
        "2024-03-01 00:00:00.375", "probe reconnected|no reading", "", ms, onGrid, {2.9, 3.0});
    row(ramp(1500, 1), tim(0.5, 1, 0.5), "", "", 2, 1, "2024-03-01 00:00:00.375", padded, "");
    // 1/32 s records (EDFlib reads no other back); a rate not whole, long comments, a bare marker.
    row(ramp(1800, 100), tim(1.0, 100, 50.532), markerLine({50, 25, ""}),
        " Caf\xC3\xA9 \"quoted\" comments,\r\nlong enough to need more than one annotation", 96,
        48.03125, "2024-03-01 00:00:00.875",
        "Caf\xC3\xA9 \"quoted\" comments,  long enough to| need more than one annotation|marker "
        "1|" +
            padded,
        "");
    // Regression: 100 intervals in 50.5 s, once written as 10.09999 s.
    row(ramp(1800, 101), tim(1.0, 101, 51.5), "", "", 25, 12.625, "2024-03-01 00:00:00.875", padded,
        "");
    row(ramp(2000, 2), tim(0.5, 2, 900.5), "", "", 1, 60, "2024-03-01 00:00:00.375", "", "");
    row(ramp(3000, 3),
        "start,2024-13-01T00:00:00.000+00:00\r\nreadings,3,2.0,1.0\r\nnoise\r\nstart,2024", "", "",
        2, 1, "", "reading rate estimated|" + padded, "s.Tim: lines 1, 2, 3, 4 ");
}
