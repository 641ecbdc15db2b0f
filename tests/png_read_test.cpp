// The picture reader: every colour type and depth becomes the grey a viewer would
// show, transparency shows the white under it, and a file that is not a whole PNG,
// or holds more pixels than may be decoded, is refused with the reason.
#include <gtest/gtest.h>

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "picture_file/png_read.h"
#include "png_fixture.h"
#include "named_case.h"
#include "program_run.h"

namespace {

using named_case::operator<<;

class PictureFolder : public testing::Test {
protected:
    // Reads layout back through the reader; empty when it refuses.
    std::vector<int> read_back(const PngSpec& layout)
    {
        const std::string path = dir + "/picture.png";
        EXPECT_TRUE(write_png_file(path, layout));
        GreyPicture picture;
        PngError error;
        if (!read_grey_png(path.c_str(), 1000, picture, error)) {
            ADD_FAILURE() << error.text;
            return {};
        }
        EXPECT_EQ(picture.width, layout.width);
        EXPECT_EQ(picture.height, layout.height);
        std::vector<int> greys(picture.pixels, picture.pixels + std::size_t{picture.width} * picture.height);
        free_grey_picture(picture);
        return greys;
    }

    std::string dir = make_work_dir();
};

PngSpec one_row(int colour_type, int bit_depth, std::vector<std::uint16_t> samples, int channels)
{
    PngSpec layout;
    layout.width = static_cast<std::uint32_t>(samples.size() / channels);
    layout.height = 1;
    layout.colour_type = colour_type;
    layout.bit_depth = bit_depth;
    layout.samples = std::move(samples);
    return layout;
}

struct GreyCase {
    const char* name;
    PngSpec layout;
    std::vector<int> greys;  // as read
};


class ReadsAsGrey : public PictureFolder, public testing::WithParamInterface<GreyCase> {};

TEST_P(ReadsAsGrey, EveryPixelHasTheGreyAViewerShows) { EXPECT_EQ(read_back(GetParam().layout), GetParam().greys); }

PngSpec palette_row(std::vector<std::uint8_t> alpha)
{
    PngSpec layout = one_row(PNG_COLOR_TYPE_PALETTE, 8, {0, 1, 2, 1}, 1);
    layout.palette = {0, 0, 0, 255, 255, 255, 100, 100, 100};
    layout.palette_alpha = std::move(alpha);
    return layout;
}

INSTANTIATE_TEST_SUITE_P(
    PngRead, ReadsAsGrey,
    testing::Values(
        GreyCase{"GreyOfEightBitsAsItIs", one_row(PNG_COLOR_TYPE_GRAY, 8, {0, 1, 127, 128, 254, 255}, 1),
                 {0, 1, 127, 128, 254, 255}},
        GreyCase{"GreyOfOneBit", one_row(PNG_COLOR_TYPE_GRAY, 1, {0, 1, 1, 0, 1, 0, 0, 1, 1}, 1),
                 {0, 255, 255, 0, 255, 0, 0, 255, 255}},
        GreyCase{"GreyOfTwoBits", one_row(PNG_COLOR_TYPE_GRAY, 2, {0, 1, 2, 3}, 1), {0, 85, 170, 255}},
        GreyCase{"GreyOfFourBits", one_row(PNG_COLOR_TYPE_GRAY, 4, {0, 5, 15}, 1), {0, 85, 255}},
        GreyCase{"GreyOfSixteenBitsAtItsEnds", one_row(PNG_COLOR_TYPE_GRAY, 16, {0, 65535}, 1), {0, 255}},
        GreyCase{"ColourOfEightBitsThatIsGrey",
                 one_row(PNG_COLOR_TYPE_RGB, 8, {0, 0, 0, 255, 255, 255, 128, 128, 128}, 3), {0, 255, 128}},
        GreyCase{"ColourOfSixteenBitsAtItsEnds",
                 one_row(PNG_COLOR_TYPE_RGB, 16, {0, 0, 0, 65535, 65535, 65535}, 3), {0, 255}},
        GreyCase{"PaletteThroughItsColours", palette_row({}), {0, 255, 100, 255}},
        GreyCase{"PaletteWithTransparentEntriesOverWhite", palette_row({0, 255, 0}), {255, 255, 255, 255}},
        GreyCase{"GreyWithAlphaOverWhite",
                 one_row(PNG_COLOR_TYPE_GRAY_ALPHA, 8, {0, 0, 0, 255, 255, 0, 255, 255, 100, 255}, 2),
                 {255, 0, 255, 255, 100}},
        GreyCase{"ColourWithAlphaOverWhite",
                 one_row(PNG_COLOR_TYPE_RGB_ALPHA, 8, {0, 0, 0, 0, 0, 0, 0, 255, 200, 200, 200, 255}, 4),
                 {255, 0, 200}}),
    [](const testing::TestParamInfo<GreyCase>& info) { return std::string(info.param.name); });

TEST_F(PictureFolder, ColoursBecomeTheirLuminanceGreenBrightestBlueDarkest)
{
    const std::vector<int> greys =
        read_back(one_row(PNG_COLOR_TYPE_RGB, 8, {255, 0, 0, 0, 255, 0, 0, 0, 255}, 3));
    ASSERT_EQ(greys.size(), 3U);
    EXPECT_GT(greys[1], greys[0]);
    EXPECT_GT(greys[0], greys[2]);
    EXPECT_GT(greys[2], 0);
}

TEST_F(PictureFolder, HalfTransparentBlackIsBetweenBlackAndWhite)
{
    const std::vector<int> greys = read_back(one_row(PNG_COLOR_TYPE_GRAY_ALPHA, 16, {0, 32768}, 2));
    ASSERT_EQ(greys.size(), 1U);
    EXPECT_GT(greys[0], 0);
    EXPECT_LT(greys[0], 255);
}

TEST_F(PictureFolder, SixteenBitGreysKeepTheirOrder)
{
    std::vector<std::uint16_t> ramp;
    for (int k = 0; k < 64; ++k)
        ramp.push_back(static_cast<std::uint16_t>(k * 1040));
    const std::vector<int> greys = read_back(one_row(PNG_COLOR_TYPE_GRAY, 16, ramp, 1));
    ASSERT_EQ(greys.size(), ramp.size());
    for (std::size_t k = 1; k < greys.size(); ++k)
        EXPECT_LE(greys[k - 1], greys[k]) << "sample " << k;
    EXPECT_LT(greys.front(), greys.back());
}

TEST_F(PictureFolder, InterlacedPictureReadsAsTheSamePicture)
{
    PngSpec layout;
    layout.width = 11;
    layout.height = 9;
    layout.colour_type = PNG_COLOR_TYPE_GRAY;
    for (std::uint32_t k = 0; k < layout.width * layout.height; ++k)
        layout.samples.push_back(static_cast<std::uint16_t>(k * 37 % 256));
    const std::vector<int> plain = read_back(layout);
    layout.interlaced = true;
    EXPECT_EQ(read_back(layout), plain);
    EXPECT_EQ(plain, std::vector<int>(layout.samples.begin(), layout.samples.end()));
}

// Refusals: the reason, and an empty picture.
struct RefusedCase {
    const char* name;
    std::string content;  // of the file; "-" for no file at all
    std::uint64_t max_pixels;
    std::string reason;   // exactly, or empty: any reason
};


class RefusedPicture : public PictureFolder, public testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedPicture, GivesTheReasonAndNoPicture)
{
    const RefusedCase& c = GetParam();
    const std::string path = dir + "/picture.png";
    if (c.content != "-")
        std::ofstream(path, std::ios::binary) << c.content;
    GreyPicture picture;
    PngError error;
    EXPECT_FALSE(read_grey_png(path.c_str(), c.max_pixels, picture, error));
    EXPECT_EQ(picture.pixels, nullptr);
    EXPECT_EQ(picture.width, 0U);
    if (c.reason.empty())
        EXPECT_STRNE(error.text, "");
    else
        EXPECT_EQ(std::string(error.text), c.reason);
}

