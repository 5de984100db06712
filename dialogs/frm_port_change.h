#pragma once
// Serial Port > Set Comm Port: probes COM1..COM8, offers the usable ones and writes the chosen
// port number into the main window's port label.

#include "acquisition/serial_link.h"

#include <QDialog>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

class QGroupBox;
class QPushButton;
class QRadioButton;

namespace sylvane::platform {
class Label;
}

namespace sylvane::dialogs {

class frmPortChange : public QDialog {
    Q_OBJECT
public:
    // Tries to open COM n; the answer tells "no such port" and "in use" from the rest.
    using PortProber = std::function<acquisition::SerialLink::OpenError(int port)>;

    // What the dialog works on in the main window.
    struct MainWindowItems {
        // LblParams(5): the port number as text, read and written.
        platform::Label& port;
        // LblParams(6): the notice shown while the ports are examined; hidden once they are.
        platform::Label& notice;
        std::int32_t& lastMsgBoxResult;
        // Where the real ports are found (its ports/comN links); used when prober is empty.
        QString programFolder;
    };

    // Probing and pre-selection run here, before the dialog is shown.
    frmPortChange(MainWindowItems main, PortProber prober, QWidget* parent = nullptr);

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

    MainWindowItems m_main;
    PortProber m_prober;
};

} // namespace sylvane::dialogs
