// Sessions recorded from the probe simulator with markers (the M key, a Ctrl+click, Session >
// Mark), saved and displayed; saved sessions and marker files cut, empty, headerless or absurd.

#include "platform/label.h"
#include "platform/number_rules.h"
#include "platform/picture_box.h"
#include "platform/twips.h"
#include "storage/marker_file.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/live_session.h"
#include "tests/support/probe_sim_process.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include <cmath>

using namespace sylvane::testing;
namespace pf = sylvane::platform;
namespace storage = sylvane::storage;

namespace {

// Colours as 0x00BBGGRR: the first two traces' and the live markers' (yellow too).
constexpr std::uint32_t kCyan = 0xFFFF00, kYellow = 0x00FFFF, kGreen = 0x00FF00;

// count readings climbing from `from` by one, starting again every 100.
QByteArray rising(int count, int from) {
    std::vector<int> values;
    for (int i = 0; i < count; ++i) values.push_back(from + i % 100);
    return tstOf(values);
}

// The program at a second start (settings file in place, window laid out).
struct Program : LiveSession {
    Program() {
        load(settingsOf("2", "25", "111111", {8445, 6330, 1200, 1500}));
        showSettled();
    }
    void saved(const QString& name, const QByteArray& tst, const QByteArray& hdr) {
        writeFileBytes(QDir(folder).filePath(name + ".Tst"), tst);
        if (hdr != "<none>") writeFileBytes(QDir(folder).filePath(name + ".Hdr"), hdr);
    }
    void display(const QStringList& names, std::function<void()> beforeEnd = {}) {
        answerFileManager(names, beforeEnd);
        w.mnuDisplayOld->trigger();
    }
};

// Types text into the open marker box and closes it with the key.
void answerMarkerBox(const LiveSession& s, const QString& text, Qt::Key key) {
    ASSERT_TRUE(waitUntil([&] { return s.w.markerBox() && s.w.markerBox()->isVisible(); }));
    EXPECT_FALSE(s.w.markerBox()->isModal());
    auto* edit = s.w.markerBox()->findChild<QLineEdit*>(QStringLiteral("txtMarker"));
    ASSERT_NE(edit, nullptr);
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, key);
    EXPECT_TRUE(waitUntil([&] { return s.w.markerBox() == nullptr; }));
}

} // namespace

