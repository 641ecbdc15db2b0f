// Runs the built programs as a user would: arguments, a stdin transcript, and the
// captured stdout, stderr, exit status and image file. The interactive form keeps
// stdin and stdout as pipes so that a test can answer prompts and send signals.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

struct RunResult {
    int exit_status = -1;   // exit status, or -1 when the process did not exit normally
    int term_signal = 0;    // the signal that ended it, if one did
    bool timed_out = false; // killed after the time limit
    std::string out;
    std::string err;
};

// A fresh, empty working folder under the system's temporary folder; it is removed,
// with everything in it, when the test process exits.
std::string make_work_dir();

std::string read_file(const std::string& path);
long long file_size(const std::string& path);  // -1 when there is no file

// Runs any built program as run_ringetch runs ringetch.
RunResult run_program(const std::string& binary, const std::vector<std::string>& args, const std::string& stdin_text,
                      const std::string& work_dir, double timeout_seconds = 30);
RunResult run_program_with_stdin_fd(const std::string& binary, const std::vector<std::string>& args, int stdin_fd,
                                    const std::string& work_dir, double timeout_seconds = 30);

// Runs ringetch with args in work_dir, stdin holding exactly stdin_text (no text and
// closed at its end), and waits at most timeout_seconds.
RunResult run_ringetch(const std::vector<std::string>& args, const std::string& stdin_text,
                       const std::string& work_dir, double timeout_seconds = 30);

// Runs ringetch with stdin taken from an open file descriptor, or closed when fd < 0.
RunResult run_ringetch_with_stdin_fd(const std::vector<std::string>& args, int stdin_fd, const std::string& work_dir,
                                     double timeout_seconds = 30);

// What run_ringetch_with does with one of the child's descriptors 0, 1 and 2 when it
// is not handed an open descriptor of the test: leave it closed, or (1 and 2)
// collect what is written there into RunResult.
constexpr int closed_descriptor = -1;
constexpr int collected_output = -2;

// Runs ringetch with in, out and err as its descriptors 0, 1 and 2. Descriptors the
// test hands over should be close-on-exec in the test, so that the child holds no
// other copies of them (a pipe whose reader it kept would never break).
RunResult run_ringetch_with(const std::vector<std::string>& args, int in, int out, int err, const std::string& work_dir,
                            double timeout_seconds = 30);

// Runs `sh -c script` in work_dir with stdin holding stdin_text and stdout and stderr
// collected, as a user's shell would run ringetch: the script finds the built binary
// in $RINGETCH and sets limits and redirections itself.
RunResult run_shell(const std::string& script, const std::string& stdin_text, const std::string& work_dir,
                    double timeout_seconds = 30);

// ringetch running with piped stdin and stdout; stderr is collected to a file. With
// nonblocking_stdin the child's stdin is left non-blocking, as another program
// sharing it might leave it.
class InteractiveRun {
public:
    InteractiveRun(const std::vector<std::string>& args, const std::string& work_dir, bool nonblocking_stdin = false);
    // Any built program, run the same way.
    InteractiveRun(const std::string& binary, const std::vector<std::string>& args, const std::string& work_dir,
                   bool nonblocking_stdin = false);
    ~InteractiveRun();
    InteractiveRun(const InteractiveRun&) = delete;
    InteractiveRun& operator=(const InteractiveRun&) = delete;

    void send(const std::string& text);
    void close_stdin();
    void signal(int signal_number);
    // Reads stdout until it holds `needle` after everything consumed so far; true when
    // found before the time limit. The text read stays available through out().
    bool wait_for(const std::string& needle, double timeout_seconds = 30);
    // Waits for the process to end, reading the rest of stdout.
    RunResult finish(double timeout_seconds = 30);
    const std::string& out() const { return out_; }

private:
    bool read_some(double timeout_seconds);
    pid_t pid_ = -1;
    int stdin_fd_ = -1;
    int stdout_fd_ = -1;
    std::string err_path_;
    std::string out_;
    std::size_t consumed_ = 0;
};
