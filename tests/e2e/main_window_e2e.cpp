// The main window from start to close on a 1024 x 768 screen at 96 dpi (15360 x 11520 twips):
// the first start in an empty folder, the settings file written at the close and read back at
// the next start, damaged settings files, stored places off the screen, the Display toggles,
// and the bar graph and lamps.

#include "app/frm_sylvane.h"
#include "app/settings_file.h"
#include "dialogs/frm_port_change.h"
#include "display/color_levels.h"
#include "display/layout_math.h"
#include "platform/label.h"
#include "platform/message_box.h"
#include "platform/picture_box.h"
#include "platform/twips.h"
#include "platform/vb_colors.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/test_support.h"

#include <QAction>
#include <QApplication>
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

#include <memory>

using sylvane::acquisition::SerialLink;
using sylvane::app::frmSylvane;
using sylvane::testing::MessageRecorder;
using sylvane::testing::ProgramFolder;
using sylvane::testing::readFileBytes;
namespace pf = sylvane::platform;
namespace display = sylvane::display;

namespace {

constexpr double kTwipsPerPixel = 15;

QByteArray settingsFile(const QString& port, const QString& sensitivity,
                        const std::array<bool, 6>& shown, int width, int height, int top,
                        int left) {
    const char* keys[12] = {"Port # ",
                            "Sensitivty = ",
                            "Picture graph visibilty = ",
                            "Color graph visibilty = ",
                            "Bar graph visibilty = ",
                            "Internal status visibilty = ",
                            "Session comments visibilty = ",
                            "Time etc. visibilty = ",
                            "Form Width = ",
                            "Form Height = ",
                            "Form Top = ",
                            "Form Left = "};
    QStringList values = {'"' + port + '"', '"' + sensitivity + '"'};
    for (bool s : shown) values << (s ? "\"True\"" : "\"False\"");
    values << QString::number(width) << QString::number(height) << QString::number(top)
           << QString::number(left);
    QByteArray out;
    for (int i = 0; i < 12; ++i) {
        out += '"' + QByteArray(keys[i]) + "\"\r\n" + values[i].toLatin1() + "\r\n";
    }
    return out;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Runs `act` on the port dialog once it is shown modally. Polls from the event loop rather than
// waiting in a nested one: the dialog only comes after the start-up has waited for the timer.
void whenPortDialogShown(std::function<void(sylvane::dialogs::frmPortChange*)> act) {
    auto* poll = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, act, tries] {
        auto* dialog =
            qobject_cast<sylvane::dialogs::frmPortChange*>(QApplication::activeModalWidget());
        if (!dialog && ++*tries < 1500) return;
        poll->stop();
        poll->deleteLater();
        ASSERT_NE(dialog, nullptr) << "the port dialog never came";
        act(dialog);
    });
    poll->start(20);
}

// The program as main() runs it, in a given program folder; every port can be opened.
struct Program {
    explicit Program(const QString& folder) {
        w = std::make_unique<frmSylvane>(frmSylvane::Options{folder, {}});
        w->portProber = [](int) { return static_cast<int>(SerialLink::OpenError::None); };
    }
    void load() {
        w->Form_Load();
        if (!w->exitRequested()) w->show();
    }
    MessageRecorder messages;
    std::unique_ptr<frmSylvane> w;
};

// Lets the timer's tick run the pending arrangement.
void runLayout(frmSylvane& w) {
    ASSERT_TRUE(w.layoutPending);
    ASSERT_TRUE(sylvane::testing::waitUntil([&] { return !w.layoutPending; }, 10000))
        << "no tick arranged the panels";
}

std::array<QFrame*, 6> panelsOf(frmSylvane& w) {
    return {w.frmPixGraf,       w.frameLEDdisp,   w.frameBarGraf,
            w.frameSesshnStuff, w.fraSeshnComnts, w.FrameParams};
}

std::array<bool, 6> checksOf(frmSylvane& w) {
    return {w.mnuPixGraf->isChecked(),      w.mnuBarGrf->isChecked(),   w.mnuSmlGraf->isChecked(),
            w.mnuInternStatus->isChecked(), w.mnuComments->isChecked(), w.mnuTimnStuf->isChecked()};
}

