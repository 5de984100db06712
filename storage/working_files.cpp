#include "storage/working_files.h"

#include "platform/free_format.h"
#include "storage/session_header.h"

#include <cerrno>
#include <cstring>
#include <system_error>

namespace sylvane::storage {

namespace {

void setError(std::string* error, const std::filesystem::path& file, int errnum) {
    if (error) *error = file.string() + ": " + std::strerror(errnum);
}

// Unbuffered, so that every write reaches the operating system at once and a refused write
// leaves nothing behind in a buffer to be written later.
std::FILE* openUnbuffered(const std::filesystem::path& file, const char* mode) {
    std::FILE* f = std::fopen(file.c_str(), mode);
    if (f) std::setvbuf(f, nullptr, _IONBF, 0);
    return f;
}

bool writeAll(std::FILE* f, const void* data, std::size_t size) {
    return std::fwrite(data, 1, size, f) == size && std::fflush(f) == 0;
}

// Cuts a file back to what it held before a refused write.
void cutBack(std::FILE* f, const std::filesystem::path& file, long size) {
    std::clearerr(f);
    std::error_code ignored;
    std::filesystem::resize_file(file, static_cast<std::uintmax_t>(size), ignored);
    std::fseek(f, size, SEEK_SET);
}

} // namespace

WorkingFiles::~WorkingFiles() {
    close();
}

bool WorkingFiles::open(const std::filesystem::path& folder, std::string* error) {
    close();
    m_folder = folder;
    struct {
        std::FILE** file;
        std::filesystem::path path;
        const char* mode;
    } files[] = {{&m_hdr, hdrPath(), "wb"}, {&m_tst, tstPath(), "w+b"}, {&m_txt, txtPath(), "wb"}};
    for (auto& f : files) {
        *f.file = openUnbuffered(f.path, f.mode);
        if (!*f.file) {
            setError(error, f.path, errno);
            close();
            return false;
        }
    }
    return true;
}

bool WorkingFiles::record(std::int32_t recordNumber, std::int32_t value, std::string* error) {
    if (!isOpen() || recordNumber < 1) {
        setError(error, tstPath(), isOpen() ? EINVAL : EBADF);
        return false;
    }
    const long offset = 4L * (recordNumber - 1);
    const auto u = static_cast<std::uint32_t>(value);
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
        static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
    if (std::fseek(m_tst, offset, SEEK_SET) != 0 || !writeAll(m_tst, bytes, sizeof bytes)) {
        setError(error, tstPath(), errno);
        cutBack(m_tst, tstPath(), offset);
        return false;
    }
    const long txtSize = std::ftell(m_txt);
    const std::string line = platform::numberLine(value);
    if (txtSize < 0 || !writeAll(m_txt, line.data(), line.size())) {
        setError(error, txtPath(), errno);
        // Both files keep the same readings: the record just written goes too.
        if (txtSize >= 0) cutBack(m_txt, txtPath(), txtSize);
        cutBack(m_tst, tstPath(), offset);
        return false;
    }
    return true;
}

std::optional<std::int32_t> WorkingFiles::readRecord(std::int32_t recordNumber) const {
    if (!isOpen() || recordNumber < 1) return std::nullopt;
    unsigned char bytes[4];
    const long end = std::ftell(m_tst);
    if (std::fseek(m_tst, 4L * (recordNumber - 1), SEEK_SET) != 0) return std::nullopt;
    const bool read = std::fread(bytes, 1, sizeof bytes, m_tst) == sizeof bytes;
    std::clearerr(m_tst);
    if (end >= 0) std::fseek(m_tst, end, SEEK_SET);
    if (!read) return std::nullopt;
    return static_cast<std::int32_t>(std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                                     std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24);
}

bool WorkingFiles::writeHeaderAndClose(std::int32_t minADC, std::int32_t maxADC,
                                       const std::string& comments, std::string* error) {
    bool ok = isOpen();
    if (!ok) {
        setError(error, hdrPath(), EBADF);
    } else {
        const std::string bytes = headerBytes(sessionHeader(minADC, maxADC, comments));
        ok = writeAll(m_hdr, bytes.data(), bytes.size());
        if (!ok) setError(error, hdrPath(), errno);
    }
    if (m_hdr && std::fclose(m_hdr) != 0 && ok) {
        ok = false;
        setError(error, hdrPath(), errno);
    }
    m_hdr = nullptr;
    close();
    return ok;
}

void WorkingFiles::close() {
    for (std::FILE** f : {&m_hdr, &m_tst, &m_txt}) {
        if (*f) std::fclose(*f);
        *f = nullptr;
    }
}

} // namespace sylvane::storage
