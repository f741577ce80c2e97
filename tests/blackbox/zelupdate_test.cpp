// Black-box cases of -zelupdate: each road, the pristine size, the backup, the flag, the product files.
#include "harness.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

namespace {

const size_t kPristineSize = 3138560;

// What a product folder holds; an absent file has no entry.
using Files = std::map<std::string, std::string>;

class ZelUpdate : public Sandbox {
protected:
    void SetUp() override
    {
        Sandbox::SetUp();
        pristine_ = pattern(kPristineSize, 11);
        upgraded_ = pattern(kPristineSize + 4096, 12);
        diff_ = subtractBytes(pristine_, upgraded_);
    }

    void lay(const Files& files)
    {
        for (const auto& [name, bytes] : files) {
            write(name, bytes);
        }
    }

    // The product files as they are now, by name.
    Files productFiles() const
    {
        Files files;
        for (const std::string& name : listing()) {
            if (name != "update_log.txt") {
                files[name] = read(name);
            }
        }
        return files;
    }

    std::vector<std::string> trace() const
    {
        bool allCrLf = false;
        return runLogTrace(read("update_log.txt"), &allCrLf);
    }

    bool traced(const std::string& line) const
    {
        for (const std::string& m : trace()) {
            if (m == line) {
                return true;
            }
        }
        return false;
    }

