#include "tests/support/pty_probe.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

namespace sylvane::testing {

PtyProbe::PtyProbe(const QString& folder, int comPort) {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) return;
    termios tio{};
    ::tcgetattr(m_master, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(m_master, TCSANOW, &tio);
    QDir(folder).mkpath(QStringLiteral("ports"));
    m_link = QStringLiteral("%1/ports/com%2").arg(folder).arg(comPort);
    QFile::remove(m_link);
    QFile::link(QString::fromLocal8Bit(::ptsname(m_master)), m_link);
}

void PtyProbe::send(const std::vector<Read>& reads) {
    std::vector<std::uint8_t> bytes;
    for (const Read& r : reads) bytes.insert(bytes.end(), r.begin(), r.end());
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
}

void PtyProbe::unplug() {
    if (m_master >= 0) ::close(m_master);
    m_master = -1;
}

Read frame(int adc, int status, int late) {
    const int f[9] = {0xAA, 0xAA, 0x01, 0x03, adc & 0xFF, (adc >> 8) & 0xFF, status, 0x00, 0x07};
    Read r{};
    for (int k = 0; k < 9; ++k)
        r[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(f[(k + late) % 9]);
    return r;
}

std::vector<Read> frames(int count, int adc, int status) {
    std::vector<Read> out;
    for (int i = 0; i < count; ++i) out.push_back(frame(adc, status, i % 9));
    return out;
}

} // namespace sylvane::testing
