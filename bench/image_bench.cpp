// How fast ringetch writes its default image, against the disk's own speed: the
// built binary (fed "exit") writes the DIRECT image to a file, alternating with a
// plain writer of 1 MiB blocks that writes as many bytes to the same file; then
// the same image into /dev/null gives the CPU cost per audio byte. Each run is a
// child process measured with wait4, so both writers pay the same start-up.
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

constexpr long raw_block_bytes = 1L << 20;
constexpr double max_ratio = 1.5;           // ringetch wall / raw writer wall
constexpr double max_ns_per_byte = 0.5;     // CPU into /dev/null
constexpr long max_rss_kib = 4L * 1024;

struct Options {
    std::string ringetch = RINGETCH_BINARY;  // the built binary under test
    std::string folder = ".";                // where both writers put their file
    int runs = 5;                            // runs of each writer
};

// One child process: wall time from fork to reaping, CPU times and peak resident
// memory as the kernel accounted them.
struct Run {
    double wall_s = 0;
    double user_s = 0;
    double sys_s = 0;
    long max_rss_kib = 0;
    bool ok = false;  // exited with status 0
};

double seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

// Runs argv with stdin holding stdin_text and stdout thrown away (stderr stays, so
// that a failing writer says why). Returns what wait4 measured.
Run run_child(const std::vector<std::string>& argv, const char* stdin_text)
{
    Run run;
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) {
        std::perror("ringetch_bench: pipe");
        return run;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("ringetch_bench: fork");
        return run;
    }
    if (pid == 0) {
        dup2(pipe_fds[0], STDIN_FILENO);
        close(pipe_fds[0]);
        close(pipe_fds[1]);
        const int null_fd = open("/dev/null", O_WRONLY);
        dup2(null_fd, STDOUT_FILENO);
        std::vector<char*> args;
        args.reserve(argv.size() + 1);
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        std::perror("ringetch_bench: exec");
        _exit(127);
    }
    close(pipe_fds[0]);
    // The text is a few bytes, far below the pipe's capacity, so this cannot block.
    const ssize_t written = write(pipe_fds[1], stdin_text, std::strlen(stdin_text));
    close(pipe_fds[1]);
    int status = 0;
    rusage usage{};
    const pid_t reaped = wait4(pid, &status, 0, &usage);
    const auto end = std::chrono::steady_clock::now();
    run.wall_s = std::chrono::duration<double>(end - start).count();
    run.user_s = seconds(usage.ru_utime);
    run.sys_s = seconds(usage.ru_stime);
    run.max_rss_kib = usage.ru_maxrss;
    run.ok = reaped == pid && written >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

long file_bytes(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return -1;
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fclose(file);
    return size;
}

// Each timed run writes a new file: the previous one is deleted and the disk synced
// first, outside the timing, so that no run pays for another's writeback.
void clear_target(const std::string& path)
{
    std::remove(path.c_str());
    sync();
}

// The raw writer, run as a child of this same program: bytes to path in 1 MiB
// blocks, each block one unbuffered fwrite. Returns the process exit status.
int write_raw(const char* path, long bytes)
{
    static char block[raw_block_bytes];
    std::memset(block, 0xAA, sizeof block);
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        std::perror("ringetch_bench: raw writer");
        return 1;
    }
    std::setvbuf(file, nullptr, _IONBF, 0);
    for (long left = bytes; left > 0; left -= raw_block_bytes) {
        const std::size_t part = static_cast<std::size_t>(std::min(left, raw_block_bytes));
        if (std::fwrite(block, 1, part, file) != part) {
            std::perror("ringetch_bench: raw writer");
            return 1;
        }
    }
    if (std::fclose(file) != 0) {
        std::perror("ringetch_bench: raw writer");
        return 1;
    }
    return 0;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Summary {
    double wall_s;
    double user_s;
    double sys_s;
    long max_rss_kib;  // the largest of all runs
};

Summary summarise(const std::vector<Run>& runs)
{
    std::vector<double> wall;
    std::vector<double> user;
    std::vector<double> sys;
    long rss = 0;
    for (const Run& run : runs) {
        wall.push_back(run.wall_s);
        user.push_back(run.user_s);
        sys.push_back(run.sys_s);
        rss = std::max(rss, run.max_rss_kib);
    }
    return {median(wall), median(user), median(sys), rss};
}

void print_run(const char* name, int index, const Run& run)
{
    std::printf("  %-8s run %d: wall %.3f s  user %.3f s  sys %.3f s  peak RSS %ld KiB\n", name, index + 1,
                run.wall_s, run.user_s, run.sys_s, run.max_rss_kib);
}

void print_summary(const char* name, const Summary& s, long bytes)
{
    std::printf("%-8s median wall %.3f s  user %.3f s  sys %.3f s  %.0f MB/s  peak RSS %ld KiB (%.2f MiB)\n", name,
                s.wall_s, s.user_s, s.sys_s, static_cast<double>(bytes) / s.wall_s / 1e6, s.max_rss_kib,
                static_cast<double>(s.max_rss_kib) / 1024);
}

const char* verdict(bool met) { return met ? "met" : "MISSED"; }

