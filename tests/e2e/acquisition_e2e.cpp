#include "acquisition/serial_link.h"
#include "platform/label.h"
#include "platform/vb_colors.h"
#include "tests/support/fault_injection.h"
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

#include <memory>

using namespace sylvane::testing;
namespace pf = sylvane::platform;

namespace {

constexpr int kWait = 20000;

void expectStopped(const LiveSession& s) {
    EXPECT_FALSE(s.running());
    EXPECT_FALSE(s.w.MSComm1->isOpen());
    EXPECT_TRUE(s.w.mnuSetComPort->isEnabled());
    EXPECT_FALSE(s.w.mnuStop->isEnabled());
    EXPECT_FALSE(s.w.mnuRestart->isEnabled());
    EXPECT_TRUE(s.w.mnuSaveFile->isEnabled());
    EXPECT_TRUE(s.w.mnuDisplayOld->isEnabled());
    EXPECT_EQ(s.w.LblParams[5]->backColor(), pf::kWindowBackground);
    EXPECT_EQ(s.w.LblParams[5]->toolTipText(), "Click here to select port number");
}

} // namespace

TEST(Acquisition, SessionRecordsWhatTheFramesGiveAndShowsTheReadouts) {
    LiveSession s;
    PtyProbe probe(s.folder, 2);
    ASSERT_TRUE(probe.ok());
    s.w.engine.state().graphSensitivity = 25;
    s.w.TxtSeshnComnts->setText(QStringLiteral("Left hand, \"relaxed\""));

    s.w.mnuStart_Click();
    ASSERT_TRUE(s.running()) << s.said();
    EXPECT_EQ(s.w.MSComm1->commPort(), 2);
    EXPECT_EQ(s.w.MSComm1->settings(), "4800,N,8,1");
    EXPECT_FALSE(s.w.MSComm1->dtrEnable());
    EXPECT_TRUE(s.w.MSComm1->rtsEnable());
    EXPECT_EQ(s.w.lblSysADCstart->caption(), " ");
    EXPECT_EQ(s.w.LblParams[5]->backColor(), 0x80000013u);
    EXPECT_FALSE(s.w.mnuSaveFile->isEnabled());
    EXPECT_FALSE(s.w.mnuDisplayOld->isEnabled());

    // 15 steady frames read at every offset: five fill the window, ten are recorded, the 12th
    // event latches the reference. Then an invalid frame and a read without a frame, neither
    // recorded.
    std::vector<Read> reads = frames(15, 2000);
    for (const Read& r : {frame(2100), frame(2100, 4, 4), frame(1500, 4, 8), frame(2600, 0),
                          Read{1, 2, 3, 4, 5, 6, 7, 8, 9}, frame(2050, 4, 2)})
        reads.push_back(r);
    probe.send(reads);
    ASSERT_TRUE(waitUntil([&] { return s.w.engine.state().recordNumber == 15; }, kWait)) << s.w.engine.state().recordNumber;

    EXPECT_EQ(s.w.lblSysADCstart->caption(), " 2000");
    EXPECT_EQ(s.w.engine.state().smoothedADC, 2018);
    // The readouts show the mean left by the previous frame (2008) and the latest raw value.
    const std::pair<int, const char*> readouts[] = {
        {3, "488kOhms"}, {5, "2.04 uS"}, {1, "-0.7 %"}, {7, "2050"}};
    for (const auto& [i, text] : readouts) {
        EXPECT_EQ(s.w.LblShnStf[i]->caption(), text) << i;
    }
    for (int i : {7, 9}) {
        EXPECT_EQ(s.w.LblShnStf[i]->backColor(), 0x0080FF80u) << i;
    }
    EXPECT_EQ(s.w.LblShnStf[7]->toolTipText(), "Probe OK");
    EXPECT_EQ(s.w.LblShnStf[9]->toolTipText(), "Battery OK");
    EXPECT_EQ(s.w.engine.state().targetColorLevel, 262.0f);

    const std::vector<int> recorded = {2000, 2000, 2000, 2000, 2000, 2000, 2000,
                                       2000, 2000, 2000, 2020, 2040, 2008, 2018};
    // On disk while the session still runs.
    EXPECT_EQ(s.file("tempdata.tst"), tstOf(recorded));
    EXPECT_EQ(s.file("tempdata.hdr"), "");

    s.w.mnuStop_Click();
    expectStopped(s);
    for (int i : {7, 9}) {
        EXPECT_EQ(s.w.LblShnStf[i]->backColor(), pf::kButtonFace) << i;
        EXPECT_EQ(s.w.LblShnStf[i]->toolTipText(), "") << i;
    }
    EXPECT_EQ(s.file("tempdata.tst"), tstOf(recorded));
    EXPECT_EQ(s.file("tempdata.txt"), txtOf(recorded));
    EXPECT_EQ(s.file("tempdata.hdr"), hdrOf(2000, 2040, "\\=Left hand, \\qrelaxed\\q"));

    // A session without a reading or a comment.
    s.w.TxtSeshnComnts->setText(QString());
    s.w.mnuStart_Click();
    s.w.mnuStop_Click();
    EXPECT_EQ(s.w.TxtSeshnComnts->Text(), " ");
    EXPECT_EQ(s.file("tempdata.hdr"), hdrOf(4095, 0, " "));
    EXPECT_EQ(s.file("tempdata.tst"), "");
    EXPECT_TRUE(s.messages.messages.empty()) << s.said();
}

