#include "acquisition/serial_link.h"

#include "acquisition/com_port_map.h"
#include "platform/steady_time.h"

#include <QAbstractEventDispatcher>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <utility>

#include <sys/ioctl.h>

namespace sylvane::acquisition {

namespace {

QSerialPort::Parity qtParity(Parity p) {
    switch (p) {
    case Parity::Even:
        return QSerialPort::EvenParity;
    case Parity::Odd:
        return QSerialPort::OddParity;
    case Parity::Mark:
        return QSerialPort::MarkParity;
    case Parity::Space:
        return QSerialPort::SpaceParity;
    case Parity::None:
        break;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits qtStopBits(StopBits s) {
    switch (s) {
    case StopBits::OneAndHalf:
        return QSerialPort::OneAndHalfStop;
    case StopBits::Two:
        return QSerialPort::TwoStop;
    case StopBits::One:
        break;
    }
    return QSerialPort::OneStop;
}

} // namespace

SerialLink::SerialLink(const QString& programFolder, QObject* parent)
    : QObject(parent), m_programFolder(programFolder) {
    m_port = new QSerialPort(this);
    connect(m_port, &QSerialPort::readyRead, this, &SerialLink::drain);
    connect(m_port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError e) { onError(static_cast<int>(e)); });
    m_nestedDrain = new QTimer(this);
    m_nestedDrain->setInterval(10);
    connect(m_nestedDrain, &QTimer::timeout, this, &SerialLink::drain);
    m_pace = new QTimer(this);
    connect(m_pace, &QTimer::timeout, this, [this] {
        // Nothing waiting now means that whatever is read next arrived after now.
        int waiting = 0;
        if (isOpen() && ::ioctl(static_cast<int>(m_port->handle()), FIONREAD, &waiting) == 0 &&
            waiting == 0)
            m_lastRead = platform::steadySeconds();
        holdArrivals(false);
    });
    // The drain timer is needed only while a receive handler lets events run (a message box):
    // the event loop is then about to wait inside the handler. Starting it only then spares
    // every ordinary receive event a timer's start and stop.
    if (auto* dispatcher = QAbstractEventDispatcher::instance()) {
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
            if (m_eventDepth > 0 && !m_nestedDrain->isActive()) m_nestedDrain->start();
        });
    }
}

SerialLink::~SerialLink() = default;

bool SerialLink::setSettings(const QString& settings, QString* error) {
    std::string why;
    const auto parsed = parseSerialSettings(settings.toStdString(), &why);
    if (!parsed) {
        if (error) *error = QString::fromStdString(why);
        return false;
    }
    m_settings = settings;
    m_lineSettings = *parsed;
    return true;
}

QString SerialLink::portLabel() const {
    const QString com = QStringLiteral("COM%1").arg(m_commPort);
    if (m_devicePath.isEmpty()) return com;
    return QStringLiteral("%1 (%2)").arg(com, QDir::toNativeSeparators(m_devicePath));
}

bool SerialLink::failOpen(OpenError kind, const QString& reason) {
    m_openError = kind;
    m_errorString = QStringLiteral("%1: %2").arg(portLabel(), reason);
    return false;
}

bool SerialLink::open() {
    if (isOpen()) return true;
    m_openError = OpenError::None;
    m_errorString.clear();
    m_lost = false;
    m_lostReason.clear();
    m_pending.clear();
    m_current.clear();
    forgetReads();

    const ComPortTarget target = resolveComPort(m_programFolder, m_commPort);
    m_devicePath = target.device;
    if (!target.exists) return failOpen(OpenError::NoSuchPort, target.reason);

    m_port->setPortName(target.device);
    if (!m_port->open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError e = m_port->error();
        const QString why = m_port->errorString();
        m_port->clearError();
        if (e == QSerialPort::DeviceNotFoundError)
            return failOpen(OpenError::NoSuchPort, QStringLiteral("no such port"));
        if (e == QSerialPort::PermissionError) {
            // The port's lock or exclusive open turns other openers away with the same error
            // as missing rights; only the first is "in use".
            const QFileInfo device(target.device);
            if (device.exists() && !(device.isReadable() && device.isWritable()))
                return failOpen(OpenError::Other,
                                QStringLiteral("access denied (%1); the user needs read and "
                                               "write rights on the device: on Debian, add the "
                                               "user to the dialout group (sudo adduser $USER "
                                               "dialout) and log in again")
                                    .arg(why));
            return failOpen(OpenError::InUse, QStringLiteral("in use by another program"));
        }
        return failOpen(OpenError::Other, QStringLiteral("cannot open (%1)").arg(why));
    }

    const bool applied =
        m_port->setBaudRate(m_lineSettings.baud) &&
        m_port->setDataBits(static_cast<QSerialPort::DataBits>(m_lineSettings.dataBits)) &&
        m_port->setParity(qtParity(m_lineSettings.parity)) &&
        m_port->setStopBits(qtStopBits(m_lineSettings.stopBits)) &&
        m_port->setFlowControl(QSerialPort::NoFlowControl);
    if (!applied) {
        const QString why = m_port->errorString();
        m_port->close();
        m_port->clearError();
        return failOpen(OpenError::Other,
                        QStringLiteral("cannot use the settings %1 (%2)").arg(m_settings, why));
    }

    // An adapter or a pseudo-terminal may still hold bytes from before; they are not ours.
    m_port->clear(QSerialPort::Input);
    applyLines();
    // Reopened from inside a receive handler (Restart): the port is still within its first
    // announcement, so bytes arriving before the handler returns must be collected by us.
    if (m_eventDepth > 0) m_nestedDrain->start();

    m_arrivals = nullptr;
    if (m_readInterval > 0) {
        // The port watches its descriptor with a read notifier of its own, made at the opening
        // and switched on again at every read. Holding it off between paces is what keeps the
        // process asleep; where there is none to be found, the port is read on arrival.
        for (QSocketNotifier* n : m_port->findChildren<QSocketNotifier*>()) {
            if (n->type() == QSocketNotifier::Read && n->socket() == m_port->handle()) {
                m_arrivals = n;
                break;
            }
        }
        if (m_arrivals) m_pace->start(m_readInterval);
    }
    return true;
}

