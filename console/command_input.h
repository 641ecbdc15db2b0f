// Reading console commands and deciding which command a line is. Every parsed
// pattern command prints its echo, and is accepted only when the echo is at least
// as long as the line typed (the echo check): "next 5.0" is refused, "next5" taken.
#pragma once

#include <cstddef>

#include "common/line_input.h"

constexpr int input_buffer_bytes = 1024;

// The one input buffer of the dialogue: both stages and the "press ENTER" wait.
extern char input_text[input_buffer_bytes];

// Reads the next line (at most 1023 bytes, newline kept) into input_text, dropping a
// carriage return right before the newline. A failed read counts retries down and is
// retried at once; a success sets them to 10. Returns false when they are used up,
// after printing "read stdin error" on stderr: the caller then ends with status 1.
bool read_command(int& retries);

// The "press ENTER" wait: reads one line into input_text; neither the line nor a
// failure to read it counts.
void wait_for_enter();

// "%d-%d": both line numbers scanned in the 32-bit range, echo printed, echo check.
bool match_line_range(const char* text, int& first, int& last);

// "<word> %g": the number written in decimal (no inf, nan or hexadecimal), read in
// single precision; echo printed; echo check; the value guard v > 0.1.
bool match_number_command(const char* text, const char* word, double& value);

// An exact command: the whole line, newline included.
bool match_exact(const char* text, const char* command);

// "bad command" and a newline.
void report_bad_command();
