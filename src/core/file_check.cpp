// Checks of the data files: each opened once, a regular file, with whole chunk and table lists
// and a picture of a size the show can hold.
#include "file_check.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#endif

namespace {

const char* const CUT_OFF = "the file is cut off (truncated)";
const char* const FOLDER = "is a folder, not a file";

// Both formats keep their numbers in four bytes, most significant first, and name their
// chunks and tables with four-letter tags.
constexpr std::size_t NUMBER_SIZE = 4;
constexpr std::size_t TAG_SIZE = 4;

// A PNG: its signature, then chunks of a length, a type, the data and a CRC. The first chunk is
// IHDR, whose data begin with the width and the height.
const char PNG_SIGNATURE[] = "\x89PNG\r\n\x1A\n";
constexpr std::size_t PNG_SIGNATURE_SIZE = sizeof PNG_SIGNATURE - 1;
constexpr std::size_t CHUNK_TYPE_AT = NUMBER_SIZE; // after the length
constexpr std::size_t CHUNK_HEADER_SIZE = CHUNK_TYPE_AT + TAG_SIZE;
constexpr std::size_t CHUNK_CRC_SIZE = NUMBER_SIZE;
constexpr std::size_t IHDR_WIDTH_AT = PNG_SIGNATURE_SIZE + CHUNK_HEADER_SIZE;
constexpr std::size_t IHDR_HEIGHT_AT = IHDR_WIDTH_AT + NUMBER_SIZE;
constexpr std::size_t PNG_HEAD_SIZE = IHDR_HEIGHT_AT + NUMBER_SIZE; // up to the height's end

// A TrueType/OpenType font: an offset table (the format's tag, the number of tables and three
// 2-byte search hints), then a record per table of its tag, checksum, offset and length.
constexpr std::size_t OFFSET_TABLE_SIZE = 12;
constexpr std::size_t NUM_TABLES_AT = 4;
constexpr std::size_t TABLE_RECORD_SIZE = 16;
constexpr std::size_t TABLE_OFFSET_AT = 8;
constexpr std::size_t TABLE_LENGTH_AT = 12;

// Why a file of this mode is no data file: anything but a regular file.
const char* kindProblem(const struct stat& info) {
    if (S_ISDIR(info.st_mode)) {
        return FOLDER;
    }
    if (S_ISFIFO(info.st_mode)) {
        return "is a named pipe, not a file";
    }
    return "is not a regular file";
}

std::uint32_t be32(const unsigned char* b) {
    return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 |
           std::uint32_t(b[3]);
}

bool hasTag(const unsigned char* bytes, const char* tag) {
    return std::memcmp(bytes, tag, TAG_SIZE) == 0;
}

// A chunk type is four ASCII letters; anything else is no PNG chunk, and libpng says so itself.
bool isChunkType(const unsigned char* type) {
    for (std::size_t i = 0; i < TAG_SIZE; ++i) {
        const unsigned char letter = type[i] & ~0x20U;
        if (letter < 'A' || letter > 'Z') {
            return false;
        }
    }
    return true;
}

// True when the chunks after the signature run past the end or end without IEND.
bool chunksCutOff(const ByteSource& png) {
    unsigned char header[CHUNK_HEADER_SIZE];
    for (std::uint64_t at = PNG_SIGNATURE_SIZE; at + CHUNK_HEADER_SIZE <= png.size;) {
        if (!png.read(at, header, CHUNK_HEADER_SIZE)) {
            return true;
        }
        const std::uint64_t end = at + CHUNK_HEADER_SIZE + be32(header) + CHUNK_CRC_SIZE;
        const unsigned char* type = header + CHUNK_TYPE_AT;
        if (end > png.size) {
            return true;
        }
        if (hasTag(type, "IEND") || !isChunkType(type)) {
            return false;
        }
        at = end;
    }
    return true;
}

// Moves to `offset` from `whence` and returns the new position, or -1. The 64-bit calls, as
// std::fseek takes a long, which has 32 bits on Windows.
std::int64_t seek(std::FILE* in, std::int64_t offset, int whence) {
#ifdef _WIN32
    return _fseeki64(in, offset, whence) == 0 ? _ftelli64(in) : -1;
#else
    return fseeko(in, off_t(offset), whence) == 0 ? std::int64_t(ftello(in)) : -1;
#endif
}

// Why the file at path is no data file, looked at by its path before anything opens it: opening
// a named pipe would release a writer waiting on it. Empty for a regular file.
std::string pathProblem(const char* path) {
    struct stat info = {}; // "= {}": clang-format 14 and 19 space a bare "{}" differently
    if (stat(path, &info) != 0) {
        return std::strerror(errno);
    }
    return S_ISREG(info.st_mode) ? "" : kindProblem(info);
}

// Opens the file at path when its path shows a regular file, and checks again on the open file
// that it is one, in case something else was put at the path in between.
std::FILE* openRegularFile(const char* path, std::string& why) {
    why = pathProblem(path);
    if (!why.empty()) {
        return nullptr;
    }
#ifdef _WIN32
    std::FILE* file = std::fopen(path, "rb"); // no named pipes in a Windows folder
#else
    // Opened without waiting, as opening a named pipe put there since waits for a writer; then
    // set to wait as usual for the loaders' reads (the open file is the show's own).
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    std::FILE* file = fd < 0 || fcntl(fd, F_SETFL, 0) != 0 ? nullptr : fdopen(fd, "rb");
#endif
    struct stat info = {};
    if (file == nullptr || fstat(fileno(file), &info) != 0) {
        why = std::strerror(errno);
    } else if (!S_ISREG(info.st_mode)) {
        why = kindProblem(info);
    }
    if (!why.empty() && file != nullptr) {
        std::fclose(file);
        file = nullptr;
    }
    return file;
}

// Opens the file at path once for its loader, after `problem` (if any) read it piece by piece.
std::FILE* openChecked(const char* path, std::string (*problem)(const ByteSource&),
                       std::string& why) {
    why.clear();
    std::FILE* file = openRegularFile(path, why);
    if (file == nullptr || problem == nullptr) {
        return file;
    }
    const std::int64_t size = seek(file, 0, SEEK_END);
    const ByteSource bytes{std::uint64_t(size),
                           [file](std::uint64_t offset, unsigned char* to, std::size_t length) {
                               return seek(file, std::int64_t(offset), SEEK_SET) >= 0 &&
                                      std::fread(to, 1, length, file) == length;
                           }};
    if (size >= 0) { // else unmeasurable: left to the loader
        why = problem(bytes);
    }
    if (!why.empty()) {
        std::fclose(file);
        return nullptr;
    }
    std::rewind(file);
    return file;
}

} // namespace

