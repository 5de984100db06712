// The live picture graph of the real window: the scale before and after the reference latches,
// widening, the time axis compressed, pictures too small to draw; a signal from the probe
// simulator drifting off scale, and the demo's session showing its axis soon after Start.

#include "display/graph_math.h"
#include "platform/label.h"
#include "platform/number_rules.h"
#include "platform/picture_box.h"
#include "storage/tst_reader.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/live_session.h"
#include "tests/support/probe_sim_process.h"

#include <QAction>
#include <QElapsedTimer>
#include <QEvent>

using namespace sylvane::testing;
using sylvane::platform::resistanceOfAdc;

namespace {

const QRgb kWhite = qRgb(255, 255, 255);

// A session under way as Start leaves it, without the serial port.
struct Graph : LiveSession {
    explicit Graph(const char* sensitivity = "25") {
        w.show();
        w.pixXYgraf->resize(480, 270);
        w.LblParams[3]->setCaption(QString::fromLatin1(sensitivity));
        startSession();
    }
    void startSession() {
        w.workingFiles.close();
        EXPECT_TRUE(w.workingFiles.open(folder.toStdString()));
        w.engine.setReferenceCaption(" ");
        auto& state = w.engine.state();
        state.graphRedrawNeeded = false;
        state.recordNumber = state.readingsPerStep = 1;
        state.minADC = 4095;
        state.maxADC = 0;
        w.pixXYgraf->Cls();
    }
    void latch(int adc) { w.engine.setReferenceCaption(std::to_string(adc)); }
    // One valid reading whose smoothed value is adc: a steady filter window.
    void reading(int adc, int times = 1) {
        for (int i = 0; i < times; ++i) {
            auto& state = w.engine.state();
            state.probeStatus = 4;
            state.adcWindow.fill(adc);
            state.rawADC = state.smoothedADC = adc;
            w.engine.GraphAndRecord();
        }
    }
    std::size_t records() const {
        return static_cast<std::size_t>(file("tempdata.tst").size() / 4);
    }
    int recordNumber() const { return w.engine.state().recordNumber; }
    int whiteInColumn(int x) const { return pixels(0xFFFFFF, x); }
    int x() const { return static_cast<int>(w.pixXYgraf->currentX()); }
    int y() const { return static_cast<int>(w.pixXYgraf->currentY()); }
};

} // namespace

TEST(PictureGraph, ReadingsBeforeTheLatchAreRecordedAtThePreviousScaleAndReplayedAfter) {
    Graph g;
    g.reading(2000); // new labels and no reference: dropped
    g.reading(2010);
    g.reading(2020);
    g.latch(2020);
    g.reading(2030);
    EXPECT_EQ(g.file("tempdata.tst"), tstOf({2010, 2020, 2030}));
    // Steps 1 and 2 were replayed at the new scale, step 3 drawn live.
    for (int x : {1, 2, 3}) EXPECT_GT(g.whiteInColumn(x), 0) << x;
    EXPECT_FLOAT_EQ(g.w.engine.state().graphBottomOhms, 1.25f * resistanceOfAdc(2020));

    // The next session: before its latch, readings meet the previous session's scale, where
    // 1500 is off scale and widens it; each changed label costs one unrecorded reading.
    g.startSession();
    g.reading(1500); // the reference label changed
    EXPECT_EQ(g.recordNumber(), 1);
    g.reading(1500);
    EXPECT_EQ(g.w.LblParams[3]->caption(), " 31");
    EXPECT_EQ(g.recordNumber(), 2);
    g.reading(1500); // the sensitivity label changed
    EXPECT_EQ(g.recordNumber(), 2);
    g.reading(1500);
    EXPECT_EQ(g.file("tempdata.tst"), tstOf({1500, 1500}));
}

