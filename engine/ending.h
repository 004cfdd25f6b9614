#pragma once
// How a process running pairs ends when it is told to by a signal: Ctrl-C,
// `kill`, or its terminal closing.

#include <atomic>

namespace ardentis
{

// A stop asked from outside a run (a signal), which a run takes once it has
// done a pair: the pairs in progress finish and the results of the pairs done
// are written, as when the window's run is stopped. Before that, results of
// an earlier run would give way to none.
struct OutsideStop {
    std::atomic<bool> pair_done{false}; // set by the run once it has done a pair
    // Set by a window while no run is under way: a signal then asks it to
    // close, as its user would, instead of ending the process at once.
    std::atomic<bool> idle{false};
    std::atomic<int> signal{0};     // the signal that asked, set from outside; 0: none
    std::atomic<bool> asked{false}; // set from outside, after `signal`
};

// Holds SIGINT, SIGTERM and SIGHUP back in every thread (call it before any
// other thread starts) and takes them in a thread of its own; one the process
// was started ignoring (nohup, a script's background job) stays ignored. With
// `outside`, the first of them once its run has done a pair asks it to stop,
// and says so on standard error, and the first while a window is idle asks
// it to close, silently; any other ends the process at once with
// 128 + the signal, taking its temporary files, work folders, lock and tools
// with it. Does nothing where there are no such signals.
void end_cleanly_on_signals(OutsideStop *outside);

} // namespace ardentis
