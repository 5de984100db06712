// File > Save session: keeps the last recorded session under a name of the user's choice, or,
// while saved sessions are on show, returns to the normal display.

#include "app/frm_sylvane.h"
#include "dialogs/frm_file_manager.h"
#include "platform/message_box.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>

namespace sylvane::app {

void frmSylvane::mnuSaveFile_Click() {
    if (mnuSaveFile->text() == QStringLiteral("Resume normal display")) {
        ResumeNormalDisplay();
        return;
    }
    const QFileInfo readings(
        QDir(programFolder()).filePath(QString::fromLatin1(storage::kWorkingTst)));
    if (!readings.isFile() || readings.size() == 0) {
        platform::MsgBox(QStringLiteral("There is no session data to save!"));
        return;
    }
    dialogs::frmFileManager dialog(*this, this);
    dialog.cmdFileOption->setText(QStringLiteral("Save"));
    dialog.setCaption(QStringLiteral("Save session file"));
    dialog.setWidth(4185);
    dialog.cmdAdd2List->setVisible(false);
    dialog.exec();
}

} // namespace sylvane::app
