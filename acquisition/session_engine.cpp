#include "acquisition/session_engine.h"

#include "acquisition/frame_decoder.h"
#include "acquisition/reading_filter.h"
#include "platform/number_rules.h"
#include "platform/steady_time.h"
#include "storage/working_files.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace sylvane::acquisition {

namespace pf = platform;

namespace {
constexpr std::int32_t kSilenceLimit = 100;
} // namespace

std::int32_t PlotGraphPoint(GraphCanvas& canvas, std::int32_t x, float ohms, std::uint32_t color,
                            float bottomOhms, float yScale) {
    const float width = canvas.scaleWidth();
    const float height = canvas.scaleHeight();
    const std::int32_t y = display::plotY(ohms, bottomOhms, yScale, height);
    if (display::pictureTooSmall(width, height)) return y;
    const std::int32_t xs = display::wrapX(x, width);
    // Every trace begins at step 1, so each begins with a single point.
    if (x == 1) {
        canvas.dot(xs, y, color);
    } else {
        canvas.lineTo(xs, y, color);
    }
    return y;
}

void DrawGraphGrid(GraphCanvas& canvas, std::uint32_t color) {
    display::forEachGridDot(canvas.scaleWidth(), canvas.scaleHeight(),
                            [&](std::int32_t x, std::int32_t y) { canvas.dot(x, y, color); });
}

SessionEngine::SessionEngine(SessionView& view, GraphCanvas& canvas, storage::WorkingFiles& files)
    : m_view(view), m_canvas(canvas), m_files(files), m_steady(platform::steadySeconds) {}

void SessionEngine::setSteadyClock(std::function<double()> clock) {
    m_steady = clock ? std::move(clock) : std::function<double()>(platform::steadySeconds);
}

double SessionEngine::secondsFromStart(double steady) const {
    const double seconds = steady - m_startSteady;
    return std::isfinite(seconds) && seconds > 0 ? seconds : 0.0;
}

void SessionEngine::addFollower(ReadingFollower* follower) {
    m_followers.push_back(follower);
}

void SessionEngine::removeFollower(ReadingFollower* follower) {
    std::erase(m_followers, follower);
}

void SessionEngine::setSensitivityCaption(std::string_view caption) {
    if (caption == m_sensitivityCaption) return;
    m_sensitivityCaption = caption;
    m_sensitivityValue = pf::numericValue(caption);
}

void SessionEngine::setReferenceCaption(std::string_view caption) {
    m_referenceCaption = caption;
    m_referenceValue = pf::numericValue(caption);
    m_view.showReference(m_referenceCaption);
}

// ---- receive event ----

void SessionEngine::receive(std::span<const std::uint8_t> input) {
    receive(input, m_steady());
}

void SessionEngine::receive(std::span<const std::uint8_t> input, double arrival) {
    ++m_counts.frames;
    m_frameArrival = arrival;
    ReadFrame(input);
    m_state.silenceTicks = 0;
    SessionState& s = m_state;
    // The latch looks at the latest frame's values even when this event held no frame.
    if (const auto reference = latchReference(s.awaitingStartValue, s.stableCandidate,
                                              s.stableCount, s.rawADC, s.probeStatus)) {
        setReferenceCaption(pf::standardText(*reference));
    }
    if (s.frameReady) {
        s.frameReady = false;
        ShowReadings();
        GraphAndRecord();
    }
}

void SessionEngine::ReadFrame(std::span<const std::uint8_t> input) {
    const auto frame = findFrame(input);
    if (!frame) return;
    m_state.frameReady = true;
    m_state.rawADC = frame->adc;
    m_state.probeStatus = frame->status;
}

void SessionEngine::ShowReadings() {
    ReadoutInputs in;
    in.smoothedADC = m_state.smoothedADC;
    in.rawADC = m_state.rawADC;
    in.probeStatus = m_state.probeStatus;
    in.reference = m_referenceValue;
    in.graphSensitivity = m_state.graphSensitivity;
    in.sessionRunning = m_running;
    const Readouts& out = m_readouts.compute(in);
    if (out.targetColorLevel) m_state.targetColorLevel = *out.targetColorLevel;
    m_view.showReadouts(out);
}

void SessionEngine::GraphAndRecord() {
    SessionState& s = m_state;
    if (!filterReading({s.adcWindow, s.smoothedADC, s.minADC, s.maxADC}, s.rawADC, s.probeStatus))
        return;

    const float width = m_canvas.scaleWidth();
    const float height = m_canvas.scaleHeight();
    const bool tooSmall = display::pictureTooSmall(width, height);

    // The labels are compared by the whole-number values the scale takes, so a caption such as
    // "25.5" cannot force a full redraw on every reading.
    const std::int32_t base = pf::nearest(m_referenceValue);
    const std::int32_t sensitivity = pf::nearest(m_sensitivityValue);
    const bool labelsChanged = base != s.graphBaseADC || sensitivity != s.graphSensitivity;
    const bool requested = s.graphRedrawNeeded || (s.graphDrawSkipped && !tooSmall);
    // Whatever is not drawn now is drawn by a full redraw once the picture is big enough.
    if (tooSmall) s.graphDrawSkipped = true;
    if (requested || labelsChanged) {
        if (!tooSmall) s.readingsPerStep = display::readingsPerStepFor(s.recordNumber, width);
        s.graphBaseADC = base;
        s.graphSensitivity = sensitivity;
        if (base == 0) {
            // No reference reading yet, so no scale. The reading that finds the labels changed
            // is neither drawn nor recorded; a redraw that was only asked for waits for the
            // latch, whose new caption brings one anyway, and the reading is recorded.
            if (labelsChanged) return;
        } else {
            if (!tooSmall) {
                redrawGraph(width, height);
                s.graphDrawSkipped = false;
            }
            s.graphRedrawNeeded = false;
        }
    }

    if (s.smoothedADC < 1) return;

    if (!tooSmall) {
        const std::int32_t perStep = std::max(1, s.readingsPerStep);
        s.stepSum += pf::resistanceOfAdc(s.smoothedADC);
        if (display::liveStepDue(s.stepCount, perStep)) {
            const auto value = static_cast<float>(static_cast<double>(s.stepSum) / perStep);
            const std::int32_t x = display::liveStepX(s.recordNumber, perStep);
            if (s.graphTraceBreak) {
                // No line across the gap: the trace goes on from a point of its own.
                s.graphTraceBreak = false;
                m_canvas.dot(display::wrapX(x, width),
                             display::plotY(value, s.graphBottomOhms, s.graphYScale, height),
                             display::kLiveTraceColor);
            }
            const std::int32_t y = PlotGraphPoint(m_canvas, x, value, display::kLiveTraceColor,
                                                  s.graphBottomOhms, s.graphYScale);
            checkGraphRange(y);
            s.stepSum = 0;
        }
    }

    recordReading();

    // The trace has reached the right edge: one more reading per step from the next redraw on.
    if (!tooSmall && display::widthOverflow(s.recordNumber, width)) {
        s.readingsPerStep = display::readingsPerStepFor(s.recordNumber, width);
        s.graphRedrawNeeded = true;
    }
}

void SessionEngine::redrawGraph(float width, float height) {
    SessionState& s = m_state;
    const display::GraphScale scale =
        display::liveScale(s.graphBaseADC, s.graphSensitivity, height);
    s.graphYScale = scale.yScale;
    s.graphBottomOhms = scale.bottomOhms;
    m_canvas.showAxisLabels(
        display::axisLabelTexts(scale.bottomOhms, scale.topOhms, width, s.readingsPerStep, true));
    m_canvas.clear();
    if (width != m_gridWidth || height != m_gridHeight) {
        m_gridWidth = width;
        m_gridHeight = height;
        m_gridDots.clear();
        display::forEachGridDot(width, height, [this](std::int32_t x, std::int32_t y) {
            m_gridDots.push_back({x, y});
        });
    }
    m_canvas.grid(m_gridDots, display::kLiveGridColor);

    ++m_counts.redraws;
    s.stepSum = 0;
    const std::int64_t written = std::int64_t{s.recordNumber} - 1;
    m_counts.lastReplayExpected = written;
    m_counts.lastReplayRecords = 0;
    if (!m_files.isOpen()) return;
    display::TraceStepper stepper(s.readingsPerStep);
    const auto plot = [&](std::int32_t step, float ohms) {
        PlotGraphPoint(m_canvas, step, ohms, display::kLiveTraceColor, s.graphBottomOhms,
                       s.graphYScale);
    };
    m_counts.lastReplayRecords = m_files.readRecords(
        1, written, [&](std::int64_t first, std::span<const std::int32_t> values) {
            stepper.feed(first, values, plot);
        });
    if (stepper.stepsPlotted() > 0) s.stepCount = 1;
    if (stepper.openCount() > 0) {
        // A step left open: the live readings that complete it add resistances, so carry the
        // resistances of its records, and count them so that the step still averages exactly
        // readingsPerStep readings.
        s.stepSum = stepper.openOhms();
        s.stepCount = 1 + stepper.openCount();
    }
    for (ReadingFollower* f : m_followers) f->graphRedrawn(m_canvas, s.readingsPerStep);
}

void SessionEngine::checkGraphRange(std::int32_t y) {
    if (!display::offScale(y, m_canvas.scaleHeight())) {
        m_canvas.showNotice(GraphCanvas::Notice::Hidden);
        return;
    }
    if (m_sensitivityValue >= display::kMaxSensitivity) {
        m_canvas.showNotice(GraphCanvas::Notice::Maximum);
        return;
    }
    // The changed caption makes the next reading redraw the session at the wider range.
    setSensitivityCaption(pf::standardText(display::widenedSensitivity(m_sensitivityValue)));
    m_view.showSensitivity(m_sensitivityCaption);
    m_canvas.showNotice(GraphCanvas::Notice::Readjusting);
}

void SessionEngine::recordReading() {
    SessionState& s = m_state;
    // Readings that arrive after the session has ended (the port delivered them before it was
    // closed) have no files to go to.
    if (!m_files.isOpen()) return;
    // Whole milliseconds from Start, never before the reading recorded last.
    const double ms = std::round(secondsFromStart(m_frameArrival) * 1000.0);
    const auto time =
        std::max(m_lastReadingMs,
                 static_cast<std::uint32_t>(
                     std::min(ms, static_cast<double>(std::numeric_limits<std::uint32_t>::max()))));
    std::string error;
    if (!m_files.record(s.recordNumber, s.smoothedADC, time, &error)) {
        m_recordRefused = true;
        if (!m_ending) {
            m_ending = true;
            m_view.sessionMustEnd(SessionEnd::RecordRefused, error);
        }
        return;
    }
    m_lastReadingMs = time;
    for (ReadingFollower* f : m_followers)
        f->readingRecorded(s.recordNumber, s.smoothedADC, time / 1000.0);
    s.recordNumber += 1;
    s.stepCount += 1;
}

// ---- timer tick ----

void SessionEngine::tick(float clock) {
    SessionState& s = m_state;
    if (m_running) {
        s.silenceTicks += 1;
        if (s.silenceTicks > kSilenceLimit && !m_ending) {
            m_ending = true;
            m_view.sessionMustEnd(SessionEnd::LinkSilent, {});
        }
    }
    if (m_running) {
        m_view.showElapsed(pf::formatTime(elapsedSeconds(s.sessionStartTime, clock, m_midnights)));
    }
    StepColorLevel();
    DisplayUpdate();
}

void SessionEngine::StepColorLevel() {
    m_state.colorLevel = stepColorLevel(m_state.colorLevel, m_state.targetColorLevel,
                                        m_state.probeStatus, m_running);
}

void SessionEngine::DisplayInit() {
    m_view.showColourDisplays(ColourDisplays{});
}

void SessionEngine::DisplayUpdate() {
    // Until the session has its reference reading the rows stay blank.
    if (m_state.awaitingStartValue) return;
    m_view.showColourDisplays(ColourDisplays{false, display::barGraphOf(m_state.colorLevel),
                                             display::lampRowOf(m_state.colorLevel)});
}

// ---- Start, Stop, Restart ----

SessionEngine::StartOutcome SessionEngine::start(float clock, const std::function<bool()>& openPort,
                                                 std::string* error) {
    SessionState& s = m_state;
    s.minADC = 4095;
    s.maxADC = 0;
    s.graphRedrawNeeded = false;
    s.recordNumber = 1;
    s.readingsPerStep = 1;
    // A step the last session left unfinished must not be averaged into this session's trace.
    s.stepSum = 0;
    m_canvas.clear();
    m_running = true;
    m_ending = false;
    m_recordRefused = false;
    DisplayInit();
    s.stableCount = 0;
    s.awaitingStartValue = true;
    setReferenceCaption(" ");
    s.targetColorLevel = 255;
    s.colorLevel = 255;
    s.sessionStartTime = clock;
    m_startSteady = m_steady();
    m_lastReadingMs = 0;
    // A stop during a silence must not shorten the next session's timeout.
    s.silenceTicks = 0;
    startCounting(m_midnights, clock);

    if (openPort && !openPort()) {
        abandon();
        return StartOutcome::PortRefused;
    }
    if (!m_files.open(error)) {
        abandon();
        return StartOutcome::FilesRefused;
    }
    for (ReadingFollower* f : m_followers) f->sessionStarted(clock);
    return StartOutcome::Started;
}

void SessionEngine::abandon() {
    m_files.close();
    m_running = false;
    m_ending = false;
}

bool SessionEngine::stop(const std::string& comments, std::string* error) {
    m_running = false;
    DisplayUpdate();
    bool written = true;
    if (m_files.isOpen() && m_recordRefused) {
        m_files.closeKeepingHeader(m_state.minADC, m_state.maxADC, comments);
    } else if (m_files.isOpen()) {
        written = m_files.writeHeaderAndClose(m_state.minADC, m_state.maxADC, comments, error);
    }
    m_ending = false;
    for (ReadingFollower* f : m_followers) f->sessionStopped();
    return written;
}

void SessionEngine::discard() {
    m_files.discard();
    m_running = false;
    m_ending = false;
}

} // namespace sylvane::acquisition
