// The command line of ringetch-preview, ringetch-picture and ringetch-refine: name/value
// pairs, the last pair of a name winning, read through one table per tool whose rows
// also make the tool's --help. Values are judged only once every pair is in, so a value
// that a later pair replaces is never refused. (The calibrator keeps its own reader.)
#pragma once

#include <cstddef>

#include "common/units.h"

// One parameter: a row of a tool's table.
template <typename Settings>
struct Parameter {
    const char* name;      // as typed
    const char* value;     // what its value is, in the usage: BYTES, PATH
    const char* meaning;   // its line of the usage
    const char* fallback;  // read as if typed when the name is not given; nullptr: none
    bool required;         // without a fallback: a command line without it is refused
    bool (*read)(const char* text, Settings& settings);  // parses and checks; false refuses
    const char* refusal;   // why a refused value is refused, after `name "value"`
};

// What a tool's --help says besides its parameters.
struct Usage {
    const char* synopsis;  // what follows the tool's name on the usage line
    const char* summary;   // one line on what the tool does
    const char* example;   // one command line, the tool's name first
};

// What reading a command line came to.
enum class CommandLine {
    run,       // the settings are filled and checked: go on
    answered,  // --help or --version was answered on standard output
    refused,   // why was printed on standard error
};

// The exit status of a program that ends at its command line: 0 after --help or
// --version, 1 after a refusal.
int command_line_status(CommandLine line);

// The parsers that the tables' readers are made of. Each reads the whole text (blanks
// around a number allowed) or refuses it, leaving its value alone.
bool read_path(const char* text, const char*& path);
// A first-turn length: a finite decimal number of at least 1 (a turn under a byte
// could not be drawn).
bool read_first_turn(const char* text, double& tr0);
// A growth per turn: a finite decimal number above 0.
bool read_growth(const char* text, double& dtr);
// A whole decimal number from least to most.
bool read_whole_number(const char* text, int least, int most, int& value);
// 0 or 1.
bool read_switch(const char* text, bool& on);
// Two decimal numbers joined by '-', as ringetch prints a range ("23025-23130",
// "1.44--1.5"): the first '-' after which both sides are numbers divides them.
bool read_decimal_pair(const char* text, double& first, double& second);

// A number of at least 0 as decimal text, made at compile time, so that a fallback
// is the text of the constant it stands for.
struct DecimalDigits {
    char text[12] = {};
};

constexpr DecimalDigits decimal_digits(int number)
{
    char reversed[12] = {};
    int count = 0;
    do {
        reversed[count++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number > 0);
    DecimalDigits digits{};
    for (int k = 0; k < count; ++k)
        digits.text[k] = reversed[count - 1 - k];
    return digits;
}

// The image size limit's row, alike in every tool that writes an image: read as
// ringetch reads it (common/size_parameter.h), by default ringetch's.
constexpr const char* size_meaning = "image size limit, a 32-bit signed integer";
inline constexpr DecimalDigits default_size_text = decimal_digits(default_image_size);
constexpr const char* size_fallback = default_size_text.text;

// Why each shared parser refuses, so that every tool says it alike.
constexpr const char* first_turn_refusal = "is not a finite number of bytes of at least 1";
constexpr const char* growth_refusal = "is not a finite number of bytes above 0";
constexpr const char* size_refusal = "does not fit a 32-bit signed integer";
constexpr const char* decimal_refusal = "is not a decimal number";
constexpr const char* switch_refusal = "is neither 0 nor 1";

// What the untyped reading needs of a row.
struct ParameterHelp {
    const char* name;
    const char* value;
    const char* meaning;
    const char* fallback;
    bool required;
};

// Reads argv's name/value pairs, given[k] becoming the value of the last pair naming
// row k. Answers --help or --version in a name's place on standard output; refuses an
// unknown name or a name without its value on standard error, listing the names.
CommandLine read_parameter_names(int argc, char** argv, const ParameterHelp* rows, std::size_t count,
                                 const Usage& usage, const char** given);

// The message for a required name not given, or for a value its row refuses.
CommandLine refuse_missing(const char* name, const char* meaning);
CommandLine refuse_value(const char* name, const char* text, const char* refusal);

// Reads argv into settings through table: the pairs first (read_parameter_names),
// then each row's value (the last pair of its name, else its fallback) in table order.
// The first value refused, or required name missing, ends the reading.
template <typename Settings, std::size_t count>
CommandLine read_command_line(int argc, char** argv, const Parameter<Settings> (&table)[count], const Usage& usage,
                              Settings& settings)
{
    ParameterHelp rows[count];
    for (std::size_t k = 0; k < count; ++k)
        rows[k] = {table[k].name, table[k].value, table[k].meaning, table[k].fallback, table[k].required};
    const char* given[count] = {};
    const CommandLine names = read_parameter_names(argc, argv, rows, count, usage, given);
    if (names != CommandLine::run)
        return names;
    for (std::size_t k = 0; k < count; ++k) {
        const Parameter<Settings>& row = table[k];
        const char* text = given[k] != nullptr ? given[k] : row.fallback;
        if (text == nullptr && row.required)
            return refuse_missing(row.name, row.meaning);
        if (text != nullptr && !row.read(text, settings))
            return refuse_value(row.name, text, row.refusal);
    }
    return CommandLine::run;
}
