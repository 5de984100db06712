// The program (the session driver) killed outright mid-session: every reading it reported as
// recorded is on disk, and the next start recovers the session, a torn last record cut off, so
// that it can be saved and displayed.

#include "dialogs/frm_file_manager.h"
#include "platform/label.h"
#include "platform/picture_box.h"
#include "platform/vb_colors.h"
#include "storage/saved_sessions.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/live_session.h"
#include "tests/support/probe_sim_process.h"

#include <QAction>
#include <QDeadlineTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QtEndian>

#include <algorithm>

using namespace sylvane::testing;
using sylvane::dialogs::frmFileManager;

namespace {

// Types the name into the file manager when it next opens and confirms it: Save writes the
// saved set; Display adds the name, then displays the list.
void answerFileManager(const QString& name, bool display) {
    whenModalShown<frmFileManager>([name, display](frmFileManager* d) {
        ASSERT_NE(d, nullptr) << "the file manager never came";
        QTest::keyClicks(d->txtFM, name);
        QTest::keyClick(d->txtFM, Qt::Key_Return);
        if (!display || !d->isVisible()) return;
        d->txtFM->setText(name);
        QTest::mouseClick(d->cmdFileOption, Qt::LeftButton);
        if (d->isVisible()) d->close(); // fail rather than hang
    });
}

} // namespace

TEST(CrashRecovery, KilledMidSessionTheNextStartRecoversEveryRecordedReadingForSaving) {
    ProgramFolder folder;
    // A living signal at the line's full rate, so that consecutive readings differ.
    ProbeSimProcess sim(folder.path(), 2, {"--rate", "53", "--seed", "11", "--noise", "2"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();

    QProcess driver;
    driver.start(QStringLiteral(SYLVANE_SESSION_DRIVER), {"--folder", folder.path()});
    QByteArray transcript;
    int reported = 0;
    QDeadlineTimer deadline(60000);
    while (reported < 80 && driver.state() != QProcess::NotRunning && !deadline.hasExpired()) {
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
    EXPECT_EQ(driver.exitStatus(), QProcess::CrashExit);
    EXPECT_FALSE(transcript.contains("message")) << transcript.toStdString();

    // Whole records only (tempdata.txt may be a line behind: the kill can fall between the two
    // writes of a reading).
    const QByteArray tst = readFileBytes(folder.file("tempdata.tst"));
    ASSERT_EQ(tst.size() % 4, 0);
    ASSERT_GE(tst.size() / 4, reported);
    EXPECT_TRUE(QFile::exists(folder.file("tempdata.hdr")));
    EXPECT_EQ(readFileBytes(folder.file("tempdata.hdr")), "") << "the header waits for Stop";
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

    // The next start, from settings as the program writes them.
    QFile ini(folder.file("sylvane.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly) && ini.write(settingsOf("2", "25")) > 0);
    ini.close();
    LiveSession next(folder.path());
    next.w.Form_Load();
    ASSERT_EQ(next.messages.titles(), QStringList{"Session recovered"}) << next.said();
    EXPECT_EQ(next.messages.messages[0].prompt,
              QStringLiteral("The last session was not stopped: %1 readings were recovered.\r\n"
                             "File > Save session keeps them; the next Start clears them.")
                  .arg(values.size()));
    EXPECT_EQ(next.file("tempdata.tst"), tst);
    EXPECT_EQ(next.file("tempdata.txt"), txtOf(values));
    const QByteArray header = hdrOf(*low, *high, " ");
    EXPECT_EQ(next.file("tempdata.hdr"), header);
    EXPECT_FALSE(next.running());
    EXPECT_TRUE(next.w.mnuSaveFile->isEnabled());
    next.w.show();
    ASSERT_TRUE(waitUntil([&] { return !next.w.layoutPending; }, 10000));

    answerFileManager("recovered", false);
    next.w.mnuSaveFile->trigger();
    EXPECT_EQ(next.messages.messages.size(), 1u) << next.said();
    EXPECT_EQ(next.file("recovered.Tst"), tst);
    EXPECT_EQ(next.file("recovered.Txt"), txtOf(values));
    EXPECT_EQ(next.file("recovered.Hdr"), hdrOf(*low, *high)) << "with the comments as typed";

    // The killed program let go of the port; Start clears the recovered session as always.
    next.w.mnuStart_Click();
    EXPECT_EQ(next.messages.messages.size(), 1u) << next.said();
    EXPECT_TRUE(waitUntil([&] { return next.w.engine.state().recordNumber > 5; }, 60000));
    next.w.mnuStop_Click();

    // The saved set is drawn.
    answerFileManager("recovered", true);
    next.w.mnuDisplayOld->trigger();
    EXPECT_EQ(next.messages.messages.size(), 1u) << next.said();
    EXPECT_TRUE(next.w.module1.displayMode);
    const QImage picture = next.w.pixXYgraf->image();
    const QColor cyan = sylvane::platform::toQColor(sylvane::storage::kTraceColors[0]);
    int traced = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) traced += picture.pixelColor(x, y) == cyan;
    EXPECT_GT(traced, 20);
}

SYLVANE_GTEST_QT_MAIN
