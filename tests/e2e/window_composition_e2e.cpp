// The main window as created: the menus in order with their states, what assistive tools read,
// the drawing surface that keeps its picture; the About box.

#include "app/frm_sylvane.h"
#include "dialogs/frm_about.h"
#include "platform/label.h"
#include "platform/picture_box.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/test_support.h"

#include <QAccessible>
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>

using sylvane::platform::Label;

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

    EXPECT_EQ(w.LblParams[6]->caption(), "Examiming Ports");
    EXPECT_EQ(w.TxtSeshnComnts->Text(), "Place session comments here.");
    for (Label* hidden : {w.lblGrafError, w.lblSysADCstart, w.LblParams[6]})
        EXPECT_TRUE(hidden->isHidden()) << hidden->objectName().toStdString();

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
