// Ctrl-C: it abandons the image being written and the dialogue goes on; while the
// dialogue waits for input it changes nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

#include "dialogue_support.h"

namespace {

// Big enough that an image is still being written when its second line begins.
const std::vector<std::string> large_image = {"size", "300000000"};
const std::string abandoned = "Creating was break by user\n";

// Waits for the image being written to reach its line 1, interrupts it, and waits
// for the prompt that follows.
void interrupt_in_line_one(InteractiveRun& run)
{
    ASSERT_TRUE(run.wait_for("line number 1, start byte - 13.6788 Mb (black)\n")) << run.out();
    run.signal(SIGINT);
    ASSERT_TRUE(run.wait_for(prompt)) << run.out();
}

TEST(Interrupt, AbandonsTheStartImageAndTheDialogueGoesOn)
{
    const std::string dir = make_work_dir();
    InteractiveRun run(large_image, dir);
    interrupt_in_line_one(run);
    run.send("auto off\nnext 0.5\n");
    ASSERT_TRUE(run.wait_for(range_display("23025", "23550", "1.38", "1.32") + prompt)) << run.out();
    run.send("exit\n");
    const RunResult r = run.finish();
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, abandoned);
    EXPECT_EQ(r.out.find("created succesfully"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.rfind(default_ranges + "creating DIRECT image\nline number 0, start byte - 0 Mb (white)\n", 0), 0U)
        << r.out;
    EXPECT_LT(file_size(dir + "/image.rge"), 300000000);
    std::remove((dir + "/image.rge").c_str());
}

TEST(Interrupt, AbandonsEveryImageItArrivesInAndStageTwoGoesOn)
{
    const std::string dir = make_work_dir();
    InteractiveRun run(large_image, dir);
    interrupt_in_line_one(run);
    run.send("12-14\n");
    ASSERT_TRUE(run.wait_for("12-14\n")) << run.out();
    interrupt_in_line_one(run);  // the sweep image of stage two
    run.send("next 0.09\n");
    ASSERT_TRUE(run.wait_for("next 0.09\nbad command\n")) << run.out();
    run.send("exit\n");
    const RunResult r = run.finish();
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, abandoned + abandoned);
    EXPECT_EQ(r.out.find("created succesfully"), std::string::npos) << r.out;
    std::remove((dir + "/image.rge").c_str());
}

// The handler stays in force and a read it interrupts is not a failed read; the
// next image is written whole, because the writer clears the request it finds.
TEST(Interrupt, WhileWaitingForInputChangesNothing)
{
    InteractiveRun run(tiny_image, make_work_dir());
    ASSERT_TRUE(run.wait_for(prompt));
    for (int k = 0; k < 2; ++k) {
        run.signal(SIGINT);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    run.send("auto off\nnext 0.5\nimage\nexit\n");
    const RunResult r = run.finish();
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.term_signal, 0);
    EXPECT_EQ(r.out, tiny_start + "next 0.5\n" + range_display("23025", "23550", "1.38", "1.32") + prompt + empty_image());
    EXPECT_EQ(r.err, "");
}

}  // namespace
