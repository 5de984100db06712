#include "acquisition/frame_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

using namespace sylvane::acquisition;

namespace {
using Bytes = std::vector<std::uint8_t>;
const Bytes kFrame = {0xAA, 0xAA, 0x01, 0x03, 0xD2, 0x04, 0x04, 0x00, 0x07};
} // namespace

TEST(FrameDecoder, EveryRotationOfAFrameDecodesTheSame) {
    for (std::size_t late = 0; late < kFrameLength; ++late) {
        // The read began `late` bytes into the frame, so the sync sits at 9 - late (mod 9).
        Bytes read = kFrame;
        std::rotate(read.begin(), read.begin() + static_cast<long>(late), read.end());
        const auto frame = findFrame(read);
        ASSERT_TRUE(frame) << "late " << late;
        EXPECT_EQ(frame->adc, 1234) << "late " << late;
        EXPECT_EQ(frame->status, 4) << "late " << late;
        EXPECT_EQ(frame->start, (kFrameLength - late) % kFrameLength) << "late " << late;
    }
}

TEST(FrameDecoder, FirstSyncPositionWinsAndStrayBytesAreNoFrame) {
    const struct {
        const char* name;
        Bytes read;
        bool found;
        std::size_t start;
        std::int32_t adc, status;
    } rows[] = {
        {"two bytes late",
         {0x00, 0x07, 0xAA, 0xAA, 0x01, 0x03, 0xD2, 0x04, 0x04},
         true,
         2,
         1234,
         4},
        {"sync split over the end",
         {0x01, 0x03, 0xD2, 0x04, 0x04, 0x00, 0x07, 0xAA, 0xAA},
         true,
         7,
         1234,
         4},
        {"three AA", {0xAA, 0xAA, 0xAA, 0x01, 0x10, 0x20, 0x0F, 0x00, 0x00}, true, 1, 0x0F20, 0},
        {"two syncs: the lower position",
         {0xAA, 0xAA, 0x01, 0x00, 0x50, 0x00, 0xAA, 0xAA, 0x01},
         true,
         0,
         80,
         0xAA},
        {"two syncs, the higher one wrapping",
         {0x01, 0x22, 0x33, 0xAA, 0xAA, 0x01, 0x44, 0xAA, 0xAA},
         true,
         3,
         0xAAAA,
         0x01},
        {"largest value",
         {0xAA, 0xAA, 0x01, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00},
         true,
         0,
         65535,
         255},
        {"all zeros", Bytes(9, 0x00), false, 0, 0, 0},
        {"AA AA without type",
         {0xAA, 0xAA, 0x02, 0x03, 0xD2, 0x04, 0x04, 0x00, 0x07},
         false,
         0,
         0,
         0},
        {"AA 01 only", {0x00, 0xAA, 0x01, 0x03, 0xD2, 0x04, 0x04, 0x00, 0x07}, false, 0, 0, 0},
        {"all AA", Bytes(9, 0xAA), false, 0, 0, 0},
        {"short read", {0xAA, 0xAA, 0x01, 0x03, 0xD2, 0x04, 0x04, 0x00}, false, 0, 0, 0},
        {"long read", {0xAA, 0xAA, 0x01, 0x03, 0xD2, 0x04, 0x04, 0x00, 0x07, 0x00}, false, 0, 0, 0},
        {"empty read", {}, false, 0, 0, 0},
    };
    for (const auto& r : rows) {
        const auto frame = findFrame(r.read);
        ASSERT_EQ(frame.has_value(), r.found) << r.name;
        if (!frame) continue;
        EXPECT_EQ(frame->start, r.start) << r.name;
        EXPECT_EQ(frame->adc, r.adc) << r.name;
        EXPECT_EQ(frame->status, r.status) << r.name;
    }
}

TEST(ReferenceLatch, LatchesOnTheEleventhRepeatAndChangesOnlyDelayIt) {
    struct Event {
        std::int32_t adc;
        std::int32_t status;
    };
    const auto steady = [](int n, std::int32_t adc, std::int32_t status = kReadingsValid) {
        return std::vector<Event>(static_cast<std::size_t>(n), Event{adc, status});
    };
    const auto join = [](std::vector<std::vector<Event>> parts) {
        std::vector<Event> all;
        for (auto& p : parts) all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    const struct {
        const char* name;
        std::int32_t candidateBefore;
        std::vector<Event> events;
        int latchedAtEvent; // 1-based; 0 when it never latches
        std::int32_t reference;
    } rows[] = {
        // The first event only makes 1500 the candidate; the next eleven repeat it.
        {"steady value", 0, steady(20, 1500), 12, 1500},
        {"candidate left from the last session", 1500, steady(20, 1500), 11, 1500},
        // Repeats: 5 of 1500, then 1600 becomes the candidate (count stays 5), 6 more repeats.
        {"a change delays without resetting", 0,
         join({steady(6, 1500), steady(1, 1600), steady(10, 1600)}), 13, 1600},
        {"alternating values never repeat", 0,
         join({steady(1, 1), steady(1, 2), steady(1, 1), steady(1, 2), steady(1, 1), steady(1, 2)}),
         0, 0},
        {"valid bit clear", 0, steady(30, 1500, 0), 0, 0},
        {"valid bit clear with other bits", 0, steady(30, 1500, kProbeError | kBatteryLow), 0, 0},
        {"events without the valid bit do not count", 0,
         join({steady(6, 1500), steady(10, 1500, 0), steady(6, 1500)}), 22, 1500},
    };
    for (const auto& r : rows) {
        bool awaiting = true;
        std::int32_t candidate = r.candidateBefore;
        std::int32_t count = 0;
        int latchedAt = 0;
        std::int32_t reference = 0;
        for (std::size_t i = 0; i < r.events.size(); ++i) {
            const auto latched =
                latchReference(awaiting, candidate, count, r.events[i].adc, r.events[i].status);
            if (latched) {
                EXPECT_EQ(latchedAt, 0) << r.name << ": latched twice";
                latchedAt = static_cast<int>(i) + 1;
                reference = *latched;
                EXPECT_FALSE(awaiting) << r.name;
            }
        }
        EXPECT_EQ(latchedAt, r.latchedAtEvent) << r.name;
        EXPECT_EQ(reference, r.reference) << r.name;
        EXPECT_EQ(awaiting, r.latchedAtEvent == 0) << r.name;
    }
}
