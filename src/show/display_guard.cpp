// Guards the display: a lost connection to the X server ends the show at once with its line.
#include "display_guard.hpp"

#if !defined(_WIN32) && !defined(__EMSCRIPTEN__) // no Xlib on Windows or in a browser
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace {

#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
const char DISPLAY_LOST[] = "Bildschirm verloren: die Verbindung zum X-Server ist abgebrochen\n";
constexpr int EXIT_DISPLAY_LOST = 1;

// Called by Xlib when the connection to the X server fails. Nothing of SDL's can be shut down
// without that connection, so the process ends here, without SDL_Quit.
int endOnLostDisplay(void*) {
    if (write(STDERR_FILENO, DISPLAY_LOST, sizeof DISPLAY_LOST - 1) < 0) {
        // nothing more to say where standard error is gone
    }
    _exit(EXIT_DISPLAY_LOST);
}
#endif

} // namespace

void guardDisplay() {
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
    // Xlib's handler is set only where SDL has loaded Xlib; the show is then drawn through it.
    void* xlib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    using IOErrorHandler = int (*)(void* display);
    using SetIOErrorHandler = IOErrorHandler (*)(IOErrorHandler);
    auto setHandler = xlib == nullptr
                          ? nullptr
                          : reinterpret_cast<SetIOErrorHandler>(dlsym(xlib, "XSetIOErrorHandler"));
    if (setHandler != nullptr) {
        setHandler(endOnLostDisplay);
    }
#endif
}
