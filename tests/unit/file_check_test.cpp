// The picture's and the font's checks over byte buffers, and a symlinked data file accepted.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
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

// A table record pointing at `length` bytes from `offset`.
std::string table(const char* tag, std::uint32_t offset, std::uint32_t length) {
    return tag + be32(0) + be32(offset) + be32(length);
}

const std::string SIGNATURE("\x89PNG\r\n\x1A\n", 8);
const std::string PNG = SIGNATURE + chunk("IHDR", 13) + chunk("IDAT", 40) + chunk("IEND", 0);
const std::string FONT = std::string("\0\1\0\0\0\2", 6) + std::string(6, '\0') +
                         table("cmap", 44, 8) + table("glyf", 52, 20) + std::string(28, 'g');

ByteSource over(const std::string& bytes) {
    return {bytes.size(), [&bytes](std::uint64_t offset, unsigned char* to, std::size_t length) {
                if (offset + length > bytes.size()) {
                    return false;
                }
                std::memcpy(to, bytes.data() + offset, length);
                return true;
            }};
}

} // namespace

TEST(FileCheck, CutOffPicturesAndFontsAreToldFromWholeAndForeignOnes) {
    const struct {
        const char* name;
        bool (*isCutOff)(const ByteSource&);
        std::string bytes;
        bool cutOff;
    } cases[] = {
        {"whole picture", pngIsCutOff, PNG, false},
        {"picture and zeros after its end", pngIsCutOff, PNG + std::string(4096, '\0'), false},
        {"picture cut inside a chunk", pngIsCutOff, PNG.substr(0, 40), true},
        {"picture cut inside a chunk header", pngIsCutOff, PNG.substr(0, PNG.size() - 8), true},
        {"picture cut at a chunk boundary", pngIsCutOff, PNG.substr(0, PNG.size() - 12), true},
        {"picture without IEND", pngIsCutOff, PNG.substr(0, 33) + chunk("tEXt", 5), true},
        {"picture's signature cut", pngIsCutOff, SIGNATURE.substr(0, 5), false},
        {"no chunk a PNG can have", pngIsCutOff, SIGNATURE + std::string(64, '\0'), false},
        {"font as picture", pngIsCutOff, FONT, false},
        {"whole font", fontIsCutOff, FONT, false},
        {"font's header cut", fontIsCutOff, FONT.substr(0, 8), true},
        {"font's table directory cut", fontIsCutOff, FONT.substr(0, 30), true},
        {"font's table past the end", fontIsCutOff, FONT.substr(0, FONT.size() - 1), true},
        {"picture as font", fontIsCutOff, PNG, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.isCutOff(over(c.bytes)), c.cutOff) << c.name;
    }
}

TEST(FileCheck, DataFileThatIsASymlinkToAWholeOneIsAccepted) {
    char folder[] = "/tmp/frostfunkel-check-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string picture = std::string(folder) + "/picture.png";
    const std::string link = std::string(folder) + "/rahmen.png";
    std::ofstream(picture, std::ios::binary) << PNG;
    ASSERT_EQ(symlink(picture.c_str(), link.c_str()), 0);
    EXPECT_EQ(pictureProblem(link.c_str()), nullptr);
    unlink(link.c_str());
    unlink(picture.c_str());
    rmdir(folder);
}
