#include "tests/support/probe_sim_process.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace sylvane::testing {

QString ProbeSimProcess::linkPath() const {
    return QDir(m_folder).filePath(QStringLiteral("ports/com%1").arg(m_port));
}

QString ProbeSimProcess::log() {
    m_stderr += m_process.readAllStandardError();
    return QString::fromLocal8Bit(m_stderr);
}

bool ProbeSimProcess::start(int timeoutMs) {
    QStringList args{QStringLiteral("--folder"), m_folder, QStringLiteral("--port"),
                     QString::number(m_port)};
    args += m_options;
    m_process.start(QStringLiteral(SYLVANE_PROBE_SIM), args);
    if (!m_process.waitForStarted(timeoutMs)) {
        m_error = QStringLiteral("probe-sim did not start: %1").arg(m_process.errorString());
        return false;
    }
    // The simulator prints "COM<n> -> <device>" once the link is in place.
    const QByteArray prefix = QStringLiteral("COM%1 -> ").arg(m_port).toLatin1();
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        m_stdout += m_process.readAllStandardOutput();
        const qsizetype at = m_stdout.indexOf(prefix);
        const qsizetype eol = at < 0 ? -1 : m_stdout.indexOf('\n', at);
        if (eol >= 0) {
            m_device =
                QString::fromLocal8Bit(m_stdout.mid(at + prefix.size(), eol - at - prefix.size()))
                    .trimmed();
            if (QFileInfo(linkPath()).isSymLink()) return true;
        }
        if (m_process.state() == QProcess::NotRunning) {
            m_error = QStringLiteral("probe-sim ended (exit code %1): %2")
                          .arg(m_process.exitCode())
                          .arg(log().trimmed());
            return false;
        }
        m_process.waitForReadyRead(50);
    }
    m_error = QStringLiteral("probe-sim did not link %1 in time: %2").arg(linkPath(), log());
    return false;
}

bool ProbeSimProcess::stop(int timeoutMs) {
    if (m_process.state() == QProcess::NotRunning) return true;
    m_process.terminate();
    if (m_process.waitForFinished(timeoutMs)) return true;
    m_process.kill();
    m_process.waitForFinished(timeoutMs);
    return false;
}

QString ProbeSimProcess::framesFile(const QString& folder, const QStringList& lines) {
    QFile f(QDir(folder).filePath(QStringLiteral("frames.txt")));
    if (f.open(QIODevice::WriteOnly)) f.write(lines.join(QLatin1Char('\n')).toLatin1() + '\n');
    return f.fileName();
}

QString frameLine(int adc, int status, int number) {
    QString line = QStringLiteral("AA AA 01");
    for (int b : {number, adc, adc >> 8, status, 0, 0})
        line += QStringLiteral(" %1").arg(b & 0xFF, 2, 16, QLatin1Char('0'));
    return line;
}

} // namespace sylvane::testing
