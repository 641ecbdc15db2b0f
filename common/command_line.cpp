// The untyped half of the tools' command-line reader: the pairs, --help and --version,
// the refusals, and the parsers that the tools' tables are made of.
#include "common/command_line.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/decimal_text.h"
#include "common/program_name.h"

#ifndef RINGETCH_VERSION
#error "RINGETCH_VERSION, the project's version, comes from the build (project() in CMakeLists.txt)"
#endif

namespace {

// The usage's column of names: "  name VALUE" padded to width, then the meaning.
int name_width(const char* name, const char* value)
{
    return static_cast<int>(std::strlen(name) + (value[0] != '\0' ? 1 + std::strlen(value) : 0));
}

void print_row(const char* name, const char* value, int width, const char* meaning)
{
    std::printf("  %s%s%s%*s  %s", name, value[0] != '\0' ? " " : "", value, width - name_width(name, value), "",
                meaning);
}

void print_usage(const Usage& usage, const ParameterHelp* rows, std::size_t count)
{
    int width = name_width("--version", "");
    for (std::size_t k = 0; k < count; ++k)
        width = std::max(width, name_width(rows[k].name, rows[k].value));
    std::printf("Usage: %s %s\n%s\n\nParameters, name/value pairs in any order (the last pair of a name wins):\n",
                program_name, usage.synopsis, usage.summary);
    for (std::size_t k = 0; k < count; ++k) {
        print_row(rows[k].name, rows[k].value, width, rows[k].meaning);
        if (rows[k].fallback != nullptr)
            std::printf("; default %s", rows[k].fallback);
        else if (rows[k].required)
            std::fputs("; required", stdout);
        std::fputs("\n", stdout);
    }
    std::fputs("\nOptions:\n", stdout);
    print_row("--help", "", width, "print this help and exit\n");
    print_row("--version", "", width, "print the tool's name and version and exit\n");
    std::printf("\nExample:\n  %s\n", usage.example);
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

int command_line_status(CommandLine line) { return line == CommandLine::answered ? 0 : 1; }

CommandLine read_parameter_names(int argc, char** argv, const ParameterHelp* rows, std::size_t count,
                                 const Usage& usage, const char** given)
{
    for (int i = 1; i < argc; i += 2) {
        if (std::strcmp(argv[i], "--help") == 0) {
            print_usage(usage, rows, count);
            return CommandLine::answered;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s (ringetch) %s\n", program_name, RINGETCH_VERSION);
            return CommandLine::answered;
        }
        std::size_t k = 0;
        while (k < count && std::strcmp(argv[i], rows[k].name) != 0)
            ++k;
        if (k == count || i + 1 >= argc) {
            std::fprintf(stderr, "%s: bad parameter \"%s\"\nexpected parameters:\n", program_name, argv[i]);
            for (std::size_t n = 0; n < count; ++n)
                std::fprintf(stderr, "%s%s", rows[n].name, n + 1 < count ? ", " : "\n");
            return CommandLine::refused;
        }
        given[k] = argv[i + 1];
    }
    return CommandLine::run;
}

CommandLine refuse_missing(const char* name, const char* meaning)
{
    std::fprintf(stderr, "%s: %s (%s) is required\n", program_name, name, meaning);
    return CommandLine::refused;
}

CommandLine refuse_value(const char* name, const char* text, const char* refusal)
{
    std::fprintf(stderr, "%s: %s \"%s\" %s\n", program_name, name, text, refusal);
    return CommandLine::refused;
}

bool read_path(const char* text, const char*& path)
{
    path = text;
    return true;
}

bool read_first_turn(const char* text, double& tr0)
{
    double number = 0;
    if (!read_decimal(text, number) || !(number >= 1))
        return false;
    tr0 = number;
    return true;
}

bool read_growth(const char* text, double& dtr)
{
    double number = 0;
    if (!read_decimal(text, number) || !(number > 0))
        return false;
    dtr = number;
    return true;
}

bool read_whole_number(const char* text, int least, int most, int& value)
{
    const char* p = text;
    while (is_blank(*p))
        ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    if (std::isdigit(static_cast<unsigned char>(*p)) == 0)
        return false;
    std::int64_t magnitude = 0;
    for (; std::isdigit(static_cast<unsigned char>(*p)) != 0; ++p)
        if (magnitude <= INT32_MAX)  // past it the number is refused anyway; no overflow
            magnitude = magnitude * 10 + (*p - '0');
    while (is_blank(*p))
        ++p;
    const std::int64_t number = negative ? -magnitude : magnitude;
    if (*p != '\0' || number < least || number > most)
        return false;
    value = static_cast<int>(number);
    return true;
}

bool read_switch(const char* text, bool& on)
{
    if (std::strcmp(text, "0") != 0 && std::strcmp(text, "1") != 0)
        return false;
    on = text[0] == '1';
    return true;
}

bool read_decimal_pair(const char* text, double& first, double& second)
{
    for (const char* dash = std::strchr(text, '-'); dash != nullptr; dash = std::strchr(dash + 1, '-')) {
        double a = 0;
        double b = 0;
        if (dash != text && read_decimal(std::string(text, dash).c_str(), a) && read_decimal(dash + 1, b)) {
            first = a;
            second = b;
            return true;
        }
    }
    return false;
}
