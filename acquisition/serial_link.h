#pragma once
// The serial control the program reads the probe through. It offers what the window's rules rely
// on: a port number, a settings text such as "4800,N,8,1", opening and closing, DTR and RTS, and
// one receive event (OnComm) per 9 bytes received, whose Input() is exactly those 9 bytes in
// arrival order however the operating system splits the stream.
//
// COM port numbers reach devices through resolveComPort (com_port_map.h).

#include <QByteArray>
#include <QObject>
#include <QString>

class QSerialPort;

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
    void setCommPort(int port) { m_commPort = port; }

    // Parses "baud,parity,data,stop" (parity N, E, O, M or S). A malformed text is refused
    // with a clear message in *error and the previous settings stay.
    bool setSettings(const QString& settings, QString* error = nullptr);
    QString settings() const { return m_settings; }

    int inputLen() const { return m_inputLen; }
    void setInputLen(int len) { m_inputLen = len; }
    int rThreshold() const { return m_rThreshold; }
    void setRThreshold(int threshold) { m_rThreshold = threshold; }

    // PortOpen = True / False. open() returns false on failure, with openError() telling
    // "no such port" and "in use" apart from anything else, and errorString() a message that
    // names the port and the reason.
    bool open();
    void close();
    bool isOpen() const;

    OpenError openError() const { return m_openError; }
    QString errorString() const { return m_errorString; }
    // The device path COM n resolved to at the last open ("" when none).
    QString devicePath() const { return m_devicePath; }

    // DTREnable / RTSEnable. A port that cannot set the lines (a pseudo-terminal) still works.
    void setDTREnable(bool on);
    void setRTSEnable(bool on);
    bool dtrEnable() const { return m_dtr; }
    bool rtsEnable() const { return m_rts; }

    int commEvent() const { return m_commEvent; }
    // The bytes of the current receive event (at most InputLen); empty once taken.
    QByteArray Input();

Q_SIGNALS:
    // One per RThreshold bytes received.
    void OnComm();
    // The device went away or the port failed while open (unplugged adapter, closed
    // pseudo-terminal). The port is already closed when this is emitted; it is emitted once.
    void deviceLost(const QString& reason);

private:
    void onReadyRead();
    void onError(int error);

    QSerialPort* m_port = nullptr;
    QString m_programFolder;
    int m_commPort = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    int m_inputLen = 9;
    int m_rThreshold = 9;
    bool m_dtr = false;
    bool m_rts = false;
    int m_commEvent = 0;
    QByteArray m_pending;
    QByteArray m_current;
    OpenError m_openError = OpenError::None;
    QString m_errorString;
    QString m_devicePath;
    bool m_lost = false;
};

} // namespace sylvane::acquisition
