// Export as CSV and EDF+, and the skin responses, through the real window: a session from the
// probe simulator (a skin response at 10 s) with two markers, exported and compared value by
// value with tempdata.txt converted as the readouts do; the same session saved, displayed and
// exported; a cut and absurd saved session; targets that cannot be written; a session marked
// with Session > Mark whose responses to its markers are exported.

#include "platform/label.h"
#include "platform/number_rules.h"
#include "tests/support/edf_reading.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/live_session.h"
#include "tests/support/probe_sim_process.h"
#include "tests/support/pty_probe.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>

using namespace sylvane::testing;
namespace pf = sylvane::platform;

namespace {

// The program at a second start, laid out; the export file dialogs answered with `paths`.
struct Program : LiveSession {
    QStringList paths, suggested;
    Program() {
        w.exportFileChooser = [this](const QString&, const QString& s, const QString&) {
            suggested << s;
            return paths.isEmpty() ? QString() : paths.takeFirst();
        };
        load(settingsOf("2", "25"));
        showSettled();
    }
    void exportAs(QAction* item, const QString& to) {
        paths = QStringList{to};
        item->trigger();
    }
    EdfRead edf(const char* name) const { return readEdf(path(name).toStdString()); }
};

} // namespace

TEST(Export, RecordedSavedCutAndUnwritableSessions) {
    Program p;
    auto& w = p.w;
    p.exportAs(w.mnuExportCsv, p.path("none.csv"));
    EXPECT_EQ(p.messages.prompts(), QStringList{"There is no session data to export!"});
    EXPECT_TRUE(p.suggested.isEmpty());
    p.messages.messages.clear();

    // The simulated probe at its real rate; with seed 5 its one skin response in the first
    // minute begins 10 s after the port opens.
    ProbeSimProcess sim(p.folder, 2, {"--rate", "2", "--seed", "5"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    w.mnuStart->trigger();
    EXPECT_FALSE(w.mnuExportCsv->isEnabled() || w.mnuExportEdf->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return w.lblResponses[1]->caption() == "1"; }, 40000))
        << "responses counted: " << w.lblResponses[1]->caption().toStdString();
    ASSERT_TRUE(waitUntil([&] { return p.file("tempdata.tst").size() >= 4 * 40; }, 30000));
    const QString comments = QString::fromUtf8("Resting \xE2\x80\x94 \"eyes closed\"");
    w.TxtSeshnComnts->setText(comments);
    w.mnuStop->trigger();
    ASSERT_TRUE(p.messages.messages.empty()) << p.said();
    EXPECT_TRUE(w.mnuExportCsv->isEnabled() && w.mnuExportEdf->isEnabled());
    EXPECT_EQ(w.lblResponses[1]->caption(), "1");

    std::vector<std::int32_t> readings;
    for (const QByteArray& line : p.file("tempdata.txt").split('\n'))
        if (!line.trimmed().isEmpty()) readings.push_back(line.trimmed().toInt());
    ASSERT_EQ(static_cast<qint64>(readings.size()) * 4, p.file("tempdata.tst").size());
    // tempdata.tim: "start,<ISO date and time with its offset>", "readings,N,first,last".
    const QList<QByteArray> tim = p.file("tempdata.tim").split('\n');
    ASSERT_GE(tim.size(), 2);
    const QList<QByteArray> counts = tim[1].trimmed().split(',');
    ASSERT_EQ(counts.size(), 4);
    EXPECT_EQ(counts[1].toLongLong(), static_cast<qint64>(readings.size()));
    const QDateTime first =
        QDateTime::fromString(QString::fromLatin1(tim[0].mid(6).trimmed()), Qt::ISODateWithMs)
            .addMSecs(std::llround(counts[2].toDouble() * 1000));
    ASSERT_TRUE(first.isValid()) << tim[0].toStdString();

    // Each reading's time as tempdata.tms keeps it (milliseconds from Start).
    const QByteArray tms = p.file("tempdata.tms");
    ASSERT_EQ(tms.size(), static_cast<qsizetype>(readings.size()) * 4);
    const auto timeOf = [&](std::size_t i) {
        quint32 ms = 0;
        std::memcpy(&ms, tms.constData() + 4 * i, 4);
        return ms / 1000.0;
    };

    // Two markers, as the marker file keeps them: at their readings and at those readings' times.
    const auto markerLine = [&](int record, const char* text) {
        return QByteArray::number(record) + ',' + QByteArray::number(timeOf(record - 1), 'f', 3) +
               ",\"" + text + "\"\r\n";
    };
    writeFileBytes(p.path("tempdata.mrk"),
                   markerLine(5, "stimulus, left") + markerLine(20, "\\=say \\qgo\\q"));

    // CSV: one row a reading, value by value, at its recorded time.
    p.exportAs(w.mnuExportCsv, p.path("out.csv"));
    ASSERT_TRUE(p.messages.messages.empty()) << p.said();
    const QByteArray csv = p.file("out.csv");
    const QList<QByteArray> rows = csv.split('\n');
    ASSERT_EQ(rows.size(), static_cast<qsizetype>(readings.size()) + 2);
    EXPECT_EQ(rows[0],
              "time_s,adc,resistance_ohm,conductance_us,marker,scr_onset,tonic_us,phasic_us\r");
    // The resistance 4095 x 470000 / a - 470000 Ohms and the conductance its inverse, each
    // written so that it reads back as its 32-bit value.
    const auto ohms = [&](std::size_t i) {
        return static_cast<float>(1924650000.0 / readings[i] - 470000.0);
    };
    const auto conductance = [&](std::size_t i) { return static_cast<float>(1e6 / ohms(i)); };
    std::vector<double> onsets;
    std::vector<float> tonics, phasics;
    for (std::size_t i = 0; i < readings.size(); ++i) {
        const QByteArray marker = i == 4    ? "\"stimulus, left\""
                                  : i == 19 ? "\"say \"\"go\"\"\""
                                            : "";
        QByteArray row = rows[static_cast<qsizetype>(i) + 1].trimmed();
        if (!marker.isEmpty()) row.replace("," + marker + ",", ",marker,");
        const QList<QByteArray> f = row.split(',');
        ASSERT_EQ(f.size(), 8) << row.toStdString();
        EXPECT_NEAR(f[0].toDouble(), timeOf(i), 0.0005) << row.toStdString();
        EXPECT_EQ(f[1].toInt(), readings[i]);
        EXPECT_EQ(std::strtof(f[2].constData(), nullptr), ohms(i)) << row.toStdString();
        EXPECT_EQ(std::strtof(f[3].constData(), nullptr), conductance(i)) << row.toStdString();
        EXPECT_EQ(f[4], marker.isEmpty() ? "" : "marker") << row.toStdString();
        // The onset, the tonic level and the phasic part (the conductance less the tonic level).
        if (f[5] == "1") onsets.push_back(f[0].toDouble());
        tonics.push_back(f[6].toFloat());
        phasics.push_back(f[7].toFloat());
        EXPECT_NEAR(phasics.back(), conductance(i) - tonics.back(), 1e-6) << row.toStdString();
    }
    ASSERT_EQ(onsets.size(), 1u);
    // The tonic level within the session's conductances, at the response's onset the level it
    // rises from (within 5 counts), under the response the phasic part holding its rise.
    const auto [lo, hi] = std::ranges::minmax(tonics);
    EXPECT_GE(lo, conductance(std::ranges::min_element(readings) - readings.begin()));
    EXPECT_LE(hi, conductance(std::ranges::max_element(readings) - readings.begin()));
    const auto onsetRow = static_cast<std::size_t>(
        std::ranges::find_if(rows, [](const QByteArray& r) { return r.contains(",1,"); }) -
        rows.begin() - 1);
    EXPECT_NEAR(tonics[onsetRow], conductance(onsetRow), 0.01);
    EXPECT_GE(std::ranges::max(phasics), 0.05f);
    EXPECT_NEAR(onsets[0], 11, 2.5) << "the response begins at 10 s";

    // EDF+: the same values from the first reading's time, the comments whole at 0 s, the
    // markers and the response.
    p.exportAs(w.mnuExportEdf, p.path("out.edf"));
    ASSERT_TRUE(p.messages.messages.empty()) << p.said();
    const EdfRead edf = p.edf("out.edf");
    expectSamples(edf, readings);
    EXPECT_EQ(std::tuple(edf.h.startdate_day, edf.h.starttime_hour, edf.h.starttime_minute,
                         edf.h.starttime_second, edf.h.starttime_subsecond),
              std::tuple(first.date().day(), first.time().hour(), first.time().minute(),
                         first.time().second(), first.time().msec() * 10000LL));
    EXPECT_EQ(edf.h.signalparam[0].smp_in_datarecord, 2);
    std::string labels;
    for (const auto& s : std::span(edf.h.signalparam, 3))
        labels += pf::trimmed(s.label) + " [" + pf::trimmed(s.physdimension) + "] " +
                  pf::trimmed(s.prefilter) + "; ";
    EXPECT_EQ(labels, "Skin conductance [uS] Mean of the last 5 readings; Skin resistance [kOhm] "
                      "Mean of the last 5 readings; Smoothed ADC [] Mean of the last 5 readings; ");
    // Each at its time from the first reading; the response at its onset, between its reading
    // and the next, with its amplitude.
    const std::vector<std::pair<double, std::string>> annotated = {
        {0, comments.toStdString()},
        {timeOf(4) - timeOf(0), "stimulus, left"},
        {timeOf(19) - timeOf(0), "say \"go\""}};
    ASSERT_EQ(edf.annotations.size(), annotated.size() + 1);
    const auto response = std::ranges::find_if(
        edf.annotations, [](const auto& a) { return a.second.starts_with("SCR "); });
    ASSERT_NE(response, edf.annotations.end());
    EXPECT_TRUE(response->second.ends_with(" uS") && response->second.size() == 11)
        << response->second;
    EXPECT_GE(std::atof(response->second.c_str() + 4), 0.05) << response->second;
    EXPECT_GE(response->first, onsets[0] - timeOf(0) - 0.0015);
    EXPECT_LE(response->first, onsets[0] - timeOf(0) + 0.5);
    for (const auto& [at, text] : annotated) {
        EXPECT_EQ(std::ranges::count_if(edf.annotations,
                                        [&](const auto& a) {
                                            return a.second == text &&
                                                   std::fabs(a.first - at) < 0.0015;
                                        }),
                  1)
            << text << " at " << at;
    }

    // An existing file: No keeps it, Yes replaces it.
    writeFileBytes(p.path("out.csv"), "older");
    p.messages.answers = {pf::vbNo};
    p.exportAs(w.mnuExportCsv, p.path("out.csv"));
    EXPECT_EQ(p.file("out.csv"), "older");
    p.exportAs(w.mnuExportCsv, p.path("out.csv"));
    EXPECT_EQ(p.file("out.csv"), csv);
    EXPECT_EQ(p.messages.prompts(),
              QStringList(2, p.path("out.csv") + " already exists.\r\nDo you want to replace it?"));
    p.messages.messages.clear();

    // Saved (with its markers and times), displayed, exported: the same files.
    answerFileManager({"run1"});
    w.mnuSaveFile->trigger();
    answerFileManager({"run1"});
    w.mnuDisplayOld->trigger();
    ASSERT_TRUE(w.module1.displayMode) << p.said();
    EXPECT_TRUE(w.mnuExportCsv->isEnabled() && w.mnuExportEdf->isEnabled());
    p.exportAs(w.mnuExportCsv, p.path("saved.csv"));
    p.exportAs(w.mnuExportEdf, p.path("saved.edf"));
    ASSERT_TRUE(p.messages.messages.empty()) << p.said();
    EXPECT_EQ(p.suggested.last(), p.path("run1.edf"));
    EXPECT_EQ(p.file("saved.csv"), csv);
    EXPECT_EQ(p.file("saved.edf"), p.file("out.edf"));

    // A saved session from before the side files, cut in its last record, with records that
    // are no reading and a marker file with bad lines.
    const std::vector<std::int32_t> values = {2000, 2001, 0, 2002, 70000, 2003};
    writeFileBytes(p.path("cut.Tst"), tstOf(values) + "\x07\x07");
    writeFileBytes(p.path("cut.Hdr"), hdrOf(2000, 2003, " "));
    writeFileBytes(p.path("cut.Mrk"), "2,1.000,\"kept\"\r\n99,1.0,\"beyond\"\r\n3,1.0,\"cut");
    answerFileManager({"cut"});
    w.mnuDisplayOld->trigger(); // "Display another session"
    ASSERT_TRUE(w.module1.displayMode) << p.said();
    p.messages.messages.clear();

    p.exportAs(w.mnuExportCsv, p.path("cut.csv"));
    ASSERT_EQ(p.messages.messages.size(), 1u) << p.said();
    for (const QString& note :
         {p.path("cut.Tst") + " ends in a cut record", QString("2 records hold no reading"),
          p.path("cut.Mrk: lines 2, 3")})
        EXPECT_TRUE(p.messages.prompts()[0].contains(note)) << p.said();
    // Times by record (no times file: 2 readings a second), the marker at its reading.
    const QByteArray cutCsv = p.file("cut.csv");
    EXPECT_EQ(cutCsv.count('\n'), 5) << cutCsv.toStdString();
    for (const char* row :
         {"\n0.000,2000,", "\n0.500,2001,", ",kept,0,", "\n1.500,2002,", "\n2.500,2003,"})
        EXPECT_TRUE(cutCsv.contains(row)) << row;
    p.messages.messages.clear();

    // Its start, without a times file, is estimated.
    p.exportAs(w.mnuExportEdf, p.path("cut.edf"));
    EXPECT_TRUE(
        std::string(p.edf("cut.edf").h.recording_additional).starts_with("start time estimated"));
    p.messages.messages.clear();

    // A folder that does not exist, and a disk that fills while writing (/dev/full): a clear
    // message naming the file, and nothing left at or beside the target.
    const QString nowhere = p.path("missing/out");
    p.exportAs(w.mnuExportCsv, nowhere + ".csv");
    p.exportAs(w.mnuExportEdf, nowhere + ".edf");
    QFile::link("/dev/full", p.path("full.edf.exporting"));
    p.exportAs(w.mnuExportEdf, p.path("full.edf"));
    ASSERT_EQ(p.messages.messages.size(), 3u) << p.said();
    EXPECT_TRUE(p.messages.prompts()[0].startsWith("Could not export " + nowhere + ".csv"));
    EXPECT_TRUE(p.messages.prompts()[1].startsWith("Could not export " + nowhere + ".edf: "));
    EXPECT_TRUE(p.messages.prompts()[2].startsWith("Could not export " + p.path("full.edf")));
    EXPECT_EQ(p.messages.titles(), QStringList(3, "Export error"));
    EXPECT_FALSE(QDir(p.path("missing")).exists());
    EXPECT_FALSE(QFileInfo::exists(p.path("full.edf")));
    EXPECT_FALSE(QFileInfo(p.path("full.edf.exporting")).isFile() &&
                 !QFileInfo(p.path("full.edf.exporting")).isSymLink());
}

