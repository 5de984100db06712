// Saved sessions through the real program: the whole way against the probe simulator on COM2,
// and saved sessions that are cut, empty, without a header or with absurd header values.
// SYLVANE_SCREENSHOTS=<folder> (e.g. under xvfb-run with QT_QPA_PLATFORM=xcb) keeps a picture
// of each step of the whole way.

#include "app/frm_sylvane.h"
#include "app/settings_file.h"
#include "dialogs/frm_file_manager.h"
#include "dialogs/frm_port_change.h"
#include "platform/label.h"
#include "platform/number_rules.h"
#include "platform/picture_box.h"
#include "platform/twips.h"
#include "platform/vb_colors.h"
#include "storage/saved_sessions.h"
#include "storage/session_header.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/probe_sim_process.h"
#include "tests/support/test_support.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <cmath>
#include <memory>

using sylvane::acquisition::SerialLink;
using sylvane::app::frmSylvane;
using sylvane::dialogs::frmFileManager;
using sylvane::testing::readFileBytes;
using sylvane::testing::waitUntil;
namespace pf = sylvane::platform;
namespace storage = sylvane::storage;

namespace {

constexpr std::uint32_t kCyan = storage::kTraceColors[0];
constexpr std::uint32_t kYellow = storage::kTraceColors[1];

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

QByteArray header(const QByteArray& minText, const QByteArray& maxText, const QByteArray& c) {
    return "\"MinADC\"\r\n\"" + minText + "\"\r\n\"MaxADC\"\r\n\"" + maxText + "\"\r\n\"" + c +
           "\"\r\n";
}

// count readings climbing from `from` by one, starting again every 100.
QByteArray rising(int count, int from) {
    QByteArray out;
    for (int i = 0; i < count; ++i) {
        const auto v = static_cast<std::uint32_t>(from + i % 100);
        for (int k = 0; k < 4; ++k) out.append(static_cast<char>((v >> (8 * k)) & 0xFF));
    }
    return out;
}

void screenshot(QWidget* widget, const QString& name) {
    const QString folder = qEnvironmentVariable("SYLVANE_SCREENSHOTS");
    if (folder.isEmpty() || !widget) return;
    QDir().mkpath(folder);
    sylvane::testing::pump(100);
    widget->grab().save(QDir(folder).filePath(name + ".png"));
}

template <typename D> void whenShown(std::function<void(D*)> act) {
    sylvane::testing::whenModalShown<D>([act](D* d) {
        ASSERT_NE(d, nullptr) << "the dialog never came";
        act(d);
    });
}

// Adds the names in the file manager when it next opens, then Display (the sixth Add ends the
// dialog itself); no names: Cancel. beforeDisplay runs just before Display.
void choose(const QStringList& names, std::function<void()> beforeDisplay = {},
            const QString& shot = {}) {
    whenShown<frmFileManager>([names, beforeDisplay, shot](frmFileManager* d) {
        EXPECT_EQ(d->windowTitle(), "Display saved session file");
        for (const QString& name : names) {
            QTest::keyClicks(d->txtFM, name);
            QTest::keyClick(d->txtFM, Qt::Key_Return); // Enter adds in Display mode
            d->txtFM->clear();
        }
        if (!d->isVisible()) return;
        if (beforeDisplay) beforeDisplay();
        if (!names.isEmpty()) d->txtFM->setText(names.back());
        screenshot(d, shot);
        QTest::mouseClick(names.isEmpty() ? d->cmdCancel : d->cmdFileOption, Qt::LeftButton);
        if (d->isVisible()) d->close(); // fail rather than hang
    });
}

void display(frmSylvane& w, const QStringList& names, std::function<void()> beforeDisplay = {},
             const QString& shot = {}) {
    choose(names, beforeDisplay, shot);
    w.mnuDisplayOld->trigger();
}

// Pixels of the colour in the visible part of the picture.
int pixelsOf(frmSylvane& w, std::uint32_t vbColor) {
    const QColor wanted = pf::toQColor(vbColor);
    int pixels = 0;
    for (int y = 0; y < w.pixXYgraf->height(); ++y)
        for (int x = 0; x < w.pixXYgraf->width(); ++x)
            pixels += w.pixXYgraf->image().pixelColor(x, y) == wanted;
    return pixels;
}

std::array<bool, 6> checksOf(frmSylvane& w) {
    return {w.mnuPixGraf->isChecked(),      w.mnuBarGrf->isChecked(),   w.mnuSmlGraf->isChecked(),
            w.mnuInternStatus->isChecked(), w.mnuComments->isChecked(), w.mnuTimnStuf->isChecked()};
}

std::array<bool, 6> panelsShown(frmSylvane& w) {
    return {!w.frmPixGraf->isHidden(),     !w.frameLEDdisp->isHidden(),
            !w.frameBarGraf->isHidden(),   !w.frameSesshnStuff->isHidden(),
            !w.fraSeshnComnts->isHidden(), !w.FrameParams->isHidden()};
}

bool settled(frmSylvane& w) {
    return waitUntil([&] { return !w.layoutPending; }, 10000);
}

// The program at a second start (settings file in place, window laid out), saved sessions in
// its folder.
struct Program {
    sylvane::testing::ProgramFolder folder;
    sylvane::testing::MessageRecorder messages;
    std::unique_ptr<frmSylvane> w;

