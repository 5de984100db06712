// The main window from start to close on a 1024 x 768 screen at 96 dpi (15360 x 11520 twips):
// starts from no, damaged or off-screen settings, the Display toggles, resizes, bars and lamps.

#include "dialogs/frm_port_change.h"
#include "display/color_levels.h"
#include "platform/label.h"
#include "platform/twips.h"
#include "platform/vb_colors.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/live_session.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

using namespace sylvane::testing;
namespace pf = sylvane::platform;
namespace display = sylvane::display;

namespace {

// The program as main() runs it from these settings (none when empty); every port can be opened.
struct Program : LiveSession {
    explicit Program(const QByteArray& settings, const QString& programFolder = {})
        : LiveSession(programFolder) {
        w.portProber = [](int) { return 0; };
        load(settings);
        if (!w.exitRequested()) w.show();
    }
    // Lets the timer's tick run the pending arrangement.
    void runLayout() {
        ASSERT_TRUE(w.layoutPending);
        ASSERT_TRUE(waitUntil([&] { return !w.layoutPending; }, 10000)) << "no tick arranged";
    }
    std::array<QFrame*, 6> panels() const {
        return {w.frmPixGraf,       w.frameLEDdisp,   w.frameBarGraf,
                w.frameSesshnStuff, w.fraSeshnComnts, w.FrameParams};
    }
    QString checks() const {
        QString out;
        for (const QAction* a : {w.mnuPixGraf, w.mnuBarGrf, w.mnuSmlGraf, w.mnuInternStatus,
                                 w.mnuComments, w.mnuTimnStuf})
            out += a->isChecked() ? '1' : '0';
        return out;
    }
    // The panels shown (a height in twips, 0 for hidden) lie one under the other in their fixed
    // order, each as tall as given (to its whole pixel) and 95 % as wide as the window.
    void expectStacked(const std::array<double, 6>& heights) {
        QString shown;
        for (double h : heights) shown += h > 0 ? '1' : '0';
        EXPECT_EQ(checks(), shown);
        int nextTop = 0;
        for (int i = 0; i < 6; ++i) {
            QFrame* panel = panels()[i];
            EXPECT_EQ(panel->isHidden(), heights[i] == 0) << "panel " << i;
            if (heights[i] == 0) continue;
            EXPECT_NEAR(pf::twipsHeight(panel), heights[i], 8) << "panel " << i;
            EXPECT_EQ(panel->y(), nextTop) << "panel " << i;
            EXPECT_NEAR(pf::twipsWidth(panel), w.Width() * 0.95, 15);
            EXPECT_NEAR(pf::twipsLeft(panel), w.Width() * 0.02, 15);
            nextTop += panel->height();
        }
        EXPECT_LE(nextTop, w.centralWidget()->height()) << "the panels fit the window";
    }
    std::array<double, 4> place() const { return {w.Width(), w.Height(), w.Top(), w.Left()}; }
};

} // namespace

TEST(MainWindow, FirstStartDefaultsTheCloseWritesThemAndASecondStartReadsThemBack) {
    ASSERT_EQ(pf::screenWidthTwips(), 15360) << "run with the screen of main_window_e2e.json";
    ASSERT_EQ(pf::screenHeightTwips(), 11520);
    ProgramFolder folder;
    {
        whenModalShown<sylvane::dialogs::frmPortChange>([](auto* d) {
            ASSERT_NE(d, nullptr) << "the first start opens the port dialog";
            d->optCom[5]->setChecked(true);
            QTest::mouseClick(d->cmdOK, Qt::LeftButton);
        });
        Program p({}, folder.path());
        EXPECT_EQ(p.messages.titles(), QStringList{"No initialzation file found"});
        EXPECT_EQ(p.messages.prompts(), QStringList{"Need to select Comm Port"});
        EXPECT_EQ(p.w.LblParams[5]->caption(), "6");
        EXPECT_TRUE(p.w.Timer1->isActive());

        // Placed from the screen size, then snapped to 4:3 on the screen grid.
        p.runLayout();
        EXPECT_EQ(p.place(), (std::array<double, 4>{11520, 8640, 1440, 3450}));
        // 8040 twips shared out in 28 units: 15, 1.95 and 2.9 units a panel.
        p.expectStacked({4307.1, 559.9, 559.9, 832.7, 832.7, 832.7});
        EXPECT_EQ(p.w.LblShnStf[3]->font().family(), "Arial");
        EXPECT_EQ(p.w.panelFont.pointSize(), 11);

        // Two toggles before a tick lead to one arrangement; the close remembers them.
        p.w.mnuSmlGraf->trigger();
        p.w.mnuComments->trigger();
        p.runLayout();
        // 23 units; the time panel's 1013.7 is cut to its 1000, the readouts' not to 1500.
        p.expectStacked({5243.5, 681.7, 0, 1013.7, 0, 1000});
        p.w.close();
        EXPECT_EQ(p.file("sylvane.ini"),
                  settingsOf("6", "25", "110101", {11520, 8640, 1440, 3450}));
    }
    Program second({}, folder.path());
    EXPECT_TRUE(second.messages.messages.empty());
    EXPECT_EQ(second.w.LblParams[5]->caption() + second.checks(), "6110101");
    second.runLayout();
    EXPECT_EQ(second.place(), (std::array<double, 4>{11520, 8640, 1440, 3450}));
    second.expectStacked({5243.5, 681.7, 0, 1013.7, 0, 1000});
}

