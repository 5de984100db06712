// Export as CSV and EDF+, and the skin responses, through the real window: a session from the
// probe simulator (a skin response at 10 s) with two markers, exported and compared value by
// value with tempdata.txt converted as the readouts do; the same session saved, displayed and
// exported, with the responses to a marker; a cut and absurd saved session; targets that cannot
// be written; a probe unplugged for 6 s.

#include "platform/label.h"
#include "platform/number_rules.h"
#include "tests/support/edf_reading.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/live_session.h"
#include "tests/support/probe_sim_process.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
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
    // Each reading's time as tempdata.tms keeps it (milliseconds from Start), in seconds.
    double timeOf(std::size_t i) const {
        quint32 ms = 0;
        std::memcpy(&ms, file("tempdata.tms").constData() + 4 * i, 4);
        return ms / 1000.0;
    }
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

    std::vector<std::int32_t> readings;
    for (const QByteArray& line : p.file("tempdata.txt").split('\n'))
        if (!line.trimmed().isEmpty()) readings.push_back(line.trimmed().toInt());
    ASSERT_EQ(static_cast<qint64>(readings.size()) * 4, p.file("tempdata.tms").size());
    // A marker as the marker file keeps it, at its reading's time, its text escaped.
    writeFileBytes(p.path("tempdata.mrk"),
                   "20," + QByteArray::number(p.timeOf(19), 'f', 3) + ",\"\\=say \\qgo\\q\"\r\n");

    // CSV: one row a reading, value by value, at its recorded time.
    p.exportAs(w.mnuExportCsv, p.path("out.csv"));
    ASSERT_TRUE(p.messages.messages.empty()) << p.said();
    const QByteArray csv = p.file("out.csv");
    const QList<QByteArray> rows = csv.split('\n');
    ASSERT_EQ(rows.size(), static_cast<qsizetype>(readings.size()) + 2);
    EXPECT_EQ(rows[0],
              "time_s,adc,resistance_ohm,conductance_us,marker,scr_onset,tonic_us,phasic_us\r");
    std::vector<std::size_t> onsets;
    float phasic = 0;
    for (std::size_t i = 0; i < readings.size(); ++i) {
        QByteArray row = rows[static_cast<qsizetype>(i) + 1].trimmed();
        const bool marked = row.contains(",\"say \"\"go\"\"\",");
        row.replace(",\"say \"\"go\"\"\",", ",marker,");
        const QList<QByteArray> f = row.split(',');
        ASSERT_EQ(f.size(), 8) << row.toStdString();
        EXPECT_EQ(marked, i == 19) << row.toStdString();
        // The resistance 4095 x 470000 / a - 470000 Ohms and the conductance its inverse, each
        // written so that it reads back as its 32-bit value; the phasic part above the tonic.
        const auto ohms = static_cast<float>(1924650000.0 / readings[i] - 470000.0);
        EXPECT_NEAR(f[0].toDouble(), p.timeOf(i), 0.0005) << row.toStdString();
        EXPECT_EQ(f[1].toInt(), readings[i]);
        EXPECT_EQ(std::strtof(f[2].constData(), nullptr), ohms) << row.toStdString();
        const auto conductance = static_cast<float>(1e6 / ohms);
        EXPECT_EQ(std::strtof(f[3].constData(), nullptr), conductance) << row.toStdString();
        EXPECT_NEAR(f[7].toFloat(), conductance - f[6].toFloat(), 1e-6) << row.toStdString();
        if (f[5] == "1") onsets.push_back(i);
        phasic = std::max(phasic, f[7].toFloat());
    }
    ASSERT_EQ(onsets.size(), 1u);
    const std::size_t onset = onsets[0];
    EXPECT_NEAR(p.timeOf(onset), 11, 2.5) << "the response begins at 10 s";
    EXPECT_GE(phasic, 0.05f);

    // The responses to a marker four readings (2 s) before the onset: one (the window is 1 to
    // 4 s), as late as the onset.
    const QByteArray mrk = p.file("tempdata.mrk");
    writeFileBytes(p.path("tempdata.mrk"), QByteArray::number(onset - 3) + "," +
                                               QByteArray::number(p.timeOf(onset - 4), 'f', 3) +
                                               ",\"cue\"\r\n");
    p.exportAs(w.mnuExportResponses, p.path("responses.csv"));
    writeFileBytes(p.path("tempdata.mrk"), mrk);
    EXPECT_EQ(p.suggested.last(), p.path("session-responses.csv"));
    const QList<QByteArray> responses = p.file("responses.csv").split('\n');
    ASSERT_EQ(responses.size(), 3) << p.file("responses.csv").toStdString();
    EXPECT_EQ(responses[0],
              "marker_s,marker,responses,latency_s,amplitude_us,rise_s,half_recovery_s,tonic_us\r");
    const QList<QByteArray> cue = responses[1].trimmed().split(',');
    ASSERT_EQ(cue.size(), 8);
    EXPECT_EQ(cue.mid(1, 2), (QList<QByteArray>{"cue", "1"}));
    // The onset falls between its reading and the next.
    EXPECT_GE(cue[3].toDouble(), p.timeOf(onset) - p.timeOf(onset - 4) - 0.0015);
    EXPECT_LE(cue[3].toDouble(), p.timeOf(onset + 1) - p.timeOf(onset - 4) + 0.0015);
    EXPECT_GE(cue[4].toDouble(), 0.05);

    // EDF+: the same values, the comments whole at 0 s, the marker and the response at their
    // times from the first reading.
    p.exportAs(w.mnuExportEdf, p.path("out.edf"));
    ASSERT_TRUE(p.messages.messages.empty()) << p.said();
    const EdfRead edf = p.edf("out.edf");
    expectSamples(edf, readings);
    EXPECT_EQ(edf.h.signalparam[0].smp_in_datarecord, 2);
    std::string labels;
    for (const auto& s : std::span(edf.h.signalparam, 3))
        labels += pf::trimmed(s.label) + " [" + pf::trimmed(s.physdimension) + "] " +
                  pf::trimmed(s.prefilter) + "; ";
    EXPECT_EQ(labels, "Skin conductance [uS] Mean of the last 5 readings; Skin resistance [kOhm] "
                      "Mean of the last 5 readings; Smoothed ADC [] Mean of the last 5 readings; ");
    ASSERT_EQ(edf.annotations.size(), 3u);
    const std::pair<double, std::string> annotated[] = {{0, comments.toStdString()},
                                                        {p.timeOf(19) - p.timeOf(0), "say \"go\""}};
    for (const auto& [at, text] : annotated)
        EXPECT_EQ(std::ranges::count_if(edf.annotations,
                                        [&](const auto& a) {
                                            return a.second == text &&
                                                   std::fabs(a.first - at) < 0.0015;
                                        }),
                  1)
            << text << " at " << at;
    const auto response = std::ranges::find_if(
        edf.annotations, [](const auto& a) { return a.second.starts_with("SCR "); });
    ASSERT_NE(response, edf.annotations.end());
    EXPECT_TRUE(response->second.ends_with(" uS") && response->second.size() == 11);
    EXPECT_GE(std::atof(response->second.c_str() + 4), 0.05) << response->second;
    EXPECT_GE(response->first, p.timeOf(onset) - p.timeOf(0) - 0.0015);
    EXPECT_LE(response->first, p.timeOf(onset + 1) - p.timeOf(0) + 0.0015);

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
    p.exportAs(w.mnuExportCsv, p.path("saved.csv"));
    p.exportAs(w.mnuExportEdf, p.path("saved.edf"));
    ASSERT_TRUE(p.messages.messages.empty()) << p.said();
    EXPECT_EQ(p.suggested.last(), p.path("run1.edf"));
    EXPECT_EQ(p.file("saved.csv"), csv);
    EXPECT_EQ(p.file("saved.edf"), p.file("out.edf"));

    // A saved session from before the side files, cut in its last record, with records that
    // are no reading and a marker file with bad lines: one message with every note; times by
    // record (2 readings a second), the marker at its reading, the start estimated.
    writeFileBytes(p.path("cut.Tst"), tstOf({2000, 2001, 0, 2002, 70000, 2003}) + "\x07\x07");
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
    const QByteArray cutCsv = p.file("cut.csv");
    EXPECT_EQ(cutCsv.count('\n'), 5) << cutCsv.toStdString();
    for (const char* row :
         {"\n0.000,2000,", "\n0.500,2001,", ",kept,0,", "\n1.500,2002,", "\n2.500,2003,"})
        EXPECT_TRUE(cutCsv.contains(row)) << row;
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
    EXPECT_EQ(p.messages.titles(), QStringList(3, "Export error")) << p.said();
    for (const QString& start : {nowhere + ".csv", nowhere + ".edf: ", p.path("full.edf")})
        EXPECT_EQ(p.messages.prompts().filter("Could not export " + start).size(), 1) << p.said();
    EXPECT_FALSE(QDir(p.path("missing")).exists());
    EXPECT_FALSE(QFileInfo::exists(p.path("full.edf")));
    EXPECT_FALSE(QFileInfo(p.path("full.edf.exporting")).isFile() &&
                 !QFileInfo(p.path("full.edf.exporting")).isSymLink());
}

