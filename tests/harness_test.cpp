// The test harness's own promise: every working folder a test process makes is gone,
// with what the run left in it, once that process exits, and only then.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "program_run.h"

namespace {
bool exists(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}
}  // namespace

TEST(Harness, WorkFoldersAndWhatRunsLeftInThemGoWhenTheTestProcessExits)
{
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t child = fork();
    if (child == 0) {
        const std::string dir = make_work_dir();
        const RunResult r = run_ringetch({"size", "10000", "image", "disc/image.rge"}, "", dir);
        mkdir((dir + "/disc").c_str(), 0500);  // a folder the writer could not use
        const std::string line = dir + "\n";
        if (r.exit_status != 1 || write(report[1], line.data(), line.size()) < 0)
            _exit(2);
        std::exit(0);  // runs the harness's clean-up
    }
    close(report[1]);
    char path[4096] = {};
    const ssize_t got = read(report[0], path, sizeof path - 1);
    close(report[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_GT(got, 1);
    const std::string dir(path, static_cast<std::size_t>(got - 1));
    EXPECT_FALSE(exists(dir)) << dir;

    const std::string kept = make_work_dir();
    EXPECT_TRUE(exists(kept));  // this process has not exited yet
}

// Tests that run their cases on several threads make folders at once: every one of
// them is still known to the clean-up.
TEST(Harness, FoldersMadeOnSeveralThreadsAtOnceAreAllRemoved)
{
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t child = fork();
    if (child == 0) {
        constexpr int threads = 8;
        constexpr int each = 50;
        std::vector<std::string> dirs[threads];
        std::vector<std::thread> makers;
        for (int t = 0; t < threads; ++t)
            makers.emplace_back([&dirs, t] {
                for (int k = 0; k < each; ++k)
                    dirs[t].push_back(make_work_dir());
            });
        for (std::thread& maker : makers)
            maker.join();
        std::string lines;
        for (const std::vector<std::string>& made : dirs)
            for (const std::string& dir : made)
                lines += dir + "\n";
        if (write(report[1], lines.data(), lines.size()) != static_cast<ssize_t>(lines.size()))
            _exit(2);
        std::exit(0);
    }
    close(report[1]);
    std::string lines;
    char chunk[4096];
    for (ssize_t got; (got = read(report[0], chunk, sizeof chunk)) > 0;)
        lines.append(chunk, static_cast<std::size_t>(got));
    close(report[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::istringstream made(lines);
    int count = 0;
    for (std::string dir; std::getline(made, dir); ++count)
        EXPECT_FALSE(exists(dir)) << dir;
    EXPECT_EQ(count, 400);
}
