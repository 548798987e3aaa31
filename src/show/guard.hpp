// The process's guard against its surroundings: closed standard streams, a reader that stops
// reading or goes away, and signals that would end the show without SDL_Quit.
#pragma once

// Opens each closed standard descriptor on /dev/null, makes a pipe or socket on standard output
// non-blocking and sets up the signals; run before anything opens a file.
void guardProcess();

// Asks the show to end as on a quit request; safe in a signal handler.
void requestEnd();

// True once a hang-up or a vanished reader asked the show to end.
bool endRequested();