TEST(MainWindow, DamagedSettingsAndPlacesOffTheScreen) {
    enum Kind { Bytes, Directory, Pipe, Unreadable, ReadOnly };
    const auto at = [](int w, int h, int top, int left) {
        return settingsOf("2", "25", "111111", {w, h, top, left});
    };
    // What sylvane.ini is and holds; "Need to trap this error" with this description, after which
    // the program ends leaving the file as it was (the description used to come after the path
    // and the file to be written over with defaults); or the window's width, height, top and left.
    const std::tuple<const char*, Kind, QByteArray, const char*, std::array<double, 4>> rows[] = {
        {"a folder", Directory, {}, std::strerror(EISDIR), {}},
        {"a pipe", Pipe, {}, "Not a regular file", {}},
        {"unreadable", Unreadable, at(8000, 6000, 0, 0), std::strerror(EACCES), {}},
        {"below, left", Bytes, at(8000, 6000, 30000, -5000), nullptr, {7680, 5760, 5190, 0}},
        // Read, and the close that cannot store the settings says nothing and leaves the file
        // whole (replaced through the writable folder, or as it was).
        {"read-only", ReadOnly, at(8000, 6000, 0, 0), nullptr, {7680, 5760, 0, 0}}};
    for (const auto& [name, kind, bytes, trapped, placed] : rows) {
        SCOPED_TRACE(name);
        ProgramFolder folder;
        const QString ini = folder.file("sylvane.ini");
        if (kind == Directory) QDir(folder.path()).mkdir("sylvane.ini");
        if (kind == Pipe) mkfifo(ini.toLocal8Bit().constData(), 0600);
        if (kind != Directory && kind != Pipe) writeFileBytes(ini, bytes);
        if (trapped) writeFileBytes(folder.file("tempdata.tst"), QByteArray("\xDC\x05\0\0", 4));
        if (kind == Unreadable || kind == ReadOnly) {
            if (geteuid() == 0) continue; // root reads and writes any file: see *_as_user
            ASSERT_EQ(chmod(ini.toLocal8Bit().constData(), kind == ReadOnly ? S_IRUSR : S_IWUSR),
                      0);
        }
        Program p({}, folder.path());
        if (trapped) {
            EXPECT_EQ(p.messages.titles(), QStringList{"Need to trap this error"});
            EXPECT_EQ(p.messages.prompts(), QStringList{trapped});
            EXPECT_TRUE(p.w.exitRequested() && !p.w.Timer1->isActive());
            EXPECT_EQ(QFileInfo(ini).isDir(), kind == Directory);
            if (kind == Unreadable) {
                ASSERT_EQ(chmod(ini.toLocal8Bit().constData(), 0600), 0);
                EXPECT_EQ(readFileBytes(ini), bytes);
            }
            EXPECT_EQ(readFileBytes(folder.file("tempdata.tst")).size(), 4)
                << "the last session is left for a start that can read its settings";
            continue;
        }
        EXPECT_TRUE(p.messages.messages.empty());
        EXPECT_EQ(p.w.LblParams[5]->caption() + "," + p.w.LblParams[3]->caption(), "2,25");
        p.runLayout();
        p.expectStacked({2764.3, 359.4, 359.4, 534.4, 534.4, 534.4});
        EXPECT_EQ(p.place(), placed);
        p.w.close();
        EXPECT_EQ(readFileBytes(ini).count("\r\n"), 24);
        EXPECT_TRUE(p.messages.messages.empty()) << p.said();
    }
}

