// The picture graph: per reading, the redraw decision, the full redraw (scale, axis labels,
// grid, replay of the session so far), the live step with its range check and automatic
// widening, the recording of the reading, and the compression of the time axis.

#include "app/frm_sylvane.h"
#include "display/graph_math.h"
#include "display/trace_replay.h"
#include "platform/label.h"
#include "platform/number_rules.h"
#include "platform/picture_box.h"

#include <QAction>

#include <algorithm>

namespace sylvane::app {

namespace {

double captionValue(const Label* label) {
    return platform::numericValue(label->caption().toStdString());
}

void redrawGraph(frmSylvane& w, float width, float height) {
    const display::GraphScale scale =
        display::liveScale(w.graphBaseADC, w.graphSensitivity, height);
    w.graphYScale = scale.yScale;
    w.graphBottomOhms = scale.bottomOhms;

    const auto texts =
        display::axisLabelTexts(scale.bottomOhms, scale.topOhms, width, w.readingsPerStep, true);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        w.lbl4Graf[i]->setCaption(QString::fromStdString(texts[i]));
    }

    w.pixXYgraf->Cls();
    w.DrawGraphGrid();

    w.stepSum = 0;
    if (!w.workingFiles.isOpen()) return;
    const display::ReplayResult replay =
        display::replayTrace(w.workingFiles.tstPath(), std::int64_t{w.recordNumber} - 1,
                             w.readingsPerStep, [&w](std::int32_t step, float ohms) {
                                 w.PlotGraphPoint(step, ohms, display::kLiveTraceColor);
                             });
    if (replay.stepsPlotted > 0) w.stepCount = 1;
    if (replay.openCount > 0) {
        // A step left open: the live readings that complete it add resistances, so carry the
        // resistances of its records, and count them so that the step still averages exactly
        // readingsPerStep readings.
        w.stepSum = replay.openOhms;
        w.stepCount = 1 + replay.openCount;
    }
}

void checkGraphRange(frmSylvane& w, std::int32_t y, float height) {
    if (!display::offScale(y, height)) {
        w.lblGrafError->setVisible(false);
        return;
    }
    const double sensitivity = captionValue(w.LblParams[3]);
    if (sensitivity >= display::kMaxSensitivity) {
        w.lblGrafError->resize(display::kMaximumNoticeWidth, w.lblGrafError->height());
        w.lblGrafError->setCaption(QString::fromLatin1(display::kMaximumNotice));
    } else {
        w.lblGrafError->resize(display::kReadjustingNoticeWidth, w.lblGrafError->height());
        w.lblGrafError->setCaption(QString::fromLatin1(display::kReadjustingNotice));
        // The changed caption makes the next reading redraw the session at the wider range.
        w.LblParams[3]->setCaption(QString::fromStdString(
            platform::standardText(display::widenedSensitivity(sensitivity))));
    }
    w.lblGrafError->setVisible(true);
}

} // namespace

void frmSylvane::GraphAndRecord() {
    if (!FilterReading()) return;

    const float width = pixXYgraf->ScaleWidth();
    const float height = pixXYgraf->ScaleHeight();
    const bool tooSmall = display::pictureTooSmall(width, height);

    const double baseValue = captionValue(lblSysADCstart);
    const double sensitivityValue = captionValue(LblParams[3]);
    const bool requested = graphRedrawNeeded || (graphDrawSkipped && !tooSmall);
    // Whatever is not drawn now is drawn by a full redraw once the picture is big enough.
    if (tooSmall) graphDrawSkipped = true;
    if (display::redrawDue(requested, baseValue, graphBaseADC, sensitivityValue,
                           graphSensitivity)) {
        if (!tooSmall) readingsPerStep = display::readingsPerStepFor(recordNumber, width);
        graphBaseADC = platform::nearest(baseValue);
        graphSensitivity = platform::nearest(sensitivityValue);
        // No reference reading yet, so no scale: this reading is neither drawn nor recorded.
        if (graphBaseADC == 0) return;
        if (!tooSmall) {
            redrawGraph(*this, width, height);
            graphDrawSkipped = false;
        }
        graphRedrawNeeded = false;
    }

    if (smoothedADC < 1) return;

    if (!tooSmall) {
        const std::int32_t perStep = std::max(1, readingsPerStep);
        stepSum += platform::resistanceOfAdc(smoothedADC);
        if (display::liveStepDue(stepCount, perStep)) {
            const auto value = static_cast<float>(static_cast<double>(stepSum) / perStep);
            const std::int32_t y = PlotGraphPoint(display::liveStepX(recordNumber, perStep), value,
                                                  display::kLiveTraceColor);
            checkGraphRange(*this, y, height);
            stepSum = 0;
        }
    }

    RecordReading();

    // The trace has reached the right edge: one more reading per step from the next redraw on.
    if (!tooSmall && display::widthOverflow(recordNumber, width)) {
        readingsPerStep = display::readingsPerStepFor(recordNumber, width);
        graphRedrawNeeded = true;
    }
}

std::int32_t frmSylvane::PlotGraphPoint(std::int32_t x, float ohms, std::uint32_t color) {
    const float width = pixXYgraf->ScaleWidth();
    const float height = pixXYgraf->ScaleHeight();
    const std::int32_t y = display::plotY(ohms, graphBottomOhms, graphYScale, height);
    if (display::pictureTooSmall(width, height)) return y;
    const std::int32_t xs = display::wrapX(x, width);
    // Every trace begins at step 1, so each begins with a single point.
    if (x == 1) {
        pixXYgraf->PSet(static_cast<float>(xs), static_cast<float>(y), color);
    } else {
        pixXYgraf->Line(static_cast<float>(xs), static_cast<float>(y), color);
    }
    return y;
}

void frmSylvane::DrawGraphGrid() {
    const bool savedOnShow = mnuDisplayOld->text() == QStringLiteral("Display another session");
    const std::uint32_t color = savedOnShow ? display::kSavedGridColor : display::kLiveGridColor;
    display::forEachGridDot(pixXYgraf->ScaleWidth(), pixXYgraf->ScaleHeight(),
                            [this, color](std::int32_t x, std::int32_t y) {
                                pixXYgraf->PSet(static_cast<float>(x), static_cast<float>(y),
                                                color);
                            });
    pixXYgraf->setDrawWidth(1);
}

} // namespace sylvane::app
