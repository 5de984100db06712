// Event markers. Session > Mark, the M key or a Ctrl+click on the graph opens a small box for a
// marker at the current reading; the box is not modal, so frames keep arriving and being recorded
// while the user types. The marker's line goes to tempdata.mrk when the box is closed with OK and
// is drawn on the graph. The saved-session display draws the markers of each saved session in its
// trace's colour.

#include "app/frm_sylvane.h"
#include "dialogs/frm_file_manager.h"
#include "platform/message_box.h"
#include "platform/number_rules.h"
#include "platform/picture_box.h"
#include "storage/saved_markers.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace sylvane::app {

namespace {
// Long enough for a few words; the graph shows only the marker's number.
constexpr int kMarkerTextLength = 80;
} // namespace

void frmSylvane::mnuMark_Click() {
    if (!sessionRunning()) return;
    if (m_markerBox) {
        m_markerBox->raise();
        m_markerBox->activateWindow();
        return;
    }
    const storage::Marker at = markers.at();

    auto* box = new QDialog(this);
    box->setObjectName(QStringLiteral("frmMarker"));
    box->setWindowTitle(QStringLiteral("Mark"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    auto* layout = new QVBoxLayout(box);
    auto* caption = new QLabel(
        QStringLiteral("Marker %1 at %2, reading %3. Text (optional):")
            .arg(markers.markers().size() + 1)
            .arg(QString::fromStdString(platform::formatTime(static_cast<float>(at.seconds))))
            .arg(at.record),
        box);
    auto* text = new QLineEdit(box);
    text->setObjectName(QStringLiteral("txtMarker"));
    text->setMaxLength(kMarkerTextLength);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, box);
    layout->addWidget(caption);
    layout->addWidget(text);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, box, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, box, &QDialog::reject);
    connect(box, &QDialog::accepted, this, [this, at, text] {
        storage::Marker marker = at;
        marker.text = text->text().trimmed().toStdString();
        addMarker(std::move(marker));
    });
    m_markerBox = box;
    box->show();
    text->setFocus();
}

bool frmSylvane::addMarker(storage::Marker marker) {
    std::string error;
    if (markers.add(std::move(marker), &error)) return true;
    platform::MsgBox(QStringLiteral("The marker could not be written:\r\n") +
                         QString::fromStdString(error),
                     platform::vbOKOnly | platform::vbExclamation, QStringLiteral("Marker error"));
    return false;
}

void frmSylvane::closeMarkerBox() {
    if (m_markerBox) m_markerBox->accept();
}

void frmSylvane::DrawSavedMarkers(const QString& hdrPath, std::int64_t records,
                                  std::uint32_t color) {
    const storage::SavedMarkers saved = storage::readSavedMarkers(hdrPath.toStdString(), records);
    acquisition::drawMarkers(engine.canvas(), saved.markers, engine.state().readingsPerStep, color);
    if (!saved.problem.empty()) {
        module1.lastMsgBoxResult = platform::MsgBox(
            QString::fromStdString(saved.problem), platform::vbOKOnly | platform::vbExclamation,
            QString::fromLatin1(dialogs::kAccessErrorTitle));
    }
}

} // namespace sylvane::app
