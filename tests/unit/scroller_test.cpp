// The scroller's windows: what each position shows, the wrap, and the end of the text.
#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "scroller.hpp"

namespace {

std::string windowAt(int pos) {
    char buf[SCROLLBUFSIZE];
    std::memset(buf, 'X', sizeof buf);
    scrollWindow(SCROLLSOURCE, pos, buf);
    return buf;
}

TEST(Scroller, TextIsTheGreetingWithOneWindowOfLeadingBlanks) {
    const std::string text = SCROLLSOURCE;
    EXPECT_EQ(text.size(), 108u);
    EXPECT_EQ(text.find_first_not_of(' '), 18u);
    EXPECT_EQ(text.substr(18, 10), "Froehliche");
    EXPECT_EQ(text.substr(text.size() - 5), "   :)");
}

struct WindowCase {
    int pos;
    const char* window;
};

TEST(Scroller, WindowsAtKnownPositions) {
    const WindowCase cases[] = {
        {0, "                  "},  {1, "                 F"},
        {18, "Froehliche Weihnac"}, {50, "Christkind sehr, s"},
        {90, "eschenke her!   :)"}, {91, "schenke her!   :)"},
        {100, "er!   :)"},          {107, ")"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(windowAt(c.pos), c.window) << "at position " << c.pos;
    }
}

TEST(Scroller, EveryWindowIsTheTextSliceAndNeverEmpty) {
    const std::string text = SCROLLSOURCE;
    for (int pos = 0; pos < static_cast<int>(text.size()); ++pos) {
        const std::string window = windowAt(pos);
        EXPECT_EQ(window, text.substr(pos, 18)) << "at position " << pos;
        EXPECT_FALSE(window.empty());
    }
}

TEST(Scroller, PositionWrapsOnlyPastTheEnd) {
    const int len = static_cast<int>(std::strlen(SCROLLSOURCE));
    const struct {
        int pos;
        int wrapped;
    } cases[] = {{0, 0}, {1, 1}, {len - 1, len - 1}, {len, 0}, {len + 5, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(wrapScrollPos(c.pos, len), c.wrapped) << "at position " << c.pos;
    }
}

} // namespace
