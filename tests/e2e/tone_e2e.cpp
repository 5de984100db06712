// The tone through the real window and a PulseAudio server of the test's own, its null sink's
// monitor recorded (parec) while the simulated conductance rises, a probe error comes and goes and
// the session stops; the program without a sound server, with one that goes away or stalls.

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
        m_process.waitForStarted(5000);
        const auto up = [&] {
            return QFileInfo::exists(socket) && m_process.state() == QProcess::Running;
        };
        waitUntil([&] { return up() || m_process.state() == QProcess::NotRunning; }, 10000);
        if (up()) server = "unix:" + socket;
        error = "no sound server here: " + m_process.errorString().toStdString() + " " +
                m_process.readAll().toStdString();
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
    std::string error;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};

// A stretch of the recording, sounding or silent, and the pitch of each 100 ms of a sounding one
// (from its upward zero crossings, the fades at either end left out).
struct Stretch {
    bool sounding;
    std::size_t from, to; // samples
    std::vector<double> hz;
};

// The recording (mono 16-bit samples) cut into sounding and silent stretches of at least 50 ms
// (loudness over 10 ms); stretches that fell apart around a shorter one join again.
std::vector<Stretch> stretchesOf(const QByteArray& s16le) {
    std::vector<double> x(static_cast<std::size_t>(s16le.size() / 2));
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = qFromLittleEndian<qint16>(s16le.constData() + 2 * i) / 32768.0;
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

} // namespace

// The pitch rises as the conductance does, from ToneBaseHz at the reference reading; the probe's
// error silences it and it comes back with the readings; Stop silences it.
TEST(Tone, PitchFollowsConductanceOnANullSink) {
    SoundServer sound;
    if (sound.server.isEmpty()) GTEST_SKIP() << sound.error;
    qputenv("PULSE_SERVER", sound.server.toLocal8Bit());
    ProgramFolder folder;
    writeFileBytes(folder.file(QStringLiteral("sylvane-extra.ini")),
                   "; the tone\r\nToneVolume=60\r\n");
    LiveSession p(folder.path());
    p.load(settingsOf("2", "25"));
    const auto recorded = [&] { return p.w.engine.state().recordNumber - 1; };
    EXPECT_FALSE(p.w.mnuTone->isChecked()) << "off by default";
    p.w.mnuTone->trigger();
    EXPECT_EQ(p.file("sylvane-extra.ini"), "; the tone\r\nToneVolume=60\r\nTone=1\r\n");

    // 53 frames a second (count, ADC, status): the reference latches at 2000, the conductance
    // rises to that of 2400 and stays; a probe error for two seconds; readings again. Five frames
    // fill the filter and the sixth meets the graph's new labels.
    std::vector<std::array<int, 3>> runs{{106, 2000, 4}};
    for (int adc = 2004; adc <= 2400; adc += 4) runs.push_back({1, adc, 4});
    runs.insert(runs.end(), {{159, 2400, 4}, {106, 2400, 5}, {106, 2400, 4}});
    QStringList lines;
    for (const auto& [count, adc, status] : runs)
        for (int i = 0; i < count; ++i) lines << frameLine(adc, status, lines.size());
    ProbeSimProcess sim(p.folder, 2,
                        {"--rate", "53", "--frames", ProbeSimProcess::framesFile(p.folder, lines)});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    // What the null sink plays, as parec records it from its monitor; the event loop keeps its
    // pipe from filling.
    QProcess monitor;
    monitor.setProcessEnvironment(withServer(sound.server));
    monitor.start(QStringLiteral("parec"),
                  {"--device=tone.monitor", "--format=s16le", "--channels=1",
                   "--rate=" + QString::number(kRate), "--latency-msec=20"});
    ASSERT_TRUE(waitUntil([&] { return monitor.bytesAvailable() >= kRate / 5 * 2; }, 10000))
        << "no parec";
    p.w.mnuStart->trigger();
    ASSERT_TRUE(waitUntil([&] { return recorded() == 577 - 6; }, 40000))
        << "recorded " << recorded() << "; " << p.said();
    pump(500);
    p.w.mnuStop->trigger();
    pump(500);
    monitor.terminate();
    monitor.waitForFinished(5000);
    const std::vector<Stretch> heard = stretchesOf(monitor.readAllStandardOutput());
    EXPECT_TRUE(p.messages.messages.empty()) << p.said();

    // Silent until the latch, the tone, silent through the probe error, the tone for two seconds
    // of readings and half a second to Stop (under the second without a reading that silences
    // it), silent after Stop.
    std::string shape;
    for (const Stretch& s : heard)
        shape += (s.sounding ? "tone " : "silence ") + std::to_string(s.to - s.from) + "; ";
    ASSERT_EQ(heard.size(), 5u) << shape;
    ASSERT_FALSE(heard[0].sounding) << shape;
    EXPECT_NEAR(double(heard[2].to - heard[2].from) / kRate, 2.0, 0.4) << shape;
    EXPECT_NEAR(double(heard[3].to - heard[3].from) / kRate, 2.5, 0.4) << shape;
    // ADC a is 470000 (4095 - a) / a Ohms: the conductance of 2400 is (2400 / 1695) /
    // (2000 / 2095) times that of the reference 2000.
    const double high = 440 * (2400.0 / 1695) / (2000.0 / 2095);
    const std::vector<double>& rise = heard[1].hz;
    ASSERT_GT(rise.size(), 40u) << shape;
    EXPECT_NEAR(cents(rise.front(), 440), 0, 5) << rise.front();
    EXPECT_NEAR(cents(rise.back(), high), 0, 5) << rise.back();
    ASSERT_GT(heard[3].hz.size(), 10u);
    EXPECT_NEAR(cents(heard[3].hz.back(), high), 0, 5) << heard[3].hz.back();
}

