// The show's long-lived library objects, made once at start-up and drawn by the show loop.
#pragma once

#include <SDL.h>
#include <SDL_ttf.h>

extern SDL_Surface* screen;     // the display surface
extern SDL_Surface* rahmen;     // the frame picture in the display's pixel format
extern SDL_Surface* message;    // the title, rendered once
extern SDL_Surface* scrolltext; // the current scroller window; null until the first tick
extern TTF_Font* font;          // the only font, at 50 points
extern SDL_Color txt;           // colour of all text: never assigned, so black
