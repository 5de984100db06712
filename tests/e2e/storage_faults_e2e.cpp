// What the disk or a crash can do to a session: a full disk, a read-only settings file, the
// program killed outright. A clear message, nothing recorded lost, and the next start recovers
// an unfinished session so that it can be saved and displayed.

#include "acquisition/serial_link.h"
#include "platform/label.h"
#include "storage/saved_sessions.h"
#include "tests/support/fault_injection.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/live_session.h"
#include "tests/support/probe_sim_process.h"
#include "tests/support/pty_probe.h"

#include <QAction>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtEndian>

#include <algorithm>
#include <memory>

using namespace sylvane::testing;

namespace {

constexpr int kWait = 20000;
constexpr qint64 kPage = 4096;

// The working files hold `records` readings of adc (by default those the session recorded).
void expectConsistent(const LiveSession& s, int adc, int records = -1) {
    if (records < 0) records = s.w.engine.state().recordNumber - 1;
    const std::vector<int> recorded(static_cast<std::size_t>(records), adc);
    EXPECT_EQ(s.file("tempdata.tst"), tstOf(recorded));
    if (!QFileInfo(s.path("tempdata.txt")).isSymLink()) {
        EXPECT_EQ(s.file("tempdata.txt"), txtOf(recorded));
    }
}

} // namespace

TEST(StorageFaults, ADiskFillingUpWhileRecordingStopsWithOneMessageAndTheNextStartRecovers) {
    for (const bool smallDisk : {false, true}) { // else tempdata.txt is /dev/full
        SCOPED_TRACE(smallDisk ? "small disk" : "/dev/full");
        ProgramFolder outer;
        const QString folder = outer.file(QStringLiteral("disk"));
        ASSERT_TRUE(QDir().mkpath(folder));
        std::unique_ptr<SmallDisk> disk;
        if (smallDisk) {
            // 16 pages, 12 taken by other files: one for the session's times (tempdata.tim),
            // one for the readings' times, one for the readings and one for their text, so the
            // text runs out first, in the middle of a line, and the header finds no room.
            disk = std::make_unique<SmallDisk>(folder, 16 * kPage);
            if (!disk->available()) GTEST_SKIP() << disk->why().toStdString();
            ASSERT_TRUE(
                writeFileBytes(QDir(folder).filePath("other-files"), QByteArray(12 * kPage, 'x')));
        } else {
            ASSERT_TRUE(QFile::link("/dev/full", QDir(folder).filePath("tempdata.txt")));
        }
        LiveSession s(folder);
        PtyProbe probe(folder, 2);
        ASSERT_TRUE(probe.ok());
        int events = 0;
        QObject::connect(s.w.MSComm1, &sylvane::acquisition::SerialLink::OnComm, [&] { ++events; });
        s.w.mnuStart_Click();
        ASSERT_TRUE(s.running()) << s.said();
        // In batches the pseudo-terminal can hold, each once the last one has been read.
        for (int sent = 0; sent < (smallDisk ? 1200 : 12) && s.running(); sent += 50) {
            probe.send(frames(std::min(50, (smallDisk ? 1200 : 12) - sent), 1500));
            waitUntil([&] { return !s.running() || events >= sent + 50; }, kWait);
        }
        ASSERT_TRUE(waitUntil([&] { return !s.running(); }, kWait));

        // One message: what happened, what is on disk and how to keep it.
        const int onDisk = s.w.engine.state().recordNumber - 1;
        ASSERT_EQ(s.messages.titles(), QStringList{"Recording error"}) << s.said();
        const QString prompt = s.messages.messages[0].prompt;
        EXPECT_TRUE(prompt.contains("tempdata.txt: No space left on device\r\nReadings on disk: " +
                                    QString::number(onDisk) + ","))
            << s.said();
        EXPECT_TRUE(prompt.contains("File > Save session keeps them")) << s.said();
        EXPECT_TRUE(prompt.endsWith("Session Stopped !!")) << s.said();
        EXPECT_GE(onDisk, smallDisk ? 600 : 0);
        expectConsistent(s, 1500);
        EXPECT_EQ(s.file("tempdata.hdr"), "") << "kept for Save, or for the next start";

        // The user makes room; the program ends and the next start recovers what was on disk.
        ASSERT_TRUE(QFile::remove(s.path(smallDisk ? "other-files" : "tempdata.txt")));
        LiveSession next(folder);
        next.load(settingsOf("2", "25"));
        EXPECT_EQ(next.messages.messages.size(), onDisk > 0 ? 1u : 0u) << next.said();
        if (onDisk > 0) {
            EXPECT_TRUE(next.messages.messages[0].prompt.contains(
                QStringLiteral(": %1 readings were recovered.").arg(onDisk)))
                << next.said();
            expectConsistent(next, 1500, onDisk);
            EXPECT_EQ(next.file("tempdata.hdr"), hdrOf(1500, 1500, " "));
        }
        // The program records as before.
        next.w.mnuStart_Click();
        probe.send(frames(9, 1500));
        ASSERT_TRUE(waitUntil([&] { return next.w.engine.state().recordNumber > 3; }, kWait));
        next.w.mnuStop_Click();
        expectConsistent(next, 1500);
        EXPECT_EQ(next.file("tempdata.hdr"), hdrOf(1500, 1500));
        EXPECT_EQ(next.messages.messages.size(), onDisk > 0 ? 1u : 0u) << next.said();
    }
}

