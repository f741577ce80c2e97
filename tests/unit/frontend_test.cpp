// The parser and mdMain's argument trace: keywords, "-verbose", which buffers each mode fills.
#include "main/frontend.h"

#include "testutil.h"

#include <string>
#include <vector>

namespace {

struct Argv {
    explicit Argv(std::vector<std::string> args) : text(std::move(args))
    {
        for (std::string& a : text) {
            pointers.push_back(a.data());
        }
        pointers.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(text.size()); }
    char** argv() { return pointers.data(); }
    std::vector<std::string> text;
    std::vector<char*> pointers;
};

bool endsWithName(const char* path, const std::string& name)
{
    std::string p = path;
    return p.size() > name.size() && p.compare(p.size() - name.size(), name.size(), name) == 0 &&
           (p[p.size() - name.size() - 1] == '/' || p[p.size() - name.size() - 1] == '\\');
}

struct ParseCase {
    std::vector<std::string> args;
    bool parsed;
    int mode;
    bool verbose;
    const char* src;
    const char* newFile;
    const char* diff;
    const char* out;
};

TEST(ParseArgs, KeywordsAndPaths)
{
    const ParseCase cases[] = {
        {{"p", "-diff", "a", "b", "c"}, true, MD_MODE_DIFF, false, "a", "b", "", "c"},
        {{"p", "-diff", "a", "b", "c", "d"}, true, MD_MODE_DIFF, false, "a", "b", "", "c"},
        {{"p", "-diff", "-verbose", "b", "c"}, true, MD_MODE_DIFF, false, "-verbose", "b", "", "c"},
        {{"p", "-update", "s", "d", "o"}, true, MD_MODE_UPDATE, false, "s", "", "d", "o"},
        {{"p", "-update", "-verbose", "s", "d", "o"}, true, MD_MODE_UPDATE, true, "s", "", "d", "o"},
        {{"p", "-update", "s", "d", "o", "-verbose"}, true, MD_MODE_UPDATE, false, "s", "", "d", "o"},
        {{"p", "-update", "-Verbose", "d", "o"}, true, MD_MODE_UPDATE, false, "-Verbose", "", "d", "o"},
        {{"p", "-update", "-verbose", "s", "d"}, false, MD_MODE_NONE, false, "", "", "", ""},
        {{"p", "-DIFF", "a", "b", "c"}, false, MD_MODE_NONE, false, "", "", "", ""},
        {{"p", "diff", "a", "b", "c"}, false, MD_MODE_NONE, false, "", "", "", ""},
        {{"p", "-update ", "a", "b", "c"}, false, MD_MODE_NONE, false, "", "", "", ""},
        {{"p", "-zelupdate", "-verbose", "x", "x"}, true, MD_MODE_ZELUPDATE, true, "", "", "", ""},
        {{"p", "-zelupdate", "x", "-verbose", "x"}, true, MD_MODE_ZELUPDATE, false, "", "", "", ""},
        {{"p", "-zelupdate", "-VERBOSE", "x", "x"}, true, MD_MODE_ZELUPDATE, false, "", "", "", ""},
        {{"p", "-ZELUPDATE", "x", "x", "x"}, false, MD_MODE_NONE, false, "", "", "", ""},
    };
    for (const ParseCase& c : cases) {
        Argv argv(c.args);
        mdRequest request;
        LogCapture log;
        std::string shown = c.args[1] + " " + c.args[2];
        ASSERT_EQ(mdParseArgs(argv.argc(), argv.argv(), &request), c.parsed) << shown;
        EXPECT_EQ(request.mode, c.mode) << shown;
        EXPECT_EQ(request.verbose, c.verbose) << shown;
        const char* fields[] = {request.srcPath, request.newPath, request.diffPath, request.outPath};
        const char* names[] = {c.src, c.newFile, c.diff, c.out};
        for (int i = 0; i < 4; ++i) {
            if (names[i][0] == '\0') {
                EXPECT_STREQ(fields[i], "") << shown << " field " << i;
            } else {
                EXPECT_TRUE(endsWithName(fields[i], names[i])) << shown << " field " << i << ": " << fields[i];
            }
        }
        if (!c.parsed || c.mode == MD_MODE_ZELUPDATE) {
            EXPECT_TRUE(log.lines().empty()) << "no path resolved: " << shown;
        }
    }
}

TEST(ParseArgs, PathsResolveInArgumentOrder)
{
    Argv argv({"p", "-update", "-verbose", "first", "second", "third"});
    mdRequest request;
    LogCapture log;
    ASSERT_TRUE(mdParseArgs(argv.argc(), argv.argv(), &request));
    std::vector<std::string> inLines;
    for (const std::string& m : log.messages()) {
        if (m.rfind("log_v: in: ", 0) == 0) {
            inLines.push_back(m.substr(11, m.find(' ', 11) - 11));
        }
    }
    EXPECT_EQ(inLines, (std::vector<std::string>{"first", "second", "third"}));
}

TEST(ParseArgs, OnlyAnOutputThatDidNotFitIsMarked)
{
    const struct {
        std::string out;
        bool tooLong;
    } cases[] = {{"out", false}, {"", false}, {std::string(MD_PATH_MAX, 'o'), true}};
    for (const auto& c : cases) {
        Argv argv({"p", "-update", std::string(MD_PATH_MAX, 's'), "d", c.out});
        mdRequest request;
        LogCapture log;
        ASSERT_TRUE(mdParseArgs(argv.argc(), argv.argv(), &request));
        EXPECT_EQ(request.outTooLong, c.tooLong) << c.out.size() << ": a source too long is not the output's";
    }
}

TEST(MdMain, TooFewArgumentsTraceTheVectorOnly)
{
    Argv argv({"prog", "-diff", "a", "b"});
    LogCapture log;
    EXPECT_EQ(mdMain(argv.argc(), argv.argv()), MD_ERR_USAGE);
    EXPECT_EQ(log.messages(), (std::vector<std::string>{"log_v: mdMain", "log_v: argc 4", "log_v: argv[0] prog",
                                                        "log_v: argv[1] -diff", "log_v: argv[2] a",
                                                        "log_v: argv[3] b"}));
}

}  // namespace
