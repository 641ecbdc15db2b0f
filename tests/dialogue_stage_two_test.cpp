// Stage two as the user meets it: the calibration cycle from a stage-one line range
// through the sweep images back to stage one, next and prev of the sweep window, the
// commands stage two does not know, and the images it writes on request.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogue_support.h"
#include "named_case.h"

namespace {

using named_case::operator<<;

const std::string bad = "bad command\n";

std::string image_lines(const std::vector<std::string>& progress)
{
    std::string text;
    for (const std::string& line : progress)
        text += "line number " + line + "\n";
    return text + success_message();
}

// Large enough for a second line in every image of the default ranges, so that the
// progress lines tell which model drew it: line 1 starts after 625 turns.
TEST(StageTwo, NarrowsTheRangesFromTheCornerAndAnchorsTheNextStayOnTheOtherCorner)
{
    const RunResult r = run_ringetch({"size", "15000000"}, "12-14\n9-10\n5-7\n0-29\nexit\n", make_work_dir());
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "");
    // (22500, 1.44) at the start, and as line 0 of the sweep through its turn 8125.
    const std::string direct =
        image_lines({"0, start byte - 0 Mb (white)", "1, start byte - 13.6788 Mb (black)"});
    // (22885, 1.402071415...): the REVERSE corner of the narrowed ranges.
    const std::string reverse =
        image_lines({"0, start byte - 0 Mb (white)", "1, start byte - 13.9013 Mb (black)"});
    // Sweep lines 0 and (back in stage one) the DIRECT corner, both (22815, 1.41878911).
    const std::string narrowed_direct =
        image_lines({"0, start byte - 0 Mb (white)", "1, start byte - 13.8626 Mb (black)"});
    EXPECT_EQ(r.out, default_ranges + "creating DIRECT image\n" + direct + prompt +  //
                         "12-14\n" + direct + prompt +                                 //
                         "9-10\n" + range_display("22815", "22885", "1.409015385", "1.402071415") +
                         "creating REVERSE image\n" + reverse + prompt +  //
                         "5-7\n" + narrowed_direct + prompt +
                         // Anchored on the REVERSE corner, whose growth carries tr0_t
                         // through the anchor: dtr_f stays, dtr_t follows the anchor.
                         "0-29\n" + range_display("22815", "22885", "1.41878911", "1.402071415") +
                         "creating DIRECT image\n" + narrowed_direct + prompt);
}

struct StageTwoCase {
    const char* name;
    std::string typed;  // after stage one's "12-14\n", before "exit\n"
    std::string out;    // after the entry into stage two
};

class SweepWindow : public testing::TestWithParam<StageTwoCase> {};

TEST_P(SweepWindow, MovesAndNarrowsAsTyped)
{
    const StageTwoCase& c = GetParam();
    const RunResult r = run_ringetch(tiny_image, "12-14\n" + c.typed + "exit\n", make_work_dir());
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, tiny_start + "12-14\n" + empty_image() + prompt + c.out);
    EXPECT_EQ(r.err, "");
}

std::string shifted(const std::string& echo, const std::string& ranges)
{
    return echo + "\n" + ranges + empty_image() + prompt;
}

const std::string next_one = shifted("next 1", range_display("23480", "24530", "1.328", "1.208"));

std::string back_in_stage_one(const std::string& echo, const std::string& ranges)
{
    return echo + "\n" + ranges + "creating REVERSE image\n" + empty_image() + prompt;
}

