// Stage one as the user meets it: the ranges after next, prev and the four setters,
// the commands it refuses without changing anything, and which model each image
// command draws.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogue_support.h"
#include "named_case.h"

namespace {

using named_case::operator<<;

struct StageOneCase {
    const char* name;
    std::string typed;  // after "auto off\n", before "exit\n"
    std::string out;    // after the start-up output
    std::vector<std::string> args = {};
    std::string start = tiny_start;  // what the run prints before reading
};

// The start-up output of tiny_image runs with other ranges.
std::string start_with(const std::string& ranges, const std::string& colour = "white")
{
    return ranges + "creating DIRECT image\nline number 0, start byte - 0 Mb (" + colour + ")\n" + success_message() +
           prompt;
}

std::string case_name(const testing::TestParamInfo<StageOneCase>& info) { return info.param.name; }

void expect_with_auto_off(const StageOneCase& c)
{
    const RunResult r = run_ringetch(with_args(tiny_image, c.args), "auto off\n" + c.typed + "exit\n", make_work_dir());
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, c.start + c.out);
    EXPECT_EQ(r.err, "");
}

std::string changed(const std::string& echo, const std::string& ranges) { return echo + "\n" + ranges + prompt; }

class StageOneRanges : public testing::TestWithParam<StageOneCase> {};

