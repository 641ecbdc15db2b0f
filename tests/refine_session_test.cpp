// ringetch-refine as a user runs it, on small images: the command line, the readings
// prompt (back, -, done, explanations), the refusal of fewer than 4 readings, the
// reread of far-off lines, a perfect eye converging in one burn, the saved readings
// taken up by a later session, and input and output faults.
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <thread>
#include <unistd.h>
#include <map>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "named_case.h"
#include "program_run.h"
#include "refine_geometry_eye.h"
#include "refine_prompts.h"

namespace {

using named_case::operator<<;
using refine_prompts::asked_next_image;
using refine_prompts::images_written;
using refine_prompts::next_prompt;

// A small disc and ranges around it as a cycle of the dialogue leaves them, scaled
// down with the turn length so that an image of 3 MB holds 27 lines: both growth
// ends pass through the disc's turn 8000.
const sim::Model small_disc{100.01234, 0.0100009};
constexpr double small_size = 3000000;

std::vector<std::string> small_ranges(double width = 0.04)
{
    const double anchor = sim::start_of_turn(small_disc, 8000);
    const double length = small_disc.tr0 + small_disc.dtr * 8000;
    const auto growth = [&](double t) { return (length * length - t * t) / (2 * anchor); };
    const double tr0_f = small_disc.tr0 - width * 0.4;
    const double tr0_t = tr0_f + width;
    char text[4][32];
    std::snprintf(text[0], sizeof text[0], "%.9f", tr0_f);
    std::snprintf(text[1], sizeof text[1], "%.9f", tr0_t);
    std::snprintf(text[2], sizeof text[2], "%.12f", growth(tr0_f));
    std::snprintf(text[3], sizeof text[3], "%.12f", growth(tr0_t));
    return {"tr0_f", text[0], "tr0_t", text[1], "dtr_t", text[2], "dtr_f", text[3], "size", "3000000"};
}

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more)
{
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

RunResult run_refine(const std::vector<std::string>& args, const std::string& typed, const std::string& dir)
{
    return run_program(REFINE_BINARY, args, typed, dir, 60);
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool exists(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

bool last_model(const std::string& out, sim::Model& m) { return refine_prompts::last_model(out, m.tr0, m.dtr); }

// A person at the prompt who reads every line from the geometry: the drawn model is
// the last "refinement image N from tr0 T dtr D" line.
struct Reader {
    sim::Eye eye;
    double zero = 123;
    std::map<int, int> skip;  // not used by default

    static bool drawn(const std::string& out, sim::Model& m) { return images_written(out, &m.tr0, &m.dtr) > 0; }

    std::string answer(const std::string& out, int line)
    {
        sim::Model m{0, 0};
        if (!drawn(out, m))
            return "done\n";
        const double angle = eye.reread(sim::phase(small_disc, m, sim::first_marker(line)), zero);
        char text[32];
        std::snprintf(text, sizeof text, "%.4f\n", angle);
        return text;
    }
};

TEST(RefineCommandLine, AnUnknownNameOrAMissingValueShowsTheNamesInUsageOrder)
{
    const std::string dir = make_work_dir();
    const std::string usage = "expected parameters:\ntr0, dtr, tr0_f, tr0_t, dtr_t, dtr_f, size, image, readings, "
                              "first, first_turned, first_image\n";
    RunResult r = run_refine(with(small_ranges(), {"tr1", "5"}), "", dir);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "ringetch-refine: bad parameter \"tr1\"\n" + usage);
    EXPECT_EQ(r.out, "");
    r = run_refine(with(small_ranges(), {"image"}), "", dir);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "ringetch-refine: bad parameter \"image\"\n" + usage);
}

struct BadStart {
    const char* name;
    std::vector<std::string> args;
    const char* message;
};

class RefineRefusesToStart : public testing::TestWithParam<BadStart> {};

TEST_P(RefineRefusesToStart, WithAMessageStatusOneAndNoFile)
{
    const std::string dir = make_work_dir();
    const RunResult r = run_refine(GetParam().args, "", dir);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_TRUE(has(r.err, GetParam().message)) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(exists(dir + "/refine.rge"));
    EXPECT_FALSE(exists(dir + "/refine.svg"));
    EXPECT_FALSE(exists(dir + "/refine.readings"));
}

INSTANTIATE_TEST_SUITE_P(
    Refine, RefineRefusesToStart,
    testing::Values(
        BadStart{"NoRanges", {}, "tr0 and dtr are needed"},
        BadStart{"PastedRangeOfOneNumber", with(small_ranges(), {"tr0", "23025"}),
                 "tr0 \"23025\" is not two decimal numbers joined by -, as ringetch prints the range (tr0: F-T)"},
        BadStart{"PastedRangeWithoutItsSecondEnd", with(small_ranges(), {"dtr", "1.39-"}),
                 "dtr \"1.39-\" is not two decimal numbers joined by -"},
        BadStart{"PastedRangeWithTrailingText", with(small_ranges(), {"dtr", "1.39-1.38x"}),
                 "dtr \"1.39-1.38x\" is not two decimal numbers joined by -"},
        BadStart{"ARangeEndMissing", {"tr0_f", "22900", "tr0_t", "23000", "dtr_t", "1.39"}, "are needed"},
        BadStart{"NotANumber", with(small_ranges(), {"tr0_t", "abc"}), "tr0_t \"abc\" is not a decimal number"},
        BadStart{"NotFinite", with(small_ranges(), {"dtr_f", "nan"}), "dtr_f \"nan\" is not a decimal number"},
        BadStart{"TrailingJunk", with(small_ranges(), {"tr0_f", "100x"}), "tr0_f \"100x\" is not a decimal number"},
        BadStart{"RangeUpsideDown", with(small_ranges(), {"tr0_f", "101", "tr0_t", "99"}), "lower end first"},
        BadStart{"GrowthNotPositive", with(small_ranges(), {"dtr_t", "0"}), "must be above 0"},
        BadStart{"SizeBeyond32Bits", with(small_ranges(), {"size", "4294967296"}), "a 32-bit signed integer"},
        BadStart{"SizeBelowFourLines", with(small_ranges(), {"size", "200000"}), "holds 3 lines; at least 4"},
        BadStart{"ReadingsMissing", {"readings", "none.readings"}, "readings \"none.readings\": No such file"},
        BadStart{"FirstImageMissing", {"first", "disc.png", "first_image", "none.rge"}, "\"none.rge\""}),
    [](const testing::TestParamInfo<BadStart>& info) { return std::string(info.param.name); });

// tr0 F-T dtr T-F as ringetch shows the ranges, pasted: the session of the four ends,
// printed, saved and drawn alike.
TEST(RefineCommandLine, PastedRangesStartTheSameSessionAsTheFourEnds)
{
    const std::vector<std::string> ends = small_ranges();
    const std::vector<std::string> pasted = {"tr0", ends[1] + "-" + ends[3], "dtr", ends[5] + "-" + ends[7],
                                             "size", ends[9]};
    const std::string typed = "10\n20\n30\n40\ndone\n";
    const std::string by_ends = make_work_dir();
    const std::string by_pairs = make_work_dir();
    const RunResult a = run_refine(ends, typed, by_ends);
    const RunResult b = run_refine(pasted, typed, by_pairs);
    EXPECT_EQ(a.exit_status, 0) << a.err;
    EXPECT_TRUE(has(a.out, "fit of 1 image, 4 readings")) << a.out;
    EXPECT_EQ(b.exit_status, a.exit_status);
    EXPECT_EQ(b.out, a.out);
    EXPECT_EQ(b.err, a.err);
    for (const char* file : {"/refine.rge", "/refine.svg", "/refine.readings"}) {
        EXPECT_TRUE(exists(by_ends + file)) << file;
        EXPECT_TRUE(read_file(by_pairs + file) == read_file(by_ends + file)) << file;
    }
}

TEST(RefinePrompt, TakesAnglesDashesBackAndDoneAndExplainsAnythingElse)
{
    const std::string dir = make_work_dir();
    const std::string typed = "back\n10\n20\nback\n25\r\n30\n-\n 40 \nfoo\n400\n\n" + std::string(300, '7') + "\ndone\n";
    const RunResult r = run_refine(small_ranges(), typed, dir);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "line 0 angle: there is no line before this one\nline 0 angle: line 1 angle: line 2 angle: "
                           "line 1 angle: line 2 angle: line 3 angle: line 4 angle: line 5 angle: "
                           "type the angle in degrees, - for a wedge that cannot be read, back or done\n"
                           "line 5 angle: an angle is 0 or more and under 360 degrees\n"
                           "line 5 angle: type the angle in degrees, - for a wedge that cannot be read, back or done\n"
                           "line 5 angle: that line is too long: type the angle in degrees, -, back or done\n"
                           "line 5 angle: "))
        << r.out;
    // Four lines read: fitted at done, and saved with the line not read.
    EXPECT_TRUE(has(r.out, "fit of 1 image, 4 readings:\n")) << r.out;
    const std::string saved = read_file(dir + "/refine.readings");
    EXPECT_TRUE(has(saved, "lines 27\n0 10\n1 25\n2 30\n3 -\n4 40\n5 -\n")) << saved;
    EXPECT_TRUE(has(r.out, "readings saved to \"refine.readings\"")) << r.out;
    // Four lines leave the model far too loose for a picture: said with the model.
    EXPECT_TRUE(has(r.out, "degrees at the rim: too large for a picture (over 10 degrees); burn and read another "
                           "refinement image first\na picture drawn now would come out turned; to draw one anyway:\n"
                           "$ ringetch-picture png <your-picture.png> tr0 "))
        << r.out;
    EXPECT_TRUE(exists(dir + "/refine.svg"));
    EXPECT_FALSE(exists(dir + "/refine.svg.part"));
    EXPECT_EQ(file_size(dir + "/refine.rge") % 2352, 0);
}

