// The closed loop: a picture drawn by ringetch-picture and shown by ringetch-preview
// with the same track model comes back as the picture. The test picture has the
// three shades in three quadrants, a grey ramp round the fourth and a letter F (a
// shape that shows both a flip and a mirror); blurred to about 1 mm, the preview
// must match it inside the drawn ring. Previewed with a first turn one byte longer,
// the same image must come out sheared by the angle that the geometry predicts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/disc_geometry.h"
#include "image/turn.h"
#include "picture_file/picture_read.h"
#include "png_fixture.h"
#include "program_run.h"

namespace {

constexpr double pi = 3.141592653589793;
constexpr int picture_side = 360;
constexpr int preview_pixels = 480;
constexpr double preview_mm_per_pixel = 2 * disc_radius_mm / preview_pixels;  // 0.25 mm

// A model of small turns whose 3 MB reach the usual outer radius: turn 472 holds
// 8720 bytes, 54.5 mm out.
const TrackModel model{4000, 10};
const char* const size = "3000000";

// The letter F in picture coordinates (-1..1, y down): a stem and two bars, in the
// top left quadrant, in the middle of the ring.
constexpr double f_left = -0.78;
constexpr double f_top = -0.72;
constexpr double f_width = 0.34;
constexpr double f_height = 0.44;
constexpr double f_stroke = 0.1;

bool in_letter(double x, double y)
{
    const double u = (x - f_left) / f_width;   // 0..1 across the letter
    const double v = (y - f_top) / f_height;   // 0..1 down it
    if (u < 0 || u >= 1 || v < 0 || v >= 1)
        return false;
    const double stroke_u = f_stroke / f_width;
    const double stroke_v = f_stroke / f_height;
    const bool stem = u < stroke_u;
    const bool top_bar = v < stroke_v;
    const bool middle_bar = v >= 0.45 && v < 0.45 + stroke_v && u < 0.75;
    return stem || top_bar || middle_bar;
}

// Angle clockwise from the top, 0..360 degrees.
double clockwise_degrees(double x, double y)
{
    const double degrees = std::atan2(x, -y) * 180 / pi;
    return degrees < 0 ? degrees + 360 : degrees;
}

// The grey at picture point (x, y): top left light with the dark F, top right mid,
// bottom left dark, bottom right a ramp from black at 90 degrees to white at 180.
double source_grey(double x, double y)
{
    if (x < 0 && y < 0)
        return in_letter(x, y) ? 0 : 255;
    if (x >= 0 && y < 0)
        return 128;
    if (x < 0)
        return 0;
    const double ramp = (clockwise_degrees(x, y) - 90) / 90;
    return 255 * std::fmin(1.0, std::fmax(0.0, ramp));
}

std::vector<std::uint8_t> source_picture()
{
    std::vector<std::uint8_t> pixels;
    for (int row = 0; row < picture_side; ++row)
        for (int column = 0; column < picture_side; ++column) {
            const double x = (column + 0.5) / picture_side * 2 - 1;
            const double y = (row + 0.5) / picture_side * 2 - 1;
            pixels.push_back(static_cast<std::uint8_t>(std::lround(source_grey(x, y))));
        }
    return pixels;
}

// A grey picture of side x side values, row by row.
struct Grid {
    int side = 0;
    std::vector<double> values;
    double at(int column, int row) const { return values[static_cast<std::size_t>(row) * side + column]; }
};

// Box blur of (2 * half + 1)^2 pixels, only over pixels that `counts` marks.
Grid blurred(const Grid& grid, const std::vector<bool>& counts, int half)
{
    Grid out{grid.side, std::vector<double>(grid.values.size(), 0)};
    for (int row = 0; row < grid.side; ++row)
        for (int column = 0; column < grid.side; ++column) {
            double sum = 0;
            int n = 0;
            for (int r = std::max(0, row - half); r <= std::min(grid.side - 1, row + half); ++r)
                for (int c = std::max(0, column - half); c <= std::min(grid.side - 1, column + half); ++c)
                    if (counts[static_cast<std::size_t>(r) * grid.side + c]) {
                        sum += grid.at(c, r);
                        ++n;
                    }
            out.values[static_cast<std::size_t>(row) * grid.side + column] = n > 0 ? sum / n : 0;
        }
    return out;
}

// Disc millimetres of a preview pixel's centre.
double preview_mm(int pixel) { return (pixel + 0.5) * preview_mm_per_pixel - disc_radius_mm; }

class ClosedLoop : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(write_grey_png(dir + "/picture.png", picture_side, picture_side, source_picture()));
        const RunResult drawn = run_program(PICTURE_BINARY,
                                            {"png", "picture.png", "tr0", "4000", "dtr", "10", "size", size}, "", dir);
        ASSERT_EQ(drawn.exit_status, 0) << drawn.err;
        // Where the writer ended: the turns that fit in the size, as it counts them.
        double pos = 0;
        for (double a = model.tr0; turn_fits(a, model.dtr, pos, std::atof(size)); a += model.dtr)
            pos += a;
        outer_mm = place_on_disc(model, pos).radius_mm;
    }

    Grid preview(const char* tr0)
    {
        const RunResult shown = run_program(PREVIEW_BINARY,
                                            {"image", "picture.rge", "tr0", tr0, "dtr", "10", "png", "preview.png",
                                             "pixels", std::to_string(preview_pixels)},
                                            "", dir);
        EXPECT_EQ(shown.exit_status, 0) << shown.err;
        EXPECT_EQ(shown.out, "no markers: not a calibration image\n");
        GreyPicture picture;
        PictureError error;
        Grid grid;
        if (!read_grey_picture((dir + "/preview.png").c_str(), 1 << 20, picture, error)) {
            ADD_FAILURE() << error.text;
            return grid;
        }
        grid.side = static_cast<int>(picture.width);
        grid.values.assign(picture.pixels, picture.pixels + std::size_t{picture.width} * picture.height);
        free_grey_picture(picture);
        return grid;
    }

    // Preview pixels well inside the drawn ring, clear of its edges by the blur.
    std::vector<bool> inside_ring(double clearance_mm) const
    {
        std::vector<bool> inside;
        for (int row = 0; row < preview_pixels; ++row)
            for (int column = 0; column < preview_pixels; ++column) {
                const double r = std::hypot(preview_mm(column), preview_mm(row));
                inside.push_back(r > program_inner_radius_mm + clearance_mm && r < outer_mm - clearance_mm);
            }
        return inside;
    }

    // The source grey at a preview pixel, the picture scaled as the writer scales it.
    double source_at(int column, int row) const
    {
        const double per_mm = 1 / outer_mm;  // picture units (-1..1) per millimetre
        return source_grey(preview_mm(column) * per_mm, preview_mm(row) * per_mm);
    }

    // The blurred preview along the circle of radius_mm, at `degrees` clockwise from the top.
    static double on_circle(const Grid& grid, double radius_mm, double degrees)
    {
        const double angle = degrees * pi / 180;
        const double x = radius_mm * std::sin(angle);
        const double y = -radius_mm * std::cos(angle);
        const int column = static_cast<int>((x + disc_radius_mm) / preview_mm_per_pixel);
        const int row = static_cast<int>((y + disc_radius_mm) / preview_mm_per_pixel);
        return grid.at(column, row);
    }

    std::string dir = make_work_dir();
    double outer_mm = 0;
};

