#pragma once
// The working session files in the program folder: tempdata.tst (one little-endian 32-bit
// record per recorded reading), tempdata.txt (the same readings as decimal lines, CR LF) and
// tempdata.hdr (five quoted lines: "MinADC", min, "MaxADC", max, comments), written while a
// session runs. Every record reaches the operating system before record() returns, so a crash
// or a power loss never loses a reading that was recorded.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace sylvane::storage {

inline constexpr const char* kWorkingTst = "tempdata.tst";
inline constexpr const char* kWorkingTxt = "tempdata.txt";
inline constexpr const char* kWorkingHdr = "tempdata.hdr";

class WorkingFiles {
public:
    WorkingFiles() = default;
    WorkingFiles(const WorkingFiles&) = delete;
    WorkingFiles& operator=(const WorkingFiles&) = delete;
    ~WorkingFiles();

    // Creates (or empties) tempdata.hdr, tempdata.tst and tempdata.txt in folder, in that
    // order. On failure every file is closed again and *error names the file and the reason.
    bool open(const std::filesystem::path& folder, std::string* error = nullptr);
    bool isOpen() const { return m_tst != nullptr; }

    // Writes value as record recordNumber (1-based) of tempdata.tst and appends its line to
    // tempdata.txt, both flushed. False with *error when the disk refuses (full, removed...).
    // On a refused write both files are cut back to the records before this one.
    bool record(std::int32_t recordNumber, std::int32_t value, std::string* error = nullptr);

    // Record recordNumber of tempdata.tst as written so far; nothing when the files are closed
    // or the record does not exist.
    std::optional<std::int32_t> readRecord(std::int32_t recordNumber) const;

    // Writes the header tail (minADC, maxADC, comments) and closes all three files, closed
    // even when the header is refused (false, *error naming the file and the reason).
    bool writeHeaderAndClose(std::int32_t minADC, std::int32_t maxADC, const std::string& comments,
                             std::string* error = nullptr);

    // Closes all three files without writing the header.
    void close();

    const std::filesystem::path& folder() const { return m_folder; }
    std::filesystem::path tstPath() const { return m_folder / kWorkingTst; }
    std::filesystem::path txtPath() const { return m_folder / kWorkingTxt; }
    std::filesystem::path hdrPath() const { return m_folder / kWorkingHdr; }

private:
    std::filesystem::path m_folder;
    std::FILE* m_hdr = nullptr;
    std::FILE* m_tst = nullptr;
    std::FILE* m_txt = nullptr;
};

} // namespace sylvane::storage