// A scan typed at line 0 that the reader refuses is said why and never taken: line 0
// is asked again and the burn, typed after it, is saved as read by eye.
TEST(RefinePrompt, ARefusedScanIsSaidWhyAndLineZeroAskedAgain)
{
    const std::string dir = make_work_dir();
    const std::string typed = "scan missing.png\nscan\n10\nscan missing.png\n20\n30\n40\ndone\n";
    const RunResult r = run_refine(small_ranges(), typed, dir);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "line 0 angle: the scan is not taken: scan \"missing.png\": ")) << r.out;
    EXPECT_TRUE(has(r.out, "\nline 0 angle: type scan and the capture's file, and perhaps the file of the disc turned "
                           "on the glass (a name with blanks in double quotes)\nline 0 angle: line 1 angle: a scan "
                           "reads the whole image: type it at the image's line 0\nline 1 angle: "))
        << r.out;
    EXPECT_TRUE(has(read_file(dir + "/refine.readings"), "lines 27\n0 10\n1 20\n2 30\n3 40\n4 -\n")) << r.out;
}

TEST(RefinePrompt, FewerThanFourReadingsAreRefusedAndTheImageAskedAgain)
{
    const std::string dir = make_work_dir();
    std::string typed = "10\n20\n30\n";
    for (int k = 3; k < 27; ++k)
        typed += "-\n";
    typed += "done\n";
    const RunResult r = run_refine(small_ranges(), typed, dir);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_TRUE(has(r.out, "line 26 angle: only 3 lines read: a fit needs at least 4. The model is too far from this "
                           "disc for a refinement: go back to ringetch for another cycle, or read the image again.\n"
                           "line 0 angle: "))
        << r.out;
    EXPECT_FALSE(has(r.out, "fit of")) << r.out;
    EXPECT_TRUE(has(r.out, "line 0 angle: no model for a picture yet: one comes from the angles read on at least one "
                           "refinement image\n"))
        << r.out;
    EXPECT_FALSE(has(r.out, "ringetch-picture")) << r.out;
    EXPECT_EQ(images_written(r.out), 1);
    const std::string saved = read_file(dir + "/refine.readings");
    EXPECT_FALSE(has(saved, "burn ")) << saved;
}

