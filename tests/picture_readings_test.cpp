// ringetch-picture readings FILE: the model of the readings' last fit, to the digits
// ringetch-refine prints, so that the image is the one refine's printed command
// draws; and the command lines that give no model or two.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "png_fixture.h"
#include "program_run.h"
#include "refine_geometry_eye.h"

namespace {

const std::string small_size = "50000000";  // holds 4 refinement lines, as refine needs

// One refinement burn drawn from the middle of the ranges, read on a simulated disc
// by a +-10 degree eye, or by a scan (angles to 0.5 degrees, twists to 1); with_burn
// false leaves the ranges alone.
void write_readings(const std::string& path, bool with_burn, bool scanned = false)
{
    const sim::Model disc{23123.4625, 1.3891124};
    const sim::Model drawn{23135, 1.3881871375};
    std::FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("ringetch-refine readings\nranges 23085 23185 1.392562738 1.383811537\n", file);
    if (with_burn) {
        std::fprintf(file, "burn %.17g %.17g lines 32%s\n", drawn.tr0, drawn.dtr, scanned ? " scan" : "");
        sim::Eye eye;
        const double zero = eye.fresh_zero();
        for (int k = 0; k < sim::lines; ++k) {
            const double first = sim::phase(disc, drawn, sim::first_marker(k));
            const double twist = sim::phase(disc, drawn, sim::last_marker(k)) - first;
            if (scanned)
                std::fprintf(file, "%d %.3f error 0.5 twist %.2f error 1 turns 560\n", k, sim::wrap360(first + zero), twist);
            else if (std::fabs(twist) > 90)
                std::fprintf(file, "%d -\n", k);
            else
                std::fprintf(file, "%d %g\n", k, eye.read(first, zero));
        }
    }
    std::fclose(file);
}

std::vector<std::string> words_after(const std::string& text, const std::string& start)
{
    std::vector<std::string> words;
    const std::size_t at = text.rfind(start);
    if (at == std::string::npos)
        return words;
    std::string word;
    for (std::size_t i = at + start.size(); i < text.size() && text[i] != '\n'; ++i) {
        if (text[i] != ' ') {
            word += text[i];
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    if (!word.empty())
        words.push_back(word);
    return words;
}

class PictureReadings : public testing::TestWithParam<bool> {};

TEST_P(PictureReadings, DrawTheImageThatRefinesPrintedModelDraws)
{
    const std::string dir = make_work_dir();
    write_readings(dir + "/refine.readings", true, GetParam());
    ASSERT_TRUE(write_grey_png(dir + "/photo.png", 2, 2, {0, 80, 160, 255}));
    const RunResult refine =
        run_program(REFINE_BINARY, {"readings", "refine.readings", "size", small_size}, "done\n", dir, 60);
    ASSERT_EQ(refine.exit_status, 0) << refine.out << refine.err;
    // "$ ringetch-picture png <your-picture.png> tr0 T dtr D size S"
    std::vector<std::string> printed = words_after(refine.out, "$ ringetch-picture ");
    ASSERT_EQ(printed.size(), 8U) << refine.out;
    printed[1] = "photo.png";
    printed.insert(printed.end(), {"image", "typed.rge"});
    const RunResult typed = run_program(PICTURE_BINARY, printed, "", dir, 60);
    ASSERT_EQ(typed.exit_status, 0) << typed.err;

    const RunResult read = run_program(
        PICTURE_BINARY, {"png", "photo.png", "readings", "refine.readings", "size", small_size, "image", "read.rge"},
        "", dir, 60);
    ASSERT_EQ(read.exit_status, 0) << read.err;
    EXPECT_NE(read.out.find("model tr0 " + printed[3] + " dtr " + printed[5] + ", expected picture error "),
              std::string::npos)
        << read.out;
    EXPECT_TRUE(read_file(dir + "/read.rge") == read_file(dir + "/typed.rge"));
}

INSTANTIATE_TEST_SUITE_P(ReadBy, PictureReadings, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Scan" : "Eye"; });

TEST(PictureReadings, RefuseAReadingsFileWithoutAFitAndTwoModels)
{
    const std::string dir = make_work_dir();
    write_readings(dir + "/ranges.readings", false);
    write_readings(dir + "/one.readings", true);
    ASSERT_TRUE(write_grey_png(dir + "/photo.png", 2, 2, {0, 80, 160, 255}));
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"readings", "ranges.readings"},
         "ringetch-picture: readings \"ranges.readings\" hold no refinement image's angles yet"},
        {{"readings", "one.readings", "tr0", "23123"}, "ringetch-picture: readings \"one.readings\" and tr0 both"},
        {{"dtr", "1.389", "readings", "one.readings"}, "ringetch-picture: readings \"one.readings\" and dtr both"},
        {{"readings", "missing.readings"}, "ringetch-picture: readings \"missing.readings\": "},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"png", "photo.png", "size", small_size};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = run_program(PICTURE_BINARY, args, "", dir, 30);
        EXPECT_EQ(r.exit_status, 1) << c.message;
        EXPECT_EQ(r.err.compare(0, c.message.size(), c.message), 0) << r.err;
        EXPECT_EQ(file_size(dir + "/picture.rge"), -1) << c.message;
    }
}

}  // namespace