    Program() {
        sylvane::app::SettingsValues v{"2", "25", {}, 8445, 6330, 1200, 1500, 0};
        v.visible.fill("True");
        writeFile(folder.file("sylvane.ini"), QByteArray::fromStdString(writeSettings(v)));
        w = std::make_unique<frmSylvane>(frmSylvane::Options{folder.path(), {}});
        w->Form_Load();
        w->show();
        settled(*w);
    }
    void saved(const QString& name, const QByteArray& tst, const QByteArray* hdr) {
        writeFile(folder.file(name + ".Tst"), tst);
        if (hdr) writeFile(folder.file(name + ".Hdr"), *hdr);
    }
    QString prompts() const { return messages.prompts().join("|"); }
};

} // namespace

TEST(SessionSaveAndDisplay, RecordSaveTwiceDisplayBothResumeAndClose) {
    sylvane::testing::ProgramFolder folder;
    sylvane::testing::MessageRecorder messages;
    sylvane::testing::ProbeSimProcess sim(folder.path(), 2, {"--rate", "53", "--seed", "5"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    const QString saved = folder.file("sessions");
    QDir(folder.path()).mkdir("sessions");
    const auto inSaved = [&](const char* name) { return QDir(saved).filePath(name); };

    // First start: the message, then the port dialog, where COM2 is the one port found.
    frmSylvane w({folder.path(), {}});
    w.portProber = [](int port) {
        return static_cast<int>(port == 2 ? SerialLink::OpenError::None
                                          : SerialLink::OpenError::NoSuchPort);
    };
    whenShown<sylvane::dialogs::frmPortChange>([](sylvane::dialogs::frmPortChange* d) {
        screenshot(d, "01-port-dialog");
        QTest::mouseClick(d->cmdOK, Qt::LeftButton);
    });
    w.Form_Load();
    w.show();
    ASSERT_TRUE(settled(w));
    EXPECT_EQ(messages.prompts(), QStringList{"Need to select Comm Port"});
    EXPECT_EQ(w.LblParams[5]->caption(), "2");
    messages.messages.clear();
    w.mnuSmlGraf->trigger(); // a panel hidden before the display stays hidden after it
    ASSERT_TRUE(settled(w));
    const double normalWidth = w.Width(), normalHeight = w.Height();
    const auto normalPanels = checksOf(w);
    screenshot(&w, "02-first-start");

    // Record some readings, then stop.
    w.mnuStart->trigger();
    const QString tst = folder.file("tempdata.tst");
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(tst).size() >= 4 * 120; }, 60000))
        << "readings recorded: " << QFileInfo(tst).size() / 4;
    screenshot(&w, "03-recording");
    w.mnuStop->trigger();
    ASSERT_TRUE(messages.messages.empty()) << messages.prompts().join("|").toStdString();
    const QByteArray readings = readFileBytes(tst);
    const QByteArray text = readFileBytes(folder.file("tempdata.txt"));
    const auto stopped =
        storage::readSessionHeader(readFileBytes(folder.file("tempdata.hdr")).toStdString());
    ASSERT_TRUE(stopped.complete());
    ASSERT_EQ(text.count('\n'), readings.size() / 4);

    // Comments typed after Stop go with the first save; changed ones with the second.
    const auto withComments = [&](const std::string& comments) {
        storage::SessionHeader h = stopped;
        h.comments = comments;
        return QByteArray::fromStdString(storage::headerBytes(h));
    };
    w.module1.appPath = saved;
    const char* first = "Resting, eyes closed";
    const char* second = "Same session, \"second\" look\nwith a second line";
    for (const auto& [name, comments] : {std::pair{"alpha", first}, {"beta.tst", second}}) {
        w.TxtSeshnComnts->setText(comments);
        whenShown<frmFileManager>([name](frmFileManager* d) {
            QTest::keyClicks(d->txtFM, name);
            screenshot(d, QString("04-save-") + name);
            QTest::keyClick(d->txtFM, Qt::Key_Return);
        });
        w.mnuSaveFile->trigger();
    }
    ASSERT_TRUE(messages.messages.empty()) << messages.prompts().join("|").toStdString();
    EXPECT_EQ(readFileBytes(inSaved("alpha.Tst")), readings);
    EXPECT_EQ(readFileBytes(inSaved("beta.Tst")), readings);
    EXPECT_EQ(readFileBytes(inSaved("alpha.Txt")), text);
    EXPECT_EQ(readFileBytes(inSaved("beta.Txt")), text);
    EXPECT_EQ(readFileBytes(inSaved("alpha.Hdr")), withComments(first));
    EXPECT_EQ(readFileBytes(inSaved("beta.Hdr")), withComments(second));
    // With each its times (name.Tim).
    EXPECT_EQ(QDir(saved).entryList(QDir::Files).size(), 8);

    // Both on one scale; the second (yellow) is drawn over the first, which has the same readings.
    display(w, {"alpha", "beta"}, {}, "05-display-dialog");
    ASSERT_TRUE(settled(w));
    EXPECT_TRUE(messages.messages.empty()) << messages.prompts().join("|").toStdString();
    EXPECT_TRUE(w.module1.displayMode);
    EXPECT_EQ(w.mnuDisplayOld->text(), "Display another session");
    EXPECT_EQ(w.mnuSaveFile->text(), "Resume normal display");
    EXPECT_FALSE(w.mnuSession->menuAction()->isVisible());
    EXPECT_FALSE(w.mnuSerlPort->menuAction()->isVisible());
    EXPECT_TRUE(w.TxtSeshnComnts->Locked());
    EXPECT_EQ(w.TxtSeshnComnts->Text(),
              QString("alpha  Comments ...\n") + first + "\nbeta  Comments ...\n" + second + "\n");
    EXPECT_GT(w.Width(), normalWidth);
    EXPECT_GT(w.Height(), normalHeight);
    EXPECT_EQ(checksOf(w), (std::array<bool, 6>{true, false, false, false, true, false}));
    EXPECT_EQ(panelsShown(w), checksOf(w));
    EXPECT_GT(pixelsOf(w, kYellow), 20);
    EXPECT_GT(pixelsOf(w, 0xFFFFFF), 100) << "the grid is white while saved sessions show";
    EXPECT_EQ(pixelsOf(w, 0xFF00FF), 0);
    screenshot(&w, "06-display-both");

    // Display another session from a click on the picture: the first alone, in cyan.
    const double enlarged = w.Width();
    choose({"alpha.Tst"});
    QTest::mouseClick(w.pixXYgraf, Qt::LeftButton);
    EXPECT_EQ(w.TxtSeshnComnts->Text(), QString("alpha  Comments ...\n") + first + "\n");
    EXPECT_GT(pixelsOf(w, kCyan), 20);
    EXPECT_EQ(pixelsOf(w, kYellow), 0);
    EXPECT_EQ(w.Width(), enlarged);
    screenshot(&w, "07-display-alpha");

    // Back to the normal display; the arrangement that follows snaps the size to its grid.
    w.mnuSaveFile->trigger();
    ASSERT_TRUE(settled(w));
    EXPECT_FALSE(w.module1.displayMode);
    EXPECT_EQ(w.mnuDisplayOld->text(), "Display saved session");
    EXPECT_EQ(w.mnuSaveFile->text(), "Save session");
    EXPECT_TRUE(w.mnuSerlPort->menuAction()->isVisible());
    EXPECT_EQ(checksOf(w), normalPanels);
    EXPECT_EQ(panelsShown(w), normalPanels);
    EXPECT_NEAR(w.Width(), normalWidth, pf::screenWidthTwips() / 32);
    EXPECT_NEAR(w.Height(), normalHeight, pf::screenHeightTwips() / 32);
    // The working session's comments come back (they used to be emptied, and a later Save
    // wrote the empty box).
    EXPECT_EQ(w.TxtSeshnComnts->Text(), second);
    EXPECT_FALSE(w.TxtSeshnComnts->Locked());
    EXPECT_EQ(pixelsOf(w, 0), w.pixXYgraf->width() * w.pixXYgraf->height()) << "cleared";
    screenshot(&w, "08-resumed");
    w.close();
    const QByteArray ini = readFileBytes(folder.file("sylvane.ini"));
    EXPECT_TRUE(ini.contains("\"Port # \"\r\n\"2\"\r\n")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("\"Bar graph visibilty = \"\r\n\"False\"")) << ini.toStdString();
    EXPECT_TRUE(messages.messages.empty()) << messages.prompts().join("|").toStdString();
}

