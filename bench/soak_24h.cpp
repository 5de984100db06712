// Soak: a whole day of probe readings through the real program as fast as the machine allows.
//
// The real main window runs offscreen with a session on COM2 of a fresh program folder; COM2 is
// a pseudo-terminal whose other end a writer thread fills with the simulator's skin signal at
// full speed: hours x 3600 x rate frames (24 h at the line's 53 frames a second is 4 579 200).
// Every frame goes through the serial link, the frame search, the readouts, the filter, the
// picture graph with its redraws, and the working files. The session clock is simulated, so the
// elapsed time and the graph's time axis run through the whole day.
//
// Reported: wall time, frames a second, resident memory (now and peak) at the start, the middle
// and the end, the files' sizes; checked: one record in tempdata.tst and one line in
// tempdata.txt per recorded reading, the same values in both, and no message box.
//
//     sylvane_soak [--hours H] [--rate R] [--folder DIR] [--keep]
//
// Exit status 0 when every check holds, 1 otherwise. Not part of the tests: run by `make soak`.

#include "acquisition/serial_link.h"
#include "app/frm_sylvane.h"
#include "app/settings_file.h"
#include "platform/label.h"
#include "platform/message_box.h"
#include "platform/picture_box.h"
#include "platform/twips.h"
#include "probe_signal.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Options {
    double hours = 24;
    double rate = sylvane::probesim::maxFrameRate;
    QString folder;
    bool keep = false;
};

[[noreturn]] void usage(const char* why) {
    std::fprintf(stderr,
                 "sylvane_soak: %s\nusage: sylvane_soak [--hours H] [--rate R] [--folder DIR] "
                 "[--keep]\n",
                 why);
    std::exit(2);
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> const char* {
            if (i + 1 >= argc) usage("an option lacks its value");
            return argv[++i];
        };
        if (arg == "--hours") {
            o.hours = std::atof(value());
        } else if (arg == "--rate") {
            o.rate = std::atof(value());
        } else if (arg == "--folder") {
            o.folder = QString::fromLocal8Bit(value());
        } else if (arg == "--keep") {
            o.keep = true;
        } else {
            usage("unknown option");
        }
    }
    if (!(o.hours > 0) || !(o.rate > 0) || o.rate > sylvane::probesim::maxFrameRate)
        usage("--hours must be above 0 and --rate within 0..53");
    return o;
}

// Resident memory now, in KiB.
long currentRssKiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

long peakRssKiB() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

struct Sample {
    const char* when;
    double seconds;
    std::uint64_t frames;
    std::int32_t records;
    long rssKiB;
    long peakKiB;
};

void printSample(const Sample& s) {
    std::printf("%-7s %9.1f s %10" PRIu64 " frames %10d records   RSS %7.1f MiB   peak %7.1f MiB\n",
                s.when, s.seconds, s.frames, s.records, s.rssKiB / 1024.0, s.peakKiB / 1024.0);
    std::fflush(stdout);
}

// The far end of COM2: a pseudo-terminal master in raw mode.
int openProbeTerminal(const QString& folder, QString* slave) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return -1;
    termios tio{};
    ::tcgetattr(master, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(master, TCSANOW, &tio);
    *slave = QString::fromLocal8Bit(::ptsname(master));
    QDir(folder).mkpath(QStringLiteral("ports"));
    if (!QFile::link(*slave, QDir(folder).filePath(QStringLiteral("ports/com2")))) return -1;
    return master;
}

// Writes `total` frames of the skin signal as fast as the program reads them, until told to stop.
void writeFrames(int master, std::uint64_t total, double rate, std::atomic<std::uint64_t>& sent,
                 std::atomic<bool>& stop, std::atomic<bool>& failed) {
    sylvane::probesim::StreamOptions options;
    options.seed = 24;
    options.frameRate = rate;
    sylvane::probesim::FrameStream stream(options);
    std::vector<std::uint8_t> batch;
    constexpr std::uint64_t kBatch = 256;
    while (sent.load() < total && !stop) {
        batch.clear();
        const std::uint64_t n = std::min(kBatch, total - sent.load());
        for (std::uint64_t i = 0; i < n; ++i) {
            const auto bytes = stream.next();
            batch.insert(batch.end(), bytes.begin(), bytes.end());
        }
        std::size_t done = 0;
        while (done < batch.size()) {
            if (stop) return;
            const ssize_t w = ::write(master, batch.data() + done, batch.size() - done);
            if (w > 0) {
                done += static_cast<std::size_t>(w);
            } else if (w < 0 && (errno == EAGAIN || errno == EINTR)) {
                // The terminal is full until the program reads: wait for room, not for ever.
                pollfd p{master, POLLOUT, 0};
                ::poll(&p, 1, 100);
            } else {
                failed = true;
                return;
            }
        }
        sent += n;
    }
}

