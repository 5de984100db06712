// The serial link end to end: the probe simulator writes through a pseudo-terminal, linked as a
// COM port in a fresh program folder, and the link must hand over every 9 bytes as one receive
// event with exactly those bytes; bad settings, missing, dangling and busy ports, and a device
// that goes away must each give a clear answer, never a crash, a hang or a spinning CPU.

#include "acquisition/com_port_map.h"
#include "acquisition/serial_link.h"
#include "probe_signal.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/probe_sim_process.h"
#include "tests/support/test_support.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSerialPort>

#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <functional>

using sylvane::acquisition::SerialLink;
using sylvane::probesim::Bytes;
using sylvane::testing::ProbeSimProcess;
using sylvane::testing::ProgramFolder;
using sylvane::testing::pump;
using sylvane::testing::waitUntil;
namespace probesim = sylvane::probesim;

namespace {

constexpr int simPort = 2;
constexpr int generous = 20000; // ms; a loaded machine may be slow, a failure is not

QByteArray toBytes(const Bytes& b) {
    return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size()));
}

std::string hex(const QByteArray& bytes) {
    return bytes.toHex(' ').toStdString();
}

QByteArray joined(const std::vector<Bytes>& lines) {
    QByteArray all;
    for (const Bytes& l : lines) all += toBytes(l);
    return all;
}

QString hexLines(const std::vector<Bytes>& lines) {
    QString text = QStringLiteral("# written by the test\n");
    for (const Bytes& l : lines) {
        QStringList bytes;
        for (std::uint8_t b : l) bytes << QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0'));
        text += bytes.join(QLatin1Char(' ')) + QLatin1Char('\n');
    }
    return text;
}

QString writeFramesFile(const ProgramFolder& folder, const std::vector<Bytes>& lines) {
    const QString path = folder.file(QStringLiteral("frames.txt"));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(hexLines(lines).toLatin1());
    return path;
}

// Frames numbered 0, 1, 2, ... in the aux byte, with varied values.
std::vector<Bytes> numberedFrames(int count) {
    std::vector<Bytes> frames;
    for (int i = 0; i < count; ++i) {
        const auto f = probesim::encodeFrame({static_cast<std::uint8_t>(i),
                                              static_cast<std::uint16_t>(1000 + 37 * i),
                                              probesim::statusValid, 0});
        frames.emplace_back(f.begin(), f.end());
    }
    return frames;
}

// The same bytes cut into writes of the given sizes, in turn.
std::vector<Bytes> regrouped(const std::vector<Bytes>& lines, std::vector<int> sizes) {
    Bytes all;
    for (const Bytes& l : lines) all.insert(all.end(), l.begin(), l.end());
    std::vector<Bytes> out;
    std::size_t at = 0;
    for (std::size_t k = 0; at < all.size(); ++k) {
        const std::size_t n = std::min<std::size_t>(sizes[k % sizes.size()], all.size() - at);
        out.emplace_back(all.begin() + static_cast<std::ptrdiff_t>(at),
                         all.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
    }
    return out;
}

// Collects the receive events of a link the way the receive handler reads them.
struct Receiver {
    explicit Receiver(SerialLink& l) : link(l) {
        QObject::connect(&link, &SerialLink::OnComm, &link, [this] {
            ++events;
            if (link.commEvent() != SerialLink::comEvReceive) ++wrongCode;
            const QByteArray chunk = link.Input();
            if (chunk.size() != 9) ++wrongSize;
            if (!link.Input().isEmpty()) ++takenTwice;
            chunks << chunk;
            if (duringEvent) duringEvent(chunks.size());
        });
        QObject::connect(&link, &SerialLink::deviceLost, &link,
                         [this](const QString& reason) { lost << reason; });
    }
    QByteArray all() const { return chunks.join(); }
    int bytes() const { return static_cast<int>(all().size()); }

    SerialLink& link;
    QList<QByteArray> chunks;
    QStringList lost;
    int events = 0, wrongCode = 0, wrongSize = 0, takenTwice = 0;
    std::function<void(int)> duringEvent;
};

void configureAsTheProbe(SerialLink& link, int port = simPort) {
    link.setCommPort(port);
    ASSERT_TRUE(link.setSettings(QStringLiteral("4800,N,8,1")));
    link.setInputLen(9);
    link.setRThreshold(9);
}

// Reads what arrives on a plain descriptor, without touching its terminal settings.
QByteArray readPlain(int fd, int wanted, int timeoutMs) {
    QByteArray got;
    QDeadlineTimer deadline(timeoutMs);
    while (got.size() < wanted && !deadline.hasExpired()) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) > 0 && (p.revents & POLLIN)) {
            char buf[256];
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n > 0) got.append(buf, n);
        }
    }
    return got;
}

} // namespace

