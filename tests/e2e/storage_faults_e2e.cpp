// What the disk can refuse the program: a clear message, nothing recorded lost, and the program
// usable once the disk is fixed.

#include "acquisition/serial_link.h"
#include "platform/label.h"
#include "tests/support/fault_injection.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/live_session.h"
#include "tests/support/pty_probe.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    const struct {
        const char* name;
        bool smallDisk; // else tempdata.txt is /dev/full
        int frames;
        int atLeastRecorded;
    } rows[] = {{"/dev/full", false, 12, 0}, {"small disk", true, 1200, 600}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        ProgramFolder outer;
        const QString folder = outer.file(QStringLiteral("disk"));
        ASSERT_TRUE(QDir().mkpath(folder));
        std::unique_ptr<SmallDisk> disk;
        if (r.smallDisk) {
            // 16 pages, 13 taken by other files: one for the session's times (tempdata.tim),
            // one for the readings and one for their text, so the text runs out first, in the
            // middle of a line, and the header finds no room.
            disk = std::make_unique<SmallDisk>(folder, 16 * kPage);
            if (!disk->available()) GTEST_SKIP() << disk->why().toStdString();
            QFile filler(QDir(folder).filePath("other-files"));
            ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
            ASSERT_EQ(filler.write(QByteArray(13 * kPage, 'x')), 13 * kPage);
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
        for (int sent = 0; sent < r.frames && s.running(); sent += 50) {
            const int batch = std::min(50, r.frames - sent);
            probe.send(frames(batch, 1500));
            waitUntil([&] { return !s.running() || events >= sent + batch; }, kWait);
        }
        ASSERT_TRUE(waitUntil([&] { return !s.running(); }, kWait));

        // One message: what happened, what is on disk and how to keep it.
        const int onDisk = s.w.engine.state().recordNumber - 1;
        ASSERT_EQ(s.messages.titles(), QStringList{"Recording error"}) << s.said();
        const QString prompt = s.messages.messages[0].prompt;
        EXPECT_TRUE(prompt.contains("tempdata.txt: No space left on device\r\n")) << s.said();
        EXPECT_TRUE(prompt.contains(QStringLiteral("Readings on disk: %1,").arg(onDisk)))
            << s.said();
        EXPECT_TRUE(prompt.contains("File > Save session keeps them")) << s.said();
        EXPECT_TRUE(prompt.endsWith("Session Stopped !!")) << s.said();
        EXPECT_FALSE(s.w.MSComm1->isOpen());
        EXPECT_GE(onDisk, r.atLeastRecorded);
        expectConsistent(s, 1500);
        EXPECT_EQ(s.file("tempdata.hdr"), "") << "kept for Save, or for the next start";

        // The user makes room; the program ends and the next start recovers what was on disk.
        ASSERT_TRUE(
            QFile::remove(QDir(folder).filePath(r.smallDisk ? "other-files" : "tempdata.txt")));
        QFile ini(QDir(folder).filePath("sylvane.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly) && ini.write(settingsOf("2", "25")) > 0);
        ini.close();
        LiveSession next(folder);
        next.w.Form_Load();
        if (onDisk > 0) {
            ASSERT_EQ(next.messages.titles(), QStringList{"Session recovered"}) << next.said();
            EXPECT_TRUE(next.messages.messages[0].prompt.contains(
                QStringLiteral(": %1 readings were recovered.").arg(onDisk)))
                << next.said();
            expectConsistent(next, 1500, onDisk);
            EXPECT_EQ(next.file("tempdata.hdr"), hdrOf(1500, 1500, " "));
        } else {
            EXPECT_TRUE(next.messages.messages.empty()) << next.said();
            EXPECT_FALSE(QFile::exists(next.path("tempdata.tst")));
        }

        // The program records as before.
        const std::size_t told = next.messages.messages.size();
        next.w.mnuStart_Click();
        ASSERT_TRUE(next.running()) << next.said();
        probe.send(frames(9, 1500));
        ASSERT_TRUE(waitUntil([&] { return next.w.engine.state().recordNumber > 3; }, kWait));
        next.w.mnuStop_Click();
        expectConsistent(next, 1500);
        EXPECT_EQ(next.file("tempdata.hdr"), hdrOf(1500, 1500));
        EXPECT_EQ(next.messages.messages.size(), told) << next.said();
    }
}

TEST(StorageFaults, AReadOnlySettingsFileIsReadAndNeverLeftDamagedAtClose) {
    ProgramFolder folder;
    const QString ini = folder.file(QStringLiteral("sylvane.ini"));
    const QByteArray stored = settingsOf("3", "50");
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(stored) == stored.size());
    }
    ReadOnlyFile readOnly(ini);
    if (!readOnly.available()) GTEST_SKIP() << readOnly.why().toStdString();

    MessageRecorder messages;
    {
        sylvane::app::frmSylvane w({folder.path(), {}});
        w.Form_Load();
        EXPECT_FALSE(w.exitRequested());
        EXPECT_EQ(w.LblParams[5]->caption(), "3");
        EXPECT_EQ(w.LblParams[3]->caption(), "50");
        // The settings cannot be stored at close, which passes over it without a word.
        w.LblParams[5]->setCaption(QStringLiteral("4"));
        w.mnuExit_Click();
    }
    EXPECT_TRUE(messages.messages.empty()) << messages.prompts().join("|").toStdString();
    // Root meets a read-only mount and the file is as it was; another user may see it replaced
    // as a whole through the writable folder; never cut short.
    const QByteArray after = readFileBytes(ini);
    if (after != stored) {
        EXPECT_TRUE(after.startsWith("\"Port # \"\r\n\"4\"\r\n")) << after.toStdString();
        EXPECT_EQ(after.count("\r\n"), stored.count("\r\n")) << after.toStdString();
    }
}

SYLVANE_GTEST_QT_MAIN
