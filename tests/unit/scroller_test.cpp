// The scroller window is always zero-terminated, whatever the buffer held before.
#include <cstring>
#include <gtest/gtest.h>

#include "scroller.hpp"

TEST(Scroller, WindowIsTerminatedAfterItsCharactersWhateverTheBufferHeld) {
    // A window of 18 characters fills the buffer but for its last byte, a shorter one ends early.
    for (const int pos : {0, 50, 90, 107}) {
        char buf[SCROLLBUFSIZE];
        std::memset(buf, 'X', sizeof buf);
        scrollWindow(SCROLLSOURCE, pos, buf);
        EXPECT_EQ(std::strlen(buf), std::min<std::size_t>(18, std::strlen(SCROLLSOURCE) - pos));
    }
}
