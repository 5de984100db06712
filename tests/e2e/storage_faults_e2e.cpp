// What the disk can refuse the program while it records: a file system that fills up in the
// middle of a session (a file-size limit everywhere, a real small tmpfs where this machine lets
// us mount one), and working files that are read-only or have been replaced by folders. Each
// time: a clear message, the session stopped, the files consistent (one record and one line per
// recorded reading), and the program usable once the disk is fixed.

#include "acquisition/serial_link.h"
#include "app/frm_sylvane.h"
#include "platform/label.h"
#include "tests/support/fault_injection.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/pty_probe.h"
#include "tests/support/test_support.h"

#include <QAction>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

using sylvane::app::frmSylvane;
using sylvane::testing::FileSizeLimit;
using sylvane::testing::MessageRecorder;
using sylvane::testing::ProgramFolder;
using sylvane::testing::PtyProbe;
using sylvane::testing::readFileBytes;
using sylvane::testing::ReadOnlyFile;
using sylvane::testing::SmallDisk;
using sylvane::testing::waitUntil;

namespace {

constexpr int kWait = 20000;

struct Session {
    explicit Session(const QString& programFolder)
        : w{{programFolder, {}}}, m_folder(programFolder) {
        w.LblParams[5]->setCaption(QStringLiteral("2"));
        w.awaitingStartValue = true;
        w.layoutReason = 1;
        QObject::connect(w.MSComm1, &sylvane::acquisition::SerialLink::OnComm,
                         [this] { ++receiveEvents; });
    }
    frmSylvane w;
    MessageRecorder messages;
    std::int64_t receiveEvents = 0;

    QString path(const char* name) const { return QDir(m_folder).filePath(name); }
    QByteArray file(const char* name) const { return readFileBytes(path(name)); }
    bool running() const { return !w.mnuStart->isEnabled(); }

    // Sends steady frames in batches small enough for the pseudo-terminal to hold, each batch
    // once the program has read the last, until the session ends or `count` frames went out.
    void feed(PtyProbe& probe, int count, int adc) {
        for (int sent = 0; sent < count && running(); sent += 50) {
            const int batch = std::min(50, count - sent);
            const std::int64_t expected = receiveEvents + batch;
            probe.send(sylvane::testing::frames(batch, adc));
            waitUntil([&] { return !running() || receiveEvents >= expected; }, kWait);
        }
    }

private:
    QString m_folder;
};

// The working files agree with each other: as many records as lines, the same values.
void expectConsistent(const Session& s, std::int32_t recorded, std::int32_t adc,
                      const std::string& label) {
    const QByteArray tst = s.file("tempdata.tst");
    const QByteArray txt = s.file("tempdata.txt");
    EXPECT_EQ(tst.size(), 4 * recorded) << label;
    EXPECT_EQ(txt.count("\r\n"), recorded) << label;
    EXPECT_TRUE(txt.isEmpty() || txt.endsWith("\r\n")) << label;
    QByteArray records;
    QByteArray lines;
    for (std::int32_t i = 0; i < recorded; ++i) {
        for (int k = 0; k < 4; ++k) records.append(static_cast<char>((adc >> (8 * k)) & 0xFF));
        lines += QByteArray::number(adc) + "\r\n";
    }
    EXPECT_EQ(tst, records) << label;
    EXPECT_EQ(txt, lines) << label;
}

QByteArray header(int minADC, int maxADC) {
    return "\"MinADC\"\r\n\" " + QByteArray::number(minADC) + "\"\r\n\"MaxADC\"\r\n\" " +
           QByteArray::number(maxADC) + "\"\r\n\"Place session comments here.\"\r\n";
}

// After the fault is gone the program records as before.
void expectUsableAgain(Session& s, PtyProbe& probe, const std::string& label) {
    const std::size_t messagesBefore = s.messages.messages.size();
    s.w.mnuStart_Click();
    ASSERT_TRUE(s.running()) << label << ": " << s.messages.prompts().join("|").toStdString();
    // Enough frames to fill a filter window that was never filled, and to record a few.
    probe.send(sylvane::testing::frames(9, 1500));
    ASSERT_TRUE(waitUntil([&] { return s.w.recordNumber > 3; }, kWait)) << label;
    s.w.mnuStop_Click();
    expectConsistent(s, s.w.recordNumber - 1, 1500, label + ", again");
    EXPECT_EQ(s.file("tempdata.hdr"), header(1500, 1500)) << label;
    EXPECT_EQ(s.messages.messages.size(), messagesBefore) << label;
}

} // namespace

