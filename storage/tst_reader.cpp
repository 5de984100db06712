#include "storage/tst_reader.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sylvane::storage {

namespace {

void decodeLittleEndian(const unsigned char* bytes, std::size_t count, std::int32_t* out) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, bytes, count * 4);
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            const unsigned char* b = bytes + 4 * i;
            const std::uint32_t u = std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 |
                                    std::uint32_t{b[2]} << 16 | std::uint32_t{b[3]} << 24;
            out[i] = static_cast<std::int32_t>(u);
        }
    }
}

} // namespace

TstReader::~TstReader() {
    close();
}

bool TstReader::open(const std::filesystem::path& path, std::string* error) {
    close();
    m_path = path;
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        if (error) *error = path.string() + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void TstReader::close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

std::int64_t TstReader::recordCount() const {
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0 || st.st_size < 0) return 0;
    return static_cast<std::int64_t>(st.st_size) / 4;
}

std::int64_t TstReader::read(std::int64_t first, std::int64_t last, const Block& block, bool* ok) {
    if (ok) *ok = m_fd >= 0;
    if (m_fd < 0) return 0;
    if (first < 1) first = 1;
    if (last < first) return 0;
    // A block no larger than what the file holds: a short session needs no large buffer.
    const std::int64_t inFile = std::max<std::int64_t>(1, recordCount() - (first - 1));
    const auto blockRecords = static_cast<std::size_t>(std::min<std::int64_t>(
        {last - first + 1, inFile, static_cast<std::int64_t>(kBlockRecords)}));
    if (m_values.size() < blockRecords) {
        m_bytes.resize(blockRecords * 4);
        m_values.resize(blockRecords);
    }

    std::int64_t handed = 0;
    std::int64_t next = first;
    while (next <= last) {
        const auto wanted = static_cast<std::size_t>(
            std::min<std::int64_t>(last - next + 1, static_cast<std::int64_t>(m_values.size())));
        // Read at the records' own offset: no seek, and nothing to undo for the next call. A
        // short read is the end of what has been written so far.
        ssize_t n = 0;
        do {
            n = ::pread(m_fd, m_bytes.data(), wanted * 4, static_cast<off_t>((next - 1) * 4));
        } while (n < 0 && errno == EINTR);
        const std::size_t got = n > 0 ? static_cast<std::size_t>(n) : 0;
        const std::size_t records = got / 4;
        if (records > 0) {
            decodeLittleEndian(m_bytes.data(), records, m_values.data());
            block(next, std::span<const std::int32_t>(m_values.data(), records));
            handed += static_cast<std::int64_t>(records);
            next += static_cast<std::int64_t>(records);
        }
        if (records < wanted) {
            if (n < 0 && ok) *ok = false;
            // End of what has been written so far; a later call may find more.
            break;
        }
    }
    return handed;
}

} // namespace sylvane::storage
