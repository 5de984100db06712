// The cost of one received frame through the session engine, as the window runs it: find and
// decode the frame, the reference latch, the readout texts and the colour level, the reading
// filter, the picture graph's live step (and the redraws that the time axis' compression
// brings, one every picture width of readings), and the record into the working files, kept in
// memory here so that the figure is the program's own work, not the disk's.
//
// A session is restarted every kSessionFrames frames so that the files do not grow without
// bound and the redraws replay sessions of the length they have in the first hour of real use.

#include "acquisition/session_engine.h"
#include "storage/file_store.h"
#include "storage/working_files.h"

#include <benchmark/benchmark.h>

#include <array>
#include <memory>
#include <random>
#include <vector>

namespace {

namespace acq = sylvane::acquisition;
namespace st = sylvane::storage;

constexpr std::int64_t kSessionFrames = 100'000;

// Frames as the probe sends them, read at every offset, with a slowly wandering value that
// holds still long enough for the reference to latch.
std::vector<std::array<std::uint8_t, 9>> makeReads(std::size_t count) {
    std::vector<std::array<std::uint8_t, 9>> reads;
    std::mt19937 rng(7);
    int adc = 2000;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 40) adc += static_cast<int>(rng() % 21) - 10;
        const std::array<std::uint8_t, 9> frame = {
            0xAA, 0xAA, 0x01, 0x03, static_cast<std::uint8_t>(adc & 0xFF),
            static_cast<std::uint8_t>(adc >> 8), 0x04, 0x00, 0x07};
        std::array<std::uint8_t, 9> read{};
        for (std::size_t k = 0; k < 9; ++k) read[k] = frame[(k + i) % 9];
        reads.push_back(read);
    }
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