// No sound server, one killed or stopped (SIGSTOP) mid-session, one stopped at Start: one message
// each, recording goes on, a second session brings no second message, and the program closes at
// once, even with its audio thread stuck in the sound library. The program runs in a child
// process, one a row: the sound library connects once a process.
TEST(Tone, NoGoneOrStalledSoundServerGivesOneMessageAndRecordingGoesOn) {
    // The signal sent to the server (0: no server at all), before the program starts or once the
    // tone plays; the message.
    const std::tuple<const char*, int, bool, const char*> rows[] = {
        {"no sound server", 0, true, "no sound output was found."},
        {"killed mid-session", SIGKILL, false,
         "the sound output stopped (the sound system is gone)."},
        {"stalled mid-session", SIGSTOP, false,
         "the sound output takes no sound (it has stalled)."},
        {"stalled at Start", SIGSTOP, true, "the sound system does not answer."}};
    for (const auto& [name, sig, atStart, message] : rows) {
        SCOPED_TRACE(name);
        std::optional<SoundServer> sound;
        QTemporaryDir none;
        QString server = "unix:" + none.filePath(QStringLiteral("no-server"));
        if (sig) {
            sound.emplace();
            if (sound->server.isEmpty()) GTEST_SKIP() << sound->error;
            server = sound->server;
            if (atStart) sound->sendSignal(sig);
        }
        ProgramFolder folder;
        writeFileBytes(folder.file(QStringLiteral("sylvane-extra.ini")), "Tone=1\r\n");
        ProbeSimProcess sim(folder.path(), 2, {"--rate", "53"});
        ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
        QProcess driver;
        driver.setProcessEnvironment(withServer(server));
        driver.start(QStringLiteral(SYLVANE_SESSION_DRIVER), {"--folder", folder.path()});
        QByteArray said;
        int recorded = 0;
        // Follows the driver's lines until the readings recorded in its session `starts` reach n.
        const auto recordedReach = [&](int n, const char* also = "", int starts = 1) {
            return waitUntil(
                [&] {
                    said += driver.readAllStandardOutput();
                    const qsizetype at = said.lastIndexOf("recorded ");
                    recorded = at < said.lastIndexOf("started")
                                   ? 0
                                   : said.mid(at + 9, said.indexOf('\n', at) - at - 9).toInt();
                    return recorded >= n && said.contains(also) && said.count("started") == starts;
                },
                30000);
        };
        // The tone plays once the reference has latched (about a second); the message tells which
        // way it failed.
        ASSERT_TRUE(recordedReach(160)) << said.toStdString();
        if (!atStart) sound->sendSignal(sig);
        ASSERT_TRUE(recordedReach(0, "message ")) << said.toStdString();
        ASSERT_TRUE(recordedReach(recorded + 150)) << "recording goes on: " << said.toStdString();
        driver.write("stop\nstart\n");
        ASSERT_TRUE(recordedReach(150, "", 2)) << "a second session: " << said.toStdString();
        EXPECT_EQ(said.count("message "), 1) << said.toStdString();
        EXPECT_TRUE(said.contains(QByteArray("message Tone: The tone cannot be heard: ") + message +
                                  " The session goes on and is recorded as always."))
            << said.toStdString();
        driver.write("close\n");
        EXPECT_TRUE(driver.waitForFinished(5000)) << "the program is held by the sound library";
        recordedReach(0, "", 2);
        EXPECT_EQ(driver.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(driver.exitCode(), 0);
        EXPECT_EQ(readFileBytes(folder.file("tempdata.txt")).count("\r\n"), recorded);
        EXPECT_EQ(readFileBytes(folder.file("tempdata.tst")).size(), 4 * recorded);
        if (driver.state() != QProcess::NotRunning) driver.kill();
    }
}

SYLVANE_GTEST_QT_MAIN
