// The show loop: one tick draws the scene, writes the scroller line, flips, waits and reads input.
#include <cstring>

#include "display_guard.hpp"
#include "end_request.hpp"
#include "output.hpp"
#include "scene.hpp"
#include "scroller.hpp"
#include "show_loop.hpp"

namespace {

constexpr Uint32 TICK_MS = 250;

// Renders the window as the new scroller surface. Only the latest window is ever drawn, so
// the previous surface is freed first: keeping them all would grow the process every tick.
void renderScrollText(const char* scrollbuf) {
    SDL_FreeSurface(scrolltext);
    scrolltext = TTF_RenderText_Solid(font, scrollbuf, txt);
}

// Writes the window as a line, at once, so that a reader on a pipe or in a file sees each line
// as it is shown. A line the output cannot take at once is lost and the show goes on; when the
// reader has gone, the show ends as on a quit request.
void writeScrollLine(const char* scrollbuf) {
    writeLine("%s\n", scrollbuf);
}

// Takes the pending events until one asks the show to end: Escape released, or the window
// system's quit (unless it means the display was lost). Events behind that one stay unread. A
// hang-up or a vanished reader ends the show here too, before the events are read.
bool quitRequested() {
    if (endRequested()) {
        return true;
    }
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT) {
            endIfDisplayLost();
            return true;
        }
        if (event.type == SDL_KEYUP && event.key.keysym.sym == SDLK_ESCAPE) {
            return true;
        }
    }
    return false;
}

// Blits the whole surface at a copy of the rectangle: SDL's blit writes the clipped rectangle
// back into the one it is given, which would move a partly hidden title on the next tick.
void blitAt(SDL_Surface* surface, SDL_Rect at) {
    SDL_BlitSurface(surface, nullptr, screen, &at);
}

} // namespace

int showLoop(const SDL_Rect& rahmenrect, const SDL_Rect& messagerect, const SDL_Rect& scrollrect) {
    int scrollpos = 0;
    char scrollbuf[SCROLLBUFSIZE];
    const int scrolllen = static_cast<int>(std::strlen(SCROLLSOURCE));

    for (;;) {
        blitAt(rahmen, rahmenrect);
        blitAt(message, messagerect);

        scrollpos = wrapScrollPos(scrollpos, scrolllen);
        scrollWindow(SCROLLSOURCE, scrollpos, scrollbuf);
        renderScrollText(scrollbuf);
        writeScrollLine(scrollbuf);
        ++scrollpos;
        blitAt(scrolltext, scrollrect);

        SDL_Flip(screen);
        SDL_Delay(TICK_MS);
        if (quitRequested()) {
            return 0;
        }
    }
}
