#pragma once
// Ways to make the file system refuse the program, undone at the end of the scope. Tests run as
// root here, who ignores permission bits: where a mount is needed and not allowed, available()
// is false and why() says what failed, so the test can skip clearly.

#include <QString>

#include <cstdint>

namespace sylvane::testing {

// A tmpfs of the given size mounted on an existing empty folder: a real disk that fills up.
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

// An existing file or folder made read-only: by its permission bits for an ordinary user, by a
// read-only bind mount onto itself for root.
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
