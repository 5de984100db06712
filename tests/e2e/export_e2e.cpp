// Export as CSV and EDF+, and the responses per marker, through the real window: a simulated
// session with a skin response, then saved and displayed; a cut saved session; unwritable targets.

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
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <span>

using namespace sylvane::testing;
namespace pf = sylvane::platform;

TEST(Export, RecordedSavedCutAndUnwritableSessions) {
    LiveSession p;
    auto& w = p.w;
    // The export file dialogs answer with `paths`.
    QStringList paths, suggested;
    w.exportFileChooser = [&](const QString&, const QString& s, const QString&) {
        suggested << s;
        return paths.isEmpty() ? QString() : paths.takeFirst();
    };
    p.load(settingsOf("2", "25"));
    p.showSettled();
    const auto exportAs = [&](QAction* item, const QString& to) {
        paths = QStringList{to};
        item->trigger();
    };
    const auto edfOf = [&](const char* name) { return readEdf(p.path(name).toStdString()); };
    // Each reading's time as tempdata.tms keeps it (milliseconds from Start), in seconds.
    const auto timeOf = [&](std::size_t i) {
        return qFromLittleEndian<quint32>(p.file("tempdata.tms").constData() + 4 * i) / 1000.0;
    };
    exportAs(w.mnuExportCsv, p.path("none.csv"));
    EXPECT_EQ(p.messages.prompts(), QStringList{"There is no session data to export!"});
    EXPECT_TRUE(suggested.isEmpty());
    p.messages.messages.clear();

    // At the probe's real rate; with seed 5 its one skin response begins 10 s after the port opens.
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
                   "20," + QByteArray::number(timeOf(19), 'f', 3) + ",\"\\=say \\qgo\\q\"\r\n");

    // CSV: one row a reading at its recorded time; its columns and digits are the unit tests'.
    exportAs(w.mnuExportCsv, p.path("out.csv"));
    ASSERT_TRUE(p.messages.messages.empty()) << p.said();
    const QByteArray csv = p.file("out.csv");
    const QList<QByteArray> rows = csv.split('\n');
    ASSERT_EQ(rows.size(), static_cast<qsizetype>(readings.size()) + 2);
    std::vector<std::size_t> onsets;
    float phasic = 0;
    for (std::size_t i = 0; i < readings.size(); ++i) {
        QByteArray row = rows[static_cast<qsizetype>(i) + 1].trimmed();
        const bool marked = row.contains(",\"say \"\"go\"\"\",");
        row.replace(",\"say \"\"go\"\"\",", ",marker,");
        const QList<QByteArray> f = row.split(',');
        ASSERT_EQ(f.size(), 8) << row.toStdString();
        EXPECT_EQ(marked, i == 19) << row.toStdString();
        EXPECT_NEAR(f[0].toDouble(), timeOf(i), 0.0005) << row.toStdString();
        EXPECT_EQ(f[1].toInt(), readings[i]);
        if (f[5] == "1") onsets.push_back(i);
        phasic = std::max(phasic, f[7].toFloat());
    }
    ASSERT_EQ(onsets.size(), 1u);
    const std::size_t onset = onsets[0];
    EXPECT_NEAR(timeOf(onset), 11, 2.5) << "the response begins at 10 s";
    EXPECT_GE(phasic, 0.05f);

    // A marker 2 s (four readings) before the onset: one response (window 1 to 4 s), that late.
    const QByteArray mrk = p.file("tempdata.mrk");
    writeFileBytes(p.path("tempdata.mrk"), QByteArray::number(onset - 3) + "," +
                                               QByteArray::number(timeOf(onset - 4), 'f', 3) +
                                               ",\"cue\"\r\n");
    exportAs(w.mnuExportResponses, p.path("responses.csv"));
    writeFileBytes(p.path("tempdata.mrk"), mrk);
    EXPECT_EQ(suggested.last(), p.path("session-responses.csv"));
    const QList<QByteArray> responses = p.file("responses.csv").split('\n');
    ASSERT_EQ(responses.size(), 3) << p.file("responses.csv").toStdString();
    const QList<QByteArray> cue = responses[1].trimmed().split(',');
    ASSERT_EQ(cue.size(), 8);
    EXPECT_EQ(cue.mid(1, 2), (QList<QByteArray>{"cue", "1"}));
    // The onset falls between its reading and the next.
    EXPECT_GE(cue[3].toDouble(), timeOf(onset) - timeOf(onset - 4) - 0.0015);
    EXPECT_LE(cue[3].toDouble(), timeOf(onset + 1) - timeOf(onset - 4) + 0.0015);
    EXPECT_GE(cue[4].toDouble(), 0.05);

    // EDF+: the same values; the comments whole at 0 s, the marker and the response at their times.
    exportAs(w.mnuExportEdf, p.path("out.edf"));
    ASSERT_TRUE(p.messages.messages.empty()) << p.said();
    const EdfRead edf = edfOf("out.edf");
    expectSamples(edf, readings);
    std::string labels;
    for (const auto& s : std::span(edf.h.signalparam, 3))
        labels += pf::trimmed(s.label) + " [" + pf::trimmed(s.physdimension) + "] " +
                  pf::trimmed(s.prefilter) + "; ";
    EXPECT_EQ(labels, "Skin conductance [uS] Mean of the last 5 readings; Skin resistance [kOhm] "
                      "Mean of the last 5 readings; Smoothed ADC [] Mean of the last 5 readings; ");
    // Three, each found once.
    ASSERT_EQ(edf.annotations.size(), 3u);
    const std::pair<double, std::string> annotated[] = {{0, comments.toStdString()},
                                                        {timeOf(19) - timeOf(0), "say \"go\""}};
    for (const auto& [at, text] : annotated)
        EXPECT_TRUE(std::ranges::any_of(
            edf.annotations,
            [&](const auto& a) { return a.second == text && std::fabs(a.first - at) < 0.0015; }))
            << text << " at " << at;
    const auto response = std::ranges::find_if(
        edf.annotations, [](const auto& a) { return a.second.starts_with("SCR "); });
    ASSERT_NE(response, edf.annotations.end());
    EXPECT_TRUE(response->second.ends_with(" uS") && response->second.size() == 11);
    EXPECT_GE(std::atof(response->second.c_str() + 4), 0.05) << response->second;
    EXPECT_GE(response->first, timeOf(onset) - timeOf(0) - 0.0015);
    EXPECT_LE(response->first, timeOf(onset + 1) - timeOf(0) + 0.0015);

    // An existing file: No keeps it, Yes replaces it.
    writeFileBytes(p.path("out.csv"), "older");
    p.messages.answers = {pf::vbNo};
    exportAs(w.mnuExportCsv, p.path("out.csv"));
    EXPECT_EQ(p.file("out.csv"), "older");
    exportAs(w.mnuExportCsv, p.path("out.csv"));
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
    exportAs(w.mnuExportCsv, p.path("saved.csv"));
    exportAs(w.mnuExportEdf, p.path("saved.edf"));
    ASSERT_TRUE(p.messages.messages.empty()) << p.said();
    EXPECT_EQ(suggested.last(), p.path("run1.edf"));
    EXPECT_EQ(p.file("saved.csv"), csv);
    EXPECT_EQ(p.file("saved.edf"), p.file("out.edf"));

    // A saved session from before the side files, cut, with records of no reading and bad marker
    // lines: one message with every note; times by record, 2 a second; the start estimated.
    writeFileBytes(p.path("cut.Tst"), tstOf({2000, 2001, 0, 2002, 70000, 2003}) + "\x07\x07");
    writeFileBytes(p.path("cut.Hdr"), hdrOf(2000, 2003, " "));
    writeFileBytes(p.path("cut.Mrk"), "2,1.000,\"kept\"\r\n99,1.0,\"beyond\"\r\n3,1.0,\"cut");
    answerFileManager({"cut"});
    w.mnuDisplayOld->trigger(); // "Display another session"
    ASSERT_TRUE(w.module1.displayMode) << p.said();
    p.messages.messages.clear();
    exportAs(w.mnuExportCsv, p.path("cut.csv"));
    ASSERT_EQ(p.messages.messages.size(), 1u) << p.said();
    for (const QString& note :
         {p.path("cut.Tst") + " ends in a cut record", QString("2 records hold no reading"),
          p.path("cut.Mrk: lines 2, 3")})
        EXPECT_TRUE(p.messages.prompts()[0].contains(note)) << p.said();
    const QByteArray cutCsv = p.file("cut.csv");
    EXPECT_EQ(cutCsv.count('\n'), 5) << cutCsv.toStdString();
    EXPECT_TRUE(cutCsv.contains("\n0.500,2001,") && cutCsv.contains("\n2.500,2003,"));
    exportAs(w.mnuExportEdf, p.path("cut.edf"));
    EXPECT_TRUE(
        std::string(edfOf("cut.edf").h.recording_additional).starts_with("start time estimated"));
    p.messages.messages.clear();

    // A missing folder, a disk that fills (/dev/full): a message naming the file, nothing left.
    const QString nowhere = p.path("missing/out");
    exportAs(w.mnuExportCsv, nowhere + ".csv");
    exportAs(w.mnuExportEdf, nowhere + ".edf");
    QFile::link("/dev/full", p.path("full.edf.exporting"));
    exportAs(w.mnuExportEdf, p.path("full.edf"));
    EXPECT_EQ(p.messages.titles(), QStringList(3, "Export error")) << p.said();
    for (const QString& start : {nowhere + ".csv", nowhere + ".edf: ", p.path("full.edf")})
        EXPECT_EQ(p.messages.prompts().filter("Could not export " + start).size(), 1) << p.said();
    EXPECT_FALSE(QDir(p.path("missing")).exists());
    EXPECT_FALSE(QFileInfo::exists(p.path("full.edf")));
    EXPECT_FALSE(QFileInfo(p.path("full.edf.exporting")).isFile() &&
                 !QFileInfo(p.path("full.edf.exporting")).isSymLink());
}

SYLVANE_GTEST_QT_MAIN
