// Guards the process: standard descriptors that are always open, write errors that come back
// from the write instead of ending the process, a hang-up that ends the show as a quit request
// does, and quit signals that cannot cut its ending short.
#include "process_guard.hpp"

#include <csignal>
#include <cstdlib>
#include <initializer_list>

#include "end_request.hpp"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

#ifndef _WIN32
// A closed descriptor 0, 1 or 2 would be taken by the next file a library opens (the display
// connection, a sound device), and the scroller lines or messages written into it.
void openClosedStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) == -1) {
            // The lowest free descriptor is this one, as the lower ones are open by now.
            open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        }
    }
}

void endOnSignal(int) {
    requestEnd();
}

// A hang-up ends the show as a quit request does, unless it was set to be ignored (nohup). It
// interrupts a call that waits instead of resuming it, so the show ends even then. Write errors
// come back from the write instead of a broken pipe's or a file size limit's signal ending the
// process. SDL turns SIGINT and SIGTERM into quit requests itself.
void setUpSignals() {
    struct sigaction action = {};
    sigaction(SIGHUP, nullptr, &action);
    if (action.sa_handler == SIG_DFL) {
        action.sa_handler = endOnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0; // no SA_RESTART
        sigaction(SIGHUP, &action, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

// Run at exit before SDL_Quit: a quit signal that comes while the show ends finds it ending
// already and is ignored. SDL_Quit gives SIGINT and SIGTERM their default action back, which
// would end the process by the signal instead of with its status. They are also held back in
// this thread for the moment SDL sets the default before putting the ignoring back.
void ignoreQuitSignalsWhileEnding() {
    sigset_t quitSignals;
    sigemptyset(&quitSignals);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&quitSignals, signal);
        std::signal(signal, SIG_IGN);
    }
    sigprocmask(SIG_BLOCK, &quitSignals, nullptr);
}
#endif

} // namespace

void guardProcess() {
#ifndef _WIN32 // SDL's entry sends the standard streams to files; there are no such signals
    openClosedStandardDescriptors();
    setUpSignals();
    std::atexit(ignoreQuitSignalsWhileEnding); // after SDL_Quit's registration: run before it
#endif
}
