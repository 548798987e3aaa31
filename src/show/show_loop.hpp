// The show loop, which main starts once the scene is made.
#pragma once

#include <SDL.h>

// Runs the show until Escape is released or the window system asks to quit; returns 0 then.
// Each tick draws at the same rectangles, also where a surface is clipped at the screen's edge.
int showLoop(const SDL_Rect& rahmenrect, const SDL_Rect& messagerect, const SDL_Rect& scrollrect);