TEST(RefineSession, APerfectEyeConvergesInOneBurnAndALaterSessionTakesItsReadingsUp)
{
    const std::string dir = make_work_dir();
    sim::Model m{0, 0};
    {
        InteractiveRun run(REFINE_BINARY, small_ranges(), dir);
        Reader reader;
        reader.eye.sigma = 0;
        reader.eye.rounding = 0;
        int line = next_prompt(run);
        for (; line >= 0; line = next_prompt(run))
            run.send(reader.answer(run.out(), line));
        // Asked after the fit, done there writes no further image.
        EXPECT_EQ(line, asked_next_image) << run.out();
        EXPECT_TRUE(has(run.out(), "degrees at the rim\nwrite refinement image 2? (yes, or done to stop) ")) << run.out();
        run.signal(SIGINT);  // ignored there, as at an angle prompt
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        run.send("done\n");
        const RunResult r = run.finish(60);
        EXPECT_EQ(r.exit_status, 0) << r.err;
        EXPECT_EQ(images_written(run.out()), 1);
        EXPECT_TRUE(has(run.out(), "(yes, or done to stop) model tr0 ")) << run.out();
        EXPECT_TRUE(has(run.out(), " degrees at the rim\ndraw your picture with:\n$ ringetch-picture png ")) << run.out();
        ASSERT_TRUE(last_model(run.out(), m)) << run.out();
        EXPECT_LT(sim::picture_error(m, small_disc, small_size), 1.0) << run.out();
        EXPECT_FALSE(has(run.out(), "warning")) << run.out();
    }
    // The later session fits at once and asks; its input ends there, as at an angle prompt.
    const RunResult again = run_refine({"readings", "refine.readings", "size", "3000000"}, "", dir);
    EXPECT_EQ(again.exit_status, 1) << again.err;
    EXPECT_TRUE(has(again.err, "read stdin error\nreadings saved to \"refine.readings\"")) << again.err;
    EXPECT_EQ(images_written(again.out), 0) << again.out;
    EXPECT_TRUE(has(again.out, "1 image read in the earlier session\nfit of 1 image, 27 readings:\n")) << again.out;
    sim::Model reloaded{0, 0};
    ASSERT_TRUE(last_model(again.out, reloaded));
    EXPECT_EQ(reloaded.tr0, m.tr0);
    EXPECT_EQ(reloaded.dtr, m.dtr);
}

