// Checks of the data files before the libraries read them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

// Each data file is opened once, checked, and the same open file handed to its loader, so that
// nothing swapped in at the path between the check and the load reaches the loader. Each
// returns the file at its start, or null with the reason in `why`: a file that cannot be opened,
// a folder, a named pipe or another non-regular file (a loader would fail obscurely or wait on
// it for ever), or what the format's check below finds. Never blocks; reads only headers.
//
// The picture: also a PNG whose chunks run past its end or stop before IEND (SDL_image does
// not notice short reads and can loop forever on such a file), or one too large to hold.
std::FILE* openPictureFile(const char* path, std::string& why);

// The font: also a TrueType/OpenType font whose tables run past its end (FreeType opens such a
// font and SDL_ttf then draws nothing, without an error).
std::FILE* openFontFile(const char* path, std::string& why);

// The music module: its kind only; the mixer reads the rest.
std::FILE* openModuleFile(const char* path, std::string& why);

// The largest picture, in either direction, that the show loads: larger ones would take
// gigabytes of memory and many seconds before the show starts.
constexpr std::uint32_t MAX_PICTURE_SIDE = 4096;

// A file's bytes as the checks read them, a few at a time, so that memory stays small whatever
// the file's size: `size` bytes, of which `read` copies `length` from `offset` into `to` and
// says whether all of them could be read.
struct ByteSource {
    std::uint64_t size;
    std::function<bool(std::uint64_t offset, unsigned char* to, std::size_t length)> read;
};

// Why the bytes are a PNG the loader should not be given: chunks that run past the end or end
// without IEND, or a picture wider or higher than MAX_PICTURE_SIDE. Empty for a whole PNG of a
// size the show can hold, and for anything that is no PNG or has a chunk no PNG can have.
std::string pngProblem(const ByteSource& png);

// Why the bytes are a TrueType/OpenType font the loader should not be given: a header, table
// directory or table that runs past the end. Empty for a whole font and for anything that is
// no such font.
std::string fontProblem(const ByteSource& ttf);