INSTANTIATE_TEST_SUITE_P(
    StageTwo, SweepWindow,
    testing::Values(
        StageTwoCase{"NextOneMakesTheLastTwoLinesTheFirst", "next 1\n", next_one},
        StageTwoCase{"NextOneKeepsTheStep", "next 1\nnext 1\n",
                     next_one + shifted("next 1", range_display("24460", "25510", "1.216", "1.096"))},
        // The step is now 17.5: line 0 alone spans 22045 to 22062.5.
        StageTwoCase{"PrevHalfMovesDownAndHalvesTheStep", "prev 0.5\n0-0\n",
                     shifted("prev 0.5", range_display("22045", "22570", "1.492", "1.432")) +
                         back_in_stage_one("0-0", range_display("22045", "22062.5", "1.483995062", "1.482319563"))},
        StageTwoCase{"NextTenthIsAboveTheGuard", "next 0.1\n",
                     shifted("next 0.1", range_display("23480", "23585", "1.328", "1.316"))},
        StageTwoCase{"NextBelowTheGuard", "next 0.09\nnext 1\n", "next 0.09\n" + bad + next_one},
        StageTwoCase{"NextWithATrailingZero", "next 1.50\nnext 1\n", "next 1.5\n" + bad + next_one},
        StageTwoCase{"StageOneCommandsDoNotExistHere", "tr0_f 23000\ndtr_t 1.4\nreverseimage\nnext 1\n",
                     bad + bad + bad + next_one},
        StageTwoCase{"AutoOnAndOffWriteNothing", "auto on\nauto off\n", ""},
        StageTwoCase{"LinesNarrowTheRangesAndFlipTheCorner", "9-10\n",
                     back_in_stage_one("9-10", range_display("22815", "22885", "1.409015385", "1.402071415"))},
        StageTwoCase{"ReversedRangeIsTakenAsItStands", "14-12\n",
                     back_in_stage_one("14-12", range_display("22990", "22955", "1.391615575", "1.395106173"))},
        StageTwoCase{"LinesOutsideTheSweepAreTakenAsTheyStand", "-1-30\n",
                     back_in_stage_one("-1-30", range_display("22465", "23585", "1.443416144", "1.331461728"))},
        StageTwoCase{"LineRangeWhoseEndOverflows", "0-2147483647\nnext 1\n", "0-2147483647\n" + bad + next_one},
        StageTwoCase{"LineNumberBeyond32BitsHasNoEcho", "0-2147483648\nnext 1\n", bad + next_one}),
    [](const testing::TestParamInfo<StageTwoCase>& info) { return std::string(info.param.name); });

// Each next multiplies the step by the single-precision 3e+38. The fourth would put
// tr0_t near 8.5e156, whose square overflows: no line range could narrow the ranges
// through the anchor any more, so it is refused and the window stays where it was.
TEST(StageTwo, RefusesAWindowThatCouldNotBeNarrowed)
{
    const std::vector<std::string> displays = {
        range_display("23480", "3.150000006e+41", "1.328", "-3.600000007e+37"),
        range_display("2.940000005e+41", "9.450000035e+79", "-3.360000006e+37", "-1.080000004e+76"),
        range_display("8.820000032e+79", "2.835000016e+118", "-1.008000004e+76", "-3.240000018e+114"),
    };
    std::string typed = "auto off\n12-14\n";
    std::string expected = tiny_start + "12-14\n" + prompt;
    for (const std::string& display : displays) {
        typed += "next3e+38\n";  // one character shorter than its echo
        expected += "next 3e+38\n" + display + prompt;
    }
    typed += "next3e+38\nnext 1\nexit\n";
    expected += "next 3e+38\n" + bad + "next 1\n" +
                range_display("2.646000015e+118", "5.48100003e+118", "-3.024000017e+114", "-6.264000034e+114") +
                prompt;
    const RunResult r = run_ringetch(tiny_image, typed, make_work_dir());
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, expected);
}

// The sequence that used to leave only "exit": three nexts of 3e+38 and a prev of
// 3e+38, which would put tr0_f near -8.5e156. The prev is refused, and a line range
// still narrows the ranges and returns to stage one.
TEST(StageTwo, NextAndPrevNeverLeaveOnlyExit)
{
    const RunResult r = run_ringetch(tiny_image, "auto off\n12-14\nnext 3e38\nnext 3e38\nnext 3e38\nprev 3e38\n14-15\nexit\n",
                                     make_work_dir());
    EXPECT_EQ(r.exit_status, 0);
    const std::string moved = range_display("8.820000032e+79", "2.835000016e+118", "-1.008000004e+76", "-3.240000018e+114");
    EXPECT_NE(r.out.find("next 3e+38\n" + moved + prompt + "prev 3e+38\n" + bad + "14-15\n" +
                         range_display("1.323000007e+118", "1.512000008e+118", "-3.799384657e+227", "-4.962461593e+227") +
                         prompt),
              std::string::npos)
        << r.out;
}

