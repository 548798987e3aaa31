/* SDL 1.2's timer in the browser: the page's clock, and a delay that gives control back to the
   browser (through asyncify) so that it can draw, play and deliver input meanwhile. */
#include "SDL_config.h"

#ifdef SDL_TIMER_WEB

#include <emscripten.h>

#include "SDL_timer.h"
#include "../SDL_timer_c.h"

static double start_ms;

void SDL_StartTicks(void)
{
	start_ms = emscripten_get_now();
}

Uint32 SDL_GetTicks(void)
{
	return (Uint32)(emscripten_get_now() - start_ms);
}

void SDL_Delay(Uint32 ms)
{
	emscripten_sleep(ms);
}

/* No timer thread and no alarm: SDL_SetTimer and SDL_AddTimer report that they are missing. */
int SDL_SYS_TimerInit(void)
{
	return 0;
}

void SDL_SYS_TimerQuit(void)
{
}

int SDL_SYS_StartTimer(void)
{
	SDL_SetError("Timers are not available in the browser");
	return -1;
}

void SDL_SYS_StopTimer(void)
{
}

#endif /* SDL_TIMER_WEB */
