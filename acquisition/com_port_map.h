#pragma once
// How a COM port number reaches a device.
//
// COMn is the device the link ports/comN in the program folder points to, when that link
// exists; a link that points to nothing is a port that does not exist. Without a link, COMn is
// the port named COMn on Windows and, elsewhere, the n-th serial device the system lists in
// COM-number order (comPortOrder: USB adapters first). The links let anyone point a COM number
// at any device, a pseudo-terminal included, without special rights.

#include <QString>
#include <QStringList>

namespace sylvane::acquisition {

struct ComPortTarget {
    // The device to open ("/dev/ttyUSB0", "COM3"); for a link that points to nothing, the
    // missing target; empty when the number has no device at all.
    QString device;
    // The ports/comN link the device came from; empty when it came from the system's list.
    QString link;
    // False when there is no such port; reason then says why, for the user.
    bool exists = false;
    QString reason;
};

// The path of the link that maps COM port n in programFolder.
QString comPortLinkPath(const QString& programFolder, int comPort);

// The serial devices the system lists, in COM-number order.
QStringList systemSerialDevices();

ComPortTarget resolveComPort(const QString& programFolder, int comPort);

} // namespace sylvane::acquisition
