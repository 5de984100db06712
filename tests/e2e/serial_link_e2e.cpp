// The serial link against the probe simulator on a pseudo-terminal: every 9 bytes one receive
// event with exactly those bytes, and a clear answer for each port that cannot be used.

#include "acquisition/com_port_map.h"
#include "acquisition/serial_link.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/probe_sim_process.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSerialPort>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <memory>

using sylvane::acquisition::SerialLink;
using namespace sylvane::testing;

namespace {

constexpr int kWait = 20000;

// The link as the window sets it up, with the probe simulator behind COM2.
struct Line {
    explicit Line(const QStringList& options, int port = 2) : sim(folder.path(), 2, options) {
        link.setCommPort(port);
        link.setSettings(QStringLiteral("4800,N,8,1"));
        link.setDTREnable(false);
        link.setRTSEnable(true);
        QObject::connect(&link, &SerialLink::OnComm, &link, [this] {
            ++events;
            const QByteArray chunk = link.Input();
            if (link.commEvent() != SerialLink::comEvReceive || chunk.size() != 9 ||
                !link.Input().isEmpty())
                ++bad;
            chunks << chunk;
            if (duringEvent) duringEvent(events);
        });
        QObject::connect(&link, &SerialLink::deviceLost, &link,
                         [this](const QString& reason) { lost << reason; });
    }
    QByteArray all() const { return chunks.join(); }

    ProgramFolder folder;
    ProbeSimProcess sim;
    SerialLink link{folder.path()};
    QList<QByteArray> chunks;
    QStringList lost;
    int events = 0, bad = 0;
    std::function<void(int)> duringEvent;
};

// The same bytes as hex lines of a frames file, cut into writes of the given sizes in turn.
QStringList cut(const QByteArray& bytes, const std::vector<int>& sizes) {
    QStringList lines;
    for (qsizetype at = 0, k = 0; at < bytes.size(); at += sizes[k++ % sizes.size()])
        lines << QString::fromLatin1(bytes.mid(at, sizes[k % sizes.size()]).toHex(' '));
    return lines;
}

QByteArray numberedFrames(int count) {
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += QByteArray::fromHex(frameLine(1000 + 37 * i, 4, i).toLatin1());
    return out;
}

} // namespace

