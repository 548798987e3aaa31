// The process's guard against its surroundings: closed standard streams, a reader that stops
// reading or goes away, a display that goes away, and signals that would end the show without
// SDL_Quit.
#pragma once

// Opens each closed standard descriptor on /dev/null and sets up the signals; run before
// anything opens a file.
void guardProcess();

// Makes a lost connection to the X server end the process at once, with a message on standard
// error and status 1; run once the display is open. Xlib's own handler would call exit, and the
// SDL_Quit registered with it would wait on the dead connection for ever.
void guardDisplay();

// Writes one line to standard output, printf's format (its line end included) and arguments,
// whole and without waiting: a line the output cannot take at once is lost, as is one it
// refuses (disk full, file too large). When the reader has gone, the show ends as on a quit
// request. Standard output's settings, which it may share with other programs, stay untouched.
void writeLine(const char* format, ...);

// Asks the show to end as on a quit request; safe in a signal handler.
void requestEnd();

// True once a hang-up or a vanished reader asked the show to end.
bool endRequested();