TEST(RefineSession, AFarOffReadingIsAskedAgainAndTheCarefulAnswerFitted)
{
    const std::string dir = make_work_dir();
    InteractiveRun run(REFINE_BINARY, small_ranges(), dir);
    Reader reader;
    reader.eye.random.seed(3);
    bool misread = false;
    int line = next_prompt(run);
    for (; line >= 0 && !has(run.out(), "fit of"); line = next_prompt(run)) {
        std::string answer = reader.answer(run.out(), line);
        if (line == 9 && !misread) {
            answer = "300\n";  // the true angle is near 123
            misread = true;
        }
        run.send(answer);
    }
    EXPECT_TRUE(has(run.out(), "1 reading is more than 45 degrees off the fit; read it again (- if the wedge cannot "
                               "be read):\nline 9: read 300, off by"))
        << run.out();
    const std::string before = run.out();
    EXPECT_FALSE(has(before, "warning")) << before;
    ASSERT_EQ(line, 9) << run.out();
    run.send(reader.answer(run.out(), 9));
    ASSERT_EQ(next_prompt(run), asked_next_image) << run.out();
    const std::string after = run.out().substr(before.size());
    EXPECT_TRUE(has(after, "fit of 1 image, 27 readings:\n")) << after;
    EXPECT_FALSE(has(after, "warning")) << after;
    run.send("maybe\n");
    ASSERT_EQ(next_prompt(run), asked_next_image) << run.out();
    EXPECT_TRUE(refine_prompts::ends_with(run.out(), "type yes (or just Enter) to write the next image, or done to end "
                                                     "with the model for a picture\nwrite refinement image 2? (yes, or "
                                                     "done to stop) "))
        << run.out();
    run.send("\n");  // an empty line writes it
    ASSERT_GE(next_prompt(run), 0) << run.out();
    EXPECT_EQ(images_written(run.out()), 2);
    run.send("done\n");
    EXPECT_EQ(run.finish(60).exit_status, 0);
}

