// Names in the folder that lead elsewhere, and inputs that cannot be read: never followed, never a
// false success.
#include "harness.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace {

bool isLink(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// ---- a link planted under a name the program writes ----

struct PlantedCase {
    const char* name;
    const char* plantedAs;  // the link's name in the folder
    std::vector<std::string> args;
    int status;
};

void PrintTo(const PlantedCase& c, std::ostream* os) { *os << c.name; }

class PlantedLink : public Sandbox, public ::testing::WithParamInterface<PlantedCase> {};

TEST_P(PlantedLink, IsReplacedAndItsTargetStaysUntouched)
{
    if (underWine()) {
        // Wine shows a Unix symbolic link as the file it leads to, so DeleteFileA removes the
        // target; Windows' own links are reparse points, which the calls used do not follow.
        GTEST_SKIP() << "Wine follows Unix links where Windows would see a reparse point";
    }
    const PlantedCase& c = GetParam();
    write("old", pattern(5000, 1));
    write("new", pattern(7000, 2));
    write("d", std::string(7000, '\x01'));
    write("victim", "the link's target");
    ASSERT_EQ(symlink("victim", local(c.plantedAs).c_str()), 0);

    RunResult r = run(c.args);
    EXPECT_EQ(r.status, c.status) << r.out;
    EXPECT_EQ(read("victim"), "the link's target") << "nothing is written through the link";
    EXPECT_FALSE(isLink(local(c.plantedAs))) << "the link is gone or replaced by a file";
    EXPECT_FALSE(isLink(local("out")));
    if (std::string(c.plantedAs) == "update_log.txt") {
        EXPECT_NE(read("update_log.txt").find("log_v: "), std::string::npos) << "the run has its log all the same";
    }
    if (!c.args.empty() && c.args[0] == "-update") {
        EXPECT_TRUE(read("out") == addBytes(read("old"), read("d"))) << "the output is the rebuilt file";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, PlantedLink,
    ::testing::Values(PlantedCase{"TempOfUpdate", "~test.tmp", {"-update", "old", "d", "out"}, 0},
                      PlantedCase{"TempOfDiff", "~test.tmp", {"-diff", "old", "new", "d2"}, 0},
                      PlantedCase{"RunLogOfUsage", "update_log.txt", {}, shellStatus(MD_ERR_USAGE)},
                      PlantedCase{"RunLogOfUpdate", "update_log.txt", {"-update", "old", "d", "out"}, 0}),
    [](const ::testing::TestParamInfo<PlantedCase>& info) { return std::string(info.param.name); });

// ---- a read that fails: strace makes one read of one file fail with EIO ----

struct ReadErrorCase {
    const char* name;
    std::vector<std::string> args;
    const char* file;  // the file whose read fails
    int readNumber;    // which read of that file, from 1
    int status;
};

void PrintTo(const ReadErrorCase& c, std::ostream* os) { *os << c.name; }

class ReadError : public Sandbox, public ::testing::WithParamInterface<ReadErrorCase> {
protected:
    // Runs the program under strace, the readNumber-th read of file failing with EIO.
    RunResult runFailingRead(const std::vector<std::string>& args, const std::string& file, int readNumber)
    {
        std::vector<std::string> argv = {"strace", "-o", "/dev/null", "-P", local(file), "-e",
                                          "inject=read:error=EIO:when=" + std::to_string(readNumber),
                                          std::getenv("MDIFF_PROGRAM")};
        argv.insert(argv.end(), args.begin(), args.end());
        // A sanitized program's leak check cannot run under ptrace; it would fail the run.
        const char* asan = std::getenv("ASAN_OPTIONS");
        std::string options = std::string(asan != nullptr ? asan : "") + ":detect_leaks=0";
        return runCommand(argv, {"ASAN_OPTIONS=" + options});
    }
};

TEST_P(ReadError, FailsWithTheCodeOfTheFileNotRead)
{
    if (underWine()) {
        GTEST_SKIP() << "strace reaches the native program's own reads only";
    }
    if (std::system("strace -V >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "no strace";
    }
    const ReadErrorCase& c = GetParam();
    // Two whole chunks and a part: the failed read may be any of a file's reads.
    std::string oldBytes = pattern(2 * 1048576 + 1000, 3);
    std::string newBytes = pattern(2 * 1048576 + 3000, 4);
    write("old", oldBytes);
    write("new", newBytes);
    write("d", pattern(2 * 1048576 + 2000, 5));
    write("out", "previous output");

    RunResult r = runFailingRead(c.args, c.file, c.readNumber);
    EXPECT_EQ(r.status, c.status) << r.out;
    EXPECT_EQ(r.out, errorReport("read error: " + full(c.file)));
    EXPECT_TRUE(read("old") == oldBytes && read("new") == newBytes) << "the inputs stay as they were";
    EXPECT_EQ(read("out"), "previous output") << "the update workflow moves nothing";
    std::string log = read("update_log.txt");
    EXPECT_NE(log.find("]: read error: " + full(c.file)), std::string::npos);
    EXPECT_NE(log.find("log_e: "), std::string::npos) << "logged at the error level";
}

// A file of two chunks and a part is read in three reads and a fourth that finds its end; the
// proof of -diff reads the new file a second time, after mdMakeDiff's four reads.
INSTANTIATE_TEST_SUITE_P(
    Inputs, ReadError,
    ::testing::Values(ReadErrorCase{"DiffOld", {"-diff", "old", "new", "d2"}, "old", 1, shellStatus(MD_ERR_OLD_OPEN)},
                      ReadErrorCase{"DiffNewAtItsEnd", {"-diff", "old", "new", "d2"}, "new", 4, shellStatus(MD_ERR_NEW_OPEN)},
                      ReadErrorCase{"UpdateSource", {"-update", "old", "d", "out"}, "old", 2, shellStatus(MD_ERR_SOURCE_OPEN)},
                      ReadErrorCase{"UpdateDifference", {"-update", "old", "d", "out"}, "d", 3, shellStatus(MD_ERR_PATCH_OPEN)},
                      ReadErrorCase{"VerifyReference", {"-diff", "old", "new", "d2"}, "new", 6, shellStatus(MD_ERR_REFERENCE_OPEN)},
                      ReadErrorCase{"VerifyCandidate", {"-diff", "old", "new", "d2"}, "~test.tmp", 1, shellStatus(MD_ERR_CANDIDATE_OPEN)}),
    [](const ::testing::TestParamInfo<ReadErrorCase>& info) { return std::string(info.param.name); });

}  // namespace
