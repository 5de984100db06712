// How soon the biofeedback tone's pitch follows a new reading, measured through the real output
// path: the program's sound output (display/tone_output.h, its audio thread and QAudioSink) plays
// on the sound server that PULSE_SERVER names (scripts/with-null-sink.sh starts one with a null
// sink), and parec records that sink's monitor into this process. The pitch is switched between
// 440 Hz and a fifth above it, as a reading recorded hands it over, while pitches keep coming at
// 53 readings a second; each recorded sample is dated by when it reached this process, so the
// delays include the monitor's own capture and are an upper bound of what a listener hears.
// Prints, over the switches, the median and largest delay until the pitch has moved 20 cents
// (the change begins to be heard) and until 90 % of the interval.
//
//     sylvane_tone_latency [SWITCHES]

#include "display/tone_output.h"
#include "platform/steady_time.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kRate = 48000;

struct Recording {
    std::vector<double> x;
    // The steady time each sample reached this process.
    std::vector<double> at;
};

void wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double median(std::vector<double> v) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int switches = argc > 1 ? std::max(2, std::atoi(argv[1])) : 10;
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        std::fprintf(stderr, "PULSE_SERVER is not set: run under scripts/with-null-sink.sh\n");
        return 2;
    }

    Recording rec;
    QProcess parec;
    QObject::connect(&parec, &QProcess::readyReadStandardOutput, [&] {
        const double now = sylvane::platform::steadySeconds();
        const QByteArray bytes = parec.readAllStandardOutput();
        const std::size_t n = static_cast<std::size_t>(bytes.size()) / 2;
        for (std::size_t i = 0; i < n; ++i) {
            std::int16_t s;
            std::memcpy(&s, bytes.constData() + 2 * i, 2);
            rec.x.push_back(s / 32768.0);
            rec.at.push_back(now - double(n - 1 - i) / kRate);
        }
    });
    parec.start(QStringLiteral("parec"), {"--device=tone.monitor", "--format=s16le", "--channels=1",
                                          "--rate=48000", "--latency-msec=5"});
    if (!parec.waitForStarted(5000)) {
        std::fprintf(stderr, "parec cannot be started\n");
        return 2;
    }

    // The monitor's recording runs late for its first seconds; it settles before the tone opens.
    wait(3000);
    sylvane::display::ToneOutput tone;
    tone.open(60);
    const double low = 440, high = 440 * 1.5;
    double hz = low;
    // Readings at 53 a second, each handing its pitch over.
    QTimer readings;
    readings.setTimerType(Qt::PreciseTimer);
    QObject::connect(&readings, &QTimer::timeout, [&] { tone.play(hz); });
    readings.start(19);
    tone.play(hz);
    wait(1000);

    std::vector<double> switchedAt;
    std::vector<double> to;
    for (int k = 0; k < switches; ++k) {
        hz = hz == low ? high : low;
        switchedAt.push_back(sylvane::platform::steadySeconds());
        to.push_back(hz);
        tone.play(hz);
        wait(700);
    }
    readings.stop();
    tone.close();
    wait(300);
    parec.terminate();
    parec.waitForFinished(3000);
    const std::string problem = tone.takeProblem();
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }

    // The pitch of each period, dated at its end.
    std::vector<double> periodEnd, periodHz;
    double last = -1;
    for (std::size_t n = 1; n < rec.x.size(); ++n) {
        if (!(rec.x[n - 1] < 0 && rec.x[n] >= 0)) continue;
        const double c = double(n - 1) + rec.x[n - 1] / (rec.x[n - 1] - rec.x[n]);
        if (last >= 0 && c - last > kRate / 4000.0 && c - last < kRate / 50.0) {
            periodEnd.push_back(rec.at[n]);
            periodHz.push_back(kRate / (c - last));
        }
        last = c;
    }
    std::vector<double> begins, ninety;
    for (std::size_t k = 0; k < switchedAt.size(); ++k) {
        const double from = to[k] == low ? high : low;
        const double interval = 1200 * std::log2(to[k] / from);
        double begin = -1, done = -1;
        for (std::size_t i = 0; i < periodEnd.size(); ++i) {
            if (periodEnd[i] <= switchedAt[k]) continue;
            if (k + 1 < switchedAt.size() && periodEnd[i] > switchedAt[k + 1]) break;
            const double moved = 1200 * std::log2(periodHz[i] / from) / interval;
            if (begin < 0 && moved * std::abs(interval) >= 20) begin = periodEnd[i] - switchedAt[k];
            if (done < 0 && moved >= 0.9) done = periodEnd[i] - switchedAt[k];
        }
        if (begin < 0 || done < 0) {
            std::fprintf(stderr, "switch %zu: the recorded pitch did not follow\n", k + 1);
            return 1;
        }
        begins.push_back(begin * 1000);
        ninety.push_back(done * 1000);
    }
    for (std::size_t k = 0; k < begins.size(); ++k)
        std::printf("switch %zu: %.1f ms, %.1f ms\n", k + 1, begins[k], ninety[k]);
    std::printf("tone delay to a 20 cent change: median %.1f ms, largest %.1f ms (%d switches)\n",
                median(begins), *std::max_element(begins.begin(), begins.end()), switches);
    std::printf("tone delay to 90 %% of the interval: median %.1f ms, largest %.1f ms\n",
                median(ninety), *std::max_element(ninety.begin(), ninety.end()));
    return 0;
}
