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

// A whole PNG of that size: IHDR's data start with the width and the height.
std::string png(std::uint32_t width, std::uint32_t height) {
    return SIGNATURE + be32(13) + "IHDR" + be32(width) + be32(height) + std::string(9, 'x') +
           chunk("IDAT", 40) + chunk("IEND", 0);
}

const std::string PNG = png(640, 480);
const std::string CUT = "the file is cut off (truncated)";
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

TEST(FileCheck, CutOffAndHugePicturesAndCutOffFontsAreToldFromWholeAndForeignOnes) {
    const struct {
        std::string (*problem)(const ByteSource&);
        std::string bytes;
        std::string why;
    } cases[] = {
        {pngProblem, PNG, ""},
        {pngProblem, PNG.substr(0, 50), CUT},                    // cut inside a chunk
        {pngProblem, PNG.substr(0, 40), CUT},                    // inside a chunk header
        {pngProblem, PNG.substr(0, PNG.size() - 12), CUT},       // at a chunk boundary
        {pngProblem, PNG.substr(0, 33) + chunk("tEXt", 5), CUT}, // no IEND
        {pngProblem, SIGNATURE.substr(0, 5), ""},                // short header: foreign
        {pngProblem, SIGNATURE + std::string(64, '\0'), ""},     // no chunk a PNG can have
        {pngProblem, FONT, ""},                                  // foreign
        {pngProblem, png(4096, 4096), ""},                       // the largest picture held
        {pngProblem, png(4097, 1), "is 4097 x 1 pixels, larger than 4096 x 4096"},
        {pngProblem, png(1, 4097), "is 1 x 4097 pixels, larger than 4096 x 4096"},
        {fontProblem, FONT, ""},
        {fontProblem, FONT.substr(0, 8), CUT},               // short header
        {fontProblem, FONT.substr(0, 30), CUT},              // directory cut
        {fontProblem, FONT.substr(0, FONT.size() - 1), CUT}, // table past the end
        {fontProblem, PNG, ""},                              // foreign
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(cases[i].problem(over(cases[i].bytes)), cases[i].why) << "case " << i;
    }
}
