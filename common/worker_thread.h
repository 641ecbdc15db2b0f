// Helper threads of a tool that waits on files in its main thread. A Ctrl-C must
// reach the main thread, whose blocked read, write or open it is meant to break, so
// every helper runs with SIGINT blocked and leaves the signal to it.
#pragma once

#include <pthread.h>
#include <signal.h>

#include <thread>
#include <utility>

template <typename Work>
std::thread start_worker_thread(Work work)
{
    sigset_t interrupt_only;
    sigset_t before;
    sigemptyset(&interrupt_only);
    sigaddset(&interrupt_only, SIGINT);
    pthread_sigmask(SIG_BLOCK, &interrupt_only, &before);
    std::thread worker(std::move(work));
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return worker;
}
