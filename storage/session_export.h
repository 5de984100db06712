#pragma once
// Exporting a session: one walk over its readings (the working files, or a saved .Tst with the
// .Hdr, .Mrk and .Tim beside it) that hands each reading, with its time, resistance,
// conductance, markers and skin-response onset, to a format (CSV, EDF+).
//
// Time: reading n of a session is at t1 + (n - 1) / rate seconds from Start. t1 and the rate come
// from the session's side file (.tim, storage/session_times.h): t1 is the time of the first
// reading, the rate (readings - 1) / (time of the last - time of the first), or the whole rate
// next to it when that moves no reading by more than 20 ms. The rate is then
// held to a whole number of readings in an EDF+ data record of 1 s or a multiple of 1/32 s up to
// a minute, so that both formats carry the same times. Without the side file the rate is taken as
// the probe's 2 readings a second, and Start as the .Tst's modification time less the readings'
// duration; a side file without its readings line (a session that was never stopped) gives the
// rate of the readings over the time from Start to that modification time.

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
    std::filesystem::path tst, hdr, mrk, tim;
    // tempdata.tst, .hdr, .mrk and .tim in the folder.
    static ExportSource working(const std::filesystem::path& folder);
    // A saved session: its .Mrk and .Tim are beside the .Hdr.
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
    // Records of the skin-response onsets, ascending.
    std::vector<std::int64_t> onsets;
    LocalTime start;
    bool startEstimated = false;
    bool rateEstimated = false;
    ReadingClock clock;
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
    std::optional<std::string> hdr, mrk, tim;
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
    virtual bool reading(const ExportedReading& reading, std::string* error) = 0;
    // Records first..last hold no reading; fill is the last reading before them (the first after
    // them at the start of the session).
    virtual bool gap(std::int64_t first, std::int64_t last, std::int32_t fill,
                     std::string* error) = 0;
    virtual bool finish(std::string* error) = 0;
    // The export failed: leave nothing behind.
    virtual void abandon() = 0;
};

// Hands the session to the format, in record order. False with *error at the first failure,
// after the format has been abandoned.
bool exportSession(const ExportedSession& session, ExportFormat& format, std::string* error);

} // namespace sylvane::storage
