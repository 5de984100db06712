#include "storage/session_export.h"

#include "analysis/response_detector.h"
#include "analysis/tonic_level.h"
#include "platform/number_rules.h"
#include "storage/file_store.h"
#include "storage/reading_times.h"
#include "storage/session_header.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <system_error>

namespace sylvane::storage {

namespace fs = std::filesystem;

namespace {

std::optional<std::string> readWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string{std::istreambuf_iterator<char>(in), {}};
}

std::string lineList(const std::vector<int>& lines) {
    std::string out;
    for (std::size_t i = 0; i < lines.size() && i < 10; ++i) {
        if (i > 0) out += ", ";
        out += std::to_string(lines[i]);
    }
    if (lines.size() > 10) out += "...";
    return out;
}

std::optional<std::chrono::system_clock::time_point> modified(const fs::path& path) {
    std::error_code ec;
    const auto when = fs::last_write_time(path, ec);
    if (ec) return std::nullopt;
    return std::chrono::time_point_cast<std::chrono::system_clock::duration>(
        std::chrono::file_clock::to_sys(when));
}

// A whole rate that puts every reading of a span within 20 ms of its time is the probe's own;
// the rest is the timing of the readings' arrival.
double snappedRate(double rate, double span) {
    const double whole = std::round(rate);
    if (whole >= 1 && span * std::fabs(rate - whole) / whole <= 0.02) return whole;
    return rate;
}

// The readings' recorded times from the .Tms, and the EDF+ grid of the session's nominal rate.
void recordedTimes(const ExportSource& source, std::string_view tms, ExportedSession* s) {
    const std::size_t n = s->values.size();
    bool backwards = false;
    s->times = readTimes(tms, n, &backwards);
    const std::size_t kept = s->times.size();
    if (backwards)
        s->notes.push_back(source.tms.string() +
                           ": times that go backwards are taken as the time before them.");
    const Cadence cadence =
        cadenceOf(s->times, [s](std::size_t i) { return soundReading(s->values[i]); });
    const double period = cadence.period;
    const double longestRun = cadence.longestRun;

    // Records the .Tms does not reach (a cut file) follow the last time at the nominal rate.
    if (kept < n) {
        const double last = kept > 0 ? s->times[kept - 1] : 0.0;
        for (std::size_t i = kept; i < n; ++i) {
            const double ms = last + static_cast<double>(i - kept + 1) * period * 1000.0;
            s->times.push_back(static_cast<std::uint32_t>(std::min(ms, 4294967295.0)));
        }
        s->notes.push_back(source.tms.string() + ": the times of the last " +
                           std::to_string(n - kept) +
                           " readings are missing; they are taken at the session's rate.");
    }

    // A whole rate that moves no reading of a stretch without a gap by more than 20 ms is the
    // probe's own (each stretch starts afresh after a gap, so only their lengths count).
    const double first = n > 0 ? s->times.front() / 1000.0 : 0.0;
    s->clock = readingClockFor(snappedRate(1.0 / period, longestRun), first);
}

} // namespace

ExportSource ExportSource::working(const fs::path& folder) {
    return {folder / kWorkingTst, folder / kWorkingHdr, folder / kWorkingMrk, folder / kWorkingTim,
            folder / kWorkingTms};
}

ExportSource ExportSource::saved(const fs::path& tst, const fs::path& hdr) {
    return {tst, hdr, fs::path(hdr).replace_extension(kSavedMrkExtension),
            fs::path(hdr).replace_extension(kSavedTimExtension),
            fs::path(hdr).replace_extension(kSavedTmsExtension)};
}

std::int64_t GridPlacer::place(double seconds) {
    const double at = (seconds - m_clock.firstSeconds) / m_clock.period();
    const std::int64_t nearest =
        std::isfinite(at) ? std::llround(std::clamp(at, 0.0, 1e15)) : m_last + 1;
    m_last = std::max(nearest, m_last + 1);
    return m_last;
}

