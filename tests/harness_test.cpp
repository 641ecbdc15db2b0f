// The process harness itself: a run with a transcript, and an interactive run.
#include <gtest/gtest.h>

#include "program_run.h"

TEST(Harness, RunsTheBinaryWithATranscriptAndInteractively)
{
    const std::string dir = make_work_dir();
    const RunResult r = run_ringetch({"size", "10000", "tr0_f", "300", "tr0_t", "400"}, "exit\n", dir);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_NE(r.out.find("enter number of the LINE\n"), std::string::npos) << r.out;

    InteractiveRun run({"size", "10000"}, dir);
    EXPECT_TRUE(run.wait_for("enter number of the LINE\n"));
    run.send("exit\n");
    EXPECT_EQ(run.finish().exit_status, 0);
}
