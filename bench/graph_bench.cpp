// Picture graph costs: the full redraw that replays a whole session from a real .tst file onto
// a picture, the live step of one reading, and the memory a replay needs (which must not grow
// with the session's length). The picture is a QImage drawn the way the window's picture box
// draws: a pixel per PSet and a QPainter line per Line.
//
// A session at the line's full rate: 4800 baud, 9-byte frames of 10 bits per byte, 53.3
// readings a second, 4.6 million readings (18 MB) in 24 hours.

#include "display/graph_math.h"
#include "display/trace_replay.h"
#include "platform/number_rules.h"

#include <benchmark/benchmark.h>

#include <QColor>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace sylvane;

constexpr std::int64_t kReadingsPerDay = 4'608'000; // 53.33 per second
constexpr int kPictureWidth = 489;                  // 7335 twips at 15 twips a pixel
constexpr int kPictureHeight = 268;

QRgb rgbOf(std::uint32_t vbColor) {
    return qRgb(static_cast<int>(vbColor & 0xFF), static_cast<int>((vbColor >> 8) & 0xFF),
                static_cast<int>((vbColor >> 16) & 0xFF));
}

// The picture box's drawing, without a widget.
class Picture {
public:
    Picture() : m_image(kPictureWidth, kPictureHeight, QImage::Format_RGB32) {}
    void cls() {
        m_image.fill(Qt::black);
        m_x = m_y = 0;
    }
    void pset(int x, int y, std::uint32_t color) {
        if (m_image.valid(x, y)) m_image.setPixel(x, y, rgbOf(color));
        m_x = x;
        m_y = y;
    }
    void line(int x, int y, std::uint32_t color) {
        QPainter p(&m_image);
        p.setPen(QColor::fromRgb(rgbOf(color)));
        p.drawLine(m_x, m_y, x, y);
        m_x = x;
        m_y = y;
    }
    float width() const { return static_cast<float>(m_image.width()); }
    float height() const { return static_cast<float>(m_image.height()); }

private:
    QImage m_image;
    int m_x = 0;
    int m_y = 0;
};

// A session file of n readings drifting slowly around ADC 2048, made once per length.
fs::path sessionFile(std::int64_t n) {
    static std::map<std::int64_t, fs::path> made;
    if (auto it = made.find(n); it != made.end()) return it->second;
    const fs::path path = fs::temp_directory_path() / ("sylvane_bench_" + std::to_string(getpid()) +
                                                       "_" + std::to_string(n) + ".tst");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::vector<unsigned char> block;
    block.reserve(65536 * 4);
    for (std::int64_t i = 0; i < n; ++i) {
        const auto v = static_cast<std::uint32_t>(
            2048 + std::lround(300 * std::sin(static_cast<double>(i) / 50000.0)) + (i % 7) - 3);
        for (int b = 0; b < 4; ++b) block.push_back(static_cast<unsigned char>(v >> (8 * b)));
        if (block.size() == block.capacity()) {
            std::fwrite(block.data(), 1, block.size(), f);
            block.clear();
        }
    }
    std::fwrite(block.data(), 1, block.size(), f);
    std::fclose(f);
    made[n] = path;
    return path;
}

struct Cleanup {
    ~Cleanup() {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(fs::temp_directory_path(), ec)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("sylvane_bench_" + std::to_string(getpid()) + "_", 0) == 0) {
                fs::remove(entry.path(), ec);
            }
        }
    }
} cleanup;