TEST(SessionSaveAndDisplay, RecordMarkSaveTwiceDisplayResumeMaximizedAndClose) {
    LiveSession s;
    ProbeSimProcess sim(s.folder, 2, {"--adc", "1700", "--rate", "53"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    const QString saved = s.path("sessions");
    QDir(s.folder).mkdir("sessions");
    s.load(settingsOf("2", "25"));
    s.w.mnuSmlGraf->trigger(); // a panel hidden before the display stays hidden after it
    ASSERT_TRUE(s.showSettled());
    s.w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&s.w));
    const double normalWidth = s.w.Width(), normalHeight = s.w.Height();

    // The time axis waits for the reference, then shows, as `make demo` has it soon after Start.
    QStringList axis;
    const auto timeAxisShown = [&] {
        axis.clear();
        for (int i = 5; i < 10; ++i)
            if (s.w.lbl4Graf[i]->isVisible()) axis << s.w.lbl4Graf[i]->caption();
        return axis.size() == 5 && !axis[4].isEmpty();
    };
    timeAxisShown();
    ASSERT_EQ(axis.join(""), "");
    s.w.mnuStart->trigger();
    const auto& state = s.w.engine.state();
    const auto recorded = [&](int n) {
        ASSERT_TRUE(waitUntil([&] { return state.recordNumber > n; }, 30000));
    };
    recorded(20);
    ASSERT_TRUE(waitUntil(timeAxisShown, 15000)) << axis.join(" ").toStdString();
    EXPECT_EQ(axis[0], "00:00");
    // The M key: the marker stands at the last recorded reading; recording goes on meanwhile.
    const int first = state.recordNumber - 1;
    QTest::keyClick(&s.w, Qt::Key_M);
    ASSERT_NE(s.w.markerBox(), nullptr);
    recorded(first + 30);
    answerMarkerBox(s, "stimulus, \"loud\"", Qt::Key_Return);
    // A Ctrl+click on the graph; Escape drops a marker, Enter with no text keeps one.
    QTest::mouseClick(s.w.pixXYgraf, Qt::LeftButton, Qt::ControlModifier, {5, 5});
    answerMarkerBox(s, "dropped", Qt::Key_Escape);
    recorded(first + 60);
    QTest::mouseClick(s.w.pixXYgraf, Qt::LeftButton, Qt::ControlModifier, {5, 5});
    answerMarkerBox(s, "", Qt::Key_Return);
    // Session > Mark, then Stop with the box open: the marker goes in as typed.
    s.w.mnuMark->trigger();
    ASSERT_NE(s.w.markerBox(), nullptr);
    QTest::keyClicks(s.w.markerBox()->findChild<QLineEdit*>(), "at stop");
    s.w.mnuStop->trigger();
    EXPECT_TRUE(s.messages.messages.empty()) << s.said();
    const int records = state.recordNumber - 1;
    const QByteArray readings = s.file("tempdata.tst"), text = s.file("tempdata.txt"),
                     mrk = s.file("tempdata.mrk");
    const auto read = storage::readMarkers(mrk.toStdString(), records);
    std::vector<std::string> texts;
    for (const auto& m : read.markers) texts.push_back(m.text);
    ASSERT_EQ(texts, (std::vector<std::string>{"stimulus, \"loud\"", "", "at stop"})) << mrk.data();
    EXPECT_TRUE(read.badLines.empty() && read.markers[0].record == first &&
                read.markers[1].record >= first + 60)
        << mrk.toStdString();
    // Lines across the graph at their records' steps: live in the marker colour, saved in the
    // trace's colour.
    ASSERT_EQ(state.readingsPerStep, 1);
    const auto columnOf = [&](std::size_t i) { return read.markers[i].record; };
    const auto expectLines = [&](std::uint32_t colour, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i)
            EXPECT_GT(s.pixels(colour, columnOf(i)), s.w.pixXYgraf->height() / 2) << i;
    };
    expectLines(kYellow, 3);

    // Comments typed after Stop go with the first save, changed ones with the second; each set
    // with its times (.Tim, .Tms) too.
    s.w.module1.appPath = saved;
    const char* firstComments = "Resting, eyes closed";
    const char* second = "Same session, \"second\" look\nwith a second line";
    const std::array<std::array<const char*, 3>, 2> saves = {
        {{"alpha", firstComments, firstComments},
         {"beta.tst", second, "\\=Same session, \\qsecond\\q look\\nwith a second line"}}};
    for (const auto& [name, comments, stored] : saves) {
        s.w.TxtSeshnComnts->setText(comments);
        answerFileManager({name});
        s.w.mnuSaveFile->trigger();
        const QString base = QDir(saved).filePath(QString(name).section('.', 0, 0));
        for (const auto& [ext, copied] : {std::pair{".Tst", readings},
                                          {".Txt", text},
                                          {".Hdr", hdrOf(1700, 1700, stored)},
                                          {".Mrk", mrk},
                                          {".Tms", s.file("tempdata.tms")}})
            EXPECT_EQ(readFileBytes(base + ext), copied) << ext;
    }
    EXPECT_EQ(QDir(saved).entryList(QDir::Files).size(), 12);
    ASSERT_TRUE(s.messages.messages.empty()) << s.said();

    // Both on one scale; the second (yellow) is drawn over the first, which has the same readings.
    answerFileManager({"alpha", "beta"});
    s.w.mnuDisplayOld->trigger();
    ASSERT_TRUE(s.showSettled());
    EXPECT_TRUE(s.messages.messages.empty()) << s.said();
    EXPECT_EQ(s.w.mnuSaveFile->text(), "Resume normal display");
    EXPECT_FALSE(s.w.mnuSession->menuAction()->isVisible());
    EXPECT_TRUE(s.w.TxtSeshnComnts->Locked());
    EXPECT_EQ(s.w.TxtSeshnComnts->Text(), QString("alpha  Comments ...\n") + firstComments +
                                              "\nbeta  Comments ...\n" + second + "\n");
    EXPECT_GT(s.w.Width(), normalWidth);
    expectLines(kYellow, 3);
    EXPECT_GT(s.pixels(0xFFFFFF), 100) << "the grid is white while saved sessions show";

    // A click on the picture displays the first alone, in cyan, its marker file now cut and with
    // bad lines: the sound markers are drawn, one message names the file and the lines.
    ASSERT_TRUE(writeFileBytes(QDir(saved).filePath("alpha.Mrk"),
                               mrk.left(mrk.indexOf('\n') + 1) + "not a marker\r\n" +
                                   QByteArray::number(records + 5) + ",1.000,\"past the end\"\r\n" +
                                   mrk.mid(mrk.indexOf('\n') + 1).chopped(3)));
    const double enlarged = s.w.Width();
    answerFileManager({"alpha.Tst"});
    QTest::mouseClick(s.w.pixXYgraf, Qt::LeftButton);
    ASSERT_EQ(s.messages.messages.size(), 1u) << s.said();
    EXPECT_TRUE(s.messages.messages[0].prompt.contains(QDir(saved).filePath("alpha.Mrk")));
    EXPECT_TRUE(s.messages.messages[0].prompt.contains("Lines 2, 3, 5 ")) << s.said();
    s.messages.messages.clear();
    EXPECT_EQ(s.w.TxtSeshnComnts->Text(), QString("alpha  Comments ...\n") + firstComments + "\n");
    expectLines(kCyan, 2);
    EXPECT_EQ(s.pixels(kYellow), 0);
    EXPECT_LT(s.pixels(kCyan, (columnOf(0) + columnOf(1)) / 2), 5) << "only the trace crosses";
    EXPECT_EQ(s.w.Width(), enlarged);

    // Back to the normal display, the size snapped to the grid.
    s.w.mnuSaveFile->trigger();
    ASSERT_TRUE(s.showSettled());
    EXPECT_FALSE(s.w.module1.displayMode);
    EXPECT_TRUE(s.w.mnuSerlPort->menuAction()->isVisible());
    EXPECT_NEAR(s.w.Width(), normalWidth, pf::screenWidthTwips() / 32);
    EXPECT_NEAR(s.w.Height(), normalHeight, pf::screenHeightTwips() / 32);
    // The working session's comments come back (they used to be emptied, and a later Save
    // wrote the empty box).
    EXPECT_EQ(s.w.TxtSeshnComnts->Text(), second);
    EXPECT_FALSE(s.w.TxtSeshnComnts->Locked());
    EXPECT_EQ(s.pixels(0), s.w.pixXYgraf->width() * s.w.pixXYgraf->height()) << "cleared";

    // Regression: entered maximized, the window had no size saved, yet Resume and a close in
    // display mode after the window was restored set it to nothing (collapsing it) and stored that.
    const double width0 = s.w.Width(), height0 = s.w.Height();
    for (const bool resume : {true, false}) {
        s.w.showMaximized();
        ASSERT_TRUE(waitUntil([&] { return s.w.WindowState() == 2 && s.w.Width() > width0; }));
        answerFileManager({"beta"});
        s.w.mnuDisplayOld->trigger();
        ASSERT_TRUE(s.w.module1.displayMode);
        s.w.showNormal();
        ASSERT_TRUE(waitUntil([&] { return s.w.WindowState() == 0 && s.w.Width() <= width0; }));
        if (resume) s.w.mnuSaveFile->trigger();
        ASSERT_TRUE(s.showSettled());
        EXPECT_NEAR(s.w.Width(), width0, pf::screenWidthTwips() / 32) << resume;
        EXPECT_NEAR(s.w.Height(), height0, pf::screenHeightTwips() / 32) << resume;
    }
    const QByteArray width = QByteArray::number(pf::nearest(s.w.Width()));
    s.w.close();
    EXPECT_TRUE(s.file("sylvane.ini").contains("\"Bar graph visibilty = \"\r\n\"False\""));
    EXPECT_TRUE(s.file("sylvane.ini").contains("\"Form Width = \"\r\n" + width + "\r\n"));
    EXPECT_TRUE(s.messages.messages.empty()) << s.said();
}

