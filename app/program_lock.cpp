#include "app/program_lock.h"

#include "platform/message_box.h"
#include "platform/version.h"

#include <QDir>

#include <cstdio>

namespace sylvane::app {

ProgramFolderLock::ProgramFolderLock(const QString& folder)
    : m_folder(folder), m_lock(QDir(folder).filePath(QStringLiteral("sylvane.lock"))) {
    // Held for hours: only a holder that is gone makes the lock stale, never its age.
    m_lock.setStaleLockTime(0);
}

bool ProgramFolderLock::take() {
    if (m_lock.tryLock(0)) return true;
    QString prompt;
    if (m_lock.error() == QLockFile::LockFailedError) {
        qint64 pid = 0;
        QString host, application;
        m_lock.getLockInfo(&pid, &host, &application);
        prompt =
            QStringLiteral("%1 is already running on the program folder\r\n%2\r\n(process %3)."
                           "\r\nThis copy ends; use the window that is open, or start this "
                           "one with --folder and another folder.")
                .arg(QString::fromLatin1(platform::kAppTitle), QDir::toNativeSeparators(m_folder))
                .arg(pid);
    } else {
        prompt = QStringLiteral("The program folder\r\n%1\r\ncannot be locked for this copy (%2)."
                                "\r\nThis copy ends without touching it.")
                     .arg(QDir::toNativeSeparators(m_folder),
                          m_lock.error() == QLockFile::PermissionError
                              ? QStringLiteral("no permission to write sylvane.lock")
                              : QStringLiteral("sylvane.lock cannot be written"));
    }
    std::fprintf(stderr, "%s\n",
                 qPrintable(QString(prompt).replace(QStringLiteral("\r\n"), QStringLiteral(" "))));
    platform::MsgBox(prompt, platform::vbOKOnly | platform::vbExclamation,
                     QString::fromLatin1(platform::kAppTitle));
    return false;
}

} // namespace sylvane::app
