// Export as CSV and EDF+, and the skin-response count, through the real window: a session from
// the probe simulator (a skin response at 10 s) with two markers, exported and compared value by
// value with tempdata.txt converted as the readouts do; the same session saved, displayed and
// exported; cut and absurd saved sessions; files that cannot be written.

#include "app/frm_sylvane.h"
#include "app/settings_file.h"
#include "platform/label.h"
#include "platform/number_rules.h"
#include "storage/marker_file.h"
#include "storage/saved_set_writer.h"
#include "storage/session_times.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/probe_sim_process.h"
#include "tests/support/test_support.h"

#include <edflib.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <charconv>
#include <memory>

using sylvane::app::frmSylvane;
using sylvane::testing::readFileBytes;
using sylvane::testing::waitUntil;
namespace pf = sylvane::platform;
namespace storage = sylvane::storage;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

// The program at a second start, laid out, exports answered with the paths in `paths`.
struct Program {
    sylvane::testing::ProgramFolder folder;
    sylvane::testing::MessageRecorder messages;
    std::unique_ptr<frmSylvane> w;
    QStringList paths;
    QStringList suggested;

    Program() {
        sylvane::app::SettingsValues v{"2", "25", {}, 8445, 6330, 1200, 1500, 0};
        v.visible.fill("True");
        writeFile(folder.file("sylvane.ini"), QByteArray::fromStdString(writeSettings(v)));
        w = std::make_unique<frmSylvane>(frmSylvane::Options{folder.path(), {}});
        w->exportFileChooser = [this](const QString&, const QString& s, const QString&) {
            suggested << s;
            return paths.isEmpty() ? QString() : paths.takeFirst();
        };
        w->Form_Load();
        w->show();
        waitUntil([&] { return !w->layoutPending; }, 10000);
    }
    void exportAs(QAction* item, const QStringList& to) {
        paths = to;
        item->trigger();
    }
    std::string said() const { return messages.prompts().join(" | ").toStdString(); }
};

std::string shortest(float v) {
    char text[64];
    return {text, std::to_chars(text, text + sizeof text, v, std::chars_format::fixed).ptr};
}

// CSV rows as fields (no field here holds a quoted line break).
std::vector<QStringList> csvRows(const QByteArray& bytes) {
    std::vector<QStringList> rows;
    for (const QByteArray& line : bytes.split('\n')) {
        if (line.isEmpty()) continue;
        QStringList fields;
        QString field;
        bool quoted = false;
        const QString text = QString::fromUtf8(line.chopped(1)); // CR
        for (int i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = !quoted;
            } else if (c == ',' && !quoted) {
                fields << field;
                field.clear();
            } else {
                field += c;
            }
        }
        rows.push_back(fields << field);
    }
    return rows;
}

struct EdfFile {
    edf_hdr_struct h{};
    std::vector<std::vector<double>> samples;
    std::vector<std::pair<double, std::string>> annotations;
    bool ok = false;
};

EdfFile readEdf(const QString& path) {
    EdfFile f;
    if (edfopen_file_readonly(path.toLocal8Bit().constData(), &f.h, EDFLIB_READ_ALL_ANNOTATIONS) !=
        0)
        return f;
    for (int s = 0; s < f.h.edfsignals; ++s) {
        std::vector<double> v(static_cast<std::size_t>(f.h.signalparam[s].smp_in_file));
        edfread_physical_samples(f.h.handle, s, static_cast<int>(v.size()), v.data());
        f.samples.push_back(std::move(v));
    }
    for (long long i = 0; i < f.h.annotations_in_file; ++i) {
        edf_annotation_struct a{};
        edf_get_annotation(f.h.handle, static_cast<int>(i), &a);
        f.annotations.emplace_back(a.onset / 1e7, a.annotation);
    }
    edfclose_file(f.h.handle);
    f.ok = true;
    return f;
}

// Every sample within one quantisation step of the readings converted as the readouts do.
void expectSamples(const EdfFile& f, const std::vector<int>& readings) {
    ASSERT_TRUE(f.ok);
    ASSERT_EQ(f.samples.size(), 3u);
    for (int s = 0; s < 3; ++s) {
        const auto& p = f.h.signalparam[s];
        const double step = (p.phys_max - p.phys_min) / (p.dig_max - p.dig_min);
        ASSERT_GE(f.samples[static_cast<std::size_t>(s)].size(), readings.size());
        for (std::size_t i = 0; i < readings.size(); ++i) {
            const float ohms = pf::resistanceOfAdc(readings[i]);
            const double want = s == 0   ? static_cast<float>(1e6 / static_cast<double>(ohms))
                                : s == 1 ? static_cast<double>(ohms) / 1000
                                         : readings[i];
            ASSERT_NEAR(f.samples[static_cast<std::size_t>(s)][i], want, step)
                << "signal " << s << ", reading " << i + 1;
        }
    }
}

