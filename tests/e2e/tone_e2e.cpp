// The biofeedback tone through the real window and a real sound server: a PulseAudio server of the
// test's own with a null sink, whose monitor the test records (parec) while the probe simulator's
// conductance rises, a probe error comes and goes and the session stops; the program without any
// sound server; a server that goes away, and one that stalls, in the middle of a session. Each case
// runs in a process of its own (see tests/CMakeLists.txt): the sound library connects once a
// process.

#include "tests/support/gtest_qt_main.h"
#include "tests/support/live_session.h"
#include "tests/support/probe_sim_process.h"

#include <QAction>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <signal.h>

#include <array>
#include <cmath>
#include <optional>
#include <vector>

using namespace sylvane::testing;

namespace {

constexpr int kRate = 48000;

QProcessEnvironment withServer(const QString& server) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PULSE_SERVER"), server);
    return env;
}

// A PulseAudio server for this test alone: no session bus, no real device, a null sink "tone"
// whose monitor can be recorded, and a socket that anyone may use (CI runs as root).
class SoundServer {
public:
    SoundServer() {
        const QString socket = m_dir.filePath(QStringLiteral("native"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_dir.path());
        env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), m_dir.filePath(QStringLiteral("run")));
        env.insert(QStringLiteral("PULSE_STATE_PATH"), m_dir.filePath(QStringLiteral("state")));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(QStringLiteral("pulseaudio"),
                        {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=false",
                         "--realtime=false", "--high-priority=false", "--disable-shm=true",
                         "--log-target=stderr",
                         "--load=module-null-sink sink_name=tone rate=" + QString::number(kRate),
                         "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket});
        const bool up =
            m_process.waitForStarted(5000) &&
            waitUntil(
                [&] {
                    return QFileInfo::exists(socket) || m_process.state() == QProcess::NotRunning;
                },
                10000) &&
            m_process.state() == QProcess::Running;
        if (up) server = "unix:" + socket;
        m_error = m_process.errorString() + " " + QString::fromLocal8Bit(m_process.readAll());
    }
    ~SoundServer() {
        sendSignal(SIGCONT);
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) m_process.kill();
        m_process.waitForFinished(5000);
    }
    void sendSignal(int sig) {
        if (m_process.state() != QProcess::NotRunning)
            ::kill(static_cast<pid_t>(m_process.processId()), sig);
    }
    QString server;
    std::string error() const { return "no sound server here: " + m_error.toStdString(); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_error;
};

// What the null sink plays, as parec records it from its monitor: mono 16-bit samples.
class MonitorRecording {
public:
    explicit MonitorRecording(const QString& server) {
        m_process.setProcessEnvironment(withServer(server));
        m_process.start(QStringLiteral("parec"),
                        {"--device=tone.monitor", "--format=s16le", "--channels=1",
                         "--rate=" + QString::number(kRate), "--latency-msec=20"});
    }
    ~MonitorRecording() { stop(); }
    // Keeps the pipe from filling while the test waits; the samples so far.
    qsizetype drain() {
        m_bytes += m_process.readAllStandardOutput();
        return m_bytes.size() / 2;
    }
    std::vector<double> stop() {
        drain();
        m_process.terminate();
        m_process.waitForFinished(5000);
        std::vector<double> x(static_cast<std::size_t>(drain()));
        for (std::size_t i = 0; i < x.size(); ++i)
            x[i] = qFromLittleEndian<qint16>(m_bytes.constData() + 2 * i) / 32768.0;
        return x;
    }

private:
    QProcess m_process;
    QByteArray m_bytes;
};

// A stretch of the recording, sounding or silent, and the pitch of each 100 ms of a sounding
// one (from its upward zero crossings, the fades at either end left out).
struct Stretch {
    bool sounding;
    std::size_t from, to; // samples
    std::vector<double> hz;
};

// The recording cut into sounding and silent stretches of at least 50 ms (loudness over 10 ms);
// stretches that fell apart around a shorter one join again.
std::vector<Stretch> stretchesOf(const std::vector<double>& x) {
    const std::size_t window = kRate / 100;
    std::vector<Stretch> all, out;
    for (std::size_t at = 0; at + window <= x.size(); at += window) {
        double peak = 0;
        for (std::size_t n = at; n < at + window; ++n) peak = std::max(peak, std::abs(x[n]));
        if (all.empty() || all.back().sounding != (peak > 0.02))
            all.push_back({peak > 0.02, at, at, {}});
        all.back().to = at + window;
    }
    for (const Stretch& s : all) {
        if (s.to - s.from < kRate / 20) continue;
        if (!out.empty() && out.back().sounding == s.sounding)
            out.back().to = s.to;
        else
            out.push_back(s);
    }
    for (Stretch& s : out) {
        for (std::size_t at = s.from + kRate / 20; s.sounding && at + kRate / 20 * 3 <= s.to;
             at += kRate / 10) {
            std::vector<double> up;
            for (std::size_t n = at + 1; n < at + kRate / 10; ++n)
                if (x[n - 1] < 0 && x[n] >= 0)
                    up.push_back(double(n - 1) + x[n - 1] / (x[n - 1] - x[n]));
            if (up.size() > 2)
                s.hz.push_back(double(up.size() - 1) / (up.back() - up.front()) * kRate);
        }
    }
    return out;
}

double cents(double hz, double from) {
    return 1200 * std::log2(hz / from);
}

std::vector<int> valuesOf(const QByteArray& txt) {
    std::vector<int> values;
    for (const QByteArray& line : txt.split('\n'))
        if (!line.trimmed().isEmpty()) values.push_back(line.trimmed().toInt());
    return values;
}

// The window at a second start, sylvane-extra.ini written before the window reads it.
struct ExtraSettings {
    explicit ExtraSettings(const QByteArray& text) {
        writeFileBytes(prepared.file(QStringLiteral("sylvane-extra.ini")), text);
    }
    ProgramFolder prepared;
};
struct Program : ExtraSettings, LiveSession {
    explicit Program(const QByteArray& extra) : ExtraSettings(extra), LiveSession(prepared.path()) {
        load(settingsOf("2", "25"));
    }
    int recorded() const { return w.engine.state().recordNumber - 1; }
};

// The simulator playing runs of frames (count, ADC, status) at 53 a second.
QStringList framesOf(const QString& folder, const std::vector<std::array<int, 3>>& runs) {
    QStringList lines;
    for (const auto& [count, adc, status] : runs)
        for (int i = 0; i < count; ++i) lines << frameLine(adc, status, lines.size());
    return {"--rate", "53", "--frames", ProbeSimProcess::framesFile(folder, lines)};
}

} // namespace

