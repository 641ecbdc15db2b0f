// A colour capture's channels as the scan reader weighs them: on the simulated
// scanner, whose blue sees the pattern most strongly and red least (and the band the
// other way round), the weights follow the pattern, and a band of light is mostly
// cancelled; a 16-bit colour capture keeps its depth and channels.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "named_case.h"
#include "preview_support.h"
#include "scan/reader_parts.h"
#include "scan_capture.h"
#include "small_disc.h"

namespace {

using named_case::operator<<;

constexpr TrackModel disc{23010, 1.3905};

struct ChannelCase {
    const char* name;
    double gradient;
    double band;
    bool band_cancelled;  // what the weights leave of the band is under a quarter of the pattern
};

// How the simulated scanner's channels see the pattern and the band (tests/scan_capture.cpp).
const cv::Vec3d pattern_colour{0.6, 1.0, 1.4};
const cv::Vec3d band_colour{1.3, 1.0, 0.5};

// A small refinement image and its face.
const SmallDisc& small_disc() { return ::small_disc(SmallDiscRequest{"23000-23020", "1.391-1.390", "62000000", disc}); }

class ChannelWeights : public testing::TestWithParam<ChannelCase> {};

TEST_P(ChannelWeights, FollowEachChannelsStepAgainstItsScatter)
{
    const SmallDisc& small = small_disc();
    ASSERT_TRUE(small.why.empty()) << small.why;
    const WorkFolder& folder = small.folder;
    CaptureConditions conditions;
    conditions.disc = disc;
    conditions.dpi = 300;
    conditions.contrast = 0.1;
    conditions.blur = 1;
    conditions.noise = 3;
    conditions.bits = 16;
    conditions.colour = true;
    conditions.gradient = GetParam().gradient;
    conditions.band = GetParam().band;
    Capture capture;
    CaptureTruth truth;
    simulate_capture(small.face, conditions, capture, truth);
    const std::string path = folder / (std::string(GetParam().name) + ".png");
    std::string why;
    ASSERT_TRUE(write_capture(capture, 0, path.c_str(), why)) << why;

    char reason[512] = {};
    static BurnedImage image;
    ASSERT_TRUE(load_burned_image((folder / "refine.rge").c_str(), image, reason, sizeof reason)) << reason;
    SamplePicture samples;
    cv::Mat grey;
    ASSERT_TRUE(load_capture(path.c_str(), samples, grey, reason, sizeof reason)) << reason;
    EXPECT_EQ(samples.channels, 3);
    EXPECT_EQ(samples.bits, 16);
    DiscMap map;
    ASSERT_TRUE(find_disc(grey, image, map, reason, sizeof reason)) << reason;
    const cv::Vec3d weight = weigh_channels(samples, image, map, grey);
    free_sample_picture(samples);
    EXPECT_GT(weight[2], weight[1]);
    EXPECT_GT(weight[1], weight[0]);
    EXPECT_EQ(std::abs(weight.dot(band_colour)) < 0.25 * weight.dot(pattern_colour), GetParam().band_cancelled)
        << weight;
}

INSTANTIATE_TEST_SUITE_P(Captures, ChannelWeights,
                         testing::Values(ChannelCase{"EvenLight", 0, 0, false},
                                         ChannelCase{"GradientAndBand", 0.3, 0.2, true}),
                         testing::PrintToStringParamName());

}  // namespace
