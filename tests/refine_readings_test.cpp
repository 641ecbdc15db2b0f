// The readings file: a file of eye burns reads and writes back byte for byte as it
// always did, scan burns and a first image's twists round-trip exactly, and a bad
// row is refused with its line number.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "model_fit/readings_file.h"
#include "named_case.h"
#include "program_run.h"

namespace {

using named_case::operator<<;

Readings readings;  // large

void write_text(const std::string& path, const std::string& text)
{
    std::FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs(text.c_str(), f);
    std::fclose(f);
}

std::string printed(const Readings& r)
{
    std::FILE* f = std::tmpfile();
    print_readings(r, f);
    std::string text(static_cast<std::size_t>(std::ftell(f)), '\0');
    std::rewind(f);
    const std::size_t got = std::fread(text.data(), 1, text.size(), f);
    std::fclose(f);
    text.resize(got);
    return text;
}

bool load_text(const std::string& text, std::string& why)
{
    const std::string path = make_work_dir() + "/r.readings";
    write_text(path, text);
    char message[256] = {};
    const bool loaded = load_readings(path.c_str(), readings, message, sizeof message) == LoadResult::loaded;
    why = message;
    return loaded;
}

const std::string head = "ringetch-refine readings\nranges 23085 23185 1.5 1.25\n";  // numbers that %.17g prints as typed
const std::string eye_burn = "burn 23135 1.375 lines 5\n0 10\n1 20.5\n2 -\n3 300\n4 359.75\n";
const std::string scan_burn =
    "burn 23135.5 1.390625 lines 6 scan\n0 12.25 error 0.5 twist -3.5 error 1.25 turns 560\n1 13 error 0.0625\n2 -\n"
    "3 14.5 error 0.5 twist 0 error 1 turns 560\n4 15 error 2\n5 16 error 0.5 twist 7.75 error 1 turns 128\n";
const std::string first = "first twists 2\n3 -1234.5 error 12.5 from 61234567 to 74234567.25 turns 560\n"
                          "7 88.25 error 1 from 150000000 to 163000000 turns 560\n";

struct FileCase {
    const char* name;
    std::string text;
};

class ReadingsRoundTrip : public testing::TestWithParam<FileCase> {};

TEST_P(ReadingsRoundTrip, LoadsAndPrintsBackTheSameBytes)
{
    std::string why;
    ASSERT_TRUE(load_text(GetParam().text, why)) << why;
    EXPECT_EQ(printed(readings), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Readings, ReadingsRoundTrip,
                         testing::Values(FileCase{"RangesOnly", head}, FileCase{"EyeBurns", head + eye_burn + eye_burn},
                                         FileCase{"ScanBurns", head + scan_burn + eye_burn + scan_burn},
                                         FileCase{"FirstTwistsThenBurns", head + first + scan_burn + eye_burn},
                                         FileCase{"FirstTwistsAlone", head + first}),
                         [](const testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

TEST(Readings, ABurnWithoutASourceOrMarkedEyeIsAnEyeBurnAndAScanBurnKeepsItsErrors)
{
    std::string why;
    ASSERT_TRUE(load_text(head + first + "burn 23135 1.375 lines 5 eye\n0 10\n1 20.5\n2 -\n3 300\n4 359.75\n" +
                              scan_burn,
                          why))
        << why;
    EXPECT_EQ(printed(readings), head + first + eye_burn + scan_burn);
    ASSERT_EQ(readings.burn_count, 2);
    EXPECT_EQ(readings.burns[0].source, ReadBy::eye);
    const BurnReadings& scan = readings.burns[1];
    EXPECT_EQ(scan.source, ReadBy::scan);
    EXPECT_EQ(lines_read(scan), 5);
    EXPECT_EQ(scan.error[1], 0.0625);
    EXPECT_FALSE(scan.twist_read[1]);
    EXPECT_TRUE(scan.twist_read[0]);
    EXPECT_EQ(scan.twist[0], -3.5);
    EXPECT_EQ(scan.twist_error[0], 1.25);
    ASSERT_EQ(readings.first_twist_count, 2);
    EXPECT_EQ(readings.first_twists[0].line, 3);
    EXPECT_EQ(readings.first_twists[0].to, 74234567.25);
    EXPECT_EQ(readings.first_twists[1].marked_turns, 560);
}

struct BadFile {
    const char* name;
    std::string text;
    const char* why;
};

class ReadingsRefused : public testing::TestWithParam<BadFile> {};

TEST_P(ReadingsRefused, NamingTheLine)
{
    std::string why;
    EXPECT_FALSE(load_text(GetParam().text, why));
    EXPECT_EQ(why, GetParam().why);
}

const std::string scan_head = head + "burn 23135.5 1.390625 lines 4 scan\n";

INSTANTIATE_TEST_SUITE_P(
    Readings, ReadingsRefused,
    testing::Values(
        BadFile{"UnknownSource", head + "burn 23135 1.388 lines 4 ear\n",
                "line 3 is not \"burn <tr0> <dtr> lines <count>\", with perhaps \"scan\" after it"},
        BadFile{"ScanRowWithoutError", scan_head + "0 12\n",
                "line 4 is not \"<line> <angle> error <e>\" with perhaps \"twist <t> error <e> turns <n>\" after it"},
        BadFile{"ScanErrorOfZero", scan_head + "0 12 error 0\n", "line 4 holds an error that is not above 0"},
        BadFile{"ScanTwistErrorNegative", scan_head + "0 12 error 1 twist 5 error -1 turns 560\n",
                "line 4 holds an error that is not above 0"},
        BadFile{"ScanTwistOverMoreTurnsThanALineMarks", scan_head + "0 12 error 1 twist 5 error 1 turns 561\n",
                "line 4 holds a twist's turn count out of range"},
        BadFile{"ScanAngleOf360", scan_head + "0 360 error 1\n",
                "line 4 holds an angle that is not 0 or more and under 360"},
        BadFile{"EyeRowWithAnError", head + "burn 23135 1.388 lines 4\n0 12 error 1\n",
                "line 4 is not the next line's reading"},
        BadFile{"FirstTwistsAfterABurn", head + eye_burn + first,
                "line 9 is not \"burn <tr0> <dtr> lines <count>\", with perhaps \"scan\" after it"},
        BadFile{"FirstTwistsTwice", head + first + first,
                "line 6 is not \"burn <tr0> <dtr> lines <count>\", with perhaps \"scan\" after it"},
        BadFile{"FirstTwistsOfNone", head + "first twists 0\n",
                "line 3 is not \"first twists <count>\" with a count from 1 to 64"},
        BadFile{"FirstTwistBackwards", head + "first twists 1\n0 5 error 1 from 9 to 3 turns 560\n",
                "line 4 holds a line, error, position or turn count out of range"},
        BadFile{"FirstTwistCut", head + "first twists 1\n0 5 error 1 from 3 to 9\n",
                "line 4 is not \"<line> <twist> error <e> from <position> to <position> turns <count>\""}),
    [](const testing::TestParamInfo<BadFile>& info) { return std::string(info.param.name); });

}  // namespace
