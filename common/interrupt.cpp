// SIGINT handling. The handler is installed with restart semantics so that a Ctrl-C
// while the dialogue waits in a read does not turn into a failed read; only around
// a call that may wait for ever on the image file are the semantics switched off.
#include "common/interrupt.h"

#include <signal.h>

volatile std::sig_atomic_t break_requested = 0;

extern "C" void on_interrupt(int /*signal_number*/) { break_requested = break_requested + 1; }

namespace {

void set_interrupt_action(int flags)
{
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
    sigaction(SIGINT, &action, nullptr);
}

void ignore_signal(int signal_number)
{
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
}

}  // namespace

void install_interrupt_handler()
{
    set_interrupt_action(SA_RESTART);
    ignore_signal(SIGPIPE);
    ignore_signal(SIGXFSZ);
}

void let_interrupt_break_calls(bool on)
{
    struct sigaction current {};
    if (sigaction(SIGINT, nullptr, &current) != 0 || current.sa_handler != on_interrupt)
        return;
    set_interrupt_action(on ? 0 : SA_RESTART);
}
