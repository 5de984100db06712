#pragma once
#include <QDialog>

class QLabel;
class QFrame;
class QPushButton;

namespace sylvane::dialogs {

// Help > About: the program's title and version. OK is both the default and the cancel button,
// so Enter and Esc close it.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    QLabel* picIcon = nullptr;
    QLabel* lblTitle = nullptr;
    QFrame* Line1 = nullptr;
    QLabel* lblVersion = nullptr;
    QPushButton* cmdOK = nullptr;

private:
    void Form_Load();
    void cmdOK_Click();
};

} // namespace sylvane::dialogs
