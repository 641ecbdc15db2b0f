// The image file in the places a hostile user or system puts it: a FIFO that nobody
// reads, or whose reader stalls or quits, a file-size limit, the file a standard
// stream uses, a second writer of the same file, and a path full of shell
// metacharacters. Each case runs the built binary; none can hang, every wait is
// bounded.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "dialogue_support.h"
#include "named_case.h"

namespace {

using named_case::operator<<;

const std::string abandoned = "Creating was break by user\n";
const std::string announced = default_ranges + "creating DIRECT image\n";

std::string start_of_run(const std::string& path) { return announced + empty_image(path) + prompt; }

// The FIFO's read end, opened without waiting for a writer.
int open_fifo_reader(const std::string& path) { return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); }

// Everything a writer sends into the FIFO until it closes its end; false when nothing
// comes for 30 seconds.
bool drain_fifo(int fd)
{
    char chunk[65536];
    for (;;) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 30000) <= 0)
            return false;
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n == 0)
            return true;
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
    }
}

// Presses Ctrl-C every 50 ms until stdout shows `needle`: a signal that comes before
// the image writer starts is cleared by it, so one alone could be lost.
bool interrupt_until(InteractiveRun& run, const std::string& needle)
{
    for (int k = 0; k < 600; ++k) {
        run.signal(SIGINT);
        if (run.wait_for(needle, 0.05))
            return true;
    }
    return false;
}

}  // namespace

// Nobody opens the FIFO for reading, so the open waits; Ctrl-C ends the wait, the
// image is abandoned before anything is drawn and the dialogue goes on.
TEST(ImageFile, CtrlCBreaksAnOpenThatWaitsForAReader)
{
    const std::string dir = make_work_dir();
    ASSERT_EQ(mkfifo((dir + "/image.pipe").c_str(), 0600), 0);
    const int reader = open_fifo_reader(dir + "/image.pipe");
    ASSERT_GE(reader, 0);
    InteractiveRun run({"size", "20000", "image", "image.pipe"}, dir);
    ASSERT_TRUE(drain_fifo(reader));  // the start-up image
    close(reader);
    ASSERT_TRUE(run.wait_for(prompt)) << run.out();
    run.send("next 0.5\n");
    const std::string shown = "next 0.5\n" + range_display("23025", "23550", "1.38", "1.32") + "creating DIRECT image\n";
    ASSERT_TRUE(interrupt_until(run, shown + prompt)) << run.out();
    run.send("exit\n");
    const RunResult r = run.finish();
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, abandoned);
    EXPECT_EQ(r.out, start_of_run("image.pipe") + shown + prompt);
}

// The reader keeps the FIFO open but reads nothing: the writer waits in a full pipe
// until Ctrl-C, then gives the reader a last chance and drops the image.
TEST(ImageFile, CtrlCGivesUpOnAReaderThatStalled)
{
    const std::string dir = make_work_dir();
    ASSERT_EQ(mkfifo((dir + "/image.pipe").c_str(), 0600), 0);
    const int reader = open_fifo_reader(dir + "/image.pipe");
    ASSERT_GE(reader, 0);
    InteractiveRun run({"size", "3000000", "image", "image.pipe"}, dir);
    ASSERT_TRUE(drain_fifo(reader));
    ASSERT_TRUE(run.wait_for(prompt)) << run.out();
    run.send("next 0.5\n");
    const std::string shown = "next 0.5\n" + range_display("23025", "23550", "1.38", "1.32") +
                              "creating DIRECT image\nline number 0, start byte - 0 Mb (white)\n";
    ASSERT_TRUE(run.wait_for(shown)) << run.out();
    ASSERT_TRUE(interrupt_until(run, prompt)) << run.out();
    run.send("exit\n");
    const RunResult r = run.finish();
    close(reader);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, abandoned);
    EXPECT_EQ(r.out, announced + "line number 0, start byte - 0 Mb (white)\n" + success_message("image.pipe") + prompt +
                         shown + prompt);
}

// SIGXFSZ would end the run without a word and leave a file that is not whole
// records; the limit is an output error instead, and the file keeps the records
// that fitted, as the image begins.
TEST(ImageFile, FileSizeLimitIsAnOutputError)
{
    const std::string dir = make_work_dir();
    const RunResult r = run_shell("ulimit -f 1000 && exec \"$RINGETCH\" size 3000000", "exit\n", dir);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.term_signal, 0);
    EXPECT_EQ(r.err, std::string("ringetch: ") + std::strerror(EFBIG) + "\n");
    EXPECT_EQ(r.out, announced + "line number 0, start byte - 0 Mb (white)\n");
    const std::string limited = read_file(dir + "/image.rge");
    EXPECT_GT(limited.size(), 0U);
    EXPECT_LE(limited.size(), 1024000U);
    EXPECT_EQ(limited.size() % 2352, 0U);

    const std::string whole_dir = make_work_dir();
    ASSERT_EQ(run_ringetch({"size", "3000000"}, "exit\n", whole_dir).exit_status, 0);
    const std::string whole = read_file(whole_dir + "/image.rge");
    EXPECT_TRUE(whole.compare(0, limited.size(), limited) == 0) << "the limited file is not the image's start";
}