INSTANTIATE_TEST_SUITE_P(
    PngRead, RefusedPicture,
    testing::Values(RefusedCase{"NoSuchFile", "-", 1000, std::strerror(ENOENT)},
                    RefusedCase{"EmptyFile", "", 1000, "not a PNG file"},
                    RefusedCase{"NotAPng", "P5 2 2 255\n\x01\x02\x03\x04", 1000, "not a PNG file"},
                    RefusedCase{"SignatureCutShort", "\x89PNG", 1000, "not a PNG file"},
                    RefusedCase{"HeaderWithoutPixels", png_header_only(4, 3), 1000, ""},
                    RefusedCase{"OnePixelTooMany", png_header_only(4, 3), 11,
                                "4 x 3 pixels is more than the 11 pixels that may be decoded"},
                    RefusedCase{"FarTooManyPixels", png_header_only(20000, 20000), 100000000,
                                "20000 x 20000 pixels is more than the 100000000 pixels that may be decoded"}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.name); });

// Pictures of 2 MiB pixels or more are read into memory lent in 2 MiB pages.
TEST_F(PictureFolder, LargePictureReadsBackPixelForPixel)
{
    constexpr std::uint32_t width = 1601;
    constexpr std::uint32_t height = 1400;
    std::vector<std::uint8_t> grey(std::size_t{width} * height);
    for (std::size_t k = 0; k < grey.size(); ++k)
        grey[k] = static_cast<std::uint8_t>(k * 7 + k / width);
    const std::string path = dir + "/large.png";
    ASSERT_TRUE(write_grey_png(path, width, height, grey));
    GreyPicture picture;
    PngError error;
    ASSERT_TRUE(read_grey_png(path.c_str(), std::uint64_t{width} * height, picture, error)) << error.text;
    EXPECT_TRUE(std::equal(grey.begin(), grey.end(), picture.pixels));
    free_grey_picture(picture);
}

TEST_F(PictureFolder, PictureCutShortIsRefused)
{
    PngSpec layout;
    layout.width = 64;
    layout.height = 64;
    layout.colour_type = PNG_COLOR_TYPE_GRAY;
    for (std::uint32_t k = 0; k < layout.width * layout.height; ++k)
        layout.samples.push_back(static_cast<std::uint16_t>(k * 7919 % 256));
    const std::string path = dir + "/picture.png";
    ASSERT_TRUE(write_png_file(path, layout));
    const std::string whole = read_file(path);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << whole.substr(0, whole.size() / 2);
    GreyPicture picture;
    PngError error;
    EXPECT_FALSE(read_grey_png(path.c_str(), 1000000, picture, error));
    EXPECT_EQ(picture.pixels, nullptr);
    EXPECT_STREQ(error.text, "the file ends before the picture does");
}

TEST_F(PictureFolder, FolderIsRefusedAsUnreadable)
{
    GreyPicture picture;
    PngError error;
    EXPECT_FALSE(read_grey_png(dir.c_str(), 1000000, picture, error));
    EXPECT_STREQ(error.text, std::strerror(EISDIR));
}

}  // namespace
