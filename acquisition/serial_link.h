#pragma once
// The serial control the program reads the probe through. It offers what the window's rules rely
// on: a port number, a settings text such as "4800,N,8,1", opening and closing, DTR and RTS, and
// one receive event (OnComm) per 9 bytes received, whose Input() is exactly those 9 bytes in
// arrival order however the operating system splits the stream.
//
// COM port numbers reach devices through resolveComPort (com_port_map.h).
//
// Receive events may nest: when a handler of OnComm lets events run (a modal message box),
// the bytes that arrive meanwhile raise their own OnComm inside it, each with its own 9 bytes.
// A handler should therefore take Input() before it lets events run; the chunk of an event is
// dropped once its handler returns.

#include "acquisition/serial_settings.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <deque>

class QSerialPort;
class QSocketNotifier;
class QTimer;

namespace sylvane::acquisition {

class SerialLink : public QObject {
    Q_OBJECT
public:
    enum class OpenError { None, NoSuchPort, InUse, Other };
    // Receive-event code of CommEvent, as the receive handler tests it.
    static constexpr int comEvReceive = 2;

    // programFolder holds the ports/comN links that point COM numbers at devices.
    explicit SerialLink(const QString& programFolder, QObject* parent = nullptr);
    ~SerialLink() override;

    int commPort() const { return m_commPort; }
    // Takes effect at the next open().
    void setCommPort(int port) { m_commPort = port; }

    // Parses "baud,parity,data,stop" (parity N, E, O, M or S). A malformed text is refused
    // with a clear message in *error and the previous settings stay. Takes effect at the next
    // open().
    bool setSettings(const QString& settings, QString* error = nullptr);
    QString settings() const { return m_settings; }

    // At most this many bytes are returned by one Input() (0: the whole chunk).
    int inputLen() const { return m_inputLen; }
    void setInputLen(int len) { m_inputLen = len; }
    // Bytes per receive event; 0 or less turns receive events off (incoming bytes are dropped).
    int rThreshold() const { return m_rThreshold; }
    void setRThreshold(int threshold) { m_rThreshold = threshold; }

    // PortOpen = True / False. open() returns false on failure, with openError() telling
    // "no such port" and "in use" apart from anything else, and errorString() a message that
    // names the port and the reason. Bytes the device held before the opening are discarded.
    // Opening an open link does nothing and succeeds.
    bool open();
    void close();
    bool isOpen() const;

    OpenError openError() const { return m_openError; }
    QString errorString() const { return m_errorString; }
    // The device path COM n resolved to at the last open ("" when none).
    QString devicePath() const { return m_devicePath; }

    // DTREnable / RTSEnable: applied at once when open, else at the next open. A port that
    // cannot set the lines (a pseudo-terminal) still works.
    void setDTREnable(bool on);
    void setRTSEnable(bool on);
    bool dtrEnable() const { return m_dtr; }
    bool rtsEnable() const { return m_rts; }

    // How often the port is read while open, in milliseconds; 0 (the default) reads every
    // arrival as it comes. Paced, the bytes that arrived since the last read are taken together
    // and their receive events run one after the other, each with its own 9 bytes and in
    // arrival order: nothing changes but when they run. The process then wakes once a pace
    // instead of once a frame. Takes effect at the next open().
    void setReadInterval(int ms) { m_readInterval = ms; }
    int readInterval() const { return m_readInterval; }

    int commEvent() const { return m_commEvent; }
    // The bytes of the current receive event (at most InputLen); empty once taken.
    QByteArray Input();
    // When the last byte of the current receive event arrived, in seconds on the steady clock
    // (platform/steady_time.h): worked out from the times of the reads and the line's speed
    // (byteArrival), so that frames read together at a pace keep their own times.
    double arrivalSeconds() const { return m_eventArrival; }

Q_SIGNALS:
    // One per RThreshold bytes received.
    void OnComm();
    // The device went away or the port failed while open (unplugged adapter, closed
    // pseudo-terminal). The port is already closed when this is emitted; it is emitted once.
    void deviceLost(const QString& reason);

private:
    // Takes what the port holds into the pending bytes, noting when it was read.
    void readPort();
    void forgetReads();
    void drain();
    void holdArrivals(bool hold);
    void applyLines();
    void onError(int error);
    void finishLost();
    bool failOpen(OpenError kind, const QString& reason);
    QString portLabel() const;

    QSerialPort* m_port = nullptr;
    // Collects bytes that arrive while a receive handler lets events run: the port does not
    // announce new data while its own announcement is still being handled.
    QTimer* m_nestedDrain = nullptr;
    // Paced reading: the port's own arrival notifier is held off between paces and let go at
    // each one (null when reading on arrival, or when the port has no notifier to hold).
    QTimer* m_pace = nullptr;
    QPointer<QSocketNotifier> m_arrivals;
    int m_readInterval = 0;
    QString m_programFolder;
    int m_commPort = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    SerialSettings m_lineSettings;
    int m_inputLen = 9;
    int m_rThreshold = 9;
    bool m_dtr = false;
    bool m_rts = false;
    int m_commEvent = 0;
    int m_eventDepth = 0;
    QByteArray m_pending;
    QByteArray m_current;
    // The reads whose bytes are still pending: where each ends in the stream of bytes received
    // since the opening, when it was read and when the read before it was.
    struct Read {
        qint64 begin;
        qint64 end;
        double at;
        double previous;
    };
    std::deque<Read> m_reads;
    qint64 m_received = 0;
    qint64 m_delivered = 0;
    double m_lastRead = 0;
    double m_eventArrival = 0;
    OpenError m_openError = OpenError::None;
    QString m_errorString;
    QString m_devicePath;
    // Set at the first read failure of an opening; the port is closed and deviceLost emitted
    // from the event loop, never from inside the port's own notification.
    bool m_lost = false;
    QString m_lostReason;
};

} // namespace sylvane::acquisition
