// The transforms and the comparison on real files: bytes, pass boundaries, result codes.
#include "engine/engine.h"
#include "engine/transform.h"
#include "engine/verify.h"

#include "testutil.h"

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>

namespace {

std::string bytes(size_t n, unsigned char value) { return std::string(n, static_cast<char>(value)); }

std::string withByte(std::string text, size_t at, char value)
{
    text[at] = value;
    return text;
}

// Sizes at the edges of the passes that one read or write handles.
constexpr size_t kChunk = MD_CHUNK_SIZE;
constexpr size_t kBlock = MD_BLOCK_SIZE;

TEST(BlockOps, WrapModulo256)
{
    const uint8_t oldBlock[] = {0x10, 0x20, 0x30, 0x00, 0xff};
    const uint8_t newBlock[] = {0x15, 0x1f, 0x30, 0xff, 0x00};
    uint8_t diff[5];
    uint8_t back[5];
    mdSubtractChunk(oldBlock, newBlock, diff, 5);
    const uint8_t expected[] = {0x05, 0xff, 0x00, 0xff, 0x01};
    EXPECT_EQ(std::string(diff, diff + 5), std::string(expected, expected + 5));
    mdAddChunk(oldBlock, diff, back, 5);
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
        // Several passes per read: the old file ends before, at and after a chunk's end, and the
        // new file ends at a chunk's end, one byte past it, on a pass boundary inside a chunk.
        {pattern(kChunk - 1, 1), pattern(kChunk + 1, 2)},
        {pattern(kChunk, 3), pattern(kChunk, 4)},
        {pattern(2 * kChunk + 3, 5), pattern(kChunk + kBlock, 6)},
        {pattern(1500, 7), pattern(2 * kChunk + 10, 8)},
        {pattern(kChunk + 7, 9), pattern(3 * kChunk - 1, 10)},
        {pattern(2 * kChunk, 11), pattern(2 * kChunk, 12)},
    };
    for (const PairCase& c : cases) {
        writeFile("old", c.oldBytes);
        writeFile("new", c.newBytes);
        ASSERT_EQ(mdMakeDiff("old", "new", "diff"), MD_OK);
        ASSERT_TRUE(readFile("diff") == subtractBytes(c.oldBytes, c.newBytes)) << "the bytes of the difference file";
        ASSERT_EQ(mdMakeUpdate("old", "diff", "out"), MD_OK);
        EXPECT_EQ(readFile("out"), c.newBytes);
    }
}