TEST(SerialLinkReceive, EachNineBytesAreOneEventWhateverTheWriteSizes) {
    const std::vector<Bytes> frames = numberedFrames(16);
    std::vector<Bytes> withStrays;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        withStrays.push_back(frames[i]);
        if (i % 3 == 1) withStrays.push_back({0x00, 0x7E});
        if (i % 5 == 2) withStrays.push_back({0x13});
    }
    const struct {
        const char* name;
        std::vector<Bytes> lines;
    } rows[] = {
        {"one frame a write", frames},
        {"single bytes", regrouped(frames, {1})},
        {"4 and 5 bytes", regrouped(frames, {4, 5})},
        {"13, 2, 7 and 20 bytes", regrouped(frames, {13, 2, 7, 20})},
        {"stray bytes between frames", withStrays},
        {"stray bytes cut in odd writes", regrouped(withStrays, {3, 11, 1})},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        ProgramFolder folder;
        ProbeSimProcess sim(folder.path(), simPort,
                            {"--frames", writeFramesFile(folder, r.lines), "--rate", "53"});
        ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
        SerialLink link(folder.path());
        configureAsTheProbe(link);
        Receiver rx(link);
        ASSERT_TRUE(link.open()) << link.errorString().toStdString();
        EXPECT_EQ(link.devicePath(), sim.devicePath());

        const QByteArray sent = joined(r.lines);
        const int whole = static_cast<int>(sent.size() / 9 * 9);
        ASSERT_TRUE(waitUntil([&] { return rx.bytes() >= whole; }, generous))
            << rx.bytes() << " of " << whole << " bytes; " << sim.log().toStdString();
        pump(300); // the remainder below 9 bytes must raise no event
        EXPECT_EQ(hex(rx.all()), hex(sent.left(whole)));
        EXPECT_EQ(rx.events, whole / 9);
        EXPECT_EQ(rx.wrongCode, 0);
        EXPECT_EQ(rx.wrongSize, 0);
        EXPECT_EQ(rx.takenTwice, 0);
        EXPECT_TRUE(rx.lost.isEmpty());
    }
}

TEST(SerialLinkReceive, GeneratedSignalWithStrayBytesArrivesByteForByte) {
    const struct {
        QStringList options;
        probesim::StreamOptions stream;
    } rows[] = {
        {{"--seed", "7", "--stray", "0.3"}, {7, 53.0, 0x04, std::nullopt, 0.3}},
        {{"--seed", "8", "--battery-low", "--probe-error"}, {8, 53.0, 0x07, std::nullopt, 0.0}},
        {{"--adc", "4095", "--invalid", "--stray", "1"}, {1, 53.0, 0x00, 4095, 1.0}},
        {{"--adc", "0", "--status", "0xF0"}, {1, 53.0, 0xF0, 0, 0.0}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.options.join(' ').toStdString());
        constexpr int frames = 60;
        probesim::FrameStream expected(r.stream);
        QByteArray sent;
        for (int i = 0; i < frames; ++i) sent += toBytes(expected.next());
        const int whole = static_cast<int>(sent.size() / 9 * 9);

        ProgramFolder folder;
        ProbeSimProcess sim(folder.path(), simPort,
                            r.options +
                                QStringList{"--rate", "53", "--count", QString::number(frames)});
        ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
        SerialLink link(folder.path());
        configureAsTheProbe(link);
        Receiver rx(link);
        ASSERT_TRUE(link.open()) << link.errorString().toStdString();
        ASSERT_TRUE(waitUntil([&] { return rx.bytes() >= whole; }, generous))
            << rx.bytes() << " of " << whole;
        pump(200);
        EXPECT_EQ(hex(rx.all()), hex(sent.left(whole)));
        EXPECT_EQ(rx.wrongSize, 0);
    }
}

