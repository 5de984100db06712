#include "storage/file_store.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace sylvane::storage {

const char* workingFileName(WorkingFile file) {
    switch (file) {
    case WorkingFile::Hdr:
        return kWorkingHdr;
    case WorkingFile::Tst:
        return kWorkingTst;
    case WorkingFile::Tms:
        return kWorkingTms;
    case WorkingFile::Txt:
        break;
    }
    return kWorkingTxt;
}

namespace {

std::size_t slot(WorkingFile file) {
    return static_cast<std::size_t>(file);
}

} // namespace

DiskFileStore::DiskFileStore(std::filesystem::path folder) : m_folder(std::move(folder)) {}

DiskFileStore::~DiskFileStore() {
    for (const WorkingFile f :
         {WorkingFile::Hdr, WorkingFile::Tst, WorkingFile::Txt, WorkingFile::Tms})
        close(f);
}

std::filesystem::path DiskFileStore::path(WorkingFile file) const {
    return m_folder / workingFileName(file);
}

std::string DiskFileStore::name(WorkingFile file) const {
    return path(file).string();
}

int DiskFileStore::probe(WorkingFile file) {
    const int fd = ::open(path(file).c_str(), O_WRONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return 0;
    }
    return errno == ENOENT ? 0 : errno;
}

int DiskFileStore::create(WorkingFile file) {
    close(file);
    const int fd = ::open(path(file).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    m_fd[slot(file)] = fd;
    return 0;
}

bool DiskFileStore::isOpen(WorkingFile file) const {
    return m_fd[slot(file)] >= 0;
}

int DiskFileStore::writeAt(WorkingFile file, std::int64_t offset, const void* data,
                           std::size_t size) {
    const int fd = m_fd[slot(file)];
    if (fd < 0) return EBADF;
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, bytes, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return ENOSPC;
        bytes += n;
        offset += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

std::int64_t DiskFileStore::readAt(WorkingFile file, std::int64_t offset, void* out,
                                   std::size_t size) {
    const int fd = m_fd[slot(file)];
    if (fd < 0) return -1;
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, static_cast<char*>(out) + got, size - got,
                                  static_cast<off_t>(offset) + static_cast<off_t>(got));
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(got);
}

int DiskFileStore::truncate(WorkingFile file, std::int64_t size) {
    const int fd = m_fd[slot(file)];
    if (fd < 0) return EBADF;
    return ::ftruncate(fd, static_cast<off_t>(size)) == 0 ? 0 : errno;
}

int DiskFileStore::replace(WorkingFile file, const void* data, std::size_t size) {
    close(file);
    const std::filesystem::path target = path(file);
    std::filesystem::path fresh = target;
    fresh += ".new";
    const int fd = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    m_fd[slot(file)] = fd;
    int e = writeAt(file, 0, data, size);
    m_fd[slot(file)] = -1;
    if (::close(fd) != 0 && e == 0) e = errno;
    if (e == 0 && ::rename(fresh.c_str(), target.c_str()) != 0) e = errno;
    if (e != 0) ::unlink(fresh.c_str());
    return e;
}

int DiskFileStore::close(WorkingFile file) {
    int& fd = m_fd[slot(file)];
    if (fd < 0) return 0;
    const int result = ::close(fd) == 0 ? 0 : errno;
    fd = -1;
    return result;
}

void DiskFileStore::remove(WorkingFile file) {
    close(file);
    ::unlink(path(file).c_str());
}

std::string MemoryFileStore::name(WorkingFile file) const {
    return workingFileName(file);
}

int MemoryFileStore::probe(WorkingFile) {
    return 0;
}

int MemoryFileStore::create(WorkingFile file) {
    File& f = m_files[index(file)];
    f.bytes.clear();
    f.exists = true;
    f.open = true;
    return 0;
}

bool MemoryFileStore::isOpen(WorkingFile file) const {
    return m_files[index(file)].open;
}

int MemoryFileStore::writeAt(WorkingFile file, std::int64_t offset, const void* data,
                             std::size_t size) {
    File& f = m_files[index(file)];
    if (!f.open || offset < 0) return EBADF;
    ++m_writes;
    std::size_t fits = size;
    if (m_budget >= 0) fits = static_cast<std::size_t>(std::min<std::int64_t>(m_budget, size));
    const auto at = static_cast<std::size_t>(offset);
    if (at == f.bytes.size()) {
        f.bytes.append(static_cast<const char*>(data), fits);
    } else {
        if (f.bytes.size() < at + fits) f.bytes.resize(at + fits);
        std::memcpy(f.bytes.data() + at, data, fits);
    }
    if (m_budget >= 0) m_budget -= static_cast<std::int64_t>(fits);
    return fits == size ? 0 : ENOSPC;
}

std::int64_t MemoryFileStore::readAt(WorkingFile file, std::int64_t offset, void* out,
                                     std::size_t size) {
    const File& f = m_files[index(file)];
    if (!f.open || offset < 0) return -1;
    const auto at = static_cast<std::size_t>(offset);
    if (at >= f.bytes.size()) return 0;
    const std::size_t n = std::min(size, f.bytes.size() - at);
    std::memcpy(out, f.bytes.data() + at, n);
    return static_cast<std::int64_t>(n);
}

int MemoryFileStore::truncate(WorkingFile file, std::int64_t size) {
    File& f = m_files[index(file)];
    if (!f.open || size < 0) return EBADF;
    f.bytes.resize(static_cast<std::size_t>(size));
    return 0;
}

int MemoryFileStore::replace(WorkingFile file, const void* data, std::size_t size) {
    File& f = m_files[index(file)];
    f.open = false;
    ++m_writes;
    if (m_budget >= 0 && m_budget < static_cast<std::int64_t>(size)) return ENOSPC;
    if (m_budget >= 0) m_budget -= static_cast<std::int64_t>(size);
    f.bytes.assign(static_cast<const char*>(data), size);
    f.exists = true;
    return 0;
}

int MemoryFileStore::close(WorkingFile file) {
    m_files[index(file)].open = false;
    return 0;
}

void MemoryFileStore::remove(WorkingFile file) {
    m_files[index(file)] = File{};
}

} // namespace sylvane::storage
