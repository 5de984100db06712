// Sessions through the real window and its serial link, the probe on a pseudo-terminal: what is
// recorded and shown, the link watch, Restart, Start refused, and the session clock.

#include "acquisition/serial_link.h"
#include "platform/label.h"
#include "platform/vb_colors.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/live_session.h"
#include "tests/support/pty_probe.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <sys/stat.h>
#include <unistd.h>

using namespace sylvane::testing;
namespace pf = sylvane::platform;

namespace {

constexpr int kWait = 20000;

// A session on COM2 with the probe on a pseudo-terminal.
struct Probed : LiveSession {
    PtyProbe probe{folder, 2};
    bool recorded(int n) {
        return waitUntil([&] { return w.engine.state().recordNumber == n + 1; }, kWait);
    }
    void expectStopped() {
        EXPECT_FALSE(running());
        EXPECT_FALSE(w.MSComm1->isOpen());
        EXPECT_TRUE(w.mnuSetComPort->isEnabled());
        EXPECT_FALSE(w.mnuStop->isEnabled() || w.mnuRestart->isEnabled());
        EXPECT_TRUE(w.mnuSaveFile->isEnabled() && w.mnuDisplayOld->isEnabled());
        EXPECT_EQ(w.LblParams[5]->backColor(), pf::kWindowBackground);
    }
};

} // namespace

TEST(Acquisition, SessionRecordsWhatTheFramesGiveAndShowsTheReadouts) {
    Probed s;
    s.w.engine.state().graphSensitivity = 25;
    s.w.TxtSeshnComnts->setText(QStringLiteral("Left hand, \"relaxed\""));
    s.w.mnuStart_Click();
    ASSERT_TRUE(s.running()) << s.said();
    EXPECT_EQ(s.w.MSComm1->settings(), "4800,N,8,1");
    EXPECT_FALSE(s.w.MSComm1->dtrEnable());
    EXPECT_TRUE(s.w.MSComm1->rtsEnable());
    EXPECT_FALSE(s.w.mnuSaveFile->isEnabled() || s.w.mnuDisplayOld->isEnabled());

    // 15 steady frames read at every offset: five fill the window, ten are recorded, the 12th
    // event latches the reference. Then an invalid frame and a read without a frame, neither
    // recorded, and a last frame that is valid but has the probe error and battery bits.
    std::vector<Read> reads = frames(15, 2000);
    for (const Read& r : {frame(2100), frame(2100, 4, 4), frame(1500, 4, 8), frame(2600, 0),
                          Read{1, 2, 3, 4, 5, 6, 7, 8, 9}, frame(2050, 7, 2)})
        reads.push_back(r);
    s.probe.send(reads);
    ASSERT_TRUE(s.recorded(14)) << s.w.engine.state().recordNumber;
    EXPECT_EQ(s.w.lblSysADCstart->caption(), " 2000");
    // The readouts show the mean left by the previous frame (2008) and the latest raw value.
    QStringList shown;
    for (int i : {3, 5, 1, 7}) shown << s.w.LblShnStf[i]->caption();
    EXPECT_EQ(shown, (QStringList{"488kOhms", "2.04 uS", "-0.7 %", "2050"}));
    EXPECT_EQ(s.w.LblShnStf[7]->toolTipText(), "Probe error");
    EXPECT_EQ(s.w.LblShnStf[9]->toolTipText(), "Need to replace Battery");
    EXPECT_EQ(s.w.LblShnStf[9]->backColor(), 0x008080FFu);
    EXPECT_EQ(s.w.engine.state().targetColorLevel, 262.0f);
    const std::vector<int> recorded = {2000, 2000, 2000, 2000, 2000, 2000, 2000,
                                       2000, 2000, 2000, 2020, 2040, 2008, 2018};
    // On disk while the session still runs.
    EXPECT_EQ(s.file("tempdata.tst"), tstOf(recorded));
    EXPECT_EQ(s.file("tempdata.hdr"), "");

    s.w.mnuStop_Click();
    s.expectStopped();
    EXPECT_EQ(s.w.LblShnStf[7]->backColor(), pf::kButtonFace);
    EXPECT_EQ(s.file("tempdata.txt"), txtOf(recorded));
    EXPECT_EQ(s.file("tempdata.hdr"), hdrOf(2000, 2040, "\\=Left hand, \\qrelaxed\\q"));

    // A session without a reading or a comment.
    s.w.TxtSeshnComnts->setText(QString());
    s.w.mnuStart_Click();
    s.w.mnuStop_Click();
    EXPECT_EQ(s.file("tempdata.hdr"), hdrOf(4095, 0, " "));
    EXPECT_EQ(s.file("tempdata.tst"), "");
    EXPECT_TRUE(s.messages.messages.empty()) << s.said();
}

