#include "acquisition/frame_decoder.h"
#include "acquisition/reading_filter.h"
#include "acquisition/readouts.h"
#include "acquisition/serial_device_order.h"
#include "acquisition/serial_settings.h"
#include "acquisition/session_clock.h"
#include "acquisition/session_markers.h"
#include "tests/support/engine_harness.h"
#include "tests/unit/unit_support.h"

#include "probe_signal.h"

#include <gtest/gtest.h>

using namespace sylvane::acquisition;

namespace {
using Bytes = std::vector<std::uint8_t>;
constexpr auto none = std::nullopt;
} // namespace

TEST(FrameDecoder, EveryRotationStrayBytesAndTwoSyncs) {
    const Bytes frame = {0xAA, 0xAA, 0x01, 0x03, 0xD2, 0x04, 0x04, 0x00, 0x07};
    for (std::size_t late = 0; late < kFrameLength; ++late) {
        Bytes read = frame;
        std::rotate(read.begin(), read.begin() + static_cast<long>(late), read.end());
        const auto found = findFrame(read);
        ASSERT_TRUE(found) << "late " << late;
        EXPECT_EQ(std::tuple(found->adc, found->status, found->start),
                  std::tuple(1234, 4, (kFrameLength - late) % kFrameLength))
            << "late " << late;
    }
    // the bytes read; where the frame starts, its ADC value and status (-1: no frame)
    const std::tuple<Bytes, std::size_t, std::int32_t, std::int32_t> rows[] = {
        {{0xAA, 0xAA, 0xAA, 0x01, 0x10, 0x20, 0x0F, 0x00, 0x00}, 1, 0x0F20, 0}, // three AA
        {{0xAA, 0xAA, 0x01, 0x00, 0x50, 0x00, 0xAA, 0xAA, 0x01}, 0, 80, 0xAA},  // two syncs
        {{0x01, 0x22, 0x33, 0xAA, 0xAA, 0x01, 0x44, 0xAA, 0xAA}, 3, 0xAAAA, 1}, // wrapping
        {{0xAA, 0xAA, 0x01, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00}, 0, 65535, 255},
        {Bytes(9, 0x00), 0, -1, -1},
        {Bytes(9, 0xAA), 0, -1, -1},
        {{0xAA, 0xAA, 0x02, 0x03, 0xD2, 0x04, 0x04, 0x00, 0x07}, 0, -1, -1}, // type 2
        {{0x00, 0xAA, 0x01, 0x03, 0xD2, 0x04, 0x04, 0x00, 0x07}, 0, -1, -1}, // AA 01 alone
        {{0xAA, 0xAA, 0x01, 0x03, 0xD2, 0x04, 0x04, 0x00}, 0, -1, -1}};      // short
    for (const auto& [read, start, adc, status] : rows) {
        const auto found = findFrame(read);
        EXPECT_EQ(found ? std::tuple(found->start, found->adc, found->status)
                        : std::tuple(std::size_t{0}, -1, -1),
                  std::tuple(start, adc, status))
            << read.size() << " bytes from " << int(read[0]);
    }
}