TEST(PictureGraph, AnOffScaleReadingWidensTheSensitivityUpToTheMaximum) {
    const struct {
        const char* sensitivity;
        int reference, offScale;
        const char *notice, *widened;
    } rows[] = {// ADC 1500 is 813 kOhm, beyond the 587 kOhm at the bottom of the 25 % scale.
                {"25", 2048, 1500, "Readjusting  graph", " 31"},
                // 18.8 MOhm: off even the widest scale.
                {"1000", 3000, 100, "Maximum Sensitivity!  Graph off scale!", "1000"}};
    for (const auto& r : rows) {
        Graph g(r.sensitivity);
        g.latch(r.reference);
        g.reading(r.reference);
        g.reading(r.offScale);
        EXPECT_TRUE(g.w.lblGrafError->isVisible());
        EXPECT_EQ(g.w.lblGrafError->caption(), r.notice);
        EXPECT_EQ(g.w.LblParams[3]->caption(), r.widened);
        EXPECT_EQ(g.records(), 2u) << "an off-scale reading is recorded";
        g.reading(r.reference, 2);
        EXPECT_FALSE(g.w.lblGrafError->isVisible()) << "hidden once a point is on scale";
    }
}

TEST(PictureGraph, RegressionARedrawEndingMidStepAveragesOnlyResistances) {
    // Low resistances, where an ADC sum is of the order of the resistances added to it.
    Graph g;
    g.latch(3900);
    // The trace reaches the right edge: a replay as 2 per step, step 241, the old trace cleared;
    // record 483 opens step 242.
    g.reading(3900, 483);
    EXPECT_EQ(g.whiteInColumn(300), 0);
    EXPECT_EQ(g.w.lbl4Graf[9]->caption(), "08:00");
    g.w.engine.state().graphRedrawNeeded = true; // as after a panel re-arrangement
    g.reading(3900);                             // closes step 242 after the replay
    EXPECT_EQ(g.x(), 242);
    EXPECT_EQ(g.y(), 135) << "a steady reading stays on the middle line";
    g.reading(3900, 2);
    EXPECT_EQ(g.y(), 135);
    EXPECT_FALSE(g.w.lblGrafError->isVisible());
    EXPECT_EQ(g.w.LblParams[3]->caption(), "25");
}

TEST(PictureGraph, RegressionAPictureTooSmallToDrawKeepsRecordingAndRedrawsWhenItGrows) {
    Graph g;
    g.latch(2048);
    g.reading(2048);
    g.w.pixXYgraf->resize(8, 200);
    for (int i = 0; i < 20; ++i) g.reading(2040 + i);
    g.w.pixXYgraf->resize(480, 5);
    g.reading(2048);
    EXPECT_EQ(g.records(), 22u);
    EXPECT_TRUE(g.messages.messages.empty()) << g.said();
    g.w.pixXYgraf->resize(480, 270);
    g.reading(2048);
    // The whole session replayed on the grown picture, then the live step added.
    EXPECT_EQ(g.x(), 23);
    for (int x : {1, 10, 21, 23}) EXPECT_GT(g.whiteInColumn(x), 0) << x;
    // Record 2 (ADC 2040) lies 4 pixels below the middle line: a replay, not a bridging line.
    EXPECT_EQ(g.w.pixXYgraf->image().pixel(2, 139), kWhite);
}

TEST(PictureGraph, ThePictureKeepsItsDrawingAcrossHidesAndResizesUntilCleared) {
    Graph g;
    auto* pix = g.w.pixXYgraf;
    pix->PSet(3, 4, 0xFFFFFF);
    pix->Line(20, 4, 0xFF00FF); // from the current position
    pix->hide();
    pix->resize(10, 10);
    pix->show();
    pix->resize(400, 200);
    EXPECT_EQ(pix->grab().toImage().pixel(10, 4), qRgb(255, 0, 255));
    pix->Cls();
    EXPECT_EQ(pix->image().pixel(10, 4), qRgb(0, 0, 0));
    EXPECT_EQ(pix->currentX(), 0);
}

