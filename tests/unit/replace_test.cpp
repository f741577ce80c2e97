// How the update workflow replaces its output: data on storage before the move, one run at a time.
#include "engine/engine.h"
#include "engine/fileservice.h"
#include "engine/replace.h"
#include "diag/log.h"

#include "testutil.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
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

// What a run in another thread has logged, in place of the debugger channel: whether it came to
// the step before it takes the hold on the temporary file (the trace of that file's short form is
// its last line before the wait), and whether its work began before the test let go of the hold.
class RunEvents {
public:
    RunEvents() { current_ = this; }
    ~RunEvents() { current_ = nullptr; }

    static void record(const char* line)
    {
        RunEvents& self = *current_;
        std::lock_guard<std::mutex> lock(self.mutex_);
        std::string text(line);
        if (text.find("]: sh: ") != std::string::npos) {
            self.atLockStep_ = true;
        }
        if (text.find("]: mdMakeDiff(") != std::string::npos) {
            self.workStarted_ = true;
            self.workedWhileHeld_ = !self.released_;
        }
        self.changed_.notify_all();
    }

    /// Waits, a generous while, until the run has come to its lock step.
    bool waitForLockStep()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [this] { return atLockStep_; });
    }

    /// Marks the hold as over, then lets go of it.
    template <typename LetGo>
    void release(LetGo letGo)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            released_ = true;
        }
        letGo();
    }

    bool workStarted()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return workStarted_;
    }
    bool workedWhileHeld()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return workedWhileHeld_;
    }

private:
    static RunEvents* current_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool atLockStep_ = false;
    bool released_ = false;
    bool workStarted_ = false;
    bool workedWhileHeld_ = false;
};

RunEvents* RunEvents::current_ = nullptr;

class Replace : public ScratchDir {
protected:
    void SetUp() override
    {
        ScratchDir::SetUp();
        previous_ = mdSetReplaceServices(&fakes_);
        g_calls.clear();
        writeFile("src", "abc");
        writeFile("d", "\x01\x01\x01");
        writeFile("out", "previous");
    }
    void TearDown() override
    {
        mdSetReplaceServices(previous_);
        ScratchDir::TearDown();
    }
    mdReplaceServices fakes_ = {fakeFlush, fakeMove, MD_TEMP_WAIT_MS};
    const mdReplaceServices* previous_ = nullptr;
};

struct ReplaceCase {
    bool flushWorks;
    bool moveWorks;
    mdResult result;
    std::vector<std::string> calls;
    const char* out;
};

TEST_F(Replace, NothingIsReplacedBeforeTheDataAreDurable)
{
    const ReplaceCase cases[] = {
        {true, true, MD_OK, {"flush ~test.tmp", "move ~test.tmp out"}, "bcd"},
        {false, true, MD_ERR_OUTPUT_WRITE, {"flush ~test.tmp"}, "previous"},
        {true, false, MD_ERR_MOVE, {"flush ~test.tmp", "move ~test.tmp out"}, "previous"},
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

TEST_F(Replace, SetterReturnsTheServicesItReplacesNullForTheRealOnes)
{
    mdSetReplaceServices(previous_);
    const mdReplaceServices other = fakes_;
    EXPECT_EQ(nullptr, mdSetReplaceServices(&fakes_));
    EXPECT_EQ(&fakes_, mdSetReplaceServices(&other));
    EXPECT_EQ(&other, mdSetReplaceServices(nullptr));
    EXPECT_EQ(MD_TEMP_WAIT_MS, mdReplaceServicesInUse().tempWaitMs);
    EXPECT_NE(&fakeMove, mdReplaceServicesInUse().move) << "null puts the real services back";
    EXPECT_EQ(nullptr, mdSetReplaceServices(&fakes_));
}

TEST_F(Replace, FailedRebuildTouchesNeitherStep)
{
    LogCapture log;
    EXPECT_EQ(mdDoUpdate("src", "missing", "out", false), MD_ERR_PATCH_OPEN);
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(readFile("out"), "previous");
}

TEST_F(Replace, EmptyOutputNameIsTriedAfterTheRebuildAPathTooLongNever)
{
    LogCapture log;
    EXPECT_EQ(mdDoUpdate("src", "d", "", false), MD_ERR_MOVE);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"flush ~test.tmp", "move ~test.tmp "}));
    EXPECT_EQ(readFile(MD_TEMP_NAME), "bcd");

    std::filesystem::remove(MD_TEMP_NAME);
    g_calls.clear();
    EXPECT_EQ(mdDoUpdate("src", "d", "", false, false), MD_ERR_MOVE);
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

    fakes_.tempWaitMs = 50;
    int result = 0;
    std::vector<std::string> messages;
    std::thread other([&] {
        LogCapture log;
        result = mdDoUpdate("src", "d", "out", false);
        messages = log.messages();
    });
    other.join();
    EXPECT_EQ(result, MD_ERR_TEMP_IN_USE);
    EXPECT_EQ(messages.back(), std::string("log_e: temporary file in use by another run: ") + tempPath);
    EXPECT_EQ(readFile("out"), "previous");
    EXPECT_FALSE(std::filesystem::exists(MD_TEMP_NAME));

    // Let go while a second run waits: it goes on, and starts its work only after the hold ends.
    fakes_.tempWaitMs = 10000;
    RunEvents events;
    mdLogSink previousSink = mdSetLogSink(RunEvents::record);
    std::thread waiting([&] { result = mdDoDiff("src", "out", "d2"); });
    bool reachedTheHold = events.waitForLockStep();
    if (reachedTheHold) {
        // A run that did not respect the hold would start its work in this time.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    events.release([&] { mdFsUnlockTemp(&held); });
    waiting.join();
    mdSetLogSink(previousSink);
    EXPECT_TRUE(reachedTheHold) << "the run never came to the temporary file";
    EXPECT_EQ(result, MD_OK);
    EXPECT_TRUE(events.workStarted());
    EXPECT_FALSE(events.workedWhileHeld()) << "the run made its difference file while the other held the file";
    EXPECT_TRUE(std::filesystem::exists("d2"));
}

}  // namespace
