// The simulated probe: the bytes of its frames, its signal and its scripted frames. End-to-end
// tests compare what arrives through a pseudo-terminal with these, so they must be exact.

#include "probe_signal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace sylvane::probesim;

TEST(ProbeFrames, EncodeSyncFieldsLittleEndian) {
    const struct {
        Frame frame;
        std::array<std::uint8_t, 9> bytes;
    } rows[] = {
        {{0x03, 1234, 0x04, 0x0700}, {0xAA, 0xAA, 0x01, 0x03, 0xD2, 0x04, 0x04, 0x00, 0x07}},
        {{0x00, 0, 0x00, 0}, {0xAA, 0xAA, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {{0xFF, 4095, 0x07, 0xFFFF}, {0xAA, 0xAA, 0x01, 0xFF, 0xFF, 0x0F, 0x07, 0xFF, 0xFF}},
        {{0x10, 0xABCD, 0x05, 0x1234}, {0xAA, 0xAA, 0x01, 0x10, 0xCD, 0xAB, 0x05, 0x34, 0x12}},
    };
    for (const auto& r : rows) EXPECT_EQ(encodeFrame(r.frame), r.bytes);
}

TEST(ProbeSignal, SameSeedSameValuesOtherSeedOtherValues) {
    const struct {
        std::uint32_t seed;
        double rate;
    } rows[] = {{1, 2.0}, {2, 2.0}, {12345, 53.0}, {0, 0.5}};
    for (const auto& r : rows) {
        SkinSignal a(r.seed, r.rate), b(r.seed, r.rate), other(r.seed + 1, r.rate);
        int differences = 0;
        for (int i = 0; i < 2000; ++i) {
            const int va = a.next();
            ASSERT_EQ(va, b.next()) << "seed " << r.seed << " sample " << i;
            if (va != other.next()) ++differences;
        }
        EXPECT_GT(differences, 1000) << "seed " << r.seed;
    }
}

TEST(ProbeSignal, RestsInTheProbesRangeWithSkinResponsesAndStaysWithin12Bits) {
    for (const std::uint32_t seed : {1u, 7u, 99u, 4242u, 0xFFFFFFFFu}) {
        constexpr double rate = 53.0;
        SkinSignal s(seed, rate);
        EXPECT_GE(s.restingLevel(), 1800.0);
        EXPECT_LE(s.restingLevel(), 2300.0);
        int lo = 4095, hi = 0;
        double sum = 0;
        const int samples = static_cast<int>(rate * 3600); // one hour
        for (int i = 0; i < samples; ++i) {
            const int v = s.next();
            ASSERT_GE(v, 0);
            ASSERT_LE(v, 4095);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
            sum += v;
        }
        // About one response in 25 s: an hour brings well over fifty.
        EXPECT_GT(s.responseCount(), 60) << seed;
        EXPECT_LT(s.responseCount(), 250) << seed;
        EXPECT_NEAR(sum / samples, s.restingLevel(), 150.0) << seed;
        EXPECT_GT(hi - lo, 100) << "responses and drift move the level, seed " << seed;
        EXPECT_LT(hi - lo, 1200) << seed;
    }
}

TEST(ProbeSignal, SkinResponseRaisesTheValueForSecondsThenRecovers) {
    // Noise is a few counts; a response lifts the value by tens to hundreds for seconds.
    SkinSignal s(3, 10.0);
    std::vector<int> v;
    for (int i = 0; i < 10 * 600; ++i) v.push_back(s.next());
    ASSERT_GT(s.responseCount(), 5);
    int risesOfForty = 0;
    for (std::size_t i = 30; i + 1 < v.size(); ++i)
        if (v[i] - v[i - 30] >= 40) ++risesOfForty; // within three seconds
    EXPECT_GT(risesOfForty, 10);
    int stepsOverTwenty = 0;
    for (std::size_t i = 1; i < v.size(); ++i)
        if (std::abs(v[i] - v[i - 1]) > 20) ++stepsOverTwenty;
    EXPECT_LT(stepsOverTwenty, 5) << "responses rise smoothly, not in jumps";
}

TEST(ProbeFrameStream, FramesCarryNumberStatusAndValueWithStrayBytesOnlyBetween) {
    const struct {
        StreamOptions options;
        bool expectStrays;
    } rows[] = {
        {{1, 2.0, 0x04, std::nullopt, 0.0}, false},
        {{5, 53.0, 0x07, 1234, 0.0}, false},
        {{9, 10.0, 0x00, 65535, 0.5}, true},
        {{11, 53.0, 0x04, std::nullopt, 1.0}, true},
    };
    for (const auto& r : rows) {
        FrameStream stream(r.options), again(r.options);
        SkinSignal signal(r.options.seed, r.options.frameRate);
        int strayRuns = 0;
        for (int i = 0; i < 500; ++i) {
            const Bytes bytes = stream.next();
            ASSERT_EQ(bytes, again.next()) << "reproducible, frame " << i;
            ASSERT_GE(bytes.size(), 9u);
            const std::size_t stray = bytes.size() - 9;
            ASSERT_LE(stray, 4u);
            if (i == 0) {
                EXPECT_EQ(stray, 0u) << "no stray bytes before the first frame";
            }
            if (stray > 0) ++strayRuns;
            for (std::size_t k = 0; k < stray; ++k) EXPECT_NE(bytes[k], 0xAA);
            const int adc = r.options.fixedAdc ? *r.options.fixedAdc : signal.next();
            const Frame expected{static_cast<std::uint8_t>(i & 0xFF),
                                 static_cast<std::uint16_t>(adc), r.options.status, 0};
            const auto frame = encodeFrame(expected);
            ASSERT_TRUE(std::equal(frame.begin(), frame.end(), bytes.begin() + stray))
                << "frame " << i;
        }
        EXPECT_EQ(stream.framesSent(), 500u);
        if (r.expectStrays) {
            EXPECT_GT(strayRuns, 500 * r.options.strayProbability * 0.7);
        } else {
            EXPECT_EQ(strayRuns, 0);
        }
    }
}

TEST(ProbeFramesFile, ReadsHexLinesAndNamesTheFaultyLine) {
    const struct {
        const char* text;
        std::vector<Bytes> lines;
    } good[] = {
        {"AA AA 01 03 D2 04 04 00 07\n", {{0xAA, 0xAA, 0x01, 0x03, 0xD2, 0x04, 0x04, 0x00, 0x07}}},
        {"aa,0xAA,01\r\n\n# comment\n  0d 0A 11 13 03  # tail\nf",
         {{0xAA, 0xAA, 0x01}, {0x0D, 0x0A, 0x11, 0x13, 0x03}, {0x0F}}},
        {"", {}},
        {"# only a comment\n\n", {}},
    };
    for (const auto& r : good) {
        std::string error;
        const auto lines = parseHexFrames(r.text, &error);
        ASSERT_TRUE(lines.has_value()) << r.text << ": " << error;
        EXPECT_EQ(*lines, r.lines) << r.text;
    }

    const struct {
        const char* text;
        const char* message;
    } bad[] = {
        {"AA AA 01 GG\n", "line 1: \"GG\" is not a hex byte"},
        {"AA\n\nAAA\n", "line 3: \"AAA\" is not a hex byte"},
        {"AA\n0x\n", "line 2: \"0x\""},
        {"AA AA-01\n", "line 1: \"AA-01\""},
        {"\xAA\xAA\x01", "line 1:"},
    };
    for (const auto& r : bad) {
        std::string error;
        EXPECT_FALSE(parseHexFrames(r.text, &error).has_value()) << r.text;
        EXPECT_NE(error.find(r.message), std::string::npos) << r.text << " -> " << error;
    }
}
