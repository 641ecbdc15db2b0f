// The scan reader on renders of the recorded side (ringetch-preview's picture of the
// disc face, then turned, offset, mirrored or blurred here), against the truth the
// refinement fit predicts; its refusals; and ringetch-scan's command line.
#include <cmath>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "image/images.h"
#include "model_fit/fit.h"
#include "preview_support.h"
#include "refine/refinement_image.h"
#include "scan/capture_reading.h"

namespace {

constexpr TrackModel disc{23010, 1.3905};   // the simulated disc
constexpr TrackModel drawn{23000, 1.39};    // the refinement image's model
constexpr double refinement_size = 62e6;    // four lines
constexpr int dpi600_pixels = 2835;         // a 120 mm disc face at 600 dpi

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
        clean = cv::imread(*folder / "clean.png", cv::IMREAD_GRAYSCALE);
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
        cv::imwrite(path, picture);
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

TEST_P(ScanReaderCaptures, ReadsEveryWedgeWithinAThirdOfADegreeOfTheTruth)
{
    const CaptureCase& c = GetParam();
    const std::string path = write_capture(degraded(clean, c), std::string(c.name) + ".png");
    BurnedImage image;
    refinement_burned_image(drawn, refinement_size, image);
    CaptureReading reading;
    read_capture(path.c_str(), nullptr, image, nullptr, reading);
    ASSERT_FALSE(reading.refused) << reading.why;
    ASSERT_EQ(reading.line_count, lines_held(drawn, refinement_size));
    for (int line = 0; line < reading.line_count; ++line) {
        const LineReading& r = reading.lines[line];
        ASSERT_TRUE(r.read) << "line " << line;
        const double truth = predicted_angle(disc, drawn, reading_turn(line)) + c.turn;
        EXPECT_LT(angle_gap(r.angle, truth), 0.3) << "line " << line << " read " << r.angle;
        EXPECT_LT(r.angle_error, 0.3) << "line " << line;
        if (image.lines[line].marked_turns == 560) {
            EXPECT_NEAR(r.twist, line_twist(disc, drawn, line), 1.0) << "line " << line;
        }
    }
    std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(Captures, ScanReaderCaptures,
                         ::testing::Values(CaptureCase{"clean", 0, {0, 0}, false, 0, 0},
                                           CaptureCase{"turned_and_offset", 40, {-230, 140}, false, 0, 0},
                                           CaptureCase{"mirrored", 0, {0, 0}, true, 0, 0},
                                           CaptureCase{"blurred_and_noisy", 200, {60, -50}, false, 1.5, 6}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
