// Checks that catch cut-off data files before the libraries read them.
#pragma once

// True when the file is a PNG whose chunks run past its end or stop before IEND. SDL_image
// does not notice short reads and can loop forever on such a file. Anything else, a missing
// or foreign file included, is left to the loader and its own error.
bool pngIsCutOff(const char* path);

// True when the file is a TrueType/OpenType font whose tables run past its end. FreeType
// opens such a font and SDL_ttf then draws its missing glyphs as nothing, without an error.
bool fontIsCutOff(const char* path);
