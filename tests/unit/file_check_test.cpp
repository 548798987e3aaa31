// The cut-off checks on the real data files cut at many points, and on files of other kinds.
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>

#include "file_check.hpp"

namespace {

std::string readData(const char* name) {
    std::ifstream in(std::string(DATA_DIR) + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Case {
    const char* label;
    std::string bytes;
    bool cutOff;
};

// Each case is written to a scratch file of this test's own, so parallel runs do not meet.
void expectAll(const char* (*check)(const char*), const Case (&cases)[9]) {
    const std::string path =
        ::testing::TempDir() + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (const auto& c : cases) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.bytes;
        EXPECT_EQ(check(path.c_str()) != nullptr, c.cutOff) << c.label;
    }
    std::remove(path.c_str());
}

TEST(FileCheck, PictureCutAnywhereIsCaughtWholeOrForeignIsNot) {
    const std::string png = readData("rahmen.png");
    // An ancillary chunk announced but cut short: the case that makes the loader spin.
    const std::string ancillary = png.substr(0, 33) + std::string("\0\0\0\x40tEXtComment", 15);
    expectAll(pictureProblem, {{"whole", png, false},
                               {"signature only", png.substr(0, 8), true},
                               {"inside the header chunk", png.substr(0, 20), true},
                               {"a third", png.substr(0, png.size() / 3), true},
                               {"without IEND", png.substr(0, png.size() - 12), true},
                               {"last byte missing", png.substr(0, png.size() - 1), true},
                               {"ancillary chunk cut", ancillary, true},
                               {"empty", "", false},
                               {"a font", readData("PC_Snowballs.ttf"), false}});
}

TEST(FileCheck, FontCutAnywhereIsCaughtWholeOrForeignIsNot) {
    const std::string ttf = readData("PC_Snowballs.ttf");
    expectAll(fontProblem, {{"whole", ttf, false},
                            {"version only", ttf.substr(0, 4), true},
                            {"inside the table directory", ttf.substr(0, 40), true},
                            {"a third", ttf.substr(0, ttf.size() / 3), true},
                            {"end of the last table", ttf.substr(0, ttf.size() - 4), true},
                            {"table directory count only", ttf.substr(0, 12), true},
                            {"empty", "", false},
                            {"text", "not a font\n", false},
                            {"a picture", readData("rahmen.png"), false}});
}

} // namespace
