#include "storage/working_files.h"

#include "platform/free_format.h"
#include "storage/session_header.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

namespace sylvane::storage {

namespace {

constexpr WorkingFile kAll[] = {WorkingFile::Hdr, WorkingFile::Tst, WorkingFile::Txt,
                                WorkingFile::Tms};
// Records read back at a time by a redraw: large enough that a day of readings is a few hundred
// reads, small enough to stay in the cache.
constexpr std::size_t kBlockRecords = 16384;

void setError(std::string* error, const FileStore& store, WorkingFile file, int errnum) {
    if (error) *error = store.name(file) + ": " + std::strerror(errnum);
}

} // namespace

WorkingFiles::WorkingFiles() : WorkingFiles(std::make_unique<DiskFileStore>()) {}

WorkingFiles::WorkingFiles(std::unique_ptr<FileStore> store)
    : m_store(std::move(store)), m_disk(dynamic_cast<DiskFileStore*>(m_store.get())) {}

WorkingFiles::~WorkingFiles() {
    close();
}

std::filesystem::path WorkingFiles::folder() const {
    return m_disk ? m_disk->folder() : std::filesystem::path();
}

bool WorkingFiles::isOpen() const {
    return m_store->isOpen(WorkingFile::Tst);
}

bool WorkingFiles::open(const std::filesystem::path& folder, std::string* error) {
    if (m_disk) {
        close();
        m_disk->setFolder(folder);
    }
    return open(error);
}

bool WorkingFiles::open(std::string* error) {
    close();
    for (const WorkingFile f : kAll) {
        if (const int e = m_store->probe(f)) {
            setError(error, *m_store, f, e);
            return false;
        }
    }
    for (const WorkingFile f : kAll) {
        if (const int e = m_store->create(f)) {
            setError(error, *m_store, f, e);
            close();
            return false;
        }
    }
    m_txtSize = 0;
    m_unwrittenHeader.reset();
    return true;
}

bool WorkingFiles::record(std::int32_t recordNumber, std::int32_t value, std::uint32_t milliseconds,
                          std::string* error) {
    if (!isOpen() || recordNumber < 1) {
        setError(error, *m_store, WorkingFile::Tst, isOpen() ? EINVAL : EBADF);
        return false;
    }
    const std::int64_t offset = 4 * (std::int64_t{recordNumber} - 1);
    // The time goes first: a time without its record is cut by the recovery, a record without
    // its time would have to be guessed.
    const unsigned char time[4] = {static_cast<unsigned char>(milliseconds),
                                   static_cast<unsigned char>(milliseconds >> 8),
                                   static_cast<unsigned char>(milliseconds >> 16),
                                   static_cast<unsigned char>(milliseconds >> 24)};
    if (const int e = m_store->writeAt(WorkingFile::Tms, offset, time, sizeof time)) {
        setError(error, *m_store, WorkingFile::Tms, e);
        m_store->truncate(WorkingFile::Tms, offset);
        return false;
    }
    const auto u = static_cast<std::uint32_t>(value);
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
        static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
    if (const int e = m_store->writeAt(WorkingFile::Tst, offset, bytes, sizeof bytes)) {
        setError(error, *m_store, WorkingFile::Tst, e);
        m_store->truncate(WorkingFile::Tst, offset);
        m_store->truncate(WorkingFile::Tms, offset);
        return false;
    }
    char line[24];
    const std::size_t length = platform::writeNumberLine(value, line);
    if (const int e = m_store->writeAt(WorkingFile::Txt, m_txtSize, line, length)) {
        setError(error, *m_store, WorkingFile::Txt, e);
        // All the files keep the same readings: the record just written goes too.
        m_store->truncate(WorkingFile::Txt, m_txtSize);
        m_store->truncate(WorkingFile::Tst, offset);
        m_store->truncate(WorkingFile::Tms, offset);
        return false;
    }
    m_txtSize += static_cast<std::int64_t>(length);
    return true;
}

std::int64_t WorkingFiles::readRecords(std::int64_t first, std::int64_t last, const Block& block,
                                       bool* ok) {
    if (ok) *ok = isOpen();
    if (!isOpen()) return 0;
    first = std::max<std::int64_t>(first, 1);
    std::int64_t handed = 0;
    while (first <= last) {
        const auto wanted = static_cast<std::size_t>(
            std::min<std::int64_t>(last - first + 1, static_cast<std::int64_t>(kBlockRecords)));
        if (m_block.size() < wanted) m_block.resize(wanted);
        const std::int64_t got =
            m_store->readAt(WorkingFile::Tst, 4 * (first - 1), m_block.data(), wanted * 4);
        if (got < 0) {
            if (ok) *ok = false;
            break;
        }
        // A trailing part of a record is not a record.
        const auto records = static_cast<std::size_t>(got / 4);
        if constexpr (std::endian::native != std::endian::little) {
            for (std::size_t i = 0; i < records; ++i) {
                const auto u = static_cast<std::uint32_t>(m_block[i]);
                m_block[i] = static_cast<std::int32_t>((u >> 24) | ((u >> 8) & 0xFF00u) |
                                                       ((u << 8) & 0xFF0000u) | (u << 24));
            }
        }
        if (records > 0) block(first, std::span<const std::int32_t>(m_block.data(), records));
        handed += static_cast<std::int64_t>(records);
        first += static_cast<std::int64_t>(records);
        if (records < wanted) break;
    }
    return handed;
}

bool WorkingFiles::writeHeaderAndClose(std::int32_t minADC, std::int32_t maxADC,
                                       const std::string& comments, std::string* error) {
    const bool wasOpen = isOpen() && m_store->isOpen(WorkingFile::Hdr);
    bool ok = wasOpen;
    if (!ok) {
        setError(error, *m_store, WorkingFile::Hdr, EBADF);
    } else {
        // Written beside the empty header and put in its place in one step: a header is whole
        // or absent, whatever stops the program or the disk meanwhile.
        const std::string bytes = headerBytes(sessionHeader(minADC, maxADC, comments));
        if (const int e = m_store->replace(WorkingFile::Hdr, bytes.data(), bytes.size())) {
            ok = false;
            setError(error, *m_store, WorkingFile::Hdr, e);
        }
    }
    close();
    if (!ok && wasOpen) m_unwrittenHeader = sessionHeader(minADC, maxADC, comments);
    return ok;
}

void WorkingFiles::closeKeepingHeader(std::int32_t minADC, std::int32_t maxADC,
                                      const std::string& comments) {
    close();
    m_unwrittenHeader = sessionHeader(minADC, maxADC, comments);
}

void WorkingFiles::close() {
    for (const WorkingFile f : kAll) m_store->close(f);
}

void WorkingFiles::discard() {
    for (const WorkingFile f : kAll) m_store->remove(f);
    m_unwrittenHeader.reset();
}

} // namespace sylvane::storage
