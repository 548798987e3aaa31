/* Test-only LD_PRELOAD library: runs the show's ticks without waiting, injects input at chosen
 * ticks, refuses chosen library calls, and records calls, waits, memory and frames, all without
 * a hook in the program.
 *
 * Settings (environment, read once when the library loads; an empty one counts as unset):
 *   FF_LOG=FILE          one line per recorded fact: "delay MS NS", "flip TICK NS_SPENT",
 *                        "event TYPE SYM", "cursor TOGGLE", "audio RATE FORMAT CHANNELS CHUNK",
 *                        "video WIDTH HEIGHT DEPTH FLAGS", "music LOOPS", "quit" (SDL_Quit),
 *                        "rss TICK VMRSS_KB VMHWM_KB" (every 1000 ticks)
 *   FF_EVENTS=LIST       events read in a tick, "TICK:TYPE[:SYM];..." in tick order, TYPE and SYM
 *                        SDL's numbers of the event type and the key
 *   FF_QUIT_AFTER=N      a quit event in tick N, after the listed events; past N + 50 waits the
 *                        process is ended (status 125), so a show that no longer counts its ticks
 *                        cannot run on for ever
 *   FF_CAPTURE=TICK:FILE the screen as BMP just before the flip of that tick
 *   FF_RAISE=TICK:SIGNAL the signal of that number raised just after the flip of that tick; in
 *                        tick 0, on entering SDL_SetVideoMode (SIGSTOP: held there, SDL started)
 *   FF_QUIT_RAISE=SIGNAL the signal of that number raised just before and just after SDL's own
 *                        SDL_Quit, as if sent twice while the show ends
 *   FF_REFUSE=LIST       calls that fail with "refused by the test": TTF_Init,
 *                        Mix_OpenAudio, Mix_PlayMusic, and "SDL_Init&MASK" for every
 *                        SDL_Init whose flags share a bit with MASK
 * Ticks count the program's own flips from 1. A setting it cannot honour (a log it cannot open,
 * an unknown event type or call, more than MAX_EVENTS events, a frame it cannot save) stops the
 * process with a message and status 125. */
#define _GNU_SOURCE
#include <SDL.h>
#include <dlfcn.h>
#include <errno.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

