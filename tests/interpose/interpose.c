/* Test-only LD_PRELOAD library: runs the show's ticks without waiting, injects input at chosen
 * ticks, records waits and memory, and captures frames, all without a hook in the program.
 *
 * Settings (environment):
 *   FF_LOG=FILE          append one line per recorded fact ("delay MS NS", "flip TICK NS_SPENT",
 *                        "event TYPE SYM", "rss TICK VMRSS_KB VMHWM_KB")
 *   FF_EVENTS=LIST       events to deliver while polling in a tick, "TICK:KIND[:SYM];..." with
 *                        KIND one of down, up, motion, press, release, quit, user
 *   FF_QUIT_AFTER=N      deliver a quit event in tick N (a safety net against endless runs)
 *   FF_CAPTURE=TICK:FILE save the screen as BMP just before the flip of that tick
 *   FF_RSS_TICKS=LIST    record the memory after these ticks, "200,10000"
 *   FF_FAIL_INIT=FLAGS   make SDL_Init fail when called with exactly these flags, "0x10"
 * Ticks count flips from 1. */
#define _GNU_SOURCE
#include <SDL.h>
#include <dlfcn.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

enum { MAX_EVENTS = 64 };

struct injected {
    int tick;
    SDL_Event event;
};

static struct injected queue[MAX_EVENTS];
static int queued = -1; /* -1 until FF_EVENTS has been read */
static int next_event = 0;
static int ticks = 0;
static FILE* logfile = NULL;

static int on_main_thread(void) {
    return syscall(SYS_gettid) == getpid();
}

