#pragma once
// The probe simulator (tools/probe-sim) as a child process of a test, its link as COM<port> of
// the given program folder. The destructor stops it (SIGTERM, then SIGKILL).

#include <QProcess>
#include <QString>
#include <QStringList>

namespace sylvane::testing {

class ProbeSimProcess {
public:
    ProbeSimProcess(const QString& folder, int port, const QStringList& options = {})
        : m_folder(folder), m_port(port), m_options(options) {}
    ~ProbeSimProcess() { stop(); }
    ProbeSimProcess(const ProbeSimProcess&) = delete;
    ProbeSimProcess& operator=(const ProbeSimProcess&) = delete;

    // Returns once <folder>/ports/com<port> exists; false (see errorString()) otherwise.
    bool start(int timeoutMs = 15000);
    // SIGTERM, then SIGKILL after timeoutMs; true when it ended on its own.
    bool stop(int timeoutMs = 5000);

    QString devicePath() const { return m_device; }
    QString linkPath() const;
    // What the simulator wrote to stderr so far.
    QString log();
    QString errorString() const { return m_error; }
    QProcess& process() { return m_process; }

    // Writes the lines as a frames file (for --frames) in folder and returns its path.
    static QString framesFile(const QString& folder, const QStringList& lines);

private:
    QString m_folder;
    int m_port;
    QStringList m_options;
    QProcess m_process;
    QString m_device;
    QString m_error;
    QByteArray m_stdout;
    QByteArray m_stderr;
};

// One probe frame as a line of a frames file: number in the aux byte, then ADC and status.
QString frameLine(int adc, int status = 4, int number = 0);

} // namespace sylvane::testing
