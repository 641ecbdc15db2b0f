// ringetch-picture as a user runs it: every refusal says what is wrong on standard
// error, ends with status 1 and leaves no image file behind; an image that cannot be
// written is never reported as created; Ctrl-C abandons the image; a picture comes
// through a pipe as from a file, and a JPEG as a PNG.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <ostream>
#include <set>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "png_fixture.h"
#include "named_case.h"
#include "program_run.h"

namespace {

using named_case::operator<<;

const std::string usage = "expected parameters:\npng, tr0, dtr, size, image, mirror, readings\n";
const std::string created = "created succesfully";

std::set<std::string> folder_entries(const std::string& dir)
{
    std::set<std::string> names;
    DIR* folder = opendir(dir.c_str());
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.insert(name);
    }
    closedir(folder);
    return names;
}

// A working folder with a small picture (picture.png, and picture.jpg of the same
// pixels) and the other inputs the refusals need: a text file, a PNG cut short,
// headers of huge pictures, links to the picture.
class PictureCommand : public testing::Test {
protected:
    void SetUp() override
    {
        std::vector<std::uint8_t> grey(32 * 24);
        for (std::size_t k = 0; k < grey.size(); ++k)
            grey[k] = static_cast<std::uint8_t>(k * 7);
        ASSERT_TRUE(write_grey_png(dir + "/picture.png", 32, 24, grey));
        const std::string whole = read_file(dir + "/picture.png");
        std::ofstream(dir + "/cut.png", std::ios::binary) << whole.substr(0, whole.size() - 30);
        std::ofstream(dir + "/text.png") << "not a picture\n";
        std::ofstream(dir + "/huge.png", std::ios::binary) << png_header_only(20000, 20000);
        std::ofstream(dir + "/wide.png", std::ios::binary) << png_header_only(1000001, 2);
        // A valid header, then a text chunk that says it holds 2 GB.
        std::ofstream(dir + "/text-chunk.png", std::ios::binary)
            << png_header_only(4, 3).substr(0, 33) + std::string("\x7F\xFF\xFF\xF0tEXtComment\0", 16) +
                   std::string(80, 'x');
        std::ofstream(dir + "/huge.jpg", std::ios::binary) << jpeg_claiming(65535, 65535);
        JpegLayout jpeg;
        jpeg.width = 32;
        jpeg.height = 24;
        jpeg.samples = grey;
        std::ofstream(dir + "/picture.jpg", std::ios::binary) << jpeg_bytes(jpeg);
        ASSERT_EQ(link((dir + "/picture.png").c_str(), (dir + "/link.png").c_str()), 0);
        ASSERT_EQ(symlink("picture.png", (dir + "/symbolic.png").c_str()), 0);
        inputs = folder_entries(dir);
    }

    RunResult run(const std::vector<std::string>& args) { return run_program(PICTURE_BINARY, args, "", dir); }

    std::string dir = make_work_dir();
    std::set<std::string> inputs;
};

struct Refusal {
    const char* name;
    std::vector<std::string> args;
    std::string err;
};


class Refused : public PictureCommand, public testing::WithParamInterface<Refusal> {};

TEST_P(Refused, SaysWhyEndsWithStatusOneAndWritesNoImage)
{
    const RunResult r = run(GetParam().args);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, GetParam().err);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(folder_entries(dir), inputs);
}

