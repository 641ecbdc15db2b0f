// The refinement image: byte for byte the stage-one image of its model drawn against
// itself, but for line 0's direction mark (a 48th of a turn, a sixth of a turn after
// each marker), checked through the slow reference synthesis; and the lines it holds.
#include <gtest/gtest.h>

#include <cstdio>

#include "common/interrupt.h"
#include "image/images.h"
#include "image/test_pattern.h"
#include "reference_image.h"
#include "refine/refinement_image.h"

namespace {

struct Written {
    Bytes file;
    std::string out;
    bool completed = false;
};

Written write_core(TrackModel model, double size)
{
    reset_synthesis_state();
    break_requested = 0;
    std::FILE* file = std::tmpfile();
    Written w;
    testing::internal::CaptureStdout();
    w.completed = draw_refinement_image(model, size, file);
    w.out = testing::internal::GetCapturedStdout();
    w.file = read_whole_file(file);
    std::fclose(file);
    return w;
}

// Turn lengths are exact binary fractions here, so the whole bytes of turn j are
// plainly floor(tr0 + j * dtr), and it starts at floor(j tr0 + j (j - 1) / 2 dtr).
std::size_t whole_bytes(TrackModel m, std::size_t j)
{
    return static_cast<std::size_t>(m.tr0 + m.dtr * static_cast<double>(j));
}
std::size_t start_byte(TrackModel m, std::size_t j)
{
    const auto n = static_cast<double>(j);
    return static_cast<std::size_t>(n * m.tr0 + n * (n - 1) / 2 * m.dtr);
}

// The stage-one stream of the model drawn against itself, with line 0's marked turns
// given their direction mark.
Bytes expected_pixels(TrackModel m, double size, const Bytes& file)
{
    Bytes pixels = reference::track_rule_pixels({m.tr0, m.dtr, m.tr0, m.dtr, size}, file);
    for (std::size_t j = first_marker_turn; j <= last_marker_turn && start_byte(m, j + 1) <= pixels.size(); ++j) {
        const std::size_t whole = whole_bytes(m, j);
        const std::size_t mark = start_byte(m, j) + whole / 12 + whole / 6;
        for (std::size_t i = mark; i < mark + whole / 48; ++i)
            pixels[i] = 0x20;
    }
    return pixels;
}

TEST(RefinementImage, IsTheStageOneImageOfItsModelWithLineZerosDirectionMark)
{
    const TrackModel m{240.5, 0.0625};
    const double size = 1.2e6;
    const Written w = write_core(m, size);
    ASSERT_TRUE(w.completed);
    const Bytes expected = expected_pixels(m, size, w.file);
    EXPECT_TRUE(same_bytes(reference::recover_pixels(w.file, expected.size()), expected));
    // Every line white or black: no gray landmark in a refinement image.
    const std::vector<ProgressLine> lines = progress_lines(w.out);
    EXPECT_EQ(lines, expected_colours(static_cast<int>(lines.size()), {}));
    EXPECT_GE(lines.size(), 4U);
}

TEST(RefinementImage, LineZerosMarkFollowsItsMarkerInTheTracksDirection)
{
    const TrackModel m{480.25, 0.125};
    const Written w = write_core(m, 400000);
    const Bytes pixels = expected_pixels(m, 400000, w.file);
    const Bytes got = reference::recover_pixels(w.file, pixels.size());
    // Turn 100 of line 0: marker at its start, fill, the thin mark, fill.
    const std::size_t start = start_byte(m, 100);
    const std::size_t whole = whole_bytes(m, 100);
    EXPECT_EQ(got[start], 0x20);
    EXPECT_EQ(got[start + whole / 12], 0xAA);
    EXPECT_EQ(got[start + whole / 12 + whole / 6 - 1], 0xAA);
    EXPECT_EQ(got[start + whole / 12 + whole / 6], 0x20);
    EXPECT_EQ(got[start + whole / 12 + whole / 6 + whole / 48 - 1], 0x20);
    EXPECT_EQ(got[start + whole / 12 + whole / 6 + whole / 48], 0xAA);
    // Line 1 has no mark: only its marker.
    const std::size_t line1 = start_byte(m, 725);
    const std::size_t whole1 = whole_bytes(m, 725);
    EXPECT_EQ(got[line1], 0xAA);
    EXPECT_EQ(got[line1 + whole1 / 12 + whole1 / 6], 0x20);
}

TEST(RefinementImage, HoldsTheLinesWhoseFirstMarkedTurnIsDrawn)
{
    const TrackModel m{100, 0.01};
    // Turn 625k + 33 starts at this byte; the image must reach past the turn's end.
    const auto first_marker_end = [&](int k) { return turn_start(m, 625.0 * k + 34); };
    EXPECT_EQ(lines_held(m, first_marker_end(5) + 1), 6);
    EXPECT_EQ(lines_held(m, first_marker_end(5) - 1), 5);
    EXPECT_EQ(lines_held(m, 1e12), 32);
    EXPECT_EQ(lines_held(m, 50), 0);
}

}  // namespace
