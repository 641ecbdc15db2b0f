// Stop signals in the tools that take them (ringetch-picture, ringetch-refine): a
// Ctrl-C, SIGTERM or SIGHUP abandons the image being written, keeps whole records,
// and ends with 128 + the signal, also when the image's reader has stalled.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "png_fixture.h"
#include "program_run.h"

namespace {

const std::string abandoned = "Creating was break by user\n";

void pause_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// A folder with a small picture and a FIFO for the image.
struct PictureRun {
    std::string dir = make_work_dir();
    std::string fifo = dir + "/image.pipe";

    PictureRun()
    {
        std::vector<std::uint8_t> grey(32 * 24);
        for (std::size_t k = 0; k < grey.size(); ++k)
            grey[k] = static_cast<std::uint8_t>(k * 7);
        EXPECT_TRUE(write_grey_png(dir + "/picture.png", 32, 24, grey));
        EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    }

    std::vector<std::string> args(const char* size) const
    {
        return {"png", "picture.png", "tr0", "23000", "dtr", "1.388", "size", size, "image", fifo};
    }
};

bool has_part_file(const std::string& dir)
{
    DIR* folder = opendir(dir.c_str());
    bool found = false;
    while (const dirent* entry = readdir(folder))
        found = found || std::string(entry->d_name).find(".part") != std::string::npos;
    closedir(folder);
    return found;
}

}  // namespace

// The reader holds the FIFO open and never reads: the whole small image is drawn,
// but the rest of it never reaches the file, so the run is no success.
TEST(StopSignal, CtrlCOnAStalledReaderEndsAsAnAbandonedImage)
{
    PictureRun setup;
    InteractiveRun writer(PICTURE_BINARY, setup.args("3000000"), setup.dir);
    int reader = -1;
    for (int k = 0; k < 1000 && reader < 0; ++k, pause_ms(5))
        reader = open(setup.fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    pause_ms(300);  // the pipe fills and the writer waits
    writer.signal(SIGINT);
    const RunResult r = writer.finish(20);
    close(reader);
    EXPECT_EQ(r.exit_status, 130);
    EXPECT_EQ(r.err, abandoned);
    EXPECT_EQ(r.out.find("created succesfully"), std::string::npos) << r.out;
}

// The reader stops after 2 MB until the signal has come, then reads to the end.
TEST(StopSignal, EachStopSignalAbandonsThePictureWithItsOwnStatus)
{
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal_number);
        PictureRun setup;
        std::atomic<long long> read_bytes{0};
        std::atomic<bool> released{false};
        std::thread reader([&] {
            const int fd = open(setup.fifo.c_str(), O_RDONLY | O_CLOEXEC);
            std::vector<char> chunk(1 << 16);
            for (ssize_t n = 1; fd >= 0 && n > 0;) {
                while (read_bytes >= 2000000 && !released)
                    pause_ms(2);
                n = read(fd, chunk.data(), chunk.size());
                read_bytes += n > 0 ? n : 0;
            }
            close(fd);
        });
        InteractiveRun writer(PICTURE_BINARY, setup.args("200000000"), setup.dir);
        for (int k = 0; k < 3000 && read_bytes < 2000000; ++k)
            pause_ms(5);
        writer.signal(signal_number);
        pause_ms(50);
        released = true;
        const RunResult r = writer.finish(30);
        reader.join();
        EXPECT_EQ(r.exit_status, 128 + signal_number);
        EXPECT_EQ(r.err, abandoned);
        EXPECT_LT(read_bytes, 100000000) << "the image was written on";
        EXPECT_EQ(read_bytes % 2352, 0) << "records are written whole";
    }
}

// Waiting for an angle, the refinement tool ends at once on SIGTERM or SIGHUP.
TEST(StopSignal, RefinementEndsAtTheReadingPromptWithTheSignalsStatus)
{
    for (const int signal_number : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal_number);
        const std::string dir = make_work_dir();
        InteractiveRun run(REFINE_BINARY,
                           {"tr0_f", "99.99634", "tr0_t", "100.03634", "dtr_t", "0.010002685701", "dtr_f",
                            "0.009999113968", "size", "3000000"},
                           dir);
        ASSERT_TRUE(run.wait_for("angle")) << run.out();
        run.signal(signal_number);
        const RunResult r = run.finish(10);
        EXPECT_EQ(r.exit_status, 128 + signal_number);
        EXPECT_FALSE(has_part_file(dir));
    }
}
