// The main window as it is created: menu bar, six panels and their controls with their names,
// captions, colours, fonts and design positions (twips, relative to the containing panel).

#include "app/frm_sylvane.h"

#include "platform/label.h"
#include "platform/picture_box.h"
#include "platform/program_icon.h"
#include "platform/twips.h"
#include "platform/vb_colors.h"

#include <QAction>
#include <QFrame>
#include <QMenu>
#include <QMenuBar>

namespace sylvane::app {

namespace {

QAction* menuItem(QMenu* menu, const char* name, const QString& caption) {
    QAction* item = menu->addAction(caption);
    item->setObjectName(QString::fromLatin1(name));
    return item;
}

QAction* separator(QMenu* menu, const char* name) {
    QAction* item = menu->addSeparator();
    item->setObjectName(QString::fromLatin1(name));
    return item;
}

QAction* checkItem(QMenu* menu, const char* name, const QString& caption) {
    QAction* item = menuItem(menu, name, caption);
    item->setCheckable(true);
    item->setChecked(true);
    return item;
}

QString indexed(const char* name, int index) {
    return QStringLiteral("%1(%2)").arg(QString::fromLatin1(name)).arg(index);
}

QFont designFont(const QString& family, double points, bool bold = false) {
    QFont font(family);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QFrame* panel(QWidget* parent, const char* name, double top, double height) {
    auto* frame = new QFrame(parent);
    frame->setObjectName(QString::fromLatin1(name));
    // Caption-less panels are announced by their control name.
    frame->setAccessibleName(QString::fromLatin1(name));
    frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    frame->setFont(designFont(QStringLiteral("Small Fonts"), 2.25));
    platform::setTwipsGeometry(frame, 135, top, 7935, height);
    return frame;
}

} // namespace

void frmSylvane::composeMenus() {
    setWindowTitle(QStringLiteral("Sylvane Interface"));
    setWindowIcon(platform::programIcon());
    QMenuBar* bar = menuBar();

    mnuFile = bar->addMenu(QStringLiteral("File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuSaveFile = menuItem(mnuFile, "mnuSaveFile", QStringLiteral("Save session"));
    mnuDisplayOld = menuItem(mnuFile, "mnuDisplayOld", QStringLiteral("Display saved session"));
    mnuSep1 = separator(mnuFile, "mnuSep1");
    mnuExit = menuItem(mnuFile, "mnuExit", QStringLiteral("Exit"));
    mnuExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    mnuSession = bar->addMenu(QStringLiteral("Session"));
    mnuSession->setObjectName(QStringLiteral("mnuSession"));
    mnuRestart = menuItem(mnuSession, "mnuRestart", QStringLiteral("Restart"));
    mnuRestart->setEnabled(false);
    mnuStart = menuItem(mnuSession, "mnuStart", QStringLiteral("Start"));
    mnuStop = menuItem(mnuSession, "mnuStop", QStringLiteral("Stop"));
    mnuStop->setEnabled(false);
    mnuMark = menuItem(mnuSession, "mnuMark", QStringLiteral("Mark"));
    mnuMark->setShortcut(QKeySequence(Qt::Key_M));
    mnuMark->setEnabled(false);
    mnuTone = menuItem(mnuSession, "mnuTone", QStringLiteral("Tone"));
    mnuTone->setCheckable(true);
    mnuSep2 = separator(mnuSession, "mnuSep2");
    mnuSetSense = menuItem(mnuSession, "mnuSetSense", QStringLiteral("Set Sensitivity"));

    mnuDisplay = bar->addMenu(QStringLiteral("Display"));
    mnuDisplay->setObjectName(QStringLiteral("mnuDisplay"));
    mnuPixGraf = checkItem(mnuDisplay, "mnuPixGraf", QStringLiteral("Picture Graph"));
    mnuBarGrf = checkItem(mnuDisplay, "mnuBarGrf", QStringLiteral("Color Bar Graph"));
    mnuSmlGraf = checkItem(mnuDisplay, "mnuSmlGraf", QStringLiteral("BarGraph"));
    mnuInternStatus = checkItem(mnuDisplay, "mnuInternStatus", QStringLiteral("Internal Status"));
    mnuComments = checkItem(mnuDisplay, "mnuComments", QStringLiteral("Session comments"));
    mnuTimnStuf = checkItem(mnuDisplay, "mnuTimnStuf", QStringLiteral("Display Time etc."));

    mnuSerlPort = bar->addMenu(QStringLiteral("Serial Port"));
    mnuSerlPort->setObjectName(QStringLiteral("mnuSerlPort"));
    mnuSetComPort = menuItem(mnuSerlPort, "mnuSetComPort", QStringLiteral("Set Comm Port"));

    mnuHelp = bar->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuAboutHelp = menuItem(mnuHelp, "mnuAboutHelp", QStringLiteral("About"));
}

void frmSylvane::composePanels() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("clientArea"));
    setCentralWidget(client);
    resize(platform::toPixels(8130), platform::toPixels(8355) + menuBar()->sizeHint().height());

    const QFont readoutFont = designFont(QStringLiteral("Lucida Sans Unicode"), 7.5);

    // Picture graph.
    frmPixGraf = panel(client, "frmPixGraf", 180, 4455);
    pixXYgraf = new PictureBox(QStringLiteral("pixXYgraf"), frmPixGraf);
    pixXYgraf->setBackColor(0x000000);
    platform::setTwipsGeometry(pixXYgraf, 480, 135, 7335, 4020);
    pixXYgraf->Cls();

    lblGrafError = new Label(QStringLiteral("lblGrafError"), pixXYgraf);
    lblGrafError->setCaption(QStringLiteral("Readjusting  graph "));
    lblGrafError->setForeColor(0x000000FF);
    lblGrafError->setBackColor(platform::kToolTipBackground);
    lblGrafError->setFont(designFont(QStringLiteral("MS Sans Serif"), 8.25, true));
    platform::setTwipsGeometry(lblGrafError, 120, 120, 1815, 255);
    lblGrafError->setVisible(false);

    const double yLabelTops[5] = {135, 945, 1845, 2835, 3825};
    const double xLabelLefts[5] = {450, 1980, 3915, 5985, 7290};
    for (int i = 0; i < 10; ++i) {
        lbl4Graf[i] = new Label(indexed("lbl4Graf", i), frmPixGraf);
        if (i < 5) {
            platform::setTwipsGeometry(lbl4Graf[i], 0, yLabelTops[i], 330, 240);
        } else {
            platform::setTwipsGeometry(lbl4Graf[i], xLabelLefts[i - 5], 4230, 330, 240);
        }
        Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;
        if (i == 7) align = Qt::AlignHCenter | Qt::AlignVCenter;
        if (i == 8 || i == 9) align = Qt::AlignRight | Qt::AlignVCenter;
        lbl4Graf[i]->setAlignment(align);
    }

    // Colour lamps: index 0 is the rightmost.
    frameLEDdisp = panel(client, "frameLEDdisp", 4635, 735);
    for (int i = 0; i < 8; ++i) {
        lblLED[i] = new Label(indexed("lblLED", i), frameLEDdisp);
        lblLED[i]->setSingleBorder(true);
        lblLED[i]->setBackColor(0x000000);
        platform::setTwipsGeometry(lblLED[i], 6480 - 840 * i, 240, 855, 375);
    }

    // Bar graph: index 0 is the leftmost.
    frameBarGraf = panel(client, "frameBarGraf", 5400, 735);
    for (int i = 0; i < 32; ++i) {
        lblBarGraf[i] = new Label(indexed("lblBarGraf", i), frameBarGraf);
        lblBarGraf[i]->setSingleBorder(true);
        platform::setTwipsGeometry(lblBarGraf[i], i == 0 ? 135 : 120 + 240 * i, 240, 255, 255);
    }

    // Readouts: headings on the upper row, values (bordered) under them.
    frameSesshnStuff = panel(client, "frameSesshnStuff", 6165, 720);
    struct Readout {
        const char* caption;
        double left;
        double top;
    };
    const Readout readouts[10] = {
        {"% Change ", 240, 120}, {"0 %", 240, 360}, {"Res.", 1800, 120},  {"0", 1800, 360},
        {"Cond.", 3360, 120},    {"0", 3195, 315},  {"Probe", 4920, 120}, {"", 4950, 360},
        {"Battery", 6480, 120},  {"", 6480, 360}};
    for (int i = 0; i < 10; ++i) {
        LblShnStf[i] = new Label(indexed("LblShnStf", i), frameSesshnStuff);
        LblShnStf[i]->setCaption(QString::fromLatin1(readouts[i].caption));
        LblShnStf[i]->setFont(readoutFont);
        LblShnStf[i]->setAlignment(Qt::AlignCenter);
        LblShnStf[i]->setSingleBorder(i % 2 == 1);
        platform::setTwipsGeometry(LblShnStf[i], readouts[i].left, readouts[i].top, 1215, 255);
    }
    lblSysADCstart = new Label(QStringLiteral("lblSysADCstart"), frameSesshnStuff);
    lblSysADCstart->setCaption(QStringLiteral("0"));
    lblSysADCstart->setForeColor(0x00E0E0E0);
    lblSysADCstart->setSingleBorder(true);
    lblSysADCstart->setAlignment(Qt::AlignCenter);
    platform::setTwipsGeometry(lblSysADCstart, 6000, 840, 735, 255);
    lblSysADCstart->setVisible(false);

    // Session comments.
    fraSeshnComnts = panel(client, "fraSeshnComnts", 6885, 735);
    // Its font before its panel: made in the panel, it would first lay out its text in the
    // panel's tiny design font, a font looked up for nothing before the first paint.
    TxtSeshnComnts = new CommentsBox(QStringLiteral("TxtSeshnComnts"));
    TxtSeshnComnts->setFont(readoutFont);
    TxtSeshnComnts->setParent(fraSeshnComnts);
    TxtSeshnComnts->setText(QStringLiteral("Place session comments here."));
    platform::setTwipsGeometry(TxtSeshnComnts, 45, 90, 7665, 555);

    // Time, sensitivity and port.
    FrameParams = panel(client, "FrameParams", 7650, 615);
    struct Param {
        const char* caption;
        double left;
        double top;
        double width;
        bool bordered;
        bool centred;
    };
    const Param params[7] = {{"Time", 240, 225, 975, false, true},
                             {"", 1320, 240, 1095, true, true},
                             {"Sens.%", 2925, 225, 975, false, false},
                             {"25", 3960, 240, 975, true, true},
                             {"Port #", 5520, 240, 975, false, true},
                             {"2", 6570, 240, 1095, true, true},
                             {"Examiming Ports", 6240, 0, 1455, false, false}};
    for (int i = 0; i < 7; ++i) {
        LblParams[i] = new Label(indexed("LblParams", i), FrameParams);
        LblParams[i]->setCaption(QString::fromLatin1(params[i].caption));
        LblParams[i]->setFont(readoutFont);
        LblParams[i]->setSingleBorder(params[i].bordered);
        LblParams[i]->setAlignment(params[i].centred ? Qt::AlignCenter
                                                     : (Qt::AlignLeft | Qt::AlignVCenter));
        platform::setTwipsGeometry(LblParams[i], params[i].left, params[i].top, params[i].width,
                                   255);
    }
    // The sensitivity and port values are white boxes that invite a click.
    LblParams[3]->setBackColor(platform::kWindowBackground);
    LblParams[3]->setToolTipText(QStringLiteral("Click here to adjust sensitivity"));
    LblParams[5]->setBackColor(platform::kWindowBackground);
    LblParams[5]->setToolTipText(QStringLiteral("Click here to select port number"));
    LblParams[6]->setForeColor(0x000000FF);
    LblParams[6]->setBackColor(platform::kToolTipBackground);
    LblParams[6]->setVisible(false);
}

} // namespace sylvane::app
