// The cut-off checks on the real data files, their truncations and files of other kinds.
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

#include "file_check.hpp"

namespace {

std::string readData(const char* name) {
    std::ifstream in(std::string(DATA_DIR) + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes the bytes to a scratch file and returns its path.
std::string scratch(const std::string& bytes) {
    const std::string path = ::testing::TempDir() + "file_check_scratch";
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

struct Case {
    const char* label;
    std::string bytes;
    bool cutOff;
};

void expectAll(bool (*check)(const char*), const std::vector<Case>& cases) {
    for (const auto& c : cases) {
        EXPECT_EQ(check(scratch(c.bytes).c_str()), c.cutOff) << c.label;
    }
}

TEST(FileCheck, PictureCutAnywhereIsCaughtWholeOrForeignIsNot) {
    const std::string png = readData("rahmen.png");
    ASSERT_GT(png.size(), 1000u);
    // An ancillary chunk announced but cut short: the case that makes the loader spin.
    const std::string ancillary = png.substr(0, 33) + std::string("\0\0\0\x40tEXtComment", 15);
    expectAll(pngIsCutOff, {
                               {"whole", png, false},
                               {"signature only", png.substr(0, 8), true},
                               {"inside the header chunk", png.substr(0, 20), true},
                               {"after the header chunk", png.substr(0, 33), true},
                               {"a third", png.substr(0, png.size() / 3), true},
                               {"without IEND", png.substr(0, png.size() - 12), true},
                               {"last byte missing", png.substr(0, png.size() - 1), true},
                               {"ancillary chunk cut", ancillary, true},
                               {"empty", "", false},
                               {"text", "not a picture\n", false},
                               {"a font", readData("PC_Snowballs.ttf"), false},
                           });
}

TEST(FileCheck, FontCutAnywhereIsCaughtWholeOrForeignIsNot) {
    const std::string ttf = readData("PC_Snowballs.ttf");
    ASSERT_GT(ttf.size(), 1000u);
    expectAll(fontIsCutOff, {
                                {"whole", ttf, false},
                                {"version only", ttf.substr(0, 4), true},
                                {"inside the table directory", ttf.substr(0, 40), true},
                                {"a third", ttf.substr(0, ttf.size() / 3), true},
                                {"end of the last table", ttf.substr(0, ttf.size() - 4), true},
                                {"empty", "", false},
                                {"text", "not a font\n", false},
                                {"a picture", readData("rahmen.png"), false},
                            });
}

TEST(FileCheck, MissingFilesAreLeftToTheLoaders) {
    EXPECT_FALSE(pngIsCutOff("/nonexistent/rahmen.png"));
    EXPECT_FALSE(fontIsCutOff("/nonexistent/PC_Snowballs.ttf"));
}

} // namespace