ReadingClock readingClockFor(double rate, double firstSeconds) {
    ReadingClock clock;
    // A first reading more than a day after Start is no session's: the times are damaged.
    clock.firstSeconds =
        std::isfinite(firstSeconds) && firstSeconds > 0 && firstSeconds < 86400 ? firstSeconds : 0;
    if (!std::isfinite(rate) || rate <= 0) rate = kNominalRate;
    rate = std::clamp(rate, 1.0 / 60, 1000.0);
    const double whole = std::round(rate);
    if (whole >= 1 && std::fabs(rate - whole) <= 1e-9 * rate) {
        clock.readingsPerRecord = static_cast<int>(whole);
        clock.recordUnits = 100000;
        return clock;
    }
    // EDFlib writes a record's duration as eight characters and cuts the digits it does not
    // write rather than rounding them, so that 10.1 s goes out as 10.09999 and the file no
    // longer reads back. Only a duration that is exact in binary is written as it is: a multiple
    // of 1/32 s (3125 units of 10 us), at most a minute. The shortest record holding a whole
    // number of readings within a hundred-thousandth of the session's rate (36 ms an hour) is
    // taken, or else the one nearest to it.
    constexpr std::int64_t kGrid = 3125;
    constexpr std::int64_t kLongest = 6000000;
    double bestError = std::numeric_limits<double>::infinity();
    const int most = std::max(1, static_cast<int>(rate * kLongest / 100000.0));
    for (int n = 1; n <= most; ++n) {
        const std::int64_t units = std::clamp<std::int64_t>(
            std::llround(n * 100000.0 / rate / static_cast<double>(kGrid)) * kGrid, kGrid,
            kLongest);
        const double error = std::fabs(n * 100000.0 / static_cast<double>(units) - rate) / rate;
        if (error < bestError) {
            bestError = error;
            clock.readingsPerRecord = n;
            clock.recordUnits = units;
        }
        if (bestError <= 1e-5) break;
    }
    return clock;
}

bool loadSession(const ExportSource& source, const ExportOptions& options, ExportedSession* out,
                 std::string* error) {
    SessionBytes bytes;
    std::ifstream tst(source.tst, std::ios::binary);
    if (!tst) {
        if (error) *error = "The readings cannot be read: " + source.tst.string();
        return false;
    }
    bytes.tst.assign(std::istreambuf_iterator<char>(tst), {});
    if (tst.bad()) {
        if (error) *error = "The readings cannot be read: " + source.tst.string();
        return false;
    }
    bytes.hdr = readWhole(source.hdr);
    bytes.mrk = readWhole(source.mrk);
    bytes.tim = readWhole(source.tim);
    bytes.tms = readWhole(source.tms);
    bytes.tstModified = modified(source.tst);
    return sessionFromBytes(source, bytes, options, out, error);
}

