#!/usr/bin/python3
"""Plays a module through SDL_mixer 1.2 into a raw file, as the show hears it (the show's mixer
format: 44.1 kHz, s16, stereo, 4096-frame chunks)."""

import array
import math
import os
import subprocess
import sys

# Run as a script, it finds the music tools beside its own folder.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "music"))
import mixer_format  # noqa: E402 (found through the path set above)

RATE = mixer_format.RATE
CHUNK = mixer_format.CHUNK_FRAMES
# A module that never ends (one that jumps back on itself) is stopped after this much sound.
LIMIT_SECONDS = 1200

# Runs in a child process so SDL's disk driver reads its settings from a fresh environment.
# The disk driver runs faster than real time, so the length is counted in the audio thread:
# the music starts between two chunks (audio locked), the post-mix hook counts every chunk
# from then on and the finished hook notes the count when the music has stopped.
CHILD = r"""
import ctypes, sys
SDL_INIT_AUDIO = 0x10
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
assert sdl.SDL_Init(SDL_INIT_AUDIO) == 0
assert mix.Mix_OpenAudio(%d, %d, %d, %d) == 0
m = mix.Mix_LoadMUS(sys.argv[1].encode())
assert m, 'SDL_mixer could not load the module'
mix.Mix_HookMusicFinished(done_cb)
sdl.SDL_LockAudio()
mix.Mix_SetPostMix(post_cb, None)
mix.Mix_PlayMusic(ctypes.c_void_p(m), int(sys.argv[2]))
sdl.SDL_UnlockAudio()
while state['end'] is None and state['bytes'] < int(sys.argv[3]):
    sdl.SDL_Delay(5)
sdl.SDL_LockAudio()
mix.Mix_HookMusicFinished(None)
mix.Mix_SetPostMix(None, None)
sdl.SDL_UnlockAudio()
mix.Mix_CloseAudio()
sdl.SDL_Quit()
assert state['end'] is not None, 'the music did not end'
print(state['end'])
""" % (RATE, mixer_format.AUDIO_S16LSB, mixer_format.CHANNELS, CHUNK)


def render(mod_path, raw_path, loops=0):
    """Renders into raw_path; returns the music as an array of interleaved 16-bit samples, from
    its first chunk to the end of the chunk in which it stopped (so up to 4096 frames long).
    With loops, SDL_mixer starts the module again when it ends, as the show's endless loop does:
    SDL_mixer 1.2 plays it loops + 1 times, but once for loops 0 and 1.
    The start is found as the chunk holding the first sound, which is right for modules that
    sound on their first row."""
    env = dict(os.environ, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=raw_path,
               SDL_DISKAUDIODELAY="0")
    limit = str(LIMIT_SECONDS * (loops + 1) * RATE * 4)
    out = subprocess.run([sys.executable, "-c", CHILD, mod_path, str(loops), limit], env=env,
                         check=True, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                         text=True).stdout
    music_frames = int(out.split()[-1]) // 4
    pcm = array.array("h")
    with open(raw_path, "rb") as f:
        pcm.frombytes(f.read())
    if sys.byteorder != "little":
        pcm.byteswap()
    first = next(i for i, v in enumerate(pcm) if v) // 2
    start = first // CHUNK * CHUNK
    return pcm[start * 2:(start + music_frames) * 2]


def main(argv):
    if len(argv) < 2:
        sys.stderr.write("usage: render_sdl.py MODULE [OUT.raw]\n")
        return 2
    raw_path = argv[2] if len(argv) > 2 else "/tmp/xmas-sdl.raw"
    pcm = render(argv[1], raw_path)
    frames = len(pcm) // 2
    peak = max(max(pcm), -min(pcm))
    clipped = sum(1 for v in pcm if v in (32767, -32768))
    print("%d frames, %.2f s; peak %d (%.2f dBFS), %d samples at full scale"
          % (frames, frames / RATE, peak, 20 * math.log10(peak / 32768.0), clipped))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