TEST(ReferenceLatch, LatchesOnTheEleventhRepeatAndChangesOnlyDelayIt) {
    struct Run {
        int count;
        std::int32_t adc, status = kReadingsValid;
    };
    // the candidate left from the last session, the runs of readings; the event (1-based) that
    // latches (0: none), and the reference
    const std::tuple<std::int32_t, std::vector<Run>, int, std::int32_t> rows[] = {
        {0, {{20, 1500}}, 12, 1500},            // steady: the first is the candidate
        {1500, {{20, 1500}}, 11, 1500},         // the candidate left from the last session
        {0, {{6, 1500}, {11, 1600}}, 13, 1600}, // a change delays without resetting
        {0, {{1, 1}, {1, 2}, {1, 1}, {1, 2}, {1, 1}}, 0, 0},
        {0, {{30, 1500, kProbeError | kBatteryLow}}, 0, 0},    // the valid bit clear
        {0, {{6, 1500}, {10, 1500, 0}, {6, 1500}}, 22, 1500}}; // invalid events do not count
    for (const auto& [candidateBefore, runs, latchedAtRow, referenceRow] : rows) {
        bool awaiting = true;
        std::int32_t candidate = candidateBefore, count = 0, reference = 0;
        int event = 0, latchedAt = 0;
        for (const Run& run : runs) {
            for (int i = 0; i < run.count; ++i) {
                ++event;
                if (const auto latched =
                        latchReference(awaiting, candidate, count, run.adc, run.status)) {
                    EXPECT_EQ(latchedAt, 0) << event << ": latched twice";
                    latchedAt = event;
                    reference = *latched;
                }
            }
        }
        EXPECT_EQ(std::tuple(latchedAt, reference, awaiting),
                  std::tuple(latchedAtRow, referenceRow, latchedAtRow == 0))
            << candidateBefore << " " << runs.size();
    }
}

TEST(ReadingFilter, WorkedCasesAndTheWindowCarriedAcrossSessions) {
    constexpr std::int32_t V = kReadingsValid;
    // The window and the smoothed value before; five numbers a reading: raw in, accepted, raw
    // after, smoothed after, status; and the range after (from 4095 and 0, as Start leaves them).
    const auto row = [](std::array<std::int32_t, 5> before, std::int32_t smoothed,
                        std::vector<std::int32_t> steps, std::int32_t minAfter,
                        std::int32_t maxAfter) {
        std::array<std::int32_t, 6> window{0,         before[0], before[1],
                                           before[2], before[3], before[4]};
        SCOPED_TRACE(testing::Message() << "ending " << minAfter << ".." << maxAfter);
        std::int32_t minADC = 4095, maxADC = 0;
        const FilterFields fields{window, smoothed, minADC, maxADC};
        for (std::size_t i = 0; i < steps.size(); i += 5) {
            std::int32_t raw = steps[i];
            EXPECT_EQ(filterReading(fields, raw, steps[i + 4]), steps[i + 1] != 0) << i / 5 + 1;
            EXPECT_EQ((std::array{raw, smoothed}), (std::array{steps[i + 2], steps[i + 3]}))
                << "reading " << i / 5 + 1;
        }
        EXPECT_EQ((std::array{minADC, maxADC}), (std::array{minAfter, maxAfter}));
    };
    // The sixth reading of the program is the first smoothed, seeded with the second.
    row({}, 0, {1000, 0, 1000, 0, V, 1010, 0, 1010, 0, V, 1020, 0, 1020, 0,    V,
                1030, 0, 1030, 0, V, 1040, 0, 1040, 0, V, 1050, 1, 1050, 1030, V},
        1030, 1030);
    // Jumps over 201 are cut to 201 either way.
    row({1000, 1000, 1000, 1000, 1000}, 1000,
        {1500, 1, 1201, 1040, V, 1201, 1, 1201, 1080, V, 500, 1, 879, 1056, V}, 1040, 1080);
    // The gate: the valid bit clear or raw 0 leaves the window alone.
    row({1000, 1000, 1000, 1000, 1000}, 1000,
        {1500, 0, 1500, 1000, 0, 0, 0, 0, 1000, V, 1005, 1, 1005, 1001, V}, 1001, 1001);
    // Below 80 is taken, then keeps the next five out.
    std::vector<std::int32_t> low{50, 1, 50, 90, V};
    for (int i = 0; i < 5; ++i) low.insert(low.end(), {3000, 0, 3000, 90, V});
    low.insert(low.end(), {3000, 1, 291, 2458, V});
    row({100, 100, 100, 100, 100}, 100, low, 90, 2458);
    // 80 and 4000 are in range, 79 is not.
    row({80, 4000, 80, 4000, 80}, 1000, {1000, 1, 1000, 1832, V}, 1832, 1832);
    row({79, 4000, 80, 4000, 80}, 1000, {1000, 0, 1000, 1000, V}, 4095, 0);
    // The last session's window smooths the first reading at once.
    row({2000, 2000, 2000, 2000, 2000}, 2000, {2100, 1, 2100, 2020, V}, 2020, 2020);
}

