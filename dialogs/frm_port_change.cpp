#include "dialogs/frm_port_change.h"

#include "dialogs/port_preselect.h"
#include "platform/label.h"
#include "platform/message_box.h"
#include "platform/twips.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>

namespace sylvane::dialogs {

using acquisition::SerialLink;

frmPortChange::frmPortChange(MainWindowItems main, PortProber prober, QWidget* parent)
    : QDialog(parent), m_main(std::move(main)), m_prober(std::move(prober)) {
    setObjectName(QStringLiteral("frmPortChange"));
    setWindowTitle(QStringLiteral("Select Communication Port"));
    setModal(true);
    setFixedSize(platform::toPixels(3180), platform::toPixels(2205));

    fraPortChange = new QGroupBox(QStringLiteral("Available Ports"), this);
    fraPortChange->setObjectName(QStringLiteral("fraPortChange"));
    platform::setTwipsGeometry(fraPortChange, 120, 120, 1935, 1935);
    auto* group = new QButtonGroup(this);
    for (int i = 0; i < 8; ++i) {
        optCom[i] = new QRadioButton(QStringLiteral("COM%1").arg(i + 1), fraPortChange);
        optCom[i]->setObjectName(QStringLiteral("optCom(%1)").arg(i));
        platform::setTwipsGeometry(optCom[i], i < 4 ? 120 : 960, 360 + 360 * (i % 4), 855, 255);
        group->addButton(optCom[i], i);
    }

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    platform::setTwipsGeometry(cmdOK, 2280, 480, 735, 375);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    platform::setTwipsGeometry(cmdCancel, 2280, 1440, 735, 375);
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });

    if (!m_prober) {
        m_prober = [folder = m_main.programFolder](int port) {
            SerialLink probe(folder);
            probe.setCommPort(port);
            probe.setSettings(QStringLiteral("1200,N,8,1"));
            probe.open();
            const SerialLink::OpenError outcome = probe.openError();
            probe.close();
            return outcome;
        };
    }
    Form_Load();
}

void frmPortChange::Form_Load() {
    std::array<bool, 8> usable{};
    for (int p = 1; p <= 8; ++p) {
        const SerialLink::OpenError outcome = m_prober(p);
        // Only a missing port and a port in use are refused; any other failure still offers it.
        const bool refused =
            outcome == SerialLink::OpenError::NoSuchPort || outcome == SerialLink::OpenError::InUse;
        usable[p - 1] = !refused;
        if (refused) {
            optCom[p - 1]->setChecked(false);
            optCom[p - 1]->setEnabled(false);
        }
    }

    const PortPreselection choice = preselectPort(m_main.port.caption().toStdString(), usable);
    if (choice.noPortsMessage) {
        m_main.lastMsgBoxResult =
            platform::MsgBox(QStringLiteral("There are no available COMM ports."));
    }
    m_main.port.setCaption(QString::fromStdString(choice.caption));
    if (choice.selectedPort > 0) optCom[choice.selectedPort - 1]->setChecked(true);

    m_main.notice.setVisible(false);
}

void frmPortChange::cmdOK_Click() {
    QString port = QStringLiteral("2");
    for (int i = 1; i <= 8; ++i) {
        if (optCom[i - 1]->isChecked()) {
            port = QString::number(i);
            break;
        }
    }
    m_main.port.setCaption(port);
    accept();
}

void frmPortChange::keyPressEvent(QKeyEvent* event) {
    // Esc is Cancel, which brings the port caption back into range; the close box does not.
    if (event->matches(QKeySequence::Cancel)) {
        cmdCancel_Click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmPortChange::cmdCancel_Click() {
    m_main.port.setCaption(
        QString::fromStdString(cancelPortCaption(m_main.port.caption().toStdString())));
    reject();
}

} // namespace sylvane::dialogs