TEST(SerialLinkReceive, ControlBytesPassUnchangedAcrossReopenings) {
    // Bytes a terminal in cooked mode would translate, swallow or act on.
    const Bytes control = {0x0D, 0x0A, 0x11, 0x13, 0x03, 0x04, 0x1A, 0x1C, 0x7F,
                           0xFF, 0x00, 0x0D, 0x0D, 0x0A, 0x08, 0x15, 0x17, 0x12};
    std::vector<Bytes> lines;
    for (int i = 0; i < 3; ++i) {
        const auto f = probesim::encodeFrame({0x0D, 0x0A0D, 0x13, 0x0311});
        lines.emplace_back(f.begin(), f.end());
        lines.push_back(control);
    }
    const QByteArray sent = joined(lines);
    ProgramFolder folder;
    ProbeSimProcess sim(folder.path(), simPort,
                        {"--frames", writeFramesFile(folder, lines), "--rate", "53"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    const QByteArray device = sim.devicePath().toLocal8Bit();

    // A plain reader that sets nothing up, the serial link, then a plain reader after an opener
    // that left the terminal cooked: every opening gets the bytes as they were sent.
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        QByteArray got;
        if (round == 1) {
            SerialLink link(folder.path());
            configureAsTheProbe(link);
            Receiver rx(link);
            ASSERT_TRUE(link.open()) << link.errorString().toStdString();
            ASSERT_TRUE(waitUntil([&] { return rx.bytes() >= sent.size(); }, generous));
            got = rx.all();
        } else {
            if (round == 2) {
                // An opener that leaves the terminal cooked behind it.
                const int cooked = ::open(device.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
                ASSERT_GE(cooked, 0);
                termios t{};
                ASSERT_EQ(tcgetattr(cooked, &t), 0);
                t.c_iflag |= ICRNL | IXON | ISTRIP;
                t.c_lflag |= ICANON | ISIG | ECHO | IEXTEN;
                ASSERT_EQ(tcsetattr(cooked, TCSANOW, &t), 0);
                ::close(cooked);
            }
            const int fd = ::open(device.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            ASSERT_GE(fd, 0);
            got = readPlain(fd, static_cast<int>(sent.size()), generous);
            ::close(fd);
        }
        EXPECT_EQ(hex(got), hex(sent));
        // Let the simulator see the port closed before the next opening.
        ASSERT_TRUE(waitUntil(
            [&] { return sim.log().count(QStringLiteral("COM2 closed")) > round; }, generous));
    }
}

TEST(SerialLinkReceive, EventsDuringAHandlersOwnEventLoopTakeTheNextChunks) {
    const std::vector<Bytes> frames = numberedFrames(30);
    ProgramFolder folder;
    ProbeSimProcess sim(
        folder.path(), simPort,
        {"--frames", writeFramesFile(folder, regrouped(frames, {5, 4})), "--rate", "53"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    SerialLink link(folder.path());
    configureAsTheProbe(link);
    Receiver rx(link);
    int nestedSeen = 0;
    // The first handler opens something modal: it lets events run until ten frames are in.
    rx.duringEvent = [&](int received) {
        if (received != 1) return;
        waitUntil([&] { return rx.chunks.size() >= 10; }, generous);
        nestedSeen = static_cast<int>(rx.chunks.size()) - 1;
    };
    ASSERT_TRUE(link.open()) << link.errorString().toStdString();
    const QByteArray sent = joined(frames);
    ASSERT_TRUE(waitUntil([&] { return rx.bytes() >= sent.size(); }, generous));
    pump(200);
    EXPECT_GE(nestedSeen, 9) << "receive events run while a handler lets events run";
    EXPECT_EQ(hex(rx.all()), hex(sent)) << "each chunk once, in order";
    EXPECT_EQ(rx.wrongSize, 0);
}

TEST(SerialLinkReceive, ReopeningInsideAHandlerKeepsTheEventsComing) {
    ProgramFolder folder;
    ProbeSimProcess sim(folder.path(), simPort, {"--adc", "1234", "--rate", "53"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    SerialLink link(folder.path());
    configureAsTheProbe(link);
    Receiver rx(link);
    int afterReopen = 0;
    // A Restart from the receive path: close, open again, then a message box.
    rx.duringEvent = [&](int received) {
        if (received != 2) return;
        link.close();
        ASSERT_TRUE(link.open()) << link.errorString().toStdString();
        waitUntil([&] { return rx.chunks.size() >= 8; }, generous);
        afterReopen = static_cast<int>(rx.chunks.size()) - 2;
    };
    ASSERT_TRUE(link.open()) << link.errorString().toStdString();
    ASSERT_TRUE(waitUntil([&] { return rx.events >= 10; }, generous));
    EXPECT_GE(afterReopen, 6) << "events stopped while the handler waited";
    for (const QByteArray& c : rx.chunks)
        EXPECT_EQ(hex(c.left(7)), "aa aa 01 " + hex(c.mid(3, 1)) + " d2 04 04");
}

TEST(SerialLinkReceive, BytesHeldBeforeTheOpeningAreDiscarded) {
    ProgramFolder folder;
    ProbeSimProcess sim(folder.path(), simPort, {"--adc", "1000", "--rate", "20"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    // Another opener keeps the port open without reading: frames pile up in the device.
    const int holder = ::open(sim.devicePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    int queued = 0;
    ASSERT_TRUE(waitUntil(
        [&] {
            ioctl(holder, FIONREAD, &queued);
            return queued >= 9 * 12;
        },
        generous));

    SerialLink link(folder.path());
    configureAsTheProbe(link);
    Receiver rx(link);
    ASSERT_TRUE(link.open()) << link.errorString().toStdString();
    ASSERT_TRUE(waitUntil([&] { return rx.events >= 3; }, generous));
    ::close(holder);
    // Frame numbers sit in byte 3; the first ones were sent before the opening.
    const int firstNumber = static_cast<std::uint8_t>(rx.chunks.front().at(3));
    EXPECT_GE(firstNumber, 12) << "stale frames were delivered";
    EXPECT_TRUE(rx.chunks.front().startsWith(QByteArray::fromHex("aaaa01")));
}

TEST(SerialLinkLines, DtrOffAndRtsOnDoNotStopAPseudoTerminal) {
    const struct {
        const char* name;
        bool beforeOpen;
        bool afterOpen;
        bool toggleWhileReading;
    } rows[] = {
        {"set before opening", true, false, false},
        {"set after opening", false, true, false},
        {"toggled while reading", false, true, true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        ProgramFolder folder;
        ProbeSimProcess sim(folder.path(), simPort, {"--adc", "2222", "--rate", "53"});
        ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
        SerialLink link(folder.path());
        configureAsTheProbe(link);
        Receiver rx(link);
        if (r.beforeOpen) {
            link.setDTREnable(false);
            link.setRTSEnable(true);
        }
        ASSERT_TRUE(link.open()) << link.errorString().toStdString();
        if (r.afterOpen) {
            link.setDTREnable(false);
            link.setRTSEnable(true);
        }
        EXPECT_FALSE(link.dtrEnable());
        EXPECT_TRUE(link.rtsEnable());
        ASSERT_TRUE(waitUntil([&] { return rx.events >= 3; }, generous));
        if (r.toggleWhileReading) {
            link.setDTREnable(true);
            link.setRTSEnable(false);
            link.setDTREnable(false);
            link.setRTSEnable(true);
        }
        const int before = rx.events;
        ASSERT_TRUE(waitUntil([&] { return rx.events >= before + 5; }, generous));
        EXPECT_TRUE(link.isOpen());
        EXPECT_TRUE(rx.lost.isEmpty());
        EXPECT_EQ(rx.wrongSize, 0);
        for (const QByteArray& c : rx.chunks) {
            EXPECT_TRUE(c.startsWith(QByteArray::fromHex("aaaa01"))) << hex(c);
            EXPECT_EQ(hex(c.mid(4, 3)), "ae 08 04") << hex(c);
        }
    }
}

TEST(SerialLinkSettings, MalformedTextIsRefusedClearlyAndThePreviousSettingsStay) {
    const struct {
        const char* text;
        const char* mention;
    } rows[] = {
        {"4800,N,8", "baud,parity,data bits,stop bits"},
        {"fast,N,8,1", "baud rate \"fast\""},
        {"4800,Q,8,1", "parity \"Q\""},
        {"4800,N,9,1", "data bits \"9\""},
        {"4800,N,8,3", "stop bits \"3\""},
        {"", "baud,parity,data bits,stop bits"},
    };
    ProgramFolder folder;
    ProbeSimProcess sim(folder.path(), simPort, {"--adc", "1500", "--rate", "53"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    SerialLink link(folder.path());
    configureAsTheProbe(link);
    for (const auto& r : rows) {
        QString error;
        EXPECT_FALSE(link.setSettings(QString::fromLatin1(r.text), &error)) << r.text;
        EXPECT_TRUE(error.contains(QString::fromLatin1(r.mention))) << error.toStdString();
        EXPECT_EQ(link.settings(), "4800,N,8,1");
        EXPECT_FALSE(link.setSettings(QString::fromLatin1(r.text))) << "no message wanted";
    }
    // The kept settings still open and read the probe.
    Receiver rx(link);
    ASSERT_TRUE(link.open()) << link.errorString().toStdString();
    EXPECT_TRUE(waitUntil([&] { return rx.events >= 2; }, generous));
}

TEST(SerialLinkOpen, FailuresAreToldApartAndNameThePortAndTheDevice) {
    using OpenError = SerialLink::OpenError;
    struct Row {
        const char* name;
        int port;
        // Prepares the folder; returns the expected device text ("" for none).
        std::function<QString(const ProgramFolder&)> setUp;
        QString settings;
        OpenError expected;
        QStringList mentions;
    };
    auto linkTo = [](const ProgramFolder& folder, int port, const QString& target) {
        QDir(folder.path()).mkpath(QStringLiteral("ports"));
        QFile::link(target, sylvane::acquisition::comPortLinkPath(folder.path(), port));
        return target;
    };
    const Row rows[] = {
        {"a COM number with no device",
         200,
         [](const ProgramFolder&) { return QString(); },
         "4800,N,8,1",
         OpenError::NoSuchPort,
         {"COM200", "no such port", "serial device", "com200"}},
        {"port number 0",
         0,
         [](const ProgramFolder&) { return QString(); },
         "4800,N,8,1",
         OpenError::NoSuchPort,
         {"COM0", "no such port"}},
        {"a link to a device that is gone",
         3,
         [&](const ProgramFolder& f) { return linkTo(f, 3, "/dev/pts/98765"); },
         "4800,N,8,1",
         OpenError::NoSuchPort,
         {"COM3 (/dev/pts/98765)", "no such port", "com3"}},
        {"a link to something that is not a serial port",
         4,
         [&](const ProgramFolder& f) {
             QFile file(f.file(QStringLiteral("notaport")));
             file.open(QIODevice::WriteOnly);
             file.write("x");
             file.close();
             return linkTo(f, 4, f.file(QStringLiteral("notaport")));
         },
         "4800,N,8,1",
         OpenError::Other,
         {"COM4 (", "notaport)"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ProgramFolder folder;
        const QString device = r.setUp(folder);
        SerialLink link(folder.path());
        configureAsTheProbe(link, r.port);
        ASSERT_TRUE(link.setSettings(r.settings));
        EXPECT_FALSE(link.open());
        EXPECT_FALSE(link.isOpen());
        EXPECT_EQ(link.openError(), r.expected);
        EXPECT_EQ(link.devicePath(), device);
        for (const QString& m : r.mentions)
            EXPECT_TRUE(link.errorString().contains(m))
                << link.errorString().toStdString() << " lacks " << m.toStdString();
    }
}

// Run on its own by the test below, as another program holding the port.
TEST(PortHolder, DISABLED_HoldsThePortUntilEnded) {
    const QString folder = qEnvironmentVariable("SYLVANE_HOLD_FOLDER");
    if (folder.isEmpty()) GTEST_SKIP() << "only run by SerialLinkOpen.PortInUse...";
    SerialLink link(folder);
    configureAsTheProbe(link);
    ASSERT_TRUE(link.open()) << link.errorString().toStdString();
    fprintf(stdout, "holding %s\n", qPrintable(link.devicePath()));
    fflush(stdout);
    pump(120000);
}

TEST(SerialLinkOpen, PortInUseByAnotherLinkOrProgramIsInUse) {
    ProgramFolder folder;
    ProbeSimProcess sim(folder.path(), simPort, {"--adc", "1500", "--rate", "53"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();

    for (const bool otherProgram : {false, true}) {
        SCOPED_TRACE(otherProgram ? "another program" : "another link");
        SerialLink first(folder.path());
        QProcess holder;
        if (otherProgram) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("SYLVANE_HOLD_FOLDER"), folder.path());
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            holder.setProcessEnvironment(env);
            holder.start(QCoreApplication::applicationFilePath(),
                         {"--gtest_filter=PortHolder.DISABLED_HoldsThePortUntilEnded",
                          "--gtest_also_run_disabled_tests"});
            ASSERT_TRUE(waitUntil(
                [&] {
                    holder.waitForReadyRead(20);
                    return holder.peek(4096).contains("holding") ||
                           holder.state() == QProcess::NotRunning;
                },
                generous));
            ASSERT_TRUE(holder.peek(4096).contains("holding")) << holder.readAll().toStdString();
        } else {
            configureAsTheProbe(first);
            ASSERT_TRUE(first.open()) << first.errorString().toStdString();
        }

        SerialLink second(folder.path());
        configureAsTheProbe(second);
        EXPECT_FALSE(second.open());
        EXPECT_EQ(second.openError(), SerialLink::OpenError::InUse);
        EXPECT_TRUE(second.errorString().startsWith(QStringLiteral("COM2 (") + sim.devicePath()))
            << second.errorString().toStdString();
        EXPECT_TRUE(second.errorString().contains("in use")) << second.errorString().toStdString();

        // Once the holder lets go, the port is free again.
        if (otherProgram) {
            holder.kill();
            holder.waitForFinished(generous);
        } else {
            first.close();
        }
        Receiver rx(second);
        EXPECT_TRUE(waitUntil([&] { return second.open(); }, generous))
            << second.errorString().toStdString();
        EXPECT_TRUE(waitUntil([&] { return rx.events >= 2; }, generous));
        second.close();
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
        {"stopped", {}, [](ProbeSimProcess& s) { s.stop(); }},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        ProgramFolder folder;
        ProbeSimProcess sim(folder.path(), simPort,
                            r.options + QStringList{"--adc", "1700", "--rate", "53"});
        ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
        SerialLink link(folder.path());
        configureAsTheProbe(link);
        Receiver rx(link);
        auto* port = link.findChild<QSerialPort*>();
        ASSERT_NE(port, nullptr);
        int portErrors = 0;
        QObject::connect(port, &QSerialPort::errorOccurred, port,
                         [&](QSerialPort::SerialPortError e) {
                             if (e != QSerialPort::NoError) ++portErrors;
                         });
        ASSERT_TRUE(link.open()) << link.errorString().toStdString();
        ASSERT_TRUE(waitUntil([&] { return rx.events >= 3; }, generous));

        r.endIt(sim);
        ASSERT_TRUE(waitUntil([&] { return !rx.lost.isEmpty(); }, generous)) << rx.events;
        EXPECT_FALSE(link.isOpen());
        const int errorsAtLoss = portErrors;
        pump(1000);
        EXPECT_EQ(rx.lost.size(), 1);
        EXPECT_LT(portErrors, 50) << "the port's errors were not stopped";
        EXPECT_EQ(portErrors, errorsAtLoss) << "errors went on after the port was closed";
        EXPECT_TRUE(rx.lost.front().startsWith(QStringLiteral("COM2 (") + sim.devicePath()))
            << rx.lost.front().toStdString();
        EXPECT_TRUE(rx.lost.front().contains("lost")) << rx.lost.front().toStdString();

        // The device is gone for good: its link is removed or points to nothing, and opening
        // again is no second loss.
        sim.stop();
        // A killed simulator cannot remove its link, and the pseudo-terminal number it pointed
        // to may already belong to another test's device; the others remove it.
        const bool killed = QString(r.name) == "killed";
        if (!killed) {
            EXPECT_FALSE(QFileInfo(sim.linkPath()).isSymLink());
        }
        if (killed && !QFileInfo::exists(sim.linkPath())) {
            EXPECT_FALSE(link.open());
            EXPECT_EQ(link.openError(), SerialLink::OpenError::NoSuchPort)
                << link.errorString().toStdString();
        }
        EXPECT_EQ(rx.lost.size(), 1);
    }
}

TEST(SerialLinkLost, DeviceLostWhileAHandlerWaitsEndsTheEventsCleanly) {
    ProgramFolder folder;
    ProbeSimProcess sim(folder.path(), simPort, {"--adc", "1700", "--rate", "53"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    SerialLink link(folder.path());
    configureAsTheProbe(link);
    Receiver rx(link);
    bool lostInside = false;
    // The third receive event shows a message box; the probe dies while it is open.
    rx.duringEvent = [&](int received) {
        if (received != 3) return;
        sim.process().kill();
        lostInside = waitUntil([&] { return !rx.lost.isEmpty(); }, generous);
    };
    ASSERT_TRUE(link.open()) << link.errorString().toStdString();
    ASSERT_TRUE(waitUntil([&] { return rx.events >= 3 && !rx.lost.isEmpty(); }, generous));
    EXPECT_TRUE(lostInside);
    const int eventsAtLoss = rx.events;
    pump(500);
    EXPECT_EQ(rx.lost.size(), 1);
    EXPECT_EQ(rx.events, eventsAtLoss) << "no receive event after the loss";
    EXPECT_FALSE(link.isOpen());
}

TEST(ProbeSimulator, EachOpeningStartsAfreshAndCountOrTimeEndsTheFrames) {
    const struct {
        const char* name;
        QStringList options;
        int minFrames, maxFrames;
    } rows[] = {
        {"--count", {"--count", "5", "--rate", "53"}, 5, 5},
        {"--silent-after", {"--silent-after", "0.5", "--rate", "20", "--adc", "3000"}, 1, 12},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        ProgramFolder folder;
        ProbeSimProcess sim(folder.path(), simPort, r.options);
        ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
        // Nothing piles up while no program has the port: wait longer than all the frames take.
        pump(1200);
        QList<QByteArray> firstOpening;
        for (int opening = 0; opening < 2; ++opening) {
            SCOPED_TRACE(opening);
            SerialLink link(folder.path());
            configureAsTheProbe(link);
            Receiver rx(link);
            ASSERT_TRUE(link.open()) << link.errorString().toStdString();
            ASSERT_TRUE(
                waitUntil([&] { return sim.log().count("silent after") > opening; }, generous));
            pump(300);
            const int events = rx.events;
            EXPECT_GE(events, r.minFrames);
            EXPECT_LE(events, r.maxFrames);
            pump(500);
            EXPECT_EQ(rx.events, events) << "frames after the end";
            EXPECT_TRUE(link.isOpen()) << "a silent probe is not a lost one";
            EXPECT_TRUE(rx.lost.isEmpty());
            // Frame numbering starts again at 0 with every opening.
            ASSERT_FALSE(rx.chunks.isEmpty());
            EXPECT_EQ(rx.chunks.front().at(3), 0);
            if (opening == 0) {
                firstOpening = rx.chunks;
            } else if (r.minFrames == r.maxFrames) {
                EXPECT_EQ(rx.chunks, firstOpening) << "the same frames again";
            }
            link.close();
            ASSERT_TRUE(waitUntil([&] { return sim.log().count("closed") > opening; }, generous));
        }
    }
}

TEST(ProbeSimulator, EndsCleanlyOnInterruptOrTerminateAndRemovesItsLink) {
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        ProgramFolder folder;
        ProbeSimProcess sim(folder.path(), simPort);
        ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
        EXPECT_TRUE(QFileInfo(sim.linkPath()).isSymLink());
        EXPECT_EQ(QFileInfo(sim.linkPath()).symLinkTarget(), sim.devicePath());
        ::kill(static_cast<pid_t>(sim.process().processId()), signal);
        ASSERT_TRUE(sim.process().waitForFinished(generous));
        EXPECT_EQ(sim.process().exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(sim.process().exitCode(), 0);
        EXPECT_FALSE(QFileInfo(sim.linkPath()).isSymLink());
    }
}

TEST(ProbeSimulator, RefusesBadOptionsWithAMessage) {
    const struct {
        QStringList options;
        const char* mention;
    } rows[] = {
        {{"--rate", "60"}, "--rate needs a number from 0.01 to 53"},
        {{"--rate", "fast"}, "--rate"},
        {{"--port", "0"}, "--port needs a whole number from 1 to 255"},
        {{"--adc", "70000"}, "--adc"},
        {{"--status", "1FF"}, "--status"},
        {{"--stray", "1.5"}, "--stray"},
        {{"--frames", "/nonexistent/frames.txt"}, "cannot read the frames file"},
        {{"--frames", "BAD"}, "line 2: \"ZZ\" is not a hex byte"},
        {{"--frames", "BAD", "--adc", "5"}, "do not go with it"},
        {{"--count"}, "--count needs a value"},
        {{"--colour"}, "unknown option \"--colour\""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.options.join(' ').toStdString());
        ProgramFolder folder;
        QFile bad(folder.file(QStringLiteral("bad.txt")));
        ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
        bad.write("AA AA 01\nZZ\n");
        bad.close();
        QStringList options = r.options;
        options.replaceInStrings(QStringLiteral("BAD"), bad.fileName());
        ProbeSimProcess sim(folder.path(), simPort, options);
        EXPECT_FALSE(sim.start());
        EXPECT_TRUE(sim.errorString().contains(QString::fromUtf8(r.mention)))
            << sim.errorString().toStdString();
        EXPECT_EQ(sim.process().exitCode(), 2);
        EXPECT_FALSE(QFileInfo(sim.linkPath()).isSymLink());
    }
}

SYLVANE_GTEST_QT_MAIN