std::string pngProblem(const ByteSource& png) {
    // The signature and the first chunk up to IHDR's height, read at once.
    unsigned char head[PNG_HEAD_SIZE];
    const std::size_t got = std::size_t(std::min<std::uint64_t>(png.size, PNG_HEAD_SIZE));
    if (got < PNG_SIGNATURE_SIZE || !png.read(0, head, got) ||
        std::memcmp(head, PNG_SIGNATURE, PNG_SIGNATURE_SIZE) != 0) {
        return {};
    }
    if (got == PNG_HEAD_SIZE && hasTag(head + PNG_SIGNATURE_SIZE + CHUNK_TYPE_AT, "IHDR")) {
        const std::uint32_t width = be32(head + IHDR_WIDTH_AT);
        const std::uint32_t height = be32(head + IHDR_HEIGHT_AT);
        if (width > MAX_PICTURE_SIDE || height > MAX_PICTURE_SIDE) {
            const std::string most = std::to_string(MAX_PICTURE_SIDE);
            return "is " + std::to_string(width) + " x " + std::to_string(height) +
                   " pixels, larger than " + most + " x " + most;
        }
    }
    return chunksCutOff(png) ? CUT_OFF : "";
}

std::string fontProblem(const ByteSource& ttf) {
    unsigned char head[OFFSET_TABLE_SIZE];
    const std::size_t got = std::size_t(std::min<std::uint64_t>(ttf.size, OFFSET_TABLE_SIZE));
    if (got < TAG_SIZE || !ttf.read(0, head, got) ||
        !(hasTag(head, "\0\1\0\0") || hasTag(head, "true") || hasTag(head, "OTTO"))) {
        return {};
    }
    if (got < OFFSET_TABLE_SIZE) {
        return CUT_OFF;
    }
    const unsigned tables = unsigned(head[NUM_TABLES_AT]) << 8 | head[NUM_TABLES_AT + 1];
    unsigned char record[TABLE_RECORD_SIZE];
    for (unsigned i = 0; i < tables; ++i) {
        if (!ttf.read(OFFSET_TABLE_SIZE + TABLE_RECORD_SIZE * std::uint64_t(i), record,
                      TABLE_RECORD_SIZE) ||
            std::uint64_t(be32(record + TABLE_OFFSET_AT)) + be32(record + TABLE_LENGTH_AT) >
                ttf.size) {
            return CUT_OFF;
        }
    }
    return {};
}

std::FILE* openPictureFile(const char* path, std::string& why) {
    return openChecked(path, pngProblem, why);
}

std::FILE* openFontFile(const char* path, std::string& why) {
    return openChecked(path, fontProblem, why);
}

std::FILE* openModuleFile(const char* path, std::string& why) {
    return openChecked(path, nullptr, why);
}
