// The image file in the places a hostile user or system puts it: a FIFO that nobody
// reads, or whose reader stalls or quits, and a file-size limit. Each case runs the
// built binary; none can hang, every wait is bounded.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "dialogue_support.h"

namespace {

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
// the writer blocks is cleared when the writer starts, so one is not enough.
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
