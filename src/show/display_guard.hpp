// The guard against a display that goes away while the show runs.
#pragma once

// Makes a lost connection to the X server end the process at once, with a message on standard
// error and status 1; run before SDL starts, and again once the display is open. Xlib's own
// handler would call exit, and the SDL_Quit registered with it would wait on the dead
// connection for ever.
void guardDisplay();

// Run on the window system's quit request: where that request is SDL 2's word for a Wayland
// compositor gone away, ends the process with a message on standard error and status 1.
void endIfDisplayLost();
