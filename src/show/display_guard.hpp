// The guard against a display that goes away while the show runs.
#pragma once

// Makes a lost connection to the X server end the process at once, with a message on standard
// error and status 1; run once the display is open. Xlib's own handler would call exit, and the
// SDL_Quit registered with it would wait on the dead connection for ever.
void guardDisplay();
