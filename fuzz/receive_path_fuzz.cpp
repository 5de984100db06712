// The session engine on any byte stream: the stream is cut into the 9-byte receive events the
// serial link raises, with a timer tick now and then, and every event runs through the engine
// exactly as the window runs it. The working files are kept in memory. Whatever the bytes,
// nothing may trap, the filter's mean and extremes must hold, every redraw must replay every
// record written so far, every point must land on the picture, and the working files must hold
// exactly one record and one line for each reading the engine recorded.
//
// The first byte picks the picture's size, the sensitivity caption and how often the timer ticks
// (after every event, every 3rd or every 26th, or five times after each event as when frames come
// slower than the timer: a slow or failing link, where the colour level and the silence count
// travel their whole range within a short input); the rest is the stream.

#include "acquisition/frame_decoder.h"
#include "acquisition/reading_filter.h"
#include "acquisition/session_engine.h"
#include "platform/free_format.h"
#include "platform/number_rules.h"
#include "storage/file_store.h"
#include "storage/working_files.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace {

namespace acq = sylvane::acquisition;
namespace st = sylvane::storage;

void check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "receive path: %s\n", what);
    std::abort();
}

struct Picture {
    float width;
    float height;
};
constexpr Picture kPictures[8] = {{669, 269}, {480, 300}, {10, 10},     {9, 300},
                                  {300, 9},   {1, 1},     {2000, 1500}, {10000, 10}};
constexpr const char* kSensitivityCaptions[8] = {"25",  "20",  "1000", "100",
                                                 "101", "999", " 882", "25.5"};

class Canvas final : public acq::GraphCanvas {
public:
    explicit Canvas(Picture p)
        : m_p(p), m_steps(std::max(1, sylvane::platform::nearest(p.width))) {}
    float scaleWidth() const override { return m_p.width; }
    float scaleHeight() const override { return m_p.height; }
    void clear() override {}
    void showAxisLabels(const std::array<std::string, 10>& texts) override {
        for (const std::string& text : texts)
            check(!text.empty() && text.size() <= 6, "an axis label of unexpected length");
    }
    // Grid dots reach the full width; trace steps wrap before it.
    void dot(std::int32_t x, std::int32_t, std::uint32_t) override { onPicture(x, 1); }
    void lineTo(std::int32_t x, std::int32_t, std::uint32_t) override { onPicture(x, 0); }
    // The grid is the same for every redraw of a picture: its dots are checked once.
    void grid(std::span<const std::array<std::int32_t, 2>> dots, std::uint32_t) override {
        if (m_gridChecked) return;
        m_gridChecked = true;
        for (const auto& dot : dots) onPicture(dot[0], 1);
    }
    void showNotice(Notice) override {}

private:
    void onPicture(std::int32_t x, std::int32_t edge) const {
        check(x >= 0 && x < m_steps + edge, "a point off the picture");
    }
    Picture m_p;
    std::int32_t m_steps;
    bool m_gridChecked = false;
};

class View final : public acq::SessionView {
public:
    void showReadouts(const acq::Readouts& out) override {
        if (out.resistance) check(out.resistance->size() <= 9, "resistance text too long");
        if (out.conductance) check(out.conductance->size() <= 8, "conductance text too long");
        if (out.change) check(out.change->ends_with(" %"), "change text without its unit");
    }
    void showReference(std::string_view caption) override { reference = caption; }
    void showSensitivity(std::string_view caption) override {
        const double value = sylvane::platform::numericValue(caption);
        check(value >= 1 && value <= 1000, "the widening passed 1000");
        widenings += 1;
    }
    void showElapsed(std::string_view) override {}
    void showColourDisplays(const acq::ColourDisplays& d) override {
        check(d.blank || (d.bars.lastLit >= 0 && d.bars.lastLit < 32 && d.lamps.step >= 0 &&
                          d.lamps.step < 8),
              "colour displays out of range");
    }
    void sessionMustEnd(acq::SessionEnd why, std::string_view) override {
        check(why == acq::SessionEnd::LinkSilent, "the memory files refused a reading");
        endings += 1;
    }
    std::string reference;
    int widenings = 0;
    int endings = 0;
};