static long long now_ns(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

static void log_line(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
static void log_line(const char* fmt, ...) {
    if (logfile == NULL) {
        const char* path = getenv("FF_LOG");
        if (path == NULL || (logfile = fopen(path, "a")) == NULL) {
            return;
        }
    }
    va_list args;
    va_start(args, fmt);
    vfprintf(logfile, fmt, args);
    va_end(args);
    fputc('\n', logfile);
    fflush(logfile);
}

static SDL_Event make_event(const char* kind, int sym) {
    SDL_Event e;
    memset(&e, 0, sizeof e);
    if (strcmp(kind, "down") == 0 || strcmp(kind, "up") == 0) {
        e.type = kind[0] == 'd' ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.state = kind[0] == 'd' ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.sym = (SDLKey)sym;
    } else if (strcmp(kind, "motion") == 0) {
        e.type = SDL_MOUSEMOTION;
        e.motion.x = 320;
        e.motion.y = 240;
        e.motion.xrel = 5;
    } else if (strcmp(kind, "press") == 0 || strcmp(kind, "release") == 0) {
        e.type = kind[0] == 'p' ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        e.button.button = SDL_BUTTON_LEFT;
        e.button.x = 100;
        e.button.y = 100;
    } else if (strcmp(kind, "quit") == 0) {
        e.type = SDL_QUIT;
    } else {
        e.type = SDL_USEREVENT;
    }
    return e;
}

static void add_event(int tick, SDL_Event e) {
    if (queued < MAX_EVENTS) {
        queue[queued].tick = tick;
        queue[queued].event = e;
        ++queued;
    }
}

static void read_events(void) {
    queued = 0;
    const char* setting = getenv("FF_EVENTS");
    char buf[1024];
    snprintf(buf, sizeof buf, "%s", setting ? setting : "");
    char* save = NULL;
    for (char* item = strtok_r(buf, ";", &save); item; item = strtok_r(NULL, ";", &save)) {
        int tick = 0;
        int sym = 0;
        char kind[16] = "";
        if (sscanf(item, "%d:%15[a-z]:%d", &tick, kind, &sym) >= 2) {
            add_event(tick, make_event(kind, sym));
        }
    }
    const char* quit_after = getenv("FF_QUIT_AFTER");
    if (quit_after != NULL) {
        add_event(atoi(quit_after), make_event("quit", 0));
    }
    /* Stable insertion sort by tick, so that events of one tick keep their listed order. */
    for (int i = 1; i < queued; ++i) {
        struct injected item = queue[i];
        int j = i - 1;
        for (; j >= 0 && queue[j].tick > item.tick; --j) {
            queue[j + 1] = queue[j];
        }
        queue[j + 1] = item;
    }
}

static void log_event(const SDL_Event* e) {
    int key = e->type == SDL_KEYDOWN || e->type == SDL_KEYUP;
    log_line("event %d %d", e->type, key ? (int)e->key.keysym.sym : 0);
}

static int listed(const char* list, int tick) {
    char buf[256];
    snprintf(buf, sizeof buf, "%s", list ? list : "");
    char* save = NULL;
    for (char* item = strtok_r(buf, ",", &save); item; item = strtok_r(NULL, ",", &save)) {
        if (atoi(item) == tick) {
            return 1;
        }
    }
    return 0;
}

static void log_memory(void) {
    FILE* status = fopen("/proc/self/status", "r");
    if (status == NULL) {
        return;
    }
    char line[256];
    long rss = -1;
    long hwm = -1;
    while (fgets(line, sizeof line, status)) {
        sscanf(line, "VmRSS: %ld", &rss);
        sscanf(line, "VmHWM: %ld", &hwm);
    }
    fclose(status);
    log_line("rss %d %ld %ld", ticks, rss, hwm);
}

static void capture(SDL_Surface* surface) {
    const char* setting = getenv("FF_CAPTURE");
    int tick = 0;
    char path[512];
    if (setting != NULL && sscanf(setting, "%d:%511s", &tick, path) == 2 && tick == ticks) {
        SDL_SaveBMP(surface, path);
    }
}

int SDL_Init(Uint32 flags) {
    static int (*real_init)(Uint32) = NULL;
    if (real_init == NULL) {
        *(void**)&real_init = dlsym(RTLD_NEXT, "SDL_Init");
    }
    const char* fail = getenv("FF_FAIL_INIT");
    if (fail != NULL && strtoul(fail, NULL, 0) == flags) {
        SDL_SetError("refused by the test");
        return -1;
    }
    return real_init(flags);
}

void SDL_Delay(Uint32 ms) {
    /* Waits of SDL's and the mixer's own threads pass through untouched. */
    if (!on_main_thread()) {
        static void (*real_delay)(Uint32) = NULL;
        if (real_delay == NULL) {
            *(void**)&real_delay = dlsym(RTLD_NEXT, "SDL_Delay");
        }
        real_delay(ms);
        return;
    }
    log_line("delay %u %lld", ms, now_ns());
}

/* True when the caller lives in an SDL library: the classic SDL 1.2 flips once inside
 * SDL_SetVideoMode, which is no tick of the show. */
static int called_from_sdl(void* caller) {
    Dl_info info;
    return dladdr(caller, &info) && info.dli_fname && strstr(info.dli_fname, "libSDL");
}

int SDL_Flip(SDL_Surface* surface) {
    static int (*real_flip)(SDL_Surface*) = NULL;
    if (real_flip == NULL) {
        *(void**)&real_flip = dlsym(RTLD_NEXT, "SDL_Flip");
    }
    if (called_from_sdl(__builtin_return_address(0))) {
        return real_flip(surface);
    }
    ++ticks;
    capture(surface);
    long long start = now_ns();
    int result = real_flip(surface);
    log_line("flip %d %lld", ticks, now_ns() - start);
    if (listed(getenv("FF_RSS_TICKS"), ticks)) {
        log_memory();
    }
    return result;
}

int SDL_PollEvent(SDL_Event* event) {
    static int (*real_poll)(SDL_Event*) = NULL;
    if (real_poll == NULL) {
        *(void**)&real_poll = dlsym(RTLD_NEXT, "SDL_PollEvent");
    }
    if (queued < 0) {
        read_events();
    }
    for (; next_event < queued && queue[next_event].tick <= ticks; ++next_event) {
        if (queue[next_event].tick == ticks) {
            if (event != NULL) {
                *event = queue[next_event++].event;
                log_event(event);
            }
            return 1;
        }
    }
    int result = real_poll(event);
    if (result && event != NULL) {
        log_event(event);
    }
    return result;
}
