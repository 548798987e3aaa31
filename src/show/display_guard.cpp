// Guards the display: a lost connection to the X server or the Wayland compositor ends the show
// with its line and status 1.
#include "display_guard.hpp"

#include <SDL.h>
#include <cstdlib>
#include <cstring>

// No Xlib nor Wayland client to guard on Windows or in a browser.
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace {

#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
const char X_LOST[] = "Bildschirm verloren: die Verbindung zum X-Server ist abgebrochen\n";
const char WAYLAND_LOST[] =
    "Bildschirm verloren: die Verbindung zum Wayland-Compositor ist abgebrochen\n";
constexpr int EXIT_DISPLAY_LOST = 1;

void tell(const char* text, std::size_t length) {
    if (write(STDERR_FILENO, text, length) < 0) {
        // nothing more to say where standard error is gone
    }
}

// Called by Xlib when the connection to the X server fails. Nothing of SDL's can be shut down
// without that connection, so the process ends here, without SDL_Quit.
int endOnLostDisplay(void*) {
    tell(X_LOST, sizeof X_LOST - 1);
    _exit(EXIT_DISPLAY_LOST);
}

// The named function of a library, or null where the library is not loaded.
void* function(void* library, const char* name) {
    return library == nullptr ? nullptr : dlsym(library, name);
}

// True when the show is drawn through SDL 2's Wayland driver (sdl12-compat) and its compositor
// no longer takes connections. SDL 2 reports a lost connection only as a quit event, so the
// compositor is asked whether it is still there, as SDL reached it.
bool waylandCompositorGone() {
    char driver[16] = "";
    if (SDL_VideoDriverName(driver, sizeof driver) == nullptr ||
        std::strcmp(driver, "wayland") != 0) {
        return false;
    }
    using Connect = void* (*)(const char* name);
    using Disconnect = void (*)(void* display);
    // SDL 2 has loaded the Wayland client library to draw there.
    void* wayland = dlopen("libwayland-client.so.0", RTLD_LAZY | RTLD_NOLOAD);
    auto connect = reinterpret_cast<Connect>(function(wayland, "wl_display_connect"));
    auto disconnect = reinterpret_cast<Disconnect>(function(wayland, "wl_display_disconnect"));
    if (connect == nullptr || disconnect == nullptr) {
        return false;
    }
    void* display = connect(nullptr);
    if (display == nullptr) {
        return true;
    }
    disconnect(display);
    return false;
}
#endif

} // namespace

void guardDisplay() {
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
    // Xlib is loaded here where it is installed, so that the handler is in place before SDL
    // connects through it: the connection can be lost while SDL_Init still sets it up.
    using IOErrorHandler = int (*)(void* display);
    using SetIOErrorHandler = IOErrorHandler (*)(IOErrorHandler);
    void* xlib = dlopen("libX11.so.6", RTLD_LAZY);
    auto setHandler = reinterpret_cast<SetIOErrorHandler>(function(xlib, "XSetIOErrorHandler"));
    if (setHandler != nullptr) {
        setHandler(endOnLostDisplay);
    }
#endif
}

void endIfDisplayLost() {
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
    if (waylandCompositorGone()) {
        tell(WAYLAND_LOST, sizeof WAYLAND_LOST - 1);
        std::exit(EXIT_DISPLAY_LOST);
    }
#endif
}
