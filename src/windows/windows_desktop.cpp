// The show on the Windows desktop: the box that tells a user why the show could not start,
// and Alt+F4 handed to Windows. Built for Windows only.
#include "desktop.hpp"

#include <SDL.h>
#include <SDL_syswm.h>
#include <cstdio>
#include <cwchar>
#include <windows.h>

namespace {

const wchar_t* const BOX_TITLE = L"Frostfunkel";
constexpr int BOX_TEXT_SIZE = 4096;
constexpr int LONGEST_PATH = 32768;

// SDL's own window procedure, to which every message but Alt+F4 still goes.
WNDPROC sdlWindowProc = nullptr;

// The box's text, built piece by piece in fixed arrays, as Windows' wide-character calls take
// it; what does not fit is left out.
wchar_t boxText[BOX_TEXT_SIZE];
wchar_t programPath[LONGEST_PATH];

void add(const wchar_t* piece) {
    std::wcsncat(boxText, piece, BOX_TEXT_SIZE - 1 - std::wcslen(boxText));
}

// Adds text in the process's code page (UTF-8 where Windows honours the manifest's choice).
void addNarrow(const char* piece) {
    const int end = static_cast<int>(std::wcslen(boxText));
    const int added = MultiByteToWideChar(CP_ACP, 0, piece, -1, boxText + end, BOX_TEXT_SIZE - end);
    boxText[added > 0 ? end + added - 1 : end] = L'\0';
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

void tellStartFailure(const char* what, const char* file, const char* why) {
    add(L"Frostfunkel could not start: ");
    addNarrow(what);
    add(L" could not be used.");
    const char* reason = why != nullptr ? why : SDL_GetError();
    if (reason[0] != '\0') {
        add(L"\n\n");
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