TEST(StorageFaults, AFileSizeLimitReachedWhileRecordingStopsTheSessionWithNothingLost) {
    ProgramFolder folder;
    Session s(folder.path());
    PtyProbe probe(folder.path(), 2);
    ASSERT_TRUE(probe.ok());
    {
        // 600 bytes is 100 lines of "1500" and CR LF: the 101st reading cannot be written.
        FileSizeLimit limit(600);
        ASSERT_TRUE(limit.ok());
        s.w.mnuStart_Click();
        ASSERT_TRUE(s.running());
        s.feed(probe, 200, 1500);
        ASSERT_TRUE(waitUntil([&] { return !s.running(); }, kWait));
    }
    ASSERT_EQ(s.messages.messages.size(), 1u) << s.messages.prompts().join("|").toStdString();
    EXPECT_EQ(s.messages.messages[0].title, "Recording error");
    const QString prompt = s.messages.messages[0].prompt;
    EXPECT_TRUE(prompt.contains("tempdata.txt")) << prompt.toStdString();
    EXPECT_TRUE(prompt.contains("File too large")) << prompt.toStdString();
    EXPECT_TRUE(prompt.endsWith("Session Stopped !!")) << prompt.toStdString();
    EXPECT_FALSE(s.w.MSComm1->isOpen());
    EXPECT_EQ(s.w.recordNumber, 101);
    expectConsistent(s, 100, 1500, "file size limit");
    EXPECT_EQ(s.file("tempdata.hdr"), header(1500, 1500));
    expectUsableAgain(s, probe, "file size limit");
}

