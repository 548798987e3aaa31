// The end flag, set from signal handlers and the output writer, read by the show loop.
#include "end_request.hpp"

#include <csignal>

namespace {

volatile std::sig_atomic_t endRequestedFlag = 0;

} // namespace

void requestEnd() {
    endRequestedFlag = 1;
}

bool endRequested() {
    return endRequestedFlag != 0;
}
