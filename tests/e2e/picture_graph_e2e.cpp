// The picture graph through the real window: readings go through GraphAndRecord (filter, redraw
// decision, live step, range check, recording, width overflow) into the working files of a fresh
// program folder, and the rendered picture is checked pixel by pixel.

#include "app/frm_sylvane.h"
#include "display/graph_math.h"
#include "platform/label.h"
#include "platform/number_rules.h"
#include "platform/picture_box.h"
#include "storage/tst_reader.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/test_support.h"

#include <QAction>
#include <QColor>

#include <vector>

using sylvane::app::frmSylvane;
using sylvane::platform::resistanceOfAdc;

namespace {

const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kMagenta = qRgb(255, 0, 255);

// A window with a session under way as Start leaves it (without the serial port), on a picture
// of 480 x 270 pixels.
struct Session {
    sylvane::testing::MessageRecorder messages;
    sylvane::testing::ProgramFolder folder;
    frmSylvane w{{folder.path(), {}}};

    explicit Session(const char* sensitivity = "25") {
        w.show();
        w.pixXYgraf->resize(480, 270);
        w.LblParams[3]->setCaption(QString::fromLatin1(sensitivity));
        w.lblSysADCstart->setCaption(QStringLiteral(" "));
        w.graphRedrawNeeded = false;
        w.recordNumber = 1;
        w.readingsPerStep = 1;
        w.module1.minADC = 4095;
        w.module1.maxADC = 0;
        w.pixXYgraf->Cls();
        std::string error;
        EXPECT_TRUE(w.workingFiles.open(folder.path().toStdString(), &error)) << error;
    }

    void latch(int adc) { w.lblSysADCstart->setCaption(QString::number(adc)); }

    // One valid probe frame whose smoothed value is adc: a steady filter window.
    void reading(int adc) {
        w.probeStatus = 4;
        w.adcWindow.fill(adc);
        w.rawADC = adc;
        w.smoothedADC = adc;
        w.GraphAndRecord();
    }

    std::vector<std::int32_t> records() {
        sylvane::storage::TstReader reader;
        std::vector<std::int32_t> values;
        if (!reader.open(w.workingFiles.tstPath())) return values;
        reader.read(1, reader.recordCount(),
                    [&](std::int64_t, std::span<const std::int32_t> block) {
                        values.insert(values.end(), block.begin(), block.end());
                    });
        return values;
    }

    QRgb pixel(int x, int y) const { return w.pixXYgraf->image().pixel(x, y); }
    int whiteInColumn(int x) const {
        int n = 0;
        for (int y = 0; y < 270; ++y) n += pixel(x, y) == kWhite;
        return n;
    }
};

} // namespace

TEST(PictureGraph, LiveTraceIsWhiteOnBlackOverAMagentaGrid) {
    Session s;
    s.latch(2048);
    for (int i = 0; i < 100; ++i) s.reading(2048);
    EXPECT_TRUE(s.messages.messages.empty());
    EXPECT_EQ(s.w.recordNumber, 101);
    // The reference sits on the middle line: y = 270 - 135.
    for (int x : {1, 50, 99}) EXPECT_EQ(s.pixel(x, 135), kWhite) << x;
    EXPECT_EQ(s.pixel(150, 135), kBlack);
    EXPECT_EQ(s.pixel(60, 100), kBlack);
    // Grid dots every 10 pixels on the rows 0, 66, 134, 202, 269 and the columns 0, 119, 239,
    // 359, 479.
    for (int x : {0, 10, 200, 470}) {
        for (int y : {0, 66, 202, 269}) EXPECT_EQ(s.pixel(x, y), kMagenta) << x << "," << y;
    }
    for (int y : {10, 100, 260}) EXPECT_EQ(s.pixel(239, y), kMagenta) << y;
    EXPECT_EQ(s.pixel(5, 66), kBlack);

    const char* labels[10] = {"352k",  "411k",  "469k",  "528k",  "587k",
                              "00:00", "01:00", "02:00", "03:00", "04:00"};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(s.w.lbl4Graf[i]->caption(), labels[i]) << i;
    EXPECT_FALSE(s.w.lblGrafError->isVisible());
}

TEST(PictureGraph, ReadingsBeforeTheLatchAreRecordedAndReplayedOnceItComes) {
    Session s;
    // The first reading finds new labels, has no reference and is dropped.
    s.reading(2000);
    EXPECT_EQ(s.w.recordNumber, 1);
    EXPECT_EQ(s.w.graphSensitivity, 25);
    s.reading(2010);
    s.reading(2020);
    EXPECT_EQ(s.records(), (std::vector<std::int32_t>{2010, 2020}));
    s.latch(2020);
    s.reading(2030);
    EXPECT_EQ(s.records(), (std::vector<std::int32_t>{2010, 2020, 2030}));
    EXPECT_EQ(s.w.graphBaseADC, 2020);
    // Steps 1 and 2 were replayed at the new scale, step 3 drawn live.
    for (int x : {1, 2, 3}) EXPECT_GT(s.whiteInColumn(x), 0) << x;
    EXPECT_FLOAT_EQ(s.w.graphBottomOhms, 1.25f * resistanceOfAdc(2020));
}

