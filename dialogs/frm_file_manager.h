#pragma once
// File > Save session and File > Display saved session: the program's own chooser for saved
// sessions. In Save mode it takes a folder and a name and writes the working session there
// under that name with the current comments; in Display mode it collects up to six saved
// sessions for the picture graph. The caller chooses the mode through cmdFileOption's caption
// ("Save" or "Display") before showing it.

#include "dialogs/file_manager_host.h"
#include "dialogs/file_path_parse.h"

#include <QDialog>

#include <array>
#include <optional>

class QLineEdit;
class QPushButton;

namespace sylvane::platform {
class DirListBox;
class DriveListBox;
class FileListBox;
class Label;
} // namespace sylvane::platform

namespace sylvane::dialogs {

inline constexpr const char* kAccessErrorTitle = "Error accessing 'File to Display'";
inline constexpr const char* kOverwriteText = "File already exists !\rDo you wish to overwrite it?";

class frmFileManager : public QDialog {
    Q_OBJECT
public:
    explicit frmFileManager(FileManagerHost& host, QWidget* parent = nullptr);

    QLineEdit* txtFM = nullptr;
    platform::DirListBox* dirFM = nullptr;
    platform::FileListBox* filFM = nullptr;
    platform::DriveListBox* drvFM = nullptr;
    QPushButton* cmdAdd2List = nullptr;
    QPushButton* cmdFileOption = nullptr;
    QPushButton* cmdCancel = nullptr;
    std::array<platform::Label*, 6> lblFile2Display{};

    // The form's caption and outer width in twips, as the callers set them.
    void setCaption(const QString& caption) { setWindowTitle(caption); }
    void setWidth(double twips);

    void drvFM_Change();
    void dirFM_Change();
    void filFM_Click();
    void filFM_DblClick();
    void txtFM_KeyUp(int keyCode, int shift);
    void cmdAdd2List_Click();
    void cmdFileOption_Click();
    void cmdCancel_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Form_Load();
    // Enter in the name box and a double-click in the file list: Add in Display mode,
    // otherwise the mode button.
    void defaultAction();
    // The name checks and ParseFilePath; nothing when the command must stop.
    std::optional<ParsedFilePath> buildPath();
    void saveTo(const ParsedFilePath& target);

    FileManagerHost& m_host;
    FileManagerVariables& m_vars;
    // Enter went down in the name box: only its release there runs the command, not the
    // release of an Enter that closed a message box.
    bool m_enterDown = false;
};

} // namespace sylvane::dialogs
