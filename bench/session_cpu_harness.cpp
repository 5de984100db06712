// The processor time a live session costs: the real main window runs a session on COM n of a
// program folder (a probe or the probe simulator on the other end) for a number of seconds, and
// the process's user + system time is read from /proc/self/stat before and after, after a
// warm-up. Prints the share of one core and the readings recorded per second, and beside them
// whether the reference latched, the readings recorded and the picture graph's full redraws: a
// session that never latched draws nothing, so its figure leaves out the graph's work and the
// harness fails.
//
//     sylvane_cpu_harness FOLDER PORT SECONDS [--osc] [tone]
//
// With --osc the session also sends every reading over OSC (OscSendTo in sylvane-extra.ini) to a
// listener of this process on loopback, a thread that notes when each reading's packet arrives:
// beside the share of a core (the listener's own time left out) it prints the packets received
// and the delay from each reading's record to its packet's arrival at the listener's socket (the
// system's receive time stamp; median, 99th percentile, largest), and to the listener's reading
// it, which adds the time the listener thread waits for a processor.
//
// With tone the biofeedback tone is on (Tone=1 in sylvane-extra.ini), playing on the sound server
// of PULSE_SERVER.
//
// With "tone" the biofeedback tone is on (Tone=1 in the folder's sylvane-extra.ini), playing on
// the sound server of PULSE_SERVER; its audio thread is part of the process's time.
// scripts/measure-acquisition-cpu.sh runs it against the simulator at the line's full rate.

#include "acquisition/serial_link.h"
#include "app/frm_sylvane.h"
#include "platform/label.h"
#include "platform/message_box.h"
#include "platform/picture_box.h"
#include "storage/extra_settings.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// utime + stime of this process in clock ticks.
long long cpuTicks() {
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly)) return -1;
    const QByteArray line = stat.readAll();
    // The command name may hold blanks: the fields after it start past the last ')'.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    // Fields 14 and 15 of the line are 12 and 13 after the name and the state.
    if (fields.size() < 13) return -1;
    return fields[11].toLongLong() + fields[12].toLongLong();
}

// Lets the program run for ms milliseconds, idle in the event loop as it is in real use.
void wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Seconds on the system's real-time clock, which its receive time stamps count in.
double realSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_REALTIME, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The reading's packets as they arrive on loopback, in a thread of their own: when each record's
// packet reached the socket and when the thread read it.
class OscListener {
public:
    OscListener() {
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        timeval wake{0, 200000};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &wake, sizeof wake);
        const int on = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &length) != 0)
            return;
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~OscListener() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        ::close(m_fd);
    }
    int port() const { return m_port; }
    // The listener's own processor time so far, in seconds.
    double cpuSeconds() const { return m_cpu; }
    struct Arrival {
        int record;
        double arrived; // the system's receive time stamp
        double read;    // when the thread had it
    };
    std::vector<Arrival> arrivals() {
        std::lock_guard lock(m_mutex);
        return m_arrivals;
    }

private:
    void run() {
        char packet[512];
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
        // "/sylvane/reading" and ",idiff", padded: the record number follows.
        constexpr std::size_t kRecordAt = 28;
        while (!m_stop) {
            iovec io{packet, sizeof packet};
            msghdr m{};
            m.msg_iov = &io;
            m.msg_iovlen = 1;
            m.msg_control = control;
            m.msg_controllen = sizeof control;
            const ssize_t n = ::recvmsg(m_fd, &m, 0);
            const double read = realSeconds();
            double arrived = read;
            for (cmsghdr* c = CMSG_FIRSTHDR(&m); c; c = CMSG_NXTHDR(&m, c)) {
                if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                    timespec t{};
                    std::memcpy(&t, CMSG_DATA(c), sizeof t);
                    arrived = static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
                }
            }
            if (n >= static_cast<ssize_t>(kRecordAt + 4) &&
                std::memcmp(packet, "/sylvane/reading", 16) == 0) {
                std::uint32_t record = 0;
                std::memcpy(&record, packet + kRecordAt, 4);
                std::lock_guard lock(m_mutex);
                m_arrivals.push_back({static_cast<int>(ntohl(record)), arrived, read});
            }
            timespec cpu{};
            ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
            m_cpu = static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) * 1e-9;
        }
    }

    int m_fd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<double> m_cpu{0};
    std::mutex m_mutex;
    std::vector<Arrival> m_arrivals;
    std::thread m_thread;
};

