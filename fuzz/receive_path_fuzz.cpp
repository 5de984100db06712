// The receive path on any byte stream: the stream is cut into the 9-byte receive events the
// serial link raises, and each event goes through the frame search, the reference latch, the
// readouts, the reading filter, the picture graph (scale, redraw with its replay of the session
// from tempdata.tst, live step, range check and widening, time-axis compression) and the
// recording, in the order the window runs them. Whatever the bytes, nothing may trap, the
// filter's mean and extremes must hold, every redraw must replay every record written so far,
// and the working files must hold exactly one record and one line per recorded reading.
//
// The first byte picks the picture's size and the sensitivity caption; the rest is the stream.

#include "acquisition/frame_decoder.h"
#include "acquisition/reading_filter.h"
#include "acquisition/readouts.h"
#include "display/graph_math.h"
#include "display/trace_replay.h"
#include "platform/free_format.h"
#include "platform/number_rules.h"
#include "storage/working_files.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

namespace {

namespace acq = sylvane::acquisition;
namespace fs = std::filesystem;

void check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "receive path: %s\n", what);
    std::abort();
}

// The frame search written out plainly, to hold the decoder to.
bool hasSyncAt(std::span<const std::uint8_t> b, std::size_t i) {
    return b[i % 9] == 0xAA && b[(i + 1) % 9] == 0xAA && b[(i + 2) % 9] == 0x01;
}

std::string fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A folder of our own for the working files, on a memory file system when there is one: the
// files are rewritten for every input.
const fs::path& workFolder() {
    static const fs::path folder = [] {
        fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        fs::path f = base / ("sylvane-fuzz-receive-" + std::to_string(::getpid()));
        fs::create_directories(f);
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(workFolder(), ignored);
        });
        return f;
    }();
    return folder;
}

// The window's fields that the receive path touches.
struct Fields {
    std::int32_t rawADC = 0;
    std::int32_t probeStatus = 0;
    bool frameReady = false;
    bool awaitingStartValue = true;
    std::int32_t stableCandidate = 0;
    std::int32_t stableCount = 0;
    std::string lblSysADCstart = " ";
    std::array<std::int32_t, 6> adcWindow{};
    std::int32_t smoothedADC = 0;
    std::int32_t minADC = 4095;
    std::int32_t maxADC = 0;
    std::int32_t recordNumber = 1;
    // The picture graph.
    std::string sensitivityCaption;
    std::int32_t graphBaseADC = 0;
    std::int32_t graphSensitivity = 0;
    float graphYScale = 0;
    float graphBottomOhms = 0;
    std::int32_t readingsPerStep = 1;
    bool graphRedrawNeeded = false;
    float stepSum = 0;
    std::int32_t stepCount = 0;
};

struct Picture {
    float width;
    float height;
};
constexpr Picture kPictures[8] = {{669, 269}, {480, 300}, {10, 10},     {9, 300},
                                  {300, 9},   {1, 1},     {2000, 1500}, {10000, 10}};
constexpr const char* kSensitivityCaptions[8] = {"25",  "20",  "1000", "100",
                                                 "101", "999", " 882", "25.5"};

// PlotGraphPoint without the drawing: where the point lands.
std::int32_t plot(const Fields& f, const Picture& p, std::int32_t x, float ohms) {
    const std::int32_t y =
        sylvane::display::plotY(ohms, f.graphBottomOhms, f.graphYScale, p.height);
    if (sylvane::display::pictureTooSmall(p.width, p.height)) return y;
    const std::int32_t xs = sylvane::display::wrapX(x, p.width);
    check(xs >= 0 && xs < sylvane::platform::nearest(p.width), "a step lands off the picture");
    return y;
}