TEST(RefineSession, AnImageWithFewerReadableLinesThanTheLastLeavesTheModelAsItWas)
{
    const std::string dir = make_work_dir();
    InteractiveRun run(REFINE_BINARY, small_ranges(), dir);
    Reader reader;
    reader.eye.random.seed(11);
    for (int line = next_prompt(run); line != -1 && images_written(run.out()) < 3; line = next_prompt(run)) {
        const bool second = images_written(run.out()) == 2;
        if (line == asked_next_image)
            run.send("yes\n");
        else
            run.send(second && line >= 10 ? "-\n" : reader.answer(run.out(), line));
    }
    const std::string& out = run.out();
    EXPECT_TRUE(has(out, "image 2 showed 10 readable lines, fewer than the 27 of image 1: the model stays as it "
                         "was\n"))
        << out;
    sim::Model second{0, 0};
    sim::Model third{0, 0};
    const std::size_t at2 = out.find("refinement image 2 from");
    const std::size_t at3 = out.find("refinement image 3 from");
    ASSERT_NE(at3, std::string::npos) << out;
    std::sscanf(out.c_str() + at2, "refinement image 2 from tr0 %lf dtr %lf", &second.tr0, &second.dtr);
    std::sscanf(out.c_str() + at3, "refinement image 3 from tr0 %lf dtr %lf", &third.tr0, &third.dtr);
    EXPECT_EQ(third.tr0, second.tr0);
    EXPECT_EQ(third.dtr, second.dtr);
    run.send("done\n");
    EXPECT_EQ(run.finish(60).exit_status, 0);
}

TEST(RefineFaults, InputEndingMidImageSavesTheReadingsAndEndsWithStatusOne)
{
    const std::string dir = make_work_dir();
    const RunResult r = run_refine(small_ranges(), "10\n20\n30\n40\n50\n", dir);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_TRUE(has(r.err, "read stdin error\n")) << r.err;
    EXPECT_TRUE(has(r.err, "readings saved to \"refine.readings\"")) << r.err;
    EXPECT_TRUE(has(r.out, "fit of 1 image, 5 readings:")) << r.out;
    EXPECT_TRUE(has(read_file(dir + "/refine.readings"), "\n4 50\n5 -\n"));
}

TEST(RefineFaults, AnImageOnAFullDiskEndsWithTheSystemErrorAndStatusOne)
{
    const std::string dir = make_work_dir();
    const RunResult r = run_refine(with(small_ranges(), {"image", "/dev/full"}), "", dir);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "ringetch-refine: No space left on device\n");
    EXPECT_FALSE(has(r.out, "created succesfully")) << r.out;
}

// Files of a work folder, name to content, for "nothing was written".
std::map<std::string, std::string> folder_files(const std::string& dir)
{
    std::map<std::string, std::string> files;
    DIR* folder = opendir(dir.c_str());
    while (const dirent* entry = folder != nullptr ? readdir(folder) : nullptr) {
        const std::string name = entry->d_name;
        struct stat info {};
        if (lstat((dir + "/" + name).c_str(), &info) == 0 && !S_ISDIR(info.st_mode))
            files[name] = S_ISREG(info.st_mode) ? read_file(dir + "/" + name) : "(not a regular file)";
    }
    if (folder != nullptr)
        closedir(folder);
    return files;
}

