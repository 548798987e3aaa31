// The output writer: each line in one write, only when standard output can take it at once.
#include "output.hpp"

#include <cerrno>
#include <cstdarg>
#include <cstdio>

#include "end_request.hpp"

#ifndef _WIN32
#include <poll.h>
#include <unistd.h>
#endif

namespace {

// Far below PIPE_BUF, the most a pipe takes whole, and above any line the show writes.
constexpr int LINE_SIZE = 2048;

} // namespace

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