// A probe at 10 readings a second unplugged for 6 s and plugged in again: each reading keeps the
// time it was read, and both formats show the gap where it was.
TEST(Export, ReadingsKeepTheirTimesAcrossAProbeUnpluggedAndPluggedInAgain) {
    Program p;
    auto& w = p.w;
    ProbeSimProcess sim(
        p.folder, 2,
        {"--rate", "10", "--seed", "3", "--vanish-after", "7", "--reappear-after", "6"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    // The true span, as seen from outside: when the first record reached the disk and when the
    // last one did (each within a pace of its frame).
    QElapsedTimer clock;
    clock.start();
    qint64 size = 0;
    double firstSeen = -1, lastSeen = -1;
    const auto watch = [&] {
        const qint64 now = QFileInfo(p.path("tempdata.tst")).size();
        if (now == size) return;
        size = now;
        lastSeen = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        if (firstSeen < 0) firstSeen = lastSeen;
    };
    w.mnuStart->trigger();
    const auto watchUntil = [&](const std::function<bool()>& done, int ms) {
        return waitUntil(
            [&] {
                watch();
                return done();
            },
            ms);
    };
    ASSERT_TRUE(watchUntil([&] { return w.waitingForProbe(); }, 30000)) << p.said();
    ASSERT_TRUE(watchUntil([&] { return !w.waitingForProbe(); }, 30000)) << p.said();
    const qint64 before = size;
    ASSERT_TRUE(watchUntil([&] { return size >= before + 4 * 40; }, 30000));
    ASSERT_TRUE(sim.stop());
    watchUntil([] { return false; }, 300);
    w.mnuStop->trigger();
    ASSERT_EQ(QFileInfo(p.path("tempdata.tst")).size(), size);
    p.messages.messages.clear();

    p.exportAs(w.mnuExportCsv, p.path("gap.csv"));
    p.exportAs(w.mnuExportEdf, p.path("gap.edf"));
    ASSERT_TRUE(p.messages.messages.empty()) << p.said();
    std::vector<double> times;
    double reconnected = -1;
    for (const QByteArray& row : p.file("gap.csv").split('\n').mid(1)) {
        if (row.isEmpty()) continue;
        times.push_back(row.left(row.indexOf(',')).toDouble());
        if (row.contains("probe reconnected")) reconnected = times.back();
    }
    ASSERT_EQ(static_cast<qint64>(times.size()) * 4, size);
    std::vector<double> steps;
    for (std::size_t i = 1; i < times.size(); ++i) steps.push_back(times[i] - times[i - 1]);
    EXPECT_EQ(std::ranges::count_if(steps, [](double d) { return d >= 5.5; }), 1);
    EXPECT_EQ(std::ranges::count_if(steps, [](double d) { return d > 0.3; }), 1);
    std::ranges::nth_element(steps, steps.begin() + static_cast<long>(steps.size() / 2));
    EXPECT_NEAR(steps[steps.size() / 2], 0.100, 0.010);
    EXPECT_NEAR(times.back() - times.front(), lastSeen - firstSeen, 0.2);

    // EDF+: ten samples a second in records of 1 s from the first reading, over the whole span,
    // the gap under "no reading", the marker where the CSV has it, at most one record padded.
    const EdfRead edf = p.edf("gap.edf");
    ASSERT_TRUE(edf.ok);
    EXPECT_EQ(edf.h.signalparam[0].smp_in_datarecord, 10);
    EXPECT_EQ(edf.h.datarecord_duration, 10000000LL);
    const double span = times.back() - times.front();
    const auto samples = static_cast<double>(edf.h.signalparam[0].smp_in_file);
    EXPECT_GE(samples, std::round(span * 10) + 1);
    EXPECT_LT(samples, std::round(span * 10) + 1 + 10);
    double gapAt = -1, gapFor = -1, markerAt = -1;
    for (std::size_t i = 0; i < edf.annotations.size(); ++i) {
        if (edf.annotations[i].second == "probe reconnected") markerAt = edf.annotations[i].first;
        if (edf.annotations[i].second == "no reading")
            std::tie(gapAt, gapFor) = std::pair(edf.annotations[i].first, edf.durations[i]);
    }
    const auto longest = std::ranges::max_element(times, {}, [&](const double& t) {
        const std::size_t i = static_cast<std::size_t>(&t - times.data());
        return i == 0 ? 0.0 : t - times[i - 1];
    });
    const double gapStart = *(longest - 1) - times.front();
    const double gapEnd = *longest - times.front();
    EXPECT_NEAR(gapAt, gapStart + 0.1, 0.1);
    EXPECT_NEAR(gapAt + gapFor, gapEnd, 0.1);
    ASSERT_GE(reconnected, 0);
    EXPECT_NEAR(markerAt, reconnected - times.front(), 0.1);
}

// Two markers set with Session > Mark while a probe on a pseudo-terminal sends 10 readings a
// second: a skin response (0.12 uS, a rise of 60 counts from 2000) begins 2 s after the first
// and none follows the second. The responses' CSV has a row for each, the first with the
// response 2 s after it.
TEST(Export, ResponsesToMarkersSetWithSessionMark) {
    Program p;
    auto& w = p.w;
    PtyProbe probe(p.folder, 2);
    ASSERT_TRUE(probe.ok());
    // The raw readings, one each 100 ms: 3 s at rest, the first marker, the response from 2 s
    // after it (rising in about 1.5 s, recovering in a few), the second marker at 15 s, 7 s more.
    std::vector<int> values;
    for (int i = 0; i < 220; ++i) {
        const double t = (i - 50) / 10.0;
        const double scr = t <= 0 ? 0 : (std::exp(-t / 3) - std::exp(-t / 0.5)) / 0.5787;
        values.push_back(2000 + static_cast<int>(std::lround(60 * scr)));
    }
    std::size_t sent = 0;
    QTimer pace;
    pace.setTimerType(Qt::PreciseTimer);
    QObject::connect(&pace, &QTimer::timeout, [&] {
        if (sent < values.size()) probe.send({frame(values[sent++])});
    });
    const auto mark = [&](std::size_t at, const char* text) {
        ASSERT_TRUE(waitUntil([&] { return sent >= at; }, 60000));
        w.mnuMark->trigger();
        ASSERT_TRUE(waitUntil([&] { return w.markerBox() && w.markerBox()->isVisible(); }));
        auto* edit = w.markerBox()->findChild<QLineEdit*>(QStringLiteral("txtMarker"));
        ASSERT_NE(edit, nullptr);
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
        ASSERT_TRUE(waitUntil([&] { return w.markerBox() == nullptr; }));
    };

    w.mnuStart->trigger();
    pace.start(100);
    mark(30, "first");
    mark(150, "second");
    ASSERT_TRUE(waitUntil([&] { return sent == values.size(); }, 60000));
    QTest::qWait(300);
    w.mnuStop->trigger();
    ASSERT_TRUE(p.messages.messages.empty()) << p.said();
    EXPECT_EQ(w.lblResponses[1]->caption(), "1");
    EXPECT_TRUE(w.mnuExportResponses->isEnabled());

    p.exportAs(w.mnuExportResponses, p.path("responses.csv"));
    ASSERT_TRUE(p.messages.messages.empty()) << p.said();
    EXPECT_EQ(p.suggested.last(), p.path("session-responses.csv"));
    const QList<QByteArray> rows = p.file("responses.csv").split('\n');
    ASSERT_EQ(rows.size(), 4) << p.file("responses.csv").toStdString();
    EXPECT_EQ(rows[0],
              "marker_s,marker,responses,latency_s,amplitude_us,rise_s,half_recovery_s,tonic_us\r");
    const QList<QByteArray> first = rows[1].trimmed().split(',');
    const QList<QByteArray> second = rows[2].trimmed().split(',');
    ASSERT_EQ(first.size(), 8);
    ASSERT_EQ(second.size(), 8);
    EXPECT_NEAR(first[0].toDouble(), 3.0, 0.5);
    EXPECT_EQ(first[1], "first");
    EXPECT_EQ(first[2], "1");
    EXPECT_NEAR(first[3].toDouble(), 2.0, 0.5);
    EXPECT_NEAR(first[4].toDouble(), 0.12, 0.02);
    EXPECT_GT(first[5].toDouble(), 0.5);
    EXPECT_FALSE(first[6].isEmpty());
    EXPECT_NEAR(first[7].toDouble(), 2.0312, 0.001) << "the conductance of ADC 2000";
    EXPECT_NEAR(second[0].toDouble(), 15.0, 0.5);
    EXPECT_EQ(second.mid(1, 6), (QList<QByteArray>{"second", "0", "", "", "", ""}));
}

SYLVANE_GTEST_QT_MAIN
