// Bad input to ringetch-preview: a clear message on stderr, exit status 1, and no
// PNG (nor a temporary one) left behind; an image cut short is previewed with a
// notice; Ctrl-C stops it without a PNG.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "preview_support.h"
#include "named_case.h"

namespace {

using named_case::operator<<;

const std::string usage = "expected parameters:\nimage, tr0, dtr, png, pixels\n";

// A small stage-one image, a little over 3 lines of 400-byte turns.
Bytes small_image()
{
    reset_synthesis_state();
    return run_track_core({400, 0.3, 410, 0.29, 1000000}).file;
}

struct RefusedCase {
    const char* name;
    std::vector<std::string> args;
    std::string err;
};

class RefusedCommandLine : public testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedCommandLine, SaysWhyAndWritesNothing)
{
    WorkFolder work;
    write_file(work / "image.rge", small_image());
    const RunResult r = run_preview(GetParam().args, work.path());
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, GetParam().err);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(work.entries(), std::vector<std::string>{"image.rge"});
}

const std::string p = "ringetch-preview: ";

INSTANTIATE_TEST_SUITE_P(
    Preview, RefusedCommandLine,
    testing::Values(
        RefusedCase{"UnknownName", {"size", "100"}, p + "bad parameter \"size\"\n" + usage},
        RefusedCase{"NameWithoutValue", {"tr0", "400", "dtr"}, p + "bad parameter \"dtr\"\n" + usage},
        RefusedCase{"Tr0NotANumber", {"tr0", "nan"}, p + "tr0 \"nan\" is not a finite number of bytes of at least 1\n"},
        RefusedCase{"Tr0Infinite", {"tr0", "inf"}, p + "tr0 \"inf\" is not a finite number of bytes of at least 1\n"},
        RefusedCase{"Tr0Zero", {"tr0", "0"}, p + "tr0 \"0\" is not a finite number of bytes of at least 1\n"},
        RefusedCase{"Tr0Negative", {"tr0", "-23000"}, p + "tr0 \"-23000\" is not a finite number of bytes of at least 1\n"},
        RefusedCase{"Tr0UnderAByte", {"tr0", "0.5"}, p + "tr0 \"0.5\" is not a finite number of bytes of at least 1\n"},
        RefusedCase{"Tr0WithTrailingText", {"tr0", "23000abc"},
                    p + "tr0 \"23000abc\" is not a finite number of bytes of at least 1\n"},
        RefusedCase{"DtrZero", {"dtr", "0"}, p + "dtr \"0\" is not a finite number of bytes above 0\n"},
        RefusedCase{"DtrNegative", {"dtr", "-1.388"}, p + "dtr \"-1.388\" is not a finite number of bytes above 0\n"},
        RefusedCase{"DtrInfinite", {"dtr", "-inf"}, p + "dtr \"-inf\" is not a finite number of bytes above 0\n"},
        RefusedCase{"DtrWithTrailingText", {"dtr", "1.388x"}, p + "dtr \"1.388x\" is not a finite number of bytes above 0\n"},
        RefusedCase{"PixelsBelow16", {"pixels", "15"}, p + "pixels \"15\" is not a whole number from 16 to 8192\n"},
        RefusedCase{"PixelsAbove8192", {"pixels", "8193"}, p + "pixels \"8193\" is not a whole number from 16 to 8192\n"},
        RefusedCase{"PixelsNotANumber", {"pixels", "many"}, p + "pixels \"many\" is not a whole number from 16 to 8192\n"},
        RefusedCase{"PixelsFractional", {"pixels", "64.5"}, p + "pixels \"64.5\" is not a whole number from 16 to 8192\n"},
        RefusedCase{"PixelsPast32Bits", {"pixels", "4294968320"},
                    p + "pixels \"4294968320\" is not a whole number from 16 to 8192\n"},
        // The last pair of a name is the one that counts, good or bad.
        RefusedCase{"LastPairWinsBad", {"pixels", "64", "pixels", "9"}, p + "pixels \"9\" is not a whole number from 16 to 8192\n"},
        RefusedCase{"MissingImage", {"image", "none.rge"}, p + "image \"none.rge\": No such file or directory\n"},
        RefusedCase{"ImageIsAFolder", {"image", "."}, p + "image \".\": is a folder, not an image file\n"},
        // The kernel refuses to read this file from its start, even for root.
        RefusedCase{"UnreadableImage", {"image", "/proc/self/mem"}, p + "image \"/proc/self/mem\": Input/output error\n"},
        RefusedCase{"PngInAMissingFolder", {"png", "no-such-folder/preview.png"},
                    p + std::strerror(ENOENT) + "\n"},
        RefusedCase{"PngIsAFolder", {"png", "."}, p + std::strerror(EISDIR) + "\n"}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.name); });

