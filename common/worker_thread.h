// Helper threads of a tool that waits on files in its main thread. A stop signal
// (Ctrl-C, SIGTERM, SIGHUP) must reach the main thread, whose blocked read, write or
// open it is meant to break, so every helper runs with them blocked.
#pragma once

#include <pthread.h>
#include <signal.h>

#include <thread>
#include <utility>

template <typename Work>
std::thread start_worker_thread(Work work)
{
    sigset_t stops;
    sigset_t before;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stops, &before);
    std::thread worker(std::move(work));
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return worker;
}
