// How a typed line becomes a command: the echo that every parsed pattern command
// prints and the length check against it, exact commands, line endings, long lines,
// and giving up on standard input. Transcripts start with "auto off" so that only
// the start-up image is written.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <termios.h>
#include <unistd.h>

#include "dialogue_support.h"
#include "named_case.h"

namespace {

using named_case::operator<<;

struct TranscriptCase {
    const char* name;
    std::string typed;  // after "auto off\n"
    std::string out;    // after the start-up output
    int exit_status = 0;
    std::string err = "";
};

std::string case_name(const testing::TestParamInfo<TranscriptCase>& info) { return info.param.name; }

RunResult run_typed(const std::string& typed)
{
    return run_ringetch(tiny_image, "auto off\n" + typed, make_work_dir());
}

void expect_transcript(const TranscriptCase& c)
{
    const RunResult r = run_typed(c.typed);
    EXPECT_EQ(r.exit_status, c.exit_status);
    EXPECT_EQ(r.out, tiny_start + c.out);
    EXPECT_EQ(r.err, c.err);
}

const std::string rejected_next_5 = "next 5\nbad command\n";
const std::string upper_half = range_display("23025", "23550", "1.38", "1.32") + prompt;

class EchoCheck : public testing::TestWithParam<TranscriptCase> {};

TEST_P(EchoCheck, AcceptsALineOnlyWhenItsEchoIsAtLeastAsLong) { expect_transcript(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    ConsoleInput, EchoCheck,
    testing::Values(
        TranscriptCase{"NumberAsItsEchoPrintsIt", "next 0.5\nexit\n", "next 0.5\n" + upper_half},
        TranscriptCase{"TrailingZeroAfterThePoint", "next 5.0\nexit\n", rejected_next_5},
        TranscriptCase{"TrailingBlank", "next 5 \nexit\n", rejected_next_5},
        TranscriptCase{"PlusSign", "next +0.5\nexit\n", "next 0.5\nbad command\n"},
        TranscriptCase{"MissingBlankIsShorter", "next5\nexit\n",
                       "next 5\n" + range_display("23025", "28275", "1.38", "0.78") + prompt},
        TranscriptCase{"MoreThanSixSignificantDigits", "next 1.2345678\nexit\n", "next 1.23457\nbad command\n"},
        TranscriptCase{"Exponent", "next 1e1\nexit\n", "next 10\nbad command\n"},
        TranscriptCase{"PassesTheEchoButNotTheValueGuard", "next 0.05\nexit\n", "next 0.05\nbad command\n"},
        TranscriptCase{"SinglePrecisionTenthIsAboveTheGuard", "next 0.1\nexit\n",
                       "next 0.1\n" + range_display("23025", "23130", "1.38", "1.368") + prompt},
        TranscriptCase{"LineRange", "12-14\nexit\n", "12-14\n" + prompt},
        TranscriptCase{"LineRangeAfterABlank", " 12-14\nexit\n", "12-14\nbad command\n"},
        TranscriptCase{"LineRangeWithALeadingZero", "012-14\nexit\n", "12-14\nbad command\n"},
        TranscriptCase{"LineRangeWithTrailingText", "12-14x\nexit\n", "12-14\nbad command\n"},
        TranscriptCase{"BlankBeforeTheHyphenIsNoLineRange", "12 -14\nexit\n", "bad command\n"},
        TranscriptCase{"LineRangeWithoutNewlineAtTheEnd", "12-14", "12-14\n" + prompt, 1, "read stdin error\n"},
        TranscriptCase{"NumberCommandWithoutNewlineAtTheEnd", "next 0.5", "next 0.5\n" + upper_half, 1,
                       "read stdin error\n"}),
    case_name);

class WholeLine : public testing::TestWithParam<TranscriptCase> {};

TEST_P(WholeLine, DecidesTheCommand) { expect_transcript(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    ConsoleInput, WholeLine,
    testing::Values(
        // "auto on " is refused, so the next range change writes no image.
        TranscriptCase{"ExactCommandWithATrailingBlank", "auto on \nnext 0.5\nexit\n", "bad command\nnext 0.5\n" + upper_half},
        TranscriptCase{"ExactCommandInTheWrongCase", "Exit\nexit\n", "bad command\n"},
        TranscriptCase{"EmptyLine", "\nexit\n", "bad command\n"},
        TranscriptCase{"ExitWithoutNewlineAtTheEnd", "exit", "bad command\n", 1, "read stdin error\n"},
        TranscriptCase{"ExitWithCarriageReturn", "exit\r\n", ""},
        TranscriptCase{"NumberCommandWithCarriageReturn", "next 0.5\r\nexit\r\n", "next 0.5\n" + upper_half},
        TranscriptCase{"AutoOnWithCarriageReturn", "auto on\r\nnext 0.5\r\nexit\r\n",
                       "next 0.5\n" + upper_half.substr(0, upper_half.size() - prompt.size()) +
                           "creating DIRECT image\n" + empty_image() + prompt},
        TranscriptCase{"OnlyOneCarriageReturnIsDropped", "exit\r\r\nexit\n", "bad command\n"},
        TranscriptCase{"InfinityIsNoNumber", "next inf\nexit\n", "bad command\n"},
        TranscriptCase{"NotANumberIsNoNumber", "next nan\nexit\n", "bad command\n"},
        TranscriptCase{"InfinityForARangeEnd", "tr0_t infinity\nexit\n", "bad command\n"},
        TranscriptCase{"HexadecimalIsNoNumber", "next 0x1\nexit\n", "bad command\n"}),
    case_name);

struct LongLineCase {
    const char* name;
    std::size_t length;  // characters before the newline
    std::string out;     // after the start-up output
};

class LongLine : public testing::TestWithParam<LongLineCase> {};

// Each piece of a long line is a command of its own: the pieces of x are refused,
// and "next 0.5" after the last whole piece is carried out.
TEST_P(LongLine, IsReadInPiecesOf1023Characters)
{
    const LongLineCase& c = GetParam();
    const RunResult r = run_typed(std::string(c.length, 'x') + "next 0.5\nexit\n");
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, tiny_start + c.out);
}

INSTANTIATE_TEST_SUITE_P(
    ConsoleInput, LongLine,
    testing::Values(LongLineCase{"OnePieceThenTheCommand", 1023, "bad command\nnext 0.5\n" + upper_half},
                    LongLineCase{"TwoPiecesThenTheCommand", 2046, "bad command\nbad command\nnext 0.5\n" + upper_half},
                    // The first piece ends with the "n" of next; "ext 0.5" is no command.
                    LongLineCase{"CommandCutByThePieceBoundary", 1022, "bad command\nbad command\n"}),
    [](const testing::TestParamInfo<LongLineCase>& info) { return std::string(info.param.name); });

TEST(ConsoleInput, GivesUpAfterTenFailedReadsAtTheEndOfInput)
{
    const RunResult r = run_ringetch(tiny_image, "", make_work_dir());
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, tiny_start);
    EXPECT_EQ(r.err, "read stdin error\n");
}

TEST(ConsoleInput, GivesUpWhenStandardInputIsClosed)
{
    const RunResult r = run_ringetch_with_stdin_fd(tiny_image, -1, make_work_dir());
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, tiny_start);
    EXPECT_EQ(r.err, "read stdin error\n");
}

