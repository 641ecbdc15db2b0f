// SIGINT handling. The handler is installed with restart semantics so that a Ctrl-C
// while the dialogue waits in fgets does not turn into a failed read.
#include "common/interrupt.h"

#include <signal.h>

volatile std::sig_atomic_t break_requested = 0;

extern "C" void on_interrupt(int /*signal_number*/) { break_requested = break_requested + 1; }

void install_interrupt_handler()
{
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}
