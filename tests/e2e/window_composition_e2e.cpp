// The main window as created: every control findable by its name, with its caption, state,
// colours and design position in twips; the drawing surface; the About box.

#include "app/frm_sylvane.h"
#include "dialogs/frm_about.h"
#include "platform/label.h"
#include "platform/picture_box.h"
#include "platform/twips.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/test_support.h"

#include <QAccessible>
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>

using sylvane::platform::Label;
namespace pf = sylvane::platform;

namespace {

struct Window {
    sylvane::testing::ProgramFolder folder;
    sylvane::app::frmSylvane w{{folder.path(), {}}};
};

void expectPlace(const QWidget* c, double left, double top, double width, double height) {
    const double tpp = pf::twipsPerPixel();
    EXPECT_NEAR(pf::twipsLeft(c), left, tpp);
    EXPECT_NEAR(pf::twipsTop(c), top, tpp);
    EXPECT_NEAR(pf::twipsWidth(c), width, tpp);
    EXPECT_NEAR(pf::twipsHeight(c), height, tpp);
}

} // namespace

TEST(WindowComposition, MenusCarryTheirNamesCaptionsAndStatesInOrder) {
    Window t;
    EXPECT_EQ(t.w.windowTitle(), "Sylvane Interface");
    EXPECT_FALSE(t.w.windowIcon().isNull());
    // Menu, then its items: name, caption ("" for a separator), enabled, checked.
    const struct {
        const char* name;
        const char* caption;
        bool enabled = true, checked = false;
    } menus[][10] = {
        {{"mnuFile", "File"},
         {"mnuSaveFile", "Save session"},
         {"mnuDisplayOld", "Display saved session"},
         {"mnuSep1", ""},
         {"mnuExit", "Exit"}},
        {{"mnuSession", "Session"},
         {"mnuRestart", "Restart", false},
         {"mnuStart", "Start"},
         {"mnuStop", "Stop", false},
         {"mnuMark", "Mark", false},
         {"mnuSep2", ""},
         {"mnuSetSense", "Set Sensitivity"}},
        {{"mnuDisplay", "Display"},
         {"mnuPixGraf", "Picture Graph", true, true},
         {"mnuBarGrf", "Color Bar Graph", true, true},
         {"mnuSmlGraf", "BarGraph", true, true},
         {"mnuInternStatus", "Internal Status", true, true},
         {"mnuComments", "Session comments", true, true},
         {"mnuTimnStuf", "Display Time etc.", true, true}},
        {{"mnuSerlPort", "Serial Port"}, {"mnuSetComPort", "Set Comm Port"}},
        {{"mnuHelp", "&Help"}, {"mnuAboutHelp", "About"}},
    };
    const QList<QAction*> bar = t.w.menuBar()->actions();
    ASSERT_EQ(bar.size(), 5);
    for (int m = 0; m < 5; ++m) {
        auto* menu = t.w.findChild<QMenu*>(menus[m][0].name);
        ASSERT_NE(menu, nullptr) << menus[m][0].name;
        EXPECT_EQ(menu->title(), menus[m][0].caption);
        EXPECT_EQ(bar[m], menu->menuAction());
        for (int i = 1; i < 10 && menus[m][i].name; ++i) {
            const auto& item = menus[m][i];
            auto* action = t.w.findChild<QAction*>(item.name);
            ASSERT_NE(action, nullptr) << item.name;
            ASSERT_GT(menu->actions().size(), i - 1);
            EXPECT_EQ(menu->actions()[i - 1], action) << item.name;
            EXPECT_EQ(action->isSeparator(), !*item.caption) << item.name;
            if (!*item.caption) continue;
            EXPECT_EQ(action->text(), item.caption) << item.name;
            EXPECT_EQ(action->isEnabled(), item.enabled) << item.name;
            EXPECT_EQ(action->isChecked(), item.checked) << item.name;
        }
    }
    EXPECT_FALSE(t.w.mnuExit->shortcut().isEmpty());
    EXPECT_EQ(t.w.mnuMark->shortcut(), QKeySequence(Qt::Key_M));
}

