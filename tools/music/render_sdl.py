#!/usr/bin/env python3
"""Plays a module once through SDL_mixer 1.2 into a raw file, as the show hears it (44.1 kHz, s16, stereo)."""

import os
import subprocess
import sys

RATE = 44100

# Runs in a child process so SDL's disk driver reads its settings from a fresh environment.
# The disk driver runs faster than real time, so the length is counted in the audio thread:
# the post-mix hook sees every chunk and the finished hook marks the chunk where music stopped.
CHILD = r"""
import ctypes, sys
sdl = ctypes.CDLL('libSDL-1.2.so.0')
mix = ctypes.CDLL('libSDL_mixer-1.2.so.0')
mix.Mix_LoadMUS.restype = ctypes.c_void_p
state = {'bytes': 0, 'end': None}
POST = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int)
DONE = ctypes.CFUNCTYPE(None)
def post(udata, stream, length):
    state['bytes'] += length
def done():
    state['end'] = state['bytes']
post_cb, done_cb = POST(post), DONE(done)
assert sdl.SDL_Init(0x10) == 0
assert mix.Mix_OpenAudio(44100, 0x8010, 2, 4096) == 0
m = mix.Mix_LoadMUS(sys.argv[1].encode())
assert m, 'SDL_mixer could not load the module'
mix.Mix_SetPostMix(post_cb, None)
mix.Mix_HookMusicFinished(done_cb)
mix.Mix_PlayMusic(ctypes.c_void_p(m), 0)
while mix.Mix_PlayingMusic() and state['end'] is None:
    sdl.SDL_Delay(10)
sdl.SDL_Delay(50)
mix.Mix_HookMusicFinished(None)
mix.Mix_SetPostMix(None, None)
mix.Mix_CloseAudio()
sdl.SDL_Quit()
print(state['end'] if state['end'] is not None else state['bytes'])
"""


def render(mod_path, raw_path):
    """Writes the mixed audio to raw_path; returns the frames mixed while the music was playing
    (to the end of the chunk it stopped in, so at most 4096 frames long)."""
    env = dict(os.environ, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=raw_path, SDL_DISKAUDIODELAY="0")
    out = subprocess.run([sys.executable, "-c", CHILD, mod_path], env=env, check=True,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
    return int(out.split()[-1]) // 4


def main(argv):
    if len(argv) < 2:
        sys.stderr.write("usage: render_sdl.py MODULE [OUT.raw]\n")
        return 2
    raw_path = argv[2] if len(argv) > 2 else "/tmp/xmas-sdl.raw"
    frames = render(argv[1], raw_path)
    print("%d frames, %.2f s (raw audio in %s)" % (frames, frames / RATE, raw_path))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
