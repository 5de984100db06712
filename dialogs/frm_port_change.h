#pragma once
// Serial Port > Set Comm Port: probes COM1..COM8, offers the usable ones and writes the chosen
// port number into the main window's port label.

#include "acquisition/serial_link.h"

#include <QDialog>
#include <array>
#include <functional>

class QGroupBox;
class QPushButton;
class QRadioButton;

namespace sylvane::app {
class frmSylvane;
}

namespace sylvane::dialogs {

class frmPortChange : public QDialog {
    Q_OBJECT
public:
    // Tries to open COM n; the answer tells "no such port" and "in use" from the rest.
    using PortProber = std::function<acquisition::SerialLink::OpenError(int port)>;

    // Probing and pre-selection run here, before the dialog is shown.
    frmPortChange(app::frmSylvane& main, PortProber prober, QWidget* parent = nullptr);

    QGroupBox* fraPortChange = nullptr;
    std::array<QRadioButton*, 8> optCom{};
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

    void cmdOK_Click();
    void cmdCancel_Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Form_Load();

    app::frmSylvane& m_main;
    PortProber m_prober;
};

} // namespace sylvane::dialogs
