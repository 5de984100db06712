#include "platform/program_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace sylvane::platform {

QString programFolder() {
    const QString exeFolder = QCoreApplication::applicationDirPath();
    const QFileInfo info(exeFolder);
    if (info.isDir() && info.isWritable()) return QDir::cleanPath(exeFolder);
    const QString userFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(userFolder);
    return QDir::cleanPath(userFolder);
}

} // namespace sylvane::platform
