/* SDL 1.2's video in the browser: one 32-bit software screen whose pixels are copied onto the
   page's 2D canvas at every update, the caption as the page's title, and the keyboard of the
   page as SDL key events. No OpenGL, no hardware surfaces. */
#include "SDL_config.h"

#ifdef SDL_VIDEO_DRIVER_WEB

#include <emscripten.h>

#include "SDL_video.h"
#include "../SDL_sysvideo.h"
#include "../SDL_pixels_c.h"
#include "../../events/SDL_events_c.h"

/* The device each driver function works on. */
#undef _THIS
#define _THIS SDL_VideoDevice *_this

/* The canvas's ImageData keeps its bytes in the order red, green, blue, alpha: the screen's
   masks put each colour where the canvas takes it, so a frame is copied as it is. */
#define WEB_RMASK 0x000000FF
#define WEB_GMASK 0x0000FF00
#define WEB_BMASK 0x00FF0000

struct SDL_PrivateVideoData {
	Uint32 *pixels;
};

/* Makes the canvas the given size with an ImageData of that size; keys pressed and released
   on the page wait in a queue until SDL asks for events. */
EM_JS(void, web_video_open, (int width, int height), {
	var canvas = Module['canvas'];
	canvas.width = width;
	canvas.height = height;
	Module.webContext = canvas.getContext('2d', { alpha: false });
	Module.webImage = Module.webContext.createImageData(width, height);
	Module.webKeys = [];
	var named = {
		'Escape': 27, 'Enter': 13, ' ': 32, 'Backspace': 8, 'Tab': 9, 'Delete': 127,
		'ArrowUp': 273, 'ArrowDown': 274, 'ArrowRight': 275, 'ArrowLeft': 276,
		'Shift': 304, 'Control': 306, 'Alt': 308
	};
	function sym(event) {
		if (named[event.key] !== undefined) return named[event.key];
		if (event.key.length === 1 && event.key.charCodeAt(0) < 128)
			return event.key.toLowerCase().charCodeAt(0);
		var f = /^F([0-9]+)$/.exec(event.key);
		if (f && f[1] >= 1 && f[1] <= 15) return 281 + Number(f[1]);
		return 0;
	}
	Module.webKeyListener = function(event) {
		var down = event.type === 'keydown';
		if (event.repeat) return;
		Module.webKeys.push((down ? 0x10000 : 0) | sym(event));
	};
	window.addEventListener('keydown', Module.webKeyListener, true);
	window.addEventListener('keyup', Module.webKeyListener, true);
});

/* Copies the screen's pixels onto the canvas, each with full opacity (SDL leaves the fourth
   byte of a pixel as the blits wrote it). */
EM_JS(void, web_video_show, (const Uint32 *pixels, int count), {
	var image = Module.webImage;
	var target = new Uint32Array(image.data.buffer);
	var source = HEAPU32.subarray(pixels >> 2, (pixels >> 2) + count);
	for (var i = 0; i < count; i++) target[i] = source[i] | 0xFF000000;
	Module.webContext.putImageData(image, 0, 0);
});

/* The next queued key as (pressed << 16) | symbol, or -1 when none waits. */
EM_JS(int, web_video_next_key, (void), {
	var keys = Module.webKeys;
	return keys && keys.length ? keys.shift() : -1;
});

EM_JS(void, web_video_set_title, (const char *title), {
	document.title = UTF8ToString(title);
});

EM_JS(void, web_video_close, (void), {
	if (Module.webKeyListener) {
		window.removeEventListener('keydown', Module.webKeyListener, true);
		window.removeEventListener('keyup', Module.webKeyListener, true);
		Module.webKeyListener = null;
	}
});

static int WEB_VideoInit(_THIS, SDL_PixelFormat *vformat)
{
	vformat->BitsPerPixel = 32;
	vformat->BytesPerPixel = 4;
	vformat->Rmask = WEB_RMASK;
	vformat->Gmask = WEB_GMASK;
	vformat->Bmask = WEB_BMASK;
	return 0;
}

static SDL_Rect **WEB_ListModes(_THIS, SDL_PixelFormat *format, Uint32 flags)
{
	/* Any size: the page scales the canvas to the window. */
	return (SDL_Rect **)-1;
}

