// The process's guard against its surroundings: closed standard streams, a reader that goes
// away, and signals that would end the show without SDL_Quit.
#pragma once

// Opens each closed standard descriptor on /dev/null and sets up the signals, those that would
// come while the show ends included; run before anything opens a file, and after SDL_Quit is
// registered to run at exit.
void guardProcess();
