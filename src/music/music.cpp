// Music start-up: opens the mixer and plays the module in an endless loop on SDL's audio thread.
#include "music.hpp"

#include <SDL.h>
#include <SDL_mixer.h>
#include <cstdio>
#include <cstdlib>

#include "windows_desktop.hpp"

namespace {

constexpr int SAMPLERATE = 44100;
constexpr int CHANNELS = 2;
constexpr int CHUNKSIZE = 4096;
constexpr int LOOP_FOREVER = -1;
constexpr int EXIT_AUDIO = 2;

} // namespace

void startMusic() {
    Mix_Init(MIX_INIT_MOD);

    if (Mix_OpenAudio(SAMPLERATE, AUDIO_S16LSB, CHANNELS, CHUNKSIZE) == -1) {
        std::printf("Mix_OpenAudio: %s\n", SDL_GetError());
        tellStartFailure("the sound device", "stdout.txt");
        std::exit(EXIT_AUDIO);
    }

    // Kept for the whole run: the mixer plays it until the process ends.
    Mix_Music* music = Mix_LoadMUS("xmas.mod");
    if (music == nullptr) {
        std::printf("MUSIC_load: %s\n", SDL_GetError());
    }
    // Tried even without a module, so that the mixer reports its own refusal; the show goes on.
    if (Mix_PlayMusic(music, LOOP_FOREVER) == -1) {
        std::printf("Mix_PlayMusic: %s\n", SDL_GetError());
    }
}
