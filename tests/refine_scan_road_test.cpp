// The road with a scanner, as a user runs it on small images: ringetch's first image
// and then one refinement image, each rendered face on by the preview on a disc of
// known track and read by ringetch-refine (first, then scan at the first prompt),
// give a model for a picture within a degree of the disc.
#include <gtest/gtest.h>

#include <string>

#include "program_run.h"
#include "refine_geometry_eye.h"
#include "refine_prompts.h"

namespace {

const sim::Model disc{22600, 1.43};  // near the dialogue's first corner: its first image can be read
const std::string size = "50000000";  // 4 lines
const std::string pixels = "2835";    // 600 dpi across 120 mm

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The preview's face-on render of image on the disc, as a clean scan.
void render(const std::string& dir, const std::string& image, const std::string& png)
{
    const RunResult r = run_program(PREVIEW_BINARY,
                                    {"image", image, "tr0", "22600", "dtr", "1.43", "png", png, "pixels", pixels}, "",
                                    dir, 60);
    ASSERT_EQ(r.exit_status, 0) << r.err;
}

TEST(RefineScanRoad, AScannedFirstImageAndOneScannedRefinementImageGiveTheDiscsModel)
{
    const std::string dir = make_work_dir();
    ASSERT_EQ(run_program(RINGETCH_BINARY, {"size", size}, "exit\n", dir, 60).exit_status, 0);
    render(dir, "image.rge", "first.png");
    InteractiveRun run(REFINE_BINARY, {"first", "first.png", "size", size}, dir);
    ASSERT_EQ(refine_prompts::next_prompt(run), 0) << run.out();
    EXPECT_TRUE(has(run.out(), "first image \"image.rge\" read from \"first.png\":\nline 0 angle ")) << run.out();
    EXPECT_TRUE(has(run.out(), "fit of the first image's 4 twists:\n")) << run.out();
    render(dir, "refine.rge", "burn.png");
    run.send("scan burn.png\n");
    ASSERT_EQ(refine_prompts::next_prompt(run), refine_prompts::asked_next_image) << run.out();
    EXPECT_TRUE(has(run.out(), "fit of 1 image, 4 readings, 8 twists:\n")) << run.out();
    run.send("done\n");
    const RunResult r = run.finish(60);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    double tr0 = 0;
    double dtr = 0;
    ASSERT_TRUE(refine_prompts::last_model(run.out(), tr0, dtr)) << run.out();
    EXPECT_LT(sim::picture_error({tr0, dtr}, disc, 50000000), 1.0) << run.out();
    const std::string saved = read_file(dir + "/refine.readings");
    EXPECT_TRUE(has(saved, "\nfirst twists 4\n0 ")) << saved;
    EXPECT_TRUE(has(saved, " lines 4 scan\n0 ")) << saved;
}

}  // namespace
