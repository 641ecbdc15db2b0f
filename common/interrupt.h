// The one piece of state that the interrupt handler touches. Image writers clear it
// when they start and poll it once per turn; the dialogue ignores it.
#pragma once

#include <csignal>

extern volatile std::sig_atomic_t break_requested;

// SIGINT handler: counts the request and does nothing else.
extern "C" void on_interrupt(int signal_number);

// Installs on_interrupt for SIGINT so that an interrupted read is restarted, not failed.
void install_interrupt_handler();