void write_text(const std::string& path, const std::string& text)
{
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fputs(text.c_str(), f);
    std::fclose(f);
}

// An earlier session's readings: one burn of five lines read.
const std::string earlier_readings =
    "ringetch-refine readings\nranges 99.99634 100.03634 0.0100 0.0100018\nburn 100.0163 0.0100009 lines 5\n"
    "0 10\n1 20\n2 30\n3 40\n4 -\n";

struct FileSetUp {
    const char* name;
    std::vector<std::string> commands;  // sh commands run in the work folder first
    std::vector<std::string> args;      // after the small ranges
    const char* message;
};

// Each refused before anything is written: the folder is as it was.
class RefineRefusesItsFiles : public testing::TestWithParam<FileSetUp> {};

TEST_P(RefineRefusesItsFiles, SayingWhichAndWritingNothing)
{
    const std::string dir = make_work_dir();
    write_text(dir + "/old.readings", earlier_readings);
    for (const std::string& command : GetParam().commands)
        ASSERT_EQ(run_shell(command, "", dir).exit_status, 0) << command;
    const auto before = folder_files(dir);
    const RunResult r = run_refine(with(small_ranges(), GetParam().args), "done\n", dir);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_TRUE(has(r.err, GetParam().message)) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(folder_files(dir), before);
}

INSTANTIATE_TEST_SUITE_P(
    Refine, RefineRefusesItsFiles,
    testing::Values(
        FileSetUp{"ImageIsTheReadings", {}, {"readings", "old.readings", "image", "old.readings"},
                  "image \"old.readings\" is the same file as the readings file \"old.readings\": name another image"},
        FileSetUp{"ImageIsAHardLinkToTheReadings", {"ln old.readings disc.rge"},
                  {"readings", "old.readings", "image", "disc.rge"}, "is the same file as the readings file"},
        FileSetUp{"ImageIsASymbolicLinkToTheReadings", {"ln -s old.readings disc.rge"},
                  {"readings", "./old.readings", "image", "disc.rge"}, "is the same file as the readings file"},
        FileSetUp{"ImageIsALinkToItsProtractor", {"echo svg >disc.svg", "ln -s disc.svg disc.rge"},
                  {"image", "disc.rge"}, "image \"disc.rge\" is the same file as the protractor \"disc.svg\""},
        FileSetUp{"ImageIsALinkToItsReadings", {"cp old.readings disc.readings", "ln disc.readings disc.rge"},
                  {"image", "disc.rge"}, "image \"disc.rge\" is the same file as the readings file \"disc.readings\""},
        FileSetUp{"ProtractorIsTheReadings", {"cp old.readings disc.svg"}, {"readings", "disc.svg", "image", "disc.rge"},
                  "protractor \"disc.svg\" is the same file as the readings file \"disc.svg\""},
        FileSetUp{"ImageHoldsSomeReadings", {}, {"image", "old.readings"},
                  "image \"old.readings\" holds the readings of a refinement session: name another image"},
        FileSetUp{"AnEarlierSessionsReadings", {"cp old.readings refine.readings"}, {},
                  "\"refine.readings\" holds the readings of an earlier session (1 image); this session would replace "
                  "them: go on from them with readings \"refine.readings\", or start afresh under another name with "
                  "image NAME.rge"},
        FileSetUp{"AnotherFileUnderTheReadingsName", {"echo notes >refine.readings"}, {},
                  "\"refine.readings\" is there and is not a readings file"},
        FileSetUp{"AFifoUnderTheReadingsName", {"mkfifo refine.readings"}, {},
                  "readings \"refine.readings\" is not a regular file, so this session cannot save there"}),
    [](const testing::TestParamInfo<FileSetUp>& info) { return std::string(info.param.name); });

// A protractor or readings file that cannot be written is found before the image.
class RefineCannotWriteAtStart : public testing::TestWithParam<FileSetUp> {};