bool sessionFromBytes(const ExportSource& source, const SessionBytes& bytes,
                      const ExportOptions& options, ExportedSession* out, std::string* error) {
    ExportedSession s;
    s.source = source;
    const std::string tstName = source.tst.string();
    s.values.resize(bytes.tst.size() / 4);
    if constexpr (std::endian::native == std::endian::little) {
        if (!s.values.empty()) std::memcpy(s.values.data(), bytes.tst.data(), s.values.size() * 4);
    } else {
        for (std::size_t i = 0; i < s.values.size(); ++i) {
            std::uint32_t u = 0;
            for (int k = 3; k >= 0; --k)
                u = u << 8 |
                    static_cast<unsigned char>(bytes.tst[4 * i + static_cast<std::size_t>(k)]);
            s.values[i] = static_cast<std::int32_t>(u);
        }
    }
    if (bytes.tst.size() % 4 != 0)
        s.notes.push_back(tstName + " ends in a cut record, which is left out.");

    std::int32_t lo = 4095, hi = 0;
    for (const std::int32_t v : s.values) {
        if (!soundReading(v)) continue;
        ++s.soundReadings;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    if (s.soundReadings == 0) {
        if (error) *error = "There are no readings to export in " + tstName;
        return false;
    }
    if (const auto bad = static_cast<std::int64_t>(s.values.size()) - s.soundReadings; bad > 0) {
        s.notes.push_back(tstName + ": " + std::to_string(bad) +
                          " records hold no reading (below 1 or above 4094) and are left out.");
    }

    // The header's range when it holds every reading, so that the exports keep the range the
    // program recorded; otherwise the readings' own.
    s.minADC = lo;
    s.maxADC = hi;
    const auto& hdrBytes = bytes.hdr;
    const SessionHeader header = readSessionHeader(hdrBytes.value_or(std::string()));
    if (header.itemCount >= 5) s.comments = header.comments;
    if (!hdrBytes || !header.complete()) {
        s.notes.push_back(source.hdr.string() +
                          " is missing or incomplete: the range of the readings is used" +
                          (header.itemCount >= 5 ? "." : ", without comments."));
    } else if (header.minADC() <= lo && header.maxADC() >= hi && soundReading(header.minADC()) &&
               soundReading(header.maxADC())) {
        s.minADC = header.minADC();
        s.maxADC = header.maxADC();
    } else {
        s.notes.push_back("The range in " + source.hdr.string() +
                          " does not hold its readings: the range of the readings is used.");
    }

    if (const auto& mrk = bytes.mrk) {
        MarkerFile markers = readMarkers(*mrk, static_cast<std::int64_t>(s.values.size()));
        if (!markers.badLines.empty()) {
            s.notes.push_back(source.mrk.string() + ": lines " + lineList(markers.badLines) +
                              " are not markers of this session and are left out.");
        }
        s.markers = std::move(markers.markers);
        std::stable_sort(s.markers.begin(), s.markers.end(),
                         [](const Marker& a, const Marker& b) { return a.record < b.record; });
    }

    // Times: see the header.
    SessionTimes times;
    if (const auto& tim = bytes.tim) {
        times = readSessionTimes(*tim);
        if (!times.badLines.empty()) {
            s.notes.push_back(source.tim.string() + ": lines " + lineList(times.badLines) +
                              " are not understood.");
        }
    }
    const auto readings = static_cast<double>(s.values.size());
    if (const auto& tms = bytes.tms; tms && tms->size() >= 4) {
        recordedTimes(source, *tms, &s);
    } else {
        double rate = kNominalRate;
        double first = 0;
        s.rateEstimated = s.values.size() > 1;
        if (times.readings >= 1) first = times.firstSeconds;
        if (times.readings >= 2 && times.lastSeconds > times.firstSeconds) {
            const double span = times.lastSeconds - times.firstSeconds;
            const auto intervals = static_cast<double>(times.readings - 1);
            rate = snappedRate(intervals / span, span);
            s.rateEstimated = false;
        } else if (times.start && times.readings < 0) {
            if (const auto& mtime = bytes.tstModified) {
                const double span = static_cast<double>(localTimeOf(*mtime).utcMilliseconds() -
                                                        times.start->utcMilliseconds()) /
                                    1000.0;
                if (span > 0 && readings > 1) rate = readings / span;
            }
        }
        s.clock = readingClockFor(rate, first);
    }
    if (times.start) {
        s.start = *times.start;
    } else {
        s.startEstimated = true;
        const auto mtime = bytes.tstModified.value_or(std::chrono::system_clock::now());
        s.start = localTimeOf(mtime).plus(-s.secondsOf(static_cast<std::int64_t>(readings)));
    }

    // The responses first: the tonic level leaves them out.
    analysis::ResponseDetector detector(options.responseThreshold);
    for (std::size_t i = 0; i < s.values.size(); ++i) {
        if (const auto g = analysis::conductanceOfAdc(s.values[i])) {
            const auto record = static_cast<std::int64_t>(i) + 1;
            detector.add(record, s.secondsOf(record), *g);
        }
    }
    detector.finish();
    s.responses = detector.takeResponses();
    analysis::TonicLevel tonic(s.responses);
    tonic.reserve(static_cast<std::size_t>(s.soundReadings));
    for (std::size_t i = 0; i < s.values.size(); ++i) {
        if (const auto g = analysis::conductanceOfAdc(s.values[i])) {
            const auto record = static_cast<std::int64_t>(i) + 1;
            tonic.add(record, s.secondsOf(record), *g);
        }
    }
    tonic.finish();
    s.tonic = tonic.takeLevels();

    *out = std::move(s);
    return true;
}

bool exportSession(const ExportedSession& s, ExportFormat& format, std::string* error) {
    const auto fail = [&] {
        format.abandon();
        return false;
    };
    if (!format.begin(s, error)) return fail();
    const auto n = static_cast<std::int64_t>(s.values.size());
    std::size_t nextMarker = 0;
    std::size_t nextOnset = 0;
    std::size_t sound = 0;
    std::int64_t lastSound = n;
    while (lastSound > 0 && !soundReading(s.values[static_cast<std::size_t>(lastSound - 1)]))
        --lastSound;
    for (std::int64_t record = 1; record <= n; ++record) {
        const std::int32_t v = s.values[static_cast<std::size_t>(record - 1)];
        if (!soundReading(v)) continue;
        ExportedReading r;
        r.record = record;
        r.seconds = s.secondsOf(record);
        r.adc = v;
        r.ohms = platform::resistanceOfAdc(v);
        r.microsiemens = static_cast<float>(1000000.0 / static_cast<double>(r.ohms));
        if (sound < s.tonic.size()) r.tonic = s.tonic[sound];
        ++sound;
        const auto& onsets = s.responses;
        while (nextOnset < onsets.size() && onsets[nextOnset].onsetRecord < record) ++nextOnset;
        r.responseOnset = nextOnset < onsets.size() && onsets[nextOnset].onsetRecord == record;
        const std::size_t from = nextMarker;
        // Markers at records without a reading go with the next reading, or the last one.
        while (nextMarker < s.markers.size() &&
               (s.markers[nextMarker].record <= record || record == lastSound))
            ++nextMarker;
        r.markers = std::span<const Marker>(s.markers).subspan(from, nextMarker - from);
        r.firstMarkerNumber = from + 1;
        if (!format.reading(r, error)) return fail();
    }
    if (!format.finish(error)) return fail();
    return true;
}

} // namespace sylvane::storage
