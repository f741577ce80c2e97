// The Windows file calls' wait for a file that another program holds: the pauses, and the calls.
#include "engine/fileservice.h"
#include "engine/heldfile.h"

#include "testutil.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

TEST(HeldFile, OnlyAHeldFileIsWaitedFor)
{
    const unsigned long held[] = {ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION, ERROR_ACCESS_DENIED};
    for (unsigned long error : held) {
        EXPECT_TRUE(mdFsHeldError(error)) << error;
    }
    const unsigned long others[] = {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_DISK_FULL, ERROR_NOT_SAME_DEVICE,
                                    ERROR_INVALID_NAME, ERROR_ALREADY_EXISTS, 0};
    for (unsigned long error : others) {
        EXPECT_FALSE(mdFsHeldError(error)) << error;
    }
}

TEST(HeldFile, PausesGrowToOneSecondAndEndAtTheBound)
{
    std::vector<unsigned> pauses;
    unsigned waited = 0;
    for (unsigned pause = mdFsHeldPauseMs(waited); pause != 0; pause = mdFsHeldPauseMs(waited)) {
        pauses.push_back(pause);
        waited += pause;
        ASSERT_LT(pauses.size(), 100u);
    }
    EXPECT_EQ(pauses, (std::vector<unsigned>{50, 50, 100, 200, 400, 800, 1000, 1000, 1000, 400}));
    EXPECT_EQ(waited, MD_HELD_WAIT_MS);
    EXPECT_EQ(mdFsHeldPauseMs(MD_HELD_WAIT_MS + 1), 0u);
    EXPECT_EQ(mdFsHeldPauseMs(4990), 10u) << "never past the bound";
}

// Holds a file with share mode 0, as a scanner does, and lets go after a while.
class Holder {
public:
    Holder(const char* path, int ms)
    {
        handle_ = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(handle_, INVALID_HANDLE_VALUE) << path;
        thread_ = std::thread([this, ms] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            CloseHandle(handle_);
        });
    }
    ~Holder() { thread_.join(); }

private:
    HANDLE handle_;
    std::thread thread_;
};

class HeldFileCalls : public ScratchDir {};

TEST_F(HeldFileCalls, EachWriteCallWaitsForAFileHeldAMoment)
{
    writeFile("a", "new");
    writeFile("b", "old");
    {
        Holder hold("b", 400);
        EXPECT_TRUE(mdFsMove("a", "b")) << "the move onto a held target waits";
    }
    EXPECT_EQ(readFile("b"), "new");
    {
        Holder hold("b", 400);
        EXPECT_TRUE(mdFsCopy("b", "c")) << "the copy of a held source waits";
    }
    EXPECT_EQ(readFile("c"), "new");
    {
        Holder hold("c", 400);
        EXPECT_TRUE(mdFsDelete("c")) << "the deletion of a held file waits";
    }
    EXPECT_FALSE(mdFsExists("c"));
}

TEST_F(HeldFileCalls, AMissingFileIsNotWaitedFor)
{
    auto began = std::chrono::steady_clock::now();
    EXPECT_FALSE(mdFsDelete("missing"));
    EXPECT_FALSE(mdFsMove("missing", "b"));
    EXPECT_FALSE(mdFsCopy("missing", "b"));
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(MD_HELD_WAIT_MS / 2));
}

}  // namespace