// Notes when each reading is recorded, before its packet is sent.
struct RecordTimes final : sylvane::acquisition::ReadingFollower {
    std::vector<double> at{0};
    void sessionStarted(float) override {}
    void readingRecorded(std::int32_t record, std::int32_t, double) override {
        at.resize(std::max<std::size_t>(at.size(), static_cast<std::size_t>(record) + 1), 0);
        at[static_cast<std::size_t>(record)] = realSeconds();
    }
    void sessionStopped() override {}
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    bool osc = false, tone = false;
    for (int i = 4; i < argc; ++i) {
        osc = osc || std::strcmp(argv[i], "--osc") == 0;
        tone = tone || std::strcmp(argv[i], "tone") == 0;
    }
    if (argc < 4 || argc > 6 || argc - 4 != int{osc} + int{tone}) {
        std::fprintf(stderr, "usage: %s FOLDER PORT SECONDS [--osc] [tone]\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString port = QString::fromLocal8Bit(argv[2]);
    const int seconds = std::atoi(argv[3]);

    int messages = 0;
    sylvane::platform::setMessageHook([&](const sylvane::platform::MessageRequest& m) {
        ++messages;
        std::fprintf(stderr, "message: %s | %s\n", qPrintable(m.title), qPrintable(m.prompt));
        return int{sylvane::platform::vbOK};
    });

    std::unique_ptr<OscListener> listener;
    std::string extra = tone ? "Tone=1\r\n" : "";
    if (osc) {
        listener = std::make_unique<OscListener>();
        extra += "OscSendTo=127.0.0.1:" + std::to_string(listener->port()) + "\n";
        if (listener->port() == 0) {
            std::fprintf(stderr, "no OSC listener\n");
            return 1;
        }
    }
    if (!extra.empty() && !sylvane::storage::writeExtraSettingsText(folder.toStdString(), extra)) {
        std::fprintf(stderr, "sylvane-extra.ini cannot be written\n");
        return 2;
    }

    sylvane::app::frmSylvane w({folder, {}});
    // The record times are noted before the packet is sent.
    RecordTimes recordTimes;
    if (osc) {
        w.engine.removeFollower(&w.oscReadings);
        w.engine.addFollower(&recordTimes);
        w.engine.addFollower(&w.oscReadings);
    }
    w.engine.state().awaitingStartValue = true;
    w.engine.state().colorLevel = 255;
    w.layoutReason = 1;
    w.LblParams[5]->setCaption(port);
    w.show();
    w.Timer1->start(200);
    w.mnuStart_Click();
    if (w.mnuStart->isEnabled()) {
        std::fprintf(stderr, "the session did not start\n");
        return 1;
    }

    const int redrawsAtStart = static_cast<int>(w.engine.counts().redraws);
    QElapsedTimer sinceStart;
    sinceStart.start();
    double latchedAfter = -1;
    QTimer latchWatch;
    QObject::connect(&latchWatch, &QTimer::timeout, [&] {
        if (latchedAfter < 0 && !w.engine.state().awaitingStartValue)
            latchedAfter = static_cast<double>(sinceStart.elapsed()) / 1000.0;
    });
    latchWatch.start(20);
    wait(5000);
    latchWatch.stop();

    const double listener0 = listener ? listener->cpuSeconds() : 0;
    const long long ticks0 = cpuTicks();
    const int records0 = w.engine.state().recordNumber;
    const int redraws0 = static_cast<int>(w.engine.counts().redraws);
    QElapsedTimer wall;
    wall.start();
    wait(seconds * 1000);
    const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
    const long long ticks1 = cpuTicks();
    const double listener1 = listener ? listener->cpuSeconds() : 0;
    const int records1 = w.engine.state().recordNumber;
    const int redraws1 = static_cast<int>(w.engine.counts().redraws);
    const bool running = !w.mnuStart->isEnabled();
    const bool latched = !w.engine.state().awaitingStartValue;
    const QString reference = w.lblSysADCstart->caption().trimmed();
    w.mnuStop_Click();
    const int recordedAll = w.engine.state().recordNumber - 1;

    const double cpuSeconds =
        static_cast<double>(ticks1 - ticks0) / sysconf(_SC_CLK_TCK) - (listener1 - listener0);
    std::printf("wall %.1f s, cpu %.2f s, %.2f %% of one core, %.1f readings recorded a second, "
                "session %s, %d messages%s\n",
                elapsed, cpuSeconds, 100.0 * cpuSeconds / elapsed, (records1 - records0) / elapsed,
                running ? "ran throughout" : "ended early", messages,
                tone ? (w.mnuTone->isChecked() ? ", tone on" : ", TONE NOT ON") : "");
    if (latchedAfter >= 0)
        std::printf("reference latched: yes, %.1f s after Start (ADC %s)", latchedAfter,
                    qPrintable(reference));
    else
        std::printf("reference latched: %s", latched ? "yes, but only while measuring" : "NO");
    std::printf("; readings recorded %d (%d while measuring); full redraws of the graph %d (%d "
                "while measuring)\n",
                records1 - 1, records1 - records0, redraws1 - redrawsAtStart, redraws1 - redraws0);
    bool oscWhole = true;
    if (listener) {
        // Let the last packets come in.
        wait(300);
        std::vector<double> delays;
        std::vector<double> readDelays;
        int received = 0;
        int inOrder = 0;
        int last = 0;
        for (const OscListener::Arrival& a : listener->arrivals()) {
            ++received;
            inOrder += a.record == last + 1;
            last = a.record;
            if (a.record >= records0 && a.record < records1 &&
                static_cast<std::size_t>(a.record) < recordTimes.at.size()) {
                const double recorded = recordTimes.at[static_cast<std::size_t>(a.record)];
                delays.push_back((a.arrived - recorded) * 1000.0);
                readDelays.push_back((a.read - recorded) * 1000.0);
            }
        }
        const auto quantile = [](std::vector<double> v, double q) {
            if (v.empty()) return -1.0;
            std::sort(v.begin(), v.end());
            return v[std::min(v.size() - 1,
                              static_cast<std::size_t>(q * static_cast<double>(v.size())))];
        };
        std::printf("osc: %d packets received of %d readings recorded, %d in order; delay from "
                    "record to packet (%zu while measuring) median %.3f ms, p99 %.3f ms, max %.3f "
                    "ms; to the listener reading it median %.3f ms, p99 %.3f ms, max %.3f ms; "
                    "listener thread %.2f s of processor time, left out; %s\n",
                    received, recordedAll, inOrder, delays.size(), quantile(delays, 0.5),
                    quantile(delays, 0.99), quantile(delays, 1.0), quantile(readDelays, 0.5),
                    quantile(readDelays, 0.99), quantile(readDelays, 1.0), listener1 - listener0,
                    qPrintable(w.oscStatus().replace('\n', ' ')));
        oscWhole = received == recordedAll && inOrder == received;
    }
    if (latchedAfter < 0) {
        std::fprintf(stderr,
                     "\n*** FAILED: %s ***\nUntil it latches the graph is not scaled, drawn or "
                     "redrawn, so the figure above leaves out the graph's work. The probe must "
                     "send valid readings that repeat their value: is the simulator sending a "
                     "noisy signal (--noise) or invalid readings?\n",
                     latched ? "THE REFERENCE LATCHED ONLY AFTER THE WARM-UP"
                             : "THE REFERENCE NEVER LATCHED");
        return 3;
    }
    return running && messages == 0 && oscWhole ? 0 : 1;
}