TEST(Readouts, TextsColoursChangeAndTargetLevel) {
    // smoothed, status, running; resistance, conductance and ADC texts; probe and battery colours
    // and tips (the probe's error and the low battery: acquisition_e2e)
    const std::tuple<std::int32_t, std::int32_t, bool, std::optional<std::string>,
                     std::optional<std::string>, std::optional<std::string>,
                     std::optional<std::uint32_t>, std::optional<std::uint32_t>, std::string>
        rows[] = {{2048, 4, true, "469kOhms", "2.12 uS", "777", kOkColor, kOkColor,
                   "Probe OK|Battery OK"},
                  {2048, 7, false, "469kOhms", "2.12 uS", none, none, none, ""},
                  {4095, 4, true, "0Ohms", none, none, none, none, ""},
                  {9, 4, true, none, none, none, none, none, ""}};
    for (const auto& [smoothed, status, running, resistance, conductance, adc, probe, battery,
                      tips] : rows) {
        ReadoutFormatter formatter;
        const Readouts& out = formatter.compute({.smoothedADC = smoothed,
                                                 .rawADC = 777,
                                                 .probeStatus = status,
                                                 .sessionRunning = running});
        EXPECT_EQ(std::tie(out.resistance, out.conductance, out.adc),
                  std::tie(resistance, conductance, adc))
            << smoothed;
        ASSERT_EQ(out.probe.has_value(), probe.has_value()) << smoothed;
        if (!out.probe) continue;
        EXPECT_EQ(std::tie(out.probe->backColor, out.battery->backColor),
                  std::tie(*probe, *battery));
        EXPECT_EQ(std::string(out.probe->toolTip) + "|" + std::string(out.battery->toolTip), tips);
    }
    // smoothed, reference, sensitivity: % change and target colour level
    const std::tuple<std::int32_t, double, std::int32_t, std::optional<std::string>,
                     std::optional<float>>
        changes[] = {{2000, 2048, 25, " 4.8 %", 206.0f},
                     {2100, 2048, 25, "-4.9 %", 305.0f},
                     {2048, 2048, 25, "0 %", 255.0f},
                     {9, 2048, 25, "0 %", 1275.0f}, // -100 % has no point
                     {2000, 0, 25, none, 255.0f},   // no reference yet
                     {2000, 2048, 0, " 4.8 %", none},
                     {4095, 2048, 25, none, none},  // zero resistance ends before the change
                     {2000, 4095, 25, none, none}}; // a reference of 0 Ohm would divide by 0
    for (const auto& [smoothed, reference, sensitivity, change, target] : changes) {
        ReadoutFormatter formatter;
        const Readouts& out = formatter.compute({.smoothedADC = smoothed,
                                                 .probeStatus = kReadingsValid,
                                                 .reference = reference,
                                                 .graphSensitivity = sensitivity,
                                                 .sessionRunning = true});
        EXPECT_EQ(out.change, change) << smoothed << " " << reference;
        EXPECT_EQ(out.targetColorLevel, target) << smoothed << " " << reference;
    }
    const std::pair<float, const char*> texts[] = {{1.5e-5f, "0 %"},   {12345678, "0 %"},
                                                   {0.05f, " 0.0 %"},  {99.99f, " 99.9 %"},
                                                   {-0.96f, "-0.9 %"}, {-12.34f, "-12.3 %"}};
    for (const auto& [percent, text] : texts) EXPECT_EQ(changeText(percent), text) << percent;
    EXPECT_EQ(conductanceText(0.5f), "2  S");
    EXPECT_EQ(conductanceText(1000.0f), "1 mS");
    EXPECT_EQ(targetLevel(50.0f, 25), -255.0f);
    EXPECT_EQ(targetLevel(0.1f, 1000), 254.0f);
}

