// Reading one console line from standard input, as every interactive tool of the
// family does: a read that would block waits for input, CR LF is taken as LF, and a
// bounded count of failed reads in a row ends the tool ("read stdin error", status 1).
// The caller flushes its prompt first (flush_console), so a driver sees it.
#pragma once

constexpr int full_retry_count = 10;

// fgets(buffer, size, stdin), except that a read that would block (standard input
// left non-blocking by another program) waits for input, in the middle of a line
// too: up to and including the newline, at most size - 1 bytes, or what is left
// before the end of input. False at the end of input or on a read error, even after
// part of a line; buffer is then unspecified.
bool read_input_once(char* buffer, int size);

// Reads the next line into buffer with read_input_once, dropping a carriage return
// right before the newline. A failed read counts retries down and is retried at once;
// a success sets them to full_retry_count. Returns false when they are used up,
// after printing "read stdin error" on stderr: the caller then ends with status 1.
bool read_input_line(char* buffer, int size, int& retries);