// Sessions whose header is missing, short or claims a range reaching 0 ADC, or whose readings
// went away, used to be drawn with undefined values (or divide by zero): each is left out with
// a message naming its file, and the others are drawn in the colour of their place in the list.
TEST(SavedSessionFaults, WhatCanBeDrawnIsDrawnAndEachSessionLeftOutIsNamed) {
    Program p;
    frmSylvane& w = *p.w;
    const QByteArray good = header(" 1500", " 1599", "good");
    const QByteArray shortHeader = good.left(25);
    const QByteArray zero = header(" 0", " 1600", "zero");
    const QByteArray absurd = header(" -5", " 99999", "absurd");
    p.saved("good", rising(400, 1500), &good);
    p.saved("cut", rising(3, 1550) + QByteArray("\xDC", 1), &good); // a record cut after a byte
    p.saved("empty", {}, &good);
    p.saved("noheader", rising(400, 1500), nullptr);
    p.saved("shortheader", rising(400, 1500), &shortHeader);
    p.saved("zero", rising(400, 1500), &zero);
    p.saved("absurd", rising(400, 1500), &absurd);
    p.saved("gone", rising(400, 1500), &good);

    const struct {
        QStringList names;
        bool removeGone;
        QStringList leftOut;           // in the order chosen
        QStringList mention;           // in each message
        QString comments;              // "" when the window stays as it was
        std::vector<int> colourPixels; // cyan, yellow, green: > 0 when drawn
    } rows[] = {{{"noheader", "good", "cut", "shortheader", "gone"},
                 true,
                 {"noheader", "shortheader", "gone"},
                 {p.folder.file("noheader.Hdr"), "3 of its 5 items", p.folder.file("gone.Tst")},
                 "good  Comments ...\ngood\ncut  Comments ...\ngood\n",
                 {0, 1, 1}},
                {{"empty", "zero", "absurd"},
                 false,
                 {"zero", "absurd"},
                 {"at or below 0 ADC", "at or below 0 ADC"},
                 "empty  Comments ...\ngood\n",
                 {0, 0, 0}},
                // Nothing drawable: the display stays as it was.
                {{"noheader"}, false, {"noheader"}, {"noheader.Hdr"}, "", {}}};
    for (const auto& r : rows) {
        const QString before = w.TxtSeshnComnts->Text();
        p.messages.messages.clear();
        display(w, r.names, [&] {
            if (r.removeGone) QFile::remove(p.folder.file("gone.Tst"));
        });
        ASSERT_EQ(p.messages.messages.size(), static_cast<std::size_t>(r.leftOut.size()))
            << p.prompts().toStdString();
        for (int i = 0; i < r.leftOut.size(); ++i) {
            const auto& m = p.messages.messages[static_cast<std::size_t>(i)];
            EXPECT_EQ(m.title, sylvane::dialogs::kAccessErrorTitle);
            EXPECT_EQ(m.style, pf::vbOKOnly | pf::vbExclamation);
            EXPECT_TRUE(m.prompt.contains(r.mention[i])) << m.prompt.toStdString();
            EXPECT_TRUE(m.prompt.endsWith("The session " + r.leftOut[i] + " is not displayed."))
                << m.prompt.toStdString();
        }
        EXPECT_TRUE(w.module1.displayMode);
        EXPECT_EQ(w.TxtSeshnComnts->Text(), r.comments.isEmpty() ? before : r.comments);
        for (std::size_t k = 0; k < r.colourPixels.size(); ++k) {
            EXPECT_EQ(pixelsOf(w, storage::kTraceColors[k]) > 0, r.colourPixels[k] > 0)
                << r.names.join(",").toStdString() << " colour " << k;
        }
    }
    EXPECT_EQ(w.module1.minADC, 1500);

    // Cancel in display mode resumes the normal display; nothing drawable leaves it so.
    display(w, {});
    ASSERT_TRUE(settled(w));
    EXPECT_FALSE(w.module1.displayMode);
    EXPECT_EQ(w.mnuSaveFile->text(), "Save session");
    const double width0 = w.Width();
    display(w, {"noheader"});
    EXPECT_FALSE(w.module1.displayMode);
    EXPECT_EQ(w.mnuDisplayOld->text(), "Display saved session");
    EXPECT_TRUE(w.mnuSession->menuAction()->isVisible());
    EXPECT_EQ(w.Width(), width0);
}

