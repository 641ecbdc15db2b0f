// The simulated scanner against its own truth: the wedges of a clean capture stand
// where the truth's turn and mirror put them (checked against the face's own
// convention, written out here), the rim and hole lie where the truth's centre and
// scale say, and each degraded form keeps the size and depth asked for.
#include <gtest/gtest.h>

#include <png.h>

#include <cmath>
#include <cstdio>

#include "common/disc_geometry.h"
#include "model_fit/fit.h"
#include "named_case.h"
#include "picture_file/picture_read.h"
#include "preview_support.h"
#include "scan_capture.h"
#include "small_disc.h"

namespace {

using named_case::operator<<;

constexpr double pi = 3.14159265358979323846;
constexpr TrackModel disc{23040, 1.3885};
constexpr double line_zero_mm = 25.15;  // inside line 0's band of the small image below

// A small refinement image (its first lines, near the inside) and its face.
const SmallDisc& small_disc() { return ::small_disc(SmallDiscRequest{"23000-23100", "1.389-1.387", "60000000", disc}); }

// The face at radius_mm and disc angle a, in its own convention: clockwise from the
// top, x to the right and y down (the preview's picture).
double face_at(const DiscFace& f, double radius_mm, double degrees)
{
    const double scale = f.side / 120.0;
    const int x = static_cast<int>(f.side / 2.0 + radius_mm * std::sin(degrees * pi / 180) * scale);
    const int y = static_cast<int>(f.side / 2.0 - radius_mm * std::cos(degrees * pi / 180) * scale);
    return f.shades[static_cast<std::size_t>(y) * f.side + x];
}

// The capture's grey at the capture pixel nearest (x, y).
double capture_at(const Capture& c, double x, double y)
{
    const auto column = static_cast<std::size_t>(x);
    const auto row = static_cast<std::size_t>(y);
    double sum = 0;
    for (int k = 0; k < c.channels; ++k)
        sum += c.samples[(row * c.width + column) * c.channels + k];
    return sum / c.channels / (c.bits == 16 ? 257 : 1);
}

// Correlation of the face's shades around line 0 with the capture's, the face's
// angle a looked for at capture angle (mirrored ? turn - a : a + turn) from the
// centre, an angle on the capture being clockwise from its top (written out here, not
// taken from the truth).
double ring_correlation(const DiscFace& f, const Capture& c, const CaptureTruth& t, double turn, bool mirrored)
{
    double sf = 0;
    double sc = 0;
    double sff = 0;
    double scc = 0;
    double sfc = 0;
    const int n = 720;
    for (int k = 0; k < n; ++k) {
        const double a = 360.0 * k / n;
        const double on_capture = (mirrored ? turn - a : a + turn) * pi / 180;
        const double r = line_zero_mm * t.pixels_per_mm;
        const double x = t.centre_x + r * std::sin(on_capture);
        const double y = t.centre_y - r * std::cos(on_capture);
        const double fv = face_at(f, line_zero_mm, a);
        const double cv = capture_at(c, x, y);
        sf += fv;
        sc += cv;
        sff += fv * fv;
        scc += cv * cv;
        sfc += fv * cv;
    }
    const double cov = sfc - sf * sc / n;
    return cov / std::sqrt((sff - sf * sf / n) * (scc - sc * sc / n));
}

TEST(ScanCapture, TheWedgesOfACleanCaptureStandWhereTheTurnAndMirrorPutThem)
{
    const SmallDisc& small = small_disc();
    ASSERT_TRUE(small.why.empty()) << small.why;
    const DiscFace* face = &small.face;
    struct Row {
        double turn;
        bool mirror;
    };
    for (const Row row : {Row{0, false}, Row{90, false}, Row{-37.5, false}, Row{0, true}, Row{200, true}}) {
        CaptureConditions conditions;
        conditions.disc = disc;
        conditions.dpi = 300;
        conditions.contrast = 0.6;
        conditions.rotation = row.turn;
        conditions.mirror = row.mirror;
        conditions.offset_x_mm = 3;
        conditions.offset_y_mm = -2;
        Capture capture;
        CaptureTruth truth;
        simulate_capture(*face, conditions, capture, truth);
        SCOPED_TRACE(testing::Message() << "turn " << row.turn << " mirror " << row.mirror);
        EXPECT_NEAR(truth.centre_x, capture.width / 2.0 + 3 * truth.pixels_per_mm, 1e-6);
        EXPECT_NEAR(truth.centre_y, capture.height / 2.0 - 2 * truth.pixels_per_mm, 1e-6);
        EXPECT_GT(ring_correlation(*face, capture, truth, row.turn, row.mirror), 0.9);
        // Turned the other way, or not mirrored, the wedges are elsewhere.
        EXPECT_LT(ring_correlation(*face, capture, truth, -row.turn + 45, !row.mirror), 0.5);
        // The truth's own mapping agrees: the face's angle 10 is at capture_angle(10).
        double x = 0;
        double y = 0;
        capture_point(truth, line_zero_mm, 10, x, y);
        const double seen = std::atan2(x - truth.centre_x, truth.centre_y - y) * 180 / pi;
        EXPECT_NEAR(std::remainder(seen - capture_angle(truth, 10), 360), 0, 0.01);
    }
}

// The truth the benchmarks hold a reading to: the marker opening turn n of each
// line stands on the face at predicted_angle(disc, drawn, n), its first twelfth of a
// turn in the other shade, clockwise from there.
TEST(ScanCapture, EachLinesMarkersStandOnTheFaceWherePredictedAngleSays)
{
    const SmallDisc& small = small_disc();
    ASSERT_TRUE(small.why.empty()) << small.why;
    const TrackModel drawn{23050, 1.388};  // the ranges' middle, as ringetch-refine drew it
    for (int line = 0; line < 3; ++line) {
        const double turn = reading_turn(line) + 20;
        const double radius = track_radius_mm(disc, turn_number_at(disc, turn_start(drawn, turn)));
        const double predicted = predicted_angle(disc, drawn, turn);
        // The marker's twelfth differs from the fill; a twelfth from its middle, the fill.
        double marker = 0;
        double fill = 0;
        for (int k = -5; k <= 5; ++k) {
            marker += face_at(small.face, radius, predicted + 15 + k);
            fill += face_at(small.face, radius, predicted + 45 + k) + face_at(small.face, radius, predicted - 15 + k);
        }
        EXPECT_GT(std::fabs(marker / 11 - fill / 22), 60) << "line " << line;
    }
}

struct Degraded {
    const char* name;
    CaptureConditions conditions;
};

CaptureConditions degraded(double blur, double noise, double contrast, double gradient, double band, double tilt,
                           int jpeg, int bits, bool colour)
{
    CaptureConditions c;
    c.disc = disc;
    c.dpi = 300;
    c.blur = blur;
    c.noise = noise;
    c.contrast = contrast;
    c.gradient = gradient;
    c.band = band;
    c.band_angle = 0;  // between the angles the rim is looked at, turned by 123 degrees
    c.tilt = tilt;
    c.jpeg_quality = jpeg;
    c.bits = bits;
    c.colour = colour;
    c.rotation = 123;
    c.offset_x_mm = -4;
    c.offset_y_mm = 2.5;
    return c;
}

class DegradedCapture : public testing::TestWithParam<Degraded> {};

// The file's size, depth and channels as libpng or libjpeg read them back.
struct FileShape {
    int width = 0;
    int height = 0;
    int bits = 0;
    int channels = 0;
};

FileShape png_shape(const std::string& path)
{
    FileShape shape;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return shape;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)) == 0) {  // NOLINT(cert-err52-cpp)
        png_init_io(png, file);
        png_read_info(png, info);
        shape = {static_cast<int>(png_get_image_width(png, info)), static_cast<int>(png_get_image_height(png, info)),
                 png_get_bit_depth(png, info), png_get_channels(png, info)};
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return shape;
}