TEST(SessionClock, ElapsedTimeAcrossMidnightAndTheColourLevelStepping) {
    const std::tuple<float, std::vector<float>, float> days[] = {
        // start, ticks, elapsed at last (once across midnight: acquisition_e2e)
        {45000.3f, {45059.8f}, 45059.8f - 45000.3f},
        {86000.0f, {86399.0f, 1.0f, 43200.0f, 86399.0f, 5.0f}, 86805.0f},
        {10000.0f, {20000.0f, 16400.0f}, 6400.0f},   // an hour back is a clock change, not a day
        {72000.0f, {72001.0f, 36000.0f}, 50400.0f}}; // woken next day earlier than it slept
    for (const auto& [start, ticks, expected] : days) {
        MidnightCount count;
        startCounting(count, start);
        float elapsed = 0;
        for (float now : ticks) elapsed = elapsedSeconds(start, now, count);
        EXPECT_EQ(elapsed, expected) << start;
    }
    const std::tuple<float, float, std::int32_t, bool, std::vector<float>> levels[] = {
        {100, 120, kReadingsValid, true, {105, 110, 115, 120}},
        {12, 4, kReadingsValid, true, {7, 4, 4}},
        {3, -40, kReadingsValid, true, {0, 0}},
        {255, 249.79f, kReadingsValid, true, {250, 249.79f}},
        {100, 200, kReadingsValid | kProbeError, true, {100}},
        {100, 200, kBatteryLow, true, {100}},
        {100, 200, kReadingsValid, false, {100}}};
    for (const auto& [from, target, status, running, after] : levels) {
        float level = from;
        for (std::size_t i = 0; i < after.size(); ++i) {
            level = stepColorLevel(level, target, status, running);
            EXPECT_EQ(level, after[i]) << from << " -> " << target << ", tick " << i + 1;
        }
    }
}

TEST(SerialSettingsText, ReadsWellFormedTextsNamesTheBadFieldAndTimesTheBytesAtItsSpeed) {
    const std::pair<const char*, SerialSettings> good[] = {
        {"9600,E,7,2", {9600, Parity::Even, 7, StopBits::Two}},
        {"300,M,5,1.5", {300, Parity::Mark, 5, StopBits::OneAndHalf}},
        {" 115200 , o , 8 , 1 ", {115200, Parity::Odd, 8, StopBits::One}}};
    for (const auto& [text, expected] : good)
        EXPECT_EQ(parseSerialSettings(text), expected) << text;
    // the text, what the message names
    const std::pair<const char*, const char*> bad[] = {
        {"4800,N,8,1,1", "baud,parity,data bits,stop bits"},
        {"48x0,N,8,1", "baud rate \"48x0\""},
        {"49,N,8,1", "baud rate \"49\""},
        {"99999999999999999999,N,8,1", "baud rate"},
        {"4800,X,8,1", "parity \"X\""},
        {"4800,N,9,1", "data bits \"9\""},
        {"4800,N,8,1.0", "stop bits \"1.0\""}};
    for (const auto& [text, mention] : bad) {
        std::string error;
        EXPECT_FALSE(parseSerialSettings(text, &error).has_value()) << text;
        EXPECT_NE(error.find(mention), std::string::npos) << text << " -> " << error;
        EXPECT_NE(error.find(std::string("\"") + text + "\""), std::string::npos) << error;
    }
    EXPECT_EQ(comPortOrder({"/dev/ttyUSB1", "/dev/ttyS10", "/dev/ttyACM0", "/dev/ttyS2",
                            "/dev/ttyUSB0", "/dev/ttyS2"}),
              (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyUSB0", "/dev/ttyUSB1",
                                        "/dev/ttyS2", "/dev/ttyS10"}));

    EXPECT_DOUBLE_EQ(bytesPerSecond({4800, Parity::None, 8, StopBits::One}), 480);
    EXPECT_DOUBLE_EQ(bytesPerSecond({9600, Parity::Even, 7, StopBits::Two}), 872.72727272727275);
    // the time the port was last seen empty and of the read (s), the byte's index and the count
    // read; when the byte arrived
    const std::tuple<double, double, long long, long long, double> rows[] = {
        // One frame 50 ms after the port was seen empty ended between 18.75 and 50 ms.
        {0, 0.05, 8, 9, 0.034375},
        // 24 bytes in 50 ms fill the line: each byte's time is known.
        {0, 0.05, 8, 24, 0.01875},
        {0, 0.05, 23, 24, 0.05},
        {0, 0.01, 8, 18, 0.005}, // faster than the line (a pseudo-terminal): spread over the span
        {0.2, 0.2, 8, 9, 0.2}};  // nothing between the reads
    for (const auto& [previous, read, index, count, arrived] : rows)
        EXPECT_NEAR(byteArrival(previous, read, index, count, 480), arrived, 1e-12)
            << read << " " << index << "/" << count;
}

