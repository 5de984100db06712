// The main window from start to close on a 1024 x 768 screen at 96 dpi (15360 x 11520 twips):
// first and second start, damaged settings files and stored places off the screen, the Display
// toggles, the user's resize, and the bar graph and lamps.

#include "app/frm_sylvane.h"
#include "app/settings_file.h"
#include "dialogs/frm_port_change.h"
#include "display/color_levels.h"
#include "display/layout_math.h"
#include "platform/label.h"
#include "platform/twips.h"
#include "platform/vb_colors.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/test_support.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

using sylvane::app::frmSylvane;
using sylvane::testing::readFileBytes;
using sylvane::testing::waitUntil;
namespace pf = sylvane::platform;
namespace display = sylvane::display;
using Shown = std::array<bool, 6>;

namespace {

constexpr Shown kAll = {true, true, true, true, true, true};

// The settings file as the program writes it (its exact bytes are pinned by the unit tests).
QByteArray settingsFile(const char* port, const char* sensitivity, const Shown& shown, int width,
                        int height, int top, int left) {
    sylvane::app::SettingsValues v{port, sensitivity, {}, width, height, top, left, 0};
    for (std::size_t i = 0; i < 6; ++i) v.visible[i] = shown[i] ? "True" : "False";
    return QByteArray::fromStdString(sylvane::app::writeSettings(v));
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// The program as main() runs it; every port can be opened.
struct Program {
    explicit Program(const QString& folder) : w(frmSylvane::Options{folder, {}}) {
        w.portProber = [](int) {
            return static_cast<int>(sylvane::acquisition::SerialLink::OpenError::None);
        };
        w.Form_Load();
        if (!w.exitRequested()) w.show();
    }
    sylvane::testing::MessageRecorder messages;
    frmSylvane w;
};

// Lets the timer's tick run the pending arrangement.
void runLayout(frmSylvane& w) {
    ASSERT_TRUE(w.layoutPending);
    ASSERT_TRUE(waitUntil([&] { return !w.layoutPending; }, 10000)) << "no tick arranged";
}

std::array<QFrame*, 6> panelsOf(frmSylvane& w) {
    return {w.frmPixGraf,       w.frameLEDdisp,   w.frameBarGraf,
            w.frameSesshnStuff, w.fraSeshnComnts, w.FrameParams};
}

Shown checksOf(frmSylvane& w) {
    return {w.mnuPixGraf->isChecked(),      w.mnuBarGrf->isChecked(),   w.mnuSmlGraf->isChecked(),
            w.mnuInternStatus->isChecked(), w.mnuComments->isChecked(), w.mnuTimnStuf->isChecked()};
}

// The visible panels lie one under the other from the top in their fixed order, each as tall as
// its share of the window (or its cap) and as wide as 95 % of the window.
void expectStacked(frmSylvane& w, const Shown& shown, const char* what) {
    const double available = display::availableHeightOf(w.Height());
    int nextTop = 0;
    for (int i = 0; i < 6; ++i) {
        QFrame* panel = panelsOf(w)[i];
        EXPECT_EQ(panel->isHidden(), !shown[i]) << what << " panel " << i;
        if (!shown[i]) continue;
        const auto p = static_cast<display::Panel>(i);
        const double height =
            std::min(display::panelHeight(p, available, w.panelUnits), display::panelHeightCap(p));
        EXPECT_NEAR(pf::twipsHeight(panel), height, 15) << what << " panel " << i;
        EXPECT_EQ(panel->y(), nextTop) << what << " panel " << i;
        EXPECT_NEAR(pf::twipsWidth(panel), w.Width() * 0.95, 15) << what;
        EXPECT_NEAR(pf::twipsLeft(panel), w.Width() * 0.02, 15) << what;
        nextTop += panel->height();
    }
    EXPECT_LE(nextTop, w.centralWidget()->height()) << what << ": the panels fit the window";
}

std::array<double, 4> placeOf(frmSylvane& w) {
    return {w.Width(), w.Height(), w.Top(), w.Left()};
}

} // namespace

TEST(MainWindow, FirstStartDefaultsTheCloseWritesThemAndASecondStartReadsThemBack) {
    ASSERT_EQ(pf::screenWidthTwips(), 15360) << "run with the screen of main_window_e2e.json";
    ASSERT_EQ(pf::screenHeightTwips(), 11520);
    sylvane::testing::ProgramFolder folder;
    const Shown shown = {true, true, false, true, false, true};
    std::array<QRect, 6> rects;
    {
        sylvane::testing::whenModalShown<sylvane::dialogs::frmPortChange>([](auto* d) {
            ASSERT_NE(d, nullptr) << "the first start opens the port dialog";
            d->optCom[5]->setChecked(true);
            QTest::mouseClick(d->cmdOK, Qt::LeftButton);
        });
        Program p(folder.path());
        frmSylvane& w = p.w;
        ASSERT_EQ(p.messages.messages.size(), 1u);
        EXPECT_EQ(p.messages.messages[0].prompt, "Need to select Comm Port");
        EXPECT_EQ(p.messages.messages[0].title, "No initialzation file found");
        EXPECT_EQ(p.messages.messages[0].style, pf::vbOKOnly);
        EXPECT_EQ(w.LblParams[5]->caption(), "6");
        EXPECT_EQ(w.LblParams[3]->caption(), "25");
        EXPECT_EQ(checksOf(w), kAll);
        EXPECT_TRUE(w.Timer1->isActive());
        for (pf::Label* l : w.lblLED) EXPECT_EQ(l->backColor(), display::kNeutralColor);

        // Placed from the screen size, then snapped to 4:3 on the screen grid.
        runLayout(w);
        EXPECT_EQ(w.Width(), 11520);
        EXPECT_EQ(w.Height(), 8640);
        EXPECT_NEAR(w.Left(), 3456, 15);
        EXPECT_EQ(w.Top(), 1440);
        expectStacked(w, kAll, "first start");
        EXPECT_EQ(w.LblShnStf[3]->font().family(), "Arial");
        EXPECT_EQ(w.panelFont.pointSize(), 11);

        // Two toggles before a tick lead to one arrangement; the close remembers them.
        w.mnuSmlGraf->trigger();
        w.mnuComments->trigger();
        runLayout(w);
        expectStacked(w, shown, "two toggles, one tick");
        for (int i = 0; i < 6; ++i) rects[i] = panelsOf(w)[i]->geometry();
        w.close();
        EXPECT_EQ(readFileBytes(folder.file("sylvane.ini")),
                  settingsFile("6", "25", shown, 11520, 8640, 1440, 3450));
    }
    Program second(folder.path());
    frmSylvane& w = second.w;
    EXPECT_TRUE(second.messages.messages.empty());
    EXPECT_EQ(w.LblParams[5]->caption(), "6");
    EXPECT_EQ(w.LblParams[3]->caption(), "25");
    EXPECT_EQ(checksOf(w), shown);
    runLayout(w);
    EXPECT_EQ(placeOf(w), (std::array<double, 4>{11520, 8640, 1440, 3450}));
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(shown[i] ? panelsOf(w)[i]->geometry() : rects[i], rects[i]) << "panel " << i;
    }
}

