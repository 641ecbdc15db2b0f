// The state that the signal handler touches, and the signal set-up that every tool's
// main installs. The calibrator takes only Ctrl-C; the other tools also stop on
// SIGTERM and SIGHUP as on a Ctrl-C. Image writers clear break_requested when they
// start and poll it once per turn; the dialogue ignores it.
#pragma once

#include <csignal>

extern volatile std::sig_atomic_t break_requested;  // stop signals caught so far
extern volatile std::sig_atomic_t stop_signal;      // the last of them (SIGINT, ...); 0 before any

// The handler: notes the signal and does nothing else, unless it is SIGTERM or
// SIGHUP outside a stretch that polls for it (see poll_stop_signals).
extern "C" void on_interrupt(int signal_number);

// The calibrator's set-up: on_interrupt for SIGINT, installed so that an interrupted
// read is restarted, not failed. Ignores SIGPIPE and SIGXFSZ: a write to a pipe whose
// reader has gone, or past the file-size limit, then fails with EPIPE or EFBIG and
// takes the output-error path with a message, instead of ending the process without
// a word.
void install_interrupt_handler();

// The other tools' set-up: as install_interrupt_handler, with SIGTERM and SIGHUP
// caught as well. Outside a polled stretch they end the process at once, status
// 128 + signal, after removing the file named by remove_on_stop.
void install_stop_handlers();

// While on, SIGTERM and SIGHUP only stop the run as a Ctrl-C does (break_requested),
// and the code that polls the flag gives back what it holds and ends. Turning it off
// after one came ends the process as the handler would have. Image writing is polled.
void poll_stop_signals(bool on);

// The file that a stop outside a polled stretch removes (a temporary being written);
// null for none. The path is copied; at most 4095 bytes are kept.
void remove_on_stop(const char* path);

// The exit status of a run that a stop signal ended: 128 + the signal, as a shell
// reports a command that the signal killed; 130 (SIGINT) when none came.
int stopped_status();

// While on, a stop signal makes a blocked system call fail with EINTR instead of
// being restarted (the image's open, which waits for ever on a FIFO without a
// reader). Changes nothing for a signal whose handler is not on_interrupt.
void let_interrupt_break_calls(bool on);

// The stop signals the tool catches (SIGINT, and SIGTERM and SIGHUP after
// install_stop_handlers), for a wait that must block them until it starts.
void add_stop_signals(sigset_t& set);