void SerialLink::holdArrivals(bool hold) {
    if (m_arrivals && isOpen()) m_arrivals->setEnabled(!hold);
}

void SerialLink::applyLines() {
    if (!isOpen()) return;
    // A pseudo-terminal has no modem lines: the calls fail and the port works on.
    m_port->setDataTerminalReady(m_dtr);
    m_port->setRequestToSend(m_rts);
    m_port->clearError();
}

void SerialLink::close() {
    m_lost = false;
    m_lostReason.clear();
    m_nestedDrain->stop();
    m_pace->stop();
    m_arrivals = nullptr;
    if (m_port->isOpen()) m_port->close();
    m_port->clearError();
    m_pending.clear();
    m_current.clear();
    forgetReads();
}

void SerialLink::forgetReads() {
    m_reads.clear();
    m_received = 0;
    m_delivered = 0;
    m_lastRead = platform::steadySeconds();
}

void SerialLink::readPort() {
    const QByteArray bytes = m_port->readAll();
    if (bytes.isEmpty()) return;
    const double now = platform::steadySeconds();
    m_pending.append(bytes);
    m_received += bytes.size();
    // Read on arrival, the bytes came in just now, as fast as the line carries them; read at a
    // pace, at any time since the port was last seen empty.
    const double line = static_cast<double>(bytes.size()) / bytesPerSecond(m_lineSettings);
    const double since = m_arrivals ? m_lastRead : std::max(m_lastRead, now - line);
    m_reads.push_back({m_received - bytes.size(), m_received, now, since});
    m_lastRead = now;
}

bool SerialLink::isOpen() const {
    return m_port->isOpen();
}

void SerialLink::setDTREnable(bool on) {
    m_dtr = on;
    applyLines();
}

void SerialLink::setRTSEnable(bool on) {
    m_rts = on;
    applyLines();
}

QByteArray SerialLink::Input() {
    if (m_inputLen <= 0 || m_current.size() <= m_inputLen) return std::exchange(m_current, {});
    QByteArray head = m_current.left(m_inputLen);
    m_current.remove(0, m_inputLen);
    return head;
}

void SerialLink::drain() {
    if (!isOpen() || m_lost) return;
    readPort();
    if (m_rThreshold <= 0) {
        m_pending.clear();
        m_reads.clear();
        m_delivered = m_received;
        if (m_eventDepth == 0) holdArrivals(true);
        return;
    }

    const QPointer<SerialLink> alive(this);
    while (isOpen() && !m_lost && m_pending.size() >= m_rThreshold) {
        // The chunk leaves the buffer before the handler runs, so a nested event started
        // from inside the handler takes the next chunk, never this one again.
        m_current = m_pending.left(m_rThreshold);
        m_pending.remove(0, m_rThreshold);
        // The event's time is its last byte's.
        const qint64 last = m_delivered + m_rThreshold - 1;
        while (!m_reads.empty() && m_reads.front().end <= last) m_reads.pop_front();
        if (!m_reads.empty()) {
            const Read& r = m_reads.front();
            m_eventArrival = byteArrival(r.previous, r.at, last - r.begin, r.end - r.begin,
                                         bytesPerSecond(m_lineSettings));
        }
        m_delivered += m_rThreshold;
        m_commEvent = comEvReceive;
        ++m_eventDepth;
        emit OnComm();
        if (!alive) return;
        if (--m_eventDepth == 0 && m_nestedDrain->isActive()) m_nestedDrain->stop();
        m_current.clear();
        if (isOpen() && !m_lost) readPort();
    }
    // Reading switched the port's notifier on again: it stays off until the next pace. A lost
    // device is seen at that pace, when the notifier reports the hang-up.
    if (m_eventDepth == 0) holdArrivals(true);
}

void SerialLink::onError(int error) {
    const auto e = static_cast<QSerialPort::SerialPortError>(error);
    if (e != QSerialPort::ReadError && e != QSerialPort::ResourceError) return;
    if (!m_port->isOpen() || m_lost) return;
    // A vanished device keeps reporting read errors as fast as they can be handled; close it
    // once, from the event loop: closing inside the port's notification is not safe.
    m_lost = true;
    m_lostReason = m_port->errorString();
    QMetaObject::invokeMethod(this, &SerialLink::finishLost, Qt::QueuedConnection);
}

void SerialLink::finishLost() {
    // A close() in between means the program let go of the port itself.
    if (!m_lost) return;
    const QString reason =
        m_lostReason.isEmpty()
            ? QStringLiteral("%1: the device was lost").arg(portLabel())
            : QStringLiteral("%1: the device was lost (%2)").arg(portLabel(), m_lostReason);
    close();
    emit deviceLost(reason);
}

} // namespace sylvane::acquisition
