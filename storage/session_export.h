#pragma once
// Exporting a session: one walk over its readings (the working files, or a saved .Tst with the
// .Hdr, .Mrk, .Tim and .Tms beside it) that hands each reading, with its time, resistance,
// conductance, tonic level, markers and skin-response onset, to a format (CSV, EDF+). The skin
// responses and the tonic level are measured once, as the session is read (analysis/).
//
// Time: each reading has the time it was recorded, the seconds from Start to its frame's arrival,
// in the .Tms (file_store.h); the local date and time of Start is in the .Tim
// (storage/session_times.h). A session saved before readings kept their times has none: reading
// n is then at t1 + (n - 1) / rate from Start, t1 and the rate from the .Tim (the time of the first
// reading; (readings - 1) / (time of the last - time of the first), or the whole rate next to it
// when that moves no reading by more than 20 ms); without a .Tim, at the probe's 2 readings a
// second from the .Tst's modification time less the readings' duration; with a .Tim that has no
// readings line (a session never stopped), at the rate of the readings over the time from Start
// to that modification time.
//
// The EDF+ grid (ReadingClock) is the session's nominal rate: the median interval between
// readings, refined as the mean of the intervals near it (gaps left out), snapped to a whole rate
// when that moves no reading by more than 20 ms, held to a whole number of readings in a data
// record of 1 s (whole rates) or of a multiple of 1/32 s up to a minute (the durations EDFlib
// writes exactly).

#include "analysis/response_detector.h"
#include "storage/marker_file.h"
#include "storage/session_times.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sylvane::storage {

struct ExportSource {
    std::filesystem::path tst, hdr, mrk, tim, tms;
    // tempdata.tst, .hdr, .mrk, .tim and .tms in the folder.
    static ExportSource working(const std::filesystem::path& folder);
    // A saved session: its .Mrk, .Tim and .Tms are beside the .Hdr.
    static ExportSource saved(const std::filesystem::path& tst, const std::filesystem::path& hdr);
};

// The probe's rate, taken when the session does not tell its own.
inline constexpr double kNominalRate = 2.0;

// A whole number of readings in a data record of a whole number of 10 us units.
struct ReadingClock {
    double firstSeconds = 0; // reading 1, from Start
    int readingsPerRecord = 2;
    std::int64_t recordUnits = 100000;
    double period() const { return static_cast<double>(recordUnits) * 1e-5 / readingsPerRecord; }
    double rate() const { return 1.0 / period(); }
    double at(std::int64_t record) const {
        return firstSeconds + static_cast<double>(record - 1) * period();
    }
};
// The clock nearest to rate (readings a second): whole rates in records of 1 s, others in
// records of a multiple of 1/32 s, at most 60 s (so at least one reading a minute).
ReadingClock readingClockFor(double rate, double firstSeconds);

struct ExportOptions {
    double responseThreshold = 0.05; // uS
};

// A session as the formats see it.
struct ExportedSession {
    ExportSource source;
    // Every record of the .Tst; those below 1 or above 4094 hold no reading.
    std::vector<std::int32_t> values;
    std::int64_t soundReadings = 0;
    // The header's range, or the readings' when the header does not hold them.
    std::int32_t minADC = 0;
    std::int32_t maxADC = 0;
    std::string comments;
    // Sound markers, by record.
    std::vector<Marker> markers;
    // The skin responses, by onset.
    std::vector<analysis::Response> responses;
    // The tonic level of each sound reading, in record order (analysis/tonic_level.h).
    std::vector<float> tonic;
    // The recorded time of each record, in milliseconds from Start (the .Tms); empty for a
    // session saved before readings kept their times, whose times come from `clock`.
    std::vector<std::uint32_t> times;
    LocalTime start;
    bool startEstimated = false;
    bool rateEstimated = false;
    // The EDF+ grid; for a session without recorded times, also the times of its readings.
    ReadingClock clock;

    // Seconds from Start of a record (1-based).
    double secondsOf(std::int64_t record) const {
        if (times.empty()) return clock.at(record);
        return times[static_cast<std::size_t>(record - 1)] / 1000.0;
    }
    // Seconds from Start of a marker: its own recorded time, or its record's in a session
    // without recorded times.
    double secondsOf(const Marker& marker) const {
        return times.empty() ? clock.at(marker.record) : marker.seconds;
    }
    // What was wrong with the files and what was done about it, each naming the file.
    std::vector<std::string> notes;
};

// A record's value is a reading.
inline bool soundReading(std::int32_t value) {
    return value >= 1 && value <= 4094;
}

// Reads a session for export. False, with *error naming the file, when it cannot be read or
// holds no reading.
bool loadSession(const ExportSource& source, const ExportOptions& options, ExportedSession* out,
                 std::string* error);

// The files of a session as they were read; nothing for a file that is missing.
struct SessionBytes {
    std::string tst;
    std::optional<std::string> hdr, mrk, tim, tms;
    std::optional<std::chrono::system_clock::time_point> tstModified;
};
// The same from the files' bytes; source only names them.
bool sessionFromBytes(const ExportSource& source, const SessionBytes& bytes,
                      const ExportOptions& options, ExportedSession* out, std::string* error);

struct ExportedReading {
    std::int64_t record = 0;
    double seconds = 0; // from Start
    std::int32_t adc = 0;
    float ohms = 0;
    float microsiemens = 0;
    float tonic = 0; // uS
    bool responseOnset = false;
    // The markers at this reading (with those at records without a reading before it, and
    // after it when it is the last reading), and the number (1-based) of the first of them.
    std::span<const Marker> markers;
    std::size_t firstMarkerNumber = 0;
};

class ExportFormat {
public:
    virtual ~ExportFormat() = default;
    virtual bool begin(const ExportedSession& session, std::string* error) = 0;
    // The sound readings in record order (records that hold no reading are passed over).
    virtual bool reading(const ExportedReading& reading, std::string* error) = 0;
    virtual bool finish(std::string* error) = 0;
    // The export failed: leave nothing behind.
    virtual void abandon() = 0;
};

// Hands the session to the format, in record order. False with *error at the first failure,
// after the format has been abandoned.
bool exportSession(const ExportedSession& session, ExportFormat& format, std::string* error);

// Where the readings go on the EDF+ grid: each in the sample nearest its time, never before the
// sample after the reading before it, so that no reading is lost or reordered.
class GridPlacer {
public:
    explicit GridPlacer(const ReadingClock& clock) : m_clock(clock) {}
    // The sample (from 0) of a reading at seconds from Start.
    std::int64_t place(double seconds);

private:
    ReadingClock m_clock;
    std::int64_t m_last = -1;
};

} // namespace sylvane::storage