// SIGPIPE would end the run without a word; a reader that quits is an output error.
TEST(ImageFile, ReaderThatQuitsIsAnOutputError)
{
    const std::string dir = make_work_dir();
    ASSERT_EQ(mkfifo((dir + "/image.pipe").c_str(), 0600), 0);
    const int reader = open_fifo_reader(dir + "/image.pipe");
    ASSERT_GE(reader, 0);
    InteractiveRun run({"size", "3000000", "image", "image.pipe"}, dir);
    pollfd ready{reader, POLLIN, 0};
    ASSERT_EQ(poll(&ready, 1, 30000), 1);
    char some[4096];
    EXPECT_GT(read(reader, some, sizeof some), 0);
    close(reader);
    const RunResult r = run.finish();
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.term_signal, 0);
    EXPECT_EQ(r.err, std::string("ringetch: ") + std::strerror(EPIPE) + "\n");
    EXPECT_EQ(r.out, announced + "line number 0, start byte - 0 Mb (white)\n");
}

// The image path names the regular file that a standard stream uses: refused before
// anything is written to it, so the file keeps what it had (standard input) or just
// the console text written before the refusal (standard output and error).
struct SameFileCase {
    const char* name;
    std::string script;
    std::string out;        // collected standard output
    std::string err;        // collected standard error
    std::string file;       // the file that the image path names
    std::string contents;   // what it holds afterwards
};

class SameFileAsAStream : public testing::TestWithParam<SameFileCase> {};

TEST_P(SameFileAsAStream, IsRefusedBeforeItIsWritten)
{
    const SameFileCase& c = GetParam();
    const std::string dir = make_work_dir();
    const RunResult r = run_shell(c.script, "exit\n", dir);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(read_file(dir + "/" + c.file), c.contents);
}

std::string refused(const std::string& path, const std::string& stream)
{
    return "ringetch: image \"" + path + "\" is the same file as standard " + stream + "\n";
}

INSTANTIATE_TEST_SUITE_P(
    ImageFile, SameFileAsAStream,
    testing::Values(
        SameFileCase{"StandardOutput", "exec \"$RINGETCH\" size 20000 image out.txt > out.txt", "",
                     refused("out.txt", "output"), "out.txt", announced},
        SameFileCase{"StandardOutputThroughALink",
                     "ln -s out.txt link.rge && exec \"$RINGETCH\" size 20000 image link.rge > out.txt", "",
                     refused("link.rge", "output"), "out.txt", announced},
        SameFileCase{"StandardError", "exec \"$RINGETCH\" size 20000 image err.txt 2> err.txt", announced, "",
                     "err.txt", refused("err.txt", "error")},
        SameFileCase{"StandardInput", "printf 'exit\\n' > cmds.txt && exec \"$RINGETCH\" size 20000 image cmds.txt < cmds.txt",
                     announced, refused("cmds.txt", "input"), "cmds.txt", "exit\n"}),
    [](const testing::TestParamInfo<SameFileCase>& info) { return std::string(info.param.name); });

// Devices are shared harmlessly: the image goes to the null device with the console.
TEST(ImageFile, DeviceSharedWithAStandardStreamIsWritten)
{
    const std::string dir = make_work_dir();
    const RunResult r = run_shell("exec \"$RINGETCH\" size 20000 image /dev/null > /dev/null", "exit\n", dir);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "");
}

