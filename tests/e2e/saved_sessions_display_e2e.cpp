// Saved sessions drawn by the real window: display mode (enlarged window, only the graph and the
// comments, menus hidden), the common scale, the trace colours in the picture, the comments,
// "Display another session", resuming the normal display, sessions that cannot be drawn, and
// the close in display mode.

#include "app/frm_sylvane.h"
#include "dialogs/frm_file_manager.h"
#include "dialogs/frm_port_change.h"
#include "platform/label.h"
#include "platform/number_rules.h"
#include "platform/picture_box.h"
#include "platform/twips.h"
#include "storage/saved_sessions.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/test_support.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <map>
#include <memory>

using sylvane::acquisition::SerialLink;
using sylvane::app::frmSylvane;
using sylvane::dialogs::frmFileManager;
using sylvane::testing::waitUntil;
namespace pf = sylvane::platform;
namespace storage = sylvane::storage;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

QByteArray header(int minADC, int maxADC, const QByteArray& comments) {
    return "\"MinADC\"\r\n\" " + QByteArray::number(minADC) + "\"\r\n\"MaxADC\"\r\n\" " +
           QByteArray::number(maxADC) + "\"\r\n\"" + comments + "\"\r\n";
}

// The program started in a fresh folder as a user starts it for the first time, answering the
// first-run message and taking COM2 in the port dialog; the first layout has run.
struct Program {
    sylvane::testing::ProgramFolder folder;
    sylvane::testing::MessageRecorder messages;
    std::unique_ptr<frmSylvane> w;
    QString data;

    Program() {
        QDir(folder.path()).mkdir(QStringLiteral("saved"));
        data = folder.file(QStringLiteral("saved"));
        w = std::make_unique<frmSylvane>(frmSylvane::Options{folder.path(), {}});
        w->portProber = [](int) { return static_cast<int>(SerialLink::OpenError::None); };
        sylvane::testing::whenModalShown<sylvane::dialogs::frmPortChange>(
            [](sylvane::dialogs::frmPortChange* d) {
                ASSERT_NE(d, nullptr) << "the first start opens the port dialog";
                d->cmdOK_Click();
            });
        w->Form_Load();
        w->show();
        EXPECT_TRUE(waitUntil([&] { return !w->layoutPending; }, 10000));
        messages.messages.clear();
        w->module1.appPath = data;
    }

    // A saved session whose readings climb from base to base + 19 and start again.
    void writeSession(const QString& name, int base, int records, const QByteArray& comments) {
        QByteArray tst;
        for (int i = 0; i < records; ++i) {
            const std::int32_t v = base + i % 20;
            tst.append(reinterpret_cast<const char*>(&v), 4);
        }
        writeFile(QDir(data).filePath(name + ".Tst"), tst);
        writeFile(QDir(data).filePath(name + ".Hdr"), header(base, base + 19, comments));
    }
    QString inData(const QString& name) const { return QDir(data).filePath(name); }

    bool layoutSettled() {
        return waitUntil([&] { return !w->layoutPending; }, 10000);
    }
};

// Chooses sessions in the file manager the next time it opens: each name is added, then
// Display is pressed (unless the sixth Add has closed the dialog). beforeDisplay runs just
// before Display; an empty list cancels.
void choose(const QStringList& names, std::function<void()> beforeDisplay = {}) {
    sylvane::testing::whenModalShown<frmFileManager>([names, beforeDisplay](frmFileManager* d) {
        ASSERT_NE(d, nullptr) << "the file manager never came";
        EXPECT_EQ(d->windowTitle(), "Display saved session file");
        if (names.isEmpty()) {
            QTest::mouseClick(d->cmdCancel, Qt::LeftButton);
            return;
        }
        for (const QString& name : names) {
            d->txtFM->setText(name);
            QTest::mouseClick(d->cmdAdd2List, Qt::LeftButton);
        }
        if (!d->isVisible()) return;
        if (beforeDisplay) beforeDisplay();
        QTest::mouseClick(d->cmdFileOption, Qt::LeftButton);
    });
}

struct Trace {
    int pixels = 0;
    double meanY = 0;
    int maxX = -1;
};

// Where each colour lies in the picture.
std::map<std::uint32_t, Trace> tracesIn(const QImage& image, const QRect& area) {
    std::map<std::uint32_t, Trace> traces;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const std::uint32_t vb = static_cast<std::uint32_t>(c.red()) |
                                     static_cast<std::uint32_t>(c.green()) << 8 |
                                     static_cast<std::uint32_t>(c.blue()) << 16;
            Trace& t = traces[vb];
            t.meanY += y;
            ++t.pixels;
            t.maxX = std::max(t.maxX, x);
        }
    }
    for (auto& [colour, t] : traces) t.meanY /= t.pixels;
    return traces;
}