// Sessions whose header is missing, short or claims a range reaching 0 ADC, or whose readings
// went away, used to be drawn with undefined values (or divide by zero): each is left out with
// a message naming its file, and the others are drawn in the colour of their place in the list.
TEST(SavedSessionFaults, WhatCanBeDrawnIsDrawnAndEachSessionLeftOutIsNamed) {
    Program p;
    const QByteArray good = hdrOf(1500, 1599, "good");
    p.saved("good", rising(400, 1500), good);
    p.saved("cut", rising(3, 1550) + QByteArray("\xDC", 1), good); // a record cut after a byte
    p.saved("empty", {}, good);
    p.saved("noheader", rising(400, 1500), "<none>");
    p.saved("shortheader", rising(400, 1500), good.left(25));
    p.saved("zero", rising(400, 1500), hdrOf(0, 1600, "zero"));
    p.saved("absurd", rising(400, 1500), hdrOf(-5, 99999, "absurd"));
    p.saved("gone", rising(400, 1500), good);
    // The names chosen; those left out, and what each one's message mentions; the comments shown
    // ("": unchanged); the colours drawn (cyan, yellow, green: 1 when drawn).
    const std::tuple<QStringList, QStringList, QStringList, QString, QString> rows[] = {
        {{"noheader", "good", "cut", "shortheader", "gone"},
         {"noheader", "shortheader", "gone"},
         {p.path("noheader.Hdr"), "3 of its 5 items", p.path("gone.Tst")},
         "good  Comments ...\ngood\ncut  Comments ...\ngood\n",
         "011"},
        {{"empty", "zero", "absurd"},
         {"zero", "absurd"},
         {"at or below 0 ADC", "at or below 0 ADC"},
         "empty  Comments ...\ngood\n",
         "000"},
        // Nothing drawable: the display stays as it was.
        {{"noheader"}, {"noheader"}, {"noheader.Hdr"}, "", ""}};
    for (const auto& [names, leftOut, mention, comments, colours] : rows) {
        const QString before = p.w.TxtSeshnComnts->Text();
        p.messages.messages.clear();
        p.display(names, [&] { QFile::remove(p.path("gone.Tst")); });
        ASSERT_EQ(p.messages.titles(),
                  QStringList(leftOut.size(), "Error accessing 'File to Display'"))
            << p.said();
        for (int i = 0; i < leftOut.size(); ++i) {
            const QString m = p.messages.prompts()[i];
            EXPECT_TRUE(m.contains(mention[i]) &&
                        m.endsWith("The session " + leftOut[i] + " is not displayed."))
                << m.toStdString();
        }
        EXPECT_TRUE(p.w.module1.displayMode);
        EXPECT_EQ(p.w.TxtSeshnComnts->Text(), comments.isEmpty() ? before : comments);
        QString drawn;
        for (const std::uint32_t c : {kCyan, kYellow, kGreen}) drawn += p.pixels(c) > 0 ? '1' : '0';
        EXPECT_EQ(drawn.left(colours.size()), colours) << names.join(",").toStdString();
    }
    // Cancel in display mode resumes the normal display.
    p.display({});
    ASSERT_TRUE(p.showSettled());
    EXPECT_FALSE(p.w.module1.displayMode);
    EXPECT_TRUE(p.w.mnuSession->menuAction()->isVisible());
    const int width0 = pf::nearest(p.w.Width());

    // Absurd header values give an upright scale, each displayed from the one before; closing in
    // display mode stores the normal window.
    for (const auto& [minText, maxText] : {std::pair{" 3000", " 100"}, {" 1500abc", " 1600 and"}}) {
        p.saved("odd", rising(300, 1500),
                QByteArray("\"MinADC\"\r\n\"") + minText + "\"\r\n\"MaxADC\"\r\n\"" + maxText +
                    "\"\r\n\"x\"\r\n");
        p.messages.messages.clear();
        p.display({"odd"});
        ASSERT_TRUE(p.w.module1.displayMode);
        EXPECT_TRUE(p.messages.messages.empty()) << p.said();
        const float scale = p.w.engine.state().graphYScale;
        EXPECT_TRUE(std::isfinite(scale) && scale > 0) << minText << " " << scale;
        for (std::size_t i = 0; i < 5; ++i) {
            const QString label = p.w.lbl4Graf[i]->caption();
            EXPECT_FALSE(label.isEmpty() || label.contains("NaN") || label.contains("Inf"))
                << label.toStdString();
        }
    }
    ASSERT_TRUE(p.showSettled());
    ASSERT_NE(pf::nearest(p.w.Width()), width0);
    p.w.close();
    EXPECT_TRUE(p.file("sylvane.ini")
                    .contains("\"Form Width = \"\r\n" + QByteArray::number(width0) + "\r\n"));
}

SYLVANE_GTEST_QT_MAIN
