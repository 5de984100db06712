#pragma once
// The OSC link of a session (osc_packets.h): a UDP port on which stimulus software sends markers,
// and a socket that sends the session's packets to a listener. Both live on the window's thread
// and never wait: the port is read when datagrams are there, a packet goes out with one
// non-blocking send (and is dropped when the system cannot take it at once), and a host name is
// looked up in the background, the packets meanwhile kept (a few seconds' worth) and sent once its
// address is known. A listener that is gone or never came costs nothing but the packets.

#include "acquisition/osc_packets.h"

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QUdpSocket>

#include <cstdint>
#include <deque>
#include <functional>
#include <string>

namespace sylvane::acquisition {

class OscLink : public QObject {
    Q_OBJECT
public:
    struct Counts {
        std::int64_t taken = 0;    // markers made
        std::int64_t refused = 0;  // messages that made none
        std::int64_t overRate = 0; // of them, markers beyond kOscMarkersPerSecond
        std::int64_t sent = 0;     // packets handed to the system
        std::int64_t dropped = 0;  // packets that could not be sent
    };

    explicit OscLink(QObject* parent = nullptr);
    ~OscLink() override;

    // Takes markers on address:port from now on; port 0 takes none. An open port on the same
    // address and port stays as it is. False with *error naming them and the reason when the port
    // cannot be opened (it then takes none).
    bool listen(const QString& address, std::uint16_t port, QString* error);
    // The port markers are taken on, 0 when none.
    std::uint16_t listeningPort() const;
    QString listeningAddress() const { return m_listenAddress; }

    // Sends to host:port from now on; an empty host sends nothing. A name is looked up in the
    // background.
    void sendTo(const QString& host, std::uint16_t port);
    bool sending() const { return !m_host.isEmpty(); }
    // "host:port", "" when nothing is sent.
    QString target() const;
    // Why packets are dropped ("" while they go): the host not found, the system refusing them.
    QString sendProblem() const { return m_sendProblem; }
    // Sends one packet now or drops it; never waits.
    void send(const std::string& packet);

    // Asked for each marker that arrives within the rate, with its text made safe: true when it
    // was made (a session runs and its line was written).
    std::function<bool(const std::string& text)> takeMarker;

    const Counts& counts() const { return m_counts; }

private:
    void readPending();
    void lookedUp(int id, const QList<QHostAddress>& addresses, const QString& error);
    void write(const std::string& packet);

    QUdpSocket m_in;
    QUdpSocket m_out;
    QString m_listenAddress;
    QString m_host;
    std::uint16_t m_port = 0;
    QHostAddress m_address;
    int m_lookup = -1;
    // Packets waiting for the host's address.
    std::deque<std::string> m_waiting;
    QString m_sendProblem;
    bool m_readQueued = false;
    MarkerRateLimit m_rate;
    Counts m_counts;
};

} // namespace sylvane::acquisition
