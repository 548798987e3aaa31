// Checks of the picture and the font before the libraries read them.
#pragma once

// Why the picture at path cannot be handed to the PNG loader, or null when it can: a folder,
// a named pipe or another non-regular file (the loader would fail obscurely or block on it),
// or a PNG whose chunks run past its end or stop before IEND (SDL_image does not notice short
// reads and can loop forever on such a file). A missing or foreign file is left to the loader
// and its own error. Never throws and never blocks.
const char* pictureProblem(const char* path);

// The same for the font: a non-regular file, or a TrueType/OpenType font whose tables run
// past its end (FreeType opens such a font and SDL_ttf then draws nothing, without an error).
const char* fontProblem(const char* path);
