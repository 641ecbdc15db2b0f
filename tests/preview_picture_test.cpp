// The preview's PNG: the asked size, the whole disc upright with the track running
// clockwise, each pixel the mean shade of its bytes, and the background untouched
// off the track. The image is drawn by angle and radius on the disc, so each shade
// has a known place.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/disc_geometry.h"
#include "image/deinterleaver.h"
#include "preview_support.h"

namespace {

// 500-byte first turn growing 0.5 a turn: the track reaches 50 mm after 1000 turns
// (750,000 bytes), its turns 0.025 mm apart.
const TrackModel disc{500, 0.5};
constexpr double track_end_mm = 50;
// Between these radii the bytes alternate light and dark.
constexpr double mixed_from_mm = 39;
constexpr double mixed_to_mm = 41;

// Dark from 0 to 90 degrees, mid grey to 180, light to 360; alternating light and
// dark bytes in the mixed ring.
Bytes quadrant_pixels()
{
    const auto count = static_cast<std::size_t>(turn_start(disc, (track_end_mm / 25 - 1) * disc.tr0 / disc.dtr));
    Bytes pixels(count);
    for (std::size_t k = 0; k < count; ++k) {
        const DiscPlace place = place_on_disc(disc, static_cast<double>(k));
        const double degrees = 360 * turn_fraction(place.turns);
        if (place.radius_mm >= mixed_from_mm && place.radius_mm < mixed_to_mm)
            pixels[k] = k % 2 == 0 ? light_byte : dark_byte;
        else
            pixels[k] = degrees < 90 ? dark_byte : degrees < 180 ? mid_byte : light_byte;
    }
    return pixels;
}

class PreviewPicture : public testing::Test {
protected:
    static void SetUpTestSuite() { pixels_ = new Bytes(quadrant_pixels()); }
    static void TearDownTestSuite()
    {
        delete pixels_;
        pixels_ = nullptr;
    }

    GreyImage preview(const std::string& side)
    {
        write_pixel_image(work_ / "image.rge", *pixels_);
        const RunResult r = run_preview({"image", "image.rge", "tr0", "500", "dtr", "0.5", "png", "disc.png",
                                          "pixels", side}, work_.path());
        EXPECT_EQ(r.exit_status, 0) << r.err;
        EXPECT_EQ(r.out, "no markers: not a calibration image\n");
        GreyImage image;
        EXPECT_TRUE(read_grey_png(work_ / "disc.png", image));
        return image;
    }

    WorkFolder work_;
    static Bytes* pixels_;
};

Bytes* PreviewPicture::pixels_ = nullptr;

TEST_F(PreviewPicture, HasTheAskedSize)
{
    for (const char* side : {"16", "100"}) {
        const GreyImage image = preview(side);
        EXPECT_EQ(image.width, std::stoi(side));
        EXPECT_EQ(image.height, std::stoi(side));
    }
}

// 40 dark, 128 mid grey, 208 light, 255 background; the mixed ring is their mean.
TEST_F(PreviewPicture, ShadesStandAtTheirAnglesClockwiseFromTheTop)
{
    const GreyImage image = preview("240");
    for (const double radius : {28.0, 33.0, 46.0}) {
        EXPECT_NEAR(pixel_at(image, radius, 45), 40, 2) << "top right is dark, at " << radius << " mm";
        EXPECT_NEAR(pixel_at(image, radius, 135), 128, 2) << "bottom right is mid grey, at " << radius << " mm";
        EXPECT_NEAR(pixel_at(image, radius, 225), 208, 2) << "bottom left is light, at " << radius << " mm";
        EXPECT_NEAR(pixel_at(image, radius, 315), 208, 2) << "top left is light, at " << radius << " mm";
    }
    // A pixel here gathers about 32 bytes, 1.6 from each turn that crosses it, so
    // its share of light bytes is a half give or take a byte; one byte sampled would
    // be 40 or 208.
    for (const double degrees : {30.0, 160.0, 300.0})
        EXPECT_NEAR(pixel_at(image, 40, degrees), (40 + 208) / 2, 6) << "mixed ring at " << degrees << " degrees";
}

// A slow reference: every byte placed on its own with the geometry's place_on_disc
// and disc_point, every pixel the mean of its bytes. The preview follows the track
// by chords within a twentieth of a pixel of it, so a byte that close to a pixel's
// edge may land in the next pixel: where the track runs along an edge that is a
// few bytes of a pixel's 30 or so. Pixels may differ a little, never by much, and
// on the whole hardly at all.
TEST_F(PreviewPicture, EveryPixelIsTheMeanShadeOfTheBytesThatFallInIt)
{
    const int side = 100;
    const GreyImage image = preview(std::to_string(side));
    std::vector<double> sums(static_cast<std::size_t>(side) * side, 0);
    std::vector<double> counts(sums.size(), 0);
    const double scale = side / 120.0;
    // The preview leaves out the file's last frames, which may be the drain's.
    const auto certain = static_cast<std::size_t>((file_size(work_ / "image.rge") / 24 - trailing_frames) * 24);
    for (std::size_t k = 0; k < certain; ++k) {
        const DiscPoint point = disc_point(place_on_disc(disc, static_cast<double>(k)));
        const auto x = static_cast<int>(std::floor(side / 2.0 + point.x_mm * scale));
        const auto y = static_cast<int>(std::floor(side / 2.0 + point.y_mm * scale));
        const std::uint8_t byte = (*pixels_)[k];
        sums[static_cast<std::size_t>(y) * side + x] += byte == light_byte ? 208 : byte == dark_byte ? 40 : 128;
        counts[static_cast<std::size_t>(y) * side + x] += 1;
    }
    double total_difference = 0;
    int compared = 0;
    int near = 0;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const std::size_t cell = static_cast<std::size_t>(y) * side + x;
            // Pixels the track only grazes hold a byte or two either way.
            if (counts[cell] < 8)
                continue;
            const double difference = std::fabs(image.at(x, y) - sums[cell] / counts[cell]);
            EXPECT_LT(difference, 40) << "pixel " << x << ", " << y;
            total_difference += difference;
            compared += 1;
            near += difference <= 4 ? 1 : 0;
        }
    }
    ASSERT_GT(compared, 3000);
    EXPECT_LT(total_difference / compared, 0.5);
    EXPECT_GT(near, compared * 99 / 100);
}

TEST_F(PreviewPicture, BackgroundIsUntouchedOffTheTrack)
{
    const GreyImage image = preview("240");
    for (const double degrees : {0.0, 100.0, 200.0, 300.0}) {
        EXPECT_EQ(pixel_at(image, 23.5, degrees), 255) << "inside the first turn at " << degrees;
        EXPECT_EQ(pixel_at(image, 51.5, degrees), 255) << "past the last turn at " << degrees;
        EXPECT_EQ(pixel_at(image, 59.5, degrees), 255) << "at the disc's edge at " << degrees;
    }
    EXPECT_EQ(image.at(0, 0), 255);
    EXPECT_EQ(image.at(239, 239), 255);
    EXPECT_EQ(image.at(120, 120), 255);
}

}  // namespace