TEST(PictureGraph, ALiveSignalDriftingOffScaleWidensTheGraphAndRedrawsIt) {
    // A steady 2048 (469.8 kOhm) while the filter fills and the reference latches, then a fall
    // of 4 a frame to 1800 (599.3 kOhm), held: off the 25 % scale (587.2 kOhm at the bottom)
    // but inside the 31 % one (615.4 kOhm).
    QStringList lines;
    for (int i = 0; i < 40; ++i) lines << frameLine(2048, 4, i);
    for (int adc = 2044; adc >= 1800; adc -= 4) lines << frameLine(adc, 4, lines.size());
    for (int i = 0; i < 10; ++i) lines << frameLine(1800, 4, lines.size());
    LiveSession s;
    s.w.show();
    ProbeSimProcess sim(s.folder, 2,
                        {"--frames", ProbeSimProcess::framesFile(s.folder, lines), "--rate", "53"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    QStringList notices;
    struct NoticeWatch : QObject {
        std::function<void()> shown;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Show) shown();
            return false;
        }
    } watch;
    watch.shown = [&] {
        notices << s.w.lblGrafError->caption() + "@" + s.w.LblParams[3]->caption();
    };
    s.w.lblGrafError->installEventFilter(&watch);
    s.w.mnuStart_Click();
    const auto& state = s.w.engine.state();
    ASSERT_TRUE(waitUntil(
        [&] {
            return state.recordNumber >= 100 && state.graphSensitivity == 31 &&
                   !s.w.lblGrafError->isVisible();
        },
        60000))
        << state.recordNumber << " " << sim.log().toStdString();
    pump(300);
    EXPECT_EQ(notices, QStringList{"Readjusting  graph@ 31"});
    for (const auto& [i, label] : {std::pair{0, "324k"}, {2, "469k"}, {4, "615k"}})
        EXPECT_EQ(s.w.lbl4Graf[i]->caption(), label) << i;
    // Replayed at 31 %: a white trace from the middle line (the reference) down toward the
    // bottom edge, over the magenta dotted grid on black.
    const QImage shot = s.w.pixXYgraf->image();
    const int height = static_cast<int>(s.w.pixXYgraf->ScaleHeight());
    const int middle = height - height / 2;
    const int lastX = static_cast<int>(s.w.pixXYgraf->currentX());
    const int lastY = static_cast<int>(s.w.pixXYgraf->currentY());
    EXPECT_GT(s.pixels(0xFFFFFF, 20), 0);
    EXPECT_GT(lastY, middle + height / 3);
    EXPECT_LE(lastY, height);
    EXPECT_EQ(shot.pixel(lastX - 1, lastY), kWhite);
    EXPECT_EQ(shot.pixel(10, 0), qRgb(255, 0, 255));
    EXPECT_EQ(shot.pixel(lastX + 5, middle + 5), qRgb(0, 0, 0));
    EXPECT_TRUE(s.messages.messages.empty()) << s.said();
}

TEST(PictureGraph, TheDemoSessionShowsItsTimeAxisWithin15SecondsOfStart) {
    // As `make demo` runs it: the simulator with its defaults on COM2, the program started from
    // its settings, then Session > Start.
    LiveSession s;
    ProbeSimProcess sim(s.folder, 2);
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    s.load(settingsOf("2", "25"));
    ASSERT_TRUE(s.showSettled());
    const auto timeAxis = [&] {
        QStringList labels;
        for (int i = 5; i < 10; ++i)
            if (s.w.lbl4Graf[i]->isVisible()) labels << s.w.lbl4Graf[i]->caption();
        return labels;
    };
    ASSERT_EQ(timeAxis().join(""), "") << "the axis waits for the reference";
    s.w.mnuStart->trigger();
    QElapsedTimer sinceStart;
    sinceStart.start();
    ASSERT_TRUE(waitUntil([&] { return timeAxis().size() == 5 && timeAxis()[4] != ""; }, 15000))
        << "no time axis after " << sinceStart.elapsed() << " ms; reference \""
        << s.w.lblSysADCstart->caption().toStdString() << "\", " << sim.log().toStdString();
    std::printf("time axis %s after %.1f s\n", qPrintable(timeAxis().join(" ")),
                static_cast<double>(sinceStart.elapsed()) / 1000.0);
    EXPECT_EQ(timeAxis()[0], "00:00");
    EXPECT_GT(s.pixels(0xFFFFFF), 0) << "the readings so far are drawn with the reference's scale";
    EXPECT_TRUE(s.messages.messages.empty()) << s.said();
}

SYLVANE_GTEST_QT_MAIN