TEST_P(DegradedCapture, KeepsItsSizeAndDepthAndTheRimWhereTheTruthSays)
{
    const SmallDisc& small = small_disc();
    ASSERT_TRUE(small.why.empty()) << small.why;
    const DiscFace* face = &small.face;
    const CaptureConditions& conditions = GetParam().conditions;
    Capture capture;
    CaptureTruth truth;
    simulate_capture(*face, conditions, capture, truth);
    const std::string path = small.folder / (std::string(GetParam().name) + (conditions.jpeg_quality > 0 ? ".jpg" : ".png"));
    std::string why;
    ASSERT_TRUE(write_capture(capture, conditions.jpeg_quality, path.c_str(), why)) << why;
    const int side = static_cast<int>(std::lround(130 * 300 / 25.4));
    if (conditions.jpeg_quality > 0) {
        GreyPicture picture;
        PictureError error;
        ASSERT_TRUE(read_grey_picture(path.c_str(), 1 << 24, picture, error)) << error.text;
        EXPECT_EQ(picture.width, static_cast<std::uint32_t>(side));
        EXPECT_EQ(picture.height, static_cast<std::uint32_t>(side));
        free_grey_picture(picture);
    } else {
        const FileShape shape = png_shape(path);
        EXPECT_EQ(shape.width, side);
        EXPECT_EQ(shape.height, side);
        EXPECT_EQ(shape.bits, conditions.bits);
        EXPECT_EQ(shape.channels, conditions.colour ? 3 : 1);
    }
    // Just outside the rim and in the hole the lid shows; just inside the rim, the
    // substrate: at eight angles, through any tilt.
    for (int k = 0; k < 8; ++k) {
        double x = 0;
        double y = 0;
        const double lid_gain = 1 + conditions.gradient;
        capture_point(truth, 62, 45.0 * k, x, y);
        EXPECT_GT(capture_at(capture, x, y), 200 / lid_gain) << "outside the rim at " << 45 * k;
        capture_point(truth, 58, 45.0 * k, x, y);
        EXPECT_LT(capture_at(capture, x, y), 175) << "inside the rim at " << 45 * k;
        capture_point(truth, 0.5, 45.0 * k, x, y);
        EXPECT_GT(capture_at(capture, x, y), 200 / lid_gain) << "in the hole at " << 45 * k;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Conditions, DegradedCapture,
    testing::Values(Degraded{"ScannerBlurNoiseLowContrast", degraded(2, 3, 0.05, 0, 0, 0, 0, 8, false)},
                    Degraded{"GradientAndBand16Bits", degraded(1, 2, 0.05, 0.3, 0.2, 0, 0, 16, false)},
                    Degraded{"ColourScan", degraded(1, 2, 0.05, 0, 0, 0, 0, 8, true)},
                    Degraded{"PhoneTiltedJpeg", degraded(1.5, 3, 0.1, 0.1, 0, 20, 85, 8, true)}),
    [](const testing::TestParamInfo<Degraded>& info) { return std::string(info.param.name); });

}  // namespace
