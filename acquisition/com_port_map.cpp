#include "acquisition/com_port_map.h"

#include "acquisition/serial_device_order.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <string>
#include <vector>

namespace sylvane::acquisition {

QString comPortLinkPath(const QString& programFolder, int comPort) {
    return QDir(programFolder).filePath(QStringLiteral("ports/com%1").arg(comPort));
}

QStringList systemSerialDevices() {
    std::vector<std::string> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        devices.push_back(info.systemLocation().toStdString());
    QStringList out;
    for (const std::string& d : comPortOrder(std::move(devices))) out << QString::fromStdString(d);
    return out;
}

ComPortTarget resolveComPort(const QString& programFolder, int comPort) {
    ComPortTarget target;
    if (comPort < 1) {
        target.reason = QStringLiteral("no such port (port numbers start at 1)");
        return target;
    }

    const QString link = comPortLinkPath(programFolder, comPort);
    const QFileInfo linkInfo(link);
    if (linkInfo.isSymLink()) {
        target.link = link;
        target.device = linkInfo.symLinkTarget();
        if (!QFileInfo::exists(target.device)) {
            target.reason = QStringLiteral("no such port (%1 points to a device that is gone)")
                                .arg(QDir::toNativeSeparators(link));
            return target;
        }
        // Two links to one device must meet the same lock.
        target.device = QFileInfo(target.device).canonicalFilePath();
        target.exists = true;
        return target;
    }
    if (linkInfo.exists()) {
        // Not a link but a device node or a file put there by hand: open it as it is.
        target.link = link;
        target.device = linkInfo.absoluteFilePath();
        target.exists = true;
        return target;
    }

#ifdef Q_OS_WIN
    target.device = QStringLiteral("COM%1").arg(comPort);
    target.exists = true;
    return target;
#else
    const QStringList devices = systemSerialDevices();
    if (comPort > devices.size()) {
        target.reason =
            QStringLiteral("no such port (the system lists %1 serial device%2 and there is no "
                           "link %3)")
                .arg(devices.size())
                .arg(devices.size() == 1 ? QString() : QStringLiteral("s"))
                .arg(QDir::toNativeSeparators(link));
        return target;
    }
    target.device = devices.at(comPort - 1);
    target.exists = true;
    return target;
#endif
}

} // namespace sylvane::acquisition
