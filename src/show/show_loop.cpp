// The show loop: one tick draws the scene, writes the scroller line, flips, waits and reads input.
#include <cstdio>
#include <cstring>

#include "scene.hpp"
#include "scroller.hpp"

namespace {

constexpr Uint32 TICK_MS = 250;

// Renders the window as the new scroller surface. Only the latest window is ever drawn, so
// the previous surface is freed first: keeping them all would grow the process every tick.
void renderScrollText(const char* scrollbuf) {
    SDL_FreeSurface(scrolltext);
    scrolltext = TTF_RenderText_Solid(font, scrollbuf, txt);
}

// Writes the window as a line. Flushed, so that a reader on a pipe or in a file sees each line
// as it is shown, not in bursts.
void writeScrollLine(const char* scrollbuf) {
    std::printf("%s\n", scrollbuf);
    std::fflush(stdout);
}

// Takes the pending events until one asks the show to end: Escape released, or the window
// system's quit. Events behind that one stay unread.
bool quitRequested() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if ((event.type == SDL_KEYUP && event.key.keysym.sym == SDLK_ESCAPE) ||
            event.type == SDL_QUIT) {
            return true;
        }
    }
    return false;
}

} // namespace

int showLoop(SDL_Rect& rahmenrect, SDL_Rect& messagerect, SDL_Rect& scrollrect) {
    int scrollpos = 0;
    char scrollbuf[SCROLLBUFSIZE];
    const int scrolllen = static_cast<int>(std::strlen(SCROLLSOURCE));

    for (;;) {
        SDL_BlitSurface(rahmen, nullptr, screen, &rahmenrect);
        SDL_BlitSurface(message, nullptr, screen, &messagerect);

        scrollpos = wrapScrollPos(scrollpos, scrolllen);
        scrollWindow(SCROLLSOURCE, scrollpos, scrollbuf);
        renderScrollText(scrollbuf);
        writeScrollLine(scrollbuf);
        ++scrollpos;
        SDL_BlitSurface(scrolltext, nullptr, screen, &scrollrect);

        SDL_Flip(screen);
        SDL_Delay(TICK_MS);
        if (quitRequested()) {
            return 0;
        }
    }
}