// Each row is displayed from the one before; closing in display mode stores the normal window.
TEST(SavedSessionFaults, AbsurdHeaderValuesGiveAnUprightScaleOrAClearRefusal) {
    const struct {
        const char *what, *minText, *maxText;
        bool drawn;
        bool traceOnScale; // the readings, 1500 to 1599, lie within the header's range
    } rows[] = {{"minimum above maximum", " 3000", " 100", true, false},
                {"the top of the ADC range", " 4095", " 4095", true, false},
                {"past the top of the ADC range", " 5000", " 65535", true, true},
                {"texts where numbers belong", " 1500abc", " 1600 and more", true, true},
                // The largest whole number: the margin would reach below 0 ADC.
                {"beyond any whole number", " 1E+30", " 9.9E+99", false, false},
                {"no numbers at all", "MinADC", "", false, false}};
    Program p;
    frmSylvane& w = *p.w;
    const int width0 = pf::nearest(w.Width()), height0 = pf::nearest(w.Height());
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        p.messages.messages.clear();
        const QByteArray hdr = header(r.minText, r.maxText, r.what);
        p.saved("odd", rising(300, 1500), &hdr);
        display(w, {"odd"});
        ASSERT_TRUE(w.module1.displayMode);
        if (!r.drawn) {
            ASSERT_EQ(p.messages.messages.size(), 1u);
            EXPECT_TRUE(p.messages.messages[0].prompt.endsWith("The session odd is not displayed."))
                << p.prompts().toStdString();
            continue;
        }
        EXPECT_TRUE(p.messages.messages.empty()) << p.prompts().toStdString();
        EXPECT_TRUE(std::isfinite(w.engine.state().graphYScale) && w.engine.state().graphYScale > 0) << w.engine.state().graphYScale;
        for (std::size_t i = 0; i < 5; ++i) {
            const QString label = w.lbl4Graf[i]->caption();
            EXPECT_FALSE(label.isEmpty() || label.contains("NaN") || label.contains("Inf"))
                << label.toStdString();
        }
        EXPECT_TRUE(!r.traceOnScale || pixelsOf(w, kCyan) > 0);
    }
    ASSERT_TRUE(settled(w));
    ASSERT_NE(pf::nearest(w.Width()), width0);
    w.close();
    const QByteArray ini = readFileBytes(p.folder.file("sylvane.ini"));
    EXPECT_TRUE(ini.contains("\"Form Width = \"\r\n" + QByteArray::number(width0) + "\r\n"));
    EXPECT_TRUE(ini.contains("\"Form Height = \"\r\n" + QByteArray::number(height0) + "\r\n"));
    EXPECT_FALSE(ini.contains("False")) << ini.toStdString();
}

