// The cost of one received frame on the core receive path: find and decode the frame, run the
// reference latch and the reading filter, compute the readout texts and the colour level, and
// record the reading in the working files (both written through to the operating system).

#include "acquisition/frame_decoder.h"
#include "acquisition/reading_filter.h"
#include "acquisition/readouts.h"
#include "platform/number_rules.h"
#include "storage/working_files.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <array>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

namespace acq = sylvane::acquisition;
namespace fs = std::filesystem;

// Frames as the probe sends them, read at every offset, with a slowly wandering value.
std::vector<std::array<std::uint8_t, 9>> makeReads(std::size_t count) {
    std::vector<std::array<std::uint8_t, 9>> reads;
    std::mt19937 rng(7);
    int adc = 2000;
    for (std::size_t i = 0; i < count; ++i) {
        adc += static_cast<int>(rng() % 21) - 10;
        const std::array<std::uint8_t, 9> frame = {0xAA,
                                                   0xAA,
                                                   0x01,
                                                   0x03,
                                                   static_cast<std::uint8_t>(adc & 0xFF),
                                                   static_cast<std::uint8_t>(adc >> 8),
                                                   0x04,
                                                   0x00,
                                                   0x07};
        std::array<std::uint8_t, 9> read{};
        for (std::size_t k = 0; k < 9; ++k) read[k] = frame[(k + i) % 9];
        reads.push_back(read);
    }
    return reads;
}

void BM_ReceivePathPerFrame(benchmark::State& state) {
    const auto reads = makeReads(4096);
    const fs::path folder =
        fs::temp_directory_path() / ("sylvane-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    sylvane::storage::WorkingFiles files;
    if (!files.open(folder)) {
        state.SkipWithError("cannot create the working files");
        return;
    }

    std::int32_t rawADC = 0, probeStatus = 0, stableCandidate = 0, stableCount = 0;
    bool awaiting = true;
    std::array<std::int32_t, 6> window{};
    std::int32_t smoothed = 0, minADC = 4095, maxADC = 0;
    const acq::FilterFields fields{window, smoothed, minADC, maxADC};
    std::string reference = " ";
    std::int32_t recordNumber = 1;
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& read = reads[i++ % reads.size()];
        const auto frame = acq::findFrame(read);
        if (frame) {
            rawADC = frame->adc;
            probeStatus = frame->status;
        }
        if (const auto latched =
                acq::latchReference(awaiting, stableCandidate, stableCount, rawADC, probeStatus))
            reference = sylvane::platform::standardText(*latched);
        if (!frame) continue;
        acq::ReadoutInputs in;
        in.smoothedADC = smoothed;
        in.rawADC = rawADC;
        in.probeStatus = probeStatus;
        in.reference = sylvane::platform::numericValue(reference);
        in.graphSensitivity = 25;
        in.sessionRunning = true;
        benchmark::DoNotOptimize(acq::computeReadouts(in));
        if (acq::filterReading(fields, rawADC, probeStatus) && smoothed >= 1) {
            if (!files.record(recordNumber++, smoothed)) {
                state.SkipWithError("a record was refused");
                break;
            }
        }
        // Keep the files from growing without bound over a long run.
        if (recordNumber > 100000) recordNumber = 1;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["frames_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    files.close();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}
BENCHMARK(BM_ReceivePathPerFrame);

// The same without the record, to show what the disk costs.
void BM_DecodeFilterReadoutsPerFrame(benchmark::State& state) {
    const auto reads = makeReads(4096);
    std::int32_t rawADC = 0, probeStatus = 0;
    std::array<std::int32_t, 6> window{};
    std::int32_t smoothed = 0, minADC = 4095, maxADC = 0;
    const acq::FilterFields fields{window, smoothed, minADC, maxADC};
    std::size_t i = 0;
    for (auto _ : state) {
        const auto frame = acq::findFrame(reads[i++ % reads.size()]);
        rawADC = frame->adc;
        probeStatus = frame->status;
        acq::ReadoutInputs in;
        in.smoothedADC = smoothed;
        in.rawADC = rawADC;
        in.probeStatus = probeStatus;
        in.reference = 2000;
        in.graphSensitivity = 25;
        in.sessionRunning = true;
        benchmark::DoNotOptimize(acq::computeReadouts(in));
        benchmark::DoNotOptimize(acq::filterReading(fields, rawADC, probeStatus));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeFilterReadoutsPerFrame);

} // namespace