std::vector<int> linesOf(const QByteArray& txt) {
    std::vector<int> out;
    for (const QByteArray& line : txt.split('\n'))
        if (!line.trimmed().isEmpty()) out.push_back(line.trimmed().toInt());
    return out;
}

} // namespace

TEST(Export, RecordedSessionExportsValueByValueWithItsMarkersAndResponse) {
    Program p;
    frmSylvane& w = *p.w;
    // The simulated probe at its real rate; with seed 5 its one skin response in the first
    // minute begins 10 s after the port opens.
    sylvane::testing::ProbeSimProcess sim(p.folder.path(), 2, {"--rate", "2", "--seed", "5"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    w.mnuStart->trigger();
    EXPECT_FALSE(w.mnuExportCsv->isEnabled());
    EXPECT_FALSE(w.mnuExportEdf->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return w.lblResponses[1]->caption() == "1"; }, 40000))
        << "responses counted: " << w.lblResponses[1]->caption().toStdString();
    const QString tst = p.folder.file("tempdata.tst");
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(tst).size() >= 4 * 40; }, 30000));
    // Two markers, as the marker file keeps them.
    writeFile(p.folder.file("tempdata.mrk"),
              QByteArray::fromStdString(storage::markerLine({5, 2.5, "stimulus, left"}) +
                                        storage::markerLine({20, 10, "say \"go\""})));
    w.TxtSeshnComnts->setText(QString::fromUtf8("Resting \xE2\x80\x94 \"eyes closed\""));
    w.mnuStop->trigger();
    ASSERT_TRUE(p.messages.messages.empty()) << p.said();
    EXPECT_TRUE(w.mnuExportCsv->isEnabled());
    EXPECT_TRUE(w.mnuExportEdf->isEnabled());
    EXPECT_EQ(w.lblResponses[1]->caption(), "1");

    const std::vector<int> readings = linesOf(readFileBytes(p.folder.file("tempdata.txt")));
    ASSERT_EQ(static_cast<qint64>(readings.size()) * 4, QFileInfo(tst).size());
    const auto times =
        storage::readSessionTimes(readFileBytes(p.folder.file("tempdata.tim")).toStdString());
    ASSERT_TRUE(times.start);
    EXPECT_EQ(times.readings, static_cast<std::int64_t>(readings.size()));

    // CSV: one row a reading, value by value.
    const QString csvPath = p.folder.file("out.csv");
    p.exportAs(w.mnuExportCsv, {csvPath});
    ASSERT_TRUE(p.messages.messages.empty()) << p.said();
    const QByteArray csvBytes = readFileBytes(csvPath);
    const auto rows = csvRows(csvBytes);
    ASSERT_EQ(rows.size(), readings.size() + 1);
    EXPECT_EQ(rows[0].join(","), "time_s,adc,resistance_ohm,conductance_us,marker,scr_onset");
    int onsets = 0;
    double onsetTime = 0;
    for (std::size_t i = 0; i < readings.size(); ++i) {
        const QStringList& row = rows[i + 1];
        ASSERT_EQ(row.size(), 6);
        const float ohms = pf::resistanceOfAdc(readings[i]);
        EXPECT_EQ(row[1].toInt(), readings[i]) << "row " << i + 1;
        EXPECT_EQ(row[2].toStdString(), shortest(ohms)) << "row " << i + 1;
        EXPECT_EQ(row[3].toStdString(),
                  shortest(static_cast<float>(1e6 / static_cast<double>(ohms))));
        if (i > 0) {
            EXPECT_NEAR(row[0].toDouble() - rows[i][0].toDouble(), 0.5, 0.01) << "row " << i + 1;
        }
        EXPECT_EQ(row[4], i == 4 ? "stimulus, left" : i == 19 ? "say \"go\"" : "");
        if (row[5] == "1") {
            ++onsets;
            onsetTime = row[0].toDouble();
        }
    }
    EXPECT_EQ(onsets, 1);
    EXPECT_NEAR(onsetTime, 11, 2.5) << "the response begins at 10 s";
    std::printf("CSV, first rows:\n%s\n", csvBytes.left(300).constData());

    // EDF+: the same values, the markers, the comments and the response.
    const QString edfPath = p.folder.file("out.edf");
    p.exportAs(w.mnuExportEdf, {edfPath});
    ASSERT_TRUE(p.messages.messages.empty()) << p.said();
    const EdfFile edf = readEdf(edfPath);
    expectSamples(edf, readings);
    EXPECT_EQ(edf.h.startdate_year, times.start->year);
    EXPECT_EQ(edf.h.signalparam[0].smp_in_datarecord, 2);
    std::printf("EDF+ header: %s, start %02d.%02d.%d %02d:%02d:%02d.%07lld, %d signals, "
                "%lld records of %.5f s, recording \"%s\"\n",
                edf.h.filetype == EDFLIB_FILETYPE_EDFPLUS ? "EDF+" : "?", edf.h.startdate_day,
                edf.h.startdate_month, edf.h.startdate_year, edf.h.starttime_hour,
                edf.h.starttime_minute, edf.h.starttime_second, edf.h.starttime_subsecond,
                edf.h.edfsignals, edf.h.datarecords_in_file, edf.h.datarecord_duration / 1e7,
                edf.h.recording_additional);
    for (int s = 0; s < 3; ++s) {
        const auto& sp = edf.h.signalparam[s];
        std::printf("  %s [%s] %g .. %g, %s\n", sp.label, sp.physdimension, sp.phys_min,
                    sp.phys_max, sp.prefilter);
    }
    std::string comments;
    std::vector<std::string> events;
    for (const auto& [at, text] : edf.annotations) {
        std::printf("  annotation %.4f s: %s\n", at, text.c_str());
        if (at == 0) {
            comments += text;
        } else {
            events.push_back(text);
        }
    }
    EXPECT_EQ(comments, "Resting \xE2\x80\x94 \"eyes closed\"");
    EXPECT_EQ(events, (std::vector<std::string>{"stimulus, left", "SCR onset", "say \"go\""}));

    // An existing file: No keeps it, Yes replaces it.
    writeFile(csvPath, "older");
    p.messages.answers = {sylvane::platform::vbNo};
    p.exportAs(w.mnuExportCsv, {csvPath});
    EXPECT_EQ(readFileBytes(csvPath), "older");
    p.exportAs(w.mnuExportCsv, {csvPath});
    EXPECT_EQ(readFileBytes(csvPath), csvBytes);
    ASSERT_EQ(p.messages.messages.size(), 2u);
    EXPECT_EQ(p.messages.prompts()[0], csvPath + " already exists.\r\nDo you want to replace it?");
    p.messages.messages.clear();

    // Saved with its markers and times, displayed, exported: the same values.
    const QString saved = p.folder.file("run1");
    std::string error;
    ASSERT_TRUE(
        storage::copyWorkingSet(p.folder.path().toStdString(),
                                {(saved + ".Tst").toStdString(), (saved + ".Txt").toStdString(),
                                 (saved + ".Hdr").toStdString()},
                                &error))
        << error;
    QFile::copy(p.folder.file("tempdata.mrk"), saved + ".Mrk");
    EXPECT_TRUE(QFileInfo::exists(saved + ".Tim"));
    w.module1.displayFileCount = 1;
    w.module1.displayTstFiles[0] = saved + ".Tst";
    w.module1.displayHdrFiles[0] = saved + ".Hdr";
    w.ShowSavedSessions();
    ASSERT_TRUE(w.module1.displayMode);
    EXPECT_TRUE(w.mnuExportCsv->isEnabled());
    p.exportAs(w.mnuExportCsv, {p.folder.file("saved.csv")});
    p.exportAs(w.mnuExportEdf, {p.folder.file("saved.edf")});
    ASSERT_TRUE(p.messages.messages.empty()) << p.said();
    EXPECT_EQ(p.suggested.last(), saved + ".edf");
    EXPECT_EQ(readFileBytes(p.folder.file("saved.csv")), csvBytes);
    const EdfFile savedEdf = readEdf(p.folder.file("saved.edf"));
    expectSamples(savedEdf, readings);
    EXPECT_EQ(savedEdf.annotations.size(), edf.annotations.size());
}

