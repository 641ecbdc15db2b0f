// Faults from outside the dialogue: an image folder that disappears between two
// images, a folder given as standard input, and Ctrl-C pressed many times while an
// image is written, at the prompt and in the "press ENTER" wait. After an interrupted
// image the next one must be exactly what the interleaver's carried-over state gives.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "common/calibration_state.h"
#include "common/interrupt.h"
#include "image/images.h"
#include "image/interleaver.h"
#include "program_run.h"
#include "reference_image.h"

namespace {

const std::string prompt = "enter number of the LINE\n";
const std::string success_line = "created succesfully.\n";

int count_of(const std::string& text, const std::string& needle)
{
    int count = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

// ---------------------------------------------------------------------------------
// The image as a named pipe. ringetch's fopen waits until the test opens the pipe for
// reading, and its writes wait until the test reads: while the test holds off, the
// writer is stuck inside its image, so a Ctrl-C sent then lands in mid-image without
// any race, and the test receives every byte that reaches the file.

int open_image_pipe(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd >= 0)
        fcntl(fd, F_SETPIPE_SZ, 4096);  // the smallest pipe: the writer blocks early
    return fd;
}

// Everything the writer sends until it closes the file; false if it stalls.
bool read_image_pipe(int fd, std::string& bytes)
{
    char chunk[65536];
    for (;;) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 60000) <= 0)
            return false;
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n == 0)
            return true;  // the writer closed the file
        if (n > 0)
            bytes.append(chunk, static_cast<std::size_t>(n));
        else if (errno != EAGAIN && errno != EINTR)
            return false;
    }
}

// Opens the pipe, lets `start` make ringetch write one image into it, and collects it.
template <typename Start>
std::string receive_image(const std::string& path, Start start)
{
    const int fd = open_image_pipe(path);
    EXPECT_GE(fd, 0) << std::strerror(errno);
    start();
    std::string bytes;
    EXPECT_TRUE(read_image_pipe(fd, bytes)) << "the image writer stalled";
    close(fd);
    return bytes;
}

// ---------------------------------------------------------------------------------
// The same images drawn in this process through the real core, from the interleaver
// state as it stands. With interrupt_at_record, the image is interrupted at the end of
// the turn that writes that record.
std::string draw_image(TrackModel model, TrackModel reference, double size, int interrupt_at_record = no_interrupt)
{
    const CoreRun run =
        run_track_core({model.tr0, model.dtr, reference.tr0, reference.dtr, size}, interrupt_at_record);
    return {run.file.begin(), run.file.end()};
}

}  // namespace

