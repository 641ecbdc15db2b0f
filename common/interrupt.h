// The one piece of state that the interrupt handler touches, and the signal set-up
// that every tool's main installs. Image writers clear the flag when they start and
// poll it once per turn; the dialogue ignores it.
#pragma once

#include <csignal>

extern volatile std::sig_atomic_t break_requested;

// SIGINT handler: counts the request and does nothing else.
extern "C" void on_interrupt(int signal_number);

// Installs on_interrupt for SIGINT so that an interrupted read is restarted, not
// failed. Ignores SIGPIPE and SIGXFSZ: a write to a pipe whose reader has gone, or
// past the file-size limit, then fails with EPIPE or EFBIG and takes the
// output-error path with a message, instead of ending the process without a word.
void install_interrupt_handler();

// While on, a Ctrl-C makes a blocked system call fail with EINTR instead of being
// restarted (the image's open, which waits for ever on a FIFO without a reader).
// Changes nothing when on_interrupt is not the installed SIGINT handler.
void let_interrupt_break_calls(bool on);
