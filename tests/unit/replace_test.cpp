// How the update workflow replaces its output: data on storage before the move, one run at a time.
#include "engine/engine.h"
#include "engine/fileservice.h"
#include "engine/replace.h"
#include "diag/log.h"

#include "testutil.h"

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> g_calls;
bool g_flushWorks = true;
bool g_moveWorks = true;

bool fakeFlush(const char* path)
{
    g_calls.push_back(std::string("flush ") + mdBaseName(path));
    return g_flushWorks;
}

bool fakeMove(const char* from, const char* to)
{
    g_calls.push_back(std::string("move ") + mdBaseName(from) + " " + mdBaseName(to));
    return g_moveWorks && mdFsMove(from, to);
}

class Replace : public ScratchDir {
protected:
    void SetUp() override
    {
        ScratchDir::SetUp();
        saved_ = g_replaceServices;
        g_replaceServices.flushToDisk = fakeFlush;
        g_replaceServices.move = fakeMove;
        g_calls.clear();
        writeFile("src", "abc");
        writeFile("d", "\x01\x01\x01");
        writeFile("out", "previous");
    }
    void TearDown() override
    {
        g_replaceServices = saved_;
        ScratchDir::TearDown();
    }
    mdReplaceServices saved_;
};

struct ReplaceCase {
    bool flushWorks;
    bool moveWorks;
    int result;
    std::vector<std::string> calls;
    const char* out;
};

TEST_F(Replace, NothingIsReplacedBeforeTheDataAreDurable)
{
    const ReplaceCase cases[] = {
        {true, true, 0, {"flush ~test.tmp", "move ~test.tmp out"}, "bcd"},
        {false, true, -13, {"flush ~test.tmp"}, "previous"},
        {true, false, -41, {"flush ~test.tmp", "move ~test.tmp out"}, "previous"},
    };
    for (const ReplaceCase& c : cases) {
        g_calls.clear();
        g_flushWorks = c.flushWorks;
        g_moveWorks = c.moveWorks;
        writeFile("out", "previous");
        LogCapture log;
        EXPECT_EQ(mdDoUpdate("src", "d", "out", false), c.result);
        EXPECT_EQ(g_calls, c.calls);
        EXPECT_EQ(readFile("out"), c.out);
    }
    g_flushWorks = g_moveWorks = true;
}

TEST_F(Replace, FailedRebuildTouchesNeitherStep)
{
    LogCapture log;
    EXPECT_EQ(mdDoUpdate("src", "missing", "out", false), -11);
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(readFile("out"), "previous");
}

TEST_F(Replace, EmptyOutputNameIsTriedAfterTheRebuildAPathTooLongNever)
{
    LogCapture log;
    EXPECT_EQ(mdDoUpdate("src", "d", "", false), -41);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"flush ~test.tmp", "move ~test.tmp "}));
    EXPECT_EQ(readFile(MD_TEMP_NAME), "bcd");

    std::filesystem::remove(MD_TEMP_NAME);
    g_calls.clear();
    EXPECT_EQ(mdDoUpdate("src", "d", "", false, false), -41);
    EXPECT_TRUE(g_calls.empty());
    EXPECT_FALSE(std::filesystem::exists(MD_TEMP_NAME)) << "nothing written";
}

TEST_F(Replace, TemporaryFileTakenByAnotherRunFailsAsUnwritable)
{
    char tempPath[MD_PATH_MAX];
    {
        LogCapture quiet;
        mdResolvePath(tempPath, MD_TEMP_NAME);
    }
    mdTempLock held;
    ASSERT_TRUE(mdFsLockTemp(tempPath, 0, &held));

    g_replaceServices.tempWaitMs = 50;
    int result = 0;
    std::vector<std::string> messages;
    std::thread other([&] {
        LogCapture log;
        result = mdDoUpdate("src", "d", "out", false);
        messages = log.messages();
    });
    other.join();
    EXPECT_EQ(result, -12);
    EXPECT_EQ(messages.back(), std::string("log_e: temporary file in use by another run: ") + tempPath);
    EXPECT_EQ(readFile("out"), "previous");
    EXPECT_FALSE(std::filesystem::exists(MD_TEMP_NAME));

    // Let go while a second run waits: it goes on.
    g_replaceServices.tempWaitMs = 10000;
    std::thread waiting([&] {
        LogCapture log;
        result = mdDoDiff("src", "out", "d2");
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(std::filesystem::exists("d2")) << "nothing written while the other run holds the file";
    mdFsUnlockTemp(&held);
    waiting.join();
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(std::filesystem::exists("d2"));
}

}  // namespace
