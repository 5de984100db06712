// The serial link against the probe simulator on a pseudo-terminal: every 9 bytes one receive
// event with those bytes, a clear answer for each port that cannot be used, a lost device reported
// once; the real window waiting for a pulled adapter if told to.

#include "acquisition/com_port_map.h"
#include "acquisition/serial_link.h"
#include "platform/label.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/live_session.h"
#include "tests/support/probe_sim_process.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

using sylvane::acquisition::SerialLink;
using namespace sylvane::testing;

namespace {

constexpr int kWait = 30000;

// Read on arrival, and at the window's pace.
constexpr int kPaces[] = {0, 50};

// The link as the window sets it up, with the probe simulator behind COM2.
struct Line {
    explicit Line(const QStringList& options, int port = 2, int pace = 0)
        : sim(folder.path(), 2, options) {
        link.setCommPort(port);
        link.setReadInterval(pace);
        link.setSettings(QStringLiteral("4800,N,8,1"));
        link.setDTREnable(false);
        link.setRTSEnable(true);
        QObject::connect(&link, &SerialLink::OnComm, &link, [this] {
            ++events;
            // A new batch: more than 10 ms since the event before.
            batches += !clock.isValid() || clock.elapsed() > 10;
            clock.start();
            const QByteArray chunk = link.Input();
            bad += link.commEvent() != SerialLink::comEvReceive || chunk.size() != 9 ||
                   !link.Input().isEmpty();
            chunks << chunk;
            if (duringEvent) duringEvent(events);
        });
        QObject::connect(&link, &SerialLink::deviceLost, &link,
                         [this](const QString& reason) { lost << reason; });
    }
    ProgramFolder folder;
    ProbeSimProcess sim;
    SerialLink link{folder.path()};
    QList<QByteArray> chunks;
    QStringList lost;
    int events = 0, bad = 0, batches = 0;
    QElapsedTimer clock;
    std::function<void(int)> duringEvent;
};

// The bytes as hex lines of a frames file, cut into writes of the given sizes in turn.
QStringList cut(const QByteArray& bytes, const std::vector<int>& sizes) {
    QStringList lines;
    for (qsizetype at = 0, k = 0; at < bytes.size(); at += sizes[k++ % sizes.size()])
        lines << QString::fromLatin1(bytes.mid(at, sizes[k % sizes.size()]).toHex(' '));
    return lines;
}

// The working files hold every reading the session recorded, all 1700; returns their number.
int expectFiles(const LiveSession& s) {
    const int n = s.w.engine.state().recordNumber - 1;
    const std::vector<int> records(static_cast<std::size_t>(n), 1700);
    EXPECT_EQ(s.file("tempdata.tst"), tstOf(records));
    EXPECT_EQ(s.file("tempdata.txt"), txtOf(records));
    EXPECT_EQ(s.file("tempdata.hdr"), hdrOf(1700, 1700));
    return n;
}

} // namespace