TEST(WindowComposition, PanelsAndControlsHaveTheirCaptionsColoursAndPlaces) {
    Window t;
    const std::pair<const char*, std::array<double, 2>> panels[] = {
        {"frmPixGraf", {180, 4455}},     {"frameLEDdisp", {4635, 735}},
        {"frameBarGraf", {5400, 735}},   {"frameSesshnStuff", {6165, 720}},
        {"fraSeshnComnts", {6885, 735}}, {"FrameParams", {7650, 615}}};
    for (const auto& [name, place] : panels) {
        SCOPED_TRACE(name);
        auto* frame = t.w.findChild<QFrame*>(name);
        ASSERT_NE(frame, nullptr);
        EXPECT_FALSE(frame->isHidden());
        EXPECT_EQ(frame->accessibleName(), name);
        expectPlace(frame, 135, place[0], 7935, place[1]);
    }

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
    for (int i = 0; i < 10; ++i)
        rows.push_back({QString("lbl4Graf(%1)").arg(i), "", i < 5 ? 0 : xLefts[i - 5],
                        i < 5 ? yTops[i] : 4230, 330, 240, false});
    for (int i = 0; i < 8; ++i)
        rows.push_back({QString("lblLED(%1)").arg(i), "", 6480.0 - 840 * i, 240, 855, 375, true});
    for (int i = 0; i < 32; ++i)
        rows.push_back({QString("lblBarGraf(%1)").arg(i), "", i == 0 ? 135.0 : 120.0 + 240 * i, 240,
                        255, 255, true});
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name.toStdString());
        auto* l = t.w.findChild<Label*>(r.name);
        ASSERT_NE(l, nullptr);
        EXPECT_EQ(l->caption(), r.caption);
        expectPlace(l, r.left, r.top, r.width, r.height);
        EXPECT_EQ(l->frameShape() == QFrame::Box, r.bordered);
    }

    for (Label* hidden : {t.w.lblGrafError, t.w.lblSysADCstart, t.w.LblParams[6]})
        EXPECT_TRUE(hidden->isHidden()) << hidden->objectName().toStdString();
    EXPECT_EQ(t.w.lblGrafError->parentWidget(), t.w.pixXYgraf);
    EXPECT_TRUE(t.w.lblGrafError->font().bold());
    for (Label* notice : {t.w.lblGrafError, t.w.LblParams[6]}) {
        EXPECT_EQ(notice->foreColor(), 0x000000FFu);
        EXPECT_EQ(notice->backColor(), 0x80000018u);
    }
    EXPECT_EQ(t.w.lblSysADCstart->foreColor(), 0x00E0E0E0u);
    for (Label* led : t.w.lblLED) EXPECT_EQ(led->backColor(), 0x000000u);
    EXPECT_EQ(t.w.LblParams[3]->toolTipText(), "Click here to adjust sensitivity");
    EXPECT_EQ(t.w.LblParams[5]->toolTipText(), "Click here to select port number");
    EXPECT_EQ(t.w.lbl4Graf[7]->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    for (int i : {8, 9})
        EXPECT_EQ(t.w.lbl4Graf[i]->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_EQ(t.w.TxtSeshnComnts->Text(), "Place session comments here.");
    EXPECT_EQ(t.w.TxtSeshnComnts->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_NEAR(pf::twipsWidth(t.w.TxtSeshnComnts), 7665, pf::twipsPerPixel());
    EXPECT_NEAR(pf::twipsWidth(t.w.pixXYgraf), 7335, pf::twipsPerPixel());
    EXPECT_NEAR(pf::twipsHeight(t.w.pixXYgraf), 4020, pf::twipsPerPixel());
    EXPECT_EQ(t.w.pixXYgraf->backColor(), 0x000000u);

    // Assistive tools read a label's current text and its description.
    t.w.show();
    t.w.LblShnStf[3]->setCaption("469kOhms");
    QAccessibleInterface* readout = QAccessible::queryAccessibleInterface(t.w.LblShnStf[3]);
    ASSERT_NE(readout, nullptr);
    EXPECT_EQ(readout->text(QAccessible::Name), "469kOhms");
    QAccessibleInterface* port = QAccessible::queryAccessibleInterface(t.w.LblParams[5]);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->text(QAccessible::Description), "Click here to select port number");
}

TEST(WindowComposition, PictureKeepsItsDrawingAcrossHidesAndResizesUntilCleared) {
    Window t;
    t.w.show();
    auto* pix = t.w.pixXYgraf;
    pix->Cls();
    pix->PSet(3, 4, 0xFFFFFF);
    EXPECT_EQ(pix->image().pixel(3, 4), qRgb(255, 255, 255));
    pix->Line(20, 4, 0xFF00FF); // from the current position
    EXPECT_EQ(pix->currentX(), 20);
    EXPECT_EQ(pix->image().pixel(10, 4), qRgb(255, 0, 255));
    pix->hide();
    pix->resize(10, 10);
    pix->show();
    pix->resize(400, 200);
    EXPECT_EQ(pix->ScaleWidth(), 400);
    EXPECT_EQ(pix->ScaleHeight(), 200);
    EXPECT_EQ(pix->grab().toImage().pixel(10, 4), qRgb(255, 0, 255));
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
