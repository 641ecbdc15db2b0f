// Process plumbing for the tests that run the built binary.
#include "program_run.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <mutex>
#include <poll.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

[[noreturn]] void exec_program(std::string binary, const std::vector<std::string>& args, const std::string& work_dir)
{
    if (chdir(work_dir.c_str()) != 0)
        _exit(127);
    std::vector<char*> argv;
    argv.push_back(binary.data());
    std::vector<std::string> copies = args;
    for (std::string& arg : copies)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(binary.c_str(), argv.data());
    _exit(127);
}

// Waits for pid with a time limit; kills it when the limit passes.
void wait_with_limit(pid_t pid, double timeout_seconds, RunResult& result)
{
    const auto start = Clock::now();
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (seconds_since(start) > timeout_seconds) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            result.timed_out = true;
            break;
        }
        usleep(2000);
    }
    if (WIFEXITED(status))
        result.exit_status = WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        result.term_signal = WTERMSIG(status);
}

// The working folders made so far, each with the process that made it; a process
// removes its own, with everything in them, when it exits. A forked child (a death
// test's) inherits the list and the exit handler but removes only what it made.
struct WorkDir {
    pid_t maker;
    std::string path;
};

std::vector<WorkDir>& work_dirs()
{
    static std::vector<WorkDir> dirs;
    return dirs;
}

// Tests that run cases on several threads make folders at once.
std::mutex& work_dirs_lock()
{
    static std::mutex lock;
    return lock;
}

int remove_entry(const char* path, const struct stat* /*info*/, int /*type*/, struct FTW* /*at*/)
{
    std::remove(path);
    return 0;
}

bool removal_registered = false;

void remove_work_dirs()
{
    const pid_t self = getpid();
    for (const WorkDir& dir : work_dirs()) {
        if (dir.maker != self)
            continue;
        chmod(dir.path.c_str(), 0700);  // a test may have made it unwritable
        nftw(dir.path.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    }
}

}  // namespace

std::string make_work_dir()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/ringetch-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        std::abort();
    const std::lock_guard<std::mutex> hold(work_dirs_lock());
    std::vector<WorkDir>& dirs = work_dirs();  // made before the handler, so it outlives it
    if (!removal_registered) {
        removal_registered = true;
        std::atexit(remove_work_dirs);
    }
    dirs.push_back({getpid(), pattern});
    return pattern;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

long long file_size(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return -1;
    return static_cast<long long>(info.st_size);
}

namespace {

// Forks a child that gets in, out and err (see run_ringetch_with) as its descriptors
// 0, 1 and 2 and then runs exec_child(); waits for it and collects its output.
template <typename ExecChild>
RunResult run_child_with(int in, int out, int err, const std::string& work_dir, double timeout_seconds,
                         ExecChild exec_child)
{
    const std::string paths[3] = {"", work_dir + "/.stdout", work_dir + "/.stderr"};
    const pid_t pid = fork();
    if (pid == 0) {
        const int wanted[3] = {in, out, err};
        int sources[3] = {-1, -1, -1};
        // First everything to descriptors above 2, so that no dup2 below overwrites a
        // source still needed; the copies close at exec.
        for (int k = 0; k < 3; ++k) {
            if (wanted[k] == collected_output && k > 0)
                sources[k] = open(paths[k].c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            else if (wanted[k] >= 0)
                sources[k] = fcntl(wanted[k], F_DUPFD_CLOEXEC, 10);
        }
        for (int k = 0; k < 3; ++k) {
            if (sources[k] >= 0)
                dup2(sources[k], k);
            else
                close(k);
        }
        exec_child();
    }
    RunResult result;
    wait_with_limit(pid, timeout_seconds, result);
    for (int k = 1; k < 3; ++k) {
        if ((k == 1 ? out : err) != collected_output)
            continue;
        (k == 1 ? result.out : result.err) = read_file(paths[k]);
        unlink(paths[k].c_str());
    }
    return result;
}

}  // namespace

RunResult run_ringetch_with(const std::vector<std::string>& args, int in, int out, int err, const std::string& work_dir,
                            double timeout_seconds)
{
    return run_child_with(in, out, err, work_dir, timeout_seconds,
                          [&] { exec_program(RINGETCH_BINARY, args, work_dir); });
}

RunResult run_shell(const std::string& script, const std::string& stdin_text, const std::string& work_dir,
                    double timeout_seconds)
{
    const std::string in_path = work_dir + "/.stdin";
    {
        std::ofstream in(in_path, std::ios::binary);
        in << stdin_text;
    }
    const int fd = open(in_path.c_str(), O_RDONLY | O_CLOEXEC);
    const RunResult result =
        run_child_with(fd, collected_output, collected_output, work_dir, timeout_seconds, [&] {
            if (chdir(work_dir.c_str()) != 0 || setenv("RINGETCH", RINGETCH_BINARY, 1) != 0)
                _exit(127);
            execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        });
    close(fd);
    unlink(in_path.c_str());
    return result;
}

RunResult run_program_with_stdin_fd(const std::string& binary, const std::vector<std::string>& args, int stdin_fd,
                                    const std::string& work_dir, double timeout_seconds)
{
    const std::string out_path = work_dir + "/.stdout";
    const std::string err_path = work_dir + "/.stderr";
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        dup2(err, 2);
        if (out > 2)
            close(out);
        if (err > 2)
            close(err);
        // Only now: with fd 0 closed first, the output file would have become stdin.
        if (stdin_fd >= 0)
            dup2(stdin_fd, 0);
        else
            close(0);
        exec_program(binary, args, work_dir);
    }
    RunResult result;
    wait_with_limit(pid, timeout_seconds, result);
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    unlink(out_path.c_str());
    unlink(err_path.c_str());
    return result;
}