TEST(SerialLinkReceive, EachNineBytesAreOneEventWithThoseBytesWhateverTheWriteSizes) {
    QByteArray frames, withStrays;
    for (int i = 0; i < 16; ++i) {
        const QByteArray f = QByteArray::fromHex(frameLine(1000 + 37 * i, 4, i).toLatin1());
        frames += f;
        withStrays += f + (i % 3 == 1 ? QByteArray::fromHex("007e") : "") +
                      (i % 5 == 2 ? QByteArray::fromHex("13") : "");
    }
    // Bytes a terminal in cooked mode would translate, swallow or act on.
    const QByteArray control =
        QByteArray::fromHex("aaaa010d0d0a1311030d0a111303041a1c7fff000d0d0a08151712").repeated(3);
    // The writes, and whether another opener left the terminal cooked.
    const std::tuple<const char*, QStringList, bool> rows[] = {
        {"single bytes", cut(frames, {1}), false},
        {"stray bytes cut in odd writes", cut(withStrays, {3, 11, 1, 20}), false},
        {"control bytes after a cooked opener", cut(control, {9, 18}), true}};
    for (const auto& [name, lines, cookedFirst] : rows)
        for (const int pace : kPaces) {
            SCOPED_TRACE(name + QStringLiteral(", paced every %1 ms").arg(pace).toStdString());
            ProgramFolder scripts;
            Line t({"--frames", ProbeSimProcess::framesFile(scripts.path(), lines), "--rate", "53"},
                   2, pace);
            ASSERT_TRUE(t.sim.start()) << t.sim.errorString().toStdString();
            if (cookedFirst) {
                const int fd =
                    ::open(t.sim.devicePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
                termios tio{};
                ASSERT_EQ(tcgetattr(fd, &tio), 0);
                tio.c_iflag |= ICRNL | IXON | ISTRIP;
                tio.c_lflag |= ICANON | ISIG | ECHO | IEXTEN;
                ASSERT_EQ(tcsetattr(fd, TCSANOW, &tio), 0);
                ::close(fd);
            }
            ASSERT_TRUE(t.link.open()) << t.link.errorString().toStdString();
            // DTR and RTS fail on a pseudo-terminal, which must go on reading all the same.
            t.link.setDTREnable(true);
            t.link.setRTSEnable(false);
            const QByteArray sent = QByteArray::fromHex(lines.join(' ').toLatin1());
            const qsizetype whole = sent.size() / 9 * 9;
            ASSERT_TRUE(waitUntil([&] { return t.chunks.join().size() >= whole; }, kWait))
                << t.sim.log().toStdString();
            pump(300); // the remainder below 9 bytes raises no event
            EXPECT_EQ(t.chunks.join().toHex(' '), sent.left(whole).toHex(' '));
            EXPECT_EQ(t.bad, 0);
            EXPECT_TRUE(t.lost.isEmpty());
        }
}

TEST(SerialLinkOpen, FailuresAreToldApartAndNameThePortAndTheDevice) {
    enum Setup { Nothing, Dangling, NotSerial, OtherProgram };
    const std::tuple<Setup, int, SerialLink::OpenError, QStringList> rows[] = {
        {Nothing, 200, SerialLink::OpenError::NoSuchPort, {"COM200", "no such port", "com200"}},
        {Dangling, 3, SerialLink::OpenError::NoSuchPort, {"COM3 (/dev/pts/98765)", "no such port"}},
        {NotSerial, 4, SerialLink::OpenError::Other, {"COM4 (", "notaport)"}},
        {OtherProgram, 2, SerialLink::OpenError::InUse, {"COM2 (/dev/pts/", "in use"}}};
    for (const auto& [setup, port, expected, mentions] : rows) {
        SCOPED_TRACE(setup);
        Line t({"--adc", "1500", "--rate", "53"}, port);
        const QString link = sylvane::acquisition::comPortLinkPath(t.folder.path(), port);
        QDir(t.folder.path()).mkpath(QStringLiteral("ports"));
        QProcess holder;
        if (setup == Dangling) QFile::link(QStringLiteral("/dev/pts/98765"), link);
        if (setup == NotSerial) {
            writeFileBytes(t.folder.file("notaport"), "x");
            QFile::link(t.folder.file("notaport"), link);
        }
        if (setup == OtherProgram) { // the real window holding the port in another process
            ASSERT_TRUE(t.sim.start()) << t.sim.errorString().toStdString();
            holder.start(QStringLiteral(SYLVANE_SESSION_DRIVER), {"--folder", t.folder.path()});
            ASSERT_TRUE(waitUntil([&] { return holder.peek(64).startsWith("started"); }, kWait));
        }
        EXPECT_FALSE(t.link.open());
        EXPECT_EQ(t.link.openError(), expected);
        for (const QString& m : mentions)
            EXPECT_TRUE(t.link.errorString().contains(m)) << t.link.errorString().toStdString();
        holder.kill();
        holder.waitForFinished(kWait);
    }
}

TEST(SerialLinkLost, AVanishedDeviceIsReportedOnceWithoutSpinning) {
    // Killed while the third event's handler lets events run (as a message box does), or gone
    // by itself.
    for (const bool killed : {false, true})
        for (const int pace : kPaces) {
            SCOPED_TRACE((killed ? "killed in a handler, paced " : "vanishes, paced ") +
                         std::to_string(pace));
            Line t(QStringList{"--adc", "1700", "--rate", "53"} +
                       (killed ? QStringList{} : QStringList{"--vanish-after", "1"}),
                   2, pace);
            ASSERT_TRUE(t.sim.start()) << t.sim.errorString().toStdString();
            auto* port = t.link.findChild<QSerialPort*>();
            ASSERT_NE(port, nullptr);
            int portErrors = 0;
            QObject::connect(port, &QSerialPort::errorOccurred, port,
                             [&](QSerialPort::SerialPortError e) { portErrors += e != 0; });
            bool lostInside = !killed;
            t.duringEvent = [&](int event) {
                if (!killed || event != 3) return;
                t.sim.process().kill();
                lostInside = waitUntil([&] { return !t.lost.isEmpty(); }, kWait);
            };
            ASSERT_TRUE(t.link.open()) << t.link.errorString().toStdString();
            ASSERT_TRUE(waitUntil([&] { return !t.lost.isEmpty(); }, kWait)) << t.events;
            EXPECT_TRUE(lostInside);
            EXPECT_FALSE(t.link.isOpen());
            const int errorsAtLoss = portErrors, events = t.events;
            pump(1000);
            EXPECT_EQ(t.lost.size(), 1);
            EXPECT_EQ(t.events, events) << "no receive event after the loss";
            EXPECT_EQ(portErrors, errorsAtLoss) << "errors went on after the port was closed";
            EXPECT_TRUE(t.lost.front().startsWith("COM2 (" + t.sim.devicePath()) &&
                        t.lost.front().contains("lost"))
                << t.lost.front().toStdString();
            // Paced, the frames that came in meanwhile are taken together, not one wake-up each.
            if (pace > 0 && !killed) {
                EXPECT_LT(t.batches * 3, t.events * 2) << t.batches;
            }
        }
}

TEST(ProbeSimulator, EndsCleanlyOnASignalAndRefusesANoiseWithAFixedValue) {
    Line t({});
    ASSERT_TRUE(t.sim.start()) << t.sim.errorString().toStdString();
    EXPECT_EQ(QFileInfo(t.sim.linkPath()).symLinkTarget(), t.sim.devicePath());
    ::kill(static_cast<pid_t>(t.sim.process().processId()), SIGINT);
    ASSERT_TRUE(t.sim.process().waitForFinished(kWait));
    EXPECT_EQ(t.sim.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(t.sim.process().exitCode(), 0);
    EXPECT_FALSE(QFileInfo(t.sim.linkPath()).isSymLink());
    ProgramFolder folder;
    ProbeSimProcess bad(folder.path(), 2, {"--adc", "1700", "--noise", "2"});
    ASSERT_FALSE(bad.start());
    EXPECT_TRUE(bad.errorString().contains("exit code 2") &&
                bad.errorString().contains("--noise does not go with it"))
        << bad.errorString().toStdString();
    EXPECT_FALSE(QFileInfo::exists(folder.file("ports")));
}

TEST(LineFaults, APulledAdapterEndsTheSessionOrIsWaitedForAndGoesOnInTheSameSession) {
    LiveSession s;
    const auto pulled = [&](const char* wait, const QStringList& more) {
        QFile::remove(s.path("sylvane-extra.ini"));
        if (wait)
            writeFileBytes(s.path("sylvane-extra.ini"), QByteArray("ReconnectWaitSeconds=") + wait);
        auto sim = std::make_unique<ProbeSimProcess>(
            s.folder, 2,
            QStringList{"--adc", "1700", "--rate", "53", "--vanish-after", "1"} + more);
        EXPECT_TRUE(sim->start()) << sim->errorString().toStdString();
        s.messages.messages.clear();
        s.w.mnuStart_Click();
        return sim;
    };
    // No wait: the session ends at once; not back within the wait: it ends through Stop as
    // without one.
    for (const char* wait : {"0", "1"}) {
        SCOPED_TRACE(wait);
        auto sim = pulled(wait, {});
        if (*wait == '1') {
            ASSERT_TRUE(waitUntil([&] { return s.w.waitingForProbe(); }, kWait));
            EXPECT_TRUE(s.running() && s.messages.messages.empty()) << s.said();
        }
        ASSERT_TRUE(waitUntil([&] { return !s.running(); }, kWait));
        ASSERT_EQ(s.messages.titles(), QStringList{"Serial port error"});
        const QString& said = s.messages.messages[0].prompt;
        EXPECT_TRUE(said.contains("COM2") && said.endsWith("Session Stopped !!")) << s.said();
        EXPECT_FALSE(s.w.MSComm1->isOpen() || s.w.waitingForProbe());
        EXPECT_GT(expectFiles(s), 10);
    }

    // Back after 2 s of the default 60: the same session goes on, every reading in its files, the
    // marker at the last reading before the gap. The link watch, which ends a session silent for
    // 100 ticks, ticks faster than the real timer meanwhile and must not end it.
    auto sim = pulled(nullptr, {"--reappear-after", "2"});
    ASSERT_TRUE(waitUntil([&] { return s.w.waitingForProbe(); }, kWait));
    const int before = s.w.engine.state().recordNumber - 1;
    EXPECT_GT(before, 10);
    EXPECT_TRUE(s.w.LblParams[6]->isVisibleTo(s.w.FrameParams));
    EXPECT_TRUE(s.w.LblParams[6]->caption().startsWith("Waiting for the probe: ")) << s.said();
    for (int i = 0; i < 2000 && s.w.waitingForProbe(); ++i) {
        s.w.Timer1_Timer();
        if (i % 5 == 0) pump(50);
    }
    ASSERT_FALSE(s.w.waitingForProbe()) << sim->log().toStdString();
    ASSERT_TRUE(s.running()) << s.said();
    EXPECT_FALSE(s.w.LblParams[6]->isVisibleTo(s.w.FrameParams));
    ASSERT_TRUE(waitUntil([&] { return s.w.engine.state().recordNumber > before + 50; }, kWait));
    s.w.mnuStop_Click();
    EXPECT_TRUE(s.messages.messages.empty()) << s.said();
    const int recorded = expectFiles(s);
    // The marker stands at the last reading before the gap, at that reading's recorded time.
    const QByteArray times = s.file("tempdata.tms");
    ASSERT_EQ(times.size(), recorded * 4);
    quint32 ms = 0;
    std::memcpy(&ms, times.constData() + 4 * (before - 1), 4);
    EXPECT_EQ(s.file("tempdata.mrk"), QByteArray::number(before) + "," +
                                          QByteArray::number(ms / 1000.0, 'f', 3) +
                                          ",\"probe reconnected\"\r\n");
}

SYLVANE_GTEST_QT_MAIN
