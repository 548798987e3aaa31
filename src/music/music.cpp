// Music start-up: opens the mixer and plays the module in an endless loop on SDL's audio thread.
#include "music.hpp"

#include <SDL.h>
#include <SDL_mixer.h>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "desktop.hpp"
#include "file_check.hpp"
#include "output.hpp"

namespace {

constexpr int SAMPLERATE = 44100;
constexpr int CHANNELS = 2;
constexpr int CHUNKSIZE = 4096;
constexpr int LOOP_FOREVER = -1;
constexpr int EXIT_AUDIO = 2;
const char* const MODULE = "xmas.mod";

// Loads the module from the file its check opened, so that nothing swapped in at its path since
// (a named pipe) reaches the mixer; null with SDL's error set, naming the file, when it cannot.
Mix_Music* loadModule() {
    std::string why;
    std::FILE* file = openModuleFile(MODULE, why);
    if (file == nullptr) {
        SDL_SetError("%s: %s", MODULE, why.c_str());
        return nullptr;
    }
    Mix_Music* music = Mix_LoadMUSType_RW(SDL_RWFromFP(file, 1), MUS_NONE, 1);
    if (music == nullptr) {
        const std::string mixers = SDL_GetError(); // copied: SDL_SetError writes over it
        SDL_SetError("%s: %s", MODULE, mixers.c_str());
    }
    return music;
}

} // namespace

void startMusic() {
    Mix_Init(MIX_INIT_MOD);

    if (Mix_OpenAudio(SAMPLERATE, AUDIO_S16LSB, CHANNELS, CHUNKSIZE) == -1) {
        writeLine("Mix_OpenAudio: %s\n", SDL_GetError());
        tellStartFailure("the sound device", "stdout.txt");
        std::exit(EXIT_AUDIO);
    }

    // Kept for the whole run: the mixer plays it until the process ends.
    Mix_Music* music = loadModule();
    if (music == nullptr) {
        writeLine("MUSIC_load: %s\n", SDL_GetError());
    }
    // Tried even without a module, so that the mixer reports its own refusal; the show goes on.
    if (Mix_PlayMusic(music, LOOP_FOREVER) == -1) {
        writeLine("Mix_PlayMusic: %s\n", SDL_GetError());
    }
}
