// mdResolvePath against the real file services: full path, traced forms, paths that do not fit.
#include "engine/engine.h"

#include "testutil.h"

#include <cstring>
#include <string>

namespace {

class Resolve : public ScratchDir {};

TEST_F(Resolve, ExistingFileHasItsForms)
{
    writeFile("here.bin", "x");
    char out[MD_PATH_MAX];
    LogCapture log;
    mdResolvePath(out, "here.bin");
    std::string full = out;
    EXPECT_TRUE(std::filesystem::equivalent(full, "here.bin"));
    std::vector<std::string> m = log.messages();
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0], "log_v: in: here.bin --> " + full);
    EXPECT_EQ(m[1].rfind("log_v: lo: ", 0), 0u);
    EXPECT_EQ(m[1].find("???"), std::string::npos);
    EXPECT_EQ(m[2].rfind("log_v: sh: ", 0), 0u);
    EXPECT_EQ(m[2].find("???"), std::string::npos);
}

TEST_F(Resolve, MissingFileHasNoForms)
{
    char out[MD_PATH_MAX];
    LogCapture log;
    mdResolvePath(out, "sub/../later.dat");
    std::vector<std::string> m = log.messages();
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0], "log_v: in: sub/../later.dat --> " + std::string(out));
    EXPECT_EQ(std::string(out).find(".."), std::string::npos) << "folded";
    EXPECT_EQ(m[1], "log_v: lo: ???");
    EXPECT_EQ(m[2], "log_v: sh: ???");
}

TEST_F(Resolve, EmptyNameStaysEmpty)
{
    char out[MD_PATH_MAX] = "junk";
    LogCapture log;
    EXPECT_TRUE(mdResolvePath(out, "")) << "an empty name is a name, not a path that did not fit";
    EXPECT_STREQ(out, "");
    ASSERT_EQ(log.messages().size(), 1u);
    EXPECT_EQ(log.messages()[0], "log_v: in:  --> ???");
}

// What mdResolvePath gives for a name: the full path, the name itself (where the platform forms no
// full path for it), or nothing with a report. Never a cut path.
enum class Formed { kFullPath, kNameItself, kRefused };

struct LengthCase {
    size_t length;
    Formed posix;
    Formed windows;  // the ANSI path calls form no full path past MAX_PATH characters
};

TEST_F(Resolve, PathThatDoesNotFitIsNeverCut)
{
    size_t here = std::filesystem::current_path().string().size();
    const LengthCase cases[] = {
        {MD_PATH_MAX - 1 - here - 1, Formed::kFullPath, Formed::kNameItself},  // the full path fits exactly
        {MD_PATH_MAX - here - 1, Formed::kRefused, Formed::kNameItself},       // one byte over
        {MD_PATH_MAX - 1, Formed::kRefused, Formed::kNameItself},              // the longest name that fits
        {MD_PATH_MAX, Formed::kRefused, Formed::kRefused},
        {40000, Formed::kRefused, Formed::kRefused},
    };
    for (const LengthCase& c : cases) {
#ifdef _WIN32
        Formed expected = c.windows;
#else
        Formed expected = c.posix;
#endif
        std::string name(c.length, 'n');
        char out[MD_PATH_MAX];
        std::memset(out, 'j', sizeof out);
        LogCapture log;
        bool formed = mdResolvePath(out, name.c_str());
        std::string result = out;
        EXPECT_EQ(formed, expected != Formed::kRefused) << c.length;
        if (expected == Formed::kFullPath) {
            EXPECT_EQ(result.size(), here + 1 + c.length) << c.length;
            EXPECT_TRUE(result.size() >= c.length && result.compare(result.size() - c.length, c.length, name) == 0);
        } else if (expected == Formed::kNameItself) {
            EXPECT_EQ(result, name) << c.length;
        } else {
            EXPECT_EQ(result, "") << c.length;
            ASSERT_FALSE(log.messages().empty()) << c.length;
            EXPECT_EQ(log.messages().back().rfind("log_e: path too long: nnn", 0), 0u) << c.length;
        }
    }
}

}  // namespace