TEST(MainWindow, DisplayTogglesTheUsersResizeAndTheColourLevelOnTheBarsAndLamps) {
    Program p(settingsOf("2", "25", "111111", {9600, 7200, 720, 960}));
    p.runLayout();
    QAction* items[] = {p.w.mnuPixGraf,      p.w.mnuBarGrf,   p.w.mnuSmlGraf,
                        p.w.mnuInternStatus, p.w.mnuComments, p.w.mnuTimnStuf};
    const QString* stored[] = {&p.w.iniPixGrafVisible,  &p.w.iniColorGrafVisible,
                               &p.w.iniBarGrafVisible,  &p.w.iniInternStatusVisible,
                               &p.w.iniCommentsVisible, &p.w.iniTimeVisible};
    // With 12 units or fewer every panel but the picture graph is as tall as its cap.
    const std::array<double, 6> caps{0, 1000, 1000, 1500, 1500, 1000};
    std::array<double, 6> heights = caps;
    // Hidden one by one, then shown again; nothing moves before the tick.
    for (int i = 0; i < 12; ++i) {
        const int k = i < 6 ? i : 11 - i;
        p.w.engine.state().graphRedrawNeeded = false;
        items[k]->trigger();
        EXPECT_EQ(*stored[k], i < 6 ? "False" : "True") << k;
        EXPECT_EQ(p.panels()[k]->isHidden(), i >= 6) << k;
        EXPECT_TRUE(i < 6 || p.w.engine.state().graphRedrawNeeded == (k == 0)) << k;
        p.runLayout();
        heights[k] = i < 6 ? 0 : caps[k];
        if (i == 11) heights = {3535.7, 459.6, 459.6, 683.6, 683.6, 683.6}; // 6600 in 28 units
        p.expectStacked(heights);
        EXPECT_EQ(p.w.Width(), 9600);
        // The panels' weights, the time panel counted 2 when shown and 3 when hidden.
        EXPECT_TRUE(i != 5 || p.w.panelUnits == -1) << p.w.panelUnits;
    }
    EXPECT_EQ(p.w.panelUnits, 28);

    // Wider by about 1000 twips, the height unchanged: a width-driven snap to 22 x 480.
    p.w.setWidth(10600);
    ASSERT_TRUE(waitUntil([&] { return p.w.Width() == 10560; }, 10000));
    EXPECT_EQ(p.w.Height(), 7920);
    p.expectStacked({3921.4, 509.8, 509.8, 758.1, 758.1, 758.1});
    // Taller by 600 and wider by 300: height-driven.
    p.w.setHeight(8520);
    p.w.setWidth(10860);
    ASSERT_TRUE(waitUntil([&] { return p.w.Height() == 8280; }, 10000));
    EXPECT_EQ(p.w.Width(), 11040);
    // Once arranged, no tick asks again.
    pump(600);
    EXPECT_FALSE(p.w.layoutPending);

    // The bar graph and the lamps show the colour level on the screen: two green cells, lamp 0
    // light red.
    p.w.engine.state().awaitingStartValue = false;
    p.w.engine.state().colorLevel = 250;
    p.w.DisplayUpdate();
    const QImage shot = p.w.grab().toImage();
    QList<QColor> shown;
    for (QWidget* cell : {p.w.lblBarGraf[1], p.w.lblBarGraf[2], p.w.lblLED[0], p.w.lblLED[1]})
        shown << QColor(shot.pixel(cell->mapTo(&p.w, cell->rect().center())));
    EXPECT_EQ(shown, (QList<QColor>{QColor(0, 255, 0), pf::toQColor(display::kNeutralColor),
                                    QColor(255, 192, 192), QColor(255, 0, 0)}));
}

SYLVANE_GTEST_QT_MAIN
