#include "engine/ending.h"

#include "measurement/exiftool.h"
#include "outputs/scratch.h"

#include <QtGlobal>

#ifndef Q_OS_WIN
#include <csignal>
#include <cstdio>
#include <thread>
#include <unistd.h>
#endif

namespace ardentis
{

void end_cleanly_on_signals(OutsideStop *outside)
{
#ifndef Q_OS_WIN
    sigset_t held;
    sigemptyset(&held);
    for (const int s : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction now = {};
        if (sigaction(s, nullptr, &now) == 0 && now.sa_handler != SIG_IGN)
            sigaddset(&held, s);
    }
    pthread_sigmask(SIG_BLOCK, &held, nullptr); // before any other thread starts
    std::thread([held, outside] {
        int signal = 0;
        while (sigwait(&held, &signal) == 0) {
            if (outside && outside->idle && !outside->asked) {
                outside->signal = signal;
                outside->asked = true;
                continue;
            }
            if (outside && outside->pair_done && !outside->asked) {
                outside->signal = signal;
                outside->asked = true;
                std::fputs(signal == SIGINT
                               ? "\nStopping: the pairs in progress finish, and the results of "
                                 "the pairs done are written. Press Ctrl-C again to stop at "
                                 "once.\n"
                               : "\nStopping: the pairs in progress finish, and the results of "
                                 "the pairs done are written. Send the signal again to stop at "
                                 "once.\n",
                           stderr);
                continue;
            }
            end_all_tools();
            remove_all_scratch();
            ::_exit(128 + signal);
        }
    }).detach();
#else
    (void)outside;
#endif
}

} // namespace ardentis
