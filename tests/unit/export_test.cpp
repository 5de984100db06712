// The skin-response detector, the session's times and the exports (CSV, and EDF+ read back with
// EDFlib's own reader).

#include "acquisition/response_detector.h"
#include "platform/number_rules.h"
#include "probe_signal.h"
#include "storage/csv_export.h"
#include "storage/edf_export.h"
#include "storage/saved_set_writer.h"
#include "storage/session_header.h"
#include "tests/support/engine_harness.h"
#include "tests/unit/unit_support.h"

#include <edflib.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <locale>
#include <numbers>

using namespace sylvane;
using namespace sylvane::storage;
using namespace sylvane::unittest;
using acquisition::ResponseDetector;

namespace {

// A response of amplitude uS from t0: a half-cosine rise over `rise` s, then an exponential
// recovery.
double response(double t, double t0, double amplitude, double rise = 2.0) {
    if (t < t0) return 0;
    if (t < t0 + rise) return amplitude * 0.5 * (1 - std::cos(std::numbers::pi * (t - t0) / rise));
    return amplitude * std::exp(-(t - t0 - rise) / 6.0);
}

std::string timFile(double firstSeconds, std::int64_t readings, double lastSeconds) {
    LocalTime start{2024, 5, 1, 23, 59, 58, 250, 120};
    return startLine(start) + readingsLine(readings, firstSeconds, lastSeconds);
}

} // namespace

TEST(ResponseDetector, FindsTheSimulatedProbesResponsesAtItsRates) {
    const struct {
        double rate;
        std::uint32_t seed;
    } rows[] = {{2, 1}, {2, 2}, {2, 3}, {2, 4}, {53, 1}, {53, 2}};
    for (const auto& r : rows) {
        SCOPED_TRACE(::testing::Message() << r.rate << " readings a second, seed " << r.seed);
        sylvane::testing::MemoryEngine session;
        double now = 0;
        acquisition::ResponseCounter counter([&] { return now; });
        session.engine.addFollower(&counter);
        ASSERT_TRUE(session.start());
        probesim::StreamOptions options;
        options.seed = r.seed;
        options.frameRate = r.rate;
        probesim::FrameStream stream(options);
        probesim::SkinSignal signal(r.seed, r.rate);
        std::vector<double> starts;
        const auto frames = static_cast<long>(600 * r.rate);
        for (long i = 0; i < frames; ++i) {
            now = static_cast<double>(i) / r.rate;
            signal.next();
            if (signal.responseCount() > static_cast<int>(starts.size())) starts.push_back(now);
            session.feed(stream.next());
        }
        session.engine.stop(" ", nullptr);
        const auto& onsets = counter.detector().onsets();
        const auto near = [](double onset, double start) {
            return onset >= start - 1.5 && onset <= start + 3;
        };
        // Every onset is one of the signal's responses, and every response that is not on top
        // of another (none in the 15 s before it, none in the 8 s after) is found.
        for (const auto& onset : onsets) {
            EXPECT_TRUE(std::any_of(starts.begin(), starts.end(),
                                    [&](double s) { return near(onset.seconds, s); }))
                << "no response near the onset at " << onset.seconds << " s";
        }
        int alone = 0;
        for (std::size_t k = 0; k < starts.size(); ++k) {
            if ((k > 0 && starts[k] - starts[k - 1] < 15) ||
                (k + 1 < starts.size() && starts[k + 1] - starts[k] < 8) || starts[k] > 590)
                continue;
            ++alone;
            EXPECT_TRUE(std::any_of(onsets.begin(), onsets.end(),
                                    [&](const auto& o) { return near(o.seconds, starts[k]); }))
                << "the response at " << starts[k] << " s was not found";
        }
        EXPECT_GE(alone, 5);
        EXPECT_EQ(counter.count(), static_cast<int>(onsets.size()));
    }
}

