// The transforms and the comparison on real files: bytes, pass boundaries, result codes.
#include "engine/engine.h"
#include "engine/transform.h"

#include "testutil.h"

#include <string>

namespace {

std::string bytes(size_t n, unsigned char value) { return std::string(n, static_cast<char>(value)); }

TEST(BlockOps, WrapModulo256)
{
    const uint8_t oldBlock[] = {0x10, 0x20, 0x30, 0x00, 0xff};
    const uint8_t newBlock[] = {0x15, 0x1f, 0x30, 0xff, 0x00};
    uint8_t diff[5];
    uint8_t back[5];
    mdSubtractBlock(oldBlock, newBlock, diff, 5);
    const uint8_t expected[] = {0x05, 0xff, 0x00, 0xff, 0x01};
    EXPECT_EQ(std::string(diff, diff + 5), std::string(expected, expected + 5));
    mdAddBlock(oldBlock, diff, back, 5);
    EXPECT_EQ(std::string(back, back + 5), std::string(newBlock, newBlock + 5));
}

class Transforms : public ScratchDir {};

struct PairCase {
    std::string oldBytes;
    std::string newBytes;
};

TEST_F(Transforms, DiffHasNewLengthAndAppliesBack)
{
    const PairCase cases[] = {
        {"", ""},
        {"", "only new"},
        {"only old", ""},
        {bytes(1024, 7), bytes(1024, 9)},
        {bytes(2048, 1), bytes(2048, 3)},
        {bytes(3000, 0xff), bytes(1023, 0x01)},
        {bytes(1023, 0x01), bytes(3001, 0x80)},
    };
    for (const PairCase& c : cases) {
        writeFile("old", c.oldBytes);
        writeFile("new", c.newBytes);
        ASSERT_EQ(mdMakeDiff("old", "new", "diff"), 0);
        std::string diff = readFile("diff");
        ASSERT_EQ(diff.size(), c.newBytes.size());
        for (size_t i = 0; i < diff.size(); ++i) {
            unsigned char o = i < c.oldBytes.size() ? static_cast<unsigned char>(c.oldBytes[i]) : 0;
            ASSERT_EQ(static_cast<unsigned char>(diff[i]), static_cast<unsigned char>(c.newBytes[i] - o)) << i;
        }
        ASSERT_EQ(mdMakeUpdate("old", "diff", "out"), 0);
        EXPECT_EQ(readFile("out"), c.newBytes);
    }
}

TEST_F(Transforms, OutputTakesTheDifferenceFileLength)
{
    writeFile("src", "abcdef");
    writeFile("short", "\x01\x01");
    writeFile("empty", "");
    ASSERT_EQ(mdMakeUpdate("src", "short", "out"), 0);
    EXPECT_EQ(readFile("out"), "bc");
    ASSERT_EQ(mdMakeUpdate("src", "empty", "out"), 0);
    EXPECT_EQ(readFile("out"), "");
}

struct OpenCase {
    const char* first;
    const char* second;
    const char* output;
    int diffCode;
    int updateCode;
};

TEST_F(Transforms, OpenFailuresKeepTheOutput)
{
    writeFile("a", "aaa");
    writeFile("b", "bbb");
    std::filesystem::create_directory("dir");
    const OpenCase cases[] = {
        {"missing", "b", "out", -1, -10},
        {"dir", "b", "out", -1, -10},
        {"a", "missing", "out", -2, -11},
        {"a", "b", "dir", -3, -12},
        {"a", "b", "a", -3, -12},
        {"a", "b", "b", -3, -12},
        {"a", "b", "./b", -3, -12},
    };
    for (const OpenCase& c : cases) {
        writeFile("out", "keep");
        LogCapture log;
        EXPECT_EQ(mdMakeDiff(c.first, c.second, c.output), c.diffCode) << c.first << c.second << c.output;
        EXPECT_EQ(mdMakeUpdate(c.first, c.second, c.output), c.updateCode);
        EXPECT_EQ(readFile("out"), "keep");
        EXPECT_EQ(readFile("a"), "aaa");
        EXPECT_EQ(readFile("b"), "bbb");
        bool traced = false;
        for (const std::string& m : log.messages()) {
            traced = traced || m.rfind("log_v: PathFileExistsA(", 0) == 0;
        }
        EXPECT_TRUE(traced) << "a failed open first traces the path's presence";
    }
}

struct VerifyCase {
    const char* name;
    std::string reference;
    std::string candidate;
    int code;
};

void PrintTo(const VerifyCase& c, std::ostream* os) { *os << c.name; }

class Verify : public ScratchDir, public ::testing::WithParamInterface<VerifyCase> {};

TEST_P(Verify, FirstDifferenceDecides)
{
    writeFile("ref", GetParam().reference);
    writeFile("cand", GetParam().candidate);
    EXPECT_EQ(mdVerify("ref", "cand"), GetParam().code);
}

std::string withLast(std::string text, char last)
{
    text.back() = last;
    return text;
}

std::string withFirst(std::string text, char first)
{
    text.front() = first;
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Verify,
    ::testing::Values(VerifyCase{"Empty", "", "", 0},
                      VerifyCase{"Equal2048", bytes(2048, 5), bytes(2048, 5), 0},
                      VerifyCase{"CandidateOneLonger", bytes(1024, 5), bytes(1025, 5), -22},
                      VerifyCase{"CandidateEmpty", "x", "", -22},
                      VerifyCase{"LastByteDiffers", bytes(1500, 5), withLast(bytes(1500, 5), 6), -23},
                      VerifyCase{"ContentBeforeLength", bytes(2048, 5), withFirst(bytes(1500, 5), 6), -23},
                      VerifyCase{"LengthWithinFirstPass", bytes(10, 5), withFirst(bytes(11, 5), 6), -22}),
    [](const ::testing::TestParamInfo<VerifyCase>& info) { return std::string(info.param.name); });

TEST_F(Transforms, VerifyOpenFailures)
{
    writeFile("f", "x");
    EXPECT_EQ(mdVerify("missing", "f"), -20);
    EXPECT_EQ(mdVerify("f", "missing"), -21);
}

}  // namespace