std::map<std::uint32_t, Trace> tracesOf(frmSylvane& w) {
    const QRect visible(0, 0, w.pixXYgraf->width(), w.pixXYgraf->height());
    return tracesIn(w.pixXYgraf->image(), visible);
}

std::array<bool, 6> checks(frmSylvane& w) {
    return {w.mnuPixGraf->isChecked(),      w.mnuBarGrf->isChecked(),   w.mnuSmlGraf->isChecked(),
            w.mnuInternStatus->isChecked(), w.mnuComments->isChecked(), w.mnuTimnStuf->isChecked()};
}

std::array<bool, 6> panelsShown(frmSylvane& w) {
    return {!w.frmPixGraf->isHidden(),     !w.frameLEDdisp->isHidden(),
            !w.frameBarGraf->isHidden(),   !w.frameSesshnStuff->isHidden(),
            !w.fraSeshnComnts->isHidden(), !w.FrameParams->isHidden()};
}

constexpr std::uint32_t kCyan = storage::kTraceColors[0];
constexpr std::uint32_t kYellow = storage::kTraceColors[1];
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kMagenta = 0xFF00FF;

} // namespace

TEST(SavedSessionsDisplay, TwoSessionsOnOneScaleInTheirColours) {
    Program p;
    frmSylvane& w = *p.w;
    p.writeSession("low", 1500, 400, "low comments");
    p.writeSession("high", 1800, 200, "\\=two\\nlines");
    const double width0 = w.Width();
    const double height0 = w.Height();

    choose({"low", "high"});
    w.mnuDisplayOld->trigger();
    ASSERT_TRUE(p.layoutSettled());

    EXPECT_TRUE(p.messages.messages.empty()) << p.messages.prompts().join("|").toStdString();
    EXPECT_TRUE(w.module1.displayMode);
    EXPECT_EQ(w.mnuDisplayOld->text(), "Display another session");
    EXPECT_EQ(w.mnuSaveFile->text(), "Resume normal display");
    EXPECT_FALSE(w.mnuSession->menuAction()->isVisible());
    EXPECT_FALSE(w.mnuDisplay->menuAction()->isVisible());
    EXPECT_FALSE(w.mnuSerlPort->menuAction()->isVisible());
    EXPECT_TRUE(w.mnuFile->menuAction()->isVisible());
    EXPECT_TRUE(w.TxtSeshnComnts->Locked());
    EXPECT_EQ(w.TxtSeshnComnts->Text(),
              "low  Comments ...\nlow comments\nhigh  Comments ...\ntwo\nlines\n");
    EXPECT_EQ(w.TxtSeshnComnts->font().pointSizeF(), 8);
    EXPECT_EQ(w.savedFormWidth, static_cast<float>(width0));
    EXPECT_EQ(w.savedFormHeight, static_cast<float>(height0));
    EXPECT_GT(w.Width(), width0);
    EXPECT_GT(w.Height(), height0);
    EXPECT_EQ(w.savedPanelState, (std::array<bool, 6>{true, true, true, true, true, true}));
    EXPECT_EQ(checks(w), (std::array<bool, 6>{true, false, false, false, true, false}));
    EXPECT_EQ(panelsShown(w), (std::array<bool, 6>{true, false, false, false, true, false}));

    // One scale for both: 1500 - 5 % of the span at the bottom, 1819 + 5 % at the top.
    const storage::CommonScale scale = storage::commonScale(
        1500, 1819, 1600, w.pixXYgraf->ScaleWidth(), w.pixXYgraf->ScaleHeight());
    EXPECT_EQ(w.graphBottomOhms, scale.bottomOhms);
    EXPECT_EQ(w.graphYScale, scale.yScale);
    EXPECT_EQ(w.readingsPerStep, scale.readingsPerStep);
    EXPECT_EQ(w.module1.minADC, 1500);
    EXPECT_EQ(w.module1.maxADC, 1819);
    EXPECT_EQ(w.lbl4Graf[5]->caption(), "00:00");
    for (pf::Label* l : w.lbl4Graf) EXPECT_FALSE(l->caption().isEmpty());

    auto traces = tracesOf(w);
    EXPECT_GT(traces[kCyan].pixels, 50);
    EXPECT_GT(traces[kYellow].pixels, 25);
    EXPECT_GT(traces[kWhite].pixels, 100) << "the grid is white while saved sessions show";
    EXPECT_EQ(traces[kMagenta].pixels, 0);
    // Higher readings are lower resistances, drawn higher up; both start at the left edge.
    EXPECT_LT(traces[kYellow].meanY, traces[kCyan].meanY);
    EXPECT_NEAR(traces[kCyan].maxX, 400 / w.readingsPerStep, 1);
    EXPECT_NEAR(traces[kYellow].maxX, 200 / w.readingsPerStep, 1);
}

