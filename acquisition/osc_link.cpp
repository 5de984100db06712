#include "acquisition/osc_link.h"

#include "platform/steady_time.h"

#include <QHostInfo>
#include <QNetworkDatagram>
#include <QTimer>

#include <utility>

namespace sylvane::acquisition {

namespace {
// Datagrams read at one wake-up; a flood waits for the next turn of the event loop, so the probe's
// readings are never held up behind it.
constexpr int kDatagramsAtOnce = 256;
// Packets kept while a host name is looked up: ten seconds of readings.
constexpr std::size_t kMostWaiting = 530;
} // namespace

OscLink::OscLink(QObject* parent) : QObject(parent) {
    connect(&m_in, &QUdpSocket::readyRead, this, [this] { readPending(); });
    // Nothing is expected back from the listener; whatever comes is read and let go.
    connect(&m_out, &QUdpSocket::readyRead, this, [this] {
        for (int i = 0; i < kDatagramsAtOnce && m_out.hasPendingDatagrams(); ++i)
            m_out.receiveDatagram();
    });
}

OscLink::~OscLink() {
    if (m_lookup >= 0) QHostInfo::abortHostLookup(m_lookup);
}

bool OscLink::listen(const QString& address, std::uint16_t port, QString* error) {
    if (port != 0 && m_in.state() == QAbstractSocket::BoundState && m_listenAddress == address &&
        m_in.localPort() == port)
        return true;
    m_in.close();
    m_listenAddress.clear();
    if (port == 0) return true;
    const QHostAddress host(address);
    // Not shared: a port another program holds is an error, not two programs each taking half.
    if (host.isNull() || !m_in.bind(host, port, QAbstractSocket::DontShareAddress)) {
        if (error)
            *error = QStringLiteral("OSC markers: UDP port %1 on %2 could not be opened: %3")
                         .arg(port)
                         .arg(address, host.isNull() ? QStringLiteral("not an IP address")
                                                     : m_in.errorString());
        m_in.close();
        return false;
    }
    m_listenAddress = address;
    return true;
}

std::uint16_t OscLink::listeningPort() const {
    return m_in.state() == QAbstractSocket::BoundState ? m_in.localPort() : 0;
}

void OscLink::readPending() {
    m_readQueued = false;
    for (int i = 0; i < kDatagramsAtOnce; ++i) {
        if (!m_in.hasPendingDatagrams()) return;
        const QNetworkDatagram datagram = m_in.receiveDatagram();
        const QByteArray bytes = datagram.data();
        const OscInbound in =
            decodeOscPacket({reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                             static_cast<std::size_t>(bytes.size())});
        m_counts.refused += in.refused;
        for (const std::string& text : in.markers) {
            const double now = platform::steadySeconds();
            if (!m_rate.allows(now)) {
                ++m_counts.refused;
                ++m_counts.overRate;
            } else if (takeMarker && takeMarker(text)) {
                m_rate.taken(now);
                ++m_counts.taken;
            } else {
                ++m_counts.refused;
            }
        }
    }
    if (m_in.hasPendingDatagrams() && !m_readQueued) {
        m_readQueued = true;
        QTimer::singleShot(0, this, [this] { readPending(); });
    }
}

void OscLink::sendTo(const QString& host, std::uint16_t port) {
    if (m_lookup >= 0) QHostInfo::abortHostLookup(m_lookup);
    m_lookup = -1;
    m_counts.dropped += static_cast<std::int64_t>(m_waiting.size());
    m_waiting.clear();
    m_host = port != 0 ? host : QString();
    m_port = port;
    m_address.clear();
    m_sendProblem.clear();
    if (m_host.isEmpty()) return;
    if (m_address.setAddress(m_host)) return;
    m_sendProblem = QStringLiteral("looking up %1").arg(m_host);
    m_lookup = QHostInfo::lookupHost(m_host, this, [this](const QHostInfo& info) {
        lookedUp(info.lookupId(), info.addresses(), info.errorString());
    });
}

void OscLink::lookedUp(int id, const QList<QHostAddress>& addresses, const QString& error) {
    if (id != m_lookup) return;
    m_lookup = -1;
    if (addresses.isEmpty()) {
        m_sendProblem = QStringLiteral("%1 not found: %2").arg(m_host, error);
        m_counts.dropped += static_cast<std::int64_t>(m_waiting.size());
        m_waiting.clear();
        return;
    }
    // An IPv4 address when there is one: listeners often take no other.
    m_address = addresses.first();
    for (const QHostAddress& a : addresses) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol) {
            m_address = a;
            break;
        }
    }
    m_sendProblem.clear();
    for (const std::string& packet : std::exchange(m_waiting, {})) write(packet);
}

QString OscLink::target() const {
    if (m_host.isEmpty()) return {};
    return (m_host.contains(':') ? QStringLiteral("[%1]:%2") : QStringLiteral("%1:%2"))
        .arg(m_host)
        .arg(m_port);
}

void OscLink::send(const std::string& packet) {
    if (m_host.isEmpty()) return;
    if (m_lookup >= 0) {
        if (m_waiting.size() < kMostWaiting)
            m_waiting.push_back(packet);
        else
            ++m_counts.dropped;
        return;
    }
    if (m_address.isNull()) {
        ++m_counts.dropped;
        return;
    }
    write(packet);
}

void OscLink::write(const std::string& packet) {
    // The socket does not block: a packet the system cannot take at once is dropped.
    if (m_out.writeDatagram(packet.data(), static_cast<qint64>(packet.size()), m_address, m_port) ==
        static_cast<qint64>(packet.size())) {
        ++m_counts.sent;
        m_sendProblem.clear();
    } else {
        ++m_counts.dropped;
        m_sendProblem = m_out.errorString();
    }
}

} // namespace sylvane::acquisition