TEST(ResponseDetector, CountsRisesOfTheThresholdWithinOneToFiveSeconds) {
    const struct {
        const char* name;
        double rate;
        double threshold;
        std::function<double(double)> g;
        int count;
    } rows[] = {
        {"a response", 53, 0.05, [](double t) { return 2 + response(t, 10, 0.1); }, 1},
        {"at 2 readings a second", 2, 0.05, [](double t) { return 2 + response(t, 10, 0.1); }, 1},
        {"two responses", 2, 0.05,
         [](double t) { return 2 + response(t, 10, 0.2) + response(t, 40, 0.06); }, 2},
        {"below the threshold", 53, 0.05, [](double t) { return 2 + response(t, 10, 0.04); }, 0},
        {"a lower threshold", 53, 0.03, [](double t) { return 2 + response(t, 10, 0.04); }, 1},
        {"a jump within a reading: the probe moved", 53, 0.05,
         [](double t) { return t < 10 ? 2.0 : 2.2; }, 0},
        {"a rise too slow: 0.1 uS over 20 s", 53, 0.05,
         [](double t) { return 2 + std::clamp((t - 10) / 200, 0.0, 0.1); }, 0},
        {"the contact settling from the first reading", 53, 0.05,
         [](double t) { return 2 - 0.3 * std::exp(-t / 0.4); }, 0},
        {"still rising when the session ends", 2, 0.05,
         [](double t) { return 2 + response(t, 55, 0.3, 3); }, 1},
    };
    for (const auto& r : rows) {
        ResponseDetector detector(r.threshold);
        for (int i = 0; i < static_cast<int>(60 * r.rate); ++i)
            detector.add(i + 1, i / r.rate, r.g(i / r.rate));
        detector.finish();
        EXPECT_EQ(detector.count(), r.count) << r.name;
    }
}

TEST(SessionTimes, ReadBackAsWrittenAndSavedBesideTheSession) {
    const LocalTime start{2024, 2, 29, 23, 59, 59, 875, -330};
    const SessionTimes t = readSessionTimes(startLine(start) + readingsLine(7, 1.5, 4.5));
    ASSERT_TRUE(t.start);
    EXPECT_EQ(*t.start, start);
    EXPECT_EQ(t.start->iso(), "2024-02-29T23:59:59.875-05:30");
    EXPECT_EQ(t.start->plus(0.125).iso(), "2024-03-01T00:00:00.000-05:30");
    EXPECT_EQ(t.readings, 7);
    EXPECT_EQ(t.lastSeconds, 4.5);
    const SessionTimes bad = readSessionTimes(
        "start,2024-13-01T00:00:00.000+00:00\r\nreadings,3,2.0,1.0\r\nnoise\r\nstart,2024");
    EXPECT_FALSE(bad.start);
    EXPECT_EQ(bad.badLines, (std::vector<int>{1, 2, 3, 4}));

    // Save copies tempdata.tim as name.Tim, and a session without one leaves no older name.Tim.
    TempFolder folder;
    for (const char* f : {"tempdata.tst", "tempdata.txt", "tempdata.hdr"}) writeFile(folder / f, f);
    writeFile(folder / "tempdata.tim", "times");
    const SaveTargets targets{folder / "a.Tst", folder / "a.Txt", folder / "a.Hdr"};
    ASSERT_TRUE(copyWorkingSet(folder.path(), targets));
    EXPECT_EQ(readFile(folder / "a.Tim"), "times");
    fs::remove(folder / "tempdata.tim");
    ASSERT_TRUE(copyWorkingSet(folder.path(), targets));
    EXPECT_FALSE(fs::exists(folder / "a.Tim"));
}

TEST(ReadingClock, HoldsTheRateToWholeReadingsInWholeTensOfMicroseconds) {
    const struct {
        double rate;
        int perRecord;
        std::int64_t units;
    } rows[] = {{2, 2, 100000},      {53, 53, 100000}, {1.9987, 20, 1000650},
                {0.001, 1, 6000000}, {NAN, 2, 100000}, {2.5, 25, 1000000}};
    for (const auto& r : rows) {
        const ReadingClock c = readingClockFor(r.rate, 0.5);
        EXPECT_EQ(c.readingsPerRecord, r.perRecord) << r.rate;
        EXPECT_EQ(c.recordUnits, r.units) << r.rate;
        EXPECT_DOUBLE_EQ(c.at(3), 0.5 + 2 * c.period());
    }
}

namespace {
// Decimal commas and grouping, as a user's locale may have them.
struct CommaNumbers : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};
} // namespace