TEST(MainWindow, DamagedSettingsAndPlacesOffTheScreen) {
    enum Kind { Bytes, Directory, Pipe, Unreadable };
    // Letters, blanks, quotes, commas and line ends in any order, no digit and no capital.
    const char alphabet[] = "abcdefgh ,\"\r\nxyz";
    QByteArray junk(2 << 20, ' ');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = alphabet[(static_cast<unsigned>(i) * 7919u) % (sizeof alphabet - 1)];
    const auto at = [](int w, int h, int top, int left) {
        return settingsFile("2", "25", kAll, w, h, top, left);
    };
    using Place = std::array<double, 4>; // width, height, top, left; unchecked when 0
    constexpr Shown A = kAll;
    const struct {
        const char* name;
        QByteArray bytes;
        // "Need to trap this error" with this description and the program ends, leaving the
        // file as it was; the description used to come after the path and the file to be
        // written over with defaults.
        const char* trapped;
        const char *port, *sensitivity;
        Shown shown;
        Place placed;
        Kind kind = Bytes;
    } rows[] = {
        {"a folder", {}, std::strerror(EISDIR), "", "", {}, {}, Directory},
        {"a pipe", {}, "Not a regular file", "", "", {}, {}, Pipe},
        {"unreadable", at(8000, 6000, 0, 0), std::strerror(EACCES), "", "", {}, {}, Unreadable},
        {"empty", "", nullptr, "2", "20", {}, {}},
        {"two megabytes of junk", junk, nullptr, "2", "20", {}, {}},
        {"right", at(8000, 6000, 0, 16000), 0, "2", "25", A, {11520, 8640, 1440, 1920}},
        {"below, left", at(8000, 6000, 30000, -5000), 0, "2", "25", A, {7680, 5760, 5190, 0}}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        sylvane::testing::ProgramFolder folder;
        const QString ini = folder.file("sylvane.ini");
        if (r.kind == Directory) QDir(folder.path()).mkdir("sylvane.ini");
        if (r.kind == Pipe) mkfifo(ini.toLocal8Bit().constData(), 0600);
        if (r.kind == Bytes || r.kind == Unreadable) writeFile(ini, r.bytes);
        if (r.trapped) writeFile(folder.file("tempdata.tst"), QByteArray("\xDC\x05\0\0", 4));
        if (r.kind == Unreadable) {
            if (geteuid() == 0) continue; // root reads any file: see main_window_e2e_as_user
            ASSERT_EQ(chmod(ini.toLocal8Bit().constData(), S_IWUSR), 0); // writable all the same
        }
        Program p(folder.path());
        frmSylvane& w = p.w;
        if (r.trapped) {
            ASSERT_EQ(p.messages.messages.size(), 1u);
            EXPECT_EQ(p.messages.messages[0].title, "Need to trap this error");
            EXPECT_EQ(p.messages.messages[0].style, pf::vbOKCancel | pf::vbExclamation);
            EXPECT_EQ(p.messages.messages[0].prompt, r.trapped);
            EXPECT_TRUE(w.exitRequested());
            EXPECT_FALSE(w.Timer1->isActive());
            EXPECT_EQ(QFileInfo(ini).isDir(), r.kind == Directory);
            EXPECT_EQ(QFileInfo(ini).isFile(), r.kind == Unreadable);
            if (r.kind == Unreadable) {
                ASSERT_EQ(chmod(ini.toLocal8Bit().constData(), 0600), 0);
                EXPECT_EQ(readFileBytes(ini), r.bytes);
            }
            EXPECT_EQ(readFileBytes(folder.file("tempdata.tst")).size(), 4)
                << "the last session is left for a start that can read its settings";
            continue;
        }
        EXPECT_TRUE(p.messages.messages.empty());
        EXPECT_EQ(w.LblParams[5]->caption(), r.port);
        EXPECT_EQ(w.LblParams[3]->caption(), r.sensitivity);
        EXPECT_EQ(checksOf(w), r.shown);
        runLayout(w);
        expectStacked(w, r.shown, r.name);
        EXPECT_EQ(r.placed[0] > 0 ? placeOf(w) : r.placed, r.placed);
        // Whatever was read, the window is on the screen and at least a quarter as wide.
        EXPECT_GE(w.Left(), 0);
        EXPECT_GE(w.Top(), 0);
        EXPECT_GE(w.Width(), 3840);
        EXPECT_LE(w.Left() + w.Width(), 15360);
        EXPECT_LE(w.Top() + w.Height(), 11520);
        w.close();
        EXPECT_TRUE(readFileBytes(ini).startsWith("\"Port # \"\r\n"));
        EXPECT_EQ(readFileBytes(ini).count("\r\n"), 24);
    }
}

