// The cost of one received frame through the session engine, as the window runs it: find and
// decode the frame, the reference latch, the readout texts and the colour level, the reading
// filter, the picture graph's live step (and the redraws that the time axis' compression
// brings, one every picture width of readings), and the record into the working files, kept in
// memory here so that the figure is the program's own work, not the disk's.
//
// The frames are the probe simulator's (a probe resting on skin, with drift and skin responses)
// at the line's full rate. A session is restarted every kSessionFrames frames (six minutes at
// that rate), so that the figure is the cost of a frame and its share of the redraws of a short
// session; what a redraw of a long session costs is BM_FullRedraw's.

#include "acquisition/session_engine.h"
#include "probe_signal.h"
#include "storage/file_store.h"
#include "storage/working_files.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace {

namespace acq = sylvane::acquisition;
namespace st = sylvane::storage;

constexpr std::int64_t kSessionFrames = 20'000;

// Frames as the simulated probe sends them at the line's full rate, cut into the 9-byte reads
// of the receive events.
std::vector<std::array<std::uint8_t, 9>> makeReads(std::size_t count) {
    sylvane::probesim::StreamOptions options;
    options.seed = 7;
    options.frameRate = sylvane::probesim::maxFrameRate;
    sylvane::probesim::FrameStream stream(options);
    std::vector<std::uint8_t> bytes;
    while (bytes.size() < 9 * count) {
        const auto frame = stream.next();
        bytes.insert(bytes.end(), frame.begin(), frame.end());
    }
    std::vector<std::array<std::uint8_t, 9>> reads(count);
    for (std::size_t i = 0; i < count; ++i)
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(9 * i), 9, reads[i].begin());
    return reads;
}

class NullView final : public acq::SessionView {
public:
    void showReadouts(const acq::Readouts& r) override { benchmark::DoNotOptimize(&r); }
    void showReference(std::string_view) override {}
    void showSensitivity(std::string_view) override {}
    void showElapsed(std::string_view) override {}
    void showColourDisplays(const acq::ColourDisplays&) override {}
    void sessionMustEnd(acq::SessionEnd, std::string_view) override {}
};

// A picture of the window's usual size that draws nothing.
class NullCanvas final : public acq::GraphCanvas {
public:
    float scaleWidth() const override { return 489; }
    float scaleHeight() const override { return 268; }
    void clear() override {}
    void showAxisLabels(const std::array<std::string, 10>&) override {}
    void dot(std::int32_t x, std::int32_t y, std::uint32_t) override {
        benchmark::DoNotOptimize(x + y);
    }
    void lineTo(std::int32_t x, std::int32_t y, std::uint32_t) override {
        benchmark::DoNotOptimize(x + y);
    }
    void showNotice(Notice) override {}
};

void BM_EngineReceivePerFrame(benchmark::State& state) {
    const auto reads = makeReads(kSessionFrames);
    NullView view;
    NullCanvas canvas;
    st::WorkingFiles files(std::make_unique<st::MemoryFileStore>());
    acq::SessionEngine engine(view, canvas, files);
    engine.setSensitivityCaption("25");
    std::size_t i = 0;
    std::int64_t sessions = 0;
    for (auto _ : state) {
        if (i % reads.size() == 0) {
            state.PauseTiming();
            engine.stop(" ", nullptr);
            engine.start(36000.0f, {}, nullptr);
            ++sessions;
            state.ResumeTiming();
        }
        engine.receive(reads[i++ % reads.size()]);
    }
    engine.stop(" ", nullptr);
    state.SetItemsProcessed(state.iterations());
    state.counters["frames_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["redraws"] = static_cast<double>(engine.counts().redraws);
    state.counters["sessions"] = static_cast<double>(sessions);
}
BENCHMARK(BM_EngineReceivePerFrame);

} // namespace
