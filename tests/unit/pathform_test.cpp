// Forming full POSIX paths: joining, folding, trailing separators, buffers too small.
#include "engine/pathform.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct FormCase {
    const char* cwd;
    const char* name;
    mdPathResult result;
    const char* full;
};

TEST(FullPathForm, JoinsAndFolds)
{
    const FormCase cases[] = {
        {"/home/u", "a.bin", MD_PATH_OK, "/home/u/a.bin"},
        {"/home/u", "./a.bin", MD_PATH_OK, "/home/u/a.bin"},
        {"/home/u", "../a.bin", MD_PATH_OK, "/home/a.bin"},
        {"/home/u", "../../../../a.bin", MD_PATH_OK, "/a.bin"},
        {"/home/u", "x//y/./z/../w", MD_PATH_OK, "/home/u/x/y/w"},
        {"/home/u", "/etc/../var/f", MD_PATH_OK, "/var/f"},
        {"/home/u", "sub/", MD_PATH_OK, "/home/u/sub/"},
        {"/home/u", ".", MD_PATH_OK, "/home/u"},
        {"/home/u", "..", MD_PATH_OK, "/home"},
        {"/", "f", MD_PATH_OK, "/f"},
        {"/", "/", MD_PATH_OK, "/"},
        {"/home/u", "a b*?.exe", MD_PATH_OK, "/home/u/a b*?.exe"},
        {"/home/u", "\x83\x5c\x83\x74\x83\x67.exe", MD_PATH_OK, "/home/u/\x83\x5c\x83\x74\x83\x67.exe"},
        {"/home/u", "", MD_PATH_FAILED, ""},
    };
    for (const FormCase& c : cases) {
        char out[64] = "untouched";
        EXPECT_EQ(mdFormFullPath(c.cwd, c.name, out, sizeof out), c.result) << c.name;
        if (c.result == MD_PATH_OK) {
            EXPECT_STREQ(out, c.full) << c.name;
        }
    }
}

TEST(FullPathForm, TooLongLeavesNoPath)
{
    std::string cwd = "/" + std::string(20, 'd');
    char out[32];
    // 1 + 20 + 1 + 9 = 31 characters and the terminator fit exactly; one more does not.
    EXPECT_EQ(mdFormFullPath(cwd.c_str(), "123456789", out, sizeof out), MD_PATH_OK);
    EXPECT_EQ(std::string(out).size(), 31u);
    EXPECT_EQ(mdFormFullPath(cwd.c_str(), "1234567890", out, sizeof out), MD_PATH_TOO_LONG);
    EXPECT_STREQ(out, "") << "never a cut path";
    EXPECT_EQ(mdFormFullPath(cwd.c_str(), "123456789/", out, sizeof out), MD_PATH_TOO_LONG);
    EXPECT_STREQ(out, "");
}

}  // namespace
