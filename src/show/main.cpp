// Entry of the show: starts SDL, the display, the music and the font engine, sets up the scene
// and hands over to the show loop.
#include <SDL.h>
#include <SDL_image.h>
#include <SDL_ttf.h>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "desktop.hpp"
#include "display_guard.hpp"
#include "file_check.hpp"
#include "music.hpp"
#include "process_guard.hpp"
#include "scene.hpp"
#include "show_loop.hpp"

SDL_Surface* screen = nullptr;
SDL_Surface* rahmen = nullptr;
SDL_Surface* message = nullptr;
SDL_Surface* scrolltext = nullptr;
TTF_Font* font = nullptr;
SDL_Color txt = {};

namespace {

// HOEHE carries the mode's width and BREITE its height: the mode is 640 wide, 480 high.
const int HOEHE = 640;
const int BREITE = 480;
const int FARBTIEFE = 32;

const Uint32 VIDEOFLAGS = SDL_FULLSCREEN | SDL_DOUBLEBUF | SDL_NOFRAME;
const char* const RAHMENDATEI = "rahmen.png";
const char* const FONTDATEI = "PC_Snowballs.ttf";
const int FONTSIZE = 50;
const char* const CAPTION = "Frostfunkel ";
const int EXIT_STARTUP = 1;

// The scene's places on the 640 x 480 screen. The title ends at x = 480, well left of the
// screen's right edge: that 480 is a place in the picture, not the mode's height.
const Sint16 RAHMEN_X = 15;
const Sint16 RAHMEN_Y = 85;
const int TITEL_RECHTS = 480;
const Sint16 TITEL_Y = 150;
const Sint16 SCROLLER_X = 50;
const int SCROLLER_ABSTAND = 30; // between the title's bottom and the scroller's top

// Ends start-up when a scene file cannot be used, naming the call, the file and the reason.
void failScene(const char* call, const char* file, const char* why) {
    std::fprintf(stderr, "%s(%s): %s\n", call, file, why);
    tellStartFailure(file, "stderr.txt", why);
    std::exit(EXIT_STARTUP);
}

void startSdl() {
    // A missing optional subsystem must not stop the show; only audio is required.
    SDL_Init(SDL_INIT_EVERYTHING);
    if (SDL_Init(SDL_INIT_AUDIO) < 0) {
        tellStartFailure("SDL's audio subsystem", nullptr);
        std::exit(EXIT_STARTUP);
    }
}

void openDisplay() {
    screen = SDL_SetVideoMode(HOEHE, BREITE, FARBTIEFE, VIDEOFLAGS);
    if (screen == nullptr) {
        std::fprintf(stderr, "Bildschirm konnte nicht initialisiert werden: %s", SDL_GetError());
        tellStartFailure("the 640 x 480 full-screen display", "stderr.txt");
        std::exit(EXIT_STARTUP);
    }
    SDL_WM_SetCaption(CAPTION, nullptr);
    SDL_ShowCursor(0);
    passCloseShortcut();
}

void startFontEngine() {
    if (TTF_Init() < 0) {
        tellStartFailure("the font engine", nullptr);
        std::exit(EXIT_STARTUP);
    }
}

// Loads the frame picture from the file its check read, and converts it once so that no blit
// needs a conversion.
void loadRahmen() {
    std::string why;
    std::FILE* file = openPictureFile(RAHMENDATEI, why);
    if (file == nullptr) {
        failScene("IMG_Load", RAHMENDATEI, why.c_str());
    }
    SDL_Surface* loaded = IMG_Load_RW(SDL_RWFromFP(file, 1), 1);
    if (loaded == nullptr) {
        failScene("IMG_Load", RAHMENDATEI, SDL_GetError());
    }
    rahmen = SDL_DisplayFormat(loaded);
    if (rahmen == nullptr) {
        failScene("SDL_DisplayFormat", RAHMENDATEI, SDL_GetError());
    }
    SDL_FreeSurface(loaded);
}

void openFont() {
    std::string why;
    std::FILE* file = openFontFile(FONTDATEI, why);
    if (file == nullptr) {
        failScene("TTF_OpenFont", FONTDATEI, why.c_str());
    }
    font = TTF_OpenFontRW(SDL_RWFromFP(file, 1), 1, FONTSIZE);
    if (font == nullptr) {
        failScene("TTF_OpenFont", FONTDATEI, SDL_GetError());
    }
}

void renderTitle(const char* messagetext) {
    message = TTF_RenderText_Solid(font, messagetext, txt);
    if (message == nullptr) {
        failScene("TTF_RenderText_Solid", FONTDATEI, SDL_GetError());
    }
}

} // namespace

// SDL's headers rename this to SDL_main where SDL supplies the process entry (Windows).
int main(int argc, char* argv[]) {
    (void)argc;
    (void)argv;
    // SDL_Quit runs on every way out, the failing exits included. On Windows SDL's entry
    // wrapper has already registered it before calling this function; a second registration
    // would run it twice at exit.
#ifndef _WIN32
    std::atexit(SDL_Quit);
#endif
    guardProcess();
    guardDisplay(); // before SDL_Init, which already connects to the display

    startSdl();
    openDisplay();
    guardDisplay(); // again, over any handler of the SDL library's own
    startMusic();
    startFontEngine();
    loadRahmen();

    const char* const messagetext = "Happy XMAS";
    SDL_Rect rahmenrect = {};
    SDL_Rect messagerect = {};
    SDL_Rect scrollrect = {};
    rahmenrect.x = RAHMEN_X;
    rahmenrect.y = RAHMEN_Y;
    messagerect.y = TITEL_Y;

    openFont();
    int messagewidth = 0;
    int messageheight = 0;
    TTF_SizeText(font, messagetext, &messagewidth, &messageheight);
    messagerect.x = static_cast<Sint16>(TITEL_RECHTS - messagewidth);
    renderTitle(messagetext);
    scrollrect.x = SCROLLER_X;
    scrollrect.y = static_cast<Sint16>(messagerect.y + messageheight + SCROLLER_ABSTAND);

    return showLoop(rahmenrect, messagerect, scrollrect);
}
