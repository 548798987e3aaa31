"""The format the show opens its mixer with (src/music/music.cpp), for the arranger's chunk
timing and for the tests that play the module as the show does."""

RATE = 44100  # frames a second
CHUNK_FRAMES = 4096  # frames the mixer fills at a time
CHANNELS = 2  # stereo
AUDIO_S16LSB = 0x8010  # SDL's signed 16-bit little-endian samples