// Refused before anything is written, every file left as it was: a png name that
// reaches the image or the file standard output goes to, by any spelling, and a
// picture or a thread that the memory limit does not allow (an earlier PNG kept).
struct BeforeWritingCase {
    const char* name;
    const char* setup;    // shell commands run first in the work folder
    const char* command;  // the preview's parameters and redirection
    std::string err;
    std::vector<std::string> entries;
};

class RefusedBeforeWriting : public testing::TestWithParam<BeforeWritingCase> {};

TEST_P(RefusedBeforeWriting, SaysWhyAndLeavesEveryFileAsItWas)
{
    const BeforeWritingCase& c = GetParam();
#if defined(__SANITIZE_ADDRESS__)
    // The address sanitizer maps terabytes of shadow memory, so no memory limit leaves it room to start.
    if (std::string(c.setup).find("ulimit -v") != std::string::npos)
        GTEST_SKIP() << "a memory limit leaves the address sanitizer no room";
#endif
    WorkFolder work;
    const Bytes image = small_image();
    write_file(work / "image.rge", image);
    const RunResult r =
        run_shell(std::string(c.setup) + "\nexec '" + PREVIEW_BINARY + "' " + c.command, "", work.path());
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(work.entries(), c.entries);
    EXPECT_EQ(read_file(work / "image.rge").size(), image.size());
    if (file_size(work / "report.txt") >= 0) {
        EXPECT_EQ(file_size(work / "report.txt"), 0);
    }
    if (file_size(work / "preview.png") >= 0) {
        EXPECT_EQ(read_file(work / "preview.png"), "old\n");
    }
}

const std::string replaces_image = "\" is the image \"image.rge\"; the PNG would replace it\n";
const std::string replaces_report = "\" is where standard output goes; the PNG would replace the report\n";
const std::vector<std::string> image_and_link{"image.rge", "link.png"};
const std::vector<std::string> image_and_report{"image.rge", "report.txt"};
const std::vector<std::string> image_and_old_png{"image.rge", "preview.png"};

INSTANTIATE_TEST_SUITE_P(
    Preview, RefusedBeforeWriting,
    testing::Values(
        BeforeWritingCase{"PngNamesTheImage", ":", "png image.rge", p + "png \"image.rge" + replaces_image, {"image.rge"}},
        BeforeWritingCase{"PngSpellsTheImageAnotherWay", ":", "png ./image.rge",
                          p + "png \"./image.rge" + replaces_image, {"image.rge"}},
        BeforeWritingCase{"PngIsAHardLinkToTheImage", "ln image.rge link.png", "png link.png",
                          p + "png \"link.png" + replaces_image, image_and_link},
        BeforeWritingCase{"PngIsASymbolicLinkToTheImage", "ln -s image.rge link.png", "png link.png",
                          p + "png \"link.png" + replaces_image, image_and_link},
        BeforeWritingCase{"PngIsWhereTheReportGoes", ":", "png report.txt >report.txt",
                          p + "png \"report.txt" + replaces_report, image_and_report},
        BeforeWritingCase{"PngIsStandardOutputByItsDeviceName", ":", "png /dev/stdout >report.txt",
                          p + "png \"/dev/stdout" + replaces_report, image_and_report},
        BeforeWritingCase{"PictureBeyondTheMemoryLimit", "echo old >preview.png; ulimit -v 800000", "pixels 8192",
                          p + "not enough memory for a 8192-pixel picture: it needs 1089 MiB\n", image_and_old_png},
        BeforeWritingCase{"WavOfMonoSamples",
                          "printf 'RIFF\\044\\0\\0\\0WAVEfmt \\020\\0\\0\\0\\1\\0\\1\\0"
                          "\\104\\254\\0\\0\\210\\130\\1\\0\\2\\0\\020\\0data\\0\\0\\0\\0' >mono.wav",
                          "image mono.wav", p + "image \"mono.wav\": is a WAV file, but not of 16-bit stereo PCM (CD audio)\n",
                          {"image.rge", "mono.wav"}},
        BeforeWritingCase{"WavWithoutAudioData", "printf 'RIFF\\004\\0\\0\\0WAVE' >empty.wav", "image empty.wav",
                          p + "image \"empty.wav\": is a WAV file without its format and audio data in its first 12 bytes\n",
                          {"empty.wav", "image.rge"}},
        // Each thread's stack is as large as the stack limit, here past the memory limit.
        BeforeWritingCase{"NoMemoryForTheSecondThread", "echo old >preview.png; ulimit -v 800000; ulimit -s 900000",
                          "pixels 16", p + "cannot start the placing thread: Resource temporarily unavailable\n",
                          image_and_old_png}),
    [](const testing::TestParamInfo<BeforeWritingCase>& info) { return std::string(info.param.name); });

