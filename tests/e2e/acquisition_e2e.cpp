// Sessions through the real window and its serial link, the probe on a pseudo-terminal: what is
// recorded and shown, the link watch, Restart, Start refused; the live picture graph.

#include "acquisition/serial_link.h"
#include "platform/label.h"
#include "platform/picture_box.h"
#include "platform/steady_time.h"
#include "platform/vb_colors.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/live_session.h"
#include "tests/support/pty_probe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstring>
#include <optional>

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

const QRgb kWhite = qRgb(255, 255, 255);

// A session drawn on a shown 480 x 270 picture at 25 %, the frames written in batches the
// pseudo-terminal holds.
struct Drawn : Probed {
    Drawn() {
        w.show();
        w.pixXYgraf->resize(480, 270);
        w.mnuStart_Click();
    }
    void feed(int count, int adc) {
        for (int sent = 0; sent < count; sent += 50) {
            const auto before = w.engine.counts().frames;
            const int n = std::min(50, count - sent);
            probe.send(frames(n, adc));
            ASSERT_TRUE(waitUntil([&] { return w.engine.counts().frames == before + n; }, kWait));
        }
    }
    int records() const { return w.engine.state().recordNumber - 1; }
    bool white(int x, int y) const { return w.pixXYgraf->image().pixel(x, y) == kWhite; }
    int x() const { return static_cast<int>(w.pixXYgraf->currentX()); }
    int y() const { return static_cast<int>(w.pixXYgraf->currentY()); }
};

} // namespace