TEST(StorageFaults, AFullDiskWhileRecordingStopsTheSessionAndSaysSo) {
    ProgramFolder outer;
    const QString programFolder = outer.file(QStringLiteral("disk"));
    ASSERT_TRUE(QDir().mkpath(programFolder));
    // 16 pages, 14 of them taken by other files: one page for the readings and one for their
    // text, so the text runs out first, in the middle of a line.
    constexpr qint64 kPage = 4096;
    SmallDisk disk(programFolder, 16 * kPage);
    if (!disk.available())
        GTEST_SKIP() << "a small file system cannot be mounted here (" << disk.why().toStdString()
                     << "); the file-size limit test covers a full disk";
    {
        QFile filler(QDir(programFolder).filePath("other-files"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        ASSERT_EQ(filler.write(QByteArray(14 * kPage, 'x')), 14 * kPage);
    }
    Session s(programFolder);
    PtyProbe probe(programFolder, 2);
    ASSERT_TRUE(probe.ok());
    s.w.mnuStart_Click();
    ASSERT_TRUE(s.running());
    s.feed(probe, 1200, 1500);
    ASSERT_TRUE(waitUntil([&] { return !s.running(); }, kWait));

    // The text's page fills first, in the middle of a line (682 whole lines of "1500" on 4 KB
    // pages); the header then finds no page either, and the user is told that as well.
    ASSERT_GE(s.messages.messages.size(), 1u);
    EXPECT_LE(s.messages.messages.size(), 2u) << s.messages.prompts().join("|").toStdString();
    EXPECT_EQ(s.messages.messages[0].title, "Recording error");
    EXPECT_TRUE(s.messages.messages[0].prompt.contains("No space left on device"))
        << s.messages.messages[0].prompt.toStdString();
    if (s.messages.messages.size() == 2) {
        EXPECT_EQ(s.messages.messages[1].title, "Working files error");
        EXPECT_TRUE(s.messages.messages[1].prompt.contains("tempdata.hdr"));
    }
    const std::int32_t recorded = s.w.recordNumber - 1;
    EXPECT_GE(recorded, 600);
    expectConsistent(s, recorded, 1500, "full disk");

    // The user makes room.
    ASSERT_TRUE(QFile::remove(QDir(programFolder).filePath("other-files")));
    expectUsableAgain(s, probe, "full disk");
}

TEST(StorageFaults, WorkingFilesThatCannotBeWrittenKeepTheSessionFromStarting) {
    const struct {
        const char* name;
        bool folder; // replaced by a folder, else read-only
    } rows[] = {
        {"tempdata.hdr", true},  {"tempdata.tst", true},  {"tempdata.txt", true},
        {"tempdata.hdr", false}, {"tempdata.tst", false}, {"tempdata.txt", false},
    };
    for (const auto& r : rows) {
        const std::string label = std::string(r.name) + (r.folder ? " a folder" : " read-only");
        ProgramFolder folder;
        Session s(folder.path());
        PtyProbe probe(folder.path(), 2);
        ASSERT_TRUE(probe.ok());
        // The last session's files, which a refused Start must leave alone.
        for (const char* name : {"tempdata.hdr", "tempdata.tst", "tempdata.txt"}) {
            if (r.folder && QString(name) == r.name) continue;
            QFile f(s.path(name));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(QByteArray("before ") + name);
        }
        std::unique_ptr<ReadOnlyFile> readOnly;
        if (r.folder) {
            ASSERT_TRUE(QDir(folder.path()).mkdir(r.name));
        } else {
            readOnly = std::make_unique<ReadOnlyFile>(s.path(r.name));
            if (!readOnly->available())
                GTEST_SKIP() << label
                             << " cannot be set up here: " << readOnly->why().toStdString();
        }

        s.w.mnuStart_Click();
        EXPECT_FALSE(s.running()) << label;
        EXPECT_FALSE(s.w.MSComm1->isOpen()) << label;
        EXPECT_TRUE(s.w.mnuStart->isEnabled()) << label;
        EXPECT_FALSE(s.w.mnuStop->isEnabled()) << label;
        ASSERT_EQ(s.messages.messages.size(), 1u) << label;
        EXPECT_EQ(s.messages.messages[0].title, "Working files error") << label;
        const QString prompt = s.messages.messages[0].prompt;
        EXPECT_TRUE(prompt.contains(r.name)) << label << ": " << prompt.toStdString();
        EXPECT_TRUE(prompt.endsWith("Session not started.")) << label;
        // None of the last session's files was emptied by the refused Start.
        for (const char* name : {"tempdata.hdr", "tempdata.tst", "tempdata.txt"}) {
            if (r.folder && QString(name) == r.name) continue;
            EXPECT_EQ(s.file(name), QByteArray("before ") + name) << label << ": " << name;
        }

        readOnly.reset();
        if (r.folder) {
            ASSERT_TRUE(QDir(folder.path()).rmdir(r.name));
        }
        expectUsableAgain(s, probe, label);
    }
}

TEST(StorageFaults, ReadOnlySettingsFileIsReadAndNeverLeftDamagedAtClose) {
    ProgramFolder folder;
    const QString ini = folder.file(QStringLiteral("sylvane.ini"));
    const QByteArray stored = "\"Port # \"\r\n\"3\"\r\n\"Sensitivty = \"\r\n\"50\"\r\n"
                              "\"Picture graph visibilty = \"\r\n\"True\"\r\n"
                              "\"Color graph visibilty = \"\r\n\"True\"\r\n"
                              "\"Bar graph visibilty = \"\r\n\"True\"\r\n"
                              "\"Internal status visibilty = \"\r\n\"True\"\r\n"
                              "\"Session comments visibilty = \"\r\n\"True\"\r\n"
                              "\"Time etc. visibilty = \"\r\n\"True\"\r\n"
                              "\"Form Width = \"\r\n8445\r\n\"Form Height = \"\r\n6330\r\n"
                              "\"Form Top = \"\r\n1200\r\n\"Form Left = \"\r\n1500\r\n";
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(stored);
    }
    ReadOnlyFile readOnly(ini);
    if (!readOnly.available())
        GTEST_SKIP() << "a read-only settings file cannot be set up here: "
                     << readOnly.why().toStdString();

    MessageRecorder messages;
    {
        frmSylvane w({folder.path(), {}});
        w.Form_Load();
        EXPECT_FALSE(w.exitRequested());
        EXPECT_EQ(w.LblParams[5]->caption(), "3");
        EXPECT_EQ(w.LblParams[3]->caption(), "50");
        // The user changes the port, then closes: the settings cannot be stored, which the
        // close passes over without a word, and the file stays whole.
        w.LblParams[5]->setCaption(QStringLiteral("4"));
        w.mnuExit_Click();
    }
    EXPECT_TRUE(messages.messages.empty()) << messages.prompts().join("|").toStdString();
    const QByteArray after = readFileBytes(ini);
    // Root meets a read-only mount: the file is as it was. Another user may see it replaced as
    // a whole through the writable folder; never cut short.
    if (after != stored) {
        EXPECT_TRUE(after.startsWith("\"Port # \"\r\n\"4\"\r\n")) << after.toStdString();
        EXPECT_EQ(after.count("\r\n"), 24) << after.toStdString();
    }
}

SYLVANE_GTEST_QT_MAIN