TEST(Acquisition, SilenceGivesOneTimeoutMessageAndOneStop) {
    Probed s;
    const auto ticks = [&](int n) {
        for (int i = 0; i < n; ++i) s.w.Timer1_Timer();
    };
    ticks(150); // no session: no count
    s.w.mnuStart_Click();
    // The first mean finds the graph's labels changed and is not recorded; the next one is.
    s.probe.send(frames(7, 1500));
    ASSERT_TRUE(s.recorded(1));
    ticks(100);
    s.probe.send({Read{}}); // any receive event clears the count
    ASSERT_TRUE(waitUntil([&] { return s.w.engine.state().silenceTicks == 0; }, kWait));
    ticks(100);
    EXPECT_TRUE(s.messages.messages.empty()) << s.said();

    // While the message is open the timer ticks on and readings are still recorded.
    int headerWhileOpen = -1;
    s.messages.whileOpen = [&](const pf::MessageRequest&) {
        if (s.messages.messages.size() > 1) return; // a second message is the fault itself
        ticks(150);
        s.probe.send(frames(2, 1500));
        s.recorded(3);
        headerWhileOpen = static_cast<int>(s.file("tempdata.hdr").size());
    };
    ticks(1);
    ASSERT_EQ(s.messages.messages.size(), 1u) << s.said();
    EXPECT_EQ(s.messages.messages[0].prompt,
              "No data detected\r\non serial port .\r\nSession Stopped !!");
    EXPECT_EQ(s.messages.messages[0].title, "Serial port timeout");
    EXPECT_EQ(headerWhileOpen, 0) << "Stop comes after the message";
    s.expectStopped();
    EXPECT_EQ(s.file("tempdata.hdr"), hdrOf(1500, 1500));
    EXPECT_EQ(s.file("tempdata.tst"), tstOf({1500, 1500, 1500}));

    // A session stopped during a silence leaves none of it to the next one's count.
    s.messages.whileOpen = nullptr;
    s.w.mnuStart_Click();
    ticks(60);
    s.w.mnuStop_Click();
    s.w.mnuStart_Click();
    ticks(60);
    EXPECT_EQ(s.messages.messages.size(), 1u) << s.said();
}

TEST(Acquisition, RegressionReadingsBeforeTheLatchAreKeptWhenTheLayoutComesAndTheProgramCloses) {
    // A fresh program, the session started before the window's first layout: 20 equal frames,
    // then 40 rising ones at about 50 a second. Five fill the filter, the first mean finds the
    // graph's labels changed and is not recorded, every later one is: 54 records, whenever the
    // layout comes and however small the picture is before it.
    for (const bool shown : {true, false}) {
        SCOPED_TRACE(shown ? "window shown" : "window never shown");
        Probed s;
        s.load(settingsOf("2", "25"));
        if (shown) s.w.show();
        s.w.mnuStart_Click();
        ASSERT_TRUE(s.running()) << s.said();
        std::vector<Read> reads = frames(20, 1800);
        for (int i = 1; i <= 40; ++i) reads.push_back(frame(1800 + i, 4, i));
        for (std::size_t at = 0; at < reads.size(); at += 2) {
            s.probe.send({reads[at], reads[at + 1]});
            pump(40);
        }
        ASSERT_TRUE(s.recorded(54)) << s.w.engine.state().recordNumber;
        EXPECT_EQ(s.file("tempdata.tst").left(14 * 4), tstOf(std::vector<int>(14, 1800)));
        // Closing the program during the session keeps it a session that can be saved: the
        // header is written as Stop writes it.
        s.w.TxtSeshnComnts->setText(QString());
        if (shown)
            s.w.close();
        else
            s.w.mnuExit_Click();
        EXPECT_EQ(s.file("tempdata.hdr"), hdrOf(1800, s.w.engine.state().maxADC, " "));
        EXPECT_FALSE(s.w.MSComm1->isOpen());
    }
}

