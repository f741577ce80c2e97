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
    const unsigned long file = FILE_ATTRIBUTE_ARCHIVE;
    const struct {
        unsigned long error;
        unsigned long attributes;
        bool held;
    } cases[] = {
        {ERROR_SHARING_VIOLATION, file, true},
        {ERROR_LOCK_VIOLATION, file, true},
        {ERROR_ACCESS_DENIED, file, true},
        {ERROR_ACCESS_DENIED, FILE_ATTRIBUTE_NORMAL, true},
        {ERROR_ACCESS_DENIED, INVALID_FILE_ATTRIBUTES, true},
        {ERROR_SHARING_VIOLATION, FILE_ATTRIBUTE_READONLY, true},
        // A folder or a read-only file is denied for good: no wait.
        {ERROR_ACCESS_DENIED, FILE_ATTRIBUTE_DIRECTORY, false},
        {ERROR_ACCESS_DENIED, FILE_ATTRIBUTE_READONLY | file, false},
        {ERROR_FILE_NOT_FOUND, file, false},
        {ERROR_PATH_NOT_FOUND, INVALID_FILE_ATTRIBUTES, false},
        {ERROR_DISK_FULL, file, false},
        {ERROR_NOT_SAME_DEVICE, file, false},
        {ERROR_INVALID_NAME, INVALID_FILE_ATTRIBUTES, false},
        {ERROR_ALREADY_EXISTS, file, false},
        {0, file, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(mdFsHeldError(c.error, c.attributes), c.held) << c.error << " " << c.attributes;
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
        EXPECT_TRUE(mdFsCopyWhole("b", "c")) << "the copy of a held source waits";
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
    EXPECT_FALSE(mdFsCopyWhole("missing", "b"));
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(MD_HELD_WAIT_MS / 2));
}

}  // namespace
