#include "storage/edf_export.h"

#include "platform/number_rules.h"
#include "storage/reading_times.h"

#include <edflib.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <system_error>

namespace sylvane::storage {

namespace fs = std::filesystem;

namespace {

constexpr int kSignals = 3;
constexpr int kDigitalMin = -32768;
constexpr int kDigitalMax = 32767;
constexpr int kMaxAnnotationSignals = 64;

// The value the text of x with `decimals` decimals stands for, when that text fits 8 characters.
std::optional<double> fieldValue(double x, int decimals) {
    char text[64];
    const auto r = std::to_chars(text, text + sizeof text, x, std::chars_format::fixed, decimals);
    if (r.ec != std::errc() || r.ptr - text > 8) return std::nullopt;
    double v = 0;
    std::from_chars(text, r.ptr, v);
    return v;
}

struct Field {
    double value;   // what the header's text stands for
    double written; // what EDFlib is given: it cuts its text rather than rounding it
};

Field fieldRounded(double x, bool up) {
    for (int decimals = 7; decimals >= 0; --decimals) {
        const double scale = std::pow(10.0, decimals);
        const double v = (up ? std::ceil(x * scale) : std::floor(x * scale)) / scale;
        if (const auto field = fieldValue(v, decimals)) return {*field, *field + 0.25 / scale};
    }
    return {x, x};
}

// Header text: printable ASCII, anything else shown as "_".
std::string asciiOf(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            // One mark for each character, not for each of its bytes.
            if ((c & 0xC0) != 0x80) out += '_';
        } else {
            out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : ' ';
        }
    }
    return out;
}

// Annotation text: line breaks and other control characters become blanks.
std::string annotationText(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    return out;
}

// Where a UTF-8 text may be cut at or before `limit` bytes without splitting a character.
std::size_t cutAt(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text.size();
    std::size_t at = limit;
    while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) --at;
    return at;
}

short digital(double x, double lo, double hi) {
    const double d = std::round((x - lo) / (hi - lo) * (kDigitalMax - kDigitalMin)) + kDigitalMin;
    return static_cast<short>(std::clamp(d, double{kDigitalMin}, double{kDigitalMax}));
}

double conductanceOf(double adc) {
    return 1000000.0 / static_cast<double>(platform::resistanceOfAdc(adc));
}

double kiloOhmsOf(double adc) {
    return static_cast<double>(platform::resistanceOfAdc(adc)) / 1000.0;
}

} // namespace

EdfFormat::EdfFormat(fs::path target) : m_target(std::move(target)) {
    m_partial = m_target;
    m_partial += ".exporting";
}

EdfFormat::~EdfFormat() {
    abandon();
}

bool EdfFormat::fail(std::string* error, const std::string& reason) {
    if (error) *error = "Could not export " + m_target.string() + ": " + reason;
    return false;
}

