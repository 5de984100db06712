#include "tests/support/live_session.h"

#include "app/settings_file.h"
#include "platform/label.h"

#include <QAction>
#include <QDir>

namespace sylvane::testing {

LiveSession::LiveSession(const QString& programFolder)
    : folder(programFolder.isEmpty() ? own.path() : programFolder), w{{folder,
                                                                       [this] { return clock; }}} {
    w.LblParams[5]->setCaption(QStringLiteral("2"));
    w.engine.state().awaitingStartValue = true;
    w.layoutReason = 1;
}

QString LiveSession::path(const char* name) const {
    return QDir(folder).filePath(QString::fromLatin1(name));
}

bool LiveSession::running() const {
    return !w.mnuStart->isEnabled();
}

QByteArray tstOf(const std::vector<int>& readings) {
    QByteArray out;
    for (int v : readings)
        for (int k = 0; k < 4; ++k)
            out.append(static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * k)) & 0xFF));
    return out;
}

QByteArray txtOf(const std::vector<int>& readings) {
    QByteArray out;
    for (int v : readings) out += QByteArray::number(v) + "\r\n";
    return out;
}

QByteArray hdrOf(int minADC, int maxADC, const QByteArray& comments) {
    return "\"MinADC\"\r\n\" " + QByteArray::number(minADC) + "\"\r\n\"MaxADC\"\r\n\" " +
           QByteArray::number(maxADC) + "\"\r\n\"" + comments + "\"\r\n";
}

QByteArray settingsOf(const char* port, const char* sensitivity) {
    app::SettingsValues v = app::firstRunDefaults(15360, 11520);
    v.port = port;
    v.sensitivity = sensitivity;
    return QByteArray::fromStdString(app::writeSettings(v));
}

} // namespace sylvane::testing
