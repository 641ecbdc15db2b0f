// TIFF captures: every layout a scanner saves (8 or 16 bits, grey or colour, strips or
// tiles, any orientation tag) reads as the grey of its pixels, upright; a damaged
// TIFF, or one that comes through a pipe, is refused with the reason.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <fstream>
#include <string>
#include <vector>

#include "named_case.h"
#include "picture_file/picture_read.h"
#include "program_run.h"

namespace {

using named_case::operator<<;

constexpr std::uint32_t width = 40;
constexpr std::uint32_t height = 24;

// The grey of upright pixel (x, y): distinct enough that a turned or mirrored read shows.
int expected_grey(std::uint32_t x, std::uint32_t y) { return static_cast<int>((x * 5 + y * 3) % 256); }

struct TiffCase {
    const char* name;
    int bits;         // 8 or 16
    int samples;      // 1 grey, 3 RGB (all three the grey)
    bool tiled;
    int orientation;  // ORIENTATION_TOPLEFT or ORIENTATION_BOTLEFT (stored bottom row first)
    int kept_bits;    // the depth its samples are kept at
};

bool write_tiff(const std::string& path, const TiffCase& c)
{
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    if (tiff == nullptr)
        return false;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, c.bits);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, c.samples);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, c.samples == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, c.orientation);
    const std::size_t sample_bytes = c.bits / 8;
    const std::size_t pixel_bytes = sample_bytes * c.samples;
    std::vector<unsigned char> stored(std::size_t{width} * height * pixel_bytes);
    for (std::uint32_t row = 0; row < height; ++row)
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t y = c.orientation == ORIENTATION_BOTLEFT ? height - 1 - row : row;
            const int grey = expected_grey(x, y);
            for (int s = 0; s < c.samples; ++s) {
                unsigned char* at = &stored[(std::size_t{row} * width + x) * pixel_bytes + s * sample_bytes];
                if (c.bits == 16) {
                    const auto value = static_cast<std::uint16_t>(grey * 257);
                    std::memcpy(at, &value, 2);  // libtiff takes samples in the machine's order
                } else {
                    *at = static_cast<unsigned char>(grey);
                }
            }
        }
    bool written = true;
    if (c.tiled) {
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, 16);
        std::vector<unsigned char> tile(16 * 16 * pixel_bytes);
        for (std::uint32_t ty = 0; ty < height; ty += 16)
            for (std::uint32_t tx = 0; tx < width; tx += 16) {
                std::fill(tile.begin(), tile.end(), 0);
                for (std::uint32_t y = ty; y < ty + 16 && y < height; ++y)
                    for (std::uint32_t x = tx; x < tx + 16 && x < width; ++x)
                        std::memcpy(&tile[((y - ty) * 16 + (x - tx)) * pixel_bytes],
                                    &stored[(std::size_t{y} * width + x) * pixel_bytes], pixel_bytes);
                written = written && TIFFWriteEncodedTile(tiff, TIFFComputeTile(tiff, tx, ty, 0, 0), tile.data(),
                                                                 static_cast<tmsize_t>(tile.size())) >= 0;
            }
    } else {
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 5);
        for (std::uint32_t row = 0; row < height; ++row)
            written = written && TIFFWriteScanline(tiff, &stored[std::size_t{row} * width * pixel_bytes], row, 0) == 1;
    }
    TIFFClose(tiff);
    return written;
}

class TiffRead : public testing::TestWithParam<TiffCase> {
protected:
    std::string dir = make_work_dir();
};

TEST_P(TiffRead, ReadsAsTheGreyOfItsPixelsUpright)
{
    const std::string path = dir + "/scan.tif";
    ASSERT_TRUE(write_tiff(path, GetParam()));
    GreyPicture picture;
    PictureError error;
    ASSERT_TRUE(read_grey_picture(path.c_str(), 1000000, picture, error)) << error.text;
    ASSERT_EQ(picture.width, width);
    ASSERT_EQ(picture.height, height);
    int wrong = 0;
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            wrong += picture.pixels[y * width + x] != expected_grey(x, y) ? 1 : 0;
    free_grey_picture(picture);
    EXPECT_EQ(wrong, 0);
}

// A scanner's plain layouts keep 16 bits; the others come through libtiff's 8-bit reader.
TEST_P(TiffRead, KeepsItsSamplesWithTheirChannelsUpright)
{
    const TiffCase& c = GetParam();
    const std::string path = dir + "/scan.tif";
    ASSERT_TRUE(write_tiff(path, c));
    SamplePicture picture;
    PictureError error;
    ASSERT_TRUE(read_sample_picture(path.c_str(), 1000000, picture, error)) << error.text;
    ASSERT_EQ(picture.width, width);
    ASSERT_EQ(picture.height, height);
    EXPECT_EQ(picture.channels, c.samples);
    EXPECT_EQ(picture.bits, c.kept_bits);
    int wrong = 0;
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            for (int s = 0; s < picture.channels; ++s)
                wrong += picture.samples[(y * width + x) * picture.channels + s] != expected_grey(x, y) * 257 ? 1 : 0;
    free_sample_picture(picture);
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(Layouts, TiffRead,
                         testing::Values(TiffCase{"Grey8Strips", 8, 1, false, ORIENTATION_TOPLEFT, 8},
                                         TiffCase{"Grey16Strips", 16, 1, false, ORIENTATION_TOPLEFT, 16},
                                         TiffCase{"Rgb16Strips", 16, 3, false, ORIENTATION_TOPLEFT, 16},
                                         TiffCase{"Rgb8Tiles", 8, 3, true, ORIENTATION_TOPLEFT, 8},
                                         TiffCase{"Rgb16BottomRowFirst", 16, 3, false, ORIENTATION_BOTLEFT, 8},
                                         TiffCase{"Grey8TilesBottomRowFirst", 8, 1, true, ORIENTATION_BOTLEFT, 8}),
                         testing::PrintToStringParamName());

TEST_F(TiffRead, DamagedOrPipedIsRefusedWithTheReason)
{
    const std::string path = dir + "/scan.tif";
    ASSERT_TRUE(write_tiff(path, {"", 8, 1, false, ORIENTATION_TOPLEFT, 8}));
    std::string bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    GreyPicture picture;
    PictureError error;
    // The header alone: its directory lies past the end.
    std::ofstream(dir + "/cut.tif", std::ios::binary) << bytes.substr(0, 8);
    EXPECT_FALSE(read_grey_picture((dir + "/cut.tif").c_str(), 1000000, picture, error));
    EXPECT_NE(std::string(error.text).find("a damaged TIFF"), std::string::npos) << error.text;
    EXPECT_EQ(picture.pixels, nullptr);
    // Too many pixels for the bound, whether grey or samples are asked for.
    EXPECT_FALSE(read_grey_picture(path.c_str(), 100, picture, error));
    EXPECT_NE(std::string(error.text).find("more than the 100 pixels"), std::string::npos) << error.text;
    SamplePicture samples;
    EXPECT_FALSE(read_sample_picture(path.c_str(), 100, samples, error));
    EXPECT_NE(std::string(error.text).find("more than the 100 pixels"), std::string::npos) << error.text;
    // Through a pipe: a TIFF needs to seek.
    const std::string fifo = dir + "/fifo.tif";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string feed = "cat '" + path + "' > '" + fifo + "' &";
    ASSERT_EQ(std::system(feed.c_str()), 0);
    EXPECT_FALSE(read_grey_picture(fifo.c_str(), 1000000, picture, error));
    EXPECT_NE(std::string(error.text).find("cannot seek"), std::string::npos) << error.text;
}

}  // namespace