TEST_F(ClosedLoop, PreviewBlurredToAMillimetreMatchesThePictureInsideTheRing)
{
    const Grid shown = preview("4000");
    ASSERT_EQ(shown.side, preview_pixels);
    Grid source{preview_pixels, {}};
    for (int row = 0; row < preview_pixels; ++row)
        for (int column = 0; column < preview_pixels; ++column)
            source.values.push_back(source_at(column, row));
    const std::vector<bool> drawn = inside_ring(0);
    const Grid a = blurred(shown, drawn, 2);
    const Grid b = blurred(source, drawn, 2);
    const std::vector<bool> compared = inside_ring(1.5);
    double n = 0, sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (std::size_t k = 0; k < compared.size(); ++k) {
        if (!compared[k])
            continue;
        n += 1;
        sa += a.values[k];
        sb += b.values[k];
        saa += a.values[k] * a.values[k];
        sbb += b.values[k] * b.values[k];
        sab += a.values[k] * b.values[k];
    }
    const double correlation = (n * sab - sa * sb) / std::sqrt((n * saa - sa * sa) * (n * sbb - sb * sb));
    EXPECT_GE(correlation, 0.9);
}

TEST_F(ClosedLoop, RampRisesRoundTheBottomRightQuadrant)
{
    const Grid shown = blurred(preview("4000"), inside_ring(0), 2);
    const double radius = (program_inner_radius_mm + outer_mm) / 2;
    double last = -1;
    for (double degrees = 100; degrees <= 170; degrees += 5) {
        const double value = on_circle(shown, radius, degrees);
        EXPECT_GT(value, last) << degrees << " degrees";
        last = value;
    }
    EXPECT_GT(on_circle(shown, radius, 170) - on_circle(shown, radius, 100), 80);
}

