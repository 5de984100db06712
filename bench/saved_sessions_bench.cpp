// Displaying saved sessions: six sessions of a million records each read, replayed onto the
// common scale and drawn, first as polylines into a plain pixel buffer (the core alone), then
// by the real window onto its picture box, the size it has in display mode.

#include "app/frm_sylvane.h"
#include "display/graph_math.h"
#include "display/trace_replay.h"
#include "platform/picture_box.h"
#include "storage/saved_sessions.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace sylvane;

constexpr int kSessions = 6;
constexpr std::int32_t kRecords = 1'000'000;
constexpr int kWidth = 1700;
constexpr int kHeight = 900;

struct SessionFiles {
    fs::path folder;
    std::vector<storage::SessionChoice> chosen;

    SessionFiles() {
        folder =
            fs::temp_directory_path() / ("sylvane-bench-" + std::to_string(std::random_device{}()));
        fs::create_directories(folder);
        std::mt19937 rng(7);
        std::uniform_int_distribution<int> stepDist(-3, 3);
        for (int k = 0; k < kSessions; ++k) {
            const std::string name = "session" + std::to_string(k);
            storage::SessionChoice c{folder / (name + ".Tst"), folder / (name + ".Hdr")};
            std::vector<std::int32_t> values(kRecords);
            std::int32_t v = 1500 + 100 * k;
            std::int32_t lo = v;
            std::int32_t hi = v;
            for (auto& value : values) {
                v = std::clamp(v + stepDist(rng), 200, 3900);
                value = v;
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
            std::ofstream(c.tst, std::ios::binary)
                .write(reinterpret_cast<const char*>(values.data()),
                       static_cast<std::streamsize>(values.size() * 4));
            std::ofstream(c.hdr, std::ios::binary)
                << "\"MinADC\"\r\n\" " << lo << "\"\r\n\"MaxADC\"\r\n\" " << hi
                << "\"\r\n\"bench\"\r\n";
            chosen.push_back(c);
        }
    }
    ~SessionFiles() {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
};

// The picture: a polyline per trace, as the picture box draws it.
struct Raster {
    std::vector<std::uint32_t> pixels = std::vector<std::uint32_t>(kWidth * kHeight);
    int x = 0;
    int y = 0;

    void set(int px, int py, std::uint32_t color) {
        if (px >= 0 && px < kWidth && py >= 0 && py < kHeight) pixels[py * kWidth + px] = color;
    }
    void line(int x1, int y1, std::uint32_t color) {
        const int dx = std::abs(x1 - x);
        const int dy = -std::abs(y1 - y);
        const int sx = x < x1 ? 1 : -1;
        const int sy = y < y1 ? 1 : -1;
        int err = dx + dy;
        for (;;) {
            set(x, y, color);
            if (x == x1 && y == y1) break;
            const int e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y += sy;
            }
        }
    }
};

const SessionFiles& sessionFiles() {
    static const SessionFiles files;
    return files;
}

void BM_DisplaySixSavedSessions(benchmark::State& state) {
    const SessionFiles& files = sessionFiles();
    Raster raster;
    std::int64_t steps = 0;
    for (auto _ : state) {
        const storage::DisplayPlan plan = storage::planSavedDisplay(files.chosen);
        const storage::CommonScale scale =
            storage::commonScale(plan.minADC, plan.maxADC, plan.longestBytes, kWidth, kHeight);
        for (const auto& session : plan.sessions) {
            const std::uint32_t color = storage::kTraceColors[session.position];
            const display::ReplayResult r = display::replayTrace(
                session.tst, display::kAllRecords, scale.readingsPerStep,
                [&](std::int32_t step, float ohms) {
                    const int px = display::wrapX(step, kWidth);
                    const int py = display::plotY(ohms, scale.bottomOhms, scale.yScale, kHeight);
                    if (step == 1) {
                        raster.x = px;
                        raster.y = py;
                        raster.set(px, py, color);
                    } else {
                        raster.line(std::clamp(px, -1, kWidth), std::clamp(py, -1, kHeight), color);
                    }
                });
            steps += r.stepsPlotted;
        }
        benchmark::DoNotOptimize(raster.pixels.data());
    }
    state.counters["steps"] =
        benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kAvgIterations);
    state.SetItemsProcessed(state.iterations() * kSessions * kRecords);
}
BENCHMARK(BM_DisplaySixSavedSessions)->Unit(benchmark::kMillisecond);

void BM_DisplaySixSavedSessionsInTheWindow(benchmark::State& state) {
    // One application for the whole binary: another benchmark may have made it already.
    if (!QApplication::instance()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "sylvane_bench";
        static char* argv[] = {name, nullptr};
        static QApplication app(argc, argv);
    }
    const SessionFiles& files = sessionFiles();
    QTemporaryDir folder;
    app::frmSylvane w({folder.path(), {}});
    for (int k = 0; k < kSessions; ++k) {
        w.module1.displayTstFiles[k] = QString::fromStdString(files.chosen[k].tst.string());
        w.module1.displayHdrFiles[k] = QString::fromStdString(files.chosen[k].hdr.string());
    }
    w.module1.displayFileCount = kSessions;
    w.pixXYgraf->resize(kWidth, kHeight);
    w.ShowSavedSessions(); // enters display mode once; each iteration then draws afresh
    for (auto _ : state) {
        w.ShowSavedSessions();
        benchmark::DoNotOptimize(w.pixXYgraf->image().constBits());
    }
    state.SetItemsProcessed(state.iterations() * kSessions * kRecords);
}
BENCHMARK(BM_DisplaySixSavedSessionsInTheWindow)->Unit(benchmark::kMillisecond);

} // namespace
