// The main window as created: the menus in order with their states, the controls findable by
// their names and captions, the drawing surface that keeps its picture; the About box.

#include "app/frm_sylvane.h"
#include "dialogs/frm_about.h"
#include "platform/label.h"
#include "platform/picture_box.h"
#include "platform/twips.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/test_support.h"

#include <QAccessible>
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>

using sylvane::platform::Label;
namespace pf = sylvane::platform;

TEST(WindowComposition, MenusControlsAndTheirCaptionsInOrder) {
    sylvane::testing::ProgramFolder folder;
    sylvane::app::frmSylvane w{{folder.path(), {}}};
    EXPECT_EQ(w.windowTitle(), "Sylvane Interface");
    // "name:caption" for each menu, then its items; "-" disabled, "*" checked, no caption: a
    // separator.
    const std::vector<std::vector<const char*>> menus = {
        {"mnuFile:File", "mnuSaveFile:Save session", "mnuDisplayOld:Display saved session",
         "mnuSep1:", "mnuExit:Exit"},
        {"mnuSession:Session", "mnuRestart:-Restart", "mnuStart:Start", "mnuStop:-Stop",
         "mnuMark:-Mark", "mnuSep2:", "mnuSetSense:Set Sensitivity"},
        {"mnuDisplay:Display", "mnuPixGraf:*Picture Graph", "mnuBarGrf:*Color Bar Graph",
         "mnuSmlGraf:*BarGraph", "mnuInternStatus:*Internal Status",
         "mnuComments:*Session comments", "mnuTimnStuf:*Display Time etc."},
        {"mnuSerlPort:Serial Port", "mnuSetComPort:Set Comm Port"},
        {"mnuHelp:&Help", "mnuAboutHelp:About"}};
    QStringList got, expected;
    for (const auto& menu : menus) {
        for (const char* item : menu) expected << item;
        const QString name = QString(menu[0]).section(':', 0, 0);
        auto* m = w.findChild<QMenu*>(name);
        ASSERT_NE(m, nullptr) << name.toStdString();
        got << name + ":" + m->title();
        for (QAction* a : m->actions())
            got << a->objectName() + ":" + (a->isEnabled() ? "" : "-") +
                       (a->isChecked() ? "*" : "") + a->text();
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(w.menuBar()->actions().size(), 5);
    EXPECT_EQ(w.mnuMark->shortcut(), QKeySequence(Qt::Key_M));

    const std::pair<const char*, const char*> captions[] = {
        {"LblShnStf(0)", "% Change "},
        {"LblShnStf(1)", "0 %"},
        {"LblShnStf(2)", "Res."},
        {"LblShnStf(4)", "Cond."},
        {"LblShnStf(6)", "Probe"},
        {"LblShnStf(8)", "Battery"},
        {"LblParams(0)", "Time"},
        {"LblParams(2)", "Sens.%"},
        {"LblParams(3)", "25"},
        {"LblParams(4)", "Port #"},
        {"LblParams(5)", "2"},
        {"lblSysADCstart", "0"},
        {"LblParams(6)", "Examiming Ports"},
        {"lblGrafError", "Readjusting  graph "}};
    for (const auto& [name, caption] : captions) {
        auto* l = w.findChild<Label*>(name);
        ASSERT_NE(l, nullptr) << name;
        EXPECT_EQ(l->caption(), caption) << name;
    }
    // The rows of lamps and bar cells are laid out by index.
    const double tpp = pf::twipsPerPixel();
    for (int i = 0; i < 8; ++i) EXPECT_NEAR(pf::twipsLeft(w.lblLED[i]), 6480.0 - 840 * i, tpp);
    for (int i = 1; i < 32; ++i) EXPECT_NEAR(pf::twipsLeft(w.lblBarGraf[i]), 120 + 240 * i, tpp);
    for (Label* hidden : {w.lblGrafError, w.lblSysADCstart, w.LblParams[6]})
        EXPECT_TRUE(hidden->isHidden()) << hidden->objectName().toStdString();
    EXPECT_EQ(w.lblGrafError->parentWidget(), w.pixXYgraf);
    EXPECT_EQ(w.TxtSeshnComnts->Text(), "Place session comments here.");

    // Assistive tools read a label's current text and its description.
    w.show();
    w.LblShnStf[3]->setCaption("469kOhms");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(w.LblShnStf[3])->text(QAccessible::Name),
              "469kOhms");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(w.LblParams[5])->text(QAccessible::Description),
              "Click here to select port number");

    // The picture keeps its drawing across hides and resizes until cleared.
    auto* pix = w.pixXYgraf;
    pix->Cls();
    pix->PSet(3, 4, 0xFFFFFF);
    pix->Line(20, 4, 0xFF00FF); // from the current position
    pix->hide();
    pix->resize(10, 10);
    pix->show();
    pix->resize(400, 200);
    EXPECT_EQ(pix->ScaleWidth(), 400);
    EXPECT_EQ(pix->grab().toImage().pixel(10, 4), qRgb(255, 0, 255));
    pix->Cls();
    EXPECT_EQ(pix->image().pixel(10, 4), qRgb(0, 0, 0));
    EXPECT_EQ(pix->currentX(), 0);
}

TEST(AboutBox, ShowsTitleAndVersionAndClosesOnEnterAndEsc) {
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        sylvane::dialogs::frmAbout about;
        EXPECT_EQ(about.lblVersion->text(), "Version 1.1.8");
        bool closed = false;
        QTimer::singleShot(0, &about, [&] {
            QTest::keyClick(&about, key);
            closed = !about.isVisible();
        });
        about.exec();
        EXPECT_TRUE(closed) << key;
    }
}

SYLVANE_GTEST_QT_MAIN
