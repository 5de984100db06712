// A session to export as any set of files can hold it: a .Tst of any length, any .Hdr, .Mrk and
// .Tim, each present or not. Reading it never traps; either it is refused with a message naming
// the .Tst, or the export hands the CSV format one row for each record that holds a reading, in
// order with rising times, every marker of the session on a row and every skin-response onset;
// the responses are in order, each measured with finite numbers, a tonic level for each reading,
// and the responses' CSV has a row for each marker.
//
// The first byte says which of .Hdr, .Mrk and .Tim are present (bits 0 to 2); then, for each
// present one, a byte with its length and its bytes; the rest is the .Tst.

#include "storage/csv_export.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

void check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "session export: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sylvane::storage;
    std::string_view in(reinterpret_cast<const char*>(data), size);
    if (in.empty()) return 0;
    const auto present = static_cast<unsigned char>(in[0]);
    in.remove_prefix(1);
    SessionBytes bytes;
    std::optional<std::string>* parts[4] = {&bytes.hdr, &bytes.mrk, &bytes.tim, &bytes.tms};
    for (int i = 0; i < 4; ++i) {
        if (!(present & (1u << i)) || in.empty()) continue;
        const std::size_t n =
            std::min<std::size_t>(static_cast<unsigned char>(in[0]), in.size() - 1);
        *parts[i] = std::string(in.substr(1, n));
        in.remove_prefix(n + 1);
    }
    bytes.tst = std::string(in);

    const ExportSource source = ExportSource::saved("f.Tst", "f.Hdr");
    ExportedSession session;
    std::string error;
    if (!sessionFromBytes(source, bytes, {}, &session, &error)) {
        check(error.find("f.Tst") != std::string::npos, "a refusal that does not name the file");
        return 0;
    }
    const auto& responses = session.responses;
    for (std::size_t i = 0; i < responses.size(); ++i) {
        const auto& r = responses[i];
        check(i == 0 || (r.onsetRecord > responses[i - 1].onsetRecord &&
                         r.onsetSeconds >= responses[i - 1].onsetSeconds),
              "responses out of order");
        check(std::isfinite(r.onsetSeconds) && std::isfinite(r.peakSeconds) &&
                  std::isfinite(r.onsetLevel) && std::isfinite(r.peakLevel),
              "a response measured as no number");
        check(r.amplitude() >= 0.05 && r.riseSeconds() >= 0.75, "a response below the limits");
        check(!r.halfRecoverySeconds ||
                  (std::isfinite(*r.halfRecoverySeconds) && *r.halfRecoverySeconds >= 0),
              "a half-recovery before the peak");
    }
    check(static_cast<std::int64_t>(session.tonic.size()) == session.soundReadings,
          "a reading without its tonic level");
    std::string markerRows;
    check(writeResponsesCsv(
              session, {},
              [&](std::string_view b, std::string*) {
                  markerRows.append(b);
                  return true;
              },
              &error),
          "the responses' CSV into memory failed");

    // The rows as the CSV format gets them, checked on the way.
    struct Checked final : ExportFormat {
        CsvFormat csv{[](std::string_view, std::string*) { return true; }};
        std::int64_t rows = 0, lastRecord = 0, markers = 0, onsets = 0, lastSample = -1;
        double lastSeconds = -1;
        std::optional<GridPlacer> grid;
        bool begin(const ExportedSession& s, std::string* e) override {
            grid.emplace(s.clock);
            return csv.begin(s, e);
        }
        bool reading(const ExportedReading& r, std::string* e) override {
            // Recorded times may repeat (two readings in one millisecond), derived ones never.
            check(r.record > lastRecord && r.seconds >= lastSeconds && std::isfinite(r.seconds),
                  "rows out of order");
            const std::int64_t sample = grid->place(r.seconds);
            check(sample > lastSample, "two readings in one sample of the grid");
            lastSample = sample;
            check(soundReading(r.adc) && r.ohms > 0 && r.microsiemens > 0, "not a reading");
            lastRecord = r.record;
            lastSeconds = r.seconds;
            ++rows;
            markers += static_cast<std::int64_t>(r.markers.size());
            onsets += r.responseOnset;
            return csv.reading(r, e);
        }
        bool finish(std::string* e) override { return csv.finish(e); }
        void abandon() override { csv.abandon(); }
    } format;
    check(exportSession(session, format, &error), "the export into memory failed");
    check(format.rows == session.soundReadings, "not one row a reading");
    check(format.markers == static_cast<std::int64_t>(session.markers.size()), "a marker lost");
    check(format.onsets == static_cast<std::int64_t>(responses.size()), "an onset lost");
    // Line ends outside quoted fields.
    std::ptrdiff_t rowEnds = 0;
    bool quoted = false;
    for (const char c : markerRows) {
        if (c == '"') quoted = !quoted;
        rowEnds += c == '\n' && !quoted;
    }
    check(rowEnds == static_cast<std::ptrdiff_t>(session.markers.size()) + 1,
          "not one row a marker");
    check(session.clock.period() > 0, "a reading clock that does not advance");
    check(session.times.empty() || session.times.size() == session.values.size(),
          "a reading without its time");
    return 0;
}
