#pragma once
// The probe simulator (tools/probe-sim) as a child process of a test.
//
//     sylvane::testing::ProgramFolder folder;
//     sylvane::testing::ProbeSimProcess sim(folder.path(), 2, {"--adc", "1234", "--rate", "53"});
//     ASSERT_TRUE(sim.start()) << sim.errorString();
//     // COM2 of a program that uses folder.path() now reads the simulated probe.
//
// start() returns once <folder>/ports/com<port> exists. The simulator writes frames only while
// the port is open, and each opening starts its frames afresh (see probe-sim --help for the
// options). The destructor stops it with SIGTERM (it removes its link) and kills it if it does
// not end within a few seconds.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace sylvane::testing {

class ProbeSimProcess {
public:
    ProbeSimProcess(const QString& folder, int port, const QStringList& options = {});
    ~ProbeSimProcess();
    ProbeSimProcess(const ProbeSimProcess&) = delete;
    ProbeSimProcess& operator=(const ProbeSimProcess&) = delete;

    // Starts the simulator and waits until its link exists; false (see errorString()) when it
    // refused its options, failed or did not come up within timeoutMs.
    bool start(int timeoutMs = 15000);
    // SIGTERM, then SIGKILL after timeoutMs; returns true when it ended on its own.
    bool stop(int timeoutMs = 5000);
    bool isRunning() const;

    // "/dev/pts/7"; empty before start().
    QString devicePath() const { return m_device; }
    // "<folder>/ports/com<port>".
    QString linkPath() const;
    // What the simulator wrote to stderr so far (its progress and its errors).
    QString log();
    QString errorString() const { return m_error; }
    QProcess& process() { return m_process; }

    // Path of the built simulator.
    static QString program();

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

} // namespace sylvane::testing
