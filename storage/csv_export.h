#pragma once
// The CSV format of an export: a header row, then one row a recorded reading, CR LF ended
// (RFC 4180):
//
//     time_s,adc,resistance_ohm,conductance_us,marker,scr_onset
//     12.500,2048,469770.5,2.128699,"stimulus, left hand",0
//
// time in seconds from Start with three decimals, the smoothed ADC value, resistance and
// conductance as the readouts compute them (32-bit values, written with the fewest digits that
// read back exactly), the texts of the markers at the reading ("; " between two, "marker N" for
// one without text) and 1 at a skin-response onset. Numbers in plain decimal with "." whatever
// the locale; a text field is quoted when it holds a comma, a quote or a line break, its quotes
// doubled.

#include "storage/session_export.h"

#include <functional>
#include <string>
#include <string_view>

namespace sylvane::storage {

inline constexpr std::string_view kCsvHeader =
    "time_s,adc,resistance_ohm,conductance_us,marker,scr_onset\r\n";

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

} // namespace sylvane::storage
