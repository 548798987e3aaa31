// How the show meets the desktop it runs on: a failed start told in a message box, and Alt+F4
// let through as the close request. Windows has both (src/windows/); elsewhere they do nothing.
#pragma once

#ifdef _WIN32
// After a start-up failure's message has been written (to `file` beside the program, or
// nowhere when null): leaves full screen and tells the user in a box titled "Frostfunkel" what
// happened and what to do about it in plain words (chosen by `what`), then that `what` could not
// be used, why (`why`, or SDL's error when null) and where the message is.
void tellStartFailure(const char* what, const char* file, const char* why = nullptr);

// Passes Alt+F4 on to Windows, which SDL 1.2's window keeps from it; Windows then asks the
// window to close, which SDL reports as a quit event.
void passCloseShortcut();
#else
inline void tellStartFailure(const char*, const char*, const char* = nullptr) {}
inline void passCloseShortcut() {}
#endif
