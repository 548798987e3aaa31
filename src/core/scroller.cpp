// The scroller's text and its window: a pure function of the position.
#include "scroller.hpp"

#include <cstring>

const char SCROLLSOURCE[] = "                  Froehliche Weihnachten wuenscht Christkind sehr, so "
                            "bringt endlich die Geschenke her!   :)";

int wrapScrollPos(int scrollpos, int scrolllen) {
    return scrollpos >= scrolllen ? 0 : scrollpos;
}

void scrollWindow(const char* source, int scrollpos, char (&scrollbuf)[SCROLLBUFSIZE]) {
    // strncpy zero-fills past the end of the text; the last byte is then cut to keep 18 characters.
    std::strncpy(scrollbuf, source + scrollpos, SCROLLBUFSIZE);
    scrollbuf[SCROLLBUFSIZE - 1] = '\0';
}