/* Declares and looks up once the library's own version of a function this file replaces. */
#define REAL(ret, name, ...)                                                                       \
    static ret (*real_##name)(__VA_ARGS__);                                                        \
    if (!real_##name)                                                                              \
        *(void**)&real_##name = dlsym(RTLD_NEXT, #name);

enum { MAX_EVENTS = 64, WAITS_PAST_QUIT = 50 };

static struct injected {
    int tick;
    SDL_Event event;
} queue[MAX_EVENTS];
static int queued, next_event, ticks, waits, quit_after = -1, capture_tick = -1, raise_tick = -1,
                                             raise_signal;
static char capture_path[512], refuse[512];
static FILE* logfile;

/* Stops the process with the interposer's message: the test asked for what cannot be done. */
#define FAIL(...)                                                                                  \
    (fputs("interposer: ", stderr), fprintf(stderr, __VA_ARGS__), fputc('\n', stderr), _exit(125))

static void log_line(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
static void log_line(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    vfprintf(logfile, fmt, args);
    va_end(args);
    fputc('\n', logfile);
    fflush(logfile);
}

static long long now_ns(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

/* The value of a setting, "" when it is unset. */
static const char* setting(const char* name) {
    return getenv(name) ? getenv(name) : "";
}

static void add_event(int tick, int type, int sym) {
    if (queued == MAX_EVENTS || type <= SDL_NOEVENT || type >= SDL_NUMEVENTS) {
        FAIL("event %d of type %d in FF_EVENTS: at most %d, of SDL's types", queued + 1, type,
             MAX_EVENTS);
    }
    SDL_Event* e = &queue[queued].event;
    e->type = (Uint8)type;
    e->key.keysym.sym = (SDLKey)sym; /* read only for key events */
    queue[queued++].tick = tick;
}

/* True when `item` is one of the entries of `list`, a setting kept as ",A,B,". */
static int listed(const char* list, const char* item) {
    char key[64];
    snprintf(key, sizeof key, ",%s,", item);
    return strstr(list, key) != NULL;
}

__attribute__((constructor)) static void read_settings(void) {
    const char* log = *setting("FF_LOG") ? setting("FF_LOG") : "/dev/null";
    if ((logfile = fopen(log, "a")) == NULL) {
        FAIL("cannot open the log %s: %s", log, strerror(errno));
    }
    char list[1024], *save = NULL;
    snprintf(list, sizeof list, "%s", setting("FF_EVENTS"));
    for (char* item = strtok_r(list, ";", &save); item; item = strtok_r(NULL, ";", &save)) {
        int tick = 0, type = 0, sym = 0;
        sscanf(item, "%d:%d:%d", &tick, &type, &sym);
        add_event(tick, type, sym);
    }
    if (*setting("FF_QUIT_AFTER")) {
        add_event(quit_after = atoi(setting("FF_QUIT_AFTER")), SDL_QUIT, 0);
    }
    if ((*setting("FF_CAPTURE") &&
         sscanf(setting("FF_CAPTURE"), "%d:%511s", &capture_tick, capture_path) != 2) ||
        (*setting("FF_RAISE") &&
         sscanf(setting("FF_RAISE"), "%d:%d", &raise_tick, &raise_signal) != 2)) {
        FAIL("FF_CAPTURE is not TICK:FILE or FF_RAISE not TICK:SIGNAL");
    }
    snprintf(refuse, sizeof refuse, ",%s,", setting("FF_REFUSE"));
    snprintf(list, sizeof list, "%s", refuse);
    for (char* item = strtok_r(list, ",", &save); item; item = strtok_r(NULL, ",", &save)) {
        if (!listed(",TTF_Init,Mix_OpenAudio,Mix_PlayMusic,", item) &&
            strncmp(item, "SDL_Init&", 9)) {
            FAIL("unknown call in FF_REFUSE: \"%s\"", item);
        }
    }
}

/* True, with SDL's error set, when the test asked for `call` to fail. */
static int refused(const char* call, Uint32 flags) {
    const char* mask = strstr(refuse, ",SDL_Init&");
    if (listed(refuse, call) || (flags && mask && (strtoul(mask + 10, NULL, 0) & flags))) {
        SDL_SetError("refused by the test");
        return 1;
    }
    return 0;
}

static void log_memory(void) {
    FILE* status = fopen("/proc/self/status", "r");
    if (status == NULL) {
        FAIL("cannot read the memory figures: %s", strerror(errno));
    }
    char line[256];
    long rss = -1, hwm = -1;
    while (fgets(line, sizeof line, status)) {
        sscanf(line, "VmRSS: %ld", &rss);
        sscanf(line, "VmHWM: %ld", &hwm);
    }
    log_line("rss %d %ld %ld", ticks, rss, hwm);
    fclose(status);
}

int SDL_Init(Uint32 flags) {
    REAL(int, SDL_Init, Uint32);
    return refused("SDL_Init", flags) ? -1 : real_SDL_Init(flags);
}

SDL_Surface* SDL_SetVideoMode(int width, int height, int depth, Uint32 flags) {
    REAL(SDL_Surface*, SDL_SetVideoMode, int, int, int, Uint32);
    log_line("video %d %d %d 0x%08X", width, height, depth, flags);
    if (raise_tick == 0) {
        raise(raise_signal);
    }
    return real_SDL_SetVideoMode(width, height, depth, flags);
}

void SDL_Quit(void) {
    REAL(void, SDL_Quit, void);
    log_line("quit");
    int quit_signal = atoi(setting("FF_QUIT_RAISE")); /* 0, no signal, where unset */
    raise(quit_signal);
    real_SDL_Quit();
    raise(quit_signal);
}

int SDL_ShowCursor(int toggle) {
    REAL(int, SDL_ShowCursor, int);
    log_line("cursor %d", toggle);
    return real_SDL_ShowCursor(toggle);
}

int TTF_Init(void) {
    REAL(int, TTF_Init, void);
    return refused("TTF_Init", 0) ? -1 : real_TTF_Init();
}

int Mix_OpenAudio(int rate, Uint16 format, int channels, int chunk) {
    REAL(int, Mix_OpenAudio, int, Uint16, int, int);
    log_line("audio %d 0x%04X %d %d", rate, format, channels, chunk);
    return refused("Mix_OpenAudio", 0) ? -1 : real_Mix_OpenAudio(rate, format, channels, chunk);
}

int Mix_PlayMusic(void* music, int loops) {
    REAL(int, Mix_PlayMusic, void*, int);
    log_line("music %d", loops);
    return refused("Mix_PlayMusic", 0) ? -1 : real_Mix_PlayMusic(music, loops);
}

void SDL_Delay(Uint32 ms) {
    REAL(void, SDL_Delay, Uint32);
    if (syscall(SYS_gettid) != getpid()) {
        real_SDL_Delay(ms); /* waits of SDL's and the mixer's own threads pass through */
        return;
    }
    log_line("delay %u %lld", ms, now_ns());
    if (quit_after >= 0 && ++waits > quit_after + WAITS_PAST_QUIT) {
        FAIL("%d waits, %d flips and the show has not ended", waits, ticks);
    }
}

int SDL_Flip(SDL_Surface* surface) {
    REAL(int, SDL_Flip, SDL_Surface*);
    /* The classic SDL 1.2 flips once inside SDL_SetVideoMode, which is no tick of the show. */
    Dl_info caller;
    if (dladdr(__builtin_return_address(0), &caller) && caller.dli_fname &&
        strstr(caller.dli_fname, "libSDL")) {
        return real_SDL_Flip(surface);
    }
    if (++ticks == capture_tick && SDL_SaveBMP(surface, capture_path) != 0) {
        FAIL("cannot save the frame as %s: %s", capture_path, SDL_GetError());
    }
    long long start = now_ns();
    int result = real_SDL_Flip(surface);
    log_line("flip %d %lld", ticks, now_ns() - start);
    if (ticks == raise_tick) {
        raise(raise_signal);
    }
    if (ticks % 1000 == 0) {
        log_memory();
    }
    return result;
}

int SDL_PollEvent(SDL_Event* event) {
    REAL(int, SDL_PollEvent, SDL_Event*);
    while (next_event < queued && queue[next_event].tick < ticks) {
        ++next_event; /* a tick that never polled */
    }
    int injected = next_event < queued && queue[next_event].tick == ticks;
    if (injected) {
        *event = queue[next_event++].event;
    }
    int result = injected || real_SDL_PollEvent(event);
    if (result) {
        int key = event->type == SDL_KEYDOWN || event->type == SDL_KEYUP;
        log_line("event %d %d", event->type, key ? (int)event->key.keysym.sym : 0);
    }
    return result;
}