// Stage one's side: a next whose first-turn ends would square past the largest
// double is refused, and so is a line range whose anchor no sweep line could narrow
// through. Stage one's setters remain, so it is never a dead end.
TEST(StageOne, RangesThatCouldNotBeAnchoredAndNarrowedAreRefused)
{
    const RunResult defaults =
        run_ringetch(tiny_image, "auto off\nnext 3e38\nnext 3e38\nnext 3e38\nnext 3e38\nexit\n", make_work_dir());
    const std::string third = range_display("4.725000017e+79", "2.835000016e+118", "-5.40000002e+75", "-3.240000018e+114");
    EXPECT_EQ(defaults.out.substr(defaults.out.size() - (third + prompt + "next 3e+38\n" + bad).size()),
              third + prompt + "next 3e+38\n" + bad);

    // Here the DIRECT corner's growth reaches -4e153: every anchor squares past it.
    const RunResult steep = run_ringetch(
        with_args(tiny_image, {"tr0_f", "22500", "tr0_t", "22501", "dtr_t", "3e38", "dtr_f", "0.2"}),
        "auto off\nnext 3e38\nnext 3e38\nnext 3e38\nnext 3e38\n1000000-1000000\n0-1\ntr0_f 22500\nexit\n", make_work_dir());
    EXPECT_EQ(steep.exit_status, 0);
    const std::string fourth = range_display("1.350000007e+115", "8.100000059e+153", "-4.050000022e+153", "-2.430000018e+192");
    EXPECT_NE(steep.out.find(fourth + prompt + "1000000-1000000\n" + bad + "0-1\n" + bad + "tr0_f 22500\n" +
                             range_display("22500", "8.100000059e+153", "-4.050000022e+153", "-2.430000018e+192") + prompt),
              std::string::npos)
        << steep.out;
}

// Turns of 100 bytes growing by 0.1 (the DIRECT corner) and the stage-one range 2-3:
// the anchor is turn 1875, 287.5 bytes long at byte 363281.25, and the sweep step
// 100/30. Sweep line 0 is the corner itself; later lines start where their own
// model has reached the position.
const std::vector<std::string> small_geometry = {"size", "400000", "tr0_f", "100", "tr0_t", "200",
                                                 "dtr_t", "0.1", "dtr_f", "0.05"};
const std::string small_start =
    range_display("100", "200", "0.1", "0.05") + "creating DIRECT image\n" +
    image_lines({"0, start byte - 0 Mb (white)", "1, start byte - 0.0782013 Mb (black)",
                 "2, start byte - 0.193655 Mb (white)", "3, start byte - 0.346363 Mb (gray)"}) +
    prompt;
const std::string small_sweep =
    image_lines({"0, start byte - 0 Mb (white)", "1, start byte - 0.0782013 Mb (black)",
                 "2, start byte - 0.194428 Mb (white)", "3, start byte - 0.347778 Mb (black)"});
// After next 1: the sweep from 193.33 in steps of 100/30, through the same anchor.
const std::string shifted_sweep = image_lines(
    {"0, start byte - 0 Mb (white)", "1, start byte - 0.126825 Mb (black)", "2, start byte - 0.277583 Mb (white)"});
const std::string shifted_ranges =
    range_display("193.3333333", "293.3333333", "0.05333333333", "0.003333333333");
// The average model (150, 0.075) drawn against itself: no gray line.
const std::string average_image = image_lines(
    {"0, start byte - 0 Mb (white)", "1, start byte - 0.103354 Mb (black)", "2, start byte - 0.234649 Mb (white)"});

struct ImageCase {
    const char* name;
    std::string typed;  // before "exit\n"
    std::string out;    // after the start-up output
    int exit_status = 0;
};

class StageTwoImages : public testing::TestWithParam<ImageCase> {};

TEST_P(StageTwoImages, AreTheSweepOrTheAverageModel)
{
    const ImageCase& c = GetParam();
    const RunResult r = run_ringetch(small_geometry, c.typed + "exit\n", make_work_dir());
    EXPECT_EQ(r.exit_status, c.exit_status);
    EXPECT_EQ(r.out, small_start + c.out);
}

