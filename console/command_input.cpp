// Console command input: one shared line buffer, retry counting, and the matching
// rules common to both dialogue stages.
#include "console/command_input.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/console.h"
#include "common/line_input.h"

char input_text[input_buffer_bytes];  // the main thread's, the one that reads the console

namespace {

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
    flush_console();  // whoever drives us through a pipe must see the prompt first
    return read_input_line(input_text, input_buffer_bytes, retries);
}

void wait_for_enter()
{
    flush_console();
    if (!read_input_once(input_text, input_buffer_bytes))
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
