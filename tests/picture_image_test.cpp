// ringetch-picture's image against the placement rule written out plainly, byte for
// byte: the binary draws a small picture on a short track, the pixel bytes are read
// back out of its file, and a slow model computes each one from the rule: the turns
// as the writer loop takes them, bands of 16 turns whose middle turn's bytes each
// show the pixel under the place (place_on_disc, disc_point) of their 4-byte sample,
// every turn of a band taking that row stretched to its own length. The shade of a
// grey at a row byte is the dither's (dither.h, tested on its own).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "common/disc_geometry.h"
#include "image/turn.h"
#include "picture/dither.h"
#include "png_fixture.h"
#include "named_case.h"
#include "program_run.h"
#include "reference_image.h"

namespace {

using named_case::operator<<;

struct PictureCase {
    const char* name;
    std::uint32_t width;
    std::uint32_t height;
    std::function<int(double, double)> grey_at;  // of the point (x, y), both 0..1 across the picture
    TrackModel model;
    double size;
    bool mirror;
};


std::vector<std::uint8_t> picture_pixels(const PictureCase& c)
{
    std::vector<std::uint8_t> pixels;
    for (std::uint32_t y = 0; y < c.height; ++y)
        for (std::uint32_t x = 0; x < c.width; ++x)
            pixels.push_back(static_cast<std::uint8_t>(c.grey_at((x + 0.5) / c.width, (y + 0.5) / c.height)));
    return pixels;
}

struct Turn {
    std::int64_t first_byte;
    std::int64_t bytes;
    double start;  // real position
};

struct Expected {
    Bytes pixels;
    std::string out;
};

std::string format(const char* text, double a, double b = 0, double c = 0)
{
    char line[200];
    std::snprintf(line, sizeof line, text, a, b, c);
    return line;
}

Expected expected_image(const PictureCase& c, const std::vector<std::uint8_t>& pixels)
{
    std::vector<Turn> turns;
    double pos = 0;
    std::int64_t count = 0;
    for (double a = c.model.tr0; turn_fits(a, c.model.dtr, pos, c.size); a += c.model.dtr) {
        const Turn turn{count, 0, pos};
        count += static_cast<std::int64_t>(a);
        pos += a;
        count = std::max(count, static_cast<std::int64_t>(pos));
        turns.push_back({turn.first_byte, count - turn.first_byte, turn.start});
    }
    const double outer = place_on_disc(c.model, pos).radius_mm;
    const double per_mm = std::min(c.width, c.height) / (2 * outer);
    auto grey = [&](std::int64_t q) {
        const DiscPoint point = disc_point(place_on_disc(c.model, static_cast<double>(q)));
        const double column = c.width / 2.0 + (c.mirror ? -point.x_mm : point.x_mm) * per_mm;
        const double row = c.height / 2.0 + point.y_mm * per_mm;
        if (!(column >= 0 && column < c.width && row >= 0 && row < c.height))
            return -1;
        return static_cast<int>(pixels[static_cast<std::size_t>(row) * c.width + static_cast<std::size_t>(column)]);
    };

    Expected expected;
    const auto n = static_cast<std::int64_t>(turns.size());
    for (std::int64_t first = 0; first < n; first += 16) {
        const std::int64_t in_band = std::min<std::int64_t>(16, n - first);
        const Turn middle = turns[first + in_band / 2];
        Bytes row;
        for (std::int64_t j = 0; j < middle.bytes; ++j) {
            const int g = grey(middle.first_byte + j / 4 * 4 + 2);
            row.push_back(g < 0 ? light_byte : dithered_byte(grey_shade(g), dither_phase(first / 16, j)));
        }
        for (std::int64_t t = first; t < first + in_band; ++t)
            for (std::int64_t k = 0; k < turns[t].bytes; ++k)
                expected.pixels.push_back(row[k * middle.bytes / turns[t].bytes]);
    }
    expected.out = "picture \"picture.png\": " + std::to_string(c.width) + " x " + std::to_string(c.height) +
                   " pixels, " + format("%.1f", per_mm) + " pixels per mm" + (c.mirror ? ", mirrored" : "") + "\n" +
                   "creating PICTURE image: " + std::to_string(n) + " turns, radius 25 to " + format("%.1f", outer) +
                   " mm\n";
    for (std::int64_t t = 0; t < n; t += 625)
        expected.out += format("line number %.0f, start byte - %g Mb (radius %.1f mm)\n", static_cast<double>(t / 625),
                               turns[t].start / 1048576, place_on_disc(c.model, turns[t].start).radius_mm);
    expected.out += "image \"picture.rge\" created succesfully.\nburn it by command\n"
                    "$ cdrecord -audio dev=<burner-device> \"picture.rge\"\n";
    return expected;
}

class PictureImage : public testing::TestWithParam<PictureCase> {};

TEST_P(PictureImage, EveryPixelByteIsTheOneThePlacementRuleGives)
{
    const PictureCase& c = GetParam();
    const std::string dir = make_work_dir();
    const std::vector<std::uint8_t> pixels = picture_pixels(c);
    ASSERT_TRUE(write_grey_png(dir + "/picture.png", c.width, c.height, pixels));
    std::vector<std::string> args = {"png", "picture.png", "tr0", format("%.17g", c.model.tr0),
                                     "dtr", format("%.17g", c.model.dtr), "size", format("%.0f", c.size)};
    if (c.mirror)
        args.insert(args.end(), {"mirror", "1"});
    const RunResult run = run_program(PICTURE_BINARY, args, "", dir);
    const std::string file = read_file(dir + "/picture.rge");

    const Expected expected = expected_image(c, pixels);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, expected.out);
    ASSERT_EQ(file.size() % 2352, 0U);
    const Bytes content(file.begin(), file.end());
    EXPECT_TRUE(same_bytes(reference::recover_pixels(content, expected.pixels.size()), expected.pixels));
}

int quadrants(double x, double y) { return x < 0.5 ? (y < 0.5 ? 0 : 90) : (y < 0.5 ? 170 : 255); }
int diagonal_ramp(double x, double y) { return static_cast<int>(255 * (x + y) / 2); }
int checks(double x, double y) { return (static_cast<int>(x * 9) + static_cast<int>(y * 7)) % 2 == 0 ? 30 : 220; }

// Rings around the centre: white between 0.3 and 0.38 of the width from it (whole
// turns of one byte), black and white halves further out (runs of thousands of
// bytes in turns of 9000 and more), a grey ramp elsewhere.
int rings_and_halves(double x, double y)
{
    const double r = std::hypot(x - 0.5, y - 0.5);
    if (r >= 0.3 && r < 0.38)
        return 255;
    if (r >= 0.38)
        return x < 0.5 ? 0 : 255;
    return static_cast<int>(255 * y);
}

INSTANTIATE_TEST_SUITE_P(
    Picture, PictureImage,
    testing::Values(PictureCase{"SquarePictureOverTwoLines", 48, 48, quadrants, {1000, 2}, 2000000, false},
                    PictureCase{"WidePictureMirrored", 64, 24, diagonal_ramp, {1500, 3.7}, 1500000, true},
                    PictureCase{"TallPictureOfChecks", 21, 50, checks, {777.77, 0.33}, 1200000, false},
                    PictureCase{"WholeTurnsOfOneByteAndLongRuns", 60, 60, rings_and_halves, {9000.5, 13.3}, 3000000,
                                false},
                    PictureCase{"OnePixel", 1, 1, quadrants, {2000.25, 1}, 300000, true}),
    [](const testing::TestParamInfo<PictureCase>& info) { return std::string(info.param.name); });

}  // namespace
