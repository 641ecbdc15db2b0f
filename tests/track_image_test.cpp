// The stage-one image: which line is gray, how fractional turn lengths carry, where
// markers stand, and how an image ends when no further turn can be drawn. Images are
// read back from a fresh start through the encoder delays, so the checks are on the
// pixel bytes in track order.
#include <gtest/gtest.h>

#include <string>

#include "dialogue_support.h"
#include "image/images.h"
#include "program_run.h"
#include "reference_image.h"
#include "named_case.h"

namespace {

using named_case::operator<<;
using reference::inf;
using reference::nan;

using GrayCase = LineColourCase<reference::TrackParams>;

class GrayLine : public testing::TestWithParam<GrayCase> {};

TEST_P(GrayLine, IsTheLineHoldingTheCrossingWithBothEndsInclusive)
{
    expect_gray_lines(GetParam());
}

// The default corners against the average model cross at mathematically 8750, the
// boundary of lines 13 and 14. Divided by 256 throughout, the growths and the
// first-turn difference keep exactly the same quotient in double precision, and the
// models are small enough to reach line 14 in a quarter of a megabyte.
constexpr double direct_crossing = (22500.0 - 23025.0) / (1.38 - 1.44);
constexpr double reverse_crossing = (23550.0 - 23025.0) / (1.38 - 1.32);
static_assert((1 - (1 + 525.0 / 256)) / (1.38 / 256 - 1.44 / 256) == direct_crossing, "direct quotient kept");
static_assert((1 + 525.0 / 256 - 1) / (1.38 / 256 - 1.32 / 256) == reverse_crossing, "reverse quotient kept");
static_assert(direct_crossing < 8750 && reverse_crossing > 8750, "the corners cross either side of 8750");

INSTANTIATE_TEST_SUITE_P(
    TrackImage, GrayLine,
    testing::Values(
        GrayCase{"DirectCornerGraysOnlyLine13", {1, 1.44 / 256, 1 + 525.0 / 256, 1.38 / 256, 240000}, 15, {13}},
        GrayCase{"ReverseCornerGraysOnlyLine14", {1 + 525.0 / 256, 1.32 / 256, 1, 1.38 / 256, 240000}, 15, {14}},
        GrayCase{"CrossingExactlyOnABoundaryGraysBothLines", {2, 0.03125, 11.765625, 0.015625, 40000}, 3, {0, 1}},
        GrayCase{"CrossingInsideLineOne", {30, 0.02, 20, 0.03, 40000}, 2, {1}},
        GrayCase{"CrossingAtTheFirstTurnGraysLineZero", {30, 0.02, 30, 0.03, 40000}, 2, {0}},
        GrayCase{"CrossingBeforeTheFirstTurnGraysNoLine", {30, 0.02, 40, 0.03, 40000}, 2, {}},
        GrayCase{"EqualModelsGrayNoLine", {30, 0.02, 30, 0.02, 40000}, 2, {}},
        GrayCase{"ParallelModelsGrayNoLine", {30, 0.02, 31, 0.02, 40000}, 2, {}}),
    [](const testing::TestParamInfo<GrayCase>& info) { return std::string(info.param.name); });

// tr0 = 23000.5, dtr = 0: every other turn carries the accumulated half byte. A
// Ctrl-C during turn k abandons the image after it; one more pixel byte and a drain
// then show exactly where the stream stopped.
struct CarryCase {
    const char* name;
    int interrupt_at_record;  // record r goes out with pixel byte 2352 r - 1
    std::size_t pixel_bytes;
};

class HalfByteCarry : public testing::TestWithParam<CarryCase> {};

TEST_P(HalfByteCarry, EmitsTheWholePartOfTheRealPosition)
{
    reset_synthesis_state();
    const CoreRun run = run_track_core({23000.5, 0, 23000.5, 0, 1e6}, GetParam().interrupt_at_record);
    ASSERT_FALSE(run.completed);
    const std::size_t n = GetParam().pixel_bytes;
    Bytes expected(n, 0xAA);
    expected.push_back(0x01);
    EXPECT_TRUE(same_bytes(reference::recover_pixels(continued_with_tag(run, 0x01), n + 1), expected));
}

INSTANTIATE_TEST_SUITE_P(TrackImage, HalfByteCarry,
                         testing::Values(CarryCase{"FirstTurnDrawsItsWholeBytesOnly", 0, 23000},
                                         CarryCase{"SecondTurnAddsOneFillByte", 10, 46001},
                                         CarryCase{"ThirdTurnHasNothingToCarry", 20, 69001},
                                         CarryCase{"FourthTurnAddsOneFillByteAgain", 30, 92002}),
                         [](const testing::TestParamInfo<CarryCase>& info) { return std::string(info.param.name); });

// Turns of 35 bytes: a marked turn opens with 35 / 12 = 2 marker bytes.
struct MarkerCase {
    const char* name;
    int turn;  // counted from the start of the image
    bool marked;
};

class Markers : public testing::TestWithParam<MarkerCase> {};

const Bytes& pixels_of_665_turns_of_35_bytes()
{
    static const Bytes pixels = [] {
        reset_synthesis_state();
        return reference::recover_pixels(run_track_core({35, 0, 35, 0, 35 * 665 + 1}).file, 35 * 665);
    }();
    return pixels;
}

TEST_P(Markers, StandOnlyOnTurns33To592OfEachLine)
{
    const MarkerCase& row = GetParam();
    const bool even_line = row.turn / 625 % 2 == 0;
    const std::uint8_t marker = even_line ? 0x20 : 0xAA;
    const std::uint8_t fill = even_line ? 0xAA : 0x20;
    Bytes expected(35, fill);
    if (row.marked)
        expected[0] = expected[1] = marker;
    const Bytes& pixels = pixels_of_665_turns_of_35_bytes();
    EXPECT_EQ(Bytes(pixels.begin() + 35 * row.turn, pixels.begin() + 35 * (row.turn + 1)), expected);
}

INSTANTIATE_TEST_SUITE_P(TrackImage, Markers,
                         testing::Values(MarkerCase{"FirstTurnOfLine0", 0, false},
                                         MarkerCase{"Turn32OfLine0", 32, false}, MarkerCase{"Turn33OfLine0", 33, true},
                                         MarkerCase{"Turn300OfLine0", 300, true},
                                         MarkerCase{"Turn592OfLine0", 592, true},
                                         MarkerCase{"Turn593OfLine0", 593, false},
                                         MarkerCase{"LastTurnOfLine0", 624, false},
                                         MarkerCase{"FirstTurnOfLine1", 625, false},
                                         MarkerCase{"Turn32OfLine1", 657, false},
                                         MarkerCase{"Turn33OfLine1", 658, true},
                                         MarkerCase{"LastTurnDrawn", 664, true}),
                         [](const testing::TestParamInfo<MarkerCase>& info) { return std::string(info.param.name); });

// The image ends before a turn that cannot be drawn: drained, closed, reported.
// With nothing drawn, the file is the drained interleaver alone, 4704 bytes.
struct EndCase {
    const char* name;
    double tr0;
    double dtr;
    double size_limit;
    std::size_t pixel_bytes;
};

class ImageEnds : public testing::TestWithParam<EndCase> {};

TEST_P(ImageEnds, BeforeATurnThatDoesNotFitOrIsShorterThanOneByte)
{
    const EndCase& row = GetParam();
    reset_synthesis_state();
    const std::string path = make_work_dir() + "/image.rge";
    testing::internal::CaptureStdout();
    write_track_image({row.tr0, row.dtr}, {row.tr0, row.dtr}, row.size_limit, path.c_str());
    expect_drained_white_image(testing::internal::GetCapturedStdout(), path, 1, row.pixel_bytes);
}

INSTANTIATE_TEST_SUITE_P(TrackImage, ImageEnds,
                         testing::Values(EndCase{"LimitEqualToTheFirstTurn", 300, 1, 300, 0},
                                         EndCase{"LimitBelowTheFirstTurn", 300, 1, 299.5, 0},
                                         EndCase{"ZeroLimit", 300, 1, 0, 0},
                                         EndCase{"FirstTurnNotANumber", nan, 1, 200000, 0},
                                         EndCase{"FirstTurnInfinite", inf, 1, 200000, 0},
                                         EndCase{"FirstTurnOfZeroBytes", 0, 1, 200000, 0},
                                         EndCase{"FirstTurnNegative", -5, 1, 200000, 0},
                                         EndCase{"FirstTurnUnderOneByteThatCannotGrow", 0.5, 0, 200000, 0},
                                         EndCase{"FirstTurnUnderOneByteThatShrinks", 0.5, -0.1, 200000, 0},
                                         // 5e8 turns before a whole byte: more than the image has bytes.
                                         EndCase{"FirstTurnUnderOneByteGrowingTooSlowly", 0.5, 1e-9, 200000, 0},
                                         EndCase{"WholeBytesShrinkingToOne", 10, -1, 200000, 55},
                                         EndCase{"QuarterBytesShrinkingToOne", 3, -0.25, 200000, 18},
                                         EndCase{"GrowthNotANumber", 10, nan, 200000, 10},
                                         EndCase{"GrowthMinusInfinity", 10, -inf, 200000, 10},
                                         EndCase{"GrowthInfinity", 10, inf, 200000, 10}),
                         [](const testing::TestParamInfo<EndCase>& info) { return std::string(info.param.name); });

// Every turn of an image from a fresh start where the closed-form rules put it
// (reference::track_rule_pixels): lengths, carries, markers, fills and the end.
struct RuleCase {
    const char* name;
    reference::TrackParams image;
};

class TrackRules : public testing::TestWithParam<RuleCase> {};

TEST_P(TrackRules, EveryTurnHoldsItsMarkerAndFillWhereTheRulesPutIt)
{
    reset_synthesis_state();
    const CoreRun run = run_track_core(GetParam().image);
    ASSERT_TRUE(run.completed);
    const Bytes expected = reference::track_rule_pixels(GetParam().image, run.file);
    EXPECT_TRUE(same_bytes(reference::recover_pixels(run.file, expected.size()), expected));
    // The drain follows the last turn: 109 frames, then the last record whole.
    EXPECT_EQ(run.file.size(), (expected.size() / 24 + 109) * 24 / 2352 * 2352 + 2352);
}

INSTANTIATE_TEST_SUITE_P(
    TrackImage, TrackRules,
    testing::Values(RuleCase{"IntegerTurns", {36, 0, 1000, 1, 30000}},
                    RuleCase{"FractionalTurnsWithAGrayLine", {37.3, 0.0173, 30, 0.03, 50001.7}},
                    RuleCase{"OneByteMarkersGrayLine6", {12.25, 0.003, 20, 0.001, 30000}},
                    RuleCase{"TurnsLongerThanASector", {3001.7, 0.9, 3000, 1, 60000.3}},
                    RuleCase{"HalfByteTurns", {35.5, 0.011, 36, 0.02, 23000}},
                    RuleCase{"ShortGrowingFirstTurns", {0.5, 0.3, 1, 0.25, 100000}},
                    RuleCase{"ShortSlowlyGrowingFirstTurns", {0.25, 0.0011, 0.3, 0.001, 30000}},
                    RuleCase{"TurnsAboutARingLong", {2600.7, 0.3, 0, 1, 100000}}),
    [](const testing::TestParamInfo<RuleCase>& info) { return std::string(info.param.name); });

// A first turn of half a byte that grows by 0.3 a turn is drawn like any other turn:
// the built binary writes its core's image, lines and all, where it used to end the
// image before its first turn.
TEST(TrackImage, ShortGrowingFirstTurnsAreDrawnLikeAnyOther)
{
    const std::string dir = make_work_dir();
    const RunResult r = run_ringetch(
        {"size", "200000", "tr0_f", "0.5", "tr0_t", "1.5", "dtr_t", "0.3", "dtr_f", "0.2"}, "exit\n", dir);
    reset_synthesis_state();
    const CoreRun expected = run_track_core({0.5, 0.3, 1, 0.25, 200000});
    EXPECT_EQ(progress_lines(expected.out), expected_colours(2, {0}));
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, range_display("0.5", "1.5", "0.3", "0.2") + "creating DIRECT image\n" + expected.out +
                         success_message() + prompt);
    const std::string file = read_file(dir + "/image.rge");
    EXPECT_TRUE(same_bytes(Bytes(file.begin(), file.end()), expected.file));
    EXPECT_GT(file.size(), 190000U);
}

}  // namespace