TEST(Export, CutAndAbsurdSavedSessionsExportWhatIsSoundAndFailuresLeaveNoFile) {
    Program p;
    frmSylvane& w = *p.w;
    // Nothing recorded yet.
    p.exportAs(w.mnuExportCsv, {p.folder.file("none.csv")});
    EXPECT_EQ(p.messages.prompts(), QStringList{"There is no session data to export!"});
    EXPECT_TRUE(p.suggested.isEmpty());
    p.messages.messages.clear();

    // A saved session from before the side files, cut in its last record, with records that
    // are no reading and a marker file with bad lines.
    const QString cut = p.folder.file("cut");
    const std::vector<int> values = {2000, 2001, 0, 2002, 70000, 2003};
    QByteArray tst;
    for (int v : values)
        for (int k = 0; k < 4; ++k) tst.append(static_cast<char>((v >> (8 * k)) & 0xFF));
    writeFile(cut + ".Tst", tst + "\x07\x07");
    writeFile(cut + ".Hdr", "\"MinADC\"\r\n\" 2000\"\r\n\"MaxADC\"\r\n\" 2003\"\r\n\" \"\r\n");
    writeFile(cut + ".Mrk", "2,1.000,\"kept\"\r\n99,1.0,\"beyond\"\r\n3,1.0,\"cut");
    w.module1.displayFileCount = 1;
    w.module1.displayTstFiles[0] = cut + ".Tst";
    w.module1.displayHdrFiles[0] = cut + ".Hdr";
    w.ShowSavedSessions();
    ASSERT_TRUE(w.module1.displayMode) << p.said();
    p.messages.messages.clear();

    p.exportAs(w.mnuExportCsv, {p.folder.file("cut.csv")});
    ASSERT_EQ(p.messages.messages.size(), 1u);
    const QString note = p.messages.prompts()[0];
    EXPECT_TRUE(note.contains(cut + ".Tst ends in a cut record")) << note.toStdString();
    EXPECT_TRUE(note.contains("2 records hold no reading")) << note.toStdString();
    EXPECT_TRUE(note.contains(cut + ".Mrk: lines 2, 3")) << note.toStdString();
    const auto rows = csvRows(readFileBytes(p.folder.file("cut.csv")));
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[2][1], "2001");
    EXPECT_EQ(rows[2][4], "kept");
    EXPECT_EQ(rows[4][1], "2003");
    p.messages.messages.clear();

    p.exportAs(w.mnuExportEdf, {p.folder.file("cut.edf")});
    ASSERT_EQ(p.messages.messages.size(), 1u) << p.said();
    const EdfFile edf = readEdf(p.folder.file("cut.edf"));
    // Records without a reading hold the reading before them.
    expectSamples(edf, {2000, 2001, 2001, 2002, 2002, 2003});
    EXPECT_EQ(std::string(edf.h.recording_additional).rfind("start time estimated", 0), 0u)
        << edf.h.recording_additional;
    p.messages.messages.clear();

    // A folder that does not exist: a clear message naming the file, and no file at all.
    const QString nowhere = p.folder.file("missing/out");
    p.exportAs(w.mnuExportCsv, {nowhere + ".csv"});
    p.exportAs(w.mnuExportEdf, {nowhere + ".edf"});
    ASSERT_EQ(p.messages.messages.size(), 2u);
    EXPECT_TRUE(p.messages.prompts()[0].startsWith("Could not export " + nowhere + ".csv"))
        << p.said();
    EXPECT_TRUE(p.messages.prompts()[1].startsWith("Could not export " + nowhere + ".edf: "))
        << p.said();
    EXPECT_EQ(p.messages.titles(), (QStringList{"Export error", "Export error"}));
    EXPECT_FALSE(QDir(p.folder.file("missing")).exists());
    p.messages.messages.clear();

    // A disk that fills while writing (/dev/full): the same, and nothing left beside the target.
    if (QFileInfo::exists("/dev/full")) {
        const QString full = p.folder.file("full.edf.exporting");
        QFile::link("/dev/full", full);
        p.exportAs(w.mnuExportEdf, {p.folder.file("full.edf")});
        ASSERT_EQ(p.messages.messages.size(), 1u);
        EXPECT_TRUE(
            p.messages.prompts()[0].startsWith("Could not export " + p.folder.file("full.edf")))
            << p.said();
        EXPECT_FALSE(QFileInfo::exists(p.folder.file("full.edf")));
        EXPECT_FALSE(QFileInfo(full).exists() && !QFileInfo(full).isSymLink());
    }
}

SYLVANE_GTEST_QT_MAIN