INSTANTIATE_TEST_SUITE_P(
    StageTwo, StageTwoImages,
    testing::Values(
        ImageCase{"EntryInAutoModeWritesTheSweepThenPrompts", "2-3\n", "2-3\n" + small_sweep + prompt},
        ImageCase{"EntryWithAutoOffOnlyPrompts", "auto off\n2-3\n", "2-3\n" + prompt},
        ImageCase{"ImageWithAutoOffWritesTheSweepSilently", "auto off\n2-3\nimage\n", "2-3\n" + prompt + small_sweep},
        ImageCase{"AverageImageWithAutoOffWritesOnlyTheAverage", "auto off\n2-3\naverimage\n",
                  "2-3\n" + prompt + average_image},
        ImageCase{"AverageImageInAutoModeRestoresTheSweep", "2-3\naverimage\n\n",
                  "2-3\n" + small_sweep + prompt + average_image + "press ENTER for restore image" + small_sweep},
        // The line after the wait is swallowed, even "exit": the input then runs out.
        ImageCase{"TheEnterLineIsNotACommand", "2-3\naverimage\n",
                  "2-3\n" + small_sweep + prompt + average_image + "press ENTER for restore image" + small_sweep, 1},
        ImageCase{"AutoOnWritesTheSweepAtTheNextMove", "auto off\n2-3\nauto on\nnext 1\n",
                  "2-3\n" + prompt + "next 1\n" + shifted_ranges + shifted_sweep + prompt},
        ImageCase{"AverageImageAfterAMoveUsesTheMovedRanges", "auto off\n2-3\nnext 1\naverimage\n",
                  "2-3\n" + prompt + "next 1\n" + shifted_ranges + prompt +
                      image_lines({"0, start byte - 0 Mb (white)", "1, start byte - 0.150307 Mb (black)",
                                   "2, start byte - 0.311169 Mb (white)"})},
        // Back in stage one with the reverse flag on, averimage puts back the corner
        // that auto mode shows there: the REVERSE one, (200, 0.0587...).
        ImageCase{"AverageImageBackInStageOneRestoresTheReverseCorner", "auto off\n2-3\n0-29\nauto on\naverimage\n\n",
                  "2-3\n" + prompt + "0-29\n" + range_display("100", "200", "0.1", "0.05870967742") + prompt +
                      image_lines({"0, start byte - 0 Mb (white)", "1, start byte - 0.104164 Mb (black)",
                                   "2, start byte - 0.237891 Mb (white)"}) +
                      "press ENTER for restore image" + "creating REVERSE image\n" +
                      image_lines({"0, start byte - 0 Mb (white)", "1, start byte - 0.130127 Mb (black)",
                                   "2, start byte - 0.282126 Mb (white)"})},
        // Back in stage one with the reverse flag on: the automatic image is the
        // REVERSE corner (293.33, -0.00466...), "image" still the DIRECT one.
        ImageCase{"BackInStageOneAutoShowsReverseButImageDirect", "auto off\n2-3\nnext 1\nauto on\n0-29\nimage\n",
                  "2-3\n" + prompt + "next 1\n" + shifted_ranges + prompt + "0-29\n" +
                      range_display("193.3333333", "293.3333333", "0.06231875747", "-0.004663321386") +
                      "creating REVERSE image\n" +
                      image_lines({"0, start byte - 0 Mb (white)", "1, start byte - 0.173973 Mb (black)",
                                   "2, start byte - 0.346209 Mb (gray)"}) +
                      prompt +
                      image_lines({"0, start byte - 0 Mb (white)", "1, start byte - 0.126825 Mb (black)",
                                   "2, start byte - 0.276865 Mb (gray)"})}),
    [](const testing::TestParamInfo<ImageCase>& info) { return std::string(info.param.name); });

// The restored file is the sweep image byte for byte: the same as "image" writes
// after the same average image, and not the average image left in place.
TEST(StageTwo, AverageImageInAutoModeLeavesTheSweepImageInTheFile)
{
    const std::string restored_dir = make_work_dir();
    const std::string asked_dir = make_work_dir();
    const std::string average_dir = make_work_dir();
    ASSERT_EQ(run_ringetch(small_geometry, "2-3\naverimage\n\nexit\n", restored_dir).exit_status, 0);
    ASSERT_EQ(run_ringetch(small_geometry, "auto off\n2-3\naverimage\nimage\nexit\n", asked_dir).exit_status, 0);
    ASSERT_EQ(run_ringetch(small_geometry, "auto off\n2-3\naverimage\nexit\n", average_dir).exit_status, 0);
    const std::string restored = read_file(restored_dir + "/image.rge");
    EXPECT_EQ(restored.size() % 2352, 0U);
    EXPECT_TRUE(restored == read_file(asked_dir + "/image.rge"));
    EXPECT_FALSE(restored == read_file(average_dir + "/image.rge"));
}

}  // namespace
