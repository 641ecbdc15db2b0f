// Console command input: one shared line buffer, retry counting, and the matching
// rules common to both dialogue stages.
#include "console/command_input.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <unistd.h>

#include "image/output_file.h"

char input_text[input_buffer_bytes];

namespace {

// Standard input left non-blocking (by another program sharing it) reports a read
// that would block as an error; that is no failed read, the input is not there yet.
// False when the wait itself fails; a Ctrl-C does not end it.
bool wait_for_input()
{
    pollfd input{STDIN_FILENO, POLLIN, 0};
    for (;;) {
        if (poll(&input, 1, -1) >= 0)
            return true;  // readable, or at its end or in error: the next read says which
        if (errno != EINTR)
            return false;
    }
}

// fgets(input_text, input_buffer_bytes, stdin), except that a read that would block
// waits for input, in the middle of a line too: up to and including the newline, at
// most 1023 bytes, or what is left before the end of input; a read error fails the
// read even after part of a line.
bool read_line()
{
    flush_console();  // whoever drives us through a pipe must see the prompt first
    int length = 0;
    while (length < input_buffer_bytes - 1) {
        const int c = std::getc(stdin);
        if (c == EOF) {
            const bool would_block = std::ferror(stdin) != 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
            if (would_block && wait_for_input()) {
                std::clearerr(stdin);
                continue;
            }
            if (std::ferror(stdin) != 0 || length == 0)
                return false;
            break;
        }
        input_text[length] = static_cast<char>(c);
        length += 1;
        if (c == '\n')
            break;
    }
    input_text[length] = '\0';
    return true;
}

void drop_carriage_return()
{
    const std::size_t length = std::strlen(input_text);
    if (length >= 2 && input_text[length - 2] == '\r' && input_text[length - 1] == '\n') {
        input_text[length - 2] = '\n';
        input_text[length - 1] = '\0';
    }
}

bool echo_covers(int printed, const char* text) { return printed >= 0 && static_cast<std::size_t>(printed) >= std::strlen(text); }

bool is_decimal_number(const char* begin, const char* end)
{
    for (const char* p = begin; p < end; ++p)
        if (std::strchr("0123456789+-.eE", *p) == nullptr)
            return false;
    return begin < end;
}

}  // namespace

bool read_command(int& retries)
{
    for (;;) {
        if (read_line()) {
            retries = full_retry_count;
            drop_carriage_return();
            return true;
        }
        retries -= 1;
        if (retries <= 0) {
            std::fputs("read stdin error\n", stderr);
            return false;
        }
        std::clearerr(stdin);
    }
}

void wait_for_enter()
{
    if (!read_line())
        std::clearerr(stdin);
}

bool match_line_range(const char* text, int& first, int& last)
{
    long long first_number = 0;
    long long last_number = 0;
    if (std::sscanf(text, "%lld-%lld", &first_number, &last_number) != 2)
        return false;
    if (first_number < INT32_MIN || first_number > INT32_MAX || last_number < INT32_MIN || last_number > INT32_MAX)
        return false;
    first = static_cast<int>(first_number);
    last = static_cast<int>(last_number);
    return echo_covers(std::printf("%d-%d\n", first, last), text);
}

bool match_number_command(const char* text, const char* word, double& value)
{
    char pattern[32];
    std::snprintf(pattern, sizeof pattern, "%s %%n%%g%%n", word);
    int number_start = 0;
    int number_end = 0;
    float number = 0;
    if (std::sscanf(text, pattern, &number_start, &number, &number_end) != 1)
        return false;
    if (!is_decimal_number(text + number_start, text + number_end))
        return false;
    value = number;
    if (!echo_covers(std::printf("%s %g\n", word, value), text))
        return false;
    return value > 0.1;
}

bool match_exact(const char* text, const char* command) { return std::strcmp(text, command) == 0; }

void report_bad_command() { std::puts("bad command"); }
