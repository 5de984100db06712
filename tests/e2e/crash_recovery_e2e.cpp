// The program (the session driver) killed outright mid-session: every reading it reported as
// recorded is on disk, and the next start clears the readings and the header.

#include "platform/label.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/live_session.h"
#include "tests/support/probe_sim_process.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>

using namespace sylvane::testing;

TEST(CrashRecovery, KilledMidSessionKeepsEveryRecordedReadingAndTheNextStartClearsAsDescribed) {
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

    // Whole records and lines only; the kill may fall between the two writes of one reading,
    // leaving the .tst one record ahead.
    const QByteArray tst = readFileBytes(folder.file("tempdata.tst"));
    const QByteArray txt = readFileBytes(folder.file("tempdata.txt"));
    const int lines = static_cast<int>(txt.count("\r\n"));
    EXPECT_TRUE(txt.endsWith("\r\n"));
    EXPECT_GE(lines, reported);
    ASSERT_EQ(tst.size() % 4, 0);
    ASSERT_GE(tst.size() / 4, lines);
    EXPECT_LE(tst.size() / 4, lines + 1);
    std::vector<int> values;
    for (const QByteArray& line : txt.split('\n'))
        if (!line.trimmed().isEmpty()) values.push_back(line.trimmed().toInt());
    EXPECT_EQ(tst.left(4 * lines), tstOf(values));
    EXPECT_EQ(txt, txtOf(values));
    EXPECT_EQ(readFileBytes(folder.file("tempdata.hdr")), "") << "the header waits for Stop";
    EXPECT_TRUE(QFile::exists(folder.file("tempdata.hdr")));

    // The next start, from settings as the program writes them.
    QFile ini(folder.file("sylvane.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly) && ini.write(settingsOf("2", "25")) > 0);
    ini.close();
    LiveSession next(folder.path());
    next.w.Form_Load();
    EXPECT_TRUE(next.messages.messages.empty()) << next.said();
    EXPECT_FALSE(QFile::exists(folder.file("tempdata.tst")));
    EXPECT_FALSE(QFile::exists(folder.file("tempdata.hdr")));
    EXPECT_EQ(readFileBytes(folder.file("tempdata.txt")), txt);
    // The killed program let go of the port.
    next.w.mnuStart_Click();
    EXPECT_TRUE(next.messages.messages.empty()) << next.said();
    EXPECT_TRUE(waitUntil([&] { return next.w.engine.state().recordNumber > 5; }, 60000));
    next.w.mnuStop_Click();
}

SYLVANE_GTEST_QT_MAIN
