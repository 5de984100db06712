// Exporting a day at the line's full rate: 24 h x 53 readings a second (4.58 million) read from
// a saved session with the time of each reading, the skin responses found, and written as EDF+
// (target: under 1 s) or as CSV.

#include "storage/csv_export.h"
#include "storage/edf_export.h"
#include "storage/session_header.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace sylvane::storage;

constexpr std::int64_t kReadings = 24LL * 3600 * 53;

struct DaySession {
    fs::path folder;
    DaySession() {
        folder =
            fs::temp_directory_path() / ("sylvane-bench-" + std::to_string(std::random_device{}()));
        fs::create_directories(folder);
        std::string tst(static_cast<std::size_t>(kReadings) * 4, '\0');
        std::string tms(static_cast<std::size_t>(kReadings) * 4, '\0');
        std::int32_t lo = 4095, hi = 0;
        std::mt19937 jitter(7);
        for (std::int64_t i = 0; i < kReadings; ++i) {
            // A slow drift with a skin response every 25 s.
            const double t = static_cast<double>(i) / 53;
            const double phase = std::fmod(t, 25.0);
            const double response = phase < 2
                                        ? 60 * (1 - std::cos(std::numbers::pi * phase / 2)) / 2
                                        : 60 * std::exp(-(phase - 2) / 6);
            const auto v = static_cast<std::int32_t>(2000 + 100 * std::sin(t / 3600) + response);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
            // Each reading's time as the serial link gives it: within a few ms of its frame.
            const auto ms = static_cast<std::uint32_t>(100 + std::llround(t * 1000) +
                                                       static_cast<int>(jitter() % 7));
            for (int k = 0; k < 4; ++k) {
                tst[static_cast<std::size_t>(4 * i + k)] = static_cast<char>(v >> (8 * k));
                tms[static_cast<std::size_t>(4 * i + k)] = static_cast<char>(ms >> (8 * k));
            }
        }
        std::ofstream(folder / "day.Tst", std::ios::binary) << tst;
        std::ofstream(folder / "day.Tms", std::ios::binary) << tms;
        std::ofstream(folder / "day.Hdr", std::ios::binary)
            << headerBytes(sessionHeader(lo, hi, "A day at 53 readings a second"));
        std::ofstream(folder / "day.Tim", std::ios::binary)
            << startLine(LocalTime{2024, 5, 1, 8, 0, 0, 0, 120})
            << readingsLine(kReadings, 0.1, 0.1 + static_cast<double>(kReadings - 1) / 53);
    }
    ~DaySession() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    ExportSource source() const {
        return ExportSource::saved(folder / "day.Tst", folder / "day.Hdr");
    }
};

DaySession& day() {
    static DaySession session;
    return session;
}

void BM_ExportDayAsEdf(benchmark::State& state) {
    const ExportSource source = day().source();
    std::int64_t onsets = 0;
    for (auto _ : state) {
        ExportedSession session;
        std::string error;
        if (!loadSession(source, {}, &session, &error)) state.SkipWithError(error.c_str());
        EdfFormat edf(day().folder / "day.edf");
        if (!exportSession(session, edf, &error)) state.SkipWithError(error.c_str());
        onsets = static_cast<std::int64_t>(session.responses.size());
    }
    state.counters["readings"] = static_cast<double>(kReadings);
    state.counters["SCR onsets"] = static_cast<double>(onsets);
    state.counters["MB"] = static_cast<double>(fs::file_size(day().folder / "day.edf")) / 1e6;
}
BENCHMARK(BM_ExportDayAsEdf)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ExportDayAsCsv(benchmark::State& state) {
    const ExportSource source = day().source();
    for (auto _ : state) {
        ExportedSession session;
        std::string error;
        if (!loadSession(source, {}, &session, &error)) state.SkipWithError(error.c_str());
        std::ofstream out(day().folder / "day.csv", std::ios::binary);
        CsvFormat csv([&](std::string_view bytes, std::string*) {
            return static_cast<bool>(
                out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())));
        });
        if (!exportSession(session, csv, &error)) state.SkipWithError(error.c_str());
    }
    state.counters["MB"] = static_cast<double>(fs::file_size(day().folder / "day.csv")) / 1e6;
}
BENCHMARK(BM_ExportDayAsCsv)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