// The visible panels lie one under the other from the top of the client area in their fixed
// order, each as tall as its share of the window (or its cap), as wide as 95 % of the window.
void expectStacked(frmSylvane& w, const std::array<bool, 6>& shown, const char* what) {
    const double available = display::availableHeightOf(w.Height());
    int nextTop = 0;
    for (int i = 0; i < 6; ++i) {
        QFrame* panel = panelsOf(w)[i];
        EXPECT_EQ(panel->isHidden(), !shown[i]) << what << " panel " << i;
        if (!shown[i]) continue;
        const auto p = static_cast<display::Panel>(i);
        const double height =
            std::min(display::panelHeight(p, available, w.panelUnits), display::panelHeightCap(p));
        EXPECT_NEAR(pf::twipsHeight(panel), height, kTwipsPerPixel) << what << " panel " << i;
        EXPECT_EQ(panel->y(), nextTop) << what << " panel " << i;
        EXPECT_NEAR(pf::twipsWidth(panel), w.Width() * 0.95, kTwipsPerPixel) << what;
        EXPECT_NEAR(pf::twipsLeft(panel), w.Width() * 0.02, kTwipsPerPixel) << what;
        nextTop += panel->height();
    }
    EXPECT_LE(nextTop, w.centralWidget()->height()) << what << ": the panels fit the window";
}

void expectScreen() {
    ASSERT_EQ(pf::screenWidthTwips(), 15360) << "run with the screen of main_window_e2e.json";
    ASSERT_EQ(pf::screenHeightTwips(), 11520);
}

} // namespace

TEST(MainWindow, FirstStartInAnEmptyFolderTakesDefaultsAndTheClosingWritesThem) {
    expectScreen();
    ProgramFolder folder;
    // The previous run's readings and header go; its text copy stays until the next Start.
    writeFile(folder.file("tempdata.tst"), "1234");
    writeFile(folder.file("tempdata.hdr"), "\"MinADC\"\r\n");
    writeFile(folder.file("tempdata.txt"), "2345\r\n");

    Program p(folder.path());
    bool dialogShown = false;
    whenPortDialogShown([&](sylvane::dialogs::frmPortChange* d) {
        dialogShown = true;
        d->optCom[5]->setChecked(true);
        QTest::mouseClick(d->cmdOK, Qt::LeftButton);
    });
    p.load();

    ASSERT_EQ(p.messages.messages.size(), 1u);
    EXPECT_EQ(p.messages.messages[0].prompt, "Need to select Comm Port");
    EXPECT_EQ(p.messages.messages[0].title, "No initialzation file found");
    EXPECT_EQ(p.messages.messages[0].style, pf::vbOKOnly);
    EXPECT_TRUE(dialogShown);
    frmSylvane& w = *p.w;
    EXPECT_EQ(w.LblParams[5]->caption(), "6");
    EXPECT_EQ(w.iniPort, "6");
    EXPECT_EQ(w.LblParams[3]->caption(), "25");
    EXPECT_EQ(w.panelUnits, 28);
    EXPECT_EQ(checksOf(w), (std::array<bool, 6>{true, true, true, true, true, true}));
    EXPECT_EQ(w.formWidthSet, 8448);
    EXPECT_EQ(w.formHeightSet, 8640);
    EXPECT_EQ(w.formLeftSet, 3456);
    EXPECT_EQ(w.formTopSet, 1440);
    EXPECT_EQ(w.layoutReason, display::kInitialPlacement);
    EXPECT_TRUE(w.layoutPending);
    EXPECT_EQ(w.colorLevel, 255);
    EXPECT_TRUE(w.awaitingStartValue);
    EXPECT_TRUE(w.Timer1->isActive());
    EXPECT_EQ(w.Timer1->interval(), 200);
    EXPECT_EQ(w.module1.appPath, folder.path());
    EXPECT_FALSE(QFile::exists(folder.file("tempdata.tst")));
    EXPECT_FALSE(QFile::exists(folder.file("tempdata.hdr")));
    EXPECT_EQ(readFileBytes(folder.file("tempdata.txt")), "2345\r\n");
    for (pf::Label* l : w.lblLED) EXPECT_EQ(l->backColor(), display::kNeutralColor);
    for (pf::Label* l : w.lblBarGraf) EXPECT_EQ(l->backColor(), display::kNeutralColor);

    // The first arrangement places the window and snaps it to 4:3 on the screen grid.
    runLayout(w);
    EXPECT_EQ(w.Width(), 11520);
    EXPECT_EQ(w.Height(), 8640);
    EXPECT_NEAR(w.Left(), 3456, kTwipsPerPixel);
    EXPECT_EQ(w.Top(), 1440);
    EXPECT_EQ(w.layoutReason, display::kHeightDriven);
    expectStacked(w, {true, true, true, true, true, true}, "first start");
    EXPECT_EQ(w.panelFont.family(), "Arial");
    EXPECT_EQ(w.panelFont.pointSize(), 11);
    EXPECT_EQ(w.LblShnStf[3]->font().family(), "Arial");
    EXPECT_TRUE(w.LblParams[6]->isHidden());
    EXPECT_TRUE(w.graphRedrawNeeded);

    w.close();
    EXPECT_EQ(
        readFileBytes(folder.file("sylvane.ini")),
        settingsFile("6", "25", {true, true, true, true, true, true}, 11520, 8640, 1440, 3450));
}