TEST(Acquisition, StartThatCannotOpenThePortOrTheFilesLeavesEverythingAsBefore) {
    enum Fault { PortZero, Busy, Folder };
    const char* names[] = {"tempdata.hdr", "tempdata.tst", "tempdata.txt"};
    for (const Fault fault : {PortZero, Busy, Folder}) {
        SCOPED_TRACE(fault);
        Probed s;
        // The last session's files, which a refused Start must leave alone.
        for (const char* name : names) writeFileBytes(s.path(name), name);
        sylvane::acquisition::SerialLink other(s.folder);
        if (fault == PortZero) { // read as COM2
            s.w.LblParams[5]->setCaption(QStringLiteral("0"));
            QFile::remove(s.path("ports/com2"));
            QFile::link(s.path("no-such-device"), s.path("ports/com2"));
        } else if (fault == Busy) {
            other.setCommPort(2);
            other.setSettings(QStringLiteral("4800,N,8,1"));
            ASSERT_TRUE(other.open()) << other.errorString().toStdString();
        } else {
            QFile::remove(s.path("tempdata.tst"));
            ASSERT_TRUE(QDir(s.folder).mkdir("tempdata.tst"));
        }
        s.w.mnuStart_Click();
        s.expectStopped();
        ASSERT_EQ(s.messages.messages.size(), 1u) << s.said();
        const QString prompt = s.messages.messages[0].prompt;
        EXPECT_EQ(s.messages.messages[0].title,
                  fault == Folder ? "Working files error" : "Serial port error");
        const char* mention[][2] = {
            {"COM2", "no such port"}, {"COM2", "in use"}, {"tempdata.tst", "Is a directory"}};
        for (const char* m : mention[fault])
            EXPECT_TRUE(prompt.contains(m)) << prompt.toStdString();
        EXPECT_TRUE(prompt.endsWith("Session not started.")) << prompt.toStdString();
        EXPECT_EQ(s.w.LblParams[5]->caption(), "2");
        for (const char* name : names)
            EXPECT_EQ(s.file(name), fault == Folder && name == names[1] ? "" : name);
        if (fault == PortZero) continue;

        // Once the fault is gone, the program records as before.
        other.close();
        QDir(s.folder).rmdir("tempdata.tst");
        s.w.mnuStart_Click();
        s.probe.send(frames(7, 1400));
        ASSERT_TRUE(s.recorded(1));
        s.w.mnuStop_Click();
        EXPECT_EQ(s.file("tempdata.tst"), tstOf({1400}));
        EXPECT_EQ(s.file("tempdata.hdr"), hdrOf(1400, 1400));
        EXPECT_EQ(s.messages.messages.size(), 1u) << s.said();
    }
}