// A picture and a model that are fine, to which each row adds what it refuses.
std::vector<std::string> with(std::vector<std::string> more)
{
    std::vector<std::string> args = {"png", "picture.png", "tr0", "22900", "dtr", "1.4", "size", "3000000"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

const std::string prefix = "ringetch-picture: ";

INSTANTIATE_TEST_SUITE_P(
    Parameters, Refused,
    testing::Values(
        Refusal{"UnknownName", with({"colour", "red"}), prefix + "bad parameter \"colour\"\n" + usage},
        Refusal{"NameWithoutItsValue", with({"mirror"}), prefix + "bad parameter \"mirror\"\n" + usage},
        Refusal{"NoPicture", {"tr0", "22900", "dtr", "1.4"}, prefix + "png (the picture, a PNG, JPEG or TIFF file) is required\n"},
        Refusal{"NoFirstTurnLength", {"png", "picture.png", "dtr", "1.4"},
                prefix + "tr0 (first-turn length of the calibrated model, at least 1) is required\n"},
        Refusal{"NoGrowth", {"png", "picture.png", "tr0", "22900"}, prefix + "dtr (growth per turn of the calibrated model, above 0) is required\n"},
        Refusal{"FirstTurnLengthNotANumber", with({"tr0", "abc"}),
                prefix + "tr0 \"abc\" is not a finite number of bytes of at least 1\n"},
        Refusal{"FirstTurnLengthWithTrailingText", with({"tr0", "22900x"}),
                prefix + "tr0 \"22900x\" is not a finite number of bytes of at least 1\n"},
        Refusal{"FirstTurnLengthEmpty", with({"tr0", ""}), prefix + "tr0 \"\" is not a finite number of bytes of at least 1\n"},
        Refusal{"FirstTurnLengthZero", with({"tr0", "0"}), prefix + "tr0 \"0\" is not a finite number of bytes of at least 1\n"},
        Refusal{"FirstTurnLengthNegative", with({"tr0", "-22900"}),
                prefix + "tr0 \"-22900\" is not a finite number of bytes of at least 1\n"},
        Refusal{"FirstTurnLengthInfinite", with({"tr0", "inf"}),
                prefix + "tr0 \"inf\" is not a finite number of bytes of at least 1\n"},
        Refusal{"FirstTurnLengthNotANumberAtAll", with({"tr0", "nan"}),
                prefix + "tr0 \"nan\" is not a finite number of bytes of at least 1\n"},
        Refusal{"GrowthZero", with({"dtr", "0"}), prefix + "dtr \"0\" is not a finite number of bytes above 0\n"},
        Refusal{"GrowthNegative", with({"dtr", "-1.4"}),
                prefix + "dtr \"-1.4\" is not a finite number of bytes above 0\n"},
        Refusal{"GrowthOverflowing", with({"dtr", "1e999"}),
                prefix + "dtr \"1e999\" is not a finite number of bytes above 0\n"},
        Refusal{"SizeBeyond32Bits", with({"size", "2147483648"}),
                prefix + "size \"2147483648\" does not fit a 32-bit signed integer\n"},
        Refusal{"SizeBelowOneTurn", with({"size", "22900"}),
                prefix + "size 22900 leaves no whole turn (the first turn holds 22900 bytes)\n"},
        Refusal{"SizeNegative", with({"size", "-5"}),
                prefix + "size -5 leaves no whole turn (the first turn holds 22900 bytes)\n"},
        Refusal{"FirstTurnBelowOneByte", with({"tr0", "0.999"}),
                prefix + "tr0 \"0.999\" is not a finite number of bytes of at least 1\n"},
        Refusal{"TurnsLongerThanTheRows", with({"tr0", "2000000", "size", "100000000"}),
                prefix + "turns of up to 2.00007e+06 bytes are longer than the 1048576 bytes a turn may hold\n"},
        Refusal{"MirrorNeitherZeroNorOne", with({"mirror", "2"}), prefix + "mirror \"2\" is neither 0 nor 1\n"}),
    [](const testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Picture, Refused,
    testing::Values(
        Refusal{"NoSuchFile", with({"png", "none.png"}),
                prefix + "png \"none.png\": " + std::strerror(ENOENT) + "\n"},
        Refusal{"AFolder", with({"png", "."}), prefix + "png \".\": " + std::strerror(EISDIR) + "\n"},
        Refusal{"NotAPng", with({"png", "text.png"}), prefix + "png \"text.png\": neither a PNG, a JPEG nor a TIFF file\n"},
        Refusal{"CutShort", with({"png", "cut.png"}),
                prefix + "png \"cut.png\": the file ends before the picture does\n"},
        Refusal{"TooLargeToDecodeWithinTheMemoryBound", with({"png", "huge.png"}),
                prefix + "png \"huge.png\": 20000 x 20000 pixels is more than the 100000000 pixels that may be "
                         "decoded\n"},
        Refusal{"WiderThanASideMayBe", with({"png", "wide.png"}),
                prefix + "png \"wide.png\": 1000001 x 2 pixels has a side longer than the 1000000 pixels a side "
                         "may have\n"},
        Refusal{"TextChunkClaimingTwoGigabytes", with({"png", "text-chunk.png"}),
                prefix + "png \"text-chunk.png\": the file ends before the picture does\n"},
        Refusal{"JpegClaimingTheLargestSides", with({"png", "huge.jpg"}),
                prefix + "png \"huge.jpg\": Maximum supported image dimension is 65500 pixels\n"},
        Refusal{"ImageIsThePicture", with({"image", "picture.png"}),
                prefix + "image \"picture.png\" is the picture \"picture.png\" itself\n"},
        Refusal{"ImageIsAHardLinkToThePicture", with({"image", "link.png"}),
                prefix + "image \"link.png\" is the picture \"picture.png\" itself\n"},
        Refusal{"ImageIsASymbolicLinkToThePicture", with({"image", "symbolic.png"}),
                prefix + "image \"symbolic.png\" is the picture \"picture.png\" itself\n"}),
    [](const testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

#if !defined(__SANITIZE_ADDRESS__)
// Hostile headers are refused before anything of their size is allocated: within
// an address space far smaller than what they claim.
TEST_F(PictureCommand, HostileHeadersAreRefusedWithinAFewMegabytes)
{
    for (const char* picture : {"text-chunk.png", "huge.jpg", "huge.png"}) {
        const RunResult r = run_shell(std::string("ulimit -v 60000 && exec '" PICTURE_BINARY "' png ") + picture +
                                          " tr0 22900 dtr 1.4 size 3000000",
                                      "", dir);
        EXPECT_EQ(r.exit_status, 1) << picture;
        EXPECT_EQ(r.err.find(prefix + "png \"" + picture + "\": "), 0U) << r.err;
        EXPECT_EQ(r.err.find("memory"), std::string::npos) << r.err;
    }
}

// Threads that the system cannot start (each wants its stack's address space) are
// refused before the image file is opened.
TEST_F(PictureCommand, WriterThreadsThatCannotStartAreRefusedKeepingAnEarlierImage)
{
    std::ofstream(dir + "/earlier.rge") << "an earlier image";
    const RunResult r = run_shell("ulimit -s 8192 && ulimit -v 40000 && exec '" PICTURE_BINARY
                                  "' png picture.png tr0 22900 dtr 1.4 size 3000000 image earlier.rge",
                                  "", dir);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err.find(prefix + "cannot start the writer's 3 threads: "), 0U) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(read_file(dir + "/earlier.rge"), "an earlier image");
}
#endif

struct StreamedPicture {
    const char* name;
    std::string feed;     // shell commands that leave the picture's bytes readable at "source"
    std::string picture;  // the file those bytes come from
};

class Streamed : public PictureCommand, public testing::WithParamInterface<StreamedPicture> {};

// A picture read through a pipe or a FIFO, which cannot be read twice or seeked,
// draws the image that the file draws.
TEST_P(Streamed, DrawsTheImageOfTheFile)
{
    const StreamedPicture& c = GetParam();
    const RunResult r = run_shell(c.feed + " '" PICTURE_BINARY "' png source tr0 22900 dtr 1.4 size 3000000 image streamed.rge",
                                  "", dir);
    ASSERT_EQ(r.exit_status, 0) << r.err;
    ASSERT_EQ(run(with({"png", c.picture, "image", "direct.rge"})).exit_status, 0);
    EXPECT_TRUE(read_file(dir + "/streamed.rge") == read_file(dir + "/direct.rge"));
}

INSTANTIATE_TEST_SUITE_P(
    Picture, Streamed,
    testing::Values(StreamedPicture{"PngOnAPipe", "ln -s /dev/stdin source && cat picture.png |", "picture.png"},
                    StreamedPicture{"PngThroughAFifo", "mkfifo source && (cat picture.png > source &) &&", "picture.png"},
                    StreamedPicture{"JpegOnAPipe", "ln -s /dev/stdin source && cat picture.jpg |", "picture.jpg"}),
    [](const testing::TestParamInfo<StreamedPicture>& info) { return std::string(info.param.name); });

// A JPEG is known by its content whatever its name, and a camera's orientation
// stands it upright: stored 24 x 32, turned a quarter, it is drawn 32 x 24.
TEST_F(PictureCommand, JpegUnderAnyNameIsDrawnUpright)
{
    JpegLayout turned;
    turned.width = 24;
    turned.height = 32;
    turned.orientation = 6;
    turned.samples.assign(24 * 32, 90);
    std::ofstream(dir + "/photo.png", std::ios::binary) << jpeg_bytes(turned);
    const RunResult r = run(with({"png", "photo.png"}));
    ASSERT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.out.find("picture \"photo.png\": 32 x 24 pixels"), 0U) << r.out;
}

TEST_F(PictureCommand, RefusalLeavesAnEarlierImageAsItWas)
{
    std::ofstream(dir + "/earlier.rge") << "an earlier image";
    const RunResult r = run(with({"png", "text.png", "image", "earlier.rge"}));
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(read_file(dir + "/earlier.rge"), "an earlier image");
}

// The image path is opened without truncating and emptied only when it holds
// something; either way the file ends up holding the new image and nothing else.
TEST_F(PictureCommand, AnEarlierLongerFileIsReplacedWhole)
{
    std::ofstream(dir + "/earlier.rge", std::ios::binary) << std::string(5000000, 'x');
    ASSERT_EQ(run(with({"size", "3000000", "image", "earlier.rge"})).exit_status, 0);
    ASSERT_EQ(run(with({"size", "3000000", "image", "fresh.rge"})).exit_status, 0);
    EXPECT_GT(file_size(dir + "/fresh.rge"), 3000000 - 23000);
    EXPECT_TRUE(read_file(dir + "/earlier.rge") == read_file(dir + "/fresh.rge"));
}

TEST_F(PictureCommand, LastPairOfANameWins)
{
    const RunResult r = run(with({"tr0", "abc", "tr0", "23000", "png", "none.png", "png", "picture.png", "image",
                                  "first.rge", "image", "second.rge"}));
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_NE(r.out.find("image \"second.rge\" " + created), std::string::npos) << r.out;
    EXPECT_EQ(file_size(dir + "/first.rge"), -1);
    EXPECT_GT(file_size(dir + "/second.rge"), 3000000 - 23000);
}

// Disk space that the file holds, in bytes.
long long disk_bytes(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_blocks) * 512 : -1;
}

// The file holds no space past its end: turns of 900 kB leave a gap of hundreds of
// kB below a size limit of 3 MB.
TEST_F(PictureCommand, ACompletedImageHoldsNoDiskSpaceBeyondItsEnd)
{
    const RunResult r = run({"png", "picture.png", "tr0", "900000", "dtr", "1.4", "size", "3000000"});
    ASSERT_EQ(r.exit_status, 0) << r.err;
    const long long size = file_size(dir + "/picture.rge");
    EXPECT_LT(size, 3000000 - 200000);
    EXPECT_LE(disk_bytes(dir + "/picture.rge"), size + 65536);
}

// Nor does a run that ends on an output error.
TEST_F(PictureCommand, AnImageCutShortByTheFileSizeLimitHoldsNoSpaceBeyondItsEnd)
{
    const RunResult r = run_shell("ulimit -f 1000 && exec '" PICTURE_BINARY "' png picture.png tr0 22900 dtr 1.4 size 3000000",
                                  "", dir);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, prefix + std::strerror(EFBIG) + "\n");
    const long long size = file_size(dir + "/picture.rge");
    EXPECT_LE(size, 1024000);
    EXPECT_LE(disk_bytes(dir + "/picture.rge"), size + 65536);
}

struct UnwritableImage {
    const char* name;
    std::string image;
    int error_number;
};


class Unwritable : public PictureCommand, public testing::WithParamInterface<UnwritableImage> {};

TEST_P(Unwritable, EndsWithTheSystemsReasonAndNeverReportsTheImage)
{
    const RunResult r = run(with({"size", "20000000", "image", GetParam().image}));
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, prefix + std::strerror(GetParam().error_number) + "\n");
    EXPECT_EQ(r.out.find(created), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Image, Unwritable,
                         testing::Values(UnwritableImage{"FullDevice", "/dev/full", ENOSPC},
                                         UnwritableImage{"FolderThatDoesNotExist", "no/such/image.rge", ENOENT},
                                         UnwritableImage{"PathThatIsAFolder", ".", EISDIR}),
                         [](const testing::TestParamInfo<UnwritableImage>& info) {
                             return std::string(info.param.name);
                         });

// The image file is a named pipe that the test reads: it stops reading after 8 MB,
// so the writer stalls mid-image until the Ctrl-C has been sent, then reads the rest.
TEST_F(PictureCommand, CtrlCAbandonsTheImage)
{
    const std::string pipe_path = dir + "/image.pipe";
    ASSERT_EQ(mkfifo(pipe_path.c_str(), 0600), 0);
    std::atomic<long long> read_bytes{0};
    std::atomic<bool> released{false};
    std::thread reader([&] {
        const int fd = open(pipe_path.c_str(), O_RDONLY);
        if (fd < 0)
            return;
        std::vector<char> chunk(1 << 16);
        for (;;) {
            while (read_bytes >= 8000000 && !released)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const ssize_t n = read(fd, chunk.data(), chunk.size());
            if (n <= 0)
                break;
            read_bytes += n;
        }
        close(fd);
    });
    InteractiveRun writer(PICTURE_BINARY, with({"size", "200000000", "image", "image.pipe"}), dir);
    for (int wait = 0; wait < 6000 && read_bytes < 8000000; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GE(read_bytes, 8000000);
    writer.signal(SIGINT);
    released = true;
    const RunResult r = writer.finish();
    reader.join();
    EXPECT_EQ(r.exit_status, 130);
    EXPECT_EQ(r.err, "Creating was break by user\n");
    EXPECT_EQ(r.out.find(created), std::string::npos) << r.out;
    EXPECT_LT(read_bytes, 100000000) << "the image was written on";
    EXPECT_EQ(read_bytes % 2352, 0) << "records are written whole";
}

// An image abandoned early in a regular file keeps what was written and holds no
// space for the rest.
TEST_F(PictureCommand, AnAbandonedImageHoldsNoSpaceBeyondItsEnd)
{
    InteractiveRun writer(PICTURE_BINARY, with({"size", "400000000", "image", "abandoned.rge"}), dir);
    for (int wait = 0; wait < 30000 && file_size(dir + "/abandoned.rge") < 4000000; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    writer.signal(SIGINT);
    const RunResult r = writer.finish();
    ASSERT_EQ(r.exit_status, 130) << "the image was completed before the Ctrl-C";
    const long long size = file_size(dir + "/abandoned.rge");
    EXPECT_LT(size, 400000000 - 100000000);
    EXPECT_EQ(size % 2352, 0);
    EXPECT_LE(disk_bytes(dir + "/abandoned.rge"), size + 65536);
}

}  // namespace
