// The process's console policy, shared by every tool: the standard descriptors held
// open, the flush points of standard output, and the one way an output error (the
// console's or a file's) ends the run with the system's reason.
#pragma once

// Prints the system error with the program's prefix and exits with status 1. After a
// failed image write the error is that write's (keep_output_error), whatever came
// after it.
[[noreturn]] void fail_output();

// The errno of a failed write that fail_output reports from now on, whatever errno
// then holds; 0 forgets it (a new image file).
void keep_output_error(int error);

// Opens the null device on whichever of descriptors 0, 1 and 2 is closed, so that no
// file opened later (an image) takes their place and receives console text. Called
// first thing in main.
void reserve_standard_descriptors();

// Flushes standard output; when that fails, or an earlier console write failed, the
// console's text was lost and the run ends through fail_output. Called after each
// stretch of console output (a progress line, the success message, before a read).
void flush_console();

// The exit status of a run that would end with `status`: standard output flushed
// (ending the run through fail_output when it fails), and 1 when anything written
// to standard error was lost.
int finish_console(int status);