TEST(Acquisition, SessionsRecordWhatTheFramesGiveWhenTheyArriveShowTheReadoutsAndRestart) {
    Probed s;
    s.w.TxtSeshnComnts->setText(QStringLiteral("Left hand, \"relaxed\""));
    s.clock = 86390.0; // ten seconds before midnight
    const double before = pf::steadySeconds();
    s.w.mnuStart_Click();
    const double after = pf::steadySeconds();
    ASSERT_TRUE(s.running()) << s.said();
    EXPECT_EQ(s.w.MSComm1->settings(), "4800,N,8,1");
    EXPECT_FALSE(s.w.MSComm1->dtrEnable());
    EXPECT_TRUE(s.w.MSComm1->rtsEnable());
    EXPECT_FALSE(s.w.mnuSaveFile->isEnabled() || s.w.mnuDisplayOld->isEnabled());

    // 15 steady frames: five fill the window, the sixth meets the graph's new labels, nine are
    // recorded, the 12th latches. Then an invalid frame and a read without one, neither recorded,
    // and a valid frame with the probe error and battery bits.
    std::vector<Read> reads = frames(15, 2000);
    reads.insert(reads.end(), {frame(2100), frame(2100, 4, 4), frame(1500, 4, 8), frame(2600, 0),
                               Read{1, 2, 3, 4, 5, 6, 7, 8, 9}, frame(2050, 7, 2)});
    // Reads a write and the milliseconds to the next: some within one pace of the port's
    // reading, two in one write.
    const std::pair<int, int> writes[] = {{1, 120}, {1, 310}, {1, 45},  {2, 260}, {1, 20}, {1, 20},
                                          {1, 170}, {1, 400}, {1, 90},  {2, 130}, {1, 60}, {1, 250},
                                          {1, 15},  {1, 35},  {2, 300}, {1, 110}, {1, 75}, {1, 0}};
    std::vector<double> written;
    for (const auto& [count, pause] : writes) {
        const auto at = reads.begin() + static_cast<std::ptrdiff_t>(written.size());
        s.probe.send(std::vector<Read>(at, at + count));
        written.insert(written.end(), static_cast<std::size_t>(count), pf::steadySeconds());
        pump(pause);
    }
    ASSERT_EQ(written.size(), reads.size());
    ASSERT_TRUE(s.recorded(13)) << s.w.engine.state().recordNumber;
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
                                       2000, 2000, 2020, 2040, 2008, 2018};
    // On disk while the session still runs.
    EXPECT_EQ(s.file("tempdata.tst"), tstOf(recorded));
    EXPECT_EQ(s.file("tempdata.hdr"), "");
    // Regression: the session clock runs on across midnight, and keeps its last time after Stop.
    for (const auto& [clock, shown] :
         {std::pair{86399.5, "00:00:10"}, {5.0, "00:00:15"}, {3725.0, "01:02:15"}}) {
        s.clock = clock;
        s.w.Timer1_Timer();
        EXPECT_EQ(s.w.LblParams[1]->caption(), shown) << clock;
    }

    s.w.mnuStop_Click();
    s.expectStopped();
    s.clock = 7000.0;
    s.w.Timer1_Timer();
    EXPECT_EQ(s.w.LblParams[1]->caption(), "01:02:15");
    EXPECT_EQ(s.w.LblShnStf[7]->backColor(), pf::kButtonFace);
    EXPECT_EQ(s.file("tempdata.txt"), txtOf(recorded));
    EXPECT_EQ(s.file("tempdata.hdr"), hdrOf(2000, 2040, "\\=Left hand, \\qrelaxed\\q"));
    // Every reading keeps its frame's arrival, within 60 ms, in tempdata.tms; Start fell between
    // `before` and `after`.
    const QByteArray tms = s.file("tempdata.tms");
    ASSERT_EQ(tms.size(), 13 * 4);
    for (int k = 0; k < 13; ++k) {
        quint32 ms = 0;
        std::memcpy(&ms, tms.constData() + 4 * k, 4);
        const double arrived = written[static_cast<std::size_t>(k < 12 ? k + 6 : 20)];
        EXPECT_LE(before + ms / 1000.0, arrived + 0.060) << "reading " << k + 1;
        EXPECT_GE(after + ms / 1000.0, arrived - 0.060) << "reading " << k + 1;
    }

    // A session without a reading or a comment.
    s.w.TxtSeshnComnts->setText(QString());
    s.w.mnuStart_Click();
    s.w.mnuStop_Click();
    EXPECT_EQ(s.file("tempdata.hdr"), hdrOf(4095, 0, " "));
    EXPECT_EQ(s.file("tempdata.tst"), "");

    // Restart discards the session. The filter's window, all 1700 by then, carries over: the first
    // reading meets the blanked reference label and goes unrecorded; eleven events latch again.
    s.w.mnuStart_Click();
    const auto framesBefore = s.w.engine.counts().frames;
    s.probe.send(frames(20, 1700));
    ASSERT_TRUE(waitUntil([&] { return s.w.engine.counts().frames == framesBefore + 20; }, kWait));
    s.w.mnuRestart_Click();
    EXPECT_TRUE(s.running() && s.w.MSComm1->isOpen());
    EXPECT_EQ(s.w.lblSysADCstart->caption(), " ");
    EXPECT_EQ(s.file("tempdata.tst") + s.file("tempdata.txt") + s.file("tempdata.hdr"), "");
    s.probe.send(frames(11, 1700));
    ASSERT_TRUE(s.recorded(10));
    EXPECT_EQ(s.w.lblSysADCstart->caption(), " 1700");
    s.w.mnuStop_Click();
    EXPECT_EQ(s.file("tempdata.tst"), tstOf(std::vector<int>(10, 1700)));
    EXPECT_TRUE(s.messages.messages.empty()) << s.said();
}

TEST(Acquisition, RegressionReadingsBeforeTheLatchAreKeptWhenTheLayoutComesAndTheProgramCloses) {
    // Started before the window's first layout: 20 equal frames, then 40 rising ones at about 50
    // a second. Five fill the filter, the first mean meets the graph's new labels, every later one
    // is recorded: 54, whenever the layout comes and however small the picture is before it.
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
        // Closing the program during the session writes the header as Stop does: it can be saved.
        s.w.TxtSeshnComnts->setText(QString());
        shown ? (void)s.w.close() : s.w.mnuExit_Click();
        EXPECT_EQ(s.file("tempdata.hdr"), hdrOf(1800, s.w.engine.state().maxADC, " "));
        EXPECT_FALSE(s.w.MSComm1->isOpen());
    }
}