// Compares tempdata.tst and tempdata.txt record by record, reading both as streams.
bool filesAgree(const QString& folder, std::int64_t records, QString* why) {
    std::ifstream tst(QDir(folder).filePath("tempdata.tst").toStdString(), std::ios::binary);
    std::ifstream txt(QDir(folder).filePath("tempdata.txt").toStdString(), std::ios::binary);
    std::string line;
    std::int64_t n = 0;
    unsigned char b[4];
    while (tst.read(reinterpret_cast<char*>(b), 4)) {
        ++n;
        const auto value =
            static_cast<std::int32_t>(std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 |
                                      std::uint32_t{b[2]} << 16 | std::uint32_t{b[3]} << 24);
        if (!std::getline(txt, line) || line.empty() || line.back() != '\r' ||
            std::to_string(value) + "\r" != line) {
            *why = QStringLiteral("record %1 (%2) and line %1 (%3) differ")
                       .arg(n)
                       .arg(value)
                       .arg(QString::fromStdString(line).trimmed());
            return false;
        }
    }
    if (std::getline(txt, line)) {
        *why = QStringLiteral("tempdata.txt has more lines than tempdata.tst has records");
        return false;
    }
    if (n != records) {
        *why = QStringLiteral("%1 records on disk, %2 recorded").arg(n).arg(records);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const Options options = parse(argc, argv);
    const auto total = static_cast<std::uint64_t>(options.hours * 3600.0 * options.rate);

    QTemporaryDir temporary;
    temporary.setAutoRemove(!options.keep);
    const QString folder = options.folder.isEmpty() ? temporary.path() : options.folder;
    QDir().mkpath(folder);

    QString slave;
    const int master = openProbeTerminal(folder, &slave);
    if (master < 0) {
        std::fprintf(stderr, "sylvane_soak: cannot set up a pseudo-terminal as COM2\n");
        return 1;
    }

    std::vector<QString> messages;
    sylvane::platform::setMessageHook([&](const sylvane::platform::MessageRequest& request) {
        messages.push_back(request.title + QStringLiteral(": ") + request.prompt);
        std::fprintf(stderr, "message: %s\n", qPrintable(messages.back()));
        return int{sylvane::platform::vbOK};
    });

    // The session clock follows the frames, not the wall: one frame is 1/rate seconds.
    std::atomic<std::uint64_t> eventsSeen{0};
    const double startClock = 8 * 3600.0;
    sylvane::app::frmSylvane w(
        {folder, [&] {
             const double t = startClock + static_cast<double>(eventsSeen.load()) / options.rate;
             return t - 86400.0 * static_cast<long long>(t / 86400.0);
         }});
    QObject::connect(w.MSComm1, &sylvane::acquisition::SerialLink::OnComm, [&] { ++eventsSeen; });
    // An ordinary start: a settings file as a first run leaves it (COM2, 25 %, every panel),
    // then the window laid out on the screen by its first ticks.
    {
        QFile ini(QDir(folder).filePath(QString::fromLatin1(sylvane::app::kSettingsFileName)));
        const std::string text = sylvane::app::writeSettings(sylvane::app::firstRunDefaults(
            sylvane::platform::screenWidthTwips(), sylvane::platform::screenHeightTwips()));
        if (!ini.open(QIODevice::WriteOnly) ||
            ini.write(text.data(), static_cast<qint64>(text.size())) !=
                static_cast<qint64>(text.size())) {
            std::fprintf(stderr, "sylvane_soak: cannot write the settings file\n");
            return 1;
        }
    }
    w.Form_Load();
    w.show();
    QElapsedTimer settle;
    settle.start();
    while (w.layoutPending && settle.elapsed() < 5000) QApplication::processEvents();

    std::printf("Soak: %.1f h at %.0f frames/s = %" PRIu64 " frames through the real window, "
                "folder %s\n",
                options.hours, options.rate, total, qPrintable(folder));
    w.mnuStart_Click();
    if (w.mnuStart->isEnabled()) {
        std::fprintf(stderr, "sylvane_soak: the session did not start\n");
        return 1;
    }

    QElapsedTimer clock;
    clock.start();
    std::atomic<std::uint64_t> sent{0};
    std::atomic<bool> writeFailed{false};
    std::atomic<bool> stopWriting{false};
    std::vector<Sample> samples;
    const auto sample = [&](const char* when) {
        samples.push_back({when, clock.elapsed() / 1000.0, eventsSeen.load(), w.engine.state().recordNumber - 1,
                           currentRssKiB(), peakRssKiB()});
        printSample(samples.back());
    };
    sample("start");
    std::thread writer(writeFrames, master, total, options.rate, std::ref(sent),
                       std::ref(stopWriting), std::ref(writeFailed));

    bool middleTaken = false;
    long highestRss = 0;
    long rssAtMiddle = 0;
    std::uint64_t lastEvents = 0;
    qint64 lastProgressAt = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const std::uint64_t events = eventsSeen.load();
        highestRss = std::max(highestRss, currentRssKiB());
        if (!middleTaken && events >= total / 2) {
            middleTaken = true;
            sample("middle");
            rssAtMiddle = samples.back().rssKiB;
        }
        if (events != lastEvents) {
            lastEvents = events;
            lastProgressAt = clock.elapsed();
        }
        const bool allRead = sent.load() == total && events >= total;
        const bool stalled = clock.elapsed() - lastProgressAt > 30000;
        if (allRead || stalled || writeFailed || w.mnuStart->isEnabled()) QApplication::quit();
    });
    watch.start(250);
    QApplication::exec();

    const bool completed = eventsSeen.load() >= total;
    // One last tick shows the elapsed time of the whole session.
    w.Timer1_Timer();
    w.mnuStop_Click();
    sample("end");
    stopWriting = true;
    writer.join();
    ::close(master);
    const double seconds = samples.back().seconds;

    const std::int32_t records = w.engine.state().recordNumber - 1;
    const qint64 tstSize = QFileInfo(QDir(folder).filePath("tempdata.tst")).size();
    const qint64 txtSize = QFileInfo(QDir(folder).filePath("tempdata.txt")).size();
    QString why;
    const bool agree = filesAgree(folder, records, &why);

    std::printf("\nframes sent %" PRIu64 ", receive events %" PRIu64 ", readings recorded %d\n",
                sent.load(), eventsSeen.load(), records);
    std::printf("wall time %.1f s (%.0f frames/s, %.0f x the line's rate)\n", seconds,
                static_cast<double>(eventsSeen.load()) / seconds,
                static_cast<double>(eventsSeen.load()) / seconds / options.rate);
    std::printf("resident memory: start %.1f MiB, middle %.1f MiB, end %.1f MiB, highest seen "
                "%.1f MiB, peak %.1f MiB\n",
                samples.front().rssKiB / 1024.0, rssAtMiddle / 1024.0,
                samples.back().rssKiB / 1024.0, highestRss / 1024.0,
                samples.back().peakKiB / 1024.0);
    std::printf("tempdata.tst %lld bytes (4 x %d = %lld), tempdata.txt %lld bytes\n",
                static_cast<long long>(tstSize), records, 4LL * records,
                static_cast<long long>(txtSize));
    std::printf("elapsed time shown: %s\n", qPrintable(w.LblParams[1]->caption()));
    // Each width overflow adds a reading per step and replays the whole session.
    const QImage& picture = w.pixXYgraf->image();
    int traced = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if ((picture.pixel(x, y) & 0xFFFFFF) == 0xFFFFFF) ++traced;
    std::printf("picture graph %.0f x %.0f, %d readings a step (%d full replays at width "
                "overflow), %d trace pixels, sensitivity %s, reference %s\n",
                w.pixXYgraf->ScaleWidth(), w.pixXYgraf->ScaleHeight(), w.engine.state().readingsPerStep,
                w.engine.state().readingsPerStep - 1, traced, qPrintable(w.LblParams[3]->caption().trimmed()),
                qPrintable(w.lblSysADCstart->caption().trimmed()));

    bool ok = true;
    const auto fail = [&](const QString& what) {
        std::printf("FAILED: %s\n", qPrintable(what));
        ok = false;
    };
    if (!completed) fail(QStringLiteral("the program did not read every frame"));
    if (writeFailed) fail(QStringLiteral("writing to the pseudo-terminal failed"));
    if (tstSize != 4LL * records) fail(QStringLiteral("tempdata.tst is not 4 bytes a record"));
    if (!agree) fail(why);
    if (!messages.empty()) fail(QStringLiteral("%1 message boxes").arg(messages.size()));
    if (traced == 0) fail(QStringLiteral("nothing is drawn on the picture graph"));
    // Flat: the second half of the day may not need noticeably more than the first.
    if (rssAtMiddle > 0 && samples.back().rssKiB > rssAtMiddle + 16 * 1024)
        fail(QStringLiteral("resident memory grew by %1 MiB in the second half")
                 .arg((samples.back().rssKiB - rssAtMiddle) / 1024.0));
    std::printf("%s\n", ok ? "soak passed" : "soak FAILED");
    return ok ? 0 : 1;
}
