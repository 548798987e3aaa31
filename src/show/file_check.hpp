// Checks of the picture and the font before the libraries read them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// Why the picture at path cannot be handed to the PNG loader, or null when it can: a folder,
// a named pipe or another non-regular file (the loader would fail obscurely or block on it),
// or a PNG whose chunks run past its end or stop before IEND (SDL_image does not notice short
// reads and can loop forever on such a file). A missing or foreign file is left to the loader
// and its own error. Never throws and never blocks; reads only the chunk headers.
const char* pictureProblem(const char* path);

// The same for the font: a non-regular file, or a TrueType/OpenType font whose tables run
// past its end (FreeType opens such a font and SDL_ttf then draws nothing, without an error).
// Reads only the table directory.
const char* fontProblem(const char* path);

// A file's bytes as the checks read them, a few at a time, so that memory stays small whatever
// the file's size: `size` bytes, of which `read` copies `length` from `offset` into `to` and
// says whether all of them could be read.
struct ByteSource {
    std::uint64_t size;
    std::function<bool(std::uint64_t offset, unsigned char* to, std::size_t length)> read;
};

// True when the bytes are a PNG whose chunks run past the end or end without IEND; false for
// a whole PNG and for anything that is no PNG or has a chunk no PNG can have.
bool pngIsCutOff(const ByteSource& png);

// True when the bytes are a TrueType/OpenType font whose header, table directory or a table
// runs past the end; false for a whole font and for anything that is no such font.
bool fontIsCutOff(const ByteSource& ttf);