// A probe at 10 readings a second unplugged for 6 s and plugged in again: both formats show the
// gap where the readings' times have it, with the reconnection's marker.
TEST(Export, ReadingsKeepTheirTimesAcrossAProbeUnpluggedAndPluggedInAgain) {
    Program p;
    auto& w = p.w;
    ProbeSimProcess sim(
        p.folder, 2,
        {"--rate", "10", "--seed", "3", "--vanish-after", "7", "--reappear-after", "6"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    w.mnuStart->trigger();
    ASSERT_TRUE(waitUntil([&] { return w.waitingForProbe(); }, 30000)) << p.said();
    ASSERT_TRUE(waitUntil([&] { return !w.waitingForProbe(); }, 30000)) << p.said();
    const int before = w.engine.state().recordNumber;
    ASSERT_TRUE(waitUntil([&] { return w.engine.state().recordNumber >= before + 40; }, 30000));
    w.mnuStop->trigger();
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
        EXPECT_NEAR(times.back(), p.timeOf(times.size() - 1), 0.0005);
    }
    ASSERT_EQ(static_cast<qint64>(times.size()) * 4, p.file("tempdata.tst").size());
    // One step of about 6 s, none other over 3 periods, the median a period.
    std::vector<double> steps;
    for (std::size_t i = 1; i < times.size(); ++i) steps.push_back(times[i] - times[i - 1]);
    const auto gap = std::ranges::max_element(steps);
    EXPECT_GT(*gap, 5.5);
    EXPECT_EQ(std::ranges::count_if(steps, [](double d) { return d > 0.3; }), 1);
    const double gapStart = times[static_cast<std::size_t>(gap - steps.begin())] - times[0];
    const double gapEnd = gapStart + *gap;
    std::ranges::nth_element(steps, steps.begin() + static_cast<long>(steps.size() / 2));
    EXPECT_NEAR(steps[steps.size() / 2], 0.100, 0.010);

    // EDF+ (on the grid of the median interval, as the unit tests have it): the gap under "no
    // reading" from a period after its last reading to the next, the marker where the CSV has it.
    const EdfRead edf = p.edf("gap.edf");
    ASSERT_TRUE(edf.ok);
    double gapAt = -1, gapFor = -1, markerAt = -1;
    for (std::size_t i = 0; i < edf.annotations.size(); ++i) {
        if (edf.annotations[i].second == "probe reconnected") markerAt = edf.annotations[i].first;
        if (edf.annotations[i].second == "no reading")
            std::tie(gapAt, gapFor) = std::pair(edf.annotations[i].first, edf.durations[i]);
    }
    EXPECT_NEAR(gapAt, gapStart + 0.1, 0.1);
    EXPECT_NEAR(gapAt + gapFor, gapEnd, 0.1);
    ASSERT_GE(reconnected, 0);
    EXPECT_NEAR(markerAt, reconnected - times[0], 0.1);
}

SYLVANE_GTEST_QT_MAIN
