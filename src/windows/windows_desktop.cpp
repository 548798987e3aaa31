// The show on the Windows desktop: one show at a time, the box that tells a user why the show
// could not start and what to do, and Alt+F4 handed to Windows. Built for Windows only.
#include "desktop.hpp"

#include <SDL.h>
#include <SDL_syswm.h>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <windows.h>

namespace {

const wchar_t* const BOX_TITLE = L"Frostfunkel";
constexpr int BOX_TEXT_SIZE = 4096;
constexpr int LONGEST_PATH = 32768;

// The mark a running show holds in the user's session, and how its window is found: SDL 1.2's
// window class and the show's caption.
const wchar_t* const RUNNING_MARK = L"Local\\Frostfunkel.show";
const wchar_t* const SHOW_CLASS = L"SDL_app";
const wchar_t* const SHOW_CAPTION = L"Frostfunkel ";
const wchar_t* const BOX_CLASS = L"#32770";
// How long a second start waits for a show that may be ending to let go of the mark.
constexpr DWORD MARK_WAIT_MS = 1000;

// What a failed start means to the user and what to do about it, chosen by what could not be
// used; anything not listed is one of the show's data files.
struct Advice {
    const char* what;
    const wchar_t* happened;
    const wchar_t* todo;
};

const wchar_t* const REINSTALL = L"Install Frostfunkel again.";
const Advice ADVICE[] = {
    {"the sound device", L"Frostfunkel found no sound device to play its music on.",
     L"Check that speakers or headphones are connected and enabled in Windows' sound settings, "
     L"then start Frostfunkel again."},
    {"SDL's audio subsystem", L"A part of Frostfunkel's installation does not work.", REINSTALL},
    {"the font engine", L"A part of Frostfunkel's installation does not work.", REINSTALL},
    {"the 640 x 480 full-screen display", L"The screen could not show Frostfunkel.",
     L"Close other programs that use the full screen, then start Frostfunkel again."},
};
const Advice DATA_FILE_ADVICE = {
    nullptr, L"A file Frostfunkel needs is missing or damaged.",
    L"Install Frostfunkel again, or, if you unpacked it from the zip, unpack every file of the "
    L"zip into one folder."};

// SDL's own window procedure, to which every message but Alt+F4 still goes.
WNDPROC sdlWindowProc = nullptr;

// The box's text, built piece by piece in fixed arrays, as Windows' wide-character calls take
// it; what does not fit is left out.
wchar_t boxText[BOX_TEXT_SIZE];
wchar_t programPath[LONGEST_PATH];

// A second start, checked before SDL's entry wrapper runs (which empties stdout.txt and
// stderr.txt first of all): when another show owns the mark, its window (or its box) is
// brought to the front and this process ends with status 0, before any window, sound or file.
// The show's main thread owns the mark until the process ends; a show that is just ending
// leaves it abandoned, which the wait then takes over.
void leaveIfAlreadyRunning() {
    const HANDLE mark = CreateMutexW(nullptr, TRUE, RUNNING_MARK);
    if (mark == nullptr && GetLastError() != ERROR_ACCESS_DENIED) {
        return; // no mark to be had: the show runs as it would without it
    }
    if (mark != nullptr && GetLastError() != ERROR_ALREADY_EXISTS) {
        return;
    }
    if (mark != nullptr && WaitForSingleObject(mark, MARK_WAIT_MS) != WAIT_TIMEOUT) {
        return;
    }
    HWND shown = FindWindowW(SHOW_CLASS, SHOW_CAPTION);
    if (shown == nullptr) {
        shown = FindWindowW(BOX_CLASS, BOX_TITLE);
    }
    if (shown != nullptr) {
        if (IsIconic(shown)) {
            ShowWindow(shown, SW_RESTORE);
        }
        SetForegroundWindow(shown);
    }
    ExitProcess(0);
}

// Made while the C++ runtime starts the program, before WinMain.
struct SecondStartCheck {
    SecondStartCheck() {
        leaveIfAlreadyRunning();
    }
};
const SecondStartCheck secondStartCheck;

void add(const wchar_t* piece) {
    std::wcsncat(boxText, piece, BOX_TEXT_SIZE - 1 - std::wcslen(boxText));
}

// Adds text in the process's code page (UTF-8 where Windows honours the manifest's choice).
void addNarrow(const char* piece) {
    const int end = static_cast<int>(std::wcslen(boxText));
    const int added = MultiByteToWideChar(CP_ACP, 0, piece, -1, boxText + end, BOX_TEXT_SIZE - end);
    boxText[added > 0 ? end + added - 1 : end] = L'\0';
}

const Advice& adviceFor(const char* what) {
    for (const Advice& advice : ADVICE) {
        if (std::strcmp(advice.what, what) == 0) {
            return advice;
        }
    }
    return DATA_FILE_ADVICE;
}

// Puts the full path of `file` in the program's folder, where SDL's entry sends the standard
// streams, into programPath; false when that file is missing (the folder cannot be written) or
// empty (the message did not reach it).
bool findBesideProgram(const char* file) {
    const DWORD length = GetModuleFileNameW(nullptr, programPath, LONGEST_PATH);
    wchar_t* folderEnd = std::wcsrchr(programPath, L'\\');
    if (length == 0 || length >= LONGEST_PATH || folderEnd == nullptr) {
        return false;
    }
    const int end = static_cast<int>(folderEnd + 1 - programPath);
    MultiByteToWideChar(CP_ACP, 0, file, -1, folderEnd + 1, LONGEST_PATH - end);
    WIN32_FILE_ATTRIBUTE_DATA found;
    return GetFileAttributesExW(programPath, GetFileExInfoStandard, &found) &&
           (found.nFileSizeLow != 0 || found.nFileSizeHigh != 0);
}

LRESULT CALLBACK closeOnAltF4(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Windows' default answer to Alt+F4 is the close command, which SDL turns into a quit event.
    if (message == WM_SYSKEYDOWN && wParam == VK_F4) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return CallWindowProcA(sdlWindowProc, window, message, wParam, lParam);
}

} // namespace

// The box says in plain words what happened and what to do, then the technical reason and the
// file that holds the message.
void tellStartFailure(const char* what, const char* file, const char* why) {
    const Advice& advice = adviceFor(what);
    add(L"Frostfunkel could not start. ");
    add(advice.happened);
    add(L"\n\n");
    add(advice.todo);
    add(L"\n\nThe reason: ");
    addNarrow(what);
    add(L" could not be used.");
    const char* reason = why != nullptr ? why : SDL_GetError();
    if (reason[0] != '\0') {
        add(L" ");
        addNarrow(reason);
    }
    std::fflush(stdout);
    if (file != nullptr && findBesideProgram(file)) {
        add(L"\n\nThe details are in ");
        add(programPath);
        add(L".");
    }
    // Out of full screen and silent, so that the box is seen on the desktop; SDL_Quit at exit
    // then finds nothing left to do.
    SDL_Quit();
    MessageBoxW(nullptr, boxText, BOX_TITLE, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

void passCloseShortcut() {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWMInfo(&info) > 0) {
        sdlWindowProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
            info.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&closeOnAltF4)));
    }
}
