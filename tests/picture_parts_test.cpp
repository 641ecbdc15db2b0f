// The picture writer's parts against their definitions: the stretch of a band's row
// to a turn, the dither's mix and grain, and the fast sampler against the placement
// rule written out with libm.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "common/disc_geometry.h"
#include "picture/band_row.h"
#include "picture/dither.h"
#include "picture/grey_sampler.h"

#include "named_case.h"

namespace {

using named_case::operator<<;

struct StretchCase {
    const char* name;
    std::int64_t length;  // row bytes
    std::int64_t count;   // turn bytes
};


class Stretch : public testing::TestWithParam<StretchCase> {};

TEST_P(Stretch, ByteKTakesRowByteKTimesLengthOverCount)
{
    const StretchCase& c = GetParam();
    std::vector<std::uint8_t> row(static_cast<std::size_t>(c.length));
    std::vector<std::uint8_t> turn(static_cast<std::size_t>(c.count) + 1, 0xEE);
    for (std::size_t j = 0; j < row.size(); ++j)
        row[j] = static_cast<std::uint8_t>(j * 131 % 251);
    stretch_row(row.data(), c.length, turn.data(), c.count);
    for (std::int64_t k = 0; k < c.count; ++k)
        ASSERT_EQ(turn[k], row[k * c.length / c.count]) << "turn byte " << k;
    EXPECT_EQ(turn[c.count], 0xEE) << "written past the turn";
}

INSTANTIATE_TEST_SUITE_P(
    BandRow, Stretch,
    testing::Values(StretchCase{"SameLength", 23000, 23000}, StretchCase{"TurnOneLonger", 23000, 23001},
                    StretchCase{"TurnElevenLonger", 23003, 23014}, StretchCase{"TurnOneShorter", 23000, 22999},
                    StretchCase{"TurnElevenShorter", 23014, 23003}, StretchCase{"TurnTwiceAsLong", 1000, 2000},
                    StretchCase{"TurnMuchShorter", 2001, 7}, StretchCase{"RowOfOneByte", 1, 50},
                    StretchCase{"TurnOfOneByte", 50, 1}, StretchCase{"LongerByAPrime", 997, 1009}),
    [](const testing::TestParamInfo<StretchCase>& info) { return std::string(info.param.name); });

// The level a byte draws: 0 dark, 1 mid, 2 light.
int level_of(std::uint8_t byte) { return byte == dark_byte ? 0 : byte == mid_byte ? 1 : 2; }

TEST(Dither, BlackMidAndWhiteAreSingleBytes)
{
    for (std::int64_t j = 0; j < 1000; ++j) {
        const std::uint32_t phase = dither_phase(5, j);
        ASSERT_EQ(dithered_byte(grey_shade(0), phase), dark_byte);
        ASSERT_EQ(dithered_byte(grey_shade(255), phase), light_byte);
    }
}

// Along a row, every grey draws its level 2 * grey / 255 on average, and every
// 13 bytes (0.1 mm of track) already hold the mix to within two bytes.
TEST(Dither, EveryGreyDrawsItsLevelAndItsMixWithinAFewBytes)
{
    constexpr int row = 4096;
    constexpr int window = 13;
    for (int band : {0, 1, 77}) {
        for (int grey = 0; grey < 256; ++grey) {
            std::vector<int> levels;
            for (int j = 0; j < row; ++j)
                levels.push_back(level_of(dithered_byte(grey_shade(grey), dither_phase(band, j))));
            double sum = 0;
            for (int level : levels)
                sum += level;
            EXPECT_NEAR(sum / row, 2.0 * grey / 255, 0.005) << "grey " << grey << ", band " << band;
            for (int start = 0; start + window <= row; ++start) {
                double window_sum = 0;
                for (int j = start; j < start + window; ++j)
                    window_sum += levels[j];
                ASSERT_NEAR(window_sum, window * 2.0 * grey / 255, 2.0)
                    << "grey " << grey << ", band " << band << ", bytes " << start << "+13";
            }
        }
    }
}

TEST(Dither, SuccessiveBandsDoNotRepeatTheirPattern)
{
    int same = 0;
    for (int j = 0; j < 1000; ++j)
        same += dithered_byte(grey_shade(64), dither_phase(3, j)) == dithered_byte(grey_shade(64), dither_phase(4, j));
    EXPECT_LT(same, 900);
}

// A row of samples, every grey and outside among them, dithered four bytes a sample:
// each byte is dithered_byte at its own phase, whatever the count of samples.
TEST(Dither, RowsOfSamplesAreTheBytesOfTheirGreys)
{
    std::mt19937 random(3);
    std::vector<std::int16_t> greys(1000);
    for (std::int16_t& grey : greys)
        grey = static_cast<std::int16_t>(static_cast<int>(random() % 257) - 1);
    for (const std::int64_t samples : {0, 1, 15, 16, 17, 1000}) {
        const std::uint32_t phase = dither_phase(9, 0);
        std::vector<std::uint8_t> expected(4 * 1000, 0x11);
        for (std::int64_t j = 0; j < 4 * samples; ++j) {
            const int grey = greys[static_cast<std::size_t>(j / 4)];
            const std::uint32_t at = phase + static_cast<std::uint32_t>(j) * phase_step;
            expected[static_cast<std::size_t>(j)] = grey < 0 ? light_byte : dithered_byte(grey_shade(grey), at);
        }
        std::vector<std::uint8_t> bytes(4 * 1000, 0x11);
        dither_samples(greys.data(), samples, phase, bytes.data());
        EXPECT_EQ(bytes, expected) << samples << " samples";
    }
}

// A picture of random greys: a sample in the wrong pixel shows.
std::vector<std::uint8_t> noise(std::uint32_t width, std::uint32_t height, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> pixels(std::size_t{width} * height);
    for (std::uint8_t& pixel : pixels)
        pixel = static_cast<std::uint8_t>(random());
    return pixels;
}

struct SamplerCase {
    const char* name;
    TrackModel model;
    std::uint32_t width;
    std::uint32_t height;
    double outer_radius_mm;
    bool mirror;
    std::int64_t step;
};


class Sampler : public testing::TestWithParam<SamplerCase> {};

TEST_P(Sampler, GivesThePlacementRulesGreyAtEveryPosition)
{
    const SamplerCase& c = GetParam();
    std::vector<std::uint8_t> pixels = noise(c.width, c.height, 11);
    const GreyPicture picture{c.width, c.height, pixels.data()};
    const GreySampler sampler{c.model, &picture, place_picture(c.width, c.height, c.outer_radius_mm, c.mirror)};
    std::mt19937_64 random(5);
    constexpr std::int64_t count = 20000;
    std::vector<std::int16_t> greys(count);
    for (int trial = 0; trial < 20; ++trial) {
        const std::int64_t first = static_cast<std::int64_t>(random() % 2000000);
        sample_greys(sampler, first, c.step, count, greys.data());
        for (std::int64_t m = 0; m < count; ++m) {
            const double position = static_cast<double>(first + m * c.step);
            const PicturePoint at = picture_point(sampler.placement, disc_point(place_on_disc(c.model, position)));
            const int expected = at.column >= 0 && at.column < c.width && at.row >= 0 && at.row < c.height
                                     ? pixels[static_cast<std::size_t>(std::floor(at.row)) * c.width +
                                              static_cast<std::size_t>(std::floor(at.column))]
                                     : outside_picture;
            ASSERT_EQ(greys[m], expected) << "position " << position;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    GreySampler, Sampler,
    testing::Values(SamplerCase{"RealDiscFinePicture", {22850, 1.405}, 4000, 4000, 55.7, false, 4},
                    SamplerCase{"RealDiscMirrored", {22850, 1.405}, 3000, 2000, 55.7, true, 4},
                    SamplerCase{"TallPicture", {23100, 1.38}, 90, 700, 40, false, 4},
                    SamplerCase{"ShortTurnsBendFast", {900, 40}, 300, 300, 120, false, 4},
                    SamplerCase{"TinyTurns", {12, 0.9}, 500, 400, 800, true, 1},
                    SamplerCase{"WidePictureSparseSamples", {5000, 3}, 2000, 60, 60, false, 37},
                    SamplerCase{"FourPixelPicture", {23000, 1.4}, 2, 2, 55, false, 4},
                    SamplerCase{"ThreePixelPicture", {23000, 1.4}, 3, 1, 55, true, 4}),
    [](const testing::TestParamInfo<SamplerCase>& info) { return std::string(info.param.name); });

}  // namespace