// Two runs write the same image file at once. The first is held mid-image by its
// console (a full pipe that the test reads only later) after its first MiB reached
// the file; the second is refused without touching the file, and the first then
// completes an image equal to one written alone.
TEST(ImageFile, SecondWriterOfTheSameFileIsRefused)
{
    // Some 110 lines of about 6 to 50 kB: their progress lines overfill 4 kB.
    const std::vector<std::string> first_args = {"size", "3000000", "tr0_f", "10", "tr0_t", "12",
                                                 "dtr_t", "0.001", "dtr_f", "0.0005"};
    const std::string dir = make_work_dir();
    const std::string path = dir + "/image.rge";
    int console[2];
    ASSERT_EQ(pipe2(console, O_CLOEXEC), 0);
    ASSERT_EQ(fcntl(console[1], F_SETPIPE_SZ, 4096), 4096);
    {
        std::FILE* typed = std::fopen((dir + "/commands").c_str(), "w");
        ASSERT_NE(typed, nullptr);
        std::fputs("exit\n", typed);
        std::fclose(typed);
    }
    const int commands = open((dir + "/commands").c_str(), O_RDONLY | O_CLOEXEC);
    std::thread first([&] {
        const RunResult r = run_ringetch_with(first_args, commands, console[1], collected_output, dir);
        EXPECT_EQ(r.exit_status, 0);
        EXPECT_EQ(r.err, "");
    });
    // A MiB in the file: the first run has locked it and is writing.
    for (int k = 0; k < 3000 && file_size(path) < 1048576; ++k)
        usleep(10000);
    ASSERT_GE(file_size(path), 1048576) << "the first run did not start its image";
    const RunResult second = run_ringetch({"size", "30000", "tr0_f", "35"}, "exit\n", dir);
    EXPECT_EQ(second.exit_status, 1);
    EXPECT_EQ(second.err, "ringetch: image \"image.rge\" is being written by another process\n");
    EXPECT_EQ(second.out, range_display("35", "23550", "1.44", "1.32") + "creating DIRECT image\n");

    close(console[1]);
    std::string shown;
    char chunk[4096];
    for (ssize_t n; (n = read(console[0], chunk, sizeof chunk)) > 0;)
        shown.append(chunk, static_cast<std::size_t>(n));
    first.join();
    close(console[0]);
    close(commands);
    EXPECT_NE(shown.find("created succesfully"), std::string::npos) << shown;

    const std::string alone_dir = make_work_dir();
    ASSERT_EQ(run_ringetch(first_args, "exit\n", alone_dir).exit_status, 0);
    EXPECT_TRUE(read_file(path) == read_file(alone_dir + "/image.rge")) << "the image is not the first run's alone";
}

// The burning hint, pasted into a shell with a stand-in for the burning program and
// a device in place of the placeholder, must pass the program exactly the path.
class BurningHint : public testing::TestWithParam<std::string> {};

std::vector<std::string> arguments_the_hint_passes(const std::string& out, const std::string& dir)
{
    const std::string head = "burn it by command\n$ ";
    const std::size_t start = out.find(head);
    const std::size_t end = out.rfind("\n" + prompt);
    if (start == std::string::npos || end == std::string::npos || end < start)
        return {};
    std::string command = out.substr(start + head.size(), end - start - head.size());
    const std::string placeholder = "<burner-device>";
    const std::size_t device = command.find(placeholder);
    if (device != std::string::npos)
        command.replace(device, placeholder.size(), "0,0,0");
    const RunResult shell = run_shell("cdrecord() { printf '%s\\0' \"$@\"; }\n" + command, "", dir);
    std::vector<std::string> arguments;
    for (std::size_t at = 0; at < shell.out.size();) {
        const std::size_t zero = shell.out.find('\0', at);
        if (zero == std::string::npos)
            break;
        arguments.push_back(shell.out.substr(at, zero - at));
        at = zero + 1;
    }
    return arguments;
}

TEST_P(BurningHint, PastedIntoAShellPassesExactlyThePath)
{
    const std::string& path = GetParam();
    const std::string dir = make_work_dir();
    const RunResult r = run_ringetch({"size", "20000", "image", path}, "exit\n", dir);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file_size(dir + "/" + path), 4704);
    const std::vector<std::string> expected = {"-audio", "dev=0,0,0", path};
    EXPECT_EQ(arguments_the_hint_passes(r.out, dir), expected) << r.out;
    EXPECT_EQ(file_size(dir + "/pwned"), -1) << "pasting the hint ran a command";
}

INSTANTIATE_TEST_SUITE_P(ImageFile, BurningHint,
                         testing::Values("image.rge", "a b.rge", "it's.rge", "50%.rge", "a\"b.rge", "$HOME.rge",
                                         "a`touch pwned`.rge", "$(touch pwned).rge", "a\\b.rge", "a\\\nb.rge",
                                         "line\nbreak.rge", "it's $5.rge", "'\"$`\\\n'.rge"));

// Paths without those characters keep the message byte for byte.
TEST(ImageFile, OrdinaryPathsKeepTheirBurningHint)
{
    for (const std::string path : {"image.rge", "a b.rge", "it's.rge", "50%.rge", "!x.rge", "*.rge"}) {
        SCOPED_TRACE(path);
        const std::string dir = make_work_dir();
        const RunResult r = run_ringetch({"size", "20000", "image", path}, "exit\n", dir);
        EXPECT_EQ(r.out, start_of_run(path));
    }
}