TEST(ConsoleInput, GivesUpInStageTwoAsInStageOne)
{
    const RunResult r = run_ringetch(tiny_image, "12-14\n", make_work_dir());
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, tiny_start + "12-14\n" + empty_image() + prompt);
    EXPECT_EQ(r.err, "read stdin error\n");
}

// The "press ENTER" wait takes whatever the read gives, even nothing: the corner
// image is put back before the dialogue gives up on its own reads.
TEST(ConsoleInput, PressEnterWaitAtTheEndOfInputStillRestoresTheImage)
{
    const RunResult r = run_ringetch(tiny_image, "averimage\n", make_work_dir());
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, tiny_start + empty_image() + "press ENTER for restore image" + "creating DIRECT image\n" + empty_image());
    EXPECT_EQ(r.err, "read stdin error\n");
}

// On a terminal an end of file (Ctrl-D on an empty line) fails one read and the
// next read goes on with what follows, so failed reads can be interleaved with
// commands. The whole input is queued on the terminal before the program starts.
constexpr char end_of_file = 4;  // Ctrl-D

RunResult run_on_terminal(const std::string& typed)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        std::abort();
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    termios mode{};
    tcgetattr(slave, &mode);
    mode.c_lflag |= ICANON;
    mode.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    mode.c_cc[VEOF] = end_of_file;
    tcsetattr(slave, TCSANOW, &mode);
    if (write(master, typed.data(), typed.size()) != static_cast<ssize_t>(typed.size()))
        std::abort();
    RunResult r = run_ringetch_with_stdin_fd(tiny_image, slave, make_work_dir());
    close(slave);
    close(master);
    return r;
}

