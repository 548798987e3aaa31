/* SDL 1.2's audio in the browser: a Web Audio script processor asks for each buffer and SDL's
   callback fills it right there, as SDL runs without threads. The page makes the AudioContext
   inside the user's click or key press (browsers start sound only then) and hands it over as
   Module.audioContext; the sound goes to Module.audioOutput, or else to the context's output. */
#include "SDL_config.h"

#ifdef SDL_AUDIO_DRIVER_WEB

#include <emscripten.h>

#include "SDL_audio.h"
#include "../SDL_audio_c.h"
#include "../SDL_sysaudio.h"

/* The device each driver function works on. */
#undef _THIS
#define _THIS SDL_AudioDevice *_this

struct SDL_PrivateAudioData {
	Uint8 *buffer;
};

/* The device that is open: the script processor calls back into it. */
static SDL_AudioDevice *open_device;

/* Fills the device's buffer through SDL's callback (silence while paused) and returns it. */
EMSCRIPTEN_KEEPALIVE Uint8 *web_audio_fill(void)
{
	SDL_AudioDevice *audio = open_device;
	if (audio == NULL) {
		return NULL;
	}
	SDL_memset(audio->hidden->buffer, audio->spec.silence, audio->spec.size);
	if (audio->enabled && !audio->paused) {
		audio->spec.callback(audio->spec.userdata, audio->hidden->buffer, (int)audio->spec.size);
	}
	return audio->hidden->buffer;
}

/* The context's sample rate, or 0 when the page has made no context. */
EM_JS(int, web_audio_rate, (void), {
	var context = Module['audioContext'];
	return context ? context.sampleRate : 0;
});

/* A processor of `frames` frames a buffer that turns SDL's signed 16-bit interleaved samples
   into Web Audio's planar floats. */
EM_JS(void, web_audio_open, (int frames, int channels), {
	var context = Module['audioContext'];
	var node = context.createScriptProcessor(frames, 0, channels);
	node.onaudioprocess = function(event) {
		var output = event.outputBuffer;
		var pointer = _web_audio_fill();
		for (var c = 0; c < channels; c++) {
			var plane = output.getChannelData(c);
			if (!pointer) { plane.fill(0); continue; }
			var samples = HEAP16.subarray(pointer >> 1, (pointer >> 1) + frames * channels);
			for (var i = 0; i < frames; i++) plane[i] = samples[i * channels + c] / 32768;
		}
	};
	node.connect(Module['audioOutput'] || context.destination);
	Module.webAudioNode = node;
});

/* Stops the processor, so that nothing more is played once SDL has closed the audio. */
EM_JS(void, web_audio_close, (void), {
	var node = Module.webAudioNode;
	if (node) {
		node.onaudioprocess = null;
		node.disconnect();
		Module.webAudioNode = null;
	}
});

static int WEB_OpenAudio(_THIS, SDL_AudioSpec *spec)
{
	int rate = web_audio_rate();
	if (rate <= 0) {
		SDL_SetError("No Web Audio context: the browser has not allowed sound");
		return -1;
	}
	spec->freq = rate;
	spec->format = AUDIO_S16LSB;
	if (spec->channels > 2) {
		spec->channels = 2;
	}
	/* Script processors take buffers of 256 to 16384 frames, a power of two. */
	if (spec->samples < 256) {
		spec->samples = 256;
	} else if (spec->samples > 16384) {
		spec->samples = 16384;
	}
	while (spec->samples & (spec->samples - 1)) {
		spec->samples &= (Uint16)(spec->samples - 1);
	}
	SDL_CalculateAudioSpec(spec);
	_this->hidden->buffer = SDL_malloc(spec->size);
	if (_this->hidden->buffer == NULL) {
		SDL_OutOfMemory();
		return -1;
	}
	open_device = _this;
	web_audio_open(spec->samples, spec->channels);
	/* 1: SDL starts no audio thread; the processor runs the callback. */
	return 1;
}

static void WEB_CloseAudio(_THIS)
{
	web_audio_close();
	open_device = NULL;
	SDL_free(_this->hidden->buffer);
	_this->hidden->buffer = NULL;
}

static int WEB_Available(void)
{
	return 1;
}

static void WEB_DeleteDevice(SDL_AudioDevice *device)
{
	SDL_free(device->hidden);
	SDL_free(device);
}

static SDL_AudioDevice *WEB_CreateDevice(int devindex)
{
	SDL_AudioDevice *device = SDL_calloc(1, sizeof *device);
	if (device != NULL) {
		device->hidden = SDL_calloc(1, sizeof *device->hidden);
	}
	if (device == NULL || device->hidden == NULL) {
		SDL_free(device);
		SDL_OutOfMemory();
		return NULL;
	}
	device->OpenAudio = WEB_OpenAudio;
	device->CloseAudio = WEB_CloseAudio;
	device->free = WEB_DeleteDevice;
	return device;
}

AudioBootStrap WEBAUD_bootstrap = {
	"web", "SDL audio through Web Audio",
	WEB_Available, WEB_CreateDevice
};

#endif /* SDL_AUDIO_DRIVER_WEB */