static SDL_Surface *WEB_SetVideoMode(_THIS, SDL_Surface *current, int width, int height,
				     int bpp, Uint32 flags)
{
	Uint32 *pixels = SDL_calloc((size_t)width * height, 4);
	if (pixels == NULL) {
		SDL_OutOfMemory();
		return NULL;
	}
	if (!SDL_ReallocFormat(current, 32, WEB_RMASK, WEB_GMASK, WEB_BMASK, 0)) {
		SDL_free(pixels);
		return NULL;
	}
	SDL_free(_this->hidden->pixels);
	_this->hidden->pixels = pixels;
	current->flags = flags & SDL_FULLSCREEN;
	current->w = width;
	current->h = height;
	current->pitch = (Uint16)(width * 4);
	current->pixels = pixels;
	web_video_open(width, height);
	return current;
}

static int WEB_AllocHWSurface(_THIS, SDL_Surface *surface)
{
	return -1;
}

static void WEB_FreeHWSurface(_THIS, SDL_Surface *surface)
{
}

static int WEB_LockHWSurface(_THIS, SDL_Surface *surface)
{
	return 0;
}

static void WEB_UnlockHWSurface(_THIS, SDL_Surface *surface)
{
}

/* The whole screen goes to the canvas on every update: the show redraws all of it each tick. */
static void WEB_UpdateRects(_THIS, int numrects, SDL_Rect *rects)
{
	SDL_Surface *screen = _this->screen;
	if (numrects > 0 && screen != NULL && screen->pixels != NULL) {
		web_video_show(screen->pixels, screen->w * screen->h);
	}
}

static int WEB_SetColors(_THIS, int firstcolor, int ncolors, SDL_Color *colors)
{
	return 1;
}

static void WEB_SetCaption(_THIS, const char *title, const char *icon)
{
	if (title != NULL) {
		web_video_set_title(title);
	}
}

static void WEB_InitOSKeymap(_THIS)
{
}

static void WEB_PumpEvents(_THIS)
{
	int key;
	while ((key = web_video_next_key()) >= 0) {
		SDL_keysym keysym;
		SDL_memset(&keysym, 0, sizeof keysym);
		keysym.sym = (SDLKey)(key & 0xFFFF);
		if (keysym.sym != SDLK_UNKNOWN) {
			SDL_PrivateKeyboard((key >> 16) ? SDL_PRESSED : SDL_RELEASED, &keysym);
		}
	}
}

static void WEB_VideoQuit(_THIS)
{
	web_video_close();
	if (_this->screen != NULL) {
		_this->screen->pixels = NULL;
	}
	SDL_free(_this->hidden->pixels);
	_this->hidden->pixels = NULL;
}

static int WEB_Available(void)
{
	return 1;
}

static void WEB_DeleteDevice(SDL_VideoDevice *device)
{
	SDL_free(device->hidden);
	SDL_free(device);
}

static SDL_VideoDevice *WEB_CreateDevice(int devindex)
{
	SDL_VideoDevice *device = SDL_calloc(1, sizeof *device);
	if (device != NULL) {
		device->hidden = SDL_calloc(1, sizeof *device->hidden);
	}
	if (device == NULL || device->hidden == NULL) {
		SDL_free(device);
		SDL_OutOfMemory();
		return NULL;
	}
	device->VideoInit = WEB_VideoInit;
	device->ListModes = WEB_ListModes;
	device->SetVideoMode = WEB_SetVideoMode;
	device->SetColors = WEB_SetColors;
	device->UpdateRects = WEB_UpdateRects;
	device->VideoQuit = WEB_VideoQuit;
	device->AllocHWSurface = WEB_AllocHWSurface;
	device->LockHWSurface = WEB_LockHWSurface;
	device->UnlockHWSurface = WEB_UnlockHWSurface;
	device->FreeHWSurface = WEB_FreeHWSurface;
	device->SetCaption = WEB_SetCaption;
	device->InitOSKeymap = WEB_InitOSKeymap;
	device->PumpEvents = WEB_PumpEvents;
	device->free = WEB_DeleteDevice;
	return device;
}

VideoBootStrap WEB_bootstrap = {
	"web", "SDL video on a browser's 2D canvas",
	WEB_Available, WEB_CreateDevice
};

#endif /* SDL_VIDEO_DRIVER_WEB */
