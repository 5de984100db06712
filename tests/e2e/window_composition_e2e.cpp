// The main window as created: every control findable by its name, with its caption, state,
// colours and design position; the About box.

#include "app/frm_sylvane.h"
#include "dialogs/frm_about.h"
#include "platform/label.h"
#include "platform/picture_box.h"
#include "platform/twips.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/test_support.h"

#include <QAccessible>
#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using sylvane::app::frmSylvane;
using sylvane::platform::Label;
namespace pf = sylvane::platform;

namespace {

struct Window {
    sylvane::testing::ProgramFolder folder;
    frmSylvane w{{folder.path(), {}}};
};

Label* label(frmSylvane& w, const QString& name) {
    auto* l = w.findChild<Label*>(name);
    EXPECT_NE(l, nullptr) << name.toStdString();
    return l;
}

} // namespace

TEST(WindowComposition, MenusCarryTheirNamesCaptionsAndStates) {
    Window t;
    EXPECT_EQ(t.w.windowTitle(), "Sylvane Interface");
    EXPECT_FALSE(t.w.windowIcon().isNull());

    const struct {
        const char* menu;
        const char* caption;
    } menus[] = {{"mnuFile", "File"},
                 {"mnuSession", "Session"},
                 {"mnuDisplay", "Display"},
                 {"mnuSerlPort", "Serial Port"},
                 {"mnuHelp", "&Help"}};
    const QList<QAction*> bar = t.w.menuBar()->actions();
    ASSERT_EQ(bar.size(), 5);
    for (int i = 0; i < 5; ++i) {
        auto* menu = t.w.findChild<QMenu*>(menus[i].menu);
        ASSERT_NE(menu, nullptr) << menus[i].menu;
        EXPECT_EQ(menu->title(), menus[i].caption);
        EXPECT_EQ(bar[i], menu->menuAction()) << "menu order";
    }

    const struct {
        const char* menu;
        const char* name;
        const char* caption;
        bool enabled;
        bool checkable;
    } items[] = {
        {"mnuFile", "mnuSaveFile", "Save session", true, false},
        {"mnuFile", "mnuDisplayOld", "Display saved session", true, false},
        {"mnuFile", "mnuSep1", "", true, false},
        {"mnuFile", "mnuExit", "Exit", true, false},
        {"mnuSession", "mnuRestart", "Restart", false, false},
        {"mnuSession", "mnuStart", "Start", true, false},
        {"mnuSession", "mnuStop", "Stop", false, false},
        {"mnuSession", "mnuSep2", "", true, false},
        {"mnuSession", "mnuSetSense", "Set Sensitivity", true, false},
        {"mnuDisplay", "mnuPixGraf", "Picture Graph", true, true},
        {"mnuDisplay", "mnuBarGrf", "Color Bar Graph", true, true},
        {"mnuDisplay", "mnuSmlGraf", "BarGraph", true, true},
        {"mnuDisplay", "mnuInternStatus", "Internal Status", true, true},
        {"mnuDisplay", "mnuComments", "Session comments", true, true},
        {"mnuDisplay", "mnuTimnStuf", "Display Time etc.", true, true},
        {"mnuSerlPort", "mnuSetComPort", "Set Comm Port", true, false},
        {"mnuHelp", "mnuAboutHelp", "About", true, false},
    };
    QMap<QString, int> position;
    for (const auto& item : items) {
        auto* menu = t.w.findChild<QMenu*>(item.menu);
        auto* action = t.w.findChild<QAction*>(item.name);
        ASSERT_NE(action, nullptr) << item.name;
        const int index = position[item.menu]++;
        ASSERT_LT(index, menu->actions().size());
        EXPECT_EQ(menu->actions()[index], action) << item.name << " order";
        if (QString(item.caption).isEmpty()) {
            EXPECT_TRUE(action->isSeparator()) << item.name;
            continue;
        }
        EXPECT_EQ(action->text(), item.caption) << item.name;
        EXPECT_EQ(action->isEnabled(), item.enabled) << item.name;
        EXPECT_EQ(action->isChecked(), item.checkable) << item.name;
    }
    EXPECT_FALSE(t.w.mnuExit->shortcut().isEmpty());
}

