#pragma once
// Session > Set Sensitivity: a slider from 20 to 1000 % whose accepted value goes into the main
// window's sensitivity label.

#include <QDialog>

class QLabel;
class QPushButton;
class QSlider;

namespace sylvane::platform {
class Label;
}

namespace sylvane::dialogs {

class frmSetSense : public QDialog {
    Q_OBJECT
public:
    // sensitivity: the main window's LblParams(3), whose caption is the sensitivity in effect.
    explicit frmSetSense(platform::Label& sensitivity, QWidget* parent = nullptr);

    QSlider* Slider1 = nullptr;
    platform::Label* lblSenseValu = nullptr;
    platform::Label* Label1 = nullptr;
    platform::Label* lbl2 = nullptr;
    QPushButton* cmdOkay = nullptr;
    QPushButton* cmdCancel = nullptr;

    void cmdOkay_Click();
    void cmdCancel_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Form_Load();
    void Slider1_Change();

    platform::Label& m_sensitivity;
};

} // namespace sylvane::dialogs
