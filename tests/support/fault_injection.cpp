#include "tests/support/fault_injection.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace sylvane::testing {

namespace {

QString systemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QString::fromLatin1(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

SmallDisk::SmallDisk(const QString& folder, std::uint64_t bytes) : m_folder(folder) {
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (::mount("sylvane-test", folder.toLocal8Bit().constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                options.c_str()) != 0) {
        m_why = systemError("mounting a small tmpfs");
        return;
    }
    m_mounted = true;
}

SmallDisk::~SmallDisk() {
    // Lazily, so that a file the program still holds cannot keep the mount behind.
    if (m_mounted) ::umount2(m_folder.toLocal8Bit().constData(), MNT_DETACH);
}

ReadOnlyFile::ReadOnlyFile(const QString& path) : m_path(path) {
    const QByteArray p = path.toLocal8Bit();
    struct stat st {};
    if (::stat(p.constData(), &st) != 0) {
        m_why = systemError("examining the file");
        return;
    }
    m_previousMode = st.st_mode & 07777;
    if (::geteuid() != 0) {
        m_readOnly = ::chmod(p.constData(), m_previousMode & ~0222u) == 0;
        if (!m_readOnly) m_why = systemError("removing the write permission");
        return;
    }
    // Root writes through permission bits: a read-only bind mount refuses even root (EROFS).
    if (::mount(p.constData(), p.constData(), nullptr, MS_BIND, nullptr) != 0) {
        m_why = systemError("bind-mounting the file onto itself");
        return;
    }
    m_mounted = true;
    if (::mount(nullptr, p.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
        m_why = systemError("remounting the file read-only");
        return;
    }
    m_readOnly = true;
}

ReadOnlyFile::~ReadOnlyFile() {
    const QByteArray p = m_path.toLocal8Bit();
    if (m_mounted) {
        ::umount2(p.constData(), MNT_DETACH);
    } else if (m_readOnly) {
        ::chmod(p.constData(), m_previousMode);
    }
}

} // namespace sylvane::testing
