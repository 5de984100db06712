#pragma once
// One program per program folder: two copies writing the same working files would mix two
// sessions in them. The lock file sylvane.lock in the folder is held while the program runs; a
// second copy says which folder is taken and ends without touching any file, and a lock left by
// a program that was killed is taken over.

#include <QLockFile>
#include <QString>

namespace sylvane::app {

class ProgramFolderLock {
public:
    explicit ProgramFolderLock(const QString& folder);
    // True once this program holds the folder; false, after one message naming the folder, when
    // another copy holds it (or the lock cannot be made: the reason is in the message).
    bool take();

private:
    QString m_folder;
    QLockFile m_lock;
};

} // namespace sylvane::app