TEST(PreviewInput, EmptyImageIsRefused)
{
    WorkFolder work;
    write_file(work / "image.rge", {});
    const RunResult r = run_preview({}, work.path());
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, p + "image \"image.rge\": is empty\n");
    EXPECT_EQ(work.entries(), std::vector<std::string>{"image.rge"});
}

TEST(PreviewInput, UnreadableFileIsRefusedWhenPermissionsCount)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads any file";
    WorkFolder work;
    write_file(work / "image.rge", small_image());
    chmod((work / "image.rge").c_str(), 0);
    const RunResult r = run_preview({}, work.path());
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, p + "image \"image.rge\": " + std::strerror(EACCES) + "\n");
    EXPECT_EQ(work.entries(), std::vector<std::string>{"image.rge"});
}

TEST(PreviewInput, FullDiskLeavesNoPngAndSaysWhy)
{
    WorkFolder work;
    write_file(work / "image.rge", small_image());
    const RunResult r = run_preview({"png", "/dev/full", "tr0", "400", "dtr", "0.3"}, work.path());
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(without_progress(r.err), p + std::strerror(ENOSPC) + "\n");
    EXPECT_EQ(r.out, "");
}

// An interrupted copy: the whole records are previewed, the rest is named.
TEST(PreviewInput, ImageCutShortIsPreviewedWithANotice)
{
    WorkFolder work;
    Bytes image = small_image();
    image.resize(image.size() - 1000);
    write_file(work / "image.rge", image);
    const RunResult r = run_preview({"tr0", "400", "dtr", "0.3", "pixels", "32"}, work.path());
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(without_progress(r.err), p + "image \"image.rge\" is cut short: 1352 bytes after its last whole 2352-byte record; "
                         "previewing what is there\n");
    EXPECT_EQ(parse_report(r.out).closing, "straight lines 0-2") << r.out;
    EXPECT_EQ(work.entries(), (std::vector<std::string>{"image.rge", "preview.png"}));
}

TEST(PreviewInput, ReplacesAnEarlierPngWhole)
{
    WorkFolder work;
    write_file(work / "image.rge", small_image());
    write_file(work / "old.png", Bytes(10, 'x'));
    const RunResult r = run_preview({"png", "old.png", "pixels", "20", "pixels", "48"}, work.path());
    EXPECT_EQ(r.exit_status, 0) << r.err;
    GreyImage png;
    ASSERT_TRUE(read_grey_png(work / "old.png", png));
    EXPECT_EQ(png.width, 48);
    EXPECT_EQ(work.entries(), (std::vector<std::string>{"image.rge", "old.png"}));
}

// The image is a named pipe: the preview waits in its open for a writer, or in a
// read on a pipe that the test fills slowly, when the signal comes.
struct StopCase {
    const char* name;
    int signal_number;
    int bytes_written;  // -1: no writer, the preview waits in the open
    int exit_status;
};

class StoppedPreview : public testing::TestWithParam<StopCase> {};

TEST_P(StoppedPreview, EndsAtOnceWithoutAPng)
{
    const StopCase& c = GetParam();
    WorkFolder work;
    const std::string pipe = work / "image.pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    PreviewRun run({"image", "image.pipe"}, work.path());
    int fd = -1;
    if (c.bytes_written >= 0) {
        fd = open(pipe.c_str(), O_WRONLY);  // waits for the preview to open it
        ASSERT_GE(fd, 0);
        const Bytes image = small_image();
        ASSERT_EQ(write(fd, image.data(), c.bytes_written), c.bytes_written);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    run.signal(c.signal_number);
    const RunResult r = run.finish(5);
    if (fd >= 0)
        close(fd);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_status, c.exit_status);
    EXPECT_EQ(without_progress(r.err), p + "stopped; no PNG written\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(work.entries(), std::vector<std::string>{"image.pipe"});
}

INSTANTIATE_TEST_SUITE_P(Preview, StoppedPreview,
                         testing::Values(StopCase{"CtrlCWhileReading", SIGINT, 200000, 130},
                                         StopCase{"CtrlCWhileWaitingForTheWriter", SIGINT, -1, 130},
                                         StopCase{"TermWhileReading", SIGTERM, 200000, 143},
                                         StopCase{"HangupWhileWaitingForTheWriter", SIGHUP, -1, 129}),
                         [](const testing::TestParamInfo<StopCase>& info) { return std::string(info.param.name); });

}  // namespace
