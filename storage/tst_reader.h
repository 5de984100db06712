#pragma once
// Reads the records of a .tst session file (record n at byte 4 (n - 1), a little-endian signed
// 32-bit reading) in large blocks, so that replaying a whole day of readings costs a few
// sequential reads rather than a seek per record. The file may be growing: the program keeps
// appending to the working tempdata.tst through its own handle while a redraw reads it back.
// A trailing partial record (a write in progress) is not a record yet and is ignored.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace sylvane::storage {

class TstReader {
public:
    // Records per block: 256 KB of file, read in one call.
    static constexpr std::size_t kBlockRecords = 65536;

    TstReader() = default;
    TstReader(const TstReader&) = delete;
    TstReader& operator=(const TstReader&) = delete;
    ~TstReader();

    // Opens the file for reading only; false with *error naming the file and the reason.
    bool open(const std::filesystem::path& path, std::string* error = nullptr);
    bool isOpen() const { return m_fd >= 0; }
    void close();

    // Complete records in the file now.
    std::int64_t recordCount() const;

    // Hands records first..last (1-based, inclusive) to block in order, in blocks of at most
    // kBlockRecords. Records past the end of the file are not handed over. Returns the number
    // of records handed over; false in *ok when the file could not be read.
    using Block = std::function<void(std::int64_t firstRecord, std::span<const std::int32_t>)>;
    std::int64_t read(std::int64_t first, std::int64_t last, const Block& block,
                      bool* ok = nullptr);

private:
    int m_fd = -1;
    std::filesystem::path m_path;
    std::vector<unsigned char> m_bytes;
    std::vector<std::int32_t> m_values;
};

} // namespace sylvane::storage