TEST(PictureGraph, AnOffScaleReadingWidensTheSensitivityAndRedraws) {
    Session s;
    s.latch(2048);
    s.reading(2048);
    // ADC 1500 is 813 kOhm, beyond the 587 kOhm at the bottom of the 25 % scale.
    s.reading(1500);
    EXPECT_EQ(s.w.LblParams[3]->caption(), " 31");
    EXPECT_TRUE(s.w.lblGrafError->isVisible());
    EXPECT_EQ(s.w.lblGrafError->caption(), "Readjusting  graph");
    EXPECT_EQ(s.w.lblGrafError->width(), 150);
    EXPECT_EQ(s.records().size(), 2u) << "the off-scale reading is still recorded";

    // The next reading redraws at 31 %, where 1500 is still off scale, and so on until it fits.
    std::vector<QString> seen;
    for (int i = 0; i < 12 && s.w.lblGrafError->isVisible(); ++i) {
        s.reading(1500);
        seen.push_back(s.w.LblParams[3]->caption());
    }
    EXPECT_EQ(s.w.graphSensitivity, 76);
    EXPECT_EQ(seen, (std::vector<QString>{" 39", " 49", " 61", " 76", " 76"}));
    EXPECT_FALSE(s.w.lblGrafError->isVisible());
}

TEST(PictureGraph, BeforeTheLatchOfASecondSessionThePreviousScaleStillWidens) {
    Session s;
    s.latch(2048);
    for (int i = 0; i < 10; ++i) s.reading(2048);
    // Start of the next session, as Start leaves the graph.
    s.w.workingFiles.close();
    ASSERT_TRUE(s.w.workingFiles.open(s.folder.path().toStdString()));
    s.w.recordNumber = 1;
    s.w.readingsPerStep = 1;
    s.w.lblSysADCstart->setCaption(QStringLiteral(" "));
    s.w.pixXYgraf->Cls();

    s.reading(1500); // the reference label changed: returns before the latch, unrecorded
    EXPECT_EQ(s.w.recordNumber, 1);
    s.reading(1500); // drawn on the previous session's scale, where it is off scale
    EXPECT_EQ(s.w.LblParams[3]->caption(), " 31");
    EXPECT_EQ(s.w.recordNumber, 2);
    s.reading(1500); // the sensitivity label changed: returns again, unrecorded
    EXPECT_EQ(s.w.recordNumber, 2);
    s.reading(1500);
    EXPECT_EQ(s.records(), (std::vector<std::int32_t>{1500, 1500}));
}

TEST(PictureGraph, AtMaximumSensitivityTheGraphSaysItIsOffScale) {
    Session s("1000");
    s.latch(3000);
    s.reading(3000);
    s.reading(100); // 18.8 MOhm: off even the widest scale
    EXPECT_TRUE(s.w.lblGrafError->isVisible());
    EXPECT_EQ(s.w.lblGrafError->caption(), "Maximum Sensitivity!  Graph off scale!");
    EXPECT_EQ(s.w.lblGrafError->width(), 300);
    EXPECT_EQ(s.w.LblParams[3]->caption(), "1000");
    s.reading(3000);
    EXPECT_FALSE(s.w.lblGrafError->isVisible());
}

TEST(PictureGraph, TheTimeAxisIsCompressedWhenTheTraceReachesTheRightEdge) {
    Session s;
    s.latch(2048);
    for (int i = 0; i < 480; ++i) s.reading(2000 + i % 40);
    EXPECT_EQ(s.w.recordNumber, 481);
    EXPECT_EQ(s.w.readingsPerStep, 2);
    EXPECT_TRUE(s.w.graphRedrawNeeded);
    EXPECT_EQ(s.w.pixXYgraf->currentX(), 480 % 480) << "step 480 wraps onto column 0";

    // The next reading replays 480 records as 240 steps and is not plotted itself.
    s.reading(2048);
    EXPECT_FALSE(s.w.graphRedrawNeeded);
    EXPECT_EQ(s.w.pixXYgraf->currentX(), 240);
    EXPECT_EQ(s.w.lbl4Graf[9]->caption(), "08:00");
    EXPECT_EQ(s.whiteInColumn(300), 0) << "the old trace was cleared";
    // The one after it is plotted at step 241.
    s.reading(2048);
    EXPECT_EQ(s.w.pixXYgraf->currentX(), 241);
    EXPECT_EQ(s.w.pixXYgraf->currentY(), 135);

    // After 480 x 3 records the trace occupies 480 x 3 / 4 steps.
    while (s.w.recordNumber <= 3 * 480) s.reading(2048);
    s.reading(2048);
    EXPECT_EQ(s.w.readingsPerStep, 4);
    EXPECT_EQ(s.w.pixXYgraf->currentX(), 360);
    EXPECT_EQ(s.records().size(), 3u * 480 + 1);
}

