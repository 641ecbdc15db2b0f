// The command line: the values the name/value pairs give, what the program prints
// when it starts, and the refusals of names it does not know.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/parameters.h"
#include "dialogue_support.h"
#include "named_case.h"

namespace {

using named_case::operator<<;

// args keep the texts that state.image_path may point into.
int parse(std::vector<std::string>& args, CalibrationState& state)
{
    args.insert(args.begin(), "ringetch");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    return parse_parameters(static_cast<int>(args.size()), argv.data(), state);
}

TEST(Parameters, NoArgumentsLeaveTheDefaults)
{
    CalibrationState state;
    std::vector<std::string> args;
    ASSERT_EQ(parse(args, state), 0);
    EXPECT_EQ(state.ranges.tr0_f, 22500);
    EXPECT_EQ(state.ranges.tr0_t, 23550);
    EXPECT_EQ(state.ranges.dtr_t, 1.44);
    EXPECT_EQ(state.ranges.dtr_f, 1.32);
    EXPECT_EQ(state.size, 736985088);
    EXPECT_EQ(state.size % 2352, 0);
    EXPECT_STREQ(state.image_path, "image.rge");
}

struct ValueCase {
    const char* name;
    std::vector<std::string> args;
    std::int32_t size;
    double tr0_f;
    double tr0_t;
    double dtr_t;
    double dtr_f;
    std::string path;
};

class ParameterValues : public testing::TestWithParam<ValueCase> {};

TEST_P(ParameterValues, AreReadAsTheStandardConversionsReadThem)
{
    const ValueCase& c = GetParam();
    CalibrationState state;
    std::vector<std::string> args = c.args;
    ASSERT_EQ(parse(args, state), 0);
    EXPECT_EQ(state.size, c.size);
    EXPECT_EQ(state.ranges.tr0_f, c.tr0_f);
    EXPECT_EQ(state.ranges.tr0_t, c.tr0_t);
    EXPECT_EQ(state.ranges.dtr_t, c.dtr_t);
    EXPECT_EQ(state.ranges.dtr_f, c.dtr_f);
    EXPECT_EQ(std::string(state.image_path), c.path);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, ParameterValues,
    testing::Values(
        ValueCase{"LastPairOfANameWins", {"tr0_f", "22000", "tr0_f", "22100"}, 736985088, 22100, 23550, 1.44, 1.32, "image.rge"},
        ValueCase{"SizeStopsAtTheFirstNonDigit", {"size", "12abc"}, 12, 22500, 23550, 1.44, 1.32, "image.rge"},
        ValueCase{"SizeSkipsBlanksAndTakesASign", {"size", "  +7"}, 7, 22500, 23550, 1.44, 1.32, "image.rge"},
        ValueCase{"NegativeSizeIsKept", {"size", "-5"}, -5, 22500, 23550, 1.44, 1.32, "image.rge"},
        ValueCase{"LargestSize", {"size", "2147483647"}, 2147483647, 22500, 23550, 1.44, 1.32, "image.rge"},
        ValueCase{"SmallestSize", {"size", "-2147483648"}, -2147483647 - 1, 22500, 23550, 1.44, 1.32, "image.rge"},
        ValueCase{"AValueIsNeverTakenForAName", {"size", "image"}, 0, 22500, 23550, 1.44, 1.32, "image.rge"},
        ValueCase{"GrowthWithoutANumberIsZero", {"dtr_t", "x"}, 736985088, 22500, 23550, 0, 1.32, "image.rge"},
        ValueCase{"RangeEndsTakeExponentsAndTrailingText", {"tr0_t", "2.5e4mm", "dtr_f", "-1.5"}, 736985088, 22500,
                  25000, 1.44, -1.5, "image.rge"},
        ValueCase{"EveryNameInAnyOrder",
                  {"image", "out.bin", "dtr_f", "1.1", "dtr_t", "1.6", "tr0_t", "400", "tr0_f", "300", "size", "9"},
                  9, 300, 400, 1.6, 1.1, "out.bin"}),
    [](const testing::TestParamInfo<ValueCase>& info) { return std::string(info.param.name); });

TEST(StartUp, ShowsTheDefaultRangesAndWritesTheDirectImageBeforeThePrompt)
{
    const std::string dir = make_work_dir();
    const RunResult r = run_ringetch(tiny_image, "exit\n", dir);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, "tr0: 22500-23550\ndtr: 1.44-1.32\n"
                     "creating DIRECT image\n"
                     "line number 0, start byte - 0 Mb (white)\n"
                     "image \"image.rge\" created succesfully.\n"
                     "burn it by command\n"
                     "$ cdrecord -audio dev=<burner-device> \"image.rge\"\n"
                     "enter number of the LINE\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file_size(dir + "/image.rge"), 4704);
}

// Turns of 100 bytes growing by 0.1: line k starts at 62500k + 0.1 * 625k(625k - 1)/2
// bytes, and the average model (150, 0.075) crosses the DIRECT corner at turn 2000.
TEST(StartUp, PrintsOneProgressLinePerLineOfTurnsWithTheCrossingLineGray)
{
    const std::string dir = make_work_dir();
    const RunResult r = run_ringetch(
        {"size", "400000", "tr0_f", "100", "tr0_t", "200", "dtr_t", "0.1", "dtr_f", "0.05"}, "exit\n", dir);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, range_display("100", "200", "0.1", "0.05") + "creating DIRECT image\n" +
                         "line number 0, start byte - 0 Mb (white)\n"
                         "line number 1, start byte - 0.0782013 Mb (black)\n"
                         "line number 2, start byte - 0.193655 Mb (white)\n"
                         "line number 3, start byte - 0.346363 Mb (gray)\n" +
                         success_message() + prompt);
    EXPECT_EQ(r.err, "");
}