// Entered maximized, the window had no size saved, yet Resume and a close in display mode
// after the window was restored set it to nothing (collapsing it) and stored that.
TEST(SessionSaveAndDisplay, RegressionEnteredMaximizedTheRestoredWindowKeepsItsSize) {
    Program p;
    frmSylvane& w = *p.w;
    const QByteArray hdr = header(" 1500", " 1599", "x");
    p.saved("x", rising(300, 1500), &hdr);
    const double width0 = w.Width(), height0 = w.Height();
    for (const bool resume : {true, false}) {
        w.showMaximized();
        ASSERT_TRUE(waitUntil([&] { return w.WindowState() == 2 && w.Width() > width0; }));
        display(w, {"x"});
        ASSERT_TRUE(w.module1.displayMode);
        w.showNormal();
        ASSERT_TRUE(waitUntil([&] { return w.WindowState() == 0 && w.Width() <= width0; }));
        if (resume) w.mnuSaveFile->trigger();
        ASSERT_TRUE(settled(w));
        // The arrangement that follows may snap the size to its grid.
        EXPECT_NEAR(w.Width(), width0, pf::screenWidthTwips() / 32) << resume;
        EXPECT_NEAR(w.Height(), height0, pf::screenHeightTwips() / 32) << resume;
    }
    const int width = pf::nearest(w.Width());
    w.close();
    const QByteArray ini = readFileBytes(p.folder.file("sylvane.ini"));
    EXPECT_TRUE(ini.contains("\"Form Width = \"\r\n" + QByteArray::number(width) + "\r\n"));
}

SYLVANE_GTEST_QT_MAIN