TEST_P(RefineCannotWriteAtStart, NamesTheFileAndWritesNoImage)
{
    const std::string dir = make_work_dir();
    for (const std::string& command : GetParam().commands)
        ASSERT_EQ(run_shell(command, "", dir).exit_status, 0) << command;
    const RunResult r = run_refine(with(small_ranges(), GetParam().args), "done\n", dir);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_TRUE(has(r.err, GetParam().message)) << r.err;
    EXPECT_FALSE(exists(dir + "/refine.rge"));
    EXPECT_FALSE(has(r.out, "angle: ")) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Refine, RefineCannotWriteAtStart,
    testing::Values(
        FileSetUp{"ProtractorsTemporaryIsAFolder", {"mkdir refine.svg.part"}, {},
                  "ringetch-refine: cannot write the protractor \"refine.svg\": \"refine.svg.part\": Is a directory\n"},
        FileSetUp{"ProtractorIsAFolder", {"mkdir refine.svg"}, {},
                  "ringetch-refine: cannot write the protractor \"refine.svg\": Is a directory\n"},
        FileSetUp{"ReadingsTemporaryIsAFolder", {"mkdir refine.readings.part"}, {},
                  "ringetch-refine: cannot save the readings to \"refine.readings\": \"refine.readings.part\": Is a "
                  "directory\n"},
        FileSetUp{"ReadingsInAMissingFolder", {}, {"image", "gone/disc.rge"},
                  "cannot save the readings to \"gone/disc.readings\": \"gone/disc.readings.part\": No such file or "
                  "directory\n"}),
    [](const testing::TestParamInfo<FileSetUp>& info) { return std::string(info.param.name); });

TEST(RefineFaults, ReadingsThatCannotBeSavedMidSessionGoToAFileWhoseNameIsPrinted)
{
    const std::string dir = make_work_dir();
    InteractiveRun run(REFINE_BINARY, small_ranges(), dir);
    Reader reader;
    reader.eye.sigma = 0;
    reader.eye.rounding = 0;
    int line = next_prompt(run);
    ASSERT_EQ(mkdir((dir + "/refine.readings.part").c_str(), 0700), 0);  // after the start's save
    for (; line >= 0; line = next_prompt(run))
        run.send(reader.answer(run.out(), line));
    ASSERT_EQ(line, asked_next_image) << run.out();
    run.send("done\n");
    const RunResult r = run.finish(60);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_TRUE(has(r.err, "ringetch-refine: cannot save the readings to \"refine.readings\": \"refine.readings.part\": "
                           "Is a directory\nringetch-refine: the readings are saved to \"ringetch-refine-"))
        << r.err;
    const std::size_t at = r.err.find("\"ringetch-refine-");
    const std::string rescue = r.err.substr(at + 1, r.err.find('"', at + 1) - at - 1);
    EXPECT_TRUE(has(read_file(dir + "/" + rescue), "lines 27\n0 ")) << rescue;
    EXPECT_TRUE(has(r.err, "readings saved to \"" + rescue + "\": go on later with ringetch-refine readings \"" +
                               rescue + "\"\n"))
        << r.err;
    EXPECT_FALSE(has(read_file(dir + "/refine.readings"), "burn")) << "the start's save, ranges only";
}

TEST(RefineFaults, ADeviceImageKeepsItsProtractorAndReadingsInTheCurrentFolder)
{
    const std::string dir = make_work_dir();
    const RunResult r = run_refine(with(small_ranges(), {"image", "/dev/null"}), "done\n", dir);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "image \"/dev/null\" is not a regular file: its protractor goes to \"null.svg\" in the "
                           "current folder, the readings to \"null.readings\"\n"))
        << r.out;
    EXPECT_TRUE(exists(dir + "/null.svg"));
    EXPECT_TRUE(exists(dir + "/null.readings"));
    EXPECT_FALSE(exists("/dev/null.svg"));
    EXPECT_FALSE(exists("/dev/null.readings"));
}

