// Starts the background music: the mixer and the endlessly looping module.
#pragma once

// Opens the audio device and starts "xmas.mod" looping. Ends the process with status 2 when
// the device cannot be opened; a module that cannot be loaded or played is only reported: a
// folder, named pipe or device in its place is refused without being read.
void startMusic();