TEST(Acquisition, SilenceGivesOneTimeoutMessageAndOneStop) {
    LiveSession s;
    PtyProbe probe(s.folder, 2);
    ASSERT_TRUE(probe.ok());
    for (int i = 0; i < 150; ++i) s.w.Timer1_Timer(); // no session: no count
    s.w.mnuStart_Click();
    ASSERT_TRUE(s.running());
    // The first mean finds the graph's labels changed and is not recorded; the next one is.
    probe.send(frames(7, 1500));
    ASSERT_TRUE(waitUntil([&] { return s.w.engine.state().recordNumber == 2; }, kWait));
    for (int i = 0; i < 100; ++i) s.w.Timer1_Timer();
    probe.send({Read{}}); // any receive event clears the count
    ASSERT_TRUE(waitUntil([&] { return s.w.engine.state().silenceTicks == 0; }, kWait));
    for (int i = 0; i < 100; ++i) s.w.Timer1_Timer();
    EXPECT_TRUE(s.messages.messages.empty()) << s.said();

    // While the message is open the timer ticks on and readings are still recorded.
    int headerWhileOpen = -1;
    s.messages.whileOpen = [&](const pf::MessageRequest&) {
        if (s.messages.messages.size() > 1) return; // a second message is the fault itself
        for (int i = 0; i < 150; ++i) s.w.Timer1_Timer();
        probe.send(frames(2, 1500));
        waitUntil([&] { return s.w.engine.state().recordNumber == 4; }, kWait);
        headerWhileOpen = static_cast<int>(s.file("tempdata.hdr").size());
    };
    s.w.Timer1_Timer();
    ASSERT_EQ(s.messages.messages.size(), 1u) << s.said();
    EXPECT_EQ(s.messages.messages[0].prompt,
              "No data detected\r\non serial port .\r\nSession Stopped !!");
    EXPECT_EQ(s.messages.messages[0].title, "Serial port timeout");
    EXPECT_EQ(s.messages.messages[0].style, pf::vbOKOnly);
    EXPECT_EQ(headerWhileOpen, 0) << "Stop comes after the message";
    EXPECT_EQ(s.w.engine.state().silenceTicks, 0);
    expectStopped(s);
    EXPECT_EQ(s.file("tempdata.hdr"), hdrOf(1500, 1500));
    EXPECT_EQ(s.file("tempdata.tst"), tstOf({1500, 1500, 1500}));

    // A session stopped during a silence leaves none of it to the next one's count.
    s.messages.whileOpen = nullptr;
    s.w.mnuStart_Click();
    for (int i = 0; i < 60; ++i) s.w.Timer1_Timer();
    s.w.mnuStop_Click();
    s.w.mnuStart_Click();
    for (int i = 0; i < 60; ++i) s.w.Timer1_Timer();
    EXPECT_EQ(s.messages.messages.size(), 1u) << s.said();
    s.w.mnuStop_Click();
}

