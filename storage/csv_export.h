#pragma once
// The CSV format of an export: a header row, then one row a recorded reading, CR LF ended
// (RFC 4180):
//
//     time_s,adc,resistance_ohm,conductance_us,marker,scr_onset,tonic_us,phasic_us
//     12.500,2048,469770.5,2.128699,"stimulus, left hand",0,2.1267,0.0019989
//
// time in seconds from Start with three decimals, the smoothed ADC value, resistance and
// conductance as the readouts compute them, the texts of the markers at the reading ("; "
// between two, "marker N" for one without text), 1 at a skin-response onset, and the tonic level
// and the phasic part (the conductance less the tonic level; analysis/tonic_level.h). Numbers in
// plain decimal with "." whatever the locale, 32-bit values with the fewest digits that read back
// exactly; a text field is quoted when it holds a comma, a quote or a line break, its quotes
// doubled.
//
// The responses to the markers, one row a marker in the session's order:
//
//     marker_s,marker,responses,latency_s,amplitude_us,rise_s,half_recovery_s,tonic_us
//     12.000,stimulus,1,2.040,0.1210,1.500,3.215,2.1267
//     30.500,marker 2,0,,,,,2.1301
//
// the marker's time and text (as above), the number of responses whose onset falls in its window
// (sylvane-extra.ini's ResponseWindowSeconds, 1 to 4 s after it by default), and for the first of
// them its latency from the marker, amplitude, rise and half-recovery times (empty when the
// session ended, or the next response began, before it was half way back); then the tonic level
// at the marker (at its reading). Times with three decimals, amplitudes with four.

#include "analysis/marker_responses.h"
#include "storage/session_export.h"

#include <functional>
#include <string>
#include <string_view>

namespace sylvane::storage {

inline constexpr std::string_view kCsvHeader =
    "time_s,adc,resistance_ohm,conductance_us,marker,scr_onset,tonic_us,phasic_us\r\n";
inline constexpr std::string_view kResponsesCsvHeader =
    "marker_s,marker,responses,latency_s,amplitude_us,rise_s,half_recovery_s,tonic_us\r\n";

// A text as one CSV field.
std::string csvField(std::string_view text);

class CsvFormat final : public ExportFormat {
public:
    // Receives the file's bytes in order; false when they could not be written (the reason in
    // its own *error).
    using Sink = std::function<bool(std::string_view bytes, std::string* error)>;
    explicit CsvFormat(Sink sink);

    bool begin(const ExportedSession& session, std::string* error) override;
    bool reading(const ExportedReading& reading, std::string* error) override;
    bool finish(std::string* error) override;
    void abandon() override { m_buffer.clear(); }

private:
    bool flush(std::string* error);
    Sink m_sink;
    std::string m_buffer;
};

// The responses to the session's markers, written to sink in one piece (the header alone when the
// session has no marker). False with *error when the sink refused them.
bool writeResponsesCsv(const ExportedSession& session, analysis::ResponseWindow window,
                       const CsvFormat::Sink& sink, std::string* error);

} // namespace sylvane::storage
