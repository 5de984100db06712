// The simulated probe: end-to-end tests compare what arrives through a pseudo-terminal with these
// frames, so they must be exact and reproducible.

#include "probe_signal.h"

#include <gtest/gtest.h>

using namespace sylvane::probesim;

TEST(ProbeSim, FramesAreLittleEndianAndTheStreamIsReproducible) {
    EXPECT_EQ(encodeFrame({0x10, 0xABCD, 0x05, 0x1234}),
              (std::array<std::uint8_t, 9>{0xAA, 0xAA, 0x01, 0x10, 0xCD, 0xAB, 0x05, 0x34, 0x12}));
    const StreamOptions rows[] = {{1, 2.0, 0x04, std::nullopt, 0.0, SkinSignal::defaultNoise},
                                  {9, 10.0, 0x00, 65535, 0.5, SkinSignal::defaultNoise},
                                  {11, 53.0, 0x07, std::nullopt, 1.0, 2.0}};
    for (const auto& options : rows) {
        FrameStream stream(options), again(options);
        SkinSignal signal(options.seed, options.frameRate, options.noise);
        int strayRuns = 0;
        for (int i = 0; i < 500; ++i) {
            const Bytes bytes = stream.next();
            ASSERT_EQ(bytes, again.next()) << "frame " << i;
            // Up to 4 stray bytes before a frame (none before the first), never a sync byte.
            const std::size_t stray = bytes.size() - 9;
            ASSERT_TRUE(bytes.size() >= 9 && stray <= 4 && (i > 0 || stray == 0)) << i;
            strayRuns += stray > 0;
            for (std::size_t k = 0; k < stray; ++k) EXPECT_NE(bytes[k], 0xAA);
            const int adc = options.fixedAdc ? *options.fixedAdc : signal.next();
            const auto frame = encodeFrame({static_cast<std::uint8_t>(i & 0xFF),
                                            static_cast<std::uint16_t>(adc), options.status, 0});
            ASSERT_TRUE(
                std::equal(frame.begin(), frame.end(), bytes.begin() + static_cast<long>(stray)))
                << "frame " << i;
        }
        EXPECT_EQ(strayRuns > 0, options.strayProbability > 0);
        EXPECT_GE(strayRuns, 500 * options.strayProbability * 0.7);
    }
}
