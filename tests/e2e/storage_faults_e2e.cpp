// What the disk, a crash or the user can do to a session: a clear message, nothing recorded lost,
// and the next start recovers an unfinished session so that it can be saved and displayed.

#include "acquisition/serial_link.h"
#include "app/program_lock.h"
#include "platform/label.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/live_session.h"
#include "tests/support/probe_sim_process.h"
#include "tests/support/pty_probe.h"

#include <QAction>
#include <QDate>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtEndian>

#include <algorithm>

#include <signal.h>

using namespace sylvane::testing;

namespace {

constexpr int kWait = 20000;

// What a program holding the folder leaves on disk: each file's name, size and time.
QStringList snapshot(const QString& folder) {
    QStringList out;
    for (const QFileInfo& f : QDir(folder).entryInfoList(
             QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name))
        out << QStringLiteral("%1 %2 %3")
                   .arg(f.fileName())
                   .arg(f.size())
                   .arg(f.lastModified().toMSecsSinceEpoch());
    return out;
}

} // namespace

// However a session ends, no start throws it away until it is saved. Killed, every reading is on
// disk in whole records (the text may be a line behind), a power cut may add a torn record and
// line; the next start recovers the session, with its times, for Save.
TEST(UnsavedSessions, NoEndingAndNoProgramStartThrowsOneAway) {
    const struct {
        const char* name;
        const char* command; // to the driver, or
        int signal;          // sent to it
        bool markerOpen;     // Session > Mark's box open at the end
        const char* title;   // of the message at the next start
    } rows[] = {
        {"File > Exit", "exit", 0, false, "Unsaved session"},
        {"the close box, a marker box open", "close", 0, true, "Unsaved session"},
        {"SIGTERM, a marker box open", nullptr, SIGTERM, true, "Unsaved session"},
        {"SIGINT", nullptr, SIGINT, false, "Unsaved session"},
        {"SIGKILL, then a power cut", nullptr, SIGKILL, false, "Session recovered"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        ProgramFolder folder;
        // A living signal at the line's full rate, so that consecutive readings differ.
        ProbeSimProcess sim(folder.path(), 2, {"--rate", "53", "--seed", "11", "--noise", "2"});
        ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
        QProcess driver;
        driver.start(QStringLiteral(SYLVANE_SESSION_DRIVER), {"--folder", folder.path()});
        QByteArray said;
        int reported = 0;
        const auto saidLine = [&](const QByteArray& start) {
            for (QDeadlineTimer deadline(60000); !deadline.hasExpired();) {
                driver.waitForReadyRead(50);
                while (driver.canReadLine()) {
                    const QByteArray line = driver.readLine();
                    said += line;
                    if (line.startsWith("recorded ")) reported = line.mid(9).trimmed().toInt();
                    if (line.startsWith(start) && (start != "recorded" || reported >= 40))
                        return true;
                }
            }
            return false;
        };
        ASSERT_TRUE(saidLine("recorded")) << said.toStdString();
        if (r.markerOpen) {
            driver.write("mark stimulus\n");
            ASSERT_TRUE(saidLine("marking")) << said.toStdString();
        }
        if (r.command) {
            driver.write(QByteArray(r.command) + "\n");
        } else {
            ::kill(static_cast<pid_t>(driver.processId()), r.signal);
        }
        ASSERT_TRUE(driver.waitForFinished(10000));
        EXPECT_TRUE(r.signal == SIGKILL || driver.exitCode() == 0) << said.toStdString();
        EXPECT_FALSE(said.contains("message")) << said.toStdString();
        const QByteArray tst = readFileBytes(folder.file("tempdata.tst"));
        ASSERT_EQ(tst.size() % 4, 0);
        ASSERT_GE(tst.size() / 4, reported);
        std::vector<int> values;
        for (qsizetype at = 0; at < tst.size(); at += 4)
            values.push_back(qFromLittleEndian<qint32>(tst.constData() + at));
        const auto [low, high] = std::minmax_element(values.begin(), values.end());
        for (const auto& [name, torn] :
             {std::pair{"tempdata.tst", "\x12\x34"}, {"tempdata.txt", "18"}}) {
            QFile f(folder.file(name));
            ASSERT_TRUE(r.signal != SIGKILL || (f.open(QIODevice::Append) && f.write(torn) == 2));
        }

        // Two starts, each saying so once: the first exits without saving, the second saves it.
        for (int start = 1; start <= 2; ++start) {
            LiveSession next(folder.path());
            next.load(settingsOf("2", "25"));
            ASSERT_EQ(next.messages.titles(), QStringList{start == 1 ? r.title : "Unsaved session"})
                << next.said();
            EXPECT_TRUE(next.messages.prompts()[0].contains(
                QStringLiteral("%1 readings").arg(values.size())))
                << next.said();
            EXPECT_TRUE(next.messages.prompts()[0].contains("File > Save session keeps it"));
            EXPECT_EQ(next.file("tempdata.tst"), tst) << "start " << start;
            EXPECT_EQ(next.file("tempdata.txt"), txtOf(values));
            EXPECT_EQ(next.file("tempdata.tms").size(), tst.size()) << "a time for each record";
            if (r.signal == SIGKILL) {
                EXPECT_EQ(next.file("tempdata.hdr"), hdrOf(*low, *high, " "));
            }
            EXPECT_TRUE(next.w.mnuSaveFile->isEnabled());
            EXPECT_TRUE(!r.markerOpen || next.file("tempdata.mrk").contains("\"stimulus\""));
            if (start == 1) {
                next.w.mnuExit_Click();
                EXPECT_EQ(next.file("tempdata.tst"), tst) << "Exit without saving";
                continue;
            }
            ASSERT_TRUE(next.showSettled());
            answerFileManager({"kept"});
            next.w.mnuSaveFile->trigger();
            EXPECT_EQ(next.file("kept.Tst"), tst);
            EXPECT_EQ(next.file("kept.Txt"), next.file("tempdata.txt"));
            EXPECT_EQ(next.file("kept.Tms"), next.file("tempdata.tms"));
            EXPECT_EQ(next.file("kept.Hdr").count("\r\n"), 5) << "a whole header";
            EXPECT_EQ(next.messages.messages.size(), 1u) << next.said();
        }
    }
}

// Start and Restart over an unsaved session move it to unsaved/ first, byte for byte, where the
// file manager and Display open it; the oldest beyond UnsavedSessionsKept go first. A Start in the
// same turn of the event loop as the show, before the first paint lets the recovery run, recovers
// first, moves the whole session aside, and the recovery never comes again over the new files.
TEST(UnsavedSessions, AnEarlyStartRecoversFirstStartAndRestartKeepACopyTheOldestGoFirst) {
    LiveSession s;
    PtyProbe probe(s.folder, 2);
    const QByteArray tst = tstOf({1500, 1502, 1499});
    writeFileBytes(s.path("sylvane.ini"), settingsOf("2", "25"));
    writeFileBytes(s.path("tempdata.tst"), tst);
    writeFileBytes(s.path("tempdata.txt"), txtOf({1500, 1502}));
    ASSERT_TRUE(QDir(s.folder).mkdir("unsaved"));
    // 100 kept already, the default number, from long ago.
    for (int i = 0; i < 100; ++i) {
        const QString base =
            s.path("unsaved/") + QString::asprintf("2020-01-%02d %02d-00-00", i / 24 + 1, i % 24);
        ASSERT_TRUE(writeFileBytes(base + ".Tst", tstOf({1500})));
        ASSERT_TRUE(writeFileBytes(base + ".Hdr", hdrOf(1500, 1500, " ")));
    }
    // Frames, one receive event at a time, until the session has recorded `count` readings.
    int events = 0;
    QObject::connect(s.w.MSComm1, &sylvane::acquisition::SerialLink::OnComm, [&] { ++events; });
    const auto session = [&](int count) {
        while (s.w.engine.state().recordNumber <= count) {
            const int before = events;
            probe.send(frames(1, 1500));
            ASSERT_TRUE(waitUntil([&] { return events > before; }, kWait));
        }
    };
    const QStringList kinds = {"Tst", "Txt", "Hdr", "Tim", "Tms", "Mrk"};
    const auto unsaved = [&](const QString& name) {
        return readFileBytes(s.path("unsaved/") + name);
    };
    // The sets kept since the last call; one started in the same second as another is "...
    // (2)".
    QStringList names;
    const auto added = [&] {
        QStringList now = QDir(s.path("unsaved")).entryList({"*.Tst"}, QDir::Files, QDir::Name);
        QStringList fresh = now;
        fresh.removeIf([&](const QString& n) { return names.contains(n); });
        names = now;
        return fresh.replaceInStrings(".Tst", "");
    };
    added();

    s.w.Form_Load();
    s.w.show();
    s.w.mnuStart_Click();
    ASSERT_TRUE(s.running()) << s.said();
    EXPECT_EQ(s.messages.titles(), QStringList{"Session recovered"}) << s.said();
    const QStringList recovered = added();
    ASSERT_EQ(recovered.size(), 1);
    EXPECT_EQ(unsaved(recovered[0] + ".Tst"), tst);
    EXPECT_EQ(unsaved(recovered[0] + ".Txt"), txtOf({1500, 1502, 1499}));
    EXPECT_EQ(unsaved(recovered[0] + ".Hdr"), hdrOf(1499, 1502));
    ASSERT_EQ(names.size(), 100);
    EXPECT_EQ(names.first(), "2020-01-01 01-00-00.Tst");
    EXPECT_FALSE(QFileInfo::exists(s.path("unsaved/2020-01-01 00-00-00.Hdr")));
    session(3);
    ASSERT_TRUE(s.w.markers.add(s.w.markers.at()));
    s.w.mnuStop_Click();
    QByteArrayList first;
    for (const QString& kind : kinds)
        first << readFileBytes(s.folder + "/tempdata." + kind.toLower());

    // Start: the stopped session goes to unsaved/ under its Start, the oldest kept one goes.
    s.w.mnuStart_Click();
    ASSERT_TRUE(s.running()) << s.said();
    const QStringList stamp = added();
    ASSERT_EQ(stamp.size(), 1);
    ASSERT_EQ(names.size(), 100);
    EXPECT_EQ(names.first(), "2020-01-01 02-00-00.Tst");
    EXPECT_TRUE(stamp[0].startsWith(QDate::currentDate().toString("yyyy-MM-dd ")))
        << stamp[0].toStdString();
    ASSERT_EQ(unsaved(stamp[0] + ".Tst"), tstOf({1500, 1500, 1500}));
    for (qsizetype i = 0; i < kinds.size(); ++i)
        EXPECT_EQ(unsaved(stamp[0] + "." + kinds[i]), first[i]) << kinds[i].toStdString();
    session(5);
    EXPECT_EQ(s.file("tempdata.tst"), tstOf({1500, 1500, 1500, 1500, 1500}));

    // Restart: the session so far goes too, with its header and the comments typed.
    s.w.TxtSeshnComnts->setText("second");
    s.w.mnuRestart_Click();
    ASSERT_TRUE(s.running()) << s.said();
    const QStringList second = added();
    ASSERT_EQ(second.size(), 1);
    ASSERT_EQ(names.size(), 100);
    EXPECT_EQ(names.first(), "2020-01-01 03-00-00.Tst");
    EXPECT_EQ(unsaved(second[0] + ".Hdr"), hdrOf(1500, 1500, "second"));
    EXPECT_EQ(unsaved(second[0] + ".Tst").size(), 5 * 4);
    session(2);
    s.w.mnuStop_Click();

    // A saved session is not kept twice; the kept ones open as any saved session.
    answerFileManager({"third"});
    s.w.mnuSaveFile->trigger();
    s.w.mnuStart_Click();
    EXPECT_EQ(added(), QStringList{});
    s.w.mnuStop_Click();
    s.w.module1.appPath = s.path("unsaved");
    answerFileManager({stamp[0], second[0]});
    s.w.mnuDisplayOld->trigger();
    EXPECT_TRUE(s.w.module1.displayMode) << s.said();
    EXPECT_EQ(s.w.module1.displayFileCount, 2);
    EXPECT_EQ(s.messages.titles(), QStringList{"Session recovered"}) << s.said();
}

// A disk filling up while recording (tempdata.txt on /dev/full; at any byte: the unit tests'),
// and what a start can meet: a header cut in its comments, unreadable readings, a second copy.
TEST(StorageFaults, AFullDiskACutHeaderUnreadableReadingsAndASecondCopy) {
    {
        LiveSession s;
        ASSERT_TRUE(QFile::link("/dev/full", s.path("tempdata.txt")));
        PtyProbe probe(s.folder, 2);
        ASSERT_TRUE(probe.ok());
        s.w.mnuStart_Click();
        ASSERT_TRUE(s.running()) << s.said();
        probe.send(frames(12, 1500));
        ASSERT_TRUE(waitUntil([&] { return !s.running(); }, kWait));
        // One message: what happened, what is on disk (nothing: the first reading's line found
        // no room and its record was taken back) and how to keep it.
        ASSERT_EQ(s.messages.titles(), QStringList{"Recording error"}) << s.said();
        const QString prompt = s.messages.messages[0].prompt;
        EXPECT_TRUE(
            prompt.contains("tempdata.txt: No space left on device\r\nReadings on disk: 0,"))
            << s.said();
        EXPECT_TRUE(prompt.contains("File > Save session keeps them")) << s.said();
        EXPECT_TRUE(prompt.endsWith("Session Stopped !!")) << s.said();
        EXPECT_EQ(s.w.engine.state().recordNumber, 1);
        EXPECT_EQ(s.file("tempdata.tst"), "");
        EXPECT_EQ(s.file("tempdata.hdr"), "") << "kept for Save, or for the next start";
    }
    const QByteArray tst = tstOf({1500, 1502, 1499});
    {
        LiveSession s;
        writeFileBytes(s.path("tempdata.tst"), tst);
        writeFileBytes(s.path("tempdata.txt"), txtOf({1500, 1502, 1499}));
        writeFileBytes(s.path("tempdata.hdr"), hdrOf(1499, 1502, "Resting, eyes closed").left(51));
        s.load(settingsOf("2", "25"));
        EXPECT_EQ(s.messages.titles(), QStringList{"Session recovered"}) << s.said();
        EXPECT_EQ(s.file("tempdata.hdr"), hdrOf(1499, 1502, "Resting, eye"));
        EXPECT_EQ(s.file("tempdata.tst"), tst);
    }
    {
        LiveSession s;
        ASSERT_TRUE(QDir(s.folder).mkdir("tempdata.tst"));
        writeFileBytes(s.path("tempdata.hdr"), "");
        writeFileBytes(s.path("tempdata.txt"), "1500\r\n");
        writeFileBytes(s.path("sylvane.ini"), settingsOf("2", "25"));
        const QStringList before = snapshot(s.folder);
        s.load({});
        ASSERT_EQ(s.messages.titles(), QStringList{"Working files error"}) << s.said();
        EXPECT_TRUE(s.messages.prompts()[0].contains(s.path("tempdata.tst") + ": Is a directory"));
        EXPECT_TRUE(s.messages.prompts()[0].contains("Nothing was deleted"));
        EXPECT_EQ(snapshot(s.folder), before);
    }
    // A second copy: the first holds the folder (the real program, idle), the second says so
    // once, naming the folder, and touches nothing; once the first is killed its lock is taken.
    ProgramFolder folder;
    writeFileBytes(folder.file("sylvane.ini"), settingsOf("2", "25"));
    writeFileBytes(folder.file("tempdata.tst"), tst);
    QProcess first;
    first.start(QStringLiteral(SYLVANE_PROGRAM),
                {"--folder", folder.path(), "-platform", "offscreen"});
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(folder.file("sylvane.lock")); }, kWait));
    pump(500);
    const QStringList before = snapshot(folder.path());
    {
        MessageRecorder messages;
        sylvane::app::ProgramFolderLock second(folder.path());
        EXPECT_FALSE(second.take());
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_TRUE(messages.messages[0].prompt.contains(folder.path()))
            << messages.prompts().join("|").toStdString();
        EXPECT_TRUE(messages.messages[0].prompt.contains("already running"));
    }
    EXPECT_EQ(snapshot(folder.path()), before);
    first.kill();
    ASSERT_TRUE(first.waitForFinished(10000));
    MessageRecorder messages;
    sylvane::app::ProgramFolderLock again(folder.path());
    EXPECT_TRUE(again.take()) << "a killed program's lock is taken over";
    EXPECT_TRUE(messages.messages.empty());
}

SYLVANE_GTEST_QT_MAIN