// The full redraw: scale, labels, grid, and the replay of every record written so far.
void redraw(Fields& f, const Picture& p, const fs::path& tst) {
    const auto scale = sylvane::display::liveScale(f.graphBaseADC, f.graphSensitivity, p.height);
    f.graphYScale = scale.yScale;
    f.graphBottomOhms = scale.bottomOhms;
    for (const std::string& text : sylvane::display::axisLabelTexts(
             scale.bottomOhms, scale.topOhms, p.width, f.readingsPerStep, true))
        check(!text.empty() && text.size() <= 6, "an axis label of unexpected length");
    std::int64_t dots = 0;
    sylvane::display::forEachGridDot(p.width, p.height,
                                     [&](std::int32_t, std::int32_t) { ++dots; });
    check(dots <= 5 * (p.width / 10 + 2) + 5 * (p.height / 10 + 2), "too many grid dots");

    f.stepSum = 0;
    const std::int64_t written = std::int64_t{f.recordNumber} - 1;
    std::int64_t plotted = 0;
    const auto replay = sylvane::display::replayTrace(tst, written, f.readingsPerStep,
                                                      [&](std::int32_t step, float ohms) {
                                                          ++plotted;
                                                          plot(f, p, step, ohms);
                                                      });
    check(replay.readOk && replay.recordsRead == written,
          "the redraw did not replay every record written so far");
    check(plotted == written / std::max(1, f.readingsPerStep), "the replay's steps are off");
    if (replay.stepsPlotted > 0) f.stepCount = 1;
    if (replay.openCount > 0) {
        f.stepSum = replay.openOhms;
        f.stepCount = 1 + replay.openCount;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const Picture picture = kPictures[data[0] & 7];
    const std::span<const std::uint8_t> stream(data + 1, size - 1);
    size -= 1;
    Fields f;
    f.sensitivityCaption = kSensitivityCaptions[(data[0] >> 3) & 7];
    sylvane::storage::WorkingFiles files;
    check(files.open(workFolder()), "the working files cannot be opened");
    std::vector<std::int32_t> recorded;
    std::vector<std::int32_t> rawSeen;

    std::size_t at = 0;
    for (; at + acq::kFrameLength <= size; at += acq::kFrameLength) {
        const auto event = stream.subspan(at, acq::kFrameLength);

        // ReadFrame
        const auto frame = acq::findFrame(event);
        std::size_t firstSync = 9;
        for (std::size_t i = 0; i < 9 && firstSync == 9; ++i)
            if (hasSyncAt(event, i)) firstSync = i;
        check(frame.has_value() == (firstSync < 9), "frame found where there is none, or missed");
        if (frame) {
            check(frame->start == firstSync, "not the first sync position");
            check(frame->adc == event[(firstSync + 5) % 9] * 256 + event[(firstSync + 4) % 9],
                  "ADC value decoded from the wrong bytes");
            check(frame->status == event[(firstSync + 6) % 9], "status from the wrong byte");
            f.frameReady = true;
            f.rawADC = frame->adc;
            f.probeStatus = frame->status;
            rawSeen.push_back(f.rawADC);
        }

        // OnComm: the latch runs on the latest frame's values, frame or not.
        if (const auto reference = acq::latchReference(f.awaitingStartValue, f.stableCandidate,
                                                       f.stableCount, f.rawADC, f.probeStatus)) {
            check(!f.awaitingStartValue && f.stableCount == 11, "latched at the wrong count");
            check(*reference == f.rawADC, "latched a value the probe did not report");
            f.lblSysADCstart = sylvane::platform::standardText(*reference);
        }
        if (!f.frameReady) continue;
        f.frameReady = false;

        // ShowReadings
        acq::ReadoutInputs in;
        in.smoothedADC = f.smoothedADC;
        in.rawADC = f.rawADC;
        in.probeStatus = f.probeStatus;
        in.reference = sylvane::platform::numericValue(f.lblSysADCstart);
        in.graphSensitivity = 25;
        in.sessionRunning = true;
        const acq::Readouts out = acq::computeReadouts(in);
        if (out.resistance) check(out.resistance->size() <= 9, "resistance text too long");
        if (out.conductance) check(out.conductance->size() <= 8, "conductance text too long");
        if (out.change) check(out.change->ends_with(" %"), "change text without its unit");

        // GraphAndRecord: the filter, then the record.
        const std::int32_t before = f.smoothedADC;
        const bool accepted = acq::filterReading({f.adcWindow, f.smoothedADC, f.minADC, f.maxADC},
                                                 f.rawADC, f.probeStatus);
        if (!accepted) {
            check(f.smoothedADC == before, "a rejected reading moved the mean");
            continue;
        }
        const std::int64_t sum = std::int64_t{f.adcWindow[1]} + f.adcWindow[2] + f.adcWindow[3] +
                                 f.adcWindow[4] + f.adcWindow[5];
        check(f.smoothedADC == sylvane::platform::nearest(static_cast<double>(sum) / 5.0),
              "the mean is not the mean of the window");
        if (before != 0) {
            const std::int64_t step = std::int64_t{f.rawADC} - before;
            check(step >= -acq::kLargestStep && step <= acq::kLargestStep,
                  "the slew limit let a larger step through");
        }
        check(f.minADC <= f.smoothedADC && f.smoothedADC <= f.maxADC,
              "the mean is outside the session's extremes");
        // The picture graph, then the record.
        const bool tooSmall = sylvane::display::pictureTooSmall(picture.width, picture.height);
        const double baseValue = sylvane::platform::numericValue(f.lblSysADCstart);
        const double sensitivityValue = sylvane::platform::numericValue(f.sensitivityCaption);
        if (sylvane::display::redrawDue(f.graphRedrawNeeded, baseValue, f.graphBaseADC,
                                        sensitivityValue, f.graphSensitivity)) {
            if (!tooSmall)
                f.readingsPerStep =
                    sylvane::display::readingsPerStepFor(f.recordNumber, picture.width);
            check(f.readingsPerStep >= 1, "fewer than one reading a step");
            f.graphBaseADC = sylvane::platform::nearest(baseValue);
            f.graphSensitivity = sylvane::platform::nearest(sensitivityValue);
            if (f.graphBaseADC == 0) continue;
            if (!tooSmall) redraw(f, picture, files.tstPath());
            f.graphRedrawNeeded = false;
        }
        if (f.smoothedADC < 1) continue;
        if (!tooSmall) {
            const std::int32_t perStep = std::max(1, f.readingsPerStep);
            f.stepSum += sylvane::platform::resistanceOfAdc(f.smoothedADC);
            if (sylvane::display::liveStepDue(f.stepCount, perStep)) {
                const auto value = static_cast<float>(static_cast<double>(f.stepSum) / perStep);
                const std::int32_t y =
                    plot(f, picture, sylvane::display::liveStepX(f.recordNumber, perStep), value);
                if (sylvane::display::offScale(y, picture.height) && sensitivityValue < 1000) {
                    const std::int32_t wider =
                        sylvane::display::widenedSensitivity(sensitivityValue);
                    check(wider <= 1000 && wider >= sylvane::platform::nearest(sensitivityValue),
                          "the widening narrowed the graph or passed 1000");
                    f.sensitivityCaption = sylvane::platform::standardText(wider);
                }
                f.stepSum = 0;
            }
        }
        check(files.record(f.recordNumber, f.smoothedADC), "a record was refused");
        recorded.push_back(f.smoothedADC);
        f.recordNumber += 1;
        f.stepCount += 1;
        if (!tooSmall && sylvane::display::widthOverflow(f.recordNumber, picture.width)) {
            f.readingsPerStep = sylvane::display::readingsPerStepFor(f.recordNumber, picture.width);
            f.graphRedrawNeeded = true;
        }
    }
    // A read shorter than a frame is never taken for one.
    check(!acq::findFrame(stream.subspan(at)), "a short read gave a frame");

    check(files.writeHeaderAndClose(f.minADC, f.maxADC, " "), "the header was refused");
    std::string tst;
    std::string txt;
    for (const std::int32_t v : recorded) {
        const auto u = static_cast<std::uint32_t>(v);
        for (int k = 0; k < 4; ++k) tst += static_cast<char>((u >> (8 * k)) & 0xFF);
        txt += sylvane::platform::numberLine(v);
    }
    check(fileBytes(files.tstPath()) == tst, "tempdata.tst does not hold the recorded readings");
    check(fileBytes(files.txtPath()) == txt, "tempdata.txt does not hold the recorded readings");
    return 0;
}
