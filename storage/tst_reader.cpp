#include "storage/tst_reader.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

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
    m_file = std::fopen(path.c_str(), "rb");
    if (!m_file) {
        if (error) *error = path.string() + ": " + std::strerror(errno);
        return false;
    }
    // Blocks are read whole; a stdio buffer in between would only copy them twice.
    std::setvbuf(m_file, nullptr, _IONBF, 0);
    return true;
}

void TstReader::close() {
    if (m_file) std::fclose(m_file);
    m_file = nullptr;
}

std::int64_t TstReader::recordCount() const {
    if (!m_file) return 0;
    if (fseeko(m_file, 0, SEEK_END) != 0) return 0;
    const off_t size = ftello(m_file);
    return size < 0 ? 0 : static_cast<std::int64_t>(size) / 4;
}

std::int64_t TstReader::read(std::int64_t first, std::int64_t last, const Block& block, bool* ok) {
    if (ok) *ok = m_file != nullptr;
    if (!m_file) return 0;
    if (first < 1) first = 1;
    if (last < first) return 0;
    // A block no larger than what the file holds: a short session needs no large buffer.
    const std::int64_t inFile = std::max<std::int64_t>(1, recordCount() - (first - 1));
    const auto blockRecords = static_cast<std::size_t>(std::min<std::int64_t>(
        {last - first + 1, inFile, static_cast<std::int64_t>(kBlockRecords)}));
    if (fseeko(m_file, static_cast<off_t>((first - 1) * 4), SEEK_SET) != 0) {
        if (ok) *ok = false;
        return 0;
    }
    if (m_values.size() < blockRecords) {
        m_bytes.resize(blockRecords * 4);
        m_values.resize(blockRecords);
    }
    std::int64_t handed = 0;
    std::int64_t next = first;
    while (next <= last) {
        const auto wanted = static_cast<std::size_t>(
            std::min<std::int64_t>(last - next + 1, static_cast<std::int64_t>(m_values.size())));
        const std::size_t got = std::fread(m_bytes.data(), 1, wanted * 4, m_file);
        const std::size_t records = got / 4;
        if (records > 0) {
            decodeLittleEndian(m_bytes.data(), records, m_values.data());
            block(next, std::span<const std::int32_t>(m_values.data(), records));
            handed += static_cast<std::int64_t>(records);
            next += static_cast<std::int64_t>(records);
        }
        if (records < wanted) {
            if (std::ferror(m_file) && ok) *ok = false;
            // End of what has been written so far; a later call may find more.
            std::clearerr(m_file);
            break;
        }
    }
    return handed;
}

} // namespace sylvane::storage