TEST(MainWindow, SecondStartReadsBackPanelsPortSensitivityAndPlace) {
    expectScreen();
    ProgramFolder folder;
    const std::array<bool, 6> shown = {true, false, true, true, false, true};
    writeFile(folder.file("sylvane.ini"), settingsFile("7", "150", shown, 9600, 7200, 720, 960));

    std::array<QRect, 6> firstRects;
    {
        Program first(folder.path());
        first.load();
        EXPECT_TRUE(first.messages.messages.empty());
        frmSylvane& w = *first.w;
        EXPECT_EQ(w.LblParams[5]->caption(), "7");
        EXPECT_EQ(w.LblParams[3]->caption(), "150");
        EXPECT_EQ(checksOf(w), shown);
        EXPECT_EQ(w.panelUnits, 16 + 2 + 3 + 2);
        EXPECT_EQ(w.iniColorGrafVisible, "False");
        runLayout(w);
        EXPECT_EQ(w.Width(), 9600);
        EXPECT_EQ(w.Height(), 7200);
        EXPECT_EQ(w.Left(), 960);
        EXPECT_EQ(w.Top(), 720);
        expectStacked(w, shown, "first run");
        for (int i = 0; i < 6; ++i) firstRects[i] = panelsOf(w)[i]->geometry();
        w.close();
    }
    EXPECT_EQ(readFileBytes(folder.file("sylvane.ini")),
              settingsFile("7", "150", shown, 9600, 7200, 720, 960));

    Program second(folder.path());
    second.load();
    EXPECT_TRUE(second.messages.messages.empty());
    frmSylvane& w = *second.w;
    runLayout(w);
    EXPECT_EQ(w.LblParams[5]->caption(), "7");
    EXPECT_EQ(w.LblParams[3]->caption(), "150");
    EXPECT_EQ(checksOf(w), shown);
    EXPECT_EQ(w.Width(), 9600);
    EXPECT_EQ(w.Height(), 7200);
    EXPECT_EQ(w.Left(), 960);
    EXPECT_EQ(w.Top(), 720);
    for (int i = 0; i < 6; ++i) {
        if (shown[i]) {
            EXPECT_EQ(panelsOf(w)[i]->geometry(), firstRects[i]) << "panel " << i;
        }
    }
}