TEST(SessionMarkers, StandAtTheLastReadingGoToTheFileAndAreDrawnAgainAfterARedraw) {
    sylvane::testing::MemoryEngine session;
    SessionMarkers markers(session.engine);
    auto& marks = session.canvas.marks;
    const auto frames = [&](int count) {
        const auto frame = sylvane::probesim::encodeFrame({0, 1500, 0x04, 0});
        for (int i = 0; i < count; ++i) session.feed({frame.begin(), frame.end()});
    };
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(session.start(36000));
        const double started = session.now;
        EXPECT_TRUE(markers.markers().empty()) << "Start forgets the last session's markers";
        // Before any reading and before the scale: record 1, drawn once the reference latches.
        session.now = started + 0.5;
        ASSERT_TRUE(markers.add(markers.at()));
        EXPECT_TRUE(marks.empty());
        frames(20);
        ASSERT_EQ(marks, (std::vector{std::make_pair(1, std::string("1"))}));
        const std::int32_t last = session.engine.state().recordNumber - 1;
        session.now = started + 7.25;
        ASSERT_TRUE(markers.add(markers.at()));
        EXPECT_EQ(marks.back(), std::make_pair(last, std::string("2")));
        EXPECT_EQ(markers.memoryFile(),
                  "1,0.500,\"\"\r\n" + std::to_string(last) + ",7.250,\"\"\r\n");
        // A full redraw draws both again, the grid (5 lines of 50 dots, 5 of 28), the replay's
        // first point and a break's own.
        marks.clear();
        session.engine.requestRedraw();
        session.engine.state().graphTraceBreak = true;
        const int dots = session.canvas.dots;
        frames(1);
        EXPECT_EQ(marks.size(), 2u);
        EXPECT_EQ(session.canvas.dots, dots + 5 * 50 + 5 * 28 + 2);
        marks.clear();
    }
    // On a graph of 2 readings a step, records 3 and 4 are in step 2.
    drawMarkers(session.canvas, {{3, 1, ""}, {4, 2, ""}}, 2, 0, 5);
    EXPECT_EQ(marks, (std::vector<std::pair<std::int32_t, std::string>>{{2, "5"}, {2, "6"}}));
    // On disk: a line that cannot be written is not kept; Clear takes the file away.
    sylvane::unittest::TempFolder folder;
    SessionMarkers onDisk(session.engine, folder / "gone");
    std::string error;
    EXPECT_FALSE(onDisk.add({1, 0, "x"}, &error));
    EXPECT_NE(error.find("gone/tempdata.mrk"), std::string::npos) << error;
    EXPECT_TRUE(onDisk.markers().empty());
    onDisk.setFolder(folder.path);
    ASSERT_TRUE(onDisk.add({1, 0, "x"}, &error)) << error;
    onDisk.clear();
    EXPECT_FALSE(std::filesystem::exists(folder / "tempdata.mrk"));
}