// Every reading the engine hands its followers.
class Recorded final : public acq::ReadingFollower {
public:
    void sessionStarted(float) override {}
    void readingRecorded(std::int32_t record, std::int32_t value, double seconds) override {
        check(record == static_cast<std::int32_t>(values.size()) + 1, "records out of order");
        check(seconds == expectedSeconds, "a reading's time is not its frame's arrival");
        values.push_back(value);
        times.push_back(seconds);
    }
    void sessionStopped() override {}
    std::vector<std::int32_t> values;
    std::vector<double> times;
    double expectedSeconds = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const Picture picture = kPictures[data[0] & 7];
    constexpr struct {
        int events;
        int ticks;
    } kTicks[4] = {{3, 1}, {1, 1}, {1, 5}, {26, 1}};
    const auto ticking = kTicks[data[0] >> 6];
    const std::span<const std::uint8_t> stream(data + 1, size - 1);

    auto memory = std::make_unique<st::MemoryFileStore>();
    st::MemoryFileStore& store = *memory;
    st::WorkingFiles files(std::move(memory));
    View view;
    Canvas canvas(picture);
    Recorded recorded;
    acq::SessionEngine engine(view, canvas, files);
    // Frames arrive at the line's full rate, 53 a second, on a steady clock of the fuzzer's own.
    double steady = 5000.0;
    engine.setSteadyClock([&steady] { return steady; });
    engine.addFollower(&recorded);
    engine.setSensitivityCaption(kSensitivityCaptions[(data[0] >> 3) & 7]);
    engine.state().awaitingStartValue = true;
    check(engine.start(36000.0f, {}, nullptr) == acq::SessionEngine::StartOutcome::Started,
          "the memory files cannot be opened");

    const acq::SessionState& s = engine.state();
    std::size_t at = 0;
    int events = 0;
    int ticks = 0;
    for (; at + acq::kFrameLength <= stream.size(); at += acq::kFrameLength) {
        const std::int32_t meanBefore = s.smoothedADC;
        const std::int64_t redrawsBefore = engine.counts().redraws;
        const auto recordedBefore = static_cast<std::int64_t>(recorded.values.size());
        const double arrival = steady + static_cast<double>(events + 1) * 0.0189;
        recorded.expectedSeconds = std::round((arrival - 5000.0) * 1000.0) / 1000.0;
        engine.receive(stream.subspan(at, acq::kFrameLength), arrival);
        if (s.smoothedADC != meanBefore) {
            std::int64_t sum = 0;
            for (int i = 1; i <= 5; ++i) sum += s.adcWindow[static_cast<std::size_t>(i)];
            check(s.smoothedADC == sylvane::platform::nearest(static_cast<double>(sum) / 5.0),
                  "the mean is not the mean of the window");
            if (meanBefore != 0) {
                const std::int64_t step = std::int64_t{s.rawADC} - meanBefore;
                check(step >= -acq::kLargestStep && step <= acq::kLargestStep,
                      "the slew limit let a larger step through");
            }
            check(s.minADC <= s.smoothedADC && s.smoothedADC <= s.maxADC,
                  "the mean is outside the session's extremes");
        }
        if (engine.counts().redraws != redrawsBefore) {
            check(engine.counts().lastReplayExpected == recordedBefore &&
                      engine.counts().lastReplayRecords == recordedBefore,
                  "the redraw did not replay every record written so far");
        }
        check(s.readingsPerStep >= 1, "fewer than one reading a step");
        if (++events % ticking.events != 0) continue;
        for (int k = 0; k < ticking.ticks; ++k) {
            ticks += 1;
            engine.tick(36000.0f + static_cast<float>(ticks) * 0.2f);
        }
    }
    // A read shorter than a frame is never taken for one.
    check(!acq::findFrame(stream.subspan(at)), "a short read gave a frame");

    check(engine.stop(" ", nullptr), "the header was refused");
    check(s.recordNumber - 1 == static_cast<std::int32_t>(recorded.values.size()),
          "the record number does not count the readings recorded");
    std::string tst;
    std::string txt;
    std::string tms;
    for (std::size_t i = 0; i < recorded.values.size(); ++i) {
        const auto u = static_cast<std::uint32_t>(recorded.values[i]);
        const auto ms = static_cast<std::uint32_t>(std::lround(recorded.times[i] * 1000.0));
        for (int k = 0; k < 4; ++k) {
            tst += static_cast<char>((u >> (8 * k)) & 0xFF);
            tms += static_cast<char>((ms >> (8 * k)) & 0xFF);
        }
        txt += sylvane::platform::numberLine(recorded.values[i]);
    }
    check(store.bytes(st::WorkingFile::Tms) == tms,
          "tempdata.tms does not hold the recorded readings' times");
    check(store.bytes(st::WorkingFile::Tst) == tst,
          "tempdata.tst does not hold the recorded readings");
    check(store.bytes(st::WorkingFile::Txt) == txt,
          "tempdata.txt does not hold the recorded readings");
    return 0;
}