bool EdfFormat::begin(const ExportedSession& s, std::string* error) {
    m_session = &s;
    m_notes.clear();
    const ReadingClock& clock = s.clock;
    const auto n = static_cast<std::int64_t>(s.values.size());
    const double origin = clock.firstSeconds;

    // Where each reading goes, and the gaps: where readings are missing (an interval of more than
    // one and a half samples), the samples between carry the reading before.
    struct Gap {
        std::int64_t first, count;
    };
    std::vector<Gap> gaps;
    {
        GridPlacer placer(clock);
        std::int64_t previous = -1;
        double previousSeconds = 0;
        for (std::int64_t r = 1; r <= n; ++r) {
            if (!soundReading(s.values[static_cast<std::size_t>(r - 1)])) continue;
            const double seconds = s.secondsOf(r);
            const std::int64_t at = placer.place(seconds);
            const bool missing =
                previous < 0 ? at > 0 : seconds - previousSeconds > 1.5 * clock.period();
            if (missing && at > previous + 1) gaps.push_back({previous + 1, at - previous - 1});
            previous = at;
            previousSeconds = seconds;
        }
        m_samples = previous + 1;
    }
    m_expectedRecords = (m_samples + clock.readingsPerRecord - 1) / clock.readingsPerRecord;

    // The session's range, widened a little, in each signal's unit.
    const double margin = std::max(2.0, (s.maxADC - s.minADC) * 0.05);
    const double lo = std::max(1.0, std::floor(s.minADC - margin));
    const double hi = std::min(4094.0, std::ceil(s.maxADC + margin));
    const Field fields[kSignals][2] = {
        {fieldRounded(conductanceOf(lo), false), fieldRounded(conductanceOf(hi), true)},
        {fieldRounded(kiloOhmsOf(hi), false), fieldRounded(kiloOhmsOf(lo), true)},
        {fieldRounded(lo, false), fieldRounded(hi, true)}};
    for (int i = 0; i < kSignals; ++i) {
        m_physMin[i] = fields[i][0].value;
        m_physMax[i] = fields[i][1].value;
    }

    // Every annotation is known before the first sample: EDFlib needs their room before then.
    m_annotations.clear();
    const std::string comments = annotationText(platform::trimmed(s.comments));
    for (std::string_view rest = comments; !rest.empty();) {
        const std::size_t cut = cutAt(rest, kEdfAnnotationBytes);
        m_annotations.push_back({0, -1, std::string(rest.substr(0, cut)), 0});
        rest.remove_prefix(cut);
    }
    if (s.rateEstimated) {
        m_annotations.push_back({0, -1, "reading rate estimated", 0});
    }
    const auto since = [origin](double seconds) { return std::max(0.0, seconds - origin); };
    for (std::size_t i = 0; i < s.markers.size(); ++i) {
        const Marker& m = s.markers[i];
        std::string text =
            m.text.empty() ? "marker " + std::to_string(i + 1) : annotationText(m.text);
        text.resize(cutAt(text, kEdfAnnotationBytes));
        m_annotations.push_back({since(s.secondsOf(m)), -1, text, 1});
    }
    for (const analysis::Response& r : s.responses) {
        char amplitude[32];
        const auto end = std::to_chars(amplitude, amplitude + sizeof amplitude, r.amplitude(),
                                       std::chars_format::fixed, 2)
                             .ptr;
        m_annotations.push_back(
            {since(r.onsetSeconds), -1, "SCR " + std::string(amplitude, end) + " uS", 2});
    }
    for (const Gap& g : gaps) {
        m_annotations.push_back({static_cast<double>(g.first) * clock.period(),
                                 static_cast<double>(g.count) * clock.period(), "no reading", 0});
    }
    if (m_samples % clock.readingsPerRecord != 0) {
        m_annotations.push_back({static_cast<double>(m_samples) * clock.period(), -1,
                                 "end of readings, record padded", 0});
    }
    std::stable_sort(
        m_annotations.begin(), m_annotations.end(),
        [](const Annotation& a, const Annotation& b) { return a.priority < b.priority; });
    const std::int64_t room = m_expectedRecords * kMaxAnnotationSignals;
    if (static_cast<std::int64_t>(m_annotations.size()) > room) {
        m_notes.push_back(m_target.string() + ": " +
                          std::to_string(static_cast<std::int64_t>(m_annotations.size()) - room) +
                          " annotations did not fit in the file and are left out.");
        m_annotations.resize(static_cast<std::size_t>(room));
    }
    std::stable_sort(
        m_annotations.begin(), m_annotations.end(),
        [](const Annotation& a, const Annotation& b) { return a.seconds < b.seconds; });
    const auto annotationSignals = static_cast<int>(std::clamp<std::int64_t>(
        (static_cast<std::int64_t>(m_annotations.size()) + m_expectedRecords - 1) /
            std::max<std::int64_t>(1, m_expectedRecords),
        1, kMaxAnnotationSignals));

    // Opened once here first, for the system's own reason when it cannot be created.
    errno = 0;
    if (std::FILE* probe = std::fopen(m_partial.c_str(), "wb")) {
        std::fclose(probe);
    } else {
        return fail(error, std::strerror(errno));
    }
    m_handle = edfopen_file_writeonly(m_partial.c_str(), EDFLIB_FILETYPE_EDFPLUS, kSignals);
    if (m_handle < 0) {
        std::error_code ignored;
        fs::remove(m_partial, ignored);
        return fail(error, "EDFlib refused the file (error " + std::to_string(m_handle) + ")");
    }

    const char* labels[kSignals] = {"Skin conductance", "Skin resistance", "Smoothed ADC"};
    const char* units[kSignals] = {"uS", "kOhm", ""};
    const char* transducers[kSignals] = {
        "Skin-resistance probe, 470 kOhm series resistor, conductance",
        "Skin-resistance probe, 470 kOhm series resistor",
        "Skin-resistance probe, 12-bit ADC value"};
    bool ok = true;
    for (int i = 0; i < kSignals; ++i) {
        ok = ok && edf_set_samplefrequency(m_handle, i, clock.readingsPerRecord) == 0 &&
             edf_set_physical_minimum(m_handle, i, fields[i][0].written) == 0 &&
             edf_set_physical_maximum(m_handle, i, fields[i][1].written) == 0 &&
             edf_set_digital_minimum(m_handle, i, kDigitalMin) == 0 &&
             edf_set_digital_maximum(m_handle, i, kDigitalMax) == 0 &&
             edf_set_label(m_handle, i, labels[i]) == 0 &&
             edf_set_physical_dimension(m_handle, i, units[i]) == 0 &&
             edf_set_prefilter(m_handle, i, "Mean of the last 5 readings") == 0 &&
             edf_set_transducer(m_handle, i, transducers[i]) == 0;
    }
    if (clock.recordUnits != 100000)
        ok = ok && edf_set_datarecord_duration(m_handle, static_cast<int>(clock.recordUnits)) == 0;
    ok = ok && edf_set_number_of_annotation_signals(m_handle, annotationSignals) == 0;

    LocalTime start = s.start.plus(clock.firstSeconds);
    if (start.year < 1985 || start.year > 2084) {
        m_notes.push_back(m_target.string() + ": the start " + start.iso() +
                          " is outside the years EDF+ holds; 1985-01-01 is written instead.");
        start = LocalTime{};
    }
    ok = ok &&
         edf_set_startdatetime(m_handle, start.year, start.month, start.day, start.hour,
                               start.minute, std::min(start.second, 59)) == 0 &&
         edf_set_subsecond_starttime(m_handle, start.millisecond * 10000) == 0;
    ok = ok && edf_set_equipment(m_handle, "Sylvane_Interface") == 0;
    const std::string recording =
        (s.startEstimated ? "start time estimated " : "") + asciiOf(platform::trimmed(s.comments));
    ok = ok && edf_set_recording_additional(m_handle, recording.c_str()) == 0;
    if (!ok) return fail(error, "EDFlib refused the header");

    m_block.assign(static_cast<std::size_t>(kSignals * clock.readingsPerRecord), 0);
    m_inBlock = 0;
    m_records = 0;
    m_last = 0;
    m_placer.emplace(clock);
    m_samples = 0;
    return true;
}