TEST(MainWindow, DamagedSettingsFilesNeverStopTheStartNorLoseTheNextOne) {
    expectScreen();
    enum Kind { Bytes, Directory, Pipe, Unreadable };
    // Letters, blanks, quotes, commas and line ends in any order, no digit and no capital.
    const char alphabet[] = "abcdefgh ,\"\r\nxyz";
    QByteArray junk(2 << 20, ' ');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = alphabet[(static_cast<unsigned>(i) * 7919u) % (sizeof alphabet - 1)];
    QByteArray textsForNumbers =
        settingsFile("3", "50", {true, true, true, true, true, true}, 9600, 7200, 720, 960);
    textsForNumbers.replace("9600", "\"wide\"");
    const QByteArray fourLines = "\"Port # \"\r\n\"6\"\r\n\"Sensitivty = \"\r\n\"40\"\r\n";
    const QByteArray extraLines =
        settingsFile("3", "50", {true, false, false, false, false, false}, 9600, 7200, 720, 960) +
        "\"more\"\r\n12\r\n";

    const struct {
        const char* name;
        Kind kind;
        QByteArray bytes;
        int answer;
        bool trapped; // "Need to trap this error" and the program ends
        const char* port;
        const char* sensitivity;
        std::array<bool, 6> shown;
    } rows[] = {
        {"a folder", Directory, {}, pf::vbOK, true, "2", "25", {}},
        {"a pipe", Pipe, {}, pf::vbCancel, true, "2", "25", {}},
        {"unreadable", Unreadable, "x", pf::vbOK, true, "2", "25", {}},
        {"empty", Bytes, "", 0, false, "2", "20", {}},
        {"four lines", Bytes, fourLines, 0, false, "6", "40", {}},
        {"texts where numbers belong",
         Bytes,
         textsForNumbers,
         0,
         false,
         "3",
         "50",
         {true, true, true, true, true, true}},
        {"extra lines",
         Bytes,
         extraLines,
         0,
         false,
         "3",
         "50",
         {true, false, false, false, false, false}},
        {"two megabytes of junk", Bytes, junk, 0, false, "2", "20", {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        ProgramFolder folder;
        const QString ini = folder.file("sylvane.ini");
        if (r.kind == Directory) {
            ASSERT_TRUE(QDir(folder.path()).mkdir("sylvane.ini"));
        }
        if (r.kind == Pipe) {
            ASSERT_EQ(mkfifo(ini.toLocal8Bit().constData(), 0600), 0);
        }
        if (r.kind == Bytes || r.kind == Unreadable) writeFile(ini, r.bytes);
        if (r.kind == Unreadable) {
            if (geteuid() == 0) continue; // root reads any file
            ASSERT_EQ(chmod(ini.toLocal8Bit().constData(), 0), 0);
        }

        Program p(folder.path());
        p.messages.answers = {r.answer};
        p.load();
        frmSylvane& w = *p.w;
        if (r.trapped) {
            ASSERT_EQ(p.messages.messages.size(), 1u);
            EXPECT_EQ(p.messages.messages[0].title, "Need to trap this error");
            EXPECT_EQ(p.messages.messages[0].style, pf::vbOKCancel | pf::vbExclamation);
            EXPECT_TRUE(p.messages.messages[0].prompt.contains("sylvane.ini"));
            EXPECT_TRUE(w.exitRequested());
            EXPECT_FALSE(w.Timer1->isActive());
            // The close still wrote what it could, never into a folder or a pipe.
            const QFileInfo after(ini);
            if (r.kind == Directory) {
                EXPECT_TRUE(after.isDir());
            }
            if (r.kind == Pipe) {
                EXPECT_FALSE(after.isFile());
            }
            if (r.kind == Unreadable) {
                EXPECT_TRUE(readFileBytes(ini).startsWith("\"Port # \"\r\n\"2\"\r\n"));
            }
            continue;
        }
        EXPECT_TRUE(p.messages.messages.empty());
        EXPECT_FALSE(w.exitRequested());
        EXPECT_EQ(w.LblParams[5]->caption(), r.port);
        EXPECT_EQ(w.LblParams[3]->caption(), r.sensitivity);
        EXPECT_EQ(checksOf(w), r.shown);
        runLayout(w);
        expectStacked(w, r.shown, r.name);
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

TEST(MainWindow, StoredPlacesOffOrLargerThanTheScreenAreBroughtBack) {
    expectScreen();
    const struct {
        const char* name;
        std::array<int, 4> stored; // width, height, top, left
        std::array<double, 4> placed;
    } rows[] = {
        {"wider than the screen", {20000, 9000, 100, 100}, {11520, 8640, 1440, 1920}},
        {"taller than the screen", {9000, 12000, 100, 100}, {11520, 8640, 1440, 1920}},
        {"right of the screen", {8000, 6000, 0, 16000}, {11520, 8640, 1440, 1920}},
        {"below and left of the screen", {8000, 6000, 30000, -5000}, {7680, 5760, 5190, 0}},
    };
    for (const auto& r : rows) {
        ProgramFolder folder;
        writeFile(folder.file("sylvane.ini"),
                  settingsFile("2", "25", {true, true, true, true, true, true}, r.stored[0],
                               r.stored[1], r.stored[2], r.stored[3]));
        Program p(folder.path());
        p.load();
        runLayout(*p.w);
        EXPECT_EQ(p.w->Width(), r.placed[0]) << r.name;
        EXPECT_EQ(p.w->Height(), r.placed[1]) << r.name;
        EXPECT_EQ(p.w->Top(), r.placed[2]) << r.name;
        EXPECT_EQ(p.w->Left(), r.placed[3]) << r.name;
        expectStacked(*p.w, {true, true, true, true, true, true}, r.name);
    }
}

TEST(MainWindow, DisplayTogglesHideAndShowTheirPanels) {
    expectScreen();
    ProgramFolder folder;
    writeFile(
        folder.file("sylvane.ini"),
        settingsFile("2", "25", {true, true, true, true, true, true}, 11520, 8640, 1440, 1920));
    Program p(folder.path());
    p.load();
    frmSylvane& w = *p.w;
    runLayout(w);

    const struct {
        QAction* item;
        QString* visibility;
        int weight;
    } rows[] = {
        {w.mnuPixGraf, &w.iniPixGrafVisible, 16},
        {w.mnuBarGrf, &w.iniColorGrafVisible, 2},
        {w.mnuSmlGraf, &w.iniBarGrafVisible, 2},
        {w.mnuInternStatus, &w.iniInternStatusVisible, 3},
        {w.mnuComments, &w.iniCommentsVisible, 3},
        {w.mnuTimnStuf, &w.iniTimeVisible, 3},
    };
    std::array<bool, 6> shown = {true, true, true, true, true, true};
    for (int i = 0; i < 6; ++i) {
        const auto& r = rows[i];
        const int unitsBefore = w.panelUnits;
        w.graphRedrawNeeded = false;
        r.item->trigger();
        shown[i] = false;
        EXPECT_FALSE(r.item->isChecked());
        EXPECT_EQ(*r.visibility, "False");
        EXPECT_EQ(w.panelUnits, unitsBefore - r.weight);
        EXPECT_EQ(w.layoutReason, display::kHeightDriven);
        // Nothing moves before the arrangement.
        EXPECT_FALSE(panelsOf(w)[i]->isHidden()) << i;
        runLayout(w);
        expectStacked(w, shown, "hidden one by one");
        EXPECT_EQ(w.Width(), 11520);
        EXPECT_EQ(w.Height(), 8640);
    }
    // No panel left: the window is still fitted. The time panel counted 2 at the start and 3
    // when hidden.
    EXPECT_EQ(w.panelUnits, -1);
    for (int i = 5; i >= 0; --i) {
        rows[i].item->trigger();
        shown[i] = true;
        EXPECT_EQ(*rows[i].visibility, "True");
        if (i == 0) {
            EXPECT_TRUE(w.graphRedrawNeeded);
        }
        runLayout(w);
        expectStacked(w, shown, "shown again");
    }
    EXPECT_EQ(w.panelUnits, 28);

    // Several toggles before a tick lead to one arrangement.
    w.mnuComments->trigger();
    w.mnuSmlGraf->trigger();
    runLayout(w);
    expectStacked(w, {true, true, false, true, false, true}, "two toggles, one tick");

    // The panel choice of this run is what the close remembers.
    w.close();
    const QByteArray ini = readFileBytes(folder.file("sylvane.ini"));
    EXPECT_TRUE(ini.contains("\"Bar graph visibilty = \"\r\n\"False\"\r\n"));
    EXPECT_TRUE(ini.contains("\"Session comments visibilty = \"\r\n\"False\"\r\n"));
    EXPECT_TRUE(ini.contains("\"Picture graph visibilty = \"\r\n\"True\"\r\n"));
}

TEST(MainWindow, AWindowResizedByTheUserIsSnappedAtTheNextTick) {
    expectScreen();
    ProgramFolder folder;
    writeFile(folder.file("sylvane.ini"),
              settingsFile("2", "25", {true, true, true, true, true, true}, 9600, 7200, 720, 960));
    Program p(folder.path());
    p.load();
    frmSylvane& w = *p.w;
    runLayout(w);
    ASSERT_EQ(w.Width(), 9600);

    // Wider by about 1000 twips, the height unchanged: a width-driven snap to 22 x 480.
    w.setWidth(10600);
    ASSERT_TRUE(sylvane::testing::waitUntil([&] { return w.Width() == 10560; }, 10000));
    EXPECT_EQ(w.layoutReason, display::kWidthDriven);
    EXPECT_EQ(w.Height(), 7920);
    EXPECT_EQ(w.formWidthSet, 10560);
    EXPECT_EQ(w.formHeightSet, 7920);
    expectStacked(w, {true, true, true, true, true, true}, "after the user's resize");

    // Taller by 600 and wider by 300: height-driven.
    w.setHeight(8520);
    w.setWidth(10860);
    ASSERT_TRUE(sylvane::testing::waitUntil([&] { return w.Height() == 8280; }, 10000));
    EXPECT_EQ(w.layoutReason, display::kHeightDriven);
    EXPECT_EQ(w.Width(), 11040);
    // Once arranged, the window stays as it is: no tick asks again.
    sylvane::testing::pump(600);
    EXPECT_FALSE(w.layoutPending);
    EXPECT_EQ(w.Height(), 8280);
}

TEST(MainWindow, NarrowWindowsUseTheSmallPanelFont) {
    expectScreen();
    ProgramFolder folder;
    writeFile(folder.file("sylvane.ini"),
              settingsFile("2", "25", {true, true, true, true, true, true}, 7680, 5760, 0, 0));
    Program p(folder.path());
    p.load();
    frmSylvane& w = *p.w;
    runLayout(w);
    EXPECT_EQ(w.Width(), 7680);
    EXPECT_EQ(w.panelFont.family(), "IBMPC");
    EXPECT_EQ(w.panelFont.pointSize(), 7);
    for (pf::Label* l : w.LblParams) EXPECT_EQ(l->font().family(), "IBMPC");
    for (pf::Label* l : w.LblShnStf) EXPECT_FALSE(l->font().bold());
    EXPECT_EQ(w.TxtSeshnComnts->font().pointSize(), 7);
    EXPECT_EQ(w.lbl4Graf[0]->font().family(), "IBMPC");
}

TEST(MainWindow, MaximizedAndMinimizedWindows) {
    expectScreen();
    ProgramFolder folder;
    writeFile(folder.file("sylvane.ini"),
              settingsFile("2", "25", {true, true, true, true, true, true}, 9600, 7200, 0, 0));
    Program p(folder.path());
    p.load();
    frmSylvane& w = *p.w;
    runLayout(w);

    w.showMaximized();
    ASSERT_TRUE(
        sylvane::testing::waitUntil([&] { return w.WindowState() == 2 && w.Width() > 9600; }));
    const double width = w.Width();
    const double height = w.Height();
    w.mnuPixGraf->trigger(); // a maximized window takes no one-twip nudge
    w.mnuPixGraf->trigger();
    runLayout(w);
    EXPECT_EQ(w.WindowState(), 2);
    EXPECT_EQ(w.Width(), width);
    EXPECT_EQ(w.Height(), height);
    EXPECT_EQ(w.formWidthSet, width);
    EXPECT_EQ(w.formHeightSet, height);
    expectStacked(w, {true, true, true, true, true, true}, "maximized");

    w.showMinimized();
    ASSERT_TRUE(sylvane::testing::waitUntil([&] { return w.WindowState() == 1; }));
    w.mnuComments->trigger();
    runLayout(w);
    // Panels stay hidden until a later arrangement shows them.
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(panelsOf(w)[i]->isHidden()) << i;
}

TEST(MainWindow, ClosingDuringTheSavedSessionDisplayRemembersTheNormalDisplay) {
    expectScreen();
    ProgramFolder folder;
    writeFile(
        folder.file("sylvane.ini"),
        settingsFile("4", "30", {true, true, false, true, false, true}, 9600, 7200, 720, 960));
    Program p(folder.path());
    p.load();
    frmSylvane& w = *p.w;
    runLayout(w);

    // Enter the display of saved sessions as that command does: remember the window and the
    // Display items (0 InternStatus, 1 SmlGraf, 2 PixGraf, 3 BarGrf, 4 Comments, 5 TimnStuf),
    // enlarge the window, show only the graph and the comments.
    w.mnuSaveFile->setText("Resume normal display");
    w.savedFormHeight = static_cast<float>(w.Height());
    w.savedFormWidth = static_cast<float>(w.Width());
    w.savedPanelState = {w.mnuInternStatus->isChecked(), w.mnuSmlGraf->isChecked(),
                         w.mnuPixGraf->isChecked(),      w.mnuBarGrf->isChecked(),
                         w.mnuComments->isChecked(),     w.mnuTimnStuf->isChecked()};
    w.setWidth(15360 * 0.9);
    w.setHeight(11520 * 0.9);
    w.mnuBarGrf_Click();
    w.mnuInternStatus_Click();
    w.mnuComments_Click();
    w.mnuTimnStuf_Click();
    runLayout(w);
    EXPECT_EQ(checksOf(w), (std::array<bool, 6>{true, false, false, false, true, false}));

    w.close();
    EXPECT_EQ(
        readFileBytes(folder.file("sylvane.ini")),
        settingsFile("4", "30", {true, true, false, true, false, true}, 9600, 7200, 720, 960));
}

TEST(MainWindow, BarsAndLampsShowTheColourLevel) {
    ProgramFolder folder;
    writeFile(folder.file("sylvane.ini"),
              settingsFile("2", "25", {true, true, true, true, true, true}, 9600, 7200, 0, 0));
    Program p(folder.path());
    p.load();
    frmSylvane& w = *p.w;
    runLayout(w);
    const std::uint32_t G = display::kBarGreen;
    const std::uint32_t R = display::kBarRed;
    const auto& c = display::kLampColors;
    const struct {
        float level;
        int litCells;
        std::uint32_t barColor;
        int litLamps;
        std::uint32_t lit, unlit;
    } rows[] = {
        {255, 1, G, 1, c[7], c[6]}, {256, 1, R, 2, c[7], c[6]},    {0, 32, G, 1, c[1], c[0]},
        {300, 7, R, 2, c[8], c[7]}, {510, 32, R, 2, c[13], c[12]}, {255.5f, 1, G, 2, c[7], c[6]},
        {541.3f, 32, R, 1, 0, 0},   {-40, 32, G, 1, c[1], c[0]},   {250, 2, G, 1, c[7], c[6]},
    };
    w.awaitingStartValue = false;
    for (const auto& r : rows) {
        w.colorLevel = r.level;
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
    std::vector<std::uint32_t> before;
    for (pf::Label* l : w.lblBarGraf) before.push_back(l->backColor());
    for (pf::Label* l : w.lblLED) before.push_back(l->backColor());
    w.awaitingStartValue = true;
    w.colorLevel = 0;
    w.DisplayUpdate();
    std::vector<std::uint32_t> after;
    for (pf::Label* l : w.lblBarGraf) after.push_back(l->backColor());
    for (pf::Label* l : w.lblLED) after.push_back(l->backColor());
    EXPECT_EQ(after, before);

    w.DisplayInit();
    for (pf::Label* l : w.lblLED) EXPECT_EQ(l->backColor(), display::kNeutralColor);
    for (pf::Label* l : w.lblBarGraf) EXPECT_EQ(l->backColor(), display::kNeutralColor);
}

SYLVANE_GTEST_QT_MAIN