// The pitch rises as the conductance does, from ToneBaseHz at the reference reading; the probe's
// error silences it and it comes back with the readings; Stop silences it.
TEST(Tone, PitchFollowsConductanceOnANullSink) {
    SoundServer sound;
    if (sound.server.isEmpty()) GTEST_SKIP() << sound.error();
    qputenv("PULSE_SERVER", sound.server.toLocal8Bit());
    Program p("; the tone\r\nToneVolume=60\r\n");
    EXPECT_FALSE(p.w.mnuTone->isChecked()) << "off by default";
    p.w.mnuTone->trigger();
    EXPECT_EQ(p.file("sylvane-extra.ini"), "; the tone\r\nToneVolume=60\r\nTone=1\r\n");

    // 53 readings a second: the reference latches at 2000 within a quarter of a second, the
    // conductance then rises to that of 2400 and stays; a probe error for two seconds; readings
    // again. Five frames fill the filter and the sixth meets the graph's new labels.
    std::vector<std::array<int, 3>> runs{{106, 2000, 4}};
    for (int adc = 2004; adc <= 2400; adc += 4) runs.push_back({1, adc, 4});
    runs.insert(runs.end(), {{159, 2400, 4}, {106, 2400, 5}, {106, 2400, 4}});
    ProbeSimProcess sim(p.folder, 2, framesOf(p.folder, runs));
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    MonitorRecording monitor(sound.server);
    ASSERT_TRUE(waitUntil([&] { return monitor.drain() >= kRate / 5; }, 10000)) << "no parec";
    p.w.mnuStart->trigger();
    ASSERT_TRUE(waitUntil(
        [&] {
            monitor.drain();
            return p.recorded() == 577 - 6;
        },
        40000))
        << "recorded " << p.recorded() << "; " << p.said();
    pump(500);
    p.w.mnuStop->trigger();
    pump(500);
    const std::vector<Stretch> heard = stretchesOf(monitor.stop());
    EXPECT_TRUE(p.messages.messages.empty()) << p.said();

    // Silent until the latch, the tone, silent through the probe error, the tone again for two
    // seconds of readings and half a second to Stop (less than the second without a reading
    // that silences it), and silent after Stop.
    std::string shape;
    for (const Stretch& s : heard)
        shape += (s.sounding ? "tone " : "silence ") + std::to_string(s.to - s.from) + "; ";
    ASSERT_EQ(heard.size(), 5u) << shape;
    ASSERT_FALSE(heard[0].sounding) << shape;
    EXPECT_NEAR(double(heard[2].to - heard[2].from) / kRate, 2.0, 0.4) << shape;
    EXPECT_NEAR(double(heard[3].to - heard[3].from) / kRate, 2.5, 0.4) << shape;
    // The resistance of ADC a is 470000 (4095 - a) / a Ohms, so the conductance of 2400 is
    // (2400 / 1695) / (2000 / 2095) times that of the reference 2000.
    const double high = 440 * (2400.0 / 1695) / (2000.0 / 2095);
    const std::vector<double>& rise = heard[1].hz;
    ASSERT_GT(rise.size(), 40u) << shape;
    EXPECT_NEAR(cents(rise.front(), 440), 0, 5) << rise.front();
    EXPECT_NEAR(cents(rise.back(), high), 0, 5) << rise.back();
    for (std::size_t i = 1; i < rise.size(); ++i)
        EXPECT_GT(cents(rise[i], rise[i - 1]), -5) << "the pitch falls at " << i * 100 << " ms";
    ASSERT_GT(heard[3].hz.size(), 10u);
    EXPECT_NEAR(cents(heard[3].hz.back(), high), 0, 5) << heard[3].hz.back();
}