TEST(MainWindow, DisplayTogglesAndTheUsersResizeRearrangeThePanels) {
    sylvane::testing::ProgramFolder folder;
    writeFile(folder.file("sylvane.ini"), settingsFile("2", "25", kAll, 9600, 7200, 720, 960));
    Program p(folder.path());
    frmSylvane& w = p.w;
    runLayout(w);
    const struct {
        QAction* item;
        QString* visibility;
        int weight;
    } rows[] = {{w.mnuPixGraf, &w.iniPixGrafVisible, 16},
                {w.mnuBarGrf, &w.iniColorGrafVisible, 2},
                {w.mnuSmlGraf, &w.iniBarGrafVisible, 2},
                {w.mnuInternStatus, &w.iniInternStatusVisible, 3},
                {w.mnuComments, &w.iniCommentsVisible, 3},
                {w.mnuTimnStuf, &w.iniTimeVisible, 3}};
    Shown shown = kAll;
    for (int i = 0; i < 6; ++i) {
        const int unitsBefore = w.panelUnits;
        rows[i].item->trigger();
        shown[i] = false;
        EXPECT_FALSE(rows[i].item->isChecked());
        EXPECT_EQ(*rows[i].visibility, "False");
        EXPECT_EQ(w.panelUnits, unitsBefore - rows[i].weight);
        EXPECT_FALSE(panelsOf(w)[i]->isHidden()) << "nothing moves before the tick, panel " << i;
        runLayout(w);
        expectStacked(w, shown, "hidden one by one");
        EXPECT_EQ(w.Width(), 9600);
        EXPECT_EQ(w.Height(), 7200);
    }
    // The time panel counted 2 at the start and 3 when hidden.
    EXPECT_EQ(w.panelUnits, -1);
    for (int i = 5; i >= 0; --i) {
        w.engine.state().graphRedrawNeeded = false;
        rows[i].item->trigger();
        shown[i] = true;
        EXPECT_EQ(*rows[i].visibility, "True");
        EXPECT_EQ(w.engine.state().graphRedrawNeeded, i == 0);
        runLayout(w);
        expectStacked(w, shown, "shown again");
    }
    EXPECT_EQ(w.panelUnits, 28);

    // Wider by about 1000 twips, the height unchanged: a width-driven snap to 22 x 480.
    w.setWidth(10600);
    ASSERT_TRUE(waitUntil([&] { return w.Width() == 10560; }, 10000));
    EXPECT_EQ(w.layoutReason, display::kWidthDriven);
    EXPECT_EQ(w.Height(), 7920);
    expectStacked(w, kAll, "after the user's resize");
    // Taller by 600 and wider by 300: height-driven.
    w.setHeight(8520);
    w.setWidth(10860);
    ASSERT_TRUE(waitUntil([&] { return w.Height() == 8280; }, 10000));
    EXPECT_EQ(w.layoutReason, display::kHeightDriven);
    EXPECT_EQ(w.Width(), 11040);
    // Once arranged, no tick asks again.
    sylvane::testing::pump(600);
    EXPECT_FALSE(w.layoutPending);
    EXPECT_EQ(w.Height(), 8280);
}

