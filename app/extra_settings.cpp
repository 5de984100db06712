#include "app/extra_settings.h"

#include <QDir>
#include <QSettings>

#include <cmath>

namespace sylvane::app {

namespace {
const QString kThreshold = QStringLiteral("responses/threshold_us");
} // namespace

ExtraSettings ExtraSettings::load(const QString& programFolder) {
    ExtraSettings s;
    const QSettings file(QDir(programFolder).filePath(QString::fromLatin1(kFileName)),
                         QSettings::IniFormat);
    bool ok = false;
    const double threshold = file.value(kThreshold).toDouble(&ok);
    if (ok && std::isfinite(threshold) && threshold > 0 && threshold < 100)
        s.responseThreshold = threshold;
    return s;
}

} // namespace sylvane::app