TEST(PictureGraph, RedrawEndingMidStepAveragesOnlyResistances) {
    // Low resistances, where an ADC value is of the same order as the resistances it would be
    // added to.
    Session s;
    s.latch(3900);
    for (int i = 0; i < 480; ++i) s.reading(3900);
    s.reading(3900); // replay as 2 per step
    s.reading(3900); // plotted at step 241
    s.reading(3900); // record 483 opens step 242
    EXPECT_EQ(s.w.recordNumber, 484);
    s.w.graphRedrawNeeded = true; // as after a panel re-arrangement
    // The replay of 483 records leaves step 242 open with record 483; this reading closes it.
    s.reading(3900);
    EXPECT_EQ(s.w.pixXYgraf->currentX(), 242);
    EXPECT_EQ(s.w.pixXYgraf->currentY(), 135) << "a steady reading stays on the middle line";
    s.reading(3900);
    s.reading(3900);
    EXPECT_EQ(s.w.pixXYgraf->currentX(), 243);
    EXPECT_EQ(s.w.pixXYgraf->currentY(), 135);
    EXPECT_FALSE(s.w.lblGrafError->isVisible());
    EXPECT_EQ(s.w.LblParams[3]->caption(), "25");
}

TEST(PictureGraph, APictureTooSmallToDrawKeepsRecordingAndRedrawsWhenItGrows) {
    Session s;
    s.latch(2048);
    s.reading(2048);
    s.w.pixXYgraf->resize(8, 200);
    for (int i = 0; i < 20; ++i) s.reading(2040 + i);
    EXPECT_EQ(s.w.recordNumber, 22);
    EXPECT_EQ(s.records().size(), 21u);
    EXPECT_TRUE(s.messages.messages.empty());
    s.w.pixXYgraf->resize(480, 5);
    s.reading(2048);
    EXPECT_EQ(s.w.recordNumber, 23);

    s.w.pixXYgraf->resize(480, 270);
    s.reading(2048);
    EXPECT_EQ(s.w.recordNumber, 24);
    // The whole session was replayed on the grown picture, then the live step added.
    EXPECT_EQ(s.w.pixXYgraf->currentX(), 23);
    for (int x : {1, 10, 21, 23}) EXPECT_GT(s.whiteInColumn(x), 0) << x;
    // Record 2 (ADC 2040) lies 4 pixels below the middle line: a replay, not a bridging line.
    const int y2 =
        sylvane::display::plotY(resistanceOfAdc(2040), s.w.graphBottomOhms, s.w.graphYScale, 270);
    EXPECT_EQ(y2, 139);
    EXPECT_EQ(s.pixel(2, y2), kWhite);
}

TEST(PictureGraph, TheDrawingSurvivesHidingAndResizingUntilCleared) {
    Session s;
    s.latch(2048);
    for (int i = 0; i < 400; ++i) s.reading(2048);
    s.w.pixXYgraf->hide();
    sylvane::testing::pump(50);
    s.w.pixXYgraf->show();
    s.w.pixXYgraf->resize(300, 150);
    sylvane::testing::pump(50);
    EXPECT_EQ(s.w.pixXYgraf->ScaleWidth(), 300.0f);
    EXPECT_EQ(s.w.pixXYgraf->ScaleHeight(), 150.0f);
    s.w.pixXYgraf->resize(480, 270);
    sylvane::testing::pump(50);
    EXPECT_EQ(s.pixel(350, 135), kWhite);
    EXPECT_EQ(s.pixel(10, 0), kMagenta);
    s.w.pixXYgraf->Cls();
    EXPECT_EQ(s.pixel(350, 135), kBlack);
}

TEST(PictureGraph, TheGridIsWhiteWhileSavedSessionsAreOnShow) {
    Session s;
    s.w.DrawGraphGrid();
    EXPECT_EQ(s.pixel(10, 0), kMagenta);
    s.w.mnuDisplayOld->setText(QStringLiteral("Display another session"));
    s.w.pixXYgraf->Cls();
    s.w.DrawGraphGrid();
    EXPECT_EQ(s.pixel(10, 0), kWhite);
    EXPECT_EQ(s.pixel(239, 100), kWhite);
    EXPECT_EQ(s.w.pixXYgraf->DrawWidth(), 1);
}

SYLVANE_GTEST_QT_MAIN
