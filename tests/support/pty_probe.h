#pragma once
// A probe on the master side of a pseudo-terminal whose slave is COM<n> of a program folder: the
// test writes bytes as fast as it likes, the program reads them through its real serial link.

#include <QFileInfo>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace sylvane::testing {

// The 9 bytes of one receive event.
using Read = std::array<std::uint8_t, 9>;

class PtyProbe {
public:
    PtyProbe(const QString& folder, int comPort);
    ~PtyProbe() { unplug(); }
    PtyProbe(const PtyProbe&) = delete;
    PtyProbe& operator=(const PtyProbe&) = delete;

    bool ok() const { return m_master >= 0 && QFileInfo(m_link).isSymLink(); }
    void send(const std::vector<Read>& reads);
    // The adapter is pulled out: the slave side sees a hang-up.
    void unplug();

private:
    int m_master = -1;
    QString m_link;
};

// One frame as the probe sends it, read `late` bytes after its start.
Read frame(int adc, int status = 4, int late = 0);
// count frames of the same value, read at every offset in turn.
std::vector<Read> frames(int count, int adc, int status = 4);

} // namespace sylvane::testing
