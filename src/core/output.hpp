// The one writer of the show's standard output: the scroller lines and the mixer's messages.
#pragma once

// Writes one line to standard output, printf's format (its line end included) and arguments,
// in one write and without waiting: a line the output cannot take at once is dropped, and one
// the output refuses (disk full, file too large) is not written. A pipe or terminal takes a line
// whole or not at all; a file at its size limit or on a full disk may take only its start, and
// the next line written then begins with a line end, so the cut stays visible and no line is
// glued to it. When the reader has gone, the show ends as on a quit request. Standard output's
// settings, which it may share with other programs, stay untouched.
void writeLine(const char* format, ...);
