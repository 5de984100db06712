#include "acquisition/serial_link.h"

#include <QSerialPort>

namespace sylvane::acquisition {

SerialLink::SerialLink(const QString& programFolder, QObject* parent)
    : QObject(parent), m_programFolder(programFolder) {}

SerialLink::~SerialLink() = default;

bool SerialLink::setSettings(const QString& settings, QString*) {
    m_settings = settings;
    return true;
}

bool SerialLink::open() { return false; }
void SerialLink::close() {}
bool SerialLink::isOpen() const { return false; }
void SerialLink::setDTREnable(bool on) { m_dtr = on; }
void SerialLink::setRTSEnable(bool on) { m_rts = on; }
QByteArray SerialLink::Input() { return std::exchange(m_current, QByteArray()); }
void SerialLink::onReadyRead() {}
void SerialLink::onError(int) {}

} // namespace sylvane::acquisition