// Root opens any device, so there the program (the session driver) runs as the user nobody.
TEST(Acquisition, APortTheUserHasNoRightsToNamesTheDialoutGroup) {
    ProgramFolder folder;
    PtyProbe probe(folder.path(), 2);
    const QString device = QFileInfo(folder.file("ports/com2")).symLinkTarget();
    QStringList command{QStringLiteral(SYLVANE_SESSION_DRIVER), "--folder", folder.path()};
    if (geteuid() == 0) {
        const QStringList asNobody{"--reuid=nobody", "--regid=nogroup", "--clear-groups"};
        if (QProcess::execute("setpriv", asNobody + QStringList{"test", "-x", command[0]}) != 0)
            GTEST_SKIP() << "the user nobody cannot run " << command[0].toStdString();
        // The pseudo-terminal stays root's (mode 620, group tty); the folder is nobody's too.
        ASSERT_EQ(chmod(QFile::encodeName(folder.path()).constData(), 0777), 0);
        command = QStringList{"setpriv"} + asNobody + command;
    } else {
        ASSERT_EQ(chmod(QFile::encodeName(device).constData(), 0), 0);
    }
    QProcess driver;
    driver.start(command.takeFirst(), command);
    ASSERT_TRUE(driver.waitForFinished(kWait));
    const QByteArray said = driver.readAllStandardOutput();
    EXPECT_EQ(driver.exitCode(), 3) << said.data() << driver.readAllStandardError().data();
    EXPECT_TRUE(said.contains("message Serial port error: COM2 (" + device.toLocal8Bit() +
                              "): access denied"))
        << said.data();
    EXPECT_TRUE(said.contains("add the user to the dialout group")) << said.data();
}

TEST(Acquisition, RestartDiscardsTheSessionAndLatchesTheReferenceAgain) {
    Probed s;
    s.w.mnuStart_Click();
    s.probe.send(frames(20, 1700));
    ASSERT_TRUE(s.recorded(14));
    s.w.mnuRestart_Click();
    EXPECT_TRUE(s.running() && s.w.MSComm1->isOpen());
    EXPECT_EQ(s.w.lblSysADCstart->caption(), " ");
    for (const char* name : {"tempdata.tst", "tempdata.txt", "tempdata.hdr"})
        EXPECT_EQ(s.file(name), "") << name;
    // The filter's window carries over: the first reading is filtered at once but meets the
    // blanked reference label and goes unrecorded; eleven equal events latch 1700 again.
    s.probe.send(frames(11, 1700));
    ASSERT_TRUE(s.recorded(10));
    EXPECT_EQ(s.w.lblSysADCstart->caption(), " 1700");
    s.w.mnuStop_Click();
    EXPECT_EQ(s.file("tempdata.tst"), tstOf(std::vector<int>(10, 1700)));
}

TEST(Acquisition, RegressionAnUnfinishedStepOfTheLastSessionDoesNotWidenTheNextOne) {
    Probed s;
    s.w.show();
    s.w.mnuStart_Click();
    s.probe.send(frames(15, 1700));
    ASSERT_TRUE(s.recorded(9));
    s.w.mnuStop_Click();
    s.w.engine.state().stepSum = 3.0e6f; // as if the session had ended in the middle of a step
    // Before the new latch, readings are drawn at the last session's scale, where this steady
    // signal sits on the middle line.
    s.w.mnuStart_Click();
    s.probe.send(frames(8, 1700));
    ASSERT_TRUE(waitUntil([&] { return s.w.engine.state().recordNumber >= 7; }, kWait));
    pump(300);
    EXPECT_EQ(s.w.LblParams[3]->caption(), "25");
    EXPECT_FALSE(s.w.lblGrafError->isVisible());
}

TEST(Acquisition, RegressionTheSessionClockRunsOnAcrossMidnight) {
    Probed s;
    s.clock = 86390.0;
    s.w.mnuStart_Click();
    const std::pair<double, const char*> ticks[] = {
        {86399.5, "00:00:10"}, {5.0, "00:00:15"}, {3725.0, "01:02:15"}};
    for (const auto& [clock, shown] : ticks) {
        s.clock = clock;
        s.w.Timer1_Timer();
        EXPECT_EQ(s.w.LblParams[1]->caption(), shown) << clock;
    }
    s.w.mnuStop_Click();
    s.clock = 7000.0; // the label keeps the last elapsed time after Stop
    s.w.Timer1_Timer();
    EXPECT_EQ(s.w.LblParams[1]->caption(), "01:02:15");
}

SYLVANE_GTEST_QT_MAIN
