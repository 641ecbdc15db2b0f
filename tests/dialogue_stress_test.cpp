// Stress test of the whole program: thousands of random stdin transcripts built from
// the commands of both stages and their near misses, and random command lines, each
// run against the built binary with small images. Every run must end in time with
// status 0 or 1, print only the messages the dialogue knows, leave only image files
// of whole 2352-byte records, and print nothing else on stderr (so no sanitizer
// report). Reproducible: transcript i of seed S is always the same text; the seed is
// RINGETCH_STRESS_SEED (a fixed one by default), the counts RINGETCH_STRESS_RUNS and
// RINGETCH_STRESS_COMMAND_LINES.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <mutex>
#include <random>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "program_run.h"

namespace {

constexpr std::uint64_t default_seed = 5150;
#if defined(__SANITIZE_ADDRESS__)
// A sanitized process takes some 20 ms to start and end: fewer runs keep the
// sanitizer build's suite short.
constexpr int default_runs = 1200;
constexpr int default_command_lines = 150;
#else
constexpr int default_runs = 3000;
constexpr int default_command_lines = 300;
#endif
constexpr int parallel_runs = 2;
constexpr double run_time_bound = 30;  // seconds; only a hung run comes near it
constexpr long long record_bytes = 2352;

std::uint64_t number_from_environment(const char* name, std::uint64_t fallback)
{
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

// ---------------------------------------------------------------------------------
// The grammar of generated input.

class Draw {
public:
    Draw(std::uint64_t seed, std::uint64_t index)
    {
        std::seed_seq sequence{static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(seed >> 32),
                               static_cast<std::uint32_t>(index)};
        engine_.seed(sequence);
    }
    int integer(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine_); }
    double real(double low, double high) { return std::uniform_real_distribution<double>(low, high)(engine_); }
    bool chance(double p) { return real(0, 1) < p; }
    template <std::size_t n>
    const char* pick(const char* const (&words)[n])
    {
        return words[integer(0, static_cast<int>(n) - 1)];
    }

private:
    std::mt19937_64 engine_;
};

std::string printed(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string digits(Draw& draw, int count)
{
    std::string text;
    for (int k = 0; k < count; ++k)
        text += static_cast<char>('0' + draw.integer(k == 0 ? 1 : 0, 9));
    return text;
}

// A number as a user might type it for next, prev and the setters.
std::string number_text(Draw& draw)
{
    static const char* const ordinary[] = {"0.5", "1", "2", "0.3", "1.5", "0.2", "3", "0.75", "1.25", "0.1"};
    static const char* const odd[] = {
        "0.09", "0.05", "0",      "-1",       "-0.5",     "-0",   "007",   "01.5",   "+1",     "+0.5",
        "1e1",  "5e-1", "1E0",    "3e+38",    "3e38",     "1e39", "-1e39", "1e-45",  "1e-50",  "inf",
        "-inf", "nan",  "INF",    "NaN",      "infinity", "nan(0x1)", "0x1p-1", "0x1.8p1", "0X10", "0x",
        "1.",   ".5",   "1.0",    "5.0",      "1..2",     "1e",   "1e+",   "--1",    "1-2",    "",
        "1,5",  "1.2345678", "340282356779733661637539395458142568448", "3.4028235e38"};
    switch (draw.integer(0, 5)) {
    case 0:
    case 1: return draw.pick(ordinary);
    case 2: return printed("%g", draw.real(0.1, 3));
    case 3: return digits(draw, 30) + (draw.chance(0.3) ? "." + digits(draw, 5) : "");
    default: return draw.pick(odd);
    }
}

std::string line_number_text(Draw& draw)
{
    static const char* const odd[] = {"2147483647", "-2147483648", "2147483648", "-2147483649", "1073741823",
                                      "3436",       "3437",        "012",        "+12",         "-0",
                                      "00",         "4294967296",  ""};
    switch (draw.integer(0, 5)) {
    case 0:
    case 1:
    case 2: return std::to_string(draw.integer(0, 40));
    case 3: return std::to_string(draw.integer(-40, -1));
    case 4: return digits(draw, draw.chance(0.5) ? 30 : 11);
    default: return draw.pick(odd);
    }
}

std::string line_range_text(Draw& draw)
{
    static const char* const joints[] = {"-", "-", "-", "-", " - ", " -", "- ", "--", "\t-"};
    if (draw.chance(0.4)) {
        // A range that stage one takes, so that stage two is reached often.
        const int first = draw.integer(0, 30);
        return std::to_string(first) + "-" + std::to_string(first + draw.integer(0, 3));
    }
    const std::string first = line_number_text(draw);
    const std::string last = line_number_text(draw);
    return (draw.chance(0.3) ? last : first) + draw.pick(joints) + (draw.chance(0.3) ? first : last);
}

std::string command_text(Draw& draw)
{
    static const char* const number_words[] = {"next", "prev", "tr0_t", "tr0_f", "dtr_t", "dtr_f"};
    static const char* const blanks[] = {" ", " ", " ", " ", "", "  ", "\t"};
    static const char* const exact[] = {"auto on", "auto off", "image", "averimage", "reverseimage", "auto on",
                                        "auto off", "averimage", "exit"};
    static const char* const near_misses[] = {"Exit", "auto  on", "autoon", "auto on ", " image", "imag",
                                              "averimage\t", "AUTO OFF", "reverse", "next", "prev", "nxt 1",
                                              "tr0 5", "dtr_x 1", "", "exit now", "e", "-", "12", "image image"};
    switch (draw.integer(0, 10)) {
    case 0:
    case 1:
    case 2: return line_range_text(draw);
    case 3:
    case 4:
    case 5:
    case 6: return std::string(draw.pick(number_words)) + draw.pick(blanks) + number_text(draw);
    case 7:
    case 8: return draw.pick(exact);
    default: return draw.pick(near_misses);
    }
}

// Upper-cases, blanks, control bytes and lengths around the 1024-byte buffer.
std::string mutated(Draw& draw, std::string line)
{
    static const char control[] = {'\0', '\x01', '\x7f', '\x1b', '\b', '\r', '\t', '\v', '\f', '\xff', '\x80'};
    if (draw.chance(0.05))
        line = " " + line;
    if (draw.chance(0.05))
        line += " ";
    if (draw.chance(0.04) && !line.empty()) {
        char& letter = line[static_cast<std::size_t>(draw.integer(0, static_cast<int>(line.size()) - 1))];
        letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    }
    if (draw.chance(0.06))
        line.insert(static_cast<std::size_t>(draw.integer(0, static_cast<int>(line.size()))), 1,
                    control[draw.integer(0, sizeof control - 1)]);
    if (draw.chance(0.05)) {
        // Total length with the newline: just under, at and just over the buffer.
        static const int lengths[] = {1022, 1023, 1024, 1025, 2047, 2048, 5000};
        const auto target = static_cast<std::size_t>(lengths[draw.integer(0, 6)] - 1);
        if (line.size() < target) {
            const std::size_t pad = target - line.size();
            switch (draw.integer(0, 2)) {
            case 0: line.insert(0, pad, '0'); break;
            case 1: line.append(pad, ' '); break;
            default: line.append(pad, 'x'); break;
            }
        }
    }
    return line;
}

std::string transcript_text(Draw& draw)
{
    std::string text;
    const int lines = draw.integer(0, 10);
    for (int k = 0; k < lines; ++k)
        text += mutated(draw, command_text(draw)) + (draw.chance(0.04) ? "\r\n" : "\n");
    switch (draw.integer(0, 9)) {
    case 0: text += mutated(draw, command_text(draw)); break;  // no final newline
    case 1: text += "averimage\n"; break;                      // input ends in the "press ENTER" wait
    case 2: text += "12-14\naverimage\n"; break;               // the same in stage two
    case 3:
    case 4:
    case 5:
    case 6: text += "exit\n"; break;
    default: break;  // ten failed reads end it
    }
    return text;
}

// Small images: a few hundred bytes per turn, or a few bytes so that several lines fit.
std::vector<std::string> geometry_args(Draw& draw)
{
    double tr0_f = draw.real(100, 600);
    double tr0_t = tr0_f + draw.real(-100, 300);
    double dtr_t = draw.real(0.5, 4);
    double dtr_f = draw.real(0.2, 3);
    if (draw.chance(0.2)) {
        tr0_f = draw.real(2, 40);
        tr0_t = tr0_f + draw.real(0, 10);
        dtr_t = draw.real(0, 0.05);
        dtr_f = draw.real(0, 0.05);
    }
    if (draw.chance(0.05))
        dtr_f = dtr_t;
    if (draw.chance(0.05))
        dtr_t = -dtr_t;
    return {"size", std::to_string(draw.integer(2000, 60000)), "tr0_f", printed("%.6g", tr0_f), "tr0_t",
            printed("%.6g", tr0_t), "dtr_t", printed("%.6g", dtr_t), "dtr_f", printed("%.6g", dtr_f)};
}

// A size pair first, so that no run writes a full-size image; then random pairs with
// unknown names, values that read as nothing, and names without a value. A later
// size pair only ever holds texts that read as a small, negative or refused size.
std::vector<std::string> random_command_line(Draw& draw)
{
    static const char* const names[] = {"size", "tr0_f", "tr0_t", "dtr_t", "dtr_f", "image",
                                        "Size", "sizes", "-size", "", "tr0", "image2"};
    static const char* const sizes[] = {"0", "-5", "  -5", "12abc", "", "abc", "1e9", "0x100", "99999999999",
                                        "-99999999999", "2147483648", "-2147483649", "-2147483648", "+3000",
                                        "5000", "20000"};
    static const char* const images[] = {"out.rge", "", "folder", "missing/x.rge", "image.rge", "a b.rge", "."};
    static const char* const values[] = {"", "abc", "12abc", " 12", "1e400", "-1e400", "nan", "inf", "0x10",
                                         "300", "-300", "0", "1.44", "1.32", "22500", "1e-320", "+5"};
    std::vector<std::string> args = {"size", std::to_string(draw.integer(0, 40000))};
    const int pairs = draw.integer(0, 4);
    for (int k = 0; k < pairs; ++k) {
        const std::string name = draw.pick(names);
        args.push_back(name);
        if (name == "size")
            args.emplace_back(draw.pick(sizes));
        else if (name == "image")
            args.emplace_back(draw.pick(images));
        else
            args.push_back(draw.chance(0.5) ? std::string(draw.pick(values)) : number_text(draw));
    }
    if (draw.chance(0.1))
        args.emplace_back(draw.pick(names));  // a name with no value after it
    return args;
}

// ---------------------------------------------------------------------------------
// The messages the program knows.

bool is_decimal_integer(const std::string& text)
{
    std::size_t k = text[0] == '-' ? 1 : 0;
    if (k >= text.size() || (text[k] == '0' && text.size() > k + 1))
        return false;
    for (; k < text.size(); ++k)
        if (std::isdigit(static_cast<unsigned char>(text[k])) == 0)
            return false;
    return true;
}

// What %g and %.10g print: digits with an optional fraction and exponent, or inf/nan.
bool is_printed_real(const std::string& text, bool finite_only)
{
    const std::size_t sign = text.compare(0, 1, "-") == 0 ? 1 : 0;
    const std::string body = text.substr(sign);
    if (body == "inf" || body == "nan")
        return !finite_only;
    std::size_t k = 0;
    const auto digit_run = [&] {
        const std::size_t start = k;
        while (k < body.size() && std::isdigit(static_cast<unsigned char>(body[k])) != 0)
            ++k;
        return k > start;
    };
    if (!digit_run())
        return false;
    if (k < body.size() && body[k] == '.') {
        ++k;
        if (!digit_run())
            return false;
    }
    if (k < body.size() && body[k] == 'e') {
        ++k;
        if (k >= body.size() || (body[k] != '+' && body[k] != '-'))
            return false;
        ++k;
        const std::size_t start = k;
        if (!digit_run() || k - start < 2)
            return false;
    }
    return k == body.size();
}

// "A-B" with A and B as is_number accepts them; A may itself start with a minus.
template <typename IsNumber>
bool is_pair(const std::string& text, IsNumber is_number)
{
    for (std::size_t p = 1; p + 1 < text.size(); ++p)
        if (text[p] == '-' && text[p - 1] != 'e' && is_number(text.substr(0, p)) && is_number(text.substr(p + 1)))
            return true;
    return false;
}

bool starts_with(const std::string& text, const std::string& head) { return text.compare(0, head.size(), head) == 0; }
bool ends_with(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

enum class LineKind { unknown, tr0_display, dtr_display, image_start, success, burn_hint, burn_command, other };

// finite_ranges: the range display may not show inf or nan (true when the command
// line was finite, since every accepted command keeps the ends finite).
LineKind classify_stdout_line(const std::string& line, bool finite_ranges)
{
    const auto real = [&](const std::string& t) { return is_printed_real(t, finite_ranges); };
    if (starts_with(line, "tr0: ") && is_pair(line.substr(5), real))
        return LineKind::tr0_display;
    if (starts_with(line, "dtr: ") && is_pair(line.substr(5), real))
        return LineKind::dtr_display;
    if (line == "creating DIRECT image" || line == "creating REVERSE image" || line == "enter number of the LINE" ||
        line == "bad command")
        return LineKind::other;
    if (line == "burn it by command")
        return LineKind::burn_hint;
    if (starts_with(line, "image \"") && ends_with(line, "\" created succesfully."))
        return LineKind::success;
    if (starts_with(line, "$ cdrecord -audio dev=<burner-device> \"") && ends_with(line, "\""))
        return LineKind::burn_command;
    static const std::string line_head = "line number ";
    if (starts_with(line, line_head)) {
        const std::size_t comma = line.find(", start byte - ");
        const std::size_t mb = line.find(" Mb (");
        if (comma == std::string::npos || mb == std::string::npos || mb < comma)
            return LineKind::unknown;
        const std::string number = line.substr(line_head.size(), comma - line_head.size());
        const std::string start = line.substr(comma + 15, mb - comma - 15);
        const std::string colour = line.substr(mb + 5);
        if (!is_decimal_integer(number) || !is_printed_real(start, true) ||
            (colour != "white)" && colour != "black)" && colour != "gray)"))
            return LineKind::unknown;
        return number == "0" ? LineKind::image_start : LineKind::other;
    }
    if (is_pair(line, is_decimal_integer))
        return LineKind::other;  // the echo of a line range
    for (const char* word : {"next ", "prev ", "tr0_t ", "tr0_f ", "dtr_t ", "dtr_f "}) {
        // An echo: a number that overflowed single precision prints as inf.
        if (starts_with(line, word)) {
            const std::string value = line.substr(std::strlen(word));
            return is_printed_real(value, true) || value == "inf" || value == "-inf" ? LineKind::other
                                                                                    : LineKind::unknown;
        }
    }
    return LineKind::unknown;
}

struct StdoutSummary {
    std::string problem;  // empty when every line is known and in order
    int images_started = 0;
    int images_succeeded = 0;
};

StdoutSummary check_stdout(const std::string& out, bool finite_ranges)
{
    static const std::string enter_wait = "press ENTER for restore image";
    StdoutSummary summary;
    LineKind previous = LineKind::other;
    std::size_t begin = 0;
    while (begin < out.size()) {
        const std::size_t end = out.find('\n', begin);
        if (end == std::string::npos) {
            summary.problem = "output does not end with a newline";
            return summary;
        }
        std::string line = out.substr(begin, end - begin);
        begin = end + 1;
        while (starts_with(line, enter_wait))
            line.erase(0, enter_wait.size());
        const LineKind kind = classify_stdout_line(line, finite_ranges);
        const bool in_order = (kind == LineKind::dtr_display) == (previous == LineKind::tr0_display) &&
                              (kind == LineKind::burn_hint) == (previous == LineKind::success) &&
                              (kind == LineKind::burn_command) == (previous == LineKind::burn_hint);
        if (kind == LineKind::unknown || !in_order) {
            summary.problem = (kind == LineKind::unknown ? "unknown line: " : "line out of order: ") + line;
            return summary;
        }
        summary.images_started += kind == LineKind::image_start ? 1 : 0;
        summary.images_succeeded += kind == LineKind::success ? 1 : 0;
        previous = kind;
    }
    if (previous == LineKind::tr0_display || previous == LineKind::success || previous == LineKind::burn_hint)
        summary.problem = "output ends inside a message";
    return summary;
}

bool known_stderr_line(const std::string& line)
{
    return line == "read stdin error" || line == "Creating was break by user" || starts_with(line, "ringetch: ") ||
           (starts_with(line, "bad parameter number ") && ends_with(line, "\"")) || line == "expected parameters:" ||
           line == "size, tr0_f, tr0_t, dtr_t, dtr_f, image" ||
           (starts_with(line, "size \"") && ends_with(line, "\" does not fit a 32-bit signed integer"));
}

// Every regular file the run left must be a whole number of records; removes them.
std::string check_and_clear_files(const std::string& dir)
{
    std::string problem;
    DIR* folder = opendir(dir.c_str());
    if (folder == nullptr)
        return "work folder vanished";
    while (const dirent* entry = readdir(folder)) {
        const std::string path = dir + "/" + entry->d_name;
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        if (info.st_size % record_bytes != 0)
            problem += "file " + std::string(entry->d_name) + " is " + std::to_string(info.st_size) + " bytes; ";
        unlink(path.c_str());
    }
    closedir(folder);
    return problem;
}

std::string check_run(const RunResult& r, const std::string& dir, bool transcript_mode)
{
    std::string problem;
    if (r.timed_out)
        problem += "did not end in time; ";
    if (r.exit_status != 0 && r.exit_status != 1)
        problem += "exit status " + std::to_string(r.exit_status) + " signal " + std::to_string(r.term_signal) + "; ";
    const StdoutSummary summary = check_stdout(r.out, transcript_mode);
    if (!summary.problem.empty())
        problem += summary.problem + "; ";
    if (transcript_mode) {
        // The image path is writable and nothing interrupts: every image is completed,
        // and the only failure is standard input running out.
        if (summary.images_succeeded != summary.images_started)
            problem += "images started " + std::to_string(summary.images_started) + ", completed " +
                       std::to_string(summary.images_succeeded) + "; ";
        const bool clean_end = (r.exit_status == 0 && r.err.empty()) ||
                               (r.exit_status == 1 && r.err == "read stdin error\n");
        if (!clean_end)
            problem += "stderr does not match the exit status; ";
    } else {
        std::size_t begin = 0;
        while (begin < r.err.size()) {
            std::size_t end = r.err.find('\n', begin);
            if (end == std::string::npos)
                end = r.err.size();
            if (!known_stderr_line(r.err.substr(begin, end - begin))) {
                problem += "unknown stderr line; ";
                break;
            }
            begin = end + 1;
        }
        if (r.exit_status == 0 && !r.err.empty())
            problem += "status 0 after an error message; ";
    }
    problem += check_and_clear_files(dir);
    return problem;
}

// ---------------------------------------------------------------------------------
// Running many of them.

std::string hex_byte(unsigned char c)
{
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02x", c);
    return text;
}

std::string escaped(const std::string& text, std::size_t limit = 600)
{
    std::string shown;
    for (std::size_t k = 0; k < text.size() && k < limit; ++k) {
        const auto c = static_cast<unsigned char>(text[k]);
        if (c == '\n')
            shown += "\\n";
        else if (c < 0x20 || c >= 0x7f || c == '\\')
            shown += hex_byte(c);
        else
            shown += static_cast<char>(c);
    }
    return text.size() > limit ? shown + "... (" + std::to_string(text.size()) + " bytes)" : shown;
}

std::string joined(const std::vector<std::string>& args)
{
    std::string text;
    for (const std::string& arg : args)
        text += "'" + escaped(arg) + "' ";
    return text;
}

struct Case {
    std::vector<std::string> args;
    std::string stdin_text;
};

// Runs cases 0..count-1 of make_case, parallel_runs at a time, each worker in its own
// folder; returns the reports of the cases that failed (at most a few, in full).
template <typename MakeCase>
std::vector<std::string> run_cases(int count, bool transcript_mode, MakeCase make_case, int& failures)
{
    std::mutex lock;
    std::vector<std::string> reports;
    failures = 0;
    const auto worker = [&](int first) {
        const std::string dir = make_work_dir();
        mkdir((dir + "/folder").c_str(), 0700);
        for (int index = first; index < count; index += parallel_runs) {
            const Case c = make_case(index);
            const RunResult r = run_ringetch(c.args, c.stdin_text, dir, run_time_bound);
            const std::string problem = check_run(r, dir, transcript_mode);
            if (problem.empty())
                continue;
            const std::lock_guard<std::mutex> guard(lock);
            if (++failures <= 5)
                reports.push_back("case " + std::to_string(index) + ": " + problem + "\n  args: " + joined(c.args) +
                                  "\n  stdin: " + escaped(c.stdin_text) + "\n  stdout: " + escaped(r.out, 3000) +
                                  "\n  stderr: " + escaped(r.err, 3000));
        }
        rmdir((dir + "/folder").c_str());
        rmdir(dir.c_str());
    };
    std::vector<std::thread> workers;
    for (int k = 0; k < parallel_runs; ++k)
        workers.emplace_back(worker, k);
    for (std::thread& t : workers)
        t.join();
    return reports;
}

}  // namespace

TEST(DialogueStress, RandomTranscriptsEndCleanlyWithKnownMessagesAndWholeRecords)
{
    const std::uint64_t seed = number_from_environment("RINGETCH_STRESS_SEED", default_seed);
    const int runs = static_cast<int>(number_from_environment("RINGETCH_STRESS_RUNS", default_runs));
    SCOPED_TRACE("RINGETCH_STRESS_SEED=" + std::to_string(seed));
    int failures = 0;
    const std::vector<std::string> reports = run_cases(
        runs, true,
        [seed](int index) {
            Draw draw(seed, static_cast<std::uint64_t>(index));
            Case c;
            c.args = geometry_args(draw);
            c.stdin_text = transcript_text(draw);
            return c;
        },
        failures);
    EXPECT_EQ(failures, 0) << "of " << runs << " transcripts";
    for (const std::string& report : reports)
        ADD_FAILURE() << report;
}

TEST(DialogueStress, RandomCommandLinesEndCleanlyWithKnownMessagesAndWholeRecords)
{
    const std::uint64_t seed = number_from_environment("RINGETCH_STRESS_SEED", default_seed) + 1;
    const int runs = static_cast<int>(number_from_environment("RINGETCH_STRESS_COMMAND_LINES", default_command_lines));
    SCOPED_TRACE("RINGETCH_STRESS_SEED=" + std::to_string(seed - 1));
    int failures = 0;
    const std::vector<std::string> reports = run_cases(
        runs, false,
        [seed](int index) {
            Draw draw(seed, static_cast<std::uint64_t>(index));
            Case c;
            c.args = random_command_line(draw);
            c.stdin_text = draw.chance(0.5) ? transcript_text(draw) : "exit\n";
            return c;
        },
        failures);
    EXPECT_EQ(failures, 0) << "of " << runs << " command lines";
    for (const std::string& report : reports)
        ADD_FAILURE() << report;
}
