#pragma once
// Ways to make the file system refuse the program, for the fault tests. Each undoes itself when
// it goes out of scope.
//
//     FileSizeLimit limit(4000);          // writes past 4000 bytes fail with EFBIG
//     SmallDisk disk(folder, 64 * 1024);   // a 64 KB file system, when this machine can mount
//     ReadOnlyFile ro(path);               // writes to an existing file fail
//
// Tests run as root in the containers we build in, and root ignores permission bits; the
// helpers that need a mount say so through available()/why() so the test can skip clearly.

#include <QString>

#include <sys/resource.h>

#include <csignal>

#include <cstdint>

namespace sylvane::testing {

// Limits the size of every file this process writes (RLIMIT_FSIZE), as a disk that is full at
// that size. A write that would pass the limit fails with EFBIG instead of raising SIGXFSZ.
// Works for any user; the previous limit and signal action come back at the end of the scope.
class FileSizeLimit {
public:
    explicit FileSizeLimit(std::uint64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool ok() const { return m_ok; }

private:
    rlimit m_previous{};
    void (*m_previousHandler)(int) = SIG_ERR;
    bool m_ok = false;
};

// A tmpfs of the given size mounted on folder (which must exist and be empty): a real file
// system that fills up. Needs the right to mount; otherwise available() is false and why()
// tells what failed.
class SmallDisk {
public:
    SmallDisk(const QString& folder, std::uint64_t bytes);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool available() const { return m_mounted; }
    QString why() const { return m_why; }

private:
    QString m_folder;
    bool m_mounted = false;
    QString m_why;
};

// Makes an existing file (or folder) read-only: by its permission bits for an ordinary user,
// by a read-only bind mount of it onto itself for root. available() false (why() tells) when
// neither can be done here.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const QString& path);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool available() const { return m_readOnly; }
    QString why() const { return m_why; }

private:
    QString m_path;
    bool m_readOnly = false;
    bool m_mounted = false;
    unsigned m_previousMode = 0;
    QString m_why;
};

} // namespace sylvane::testing
