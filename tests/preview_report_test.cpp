// The per-line report of ringetch-preview on calibration images drawn by the
// writers' cores: lines and colours as the writer drew them, straight lines where
// the geometry puts them, and the closing row a user would type.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "common/track_model.h"
#include "preview_support.h"

namespace {

using reference::SweepParams;
using reference::TrackParams;

RunResult preview(const WorkFolder& work, TrackModel disc, const std::string& image = "image.rge")
{
    char tr0[32];
    char dtr[32];
    std::snprintf(tr0, sizeof tr0, "%.17g", disc.tr0);
    std::snprintf(dtr, sizeof dtr, "%.17g", disc.dtr);
    return run_preview({"image", image, "tr0", tr0, "dtr", dtr, "pixels", "64", "png", "preview.png"}, work.path());
}

CoreRun track_image(const WorkFolder& work, const TrackParams& p)
{
    reset_synthesis_state();
    CoreRun run = run_track_core(p);
    write_file(work / "image.rge", run.file);
    return run;
}

// The line that holds the turn where the turn lengths of the drawn model and the
// disc are equal at the same byte position: there the markers stand still. On the
// spirals of the geometry, the turn length at byte p is sqrt(s^2 + 2 * dtr * p)
// with s = tr0 - dtr / 2.
int predicted_straight_line(TrackModel drawn, TrackModel disc)
{
    const double s_drawn = drawn.tr0 - drawn.dtr / 2;
    const double s_disc = disc.tr0 - disc.dtr / 2;
    const double position = (s_disc * s_disc - s_drawn * s_drawn) / (2 * (drawn.dtr - disc.dtr));
    return static_cast<int>(std::floor(turn_number_at(drawn, position) / 625));
}

TEST(StageOneImage, OnItsOwnModelEveryMarkedLineIsStraightWithTheWritersColours)
{
    WorkFolder work;
    // The reference crosses the drawn model at turn 1562.5: line 2 is gray.
    const TrackParams p{400, 0.3, 410, 0.3 - 10 / 1562.5, 2200000};
    const CoreRun run = track_image(work, p);
    const RunResult r = preview(work, {p.tr0, p.dtr});
    ASSERT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(without_progress(r.err), "");
    const Report report = parse_report(r.out);

    const std::vector<ProgressLine> drawn = progress_lines(run.out);
    ASSERT_EQ(report.rows.size(), drawn.size());
    int straight = 0;
    for (std::size_t k = 0; k < drawn.size(); ++k) {
        const ReportRow& row = report.rows[k];
        EXPECT_EQ(row.line, static_cast<int>(k));
        EXPECT_EQ(row.colour, drawn[k].colour) << "line " << k;
        if (row.markers == 0)
            continue;
        EXPECT_LT(std::fabs(row.drift), 1) << "line " << k;
        EXPECT_TRUE(row.straight) << "line " << k;
        // Markers open their turns, and turns start at angle 0.
        EXPECT_LT(std::fmin(row.angle, 360 - row.angle), 1) << "line " << k;
        straight += 1;
    }
    EXPECT_EQ(drawn[2].colour, "gray");
    EXPECT_EQ(report.rows[0].markers, 560);
    EXPECT_GE(straight, 3);
    EXPECT_EQ(report.closing, "straight lines 0-" + std::to_string(straight - 1));
}

// Drawn from (400, 0.3); the disc (420, 0.284) has the same turn length as the
// drawn model in the middle of line 1, the disc 40 bytes longer in the middle of
// line 3. The test computes both places from the formulas. The turn lengths differ
// by 10 bytes more from each line to the next, so the drift swings by some 3000
// degrees a line: whether the line itself comes out under 15 depends on how near
// its middle the crossing falls, and is not asked here.
TEST(StageOneImage, TheStraightLineMovesWhereTheGeometryPutsItWhenTheFirstTurnGrowsBy40Bytes)
{
    WorkFolder work;
    const TrackModel drawn{400, 0.3};
    track_image(work, {drawn.tr0, drawn.dtr, 500, 0.1, 2200000});
    std::vector<int> straight_lines;
    for (const double tr0 : {420.0, 460.0}) {
        const TrackModel disc{tr0, 0.284};
        const int expected = predicted_straight_line(drawn, disc);
        const RunResult r = preview(work, disc);
        ASSERT_EQ(r.exit_status, 0) << r.err;
        const Report report = parse_report(r.out);
        ASSERT_GT(static_cast<int>(report.rows.size()), expected + 1) << r.out;
        EXPECT_EQ(least_drift(report).line, expected) << "disc tr0 " << tr0 << "\n" << r.out;
        const double before = report.rows[expected - 1].drift;
        const double after = report.rows[expected + 1].drift;
        EXPECT_LT(before * after, 0) << "the drift changes sign at line " << expected << "\n" << r.out;
        straight_lines.push_back(expected);
    }
    EXPECT_EQ(straight_lines, (std::vector<int>{1, 3}));
}

// Sweep lines of first turns 380, 385, ... through one anchor (beyond the image, so
// that no line is straight merely for passing through it); the disc through the
// anchor with a first turn of 400 is line 4's model. A sweep line follows the
// spiral whose turn length at byte p is sqrt(tr0^2 + 2 * dtr * p), half a growth
// step longer than the one the turn numbers follow, so its drift is a few degrees,
// not zero (about 2 at full size).
TEST(SweepImage, TheStraightLineIsTheOneWhoseFirstTurnIsTheDiscs)
{
    WorkFolder work;
    const SweepParams p{380, 5, 1000, 2200000, 4000000, 1166};
    reset_synthesis_state();
    const CoreRun run = run_sweep_core(p);
    write_file(work / "image.rge", run.file);
    const TrackModel disc{400, growth_through(400, p.anchor_pos, p.anchor_len)};
    const RunResult r = preview(work, disc);
    ASSERT_EQ(r.exit_status, 0) << r.err;
    const Report report = parse_report(r.out);
    ASSERT_EQ(report.rows.size(), progress_lines(run.out).size());
    ASSERT_GT(report.rows.size(), 5U);
    EXPECT_TRUE(report.rows[4].straight) << r.out;
    EXPECT_EQ(least_drift(report).line, 4);
    EXPECT_EQ(report.closing, "straight lines 4-4") << r.out;
}

// Lines of one fill side by side: the sweep's two gray lines (even then odd, and odd
// then even), and an interrupted image followed by a whole one in one file, cut in a
// white line (the next image opens with a white line too) or in a black one. The
// report has one row per line the writers announced, in their colours, and no row
// holds more than a line's 560 markers.
struct AnnouncedCase {
    const char* name;
    bool sweep;
    double ref_tr0;  // the sweep's gray lines; unused for two images
    int cut_line;    // two images: the line in whose middle the first is interrupted
};

class LinesAsAnnounced : public testing::TestWithParam<AnnouncedCase> {};

// The first image, interrupted in the middle of cut_line, then a whole one.
CoreRun two_images(int cut_line)
{
    // Slow growth keeps the second image's turns near the disc's where it lies.
    const TrackParams p{400, 0.03, 410, 0.03 - 10 / 3437.5, 1200000};
    reset_synthesis_state();
    const CoreRun whole = run_track_core(p);
    const double line_bytes = 625 * 400;
    const int cut_record = static_cast<int>((cut_line + 0.5) * line_bytes / 2352);
    reset_synthesis_state();
    CoreRun both = run_track_core(p, cut_record);
    both.file.insert(both.file.end(), whole.file.begin(), whole.file.end());
    both.out += whole.out;
    return both;
}

TEST_P(LinesAsAnnounced, OneRowPerAnnouncedLineInItsColour)
{
    const AnnouncedCase& c = GetParam();
    WorkFolder work;
    CoreRun run;
    TrackModel disc{400, 0.03};
    if (c.sweep) {
        const SweepParams p{380, 5, c.ref_tr0, 2200000, 4000000, 1166};
        reset_synthesis_state();
        run = run_sweep_core(p);
        disc = {390, growth_through(390, p.anchor_pos, p.anchor_len)};
    } else {
        run = two_images(c.cut_line);
    }
    write_file(work / "image.rge", run.file);
    const RunResult r = preview(work, disc);
    ASSERT_EQ(r.exit_status, 0) << r.err;
    const Report report = parse_report(r.out);
    const std::vector<ProgressLine> drawn = progress_lines(run.out);
    ASSERT_EQ(report.rows.size(), drawn.size()) << run.out << r.out;
    for (std::size_t k = 0; k < drawn.size(); ++k) {
        EXPECT_EQ(report.rows[k].line, static_cast<int>(k));
        EXPECT_EQ(report.rows[k].colour, drawn[k].colour) << "row " << k << "\n" << r.out;
        EXPECT_LE(report.rows[k].markers, 560) << "row " << k;
    }
}

const AnnouncedCase announced_cases[] = {
    {"SweepGrayLinesEvenThenOdd", true, 385, 0},
    {"SweepGrayLinesOddThenEven", true, 390, 0},
    {"ImageCutInWhiteLineThenAnImage", false, 0, 2},
    {"ImageCutInBlackLineThenAnImage", false, 0, 3},
};
INSTANTIATE_TEST_SUITE_P(Report, LinesAsAnnounced, testing::ValuesIn(announced_cases),
                         [](const testing::TestParamInfo<AnnouncedCase>& info) { return info.param.name; });

// The README's conversion for burners that want WAV: sox reads the image as raw CD
// audio (big-endian) and writes little-endian WAV, whose data is the image with each
// byte pair swapped; the preview reads the WAV as the image.
TEST(WavImage, SoxDataIsTheImageWithBytePairsSwappedAndPreviewsAsTheImage)
{
    WorkFolder work;
    if (run_shell("command -v sox", "", work.path()).exit_status != 0)
        GTEST_SKIP() << "sox is missing (apt-get install sox): the WAV conversion is not checked";
    const CoreRun run = track_image(work, {400, 0.3, 410, 0.3 - 10 / 1562.5, 1000000});
    const RunResult sox = run_shell("sox -t cdr image.rge image.wav", "", work.path());
    ASSERT_EQ(sox.exit_status, 0) << sox.err;
    const std::string wav = read_file(work / "image.wav");
    const std::size_t data = wav.find("data", 12);
    ASSERT_NE(data, std::string::npos);
    std::string swapped(run.file.begin(), run.file.end());
    for (std::size_t k = 0; k + 1 < swapped.size(); k += 2)
        std::swap(swapped[k], swapped[k + 1]);
    EXPECT_TRUE(wav.compare(data + 8, std::string::npos, swapped) == 0) << "the WAV's data is not the swapped image";

    const RunResult raw = preview(work, {400, 0.3});
    const RunResult converted = preview(work, {400, 0.3}, "image.wav");
    ASSERT_EQ(converted.exit_status, 0) << converted.err;
    EXPECT_EQ(without_progress(converted.err), "");
    EXPECT_EQ(parse_report(converted.out).rows.size(), progress_lines(run.out).size());
    EXPECT_EQ(converted.out, raw.out);
}

// A picture's bytes change every few bytes: no line, no marker.
TEST(Picture, ImageWithoutMarkersSaysSoAndStillGivesThePng)
{
    WorkFolder work;
    Bytes pixels(600000);
    std::uint32_t state = 12345;
    for (std::uint8_t& byte : pixels) {
        state = state * 1103515245 + 12345;
        const int pick = static_cast<int>(state >> 16) % 3;
        byte = pick == 0 ? 0xAA : pick == 1 ? 0x20 : 0x00;
    }
    write_pixel_image(work / "image.rge", pixels);
    const RunResult r = preview(work, {400, 0.3});
    ASSERT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.out, "no markers: not a calibration image\n");
    GreyImage png;
    EXPECT_TRUE(read_grey_png(work / "preview.png", png));
}

}  // namespace
