// The output writer: each line in one write, only when standard output can take it at once, and
// after a line cut short, the next one on a line of its own.
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

#ifndef _WIN32
// True while the last bytes written are the start of a line the output took only in part (a
// file that reached its size limit, a full disk): the next line then begins with a line end, so
// that it is never glued to that fragment.
bool lineCut = false;

// Writes the line with one write when the output can take it at once; remembers a cut.
void writeWhole(const char* line, std::size_t length) {
    pollfd output = {STDOUT_FILENO, POLLOUT, 0};
    if (poll(&output, 1, 0) != 1) {
        return;
    }
    const ssize_t written = write(STDOUT_FILENO, line, length);
    if (written < 0 && errno == EPIPE) {
        requestEnd();
    }
    if (written > 0) {
        lineCut = std::size_t(written) < length;
    }
}
#endif

} // namespace

void writeLine(const char* format, ...) {
    char buffer[1 + LINE_SIZE]; // a line end before the line, sent after a cut
    char* const line = buffer + 1;
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(line, LINE_SIZE, format, args);
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
    if (lineCut) {
        buffer[0] = '\n';
        writeWhole(buffer, 1 + std::size_t(length));
    } else {
        writeWhole(line, std::size_t(length));
    }
#endif
}
