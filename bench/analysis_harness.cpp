// The analysis of a whole day: 24 h of the simulated probe's signal (a drifting level, a skin
// response about every 25 s) at 2 and at 53 readings a second, as the exports read a session:
// the responses found and measured and the tonic level of every reading. The readings are made
// first; then the time of the analysis (the best of three runs) and the most heap it held at once
// beyond them. Prints one line a rate:
//     analysis <rate> <readings> <milliseconds> <peak MB> <responses>
//
//     sylvane_analysis_harness [HOURS]

#include "analysis/response_detector.h"
#include "analysis/tonic_level.h"
#include "probe_signal.h"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

// The heap in use and its peak, counted by the replaced allocation functions below.
std::atomic<std::int64_t> inUse{0};
std::atomic<std::int64_t> peak{0};

void* counted(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (!p) throw std::bad_alloc();
    const auto now = inUse += static_cast<std::int64_t>(malloc_usable_size(p));
    std::int64_t seen = peak.load();
    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
    }
    return p;
}

void uncounted(void* p) {
    if (!p) return;
    inUse -= static_cast<std::int64_t>(malloc_usable_size(p));
    std::free(p);
}

} // namespace

void* operator new(std::size_t size) {
    return counted(size);
}
void* operator new[](std::size_t size) {
    return counted(size);
}
void operator delete(void* p) noexcept {
    uncounted(p);
}
void operator delete[](void* p) noexcept {
    uncounted(p);
}
void operator delete(void* p, std::size_t) noexcept {
    uncounted(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    uncounted(p);
}

int main(int argc, char** argv) {
    const double hours = argc > 1 ? std::atof(argv[1]) : 24;
    for (const double rate : {2.0, 53.0}) {
        // The session as the exports hold it: the smoothed ADC values and their times in
        // milliseconds from Start.
        const auto n = static_cast<std::size_t>(hours * 3600 * rate);
        std::vector<std::int32_t> values(n);
        std::vector<std::uint32_t> ms(n);
        sylvane::probesim::SkinSignal signal(1, rate);
        for (std::size_t i = 0; i < n; ++i) {
            values[i] = signal.next();
            ms[i] = static_cast<std::uint32_t>(static_cast<double>(i) * 1000 / rate + 500);
        }

        double best = 1e300;
        std::size_t responses = 0;
        std::int64_t most = 0;
        for (int run = 0; run < 3; ++run) {
            const std::int64_t before = inUse;
            peak = before;
            const auto start = std::chrono::steady_clock::now();
            sylvane::analysis::ResponseDetector detector;
            for (std::size_t i = 0; i < n; ++i) {
                if (const auto g = sylvane::analysis::conductanceOfAdc(values[i]))
                    detector.add(static_cast<std::int64_t>(i) + 1, ms[i] / 1000.0, *g);
            }
            detector.finish();
            sylvane::analysis::TonicLevel tonic(detector.responses());
            tonic.reserve(n);
            for (std::size_t i = 0; i < n; ++i) {
                if (const auto g = sylvane::analysis::conductanceOfAdc(values[i]))
                    tonic.add(static_cast<std::int64_t>(i) + 1, ms[i] / 1000.0, *g);
            }
            tonic.finish();
            const std::chrono::duration<double, std::milli> took =
                std::chrono::steady_clock::now() - start;
            best = std::min(best, took.count());
            responses = detector.responses().size();
            most = std::max(most, peak - before);
            if (tonic.levels().size() != n) {
                std::fprintf(stderr, "analysis: %zu tonic levels for %zu readings\n",
                             tonic.levels().size(), n);
                return 1;
            }
        }
        std::printf("analysis %g %zu %.0f %.1f %zu\n", rate, n, best,
                    static_cast<double>(most) / 1e6, responses);
    }
    return 0;
}
