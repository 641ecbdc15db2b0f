// Stop-signal handling. The handlers are installed with restart semantics so that a
// Ctrl-C while the dialogue waits in a read does not turn into a failed read; only
// around a call that may wait for ever on a file are the semantics switched off. A
// SIGTERM or SIGHUP that nothing polls for ends the process in the handler, which
// may then only unlink and _exit.
#include "common/interrupt.h"

#include <cstdlib>
#include <cstring>
#include <signal.h>
#include <unistd.h>

volatile std::sig_atomic_t break_requested = 0;
volatile std::sig_atomic_t stop_signal = 0;

namespace {

constexpr int stop_signals[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t stop_polled = 0;  // nonzero while poll_stop_signals(true) holds

// Set by the main thread, read by its stop handler (helpers block the stop signals).
char temporary_path[4096];  // the file a stop removes; empty for none
volatile std::sig_atomic_t temporary_set = 0;

bool ends_run(int signal_number) { return signal_number == SIGTERM || signal_number == SIGHUP; }

void remove_temporary()
{
    if (temporary_set != 0)
        unlink(temporary_path);
}

bool handled_here(int signal_number)
{
    struct sigaction current {};
    return sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == on_interrupt;
}

void set_stop_action(int signal_number, int flags)
{
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    // The handler of one stop signal never runs inside another's.
    for (const int s : stop_signals)
        sigaddset(&action.sa_mask, s);
    action.sa_flags = flags;
    sigaction(signal_number, &action, nullptr);
}

void ignore_signal(int signal_number)
{
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
}

}  // namespace

extern "C" void on_interrupt(int signal_number)
{
    // A SIGTERM or SIGHUP that came first still ends the run after a later Ctrl-C.
    if (!ends_run(stop_signal))
        stop_signal = signal_number;
    break_requested = break_requested + 1;
    if (ends_run(signal_number) && stop_polled == 0) {
        remove_temporary();
        _exit(128 + signal_number);
    }
}

void install_interrupt_handler()
{
    set_stop_action(SIGINT, SA_RESTART);
    ignore_signal(SIGPIPE);
    ignore_signal(SIGXFSZ);
}

void install_stop_handlers()
{
    install_interrupt_handler();
    set_stop_action(SIGTERM, SA_RESTART);
    set_stop_action(SIGHUP, SA_RESTART);
}

void poll_stop_signals(bool on)
{
    stop_polled = on ? 1 : 0;
    // One that came while polled, and that nothing polled after it, ends the run now.
    if (!on && ends_run(stop_signal)) {
        remove_temporary();
        std::exit(stopped_status());
    }
}

void remove_on_stop(const char* path)
{
    temporary_set = 0;
    if (path == nullptr)
        return;
    std::strncpy(temporary_path, path, sizeof temporary_path - 1);
    temporary_path[sizeof temporary_path - 1] = '\0';
    temporary_set = 1;
}

int stopped_status() { return 128 + (stop_signal != 0 ? static_cast<int>(stop_signal) : SIGINT); }

void let_interrupt_break_calls(bool on)
{
    for (const int s : stop_signals)
        if (handled_here(s))
            set_stop_action(s, on ? 0 : SA_RESTART);
}

void add_stop_signals(sigset_t& set)
{
    for (const int s : stop_signals)
        if (handled_here(s))
            sigaddset(&set, s);
}
