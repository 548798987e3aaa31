// Checks of the picture and the font: a regular file, with complete chunk and table lists.
#include "file_check.hpp"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

namespace {

const char* const CUT_OFF = "the file is cut off (truncated)";

// Why the path is no regular file, or null when it is one or does not exist. Checked before
// opening, because opening a named pipe waits for a writer and reading a folder fails.
const char* kindProblem(const char* path) {
    struct stat info = {}; // "= {}": clang-format 14 and 19 space a bare "{}" differently
    if (stat(path, &info) != 0 || S_ISREG(info.st_mode)) {
        return nullptr;
    }
    if (S_ISDIR(info.st_mode)) {
        return "is a folder, not a file";
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

bool startsWith(const unsigned char* bytes, const char* prefix) {
    return std::memcmp(bytes, prefix, 4) == 0;
}

// A chunk type is four ASCII letters; anything else is no PNG chunk, and libpng says so itself.
bool isChunkType(const unsigned char* type) {
    for (int i = 0; i < 4; ++i) {
        const unsigned char letter = type[i] & ~0x20U;
        if (letter < 'A' || letter > 'Z') {
            return false;
        }
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

// Why the file at path is no data file the loaders should be given: not a regular file, or
// cut off by the measure of its format; null when it is fine or left to the loader. The file
// is read piece by piece where the check asks.
const char* fileProblem(const char* path, bool (*isCutOff)(const ByteSource&)) {
    if (const char* why = kindProblem(path)) {
        return why;
    }
    std::FILE* in = std::fopen(path, "rb");
    if (in == nullptr) {
        return nullptr; // unreadable: the loader reports it
    }
    const std::int64_t size = seek(in, 0, SEEK_END);
    const ByteSource file{std::uint64_t(size),
                          [in](std::uint64_t offset, unsigned char* to, std::size_t length) {
                              return seek(in, std::int64_t(offset), SEEK_SET) >= 0 &&
                                     std::fread(to, 1, length, in) == length;
                          }};
    const bool cutOff = size >= 0 && isCutOff(file);
    std::fclose(in);
    return cutOff ? CUT_OFF : nullptr;
}

} // namespace

bool pngIsCutOff(const ByteSource& png) {
    unsigned char header[8];
    if (!png.read(0, header, 8) || std::memcmp(header, "\x89PNG\r\n\x1A\n", 8) != 0) {
        return false;
    }
    // Each chunk: length, type, data, CRC. A complete file ends with IEND.
    for (std::uint64_t at = 8; at + 8 <= png.size;) {
        if (!png.read(at, header, 8)) {
            return true;
        }
        const std::uint64_t end = at + 12 + be32(header);
        if (end > png.size) {
            return true;
        }
        if (startsWith(header + 4, "IEND")) {
            return false;
        }
        if (!isChunkType(header + 4)) {
            return false;
        }
        at = end;
    }
    return true;
}

bool fontIsCutOff(const ByteSource& ttf) {
    unsigned char header[16];
    if (!ttf.read(0, header, 4) || (!startsWith(header, "\0\1\0\0") &&
                                    !startsWith(header, "true") && !startsWith(header, "OTTO"))) {
        return false;
    }
    if (!ttf.read(0, header, 12)) {
        return true;
    }
    // The table directory: 16-byte records of tag, checksum, offset and length.
    const unsigned tables = unsigned(header[4]) << 8 | header[5];
    for (unsigned i = 0; i < tables; ++i) {
        if (!ttf.read(12 + 16 * std::uint64_t(i), header, 16) ||
            std::uint64_t(be32(header + 8)) + be32(header + 12) > ttf.size) {
            return true;
        }
    }
    return false;
}

const char* pictureProblem(const char* path) {
    return fileProblem(path, pngIsCutOff);
}

const char* fontProblem(const char* path) {
    return fileProblem(path, fontIsCutOff);
}