// No sound server at all: one message says the tone cannot be heard, and the sessions record
// every reading as always.
TEST(Tone, WithoutASoundServerOneMessageAndEveryReadingRecorded) {
    QTemporaryDir none;
    qputenv("PULSE_SERVER", ("unix:" + none.filePath(QStringLiteral("no-server"))).toLocal8Bit());
    Program p("Tone=1\r\n");
    EXPECT_TRUE(p.w.mnuTone->isChecked());
    ProbeSimProcess sim(p.folder, 2, framesOf(p.folder, {{60, 2000, 4}, {60, 2100, 4}}));
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    // The filter takes a reading once the five before it are in its window, and records the
    // mean of the last five; the first reading it takes finds the graph's labels new and is not
    // recorded. Its window is kept from session to session: the second session's readings are
    // all taken, the first ones averaged with the last session's 2100.
    std::vector<int> first(54, 2000), second{2060, 2040, 2020};
    second.insert(second.end(), 56, 2000);
    for (auto* v : {&first, &second}) {
        v->insert(v->end(), {2020, 2040, 2060, 2080});
        v->insert(v->end(), 56, 2100);
    }
    for (const std::vector<int>& expected : {first, second}) {
        p.w.mnuStart->trigger();
        ASSERT_TRUE(waitUntil([&] { return p.recorded() == int(expected.size()); }, 30000))
            << "recorded " << p.recorded() << "; " << p.said();
        pump(300);
        p.w.mnuStop->trigger();
        EXPECT_EQ(valuesOf(p.file("tempdata.txt")), expected);
        EXPECT_EQ(p.file("tempdata.tst").size(), 4 * p.recorded());
    }
    ASSERT_EQ(p.messages.messages.size(), 1u) << p.said();
    EXPECT_EQ(p.messages.titles().front(), "Tone");
    EXPECT_EQ(p.messages.prompts().front(), "The tone cannot be heard: no sound output was found. "
                                            "The session goes on and is recorded as always.");
}

