// The scan reader on renders of the recorded side (ringetch-preview's picture of the
// disc face, then turned, offset, mirrored or blurred here), against the truth the
// refinement fit predicts; its refusals; and ringetch-scan's command line.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "image/images.h"
#include "model_fit/fit.h"
#include "picture_file/picture_read.h"
#include "picture_file/png_write.h"
#include "preview_support.h"
#include "refine/refinement_image.h"
#include "scan/capture_reading.h"
#include "scan/reader_parts.h"
#include "scan_capture.h"

namespace {

constexpr TrackModel disc{23010, 1.3905};   // the simulated disc
constexpr TrackModel drawn{23000, 1.39};    // the refinement image's model
constexpr double refinement_size = 62e6;    // four lines
constexpr int dpi600_pixels = 2835;         // a 120 mm disc face at 600 dpi
constexpr double disc_centre = (dpi600_pixels - 1) / 2.0;  // on the render, pixel centres at whole numbers

// A PNG as an 8-bit grey matrix (empty when it cannot be read), and back.
cv::Mat read_png(const std::string& path)
{
    GreyPicture picture;
    PictureError error;
    if (!read_grey_picture(path.c_str(), 100000000, picture, error))
        return {};
    cv::Mat copy = cv::Mat(static_cast<int>(picture.height), static_cast<int>(picture.width), CV_8U, picture.pixels).clone();
    free_grey_picture(picture);
    return copy;
}

void write_png(const cv::Mat& picture, const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    cv::Mat rows = picture.clone();
    const GreyPicture grey{static_cast<std::uint32_t>(rows.cols), static_cast<std::uint32_t>(rows.rows), rows.data};
    EXPECT_EQ(write_grey_png(file, grey, nullptr).status, PngWriteStatus::written);
    EXPECT_EQ(std::fclose(file), 0);
}

double angle_gap(double a, double b)
{
    const double d = std::fmod(a - b + 540.0, 360.0) - 180;
    return std::fabs(d);
}

// The refinement image and its clean render, made once for the suite.
class ScanReader : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder = new WorkFolder;
        std::FILE* file = std::fopen((*folder / "refine.rge").c_str(), "wb");
        ASSERT_NE(file, nullptr);
        ASSERT_TRUE(draw_refinement_image(drawn, refinement_size, file));
        ASSERT_EQ(std::fclose(file), 0);
        const RunResult r = run_preview({"image", "refine.rge", "tr0", std::to_string(disc.tr0), "dtr",
                                         std::to_string(disc.dtr), "pixels", std::to_string(dpi600_pixels), "png",
                                         "clean.png"},
                                        folder->path());
        ASSERT_EQ(r.exit_status, 0) << r.err;
        clean = read_png(*folder / "clean.png");
        ASSERT_FALSE(clean.empty());
    }

    static void TearDownTestSuite()
    {
        delete folder;
        folder = nullptr;
    }

    static std::string write_capture(const cv::Mat& picture, const std::string& name)
    {
        const std::string path = *folder / name;
        write_png(picture, path);
        return path;
    }

    static WorkFolder* folder;
    static cv::Mat clean;
};

WorkFolder* ScanReader::folder = nullptr;
cv::Mat ScanReader::clean;

struct CaptureCase {
    const char* name;
    double turn;      // degrees clockwise on the capture
    cv::Point2d shift;  // pixels
    bool mirrored;
    double blur;      // Gaussian sigma, pixels
    double noise;     // standard deviation, grey levels
    double tilt;      // a phone's tilt about the capture's horizontal axis through the disc's centre, degrees
    double within;    // of the truth, degrees
};

class ScanReaderCaptures : public ScanReader, public ::testing::WithParamInterface<CaptureCase> {};

cv::Mat degraded(const cv::Mat& clean, const CaptureCase& c)
{
    cv::Mat picture = clean.clone();
    if (c.mirrored)
        cv::flip(picture, picture, 1);
    const cv::Point2f centre(clean.cols / 2.0F, clean.rows / 2.0F);
    cv::Mat move = cv::getRotationMatrix2D(centre, -c.turn, 1.0);
    move.at<double>(0, 2) += c.shift.x;
    move.at<double>(1, 2) += c.shift.y;
    cv::warpAffine(picture, picture, move, picture.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(255));
    if (c.tilt != 0) {
        // A camera 300 mm from the disc's centre: a point y pixels below it lies
        // y sin(tilt) farther away, and is seen nearer the centre by that much.
        const double t = c.tilt * 3.141592653589793 / 180;
        const double s = std::sin(t) / (300 * dpi600_pixels / 120.0);
        const cv::Matx33d to_centre(1, 0, -disc_centre, 0, 1, -disc_centre, 0, 0, 1);
        const cv::Matx33d camera(1, 0, 0, 0, std::cos(t), 0, 0, s, 1);
        const cv::Matx33d back(1, 0, disc_centre, 0, 1, disc_centre, 0, 0, 1);
        cv::warpPerspective(picture, picture, cv::Mat(back * camera * to_centre), picture.size(), cv::INTER_LINEAR,
                            cv::BORDER_CONSTANT, cv::Scalar(255));
    }
    if (c.blur > 0)
        cv::GaussianBlur(picture, picture, cv::Size(), c.blur);
    if (c.noise > 0) {
        cv::Mat noise(picture.size(), CV_16S);
        cv::randn(noise, 0, c.noise);
        cv::Mat wide;
        picture.convertTo(wide, CV_16S);
        wide += noise;
        wide.convertTo(picture, CV_8U);
    }
    return picture;
}

