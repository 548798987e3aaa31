// The process's guard against its surroundings: closed standard streams, a reader that goes
// away, and signals that would end the show without SDL_Quit.
#pragma once

// Opens each closed standard descriptor on /dev/null and sets up the signals; run before
// anything opens a file.
void guardProcess();