TEST(Acquisition, RegressionReadingsBeforeTheLatchAreKeptWhenTheLayoutComesAndTheProgramCloses) {
    // A fresh program, the session started before the window's first layout: 20 equal frames,
    // then 40 rising ones at about 50 a second. Five fill the filter, the first mean finds the
    // graph's labels changed and is not recorded, every later one is: 54 records, whenever the
    // layout comes and however small the picture is before it.
    for (const bool shown : {true, false}) {
        SCOPED_TRACE(shown ? "window shown" : "window never shown");
        ProgramFolder folder;
        QFile ini(folder.file("sylvane.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(settingsOf("2", "25"));
        ini.close();
        LiveSession s(folder.path());
        PtyProbe probe(s.folder, 2);
        ASSERT_TRUE(probe.ok());
        s.w.Form_Load();
        if (shown) s.w.show();
        s.w.mnuStart_Click();
        ASSERT_TRUE(s.running()) << s.said();
        std::vector<Read> reads = frames(20, 1800);
        for (int i = 1; i <= 40; ++i) reads.push_back(frame(1800 + i, 4, i));
        for (std::size_t at = 0; at < reads.size(); at += 2) {
            probe.send({reads[at], reads[at + 1]});
            pump(40);
        }
        ASSERT_TRUE(waitUntil([&] { return s.w.engine.state().recordNumber == 55; }, kWait))
            << s.w.engine.state().recordNumber;
        // Every steady frame after the first mean is there.
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
    enum Fault { PortZero, Busy, Folder, ReadOnly };
    const struct {
        Fault fault;
        const char* named; // the port or the working file that refuses
        const char* title;
        const char* mention;
    } rows[] = {
        {PortZero, "COM2", "Serial port error", "no such port"},
        {Busy, "COM2", "Serial port error", "in use"},
        {Folder, "tempdata.tst", "Working files error", "Is a directory"},
        {ReadOnly, "tempdata.hdr", "Working files error", ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::to_string(r.fault) + r.named);
        LiveSession s;
        PtyProbe probe(s.folder, 2);
        ASSERT_TRUE(probe.ok());
        // The last session's files, which a refused Start must leave alone.
        const QString folderFile = r.fault == Folder ? QString::fromLatin1(r.named) : QString();
        for (const char* name : {"tempdata.hdr", "tempdata.tst", "tempdata.txt"}) {
            QFile f(s.path(name));
            if (folderFile != name) {
                ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(name));
            }
        }
        std::unique_ptr<ReadOnlyFile> readOnly;
        sylvane::acquisition::SerialLink other(s.folder);
        switch (r.fault) {
        case PortZero: // read as COM2
            s.w.LblParams[5]->setCaption(QStringLiteral("0"));
            QFile::remove(s.path("ports/com2"));
            QFile::link(s.path("no-such-device"), s.path("ports/com2"));
            break;
        case Busy:
            other.setCommPort(2);
            other.setSettings(QStringLiteral("4800,N,8,1"));
            ASSERT_TRUE(other.open()) << other.errorString().toStdString();
            break;
        case Folder:
            ASSERT_TRUE(QDir(s.folder).mkdir(folderFile));
            break;
        case ReadOnly:
            readOnly = std::make_unique<ReadOnlyFile>(s.path(r.named));
            if (!readOnly->available()) GTEST_SKIP() << readOnly->why().toStdString();
            break;
        }

        s.w.mnuStart_Click();
        expectStopped(s);
        ASSERT_EQ(s.messages.messages.size(), 1u) << s.said();
        EXPECT_EQ(s.messages.messages[0].title, r.title);
        const QString prompt = s.messages.messages[0].prompt;
        EXPECT_TRUE(prompt.contains(QString::fromLatin1(r.mention))) << prompt.toStdString();
        EXPECT_TRUE(prompt.contains(QString::fromLatin1(r.named))) << prompt.toStdString();
        EXPECT_TRUE(prompt.endsWith("Session not started.")) << prompt.toStdString();
        if (r.fault == PortZero) {
            EXPECT_EQ(s.w.LblParams[5]->caption(), "2");
        }
        for (const char* name : {"tempdata.hdr", "tempdata.tst", "tempdata.txt"})
            if (folderFile != name) {
                EXPECT_EQ(s.file(name), name);
            }
        if (r.fault == PortZero) continue;

        // Once the fault is gone, the program records as before.
        other.close();
        readOnly.reset();
        if (r.fault == Folder) {
            ASSERT_TRUE(QDir(s.folder).rmdir(folderFile));
        }
        s.w.mnuStart_Click();
        ASSERT_TRUE(s.running()) << s.said();
        probe.send(frames(7, 1400));
        ASSERT_TRUE(waitUntil([&] { return s.w.engine.state().recordNumber == 2; }, kWait));
        s.w.mnuStop_Click();
        EXPECT_EQ(s.file("tempdata.tst"), tstOf({1400}));
        EXPECT_EQ(s.file("tempdata.txt"), txtOf({1400}));
        EXPECT_EQ(s.file("tempdata.hdr"), hdrOf(1400, 1400));
        EXPECT_EQ(s.messages.messages.size(), 1u) << s.said();
    }
}

// Root opens any device, so there the program (the session driver) runs as the user nobody.
TEST(Acquisition, APortTheUserHasNoRightsToNamesTheDialoutGroup) {
    ProgramFolder folder;
    PtyProbe probe(folder.path(), 2);
    ASSERT_TRUE(probe.ok());
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
    LiveSession s;
    PtyProbe probe(s.folder, 2);
    ASSERT_TRUE(probe.ok());
    s.w.mnuStart_Click();
    probe.send(frames(20, 1700));
    ASSERT_TRUE(waitUntil([&] { return s.w.engine.state().recordNumber == 15; }, kWait));
    EXPECT_EQ(s.w.lblSysADCstart->caption(), " 1700");

    s.w.mnuRestart_Click();
    EXPECT_TRUE(s.running());
    EXPECT_TRUE(s.w.MSComm1->isOpen());
    EXPECT_EQ(s.w.lblSysADCstart->caption(), " ");
    EXPECT_EQ(s.w.engine.state().recordNumber, 1);
    for (const char* name : {"tempdata.tst", "tempdata.txt", "tempdata.hdr"})
        EXPECT_EQ(s.file(name), "") << name;

    // The filter's window carries over: the first reading is filtered at once but meets the
    // blanked reference label and goes unrecorded; eleven equal events latch 1700 again.
    probe.send(frames(11, 1700));
    ASSERT_TRUE(waitUntil([&] { return s.w.engine.state().recordNumber == 11; }, kWait));
    EXPECT_EQ(s.w.lblSysADCstart->caption(), " 1700");
    s.w.mnuStop_Click();
    EXPECT_EQ(s.file("tempdata.tst"), tstOf(std::vector<int>(10, 1700)));
    EXPECT_EQ(s.file("tempdata.hdr"), hdrOf(1700, 1700));
}

TEST(Acquisition, RegressionAnUnfinishedStepOfTheLastSessionDoesNotWidenTheNextOne) {
    LiveSession s;
    s.w.show();
    PtyProbe probe(s.folder, 2);
    ASSERT_TRUE(probe.ok());
    s.w.mnuStart_Click();
    probe.send(frames(15, 1700));
    ASSERT_TRUE(waitUntil([&] { return s.w.engine.state().recordNumber == 10; }, kWait));
    s.w.mnuStop_Click();
    s.w.engine.state().stepSum = 3.0e6f; // as if the session had ended in the middle of a step

    // Before the new latch, readings are drawn at the last session's scale, where this steady
    // signal sits on the middle line.
    s.w.mnuStart_Click();
    probe.send(frames(8, 1700));
    ASSERT_TRUE(waitUntil([&] { return s.w.engine.state().recordNumber >= 7; }, kWait));
    pump(300);
    EXPECT_EQ(s.w.lblSysADCstart->caption(), " ");
    EXPECT_EQ(s.w.LblParams[3]->caption(), "25");
    EXPECT_FALSE(s.w.lblGrafError->isVisible());
    s.w.mnuStop_Click();
}

TEST(Acquisition, RegressionTheSessionClockRunsOnAcrossMidnight) {
    LiveSession s;
    PtyProbe probe(s.folder, 2);
    ASSERT_TRUE(probe.ok());
    s.clock = 86390.0;
    s.w.mnuStart_Click();
    ASSERT_TRUE(s.running());
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
