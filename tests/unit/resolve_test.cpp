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

TEST_F(Resolve, PathThatDoesNotFitIsNeverCut)
{
    size_t here = std::filesystem::current_path().string().size();
    for (size_t length : {size_t(MD_PATH_MAX - 1 - here - 1), size_t(MD_PATH_MAX - here - 1), size_t(1023),
                          size_t(1024), size_t(40000)}) {
        std::string name(length, 'n');
        char out[MD_PATH_MAX];
        std::memset(out, 'j', sizeof out);
        LogCapture log;
        bool formed = mdResolvePath(out, name.c_str());
        // Either the whole full path, or the name itself where the platform forms no full path
        // for it, or nothing at all with a report: never a cut path.
        size_t fullLength = here + 1 + length;
        std::string result = out;
        bool whole = fullLength < static_cast<size_t>(MD_PATH_MAX) && result.size() == fullLength;
        EXPECT_EQ(formed, whole || result == name) << length;
        if (!whole && result != name) {
            EXPECT_EQ(result, "") << length;
            ASSERT_FALSE(log.messages().empty());
            EXPECT_EQ(log.messages().back().rfind("log_e: path too long: nnn", 0), 0u) << length;
        }
        if (length >= static_cast<size_t>(MD_PATH_MAX)) {
            EXPECT_EQ(result, "") << "a name that does not fit is not passed on: " << length;
        }
    }
}

}  // namespace
