// The show loop: one tick draws the scene, writes the scroller line, flips, waits and reads input.
#include <cstdio>
#include <cstring>

#include "scene.hpp"
#include "scroller.hpp"

namespace {

constexpr Uint32 TICK_MS = 250;

// Draws the frame, the title and the next scroller window, and writes the window as a line.
void drawTick(int& scrollpos, int scrolllen, SDL_Rect& rahmenrect, SDL_Rect& messagerect,
              SDL_Rect& scrollrect) {
    char scrollbuf[SCROLLBUFSIZE];

    SDL_BlitSurface(rahmen, nullptr, screen, &rahmenrect);
    SDL_BlitSurface(message, nullptr, screen, &messagerect);

    scrollpos = wrapScrollPos(scrollpos, scrolllen);
    scrollWindow(SCROLLSOURCE, scrollpos, scrollbuf);
    // Only the latest window is ever needed; freeing the last one keeps memory flat.
    SDL_FreeSurface(scrolltext);
    scrolltext = TTF_RenderText_Solid(font, scrollbuf, txt);
    std::printf("%s\n", scrollbuf);
    // A reader on a pipe or in a file sees each line as it is shown, not in bursts.
    std::fflush(stdout);
    ++scrollpos;

    SDL_BlitSurface(scrolltext, nullptr, screen, &scrollrect);
}

// True when an event asks the show to end: Escape released, or the window system's quit.
bool isQuitEvent(const SDL_Event& event) {
    return (event.type == SDL_KEYUP && event.key.keysym.sym == SDLK_ESCAPE) ||
           event.type == SDL_QUIT;
}

} // namespace

int showLoop(SDL_Rect& rahmenrect, SDL_Rect& messagerect, SDL_Rect& scrollrect) {
    int scrollpos = 0;
    const int scrolllen = static_cast<int>(std::strlen(SCROLLSOURCE));

    for (;;) {
        drawTick(scrollpos, scrolllen, rahmenrect, messagerect, scrollrect);
        SDL_Flip(screen);
        SDL_Delay(TICK_MS);

        // Events behind a quit event stay unread.
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
            if (isQuitEvent(event)) {
                return 0;
            }
        }
    }
}
