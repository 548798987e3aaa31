// Guards the process: standard descriptors that are always open, output that never holds the
// show nor changes what other programs share, a lost display that ends the show at once, and a
// hang-up that ends the show as a quit request does.
#include "guard.hpp"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>

#ifndef _WIN32
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

namespace {

volatile std::sig_atomic_t endRequestedFlag = 0;

// Far below PIPE_BUF, the most a pipe takes whole, and above any line the show writes.
constexpr int LINE_SIZE = 2048;

#ifndef _WIN32
const char DISPLAY_LOST[] = "Bildschirm verloren: die Verbindung zum X-Server ist abgebrochen\n";
constexpr int EXIT_DISPLAY_LOST = 1;

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

// Called by Xlib when the connection to the X server fails. Nothing of SDL's can be shut down
// without that connection, so the process ends here, without SDL_Quit.
int endOnLostDisplay(void*) {
    if (write(STDERR_FILENO, DISPLAY_LOST, sizeof DISPLAY_LOST - 1) < 0) {
        // nothing more to say where standard error is gone
    }
    _exit(EXIT_DISPLAY_LOST);
}
#endif

} // namespace

void guardProcess() {
#ifndef _WIN32 // SDL's entry sends the standard streams to files; there are no such signals
    openClosedStandardDescriptors();
    setUpSignals();
#endif
}

void guardDisplay() {
#ifndef _WIN32
    // Xlib's handler is set only where SDL has loaded Xlib; the show is then drawn through it.
    void* xlib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    using IOErrorHandler = int (*)(void* display);
    using SetIOErrorHandler = IOErrorHandler (*)(IOErrorHandler);
    auto setHandler = xlib == nullptr
                          ? nullptr
                          : reinterpret_cast<SetIOErrorHandler>(dlsym(xlib, "XSetIOErrorHandler"));
    if (setHandler != nullptr) {
        setHandler(endOnLostDisplay);
    }
#endif
}

void writeLine(const char* format, ...) {
    char line[LINE_SIZE];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (length < 0 || length >= LINE_SIZE) {
        return;
    }
#ifdef _WIN32
    // SDL's entry has sent standard output to a file of the show's own.
    std::fputs(line, stdout);
    std::fflush(stdout);
#else
    // One write of a line a pipe takes whole, made only when the output can take it at once, so
    // the show neither waits for its reader nor needs the output's settings changed. A pipe
    // without a reader is ready as well: its write fails with EPIPE.
    pollfd output = {STDOUT_FILENO, POLLOUT, 0};
    if (poll(&output, 1, 0) == 1 && write(STDOUT_FILENO, line, std::size_t(length)) < 0 &&
        errno == EPIPE) {
        requestEnd();
    }
#endif
}

void requestEnd() {
    endRequestedFlag = 1;
}

bool endRequested() {
    return endRequestedFlag != 0;
}