// Ctrl-C while the readings FIFO is awaited: in the open (no writer yet) and in the
// read (a writer that sends nothing). The handler is in place once the process has
// SIGINT caught (SigCgt), so the signal can never come too early.
struct FifoWait {
    const char* name;
    const char* writer;  // sh that opens (or not) the FIFO's other end
};

class RefineReadingsFifo : public testing::TestWithParam<FifoWait> {};

TEST_P(RefineReadingsFifo, CtrlCEndsTheWaitAtOnceWithStatus130)
{
    const std::string dir = make_work_dir();
    const std::string script = std::string("mkfifo old.readings\n") + GetParam().writer + "\n'" REFINE_BINARY
                               "' readings old.readings & pid=$!\n"
                               "until grep -q '^SigCgt:.*[2367abef]$' /proc/$pid/status; do sleep 0.01; done\n"
                               "sleep 0.2; kill -INT $pid; start=$(date +%s%N); wait $pid; status=$?\n"
                               "echo \"status $status after $((($(date +%s%N) - start) / 1000000)) ms\"\n";
    const RunResult r = run_shell(script, "", dir, 20);
    ASSERT_FALSE(r.timed_out) << r.out << r.err;
    int status = -1;
    int ms = -1;
    ASSERT_EQ(std::sscanf(r.out.c_str() + r.out.rfind("status "), "status %d after %d ms", &status, &ms), 2) << r.out;
    EXPECT_EQ(status, 130) << r.err;
    EXPECT_LT(ms, 1000);
    EXPECT_TRUE(has(r.err, "ringetch-refine: readings \"old.readings\": interrupted while waiting for them\n")) << r.err;
}

INSTANTIATE_TEST_SUITE_P(Refine, RefineReadingsFifo,
                         testing::Values(FifoWait{"InItsOpen", ""}, FifoWait{"InItsRead", "exec 3<>old.readings"}),
                         [](const testing::TestParamInfo<FifoWait>& info) { return std::string(info.param.name); });

TEST(RefineFaults, CtrlCAbandonsTheImageAndOffersToWriteItAgain)
{
    // The image is a named pipe: the test reads 200 kB, then holds the writer until
    // the signal is sent, so it always arrives mid-image.
    const std::string dir = make_work_dir();
    const std::string pipe = dir + "/image.pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::atomic<bool> stalled{false};
    std::atomic<bool> released{false};
    std::thread reader([&] {
        const int fd = open(pipe.c_str(), O_RDONLY);
        char chunk[65536];
        long long total = 0;
        for (;;) {
            if (total >= 200000) {
                stalled = true;
                while (!released)
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            const ssize_t n = read(fd, chunk, sizeof chunk);
            if (n <= 0)
                break;
            total += n;
        }
        close(fd);
    });
    InteractiveRun run(REFINE_BINARY, with(small_ranges(), {"image", pipe}), dir);
    while (!stalled)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    run.signal(SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    released = true;
    EXPECT_TRUE(run.wait_for("the image was not finished: type image to write it again, or done: ")) << run.out();
    run.send("done\n");
    const RunResult r = run.finish(60);
    reader.join();
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "Creating was break by user\n");
    EXPECT_FALSE(has(run.out(), "created succesfully")) << run.out();
    EXPECT_FALSE(has(run.out(), "angle: ")) << run.out();
}

TEST(RefineFaults, AMalformedReadingsFileIsNamedWithItsLine)
{
    const std::string dir = make_work_dir();
    FILE* f = std::fopen((dir + "/old.readings").c_str(), "w");
    std::fputs("ringetch-refine readings\nranges 99 101 0.0101 0.0099\nburn 100 0.01 lines 5\n0 10\n1 400\n", f);
    std::fclose(f);
    const RunResult r = run_refine({"readings", "old.readings"}, "", dir);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "ringetch-refine: readings \"old.readings\": line 5 holds an angle that is not 0 or more and under "
                     "360\n");
}

}  // namespace