TEST(SavedSessionsDisplay, ResumingRestoresTheNormalWindow) {
    Program p;
    frmSylvane& w = *p.w;
    p.writeSession("one", 1500, 100, "c");
    w.mnuBarGrf->trigger(); // a panel hidden before: it stays hidden afterwards
    ASSERT_TRUE(p.layoutSettled());
    const double width0 = w.Width();
    const double height0 = w.Height();
    const auto checks0 = checks(w);
    w.TxtSeshnComnts->setText("typed before");

    choose({"one"});
    w.mnuDisplayOld->trigger();
    ASSERT_TRUE(w.module1.displayMode);
    ASSERT_TRUE(p.layoutSettled());
    EXPECT_EQ(w.savedPanelState, (std::array<bool, 6>{true, true, true, false, true, true}));

    w.mnuSaveFile->trigger();
    ASSERT_TRUE(p.layoutSettled());
    EXPECT_FALSE(w.module1.displayMode);
    EXPECT_EQ(w.mnuDisplayOld->text(), "Display saved session");
    EXPECT_EQ(w.mnuSaveFile->text(), "Save session");
    EXPECT_TRUE(w.mnuSession->menuAction()->isVisible());
    EXPECT_TRUE(w.mnuDisplay->menuAction()->isVisible());
    EXPECT_TRUE(w.mnuSerlPort->menuAction()->isVisible());
    EXPECT_EQ(checks(w), checks0);
    EXPECT_EQ(panelsShown(w), checks0);
    // The size before the display comes back; the arrangement that follows snaps it to the
    // layout grid (a 32nd of the screen) in 4:3.
    EXPECT_NEAR(w.Width(), width0, pf::screenWidthTwips() / 32);
    EXPECT_NEAR(w.Height(), height0, pf::screenHeightTwips() / 32);
    EXPECT_LE(w.Width(), width0);
    EXPECT_EQ(w.TxtSeshnComnts->Text(), "");
    EXPECT_FALSE(w.TxtSeshnComnts->Locked());
    for (pf::Label* l : w.lbl4Graf) EXPECT_EQ(l->caption(), "");
    const auto traces = tracesOf(w);
    ASSERT_EQ(traces.size(), 1u) << "the picture is cleared";
    EXPECT_EQ(traces.begin()->first, 0u);
}

TEST(SavedSessionsDisplay, DisplayAnotherReplacesTheDrawingAndCancelResumes) {
    Program p;
    frmSylvane& w = *p.w;
    p.writeSession("low", 1500, 400, "low comments");
    p.writeSession("high", 1800, 200, "high comments");
    const double width0 = w.Width();

    // A click on the picture does nothing in the normal display.
    QTest::mouseClick(w.pixXYgraf, Qt::LeftButton);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    choose({"low", "high"});
    w.mnuDisplayOld->trigger();
    ASSERT_TRUE(p.layoutSettled());
    const double enlarged = w.Width();

    choose({"high"});
    QTest::mouseClick(w.pixXYgraf, Qt::LeftButton);
    EXPECT_TRUE(w.module1.displayMode);
    EXPECT_EQ(w.TxtSeshnComnts->Text(), "high  Comments ...\nhigh comments\n");
    EXPECT_EQ(w.Width(), enlarged);
    EXPECT_EQ(w.savedFormWidth, static_cast<float>(width0));
    auto traces = tracesOf(w);
    EXPECT_GT(traces[kCyan].pixels, 50) << "the only session is the first in the list";
    EXPECT_EQ(traces[kYellow].pixels, 0);
    EXPECT_EQ(w.module1.minADC, 1800);

    choose({});
    w.mnuDisplayOld->trigger();
    ASSERT_TRUE(p.layoutSettled());
    EXPECT_FALSE(w.module1.displayMode);
    EXPECT_EQ(w.mnuSaveFile->text(), "Save session");
    EXPECT_NEAR(w.Width(), width0, pf::screenWidthTwips() / 32);
}

