// The command line: the values the name/value pairs give, what the program prints
// when it starts, and the refusals of names it does not know; and the parsers of
// the shared reader that the other tools' command lines are made of.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/command_line.h"
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

// One text through one of the shared reader's parsers: accepted with the values
// given, or refused.
enum class Parser { first_turn, growth, pixels, mirror, pair };

struct ParserCase {
    const char* name;
    Parser parser;
    const char* text;
    bool accepted;
    double first;
    double second;
};

class SharedParsers : public testing::TestWithParam<ParserCase> {};

TEST_P(SharedParsers, ReadTheWholeTextOrRefuseIt)
{
    const ParserCase& c = GetParam();
    double first = -7;
    double second = -7;
    int whole = -7;
    bool on = false;
    bool accepted = false;
    switch (c.parser) {
    case Parser::first_turn: accepted = read_first_turn(c.text, first); break;
    case Parser::growth: accepted = read_growth(c.text, first); break;
    case Parser::pixels:
        accepted = read_whole_number(c.text, 16, 8192, whole);
        first = whole;
        break;
    case Parser::mirror:
        accepted = read_switch(c.text, on);
        first = on ? 1 : 0;
        break;
    case Parser::pair: accepted = read_decimal_pair(c.text, first, second); break;
    }
    ASSERT_EQ(accepted, c.accepted);
    if (!accepted)
        return;
    EXPECT_EQ(first, c.first);
    if (c.parser == Parser::pair) {
        EXPECT_EQ(second, c.second);
    }
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, SharedParsers,
    testing::Values(
        ParserCase{"FirstTurn", Parser::first_turn, "23000", true, 23000, 0},
        ParserCase{"FirstTurnOfOneByte", Parser::first_turn, "1", true, 1, 0},
        ParserCase{"FirstTurnWithBlanks", Parser::first_turn, " 22850.5 ", true, 22850.5, 0},
        ParserCase{"FirstTurnUnderAByte", Parser::first_turn, "0.999", false, 0, 0},
        ParserCase{"FirstTurnWithTrailingText", Parser::first_turn, "23000abc", false, 0, 0},
        ParserCase{"FirstTurnInHexadecimal", Parser::first_turn, "0x5A00", false, 0, 0},
        ParserCase{"FirstTurnInfinite", Parser::first_turn, "inf", false, 0, 0},
        ParserCase{"FirstTurnEmpty", Parser::first_turn, "", false, 0, 0},
        ParserCase{"Growth", Parser::growth, "1.388", true, 1.388, 0},
        ParserCase{"GrowthWithAnExponent", Parser::growth, "1e-3", true, 0.001, 0},
        ParserCase{"GrowthWithTrailingText", Parser::growth, "1.388x", false, 0, 0},
        ParserCase{"GrowthZero", Parser::growth, "0", false, 0, 0},
        ParserCase{"GrowthNegative", Parser::growth, "-1.388", false, 0, 0},
        ParserCase{"PixelsLeast", Parser::pixels, "16", true, 16, 0},
        ParserCase{"PixelsMost", Parser::pixels, "8192", true, 8192, 0},
        ParserCase{"PixelsWithSignAndBlanks", Parser::pixels, " +64 ", true, 64, 0},
        ParserCase{"PixelsFractional", Parser::pixels, "64.5", false, 0, 0},
        ParserCase{"PixelsWithTrailingText", Parser::pixels, "64px", false, 0, 0},
        ParserCase{"PixelsBelowTheLeast", Parser::pixels, "15", false, 0, 0},
        ParserCase{"PixelsAboveTheMost", Parser::pixels, "8193", false, 0, 0},
        ParserCase{"PixelsThatWrapIn32Bits", Parser::pixels, "4294968320", false, 0, 0},
        ParserCase{"PixelsOfTwentyDigits", Parser::pixels, "99999999999999999999", false, 0, 0},
        ParserCase{"PixelsWithoutDigits", Parser::pixels, "-", false, 0, 0},
        ParserCase{"MirrorOn", Parser::mirror, "1", true, 1, 0},
        ParserCase{"MirrorOff", Parser::mirror, "0", true, 0, 0},
        ParserCase{"MirrorOtherwise", Parser::mirror, "01", false, 0, 0},
        ParserCase{"PairOfFirstTurns", Parser::pair, "23025-23130", true, 23025, 23130},
        ParserCase{"PairOfGrowths", Parser::pair, "1.396420513-1.387584", true, 1.396420513, 1.387584},
        ParserCase{"PairWithANegativeSecond", Parser::pair, "1.44--1.5", true, 1.44, -1.5},
        ParserCase{"PairWithNegativeExponents", Parser::pair, "1e-05-2e-05", true, 1e-05, 2e-05},
        ParserCase{"PairWithBlanks", Parser::pair, "23025 - 23130", true, 23025, 23130},
        ParserCase{"PairOfOneNumber", Parser::pair, "23025", false, 0, 0},
        ParserCase{"PairWithoutItsSecond", Parser::pair, "23025-", false, 0, 0},
        ParserCase{"PairWithoutItsFirst", Parser::pair, "-23130", false, 0, 0},
        ParserCase{"PairOfThree", Parser::pair, "1-2-3", false, 0, 0},
        ParserCase{"PairWithTrailingText", Parser::pair, "1.39-1.38x", false, 0, 0}),
    [](const testing::TestParamInfo<ParserCase>& info) { return std::string(info.param.name); });

}  // namespace