TEST(StorageFaults, AReadOnlySettingsFileIsReadAndNeverLeftDamagedAtClose) {
    LiveSession s;
    const QByteArray stored = settingsOf("3", "50");
    ASSERT_TRUE(writeFileBytes(s.path("sylvane.ini"), stored));
    ReadOnlyFile readOnly(s.path("sylvane.ini"));
    if (!readOnly.available()) GTEST_SKIP() << readOnly.why().toStdString();
    s.load({});
    EXPECT_EQ(s.w.LblParams[3]->caption(), "50");
    // The settings cannot be stored at close, which passes over it without a word.
    s.w.LblParams[5]->setCaption(QStringLiteral("4"));
    s.w.mnuExit_Click();
    EXPECT_TRUE(s.messages.messages.empty()) << s.said();
    // Root meets a read-only mount and the file is as it was; another user may see it replaced
    // as a whole through the writable folder; never cut short.
    const QByteArray after = s.file("sylvane.ini");
    if (after != stored) {
        EXPECT_TRUE(after.startsWith("\"Port # \"\r\n\"4\"\r\n")) << after.toStdString();
        EXPECT_EQ(after.count("\r\n"), stored.count("\r\n")) << after.toStdString();
    }
}

TEST(CrashRecovery, KilledMidSessionTheNextStartRecoversEveryRecordedReadingForSaving) {
    ProgramFolder folder;
    // A living signal at the line's full rate, so that consecutive readings differ.
    ProbeSimProcess sim(folder.path(), 2, {"--rate", "53", "--seed", "11", "--noise", "2"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    QProcess driver; // the real window in a process of its own, killed outright
    driver.start(QStringLiteral(SYLVANE_SESSION_DRIVER), {"--folder", folder.path()});
    QByteArray transcript;
    int reported = 0;
    for (QDeadlineTimer deadline(60000); reported < 80 && !deadline.hasExpired();) {
        driver.waitForReadyRead(50);
        while (driver.canReadLine()) {
            const QByteArray line = driver.readLine();
            transcript += line;
            if (line.startsWith("recorded ")) reported = line.mid(9).trimmed().toInt();
        }
    }
    ASSERT_GE(reported, 80) << transcript.toStdString() << driver.readAllStandardError().data();
    driver.kill();
    ASSERT_TRUE(driver.waitForFinished(10000));
    EXPECT_FALSE(transcript.contains("message")) << transcript.toStdString();

    // Every reported reading on disk, whole records only (tempdata.txt may be a line behind: the
    // kill can fall between the two writes of a reading).
    const QByteArray tst = readFileBytes(folder.file("tempdata.tst"));
    ASSERT_EQ(tst.size() % 4, 0);
    ASSERT_GE(tst.size() / 4, reported);
    std::vector<int> values;
    for (qsizetype at = 0; at < tst.size(); at += 4)
        values.push_back(qFromLittleEndian<qint32>(tst.constData() + at));
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    // A power cut can leave a record half written, and its line too.
    for (const auto& [name, torn] :
         {std::pair{"tempdata.tst", "\x12\x34"}, {"tempdata.txt", "18"}}) {
        QFile f(folder.file(name));
        ASSERT_TRUE(f.open(QIODevice::Append) && f.write(torn) == 2);
    }

    LiveSession next(folder.path());
    next.load(settingsOf("2", "25"));
    ASSERT_EQ(next.messages.titles(), QStringList{"Session recovered"}) << next.said();
    EXPECT_EQ(next.messages.messages[0].prompt,
              QStringLiteral("The last session was not stopped: %1 readings were recovered.\r\n"
                             "File > Save session keeps them; the next Start clears them.")
                  .arg(values.size()));
    EXPECT_EQ(next.file("tempdata.tst"), tst);
    EXPECT_EQ(next.file("tempdata.txt"), txtOf(values));
    EXPECT_EQ(next.file("tempdata.hdr"), hdrOf(*low, *high, " "));
    ASSERT_TRUE(next.showSettled());
    answerFileManager({"recovered"});
    next.w.mnuSaveFile->trigger();
    EXPECT_EQ(next.file("recovered.Tst"), tst);
    EXPECT_EQ(next.file("recovered.Hdr"), hdrOf(*low, *high)) << "with the comments as typed";

    // The killed program let go of the port; Start clears the recovered session as always.
    next.w.mnuStart_Click();
    EXPECT_TRUE(waitUntil([&] { return next.w.engine.state().recordNumber > 5; }, 60000));
    next.w.mnuStop_Click();
    answerFileManager({"recovered"});
    next.w.mnuDisplayOld->trigger();
    EXPECT_EQ(next.messages.messages.size(), 1u) << next.said();
    EXPECT_TRUE(next.w.module1.displayMode);
    EXPECT_GT(next.pixels(sylvane::storage::kTraceColors[0]), 20);
}

SYLVANE_GTEST_QT_MAIN
