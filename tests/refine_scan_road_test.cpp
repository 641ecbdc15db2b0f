// The road with a scanner, as a user runs it on small images: ringetch's first image
// rendered face on by the preview at 1200 dpi on a disc of known track, then one
// refinement image rendered alike or captured by the simulated scanner (turned,
// moved, blurred, noisy), both read by ringetch-refine (first, then scan at the
// first prompt), give a model for a picture within a degree of the disc.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "program_run.h"
#include "refine_geometry_eye.h"
#include "named_case.h"
#include "refine_prompts.h"

namespace {

const sim::Model disc{22600, 1.43};  // near the dialogue's first corner: its first image can be read
const std::string size = "50000000";  // 4 lines
const std::string first_pixels = "5669";  // 1200 dpi across 120 mm: the first image's twisted lines need it
const std::string pixels = "2835";        // 600 dpi

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

using named_case::operator<<;

// The preview's face-on render of image on the disc, as a clean scan; with
// conditions, the simulated scanner's capture under them.
void render(const std::string& dir, const std::string& image, const std::string& png,
            const std::vector<std::string>& conditions = {}, const std::string& side = pixels)
{
    std::vector<std::string> args = {"image", image, "tr0", "22600", "dtr", "1.43"};
    if (conditions.empty())
        args.insert(args.end(), {"png", png, "pixels", side});
    else
        args.insert(args.end(), conditions.begin(), conditions.end());
    if (!conditions.empty())
        args.insert(args.end(), {"out", png});
    const RunResult r = run_program(conditions.empty() ? PREVIEW_BINARY : SIMULATE_SCAN_BINARY, args, "", dir, 60);
    ASSERT_EQ(r.exit_status, 0) << r.err;
}

struct Capture {
    const char* name;
    std::vector<std::string> conditions;  // of the refinement image's capture; none: the preview's render
};

class RefineScanRoad : public testing::TestWithParam<Capture> {};

TEST_P(RefineScanRoad, AScannedFirstImageAndOneScannedRefinementImageGiveTheDiscsModel)
{
    const std::string dir = make_work_dir();
    ASSERT_EQ(run_program(RINGETCH_BINARY, {"size", size}, "exit\n", dir, 60).exit_status, 0);
    render(dir, "image.rge", "first.png", {}, first_pixels);
    InteractiveRun run(REFINE_BINARY, {"first", "first.png", "size", size}, dir);
    ASSERT_EQ(refine_prompts::next_prompt(run), 0) << run.out();
    EXPECT_TRUE(has(run.out(), "first image \"image.rge\" read from \"first.png\":\nline 0 angle ")) << run.out();
    EXPECT_TRUE(has(run.out(), "fit of the first image's 4 twists:\n")) << run.out();
    render(dir, "refine.rge", "burn.png", GetParam().conditions);
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

INSTANTIATE_TEST_SUITE_P(
    Refine, RefineScanRoad,
    testing::Values(Capture{"CleanRenders", {}},
                    Capture{"RefinementImageTurnedMovedBlurredAndNoisy",
                            {"dpi", "600", "blur", "1", "noise", "2", "contrast", "0.25", "turn", "37", "offset", "3,-2"}}),
    [](const testing::TestParamInfo<Capture>& info) { return std::string(info.param.name); });

}  // namespace