// What the window does on a full redraw: scale, clear, grid, replay of every record.
std::int64_t fullRedraw(Picture& picture, const fs::path& tst, std::int64_t records) {
    const float w = picture.width();
    const float h = picture.height();
    const std::int32_t perStep =
        display::readingsPerStepFor(static_cast<std::int32_t>(records + 1), w);
    const display::GraphScale scale = display::liveScale(2048, 25, h);
    const auto labels = display::axisLabelTexts(scale.bottomOhms, scale.topOhms, w, perStep, true);
    benchmark::DoNotOptimize(labels);
    picture.cls();
    display::forEachGridDot(
        w, h, [&](std::int32_t x, std::int32_t y) { picture.pset(x, y, display::kLiveGridColor); });
    const display::ReplayResult r =
        display::replayTrace(tst, records, perStep, [&](std::int32_t step, float ohms) {
            const std::int32_t y = display::plotY(ohms, scale.bottomOhms, scale.yScale, h);
            const std::int32_t x = display::wrapX(step, w);
            if (step == 1) {
                picture.pset(x, y, display::kLiveTraceColor);
            } else {
                picture.line(x, y, display::kLiveTraceColor);
            }
        });
    return r.stepsPlotted;
}

void BM_FullRedraw(benchmark::State& state) {
    const std::int64_t records = state.range(0);
    const fs::path tst = sessionFile(records);
    Picture picture;
    std::int64_t steps = 0;
    for (auto _ : state) steps = fullRedraw(picture, tst, records);
    state.counters["records"] = static_cast<double>(records);
    state.counters["steps"] = static_cast<double>(steps);
    state.counters["MB/s"] = benchmark::Counter(static_cast<double>(records) * 4 / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}
// One hour, six hours and a day at the line's full rate.
BENCHMARK(BM_FullRedraw)
    ->Arg(kReadingsPerDay / 24)
    ->Arg(kReadingsPerDay / 4)
    ->Arg(kReadingsPerDay)
    ->Unit(benchmark::kMillisecond);

// One reading between redraws: convert, add to the step, plot it, check the range.
void BM_LiveStep(benchmark::State& state) {
    Picture picture;
    picture.cls();
    const float w = picture.width();
    const float h = picture.height();
    const display::GraphScale scale = display::liveScale(2048, 25, h);
    std::int32_t recordNumber = 1;
    std::int32_t stepCount = 1;
    float stepSum = 0;
    std::int32_t adc = 2048;
    std::int64_t offScale = 0;
    for (auto _ : state) {
        adc = 2000 + (recordNumber * 37) % 97;
        stepSum += platform::resistanceOfAdc(adc);
        if (display::liveStepDue(stepCount, 1)) {
            const auto value = static_cast<float>(static_cast<double>(stepSum) / 1);
            const std::int32_t step = display::liveStepX(recordNumber, 1);
            const std::int32_t y = display::plotY(value, scale.bottomOhms, scale.yScale, h);
            const std::int32_t x = display::wrapX(step, w);
            if (step == 1) {
                picture.pset(x, y, display::kLiveTraceColor);
            } else {
                picture.line(x, y, display::kLiveTraceColor);
            }
            offScale += display::offScale(y, h);
            stepSum = 0;
        }
        ++recordNumber;
        ++stepCount;
    }
    benchmark::DoNotOptimize(offScale);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LiveStep)->Unit(benchmark::kMicrosecond);

long statusKiB(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::string(key).size()));
    }
    return -1;
}

// Peak resident memory gained during one full redraw (the peak is reset before it), for
// sessions 100 times apart in length: the two must be alike. A short replay first pages in the
// code and the buffers that any replay needs, so that what remains is what the length costs.
void BM_ReplayPeakMemory(benchmark::State& state) {
    const std::int64_t records = state.range(0);
    const fs::path tst = sessionFile(records);
    Picture picture;
    fullRedraw(picture, sessionFile(1000), 1000);
    long growth = 0;
    for (auto _ : state) {
        {
            std::ofstream reset("/proc/self/clear_refs");
            reset << "5";
        }
        const long before = statusKiB("VmRSS:");
        fullRedraw(picture, tst, records);
        growth = statusKiB("VmHWM:") - before;
    }
    state.counters["records"] = static_cast<double>(records);
    state.counters["peak_rss_growth_KiB"] = static_cast<double>(growth);
}
BENCHMARK(BM_ReplayPeakMemory)
    ->Arg(kReadingsPerDay / 100)
    ->Arg(kReadingsPerDay)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace
