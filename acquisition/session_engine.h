#pragma once
// The session engine: the whole receive path and the session's state, in plain C++. It runs
// each event of a session in the program's order:
//   receive   one receive event of the serial port: frame search, link-silence reset, reference
//             latch, readouts (ShowReadings), then GraphAndRecord: the reading filter, the
//             picture graph's redraw decision and replay, the live step with its range check and
//             widening, the record, the compression of the time axis;
//   tick      the 200 ms timer: link watch, session clock, colour level, colour displays;
//   start / stop / discard   Start, Stop and Restart.
// What it decides goes out to followers: the view (readout texts, reference and sensitivity
// captions, clock, bars and lamps, a session that must end), the graph canvas (clear, axis
// labels, points and lines, range notice), the recorder (the working files) and any number of
// reading followers (statistics, markers). The window, the fuzzers and the benchmarks all drive
// this one engine.

#include "acquisition/readouts.h"
#include "acquisition/session_clock.h"
#include "display/color_levels.h"
#include "display/graph_math.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sylvane::storage {
class WorkingFiles;
}

namespace sylvane::acquisition {

// Why a session cannot go on.
enum class SessionEnd {
    LinkSilent,    // no receive event for more than 100 ticks
    RecordRefused, // the working files refused a reading
};

// What the bar graph and the lamps show: blank, or the paint of a colour level.
struct ColourDisplays {
    bool blank = true;
    display::BarGraphPaint bars;
    display::LampRowPaint lamps;
};

// What the window shows of a session.
class SessionView {
public:
    virtual ~SessionView() = default;
    // LblShnStf: empty fields leave their label as it is.
    virtual void showReadouts(const Readouts& readouts) = 0;
    // lblSysADCstart: " " from Start, the reference's standard text once latched.
    virtual void showReference(std::string_view caption) = 0;
    // LblParams(3) after the graph widened itself.
    virtual void showSensitivity(std::string_view caption) = 0;
    // LblParams(1): the elapsed session time.
    virtual void showElapsed(std::string_view text) = 0;
    virtual void showColourDisplays(const ColourDisplays& displays) = 0;
    // The session cannot go on: the window tells the user and stops it (Stop). Called at most
    // once until the next Start or Stop.
    virtual void sessionMustEnd(SessionEnd why, std::string_view detail) = 0;
};

// The picture graph's drawing surface, in its own units (pixels).
class GraphCanvas {
public:
    enum class Notice { Hidden, Readjusting, Maximum };
    virtual ~GraphCanvas() = default;
    virtual float scaleWidth() const = 0;
    virtual float scaleHeight() const = 0;
    virtual void clear() = 0;
    virtual void showAxisLabels(const std::array<std::string, 10>& texts) = 0;
    // PSet: one point; the drawing position moves there.
    virtual void dot(std::int32_t x, std::int32_t y, std::uint32_t color) = 0;
    // Line from the drawing position to (x, y).
    virtual void lineTo(std::int32_t x, std::int32_t y, std::uint32_t color) = 0;
    // The dotted grid: a point at each of dots.
    virtual void grid(std::span<const std::array<std::int32_t, 2>> dots, std::uint32_t color) {
        for (const auto& [x, y] : dots) dot(x, y, color);
    }
    virtual void showNotice(Notice notice) = 0;
    // A thin vertical line across the picture at x with a short label at its top (an event
    // marker); the drawing position stays where it was.
    virtual void verticalMark(std::int32_t /*x*/, std::string_view /*label*/,
                              std::uint32_t /*color*/) {}
};

// Maps a resistance to the picture and draws it: step 1 starts a trace with a point, later
// steps continue it with a line. Returns the picture y. Shared by the live graph and the
// saved-session display.
std::int32_t PlotGraphPoint(GraphCanvas& canvas, std::int32_t x, float ohms, std::uint32_t color,
                            float bottomOhms, float yScale);
// The dotted grid in a colour.
void DrawGraphGrid(GraphCanvas& canvas, std::uint32_t color);

// Follows the readings a session records (statistics, markers, export).
class ReadingFollower {
public:
    virtual ~ReadingFollower() = default;
    virtual void sessionStarted(float startClock) = 0;
    // Record number (1-based), the smoothed ADC value recorded and its time: the seconds from
    // Start to the arrival of its frame, as tempdata.tms keeps it (whole milliseconds).
    virtual void readingRecorded(std::int32_t recordNumber, std::int32_t value, double seconds) = 0;
    virtual void sessionStopped() = 0;
    // A full redraw has replayed the session's trace: what the follower draws on the graph is
    // drawn again here, at readingsPerStep readings a step.
    virtual void graphRedrawn(GraphCanvas& /*canvas*/, std::int32_t /*readingsPerStep*/) {}
};

// The session's state: the fields of the receive path, the filter, the readouts, the clock and
// the picture graph. Zero when the program starts.
struct SessionState {
    // Serial link and frame decoder.
    std::int32_t rawADC = 0;
    std::int32_t probeStatus = 0;
    bool frameReady = false;
    bool awaitingStartValue = false;
    std::int32_t stableCandidate = 0;
    std::int32_t stableCount = 0;
    std::int32_t silenceTicks = 0;
    // Reading filter: the window is never cleared, it carries over from session to session.
    std::array<std::int32_t, 6> adcWindow{};
    std::int32_t smoothedADC = 0;
    std::int32_t minADC = 0;
    std::int32_t maxADC = 0;
    // Readouts and timer.
    float targetColorLevel = 0;
    float sessionStartTime = 0;
    float colorLevel = 0;
    // Picture graph.
    std::int32_t graphBaseADC = 0;
    std::int32_t graphSensitivity = 0;
    float graphYScale = 0;
    float graphBottomOhms = 0;
    std::int32_t recordNumber = 0;
    std::int32_t readingsPerStep = 0;
    bool graphRedrawNeeded = false;
    float stepSum = 0;
    std::int32_t stepCount = 0;
    // Something was left undrawn while the picture was too small to draw on: redraw once it is
    // big enough.
    bool graphDrawSkipped = false;
    // The readings stopped for a while (the probe was away): the next live step starts a new
    // piece of trace instead of joining the last one.
    bool graphTraceBreak = false;
};

// What the engine has done, for the measurements and the fuzzers.
struct SessionCounts {
    std::int64_t frames = 0;
    std::int64_t redraws = 0;
    // Records the last redraw replayed, and the records written when it ran.
    std::int64_t lastReplayRecords = 0;
    std::int64_t lastReplayExpected = 0;
};

class SessionEngine {
public:
    SessionEngine(SessionView& view, GraphCanvas& canvas, storage::WorkingFiles& files);

    void addFollower(ReadingFollower* follower);
    void removeFollower(ReadingFollower* follower);

    // Seconds on a steady clock, which the reading times count in: the system's steady clock
    // unless a test, fuzzer or benchmark gives its own.
    void setSteadyClock(std::function<double()> clock);
    double steadyNow() const { return m_steady(); }

    // ---- events ----
    // One receive event with the bytes the port delivered (9 in normal use), whose last byte
    // arrived at `arrival` on the steady clock (now, when not given).
    void receive(std::span<const std::uint8_t> input);
    void receive(std::span<const std::uint8_t> input, double arrival);
    // One 200 ms tick; clock in seconds since midnight.
    void tick(float clock);

    enum class StartOutcome { Started, PortRefused, FilesRefused };
    // Start: resets the session, blanks the colour displays and the graph, then opens the port
    // (openPort, false when it cannot), then the working files, so that a missing or busy port
    // leaves the last session's files as they were. On FilesRefused *error says why. Only
    // Started leaves a session running.
    StartOutcome start(float clock, const std::function<bool()>& openPort, std::string* error);
    // Stop: paints the colour displays, writes the header with the comments and closes the
    // working files. False with *error when the header was refused (the files are closed). After
    // a refused reading the header is only kept in memory (WorkingFiles::unwrittenHeader): the
    // disk has just failed, and a session without its header is recovered at the next start.
    bool stop(const std::string& comments, std::string* error);
    // A session that could not start or must end without its header.
    void abandon();
    // Restart's first half: the working files closed without the header and deleted.
    void discard();

    // The panel layout or a shown picture graph asks for a full redraw at the next reading.
    void requestRedraw() { m_state.graphRedrawNeeded = true; }
    // The sensitivity caption (LblParams(3)) as the dialogs and settings left it.
    void setSensitivityCaption(std::string_view caption);
    const std::string& sensitivityCaption() const { return m_sensitivityCaption; }
    // The reference caption (lblSysADCstart).
    const std::string& referenceCaption() const { return m_referenceCaption; }
    void setReferenceCaption(std::string_view caption);

    // Blank bars and lamps; the paint of the current level (nothing while awaiting the reference).
    void DisplayInit();
    void DisplayUpdate();

    bool running() const { return m_running; }
    // Seconds from the session's Start to a moment of the steady clock, never negative.
    double secondsFromStart(double steady) const;
    // The time of the last recorded reading, in seconds from Start (0 before the first).
    double lastReadingSeconds() const { return m_lastReadingMs / 1000.0; }
    GraphCanvas& canvas() { return m_canvas; }
    SessionState& state() { return m_state; }
    const SessionState& state() const { return m_state; }
    const SessionCounts& counts() const { return m_counts; }
    storage::WorkingFiles& files() { return m_files; }

    // The steps of a receive event, by their names in the window's code.
    void ReadFrame(std::span<const std::uint8_t> input);
    void ShowReadings();
    void GraphAndRecord();
    void StepColorLevel();

private:
    void redrawGraph(float width, float height);
    void checkGraphRange(std::int32_t y);
    void recordReading();

    SessionView& m_view;
    GraphCanvas& m_canvas;
    storage::WorkingFiles& m_files;
    std::vector<ReadingFollower*> m_followers;
    std::function<double()> m_steady;
    double m_startSteady = 0;
    double m_frameArrival = 0;
    std::uint32_t m_lastReadingMs = 0;

    SessionState m_state;
    SessionCounts m_counts;
    bool m_running = false;
    bool m_ending = false;
    bool m_recordRefused = false;
    MidnightCount m_midnights;
    std::string m_referenceCaption = "0";
    double m_referenceValue = 0;
    std::string m_sensitivityCaption;
    double m_sensitivityValue = 0;
    ReadoutFormatter m_readouts;
    // The grid's dots for the picture size they were worked out for.
    float m_gridWidth = -1;
    float m_gridHeight = -1;
    std::vector<std::array<std::int32_t, 2>> m_gridDots;
};

} // namespace sylvane::acquisition