bool EdfFormat::sample(std::int32_t adc, std::string* error) {
    const int n = m_session->clock.readingsPerRecord;
    const auto ohms = platform::resistanceOfAdc(adc);
    const double values[kSignals] = {1000000.0 / static_cast<double>(ohms),
                                     static_cast<double>(ohms) / 1000.0, static_cast<double>(adc)};
    for (int i = 0; i < kSignals; ++i) {
        m_block[static_cast<std::size_t>(i * n + m_inBlock)] =
            digital(values[i], m_physMin[i], m_physMax[i]);
    }
    m_last = adc;
    ++m_samples;
    if (++m_inBlock < n) return true;
    m_inBlock = 0;
    ++m_records;
    if (edf_blockwrite_digital_short_samples(m_handle, m_block.data()) != 0)
        return fail(error, "the samples could not be written");
    return true;
}

bool EdfFormat::reading(const ExportedReading& r, std::string* error) {
    const std::int64_t at = m_placer->place(r.seconds);
    // Samples without a reading carry the one before (the first reading, before it).
    const std::int32_t fill = m_samples == 0 ? r.adc : m_last;
    while (m_samples < at)
        if (!sample(fill, error)) return false;
    return sample(r.adc, error);
}

bool EdfFormat::finish(std::string* error) {
    while (m_inBlock != 0)
        if (!sample(m_last, error)) return false;
    for (const Annotation& a : m_annotations) {
        const auto onset = std::llround(a.seconds * 10000.0);
        const auto duration = a.duration < 0 ? -1LL : std::llround(a.duration * 10000.0);
        if (edfwrite_annotation_utf8(m_handle, onset, duration, a.text.c_str()) != 0)
            return fail(error, "an annotation could not be written");
    }
    const int closed = edfclose_file(m_handle);
    m_handle = -1;
    // EDFlib writes through buffers: a full disk shows only in what reads back.
    bool whole = false;
    if (closed == 0) {
        edf_hdr_struct header{};
        if (edfopen_file_readonly(m_partial.c_str(), &header, EDFLIB_DO_NOT_READ_ANNOTATIONS) ==
            0) {
            whole = header.datarecords_in_file == m_expectedRecords;
            edfclose_file(header.handle);
        }
    }
    if (!whole) return fail(error, "the file could not be written whole (is the disk full?)");
    std::error_code ec;
    fs::rename(m_partial, m_target, ec);
    if (ec) return fail(error, ec.message());
    return true;
}

void EdfFormat::abandon() {
    if (m_handle >= 0) edfclose_file(m_handle);
    m_handle = -1;
    std::error_code ignored;
    fs::remove(m_partial, ignored);
}

} // namespace sylvane::storage