TEST(MainWindow, BarsAndLampsShowTheColourLevel) {
    sylvane::testing::ProgramFolder folder;
    writeFile(folder.file("sylvane.ini"), settingsFile("2", "25", kAll, 9600, 7200, 0, 0));
    Program p(folder.path());
    frmSylvane& w = p.w;
    runLayout(w);
    const std::uint32_t G = display::kBarGreen, R = display::kBarRed;
    const auto& c = display::kLampColors;
    const struct {
        float level;
        int litCells;
        std::uint32_t barColor;
        int litLamps;
        std::uint32_t lit, unlit;
    } rows[] = {{300, 7, R, 2, c[8], c[7]}, {541.3f, 32, R, 1, 0, 0}, {250, 2, G, 1, c[7], c[6]}};
    w.engine.state().awaitingStartValue = false;
    for (const auto& r : rows) {
        w.engine.state().colorLevel = r.level;
        w.DisplayUpdate();
        for (int i = 0; i < 32; ++i) {
            EXPECT_EQ(w.lblBarGraf[i]->backColor(),
                      i < r.litCells ? r.barColor : display::kNeutralColor)
                << r.level << " cell " << i;
        }
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(w.lblLED[i]->backColor(), i < r.litLamps ? r.lit : r.unlit)
                << r.level << " lamp " << i;
        }
    }
    // What the labels hold is what the screen shows: two green cells, lamp 0 light red.
    const QImage shot = w.grab().toImage();
    const auto shownColor = [&](QWidget* cell) {
        return QColor(shot.pixel(cell->mapTo(&w, cell->rect().center())));
    };
    EXPECT_EQ(shownColor(w.lblBarGraf[1]), QColor(0, 255, 0));
    EXPECT_EQ(shownColor(w.lblBarGraf[2]), pf::toQColor(display::kNeutralColor));
    EXPECT_EQ(shownColor(w.lblLED[0]), QColor(255, 192, 192));
    EXPECT_EQ(shownColor(w.lblLED[1]), QColor(255, 0, 0));

    // While a session waits for its reference reading nothing is painted.
    w.engine.state().awaitingStartValue = true;
    w.engine.state().colorLevel = 0;
    w.DisplayUpdate();
    EXPECT_EQ(w.lblBarGraf[2]->backColor(), display::kNeutralColor);
    EXPECT_EQ(w.lblLED[0]->backColor(), c[7]);
    w.DisplayInit();
    for (pf::Label* l : w.lblLED) EXPECT_EQ(l->backColor(), display::kNeutralColor);
    for (pf::Label* l : w.lblBarGraf) EXPECT_EQ(l->backColor(), display::kNeutralColor);
}

SYLVANE_GTEST_QT_MAIN