// The abandoned image holds every record written before the interruption, but the
// interleaver ring and the partly filled sector stay as the interruption left them,
// and the next image continues from there. Which turn the Ctrl-C ended is not known
// in advance; it is recovered from the abandoned image: every turn here is longer
// than a record, so each turn ends at a different file length, and the replay in
// this process stops at the end of the turn that writes the abandoned image's last
// byte. That replay must give the abandoned bytes exactly, and continuing from its
// state must give every later image exactly. Ctrl-C at the prompt and in the
// "press ENTER" wait must change nothing.
TEST(Fault, CtrlCAbandonsTheImageAndTheNextImagesContinueTheInterleaver)
{
    const std::string dir = make_work_dir();
    const std::string pipe_path = dir + "/image.pipe";
    ASSERT_EQ(mkfifo(pipe_path.c_str(), 0600), 0) << std::strerror(errno);
    CalibrationState state;
    state.ranges.tr0_f = 3000;
    state.ranges.tr0_t = 3200;
    state.ranges.dtr_t = 2;
    state.ranges.dtr_f = 1;
    state.size = 1500000;  // more than the writer's 1 MiB block: it must write mid-image
    InteractiveRun run({"size", "1500000", "tr0_f", "3000", "tr0_t", "3200", "dtr_t", "2", "dtr_f", "1", "image",
                        "image.pipe"},
                       dir);

    const std::string abandoned = receive_image(pipe_path, [&] {
        ASSERT_TRUE(run.wait_for("line number 0, start byte - 0 Mb (")) << run.out();
        for (int k = 0; k < 25; ++k)
            run.signal(SIGINT);
    });
    ASSERT_TRUE(run.wait_for(prompt)) << run.out();
    run.signal(SIGINT);  // at the prompt
    const std::string direct = receive_image(pipe_path, [&] { run.send("image\n"); });
    ASSERT_TRUE(run.wait_for(success_line)) << run.out();
    const std::string average = receive_image(pipe_path, [&] { run.send("averimage\n"); });
    ASSERT_TRUE(run.wait_for("press ENTER for restore image")) << run.out();
    run.signal(SIGINT);  // in the "press ENTER" wait
    const std::string restored = receive_image(pipe_path, [&] { run.send("\n"); });
    ASSERT_TRUE(run.wait_for("creating DIRECT image\n")) << run.out();
    ASSERT_TRUE(run.wait_for(success_line)) << run.out();
    run.send("exit\n");
    const RunResult r = run.finish();
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "Creating was break by user\n");
    EXPECT_EQ(count_of(r.out, success_line), 3) << r.out;  // all but the abandoned one

    ASSERT_FALSE(abandoned.empty());
    EXPECT_EQ(abandoned.size() % 2352, 0U);
    reset_synthesis_state();
    const std::string whole = draw_image(direct_corner(state.ranges), range_middle(state.ranges), state.size);
    ASSERT_LT(abandoned.size(), whole.size()) << "the Ctrl-C did not end the image";

    reset_synthesis_state();
    EXPECT_TRUE(draw_image(direct_corner(state.ranges), range_middle(state.ranges), state.size,
                           static_cast<int>(abandoned.size() / 2352)) == abandoned);
    EXPECT_TRUE(draw_image(direct_corner(state.ranges), range_middle(state.ranges), state.size) == direct);
    EXPECT_TRUE(draw_image(range_middle(state.ranges), range_middle(state.ranges), state.size) == average);
    EXPECT_TRUE(draw_image(direct_corner(state.ranges), range_middle(state.ranges), state.size) == restored);
    unlink(pipe_path.c_str());
    rmdir(dir.c_str());
}

// The folder of the image path is removed while the dialogue waits: the next image,
// in stage one or in stage two, ends the program with the system's reason.
TEST(Fault, ImageFolderRemovedBetweenImagesEndsTheProgramAtTheNextImage)
{
    for (const std::string command : {"image\n", "12-14\n"}) {
        SCOPED_TRACE(command);
        const std::string dir = make_work_dir();
        ASSERT_EQ(mkdir((dir + "/disc").c_str(), 0700), 0);
        InteractiveRun run({"size", "20000", "image", "disc/image.rge"}, dir);
        ASSERT_TRUE(run.wait_for(success_line + "burn it by command\n")) << run.out();
        ASSERT_TRUE(run.wait_for(prompt)) << run.out();
        unlink((dir + "/disc/image.rge").c_str());
        ASSERT_EQ(rmdir((dir + "/disc").c_str()), 0);
        run.send(command);
        const RunResult r = run.finish();
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_EQ(r.err, std::string("ringetch: ") + std::strerror(ENOENT) + "\n");
        EXPECT_EQ(count_of(r.out, success_line), 1) << r.out;
        // Nothing is printed after the failure: the prompt, or the echo of the range.
        const std::string last = command == "image\n" ? prompt : command;
        EXPECT_EQ(r.out.rfind(last), r.out.size() - last.size()) << r.out;
        rmdir(dir.c_str());
    }
}

TEST(Fault, StandardInputThatIsAFolderFailsTenReadsAndEnds)
{
    const std::string dir = make_work_dir();
    const int folder = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(folder, 0);
    const RunResult r = run_ringetch_with_stdin_fd({"size", "20000"}, folder, dir);
    close(folder);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "read stdin error\n");
    EXPECT_EQ(r.out.size() - r.out.rfind(prompt), prompt.size()) << r.out;  // nothing after the prompt
    unlink((dir + "/image.rge").c_str());
    rmdir(dir.c_str());
}
