// The stage-two sweep image: which lines are gray, how line 0 starts, turn lengths
// that stay, grow or shrink along a line, and the ways an image ends when no further
// turn can be drawn. Images are read back from a fresh start through the encoder
// delays, so the checks are on the pixel bytes in track order.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "image/images.h"
#include "program_run.h"
#include "reference_image.h"
#include "named_case.h"

namespace {

using named_case::operator<<;

using GrayCase = LineColourCase<reference::SweepParams>;

class SweepGrayLine : public testing::TestWithParam<GrayCase> {};

TEST_P(SweepGrayLine, IsEveryLineWhoseFirstTurnSpanHoldsTheReference)
{
    expect_gray_lines(GetParam());
}

// Line k spans first turns [tr0_start + k step, tr0_start + (k + 1) step]; all the
// values here are exact in binary, as the default step of 35 is.
INSTANTIATE_TEST_SUITE_P(
    SweepImage, SweepGrayLine,
    testing::Values(GrayCase{"ReferenceOnASpanBoundaryGraysBothLines", {4, 0.25, 4.5, 11000, 20000, 6}, 4, {1, 2}},
                    GrayCase{"MiddleOfThirtyStepsGraysLines14And15", {2, 0.125, 3.875, 30000, 100000, 4.5}, 16, {14, 15}},
                    GrayCase{"ReferenceInsideOneSpan", {4, 0.25, 4.6, 11000, 20000, 6}, 4, {2}},
                    GrayCase{"ReferenceAtTheFirstTurnOfLine0", {4, 0.25, 4, 11000, 20000, 6}, 4, {0}},
                    GrayCase{"ReferenceBelowEverySpan", {4, 0.25, 3.9, 11000, 20000, 6}, 4, {}}),
    [](const testing::TestParamInfo<GrayCase>& info) { return std::string(info.param.name); });

// Ctrl-C before the image: only the first turn is drawn. A tagged pixel byte and a
// drain after it show where that turn ended.
struct FirstTurnCase {
    const char* name;
    double anchor_len;
};

class SweepFirstTurn : public testing::TestWithParam<FirstTurnCase> {};

TEST_P(SweepFirstTurn, HasTheLengthOfTheFirstTurnOfLine0Exactly)
{
    reset_synthesis_state();
    const CoreRun run = run_sweep_core({100.9, 1, 0, 1e6, 1000, GetParam().anchor_len}, 0);
    ASSERT_FALSE(run.completed);
    Bytes expected(100, 0xAA);
    expected.push_back(0x01);
    EXPECT_TRUE(same_bytes(reference::recover_pixels(continued_with_tag(run, 0x01), 101), expected));
}

// Growths of +0.6 and -0.6 bytes per turn: a first turn of tr0_start + g would
// hold 101 or 100.3 bytes.
INSTANTIATE_TEST_SUITE_P(SweepImage, SweepFirstTurn,
                         testing::Values(FirstTurnCase{"GrowingLine", std::sqrt(100.9 * 100.9 + 1200)},
                                         FirstTurnCase{"ShrinkingLine", std::sqrt(100.9 * 100.9 - 1200)}),
                         [](const testing::TestParamInfo<FirstTurnCase>& info) {
                             return std::string(info.param.name);
                         });

// Line 0 is gray (fill 0x00, marker 0x20) and its model passes through the anchor
// with its own first-turn length, so its growth is 0: 625 turns of 40 bytes, each
// marked one opening with 40 / 12 = 3 marker bytes. Line 1 (black) follows at 25000.
TEST(SweepImage, AnchorAtTheFirstTurnLengthGivesLine0TurnsOfOneLength)
{
    reset_synthesis_state();
    const CoreRun run = run_sweep_core({40, 4, 42, 26000, 30000, 40});
    ASSERT_TRUE(run.completed);
    EXPECT_NE(run.out.find("line number 1, start byte - 0.0238419 Mb (black)\n"), std::string::npos) << run.out;

    const Bytes pixels = reference::recover_pixels(run.file, 25001);
    for (int k = 0; k < 25000; ++k) {
        const int turn = k / 40;
        const bool marker = turn >= 33 && turn <= 592 && k % 40 < 3;
        ASSERT_EQ(pixels[k], marker ? 0x20 : 0x00) << "pixel byte " << k;
    }
    EXPECT_EQ(pixels[25000], 0x20);
}

// Line 1 assumes a first turn of 48 bytes, more than the anchor's 44: its growth is
// negative and its turns shrink by about 2.9 bytes over the line. It is the gray
// line, so its turns can be told apart: fill 0x00, each marked turn opening with
// 3 bytes of 0xAA (its turns hold 36 to 47 bytes).
TEST(SweepImage, LineWithAFirstTurnLongerThanTheAnchorShrinksTowardsIt)
{
    reset_synthesis_state();
    const CoreRun run = run_sweep_core({40, 8, 52, 60000, 40000, 44});
    ASSERT_TRUE(run.completed);
    const Bytes pixels = reference::recover_pixels(run.file, 54000);

    std::vector<long> marked_turn_starts;
    for (std::size_t k = 1; k + 3 < pixels.size(); ++k)
        if (pixels[k - 1] == 0x00 && pixels[k] == 0xAA && pixels[k + 3] == 0x00)
            marked_turn_starts.push_back(static_cast<long>(k));
    ASSERT_EQ(marked_turn_starts.size(), 560u);
    std::vector<long> lengths(marked_turn_starts.size());
    std::adjacent_difference(marked_turn_starts.begin(), marked_turn_starts.end(), lengths.begin());
    const double first = std::accumulate(lengths.begin() + 1, lengths.begin() + 51, 0.0) / 50;
    const double last = std::accumulate(lengths.end() - 50, lengths.end(), 0.0) / 50;
    EXPECT_GT(first - last, 2.0) << "first turns " << first << ", last turns " << last;
    EXPECT_LT(first - last, 3.0) << "first turns " << first << ", last turns " << last;
}

// The image ends before a turn that cannot be drawn: drained, closed, reported.
struct EndCase {
    const char* name;
    reference::SweepParams image;
    std::size_t pixel_bytes;
    int lines;
};

class SweepImageEnds : public testing::TestWithParam<EndCase> {};

TEST_P(SweepImageEnds, DrainedAndReportedAsCreated)
{
    const EndCase& row = GetParam();
    const reference::SweepParams& p = row.image;
    reset_synthesis_state();
    const std::string path = make_work_dir() + "/image.rge";
    testing::internal::CaptureStdout();
    write_sweep_image({p.tr0_start, p.tr0_step, p.anchor_pos, p.anchor_len}, p.ref_tr0, p.size_limit, path.c_str());
    expect_drained_white_image(testing::internal::GetCapturedStdout(), path, row.lines, row.pixel_bytes);
}

INSTANTIATE_TEST_SUITE_P(
    SweepImage, SweepImageEnds,
    testing::Values(EndCase{"LimitEqualToTheFirstTurn", {300, 1, -100, 300, 1000, 310}, 0, 1},
                    EndCase{"FirstTurnNotANumber", {reference::nan, 1, -100, 200000, 1000, 310}, 0, 1},
                    EndCase{"FirstTurnInfinite", {reference::inf, 1, -100, 200000, 1000, 310}, 0, 1},
                    EndCase{"FirstTurnOfZeroBytes", {0, 1, -100, 200000, 1000, 310}, 0, 1},
                    EndCase{"FirstTurnNegative", {-3, 1, -100, 200000, 1000, 310}, 0, 1},
                    // An anchor of the same length: a growth of zero.
                    EndCase{"FirstTurnUnderOneByteThatCannotGrow", {0.5, 1, -100, 200000, 1000, 0.5}, 0, 1},
                    EndCase{"AnchorAtTheStartWithALongerTurn", {100.9, 1, -100, 200000, 0, 200}, 100, 1},
                    EndCase{"AnchorAtTheStartWithAShorterTurn", {100.9, 1, -100, 200000, 0, 50}, 100, 1},
                    EndCase{"AnchorAtTheStartWithTheSameTurn", {100.9, 1, -100, 200000, 0, 100.9}, 100, 1},
                    // Line 1 (t = 104, g = -54) has no real turn length at position 2500.
                    EndCase{"NoRealTurnLengthAtALineBoundary", {4, 100, -100, 200000, 100, 4}, 2500, 2},
                    // g = -0.5: turns of 10, 9.5, ... 1 byte, then one of half a byte.
                    EndCase{"TurnsShrinkingBelowOneByte", {10, 1, -100, 200000, 99, 1}, 104, 1}),
    [](const testing::TestParamInfo<EndCase>& info) { return std::string(info.param.name); });

}  // namespace