// The sound server goes away in the middle of a session: one message, every reading recorded,
// and the next session starts without a second message.
TEST(Tone, ASoundServerThatGoesAwayGivesOneMessage) {
    SoundServer sound;
    if (sound.server.isEmpty()) GTEST_SKIP() << sound.error();
    qputenv("PULSE_SERVER", sound.server.toLocal8Bit());
    Program p("Tone=1\r\n");
    ProbeSimProcess sim(p.folder, 2, {"--rate", "53"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    p.w.mnuStart->trigger();
    ASSERT_TRUE(waitUntil([&] { return p.recorded() >= 100; }, 20000)) << p.said();
    sound.sendSignal(SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return !p.messages.messages.empty(); }, 10000));
    const int atMessage = p.recorded();
    ASSERT_TRUE(waitUntil([&] { return p.recorded() >= atMessage + 100; }, 10000)) << p.said();
    p.w.mnuStop->trigger();
    p.w.mnuStart->trigger();
    ASSERT_TRUE(waitUntil([&] { return p.recorded() >= 100; }, 20000)) << p.said();
    pump(3000);
    p.w.mnuStop->trigger();
    EXPECT_EQ(p.messages.prompts(),
              QStringList{"The tone cannot be heard: the sound output stopped (the sound system "
                          "is gone). The session goes on and is recorded as always."});
    EXPECT_EQ(int(valuesOf(p.file("tempdata.txt")).size()), p.recorded());
    EXPECT_EQ(p.file("tempdata.tst").size(), 4 * p.recorded());
}

// The sound server stops answering (SIGSTOP), in the middle of a session and then already at
// Start: the tone falls silent with one message, every reading goes on being recorded, and the
// program still closes at once, even with its audio thread stuck in the sound library.
TEST(Tone, AStalledSoundServerGivesOneMessageAndRecordingGoesOn) {
    SoundServer sound;
    if (sound.server.isEmpty()) GTEST_SKIP() << sound.error();
    ProgramFolder folder;
    writeFileBytes(folder.file(QStringLiteral("sylvane-extra.ini")), "Tone=1\r\n");
    ProbeSimProcess sim(folder.path(), 2, {"--rate", "53"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    for (const bool atStart : {false, true}) {
        SCOPED_TRACE(atStart ? "stalled at Start" : "stalled mid-session");
        std::optional<MonitorRecording> monitor;
        if (!atStart) {
            monitor.emplace(sound.server);
            ASSERT_TRUE(waitUntil([&] { return monitor->drain() >= kRate / 5; }, 10000));
        }
        QProcess driver;
        driver.setProcessEnvironment(withServer(sound.server));
        driver.start(QStringLiteral(SYLVANE_SESSION_DRIVER), {"--folder", folder.path()});
        QByteArray said;
        int recorded = 0;
        // Follows the driver's lines until recorded readings reach n.
        const auto recordedReach = [&](int n, const char* also = "") {
            return waitUntil(
                [&] {
                    said += driver.readAllStandardOutput();
                    const qsizetype at = said.lastIndexOf("recorded ");
                    if (at >= 0)
                        recorded = said.mid(at + 9, said.indexOf('\n', at) - at - 9).toInt();
                    if (monitor) monitor->drain();
                    return recorded >= n && said.contains(also);
                },
                30000);
        };
        // The tone is heard once the reference has latched (about a second at 53 a second).
        ASSERT_TRUE(recordedReach(160)) << said.toStdString();
        if (monitor) {
            const std::vector<double> x = monitor->stop();
            double peak = 0;
            for (std::size_t n = x.size() > kRate / 2 ? x.size() - kRate / 2 : 0; n < x.size(); ++n)
                peak = std::max(peak, std::abs(x[n]));
            EXPECT_GT(peak, 0.1) << "the tone is playing before the server stalls";
            sound.sendSignal(SIGSTOP);
        }
        ASSERT_TRUE(recordedReach(0, "message ")) << said.toStdString();
        ASSERT_TRUE(recordedReach(recorded + 150)) << "recording goes on: " << said.toStdString();
        EXPECT_EQ(said.count("message "), 1) << said.toStdString();
        EXPECT_TRUE(said.contains(QByteArray("message Tone: The tone cannot be heard: ") +
                                  (atStart ? "the sound system does not answer."
                                           : "the sound output takes no sound (it has stalled).")))
            << said.toStdString();
        driver.write("quit\n");
        EXPECT_TRUE(driver.waitForFinished(5000)) << "the program is held by the sound library";
        recordedReach(0);
        EXPECT_EQ(driver.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(driver.exitCode(), 0);
        EXPECT_EQ(int(valuesOf(readFileBytes(folder.file("tempdata.txt"))).size()), recorded);
        EXPECT_EQ(readFileBytes(folder.file("tempdata.tst")).size(), 4 * recorded);
        if (driver.state() != QProcess::NotRunning) driver.kill();
    }
}

SYLVANE_GTEST_QT_MAIN