RunResult run_ringetch_with_stdin_fd(const std::vector<std::string>& args, int stdin_fd, const std::string& work_dir,
                                     double timeout_seconds)
{
    return run_program_with_stdin_fd(RINGETCH_BINARY, args, stdin_fd, work_dir, timeout_seconds);
}

RunResult run_program(const std::string& binary, const std::vector<std::string>& args, const std::string& stdin_text,
                      const std::string& work_dir, double timeout_seconds)
{
    const std::string in_path = work_dir + "/.stdin";
    {
        std::ofstream in(in_path, std::ios::binary);
        in << stdin_text;
    }
    const int fd = open(in_path.c_str(), O_RDONLY);
    RunResult result = run_program_with_stdin_fd(binary, args, fd, work_dir, timeout_seconds);
    close(fd);
    unlink(in_path.c_str());
    return result;
}

RunResult run_ringetch(const std::vector<std::string>& args, const std::string& stdin_text,
                       const std::string& work_dir, double timeout_seconds)
{
    return run_program(RINGETCH_BINARY, args, stdin_text, work_dir, timeout_seconds);
}

InteractiveRun::InteractiveRun(const std::vector<std::string>& args, const std::string& work_dir,
                               bool nonblocking_stdin)
    : InteractiveRun(RINGETCH_BINARY, args, work_dir, nonblocking_stdin)
{
}

InteractiveRun::InteractiveRun(const std::string& binary, const std::vector<std::string>& args,
                               const std::string& work_dir, bool nonblocking_stdin)
    : err_path_(work_dir + "/.stderr")
{
    int to_child[2];
    int from_child[2];
    if (pipe(to_child) != 0 || pipe(from_child) != 0)
        std::abort();
    if (nonblocking_stdin)
        fcntl(to_child[0], F_SETFL, fcntl(to_child[0], F_GETFL) | O_NONBLOCK);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(to_child[0], 0);
        dup2(from_child[1], 1);
        const int err = open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(err, 2);
        close(to_child[0]);
        close(to_child[1]);
        close(from_child[0]);
        close(from_child[1]);
        exec_program(binary, args, work_dir);
    }
    close(to_child[0]);
    close(from_child[1]);
    stdin_fd_ = to_child[1];
    stdout_fd_ = from_child[0];
    std::signal(SIGPIPE, SIG_IGN);
}

InteractiveRun::~InteractiveRun()
{
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (stdin_fd_ >= 0)
        close(stdin_fd_);
    if (stdout_fd_ >= 0)
        close(stdout_fd_);
}

void InteractiveRun::send(const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(stdin_fd_, text.data() + done, text.size() - done);
        if (n <= 0 && errno != EINTR)
            return;
        if (n > 0)
            done += static_cast<std::size_t>(n);
    }
}

void InteractiveRun::close_stdin()
{
    if (stdin_fd_ >= 0)
        close(stdin_fd_);
    stdin_fd_ = -1;
}

void InteractiveRun::signal(int signal_number) { kill(pid_, signal_number); }

bool InteractiveRun::read_some(double timeout_seconds)
{
    pollfd ready{stdout_fd_, POLLIN, 0};
    const int waited = poll(&ready, 1, static_cast<int>(timeout_seconds * 1000));
    if (waited <= 0)
        return false;
    char chunk[65536];
    const ssize_t n = read(stdout_fd_, chunk, sizeof chunk);
    if (n <= 0)
        return false;
    out_.append(chunk, static_cast<std::size_t>(n));
    return true;
}

bool InteractiveRun::wait_for(const std::string& needle, double timeout_seconds)
{
    const auto start = Clock::now();
    for (;;) {
        const std::size_t found = out_.find(needle, consumed_);
        if (found != std::string::npos) {
            consumed_ = found + needle.size();
            return true;
        }
        const double left = timeout_seconds - seconds_since(start);
        if (left <= 0 || !read_some(left))
            return false;
    }
}

RunResult InteractiveRun::finish(double timeout_seconds)
{
    close_stdin();
    const auto start = Clock::now();
    while (seconds_since(start) < timeout_seconds && read_some(timeout_seconds - seconds_since(start))) {
    }
    RunResult result;
    wait_with_limit(pid_, timeout_seconds, result);
    pid_ = -1;
    result.out = out_;
    result.err = read_file(err_path_);
    return result;
}