TEST_P(ScanReaderCaptures, ReadsEveryWedgeNearTheTruthAndMapsTheFacesCentre)
{
    const CaptureCase& c = GetParam();
    const std::string path = write_capture(degraded(clean, c), std::string(c.name) + ".png");
    BurnedImage image;
    refinement_burned_image(drawn, refinement_size, image);
    // The map's centre is the image of the face's, and a scanner's capture keeps an
    // affine map.
    SamplePicture samples;
    cv::Mat grey;
    char why[512];
    ASSERT_TRUE(load_capture(path.c_str(), samples, grey, why, sizeof why)) << why;
    DiscMap map;
    const bool found = find_disc(grey, image, map, why, sizeof why);
    grey.release();
    free_sample_picture(samples);
    ASSERT_TRUE(found) << why;
    if (c.tilt == 0 && c.turn == 0) {
        EXPECT_NEAR(map.cx, disc_centre + c.shift.x, 1.5);
        EXPECT_NEAR(map.cy, disc_centre + c.shift.y, 1.5);
    }
    if (c.tilt == 0) {
        EXPECT_EQ(map.g[0], 0);
        EXPECT_EQ(map.g[1], 0);
    } else {
        EXPECT_NEAR(map.cx, disc_centre, 1.5);
        EXPECT_NEAR(map.cy, disc_centre, 1.5);
        EXPECT_GT(map.g[1], 0);
    }
    CaptureReading reading;
    read_capture(path.c_str(), nullptr, image, nullptr, reading);
    ASSERT_FALSE(reading.refused) << reading.why;
    ASSERT_EQ(reading.line_count, lines_held(drawn, refinement_size));
    for (int line = 0; line < reading.line_count; ++line) {
        const LineReading& r = reading.lines[line];
        ASSERT_TRUE(r.read) << "line " << line;
        const double truth = predicted_angle(disc, drawn, reading_turn(line)) + c.turn;
        EXPECT_LT(angle_gap(r.angle, truth), c.within) << "line " << line << " read " << r.angle;
        EXPECT_LT(r.angle_error, 0.3) << "line " << line;
        if (image.lines[line].marked_turns == 560) {
            EXPECT_NEAR(r.twist, line_twist(disc, drawn, line), 1.0) << "line " << line;
        }
    }
    std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(Captures, ScanReaderCaptures,
                         ::testing::Values(CaptureCase{"clean", 0, {0, 0}, false, 0, 0, 0, 0.3},
                                           CaptureCase{"turned_and_offset", 40, {-230, 140}, false, 0, 0, 0, 0.3},
                                           CaptureCase{"mirrored", 0, {0, 0}, true, 0, 0, 0, 0.3},
                                           CaptureCase{"blurred_and_noisy", 200, {60, -50}, false, 1.5, 6, 0, 0.3},
                                           CaptureCase{"tilted_photo", 0, {0, 0}, false, 1, 3, 10, 0.5}),
                         [](const auto& info) { return std::string(info.param.name); });

// A phone photo from the test suite's simulated camera, tilted by 20 degrees, in
// colour and JPEG, with the disc's hub and rim: the four lines' rings, close together
// near the hub, fix the perspective poorly, so the reader may refuse the photo, but
// what it reads lies near the truth.
TEST_F(ScanReader, APhotoTiltedByTwentyDegreesIsReadRightOrRefused)
{
    DiscFace face;
    std::string why;
    ASSERT_TRUE(render_disc_face((*folder / "refine.rge").c_str(), disc, face_side(400), face, why)) << why;
    CaptureConditions conditions;
    conditions.disc = disc;
    conditions.dpi = 400;
    conditions.tilt = 20;
    conditions.colour = true;
    conditions.jpeg_quality = 85;
    conditions.blur = 1;
    conditions.noise = 2;
    Capture capture;
    CaptureTruth truth;
    simulate_capture(face, conditions, capture, truth);
    const std::string path = *folder / "tilted.jpg";
    ASSERT_TRUE(::write_capture(capture, conditions.jpeg_quality, path.c_str(), why)) << why;
    BurnedImage image;
    refinement_burned_image(drawn, refinement_size, image);
    CaptureReading reading;
    read_capture(path.c_str(), nullptr, image, nullptr, reading);
    for (int line = 0; line < reading.line_count; ++line) {
        const LineReading& r = reading.lines[line];
        if (r.read) {
            EXPECT_LT(angle_gap(r.angle, predicted_angle(disc, drawn, reading_turn(line))), 0.5)
                << "line " << line << " read " << r.angle;
        }
    }
    if (reading.refused) {
        EXPECT_GT(std::strlen(reading.why), 0U);
    }
    std::remove(path.c_str());
}

// A first image of the dialogue: every line drawn with one model some way off the
// disc's, so that each line's wedge twists by its own amount.
constexpr TrackModel first_drawn{22500, 1.44};
constexpr TrackModel first_disc{22520, 1.438};
constexpr double first_size = 80e6;  // five lines and part of a sixth

// A light 30-degree sector fixed to the capture, as a scanner's band of light would
// be: on the dark lines it looks like a straight wedge at one angle.
void add_band(cv::Mat& picture)
{
    const cv::Point2d centre(picture.cols / 2.0, picture.rows / 2.0);
    for (int y = 0; y < picture.rows; ++y)
        for (int x = 0; x < picture.cols; ++x) {
            const double angle = std::atan2(x - centre.x, centre.y - y) * 57.29577951308232;
            if (angle >= 100 && angle < 130)
                picture.at<std::uint8_t>(y, x) = cv::saturate_cast<std::uint8_t>(picture.at<std::uint8_t>(y, x) + 90);
        }
}

class ScanFirstImage : public ScanReader {
protected:
    static void SetUpTestSuite()
    {
        ScanReader::SetUpTestSuite();
        std::FILE* file = std::fopen((*folder / "first.rge").c_str(), "wb");
        ASSERT_NE(file, nullptr);
        ASSERT_TRUE(draw_track_image(first_drawn, first_drawn, first_size, file));
        ASSERT_EQ(std::fclose(file), 0);
        const RunResult r = run_preview({"image", "first.rge", "tr0", std::to_string(first_disc.tr0), "dtr",
                                         std::to_string(first_disc.dtr), "pixels", std::to_string(dpi600_pixels),
                                         "png", "first.png"},
                                        folder->path());
        ASSERT_EQ(r.exit_status, 0) << r.err;
        first = read_png(*folder / "first.png");
        char why[512];
        ASSERT_TRUE(load_burned_image((*folder / "first.rge").c_str(), image, why, sizeof why)) << why;
    }

    static cv::Mat first;
    static BurnedImage image;
};

cv::Mat ScanFirstImage::first;
BurnedImage ScanFirstImage::image;

TEST_F(ScanFirstImage, TheTwistsFixTheModelWithinItsStatedError)
{
    EXPECT_FALSE(image.direction_mark);
    CaptureReading reading;
    read_capture((*folder / "first.png").c_str(), nullptr, image, nullptr, reading);
    ASSERT_FALSE(reading.refused) << reading.why;
    ASSERT_TRUE(reading.has_model);
    const double tr0_error = std::sqrt(reading.covariance[0][0]);
    EXPECT_LT(tr0_error, 5);
    EXPECT_LT(std::fabs(reading.model.tr0 - first_disc.tr0), 3 * tr0_error + 0.5);
    EXPECT_LT(std::fabs(reading.model.dtr - first_disc.dtr), 3 * std::sqrt(reading.covariance[1][1]) + 1e-4);
}

TEST_F(ScanFirstImage, ABlurredCaptureWithABandGivesNoConfidentWrongModel)
{
    cv::Mat picture;
    cv::GaussianBlur(first, picture, cv::Size(), 3.0);
    add_band(picture);
    const std::string path = write_capture(picture, "blurred_band.png");
    CaptureReading reading;
    read_capture(path.c_str(), nullptr, image, nullptr, reading);
    if (!reading.refused && reading.has_model) {
        EXPECT_LT(std::fabs(reading.model.tr0 - first_disc.tr0), 3 * std::sqrt(reading.covariance[0][0]) + 0.5);
    }
    std::remove(path.c_str());
}

TEST_F(ScanFirstImage, StraightReadingsAtOneAngleAreRefusedUnlessTheTurnedCaptureConfirmsThem)
{
    // Wedges smeared beyond reading by the blur, the band left standing.
    cv::Mat picture;
    cv::GaussianBlur(first, picture, cv::Size(), 5.0);
    add_band(picture);
    const std::string path = write_capture(picture, "band_only.png");
    CaptureReading reading;
    read_capture(path.c_str(), nullptr, image, nullptr, reading);
    EXPECT_TRUE(reading.refused);
    EXPECT_FALSE(reading.has_model);
    // The same disc turned by 60 degrees on the glass, the band where it was.
    cv::Mat turned;
    const cv::Point2f centre(first.cols / 2.0F, first.rows / 2.0F);
    cv::warpAffine(first, turned, cv::getRotationMatrix2D(centre, -60, 1.0), first.size(), cv::INTER_LINEAR,
                   cv::BORDER_CONSTANT, cv::Scalar(255));
    cv::Mat clean_band = first.clone();
    add_band(clean_band);
    add_band(turned);
    const std::string one = write_capture(clean_band, "band_one.png");
    const std::string two = write_capture(turned, "band_two.png");
    read_capture(one.c_str(), two.c_str(), image, nullptr, reading);
    ASSERT_FALSE(reading.refused) << reading.why;
    EXPECT_NEAR(reading.turn, 60, 0.5);
    EXPECT_TRUE(reading.has_model);
    // Not turned: nothing tells the wedges from the band.
    read_capture(one.c_str(), one.c_str(), image, nullptr, reading);
    EXPECT_TRUE(reading.refused);
    for (const std::string& name : {path, one, two})
        std::remove(name.c_str());
}

struct RefusalCase {
    const char* name;
    const char* content;  // of the capture file; null: a blank grey picture
    const char* reason;   // in the refusal
};

class ScanRefusals : public ScanReader, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(ScanRefusals, RefusesWithTheReasonAndNoReading)
{
    const RefusalCase& c = GetParam();
    const std::string path = *folder / (std::string(c.name) + ".png");
    if (c.content == nullptr) {
        cv::Mat blank(800, 800, CV_8U, cv::Scalar(200));
        cv::Mat noise(blank.size(), CV_8U);
        cv::randn(noise, 0, 3);
        write_png(blank + noise, path);
    } else if (c.content[0] != '\0') {
        write_file(path, Bytes(c.content, c.content + std::strlen(c.content)));
    }
    BurnedImage image;
    refinement_burned_image(drawn, refinement_size, image);
    CaptureReading reading;
    read_capture(path.c_str(), nullptr, image, nullptr, reading);
    EXPECT_TRUE(reading.refused);
    EXPECT_FALSE(reading.has_model);
    EXPECT_NE(std::string(reading.why).find(c.reason), std::string::npos) << reading.why;
    EXPECT_NE(std::string(reading.why).find(path), std::string::npos) << reading.why;
    std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(Captures, ScanRefusals,
                         ::testing::Values(RefusalCase{"missing", "", "No such file"},
                                           RefusalCase{"not_a_picture", "not a picture\n", "neither a PNG, a JPEG nor a TIFF"},
                                           RefusalCase{"blank", nullptr, "no disc found"}),
                         [](const auto& info) { return std::string(info.param.name); });

// ringetch-scan as a user runs it: the rows on standard output, refusals on standard
// error with status 1 and nothing on standard output.
TEST_F(ScanReader, TheToolPrintsOneRowPerLineAndRefusesWhatItCannotRead)
{
    const std::string overlay = *folder / "seen.png";
    RunResult r = run_program(SCAN_BINARY, {"scan", "clean.png", "image", "refine.rge", "overlay", "seen.png"}, "",
                              folder->path());
    ASSERT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    int rows = 0;
    std::size_t at = 0;
    while ((at = r.out.find("line ", at)) != std::string::npos) {
        int line = -1;
        double angle = 0;
        double twist = 0;
        double error = 0;
        double twist_error = 0;
        EXPECT_EQ(std::sscanf(r.out.c_str() + at, "line %d angle %lf twist %lf error %lf twist error %lf", &line,
                              &angle, &twist, &error, &twist_error),
                  5);
        EXPECT_EQ(line, rows);
        rows += 1;
        at += 5;
    }
    EXPECT_EQ(rows, lines_held(drawn, refinement_size));
    const cv::Mat seen = read_png(overlay);
    EXPECT_GT(seen.cols, 1000);
    std::remove(overlay.c_str());

    r = run_program(SCAN_BINARY, {"scan", "nothing.png", "image", "refine.rge"}, "", folder->path());
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "ringetch-scan: scan \"nothing.png\": No such file or directory\n");
    r = run_program(SCAN_BINARY, {"scan", "clean.png", "image", "clean.png"}, "", folder->path());
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "ringetch-scan: image \"clean.png\": holds no calibration lines (no markers)\n");
    r = run_program(SCAN_BINARY, {"scan", "clean.png"}, "", folder->path());
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_NE(r.err.find("image PATH or readings PATH"), std::string::npos) << r.err;
}

}  // namespace
