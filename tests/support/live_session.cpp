#include "tests/support/live_session.h"

#include "dialogs/frm_file_manager.h"
#include "platform/label.h"
#include "platform/picture_box.h"
#include "platform/vb_colors.h"

#include <QAction>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

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

void LiveSession::load(const QByteArray& settings) {
    if (!settings.isEmpty()) writeFileBytes(path("sylvane.ini"), settings);
    w.Form_Load();
    // What the shown program runs once its window is painted; this window is not shown.
    w.completeLoad();
}

bool LiveSession::showSettled() {
    w.show();
    return waitUntil([this] { return !w.layoutPending; }, 10000);
}

int LiveSession::pixels(std::uint32_t vbColor, int column) const {
    const QColor wanted = platform::toQColor(vbColor);
    const QImage& image = w.pixXYgraf->image();
    int n = 0;
    for (int y = 0; y < w.pixXYgraf->height(); ++y)
        for (int x = column < 0 ? 0 : column; x < (column < 0 ? w.pixXYgraf->width() : column + 1);
             ++x)
            n += image.pixelColor(x, y) == wanted;
    return n;
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

QByteArray settingsOf(const char* port, const char* sensitivity, const char* shown,
                      std::array<int, 4> place) {
    // The first start's place on a 1024 x 768 screen: 55 % of the width, 75 % of the height.
    if (place[0] == 0) place = {8448, 8640, 1440, 3456};
    const char* panels[] = {"Picture graph",   "Color graph",      "Bar graph",
                            "Internal status", "Session comments", "Time etc."};
    QByteArray out = QByteArray("\"Port # \"\r\n\"") + port + "\"\r\n\"Sensitivty = \"\r\n\"" +
                     sensitivity + "\"\r\n";
    for (int i = 0; i < 6; ++i)
        out += QByteArray("\"") + panels[i] + " visibilty = \"\r\n\"" +
               (shown[i] == '1' ? "True" : "False") + "\"\r\n";
    const char* places[] = {"Width", "Height", "Top", "Left"};
    for (std::size_t i = 0; i < 4; ++i)
        out +=
            QByteArray("\"Form ") + places[i] + " = \"\r\n" + QByteArray::number(place[i]) + "\r\n";
    return out;
}

void answerFileManager(const QStringList& names, std::function<void()> beforeEnd) {
    whenModalShown<dialogs::frmFileManager>([names, beforeEnd](dialogs::frmFileManager* d) {
        ASSERT_NE(d, nullptr) << "the file manager never came";
        for (const QString& name : names) {
            d->txtFM->clear();
            QTest::keyClicks(d->txtFM, name);
            QTest::keyClick(d->txtFM, Qt::Key_Return);
            if (!d->isVisible()) return; // saved, or the sixth added
        }
        if (beforeEnd) beforeEnd();
        if (!names.isEmpty()) d->txtFM->setText(names.back());
        QTest::mouseClick(names.isEmpty() ? d->cmdCancel : d->cmdFileOption, Qt::LeftButton);
        if (d->isVisible()) d->close(); // fail rather than hang
    });
}

} // namespace sylvane::testing