struct FirstTurnCase {
    const char* name;
    const char* size;
    long long file_bytes;
};

class SizeAgainstFirstTurn : public testing::TestWithParam<FirstTurnCase> {};

// A size up to the first turn draws nothing: the file is the drained interleaver
// alone (two records). One byte more and the first turn of 22500 bytes fits.
TEST_P(SizeAgainstFirstTurn, DecidesWhetherAnyTurnIsDrawn)
{
    const std::string dir = make_work_dir();
    const RunResult r = run_ringetch({"size", GetParam().size}, "exit\n", dir);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, tiny_start);
    EXPECT_EQ(file_size(dir + "/image.rge"), GetParam().file_bytes);
}

INSTANTIATE_TEST_SUITE_P(CommandLine, SizeAgainstFirstTurn,
                         testing::Values(FirstTurnCase{"SmallerThanTheFirstTurn", "12abc", 4704},
                                         FirstTurnCase{"EqualToTheFirstTurn", "22500", 4704},
                                         FirstTurnCase{"OneByteMoreThanTheFirstTurn", "22501", 11 * 2352}),
                         [](const testing::TestParamInfo<FirstTurnCase>& info) { return std::string(info.param.name); });

struct DisplayCase {
    const char* name;
    std::vector<std::string> args;
    std::string ranges;
};

class StartingRanges : public testing::TestWithParam<DisplayCase> {};

TEST_P(StartingRanges, AreTheFirstThingPrinted)
{
    const std::string dir = make_work_dir();
    const RunResult r = run_ringetch(with_args(tiny_image, GetParam().args), "exit\n", dir);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, GetParam().ranges + "creating DIRECT image\n" + empty_image() + prompt);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, StartingRanges,
    testing::Values(DisplayCase{"GivenFirstTurnEnds", {"tr0_f", "22800", "tr0_t", "23200"}, range_display("22800", "23200", "1.44", "1.32")},
                    DisplayCase{"RepeatedName", {"tr0_f", "22000", "tr0_f", "22100"}, range_display("22100", "23550", "1.44", "1.32")},
                    DisplayCase{"GrowthThatIsNoNumber", {"dtr_t", "x"}, range_display("22500", "23550", "0", "1.32")},
                    DisplayCase{"ReversedEndsAreNotChecked", {"tr0_f", "23600", "dtr_f", "1.5"}, range_display("23600", "23550", "1.44", "1.5")}),
    [](const testing::TestParamInfo<DisplayCase>& info) { return std::string(info.param.name); });

TEST(StartUp, WritesEveryImageToTheGivenPath)
{
    const std::string dir = make_work_dir();
    const RunResult r = run_ringetch(with_args(tiny_image, {"image", "out.bin"}), "image\nexit\n", dir);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, default_ranges + "creating DIRECT image\n" + empty_image("out.bin") + prompt + empty_image("out.bin"));
    EXPECT_EQ(file_size(dir + "/out.bin"), 4704);
    EXPECT_EQ(file_size(dir + "/image.rge"), -1);
}

const std::string expected_parameters = "expected parameters:\nsize, tr0_f, tr0_t, dtr_t, dtr_f, image\n";

struct RefusalCase {
    const char* name;
    std::vector<std::string> args;
    std::string err;
};

class RefusedCommandLine : public testing::TestWithParam<RefusalCase> {};

TEST_P(RefusedCommandLine, EndsWithStatusOneBeforeAnyImage)
{
    const std::string dir = make_work_dir();
    const RunResult r = run_ringetch(GetParam().args, "exit\n", dir);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, GetParam().err);
    EXPECT_EQ(file_size(dir + "/image.rge"), -1);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, RefusedCommandLine,
    testing::Values(
        RefusalCase{"NameInTheWrongCase", {"Size", "5"}, "bad parameter number 1 \"Size\"\n" + expected_parameters},
        RefusalCase{"NameWithAPrefix", {"-size", "5"}, "bad parameter number 1 \"-size\"\n" + expected_parameters},
        RefusalCase{"NameWithASuffix", {"sizes", "5"}, "bad parameter number 1 \"sizes\"\n" + expected_parameters},
        RefusalCase{"UnknownSecondName", {"size", "5", "extra"}, "bad parameter number 3 \"extra\"\n" + expected_parameters},
        RefusalCase{"UnknownNameWithAValue", {"size", "5", "extra", "6"},
                    "bad parameter number 3 \"extra\"\n" + expected_parameters},
        RefusalCase{"LoneName", {"size"}, "bad parameter number 1 \"size\"\n" + expected_parameters},
        RefusalCase{"NameWithoutValueAtTheEnd", {"size", "5", "image"},
                    "bad parameter number 3 \"image\"\n" + expected_parameters},
        RefusalCase{"BadNameAfterAGoodPair", {"tr0_f", "300", "tr0_f"},
                    "bad parameter number 3 \"tr0_f\"\n" + expected_parameters},
        RefusalCase{"SizeFarBeyond32Bits", {"size", "99999999999"},
                    "size \"99999999999\" does not fit a 32-bit signed integer\n"},
        RefusalCase{"SizeJustAbove32Bits", {"size", "2147483648"},
                    "size \"2147483648\" does not fit a 32-bit signed integer\n"},
        RefusalCase{"SizeJustBelow32Bits", {"size", "-2147483649"},
                    "size \"-2147483649\" does not fit a 32-bit signed integer\n"}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

}  // namespace