TEST(WindowComposition, PanelsStackInOrderAtTheirDesignPlaces) {
    Window t;
    const struct {
        const char* name;
        double top, height;
    } panels[] = {{"frmPixGraf", 180, 4455},     {"frameLEDdisp", 4635, 735},
                  {"frameBarGraf", 5400, 735},   {"frameSesshnStuff", 6165, 720},
                  {"fraSeshnComnts", 6885, 735}, {"FrameParams", 7650, 615}};
    const double tpp = pf::twipsPerPixel();
    for (const auto& p : panels) {
        auto* frame = t.w.findChild<QFrame*>(p.name);
        ASSERT_NE(frame, nullptr) << p.name;
        EXPECT_FALSE(frame->isHidden()) << p.name;
        EXPECT_EQ(frame->accessibleName(), p.name);
        EXPECT_NEAR(pf::twipsLeft(frame), 135, tpp);
        EXPECT_NEAR(pf::twipsWidth(frame), 7935, tpp);
        EXPECT_NEAR(pf::twipsTop(frame), p.top, tpp) << p.name;
        EXPECT_NEAR(pf::twipsHeight(frame), p.height, tpp) << p.name;
    }
    EXPECT_EQ(pf::toPixels(1440), static_cast<int>(1440 / tpp + 0.5));
}

