// Ctrl-C: it abandons the image being written and the dialogue goes on; while the
// dialogue waits for input it changes nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "dialogue_support.h"

namespace {

const std::string abandoned = "Creating was break by user\n";

// The image file is a named pipe that a thread of the test reads. After 20 MB of an
// image (well into its line 1, which starts at 13.7 MB) the thread stops reading,
// so the writer stalls inside line 1 until the test has sent its signal: the signal
// arrives mid-image however fast or slow the writer is.
class StallingImageReader {
public:
    explicit StallingImageReader(const std::string& dir) : path_(dir + "/image.pipe")
    {
        if (mkfifo(path_.c_str(), 0600) != 0)
            std::abort();
        thread_ = std::thread([this] { read_images(); });
    }
    ~StallingImageReader()
    {
        stop_ = true;
        release();
        // Unblocks an open() still waiting for a writer.
        const int fd = open(path_.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            close(fd);
        thread_.join();
        unlink(path_.c_str());
    }
    StallingImageReader(const StallingImageReader&) = delete;
    StallingImageReader& operator=(const StallingImageReader&) = delete;

    std::vector<std::string> args() const { return {"size", "300000000", "image", path_}; }

    // Lets the stalled image drain to its end.
    void release()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        wake_.notify_all();
    }

    long long images_read() const { return images_; }

private:
    void read_images()
    {
        std::vector<char> chunk(1 << 16);
        while (!stop_) {
            const int fd = open(path_.c_str(), O_RDONLY);
            if (fd < 0)
                return;
            long long total = 0;
            for (;;) {
                if (total >= stall_at) {
                    std::unique_lock<std::mutex> lock(mutex_);
                    wake_.wait(lock, [this] { return released_; });
                }
                const ssize_t n = read(fd, chunk.data(), chunk.size());
                if (n <= 0)
                    break;
                total += n;
            }
            close(fd);
            if (total > 0)
                images_ += 1;
            const std::lock_guard<std::mutex> lock(mutex_);
            released_ = false;
        }
    }

    static constexpr long long stall_at = 20000000;
    std::string path_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool released_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<long long> images_{0};
};

// Waits for the image being written to reach its line 1, interrupts it, lets it
// drain, and waits for the prompt that follows.
void interrupt_in_line_one(InteractiveRun& run, StallingImageReader& reader)
{
    ASSERT_TRUE(run.wait_for("line number 1, start byte - 13.6788 Mb (black)\n")) << run.out();
    run.signal(SIGINT);
    reader.release();
    ASSERT_TRUE(run.wait_for(prompt)) << run.out();
}

TEST(Interrupt, AbandonsTheStartImageAndTheDialogueGoesOn)
{
    const std::string dir = make_work_dir();
    StallingImageReader reader(dir);
    InteractiveRun run(reader.args(), dir);
    interrupt_in_line_one(run, reader);
    run.send("auto off\nnext 0.5\n");
    ASSERT_TRUE(run.wait_for(range_display("23025", "23550", "1.38", "1.32") + prompt)) << run.out();
    run.send("exit\n");
    const RunResult r = run.finish();
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, abandoned);
    EXPECT_EQ(r.out.find("created succesfully"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.rfind(default_ranges + "creating DIRECT image\nline number 0, start byte - 0 Mb (white)\n", 0), 0U)
        << r.out;
    EXPECT_EQ(r.out.find("line number 2,"), std::string::npos) << r.out;
}

TEST(Interrupt, AbandonsEveryImageItArrivesInAndStageTwoGoesOn)
{
    const std::string dir = make_work_dir();
    StallingImageReader reader(dir);
    InteractiveRun run(reader.args(), dir);
    interrupt_in_line_one(run, reader);
    run.send("12-14\n");
    ASSERT_TRUE(run.wait_for("12-14\n")) << run.out();
    interrupt_in_line_one(run, reader);  // the sweep image of stage two
    run.send("next 0.09\n");
    ASSERT_TRUE(run.wait_for("next 0.09\nbad command\n")) << run.out();
    run.send("exit\n");
    const RunResult r = run.finish();
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, abandoned + abandoned);
    EXPECT_EQ(r.out.find("created succesfully"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("line number 2,"), std::string::npos) << r.out;
}

// The handler stays in force and a read it interrupts is not a failed read; the
// next image is written whole, because the writer clears the request it finds.
TEST(Interrupt, WhileWaitingForInputChangesNothing)
{
    InteractiveRun run(tiny_image, make_work_dir());
    ASSERT_TRUE(run.wait_for(prompt));
    for (int k = 0; k < 2; ++k) {
        run.signal(SIGINT);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    run.send("auto off\nnext 0.5\nimage\nexit\n");
    const RunResult r = run.finish();
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.term_signal, 0);
    EXPECT_EQ(r.out, tiny_start + "next 0.5\n" + range_display("23025", "23550", "1.38", "1.32") + prompt + empty_image());
    EXPECT_EQ(r.err, "");
}

}  // namespace