TEST(SerialLinkReceive, EachNineBytesAreOneEventWithThoseBytesWhateverTheWriteSizes) {
    const QByteArray frames = numberedFrames(16);
    QByteArray withStrays;
    for (int i = 0; i < 16; ++i)
        withStrays += frames.mid(9 * i, 9) + (i % 3 == 1 ? QByteArray::fromHex("007e") : "") +
                      (i % 5 == 2 ? QByteArray::fromHex("13") : "");
    // Bytes a terminal in cooked mode would translate, swallow or act on.
    QByteArray control;
    for (int i = 0; i < 3; ++i)
        control += QByteArray::fromHex("aaaa010d0d0a131103"
                                       "0d0a111303041a1c7fff000d0d0a08151712");
    const struct {
        const char* name;
        QStringList lines;
        bool cookedFirst; // another opener left the terminal cooked
    } rows[] = {
        {"single bytes", cut(frames, {1}), false},
        {"13, 2, 7 and 20 bytes", cut(frames, {13, 2, 7, 20}), false},
        {"stray bytes cut in odd writes", cut(withStrays, {3, 11, 1}), false},
        {"control bytes after a cooked opener", cut(control, {9, 18}), true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        ProgramFolder scripts;
        Line t({"--frames", ProbeSimProcess::framesFile(scripts.path(), r.lines), "--rate", "53"});
        ProbeSimProcess& sim = t.sim;
        ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
        if (r.cookedFirst) {
            const int fd = ::open(sim.devicePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
            ASSERT_GE(fd, 0);
            termios tio{};
            ASSERT_EQ(tcgetattr(fd, &tio), 0);
            tio.c_iflag |= ICRNL | IXON | ISTRIP;
            tio.c_lflag |= ICANON | ISIG | ECHO | IEXTEN;
            ASSERT_EQ(tcsetattr(fd, TCSANOW, &tio), 0);
            ::close(fd);
        }
        ASSERT_TRUE(t.link.open()) << t.link.errorString().toStdString();
        EXPECT_EQ(t.link.devicePath(), sim.devicePath());
        // DTR and RTS fail on a pseudo-terminal, which must go on reading all the same.
        t.link.setDTREnable(true);
        t.link.setRTSEnable(false);
        EXPECT_TRUE(t.link.dtrEnable());

        const QByteArray sent = QByteArray::fromHex(r.lines.join(' ').toLatin1());
        const qsizetype whole = sent.size() / 9 * 9;
        ASSERT_TRUE(waitUntil([&] { return t.all().size() >= whole; }, kWait))
            << t.all().size() << " of " << whole << "; " << sim.log().toStdString();
        pump(300); // the remainder below 9 bytes raises no event
        EXPECT_EQ(t.all().toHex(' '), sent.left(whole).toHex(' '));
        EXPECT_EQ(t.events, whole / 9);
        EXPECT_EQ(t.bad, 0);
        EXPECT_TRUE(t.lost.isEmpty());
    }
}

TEST(SerialLinkReceive, ADeviceLostWhileAHandlerLetsEventsRunIsReportedOnce) {
    Line t({"--adc", "1234", "--rate", "53"});
    ASSERT_TRUE(t.sim.start()) << t.sim.errorString().toStdString();
    bool lostInside = false;
    // The third event opens a message box, which lets events run, and the device goes.
    t.duringEvent = [&](int event) {
        if (event != 3) return;
        t.sim.process().kill();
        lostInside = waitUntil([&] { return !t.lost.isEmpty(); }, kWait);
    };
    ASSERT_TRUE(t.link.open()) << t.link.errorString().toStdString();
    ASSERT_TRUE(waitUntil([&] { return !t.lost.isEmpty(); }, kWait));
    const int events = t.events;
    pump(500);
    EXPECT_EQ(t.bad, 0);
    EXPECT_TRUE(lostInside);
    EXPECT_EQ(t.lost.size(), 1);
    EXPECT_EQ(t.events, events) << "no receive event after the loss";
    EXPECT_FALSE(t.link.isOpen());
}

TEST(SerialLinkOpen, FailuresAreToldApartAndNameThePortAndTheDevice) {
    enum Setup { Nothing, Dangling, NotSerial, OtherProgram };
    const struct {
        Setup setup;
        int port;
        SerialLink::OpenError expected;
        QStringList mentions;
    } rows[] = {
        {Nothing, 200, SerialLink::OpenError::NoSuchPort, {"COM200", "no such port", "com200"}},
        {Dangling, 3, SerialLink::OpenError::NoSuchPort, {"COM3 (/dev/pts/98765)", "no such port"}},
        {NotSerial, 4, SerialLink::OpenError::Other, {"COM4 (", "notaport)"}},
        {OtherProgram, 2, SerialLink::OpenError::InUse, {"COM2 (/dev/pts/", "in use"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.setup);
        Line t({"--adc", "1500", "--rate", "53"}, r.port);
        const QString link = sylvane::acquisition::comPortLinkPath(t.folder.path(), r.port);
        QDir(t.folder.path()).mkpath(QStringLiteral("ports"));
        QProcess holder;
        if (r.setup == Dangling) QFile::link(QStringLiteral("/dev/pts/98765"), link);
        if (r.setup == NotSerial) {
            QFile file(t.folder.file(QStringLiteral("notaport")));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("x"));
            QFile::link(file.fileName(), link);
        }
        if (r.setup == OtherProgram) {
            ASSERT_TRUE(t.sim.start()) << t.sim.errorString().toStdString();
            holder.start(QStringLiteral(SYLVANE_SESSION_DRIVER), {"--folder", t.folder.path()});
            ASSERT_TRUE(waitUntil([&] { return holder.peek(64).startsWith("started"); }, kWait))
                << holder.readAllStandardError().toStdString();
        }
        EXPECT_FALSE(t.link.open());
        EXPECT_FALSE(t.link.isOpen());
        EXPECT_EQ(t.link.openError(), r.expected);
        for (const QString& m : r.mentions)
            EXPECT_TRUE(t.link.errorString().contains(m))
                << t.link.errorString().toStdString() << " lacks " << m.toStdString();
        if (r.expected != SerialLink::OpenError::InUse) continue;

        // Once the holder lets go, the port is free again.
        holder.kill();
        holder.waitForFinished(kWait);
        EXPECT_TRUE(waitUntil([&] { return t.link.open(); }, kWait))
            << t.link.errorString().toStdString();
        EXPECT_TRUE(waitUntil([&] { return t.events >= 2; }, kWait));
    }
}

TEST(SerialLinkLost, AVanishedDeviceIsReportedOnceWithoutSpinning) {
    const struct {
        const char* name;
        QStringList options;
        std::function<void(ProbeSimProcess&)> endIt;
    } rows[] = {
        {"vanishes by itself", {"--vanish-after", "1"}, [](ProbeSimProcess&) {}},
        {"killed", {}, [](ProbeSimProcess& s) { s.process().kill(); }},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Line t(r.options + QStringList{"--adc", "1700", "--rate", "53"});
        ASSERT_TRUE(t.sim.start()) << t.sim.errorString().toStdString();
        auto* port = t.link.findChild<QSerialPort*>();
        ASSERT_NE(port, nullptr);
        int portErrors = 0;
        QObject::connect(port, &QSerialPort::errorOccurred, port,
                         [&](QSerialPort::SerialPortError e) { portErrors += e != 0; });
        ASSERT_TRUE(t.link.open()) << t.link.errorString().toStdString();
        ASSERT_TRUE(waitUntil([&] { return t.events >= 3; }, kWait));

        r.endIt(t.sim);
        ASSERT_TRUE(waitUntil([&] { return !t.lost.isEmpty(); }, kWait)) << t.events;
        EXPECT_FALSE(t.link.isOpen());
        const int errorsAtLoss = portErrors;
        pump(1000);
        EXPECT_EQ(t.lost.size(), 1);
        EXPECT_LT(portErrors, 50) << "the port's errors were not stopped";
        EXPECT_EQ(portErrors, errorsAtLoss) << "errors went on after the port was closed";
        EXPECT_TRUE(t.lost.front().startsWith("COM2 (" + t.sim.devicePath()))
            << t.lost.front().toStdString();
        EXPECT_TRUE(t.lost.front().contains("lost")) << t.lost.front().toStdString();
    }
}

TEST(ProbeSimulator, EndsCleanlyOnASignalAndRemovesItsLink) {
    for (const int signal : {SIGINT, SIGTERM}) {
        Line t({});
        ASSERT_TRUE(t.sim.start()) << t.sim.errorString().toStdString();
        EXPECT_EQ(QFileInfo(t.sim.linkPath()).symLinkTarget(), t.sim.devicePath());
        ::kill(static_cast<pid_t>(t.sim.process().processId()), signal);
        ASSERT_TRUE(t.sim.process().waitForFinished(kWait));
        EXPECT_EQ(t.sim.process().exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(t.sim.process().exitCode(), 0);
        EXPECT_FALSE(QFileInfo(t.sim.linkPath()).isSymLink());
    }
}

TEST(ProbeSimulator, RefusesABadNoiseWithAMessageAndLinksNothing) {
    const struct {
        QStringList options;
        const char* message;
    } rows[] = {
        {{"--noise", "-1"}, "--noise needs a number from 0 to 500, not \"-1\""},
        {{"--noise", "lots"}, "--noise needs a number from 0 to 500, not \"lots\""},
        {{"--adc", "1700", "--noise", "2"}, "--noise does not go with it"},
        {{"--frames", "frames.txt", "--noise", "2"}, "--noise, --status"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.options.join(' ').toStdString());
        ProgramFolder folder;
        ProbeSimProcess sim(folder.path(), 2, r.options);
        ASSERT_FALSE(sim.start());
        EXPECT_TRUE(sim.errorString().contains("exit code 2")) << sim.errorString().toStdString();
        EXPECT_TRUE(sim.errorString().contains(r.message)) << sim.errorString().toStdString();
        EXPECT_FALSE(QFileInfo::exists(folder.file("ports")));
    }
}

SYLVANE_GTEST_QT_MAIN