TEST(WindowComposition, ControlsHaveTheirCaptionsColoursAndPlaces) {
    Window t;
    const double tpp = pf::twipsPerPixel();
    struct Row {
        QString name;
        const char* caption;
        double left, top, width, height;
        bool bordered;
    };
    std::vector<Row> rows = {
        {"LblShnStf(0)", "% Change ", 240, 120, 1215, 255, false},
        {"LblShnStf(1)", "0 %", 240, 360, 1215, 255, true},
        {"LblShnStf(2)", "Res.", 1800, 120, 1215, 255, false},
        {"LblShnStf(3)", "0", 1800, 360, 1215, 255, true},
        {"LblShnStf(4)", "Cond.", 3360, 120, 1215, 255, false},
        {"LblShnStf(5)", "0", 3195, 315, 1215, 255, true},
        {"LblShnStf(6)", "Probe", 4920, 120, 1215, 255, false},
        {"LblShnStf(7)", "", 4950, 360, 1215, 255, true},
        {"LblShnStf(8)", "Battery", 6480, 120, 1215, 255, false},
        {"LblShnStf(9)", "", 6480, 360, 1215, 255, true},
        {"lblSysADCstart", "0", 6000, 840, 735, 255, true},
        {"LblParams(0)", "Time", 240, 225, 975, 255, false},
        {"LblParams(1)", "", 1320, 240, 1095, 255, true},
        {"LblParams(2)", "Sens.%", 2925, 225, 975, 255, false},
        {"LblParams(3)", "25", 3960, 240, 975, 255, true},
        {"LblParams(4)", "Port #", 5520, 240, 975, 255, false},
        {"LblParams(5)", "2", 6570, 240, 1095, 255, true},
        {"LblParams(6)", "Examiming Ports", 6240, 0, 1455, 255, false},
        {"lblGrafError", "Readjusting  graph ", 120, 120, 1815, 255, false},
    };
    const double yTops[5] = {135, 945, 1845, 2835, 3825};
    const double xLefts[5] = {450, 1980, 3915, 5985, 7290};
    for (int i = 0; i < 10; ++i) {
        rows.push_back({QString("lbl4Graf(%1)").arg(i), "", i < 5 ? 0 : xLefts[i - 5],
                        i < 5 ? yTops[i] : 4230, 330, 240, false});
    }
    for (int i = 0; i < 8; ++i) {
        rows.push_back({QString("lblLED(%1)").arg(i), "", 6480.0 - 840 * i, 240, 855, 375, true});
    }
    for (int i = 0; i < 32; ++i) {
        rows.push_back({QString("lblBarGraf(%1)").arg(i), "", i == 0 ? 135.0 : 120.0 + 240 * i, 240,
                        255, 255, true});
    }
    for (const auto& r : rows) {
        Label* l = label(t.w, r.name);
        ASSERT_NE(l, nullptr);
        EXPECT_EQ(l->caption(), r.caption) << r.name.toStdString();
        EXPECT_NEAR(pf::twipsLeft(l), r.left, tpp) << r.name.toStdString();
        EXPECT_NEAR(pf::twipsTop(l), r.top, tpp) << r.name.toStdString();
        EXPECT_NEAR(pf::twipsWidth(l), r.width, tpp) << r.name.toStdString();
        EXPECT_NEAR(pf::twipsHeight(l), r.height, tpp) << r.name.toStdString();
        EXPECT_EQ(l->frameShape() == QFrame::Box, r.bordered) << r.name.toStdString();
    }

    EXPECT_TRUE(t.w.lblGrafError->isHidden());
    EXPECT_TRUE(t.w.lblSysADCstart->isHidden());
    EXPECT_TRUE(t.w.LblParams[6]->isHidden());
    EXPECT_EQ(t.w.lblGrafError->parentWidget(), t.w.pixXYgraf);
    EXPECT_EQ(t.w.lblGrafError->foreColor(), 0x000000FFu);
    EXPECT_EQ(t.w.lblGrafError->backColor(), 0x80000018u);
    EXPECT_TRUE(t.w.lblGrafError->font().bold());
    EXPECT_EQ(t.w.lblSysADCstart->foreColor(), 0x00E0E0E0u);
    EXPECT_EQ(t.w.LblParams[6]->foreColor(), 0x000000FFu);
    EXPECT_EQ(t.w.LblParams[6]->backColor(), 0x80000018u);
    for (Label* led : t.w.lblLED) EXPECT_EQ(led->backColor(), 0x000000u);
    EXPECT_EQ(t.w.LblParams[3]->toolTipText(), "Click here to adjust sensitivity");
    EXPECT_EQ(t.w.LblParams[5]->toolTipText(), "Click here to select port number");
    EXPECT_EQ(t.w.lbl4Graf[7]->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(t.w.lbl4Graf[8]->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_EQ(t.w.lbl4Graf[9]->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);

    EXPECT_EQ(t.w.TxtSeshnComnts->Text(), "Place session comments here.");
    EXPECT_EQ(t.w.TxtSeshnComnts->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_NEAR(pf::twipsWidth(t.w.TxtSeshnComnts), 7665, tpp);

    EXPECT_NEAR(pf::twipsWidth(t.w.pixXYgraf), 7335, tpp);
    EXPECT_NEAR(pf::twipsHeight(t.w.pixXYgraf), 4020, tpp);
    EXPECT_EQ(t.w.pixXYgraf->ScaleWidth(), t.w.pixXYgraf->width());
    EXPECT_EQ(t.w.pixXYgraf->backColor(), 0x000000u);
}

TEST(WindowComposition, LabelsExposeTheirTextToAssistiveTools) {
    Window t;
    t.w.show();
    t.w.LblShnStf[3]->setCaption("469kOhms");
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(t.w.LblShnStf[3]);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->text(QAccessible::Name), "469kOhms");
    QAccessibleInterface* port = QAccessible::queryAccessibleInterface(t.w.LblParams[5]);
    EXPECT_EQ(port->text(QAccessible::Description), "Click here to select port number");
}

TEST(WindowComposition, PictureKeepsItsDrawingAcrossHidesAndResizes) {
    Window t;
    t.w.show();
    auto* pix = t.w.pixXYgraf;
    pix->Cls();
    pix->PSet(3, 4, 0xFFFFFF);
    EXPECT_EQ(pix->image().pixel(3, 4), qRgb(255, 255, 255));
    EXPECT_EQ(pix->currentX(), 3);
    pix->Line(20, 4, 0xFF00FF);
    EXPECT_EQ(pix->currentX(), 20);
    EXPECT_EQ(pix->image().pixel(10, 4), qRgb(255, 0, 255));
    pix->hide();
    pix->resize(10, 10);
    pix->show();
    pix->resize(400, 200);
    EXPECT_EQ(pix->image().pixel(10, 4), qRgb(255, 0, 255));
    EXPECT_EQ(pix->ScaleWidth(), 400);
    const QImage shot = pix->grab().toImage();
    EXPECT_EQ(shot.pixel(10, 4), qRgb(255, 0, 255));
    pix->Cls();
    EXPECT_EQ(pix->image().pixel(10, 4), qRgb(0, 0, 0));
    EXPECT_EQ(pix->currentX(), 0);
}

TEST(AboutBox, ShowsTitleAndVersionAndClosesOnEnterAndEsc) {
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        sylvane::dialogs::frmAbout about;
        EXPECT_EQ(about.windowTitle(), "About Sylvane Interface");
        EXPECT_EQ(about.lblTitle->text(), "Sylvane Interface");
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