bool parse_options(int argc, char** argv, Options& options)
{
    for (int k = 1; k + 1 < argc; k += 2) {
        const std::string name = argv[k];
        if (name == "--ringetch")
            options.ringetch = argv[k + 1];
        else if (name == "--folder")
            options.folder = argv[k + 1];
        else if (name == "--runs")
            options.runs = std::atoi(argv[k + 1]);
        else
            return false;
    }
    return argc % 2 == 1 && options.runs > 0;
}

void print_machine(const Options& options)
{
    char date[64];
    const std::time_t now = std::time(nullptr);
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));
    std::printf("%s, %ld cores online; %d runs of each writer into %s\n", date, sysconf(_SC_NPROCESSORS_ONLN),
                options.runs, options.folder.c_str());
}

// Other work on the machine stretches wall times; the load average shows it.
void print_load(const char* when)
{
    double load[1] = {0};
    if (getloadavg(load, 1) == 1)
        std::printf("load average %s: %.2f\n", when, load[0]);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--raw-writer") == 0)
        return write_raw(argv[2], std::atol(argv[3]));
    Options options;
    if (!parse_options(argc, argv, options)) {
        std::fprintf(stderr, "usage: ringetch_bench [--ringetch PATH] [--folder DIR] [--runs N]\n");
        return 2;
    }
    print_machine(options);
    print_load("before");
    // Both writers write the same file, deleted before every run. Each timed run
    // follows an untimed run of the same writer: on a virtual machine, a writer that
    // takes over the memory that the other writer's file has just freed was seen to
    // pay up to seven times its usual system time, which would make the comparison
    // depend on the order of the runs.
    const std::string path = options.folder + "/ringetch_bench.rge";
    const std::vector<std::string> ringetch_to_file = {options.ringetch, "image", path};
    const std::vector<std::string> ringetch_to_null = {options.ringetch, "image", "/dev/null"};

    // The first image fixes the number of bytes the raw writer writes; it is not timed.
    clear_target(path);
    if (!run_child(ringetch_to_file, "exit\n").ok) {
        std::fprintf(stderr, "ringetch_bench: %s did not write its image\n", options.ringetch.c_str());
        return 1;
    }
    const long image_bytes = file_bytes(path);
    const std::vector<std::string> raw_to_file = {"/proc/self/exe", "--raw-writer", path, std::to_string(image_bytes)};
    std::printf("default image: %ld bytes\n", image_bytes);

    std::vector<Run> ringetch_runs;
    std::vector<Run> raw_runs;
    bool all_ok = true;
    for (int k = 0; k < options.runs; ++k) {
        // Alternate which writer goes first, so neither always follows the other.
        for (int turn = 0; turn < 2; ++turn) {
            const bool ringetch_now = (turn == 0) == (k % 2 == 0);
            const std::vector<std::string>& writer = ringetch_now ? ringetch_to_file : raw_to_file;
            clear_target(path);
            all_ok = run_child(writer, "exit\n").ok && all_ok;
            clear_target(path);
            const Run run = run_child(writer, "exit\n");
            all_ok = all_ok && run.ok && file_bytes(path) == image_bytes;
            print_run(ringetch_now ? "ringetch" : "raw", k, run);
            (ringetch_now ? ringetch_runs : raw_runs).push_back(run);
        }
    }
    std::remove(path.c_str());

    std::vector<Run> null_runs;
    for (int k = 0; k < options.runs; ++k) {
        const Run run = run_child(ringetch_to_null, "exit\n");
        all_ok = all_ok && run.ok;
        print_run("/dev/null", k, run);
        null_runs.push_back(run);
    }
    if (!all_ok) {
        std::fprintf(stderr, "ringetch_bench: a run failed or wrote a file of the wrong size\n");
        return 1;
    }

    const Summary ringetch = summarise(ringetch_runs);
    const Summary raw = summarise(raw_runs);
    const Summary to_null = summarise(null_runs);
    std::vector<double> null_cpu;
    null_cpu.reserve(null_runs.size());
    for (const Run& run : null_runs)
        null_cpu.push_back(run.user_s + run.sys_s);
    const double ratio = ringetch.wall_s / raw.wall_s;
    const double ns_per_byte = median(null_cpu) * 1e9 / static_cast<double>(image_bytes);
    const long rss = std::max(ringetch.max_rss_kib, to_null.max_rss_kib);

    print_load("after");
    std::printf("\n");
    print_summary("ringetch", ringetch, image_bytes);
    print_summary("raw", raw, image_bytes);
    std::printf("ratio ringetch / raw writer (median wall): %.2f  (target <= %.1f: %s)\n", ratio, max_ratio,
                verdict(ratio <= max_ratio));
    std::printf("into /dev/null: median user %.3f s  sys %.3f s  = %.3f ns per audio byte  (target <= %.1f: %s)\n",
                to_null.user_s, to_null.sys_s, ns_per_byte, max_ns_per_byte, verdict(ns_per_byte <= max_ns_per_byte));
    std::printf("ringetch peak RSS: %ld KiB  (target <= %ld KiB: %s)\n", rss, max_rss_kib,
                verdict(rss <= max_rss_kib));
    return 0;
}
