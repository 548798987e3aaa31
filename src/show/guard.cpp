// Guards the process: standard descriptors that are always open, output that never holds the
// show, and a hang-up that ends the show as a quit request does.
#include "guard.hpp"

#include <csignal>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#endif

namespace {

volatile std::sig_atomic_t endRequestedFlag = 0;

#ifndef _WIN32
int outputFlags = -1;

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

void restoreOutputFlags() {
    fcntl(STDOUT_FILENO, F_SETFL, outputFlags);
}

// A reader that stops reading would hold the whole show in its write once the pipe is full: the
// lines are written without waiting instead, and those that do not fit are lost. A terminal is
// left blocking, as its flags are shared with the shell.
void neverWaitForTheReader() {
    struct stat info = {};
    if (fstat(STDOUT_FILENO, &info) != 0 || !(S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode))) {
        return;
    }
    outputFlags = fcntl(STDOUT_FILENO, F_GETFL);
    if (outputFlags != -1 && fcntl(STDOUT_FILENO, F_SETFL, outputFlags | O_NONBLOCK) == 0) {
        std::atexit(restoreOutputFlags); // the pipe's other writers get it back as it was
    }
}

void endOnSignal(int) {
    requestEnd();
}

// A hang-up ends the show as a quit request does, unless it was set to be ignored (nohup).
// Write errors come back from the write instead of a broken pipe's or a file size limit's
// signal ending the process. SDL turns SIGINT and SIGTERM into quit requests itself.
void setUpSignals() {
    struct sigaction action = {};
    sigaction(SIGHUP, nullptr, &action);
    if (action.sa_handler == SIG_DFL) {
        action.sa_handler = endOnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGHUP, &action, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}
#endif

} // namespace

void guardProcess() {
#ifndef _WIN32 // SDL's entry sends the standard streams to files; there are no such signals
    openClosedStandardDescriptors();
    neverWaitForTheReader();
    setUpSignals();
#endif
}

void requestEnd() {
    endRequestedFlag = 1;
}

bool endRequested() {
    return endRequestedFlag != 0;
}
