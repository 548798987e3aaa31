// Structural checks of the picture and the font: complete chunk and table lists.
#include "file_check.hpp"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint32_t be32(const Bytes& b, std::size_t at) {
    return std::uint32_t(b[at]) << 24 | std::uint32_t(b[at + 1]) << 16 |
           std::uint32_t(b[at + 2]) << 8 | std::uint32_t(b[at + 3]);
}

bool startsWith(const Bytes& b, const Bytes& prefix) {
    return b.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), b.begin());
}

} // namespace

bool pngIsCutOff(const char* path) {
    const Bytes png = readFile(path);
    if (!startsWith(png, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'})) {
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

bool fontIsCutOff(const char* path) {
    const Bytes ttf = readFile(path);
    if (!startsWith(ttf, {0, 1, 0, 0}) && !startsWith(ttf, {'t', 'r', 'u', 'e'}) &&
        !startsWith(ttf, {'O', 'T', 'T', 'O'})) {
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
