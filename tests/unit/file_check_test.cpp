// The picture's and the font's checks over byte buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "file_check.hpp"

namespace {

std::string be32(std::uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

// A chunk of `length` data bytes; neither the data nor the CRC is read by the check.
std::string chunk(const char* type, std::uint32_t length) {
    return be32(length) + type + std::string(length + 4, 'x');
}

const std::string SIGNATURE("\x89PNG\r\n\x1A\n", 8);
const std::string PNG = SIGNATURE + chunk("IHDR", 13) + chunk("IDAT", 40) + chunk("IEND", 0);
// Two tables, of 8 bytes at 44 and of 20 bytes at 52: the font ends at 72.
const std::string FONT = std::string("\0\1\0\0\0\2", 6) + std::string(6, '\0') + "cmap" + be32(0) +
                         be32(44) + be32(8) + "glyf" + be32(0) + be32(52) + be32(20) +
                         std::string(28, 'g');

ByteSource over(const std::string& bytes) {
    return {bytes.size(), [&bytes](std::uint64_t offset, unsigned char* to, std::size_t length) {
                return offset + length <= bytes.size() &&
                       std::memcpy(to, bytes.data() + offset, length) != nullptr;
            }};
}

} // namespace

TEST(FileCheck, CutOffPicturesAndFontsAreToldFromWholeAndForeignOnes) {
    const struct {
        bool (*isCutOff)(const ByteSource&);
        std::string bytes;
        bool cutOff;
    } cases[] = {
        {pngIsCutOff, PNG, false},
        {pngIsCutOff, PNG.substr(0, 50), true},                    // cut inside a chunk
        {pngIsCutOff, PNG.substr(0, 40), true},                    // inside a chunk header
        {pngIsCutOff, PNG.substr(0, PNG.size() - 12), true},       // at a chunk boundary
        {pngIsCutOff, PNG.substr(0, 33) + chunk("tEXt", 5), true}, // no IEND
        {pngIsCutOff, SIGNATURE.substr(0, 5), false},              // short header: foreign
        {pngIsCutOff, SIGNATURE + std::string(64, '\0'), false},   // no chunk a PNG can have
        {pngIsCutOff, FONT, false},                                // foreign
        {fontIsCutOff, FONT, false},
        {fontIsCutOff, FONT.substr(0, 8), true},               // short header
        {fontIsCutOff, FONT.substr(0, 30), true},              // directory cut
        {fontIsCutOff, FONT.substr(0, FONT.size() - 1), true}, // table past the end
        {fontIsCutOff, PNG, false},                            // foreign
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(cases[i].isCutOff(over(cases[i].bytes)), cases[i].cutOff) << "case " << i;
    }
}