TEST(Acquisition, StartRefusedLeavesEverythingAsBeforeThenASilenceGivesOneTimeoutAndOneStop) {
    const char* names[] = {"tempdata.hdr", "tempdata.tst", "tempdata.txt"};
    std::optional<Probed> last;
    for (const bool port : {true, false}) {
        SCOPED_TRACE(port ? "port 0, read as COM2, on no device" : "tempdata.tst a folder");
        Probed& s = last.emplace();
        // The last session's files, which a refused Start must leave alone.
        for (const char* name : names) writeFileBytes(s.path(name), name);
        if (port) {
            s.w.LblParams[5]->setCaption(QStringLiteral("0"));
            QFile::remove(s.path("ports/com2"));
            QFile::link(s.path("no-such-device"), s.path("ports/com2"));
        } else {
            QFile::remove(s.path("tempdata.tst"));
            ASSERT_TRUE(QDir(s.folder).mkdir("tempdata.tst"));
        }
        s.w.mnuStart_Click();
        s.expectStopped();
        ASSERT_EQ(s.messages.messages.size(), 1u) << s.said();
        const QString prompt = s.messages.messages[0].prompt;
        EXPECT_EQ(s.messages.messages[0].title, port ? "Serial port error" : "Working files error");
        const QStringList mention = port ? QStringList{"COM2", "no such port"}
                                         : QStringList{"tempdata.tst", "Is a directory"};
        for (const QString& m : mention) EXPECT_TRUE(prompt.contains(m)) << prompt.toStdString();
        EXPECT_TRUE(prompt.endsWith("Session not started.")) << prompt.toStdString();
        EXPECT_EQ(s.w.LblParams[5]->caption(), "2");
        for (const char* name : names)
            EXPECT_EQ(s.file(name), !port && name == names[1] ? "" : name);
    }

    // Once the fault is gone the program records as before, and a session that falls silent ends
    // with one timeout message and one Stop.
    Probed& s = *last;
    QDir(s.folder).rmdir("tempdata.tst");
    s.messages.messages.clear();
    writeFileBytes(s.path("sylvane-extra.ini"), "ReconnectWaitSeconds=0"); // a lost port ends it
    const auto ticks = [&](int n) {
        for (int i = 0; i < n; ++i) s.w.Timer1_Timer();
    };
    ticks(150); // no session: no count
    // The first mean finds the graph's labels changed and is not recorded; the next one is.
    s.w.mnuStart_Click();
    s.probe.send(frames(7, 1500));
    ASSERT_TRUE(s.recorded(1));
    ticks(100);
    s.probe.send({Read{}}); // any receive event clears the count
    ASSERT_TRUE(waitUntil([&] { return s.w.engine.state().silenceTicks == 0; }, kWait));
    ticks(100);
    EXPECT_TRUE(s.messages.messages.empty()) << s.said();

    // While the message is open the timer ticks on, readings are still recorded, and a port lost
    // meanwhile gives no second message.
    int headerWhileOpen = -1;
    s.messages.whileOpen = [&](const pf::MessageRequest&) {
        if (s.messages.messages.size() > 1) return; // a second message is the fault itself
        ticks(150);
        s.probe.send(frames(2, 1500));
        s.recorded(3);
        emit s.w.MSComm1->deviceLost(QStringLiteral("COM2 lost"));
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

TEST(PictureGraph, ReadingsBeforeTheLatchAreReplayedAndTheNextSessionMeetsTheLastScale) {
    Drawn g;
    // The twelfth frame latches 2000 and the graph redraws at its scale, 25 % either side of
    // 492325 Ohm, the readings before it replayed on the middle line.
    g.feed(15, 2000);
    EXPECT_EQ(g.file("tempdata.tst"), tstOf(std::vector<int>(9, 2000)));
    for (const auto& [i, label] : {std::pair{0, "369k"}, {2, "492k"}, {4, "615k"}})
        EXPECT_EQ(g.w.lbl4Graf[i]->caption(), label) << i;
    for (int x : {1, 3, 5, 9}) EXPECT_TRUE(g.white(x, 135)) << x;

    // The next session, before its latch, draws at the last scale (bottom ADC 1773): the means
    // toward 1500 fall off it four times, each widening costing a reading, 25 % to 61 %.
    g.w.mnuStop_Click();
    g.w.mnuStart_Click();
    g.feed(20, 1500);
    EXPECT_EQ(g.records(), 16);
    EXPECT_EQ(g.w.LblParams[3]->caption(), " 61");

    // At the widest, 1000 %, means falling toward 100 fall off the scale: the notice says so.
    g.w.mnuStop_Click();
    g.w.LblParams[3]->setCaption(QStringLiteral("1000"));
    g.w.mnuStart_Click();
    g.feed(30, 3000);
    EXPECT_EQ(g.w.lblSysADCstart->caption(), " 3000");
    g.feed(60, 100);
    EXPECT_TRUE(g.w.lblGrafError->isVisible());
    EXPECT_EQ(g.w.lblGrafError->caption(), "Maximum Sensitivity!  Graph off scale!");
    EXPECT_EQ(g.w.LblParams[3]->caption(), "1000");
    g.feed(30, 3000);
    EXPECT_FALSE(g.w.lblGrafError->isVisible()) << "hidden once a point is on scale";
    EXPECT_TRUE(g.messages.messages.empty()) << g.said();
}

TEST(PictureGraph, RegressionARedrawEndingMidStepAndAStepLeftOpenAtStop) {
    // Low resistances (ADC 3900 is 23500 Ohm), where an ADC sum is of the order of the
    // resistances added to it. 483 records: the trace reached the right edge at 481, was
    // replayed as 2 a step, step 241, the old trace cleared; record 483 opens step 242.
    Drawn g;
    g.feed(489, 3900);
    ASSERT_EQ(g.records(), 483);
    EXPECT_EQ(g.w.lbl4Graf[9]->caption(), "08:00");
    for (int x = 242; x < 480; x += 10) EXPECT_FALSE(g.white(x, 135)) << x;
    g.w.engine.requestRedraw(); // as a panel re-arrangement does
    g.feed(1, 3900);            // closes step 242 after the replay
    EXPECT_EQ(std::pair(g.x(), g.y()), std::pair(242, 135)) << "a steady reading stays level";
    g.feed(3, 3900);
    EXPECT_EQ(g.y(), 135);
    // Record 487 leaves a step open at Stop; the next session, at 1 a step, must not add it to
    // its first point (twice 23500 Ohm, off the 25 % scale).
    g.w.mnuStop_Click();
    g.w.mnuStart_Click();
    g.feed(8, 3900);
    EXPECT_EQ(g.w.LblParams[3]->caption(), "25");
    EXPECT_FALSE(g.w.lblGrafError->isVisible());
}

TEST(PictureGraph, RegressionAPictureTooSmallToDrawKeepsRecordingAndRedrawsWhenItGrowsThenADrift) {
    Drawn g;
    g.feed(15, 2048); // latched at 2048, 9 records on the middle line
    g.w.pixXYgraf->resize(8, 200);
    // Means 2044, 2041, 2037, 2034, then 2030 (478103 Ohm), 145 on the 270 pixels of 352328
    // to 587213 Ohm.
    g.feed(20, 2030);
    g.w.pixXYgraf->resize(480, 5);
    g.feed(1, 2030);
    EXPECT_EQ(g.records(), 30);
    EXPECT_TRUE(g.messages.messages.empty()) << g.said();
    g.w.pixXYgraf->resize(480, 270);
    g.feed(1, 2030);
    // The whole session replayed on the grown picture, not bridged by a line, then the live step.
    EXPECT_EQ(g.x(), 31);
    for (int x : {1, 9}) EXPECT_TRUE(g.white(x, 135)) << x;
    for (int x : {15, 20, 30}) EXPECT_TRUE(g.white(x, 145)) << x;

    // A drift to 1800 (599250 Ohm) goes off the bottom (587213 Ohm) once: widened to 31 %
    // (324142 to 615399 Ohm) and redrawn, where 1800 lies 15 pixels above the bottom edge.
    g.feed(30, 1800);
    EXPECT_EQ(g.w.LblParams[3]->caption(), " 31");
    for (const auto& [i, label] : {std::pair{0, "324k"}, {2, "469k"}, {4, "615k"}})
        EXPECT_EQ(g.w.lbl4Graf[i]->caption(), label) << i;
    EXPECT_EQ(g.y(), 255);
    for (int x : {1, 9}) EXPECT_TRUE(g.white(x, 135)) << x;
    EXPECT_EQ(g.w.lblGrafError->caption(), "Readjusting  graph");
    EXPECT_FALSE(g.w.lblGrafError->isVisible());
}

SYLVANE_GTEST_QT_MAIN
