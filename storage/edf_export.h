#pragma once
// The EDF+ format of an export (EDF+C, written with EDFlib): three signals on a uniform grid at
// the session's nominal rate (storage/session_export.h), each reading in the sample nearest its
// recorded time:
//   "Skin conductance"  uS     the conductance as the readouts compute it
//   "Skin resistance"   kOhm   the resistance
//   "Smoothed ADC"      (none) the smoothed ADC value
// each from the session's range (its MinADC and MaxADC) widened by 5 % (at least 2 counts), so
// that the 16 bits resolve far below the 0.01 uS the window shows, and rounded outward to what
// the 8 characters of a header field hold, so that the header and the samples agree. The start is
// the time of the first reading ("start time estimated" in the recording field when the session had
// no side file); the patient fields stay anonymous; the comments go into the recording field as far
// as they fit and whole into annotations at 0 s. Annotations: markers at their recorded times,
// each skin response at its onset with its amplitude ("SCR 0.12 uS"), gaps ("no reading" over
// samples where a reading is missing, written as the reading before them, with the gap's
// duration) and the padding of the last data record.
//
// The file is written beside the target under a temporary name and renamed once EDFlib has
// closed it and it reads back whole, so a failure leaves no half file.

#include "storage/session_export.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sylvane::storage {

// EDFlib keeps 40 bytes of an annotation's text.
inline constexpr std::size_t kEdfAnnotationBytes = 40;

class EdfFormat final : public ExportFormat {
public:
    explicit EdfFormat(std::filesystem::path target);
    ~EdfFormat() override;

    bool begin(const ExportedSession& session, std::string* error) override;
    bool reading(const ExportedReading& reading, std::string* error) override;
    bool finish(std::string* error) override;
    void abandon() override;

    // What the export had to leave out (annotations beyond what the file can hold).
    const std::vector<std::string>& notes() const { return m_notes; }

private:
    struct Annotation {
        double seconds;
        double duration; // < 0: none
        std::string text;
        int priority; // 0 kept first
    };
    bool sample(std::int32_t adc, std::string* error);
    bool fail(std::string* error, const std::string& reason);

    std::filesystem::path m_target;
    std::filesystem::path m_partial;
    int m_handle = -1;
    const ExportedSession* m_session = nullptr;
    double m_physMin[3]{};
    double m_physMax[3]{};
    std::vector<short> m_block;
    int m_inBlock = 0;
    std::int64_t m_records = 0;
    std::int64_t m_expectedRecords = 0;
    std::int32_t m_last = 0;
    std::int64_t m_samples = 0;
    std::optional<GridPlacer> m_placer;
    std::vector<Annotation> m_annotations;
    std::vector<std::string> m_notes;
};

} // namespace sylvane::storage