TEST_F(Transforms, OutputTakesTheDifferenceFileLength)
{
    writeFile("src", "abcdef");
    writeFile("short", "\x01\x01");
    writeFile("empty", "");
    ASSERT_EQ(mdMakeUpdate("src", "short", "out"), MD_OK);
    EXPECT_EQ(readFile("out"), "bc");
    ASSERT_EQ(mdMakeUpdate("src", "empty", "out"), MD_OK);
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
        {"missing", "b", "out", MD_ERR_OLD_OPEN, MD_ERR_SOURCE_OPEN},
        {"dir", "b", "out", MD_ERR_OLD_OPEN, MD_ERR_SOURCE_OPEN},
        {"a", "missing", "out", MD_ERR_NEW_OPEN, MD_ERR_PATCH_OPEN},
        {"a", "b", "dir", MD_ERR_DIFF_CREATE, MD_ERR_OUTPUT_CREATE},
        {"a", "b", "a", MD_ERR_DIFF_CREATE, MD_ERR_OUTPUT_CREATE},
        {"a", "b", "b", MD_ERR_DIFF_CREATE, MD_ERR_OUTPUT_CREATE},
        {"a", "b", "./b", MD_ERR_DIFF_CREATE, MD_ERR_OUTPUT_CREATE},
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

// The long reference text, made at first use: test registration stays cheap.
const std::string& longText()
{
    static const std::string text = pattern(3 * kChunk, 20);
    return text;
}

// The first n bytes of the long text, with byte `at` changed when at < n.
std::string prefix(size_t n, size_t at = SIZE_MAX)
{
    std::string text = longText().substr(0, n);
    return at < n ? withByte(text, at, static_cast<char>(~text[at])) : text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Verify,
    ::testing::Values(VerifyCase{"Empty", "", "", MD_OK},
                      VerifyCase{"Equal2048", bytes(2048, 5), bytes(2048, 5), MD_OK},
                      VerifyCase{"CandidateOneLonger", bytes(1024, 5), bytes(1025, 5), MD_ERR_SIZE_MISMATCH},
                      VerifyCase{"CandidateEmpty", "x", "", MD_ERR_SIZE_MISMATCH},
                      VerifyCase{"LastByteDiffers", bytes(1500, 5), withLast(bytes(1500, 5), 6), MD_ERR_CONTENT_MISMATCH},
                      VerifyCase{"ContentBeforeLength", bytes(2048, 5), withFirst(bytes(1500, 5), 6), MD_ERR_CONTENT_MISMATCH},
                      VerifyCase{"LengthWithinFirstPass", bytes(10, 5), withFirst(bytes(11, 5), 6), MD_ERR_SIZE_MISMATCH}),
    [](const ::testing::TestParamInfo<VerifyCase>& info) { return std::string(info.param.name); });

struct LongVerifyCase {
    const char* name;
    size_t referenceSize;
    size_t candidateSize;
    size_t differsAt;  // SIZE_MAX: the candidate's bytes are the reference's
    int code;
};

// Several passes per read: the rule holds pass by pass, not per read.
TEST_F(Transforms, VerifyRuleHoldsPassByPassAcrossChunks)
{
    const LongVerifyCase cases[] = {
        {"EqualOneChunk", kChunk, kChunk, SIZE_MAX, MD_OK},
        {"EqualChunkAndOne", kChunk + 1, kChunk + 1, SIZE_MAX, MD_OK},
        {"EqualChunkLessOne", kChunk - 1, kChunk - 1, SIZE_MAX, MD_OK},
        {"EqualTwoChunks", 2 * kChunk, 2 * kChunk, SIZE_MAX, MD_OK},
        {"CandidateOneLongerThanChunk", kChunk, kChunk + 1, SIZE_MAX, MD_ERR_SIZE_MISMATCH},
        {"CandidateOneShorterThanChunk", kChunk, kChunk - 1, SIZE_MAX, MD_ERR_SIZE_MISMATCH},
        {"ContentInEarlierPassOfTheRead", 3000, 2500, 1500, MD_ERR_CONTENT_MISMATCH},
        {"LengthFirstInThePass", 3000, 2500, 2100, MD_ERR_SIZE_MISMATCH},
        {"LastByteOfChunkDiffers", kChunk + 5, kChunk + 5, kChunk - 1, MD_ERR_CONTENT_MISMATCH},
        {"ContentInLaterChunk", 2 * kChunk, kChunk + kBlock, kChunk + 10, MD_ERR_CONTENT_MISMATCH},
        {"LengthInLaterChunk", kChunk + 100, kChunk + kBlock + 5, kChunk, MD_ERR_SIZE_MISMATCH},
    };
    for (const LongVerifyCase& c : cases) {
        writeFile("ref", prefix(c.referenceSize));
        writeFile("cand", prefix(c.candidateSize, c.differsAt));
        LogCapture quiet;
        EXPECT_EQ(mdVerify("ref", "cand"), c.code) << c.name;
    }
}

struct ChunkCase {
    size_t a;
    size_t b;
    size_t differsAt;  // SIZE_MAX: the candidate's bytes are the reference's
    int result;
};

TEST(CompareChunk, PassByPass)
{
    const ChunkCase cases[] = {
        {kChunk, kChunk, SIZE_MAX, MD_CHUNK_CONTINUES},
        {kChunk, kChunk, kChunk - 1, MD_ERR_CONTENT_MISMATCH},
        {kChunk, kChunk - 1, 0, MD_ERR_CONTENT_MISMATCH},
        {kChunk, kChunk - 1, kChunk - kBlock, MD_ERR_SIZE_MISMATCH},
        {kChunk - kBlock, kChunk - kBlock, SIZE_MAX, MD_OK},
        {kChunk - kBlock, kChunk, SIZE_MAX, MD_ERR_SIZE_MISMATCH},
        {kBlock + 1, kBlock + 1, SIZE_MAX, MD_OK},
        {0, 0, SIZE_MAX, MD_OK},
        {0, 1, SIZE_MAX, MD_ERR_SIZE_MISMATCH},
    };
    std::string reference = prefix(kChunk);
    for (const ChunkCase& c : cases) {
        std::string candidate = prefix(kChunk, c.differsAt);
        const uint8_t* r = reinterpret_cast<const uint8_t*>(reference.data());
        const uint8_t* d = reinterpret_cast<const uint8_t*>(candidate.data());
        EXPECT_EQ(mdCompareChunk(r, c.a, d, c.b), c.result) << c.a << " " << c.b << " " << c.differsAt;
    }
}

// A path that opens for writing but takes no byte: Linux's /dev/full, which a Windows build under
// Wine also reaches through its Z: drive. Opened "r+b" here, so that the probe creates nothing.
const char* fullDevice()
{
    for (const char* path : {"/dev/full", "Z:/dev/full"}) {
        FILE* probe = std::fopen(path, "r+b");
        if (probe == nullptr) {
            continue;
        }
        bool refused = std::fputc('x', probe) == EOF || std::fflush(probe) != 0;
        std::fclose(probe);
        if (refused) {
            return path;
        }
    }
    return nullptr;
}

TEST_F(Transforms, ShortWriteEndsThePasses)
{
    const char* full = fullDevice();
    if (full == nullptr) {
        GTEST_SKIP() << "no full device";
    }
    // Nothing to write is no failure; any byte at all fails, whether the stream refuses it in a
    // pass or only when it is flushed at the end.
    const size_t sizes[] = {0, 1, kBlock, kChunk - 1, kChunk, kChunk + 1, 3 * kChunk + 5};
    writeFile("old", pattern(2 * kChunk, 30));
    for (size_t size : sizes) {
        writeFile("new", pattern(size, 31));
        LogCapture log;
        EXPECT_EQ(mdMakeDiff("old", "new", full), size == 0 ? MD_OK : MD_ERR_DIFF_WRITE) << size;
        EXPECT_EQ(mdMakeUpdate("old", "new", full), size == 0 ? MD_OK : MD_ERR_OUTPUT_WRITE) << size;
        int reports = 0;
        for (const std::string& m : log.messages()) {
            reports += m == "log_e: write error" ? 1 : 0;
        }
        EXPECT_EQ(reports, size == 0 ? 0 : 2) << "one report per failed transform, at " << size;
        EXPECT_EQ(readFile("new"), pattern(size, 31));
    }
}

TEST_F(Transforms, VerifyOpenFailures)
{
    writeFile("f", "x");
    EXPECT_EQ(mdVerify("missing", "f"), MD_ERR_REFERENCE_OPEN);
    EXPECT_EQ(mdVerify("f", "missing"), MD_ERR_CANDIDATE_OPEN);
}

}  // namespace
