// The console streams as the environment may leave them: closed at start, on a full
// device, a pipe whose reader has gone, or a standard input left non-blocking by
// another program sharing it. The image never receives console text, lost console
// output never ends in status 0, and input that is not there yet is waited for.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "dialogue_support.h"

namespace {

const std::vector<std::string> small_image = {"size", "60000", "tr0_f", "30", "tr0_t", "40"};

// The image a run with small_image writes when nothing goes wrong.
std::string ordinary_image()
{
    const std::string dir = make_work_dir();
    run_ringetch(small_image, "exit\n", dir);
    const std::string image = read_file(dir + "/image.rge");
    return image;
}

void pause_briefly() { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }

}  // namespace

// A closed descriptor would be the next one open() returns, the image's: the null
// device takes its place, and the image is what it always is.
TEST(ConsoleStreams, ClosedStandardDescriptorsNeverReceiveConsoleText)
{
    struct Case {
        const char* redirection;
        int status;
    };
    const std::string expected = ordinary_image();
    ASSERT_FALSE(expected.empty());
    for (const Case c : {Case{">&-", 0}, Case{"2>&-", 0}, Case{">&- 2>&-", 0}, Case{"<&-", 1}, Case{"<&- >&- 2>&-", 1}}) {
        SCOPED_TRACE(c.redirection);
        const std::string dir = make_work_dir();
        const RunResult r = run_shell("exec \"$RINGETCH\" size 60000 tr0_f 30 tr0_t 40 " + std::string(c.redirection),
                                      "exit\n", dir);
        EXPECT_EQ(r.exit_status, c.status);  // closed stdin: ten failed reads
        EXPECT_TRUE(read_file(dir + "/image.rge") == expected);
    }
}

// Every console write fails: the run ends with the system's reason and status 1,
// whichever way the text was lost.
TEST(ConsoleStreams, LostConsoleOutputEndsTheRunWithTheReason)
{
    const std::string dir = make_work_dir();
    const RunResult full = run_shell("exec \"$RINGETCH\" size 20000 > /dev/full", "exit\n", dir);
    EXPECT_EQ(full.exit_status, 1);
    EXPECT_EQ(full.err, std::string("ringetch: ") + std::strerror(ENOSPC) + "\n");

    // Found before the open, which would truncate the previous image.
    const std::string previous(4704, 'x');
    std::FILE* keep = std::fopen((dir + "/keep.rge").c_str(), "w");
    ASSERT_NE(keep, nullptr);
    std::fputs(previous.c_str(), keep);
    std::fclose(keep);
    const RunResult kept = run_shell("exec \"$RINGETCH\" size 3000000 image keep.rge > /dev/full", "exit\n", dir);
    EXPECT_EQ(kept.exit_status, 1);
    EXPECT_TRUE(read_file(dir + "/keep.rge") == previous);

    int gone[2];
    ASSERT_EQ(pipe2(gone, O_CLOEXEC), 0);
    close(gone[0]);  // the reader has gone before the run starts
    const int commands = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const RunResult broken = run_ringetch_with({"size", "20000"}, commands, gone[1], collected_output, dir);
    close(gone[1]);
    close(commands);
    EXPECT_EQ(broken.exit_status, 1);
    EXPECT_EQ(broken.term_signal, 0);
    EXPECT_EQ(broken.err, std::string("ringetch: ") + std::strerror(EPIPE) + "\n");
}

// Standard input is a pipe left non-blocking: a read that would block waits, in the
// middle of a line too, and the dialogue takes the line when it is whole.
TEST(ConsoleStreams, NonBlockingStandardInputWaitsForInput)
{
    const std::string dir = make_work_dir();
    InteractiveRun run(tiny_image, dir, true);
    ASSERT_TRUE(run.wait_for(prompt)) << run.out();
    pause_briefly();  // ten failed reads took about a millisecond
    run.send("auto off\nne");
    pause_briefly();
    run.send("xt 0.5\n");
    const std::string shifted = "next 0.5\n" + range_display("23025", "23550", "1.38", "1.32") + prompt;
    ASSERT_TRUE(run.wait_for(shifted)) << run.out();
    pause_briefly();
    run.send("exit\n");
    const RunResult r = run.finish();
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, tiny_start + shifted);
}

// The end of input on a non-blocking pipe is still a failed read: ten of them end it.
TEST(ConsoleStreams, NonBlockingStandardInputAtItsEndStillFailsTenReads)
{
    const std::string dir = make_work_dir();
    InteractiveRun run(tiny_image, dir, true);
    ASSERT_TRUE(run.wait_for(prompt)) << run.out();
    run.send("bad\n");
    const RunResult r = run.finish();  // closes standard input
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "read stdin error\n");
    EXPECT_EQ(r.out, tiny_start + "bad command\n");
}
