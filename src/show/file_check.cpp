// Checks of the picture and the font: a regular file, with complete chunk and table lists.
#include "file_check.hpp"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

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

// The file's bytes; empty when it cannot be read, which the loaders then report themselves.
Bytes readFile(const char* path) {
    Bytes bytes;
    std::FILE* in = std::fopen(path, "rb");
    if (in == nullptr) {
        return bytes;
    }
    unsigned char block[65536];
    std::size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, in)) > 0) {
        bytes.insert(bytes.end(), block, block + got);
    }
    std::fclose(in);
    return bytes;
}

std::uint32_t be32(const Bytes& b, std::size_t at) {
    return std::uint32_t(b[at]) << 24 | std::uint32_t(b[at + 1]) << 16 |
           std::uint32_t(b[at + 2]) << 8 | std::uint32_t(b[at + 3]);
}

bool startsWith(const Bytes& b, const char* prefix, std::size_t length) {
    return b.size() >= length && std::memcmp(b.data(), prefix, length) == 0;
}

bool pngIsCutOff(const Bytes& png) {
    if (!startsWith(png, "\x89PNG\r\n\x1A\n", 8)) {
        return false;
    }
    // Each chunk: length, type, data, CRC. A complete file ends with IEND.
    std::uint64_t at = 8;
    while (at + 8 <= png.size()) {
        const std::uint64_t end = at + 12 + be32(png, at);
        if (end > png.size()) {
            return true;
        }
        if (be32(png, at + 4) == 0x49454E44) { // "IEND"
            return false;
        }
        at = end;
    }
    return true;
}

bool fontIsCutOff(const Bytes& ttf) {
    if (!startsWith(ttf, "\0\1\0\0", 4) && !startsWith(ttf, "true", 4) &&
        !startsWith(ttf, "OTTO", 4)) {
        return false;
    }
    if (ttf.size() < 12) {
        return true;
    }
    // The table directory: 16-byte records of tag, checksum, offset and length.
    const std::size_t tables = std::size_t(ttf[4]) << 8 | ttf[5];
    if (12 + 16 * tables > ttf.size()) {
        return true;
    }
    for (std::size_t i = 0; i < tables; ++i) {
        const std::size_t record = 12 + 16 * i;
        if (std::uint64_t(be32(ttf, record + 8)) + be32(ttf, record + 12) > ttf.size()) {
            return true;
        }
    }
    return false;
}

// Why the file at path is no data file the loaders should be given: not a regular file, or
// cut off by the measure of its format; null when it is fine or left to the loader.
const char* fileProblem(const char* path, bool (*isCutOff)(const Bytes&)) {
    if (const char* why = kindProblem(path)) {
        return why;
    }
    return isCutOff(readFile(path)) ? CUT_OFF : nullptr;
}

} // namespace

const char* pictureProblem(const char* path) {
    return fileProblem(path, pngIsCutOff);
}

const char* fontProblem(const char* path) {
    return fileProblem(path, fontIsCutOff);
}