TEST_F(ClosedLoop, LetterIsUprightAndNotMirrored)
{
    const Grid shown = preview("4000");
    // The letter's box on the preview, split into halves: the stem makes the left
    // half darker than the right, the top bar the top half darker than the bottom.
    auto mean_over = [&](double x0, double x1, double y0, double y1) {
        double sum = 0;
        int count = 0;
        for (int row = 0; row < preview_pixels; ++row)
            for (int column = 0; column < preview_pixels; ++column) {
                const double x = preview_mm(column) / outer_mm;
                const double y = preview_mm(row) / outer_mm;
                if (x >= x0 && x < x1 && y >= y0 && y < y1) {
                    sum += shown.at(column, row);
                    ++count;
                }
            }
        return sum / count;
    };
    const double middle_x = f_left + f_width / 2;
    const double middle_y = f_top + f_height / 2;
    const double left = mean_over(f_left, middle_x, f_top, f_top + f_height);
    const double right = mean_over(middle_x, f_left + f_width, f_top, f_top + f_height);
    const double top = mean_over(f_left, f_left + f_width, f_top, middle_y);
    const double bottom = mean_over(f_left, f_left + f_width, middle_y, f_top + f_height);
    EXPECT_LT(left, right - 20) << "the stem is not on the left: mirrored";
    EXPECT_LT(top, bottom - 10) << "the top bar is not at the top: upside down";
}

// The boundary between the light top-left and the mid top-right quadrants runs
// straight up the picture. A byte that the writer placed at turn number t shows at
// turn number t' = turn_number_at(tr0 + 1) of its position, so the boundary, at the
// whole turns t, shows turned back by 360 (t - t') degrees at each radius.
TEST_F(ClosedLoop, FirstTurnOneByteLongShearsThePictureAsTheGeometryPredicts)
{
    const Grid straight = blurred(preview("4000"), inside_ring(0), 1);
    const Grid sheared = blurred(preview("4001"), inside_ring(0), 1);
    const TrackModel shown_model{4001, 10};
    // Where the boundary crosses the circle: the angle near `expected` at which the
    // shade passes halfway between the two quadrants' shades.
    auto boundary = [](const Grid& grid, double radius, double expected) {
        const double light = on_circle(grid, radius, expected - 20);
        const double mid = on_circle(grid, radius, expected + 20);
        for (double degrees = expected - 15; degrees < expected + 15; degrees += 0.1)
            if (on_circle(grid, radius, degrees) < (light + mid) / 2)
                return degrees;
        return 1e9;
    };
    for (double fraction : {0.25, 0.5, 0.75}) {
        const double radius = program_inner_radius_mm + fraction * (outer_mm - program_inner_radius_mm);
        // The shown turn number at that radius, its byte position, the drawn turn number.
        const double shown_turns = (radius / program_inner_radius_mm * shown_model.tr0 - shown_model.tr0) / shown_model.dtr;
        const double position = spiral_position({shown_model.tr0 - shown_model.dtr / 2, shown_model.dtr}, shown_turns);
        const double shear = 360 * (turn_number_at(model, position) - shown_turns);
        EXPECT_NEAR(boundary(straight, radius, 0), 0, 1.5) << "radius " << radius;
        EXPECT_NEAR(boundary(sheared, radius, -shear), -shear, 1.5) << "radius " << radius << ", shear " << shear;
        EXPECT_GT(shear, 3) << "radius " << radius;
    }
}

}  // namespace