TEST(CsvExport, OneRowAReadingInPlainDecimalsWithQuotedTexts) {
    const struct {
        const char* text;
        const char* field;
    } fields[] = {{"plain", "plain"},
                  {"a, b", "\"a, b\""},
                  {"say \"go\"", "\"say \"\"go\"\"\""},
                  {"two\r\nlines", "\"two\r\nlines\""}};
    for (const auto& f : fields) EXPECT_EQ(csvField(f.text), f.field);

    const std::locale before = std::locale::global(std::locale(std::locale(), new CommaNumbers));
    TempFolder folder;
    // Readings, a record of no reading, a value beyond the probe's range, a cut record; the rise
    // from 2000 to 2100 is a skin response with its onset at 2000.
    writeFile(folder / "s.Tst", records({2048, 0, 2000, 99999, 2100}) + "\x01");
    writeFile(folder / "s.Hdr", "\"MinADC\"\r\n\" 2000\"\r\n\"MaxADC\"\r\n\" 2100\"\r\n\"c\"\r\n");
    writeFile(folder / "s.Mrk", markerLine({1, 0.1, "left, \"hand\""}) + markerLine({2, 1, "gap"}) +
                                    markerLine({3, 1, ""}) + "9,1.000,\"after the end\"\r\n");
    writeFile(folder / "s.Tim", timFile(1.0, 5, 3.0));
    ExportedSession s;
    std::string error;
    ASSERT_TRUE(
        loadSession(ExportSource::saved(folder / "s.Tst", folder / "s.Hdr"), {}, &s, &error))
        << error;
    std::string out;
    CsvFormat csv([&](std::string_view bytes, std::string*) {
        out += bytes;
        return true;
    });
    ASSERT_TRUE(exportSession(s, csv, &error)) << error;
    std::locale::global(before);
    EXPECT_EQ(out, "time_s,adc,resistance_ohm,conductance_us,marker,scr_onset\r\n"
                   "1.000,2048,469770.5,2.128699,\"left, \"\"hand\"\"\",0\r\n"
                   "2.000,2000,492325,2.0311785,gap; marker 3,1\r\n"
                   "3.000,2100,446500,2.2396417,,0\r\n");
    // The cut record, the two records without a reading and the marker past the end are told.
    ASSERT_EQ(s.notes.size(), 3u);
    EXPECT_NE(s.notes[0].find("s.Tst ends in a cut record"), std::string::npos);
    EXPECT_NE(s.notes[1].find("2 records hold no reading"), std::string::npos);
    EXPECT_NE(s.notes[2].find("s.Mrk: lines 4"), std::string::npos);
}

