#include "dialogs/frm_about.h"

#include "platform/program_icon.h"
#include "platform/twips.h"
#include "platform/version.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace sylvane::dialogs {

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About MyApp"));
    setModal(true);
    setFixedSize(platform::toPixels(4650), platform::toPixels(2040));

    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setPixmap(platform::programIcon().pixmap(32, 32));
    platform::setTwipsGeometry(picIcon, 240, 240, 540, 540);

    lblTitle = new QLabel(QStringLiteral("Application Title"), this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    lblTitle->setFont(titleFont);
    platform::setTwipsGeometry(lblTitle, 1050, 240, 3345, 480);

    Line1 = new QFrame(this);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);
    platform::setTwipsGeometry(Line1, 225, 1290, 4200, 30);

    lblVersion = new QLabel(QStringLiteral("Version"), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    platform::setTwipsGeometry(lblVersion, 1050, 780, 3345, 225);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);
    platform::setTwipsGeometry(cmdOK, 1530, 1485, 1260, 345);
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });

    Form_Load();
}

void frmAbout::Form_Load() {
    setWindowTitle(QStringLiteral("About ") + QString::fromLatin1(platform::kAppTitle));
    lblVersion->setText(QStringLiteral("Version %1.%2.%3")
                            .arg(platform::kVersionMajor)
                            .arg(platform::kVersionMinor)
                            .arg(platform::kVersionRevision));
    lblTitle->setText(QString::fromLatin1(platform::kAppTitle));
}

// Esc reaches reject(), which closes the box the same way.
void frmAbout::cmdOK_Click() {
    accept();
}

} // namespace sylvane::dialogs