TEST_P(StageOneRanges, AreShownAfterEveryChange) { expect_with_auto_off(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    StageOne, StageOneRanges,
    testing::Values(
        StageOneCase{"NextHalfKeepsTheUpperHalf", "next 0.5\n", changed("next 0.5", range_display("23025", "23550", "1.38", "1.32"))},
        StageOneCase{"PrevHalfKeepsTheLowerHalf", "prev 0.5\n", changed("prev 0.5", range_display("22500", "23025", "1.44", "1.38"))},
        StageOneCase{"NextOneShiftsUpByHalfTheWidth", "next 1\n", changed("next 1", range_display("23025", "24075", "1.38", "1.26"))},
        StageOneCase{"PrevOneShiftsDownByHalfTheWidth", "prev 1\n", changed("prev 1", range_display("21975", "23025", "1.5", "1.38"))},
        StageOneCase{"NextTwoWidens", "next 2\n", changed("next 2", range_display("23025", "25125", "1.38", "1.14"))},
        StageOneCase{"NextTenth", "next 0.1\n", changed("next 0.1", range_display("23025", "23130", "1.38", "1.368"))},
        StageOneCase{"NextReadInSinglePrecision", "next 0.3\n",
                     changed("next 0.3", range_display("23025", "23340.00001", "1.38", "1.343999999"))},
        StageOneCase{"ChangesBuildOnEachOther", "next 0.5\nprev 0.5\n",
                     changed("next 0.5", range_display("23025", "23550", "1.38", "1.32")) +
                         changed("prev 0.5", range_display("23025", "23287.5", "1.38", "1.35"))},
        StageOneCase{"UpperFirstTurnEnd", "tr0_t 23000\n", changed("tr0_t 23000", range_display("22500", "23000", "1.44", "1.32"))},
        StageOneCase{"LowerFirstTurnEnd", "tr0_f 22800\n", changed("tr0_f 22800", range_display("22800", "23550", "1.44", "1.32"))},
        StageOneCase{"GrowthPairedWithTheLowerEnd", "dtr_t 1.5\n", changed("dtr_t 1.5", range_display("22500", "23550", "1.5", "1.32"))},
        StageOneCase{"GrowthReadInSinglePrecision", "dtr_f 1.3\n",
                     changed("dtr_f 1.3", range_display("22500", "23550", "1.44", "1.299999952"))},
        StageOneCase{"SettersCheckNothingAboveTheGuard", "tr0_f 30000\n",
                     changed("tr0_f 30000", range_display("30000", "23550", "1.44", "1.32"))}),
    case_name);

class StageOneRefusal : public testing::TestWithParam<StageOneCase> {};

// Each row ends with a setter that shows the ranges: they are as before the refusal.
TEST_P(StageOneRefusal, PrintsBadCommandAndChangesNothing) { expect_with_auto_off(GetParam()); }

const std::string bad = "bad command\n";
const std::string back_to_defaults = changed("tr0_f 22500", default_ranges);

INSTANTIATE_TEST_SUITE_P(
    StageOne, StageOneRefusal,
    testing::Values(
        StageOneCase{"SetterBelowTheValueGuard", "dtr_f 0.05\ntr0_f 22500\n", "dtr_f 0.05\n" + bad + back_to_defaults},
        StageOneCase{"RangeEndThatOverflowsToInfinity", "tr0_t1e39\ntr0_f 22500\n", "tr0_t inf\n" + bad + back_to_defaults},
        StageOneCase{"NextByInfinity", "next1e39\ntr0_f 22500\n", "next inf\n" + bad + back_to_defaults},
        StageOneCase{"NextWithAnInfiniteResult", "next3e+38\nprev3e+38\ntr0_f 22500\n",
                     "next 3e+38\n" + bad + "prev 3e+38\n" + bad + changed("tr0_f 22500", range_display("22500", "1e+300", "1.44", "1.32")),
                     {"tr0_t", "1e300"},
                     start_with(range_display("22500", "1e+300", "1.44", "1.32"))},
        StageOneCase{"NextAndPrevWithEqualGrowthEnds", "next 1\nprev 1\ntr0_f 22500\n",
                     "next 1\n" + bad + "prev 1\n" + bad + changed("tr0_f 22500", range_display("22500", "23550", "1.32", "1.32")),
                     {"dtr_t", "1.32"},
                     start_with(range_display("22500", "23550", "1.32", "1.32"))},
        StageOneCase{"NextAndPrevWithEqualGrowthEndsTyped", "dtr_t 1.32\ndtr_f 1.32\nnext 1\nprev 1\n",
                     changed("dtr_t 1.32", range_display("22500", "23550", "1.320000052", "1.32")) +
                         changed("dtr_f 1.32", range_display("22500", "23550", "1.320000052", "1.320000052")) +
                         "next 1\n" + bad + "prev 1\n" + bad},
        StageOneCase{"NextAndPrevWithEqualFirstTurnEnds", "next 1\nprev 1\ntr0_f 22500\n",
                     "next 1\n" + bad + "prev 1\n" + bad + changed("tr0_f 22500", range_display("22500", "22500", "1.44", "1.32")),
                     {"tr0_t", "22500"},
                     // The corner and the average model cross at turn 0.
                     start_with(range_display("22500", "22500", "1.44", "1.32"), "gray")},
        StageOneCase{"LineRangeWithTheAnchorAtTheStart", "0-0\n", "0-0\n" + bad},
        StageOneCase{"LineRangeWhoseHalvingTruncatesToZero", "-2-0\n-1-0\n", "-2-0\n" + bad + "-1-0\n" + bad},
        StageOneCase{"LineRangeWithTheAnchorBeforeTheStart", "-9--5\n", "-9--5\n" + bad},
        StageOneCase{"LineRangeWhoseSumOverflows", "2147483647-1\n", "2147483647-1\n" + bad},
        StageOneCase{"LineRangeWhoseAnchorTurnOverflows", "3436000-3436000\n", "3436000-3436000\n" + bad},
        StageOneCase{"LineNumberBeyond32BitsHasNoEcho", "99999999999-1\n1-4294967297\n", bad + bad}),
    case_name);

TEST(StageOne, AcceptsTheLargestAnchorTurnThatFits32Bits)
{
    // 625 * 3435972 = 2147482500; one line more would not fit.
    expect_with_auto_off({"LargestAnchor", "3435972-3435972\n", "3435972-3435972\n" + prompt});
}

// Turns of 100 bytes growing by 0.1 (DIRECT) or of 200 growing by 0.05 (REVERSE):
// the progress lines tell which model an image was drawn from, and the gray line
// the crossing with the average model at turn 2000.
const std::vector<std::string> small_geometry = {"size", "400000", "tr0_f", "100", "tr0_t", "200",
                                                 "dtr_t", "0.1", "dtr_f", "0.05"};
const std::string direct_image = "line number 0, start byte - 0 Mb (white)\n"
                                 "line number 1, start byte - 0.0782013 Mb (black)\n"
                                 "line number 2, start byte - 0.193655 Mb (white)\n"
                                 "line number 3, start byte - 0.346363 Mb (gray)\n" +
                                 success_message();
const std::string reverse_image = "line number 0, start byte - 0 Mb (white)\n"
                                  "line number 1, start byte - 0.128508 Mb (black)\n"
                                  "line number 2, start byte - 0.275642 Mb (white)\n" +
                                  success_message();
const std::string average_image = "line number 0, start byte - 0 Mb (white)\n"
                                  "line number 1, start byte - 0.103354 Mb (black)\n"
                                  "line number 2, start byte - 0.234649 Mb (white)\n" +
                                  success_message();
const std::string small_start =
    range_display("100", "200", "0.1", "0.05") + "creating DIRECT image\n" + direct_image + prompt;

struct ImageCase {
    const char* name;
    std::string typed;  // before "exit\n"
    std::string out;    // after the start-up output
};

class StageOneImages : public testing::TestWithParam<ImageCase> {};

TEST_P(StageOneImages, DrawTheirOwnModel)
{
    const RunResult r = run_ringetch(small_geometry, GetParam().typed + "exit\n", make_work_dir());
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, small_start + GetParam().out);
    EXPECT_EQ(r.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    StageOne, StageOneImages,
    testing::Values(
        ImageCase{"ImageDrawsTheDirectCornerSilently", "image\n", direct_image},
        ImageCase{"ReverseImageDrawsTheReverseCornerSilently", "reverseimage\n", reverse_image},
        ImageCase{"AverageImageWithAutoOffDrawsOnlyTheAverage", "auto off\naverimage\n", average_image},
        ImageCase{"AverageImageWithAutoOnPutsTheCornerBack", "averimage\n\n",
                  average_image + "press ENTER for restore image" + "creating DIRECT image\n" + direct_image},
        ImageCase{"TheEnterLineIsNotACommand", "averimage\nexit\n",
                  average_image + "press ENTER for restore image" + "creating DIRECT image\n" + direct_image},
        ImageCase{"AutoOnAndOffWriteNothing", "auto off\nauto on\nauto on\n", ""},
        ImageCase{"AutoOnWritesTheCornerAfterTheNextChange", "auto off\nauto on\nnext 1\n",
                  "next 1\n" + range_display("150", "250", "0.075", "0.025") + "creating DIRECT image\n" +
                      "line number 0, start byte - 0 Mb (white)\n"
                      "line number 1, start byte - 0.103354 Mb (black)\n"
                      "line number 2, start byte - 0.234649 Mb (white)\n" +
                      success_message() + prompt}),
    [](const testing::TestParamInfo<ImageCase>& info) { return std::string(info.param.name); });

// The image that averimage puts back is the corner image byte for byte: the same as
// one the user asks for with "image" after the same average image.
TEST(StageOne, AverageImageInAutoModeLeavesTheCornerImageInTheFile)
{
    const std::string restored_dir = make_work_dir();
    const std::string asked_dir = make_work_dir();
    const std::string average_dir = make_work_dir();
    ASSERT_EQ(run_ringetch(small_geometry, "averimage\n\nexit\n", restored_dir).exit_status, 0);
    ASSERT_EQ(run_ringetch(small_geometry, "auto off\naverimage\nimage\nexit\n", asked_dir).exit_status, 0);
    ASSERT_EQ(run_ringetch(small_geometry, "auto off\naverimage\nexit\n", average_dir).exit_status, 0);
    const std::string restored = read_file(restored_dir + "/image.rge");
    EXPECT_EQ(restored.size() % 2352, 0U);
    EXPECT_TRUE(restored == read_file(asked_dir + "/image.rge"));
    EXPECT_FALSE(restored == read_file(average_dir + "/image.rge"));
}

}  // namespace
