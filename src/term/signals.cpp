// Signals that other programs and the shell send the editor. One that ends it, or a stop asked
// for, takes effect at the next key read, after curses mode has ended, and never while a save
// writes; a continue after a stop sets the terminal up again. Faults end curses mode at once.
#include "term/signals.h"

#include "term/term.h"
#include "term/term_io.h"

#include <unistd.h>

#include <csignal>

namespace {

// Signals whose default is to end the process and that may come at any time from outside. The
// numbers just below the real-time range belong to the C library's threads and timers (FreeBSD
// names them SIGTHR and SIGLIBRT) and are left alone.
constexpr int LETHAL_SIGNALS[] = {
    SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE, SIGVTALRM, SIGPROF, SIGXCPU,
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};

// Signals that report a fault of the process itself: waiting would only repeat the fault.
constexpr int FAULT_SIGNALS[] = {
    SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS,
#ifdef SIGEMT
    SIGEMT,
#endif
};

}  // namespace

static volatile sig_atomic_t ending_signal;
static volatile sig_atomic_t stop_asked;
static volatile sig_atomic_t resumed;
static sigset_t ending_set;

static void signals_note_ending(int sig)
{
    if (!ending_signal)
        ending_signal = sig;
}

static void signals_note_stop(int) { stop_asked = 1; }

static void signals_note_resumed(int) { resumed = 1; }

static void signals_end_at_once(int sig)
{
    io_end();
    raise(sig);  // the handler was reset to the default on entry
}

// Installs handler for sig unless someone else already decided about it: a signal ignored by
// whoever started the editor (nohup) stays ignored, a debugger's or sanitizer's handler stays.
static bool signals_take(int sig, void (*handler)(int), int flags = 0)
{
    struct sigaction old {};
    if (sigaction(sig, nullptr, &old) != 0)
        return false;
    if (old.sa_handler == handler)
        return true;
    if (old.sa_handler != SIG_DFL)
        return false;
    struct sigaction act {};
    act.sa_handler = handler;
    act.sa_flags = flags;
    sigemptyset(&act.sa_mask);
    return sigaction(sig, &act, nullptr) == 0;
}

void signals_catch()
{
    ending_signal = 0;
    stop_asked = 0;
    resumed = 0;
    sigemptyset(&ending_set);
    for (int sig : LETHAL_SIGNALS)
        if (signals_take(sig, signals_note_ending))
            sigaddset(&ending_set, sig);
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; sig++)
        if (signals_take(sig, signals_note_ending))
            sigaddset(&ending_set, sig);
    for (int sig : FAULT_SIGNALS)
        signals_take(sig, signals_end_at_once, SA_RESETHAND | SA_NODEFER);
    // A stop waits like an ending signal, so that the terminal is given back first: curses leaves
    // a signal the editor took to the editor.
    if (signals_take(SIGTSTP, signals_note_stop))
        sigaddset(&ending_set, SIGTSTP);
    signals_take(SIGCONT, signals_note_resumed);
    // A save past the file size limit then fails like any write and keeps the changes, instead
    // of ending the editor with them unsaved.
    signals_take(SIGXFSZ, SIG_IGN);
}

void signals_hold() { sigprocmask(SIG_BLOCK, &ending_set, nullptr); }

void signals_release() { sigprocmask(SIG_UNBLOCK, &ending_set, nullptr); }

// Stops the process as the signal would have, with curses mode ended; returns once continued.
static void signals_stop()
{
    stop_asked = 0;
    io_end();
    signal(SIGTSTP, SIG_DFL);
    raise(SIGTSTP);
    signals_take(SIGTSTP, signals_note_stop);
    resumed = 1;
}

bool signals_act()
{
    if (int sig = ending_signal) {
        io_end();
        signal(sig, SIG_DFL);
        sigset_t only{};
        sigemptyset(&only);
        sigaddset(&only, sig);
        sigprocmask(SIG_UNBLOCK, &only, nullptr);
        raise(sig);
        _exit(128 + sig);
    }
    if (stop_asked)
        signals_stop();
    if (!resumed)
        return false;
    resumed = 0;
    io_resume();
    return true;
}