    std::string pristine_;
    std::string upgraded_;
    std::string diff_;
};

TEST_F(ZelUpdate, FirstUpgradeRebuildsFromThePristineExecutable)
{
    lay({{"zel.exe", pristine_}, {"zel.diff", diff_}});
    RunResult r = run({"-zelupdate", "x", "x", "x"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(productFiles(), (Files{{"zel.exe", upgraded_}, {"zel.exe.backup", pristine_}, {"zel.diff", diff_}}));
    EXPECT_TRUE(traced("log_v: mdDoZELUpdate"));
    EXPECT_TRUE(traced("log_v: " + expectedFile("zel_first.txt")));
    EXPECT_TRUE(traced("log_v: mdDoUpdate('zel.exe', 'zel.diff', 'zel.exe')"));
}

TEST_F(ZelUpdate, PristineCopyIsTheSourceWhateverTheExecutable)
{
    std::string changed = "an upgraded zel.exe of some other size";
    std::string staleBackup = "an older backup";
    lay({{"zel.exe", changed}, {"zel.original", pristine_}, {"zel.diff", diff_}, {"zel.exe.backup", staleBackup}});
    RunResult r = run({"-zelupdate", "x", "x", "x"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(productFiles(), (Files{{"zel.exe", upgraded_},
                                     {"zel.exe.backup", changed},
                                     {"zel.original", pristine_},
                                     {"zel.diff", diff_}}));
    EXPECT_TRUE(traced("log_v: " + expectedFile("zel_pristine.txt")));
}

TEST_F(ZelUpdate, PristineCopyWithoutExecutableCreatesIt)
{
    lay({{"zel.original", pristine_}, {"zel.diff", diff_}});
    RunResult r = run({"-zelupdate", "x", "x", "x"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "") << "a failed backup is not shown on the console";
    EXPECT_EQ(productFiles(), (Files{{"zel.exe", upgraded_}, {"zel.original", pristine_}, {"zel.diff", diff_}}));
    EXPECT_TRUE(traced("log_w: " + expectedFile("zel_backup.txt")));
}

struct RefusedCase {
    const char* name;
    long long exeSize;  // -1: no zel.exe
    int status;
    const char* messageFile;
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class ZelRefused : public ZelUpdate, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(ZelRefused, WritesNothing)
{
    const RefusedCase& c = GetParam();
    Files files = {{"zel.diff", diff_}, {"zel.exe.backup", "old backup"}};
    if (c.exeSize >= 0) {
        files["zel.exe"] = pattern(static_cast<size_t>(c.exeSize), 13);
    }
    lay(files);
    RunResult r = run({"-zelupdate", "-verbose", "x", "x"});
    EXPECT_EQ(r.status, c.status);
    std::string message = expectedFile(c.messageFile);
    EXPECT_EQ(r.out, errorReport(message));
    EXPECT_EQ(productFiles(), files);
    EXPECT_TRUE(traced("log_e: " + message));
}

INSTANTIATE_TEST_SUITE_P(Roads, ZelRefused,
                         ::testing::Values(RefusedCase{"NoExecutable", -1, shellStatus(MD_ERR_ZEL_MISSING), "zel_missing.txt"},
                                           RefusedCase{"OneByteShort", kPristineSize - 1, shellStatus(MD_ERR_ZEL_SIZE), "zel_size.txt"},
                                           RefusedCase{"OneByteOver", kPristineSize + 1, shellStatus(MD_ERR_ZEL_SIZE), "zel_size.txt"},
                                           RefusedCase{"Empty", 0, shellStatus(MD_ERR_ZEL_SIZE), "zel_size.txt"}),
                         [](const ::testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.name); });

TEST_F(ZelUpdate, SizeIsReadInSixtyFourBits)
{
    // 4 GiB + the pristine size: its low 32 bits equal the pristine size. Sparse, so it is cheap.
    int fd = open(local("zel.exe").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, (1LL << 32) + static_cast<long long>(kPristineSize)), 0);
    close(fd);
    write("zel.diff", diff_);
    RunResult r = run({"-zelupdate", "x", "x", "x"});
    EXPECT_EQ(r.status, shellStatus(MD_ERR_ZEL_SIZE));
    EXPECT_EQ(r.out, errorReport(expectedFile("zel_size.txt")));
    EXPECT_FALSE(exists("zel.exe.backup"));
}

TEST_F(ZelUpdate, DirectoryInPlaceOfTheExecutableIsNotPristine)
{
    ASSERT_EQ(mkdir(local("zel.exe").c_str(), 0755), 0);
    write("zel.diff", diff_);
    RunResult r = run({"-zelupdate", "x", "x", "x"});
    EXPECT_EQ(r.status, shellStatus(MD_ERR_ZEL_SIZE));
    EXPECT_EQ(r.out, errorReport(expectedFile("zel_size.txt")));
}

TEST_F(ZelUpdate, MissingDifferenceFileFailsAfterTheBackup)
{
    lay({{"zel.exe", pristine_}});
    RunResult r = run({"-zelupdate", "x", "x", "x"});
    EXPECT_EQ(r.status, shellStatus(MD_ERR_PATCH_OPEN));
    EXPECT_EQ(r.out, errorReport("failed to open (with read mode): zel.diff"));
    EXPECT_EQ(productFiles(), (Files{{"zel.exe", pristine_}, {"zel.exe.backup", pristine_}}));
}

TEST_F(ZelUpdate, BackupThatCannotBeCompletedKeepsTheOldOne)
{
    // A small disk of its own, full but for room for the run log: neither the backup's copy nor
    // the rebuilt file fits.
    if (!mountSmallDisk(12 << 20)) {
        GTEST_SKIP() << "no tmpfs can be mounted here (not root)";
    }
    std::string olderBackup = pattern(5000, 13);
    lay({{"zel.exe", pristine_}, {"zel.diff", diff_}, {"zel.exe.backup", olderBackup}});
    fillDisk(64 * 1024);
    RunResult r = run({"-zelupdate", "x", "x", "x"});
    EXPECT_EQ(r.status, shellStatus(MD_ERR_OUTPUT_WRITE));
    EXPECT_EQ(r.out, errorReport("write error"));
    EXPECT_TRUE(traced("log_w: " + expectedFile("zel_backup.txt")));
    Files files = productFiles();
    files.erase("filler");
    EXPECT_EQ(files, (Files{{"zel.exe", pristine_}, {"zel.diff", diff_}, {"zel.exe.backup", olderBackup},
                            {"~test.tmp", files["~test.tmp"]}}))
        << "the backup as it was, and no copy of it left beside it";
}

TEST_F(ZelUpdate, BackupOverAPlantedLinkReplacesTheLink)
{
    lay({{"zel.exe", pristine_}, {"zel.diff", diff_}, {"victim", "the link's target"}});
    ASSERT_EQ(symlink("victim", local("zel.exe.backup").c_str()), 0);
    RunResult r = run({"-zelupdate", "x", "x", "x"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(productFiles(), (Files{{"zel.exe", upgraded_}, {"zel.exe.backup", pristine_}, {"zel.diff", diff_},
                                     {"victim", "the link's target"}}));
}

struct FlagCase {
    const char* name;
    std::vector<std::string> args;
    bool verbose;
};

void PrintTo(const FlagCase& c, std::ostream* os) { *os << c.name; }

class ZelFlag : public ZelUpdate, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(ZelFlag, OnlyRightAfterTheKeyword)
{
    lay({{"zel.exe", pristine_}, {"zel.diff", diff_}});
    RunResult r = run(GetParam().args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, GetParam().verbose ? expectedFile("patching.txt") + expectedFile("done.txt") : "");
    EXPECT_EQ(read("zel.exe"), upgraded_);
}

INSTANTIATE_TEST_SUITE_P(
    Positions, ZelFlag,
    ::testing::Values(FlagCase{"RightAfter", {"-zelupdate", "-verbose", "x", "x"}, true},
                      FlagCase{"Second", {"-zelupdate", "x", "-verbose", "x"}, false},
                      FlagCase{"OtherCase", {"-zelupdate", "-Verbose", "x", "x"}, false},
                      FlagCase{"FurtherArgumentsIgnored", {"-zelupdate", "-verbose", "a", "b", "c", "d"}, true}),
    [](const ::testing::TestParamInfo<FlagCase>& info) { return std::string(info.param.name); });

}  // namespace
