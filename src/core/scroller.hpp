// The scroller's text and the 18-character window of it shown in one tick.
#pragma once

// The greeting: 18 leading blanks (one window) so it enters from the right edge.
extern const char SCROLLSOURCE[];

// Size of the window buffer: 18 characters and the terminating zero.
constexpr int SCROLLBUFSIZE = 19;

// Wraps the position back to the start once it has run past the text.
int wrapScrollPos(int scrollpos, int scrolllen);

// Fills scrollbuf with the window starting at scrollpos (0 <= scrollpos < strlen(source)):
// 18 characters, or fewer where the text ends, always zero-terminated.
void scrollWindow(const char* source, int scrollpos, char (&scrollbuf)[SCROLLBUFSIZE]);