// A chosen session whose header is missing, short or claims a range reaching 0 ADC, or whose
// readings went away, used to be drawn with undefined values (or divide by zero): each is now
// left out with a message naming its file, and the others are drawn.
TEST(SavedSessionsDisplay, RegressionSessionsThatCannotBeDrawnAreLeftOut) {
    Program p;
    frmSylvane& w = *p.w;
    p.writeSession("good", 1500, 100, "good one");
    p.writeSession("nohdr", 1600, 100, "x");
    QFile::remove(p.inData("nohdr.Hdr"));
    p.writeSession("short", 1600, 100, "x");
    writeFile(p.inData("short.Hdr"), "\"MinADC\"\r\n\" 1600\"\r\n");
    p.writeSession("zero", 1600, 100, "x");
    writeFile(p.inData("zero.Hdr"), header(0, 1600, "x"));
    p.writeSession("gone", 1600, 100, "x");

    choose({"nohdr", "good", "short", "zero", "gone"},
           [&] { QFile::remove(p.inData("gone.Tst")); });
    w.mnuDisplayOld->trigger();

    ASSERT_EQ(p.messages.messages.size(), 4u) << p.messages.prompts().join("|").toStdString();
    const char* files[] = {"nohdr.Hdr", "short.Hdr", "zero.Hdr", "gone.Tst"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(p.messages.messages[i].prompt.contains(p.inData(files[i])))
            << p.messages.messages[i].prompt.toStdString();
        EXPECT_EQ(p.messages.messages[i].title, sylvane::dialogs::kAccessErrorTitle);
        EXPECT_EQ(p.messages.messages[i].style, pf::vbOKOnly | pf::vbExclamation);
    }
    EXPECT_TRUE(w.module1.displayMode);
    EXPECT_EQ(w.TxtSeshnComnts->Text(), "good  Comments ...\ngood one\n");
    auto traces = tracesOf(w);
    // "good" keeps the colour of its place in the list.
    EXPECT_GT(traces[kYellow].pixels, 20);
    EXPECT_EQ(traces[kCyan].pixels, 0);

    // Nothing drawable at all: the window stays as it was.
    w.mnuSaveFile->trigger();
    ASSERT_TRUE(p.layoutSettled());
    p.messages.messages.clear();
    const double width0 = w.Width();
    choose({"nohdr"});
    w.mnuDisplayOld->trigger();
    EXPECT_EQ(p.messages.messages.size(), 1u);
    EXPECT_FALSE(w.module1.displayMode);
    EXPECT_EQ(w.mnuDisplayOld->text(), "Display saved session");
    EXPECT_EQ(w.Width(), width0);
}

TEST(SavedSessionsDisplay, SixSessionsInTheColoursOfTheirPlaces) {
    Program p;
    frmSylvane& w = *p.w;
    QStringList names;
    for (int k = 0; k < 6; ++k) {
        names << QStringLiteral("s%1").arg(k);
        p.writeSession(names.back(), 1000 + 250 * k, 300, QByteArray::number(k));
    }
    choose(names);
    w.mnuDisplayOld->trigger();
    ASSERT_TRUE(w.module1.displayMode);
    auto traces = tracesOf(w);
    double previousY = 1e9;
    for (std::size_t k = 0; k < 6; ++k) {
        const Trace& t = traces[storage::kTraceColors[k]];
        EXPECT_GT(t.pixels, 20) << "session " << k;
        EXPECT_LT(t.meanY, previousY) << "higher readings are drawn higher, session " << k;
        previousY = t.meanY;
    }
}

TEST(SavedSessionsDisplay, FlatSessionGetsAFourPercentSpan) {
    Program p;
    frmSylvane& w = *p.w;
    QByteArray tst;
    for (int i = 0; i < 50; ++i) {
        const std::int32_t v = 2000;
        tst.append(reinterpret_cast<const char*>(&v), 4);
    }
    writeFile(p.inData("flat.Tst"), tst);
    writeFile(p.inData("flat.Hdr"), header(2000, 2000, "flat"));
    choose({"flat"});
    w.mnuDisplayOld->trigger();
    const float ohms = pf::resistanceOfAdc(2000);
    EXPECT_FLOAT_EQ(w.graphBottomOhms, ohms * 1.02f);
    const auto traces = tracesOf(w);
    const Trace& t = traces.at(kCyan);
    // The flat trace sits on the middle line of the picture.
    EXPECT_NEAR(t.meanY, w.pixXYgraf->height() / 2.0, 2);
}

TEST(SavedSessionsDisplay, ClosingInDisplayModeWritesTheNormalSettings) {
    Program p;
    frmSylvane& w = *p.w;
    p.writeSession("one", 1500, 100, "c");
    const int width0 = pf::nearest(w.Width());
    const int height0 = pf::nearest(w.Height());
    choose({"one"});
    w.mnuDisplayOld->trigger();
    ASSERT_TRUE(p.layoutSettled());
    ASSERT_NE(pf::nearest(w.Width()), width0);
    w.close();
    const QByteArray ini = sylvane::testing::readFileBytes(p.folder.file("sylvane.ini"));
    EXPECT_TRUE(ini.contains("\"Form Width = \"\r\n" + QByteArray::number(width0) + "\r\n"))
        << ini.toStdString();
    EXPECT_TRUE(ini.contains("\"Form Height = \"\r\n" + QByteArray::number(height0) + "\r\n"))
        << ini.toStdString();
    EXPECT_FALSE(ini.contains("False")) << "every panel was shown before the display";
}

SYLVANE_GTEST_QT_MAIN
