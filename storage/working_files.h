#pragma once
// The working session files in the program folder: tempdata.tst (one little-endian 32-bit
// record per recorded reading), tempdata.txt (the same readings as decimal lines, CR LF) and
// tempdata.hdr (five quoted lines: "MinADC", min, "MaxADC", max, comments), written while a
// session runs, and beside them tempdata.tms, the time of each reading (file_store.h). Every
// record reaches the operating system before record() returns (one write to each of
// tempdata.tms, tempdata.tst and tempdata.txt), so a crash or a power loss never loses a reading
// that was recorded.

#include "storage/file_store.h"
#include "storage/session_header.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sylvane::storage {

class WorkingFiles {
public:
    // On disk, in the folder given to open().
    WorkingFiles();
    // In the given store (memory for the fuzzers, benchmarks and tests).
    explicit WorkingFiles(std::unique_ptr<FileStore> store);
    WorkingFiles(const WorkingFiles&) = delete;
    WorkingFiles& operator=(const WorkingFiles&) = delete;
    ~WorkingFiles();

    // Creates (or empties) tempdata.hdr, tempdata.tst, tempdata.txt and tempdata.tms, in that
    // order. A file
    // that cannot be written refuses the whole opening before any file is emptied, so the last
    // session's files stay as they were; *error names the file and the reason.
    bool open(std::string* error = nullptr);
    // The same in folder (a store on disk).
    bool open(const std::filesystem::path& folder, std::string* error = nullptr);
    bool isOpen() const;

    // Writes value as record recordNumber (1-based) of tempdata.tst, appends its line to
    // tempdata.txt and its time (milliseconds from Start) to tempdata.tms. False with *error when
    // the disk refuses (full, removed...): every file is then cut back to the records before
    // this one.
    bool record(std::int32_t recordNumber, std::int32_t value, std::uint32_t milliseconds,
                std::string* error = nullptr);

    // Hands records first..last of tempdata.tst, as far as they are written, to block in order
    // and in blocks. Returns how many were handed over; *ok false when the file cannot be read.
    using Block = std::function<void(std::int64_t firstRecord, std::span<const std::int32_t>)>;
    std::int64_t readRecords(std::int64_t first, std::int64_t last, const Block& block,
                             bool* ok = nullptr);

    // Writes the header tail (minADC, maxADC, comments) and closes the files, closed
    // even when the header is refused (false, *error naming the file and the reason). A refused
    // header leaves tempdata.hdr empty and is kept as the unwritten header.
    bool writeHeaderAndClose(std::int32_t minADC, std::int32_t maxADC, const std::string& comments,
                             std::string* error = nullptr);
    // Closes the files with the header kept in memory only: tempdata.hdr stays empty, so
    // the next program start recovers the session if it is not saved before.
    void closeKeepingHeader(std::int32_t minADC, std::int32_t maxADC, const std::string& comments);
    // The header of the last session when it is not in tempdata.hdr (Save writes it); none from
    // the next open() or discard() on.
    const std::optional<SessionHeader>& unwrittenHeader() const { return m_unwrittenHeader; }
    void keepUnwrittenHeader(SessionHeader header) { m_unwrittenHeader = std::move(header); }

    // Closes the files without writing the header.
    void close();
    // Closes and deletes the files.
    void discard();

    FileStore& store() { return *m_store; }
    // The folder of a store on disk ("" in memory).
    std::filesystem::path folder() const;
    std::filesystem::path tstPath() const { return folder() / kWorkingTst; }
    std::filesystem::path txtPath() const { return folder() / kWorkingTxt; }
    std::filesystem::path hdrPath() const { return folder() / kWorkingHdr; }
    std::filesystem::path tmsPath() const { return folder() / kWorkingTms; }

private:
    std::unique_ptr<FileStore> m_store;
    DiskFileStore* m_disk = nullptr;
    std::int64_t m_txtSize = 0;
    std::vector<std::int32_t> m_block;
    std::optional<SessionHeader> m_unwrittenHeader;
};

} // namespace sylvane::storage