TEST(EdfExport, ReadsBackThroughEdflibWithinOneStep) {
    struct Row {
        const char* name;
        std::vector<std::int32_t> values;
        std::string tim; // "" none: start and rate estimated
        std::string comments;
        std::string mrk;
        int perRecord;
        double recordSeconds;
    };
    std::vector<std::int32_t> responses;
    for (int i = 0; i < 240; ++i) {
        // 2 readings a second with a skin response at 30 s and one at 80 s.
        const double t = i / 2.0;
        responses.push_back(
            2000 + static_cast<int>(std::lround(60 * (response(t, 30, 1) + response(t, 80, 1)))));
    }
    responses[100] = 0; // no reading
    const Row rows[] = {
        {"one reading", {1500}, timFile(0.5, 1, 0.5), "", "", 2, 1},
        {"two readings a second, markers, responses and a gap", responses, timFile(2.0, 240, 121.5),
         "Caf\xC3\xA9 \"quoted\" comments,\r\nlong enough to need more than one annotation",
         markerLine({3, 1, "first"}) + markerLine({200, 99, ""}), 2, 1},
        {"a rate that is not whole",
         {1800, 1801, 1802, 1803, 1804},
         timFile(1, 5, 3.5),
         "c",
         "",
         16,
         10},
        {"no side file", {3000, 3001, 3002}, "", " ", "", 2, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TempFolder folder;
        writeFile(folder / "s.Tst", records(r.values));
        std::vector<std::int32_t> sound;
        std::copy_if(r.values.begin(), r.values.end(), std::back_inserter(sound),
                     [](std::int32_t v) { return v >= 1; });
        const auto [lo, hi] = std::minmax_element(sound.begin(), sound.end());
        writeFile(folder / "s.Hdr", headerBytes(sessionHeader(*lo, *hi, r.comments)));
        if (!r.mrk.empty()) writeFile(folder / "s.Mrk", r.mrk);
        if (!r.tim.empty()) writeFile(folder / "s.Tim", r.tim);
        ExportedSession s;
        std::string error;
        ASSERT_TRUE(
            loadSession(ExportSource::saved(folder / "s.Tst", folder / "s.Hdr"), {}, &s, &error));
        EdfFormat edf(folder / "s.edf");
        ASSERT_TRUE(exportSession(s, edf, &error)) << error;
        EXPECT_FALSE(fs::exists(folder / "s.edf.exporting"));

        edf_hdr_struct h{};
        ASSERT_EQ(
            edfopen_file_readonly((folder / "s.edf").c_str(), &h, EDFLIB_READ_ALL_ANNOTATIONS), 0);
        EXPECT_EQ(h.filetype, EDFLIB_FILETYPE_EDFPLUS);
        ASSERT_EQ(h.edfsignals, 3);
        EXPECT_STREQ(h.signalparam[0].label, "Skin conductance");
        EXPECT_EQ(platform::trimmed(h.signalparam[0].physdimension), "uS");
        EXPECT_EQ(platform::trimmed(h.signalparam[1].physdimension), "kOhm");
        EXPECT_EQ(platform::trimmed(h.signalparam[2].label), "Smoothed ADC");
        EXPECT_EQ(platform::trimmed(h.signalparam[0].prefilter), "Mean of the last 5 readings");
        EXPECT_EQ(h.signalparam[0].smp_in_datarecord, r.perRecord);
        EXPECT_NEAR(h.datarecord_duration / 1e7, r.recordSeconds, 1e-5);
        EXPECT_EQ(std::string(h.recording_additional).find("start time estimated") == 0,
                  r.tim.empty());
        if (!r.tim.empty()) {
            // The first reading's time: Start plus its seconds, across midnight here.
            const LocalTime first = LocalTime{2024, 5, 1, 23, 59, 58, 250, 120}.plus(
                readSessionTimes(r.tim).firstSeconds);
            EXPECT_EQ(h.startdate_day, first.day);
            EXPECT_EQ(h.starttime_hour * 3600 + h.starttime_minute * 60 + h.starttime_second,
                      first.hour * 3600 + first.minute * 60 + first.second);
            EXPECT_EQ(h.starttime_subsecond, first.millisecond * 10000LL);
        }

        // Every sample within one step of the reading (a gap holds the reading before it).
        const auto n = static_cast<int>(h.signalparam[0].smp_in_file);
        ASSERT_EQ(n % r.perRecord, 0);
        ASSERT_GE(n, static_cast<int>(r.values.size()));
        std::vector<double> got(static_cast<std::size_t>(n));
        for (int sig = 0; sig < 3; ++sig) {
            const auto& p = h.signalparam[sig];
            const double step = (p.phys_max - p.phys_min) / (p.dig_max - p.dig_min);
            edfrewind(h.handle, sig);
            ASSERT_EQ(edfread_physical_samples(h.handle, sig, n, got.data()), n);
            std::int32_t last = r.values.front();
            for (int i = 0; i < n; ++i) {
                const std::size_t k = static_cast<std::size_t>(i);
                if (k < r.values.size() && r.values[k] >= 1) last = r.values[k];
                const float ohms = platform::resistanceOfAdc(last);
                const double want =
                    sig == 0
                        ? static_cast<double>(static_cast<float>(1e6 / static_cast<double>(ohms)))
                    : sig == 1 ? static_cast<double>(ohms) / 1000
                               : last;
                ASSERT_NEAR(got[k], want, step) << "signal " << sig << ", sample " << i;
            }
            if (sig == 0) {
                EXPECT_LT(step, 0.001) << "the conductance resolves 0.001 uS";
            }
        }

        // Annotations in time order: comments whole at 0 s, markers, responses, gaps, padding.
        std::string comments;
        std::vector<std::string> texts;
        long long lastOnset = 0;
        for (long long i = 0; i < h.annotations_in_file; ++i) {
            edf_annotation_struct a{};
            ASSERT_EQ(edf_get_annotation(h.handle, static_cast<int>(i), &a), 0);
            EXPECT_GE(a.onset, lastOnset);
            lastOnset = a.onset;
            if (a.onset == 0 && std::string(a.annotation) != "reading rate estimated") {
                comments += a.annotation;
            } else {
                texts.push_back(a.annotation);
            }
        }
        edfclose_file(h.handle);
        std::string wanted = platform::trimmed(r.comments);
        std::replace(wanted.begin(), wanted.end(), '\r', ' ');
        std::replace(wanted.begin(), wanted.end(), '\n', ' ');
        EXPECT_EQ(comments, wanted);
        if (std::string(r.name).starts_with("two")) {
            EXPECT_EQ(texts, (std::vector<std::string>{"first", "SCR onset", "no reading",
                                                       "SCR onset", "marker 2"}));
        }
        if (r.values.size() % static_cast<std::size_t>(r.perRecord) != 0) {
            EXPECT_EQ(texts.back(), "end of readings, record padded");
        }
    }
}
