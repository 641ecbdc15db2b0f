// The test harness's own promise: every working folder a test process makes is gone,
// with what the run left in it, once that process exits, and only then.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
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
