// The log line: tags by level, base names, message handling, the run log's line ends.
#include "diag/log.h"

#include "testutil.h"

#include <cstdio>
#include <string>

namespace {

struct LevelCase {
    int level;
    const char* tag;
};

TEST(LogLine, TagFollowsLevel)
{
    const LevelCase cases[] = {{LOG_V, "log_v"}, {LOG_D, "log_d"}, {LOG_I, "log_i"}, {LOG_W, "log_w"},
                               {LOG_E, "log_e"}, {5, "log_e"},     {255, "log_e"},   {-1, "log_e"}};
    for (const LevelCase& c : cases) {
        LogCapture log;
        mdLog(c.level, "unit.cpp", 7, "text");
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_EQ(log.lines()[0], std::string(c.tag) + ": unit.cpp[7]: text\n") << c.level;
    }
}

TEST(LogLine, UnitShowsItsBaseName)
{
    const char* const cases[][2] = {
        {"C:\\src\\engine\\transform.cpp", "transform.cpp"},
        {"/work/src/engine/transform.cpp", "transform.cpp"},
        {"src\\mixed/dirs\\x.cpp", "x.cpp"},
        {"plain.cpp", "plain.cpp"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(mdBaseName(c[0]), c[1]) << c[0];
    }
}

TEST(LogLine, MessageIsFormattedOnceAndKeptAsText)
{
    LogCapture log;
    mdLog(LOG_V, "u", 1, "argv[%d] %s", 3, "100% sure");
    mdLog(LOG_V, "u", 2, "%s", "");
    mdLog(LOG_V, "u", 3, "two\nlines");
    ASSERT_EQ(log.lines().size(), 3u);
    EXPECT_EQ(log.lines()[0], "log_v: u[1]: argv[3] 100% sure\n");
    EXPECT_EQ(log.lines()[1], "log_v: u[2]: \n");
    EXPECT_EQ(log.lines()[2], "log_v: u[3]: two\nlines\n") << "the channel gets bare line feeds";
}

TEST(LogLine, LongMessageIsCutAndStillEndsTheLine)
{
    for (size_t size : {size_t(MD_LOG_MAX - 40), size_t(MD_LOG_MAX), size_t(40000)}) {
        std::string big(size, 'x');
        LogCapture log;
        mdLog(LOG_E, "unit.cpp", 12345, "%s%s", big.c_str(), big.c_str());
        ASSERT_EQ(log.lines().size(), 1u);
        const std::string& line = log.lines()[0];
        EXPECT_LT(line.size(), static_cast<size_t>(MD_LOG_MAX));
        EXPECT_EQ(line.rfind("log_e: unit.cpp[12345]: xxx", 0), 0u);
        EXPECT_EQ(line.back(), '\n');
    }
}

TEST(LogLine, LongUnitNameIsCutToo)
{
    std::string unit(MD_LOG_MAX * 2, 'u');
    LogCapture log;
    mdLog(LOG_I, unit.c_str(), 1, "message");
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_LT(log.lines()[0].size(), static_cast<size_t>(MD_LOG_MAX));
    EXPECT_EQ(log.lines()[0].back(), '\n');
}

class RunLogFile : public ScratchDir {};

TEST_F(RunLogFile, EveryLineFeedIsStoredAsCrLfAndFlushedAtOnce)
{
    LogCapture log;
    g_logFile = std::fopen("run.log", "w");
    ASSERT_NE(g_logFile, nullptr);
    mdLog(LOG_I, "u", 1, "first");
    mdLog(LOG_V, "u", 2, "a\nb");
    // Read while the stream is still open: nothing may wait in its buffer.
    EXPECT_EQ(readFile("run.log"), "log_i: u[1]: first\r\nlog_v: u[2]: a\r\nb\r\n");
    std::fclose(g_logFile);
    g_logFile = nullptr;

    mdLog(LOG_I, "u", 3, "after close");
    EXPECT_EQ(readFile("run.log"), "log_i: u[1]: first\r\nlog_v: u[2]: a\r\nb\r\n");
    EXPECT_EQ(log.lines().size(), 3u) << "the channel gets every line, open log or not";
}

}  // namespace