std::string failed_reads(int count) { return std::string(static_cast<std::size_t>(count), end_of_file); }

struct FailedReadCase {
    const char* name;
    std::string typed;
    std::string out;  // after the start-up output
    int exit_status;
};

class FailedReads : public testing::TestWithParam<FailedReadCase> {};

TEST_P(FailedReads, EndTheProgramOnlyWhenTenComeInARow)
{
    const FailedReadCase& c = GetParam();
    const RunResult r = run_on_terminal(c.typed);
    EXPECT_EQ(r.exit_status, c.exit_status);
    EXPECT_EQ(r.out, tiny_start + c.out);
    EXPECT_EQ(r.err, c.exit_status == 0 ? "" : "read stdin error\n");
}

INSTANTIATE_TEST_SUITE_P(
    ConsoleInput, FailedReads,
    testing::Values(
        FailedReadCase{"NineAreRetried", failed_reads(9) + "exit\n", "", 0},
        FailedReadCase{"TheTenthEndsTheProgram", failed_reads(10) + "exit\n", "", 1},
        FailedReadCase{"ASuccessfulReadStartsTheCountAfresh", failed_reads(9) + "Exit\n" + failed_reads(9) + "exit\n",
                       "bad command\n", 0},
        FailedReadCase{"StageTwoCountsFromItsPrompt", failed_reads(9) + "12-14\n" + failed_reads(9) + "exit\n",
                       "12-14\n" + empty_image() + prompt, 0},
        FailedReadCase{"StageTwoGivesUpAtItsTenth", "12-14\n" + failed_reads(10) + "exit\n",
                       "12-14\n" + empty_image() + prompt, 1},
        // The "press ENTER" wait takes the failed read and counts nothing.
        FailedReadCase{"PressEnterWaitCountsNothing", "averimage\n" + failed_reads(10) + "exit\n",
                       empty_image() + "press ENTER for restore image" + "creating DIRECT image\n" + empty_image(), 0}),
    [](const testing::TestParamInfo<FailedReadCase>& info) { return std::string(info.param.name); });

// A program driving the dialogue through pipes sees each question before it must
// answer, the "press ENTER" line included, which ends without a newline.
TEST(ConsoleInput, QuestionsReachAPipeBeforeTheAnswerIsRead)
{
    InteractiveRun run(tiny_image, make_work_dir());
    ASSERT_TRUE(run.wait_for(prompt, 10));
    run.send("averimage\n");
    ASSERT_TRUE(run.wait_for("press ENTER for restore image", 10)) << run.out();
    run.send("\n");
    ASSERT_TRUE(run.wait_for("creating DIRECT image\n" + empty_image(), 10)) << run.out();
    run.send("auto off\nnext 0.5\n");
    ASSERT_TRUE(run.wait_for(upper_half, 10)) << run.out();
    run.send("exit\n");
    EXPECT_EQ(run.finish().exit_status, 0);
}

}  // namespace
