#include "app/frm_sylvane.h"

#include "app/window_followers.h"

#include "acquisition/serial_link.h"
#include "platform/label.h"
#include "platform/picture_box.h"
#include "platform/twips.h"
#include "platform/vb_colors.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMenuBar>
#include <QTime>
#include <QTimer>

namespace sylvane::app {

CommentsBox::CommentsBox(const QString& controlName, QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName(controlName);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

frmSylvane::frmSylvane(Options options)
    : m_view(std::make_unique<View>(*this)), m_canvas(std::make_unique<Canvas>(*this)),
      engine(*m_view, *m_canvas, workingFiles),
      markers(engine, options.programFolder.toStdString()),
      m_programFolder(std::move(options.programFolder)), m_clock(std::move(options.clock)) {
    if (!m_clock) {
        m_clock = [] { return QTime::currentTime().msecsSinceStartOfDay() / 1000.0; };
    }
    setObjectName(QStringLiteral("frmSylvane"));
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    MSComm1 = new acquisition::SerialLink(m_programFolder, this);
    MSComm1->setObjectName(QStringLiteral("MSComm1"));
    static_cast<storage::DiskFileStore&>(workingFiles.store())
        .setFolder(m_programFolder.toStdString());
    composeMenus();
    composePanels();
    composeExport();
    composeOsc();
    connectEvents();
    composeTone();
    engine.setSensitivityCaption(LblParams[3]->caption().toStdString());
}

frmSylvane::~frmSylvane() = default;

float frmSylvane::clockSeconds() const {
    return static_cast<float>(m_clock());
}

double frmSylvane::Width() const {
    return platform::toTwips(frameGeometry().width());
}
double frmSylvane::Height() const {
    return platform::toTwips(frameGeometry().height());
}
double frmSylvane::Left() const {
    return platform::toTwips(frameGeometry().x());
}
double frmSylvane::Top() const {
    return platform::toTwips(frameGeometry().y());
}

void frmSylvane::setWidth(double twips) {
    const int extra = frameGeometry().width() - width();
    resize(std::max(1, platform::toPixels(twips) - extra), height());
}

void frmSylvane::setHeight(double twips) {
    const int extra = frameGeometry().height() - height();
    resize(width(), std::max(1, platform::toPixels(twips) - extra));
}

void frmSylvane::setLeft(double twips) {
    move(platform::toPixels(twips), frameGeometry().y());
}
void frmSylvane::setTop(double twips) {
    move(frameGeometry().x(), platform::toPixels(twips));
}

int frmSylvane::WindowState() const {
    if (isMinimized()) return 1;
    if (isMaximized()) return 2;
    return 0;
}

void frmSylvane::WaitDelayTicks(std::int32_t ticks) {
    delayTicks = ticks;
    // Only the running timer counts down; never wait on a stopped one, nor for ever.
    QDeadlineTimer giveUp(200 * ticks + 2000);
    while (delayTicks > 0 && Timer1->isActive() && !giveUp.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

void frmSylvane::closeEvent(QCloseEvent* event) {
    if (!m_queryUnloadDone) {
        m_queryUnloadDone = true;
        Form_QueryUnload();
        Form_Unload();
    }
    event->accept();
}

void frmSylvane::connectEvents() {
    connect(mnuSaveFile, &QAction::triggered, this, [this] { mnuSaveFile_Click(); });
    connect(mnuDisplayOld, &QAction::triggered, this, [this] { mnuDisplayOld_Click(); });
    connect(mnuExit, &QAction::triggered, this, [this] { mnuExit_Click(); });
    connect(mnuRestart, &QAction::triggered, this, [this] { mnuRestart_Click(); });
    connect(mnuStart, &QAction::triggered, this, [this] { mnuStart_Click(); });
    connect(mnuStop, &QAction::triggered, this, [this] { mnuStop_Click(); });
    connect(mnuSetSense, &QAction::triggered, this, [this] { mnuSetSense_Click(); });
    // The Display items flip their own check mark in the handlers; the toolkit must not.
    for (QAction* item :
         {mnuPixGraf, mnuBarGrf, mnuSmlGraf, mnuInternStatus, mnuComments, mnuTimnStuf}) {
        connect(item, &QAction::triggered, this, [this, item] {
            item->setChecked(!item->isChecked());
            if (item == mnuPixGraf)
                mnuPixGraf_Click();
            else if (item == mnuBarGrf)
                mnuBarGrf_Click();
            else if (item == mnuSmlGraf)
                mnuSmlGraf_Click();
            else if (item == mnuInternStatus)
                mnuInternStatus_Click();
            else if (item == mnuComments)
                mnuComments_Click();
            else
                mnuTimnStuf_Click();
        });
    }
    connect(mnuSetComPort, &QAction::triggered, this, [this] { mnuSetComPort_Click(); });
    connect(mnuAboutHelp, &QAction::triggered, this, [this] { mnuAboutHelp_Click(); });
    for (int i = 0; i < static_cast<int>(LblParams.size()); ++i) {
        connect(LblParams[i], &Label::clicked, this, [this, i] { LblParams_Click(i); });
    }
    // The graph widens itself by the sensitivity caption; the dialogs and the settings set it.
    connect(LblParams[3], &Label::captionChanged, this, [this](const QString& caption) {
        engine.setSensitivityCaption(caption.toStdString());
    });
    connect(pixXYgraf, &PictureBox::clicked, this, [this] { pixXYgraf_Click(); });
    connect(pixXYgraf, &PictureBox::modifiedClicked, this, [this] {
        if (sessionRunning()) mnuMark_Click();
    });
    connect(mnuMark, &QAction::triggered, this, [this] { mnuMark_Click(); });
    connect(&m_probeWait, &QTimer::timeout, this, [this] { pollProbe(); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });
    connect(MSComm1, &acquisition::SerialLink::OnComm, this, [this] { OnComm(); });
    connect(MSComm1, &acquisition::SerialLink::deviceLost, this,
            [this](const QString& reason) { onDeviceLost(reason); });
}

} // namespace sylvane::app
